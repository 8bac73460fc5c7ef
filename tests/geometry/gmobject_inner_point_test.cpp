// The interior point on random concave polygons with many holes (stars, combs, spirals), checked
// by a point-in-polygon test of the test's own, and the labels and centroids built on it.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "geometry/geometry_object.h"
#include "geometry/tolerance.h"
#include "support/even_odd.h"

using namespace kelo;

namespace {

using Ring = std::vector<Point3D>;

// The distance to the nearest ring edge.
using kelo_test::InsideEvenOdd;

double DistanceToRings(const std::vector<Ring>& rings, double x, double y) {
    double best = 1e300;
    for (const Ring& r : rings)
        for (size_t i = 0, j = r.size() - 1; i < r.size(); j = i++) {
            const double dx = r[i].x - r[j].x, dy = r[i].y - r[j].y;
            const double len2 = dx * dx + dy * dy;
            double t = len2 > 0 ? ((x - r[j].x) * dx + (y - r[j].y) * dy) / len2 : 0;
            t = std::clamp(t, 0.0, 1.0);
            best = std::min(best, std::hypot(x - (r[j].x + t * dx), y - (r[j].y + t * dy)));
        }
    return best;
}

Ring SquareRing(double cx, double cy, double half) {
    return {{cx - half, cy - half, 0}, {cx + half, cy - half, 0}, {cx + half, cy + half, 0}, {cx - half, cy + half, 0}};
}

// Holes of the given size at random places inside disc (cx, cy, r), never touching each other.
void AddHoles(std::vector<Ring>& rings, std::mt19937& rng, double cx, double cy, double r, double half, int count) {
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<Point2D> placed;
    for (int tries = 0; tries < 40 * count && static_cast<int>(placed.size()) < count; ++tries) {
        const double x = cx + r * u(rng), y = cy + r * u(rng);
        if (std::hypot(x - cx, y - cy) > r) continue;
        bool clear = true;
        for (const Point2D& p : placed) clear = clear && (std::fabs(p.x - x) > 2.5 * half || std::fabs(p.y - y) > 2.5 * half);
        if (!clear) continue;
        placed.push_back({x, y});
        rings.push_back(SquareRing(x, y, half));
    }
}

std::vector<Ring> Star(std::mt19937& rng) {
    std::uniform_real_distribution<double> u(0, 1);
    const int spikes = 3 + static_cast<int>(u(rng) * 30);
    const double inner = 1 + u(rng) * 3, outer = inner * (1.5 + u(rng) * 8);
    const double cx = (u(rng) - 0.5) * 2e6, cy = (u(rng) - 0.5) * 2e6;  // far from the origin
    Ring r;
    for (int i = 0; i < 2 * spikes; ++i) {
        const double a = std::numbers::pi * i / spikes;
        const double rad = (i % 2 ? inner : outer) * (0.8 + 0.2 * u(rng));
        r.push_back({cx + rad * std::cos(a), cy + rad * std::sin(a), 0});
    }
    std::vector<Ring> rings{r};
    AddHoles(rings, rng, cx, cy, 0.55 * inner, 0.05 * inner, static_cast<int>(u(rng) * 12));
    return rings;
}

std::vector<Ring> Comb(std::mt19937& rng) {
    std::uniform_real_distribution<double> u(0, 1);
    const int teeth = 2 + static_cast<int>(u(rng) * 20);
    const double tw = 0.1 + 0.8 * u(rng);  // tooth width within a pitch of 1
    Ring r{{0, 0, 0}, {static_cast<double>(teeth), 0, 0}};
    for (int k = teeth - 1; k >= 0; --k) {
        const double len = 1 + 5 * u(rng);
        r.push_back({k + 1.0, 1 + len, 0});
        r.push_back({k + 1.0 - tw, 1 + len, 0});
        r.push_back({k + 1.0 - tw, 1, 0});
    }
    r.back() = {0, 1 + 2 * u(rng), 0};  // the last tooth's inner corner becomes the left edge
    std::vector<Ring> rings{r};
    for (int k = 0; k < teeth; ++k)
        if (u(rng) < 0.7) rings.push_back(SquareRing(k + 0.5, 0.5, 0.1 + 0.2 * u(rng)));
    return rings;
}

std::vector<Ring> Spiral(std::mt19937& rng) {
    std::uniform_real_distribution<double> u(0, 1);
    const double turns = 1 + 4 * u(rng), w = 0.5 + u(rng), a = 1 + u(rng);
    const double b = 2 * w / (2 * std::numbers::pi);  // pitch of two band widths leaves a gap
    const int n = static_cast<int>(turns * 60);
    Ring r;
    auto at = [&](double t, double off) {
        const double rad = a + b * t + off;
        return Point3D{rad * std::cos(t), rad * std::sin(t), 0};
    };
    const double tMax = turns * 2 * std::numbers::pi;
    for (int i = 0; i <= n; ++i) r.push_back(at(tMax * i / n, w));
    for (int i = n; i >= 0; --i) r.push_back(at(tMax * i / n, 0));
    std::vector<Ring> rings{r};
    // Holes along the middle of the band, a quarter turn apart.
    for (double t = 0.3; t < tMax - 0.3; t += std::numbers::pi / 2)
        if (u(rng) < 0.8) {
            const Point3D c = at(t, w / 2);
            rings.push_back(SquareRing(c.x, c.y, w / 8));
        }
    return rings;
}


// Inside, and at least eps from every ring (the shapes here all have room for that).
void ExpectStrictlyInside(const std::vector<Ring>& rings, double x, double y, const char* what, int shape,
                          double eps = 1e-8) {
    ASSERT_TRUE(InsideEvenOdd(rings, x, y)) << what << " shape " << shape << " at " << x << ", " << y;
    ASSERT_GE(DistanceToRings(rings, x, y), eps) << what << " shape " << shape;
}

TEST(GmObjectInnerPoint, RandomStarsCombsAndSpiralsWithHoles) {
    std::mt19937 rng(20261206);
    using Maker = std::vector<Ring> (*)(std::mt19937&);
    const Maker makers[] = {Star, Comb, Spiral};
    for (int shape = 0; shape < 3000; ++shape) {
        const std::vector<Ring> rings = makers[shape % 3](rng);
        const keloPolygon poly = kelo_test::PolygonOfRings(rings);
        for (int variant = 0; variant < 2; ++variant) {
            double x = 0, y = 0, z = 0;
            ASSERT_TRUE(innerPoint(poly, x, y, z, 1e-8, variant)) << shape;
            ExpectStrictlyInside(rings, x, y, variant ? "variant 1" : "variant 0", shape);
        }
        if (shape % 10 == 0) {
            const GM_Object g(poly);
            const Point3D r = g.representativePoint();
            ExpectStrictlyInside(rings, r.x, r.y, "representativePoint", shape);
            const Point3D c = g.centroid();
            ExpectStrictlyInside(rings, c.x, c.y, "centroid", shape);
            const Point3D pc = poly.centroid();
            ExpectStrictlyInside(rings, pc.x, pc.y, "polygon centroid", shape);
        }
    }
}

TEST(GmObjectInnerPoint, KeepsClearOfRingsMeetingTheCentreOrAVertexHeight) {
    const double ulp = std::nextafter(2.0, 3.0) - 2.0;
    struct Case {
        const char* what;
        std::vector<Ring> rings;
    };
    const Case cases[] = {
        // The area centre is the corner where two holes (almost) meet.
        {"holes meeting at the centre",
         {SquareRing(2, 2, 2), SquareRing(1.5, 1.5, 0.5), {{2, 2 + ulp, 0}, {3, 2 + ulp, 0}, {3, 3, 0}, {2, 3, 0}}}},
        // A hole whose bottom lies one ulp above a vertex of the outer ring.
        {"hole an ulp above a shell vertex",
         {{{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}, {0, 2, 0}}, {{1, 2 + ulp, 0}, {3, 2 + ulp, 0}, {3, 3, 0}, {1, 3, 0}}}},
        {"hole an ulp below a shell vertex",
         {{{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}, {0, 2, 0}}, {{1, 1, 0}, {3, 1, 0}, {3, 2 - ulp, 0}, {1, 2 - ulp, 0}}}},
    };
    for (const Case& c : cases) {
        const keloPolygon poly = kelo_test::PolygonOfRings(c.rings);
        for (int variant = 0; variant < 3; ++variant) {
            double x = 0, y = 0, z = 0;
            ASSERT_TRUE(innerPoint(poly, x, y, z, g_epsZero, variant)) << c.what;
            ExpectStrictlyInside(c.rings, x, y, c.what, variant, g_epsZero);
        }
        const Point3D pc = poly.centroid();
        ExpectStrictlyInside(c.rings, pc.x, pc.y, c.what, -1, g_epsZero);
        keloPolygon labelled = poly;
        ASSERT_EQ(labelled.SetLabelPt(2), 1);
        double lx = 0, ly = 0;
        ASSERT_TRUE(labelled.GetLabelPt(lx, ly));
        EXPECT_GT(DistanceToRings(c.rings, lx, ly), 1e-4) << c.what;  // float offsets, but far from the rings
    }
    // A sliver thinner than eps: no point keeps eps, the middle of the sliver is the best there is.
    const std::vector<Ring> sliver{{{0, 0, 0}, {10, 0, 0}, {10, 1e-7, 0}, {0, 1e-7, 0}}};
    double x = 0, y = 0, z = 0;
    ASSERT_TRUE(innerPoint(kelo_test::PolygonOfRings(sliver), x, y, z, g_epsZero, 1));
    ExpectStrictlyInside(sliver, x, y, "sliver", 1, 4e-8);
}

TEST(GmObjectInnerPoint, CurvedRingsAndDegenerateInput) {
    // A disc of radius 10 given as a circle with a square hole around its centre: the point must
    // avoid the hole although the hole holds the centre.
    keloPolygon disc(keloParts(keloPoints(Point3D{0, 0, 0}, 10.0)));
    disc.InsertRing(keloParts(std::vector<Point3D>{{-6, -6, 0}, {6, -6, 0}, {6, 6, 0}, {-6, 6, 0}, {-6, -6, 0}},
                              klLTPolyline),
                    1);
    double x = 0, y = 0, z = 0;
    ASSERT_TRUE(innerPoint(disc, x, y, z, 1e-8, 0));
    EXPECT_LT(std::hypot(x, y), 10.0);
    EXPECT_TRUE(std::fabs(x) > 6 || std::fabs(y) > 6);

    EXPECT_FALSE(innerPoint(keloPolygon(), x, y, z, 1e-8, 0));
    const keloPolygon flat(keloParts(std::vector<Point3D>{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 0, 0}}, klLTPolyline));
    EXPECT_FALSE(innerPoint(flat, x, y, z, 1e-8, 0));
    const keloPolygon oneSeg(keloParts(std::vector<Point3D>{{0, 0, 0}, {1, 1, 0}}, klLTPolyline));
    EXPECT_FALSE(innerPoint(oneSeg, x, y, z, 1e-8, 1));
}

