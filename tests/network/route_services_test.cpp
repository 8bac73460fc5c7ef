#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "KeloGeomNet.h"
#include "road_grid.h"

using namespace kelo;
using namespace kelo::testing;

namespace {

// A plain two-way street grid, spacing 100 m, one speed: costs are easy to reason about.
void StreetGrid(Dijkstra_Route& g, int n, double cross = 0.0) {
    g.Init_Initial(klRoutePlanarMetre, true, cross, 1024);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) {
            const Point3D p{500000.0 + c * 100.0, 3000000.0 + r * 100.0, 0};
            const Point3D east{p.x + 100.0, p.y, 0}, north{p.x, p.y + 100.0, 0};
            const Point3D e[2] = {p, east}, nn[2] = {p, north};
            if (c + 1 < n) g.Init_Lines(e, 2, 36.0f, true, false, 0u, int16_t{0});
            if (r + 1 < n) g.Init_Lines(nn, 2, 36.0f, true, false, 0u, int16_t{0});
        }
}

Point3D At(double cx, double cy) { return Point3D{500000.0 + cx * 100.0, 3000000.0 + cy * 100.0, 0}; }

// The graph's lines and edges, to tell whether a service left the direction of travel alone.
struct Shape {
    std::vector<std::pair<int, int>> lines;
    std::vector<std::tuple<int, int, int>> edges;
};
Shape ShapeOf(const Dijkstra_Route& g) {
    Shape s;
    for (int i = 0; i < g.GetLineN(); ++i) s.lines.push_back({g.GetStreetLineAt(i).from, g.GetStreetLineAt(i).to});
    for (int i = 0; i < g.GetEdgeN(); ++i) {
        const auto e = g.GetEdgeAt(i);
        s.edges.push_back({e.from, e.to, e.line});
    }
    std::sort(s.edges.begin(), s.edges.end());
    return s;
}
bool SameShape(const Shape& a, const Shape& b) { return a.lines == b.lines && a.edges == b.edges; }

double BruteForceTour(const std::vector<std::vector<double>>& m, int stops) {
    std::vector<int> perm(stops);
    std::iota(perm.begin(), perm.end(), 1);
    double best = 1e300;
    do {
        double c = m[0][perm[0]] + m[perm.back()][0];
        for (int k = 0; k + 1 < stops; ++k) c += m[perm[k]][perm[k + 1]];
        best = std::min(best, c);
    } while (std::next_permutation(perm.begin(), perm.end()));
    return best;
}

}  // namespace

TEST(HamiltonRoute, FindsTheOptimalTourOnSmallInstances) {
    int optimal = 0, runs = 0;
    for (unsigned seed = 1; seed <= 30; ++seed) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> u(0.0, 1000.0);
        const int stops = 4 + static_cast<int>(seed % 6);  // 4..9
        const int n = stops + 1;
        std::vector<Point2D> pts(n);
        for (auto& p : pts) p = {u(rng), u(rng)};
        Hamilton_Route h(0.0);
        h.n = n;
        h.GetMemory();
        std::vector<std::vector<double>> m(n, std::vector<double>(n));
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) h.matrix[i][j] = m[i][j] = std::hypot(pts[i].x - pts[j].x, pts[i].y - pts[j].y);
        h.stopCount = stops;
        for (int k = 0; k < stops; ++k) h.stops[k] = k + 1;
        h.start = 0;
        KeloSrand(seed);
        h.Process();
        // The best tour is a closed permutation whose cost is the reported one.
        ASSERT_EQ(h.stopCount, stops + 1);
        EXPECT_EQ(h.bestList[0], 0);
        EXPECT_EQ(h.bestList[stops + 1], 0);
        std::vector<int> inner(h.bestList + 1, h.bestList + stops + 1);
        std::sort(inner.begin(), inner.end());
        for (int k = 0; k < stops; ++k) ASSERT_EQ(inner[k], k + 1);
        double c = 0;
        for (int k = 0; k <= stops; ++k) c += m[h.bestList[k]][h.bestList[k + 1]];
        EXPECT_NEAR(c, h.bestCost, 1e-9);
        const double opt = BruteForceTour(m, stops);
        EXPECT_GE(h.bestCost, opt - 1e-9);
        ++runs;
        if (h.bestCost <= opt + 1e-9) ++optimal;
    }
    EXPECT_GE(optimal, runs * 9 / 10) << optimal << " of " << runs;
}

