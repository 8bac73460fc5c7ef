// Segment relations over whole lines and objects: overlaps of two lines, shared joint points of
// neighbouring runs, the segment nearest to a point or along a segment, and arcs recovered from
// straight runs.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geometry/geometry_object.h"
#include "geometry/parts.h"
#include "relations/segment.h"

using namespace kelo;

namespace {

keloParts Polyline(std::vector<Point3D> pts) { return keloParts(pts, klLTPolyline); }

keloParts Runs(std::vector<std::vector<Point3D>> runs) {
    keloParts line;
    for (auto& pts : runs) line.InsertPointArray(pts, klLTPolyline);
    return line;
}

GM_Object Lines(std::vector<keloParts> lines) {
    GM_Object g;
    for (const keloParts& l : lines) g.InsertPartsAt(l, -1, 0);
    return g;
}

// Points on the circle of radius r about the origin from angle a0 to a1 (degrees) every step degrees.
std::vector<Point3D> Sampled(double r, double a0, double a1, double step) {
    std::vector<Point3D> pts;
    int n = static_cast<int>(std::lround((a1 - a0) / step));
    for (int i = 0; i <= n; ++i) {
        double a = (a0 + i * step) * M_PI / 180;
        pts.push_back({r * std::cos(a), r * std::sin(a), 0});
    }
    return pts;
}

}  // namespace

TEST(SegmentParts, OverlapAndDirectionOfTwoLines) {
    keloParts base = Runs({{{-5, 3, 0}, {-4, 3, 0}}, {{-4, 3, 0}, {0, 0, 0}, {4, 0, 0}}});
    struct Case {
        const char* what;
        keloParts other;
        int expected;
    };
    const std::vector<Case> cases = {
        {"inside, same way", Polyline({{1, 0, 0}, {3, 0, 0}}), 3},
        {"inside, other way", Polyline({{3, 0, 0}, {1, 0, 0}}), 1},
        {"parallel apart", Polyline({{0, 1, 0}, {4, 1, 0}}), 0},
        {"crossing only", Polyline({{2, -1, 0}, {2, 1, 0}}), 0},
        {"second run of a longer line", Runs({{{9, 9, 0}, {8, 8, 0}}, {{-4.5, 3, 0}, {-4.2, 3, 0}}}), 3},
    };
    for (const Case& c : cases) {
        keloParts other = c.other;
        EXPECT_EQ(HasOverlapAndSameDirectParts(&base, &other, 1e-8), c.expected) << c.what;
    }
    keloParts arc(std::vector<Point3D>{{0, 0, 0}, {1, 1, 0}, {2, 0, 0}}, klLT3PArc);
    keloParts back(std::vector<Point3D>{{2, 0, 0}, {1, 1, 0}, {0, 0, 0}}, klLT3PArc);
    EXPECT_EQ(HasOverlapAndSameDirectParts(&arc, &back, 1e-8), 1);
    EXPECT_EQ(HasOverlapAndSameDirectParts(&arc, nullptr, 1e-8), 0);
}

