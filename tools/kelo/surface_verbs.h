// kelo raster contour, grid, viewshed and profile: contour lines to vector files, grids
// interpolated from points, what an observer sees, and terrain profiles.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "geo_files.h"
#include "raster_command.h"

namespace kelo_tool {

// Options every surface verb takes a value for.
extern const char* const kSurfaceOptions[];
extern const size_t kSurfaceOptionCount;

// Runs a surface verb; -1 when verb is not one of them, else the exit status.
int SurfaceVerb(const std::string& verb, const std::vector<std::string>& positional,
                const std::map<std::string, std::string>& values);
void PrintSurfaceUsage(FILE* out);

// The contour lines of a grid whose cells are heights * zscale, one feature per line, with their
// heights in elev. False (with error) when the interval gives no or too many levels.
bool ContourLines(const RasterGrid& g, double zscale, double interval, GeoLayer& out, std::vector<double>& elev,
                  std::string& error);
// 1 for cells seen from the world point (x, y) with eyes height units above the ground, 0 for
// hidden ones, kRasterNodata where the grid has none. False (with error) for an observer off the
// grid or grids under 10 cells a side.
bool Viewshed(const RasterGrid& g, double zscale, double x, double y, double height, std::vector<int32_t>& seen,
              std::string& error);

}  // namespace kelo_tool
