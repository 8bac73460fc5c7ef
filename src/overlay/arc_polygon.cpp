// Faces are traced on half-edges: leaving a node, a face boundary turns onto the next edge
// clockwise from the one it arrived by, so every bounded face is walked counter-clockwise and
// every separate piece's outside clockwise. Edges walked on both sides by one cycle bound no area
// (dangles, bridges) and are taken out before the final trace, so that a ring hanging off another
// by a bridge becomes a proper hole. Outside cycles then become holes of the smallest face of
// another piece that contains them, or rings of the unbounded face.
#include "overlay/arc_polygon.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <numeric>

#include "geometry/buckets.h"
#include "geometry/circle_arc.h"
#include "geometry/geometry_object.h"
#include "geometry/gmobject_detail.h"
#include "geometry/tolerance.h"
#include "platform/huge_pages.h"

namespace kelo {

using detail::HugeVector;
using detail::OwnedSeg;
using detail::ReserveHuge;

namespace {

constexpr double kPi = 3.14159265358979323846;
inline double Length2(const Point3D& u, const Point3D& v) { return (v.x - u.x) * (v.x - u.x) + (v.y - u.y) * (v.y - u.y); }

// Directions closer than this are one direction: the difference is rounding.
constexpr double kTangentAngle = 1e-9;

using detail::HalfDir;
constexpr HalfDir kNoDir{std::numeric_limits<double>::quiet_NaN(), 0.0};

HalfDir Leaving(const OwnedSeg& s, bool forward) {
    const Point3D& from = forward ? s.head() : s.tail();
    double cx, cy, r;
    if (s.arc && Circle3P(s.p[0].x, s.p[0].y, s.p[1].x, s.p[1].y, s.p[2].x, s.p[2].y, cx, cy, r)) {
        // Travelling head -> tail with the middle right of the chord goes counter-clockwise.
        const double side = (s.tail().x - s.head().x) * (s.p[1].y - s.head().y) -
                            (s.tail().y - s.head().y) * (s.p[1].x - s.head().x);
        bool ccw = side < 0;
        if (!forward) ccw = !ccw;
        const double rx = from.x - cx, ry = from.y - cy;
        const double tx = ccw ? -ry : ry, ty = ccw ? rx : -rx;
        return {std::atan2(ty, tx), (ccw ? 1.0 : -1.0) / r};
    }
    const Point3D& to = forward ? s.tail() : s.head();
    return {std::atan2(to.y - from.y, to.x - from.x), 0.0};
}

// The ring of a cycle: runs of one kind, consecutive runs sharing their joining point (as a chain
// of segments becomes a line), written straight into the ring's arrays; a million-edge cycle
// would otherwise be copied into a chain, a point list and a run before it reaches the ring.
keloParts RingOf(const std::vector<OwnedSeg>& edges, const std::vector<int>& halves) {
    keloParts ring;
    if (halves.empty()) return ring;
    std::vector<std::pair<bool, uint32_t>> runs;  // kind and point count
    for (int h : halves) {
        const bool arc = edges[static_cast<size_t>(h / 2)].arc;
        if (runs.empty() || runs.back().first != arc) runs.emplace_back(arc, 1);
        runs.back().second += arc ? 2 : 1;
    }
    auto* parts = new CurveSegment[runs.size()];
    for (size_t r = 0; r < runs.size(); ++r)
        parts[r] = {runs[r].first ? klLT3PArc : klLTPolyline, runs[r].second, new Point3D[runs[r].second]};
    size_t r = 0, k = 0;
    for (int h : halves) {
        const OwnedSeg& s = edges[static_cast<size_t>(h / 2)];
        const bool back = h % 2;
        if (k == runs[r].second) {
            const Point3D last = parts[r].points[k - 1];
            parts[++r].points[0] = last;
            k = 1;
        }
        if (k == 0) parts[r].points[k++] = back ? s.tail() : s.head();
        if (s.arc) parts[r].points[k++] = s.p[1];
        parts[r].points[k++] = back ? s.head() : s.tail();
    }
    ring.Attach(static_cast<int>(runs.size()), parts);
    return ring;
}

// Signed area of a cycle (counter-clockwise positive) and its box, summed over its straight
// half-edges the way a ring's area is, so that no ring is built only to be measured; a cycle with
// arcs is measured as a ring.
double CycleArea(const std::vector<OwnedSeg>& edges, const std::vector<int>& halves, Box& box) {
    if (halves.empty()) return 0;
    const OwnedSeg& s0 = edges[static_cast<size_t>(halves[0] / 2)];
    const Point3D o = halves[0] % 2 ? s0.tail() : s0.head();
    double twice = 0;
    double x0 = o.x, x1 = o.x, y0 = o.y, y1 = o.y;
    for (int h : halves) {
        const OwnedSeg& s = edges[static_cast<size_t>(h / 2)];
        if (s.arc) {
            const keloParts ring = RingOf(edges, halves);
            box = ring.GetBox();
            return ring.GetArea();
        }
        const Point3D &a = h % 2 ? s.tail() : s.head(), &b = h % 2 ? s.head() : s.tail();
        twice += (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
        x0 = std::min(x0, b.x), x1 = std::max(x1, b.x), y0 = std::min(y0, b.y), y1 = std::max(y1, b.y);
    }
    box = Box(x0, y0, x1, y1);
    return twice / 2;
}

// Sorts v by insertion while that stays cheap (each element moving a few dozen places on
// average so far), else by std::sort.
template <class T, class Less>
void SortNearlySorted(std::vector<T>& v, Less less) {
    size_t moves = 0;
    for (size_t i = 1; i < v.size(); ++i) {
        if (!less(v[i], v[i - 1])) continue;
        const T x = v[i];
        size_t j = i;
        for (; j > 0 && less(x, v[j - 1]); --j) v[j] = v[j - 1];
        v[j] = x;
        moves += i - j;
        if (moves > 64 * (i + 1024)) {
            std::sort(v.begin(), v.end(), less);
            return;
        }
    }
}

// Cycles longer than this get a band index when a point is tested against them.
constexpr size_t kBandedCycle = 64;

// Point-in-face for long outer cycles: the half-edges sorted into horizontal bands, so that a
// crossing count looks only at the edges of the point's band. The points tested lie on other
// pieces of the arrangement, never on the cycle itself, so the plain count is exact enough; an
// arc that may cross the ray leaves the decision to the general ring test.
class CycleBands {
public:
    bool Empty() const { return m_start.empty(); }

    // The edges of band k are m_items[m_start[k]] to m_items[m_start[k + 1]]: one array for all
    // bands, filled after counting, rather than a list per band. The edges come by following the
    // cycle (follow(add) calls add(edge) for each): cycles holding a good share of all edges go
    // to InsideAll instead. The crossing count does not depend on the order of the edges.
    template <class Follow>
    void Build(size_t length, const Box& box, Follow follow, const std::vector<OwnedSeg>& edges) {
        Divide(length, box);
        struct Span {
            uint32_t edge, k0, k1;
        };
        KeptVector<Span> spans;
        ReserveHuge(spans, length);
        m_start.assign(m_count + 1, 0);
        follow([&](size_t e) {
            const OwnedSeg& s = edges[e];
            Box ab;
            spans.push_back({static_cast<uint32_t>(e), static_cast<uint32_t>(Band(Low(s, ab))), static_cast<uint32_t>(Band(High(s, ab)))});
            for (size_t k = spans.back().k0; k <= spans.back().k1; ++k) ++m_start[k + 1];
        });
        for (size_t k = 0; k < m_count; ++k) m_start[k + 1] += m_start[k];
        ReserveHuge(m_items, m_start.back());
        m_items.resize(m_start.back());
        std::vector<uint32_t> fill(m_start.begin(), m_start.end() - 1);
        for (const Span& sp : spans)
            for (size_t k = sp.k0; k <= sp.k1; ++k) m_items[fill[k]++] = sp.edge;
    }

    // 1 inside, 0 outside, -1 undecided.
    int Inside(const std::vector<OwnedSeg>& edges, const Point3D& p) const {
        bool in = false;
        const size_t band = Band(p.y);
        for (uint32_t i = m_start[band]; i < m_start[band + 1]; ++i) {
            const OwnedSeg& s = edges[m_items[i]];
            if (s.arc) {
                const Box ab = const_cast<OwnedSeg&>(s).View().GetBox();
                if (ab.miny <= p.y && ab.maxy >= p.y && ab.maxx >= p.x) return -1;
                continue;
            }
            const Point3D &a = s.head(), &b = s.tail();
            if ((a.y > p.y) == (b.y > p.y)) continue;
            if (a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y) > p.x) in = !in;
        }
        return in;
    }

    // Inside for several points at once, for a cycle holding a good share of all edges, which
    // Build would gather by going through the whole edge array: the same pass answers the points
    // whose band each edge spans, instead of sorting every edge into its bands first.
    template <class InCycle>
    void InsideAll(size_t length, const Box& box, InCycle inCycle, const std::vector<OwnedSeg>& edges,
                   const std::vector<Point3D>& points, std::vector<int8_t>& answers) {
        Divide(length, box);
        const size_t q = points.size();
        // The points by band, in a coarse index of a few buckets per point.
        std::vector<size_t> band(q);
        for (size_t i = 0; i < q; ++i) band[i] = Band(points[i].y);
        int shift = 0;
        while ((m_count >> shift) > 4 * q + 4) ++shift;
        const size_t coarse = (m_count >> shift) + 1;
        std::vector<uint32_t> start(coarse + 1, 0), items(q);
        for (size_t i = 0; i < q; ++i) ++start[(band[i] >> shift) + 1];
        for (size_t k = 0; k < coarse; ++k) start[k + 1] += start[k];
        {
            std::vector<uint32_t> fill(start.begin(), start.end() - 1);
            for (size_t i = 0; i < q; ++i) items[fill[band[i] >> shift]++] = static_cast<uint32_t>(i);
        }
        std::vector<char> in(q, 0), undecided(q, 0);
        for (size_t e = 0; e < edges.size(); ++e) {
            if (!inCycle(e)) continue;
            const OwnedSeg& s = edges[e];
            Box ab;
            const size_t k0 = Band(Low(s, ab)), k1 = Band(High(s, ab));
            for (size_t cb = k0 >> shift; cb <= k1 >> shift; ++cb)
                for (uint32_t t = start[cb]; t < start[cb + 1]; ++t) {
                    const size_t i = items[t];
                    if (band[i] < k0 || band[i] > k1) continue;
                    const Point3D& p = points[i];
                    if (s.arc) {
                        if (ab.miny <= p.y && ab.maxy >= p.y && ab.maxx >= p.x) undecided[i] = 1;
                        continue;
                    }
                    const Point3D &a = s.head(), &b = s.tail();
                    if ((a.y > p.y) == (b.y > p.y)) continue;
                    if (a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y) > p.x) in[i] ^= 1;
                }
        }
        answers.resize(q);
        for (size_t i = 0; i < q; ++i) answers[i] = static_cast<int8_t>(undecided[i] ? -1 : in[i]);
    }

private:
    // The lowest and highest y of an edge; an arc's box is put in ab by Low.
    static double Low(const OwnedSeg& s, Box& ab) {
        if (!s.arc) return std::min(s.head().y, s.tail().y);
        ab = const_cast<OwnedSeg&>(s).View().GetBox();
        return ab.miny;
    }
    static double High(const OwnedSeg& s, const Box& ab) { return s.arc ? ab.maxy : std::max(s.head().y, s.tail().y); }
    void Divide(size_t length, const Box& box) {
        m_count = std::max<size_t>(length / 4, 1);
        m_y0 = box.miny;
        m_h = std::max(box.maxy - box.miny, 1e-300) / double(m_count);
    }
    size_t Band(double y) const { return detail::BucketOf((y - m_y0) / m_h, m_count); }

