// Sunrise, sunset, twilight and day length for a place and a calendar date.
//
// Times are hours of Universal Time on the given date; they may fall below 0 or above 24 when
// the event belongs to the neighbouring UT day. Angles are degrees, longitude positive east,
// latitude positive north.
#pragma once

#include "kelo_api.h"

namespace kelo {

// Modes choosing the solar altitude that defines the event. Any value other than 1, 2 or 3
// means ordinary sunrise and sunset, measured on the upper limb of the disc.
inline constexpr int kSunModeRiseSet = 0;
inline constexpr int kSunModeCivil = 1;
inline constexpr int kSunModeNautical = 2;
inline constexpr int kSunModeAstronomical = 3;

// Writes the event times and returns 0 when the sun crosses the altitude on that day,
// +1 when it stays above it (rise and set 12 hours either side of culmination) and
// -1 when it stays below it (rise and set both at culmination).
KELO_API int GetSunRiseSet(double lon, double lat, int year, int month, int day, double& rise,
                           double& set, int mode);

// Hours during which the sun stands above the mode's altitude: 0 in polar night, 24 in
// midnight sun.
KELO_API double GetDayLength(double lon, double lat, int year, int month, int day, int mode);

}  // namespace kelo
