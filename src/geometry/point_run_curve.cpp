// Point runs: discretisation, conversion to Bezier form, middle points and tangents.
#include <cmath>
#include <limits>

#include "companion/plane.h"
#include "geometry/bezier.h"
#include "geometry/cardinal_spline.h"
#include "geometry/circle_arc.h"
#include "geometry/discrete.h"
#include "geometry/ellipse.h"
#include "geometry/path_export.h"
#include "geometry/point_run.h"
#include "geometry/point_run_detail.h"
#include "geometry/segment_probe.h"
#include "geometry/tolerance.h"

namespace kelo {

namespace {
// A straight piece as a cubic with its control points on the chord.
// Takes its points by value: callers pass out.back().
void AppendStraightCubic(std::vector<Point3D>& out, Point3D a, Point3D b) {
    if (out.empty()) out.push_back(a);
    out.push_back({a.x + (b.x - a.x) / 3, a.y + (b.y - a.y) / 3, kUnknownZ});
    out.push_back({a.x + 2 * (b.x - a.x) / 3, a.y + 2 * (b.y - a.y) / 3, kUnknownZ});
    out.push_back(b);
}

// Appends an arc piece as cubics and pins its ends to the stored points.
void AppendArcCubics(std::vector<Point3D>& out, const Point3D& s, const Point3D& e, const Point3D& c, double r,
                     double start, double sweep) {
    bool fresh = out.empty();
    if (EllipseArcToBezier(c, r, r, 0, start, sweep, out) == 0) {
        AppendStraightCubic(out, s, e);  // non-finite circle
        return;
    }
    if (fresh) out.front() = s;
    out.back() = e;
}

// The tangent (radians) and middle point of a polyline measured along its length.
bool PolylineMiddle(const std::vector<Point3D>& v, Point3D& mid, double* angle) {
    if (v.size() < 2) return false;
    double total = 0;
    for (size_t i = 1; i < v.size(); ++i) total += PointPointDistance(&v[i - 1], &v[i]);
    double half = total / 2, run = 0;
    for (size_t i = 1; i < v.size(); ++i) {
        double d = PointPointDistance(&v[i - 1], &v[i]);
        if (run + d >= half || i + 1 == v.size()) {
            double t = d > 0 ? (half - run) / d : 0;
            mid = {v[i - 1].x + t * (v[i].x - v[i - 1].x), v[i - 1].y + t * (v[i].y - v[i - 1].y), kUnknownZ};
            if (angle) *angle = detail::SegmentDirectionAt(&v[i - 1], false, mid);
            return true;
        }
        run += d;
    }
    return false;
}
}  // namespace

int keloPoints::Discrete(std::vector<Point3D>& out, double eps, const Box* clip) const {
    if (eps < 1e-8 || std::isnan(eps)) eps = g_epsZero;
    int n = GetCount();
    switch (lineType) {
        case klLTBezier: DiscreteBezier(n, points, out, eps); break;
        case klLT3PArc: DiscreteArc(points, n, out, eps, clip); break;
        case klLTEllipse: DiscreteEllipse(n, points, out, eps); break;
        case klLT3PCircle: DiscreteCir(points, n, out, eps); break;
        case klLTSpline:
        case klLTSpline2: {
            keloPoints copy;
            copy = *this;
            copy.ConvertToBezier(klDPAll);
            if (copy.IsBezier()) DiscreteBezier(copy.GetCount(), copy.points, out, eps);
            else out.insert(out.end(), points, points + n);
            break;
        }
        default:
            if (n) out.insert(out.end(), points, points + n);
    }
    return 1;
}

int keloPoints::AddDiscreteToPnts(std::vector<Point3D>& out, double eps, const Box* clip) const {
    if (out.empty()) return Discrete(out, eps, clip);
    std::vector<Point3D> mine;
    Discrete(mine, eps, clip);
    ConnectToPointArray(out, mine);
    return 1;
}

int keloPoints::Discrete(int32_t mask) {
    if (lineType == klLTPolyline) return GetCount();
    if (mask != 0 && !DiscreteMaskSelects(mask, lineType)) return GetCount();
    std::vector<Point3D> v;
    Discrete(v, g_epsZero);
    if (v.size() > 1) {
        bool arcs = IsEllipse() && IsEllipseAsArcs();
        keloPoints flat(v, arcs ? klLT3PArc : klLTPolyline);
        if (arcs) flat.Normalizing(1e-8, 8);
        *this = std::move(flat);
    }
    return GetCount();
}

int keloPoints::DiscreteOneSeg(int seg, keloPoints& out, double eps) const {
    out.DeleteContent();
    out.lineType = klLTPolyline;
    int f, l;
    if (!detail::CurveSegmentRange(*this, seg, f, l)) return 0;
    if (eps < 1e-8 || std::isnan(eps)) eps = g_epsZero;
    std::vector<Point3D> v;
    int n = l - f + 1;
    if (IsArc()) {
        if (n == 3) DiscreteArc(points + f, 3, v, eps);
        else if (GetCount() >= 3) {
            // A trailing pair: the second half of the last arc.
            Point3D trio[3] = {points[f], MidPointOf3PArc(points + GetCount() - 3, 2), points[l]};
            DiscreteArc(trio, 3, v, eps);
        } else {
            v.assign(points + f, points + l + 1);
        }
    } else if (IsBezier()) {
        DiscreteBezier(n, points + f, v, eps);
    } else if (IsEllipse()) {
        DiscreteEllipse(n, points + f, v, eps);
    } else if (IsSpline()) {
        int c = GetCount();
        bool closed = IsClosedSpline(c, points);
        const Point3D* p0 = f > 0 ? &points[f - 1] : (closed ? &points[c - 2] : &points[0]);
        const Point3D* p3 = f + 2 < c ? &points[f + 2] : (closed ? &points[1] : &points[c - 1]);
        DiscreteCardinalSpline(*p0, points[f], points[l], *p3, SplineTangentScale(GetGzZlytParameter()), v, eps, 32);
    } else {
        v.assign(points + f, points + l + 1);
    }
    out = keloPoints(v, klLTPolyline);
    return out.GetCount();
}

int keloPoints::ConvertToBezier(int32_t mask) {
    int n = GetCount();
    if (lineType == klLTBezier || n < 2) return n;
    if (mask != 0 && !DiscreteMaskSelects(mask, lineType)) return n;
    std::vector<Point3D> v;
    if (lineType == klLTEllipse || (lineType == klLT3PArc && n < 3)) {
        int i = 0;
        for (; lineType == klLTEllipse && i + 4 < n; i += 4) {
            Point3D c;
            double a, b, rot, s, e, sw;
            bool fresh = v.empty();
            if (Ellipse5P(points + i, c, a, b, rot, s, e, sw) && EllipseArcToBezier(c, a, b, rot, s, sw, v) > 0) {
                if (fresh) v.front() = points[i];
                v.back() = points[i + 4];
            } else {
                for (int k = 0; k < 4; ++k) AppendStraightCubic(v, points[i + k], points[i + k + 1]);
            }
        }
        for (; i + 1 < n; ++i) AppendStraightCubic(v, points[i], points[i + 1]);
    } else if (lineType == klLT3PArc) {
        int i = 0;
        for (; i + 2 < n; i += 2) {
            Point3D c;
            double r, s, sw;
            if (ArcSweep3P(points + i, c, r, s, sw)) AppendArcCubics(v, points[i], points[i + 2], c, r, s, sw);
            else AppendStraightCubic(v, points[i], points[i + 2]);
        }
        if (i + 1 < n) {
            Point3D trio[3] = {points[i], MidPointOf3PArc(points + n - 3, 2), points[i + 1]};
            Point3D c;
            double r, s, sw;
            if (ArcSweep3P(trio, c, r, s, sw)) AppendArcCubics(v, trio[0], trio[2], c, r, s, sw);
            else AppendStraightCubic(v, trio[0], trio[2]);
        }
    } else if (IsSpline()) {
        ConvertSplineToBezier(n, points, v, GetGzZlytParameter());
        if (v.size() < 2) return n;
    } else {
        // Everything else goes through a drawing path relative to the first point.
        GpPath* path = nullptr;
        if (GdipCreatePath(FillModeAlternate, &path) != Ok) return n;
        const Point3D first = points[0];
        klAddPoints2Path(this, path, first.x, first.y, 1.0);
        int32_t count = 0;
        GdipGetPointCount(path, &count);
        std::vector<GpPointF> fp(static_cast<size_t>(count));
        std::vector<uint8_t> types(static_cast<size_t>(count));
        GpPathData data{count, fp.data(), types.data()};
        if (count > 0 && GdipGetPathData(path, &data) == Ok) {
            auto toWorld = [&](const GpPointF& q) { return Point3D{first.x + q.X, first.y + q.Y, 9999.0}; };
            Point3D figureStart{};
            for (int32_t i = 0; i < data.Count; ++i) {
                Point3D q = toWorld(fp[i]);
                uint8_t kind = types[i] & PathPointTypePathTypeMask;
                if (kind == PathPointTypeStart || v.empty()) {
                    if (!v.empty()) AppendStraightCubic(v, v.back(), q);  // jump between figures
                    else v.push_back(q);
                    figureStart = q;
                } else if (kind == PathPointTypeLine) {
                    AppendStraightCubic(v, v.back(), q);
                } else {
                    v.push_back(q);
                }
                if ((types[i] & PathPointTypeCloseSubpath) && !IsTwoPointXYEqual(q, figureStart, 0))
                    AppendStraightCubic(v, q, figureStart);
            }
            for (Point3D& q : v) q.z = 9999.0;
        }
        GdipDeletePath(path);
        if (v.size() < 2) return n;
    }
    *this = keloPoints(v, klLTBezier);
    return GetCount();
}

int keloPoints::BezierToLinear() {
    if (lineType != klLTBezier || GetCount() < 3) return GetCount();
    std::vector<Point3D> v;
    for (int i = 0; i < GetCount(); i += 3) v.push_back(points[i]);
    *this = keloPoints(v, klLTPolyline);
    return GetCount();
}

keloPoint keloPoints::GetMidPoint() const {
    int n = GetCount();
    if (n == 0) return keloPoint();
    if (n == 1) return keloPoint(points[0]);
    if (IsArc()) {
        keloPoints copy;
        copy = *this;
        copy.Normalizing(1e-8, 8);
        if (copy.IsArc()) {
            double total = copy.GetPerimeter(), half = total / 2, run = 0;
            for (int i = 0; i + 2 < copy.GetCount(); i += 2) {
                double len = Length3PArc(copy.points + i, 0);
                if (run + len >= half || i + 4 >= copy.GetCount()) {
                    Point3D c;
                    double r, s, sw;
                    if (!ArcSweep3P(copy.points + i, c, r, s, sw) || len <= 0)
                        return keloPoint(MidPointOf3PArc(copy.points + i, 0));
                    double a = s + (sw >= 0 ? 1 : -1) * (half - run) / r;
                    return keloPoint(c.x + r * std::cos(a), c.y + r * std::sin(a), kUnknownZ);
                }
                run += len;
            }
        }
        std::vector<Point3D> v(copy.points, copy.points + copy.GetCount());
        Point3D mid;
        PolylineMiddle(v, mid, nullptr);
        return keloPoint(mid);
    }
    std::vector<Point3D> v;
    Discrete(v, g_epsZero);
    Point3D mid{points[0]};
    PolylineMiddle(v, mid, nullptr);
    return keloPoint(mid);
}

int keloPoints::QieXian(const Point3D& p, double& angle, double eps) const {
    int n = GetCount();
    if (n < 2) return 0;
    // The nearest straight or arc piece of the run (curves measured on their discretisation).
    keloPoints flat;
    const keloPoints* run = this;
    if (IsCurveEx()) {
        std::vector<Point3D> v;
        Discrete(v, g_epsZero);
        flat = keloPoints(v, klLTPolyline);
        run = &flat;
    } else if (IsArc()) {
        flat = *this;
        flat.Normalizing(1e-8, 8);
        run = &flat;
    }
    bool arc = run->IsArc();
    double best = std::numeric_limits<double>::infinity();
    int bestSeg = -1;
    Point3D foot{}, f;
    for (int s = 0; s < run->GetSegmentCount(); ++s) {
        double d = detail::SegmentDistance(run->GetSegment(s), arc, p, &f);
        if (d < best) { best = d; bestSeg = s; foot = f; }
    }
    if (bestSeg < 0 || (eps > 0 && best > eps)) return 0;
    angle = detail::SegmentDirectionAt(run->GetSegment(bestSeg), arc, foot);
    _ADJUSTANGLE(angle);
    return 1;
}

int keloPoints::QieXianandMidPoint(int seg, double& angle, Point3D& mid) const {
    int f, l;
    if (!detail::CurveSegmentRange(*this, seg, f, l)) return 0;
    if (IsArc() && l - f == 2) {
        mid = MidPointOf3PArc(points + f, 0);
        angle = detail::SegmentDirectionAt(points + f, true, mid);
    } else if (!IsCurveEx() && !IsArc()) {
        mid = {(points[f].x + points[l].x) / 2, (points[f].y + points[l].y) / 2, kUnknownZ};
        angle = detail::SegmentDirectionAt(points + f, false, mid);
    } else {
        keloPoints piece;
        DiscreteOneSeg(seg, piece, g_epsZero);
        std::vector<Point3D> v(piece.points, piece.points + piece.GetCount());
        if (!PolylineMiddle(v, mid, &angle)) return 0;
    }
    _ADJUSTANGLE(angle);
    return 1;
}

}  // namespace kelo
