// Internal: the single-segment point tests that point runs need before the segment relations
// exist as a class. They follow the same rules as the segment view's point-overlap test.
#pragma once

#include "geometry/point.h"

namespace kelo::detail {

// 0 when p is not on the segment (two points, or three for an arc), 1 on its interior, 2 at its
// start, 3 at its end, all within eps.
int SegmentOverlapPt(const Point3D* seg, bool arc, const Point3D& p, double eps);

// Planar distance from p to the segment; foot receives the nearest point.
double SegmentDistance(const Point3D* seg, bool arc, const Point3D& p, Point3D* foot = nullptr);

// Direction (radians, [0, 2pi)) of the segment at its point q: the chord bearing for a straight
// segment, the tangent in the sense of travel for an arc.
double SegmentDirectionAt(const Point3D* seg, bool arc, const Point3D& q);

}  // namespace kelo::detail
