// Type promotion of the geometry object: every insertion rule, the flat numbering of points,
// parts and polygons after each insertion and deletion, and out-of-range indexes.
#include <gtest/gtest.h>

#include <vector>

#include "geometry/geometry_object.h"

using namespace kelo;

namespace {

keloParts Line(double x0, double y0, double x1, double y1) {
    return keloParts(std::vector<Point3D>{{x0, y0, 0}, {x1, y1, 0}}, klLTPolyline);
}

keloParts Square(double x, double y, double s) {
    return keloParts(std::vector<Point3D>{{x, y, 0}, {x + s, y, 0}, {x + s, y + s, 0}, {x, y + s, 0}, {x, y, 0}},
                     klLTPolyline);
}

keloPolygon SquarePolygon(double x, double y, double s) { return keloPolygon(Square(x, y, s)); }

struct Shape {
    int type, points, parts, polygons;
};

void ExpectShape(const GM_Object& g, Shape s, const char* step) {
    SCOPED_TRACE(step);
    EXPECT_EQ(g.GetType(), s.type);
    EXPECT_EQ(g.GetPointCount(), s.points);
    EXPECT_EQ(g.GetPartsCount(), s.parts);
    EXPECT_EQ(g.GetPolygonCount(), s.polygons);
    // The views must agree with the counts: the last one exists, the next one does not.
    if (s.parts) {
        EXPECT_NE(g.GetOriginalPartsAt(nullptr, s.parts - 1), nullptr);
    }
    EXPECT_EQ(g.GetOriginalPartsAt(nullptr, s.parts), nullptr);
    if (s.points) {
        EXPECT_NE(g.GetPointAt(s.points - 1), nullptr);
    }
    EXPECT_EQ(g.GetPointAt(s.points), nullptr);
    EXPECT_EQ(g.GetOriginalPolygonAt(s.polygons), nullptr);
}

// One row of the promotion list: a starting object, one insertion, the resulting shape.
struct Row {
    const char* name;
    void (*start)(GM_Object&);
    int (*insert)(GM_Object&);
    Shape after;
};

void Empty(GM_Object&) {}
void OnePoint(GM_Object& g) { g.Create(Point3D{1, 1, 0}); }
void TwoPoints(GM_Object& g) {
    g.InsertPointAt({1, 1, 0}, -1);
    g.InsertPointAt({2, 2, 0}, -1);
}
void OneLine(GM_Object& g) { g.Create(Line(0, 0, 1, 0), 0); }
void TwoLines(GM_Object& g) {
    g.InsertPartsAt(Line(0, 0, 1, 0), -1, 0);
    g.InsertPartsAt(Line(5, 5, 6, 5), -1, 0);
}
void OnePolygon(GM_Object& g) { g.Create(SquarePolygon(0, 0, 10)); }
void TwoPolygons(GM_Object& g) {
    g.InsertPolygon(SquarePolygon(0, 0, 10));
    g.InsertPolygon(SquarePolygon(20, 0, 10));
}

int AddPoint(GM_Object& g) { return g.InsertPointAt({3, 3, 0}, -1); }
int AddLine(GM_Object& g) { return g.InsertPartsAt(Line(7, 7, 8, 8), -1, 0); }
int AddRing(GM_Object& g) { return g.InsertPartsAt(Square(2, 2, 1), -1, 1); }
int AddPolygon(GM_Object& g) { return g.InsertPolygon(SquarePolygon(40, 0, 5)); }

const Row kRows[] = {
    {"point into empty", Empty, AddPoint, {1, 1, 0, 0}},
    {"point into point", OnePoint, AddPoint, {4, 2, 0, 0}},
    {"point into multipoint", TwoPoints, AddPoint, {4, 3, 0, 0}},
    {"point into line", OneLine, AddPoint, {7, 1, 1, 0}},
    {"point into polygon", OnePolygon, AddPoint, {7, 1, 1, 1}},
    {"point into multiline", TwoLines, AddPoint, {7, 1, 2, 0}},
    {"line into empty", Empty, AddLine, {2, 0, 1, 0}},
    {"line into line", OneLine, AddLine, {5, 0, 2, 0}},
    {"line into multiline", TwoLines, AddLine, {5, 0, 3, 0}},
    {"line into point", OnePoint, AddLine, {7, 1, 1, 0}},
    {"line into polygon", OnePolygon, AddLine, {7, 0, 2, 1}},
    {"line into multipolygon", TwoPolygons, AddLine, {7, 0, 3, 2}},
    {"ring into empty", Empty, AddRing, {3, 0, 1, 1}},
    {"ring into polygon", OnePolygon, AddRing, {3, 0, 2, 1}},
    {"ring into multipolygon", TwoPolygons, AddRing, {6, 0, 3, 2}},
    {"ring into line", OneLine, AddRing, {7, 0, 2, 1}},
    {"ring into multipoint", TwoPoints, AddRing, {7, 2, 1, 1}},
    {"polygon into empty", Empty, AddPolygon, {3, 0, 1, 1}},
    {"polygon into polygon", OnePolygon, AddPolygon, {6, 0, 2, 2}},
    {"polygon into multipolygon", TwoPolygons, AddPolygon, {6, 0, 3, 3}},
    {"polygon into point", OnePoint, AddPolygon, {7, 1, 1, 1}},
    {"polygon into multiline", TwoLines, AddPolygon, {7, 0, 3, 1}},
};

TEST(GmObjectPromotion, EveryRowThenBackByDeletion) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        GM_Object g;
        row.start(g);
        const int pointsBefore = g.GetPointCount(), partsBefore = g.GetPartsCount();
        ASSERT_EQ(row.insert(g), 1);
        ExpectShape(g, row.after, "after insertion");
        EXPECT_TRUE(g.IsTypeNormal());
        // Deleting what was added restores the counts (the type falls back to the simplest one).
        if (g.GetPointCount() > pointsBefore) {
            ASSERT_EQ(g.DeletePointAt(g.GetPointCount() - 1), 1);
        } else if (row.insert == AddPolygon) {
            ASSERT_EQ(g.DeletePolygonAt(g.GetPolygonCount() - 1), 1);
        } else if (row.insert == AddRing && (row.after.type == 3 || row.after.type == 6) && partsBefore > 0) {
            // A hole went into an existing polygon: find it by its hole flag.
            int hole = -1;
            for (int i = 0; i < g.GetPartsCount(); ++i)
                if (g.IsHolePartsAt(i)) hole = i;
            ASSERT_GE(hole, 0);
            ASSERT_EQ(g.DeletePartsAt(hole), 1);
        } else {
            ASSERT_EQ(g.DeletePartsAt(g.GetPartsCount() - 1), 1);
        }
        EXPECT_EQ(g.GetPointCount(), pointsBefore);
        EXPECT_EQ(g.GetPartsCount(), partsBefore);
        EXPECT_TRUE(g.IsTypeNormal());
    }
}

