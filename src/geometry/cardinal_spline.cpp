#include "geometry/cardinal_spline.h"

#include <algorithm>
#include <cmath>

#include "geometry/curve_sampling.h"
#include "geometry/tolerance.h"

namespace kelo {

namespace {
constexpr int kSplineMaxSteps = 32;

struct Coeffs {
    double ax, ay, bx, by, cx, cy;
};

Coeffs PieceCoeffs(const Point3D& p0, const Point3D& p1, const Point3D& p2, const Point3D& p3, double s) {
    Coeffs k;
    k.ax = s * (p2.x - p0.x);
    k.ay = s * (p2.y - p0.y);
    k.bx = s * (2 * p0.x + p1.x - p3.x - 2 * p2.x) + 3 * (p2.x - p1.x);
    k.by = s * (2 * p0.y + p1.y - p3.y - 2 * p2.y) + 3 * (p2.y - p1.y);
    k.cx = (p1.x - p2.x) * (2 - s) - s * (p0.x - p3.x);
    k.cy = (p1.y - p2.y) * (2 - s) - s * (p0.y - p3.y);
    return k;
}

double Clamp01(double s) { return std::isnan(s) ? 1.0 : std::clamp(s, 0.0, 1.0); }

// The four points of piece i (from pts[i] to pts[i + 1]) with the neighbour rules of open and
// closed splines.
void PieceAt(int count, const Point3D* pts, bool closed, int i, const Point3D*& p0, const Point3D*& p3) {
    if (i > 0) p0 = &pts[i - 1];
    else p0 = closed ? &pts[count - 2] : &pts[0];
    if (i + 2 < count) p3 = &pts[i + 2];
    else p3 = closed ? &pts[1] : &pts[count - 1];
}

void AddRoots(double a, double b, double c, double* roots, int& k) {
    // a + 2b u + 3c u^2 = 0 on (0, 1)
    auto keep = [&](double u) {
        if (u > 0 && u < 1) roots[k++] = u;
    };
    double A = 3 * c, B = 2 * b, C = a;
    double scale = std::max({std::abs(A), std::abs(B), std::abs(C)});
    if (!(scale > 0)) return;
    if (std::abs(A) <= 1e-12 * scale) {
        if (std::abs(B) > 1e-12 * scale) keep(-C / B);
        return;
    }
    double disc = B * B - 4 * A * C;
    if (disc < 0) return;
    double sq = std::sqrt(disc);
    double q = -0.5 * (B + (B >= 0 ? sq : -sq));
    keep(q / A);
    if (q != 0) keep(C / q);
}
}  // namespace

double SplineTangentScale(double p) {
    if (!(p > 0)) return 1.0;
    return Clamp01(1.0 / std::sqrt(p));
}

bool IsClosedSpline(int count, const Point3D* pts) {
    if (count < 4 || !pts) return false;
    return IsTwoPointXYEqual(pts[0], pts[count - 1], kEpsInner) != 0;
}

Point3D CardinalSplinePointAt(const Point3D& p0, const Point3D& p1, const Point3D& p2, const Point3D& p3, double s,
                              double u) {
    Coeffs k = PieceCoeffs(p0, p1, p2, p3, Clamp01(s));
    return {p1.x + u * (k.ax + u * (k.bx + u * k.cx)), p1.y + u * (k.ay + u * (k.by + u * k.cy)), kUnknownZ};
}

Box GetBoxOfCardinalSpline(const Point3D& p0, const Point3D& p1, const Point3D& p2, const Point3D& p3, double s) {
    s = Clamp01(s);
    Box box;
    box.add(p1.x, p1.y);
    box.add(p2.x, p2.y);
    Coeffs k = PieceCoeffs(p0, p1, p2, p3, s);
    double roots[4];
    int n = 0;
    AddRoots(k.ax, k.bx, k.cx, roots, n);
    AddRoots(k.ay, k.by, k.cy, roots, n);
    for (int i = 0; i < n; ++i) {
        Point3D q = CardinalSplinePointAt(p0, p1, p2, p3, s, roots[i]);
        box.add(q.x, q.y);
    }
    return box;
}

Box GetBoxOfCardinalSpline(int count, const Point3D* pts, double p) {
    Box box;
    if (count <= 0 || !pts) return box;
    if (count == 1) {
        box.add(pts[0].x, pts[0].y);
        return box;
    }
    double s = SplineTangentScale(p <= 0 ? GetGzZlytParameter() : p);
    bool closed = IsClosedSpline(count, pts);
    for (int i = 0; i + 1 < count; ++i) {
        const Point3D *p0, *p3;
        PieceAt(count, pts, closed, i, p0, p3);
        box.add(GetBoxOfCardinalSpline(*p0, pts[i], pts[i + 1], *p3, s));
    }
    return box;
}

int DiscreteCardinalSpline(const Point3D& p0, const Point3D& p1, const Point3D& p2, const Point3D& p3, double s,
                           std::vector<Point3D>& out, double eps, int maxN) {
    s = Clamp01(s);
    size_t first = out.size();
    int n = detail::AdaptiveSamples([&](double u) { return CardinalSplinePointAt(p0, p1, p2, p3, s, u); }, eps,
                                    detail::PowerOfTwoFloor(maxN), out);
    out[first] = p1;
    out.back() = p2;
    return n;
}

int DiscreteCardinalSpline(const Point3D& p0, const Point3D& p1, const Point3D& p2, const Point3D& p3, double s,
                           std::vector<Point3D>& out, int maxN) {
    if (maxN < 1) maxN = 1;
    s = Clamp01(s);
    out.push_back(p1);
    for (int i = 1; i < maxN; ++i) out.push_back(CardinalSplinePointAt(p0, p1, p2, p3, s, double(i) / maxN));
    out.push_back(p2);
    return maxN + 1;
}

int ConvertSplineToBezier(int count, const Point3D* pts, std::vector<Point3D>& out, double p) {
    if (count < 3 || !pts) return 0;
    double s = SplineTangentScale(p);
    bool closed = IsClosedSpline(count, pts);
    size_t before = out.size();
    out.push_back(pts[0]);
    for (int i = 0; i + 1 < count; ++i) {
        const Point3D *p0, *p3;
        PieceAt(count, pts, closed, i, p0, p3);
        const Point3D &p1 = pts[i], &p2 = pts[i + 1];
        out.push_back({p1.x + s * (p2.x - p0->x) / 3, p1.y + s * (p2.y - p0->y) / 3, kUnknownZ});
        out.push_back({p2.x - s * (p3->x - p1.x) / 3, p2.y - s * (p3->y - p1.y) / 3, kUnknownZ});
        out.push_back(p2);
    }
    return static_cast<int>(out.size() - before);
}

int DiscreteStrain(int count, const Point3D* pts, std::vector<Point3D>& out, double p, double eps) {
    if (count <= 0 || !pts) return 0;
    size_t before = out.size();
    if (count == 1) {
        ConnectToPointArray(out, pts, 1);
        return static_cast<int>(out.size() - before);
    }
    double s = SplineTangentScale(p);
    bool closed = IsClosedSpline(count, pts);
    std::vector<Point3D> piece;
    for (int i = 0; i + 1 < count; ++i) {
        const Point3D *p0, *p3;
        PieceAt(count, pts, closed, i, p0, p3);
        piece.clear();
        DiscreteCardinalSpline(*p0, pts[i], pts[i + 1], *p3, s, piece, eps, kSplineMaxSteps);
        ConnectToPointArray(out, piece);
    }
    return static_cast<int>(out.size() - before);
}

void ConnectToPointArray(std::vector<Point3D>& out, const Point3D* run, int n) {
    if (n <= 0 || !run) return;
    int from = 0;
    if (!out.empty()) {
        const Point3D& last = out.back();
        double dx = last.x - run[0].x, dy = last.y - run[0].y;
        if (dx * dx + dy * dy < kEpsInner * kEpsInner) from = 1;
    }
    out.insert(out.end(), run + from, run + n);
}

void ConnectToPointArray(std::vector<Point3D>& out, const std::vector<Point3D>& run) {
    ConnectToPointArray(out, run.data(), static_cast<int>(run.size()));
}

}  // namespace kelo
