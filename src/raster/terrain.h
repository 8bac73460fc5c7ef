// Slope, aspect and shaded relief of integer elevation grids, and copying a grid into another.
// Grids are row-major, row 0 the northern row; cells equal to GetNodata() are skipped and kept.
#pragma once

#include <cstdint>

#include "kelo_api.h"
#include "raster/nodata.h"

namespace kelo {

// Direction code of a neighbour offset (aspect codes): 1 up-left, 2 up, ... 8 left, 0 none.
KELO_API int DirectionCode(int dr, int dc);

// New grid of rows*cols+1 cells. Methods 1 and 3 give per mille, 2 and 4 tenths of a degree;
// methods below 3 take the steepest neighbour, 3 and above the steepest central difference.
// cellA is the size of a row step, cellB of a column step.
KELO_API int32_t* DemSlope(const int32_t* dem, int cols, int rows, double cellA, double cellB, int zScale,
                           int method);
// New grid of downhill direction codes (method 1 steepest neighbour, others central differences).
KELO_API int32_t* DemAspect(const int32_t* dem, int cols, int rows, double cellA, double cellB, int method);
// New grid of brightness 0..250 with cast shadows; azimuth clockwise from north, whole degrees.
KELO_API int32_t* HillShade(const int32_t* dem, int cols, int rows, double cellX, double cellY, int azimuth,
                            int altitude, double zScale);
// Writes src cell (r, c) to dst (r + rowOffset, c + colOffset) where that lies inside dst; returns 1.
KELO_API int CopyDem(const int32_t* src, int srcCols, int srcRows, int32_t* dst, int dstCols, int dstRows,
                     int colOffset, int rowOffset);

}  // namespace kelo
