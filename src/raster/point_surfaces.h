// Surfaces computed from scattered points: distance to the nearest point, a nearest-point map
// and a point density. Each fills the caller's grid of rows*cols cells.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/point.h"
#include "kelo_api.h"

namespace kelo {

// Each cell: distance to the nearest point in units of the smaller cell size (searched within a
// squared distance of 2e9); -1 for every cell when there is no point.
KELO_API void DemFindDistance(int32_t* out, int cols, int rows, double x0, double yTop, double cellX, double cellY,
                              std::vector<Point3D>& points);
// Gives each point a random colour in z, then each cell the colour of its nearest point.
KELO_API void DemProximityMapping(int32_t* out, int cols, int rows, double x0, double yTop, double cellX,
                                  double cellY, std::vector<Point3D>& points);
// Each cell: sum of z over points within radius, per pi*(radius/1000)^2; -1 where the sum is 0.
KELO_API void DemDensityFunction(int32_t* out, int cols, int rows, double x0, double yTop, double cellX,
                                 double cellY, std::vector<Point3D>& points, double radius);

}  // namespace kelo
