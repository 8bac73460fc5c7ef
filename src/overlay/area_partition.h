// Polygon partition by area, for parcel subdivision: where must a cut line lie, moved parallel to
// itself or turned about one end, so that a given area falls on its right-hand side. Rings are
// taken as the polygons through their stored points (curve control points count as vertices).
#pragma once

#include <vector>

#include "geometry/point.h"
#include "kelo_api.h"

namespace kelo {

class keloPolygon;
class GM_Object;

// Area of the polygon on the right-hand side of the infinite directed line (x1, y1) -> (x2, y2);
// holes count negatively. 0 for a null polygon, one without vertices, or non-finite input.
KELO_API double getAreaCutPolygon(const keloPolygon* polygon, double x1, double y1, double x2, double y2);

// The line carried perpendicular to itself until its right-hand side holds `area` (within
// eps * 0.001 when 100 halvings reach it). 1 with the carried end points written; 0, writing nothing,
// unless eps < area < polygon area - eps and the line is longer than eps in x or y.
KELO_API int cutPolygonByAreaParallelMove(const keloPolygon* polygon, double x1, double y1, double x2, double y2,
                                          double area, double& ox1, double& oy1, double& ox2, double& oy2,
                                          double eps);

// The line P-Q turned about P until its right-hand side holds `area`; the new Q lies at |PQ| from
// P. Of all directions that cut off the area, the one nearest to the direction of Q is taken. 1 with
// (oqx, oqy) written; 0 when rejected as in the parallel search or when no direction cuts off the
// area (P outside and the area out of reach).
KELO_API int cutPolygonByAreaRotate(const keloPolygon* polygon, double px, double py, double qx, double qy,
                                    double area, double& oqx, double& oqy, double eps);

// Brings the polygon's area to `area` within max(1, area) * tolerance. With an empty `points` the
// polygon is scaled about its area centre. Otherwise `points` names vertices of the polygon (matched
// within 1e-6 of the box size) that move together perpendicular to the line through the first two
// of them, like one side of a parcel pushed out or pulled in; `points` then receives their new
// places. 1 on success (at once when the area already fits); 0, polygon and points unchanged, for
// a null or empty polygon, an area not above 0, a named point that is no vertex, or no position of
// the side that meets the area.
KELO_API int changeAreaOfPolygon(keloPolygon* polygon, std::vector<Point3D>& points, double area, double tolerance);

// Splits the polygon along the infinite line through (x1, y1) and (x2, y2) into polygons, each
// bounded by pieces of the rings and of the line (noded within eps). They are appended to out as new
// objects the caller owns; returns how many. A line missing the polygon gives one piece, the
// polygon itself. 0, appending nothing, for a null or empty polygon, non-finite input, or end
// points not farther apart than eps.
KELO_API int cutPolygonByLine(const keloPolygon* polygon, double x1, double y1, double x2, double y2,
                              std::vector<GM_Object*>& out, double eps);

}  // namespace kelo
