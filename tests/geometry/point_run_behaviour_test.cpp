// keloPoints: normalising, validity, lengths, searches, editing of curves and conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "KeloGeomNet.h"

using namespace kelo;

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();

keloPoints MakeRun(klLineType t, std::initializer_list<Point3D> pts) { return keloPoints(std::vector<Point3D>(pts), t); }

bool Same(const Point3D& a, const Point3D& b, double eps = 1e-9) { return IsTwoPointXYEqual(a, b, eps) != 0; }

const klLineType kAllTypes[] = {klLTNone, klLTPolyline, klLTBezier, klLT3PArc,
                                klLTEllipse, klLT3PCircle, klLTSpline, klLTSpline2};
}  // namespace

TEST(PointRunNormalise, CircleBecomesClosedArcChain) {
    keloPoints c = MakeRun(klLT3PCircle, {{-1, 0, 0}, {0, 1, 0}, {1, 0, 0}});
    c.Normalizing(1e-8, 12);
    ASSERT_EQ(c.GetCount(), 5);
    EXPECT_EQ(c.GetLineType(), klLT3PArc);
    EXPECT_TRUE(Same(c[0], c[4]));
    EXPECT_TRUE(Same(c[3], {0, -1, 0}));  // the inserted middle of the closing piece
    EXPECT_NEAR(c.GetPerimeter(), 2 * M_PI, 1e-12);

    keloPoints two = MakeRun(klLT3PArc, {{0, 0, 0}, {1, 0, 0}});
    EXPECT_EQ(two.Normalizing(), 1);
    EXPECT_EQ(two.GetLineType(), klLTPolyline);

    // An even chain gets the middle of its trailing piece.
    keloPoints even = MakeRun(klLT3PArc, {{1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}});
    even.Normalizing(1e-8, 8);
    ASSERT_EQ(even.GetCount(), 5);
    EXPECT_TRUE(Same(even[3], {-std::sqrt(0.5), -std::sqrt(0.5), 0}));
}

TEST(PointRunNormalise, DuplicatesAndZ) {
    keloPoints p = MakeRun(klLTPolyline, {{0, 0, 0}, {0, 0, 0}, {1, 0, 0}});
    p.Normalizing(1e-8, 4);
    ASSERT_EQ(p.GetCount(), 2);
    EXPECT_EQ(p[1].x, 1);
    // Runs of repeats collapse; with flag 2 a point with a different height survives.
    keloPoints q = MakeRun(klLTPolyline, {{0, 0, 0}, {1e-9, 0, 0}, {0, 1e-9, 0}, {0, 0, 5}, {2, 0, 0}});
    keloPoints r;
    r = q;  // deep copy for the second variant
    q.Normalizing(1e-8, 4);
    EXPECT_EQ(q.GetCount(), 2);
    r.Normalizing(1e-8, 6);
    EXPECT_EQ(r.GetCount(), 3);
    EXPECT_EQ(r[1].z, 5);
}

TEST(PointRunValidity, FlagsAndReportedPoint) {
    struct Case { klLineType t; int n; int flags; int ok; int reported; } cases[] = {
        {klLT3PArc, 4, 8, 0, 0}, {klLT3PArc, 3, 8, 1, -1}, {klLT3PArc, 5, 8, 1, -1},
        {klLTPolyline, 1, 8, 0, 0}, {klLTPolyline, 2, 8, 1, -1}, {klLT3PCircle, 2, 8, 0, 0},
    };
    for (auto c : cases) {
        std::vector<Point3D> v;
        for (int i = 0; i < c.n; ++i) v.push_back({double(i + 10), double(i * i), 0});
        keloPoints p(v, c.t);
        g_lastAbnormalPoint = {-1, -1, -1};
        EXPECT_EQ(p.IsNormal(1e-8, c.flags), c.ok) << c.t << "/" << c.n;
        if (c.reported >= 0) EXPECT_TRUE(Same(g_lastAbnormalPoint, v[c.reported]));
        else EXPECT_EQ(g_lastAbnormalPoint.x, -1);
    }
    keloPoints empty;
    EXPECT_EQ(empty.IsNormal(1e-8, 8), 0);
    EXPECT_EQ(empty.IsNormal(1e-8, 7), 1);

    keloPoints bad = MakeRun(klLTPolyline, {{0, 0, 0}, {1, kNaN, 0}, {2, 0, INFINITY}});
    EXPECT_EQ(bad.IsNormal(1e-8, 1), 0);
    EXPECT_EQ(g_lastAbnormalPoint.x, 1);
    EXPECT_EQ(bad.IsNormal(1e-8, 2), 0);
    EXPECT_EQ(g_lastAbnormalPoint.x, 2);
    keloPoints close = MakeRun(klLTPolyline, {{0, 0, 0}, {1, 0, 0}, {1, 0.001, 0}});
    EXPECT_EQ(close.IsNormal(0.01, 4), 0);
    EXPECT_EQ(g_lastAbnormalPoint.y, 0.001);  // the later point of the pair
    EXPECT_EQ(close.IsNormal(0.0001, 4), 1);
}

