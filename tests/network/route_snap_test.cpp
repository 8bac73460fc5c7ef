#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "KeloGeomNet.h"
#include "road_grid.h"

using namespace kelo;
using namespace kelo::testing;

namespace {

void Line(Dijkstra_Route& g, double x1, double y1, double x2, double y2, bool twoWay = true) {
    const Point3D pts[2] = {{x1, y1, 0}, {x2, y2, 0}};
    g.Init_Lines(pts, 2, 50.0f, twoWay, false, 5u, int16_t{2});
}

int V(const Dijkstra_Route& g, double x, double y) { return g.Binary_Search(Point3D{x, y, 0}); }

bool Reaches(Dijkstra_Route& g, int from, int to) {
    g.Solve(from, 1);
    return g.GetPre(to) != -1;
}

}  // namespace

TEST(RouteSnap, ShortcutDistanceAndFoot) {
    struct Case { double ax, ay, bx, by, px, py, d, qx, qy; } cases[] = {
        {0, 0, 10, 0, 4, 3, 3, 4, 0},        // foot inside
        {0, 0, 10, 0, -3, 4, 5, 0, 0},       // before A
        {0, 0, 10, 0, 13, -4, 5, 10, 0},     // beyond B
        {0, 0, 0, 0, 3, 4, 5, 0, 0},         // degenerate segment: A
        {0, 0, 10, 10, 10, 0, std::sqrt(50.0), 5, 5},
        {2, 2, 2, 2, 2, 2, 0, 2, 2},
    };
    for (const auto& c : cases) {
        double qx = -1, qy = -1;
        EXPECT_NEAR(Dijkstra_Route::calc_shortcut(c.ax, c.ay, c.bx, c.by, c.px, c.py, qx, qy), c.d, 1e-12);
        EXPECT_NEAR(qx, c.qx, 1e-12);
        EXPECT_NEAR(qy, c.qy, 1e-12);
    }
}

TEST(RouteSnap, PositionCases) {
    struct Case {
        const char* name;
        Point3D p;
        int newVerts, newLines;  // what snapping with insertion adds
        int line;                // the line reported
    } cases[] = {
        {"already a vertex", {100.03, 0.02, 0}, 0, 0, -1},
        {"foot on a vertex", {100, 30, 0}, 1, 1, 0},
        {"beyond a line end", {-50, 10, 0}, 1, 1, 0},
        {"foot inside a line", {150, -20, 0}, 2, 2, 1},
        {"on a line", {40, 0, 0}, 1, 1, 0},
    };
    for (const auto& c : cases) {
        Dijkstra_Route g;
        g.Init_Initial(klRoutePlanarMetre, true, 1.0, 16);
        Line(g, 0, 0, 100, 0);
        Line(g, 100, 0, 200, 0);
        const int v0 = g.GetPointN(), l0 = g.GetLineN();
        int32_t line = -7;
        const Point2D at = g.GetNearLine(true, c.p, line);
        EXPECT_EQ(g.GetPointN() - v0, c.newVerts) << c.name;
        EXPECT_EQ(g.GetLineN() - l0, c.newLines) << c.name;
        EXPECT_EQ(line, c.line) << c.name;
        const Point2D snapped = g.Round2(c.p);
        EXPECT_EQ(at.x, snapped.x) << c.name;
        EXPECT_EQ(at.y, snapped.y) << c.name;
        const int pv = g.Binary_Search(c.p);
        ASSERT_GE(pv, 0) << c.name << ": the position became a vertex";
        EXPECT_TRUE(Reaches(g, V(g, 0, 0), pv)) << c.name;
        EXPECT_TRUE(Reaches(g, pv, V(g, 200, 0))) << c.name;
        // A second snap of the same position is a lookup.
        g.Add_Point(c.p);
        EXPECT_EQ(g.GetLineN() - l0, c.newLines) << c.name;
    }
}

