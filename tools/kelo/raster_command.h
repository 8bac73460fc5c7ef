// kelo raster VERB ...: terrain derivatives, resampling, classes and statistics of raster files.
#pragma once

#include <cstdio>

namespace kelo_tool {

// argv[0] is the verb; returns the process exit status.
int RasterCommand(int argc, char** argv);
void PrintRasterUsage(FILE* out);

}  // namespace kelo_tool