    double m_y0 = 0, m_h = 1;
    size_t m_count = 0;
    std::vector<uint32_t> m_start;
    KeptVector<uint32_t> m_items;
};

}  // namespace

template <class F>
bool CKeloMakeArcPolygon::EachHalf(size_t r, F&& fn) const {
    for (uint32_t i = m_ringStart[r]; i < m_ringStart[r + 1]; ++i) {
        const Piece& p = m_pieces[i];
        const uint32_t s0 = m_chainStart[p.d / 2], s1 = m_chainStart[p.d / 2 + 1];
        if (p.d % 2) {
            for (uint32_t k = p.k0; k < p.k0 + p.n; ++k)
                if (!fn(m_chainHalves[s1 - 1 - k] ^ 1)) return false;
        } else {
            for (uint32_t k = p.k0; k < p.k0 + p.n; ++k)
                if (!fn(m_chainHalves[s0 + k])) return false;
        }
    }
    return true;
}

void CKeloMakeArcPolygon::RingHalves(size_t r, std::vector<int>& halves) const {
    size_t n = 0;
    for (uint32_t i = m_ringStart[r]; i < m_ringStart[r + 1]; ++i) n += m_pieces[i].n;
    halves.clear();
    halves.reserve(n);
    EachHalf(r, [&](int h) {
        halves.push_back(h);
        return true;
    });
}

CKeloMakeArcPolygon::CKeloMakeArcPolygon() : m_eps(g_epsZero) {}
CKeloMakeArcPolygon::CKeloMakeArcPolygon(double eps) : m_eps(eps) {}

void CKeloMakeArcPolygon::Reserve(size_t n) { ReserveHuge(m_edges, m_edges.size() + n); }

void CKeloMakeArcPolygon::Add(const CsSegment& seg) {
    if (!seg.points) return;
    OwnedSeg o;
    o.arc = seg.Is3PArc();
    for (int k = 0; k < seg.PtCount(); ++k) o.p[k] = seg.points[k];
    m_edges.push_back(o);
    m_nodesFrom = nullptr;
}

void CKeloMakeArcPolygon::Add(int count, const CsSegment* segs) {
    for (int i = 0; segs && i < count; ++i) Add(segs[i]);
}

void CKeloMakeArcPolygon::AddArc(const keloPoints* run) {
    if (run) AddRun(*run);
}

void CKeloMakeArcPolygon::AddRun(const CurveSegment& run) {
    CurveSegment& r = const_cast<CurveSegment&>(run);  // the segment views only read it
    const int n = GetSegmentCount(static_cast<int>(r.pointCount), r.lineType);
    for (int i = 0; i < n; ++i) Add(CsSegment(&r, i));
}

void CKeloMakeArcPolygon::AddGeometry(const GM_Object* object) {
    if (!object) return;
    detail::ForEachOriginalParts(*object, [&](int, const keloParts& line, bool) {
        for (int s = 0; s < line.GetPartsCount(); ++s) AddArc(line.GetOriginalPointsAt(s));
    });
}

// Noded straight edges come ordered by their first ends, and an edge's last end is nearly always
// the first end of an edge a few dozen places on: it is looked up in a small table of the first
// ends just read, instead of sorting every last end. Those not found there are searched for
// among all first ends; the ones that are no edge's first end (a ring's easternmost points) are
// few, and sorted apart. m_node doubles as scratch meanwhile: m_node[2j] holds the last of the
// edges whose last end is first end j (-1 none, -2 where first end j equals first end j - 1 and
// so joins its node), m_node[2e + 1] the next such edge.
template <class Group>
bool CKeloMakeArcPolygon::NumberSortedEnds(Group&& group) {
    const size_t ne = m_edges.size();
    m_node = HugeVector<int>(2 * ne, -1);
    m_nodeCount = 0;
    auto finite = [](const Point3D& p) { return std::isfinite(p.x) && std::isfinite(p.y); };
    auto before = [](const Point3D& p, const Point3D& q) { return p.x < q.x || (p.x == q.x && p.y < q.y); };
    auto same = [](const Point3D& p, const Point3D& q) { return p.x == q.x && p.y == q.y; };
    // The table holds the first of each run of equal first ends, read kAhead places ahead of the
    // last ends looked up; a slot keeps the latest point hashed to it.
    constexpr size_t kAhead = 256;
    constexpr int kBits = 14;
    std::vector<int> recent(size_t{1} << kBits, -1);
    auto slotOf = [](const Point3D& p) {
        const double x = p.x + 0.0, y = p.y + 0.0;  // -0 and 0 are one point
        uint64_t bx, by;
        std::memcpy(&bx, &x, sizeof bx);
        std::memcpy(&by, &y, sizeof by);
        return static_cast<size_t>(((bx * 0x9E3779B97F4A7C15ull) ^ (by * 0xC2B2AE3D27D4EB4Full)) >> (64 - kBits));
    };
    const Point3D* last = nullptr;
    auto admit = [&](size_t j) {
        const Point3D& h = m_edges[j].head();
        if (!finite(h) || (last && before(h, *last))) return false;
        if (last && same(h, *last)) m_node[2 * j] = -2;
        else recent[slotOf(h)] = static_cast<int>(j);
        last = &h;
        return true;
    };
    for (size_t j = 0; j < std::min(kAhead, ne); ++j)
        if (!admit(j)) return false;
    struct Lone {
        double x, y;
        size_t k, slot;
    };
    std::vector<Lone> lone;
    for (size_t e = 0; e < ne; ++e) {
        if (e + kAhead < ne && !admit(e + kAhead)) return false;
        const Point3D& t = m_edges[e].tail();
        if (!finite(t)) return false;
        const int r = recent[slotOf(t)];
        size_t j = static_cast<size_t>(r);
        if (r < 0 || !same(m_edges[j].head(), t)) {
            // The first first end not before t, galloping out from e.
            auto headBefore = [&](size_t i) { return before(m_edges[i].head(), t); };
            size_t lo, hi;
            if (headBefore(e)) {
                lo = e + 1, hi = ne;
                for (size_t step = 1; lo + step - 1 < ne; step *= 2) {
                    const size_t probe = lo + step - 1;
                    if (!headBefore(probe)) {
                        hi = probe;
                        break;
                    }
                    lo = probe + 1;
                }
            } else {
                lo = 0, hi = e;
                for (size_t step = 1; step <= hi; step *= 2) {
                    const size_t probe = hi - step;
                    if (headBefore(probe)) {
                        lo = probe + 1;
                        break;
                    }
                    hi = probe;
                }
            }
            while (lo < hi) {
                const size_t mid = lo + (hi - lo) / 2;
                if (headBefore(mid)) lo = mid + 1;
                else hi = mid;
            }
            j = lo;
            if (j == ne || !same(m_edges[j].head(), t)) {
                lone.push_back({t.x, t.y, 2 * e + 1, j});
                continue;
            }
        }
        m_node[2 * e + 1] = m_node[2 * j];
        m_node[2 * j] = static_cast<int>(e);
    }
    std::sort(lone.begin(), lone.end(), [](const Lone& p, const Lone& q) { return p.x < q.x || (p.x == q.x && p.y < q.y); });
    std::vector<int> members;  // the half-edges of the node being numbered
    auto close = [&] {
        if (members.empty()) return;
        group(members.data(), members.size(), m_nodeCount++);
        members.clear();
    };
    auto join = [&](size_t k) {
        m_node[k] = static_cast<int>(m_nodeCount);
        members.push_back(static_cast<int>(k));
    };
    size_t li = 0;
    for (size_t j = 0; j <= ne; ++j) {
        for (; li < lone.size() && lone[li].slot == j; ++li) {
            if (li == 0 || lone[li].x != lone[li - 1].x || lone[li].y != lone[li - 1].y) close();
            join(lone[li].k);
        }
        if (j == ne) break;
        int e = m_node[2 * j];
        if (e != -2) close();
        join(2 * j);
        while (e >= 0) {
            const int next = m_node[2 * static_cast<size_t>(e) + 1];
            join(2 * static_cast<size_t>(e) + 1);
            e = next;
        }
    }
    close();
    return true;
}

