// Single-segment measures and two-segment distances against densely sampled segments; directions,
// extension, boxes, degenerate arcs and hostile input.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "relations/segment_test_support.h"

using namespace kelo;
using namespace segtest;

namespace {

const double kS = std::sqrt(0.5);

// A random segment: straight, or an arc through three random points (which may turn either way and
// span anything up to nearly a full turn).
Seg RandomSeg(std::mt19937& rng, bool arc) {
    std::uniform_real_distribution<double> u(-10, 10);
    if (!arc) return Line(u(rng), u(rng), u(rng), u(rng));
    for (;;) {
        Seg s = Arc(u(rng), u(rng), u(rng), u(rng), u(rng), u(rng));
        const Point3D &a = s.p[0], &m = s.p[1], &b = s.p[2];
        double turn = (m.x - a.x) * (b.y - a.y) - (m.y - a.y) * (b.x - a.x);
        if (std::abs(turn) > 1.0) return s;  // keep radii moderate so sampling stays dense
    }
}

}  // namespace

TEST(SegmentMeasure, PointDistanceMatchesSampling) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-15, 15);
    for (int k = 0; k < 40; ++k) {
        Seg s = RandomSeg(rng, k % 2 == 1);
        std::vector<Point3D> v = Sample(s, 20000);
        double step = 0;
        for (size_t i = 1; i < v.size(); ++i) step = std::max(step, Dist(v[i - 1], v[i]));
        for (int j = 0; j < 10; ++j) {
            Point3D p{u(rng), u(rng), 0}, q;
            double d = s.view().PtDistance(p, q);
            double sampled = DistToSamples(v, p);
            EXPECT_LE(d, sampled + 1e-9) << k;
            EXPECT_GE(d, sampled - step) << k;
            EXPECT_NEAR(Dist(p, q), d, 1e-9) << "the nearest point goes with the distance";
            EXPECT_LE(DistToSamples(v, q), step) << "the nearest point lies on the segment";
        }
    }
}

TEST(SegmentMeasure, SegmentDistanceMatchesSampling) {
    std::mt19937 rng(11);
    for (int k = 0; k < 36; ++k) {
        Seg a = RandomSeg(rng, k % 3 != 0), b = RandomSeg(rng, k % 2 == 0);
        std::vector<Point3D> va = Sample(a, 1000), vb = Sample(b, 1000);
        double sampled = INFINITY, step = 0;
        for (const Point3D& p : va) sampled = std::min(sampled, DistToSamples(vb, p));
        for (auto* v : {&va, &vb})
            for (size_t i = 1; i < v->size(); ++i) step = std::max(step, Dist((*v)[i - 1], (*v)[i]));
        Point3D pa, pb;
        double d = a.view().LnDistance(b.view(), pa, pb);
        EXPECT_LE(d, sampled + 1e-9) << k;
        EXPECT_GE(d, sampled - step) << k;
        EXPECT_LE(DistToSamples(va, pa), step) << k;
        if (d > 0) {
            EXPECT_NEAR(Dist(pa, pb), d, 1e-9) << k;
            EXPECT_LE(DistToSamples(vb, pb), step) << k;
        }
    }
}

TEST(SegmentMeasure, FeetFlagsAndEquidistantEnds) {
    Seg s = Line(0, 0, 10, 0);
    struct Case {
        Point3D p;
        double eps;
        int flag;
        Point3D foot;
    } cases[] = {
        {{4, 3, 0}, 0, 1, {4, 0, 0}},   {{-2, 1, 0}, 0, 0, {-2, 0, 0}}, {{12, 1, 0}, 0, 0, {12, 0, 0}},
        {{0.001, 5, 0}, 0.01, 2, {0.001, 0, 0}}, {{9.999, -5, 0}, 0.01, 3, {9.999, 0, 0}},
    };
    for (const Case& c : cases) {
        int flag = -1;
        Point3D f = s.view().GetChuizu(c.p, &flag, c.eps);
        EXPECT_EQ(flag, c.flag) << c.p.x;
        EXPECT_NEAR(Dist(f, c.foot), 0, 1e-12) << c.p.x;
    }
    // Outside the segment the distance is to the nearer end; a tie takes the end point.
    Seg vertical = Line(0, -1, 0, 1);
    Point3D q;
    EXPECT_NEAR(vertical.view().PtDistance({0, 3, 0}, q), 2, 1e-12);
    EXPECT_EQ(q.y, 1);
    Seg flat = Line(0, 0, 0, 0);
    EXPECT_EQ(flat.view().PtDistance({3, 4, 0}, q), 5);
    Seg arc = Arc(-1, 0, 0, 1, 1, 0);
    EXPECT_NEAR(arc.view().PtDistance({0, -3, 0}, q), std::sqrt(10), 1e-12);
    EXPECT_EQ(q.x, 1) << "equidistant from both ends: the end";
    int flag;
    Point3D centreFoot = arc.view().GetChuizu({0, 0, 0}, &flag, 0);
    EXPECT_EQ(flag, 1);
    EXPECT_NEAR(Dist(centreFoot, {0, 1, 0}), 0, 1e-12) << "the centre projects to the arc's middle";
}

