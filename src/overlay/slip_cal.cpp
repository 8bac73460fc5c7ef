// Stretches are handled as intervals along the straight line of a segment: what two collinear
// segments share is one interval, and cutting it out of either leaves at most two pieces, whose
// new ends are the other segment's own ends so that the pieces meet it exactly.
#include "overlay/slip_cal.h"

#include <algorithm>
#include <cmath>

namespace kelo {

namespace {

using detail::OwnedSeg;

double LenOf(const OwnedSeg& s) { return std::hypot(s.tail().x - s.head().x, s.tail().y - s.head().y); }

// Position of p along s (distance from s's head) and its distance from s's line.
void Along(const OwnedSeg& s, const Point3D& p, double& u, double& off) {
    const double len = LenOf(s);
    const double dx = (s.tail().x - s.head().x) / len, dy = (s.tail().y - s.head().y) / len;
    const double px = p.x - s.head().x, py = p.y - s.head().y;
    u = px * dx + py * dy;
    off = std::abs(px * dy - py * dx);
}

struct Shared {
    double lo, hi;          // along s
    Point3D atLo, atHi;     // the points that bound it: s's ends or the other segment's ends
};

// The stretch of s that t covers, when both are straight, collinear within tol and share more than tol.
bool SharedStretch(const OwnedSeg& s, const OwnedSeg& t, double tol, Shared& out) {
    if (s.arc || t.arc) return false;
    const double len = LenOf(s);
    if (len <= tol || LenOf(t) <= tol) return false;
    double u0, o0, u1, o1;
    Along(s, t.head(), u0, o0);
    Along(s, t.tail(), u1, o1);
    if (o0 > tol || o1 > tol) return false;
    Point3D a = t.head(), b = t.tail();
    if (u0 > u1) {
        std::swap(u0, u1);
        std::swap(a, b);
    }
    out.lo = u0 <= tol ? 0 : u0;
    out.atLo = u0 <= tol ? s.head() : a;
    out.hi = u1 >= len - tol ? len : u1;
    out.atHi = u1 >= len - tol ? s.tail() : b;
    return out.hi - out.lo > tol;
}

OwnedSeg Straight(const Point3D& a, const Point3D& b) {
    OwnedSeg o;
    o.p[0] = a;
    o.p[1] = b;
    return o;
}

// The pieces of s outside the shared stretch.
std::vector<OwnedSeg> CutOut(const OwnedSeg& s, const Shared& sh) {
    std::vector<OwnedSeg> out;
    if (sh.lo > 0) out.push_back(Straight(s.head(), sh.atLo));
    if (sh.hi < LenOf(s)) out.push_back(Straight(sh.atHi, s.tail()));
    return out;
}

bool Equal(const OwnedSeg& a, const OwnedSeg& b, double tol) {
    CsSegment va = const_cast<OwnedSeg&>(a).View(), vb = const_cast<OwnedSeg&>(b).View();
    return a.arc == b.arc && va.IsSame(vb, tol) != 0;
}

OwnedSeg Own(const CsSegment& seg) {
    OwnedSeg o;
    o.arc = seg.Is3PArc();
    for (int k = 0; k < seg.PtCount(); ++k) o.p[k] = seg.points[k];
    return o;
}

}  // namespace

CSlipCal::CSlipCal(const Box& box) : m_box(box) {}

int CSlipCal::AddpLine(const CsSegment* seg) {
    if (!seg || !seg->points) return 0;
    m_segs.push_back(Own(*seg));
    m_alive.push_back(1);
    return 1;
}

int CSlipCal::GetSegmentAt(int i, CsSegment& out) {
    if (i < 0 || i >= GetSegmentCount() || !m_alive[static_cast<size_t>(i)]) return 0;
    out = m_segs[static_cast<size_t>(i)].View();
    return 1;
}

int CSlipCal::ClearZeroLine() {
    size_t w = 0;
    for (size_t i = 0; i < m_segs.size(); ++i)
        if (m_alive[i]) {
            m_segs[w] = m_segs[i];
            m_alive[w++] = 1;
        }
    const int dropped = static_cast<int>(m_segs.size() - w);
    m_segs.resize(w);
    m_alive.resize(w);
    return dropped;
}

namespace {

// What happens to an entered segment that shares a stretch with the new one.
enum class Keep { All, Outside, Inside };

}  // namespace

// The common engine of the Over forms: entered segments keep all, the outside or the inside of
// the new segment; the new segment's uncovered pieces are added when addRest is set.
static int Combine(std::vector<OwnedSeg>& segs, std::vector<char>& alive, const OwnedSeg& s, double tol, Keep keep,
                   bool addRest, bool dropUntouched) {
    int changes = 0;
    std::vector<OwnedSeg> rest{s};
    const size_t n = segs.size();
    for (size_t i = 0; i < n; ++i) {
        if (!alive[i]) continue;
        Shared onT;
        const bool shares = SharedStretch(segs[i], s, tol, onT) || (s.arc && segs[i].arc && Equal(segs[i], s, tol));
        if (!shares) {
            if (dropUntouched) {
                alive[i] = 0;
                ++changes;
            }
            continue;
        }
        // Cut the stretch out of every remaining piece of the new segment.
        std::vector<OwnedSeg> next;
        for (const OwnedSeg& r : rest) {
            Shared onR;
            if (r.arc && Equal(r, segs[i], tol)) continue;
            if (SharedStretch(r, segs[i], tol, onR)) {
                for (OwnedSeg& piece : CutOut(r, onR)) next.push_back(piece);
            } else {
                next.push_back(r);
            }
        }
        rest.swap(next);
        if (keep == Keep::All) continue;
        ++changes;
        if (segs[i].arc) {  // an equal arc is covered whole
            if (keep == Keep::Outside) alive[i] = 0;
            continue;
        }
        if (keep == Keep::Inside) {
            segs[i] = Straight(onT.atLo, onT.atHi);
            continue;
        }
        std::vector<OwnedSeg> pieces = CutOut(segs[i], onT);
        if (pieces.empty()) {
            alive[i] = 0;
            continue;
        }
        segs[i] = pieces[0];
        for (size_t k = 1; k < pieces.size(); ++k) {
            segs.push_back(pieces[k]);
            alive.push_back(1);
        }
    }
    if (addRest)
        for (const OwnedSeg& r : rest) {
            segs.push_back(r);
            alive.push_back(1);
            ++changes;
        }
    return changes;
}

int CSlipCal::OrOverLine(const CsSegment& seg, double tol) {
    if (!seg.points) return 0;
    return Combine(m_segs, m_alive, Own(seg), tol, Keep::All, true, false);
}

int CSlipCal::XorOverLine(const CsSegment& seg, double tol) {
    if (!seg.points) return 0;
    return Combine(m_segs, m_alive, Own(seg), tol, Keep::Outside, true, false);
}

int CSlipCal::DiffOverLine(const CsSegment& seg, double tol) {
    if (!seg.points) return 0;
    return Combine(m_segs, m_alive, Own(seg), tol, Keep::Outside, false, false);
}

int CSlipCal::AndOverLine(const CsSegment& seg, double tol) {
    if (!seg.points) return 0;
    return Combine(m_segs, m_alive, Own(seg), tol, Keep::Inside, false, true);
}

int CSlipCal::OrEqualLine(const CsSegment& seg, double tol) {
    if (!seg.points) return 0;
    const OwnedSeg s = Own(seg);
    for (size_t i = 0; i < m_segs.size(); ++i)
        if (m_alive[i] && Equal(m_segs[i], s, tol)) return 0;
    m_segs.push_back(s);
    m_alive.push_back(1);
    return 1;
}

int CSlipCal::XorEqualLine(const CsSegment& seg, double tol) {
    if (!seg.points) return 0;
    const OwnedSeg s = Own(seg);
    for (size_t i = 0; i < m_segs.size(); ++i)
        if (m_alive[i] && Equal(m_segs[i], s, tol)) {
            m_alive[i] = 0;
            return 1;
        }
    m_segs.push_back(s);
    m_alive.push_back(1);
    return 1;
}

int CSlipCal::DiffEqualLine(const CsSegment& seg, double tol) {
    if (!seg.points) return 0;
    const OwnedSeg s = Own(seg);
    int changes = 0;
    for (size_t i = 0; i < m_segs.size(); ++i)
        if (m_alive[i] && Equal(m_segs[i], s, tol)) {
            m_alive[i] = 0;
            ++changes;
        }
    return changes;
}

}  // namespace kelo