TEST(RouteServices, BestRouteBetweenPositions) {
    Dijkstra_Route g;
    StreetGrid(g, 6, 0.0);
    const Point3D a = At(0.5, 0.3), b = At(4.2, 3.6);
    g.Add_Point(a);
    g.Add_Point(b);
    myRouteResult r;
    ASSERT_EQ(g.FindBestRoute2Pos(g.myStreetPt_VertId(a), g.myStreetPt_VertId(b), r, 1), 1);
    // Feet at (50, 0) and (400, 360): Manhattan distance plus both connectors (30 m and 20 m).
    EXPECT_NEAR(r.length, 350.0 + 360.0 + 30.0 + 20.0, 1e-2);
    EXPECT_NEAR(r[0].x, a.x, 0.1);
    EXPECT_NEAR(r[r.GetCount() - 1].y, b.y, 0.1);
    myRouteResult same;
    ASSERT_EQ(g.FindBestRoute2Pos(g.myStreetPt_VertId(a), g.myStreetPt_VertId(a), same, 0), 1);
    EXPECT_EQ(same.GetCount(), 1);
    EXPECT_EQ(same.lineCost + same.crossCost, 0.0f);
    myRouteResult none;
    EXPECT_EQ(g.FindBestRoute2Pos(int64_t{99}, g.myStreetPt_VertId(a), none, 0), 0);
    EXPECT_EQ(none.GetCount(), 0);
}

TEST(RouteServices, NearestFacilityDirectionTiesAndRestoring) {
    Dijkstra_Route g;
    g.Init_Initial(klRoutePlanarMetre, true, 0.0, 64);
    // A one-way ring 0 -> 1 -> 2 -> 3 -> 0 of 100 m sides.
    const Point3D c[4] = {At(0, 0), At(1, 0), At(1, 1), At(0, 1)};
    for (int i = 0; i < 4; ++i) {
        const Point3D seg[2] = {c[i], c[(i + 1) % 4]};
        g.Init_Lines(seg, 2, 36.0f, false, false, 0u, int16_t{0});
    }
    const Shape original = ShapeOf(g);
    // From corner 0 the facility at corner 1 is 100 m ahead, the one at corner 3 300 m.
    myRouteResult fwd;
    ASSERT_EQ(g.FindNearestHosptal(c[0], {c[3], c[1]}, fwd, false, 1), 1);
    EXPECT_NEAR(fwd.length, 100.0, 1e-3);
    // Towards the position the order flips: from corner 3 it is 100 m to corner 0.
    myRouteResult back;
    ASSERT_EQ(g.FindNearestHosptal(c[0], {c[1], c[3]}, back, true, 1), 1);
    ASSERT_EQ(back.GetCount(), 2);
    EXPECT_NEAR(back[0].x, c[3].x, 1e-6) << "facility first";
    EXPECT_NEAR(back[1].y, c[0].y, 1e-6);
    EXPECT_TRUE(SameShape(ShapeOf(g), original)) << "edges restored";
    // Equal costs: the earlier facility wins.
    Dijkstra_Route two;
    StreetGrid(two, 3);
    myRouteResult tie;
    ASSERT_EQ(two.FindNearestHosptal(At(1, 1), {At(2, 1), At(0, 1), At(1, 2)}, tie, false, 1), 1);
    EXPECT_NEAR(tie[tie.GetCount() - 1].x, At(2, 1).x, 1e-6);
    // Failures: no facility, none reachable; the graph keeps its direction.
    myRouteResult fail;
    EXPECT_EQ(g.FindNearestHosptal(c[0], {}, fail, true, 1), 0);
    Dijkstra_Route island;
    island.Init_Initial(klRoutePlanarMetre, true, 0.0, 64);
    const Point3D l1[2] = {At(0, 0), At(1, 0)}, l2[2] = {At(5, 5), At(6, 5)};
    island.Init_Lines(l1, 2, 36.0f, false, false, 0u, int16_t{0});
    island.Init_Lines(l2, 2, 36.0f, false, false, 0u, int16_t{0});
    const Shape before = ShapeOf(island);
    EXPECT_EQ(island.FindNearestHosptal(At(0, 0), {At(6, 5)}, fail, true, 1), 0);
    EXPECT_EQ(fail.GetCount(), 0);
    EXPECT_TRUE(SameShape(ShapeOf(island), before));
}