TEST(GmObjectPromotion, PointOrderFollowsTheIndex) {
    GM_Object g;
    g.InsertPointAt({1, 0, 0}, 0);
    g.InsertPointAt({0, 0, 0}, 0);   // before the first
    g.InsertPointAt({3, 0, 0}, 99);  // past the end appends
    g.InsertPointAt({2, 0, 0}, 2);   // between
    ASSERT_EQ(g.GetType(), wkbMultiPoint);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(g.GetPointAt(i)->x, i);
    EXPECT_EQ(g.InsertPointAt({9, 9, 0}, -2), 0);
    EXPECT_EQ(g.GetPointCount(), 4);
    EXPECT_EQ(g.DeletePointAt(4), 0);
    EXPECT_EQ(g.DeletePointAt(-1), 0);
    EXPECT_EQ(g.ReplacePointAt({5, 5, 5}, 4), 0);
    // Down to one point the object is a plain point again, then empty.
    g.DeletePointAt(0);
    g.DeletePointAt(0);
    g.DeletePointAt(0);
    EXPECT_EQ(g.GetType(), wkbPoint);
    EXPECT_EQ(g.GetPointAt(0)->x, 3);
    g.DeletePointAt(0);
    EXPECT_EQ(g.GetType(), wkbEmpty);
}

