// Helpers the overlay files share: moving polygon lists in and out of geometry objects without
// the per-insertion rebuilds of the object's editing members.
#pragma once

#include <vector>

#include "geometry/geometry_object.h"

namespace kelo::detail {

using PolygonList = std::vector<keloPolygon>;

// Replaces g's content by the polygons, which are moved in: type 3 for one, 6 for several,
// empty for none.
void SetPolygons(GM_Object& g, PolygonList& polys);
// Appends copies of g's polygons.
void AppendPolygons(const GM_Object& g, PolygonList& polys);

}  // namespace kelo::detail