// Walking a chain is a chase from one half-edge to the next through arrays far larger than the
// cache, each step waiting for the last. Several walks are interleaved instead, so that their
// fetches overlap: the next chain ends in turn (and a closed run from both ends at once), each
// walk stopping where it meets another, which is then the same chain walked from its other end.
// Chains are numbered and stored as if walked one after the other: each from the first of its
// ends in turn, closed runs from their least edge. A walk only marks each edge it takes with the
// walk and the place; the chains' half-edges are put in place by one pass over the edges after.
size_t CKeloMakeArcPolygon::WalkChains(const std::vector<int>& cont, const std::vector<uint32_t>& branchStart,
                                       const std::vector<int>& branchHalves, std::vector<uint32_t>& endAt) {
    const size_t ne = m_edges.size();
    struct Mark {
        int walk;  // 2w + (h & 1) for walk w taking half-edge h of the edge; -1 before
        uint32_t at;
    };
    KeptVector<Mark> mark = HugeVector<Mark>(ne, Mark{-1, 0});
    struct Walk {
        int first, next;  // its first half-edge, and the one to take next (~b at branch node b)
        uint32_t length = 0;
        int met = -1;  // the walk it met
        uint32_t from = 0;  // the branch node it left
        bool done = false, absorbed = false, back = false;
        uint32_t chain = 0, base = 0, end = 0;  // where its chain's half-edges go
    };
    std::vector<Walk> walks;
    constexpr size_t kWalks = 8;
    uint32_t slot[kWalks];
    size_t active = 0;
    size_t settled = 0;
    auto start = [&](int g, uint32_t from) {
        if (mark[static_cast<size_t>(g / 2)].walk >= 0) return false;
        const uint32_t w = static_cast<uint32_t>(walks.size());
        Walk k;
        k.first = g;
        k.next = cont[static_cast<size_t>(g)];
        k.length = 1;
        k.from = from;
        walks.push_back(k);
        mark[static_cast<size_t>(g / 2)] = {static_cast<int>(2 * w) + (g & 1), 0};
        slot[active++] = w;
        return true;
    };
    // Steps the active walks in turn until fewer than most are left.
    auto run = [&](size_t most) {
        while (active >= most && active > 0) {
            for (int rep = 0; rep < 16; ++rep)
                for (size_t i = 0; i < active; ++i) {
                    const uint32_t w = slot[i];
                    Walk& k = walks[w];
                    const int h = k.next;
                    if (h < 0 || k.done) {
                        k.done = true;
                        continue;
                    }
                    Mark& m = mark[static_cast<size_t>(h / 2)];
                    if (m.walk >= 0) {
                        k.done = true;
                        k.met = m.walk >> 1;
                        continue;
                    }
                    m = {static_cast<int>(2 * w) + (h & 1), k.length++};
                    k.next = cont[static_cast<size_t>(h)];
                }
            size_t kept = 0;
            for (size_t i = 0; i < active; ++i)
                if (!walks[slot[i]].done) slot[kept++] = slot[i];
            active = kept;
        }
    };
    // Numbers the chains of the finished walks, in the order of the walks.
    uint32_t stored = 0;
    auto settle = [&](bool isOpen) {
        for (; settled < walks.size(); ++settled) {
            Walk& k = walks[settled];
            if (!k.done) return;
            if (k.absorbed) continue;
            Walk* other = nullptr;
            if (k.met >= 0 && static_cast<size_t>(k.met) != settled) {
                other = &walks[static_cast<size_t>(k.met)];
                if (!other->done) return;
                other->absorbed = true;
            }
            const uint32_t c = static_cast<uint32_t>(m_chainStart.size() - 1);
            const uint32_t end = stored + k.length + (other ? other->length : 0);
            k.chain = c, k.base = stored, k.end = end;
            if (other) other->chain = c, other->back = true, other->base = stored, other->end = end;
            stored = end;
            m_chainStart.push_back(end);
            if (isOpen) {
                endAt.push_back(k.from);
                endAt.push_back(static_cast<uint32_t>(other ? ~cont[static_cast<size_t>(other->first ^ 1)] : ~k.next));
            }
        }
    };
    uint32_t b = 0;
    for (size_t k = 0; k < branchHalves.size(); ++k) {
        while (branchStart[b + 1] <= k) ++b;
        if (!start(branchHalves[k], b)) continue;
        run(kWalks);
        settle(true);
    }
    run(1);
    settle(true);
    const size_t open = m_chainStart.size() - 1;
    for (size_t e = 0; e < ne; ++e) {
        if (mark[e].walk >= 0) continue;
        start(static_cast<int>(2 * e), 0);
        start(cont[2 * e + 1], 0);
        run(1);
        settle(false);
    }
    m_chainHalves.resize(ne);
    std::vector<int>& chainOf = m_chainOf;
    for (size_t e = 0; e < ne; ++e) {
        const Mark m = mark[e];
        const Walk& k = walks[static_cast<size_t>(m.walk >> 1)];
        const int bit = (m.walk & 1) ^ static_cast<int>(k.back);
        m_chainHalves[k.back ? k.end - 1 - m.at : k.base + m.at] = static_cast<int>(2 * e) + bit;
        chainOf[e] = static_cast<int>(2 * k.chain) + bit;
    }
    return open;
}

