// The day count the sun formulas run on.
#pragma once

#include <cstdint>

namespace kelo::detail {

// Days counted so that 1 January 2000 is day 1. The formula ignores the century leap-year
// rule, so it agrees with the calendar from March 1900 to February 2100 only; outside that
// span (and for months or days outside their usual ranges) it still yields the same smooth
// count, which is what callers rely on. 64-bit arithmetic keeps absurd inputs defined.
inline constexpr int64_t SunDayNumber(int year, int month, int day) {
    const int64_t y = year, m = month, d = day;
    return 367 * y - 7 * (y + (m + 9) / 12) / 4 + 275 * m / 9 + d - 730530;
}

}  // namespace kelo::detail
