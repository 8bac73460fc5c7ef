// The segment view of a multi-part line: kept apart from the part editing so the geometry
// classes need the relations code only here.
#include "geometry/parts.h"
#include "relations/segment.h"

namespace kelo {

int keloParts::GetSegment(int i, CsSegment& seg) const {
    int local = 0;
    keloPoints* part = GetPointsWithSegAt(i, local);
    if (part == nullptr) return 0;
    seg = CsSegment(part, local);
    return 1;
}

}  // namespace kelo
