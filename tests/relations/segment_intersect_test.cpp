// The packed intersection code for every kind of contact, with the contact points worked out by
// hand geometry, and the refinement that moves contacts taken from B onto A.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "relations/segment_test_support.h"

using namespace kelo;
using namespace segtest;

namespace {

const double kS = std::sqrt(0.5);
const double kNo = NAN;  // contact point not checked

struct CodeCase {
    const char* name;
    Seg a, b;
    double eps;
    int kind1, pos1, kind2, pos2, overlap;
    Point3D p1, p2;
};

// Positions: 1 start of A, 2 end of A, 4 start of B, 8 end of B (summed when two ends meet).
const CodeCase kCases[] = {
    // straight / straight
    {"cross", Line(0, 0, 10, 0), Line(5, -5, 5, 5), 1e-6, 1, 0, 0, 0, 0, {5, 0, 0}, {kNo, 0, 0}},
    {"disjoint", Line(0, 0, 10, 0), Line(0, 1, 10, 2), 1e-6, 0, 0, 0, 0, 0, {kNo, 0, 0}, {kNo, 0, 0}},
    {"B start on A", Line(0, 0, 10, 0), Line(5, 0, 5, 5), 1e-6, 2, 4, 0, 0, 0, {5, 0, 0}, {kNo, 0, 0}},
    {"A end on B", Line(0, 0, 5, 0), Line(5, -5, 5, 5), 1e-6, 2, 2, 0, 0, 0, {5, 0, 0}, {kNo, 0, 0}},
    {"end on end", Line(0, 0, 10, 0), Line(10, 0, 10, 5), 1e-6, 3, 6, 0, 0, 0, {10, 0, 0}, {kNo, 0, 0}},
    {"collinear joint", Line(0, 0, 10, 0), Line(10, 0, 20, 0), 1e-6, 3, 6, 0, 0, 0, {10, 0, 0}, {kNo, 0, 0}},
    {"B within A", Line(0, 0, 10, 0), Line(2, 0, 6, 0), 1e-6, 2, 4, 2, 8, 1, {2, 0, 0}, {6, 0, 0}},
    {"A within B", Line(2, 0, 6, 0), Line(0, 0, 10, 0), 1e-6, 2, 1, 2, 2, 1, {2, 0, 0}, {6, 0, 0}},
    {"partial", Line(0, 0, 10, 0), Line(5, 0, 15, 0), 1e-6, 2, 2, 2, 4, 1, {10, 0, 0}, {5, 0, 0}},
    {"shared start", Line(0, 0, 10, 0), Line(0, 0, 5, 0), 1e-6, 3, 5, 2, 8, 2, {0, 0, 0}, {5, 0, 0}},
    {"equal", Line(0, 0, 10, 0), Line(0, 0, 10, 0), 1e-6, 3, 5, 3, 10, 3, {0, 0, 0}, {10, 0, 0}},
    {"reversed", Line(0, 0, 10, 0), Line(10, 0, 0, 0), 1e-6, 3, 9, 3, 6, 3, {0, 0, 0}, {10, 0, 0}},
    // B lies 0.001 above A: within eps the contacts are B's ends, refined down onto A.
    {"near parallel", Line(0, 0, 10, 0), Line(2, 0.001, 6, 0.001), 0.01, 2, 4, 2, 8, 1, {2, 0, 0}, {6, 0, 0}},
    {"near end", Line(0, 0, 10, 0), Line(5, 0.005, 5, 5), 0.01, 2, 4, 0, 0, 0, {5, 0, 0}, {kNo, 0, 0}},
    // straight / arc (A is the upper unit semicircle, travelled clockwise)
    {"line cuts arc twice", Arc(-1, 0, 0, 1, 1, 0), Line(-2, 0.5, 2, 0.5), 1e-6, 1, 0, 1, 0, 0,
     {std::sqrt(0.75), 0.5, 0}, {-std::sqrt(0.75), 0.5, 0}},
    {"line misses arc", Arc(-1, 0, 0, 1, 1, 0), Line(-2, -0.5, 2, -0.5), 1e-6, 0, 0, 0, 0, 0, {kNo, 0, 0}, {kNo, 0, 0}},
    {"tangent", Arc(-1, 0, 0, 1, 1, 0), Line(-2, 1, 2, 1), 1e-6, 1, 0, 0, 0, 0, {0, 1, 0}, {kNo, 0, 0}},
    {"touch at start, cross inside", Arc(-1, 0, 0, 1, 1, 0), Line(-1, 0, 1, 2), 1e-6, 3, 5, 1, 0, 0, {-1, 0, 0},
     {0, 1, 0}},
    {"touch at start, cross inside (left half)", Arc(0, 1, -1, 0, 0, -1), Line(0, 1, -1, -1), 1e-6, 3, 5, 1, 0, 0,
     {0, 1, 0}, {-0.8, -0.6, 0}},
    {"line ends on arc", Arc(-1, 0, 0, 1, 1, 0), Line(0, 0, 0, 1), 1e-6, 2, 8, 0, 0, 0, {0, 1, 0}, {kNo, 0, 0}},
    {"arc start on line", Line(-2, 0, 2, 0), Arc(-1, 0, 0, 1, 1, 0), 1e-6, 2, 4, 2, 8, 0, {-1, 0, 0}, {1, 0, 0}},
    // arc / arc on the unit circle
    {"same arc", Arc(-1, 0, 0, 1, 1, 0), Arc(-1, 0, 0, 1, 1, 0), 1e-6, 3, 5, 3, 10, 3, {-1, 0, 0}, {1, 0, 0}},
    {"same arc reversed", Arc(-1, 0, 0, 1, 1, 0), Arc(1, 0, 0, 1, -1, 0), 1e-6, 3, 9, 3, 6, 3, {-1, 0, 0}, {1, 0, 0}},
    {"complement", Arc(-1, 0, 0, 1, 1, 0), Arc(-1, 0, 0, -1, 1, 0), 1e-6, 3, 5, 3, 10, 0, {-1, 0, 0}, {1, 0, 0}},
    {"quarter inside, shared end", Arc(-1, 0, 0, 1, 1, 0), Arc(0, 1, kS, kS, 1, 0), 1e-6, 3, 10, 2, 4, 2, {1, 0, 0},
     {0, 1, 0}},
    {"partial on circle", Arc(-1, 0, 0, 1, 1, 0), Arc(kS, kS, 1, 0, kS, -kS), 1e-6, 2, 2, 2, 4, 1, {1, 0, 0},
     {kS, kS, 0}},
    {"joint on circle", Arc(-1, 0, 0, 1, 1, 0), Arc(1, 0, kS, -kS, 0, -1), 1e-6, 3, 6, 0, 0, 0, {1, 0, 0}, {kNo, 0, 0}},
    // arc / arc on different circles
    {"one crossing", Arc(-1, 0, 0, 1, 1, 0), Arc(0, 0, 1, 1, 2, 0), 1e-6, 1, 0, 0, 0, 0, {0.5, std::sqrt(0.75), 0},
     {kNo, 0, 0}},
    {"two crossings", Arc(-1, 0, 0, 1, 1, 0), Arc(-1, 1.2, 0, 0.2, 1, 1.2), 1e-6, 1, 0, 1, 0, 0, {0.8, 0.6, 0},
     {-0.8, 0.6, 0}},
    {"lens", Arc(-1, 0, 0, 1, 1, 0), Arc(-1, 0, 0, 0.5, 1, 0), 1e-6, 3, 5, 3, 10, 0, {-1, 0, 0}, {1, 0, 0}},
    {"collinear arc as its chord", Arc(0, 0, 3, 0, 2, 0), Line(1, -1, 1, 1), 1e-6, 1, 0, 0, 0, 0, {1, 0, 0}, {kNo, 0, 0}},
    // degenerate segments stand for their middle point
    {"point on segment", Line(5, 0, 5, 1e-7), Line(0, 0, 10, 0), 1e-6, 2, 1, 2, 2, 0, {5, 5e-8, 0}, {5, 5e-8, 0}},
    {"segment meets point at its start", Line(0, 0, 10, 0), Line(0, 0, 0, 1e-7), 1e-6, 2, 1, 0, 0, 0, {0, 5e-8, 0},
     {kNo, 0, 0}},
    {"two points", Line(1, 1, 1, 1), Line(1, 1.0000002, 1, 1.0000002), 1e-6, 2, 1, 2, 8, 0, {1, 1.0000001, 0},
     {1, 1.0000001, 0}},
};

// Two crossings may come in either order; match each expected point to some reported one.
bool Matches(const Point3D& want, const Point3D& got, double tol) { return std::isnan(want.x) || Dist(want, got) <= tol; }

}  // namespace

