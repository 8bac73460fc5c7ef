// Area centres whatever the ring orientation and however far from the origin, convex hulls that
// stay inside the caller's array for any values, and boundaries of many parts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

#include "geometry/convex_hull.h"
#include "geometry/geometry_object.h"

using namespace kelo;

namespace {

std::vector<Point3D> Rect(double x0, double y0, double x1, double y1, bool ccw) {
    std::vector<Point3D> r{{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}, {x0, y0, 0}};
    if (!ccw) std::reverse(r.begin(), r.end());
    return r;
}

keloParts Ring(const std::vector<Point3D>& pts) { return keloParts(pts, klLTPolyline); }

TEST(GmObjectCentroid3, AreaCentreWhateverTheOrientation) {
    // 10 x 10 square less a 2 x 2 hole at (1,1)-(3,3): (100 * 5 - 4 * 2) / 96 = 5.125.
    for (bool shellCcw : {true, false})
        for (bool holeCcw : {true, false}) {
            keloPolygon poly(Ring(Rect(0, 0, 10, 10, shellCcw)));
            poly.InsertRing(Ring(Rect(1, 1, 3, 3, holeCcw)), 1);
            Point3D c{};
            ASSERT_EQ(GM_Object(poly).centroid3(c), 1);
            EXPECT_NEAR(c.x, 5.125, 1e-12) << shellCcw << holeCcw;
            EXPECT_NEAR(c.y, 5.125, 1e-12) << shellCcw << holeCcw;
        }
    // Members turning opposite ways weigh alike: the centre lies between them.
    GM_Object multi;
    multi.InsertPolygon(keloPolygon(Ring(Rect(0, 0, 1, 1, true))));
    multi.InsertPolygon(keloPolygon(Ring(Rect(10, 0, 11, 1, false))));
    Point3D c{};
    ASSERT_EQ(multi.centroid3(c), 1);
    EXPECT_NEAR(c.x, 5.5, 1e-12);
    EXPECT_NEAR(c.y, 0.5, 1e-12);
}

TEST(GmObjectCentroid3, SmallShapesFarFromTheOrigin) {
    const double X = 9861134, Y = 4000000;
    // A 1 m2 triangle; its centre is a third of the way up from the legs.
    GM_Object tri;
    tri.Create(Ring({{X, Y, 0}, {X + 2, Y, 0}, {X, Y + 1, 0}, {X, Y, 0}}), 1);
    Point3D c{};
    ASSERT_EQ(tri.centroid3(c), 1);
    EXPECT_NEAR(c.x, X + 2.0 / 3, 1e-6);
    EXPECT_NEAR(c.y, Y + 1.0 / 3, 1e-6);
    // A short line and two points there too.
    GM_Object line;
    line.Create(Ring({{X, Y, 0}, {X + 1e-3, Y + 1e-3, 0}}), 0);
    ASSERT_EQ(line.centroid3(c), 1);
    EXPECT_NEAR(c.x, X + 5e-4, 4e-9);  // within a couple of ulps at this magnitude
    GM_Object pts;
    pts.InsertPointAt({1e15 + 1, 0, 0}, -1);
    pts.InsertPointAt({1e15 + 2, 0, 0}, -1);
    pts.InsertPointAt({1e15 + 6, 0, 0}, -1);
    ASSERT_EQ(pts.centroid3(c), 1);
    EXPECT_EQ(c.x, 1e15 + 3);
    // A vertex without a position is passed over rather than poisoning the centre.
    GM_Object holey;
    holey.Create(Ring({{0, 0, 0}, {2, 0, 0}, {NAN, 5, 0}, {2, 2, 0}, {0, 2, 0}, {0, 0, 0}}), 1);
    ASSERT_EQ(holey.centroid3(c), 1);
    EXPECT_NEAR(c.x, 1, 1e-12);
    EXPECT_NEAR(c.y, 1, 1e-12);
}

// The hull core must return a permutation of the input whose first n points turn strictly left
// and hold every input point.
void ExpectHullOf(const std::vector<Point3D>& input, const std::vector<Point3D>& out, int n) {
    ASSERT_EQ(out.size(), input.size());
    std::vector<bool> used(input.size(), false);
    for (const Point3D& p : out) {
        bool matched = false;
        for (size_t i = 0; i < input.size() && !matched; ++i)
            if (!used[i] && std::memcmp(&input[i], &p, sizeof p) == 0) used[i] = matched = true;
        ASSERT_TRUE(matched) << "point not in the input";
    }
    ASSERT_GE(n, 3);
    // Turn tests in coordinates scaled to about 1, so that huge inputs do not overflow them.
    double big = 0;
    for (const Point3D& q : input)
        if (std::isfinite(q.x) && std::isfinite(q.y)) big = std::max({big, std::fabs(q.x), std::fabs(q.y)});
    int e = 0;
    std::frexp(big, &e);
    big = std::ldexp(1.0, e);  // a power of two, so the scaling is exact
    auto turn = [big](const Point3D& a, const Point3D& b, const Point3D& q) {
        return (b.x / big - a.x / big) * (q.y / big - a.y / big) - (b.y / big - a.y / big) * (q.x / big - a.x / big);
    };
    for (int i = 0; i < n; ++i) {
        const Point3D &a = out[i], &b = out[(i + 1) % n];
        for (int j = 0; j < n; ++j) {
            if (j != i && j != (i + 1) % n) {
                EXPECT_GT(turn(a, b, out[j]), 0) << i << " " << j;
            }
        }
        for (const Point3D& q : input) {
            if (!std::isfinite(q.x) || !std::isfinite(q.y)) continue;
            EXPECT_GE(turn(a, b, q), 0) << i;
        }
    }
}

TEST(ConvexHullCore, RandomCloudsAgainstTheHullProperty) {
    std::mt19937 rng(15);
    std::uniform_real_distribution<double> u(-100, 100);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<Point3D> in(3 + trial % 40);
        for (Point3D& p : in) p = {std::round(u(rng)), std::round(u(rng)), u(rng)};  // rounding makes ties
        if (trial % 5 == 0) in.push_back(in[0]);
        std::vector<Point3D> out = in;
        const int n = GetConvexHullOfPoints(out.data(), static_cast<int>(out.size()));
        if (n < 3) continue;  // collinear draw
        ExpectHullOf(in, out, n);
    }
}

