#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "KeloGeomNet.h"

using namespace kelo;

TEST(PointEquality, DistanceNotPerAxis) {
    const double eps = 1e-3;
    Point3D a{10, 20, 0};
    Point3D near{10 + 0.5 * eps, 20 + 0.5 * eps, 0};   // 0.707 eps away
    Point3D diag{10 + eps, 20 + eps, 0};                // each axis within eps, distance 1.414 eps
    Point3D far{10 + 1.01 * eps, 20, 0};
    EXPECT_EQ(IsTwoPointXYEqual(a, near, eps), 1);
    EXPECT_EQ(IsTwoPointXYEqual(a, diag, eps), 0);
    EXPECT_EQ(IsTwoPointXYEqual(a, far, eps), 0);
    EXPECT_EQ(pp_IsOverlap(&a, &near, eps), 1);
    EXPECT_EQ(PointOverlap(&a, &diag, eps), False);
    EXPECT_EQ(PointOverlap(&a, &near, eps), True);
    // pp_IsEqual follows the global tolerance.
    double old = SetGzCoordEpsZero(1e-6);
    Point3D b{10 + 5e-7, 20, 0};
    EXPECT_EQ(pp_IsEqual(&a, &b), 1);
    SetGzCoordEpsZero(1e-8);
    EXPECT_EQ(pp_IsEqual(&a, &b), 0);
    SetGzCoordEpsZero(old);
}

TEST(PointEquality, KeloPointIgnoresZAndMeasures) {
    keloPoint a(1, 2, 100), b(1, 2, -5);
    EXPECT_TRUE(a == b);
    b.SetMI(3, -17);
    EXPECT_TRUE(a == b);
    keloPoint c(1 + 2e-8, 2, 100);
    EXPECT_TRUE(a != c);
    EXPECT_DOUBLE_EQ(a.KeloPointKeloPointDistance(Point3D{4, 6, 50}), 5.0);
}

TEST(Measures, FloatAndIntegerRoundTripWithExactBits) {
    keloPoint p(3, 4, 0);
    p.SetMF(7, 2.5f);
    EXPECT_TRUE(p.IsMF());
    EXPECT_FALSE(p.IsMI());
    uint16_t id = 0;
    float fv = 0;
    int32_t iv = 0;
    ASSERT_TRUE(p.GetMF(id, fv));
    EXPECT_EQ(id, 7);
    EXPECT_EQ(fv, 2.5f);
    EXPECT_FALSE(p.GetMI(id, iv));
    EXPECT_NEAR(p.length(), 5.0, 1e-9);  // the measure reads as a tiny elevation

    uint64_t bits;
    std::memcpy(&bits, &p.z, 8);
    EXPECT_EQ(bits >> 32, 0x3DFE0007u);
    float f = 2.5f;
    uint32_t fbits;
    std::memcpy(&fbits, &f, 4);
    EXPECT_EQ(static_cast<uint32_t>(bits), fbits);

    const int32_t values[] = {0, 1, -1, 2147483647, -2147483647 - 1};
    for (int32_t v : values) {
        p.SetMI(65535, v);
        ASSERT_TRUE(p.IsMI());
        ASSERT_TRUE(p.GetMI(id, iv));
        EXPECT_EQ(id, 65535);
        EXPECT_EQ(iv, v);
        std::memcpy(&bits, &p.z, 8);
        EXPECT_EQ(bits >> 32, 0x3DFFFFFFu);
        EXPECT_LT(std::fabs(p.z), 1e-9);
    }
    keloPoint plain(0, 0, 12.5);
    EXPECT_FALSE(plain.IsMF());
    EXPECT_FALSE(plain.IsMI());
    EXPECT_FALSE(plain.GetMF(id, fv));
}

TEST(PointSide, RawCrossProductThreshold) {
    EXPECT_EQ(PSideAtLine(0, 0, 1, 0, 0, 1), 1);
    EXPECT_EQ(PSideAtLine(0, 0, 0, 1, 1, 0), -1);
    EXPECT_EQ(PSideAtLine(0, 0, 1, 1, 2, 2), 0);
    // Cross product 5e-9 is below the raw threshold even though the angle is not tiny.
    EXPECT_EQ(PSideAtLine(0, 0, 1e-4, 0, 0, 5e-5), 0);
    EXPECT_EQ(PSideAtLine(0, 0, 1e-4, 0, 0, 2e-4), 1);
}