TEST(PointRunMeasure, PerimeterAndPointLength) {
    keloPoints circle(Point3D{3, 4, 0}, 1.0);
    EXPECT_NEAR(circle.GetPerimeter(), 2 * M_PI, 1e-12);
    keloPoints c6 = MakeRun(klLT3PCircle, {{2, 0, 0}, {0, 2, 0}, {-2, 0, 0}});
    EXPECT_NEAR(c6.GetPerimeter(), 4 * M_PI, 1e-12);
    keloPoints poly = MakeRun(klLTPolyline, {{0, 0, 0}, {3, 4, 0}, {3, 0, 0}});
    EXPECT_DOUBLE_EQ(poly.GetPerimeter(), 9);
    // A trailing pair adds the last arc's second half.
    keloPoints trailing = MakeRun(klLT3PArc, {{1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}});
    EXPECT_NEAR(trailing.GetPerimeter(), 1.5 * M_PI, 1e-12);
    // A straight Bezier measures its chord.
    keloPoints bez = MakeRun(klLTBezier, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
    EXPECT_NEAR(bez.GetPerimeter(), 3, 1e-12);
    EXPECT_EQ(GetArcDangle(), 1.0);  // restored

    double len = -1;
    EXPECT_EQ(circle.GetPointLength(1, len), 1);
    EXPECT_NEAR(len, M_PI / 2, 1e-12);
    EXPECT_EQ(circle.GetPointLength(4, len), 0);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(poly.GetPointLength(0, len), 1);
    EXPECT_DOUBLE_EQ(len, 5);
}

TEST(PointRunMeasure, Boxes) {
    keloPoints c6 = MakeRun(klLT3PCircle, {{-1, 0, 0}, {0, 1, 0}, {1, 0, 0}});
    Box b = c6.GetBox();
    EXPECT_NEAR(b.min_y(), -1, 1e-12);  // the whole circle, not the three points
    keloPoints arc(Point3D{0, 0, 0}, 2.0, 0.0, M_PI);
    b = arc.GetBox();
    EXPECT_NEAR(b.max_y(), 2, 1e-12);
    EXPECT_NEAR(b.min_y(), 0, 1e-12);
    EXPECT_NEAR(b.min_x(), -2, 1e-12);
    keloPoints one = MakeRun(klLTBezier, {{5, 6, 0}});
    b = one.GetBox();
    EXPECT_EQ(b.min_x(), 5);
    EXPECT_EQ(b.max_y(), 6);
    EXPECT_TRUE(keloPoints().GetBox().IsEmpty());
}

TEST(PointRunSearch, NearestPointAndLine) {
    keloPoints poly = MakeRun(klLTPolyline, {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {10.05, 0, 0}});
    SearchSegResult r;
    EXPECT_EQ(poly.SearchNearestPoint(r, {10.04, 0.01, 0}, 0.1), 1);
    EXPECT_EQ(r.index, 3);  // closer than point 1
    EXPECT_EQ(r.kind, 1);
    EXPECT_EQ(poly.SearchNearestPoint(r, {5, 5, 0}, 0.1), 0);

    SearchSegResult l;
    EXPECT_EQ(poly.SearchNearestLine(l, {5, 0.05, 0}, 0.1, 1), 1);
    EXPECT_EQ(l.index, 0);
    EXPECT_EQ(l.kind, 2);
    EXPECT_NEAR(l.distance, 0.05, 1e-6);
    EXPECT_EQ(poly.SearchNearestLine(l, {5, 3, 0}, 0.1, 1), 0);

    keloPoints arc(Point3D{0, 0, 0}, 1.0);  // two arcs
    EXPECT_EQ(arc.SearchNearestLine(l, {0, -1.01, 0}, 0.1, 1), 1);
    EXPECT_EQ(l.index, 1);
    EXPECT_NEAR(l.distance, 0.01, 1e-6);

    keloPoints bez = MakeRun(klLTBezier, {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {1, -1, 0}, {2, -1, 0}, {2, 0, 0}});
    EXPECT_EQ(bez.SearchNearestLine(l, {1.5, -0.76, 0}, 0.1, 1), 1);
    EXPECT_EQ(l.index, 1);  // the second curve segment
}

TEST(PointRunSearch, PointOnAndTangent) {
    keloPoints circle(Point3D{0, 0, 0}, 1.0);
    Point3D on{std::sqrt(0.5), std::sqrt(0.5), 0}, off{0.7, 0.7, 0};
    EXPECT_EQ(circle.PointOn(&on), 1);
    EXPECT_EQ(circle.PointOn(&off), 0);
    keloPoints bez = MakeRun(klLTBezier, {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}});
    Point3D mid = BezierPointAt(bez.points, 4, 0.5);
    EXPECT_EQ(bez.PointOn(&mid), 1);

    double angle = -1;
    keloPoints poly = MakeRun(klLTPolyline, {{0, 0, 0}, {0, 5, 0}});
    EXPECT_EQ(poly.QieXian({1, 2, 0}, angle, 0), 1);
    EXPECT_NEAR(angle, M_PI / 2, 1e-12);
    // The built circle turns clockwise (left, top, right, bottom): at its top it runs towards +x,
    // reversed towards -x.
    EXPECT_EQ(circle.QieXian({0, 2, 0}, angle, 0), 1);
    EXPECT_NEAR(angle, 0, 1e-9);
    EXPECT_EQ(circle.QieXian({0, 2, 0}, angle, 0.5), 0);
    Point3D m;
    EXPECT_EQ(circle.QieXianandMidPoint(1, angle, m), 1);
    EXPECT_TRUE(Same(m, {0, -1, 0}));
    EXPECT_NEAR(angle, M_PI, 1e-9);
    EXPECT_EQ(circle.QieXianandMidPoint(2, angle, m), 0);
    circle.ReversePoint();
    EXPECT_EQ(circle.QieXian({0, 2, 0}, angle, 0), 1);
    EXPECT_NEAR(angle, M_PI, 1e-9);

    keloPoint middle = MakeRun(klLTPolyline, {{0, 0, 0}, {4, 0, 0}, {4, 2, 0}}).GetMidPoint();
    EXPECT_TRUE(Same(middle, {3, 0, 0}));
    middle = keloPoints(Point3D{0, 0, 0}, 1.0).GetMidPoint();
    EXPECT_TRUE(Same(middle, {1, 0, 0}));  // half way round from (-1, 0)
}

