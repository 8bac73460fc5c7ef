// Drainage of integer elevation grids: depression filling, single-direction flow codes, flow
// accumulation, stream cells, downstream flow length and watershed labels.
//
// Every function takes the grid, its column and row counts, leaves the grid untouched and returns a
// new grid of rows*cols+1 cells (released with array delete). Cells equal to GetNodata() are nodata
// in every output. The derived functions work on the filled grid; grids below 10 x 10 cells or wider
// than 60000 columns are not filled, and their pits simply have no outflow. Grids of 2^32 cells or
// more, a null grid and non-positive sizes give null.
#pragma once

#include <cstdint>
#include <vector>

#include "kelo_api.h"
#include "raster/nodata.h"

namespace kelo {

inline constexpr int kMinFillSize = 10;
inline constexpr int kMaxFillCols = 60000;

// Neighbour k = 0..7 (up, down, left, right, up-right, down-left, up-left, down-right): its row and
// column offsets and its flow code. k and k ^ 1 are opposite neighbours.
inline constexpr int kFlowDr[8] = {-1, 1, 0, 0, -1, 1, -1, 1};
inline constexpr int kFlowDc[8] = {0, 0, -1, 1, 1, -1, -1, 1};
inline constexpr int kFlowCode[8] = {16, 1, 4, 64, 32, 2, 8, 128};

// The least depression-free surface: every cell raised to the lowest level from which water can
// leave the grid across its edge or into a nodata cell.
KELO_API int32_t* FillSinks(const int32_t* dem, int cols, int rows);
// Flow code of each cell of the filled grid: the steepest drop (leaving the grid or into nodata
// first), the smaller code on ties; flats drain towards the nearest cell that drains; 0 where
// nothing drains.
KELO_API int32_t* FlowDirection(const int32_t* dem, int cols, int rows);
// Number of cells draining through each cell, itself included.
KELO_API int32_t* FlowAccumulation(const int32_t* dem, int cols, int rows);
// 200 where the longest upstream path (1 a straight step, sqrt 2 a diagonal) reaches threshold.
KELO_API int32_t* StreamNetwork(const int32_t* dem, int cols, int rows, double threshold);
// Downstream path length to where the water leaves the grid, scaled so the longest is 200.
KELO_API int32_t* FlowLength(const int32_t* dem, int cols, int rows);
// Basin of each cell: outlets (cells leaving the grid or into nodata with an accumulation of at
// least threshold) numbered in cell order and spread over 1..200 when there are at most 200; 0 for
// cells that reach no such outlet.
KELO_API int32_t* Watershed(const int32_t* dem, int cols, int rows, int threshold);

// Cell indexes of a grid of flow codes (as FlowDirection gives) such that each cell comes after
// every cell draining into it; nodata cells are left out. The downstream cell of a code is the
// neighbour of its first set direction in k order.
KELO_API std::vector<uint32_t> FlowOrder(const int32_t* directions, int cols, int rows);

}  // namespace kelo