TEST(GmObjectPromotion, FlatNumberingAcrossMembers) {
    // Multi-polygon with rings (2, 1, 3), then a line in front: numbering follows member order.
    GM_Object g;
    keloPolygon a = SquarePolygon(0, 0, 10);
    a.InsertRing(Square(1, 1, 2), 1);
    keloPolygon b = SquarePolygon(20, 0, 10);
    keloPolygon c = SquarePolygon(40, 0, 10);
    c.InsertRing(Square(41, 1, 2), 1);
    c.InsertRing(Square(45, 5, 2), 1);
    g.InsertPolygon(a);
    g.InsertPolygon(b);
    g.InsertPolygon(c);
    ASSERT_EQ(g.GetType(), wkbMultiPolygon);
    EXPECT_EQ(g.GetPartsCount(), 6);
    const int holes[6] = {0, 1, 0, 0, 1, 1};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(g.IsHolePartsAt(i), holes[i]) << i;
    int ring = -1;
    EXPECT_EQ(g.GetOriginalPartsAt(&ring, 2)->GetBox().minx, 20);
    EXPECT_EQ(ring, 1);

    // A ring inserted at flat index 4 lands as a hole of the third polygon.
    ASSERT_EQ(g.InsertPartsAt(Square(48, 1, 1), 4, 1), 1);
    EXPECT_EQ(g.GetType(), wkbMultiPolygon);
    EXPECT_EQ(g.GetOriginalPolygonAt(2)->GetRingsCount(), 4);
    EXPECT_EQ(g.GetOriginalPartsAt(nullptr, 4)->GetBox().minx, 48);

    // A line inserted at flat index 0 goes in front of every polygon; the object becomes a collection.
    ASSERT_EQ(g.InsertPartsAt(Line(-5, 0, -4, 0), 0, 0), 1);
    EXPECT_EQ(g.GetType(), wkbGeometryCollection);
    EXPECT_EQ(g.GetPartsCount(), 8);
    EXPECT_EQ(g.IsHolePartsAt(0), 0);
    EXPECT_EQ(g.GetOriginalPartsAt(nullptr, 0)->GetBox().minx, -5);
    EXPECT_EQ(g.IsHolePartsAt(2), 1);
    EXPECT_EQ(g.GetPolygonCount(), 3);
    EXPECT_EQ(g.dimension(), 2);
    EXPECT_TRUE(g.IsComplexObject());

    // Deleting the outer ring of the first polygon leaves its hole as the outer ring.
    ASSERT_EQ(g.DeletePartsAt(1), 1);
    EXPECT_EQ(g.GetPartsCount(), 7);
    EXPECT_EQ(g.GetPolygonCount(), 3);
    EXPECT_EQ(g.IsHolePartsAt(1), 0);
    EXPECT_DOUBLE_EQ(g.GetOriginalPolygonAt(0)->GetArea(), 4.0);
    EXPECT_EQ(g.DeletePartsAt(7), 0);
    EXPECT_EQ(g.DeletePartsAt(-1), 0);
    EXPECT_EQ(g.InsertPartsAt(Line(0, 0, 1, 1), -2, 0), 0);

    // Deleting the line leaves only polygons: the simplest type is the multi-polygon.
    ASSERT_EQ(g.DeletePartsAt(0), 1);
    EXPECT_EQ(g.GetType(), wkbMultiPolygon);
    EXPECT_EQ(g.DeletePolygonAt(3), 0);
    ASSERT_EQ(g.DeletePolygonAt(0), 1);
    ASSERT_EQ(g.DeletePolygonAt(0), 1);
    EXPECT_EQ(g.GetType(), wkbPolygon);
    EXPECT_EQ(g.GetPartsCount(), 4);
}

