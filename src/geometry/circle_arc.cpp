#include "geometry/circle_arc.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kelo {

namespace {
constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kDeg = 180.0 / std::numbers::pi;

double Wrap360(double a) {
    a = std::fmod(a, 360.0);
    if (a < 0) a += 360.0;
    if (a >= 360.0) a = 0.0;
    return a;
}

double Cross(const Point3D& o, const Point3D& a, const Point3D& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

bool SameXY(const Point3D& a, const Point3D& b, double eps) {
    return std::abs(a.x - b.x) <= eps && std::abs(a.y - b.y) <= eps;
}
}  // namespace

int Circle3P(double x1, double y1, double x2, double y2, double x3, double y3, double& cx, double& cy, double& r) {
    // Relative to the first point, so the squares stay small for large coordinates.
    double bx = x2 - x1, by = y2 - y1, qx = x3 - x1, qy = y3 - y1;
    double a1 = 2 * bx, b1 = 2 * by, c1 = -(bx * bx + by * by);
    double a2 = 2 * qx, b2 = 2 * qy, c2 = -(qx * qx + qy * qy);
    double det = a1 * b2 - b1 * a2;
    if (!(det <= -kEpsInner || det >= kEpsInner)) return 0;  // NaN counts as collinear
    double ux = (b1 * c2 - b2 * c1) / det;
    double uy = (c1 * a2 - c2 * a1) / det;
    cx = ux + x1;
    cy = uy + y1;
    r = std::hypot(ux, uy);
    return 1;
}

Boolean GetCircleParam(const CurveSegment* seg, Point3D* centre, double* r) {
    if (!seg || seg->pointCount < 3 || !seg->points) return False;
    const Point3D* p = seg->points;
    double cx, cy, rr;
    if (!Circle3P(p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y, cx, cy, rr)) return False;
    if (centre) *centre = {cx, cy, kUnknownZ};
    if (r) *r = rr;
    return True;
}

Boolean GetArcParam(const CurveSegment* seg, Point3D* centre, double* r, double* startDeg, double* endDeg,
                    double* midDeg) {
    auto fail = [&](const Point3D& c) {
        if (centre) *centre = c;
        if (r) *r = 0;
        if (startDeg) *startDeg = 0;
        if (endDeg) *endDeg = 0;
        if (midDeg) *midDeg = 0;
        return False;
    };
    if (!seg || seg->pointCount < 3 || !seg->points) return fail(Point3D{0, 0, 0});
    const Point3D* p = seg->points;
    if (SameXY(p[0], p[2], kEpsInner)) return fail(p[0]);
    double cx, cy, rr;
    if (!Circle3P(p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y, cx, cy, rr)) return fail(p[1]);
    double s = Wrap360(std::atan2(p[0].y - cy, p[0].x - cx) * kDeg);
    double e = Wrap360(std::atan2(p[2].y - cy, p[2].x - cx) * kDeg);
    double m = Wrap360(std::atan2(p[1].y - cy, p[1].x - cx) * kDeg);
    // Only the end is lifted: callers read the middle angle as a plain direction in [0, 360).
    while (e < s) e += 360.0;
    if (centre) *centre = {cx, cy, kUnknownZ};
    if (r) *r = rr;
    if (startDeg) *startDeg = s;
    if (endDeg) *endDeg = e;
    if (midDeg) *midDeg = m;
    return True;
}

Point3D Get_Cir_At_T(const Point3D& c, double r, double angleDeg) {
    double a = angleDeg / kDeg;
    return {c.x + r * std::cos(a), c.y + r * std::sin(a), 0.0};
}

double GetDirectionAngle(const Point3D& p0, const Point3D& p1) {
    double a = std::atan2(p1.y - p0.y, p1.x - p0.x);
    if (a < 0) a += kTwoPi;
    return Wrap360(a * kDeg);
}

int GetLineEquation(const Point3D& p0, const Point3D& p1, double& a, double& b, double& c) {
    a = p1.y - p0.y;
    b = p0.x - p1.x;
    c = p0.y * p1.x - p1.y * p0.x;
    if (!(std::abs(a) >= kEpsInner || std::abs(b) >= kEpsInner)) return 0;
    if (b < 0) { a = -a; b = -b; c = -c; }
    return 1;
}

int LineIntersectCircle(double a, double b, double c, const Point3D& centre, double r, double t, Point3D& p1,
                        Point3D& p2) {
    double n2 = a * a + b * b;
    if (!(n2 > 0) || !std::isfinite(r)) return 0;
    // Work about the centre: the line becomes a*x + b*y + cc = 0.
    double cc = c + a * centre.x + b * centre.y;
    double d = std::abs(cc) / std::sqrt(n2);
    if (r - d < -t) return 0;
    double fx = -a * cc / n2, fy = -b * cc / n2;  // foot of the centre
    double disc = n2 * r * r - cc * cc;
    if (r - d <= t || !(disc > 0)) {
        p1 = p2 = {centre.x + fx, centre.y + fy, kUnknownZ};
        return 1;
    }
    double root = std::sqrt(disc);
    // Solve for the coordinate whose coefficient is small relative to the other one, then recover
    // the other from the line equation through the large coefficient.
    bool swap = std::abs(b) > std::abs(a);
    double A = swap ? b : a, B = swap ? a : b;
    double v1 = (-B * cc + std::abs(A) * root) / n2;
    double v2 = (-B * cc - std::abs(A) * root) / n2;
    double u1 = -(B * v1 + cc) / A, u2 = -(B * v2 + cc) / A;
    double x1 = swap ? v1 : u1, y1 = swap ? u1 : v1;
    double x2 = swap ? v2 : u2, y2 = swap ? u2 : v2;
    p1 = {centre.x + x1, centre.y + y1, kUnknownZ};
    p2 = {centre.x + x2, centre.y + y2, kUnknownZ};
    return 2;
}

int SegmentIntersectCircle(const Point3D& s, const Point3D& e, const Point3D& centre, double r, double t,
                           Point3D& p1, Point3D& p2) {
    double a, b, c;
    if (!GetLineEquation(s, e, a, b, c)) return 0;
    Point3D q[2];
    int n = LineIntersectCircle(a, b, c, centre, r, t, q[0], q[1]);
    double dx = e.x - s.x, dy = e.y - s.y, len2 = dx * dx + dy * dy;
    double slack = t / std::sqrt(len2);
    int kept = 0;
    Point3D* out[2] = {&p1, &p2};
    for (int i = 0; i < n; ++i) {
        double u = ((q[i].x - s.x) * dx + (q[i].y - s.y) * dy) / len2;
        if (u >= -slack && u <= 1 + slack) *out[kept++] = q[i];
    }
    if (kept == 1) p2 = p1;
    return kept;
}

int CircleIntersectCircle(const Point3D& c1, double r1, const Point3D& c2, double r2, double t, Point3D& p1,
                          Point3D& p2) {
    double dx = c2.x - c1.x, dy = c2.y - c1.y;
    if (std::abs(dx) <= kEpsInner && std::abs(dy) <= kEpsInner) return 0;
    // Radical line about c1: 2dx*x + 2dy*y + (r2^2 - r1^2 - dx^2 - dy^2) = 0.
    double a = 2 * dx, b = 2 * dy, c = r2 * r2 - r1 * r1 - dx * dx - dy * dy;
    Point3D origin{0, 0, 0};
    int n = LineIntersectCircle(a, b, c, origin, r1, t, p1, p2);
    for (Point3D* p : {&p1, &p2}) {
        p->x += c1.x;
        p->y += c1.y;
    }
    return n;
}

bool ArcSweep3P(const Point3D* p, Point3D& centre, double& r, double& start, double& sweep) {
    if (!p) return false;
    double cx, cy, rr;
    bool closed = SameXY(p[0], p[2], kEpsInner);
    if (closed) {
        // Start and end coincide: the circle has the chord start-middle as its diameter.
        if (SameXY(p[0], p[1], kEpsInner)) return false;
        cx = (p[0].x + p[1].x) / 2;
        cy = (p[0].y + p[1].y) / 2;
        rr = std::hypot(p[1].x - p[0].x, p[1].y - p[0].y) / 2;
    } else if (!Circle3P(p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y, cx, cy, rr)) {
        return false;
    }
    centre = {cx, cy, kUnknownZ};
    r = rr;
    start = std::atan2(p[0].y - cy, p[0].x - cx);
    if (closed) {
        sweep = kTwoPi;  // a full turn; the direction of a closed triple is not defined by it
        return true;
    }
    double end = std::atan2(p[2].y - cy, p[2].x - cx);
    double ccw = std::fmod(end - start + 2 * kTwoPi, kTwoPi);
    if (Cross(p[0], p[1], p[2]) > 0) {
        sweep = ccw;
    } else {
        sweep = ccw - kTwoPi;
        if (sweep == -kTwoPi) sweep = 0;
    }
    return true;
}

bool AngleOnArc(double angle, double start, double sweep, double tol) {
    double d = sweep >= 0 ? angle - start : start - angle;
    d = std::fmod(d, kTwoPi);
    if (d < 0) d += kTwoPi;
    double span = std::abs(sweep);
    if (d <= span + tol) return true;
    return d >= kTwoPi - tol;  // just before the start
}

Box GetBoxOf3PArc(const Point3D* p) {
    Box box;
    Point3D c;
    double r, s, sw;
    if (!ArcSweep3P(p, c, r, s, sw)) {
        for (int i = 0; i < 3; ++i) box.add(p[i].x, p[i].y);
        return box;
    }
    box.add(p[0].x, p[0].y);
    box.add(p[2].x, p[2].y);
    for (int k = 0; k < 4; ++k) {
        double a = k * kPi / 2;
        if (AngleOnArc(a, s, sw, 0.0)) box.add(c.x + r * std::cos(a), c.y + r * std::sin(a));
    }
    return box;
}

double Length3PArc(const Point3D* p, int which) {
    Point3D c;
    double r, s, sw;
    if (!ArcSweep3P(p, c, r, s, sw)) {
        const Point3D& a = which == 2 ? p[1] : p[0];
        const Point3D& b = which == 1 ? p[1] : p[2];
        if (which == 0 && SameXY(p[0], p[2], kEpsInner)) return 0.0;
        return std::hypot(b.x - a.x, b.y - a.y);
    }
    if (which == 0) return r * std::abs(sw);
    double m = std::atan2(p[1].y - c.y, p[1].x - c.x);
    double d = sw >= 0 ? m - s : s - m;
    d = std::fmod(d, kTwoPi);
    if (d < 0) d += kTwoPi;
    return r * (which == 1 ? d : std::abs(sw) - d);
}

Point3D MidPointOf3PArc(const Point3D* p, int which) {
    Point3D c;
    double r, s, sw;
    if (!ArcSweep3P(p, c, r, s, sw)) {
        const Point3D& a = which == 2 ? p[1] : p[0];
        const Point3D& b = which == 1 ? p[1] : p[2];
        return {(a.x + b.x) / 2, (a.y + b.y) / 2, kUnknownZ};
    }
    double from = s, span = sw;
    if (which != 0) {
        double m = std::atan2(p[1].y - c.y, p[1].x - c.x);
        double d = sw >= 0 ? m - s : s - m;
        d = std::fmod(d, kTwoPi);
        if (d < 0) d += kTwoPi;
        double signedD = sw >= 0 ? d : -d;
        if (which == 1) {
            span = signedD;
        } else {
            from = s + signedD;
            span = sw - signedD;
        }
    }
    double a = from + span / 2;
    return {c.x + r * std::cos(a), c.y + r * std::sin(a), kUnknownZ};
}

double DistanceToSegment(const Point3D& a, const Point3D& b, const Point3D& q, Point3D* foot) {
    double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((q.x - a.x) * dx + (q.y - a.y) * dy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    Point3D f{a.x + t * dx, a.y + t * dy, kUnknownZ};
    if (foot) *foot = f;
    return std::hypot(q.x - f.x, q.y - f.y);
}

double DistanceTo3PArc(const Point3D* p, const Point3D& q, Point3D* foot) {
    Point3D c;
    double r, s, sw;
    if (!ArcSweep3P(p, c, r, s, sw)) return DistanceToSegment(p[0], p[2], q, foot);
    double d = std::hypot(q.x - c.x, q.y - c.y);
    if (d > kEpsInner) {
        double a = std::atan2(q.y - c.y, q.x - c.x);
        if (AngleOnArc(a, s, sw, 0.0)) {
            if (foot) *foot = {c.x + (q.x - c.x) * r / d, c.y + (q.y - c.y) * r / d, kUnknownZ};
            return std::abs(d - r);
        }
    }
    double d0 = std::hypot(q.x - p[0].x, q.y - p[0].y), d2 = std::hypot(q.x - p[2].x, q.y - p[2].y);
    if (foot) *foot = d0 < d2 ? p[0] : p[2];
    return std::min(d0, d2);
}

int ArcIntersectArc(const Point3D* arcA, const Point3D* arcB, double t, Point3D& p1, Point3D& p2) {
    Point3D ca, cb;
    double ra, rb, sa, swa, sb, swb;
    if (!ArcSweep3P(arcA, ca, ra, sa, swa) || !ArcSweep3P(arcB, cb, rb, sb, swb)) return 0;
    Point3D q[2];
    int n = CircleIntersectCircle(ca, ra, cb, rb, t, q[0], q[1]);
    int kept = 0;
    Point3D* out[2] = {&p1, &p2};
    for (int i = 0; i < n; ++i) {
        double aa = std::atan2(q[i].y - ca.y, q[i].x - ca.x), ab = std::atan2(q[i].y - cb.y, q[i].x - cb.x);
        double tolA = ra > 0 ? t / ra : 0, tolB = rb > 0 ? t / rb : 0;
        if (AngleOnArc(aa, sa, swa, tolA) && AngleOnArc(ab, sb, swb, tolB)) *out[kept++] = q[i];
    }
    if (kept == 1) p2 = p1;
    return kept;
}

}  // namespace kelo