int CKeloMakeArcPolygon::Solve(bool) {
    m_faceRings.clear();
    m_faceStart.clear();
    m_clear.clear();
    if (!m_noded) detail::NodeSegments(m_edges, 0, m_eps);
    const size_t ne = m_edges.size();
    // Edges taken over from a solved builder keep its nodes: the same edges give the same nodes,
    // and finding them costs a sort of every end.
    const bool given = m_noded && m_nodesFrom && m_node.size() == 2 * ne;
    // Where a node has two half-edges, the walk arriving by one leaves by the other: cont[h] is
    // that one for h arriving at such a node, ~b where h arrives at branch node b (one edge, or
    // more than two). Branch node b (node branch[b]) has the half-edges
    // branchHalves[branchStart[b]] to branchHalves[branchStart[b + 1]], in increasing order.
    KeptVector<int> cont = HugeVector<int>(2 * ne);
    std::vector<uint32_t> branch, branchStart{0};
    std::vector<int> branchHalves;
    auto group = [&](int* g, size_t n, size_t v) {
        if (n == 2) {
            cont[static_cast<size_t>(g[0] ^ 1)] = g[1];
            cont[static_cast<size_t>(g[1] ^ 1)] = g[0];
            return;
        }
        std::sort(g, g + n);
        for (size_t k = 0; k < n; ++k) {
            cont[static_cast<size_t>(g[k] ^ 1)] = ~static_cast<int>(branch.size());
            branchHalves.push_back(g[k]);
        }
        branch.push_back(static_cast<uint32_t>(v));
        branchStart.push_back(static_cast<uint32_t>(branchHalves.size()));
    };
    // After noding, ends that meet are equal: equal ends get one node id, ids going up in the
    // order of the points (x, then y).
    if (!given && !NumberSortedEnds(group)) {
        m_node = HugeVector<int>(2 * ne);
        m_nodeCount = 0;
        struct End {
            double x, y;
            size_t k;
        };
        auto before = [](const End& p, const End& q) { return p.x < q.x || (p.x == q.x && p.y < q.y); };
        auto endOf = [&](size_t k) {
            const Point3D& p = k % 2 ? m_edges[k / 2].tail() : m_edges[k / 2].head();
            return End{p.x, p.y, k};
        };
        // Noded edges come ordered by their first ends: then only the other ends need sorting,
        // and the two orders are merged. Anything else (arcs, which the noding puts after the
        // straight edges; points that are not finite) has all ends sorted together. The other
        // ends are gathered in the pass that checks the first ends' order; edges being short
        // next to the arrangement, they nearly keep that order, and insertion moves each only a
        // few places.
        bool headsInOrder = true;
        KeptVector<End> order;
        ReserveHuge(order, ne);
        for (size_t e = 0; e < ne && headsInOrder; ++e) {
            const End h = endOf(2 * e);
            headsInOrder = std::isfinite(h.x) && std::isfinite(h.y) && (e == 0 || !before(h, endOf(2 * (e - 1))));
            order.push_back(endOf(2 * e + 1));
        }
        if (headsInOrder) {
            SortNearlySorted(order, before);
        } else {
            order = HugeVector<End>(2 * ne);
            for (size_t i = 0; i < order.size(); ++i) order[i] = endOf(i);
            std::sort(order.begin(), order.end(), before);
        }
        bool first = true;
        End last{};
        std::vector<int> members;  // the half-edges of the node being numbered
        auto number = [&](const End& p) {
            if (!first && (p.x != last.x || p.y != last.y)) {
                group(members.data(), members.size(), m_nodeCount++);
                members.clear();
            }
            first = false;
            last = p;
            m_node[p.k] = static_cast<int>(m_nodeCount);
            members.push_back(static_cast<int>(p.k));
        };
        if (headsInOrder) {
            size_t e = 0, t = 0;
            while (e < ne || t < order.size()) {
                if (t == order.size() || (e < ne && !before(order[t], endOf(2 * e)))) number(endOf(2 * e++));
                else number(order[t++]);
            }
        } else {
            for (const End& p : order) number(p);
        }
        if (!first) group(members.data(), members.size(), m_nodeCount++);
    }
    m_nodesFrom = this;
    const size_t nn = m_nodeCount;
    const std::vector<int>& from = m_node;

    if (given) {
        // Most nodes have two half-edges, paired as they come; the others' half-edges are gathered
        // and handed over node by node, in increasing order.
        std::vector<uint8_t> count(nn, 0);
        for (size_t h = 0; h < 2 * ne; ++h) {
            uint8_t& n = count[static_cast<size_t>(from[h])];
            n = static_cast<uint8_t>(n + (n < 3));
        }
        KeptVector<int> seen = HugeVector<int>(nn, -1);
        std::vector<std::pair<int, int>> others;  // node and half-edge
        for (size_t h = 0; h < 2 * ne; ++h) {
            const size_t v = static_cast<size_t>(from[h]);
            if (count[v] != 2) {
                others.emplace_back(from[h], static_cast<int>(h));
            } else if (seen[v] < 0) {
                seen[v] = static_cast<int>(h);
            } else {
                int pair[2] = {seen[v], static_cast<int>(h)};
                group(pair, 2, v);
            }
        }
        std::sort(others.begin(), others.end());
        std::vector<int> members;
        for (size_t i = 0; i < others.size();) {
            size_t j = i;
            members.clear();
            for (; j < others.size() && others[j].first == others[i].first; ++j) members.push_back(others[j].second);
            group(members.data(), members.size(), static_cast<size_t>(others[i].first));
            i = j;
        }
    }

    // Chains: a node of two edges only passes the walk on, so the trace, the dangles and the
    // bridges are found on the runs between the other nodes (and on closed runs with none), most
    // of a large arrangement's edges never being looked at one by one. chainOf[e] is 2c, or 2c + 1
    // where chain c runs edge e backwards; dirOf(h) is then h's directed chain: 2c along c, 2c + 1
    // against it.
    m_chainOf = HugeVector<int>(ne, -1);
    std::vector<int>& chainOf = m_chainOf;
    auto dirOf = [&](int h) { return static_cast<size_t>(chainOf[static_cast<size_t>(h / 2)] ^ (h & 1)); };
    m_chainHalves.clear();
    ReserveHuge(m_chainHalves, ne);
    m_chainStart.assign(1, 0);
    // Ends of the open chains as branch indices: chain c runs from endAt[2c] to endAt[2c + 1].
    std::vector<uint32_t> endAt;
    const size_t open = WalkChains(cont, branchStart, branchHalves, endAt);  // chains from here on are closed runs
    const size_t nc = m_chainStart.size() - 1;
    auto length = [&](size_t d) { return m_chainStart[d / 2 + 1] - m_chainStart[d / 2]; };
    // The k-th half-edge of directed chain d.
    auto halfAt = [&](size_t d, size_t k) {
        const uint32_t* s = &m_chainStart[d / 2];
        return d % 2 ? m_chainHalves[s[1] - 1 - k] ^ 1 : m_chainHalves[s[0] + k];
    };

    // Directions are found where a node has more than two edges to order: most nodes of a large
    // arrangement have two, and an angle for each of their ends is a good share of the trace.
    // dir[k] is that of branchHalves[k].
    std::vector<HalfDir> dir(branchHalves.size(), kNoDir);
    auto direction = [&](uint32_t k) {
        HalfDir& d = dir[k];
        if (!std::isnan(d.angle)) return;
        const int h = branchHalves[k];
        d = Leaving(m_edges[static_cast<size_t>(h / 2)], h % 2 == 0);
        // West is both pi and -pi; keep it in one place so tangent edges there sort together.
        if (d.angle > kPi - kTangentAngle) d.angle -= 2 * kPi;
    };

    std::vector<char> alive(nc, 1);
    std::vector<int> degree(branch.size()), nextOf(2 * nc), cycleOf(2 * nc);
    std::vector<uint32_t> ends;
    std::vector<uint32_t> cycleDirs, cycleStart;  // cycle k: cycleDirs[cycleStart[k]] to [k + 1]
    while (true) {
        // Dangles first: they never bound a face.
        std::fill(degree.begin(), degree.end(), 0);
        for (size_t c = 0; c < open; ++c)
            if (alive[c]) ++degree[endAt[2 * c]], ++degree[endAt[2 * c + 1]];
        std::vector<uint32_t> stack;
        for (size_t b = 0; b < branch.size(); ++b)
            if (degree[b] == 1) stack.push_back(static_cast<uint32_t>(b));
        while (!stack.empty()) {
            const size_t b = stack.back();
            stack.pop_back();
            for (uint32_t k = branchStart[b]; k < branchStart[b + 1]; ++k) {
                const size_t d = dirOf(branchHalves[k]);
                if (!alive[d / 2]) continue;
                alive[d / 2] = 0;
                const size_t other = endAt[d ^ 1];
                --degree[b];
                if (--degree[other] == 1) stack.push_back(static_cast<uint32_t>(other));
            }
        }
        auto angle = [&](uint32_t k) { return dir[k].angle; };
        for (size_t b = 0; b < branch.size(); ++b) {
            // The live ends, as places in branchHalves.
            ends.clear();
            for (uint32_t k = branchStart[b]; k < branchStart[b + 1]; ++k)
                if (alive[dirOf(branchHalves[k]) / 2]) ends.push_back(k);
            const size_t n = ends.size();
            if (n == 0) continue;
            uint32_t* const e0 = ends.data();
            // Two edges follow each other whichever way round they are listed.
            if (n > 2) {
                std::for_each(e0, e0 + n, direction);
                std::sort(e0, e0 + n, [&](uint32_t p, uint32_t q) { return angle(p) < angle(q); });
            }
            // An arc touching a line or another arc where they meet leaves in the same direction
            // up to rounding; such edges are ordered by how they bend, or a face would be traced
            // across its neighbour.
            for (size_t i = 0; i < n;) {
                size_t j = i + 1;
                while (n > 2 && j < n && angle(e0[j]) - angle(e0[j - 1]) <= kTangentAngle) ++j;
                if (j - i > 1)
                    std::stable_sort(e0 + i, e0 + j, [&](uint32_t p, uint32_t q) { return dir[p].curve < dir[q].curve; });
                i = j;
            }
            // Arriving by the chain that ends in e0[k]'s twin, the walk leaves by the chain of
            // the half-edge before e0[k] round the node.
            for (size_t k = 0; k < n; ++k)
                nextOf[dirOf(branchHalves[e0[k]]) ^ 1] = static_cast<int>(dirOf(branchHalves[e0[(k + n - 1) % n]]));
        }
        for (size_t c = open; c < nc; ++c) nextOf[2 * c] = static_cast<int>(2 * c), nextOf[2 * c + 1] = static_cast<int>(2 * c + 1);
        std::fill(cycleOf.begin(), cycleOf.end(), -1);
        cycleDirs.clear();
        cycleStart.assign(1, 0);
        for (size_t d0 = 0; d0 < 2 * nc; ++d0) {
            if (!alive[d0 / 2] || cycleOf[d0] >= 0) continue;
            for (size_t d = d0; cycleOf[d] < 0; d = static_cast<size_t>(nextOf[d])) {
                cycleOf[d] = static_cast<int>(cycleStart.size() - 1);
                cycleDirs.push_back(static_cast<uint32_t>(d));
            }
            cycleStart.push_back(static_cast<uint32_t>(cycleDirs.size()));
        }
        bool removed = false;
        for (size_t c = 0; c < open; ++c)
            if (alive[c] && cycleOf[2 * c] == cycleOf[2 * c + 1]) {
                alive[c] = 0;
                removed = true;
            }
        if (!removed) break;
    }

    // Each cycle starts at its least half-edge, and cycles come in the order of those: as if
    // traced half-edge by half-edge from each least one not yet walked.
    const size_t ncyc = cycleStart.size() - 1;
    std::vector<int> least(2 * nc, -1);
    std::vector<uint32_t> leastAt(2 * nc, 0);
    for (size_t c = 0; c < nc; ++c) {
        if (!alive[c]) continue;
        // A chain runs each of its edges once: its least half-edge is that of its least edge, either
        // way round.
        const int* const halves = m_chainHalves.data() + m_chainStart[c];
        const uint32_t len = m_chainStart[c + 1] - m_chainStart[c];
        uint32_t at = 0;
        for (uint32_t k = 1; k < len; ++k)
            if (halves[k] < halves[at]) at = k;
        least[2 * c] = halves[at], leastAt[2 * c] = at;
        least[2 * c + 1] = halves[at] ^ 1, leastAt[2 * c + 1] = len - 1 - at;
    }
    std::vector<uint32_t> firstDir(ncyc);  // index into cycleDirs of the directed chain with the least half-edge
    for (size_t k = 0; k < ncyc; ++k) {
        firstDir[k] = cycleStart[k];
        for (uint32_t i = cycleStart[k]; i < cycleStart[k + 1]; ++i)
            if (least[cycleDirs[i]] < least[cycleDirs[firstDir[k]]]) firstDir[k] = i;
    }
    std::vector<uint32_t> order(ncyc), rank(ncyc);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return least[cycleDirs[firstDir[a]]] < least[cycleDirs[firstDir[b]]]; });
    m_pieces.clear();
    m_ringStart.assign(1, 0);
    std::vector<size_t> ringLength(ncyc, 0);
    for (size_t r = 0; r < ncyc; ++r) {
        const size_t k = order[r];
        rank[k] = static_cast<uint32_t>(r);
        const uint32_t f = firstDir[k], d = cycleDirs[f], at = leastAt[d], m = cycleStart[k + 1] - cycleStart[k];
        m_pieces.push_back({d, at, length(d) - at});
        for (uint32_t i = 1; i < m; ++i) {
            const uint32_t di = cycleDirs[cycleStart[k] + (f - cycleStart[k] + i) % m];
            m_pieces.push_back({di, 0, length(di)});
        }
        if (at > 0) m_pieces.push_back({d, 0, at});
        m_ringStart.push_back(static_cast<uint32_t>(m_pieces.size()));
        for (uint32_t p = m_ringStart[r]; p < m_ringStart[r + 1]; ++p) ringLength[r] += m_pieces[p].n;
    }
    // The cycle of each half-edge, -1 where it is out.
    m_dirRing.assign(2 * nc, -1);
    for (size_t d = 0; d < 2 * nc; ++d)
        if (alive[d / 2]) m_dirRing[d] = static_cast<int>(rank[static_cast<size_t>(cycleOf[d])]);
    auto cycleOfHalf = [&](size_t h) { return m_dirRing[dirOf(static_cast<int>(h))]; };

    // Pieces of the arrangement, to keep a piece's outside from being taken as a hole of its own
    // faces: the chains meeting at a node are one piece.
    std::vector<int> piece(nc);
    std::iota(piece.begin(), piece.end(), 0);
    auto find = [&](int a) {
        while (piece[static_cast<size_t>(a)] != a) a = piece[static_cast<size_t>(a)] = piece[static_cast<size_t>(piece[static_cast<size_t>(a)])];
        return a;
    };
    for (size_t b = 0; b < branch.size(); ++b) {
        int joined = -1;
        for (uint32_t k = branchStart[b]; k < branchStart[b + 1]; ++k) {
            const int c = static_cast<int>(dirOf(branchHalves[k]) / 2);
            if (!alive[static_cast<size_t>(c)]) continue;
            if (joined >= 0) piece[static_cast<size_t>(find(c))] = find(joined);
            joined = c;
        }
    }
    auto pieceOfRing = [&](size_t r) { return find(static_cast<int>(m_pieces[m_ringStart[r]].d / 2)); };
    auto firstHalf = [&](size_t r) { const Piece& p = m_pieces[m_ringStart[r]]; return halfAt(p.d, p.k0); };

    struct Bounded {
        size_t cycle;
        double area;
        Box box;
        std::unique_ptr<keloPolygon> outer;  // made when a point test needs it
    };
    std::vector<Bounded> bounded;
    bounded.reserve(ncyc);
    std::vector<size_t> outsides;
    std::vector<double> areas(ncyc);
    std::vector<Box> boxes(ncyc);
    std::vector<int> halves;
    {
        // The areas and boxes of all cycles at once, summed about each cycle's first point but
        // going through the half-edges in their order: followed round the cycles, the edges lie
        // scattered over the edge array and nearly every visit of a large arrangement misses the
        // cache. Cycles with an arc are measured as rings.
        std::vector<Point3D> origin(ncyc);
        m_longest.assign(ncyc, Longest{0, -1, 0});
        for (size_t c = 0; c < ncyc; ++c) {
            areas[c] = 0;
            const int h = firstHalf(c);
            const OwnedSeg& s = m_edges[static_cast<size_t>(h / 2)];
            origin[c] = h % 2 ? s.tail() : s.head();
            boxes[c] = Box(origin[c].x, origin[c].y, origin[c].x, origin[c].y);
        }
        auto add = [&](int k, size_t h, const OwnedSeg& s, const Point3D& a, const Point3D& b) __attribute__((always_inline)) {
            const size_t c = static_cast<size_t>(k);
            if (s.arc) {
                areas[c] = std::numeric_limits<double>::quiet_NaN();
                return;
            }
            const Point3D& o = origin[c];
            areas[c] += (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
            Longest& l = m_longest[c];
            const double l2 = Length2(a, b);
            if (l2 > l.l2) l = {l2, static_cast<int>(h), 1};
            else if (l2 == l.l2) ++l.count;
            Box& box = boxes[c];
            box.minx = std::min(box.minx, b.x), box.maxx = std::max(box.maxx, b.x);
            box.miny = std::min(box.miny, b.y), box.maxy = std::max(box.maxy, b.y);
        };
        // Both half-edges of an edge in turn, as they come in half-edge order.
        for (size_t e = 0; e < ne; ++e) {
            const size_t d = static_cast<size_t>(chainOf[e]);
            const int k0 = m_dirRing[d], k1 = m_dirRing[d ^ 1];
            if (k0 < 0 && k1 < 0) continue;
            const OwnedSeg& s = m_edges[e];
            if (k0 >= 0) add(k0, 2 * e, s, s.head(), s.tail());
            if (k1 >= 0) add(k1, 2 * e + 1, s, s.tail(), s.head());
        }
        for (double& t : areas) t /= 2;
    }
    for (size_t c = 0; c < ncyc; ++c) {
        if (std::isnan(areas[c])) {
            RingHalves(c, halves);
            areas[c] = CycleArea(m_edges, halves, boxes[c]);
        }
        if (areas[c] > 0) bounded.push_back({c, areas[c], boxes[c], nullptr});
        else outsides.push_back(c);
    }
    std::vector<size_t> bySize(bounded.size());
    std::iota(bySize.begin(), bySize.end(), 0);
    std::sort(bySize.begin(), bySize.end(), [&](size_t a, size_t b) { return bounded[a].area < bounded[b].area; });
    // Each outside cycle's face: a bounded face's index, or bounded.size() for the unbounded one.
    std::vector<uint32_t> faceOf(ncyc);
    // A grid over the faces' boxes, each cell listing the faces whose box covers it, smallest
    // first: an outside cycle looks only at the faces of its own cell.
    Box extent;
    for (const Bounded& b : bounded) extent.add(b.box);
    const size_t side = std::clamp<size_t>(static_cast<size_t>(std::sqrt(double(bounded.size()))), 1, 512);
    const double cw = std::max(extent.maxx - extent.minx, 1e-300) / double(side), ch = std::max(extent.maxy - extent.miny, 1e-300) / double(side);
    auto cellOf = [&](double v, double lo, double w) { return detail::BucketOf((v - lo) / w, side); };
    std::vector<std::vector<size_t>> grid(side * side);
    for (size_t f : bySize) {
        const Box& b = bounded[f].box;
        for (size_t gy = cellOf(b.miny, extent.miny, ch); gy <= cellOf(b.maxy, extent.miny, ch); ++gy)
            for (size_t gx = cellOf(b.minx, extent.minx, cw); gx <= cellOf(b.maxx, extent.minx, cw); ++gx)
                grid[gy * side + gx].push_back(f);
    }
    std::vector<CycleBands> bands(bounded.size());
    // The point each outside cycle is placed by, and its piece.
    std::vector<Point3D> at(outsides.size());
    std::vector<int> pieceAt(outsides.size());
    for (size_t i = 0; i < outsides.size(); ++i) {
        const int h = firstHalf(outsides[i]);
        at[i] = (h % 2) ? m_edges[static_cast<size_t>(h / 2)].tail() : m_edges[static_cast<size_t>(h / 2)].head();
        pieceAt[i] = pieceOfRing(outsides[i]);
    }
    // For faces whose outer cycle holds a good share of all edges: the answers for every outside
    // cycle that may ask (those of other pieces within the face's box), by outside index.
    std::vector<std::vector<int8_t>> answered(bounded.size());
    std::vector<Point3D> asking;
    std::vector<size_t> askers;
    std::vector<int8_t> answers;
    for (size_t oi = 0; oi < outsides.size(); ++oi) {
        const size_t c = outsides[oi];
        const Point3D& p = at[oi];
        const int myPiece = pieceAt[oi];
        bool placed = false;
        const bool inExtent = p.x >= extent.minx && p.x <= extent.maxx && p.y >= extent.miny && p.y <= extent.maxy;
        static const std::vector<size_t> kNone;
        const std::vector<size_t>& cell =
            inExtent ? grid[cellOf(p.y, extent.miny, ch) * side + cellOf(p.x, extent.minx, cw)] : kNone;
        for (size_t f : cell) {
            Bounded& b = bounded[f];
            const int facePiece = pieceOfRing(b.cycle);
            if (facePiece == myPiece) continue;
            auto within = [&](const Point3D& q) { return q.x >= b.box.minx && q.x <= b.box.maxx && q.y >= b.box.miny && q.y <= b.box.maxy; };
            if (!within(p)) continue;
            int in = -1;
            const size_t length = ringLength[b.cycle];
            if (length > kBandedCycle && 8 * length >= m_edges.size()) {
                if (answered[f].empty()) {
                    asking.clear();
                    askers.clear();
                    for (size_t i = 0; i < outsides.size(); ++i)
                        if (pieceAt[i] != facePiece && within(at[i])) asking.push_back(at[i]), askers.push_back(i);
                    const int cycle = static_cast<int>(b.cycle);
                    CycleBands().InsideAll(
                        length, b.box, [&](size_t e) { return cycleOfHalf(2 * e) == cycle || cycleOfHalf(2 * e + 1) == cycle; },
                        m_edges, asking, answers);
                    answered[f].assign(outsides.size(), -1);
                    for (size_t i = 0; i < askers.size(); ++i) answered[f][askers[i]] = answers[i];
                }
                in = answered[f][oi];
            } else if (length > kBandedCycle) {
                if (bands[f].Empty()) {
                    bands[f].Build(
                        length, b.box,
                        [&](auto&& add) { EachHalf(b.cycle, [&](int g) { add(static_cast<size_t>(g / 2)); return true; }); },
                        m_edges);
                }
                in = bands[f].Inside(m_edges, p);
            }
            if (in < 0) {
                if (!b.outer) {
                    RingHalves(b.cycle, halves);
                    b.outer = std::make_unique<keloPolygon>(RingOf(m_edges, halves));
                }
                in = b.outer->IsPointIn(p, 0) == 1;
            }
            if (!in) continue;
            faceOf[c] = static_cast<uint32_t>(f);
            placed = true;
            break;
        }
        if (!placed) faceOf[c] = static_cast<uint32_t>(bounded.size());
    }
    // Each face's rings: its outer cycle, then the cycles placed in it in cycle order.
    const size_t nf = bounded.size() + 1;
    m_faceStart.assign(nf + 1, 0);
    for (size_t f = 0; f < bounded.size(); ++f) m_faceStart[f + 1] = 1;
    for (size_t c : outsides) ++m_faceStart[faceOf[c] + 1];
    for (size_t f = 0; f < nf; ++f) m_faceStart[f + 1] += m_faceStart[f];
    m_faceRings.resize(m_faceStart[nf]);
    std::vector<uint32_t> fill(m_faceStart.begin(), m_faceStart.end() - 1);
    m_ringFace.assign(ncyc, -1);
    auto place = [&](size_t f, size_t c) {
        m_faceRings[fill[f]++] = static_cast<uint32_t>(c);
        m_ringFace[c] = static_cast<int>(f);
    };
    for (size_t f = 0; f < bounded.size(); ++f) place(f, bounded[f].cycle);
    for (size_t c : outsides) place(faceOf[c], c);
    return 1;
}

