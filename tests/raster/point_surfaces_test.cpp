// Distance, nearest-point and density surfaces against brute-force scans of the same points.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "companion/random.h"
#include "companion/ui.h"
#include "raster/point_surfaces.h"

using namespace kelo;

namespace {

constexpr int kCols = 23, kRows = 17;
constexpr double kX0 = 1000, kYTop = 5000, kCx = 25, kCy = 40;

std::vector<Point3D> RandomPoints(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> x(kX0 - 100, kX0 + kCols * kCx + 100), y(kYTop - kRows * kCy - 100, kYTop + 100),
        z(0, 50);
    std::vector<Point3D> p(n);
    for (auto& q : p) q = {x(rng), y(rng), z(rng)};
    return p;
}

struct Capture {
    std::vector<std::string> texts;
    int opened = 0, closed = 0;
};

TEST(PointSurfaces, DistanceMatchesBruteForce) {
    for (int n : {1, 7, 20, 21, 500}) {
        std::vector<Point3D> pts = RandomPoints(n, n);
        std::vector<int32_t> out(kCols * kRows, 5);
        DemFindDistance(out.data(), kCols, kRows, kX0, kYTop, kCx, kCy, pts);
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < kCols; ++c) {
                double best = 2e9;
                for (const auto& p : pts) best = std::min(best, std::pow(p.x - kX0 - c * kCx, 2) + std::pow(p.y - kYTop + r * kCy, 2));
                ASSERT_EQ(out[r * kCols + c], static_cast<int32_t>(std::sqrt(best) / kCx + 0.01)) << n;
            }
    }
    // Nothing within the search radius, and no points at all.
    std::vector<Point3D> far = {{1e7, 1e7, 0}};
    std::vector<int32_t> out(4, 5);
    DemFindDistance(out.data(), 2, 2, 0, 0, 1, 1, far);
    EXPECT_EQ(out[0], static_cast<int32_t>(std::sqrt(2e9) + 0.01));
    std::vector<Point3D> none;
    DemFindDistance(out.data(), 2, 2, 0, 0, 1, 1, none);
    EXPECT_EQ(out, std::vector<int32_t>(4, -1));
}

TEST(PointSurfaces, ProximityColoursAndProgress) {
    Capture cap;
    KeloUiHandler h;
    h.user = &cap;
    h.waitOpen = [](void* u, const char* t) { ++static_cast<Capture*>(u)->opened, static_cast<Capture*>(u)->texts.push_back(t); };
    h.waitUpdate = [](void* u, const char* t, int) { static_cast<Capture*>(u)->texts.push_back(t); };
    h.waitClose = [](void* u) { ++static_cast<Capture*>(u)->closed; };
    KeloUiHandler old = SetKeloUiHandler(&h);

    std::vector<Point3D> pts = RandomPoints(60, 3);
    KeloSrand(11);
    std::vector<int> draws;
    for (size_t i = 0; i < 2 * pts.size(); ++i) draws.push_back(KeloRand());
    KeloSrand(11);
    std::vector<int32_t> out(kCols * kRows, 0);
    DemProximityMapping(out.data(), kCols, kRows, kX0, kYTop, kCx, kCy, pts);
    SetKeloUiHandler(&old);
    for (size_t i = 0; i < pts.size(); ++i) {
        const int d1 = draws[2 * i], d2 = draws[2 * i + 1];
        EXPECT_EQ(pts[i].z, ((d2 % 210 + 25) * 256.0 + (d1 % 210 + 25)) * 256.0);
    }
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c) {
            size_t best = 0;
            double bd = 1e300;
            for (size_t i = 0; i < pts.size(); ++i) {
                double d = std::pow(pts[i].x - kX0 - c * kCx, 2) + std::pow(pts[i].y - kYTop + r * kCy, 2);
                if (d < bd) bd = d, best = i;
            }
            ASSERT_EQ(out[r * kCols + c], static_cast<int32_t>(pts[best].z));
        }
    ASSERT_EQ(cap.texts.size(), 1u + kRows);
    EXPECT_EQ(cap.texts[0], "initial...");
    EXPECT_EQ(cap.texts[1], "dem...");
    EXPECT_EQ(cap.opened, 1);
    EXPECT_EQ(cap.closed, 1);
}

TEST(PointSurfaces, DensityMatchesBruteForce) {
    std::vector<Point3D> pts = RandomPoints(80, 9);
    pts.push_back({kX0, kYTop, 0});  // weightless: leaves its cell at -1 when alone
    const double radius = 90;
    std::vector<int32_t> out(kCols * kRows, 3);
    DemDensityFunction(out.data(), kCols, kRows, kX0, kYTop, kCx, kCy, pts, radius);
    int written = 0;
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c) {
            double s = 0;
            for (const auto& p : pts)
                if (std::hypot(p.x - kX0 - c * kCx, p.y - kYTop + r * kCy) <= radius) s += p.z;
            const double a = std::acos(-1.0) * 0.09 * 0.09;
            ASSERT_EQ(out[r * kCols + c], s > 1e-8 ? static_cast<int32_t>(s / a) : -1);
            written += s > 1e-8;
        }
    EXPECT_GT(written, 20);
}

}  // namespace
