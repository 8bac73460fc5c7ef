// Cells inside polygons with holes against an independent even-odd test, and the measures built on
// the listing: filling, surface area, cut and fill, neighbourhood statistics.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "geometry/parts.h"
#include "raster/classification.h"
#include "raster/inner_cells.h"
#include "raster/nodata.h"
#include "support/even_odd.h"

using namespace kelo;

namespace {

using Ring = std::vector<Point3D>;


// A star around (cx, cy) with radii drawn from [r0, r1].
Ring Star(std::mt19937& rng, double cx, double cy, double r0, double r1, int n) {
    std::uniform_real_distribution<double> rad(r0, r1);
    Ring ring;
    for (int k = 0; k < n; ++k) {
        double a = 2 * std::numbers::pi * (k + 0.37) / n, r = rad(rng);
        ring.push_back({cx + r * std::cos(a), cy + r * std::sin(a), 0});
    }
    return ring;
}

// Grid: 30 columns, 25 rows, x0 = 100, yTop = 500, cells 2 x 3.
constexpr int kCols = 30, kRows = 25;
constexpr double kX0 = 100, kYTop = 500, kCx = 2, kCy = 3;

std::vector<std::pair<int, int>> Expected(const std::vector<Ring>& rings) {
    std::vector<std::pair<int, int>> cells;
    for (int r = kRows - 1; r >= 0; --r)
        for (int c = 0; c < kCols; ++c)
            if (kelo_test::InsideEvenOdd(rings, kX0 + c * kCx, kYTop - r * kCy)) cells.push_back({r, c});
    return cells;
}

TEST(InnerCells, RandomPolygonsWithHolesListExactlyTheInsideCells) {
    std::mt19937 rng(22);
    for (int trial = 0; trial < 200; ++trial) {
        std::uniform_real_distribution<double> cx(90, 170), cy(420, 510);
        double x = cx(rng), y = cy(rng);
        std::vector<Ring> rings = {Star(rng, x, y, 18, 40, 5 + trial % 17)};
        if (trial % 3) rings.push_back(Star(rng, x + 1.3, y - 0.7, 4, 12, 3 + trial % 7));
        const keloPolygon poly = kelo_test::PolygonOfRings(rings);
        std::vector<uint32_t> list{1, 2, 3};
        const int ok = GetAllInnerPoint(poly, kCols, kRows, kX0, kYTop, kCx, kCy, 1e-9, list);
        const auto want = Expected(rings);
        ASSERT_EQ(ok, want.empty() ? 0 : 1) << trial;
        ASSERT_EQ(list.size(), want.size() * 2) << trial;
        for (size_t k = 0; k < want.size(); ++k) {
            ASSERT_EQ(list[2 * k], static_cast<uint32_t>(want[k].first)) << trial;
            ASSERT_EQ(list[2 * k + 1], static_cast<uint32_t>(want[k].second)) << trial;
        }
    }
}

TEST(InnerCells, OutsideEmptyAndCoveringPolygons) {
    std::vector<uint32_t> list;
    const keloPolygon away = kelo_test::PolygonOfRings({{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}}});
    EXPECT_EQ(GetAllInnerPoint(away, kCols, kRows, kX0, kYTop, kCx, kCy, 0.5, list), 0);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(GetAllInnerPoint(keloPolygon(), kCols, kRows, kX0, kYTop, kCx, kCy, 0.5, list), 0);
    const keloPolygon all = kelo_test::PolygonOfRings({{{-1e6, -1e6, 0}, {1e6, -1e6, 0}, {1e6, 1e6, 0}, {-1e6, 1e6, 0}}});
    EXPECT_EQ(GetAllInnerPoint(all, kCols, kRows, kX0, kYTop, kCx, kCy, 0, list), 1);
    EXPECT_EQ(list.size(), 2u * kCols * kRows);
    EXPECT_EQ(GetAllInnerPoint(all, 0, 3, kX0, kYTop, kCx, kCy, 0, list), 0);
    // Tolerance takes in cell points lying on the boundary.
    const keloPolygon box = kelo_test::PolygonOfRings({{{kX0, kYTop - 3 * kCy, 0}, {kX0 + 2 * kCx, kYTop - 3 * kCy, 0},
                                          {kX0 + 2 * kCx, kYTop, 0}, {kX0, kYTop, 0}}});
    ASSERT_EQ(GetAllInnerPoint(box, kCols, kRows, kX0, kYTop, kCx, kCy, 1e-6, list), 1);
    EXPECT_EQ(list.size(), 2u * 4 * 3);  // rows 0..3, columns 0..2
    EXPECT_EQ(list.front(), 3u);
    EXPECT_EQ(list.back(), 2u);
    // Without tolerance the half-open rule drops the row level with the top edge.
    ASSERT_EQ(GetAllInnerPoint(box, kCols, kRows, kX0, kYTop, kCx, kCy, 0, list), 1);
    EXPECT_EQ(list.size(), 2u * 3 * 3);
}

