// Recentring of coordinates on the middle of their extent. Numeric routines shift their
// input with Uniform, work near the origin where doubles keep their precision (projected
// coordinates are often in the millions), and shift results back with UniformInv.
#pragma once

#include <cstdint>

#include "geometry/box.h"
#include "geometry/point.h"
#include "kelo_api.h"

namespace kelo {

class CsSegment;
class keloPoints;
class keloParts;
class keloPolygon;
class GM_Object;

class KELO_API UniformCoordinate {
public:
    // Stored order: offsets, scale, extent.
    double offsetX;  // negated centre of the extent once ready
    double offsetY;
    double scale;    // 1.0 once ready
    Box extent;

    // Identity shift with an empty extent.
    UniformCoordinate();

    void Clear();
    void Add(const Point3D& p);
    void Add(const Box& b);

    // False while the extent is empty; otherwise centres on it and returns true.
    bool Ready();

    void Uniform(double& x, double& y) const;
    void UniformInv(double& x, double& y) const;
    void Uniform(Point3D& p) const;
    void UniformInv(Point3D& p) const;
    // count points of an array, in place; the geometry overloads below reduce to these.
    void Uniform(Point3D* pts, uint32_t count) const;
    void UniformInv(Point3D* pts, uint32_t count) const;

    // Overloads for the geometry classes: a segment's box covers the bulge of an arc, and the
    // shift applies to every stored point, control points included.
    void Add(const CsSegment& seg);
    void Uniform(CsSegment& seg) const;
    void UniformInv(CsSegment& seg) const;
    void Uniform(keloPoints& pts) const;
    void UniformInv(keloPoints& pts) const;
    void Uniform(keloParts& parts) const;
    void UniformInv(keloParts& parts) const;
    void Uniform(keloPolygon& polygon) const;
    void UniformInv(keloPolygon& polygon) const;
    void Uniform(GM_Object& geom) const;
    void UniformInv(GM_Object& geom) const;
};

}  // namespace kelo
