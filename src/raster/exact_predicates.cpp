#include "raster/exact_predicates.h"

#include <cmath>
#include <vector>

namespace kelo::detail {

namespace {

// An expansion: a sum of non-overlapping doubles in increasing magnitude; its sign is the sign of
// its largest component.
using Expansion = std::vector<double>;

void TwoSum(double a, double b, double& x, double& y) {
    x = a + b;
    double bv = x - a;
    double av = x - bv;
    y = (a - av) + (b - bv);
}

Expansion Grow(const Expansion& e, double b) {
    Expansion h;
    h.reserve(e.size() + 1);
    double q = b;
    for (double c : e) {
        double sum, err;
        TwoSum(q, c, sum, err);
        if (err != 0) h.push_back(err);
        q = sum;
    }
    if (q != 0 || h.empty()) h.push_back(q);
    return h;
}

Expansion Add(const Expansion& e, const Expansion& f) {
    Expansion h = e;
    for (double c : f) h = Grow(h, c);
    return h;
}

Expansion Negate(Expansion e) {
    for (double& c : e) c = -c;
    return e;
}

Expansion Scale(const Expansion& e, double b) {
    Expansion h{0.0};
    for (double c : e) {
        double p = c * b;
        double err = std::fma(c, b, -p);
        h = Grow(Grow(h, err), p);
    }
    return h;
}

Expansion Mul(const Expansion& e, const Expansion& f) {
    Expansion h{0.0};
    for (double c : f) h = Add(h, Scale(e, c));
    return h;
}

Expansion Diff(double a, double b) { return Grow(Expansion{a}, -b); }

int Sign(const Expansion& e) {
    for (auto it = e.rbegin(); it != e.rend(); ++it)
        if (*it != 0) return *it > 0 ? 1 : -1;
    return 0;
}

// Error bounds of the plain evaluations relative to their permanents (with margin).
constexpr double kOrientBound = 3.3306690738754716e-16 * 1.01;
constexpr double kInCircleBound = 1.1102230246251577e-15 * 1.01;

}  // namespace

int Orient2dSign(const Point3D& a, const Point3D& b, const Point3D& c) {
    const double l = (a.x - c.x) * (b.y - c.y), r = (a.y - c.y) * (b.x - c.x);
    const double det = l - r;
    const double bound = kOrientBound * (std::fabs(l) + std::fabs(r));
    if (det > bound) return 1;
    if (-det > bound) return -1;
    if (l == 0 && r == 0) return 0;
    Expansion e = Add(Mul(Diff(a.x, c.x), Diff(b.y, c.y)), Negate(Mul(Diff(a.y, c.y), Diff(b.x, c.x))));
    return Sign(e);
}

int InCircleSign(const Point3D& a, const Point3D& b, const Point3D& c, const Point3D& d) {
    const double adx = a.x - d.x, ady = a.y - d.y, bdx = b.x - d.x, bdy = b.y - d.y;
    const double cdx = c.x - d.x, cdy = c.y - d.y;
    const double bc = bdx * cdy - cdx * bdy, ca = cdx * ady - adx * cdy, ab = adx * bdy - bdx * ady;
    const double al = adx * adx + ady * ady, bl = bdx * bdx + bdy * bdy, cl = cdx * cdx + cdy * cdy;
    const double det = al * bc + bl * ca + cl * ab;
    const double perm = (std::fabs(bdx * cdy) + std::fabs(cdx * bdy)) * al +
                        (std::fabs(cdx * ady) + std::fabs(adx * cdy)) * bl +
                        (std::fabs(adx * bdy) + std::fabs(bdx * ady)) * cl;
    const double bound = kInCircleBound * perm;
    if (det > bound) return 1;
    if (-det > bound) return -1;
    const Expansion ax = Diff(a.x, d.x), ay = Diff(a.y, d.y), bx = Diff(b.x, d.x), by = Diff(b.y, d.y);
    const Expansion cx = Diff(c.x, d.x), cy = Diff(c.y, d.y);
    auto cross = [](const Expansion& px, const Expansion& py, const Expansion& qx, const Expansion& qy) {
        return Add(Mul(px, qy), Negate(Mul(qx, py)));
    };
    auto lift = [](const Expansion& px, const Expansion& py) { return Add(Mul(px, px), Mul(py, py)); };
    Expansion e = Add(Add(Mul(lift(ax, ay), cross(bx, by, cx, cy)), Mul(lift(bx, by), cross(cx, cy, ax, ay))),
                      Mul(lift(cx, cy), cross(ax, ay, bx, by)));
    return Sign(e);
}

}  // namespace kelo::detail
