// Cross-check with gdaldem on the same grids, where its formulas and ours coincide: slope of planes
// whose gradient runs along a grid axis (its Zevenbergen-Thorne slope and our steepest central
// difference are then the same number), downhill directions of planes and of a fractal terrain,
// and the shading of planes the sun lights without shadows. Also runs `kelo raster` end to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "raster/classification.h"
#include "raster/hydrology.h"
#include "raster/nodata.h"
#include "raster/resample.h"
#include "raster/terrain.h"
#include "support/priority_flood.h"

using namespace kelo;
namespace fs = std::filesystem;

namespace {

constexpr double kPi = std::numbers::pi;

class Gdaldem : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() / ("kelo_gdaldem_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Heights in centimetres, written in metres.
    std::string WriteAsc(const std::string& name, int cols, int rows, double cell, const std::vector<int32_t>& cm) {
        const std::string p = (dir / name).string();
        std::ofstream f(p);
        f << "ncols " << cols << "\nnrows " << rows << "\nxllcorner 0\nyllcorner 0\ncellsize " << cell
          << "\nNODATA_value -9999\n";
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) f << cm[r * cols + c] / 100.0 << ' ';
            f << '\n';
        }
        return p;
    }
    std::vector<double> ReadAsc(const std::string& p) {
        std::ifstream f(p);
        // Header lines start with a keyword; how many there are depends on the writer.
        std::string line;
        std::streampos data = f.tellg();
        while (std::getline(f, line) && !line.empty() && std::isalpha(static_cast<unsigned char>(line[0])))
            data = f.tellg();
        f.clear();
        f.seekg(data);
        double v;
        std::vector<double> out;
        while (f >> v) out.push_back(v);
        return out;
    }
    std::vector<double> Run(const std::string& args, const std::string& in) {
        const std::string out = (dir / "out.asc").string();
        fs::remove(out);
        const std::string cmd = "gdaldem " + args + " " + in + " " + out + " -of AAIGrid -q 2>/dev/null";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        return ReadAsc(out);
    }
};

std::vector<int32_t> Plane(int n, double cell, double gx, double gy) {
    std::vector<int32_t> g(n * n);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) g[r * n + c] = static_cast<int32_t>(std::lround((50 + gx * c * cell - gy * r * cell) * 100));
    return g;
}

TEST_F(Gdaldem, SlopeOfAxisPlanesAgrees) {
    const int n = 9;
    for (double g : {0.1, 0.35, 1.0, 2.5})
        for (int axis = 0; axis < 2; ++axis) {
            auto z = Plane(n, 2, axis ? 0 : g, axis ? -g : 0);
            auto ref = Run("slope -alg ZevenbergenThorne", WriteAsc("p.asc", n, n, 2, z));
            ASSERT_EQ(ref.size(), static_cast<size_t>(n * n));
            std::unique_ptr<int32_t[]> ours(DemSlope(z.data(), n, n, 2, 2, 100, 4));
            for (int r = 1; r < n - 1; ++r)
                for (int c = 1; c < n - 1; ++c) EXPECT_NEAR(ours[r * n + c] / 10.0, ref[r * n + c], 0.06) << g;
        }
}

int CodeOfAzimuth(double deg) {
    static const int codes[8] = {2, 3, 4, 5, 6, 7, 8, 1};
    return codes[static_cast<int>(std::floor(std::fmod(deg + 22.5 + 360, 360) / 45)) % 8];
}

