// Geometry object: construction from bytes, ellipsoidal measures against GeographicLib, conversions,
// directed points, measures of size and the documented message of the unfinished normalising.
#include <gtest/gtest.h>

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/PolygonArea.hpp>

#include <cmath>
#include <string>
#include <vector>

#include "companion/gbk.h"
#include "companion/ui.h"
#include "geometry/geometry_object.h"

using namespace kelo;

namespace {

keloParts Poly(std::vector<Point3D> pts) { return keloParts(pts, klLTPolyline); }

keloParts Cell(double x, double y, double w, double h) {
    return Poly({{x, y, 0}, {x + w, y, 0}, {x + w, y + h, 0}, {x, y + h, 0}, {x, y, 0}});
}

GM_Object Mixed() {
    GM_Object g;
    g.InsertPointAt({1, 2, 3}, -1);
    g.InsertPartsAt(keloParts(std::vector<Point3D>{{0, 0, 0}, {1, 1, 0}, {2, 0, 0}}, klLT3PArc), -1, 0);
    keloPolygon poly(Cell(10, 10, 4, 4));
    poly.InsertRing(Cell(11, 11, 1, 1), 1);
    g.InsertPolygon(poly);
    return g;
}

TEST(GmObjectBytes, ReadsWhatWasWrittenAndRefusesTruncation) {
    const GM_Object g = Mixed();
    const size_t n = CalWkbGeomSize(&g);
    ASSERT_GT(n, 0u);
    std::vector<unsigned char> bytes(n);
    ASSERT_EQ(WkbGeom2Binary(bytes.data(), &g), 1);

    GM_Object a(bytes.data());
    EXPECT_EQ(a.GetType(), wkbGeometryCollection);
    EXPECT_EQ(a.GetPointCount(), 1);
    EXPECT_EQ(a.GetPartsCount(), 3);
    EXPECT_DOUBLE_EQ(a.GetArea(), 15.0);
    std::vector<unsigned char> again(n);
    WkbGeom2Binary(again.data(), &a);
    EXPECT_EQ(again, bytes);

    GM_Object b;
    for (size_t len = 0; len < n; ++len) {
        // Only the first len bytes exist: the rest of the buffer is another allocation.
        std::vector<unsigned char> part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(len));
        ASSERT_EQ(b.Create(part.data(), len), 0) << len;
        ASSERT_EQ(b.GetType(), wkbEmpty);
    }
    std::vector<unsigned char> longer = bytes;
    longer.push_back(0);
    EXPECT_EQ(b.Create(longer.data(), longer.size()), 0);
    ASSERT_EQ(b.Create(bytes.data(), n), 1);
    EXPECT_EQ(b.GetPartsCount(), 3);
    EXPECT_EQ(b.Create(static_cast<const unsigned char*>(nullptr), 4), 0);
}

double GeographicLibArea(const std::vector<std::pair<double, double>>& lonlat, double a, double b) {
    const GeographicLib::Geodesic geod(a, (a - b) / a);
    GeographicLib::PolygonArea pa(geod);
    for (const auto& [lon, lat] : lonlat) pa.AddPoint(lat, lon);
    double perimeter = 0, area = 0;
    pa.Compute(false, true, perimeter, area);
    return std::fabs(area);
}

