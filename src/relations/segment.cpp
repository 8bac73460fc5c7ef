#include "relations/segment.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "companion/plane.h"
#include "geometry/circle_arc.h"
#include "relations/segment_arc.h"

namespace kelo {

namespace detail {

namespace {
constexpr double kTwoPi = 2 * std::numbers::pi;
}

bool SegArcCircle(const CsSegment& s, SegCircle& c) {
    if (!s.points || !s.Is3PArc()) return false;
    const Point3D* p = s.points;
    if (!Circle3P(p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y, c.cx, c.cy, c.r)) return false;
    if (!std::isfinite(c.cx) || !std::isfinite(c.cy) || !std::isfinite(c.r)) return false;
    c.start = std::atan2(p[0].y - c.cy, p[0].x - c.cx);
    double end = std::atan2(p[2].y - c.cy, p[2].x - c.cx);
    double ccw = std::fmod(end - c.start, kTwoPi);
    if (ccw < 0) ccw += kTwoPi;
    // The sense of travel start -> middle -> end is the orientation of the three points.
    double turn = (p[1].x - p[0].x) * (p[2].y - p[0].y) - (p[1].y - p[0].y) * (p[2].x - p[0].x);
    c.sweep = turn > 0 ? ccw : (ccw > 0 ? ccw - kTwoPi : 0.0);
    return true;
}

double SegAngleFromStart(const SegCircle& c, double a) {
    double d = c.sweep >= 0 ? a - c.start : c.start - a;
    d = std::fmod(d, kTwoPi);
    if (d < 0) d += kTwoPi;
    return d;
}

int SegMiddleSide(const CsSegment& s) {
    const Point3D& a = *s.Head();
    const Point3D& b = *s.Tail();
    const Point3D& m = s.points[1];
    int side = PSideAtLine(a.x, a.y, b.x, b.y, m.x, m.y);
    if (side != 0) return side;
    double c = (b.x - a.x) * (m.y - a.y) - (b.y - a.y) * (m.x - a.x);
    return c > 0 ? 1 : (c < 0 ? -1 : 0);
}

}  // namespace detail

namespace {

using detail::SegArcCircle;
using detail::SegCircle;

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kHalfPi = std::numbers::pi / 2;

bool Near(const Point3D& a, const Point3D& b, double eps) { return IsTwoPointXYEqual(a, b, eps) != 0; }

double Dist(const Point3D& a, const Point3D& b) { return std::hypot(a.x - b.x, a.y - b.y); }

double Dist2(const Point3D& a, const Point3D& b) {
    double dx = a.x - b.x, dy = a.y - b.y;
    return dx * dx + dy * dy;
}

Point3D OnCircle(const SegCircle& c, double a, double z) {
    return {c.cx + c.r * std::cos(a), c.cy + c.r * std::sin(a), z};
}

// Side of q against the chord, without tolerance.
int ExactSide(const Point3D& a, const Point3D& b, const Point3D& q) {
    double c = (b.x - a.x) * (q.y - a.y) - (b.y - a.y) * (q.x - a.x);
    return c > 0 ? 1 : (c < 0 ? -1 : 0);
}

}  // namespace

CsSegment::CsSegment(CurveSegment* run, int i) : points(nullptr), type(run ? run->lineType : 0) {
    if (!run || !run->points || i < 0) return;
    if (i >= GetSegmentCount(static_cast<int>(run->pointCount), type)) return;
    points = run->points + (Is3PArc() ? 2 * i : i);
}

double CsSegment::zGetZ() const {
    if (!points) return 0.0;
    return (Head()->z + Tail()->z) / 2;
}

CsSegment CsSegment::Clone() const {
    CsSegment out;
    DupSegment(out, 0);
    return out;
}

void CsSegment::DupSegment(CsSegment& out, int reverse) const {
    out.type = type;
    out.points = nullptr;
    if (!points) return;
    int n = PtCount();
    out.points = new Point3D[n];
    std::copy(points, points + n, out.points);
    if (reverse) reverse_line(out.points, n, sizeof(Point3D));
}

double CsSegment::Length(int which) const {
    if (!points) return 0.0;
    SegCircle c;
    if (!SegArcCircle(*this, c)) return Dist(*Head(), *Tail());
    double whole = std::abs(c.sweep);
    double span = whole;
    if (which == 1 || which == 2) {
        double m = std::min(detail::SegAngleFromStart(c, std::atan2(points[1].y - c.cy, points[1].x - c.cx)), whole);
        span = which == 1 ? m : whole - m;
    }
    if (span > kTwoPi) span = std::fmod(span, kTwoPi);
    return c.r * span;
}

Point3D CsSegment::GetMidPt(int which) const {
    if (!points) return {0, 0, 0};
    double z = zGetZ();
    SegCircle c;
    if (!SegArcCircle(*this, c)) return {(Head()->x + Tail()->x) / 2, (Head()->y + Tail()->y) / 2, z};
    double dir = c.sweep >= 0 ? 1.0 : -1.0;
    double whole = std::abs(c.sweep);
    double from = 0, span = whole;
    if (which == 1 || which == 2) {
        double m = std::min(detail::SegAngleFromStart(c, std::atan2(points[1].y - c.cy, points[1].x - c.cx)), whole);
        if (which == 1) {
            span = m;
        } else {
            from = m;
            span = whole - m;
        }
    }
    return OnCircle(c, c.start + dir * (from + span / 2), z);
}

double CsSegment::GetDirection(const Point3D* p) const {
    if (!points) return 0.0;
    double a;
    SegCircle c;
    if (SegArcCircle(*this, c)) {
        const Point3D& q = p ? *p : *Head();
        a = std::atan2(q.y - c.cy, q.x - c.cx) + (c.sweep >= 0 ? kHalfPi : -kHalfPi);
    } else {
        a = std::atan2(Tail()->y - Head()->y, Tail()->x - Head()->x);
    }
    if (a < 0) a += kTwoPi;
    if (a >= kTwoPi) a -= kTwoPi;
    // A bearing a hair below a full turn is the same direction as 0; callers compare against 0.
    if (a < kEpsInner || kTwoPi - a < kEpsInner) a = 0.0;
    return a;
}

Point3D CsSegment::GetExtendPt(double d, int atStart) const {
    if (!points) return {0, 0, 0};
    const Point3D& s = *Head();
    const Point3D& e = *Tail();
    const Point3D& end = atStart ? s : e;
    double chord = Dist(s, e);
    if (!(chord > kEpsInner)) return end;
    SegCircle c;
    if (SegArcCircle(*this, c)) {
        if (!(c.r > kEpsInner)) return end;
        double dir = c.sweep >= 0 ? 1.0 : -1.0;
        double a = std::atan2(end.y - c.cy, end.x - c.cx) + (atStart ? -dir : dir) * d / c.r;
        return OnCircle(c, a, end.z);
    }
    double ux = (e.x - s.x) / chord, uy = (e.y - s.y) / chord;
    if (atStart) return {s.x - ux * d, s.y - uy * d, s.z};
    return {e.x + ux * d, e.y + uy * d, e.z};
}

Box CsSegment::GetBox() const {
    Box box;
    if (!points) return box;
    const Point3D& s = *Head();
    const Point3D& e = *Tail();
    box.add(s.x, s.y);
    box.add(e.x, e.y);
    SegCircle c;
    if (!SegArcCircle(*this, c)) return box;
    int mid = detail::SegMiddleSide(*this);
    const double ex[4] = {c.cx + c.r, c.cx, c.cx - c.r, c.cx};
    const double ey[4] = {c.cy, c.cy + c.r, c.cy, c.cy - c.r};
    for (int k = 0; k < 4; ++k) {
        int side = PSideAtLine(s.x, s.y, e.x, e.y, ex[k], ey[k]);
        if (side == mid) box.add(ex[k], ey[k]);
    }
    return box;
}

bool CsSegment::IsIntersect(const Box& box) const {
    if (!points || box.IsEmpty()) return false;
    if (!GetBox().intersect(box)) return false;
    const Point3D& s = *Head();
    const Point3D& e = *Tail();
    if (box.contain(s.x, s.y) || box.contain(e.x, e.y)) return true;
    SegCircle c;
    if (!SegArcCircle(*this, c)) {
        // The line passes through the box exactly when it separates (or touches) a diagonal pair.
        auto side = [&](double x, double y) { return PSideAtLine(s.x, s.y, e.x, e.y, x, y); };
        int s0 = side(box.minx, box.miny), s2 = side(box.maxx, box.maxy);
        int s1 = side(box.minx, box.maxy), s3 = side(box.maxx, box.miny);
        return s0 * s2 <= 0 || s1 * s3 <= 0;
    }
    Point3D corner[5] = {{box.minx, box.miny, 0}, {box.maxx, box.miny, 0}, {box.maxx, box.maxy, 0},
                         {box.minx, box.maxy, 0}, {box.minx, box.miny, 0}};
    for (int k = 0; k < 4; ++k) {
        Point3D q1, q2;
        if (IntersectInfo(CsSegment(corner + k, klLTPolyline), q1, q2, 0.0)) return true;
    }
    return false;
}

int CsSegment::zMakeOther3PArc() {
    SegCircle c;
    if (!SegArcCircle(*this, c)) return 0;
    Point3D m = GetMidPt(0);
    points[1].x = 2 * c.cx - m.x;
    points[1].y = 2 * c.cy - m.y;
    return 1;
}

int CsSegment::IsOverlapPt(const Point3D& p, double eps) const {
    if (!points) return 0;
    const Point3D& a = *Head();
    const Point3D& b = *Tail();
    bool ns = Near(p, a, eps), ne = Near(p, b, eps);
    if (ns && ne) return Dist2(p, a) <= Dist2(p, b) ? 2 : 3;
    if (ns) return 2;
    if (ne) return 3;
    SegCircle c;
    if (SegArcCircle(*this, c)) {
        double d = std::hypot(p.x - c.cx, p.y - c.cy);
        if (!(std::abs(d - c.r) <= eps) || c.r <= kEpsInner || !(d > 0)) return 0;
        Point3D q{c.cx + (p.x - c.cx) * c.r / d, c.cy + (p.y - c.cy) * c.r / d, 0};
        int side = ExactSide(a, b, q);
        return side != 0 && side == ExactSide(a, b, points[1]) ? 1 : 0;
    }
    if (p.x < std::min(a.x, b.x) - eps || p.x > std::max(a.x, b.x) + eps || p.y < std::min(a.y, b.y) - eps ||
        p.y > std::max(a.y, b.y) + eps)
        return 0;
    double fx, fy;
    CHUIZU(a.x, a.y, b.x, b.y, p.x, p.y, &fx, &fy);
    // A vertical segment is judged along y; any other along x, where the foot cannot stray.
    if (std::abs(a.x - b.x) <= kEpsInner) {
        if (fy < std::min(a.y, b.y) - eps || fy > std::max(a.y, b.y) + eps) return 0;
    } else if (fx < std::min(a.x, b.x) - kEpsInner || fx > std::max(a.x, b.x) + kEpsInner) {
        return 0;
    }
    return Near(p, {fx, fy, 0}, eps) ? 1 : 0;
}

Point3D CsSegment::GetChuizu(const Point3D& p, int* flag, double eps) const {
    int f = 0;
    Point3D out = p;
    if (points) {
        const Point3D& s = *Head();
        const Point3D& e = *Tail();
        SegCircle c;
        if (SegArcCircle(*this, c)) {
            double d = std::hypot(p.x - c.cx, p.y - c.cy);
            if (d <= kEpsInner) {
                // Every point of the circle is equally near the centre: take the arc's middle.
                out = GetMidPt(0);
                f = 1;
            } else {
                out = {c.cx + (p.x - c.cx) * c.r / d, c.cy + (p.y - c.cy) * c.r / d, 0};
                int side = PSideAtLine(s.x, s.y, e.x, e.y, out.x, out.y);
                f = side != 0 && side == detail::SegMiddleSide(*this) ? 1 : 0;
            }
        } else {
            CHUIZU(s.x, s.y, e.x, e.y, p.x, p.y, &out.x, &out.y);
            bool ns = Near(out, s, eps), ne = Near(out, e, eps);
            if (ns && ne) {
                f = Dist2(out, e) < Dist2(out, s) ? 3 : 2;
            } else if (ns) {
                f = 2;
            } else if (ne) {
                f = 3;
            } else {
                double d1 = (p.x - s.x) * (e.x - s.x) + (p.y - s.y) * (e.y - s.y);
                double d2 = (p.x - e.x) * (s.x - e.x) + (p.y - e.y) * (s.y - e.y);
                f = d1 >= 0 && d2 >= 0 ? 1 : 0;
            }
        }
        out.z = zGetZ();
    }
    if (flag) *flag = f;
    return out;
}

Point3D CsSegment::GetChuizu(const Point3D& p) const { return GetChuizu(p, nullptr, 0.0); }

double CsSegment::PtDistance(const Point3D& p, Point3D& q, int& flag, double eps) const {
    q = GetChuizu(p, &flag, eps);
    if (!points) return 0.0;
    if (flag) return Dist(p, q);
    return std::min(Dist(p, *Head()), Dist(p, *Tail()));
}

double CsSegment::PtDistance(const Point3D& p, Point3D& q) const {
    int flag = 0;
    q = GetChuizu(p, &flag, 0.0);
    if (!points) return 0.0;
    if (flag) return Dist(p, q);
    double ds = Dist(p, *Head()), de = Dist(p, *Tail());
    q = ds < de ? *Head() : *Tail();
    return std::min(ds, de);
}

double CsSegment::PtDistance(const Point3D& p) const {
    Point3D q;
    return PtDistance(p, q);
}

bool CsSegment::IsWithin(const Point3D& p, double tol, double w, bool projectionOnly) const {
    if (!points) return false;
    const Point3D& s = *Head();
    const Point3D& e = *Tail();
    SegCircle c;
    if (SegArcCircle(*this, c)) {
        if (!projectionOnly) {
            Point3D q;
            int flag;
            return PtDistance(p, q, flag, 0.0) <= tol;
        }
        return AngleOnArc(std::atan2(p.y - c.cy, p.x - c.cx), c.start, c.sweep, 0.0);
    }
    double d1 = (p.x - s.x) * (e.x - s.x) + (p.y - s.y) * (e.y - s.y);
    double d2 = (p.x - e.x) * (s.x - e.x) + (p.y - e.y) * (s.y - e.y);
    if (d1 >= 0 && d2 >= 0) {
        if (projectionOnly) return true;
        // Twice the triangle area against tol times w: a distance test scaled by the caller.
        double cross = (s.x - p.x) * (e.y - p.y) - (s.y - p.y) * (e.x - p.x);
        return std::abs(cross) <= tol * w;
    }
    return Near(p, s, tol) || Near(p, e, tol);
}

bool CsSegment::IsWithin(const Point3D& p, double tol, int flag) const {
    return IsWithin(p, tol, flag ? 0.0 : Length(0), false);
}

bool GeometryAt::NearSegHead(const Point3D& p) const {
    if (!points) return false;
    CsSegment seg(points, segIndex);
    if (!seg.points) return false;
    return Dist2(p, *seg.Head()) < Dist2(p, *seg.Tail());
}

}  // namespace kelo
