// The ring point test: a crossing count along a ray that keeps clear of the ring's vertices, over
// straight edges and, for rings with three-point arcs, exact circle pieces.
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "companion/random.h"
#include "geometry/parts.h"
#include "geometry/tolerance.h"
#include "overlay/rect_clip.h"
#include "relations/segment.h"
#include "relations/segment_arc.h"

namespace kelo {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr int kRandomRays = 60;

double Cross(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

// One edge of the ring: a straight segment p[0]-p[1], or an arc p[0]-p[1]-p[2] with its circle.
struct Edge {
    Point3D p[3];
    bool arc = false;
    detail::SegCircle c;
    int middleSide = 0;  // side of the chord the arc bulges to

    const Point3D& Head() const { return p[0]; }
    const Point3D& Tail() const { return arc ? p[2] : p[1]; }
    CsSegment View() const { return CsSegment(const_cast<Point3D*>(p), arc ? klLT3PArc : klLTPolyline); }
};

int Side(const Point3D& a, const Point3D& b, double x, double y) {
    double c = Cross(b.x - a.x, b.y - a.y, x - a.x, y - a.y);
    return c > 0 ? 1 : (c < 0 ? -1 : 0);
}

struct Ring {
    std::vector<Edge> edges;
    Box box;

    void Straight(const Point3D& a, const Point3D& b) {
        if (a.x == b.x && a.y == b.y) return;
        Edge e;
        e.p[0] = a;
        e.p[1] = b;
        edges.push_back(e);
    }
    void Polyline(const Point3D* p, size_t n) {
        for (size_t i = 0; i + 1 < n; ++i) Straight(p[i], p[i + 1]);
    }
    // An arc whose points are collinear is its chord, as in the segment view.
    void Arc(const Point3D& a, const Point3D& m, const Point3D& b) {
        Edge e;
        e.p[0] = a;
        e.p[1] = m;
        e.p[2] = b;
        e.arc = true;
        if (!detail::SegArcCircle(e.View(), e.c) || !(e.c.r > kEpsInner)) {
            Straight(a, b);
            return;
        }
        e.middleSide = Side(a, b, m.x, m.y);
        if (e.middleSide == 0) {
            Straight(a, b);
            return;
        }
        edges.push_back(e);
    }
    static Point3D OnCircle(const detail::SegCircle& c, double angle) {
        return {c.cx + c.r * std::cos(angle), c.cy + c.r * std::sin(angle), 0};
    }
    void ArcRun(const Point3D* p, int n) {
        int i = 0;
        for (; i + 2 < n; i += 2) Arc(p[i], p[i + 1], p[i + 2]);
        if (i + 1 >= n) return;
        // A trailing point: the rest of the circle of the last three points, from the middle of
        // the last arc to its end.
        if (n < 3) {
            Straight(p[n - 2], p[n - 1]);
            return;
        }
        detail::SegCircle c;
        Point3D tri[3] = {p[n - 3], p[n - 2], p[n - 1]};
        if (!detail::SegArcCircle(CsSegment(tri, klLT3PArc), c)) {
            Straight(p[n - 2], p[n - 1]);
            return;
        }
        double from = detail::SegAngleFromStart(c, std::atan2(p[n - 2].y - c.cy, p[n - 2].x - c.cx));
        double rest = std::abs(c.sweep) - from;
        double sense = c.sweep >= 0 ? 1 : -1;
        double mid = c.start + sense * (from + rest / 2);
        Arc(p[n - 2], OnCircle(c, mid), p[n - 1]);
    }
    // The whole circle through the first three points, as two half arcs from the first point.
    void CircleRun(const Point3D* p, int n) {
        detail::SegCircle c;
        Point3D tri[3];
        if (n < 3) {
            Polyline(p, static_cast<size_t>(n));
            return;
        }
        tri[0] = p[0];
        tri[1] = p[1];
        tri[2] = p[2];
        if (!detail::SegArcCircle(CsSegment(tri, klLT3PArc), c)) {
            Polyline(p, static_cast<size_t>(n));
            return;
        }
        double s = c.sweep >= 0 ? 1 : -1, h = std::numbers::pi / 2;
        Point3D opposite = OnCircle(c, c.start + s * 2 * h);
        Arc(p[0], OnCircle(c, c.start + s * h), opposite);
        Arc(opposite, OnCircle(c, c.start + s * 3 * h), p[0]);
    }

    void Finish(double x, double y) {
        box = Box();
        box.add(x, y);
        for (const Edge& e : edges) box.add(e.View().GetBox());
    }
};

// ---- rays --------------------------------------------------------------------------------------

enum RayOutcome { kUnusable, kCounted, kOnRing };

struct Ray {
    double px, py, dx, dy;
    double len;       // infinite for the axis rays
    bool wholeLine;   // vertices are judged against the whole line, not just the ray
};

double DistToRay(const Ray& r, double x, double y) {
    double wx = x - r.px, wy = y - r.py;
    if (r.wholeLine) return std::abs(Cross(r.dx, r.dy, wx, wy));
    double t = wx * r.dx + wy * r.dy;
    if (t < 0) t = 0;
    if (t > r.len) t = r.len;
    return std::hypot(wx - t * r.dx, wy - t * r.dy);
}

// A ray is unusable when it passes within eps of a vertex, or touches an arc within eps, where a
// crossing count would hinge on rounding.
bool Usable(const Ring& ring, const Ray& r, double eps) {
    for (const Edge& e : ring.edges) {
        if (DistToRay(r, e.Head().x, e.Head().y) <= eps || DistToRay(r, e.Tail().x, e.Tail().y) <= eps) return false;
        if (!e.arc) continue;
        double wx = e.c.cx - r.px, wy = e.c.cy - r.py;
        double h = std::abs(Cross(r.dx, r.dy, wx, wy));
        if (std::abs(h - e.c.r) > eps) continue;
        double t = wx * r.dx + wy * r.dy;
        double fx = r.px + t * r.dx, fy = r.py + t * r.dy;
        if (Side(e.Head(), e.Tail(), fx, fy) == e.middleSide) return false;
    }
    return true;
}

RayOutcome Count(const Ring& ring, const Ray& r, double eps, int& crossings) {
    crossings = 0;
    auto hit = [&](double t) -> bool {
        if (std::abs(t) <= eps) return true;
        if (t > 0 && t <= r.len) ++crossings;
        return false;
    };
    for (const Edge& e : ring.edges) {
        if (!e.arc) {
            double ex = e.p[1].x - e.p[0].x, ey = e.p[1].y - e.p[0].y;
            double den = Cross(ex, ey, r.dx, r.dy);
            if (den == 0) continue;
            double apx = r.px - e.p[0].x, apy = r.py - e.p[0].y;
            double s = Cross(apx, apy, r.dx, r.dy) / den;
            if (s < 0 || s > 1) continue;
            double t = Cross(-apx, -apy, ex, ey) / Cross(r.dx, r.dy, ex, ey);
            if (hit(t)) return kOnRing;
            continue;
        }
        double wx = r.px - e.c.cx, wy = r.py - e.c.cy;
        double b = wx * r.dx + wy * r.dy;
        double disc = b * b - (wx * wx + wy * wy - e.c.r * e.c.r);
        if (disc < 0) continue;
        double sq = std::sqrt(disc);
        for (double t : {-b - sq, -b + sq}) {
            double x = r.px + t * r.dx, y = r.py + t * r.dy;
            if (Side(e.Head(), e.Tail(), x, y) != e.middleSide) continue;
            if (hit(t)) return kOnRing;
        }
    }
    return kCounted;
}

bool OnRing(const Ring& ring, double x, double y, double eps) {
    Point3D q{x, y, 0};
    for (const Edge& e : ring.edges)
        if (e.View().IsOverlapPt(q, eps)) return true;
    return false;
}

// The crossing count with its choice of rays: horizontal, else vertical, else random ones.
int Decide(Ring& ring, double x, double y, double eps) {
    ring.Finish(x, y);
    const double inf = std::numeric_limits<double>::infinity();
    int crossings = 0;
    for (const Ray& axis : {Ray{x, y, 1, 0, inf, true}, Ray{x, y, 0, 1, inf, true}}) {
        if (!Usable(ring, axis, eps)) continue;
        if (Count(ring, axis, eps, crossings) == kOnRing) return -1;
        return crossings % 2;
    }
    if (OnRing(ring, x, y, eps)) return -1;
    double w = 0, h = 0;
    ring.box.GetSize(w, h);
    double len = 3 * std::max(w, h);
    for (int k = 0; k < kRandomRays; ++k) {
        double a = kTwoPi * KeloRand() / 32768.0;
        Ray ray{x, y, std::cos(a), std::sin(a), len, false};
        if (!Usable(ring, ray, eps)) continue;
        if (Count(ring, ray, eps, crossings) == kOnRing) return -1;
        return crossings % 2;
    }
    return 0;
}

bool IsStraight(int type) { return type == klLTPolyline || type == klLTNone; }

}  // namespace

int RingPointTest(const LineString* ring, double x, double y, double eps) {
    if (!ring || !ring->parts || ring->partCount == 0) return 0;
    if (!(eps >= 0)) eps = 0;
    const keloParts& line = reinterpret_cast<const keloParts&>(*ring);
    Ring r;
    bool withArc = false;
    for (uint32_t k = 0; k < ring->partCount; ++k)
        if (Is3PArcSegment(ring->parts[k].lineType)) withArc = true;

    if (withArc) {
        // Exact: arcs and circles as circle pieces, the other curves discretised run by run.
        const Point3D* prevEnd = nullptr;
        for (uint32_t k = 0; k < ring->partCount; ++k) {
            const CurveSegment& run = ring->parts[k];
            if (!run.points || run.pointCount == 0) continue;
            const int n = static_cast<int>(run.pointCount);
            if (prevEnd) r.Straight(*prevEnd, run.points[0]);
            switch (run.lineType) {
                case klLT3PArc:
                    r.ArcRun(run.points, n);
                    break;
                case klLT3PCircle:
                    r.CircleRun(run.points, n);
                    break;
                case klLTBezier:
                case klLTEllipse:
                case klLTSpline:
                case klLTSpline2: {
                    std::vector<Point3D> flat;
                    reinterpret_cast<const keloPoints&>(run).Discrete(flat, g_epsZero);
                    r.Polyline(flat.data(), flat.size());
                    break;
                }
                default:
                    r.Polyline(run.points, run.pointCount);
            }
            prevEnd = &run.points[n - 1];
        }
        if (r.edges.empty()) {
            // A ring shrunk to one point: on it or outside.
            if (!prevEnd) return 0;
            return std::hypot(prevEnd->x - x, prevEnd->y - y) <= eps ? -1 : 0;
        }
        if (OnRing(r, x, y, eps)) return -1;
        if (!line.IsClosed()) return 0;
        return Decide(r, x, y, eps);
    }

    std::vector<Point3D> pts;
    if (ring->partCount == 1 && IsStraight(ring->parts[0].lineType)) {
        if (ring->parts[0].points) pts.assign(ring->parts[0].points, ring->parts[0].points + ring->parts[0].pointCount);
    } else {
        line.Discrete(pts, g_epsZero);
    }
    if (pts.empty()) return 0;
    r.Polyline(pts.data(), pts.size());
    // Taken as a ring: an open run is closed by its chord.
    r.Straight(pts.back(), pts.front());
    if (r.edges.empty()) return std::hypot(pts[0].x - x, pts[0].y - y) <= eps ? -1 : 0;
    return Decide(r, x, y, eps);
}

}  // namespace kelo
