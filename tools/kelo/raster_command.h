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

// Writes heights (cells / zscale, in the file's units) as 64-bit floats, so no fraction of the
// z scale is lost; the same georeferencing, nodata and temporary-and-rename as WriteRaster.
bool WriteHeights(const std::string& path, const RasterGrid& g, const int32_t* cells, double zscale,
                  std::string& error);

// g resampled (bilinear, or nearest) onto square cells of size cell over the same extent, in the
// same cell units; false with the reason for a bad size.
bool ResampleGrid(const RasterGrid& g, double cell, bool nearest, RasterGrid& out, std::string& error);

// Class breaks and per-class counts of g's cells by Classification (breaks in and out in cell
// units); with numberCells every valid cell is replaced by its class number. False when the
// library refuses.
bool ClassifyGrid(RasterGrid& g, int method, int classes, int32_t unit, std::vector<uint32_t>& breaks,
                  std::vector<uint32_t>& counts, bool numberCells);

// Statistics of a set of cells, in cell units; cells is 0 when none is valid.
struct CellStats {
    std::string name;
    size_t cells = 0;
    int32_t majority = 0, minority = 0, maximum = 0, minimum = 0, range = 0, mean = 0, median = 0, deviation = 0,
            variety = 0;
    double sum = 0;
};

// One entry per polygon of each feature of the vector file, named LAYER:FID.
bool ZonalGrid(const RasterGrid& g, const std::string& polygons, std::vector<CellStats>& zones, std::string& error);

// argv[0] is the verb; returns the process exit status.
int RasterCommand(int argc, char** argv);
void PrintRasterUsage(FILE* out);

}  // namespace kelo_tool