TEST(SegmentParts, SharedJointPointsOfNeighbouringRuns) {
    keloParts ring = Runs({{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {{2, 0, 0}, {2, 1, 0}}, {{2, 1, 0}, {0, 0, 0}}});
    auto* r0 = ring.GetOriginalPointsAt(0);
    auto* r1 = ring.GetOriginalPointsAt(1);
    auto* r2 = ring.GetOriginalPointsAt(2);
    struct Case {
        int i, atEnd;
        Point3D* expected;
    };
    for (const Case& c : {Case{1, 0, &(*r0)[2]}, Case{1, 1, &(*r2)[0]}, Case{0, 0, &(*r2)[1]}, Case{2, 1, &(*r0)[0]},
                          Case{0, 1, nullptr}, Case{0, 2, &(*r1)[0]}, Case{3, 0, nullptr}, Case{-1, 0, nullptr}})
        EXPECT_EQ(GetNeighbourSamePtAt(&ring, c.i, c.atEnd), c.expected) << c.i << "," << c.atEnd;
    EXPECT_EQ(GetNeighbourSamePtAt(nullptr, 0, 0), nullptr);

    keloParts open = Runs({{{0, 0, 0}, {1, 0, 0}}, {{1, 0, 0}, {2, 5, 0}}});
    EXPECT_EQ(GetNeighbourSamePtAt(&open, 0, 0), nullptr);
    EXPECT_EQ(GetNeighbourSamePtAt(&open, 1, 1), nullptr);
    // A lone three-point circle is closed without a shared point: nothing to wrap to.
    keloParts circle(std::vector<Point3D>{{-1, 0, 0}, {0, 1, 0}, {1, 0, 0}}, klLT3PCircle);
    EXPECT_EQ(GetNeighbourSamePtAt(&circle, 0, 0), nullptr);

    // Moving a joint moves both copies; moving an inner point only that point; the ring stays closed.
    const Point3D p{7, 7, 1};
    ASSERT_EQ(ReplacePtInParts(p, &ring, 2, 1), 1);
    EXPECT_EQ((*r0)[0].x, 7);
    EXPECT_EQ((*r2)[1].y, 7);
    EXPECT_TRUE(ring.IsClosed());
    ASSERT_EQ(ReplacePtInParts({5, 5, 0}, &ring, 0, 1), 1);
    EXPECT_EQ((*r0)[1].x, 5);
    EXPECT_EQ((*r0)[0].x, 7);
    EXPECT_EQ((*r0)[2].x, 2);
    EXPECT_EQ(ReplacePtInParts(p, &ring, 0, 3), 0);
    EXPECT_EQ(ReplacePtInParts(p, &ring, 3, 0), 0);
    EXPECT_EQ(ReplacePtInParts(p, nullptr, 0, 0), 0);
}

TEST(SegmentParts, SegmentNearestToAPoint) {
    keloParts circle(std::vector<Point3D>{{0, 5, 0}, {5, 10, 0}, {10, 5, 0}}, klLT3PCircle);
    GM_Object g = Lines({Polyline({{0, -1, 0}, {10, -1, 0}}), circle, Polyline({{0, -3, 0}, {10, -3, 0}})});
    struct Case {
        Point3D p;
        int part, seg, flag;
        double fx, fy;
    };
    // (5, 4) is nearest the circle's lower half, which exists only once the circle is read whole;
    // (5, -2) is equally far from two lines and keeps the first; (-3, -10) has its foot outside
    // every segment, so the nearest end decides and the foot stays on the line.
    for (const Case& c : {Case{{5, 9, 0}, 1, 0, 1, 5, 10}, Case{{5, 4, 0}, 1, 1, 1, 5, 0},
                          Case{{5, -0.8, 0}, 0, 0, 1, 5, -1}, Case{{5, -2, 0}, 0, 0, 1, 5, -1},
                          Case{{-3, -10, 0}, 2, 0, 0, -3, -3}}) {
        GeometryAt at;
        Point3D foot{};
        keloPoints* run = at.GetNearRefPtSegment(c.p, &g, foot, 1e-8);
        ASSERT_NE(run, nullptr);
        EXPECT_EQ(at.partIndex, c.part) << c.p.x << "," << c.p.y;
        EXPECT_EQ(at.seqIndex, 0);
        EXPECT_EQ(at.segIndex, c.seg) << c.p.x << "," << c.p.y;
        EXPECT_EQ(at.flag, c.flag) << c.p.x << "," << c.p.y;
        EXPECT_EQ(at.points, run);
        EXPECT_NEAR(foot.x, c.fx, 1e-9);
        EXPECT_NEAR(foot.y, c.fy, 1e-9);
    }
    // The circle was normalised in place into a closed chain of two arcs.
    int ring = 0;
    const keloPoints* stored = g.GetOriginalPartsAt(&ring, 1)->GetOriginalPointsAt(0);
    EXPECT_EQ(stored->GetLineType(), klLT3PArc);
    EXPECT_EQ(stored->GetCount(), 5);

    GeometryAt at;
    Point3D foot{};
    at.partIndex = 3;
    EXPECT_EQ(at.GetNearRefPtSegment({0, 0, 0}, nullptr, foot, 1e-8), nullptr);
    EXPECT_EQ(at.partIndex, -1);
    GM_Object points;
    points.InsertPointAt({1, 1, 0}, -1);
    EXPECT_EQ(at.GetNearRefPtSegment({0, 0, 0}, &points, foot, 1e-8), nullptr);
}

TEST(SegmentParts, SegmentLyingAlongASegment) {
    GM_Object g = Lines({Polyline({{0, 0, 0}, {10, 0, 0}}), Polyline({{0, 1, 0}, {10, 1, 0}}),
                         Polyline({{0, 0, 0}, {10, 0, 0}})});
    std::vector<Point3D> near = {{2, 1e-3, 0}, {4, 1e-3, 0}};
    CsSegment seg(near.data(), klLTPolyline);
    GeometryAt at;
    double dist = -1;
    std::vector<Point3D> feet;
    EXPECT_EQ(at.GetSegmentNearSegment(seg, dist, &g, feet, 1e-6), nullptr);  // 1e-3 away
    EXPECT_EQ(at.segIndex, -1);
    keloPoints* run = at.GetSegmentNearSegment(seg, dist, &g, feet, 1e-2);
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(at.partIndex, 2);  // both copies qualify; the last one wins
    EXPECT_EQ(at.segIndex, 0);
    EXPECT_NEAR(dist, 1e-3, 1e-12);
    ASSERT_EQ(feet.size(), 2u);
    EXPECT_NEAR(feet[0].x, 2, 1e-12);
    EXPECT_NEAR(feet[0].y, 0, 1e-12);
    EXPECT_NEAR(feet[1].x, 4, 1e-12);

    // An arc finds only arcs; a segment that only touches an end overlaps nothing and finds nothing.
    std::vector<Point3D> arcPts = {{2, 0, 0}, {3, 1, 0}, {4, 0, 0}};
    EXPECT_EQ(at.GetSegmentNearSegment(CsSegment(arcPts.data(), klLT3PArc), dist, &g, feet, 1e-2), nullptr);
    std::vector<Point3D> beyond = {{10.005, 0, 0}, {12, 0, 0}};
    EXPECT_EQ(at.GetSegmentNearSegment(CsSegment(beyond.data(), klLTPolyline), dist, &g, feet, 1e-2), nullptr);
}

TEST(SegmentParts, ArcsRecoveredFromStraightRuns) {
    // A half circle sampled every degree, then a straight leg: one arc and the leg.
    std::vector<Point3D> pts = Sampled(10, 0, 180, 1);
    pts.push_back({-10, -5, 0});
    GM_Object line(Polyline(pts), 0);
    ASSERT_EQ(LineStringArclize(&line), 1);
    int ring = 0;
    const keloParts* l = line.GetOriginalPartsAt(&ring, 0);
    ASSERT_EQ(l->GetPartsCount(), 2);
    const keloPoints& arc = *l->GetOriginalPointsAt(0);
    EXPECT_EQ(arc.GetLineType(), klLT3PArc);
    ASSERT_EQ(arc.GetCount(), 3);
    EXPECT_NEAR(arc[1].x, 0, 1e-9);
    EXPECT_NEAR(arc[1].y, 10, 1e-9);
    EXPECT_EQ(l->GetOriginalPointsAt(1)->GetCount(), 2);
    EXPECT_NEAR(line.GetPerimeter(), 10 * M_PI + 5, 1e-9);

    // A whole sampled circle as a polygon ring: two half arcs, still closed, exact area.
    std::vector<Point3D> round = Sampled(3, 0, 360, 0.5);
    round.back() = round.front();
    GM_Object disc(Polyline(round), 1);
    ASSERT_EQ(LineStringArclize(&disc), 2);
    const keloParts* r = disc.GetOriginalPartsAt(&ring, 0);
    EXPECT_TRUE(r->IsClosed());
    EXPECT_EQ(r->GetPartsCount(), 1);
    EXPECT_NEAR(disc.GetArea(), 9 * M_PI, 1e-9);

    // Corners, zigzags and runs too flat to leave their chord stay straight.
    struct Case {
        const char* what;
        std::vector<Point3D> pts;
    };
    for (const Case& c : {Case{"square", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 0}}},
                          Case{"zigzag on a circle", {Sampled(10, 0, 4, 1)[0], Sampled(10, 0, 4, 1)[2],
                                                      Sampled(10, 0, 4, 1)[1], Sampled(10, 0, 4, 1)[3]}},
                          Case{"nearly straight", {{0, 0, 0}, {1, 1e-5, 0}, {2, 1.5e-5, 0}, {3, 1e-5, 0}, {4, 0, 0}}}}) {
        GM_Object g(Polyline(c.pts), 0);
        EXPECT_EQ(LineStringArclize(&g), 0) << c.what;
        const keloParts* kept = g.GetOriginalPartsAt(&ring, 0);
        ASSERT_EQ(kept->GetPartsCount(), 1) << c.what;
        EXPECT_EQ(kept->GetOriginalPointsAt(0)->GetLineType(), klLTPolyline) << c.what;
        EXPECT_EQ(kept->GetOriginalPointsAt(0)->GetCount(), static_cast<int>(c.pts.size())) << c.what;
    }

    // Lines with other curves are only put in order.
    GM_Object curved(keloParts(std::vector<Point3D>{{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}}, klLTBezier), 0);
    curved.InsertPartsAt(Polyline(Sampled(10, 0, 90, 1)), -1, 0);
    LineStringArclize(&curved);
    ASSERT_EQ(curved.GetPartsCount(), 2);
    for (int k = 0; k < 2; ++k) {
        const keloParts* part = curved.GetOriginalPartsAt(&ring, k);
        for (int s = 0; s < part->GetPartsCount(); ++s)
            EXPECT_NE(part->GetOriginalPointsAt(s)->GetLineType(), klLT3PArc);
    }
    EXPECT_EQ(LineStringArclize(nullptr), 0);
}