TEST(SegmentIntersectInfo, CodeTable) {
    for (CodeCase c : kCases) {
        SCOPED_TRACE(c.name);
        Point3D p1{}, p2{};
        int code = c.a.view().IntersectInfo(c.b.view(), p1, p2, c.eps);
        int posA, posB;
        EXPECT_EQ(IntersectInfoType(code, 1, &posA, &posB), c.kind1);
        EXPECT_EQ(posA | posB << 2, c.pos1);
        EXPECT_EQ(IntersectInfoType(code, 0, &posA, &posB), c.kind2);
        EXPECT_EQ(posA | posB << 2, c.pos2);
        EXPECT_EQ((code >> 14) & 3, c.overlap);
        EXPECT_EQ(code & ~0xFF3F, 0) << "bits outside the packed fields";
        EXPECT_TRUE(c.kind1 != 1 || p1.z == 9999.0) << "crossings carry the search's z";
        EXPECT_EQ(IntersectInfoOverlap(code), (c.kind1 != 0) + (c.kind2 != 0) + c.overlap);
        double tol = 1e-9 + c.eps;
        bool direct = Matches(c.p1, p1, tol) && Matches(c.p2, p2, tol);
        bool swapped = c.kind1 == 1 && c.kind2 == 1 && Matches(c.p1, p2, tol) && Matches(c.p2, p1, tol);
        EXPECT_TRUE(direct || swapped) << p1.x << "," << p1.y << " / " << p2.x << "," << p2.y;
    }
}

