// Delaunay triangulation of height points (with breaklines), of the inside of polygons, and a
// batch point-in-polygon test. Triangle lists hold three consecutive points per triangle, each
// triangle counter-clockwise.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/parts.h"
#include "geometry/point.h"
#include "kelo_api.h"

namespace kelo {

class GM_Object;

// Replaces triangles with the Delaunay triangles of the points. Points whose x and y agree to
// 1e-8 become one point carrying their mean z. breaklines holds two points per segment; every
// breakline segment comes out as a chain of triangle edges. Fewer than 3 distinct points, or
// points all on one line, give no triangle.
KELO_API void DelaunayTriangulation(const std::vector<Point3D>& points, std::vector<Point3D>& triangles,
                                    const std::vector<Point3D>& breaklines);
// Replaces triangles with triangles covering exactly the inside of the polygon (holes left out).
KELO_API void DelaunayPolygonTriangulation(keloPolygon& polygon, std::vector<Point3D>& triangles);
// Replaces triangles with the triangles of every polygon of the object, one polygon after another.
KELO_API void DelaunayGeometryTriangulation(GM_Object& object, std::vector<Point3D>& triangles);
// flags gets one entry per point: 1 inside the polygon or on its boundary (within 1e-8), else 0.
KELO_API void checkPointInsidePolygon_Faster(keloPolygon& polygon, std::vector<Point3D>& points,
                                             std::vector<uint8_t>& flags);

namespace detail {
// The points sorted by (x, y) quantised to 1e-8 with coincident points merged (mean z).
KELO_API std::vector<Point3D> MergedSortedPoints(const std::vector<Point3D>& points);
// Delaunay triangles over sorted, merged points as index triples (counter-clockwise).
KELO_API std::vector<int> DelaunayIndexTriangles(const std::vector<Point3D>& sorted);
// Triangles of one simple ring (no closing point), by ear clipping; degenerate ears are dropped.
void TriangulateRing(std::vector<Point3D> ring, std::vector<Point3D>& triangles);
}  // namespace detail

}  // namespace kelo
