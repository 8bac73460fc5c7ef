#include "geometry/bezier.h"

#include <algorithm>
#include <cmath>

#include "geometry/curve_sampling.h"

namespace kelo {

namespace {
constexpr int kBezierMaxSteps = 32;

Point3D Lerp(const Point3D& a, const Point3D& b, double t) {
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, kUnknownZ};
}

// Roots in (0, 1) of the derivative of one coordinate of a segment of n control values.
int DerivativeRoots(const double* v, int n, double* roots) {
    int k = 0;
    auto keep = [&](double t) {
        if (t > 0 && t < 1) roots[k++] = t;
    };
    if (n == 3) {
        double den = v[0] - 2 * v[1] + v[2];
        if (den != 0) keep((v[0] - v[1]) / den);
        return k;
    }
    if (n != 4) return 0;
    // B'(t)/3 = a t^2 + b t + c
    double a = -v[0] + 3 * v[1] - 3 * v[2] + v[3];
    double b = 2 * (v[0] - 2 * v[1] + v[2]);
    double c = v[1] - v[0];
    double scale = std::max({std::abs(a), std::abs(b), std::abs(c)});
    if (!(scale > 0)) return 0;
    if (std::abs(a) <= 1e-12 * scale) {
        if (std::abs(b) > 1e-12 * scale) keep(-c / b);
        return k;
    }
    double disc = b * b - 4 * a * c;
    if (disc < 0) return 0;
    double sq = std::sqrt(disc);
    // The stable pair of quadratic roots.
    double q = -0.5 * (b + (b >= 0 ? sq : -sq));
    keep(q / a);
    if (q != 0) keep(c / q);
    return k;
}

}  // namespace

Point3D BezierPointAt(const Point3D* c, int n, double t) {
    double u = 1 - t;
    switch (n) {
        case 4: {
            double b0 = u * u * u, b1 = 3 * u * u * t, b2 = 3 * u * t * t, b3 = t * t * t;
            return {b0 * c[0].x + b1 * c[1].x + b2 * c[2].x + b3 * c[3].x,
                    b0 * c[0].y + b1 * c[1].y + b2 * c[2].y + b3 * c[3].y, kUnknownZ};
        }
        case 3: {
            double b0 = u * u, b1 = 2 * u * t, b2 = t * t;
            return {b0 * c[0].x + b1 * c[1].x + b2 * c[2].x, b0 * c[0].y + b1 * c[1].y + b2 * c[2].y, kUnknownZ};
        }
        case 2: return Lerp(c[0], c[1], t);
        case 1: return c[0];
        default: return {0, 0, kUnknownZ};
    }
}

Box GetBoxOfBezier(int count, const Point3D* pts) {
    Box box;
    if (count <= 0 || !pts) return box;
    box.add(pts[0].x, pts[0].y);
    for (int i = 0; i + 1 < count; i += 3) {
        int n = std::min(4, count - i);
        const Point3D* c = pts + i;
        box.add(c[n - 1].x, c[n - 1].y);
        double xs[4], ys[4], roots[2];
        for (int j = 0; j < n; ++j) { xs[j] = c[j].x; ys[j] = c[j].y; }
        for (const double* v : {static_cast<const double*>(xs), static_cast<const double*>(ys)}) {
            int k = DerivativeRoots(v, n, roots);
            for (int j = 0; j < k; ++j) {
                Point3D p = BezierPointAt(c, n, roots[j]);
                box.add(p.x, p.y);
            }
        }
    }
    return box;
}

double SplitBezier(const Point3D* c, double x, double y, Point3D* out) {
    if (!c || !out) return 0.0;
    const Point3D q{x, y, 0.0};
    auto dist2 = [&](double t) {
        Point3D p = BezierPointAt(c, 4, t);
        return (p.x - x) * (p.x - x) + (p.y - y) * (p.y - y);
    };
    constexpr int kSteps = 128;
    int best = 0;
    double bestD = -1;
    Point3D prev = c[0];
    for (int i = 0; i < kSteps; ++i) {
        Point3D next = i + 1 == kSteps ? c[3] : BezierPointAt(c, 4, static_cast<double>(i + 1) / kSteps);
        double d = DistanceToSegment(prev, next, q);
        if (bestD < 0 || d < bestD) { bestD = d; best = i; }
        prev = next;
    }
    double t = (best + 0.5) / kSteps, dt = dist2(t), step = 0.5;
    for (int pass = 0; pass < 30; ++pass) {
        for (double cand : {std::max(0.0, t - step), std::min(1.0, t + step)}) {
            double dc = dist2(cand);
            if (dc < dt) { t = cand; dt = dc; }
        }
        step /= 1.618;
    }
    // de Casteljau at t.
    Point3D a = Lerp(c[0], c[1], t), b = Lerp(c[1], c[2], t), d = Lerp(c[2], c[3], t);
    Point3D ab = Lerp(a, b, t), bd = Lerp(b, d, t), m = Lerp(ab, bd, t);
    out[0] = c[0];
    out[1] = a;
    out[2] = ab;
    out[3] = m;
    out[4] = bd;
    out[5] = d;
    out[6] = c[3];
    return t;
}

void ConvertFourPointsToBezier(Point3D* q) {
    if (!q) return;
    Box box;
    for (int i = 0; i < 4; ++i) box.add(q[i].x, q[i].y);
    double ox = 0, oy = 0;
    box.GetCenter(ox, oy);
    double x[4], y[4];
    for (int i = 0; i < 4; ++i) { x[i] = q[i].x - ox; y[i] = q[i].y - oy; }
    double ax = (27 * x[1] - x[3] - 8 * x[0]) / 6, ay = (27 * y[1] - y[3] - 8 * y[0]) / 6;
    double bx = (27 * x[2] - x[0] - 8 * x[3]) / 6, by = (27 * y[2] - y[0] - 8 * y[3]) / 6;
    q[1] = {(2 * ax - bx) / 3 + ox, (2 * ay - by) / 3 + oy, kUnknownZ};
    q[2] = {(2 * bx - ax) / 3 + ox, (2 * by - ay) / 3 + oy, kUnknownZ};
}

int DiscreteBezierSegment(const Point3D* c, int n, std::vector<Point3D>& out, double eps) {
    if (!c || n < 1) return 0;
    if (n == 1) {
        out.push_back(c[0]);
        return 1;
    }
    n = std::min(n, 4);
    size_t first = out.size();
    int added = detail::AdaptiveSamples([&](double t) { return BezierPointAt(c, n, t); }, eps, kBezierMaxSteps, out);
    out[first] = c[0];
    out.back() = c[n - 1];
    return added;
}

int DiscreteBezier(int count, const Point3D* pts, std::vector<Point3D>& out, double eps) {
    if (count <= 0 || !pts) return 0;
    size_t before = out.size();
    for (int i = 0; i + 1 < count; i += 3) {
        int n = std::min(4, count - i);
        DiscreteBezierSegment(pts + i, n, out, eps);
        out.pop_back();  // the segment's end starts the next one
    }
    out.push_back(pts[count - 1]);
    return static_cast<int>(out.size() - before);
}

}  // namespace kelo