double SegmentGap(const Seg& a, const Seg& b) {
    auto pointSeg = [](const Point3D& p, const Point3D& s, const Point3D& e) {
        const double dx = e.x - s.x, dy = e.y - s.y, l2 = dx * dx + dy * dy;
        const double t = l2 > 0 ? std::clamp(((p.x - s.x) * dx + (p.y - s.y) * dy) / l2, 0.0, 1.0) : 0.0;
        return std::hypot(p.x - s.x - t * dx, p.y - s.y - t * dy);
    };
    const Point3D &a0 = a.p[0], &a1 = a.p[1], &b0 = b.p[0], &b1 = b.p[1];
    auto side = [](const Point3D& p, const Point3D& q, const Point3D& r) {
        return (q.x - p.x) * (r.y - p.y) - (q.y - p.y) * (r.x - p.x);
    };
    if (side(a0, a1, b0) * side(a0, a1, b1) < 0 && side(b0, b1, a0) * side(b0, b1, a1) < 0) return 0.0;  // crossing
    return std::min({pointSeg(a0, b0, b1), pointSeg(a1, b0, b1), pointSeg(b0, a0, a1), pointSeg(b1, a0, a1)});
}

// Pairs whose boxes lie just apart or just overlap, placed at half and at twice the tolerance from
// each other: a contact within eps must never be lost to a quick rejection.
TEST(SegmentIntersectInfo, NearMissesAroundTheTolerance) {
    std::mt19937 rng(1506);
    std::uniform_real_distribution<double> u(-1, 1);
    int checked = 0;
    for (int trial = 0; trial < 4000; ++trial) {
        const double eps = trial % 4 == 0 ? 1e-6 : 1e-3;
        const double x0 = 1e5 * u(rng), y0 = 1e5 * u(rng);
        const double ang = std::numbers::pi * u(rng), len = 10 * (1.1 + u(rng));
        const Seg a = Line(x0, y0, x0 + len * std::cos(ang), y0 + len * std::sin(ang));
        // B starts near A's end (or near its middle), pointing away along a random direction.
        const Point3D& anchor = trial % 3 ? a.p[1] : Point3D{(a.p[0].x + a.p[1].x) / 2, (a.p[0].y + a.p[1].y) / 2, 0};
        const double f = trial % 2 ? 0.5 : 2.0;
        const double off = std::numbers::pi * u(rng), dir = std::numbers::pi * u(rng);
        const double bx = anchor.x + f * eps * std::cos(off), by = anchor.y + f * eps * std::sin(off);
        const Seg b = Line(bx, by, bx + len * std::cos(dir), by + len * std::sin(dir));
        const double gap = SegmentGap(a, b);
        if (std::fabs(gap - eps) < 0.2 * eps) continue;  // too close to call without the library's rounding
        Point3D p1{}, p2{};
        const int code = Seg(a).view().IntersectInfo(Seg(b).view(), p1, p2, eps);
        EXPECT_EQ(code != 0, gap < eps) << trial << " gap " << gap / eps << " eps";
        ++checked;
    }
    EXPECT_GT(checked, 3000);
    // A crossing just past A's end, within the crossing test's parameter slack, at eps 0.
    const Seg a = Line(0, 0, 10, 0), b = Line(10 + 5e-8, -1, 10 + 5e-8, 1);
    Point3D p1{}, p2{};
    EXPECT_NE(Seg(a).view().IntersectInfo(Seg(b).view(), p1, p2, 0.0), 0);
}

