// Point runs: splitting segments, arc repairs, transforms, validity and normalising.
#include <cmath>
#include <cstring>
#include <numbers>

#include "companion/plane.h"
#include "geometry/bezier.h"
#include "geometry/circle_arc.h"
#include "geometry/ellipse.h"
#include "geometry/point_run.h"
#include "geometry/tolerance.h"

namespace kelo {

namespace {
constexpr double kTwoPi = 2 * std::numbers::pi;

bool Within(const Point3D& a, const Point3D& b, double eps) { return IsTwoPointXYEqual(a, b, eps) != 0; }

// Offset (radians, in the arc's sense of travel) of direction `angle` from the arc's start.
double OffsetOnArc(double angle, double start, double sweep) {
    double d = sweep >= 0 ? angle - start : start - angle;
    d = std::fmod(d, kTwoPi);
    if (d < 0) d += kTwoPi;
    return d;
}

Point3D OnCircle(const Point3D& c, double r, double a) { return {c.x + r * std::cos(a), c.y + r * std::sin(a), kUnknownZ}; }

// Replaces n points starting at `at` by m new ones.
void Splice(keloPoints& run, int at, int n, const Point3D* repl, int m) {
    int count = run.GetCount();
    int total = count - n + m;
    auto* grown = new Point3D[static_cast<size_t>(total)];
    std::memcpy(grown, run.points, sizeof(Point3D) * static_cast<size_t>(at));
    std::memcpy(grown + at, repl, sizeof(Point3D) * static_cast<size_t>(m));
    std::memcpy(grown + at + m, run.points + at + n, sizeof(Point3D) * static_cast<size_t>(count - at - n));
    run.Attach(total, grown, run.lineType);
}
}  // namespace

int keloPoints::InsertPtIntoSegment(const Point3D& pt, int seg, double eps) {
    Normalizing(1e-8, 12);
    int n = GetCount();
    if (seg < 0 || seg >= GetSegmentCount()) return -1;
    int f = GetSegPointAt(seg);
    // The stored points that close the piece seg belongs to.
    int span = 1;
    if (IsArc()) span = 2;
    else if (IsBezier()) { f -= f % 3; span = 3; }
    else if (IsEllipse()) { f -= f % 4; span = 4; }
    int l = f + span;
    bool whole = l < n;
    if (!whole) l = n - 1;
    if (Within(pt, points[f], eps)) return f;
    if (Within(pt, points[l], eps)) return l;
    if (!whole || span == 1) {
        InsertPointAt(pt, f + 1);
        return f + 1;
    }
    if (IsArc()) {
        Point3D c;
        double r, s, sw;
        Point3D piece[5] = {points[f], {}, pt, {}, points[f + 2]};
        if (ArcSweep3P(points + f, c, r, s, sw)) {
            double d = OffsetOnArc(std::atan2(pt.y - c.y, pt.x - c.x), s, sw);
            double dir = sw >= 0 ? 1 : -1;
            piece[1] = OnCircle(c, r, s + dir * d / 2);
            piece[3] = OnCircle(c, r, s + dir * (d + (std::abs(sw) - d) / 2));
        } else {
            piece[1] = {(points[f].x + pt.x) / 2, (points[f].y + pt.y) / 2, kUnknownZ};
            piece[3] = {(points[f + 2].x + pt.x) / 2, (points[f + 2].y + pt.y) / 2, kUnknownZ};
        }
        Splice(*this, f, 3, piece, 5);
        return f + 2;
    }
    if (IsBezier()) {
        Point3D out[7];
        SplitBezier(points + f, pt.x, pt.y, out);
        out[3] = pt;
        Splice(*this, f, 4, out, 7);
        return f + 3;
    }
    // Ellipse: the piece becomes two pieces meeting at pt.
    Point3D c;
    double a, b, rot, s, e, sw;
    if (!Ellipse5P(points + f, c, a, b, rot, s, e, sw)) {
        InsertPointAt(pt, f + 1);
        return f + 1;
    }
    double tp = std::atan2(((pt.y - c.y) * std::cos(rot) - (pt.x - c.x) * std::sin(rot)) / b,
                           ((pt.x - c.x) * std::cos(rot) + (pt.y - c.y) * std::sin(rot)) / a);
    double d = OffsetOnArc(tp, s, sw), dir = sw >= 0 ? 1 : -1;
    Point3D piece[9];
    piece[0] = points[f];
    piece[4] = pt;
    piece[8] = points[f + 4];
    for (int k = 1; k <= 3; ++k) {
        piece[k] = EllipsePointAt(c, a, b, rot, s + dir * d * k / 4);
        piece[4 + k] = EllipsePointAt(c, a, b, rot, s + dir * (d + (std::abs(sw) - d) * k / 4));
    }
    Splice(*this, f, 5, piece, 9);
    return f + 4;
}

int keloPoints::Adj3PArcMiddlePt(int seg, double eps) {
    if (!IsArc()) return 0;
    int segs = GetSegmentCount();
    int from = seg < 0 ? 0 : seg, to = seg < 0 ? segs : seg + 1;
    if (seg >= segs) return 0;
    for (int i = from; i < to; ++i) {
        Point3D* p = points + 2 * i;
        Point3D c;
        double r, s, sw;
        if (!ArcSweep3P(p, c, r, s, sw) || Within(p[0], p[2], kEpsInner)) continue;
        Point3D m = OnCircle(c, r, s + sw / 2);
        if (!Within(m, p[1], eps)) {
            p[1].x = m.x;
            p[1].y = m.y;
        }
    }
    return 1;
}

int keloPoints::Restore3PArc() { return Adj3PArcMiddlePt(-1, g_epsZero); }

int keloPoints::OffsetKeloPoints(const Point3D& d) {
    for (int i = 0; i < GetCount(); ++i) _OffsetKeloPoint(points[i], d);
    return GetCount();
}

int keloPoints::RotateKeloPoints(const Point3D& c, double angle) {
    for (int i = 0; i < GetCount(); ++i) _RotateKeloPoint(points[i], c, angle);
    return GetCount();
}

int keloPoints::MirrorKeloPoints(const Point3D& a, const Point3D& b) {
    for (int i = 0; i < GetCount(); ++i) _MirrorKeloPoint(points[i], a, b);
    return GetCount();
}

void keloPoints::transform(double dx, double dy, const Point3D& c, double angle, double sx, double sy) {
    for (int i = 0; i < GetCount(); ++i) _TransformKeloPoint(points[i], dx, dy, c, angle, sx, sy);
}

int keloPoints::ReversePoint() {
    switch (lineType) {
        case klLTNone: case klLTPolyline: case klLTBezier: case klLT3PArc:
        case klLTEllipse: case klLT3PCircle: case klLTSpline: case klLTSpline2:
            reverse_line(points, GetCount(), sizeof(Point3D));
            return 1;
        default: return 0;
    }
}

int keloPoints::IsNormal(double eps, int flags) const {
    int n = GetCount();
    auto fault = [](const Point3D& p) {
        g_lastAbnormalPoint = p;
        return 0;
    };
    if (flags & 1)
        for (int i = 0; i < n; ++i)
            if (!std::isfinite(points[i].x) || !std::isfinite(points[i].y)) return fault(points[i]);
    if (flags & 2)
        for (int i = 0; i < n; ++i)
            if (!std::isfinite(points[i].z)) return fault(points[i]);
    if ((flags & 4) && n > 1)
        for (int i = 1; i < n; ++i)
            if (PointPointDistance(points + i - 1, points + i) < eps) return fault(points[i]);
    if (flags & 8) {
        if (n == 0) return 0;
        if (n == 1) return fault(points[0]);
        if (IsArc() && (n % 2 == 0 || n < 3)) return fault(points[0]);
    }
    return 1;
}

int keloPoints::Normalizing(double eps, int flags) {
    if ((flags & 4) && GetCount() > 1) {
        for (int i = 1; i < GetCount();) {
            const Point3D &a = points[i - 1], &b = points[i];
            bool same = std::abs(b.x - a.x) < eps && std::abs(b.y - a.y) < eps;
            if (same && (flags & 2) && std::abs(b.z - a.z) > eps) same = false;
            if (same) DeletePointAt(i);
            else ++i;
        }
    }
    if ((flags & 8) && IsArc()) {
        if (GetCount() == 2) {
            lineType = klLTPolyline;
        } else {
            if (lineType == klLT3PCircle && GetCount() == 3) AddPoint(points[0]);
            int n = GetCount();
            if (n >= 3 && n % 2 == 0) {
                lineType = klLT3PArc;
                Point3D m = MidPointOf3PArc(points + n - 3, 2);
                InsertPointAt(m, n - 1);
            }
        }
    }
    return GetCount();
}

int keloPoints::Normalizing() {
    Normalizing(1e-8, 12);
    return 1;
}

}  // namespace kelo
