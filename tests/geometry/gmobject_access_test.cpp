// Geometry object: searches, vertex edits through the flat part numbering, point edits by address,
// vertex measures across parts and whole-object transforms.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geometry/geometry_object.h"

using namespace kelo;

namespace {

keloParts Poly(std::vector<Point3D> pts) { return keloParts(pts, klLTPolyline); }

// Point (50, 50); line (0,0)-(10,0)-(10,10); square ring 20..30.
GM_Object Scene() {
    GM_Object g;
    g.InsertPointAt({50, 50, 0}, -1);
    g.InsertPartsAt(Poly({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}}), -1, 0);
    g.InsertPolygon(keloPolygon(Poly({{20, 20, 0}, {30, 20, 0}, {30, 30, 0}, {20, 30, 0}, {20, 20, 0}})));
    return g;
}

TEST(GmObjectAccess, Searches) {
    const GM_Object g = Scene();
    struct Row {
        Point3D p;
        int part, vertex, seg;
    };
    const Row rows[] = {{{9, 0.5, 0}, 0, 1, 0}, {{11, 6, 0}, 0, 2, 1}, {{28, 20.5, 0}, 1, 1, 0}, {{19, 26, 0}, 1, 3, 3}};
    for (const Row& r : rows) {
        int part = -1, v = -1, seg = -1;
        double d = -1;
        ASSERT_EQ(g.SearchNearVertex(r.p, &part, &v, &d), 1);
        EXPECT_EQ(part, r.part);
        EXPECT_EQ(v, r.vertex);
        ASSERT_EQ(g.SearchNearSegment(r.p, &part, &seg, &d), 1);
        EXPECT_EQ(part, r.part);
        EXPECT_EQ(seg, r.seg);
    }
    EXPECT_EQ(g.SearchOverlayPoint({50, 50.0000001, 0}, 1e-3), 0);
    EXPECT_EQ(g.SearchOverlayPoint({10, 0, 0}, 1e-3), 1 + 1);  // after the one point member
    EXPECT_EQ(g.SearchOverlayPoint({40, 40, 0}, 1e-3), -1);
    EXPECT_EQ(g.FindNearestPath({0, 5, 0}), 0);
    int part = -1;
    EXPECT_EQ(g.FindPathState({10, 10, 0}, &part), 2);
    EXPECT_EQ(part, 0);
    EXPECT_EQ(g.IsEnd({0, 0, 0}), 1);
    EXPECT_EQ(g.IsEnd({10, 0, 0}), 0);
    std::vector<Point3D> cross;
    EXPECT_EQ(g.CrossWithLine({5, -5, 0}, {5, 25, 0}, cross), 1);
    EXPECT_EQ(g.CrossWithLine({25, 0, 0}, {25, 40, 0}, cross), 2);
    Point3D foot{};
    ASSERT_TRUE(g.VertPoint({12, 5, 0}, foot));
    EXPECT_DOUBLE_EQ(foot.x, 10);
    EXPECT_DOUBLE_EQ(foot.y, 5);
    const Point3D corner = g.GetCornerPoint(3);  // keypad 3 read from the top row: upper right
    EXPECT_EQ(corner.x, 50);
    EXPECT_EQ(g.GetCornerPoint(7).x, 0);  // lower left
    std::vector<SearchSegResult> near;
    EXPECT_EQ(g.SearchNearestLine(near, {25, 19, 0}, 5, 1), 1);
    ASSERT_EQ(near.size(), 1u);
    EXPECT_EQ(near[0].objectIndex, 1);
}

