// Bucketing of coordinates for the grid and band indexes of the overlay and relation engines.
#pragma once

#include <algorithm>
#include <cstddef>

namespace kelo::detail {

// The bucket of a position q given in bucket widths from the first bucket's start, clamped to
// the count buckets there are. A quotient that is NaN (an extent beyond the double range, a zero
// width) lands in bucket 0: casting it, or a value past the integer range, would be undefined.
inline size_t BucketOf(double q, size_t count) {
    return q >= 0 ? static_cast<size_t>(std::min(q, double(count - 1))) : 0;
}

}  // namespace kelo::detail