// Contacts taken from B lie on A after refinement: where B, continued past its end, meets A, or
// else the foot on A.
TEST(SegmentIntersectInfo, ContactsAreMovedOntoA) {
    Seg a = Line(-10, 0, 10, 0), slanted = Line(5, 0.005, 10, 5.005), skew = Line(3, 0.002, 7, -0.003);
    Point3D p1{}, p2{};
    a.view().IntersectInfo(slanted.view(), p1, p2, 0.01);
    EXPECT_LT(Dist(p1, {4.995, 0, 0}), 1e-12);
    a.view().IntersectInfo(skew.view(), p1, p2, 0.01);  // continued, skew meets A far away: feet
    EXPECT_TRUE(Dist(p1, {3, 0, 0}) < 1e-12 && Dist(p2, {7, 0, 0}) < 1e-12);
    // An arc about (0, -1), radius 1.2, whose ends stop 0.005 above A: its circle meets A at
    // x = +-sqrt(0.44).
    double x = std::sqrt(1.44 - 1.005 * 1.005);
    Seg arc = Arc(x, 0.005, 0, 0.2, -x, 0.005);
    EXPECT_EQ(IntersectInfoOverlap(a.view().IntersectInfo(arc.view(), p1, p2, 0.01)), 2);
    EXPECT_TRUE(Dist(p1, {std::sqrt(0.44), 0, 0}) < 1e-9 && Dist(p2, {-std::sqrt(0.44), 0, 0}) < 1e-9);
    // On an arc A the contact lands on its circle, inside the arc.
    Seg circ = Arc(-1, 0, 0, 1, 1, 0), near = Arc(kS + 0.002, kS, 2, 2, 3, 0.5);
    ASSERT_NE(circ.view().IntersectInfo(near.view(), p1, p2, 0.01), 0);
    EXPECT_NEAR(std::hypot(p1.x, p1.y), 1.0, 1e-12);
    EXPECT_GT(p1.y, 0);
}

