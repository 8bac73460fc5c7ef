// The road search's priority queue: the documented 1-based binary min-heap with lazy deletion.
// Which of several equal-cost routes a search returns depends on the exact order its entries
// leave the heap, so any faster form must leave every entry where the plain one would.
#pragma once

#include <cstdint>
#include <limits>

namespace kelo::detail {

// The documented 1-based binary min-heap on the cost: an entry moves above its parent only while
// strictly cheaper; going down, the right child is chosen only when strictly cheaper than the
// left, and the moving entry stops above the first chosen child it is not dearer than. Entries
// move into a hole instead of being swapped, which leaves every entry where swaps would.
template <class Entry>
inline void HeapPushAt(Entry* h, int64_t& count, const Entry& x) {
    int64_t i = ++count;
    while (i > 1) {
        const int64_t p = i >> 1;
        if (!(x.cost < h[p].cost)) break;
        h[i] = h[p];
        i = p;
    }
    h[i] = x;
}

// The last entry x replaces the top and goes down the path of chosen children. The path's costs
// never fall, so x stops above the first path entry e with x <= e; here the hole first runs down
// the whole path and x then comes back up past every path entry e with x <= e, which is the same
// place, with one comparison per level on the way down instead of two. The slot past the end
// holds an infinite cost while the hole runs down, so that a lone left child is chosen without a
// bounds test. Costs in the heap are never NaN.
template <class Entry>
inline Entry HeapPopAt(Entry* h, int64_t& count) {
    const Entry top = h[1];
    const Entry x = h[count];
    const int64_t n = --count;
    if (n == 0) return top;
    h[n + 1].cost = std::numeric_limits<float>::infinity();
    int64_t i = 1;
    for (int64_t c = 2; c <= n; c = 2 * i) {
        c += h[c + 1].cost < h[c].cost ? 1 : 0;
        h[i] = h[c];
        i = c;
    }
    while (i > 1) {
        const int64_t p = i >> 1;
        if (!(x.cost <= h[p].cost)) break;
        h[i] = h[p];
        i = p;
    }
    h[i] = x;
    return top;
}

}  // namespace kelo::detail
