// kelo: the command-line host of KeloGeomNet.
#include <clocale>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "KeloGeomNet.h"
#include "geom_command.h"
#include "raster_command.h"
#include "script_commands.h"

namespace {

void PrintUsage(FILE* out) {
    std::fprintf(out,
                 "kelo %s - command-line host of the KeloGeomNet geometry library\n"
                 "usage:\n"
                 "  kelo version        print the version\n"
                 "  kelo demo           run a short self-check of the library\n"
                 "  kelo sun LON LAT DATE [--mode N]\n"
                 "                      sunrise, sunset and day length (UTC) at a place;\n"
                 "                      LON/LAT in degrees (east, north), DATE as YYYY-MM-DD,\n"
                 "                      N: 0 sunrise/sunset (default), 1 civil, 2 nautical,\n"
                 "                      3 astronomical twilight\n"
                 "  kelo run SCRIPT [ARGS...]\n"
                 "                      run a KeloScript file; ARGS become main's array args\n"
                 "  kelo check SCRIPT   compile only and report errors\n"
                 "  kelo build SCRIPT OUT\n"
                 "                      write the compiled program to OUT\n"
                 "  kelo exec OUT [ARGS...]\n"
                 "                      run a compiled program\n"
                 "  kelo encrypt SCRIPT write the enciphered SCRIPT.wse beside it\n"
                 "  kelo debug SCRIPT [ARGS...]\n"
                 "                      run under the interactive debugger\n"
                 "  kelo --plain-vm run|exec|debug ...\n"
                 "                      the same in the documented instruction loop\n"
                 "  (Control+C asks to stop a running script; see docs/kelo.md for the host\n"
                 "   functions scripts can call)\n"
                 "  kelo help           this text\n",
                 KELO_VERSION_STRING);
    kelo_tool::PrintGeomUsage(out);
    kelo_tool::PrintRasterUsage(out);
}

int Check(bool ok, const char* what) {
    std::printf("  %-48s %s\n", what, ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}

int RunDemo() {
    using namespace kelo;
    std::printf("KeloGeomNet %s self-check\n", KELO_VERSION_STRING);
    int failures = 0;
    failures += Check(GetGzCoordEpsZero() == 1e-6 && GetGzSys01mmRealLen() == 0.001, "tolerances at their defaults");
    failures += Check(GetNodata() == 999999, "nodata value 999999");
    Box b;
    b.add(3, 4);
    b.add(-1, 2);
    double w = 0, h = 0;
    failures += Check(b.GetSize(w, h) && w == 4 && h == 2, "box grows to its points");
    keloPoint p(3, 4, 0);
    p.SetMF(7, 2.5f);
    uint16_t id = 0;
    float v = 0;
    failures += Check(p.GetMF(id, v) && id == 7 && v == 2.5f && p.length2D() == 5, "vertex measure carried in z");
    Point3D eq[2] = {{0, 0, 0}, {1, 0, 0}};
    DistandAreaInquiry geo(eq, 2, 1);
    geo.SetEllipse(kEllipsoidWgs84);
    double len = geo.GetDist();
    std::printf("  one degree of longitude on the equator (WGS 84): %.2f m\n", len);
    failures += Check(len > 111319.4 && len < 111319.6, "geodesic length");
    std::string text = GbkToTerminal(ToGbk("文件不存在!"));
    std::printf("  GBK message round trip: %s\n", text.c_str());
    std::printf("%s\n", failures == 0 ? "all checks passed" : "some checks FAILED");
    return failures == 0 ? 0 : 1;
}

bool ParseDouble(const char* text, double& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && errno != ERANGE;
}

bool ParseInt(const char* text, int& out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<int>(v);
    return true;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// YYYY-MM-DD, a real calendar date of the years 1 to 9999. The sun functions themselves take
// month 13 or day 32 as the following month or day; on the command line such a date is a typo.
bool ParseDate(const std::string& text, int& year, int& month, int& day) {
    const size_t first = text.find('-', 1);
    if (first == std::string::npos) return false;
    const size_t second = text.find('-', first + 1);
    if (second == std::string::npos) return false;
    if (!ParseInt(text.substr(0, first).c_str(), year) ||
        !ParseInt(text.substr(first + 1, second - first - 1).c_str(), month) ||
        !ParseInt(text.substr(second + 1).c_str(), day))
        return false;
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    return day <= kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

// An event time as a clock reading; times outside 0..24 belong to the neighbouring UT day.
std::string ClockText(double hours) {
    if (!std::isfinite(hours) || std::fabs(hours) > 1e6) return "--:--";
    const long total = std::lround(hours * 60.0);
    long minutes = total % 1440;
    if (minutes < 0) minutes += 1440;
    const long dayShift = (total - minutes) / 1440;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02ld:%02ld%s", minutes / 60, minutes % 60,
                  dayShift < 0 ? " (previous day)" : dayShift > 0 ? " (next day)" : "");
    return buf;
}

std::string DurationText(double hours) {
    if (!std::isfinite(hours)) return "--:--";
    const long minutes = std::lround(hours * 60.0);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02ld:%02ld", minutes / 60, minutes % 60);
    return buf;
}

int RunSun(int argc, char** argv) {
    // argv[0] is "sun".
    double lon = 0, lat = 0;
    int year = 0, month = 0, day = 0, mode = kelo::kSunModeRiseSet;
    std::string positional[3];
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--mode") {
            if (i + 1 >= argc || !ParseInt(argv[i + 1], mode)) {
                std::fprintf(stderr, "kelo sun: --mode needs an integer\n");
                return 2;
            }
            ++i;
        } else if (count < 3) {
            positional[count++] = arg;
        } else {
            std::fprintf(stderr, "kelo sun: unexpected argument '%s'\n", argv[i]);
            return 2;
        }
    }
    if (count < 3) {
        std::fprintf(stderr, "usage: kelo sun LON LAT DATE [--mode N]\n");
        return 2;
    }
    if (!ParseDouble(positional[0].c_str(), lon) || !ParseDouble(positional[1].c_str(), lat) ||
        !(lon >= -180 && lon <= 180) || !(lat >= -90 && lat <= 90)) {
        std::fprintf(stderr, "kelo sun: LON must be a number of degrees from -180 to 180 and LAT one from -90 to 90\n");
        return 2;
    }
    if (!ParseDate(positional[2], year, month, day)) {
        std::fprintf(stderr, "kelo sun: DATE must be a calendar date YYYY-MM-DD (years 1 to 9999)\n");
        return 2;
    }
    if (mode < kelo::kSunModeRiseSet || mode > kelo::kSunModeAstronomical) {
        std::fprintf(stderr, "kelo sun: --mode must be 0, 1, 2 or 3\n");
        return 2;
    }

    double rise = 0, set = 0;
    const int status = kelo::GetSunRiseSet(lon, lat, year, month, day, rise, set, mode);
    const double length = kelo::GetDayLength(lon, lat, year, month, day, mode);
    const char* event = mode == kelo::kSunModeCivil          ? "civil twilight"
                        : mode == kelo::kSunModeNautical     ? "nautical twilight"
                        : mode == kelo::kSunModeAstronomical ? "astronomical twilight"
                                                             : "sunrise and sunset";
    std::printf("place %.6f %.6f  date %04d-%02d-%02d  mode %d (%s)\n", lon, lat, year, month, day, mode,
                event);
    std::printf("status %d%s\n", status,
                status > 0 ? " (the sun stays above the altitude all day)"
                : status < 0 ? " (the sun stays below the altitude all day)"
                             : "");
    std::printf("sunrise %9.4f h UTC  %s\n", rise, ClockText(rise).c_str());
    std::printf("sunset  %9.4f h UTC  %s\n", set, ClockText(set).c_str());
    std::printf("length  %9.4f h      %s\n", length, DurationText(length).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    // Texts follow the terminal; numbers on the command line are always written with a point.
    std::setlocale(LC_NUMERIC, "C");
    // Scripts of this run use the documented instruction loop instead of the fused form.
    if (argc >= 2 && std::strcmp(argv[1], "--plain-vm") == 0) {
        ::setenv("KELO_PLAIN_VM", "1", 1);
        argv[1] = argv[0];
        ++argv;
        --argc;
    }
    if (argc < 2 || std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0) {
        PrintUsage(stdout);
        return argc < 2 ? 2 : 0;
    }
    std::string cmd = argv[1];
    if (cmd == "version" || cmd == "--version") {
        std::printf("kelo %s\n", KELO_VERSION_STRING);
        return 0;
    }
    if (cmd == "demo") return RunDemo();
    if (cmd == "sun") return RunSun(argc - 1, argv + 1);
    if (cmd == "run") return kelo_tool::RunCommand(argc - 2, argv + 2);
    if (cmd == "check") return kelo_tool::CheckCommand(argc - 2, argv + 2);
    if (cmd == "build") return kelo_tool::BuildCommand(argc - 2, argv + 2);
    if (cmd == "exec") return kelo_tool::ExecCommand(argc - 2, argv + 2);
    if (cmd == "encrypt") return kelo_tool::EncryptCommand(argc - 2, argv + 2);
    if (cmd == "debug") return kelo_tool::DebugCommand(argc - 2, argv + 2);
    if (cmd == "geom") return kelo_tool::GeomCommand(argc - 2, argv + 2);
    if (cmd == "plot") return kelo_tool::PlotCommand(argc - 2, argv + 2);
    if (cmd == "raster") return kelo_tool::RasterCommand(argc - 2, argv + 2);
    std::fprintf(stderr, "kelo: unknown command '%s'\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
