// Sight on elevation grids: the cells an observer sees, terrain profiles under lines, and the
// visible and hidden stretches between an observer and a target. Heights come from the bilinear
// sampler (nodata where any of the four surrounding cells is missing).
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/point.h"
#include "geometry/point_run.h"
#include "kelo_api.h"

namespace kelo {

// Sets every cell the observer (at cell (observerRow, observerCol), eyes observerHeight raw
// units above it) sees, and the observer's own cell, to mark; others keep their value. Sight is
// judged in 1000 angular sectors around the observer. Returns 1, or 0 for grids under 10 cells in
// either direction, grids of 60000 or more in both, and observers outside the grid or on nodata.
KELO_API int VisibleRange(int observerRow, int observerCol, int rows, int cols, const int32_t* dem, int32_t* out,
                          int observerHeight, int mark);
// Replaces profile with terrain samples every (cellX + cellY) / 2 from a to b, b itself last;
// samples over nodata are left out. Returns 0 (profile untouched) for a line shorter than 1e-8,
// non-positive cell sizes, or more than 100 million samples.
KELO_API int DemSectionOfLine(const int32_t* dem, int cols, int rows, double x0, double yTop, double cellX,
                              double cellY, Point3D a, Point3D b, std::vector<Point3D>& profile);
// The profile along a polyline: the segments' profiles one after another, a joint sample that
// repeats the previous segment's last sample taken once. Returns 1.
KELO_API int DemSectionOfLines(const int32_t* dem, int cols, int rows, double x0, double yTop, double cellX,
                               double cellY, keloPoints& line, keloPoints& profile);
// sight gets the profile from observer to target as (distance along the line, height) with the
// eye and target heights added at the ends, plus a vertex wherever a hidden stretch ends;
// visible gets 1 for each vertex seen from the observer, 0 for hidden ones. Returns 1 (with both
// empty when the line has no profile).
KELO_API int LineOfSight(const int32_t* dem, int cols, int rows, double x0, double yTop, double cellX, double cellY,
                         Point3D observer, double observerHeight, Point3D target, double targetHeight,
                         keloPoints& sight, std::vector<uint8_t>& visible);

}  // namespace kelo