TEST_F(Gdaldem, AspectDirectionsAgree) {
    const int n = 8;
    for (int k = 0; k < 8; ++k) {
        const double a = k * kPi / 4;
        auto z = Plane(n, 1, -0.3 * std::sin(a), -0.3 * std::cos(a));
        auto ref = Run("aspect", WriteAsc("p.asc", n, n, 1, z));
        std::unique_ptr<int32_t[]> ours(DemAspect(z.data(), n, n, 1, 1, 2));
        for (int r = 1; r < n - 1; ++r)
            for (int c = 1; c < n - 1; ++c) EXPECT_EQ(ours[r * n + c], CodeOfAzimuth(ref[r * n + c])) << k;
    }
    // On rough terrain our steepest difference and gdaldem's Horn gradient usually fall into the
    // same octant; a flipped convention would make them agree almost never.
    const int m = 65;
    std::vector<int32_t> z(m * m);
    for (int r = 0; r < m; ++r)
        for (int c = 0; c < m; ++c)
            z[r * m + c] = static_cast<int32_t>(3000 * std::sin(c * 0.21) + 2500 * std::cos(r * 0.17 + c * 0.05) + 7 * ((r * 31 + c * 17) % 11));
    auto ref = Run("aspect", WriteAsc("f.asc", m, m, 5, z));
    std::unique_ptr<int32_t[]> ours(DemAspect(z.data(), m, m, 5, 5, 2));
    int same = 0, total = 0;
    for (int r = 1; r < m - 1; ++r)
        for (int c = 1; c < m - 1; ++c, ++total) same += ours[r * m + c] == CodeOfAzimuth(ref[r * m + c]);
    std::printf("aspect octant agreement with gdaldem on rough terrain: %.1f%%\n", 100.0 * same / total);
    EXPECT_GT(same, total * 0.7);
}

TEST_F(Gdaldem, HillShadeOfLitPlanesAgrees) {
    const int n = 8;
    struct Case {
        double gx, gy;
        int az, alt;
    };
    for (const Case& k : {Case{0.4, 0, 270, 45}, Case{0, 0.3, 180, 35}, Case{-0.2, 0.25, 30, 60}, Case{0.1, -0.1, 315, 50}}) {
        auto z = Plane(n, 2, k.gx, k.gy);
        auto ref = Run("hillshade -az " + std::to_string(k.az) + " -alt " + std::to_string(k.alt), WriteAsc("p.asc", n, n, 2, z));
        std::unique_ptr<int32_t[]> ours(HillShade(z.data(), n, n, 2, 2, k.az, k.alt, 100));
        for (int r = 1; r < n - 1; ++r)
            for (int c = 1; c < n - 1; ++c)
                EXPECT_NEAR(ours[r * n + c] / 250.0, (ref[r * n + c] - 1) / 254.0, 0.01) << k.az;
    }
}

// kelo raster reads a GDAL raster, keeps its georeferencing and writes what the library computes.
TEST_F(Gdaldem, KeloRasterVerbsEndToEnd) {
    const int n = 12;
    auto z = Plane(n, 10, 0.25, 0);
    z[5 * n + 5] = -999900;  // nodata in the file
    const std::string in = WriteAsc("in.asc", n, n, 10, z);
    const std::string kelo = KELO_TOOL_PATH;
    auto run = [&](const std::string& args) {
        return std::system((kelo + " raster " + args + " >" + (dir / "stdout.txt").string() + " 2>&1").c_str());
    };
    auto tifToAsc = [&](const std::string& tif) {
        const std::string asc = (dir / "t.asc").string();
        EXPECT_EQ(std::system(("gdal_translate -q -of AAIGrid " + tif + " " + asc).c_str()), 0);
        return ReadAsc(asc);
    };
    ASSERT_EQ(run("slope " + in + " " + (dir / "s.tif").string() + " --method 3"), 0);
    auto s = tifToAsc((dir / "s.tif").string());
    ASSERT_EQ(s.size(), static_cast<size_t>(n * n));
    EXPECT_EQ(s[2 * n + 2], 250);           // 0.25 rise per metre, per mille
    EXPECT_EQ(s[5 * n + 5], -2147483647);   // the hole stays a hole
    ASSERT_EQ(run("hillshade " + in + " " + (dir / "h.png").string()), 0);
    auto h = tifToAsc((dir / "h.png").string());
    ASSERT_EQ(h.size(), static_cast<size_t>(n * n));
    std::vector<int32_t> lib = z;
    lib[5 * n + 5] = GetNodata();
    std::unique_ptr<int32_t[]> want(HillShade(lib.data(), n, n, 10, 10, 315, 45, 100));
    for (int i = 0; i < n * n; ++i) EXPECT_EQ(h[i], i == 5 * n + 5 ? 255 : want[i]) << i;
    ASSERT_EQ(run("stats " + in), 0);
    std::ifstream f(dir / "stdout.txt");
    std::stringstream text;
    text << f.rdbuf();
    EXPECT_NE(text.str().find("grid\t143\t50\t77.5\t"), std::string::npos) << text.str();
    // A tiled file (read through GDAL) and one of 64-bit strips of five rows (scaled from its
    // blocks) give the same cells as the text grid.
    for (const char* layout : {"-co TILED=YES -co BLOCKXSIZE=16 -co BLOCKYSIZE=16", "-ot Float64 -co BLOCKYSIZE=5"}) {
        const std::string tif = (dir / "layout.tif").string();
        ASSERT_EQ(std::system(("gdal_translate -q " + std::string(layout) + " " + in + " " + tif).c_str()), 0);
        ASSERT_EQ(run("stats " + tif), 0);
        std::stringstream t;
        t << std::ifstream(dir / "stdout.txt").rdbuf();
        EXPECT_EQ(t.str().substr(t.str().find("grid\t")), text.str().substr(text.str().find("grid\t"))) << layout;
    }
    // Bad input: unknown verb, missing file, zero z scale.
    EXPECT_NE(run("bogus " + in), 0);
    EXPECT_NE(run("slope " + (dir / "missing.tif").string() + " x.tif"), 0);
    EXPECT_NE(run("slope " + in + " x.tif --zscale 0"), 0);
    EXPECT_NE(run("resample " + in + " x.tif --cell 0.0001"), 0);
}

