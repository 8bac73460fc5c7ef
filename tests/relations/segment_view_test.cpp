// The view over point runs: where segments start, copies that own their points, point runs built
// from and intersected through segments, recentring, and the noding tallies.
#include <gtest/gtest.h>

#include "relations/segment_tally.h"
#include "relations/segment_test_support.h"

using namespace kelo;
using namespace segtest;

TEST(SegmentView, SegmentsOfARunAndCopies) {
    Point3D pts[6] = {{0, 0, 1}, {1, 1, 2}, {2, 0, 3}, {3, 1, 4}, {4, 0, 5}, {5, 5, 6}};
    CurveSegment straight{klLTPolyline, 6, pts}, arcs{klLT3PArc, 6, pts};  // the 6th point starts no arc
    struct Case {
        CurveSegment* run;
        int i, first;  // first: index of the segment's first point, -1 for none
    } cases[] = {{&straight, 4, 4}, {&straight, 5, -1}, {&straight, -1, -1}, {&arcs, 1, 2}, {&arcs, 2, -1},
                 {nullptr, 0, -1}};
    for (const Case& c : cases)
        EXPECT_EQ(CsSegment(c.run, c.i).points, c.first < 0 ? nullptr : pts + c.first) << c.i;
    CsSegment arc(&arcs, 1);
    EXPECT_EQ(arc.Tail(), pts + 4);
    EXPECT_EQ(arc.zGetZ(), 4.0);
    EXPECT_EQ(CsSegment(&straight, 1).Tail(), pts + 2);

    CsSegment c = arc.Clone(), r;
    arc.DupSegment(r, 1);
    pts[3].y = 7;
    EXPECT_EQ(c.points[1].y, 1) << "a deep copy";
    EXPECT_EQ(r.points[0].x, 4) << "reversed";
    EXPECT_EQ(r.type, klLT3PArc);
    delete[] c.points;
    delete[] r.points;

    keloPoints run(arc), line(CsSegment(&straight, 0));
    EXPECT_EQ(run.GetCount(), 3);
    EXPECT_EQ(run.GetLineType(), klLT3PArc);
    EXPECT_EQ(run[2].x, 4);
    EXPECT_EQ(line.GetCount(), 2);
    EXPECT_NE(run.points, pts + 2);
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
        EXPECT_NEAR(std::abs(p.x) + std::abs(p.y), 2, 1e-12);
        sum += p.x;
    }
    EXPECT_NEAR(sum, 0, 1e-12) << "both ends of both arcs";

    std::vector<Point3D> none;
    EXPECT_EQ(a.IntersectPoints(keloPoints(0, 5, 3, 5), none), 0);
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
    SegContactTally& t = SegIntersectTally();
    t = {};
    t.endStart = t.endEnd = 1;
    EXPECT_FALSE(IsSegIntersect(nullptr, nullptr, nullptr, nullptr)) << "a plain joint at each end";
    uint8_t ee = 0;
    t.endEnd = 2;
    EXPECT_TRUE(IsSegIntersect(nullptr, &ee, nullptr, nullptr));
    EXPECT_EQ(ee, 2);
    t = {};
    t.overlap = 1;
    EXPECT_EQ(IsSegOverlapAndReset(), 1);
    EXPECT_EQ(IsSegOverlapAndReset(), 0);
}
