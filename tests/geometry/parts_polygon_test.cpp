// Multi-part lines and polygons: vertex numbering, area with arcs against closed forms, orientation,
// the ring point test, label and measures, normalising and chaining, polygons from loose rings.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "geometry/parts.h"
#include "geometry/records.h"

using namespace kelo;

namespace {

constexpr double kPi = std::numbers::pi;

keloParts Polyline(std::vector<Point3D> pts) { return keloParts(pts, klLTPolyline); }

// A ring from runs given as (type, points); each run starts where the one before ends.
keloParts RingOf(std::initializer_list<std::pair<klLineType, std::vector<Point3D>>> runs) {
    keloParts ring;
    for (const auto& [type, pts] : runs) {
        keloPoints run(pts, type);
        ring.InsertPointsAt(run, -1);
    }
    return ring;
}

Point3D OnCircle(double cx, double cy, double r, double deg) {
    double a = deg * kPi / 180;
    return {cx + r * std::cos(a), cy + r * std::sin(a), 0};
}

// Upper half disc: arc from (cx + r, cy) through the top to (cx - r, cy), closed by its diameter.
keloParts HalfDisc(double cx, double cy, double r) {
    return RingOf({{klLT3PArc, {OnCircle(cx, cy, r, 0), OnCircle(cx, cy, r, 90), OnCircle(cx, cy, r, 180)}},
                   {klLTPolyline, {OnCircle(cx, cy, r, 180), OnCircle(cx, cy, r, 0)}}});
}

// Square [x0, x0 + a] x [y0, y0 + a] whose top-right corner is rounded with radius rho.
keloParts RoundedSquare(double x0, double y0, double a, double rho) {
    double cx = x0 + a - rho, cy = y0 + a - rho;
    return RingOf({{klLTPolyline, {{x0, y0, 0}, {x0 + a, y0, 0}, {x0 + a, cy, 0}}},
                   {klLT3PArc, {{x0 + a, cy, 0}, OnCircle(cx, cy, rho, 45), {cx, y0 + a, 0}}},
                   {klLTPolyline, {{cx, y0 + a, 0}, {x0, y0 + a, 0}, {x0, y0, 0}}}});
}

keloParts Square(double x0, double y0, double x1, double y1) {
    return Polyline({{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}, {x0, y0, 0}});
}

// The ring point test as the public line functions expose it: -1 on the ring, 1 inside, 0 outside.
int State(const keloParts& ring, double x, double y, double eps) {
    Point3D p{x, y, 0};
    if (ring.PointOn(p, eps)) return -1;
    return ring.PointInside(p, eps) ? 1 : 0;
}

void ExpectRel(double got, double want, double rel) { EXPECT_NEAR(got, want, rel * std::abs(want)) << got; }

}  // namespace

TEST(Parts, VerticesAcrossPartsAndClosing) {
    keloParts line = RingOf({{klLTPolyline, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}},
                             {klLTPolyline, {{2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {0, 1, 0}}}});
    EXPECT_EQ(line.GetVertexCount(), 6);
    EXPECT_EQ(line.GetAuxPointCount(), 7);
    EXPECT_EQ(line.GetVertexAt(1, 0), 2);
    EXPECT_EQ(line.GetVertexAt(1, 3), 5);
    EXPECT_EQ(line.GetVertexAt(2, 0), -1);
    EXPECT_FALSE(line.IsClosed());

    line.GetOriginalPointsAt(1)->ReplacePointAt({0, 0, 0}, 3);
    EXPECT_TRUE(line.IsClosed());
    EXPECT_EQ(line.GetVertexCount(), 5);
    EXPECT_EQ(line.GetVertexAt(1, 3), 0);  // the closing point is vertex 0 again

    // A joint vertex is stored twice; replacing it moves both copies.
    ASSERT_EQ(line.ReplaceVertexAt(2, {2, -1, 0}), 1);
    EXPECT_EQ((*line.GetOriginalPointsAt(0))[2].y, -1);
    EXPECT_EQ((*line.GetOriginalPointsAt(1))[0].y, -1);
    // Vertex 0 of a closed line is the first and the last point.
    ASSERT_EQ(line.ReplaceVertexAt(0, {-1, -1, 0}), 1);
    EXPECT_TRUE(line.IsClosed());
    EXPECT_EQ(line.ReplaceVertexAt(5, {0, 0, 0}), 0);

    // Deleting a joint keeps the line connected.
    ASSERT_EQ(line.DeleteVertexAt(2), 1);
    EXPECT_EQ(line.IsNormal(1e-8, 1), 1);
    EXPECT_EQ(line.GetVertexCount(), 4);

    keloParts empty;
    EXPECT_EQ(empty.GetVertexCount(), 0);
    EXPECT_FALSE(empty.IsClosed());
    EXPECT_EQ(empty.GetPointByVertexAt(0), nullptr);
    EXPECT_EQ(empty.GetOriginalPointsAt(0), nullptr);
}

