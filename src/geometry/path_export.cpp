#include "geometry/path_export.h"

#include <cmath>
#include <vector>

#include "geometry/circle_arc.h"
#include "geometry/discrete.h"
#include "geometry/tolerance.h"

namespace kelo {

namespace {
constexpr double kDeg = 180.0 / 3.14159265358979323846;

struct IPoint {
    long long x, y;
};

IPoint Truncate(const GpPointF& p) {
    // Truncation toward zero; positions beyond the integer range all count as the same far point.
    auto t = [](float v) -> long long {
        if (!std::isfinite(v)) return 0;
        if (std::abs(v) > 9e18f) return v < 0 ? -9000000000000000000LL : 9000000000000000000LL;
        return static_cast<long long>(v);
    };
    return {t(p.X), t(p.Y)};
}

// Whether c lies on the line a-b beyond b, in the direction a -> b (integer arithmetic).
bool ContinuesLine(const IPoint& a, const IPoint& b, const IPoint& c) {
    long double dx1 = b.x - a.x, dy1 = b.y - a.y, dx2 = c.x - b.x, dy2 = c.y - b.y;
    if (dx1 * dy2 - dy1 * dx2 != 0) return false;
    return dx1 * dx2 + dy1 * dy2 > 0;
}

void Record(GraphicsPath* path, GpStatus st) {
    if (st != Ok) path->lastStatus = st;
}
}  // namespace

bool Convert3PArc(const GpPointF* p, float& x, float& y, float& w, float& h, float& start, float& sweep) {
    Point3D q[3] = {{p[0].X, p[0].Y, 0}, {p[1].X, p[1].Y, 0}, {p[2].X, p[2].Y, 0}};
    Point3D c;
    double r, s, sw;
    if (!ArcSweep3P(q, c, r, s, sw)) return false;
    x = static_cast<float>(c.x - r);
    y = static_cast<float>(c.y - r);
    w = h = static_cast<float>(2 * r);
    start = static_cast<float>(s * kDeg);
    sweep = static_cast<float>(sw * kDeg);
    return true;
}

int klAddPoints2Path(const keloPoints* run, GraphicsPath* path, double ox, double oy, double scale) {
    if (!run || !path || run->GetCount() == 0 || !(scale != 0) || !std::isfinite(scale)) return 0;
    keloPoints converted;
    if (run->IsEllipse()) {
        converted = *run;
        converted.ConvertToBezier(klDPAll);
        if (converted.GetLineType() != klLTBezier) return 0;
        run = &converted;
    }
    // Thinning only applies to vertices of straight pieces: curve points are control points whose
    // count and order carry the curve (smooth Bezier joints are always collinear with their
    // neighbouring controls, for one).
    const bool thin = !run->IsArc() && !run->IsCurveEx();
    std::vector<GpPointF> kept;
    std::vector<IPoint> keptInt;
    for (int i = 0; i < run->GetCount(); ++i) {
        const Point3D& p = (*run)[i];
        GpPointF d{static_cast<float>((p.x - ox) / scale), static_cast<float>((p.y - oy) / scale)};
        if (!thin) {
            kept.push_back(d);
            continue;
        }
        IPoint di = Truncate(d);
        if (!keptInt.empty() && keptInt.back().x == di.x && keptInt.back().y == di.y) continue;
        size_t k = keptInt.size();
        if (k >= 2 && ContinuesLine(keptInt[k - 2], keptInt[k - 1], di)) {
            kept.back() = d;
            keptInt.back() = di;
            continue;
        }
        kept.push_back(d);
        keptInt.push_back(di);
    }
    int n = static_cast<int>(kept.size());
    if (n < 2) return 0;
    if (n == 2) {
        Record(path, GdipAddPathLine2(path, kept.data(), 2));
        return 2;
    }
    switch (run->GetLineType()) {
        case klLTBezier: Record(path, GdipAddPathBeziers(path, kept.data(), n)); break;
        case klLT3PArc: {
            int i = 0;
            for (; i + 2 < n; i += 2) {
                float x, y, w, h, s, sw;
                if (Convert3PArc(kept.data() + i, x, y, w, h, s, sw))
                    Record(path, GdipAddPathArc(path, x, y, w, h, s, sw));
                else
                    Record(path, GdipAddPathLine2(path, kept.data() + i, 3));
            }
            if (i + 1 < n) Record(path, GdipAddPathLine2(path, kept.data() + i, 2));
            break;
        }
        case klLT3PCircle: {
            float x, y, w, h, s, sw;
            if (Convert3PArc(kept.data(), x, y, w, h, s, sw)) Record(path, GdipAddPathEllipse(path, x, y, w, h));
            else Record(path, GdipAddPathLine2(path, kept.data(), n));
            break;
        }
        case klLTSpline:
        case klLTSpline2: {
            float tension = static_cast<float>(1.0 / std::sqrt(GetGzZlytParameter()));
            const GpPointF &a = kept.front(), &b = kept.back();
            bool closed = n > 3 && std::abs(a.X - b.X) <= 1e-8 && std::abs(a.Y - b.Y) <= 1e-8;
            if (closed) Record(path, GdipAddPathClosedCurve2(path, kept.data(), n - 1, tension));
            else Record(path, GdipAddPathCurve2(path, kept.data(), n, tension));
            break;
        }
        case klLTEllipse: return 0;
        default: Record(path, GdipAddPathLine2(path, kept.data(), n));
    }
    return n;
}

}  // namespace kelo
