// Multi-part lines through the segment view: neighbouring segments, sides of vertices, the other
// chaining order, part ends, closing, and exact crossing tests with arcs and curves; the object's
// segment access and the freeing of content under an unknown type code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "geometry/geometry_object.h"
#include "geometry/parts.h"
#include "relations/segment.h"

using namespace kelo;

namespace {

keloParts Polyline(std::vector<Point3D> pts) { return keloParts(pts, klLTPolyline); }

// Arc chain (0,0) (1,1) (2,0) (3,-1) (4,0): segments 0 and 1; then a straight run to (6,0), (6,3):
// segments 2 and 3. Vertices 0..6 in that order.
keloParts ArcThenLine(bool closed) {
    keloParts line;
    line.InsertPointArray({{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {3, -1, 0}, {4, 0, 0}}, klLT3PArc);
    line.InsertPointArray({{4, 0, 0}, {6, 0, 0}, {6, 3, 0}}, klLTPolyline);
    if (closed) line.InsertPointArray({{6, 3, 0}, {0, 0, 0}}, klLTPolyline);
    return line;
}

// Upper half of the unit circle about (1, 0), from (0, 0) to (2, 0).
const std::vector<Point3D> kUpperArc = {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}};

keloParts Runs(std::vector<std::pair<std::vector<Point3D>, klLineType>> runs) {
    keloParts line;
    for (auto& [pts, type] : runs) line.InsertPointArray(pts, type);
    return line;
}

}  // namespace

TEST(PartsSegments, SidesOfVerticesAndNeighbouringSegments) {
    struct Case {
        int v, before, after;
    };
    const keloParts open = ArcThenLine(false);
    // The arc's middle points (1 and 3) lie inside their arcs; the joint (4) has the arc before it.
    for (const Case& c : {Case{0, -1, 0}, Case{1, 0, 0}, Case{2, 0, 1}, Case{3, 1, 1}, Case{4, 1, 2}, Case{5, 2, 3},
                          Case{6, 3, -1}, Case{7, -1, -1}, Case{-1, -1, -1}}) {
        EXPECT_EQ(open.GetSideSegAt(c.v, 0), c.before) << "vertex " << c.v;
        EXPECT_EQ(open.GetSideSegAt(c.v, 1), c.after) << "vertex " << c.v;
    }
    const keloParts ring = ArcThenLine(true);
    ASSERT_TRUE(ring.IsClosed());
    EXPECT_EQ(ring.GetSideSegAt(0, 0), 4);
    EXPECT_EQ(ring.GetSideSegAt(6, 1), 4);
    EXPECT_EQ(ring.GetSideSegAt(7, 0), -1);  // the closing point is vertex 0

    // Neighbours of a segment wrap round a ring only.
    int prev = 7, next = 7;
    EXPECT_EQ(open.GetNearbySegment(0, prev, next), 1);
    EXPECT_EQ(prev, -1);
    EXPECT_EQ(ring.GetNearbySegment(0, prev, next), 2);
    EXPECT_EQ(prev, 4);
    EXPECT_EQ(open.GetNearbySegment(4, prev, next), 0);
    EXPECT_EQ(next, -1);
}

TEST(PartsSegments, OtherOrderAndPartEnds) {
    // Loose pieces of one chain in shuffled order and direction, plus a piece elsewhere.
    keloParts loose = Runs({{{{1, 0, 0}, {2, 0, 0}}, klLTPolyline},
                            {{{1, 0, 0}, {0, 0, 0}}, klLTPolyline},
                            {{{3, 0, 0}, {2, 0, 0}}, klLTPolyline},
                            {{{10, 10, 0}, {11, 10, 0}}, klLTPolyline}});
    keloParts copy(loose);
    std::unique_ptr<keloParts> forward(copy.PutInOrder());
    std::unique_ptr<keloParts> backward(loose.PutInOtherOrder());
    ASSERT_NE(forward, nullptr);
    ASSERT_NE(backward, nullptr);
    std::vector<Point3D> f, b;
    forward->GetAllVertex(f);
    backward->GetAllVertex(b);
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(f.front().x, 0);
    ASSERT_EQ(b.size(), f.size());
    for (size_t i = 0; i < f.size(); ++i) EXPECT_EQ(b[i].x, f[f.size() - 1 - i].x);
    // The chained pieces leave the line; the unrelated one stays.
    ASSERT_EQ(loose.GetPartsCount(), 1);
    EXPECT_EQ((*loose.GetOriginalPointsAt(0))[0].x, 10);
    EXPECT_EQ(keloParts().PutInOtherOrder(), nullptr);

    const keloParts pieces = Runs({{{{0, 0, 0}, {1, 0, 0}}, klLTPolyline}, {{{1, 0, 0}, {2, 0, 0}}, klLTPolyline}});
    struct Case {
        Point3D p;
        int state, part;
    };
    for (const Case& c : {Case{{0, 0, 0}, 1, 0}, Case{{2, 0, 0}, 2, 1}, Case{{1, 0, 0}, 2, 0},
                          Case{{1e-9, 0, 0}, 1, 0}, Case{{0.5, 0, 0}, 0, -1}}) {
        int part = -1;
        EXPECT_EQ(pieces.FindPathState(c.p, &part), c.state) << c.p.x;
        EXPECT_EQ(part, c.part) << c.p.x;
    }
}