// Scripts reach the same work through host functions: a plane rising 0.25 m per metre eastward
// with one hole, read, derived, measured and written back by a script run by kelo.
TEST_F(Gdaldem, ScriptsReadDeriveMeasureAndWriteGrids) {
    const int n = 12;
    auto z = Plane(n, 10, 0.25, 0);
    z[5 * n + 5] = -999900;
    const std::string in = WriteAsc("in.asc", n, n, 10, z), out = (dir / "slope.tif").string();
    const std::string script = (dir / "r.wsp").string();
    std::ofstream(script) << "void main(array args) {\n"
                             "    klHandle dem = rasterRead(args[0]);\n"
                             "    map s = rasterStats(dem);\n"
                             "    println(\"%d %d %d %.2f %.2f %.4f\".format(s[\"cols\"], s[\"rows\"], s[\"count\"], s[\"min\"], s[\"max\"], s[\"mean\"]));\n"
                             "    klHandle slope = rasterSlope(dem, 3);\n"
                             "    map t = rasterStats(slope);\n"
                             "    println(\"%d %.0f %.0f %.4f\".format(t[\"count\"], t[\"min\"], t[\"max\"], t[\"mean\"]));\n"
                             "    map d = rasterStats(rasterSlope(dem));\n"
                             "    map a = rasterStats(rasterAspect(dem));\n"
                             "    map h = rasterStats(rasterHillShade(dem, 270, 45));\n"
                             "    println(\"%.0f %.0f %.0f %.0f %.0f\".format(d[\"max\"], a[\"min\"], a[\"max\"], h[\"min\"], h[\"max\"]));\n"
                             "    println(rasterWrite(args[1], slope), \" \", rasterFree(slope));\n"
                             "    if (args.getSize() > 2) rasterStats(slope);\n"
                             "}\n";
    const std::string kelo = KELO_TOOL_PATH;
    auto run = [&](const std::string& extra) {
        const std::string cmd = kelo + " run " + script + " " + in + " " + out + extra + " >" +
                                (dir / "stdout.txt").string() + " 2>&1";
        const int status = std::system(cmd.c_str());
        std::ifstream f(dir / "stdout.txt");
        std::stringstream text;
        text << f.rdbuf();
        return std::make_pair(status, text.str());
    };
    // The slope the library gives for the same grid, to check the counts and mean of the script's.
    std::vector<int32_t> lib = z;
    lib[5 * n + 5] = GetNodata();
    std::unique_ptr<int32_t[]> want(DemSlope(lib.data(), n, n, 10, 10, 100, 3));
    std::unique_ptr<int32_t[]> aspect(DemAspect(lib.data(), n, n, 10, 10, 2));
    int count = 0, lo = 1 << 30, aspectLo = 8;
    double sum = 0;
    for (int i = 0; i < n * n; ++i)
        if (want[i] != GetNodata()) {
            ++count, sum += want[i];
            lo = std::min(lo, want[i]);
            aspectLo = std::min(aspectLo, aspect[i]);
        }
    char slopeLine[128];
    std::snprintf(slopeLine, sizeof slopeLine, "%d %d 250 %.4f\n140 %d 8 214 214\ntrue true\n", count, lo, sum / count,
                  aspectLo);
    auto [status, text] = run("");
    ASSERT_EQ(status, 0) << text;
    // Heights 50 + 2.5 per column in metres; the hole is left out. Slope 0.25 is 250 per mille,
    // atan(0.25) = 14.04 degrees is 140 tenths; downhill is west (code 8) inside; a sun in the
    // west lights the east-rising plane at sin(45 deg + 14.04 deg) = 0.857.
    EXPECT_EQ(lo, 250) << "border and hole cells have the plane's slope";
    EXPECT_EQ(text, "12 12 143 50.00 77.50 63.7587\n" + std::string(slopeLine));
    std::system(("gdal_translate -q -of AAIGrid " + out + " " + (dir / "s.asc").string()).c_str());
    auto s = ReadAsc((dir / "s.asc").string());
    ASSERT_EQ(s.size(), static_cast<size_t>(n * n));
    EXPECT_EQ(s[2 * n + 2], 250);
    EXPECT_EQ(s[5 * n + 5], -2147483647);
    // A freed grid is an error that names the function, and ends the run.
    std::tie(status, text) = run(" again");
    EXPECT_NE(status, 0);
    EXPECT_NE(text.find("rasterStats: unknown grid"), std::string::npos) << text;
}

