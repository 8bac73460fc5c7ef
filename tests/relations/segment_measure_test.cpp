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

// Nearest points of a point and of another segment, against the sampled segments.
TEST(SegmentMeasure, DistancesMatchSampling) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-15, 15);
    for (int k = 0; k < 36; ++k) {
        Seg a = RandomSeg(rng, k % 3 != 0), b = RandomSeg(rng, k % 2 == 0);
        std::vector<Point3D> va = Sample(a, 1000), vb = Sample(b, 1000);
        double step = std::max(Step(va), Step(vb));
        for (int j = 0; j < 10; ++j) {
            Point3D p{u(rng), u(rng), 0}, q;
            double d = a.view().PtDistance(p, q), sampled = DistToSamples(va, p);
            EXPECT_TRUE(d <= sampled + 1e-9 && d >= sampled - step) << k;
            EXPECT_NEAR(Dist(p, q), d, 1e-9) << "the nearest point goes with the distance";
            EXPECT_LE(DistToSamples(va, q), step) << "the nearest point lies on the segment";
        }
        double sampled = INFINITY;
        for (const Point3D& p : va) sampled = std::min(sampled, DistToSamples(vb, p));
        Point3D pa, pb;
        double d = a.view().LnDistance(b.view(), pa, pb);
        EXPECT_TRUE(d <= sampled + 1e-9 && d >= sampled - step) << k;
        EXPECT_LE(DistToSamples(va, pa), step) << k;
        EXPECT_LE(d > 0 ? DistToSamples(vb, pb) + std::abs(Dist(pa, pb) - d) : 0.0, step) << k;
    }
}

TEST(SegmentMeasure, FeetFlagsAndEquidistantEnds) {
    Seg s = Line(0, 0, 10, 0), arc = Arc(-1, 0, 0, 1, 1, 0);
    struct Case {
        Point3D p;
        double eps;
        int flag;
    } cases[] = {{{4, 3, 0}, 0, 1}, {{-2, 1, 0}, 0, 0}, {{0.001, 5, 0}, 0.01, 2}, {{9.999, -5, 0}, 0.01, 3}};
    for (const Case& c : cases) {
        int flag = -1;
        EXPECT_EQ(s.view().GetChuizu(c.p, &flag, c.eps).x, c.p.x);
        EXPECT_EQ(flag, c.flag) << c.p.x;
    }
    Point3D q;
    EXPECT_NEAR(arc.view().PtDistance({0, -3, 0}, q), std::sqrt(10), 1e-12);
    EXPECT_EQ(q.x, 1) << "equidistant from both ends: the end";
    int flag;
    EXPECT_NEAR(Dist(arc.view().GetChuizu({0, 0, 0}, &flag, 0), {0, 1, 0}), 0, 1e-12) << "centre: the middle";
}

