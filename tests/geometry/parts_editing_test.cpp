// Multi-part lines: editing parts and points, segment numbering across parts, searches, merging,
// crossing tests, and the unfinished polygon normalising message.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "companion/gbk.h"
#include "companion/ui.h"
#include "geometry/bezier.h"
#include "geometry/parts.h"

using namespace kelo;

namespace {

keloParts Polyline(std::vector<Point3D> pts) { return keloParts(pts, klLTPolyline); }

std::vector<Point3D> Vertices(const keloParts& line) {
    std::vector<Point3D> v;
    line.GetAllVertex(v);
    return v;
}

std::vector<double> Xs(const keloParts& line) {
    std::vector<double> xs;
    for (const Point3D& p : Vertices(line)) xs.push_back(p.x);
    return xs;
}

// An arc chain of two arcs (5 points) from (0,0) to (4,0), then a straight run to (6,0), (6,3).
keloParts ArcThenLine() {
    keloParts line;
    line.InsertPointArray({{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {3, -1, 0}, {4, 0, 0}}, klLT3PArc);
    line.InsertPointArray({{4, 0, 0}, {6, 0, 0}, {6, 3, 0}}, klLTPolyline);
    return line;
}

}  // namespace

TEST(PartsEditing, PartsInsertReplaceDeleteCombine) {
    keloParts line = Polyline({{0, 0, 0}, {1, 0, 0}});
    keloPoints run(klLTPolyline, 2, std::vector<Point3D>{{1, 0, 0}, {2, 0, 0}}.data());
    ASSERT_EQ(line.InsertPointsAt(run, 1000), 1);  // past the end appends
    EXPECT_EQ(Xs(line), (std::vector<double>{0, 1, 2}));
    ASSERT_EQ(line.InsertPointsAt(keloPoints(-1, 0, 0, 0), 0), 1);
    EXPECT_EQ(Xs(line), (std::vector<double>{-1, 0, 1, 2}));

    // GetPointsAt hands out independent copies.
    keloPoints* copy = line.GetPointsAt(1);
    ASSERT_NE(copy, nullptr);
    copy->ReplacePointAt({9, 9, 0}, 0);
    EXPECT_EQ((*line.GetOriginalPointsAt(1))[0].x, 0);
    delete copy;
    EXPECT_EQ(line.GetPointsAt(3), nullptr);

    ASSERT_EQ(line.ReplacePointsAt(keloPoints(0, 0, 5, 0), 1), 1);
    EXPECT_EQ(line.ReplacePointsAt(run, 3), 0);
    ASSERT_EQ(line.DeletePointsAt(0), 1);
    EXPECT_EQ(line.DeletePointsAt(5), 0);
    EXPECT_EQ(line.GetPartsCount(), 2);

    keloParts other(line);
    ASSERT_EQ(line.Combine(other), 1);
    EXPECT_EQ(line.GetPartsCount(), 4);
    ASSERT_EQ(line.Combine(line), 1);  // combining with itself doubles, safely
    EXPECT_EQ(line.GetPartsCount(), 8);
    EXPECT_EQ(line.Combine(keloParts()), 0);
    while (line.GetPartsCount()) line.DeletePointsAt(0);
    EXPECT_TRUE(line.IsNull());
}

TEST(PartsEditing, JoiningRunsAndTerminalPoints) {
    keloParts line = Polyline({{0, 0, 0}, {1, 0, 0}});
    // Same type starting at the end: merged into the part.
    ASSERT_EQ(line.AddPointsTo(keloPoints(1, 0, 2, 0), -1), 1);
    EXPECT_EQ(line.GetPartsCount(), 1);
    EXPECT_EQ(line.GetAuxPointCount(), 3);
    // Another type: a part of its own.
    Point3D arc[3] = {{2, 0, 0}, {3, 1, 0}, {4, 0, 0}};
    ASSERT_EQ(line.AddPointsTo(keloPoints(klLT3PArc, 3, arc), -1), 1);
    EXPECT_EQ(line.GetPartsCount(), 2);
    // A further arc joins the arc chain and keeps its count odd.
    Point3D arc2[3] = {{4, 0, 0}, {5, -1, 0}, {6, 0, 0}};
    ASSERT_EQ(line.AddPointsTo(keloPoints(klLT3PArc, 3, arc2), -1), 1);
    EXPECT_EQ(line.GetPartsCount(), 2);
    EXPECT_EQ(line.GetOriginalPointsAt(1)->GetCount(), 5);

    // Points at the start of a straight first part go in front in the order given.
    Point3D lead[2] = {{-2, 0, 0}, {-1, 0, 0}};
    ASSERT_EQ(line.AddPtsAtTerminal(0, lead, 2), 1);
    EXPECT_EQ((*line.GetOriginalPointsAt(0))[0].x, -2);
    // At the end of a curved part they form a straight part of their own, joined to it.
    Point3D tail[1] = {{7, 0, 0}};
    ASSERT_EQ(line.AddPtsAtTerminal(1, tail, 1), 1);
    ASSERT_EQ(line.GetPartsCount(), 3);
    EXPECT_EQ(line.GetOriginalPointsAt(2)->GetCount(), 2);
    EXPECT_EQ(line.IsNormal(1e-8, 1), 1);

    Point3D extra[2] = {{0.25, 0, 0}, {0.5, 0, 0}};
    ASSERT_EQ(line.InsertPtsIntoSegAt(2, extra, 2), 1);  // segment 2 is (0,0)-(1,0)
    EXPECT_EQ((*line.GetOriginalPointsAt(0))[3].x, 0.25);
    int arcSeg = line.GetOriginalPointsAt(0)->GetSegmentCount();
    EXPECT_EQ(line.InsertPtsIntoSegAt(arcSeg, extra, 2), 0);  // arcs are not split this way

    keloParts empty;
    ASSERT_EQ(empty.InsertPoint({1, 1, 0}), 1);
    ASSERT_EQ(empty.InsertPoint({2, 2, 0}), 1);
    EXPECT_EQ(empty.GetAuxPointCount(), 2);
}

TEST(PartsEditing, SegmentsNumberAcrossParts) {
    keloParts line = ArcThenLine();
    EXPECT_EQ(line.GetSegmentCount(), 4);  // two arcs, two straight segments
    EXPECT_EQ(line.GetVertexAtSegment(1), 2);
    EXPECT_EQ(line.GetVertexAtSegment(2), 4);
    EXPECT_EQ(line.GetVertexAtSegment(3), 5);
    EXPECT_EQ(line.GetVertexAtSegment(4), -1);
    ASSERT_NE(line.GetSegmentAt(2), nullptr);
    EXPECT_EQ(line.GetSegmentAt(2)->x, 4);
    int local = -1;
    keloPoints* part = line.GetPointsWithSegAt(3, local);
    ASSERT_EQ(part, line.GetOriginalPointsAt(1));
    EXPECT_EQ(local, 1);
    EXPECT_EQ(line.GetPrevSegment(0), -1);
    EXPECT_EQ(line.GetNextSegment(3), -1);

    keloParts ring = Polyline({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 0}});
    EXPECT_EQ(ring.GetPrevSegment(0), 2);
    EXPECT_EQ(ring.GetNextSegment(2), 0);

