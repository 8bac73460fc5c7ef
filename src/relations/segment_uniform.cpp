// The recentring overloads for segments live with the segment view: the extent takes the
// segment's box (an arc's bulge included), and the shift moves every stored point.
#include "relations/segment.h"
#include "transform/uniform_coordinate.h"

namespace kelo {

void UniformCoordinate::Add(const CsSegment& seg) {
    if (seg.points) extent.add(seg.GetBox());
}

void UniformCoordinate::Uniform(CsSegment& seg) const {
    if (seg.points) Uniform(seg.points, static_cast<uint32_t>(seg.PtCount()));
}

void UniformCoordinate::UniformInv(CsSegment& seg) const {
    if (seg.points) UniformInv(seg.points, static_cast<uint32_t>(seg.PtCount()));
}

}  // namespace kelo
