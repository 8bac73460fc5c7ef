// Polygons of the regions of equal value of an integer grid. Cell (r, c) covers the square from
// (x0 + c cellX, yTop - r cellY) to (x0 + (c + 1) cellX, yTop - (r + 1) cellY); a region is a set
// of cells of one value joined through their sides.
#pragma once

#include <cstdint>

#include "geometry/parts.h"
#include "kelo_api.h"

namespace kelo {

using RegionSink = void (*)(keloPolygon* polygon, void* user);

// Emits one polygon per region (with its holes), row-major order of the regions' first cells;
// each polygon is destroyed after emit returns. Boundaries are thinned at
// min(cellX, cellY) * factor. A region whose cells enclose a hole they touch only at corners comes
// out as one polygon per face. Returns 1, or 0 for an empty or missing grid.
KELO_API int GetPolygonsFromDem(const int32_t* grid, int cols, int rows, double x0, double yTop, double cellX,
                                double cellY, int zScale, RegionSink emit, void* user, double factor);
// The region containing (px, py) into out (replaced). Returns 0 when the point is outside the grid
// or on nodata.
KELO_API int GetOnePolygonByPt(const int32_t* grid, int cols, int rows, double x0, double yTop, double cellX,
                               double cellY, double px, double py, keloPolygon& out, int zScale, double factor);

namespace detail {
// Removes points of an open or closed chain that lie within tol of the simplified line (ends kept).
void ThinRegionChain(std::vector<Point3D>& chain, double tol);
}  // namespace detail

}  // namespace kelo
