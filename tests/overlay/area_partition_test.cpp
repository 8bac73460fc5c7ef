// Partition by area: the moved and the turned line cut off the asked area, measured by our own
// function and by clipping with GEOS; cutting by a line covers the polygon exactly once.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "geometry/geometry_object.h"
#include "overlay/area_partition.h"
#include "support/even_odd.h"
#include "support/geos_oracle.h"
#include "support/random_polygons.h"

using namespace kelo;
using kelo_test::GeosOracle;

namespace {

constexpr double kCx = 4.5e5, kCy = 3.2e6;  // projected-size coordinates: recentring matters

// The area of the polygon right of the directed line a -> b, by GEOS: the polygon clipped by a
// half-plane square far larger than the polygon.
double GeosRightArea(const GeosOracle& geos, const keloPolygon& poly, double ax, double ay, double bx, double by) {
    const double len = std::hypot(bx - ax, by - ay), ux = (bx - ax) / len, uy = (by - ay) / len;
    const double big = 1e3, nx = uy, ny = -ux;  // right-hand normal
    std::vector<Point3D> half{{ax - ux * big, ay - uy * big, 0},
                              {ax + ux * big, ay + uy * big, 0},
                              {ax + ux * big + nx * big, ay + uy * big + ny * big, 0},
                              {ax - ux * big + nx * big, ay - uy * big + ny * big, 0}};
    GM_Object clip(kelo_test::PolygonOfRings({half}));
    auto a = geos.From(GM_Object(poly));
    auto c = geos.From(clip);
    auto cut = geos.Own(GEOSIntersection_r(geos.ctx(), a.get(), c.get()));
    return geos.Area(cut.get());
}

TEST(AreaCut, KnownAreas) {
    const std::vector<Point3D> square{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const std::vector<Point3D> hole{{0.25, 0.25, 0}, {0.25, 0.75, 0}, {0.75, 0.75, 0}, {0.75, 0.25, 0}};
    const keloPolygon plain = kelo_test::PolygonOfRings({square});
    const keloPolygon reversed = kelo_test::PolygonOfRings({{square.rbegin(), square.rend()}});
    const keloPolygon holed = kelo_test::PolygonOfRings({square, hole});
    const struct {
        const keloPolygon* poly;
        double x1, y1, x2, y2, area;
    } cases[] = {
        {&plain, 0, 0.5, 1, 0.5, 0.5},      {&plain, 1, 0.5, 0, 0.5, 0.5},
        {&plain, 0, 0.25, 1, 0.25, 0.25},   {&plain, 1, 0.25, 0, 0.25, 0.75},
        {&reversed, 0, 0.25, 1, 0.25, 0.25}, {&plain, 0, 0, 1, 1, 0.5},
        {&plain, 5, 5, 6, 5, 1},            {&plain, 6, 5, 5, 5, 0},
        {&holed, 0, 0.5, 1, 0.5, 0.375},    {&holed, 0.5, 0, 0.5, 1, 0.375},
        {nullptr, 0, 0, 1, 1, 0},           {&plain, NAN, 0, 1, 1, 0},
    };
    for (const auto& t : cases) EXPECT_NEAR(getAreaCutPolygon(t.poly, t.x1, t.y1, t.x2, t.y2), t.area, 1e-12);
}

TEST(AreaCut, MovedAndTurnedLinesCutOffTheTargetAgreeingWithGeos) {
    GeosOracle geos;
    std::mt19937 rng(37);
    std::uniform_real_distribution<double> u(0, 1);
    const double eps = 1e-6;
    for (int trial = 0; trial < 60; ++trial) {
        SCOPED_TRACE(trial);
        const keloPolygon poly = kelo_test::PolygonOfRings(kelo_test::RandomPolygonRings(rng, kCx, kCy));
        const double total = poly.GetArea();
        const double target = total * (0.05 + 0.9 * u(rng));
        const double a = 2 * M_PI * u(rng);
        const double x1 = kCx + 20 * (u(rng) - 0.5), y1 = kCy + 20 * (u(rng) - 0.5);
        const double x2 = x1 + 3 * std::cos(a), y2 = y1 + 3 * std::sin(a);

        double o[4] = {NAN, NAN, NAN, NAN};
        ASSERT_EQ(cutPolygonByAreaParallelMove(&poly, x1, y1, x2, y2, target, o[0], o[1], o[2], o[3], eps), 1);
        EXPECT_NEAR(getAreaCutPolygon(&poly, o[0], o[1], o[2], o[3]), target, 1e-6);
        EXPECT_NEAR(GeosRightArea(geos, poly, o[0], o[1], o[2], o[3]), target, 1e-6);
        // Moved, not turned: the same direction and length.
        EXPECT_NEAR(o[2] - o[0], x2 - x1, 1e-7);
        EXPECT_NEAR(o[3] - o[1], y2 - y1, 1e-7);

        // Turned about a point outside, from where some lines miss the polygon on either side, so
        // every area in between is reached.
        const double px = kCx + 15 * std::cos(a + 1), py = kCy + 15 * std::sin(a + 1);
        double qx = NAN, qy = NAN;
        ASSERT_EQ(cutPolygonByAreaRotate(&poly, px, py, x1, y1, target, qx, qy, eps), 1);
        EXPECT_NEAR(std::hypot(qx - px, qy - py), std::hypot(x1 - px, y1 - py), 1e-7);
        EXPECT_NEAR(getAreaCutPolygon(&poly, px, py, qx, qy), target, 1e-6);
        EXPECT_NEAR(GeosRightArea(geos, poly, px, py, qx, qy), target, 1e-6);
    }
}

TEST(AreaCut, PiecesCoverThePolygonOnce) {
    GeosOracle geos;
    std::mt19937 rng(8);
    std::uniform_real_distribution<double> u(0, 1);
    int split = 0;
    for (int trial = 0; trial < 40; ++trial) {
        SCOPED_TRACE(trial);
        const keloPolygon poly = kelo_test::PolygonOfRings(kelo_test::RandomPolygonRings(rng, kCx, kCy));
        const double a = M_PI * u(rng);
        const double x1 = kCx + 8 * (u(rng) - 0.5), y1 = kCy + 8 * (u(rng) - 0.5);
        std::vector<GM_Object*> pieces;
        const int n = cutPolygonByLine(&poly, x1, y1, x1 + std::cos(a), y1 + std::sin(a), pieces, 1e-9);
        ASSERT_EQ(n, static_cast<int>(pieces.size()));
        split += n >= 2;
        auto whole = geos.From(GM_Object(poly));
        double sum = 0;
        std::vector<GeosOracle::Ptr> g;
        for (GM_Object* p : pieces) {
            g.push_back(geos.From(*p));
            ASSERT_TRUE(g.back());
            EXPECT_EQ(geos.Invalidity(g.back().get()), "");
            sum += geos.Area(g.back().get());
        }
        EXPECT_NEAR(sum, poly.GetArea(), 1e-7);
        for (size_t i = 0; i < g.size(); ++i)
            for (size_t j = i + 1; j < g.size(); ++j) {
                auto both = geos.Own(GEOSIntersection_r(geos.ctx(), g[i].get(), g[j].get()));
                EXPECT_LT(geos.Area(both.get()), 1e-9);
            }
        // Together they are the polygon.
        auto all = geos.Own(GEOSGeom_createEmptyPolygon_r(geos.ctx()));
        for (auto& p : g) all = geos.Own(GEOSUnion_r(geos.ctx(), all.get(), p.get()));
        EXPECT_LT(geos.XorArea(all.get(), whole.get()), 1e-7);
        for (GM_Object* p : pieces) delete p;
    }
    EXPECT_GE(split, 30);
}

TEST(AreaCut, ChangeAreaBySideOrScale) {
    const std::vector<Point3D> field{{0, 0, 0}, {100, 0, 0}, {100, 50, 0}, {0, 50, 0}};
    struct Case {
        std::vector<Point3D> side;
        double target, tol;
        int result;
    };
    const std::vector<Case> cases = {
        {{}, 4000, 1e-9, 1},                                  // scaled
        {{{100, 0, 0}, {100, 50, 0}}, 6000, 1e-9, 1},         // east side pushed out
        {{{100, 0, 0}, {100, 50, 0}}, 1000, 1e-9, 1},         // and pulled in
        {{{0, 50, 0}}, 5500, 1e-9, 1},                         // one corner moved away from the centre
        {{}, 5000.5, 1e-3, 1},                                // already close enough: unchanged
        {{{7, 7, 0}, {100, 50, 0}}, 6000, 1e-9, 0},           // not a vertex
        {{}, 0, 1e-9, 0},
        {{}, NAN, 1e-9, 0},
    };
    for (const Case& t : cases) {
        keloPolygon poly = kelo_test::PolygonOfRings({field});
        std::vector<Point3D> side = t.side;
        EXPECT_EQ(changeAreaOfPolygon(&poly, side, t.target, t.tol), t.result);
        const double want = t.result && t.tol < 1e-6 ? t.target : 5000;
        EXPECT_NEAR(poly.GetArea(), want, std::max(1.0, want) * 1e-9 + (t.tol > 1e-6 ? 1 : 0));
        EXPECT_TRUE(poly.GetOriginalRingAt(0)->IsClosed());
    }
    std::vector<Point3D> none;
    EXPECT_EQ(changeAreaOfPolygon(nullptr, none, 10, 0.1), 0);
}

TEST(AreaCut, RejectedInputWritesNothing) {
    const keloPolygon square = kelo_test::PolygonOfRings({{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}});
    const keloPolygon empty;
    const struct {
        const keloPolygon* poly;
        double x1, y1, x2, y2, area, eps;
    } cases[] = {
        {nullptr, 0, 0.5, 1, 0.5, 0.5, 1e-6}, {&empty, 0, 0.5, 1, 0.5, 0.5, 1e-6},
        {&square, 0, 0.5, 1, 0.5, 1.0, 1e-6}, {&square, 0, 0.5, 1, 0.5, 1e-7, 1e-6},
        {&square, 0, 0.5, 1, 0.5, -2, 1e-6},  {&square, 0, 0.5, 1e-7, 0.5, 0.5, 1e-6},
        {&square, 0, 0.5, 1, 0.5, NAN, 1e-6}, {&square, INFINITY, 0.5, 1, 0.5, 0.5, 1e-6},
    };
    for (const auto& t : cases) {
        double o[4] = {7, 7, 7, 7};
        EXPECT_EQ(cutPolygonByAreaParallelMove(t.poly, t.x1, t.y1, t.x2, t.y2, t.area, o[0], o[1], o[2], o[3], t.eps), 0);
        EXPECT_EQ(cutPolygonByAreaRotate(t.poly, t.x1, t.y1, t.x2, t.y2, t.area, o[0], o[1], t.eps), 0);
        for (double v : o) EXPECT_EQ(v, 7);
    }
    // Every line through the centre of a square halves it; from outside any share is reached.
    double cx = 7, cy = 7;
    EXPECT_EQ(cutPolygonByAreaRotate(&square, 0.5, 0.5, 1, 0.5, 0.3, cx, cy, 1e-6), 0);
    EXPECT_EQ(cx, 7);
    double qx = 7, qy = 7;
    EXPECT_EQ(cutPolygonByAreaRotate(&square, 50, 50, 51, 50, 0.9, qx, qy, 1e-6), 1);
    EXPECT_NEAR(getAreaCutPolygon(&square, 50, 50, qx, qy), 0.9, 1e-6);
    std::vector<GM_Object*> out;
    EXPECT_EQ(cutPolygonByLine(&square, 0, 0, 0, 1e-12, out, 1e-9), 0);
    EXPECT_EQ(cutPolygonByLine(nullptr, 0, 0, 1, 1, out, 1e-9), 0);
    EXPECT_EQ(cutPolygonByLine(&square, 5, 5, 6, 5, out, 1e-9), 1);  // misses: the square itself
    ASSERT_EQ(out.size(), 1u);
    EXPECT_NEAR(out[0]->GetArea(), 1, 1e-12);
    delete out[0];
}

}  // namespace
