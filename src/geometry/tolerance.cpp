#include "geometry/tolerance.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "companion/settings.h"
#include "companion/plane.h"

namespace kelo {

double g_epsZero = 1e-6;
double g_epsLimit = 0.001;

namespace {
double g_splineTension = 15.0;
constexpr double kTensionMin = 0.49, kTensionMax = 30.01, kTensionDefault = 15.0;
constexpr double kEpsFloor = 1e-8;
constexpr const char* kSection = "SysPara";
constexpr const char* kIniFile = "Kelo.ini";

const char* EpsKey(bool degrees) { return degrees ? "CoordEps0Deg" : "CoordEps0Met"; }
}  // namespace

double& detail::NodingCoordEps() {
    static double eps = 1e-6;
    return eps;
}

double GetGzCoordEpsZero() { return g_epsZero; }

double SetGzCoordEpsZero(double v) {
    double old = g_epsZero;
    // Written as !(v >= floor) so that NaN is clamped too: a NaN tolerance would poison every test.
    g_epsZero = !(v >= kEpsFloor) ? kEpsFloor : v;
    SetMINI(v >= 1e-6 ? 1e-8 : 1e-10);
    return old;
}

double LoadGzCoordEpsZero(bool degrees) {
    char buf[256];
    GetKeloProfileString(kSection, EpsKey(degrees), degrees ? "1e-8" : "0.0001", buf, sizeof buf, kIniFile, -1);
    // Text that is no number reads as 0 and is then raised to the floor. from_chars reads a plain
    // decimal number whatever locale the host has set, where strtod would follow the locale.
    double v = 0;
    const char* b = buf;
    while (*b == ' ' || *b == '\t') ++b;
    if (*b == '+') ++b;
    if (std::from_chars(b, buf + std::strlen(buf), v, std::chars_format::general).ec != std::errc()) v = 0;
    // "inf" and "nan" read as numbers but are none: an infinite tolerance makes every point equal.
    if (!std::isfinite(v)) v = 0;
    return v >= kEpsFloor ? v : kEpsFloor;
}

void WriteGzCoordEpsZero(double v, bool degrees) {
    // "%g" in the C locale: six significant digits, whatever locale the host has set.
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf - 1, v, std::chars_format::general, 6);
    *r.ptr = '\0';
    WriteKeloProfileString(kSection, EpsKey(degrees), buf, kIniFile, -1);
}

double GetGzSys01mmRealLen() {
    if (!(g_epsLimit >= kEpsFloor)) g_epsLimit = 0.001;
    return g_epsLimit;
}

double SetGzSys01mmRealLen(double v) {
    double old = g_epsLimit;
    g_epsLimit = !(v >= g_epsZero) ? g_epsZero : v;
    return old;
}

double GetGzZlytParameter() {
    if (!(g_splineTension >= kTensionMin && g_splineTension <= kTensionMax)) g_splineTension = kTensionDefault;
    return g_splineTension;
}

double SetGzZlytParameter(double v) {
    double old = g_splineTension;
    g_splineTension = (v >= kTensionMin && v <= kTensionMax) ? v : kTensionDefault;
    return old;
}

double Cal_epsZero_ByScale(double s) {
    double a = std::abs(s);
    if (a < 10) return 1e-8;
    if (a < 1000) return 1e-7;
    if (a < 10000) return 1e-6;
    if (a < 1e6) return 1e-5;
    if (a < 1e8) return 0.001;
    return 0.1;
}

double SetCoordEps(double) { return detail::NodingCoordEps(); }

}  // namespace kelo
