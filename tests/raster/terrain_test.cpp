// Slope, aspect and hill shade on analytic surfaces: planes of known gradient, a cone, a Gaussian
// hill, walls that cast shadows, nodata holes and degenerate grid sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <vector>

#include "raster/nodata.h"
#include "raster/terrain.h"

using namespace kelo;

namespace {

constexpr double kPi = std::numbers::pi;

using Grid = std::unique_ptr<int32_t[]>;

// Heights in centimetres (z scale 100) of f(x east, y north) sampled at cell points.
std::vector<int32_t> Sample(int cols, int rows, double cx, double cy, const std::function<double(double, double)>& f) {
    std::vector<int32_t> g(static_cast<size_t>(cols) * rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) g[r * cols + c] = static_cast<int32_t>(std::lround(f(c * cx, -r * cy) * 100));
    return g;
}

struct NodataGuard {
    int32_t saved = GetNodata();
    ~NodataGuard() { SetNodata(saved); }
};

TEST(Terrain, FlatGridIsLevelAndLitBySinAltitude) {
    const int cols = 7, rows = 5;
    std::vector<int32_t> g(cols * rows, 1234);
    for (int method = 1; method <= 4; ++method) {
        Grid s(DemSlope(g.data(), cols, rows, 2, 3, 100, method)), a(DemAspect(g.data(), cols, rows, 2, 3, method));
        for (int i = 0; i < cols * rows; ++i) {
            EXPECT_EQ(s[i], 0);
            EXPECT_EQ(a[i], 0);
        }
    }
    for (int alt : {0, 15, 30, 45, 60, 90})
        for (int az : {0, 45, 90, 200, 315}) {
            Grid h(HillShade(g.data(), cols, rows, 2, 3, az, alt, 100));
            const int want = static_cast<int>(250 * std::sin(alt * kPi / 180) + 0.5);
            for (int i = 0; i < cols * rows; ++i) ASSERT_EQ(h[i], want) << "alt " << alt << " az " << az;
        }
}

// Planes z = gx*x + gy*y on rectangular cells: slope of the steepest neighbour (methods 1, 2) and of
// the steepest central difference (3, 4), from the directional derivatives of the plane. Cells on
// the border, in the corners and beside a hole have the interior's slope too.
TEST(Terrain, PlaneSlopeMatchesDirectionalDerivatives) {
    NodataGuard guard;
    struct Case {
        double gx, gy, cx, cy;
    };
    const Case cases[] = {{0.3, 0, 2, 2}, {0, -0.5, 1, 3}, {0.2, 0.1, 2, 1}, {-1.5, 0.7, 5, 5}, {0.05, 0.02, 10, 20}};
    for (const Case& k : cases) {
        const int cols = 9, rows = 8;
        auto g = Sample(cols, rows, k.cx, k.cy, [&](double x, double y) { return 50 + k.gx * x + k.gy * y; });
        g[3 * cols + 4] = GetNodata();
        // Directional slope of the plane along a step of dr rows (southwards) and dc columns.
        auto along = [&](int dr, int dc) {
            return std::fabs(k.gx * dc * k.cx - k.gy * dr * k.cy) / std::hypot(dr * k.cy, dc * k.cx);
        };
        double steepest8 = 0, steepest4 = 0;
        for (int dr = -1; dr <= 1; ++dr)
            for (int dc = -1; dc <= 1; ++dc)
                if (dr || dc) steepest8 = std::max(steepest8, along(dr, dc));
        for (auto [dr, dc] : {std::pair{-1, -1}, {-1, 0}, {-1, 1}, {0, 1}}) steepest4 = std::max(steepest4, along(dr, dc));
        for (int method = 1; method <= 4; ++method) {
            Grid s(DemSlope(g.data(), cols, rows, k.cy, k.cx, 100, method));
            const double t = method < 3 ? steepest8 : steepest4;
            const double want = method % 2 ? t * 1000 : std::atan(t) * 180 / kPi * 10;
            for (int r = 0; r < rows; ++r)
                for (int c = 0; c < cols; ++c)
                    if (g[r * cols + c] != GetNodata()) {
                        EXPECT_NEAR(s[r * cols + c], want, 2.5)
                            << "method " << method << " gx " << k.gx << " gy " << k.gy << " at " << r << "," << c;
                    }
        }
    }
}

// A plane falling towards each of the eight compass directions on square cells, borders included.
TEST(Terrain, PlaneAspectPointsDownhill) {
    const int codes[8] = {2, 3, 4, 5, 6, 7, 8, 1};  // N, NE, E, SE, S, SW, W, NW
    for (int k = 0; k < 8; ++k) {
        const double az = k * kPi / 4, ex = std::sin(az), ey = std::cos(az);
        auto g = Sample(6, 6, 1, 1, [&](double x, double y) { return 100 - 0.4 * (ex * x + ey * y); });
        for (int method : {1, 2}) {
            Grid a(DemAspect(g.data(), 6, 6, 1, 1, method));
            for (int r = 0; r < 6; ++r)
                for (int c = 0; c < 6; ++c)
                    EXPECT_EQ(a[r * 6 + c], codes[k]) << "direction " << k << " method " << method << " at " << r << "," << c;
        }
    }
}

TEST(Terrain, ConeAndGaussianHillFaceOutwards) {
    const int n = 21, m = 10;
    auto cone = Sample(n, n, 1, 1, [&](double x, double y) { return 30 - 0.8 * std::hypot(x - m, y + m); });
    auto hill = Sample(n, n, 1, 1, [&](double x, double y) {
        return 20 * std::exp(-((x - m) * (x - m) + (y + m) * (y + m)) / 30);
    });
    const int dr[8] = {-1, -1, 0, 1, 1, 1, 0, -1}, dc[8] = {0, 1, 1, 1, 0, -1, -1, -1};
    for (const auto* g : {&cone, &hill}) {
        for (int method : {1, 2}) {
            Grid a(DemAspect(g->data(), n, n, 1, 1, method));
            for (int dir = 0; dir < 8; ++dir)
                for (int d = 2; d <= 6; ++d)
                    EXPECT_EQ(a[(m + d * dr[dir]) * n + m + d * dc[dir]], DirectionCode(dr[dir], dc[dir]))
                        << "direction " << dir << " distance " << d << " method " << method;
        }
    }
    // The cone's slope along its axes is its generator's gradient.
    Grid s(DemSlope(cone.data(), n, n, 1, 1, 100, 1));
    for (int d = 1; d <= 8; ++d) {
        EXPECT_NEAR(s[m * n + m + d], 800, 10);
        EXPECT_NEAR(s[(m - d) * n + m], 800, 10);
    }
    // The hill's sunny side is brighter than its far side, and a low sun hides its foot behind it.
    Grid hs(HillShade(hill.data(), n, n, 1, 1, 90, 45, 100));
    EXPECT_GT(hs[m * n + m + 3], hs[m * n + m - 3]);
    Grid low(HillShade(hill.data(), n, n, 1, 1, 90, 5, 100));
    EXPECT_EQ(low[m * n + m - 4], 0);
    EXPECT_GT(low[m * n + m + 4], 0);
}

// Each lit triangle of a plane has the plane's normal, so its brightness is the cosine to the sun.
TEST(Terrain, HillShadeOfPlanesIsCosineToSun) {
    struct Case {
        double gx, gy;
        int az, alt;
    };
    const Case cases[] = {{0.5, 0, 270, 45}, {0, 0.5, 180, 30}, {-0.3, 0.4, 45, 60}, {0.2, 0.2, 90, 70}, {1, 0, 270, 80}};
    for (const Case& k : cases) {
        const double cx = 2, cy = 3;
        auto g = Sample(8, 8, cx, cy, [&](double x, double y) { return 40 + k.gx * x + k.gy * y; });
        Grid h(HillShade(g.data(), 8, 8, cx, cy, k.az, k.alt, 100));
        const double a = k.alt * kPi / 180, z = k.az * kPi / 180;
        const double sun[3] = {std::cos(a) * std::sin(z), std::cos(a) * std::cos(z), std::sin(a)};
        const double len = std::sqrt(k.gx * k.gx + k.gy * k.gy + 1);
        const double cosine = (-k.gx * sun[0] - k.gy * sun[1] + sun[2]) / len;
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c)
                EXPECT_NEAR(h[r * 8 + c], std::max(0.0, cosine) * 250, 1.5) << k.gx << " " << k.gy << " az " << k.az;
    }
}

