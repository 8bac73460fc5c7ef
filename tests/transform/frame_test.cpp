#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "geometry/point_run.h"
#include "transform/spatial_reference_system.h"
#include "transform/uniform_coordinate.h"

namespace {

using kelo::Point3D;
using kelo::SpatialReferenceSystem;

SpatialReferenceSystem Frame(double ox, double oy, double a, double b, double c, double d) {
    return {{ox, oy, 0.5}, {a, b, 1.5}, {c, d, 2.5}};
}

TEST(SpatialReferenceSystem, MapsByOriginAndAxes) {
    Point3D p{1, 0, 42};
    kelo::TransformPoint(p, Frame(10, 20, 0, 1, -1, 0));
    EXPECT_EQ(p.x, 10);
    EXPECT_EQ(p.y, 21);
    EXPECT_EQ(p.z, 42);
    Point3D pts[3] = {{0, 0, 1}, {2, 3, 2}, {-1, 4, 3}};
    kelo::TransformPoints(pts, 3, Frame(1, 2, 2, 0, 1, 3));  // x' = 1 + 2x + y, y' = 2 + 3y
    EXPECT_EQ(pts[1].x, 8);
    EXPECT_EQ(pts[1].y, 11);
    EXPECT_EQ(pts[2].x, 3);
    EXPECT_EQ(pts[2].y, 14);
    EXPECT_EQ(pts[2].z, 3);
    kelo::TransformPoints(nullptr, 5, Frame(1, 2, 2, 0, 1, 3));
}

TEST(SpatialReferenceSystem, InverseIsTheAdjugate) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-1000, 1000), ang(-M_PI, M_PI), sc(0.2, 5);
    for (int i = 0; i < 200; ++i) {
        const double t = ang(rng), k = i % 2 ? 1.0 : sc(rng);
        // A rotation scaled by k: determinant k^2, exact inverse only for k = 1.
        const SpatialReferenceSystem f = Frame(u(rng), u(rng), k * std::cos(t), k * std::sin(t), -k * std::sin(t),
                                               k * std::cos(t));
        const SpatialReferenceSystem inv = kelo::InverseSystem(f);
        EXPECT_EQ(inv.origin.z + inv.axisX.z + inv.axisY.z, 0.0);
        const Point3D p0{u(rng), u(rng), 3};
        Point3D p = p0;
        kelo::TransformPoint(p, f);
        kelo::TransformPoint(p, inv);
        EXPECT_NEAR(p.x, k * k * p0.x, 1e-9 * k * k * 2000);
        EXPECT_NEAR(p.y, k * k * p0.y, 1e-9 * k * k * 2000);
    }
}

TEST(SpatialReferenceSystem, MetricChainsAIntoB) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-100, 100), ax(-3, 3);
    for (int i = 0; i < 200; ++i) {
        const SpatialReferenceSystem a = Frame(u(rng), u(rng), ax(rng), ax(rng), ax(rng), ax(rng));
        const SpatialReferenceSystem b = Frame(u(rng), u(rng), ax(rng), ax(rng), ax(rng), ax(rng));
        if (std::fabs(b.axisX.x * b.axisY.y - b.axisY.x * b.axisX.y) < 0.05) continue;
        SpatialReferenceSystem r = Frame(9, 9, 9, 9, 9, 9);
        r.origin.z = r.axisX.z = r.axisY.z = 7;
        ASSERT_EQ(kelo::GetTransformMetric(r, a, b), 1);
        EXPECT_EQ(r.origin.z + r.axisX.z + r.axisY.z, 21.0);
        const Point3D p0{u(rng), u(rng), 0};
        Point3D viaA = p0, viaRB = p0;
        kelo::TransformPoint(viaA, a);
        kelo::TransformPoint(viaRB, r);
        kelo::TransformPoint(viaRB, b);
        EXPECT_NEAR(viaRB.x, viaA.x, 1e-8);
        EXPECT_NEAR(viaRB.y, viaA.y, 1e-8);
        // The result may be one of the inputs.
        SpatialReferenceSystem aliased = a;
        ASSERT_EQ(kelo::GetTransformMetric(aliased, aliased, b), 1);
        EXPECT_EQ(std::memcmp(&aliased.origin.x, &r.origin.x, 2 * sizeof(double)), 0);
    }
    // Parallel axes, and a determinant just under the threshold, leave the result alone.
    for (const SpatialReferenceSystem& b : {Frame(0, 0, 1, 2, 2, 4), Frame(0, 0, 1e-4, 0, 0, 9e-5)}) {
        SpatialReferenceSystem r = Frame(1, 2, 3, 4, 5, 6), before = r;
        EXPECT_EQ(kelo::GetTransformMetric(r, Frame(0, 0, 1, 0, 0, 1), b), 0);
        EXPECT_EQ(std::memcmp(&r, &before, sizeof r), 0);
    }
}

TEST(UniformCoordinate, CentresOnTheExtent) {
    kelo::UniformCoordinate uc;
    EXPECT_FALSE(uc.Ready());
    uc.Add(kelo::Box());  // an empty box adds nothing
    EXPECT_FALSE(uc.Ready());
    uc.Add(Point3D{3500000.25, 4100000.5, 9});
    uc.Add(kelo::Box(3500010.25, 4099990.5, 3500004.25, 4100002.5));
    ASSERT_TRUE(uc.Ready());
    EXPECT_EQ(uc.offsetX, -3500005.25);
    EXPECT_EQ(uc.offsetY, -4099996.5);
    EXPECT_EQ(uc.scale, 1.0);
    Point3D pts[2] = {{3500000.25, 4100002.5, 9}, {3500007.0, 4099995.0, 8}};
    uc.Uniform(pts, 2);
    EXPECT_EQ(pts[0].x, -5.0);
    EXPECT_EQ(pts[0].y, 6.0);
    EXPECT_EQ(pts[1].z, 8);
    uc.UniformInv(pts, 2);
    EXPECT_EQ(pts[1].x, 3500007.0);
    EXPECT_EQ(pts[1].y, 4099995.0);
    // A point run shifts every stored point, control points included.
    Point3D runPts[3] = {{3500000.25, 4100002.5, 1}, {3500001.25, 4100003.5, 2}, {3500002.25, 4100002.5, 3}};
    kelo::keloPoints run(kelo::klLT3PArc, 3, runPts);
    uc.Uniform(run);
    EXPECT_EQ(run.points[1].x, -4.0);
    EXPECT_EQ(run.points[1].y, 7.0);
    EXPECT_EQ(run.points[2].z, 3);
    uc.UniformInv(run);
    EXPECT_EQ(run.points[2].x, 3500002.25);
    kelo::SpatialReferenceSystem shift{{10, 20, 0}, {0, 1, 0}, {-1, 0, 0}};
    kelo::TransformPoints(run, shift);
    EXPECT_DOUBLE_EQ(run.points[0].x, 10 - 4100002.5);
    EXPECT_DOUBLE_EQ(run.points[0].y, 20 + 3500000.25);
    uc.Clear();
    EXPECT_FALSE(uc.Ready());
}

}  // namespace
