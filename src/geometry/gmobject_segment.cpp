// The segment view of the object's parts: kept apart so the object needs the relations code only here.
#include "geometry/geometry_object.h"
#include "relations/segment.h"

namespace kelo {

int GM_Object::GetSegment(int part, int seg, CsSegment& out) const {
    int isRing = 0;
    const keloParts* line = GetOriginalPartsAt(&isRing, part);
    return line ? line->GetSegment(seg, out) : 0;
}

}  // namespace kelo