TEST(RouteSnap, OneWaySplitKeepsDirectionAndConnectorIsTwoWay) {
    Dijkstra_Route g;
    g.Init_Initial(klRoutePlanarMetre, true, 1.0, 16);
    Line(g, 1000, 0, 1100, 0, false);  // metres: outside the degree range
    int32_t line = -1;
    g.GetNearLine(true, Point3D{1040, 20, 0}, line);
    ASSERT_EQ(line, 0);
    ASSERT_EQ(g.GetLineN(), 3);
    const int a = V(g, 1000, 0), q = V(g, 1040, 0), b = V(g, 1100, 0), p = V(g, 1040, 20);
    ASSERT_GE(q, 0);
    const streetLine first = g.GetStreetLineAt(0), second = g.GetStreetLineAt(1), conn = g.GetStreetLineAt(2);
    EXPECT_EQ(first.from, a);
    EXPECT_EQ(first.to, q);
    EXPECT_EQ(second.from, q);
    EXPECT_EQ(second.to, b);
    EXPECT_FALSE(first.twoWay);
    EXPECT_FALSE(second.twoWay);
    EXPECT_EQ(second.attribute, 5u);
    EXPECT_EQ(second.level, 2);
    EXPECT_FLOAT_EQ(second.cost, first.cost);
    EXPECT_NEAR(first.length, 40.0, 1e-3);
    EXPECT_NEAR(second.length, 60.0, 1e-3);
    EXPECT_TRUE(conn.twoWay);
    EXPECT_EQ(conn.attribute, 0xFFFFFFFFu);
    EXPECT_EQ(conn.level, 0);
    EXPECT_NEAR(conn.length, 20.0, 1e-3);
    EXPECT_NEAR(g.ToSpeed(conn.cost), 30.0f, 1e-3f);
    EXPECT_EQ(g.GetEdgeN(), 4);
    EXPECT_TRUE(Reaches(g, a, b));
    EXPECT_TRUE(Reaches(g, p, b));
    EXPECT_FALSE(Reaches(g, b, p));
    EXPECT_FALSE(Reaches(g, b, a));
}

TEST(RouteSnap, BlockedLinesAndEmptyNetworks) {
    Dijkstra_Route g;
    g.Init_Initial(klRoutePlanarMetre, true, 1.0, 16);
    int32_t line = 5;
    Point2D at = g.GetNearLine(true, Point3D{3.33, 4.44, 0}, line);
    EXPECT_EQ(line, -1);
    EXPECT_NEAR(at.x, 3.3, 1e-9);
    EXPECT_EQ(g.GetPointN(), 0);
    Line(g, 0, 0, 100, 0);
    Line(g, 0, 50, 100, 50);
    g.SetLineBlock(0, true);
    at = g.GetNearLine(false, Point3D{30, 10, 0}, line);
    EXPECT_EQ(line, 1) << "the nearer line is blocked";
    EXPECT_NEAR(at.y, 50.0, 1e-9);
    EXPECT_EQ(g.GetLineN(), 2) << "no insertion asked";
    g.SetLineBlock(1, true);
    g.GetNearLine(true, Point3D{30, 10, 0}, line);
    EXPECT_EQ(line, -1);
    EXPECT_EQ(g.GetLineN(), 2);
    EXPECT_EQ(g.GetPointN(), 4);
}

TEST(RouteSnap, InsertToLineSplitsWithGivenLengths) {
    Dijkstra_Route g;
    g.Init_Initial(klRoutePlanarMetre, true, 1.0, 16);
    Line(g, 0, 0, 100, 0);
    EXPECT_FALSE(g.InsertToLine(Point3D{100, 0, 0}, 0, 1.0f, 2.0f)) << "already a vertex";
    ASSERT_TRUE(g.InsertToLine(Point3D{30, 0, 0}, 0, 11.0f, 22.0f));
    EXPECT_EQ(g.GetStreetLineAt(0).length, 11.0f);
    EXPECT_EQ(g.GetStreetLineAt(1).length, 22.0f);
    g.Solve(V(g, 100, 0), 1);
    EXPECT_NEAR(g.GetDist(V(g, 0, 0)), 33.0, 1e-4);
    EXPECT_EQ(g.GetPre(V(g, 0, 0)), V(g, 30, 0));
}

// Snapping many positions only adds leaves and splits lines: no pair of original crossings loses its
// connection, and lengths change only by the snapping of split points to the 0.1 m grid.
TEST(RouteSnap, SnappingNeverDisconnects) {
    for (unsigned seed : {3u, 8u}) {
        const RoadGrid grid = MakeRoadGrid(10, seed, 0.3, 0.1);
        Dijkstra_Route g;
        LoadRoadGrid(grid, g);
        const int n = g.GetPointN();
        std::vector<std::vector<double>> before(4);
        const int starts[4] = {0, 33, 57, 99};
        for (int s = 0; s < 4; ++s) {
            g.Solve(starts[s], 1);
            for (int v = 0; v < n; ++v) before[s].push_back(g.GetPre(v) == -1 ? -1.0 : g.GetDist(v));
        }
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> x(499950.0, 501000.0), y(2999950.0, 3001000.0);
        for (int k = 0; k < 60; ++k) g.Add_Point(Point3D{x(rng), y(rng), 0});
        EXPECT_GT(g.GetPointN(), n + 60);
        for (int s = 0; s < 4; ++s) {
            g.Solve(starts[s], 1);
            for (int v = 0; v < n; ++v) {
                if (before[s][v] < 0) continue;
                ASSERT_NE(g.GetPre(v), -1) << "seed " << seed << " lost " << starts[s] << " -> " << v;
                EXPECT_NEAR(g.GetDist(v), before[s][v], 0.3);
            }
        }
    }
}