TEST(GmObjectEllipsoid, EquatorialCellMatchesGeographicLib) {
    struct Row {
        int code;
        double a, b;
    };
    const Row rows[] = {{0, 6378140.0, 6356755.28815753},
                        {80, 6378140.0, 6356755.28815753},
                        {1, 6378245.0, 6356863.01877305},
                        {54, 6378245.0, 6356863.01877305},
                        {2000, 6378137.0, 6356752.31414036}};
    const std::vector<std::pair<double, double>> cell = {{100, 0}, {101, 0}, {101, 1}, {100, 1}};
    const GM_Object g(keloPolygon(Cell(100, 0, 1, 1)));
    for (const Row& r : rows) {
        SCOPED_TRACE(r.code);
        const double expect = GeographicLibArea(cell, r.a, r.b);
        EXPECT_NEAR(g.GetArea_Ellipse(0, 0, r.code, 1), expect, 1e-3 * expect);
        // A non-zero offset takes the other path, which passes geographic points as they are.
        EXPECT_NEAR(g.GetArea_Ellipse(1, 0, r.code, 1), expect, 1e-3 * expect);
    }
    // Holes are subtracted.
    keloPolygon holed(Cell(100, 0, 1, 1));
    holed.InsertRing(Cell(100.25, 0.25, 0.5, 0.5), 1);
    const GM_Object h(holed);
    const double hole = GeographicLibArea({{100.25, 0.25}, {100.75, 0.25}, {100.75, 0.75}, {100.25, 0.75}}, 6378140.0,
                                          6356755.28815753);
    const double full = GeographicLibArea(cell, 6378140.0, 6356755.28815753);
    EXPECT_NEAR(h.GetArea_Ellipse(0, 0, 0, 1), full - hole, 1e-3 * full);
    // With flag 0 and the raw codes the points are planar.
    EXPECT_NEAR(h.GetArea_Ellipse(0, 0, 0, 0), 0.75, 1e-12);
    EXPECT_EQ(GM_Object(Point3D{1, 1, 0}).GetArea_Ellipse(0, 0, 0, 1), 0.0);
}

TEST(GmObjectEllipsoid, GaussSquareNearTheCentralMeridianKeepsItsArea) {
    // x is taken as northing and y as easting; scale is 1 on the central meridian.
    const GM_Object g(keloPolygon(Cell(3000000, 0, 1000, 1000)));
    EXPECT_NEAR(g.GetArea_Ellipse(1, 0, 1, 0), 1e6, 1e-3 * 1e6);
}

TEST(GmObjectEllipsoid, PerimeterOfTheCellMatchesGeographicLib) {
    const GeographicLib::Geodesic geod(6378245.0, (6378245.0 - 6356863.01877305) / 6378245.0);
    const double c[5][2] = {{100, 0}, {101, 0}, {101, 1}, {100, 1}, {100, 0}};
    double expect = 0;
    for (int i = 0; i < 4; ++i) {
        double s = 0;
        geod.Inverse(c[i][1], c[i][0], c[i + 1][1], c[i + 1][0], s);
        expect += s;
    }
    const GM_Object g(keloPolygon(Cell(100, 0, 1, 1)));
    EXPECT_NEAR(g.GetPerimeter_Ellipse(0, 0, 54, 1), expect, 1e-6 * expect);
    EXPECT_EQ(GM_Object(Point3D{1, 1, 0}).GetPerimeter_Ellipse(0, 0, 54, 1), 0.0);
}

TEST(GmObjectMeasures, SizesBoxesAndHull) {
    const GM_Object g = Mixed();
    EXPECT_DOUBLE_EQ(g.GetArea(), 15.0);
    // Half circle of radius 1 plus both rings.
    EXPECT_NEAR(g.GetPerimeter(), M_PI + 16 + 4, 1e-9);
    std::vector<double> lengths;
    EXPECT_EQ(g.GetPointLength(lengths), 3);
    EXPECT_NEAR(lengths[0], M_PI, 1e-9);
    const Box box = g.mbRegion();
    EXPECT_DOUBLE_EQ(box.minx, 0);
    EXPECT_DOUBLE_EQ(box.maxy, 14);
    EXPECT_EQ(g.envelope().maxx, box.maxx);
    GM_Object* hull = g.convex_Hull();
    ASSERT_NE(hull, nullptr);
    EXPECT_EQ(hull->GetType(), wkbPolygon);
    EXPECT_GT(hull->GetArea(), 15.0);
    delete hull;
    EXPECT_EQ(g.GetElementsType(), 7);
    EXPECT_EQ(g.GetAuxPointCount(), 3 + 5 + 5);
    EXPECT_EQ(g.GetTotalPointCount(), 14);
}