// A wall of height H in a level field: a cell d cells away on the far side is dark exactly when the
// wall top stands above the sun's altitude seen from it.
TEST(Terrain, WallCastsShadowOfDocumentedLength) {
    const int cols = 40, rows = 7, wall = 30;
    const double H = 6, cx = 1.5;
    std::vector<int32_t> g(cols * rows, 0);
    for (int r = 0; r < rows; ++r) g[r * cols + wall] = static_cast<int32_t>(H * 100);
    for (int alt : {10, 20, 35}) {
        Grid h(HillShade(g.data(), cols, rows, cx, cx, 90, alt, 100));
        const int lit = static_cast<int>(250 * std::sin(alt * kPi / 180) + 0.5);
        for (int d = 1; d < wall; ++d) {
            const bool dark = std::atan2(H, d * cx) > alt * kPi / 180 + 1e-7;
            if (dark) {
                EXPECT_EQ(h[3 * cols + wall - d], 0) << "alt " << alt << " d " << d;
            } else if (d >= 2) {
                EXPECT_EQ(h[3 * cols + wall - d], lit) << "alt " << alt << " d " << d;
            }
        }
    }
}

// With a slanting sun the step jumps several columns; the cells between are seen through sub-steps,
// so a one-cell wall still shades every line that crosses it.
TEST(Terrain, SlantingSunSeesThinWallThroughSubSteps) {
    const int cols = 60, rows = 40, wall = 40;
    std::vector<int32_t> g(cols * rows, 0);
    for (int r = 0; r < rows; ++r) g[r * cols + wall] = 500;
    Grid h(HillShade(g.data(), cols, rows, 1, 1, 60, 20, 100));
    for (int r = 12; r < rows; ++r)
        for (int c = wall - 3; c < wall; ++c) EXPECT_EQ(h[r * cols + c], 0) << r << "," << c;
    // Far from the wall the field is lit again.
    EXPECT_GT(h[39 * cols + 5], 0);
}

