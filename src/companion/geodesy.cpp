#include "companion/geodesy.h"

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/PolygonArea.hpp>
#include <GeographicLib/TransverseMercator.hpp>

#include <cmath>

namespace kelo {

namespace {
constexpr double kRadToDeg = 57.295779513082320876798154814105;

bool Finite(const Point3D& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

bool ValidLatLon(double lat, double lon) { return std::isfinite(lat) && std::isfinite(lon) && std::fabs(lat) <= 90; }

// Products are taken relative to the first point: projected coordinates in the millions would
// otherwise cancel away the area of a small ring.
double PlanarArea(const Point3D* p, int n) {
    double s = 0;
    const double ox = p[0].x, oy = p[0].y;
    for (int i = 0; i < n; ++i) {
        const Point3D& a = p[i];
        const Point3D& b = p[(i + 1) % n];
        s += (a.x - ox) * (b.y - oy) - (b.x - ox) * (a.y - oy);
    }
    return std::fabs(s) / 2;
}

double GeodesicArea(const GeographicLib::Geodesic& g, const Point3D* p, int n, double toDeg) {
    GeographicLib::PolygonArea poly(g, false);
    int used = 0;
    for (int i = 0; i < n; ++i) {
        double lat = p[i].y * toDeg, lon = p[i].x * toDeg;
        if (!ValidLatLon(lat, lon)) continue;
        // A ring stored closed repeats its first point; PolygonArea closes rings itself.
        if (i == n - 1 && n > 1 && p[i].x == p[0].x && p[i].y == p[0].y) break;
        poly.AddPoint(lat, lon);
        ++used;
    }
    if (used < 3) return 0;
    double perimeter = 0, area = 0;
    poly.Compute(false, true, perimeter, area);
    return std::fabs(area);
}
}  // namespace

EllipsoidParams EllipsoidOfCode(int code) {
    switch (code) {
        case kEllipsoidKrassovsky: case 1: case 54: return {6378245.0, 1 / 298.3};
        case kEllipsoidIag75: case 0: case 80: return {6378140.0, 1 / 298.257};
        default: return {6378137.0, 1 / 298.257223563};
    }
}

int Gaosi_to_JWD(int ellipsoid, double northing, double easting, double centralMeridian, double* latitude,
                 double* longitude) {
    if (!std::isfinite(northing) || !std::isfinite(easting) || !std::isfinite(centralMeridian)) return 0;
    EllipsoidParams e = EllipsoidOfCode(ellipsoid);
    try {
        GeographicLib::TransverseMercator tm(e.a, e.f, 1.0);
        double lat, lon;
        tm.Reverse(centralMeridian * kRadToDeg, easting, northing, lat, lon);
        if (latitude) *latitude = lat / kRadToDeg;
        if (longitude) *longitude = lon / kRadToDeg;
        return 1;
    } catch (...) {
        return 0;
    }
}

DistandAreaInquiry::DistandAreaInquiry(const Point3D* points, int count, int geographic) : geographic_(geographic) {
    if (points && count > 0) points_.assign(points, points + count);
}

void DistandAreaInquiry::SetEllipse(int code) { code_ = code; }

double DistandAreaInquiry::GetDist() const {
    double total = 0;
    if (!geographic_) {
        for (size_t i = 1; i < points_.size(); ++i)
            if (Finite(points_[i - 1]) && Finite(points_[i]))
                total += std::hypot(points_[i].x - points_[i - 1].x, points_[i].y - points_[i - 1].y);
        return total;
    }
    EllipsoidParams e = EllipsoidOfCode(code_);
    GeographicLib::Geodesic g(e.a, e.f);
    for (size_t i = 1; i < points_.size(); ++i) {
        const Point3D& a = points_[i - 1];
        const Point3D& b = points_[i];
        if (!ValidLatLon(a.y, a.x) || !ValidLatLon(b.y, b.x)) continue;
        double s12 = 0;
        g.Inverse(a.y, a.x, b.y, b.x, s12);
        total += s12;
    }
    return total;
}

double DistandAreaInquiry::GetArea() const {
    int n = static_cast<int>(points_.size());
    if (!geographic_) return n >= 3 ? PlanarArea(points_.data(), n) : 0;
    EllipsoidParams e = EllipsoidOfCode(code_);
    return GeodesicArea(GeographicLib::Geodesic(e.a, e.f), points_.data(), n, 1.0);
}

double TestmyCalEllipseArea(const Point3D* points, int count, bool geographic, double a, double b, bool radians) {
    if (points == nullptr || count < 3) return 0;
    if (!geographic) return PlanarArea(points, count);
    if (!(a > 0) || !(b > 0) || b > a || !std::isfinite(a)) return 0;
    GeographicLib::Geodesic g(a, (a - b) / a);
    return GeodesicArea(g, points, count, radians ? kRadToDeg : 1.0);
}

}  // namespace kelo