TEST(PartsSegments, MakeCloseAppendsTheFirstPointToTheLastRun) {
    // The closing piece continues the last run: an arc chain closes along its circle.
    keloParts arc(kUpperArc, klLT3PArc);
    ASSERT_EQ(arc.MakeClose(), 1);
    ASSERT_EQ(arc.GetPartsCount(), 1);
    EXPECT_EQ(arc.GetOriginalPointsAt(0)->GetCount(), 4);
    EXPECT_TRUE(arc.IsClosed());
    EXPECT_NEAR(std::abs(arc.GetArea()), M_PI, 1e-9);
    EXPECT_EQ(arc.MakeClose(), 0);  // already closed

    keloParts bezier(std::vector<Point3D>{{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}}, klLTBezier);
    ASSERT_EQ(bezier.MakeClose(), 1);
    EXPECT_EQ(bezier.GetPartsCount(), 1);
    EXPECT_EQ(bezier.GetOriginalPointsAt(0)->GetCount(), 5);
    EXPECT_EQ(keloParts().MakeClose(), 0);
}

TEST(PartsSegments, SelfIntersectionWithArcs) {
    struct Case {
        const char* what;
        keloParts line;
        bool crosses;
    };
    keloPoints circle(klLT3PCircle, 3, std::vector<Point3D>{{-1, 0, 0}, {0, 1, 0}, {1, 0, 0}}.data());
    const std::vector<Case> cases = {
        {"three-point circle", keloParts(circle), false},
        {"two half arcs of one circle", Runs({{kUpperArc, klLT3PArc}, {{{2, 0, 0}, {1, -1, 0}, {0, 0, 0}}, klLT3PArc}}),
         false},
        {"an arc and its reverse", Runs({{kUpperArc, klLT3PArc}, {{{2, 0, 0}, {1, 1, 0}, {0, 0, 0}}, klLT3PArc}}), true},
        {"the next segment cuts back through the arc",
         Runs({{kUpperArc, klLT3PArc}, {{{2, 0, 0}, {1, 2, 0}}, klLTPolyline}}), true},
        {"the next segment leaves the arc", Runs({{kUpperArc, klLT3PArc}, {{{2, 0, 0}, {3, 0, 0}}, klLTPolyline}}),
         false},
        // Read as its control points the arc would not be met: the segment stops short of them.
        {"a later segment meets only the curve",
         Runs({{kUpperArc, klLT3PArc}, {{{2, 0, 0}, {2, 0.9, 0}, {1.2, 0.9, 0}}, klLTPolyline}}), true},
        {"parts that do not join but touch", Runs({{{{0, 0, 0}, {2, 0, 0}}, klLTPolyline},
                                                   {{{5, 5, 0}, {1, 0, 0}}, klLTPolyline}}),
         true},
        {"a closed D shape", Runs({{kUpperArc, klLT3PArc}, {{{2, 0, 0}, {0, 0, 0}}, klLTPolyline}}), false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.line.IsSelfIntersect(), c.crosses) << c.what;
    // The validity flag runs the same test at the tolerance it is given.
    // The line ends 5e-6 above the top of the arc.
    const keloParts near = Runs({{kUpperArc, klLT3PArc}, {{{2, 0, 0}, {3, 2, 0}, {1, 1 + 5e-6, 0}}, klLTPolyline}});
    EXPECT_EQ(near.IsNormal(1e-6, 32), 1);
    EXPECT_EQ(near.IsNormal(1e-5, 32), 0);
}

TEST(PartsSegments, MeetingPointsAreExactOnArcsAndCurves) {
    const keloParts arc(kUpperArc, klLT3PArc);
    std::vector<Point3D> hits;
    ASSERT_EQ(arc.IntersectParts(Polyline({{-1, 0.5, 0}, {3, 0.5, 0}}), hits), 2);
    std::vector<double> xs = {hits[0].x, hits[1].x};
    std::sort(xs.begin(), xs.end());
    EXPECT_NEAR(xs[0], 1 - std::sqrt(0.75), 1e-12);
    EXPECT_NEAR(xs[1], 1 + std::sqrt(0.75), 1e-12);
    // A point shared by two segments of each line is reported once.
    hits.clear();
    EXPECT_EQ(Polyline({{0, 0, 0}, {1, 1, 0}, {2, 0, 0}}).IntersectParts(Polyline({{0, 2, 0}, {1, 1, 0}, {2, 2, 0}}), hits),
              1);

    // A three-point circle is read whole, not as the arc through its three points.
    keloPoints circle(klLT3PCircle, 3, std::vector<Point3D>{{-1, 0, 0}, {0, 1, 0}, {1, 0, 0}}.data());
    std::vector<Point3D> cut;
    ASSERT_EQ(circle.IntersectPoints(keloPoints(0, -2, 0, 2), cut), 1);
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_NEAR(std::abs(cut[0].y), 1, 1e-12);
    EXPECT_NEAR(cut[0].y, -cut[1].y, 1e-12);
    // A Bezier run is met on its curve (peak 1.5 at x = 1), not on its control polygon (2).
    keloPoints bezier(klLTBezier, 4, std::vector<Point3D>{{0, 0, 0}, {0, 2, 0}, {2, 2, 0}, {2, 0, 0}}.data());
    std::vector<Point3D> top;
    ASSERT_EQ(bezier.IntersectPoints(keloPoints(1, -1, 1, 3), top), 1);
    ASSERT_FALSE(top.empty());
    EXPECT_NEAR(top[0].y, 1.5, 1e-5);
}

TEST(GmObjectSegments, SegmentOfAFlatPart) {
    keloPolygon poly(Polyline({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}, {0, 0, 0}}));
    poly.InsertRing(Polyline({{2, 2, 0}, {2, 4, 0}, {4, 4, 0}, {2, 2, 0}}), 1);
    GM_Object g(poly);
    g.InsertPartsAt(keloParts(kUpperArc, klLT3PArc), -1, 0);  // a collection: polygon then line
    CsSegment seg;
    ASSERT_EQ(g.GetSegment(1, 2, seg), 1);  // the hole's last segment
    EXPECT_EQ(seg.Head()->x, 4);
    ASSERT_EQ(g.GetSegment(2, 0, seg), 1);
    EXPECT_TRUE(seg.Is3PArc());
    for (auto [part, index] : {std::pair{0, 4}, {3, 0}, {-1, 0}}) EXPECT_EQ(g.GetSegment(part, index, seg), 0);
}

