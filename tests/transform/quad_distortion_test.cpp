#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "transform/quad_distortion.h"

namespace {

using kelo::Point3D;

// Four points on an ellipse in angular order always form a convex quadrilateral.
void RandomConvexQuad(std::mt19937& rng, Point3D q[4]) {
    std::uniform_real_distribution<double> centre(-5e4, 5e4), radius(1, 2000), jitter(-0.6, 0.6);
    const double cx = centre(rng), cy = centre(rng), rx = radius(rng), ry = radius(rng);
    for (int i = 0; i < 4; ++i) {
        const double t = i * M_PI / 2 + jitter(rng);
        q[i] = {cx + rx * std::cos(t), cy + ry * std::sin(t), 0};
    }
}

Point3D Bilinear(const Point3D q[4], double s, double t) {
    return {(1 - s) * (1 - t) * q[0].x + s * (1 - t) * q[1].x + s * t * q[2].x + (1 - s) * t * q[3].x,
            (1 - s) * (1 - t) * q[0].y + s * (1 - t) * q[1].y + s * t * q[2].y + (1 - s) * t * q[3].y, 0};
}

Point3D DiagonalCrossing(const Point3D q[4]) {
    const double d1x = q[2].x - q[0].x, d1y = q[2].y - q[0].y, d2x = q[3].x - q[1].x, d2y = q[3].y - q[1].y;
    const double t = ((q[1].x - q[0].x) * d2y - (q[1].y - q[0].y) * d2x) / (d1x * d2y - d1y * d2x);
    return {q[0].x + t * d1x, q[0].y + t * d1y, 0};
}

TEST(QuadDistortion, RoundTripsAndKeepsIncidence) {
    std::mt19937 rng(2024);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int iter = 0; iter < 300; ++iter) {
        Point3D src[4], dst[4];
        RandomConvexQuad(rng, src);
        RandomConvexQuad(rng, dst);
        kelo::QuadDistortion qd;
        ASSERT_TRUE(qd.Init(src, dst));
        ASSERT_TRUE(qd.IsReady());
        const double size = std::fabs(dst[2].x - dst[0].x) + std::fabs(dst[3].y - dst[1].y);
        for (int i = 0; i < 4; ++i) {
            Point3D out{0, 0, 5};
            ASSERT_TRUE(qd.Distortion(src[i], out));
            EXPECT_NEAR(out.x, dst[i].x, 1e-9 * size);
            EXPECT_NEAR(out.y, dst[i].y, 1e-9 * size);
            EXPECT_EQ(out.z, 5);
        }
        // A projective map sends the crossing of the diagonals to the crossing of the diagonals.
        Point3D c = DiagonalCrossing(src), cd = DiagonalCrossing(dst);
        ASSERT_TRUE(qd.Distortion(c, c));
        EXPECT_NEAR(c.x, cd.x, 1e-8 * size);
        EXPECT_NEAR(c.y, cd.y, 1e-8 * size);
        for (int k = 0; k < 10; ++k) {
            const Point3D p = Bilinear(src, unit(rng), unit(rng));
            Point3D q, back;
            ASSERT_TRUE(qd.Distortion(p, q));
            ASSERT_TRUE(qd.DistortionInv(q, back));
            EXPECT_NEAR(back.x, p.x, 1e-9);
            EXPECT_NEAR(back.y, p.y, 1e-9);
        }
    }
}

TEST(QuadDistortion, IdentityAndDegenerateQuads) {
    const Point3D sq[4] = {{100, 200, 0}, {300, 200, 0}, {300, 500, 0}, {100, 500, 0}};
    kelo::QuadDistortion id;
    ASSERT_TRUE(id.Init(sq, sq));
    const double expected[8] = {1, 0, 0, 0, 1, 0, 0, 0};
    for (int i = 0; i < 8; ++i) EXPECT_NEAR(id.a[i], expected[i], 1e-12) << i;
    Point3D p{123.5, 456.25, 0}, out;
    ASSERT_TRUE(id.Distortion(p, out));
    EXPECT_NEAR(out.x, p.x, 1e-12);
    EXPECT_NEAR(out.y, p.y, 1e-12);

    const Point3D same[4] = {{5, 5, 0}, {5, 5, 0}, {5, 5, 0}, {5, 5, 0}};
    const Point3D twoPlaces[4] = {{5, 5, 0}, {9, 1, 0}, {5, 5, 0}, {9, 1, 0}};
    const double nan = std::nan("");
    const Point3D notNumbers[4] = {{nan, nan, 0}, {nan, nan, 0}, {nan, nan, 0}, {nan, nan, 0}};
    for (const Point3D* bad : {same, twoPlaces, notNumbers}) {
        kelo::QuadDistortion qd;
        ASSERT_TRUE(qd.Init(sq, sq));  // a failed refit must also drop an earlier fit
        EXPECT_FALSE(qd.Init(bad, sq));
        EXPECT_FALSE(qd.IsReady());
        Point3D untouched{-1, -2, -3};
        EXPECT_FALSE(qd.Distortion(p, untouched));
        EXPECT_FALSE(qd.DistortionInv(p, untouched));
        EXPECT_EQ(untouched.x, -1);
        EXPECT_EQ(untouched.y, -2);
    }
    EXPECT_FALSE(kelo::QuadDistortion().Distortion(p, out));
    kelo::QuadDistortion nul;
    ASSERT_TRUE(nul.Init(sq, sq));
    EXPECT_FALSE(nul.Init(nullptr, sq));
    EXPECT_FALSE(nul.Init(sq, nullptr));
    EXPECT_FALSE(nul.IsReady());
}

TEST(QuadDistortion, PointsOnTheVanishingLineFail) {
    // Trapezoid to square: the source line where w = 0 maps to infinity.
    const Point3D src[4] = {{0, 0, 0}, {4, 0, 0}, {3, 1, 0}, {1, 1, 0}};
    const Point3D dst[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    kelo::QuadDistortion qd;
    ASSERT_TRUE(qd.Init(src, dst));
    // The legs meet at (2, 2); the vanishing line is y = 2.
    Point3D out{7, 7, 7};
    EXPECT_FALSE(qd.Distortion(Point3D{-30, 2, 0}, out));
    EXPECT_EQ(out.x, 7);
    EXPECT_TRUE(qd.Distortion(Point3D{-30, 1.5, 0}, out));
}

}  // namespace
