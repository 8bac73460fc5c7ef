// The index of one line or ring: its segments as the segment view reads them, a band index on y
// for the ray cast and nearby lookups, and the box index built when a caller asks for it.
#include <algorithm>
#include <cmath>

#include "geometry/buckets.h"
#include "geometry/circle_arc.h"
#include "geometry/parts.h"
#include "geometry/segment_runs.h"
#include "geometry/tolerance.h"
#include "relations/geometry_index.h"
#include "relations/nine_detail.h"
#include "relations/nine_intersection.h"

namespace kelo {

namespace {

constexpr int kRayAttempts = 60;

bool Finite(const Box& b) {
    return std::isfinite(b.minx) && std::isfinite(b.miny) && std::isfinite(b.maxx) && std::isfinite(b.maxy);
}

bool InGrownBox(const Box& b, const Point3D& p, double tol) {
    return p.x >= b.minx - tol && p.x <= b.maxx + tol && p.y >= b.miny - tol && p.y <= b.maxy + tol;
}

}  // namespace

C9iPartsIndex::C9iPartsIndex() = default;

C9iPartsIndex::~C9iPartsIndex() {
    delete m_segs;
    delete m_tree;
}

int C9iPartsIndex::SetIndex(const keloParts* parts, int ring) {
    delete m_segs;
    m_segs = nullptr;
    delete m_tree;
    m_tree = nullptr;
    m_treeBoxes.clear();
    m_box = Box();
    m_parts = parts;
    m_ring = ring ? 1 : 0;
    if (!parts || parts->IsNull()) return 0;
    m_segs = new detail::LineSegments(*parts, g_epsZero);
    const size_t n = m_segs->size();
    for (size_t i = 0; i < n; ++i)
        if (Finite(m_segs->box(i))) m_box.add(m_segs->box(i));
    BuildBands();
    return static_cast<int>(n);
}

int C9iPartsIndex::GetSegmentCount() const { return m_segs ? static_cast<int>(m_segs->size()) : 0; }

void C9iPartsIndex::ClearVector() {
    m_seen.clear();
    m_seen.shrink_to_fit();
    m_stamp = 0;
}

void C9iPartsIndex::BuildBands() {
    m_bandStart.clear();
    m_bandSegs.clear();
    const size_t n = m_segs ? m_segs->size() : 0;
    if (n == 0 || m_box.IsEmpty()) return;
    // A segment with a non-finite point can neither be crossed nor touched: it is left out.
    std::vector<uint32_t> usable;
    usable.reserve(n);
    for (size_t i = 0; i < n; ++i)
        if (Finite(m_segs->box(i))) usable.push_back(static_cast<uint32_t>(i));
    m_bandY0 = m_box.miny;
    const double height = m_box.maxy - m_box.miny;
    // About one segment per band; fewer bands when long segments would be listed too often.
    size_t bands = std::max<size_t>(1, n);
    std::vector<std::pair<uint32_t, uint32_t>> spans(usable.size());
    for (;;) {
        m_bandH = height > 0 ? height / static_cast<double>(bands) : 1.0;
        size_t total = 0;
        for (size_t u = 0; u < usable.size(); ++u) {
            const Box& b = m_segs->box(usable[u]);
            // Extents beyond the double range make the quotient NaN: band 0.
            auto band = [&](double y) { return static_cast<uint32_t>(detail::BucketOf((y - m_bandY0) / m_bandH, bands)); };
            const uint32_t k0 = band(b.miny), k1 = std::max(k0, band(b.maxy));
            spans[u] = {k0, k1};
            total += k1 - k0 + 1;
        }
        if (total <= 8 * n + 64 || bands == 1) break;
        bands = std::max<size_t>(1, bands / 4);
    }
    m_bandStart.assign(bands + 1, 0);
    for (const auto& [k0, k1] : spans)
        for (uint32_t k = k0; k <= k1; ++k) ++m_bandStart[k + 1];
    for (size_t k = 0; k < bands; ++k) m_bandStart[k + 1] += m_bandStart[k];
    m_bandSegs.resize(m_bandStart[bands]);
    std::vector<uint32_t> fill(m_bandStart.begin(), m_bandStart.end() - 1);
    for (size_t u = 0; u < usable.size(); ++u)
        for (uint32_t k = spans[u].first; k <= spans[u].second; ++k) m_bandSegs[fill[k]++] = usable[u];
    // Within a band by left edge, so that box queries search x too.
    m_bandWidth.assign(bands, 0);
    for (size_t k = 0; k < bands; ++k) {
        auto first = m_bandSegs.begin() + m_bandStart[k], last = m_bandSegs.begin() + m_bandStart[k + 1];
        std::sort(first, last, [&](uint32_t x, uint32_t y) { return m_segs->box(x).minx < m_segs->box(y).minx; });
        for (auto it = first; it != last; ++it)
            m_bandWidth[k] = std::max(m_bandWidth[k], m_segs->box(*it).maxx - m_segs->box(*it).minx);
    }
}

size_t C9iPartsIndex::BandOf(double y) const {
    return detail::BucketOf((y - m_bandY0) / m_bandH, m_bandStart.size() - 1);
}

// A new mark for the segments a query visits, so that one listed in several bands is seen once.
void C9iPartsIndex::NextStamp() const {
    if (m_seen.size() != m_segs->size()) {
        m_seen.assign(m_segs->size(), 0);
        m_stamp = 0;
    }
    if (++m_stamp == 0) {
        std::fill(m_seen.begin(), m_seen.end(), 0);
        m_stamp = 1;
    }
}

// Calls f(i) once for every segment whose box meets box grown by tol.
template <class F>
void C9iPartsIndex::ForEachNearBox(const Box& box, double tol, F f) const {
    if (m_bandStart.size() < 2) return;
    const double y0 = box.miny - tol, y1 = box.maxy + tol, x0 = box.minx - tol, x1 = box.maxx + tol;
    if (!(y0 <= y1) || !(x0 <= x1) || y1 < m_box.miny || y0 > m_box.maxy || x1 < m_box.minx || x0 > m_box.maxx) return;
    const size_t k0 = BandOf(y0), k1 = BandOf(y1);
    const bool several = k0 != k1;
    if (several) {
        NextStamp();
    }
    for (size_t k = k0; k <= k1; ++k) {
        auto first = m_bandSegs.begin() + m_bandStart[k], last = m_bandSegs.begin() + m_bandStart[k + 1];
        const double from = x0 - m_bandWidth[k];
        auto it = std::lower_bound(first, last, from, [&](uint32_t i, double x) { return m_segs->box(i).minx < x; });
        for (; it != last; ++it) {
            const Box& b = m_segs->box(*it);
            if (b.minx > x1) break;
            if (b.maxx < x0 || b.maxy < y0 || b.miny > y1) continue;
            if (several) {
                if (m_seen[*it] == m_stamp) continue;
                m_seen[*it] = m_stamp;
            }
            f(*it);
        }
    }
}

// Calls f(i) once for every segment listed in the bands that y0..y1 spans.
template <class F>
void C9iPartsIndex::ForEachInBand(double y0, double y1, F f) const {
    if (m_bandStart.size() < 2 || !(y0 <= y1)) return;
    if (y1 < m_box.miny || y0 > m_box.maxy) return;
    const size_t k0 = BandOf(y0), k1 = BandOf(y1);
    if (k0 == k1) {
        for (uint32_t j = m_bandStart[k0]; j < m_bandStart[k0 + 1]; ++j) f(m_bandSegs[j]);
        return;
    }
    NextStamp();
    for (size_t k = k0; k <= k1; ++k)
        for (uint32_t j = m_bandStart[k]; j < m_bandStart[k + 1]; ++j) {
            uint32_t i = m_bandSegs[j];
            if (m_seen[i] == m_stamp) continue;
            m_seen[i] = m_stamp;
            f(i);
        }
}

void C9iPartsIndex::BuildTree() const {
    if (m_tree) return;
    m_tree = new GeometryIndex(m_box, 30, 10);
    m_treeBoxes.clear();
    for (size_t i = 0; i < m_segs->size(); ++i) m_treeBoxes.push_back(Finite(m_segs->box(i)) ? m_segs->box(i) : Box());
    for (size_t i = 0; i < m_treeBoxes.size(); ++i)
        if (!m_treeBoxes[i].IsEmpty()) m_tree->Add(&m_treeBoxes[i], static_cast<uint32_t>(i + 1));
}

int C9iPartsIndex::GetSegments(const Box& box, CNodeInfoArray& out) const {
    out.clear();
    if (!m_segs) return 0;
    BuildTree();
    return m_tree->BoxQuery(box, out);
}

int C9iPartsIndex::GetSegments(const Box& box, std::vector<uint32_t>& out) const {
    CNodeInfoArray recs;
    GetSegments(box, recs);
    out.clear();
    for (const NodeInfoType* r : recs) out.push_back(r->id);
    return static_cast<int>(out.size());
}

int C9iPartsIndex::GetSegments(const Box& box, std::vector<CsSegment>& out) const {
    CNodeInfoArray recs;
    GetSegments(box, recs);
    out.clear();
    for (const NodeInfoType* r : recs) out.push_back(GetSegmentById(r->id));
    return static_cast<int>(out.size());
}

CsSegment C9iPartsIndex::GetSegmentById(uint32_t id) const {
    if (!m_segs || id == 0 || id > m_segs->size()) return CsSegment();
    return (*m_segs)[id - 1];
}

int C9iPartsIndex::GetNearbySegment(int i, int& prev, int& next) const {
    prev = next = -1;
    const int n = GetSegmentCount();
    if (i < 0 || i >= n) return 0;
    const bool closed = m_ring || (m_parts && m_parts->IsClosed());
    if (i > 0) prev = i - 1;
    else if (closed && n > 1) prev = n - 1;
    if (i + 1 < n) next = i + 1;
    else if (closed && n > 1) next = 0;
    return (prev >= 0) + (next >= 0);
}

Point3D C9iPartsIndex::GetOnePoint() const {
    if (!m_segs || m_segs->size() == 0) return Point3D{0, 0, kUnknownZ};
    return *(*m_segs)[0].Head();
}

int C9iPartsIndex::PointOn(const Point3D& p, double tol) const {
    if (!m_segs || !std::isfinite(p.x) || !std::isfinite(p.y)) return 0;
    if (tol < 0) tol = 0;
    if (!InGrownBox(m_box, p, tol)) return 0;
    int on = 0;
    ForEachNearBox(Box(p.x, p.y, p.x, p.y), tol, [&](uint32_t i) {
        if (!on && (*m_segs)[i].IsOverlapPt(p, tol)) on = 1;
    });
    return on;
}

void C9iPartsIndex::SegmentsNear(const Box& box, double tol, std::vector<uint32_t>& out) const {
    if (!m_segs) return;
    ForEachNearBox(box, tol, [&](uint32_t i) { out.push_back(i); });
}

int C9iPartsIndex::NearestSegment(const Point3D& p, double tol, double& dist, Point3D& foot) const {
    int best = -1;
    dist = 0;
    if (!m_segs || !std::isfinite(p.x) || !std::isfinite(p.y) || !InGrownBox(m_box, p, tol)) return -1;
    ForEachNearBox(Box(p.x, p.y, p.x, p.y), tol, [&](uint32_t i) {
        Point3D q;
        double d = (*m_segs)[i].PtDistance(p, q);
        if (d <= tol && (best < 0 || d < dist)) {
            best = static_cast<int>(i);
            dist = d;
            foot = q;
        }
    });
    return best;
}

int C9iPartsIndex::RayCrossings(const Point3D& p, double x1, double y1) const {
    const double t = kEpsInner;
    const bool level = y1 == p.y;
    Point3D ray[2] = {p, Point3D{x1, y1, 0}};
    const CsSegment r(ray, klLTPolyline);
    int count = 0;
    bool unusable = false;
    ForEachInBand(std::min(p.y, y1) - 2 * t, std::max(p.y, y1) + 2 * t, [&](uint32_t i) {
        if (unusable) return;
        const Box& b = m_segs->box(i);
        if (b.maxx < p.x - t) return;
        const CsSegment& s = (*m_segs)[i];
        if (!s.Is3PArc() && level) {
            // The level ray against a straight segment, without the general contact code.
            const Point3D &a = *s.Head(), &e = *s.Tail();
            const double y = p.y;
            auto onRay = [&](const Point3D& q) { return std::fabs(q.y - y) <= t && q.x >= p.x - t && q.x <= x1 + t; };
            if (onRay(a) || onRay(e)) {
                unusable = true;
                return;
            }
            if ((a.y > y) != (e.y > y)) {
                double x = a.x + (y - a.y) * (e.x - a.x) / (e.y - a.y);
                if (x > p.x) ++count;
            }
            return;
        }
        Point3D q1, q2;
        const int code = r.IntersectInfo(s, q1, q2, t);
        if (code == 0) return;
        int posB1 = 0, posB2 = 0;
        const int k1 = IntersectInfoType(code, 1, nullptr, &posB1);
        const int k2 = IntersectInfoType(code, 0, nullptr, &posB2);
        if (IntersectInfoOverlap(code) > 2 || posB1 || posB2) {
            unusable = true;
            return;
        }
        if (s.Is3PArc()) {
            Point3D c;
            double rad = 0, start = 0, sweep = 0;
            if (ArcSweep3P(s.points, c, rad, start, sweep)) {
                double dist = DistanceToSegment(ray[0], ray[1], c);
                if (std::fabs(dist - rad) <= t) {
                    unusable = true;
                    return;
                }
            }
        }
        count += (k1 != 0) + (k2 != 0);
    });
    return unusable ? -1 : count;
}

int C9iPartsIndex::PointIn(const Point3D& p, double tol, int& onBoundary) const {
    onBoundary = 0;
    if (!m_ring || !m_segs || !std::isfinite(p.x) || !std::isfinite(p.y)) return 0;
    if (!(tol >= 0) || !std::isfinite(tol)) tol = 0;
    if (!InGrownBox(m_box, p, tol)) return 0;
    if (PointOn(p, tol)) {
        onBoundary = 1;
        return 0;
    }
    if (!InGrownBox(m_box, p, 0)) return 0;
    const double t = std::max(tol, kEpsInner);
    const double x1 = m_box.maxx + 2 * t;
    const double h = m_box.maxy - m_box.miny;
    int count = 0;
    double y1 = p.y;
    for (int k = 1;; ++k) {
        int c = RayCrossings(p, x1, y1);
        if (c >= 0) {
            count = c;
            break;
        }
        if (k > kRayAttempts) break;
        // A ray through a vertex or along a segment tells nothing: tilt it, alternately down and up.
        double step = h * 0.043 * (k + 1) / 2;
        y1 = (k & 2) ? p.y - step : p.y + step;
    }
    return (count & 1) ? 1 : 0;
}

int C9iPartsIndex::Point9i(const Point3D& p, double tol) const {
    if (m_ring) {
        int on = 0;
        int in = PointIn(p, tol, on);
        return on ? 4 : (in ? 2 : 0);
    }
    return PointOn(p, tol) ? 2 : 0;
}

namespace {

detail::RelGeom PartGeom(const C9iPartsIndex& part) {
    detail::RelGeom g;
    if (part.GetSegmentCount() == 0) return g;
    if (part.IsRing()) {
        std::vector<C9iPartsIndex*> rings{const_cast<C9iPartsIndex*>(&part)};
        detail::AddPolygon(g, rings);
    } else {
        detail::AddLine(g, &part);
    }
    g.Finish();
    return g;
}

}  // namespace

int C9iPartsIndex::Parts9i(const C9iPartsIndex& other, double tol, int& direction, int& extra) const {
    direction = 0;
    extra = 0;
    if (GetSegmentCount() == 0 || other.GetSegmentCount() == 0) return kl9iDisjoint;
    if (!IsBoxIntersect(m_box, other.m_box, tol)) return kl9iDisjoint;
    // Each spans the other in one axis: the two must cross, and neither can hold the other.
    if (IsBoxCross(m_box, other.m_box, tol)) {
        extra = k9iII | k9iIE | k9iEI;  // what the crossing makes certain
        return kl9iOverlap;
    }
    const detail::RelGeom a = PartGeom(*this), b = PartGeom(other);
    int m[3][3], dims[8];
    detail::RelateMatrix(a, b, tol, m);
    detail::MatrixToDims(m, dims);
    extra = detail::DimsToCode(dims);
    int result = 0;
    C9iObjIndex::Get9iResult(extra, result);
    if (result == kl9iInside || result == kl9iInsideTouch) direction = gz_nPgAContainPgB;
    return result;
}

int C9iPartsIndex::Parts9i(const C9iPartsIndex& other, double tol) const {
    int direction = 0, extra = 0;
    return Parts9i(other, tol, direction, extra);
}

int C9iPartsIndex::Parts9iNew(const C9iPartsIndex& other, double tol) const {
    int direction = 0, extra = 0;
    const int r = Parts9i(other, tol, direction, extra);
    switch (r) {
    case kl9iEqual: return kl9iNewEqual;
    case kl9iInside:
    case kl9iInsideTouch: return direction ? kl9iNewContains : kl9iNewWithin;
    case kl9iOverlap: return kl9iNewIntersect;
    default:
        // Touching lines that cross or overlap in their interiors still intersect.
        return (extra & (k9iII)) ? kl9iNewIntersect : kl9iNewDisjoint;
    }
}

}  // namespace kelo
