// Circles, arcs and their intersections; ellipse, Bezier and spline helpers; convex hull.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "KeloGeomNet.h"

using namespace kelo;

namespace {
bool Same(const Point3D& a, const Point3D& b, double eps = 1e-9) { return IsTwoPointXYEqual(a, b, eps) != 0; }
double DistTo(const Point3D& a, const Point3D& c) { return std::hypot(a.x - c.x, a.y - c.y); }
}  // namespace

TEST(CircleArc, Circle3PAndArcParameters) {
    double cx = 7, cy = 7, r = 7;
    EXPECT_EQ(Circle3P(0, 0, 1, 1, 2, 2, cx, cy, r), 0);
    EXPECT_EQ(cx, 7);  // untouched on failure
    EXPECT_EQ(Circle3P(0, 0, NAN, 1, 2, 0, cx, cy, r), 0);
    ASSERT_EQ(Circle3P(-1, 0, 0, 1, 1, 0, cx, cy, r), 1);
    EXPECT_NEAR(cx, 0, 1e-15);
    EXPECT_NEAR(cy, 0, 1e-15);
    EXPECT_NEAR(r, 1, 1e-15);
    // Far from the origin the result keeps its precision.
    ASSERT_EQ(Circle3P(1e7 - 1, 5e6, 1e7, 5e6 + 1, 1e7 + 1, 5e6, cx, cy, r), 1);
    EXPECT_NEAR(cx, 1e7, 1e-8);
    EXPECT_NEAR(r, 1, 1e-8);

    // Clockwise arc from 90 to 0 degrees through 45: the end is lifted above the start, the middle
    // stays a plain direction, so it lies outside [start, end] for a clockwise arc.
    Point3D cw[3] = {{0, 1, 0}, {std::sqrt(0.5), std::sqrt(0.5), 0}, {1, 0, 0}};
    CurveSegment seg{klLT3PArc, 3, cw};
    Point3D c;
    double s, e, m;
    ASSERT_EQ(GetArcParam(&seg, &c, &r, &s, &e, &m), True);
    EXPECT_NEAR(s, 90, 1e-9);
    EXPECT_NEAR(e, 360, 1e-9);
    EXPECT_NEAR(m, 45, 1e-9);
    Point3D ccw[3] = {{1, 0, 0}, {std::sqrt(0.5), std::sqrt(0.5), 0}, {0, 1, 0}};
    seg.points = ccw;
    ASSERT_EQ(GetArcParam(&seg, &c, &r, &s, &e, &m), True);
    EXPECT_NEAR(s, 0, 1e-9);
    EXPECT_NEAR(m, 45, 1e-9);
    EXPECT_NEAR(e, 90, 1e-9);

    Point3D closed[3] = {{1, 0, 0}, {0, 1, 0}, {1, 0, 0}};
    seg.points = closed;
    EXPECT_EQ(GetArcParam(&seg, &c, &r, &s, &e, &m), False);
    EXPECT_TRUE(Same(c, closed[0]));
    EXPECT_EQ(r, 0);
    Point3D line[3] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    seg.points = line;
    EXPECT_EQ(GetArcParam(&seg, &c, &r), False);
    EXPECT_TRUE(Same(c, line[1]));
    EXPECT_EQ(GetCircleParam(&seg, &c, &r), False);
    seg.pointCount = 2;
    EXPECT_EQ(GetCircleParam(&seg, &c, &r), False);
    EXPECT_EQ(GetArcParam(nullptr, &c, &r), False);

    Point3D q = Get_Cir_At_T({1, 1, 5}, 2, 90);
    EXPECT_TRUE(Same(q, {1, 3, 0}));
    EXPECT_EQ(q.z, 0);
    EXPECT_NEAR(GetDirectionAngle({0, 0, 0}, {0, -1, 0}), 270, 1e-12);
    EXPECT_EQ(GetDirectionAngle({0, 0, 0}, {1, 0, 0}), 0);
}

