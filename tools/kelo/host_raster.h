// Raster grids for scripts: a script reads an elevation file into a grid, derives slope, aspect,
// shaded relief, drainage or a viewshed from it, writes its contour lines to a vector file, asks
// for its statistics, classes, resampled copies and statistics inside polygons, and writes grids
// as GeoTIFF. Grids live until the script frees them or the run ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "KeloGeomNet.h"

namespace kelo_tool {

// In the order of their host names (rasterRead ... rasterFree, rasterFill ... rasterWatershed,
// rasterContours, rasterViewshed, rasterClassify, rasterResample, rasterZonal).
enum class RasterFn {
    kRead, kSlope, kAspect, kHillShade, kWrite, kStats, kFree,
    kFill, kFlowDir, kFlowAcc, kStreams, kFlowLength, kWatershed,
    kContours, kViewshed,
    kClassify, kResample, kZonal,
    kEnd,  // not a function: the first number after the raster functions
};

// Carries out one call: non-zero when the result cell holds the answer; zero, with the reason
// written to text, when the arguments are wrong or a file cannot be read or written.
intptr_t CallRasterFunction(RasterFn fn, kelo::Tdata* cells, const std::vector<int32_t>& args, int32_t result,
                            std::string& text);

// Drops every grid of the run.
void FreeRasters();

}  // namespace kelo_tool
