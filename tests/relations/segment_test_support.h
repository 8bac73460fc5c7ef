// Shared helpers for the segment tests: owned segments, and an independent description of a
// three-point arc (circumcentre and sweep worked out here, not by the library) for sampling.
#pragma once

#include <cmath>
#include <vector>

#include "KeloGeomNet.h"

namespace segtest {

using kelo::CsSegment;
using kelo::Point3D;

struct Seg {
    std::vector<Point3D> p;
    int type;
    CsSegment view() { return CsSegment(p.data(), type); }
};

inline Seg Line(double x1, double y1, double x2, double y2) { return {{{x1, y1, 0}, {x2, y2, 0}}, kelo::klLTPolyline}; }
inline Seg Arc(double x1, double y1, double x2, double y2, double x3, double y3) {
    return {{{x1, y1, 0}, {x2, y2, 0}, {x3, y3, 0}}, kelo::klLT3PArc};
}

// Points along a segment: the chord for straight ones, the circle from start through middle to end
// for arcs.
inline std::vector<Point3D> Sample(const Seg& s, int n) {
    std::vector<Point3D> out;
    const Point3D &a = s.p.front(), &b = s.p.back();
    if (s.type != kelo::klLT3PArc) {
        for (int i = 0; i <= n; ++i) out.push_back({a.x + (b.x - a.x) * i / n, a.y + (b.y - a.y) * i / n, 0});
        return out;
    }
    const Point3D& m = s.p[1];
    double d = 2 * (a.x * (m.y - b.y) + m.x * (b.y - a.y) + b.x * (a.y - m.y));
    double a2 = a.x * a.x + a.y * a.y, m2 = m.x * m.x + m.y * m.y, b2 = b.x * b.x + b.y * b.y;
    double cx = (a2 * (m.y - b.y) + m2 * (b.y - a.y) + b2 * (a.y - m.y)) / d;
    double cy = (a2 * (b.x - m.x) + m2 * (a.x - b.x) + b2 * (m.x - a.x)) / d;
    double r = std::hypot(a.x - cx, a.y - cy);
    double t0 = std::atan2(a.y - cy, a.x - cx), t1 = std::atan2(b.y - cy, b.x - cx);
    bool ccw = (m.x - a.x) * (b.y - a.y) - (m.y - a.y) * (b.x - a.x) > 0;
    double sweep = t1 - t0;
    if (ccw && sweep < 0) sweep += 2 * M_PI;
    if (!ccw && sweep > 0) sweep -= 2 * M_PI;
    for (int i = 0; i <= n; ++i) {
        double t = t0 + sweep * i / n;
        out.push_back({cx + r * std::cos(t), cy + r * std::sin(t), 0});
    }
    return out;
}

inline double Dist(const Point3D& a, const Point3D& b) { return std::hypot(a.x - b.x, a.y - b.y); }

// The longest gap between neighbouring samples.
inline double Step(const std::vector<Point3D>& v) {
    double step = 0;
    for (size_t i = 1; i < v.size(); ++i) step = std::max(step, Dist(v[i - 1], v[i]));
    return step;
}

// Distance from q to the sampled polyline of a segment.
inline double DistToSamples(const std::vector<Point3D>& v, const Point3D& q) {
    double best = INFINITY;
    for (const Point3D& p : v) best = std::min(best, Dist(p, q));
    return best;
}

}  // namespace segtest