TEST(SegmentIntersectInfo, SegIntersectSegCountsEndsOnlyAtEnds) {
    struct Case {
        const char* name;
        Seg a, b;
        int n;
        Point3D p1;
    } cases[] = {
        {"cross", Line(0, 0, 10, 0), Line(5, -5, 5, 5), 1, {5, 0, 0}},
        {"T (end on interior) counts as a crossing", Line(0, 0, 5, 0), Line(5, -5, 5, 5), 1, {5, 0, 0}},
        {"both ends on ends", Line(0, 0, 10, 0), Line(10, 0, 0, 0), 2, {0, 0, 0}},
        {"arc touch and cross", Line(-1, 0, 1, 2), Arc(-1, 0, 0, 1, 1, 0), 2, {-1, 0, 0}},
        {"arc twice", Line(-2, 0.5, 2, 0.5), Arc(-1, 0, 0, 1, 1, 0), 2, {NAN, 0, 0}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        Point3D p1{}, p2{};
        EXPECT_EQ(SegIntersectSeg(c.a.view(), c.b.view(), p1, p2), c.n);
        EXPECT_EQ(p1.z, 9999.0);
        if (!std::isnan(c.p1.x)) {
            EXPECT_LT(Dist(p1, c.p1), 1e-9);
        }
    }
}

TEST(SegmentIntersectInfo, OverlapLengthAndDirection) {
    struct Case {
        const char* name;
        Seg a, b;
        double length;
        int direction;
    } cases[] = {
        {"equal", Line(0, 0, 10, 0), Line(0, 0, 10, 0), 10, 3},
        {"reversed", Line(0, 0, 10, 0), Line(10, 0, 0, 0), 10, 1},
        {"partial", Line(0, 0, 10, 0), Line(15, 0, 5, 0), 5, 1},
        {"joint only", Line(0, 0, 10, 0), Line(10, 0, 20, 0), 0, 0},
        {"crossing", Line(0, 0, 10, 0), Line(5, -5, 5, 5), 0, 0},
        {"same arc", Arc(-1, 0, 0, 1, 1, 0), Arc(-1, 0, 0, 1, 1, 0), M_PI, 3},
        {"reversed arc", Arc(-1, 0, 0, 1, 1, 0), Arc(1, 0, 0, 1, -1, 0), M_PI, 1},
        {"quarter of half", Arc(-1, 0, 0, 1, 1, 0), Arc(1, 0, kS, kS, 0, 1), M_PI / 2, 1},
        {"across the cut", Arc(-1, 0, 0, -1, 1, 0), Arc(0, -1, -1, 0, 0, 1), M_PI / 2, 1},
        {"complement", Arc(-1, 0, 0, 1, 1, 0), Arc(-1, 0, 0, -1, 1, 0), 0, 0},
        // Projection alone is not overlap: the other segment must lie on A's line or circle.
        {"apart on one line", Line(0, 0, 2, 0), Line(4, 0, 6, 0), 0, 0},
        {"parallel", Line(0, 0, 10, 0), Line(0, 5, 10, 5), 0, 0},
        {"slanted crossing", Line(0, 0, 10, 0), Line(0, -1, 10, 1), 0, 0},
        {"concentric arcs", Arc(-1, 0, 0, 1, 1, 0), Arc(-2, 0, 0, 2, 2, 0), 0, 0},
        {"shifted circle", Arc(-1, 0, 0, 1, 1, 0), Arc(-0.5, 0, 0.5, 1, 1.5, 0), 0, 0},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(c.a.view().GetOverlapLength(c.b.view(), 1e-6), c.length, 1e-9);
        EXPECT_EQ(c.a.view().HasOverlapAndSameDirect(c.b.view(), 1e-6), c.direction);
    }
    // Bearings either side of zero still count as the same direction.
    Seg up = Line(0, 0, 10, 0.5), down = Line(0, 0, 10, -0.5);
    EXPECT_EQ(up.view().HasOverlapAndSameDirect(down.view(), 1.0), 3);
}

TEST(SegmentIntersectInfo, SamenessAndProjection) {
    Seg a = Line(0, 0, 10, 0), rev = Line(10, 1e-7, 0, 0), arc = Arc(-1, 0, 0, 1, 1, 0);
    Seg arcRev = Arc(1, 0, 0, 1, -1, 0), comp = Arc(-1, 0, 0, -1, 1, 0);
    EXPECT_TRUE(a.view().IsSame(rev.view(), 1e-6));
    EXPECT_TRUE(arc.view().IsSame(arcRev.view(), 1e-6));
    EXPECT_FALSE(arc.view().IsSame(comp.view(), 1e-6)) << "same ends, other side";
    EXPECT_TRUE(arc.view().zIsSameCenterAndR(comp.view(), 1e-6));
    Seg offset = Line(20, 0.1, 30, 0.1);
    EXPECT_FALSE(a.view().zIsSameCenterAndR(offset.view(), 1e-6));

    std::vector<Point3D> feet;
    Seg near = Line(2, 0.01, 6, -0.02);
    EXPECT_NEAR(a.view().Projection(near.view(), 0.05, feet), 0.01, 1e-12);
    ASSERT_EQ(feet.size(), 2u);
    EXPECT_NEAR(feet[1].x, 6, 1e-12);
    EXPECT_NEAR(a.view().Projection(near.view(), 0.015, feet), 0.02, 1e-12) << "stops at the first far point";
    EXPECT_EQ(a.view().Projection(arc.view(), 0.5, feet), 0.5 + 1000000.0);
}

TEST(PartsSegmentView, NumbersSegmentsAcrossParts) {
    using namespace kelo;
    Point3D line[3] = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}};
    Point3D arc[3] = {{10, 10, 0}, {15, 15, 0}, {20, 10, 0}};
    keloPoints parts[2];
    parts[0].Create(klLTPolyline, 3, line);
    parts[1].Create(klLT3PArc, 3, arc);
    keloParts l(2, parts);
    CsSegment s;
    ASSERT_EQ(l.GetSegment(1, s), 1);
    EXPECT_EQ(s.Head()->x, 10);
    EXPECT_EQ(s.Tail()->y, 10);
    EXPECT_FALSE(s.Is3PArc());
    ASSERT_EQ(l.GetSegment(2, s), 1);
    EXPECT_TRUE(s.Is3PArc());
    EXPECT_EQ(s.Tail()->x, 20);
    EXPECT_EQ(l.GetSegment(3, s), 0);
    EXPECT_EQ(l.GetSegment(-1, s), 0);
}