    double dist = -1;
    EXPECT_EQ(line.SearchVertexAtNearPt({5.9, 2.8, 0}, dist), 6);
    EXPECT_NEAR(dist, std::hypot(0.1, 0.2), 1e-12);
    EXPECT_EQ(line.SearchSegAtNearPt({5, 0.1, 0}, dist), 2);
    EXPECT_NEAR(dist, 0.1, 1e-6);
    EXPECT_EQ(line.SearchSegAtNearPt({3, -1.05, 0}, dist), 1);  // under the second arc's bulge
    EXPECT_NEAR(dist, 0.05, 1e-6);

    // The distance to an arc is measured to the arc, not its chord.
    EXPECT_NEAR(line.DistanceToPoint({1, 0, 0}), 1.0, 1e-12);
    EXPECT_NEAR(line.GetPerimeter(), 2 * M_PI + 2 + 3, 1e-12);

    // Sub-line from vertex 1 to vertex 5 crosses the joint at vertex 4 once.
    keloParts sub;
    ASSERT_EQ(line.GetSubPartsFromVertexAt(1, 5, sub), 1);
    EXPECT_EQ(Xs(sub), (std::vector<double>{1, 2, 3, 4, 6}));
    EXPECT_EQ(line.GetSubPartsFromVertexAt(3, 9, sub), 0);
    // Starting at the joint: only the straight run.
    ASSERT_EQ(line.GetSubPartsFromVertexAt(4, 6, sub), 1);
    EXPECT_EQ(sub.GetPartsCount(), 1);
    EXPECT_EQ(Xs(sub), (std::vector<double>{4, 6, 6}));

    SearchSegResult r;
    ASSERT_EQ(line.SearchNearestPoint(r, {6.0, 2.9, 0}, 0.5), 1);
    EXPECT_EQ(r.partIndex, 1);
    EXPECT_EQ(r.index, 2);
}