// A face boundary that passes a node twice (a face wrapping round to touch itself, two holes
// meeting in a point) is cut there into simple loops, so that no ring touches itself. Nodes are
// told apart by their ids; the common cycle that passes every node once is used as it is.
void CKeloMakeArcPolygon::SimpleLoops(const std::vector<int>& halves, std::vector<std::vector<int>>& loops) const {
    loops.clear();
    if (m_seen.size() < m_nodeCount) {
        m_seen.assign(m_nodeCount, 0);
        m_at.assign(m_nodeCount, -1);
    }
    if (++m_stamp == 0) {
        std::fill(m_seen.begin(), m_seen.end(), 0);
        m_stamp = 1;
    }
    auto start = [&](int h) { return static_cast<size_t>(m_node[static_cast<size_t>(h)]); };
    bool twice = false;
    for (int h : halves) {
        uint32_t& seen = m_seen[start(h)];
        twice = twice || seen == m_stamp;
        seen = m_stamp;
    }
    if (!twice) return;
    std::vector<int> stack;
    for (size_t k = 0; k < halves.size(); ++k) {
        const int h = halves[k];
        m_at[start(h)] = static_cast<int>(stack.size());
        stack.push_back(h);
        const int j = m_at[start(k + 1 < halves.size() ? halves[k + 1] : halves[0])];
        if (j < 0) continue;
        for (size_t m = static_cast<size_t>(j); m < stack.size(); ++m) m_at[start(stack[m])] = -1;
        loops.emplace_back(stack.begin() + j, stack.end());
        stack.resize(static_cast<size_t>(j));
    }
    for (int h : stack) m_at[start(h)] = -1;
    if (!stack.empty()) loops.push_back(std::move(stack));
}

