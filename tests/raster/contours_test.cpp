// Contours of analytic surfaces checked vertex by vertex against the lattice, against gdal_contour
// on the same grid, and the reverse direction (grids from contour lines, region polygons).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "companion/gbk.h"
#include "companion/ui.h"
#include "geometry/geometry_object.h"
#include "raster/contours.h"
#include "raster/grid_regions.h"
#include "raster/nodata.h"

using namespace kelo;
namespace fs = std::filesystem;

namespace {

constexpr double kX0 = 500, kYTop = 2000, kCx = 10, kCy = 5;

struct Surface {
    int cols, rows;
    std::vector<int32_t> z;
};

// Gaussian hills (heights in raw units), optionally with a nodata block.
Surface Hills(int cols, int rows, const std::vector<std::array<double, 4>>& hills, bool hole = false) {
    Surface s{cols, rows, std::vector<int32_t>(static_cast<size_t>(cols) * rows)};
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            double v = 3;
            for (auto& h : hills) v += h[2] * std::exp(-(std::pow(c - h[0], 2) + std::pow(r - h[1], 2)) / (h[3] * h[3]));
            s.z[static_cast<size_t>(r) * cols + c] = static_cast<int32_t>(std::lround(v));
        }
    if (hole)
        for (int r = rows / 3; r < rows / 2; ++r)
            for (int c = cols / 4; c < cols / 3; ++c) s.z[static_cast<size_t>(r) * cols + c] = GetNodata();
    return s;
}

std::vector<std::vector<Point3D>> Contours(const Surface& s, double interval, int zScale = 1) {
    std::vector<std::vector<Point3D>> out;
    auto sink = [](std::vector<Point3D>* line, void* user) {
        static_cast<std::vector<std::vector<Point3D>>*>(user)->push_back(*line);
    };
    EXPECT_EQ(CreateDgxFromDem(s.z.data(), s.cols, s.rows, kX0, kYTop, kCx, kCy, interval, zScale, sink, &out, 0), 1);
    return out;
}

bool Closed(const std::vector<Point3D>& l) { return l.size() > 2 && l.front().x == l.back().x && l.front().y == l.back().y; }

// Every vertex lies on a lattice edge between two valid centres whose interpolated height at the
// vertex is the contour's level.
void ExpectOnLattice(const Surface& s, const std::vector<std::vector<Point3D>>& lines, int zScale) {
    int bad = 0;
    for (const auto& line : lines)
        for (const Point3D& p : line) {
            const double col = (p.x - kX0) / kCx - 0.5, row = (kYTop - p.y) / kCy - 0.5;
            const double h = p.z * zScale + 0.5;
            const bool onRow = std::fabs(row - std::round(row)) < 1e-9, onCol = std::fabs(col - std::round(col)) < 1e-9;
            int r0 = static_cast<int>(onRow ? std::round(row) : std::floor(row));
            int c0 = static_cast<int>(onCol ? std::round(col) : std::floor(col));
            int r1 = onRow ? r0 : r0 + 1, c1 = onRow ? c0 + 1 : c0;
            double t = onRow ? col - c0 : row - r0;
            if (onRow && onCol) c1 = c0, t = 0;  // exactly on a centre cannot happen with half levels
            if ((!onRow && !onCol) || r1 >= s.rows || c1 >= s.cols) {
                ++bad;
                continue;
            }
            const int32_t a = s.z[r0 * s.cols + c0], b = s.z[r1 * s.cols + c1];
            if (a == GetNodata() || b == GetNodata() || std::fabs(a + t * (b - a) - h) > 1e-6) ++bad;
        }
    EXPECT_EQ(bad, 0);
}

TEST(Contours, VerticesOnLatticeEdgesAndPeaksClose) {
    const Surface peak = Hills(60, 50, {{{30, 25, 90, 9}}});
    const auto lines = Contours(peak, 10);
    ExpectOnLattice(peak, lines, 1);
    std::set<double> levels;
    for (const auto& l : lines) {
        EXPECT_TRUE(Closed(l));
        levels.insert(l.front().z);
    }
    EXPECT_EQ(levels, (std::set<double>{10, 20, 30, 40, 50, 60, 70, 80, 90}));
    // Several hills, a nodata block and a coarser scale: lines reach the edge or the hole open.
    const Surface hills = Hills(80, 70, {{{20, 20, 400, 12}}, {{55, 40, 500, 15}}, {{30, 60, 300, 8}}}, true);
    const auto many = Contours(hills, 0.5, 100);
    ExpectOnLattice(hills, many, 100);
    EXPECT_TRUE(std::any_of(many.begin(), many.end(), [](auto& l) { return !Closed(l); }));
}