TEST(GmObjectSegments, PolygonOrientation) {
    keloPolygon ccw(Polyline({{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}, {0, 0, 0}}));
    ccw.InsertRing(Polyline({{1, 1, 0}, {2, 1, 0}, {2, 2, 0}, {1, 1, 0}}), 1);  // counter-clockwise hole
    GM_Object g(ccw);
    g.InsertPolygon(keloPolygon(Polyline({{9, 0, 0}, {9, 1, 0}, {10, 1, 0}, {9, 0, 0}})));  // clockwise
    EXPECT_EQ(g.IsClockwised(), 0);
    ASSERT_EQ(g.ClockwiseObj(0, 1), 2);
    EXPECT_EQ(g.IsClockwised(), 1);
    EXPECT_GT(g.GetOriginalPolygonAt(0)->GetOriginalRingAt(1)->GetArea(), 0);  // the hole runs the other way
    EXPECT_NEAR(g.GetArea(), 16 - 0.5 + 0.5, 1e-12);
    ASSERT_EQ(g.NormalizeInAndOutRings(0), 1);
    EXPECT_EQ(g.IsClockwised(), 0);
    EXPECT_FALSE(g.GetOriginalPolygonAt(1)->IsClockwise());
    EXPECT_EQ(GM_Object(Point3D{0, 0, 0}).IsClockwised(), 0);
}

TEST(GmObjectSegments, UnknownTypeCodeFreesTheContent) {
    // The leak checker is the judge: the parts must be freed before the code stops naming them.
    for (int code : {-1, 10, 1 << 20}) {
        GM_Object g(keloParts(kUpperArc, klLT3PArc), 1);
        g.SetType(code);
        EXPECT_EQ(static_cast<int>(g.GetType()), code);
        EXPECT_EQ(g.GetPartsCount(), 0);
    }
    GM_Object line(keloParts(kUpperArc, klLT3PArc), 0);
    line.SetType(wkbLineString);  // a known code is written and nothing else changes
    EXPECT_EQ(line.GetPartsCount(), 1);
}