TEST(RouteServices, SingleDepotTours) {
    for (int ret : {0, 1}) {
        Dijkstra_Route g;
        StreetGrid(g, 5, 0.1);
        const Point3D depot = At(0, 0);
        const std::vector<Point3D> targets = {At(4, 0), At(4, 4), At(0, 4), At(2, 2)};
        std::vector<myRouteResult> routes;
        ASSERT_EQ(g.FindBestPostRoute({depot}, targets, routes, ret, 0), 1);
        ASSERT_EQ(routes.size(), 1u);
        const myRouteResult& r = routes[0];
        EXPECT_NEAR(r[0].x, depot.x, 1e-6);
        for (const Point3D& t : targets) {
            bool seen = false;
            for (int i = 0; i < r.GetCount() && !seen; ++i) seen = std::fabs(r[i].x - t.x) + std::fabs(r[i].y - t.y) < 1e-6;
            EXPECT_TRUE(seen) << "every target on the tour";
        }
        const Point3D last = r[r.GetCount() - 1];
        const bool endsAtDepot = std::fabs(last.x - depot.x) + std::fabs(last.y - depot.y) < 1e-6;
        EXPECT_EQ(endsAtDepot, ret == 1);
        // Every leg between these targets is 400 m: five legs closed, four open.
        EXPECT_NEAR(r.length, ret ? 2000.0 : 1600.0, 1e-2);
        EXPECT_TRUE(g.RecalRouteCost(routes[0]));
    }
    Dijkstra_Route g;
    StreetGrid(g, 3);
    std::vector<myRouteResult> routes;
    const int lines = g.GetLineN();
    EXPECT_EQ(g.FindBestPostRoute({}, {At(1, 1)}, routes, 1, 0), 0);
    EXPECT_EQ(g.GetLineN(), lines) << "no depot: nothing snapped";
    EXPECT_TRUE(routes.empty());
}

// With targets off the streets each one is a dead end, so it appears on exactly the route that visits it.
TEST(RouteServices, SeveralDepotsVisitEveryTargetOnce) {
    Dijkstra_Route g;
    StreetGrid(g, 8, 0.0);
    const std::vector<Point3D> depots = {At(0.5, 0.3), At(6.5, 6.7), At(0.4, 6.6)};
    std::vector<Point3D> targets;
    std::vector<int> cells(49);
    std::iota(cells.begin(), cells.end(), 0);
    std::shuffle(cells.begin(), cells.end(), std::mt19937(11));
    // One target per block, so no target snaps onto another one's connector.
    for (int k = 0; k < 12; ++k) targets.push_back(At(cells[k] % 7 + 0.5, cells[k] / 7 + 0.3));
    std::vector<myRouteResult> routes;
    ASSERT_EQ(g.FindBestPostRoute(depots, targets, routes, 1, 0), 1);
    ASSERT_EQ(routes.size(), depots.size());
    for (const Point3D& t : targets) {
        const int v = g.Binary_Search(t);
        ASSERT_GE(v, 0);
        int visits = 0;
        for (const myRouteResult& r : routes)
            for (int i = 0; i < r.GetCount(); ++i) visits += g.Binary_Search(r[i]) == v;
        EXPECT_EQ(visits, 1);
    }
    for (size_t d = 0; d < depots.size(); ++d) {
        const Point3D last = routes[d][routes[d].GetCount() - 1];
        EXPECT_EQ(g.Binary_Search(last), g.Binary_Search(depots[d])) << "closed tours end at their depot";
    }
}