TEST(Contours, RefusesBadGridsAndTooManyLevelsWithoutEmitting) {
    const Surface s = Hills(20, 20, {{{10, 10, 90, 4}}});
    int calls = 0;
    auto count = [](std::vector<Point3D>*, void* u) { ++*static_cast<int*>(u); };
    EXPECT_EQ(CreateDgxFromDem(s.z.data(), 1, 20, 0, 0, 1, 1, 10, 1, count, &calls, 0), 0);
    EXPECT_EQ(CreateDgxFromDem(s.z.data(), 20, 1, 0, 0, 1, 1, 10, 1, count, &calls, 0), 0);
    EXPECT_EQ(CreateDgxFromDem(s.z.data(), 20, 20, 0, 0, 1, 1, 0, 1, count, &calls, 0), 0);
    // Heights spanning 100000 units at a step of 3 would make more than 30000 levels.
    std::vector<int32_t> tall = {0, 100000, 50000, 7};
    EXPECT_EQ(CreateDgxFromDem(tall.data(), 2, 2, 0, 0, 1, 1, 3, 1, count, &calls, 0), 0);
    EXPECT_EQ(CreateDgxFromDem(tall.data(), 2, 2, 0, 0, 1, 1, 4, 1, count, &calls, 0), 1);
    const int atFour = calls;
    std::vector<int32_t> flat(100, 40);
    EXPECT_EQ(CreateDgxFromDem(flat.data(), 10, 10, 0, 0, 1, 1, 10, 1, count, &calls, 0), 1);
    EXPECT_EQ(calls, atFour);
    EXPECT_GT(atFour, 0);
}

TEST(Contours, SaddleTakesTheShorterPairing) {
    // Diagonal highs 10 and lows 0, one level (0.5): every edge is crossed 0.05 from its low end.
    std::vector<int32_t> z = {10, 0, 0, 10};
    std::vector<std::vector<Point3D>> out;
    auto sink = [](std::vector<Point3D>* l, void* u) { static_cast<std::vector<std::vector<Point3D>>*>(u)->push_back(*l); };
    ASSERT_EQ(CreateDgxFromDem(z.data(), 2, 2, 0, 2, 1, 1, 11, 1, sink, &out, 0), 1);
    // The shorter pairing cuts off the two low corners, each piece 0.05 * sqrt(2) long.
    ASSERT_EQ(out.size(), 2u);
    for (const auto& l : out) {
        ASSERT_EQ(l.size(), 2u);
        EXPECT_NEAR(std::hypot(l[0].x - l[1].x, l[0].y - l[1].y), 0.05 * std::sqrt(2.0), 1e-9);
    }
}

TEST(Contours, SingleContourThroughAPoint) {
    const Surface peak = Hills(40, 40, {{{20, 20, 60, 7}}});
    std::vector<Point3D> line;
    const double px = kX0 + 14.5 * kCx, py = kYTop - 20.5 * kCy;
    ASSERT_NE(CreateOneDgxByPt(peak.z.data(), 40, 40, kX0, kYTop, kCx, kCy, px, py, line, 1), 0);
    EXPECT_TRUE(Closed(line));
    const int32_t z = peak.z[20 * 40 + 14], right = peak.z[20 * 40 + 15];
    EXPECT_EQ(line.front().z, z <= right ? z : z - 1);
    ExpectOnLattice(peak, {line}, 1);
    EXPECT_EQ(CreateOneDgxByPt(peak.z.data(), 40, 40, kX0, kYTop, kCx, kCy, kX0 - 1, py, line, 1), 0);
    EXPECT_TRUE(line.empty());
    std::vector<int32_t> flat(16, 5);
    EXPECT_EQ(CreateOneDgxByPt(flat.data(), 4, 4, 0, 4, 1, 1, 1.5, 2.5, line, 1), 0);
}