TEST(SegmentMeasure, PointOnSegmentCodes) {
    Seg line = Line(0, 0, 10, 0), vertical = Line(3, 0, 3, 10), arc = Arc(-1, 0, 0, 1, 1, 0);
    struct Case {
        Seg* s;
        Point3D p;
        double eps;
        int code;
    } cases[] = {
        {&line, {5, 0.005, 0}, 0.01, 1},  {&line, {5, 0.02, 0}, 0.01, 0},  {&line, {0.005, 0, 0}, 0.01, 2},
        {&line, {10, 0.009, 0}, 0.01, 3}, {&line, {10.5, 0, 0}, 0.01, 0},  {&vertical, {3.005, 7, 0}, 0.01, 1},
        {&vertical, {3, 10.02, 0}, 0.01, 0}, {&arc, {0, 1.005, 0}, 0.01, 1}, {&arc, {0, -1, 0}, 0.01, 0},
        {&arc, {-1, 0.004, 0}, 0.01, 2}, {&arc, {kS, kS, 0}, 1e-9, 1},   {&arc, {0, 0, 0}, 0.01, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.s->view().IsOverlapPt(c.p, c.eps), c.code) << c.p.x << "," << c.p.y;
    // A segment shorter than 2 eps: a point near both ends goes to the nearer one.
    Seg tiny = Line(0, 0, 0.01, 0);
    EXPECT_EQ(tiny.view().IsOverlapPt({0.004, 0, 0}, 0.01), 2);
    EXPECT_EQ(tiny.view().IsOverlapPt({0.006, 0, 0}, 0.01), 3);
}

TEST(SegmentMeasure, LengthsMiddlesAndComplement) {
    // Half a turn of radius 2 around (1, 1): top, left, bottom, counter-clockwise.
    double r = 2;
    Seg arc = Arc(1, 3, 1 - r, 1, 1, -1);
    EXPECT_NEAR(arc.view().Length(0), M_PI * r, 1e-12);
    EXPECT_NEAR(arc.view().Length(1), M_PI * r / 2, 1e-12);
    EXPECT_NEAR(arc.view().Length(2), M_PI * r / 2, 1e-12);
    Point3D mid = arc.view().GetMidPt(0), quarter = arc.view().GetMidPt(1);
    EXPECT_NEAR(Dist(mid, {-1, 1, 0}), 0, 1e-12);
    EXPECT_NEAR(Dist(quarter, {1 - r * kS, 1 + r * kS, 0}), 0, 1e-12);

    Seg uneven = Arc(1, 0, 0, 1, 0, -1);  // counter-clockwise, a quarter then a half
    EXPECT_NEAR(uneven.view().Length(1), M_PI / 2, 1e-12);
    EXPECT_NEAR(uneven.view().Length(2), M_PI, 1e-12);
    EXPECT_NEAR(uneven.view().Length(0), 1.5 * M_PI, 1e-12);
    EXPECT_NEAR(Dist(uneven.view().GetMidPt(2), {-1, 0, 0}), 0, 1e-12);

    // The complement keeps the ends and takes the rest of the circle.
    EXPECT_EQ(uneven.view().zMakeOther3PArc(), 1);
    EXPECT_NEAR(uneven.view().Length(0), 0.5 * M_PI, 1e-12);
    EXPECT_NEAR(Dist(uneven.view().GetMidPt(0), {kS, -kS, 0}), 0, 1e-12);
    Seg straight = Line(0, 0, 3, 4);
    EXPECT_EQ(straight.view().zMakeOther3PArc(), 0);
    EXPECT_EQ(straight.view().Length(2), 5);
}

TEST(SegmentMeasure, DirectionsAndExtension) {
    struct Case {
        Seg s;
        Point3D at;
        double dir;
    } cases[] = {
        {Line(0, 0, 5, 0), {0, 0, 0}, 0},
        {Line(0, 0, 0, -5), {0, 0, 0}, 1.5 * M_PI},
        {Line(0, 0, 1, -1e-10), {0, 0, 0}, 0},  // a hair below a full turn reads as 0
        {Line(0, 0, -1, 1), {0, 0, 0}, 0.75 * M_PI},
        {Arc(1, 0, kS, kS, 0, 1), {1, 0, 0}, 0.5 * M_PI},   // counter-clockwise
        {Arc(1, 0, kS, kS, 0, 1), {0, 1, 0}, M_PI},
        {Arc(0, 1, kS, kS, 1, 0), {0, 1, 0}, 0},            // clockwise
        {Arc(0, 1, kS, kS, 1, 0), {1, 0, 0}, 1.5 * M_PI},
    };
    for (Case& c : cases) EXPECT_NEAR(c.s.view().GetDirection(&c.at), c.dir, 1e-12) << c.dir;
    Seg ccw = Arc(1, 0, kS, kS, 0, 1);
    EXPECT_NEAR(ccw.view().GetDirection(nullptr), 0.5 * M_PI, 1e-12);

    Seg line = Line(0, 0, 3, 4);
    EXPECT_NEAR(Dist(line.view().GetExtendPt(5, 0), {6, 8, 0}), 0, 1e-12);
    EXPECT_NEAR(Dist(line.view().GetExtendPt(5, 1), {-3, -4, 0}), 0, 1e-12);
    EXPECT_NEAR(Dist(ccw.view().GetExtendPt(M_PI / 2, 0), {-1, 0, 0}), 0, 1e-12);
    EXPECT_NEAR(Dist(ccw.view().GetExtendPt(M_PI / 2, 1), {0, -1, 0}), 0, 1e-12);
    Seg cw = Arc(0, 2, std::sqrt(2), std::sqrt(2), 2, 0);
    EXPECT_NEAR(Dist(cw.view().GetExtendPt(2 * M_PI, 0), {-2, 0, 0}), 0, 1e-12);
    Seg dot = Line(2, 2, 2, 2);
    EXPECT_EQ(dot.view().GetExtendPt(1, 0).x, 2) << "no direction: the end itself";
}

TEST(SegmentMeasure, BoxesCoverArcsTightly) {
    std::mt19937 rng(3);
    for (int k = 0; k < 60; ++k) {
        Seg s = RandomSeg(rng, true);
        Box box = s.view().GetBox();
        std::vector<Point3D> v = Sample(s, 20000);
        Box sampled;
        for (const Point3D& p : v) sampled.add(p.x, p.y);
        EXPECT_NEAR(box.minx, sampled.minx, 1e-6) << k;
        EXPECT_NEAR(box.miny, sampled.miny, 1e-6) << k;
        EXPECT_NEAR(box.maxx, sampled.maxx, 1e-6) << k;
        EXPECT_NEAR(box.maxy, sampled.maxy, 1e-6) << k;
    }
}

TEST(SegmentMeasure, BoxIntersectionAgreesWithSamples) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-12, 12), w(0.2, 4);
    int hits = 0, misses = 0;
    for (int k = 0; k < 400; ++k) {
        Seg s = RandomSeg(rng, k % 2 == 0);
        double x = u(rng), y = u(rng);
        Box box(x, y, x + w(rng), y + w(rng));
        std::vector<Point3D> v = Sample(s, 8000);
        bool inside = false, nearBoundary = false;
        for (const Point3D& p : v) {
            double dx = std::max({box.minx - p.x, p.x - box.maxx, 0.0});
            double dy = std::max({box.miny - p.y, p.y - box.maxy, 0.0});
            inside = inside || (dx == 0 && dy == 0);
            nearBoundary = nearBoundary || std::hypot(dx, dy) < 0.02;
        }
        if (inside == s.view().IsIntersect(box)) {
            (inside ? hits : misses)++;
        } else {
            EXPECT_TRUE(nearBoundary) << "disagreement away from the box edge, case " << k;
        }
    }
    EXPECT_GT(hits, 40);
    EXPECT_GT(misses, 40);
}

