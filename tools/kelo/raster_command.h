// kelo raster VERB ...: terrain derivatives, resampling, classes and statistics of raster files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kelo_tool {

// Real data never reaches this value after scaling, so it is free to mark missing cells.
constexpr int32_t kRasterNodata = -2147483647;

// A raster band as the library's integer grid, with the georeferencing to write results back.
struct RasterGrid {
    int cols = 0, rows = 0;
    double x0 = 0, yTop = 0, cellX = 1, cellY = 1;  // cell-centre georeferencing
    double geo[6] = {0, 1, 0, 0, 0, -1};
    std::string wkt;
    std::vector<int32_t> cells;
};

// Reads band bandNo of any raster GDAL reads as integers value * zscale, rounded; missing or
// unrepresentable cells become kRasterNodata.
bool ReadRaster(const std::string& path, double zscale, int bandNo, RasterGrid& g, std::string& error);

// Writes cells (cols x rows of g) as a GeoTIFF, or a PNG for a .png name (bytes only), with g's
// georeferencing. Bytes are clamped to 0..250, nodata written as 255. The output is replaced only
// when the whole write succeeded.
bool WriteRaster(const std::string& path, const RasterGrid& g, const int32_t* cells, bool bytes, std::string& error);

// argv[0] is the verb; returns the process exit status.
int RasterCommand(int argc, char** argv);
void PrintRasterUsage(FILE* out);

}  // namespace kelo_tool
