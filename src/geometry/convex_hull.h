// Convex hull of a point array.
#pragma once

#include "geometry/point.h"

namespace kelo {

// Reorders the array so that its hull vertices come first, counter-clockwise from the lowest-left
// point, and returns their number (collinear boundary points are not vertices). Non-finite points
// are ignored; fewer than three distinct points give those points.
KELO_API int GetConvexHullOfPoints(Point3D* points, int count);

}  // namespace kelo