TEST(SegmentMeasure, CollinearArcsActAsChords) {
    Seg flat = Arc(0, 0, 3, 0, 2, 0);  // middle beyond the end: still the chord 0..2
    CsSegment s = flat.view();
    EXPECT_EQ(s.Length(0), 2);
    EXPECT_EQ(s.GetMidPt(0).x, 1);
    Box box = s.GetBox();
    EXPECT_EQ(box.maxx, 2);
    EXPECT_EQ(s.IsOverlapPt({1.5, 0, 0}, 1e-6), 1);
    EXPECT_EQ(s.IsOverlapPt({2.5, 0, 0}, 1e-6), 0);
    EXPECT_EQ(s.GetDirection(nullptr), 0);
    Seg cut = Line(1, -1, 1, 1);
    Point3D p1, p2;
    int code = s.IntersectInfo(cut.view(), p1, p2, 1e-6);
    EXPECT_EQ(IntersectInfoType(code, 1, nullptr, nullptr), 1);
    EXPECT_NEAR(Dist(p1, {1, 0, 0}), 0, 1e-12);
    EXPECT_NEAR(s.PtDistance({1, 5, 0}), 5, 1e-12);
    Seg closed = Arc(0, 0, 1, 1, 0, 0);  // start = end: a point
    EXPECT_EQ(closed.view().Length(0), 0);
    EXPECT_EQ(closed.view().zMakeOther3PArc(), 0);
}

