// Neatening and parcel subdivision for scripts: check a geometry for defects, repair it, measure
// the area right of a line, place moved or turned cut lines, and cut polygons into parcels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "KeloGeomNet.h"

namespace kelo_tool {

// In the order of their host names (geoCheck ... geoPartition).
enum class PartitionFn { kCheck, kNeaten, kNeatenText, kAreaCut, kCutParallel, kCutRotate, kCutByLine, kPartition };

// Carries out one call: non-zero when the result cell holds the answer; zero, with the reason
// written to text, when the arguments are wrong.
intptr_t CallPartitionFunction(PartitionFn fn, kelo::Tdata* cells, const std::vector<int32_t>& args, int32_t result,
                               std::string& text);

}  // namespace kelo_tool