// Scripts write heights with the fractions of their z scale, resample, classify and take zonal
// statistics; each result is checked against the library on the same cells, read back through GDAL.
TEST_F(Gdaldem, ScriptsKeepFractionsResampleClassifyAndZone) {
    const int n = 16;
    std::vector<int32_t> z(n * n);
    for (int i = 0; i < n * n; ++i) z[i] = 5037 + 23 * (i % n) - 11 * (i / n) + (i * 7919) % 97;
    z[3 * n + 4] = -999900;
    const std::string in = WriteAsc("in.asc", n, n, 10, z), polys = (dir / "zones.geojson").string();
    // A rectangle over the grid and one beside it; cell points sit at 5 + 10 c, 155 - 10 r.
    std::ofstream(polys) << R"({"type":"FeatureCollection","features":[
{"type":"Feature","id":0,"properties":{},"geometry":{"type":"Polygon","coordinates":[[[22,33],[97,33],[97,118],[22,118],[22,33]]]}},
{"type":"Feature","id":1,"properties":{},"geometry":{"type":"Polygon","coordinates":[[[500,500],[600,500],[600,600],[500,500]]]}}]})";
    const std::string script = (dir / "c.wsp").string(), d = dir.string();
    std::ofstream(script) << "void main(array args) {\n"
                             "    klHandle dem = rasterRead(args[0]);\n"
                             "    rasterWrite(args[1] + \"/h.tif\", dem);\n"
                             "    rasterWrite(args[1] + \"/r.tif\", rasterResample(dem, 15));\n"
                             "    rasterWrite(args[1] + \"/n.tif\", rasterResample(dem, 15, true));\n"
                             "    map c = rasterClassify(dem, 1, 4);\n"
                             "    rasterWrite(args[1] + \"/c.tif\", c[\"grid\"]);\n"
                             "    for (int k = 0; k < c[\"breaks\"].getSize(); k++)\n"
                             "        println(\"%.2f %d\".format(c[\"breaks\"][k], c[\"counts\"][k]));\n"
                             "    array zones = rasterZonal(dem, args[2]);\n"
                             "    for (int k = 0; k < zones.getSize(); k++) {\n"
                             "        map s = zones[k];\n"
                             "        if (s[\"cells\"] == 0) println(\"0\");\n"
                             "        else println(\"%d %.2f %.2f %.2f %.2f %.2f %d\".format(s[\"cells\"], s[\"min\"], s[\"max\"], "
                             "s[\"mean\"], s[\"median\"], s[\"sum\"], s[\"variety\"]));\n"
                             "    }\n"
                             "    rasterClassify(dem, 9);\n"
                             "}\n";
    const std::string out = (dir / "stdout.txt").string();
    const int status = std::system((std::string(KELO_TOOL_PATH) + " run " + script + " " + in + " " + d + " " + polys +
                                    " >" + out + " 2>&1").c_str());
    std::stringstream got;
    got << std::ifstream(out).rdbuf();
    EXPECT_NE(status, 0) << "method 9 is an error";
    EXPECT_NE(got.str().find("rasterClassify: the method is 0 to 7"), std::string::npos) << got.str();
    auto read = [&](const std::string& name) {
        const std::string asc = (dir / "t.asc").string();
        EXPECT_EQ(std::system(("gdal_translate -q -of AAIGrid " + (dir / name).string() + " " + asc).c_str()), 0);
        return ReadAsc(asc);
    };
    std::vector<int32_t> lib = z;
    lib[3 * n + 4] = GetNodata();
    // Heights come back with their centimetres.
    const std::vector<double> h = read("h.tif");
    ASSERT_EQ(h.size(), lib.size());
    for (int i = 0; i < n * n; ++i) EXPECT_DOUBLE_EQ(h[i], i == 3 * n + 4 ? -2147483647 : z[i] / 100.0) << i;
    // Resampled onto 15 m cells (10 x 10 over the 160 m square), fractions kept.
    using Reform = int32_t* (*)(const int32_t*, int, int, double, double, double, double, int, int, double, double,
                                double, double);
    for (auto [name, fn] : {std::pair<const char*, Reform>{"r.tif", ReformDemWeighted}, {"n.tif", ReformDemNearest}}) {
        std::unique_ptr<int32_t[]> want(fn(lib.data(), n, n, 5, 155, 10, 10, 10, 10, 7.5, 152.5, 15, 15));
        const std::vector<double> r = read(name);
        ASSERT_EQ(r.size(), 100u) << name;
        for (int i = 0; i < 100; ++i)
            EXPECT_DOUBLE_EQ(r[i], want[i] == GetNodata() ? -2147483647 : want[i] / 100.0) << name << " " << i;
    }
    // Classes: the library's breaks and counts; the class grid holds as many cells of each class.
    std::vector<uint32_t> breaks, counts;
    ASSERT_EQ(Classification(lib.data(), n * n, breaks, counts, 1, 4, 0), 1);
    std::string want;
    char line[160];
    const std::vector<double> classes = read("c.tif");
    for (size_t k = 0; k < breaks.size(); ++k) {
        std::snprintf(line, sizeof line, "%.2f %u\n", static_cast<int32_t>(breaks[k]) / 100.0, counts[k]);
        want += line;
        EXPECT_EQ(std::count(classes.begin(), classes.end(), static_cast<double>(k)), counts[k]) << k;
    }
    // Zones: the cells whose points lie inside the rectangle, gathered here independently.
    std::vector<int32_t> inside;
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) {
            const double x = 5 + 10 * c, y = 155 - 10 * r;
            if (x > 22 && x < 97 && y > 33 && y < 118 && lib[r * n + c] != GetNodata()) inside.push_back(lib[r * n + c]);
        }
    int32_t maj, mino, mx, mn, range, mean, median, dev, variety;
    double sum;
    ASSERT_EQ(NeighborhoodStatistics(inside.data(), static_cast<int>(inside.size()), maj, mino, mx, mn, range, mean,
                                     median, dev, sum, variety),
              1);
    std::snprintf(line, sizeof line, "%zu %.2f %.2f %.2f %.2f %.2f %d\n0\n", inside.size(), mn / 100.0, mx / 100.0,
                  mean / 100.0, median / 100.0, sum / 100.0, variety);
    want += line;
    EXPECT_EQ(got.str().substr(0, want.size()), want) << got.str();
}

