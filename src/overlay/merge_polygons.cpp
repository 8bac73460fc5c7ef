// The union of many polygons. Polygons are put in an order along a space-filling curve, so that
// halves of the order are compact regions, and merged pairwise up a balanced tree. Two groups
// share only the strip where their boxes overlap, so each merge passes the polygons away from
// that strip straight through and unions only the few near it: the total work stays close to
// the size of the output rather than the square of the input.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "companion/gbk.h"
#include "companion/ui.h"
#include "overlay/boolean_overlay.h"
#include "overlay/overlay_detail.h"

namespace kelo {

using detail::PolygonList;

namespace {

void Shift(WKBPolygon& p, double dx, double dy) {
    for (int r = 0; r < p.ringCount; ++r)
        for (uint32_t s = 0; s < p.rings[r].partCount; ++s) {
            CurveSegment& run = p.rings[r].parts[s];
            for (uint32_t k = 0; k < run.pointCount; ++k) run.points[k].x += dx, run.points[k].y += dy;
        }
}

struct Group {
    PolygonList polys;
    std::vector<Box> boxes;
    Box box;
    void Add(keloPolygon&& p, const Box& b) {
        polys.push_back(std::move(p));
        boxes.push_back(b);
        box.add(b);
    }
};

bool Meets(const Box& a, const Box& b) { return a.minx <= b.maxx && b.minx <= a.maxx && a.miny <= b.maxy && b.miny <= a.maxy; }

Box Grown(const Box& b, double m) { return Box(b.minx - m, b.miny - m, b.maxx + m, b.maxy + m); }

// Morton code of a box centre on a 2^16 grid over the whole extent.
uint64_t Morton(const Box& b, const Box& all) {
    auto cell = [](double v, double lo, double hi) {
        const double t = hi > lo ? (v - lo) / (hi - lo) : 0;
        return static_cast<uint32_t>(std::clamp(t, 0.0, 1.0) * 65535.0);
    };
    const uint32_t x = cell((b.minx + b.maxx) / 2, all.minx, all.maxx), y = cell((b.miny + b.maxy) / 2, all.miny, all.maxy);
    uint64_t code = 0;
    for (int i = 0; i < 16; ++i) code |= static_cast<uint64_t>((x >> i) & 1) << (2 * i) | static_cast<uint64_t>((y >> i) & 1) << (2 * i + 1);
    return code;
}

class Merger {
public:
    explicit Merger(std::vector<Group>& leaves) : m_leaves(leaves) {}

    Group Merge(size_t lo, size_t hi, int depth) {
        if (hi - lo == 1) return std::move(m_leaves[lo]);
        const size_t mid = lo + (hi - lo) / 2;
        Group a = Merge(lo, mid, depth + 1);
        Group b = Merge(mid, hi, depth + 1);
        Group merged = Two(std::move(a), std::move(b));
        Progress(depth);
        return merged;
    }

private:
    static Group Two(Group a, Group b) {
        const double areaA = (a.box.maxx - a.box.minx) * (a.box.maxy - a.box.miny);
        const double areaB = (b.box.maxx - b.box.minx) * (b.box.maxy - b.box.miny);
        const Box& smaller = areaA <= areaB ? a.box : b.box;
        const double margin = std::max(0.001 * std::min(smaller.maxx - smaller.minx, smaller.maxy - smaller.miny), 1e-8);
        const Box grownA = Grown(a.box, margin), grownB = Grown(b.box, margin);
        Group out;
        GM_Object nearA, nearB;
        PolygonList listA, listB;
        auto split = [&](Group& g, const Box& other, PolygonList& near) {
            for (size_t i = 0; i < g.polys.size(); ++i) {
                if (Meets(g.boxes[i], other)) near.push_back(std::move(g.polys[i]));
                else out.Add(std::move(g.polys[i]), g.boxes[i]);
            }
        };
        split(a, grownB, listA);
        split(b, grownA, listB);
        if (listA.empty() || listB.empty()) {
            for (keloPolygon& p : listA) out.Add(std::move(p), p.GetBox());
            for (keloPolygon& p : listB) out.Add(std::move(p), p.GetBox());
            return out;
        }
        detail::SetPolygons(nearA, listA);
        detail::SetPolygons(nearB, listB);
        std::vector<GM_Object> result;
        BoolOp2DObjects(&nearA, &nearB, kBoolUnion, result);
        PolygonList unioned;
        if (!result.empty()) detail::AppendPolygons(result[0], unioned);
        for (keloPolygon& p : unioned) {
            const Box b = p.GetBox();
            out.Add(std::move(p), b);
        }
        return out;
    }

    // The tree's merges at depth d weigh 0.4^d, which sums to about 5 over a balanced tree.
    void Progress(int depth) {
        m_sum += std::pow(0.4, depth);
        const int done = static_cast<int>(m_sum / 5 * 100);
        if (done != m_shown && done >= 1) {
            m_shown = done;
            _LWaitReMsg(KELO_GBK("预计剩余百分比：").c_str(), 100 - done);
        }
    }

    std::vector<Group>& m_leaves;
    double m_sum = 0;
    int m_shown = 0;
};

}  // namespace

int mergePolygons(const std::vector<GM_Object*>& objects, GM_Object& out) {
    if (objects.empty()) return 0;
    _LWaitMsg(KELO_GBK("合并多边形").c_str());
    Box all;
    for (const GM_Object* g : objects)
        if (g && g->GetPolygonCount() > 0) all.add(g->mbRegion());
    // Work near the origin so that the tolerance tests keep their meaning for large coordinates.
    const double cx = (all.minx + all.maxx) / 2, cy = (all.miny + all.maxy) / 2;
    std::vector<std::pair<uint64_t, keloPolygon>> order;
    for (const GM_Object* g : objects)
        for (int i = 0; g && i < g->GetPolygonCount(); ++i) {
            keloPolygon p(*g->GetOriginalPolygonAt(i));
            if (p.GetRingsCount() == 0) continue;
            const uint64_t key = Morton(p.GetBox(), all);
            Shift(p, -cx, -cy);
            order.emplace_back(key, std::move(p));
        }
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Group> leaves(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        const Box b = order[i].second.GetBox();
        leaves[i].Add(std::move(order[i].second), b);
    }
    PolygonList merged;
    if (!leaves.empty()) merged = std::move(Merger(leaves).Merge(0, leaves.size(), 0).polys);
    for (keloPolygon& p : merged) Shift(p, cx, cy);
    detail::SetPolygons(out, merged);
    _LWaitMsgEnd();
    return 1;
}

int UnionOfPolygons(const std::vector<WKBPolygon*>& in, std::vector<WKBPolygon*>& out) {
    GM_Object current;
    const int total = static_cast<int>(in.size());
    for (int i = 0; i < total; ++i) {
        if (!in[static_cast<size_t>(i)]) continue;
        const GM_Object next(*in[static_cast<size_t>(i)]);
        if (current.GetPolygonCount() == 0) {
            current = next;
            continue;
        }
        char text[64];
        std::snprintf(text, sizeof text, "%d - %d", total, i);
        CKeloWaitCursor wait(text);
        BoolOp2DGeometry(&current, &next, kBoolUnion, current);
    }
    for (int i = 0; i < current.GetPolygonCount(); ++i) out.push_back(DupWKBPolygon(current.GetOriginalPolygonAt(i)));
    return current.GetPolygonCount() > 0 ? 1 : 0;
}

}  // namespace kelo
