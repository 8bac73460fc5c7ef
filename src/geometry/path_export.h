// Exporting point runs to drawing paths.
#pragma once

#include "geometry/point_run.h"
#include "platform/graphics_path.h"

namespace kelo {

// Circle of three device points as its bounding square, start angle and signed sweep in degrees
// (positive towards +y); false when the points are collinear.
KELO_API bool Convert3PArc(const GpPointF* pts, float& x, float& y, float& w, float& h, float& start, float& sweep);

// Adds the run to the path in device units ((x - ox) / scale, (y - oy) / scale). For straight runs,
// points that fall on the same integer device position as the previous kept point are dropped, and
// a point continuing the integer line of the last two kept points replaces the last one. Curves keep
// every control point and are added as the path's own curve kinds. A failing path call leaves its status in path->lastStatus. Returns the number of
// device points handed to the path.
KELO_API int klAddPoints2Path(const keloPoints* run, GraphicsPath* path, double ox, double oy, double scale);

// Adds every part of a multi-part line in one figure, closed when the line is; returns the part
// count.
KELO_API int klAddParts2Path(const keloParts* parts, GraphicsPath* path, double ox, double oy, double scale);

}  // namespace kelo
