// Projective warping of the plane that carries four source points onto four target points,
// as used to fit scanned sheets or photographs onto map corners.
#pragma once

#include "geometry/point.h"
#include "kelo_api.h"
#include "transform/uniform_coordinate.h"

namespace kelo {

class KELO_API QuadDistortion {
public:
    // Both extents empty, not ready.
    QuadDistortion();

    // Fits the eight coefficients to the four point pairs; false (and not ready) when their
    // equations have no unique solution, as when source points coincide. Three collinear
    // points may still fit, to a mapping that is singular somewhere inside the quadrilateral.
    bool Init(const Point3D src[4], const Point3D dst[4]);
    bool IsReady() const { return ready; }

    // Source plane to target plane and back. Only x and y of out are written, and only on
    // success; in and out may be the same point.
    bool Distortion(const Point3D& in, Point3D& out) const;
    bool DistortionInv(const Point3D& in, Point3D& out) const;

    // Coefficients act on recentred coordinates: x' = (a0 x + a1 y + a2) / w,
    // y' = (a3 x + a4 y + a5) / w, w = a6 x + a7 y + 1.
    UniformCoordinate srcUniform;
    UniformCoordinate dstUniform;
    double a[8];
    bool ready;
};

}  // namespace kelo
