// Contour lines of integer elevation grids and grids interpolated back from contour lines.
// Contours run on the lattice of cell centres: cell (r, c) has its centre at
// (x0 + (c + 0.5) * cellX, yTop - (r + 0.5) * cellY), and every contour vertex lies on the segment
// between two neighbouring centres, at the linearly interpolated level.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/point.h"
#include "kelo_api.h"

namespace kelo {

class GM_Object;

// Most levels one call traces; finer intervals are refused.
inline constexpr int kMaxContourLevels = 30000;

using ContourSink = void (*)(std::vector<Point3D>* contour, void* user);

// Every contour at multiples of interval (heights are cell values / zScale), each handed to emit
// as world points with z the level; the array lives only during the call. A contour that closes
// repeats its first point. Returns 1, or 0 without calling emit for grids under 2 x 2, a zero or
// negative step, more than 30000 levels, or grids too large to index their lattice edges.
// extra is accepted and unused.
KELO_API int CreateDgxFromDem(const int32_t* dem, int cols, int rows, double x0, double yTop, double cellX,
                              double cellY, double interval, int zScale, ContourSink emit, void* user,
                              double extra);
// The contour through the cell under (px, py), half a unit from its value towards the cell to its
// right (or below it when the right one is missing). out is replaced; returns nonzero when the
// contour has at least 2 points, 0 when the cell is outside or nodata or its neighbour differs by
// less than one unit.
KELO_API int CreateOneDgxByPt(const int32_t* dem, int cols, int rows, double x0, double yTop, double cellX,
                              double cellY, double px, double py, std::vector<Point3D>& out, int zScale);
// Fills the caller's grid (cell (r, c) at (x0 + c cellX, yTop - r cellY)) by interpolating the
// contour lines' heights along rows and columns, the closer pair of crossings weighing more.
// When the lowest contour is not above 0, all heights are raised (100, 1000, 10000 or 100000) and
// a message says so. Cells no contour brackets are nodata. Returns 1.
KELO_API int MakeGridDemFromDgx(int32_t* out, int cols, int rows, double x0, double yTop, double cellX,
                                double cellY, double zScale, std::vector<GM_Object*>& contours);

namespace detail {
// Drops a point while it lies within 0.001 of the length of the chord that would replace it.
void ThinContour(std::vector<Point3D>& points);
}  // namespace detail

}  // namespace kelo