TEST(SegmentMeasure, PointOnSegmentCodes) {
    Seg line = Line(0, 0, 10, 0), vertical = Line(3, 0, 3, 10), arc = Arc(-1, 0, 0, 1, 1, 0), tiny = Line(0, 0, 0.01, 0);
    Seg flat = Arc(0, 0, 3, 0, 2, 0);  // collinear: the chord from 0 to 2, whatever the middle
    struct Case {
        Seg* s;
        Point3D p;
        int code;
    } cases[] = {
        {&line, {5, 0.005, 0}, 1},    {&line, {5, 0.02, 0}, 0},  {&line, {10, 0.009, 0}, 3},
        {&line, {10.5, 0, 0}, 0},     {&vertical, {3, 10.02, 0}, 0}, {&arc, {0, 1.005, 0}, 1},
        {&arc, {0, -1, 0}, 0},        {&arc, {-1, 0.004, 0}, 2}, {&arc, {0, 0, 0}, 0},
        {&tiny, {0.004, 0, 0}, 2},    {&tiny, {0.006, 0, 0}, 3},  // near both ends: the nearer one
        {&flat, {1.5, 0, 0}, 1},      {&flat, {2.5, 0, 0}, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(c.s->view().IsOverlapPt(c.p, 0.01), c.code) << c.p.x << "," << c.p.y;
}

TEST(SegmentMeasure, WithinAndNearHead) {
    Seg line = Line(0, 0, 10, 0), arc = Arc(-1, 0, 0, 1, 1, 0);
    CsSegment l = line.view(), c = arc.view();
    // Straight: twice the triangle area against tol * w, so w scales the test.
    EXPECT_TRUE(l.IsWithin({5, 0.01, 0}, 0.02, 0));    // w = length: 0.1 <= 0.2
    EXPECT_FALSE(l.IsWithin({5, 0.1, 0}, 0.02, 0));    // 1 > 0.2
    EXPECT_FALSE(l.IsWithin({5, 0.01, 0}, 0.02, 1));   // w = 0
    EXPECT_TRUE(l.IsWithin({5, 3, 0}, 0, 0, true));
    EXPECT_TRUE(l.IsWithin({10.01, 0, 0}, 0.02, 0)) << "beyond the end but near it";
    EXPECT_TRUE(c.IsWithin({0, 1.01, 0}, 0.02, 0));
    EXPECT_TRUE(c.IsWithin({0, 5, 0}, 0, 0, true));
    EXPECT_FALSE(c.IsWithin({0, -5, 0}, 0, 0, true));

    keloPoints run(klLTPolyline, 3, std::vector<Point3D>{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}}.data());
    GeometryAt at;
    EXPECT_FALSE(at.NearSegHead({0, 0, 0})) << "empty";
    at.points = &run;
    at.segIndex = 1;
    EXPECT_TRUE(at.NearSegHead({10, 4, 0}));
    EXPECT_FALSE(at.NearSegHead({10, 5, 0})) << "a tie goes to the tail";
}

TEST(SegmentMeasure, LengthsMiddlesAndComplement) {
    Seg uneven = Arc(1, 0, 0, 1, 0, -1);  // counter-clockwise, a quarter then a half
    EXPECT_NEAR(uneven.view().Length(1), M_PI / 2, 1e-12);
    EXPECT_NEAR(uneven.view().Length(2), M_PI, 1e-12);
    EXPECT_NEAR(uneven.view().Length(0), 1.5 * M_PI, 1e-12);
    EXPECT_NEAR(Dist(uneven.view().GetMidPt(2), {-1, 0, 0}), 0, 1e-12);
    EXPECT_NEAR(Dist(uneven.view().GetMidPt(1), {kS, kS, 0}), 0, 1e-12);
    // The complement keeps the ends and takes the rest of the circle.
    EXPECT_EQ(uneven.view().zMakeOther3PArc(), 1);
    EXPECT_NEAR(uneven.view().Length(0), 0.5 * M_PI, 1e-12);
    EXPECT_NEAR(Dist(uneven.view().GetMidPt(0), {kS, -kS, 0}), 0, 1e-12);
    Seg straight = Line(0, 0, 3, 4);
    EXPECT_EQ(straight.view().zMakeOther3PArc(), 0);
    EXPECT_EQ(straight.view().Length(2), 5);
    Seg flat = Arc(0, 0, 3, 0, 2, 0), closed = Arc(0, 0, 1, 1, 0, 0);  // collinear: chords
    EXPECT_EQ(flat.view().Length(0), 2);
    EXPECT_EQ(flat.view().GetBox().maxx, 2);
    EXPECT_EQ(closed.view().Length(0), 0);
    EXPECT_EQ(closed.view().zMakeOther3PArc(), 0);
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
        {Arc(1, 0, kS, kS, 0, 1), {0, 1, 0}, M_PI},      // counter-clockwise
        {Arc(0, 1, kS, kS, 1, 0), {1, 0, 0}, 1.5 * M_PI},  // clockwise
    };
    for (Case& c : cases) EXPECT_NEAR(c.s.view().GetDirection(&c.at), c.dir, 1e-12) << c.dir;
    Seg line = Line(0, 0, 3, 4), ccw = Arc(1, 0, kS, kS, 0, 1), cw = Arc(0, 2, std::sqrt(2), std::sqrt(2), 2, 0);
    EXPECT_NEAR(Dist(line.view().GetExtendPt(5, 0), {6, 8, 0}), 0, 1e-12);
    EXPECT_NEAR(Dist(line.view().GetExtendPt(5, 1), {-3, -4, 0}), 0, 1e-12);
    EXPECT_NEAR(Dist(ccw.view().GetExtendPt(M_PI / 2, 1), {0, -1, 0}), 0, 1e-12);
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

TEST(SegmentMeasure, HostileInputDoesNotCrash) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    std::vector<Seg> bad = {Line(nan, 0, 1, 1), Arc(0, 0, nan, 1, 2, 0), Arc(inf, 0, 1, 1, 2, 0),
                            Line(1e300, 1e300, -1e300, -1e300), Arc(0, 0, 0, 0, 0, 0)};
    std::vector<Seg> good = {Line(0, 0, 10, 0), Arc(-1, 0, 0, 1, 1, 0)};
    for (Seg& b : bad) {
        CsSegment s = b.view();
        s.IsIntersect(Box(0, 0, 1, 1));
        double dir = s.GetDirection(nullptr);
        EXPECT_TRUE(std::isnan(dir) || (dir >= 0 && dir < 2 * M_PI));
        for (Seg& g : good) {
            Point3D p1, p2;
            std::vector<Point3D> feet;
            for (int code : {s.IntersectInfo(g.view(), p1, p2, 1e-6), g.view().IntersectInfo(s, p1, p2, 1e-6)})
                EXPECT_EQ(code & ~0xFF3F, 0);
            EXPECT_LE(SegIntersectSeg(s, g.view(), p1, p2), 2);
            s.LnDistance(g.view());
            s.GetOverlapLength(g.view(), 1e-6);
            s.Projection(g.view(), 1e-6, feet);
            EXPECT_LE(feet.size(), 3u);
        }
    }
    CsSegment none;  // the empty view answers without touching memory
    Point3D p1, p2;
    EXPECT_EQ(none.IntersectInfo(good[0].view(), p1, p2, 1), 0);
    EXPECT_EQ(good[0].view().IntersectInfo(none, p1, p2, 1), 0);
    EXPECT_TRUE(none.GetBox().IsEmpty());
}