// Rings of at least this many points ask for large pages (a few MB of points).
constexpr size_t kHugeRing = size_t{1} << 17;

// The ring of cycle r as one line, walking the chains' half-edges in place, when it has no arc
// and passes no node twice; with twice given, also twice the ring's signed area, summed exactly
// as a line's area is so that the sign decides the same way. False (out untouched) otherwise.
//
// Only a node where chains meet can be passed twice: a node of two edges lies inside a chain, and
// a ring running both ways along one chain would have been taken out as bounding no area. Every
// chain of the ring starts where one of its pieces does (the other piece starts lie inside chains
// and are passed once), so only the points where pieces start are compared. Ends that are one
// node have equal coordinates, and only those: the points are already at hand, where the nodes'
// ids would be one more scattered fetch per piece.
bool CKeloMakeArcPolygon::StraightRing(size_t r, keloParts& out, double* twice) const {
    const size_t n = RingLength(r);
    if (n == 0) return true;
    std::unique_ptr<Point3D[]> points(new Point3D[n + 1]);
    Point3D* const pts = points.get();
    // A large ring's points come as fresh pages, written once here: 2 MB pages take one fault
    // where 4 KB pages take five hundred.
    if (n >= kHugeRing) detail::AdviseHugePages(pts, (n + 1) * sizeof(Point3D));
    const OwnedSeg* const edges = m_edges.data();
    const int* const halves = m_chainHalves.data();
    const ptrdiff_t total = static_cast<ptrdiff_t>(m_chainHalves.size());
    // Round a large ring the edges lie scattered over the edge array: asking for both lines of
    // the records some way ahead keeps many fetches going at once (a third of the time of
    // waiting for each in turn, on a million-edge ring).
    constexpr ptrdiff_t kAhead = 64;
    std::vector<std::pair<double, double>>& starts = m_pieceStarts;
    starts.clear();
    size_t k = 0;
    double sum = 0;
    Point3D o{0, 0, 0}, prev{0, 0, 0};
    for (uint32_t i = m_ringStart[r]; i < m_ringStart[r + 1]; ++i) {
        const Piece& p = m_pieces[i];
        const uint32_t* s = &m_chainStart[p.d / 2];
        const bool back = p.d % 2;
        const ptrdiff_t step = back ? -1 : 1;
        ptrdiff_t at = back ? ptrdiff_t(s[1]) - 1 - ptrdiff_t(p.k0) : ptrdiff_t(s[0]) + ptrdiff_t(p.k0);
        for (uint32_t j = 0; j < p.n; ++j, at += step) {
            const ptrdiff_t ahead = at + step * kAhead;
            if (ahead >= 0 && ahead < total) {
                const char* e = reinterpret_cast<const char*>(edges + halves[ahead] / 2);
                __builtin_prefetch(e);
                __builtin_prefetch(e + sizeof(OwnedSeg) - 1);
            }
            const int h = halves[at] ^ static_cast<int>(back);
            const OwnedSeg& seg = edges[static_cast<size_t>(h / 2)];
            if (seg.arc) return false;
            const bool rev = h % 2;
            const Point3D& a = rev ? seg.tail() : seg.head();
            if (j == 0) {
                if (!(a.x == a.x && a.y == a.y)) return false;  // not orderable: leave it to the node ids
                starts.emplace_back(a.x, a.y);
            }
            if (k == 0) o = prev = pts[0] = a;
            const Point3D b = rev ? seg.head() : seg.tail();
            pts[++k] = b;
            if (twice) sum += (prev.x - o.x) * (b.y - o.y) - (prev.y - o.y) * (b.x - o.x);
            prev = b;
        }
    }
    if (starts.size() > 16) {
        std::sort(starts.begin(), starts.end());
        if (std::adjacent_find(starts.begin(), starts.end()) != starts.end()) return false;
    } else {
        for (size_t a = 1; a < starts.size(); ++a)
            for (size_t b = 0; b < a; ++b)
                if (starts[a] == starts[b]) return false;
    }
    if (twice) *twice = sum;
    auto* parts = new CurveSegment[1];
    parts[0] = {klLTPolyline, static_cast<uint32_t>(n + 1), points.release()};
    out.Attach(1, parts);
    return true;
}

