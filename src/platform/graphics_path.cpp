#include "platform/graphics_path.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <numbers>

namespace kelo {

namespace {
constexpr double kPi = std::numbers::pi;
// Control distance of a quarter circle as a cubic: 4/3 (sqrt 2 - 1).
constexpr double kQuarterKappa = 0.55228474983079339840;

struct DPoint {
    double x, y;
};

// Appends the first point of an open element: a figure start, or a joining line from the current
// end point (skipped when the element begins exactly where the figure ends).
void BeginElement(GpPath* path, GpPointF p) {
    if (path->startNewFigure || path->points.empty()) {
        path->points.push_back(p);
        path->types.push_back(PathPointTypeStart);
        path->startNewFigure = false;
        return;
    }
    const GpPointF& last = path->points.back();
    if (last.X == p.X && last.Y == p.Y) return;
    path->points.push_back(p);
    path->types.push_back(PathPointTypeLine);
}

void Push(GpPath* path, GpPointF p, uint8_t type) {
    path->points.push_back(p);
    path->types.push_back(type);
}

GpPointF F(double x, double y) { return {static_cast<float>(x), static_cast<float>(y)}; }

// Cubic pieces of the cardinal spline through pts: control points P_i + t(P_{i+1} - P_{i-1})/3 and
// P_{i+1} - t(P_{i+2} - P_i)/3. Open splines repeat their end points as outer neighbours.
void CardinalToBeziers(const GpPointF* pts, int n, double tension, bool closed, std::vector<DPoint>& out) {
    auto at = [&](int i) -> DPoint {
        if (closed) i = ((i % n) + n) % n;
        else i = std::clamp(i, 0, n - 1);
        return {pts[i].X, pts[i].Y};
    };
    int segs = closed ? n : n - 1;
    out.push_back(at(0));
    double k = tension / 3.0;
    for (int i = 0; i < segs; ++i) {
        DPoint p0 = at(i - 1), p1 = at(i), p2 = at(i + 1), p3 = at(i + 2);
        out.push_back({p1.x + k * (p2.x - p0.x), p1.y + k * (p2.y - p0.y)});
        out.push_back({p2.x - k * (p3.x - p1.x), p2.y - k * (p3.y - p1.y)});
        out.push_back(p2);
    }
}

// Parametric angle of the ellipse point whose direction from the centre is `angle` (radians).
double ParamOfAngle(double angle, double rx, double ry) {
    return std::atan2(rx * std::sin(angle), ry * std::cos(angle));
}

bool Finite(float v) { return std::isfinite(v); }
}  // namespace

GpStatus GdipCreatePath(GpFillMode fillMode, GpPath** path) {
    if (!path) return InvalidParameter;
    *path = new (std::nothrow) GraphicsPath;
    if (!*path) return OutOfMemory;
    (*path)->fillMode = fillMode;
    return Ok;
}

GpStatus GdipDeletePath(GpPath* path) {
    if (!path) return InvalidParameter;
    delete path;
    return Ok;
}

GpStatus GdipStartPathFigure(GpPath* path) {
    if (!path) return InvalidParameter;
    path->startNewFigure = true;
    return Ok;
}

GpStatus GdipClosePathFigure(GpPath* path) {
    if (!path) return InvalidParameter;
    if (!path->types.empty()) path->types.back() |= PathPointTypeCloseSubpath;
    path->startNewFigure = true;
    return Ok;
}

GpStatus GdipAddPathLine2(GpPath* path, const GpPointF* pts, int32_t count) {
    if (!path || !pts || count < 1) return InvalidParameter;
    BeginElement(path, pts[0]);
    for (int i = 1; i < count; ++i) Push(path, pts[i], PathPointTypeLine);
    return Ok;
}

GpStatus GdipAddPathBeziers(GpPath* path, const GpPointF* pts, int32_t count) {
    if (!path || !pts || count < 4 || (count - 1) % 3 != 0) return InvalidParameter;
    BeginElement(path, pts[0]);
    for (int i = 1; i < count; ++i) Push(path, pts[i], PathPointTypeBezier);
    return Ok;
}

GpStatus GdipAddPathArc(GpPath* path, float x, float y, float width, float height, float startAngle,
                        float sweepAngle) {
    if (!path || !(width > 0) || !(height > 0) || !Finite(x) || !Finite(y) || !Finite(startAngle) ||
        !Finite(sweepAngle))
        return InvalidParameter;
    double rx = width / 2.0, ry = height / 2.0, cx = x + rx, cy = y + ry;
    double sweep = std::clamp(static_cast<double>(sweepAngle), -360.0, 360.0) * kPi / 180.0;
    double start = startAngle * kPi / 180.0;
    int pieces = std::max(1, static_cast<int>(std::ceil(std::abs(sweep) / (kPi / 2) - 1e-9)));
    double step = sweep / pieces;
    auto pointAt = [&](double t) { return DPoint{cx + rx * std::cos(t), cy + ry * std::sin(t)}; };
    double t0 = ParamOfAngle(start, rx, ry);
    BeginElement(path, F(pointAt(t0).x, pointAt(t0).y));
    for (int i = 0; i < pieces; ++i) {
        // Each piece spans at most a quarter turn, so the parameter moves by less than half a turn.
        double t1 = ParamOfAngle(start + (i + 1) * step, rx, ry);
        while (t1 - t0 > kPi) t1 -= 2 * kPi;
        while (t1 - t0 < -kPi) t1 += 2 * kPi;
        double k = 4.0 / 3.0 * std::tan((t1 - t0) / 4);
        DPoint p0 = pointAt(t0), p1 = pointAt(t1);
        Push(path, F(p0.x - k * rx * std::sin(t0), p0.y + k * ry * std::cos(t0)), PathPointTypeBezier);
        Push(path, F(p1.x + k * rx * std::sin(t1), p1.y - k * ry * std::cos(t1)), PathPointTypeBezier);
        Push(path, F(p1.x, p1.y), PathPointTypeBezier);
        t0 = t1;
    }
    return Ok;
}

GpStatus GdipAddPathEllipse(GpPath* path, float x, float y, float width, float height) {
    if (!path || !Finite(x) || !Finite(y) || !Finite(width) || !Finite(height)) return InvalidParameter;
    double rx = width / 2.0, ry = height / 2.0, cx = x + rx, cy = y + ry;
    double kx = kQuarterKappa * rx, ky = kQuarterKappa * ry;
    const DPoint pts[13] = {
        {cx + rx, cy},      {cx + rx, cy + ky}, {cx + kx, cy + ry}, {cx, cy + ry},      {cx - kx, cy + ry},
        {cx - rx, cy + ky}, {cx - rx, cy},      {cx - rx, cy - ky}, {cx - kx, cy - ry}, {cx, cy - ry},
        {cx + kx, cy - ry}, {cx + rx, cy - ky}, {cx + rx, cy},
    };
    Push(path, F(pts[0].x, pts[0].y), PathPointTypeStart);
    for (int i = 1; i < 13; ++i) Push(path, F(pts[i].x, pts[i].y), PathPointTypeBezier);
    path->types.back() |= PathPointTypeCloseSubpath;
    path->startNewFigure = true;
    return Ok;
}

GpStatus GdipAddPathCurve2(GpPath* path, const GpPointF* pts, int32_t count, float tension) {
    if (!path || !pts || count < 2) return InvalidParameter;
    std::vector<DPoint> bez;
    CardinalToBeziers(pts, count, tension, false, bez);
    BeginElement(path, F(bez[0].x, bez[0].y));
    for (size_t i = 1; i < bez.size(); ++i) Push(path, F(bez[i].x, bez[i].y), PathPointTypeBezier);
    return Ok;
}

GpStatus GdipAddPathClosedCurve2(GpPath* path, const GpPointF* pts, int32_t count, float tension) {
    if (!path || !pts || count < 3) return InvalidParameter;
    std::vector<DPoint> bez;
    CardinalToBeziers(pts, count, tension, true, bez);
    Push(path, F(bez[0].x, bez[0].y), PathPointTypeStart);
    for (size_t i = 1; i < bez.size(); ++i) Push(path, F(bez[i].x, bez[i].y), PathPointTypeBezier);
    path->types.back() |= PathPointTypeCloseSubpath;
    path->startNewFigure = true;
    return Ok;
}

GpStatus GdipGetPointCount(GpPath* path, int32_t* count) {
    if (!path || !count) return InvalidParameter;
    *count = static_cast<int32_t>(path->points.size());
    return Ok;
}

GpStatus GdipGetPathData(GpPath* path, GpPathData* data) {
    if (!path || !data || (!path->points.empty() && (!data->Points || !data->Types))) return InvalidParameter;
    int32_t n = static_cast<int32_t>(path->points.size());
    if (data->Count < n) return InsufficientBuffer;
    if (n) {
        std::memcpy(data->Points, path->points.data(), sizeof(GpPointF) * static_cast<size_t>(n));
        std::memcpy(data->Types, path->types.data(), static_cast<size_t>(n));
    }
    data->Count = n;
    return Ok;
}

}  // namespace kelo
