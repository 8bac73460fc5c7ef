// Signed area of multi-part lines with their curves, and the point-in-ring test built on the same
// exact treatment of circular arcs.
#include <cmath>
#include <numbers>
#include <vector>

#include "geometry/circle_arc.h"
#include "geometry/ellipse.h"
#include "geometry/parts.h"
#include "geometry/tolerance.h"

namespace kelo {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

const keloPoints& View(const CurveSegment& s) { return reinterpret_cast<const keloPoints&>(s); }

double Cross(const Point3D& a, const Point3D& b, const Point3D& o) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// One piece of circle: start point A, end point B, centre, radius, start angle and signed sweep
// (radians, counter-clockwise positive). A full circle has A = B and |sweep| = 2pi.
struct ArcPiece {
    Point3D a, b, c;
    double r, start, sweep;
};

// The piece from p[1] to p[2] of the circle through p[0], p[1], p[2] (a trailing half arc).
bool TrailingHalfArc(const Point3D* p, ArcPiece& out) {
    double start, sweep;
    if (!ArcSweep3P(p, out.c, out.r, start, sweep)) return false;
    double mid = std::atan2(p[1].y - out.c.y, p[1].x - out.c.x);
    double d = std::fmod(start + sweep - mid, kTwoPi);
    if (sweep > 0 && d < 0) d += kTwoPi;
    if (sweep < 0 && d > 0) d -= kTwoPi;
    out.a = p[1];
    out.b = p[2];
    out.start = mid;
    out.sweep = d;
    return true;
}

bool WholeArc(const Point3D* p, ArcPiece& out) {
    if (!ArcSweep3P(p, out.c, out.r, out.start, out.sweep)) return false;
    out.a = p[0];
    out.b = p[2];
    return true;
}

// Twice the area between an arc and its chord, signed like the sweep.
double SegmentTerm(const ArcPiece& arc) { return arc.r * arc.r * (arc.sweep - std::sin(arc.sweep)); }

// The pieces a ring is made of: straight segments and exact circle pieces. Curves other than arcs
// and circles are discretised at eps.
struct RingPieces {
    std::vector<Point3D> segA, segB;
    std::vector<ArcPiece> arcs;

    void Segment(const Point3D& a, const Point3D& b) {
        if (a.x == b.x && a.y == b.y) return;
        segA.push_back(a);
        segB.push_back(b);
    }
    void Polyline(const Point3D* p, int n) {
        for (int i = 0; i + 1 < n; ++i) Segment(p[i], p[i + 1]);
    }
    void Part(const keloPoints& part, double eps) {
        int n = part.GetCount();
        if (n == 0) return;
        const Point3D* p = part.points;
        switch (part.GetLineType()) {
            case klLT3PArc: {
                ArcPiece arc;
                int i = 0;
                for (; i + 2 < n; i += 2) {
                    if (WholeArc(p + i, arc)) arcs.push_back(arc);
                    else Polyline(p + i, 3);
                }
                if (i + 1 < n) {
                    if (n >= 3 && TrailingHalfArc(p + n - 3, arc)) arcs.push_back(arc);
                    else Segment(p[n - 2], p[n - 1]);
                }
                return;
            }
            case klLT3PCircle: {
                ArcPiece arc;
                if (n >= 3 && WholeArc(p, arc)) {
                    arc.b = arc.a;
                    arc.sweep = arc.sweep < 0 ? -kTwoPi : kTwoPi;
                    arcs.push_back(arc);
                } else {
                    Polyline(p, n);
                }
                return;
            }
            case klLTBezier:
            case klLTEllipse:
            case klLTSpline:
            case klLTSpline2: {
                std::vector<Point3D> flat;
                part.Discrete(flat, eps);
                Polyline(flat.data(), static_cast<int>(flat.size()));
                return;
            }
            default:
                Polyline(p, n);
        }
    }
    // Every part, the gaps between parts and the closing chord.
    void Ring(const LineString& ring, double eps) {
        const Point3D* prevEnd = nullptr;
        const Point3D* first = nullptr;
        for (uint32_t k = 0; k < ring.partCount; ++k) {
            const CurveSegment& s = ring.parts[k];
            if (s.pointCount == 0) continue;
            if (prevEnd) Segment(*prevEnd, s.points[0]);
            if (!first) first = &s.points[0];
            Part(View(s), eps);
            prevEnd = &s.points[s.pointCount - 1];
        }
        if (prevEnd && first) Segment(*prevEnd, *first);
    }
};

double ArcDistance(const ArcPiece& arc, double x, double y) {
    double dx = x - arc.c.x, dy = y - arc.c.y;
    double rho = std::hypot(dx, dy);
    if (std::abs(arc.sweep) >= kTwoPi - 1e-12 || (rho > 0 && AngleOnArc(std::atan2(dy, dx), arc.start, arc.sweep, 0.0)))
        return std::abs(rho - arc.r);
    return std::min(std::hypot(x - arc.a.x, y - arc.a.y), std::hypot(x - arc.b.x, y - arc.b.y));
}

// Winding angle of the arc about (x, y): the angle its chord subtends, plus a full turn in the
// arc's sense when the point lies between chord and arc. Both decisions read the same cross
// product, so a point on the chord line is classified consistently.
double ArcWinding(const ArcPiece& arc, double x, double y) {
    double ax = arc.a.x - x, ay = arc.a.y - y, bx = arc.b.x - x, by = arc.b.y - y;
    double inDisc = (x - arc.c.x) * (x - arc.c.x) + (y - arc.c.y) * (y - arc.c.y) < arc.r * arc.r;
    if (std::abs(arc.sweep) >= kTwoPi - 1e-12) return inDisc ? (arc.sweep > 0 ? kTwoPi : -kTwoPi) : 0.0;
    double c = ax * by - ay * bx;
    if (c == 0) c = 0.0;  // no negative zero: atan2 must see the same side as the test below
    double angle = std::atan2(c, ax * bx + ay * by);
    if (!inDisc) return angle;
    double midAngle = arc.start + arc.sweep / 2;
    double mx = arc.c.x + arc.r * std::cos(midAngle), my = arc.c.y + arc.r * std::sin(midAngle);
    double cm = (arc.a.x - mx) * (arc.b.y - my) - (arc.a.y - my) * (arc.b.x - mx);
    bool sameSide = (c >= 0) == (cm >= 0);
    return sameSide ? angle + (arc.sweep > 0 ? kTwoPi : -kTwoPi) : angle;
}

}  // namespace

