#include "overlay/straight_area_index.h"

#include <algorithm>
#include <cmath>

#include "geometry/buckets.h"
#include "relations/segment.h"

namespace kelo {

namespace {

bool FiniteXY(const Point3D& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

template <class F>
void ForEachPolygon(const WKBGeometry& g, F&& f) {
    if (g.type == wkbPolygon) f(g.polygon);
    if (g.type == wkbMultiPolygon)
        for (uint32_t i = 0; i < g.multiPolygon.polygonCount && g.multiPolygon.polygons; ++i) f(g.multiPolygon.polygons[i]);
}

bool Usable(const WKBPolygon& p) { return p.ringCount > 0 && p.rings; }

// Box::add, here where a million calls can be inlined.
void Grow(Box& b, const Point3D& p) {
    if (p.x > b.maxx) b.maxx = p.x;
    if (p.x < b.minx) b.minx = p.x;
    if (p.y > b.maxy) b.maxy = p.y;
    if (p.y < b.miny) b.miny = p.y;
}

bool Repeats(const Point3D* q, const Point3D* last) {
    return std::abs(q->x - last->x) < kEpsInner && std::abs(q->y - last->y) < kEpsInner;
}

}  // namespace

// The rings as the relation index takes them: each run on its own, a point closer than 1e-8 in
// both x and y to the last one kept dropped. f sees every pair of consecutive kept points, also
// those with a point that is not finite: such a segment can be neither crossed nor touched, but
// it still counts as a segment of its ring.
template <class F>
bool CStraightAreaIndex::ForEachSegOf(const Block& block, F&& f) const {
    const Point3D* last = block.last;
    for (uint32_t i = block.begin; i < block.end; ++i) {
        const Point3D* q = &block.points[i];
        if (last && Repeats(q, last)) continue;
        if (last && f(last, q, block.ring)) return true;
        last = q;
    }
    return false;
}

template <class F>
bool CStraightAreaIndex::ForEachSeg(F&& f) const {
    for (const Block& b : m_blocks)
        if (ForEachSegOf(b, f)) return true;
    return false;
}

CStraightAreaIndex::CStraightAreaIndex(const WKBGeometry& g) : m_geom(g) {
    ForEachPolygon(g, [&](const WKBPolygon& p) { AddPolygon(p); });
    // The blocks, and each ring's box, ends and segment count, in one pass over the points. The
    // block list is sized first: grown block by block, its copies would shift the heap's blocks.
    size_t blocks = 0;
    ForEachPolygon(g, [&](const WKBPolygon& p) {
        for (int r = 0; Usable(p) && r < p.ringCount; ++r)
            for (uint32_t s = 0; s < p.rings[r].partCount && p.rings[r].parts; ++s)
                if (p.rings[r].parts[s].points) blocks += (p.rings[r].parts[s].pointCount + kBlockPoints - 1) / kBlockPoints;
    });
    m_blocks.reserve(blocks);
    uint32_t ring = 0;
    ForEachPolygon(g, [&](const WKBPolygon& p) {
        if (!Usable(p)) return;
        for (int r = 0; r < p.ringCount; ++r, ++ring) {
            const LineString& line = p.rings[r];
            Ring& info = m_rings[ring];
            for (uint32_t s = 0; s < line.partCount && line.parts; ++s) {
                const CurveSegment& run = line.parts[s];
                const Point3D* last = nullptr;
                for (uint32_t b0 = 0; run.points && b0 < run.pointCount; b0 += kBlockPoints) {
                    Block block{run.points, last, nullptr, b0, std::min(run.pointCount, b0 + kBlockPoints), ring, Box(), true};
                    for (uint32_t i = b0; i < block.end; ++i) {
                        const Point3D* q = &run.points[i];
                        if (FiniteXY(*q)) Grow(block.box, *q);
                        else block.finite = false;
                        if (last && Repeats(q, last)) continue;
                        if (last) {
                            info.counts = true;
                            if (!info.first) info.first = last;
                            info.last = q;
                            if (FiniteXY(*last) && FiniteXY(*q)) {
                                Grow(info.box, *last);
                                Grow(info.box, *q);
                                ++m_segCount;
                            } else {
                                info.chain = false;
                            }
                        }
                        last = q;
                    }
                    block.tail = last;
                    m_blocks.push_back(block);
                }
            }
        }
    });
    for (Polygon& poly : m_polygons) poly.area = m_rings[poly.first].counts && !m_rings[poly.first].box.IsEmpty();
    for (Ring& r : m_rings) {
        if (!r.box.IsEmpty()) m_box.add(r.box);
        r.chain = r.chain && r.first;
        r.closed = r.chain && r.first->x == r.last->x && r.first->y == r.last->y;
    }
    m_state.assign(m_rings.size(), 0);
}

void CStraightAreaIndex::AddPolygon(const WKBPolygon& p) {
    if (!Usable(p)) return;
    const auto polygon = static_cast<uint32_t>(m_polygons.size());
    m_polygons.push_back({static_cast<uint32_t>(m_rings.size()), static_cast<uint32_t>(p.ringCount), false});
    for (int r = 0; r < p.ringCount; ++r) m_rings.push_back(Ring{Box(), polygon, false, p.rings[r].partCount == 1});
}

void CStraightAreaIndex::BuildBands() const {
    if (m_built) return;
    m_built = true;
    m_segs.reserve(m_segCount);
    ForEachSeg([&](const Point3D* a, const Point3D* b, uint32_t ring) {
        if (FiniteXY(*a) && FiniteXY(*b)) m_segs.push_back({a, b, ring});
        return false;
    });
    // About one segment per band, fewer bands where tall segments would be listed too often.
    m_y0 = m_box.miny;
    auto span = [&](const Seg& s) { return Bands(std::min(s.a->y, s.b->y), std::max(s.a->y, s.b->y)); };
    for (m_count = std::max<size_t>(m_segs.size(), 1);; m_count = std::max<size_t>(m_count / 4, 1)) {
        m_h = m_box.IsEmpty() || !(m_box.maxy > m_box.miny) ? 1.0 : (m_box.maxy - m_box.miny) / double(m_count);
        size_t total = 0;
        for (const Seg& s : m_segs) {
            const auto [k0, k1] = span(s);
            total += k1 - k0 + 1;
        }
        if (total <= 8 * m_segs.size() + 64 || m_count == 1) break;
    }
    m_start.assign(m_count + 1, 0);
    for (const Seg& s : m_segs) {
        const auto [k0, k1] = span(s);
        for (size_t k = k0; k <= k1; ++k) ++m_start[k + 1];
    }
    for (size_t k = 0; k < m_count; ++k) m_start[k + 1] += m_start[k];
    m_items.resize(m_start.back());
    std::vector<uint32_t> fill(m_start.begin(), m_start.end() - 1);
    for (size_t i = 0; i < m_segs.size(); ++i) {
        const auto [k0, k1] = span(m_segs[i]);
        for (size_t k = k0; k <= k1; ++k) m_items[fill[k]++] = static_cast<uint32_t>(i);
    }
}

Box CStraightAreaIndex::SegBox(const Seg& s) const {
    return Box(std::min(s.a->x, s.b->x), std::min(s.a->y, s.b->y), std::max(s.a->x, s.b->x), std::max(s.a->y, s.b->y));
}

std::pair<size_t, size_t> CStraightAreaIndex::Bands(double y0, double y1) const {
    const size_t k0 = detail::BucketOf((y0 - m_y0) / m_h, m_count);
    return {k0, std::max(k0, detail::BucketOf((y1 - m_y0) / m_h, m_count))};
}

namespace {

// The tests both the banded and the one-pass location apply to a segment: p within tol of it,
// and the level ray from p to the right crossing it. A point that is not near its ring is off it
// by far more than rounding, so the half-open rule for vertices on the ray gives the count any
// other ray would.
bool Near(const Point3D& a, const Point3D& b, const Box& box, const Point3D& p, double tol) {
    if (!IsBoxIntersect(box, Box(p.x, p.y, p.x, p.y), tol)) return false;
    Point3D two[2] = {a, b};
    return CsSegment(two, klLTPolyline).IsOverlapPt(p, tol) != 0;
}

bool Crosses(const Point3D& a, const Point3D& b, const Point3D& p) {
    return (a.y > p.y) != (b.y > p.y) && a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y) > p.x;
}

double SaneTol(double tol) { return !(tol >= 0) || !std::isfinite(tol) ? 0 : tol; }

}  // namespace

int CStraightAreaIndex::Where(const Point3D& p, double tol) const {
    if (!FiniteXY(p) || m_segCount == 0) return 0;
    tol = SaneTol(tol);
    BuildBands();
    // Each ring touched by the query is listed once; its state says whether the point is near
    // it and whether the ray crossed it an odd number of times.
    auto mark = [&](uint32_t ring, uint8_t bit) {
        if (!m_state[ring]) m_touched.push_back(ring);
        m_state[ring] = static_cast<uint8_t>((m_state[ring] ^ bit) | kListed);
    };
    const auto [n0, n1] = Bands(p.y - tol, p.y + tol);
    for (size_t k = n0; k <= n1; ++k)
        for (uint32_t i = m_start[k]; i < m_start[k + 1]; ++i) {
            const Seg& s = m_segs[m_items[i]];
            if (!(m_state[s.ring] & kNear) && Near(*s.a, *s.b, SegBox(s), p, tol)) mark(s.ring, kNear);
        }
    const size_t band = Bands(p.y, p.y).first;
    for (uint32_t i = m_start[band]; i < m_start[band + 1]; ++i) {
        const Seg& s = m_segs[m_items[i]];
        if (Crosses(*s.a, *s.b, p)) mark(s.ring, kOdd);
    }
    std::sort(m_touched.begin(), m_touched.end());
    const int best = Decide(p, m_state.data(), m_touched);
    for (uint32_t r : m_touched) m_state[r] = 0;
    m_touched.clear();
    return best;
}

void CStraightAreaIndex::WhereAll(const std::vector<Point3D>& points, double tol, std::vector<int>& out) const {
    out.assign(points.size(), 0);
    const size_t rings = m_rings.size();
    if (m_built || points.size() * rings > (size_t(1) << 24)) {
        for (size_t i = 0; i < points.size(); ++i) out[i] = Where(points[i], tol);
        return;
    }
    if (m_segCount == 0) return;
    tol = SaneTol(tol);
    std::vector<uint32_t> order;
    for (size_t i = 0; i < points.size(); ++i)
        if (FiniteXY(points[i])) order.push_back(static_cast<uint32_t>(i));
    if (order.empty()) return;
    std::sort(order.begin(), order.end(), [&](uint32_t i, uint32_t j) { return points[i].y < points[j].y; });
    // The points by level band: first[k] is the first point (in y order) in band k or above.
    const double y0 = points[order.front()].y, y1 = points[order.back()].y;
    const size_t bands = 2 * order.size();
    const double h = y1 > y0 ? (y1 - y0) / double(bands) : 1.0;
    auto bandOf = [&](double y) { return detail::BucketOf((y - y0) / h, bands); };
    std::vector<uint32_t> first(bands + 1, static_cast<uint32_t>(order.size()));
    for (size_t j = order.size(); j-- > 0;) first[bandOf(points[order[j]].y)] = static_cast<uint32_t>(j);
    for (size_t k = bands; k-- > 0;) first[k] = std::min(first[k], first[k + 1]);
    std::vector<uint8_t> state(order.size() * rings, 0);
    // The tests for segment a-b and the points listed from *j0 to *j1 (places in order).
    auto test = [&](const Point3D* a, const Point3D* b, uint32_t ring, const uint32_t* j0, const uint32_t* j1) {
        const double lo = std::min(a->y, b->y), hi = std::max(a->y, b->y);
        // Wider than the tests reach, so that rounding never leaves a point out.
        const double w = 2 * tol + 1e-9 * (1 + std::abs(lo) + std::abs(hi));
        const double left = std::min(a->x, b->x) - w, right = std::max(a->x, b->x) + w;
        for (const uint32_t* j = j0; j < j1; ++j) {
            const Point3D& p = points[order[*j]];
            // Points beyond the widened box can be neither near nor to the left of a crossing.
            if (p.x > right || p.y < lo - w || p.y > hi + w) continue;
            uint8_t& st = state[*j * rings + ring];
            if (!(st & kNear) && p.x >= left && Near(*a, *b, SegBox({a, b, ring}), p, tol)) st |= kNear | kListed;
            if (Crosses(*a, *b, p)) st = static_cast<uint8_t>((st ^ kOdd) | kListed);
        }
    };
    std::vector<uint32_t> all(order.size()), reach;
    for (size_t j = 0; j < order.size(); ++j) all[j] = static_cast<uint32_t>(j);
    // Each segment with the points of its bands.
    auto segment = [&](const Point3D* a, const Point3D* b, uint32_t ring) {
        if (!FiniteXY(*a) || !FiniteXY(*b)) return false;
        const double lo = std::min(a->y, b->y), hi = std::max(a->y, b->y);
        const double w = 2 * tol + 1e-9 * (1 + std::abs(lo) + std::abs(hi));
        if (hi + w < y0 || lo - w > y1) return false;
        test(a, b, ring, all.data() + first[bandOf(lo - w)], all.data() + first[bandOf(hi + w) + 1]);
        return false;
    };
    for (const Block& block : m_blocks) {
        if (!block.finite || (block.last && !FiniteXY(*block.last))) {
            ForEachSegOf(block, segment);
            continue;
        }
        // The block's segments lie in the box of its points and the point kept before it, and
        // run as one chain from head to tail. A point beyond the box by more than any segment's
        // reach (twice it, and rounding of x) is near none of them; to the right it is crossed
        // by none, to the left its level ray crosses the chain as often as the chain's ends lie
        // on different sides of it, odd or even. Only points within reach see the segments.
        Box b = block.box;
        const Point3D* head = block.last ? block.last : &block.points[block.begin];
        Grow(b, *head);
        const double my = std::max(std::abs(b.miny), std::abs(b.maxy)), wy = 2 * (2 * tol + 1e-9 * (1 + my + my));
        const double mx = std::max(std::abs(b.minx), std::abs(b.maxx)), wx = 2 * (2 * tol + 1e-9 * (1 + mx + mx));
        if (b.maxy + wy < y0 || b.miny - wy > y1) continue;
        reach.clear();
        for (uint32_t j = first[bandOf(b.miny - wy)], end = first[bandOf(b.maxy + wy) + 1]; j < end; ++j) {
            const Point3D& p = points[order[j]];
            if (p.y < b.miny - wy || p.y > b.maxy + wy || p.x > b.maxx + wx) continue;
            if (p.x >= b.minx - wx) {
                reach.push_back(j);
            } else if ((head->y > p.y) != (block.tail->y > p.y)) {
                uint8_t& st = state[j * rings + block.ring];
                st = static_cast<uint8_t>((st ^ kOdd) | kListed);
            }
        }
        if (reach.empty()) continue;
        ForEachSegOf(block, [&](const Point3D* a, const Point3D* c, uint32_t ring) {
            test(a, c, ring, reach.data(), reach.data() + reach.size());
            return false;
        });
    }
    std::vector<uint32_t> touched;
    for (size_t j = 0; j < order.size(); ++j) {
        touched.clear();
        for (uint32_t r = 0; r < rings; ++r)
            if (state[j * rings + r]) touched.push_back(r);
        out[order[j]] = Decide(points[order[j]], &state[j * rings], touched);
    }
}

// Rings in order, so that each polygon's outer ring comes before its holes and the polygons in
// their order: the first polygon holding the point decides, and within it the first hole holding
// or touching it.
int CStraightAreaIndex::Decide(const Point3D& p, const uint8_t* state, const std::vector<uint32_t>& touched) const {
    auto inside = [&](uint32_t r) {
        const Box& b = m_rings[r].box;
        return (state[r] & kOdd) && p.x >= b.minx && p.x <= b.maxx && p.y >= b.miny && p.y <= b.maxy;
    };
    int best = 0;
    for (size_t t = 0; t < touched.size();) {
        const uint32_t outer = touched[t];
        const Polygon& poly = m_polygons[m_rings[outer].polygon];
        const uint32_t end = poly.first + poly.count;
        size_t next = t + 1;
        while (next < touched.size() && touched[next] < end) ++next;
        if (outer == poly.first && poly.area && m_rings[outer].counts) {
            if (state[outer] & kNear) {
                best = 1;
            } else if (inside(outer)) {
                int here = 2;
                for (size_t h = t + 1; h < next && here == 2; ++h) {
                    const uint32_t hole = touched[h];
                    if (!m_rings[hole].counts) continue;
                    if (state[hole] & kNear) here = 1;
                    else if (inside(hole)) here = 0;
                }
                if (here == 2) return 2;
                if (here == 1) best = 1;
            }
        }
        t = next;
    }
    return best;
}

bool CStraightAreaIndex::SurelyMeets(const CStraightAreaIndex& other, double tol) const {
    for (const Ring& r : other.m_rings)
        if (!r.closed) return false;
    if (m_segCount == 0 || other.m_segCount == 0) return false;
    // A point beyond the other's box by more than tol is near none of its segments and inside
    // none of its rings.
    const Box& ob = other.m_box;
    const double margin = 2 * tol;
    const Box reach(ob.minx - margin, ob.miny - margin, ob.maxx + margin, ob.maxy + margin);
    std::vector<char> beyond(m_rings.size(), 0);
    std::vector<Point3D> samples;
    std::vector<uint32_t> sampleRing;
    const size_t step = std::max<size_t>(m_segCount / 64, 1);
    size_t k = 0;
    auto visit = [&](const Point3D*, const Point3D* b, uint32_t ring) {
        if (b->x < reach.minx || b->x > reach.maxx || b->y < reach.miny || b->y > reach.maxy) beyond[ring] = 1;
        else if (k++ % step == 0) samples.push_back(*b), sampleRing.push_back(ring);
        return false;
    };
    for (const Block& block : m_blocks) {
        if (!m_rings[block.ring].chain) continue;
        // A block within reach has no point beyond it: only the count of points walked moves on,
        // unless a sample falls in it.
        const size_t n = block.end - block.begin;
        const bool within = block.finite && block.box.minx >= reach.minx && block.box.maxx <= reach.maxx &&
                            block.box.miny >= reach.miny && block.box.maxy <= reach.maxy;
        if (within && k % step != 0 && k / step == (k + n - 1) / step) {
            k += n;
            continue;
        }
        ForEachSegOf(block, visit);
    }
    std::vector<int> where;
    other.WhereAll(samples, tol, where);
    for (size_t i = 0; i < samples.size(); ++i)
        if (where[i] == 2 && beyond[sampleRing[i]]) return true;
    return false;
}

bool CStraightAreaIndex::PointBox(Box& box) const {
    Box all;
    for (const Block& block : m_blocks) {
        if (!block.finite) return false;
        all.add(block.box);
    }
    box = all;
    return true;
}

size_t CStraightAreaIndex::CountOutside(const Box& w, size_t& all) const {
    size_t outside = 0;
    all = 0;
    for (const Block& block : m_blocks) {
        const size_t n = block.end - block.begin;
        all += n;
        const Box& b = block.box;
        if (block.finite && b.minx >= w.minx && b.maxx <= w.maxx && b.miny >= w.miny && b.maxy <= w.maxy) continue;
        if (block.finite && (b.maxx < w.minx || b.minx > w.maxx || b.maxy < w.miny || b.miny > w.maxy)) {
            outside += n;
            continue;
        }
        for (uint32_t i = block.begin; i < block.end; ++i) {
            const Point3D& p = block.points[i];
            outside += p.x < w.minx || p.x > w.maxx || p.y < w.miny || p.y > w.maxy;
        }
    }
    return outside;
}

bool CStraightAreaIndex::Meets(const CStraightAreaIndex& other, double tol) const {
    const CStraightAreaIndex& walk = m_segCount <= other.m_segCount ? *this : other;
    const CStraightAreaIndex& look = &walk == this ? other : *this;
    if (look.m_segCount == 0) return false;
    look.BuildBands();
    return walk.ForEachSeg([&](const Point3D* a, const Point3D* b, uint32_t ring) {
        if (!FiniteXY(*a) || !FiniteXY(*b)) return false;
        const Box sb = walk.SegBox({a, b, ring});
        if (!IsBoxIntersect(sb, look.m_box, tol)) return false;
        Point3D ws[2] = {*a, *b};
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
        return false;
    });
}

}  // namespace kelo
