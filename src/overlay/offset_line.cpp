// Offset lines: the line shifted sideways by a distance. Straight runs and curve control points go
// through the companion's polyline offset in one chain; arcs, circles and ellipses are then
// rebuilt about their own centres so they stay curves, and rejoined to their neighbours.
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "companion/plane.h"
#include "geometry/circle_arc.h"
#include "geometry/discrete.h"
#include "geometry/ellipse.h"
#include "geometry/parts.h"
#include "geometry/tolerance.h"

namespace kelo {

namespace {

// A curve whose radius is not above this (before or after the offset) cannot be offset.
constexpr double kMinRadius = 1e-6;
constexpr double kPi = 3.14159265358979323846;

enum PieceKind { kChained, kArc, kCircle, kEllipse };

// One part of the offset line. kChained pieces keep what the polyline offset gave them.
struct Piece {
    keloPoints run;
    PieceKind kind = kChained;
    Point3D centre{0, 0, 0};
    double r = 0, start = 0, sweep = 0;  // arcs
};

double Dist(const Point3D& a, const Point3D& b) { return std::hypot(a.x - b.x, a.y - b.y); }

// A curve turning towards the offset side (its centre on that side) shrinks.
double Growth(bool ccw, bool left, double distance) { return ccw == left ? -distance : distance; }

void RadialMove(Point3D& p, const Point3D& c, double r) {
    double a = std::atan2(p.y - c.y, p.x - c.x);
    p.x = c.x + r * std::cos(a);
    p.y = c.y + r * std::sin(a);
}

void PlaceArcPoints(Piece& p) {
    for (int i = 0; i < 3; ++i) {
        double a = p.start + p.sweep * 0.5 * i;
        p.run[i].x = p.centre.x + p.r * std::cos(a);
        p.run[i].y = p.centre.y + p.r * std::sin(a);
    }
}

bool OffsetArc(const keloPoints& src, bool left, double distance, Piece& out) {
    if (src.GetCount() != 3) return false;
    Point3D c;
    double r, a0, sweep;
    if (!ArcSweep3P(src.points, c, r, a0, sweep)) return false;
    double nr = r + Growth(sweep > 0, left, distance);
    if (r <= kMinRadius || nr <= kMinRadius) return false;
    out.run = src;
    out.kind = kArc;
    out.centre = c;
    out.r = nr;
    out.start = a0;
    out.sweep = sweep;
    for (int i = 0; i < 3; ++i) RadialMove(out.run[i], c, nr);
    return true;
}

bool OffsetCircle(const keloPoints& src, bool left, double distance, Piece& out) {
    if (src.GetCount() < 3) return false;
    const Point3D* p = src.points;
    double cx, cy, r;
    if (!Circle3P(p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y, cx, cy, r)) return false;
    bool ccw = (p[1].x - p[0].x) * (p[2].y - p[0].y) - (p[1].y - p[0].y) * (p[2].x - p[0].x) > 0;
    double nr = r + Growth(ccw, left, distance);
    if (r <= kMinRadius || nr <= kMinRadius) return false;
    out.run = src;
    out.kind = kCircle;
    for (int i = 0; i < out.run.GetCount(); ++i) RadialMove(out.run[i], {cx, cy, 0}, nr);
    return true;
}

// Both semi-axes change by the distance, each point keeping its parametric angle.
bool OffsetEllipse(const keloPoints& src, bool left, double distance, Piece& out) {
    if (src.GetCount() != 5) return false;
    Point3D c;
    double a, b, rot, s, e, sweep;
    if (!Ellipse5P(src.points, c, a, b, rot, s, e, sweep)) return false;
    double g = Growth(sweep > 0, left, distance);
    if (b <= kMinRadius || b + g <= kMinRadius) return false;
    out.run = src;
    out.kind = kEllipse;
    const double cr = std::cos(rot), sr = std::sin(rot);
    for (int i = 0; i < 5; ++i) {
        Point3D& p = out.run[i];
        double lx = (p.x - c.x) * cr + (p.y - c.y) * sr, ly = -(p.x - c.x) * sr + (p.y - c.y) * cr;
        Point3D q = EllipsePointAt(c, a + g, b + g, rot, std::atan2(ly / b, lx / a));
        p.x = q.x;
        p.y = q.y;
    }
    return true;
}

// Unit direction of travel of an unshifted part at its start or end.
Point3D Tangent(const keloPoints& src, bool atEnd) {
    const int n = src.GetCount();
    if (src.GetLineType() == klLT3PArc && n >= 3) {
        Point3D c;
        double r, a0, sweep;
        if (ArcSweep3P(src.points + (atEnd ? n - 3 : 0), c, r, a0, sweep)) {
            double a = atEnd ? a0 + sweep : a0, s = sweep > 0 ? 1 : -1;
            return {-std::sin(a) * s, std::cos(a) * s, 0};
        }
    }
    Point3D from{0, 0, 0}, to{0, 0, 0};
    if (atEnd) {
        to = src[n - 1];
        from = to;
        for (int i = n - 2; i >= 0 && Dist(from, to) <= 0; --i) from = src[i];
    } else {
        from = src[0];
        to = from;
        for (int i = 1; i < n && Dist(from, to) <= 0; ++i) to = src[i];
    }
    double bearing = _BEARING(from.x, from.y, to.x, to.y);
    return {std::cos(bearing), std::sin(bearing), 0};
}

// Whether the end (or start) of a piece may move to x; commit makes the move.
bool MoveEnd(Piece& p, const Point3D& x, bool atEnd, bool commit) {
    const int n = p.run.GetCount();
    if (p.kind == kArc) {
        double a = std::atan2(x.y - p.centre.y, x.x - p.centre.x);
        double start = p.start, sweep = p.sweep;
        if (atEnd) {
            sweep += std::remainder(a - (start + sweep), 2 * kPi);
        } else {
            double delta = std::remainder(a - start, 2 * kPi);
            start += delta;
            sweep -= delta;
        }
        if ((sweep > 0) != (p.sweep > 0) || std::fabs(sweep) < 1e-9 || std::fabs(sweep) >= 2 * kPi) return false;
        if (commit) {
            p.start = start;
            p.sweep = sweep;
            PlaceArcPoints(p);
        }
        return true;
    }
    if (p.kind != kChained || n < 2) return false;
    // The moved end must stay ahead of the point before it, or the piece would turn back.
    const Point3D& e = atEnd ? p.run[n - 1] : p.run[0];
    const Point3D* q = nullptr;
    for (int i = 1; i < n && !q; ++i) {
        const Point3D& c = atEnd ? p.run[n - 1 - i] : p.run[i];
        if (Dist(c, e) > 0) q = &c;
    }
    if (!q || (x.x - q->x) * (e.x - q->x) + (x.y - q->y) * (e.y - q->y) <= 0) return false;
    if (commit) {
        Point3D& target = atEnd ? p.run[n - 1] : p.run[0];
        target.x = x.x;
        target.y = x.y;
    }
    return true;
}

// The straight line a chained piece leaves (atEnd) or enters its joint along, as a*x + b*y + c = 0.
bool EndLine(const Piece& p, bool atEnd, double& a, double& b, double& c) {
    const int n = p.run.GetCount();
    if (n < 2) return false;
    const Point3D& e = atEnd ? p.run[n - 1] : p.run[0];
    for (int i = 1; i < n; ++i) {
        const Point3D& q = atEnd ? p.run[n - 1 - i] : p.run[i];
        if (GetLineEquation(q, e, a, b, c)) return true;
    }
    return false;
}

// Rejoins piece A's end to piece B's start around the unshifted joint j. Returns the connecting
// run to put between them when they could not be made to meet (empty when they do).
keloPoints Join(Piece& A, Piece& B, const keloPoints& srcA, const keloPoints& srcB, bool left, double distance) {
    keloPoints none;
    if (A.kind == kCircle || B.kind == kCircle || (A.kind == kChained && B.kind == kChained)) return none;
    if (A.run.GetCount() == 0 || B.run.GetCount() == 0 || srcA.GetCount() == 0) return none;
    const Point3D j = srcA[srcA.GetCount() - 1];
    Point3D p[2];
    int found = 0;
    double a, b, c;
    const double t = g_epsZero;
    if (A.kind == kArc && B.kind == kArc) {
        if (Dist(A.centre, B.centre) >= g_epsZero) found = CircleIntersectCircle(A.centre, A.r, B.centre, B.r, t, p[0], p[1]);
    } else if (A.kind == kArc && B.kind == kChained && EndLine(B, false, a, b, c)) {
        found = LineIntersectCircle(a, b, c, A.centre, A.r, t, p[0], p[1]);
    } else if (B.kind == kArc && A.kind == kChained && EndLine(A, true, a, b, c)) {
        found = LineIntersectCircle(a, b, c, B.centre, B.r, t, p[0], p[1]);
    }
    if (found == 2 && Dist(p[1], j) < Dist(p[0], j)) std::swap(p[0], p[1]);
    // A meeting point much farther out than a mitre would reach belongs to another turn of a curve.
    const double reach = 4 * std::fabs(distance) + g_epsZero;
    for (int k = 0; k < found; ++k) {
        if (Dist(p[k], j) > reach || !MoveEnd(A, p[k], true, false) || !MoveEnd(B, p[k], false, false)) continue;
        MoveEnd(A, p[k], true, true);
        MoveEnd(B, p[k], false, true);
        return none;
    }
    Point3D& e1 = A.run[A.run.GetCount() - 1];
    Point3D& e2 = B.run[0];
    if (Dist(e1, e2) <= kEpsInner) {
        e2.x = e1.x;
        e2.y = e1.y;
        return none;
    }
    // Through the point at the distance on the bisector of the two offset directions.
    Point3D ta = Tangent(srcA, true), tb = Tangent(srcB, false);
    Point3D na = left ? Point3D{-ta.y, ta.x, 0} : Point3D{ta.y, -ta.x, 0};
    Point3D nb = left ? Point3D{-tb.y, tb.x, 0} : Point3D{tb.y, -tb.x, 0};
    Point3D bis{na.x + nb.x, na.y + nb.y, 0};
    double len = std::hypot(bis.x, bis.y);
    if (len < 1e-12) bis = na, len = 1;
    Point3D mid{j.x + distance * bis.x / len, j.y + distance * bis.y / len, j.z};
    std::vector<Point3D> pts{e1, mid, e2};
    return keloPoints(pts, klLTPolyline);
}

}  // namespace

int keloParts::ParallelKeloParts(double distance, int side) {
    const bool curved = bWithCurve();
    keloParts normal;
    if (curved) {
        Normalizing(1e-8, 0x2000);
        normal = *this;
    }
    ConvertToBezier(klDPArc | klDPSpline | klDPEllipse);

    std::vector<double> xs, ys;
    for (uint32_t k = 0; k < partCount; ++k) {
        const CurveSegment& s = parts[k];
        for (uint32_t i = xs.empty() ? 0 : 1; i < s.pointCount; ++i) {
            xs.push_back(s.points[i].x);
            ys.push_back(s.points[i].y);
        }
    }
    const int count = static_cast<int>(xs.size());
    std::vector<double> ox(xs.size()), oy(ys.size());
    int result = count < 2 ? 0 : parallel(count, xs.data(), ys.data(), ox.data(), oy.data(), distance, side);
    if (!result) {
        DeleteContent();
        return 0;
    }
    size_t base = 0;
    for (uint32_t k = 0; k < partCount; ++k) {
        CurveSegment& s = parts[k];
        if (s.pointCount == 0) continue;
        for (uint32_t i = 0; i < s.pointCount; ++i) {
            s.points[i].x = ox[base + i];
            s.points[i].y = oy[base + i];
        }
        base += s.pointCount - 1;
    }

    if (curved && normal.GetPartsCount() == GetPartsCount()) {
        const bool left = side == 1;
        std::vector<Piece> pieces;
        std::vector<const keloPoints*> sources;
        for (int k = 0; k < GetPartsCount(); ++k) {
            const keloPoints& src = *normal.GetOriginalPointsAt(k);
            if (src.GetCount() == 0) continue;
            Piece p;
            bool rebuilt = (src.GetLineType() == klLT3PArc && OffsetArc(src, left, distance, p)) ||
                           (src.GetLineType() == klLT3PCircle && OffsetCircle(src, left, distance, p)) ||
                           (src.GetLineType() == klLTEllipse && OffsetEllipse(src, left, distance, p));
            if (!rebuilt) p.run = *GetOriginalPointsAt(k);
            pieces.push_back(std::move(p));
            sources.push_back(&src);
        }
        const size_t n = pieces.size();
        std::vector<keloPoints> links(n);
        for (size_t k = 0; k + 1 < n; ++k)
            links[k] = Join(pieces[k], pieces[k + 1], *sources[k], *sources[k + 1], left, distance);
        if (n > 1 && normal.IsClosed())
            links[n - 1] = Join(pieces[n - 1], pieces[0], *sources[n - 1], *sources[0], left, distance);
        keloParts rebuilt;
        for (size_t k = 0; k < n; ++k) {
            rebuilt.InsertPointsAt(pieces[k].run, -1);
            if (links[k].GetCount()) rebuilt.InsertPointsAt(links[k], -1);
        }
        *this = std::move(rebuilt);
    }

    keloParts* chain = PutInOrder();
    if (chain) {
        keloParts rest(std::move(*this));
        *this = std::move(*chain);
        delete chain;
        for (int k = 0; k < rest.GetPartsCount(); ++k) InsertPointsAt(*rest.GetOriginalPointsAt(k), -1);
    }
    return result;
}

int keloParts::ParallelKeloPartsPart(double distance, int side, keloParts& out) const {
    out = *this;
    return out.ParallelKeloParts(distance, side);
}

}  // namespace kelo