TEST(Terrain, NodataHolesAreKeptAndIgnored) {
    NodataGuard guard;
    for (int32_t nd : {999999, -9999}) {
        SetNodata(nd);
        const int n = 9;
        auto g = Sample(n, n, 1, 1, [](double x, double) { return 10 + 0.5 * x; });
        for (int i : {0, 20, 40, 41, 80}) g[i] = nd;
        Grid s(DemSlope(g.data(), n, n, 1, 1, 100, 1)), a(DemAspect(g.data(), n, n, 1, 1, 1)),
            h(HillShade(g.data(), n, n, 1, 1, 315, 45, 100));
        for (int i = 0; i < n * n; ++i) {
            if (g[i] == nd) {
                EXPECT_EQ(s[i], nd);
                EXPECT_EQ(a[i], nd);
                EXPECT_EQ(h[i], nd);
            } else {
                EXPECT_EQ(s[i], 500) << i;  // steepest valid neighbour: along x
                EXPECT_EQ(a[i], 8) << i;  // downhill is west
            }
        }
    }
    // 999999 is an ordinary height once the nodata value has moved.
    SetNodata(-9999);
    std::vector<int32_t> g = {999999, 0, 0, 0};
    Grid s(DemSlope(g.data(), 2, 2, 1, 1, 1, 1));
    EXPECT_GT(s[3], 0);
}

TEST(Terrain, DegenerateGridsStayInside) {
    NodataGuard guard;
    const int32_t nd = GetNodata();
    struct Case {
        int cols, rows;
        std::vector<int32_t> cells;
    };
    const Case cases[] = {{0, 0, {}}, {0, 5, {}}, {1, 1, {7}}, {2, 1, {0, 100}}, {1, 2, {0, 100}}, {2, 2, {nd, nd, nd, nd}}};
    for (const Case& k : cases) {
        std::vector<int32_t> g = k.cells;
        g.shrink_to_fit();
        const int32_t* p = g.empty() ? nullptr : g.data();
        for (int method = 1; method <= 4; ++method) {
            Grid s(DemSlope(p, k.cols, k.rows, 1, 1, 1, method)), a(DemAspect(p, k.cols, k.rows, 1, 1, method));
            ASSERT_NE(s, nullptr);
            for (size_t i = 0; i < g.size(); ++i) EXPECT_EQ(s[i] == nd, g[i] == nd);
        }
        for (int az : {0, 37, 135, 300}) {
            Grid h(HillShade(p, k.cols, k.rows, 1, 1, az, 30, 1));
            ASSERT_NE(h, nullptr);
            if (k.cols * k.rows == 1) {
                EXPECT_EQ(h[0], 0);  // no triangle
            }
        }
    }
    // Huge scales and steps saturate instead of overflowing.
    std::vector<int32_t> cliff = {0, 2000000000};
    Grid s(DemSlope(cliff.data(), 2, 1, 1e-9, 1e-9, 1, 3));
    EXPECT_EQ(s[0], INT32_MAX);
    Grid flat(DemSlope(cliff.data(), 2, 1, 1, 1, 2000000000, 1));
    EXPECT_EQ(flat[0], 1000);
}

TEST(Terrain, CopyDemWritesOnlyTheOverlap) {
    const int sc = 4, sr = 3, dc = 5, dr = 4;
    std::vector<int32_t> src(sc * sr);
    for (int i = 0; i < sc * sr; ++i) src[i] = i + 1;
    for (int ro : {-4, -1, 0, 2, 4})
        for (int co : {-5, -2, 0, 3, 5}) {
            std::vector<int32_t> dst(dc * dr, -7), want = dst;
            for (int r = 0; r < sr; ++r)
                for (int c = 0; c < sc; ++c)
                    if (r + ro >= 0 && r + ro < dr && c + co >= 0 && c + co < dc) want[(r + ro) * dc + c + co] = src[r * sc + c];
            EXPECT_EQ(CopyDem(src.data(), sc, sr, dst.data(), dc, dr, co, ro), 1);
            EXPECT_EQ(dst, want) << ro << "," << co;
        }
}

}  // namespace
