// The nine-intersection interface: named relations and their flags, point location in rings with
// rays through vertices, the relations by element kind, the geometry object's predicates and
// validity checks, curved shapes against their dense discretisation, and bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "relations/nine_test_support.h"
#include "support/temp_home.h"

using namespace kelo;
using namespace ninetest;

namespace {

Shape Square(double x0, double y0, double size) { return Shape{{{Rect(x0, y0, x0 + size, y0 + size)}}, {}, {}}; }
Shape Pt(double x, double y) { return Shape{{}, {}, {{x, y, 0}}}; }
Shape Ln(Ring pts) { return Shape{{}, {pts}, {}}; }

struct Relation {
    int result;
    std::string dims;
    int contain, pointTouch, lineTouch;
};

Relation Relate(const Shape& a, const Shape& b, double tol = 1e-9) {
    const GM_Object ga = a.Object(), gb = b.Object();
    C9iObjIndex index(&ga);
    int dims[8];
    Relation r;
    r.result = index.Get9i8BOOLEx(&gb, tol, dims);
    r.dims = Text8(dims);
    r.contain = GetPgAContainPgB();
    r.pointTouch = GetPointTouchInfo();
    r.lineTouch = GetLineTouchInfo();
    return r;
}

TEST(NineIntersection, NamedRelationsAndTheirFlags) {
    struct Case {
        const char* what;
        Shape a, b;
        int result;
        const char* dims;
        int contain, pointTouch, lineTouch;
    };
    const Case cases[] = {
        {"squares sharing an edge", Square(0, 0, 2), Square(2, 0, 2), kl9iBoundaryTouch, "FF2F11212", 1, 0, 1},
        {"squares sharing a corner", Square(0, 0, 2), Square(2, 2, 2), kl9iBoundaryTouch, "FF2F01212", 1, 1, 0},
        {"square well inside", Square(0, 0, 10), Square(2, 2, 2), kl9iInside, "212FF1FF2", 1, 0, 0},
        {"square well inside, swapped", Square(2, 2, 2), Square(0, 0, 10), kl9iInside, "2FF1FF212", 0, 0, 0},
        {"inside, touching the edge", Square(0, 0, 10), Square(0, 2, 2), kl9iInsideTouch, "212F11FF2", 1, 0, 1},
        {"overlapping squares", Square(0, 0, 2), Square(1, 1, 2), kl9iOverlap, "212101212", 1, 0, 0},
        {"identical lines", Ln({{0, 0, 0}, {3, 1, 0}}), Ln({{3, 1, 0}, {0, 0, 0}}), kl9iEqual, "1FFF0FFF2", 1, 0, 0},
        {"lines meeting end to end", Ln({{0, 0, 0}, {1, 0, 0}}), Ln({{1, 0, 0}, {1, 1, 0}}), kl9iBoundaryTouch, "FF1F00102", 1, 1, 0},
        {"line ending inside another", Ln({{0, 0, 0}, {2, 0, 0}}), Ln({{1, 0, 0}, {1, 1, 0}}), kl9iTouch, "F01FF0102", 1, 1, 0},
        {"far apart", Square(0, 0, 1), Pt(5, 5), kl9iDisjoint, "FF2FF10F2", 1, 0, 0},
    };
    for (const Case& c : cases) {
        const Relation r = Relate(c.a, c.b);
        EXPECT_EQ(r.result, c.result) << c.what;
        EXPECT_EQ(r.dims, std::string(c.dims).substr(0, 8)) << c.what;
        EXPECT_EQ(r.contain, c.contain) << c.what;
        EXPECT_EQ(r.pointTouch, c.pointTouch) << c.what;
        EXPECT_EQ(r.lineTouch, c.lineTouch) << c.what;
    }
}

TEST(NineIntersection, CodeToRelationFollowsTheDecisionList) {
    struct Case {
        int code, result, ok, contain;
    };
    const Case cases[] = {
        {k9iIE | k9iEI | k9iBE | k9iEB, kl9iDisjoint, 1, -1},
        {k9iII | k9iBB, kl9iEqual, 1, -1},
        {k9iII | k9iIB | k9iIE | k9iBE, kl9iInside, 1, 1},
        {k9iII | k9iBI | k9iEI | k9iEB, kl9iInside, 1, 0},
        {k9iII | k9iIE | k9iEI | k9iBB, kl9iOverlap, 1, -1},
        {k9iIB | k9iIE | k9iEI, kl9iTouch, 1, -1},
        {k9iBB | k9iIE | k9iBE | k9iEI | k9iEB, kl9iBoundaryTouch, 1, -1},
        {k9iII | k9iBB | k9iEI | k9iEB, kl9iInsideTouch, 1, 0},
        {k9iII | k9iBB | k9iIE | k9iBE, kl9iInsideTouch, 1, 1},
        {k9iII | k9iIB | k9iBE | k9iEB, kl9iEqual, 1, -1},  // nothing of either in the other's exterior
        // Interiors meet, B's boundary reaches outside A but its interior does not, and nothing
        // touches A's boundary: no rule names that.
        {k9iII | k9iIB | k9iIE | k9iBE | k9iEB, 0, 0, -1},
    };
    for (const Case& c : cases) {
        gz_nPgAContainPgB = -1;
        int result = -2;
        EXPECT_EQ(C9iObjIndex::Get9iResult(c.code, result), c.ok) << c.code;
        if (c.ok) {
            EXPECT_EQ(result, c.result) << c.code;
        }
        EXPECT_EQ(gz_nPgAContainPgB, c.contain) << c.code;
    }
}

TEST(NineIntersection, PointsAgainstRingsAndLines) {
    // A diamond and a square with a hole: level rays from many points pass through vertices.
    const keloParts diamond(std::vector<Point3D>{{0, 2, 0}, {2, 0, 0}, {4, 2, 0}, {2, 4, 0}, {0, 2, 0}}, klLTPolyline);
    C9iPartsIndex ring;
    ASSERT_EQ(ring.SetIndex(&diamond, 1), 4);
    int on = 0;
    EXPECT_EQ(ring.PointIn({1, 2, 0}, 1e-9, on), 1);  // the ray runs through the vertex (4, 2)
    EXPECT_EQ(on, 0);
    EXPECT_EQ(ring.PointIn({-1, 2, 0}, 1e-9, on), 0);  // outside, level with two vertices
    EXPECT_EQ(ring.Point9i({1, 1, 0}, 1e-9), 4);
    EXPECT_EQ(ring.Point9i({2, 3.9, 0}, 1e-9), 2);
    EXPECT_EQ(ring.Point9i({3.9, 3.9, 0}, 1e-9), 0);
    C9iPartsIndex line;
    line.SetIndex(&diamond, 0);
    EXPECT_EQ(line.Point9i({2, 2, 0}, 1e-9), 0);
    EXPECT_EQ(line.Point9i({3, 1, 0}, 1e-9), 2);

    // Every grid point of a ring whose vertices sit on the grid: the ray cast against the ring
    // point test of the clipping code, an independent crossing count.
    const keloParts zig(std::vector<Point3D>{{0, 0, 0}, {6, 0, 0}, {6, 2, 0}, {4, 2, 0}, {4, 4, 0}, {6, 4, 0}, {6, 6, 0},
                                             {2, 6, 0}, {2, 3, 0}, {0, 3, 0}, {0, 0, 0}},
                        klLTPolyline);
    C9iPartsIndex z;
    z.SetIndex(&zig, 1);
    for (int x = 0; x <= 12; ++x)
        for (int y = 0; y <= 12; ++y) {
            const Point3D p{x * 0.5, y * 0.5, 0};
            int onZ = 0;
            const int in = z.PointIn(p, 1e-9, onZ);
            EXPECT_EQ(RingPointTest(&zig, p.x, p.y, 1e-9), onZ ? -1 : in) << p.x << " " << p.y;
        }

    // Relations of points by kind.
    Shape holed{{{Rect(0, 0, 10, 10), Rect(4, 4, 6, 6)}}, {}, {}};
    const GM_Object gh = holed.Object();
    C9iObjIndex ih(&gh);
    EXPECT_EQ(ih.Get9iResult(Point3D{5, 5, 0}, 1e-9), kl9iDisjoint);  // in the hole
    EXPECT_EQ(ih.Get9iResult(Point3D{0, 5, 0}, 1e-9), kl9iTouch);     // on the edge
    EXPECT_EQ(ih.Get9iResult(Point3D{2, 2, 0}, 1e-9), kl9iInside);
    const GM_Object onEdge(Point3D{10, 3, 0});
    EXPECT_EQ(ih.Get9iNewResult(&onEdge, 1e-9), kl9iNewDisjoint);
    const GM_Object edgeAndInside = Shape{{}, {}, {{10, 3, 0}, {1, 1, 0}}}.Object();
    EXPECT_EQ(ih.Get9iResult(&edgeAndInside, 1e-9), kl9iInsideTouch);
    const GM_Object insideAndOut = Shape{{}, {}, {{1, 1, 0}, {20, 1, 0}}}.Object();
    EXPECT_EQ(ih.Get9iResult(&insideAndOut, 1e-9), kl9iOverlap);
    EXPECT_EQ(ih.Get9iNewResult(&insideAndOut, 1e-9), kl9iNewIntersect);
    // From the point's side the containment turns round.
    const GM_Object inside(Point3D{1, 1, 0});
    C9iObjIndex ii(&inside);
    EXPECT_EQ(ii.Get9iNewResult(&gh, 1e-9), kl9iNewWithin);
    EXPECT_EQ(ih.Get9iNewResult(&inside, 1e-9), kl9iNewContains);

    const GM_Object two = Shape{{}, {}, {{1, 1, 0}, {2, 2, 0}}}.Object(), one(Point3D{2, 2, 0});
    C9iObjIndex i2(&two);
    EXPECT_EQ(i2.Get9iResult(&one, 1e-9), kl9iInside);
    EXPECT_EQ(GetPgAContainPgB(), 1);
    EXPECT_EQ(i2.Get9iResult(&two, 1e-9), kl9iEqual);
}

TEST(NineIntersection, AreaRelationsCombinePolygonByPolygon) {
    // Two squares against one holding both: contains; against one holding one: overlap-free but
    // not all inside, so overlap by the combination rule.
    const GM_Object pair = Shape{{{Rect(1, 1, 2, 2)}, {Rect(5, 5, 6, 6)}}, {}, {}}.Object();
    const GM_Object big = Square(0, 0, 10).Object(), small = Square(0, 0, 3).Object();
    C9iObjIndex ib(&big), ip(&pair);
    EXPECT_EQ(ib.Get9iResult(&pair, 1e-9), kl9iInside);
    EXPECT_EQ(GetPgAContainPgB(), 1);
    EXPECT_EQ(ip.Get9iResult(&big, 1e-9), kl9iInside);
    EXPECT_EQ(GetPgAContainPgB(), 0);
    EXPECT_EQ(ip.Get9iNewResult(&big, 1e-9), kl9iNewWithin);
    C9iObjIndex is(&small);
    EXPECT_EQ(is.Get9iResult(&pair, 1e-9), kl9iOverlap);
    EXPECT_EQ(ib.Get9iNewResult(&big, 1e-9), kl9iNewEqual);
    EXPECT_EQ(ib.IsOutsideOf(&pair, 1e-9), 0);
    const GM_Object away = Square(20, 20, 1).Object();
    EXPECT_EQ(ib.IsOutsideOf(&away, 1e-9), 1);
}

TEST(NineIntersection, PartsRelateAsLinesOrRings) {
    const keloParts outer(Rect(0, 0, 10, 10), klLTPolyline), inner(Rect(2, 2, 4, 4), klLTPolyline);
    const keloParts cut(std::vector<Point3D>{{-1, 5, 0}, {11, 5, 0}}, klLTPolyline);
    C9iPartsIndex o, i, c;
    o.SetIndex(&outer, 1);
    i.SetIndex(&inner, 1);
    c.SetIndex(&cut, 0);
    int direction = -1, code = 0;
    EXPECT_EQ(o.Parts9i(i, 1e-9, direction, code), kl9iInside);
    EXPECT_EQ(direction, 1);
    EXPECT_EQ(i.Parts9i(o, 1e-9, direction, code), kl9iInside);
    EXPECT_EQ(direction, 0);
    EXPECT_EQ(o.Parts9iNew(i, 1e-9), kl9iNewContains);
    EXPECT_EQ(o.Parts9i(c, 1e-9), kl9iOverlap);  // the line runs through the area and out
    EXPECT_EQ(i.Parts9i(c, 1e-9), kl9iDisjoint);
    // The same rings read as lines: the inner one lies apart from the outer one.
    C9iPartsIndex ol, il;
    ol.SetIndex(&outer, 0);
    il.SetIndex(&inner, 0);
    EXPECT_EQ(ol.Parts9i(il, 1e-9), kl9iDisjoint);
    std::vector<CsSegment> segs;
    EXPECT_EQ(o.GetSegments(Box(9, -1, 11, 1), segs), 2);  // the two edges at the corner (10, 0)
    EXPECT_EQ(o.GetSegmentById(0).points, nullptr);
    EXPECT_EQ(o.GetSegmentById(5).points, nullptr);
}

TEST(NineIntersection, GeometryObjectPredicates) {
    const GM_Object square = Square(0, 0, 4).Object(), inner = Square(1, 1, 1).Object();
    const GM_Object edge = Ln({{0, 0, 0}, {4, 0, 0}}).Object(), cross = Ln({{-1, 2, 0}, {5, 2, 0}}).Object();
    EXPECT_EQ(square.contains(&inner), 1);
    EXPECT_EQ(inner.contains(&square), 0);
    EXPECT_EQ(inner.insides(&square), 1);
    EXPECT_EQ(square.contains(&edge), 0);  // on the boundary only: no interior in common
    EXPECT_EQ(square.intersect(&edge), 1);
    EXPECT_EQ(square.intersect(&cross), 1);
    EXPECT_EQ(inner.intersect(&edge), 0);
    EXPECT_EQ(square.contains(Point3D{2, 2, 0}), 1);
    EXPECT_EQ(square.contains(Point3D{4, 2, 0}), 0);
    EXPECT_EQ(square.onsides(Point3D{4, 2, 0}), 1);
    EXPECT_EQ(GM_Object(Point3D{4, 2, 0}).insides(Point3D{4, 2, 0}), 1);
    EXPECT_EQ(square.insides(Point3D{4, 2, 0}), 0);
    // Equal within the tolerance: a vertex moved by less than eps.
    Shape nudged = Square(0, 0, 4);
    nudged.polygons[0][0][2].x += 1e-7;
    const GM_Object n = nudged.Object();
    EXPECT_EQ(square.equal(&n, 1e-6), 1);
    EXPECT_EQ(square.equal(&n, 1e-9), 0);
    const int code = square.Get9iGMObject(&inner, 1e-9);
    EXPECT_EQ(code, k9iII | k9iIB | k9iIE | k9iBE);
}

TEST(NineIntersection, ValidityAndSimplicity) {
    // Overlapping polygons of one object fail flag 0x100; touching ones pass.
    const GM_Object overlapping = Shape{{{Rect(0, 0, 2, 2)}, {Rect(1, 1, 3, 3)}}, {}, {}}.Object();
    const GM_Object touching = Shape{{{Rect(0, 0, 2, 2)}, {Rect(2, 0, 4, 2)}}, {}, {}}.Object();
    EXPECT_EQ(overlapping.IsNormal(1e-9, 0x100), 0);
    EXPECT_EQ(g_lastAbnormalPoint.x, 1.0);
    EXPECT_EQ(touching.IsNormal(1e-9, 0x100), 1);
    // Flag 32: a bow-tie ring, and two lines crossing each other.
    const GM_Object bowtie = Shape{{{{{0, 0, 0}, {2, 2, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, 0}}}}, {}, {}}.Object();
    EXPECT_EQ(bowtie.IsNormal(1e-9, 32), 0);
    EXPECT_EQ(IsGeometrySelfIntersect(&bowtie, 1), 1);
    const GM_Object crossing = Shape{{}, {{{0, 0, 0}, {2, 2, 0}}, {{0, 2, 0}, {2, 0, 0}}}, {}}.Object();
    const GM_Object chained = Shape{{}, {{{0, 0, 0}, {2, 2, 0}}, {{2, 2, 0}, {4, 0, 0}}}, {}}.Object();
    const GM_Object tee = Shape{{}, {{{0, 0, 0}, {4, 0, 0}}, {{2, 0, 0}, {2, 3, 0}}}, {}}.Object();
    EXPECT_EQ(IsGeometrySelfIntersect(&crossing, 0), 1);
    EXPECT_EQ(IsGeometrySelfIntersect(&chained, 1), 0);
    EXPECT_EQ(IsGeometrySelfIntersect(&tee, 0), 0);
    EXPECT_EQ(IsGeometrySelfIntersect(&tee, 1), 1);
    EXPECT_EQ(touching.IsNormal(1e-9, 32), 0);  // the shared edge overlaps
    EXPECT_FALSE(crossing.isSimple());
    EXPECT_TRUE(chained.isSimple());
    EXPECT_FALSE(tee.isSimple());
    EXPECT_TRUE(Square(0, 0, 1).Object().isSimple());
    const GM_Object twice = Shape{{}, {}, {{1, 1, 0}, {1, 1, 0}}}.Object();
    EXPECT_FALSE(twice.isSimple());
    EXPECT_FALSE(GM_Object().isSimple());

    // A ring against a polygon with a hole.
    keloPolygon holed{keloParts(Rect(0, 0, 10, 10), klLTPolyline)};
    holed.InsertRing(keloParts(Rect(3, 3, 7, 7), klLTPolyline), 1);
    struct Case {
        Ring ring;
        int result, index;
    };
    const Case cases[] = {
        {Rect(4, 4, 5, 5), kl9iInside, 1},     // in the hole
        {Rect(1, 1, 2, 2), kl9iInside, 0},     // in the area
        {Rect(2, 2, 8, 8), kl9iOverlap, 1},    // around the hole
        {Rect(5, 5, 12, 6), kl9iOverlap, 0},   // out through the outer ring
        {Rect(20, 0, 21, 1), kl9iDisjoint, 0},
    };
    for (const Case& c : cases) {
        int index = -2;
        EXPECT_EQ(holed.GetRelationRing(keloParts(c.ring, klLTPolyline), index, 1e-9), c.result) << c.ring[0].x;
        EXPECT_EQ(index, c.index) << c.ring[0].x;
    }
}

TEST(NineIntersection, ArcsRelateLikeTheirDenseDiscretisation) {
    // A disc made of two half arcs, and a square with one bulging side, against random grid
    // shapes; pairs whose vertices come near the circles are left out (the tolerance band).
    Shape disc;
    keloParts discRing(std::vector<Point3D>{{2, 4, 0}, {4, 6, 0}, {6, 4, 0}, {4, 2, 0}, {2, 4, 0}}, klLT3PArc);
    keloParts bulge;
    bulge.InsertPointArray({{1, 1, 0}, {5, 1, 0}}, klLTPolyline);
    bulge.InsertPointArray({{5, 1, 0}, {6.5, 3, 0}, {5, 5, 0}}, klLT3PArc);
    bulge.InsertPointArray({{5, 5, 0}, {1, 5, 0}, {1, 1, 0}}, klLTPolyline);
    struct Curved {
        keloParts ring;
        Point3D centre;
        double r;
    };
    const Curved shapes[] = {{discRing, {4, 4, 0}, 2}, {bulge, {53.0 / 12, 3, 0}, 6.5 - 53.0 / 12}};
    std::mt19937 rng(3);
    auto grid = [&] { return std::uniform_int_distribution<int>(0, 16)(rng) * 0.5; };
    int compared = 0;
    for (const Curved& s : shapes) {
        const GM_Object curved(s.ring, 1);
        GM_Object dense(curved);
        std::vector<Point3D> flat;
        s.ring.Discrete(flat, 1e-7);
        dense.DeleteContent();
        dense.Create(flat, 1, klLTPolyline);
        for (int c = 0; c < 300; ++c) {
            Shape b;
            const int kind = c % 3;
            if (kind == 0) b.points = {{grid(), grid(), 0}};
            else if (kind == 1) b.lines = {{{grid(), grid(), 0}, {grid(), grid(), 0}}};
            else b = Square(grid(), grid(), 1 + (c % 4));
            bool nearCircle = false;
            GM_Object gb = b.Object();
            for (int k = 0; k < gb.GetPartsCount(); ++k) {
                int ring = 0;
                keloParts* p = gb.GetOriginalPartsAt(&ring, k);
                for (int seg = 0; seg < p->GetSegmentCount(); ++seg) {
                    const Point3D* q = p->GetSegmentAt(seg);
                    double d = DistanceToSegment(q[0], q[1], s.centre);
                    double e0 = std::hypot(q[0].x - s.centre.x, q[0].y - s.centre.y);
                    if (std::fabs(d - s.r) < 1e-3 || std::fabs(e0 - s.r) < 1e-3) nearCircle = true;
                }
            }
            for (const Point3D& q : b.points)
                if (std::fabs(std::hypot(q.x - s.centre.x, q.y - s.centre.y) - s.r) < 1e-3) nearCircle = true;
            if (nearCircle || (!b.lines.empty() && b.lines[0][0].x == b.lines[0][1].x && b.lines[0][0].y == b.lines[0][1].y)) continue;
            int exact[8], approx[8];
            Relate9i(curved, gb, 1e-9, exact);
            Relate9i(dense, gb, 1e-9, approx);
            EXPECT_EQ(Text8(exact), Text8(approx)) << b.Wkt();
            ++compared;
        }
    }
    EXPECT_GT(compared, 300);
}

TEST(NineIntersection, BadInputGivesDocumentedAnswers) {
    const GM_Object empty, square = Square(0, 0, 2).Object();
    int dims[8];
    C9iObjIndex ie(&empty), is(&square);
    EXPECT_EQ(ie.Get9i8BOOLEx(&square, 1e-9, dims), kl9iDisjoint);
    for (int d : dims) EXPECT_EQ(d, -1);
    EXPECT_EQ(is.Get9iResult(&empty, 1e-9), kl9iDisjoint);
    EXPECT_EQ(is.Get9i8BOOLResult(&empty, 1e-9), -1);
    EXPECT_EQ(square.intersect(&empty), 0);

    // A line of one point, a ring collapsed to a point, NaN coordinates: no crash, no relation.
    GM_Object onePoint;
    std::vector<Point3D> single{{1, 1, 0}};
    onePoint.Create(single, 0, klLTPolyline);
    EXPECT_EQ(is.Get9iResult(&onePoint, 1e-9), kl9iDisjoint);
    const GM_Object collapsed = Shape{{{{{1, 1, 0}, {1, 1, 0}, {1, 1, 0}, {1, 1, 0}}}}, {}, {}}.Object();
    is.Get9i8BOOLEx(&collapsed, 1e-9, dims);
    EXPECT_EQ(dims[0], -1);
    const GM_Object nan = Shape{{}, {{{NAN, 0, 0}, {1, NAN, 0}, {1, 1, 0}, {3, 1, 0}}}, {}}.Object();
    is.Get9i8BOOLEx(&nan, 1e-9, dims);
    EXPECT_EQ(dims[0], 1);  // the finite stretch (1, 1)-(3, 1) still crosses into the square
    EXPECT_EQ(square.contains(Point3D{NAN, 1, 0}), 0);
    C9iPartsIndex none;
    EXPECT_EQ(none.SetIndex(nullptr, 1), 0);
    int on = 0;
    EXPECT_EQ(none.PointIn({0, 0, 0}, 1e-9, on), 0);

    // Random shapes with non-finite and huge coordinates mixed in: nothing crashes (the sanitizers
    // watch), distances stay finite or -1, and where the coordinates are finite and moderate or not
    // finite at all (no overflow in the squares) the answers stay transposes of each other.
    std::mt19937 rng(5);
    const double odd[] = {NAN, INFINITY, -INFINITY, 1e300, -1e300};
    auto coord = [&] { return rng() % 7 == 0 ? odd[rng() % 5] : static_cast<double>(rng() % 9); };
    for (int c = 0; c < 200; ++c) {
        Shape a, b;
        Ring r;
        bool huge = false;
        for (int k = 0; k < 4; ++k) {
            r.push_back({coord(), coord(), 0});
            huge = huge || std::fabs(r.back().x) == 1e300 || std::fabs(r.back().y) == 1e300;
        }
        a.lines = {r};
        r.push_back(r.front());
        b.polygons = {{r}};
        const GM_Object ga = a.Object(), gb = b.Object();
        int ab[8], ba[8];
        Relate9i(ga, gb, 1e-9, ab);
        Relate9i(gb, ga, 1e-9, ba);
        const int transpose[8] = {0, 3, 6, 1, 4, 7, 2, 5};
        for (int k = 0; k < 8 && !huge; ++k) EXPECT_EQ(ab[k], ba[transpose[k]]) << a.Wkt() << " / " << b.Wkt();
        const double d = DistanceOfGMObject(ga, gb);
        EXPECT_TRUE(d == -1.0 || (d >= 0 && std::isfinite(d))) << c << " " << d;
    }

    // Tolerance 0 and a tolerance larger than both shapes.
    const GM_Object apart = Square(2.5, 0, 2).Object();
    EXPECT_EQ(is.Get9iResult(&apart, 0), kl9iDisjoint);
    EXPECT_NE(is.Get9iResult(&apart, 1e6), kl9iDisjoint);
    EXPECT_EQ(is.Get9iResult(&apart, -1), kl9iDisjoint);

    // Rays that keep meeting vertices: a comb whose tooth tips stand on every half-unit level, so
    // level rays from the probes below run through tips; an even-odd count on rays just off the
    // levels gives the answer.
    Ring comb{{0, 0, 0}};
    for (int k = 0; k < 40; ++k) {
        comb.push_back({k + 0.5, 0.5 + (k % 20) * 0.5, 0});
        comb.push_back({k + 1.0, 0, 0});
    }
    comb.push_back({0, 0, 0});
    const keloParts combRing(comb, klLTPolyline);
    C9iPartsIndex ci;
    ci.SetIndex(&combRing, 1);
    auto evenOdd = [&](double x, double y) {
        bool in = false;
        for (size_t i = 0; i + 1 < comb.size(); ++i) {
            const Point3D &p = comb[i], &q = comb[i + 1];
            if ((p.y > y) != (q.y > y) && x < p.x + (y - p.y) * (q.x - p.x) / (q.y - p.y)) in = !in;
        }
        return in;
    };
    for (int k = 0; k < 40; k += 3)
        for (double y = 0.5; y < 10; y += 0.5) {
            const double x = k + 0.5 - 0.01;
            EXPECT_EQ(ci.PointIn({x, y, 0}, 1e-9, on), evenOdd(x, y + 1e-7) ? 1 : 0) << x << " " << y;
        }
}

TEST(NineIntersection, SelfChecksReadCasesFromFiles) {
    kelo_test::TempHome home;
    const std::string path = home.path("cases.txt");
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    // Case 1: a square with a hole against a point; case 2: two crossing lines.
    std::fputs("3 0 4 0 0 10 0 10 10 0 10\n3 1 4 4 4 6 4 6 6 4 6\n0 0 0\n1 0 1 5 5\n0 0 0\n", f);
    std::fputs("2 0 2 0 0 4 4\n0 0 0\n2 0 2 0 4 4 0\n0 0 0\n", f);
    std::fclose(f);
    GM_Object a;
    FILE* r = std::fopen(path.c_str(), "r");
    ASSERT_EQ(C9iObjIndex::Load_GM_Object(a, r), 1);
    std::fclose(r);
    EXPECT_EQ(a.GetType(), wkbPolygon);
    EXPECT_DOUBLE_EQ(a.GetArea(), 96.0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(KeloObj9iUnitTest(path.c_str()), 0);
    EXPECT_EQ(Kelo8Bool9iUnitTest(path.c_str()), 0);
    EXPECT_EQ(KeloParts9iUnitTest(path.c_str()), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("all 2 cases passed.\n"), std::string::npos);
    EXPECT_EQ(KeloObj9iUnitTest(home.path("missing.txt").c_str()), -1);
}

}  // namespace