TEST(GmObjectAccess, VertexAndPointEdits) {
    GM_Object g = Scene();
    EXPECT_EQ(g.InsertVertexAt(0, 1, {5, -1, 0}), 1);
    EXPECT_EQ(g.GetOriginalPartsAt(nullptr, 0)->GetVertexCount(), 4);
    EXPECT_EQ(g.GetVertexAt(0, 1)->x, 5);
    EXPECT_EQ(g.InsertVertexAt(0, 99, {10, 20, 0}), 1);  // past the end appends
    EXPECT_EQ(g.GetVertexAt(0, 4)->y, 20);
    EXPECT_EQ(g.InsertVertexAt(0, -5, {0, 0, 0}), 0);
    EXPECT_EQ(g.InsertVertexAt(7, 0, {0, 0, 0}), 0);
    EXPECT_EQ(g.DeleteVertexAt(0, 4), 1);
    EXPECT_EQ(g.ReplaceVertexAt(0, 1, {5, -2, 0}), 1);
    EXPECT_EQ(g.GetVertexAt(0, 1)->y, -2);

    Point3D* stored = g.GetVertexAt(0, 1);
    EXPECT_EQ(g.ModifyPoint(stored, {6, -3, 0}), 1);
    EXPECT_EQ(g.GetVertexAt(0, 1)->x, 6);
    const Point3D outside{0, 0, 0};
    EXPECT_EQ(g.ModifyPoint(&outside, {1, 1, 0}), 0);
    EXPECT_EQ(g.DeletePoint(g.GetVertexAt(0, 1)), 1);
    EXPECT_EQ(g.GetOriginalPartsAt(nullptr, 0)->GetVertexCount(), 3);
    EXPECT_EQ(g.DeletePoint(g.GetPointAt(0)), 1);
    EXPECT_EQ(g.GetPointCount(), 0);
    EXPECT_EQ(g.GetType(), wkbGeometryCollection);  // a line and a polygon remain

    EXPECT_FALSE(g.isClosed());
    EXPECT_EQ(g.CloseGeom(), 1);
    EXPECT_TRUE(g.isClosed());
    const int vertices = g.GetOriginalPartsAt(nullptr, 0)->GetVertexCount() + g.GetOriginalPartsAt(nullptr, 1)->GetVertexCount();
    EXPECT_EQ(g.Change2Point(), 1);
    EXPECT_EQ(g.GetType(), wkbMultiPoint);
    EXPECT_EQ(g.GetPointCount(), vertices);
}

TEST(GmObjectAccess, MeasuresAcrossPartsAndTransforms) {
    GM_Object g = Scene();
    EXPECT_EQ(g.FindNoMarkPos(), 0);
    ASSERT_TRUE(g.SetMIV(7, 42));
    int32_t v = 0;
    ASSERT_NE(g.GetMIV(7, v), nullptr);
    EXPECT_EQ(v, 42);
    ASSERT_TRUE(g.SetMIV(7, 43));  // updated where it is, not added twice
    EXPECT_EQ(g.ClearMV(0.0), 1);
    EXPECT_EQ(g.GetMIV(7, v), nullptr);

    const double area = g.GetArea();
    // Compared with the point functions themselves: the object must apply them to every point.
    Point3D p{50, 50, 0}, q{20, 30, 0};
    _RotateKeloPoint(p, {0, 0, 0}, M_PI / 3);
    _RotateKeloPoint(q, {0, 0, 0}, M_PI / 3);
    g.RotateAllPoints({0, 0, 0}, M_PI / 3);
    EXPECT_NEAR(g.GetPointAt(0)->x, p.x, 1e-9);
    EXPECT_NEAR(g.GetVertexAt(1, 3)->y, q.y, 1e-9);
    EXPECT_NEAR(g.GetArea(), area, 1e-9);
    _MirrorKeloPoint(p, {0, 0, 0}, {0, 1, 0});
    g.MirrorAllPoints({0, 0, 0}, {0, 1, 0});
    EXPECT_NEAR(g.GetPointAt(0)->x, p.x, 1e-9);
    EXPECT_NEAR(std::fabs(g.GetArea()), area, 1e-9);
    EXPECT_EQ(g.OffsetAllPoints({1, 1, 0}), 1 + 3 + 5);
    g.transform(0, 0, Point3D{0, 0, 0}, 0, 2, 2);
    EXPECT_NEAR(std::fabs(g.GetArea()), 4 * area, 1e-6);
}

}  // namespace
