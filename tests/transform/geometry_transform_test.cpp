// Frames and recentring applied to lines, polygons and geometry objects.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "geometry/geometry_object.h"
#include "transform/spatial_reference_system.h"
#include "transform/uniform_coordinate.h"

using namespace kelo;

namespace {

GM_Object Sample() {
    GM_Object g;
    g.InsertPointAt({5, 6, 7}, -1);
    g.InsertPartsAt(keloParts(std::vector<Point3D>{{0, 0, 1}, {1, 1, 2}, {2, 0, 3}}, klLT3PArc), -1, 0);
    keloPolygon poly(keloParts(std::vector<Point3D>{{10, 10, 0}, {14, 10, 0}, {14, 14, 0}, {10, 10, 0}}, klLTPolyline));
    g.InsertPolygon(poly);
    return g;
}

std::vector<Point3D> StoredPoints(const GM_Object& g) {
    std::vector<Point3D> pts;
    g.GetAllPoints(pts);
    return pts;
}

SpatialReferenceSystem Frame(double ox, double oy, double a, double b, double c, double d) {
    return SpatialReferenceSystem{{ox, oy, 0}, {a, b, 0}, {c, d, 0}};
}

TEST(GeometryTransform, EveryStoredPointIsMappedAndZKept) {
    GM_Object g = Sample();
    const std::vector<Point3D> before = StoredPoints(g);
    const SpatialReferenceSystem f = Frame(10, 20, 0, 1, -1, 0);
    TransformGeom(g, f);
    const std::vector<Point3D> after = StoredPoints(g);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_DOUBLE_EQ(after[i].x, 10 - before[i].y);
        EXPECT_DOUBLE_EQ(after[i].y, 20 + before[i].x);
        EXPECT_EQ(after[i].z, before[i].z);
    }
    // The arc's middle control point moved too: the line keeps its length.
    EXPECT_NEAR(g.GetPerimeter(), Sample().GetPerimeter(), 1e-9);

    keloParts line(std::vector<Point3D>{{1, 0, 0}, {2, 0, 0}}, klLTPolyline);
    TransformParts(line, f);
    EXPECT_DOUBLE_EQ(line.GetOriginalPointsAt(0)->points[0].x, 10);
    EXPECT_DOUBLE_EQ(line.GetOriginalPointsAt(0)->points[0].y, 21);
}

TEST(GeometryTransform, ContentBetweenFramesAgreesWithMappingThroughBoth) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-5, 5);
    for (int trial = 0; trial < 50; ++trial) {
        const SpatialReferenceSystem a = Frame(u(rng), u(rng), u(rng), u(rng), u(rng), u(rng));
        const SpatialReferenceSystem b = Frame(u(rng), u(rng), 1 + u(rng) / 10, u(rng) / 10, u(rng) / 10, 1 + u(rng) / 10);
        const GM_Object g = Sample();
        GM_Object* inB = g.transform(a, b);
        ASSERT_NE(inB, nullptr);
        GM_Object viaA(g);
        TransformGeom(viaA, a);
        TransformGeom(*inB, b);
        const std::vector<Point3D> p = StoredPoints(viaA), q = StoredPoints(*inB);
        ASSERT_EQ(p.size(), q.size());
        for (size_t i = 0; i < p.size(); ++i) {
            EXPECT_NEAR(p[i].x, q[i].x, 1e-9 * (1 + std::fabs(p[i].x)));
            EXPECT_NEAR(p[i].y, q[i].y, 1e-9 * (1 + std::fabs(p[i].y)));
        }
        delete inB;

        keloParts line = *g.GetOriginalPartsAt(nullptr, 0);
        keloParts lineA = line;
        ASSERT_EQ(line.transform(a, b), 1);
        TransformParts(line, b);
        TransformParts(lineA, a);
        EXPECT_NEAR(line.GetOriginalPointsAt(0)->points[2].x, lineA.GetOriginalPointsAt(0)->points[2].x, 1e-9);
        keloPolygon poly = *g.GetOriginalPolygonAt(0);
        ASSERT_EQ(poly.transform(a, b), 1);
    }
    // A degenerate target frame refuses and changes nothing.
    const SpatialReferenceSystem flat = Frame(0, 0, 1, 1, 2, 2);
    const GM_Object g = Sample();
    EXPECT_EQ(g.transform(Frame(0, 0, 1, 0, 0, 1), flat), nullptr);
    keloPolygon poly = *g.GetOriginalPolygonAt(0);
    EXPECT_EQ(poly.transform(Frame(0, 0, 1, 0, 0, 1), flat), 0);
    EXPECT_DOUBLE_EQ(poly.GetArea(), g.GetOriginalPolygonAt(0)->GetArea());
}

TEST(GeometryTransform, RecentringRoundTripsEveryType) {
    GM_Object g = Sample();
    g.OffsetAllPoints({3.5e6, -2.25e6, 0});
    const std::vector<Point3D> before = StoredPoints(g);
    UniformCoordinate uc;
    uc.Add(g.mbRegion());
    ASSERT_TRUE(uc.Ready());
    uc.Uniform(g);
    const Box centred = g.mbRegion();
    EXPECT_NEAR(centred.minx + centred.maxx, 0, 1e-9);
    EXPECT_NEAR(centred.miny + centred.maxy, 0, 1e-9);
    uc.UniformInv(g);
    const std::vector<Point3D> after = StoredPoints(g);
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_DOUBLE_EQ(after[i].x, before[i].x);
        EXPECT_DOUBLE_EQ(after[i].y, before[i].y);
    }
    keloPolygon poly = *g.GetOriginalPolygonAt(0);
    const double area = poly.GetArea();
    uc.Uniform(poly);
    EXPECT_NEAR(poly.GetArea(), area, 1e-6);
    EXPECT_LT(std::fabs(poly.GetBox().minx), 100);
    keloParts line = *g.GetOriginalPartsAt(nullptr, 0);
    uc.Uniform(line);
    uc.UniformInv(line);
    EXPECT_DOUBLE_EQ(line.GetOriginalPointsAt(0)->points[1].x, g.GetOriginalPartsAt(nullptr, 0)->GetOriginalPointsAt(0)->points[1].x);
}

}  // namespace