TEST(GmObjectPromotion, ElementKindsAndTypeNormalizing) {
    GM_Object g(Point3D{0, 0, 0});
    g.InsertPartsAt(Line(0, 0, 1, 0), -1, 0);
    EXPECT_EQ(g.GetType(), wkbGeometryCollection);
    EXPECT_EQ(g.GetElementsType(), 3);
    EXPECT_TRUE(g.IsComplexObject());
    EXPECT_EQ(g.dimension(), 1);
    EXPECT_EQ(g.coordinateDimension(), 2);

    // A multi-line of one line is not normal and becomes the line itself.
    GM_Object m;
    const keloParts src = Line(0, 0, 3, 4);
    LineString* one = DupWKBLineString(&src);
    m.type = wkbMultiLineString;
    m.multiLine = WKBMultiLineString{1, new LineString[1]{*one}};
    delete one;  // the record now owns the parts
    EXPECT_FALSE(m.IsTypeNormal());
    m.TypeNormalizing();
    EXPECT_EQ(m.GetType(), wkbLineString);
    EXPECT_DOUBLE_EQ(m.GetPerimeter(), 5.0);

    // A collection of two points only becomes a multi-point.
    GM_Object c;
    c.InsertPartsAt(Line(0, 0, 1, 0), -1, 0);
    c.InsertPointAt({1, 1, 0}, -1);
    c.InsertPointAt({2, 2, 0}, -1);
    c.DeletePartsAt(0);
    EXPECT_EQ(c.GetType(), wkbMultiPoint);
}

TEST(GmObjectPromotion, InvalidTypeCodesNeverCrash) {
    for (int code : {-1, 10, 77, 1 << 20}) {
        GM_Object g;
        g.InsertPointAt({1, 2, 3}, -1);
        g.SetType(code);
        EXPECT_FALSE(g.IsTypeNormal());
        EXPECT_EQ(g.GetPointCount(), 0);
        EXPECT_EQ(g.GetPartsCount(), 0);
        EXPECT_EQ(g.GetPolygonCount(), 0);
        EXPECT_EQ(g.InsertPointAt({0, 0, 0}, -1), 0);
        EXPECT_EQ(g.InsertPartsAt(Line(0, 0, 1, 1), -1, 0), 0);
        EXPECT_EQ(g.InsertPolygon(SquarePolygon(0, 0, 1)), 0);
        EXPECT_EQ(g.DeletePointAt(0), 0);
        EXPECT_TRUE(g.mbRegion().IsEmpty());
        EXPECT_EQ(g.GetArea(), 0.0);
        EXPECT_EQ(g.convex_Hull(), nullptr);
        EXPECT_EQ(CalWkbGeomSize(&g), 0u);
        Point3D r = g.representativePoint();
        EXPECT_EQ(r.z, kUnknownZ);
        GM_Object copy(g);  // copying an unknown type must not read the union either
        // Every other family of operations must treat the unknown code as holding nothing.
        std::vector<GM_Object*> pieces;
        EXPECT_EQ(g.Explode2Line(pieces), 0);
        EXPECT_EQ(g.Polyline2Polygon(), 0);
        EXPECT_EQ(g.Polygon2Polyline(), 0);
        EXPECT_EQ(g.GetPerimeter(), 0.0);
        EXPECT_EQ(g.IsNormal(1e-6, 0x1FF), 1);
        EXPECT_EQ(g.centroid().z, kUnknownZ);
        EXPECT_EQ(g.Change2Point(), 0);
        EXPECT_EQ(g.PutGMInOrder(), 0);
        EXPECT_EQ(g.CloseGeom(), 0);
        EXPECT_EQ(g.GetElementsType(), 0);
        EXPECT_EQ(g.dimension(), 0);
        EXPECT_EQ(g.IsDirectPoint(), false);
        EXPECT_EQ(g.SearchOverlayPoint({1, 2, 0}, 1), -1);
        GM_Object other(Point3D{0, 0, 0});
        EXPECT_EQ(g.Combine(&other), 0);
        EXPECT_EQ(other.Combine(&g), 0);
        g.TypeNormalizing();
        EXPECT_EQ(g.GetType(), wkbEmpty);
        g.SetType(code);
        g.DeleteContent();
        EXPECT_EQ(g.GetType(), wkbEmpty);
    }
}

}  // namespace
