#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "KeloGeomNet.h"

using namespace kelo;

namespace {
std::vector<Point3D> Pts(std::initializer_list<std::pair<double, double>> xy) {
    std::vector<Point3D> v;
    for (auto [x, y] : xy) v.push_back({x, y, 0.0});
    return v;
}
}  // namespace

TEST(PointRunCore, SegmentCounts) {
    struct Case { int count, type, segs; } cases[] = {
        {5, 3, 2}, {4, 3, 1}, {4, 1, 3}, {1, 1, 0}, {0, 1, 0}, {0, 3, 0}, {3, 6, 1}, {7, 2, 6}, {-4, 1, 0},
    };
    for (auto c : cases) EXPECT_EQ(GetSegmentCount(c.count, c.type), c.segs) << c.count << "/" << c.type;
}

TEST(PointRunCore, ShapeConstructors) {
    keloPoints circle(Point3D{1, 2, 7}, 3.0);
    ASSERT_EQ(circle.GetCount(), 5);
    EXPECT_EQ(circle.GetLineType(), klLT3PArc);
    EXPECT_TRUE(IsTwoPointXYEqual(circle[0], circle[4], 0));
    EXPECT_DOUBLE_EQ(circle[1].y, 5.0);
    EXPECT_DOUBLE_EQ(circle[3].z, 7.0);

    keloPoints arc(Point3D{0, 0, 0}, 2.0, 0.0, M_PI);
    ASSERT_EQ(arc.GetCount(), 3);
    EXPECT_NEAR(arc[1].x, 0.0, 1e-12);
    EXPECT_NEAR(arc[1].y, 2.0, 1e-12);
    EXPECT_NEAR(arc[2].x, -2.0, 1e-12);
    keloPoints full(Point3D{0, 0, 0}, 2.0, 1.0, 1.0 + 1e-9);
    EXPECT_EQ(full.GetCount(), 5);

    keloPoints ring(Box(0, 0, 2, 1));
    ASSERT_EQ(ring.GetCount(), 5);
    EXPECT_EQ(ring[1].x, 0);
    EXPECT_EQ(ring[1].y, 1);
    EXPECT_EQ(ring[3].x, 2);
    EXPECT_EQ(ring[3].y, 0);

    keloPoints none(klLTBezier, 4, nullptr);
    EXPECT_TRUE(none.IsNulL());
    EXPECT_EQ(none.points, nullptr);
    EXPECT_EQ(none.GetLineType(), klLTBezier);
}

TEST(PointRunCore, ShallowCopyDeepAssignment) {
    auto v = Pts({{0, 0}, {1, 0}, {2, 0}});
    keloPoints a(v, klLT3PArc);
    {
        keloPoints view(a);  // shares the array
        EXPECT_EQ(view.points, a.points);
        view[1].y = 5;
        EXPECT_EQ(a[1].y, 5);
        view.Detach();
    }
    keloPoints b;
    b = a;  // deep
    EXPECT_NE(b.points, a.points);
    EXPECT_TRUE(b == a);
    b[0].x = 9;
    EXPECT_EQ(a[0].x, 0);
    // Assigning from a view of itself must not read freed memory.
    keloPoints self_view(b);
    b = self_view;
    self_view.Detach();
    EXPECT_EQ(b[0].x, 9);
    EXPECT_EQ(b.GetCount(), 3);
}

TEST(PointRunCore, AttachDetachDelete) {
    auto* raw = new Point3D[2]{{0, 0, 0}, {1, 1, 0}};
    keloPoints p;
    p.Attach(2, raw, klLTBezier);
    EXPECT_EQ(p.points, raw);
    EXPECT_EQ(p.GetLineType(), klLTBezier);
    Point3D* back = p.Detach();
    EXPECT_EQ(back, raw);
    EXPECT_TRUE(p.IsNulL());
    EXPECT_EQ(p.GetLineType(), klLTPolyline);
    p.Attach(2, back, klLTPolyline);  // freed by p's destructor
    p.DeleteContent();
    EXPECT_EQ(p.points, nullptr);
}

TEST(PointRunCore, AccessOutOfRange) {
    keloPoints p(Pts({{0, 0}, {1, 0}, {2, 1}}), klLTPolyline);
    keloPoint out(7, 7, 7);
    for (int i : {-1, 3, 1000}) {
        EXPECT_EQ(p.GetOriginalPointAt(i), nullptr);
        EXPECT_EQ(p.GetPointAt(out, i), 0);
        EXPECT_EQ(p.GetPointAt(i), nullptr);
        EXPECT_EQ(p.ReplacePointAt({0, 0, 0}, i), 0);
        EXPECT_EQ(p.DeletePointAt(i), 0);
    }
    EXPECT_EQ(out.x, 7);
    keloPoint* q = p.GetPointAt(2);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->y, 1);
    delete q;
    EXPECT_EQ(p.GetPointIndex({2 + 5e-9, 1, 0}), 2);
    EXPECT_EQ(p.GetPointIndex({2 + 5e-8, 1, 0}), -1);
}

TEST(PointRunCore, InsertDeleteAppend) {
    keloPoints p(Pts({{0, 0}, {1, 0}, {2, 0}}), klLTPolyline);
    EXPECT_EQ(p.InsertPointAt({9, 9, 0}, 1000), 1);
    EXPECT_EQ(p.GetCount(), 4);
    EXPECT_EQ(p[3].x, 9);
    EXPECT_EQ(p.InsertPointAt({-1, 0, 0}, 0), 1);
    EXPECT_EQ(p[0].x, -1);
    EXPECT_EQ(p[1].x, 0);
    EXPECT_EQ(p.InsertPointAt(p[2], 2), 1);  // inserting a point of itself
    EXPECT_EQ(p[2].x, 1);
    EXPECT_EQ(p[3].x, 1);
    EXPECT_EQ(p.AddPoints(2, p.points), 1);
    EXPECT_EQ(p.GetCount(), 8);
    EXPECT_EQ(p[6].x, -1);
    while (p.GetCount() > 0) EXPECT_EQ(p.DeletePointAt(0), 1);
    EXPECT_EQ(p.points, nullptr);
    EXPECT_EQ(p.AddPoint({3, 4, 5}), 1);
    EXPECT_EQ(p.GetCount(), 1);
}

TEST(PointRunCore, ArcDangleFloor) {
    double old = SetArcDangle(0.0);
    EXPECT_EQ(GetArcDangle(), 0.001);
    EXPECT_EQ(SetArcDangle(2.5), 0.001);
    EXPECT_EQ(GetArcDangle(), 2.5);
    SetArcDangle(old);
}
