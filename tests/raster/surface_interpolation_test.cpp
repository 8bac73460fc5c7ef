// Grids from scattered points: a plane must be reproduced inside the hull and nothing written
// outside it, the two linear fillers must agree, and weighting must stay within the data range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "raster/nodata.h"
#include "raster/surface_interpolation.h"

using namespace kelo;

namespace {

constexpr int kCols = 40, kRows = 30;
constexpr double kX0 = 100, kYTop = 900, kCell = 10;

double PlaneZ(double x, double y) { return 3 * x - 2 * y + 5000; }

TEST(LinearSurface, ReproducesAPlaneInsideTheHullOnlyAndBothFillersAgree) {
    std::mt19937 rng(5);
    // The points cover a disc in the middle of the grid, so many cells lie outside the hull.
    std::uniform_real_distribution<double> a(0, 2 * M_PI), r(0, 1);
    std::vector<Point3D> pts;
    for (int i = 0; i < 200; ++i) {
        const double t = a(rng), s = 120 * std::sqrt(r(rng));
        const double x = 300 + s * std::cos(t), y = 750 + s * std::sin(t);
        pts.push_back({x, y, PlaneZ(x, y)});
    }
    std::vector<int32_t> fast(kCols * kRows + 1, 7), slow(kCols * kRows + 1, 7);
    ASSERT_EQ(SurfaceCreateLinear(pts, kCols, kRows, kX0, kYTop, kCell, kCell, fast.data()), 1);
    ASSERT_EQ(SurfaceCreateLinearSlower(pts, kCols, kRows, kX0, kYTop, kCell, kCell, slow.data()), 1);
    int inside = 0, mismatch = 0;
    for (int rr = 0; rr < kRows; ++rr)
        for (int c = 0; c < kCols; ++c) {
            const double x = kX0 + c * kCell, y = kYTop - rr * kCell;
            const int32_t v = fast[rr * kCols + c];
            if (std::hypot(x - 300, y - 750) > 121) {
                EXPECT_EQ(v, GetNodata()) << rr << "," << c;
            }
            if (v != GetNodata()) {
                ++inside;
                EXPECT_NEAR(v, PlaneZ(x, y), 1.0) << rr << "," << c;
            }
            mismatch += v != slow[rr * kCols + c];
        }
    EXPECT_GT(inside, 300);
    EXPECT_EQ(mismatch, 0);
}

TEST(LinearSurface, TooFewDistinctPointsLeaveEveryCellNodata) {
    const std::vector<std::vector<Point3D>> cases = {
        {}, {{200, 800, 5}, {200, 800, 9}, {300, 700, 1}}, {{150, 850, 1}, {250, 750, 2}, {350, 650, 3}}};
    for (auto pts : cases) {
        std::vector<int32_t> g(kCols * kRows + 1, 7);
        EXPECT_EQ(SurfaceCreateLinear(pts, kCols, kRows, kX0, kYTop, kCell, kCell, g.data()), 1);
        EXPECT_EQ(std::count(g.begin(), g.end() - 1, GetNodata()), kCols * kRows);
    }
}

TEST(IdwSurface, HitsPointsStaysInRangeAndRefusesNoPoints) {
    std::vector<Point3D> pts = {{100, 900, 10.4}, {300, 700, 80}, {450, 650, 35}, {250, 850, -20}};
    std::vector<int32_t> g(kCols * kRows + 1, 7);
    std::vector<Point3D> none;
    EXPECT_EQ(SurfaceCreateIDW(none, kCols, kRows, kX0, kYTop, kCell, kCell, g.data()), 0);
    EXPECT_EQ(g[0], 7);
    ASSERT_EQ(SurfaceCreateIDW(pts, kCols, kRows, kX0, kYTop, kCell, kCell, g.data()), 1);
    EXPECT_EQ(g[0], 10);                   // cell (0, 0) lies on the first point
    EXPECT_EQ(g[20 * kCols + 20], 80);     // and (20, 20) on the second
    for (int i = 0; i < kCols * kRows; ++i) {
        EXPECT_GE(g[i], -20);
        EXPECT_LE(g[i], 80);
    }
    // One point: every weight is 0 away from it, and the cells take its value.
    std::vector<Point3D> one = {{1000, 1000, 42}};
    ASSERT_EQ(SurfaceCreateIDW(one, kCols, kRows, kX0, kYTop, kCell, kCell, g.data()), 1);
    EXPECT_EQ(std::count(g.begin(), g.end() - 1, 42), kCols * kRows);
}

}  // namespace