TEST(RouteServices, ServiceAreaWholeIsConvexAndHoldsTheReachedVertices) {
    for (unsigned seed : {2u, 9u, 14u}) {
        const RoadGrid grid = MakeRoadGrid(12, seed, 0.15, 0.05);
        Dijkstra_Route g;
        LoadRoadGrid(grid, g);
        const Point3D centre{grid.pos[6 * 12 + 6].x + 13.0, grid.pos[6 * 12 + 6].y + 7.0, 0};
        myRouteResult ring;
        ASSERT_EQ(g.FindServiceArea(centre, ring, 350.0, true, 1), 1);
        const int n = ring.GetCount();
        ASSERT_GE(n, 4);
        EXPECT_EQ(ring[0].x, ring[n - 1].x);
        double area = 0;
        for (int i = 0; i + 1 < n; ++i) {
            const Point3D& a = ring[i];
            const Point3D& b = ring[(i + 1) % (n - 1)];
            const Point3D& c = ring[(i + 2) % (n - 1)];
            EXPECT_GE((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x), -1e-6) << "left turns only";
            area += a.x * ring[i + 1].y - ring[i + 1].x * a.y;
        }
        EXPECT_GT(area, 0.0);
        // Inside (or on) every edge of the counter-clockwise ring.
        for (int v = 0; v < g.GetPointN(); ++v) {
            if (g.GetPre(v) == -1 || g.GetDist(v) > 350.0) continue;
            const Point3D p = g.GetPoint(v);
            for (int i = 0; i + 1 < n; ++i) {
                const Point3D& a = ring[i];
                const Point3D& b = ring[i + 1];
                const double side = ((b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x)) / std::hypot(b.x - a.x, b.y - a.y);
                EXPECT_GE(side, -1e-6) << "seed " << seed << " vertex " << v;
            }
        }
        EXPECT_NEAR(ring.length, g.CalLen(ring), 1e-3);
    }
}

// Without whole every ring point is a vertex at the limit or the point of a line where the cost,
// interpolated between the line's ends, reaches it.
TEST(RouteServices, ServiceAreaBoundaryLiesOnTheLimit) {
    const RoadGrid grid = MakeRoadGrid(10, 4, 0.0, 0.0);
    Dijkstra_Route g;
    LoadRoadGrid(grid, g);
    const double limit = 420.0;
    myRouteResult ring;
    ASSERT_EQ(g.FindServiceArea(grid.pos[55], ring, limit, false, 1), 1);
    ASSERT_GT(ring.GetCount(), 4);
    for (int i = 0; i + 1 < ring.GetCount(); ++i) {
        const Point3D p = ring[i];
        bool explained = false;
        const int v = g.Binary_Search(p);
        if (v >= 0) explained = std::fabs(g.GetDist(v) - limit) <= g.GetEPS_Point();
        for (int l = 0; l < g.GetLineN() && !explained; ++l) {
            const streetLine sl = g.GetStreetLineAt(l);
            const Point3D a = g.GetPoint(sl.from), b = g.GetPoint(sl.to);
            double qx, qy;
            if (Dijkstra_Route::calc_shortcut(a.x, a.y, b.x, b.y, p.x, p.y, qx, qy) > 1e-6) continue;
            const double ca = g.GetDist(sl.from), cb = g.GetDist(sl.to);
            if ((ca < limit) == (cb < limit)) continue;
            const double f = std::hypot(p.x - a.x, p.y - a.y) / std::hypot(b.x - a.x, b.y - a.y);
            explained = std::fabs(ca + (cb - ca) * f - limit) < 1e-3;
        }
        EXPECT_TRUE(explained) << "ring point " << i;
    }
}