int CKeloMakeArcPolygon::GetPolygon(int i, keloPolygon& out) const {
    out.DeleteContent();
    if (i < 0 || i >= GetPolygonCount()) return 0;
    std::vector<keloParts> outers, holes;
    const size_t face = static_cast<size_t>(i);
    std::vector<std::vector<int>> loops;
    std::vector<int>& halves = m_halves;
    for (size_t c = 0; c < RingCount(face); ++c) {
        const size_t r = RingOfFace(face, c);
        // Of a bounded face's outer cycle, the counter-clockwise loop stays outer; loops turning
        // the other way are the holes it wrapped round.
        const bool outer = c == 0 && i + 1 < GetPolygonCount();
        keloParts ring;
        double twice = 0;
        if (StraightRing(r, ring, outer ? &twice : nullptr)) {
            (outer && 0.5 * twice > 0 ? outers : holes).push_back(std::move(ring));
            continue;
        }
        RingHalves(r, halves);
        SimpleLoops(halves, loops);
        const size_t count = loops.empty() ? 1 : loops.size();
        for (size_t l = 0; l < count; ++l) {
            keloParts ring = RingOf(m_edges, loops.empty() ? halves : loops[l]);
            (outer && ring.GetArea() > 0 ? outers : holes).push_back(std::move(ring));
        }
    }
    // All rings at once: inserting them one by one would copy the ring array each time.
    const size_t n = outers.size() + holes.size();
    if (n == 0) return 0;
    auto* rings = new LineString[n];
    size_t k = 0;
    for (auto* list : {&outers, &holes})
        for (keloParts& r : *list) {
            rings[k].partCount = r.partCount;
            rings[k++].parts = r.Detach();
        }
    out.Attach(static_cast<int>(n), rings);
    return 1;
}

int CKeloMakeArcPolygon::SolveNoded() {
    m_noded = true;
    const int r = Solve();
    m_noded = false;
    return r;
}

int CKeloMakeArcPolygon::GetPolygonArcs(int i, std::vector<int>& ids) const {
    ids.clear();
    if (i < 0 || i >= GetPolygonCount()) return 0;
    const size_t face = static_cast<size_t>(i);
    size_t n = 0;
    for (size_t c = 0; c < RingCount(face); ++c) n += RingLength(RingOfFace(face, c));
    ids.resize(n);
    int* id = ids.data();
    for (size_t c = 0; c < RingCount(face); ++c)
        EachHalf(RingOfFace(face, c), [&](int h) {
            *id++ = h % 2 ? -(h / 2 + 1) : h / 2 + 1;
            return true;
        });
    return static_cast<int>(ids.size());
}

bool CKeloMakeArcPolygon::GetClearPoint(int i, double clearance, Point3D& p) const {
    if (i < 0 || i + 1 >= GetPolygonCount() || RingCount(static_cast<size_t>(i)) == 0) return false;
    if (m_clear.empty()) FindClearPoints();
    const Clear& c = m_clear[static_cast<size_t>(i)];
    if (!c.found || !(c.away / 2 > clearance)) return false;
    p = c.q;
    return true;
}

// The face lies left of its outer cycle's edges: a point beside the middle of the longest one (the
// first round the cycle of equally long ones), a quarter of its length away, is inside unless
// another edge comes closer than that. It is taken when it is inside by the crossings of a level
// ray (over every cycle: holes count) and clear of every edge by half the offset, so that the
// operands' own tolerance tests see it off their rings; faces with arcs have none. All faces are
// done at once, going through the edges in their order: followed round the faces, the edges lie
// scattered over the edge array and a large arrangement's visits nearly all miss the cache.
void CKeloMakeArcPolygon::FindClearPoints() const {
    const size_t bounded = static_cast<size_t>(GetPolygonCount() - 1);
    m_clear.assign(bounded, Clear{});
    std::vector<double> need2(bounded);
    auto ends = [&](int h, const Point3D*& a, const Point3D*& b) {
        const OwnedSeg& s = m_edges[static_cast<size_t>(h / 2)];
        a = h % 2 ? &s.tail() : &s.head();
        b = h % 2 ? &s.head() : &s.tail();
        return !s.arc;
    };
    for (size_t f = 0; f < bounded; ++f) {
        const size_t outer = RingOfFace(f, 0);
        const Longest& l = m_longest[outer];
        if (l.h < 0 || !std::isfinite(l.l2)) continue;
        int h = l.h;
        if (l.count > 1)
            EachHalf(outer, [&](int g) {
                const Point3D *u, *v;
                if (!ends(g, u, v) || Length2(*u, *v) != l.l2) return true;
                h = g;
                return false;
            });
        const Point3D *a, *b;
        ends(h, a, b);
        Clear& c = m_clear[f];
        const double length = std::sqrt(l.l2);
        c.away = length / 4;
        const double nx = -(b->y - a->y) / length, ny = (b->x - a->x) / length;
        c.q = Point3D{(a->x + b->x) / 2 + nx * c.away, (a->y + b->y) / 2 + ny * c.away, 0};
        c.found = true;
        need2[f] = (c.away / 2) * (c.away / 2);
    }
    std::vector<char> in(bounded, 0), arcs(bounded, 0);
    for (size_t h = 0; h < 2 * m_edges.size(); ++h) {
        const int r = m_dirRing[static_cast<size_t>(m_chainOf[h / 2] ^ static_cast<int>(h & 1))];
        if (r < 0) continue;
        const size_t f = static_cast<size_t>(m_ringFace[static_cast<size_t>(r)]);
        if (f >= bounded) continue;
        const Point3D *u, *v;
        if (!ends(static_cast<int>(h), u, v)) {
            arcs[f] = 1;
            m_clear[f].found = false;
            continue;
        }
        if (!m_clear[f].found) continue;
        Clear& c = m_clear[f];
        const Point3D& q = c.q;
        if ((u->y > q.y) != (v->y > q.y) && u->x + (q.y - u->y) * (v->x - u->x) / (v->y - u->y) > q.x) in[f] ^= 1;
        // Nearly every edge lies far from the point on one axis by more than twice the clearance
        // (with room for rounding): the distance below would come out clear anyway, and its
        // division and clamping branches cost more than the rest of the pass.
        const double gx = std::max(std::min(u->x, v->x) - q.x, q.x - std::max(u->x, v->x));
        if (gx > c.away + 1e-12 * (std::abs(u->x) + std::abs(v->x) + std::abs(q.x))) continue;
        const double gy = std::max(std::min(u->y, v->y) - q.y, q.y - std::max(u->y, v->y));
        if (gy > c.away + 1e-12 * (std::abs(u->y) + std::abs(v->y) + std::abs(q.y))) continue;
        const double dx = v->x - u->x, dy = v->y - u->y, l2 = dx * dx + dy * dy;
        const double t = l2 > 0 ? std::clamp(((q.x - u->x) * dx + (q.y - u->y) * dy) / l2, 0.0, 1.0) : 0.0;
        const double ex = q.x - (u->x + t * dx), ey = q.y - (u->y + t * dy);
        if (!(ex * ex + ey * ey >= need2[f])) c.found = false;
    }
    for (size_t f = 0; f < bounded; ++f) m_clear[f].found = m_clear[f].found && in[f];
    RetryClearPoints(arcs);
}

