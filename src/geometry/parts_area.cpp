// Signed area of multi-part lines with their curves, circular arcs exact.
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


}  // namespace kelo