TEST(GmObjectConversions, LinePolygonAndExplode) {
    GM_Object g(Poly({{0, 0, 0}, {4, 0, 0}, {4, 3, 0}, {0, 3, 0}}), 0);
    ASSERT_EQ(g.Polyline2Polygon(), 1);
    EXPECT_EQ(g.GetType(), wkbPolygon);
    EXPECT_EQ(g.GetOriginalPartsAt(nullptr, 0)->GetAuxPointCount(), 5);
    EXPECT_DOUBLE_EQ(std::fabs(g.GetArea()), 12.0);
    EXPECT_EQ(g.Polyline2Polygon(), 0);
    ASSERT_EQ(g.Polygon2Polyline(), 1);
    EXPECT_EQ(g.GetType(), wkbLineString);
    EXPECT_TRUE(g.isClosed());

    GM_Object two;
    two.InsertPartsAt(Poly({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}), -1, 0);
    two.InsertPartsAt(Poly({{5, 5, 0}, {6, 5, 0}, {6, 6, 0}}), -1, 0);
    ASSERT_EQ(two.Polyline2Polygon(), 1);
    EXPECT_EQ(two.GetType(), wkbMultiPolygon);
    EXPECT_EQ(two.GetPolygonCount(), 2);

    std::vector<GM_Object*> pieces;
    const int exploded = Mixed().Explode2Line(pieces);
    EXPECT_EQ(exploded, static_cast<int>(pieces.size()));
    EXPECT_EQ(pieces.size(), 1u + 4u + 4u);  // one arc, then four edges per ring
    for (GM_Object* p : pieces) {
        EXPECT_EQ(p->GetType(), wkbLineString);
        delete p;
    }
}

TEST(GmObjectConversions, CombineChainsTouchingLines) {
    GM_Object a(Poly({{0, 0, 0}, {1, 0, 0}}), 0);
    GM_Object b(Poly({{2, 0, 0}, {1, 0, 0}}), 0);  // touches a's end with its own end
    GM_Object c(Point3D{9, 9, 0});
    ASSERT_EQ(a.Combine(&b), 1);
    EXPECT_EQ(a.GetType(), wkbLineString);
    EXPECT_EQ(a.GetOriginalPartsAt(nullptr, 0)->GetVertexCount(), 3);
    EXPECT_DOUBLE_EQ(a.GetPerimeter(), 2.0);
    ASSERT_EQ(a.Combine(std::vector<GM_Object*>{&c}), 1);
    EXPECT_EQ(a.GetType(), wkbGeometryCollection);
    EXPECT_EQ(a.GetPointCount(), 1);
    EXPECT_EQ(a.Combine(static_cast<const GM_Object*>(nullptr)), 0);
}

TEST(GmObjectPoints, DirectedPointAndStretch) {
    GM_Object g;
    ASSERT_EQ(g.SetDirectPoint({3, 4, 7}, 0, 0), 1);
    ASSERT_TRUE(g.IsDirectPoint());
    double angle = -1;
    Point3D* p = g.GetOriginalDirectPoint(&angle);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->z, 7);
    EXPECT_DOUBLE_EQ(angle, 0);
    EXPECT_DOUBLE_EQ(g.collection.members[1].point.x, 4);
    float sx = 0, sy = 0;
    EXPECT_FALSE(g.GetDirectPointStretch(sx, sy));
    ASSERT_TRUE(g.SetDirectPointStretch(1.5f, 2.5f));
    ASSERT_TRUE(g.GetDirectPointStretch(sx, sy));
    EXPECT_EQ(sx, 1.5f);
    EXPECT_EQ(sy, 2.5f);
    // A new direction keeps the members' z (the stretch measures).
    g.SetDirectPoint({0, 0, 99}, M_PI / 2, 2);
    ASSERT_TRUE(g.GetDirectPointStretch(sx, sy));
    EXPECT_NEAR(g.collection.members[1].point.y, 2, 1e-12);
    EXPECT_EQ(g.representativePoint().x, 0);
    EXPECT_EQ(g.IsNormal(1e-8, 1), 1);
    EXPECT_EQ(GM_Object(Point3D{0, 0, 0}).GetOriginalDirectPoint(&angle), nullptr);
    EXPECT_EQ(GM_Object().representativePoint().z, kUnknownZ);
}

