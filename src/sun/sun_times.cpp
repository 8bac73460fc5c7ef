#include "sun/sun_times.h"

#include <cmath>
#include <numbers>

#include "sun/sun_day_number.h"

namespace kelo {

namespace {

constexpr double kRadToDeg = 180.0 / std::numbers::pi;
constexpr double kDegToRad = std::numbers::pi / 180.0;

double SinD(double a) { return std::sin(a * kDegToRad); }
double CosD(double a) { return std::cos(a * kDegToRad); }
double Atan2D(double y, double x) { return std::atan2(y, x) * kRadToDeg; }
double AcosD(double c) { return std::acos(c) * kRadToDeg; }

// floor-based reduction: keeps negative angles (western longitudes, dates before 2000) in range.
double Revolution(double a) { return a - 360.0 * std::floor(a / 360.0); }

struct EclipticSun {
    double lambda;  // ecliptic longitude, degrees
    double r;       // distance, astronomical units
};

EclipticSun SunPosition(double d) {
    const double m = Revolution(356.047 + 0.9856002585 * d);
    const double e = 0.016709 - 1.151e-9 * d;
    // One step of Kepler's equation is enough at the Earth's eccentricity.
    const double ecc = m + e * kRadToDeg * SinD(m) * (1.0 + e * CosD(m));
    const double x = CosD(ecc) - e;
    const double y = std::sqrt(1.0 - e * e) * SinD(ecc);
    EclipticSun s;
    s.r = std::sqrt(x * x + y * y);
    s.lambda = Atan2D(y, x) + 282.9404 + 4.70935e-5 * d;
    if (s.lambda >= 360.0) s.lambda -= 360.0;
    return s;
}

double Obliquity(double d) { return 23.4393 - 3.563e-7 * d; }

// Altitude of the event; ordinary sunrise is timed on the upper limb, so the apparent
// semi-diameter (shrinking with distance) lowers the centre's altitude.
double EventAltitude(int mode, double r) {
    switch (mode) {
        case kSunModeCivil: return -6.0;
        case kSunModeNautical: return -12.0;
        case kSunModeAstronomical: return -18.0;
        default: return -35.0 / 60.0 - 0.2666 / r;
    }
}

// Local noon of the date at the given longitude, in days of the sun formulas.
double NoonDay(double lon, int year, int month, int day) {
    return static_cast<double>(detail::SunDayNumber(year, month, day)) + 0.5 - lon / 360.0;
}

double HourAngleCosine(double h, double lat, double sinDecl, double cosDecl) {
    return (SinD(h) - SinD(lat) * sinDecl) / (CosD(lat) * cosDecl);
}

}  // namespace

int GetSunRiseSet(double lon, double lat, int year, int month, int day, double& rise, double& set,
                  int mode) {
    const double d = NoonDay(lon, year, month, day);
    const double sidereal = Revolution(Revolution(818.9874 + 0.985647352 * d) + 180.0 + lon);

    const EclipticSun sun = SunPosition(d);
    const double obl = Obliquity(d);
    const double x = sun.r * CosD(sun.lambda);
    const double yEcl = sun.r * SinD(sun.lambda);
    const double z = yEcl * SinD(obl);
    const double y = yEcl * CosD(obl);
    const double ra = Atan2D(y, x);
    const double decl = Atan2D(z, std::sqrt(x * x + y * y));

    const double tSouth = 12.0 - (sidereal - ra - 360.0 * std::floor((sidereal - ra) / 360.0 + 0.5)) / 15.0;

    const double c = HourAngleCosine(EventAltitude(mode, sun.r), lat, SinD(decl), CosD(decl));
    int status;
    double t;
    if (c >= 1.0) {
        status = -1;
        t = 0.0;
    } else if (c <= -1.0) {
        status = 1;
        t = 12.0;
    } else {
        status = 0;
        t = AcosD(c) / 15.0;
    }
    rise = tSouth - t;
    set = tSouth + t;
    return status;
}

double GetDayLength(double lon, double lat, int year, int month, int day, int mode) {
    const double d = NoonDay(lon, year, month, day);
    const EclipticSun sun = SunPosition(d);
    const double sinDecl = SinD(Obliquity(d)) * SinD(sun.lambda);
    const double cosDecl = std::sqrt(1.0 - sinDecl * sinDecl);
    const double c = HourAngleCosine(EventAltitude(mode, sun.r), lat, sinDecl, cosDecl);
    if (c >= 1.0) return 0.0;
    if (c <= -1.0) return 24.0;
    return 2.0 / 15.0 * AcosD(c);
}

}  // namespace kelo
