// Two-segment relations: crossings, the packed intersection code with its contact refinement,
// overlaps, sameness, projections and distances.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "companion/plane.h"
#include "geometry/circle_arc.h"
#include "relations/segment.h"
#include "relations/segment_arc.h"

namespace kelo {

namespace {

using detail::SegArcCircle;
using detail::SegCircle;

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kPi = std::numbers::pi;
constexpr double kMarkZ = 9999.0;  // z of every point a crossing search writes

bool Near(const Point3D& a, const Point3D& b, double eps) { return IsTwoPointXYEqual(a, b, eps) != 0; }

double Dist(const Point3D& a, const Point3D& b) { return std::hypot(a.x - b.x, a.y - b.y); }

Point3D Minus(const Point3D& a, const Point3D& o) { return {a.x - o.x, a.y - o.y, a.z}; }
Point3D Plus(const Point3D& a, const Point3D& o) { return {a.x + o.x, a.y + o.y, a.z}; }

bool OnArc(const SegCircle& c, const Point3D& q, double tol) {
    return AngleOnArc(std::atan2(q.y - c.cy, q.x - c.cx), c.start, c.sweep, tol);
}

// Crossings of a straight segment (line) with an arc, worked out relative to the arc's start so the
// circle formulas see small numbers.
int LineArcCrossings(const CsSegment& line, const CsSegment& arc, const SegCircle& c, Point3D& p1, Point3D& p2) {
    const Point3D& o = *arc.Head();
    Point3D centre{c.cx - o.x, c.cy - o.y, 0};
    Point3D q[2];
    int n = SegmentIntersectCircle(Minus(*line.Head(), o), Minus(*line.Tail(), o), centre, c.r, kEpsInner, q[0], q[1]);
    SegCircle rel = c;
    rel.cx = centre.x;
    rel.cy = centre.y;
    double tol = c.r > 0 ? kEpsInner / c.r : 0.0;
    Point3D* out[2] = {&p1, &p2};
    int kept = 0;
    for (int i = 0; i < n; ++i)
        if (OnArc(rel, q[i], tol)) *out[kept++] = Plus(q[i], o);
    return kept;
}

int ArcArcCrossings(const CsSegment& a, const SegCircle& ca, const SegCircle& cb, Point3D& p1, Point3D& p2) {
    const Point3D& o = *a.Head();
    SegCircle ra = ca, rb = cb;
    ra.cx -= o.x;
    ra.cy -= o.y;
    rb.cx -= o.x;
    rb.cy -= o.y;
    Point3D q[2];
    int n = CircleIntersectCircle({ra.cx, ra.cy, 0}, ra.r, {rb.cx, rb.cy, 0}, rb.r, kEpsInner, q[0], q[1]);
    double tolA = ca.r > 0 ? kEpsInner / ca.r : 0.0, tolB = cb.r > 0 ? kEpsInner / cb.r : 0.0;
    Point3D* out[2] = {&p1, &p2};
    int kept = 0;
    for (int i = 0; i < n; ++i)
        if (OnArc(ra, q[i], tolA) && OnArc(rb, q[i], tolB)) *out[kept++] = Plus(q[i], o);
    return kept;
}

// The two contact slots and the overlap kind of the packed code.
struct Slots {
    int kind[2] = {0, 0};
    int pos[2] = {0, 0};
    int owner[2] = {-1, -1};  // which contact fills the slot
    int used = 0;
    int overlap = 0;