TEST(SegmentMeasure, HostileInputDoesNotCrash) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    std::vector<Seg> bad = {Line(nan, 0, 1, 1),     Line(0, 0, inf, 1),        Arc(0, 0, nan, 1, 2, 0),
                            Arc(inf, 0, 1, 1, 2, 0), Line(1e300, 1e300, -1e300, -1e300), Line(0, 0, 0, 0),
                            Arc(0, 0, 0, 0, 0, 0)};
    std::vector<Seg> good = {Line(0, 0, 10, 0), Arc(-1, 0, 0, 1, 1, 0)};
    for (Seg& b : bad) {
        CsSegment s = b.view();
        Box box(0, 0, 1, 1);
        s.GetBox();
        s.IsIntersect(box);
        s.GetExtendPt(1, 1);
        s.GetMidPt(1);
        s.IsWithin({0, 0, 0}, 1, 0);
        double dir = s.GetDirection(nullptr);
        EXPECT_TRUE(std::isnan(dir) || (dir >= 0 && dir < 2 * M_PI));
        for (Seg& g : good) {
            Point3D p1, p2;
            std::vector<Point3D> feet;
            for (int code : {s.IntersectInfo(g.view(), p1, p2, 1e-6), g.view().IntersectInfo(s, p1, p2, 1e-6)}) {
                EXPECT_EQ(code & ~0xFF3F, 0);
                EXPECT_LE(IntersectInfoOverlap(code), 5);
            }
            int n = SegIntersectSeg(s, g.view(), p1, p2);
            EXPECT_TRUE(n >= 0 && n <= 2);
            s.LnDistance(g.view());
            s.GetOverlapLength(g.view(), 1e-6);
            s.HasOverlapAndSameDirect(g.view(), 1e-6);
            s.Projection(g.view(), 1e-6, feet);
            EXPECT_LE(feet.size(), 3u);
        }
    }
    // The empty view answers without touching memory.
    CsSegment none;
    Point3D p1, p2;
    EXPECT_EQ(none.IntersectInfo(good[0].view(), p1, p2, 1), 0);
    EXPECT_EQ(good[0].view().IntersectInfo(none, p1, p2, 1), 0);
    EXPECT_EQ(none.Length(0), 0);
    EXPECT_TRUE(none.GetBox().IsEmpty());
    EXPECT_EQ(none.IsOverlapPt({0, 0, 0}, 1), 0);
}