TEST(PointRunEdit, InsertPtIntoSegmentEveryType) {
    // Straight: inserted after the segment's first point; ends are found, not duplicated.
    keloPoints poly = MakeRun(klLTPolyline, {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}});
    EXPECT_EQ(poly.InsertPtIntoSegment({10, 4, 0}, 1, 1e-6), 2);
    EXPECT_EQ(poly.GetCount(), 4);
    EXPECT_EQ(poly.InsertPtIntoSegment({1e-9, 0, 0}, 0, 1e-6), 0);
    EXPECT_EQ(poly.InsertPtIntoSegment({5, 0, 0}, 7, 1e-6), -1);
    EXPECT_EQ(poly.GetCount(), 4);

    // Arc: 3 points become 5, all on the circle, with pt in the middle.
    keloPoints arc = MakeRun(klLT3PArc, {{1, 0, 0}, {0, 1, 0}, {-1, 0, 0}});
    Point3D pt{std::cos(0.5), std::sin(0.5), 0};
    EXPECT_EQ(arc.InsertPtIntoSegment(pt, 0, 1e-6), 2);
    ASSERT_EQ(arc.GetCount(), 5);
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(std::hypot(arc[i].x, arc[i].y), 1, 1e-12);
    EXPECT_TRUE(Same(arc[1], {std::cos(0.25), std::sin(0.25), 0}));
    EXPECT_NEAR(arc.GetPerimeter(), M_PI, 1e-12);

    // Bezier: the curve keeps its shape.
    keloPoints bez = MakeRun(klLTBezier, {{0, 0, 0}, {0, 3, 0}, {3, 3, 0}, {3, 0, 0}});
    Point3D onCurve = BezierPointAt(bez.points, 4, 0.3);
    EXPECT_EQ(bez.InsertPtIntoSegment(onCurve, 0, 1e-9), 3);
    ASSERT_EQ(bez.GetCount(), 7);
    Point3D before = BezierPointAt(std::vector<Point3D>{{0, 0, 0}, {0, 3, 0}, {3, 3, 0}, {3, 0, 0}}.data(), 4, 0.65);
    Point3D after = BezierPointAt(bez.points + 3, 4, 0.5);
    EXPECT_TRUE(Same(before, after, 1e-6));

    // Ellipse: one piece becomes two on the same ellipse.
    Point3D c{0, 0, 0};
    std::vector<Point3D> e;
    for (int k = 0; k <= 4; ++k) e.push_back(EllipsePointAt(c, 4, 2, 0, k * M_PI / 4));
    keloPoints ell(e, klLTEllipse);
    Point3D ept = EllipsePointAt(c, 4, 2, 0, 0.3);
    EXPECT_EQ(ell.InsertPtIntoSegment(ept, 0, 1e-9), 4);
    ASSERT_EQ(ell.GetCount(), 9);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(ell[i].x * ell[i].x / 16 + ell[i].y * ell[i].y / 4, 1, 1e-9);
}