// gdal_contour at the same levels (offset half a unit, as ours are) on the same grid.
TEST(Contours, SameLevelsAndClosedRingsAsGdalContour) {
    const fs::path dir = fs::temp_directory_path() / ("kelo_contour_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const Surface s = Hills(90, 75, {{{20, 20, 400, 10}}, {{60, 35, 520, 14}}, {{35, 55, 300, 7}}, {{75, 65, 200, 5}}});
    {
        std::ofstream f(dir / "g.asc");
        f << "ncols " << s.cols << "\nnrows " << s.rows << "\nxllcorner " << kX0 << "\nyllcorner "
          << kYTop - s.rows * kCx << "\ncellsize " << kCx << "\nNODATA_value -99999\n";
        for (int r = 0; r < s.rows; ++r) {
            for (int c = 0; c < s.cols; ++c) f << s.z[r * s.cols + c] << ' ';
            f << '\n';
        }
    }
    const std::string cmd = "gdal_contour -q -i 25 -off 0.5 -a elev -f CSV -lco GEOMETRY=AS_WKT " +
                            (dir / "g.asc").string() + " " + (dir / "c.csv").string() + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::map<long, std::pair<int, int>> theirs, ours;  // level -> (lines, closed)
    std::ifstream f(dir / "c.csv");
    std::string row;
    std::getline(f, row);
    while (std::getline(f, row)) {
        const size_t open = row.find('('), close = row.find(')');
        std::vector<std::pair<double, double>> pts;
        std::istringstream coords(row.substr(open + 1, close - open - 1));
        std::string pair;
        while (std::getline(coords, pair, ',')) {
            std::istringstream xy(pair);
            double x, y;
            xy >> x >> y;
            pts.push_back({x, y});
        }
        const long level = std::lround(std::stod(row.substr(row.rfind(',') + 1)) - 0.5);
        theirs[level].first++;
        theirs[level].second += pts.size() > 2 && pts.front() == pts.back();
    }
    fs::remove_all(dir);
    Surface same = s;
    for (const auto& l : Contours(same, 25)) {
        ours[std::lround(l.front().z)].first++;
        ours[std::lround(l.front().z)].second += Closed(l);
    }
    ASSERT_FALSE(theirs.empty());
    EXPECT_EQ(ours, theirs);
}

TEST(ContourGrid, InterpolatesConeFromRingsAndRaisesLowContours) {
    // Circles around (500, 500) every 50 units, 10 lower each: a cone.
    auto cone = [](double base) {
        std::vector<GM_Object*> objs;
        for (int r = 50; r <= 450; r += 50) {
            std::vector<Point3D> ring;
            for (int k = 0; k <= 90; ++k) {
                const double a = 2 * M_PI * k / 90;
                ring.push_back({500 + r * std::cos(a), 500 + r * std::sin(a), base - r / 5.0});
            }
            ring.back() = ring.front();
            objs.push_back(new GM_Object(keloParts(ring, klLTPolyline)));
        }
        return objs;
    };
    struct Box {
        std::vector<std::string> texts;
    } seen;
    KeloUiHandler h;
    h.user = &seen;
    h.messageBox = [](void* u, const char* t, uint32_t) { static_cast<Box*>(u)->texts.push_back(t); return 1; };
    KeloUiHandler old = SetKeloUiHandler(&h);
    for (double base : {100.0, 50.0}) {
        std::vector<GM_Object*> objs = cone(base);
        std::vector<int32_t> g(101 * 101, 0);
        ASSERT_EQ(MakeGridDemFromDgx(g.data(), 101, 101, 0, 1000, 10, 10, 10, objs), 1);
        const double raise = base == 100 ? 0 : 100;
        int checked = 0;
        for (int r = 0; r < 101; ++r)
            for (int c = 0; c < 101; ++c) {
                const double d = std::hypot(c * 10 - 500.0, 1000 - r * 10 - 500.0);
                const int32_t v = g[r * 101 + c];
                if (d > 455) {
                    EXPECT_EQ(v, GetNodata()) << r << "," << c;
                } else if (d < 445) {
                    // Between the two rings bracketing the cell (blends never leave that range).
                    const double inner = base + raise - std::floor(d / 50) * 10, outer = inner - 10;
                    EXPECT_GE(v / 10.0, outer - 0.1) << r << "," << c;
                    EXPECT_LE(v / 10.0, inner + 0.1) << r << "," << c;
                    ++checked;
                }
            }
        EXPECT_GT(checked, 5000);
        for (GM_Object* o : objs) delete o;
    }
    SetKeloUiHandler(&old);
    ASSERT_EQ(seen.texts.size(), 1u);
    EXPECT_EQ(seen.texts[0], ToGbk("等高线最低高程值为 -40.000000米\n\nDEM将高程整体抬高 100.000000米"));
}

TEST(Regions, PolygonsCoverEveryValidCellOnceAndHolesStayOpen) {
    std::mt19937 rng(4);
    const int cols = 30, rows = 24;
    std::vector<int32_t> g(cols * rows);
    for (auto& v : g) v = rng() % 7 == 0 ? GetNodata() : static_cast<int32_t>(rng() % 3);
    // A ring of 9s around a 4 makes a region with a hole.
    for (int r = 2; r <= 6; ++r)
        for (int c = 2; c <= 6; ++c) g[r * cols + c] = (r == 4 && c == 4) ? 4 : 9;
    struct Sum {
        double area = 0;
        int count = 0;
    } sum;
    auto sink = [](keloPolygon* p, void* u) {
        static_cast<Sum*>(u)->area += std::fabs(p->GetArea());
        static_cast<Sum*>(u)->count++;
    };
    ASSERT_EQ(GetPolygonsFromDem(g.data(), cols, rows, 0, 240, 10, 10, 1, sink, &sum, 0), 1);
    const long valid = std::count_if(g.begin(), g.end(), [](int32_t v) { return v != GetNodata(); });
    EXPECT_NEAR(sum.area, valid * 100.0, 1e-6);
    keloPolygon ring;
    ASSERT_EQ(GetOnePolygonByPt(g.data(), cols, rows, 0, 240, 10, 10, 25, 215, ring, 1, 0), 1);
    EXPECT_EQ(ring.GetRingsCount(), 2);
    EXPECT_NEAR(std::fabs(ring.GetArea()), 24 * 100.0, 1e-6);
    EXPECT_EQ(GetOnePolygonByPt(g.data(), cols, rows, 0, 240, 10, 10, -5, 215, ring, 1, 0), 0);
}

}  // namespace
