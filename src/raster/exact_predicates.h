// Orientation and in-circle tests that never answer wrongly: a floating-point filter decides the
// clear cases and exact expansion arithmetic the rest, so triangulations stay consistent on
// duplicates, collinear runs and cocircular points.
#pragma once

#include <cmath>

#include "geometry/point.h"
#include "kelo_api.h"

namespace kelo::detail {

// The exact evaluations, for the cases the filters below cannot decide.
KELO_API int Orient2dExact(const Point3D& a, const Point3D& b, const Point3D& c);
KELO_API int InCircleExact(const Point3D& a, const Point3D& b, const Point3D& c, const Point3D& d);

// Sign of twice the signed area of (a, b, c): positive when counter-clockwise.
inline int Orient2dSign(const Point3D& a, const Point3D& b, const Point3D& c) {
    const double l = (a.x - c.x) * (b.y - c.y), r = (a.y - c.y) * (b.x - c.x);
    const double det = l - r;
    // Error bound of the plain evaluation relative to its permanent, with margin.
    const double bound = 3.3306690738754716e-16 * 1.01 * (std::fabs(l) + std::fabs(r));
    if (det > bound) return 1;
    if (-det > bound) return -1;
    if (l == 0 && r == 0) return 0;
    return Orient2dExact(a, b, c);
}

// Positive when d lies strictly inside the circle through a, b, c (counter-clockwise), negative
// outside, zero on it.
inline int InCircleSign(const Point3D& a, const Point3D& b, const Point3D& c, const Point3D& d) {
    const double adx = a.x - d.x, ady = a.y - d.y, bdx = b.x - d.x, bdy = b.y - d.y;
    const double cdx = c.x - d.x, cdy = c.y - d.y;
    const double bc = bdx * cdy - cdx * bdy, ca = cdx * ady - adx * cdy, ab = adx * bdy - bdx * ady;
    const double al = adx * adx + ady * ady, bl = bdx * bdx + bdy * bdy, cl = cdx * cdx + cdy * cdy;
    const double det = al * bc + bl * ca + cl * ab;
    const double perm = (std::fabs(bdx * cdy) + std::fabs(cdx * bdy)) * al +
                        (std::fabs(cdx * ady) + std::fabs(adx * cdy)) * bl +
                        (std::fabs(adx * bdy) + std::fabs(bdx * ady)) * cl;
    const double bound = 1.1102230246251577e-15 * 1.01 * perm;
    if (det > bound) return 1;
    if (-det > bound) return -1;
    return InCircleExact(a, b, c, d);
}

}  // namespace kelo::detail
