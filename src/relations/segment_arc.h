// Internal: the circle of an arc segment, shared by the segment operations.
#pragma once

#include "relations/segment.h"

namespace kelo::detail {

// Centre, radius, start angle (radians, about the centre) and signed sweep (positive
// counter-clockwise) of an arc segment.
struct SegCircle {
    double cx = 0, cy = 0, r = 0;
    double start = 0, sweep = 0;
};

// False for straight segments and for arcs whose points are collinear (those act as their chord).
bool SegArcCircle(const CsSegment& s, SegCircle& c);

// Angular distance from the arc's start to angle a, measured in the arc's sense of travel, in
// [0, 2pi).
double SegAngleFromStart(const SegCircle& c, double a);

// Whether q lies on the arc side of the chord (the side of the middle control point). The side
// test follows the plane rule with its 1e-8 threshold; a middle point that rule calls "on the
// chord" (a vanishing chord under a large arc) falls back to the exact sign.
int SegMiddleSide(const CsSegment& s);

}  // namespace kelo::detail