    // Slot 1 while empty, else slot 2, overwriting it when it is full.
    void Put(int k, int p, int who) {
        int i = used == 0 ? 0 : 1;
        kind[i] = k;
        pos[i] = p;
        owner[i] = who;
        if (used < 2) ++used;
    }
    // The table shared by every path: ends of A by their overlap value, ends of B inside A.
    void Fill(int s1, int s2, int s3, int s4) {
        if (s1) Put(s1 == 1 ? 2 : 3, 4 * s1 - 3, 0);
        if (s2) Put(s2 == 1 ? 2 : 3, 4 * s2 - 2, 0);
        if (s3 == 1) Put(2, 4, 0);
        if (s4 == 1) Put(2, 8, 0);
    }
    int Code() const {
        return (pos[0] & 15) | (kind[0] & 3) << 4 | (pos[1] & 15) << 8 | (kind[1] & 3) << 12 | (overlap & 3) << 14;
    }
};

struct Contact {
    Point3D p;
    bool refine;
};

}  // namespace

int IntersectInfoType(int code, int first, int* posA, int* posB) {
    int byte = first ? code & 0xFF : (code >> 8) & 0xFF;
    if (posA) *posA = byte & 3;
    if (posB) *posB = (byte >> 2) & 3;
    return (byte >> 4) & 3;
}

int IntersectInfoOverlap(int code) {
    return ((code >> 12) & 3 ? 1 : 0) + ((code >> 4) & 3 ? 1 : 0) + ((code >> 14) & 3);
}

int CsSegment::zIntersectSegment(const CsSegment& b, Point3D& p1, Point3D& p2) const {
    p1.z = kMarkZ;
    p2.z = kMarkZ;
    if (!points || !b.points) return 0;
    SegCircle ca, cb;
    bool arcA = SegArcCircle(*this, ca), arcB = SegArcCircle(b, cb);
    Point3D q1{0, 0, kMarkZ}, q2{0, 0, kMarkZ};
    int n = 0;
    if (!arcA && !arcB) {
        double x, y;
        const Point3D &s = *Head(), &e = *Tail(), &bs = *b.Head(), &be = *b.Tail();
        if (Cross_P(&x, &y, s.x, s.y, e.x, e.y, bs.x, bs.y, be.x, be.y) == 0) {
            q1.x = x;
            q1.y = y;
            n = 1;
        }
    } else if (arcA != arcB) {
        n = arcA ? LineArcCrossings(b, *this, ca, q1, q2) : LineArcCrossings(*this, b, cb, q1, q2);
    } else {
        n = ArcArcCrossings(*this, ca, cb, q1, q2);
    }
    if (n >= 1) {
        p1.x = q1.x;
        p1.y = q1.y;
        p2.x = n == 2 ? q2.x : q1.x;
        p2.y = n == 2 ? q2.y : q1.y;
    }
    return n;
}

namespace {

// Moves a contact onto A: the crossing of copies of A and B whose ends at the contact are pushed
// out by eps (so an end just short of the other segment still crosses it), or the foot on A.
void RefineContact(const CsSegment& a, const CsSegment& b, Point3D& p, int pos, double eps) {
    Point3D pa[3], pb[3];
    std::copy(a.points, a.points + a.PtCount(), pa);
    std::copy(b.points, b.points + b.PtCount(), pb);
    CsSegment a2(pa, a.type), b2(pb, b.type);
    if (pos & kSegPosStartA) pa[0] = a.GetExtendPt(eps, 1);
    if (pos & kSegPosEndA) pa[a.PtCount() - 1] = a.GetExtendPt(eps, 0);
    if (pos & kSegPosStartB) pb[0] = b.GetExtendPt(eps, 1);
    if (pos & kSegPosEndB) pb[b.PtCount() - 1] = b.GetExtendPt(eps, 0);
    Point3D q1, q2;
    int n = a2.zIntersectSegment(b2, q1, q2);
    if (n < 1) {
        p = a2.GetChuizu(p);
        return;
    }
    Point3D q = n == 2 && Dist(q2, p) < Dist(q1, p) ? q2 : q1;
    if (Dist(q, p) > eps) q = a2.GetChuizu(p);
    p = q;
}

}  // namespace

namespace {

// Straight segments whose boxes lie apart by more than every tolerance the tests below apply
// (eps per axis for point contacts, a relative parameter slack for crossings) cannot meet. Most
// candidate pairs end here, before any length or foot is computed.
bool StraightBoxesApart(const CsSegment& a, const CsSegment& b, double eps) {
    const double slack = GetMINI();  // the crossing test's parameter tolerance
    if (!(slack < 0.25)) return false;
    const Point3D &s = a.points[0], &e = a.points[1], &bs = b.points[0], &be = b.points[1];
    const double ax0 = std::min(s.x, e.x), ax1 = std::max(s.x, e.x), ay0 = std::min(s.y, e.y), ay1 = std::max(s.y, e.y);
    const double bx0 = std::min(bs.x, be.x), bx1 = std::max(bs.x, be.x), by0 = std::min(bs.y, be.y),
                 by1 = std::max(bs.y, be.y);
    const double span = (ax1 - ax0) + (ay1 - ay0) + (bx1 - bx0) + (by1 - by0);
    const double margin = std::fabs(eps) + kEpsInner + 2 * std::fabs(slack) * span;
    // Written so that any NaN (coordinates or tolerance) falls through to the full test.
    return ax0 - margin > bx1 || bx0 - margin > ax1 || ay0 - margin > by1 || by0 - margin > ay1;
}

}  // namespace

int CsSegment::IntersectInfo(const CsSegment& b, Point3D& p1, Point3D& p2, double eps) const {
    if (!points || !b.points) return 0;
    if (!Is3PArc() && !b.Is3PArc() && StraightBoxesApart(*this, b, eps)) return 0;
    double tol = eps + kEpsInner;
    bool degA = Length(0) <= tol, degB = b.Length(0) <= tol;
    Slots slots;
    if (degA || degB) {
        Point3D ma = GetMidPt(0), mb = b.GetMidPt(0);
        if (degA && degB) {
            if (!pp_IsOverlap(&ma, &mb, eps)) return 0;
            slots.Put(2, kSegPosStartA, 0);
            slots.Put(2, kSegPosEndB, 0);
            p1 = p2 = {(ma.x + mb.x) / 2, (ma.y + mb.y) / 2, (ma.z + mb.z) / 2};
            return slots.Code();
        }
        if (degA) {
            int r = b.IsOverlapPt(ma, eps);
            if (r == 0) return 0;
            slots.Fill(r, r, r == 2, r == 3);
            p1 = p2 = ma;
        } else {
            int r = IsOverlapPt(mb, eps);
            if (r == 0) return 0;
            slots.Fill(r == 2, r == 3, r, r);
            p1 = p2 = mb;
        }
        return slots.Code();
    }

    const Point3D &s = *Head(), &e = *Tail(), &bs = *b.Head(), &be = *b.Tail();
    int s1 = b.IsOverlapPt(s, eps), s2 = b.IsOverlapPt(e, eps);
    int s3 = IsOverlapPt(bs, eps), s4 = IsOverlapPt(be, eps);
    if (!s1 && !s2 && !s3 && !s4) {
        int n = zIntersectSegment(b, p1, p2);
        if (n > 0) slots.Put(1, 0, 0);
        if (n == 2) slots.Put(1, 0, 1);
        return slots.Code();
    }

    // Points from A are exact; points from B are moved onto A afterwards.
    Contact list[5];
    int count = 0;
    auto add = [&](const Point3D& p, bool refine, int kind, int pos) {
        list[count] = {p, refine};
        slots.Put(kind, pos, count);
        ++count;
    };
    if (s1) add(s, false, s1 == 1 ? 2 : 3, 4 * s1 - 3);
    if (s2) add(e, false, s2 == 1 ? 2 : 3, 4 * s2 - 2);
    if (s3 == 1) add(bs, true, 2, kSegPosStartB);
    if (s4 == 1) add(be, true, 2, kSegPosEndB);

    // An arc can touch at an end and still cross elsewhere; straight pairs cannot.
    if (count == 1 && (Is3PArc() || b.Is3PArc())) {
        Point3D q1, q2;
        int n = zIntersectSegment(b, q1, q2);
        const Point3D& c = list[0].p;
        if (n == 2 && !Near(q1, q2, eps)) {
            add(Dist(q2, c) > Dist(q1, c) ? q2 : q1, true, 1, 0);
        } else if (n >= 1 && !Near(q1, c, eps)) {
            add(q1, true, 1, 0);
        }
    }

    if (count >= 2 && IsSameType(b.type) && (!Is3PArc() || zIsSameCenterAndR(b, eps))) {
        slots.overlap = 1 + (slots.kind[0] == 3) + (slots.kind[1] == 3);
        if (Is3PArc() && slots.kind[0] == 3 && slots.kind[1] == 3) {
            // Same ends on one circle: the same arc, or its complement.
            Point3D ma = GetMidPt(0), mb = b.GetMidPt(0);
            slots.overlap = Near(ma, mb, eps) ? 3 : 0;
        }
    }

    Point3D* out[2] = {&p1, &p2};
    for (int i = 0; i < slots.used; ++i) {
        const Contact& c = list[slots.owner[i]];
        *out[i] = c.p;
        if (c.refine) RefineContact(*this, b, *out[i], slots.pos[i], eps);
    }
    return slots.Code();
}

double CsSegment::GetOverlapLength(const CsSegment& b, double eps) const {
    if (!points || !b.points || !IsSameType(b.type)) return 0.0;
    SegCircle c, cb;
    if (SegArcCircle(*this, c)) {
        // Only arcs of one circle share length.
        if (!SegArcCircle(b, cb) || std::hypot(c.cx - cb.cx, c.cy - cb.cy) > eps || std::abs(c.r - cb.r) > eps)
            return 0.0;
        auto ang = [&](const Point3D& p) { return std::atan2(p.y - c.cy, p.x - c.cx); };
        auto ccw = [](double from, double to) {
            double d = std::fmod(to - from, kTwoPi);
            return d < 0 ? d + kTwoPi : d;
        };
        auto on = [&](double from, double to, double a) {
            return std::abs(ccw(from, a) + ccw(a, to) - ccw(from, to)) <= kEpsInner;
        };
        // Each arc as a counter-clockwise interval [from, to] about A's centre.
        double ends[4];
        const CsSegment* segs[2] = {this, &b};
        for (int k = 0; k < 2; ++k) {
            double a0 = ang(*segs[k]->Head()), am = ang(segs[k]->points[1]), a1 = ang(*segs[k]->Tail());
            if (!on(a0, a1, am)) std::swap(a0, a1);
            ends[2 * k] = a0;
            ends[2 * k + 1] = a1;
        }
        double v[6] = {-kPi, kPi, ends[0], ends[1], ends[2], ends[3]};
        std::sort(v, v + 6);
        double sum = 0.0;
        for (int i = 0; i < 5; ++i) {
            double mid = (v[i] + v[i + 1]) / 2;
            if (on(ends[0], ends[1], mid) && on(ends[2], ends[3], mid)) sum += (v[i + 1] - v[i]) * c.r;
        }
        return sum;
    }
    const Point3D &s = *Head(), &e = *Tail();
    double len = Dist(s, e);
    if (!(len > eps)) return 0.0;
    double ux = (e.x - s.x) / len, uy = (e.y - s.y) / len;
    double t1 = (b.Head()->x - s.x) * ux + (b.Head()->y - s.y) * uy;
    double t2 = (b.Tail()->x - s.x) * ux + (b.Tail()->y - s.y) * uy;
    // Parallel or crossing lines project onto A without sharing any of it.
    double o1 = (b.Head()->x - s.x) * uy - (b.Head()->y - s.y) * ux;
    double o2 = (b.Tail()->x - s.x) * uy - (b.Tail()->y - s.y) * ux;
    if (std::abs(o1) > eps || std::abs(o2) > eps) return 0.0;
    double lo = std::max(0.0, std::min(t1, t2)), hi = std::min(len, std::max(t1, t2));
    return hi > lo ? hi - lo : 0.0;
}

int CsSegment::HasOverlapAndSameDirect(const CsSegment& b, double eps) const {
    Point3D p1, p2;
    int code = IntersectInfo(b, p1, p2, eps);
    if (IntersectInfoOverlap(code) < 3) return 0;
    double da = GetDirection(&p1), db = b.GetDirection(&p1);
    if (std::abs(da - db) <= 0.6) return 3;
    // Directions either side of the zero bearing.
    if (da < db) da += kTwoPi;
    else db += kTwoPi;
    return std::abs(da - db) < 0.6 ? 3 : 1;
}

int CsSegment::IsSame(const CsSegment& b, double eps) const {
    if (!points || !b.points || !IsSameType(b.type)) return 0;
    double t = eps + kEpsInner;
    auto match = [&](const Point3D& p, const Point3D& q) {
        double dx = p.x - q.x, dy = p.y - q.y;
        return std::abs(dx) < t && std::abs(dy) < t && dx * dx + dy * dy < eps * eps + kEpsInner;
    };
    const Point3D &s = *Head(), &e = *Tail(), &bs = *b.Head(), &be = *b.Tail();
    bool same = (match(s, bs) && match(e, be)) || (match(s, be) && match(e, bs));
    if (!same) return 0;
    if (Is3PArc() && !HasOverlapAndSameDirect(b, eps)) return 0;
    return 1;
}

int CsSegment::zIsSameCenterAndR(const CsSegment& b, double eps) const {
    if (!points || !b.points || !IsSameType(b.type)) return 0;
    if (Is3PArc()) {
        SegCircle ca, cb;
        if (!SegArcCircle(*this, ca) || !SegArcCircle(b, cb)) return 0;
        Point3D oa{ca.cx, ca.cy, 0}, ob{cb.cx, cb.cy, 0};
        return std::abs(ca.r - cb.r) < eps && Near(oa, ob, eps) ? 1 : 0;
    }
    const Point3D &s = *Head(), &e = *Tail();
    for (const Point3D* q : {b.Head(), b.Tail()}) {
        Point3D f{0, 0, 0};
        CHUIZU(s.x, s.y, e.x, e.y, q->x, q->y, &f.x, &f.y);
        if (!Near(f, *q, eps)) return 0;
    }
    return 1;
}

double CsSegment::Projection(const CsSegment& b, double eps, std::vector<Point3D>& out) const {
    if (!points || !b.points || !IsSameType(b.type)) return eps + 1000000.0;
    // Start, end, then (arcs) the middle; stored start, middle, end.
    const Point3D* src[3] = {b.Head(), b.Tail(), b.Is3PArc() ? &b.points[1] : nullptr};
    Point3D foot[3];
    double best = std::numeric_limits<double>::infinity();
    for (int i = 0; i < 3 && src[i]; ++i) {
        foot[i] = GetChuizu(*src[i]);
        double d = Dist(foot[i], *src[i]);
        if (!(d <= eps)) return d;
        best = std::min(best, d);
    }
    out.clear();
    out.push_back(foot[0]);
    if (src[2]) out.push_back(foot[2]);
    out.push_back(foot[1]);
    return best;
}

double CsSegment::LnDistance(const CsSegment& b, Point3D& pA, Point3D& pB) const {
    if (!points || !b.points) return 0.0;
    if (IntersectInfo(b, pA, pB, 0.0)) return 0.0;
    double best = std::numeric_limits<double>::infinity();
    auto consider = [&](const Point3D& a, const Point3D& q) {
        double d = Dist(a, q);
        if (d < best) {
            best = d;
            pA = a;
            pB = q;
        }
    };
    Point3D f;
    for (const Point3D* q : {Head(), Tail()}) {
        b.PtDistance(*q, f);
        consider(*q, f);
    }
    for (const Point3D* q : {b.Head(), b.Tail()}) {
        PtDistance(*q, f);
        consider(f, *q);
    }
    // The interior pairs: where the connecting line is normal to both curves.
    SegCircle ca, cb;
    bool arcA = SegArcCircle(*this, ca), arcB = SegArcCircle(b, cb);
    if (arcA && arcB) {
        double dx = cb.cx - ca.cx, dy = cb.cy - ca.cy, d = std::hypot(dx, dy);
        if (d > 0) {
            dx /= d;
            dy /= d;
            for (double sa : {1.0, -1.0})
                for (double sb : {1.0, -1.0}) {
                    Point3D x{ca.cx + sa * ca.r * dx, ca.cy + sa * ca.r * dy, 0};
                    Point3D y{cb.cx + sb * cb.r * dx, cb.cy + sb * cb.r * dy, 0};
                    if (OnArc(ca, x, 0.0) && OnArc(cb, y, 0.0)) consider(x, y);
                }
        }
    } else if (arcA != arcB) {
        const SegCircle& c = arcA ? ca : cb;
        const CsSegment& line = arcA ? b : *this;
        const Point3D &s = *line.Head(), &e = *line.Tail();
        Point3D foot{0, 0, 0};
        CHUIZU(s.x, s.y, e.x, e.y, c.cx, c.cy, &foot.x, &foot.y);
        double d = std::hypot(foot.x - c.cx, foot.y - c.cy);
        double d1 = (foot.x - s.x) * (e.x - s.x) + (foot.y - s.y) * (e.y - s.y);
        double d2 = (foot.x - e.x) * (s.x - e.x) + (foot.y - e.y) * (s.y - e.y);
        if (d > 0 && d1 >= 0 && d2 >= 0) {
            Point3D x{c.cx + (foot.x - c.cx) * c.r / d, c.cy + (foot.y - c.cy) * c.r / d, 0};
            if (OnArc(c, x, 0.0)) {
                if (arcA) consider(x, foot);
                else consider(foot, x);
            }
        }
    }
    return best;
}

double CsSegment::LnDistance(const CsSegment& b) const {
    Point3D pA, pB;
    return LnDistance(b, pA, pB);
}

int SegIntersectSeg(const CsSegment& a, const CsSegment& b, Point3D& p1, Point3D& p2) {
    p1.z = kMarkZ;
    p2.z = kMarkZ;
    if (!a.points || !b.points) return 0;
    Point3D* out[2] = {&p1, &p2};
    int n = 0;
    for (const Point3D* q : {a.Head(), a.Tail()}) {
        int r = b.IsOverlapPt(*q, kEpsInner);
        if (r == 2 || r == 3) {
            out[n]->x = q->x;
            out[n]->y = q->y;
            ++n;
        }
    }
    if (n == 2) return 2;
    SegCircle ca, cb;
    if (!SegArcCircle(a, ca) && !SegArcCircle(b, cb)) {
        if (n == 1) return 1;
        double x, y;
        const Point3D &s = *a.Head(), &e = *a.Tail(), &bs = *b.Head(), &be = *b.Tail();
        if (Cross_P(&x, &y, s.x, s.y, e.x, e.y, bs.x, bs.y, be.x, be.y) < 0) return 0;
        p1.x = x;
        p1.y = y;
        return 1;
    }
    Point3D q[2];
    int m = a.zIntersectSegment(b, q[0], q[1]);
    if (n == 0) {
        if (m >= 1) {
            p1 = q[0];
            p2 = q[m == 2 ? 1 : 0];
        }
        return m;
    }
    for (int i = 0; i < m; ++i) {
        if (Dist(q[i], p1) > kEpsInner) {
            p2.x = q[i].x;
            p2.y = q[i].y;
            return 2;
        }
    }
    return 1;
}

}  // namespace kelo