TEST(RouteServices, ServiceAreaRefusals) {
    Dijkstra_Route g;
    StreetGrid(g, 4);
    const int lines = g.GetLineN(), verts = g.GetPointN();
    myRouteResult r;
    EXPECT_EQ(g.FindServiceArea(At(1.5, 1.2), r, 0.0, true, 1), 0);
    EXPECT_EQ(g.FindServiceArea(At(1.5, 1.2), r, -5.0, false, 1), 0);
    EXPECT_EQ(g.GetLineN(), lines) << "a refused limit snaps nothing";
    EXPECT_EQ(g.GetPointN(), verts);
    EXPECT_EQ(g.FindServiceArea(At(1, 1), r, 1e6, false, 1), 0) << "nothing beyond the limit";
    ASSERT_EQ(g.FindServiceArea(At(1, 1), r, 1e6, true, 1), 1);
    EXPECT_EQ(r.GetCount(), 5) << "the hull of the whole grid is its four corners, closed";
    Dijkstra_Route empty;
    EXPECT_EQ(empty.FindServiceArea(At(0, 0), r, 10.0, true, 1), 0);
    ServiceArea_Convex none(0.05);
    none.Sort();
    none.Convex();
    keloPoints kept(1.0, 2.0, 3.0, 4.0);
    none.Out(kept);
    EXPECT_EQ(kept.GetCount(), 2) << "no candidates leave the ring untouched";
}

TEST(RouteServices, FreeFunctionsOnPolylineRecords) {
    // Three streets in degrees: a long east-west road and a north spur.
    std::vector<streetRoute> net;
    auto street = [&](std::vector<Point3D> pts, double speed, int oneWay) {
        net.emplace_back(new keloPoints(pts, klLTPolyline), speed, oneWay);
    };
    street({{116.30, 39.90, 0}, {116.32, 39.90, 0}, {116.34, 39.90, 0}}, 40.0, 0);
    street({{116.32, 39.90, 0}, {116.32, 39.92, 0}}, 20.0, 0);
    street({{116.34, 39.90, 0}, {116.34, 39.92, 0}}, 60.0, 1);
    streetRoute out;
    ASSERT_EQ(FindBestRoute2Pos({116.301, 39.9001, 0}, {116.3202, 39.915, 0}, net, 0.0, out), 1);
    ASSERT_NE(out.geometry, nullptr);
    EXPECT_GE(out.geometry->GetCount(), 4);
    // About 1.7 km at 40 km/h and 1.3 km at 20 km/h, in minutes.
    EXPECT_NEAR(out.value, 0.06 * 1700.0 / 40.0 + 0.06 * 1670.0 / 20.0, 0.6);
    streetRoute near;
    ASSERT_EQ(FindNearestHosptal({116.30, 39.90, 0}, {{116.34, 39.92, 0}, {116.32, 39.92, 0}}, net, 0.5, near, false), 1);
    // 3.4 km at 40 and 2.2 km at 60 beat 1.7 km at 40 and 2.2 km at 20.
    EXPECT_NEAR(near.geometry->points[near.geometry->GetCount() - 1].x, 116.34, 1e-6);
    std::vector<streetRoute> tours;
    ASSERT_EQ(FindBestPostRoute({{116.30, 39.90, 0}}, {{116.34, 39.92, 0}, {116.32, 39.92, 0}}, net, 0.5, tours, 1), 1);
    ASSERT_EQ(tours.size(), 1u);
    EXPECT_GT(tours[0].value, 0.0);
    EXPECT_EQ(FindBestPostRoute({}, {{116.34, 39.92, 0}}, net, 0.5, tours, 1), 0);
    streetRoute area;
    ASSERT_EQ(FindServiceArea({116.32, 39.90, 0}, net, 0.5, 1000.0, area, 1), 1);
    EXPECT_EQ(area.value, 0.0);
    EXPECT_GE(area.geometry->GetCount(), 3);
    // Empty and useless networks fail cleanly.
    std::vector<streetRoute> nothing;
    nothing.emplace_back();
    EXPECT_EQ(FindBestRoute2Pos({0, 0, 0}, {1, 1, 0}, nothing, 0.0, out), 0);
    EXPECT_EQ(FindNearestHosptal({0, 0, 0}, {{1, 1, 0}}, nothing, 0.0, out, true), 0);
    EXPECT_EQ(FindServiceArea({0, 0, 0}, nothing, 0.0, 5.0, out, 0), 0);
    EXPECT_EQ(FindBestPostRoute({{0, 0, 0}}, {{1, 1, 0}}, nothing, 0.0, tours, 0), 0);
}

