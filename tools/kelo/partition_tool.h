// Parcel subdivision and geometry neatening over whole objects, shared by the `kelo geom` verbs and
// the script host functions.
#pragma once

#include <string>
#include <vector>

#include "KeloGeomNet.h"

namespace kelo_tool {

// Every option of the neatening on at tolerance eps (overlapping vertices, single-point and
// zero-length lines, two-point and zero-area polygons, self-intersections and spikes).
kelo::CGeometryNeatenSet FullNeaten(double eps, bool checkOnly);

// The check-only code of the first defect of g (0 when clean) and its text (GBK); g is not
// changed, except that empty parts are dropped from the copy checked.
int CheckGeometry(const kelo::GM_Object& g, double eps, std::string& text);

// Splits the first polygon of g into parcels of `area` each, plus the remainder as a last,
// smaller parcel. Boundaries are the line (x1, y1)-(x2, y2) moved parallel to itself (turn false)
// or turned about (x1, y1) (turn true), placed so that the k-th boundary cuts off k parcels'
// worth on its right-hand side. Each parcel is one object (a multi-polygon where a boundary
// leaves it in several pieces). False, with the reason, when g holds no polygon, area is not
// positive or a boundary cannot be placed.
bool PartitionByArea(const kelo::GM_Object& g, double x1, double y1, double x2, double y2, double area, bool turn,
                     std::vector<kelo::GM_Object>& parcels, std::string& error);

}  // namespace kelo_tool
