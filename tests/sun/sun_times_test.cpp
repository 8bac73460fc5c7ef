#include "sun/sun_times.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "almanac_reference.h"
#include "sun/sun_day_number.h"

namespace {

using kelo::GetDayLength;
using kelo::GetSunRiseSet;

struct Place {
    const char* name;
    double lon, lat;
};

constexpr Place kPlaces[] = {
    {"equator", 0.0, 0.0},          {"Quito", -78.5, -0.2},        {"Singapore", 103.8, 1.35},
    {"Berlin", 13.4, 52.5},         {"Beijing", 116.4, 39.9},      {"New York", -74.0, 40.7},
    {"Honolulu", -157.8, 21.3},     {"Sydney", 151.2, -33.9},      {"Buenos Aires", -58.4, -34.6},
    {"Wellington", 174.8, -41.3},   {"Reykjavik", -21.9, 64.1},    {"Fairbanks", -147.7, 64.8},
    {"Oulu", 25.5, 65.0},           {"Antarctic 64S", 0.0, -64.5}, {"Antarctic 65S", 140.0, -65.5},
};

struct Date {
    int y, m, d;
};

// Both equinoxes and both solstices, plus dates between them and in other years.
constexpr Date kDates[] = {{2024, 3, 20}, {2024, 6, 20}, {2024, 9, 22}, {2024, 12, 21},
                           {2000, 1, 1},  {2019, 2, 14}, {1995, 8, 1},  {2031, 11, 5}};

// Near a grazing event (|cos H| close to 1) the time of the event swings by many minutes for
// a hundredth of a degree of declination; such events say nothing about the formulas.
constexpr double kWellConditioned = 0.95;

TEST(SunTimes, AgreesWithIndependentAlmanac) {
    int compared = 0;
    for (const Place& p : kPlaces) {
        for (const Date& dt : kDates) {
            // Mode 4 must behave as 0: every mode other than 1 to 3 is sunrise and sunset.
            for (int mode : {0, 1, 2, 3, 4}) {
                SCOPED_TRACE(std::string(p.name) + " " + std::to_string(dt.y) + "-" + std::to_string(dt.m) + "-" +
                             std::to_string(dt.d) + " mode " + std::to_string(mode));
                double rise = 0, set = 0;
                const int status = GetSunRiseSet(p.lon, p.lat, dt.y, dt.m, dt.d, rise, set, mode);
                const almanac::Event refRise = almanac::EventTime(p.lon, p.lat, dt.y, dt.m, dt.d, mode, -1);
                const almanac::Event refSet = almanac::EventTime(p.lon, p.lat, dt.y, dt.m, dt.d, mode, +1);
                EXPECT_EQ(status, refRise.status);
                EXPECT_EQ(status, refSet.status);
                if (refRise.status != 0 || refSet.status != 0 || std::fabs(refRise.cosH) > kWellConditioned ||
                    std::fabs(refSet.cosH) > kWellConditioned)
                    continue;
                const double tolMinutes = (mode < 1 || mode > 3) ? 2.0 : 3.0;
                EXPECT_NEAR(rise * 60.0, refRise.hours * 60.0, tolMinutes);
                EXPECT_NEAR(set * 60.0, refSet.hours * 60.0, tolMinutes);
                EXPECT_NEAR(GetDayLength(p.lon, p.lat, dt.y, dt.m, dt.d, mode) * 60.0,
                            (refSet.hours - refRise.hours) * 60.0, 2.0 * tolMinutes);
                ++compared;
            }
        }
    }
    // Guard against the table drifting into polar or grazing cases only.
    EXPECT_GE(compared, 500);
}

TEST(SunTimes, PolarDayAndNight) {
    struct Case {
        double lon, lat;
        Date date;
        int mode, status;
    };
    const Case cases[] = {
        {18.96, 69.65, {2024, 6, 21}, 0, +1},     {18.96, 69.65, {2024, 12, 21}, 0, -1},
        {166.7, -77.8, {2024, 12, 21}, 0, +1},    {166.7, -77.8, {2024, 6, 21}, 0, -1},
        {-68.0, 89.5, {2024, 4, 1}, -5, +1},       {18.96, 69.65, {2024, 6, 21}, 3, +1},
        {13.4, 52.5, {2024, 6, 20}, 3, +1},       {166.7, -77.8, {2024, 6, 21}, 1, -1},
        {-68.0, 90.0, {2024, 6, 21}, 2, +1},      {-68.0, -90.0, {2024, 6, 21}, 2, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.lat) + " mode " + std::to_string(c.mode));
        double rise = -99, set = -99;
        ASSERT_EQ(GetSunRiseSet(c.lon, c.lat, c.date.y, c.date.m, c.date.d, rise, set, c.mode), c.status);
        // Culmination is the midpoint either way; check it against the almanac's true noon.
        const almanac::SolarState s =
            almanac::SolarAt(almanac::JulianDay0h(c.date.y, c.date.m, c.date.d) + 0.5 - c.lon / 360.0);
        EXPECT_NEAR((rise + set) / 2.0, 12.0 - c.lon / 15.0 - s.eqTimeMinutes / 60.0, 1.0 / 60.0);
        EXPECT_DOUBLE_EQ(set - rise, c.status > 0 ? 24.0 : 0.0);
        EXPECT_EQ(GetDayLength(c.lon, c.lat, c.date.y, c.date.m, c.date.d, c.mode), c.status > 0 ? 24.0 : 0.0);
    }
}

