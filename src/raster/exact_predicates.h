// Orientation and in-circle tests that never answer wrongly: a floating-point filter decides the
// clear cases and exact expansion arithmetic the rest, so triangulations stay consistent on
// duplicates, collinear runs and cocircular points.
#pragma once

#include "geometry/point.h"
#include "kelo_api.h"

namespace kelo::detail {

// Sign of twice the signed area of (a, b, c): positive when counter-clockwise.
KELO_API int Orient2dSign(const Point3D& a, const Point3D& b, const Point3D& c);
// Positive when d lies strictly inside the circle through a, b, c (counter-clockwise), negative
// outside, zero on it.
KELO_API int InCircleSign(const Point3D& a, const Point3D& b, const Point3D& c, const Point3D& d);

}  // namespace kelo::detail
