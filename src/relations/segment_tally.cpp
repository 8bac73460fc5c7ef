#include "relations/segment_tally.h"

#include "relations/segment.h"

namespace kelo {

namespace detail {

SegContactTally& SegTally() {
    static SegContactTally tally;
    return tally;
}

}  // namespace detail

bool IsSegIntersect(uint8_t* endStart, uint8_t* endEnd, uint8_t* touch, uint8_t* cross) {
    const detail::SegContactTally& t = detail::SegTally();
    if (endStart) *endStart = t.endStart;
    if (endEnd) *endEnd = t.endEnd;
    if (touch) *touch = t.touch;
    if (cross) *cross = t.cross;
    // One end meeting one end is a plain joint; anything more is a real contact.
    return t.touch || t.cross || t.endStart > 1 || t.endEnd > 1;
}

uint8_t IsSegOverlapAndReset() {
    uint8_t flag = detail::SegTally().overlap;
    detail::SegTally().overlap = 0;
    return flag;
}

}  // namespace kelo