TEST(PointRunEdit, ExplodeAndReverse) {
    std::vector<keloPoints*> out;
    keloPoints arc = MakeRun(klLT3PArc, {{1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}});
    EXPECT_EQ(arc.Explode2Line(out), 2);
    EXPECT_EQ(out[1]->GetLineType(), klLT3PArc);
    ASSERT_EQ(out[1]->GetCount(), 3);
    EXPECT_NEAR(std::hypot((*out[1])[1].x, (*out[1])[1].y), 1, 1e-12);
    keloPoints bez = MakeRun(klLTBezier, {{0, 0, 0}, {1, 1, 0}, {2, 1, 0}, {3, 0, 0}});
    EXPECT_EQ(bez.Explode2Line(out), 5);
    EXPECT_EQ(out[4]->GetLineType(), klLTPolyline);
    keloPoints weird = MakeRun(static_cast<klLineType>(11), {{0, 0, 0}, {1, 1, 0}});
    EXPECT_EQ(weird.Explode2Line(out), 5);
    for (auto* p : out) delete p;

    EXPECT_EQ(bez.ReversePoint(), 1);
    EXPECT_EQ(bez[0].x, 3);
    EXPECT_EQ(weird.ReversePoint(), 0);
    EXPECT_EQ(weird[0].x, 0);
}