TEST(Parts, AreaOfArcShapesMatchesClosedForms) {
    struct Case {
        const char* what;
        keloParts ring;
        double area;
    };
    const double far = 123456.0;  // coordinates far from the origin test the relative-to-first-point sum
    std::vector<Case> cases;
    for (double r : {0.001, 1.0, 250.0}) {
        cases.push_back({"half disc", HalfDisc(0, 0, r), kPi * r * r / 2});
        // Far from the origin only for radii the input points can still resolve to 1e-9.
        if (r >= 1) cases.push_back({"half disc far", HalfDisc(far, -far, r), kPi * r * r / 2});
    }
    for (double rho : {0.5, 3.0, 10.0}) {
        double a = 10;
        cases.push_back({"rounded square", RoundedSquare(0, 0, a, rho), a * a - rho * rho + kPi * rho * rho / 4});
        cases.push_back({"rounded square far", RoundedSquare(far, far, a, rho), a * a - rho * rho + kPi * rho * rho / 4});
    }
    // A three-quarter arc: the bulge beyond a half turn.
    cases.push_back({"three-quarter disc",
                     RingOf({{klLT3PArc, {OnCircle(0, 0, 2, 0), OnCircle(0, 0, 2, 135), OnCircle(0, 0, 2, 270)}},
                             {klLTPolyline, {OnCircle(0, 0, 2, 270), {0, 0, 0}, OnCircle(0, 0, 2, 0)}}}),
                     0.75 * kPi * 4});
    // Two arcs in one run and a trailing half arc (an even count): the whole disc.
    cases.push_back({"disc of arcs and a half arc",
                     RingOf({{klLT3PArc, {OnCircle(0, 0, 3, 0), OnCircle(0, 0, 3, 60), OnCircle(0, 0, 3, 120),
                                          OnCircle(0, 0, 3, 240), OnCircle(0, 0, 3, 360)}}}),
                     kPi * 9});
    // A trailing half arc (even count) follows the circle through the last three points.
    cases.push_back({"trailing half arc",
                     RingOf({{klLT3PArc, {OnCircle(1, 2, 4, 0), OnCircle(1, 2, 4, 90), OnCircle(1, 2, 4, 180),
                                          OnCircle(1, 2, 4, 270)}},
                             {klLTPolyline, {OnCircle(1, 2, 4, 270), OnCircle(1, 2, 4, 0)}}}),
                     0.75 * kPi * 16 + 8});
    for (Case& c : cases) {
        ExpectRel(c.ring.GetArea(), c.area, 1e-9);
        // Turning the other way flips the sign only.
        c.ring.Reverse();
        ExpectRel(c.ring.GetArea(), -c.area, 1e-9);
    }

    // A circle counts positive whichever way its points turn.
    Point3D cw[3] = {OnCircle(5, 5, 2, 90), OnCircle(5, 5, 2, 0), OnCircle(5, 5, 2, -90)};
    keloParts circle(keloPoints(klLT3PCircle, 3, cw));
    ExpectRel(circle.GetArea(), kPi * 4, 1e-12);
    // The five-point circle run turns clockwise (left, top, right, bottom).
    keloParts chain(keloPoints(Point3D{1, 1, 0}, 2.0));
    ExpectRel(chain.GetArea(), -kPi * 4, 1e-12);

    // Ellipses: a closed piece, and an open half piece closed by its axis.
    double a = 5, b = 2;
    auto E = [&](double deg) { return Point3D{a * std::cos(deg * kPi / 180), b * std::sin(deg * kPi / 180), 0}; };
    keloParts ellipse(keloPoints(klLTEllipse, 5, std::vector<Point3D>{E(0), E(90), E(180), E(270), E(360)}.data()));
    ExpectRel(ellipse.GetArea(), kPi * a * b, 1e-9);
    keloParts halfEllipse = RingOf({{klLTEllipse, {E(0), E(45), E(90), E(135), E(180)}}, {klLTPolyline, {E(180), E(0)}}});
    ExpectRel(halfEllipse.GetArea(), kPi * a * b / 2, 1e-9);
}

