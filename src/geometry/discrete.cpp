#include "geometry/discrete.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "geometry/circle_arc.h"
#include "geometry/point_run.h"

namespace kelo {

namespace {
constexpr double kDeg = 180.0 / std::numbers::pi;
bool g_ellipseAsArcs = false;

bool NearXY(const Point3D& a, const Point3D& b) {
    return std::abs(a.x - b.x) <= kEpsInner && std::abs(a.y - b.y) <= kEpsInner;
}

// Emits from (stored) s along the circle by the signed sweep (radians), then (stored) e; the
// intermediate points lie strictly before the end angle.
void EmitArc(const Point3D& s, const Point3D& e, const Point3D& c, double r, double start, double sweep, double eps,
             std::vector<Point3D>& out) {
    out.push_back(s);
    double stepDeg = ArcStepDegrees(r, eps);
    double span = std::abs(sweep) * kDeg;
    double dir = sweep >= 0 ? 1.0 : -1.0;
    // The count is fixed up front so rounding in the angles cannot add a sliver point at the end.
    // A degenerate arc (huge or non-finite coordinates) has no sound count: it keeps its ends.
    const double steps = std::ceil(span / stepDeg - 1e-9);
    const long n = steps >= 1 && steps <= 1e7 ? static_cast<long>(steps) : 1;
    for (long k = 1; k < n; ++k) {
        double a = start + dir * (k * stepDeg) / kDeg;
        out.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a), kUnknownZ});
    }
    out.push_back(e);
}
}  // namespace

bool DiscreteMaskSelects(int32_t mask, int lineType) {
    if (mask == 0) return true;
    switch (lineType) {
        case 3:
        case 6: return (mask & klDPArc) != 0;
        case 9:
        case 10: return (mask & klDPSpline) != 0;
        case 2: return (mask & klDPBezier) != 0;
        case 5: return (mask & klDPEllipse) != 0;
        default: return false;
    }
}

double ArcStepDegrees(double r, double eps) {
    double step = (eps <= r - kEpsInner) ? std::acos(1 - eps / r) * kDeg : 90.0;
    if (!(step > 0)) step = 90.0;
    return std::max(step, GetArcDangle());
}

int DiscreteArc(const Point3D* pts, int count, std::vector<Point3D>& out, double eps, const Box* clip) {
    if (count < 2 || !pts) return 0;
    size_t before = out.size();
    if (count == 2) {
        out.push_back(pts[0]);
        out.push_back(pts[1]);
        return 2;
    }
    if (eps < kEpsInner || std::isnan(eps)) eps = kEpsInner;
    auto emitPiece = [&](const Point3D* arc, const Point3D& s, const Point3D& e, bool trailing) {
        if (!out.empty() && out.size() > before && NearXY(out.back(), s)) out.pop_back();
        Point3D c;
        double r, start, sweep;
        bool identicalEnds = arc[0].x == arc[2].x && arc[0].y == arc[2].y;
        bool outside = clip && !clip->IsEmpty() && !clip->intersect(GetBoxOf3PArc(arc));
        if (identicalEnds || outside || !ArcSweep3P(arc, c, r, start, sweep)) {
            if (identicalEnds) {
                out.insert(out.end(), arc, arc + 3);
            } else {
                out.push_back(s);
                out.push_back(e);
            }
            return;
        }
        if (trailing) {
            // The piece from the middle to the end of the last arc.
            double m = std::atan2(s.y - c.y, s.x - c.x), d = sweep >= 0 ? m - start : start - m;
            d = std::fmod(d, 2 * std::numbers::pi);
            if (d < 0) d += 2 * std::numbers::pi;
            double rest = std::abs(sweep) - d;
            EmitArc(s, e, c, r, m, sweep >= 0 ? rest : -rest, eps, out);
            return;
        }
        EmitArc(s, e, c, r, start, sweep, eps, out);
    };
    int i = 0;
    for (; i + 2 < count; i += 2) emitPiece(pts + i, pts[i], pts[i + 2], false);
    if (i + 1 < count) emitPiece(pts + count - 3, pts[count - 2], pts[count - 1], true);
    return static_cast<int>(out.size() - before);
}

int DiscreteCir(const Point3D* pts, int count, std::vector<Point3D>& out, double eps) {
    if (count < 2 || !pts) return 0;
    if (count == 2) {
        out.push_back(pts[0]);
        out.push_back(pts[1]);
        return 2;
    }
    size_t before = out.size();
    double dx = pts[0].x - pts[2].x, dy = pts[0].y - pts[2].y;
    double cx, cy, r;
    if (dx * dx + dy * dy < 1e-16 ||
        !Circle3P(pts[0].x, pts[0].y, pts[1].x, pts[1].y, pts[2].x, pts[2].y, cx, cy, r)) {
        out.insert(out.end(), pts, pts + 3);
        return 3;
    }
    if (eps < kEpsInner || std::isnan(eps)) eps = kEpsInner;
    double turn = (pts[1].x - pts[0].x) * (pts[2].y - pts[0].y) - (pts[1].y - pts[0].y) * (pts[2].x - pts[0].x);
    double start = std::atan2(pts[0].y - cy, pts[0].x - cx);
    EmitArc(pts[0], pts[0], {cx, cy, 0}, r, start, turn > 0 ? 2 * std::numbers::pi : -2 * std::numbers::pi, eps,
            out);
    return static_cast<int>(out.size() - before);
}

bool IsEllipseAsArcs() { return g_ellipseAsArcs; }

bool SetEllipseAsArcs(bool on) {
    bool old = g_ellipseAsArcs;
    g_ellipseAsArcs = on;
    return old;
}

EllipseAsArcsScope::EllipseAsArcsScope() : m_previous(SetEllipseAsArcs(true)) {}
EllipseAsArcsScope::~EllipseAsArcsScope() { SetEllipseAsArcs(m_previous); }

}  // namespace kelo
