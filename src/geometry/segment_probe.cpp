#include "geometry/segment_probe.h"

#include <algorithm>
#include <cmath>

#include "companion/plane.h"
#include "geometry/circle_arc.h"

namespace kelo::detail {

namespace {
bool Near(const Point3D& a, const Point3D& b, double eps) {
    double dx = a.x - b.x, dy = a.y - b.y;
    return std::abs(dx) <= eps && std::abs(dy) <= eps && dx * dx + dy * dy <= eps * eps;
}
}  // namespace

int SegmentOverlapPt(const Point3D* s, bool arc, const Point3D& p, double eps) {
    const Point3D& a = s[0];
    const Point3D& b = arc ? s[2] : s[1];
    bool ns = Near(p, a, eps), ne = Near(p, b, eps);
    if (ns && ne) return PointPointDistanceSqual(&p, &a) <= PointPointDistanceSqual(&p, &b) ? 2 : 3;
    if (ns) return 2;
    if (ne) return 3;
    double cx, cy, r;
    if (arc && Circle3P(s[0].x, s[0].y, s[1].x, s[1].y, s[2].x, s[2].y, cx, cy, r)) {
        double d = std::hypot(p.x - cx, p.y - cy);
        if (std::abs(d - r) > eps || r <= kEpsInner || !(d > 0)) return 0;
        double qx = cx + (p.x - cx) * r / d, qy = cy + (p.y - cy) * r / d;
        int side = PSideAtLine(a.x, a.y, b.x, b.y, qx, qy);
        int mid = PSideAtLine(a.x, a.y, b.x, b.y, s[1].x, s[1].y);
        return side != 0 && side == mid ? 1 : 0;
    }
    if (p.x < std::min(a.x, b.x) - eps || p.x > std::max(a.x, b.x) + eps || p.y < std::min(a.y, b.y) - eps ||
        p.y > std::max(a.y, b.y) + eps)
        return 0;
    double fx, fy;
    CHUIZU(a.x, a.y, b.x, b.y, p.x, p.y, &fx, &fy);
    if (std::abs(a.x - b.x) <= kEpsInner) {
        if (fy < std::min(a.y, b.y) - eps || fy > std::max(a.y, b.y) + eps) return 0;
    } else if (fx < std::min(a.x, b.x) - kEpsInner || fx > std::max(a.x, b.x) + kEpsInner) {
        return 0;
    }
    return Near(p, {fx, fy, 0}, eps) ? 1 : 0;
}

double SegmentDistance(const Point3D* s, bool arc, const Point3D& p, Point3D* foot) {
    return arc ? DistanceTo3PArc(s, p, foot) : DistanceToSegment(s[0], s[1], p, foot);
}

double SegmentDirectionAt(const Point3D* s, bool arc, const Point3D& q) {
    Point3D c;
    double r, start, sweep;
    double a;
    if (arc && ArcSweep3P(s, c, r, start, sweep)) {
        double radial = std::atan2(q.y - c.y, q.x - c.x);
        a = radial + (sweep >= 0 ? M_PI / 2 : -M_PI / 2);
    } else {
        const Point3D& e = arc ? s[2] : s[1];
        a = std::atan2(e.y - s[0].y, e.x - s[0].x);
    }
    _ADJUSTANGLE(a);
    return a;
}

}  // namespace kelo::detail
