// Lines as the segment view reads them exactly: arcs stay arcs, and the curves the view cannot
// read (Bezier, ellipse, spline) become their discretised polylines. The crossing tests of point
// runs and multi-part lines, and the part-level segment relations, walk these.
#pragma once

#include <algorithm>
#include <numeric>
#include <vector>

#include "geometry/box.h"
#include "geometry/parts.h"
#include "relations/segment.h"

namespace kelo::detail {

// A copy of run that the segment view reads exactly: repeated points dropped, a three-point
// circle or an even arc chain completed, other curves discretised at eps.
keloPoints SegmentReadyRun(const keloPoints& run, double eps);

// The segments of a line in order, over copies of its runs that this object owns.
class LineSegments {
public:
    LineSegments(const keloParts& line, double eps);
    LineSegments(const keloPoints& run, double eps);
    LineSegments(const LineSegments&) = delete;
    LineSegments& operator=(const LineSegments&) = delete;

    size_t size() const { return segs_.size(); }
    const CsSegment& operator[](size_t i) const { return segs_[i]; }
    const Box& box(size_t i) const { return boxes_[i]; }

private:
    void Add(const keloPoints& run, double eps);
    void Index();
    std::vector<keloPoints> runs_;
    std::vector<CsSegment> segs_;
    std::vector<Box> boxes_;
};

// Calls f(i, j) for every pair of segments whose boxes meet within eps: pairs i < j within a (b
// null), or i of a with j of b. A sweep over the left box edges keeps this near-linear for lines
// that do not fold back on themselves. Stops and returns true when f does.
template <class F>
bool ForEachNearPair(const LineSegments& a, const LineSegments* b, double eps, F f) {
    struct Item {
        const Box* box;
        size_t index;
        bool fromB;
    };
    std::vector<Item> all;
    all.reserve(a.size() + (b ? b->size() : 0));
    for (size_t i = 0; i < a.size(); ++i) all.push_back({&a.box(i), i, false});
    if (b)
        for (size_t j = 0; j < b->size(); ++j) all.push_back({&b->box(j), j, true});
    std::sort(all.begin(), all.end(), [](const Item& x, const Item& y) { return x.box->minx < y.box->minx; });
    for (size_t i = 0; i < all.size(); ++i)
        for (size_t j = i + 1; j < all.size() && all[j].box->minx <= all[i].box->maxx + eps; ++j) {
            const Item &x = all[i], &y = all[j];
            if (b && x.fromB == y.fromB) continue;
            if (!IsBoxIntersect(*x.box, *y.box, eps)) continue;
            bool stop = !b ? f(std::min(x.index, y.index), std::max(x.index, y.index))
                           : (x.fromB ? f(y.index, x.index) : f(x.index, y.index));
            if (stop) return true;
        }
    return false;
}

}  // namespace kelo::detail