TEST(SunDayNumber, CountsFromFirstJanuary2000) {
    EXPECT_EQ(kelo::detail::SunDayNumber(2000, 1, 1), 1);
    // Within 1900-03..2100-02 the count must advance exactly with the calendar.
    const int64_t base = kelo::detail::SunDayNumber(1900, 3, 1);
    const double jdBase = almanac::JulianDay0h(1900, 3, 1);
    for (int y = 1900; y <= 2100; ++y)
        for (int m = 1; m <= 12; ++m) {
            if ((y == 1900 && m < 3) || (y == 2100 && m > 2)) continue;
            for (int d : {1, 28}) {
                const double days = almanac::JulianDay0h(y, m, d) - jdBase;
                ASSERT_EQ(kelo::detail::SunDayNumber(y, m, d) - base, static_cast<int64_t>(days)) << y << "-" << m;
            }
        }
}

TEST(SunDayNumber, DateFieldsEnterUnchecked) {
    // Month 13 of 1999 and day 32 of December 1999 are the same day as 1 January 2000.
    const Date aliases[] = {{1999, 13, 1}, {1999, 12, 32}, {2000, 1, 1}};
    double r0, s0;
    GetSunRiseSet(-74.0, 40.7, 2000, 1, 1, r0, s0, 0);
    for (const Date& a : aliases) {
        EXPECT_EQ(kelo::detail::SunDayNumber(a.y, a.m, a.d), 1);
        double r, s;
        GetSunRiseSet(-74.0, 40.7, a.y, a.m, a.d, r, s, 0);
        EXPECT_EQ(r, r0);
        EXPECT_EQ(s, s0);
    }
}

TEST(SunTimes, LatitudesBeyondThePoleMirrorTheDay) {
    // Latitude 180 - phi has the same sine and the opposite cosine, so the half arc t becomes
    // 12 - t: rise and set swap roles around culmination and the day length complements 24.
    for (double lat : {0.0, 30.0, -45.0, 60.0, 75.0, -80.0}) {
        for (const Date& dt : kDates) {
            const double mirrored = (lat >= 0 ? 180.0 : -180.0) - lat;
            double r, s, rm, sm;
            const int st = GetSunRiseSet(10.0, lat, dt.y, dt.m, dt.d, r, s, 0);
            const int stm = GetSunRiseSet(10.0, mirrored, dt.y, dt.m, dt.d, rm, sm, 0);
            EXPECT_EQ(stm, -st) << lat;
            EXPECT_NEAR(rm, s - 12.0, 1e-9) << lat;
            EXPECT_NEAR(sm, r + 12.0, 1e-9) << lat;
            EXPECT_NEAR(GetDayLength(10.0, mirrored, dt.y, dt.m, dt.d, 0),
                        24.0 - GetDayLength(10.0, lat, dt.y, dt.m, dt.d, 0), 1e-9);
        }
    }
}

