#include <gtest/gtest.h>

#include "KeloGeomNet.h"

using namespace kelo;

TEST(BoxBasics, EmptyAddAndConstruction) {
    Box b;
    EXPECT_TRUE(b.IsEmpty());
    double cx = -7, cy = -7;
    EXPECT_EQ(b.GetCenter(cx, cy), 0);
    EXPECT_EQ(cx, -7);  // outputs untouched
    b.add(3, 4);
    EXPECT_FALSE(b.IsEmpty());
    EXPECT_EQ(b.min_x(), 3);
    EXPECT_EQ(b.max_x(), 3);
    EXPECT_EQ(b.min_y(), 4);
    EXPECT_EQ(b.max_y(), 4);

    Box c(5, 1, 2, 7);
    EXPECT_EQ(c.min_x(), 2);
    EXPECT_EQ(c.min_y(), 1);
    EXPECT_EQ(c.max_x(), 5);
    EXPECT_EQ(c.max_y(), 7);
    EXPECT_EQ(c.minz, 0);
    EXPECT_EQ(c.maxz, 0);

    Box before = c;
    c.add(Box());
    EXPECT_EQ(c.min_x(), before.min_x());
    EXPECT_EQ(c.max_y(), before.max_y());
    c.add(Box(-1, 0, 0, 10));
    EXPECT_EQ(c.min_x(), -1);
    EXPECT_EQ(c.min_y(), 0);
    EXPECT_EQ(c.max_y(), 10);
    c.min_x() = -3;  // accessors are modifiable
    EXPECT_EQ(c.minx, -3);
}

TEST(BoxBasics, EmptinessRules) {
    Box e, b(0, 0, 1, 1);
    EXPECT_EQ(e.contain(1e300, -1e300), 1);  // an empty box accepts every point
    EXPECT_EQ(e.contain(b), 0);
    EXPECT_EQ(b.contain(e), 0);
    EXPECT_EQ(e.intersect(b), 0);
    EXPECT_EQ(b.intersect(e), 0);
    EXPECT_TRUE(b.GetIntersect(e).IsEmpty());
    EXPECT_EQ(IsBoxIntersect(e, b, 1), 0);
    Box l;
    l.large();
    EXPECT_EQ(l.contain(b), 1);
    e.Offset(Point3D{1, 1, 0});
    e.InflateBox(5, 5);
    EXPECT_TRUE(e.IsEmpty());
    double w, h;
    EXPECT_EQ(e.GetSize(w, h), 0);
}

TEST(BoxBasics, ToleranceOfTests) {
    Box a(0, 0, 1, 1);
    EXPECT_EQ(a.intersect(Box(1 + 5e-9, 0, 2, 1)), 1);   // within 1e-8: touching counts
    EXPECT_EQ(a.intersect(Box(1 + 2e-8, 0, 2, 1)), 0);
    EXPECT_EQ(a.contain(1 + 5e-9, 0.5), 1);
    EXPECT_EQ(a.contain(1 + 2e-8, 0.5), 0);
    EXPECT_EQ(a.contain(Box(-5e-9, 0, 1, 1 + 5e-9)), 1);
    EXPECT_EQ(a.contain(Box(-2e-8, 0, 1, 1)), 0);
    EXPECT_EQ(IsBoxIntersect(a, Box(1.5, 0, 2, 1), 0.6), 1);
    EXPECT_EQ(IsBoxIntersect(a, Box(1.5, 0, 2, 1), 0.4), 0);
    Box g = a.GetIntersect(Box(0.5, -1, 3, 0.25));
    EXPECT_EQ(g.min_x(), 0.5);
    EXPECT_EQ(g.min_y(), 0);
    EXPECT_EQ(g.max_x(), 1);
    EXPECT_EQ(g.max_y(), 0.25);
}

TEST(BoxBasics, CornersAndResizing) {
    Box b(0, 0, 4, 2);
    struct { int i; double x, y; } corners[] = {
        {1, 0, 2}, {2, 2, 2}, {3, 4, 2}, {4, 0, 1}, {5, 2, 1}, {6, 4, 1}, {7, 0, 0}, {8, 2, 0}, {9, 4, 0},
        {0, 0, 2}, {10, 0, 2}, {-3, 0, 2}};
    for (auto& c : corners) {
        Point3D p = b.GetCorner(c.i);
        EXPECT_EQ(p.x, c.x) << c.i;
        EXPECT_EQ(p.y, c.y) << c.i;
        EXPECT_EQ(p.z, 0) << c.i;
    }
    b.InflateBox(1, -0.5);
    EXPECT_EQ(b.min_x(), -1);
    EXPECT_EQ(b.max_x(), 5);
    EXPECT_EQ(b.min_y(), 0.5);
    EXPECT_EQ(b.max_y(), 1.5);
    b.Offset(Point3D{10, 20, 30});
    EXPECT_EQ(b.min_x(), 9);
    EXPECT_EQ(b.max_y(), 21.5);
    double x0, y0, x1, y1;
    ASSERT_EQ(b.GetBox(x0, y0, x1, y1), 1);
    EXPECT_EQ(x1, 15);
}

TEST(BoxBasics, CrossOfBoxes) {
    Box wide(0, 4, 10, 6), tall(4, 0, 6, 10);
    EXPECT_EQ(IsBoxCross(wide, tall, 0), 1);
    EXPECT_EQ(IsBoxCross(tall, wide, 0), 1);
    EXPECT_EQ(IsBoxCross(wide, tall, 4.5), 0);    // tolerance eats the margins
    EXPECT_EQ(IsBoxCross(wide, Box(4, 5, 6, 10), 0), 0);  // only spans upwards
    EXPECT_EQ(IsBoxCross(wide, wide, 0), 0);
}
