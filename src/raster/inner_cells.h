// The grid cells whose points lie inside a polygon (holes excluded), by scan lines over the rows.
#pragma once

#include <cstdint>
#include <vector>

#include "kelo_api.h"

namespace kelo {

class keloPolygon;

// Empties cells, then appends (row, column) pairs from the last row up to row 0; a cell point
// within tolerance of a crossing counts as inside. Returns 1 when some cell is listed, else 0.
KELO_API int GetAllInnerPoint(const keloPolygon& area, int cols, int rows, double x0, double yTop, double cellX,
                              double cellY, double tolerance, std::vector<uint32_t>& cells);
// Writes value into every listed cell; same result as GetAllInnerPoint.
KELO_API int FillAllInnerPoint(const keloPolygon& area, int32_t* grid, int cols, int rows, double x0, double yTop,
                               double cellX, double cellY, double tolerance, int32_t value);

// Surface area of the valid cells inside the polygon: each cell adds the mean of a quarter of its
// triangles' cross-product lengths. 0 when no cell is listed.
KELO_API int GetSurfaceArea(const keloPolygon& area, const int32_t* dem, int cols, int rows, double x0, double yTop,
                            double cellX, double cellY, double tolerance, double zScale, double& result);
// Sums of baseHeight - h over cells above the base (fill) and h - baseHeight below it (cut), both
// zero or negative and not multiplied by the cell area. 0 when no cell is listed.
KELO_API int GetUDVolume(const keloPolygon& area, double baseHeight, const int32_t* dem, int cols, int rows,
                         double x0, double yTop, double cellX, double cellY, double tolerance, double zScale,
                         double& fill, double& cut);

}  // namespace kelo