TEST(InnerCells, FillAreaVolumeAndStatisticsOverTheListedCells) {
    std::mt19937 rng(5);
    const std::vector<Ring> rings = {Star(rng, 130, 460, 15, 25, 9), Star(rng, 131, 459, 3, 6, 5)};
    const keloPolygon poly = kelo_test::PolygonOfRings(rings);
    const auto want = Expected(rings);
    ASSERT_FALSE(want.empty());

    std::vector<int32_t> grid(kCols * kRows, 0);
    ASSERT_EQ(FillAllInnerPoint(poly, grid.data(), kCols, kRows, kX0, kYTop, kCx, kCy, 1e-9, 7), 1);
    std::set<std::pair<int, int>> inside(want.begin(), want.end());
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c) EXPECT_EQ(grid[r * kCols + c], inside.count({r, c}) ? 7 : 0);

    // A plane rising 0.5 per metre eastwards, in centimetres, with one nodata cell inside.
    std::vector<int32_t> dem(kCols * kRows);
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c) dem[r * kCols + c] = static_cast<int32_t>(c * kCx * 50);
    const auto hole = want[want.size() / 2];
    dem[hole.first * kCols + hole.second] = GetNodata();
    double area = -1, fill = 1, cut = 1;
    ASSERT_EQ(GetSurfaceArea(poly, dem.data(), kCols, kRows, kX0, kYTop, kCx, kCy, 1e-9, 100, area), 1);
    EXPECT_NEAR(area, (want.size() - 1) * 0.25 * kCx * kCy * std::sqrt(1.25), 1e-9 * area);
    const double base = 20;
    ASSERT_EQ(GetUDVolume(poly, base, dem.data(), kCols, kRows, kX0, kYTop, kCx, kCy, 1e-9, 100, fill, cut), 1);
    double wantFill = 0, wantCut = 0;
    int32_t lo = INT32_MAX, hi = INT32_MIN;
    for (const auto& [r, c] : want) {
        if (std::make_pair(r, c) == hole) continue;
        const double h = c * kCx * 0.5;
        if (h > base) wantFill += base - h;
        if (h < base) wantCut += h - base;
        lo = std::min(lo, dem[r * kCols + c]);
        hi = std::max(hi, dem[r * kCols + c]);
    }
    EXPECT_NEAR(fill, wantFill, 1e-9);
    EXPECT_NEAR(cut, wantCut, 1e-9);
    EXPECT_LT(fill, 0);
    EXPECT_LT(cut, 0);

    int32_t maj, mino, mx, mn, range, mean, median, dev, variety;
    double sum;
    ASSERT_EQ(NeighborhoodStatistics(poly, dem.data(), kCols, kRows, kX0, kYTop, kCx, kCy, 1e-9, maj, mino, mx, mn,
                                     range, mean, median, dev, sum, variety),
              1);
    EXPECT_EQ(mx, hi);
    EXPECT_EQ(mn, lo);

    const keloPolygon away = kelo_test::PolygonOfRings({{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}}});
    area = fill = cut = 3;
    EXPECT_EQ(GetSurfaceArea(away, dem.data(), kCols, kRows, kX0, kYTop, kCx, kCy, 0, 100, area), 0);
    EXPECT_EQ(GetUDVolume(away, 0, dem.data(), kCols, kRows, kX0, kYTop, kCx, kCy, 0, 100, fill, cut), 0);
    EXPECT_EQ(area, 3);
}

}  // namespace
