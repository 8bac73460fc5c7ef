// Elevation grids from scattered height points: inverse-distance weighting over all points, and
// linear interpolation on the points' Delaunay triangles. Cell (r, c) stands for the point
// (x0 + c * cellX, yTop - r * cellY); z is taken in raw cell units.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/point.h"
#include "kelo_api.h"

namespace kelo {

// Modified Shepard weighting: w = ((R - d) / (R d))^2 with R the farthest point's distance. Cells
// on a point take its z; cells where every weight is 0 (one point, or all points equally far)
// take the mean z. Returns 0 and leaves out untouched when there is no point, else 1.
KELO_API int SurfaceCreateIDW(std::vector<Point3D>& points, int cols, int rows, double x0, double yTop, double cellX,
                              double cellY, int32_t* out);
// Plane heights of the triangle over each cell, truncated toward zero; cells outside the
// triangulation (all of them with fewer than 3 distinct points) are nodata. Returns 1.
KELO_API int SurfaceCreateLinear(std::vector<Point3D>& points, int cols, int rows, double x0, double yTop,
                                 double cellX, double cellY, int32_t* out);
// The same result, found cell by cell with a containing-triangle test.
KELO_API int SurfaceCreateLinearSlower(std::vector<Point3D>& points, int cols, int rows, double x0, double yTop,
                                       double cellX, double cellY, int32_t* out);

}  // namespace kelo