TEST(CircleArc, LineEquationAndIntersections) {
    double a, b, c;
    EXPECT_EQ(GetLineEquation({0, 0, 0}, {0, 0, 0}, a, b, c), 0);
    ASSERT_EQ(GetLineEquation({1, 1, 0}, {3, 2, 0}, a, b, c), 1);
    EXPECT_GE(b, 0);
    EXPECT_NEAR(a * 3 + b * 2 + c, 0, 1e-12);

    // Random secants: both points lie on the line and on the circle, whatever the slope.
    std::mt19937 g(1);
    std::uniform_real_distribution<double> u(-10, 10);
    for (int i = 0; i < 200; ++i) {
        Point3D centre{u(g), u(g), 0};
        double r = std::abs(u(g)) + 1;
        double ang = u(g);
        Point3D through{centre.x + 0.5 * r * std::cos(ang + 1), centre.y + 0.5 * r * std::sin(ang + 1), 0};
        Point3D other{through.x + std::cos(ang), through.y + std::sin(ang), 0};
        ASSERT_EQ(GetLineEquation(through, other, a, b, c), 1);
        Point3D p1, p2;
        ASSERT_EQ(LineIntersectCircle(a, b, c, centre, r, 1e-9, p1, p2), 2);
        for (const Point3D& p : {p1, p2}) {
            EXPECT_NEAR(DistTo(p, centre), r, 1e-9 * r);
            EXPECT_NEAR(a * p.x + b * p.y + c, 0, 1e-9 * (std::abs(c) + 1));
        }
        EXPECT_GT(DistTo(p1, p2), 0.1);
    }
    // Tangent within tolerance: one point, the foot, in both outputs; beyond it none.
    Point3D p1, p2;
    EXPECT_EQ(LineIntersectCircle(0, 1, -2.0000001, {0, 0, 0}, 2, 1e-6, p1, p2), 1);
    EXPECT_TRUE(Same(p1, {0, 2.0000001, 0}));
    EXPECT_TRUE(Same(p2, p1));
    EXPECT_EQ(LineIntersectCircle(0, 1, -2.1, {0, 0, 0}, 2, 1e-6, p1, p2), 0);

    // A segment keeps only the points within it.
    EXPECT_EQ(SegmentIntersectCircle({0, 0, 0}, {5, 0, 0}, {0, 0, 0}, 2, 1e-9, p1, p2), 1);
    EXPECT_TRUE(Same(p1, {2, 0, 0}));
    EXPECT_EQ(SegmentIntersectCircle({-5, 0, 0}, {5, 0, 0}, {0, 0, 0}, 2, 1e-9, p1, p2), 2);
    EXPECT_EQ(SegmentIntersectCircle({-1, 0, 0}, {1, 0, 0}, {0, 0, 0}, 2, 1e-9, p1, p2), 0);

    // Circles: concentric none; crossing two, on both circles.
    EXPECT_EQ(CircleIntersectCircle({1, 1, 0}, 1, {1, 1, 0}, 2, 1e-9, p1, p2), 0);
    ASSERT_EQ(CircleIntersectCircle({0, 0, 0}, 5, {6, 0, 0}, 5, 1e-9, p1, p2), 2);
    EXPECT_TRUE(Same(p1, {3, 4, 0}) || Same(p1, {3, -4, 0}));
    EXPECT_NEAR(DistTo(p2, {6, 0, 0}), 5, 1e-12);
    ASSERT_EQ(CircleIntersectCircle({0, 0, 0}, 1, {2, 0, 0}, 1, 1e-9, p1, p2), 1);
    EXPECT_TRUE(Same(p1, {1, 0, 0}));

    // Arcs: only the crossings on both arcs count.
    Point3D upper[3] = {{-5, 0, 0}, {0, 5, 0}, {5, 0, 0}};
    Point3D right[3] = {{6, -5, 0}, {1, 0, 0}, {6, 5, 0}};
    ASSERT_EQ(ArcIntersectArc(upper, right, 1e-9, p1, p2), 1);
    EXPECT_TRUE(Same(p1, {3, 4, 0}));
    Point3D farRight[3] = {{6, -5, 0}, {11, 0, 0}, {6, 5, 0}};
    EXPECT_EQ(ArcIntersectArc(upper, farRight, 1e-9, p1, p2), 0);
}