TEST(GmObjectPoints, CentroidPicksTheHeaviestCandidate) {
    GM_Object g;
    g.InsertPartsAt(Poly({{0, 0, 0}, {100, 0, 0}}), -1, 0);  // length 100 beats area 16
    keloPolygon small(Cell(10, 10, 4, 4));
    small.SetH(5);
    g.InsertPolygon(small);
    std::vector<double> weights;
    Point3D c{};
    ASSERT_EQ(g.centroid2(c, 0, &weights), 1);
    ASSERT_EQ(weights.size(), 2u);
    EXPECT_DOUBLE_EQ(weights[0], 16);
    EXPECT_DOUBLE_EQ(weights[1], 100);
    EXPECT_DOUBLE_EQ(c.y, 0);
    g.DeletePartsAt(0);  // the line came first, so it is part 0
    const Point3D p = g.centroid();
    EXPECT_GT(p.x, 10);
    EXPECT_LT(p.x, 14);
    EXPECT_EQ(p.z, 5);
    Point3D a{};
    ASSERT_EQ(g.centroid3(a), 1);
    EXPECT_DOUBLE_EQ(a.x, 12);
    EXPECT_DOUBLE_EQ(a.y, 12);
}

TEST(GmObjectValidity, FlagsAndTheUnfinishedNormalizing) {
    GM_Object g;
    g.InsertPointAt({0, 0, 0}, -1);
    g.InsertPointAt({0, 1e-9, NAN}, -1);
    EXPECT_EQ(g.IsNormal(1e-6, 0), 1);
    EXPECT_EQ(g.IsNormal(1e-6, 1), 1);
    EXPECT_EQ(g.IsNormal(1e-6, 2), 0);
    EXPECT_EQ(g.IsNormal(1e-6, 4), 0);
    EXPECT_EQ(g_lastAbnormalPoint.x, 0);
    g.ReplacePointAt({INFINITY, 0, 0}, 1);
    EXPECT_EQ(g.IsNormal(1e-6, 1), 0);

    static std::string shown;
    KeloUiHandler capture;
    capture.messageBox = [](void*, const char* text, uint32_t) {
        shown = text;
        return kIdOk;
    };
    KeloUiHandler previous = SetKeloUiHandler(&capture);
    const int pointsBefore = g.GetPointCount();
    g.Normalizing(1e-6, 255);
    SetKeloUiHandler(&previous);
    EXPECT_EQ(shown, KELO_GBK("尚未实现\n请使用 data neaten 函数"));
    EXPECT_EQ(g.GetPointCount(), pointsBefore);
}

TEST(GmObjectEntries, RelationsAndDistancesAnswerWhileBufferStaysOpen) {
    const GM_Object a = Mixed(), b(Point3D{1, 1, 0}), far(Point3D{1, 5, 0});
    Point3D p{}, q{};
    EXPECT_EQ(a.contains(&b), 1);  // the arc's middle point
    EXPECT_EQ(a.equal(&a, 1e-6), 1);
    EXPECT_EQ(a.equal(&b, 1e-6), 0);
    EXPECT_EQ(a.distance(&b, p, q), 0.0);
    // From the point member (1, 2): nearer than the arc's top (1, 1) and the polygon.
    EXPECT_NEAR(DistanceOfGMObject(a, far, p, q), 3.0, 1e-12);
    EXPECT_EQ(p.x, 1.0);
    EXPECT_EQ(p.y, 2.0);
    EXPECT_EQ(DistanceOfGMObject(a, GM_Object()), -1.0);
    EXPECT_EQ(a.buffer(1.0), nullptr);
}

}  // namespace
