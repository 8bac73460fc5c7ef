// Faces traced on a noded arrangement can come back with a ring that runs through one vertex
// twice: two lobes joined in a point, or a hole that meets its shell in a point. Most consumers
// (and every validity rule) want those as separate polygons, or as a shell with a touching hole.
#pragma once

#include <vector>

#include "geometry/parts.h"

namespace kelo::detail {

// Splits every straight ring of the face at vertices it passes twice (within eps) and regroups
// the loops: counter-clockwise loops are shells, clockwise loops holes of the shell that holds
// them. Appends the resulting polygons to out (a face without pinches comes back as it was).
void SplitPinchedFace(const keloPolygon& face, double eps, std::vector<keloPolygon>& out);

}  // namespace kelo::detail
