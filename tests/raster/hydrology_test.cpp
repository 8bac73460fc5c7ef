// Drainage on random and fractal terrain with nodata holes: the fill against an independent
// priority flood, and the directions, flow order, accumulation, basins, lengths and streams against
// the properties that define them. Then tie-breaking, and grids that are too small, too wide, empty,
// flat or a single pit.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "raster/hydrology.h"
#include "raster/nodata.h"
#include "support/priority_flood.h"

using namespace kelo;

namespace {

using Grid = std::unique_ptr<int32_t[]>;

struct NodataGuard {
    int32_t saved = GetNodata();
    ~NodataGuard() { SetNodata(saved); }
};

struct Terrain {
    std::string name;
    int cols, rows;
    std::vector<int32_t> z;
};

std::vector<int32_t> Noise(int cols, int rows, int top, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<int32_t> z(static_cast<size_t>(cols) * rows);
    for (int32_t& v : z) v = static_cast<int32_t>(rng() % (top + 1));
    return z;
}

std::vector<Terrain> Terrains(int32_t nodata) {
    std::vector<Terrain> t;
    auto add = [&](std::string name, int cols, int rows, std::vector<int32_t> z, int holes) {
        test::PunchHoles(z, cols, rows, holes, 3, static_cast<uint32_t>(cols * 7 + rows), nodata);
        t.push_back({std::move(name), cols, rows, std::move(z)});
    };
    add("noise 10x10", 10, 10, Noise(10, 10, 6, 1), 1);
    add("noise 37x23", 37, 23, Noise(37, 23, 9, 2), 3);
    add("noise 120x90 few levels", 120, 90, Noise(120, 90, 3, 3), 12);
    add("noise 60x50 heights far apart", 60, 50, Noise(60, 50, 2000000000, 8), 4);
    add("fractal 64x80", 64, 80, test::FractalDem(64, 80, 4, 200), 4);
    add("fractal 257x190", 257, 190, test::FractalDem(257, 190, 5, 3000), 10);
    add("fractal 150x150 low relief", 150, 150, test::FractalDem(150, 150, 6, 25), 6);
    add("flat 23x17", 23, 17, std::vector<int32_t>(23 * 17, 40), 0);
    add("flat 40x40 with holes", 40, 40, std::vector<int32_t>(1600, -7), 5);
    return t;
}

bool Inside(const Terrain& t, int r, int c) { return r >= 0 && r < t.rows && c >= 0 && c < t.cols; }

// Downstream cell of a single-direction code: -1 outside the grid, -2 into nodata, -3 none.
int Down(const Terrain& t, const int32_t* dirs, int i, int32_t nodata) {
    static const int kDrOfBit[8] = {1, 1, 0, -1, -1, -1, 0, 1}, kDcOfBit[8] = {0, -1, -1, -1, 0, 1, 1, 1};
    if (dirs[i] == 0) return -3;
    const int k = std::countr_zero(static_cast<unsigned>(dirs[i]));
    const int r = i / t.cols + kDrOfBit[k], c = i % t.cols + kDcOfBit[k];
    if (!Inside(t, r, c)) return -1;
    return t.z[r * t.cols + c] == nodata ? -2 : r * t.cols + c;
}

void CheckDrainage(const Terrain& t, int32_t nodata) {
    SCOPED_TRACE(t.name);
    const int n = t.cols * t.rows;
    const std::vector<int32_t> before = t.z;
    Grid filled(FillSinks(t.z.data(), t.cols, t.rows)), dirs(FlowDirection(t.z.data(), t.cols, t.rows)),
        acc(FlowAccumulation(t.z.data(), t.cols, t.rows)), len(FlowLength(t.z.data(), t.cols, t.rows)),
        streams(StreamNetwork(t.z.data(), t.cols, t.rows, 3.5));
    ASSERT_EQ(t.z, before);
    const std::vector<int32_t> want = test::PriorityFloodFill(t.z, t.cols, t.rows, nodata);
    ASSERT_TRUE(std::equal(want.begin(), want.end(), filled.get()));

    // Rim cells (edge or beside nodata) drain; every other valid cell reaches one going never up,
    // and the nearest such cell over its own level is the distance a flat cell must shrink.
    int valid = 0;
    std::vector<int> reach(n, -1), flatDist(n, -1);
    std::deque<int> q, fq;
    auto rim = [&](int i) {
        for (int dr = -1; dr <= 1; ++dr)
            for (int dc = -1; dc <= 1; ++dc) {
                const int r = i / t.cols + dr, c = i % t.cols + dc;
                if (!Inside(t, r, c) || filled[r * t.cols + c] == nodata) return true;
            }
        return false;
    };
    for (int i = 0; i < n; ++i) {
        if (filled[i] == nodata) continue;
        ++valid;
        bool lower = rim(i);
        for (int dr = -1; dr <= 1 && !lower; ++dr)
            for (int dc = -1; dc <= 1; ++dc) {
                const int r = i / t.cols + dr, c = i % t.cols + dc;
                lower |= Inside(t, r, c) && filled[r * t.cols + c] < filled[i];
            }
        if (rim(i)) reach[i] = 0, q.push_back(i);
        if (lower) flatDist[i] = 0, fq.push_back(i);
    }
    auto bfs = [&](std::deque<int>& queue, std::vector<int>& dist, auto accept) {
        while (!queue.empty()) {
            const int i = queue.front();
            queue.pop_front();
            for (int dr = -1; dr <= 1; ++dr)
                for (int dc = -1; dc <= 1; ++dc) {
                    const int r = i / t.cols + dr, c = i % t.cols + dc, j = r * t.cols + c;
                    if (!Inside(t, r, c) || dist[j] >= 0 || filled[j] == nodata || !accept(filled[j], filled[i]))
                        continue;
                    dist[j] = dist[i] + 1;
                    queue.push_back(j);
                }
        }
    };
    bfs(q, reach, [](int32_t next, int32_t here) { return next >= here; });
    bfs(fq, flatDist, [](int32_t next, int32_t here) { return next == here; });

    std::vector<int> inflow(n, 0), pos(n, -1);
    const std::vector<uint32_t> order = FlowOrder(dirs.get(), t.cols, t.rows);
    ASSERT_EQ(static_cast<int>(order.size()), valid);
    for (size_t k = 0; k < order.size(); ++k) pos[order[k]] = static_cast<int>(k);
    int64_t atOutlets = 0;
    double maxLen = 0;
    for (int i = 0; i < n; ++i) {
        if (filled[i] == nodata) {
            EXPECT_TRUE(dirs[i] == nodata && acc[i] == nodata && len[i] == nodata && streams[i] == nodata) << i;
            continue;
        }
        ASSERT_GE(reach[i], 0) << "cell " << i << " has no way out";
        ASSERT_EQ(std::popcount(static_cast<unsigned>(dirs[i])), 1) << i;
        ASSERT_LE(dirs[i], 128);
        const int d = Down(t, dirs.get(), i, nodata);
        maxLen = std::max(maxLen, double(len[i]));
        if (d < 0) {
            EXPECT_EQ(reach[i], 0) << "only rim cells leave the grid";
            EXPECT_EQ(len[i], 0);
            atOutlets += acc[i];
            continue;
        }
        ++inflow[d];
        EXPECT_GT(pos[d], pos[i]);
        EXPECT_LE(filled[d], filled[i]);
        if (flatDist[i] > 0) {
            EXPECT_EQ(flatDist[d], flatDist[i] - 1) << "flat cell " << i << " drains the long way";
        }
        EXPECT_GE(len[i], len[d]);
        if (streams[i] == 200) {
            EXPECT_EQ(streams[d], 200);
        }
    }
    EXPECT_EQ(atOutlets, valid);
    if (maxLen > 0) {
        EXPECT_EQ(maxLen, 200);
    }
    std::vector<int64_t> upstream(n, 0);
    for (int i = 0; i < n; ++i)
        if (filled[i] != nodata) {
            if (inflow[i] == 0) {
                EXPECT_EQ(streams[i], 0) << "a source cell has no upstream length";
            }
            const int d = Down(t, dirs.get(), i, nodata);
            if (d >= 0) upstream[d] += acc[i];
        }
    for (int i = 0; i < n; ++i) {
        if (filled[i] != nodata) {
            ASSERT_EQ(acc[i], 1 + upstream[i]) << i;
        }
    }

    // Basins: outlets with enough upstream cells get distinct labels that spread up their tree.
    for (int threshold : {1, 4, 40}) {
        Grid shed(Watershed(t.z.data(), t.cols, t.rows, threshold));
        int64_t labelled = 0, expectLabelled = 0;
        std::vector<int32_t> outletLabels;
        for (auto it = order.rbegin(); it != order.rend(); ++it) {
            const int i = static_cast<int>(*it), d = Down(t, dirs.get(), i, nodata);
            if (d < 0) {
                EXPECT_EQ(shed[i] > 0, acc[i] >= threshold) << i;
                if (acc[i] >= threshold) expectLabelled += acc[i], outletLabels.push_back(shed[i]);
            } else {
                EXPECT_EQ(shed[i], shed[d]) << i;
            }
            labelled += shed[i] > 0;
        }
        EXPECT_EQ(labelled, expectLabelled);
        std::sort(outletLabels.begin(), outletLabels.end());
        EXPECT_EQ(std::adjacent_find(outletLabels.begin(), outletLabels.end()), outletLabels.end());
        if (!outletLabels.empty() && outletLabels.size() <= 200) {
            EXPECT_EQ(outletLabels.back(), static_cast<int32_t>(outletLabels.size() * (200 / outletLabels.size())));
        }
    }
}

TEST(Hydrology, DrainageOfRandomAndFractalTerrain) {
    NodataGuard guard;
    for (int32_t nodata : {kDefaultNodata, -9999}) {
        SetNodata(nodata);
        for (const Terrain& t : Terrains(nodata)) CheckDrainage(t, nodata);
    }
}

// Centre cell of a 3 x 3 grid (too small to fill, so pits stay).
TEST(Hydrology, SteepestDropAndTies) {
    struct Case {
        const char* what;
        std::vector<int32_t> z;
        int32_t code;
    };
    const Case cases[] = {
        {"down beats right on a tie", {9, 9, 9, 9, 5, 3, 9, 3, 9}, 1},
        {"diagonal drop over sqrt 2", {9, 9, 9, 9, 5, 9, 9, 3, 1}, 128},
        {"straight step steeper than diagonal", {9, 9, 9, 9, 5, 9, 9, 2, 3}, 1},
        {"pit keeps no outflow", {9, 9, 9, 9, 5, 9, 9, 6, 9}, 0},
        {"up beats up-right", {9, 4, 4, 9, 5, 9, 9, 9, 9}, 16},
    };
    for (const Case& k : cases) {
        Grid d(FlowDirection(k.z.data(), 3, 3));
        EXPECT_EQ(d[4], k.code) << k.what;
    }
}

TEST(Hydrology, DegenerateGrids) {
    const int32_t nd = GetNodata();
    // Too small or too wide to fill: returned as given, the pit keeps code 0 and gathers its
    // neighbours; a closed level floor holds its water too instead of circling.
    for (auto [cols, rows] : {std::pair{9, 9}, std::pair{12, 9}, std::pair{60001, 10}}) {
        std::vector<int32_t> z(static_cast<size_t>(cols) * rows, 50);
        const int pit = 4 * cols + 4;
        z[pit] = 10;
        for (int i : {pit - cols - 1, pit - cols, pit - cols + 1, pit - 1, pit + 1, pit + cols - 1, pit + cols + 1})
            z[i] = 30;
        z[pit + cols] = 10;  // a second floor cell beside the pit: level, closed
        Grid f(FillSinks(z.data(), cols, rows)), d(FlowDirection(z.data(), cols, rows)),
            a(FlowAccumulation(z.data(), cols, rows)), w(Watershed(z.data(), cols, rows, 1));
        EXPECT_TRUE(std::equal(z.begin(), z.end(), f.get())) << cols;
        EXPECT_EQ(d[pit], 0);
        EXPECT_EQ(d[pit + cols], 0);
        EXPECT_GE(a[pit], 6) << cols;  // itself and the five slopes above it
        EXPECT_GE(a[pit + cols], 3) << cols;
        EXPECT_TRUE(std::all_of(a.get(), a.get() + z.size(), [](int32_t v) { return v >= 1; })) << "a cell lost in a loop";
        EXPECT_EQ(w[pit], 0) << "a pit is no outlet";
    }
    // A single pit in a grid that is filled: raised to its lowest neighbour, then drains.
    std::vector<int32_t> z(20 * 20);
    for (int i = 0; i < 400; ++i) z[i] = 100 + (i % 20) * 3 + (i / 20);
    z[8 * 20 + 8] = 0;
    Grid f(FillSinks(z.data(), 20, 20)), d(FlowDirection(z.data(), 20, 20));
    EXPECT_EQ(f[8 * 20 + 8], z[7 * 20 + 7]);
    EXPECT_EQ(d[8 * 20 + 8], 8) << "the raised pit passes its water to its lowest neighbour, up-left";
    // All nodata: every output nodata; a threshold above every accumulation: no basins.
    std::vector<int32_t> empty(15 * 12, nd);
    for (int32_t* raw : {FillSinks(empty.data(), 15, 12), FlowDirection(empty.data(), 15, 12),
                         FlowAccumulation(empty.data(), 15, 12), StreamNetwork(empty.data(), 15, 12, 0),
                         FlowLength(empty.data(), 15, 12), Watershed(empty.data(), 15, 12, 0)}) {
        Grid g(raw);
        EXPECT_TRUE(std::all_of(g.get(), g.get() + 180, [&](int32_t v) { return v == nd; }));
    }
    Grid none(Watershed(z.data(), 20, 20, 401));
    EXPECT_TRUE(std::all_of(none.get(), none.get() + 400, [](int32_t v) { return v == 0; }));
    // No grid at all.
    EXPECT_EQ(FillSinks(nullptr, 10, 10), nullptr);
    EXPECT_EQ(FlowAccumulation(z.data(), 0, 20), nullptr);
    EXPECT_EQ(Watershed(z.data(), 20, -1, 1), nullptr);
    EXPECT_TRUE(FlowOrder(nullptr, 3, 3).empty());
}

}  // namespace