// The drainage verbs and script functions hand over what the library computes on the same grid.
TEST_F(Gdaldem, DrainageVerbsAndScriptFunctions) {
    const int cols = 30, rows = 25, hole = 7 * cols + 11;
    std::vector<int32_t> z = kelo::test::FractalDem(cols, rows, 9, 5000);
    z[hole] = -999900;
    const std::string in = WriteAsc("d.asc", cols, rows, 10, z);
    std::vector<int32_t> lib = z;
    lib[hole] = GetNodata();
    using Grid = std::unique_ptr<int32_t[]>;
    Grid fill(FillSinks(lib.data(), cols, rows)), acc(FlowAccumulation(lib.data(), cols, rows)),
        dirs(FlowDirection(lib.data(), cols, rows)), shed(Watershed(lib.data(), cols, rows, 20));
    const std::string kelo = KELO_TOOL_PATH, out = (dir / "stdout.txt").string();
    auto run = [&](const std::string& args) { return std::system((kelo + " " + args + " >" + out + " 2>&1").c_str()); };
    auto read = [&](const std::string& name) {
        const std::string asc = (dir / "t.asc").string();
        EXPECT_EQ(std::system(("gdal_translate -q -of AAIGrid " + (dir / name).string() + " " + asc).c_str()), 0);
        return ReadAsc(asc);
    };
    ASSERT_EQ(run("raster fill " + in + " " + (dir / "f.tif").string()), 0);
    ASSERT_EQ(run("raster flowacc " + in + " " + (dir / "a.tif").string()), 0);
    ASSERT_EQ(run("raster streams " + in + " " + (dir / "s.tif").string() + " --threshold 4 --picture " +
                  (dir / "s.png").string()),
              0);
    EXPECT_TRUE(fs::exists(dir / "s.png"));
    EXPECT_NE(run("raster fill " + in + " x.tif --picture p.png"), 0);
    const std::vector<double> f = read("f.tif"), a = read("a.tif");
    ASSERT_EQ(f.size(), lib.size());
    ASSERT_EQ(a.size(), lib.size());
    int32_t accMax = 0, shedMax = 0, dirMax = 0;
    double fillSum = 0;
    for (int i = 0; i < cols * rows; ++i) {
        if (i == hole) {
            EXPECT_EQ(f[i], -2147483647);
            EXPECT_EQ(a[i], -2147483647);
            continue;
        }
        EXPECT_NEAR(f[i], fill[i] / 100.0, 1e-9) << i;
        EXPECT_EQ(a[i], acc[i]) << i;
        accMax = std::max(accMax, acc[i]), shedMax = std::max(shedMax, shed[i]), dirMax = std::max(dirMax, dirs[i]);
        fillSum += fill[i];
    }
    const std::string script = (dir / "h.wsp").string();
    std::ofstream(script) << "void main(array args) {\n"
                             "    klHandle dem = rasterRead(args[0]);\n"
                             "    map a = rasterStats(rasterFlowAcc(dem));\n"
                             "    map w = rasterStats(rasterWatershed(dem, 20));\n"
                             "    map f = rasterStats(rasterFill(dem));\n"
                             "    map d = rasterStats(rasterFlowDir(dem));\n"
                             "    map l = rasterStats(rasterFlowLength(dem));\n"
                             "    map s = rasterStats(rasterStreams(dem, 4));\n"
                             "    println(\"%d %.0f %.0f %.4f %.0f %.0f %.0f\".format(a[\"count\"], a[\"max\"], w[\"max\"], "
                             "f[\"mean\"], d[\"max\"], l[\"max\"], s[\"max\"]));\n"
                             "    rasterWatershed(dem, 2.5);\n"
                             "}\n";
    const int status = run("run " + script + " " + in);
    std::ifstream text(out);
    std::stringstream got;
    got << text.rdbuf();
    char want[160];
    std::snprintf(want, sizeof want, "%d %d %d %.4f %d 200 200\n", cols * rows - 1, accMax, shedMax,
                  fillSum / (cols * rows - 1) / 100, dirMax);
    EXPECT_NE(status, 0) << "a fractional basin threshold is an error";
    EXPECT_EQ(got.str().substr(0, got.str().find('\n') + 1), want);
    EXPECT_NE(got.str().find("rasterWatershed: the threshold is a cell count"), std::string::npos) << got.str();
}

}  // namespace
