// Point runs: boxes, lengths, nearest searches, point-on tests and explosion.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "geometry/bezier.h"
#include "geometry/cardinal_spline.h"
#include "geometry/circle_arc.h"
#include "geometry/discrete.h"
#include "geometry/ellipse.h"
#include "geometry/point_run.h"
#include "geometry/point_run_detail.h"
#include "geometry/segment_probe.h"
#include "geometry/tolerance.h"

namespace kelo {

namespace {
double PolylineLength(const std::vector<Point3D>& v) {
    double len = 0;
    for (size_t i = 1; i < v.size(); ++i) len += PointPointDistance(&v[i - 1], &v[i]);
    return len;
}

// Sum of the arc lengths of a three-point-arc chain, a trailing pair counting as the last arc's
// second half.
double ArcChainLength(const Point3D* p, int n) {
    if (n < 2) return 0;
    if (n == 2) return PointPointDistance(p, p + 1);
    double len = 0;
    int i = 0;
    for (; i + 2 < n; i += 2) len += Length3PArc(p + i, 0);
    if (i + 1 < n) len += Length3PArc(p + n - 3, 2);
    return len;
}
}  // namespace

bool keloPoints::Is2DLoop() const {
    if (pointCount < 2) return false;
    const Point3D &a = points[0], &b = points[pointCount - 1];
    return std::abs(a.x - b.x) < kEpsInner && std::abs(a.y - b.y) < kEpsInner;
}

int keloPoints::GetNatureEndPoints(Point3D* first, Point3D* last) const {
    if (pointCount == 0) return 0;
    if (first) *first = points[0];
    if (last) *last = points[pointCount - 1];
    return 1;
}

int keloPoints::GetCurveSegmentCount() const {
    int n = GetCount();
    if (n < 2) return 0;
    if (IsArc()) return n / 2;  // a trailing pair counts as a (half) segment
    if (IsBezier()) return (n - 1 + 2) / 3;
    if (IsEllipse()) return (n - 1 + 3) / 4;
    return n - 1;
}

int keloPoints::GetPointLength(int i, double& len) const {
    len = 0;
    int n = GetCount();
    if (i < 0 || i >= n - 1) return 0;
    if (IsArc() && n >= 3) {
        if (i % 2 == 0) len = i + 2 < n ? Length3PArc(points + i, 1) : Length3PArc(points + n - 3, 2);
        else len = Length3PArc(points + i - 1, 2);
    } else {
        len = PointPointDistance(points + i, points + i + 1);
    }
    return 1;
}

Box keloPoints::GetBox() const {
    Box box;
    int n = GetCount();
    if (n == 0) return box;
    if (n == 1) {
        box.add(points[0].x, points[0].y);
        return box;
    }
    switch (lineType) {
        case klLTBezier: return GetBoxOfBezier(n, points);
        case klLTEllipse: return GetBoxOfEllipse(n, points);
        case klLTSpline:
        case klLTSpline2: return GetBoxOfCardinalSpline(n, points, 0);
        case klLT3PArc:
        case klLT3PCircle: {
            bool needCopy = n % 2 == 0 || n < (lineType == klLT3PCircle ? 4 : 3);
            keloPoints copy;
            const keloPoints* run = this;
            if (needCopy) {
                copy = *this;
                copy.Normalizing(1e-8, 8);
                run = &copy;
            }
            if (!run->IsArc()) {
                for (int i = 0; i < run->GetCount(); ++i) box.add(run->points[i].x, run->points[i].y);
                return box;
            }
            for (int i = 0; i + 2 < run->GetCount(); i += 2) box.add(GetBoxOf3PArc(run->points + i));
            return box;
        }
        default:
            for (int i = 0; i < n; ++i) box.add(points[i].x, points[i].y);
            return box;
    }
}

double keloPoints::GetPerimeter() const {
    int n = GetCount();
    if (n < 2) return 0;
    if (lineType == klLTPolyline) {
        double len = 0;
        for (int i = 1; i < n; ++i) len += PointPointDistance(points + i - 1, points + i);
        return len;
    }
    if (lineType == klLT3PArc) return ArcChainLength(points, n);
    if (lineType == klLT3PCircle) {
        if (n < 3) return PointPointDistance(points, points + 1);
        double cx, cy, r;
        if (!Circle3P(points[0].x, points[0].y, points[1].x, points[1].y, points[2].x, points[2].y, cx, cy, r))
            return 0;
        return 2 * std::numbers::pi * r;
    }
    // Curves are measured on a fine discretisation at the default arc step.
    double oldStep = SetArcDangle(1.0);
    std::vector<Point3D> v;
    double len;
    if (IsEllipse()) {
        EllipseAsArcsScope arcs;
        DiscreteEllipse(n, points, v, 1e-8);
        len = ArcChainLength(v.data(), static_cast<int>(v.size()));
    } else {
        Discrete(v, 1e-8);
        len = PolylineLength(v);
    }
    SetArcDangle(oldStep);
    return len;
}

int keloPoints::PointOn(const Point3D* p) {
    if (!p || pointCount == 0) return 0;
    Normalizing(0, 8);
    const double eps = g_epsZero;
    const keloPoints* run = this;
    keloPoints flat;
    if (IsCurveEx()) {
        std::vector<Point3D> v;
        if (IsEllipse() && IsEllipseAsArcs()) {
            DiscreteEllipse(GetCount(), points, v, eps);
            flat = keloPoints(v, klLT3PArc);
            flat.Normalizing(1e-8, 8);
        } else {
            Discrete(v, eps);
            flat = keloPoints(v, klLTPolyline);
        }
        run = &flat;
    }
    int n = run->GetCount();
    if (n == 1) return IsTwoPointXYEqual(run->points[0], *p, eps);
    bool arc = run->IsArc();
    for (int s = 0; s < run->GetSegmentCount(); ++s)
        if (detail::SegmentOverlapPt(run->GetSegment(s), arc, *p, eps)) return 1;
    return 0;
}

int keloPoints::SearchNearestPoint(SearchSegResult& result, const Point3D& p, double eps) const {
    double best = eps * eps;
    int found = -1;
    for (int i = 0; i < GetCount(); ++i) {
        double dx = points[i].x - p.x, dy = points[i].y - p.y;
        if (!(std::abs(dx) < eps && std::abs(dy) < eps)) continue;
        double d2 = dx * dx + dy * dy;
        if (d2 < best) {
            best = d2;
            found = i;
            if (d2 < 1e-16) break;
        }
    }
    if (found < 0) return 0;
    result.index = found;
    result.distance = static_cast<float>(std::sqrt(best));
    result.kind = 1;
    return 1;
}

int keloPoints::SearchNearestLine(SearchSegResult& result, const Point3D& p, double eps, int flag) const {
    int n = GetCount();
    if (n == 0) return 0;
    if (n == 1) {
        double d = PointPointDistance(points, &p);
        if (!(d <= eps)) return 0;
        result.index = 0;
        result.distance = static_cast<float>(d);
        result.kind = 2;
        return 1;
    }
    double best = eps;
    int found = -1;
    if (!IsCurveEx()) {
        const keloPoints* run = this;
        keloPoints copy;
        if (IsArc() && (n % 2 == 0 || lineType == klLT3PCircle)) {
            copy = *this;
            copy.Normalizing(1e-8, 8);
            run = &copy;
        }
        bool arc = run->IsArc();
        int segs = run->GetSegmentCount();
        for (int s = 0; s < segs; ++s) {
            double d = detail::SegmentDistance(run->GetSegment(s), arc, p);
            if (d <= best) {
                best = d;
                found = s;
                if (d < kEpsInner) break;
            }
        }
        // A circle normalised into two arcs is still one segment of the stored run.
        if (found >= GetSegmentCount()) found = std::max(0, GetSegmentCount() - 1);
    } else {
        keloPoints piece;
        for (int s = 0; s < GetCurveSegmentCount(); ++s) {
            DiscreteOneSeg(s, piece, g_epsZero);
            bool hit = false;
            for (int k = 0; k + 1 < piece.GetCount(); ++k) {
                double d = detail::SegmentDistance(piece.points + k, false, p);
                if (d <= best) {
                    best = d;
                    found = s;
                    hit = true;
                    if (d < kEpsInner) break;
                }
            }
            if (hit && (flag == 0 || best < kEpsInner)) break;
        }
    }
    if (found < 0) return 0;
    result.index = found;
    result.distance = static_cast<float>(best);
    result.kind = 2;
    return 1;
}

int keloPoints::Explode2Line(std::vector<keloPoints*>& out) const {
    int n = GetCount();
    if (n < 2 || lineType < 1 || lineType > 10) return static_cast<int>(out.size());
    switch (lineType) {
        case klLT3PArc:
            if (n == 2) {
                out.push_back(new keloPoints(klLTPolyline, 2, points));
                break;
            }
            for (int i = 0; i + 2 < n; i += 2) out.push_back(new keloPoints(klLT3PArc, 3, points + i));
            if (n % 2 == 0) {
                Point3D trio[3] = {points[n - 2], MidPointOf3PArc(points + n - 3, 2), points[n - 1]};
                out.push_back(new keloPoints(klLT3PArc, 3, trio));
            }
            break;
        case klLT3PCircle: out.push_back(new keloPoints(klLT3PCircle, n, points)); break;
        default:
            for (int i = 0; i + 1 < n; ++i) out.push_back(new keloPoints(klLTPolyline, 2, points + i));
    }
    return static_cast<int>(out.size());
}

}  // namespace kelo
