// Inside the nine-intersection engine: one side of a relation as the engine reads it (areas as
// lists of rings, lines, points and the free line ends), point location, and the matrix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "geometry/box.h"
#include "geometry/point.h"
#include "relations/nine_intersection.h"

namespace kelo::detail {

// Locations, in the order of the matrix rows and columns.
enum Loc : int { kLocInterior = 0, kLocBoundary = 1, kLocExterior = 2 };

struct RelRing {
    const C9iPartsIndex* index;
    bool leftInterior;  // the area lies on the left of the ring's direction of travel
};

// The holes of a polygon that has many, bucketed by a grid over the polygon's box: a point is
// tested against the holes whose boxes reach its cell instead of every hole (a lake with ten
// thousand islands would otherwise look at every island for every point).
struct HoleGrid {
    Box box;
    size_t side = 0;
    std::vector<std::vector<uint32_t>> cells;  // hole numbers in ring order; empty: no grid
    size_t Cell(double v, int axis) const;
};

struct RelGeom {
    std::vector<std::vector<RelRing>> polygons;  // outer ring first, then holes
    std::vector<Box> polygonBoxes;
    std::vector<HoleGrid> holeGrids;  // one per polygon, made by Finish
    std::vector<const C9iPartsIndex*> lines;
    std::vector<Point3D> points;    // sorted by x
    std::vector<Point3D> lineEnds;  // ends of open line parts, sorted by x: the lines' boundary
    Box box;

    bool HasAreas() const { return !polygons.empty(); }
    bool Empty() const { return polygons.empty() && lines.empty() && points.empty(); }
    // 2 areas, 1 lines, 0 points, -1 nothing.
    int Dimension() const;
    void Finish();  // sorts the point lists, forms the box and the hole grids

    Loc Locate(const Point3D& p, double tol) const;
    Loc LocateInAreas(const Point3D& p, double tol) const;
    bool IsLineEnd(const Point3D& p, double tol) const;
    bool IsPoint(const Point3D& p, double tol) const;
    bool OnLines(const Point3D& p, double tol) const;
};

// Adds one polygon (its ring indexes, outer first) or one line to g.
void AddPolygon(RelGeom& g, const std::vector<C9iPartsIndex*>& rings);
void AddLine(RelGeom& g, const C9iPartsIndex* line);

// The dimensions of the nine intersections of a and b (m[row of a][column of b], -1 empty); the
// exterior-exterior cell is left at 2.
void RelateMatrix(const RelGeom& a, const RelGeom& b, double tol, int m[3][3]);

// The eight-cell form (II IB IE BI BB BE EI EB) and the 8-boolean code of a matrix.
void MatrixToDims(const int m[3][3], int dims[8]);
int DimsToCode(const int dims[8]);

}  // namespace kelo::detail