TEST(Parts, OrientationAndClockwiseWithCorner) {
    keloParts unit = Square(0, 0, 1, 1);
    EXPECT_DOUBLE_EQ(unit.GetArea(), 1.0);
    EXPECT_FALSE(unit.IsClockwise());
    ASSERT_EQ(unit.Clockwise(0, 1), 1);
    EXPECT_DOUBLE_EQ(unit.GetArea(), -1.0);
    EXPECT_TRUE(unit.IsClockwise());
    ASSERT_EQ(unit.Clockwise(0, 1), 1);  // already clockwise: unchanged
    EXPECT_DOUBLE_EQ(unit.GetArea(), -1.0);

    // Start moved to the corner nearest the top-right of the box, then turned counter-clockwise.
    keloParts ring = Polyline({{0, 0, 0}, {4, 0, 0}, {4, 3, 0}, {0, 3, 0}, {0, 0, 0}});
    ASSERT_EQ(ring.Clockwise(3, 0), 1);
    Point3D first, last;
    ASSERT_TRUE(ring.GetEndPoints(&first, &last));
    EXPECT_EQ(first.x, 4);
    EXPECT_EQ(first.y, 3);
    EXPECT_TRUE(ring.IsClosed());
    EXPECT_DOUBLE_EQ(ring.GetArea(), 12.0);
    EXPECT_TRUE(ring.IsCorner(3));

    // Across parts, with an arc: the shape (area) survives the move of the start.
    keloParts rounded = RoundedSquare(0, 0, 10, 2);
    double area = rounded.GetArea();
    ASSERT_EQ(rounded.Clockwise(1, 1), 1);
    ASSERT_TRUE(rounded.GetEndPoints(&first, nullptr));
    EXPECT_EQ(first.x, 0);
    EXPECT_EQ(first.y, 10);
    EXPECT_NEAR(rounded.GetArea(), -area, 1e-9);
    EXPECT_EQ(rounded.IsNormal(1e-8, 1), 1);

    keloParts open = Polyline({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
    EXPECT_EQ(open.Clockwise(0, 1), 0);
    EXPECT_DOUBLE_EQ(open.GetArea(), 0.5);  // untouched
}

TEST(Parts, RingPointTestOnArcs) {
    keloParts disc = HalfDisc(0, 0, 10);
    struct Case {
        Point3D p;
        int want;  // 1 inside, 0 outside, -1 on the ring
    } cases[] = {
        {{0, 9.99, 0}, 1},   {{0, 10.01, 0}, 0},  {{0, 10, 0}, -1},     {{5, 0, 0}, -1},  {{0, 0, 0}, -1},
        {{0, -0.01, 0}, 0},  {{9.9, 0.5, 0}, 1},  {{9.9, 1.5, 0}, 0},   {{-12, 0, 0}, 0}, {{-7.07, 7.07, 0}, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(State(disc, c.p.x, c.p.y, 1e-6), c.want) << c.p.x << "," << c.p.y;

    // Random points against the closed form, away from the boundary by more than the tolerance.
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-12, 12);
    keloParts rounded = RoundedSquare(-10, -10, 20, 6);  // corner circle at (4, 4), radius 6
    for (int i = 0; i < 2000; ++i) {
        double x = u(rng), y = u(rng);
        bool inSquare = x > -10 && x < 10 && y > -10 && y < 10;
        bool cut = x > 4 && y > 4 && std::hypot(x - 4, y - 4) > 6;
        double edge = std::min({std::abs(x - 10), std::abs(x + 10), std::abs(y - 10), std::abs(y + 10),
                                std::abs(std::hypot(x - 4, y - 4) - 6)});
        if (edge < 1e-3) continue;
        EXPECT_EQ(State(rounded, x, y, 1e-6), inSquare && !cut ? 1 : 0) << x << "," << y;
    }
}

TEST(Polygon, HolesAreaPointsAndOrientation) {
    keloPolygon polygon(Square(0, 0, 10, 10));
    polygon.InsertRing(Square(4, 4, 6, 6), 1);
    EXPECT_DOUBLE_EQ(polygon.GetArea(), 96.0);
    EXPECT_DOUBLE_EQ(polygon.GetPerimeter(), 48.0);
    EXPECT_DOUBLE_EQ(polygon.GetRatio(), 2.0);
    struct Case {
        Point3D p;
        int want;
    } cases[] = {{{5, 5, 0}, 0}, {{4, 5, 0}, 2}, {{2, 2, 0}, 1}, {{0, 5, 0}, 2}, {{11, 5, 0}, 0}};
    for (const Case& c : cases) EXPECT_EQ(polygon.IsPointIn(c.p, 1e-8), c.want) << c.p.x << "," << c.p.y;

    // Both rings counter-clockwise: not the clockwise convention until Clockwise fixes it.
    EXPECT_FALSE(polygon.IsClockwise());
    EXPECT_EQ(polygon.IsNormal(1e-8, 64), 0);
    polygon.Clockwise(0, 0);
    EXPECT_GT(polygon.GetOriginalRingAt(0)->GetArea(), 0);
    EXPECT_LT(polygon.GetOriginalRingAt(1)->GetArea(), 0);
    EXPECT_EQ(polygon.IsNormal(1e-8, 64 | 16 | 15), 1);
    polygon.Clockwise(0, 1);
    EXPECT_TRUE(polygon.IsClockwise());
    EXPECT_DOUBLE_EQ(polygon.GetArea(), 96.0);

    // A circular hole.
    keloPolygon withCircle(Square(0, 0, 10, 10));
    Point3D c3[3] = {OnCircle(5, 5, 2, 0), OnCircle(5, 5, 2, 120), OnCircle(5, 5, 2, 240)};
    withCircle.InsertRing(keloParts(keloPoints(klLT3PCircle, 3, c3)), 1);
    ExpectRel(withCircle.GetArea(), 100 - 4 * kPi, 1e-12);
    EXPECT_EQ(withCircle.IsPointIn({5, 6.9, 0}, 1e-8), 0);
    EXPECT_EQ(withCircle.IsPointIn({5, 7.1, 0}, 1e-8), 1);

    keloPolygon empty;
    EXPECT_EQ(empty.GetRatio(), -1.0);
    EXPECT_EQ(empty.IsPointIn({0, 0, 0}, 1), 0);
    EXPECT_TRUE(empty.IsClockwise());
    EXPECT_EQ(empty.GetArea(), 0.0);

    // An open ring of four vertices is closed on creation.
    keloPolygon fromOpen(Polyline({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}));
    ASSERT_EQ(fromOpen.GetRingsCount(), 1);
    EXPECT_EQ(fromOpen.GetOriginalRingAt(0)->GetAuxPointCount(), 5);
    EXPECT_TRUE(fromOpen.GetOriginalRingAt(0)->IsClosed());
}

TEST(Polygon, LabelPointHeightAndMeasures) {
    keloPolygon polygon(Square(100, 200, 110, 210));
    for (int v = 0; v < 4; ++v) polygon.GetOriginalRingAt(0)->SetVertexZ(v, 7.5);
    EXPECT_EQ(polygon.GetH(), 7.5);
    double x, y;
    EXPECT_FALSE(polygon.GetLabelPt(x, y));
    ASSERT_TRUE(polygon.SetLabelPt(104.25, 207.5));
    ASSERT_TRUE(polygon.GetLabelPt(x, y));
    EXPECT_DOUBLE_EQ(x, 104.25);  // offsets small enough to be exact in a float
    EXPECT_DOUBLE_EQ(y, 207.5);
    EXPECT_FLOAT_EQ(static_cast<float>(polygon.GetH()), 7.5f);
    ASSERT_TRUE(polygon.SetH(3.25));
    EXPECT_DOUBLE_EQ(polygon.GetH(), 3.25);
    ASSERT_TRUE(polygon.GetLabelPt(x, y));  // the label survives a new height
    EXPECT_DOUBLE_EQ(x, 104.25);
    // The closing point of the ring carries vertex 0's measure too.
    const keloPoints* run = polygon.GetOriginalRingAt(0)->GetOriginalPointsAt(0);
    EXPECT_EQ((*run)[0].z, (*run)[run->GetCount() - 1].z);

    keloParts line = Polyline({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
    ASSERT_TRUE(line.SetMIV(5, 42));
    ASSERT_TRUE(line.SetMFV(6, 1.5f));
    ASSERT_TRUE(line.SetMIV(5, 43));  // overwrites, takes no new vertex
    int32_t iv;
    float fv;
    ASSERT_NE(line.GetMIV(5, iv), nullptr);
    EXPECT_EQ(iv, 43);
    ASSERT_NE(line.GetMFV(6, fv), nullptr);
    EXPECT_EQ(fv, 1.5f);
    ASSERT_TRUE(line.SetMIV(7, 1));
    EXPECT_FALSE(line.SetMIV(8, 2));  // every vertex carries a measure
    EXPECT_EQ(line.GetMIV(8, iv), nullptr);
    EXPECT_TRUE(line.ClearMIV(5, 9.0));
    EXPECT_EQ(line.GetMIV(5, iv), nullptr);
    EXPECT_EQ(line.FindNoMarkPos(), 0);
    EXPECT_EQ(line.ClearMV(0.0), 2);
    EXPECT_EQ(line.GetMFV(6, fv), nullptr);
}

TEST(Polygon, MakePolygonsByNestedRings) {
    // Outer square with a hole, an island inside the hole, a separate square, and a degenerate ring.
    std::vector<keloParts> owned;
    owned.push_back(Square(40, 40, 60, 60));     // island, depth 2
    owned.push_back(Square(0, 0, 100, 100));     // outer, depth 0
    owned.push_back(Polyline({{0, 0, 0}, {1, 1, 0}}));  // fewer than 3 vertices: dropped
    owned.push_back(Square(20, 20, 80, 80));     // hole, depth 1
    owned.push_back(Square(200, 0, 300, 100));   // separate, depth 0
    std::vector<keloParts*> rings;
    for (keloParts& r : owned) rings.push_back(&r);
    std::vector<keloPolygon*> polygons;
    ASSERT_EQ(keloPolygon::MakePolygonsByRings(rings, polygons, 1e-8), 3);
    EXPECT_EQ(rings.size(), 4u);
    ASSERT_EQ(polygons.size(), 3u);
    // Ring order decides polygon order: island, outer (with its hole), separate.
    EXPECT_DOUBLE_EQ(polygons[0]->GetArea(), 400.0);
    EXPECT_EQ(polygons[0]->GetRingsCount(), 1);
    EXPECT_DOUBLE_EQ(polygons[1]->GetArea(), 10000.0 - 3600.0);
    ASSERT_EQ(polygons[1]->GetRingsCount(), 2);
    EXPECT_LT(polygons[1]->GetOriginalRingAt(0)->GetArea() * polygons[1]->GetOriginalRingAt(1)->GetArea(), 0);
    EXPECT_EQ(polygons[1]->IsPointIn({50, 50, 0}, 1e-8), 0);
    EXPECT_EQ(polygons[1]->GetRelationPolygon(1e-8), 1);
    EXPECT_DOUBLE_EQ(polygons[2]->GetArea(), 10000.0);
    for (keloPolygon* p : polygons) delete p;

    std::vector<keloParts*> none;
    EXPECT_EQ(keloPolygon::MakePolygonsByRings(none, polygons, 1e-8), 0);
}

TEST(Parts, NormalizingSplitsAndMerges) {
    keloParts ring = RoundedSquare(0, 0, 10, 2);
    double area = ring.GetArea();
    keloParts split(ring);
    split.Normalizing(1e-8, 0x3000);
    // One segment per part: 2 + 1 + 2 straight segments and the arc.
    EXPECT_EQ(split.GetPartsCount(), 5);
    for (int i = 0; i < split.GetPartsCount(); ++i) EXPECT_EQ(split.GetOriginalPointsAt(i)->GetSegmentCount(), 1);
    EXPECT_NEAR(split.GetArea(), area, 1e-9);
    keloParts straightKept(ring);
    straightKept.Normalizing(1e-8, 0x2000);
    EXPECT_EQ(straightKept.GetPartsCount(), 3);

    keloParts pieces = Polyline({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
    pieces.Normalizing(1e-8, 0x3000);
    ASSERT_EQ(pieces.GetPartsCount(), 2);
    pieces.Normalizing(1e-8, 0x4000);
    ASSERT_EQ(pieces.GetPartsCount(), 1);
    EXPECT_EQ(pieces.GetAuxPointCount(), 3);

    // The overlay preparation and its inverse restore the rings.
    keloPolygon polygon(ring);
    polygon.InsertRing(Square(3, 3, 4, 4), 1);
    WKBPolygon* prepared = _ImportFrom(&polygon);
    EXPECT_EQ(prepared->rings[1].partCount, 4u);
    WKBPolygon* restored = _ExportTo(prepared);
    ASSERT_EQ(restored->ringCount, 2);
    EXPECT_EQ(restored->rings[1].partCount, 1u);
    EXPECT_EQ(LineStringOverlap(&restored->rings[1], &polygon.rings[1]), True);
    EXPECT_NEAR(static_cast<keloPolygon*>(restored)->GetArea(), polygon.GetArea(), 1e-9);
    FreeWKBPolygon(prepared);
    FreeWKBPolygon(restored);
}

TEST(Parts, PutInOrderChainsScatteredPieces) {
    keloParts bag;
    auto add = [&](std::vector<Point3D> pts) { bag.InsertPointArray(pts, klLTPolyline); };
    add({{2, 0, 0}, {3, 0, 0}});
    add({{1, 0, 0}, {0, 0, 0}});  // reversed relative to the chain
    add({{10, 10, 0}, {11, 10, 0}});  // not connected
    add({{1, 0, 0}, {2, 0, 0}});
    keloParts* chain = bag.PutInOrder();
    ASSERT_NE(chain, nullptr);
    std::vector<Point3D> pts;
    chain->GetAllVertex(pts);
    ASSERT_EQ(pts.size(), 4u);
    // The first piece's start touches another piece, so it is reversed: the chain begins at its
    // free end (3, 0).
    for (size_t i = 0; i < pts.size(); ++i) EXPECT_EQ(pts[i].x, 3.0 - static_cast<double>(i));
    EXPECT_EQ(chain->GetPartsCount(), 1);  // straight pieces merge into one run
    EXPECT_EQ(bag.GetPartsCount(), 1);     // the loose piece stays behind
    delete chain;
    keloParts* rest = bag.PutInOrder();
    EXPECT_EQ(rest->GetAuxPointCount(), 2);
    delete rest;
    EXPECT_EQ(bag.PutInOrder(), nullptr);
}

TEST(Records, MeasuresAndSamenessOfLines) {
    keloParts line = Polyline({{0, 0, 0}, {3, 0, 0}, {3, 4, 0}});
    keloParts back(line);
    back.Reverse();
    EXPECT_EQ(LineStringOverlap(&line, &back), True);
    EXPECT_EQ(LineStringOverlap(&line, &line), True);
    keloParts moved(line);
    moved.GetOriginalPointsAt(0)->ReplacePointAt({3, 5, 0}, 2);
    EXPECT_EQ(LineStringOverlap(&line, &moved), False);

    Point3D bz[4] = {{0, 0, 0}, {1, 1, 0}, {2, 1, 0}, {3, 0, 0}};
    CurveSegment bezier{klLTBezier, 4, bz};
    EXPECT_EQ(CurveSegmentOverlap(&bezier, &bezier), False);

    WKBGeometry& wrapped = LineStringToWKBGeometry(line);
    EXPECT_DOUBLE_EQ(LengthOfWKBGeometry(wrapped), 7.0);
    keloPolygon square(Square(0, 0, 2, 2));
    EXPECT_EQ(LengthOfWKBGeometry(PolygonToWKBGeometry(square)), 0.0);
    EXPECT_DOUBLE_EQ(AreaOfWKBGeometry(PolygonToWKBGeometry(square)), 4.0);
    EXPECT_DOUBLE_EQ(AreaOfTriangle(0, 0, 4, 0, 0, 3), 6.0);
    EXPECT_DOUBLE_EQ(AreaOfTriangle(0, 0, 0, 3, 4, 0), 6.0);

    Point3D first{0, 0, 0}, last{3, 4, 0}, mid{3, 0, 0};
    EXPECT_EQ(PointIsEndOfLineString(&first, &line, 0), -1);
    EXPECT_EQ(PointIsEndOfLineString(&last, &line, 0), 1);
    EXPECT_EQ(PointIsEndOfLineString(&mid, &line, 0), 0);
    keloParts ring = Square(0, 0, 1, 1);
    EXPECT_EQ(PointIsEndOfLineString(&first, &ring, 0), 0);
    EXPECT_EQ(PointIsEndOfLineString(&first, &ring, 1), -1);
    EXPECT_EQ(LineStringIsClosed(&ring), True);
    EXPECT_EQ(LineStringIsClosed(&line), False);

    std::vector<LineString*> lines;
    WKBGeometry multi;
    multi.type = wkbMultiLineString;
    multi.multiLine = {2, new LineString[2]()};
    CopyWKBLineString(multi.multiLine.lines[0], ring);
    CopyWKBLineString(multi.multiLine.lines[1], line);
    EXPECT_EQ(ImportLineString(multi, lines), 2);
    EXPECT_EQ(LineStringInArray(&line, lines), 1);
    EXPECT_EQ(LineStringInArray(&moved, lines), -1);

    std::vector<int> idx;
    std::vector<Point3D> corners;
    // The straight-through vertex (2, 0) of this line is no corner.
    keloParts bent = Polyline({{0, 0, 0}, {2, 0, 0}, {4, 0, 0}, {4, 4, 0}});
    EXPECT_EQ(CornerPointOfWKBGeometry(LineStringToWKBGeometry(bent), Box(-1, -1, 5, 5), idx, corners), 3);
    EXPECT_EQ(idx, (std::vector<int>{0, 2, 3}));
    DeleteWKBGeometry(&multi);
}
