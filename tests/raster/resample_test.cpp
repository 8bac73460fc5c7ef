// Both resamplers and point sampling against a straightforward reimplementation on random grids,
// with nodata cells, grid edges and the size limit.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "raster/nodata.h"
#include "raster/resample.h"

using namespace kelo;

namespace {

struct Geo {
    int cols, rows;
    double x0, yTop, cx, cy;
};

int32_t At(const std::vector<int32_t>& g, const Geo& s, long r, long c) {
    return r < 0 || c < 0 || r >= s.rows || c >= s.cols ? GetNodata() : g[r * s.cols + c];
}

int32_t RefNearest(const std::vector<int32_t>& g, const Geo& s, double x, double y) {
    return At(g, s, static_cast<long>(std::floor((s.yTop - y) / s.cy + 0.5)),
              static_cast<long>(std::floor((x - s.x0) / s.cx + 0.5)));
}

int32_t RefBilinear(const std::vector<int32_t>& g, const Geo& s, double x, double y) {
    const double fr = (s.yTop - y) / s.cy, fc = (x - s.x0) / s.cx;
    const long r = static_cast<long>(std::floor(fr)), c = static_cast<long>(std::floor(fc));
    const int32_t nd = GetNodata();
    int32_t v[4] = {At(g, s, r, c), At(g, s, r, c + 1), At(g, s, r + 1, c), At(g, s, r + 1, c + 1)};
    for (int32_t q : v)
        if (q == nd) return nd;
    const double a = fr - r, b = fc - c;
    return static_cast<int32_t>(v[0] * (1 - a) * (1 - b) + v[1] * (1 - a) * b + v[2] * a * (1 - b) + v[3] * a * b);
}

TEST(Resample, RandomGridsAgreeWithReference) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> size(1, 12), val(-5000, 5000), coin(0, 9);
    std::uniform_real_distribution<double> off(-20, 20), cell(0.3, 4);
    int compared = 0;
    for (int trial = 0; trial < 300; ++trial) {
        Geo s{size(rng), size(rng), off(rng), off(rng), cell(rng), cell(rng)};
        Geo d{size(rng), size(rng), s.x0 + off(rng) / 4, s.yTop + off(rng) / 4, cell(rng), cell(rng)};
        if (trial % 5 == 0) d = {s.cols, s.rows, s.x0, s.yTop, s.cx, s.cy};  // identity: every cell point is a source point
        std::vector<int32_t> g(s.cols * s.rows);
        for (auto& v : g) v = coin(rng) ? val(rng) : GetNodata();
        std::unique_ptr<int32_t[]> n(ReformDemNearest(g.data(), s.cols, s.rows, s.x0, s.yTop, s.cx, s.cy, d.cols,
                                                      d.rows, d.x0, d.yTop, d.cx, d.cy));
        std::unique_ptr<int32_t[]> w(ReformDemWeighted(g.data(), s.cols, s.rows, s.x0, s.yTop, s.cx, s.cy, d.cols,
                                                       d.rows, d.x0, d.yTop, d.cx, d.cy));
        ASSERT_TRUE(n && w);
        for (int i = 0; i < d.rows; ++i)
            for (int j = 0; j < d.cols; ++j) {
                const double x = d.x0 + j * d.cx, y = d.yTop - i * d.cy;
                ASSERT_EQ(n[i * d.cols + j], RefNearest(g, s, x, y)) << trial;
                ++compared;
                if (trial % 5) {
                    ASSERT_EQ(w[i * d.cols + j], RefBilinear(g, s, x, y)) << trial;
                    continue;
                }
                // On the source cell points both samplers give the cell itself; the weighted one
                // needs the cells below and to the right to exist and hold data.
                EXPECT_EQ(n[i * d.cols + j], g[i * s.cols + j]);
                bool full = i + 1 < s.rows && j + 1 < s.cols;
                for (int q = 0; full && q < 4; ++q) full = At(g, s, i + q / 2, j + q % 2) != GetNodata();
                EXPECT_EQ(w[i * d.cols + j], full ? g[i * s.cols + j] : GetNodata()) << trial;
            }
    }
    EXPECT_GT(compared, 5000);
}

TEST(Resample, DestinationSizeLimit) {
    const int32_t g[] = {1, 2, 3, 4};
    struct Case {
        int cols, rows;
        bool ok;
    };
    for (const Case& k : {Case{60000, 1, true}, Case{1, 60000, true}, Case{60001, 1, false}, Case{1, 60001, false},
                          Case{0, 5, false}, Case{5, -1, false}}) {
        std::unique_ptr<int32_t[]> n(ReformDemNearest(g, 2, 2, 0, 0, 1, 1, k.cols, k.rows, 0, 0, 1, 1));
        std::unique_ptr<int32_t[]> w(ReformDemWeighted(g, 2, 2, 0, 0, 1, 1, k.cols, k.rows, 0, 0, 1, 1));
        EXPECT_EQ(n != nullptr, k.ok) << k.cols << "x" << k.rows;
        EXPECT_EQ(w != nullptr, k.ok) << k.cols << "x" << k.rows;
    }
}

TEST(Resample, HeightsAtPoints) {
    // 3 x 2 grid at x0 = 10, yTop = 20, cells 2 x 1.
    const int32_t g[] = {100, 200, -300, 300, 400, 999999};
    std::vector<Point3D> pts = {{10, 20, 5},  {11, 19.5, 5}, {12, 20, 5}, {14, 20, 5},
                                {9, 20, 5},   {13, 20, 5},   {12, 19, 5}};
    GetHValueFromElevs(g, 3, 2, 10, 20, 2, 1, pts);
    EXPECT_EQ(pts[0].z, 100);
    EXPECT_EQ(pts[1].z, 250);      // centre of four cells
    EXPECT_EQ(pts[2].z, GetNodata());  // its lower-right neighbour is nodata
    EXPECT_EQ(pts[3].z, GetNodata());  // last column
    EXPECT_EQ(pts[4].z, GetNodata());  // outside
    EXPECT_EQ(pts[5].z, GetNodata());
    EXPECT_EQ(pts[6].z, GetNodata());  // last row
    const int32_t neg[] = {-300, -300, -300, -300};
    std::vector<Point3D> p = {{0.5, -0.5, 1}};
    GetHValueFromElevs(neg, 2, 2, 0, 0, 1, 1, p);
    EXPECT_EQ(p[0].z, 0);  // negative heights are reported as 0
    GetHValueFromElevs(nullptr, 0, 0, 0, 0, 1, 1, p);
    EXPECT_EQ(p[0].z, GetNodata());
}

}  // namespace
