// Resampling an integer grid onto another georeferenced grid, and sampling heights at points.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/point.h"
#include "kelo_api.h"

namespace kelo {

inline constexpr int kMaxReformSize = 60000;

// New grid of dstCols*dstRows cells (no extra element), or null for sizes outside 1..60000.
KELO_API int32_t* ReformDemNearest(const int32_t* src, int srcCols, int srcRows, double srcX0, double srcYTop,
                                   double srcCellX, double srcCellY, int dstCols, int dstRows, double dstX0,
                                   double dstYTop, double dstCellX, double dstCellY);
KELO_API int32_t* ReformDemWeighted(const int32_t* src, int srcCols, int srcRows, double srcX0, double srcYTop,
                                    double srcCellX, double srcCellY, int dstCols, int dstRows, double dstX0,
                                    double dstYTop, double dstCellX, double dstCellY);
// Bilinear value at a fractional (row, col), truncated toward zero; nodata when any of the four
// cells is outside or nodata.
KELO_API int32_t BilinearCell(const int32_t* dem, int cols, int rows, double row, double col);
// Sets each point's z to the bilinear cell value at its position (negative values become 0).
KELO_API void GetHValueFromElevs(const int32_t* dem, int cols, int rows, double x0, double yTop, double cellX,
                                 double cellY, std::vector<Point3D>& points);

}  // namespace kelo
