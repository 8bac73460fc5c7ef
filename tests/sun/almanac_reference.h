// An independent almanac for checking the sun times: the low-precision solar coordinates of
// the NOAA solar calculator (mean elements in Julian centuries, equation of centre, nutation
// of the longitude, equation of time), re-evaluated at the event itself rather than at noon.
#pragma once

#include <cmath>
#include <numbers>
#include <optional>

namespace almanac {

inline constexpr double kPi = std::numbers::pi;
inline double Rad(double deg) { return deg * kPi / 180.0; }
inline double Deg(double rad) { return rad * 180.0 / kPi; }

// Julian day at 0h UT of a Gregorian date (proleptic), the textbook way.
inline double JulianDay0h(int year, int month, int day) {
    if (month <= 2) {
        year -= 1;
        month += 12;
    }
    const int a = year / 100;
    const int b = 2 - a + a / 4;
    return std::floor(365.25 * (year + 4716)) + std::floor(30.6001 * (month + 1)) + day + b - 1524.5;
}

struct SolarState {
    double declination;   // degrees
    double eqTimeMinutes; // apparent minus mean solar time
    double radius;        // astronomical units
};

inline SolarState SolarAt(double jd) {
    const double t = (jd - 2451545.0) / 36525.0;
    const double l0 = std::fmod(280.46646 + t * (36000.76983 + t * 0.0003032), 360.0);
    const double m = 357.52911 + t * (35999.05029 - 0.0001537 * t);
    const double e = 0.016708634 - t * (0.000042037 + 0.0000001267 * t);
    const double c = std::sin(Rad(m)) * (1.914602 - t * (0.004817 + 0.000014 * t)) +
                     std::sin(Rad(2 * m)) * (0.019993 - 0.000101 * t) + std::sin(Rad(3 * m)) * 0.000289;
    const double trueLong = l0 + c;
    const double trueAnom = m + c;
    const double omega = 125.04 - 1934.136 * t;
    const double appLong = trueLong - 0.00569 - 0.00478 * std::sin(Rad(omega));
    const double meanObliq = 23.0 + (26.0 + (21.448 - t * (46.815 + t * (0.00059 - t * 0.001813))) / 60.0) / 60.0;
    const double obliq = meanObliq + 0.00256 * std::cos(Rad(omega));
    SolarState s;
    s.declination = Deg(std::asin(std::sin(Rad(obliq)) * std::sin(Rad(appLong))));
    const double y = std::pow(std::tan(Rad(obliq / 2)), 2);
    s.eqTimeMinutes = 4.0 * Deg(y * std::sin(2 * Rad(l0)) - 2 * e * std::sin(Rad(m)) +
                                4 * e * y * std::sin(Rad(m)) * std::cos(2 * Rad(l0)) -
                                0.5 * y * y * std::sin(4 * Rad(l0)) - 1.25 * e * e * std::sin(2 * Rad(m)));
    s.radius = 1.000001018 * (1 - e * e) / (1 + e * std::cos(Rad(trueAnom)));
    return s;
}

// Altitude of the event: fixed for the twilights, upper limb with standard refraction for
// sunrise and sunset (so both sides time the same physical event).
inline double EventAltitude(int mode, double radius) {
    switch (mode) {
        case 1: return -6.0;
        case 2: return -12.0;
        case 3: return -18.0;
        default: return -35.0 / 60.0 - 0.2666 / radius;
    }
}

struct Event {
    int status;    // 0 crossing, +1 always above, -1 always below (judged at the crossing's date)
    double hours;  // UT hours from 0h of the date, when status is 0
    double cosH;   // cosine of the hour angle found, to judge how well conditioned the event is
};

// sign -1: the rising (morning) crossing, +1: the setting one. The solar day is the one whose
// noon falls on the given date at that longitude, as the hosts expect.
inline Event EventTime(double lon, double lat, int year, int month, int day, int mode, int sign) {
    const double jd0 = JulianDay0h(year, month, day);
    double minutes = 720.0 - 4.0 * lon;
    Event ev{0, 0.0, 0.0};
    for (int iter = 0; iter < 6; ++iter) {
        const SolarState s = SolarAt(jd0 + minutes / 1440.0);
        const double noon = 720.0 - 4.0 * lon - s.eqTimeMinutes;
        const double h = EventAltitude(mode, s.radius);
        const double c = (std::sin(Rad(h)) - std::sin(Rad(lat)) * std::sin(Rad(s.declination))) /
                         (std::cos(Rad(lat)) * std::cos(Rad(s.declination)));
        ev.cosH = c;
        if (c >= 1.0) return {-1, 0.0, c};
        if (c <= -1.0) return {1, 0.0, c};
        minutes = noon + sign * 4.0 * Deg(std::acos(c));
    }
    ev.hours = minutes / 60.0;
    return ev;
}

}  // namespace almanac
