#include "relations/segment_tally.h"

#include "relations/segment.h"

namespace kelo {

SegContactTally& SegIntersectTally() {
    static SegContactTally tally;
    return tally;
}

bool IsSegIntersect(uint8_t* endStart, uint8_t* endEnd, uint8_t* touch, uint8_t* cross) {
    const SegContactTally& t = SegIntersectTally();
    if (endStart) *endStart = t.endStart;
    if (endEnd) *endEnd = t.endEnd;
    if (touch) *touch = t.touch;
    if (cross) *cross = t.cross;
    // One end meeting one end is a plain joint; anything more is a real contact.
    return t.touch || t.cross || t.endStart > 1 || t.endEnd > 1;
}

uint8_t IsSegOverlapAndReset() {
    uint8_t flag = SegIntersectTally().overlap;
    SegIntersectTally().overlap = 0;
    return flag;
}

}  // namespace kelo
