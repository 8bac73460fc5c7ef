#include "geometry/ellipse.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "geometry/cardinal_spline.h"
#include "geometry/discrete.h"
#include "geometry/point_run.h"

namespace kelo {

namespace {
constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kTol = 1e-8;
constexpr double kTol2 = 1e-16;

double Wrap2Pi(double a) {
    a = std::fmod(a, kTwoPi);
    if (a < 0) a += kTwoPi;
    if (a >= kTwoPi) a = 0;
    return a;
}

// Null vector of a 5 x 6 system by Gaussian elimination with full pivoting; false when the rank is
// below 5 (the five points do not fix one conic).
bool NullVector(double m[5][6], double v[6]) {
    int col[6] = {0, 1, 2, 3, 4, 5};
    for (int r = 0; r < 5; ++r) {
        int pr = r, pc = r;
        double best = 0;
        for (int i = r; i < 5; ++i)
            for (int j = r; j < 6; ++j)
                if (std::abs(m[i][col[j]]) > best) { best = std::abs(m[i][col[j]]); pr = i; pc = j; }
        if (!(best > kTol2)) return false;
        std::swap(m[r], m[pr]);
        std::swap(col[r], col[pc]);
        for (int i = r + 1; i < 5; ++i) {
            double f = m[i][col[r]] / m[r][col[r]];
            for (int j = r; j < 6; ++j) m[i][col[j]] -= f * m[r][col[j]];
        }
    }
    v[col[5]] = 1.0;
    for (int r = 4; r >= 0; --r) {
        double s = 0;
        for (int j = r + 1; j < 6; ++j) s += m[r][col[j]] * v[col[j]];
        v[col[r]] = -s / m[r][col[r]];
    }
    return true;
}

double ParamOf(const Point3D& p, const Point3D& c, double a, double b, double rot) {
    double dx = p.x - c.x, dy = p.y - c.y, cs = std::cos(rot), sn = std::sin(rot);
    double u = dx * cs + dy * sn, v = -dx * sn + dy * cs;
    return std::atan2(v / b, u / a);
}

bool AxisAngleOnSweep(double t, double start, double sweep) {
    double d = sweep >= 0 ? t - start : start - t;
    d = Wrap2Pi(d);
    return d <= std::abs(sweep);
}

// A closed piece has only four distinct points, which do not fix a conic. They are taken as the
// quarter points of the piece: centre c, conjugate semi-diameters u = p0 - c and v = p1 - c.
bool ClosedPieceAxes(const Point3D* pts, Point3D& centre, double& a, double& b, double& rotation) {
    double cx = (pts[0].x + pts[1].x + pts[2].x + pts[3].x) / 4, cy = (pts[0].y + pts[1].y + pts[2].y + pts[3].y) / 4;
    double ux = (pts[0].x - pts[2].x) / 2, uy = (pts[0].y - pts[2].y) / 2;
    double vx = (pts[1].x - pts[3].x) / 2, vy = (pts[1].y - pts[3].y) / 2;
    // |u cos t + v sin t|^2 = A + B cos 2t + C sin 2t
    double A = (ux * ux + uy * uy + vx * vx + vy * vy) / 2, B = (ux * ux + uy * uy - vx * vx - vy * vy) / 2,
           C = ux * vx + uy * vy;
    double R = std::hypot(B, C);
    double a2 = A + R, b2 = A - R;
    if (!(b2 > kTol2 * (a2 + 1)) || !std::isfinite(a2)) return false;
    double t0 = 0.5 * std::atan2(C, B);
    centre = {cx, cy, kUnknownZ};
    a = std::sqrt(a2);
    b = std::sqrt(b2);
    rotation = std::atan2(uy * std::cos(t0) + vy * std::sin(t0), ux * std::cos(t0) + vx * std::sin(t0));
    return true;
}

// The conic through five distinct points, as centre, semi-axes and rotation of the first axis.
bool ConicAxes(const Point3D* pts, Point3D& centre, double& a, double& b, double& rotation) {
    // Work about the centroid, scaled to unit size, so the conic's coefficients are comparable.
    double mx = 0, my = 0;
    for (int i = 0; i < 5; ++i) { mx += pts[i].x; my += pts[i].y; }
    mx /= 5;
    my /= 5;
    double scale = 0;
    for (int i = 0; i < 5; ++i) scale = std::max({scale, std::abs(pts[i].x - mx), std::abs(pts[i].y - my)});
    if (!(scale > kTol) || !std::isfinite(scale)) return false;
    double m[5][6];
    for (int i = 0; i < 5; ++i) {
        double x = (pts[i].x - mx) / scale, y = (pts[i].y - my) / scale;
        double row[6] = {x * x, x * y, y * y, x, y, 1.0};
        std::copy(row, row + 6, m[i]);
    }
    double v[6];
    if (!NullVector(m, v)) return false;
    double A = v[0], B = v[1], C = v[2], D = v[3], E = v[4], F = v[5];
    double det = 4 * A * C - B * B;
    double norm = std::max({std::abs(A), std::abs(B), std::abs(C)});
    if (!(det > kTol * norm * norm)) return false;  // not an ellipse
    double x0 = (B * E - 2 * C * D) / det, y0 = (B * D - 2 * A * E) / det;
    double Fc = F + (D * x0 + E * y0) / 2;
    double th = 0.5 * std::atan2(B, A - C);
    double cs = std::cos(th), sn = std::sin(th);
    double l1 = A * cs * cs + B * sn * cs + C * sn * sn;
    double l2 = A * sn * sn - B * sn * cs + C * cs * cs;
    double q1 = -Fc / l1, q2 = -Fc / l2;
    if (!(q1 > kTol2) || !(q2 > kTol2)) return false;
    centre = {x0 * scale + mx, y0 * scale + my, kUnknownZ};
    a = std::sqrt(q1) * scale;
    b = std::sqrt(q2) * scale;
    rotation = th;
    return true;
}
}  // namespace

bool Ellipse5P(const Point3D* pts, Point3D& centre, double& a, double& b, double& rotation, double& start,
               double& end, double& sweep) {
    if (!pts) return false;
    bool closed = IsTwoPointXYEqual(pts[0], pts[4], kTol) != 0;
    if (!(closed ? ClosedPieceAxes(pts, centre, a, b, rotation) : ConicAxes(pts, centre, a, b, rotation)))
        return false;
    // a is the major semi-axis, its direction within (-pi/2, pi/2].
    if (a < b) {
        std::swap(a, b);
        rotation += kPi / 2;
    }
    if (rotation > kPi / 2) rotation -= kPi;
    if (rotation <= -kPi / 2) rotation += kPi;
    double t[5], d[5];
    for (int i = 0; i < 5; ++i) {
        t[i] = ParamOf(pts[i], centre, a, b, rotation);
        d[i] = Wrap2Pi(t[i] - t[0]);
    }
    start = t[0];
    end = t[4];
    if (closed) {
        sweep = d[1] < d[2] ? kTwoPi : -kTwoPi;
    } else {
        bool ccw = d[2] < d[4];
        sweep = ccw ? d[4] : -(kTwoPi - d[4]);
    }
    return true;
}

Point3D EllipsePointAt(const Point3D& c, double a, double b, double rot, double t) {
    double u = a * std::cos(t), v = b * std::sin(t), cs = std::cos(rot), sn = std::sin(rot);
    return {c.x + u * cs - v * sn, c.y + u * sn + v * cs, kUnknownZ};
}

int AdjustEllipse(int n, Point3D* pts) {
    if (n < 5 || !pts) return 0;
    int adjusted = 0;
    for (int i = 0; i + 4 < n; i += 4) {
        Point3D c;
        double a, b, rot, s, e, sw;
        if (!Ellipse5P(pts + i, c, a, b, rot, s, e, sw)) continue;
        for (int k = 1; k <= 3; ++k) {
            Point3D p = EllipsePointAt(c, a, b, rot, s + sw * k / 4);
            pts[i + k].x = p.x;
            pts[i + k].y = p.y;
        }
        ++adjusted;
    }
    return adjusted;
}

bool GetEllipseInterPt(const Point3D* pts, Point3D& p, int i) {
    if (!pts || i < 0 || i > 3) return false;
    Point3D c;
    double a, b, rot, s, e, sw;
    if (!Ellipse5P(pts, c, a, b, rot, s, e, sw)) return false;
    p = EllipsePointAt(c, a, b, rot, i * kPi / 2);
    return true;
}

int ellipseLinzed(const Point3D& centre, const Point3D& axis, double ratio, double start, double end,
                  std::vector<Point3D>& out, double density) {
    double a = std::hypot(axis.x, axis.y), rot = std::atan2(axis.y, axis.x), b = a * ratio;
    if (start > end) end += kTwoPi;
    double sweep = end - start;
    double steps = std::round(sweep * 180.0 / kPi * density);
    // Bounded so a wild density cannot exhaust memory.
    int n = !(steps >= 2) ? 2 : static_cast<int>(std::min(steps, 1e7));
    size_t first = out.size();
    for (int k = 0; k <= n; ++k) {
        Point3D p = EllipsePointAt(centre, a, b, rot, start + k * sweep / n);
        p.z = 0.0;
        out.push_back(p);
    }
    if (std::abs(sweep - kTwoPi) < kTol) out.back() = out[first];
    return n + 1;
}

int DiscreteEllipse(int count, const Point3D* pts, std::vector<Point3D>& out, double eps) {
    if (count < 2 || !pts) return 0;
    if (eps < kTol) eps = kTol;
    size_t before = out.size();
    bool asArcs = IsEllipseAsArcs();
    int i = 0;
    std::vector<Point3D> piece;
    for (; i + 4 < count; i += 4) {
        const Point3D* p = pts + i;
        Point3D c;
        double a, b, rot, s, e, sw;
        piece.clear();
        if (!Ellipse5P(p, c, a, b, rot, s, e, sw)) {
            piece.assign(p, p + 5);
        } else {
            double R = (a + b) / 2;
            double step = eps > R - kTol ? kPi / 2 : std::acos(1 - eps / R);
            step = std::max(step, GetArcDangle() * kPi / 180.0);
            double sweepDeg = std::abs(sw) * 180.0 / kPi;
            double n = std::max(2.0, std::round(std::abs(sw) / step));
            if (asArcs && std::fmod(n, 2.0) != 0) n += 1;  // whole three-point arcs
            double density = n / sweepDeg;
            // A clockwise piece is the counter-clockwise piece of the mirrored parameter.
            Point3D axis{a * std::cos(rot), a * std::sin(rot), 0};
            if (sw >= 0) ellipseLinzed(c, axis, b / a, s, s + sw, piece, density);
            else ellipseLinzed(c, axis, -b / a, -s, -s - sw, piece, density);
            // Computed points have no known elevation; only the stored ends keep theirs.
            for (Point3D& q : piece) q.z = kUnknownZ;
            if (std::abs(piece.front().x - p[0].x) < kTol && std::abs(piece.front().y - p[0].y) < kTol)
                piece.front() = p[0];
            piece.back() = p[4];  // the fitted ellipse passes through it; keep the stored copy
        }
        ConnectToPointArray(out, piece);
    }
    // A remainder shorter than a piece is kept as it is.
    if (i + 1 < count) ConnectToPointArray(out, pts + i, count - i);
    else if (out.size() == before) out.push_back(pts[count - 1]);
    return static_cast<int>(out.size() - before);
}

Box GetBoxOfEllipse(int count, const Point3D* pts) {
    Box box;
    if (count <= 0 || !pts) return box;
    int i = 0;
    for (; i + 4 < count; i += 4) {
        Point3D c;
        double a, b, rot, s, e, sw;
        if (!Ellipse5P(pts + i, c, a, b, rot, s, e, sw)) {
            for (int k = 0; k < 5; ++k) box.add(pts[i + k].x, pts[i + k].y);
            continue;
        }
        box.add(pts[i].x, pts[i].y);
        box.add(pts[i + 4].x, pts[i + 4].y);
        double cs = std::cos(rot), sn = std::sin(rot);
        double tx = std::atan2(-b * sn, a * cs), ty = std::atan2(b * cs, a * sn);
        for (double t : {tx, tx + kPi, ty, ty + kPi}) {
            if (!AxisAngleOnSweep(t, s, sw)) continue;
            Point3D q = EllipsePointAt(c, a, b, rot, t);
            box.add(q.x, q.y);
        }
    }
    for (; i < count; ++i) box.add(pts[i].x, pts[i].y);
    return box;
}

int EllipseArcToBezier(const Point3D& c, double a, double b, double rot, double start, double sweep,
                       std::vector<Point3D>& out) {
    size_t before = out.size();
    if (!std::isfinite(sweep) || !std::isfinite(start)) return 0;
    sweep = std::clamp(sweep, -kTwoPi, kTwoPi);  // more than a turn retraces the ellipse
    int pieces = std::max(1, static_cast<int>(std::ceil(std::abs(sweep) / (kPi / 2) - 1e-9)));
    double d = sweep / pieces;
    double k = 4.0 / 3.0 * std::tan(d / 4);
    double cs = std::cos(rot), sn = std::sin(rot);
    auto deriv = [&](double t) {
        double u = -a * std::sin(t), v = b * std::cos(t);
        return Point3D{u * cs - v * sn, u * sn + v * cs, 0};
    };
    if (out.empty()) out.push_back(EllipsePointAt(c, a, b, rot, start));
    for (int i = 0; i < pieces; ++i) {
        double t0 = start + i * d, t1 = t0 + d;
        Point3D p0 = EllipsePointAt(c, a, b, rot, t0), p1 = EllipsePointAt(c, a, b, rot, t1);
        Point3D d0 = deriv(t0), d1 = deriv(t1);
        out.push_back({p0.x + k * d0.x, p0.y + k * d0.y, kUnknownZ});
        out.push_back({p1.x - k * d1.x, p1.y - k * d1.y, kUnknownZ});
        out.push_back(p1);
    }
    return static_cast<int>(out.size() - before);
}

}  // namespace kelo