TEST(PartsEditing, DeletingVerticesKeepsRingsClosed) {
    keloParts ring = Polyline({{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {1, 3, 0}, {0, 2, 0}, {0, 0, 0}});
    ASSERT_EQ(ring.DeleteVertexAt(0), 1);
    EXPECT_TRUE(ring.IsClosed());
    EXPECT_EQ(ring.GetVertexCount(), 4);
    EXPECT_EQ(Xs(ring), (std::vector<double>{2, 2, 1, 0}));
    ASSERT_EQ(ring.DeleteVertextFromAt(1, 2), 1);
    EXPECT_EQ(ring.GetVertexCount(), 2);
    EXPECT_EQ(ring.DeleteVertexAt(7), 0);
}

TEST(PartsEditing, MergeWithAnotherAtEitherEnd) {
    struct Case {
        const char* what;
        std::vector<Point3D> other;
        std::vector<double> xs;
        double jointX;
    } cases[] = {
        {"after, same way", {{2, 0, 0}, {3, 0, 0}}, {0, 1, 2, 3}, 2},
        {"after, reversed", {{3, 0, 0}, {2, 0, 0}}, {0, 1, 2, 3}, 2},
        {"before, same way", {{-1, 0, 0}, {0, 0, 0}}, {-1, 0, 1, 2}, 0},
        {"before, reversed", {{0, 0, 0}, {-1, 0, 0}}, {-1, 0, 1, 2}, 0},
    };
    for (const Case& c : cases) {
        keloParts line = Polyline({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
        Point3D joint{};
        ASSERT_EQ(line.MergeWithAnother(Polyline(c.other), &joint), 1) << c.what;
        EXPECT_EQ(Xs(line), c.xs) << c.what;
        EXPECT_EQ(joint.x, c.jointX) << c.what;
    }
    keloParts line = Polyline({{0, 0, 0}, {1, 0, 0}});
    EXPECT_EQ(line.MergeWithAnother(Polyline({{5, 5, 0}, {6, 6, 0}}), nullptr), 0);
}

TEST(PartsEditing, CrossingTestsOnLinesAndRings) {
    keloParts bowtie = Polyline({{0, 0, 0}, {2, 2, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, 0}});
    EXPECT_TRUE(bowtie.IsSelfIntersect());
    EXPECT_EQ(bowtie.IsNormal(1e-8, 32), 0);
    keloParts square = Polyline({{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}, {0, 0, 0}});
    EXPECT_FALSE(square.IsSelfIntersect());
    EXPECT_EQ(square.IsNormal(1e-8, 32 | 15), 1);
    // Folding back onto itself is a self-intersection too.
    EXPECT_TRUE(Polyline({{0, 0, 0}, {2, 0, 0}, {1, 0, 0}}).IsSelfIntersect());

    std::vector<Point3D> hits;
    EXPECT_EQ(square.IntersectParts(Polyline({{1, -1, 0}, {1, 3, 0}}), hits), 2);
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_NEAR(hits[0].x, 1, 1e-12);

    keloPolygon polygon(square);
    polygon.InsertRing(Polyline({{1, 1, 0}, {3, 1, 0}, {3, 1.5, 0}, {1, 1, 0}}), 1);  // hole crosses the outer ring
    EXPECT_EQ(polygon.GetRelationPolygon(1e-8), 0);
    EXPECT_EQ(polygon.IsNormal(1e-8, 128), 0);
    keloPolygon good(square);
    good.InsertRing(Polyline({{0.5, 0.5, 0}, {0.5, 1, 0}, {1, 1, 0}, {0.5, 0.5, 0}}), 1);
    EXPECT_EQ(good.IsNormal(1e-8, 128), 1);
}

TEST(PartsEditing, PolygonNormalizingOnlyReportsUnfinished) {
    static std::string shown;
    KeloUiHandler capture;
    capture.messageBox = [](void*, const char* text, uint32_t) {
        shown = text;
        return kIdOk;
    };
    KeloUiHandler previous = SetKeloUiHandler(&capture);
    keloPolygon polygon(Polyline({{0, 0, 0}, {0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 0}}));
    polygon.Normalizing(1e-8, 15);
    SetKeloUiHandler(&previous);
    EXPECT_EQ(shown, KELO_GBK("keloPolygon::Normalizing未完成"));
    EXPECT_EQ(polygon.GetOriginalRingAt(0)->GetAuxPointCount(), 5);  // unchanged
}

TEST(PartsEditing, FindPathSplitsCurvesWhereThePointsAre) {
    keloParts line = ArcThenLine();
    keloParts path;
    ASSERT_EQ(line.FindPath({1, 1.2, 0}, {5, 0.3, 0}, path), 1);  // nearest positions (1, 1) and (5, 0)
    EXPECT_NEAR(path.GetPerimeter(), 1.5 * M_PI + 1, 1e-9);
    Point3D first, last;
    ASSERT_TRUE(path.GetEndPoints(&first, &last));
    EXPECT_NEAR(first.x, 1, 1e-12);
    EXPECT_NEAR(first.y, 1, 1e-12);
    EXPECT_EQ(last.x, 5);
    keloParts back;
    ASSERT_EQ(line.FindPath({5, 0.3, 0}, {1, 1.2, 0}, back), 1);
    ASSERT_TRUE(back.GetEndPoints(&first, nullptr));
    EXPECT_EQ(first.x, 5);
    EXPECT_NEAR(back.GetPerimeter(), 1.5 * M_PI + 1, 1e-9);

    // A Bezier run cut at a point on it: the two paths add up to the whole curve.
    Point3D bz[4] = {{0, 0, 0}, {0, 4, 0}, {6, 4, 0}, {6, 0, 0}};
    keloParts curve(keloPoints(klLTBezier, 4, bz));
    Point3D mid = curve.GetOriginalPointsAt(0)->GetMidPoint();
    keloParts left, right;
    ASSERT_EQ(curve.FindPath(bz[0], mid, left), 1);
    ASSERT_EQ(curve.FindPath(mid, bz[3], right), 1);
    // Against the curve's length sampled densely (the whole-curve length itself is cut in at most
    // 32 chords, so it is the coarser figure).
    double dense = 0;
    for (int i = 0; i < 20000; ++i) {
        Point3D p = BezierPointAt(bz, 4, i / 20000.0), q = BezierPointAt(bz, 4, (i + 1) / 20000.0);
        dense += std::hypot(q.x - p.x, q.y - p.y);
    }
    EXPECT_NEAR(left.GetPerimeter() + right.GetPerimeter(), dense, 1e-3);
    EXPECT_NEAR(left.GetPerimeter(), right.GetPerimeter(), 1e-2);  // symmetric curve, cut in the middle

    EXPECT_EQ(keloParts().FindPath({0, 0, 0}, {1, 1, 0}, path), 0);

    keloParts smooth = ArcThenLine();
    EXPECT_EQ(smooth.Change2SmoothPolyline(), 1);
    EXPECT_EQ(smooth.GetOriginalPointsAt(1)->GetLineType(), klLTSpline);
    EXPECT_EQ(smooth.GetOriginalPointsAt(0)->GetLineType(), klLT3PArc);
}

TEST(PartsEditing, ValidityReportsTheFaultyPoint) {
    // A gap between parts: the later part's first point is reported.
    keloParts gap;
    gap.InsertPointArray({{0, 0, 0}, {1, 0, 0}}, klLTPolyline);
    gap.InsertPointArray({{1, 0.5, 0}, {2, 0, 0}}, klLTPolyline);
    EXPECT_EQ(gap.IsNormal(1e-8, 0), 1);
    ASSERT_EQ(gap.IsNormal(1e-8, 1), 0);
    EXPECT_EQ(g_lastAbnormalPoint.y, 0.5);

    // Rings must be closed with some area under flag 16; the first vertex is reported.
    keloPolygon open;
    keloParts flat = Polyline({{3, 3, 0}, {4, 3, 0}, {5, 3, 0}, {3, 3, 0}});
    open.InsertRing(flat, 1);
    ASSERT_EQ(open.IsNormal(1e-8, 16), 0);
    EXPECT_EQ(g_lastAbnormalPoint.x, 3);
    keloPolygon fine(Polyline({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 0}}));
    EXPECT_EQ(fine.IsNormal(1e-8, 16 | 64 | 15), 1);

    // The convex hull of a run comes back as a closed counter-clockwise ring.
    keloPoints cloud(klLTNone, 6,
                     std::vector<Point3D>{{0, 0, 0}, {4, 0, 0}, {2, 1, 0}, {4, 3, 0}, {1, 2, 0}, {0, 3, 0}}.data());
    keloParts* hull = cloud.ConvexHull();
    ASSERT_NE(hull, nullptr);
    EXPECT_TRUE(hull->IsClosed());
    EXPECT_DOUBLE_EQ(hull->GetArea(), 12.0);
    EXPECT_EQ(hull->GetVertexCount(), 4);
    delete hull;
}

TEST(PartsEditing, DistanceFollowsATrailingHalfArc) {
    // Arc (1,0)-(0,1)-(-1,0) and a trailing half arc to (0,-1) on the unit circle.
    keloParts line;
    line.InsertPointArray({{1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}}, klLT3PArc);
    const double s = std::sqrt(0.5);
    EXPECT_NEAR(line.DistanceToPoint({-2 * s, -2 * s, 0}), 1.0, 1e-12);  // beyond the half arc's bulge
    EXPECT_NEAR(line.DistanceToPoint({0, 0, 0}), 1.0, 1e-12);
    // Below-right the half arc has ended: the nearest point is its end (0,-1), not the circle.
    EXPECT_NEAR(line.DistanceToPoint({0.5, -2, 0}), std::hypot(0.5, 1.0), 1e-12);
}