double keloParts::GetArea() const {
    Point3D origin;
    bool have = false;
    for (uint32_t k = 0; k < partCount && !have; ++k)
        if (parts[k].pointCount) {
            origin = parts[k].points[0];
            have = true;
        }
    if (!have) return 0.0;

    double twice = 0.0;
    const Point3D* prevEnd = nullptr;
    for (uint32_t k = 0; k < partCount; ++k) {
        const keloPoints& part = View(parts[k]);
        int n = part.GetCount();
        if (n == 0) continue;
        const Point3D* p = part.points;
        if (prevEnd) twice += Cross(*prevEnd, p[0], origin);
        prevEnd = &p[n - 1];
        switch (part.GetLineType()) {
            case klLT3PArc: {
                int i = 0;
                for (; i + 2 < n; i += 2) {
                    twice += Cross(p[i], p[i + 2], origin);
                    ArcPiece arc;
                    if (WholeArc(p + i, arc)) twice += SegmentTerm(arc);
                    else twice += Cross(p[i], p[i + 1], origin) + Cross(p[i + 1], p[i + 2], origin) - Cross(p[i], p[i + 2], origin);
                }
                if (i + 1 < n) {
                    twice += Cross(p[n - 2], p[n - 1], origin);
                    ArcPiece arc;
                    if (n >= 3 && TrailingHalfArc(p + n - 3, arc)) twice += SegmentTerm(arc);
                }
                break;
            }
            case klLT3PCircle: {
                Point3D c;
                double r;
                // A circle is a closed loop of its own: its area does not depend on where it starts
                // or which way it turns.
                if (GetCircleParam(&part, &c, &r) == True) twice += kTwoPi * r * r;
                else for (int i = 0; i + 1 < n; ++i) twice += Cross(p[i], p[i + 1], origin);
                break;
            }
            case klLTEllipse: {
                int i = 0;
                for (; i + 4 < n; i += 4) {
                    Point3D c;
                    double a, b, rot, t0, t1, sweep;
                    if (!Ellipse5P(p + i, c, a, b, rot, t0, t1, sweep)) {
                        for (int j = i; j < i + 4; ++j) twice += Cross(p[j], p[j + 1], origin);
                        continue;
                    }
                    if (PointOverlap(&p[i], &p[i + 4], kEpsInner) == True) {
                        twice += kTwoPi * a * b;
                    } else {
                        // Elliptic sector about the centre minus its triangle: the segment between
                        // chord and curve.
                        twice += Cross(p[i], p[i + 4], origin) + a * b * sweep - Cross(p[i], p[i + 4], c);
                    }
                }
                for (; i + 1 < n; ++i) twice += Cross(p[i], p[i + 1], origin);
                break;
            }
            case klLTBezier:
            case klLTSpline:
            case klLTSpline2: {
                std::vector<Point3D> flat;
                part.Discrete(flat, g_epsZero);
                for (size_t i = 0; i + 1 < flat.size(); ++i) twice += Cross(flat[i], flat[i + 1], origin);
                break;
            }
            default:
                for (int i = 0; i + 1 < n; ++i) twice += Cross(p[i], p[i + 1], origin);
        }
    }
    // The closing term from the last point back to the first vanishes: the first point is the origin.
    return 0.5 * twice;
}

namespace detail {

int RingPointState(const LineString& ring, double x, double y, double eps) {
    if (!(eps >= 0)) eps = 0;
    RingPieces pieces;
    pieces.Ring(ring, eps > 1e-8 ? eps : 1e-8);
    if (pieces.segA.empty() && pieces.arcs.empty()) {
        // A ring of one point: on it or outside.
        for (uint32_t k = 0; k < ring.partCount; ++k)
            if (ring.parts[k].pointCount &&
                std::hypot(ring.parts[k].points[0].x - x, ring.parts[k].points[0].y - y) <= eps)
                return -1;
        return 0;
    }
    Point3D q{x, y, 0};
    for (size_t i = 0; i < pieces.segA.size(); ++i)
        if (DistanceToSegment(pieces.segA[i], pieces.segB[i], q) <= eps) return -1;
    for (const ArcPiece& arc : pieces.arcs)
        if (ArcDistance(arc, x, y) <= eps) return -1;

    double total = 0;
    for (size_t i = 0; i < pieces.segA.size(); ++i) {
        double ax = pieces.segA[i].x - x, ay = pieces.segA[i].y - y;
        double bx = pieces.segB[i].x - x, by = pieces.segB[i].y - y;
        total += std::atan2(ax * by - ay * bx, ax * bx + ay * by);
    }
    for (const ArcPiece& arc : pieces.arcs) total += ArcWinding(arc, x, y);
    long winding = std::lround(total / kTwoPi);
    return (winding % 2 != 0) ? 1 : 0;
}

}  // namespace detail

}  // namespace kelo