// A large face whose point beside its longest edge failed (the edge in a narrow inlet of a
// coastline, say) would have its rings built only to find a point in it, and a face the caller
// drops is built for nothing. A few more points are tried first, each beside the longest of a
// short stretch of half-edges (of any ring: the face lies left of them all), the stretches
// spread evenly round the face, so that picking them costs nothing and testing them all takes
// one trip round the face.
void CKeloMakeArcPolygon::RetryClearPoints(const std::vector<char>& arcs) const {
    constexpr size_t kTries = 8, kStretch = 256;
    // Below this many half-edges, building the rings costs less than going round.
    constexpr size_t kWorthRetrying = 512;
    struct Try {
        double l2 = -1;
        int h = -1;
        Point3D q{0, 0, 0};
        double away = 0, need2 = 0;
        bool clear = false, in = false;
    };
    auto ends = [&](int h, const Point3D*& a, const Point3D*& b) {
        const OwnedSeg& s = m_edges[static_cast<size_t>(h / 2)];
        a = h % 2 ? &s.tail() : &s.head();
        b = h % 2 ? &s.head() : &s.tail();
    };
    for (size_t f = 0; f < m_clear.size(); ++f) {
        if (m_clear[f].found || arcs[f]) continue;
        size_t size = 0;
        for (size_t c = 0; c < RingCount(f); ++c) size += RingLength(RingOfFace(f, c));
        if (size < kWorthRetrying) continue;
        Try tries[kTries];
        // The half-edges at positions from..to of the face's rings taken one after the other.
        size_t at = 0;
        for (size_t c = 0; c < RingCount(f); ++c) {
            const size_t r = RingOfFace(f, c);
            for (uint32_t i = m_ringStart[r]; i < m_ringStart[r + 1]; ++i) {
                const Piece& p = m_pieces[i];
                const uint32_t s0 = m_chainStart[p.d / 2], s1 = m_chainStart[p.d / 2 + 1];
                for (size_t t = 0; t < kTries; ++t) {
                    const size_t w = (2 * t + 1) * size / (2 * kTries);
                    const size_t from = std::max(at, w), to = std::min(at + p.n, w + kStretch);
                    for (size_t j = from; j < to; ++j) {
                        const uint32_t k = p.k0 + static_cast<uint32_t>(j - at);
                        const int h = p.d % 2 ? m_chainHalves[s1 - 1 - k] ^ 1 : m_chainHalves[s0 + k];
                        const Point3D *u, *v;
                        ends(h, u, v);
                        const double l2 = Length2(*u, *v);
                        if (l2 > tries[t].l2) tries[t].l2 = l2, tries[t].h = h;
                    }
                }
                at += p.n;
            }
        }
        for (Try& t : tries) {
            if (!(t.l2 > 0) || !std::isfinite(t.l2)) continue;
            const Point3D *a, *b;
            ends(t.h, a, b);
            const double length = std::sqrt(t.l2);
            t.away = length / 4;
            const double nx = -(b->y - a->y) / length, ny = (b->x - a->x) / length;
            t.q = Point3D{(a->x + b->x) / 2 + nx * t.away, (a->y + b->y) / 2 + ny * t.away, 0};
            t.need2 = (t.away / 2) * (t.away / 2);
            t.clear = true;
        }
        // Two at a time: most faces take the first, and each try costs a test of every edge.
        for (size_t first = 0; first < kTries; first += 2) {
            Try* const pair = tries + first;
            for (size_t c = 0; c < RingCount(f); ++c)
                EachHalf(RingOfFace(f, c), [&](int h) {
                    const Point3D *u, *v;
                    ends(h, u, v);
                    const double dx = v->x - u->x, dy = v->y - u->y, l2 = dx * dx + dy * dy;
                    for (Try* t = pair; t < pair + 2; ++t) {
                        if (!t->clear) continue;
                        const Point3D& q = t->q;
                        if ((u->y > q.y) != (v->y > q.y) && u->x + (q.y - u->y) * dx / dy > q.x) t->in = !t->in;
                        const double reach = t->away / 2;
                        if (std::min(u->x, v->x) > q.x + reach || std::max(u->x, v->x) < q.x - reach ||
                            std::min(u->y, v->y) > q.y + reach || std::max(u->y, v->y) < q.y - reach)
                            continue;
                        const double s = l2 > 0 ? std::clamp(((q.x - u->x) * dx + (q.y - u->y) * dy) / l2, 0.0, 1.0) : 0.0;
                        const double ex = q.x - (u->x + s * dx), ey = q.y - (u->y + s * dy);
                        if (!(ex * ex + ey * ey >= t->need2)) t->clear = false;
                    }
                    return true;
                });
            if ((pair[0].clear && pair[0].in) || (pair[1].clear && pair[1].in)) break;
        }
        for (const Try& t : tries)
            if (t.clear && t.in && t.away > 0) {
                m_clear[f] = Clear{t.q, t.away, true};
                break;
            }
    }
}

int CKeloMakeArcPolygon::GetArc(int i, keloPoints& out) const {
    if (i < 0 || i >= GetArcCount()) return 0;
    const OwnedSeg& s = m_edges[static_cast<size_t>(i)];
    out.DeleteContent();  // Create adopts nothing and frees nothing
    out.Create(s.arc ? klLT3PArc : klLTPolyline, s.arc ? 3 : 2, s.p);
    return 1;
}

void CKeloMakeArcPolygon::AddArcsOf(const CKeloMakeArcPolygon& other, const std::vector<size_t>& arcs) {
    const bool solved = other.m_nodesFrom == &other && other.m_node.size() == 2 * other.m_edges.size();
    const bool keep = solved && (m_edges.empty() || m_nodesFrom == &other);
    if (keep && m_edges.empty()) {
        m_node.clear();
        ReserveHuge(m_node, 2 * arcs.size());
    }
    ReserveHuge(m_edges, m_edges.size() + arcs.size());
    for (size_t i : arcs) {
        if (i >= other.m_edges.size()) continue;
        m_edges.push_back(other.m_edges[i]);
        if (!keep) continue;
        m_node.insert(m_node.end(), {other.m_node[2 * i], other.m_node[2 * i + 1]});
    }
    m_nodesFrom = keep ? &other : nullptr;
    m_nodeCount = keep ? other.m_nodeCount : 0;
}

namespace {

int TopoFaces(CLineHandler& lines, std::vector<GM_Object*>& out) {
    lines.OrOverLines(0);
    return lines.CombineToPolys(out, false);
}

}  // namespace

int MakeTopo(const std::vector<keloParts*>& lines, std::vector<GM_Object*>& out, double eps) {
    CLineHandler handler(eps);
    for (const keloParts* line : lines)
        for (int s = 0; line && s < line->GetPartsCount(); ++s) handler.AddLine(line->GetOriginalPointsAt(s));
    return TopoFaces(handler, out);
}

int MakeTopo(const std::vector<LineString*>& lines, std::vector<GM_Object*>& out, double eps) {
    CLineHandler handler(eps);
    for (const LineString* line : lines)
        for (uint32_t s = 0; line && s < line->partCount; ++s) {
            keloPoints run(&line->parts[s]);
            handler.AddLine(&run);
        }
    return TopoFaces(handler, out);
}

}  // namespace kelo
