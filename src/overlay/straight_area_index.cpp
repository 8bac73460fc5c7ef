#include "overlay/straight_area_index.h"

#include <algorithm>
#include <cmath>

#include "geometry/buckets.h"
#include "relations/segment.h"

namespace kelo {

namespace {

bool FiniteXY(const Point3D& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

}  // namespace

CStraightAreaIndex::CStraightAreaIndex(const WKBGeometry& g) {
    if (g.type == wkbPolygon) AddPolygon(g.polygon);
    if (g.type == wkbMultiPolygon)
        for (uint32_t i = 0; i < g.multiPolygon.polygonCount && g.multiPolygon.polygons; ++i) AddPolygon(g.multiPolygon.polygons[i]);
    m_state.assign(m_rings.size(), 0);
    // About one segment per band, fewer bands where tall segments would be listed too often.
    std::vector<std::pair<size_t, size_t>> spans(m_segs.size());
    m_y0 = m_box.miny;
    for (m_count = std::max<size_t>(m_segs.size(), 1);; m_count = std::max<size_t>(m_count / 4, 1)) {
        m_h = m_box.IsEmpty() || !(m_box.maxy > m_box.miny) ? 1.0 : (m_box.maxy - m_box.miny) / double(m_count);
        size_t total = 0;
        for (size_t i = 0; i < m_segs.size(); ++i) {
            spans[i] = Bands(std::min(m_segs[i].a->y, m_segs[i].b->y), std::max(m_segs[i].a->y, m_segs[i].b->y));
            total += spans[i].second - spans[i].first + 1;
        }
        if (total <= 8 * m_segs.size() + 64 || m_count == 1) break;
    }
    m_start.assign(m_count + 1, 0);
    for (const auto& [k0, k1] : spans)
        for (size_t k = k0; k <= k1; ++k) ++m_start[k + 1];
    for (size_t k = 0; k < m_count; ++k) m_start[k + 1] += m_start[k];
    m_items.resize(m_start.back());
    std::vector<uint32_t> fill(m_start.begin(), m_start.end() - 1);
    for (size_t i = 0; i < m_segs.size(); ++i)
        for (size_t k = spans[i].first; k <= spans[i].second; ++k) m_items[fill[k]++] = static_cast<uint32_t>(i);
}

// The rings as the relation index takes them: each run on its own, a point closer than 1e-8 in
// both x and y to the last one kept dropped, segments with a point that is not finite left out
// (they can be neither crossed nor touched) though they still count as segments of the ring.
void CStraightAreaIndex::AddPolygon(const WKBPolygon& p) {
    if (p.ringCount <= 0 || !p.rings) return;
    const auto polygon = static_cast<uint32_t>(m_polygons.size());
    Polygon poly{static_cast<uint32_t>(m_rings.size()), 0, false};
    for (int r = 0; r < p.ringCount; ++r) {
        const LineString& line = p.rings[r];
        const auto ring = static_cast<uint32_t>(m_rings.size());
        Ring info{Box(), polygon, false};
        for (uint32_t s = 0; s < line.partCount && line.parts; ++s) {
            const CurveSegment& run = line.parts[s];
            const Point3D* last = nullptr;
            for (uint32_t i = 0; run.points && i < run.pointCount; ++i) {
                const Point3D* q = &run.points[i];
                if (last && std::abs(q->x - last->x) < kEpsInner && std::abs(q->y - last->y) < kEpsInner) continue;
                if (last) {
                    info.counts = true;
                    if (FiniteXY(*last) && FiniteXY(*q)) {
                        m_segs.push_back({last, q, ring});
                        info.box.add(last->x, last->y);
                        info.box.add(q->x, q->y);
                    }
                }
                last = q;
            }
        }
        if (r == 0) poly.area = info.counts && !info.box.IsEmpty();
        if (!info.box.IsEmpty()) m_box.add(info.box);
        m_rings.push_back(info);
        ++poly.count;
    }
    m_polygons.push_back(poly);
}

Box CStraightAreaIndex::SegBox(const Seg& s) const {
    return Box(std::min(s.a->x, s.b->x), std::min(s.a->y, s.b->y), std::max(s.a->x, s.b->x), std::max(s.a->y, s.b->y));
}

std::pair<size_t, size_t> CStraightAreaIndex::Bands(double y0, double y1) const {
    const size_t k0 = detail::BucketOf((y0 - m_y0) / m_h, m_count);
    return {k0, std::max(k0, detail::BucketOf((y1 - m_y0) / m_h, m_count))};
}

int CStraightAreaIndex::Where(const Point3D& p, double tol) const {
    if (!FiniteXY(p) || m_segs.empty()) return 0;
    if (!(tol >= 0) || !std::isfinite(tol)) tol = 0;
    // Each ring touched by the query is listed once; its state says whether the point is near
    // it and whether the ray crossed it an odd number of times.
    auto mark = [&](uint32_t ring, uint8_t bit) {
        if (!m_state[ring]) m_touched.push_back(ring);
        m_state[ring] = static_cast<uint8_t>((m_state[ring] ^ bit) | kListed);
    };
    // Near: within tol of a segment.
    const auto [n0, n1] = Bands(p.y - tol, p.y + tol);
    const Box at(p.x, p.y, p.x, p.y);
    for (size_t k = n0; k <= n1; ++k)
        for (uint32_t i = m_start[k]; i < m_start[k + 1]; ++i) {
            const Seg& s = m_segs[m_items[i]];
            if ((m_state[s.ring] & kNear) || !IsBoxIntersect(SegBox(s), at, tol)) continue;
            Point3D two[2] = {*s.a, *s.b};
            if (CsSegment(two, klLTPolyline).IsOverlapPt(p, tol)) mark(s.ring, kNear);
        }
    // Crossings of the level ray to the right. A point that is not near its ring is off it by
    // far more than rounding, so the half-open rule for vertices on the ray gives the count any
    // other ray would.
    const size_t band = Bands(p.y, p.y).first;
    for (uint32_t i = m_start[band]; i < m_start[band + 1]; ++i) {
        const Seg& s = m_segs[m_items[i]];
        const Point3D &a = *s.a, &b = *s.b;
        if ((a.y > p.y) == (b.y > p.y)) continue;
        if (a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y) > p.x) mark(s.ring, kOdd);
    }
    // Rings in order, so that each polygon's outer ring comes before its holes and the
    // polygons in their order: the first polygon holding the point decides, and within it the
    // first hole holding or touching it.
    std::sort(m_touched.begin(), m_touched.end());
    auto inside = [&](uint32_t r) {
        const Box& b = m_rings[r].box;
        return (m_state[r] & kOdd) && p.x >= b.minx && p.x <= b.maxx && p.y >= b.miny && p.y <= b.maxy;
    };
    int best = 0;
    for (size_t t = 0; t < m_touched.size();) {
        const uint32_t outer = m_touched[t];
        const Polygon& poly = m_polygons[m_rings[outer].polygon];
        const uint32_t end = poly.first + poly.count;
        size_t next = t + 1;
        while (next < m_touched.size() && m_touched[next] < end) ++next;
        if (outer == poly.first && poly.area && m_rings[outer].counts) {
            if (m_state[outer] & kNear) {
                best = 1;
            } else if (inside(outer)) {
                int here = 2;
                for (size_t h = t + 1; h < next && here == 2; ++h) {
                    const uint32_t hole = m_touched[h];
                    if (!m_rings[hole].counts) continue;
                    if (m_state[hole] & kNear) here = 1;
                    else if (inside(hole)) here = 0;
                }
                if (here == 2) {
                    best = 2;
                    break;
                }
                if (here == 1) best = 1;
            }
        }
        t = next;
    }
    for (uint32_t r : m_touched) m_state[r] = 0;
    m_touched.clear();
    return best;
}

bool CStraightAreaIndex::Meets(const CStraightAreaIndex& other, double tol) const {
    const CStraightAreaIndex& walk = m_segs.size() <= other.m_segs.size() ? *this : other;
    const CStraightAreaIndex& look = &walk == this ? other : *this;
    if (look.m_segs.empty()) return false;
    for (const Seg& s : walk.m_segs) {
        const Box sb = walk.SegBox(s);
        if (!IsBoxIntersect(sb, look.m_box, tol)) continue;
        Point3D ws[2] = {*s.a, *s.b};
        const CsSegment w(ws, klLTPolyline);
        const auto [k0, k1] = look.Bands(sb.miny - tol, sb.maxy + tol);
        for (size_t k = k0; k <= k1; ++k)
            for (uint32_t i = look.m_start[k]; i < look.m_start[k + 1]; ++i) {
                const Seg& t = look.m_segs[look.m_items[i]];
                if (!IsBoxIntersect(sb, look.SegBox(t), tol)) continue;
                Point3D ls[2] = {*t.a, *t.b};
                Point3D p, q;
                if (w.IntersectInfo(CsSegment(ls, klLTPolyline), p, q, tol) != 0) return true;
            }
    }
    return false;
}

}  // namespace kelo