TEST(GmObjectInnerPoint, LabelModesStoreAnInteriorPointAndRemoveIt) {
    std::mt19937 rng(7);
    const std::vector<Ring> rings = Comb(rng);
    keloPolygon poly = kelo_test::PolygonOfRings(rings);
    poly.SetH(12.5);
    for (int mode = 1; mode <= 3; ++mode) {
        ASSERT_EQ(poly.SetLabelPt(mode), 1);
        double x = 0, y = 0;
        ASSERT_TRUE(poly.GetLabelPt(x, y));
        // The label is stored as float offsets, so it is only float-accurate.
        EXPECT_TRUE(InsideEvenOdd(rings, x, y)) << mode;
        EXPECT_DOUBLE_EQ(poly.GetH(), 12.5);
    }
    ASSERT_EQ(poly.SetLabelPt(0), 1);
    double x = 0, y = 0;
    EXPECT_FALSE(poly.GetLabelPt(x, y));
    EXPECT_DOUBLE_EQ(poly.GetH(), 12.5);
    for (int v = 0; v < 3; ++v) EXPECT_DOUBLE_EQ(poly.GetOriginalRingAt(0)->GetPointByVertexAt(v)->z, 12.5);
    EXPECT_EQ(keloPolygon().SetLabelPt(1), 0);
}

}  // namespace
