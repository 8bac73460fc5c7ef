// An independent even-odd point-in-polygon test over closed point rings, for checking the library,
// and the polygon the library makes of the same rings.
#pragma once

#include <vector>

#include "geometry/parts.h"
#include "geometry/point.h"

namespace kelo_test {

inline bool InsideEvenOdd(const std::vector<std::vector<kelo::Point3D>>& rings, double x, double y) {
    bool in = false;
    for (const auto& r : rings)
        for (size_t i = 0, j = r.size() - 1; i < r.size(); j = i++)
            if ((r[i].y > y) != (r[j].y > y) && x < (r[j].x - r[i].x) * (y - r[i].y) / (r[j].y - r[i].y) + r[i].x)
                in = !in;
    return in;
}

// Rings given open (last point not repeated), closed here, ring 0 outer.
inline kelo::keloPolygon PolygonOfRings(const std::vector<std::vector<kelo::Point3D>>& rings) {
    kelo::keloPolygon poly;
    for (const auto& r : rings) {
        std::vector<kelo::Point3D> closed = r;
        closed.push_back(r.front());
        poly.InsertRing(kelo::keloParts(closed, kelo::klLTPolyline), 1);
    }
    return poly;
}

}  // namespace kelo_test