TEST(CircleArc, ArcPiecesBoxesAndDistances) {
    // A 270 degree arc: counter-clockwise from (1,0) through (-1,0) to (0,-1).
    Point3D big[3] = {{1, 0, 0}, {-1, 0, 0}, {0, -1, 0}};
    EXPECT_NEAR(Length3PArc(big, 0), 1.5 * M_PI, 1e-12);
    EXPECT_NEAR(Length3PArc(big, 1), M_PI, 1e-12);
    EXPECT_NEAR(Length3PArc(big, 2), 0.5 * M_PI, 1e-12);
    EXPECT_TRUE(Same(MidPointOf3PArc(big, 0), {-std::sqrt(0.5), std::sqrt(0.5), 0}));
    EXPECT_TRUE(Same(MidPointOf3PArc(big, 2), {-std::sqrt(0.5), -std::sqrt(0.5), 0}));
    Box b = GetBoxOf3PArc(big);
    EXPECT_NEAR(b.min_x(), -1, 1e-12);
    EXPECT_NEAR(b.max_y(), 1, 1e-12);
    EXPECT_NEAR(b.min_y(), -1, 1e-12);
    Point3D foot;
    EXPECT_NEAR(DistanceTo3PArc(big, {2, 0, 0}, &foot), 1, 1e-12);
    EXPECT_NEAR(DistanceTo3PArc(big, {0.5, -0.5, 0}, &foot), std::hypot(0.5, 0.5), 1e-12);  // the gap
    Point3D line[3] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    EXPECT_NEAR(DistanceTo3PArc(line, {1, 3, 0}), 3, 1e-12);
    EXPECT_NEAR(Length3PArc(line, 2), 1, 1e-12);
}

