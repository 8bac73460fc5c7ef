// Noding and face building over a whole set of geometries, shared by the `kelo geom` verbs and
// the script host functions.
#pragma once

#include <vector>

#include "KeloGeomNet.h"

namespace kelo_tool {

// The lines of all geometries (polygon rings included) noded at tol and chained into lines
// between junctions; returns false for a negative or non-finite tolerance.
bool NodeLines(const std::vector<const kelo::GM_Object*>& in, double tol, std::vector<kelo::GM_Object>& out);
// The bounded faces of those noded lines, one polygon each.
bool PolygonizeLines(const std::vector<const kelo::GM_Object*>& in, double tol, std::vector<kelo::GM_Object>& out);

}  // namespace kelo_tool
