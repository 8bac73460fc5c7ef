// Viewsheds on flat ground and behind a wall, profiles ending exactly on their end point, and the
// line of sight against an independent march along the straight sight line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "raster/nodata.h"
#include "raster/visibility.h"

using namespace kelo;

namespace {

TEST(Viewshed, FlatGroundIsAllVisibleAndAWallHidesWhatLiesBehind) {
    const int rows = 50, cols = 60;
    std::vector<int32_t> dem(rows * cols, 300), out(rows * cols, 0);
    ASSERT_EQ(VisibleRange(20, 10, rows, cols, dem.data(), out.data(), 0, 7), 1);
    for (int i = 0; i < rows * cols; ++i) ASSERT_EQ(out[i], 7) << i / cols << "," << i % cols;
    // A wall 100 units high along column 30; nodata cells are never marked.
    for (int r = 0; r < rows; ++r) dem[r * cols + 30] = 400;
    dem[5 * cols + 5] = GetNodata();
    std::fill(out.begin(), out.end(), 0);
    ASSERT_EQ(VisibleRange(25, 10, rows, cols, dem.data(), out.data(), 2, 1), 1);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const int expected = (r == 5 && c == 5) || c >= 32 ? 0 : c <= 30 ? 1 : out[r * cols + c];
            EXPECT_EQ(out[r * cols + c], expected) << r << "," << c;
        }
}

TEST(Viewshed, RefusesSmallGridsAndObserversOffTheGrid) {
    std::vector<int32_t> dem(20 * 20, 0), out(20 * 20, 0);
    EXPECT_EQ(VisibleRange(0, 0, 9, 20, dem.data(), out.data(), 0, 1), 0);
    EXPECT_EQ(VisibleRange(0, 0, 20, 9, dem.data(), out.data(), 0, 1), 0);
    EXPECT_EQ(VisibleRange(-1, 3, 20, 20, dem.data(), out.data(), 0, 1), 0);
    EXPECT_EQ(VisibleRange(3, 20, 20, 20, dem.data(), out.data(), 0, 1), 0);
    dem[3 * 20 + 3] = GetNodata();
    EXPECT_EQ(VisibleRange(3, 3, 20, 20, dem.data(), out.data(), 0, 1), 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), 1), 0);
}

std::vector<int32_t> Rough(int rows, int cols, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> u(0, 400);
    std::vector<int32_t> dem(rows * cols);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            dem[r * cols + c] = static_cast<int32_t>(1000 + 300 * std::sin(r / 6.0) * std::cos(c / 9.0) + u(rng));
    return dem;
}

TEST(Profile, SamplesEveryStepAndEndsOnTheEndPoint) {
    const int rows = 40, cols = 40;
    const std::vector<int32_t> dem = Rough(rows, cols, 1);
    std::vector<Point3D> prof = {{1, 2, 3}};
    EXPECT_EQ(DemSectionOfLine(dem.data(), cols, rows, 0, 400, 10, 10, {50, 50, 0}, {50, 50, 0}, prof), 0);
    EXPECT_EQ(prof.size(), 1u);
    ASSERT_EQ(DemSectionOfLine(dem.data(), cols, rows, 0, 400, 10, 10, {50, 350, 0}, {250, 350, 0}, prof), 1);
    ASSERT_EQ(prof.size(), 21u);
    EXPECT_EQ(prof.back().x, 250);
    EXPECT_EQ(prof[3].x, 80);
    EXPECT_EQ(prof[3].z, dem[5 * cols + 8]);
    // A polyline: the joint sample appears once.
    keloPoints line(std::vector<Point3D>{{50, 350, 0}, {250, 350, 0}, {250, 150, 0}}, klLTPolyline), out;
    ASSERT_EQ(DemSectionOfLines(dem.data(), cols, rows, 0, 400, 10, 10, line, out), 1);
    EXPECT_EQ(out.GetCount(), 41);
}

// Independent check: the target is seen when no sample between lies above the straight line from
// the eye to the target.
TEST(LineOfSight, TargetFlagAgreesWithARayMarch) {
    const int rows = 60, cols = 60;
    const double cell = 10;
    const std::vector<int32_t> dem = Rough(rows, cols, 2);
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> u(5, 585);
    int compared = 0, disagree = 0, seen = 0;
    for (int i = 0; i < 300; ++i) {
        const Point3D a{u(rng), u(rng), 0}, b{u(rng), u(rng), 0};
        const double eye = 1 + i % 7 * 60.0, tgt = i % 3 * 40.0;
        keloPoints sight;
        std::vector<uint8_t> vis;
        ASSERT_EQ(LineOfSight(dem.data(), cols, rows, 0, 600, cell, cell, a, eye, b, tgt, sight, vis), 1);
        std::vector<Point3D> prof;
        if (!DemSectionOfLine(dem.data(), cols, rows, 0, 600, cell, cell, a, b, prof) || prof.size() < 2) continue;
        ASSERT_EQ(static_cast<int>(vis.size()), sight.GetCount());
        // Samples over nodata drop out, so the last sample may fall short of b.
        const double L = std::hypot(prof.back().x - prof.front().x, prof.back().y - prof.front().y);
        const double z0 = prof.front().z + eye, z1 = prof.back().z + tgt;
        double margin = 1e300;
        for (size_t k = 1; k + 1 < prof.size(); ++k) {
            const double s = std::hypot(prof[k].x - prof.front().x, prof[k].y - prof.front().y);
            margin = std::min(margin, z0 + (z1 - z0) * s / L - prof[k].z);
        }
        if (std::fabs(margin) < 1e-6) continue;  // grazing
        ++compared;
        seen += margin > 0;
        disagree += (margin > 0) != (vis.back() == 1);
        EXPECT_NEAR(sight[sight.GetCount() - 1].x, L, 1e-6);
    }
    EXPECT_GT(compared, 250);
    EXPECT_GT(seen, 20);
    EXPECT_LT(seen, compared - 20);
    EXPECT_EQ(disagree, 0);
}

TEST(LineOfSight, HiddenStretchEndsAtAnInsertedVertexOnTheSightLine) {
    // Flat at 0 with a ridge at x = 100..110 and a rise to 200 further on.
    const int rows = 10, cols = 40;
    std::vector<int32_t> dem(rows * cols, 0);
    for (int r = 0; r < rows; ++r) {
        dem[r * cols + 10] = dem[r * cols + 11] = 50;
        for (int c = 25; c < cols; ++c) dem[r * cols + c] = (c - 25) * 20;
    }
    keloPoints sight;
    std::vector<uint8_t> vis;
    ASSERT_EQ(LineOfSight(dem.data(), cols, rows, 0, 100, 10, 10, {0, 50, 0}, 10, {380, 50, 0}, 0, sight, vis), 1);
    int hidden = 0, inserted = 0;
    for (int k = 0; k < sight.GetCount(); ++k) {
        hidden += vis[k] == 0;
        inserted += std::fmod(sight[k].x, 10.0) > 1e-6 && std::fmod(sight[k].x, 10.0) < 10 - 1e-6;
    }
    EXPECT_GT(hidden, 5);
    EXPECT_EQ(inserted, 1);
    EXPECT_EQ(vis.back(), 1);
    EXPECT_EQ(vis[static_cast<size_t>(sight.GetCount() - 1)], 1);
}

}  // namespace