TEST(Ellipse, HelpersAndBadFits) {
    Point3D c{10, -5, 0};
    std::vector<Point3D> pts;
    for (double t : {0.1, 0.5, 0.9, 1.6, 2.0}) pts.push_back(EllipsePointAt(c, 6, 3, 0.4, t));
    // Quadrant points of the fitted ellipse.
    Point3D q;
    ASSERT_TRUE(GetEllipseInterPt(pts.data(), q, 1));
    EXPECT_NEAR(std::abs(((q.x - c.x) * std::cos(0.4) + (q.y - c.y) * std::sin(0.4))), 0, 1e-6);
    EXPECT_FALSE(GetEllipseInterPt(pts.data(), q, 4));
    // Adjusting spaces the inner points evenly but keeps them on the ellipse.
    std::vector<Point3D> adj = pts;
    EXPECT_EQ(AdjustEllipse(5, adj.data()), 1);
    EXPECT_TRUE(Same(adj[0], pts[0]));
    EXPECT_TRUE(Same(adj[2], EllipsePointAt(c, 6, 3, 0.4, 1.05), 1e-6));

    Point3D collinear[5] = {{0, 0, 0}, {1, 1, 0}, {2, 2, 0}, {3, 3, 0}, {4, 4, 0}};
    Point3D cc;
    double a, b, rot, s, e, sw;
    EXPECT_FALSE(Ellipse5P(collinear, cc, a, b, rot, s, e, sw));
    Point3D hyperbola[5] = {{1, 1, 0}, {2, 0.5, 0}, {4, 0.25, 0}, {0.5, 2, 0}, {0.25, 4, 0}};
    EXPECT_FALSE(Ellipse5P(hyperbola, cc, a, b, rot, s, e, sw));
    Point3D repeated[5] = {{0, 0, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    EXPECT_FALSE(Ellipse5P(repeated, cc, a, b, rot, s, e, sw));
    // A piece that fits no ellipse is copied as points.
    std::vector<Point3D> out;
    EXPECT_EQ(DiscreteEllipse(5, collinear, out, 1e-3), 5);

    // A closed piece (four distinct quarter points) is the whole ellipse.
    std::vector<Point3D> ring;
    for (int k = 0; k <= 4; ++k) ring.push_back(EllipsePointAt({3, 4, 0}, 40, 20, 0.25, 0.1 + k * M_PI / 2));
    ring[4] = ring[0];
    keloPoints whole(ring, klLTEllipse);
    double truth = 0;
    for (int k = 0; k < 100000; ++k) {
        Point3D p0 = EllipsePointAt({3, 4, 0}, 40, 20, 0.25, k * 2 * M_PI / 100000);
        Point3D p1 = EllipsePointAt({3, 4, 0}, 40, 20, 0.25, (k + 1) * 2 * M_PI / 100000);
        truth += DistTo(p0, p1);
    }
    EXPECT_NEAR(whole.GetPerimeter(), truth, 1e-6 * truth);
    Box wb = whole.GetBox();
    double hx = std::hypot(40 * std::cos(0.25), 20 * std::sin(0.25));
    EXPECT_NEAR(wb.max_x() - wb.min_x(), 2 * hx, 1e-9);

    // ellipseLinzed: the point-count rule and the closing of a full turn.
    out.clear();
    EXPECT_EQ(ellipseLinzed({0, 0, 0}, {2, 0, 0}, 0.5, 0, M_PI, out, 0.1), 19);
    EXPECT_TRUE(Same(out[18], {-2, 0, 0}));
    out.clear();
    ellipseLinzed({0, 0, 0}, {0, 2, 0}, 0.5, 1, 1 + 2 * M_PI, out, 0.01);
    EXPECT_EQ(out.size(), 5u);
    EXPECT_EQ(out.back().x, out.front().x);
    out.clear();
    EXPECT_EQ(ellipseLinzed({0, 0, 0}, {1, 0, 0}, 1, 3, 1, out, 0.0), 3);  // start > end wraps
}

TEST(BezierHelpers, SplitAndFourPointFit) {
    Point3D ctrl[4] = {{0, 0, 0}, {1, 3, 0}, {4, 3, 0}, {5, 0, 0}};
    Point3D on = BezierPointAt(ctrl, 4, 0.3);
    Point3D out[7];
    double t = SplitBezier(ctrl, on.x, on.y + 1e-4, out);
    EXPECT_NEAR(t, 0.3, 1e-3);
    EXPECT_TRUE(Same(out[0], ctrl[0]));
    EXPECT_TRUE(Same(out[6], ctrl[3]));
    // Both halves trace the original curve.
    for (double v = 0; v <= 1; v += 0.25) {
        EXPECT_TRUE(Same(BezierPointAt(out, 4, v), BezierPointAt(ctrl, 4, t * v), 1e-9));
        EXPECT_TRUE(Same(BezierPointAt(out + 3, 4, v), BezierPointAt(ctrl, 4, t + (1 - t) * v), 1e-9));
    }
    // Four curve points at 0, 1/3, 2/3, 1 give back the control points.
    Point3D far[4] = {{1e6, 2e6, 0}, {1e6 + 1, 2e6 + 3, 0}, {1e6 + 4, 2e6 + 3, 0}, {1e6 + 5, 2e6, 0}};
    Point3D q[4] = {far[0], BezierPointAt(far, 4, 1.0 / 3), BezierPointAt(far, 4, 2.0 / 3), far[3]};
    ConvertFourPointsToBezier(q);
    EXPECT_TRUE(Same(q[1], far[1], 1e-7));
    EXPECT_TRUE(Same(q[2], far[2], 1e-7));

    keloPoints bez(std::vector<Point3D>{{0, 0, 0}, {1, 1, 0}, {2, 1, 0}, {3, 0, 0}, {4, 1, 0}, {5, 1, 0}, {6, 0, 0}},
                   klLTBezier);
    EXPECT_EQ(bez.BezierToLinear(), 3);
    EXPECT_EQ(bez[2].x, 6);
    keloPoints two(std::vector<Point3D>{{0, 0, 0}, {1, 1, 0}}, klLTBezier);
    EXPECT_EQ(two.BezierToLinear(), 2);
    EXPECT_EQ(two.GetLineType(), klLTBezier);
}

TEST(SplineHelpers, TensionScaleAndShortInput) {
    EXPECT_EQ(SplineTangentScale(1), 1);
    EXPECT_EQ(SplineTangentScale(0.49), 1);  // 1.43 clamped
    EXPECT_NEAR(SplineTangentScale(15), 1 / std::sqrt(15.0), 1e-15);
    EXPECT_EQ(SplineTangentScale(0), 1);
    Point3D two[2] = {{0, 0, 0}, {1, 1, 0}};
    std::vector<Point3D> out;
    EXPECT_EQ(ConvertSplineToBezier(2, two, out, 15), 0);
    EXPECT_EQ(DiscreteStrain(2, two, out, 15, 1e-3), 5);  // a straight piece
    // The uniform form samples exactly maxN steps.
    out.clear();
    EXPECT_EQ(DiscreteCardinalSpline(two[0], two[0], two[1], two[1], 0.5, out, 7), 8);
    // Joining skips a repeated first point only.
    std::vector<Point3D> line = {{0, 0, 0}, {1, 0, 0}};
    ConnectToPointArray(line, std::vector<Point3D>{{1, 5e-9, 0}, {2, 0, 0}});
    EXPECT_EQ(line.size(), 3u);
    ConnectToPointArray(line, std::vector<Point3D>{{2, 1e-7, 0}, {3, 0, 0}});
    EXPECT_EQ(line.size(), 5u);
}

TEST(ConvexHull, CoreOrderAndDegenerateInput) {
    std::vector<Point3D> pts = {{1, 1, 0}, {0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}, {1, 0, 0}, {0, 0, 0}};
    int n = GetConvexHullOfPoints(pts.data(), int(pts.size()));
    ASSERT_EQ(n, 4);
    EXPECT_TRUE(Same(pts[0], {0, 0, 0}));
    EXPECT_TRUE(Same(pts[1], {2, 0, 0}));  // counter-clockwise, collinear (1, 0) skipped
    EXPECT_TRUE(Same(pts[2], {2, 2, 0}));
    EXPECT_TRUE(Same(pts[3], {0, 2, 0}));
    EXPECT_EQ(pts.size(), 7u);
    // The remaining points are kept behind the hull.
    double sx = 0;
    for (size_t i = 4; i < pts.size(); ++i) sx += pts[i].x;
    EXPECT_EQ(sx, 2);

    std::vector<Point3D> line = {{0, 0, 0}, {1, 1, 0}, {2, 2, 0}};
    EXPECT_EQ(GetConvexHullOfPoints(line.data(), 3), 2);
    Point3D nan[3] = {{NAN, 0, 0}, {1, 1, 0}, {0, 5, 0}};
    EXPECT_EQ(GetConvexHullOfPoints(nan, 3), 2);
    EXPECT_EQ(GetConvexHullOfPoints(nullptr, 3), 0);
    EXPECT_EQ(GetConvexHullOfPoints(nan, 0), 0);
}

TEST(Discretise, CircleClipAndJoining) {
    double old = SetArcDangle(1.0);
    // A type-6 circle closes on its first point and turns the way its points do.
    Point3D cw[3] = {{0, 1, 7}, {1, 0, 0}, {0, -1, 0}};
    std::vector<Point3D> out;
    int added = DiscreteCir(cw, 3, out, 0.5);
    EXPECT_EQ(added, int(out.size()));
    EXPECT_EQ(added, 7);  // steps of acos(1 - 0.5) = 60 degrees: six chords
    EXPECT_EQ(out.front().z, 7);
    EXPECT_TRUE(Same(out.front(), out.back()));
    EXPECT_LT(out[1].x, 1);  // moving clockwise from the top: towards +x, down
    EXPECT_GT(out[1].x, 0);
    for (const Point3D& p : out) EXPECT_NEAR(std::hypot(p.x, p.y), 1, 1e-12);

    // An arc wholly outside the clip box may be cut to its ends; inside it is not.
    Point3D arc[3] = {{10, 0, 0}, {0, 10, 0}, {-10, 0, 0}};
    Box far(100, 100, 200, 200), near(-1, -1, 1, 20);
    out.clear();
    EXPECT_EQ(DiscreteArc(arc, 3, out, 0.01, &far), 2);
    out.clear();
    EXPECT_EQ(DiscreteArc(arc, 3, out, 0.01, &near), DiscreteArc(arc, 3, out, 0.01));

    // Runs joined one after another share their joint point.
    keloPoints a(0, 0, 1, 0), b(1, 0, 2, 5);
    std::vector<Point3D> line;
    a.AddDiscreteToPnts(line, 1e-3);
    b.AddDiscreteToPnts(line, 1e-3);
    EXPECT_EQ(line.size(), 3u);
    SetArcDangle(old);
}

TEST(CurveEdgeCases, ArcAnglesSplineLimitAndEllipseZ) {
    using namespace kelo;
    // An arc across 0 degrees: only the end angle is lifted past 360.
    const double d2r = M_PI / 180;
    Point3D arc[3] = {{std::cos(350 * d2r), std::sin(350 * d2r), 0},
                      {std::cos(10 * d2r), std::sin(10 * d2r), 0},
                      {std::cos(30 * d2r), std::sin(30 * d2r), 0}};
    CurveSegment seg{klLT3PArc, 3, arc};
    Point3D c;
    double r, s, e, m;
    ASSERT_EQ(GetArcParam(&seg, &c, &r, &s, &e, &m), True);
    EXPECT_NEAR(s, 350, 1e-9);
    EXPECT_NEAR(e, 390, 1e-9);
    EXPECT_NEAR(m, 10, 1e-9);

    // A huge step limit must not overflow or hang; a straight piece stops at the first level.
    std::vector<Point3D> out;
    Point3D p0{0, 0, 0}, p1{1, 0, 0}, p2{2, 0, 0}, p3{3, 0, 0};
    EXPECT_GT(DiscreteCardinalSpline(p0, p1, p2, p3, 0.5, out, 0.01, 2147483647), 0);

    // Computed ellipse points carry the unknown-elevation marker, the stored ends their own z.
    Point3D ell[5];
    for (int i = 0; i < 5; ++i) ell[i] = {4 * std::cos(i * M_PI / 4), 2 * std::sin(i * M_PI / 4), 7};
    std::vector<Point3D> d;
    ASSERT_GT(DiscreteEllipse(5, ell, d, 0.01), 5);
    EXPECT_EQ(d.front().z, 7);
    EXPECT_EQ(d.back().z, 7);
    EXPECT_EQ(d[d.size() / 2].z, kUnknownZ);
}

// Arcs through points far beyond any real coordinate (still finite, so the checked reader takes
// them) or through NaN have no sound step count; they keep their ends instead of converting a
// NaN or a huge count to an integer.
TEST(CircleArc, DegenerateHugeArcsKeepTheirEnds) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Point3D cases[][3] = {
        {{0, 0, 0}, {1e300, 1e300, 0}, {-1e300, 1e300, 0}},
        {{0, 0, 0}, {nan, 1, 0}, {2, 0, 0}},
        {{-1e308, 0, 0}, {0, 1e308, 0}, {1e308, 0, 0}},
    };
    for (const auto& arc : cases) {
        std::vector<Point3D> out;
        const int n = DiscreteArc(arc, 3, out, 1e-3, nullptr);
        EXPECT_EQ(n, static_cast<int>(out.size()));
        ASSERT_GE(out.size(), 2u);
        EXPECT_LE(out.size(), 100000u);
        EXPECT_EQ(out.front().x, arc[0].x);
        EXPECT_EQ(out.back().x, arc[2].x);
    }
}
