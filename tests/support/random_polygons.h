// Random simple polygons with holes, always valid: a star-shaped outer ring (counter-clockwise)
// around a centre, and up to three small star-shaped holes (clockwise) well inside it and apart.
// Rings are open point lists (the closing point is not repeated), as PolygonOfRings takes them.
#pragma once

#include <cmath>
#include <random>
#include <vector>

#include "geometry/point.h"

namespace kelo_test {

using Rings = std::vector<std::vector<kelo::Point3D>>;

inline std::vector<kelo::Point3D> StarRing(std::mt19937& rng, double cx, double cy, double rMin, double rMax, int n,
                                           bool ccw) {
    std::uniform_real_distribution<double> radius(rMin, rMax), jitter(-0.3, 0.3);
    std::vector<kelo::Point3D> ring;
    for (int k = 0; k < n; ++k) {
        const double a = 2 * M_PI * (k + 0.5 + jitter(rng)) / n * (ccw ? 1 : -1);
        const double r = radius(rng);
        ring.push_back({cx + r * std::cos(a), cy + r * std::sin(a), 0});
    }
    return ring;
}

// Outer radius between 6 and 10 (12 to 24 vertices), so every outer edge stays beyond 5 from the
// centre; holes of radius at most 1.2 sit 3.5 from it.
inline Rings RandomPolygonRings(std::mt19937& rng, double cx, double cy) {
    std::uniform_int_distribution<int> vertices(12, 24), holes(0, 3), holeVertices(3, 8);
    Rings rings{StarRing(rng, cx, cy, 6, 10, vertices(rng), true)};
    const int h = holes(rng);
    for (int k = 0; k < h; ++k) {
        const double a = 2 * M_PI * k / 3;
        rings.push_back(StarRing(rng, cx + 3.5 * std::cos(a), cy + 3.5 * std::sin(a), 0.5, 1.2, holeVertices(rng), false));
    }
    return rings;
}

}  // namespace kelo_test
