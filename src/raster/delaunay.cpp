// Divide-and-conquer Delaunay triangulation on a quad-edge structure: the sorted points are
// halved recursively, each half triangulated, and the halves merged bottom-up by walking the
// rising bubble between them. Exact predicates make duplicates-free input of any shape safe,
// including long collinear runs and cocircular grids.
#include <algorithm>
#include <cmath>

#include "raster/exact_predicates.h"
#include "raster/triangulation.h"

namespace kelo::detail {

namespace {

class QuadEdges {
public:
    QuadEdges(const std::vector<Point3D>& pts) : p_(pts) {
        // Each merge adds at most 3 edges per point overall; the pool rarely grows.
        next_.reserve(pts.size() * 3 * 4);
        org_.reserve(pts.size() * 3 * 4);
    }

    static int Rot(int e) { return (e & ~3) | ((e + 1) & 3); }
    static int InvRot(int e) { return (e & ~3) | ((e + 3) & 3); }
    static int Sym(int e) { return e ^ 2; }
    int Onext(int e) const { return next_[e]; }
    int Oprev(int e) const { return Rot(Onext(Rot(e))); }
    int Lnext(int e) const { return Rot(Onext(InvRot(e))); }
    int Rprev(int e) const { return Onext(Sym(e)); }
    int Org(int e) const { return org_[e]; }
    int Dest(int e) const { return org_[Sym(e)]; }
    bool Live(int e) const { return org_[e & ~3] >= 0; }
    int Size() const { return static_cast<int>(next_.size()); }

    int Make(int a, int b) {
        int e;
        if (!free_.empty()) {
            e = free_.back();
            free_.pop_back();
        } else {
            e = Size();
            next_.resize(next_.size() + 4);
            org_.resize(org_.size() + 4);
        }
        next_[e] = e;
        next_[e + 1] = e + 3;
        next_[e + 2] = e + 2;
        next_[e + 3] = e + 1;
        org_[e] = a;
        org_[e + 2] = b;
        org_[e + 1] = org_[e + 3] = -2;
        return e;
    }
    void Splice(int a, int b) {
        int alpha = Rot(Onext(a)), beta = Rot(Onext(b));
        std::swap(next_[a], next_[b]);
        std::swap(next_[alpha], next_[beta]);
    }
    int Connect(int a, int b) {
        int e = Make(Dest(a), Org(b));
        Splice(e, Lnext(a));
        Splice(Sym(e), b);
        return e;
    }
    void Delete(int e) {
        Splice(e, Oprev(e));
        Splice(Sym(e), Oprev(Sym(e)));
        e &= ~3;
        org_[e] = org_[e + 2] = -1;
        free_.push_back(e);
    }

    bool Ccw(int a, int b, int c) const { return Orient2dSign(p_[a], p_[b], p_[c]) > 0; }
    bool RightOf(int x, int e) const { return Ccw(x, Dest(e), Org(e)); }
    bool LeftOf(int x, int e) const { return Ccw(x, Org(e), Dest(e)); }
    bool InCircle(int a, int b, int c, int d) const { return InCircleSign(p_[a], p_[b], p_[c], p_[d]) > 0; }