// In degree coordinates with planar lengths the limit arrives in metres and is converted with the
// length of a one-degree diagonal at the centre.
TEST(RouteServices, ServiceAreaLimitInMetresOnADegreeGraph) {
    Dijkstra_Route g;
    g.Init_Initial(klRouteDegreePlanar, true, 0.0, 64);
    const Point3D road[2] = {{116.0, 40.0, 0}, {117.0, 40.0, 0}};
    g.Init_Lines(road, 2, 50.0f, true, false, 0u, int16_t{0});
    ASSERT_EQ(g.GetUnit(), klRouteDegreePlanar);
    const double h = 0.5 / std::sqrt(2.0);
    const Point3D diag[2] = {{116.5 + h, 40.0 + h, 0}, {116.5 - h, 40.0 - h, 0}};
    DistandAreaInquiry geo(diag, 2, 1);
    geo.SetEllipse(kEllipsoidWgs84);
    const double reach = 10000.0 / geo.GetDist();
    myRouteResult ring;
    ASSERT_EQ(g.FindServiceArea({116.5, 40.0, 0}, ring, 10000.0, false, 1), 1);
    ASSERT_EQ(ring.GetCount(), 3);
    EXPECT_NEAR(std::min(ring[0].x, ring[1].x), 116.5 - reach, 1e-5);
    EXPECT_NEAR(std::max(ring[0].x, ring[1].x), 116.5 + reach, 1e-5);
}

// A position that is no place (NaN or infinite) is refused everywhere: it used to key the vertex
// at the origin, so a road to it was added and services answered as if asked at (0, 0).
TEST(RouteServices, NonFinitePositionsAreRefused) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    for (const Point3D bad : {Point3D{nan, 0, 0}, Point3D{0, nan, 0}, Point3D{inf, 0, 0}, Point3D{0, -inf, 0}}) {
        Dijkstra_Route g;
        g.Init_Initial(klRoutePlanarMetre, true, 0.0, 1024);
        const Point3D road[3] = {{0, 0, 0}, bad, {100, 0, 0}};
        EXPECT_EQ(g.Init_Lines(road, 3, 36.0f, true, false, 0u, int16_t{0}), 0);
        EXPECT_EQ(g.GetLineN(), 0);
        StreetGrid(g, 3);
        const int lines = g.GetLineN();
        EXPECT_EQ(g.Binary_Search(bad), -1);
        g.Add_Point(bad);
        int32_t line = 7;
        g.GetNearLine(true, bad, line);
        EXPECT_EQ(line, -1);
        EXPECT_EQ(g.GetLineN(), lines);  // nothing was snapped in
        myRouteResult r;
        EXPECT_EQ(g.FindNearestHosptal(bad, {At(2, 2)}, r, false, 0), 0);
        EXPECT_EQ(g.FindNearestHosptal(At(0, 0), {bad}, r, false, 0), 0);
        EXPECT_EQ(g.FindServiceArea(bad, r, 500.0, true, 1), 0);
        std::vector<myRouteResult> tours;
        EXPECT_EQ(g.FindBestPostRoute({At(0, 0)}, {At(1, 1), bad}, tours, 1, 0), 0);
        EXPECT_EQ(g.GetLineN(), lines);

        std::vector<streetRoute> net;
        net.emplace_back(new keloPoints(0, 0, 100, 0), 36.0, 0);
        streetRoute out;
        EXPECT_EQ(FindBestRoute2Pos(bad, Point3D{100, 0, 0}, net, 0.0, out), 0);
        EXPECT_EQ(FindBestRoute2Pos(Point3D{100, 0, 0}, bad, net, 0.0, out), 0);
    }
}
