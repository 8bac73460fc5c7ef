// Stretches are handled as intervals along a segment: along the straight line, or along the
// circle of an arc. What two collinear segments share is one interval, what two arcs of one circle
// share at most two; the new ends of the pieces left are the other segment's own ends, so that the
// pieces meet it exactly.
#include "overlay/slip_cal.h"

#include <algorithm>
#include <cmath>

#include "relations/segment_arc.h"

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
    double lo, hi;          // along s, from its first end in the frame of Frame()
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

// An arc is handled in its counter-clockwise frame: positions are arc lengths from the end the
// counter-clockwise sweep starts at, whatever the direction the arc is travelled in.
struct ArcFrame {
    detail::SegCircle c;
    double start = 0, sweep = 0;  // counter-clockwise start angle and sweep in (0, 2pi)
    bool reversed = false;        // travelled clockwise
};

constexpr double kTwoPiSlip = 6.283185307179586;

bool Frame(const OwnedSeg& s, ArcFrame& f) {
    if (!s.arc) return false;
    CsSegment v = const_cast<OwnedSeg&>(s).View();
    if (!detail::SegArcCircle(v, f.c) || !(f.c.r > 0)) return false;
    f.reversed = f.c.sweep < 0;
    f.sweep = std::abs(f.c.sweep);
    f.start = f.reversed ? f.c.start + f.c.sweep : f.c.start;
    return true;
}

const Point3D& FirstEnd(const OwnedSeg& s, const ArcFrame* f) { return f && f->reversed ? s.tail() : s.head(); }
const Point3D& LastEnd(const OwnedSeg& s, const ArcFrame* f) { return f && f->reversed ? s.head() : s.tail(); }

double Angle0To2Pi(double a) {
    a = std::fmod(a, kTwoPiSlip);
    return a < 0 ? a + kTwoPiSlip : a;
}

// The stretches of arc s that arc t covers, when both lie on one circle within tol: at most two,
// because t can wrap round past s's far end back onto its near end.
bool SharedArc(const OwnedSeg& s, const ArcFrame& fs, const OwnedSeg& t, double tol, std::vector<Shared>& out) {
    ArcFrame ft;
    if (!Frame(t, ft)) return false;
    if (std::hypot(fs.c.cx - ft.c.cx, fs.c.cy - ft.c.cy) > tol || std::abs(fs.c.r - ft.c.r) > tol) return false;
    const double r = fs.c.r, len = fs.sweep * r;
    if (len <= tol || ft.sweep * r <= tol) return false;
    double d = Angle0To2Pi(ft.start - fs.start) * r;  // where t begins along s
    if (d >= kTwoPiSlip * r - tol) d -= kTwoPiSlip * r;
    const double wt = ft.sweep * r;
    const Point3D &tFirst = FirstEnd(t, &ft), &tLast = LastEnd(t, &ft);
    auto put = [&](double lo, const Point3D& atLo, double hi, const Point3D& atHi) {
        Shared sh;
        sh.lo = lo <= tol ? 0 : lo;
        sh.atLo = lo <= tol ? FirstEnd(s, &fs) : atLo;
        sh.hi = hi >= len - tol ? len : hi;
        sh.atHi = hi >= len - tol ? LastEnd(s, &fs) : atHi;
        if (sh.hi - sh.lo > tol) out.push_back(sh);
    };
    if (d < len) put(std::max(d, 0.0), tFirst, std::min(d + wt, len), tLast);
    if (d + wt > kTwoPiSlip * r) put(0, tFirst, d + wt - kTwoPiSlip * r, tLast);
    return !out.empty();
}

// The stretches of s that t covers: straight pairs collinear within tol, or arcs on one circle.
bool SharedStretches(const OwnedSeg& s, const OwnedSeg& t, double tol, std::vector<Shared>& out) {
    out.clear();
    ArcFrame fs;
    if (s.arc && t.arc && Frame(s, fs)) return SharedArc(s, fs, t, tol, out);
    Shared one;
    if (!SharedStretch(s, t, tol, one)) return false;
    out.push_back(one);
    return true;
}

OwnedSeg Straight(const Point3D& a, const Point3D& b) {
    OwnedSeg o;
    o.p[0] = a;
    o.p[1] = b;
    return o;
}

// The piece of s between positions lo and hi, travelled in s's direction; arcs get their middle
// point on the circle.
OwnedSeg Piece(const OwnedSeg& s, double lo, double hi, const Point3D& a, const Point3D& b) {
    ArcFrame f;
    if (!Frame(s, f)) return Straight(a, b);
    OwnedSeg o;
    o.arc = true;
    const double mid = f.start + (lo + hi) / (2 * f.c.r);
    o.p[0] = f.reversed ? b : a;
    o.p[1] = {f.c.cx + f.c.r * std::cos(mid), f.c.cy + f.c.r * std::sin(mid), (a.z + b.z) / 2};
    o.p[2] = f.reversed ? a : b;
    return o;
}

double Extent(const OwnedSeg& s) {
    ArcFrame f;
    return Frame(s, f) ? f.sweep * f.c.r : LenOf(s);
}

// The pieces of s outside the shared stretches.
std::vector<OwnedSeg> CutOut(const OwnedSeg& s, std::vector<Shared> spans) {
    std::sort(spans.begin(), spans.end(), [](const Shared& a, const Shared& b) { return a.lo < b.lo; });
    ArcFrame f;
    const bool arc = Frame(s, f);
    std::vector<OwnedSeg> out;
    double at = 0;
    Point3D from = FirstEnd(s, arc ? &f : nullptr);
    for (const Shared& sh : spans) {
        if (sh.lo > at) out.push_back(Piece(s, at, sh.lo, from, sh.atLo));
        if (sh.hi > at) {
            at = sh.hi;
            from = sh.atHi;
        }
    }
    const double len = Extent(s);
    if (at < len) out.push_back(Piece(s, at, len, from, LastEnd(s, arc ? &f : nullptr)));
    return out;
}

// The pieces of s inside the shared stretches.
std::vector<OwnedSeg> Inside(const OwnedSeg& s, const std::vector<Shared>& spans) {
    std::vector<OwnedSeg> out;
    for (const Shared& sh : spans) out.push_back(Piece(s, sh.lo, sh.hi, sh.atLo, sh.atHi));
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
    std::vector<Shared> onT, onR;
    for (size_t i = 0; i < n; ++i) {
        if (!alive[i]) continue;
        if (!SharedStretches(segs[i], s, tol, onT)) {
            if (dropUntouched) {
                alive[i] = 0;
                ++changes;
            }
            continue;
        }
        // Cut the stretch out of every remaining piece of the new segment.
        std::vector<OwnedSeg> next;
        for (const OwnedSeg& r : rest) {
            if (SharedStretches(r, segs[i], tol, onR)) {
                for (OwnedSeg& piece : CutOut(r, onR)) next.push_back(piece);
            } else {
                next.push_back(r);
            }
        }
        rest.swap(next);
        if (keep == Keep::All) continue;
        ++changes;
        std::vector<OwnedSeg> pieces = keep == Keep::Inside ? Inside(segs[i], onT) : CutOut(segs[i], onT);
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
