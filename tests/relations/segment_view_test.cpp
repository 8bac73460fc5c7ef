// The view over point runs: where segments start, copies that own their points, point runs built
// from and intersected through segments, recentring, and the noding tallies.
#include <gtest/gtest.h>

#include "relations/segment_tally.h"
#include "relations/segment_test_support.h"

using namespace kelo;
using namespace segtest;

TEST(SegmentView, SegmentsOfARun) {
    Point3D pts[6] = {{0, 0, 1}, {1, 1, 2}, {2, 0, 3}, {3, 1, 4}, {4, 0, 5}, {5, 5, 6}};
    CurveSegment straight{klLTPolyline, 6, pts};
    CurveSegment arcs{klLT3PArc, 6, pts};  // an even count: the last point starts no arc
    struct Case {
        CurveSegment* run;
        int i;
        int first;  // index of the segment's first point, -1 for none
    } cases[] = {
        {&straight, 0, 0}, {&straight, 4, 4}, {&straight, 5, -1}, {&straight, -1, -1},
        {&arcs, 0, 0},     {&arcs, 1, 2},     {&arcs, 2, -1},     {nullptr, 0, -1},
    };
    for (const Case& c : cases) {
        CsSegment s(c.run, c.i);
        EXPECT_EQ(s.points, c.first < 0 ? nullptr : pts + c.first) << c.i;
        if (c.run) {
            EXPECT_EQ(s.type, c.run->lineType);
        }
    }
    CsSegment arc(&arcs, 1);
    EXPECT_EQ(arc.PtCount(), 3);
    EXPECT_EQ(arc.Tail(), pts + 4);
    EXPECT_EQ(arc.zGetZ(), 4.0);
    EXPECT_EQ(CsSegment(&straight, 1).Tail(), pts + 2);
    EXPECT_TRUE(arc.IsSameType(klLT3PCircle));
    EXPECT_FALSE(arc.IsSameType(klLTPolyline));
    CsSegment none;
    EXPECT_EQ(none.points, nullptr);
    EXPECT_EQ(none.type, 0);
    EXPECT_EQ(none.Tail(), nullptr);
}

TEST(SegmentView, ClonesOwnTheirPoints) {
    Seg arc = Arc(0, 0, 1, 1, 2, 0);
    CsSegment c = arc.view().Clone();
    ASSERT_NE(c.points, arc.p.data());
    arc.p[1].y = 7;
    EXPECT_EQ(c.points[1].y, 1) << "a deep copy";
    EXPECT_EQ(c.type, klLT3PArc);
    delete[] c.points;

    CsSegment r;
    Seg line = Line(1, 2, 3, 4);
    line.view().DupSegment(r, 1);
    EXPECT_EQ(r.points[0].x, 3);
    EXPECT_EQ(r.points[1].x, 1);
    EXPECT_EQ(line.p[0].x, 1) << "the source keeps its order";
    delete[] r.points;
}

TEST(SegmentView, PointRunsFromSegments) {
    Seg arc = Arc(0, 0, 1, 1, 2, 0), line = Line(1, 2, 3, 4);
    keloPoints a(arc.view()), b(line.view());
    ASSERT_EQ(a.GetCount(), 3);
    EXPECT_EQ(a.GetLineType(), klLT3PArc);
    EXPECT_EQ(a[2].x, 2);
    ASSERT_EQ(b.GetCount(), 2);
    EXPECT_EQ(b.GetLineType(), klLTPolyline);
    arc.p[0].x = 9;
    EXPECT_EQ(a[0].x, 0) << "the run copies";
    keloPoints c;
    EXPECT_EQ(c.Create(CsSegment()), 0);
}

TEST(SegmentView, IntersectPointsOfRuns) {
    // A zigzag against a horizontal line crosses once per slanted segment.
    Point3D zig[4] = {{0, -1, 0}, {1, 1, 0}, {2, -1, 0}, {3, 1, 0}};
    Point3D hor[2] = {{-1, 0, 0}, {4, 0, 0}};
    keloPoints a(klLTPolyline, 4, zig), b(klLTPolyline, 2, hor);
    std::vector<Point3D> out;
    EXPECT_EQ(a.IntersectPoints(b, out), 1);
    ASSERT_EQ(out.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i].x, 0.5 + i, 1e-12);

    // A full circle (two arcs) against a line through its centre: each arc has both ends on it.
    keloPoints circle(Point3D{0, 0, 0}, 2.0);
    Point3D diameter[2] = {{-5, 0, 0}, {5, 0, 0}};
    keloPoints d(klLTPolyline, 2, diameter);
    std::vector<Point3D> cut;
    EXPECT_EQ(circle.IntersectPoints(d, cut), 1);
    ASSERT_EQ(cut.size(), 4u);
    double sum = 0;
    for (const Point3D& p : cut) {
        EXPECT_NEAR(std::abs(p.x), 2, 1e-12);
        EXPECT_NEAR(p.y, 0, 1e-12);
        sum += p.x;
    }
    EXPECT_NEAR(sum, 0, 1e-12) << "both ends of both arcs";

    Point3D far[2] = {{0, 5, 0}, {3, 5, 0}};
    keloPoints c(klLTPolyline, 2, far);
    std::vector<Point3D> none;
    EXPECT_EQ(a.IntersectPoints(c, none), 0);
    EXPECT_TRUE(none.empty());
}

TEST(SegmentView, RecentringCoversTheBulge) {
    Seg arc = Arc(1000000 - 1, 2000000, 1000000, 2000001, 1000000 + 1, 2000000);
    UniformCoordinate uc;
    uc.Add(arc.view());
    EXPECT_NEAR(uc.extent.max_y(), 2000001, 1e-6);
    EXPECT_NEAR(uc.extent.min_y(), 2000000, 1e-6) << "only the upper half of the circle";
    ASSERT_TRUE(uc.Ready());
    CsSegment s = arc.view();
    uc.Uniform(s);
    EXPECT_NEAR(arc.p[1].x, 0, 1e-9);
    EXPECT_NEAR(arc.p[1].y, 0.5, 1e-9) << "the middle control point moves too";
    EXPECT_NEAR(arc.p[2].x, 1, 1e-9);
    uc.UniformInv(s);
    EXPECT_NEAR(arc.p[2].x, 1000001, 1e-6);
    EXPECT_NEAR(arc.p[1].y, 2000001, 1e-6);
}

TEST(SegmentView, NodingTallies) {
    detail::SegContactTally& t = detail::SegTally();
    t = {};
    uint8_t es = 9, ee = 9, touch = 9, cross = 9;
    EXPECT_FALSE(IsSegIntersect(&es, &ee, &touch, &cross));
    EXPECT_EQ(es + ee + touch + cross, 0);
    t.endStart = 1;
    t.endEnd = 1;
    EXPECT_FALSE(IsSegIntersect(nullptr, nullptr, nullptr, nullptr)) << "a plain joint at each end";
    t.endEnd = 2;
    EXPECT_TRUE(IsSegIntersect(&es, &ee, nullptr, nullptr));
    EXPECT_EQ(ee, 2);
    t = {};
    t.cross = 1;
    EXPECT_TRUE(IsSegIntersect(nullptr, nullptr, nullptr, &cross));
    t.overlap = 1;
    EXPECT_EQ(IsSegOverlapAndReset(), 1);
    EXPECT_EQ(IsSegOverlapAndReset(), 0);
    t = {};
}
