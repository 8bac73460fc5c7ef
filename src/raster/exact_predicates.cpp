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

}  // namespace

int Orient2dExact(const Point3D& a, const Point3D& b, const Point3D& c) {
    return Sign(Add(Mul(Diff(a.x, c.x), Diff(b.y, c.y)), Negate(Mul(Diff(a.y, c.y), Diff(b.x, c.x)))));
}

int InCircleExact(const Point3D& a, const Point3D& b, const Point3D& c, const Point3D& d) {
    const Expansion ax = Diff(a.x, d.x), ay = Diff(a.y, d.y), bx = Diff(b.x, d.x), by = Diff(b.y, d.y);
    const Expansion cx = Diff(c.x, d.x), cy = Diff(c.y, d.y);
    auto cross = [](const Expansion& px, const Expansion& py, const Expansion& qx, const Expansion& qy) {
        return Add(Mul(px, qy), Negate(Mul(qx, py)));
    };
    auto lift = [](const Expansion& px, const Expansion& py) { return Add(Mul(px, px), Mul(py, py)); };
    return Sign(Add(Add(Mul(lift(ax, ay), cross(bx, by, cx, cy)), Mul(lift(bx, by), cross(cx, cy, ax, ay))),
                    Mul(lift(cx, cy), cross(ax, ay, bx, by))));
}

}  // namespace kelo::detail