    // Triangulates points [lo, hi) (at least 2); returns the counter-clockwise convex hull edge
    // out of the leftmost point and the clockwise one out of the rightmost.
    void Build(int lo, int hi, int& le, int& re) {
        const int n = hi - lo;
        if (n == 2) {
            le = Make(lo, lo + 1);
            re = Sym(le);
            return;
        }
        if (n == 3) {
            int a = Make(lo, lo + 1), b = Make(lo + 1, lo + 2);
            Splice(Sym(a), b);
            if (Ccw(lo, lo + 1, lo + 2)) {
                Connect(b, a);
                le = a;
                re = Sym(b);
            } else if (Ccw(lo, lo + 2, lo + 1)) {
                int c = Connect(b, a);
                le = Sym(c);
                re = c;
            } else {
                le = a;
                re = Sym(b);
            }
            return;
        }
        const int mid = lo + n / 2;
        int ldo, ldi, rdi, rdo;
        Build(lo, mid, ldo, ldi);
        Build(mid, hi, rdi, rdo);
        // Lower common tangent of the two hulls.
        for (;;) {
            if (LeftOf(Org(rdi), ldi))
                ldi = Lnext(ldi);
            else if (RightOf(Org(ldi), rdi))
                rdi = Rprev(rdi);
            else
                break;
        }
        int basel = Connect(Sym(rdi), ldi);
        if (Org(ldi) == Org(ldo)) ldo = Sym(basel);
        if (Org(rdi) == Org(rdo)) rdo = basel;
        for (;;) {
            auto valid = [&](int e) { return RightOf(Dest(e), basel); };
            int lcand = Onext(Sym(basel));
            if (valid(lcand)) {
                while (InCircle(Dest(basel), Org(basel), Dest(lcand), Dest(Onext(lcand)))) {
                    int t = Onext(lcand);
                    Delete(lcand);
                    lcand = t;
                }
            }
            int rcand = Oprev(basel);
            if (valid(rcand)) {
                while (InCircle(Dest(basel), Org(basel), Dest(rcand), Dest(Oprev(rcand)))) {
                    int t = Oprev(rcand);
                    Delete(rcand);
                    rcand = t;
                }
            }
            const bool lv = valid(lcand), rv = valid(rcand);
            if (!lv && !rv) break;
            if (!lv || (rv && InCircle(Dest(lcand), Org(lcand), Org(rcand), Dest(rcand))))
                basel = Connect(rcand, Sym(basel));
            else
                basel = Connect(Sym(basel), Sym(lcand));
        }
        le = ldo;
        re = rdo;
    }

    // Every bounded face of three edges turning left is a triangle; the outer face turns right.
    std::vector<int> Triangles() const {
        std::vector<int> out;
        std::vector<char> seen(next_.size(), 0);
        for (int q = 0; q < Size(); q += 4) {
            if (!Live(q)) continue;
            for (int e : {q, q + 2}) {
                if (seen[e]) continue;
                int e2 = Lnext(e), e3 = Lnext(e2);
                seen[e] = 1;
                if (Lnext(e3) != e) continue;
                seen[e2] = seen[e3] = 1;
                if (Ccw(Org(e), Org(e2), Org(e3))) out.insert(out.end(), {Org(e), Org(e2), Org(e3)});
            }
        }
        return out;
    }

private:
    const std::vector<Point3D>& p_;
    std::vector<int> next_, org_, free_;
};

double Quantum(double v) { return std::floor(v / 1e-8 + 0.5); }

}  // namespace

std::vector<Point3D> MergedSortedPoints(const std::vector<Point3D>& points) {
    struct Keyed {
        double qx, qy;
        size_t i;
    };
    std::vector<Keyed> keys;
    keys.reserve(points.size());
    for (size_t i = 0; i < points.size(); ++i) {
        const Point3D& p = points[i];
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) continue;
        keys.push_back({Quantum(p.x), Quantum(p.y), i});
    }
    std::sort(keys.begin(), keys.end(), [](const Keyed& a, const Keyed& b) {
        if (a.qx != b.qx) return a.qx < b.qx;
        if (a.qy != b.qy) return a.qy < b.qy;
        return a.i < b.i;
    });
    std::vector<Point3D> out;
    out.reserve(keys.size());
    for (size_t k = 0; k < keys.size();) {
        size_t m = k;
        double zsum = 0;
        while (m < keys.size() && keys[m].qx == keys[k].qx && keys[m].qy == keys[k].qy) zsum += points[keys[m++].i].z;
        Point3D p = points[keys[k].i];
        p.z = zsum / static_cast<double>(m - k);
        out.push_back(p);
        k = m;
    }
    // The recursion needs a strict order of the actual coordinates, which the quantised order
    // may differ from by less than a quantum.
    auto less = [](const Point3D& a, const Point3D& b) { return a.x != b.x ? a.x < b.x : a.y < b.y; };
    if (!std::is_sorted(out.begin(), out.end(), less)) std::sort(out.begin(), out.end(), less);
    return out;
}

std::vector<int> DelaunayIndexTriangles(const std::vector<Point3D>& sorted) {
    if (sorted.size() < 3 || sorted.size() > static_cast<size_t>(0x0fffffff)) return {};
    QuadEdges qe(sorted);
    int le, re;
    qe.Build(0, static_cast<int>(sorted.size()), le, re);
    return qe.Triangles();
}

}  // namespace kelo::detail
