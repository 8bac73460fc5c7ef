// kelo geom VERB ... and kelo plot: geometry work on files and WKT from the command line.
#pragma once

#include <cstdio>

namespace kelo_tool {

// argv[0] is the verb; returns the process exit status.
int GeomCommand(int argc, char** argv);
// argv holds the files and options after "plot".
int PlotCommand(int argc, char** argv);
// The verb lines of the usage text.
void PrintGeomUsage(FILE* out);

}  // namespace kelo_tool
