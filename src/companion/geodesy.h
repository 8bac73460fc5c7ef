// Geodetic formulas of the companion services, on three reference ellipsoids.
#pragma once

#include <vector>

#include "geometry/point.h"
#include "kelo_api.h"

namespace kelo {

// Ellipsoid codes accepted by SetEllipse.
inline constexpr int kEllipsoidKrassovsky = 10154;  // a = 6378245, 1/f = 298.3
inline constexpr int kEllipsoidIag75 = 10180;       // a = 6378140, 1/f = 298.257
inline constexpr int kEllipsoidWgs84 = 10184;       // a = 6378137, 1/f = 298.257223563

struct EllipsoidParams {
    double a;  // semi-major axis, metres
    double f;  // flattening
};
// The ellipsoid of a code: 10154, 1 or 54 Krassovsky; 10180, 0 or 80 IAG-75; anything else WGS 84.
KELO_API EllipsoidParams EllipsoidOfCode(int code);

// Gauss-Krueger (transverse Mercator, scale 1 on the central meridian, no false easting) to
// geographic coordinates in radians. Returns 1, or 0 for non-finite input.
KELO_API int Gaosi_to_JWD(int ellipsoid, double northing, double easting, double centralMeridian, double* latitude,
                          double* longitude);

// Geodesic length along a polyline of geographic points (x longitude, y latitude, degrees).
class KELO_API DistandAreaInquiry {
public:
    DistandAreaInquiry(const Point3D* points, int count, int geographic);
    void SetEllipse(int code);
    // Sum of the geodesic lengths of the segments in metres (planar length when not geographic).
    double GetDist() const;
    // Geodesic area of the ring in square metres, always positive.
    double GetArea() const;

private:
    std::vector<Point3D> points_;
    int geographic_;
    int code_ = kEllipsoidWgs84;
};

// Area of a ring on the ellipsoid with semi-axes a and b (square metres, positive). Geographic
// points are (longitude, latitude) in degrees, or in radians when radians is set; with geographic
// false the planar area is returned.
KELO_API double TestmyCalEllipseArea(const Point3D* points, int count, bool geographic, double a, double b,
                                     bool radians = false);

}  // namespace kelo