TEST(ConvexHullCore, ValuesThatCannotBeMatchedBackStayInTheArray) {
    // A corner whose z is NaN equals nothing, itself included.
    std::vector<Point3D> nanZ{{0, 0, NAN}, {1, 0, 0}, {0, 1, 0}};
    std::vector<Point3D> out = nanZ;
    ASSERT_EQ(GetConvexHullOfPoints(out.data(), 3), 3);
    ExpectHullOf(nanZ, out, 3);
    // Cross products of these overflow the double range.
    std::vector<Point3D> huge{{1e200, 0, 0}, {0, 1e200, 0}, {0, 0, 0}, {-1.5e200, 0, 0}, {0, -1e200, 0}, {1e199, 1e199, 0}};
    out = huge;
    ASSERT_EQ(GetConvexHullOfPoints(out.data(), static_cast<int>(out.size())), 4);
    ExpectHullOf(huge, out, 4);
    // The same through the object, as from a decoded record.
    GM_Object g;
    for (const Point3D& p : huge) g.InsertPointAt(p, -1);
    g.InsertPointAt({0, 0, NAN}, -1);
    GM_Object* hull = g.convex_Hull();
    ASSERT_NE(hull, nullptr);
    EXPECT_EQ(hull->GetType(), wkbPolygon);
    delete hull;
}

TEST(ConvexHullCore, ManyPointsOnACircle) {
    const int n = 100000;
    std::vector<Point3D> pts(n);
    for (int i = 0; i < n; ++i) {
        const double a = 2 * std::numbers::pi * ((i * 7919) % n) / n;  // scrambled order
        pts[i] = {1000 * std::cos(a), 1000 * std::sin(a), static_cast<double>(i)};
    }
    std::vector<Point3D> out = pts;
    ASSERT_EQ(GetConvexHullOfPoints(out.data(), n), n);
    // Counter-clockwise from the leftmost point (angle pi), each point carrying its own z.
    EXPECT_EQ(out[0].x, -1000);
    for (int i = 0; i + 1 < n; ++i) {
        const double a0 = std::atan2(out[i].y, out[i].x), a1 = std::atan2(out[i + 1].y, out[i + 1].x);
        double step = a1 - a0;
        if (step < 0) step += 2 * std::numbers::pi;
        ASSERT_NEAR(step, 2 * std::numbers::pi / n, 1e-9) << i;
        const int k = static_cast<int>(out[i].z);
        ASSERT_EQ(out[i].x, pts[k].x);
    }
}