TEST(PointRunConvert, DiscreteMaskAndBezierForms) {
    keloPoints arc = MakeRun(klLT3PArc, {{1, 0, 0}, {0, 1, 0}, {-1, 0, 0}});
    EXPECT_EQ(arc.Discrete(klDPBezier), 3);
    EXPECT_EQ(arc.GetLineType(), klLT3PArc);
    EXPECT_GT(arc.Discrete(klDPArc), 3);
    EXPECT_EQ(arc.GetLineType(), klLTPolyline);

    // Arc chain to Bezier: a quarter-circle cubic stays within 3e-4 of the circle.
    keloPoints circle(Point3D{0, 0, 0}, 10.0);
    EXPECT_EQ(circle.ConvertToBezier(klDPAll), 13);
    EXPECT_EQ(circle.GetLineType(), klLTBezier);
    for (int s = 0; s < 4; ++s)
        for (double t = 0; t <= 1; t += 0.125) {
            Point3D q = BezierPointAt(circle.points + 3 * s, 4, t);
            EXPECT_NEAR(std::hypot(q.x, q.y), 10, 10 * 3e-4);
        }
    EXPECT_EQ(circle.BezierToLinear(), 5);
    EXPECT_EQ(circle.GetLineType(), klLTPolyline);

    // A type-6 circle goes through the drawing path.
    keloPoints c6 = MakeRun(klLT3PCircle, {{100, 0, 0}, {110, 10, 0}, {120, 0, 0}});
    EXPECT_EQ(c6.ConvertToBezier(klDPAll), 13);
    EXPECT_EQ(c6[5].z, 9999.0);
    for (int i = 0; i < 13; i += 3) EXPECT_NEAR(std::hypot(c6[i].x - 110, c6[i].y), 10, 1e-4);

    // Under the ellipse-as-arcs mode an ellipse becomes a well-formed arc chain.
    std::vector<Point3D> e;
    for (int k = 0; k <= 4; ++k) e.push_back(EllipsePointAt({0, 0, 0}, 4, 2, 0.3, k * M_PI / 3));
    keloPoints ell(e, klLTEllipse);
    {
        EllipseAsArcsScope scope;
        EXPECT_TRUE(IsEllipseAsArcs());
        ell.Discrete(klDPAll);
    }
    EXPECT_FALSE(IsEllipseAsArcs());
    EXPECT_EQ(ell.GetLineType(), klLT3PArc);
    EXPECT_EQ(ell.GetCount() % 2, 1);
    EXPECT_EQ(ell.IsNormal(1e-8, 8), 1);
}

// Counts of 0, 1 and 2, and NaN coordinates, for every line type: documented results, no crash.
TEST(PointRunBadInput, SmallCountsAndNaNForEveryType) {
    for (klLineType t : kAllTypes) {
        for (int n = 0; n <= 2; ++n) {
            std::vector<Point3D> v;
            for (int i = 0; i < n; ++i) v.push_back({double(i), double(2 * i), 0});
            keloPoints p(v, t);
            std::vector<Point3D> out;
            p.Discrete(out, 1e-3);
            // Arcs, circles and ellipses need two points; a two-point Bezier is one straight segment
            // sampled like any other.
            bool needsTwo = t == klLT3PArc || t == klLT3PCircle || t == klLTEllipse;
            int expected = (n == 1 && needsTwo) ? 0 : (n == 2 && t == klLTBezier) ? 5 : n;
            EXPECT_EQ(int(out.size()), expected) << t << "/" << n;
            EXPECT_EQ(p.GetPerimeter(), n == 2 ? std::sqrt(5.0) : 0.0) << t << "/" << n;
            EXPECT_EQ(p.GetBox().IsEmpty(), n == 0);
            SearchSegResult r;
            EXPECT_EQ(p.SearchNearestLine(r, {0.5, 1, 0}, 1e-6, 1), n == 2 ? 1 : 0) << t << "/" << n;
            std::vector<keloPoints*> parts;
            p.Explode2Line(parts);
            for (auto* q : parts) delete q;
            keloPoints copy;
            copy = p;
            copy.ConvertToBezier(klDPAll);
            EXPECT_EQ(copy.GetCount() >= n, true);
            copy = p;
            copy.Discrete(klDPAll);
            copy = p;
            EXPECT_EQ(copy.InsertPtIntoSegment({0.5, 1, 0}, 0, 1e-6), n == 2 ? 1 : -1) << t << "/" << n;
            double angle;
            EXPECT_EQ(p.QieXian({0, 0, 0}, angle, 0), n == 2 ? 1 : 0);
            EXPECT_EQ(p.GetOriginalPointAt(n), nullptr);
        }
        keloPoints nan = MakeRun(t, {{0, 0, 0}, {kNaN, 1, 0}, {2, kNaN, 0}, {3, 3, 0}, {4, 0, 0}});
        std::vector<Point3D> out;
        nan.Discrete(out, 1e-3);
        nan.GetBox();
        nan.GetPerimeter();
        nan.GetMidPoint();
        SearchSegResult r;
        nan.SearchNearestLine(r, {0, 0, 0}, 1e-3, 1);
        Point3D q{4, 0, 0};
        EXPECT_EQ(nan.PointOn(&q), 1) << t;  // the last stored point is always on the line
        keloPoints copy;
        copy = nan;
        copy.ConvertToBezier(klDPAll);
    }
}