TEST(PointTransforms, MirrorRotateTransform) {
    struct Case { Point3D p, a, b, want; };
    const Case mirrors[] = {
        {{3, 5, 7}, {1, 0, 0}, {1, 10, 0}, {-1, 5, 7}},   // vertical line
        {{3, 5, 7}, {0, 2, 0}, {9, 2, 0}, {3, -1, 7}},    // horizontal line
        {{2, 0, 7}, {0, 0, 0}, {1, 1, 0}, {0, 2, 7}},     // diagonal
        {{3, 1, 7}, {0, 1, 0}, {1, 2, 0}, {0, 4, 7}},     // shifted diagonal y = x + 1
    };
    for (const Case& c : mirrors) {
        Point3D p = c.p;
        _MirrorKeloPoint(p, c.a, c.b);
        EXPECT_NEAR(p.x, c.want.x, 1e-12);
        EXPECT_NEAR(p.y, c.want.y, 1e-12);
        EXPECT_EQ(p.z, c.want.z);
    }
    // A positive angle turns clockwise in a y-up frame.
    keloPoint r(2, 1, 9);
    r.RotateKeloPoint(Point3D{1, 1, 0}, M_PI / 2);
    EXPECT_NEAR(r.x, 1, 1e-12);
    EXPECT_NEAR(r.y, 0, 1e-12);
    EXPECT_EQ(r.z, 9);

    // Translate, rotate about c, then scale about c.
    Point3D t{1, 0, 4};
    _TransformKeloPoint(t, 1, 0, Point3D{0, 0, 0}, M_PI / 2, 3, 2);
    EXPECT_NEAR(t.x, 0, 1e-12);
    EXPECT_NEAR(t.y, -4, 1e-12);
    EXPECT_EQ(t.z, 4);
    Point3D s{2, 3, 0};
    _TransformKeloPoint(s, 0, 0, Point3D{1, 1, 0}, 0, 2, 3);
    EXPECT_NEAR(s.x, 3, 1e-12);
    EXPECT_NEAR(s.y, 7, 1e-12);
}

TEST(Vectors, NormalizeAndLength) {
    keloPoint p(3, 4, 10);
    EXPECT_DOUBLE_EQ(p.normalize2D(), 5);
    EXPECT_DOUBLE_EQ(p.x, 0.6);
    EXPECT_DOUBLE_EQ(p.y, 0.8);
    EXPECT_DOUBLE_EQ(p.z, 2);
    keloPoint zero;
    EXPECT_DOUBLE_EQ(zero.normalize(), 1e-8);

    Point3D v{0, 0, 5};
    EXPECT_EQ(Vec2DNormalize(&v), 0);
    EXPECT_EQ(v.z, 5);
    Point3D w{-6, 8, 2};
    EXPECT_DOUBLE_EQ(Vec2DNormalize(&w), 10);
    EXPECT_DOUBLE_EQ(w.x, -0.6);
    EXPECT_DOUBLE_EQ(w.z, 0.2);

    // No overflow where the naive formula would overflow.
    Point3D big{3e200, 4e200, 0};
    EXPECT_NEAR(Vec2DLen(&big) / 5e200, 1.0, 1e-15);
    Point3D tiny{3e-200, 4e-200, 0};
    EXPECT_NEAR(Vec2DLen(&tiny) / 5e-200, 1.0, 1e-15);

    Point3D a{1, 2, 7}, b{4, 6, 9}, out{};
    Vec2DLerp(&out, &a, &b, 0);
    EXPECT_EQ(out.z, 7);
    Vec2DLerp(&out, &a, &b, 1);
    EXPECT_EQ(out.z, 9);
    Vec2DLerp(&out, &a, &b, 0.5);
    EXPECT_EQ(out.z, kUnknownZ);
    EXPECT_DOUBLE_EQ(out.x, 2.5);
    Vec2DSub3(&out, &b, &a);
    EXPECT_EQ(out.z, kUnknownZ);
    EXPECT_DOUBLE_EQ(Vec2DCross(&a, &b), 1 * 6 - 2 * 4);
}

TEST(Vectors, NonFiniteInputsDoNotCrash) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Point3D a{nan, 0, 0}, b{0, 0, 0};
    EXPECT_EQ(IsTwoPointXYEqual(a, b, 1), 0);
    EXPECT_EQ(PSideAtLine(nan, 0, 1, 0, 0, 1), 0);
    Point3D v{nan, nan, 0};
    double L = Vec2DNormalize(&v);
    EXPECT_TRUE(std::isnan(L));
}

TEST(Vectors, ArithmeticAndNormalizeUseTheRightLengths) {
    keloPoint p(1, 2, 2);
    EXPECT_DOUBLE_EQ(p.normalize(), 3);  // the 3D length, unlike normalize2D
    EXPECT_DOUBLE_EQ(p.x, 1.0 / 3);
    EXPECT_DOUBLE_EQ(p.z, 2.0 / 3);
    Point3D a{1, 2, 7}, b{4, 6, 9}, out{};
    Vec2DAdd3(&out, &a, &b);
    EXPECT_EQ(out.x, 5);
    EXPECT_EQ(out.y, 8);
    EXPECT_EQ(out.z, kUnknownZ);
    Point3D c = b;
    EXPECT_EQ(Vec2DSub2(&c, &a), &c);
    EXPECT_EQ(c.x, 3);
    EXPECT_EQ(c.y, 4);
    EXPECT_EQ(c.z, kUnknownZ);
    Vec2DScale2(&c, 2);
    EXPECT_EQ(c.x, 6);
    EXPECT_EQ(c.z, kUnknownZ);  // scaling leaves z alone
    EXPECT_EQ(Vec2DDot(&a, &b), 16);
    EXPECT_EQ(keloPoint::Dot2D(a, b), 16);
    EXPECT_EQ(keloPoint::Cross2D(a, b), -2);
    EXPECT_EQ(Vec2DSqrLen(&b), 52);
}