std::vector<unsigned char> Bytes(const GM_Object& g) {
    std::vector<unsigned char> b(CalWkbGeomSize(&g));
    WkbGeom2Binary(b.data(), &g);
    return b;
}

TEST(GmObjectCombine, ManyObjectsAtOnceMatchOneByOneInsertion) {
    // Every start type against points and polygons in several simple forms; the reference inserts
    // each member and tidies after every object, as combining one object at a time does.
    std::vector<GM_Object> starts(4);
    starts[1].InsertPointAt({9, 9, 1}, -1);
    starts[2].InsertPolygon(keloPolygon(Ring(Rect(-5, -5, -4, -4, true))));
    starts[3].InsertPointAt({9, 9, 1}, -1);
    starts[3].InsertPolygon(keloPolygon(Ring(Rect(-5, -5, -4, -4, true))));
    std::vector<GM_Object> others(5);
    others[0].InsertPointAt({1, 2, 3}, -1);
    others[1].InsertPointAt({4, 5, 6}, -1);
    others[1].InsertPointAt({7, 8, 9}, -1);
    others[2].InsertPolygon(keloPolygon(Ring(Rect(0, 0, 1, 1, true))));
    for (int i = 0; i < 3; ++i) others[3].InsertPolygon(keloPolygon(Ring(Rect(i * 2, 5, i * 2 + 1, 6, i % 2))));
    for (int mask = 1; mask < 32; ++mask)
        for (const GM_Object& start : starts) {
            std::vector<GM_Object*> picked;
            GM_Object expect = start;
            for (int k = 0; k < 5; ++k) {
                if (!(mask & (1 << k))) continue;
                picked.push_back(&others[k]);
                for (int i = 0; i < others[k].GetPointCount(); ++i) expect.InsertPointAt(*others[k].GetPointAt(i), -1);
                for (int i = 0; i < others[k].GetPolygonCount(); ++i) expect.InsertPolygon(*others[k].GetOriginalPolygonAt(i));
                expect.PutGMInOrder();
            }
            GM_Object got = start;
            EXPECT_EQ(got.Combine(picked), static_cast<int>(picked.size()));
            EXPECT_EQ(Bytes(got), Bytes(expect)) << mask << " from type " << start.GetType();
        }
}

TEST(GmObjectBoundary, ManyRingsAndManyLines) {
    GM_Object multi;
    std::vector<keloPolygon> polys;
    const int count = 8000;
    for (int i = 0; i < count; ++i) {
        keloPolygon p(Ring(Rect(i * 3, 0, i * 3 + 2, 2, true)));
        if (i % 100 == 0) p.InsertRing(Ring(Rect(i * 3 + 0.5, 0.5, i * 3 + 1.5, 1.5, false)), 1);
        polys.push_back(p);
    }
    // Built in one go: inserting 8000 polygons one by one would itself be the slow path.
    std::vector<GM_Object*> members;
    for (keloPolygon& p : polys) members.push_back(new GM_Object(p));
    multi.Combine(members);
    for (GM_Object* m : members) delete m;
    ASSERT_EQ(multi.GetType(), wkbMultiPolygon);
    GM_Object* b = multi.boundary();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->GetType(), wkbMultiLineString);
    ASSERT_EQ(b->GetPartsCount(), count + count / 100);
    EXPECT_DOUBLE_EQ(b->GetPerimeter(), multi.GetPerimeter());
    keloParts* second = b->GetOriginalPartsAt(nullptr, 1);  // the hole of the first polygon
    ASSERT_NE(second, nullptr);
    EXPECT_DOUBLE_EQ(second->GetPerimeter(), 4);
    delete b;

    // Lines give their open ends; closed lines give none.
    GM_Object lines;
    lines.InsertPartsAt(Ring({{0, 0, 0}, {1, 0, 0}}), -1, 0);
    lines.InsertPartsAt(Ring(Rect(5, 5, 6, 6, true)), -1, 0);
    lines.InsertPartsAt(Ring({{2, 0, 0}, {3, 1, 7}}), -1, 0);
    b = lines.boundary();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->GetType(), wkbMultiPoint);
    ASSERT_EQ(b->GetPointCount(), 4);
    EXPECT_EQ(b->GetPointAt(3)->z, 7);
    delete b;
    GM_Object closed;
    closed.Create(Ring(Rect(5, 5, 6, 6, true)), 0);
    b = closed.boundary();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->GetType(), wkbEmpty);
    delete b;
    EXPECT_EQ(GM_Object().boundary(), nullptr);
}

}  // namespace