// Degenerate curves fall back to straight pieces; out-of-range segment indexes are refused.
TEST(PointRunBadInput, DegenerateCurvesAndIndexes) {
    keloPoints collinear = MakeRun(klLT3PArc, {{0, 0, 0}, {1, 0, 0}, {3, 0, 0}});
    std::vector<Point3D> out;
    collinear.Discrete(out, 1e-3);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].x, 3);
    EXPECT_DOUBLE_EQ(collinear.GetPerimeter(), 3);
    EXPECT_EQ(collinear.GetBox().max_x(), 3);
    Point3D mid{2, 0, 0};
    EXPECT_EQ(collinear.PointOn(&mid), 1);
    keloPoints asBezier;
    asBezier = collinear;
    EXPECT_EQ(asBezier.ConvertToBezier(klDPAll), 4);
    EXPECT_NEAR(asBezier[1].x, 1, 1e-12);  // control points on the chord

    keloPoints same = MakeRun(klLTBezier, {{2, 2, 0}, {2, 2, 0}, {2, 2, 0}, {2, 2, 0}});
    out.clear();
    same.Discrete(out, 1e-3);
    EXPECT_EQ(out.size(), 5u);
    Box b = same.GetBox();
    EXPECT_EQ(b.min_x(), 2);
    EXPECT_EQ(b.max_x(), 2);
    keloPoints spline = MakeRun(klLTSpline, {{0, 0, 0}, {0, 0, 0}, {1, 1, 0}, {1, 1, 0}});
    // Repeated points make the spline loop back at both ends (by s * 4/27 of the neighbour span).
    double s = SplineTangentScale(GetGzZlytParameter());
    EXPECT_NEAR(spline.GetPerimeter(), std::sqrt(2.0) * (1 + 4 * s * 4 / 27), 1e-3);
    keloPoints circle = MakeRun(klLT3PCircle, {{0, 0, 0}, {1, 1, 0}, {0, 0, 0}});
    out.clear();
    circle.Discrete(out, 1e-3);
    EXPECT_EQ(out.size(), 3u);  // first and third point coincide: not discretised

    keloPoints arcs(Point3D{0, 0, 0}, 1.0);
    keloPoints piece;
    double angle = 0;
    Point3D m;
    for (int seg : {-1, 2, 1000}) {
        EXPECT_EQ(arcs.DiscreteOneSeg(seg, piece, 1e-3), 0);
        EXPECT_TRUE(piece.IsNulL());
        EXPECT_EQ(arcs.QieXianandMidPoint(seg, angle, m), 0);
        EXPECT_EQ(arcs.GetSegment(seg), nullptr);
        EXPECT_EQ(arcs.InsertPtIntoSegment({0, 1, 0}, seg, 1e-6), -1);
        EXPECT_EQ(arcs.Adj3PArcMiddlePt(seg, 1e-6), seg < 0 ? 1 : 0);
    }
    EXPECT_EQ(arcs.GetCount(), 5);
    EXPECT_GT(arcs.DiscreteOneSeg(1, piece, 1e-3), 3);
    EXPECT_EQ(piece.GetLineType(), klLTPolyline);
    EXPECT_TRUE(Same(piece[0], arcs[2]));
    EXPECT_TRUE(Same(piece[piece.GetCount() - 1], arcs[4]));
    // A middle point off mid-arc is moved there.
    keloPoints skew = MakeRun(klLT3PArc, {{1, 0, 0}, {std::cos(0.3), std::sin(0.3), 0}, {-1, 0, 0}});
    EXPECT_EQ(skew.Restore3PArc(), 1);
    EXPECT_TRUE(Same(skew[1], {0, 1, 0}));
    EXPECT_EQ(MakeRun(klLTPolyline, {{0, 0, 0}, {1, 0, 0}}).Restore3PArc(), 0);
}
