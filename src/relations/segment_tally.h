// The contact tallies the noding pass keeps for IsSegIntersect and IsSegOverlapAndReset.
// Process-wide and unguarded, like the other relation flags.
#pragma once

#include <cstdint>

#include "kelo_api.h"

namespace kelo {

struct SegContactTally {
    uint8_t endStart = 0;  // end-to-end contacts at A's start
    uint8_t endEnd = 0;    // end-to-end contacts at A's end
    uint8_t touch = 0;
    uint8_t cross = 0;
    uint8_t overlap = 0;   // one-byte flag
};

// The one tally; the noding pass resets and counts into it.
KELO_API SegContactTally& SegIntersectTally();

}  // namespace kelo
