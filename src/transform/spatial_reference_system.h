// Plane coordinate frames: an origin and two axis vectors, and the functions that apply,
// invert and chain them.
#pragma once

#include <cstdint>

#include "geometry/point.h"
#include "kelo_api.h"

namespace kelo {

class keloPoints;
class keloParts;
class GM_Object;

// Nine doubles in stored order: origin, first axis, second axis. Only x and y of each take
// part in the arithmetic; z is carried along untouched so frames can sit in 3D records.
struct SpatialReferenceSystem {
    Point3D origin;
    Point3D axisX;
    Point3D axisY;
};
static_assert(sizeof(SpatialReferenceSystem) == 9 * sizeof(double), "a frame is nine doubles");

// (x, y) becomes origin + x * axisX + y * axisY; z is left alone.
KELO_API void TransformPoint(Point3D& p, const SpatialReferenceSystem& frame);

// Maps count points of an array in place; the point-run overload below reduces to this.
KELO_API void TransformPoints(Point3D* pts, uint32_t count, const SpatialReferenceSystem& frame);

// Maps every stored point of the run, control points included.
KELO_API void TransformPoints(keloPoints& pts, const SpatialReferenceSystem& frame);
// Every stored point of every run of the line.
KELO_API void TransformParts(keloParts& parts, const SpatialReferenceSystem& frame);
// The object's own points, every point of every part, triangle corners; grids are left alone.
KELO_API void TransformGeom(GM_Object& geom, const SpatialReferenceSystem& frame);

// The adjugate frame: exact inverse only when the axis determinant is 1 (rotations), since
// nothing is divided by the determinant; a frame of determinant k composes with its result
// to k times the identity. The z members of the result are zero.
KELO_API SpatialReferenceSystem InverseSystem(const SpatialReferenceSystem& frame);

// result = B^-1 after A, so that mapping by result and then by B equals mapping by A.
// Returns 0 and leaves result untouched when B's axes are (nearly) parallel; otherwise
// writes only the x and y members of result and returns 1.
KELO_API int GetTransformMetric(SpatialReferenceSystem& result, const SpatialReferenceSystem& a,
                                const SpatialReferenceSystem& b);

}  // namespace kelo