TEST(SunTimes, BadInputStaysDefined) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    struct Case {
        double lon, lat;
        int y, m, d;
        bool finite;  // whether the formulas themselves yield numbers
    };
    const Case cases[] = {
        {0, 90, 2024, 3, 20, true},           {0, -90, 2024, 9, 22, true},
        {0, 1e6, 2024, 1, 1, true},           {-1e6, 45, 2024, 1, 1, true},
        {0, 45, 2024, 0, 0, true},            {0, 45, -4712, -7, 400, true},
        {0, 45, 1000000, 1000, -100000, true}, {0, 45, -1000000, -1000, 100000, true},
        // Beyond some two million years the eccentricity term leaves [-1, 1] and the formulas
        // themselves turn to NaN; these only have to stay free of overflow and crashes.
        {1e300, 45, 2024, 1, 1, false},
        {0, 45, INT_MAX, INT_MAX, INT_MAX, false}, {0, 45, INT_MIN, INT_MIN, INT_MIN, false},
        {kInf, 45, 2024, 1, 1, false},        {-kInf, 45, 2024, 1, 1, false},
        {std::nan(""), 45, 2024, 1, 1, false}, {0, kInf, 2024, 1, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.lon) + " " + std::to_string(c.lat) + " " + std::to_string(c.y));
        for (int mode : {0, 1, 3}) {
            double rise = -999, set = -999;
            const int status = GetSunRiseSet(c.lon, c.lat, c.y, c.m, c.d, rise, set, mode);
            const double len = GetDayLength(c.lon, c.lat, c.y, c.m, c.d, mode);
            EXPECT_TRUE(status == -1 || status == 0 || status == 1);
            if (c.finite) {
                EXPECT_TRUE(std::isfinite(rise) && std::isfinite(set));
                EXPECT_TRUE(len >= 0.0 && len <= 24.0);
                EXPECT_NEAR(set - rise, status > 0 ? 24.0 : status < 0 ? 0.0 : len, 1e-6);
            }
        }
    }
}

TEST(KeloSunCommand, PrintsTheLibraryTimes) {
    const std::string cmd = std::string(KELO_TOOL_PATH) + " sun -74 40.7 2024-06-20 --mode 1 2>&1";
    FILE* pipe = popen(cmd.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buf[256];
    while (std::fgets(buf, sizeof buf, pipe)) out += buf;
    EXPECT_EQ(pclose(pipe), 0) << out;
    double rise, set;
    ASSERT_EQ(GetSunRiseSet(-74, 40.7, 2024, 6, 20, rise, set, 1), 0);
    double pr = 0, ps = 0, pl = 0;
    const size_t at = out.find("sunrise");
    ASSERT_NE(at, std::string::npos) << out;
    ASSERT_EQ(std::sscanf(out.c_str() + at, "sunrise %lf h UTC %*s sunset %lf h UTC %*s %*[^l]length %lf", &pr, &ps, &pl),
              3)
        << out;
    EXPECT_NEAR(pr, rise, 1e-4);
    EXPECT_NEAR(ps, set, 1e-4);
    EXPECT_NEAR(pl, GetDayLength(-74, 40.7, 2024, 6, 20, 1), 1e-4);

    for (const char* bad : {" sun 1 2", " sun x 2 2024-01-01", " sun 1 2 2024/01/01", " sun inf 2 2024-01-01",
                            " sun 1 2 2024-01-01 --mode"}) {
        const std::string c = std::string(KELO_TOOL_PATH) + bad + " >/dev/null 2>&1";
        EXPECT_NE(std::system(c.c_str()), 0) << bad;
    }
}

}  // namespace
