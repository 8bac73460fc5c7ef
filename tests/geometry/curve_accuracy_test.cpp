// Discretisation tolerance, point-count rules and curve boxes, measured against densely sampled
// true curves.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "KeloGeomNet.h"

using namespace kelo;

namespace {

double DistToPolyline(const std::vector<Point3D>& line, const Point3D& q) {
    double best = INFINITY;
    for (size_t i = 0; i + 1 < line.size(); ++i) best = std::min(best, DistanceToSegment(line[i], line[i + 1], q));
    if (line.size() == 1) best = PointPointDistance(&line[0], &q);
    return best;
}

// Dense samples of a parametric curve on [0, 1].
std::vector<Point3D> Dense(const std::function<Point3D(double)>& f, int n = 4000) {
    std::vector<Point3D> v;
    for (int i = 0; i <= n; ++i) v.push_back(f(double(i) / n));
    return v;
}

// Every true-curve sample is near the chords (chords within eps of the curve), and every discrete
// vertex lies on the curve. Bezier and spline pieces are accepted by the deviation of the middle
// sample of each chord pair; where the piece is dominated by its cubic term the largest deviation
// sits off the middle and can exceed it by up to 4/27 : 1/8, about 19 percent, hence `slack`.
void ExpectWithin(const std::vector<Point3D>& discrete, const std::vector<Point3D>& truth, double eps,
                  const char* what, double slack = 1.0) {
    ASSERT_GE(discrete.size(), 2u) << what;
    double worst = 0;
    for (const Point3D& q : truth) worst = std::max(worst, DistToPolyline(discrete, q));
    EXPECT_LE(worst, eps * slack * 1.01) << what;
    double off = 0;
    for (const Point3D& q : discrete) off = std::max(off, DistToPolyline(truth, q));
    EXPECT_LE(off, eps * 0.05 + 1e-9) << what;
}

// The box holds every sample and each of its sides is reached by the curve.
void ExpectTightBox(const Box& box, const std::vector<Point3D>& truth, double tol, const char* what) {
    Box exact;
    for (const Point3D& q : truth) exact.add(q.x, q.y);
    EXPECT_LE(box.min_x(), exact.min_x() + 1e-9) << what;
    EXPECT_LE(box.min_y(), exact.min_y() + 1e-9) << what;
    EXPECT_GE(box.max_x(), exact.max_x() - 1e-9) << what;
    EXPECT_GE(box.max_y(), exact.max_y() - 1e-9) << what;
    EXPECT_NEAR(box.min_x(), exact.min_x(), tol) << what;
    EXPECT_NEAR(box.min_y(), exact.min_y(), tol) << what;
    EXPECT_NEAR(box.max_x(), exact.max_x(), tol) << what;
    EXPECT_NEAR(box.max_y(), exact.max_y(), tol) << what;
}

Point3D Rnd(std::mt19937& g, double lo, double hi) {
    std::uniform_real_distribution<double> d(lo, hi);
    return {d(g), d(g), 0.0};
}

// Lets the tolerance, not the global step, set the arc density while a test runs.
struct FineArcStep {
    double old = SetArcDangle(0.001);
    ~FineArcStep() { SetArcDangle(old); }
};

}  // namespace

TEST(CurveAccuracy, ArcsStayWithinTolerance) {
    FineArcStep fine;
    std::mt19937 g(11);
    for (int trial = 0; trial < 40; ++trial) {
        Point3D c = Rnd(g, -1000, 1000);
        double r = std::uniform_real_distribution<double>(0.5, 200)(g);
        double a0 = std::uniform_real_distribution<double>(-3, 3)(g);
        double sweep = std::uniform_real_distribution<double>(0.2, 6.0)(g) * (trial % 2 ? 1 : -1);
        auto at = [&](double t) {
            double a = a0 + sweep * t;
            return Point3D{c.x + r * std::cos(a), c.y + r * std::sin(a), 0};
        };
        Point3D pts[3] = {at(0), at(0.37), at(1)};
        double eps = r * std::uniform_real_distribution<double>(1e-5, 1e-2)(g);
        keloPoints arc(klLT3PArc, 3, pts);
        std::vector<Point3D> out;
        arc.Discrete(out, eps);
        ExpectWithin(out, Dense(at), eps, "arc");
        EXPECT_EQ(out.front().x, pts[0].x);
        EXPECT_EQ(out.back().y, pts[2].y);
        ExpectTightBox(arc.GetBox(), Dense(at, 20000), r * 1e-6, "arc box");
        EXPECT_NEAR(arc.GetPerimeter(), r * std::abs(sweep), 1e-9 * r);
    }
}

TEST(CurveAccuracy, EllipsesFitAndStayWithinTolerance) {
    FineArcStep fine;
    std::mt19937 g(5);
    for (int trial = 0; trial < 30; ++trial) {
        Point3D c = Rnd(g, -500, 500);
        double a = std::uniform_real_distribution<double>(1, 50)(g);
        double b = a * std::uniform_real_distribution<double>(0.2, 1.0)(g);
        double rot = std::uniform_real_distribution<double>(-3, 3)(g);
        double t0 = std::uniform_real_distribution<double>(-3, 3)(g);
        double sweep = std::uniform_real_distribution<double>(0.5, 6.0)(g) * (trial % 2 ? 1 : -1);
        auto at = [&](double t) {
            Point3D p = EllipsePointAt(c, a, b, rot, t0 + sweep * t);
            p.z = 0;
            return p;
        };
        Point3D pts[5] = {at(0), at(0.2), at(0.5), at(0.7), at(1)};
        Point3D fc;
        double fa, fb, frot, fs, fe, fsw;
        ASSERT_TRUE(Ellipse5P(pts, fc, fa, fb, frot, fs, fe, fsw));
        EXPECT_NEAR(fc.x, c.x, 1e-6 * a);
        EXPECT_NEAR(fc.y, c.y, 1e-6 * a);
        EXPECT_NEAR(std::max(fa, fb), a, 1e-6 * a);
        EXPECT_NEAR(std::min(fa, fb), b, 1e-6 * a);
        EXPECT_NEAR(std::abs(fsw), std::abs(sweep), 1e-6);
        EXPECT_EQ(fsw > 0, sweep > 0);

        double eps = a * std::uniform_real_distribution<double>(1e-5, 1e-2)(g);
        keloPoints ell(klLTEllipse, 5, pts);
        std::vector<Point3D> out;
        ell.Discrete(out, eps);
        ExpectWithin(out, Dense(at), eps, "ellipse");
        ExpectTightBox(ell.GetBox(), Dense(at, 20000), a * 1e-6, "ellipse box");
        // Perimeter through arc chains: compare with a fine polyline of the true curve.
        std::vector<Point3D> fineLine = Dense(at, 50000);
        double truth = 0;
        for (size_t i = 1; i < fineLine.size(); ++i) truth += PointPointDistance(&fineLine[i - 1], &fineLine[i]);
        EXPECT_NEAR(ell.GetPerimeter(), truth, 1e-6 * truth);
    }
}

TEST(CurveAccuracy, BezierStaysWithinToleranceAndCountsFollowTheRule) {
    std::mt19937 g(7);
    int checked = 0;
    for (int trial = 0; trial < 60; ++trial) {
        int segs = 1 + trial % 4;
        std::vector<Point3D> ctrl;
        for (int i = 0; i < 3 * segs + 1; ++i) ctrl.push_back(Rnd(g, -3, 3));
        double eps = std::pow(10.0, std::uniform_real_distribution<double>(-3, -1)(g));
        std::vector<Point3D> out;
        int added = DiscreteBezier(int(ctrl.size()), ctrl.data(), out, eps);
        EXPECT_EQ(added, int(out.size()));
        bool capped = false;
        for (int s = 0; s < segs; ++s) {
            std::vector<Point3D> one;
            int n = DiscreteBezierSegment(&ctrl[3 * s], 4, one, eps);
            EXPECT_TRUE(n == 5 || n == 9 || n == 17 || n == 33) << n;
            capped = capped || n == 33;
        }
        auto at = [&](double t) {
            double u = t * segs;
            int s = std::min(int(u), segs - 1);
            return BezierPointAt(&ctrl[3 * s], 4, u - s);
        };
        std::vector<Point3D> truth = Dense(at, 3000 * segs);
        // At the cap (33 points) the tolerance is no longer promised.
        if (!capped) {
            ++checked;
            ExpectWithin(out, truth, eps, "bezier", 1.19);
        }
        ExpectTightBox(GetBoxOfBezier(int(ctrl.size()), ctrl.data()), truth, 1e-3, "bezier box");
    }
    EXPECT_GE(checked, 30);
}

TEST(CurveAccuracy, BezierSegmentCounts) {
    Point3D straight[4] = {{0, 0, 0}, {1, 1, 0}, {2, 2, 0}, {3, 3, 0}};
    std::vector<Point3D> out;
    EXPECT_EQ(DiscreteBezierSegment(straight, 4, out, 1e-6), 5);
    Point3D loop[4] = {{0, 0, 0}, {100, 100, 0}, {-100, 100, 0}, {1, 0, 0}};
    out.clear();
    EXPECT_EQ(DiscreteBezierSegment(loop, 4, out, 1e-9), 33);
    // Looser tolerances never give more points.
    int last = 1000;
    for (double eps : {1e-6, 1e-3, 1e-1, 1.0, 10.0, 100.0}) {
        out.clear();
        int n = DiscreteBezierSegment(loop, 4, out, eps);
        EXPECT_LE(n, last);
        last = n;
    }
    EXPECT_EQ(last, 5);
    // Joints appear once: two segments of 5 points share one.
    Point3D two[7] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 0}, {6, 0, 0}};
    out.clear();
    EXPECT_EQ(DiscreteBezier(7, two, out, 1e-3), 9);
}

TEST(CurveAccuracy, SplinesStayWithinTolerance) {
    std::mt19937 g(3);
    double oldP = GetGzZlytParameter();
    int checked = 0;
    for (int trial = 0; trial < 40; ++trial) {
        int n = 3 + trial % 6;
        std::vector<Point3D> pts;
        for (int i = 0; i < n; ++i) pts.push_back(Rnd(g, -3, 3));
        if (trial % 3 == 0) pts.push_back(pts[0]);  // closed
        int m = int(pts.size());
        double p = std::uniform_real_distribution<double>(0.5, 30)(g);
        SetGzZlytParameter(p);
        double s = SplineTangentScale(p);
        bool closed = IsClosedSpline(m, pts.data());
        EXPECT_EQ(closed, trial % 3 == 0 && m >= 4);
        auto at = [&](double t) {
            double u = t * (m - 1);
            int i = std::min(int(u), m - 2);
            const Point3D& p0 = i > 0 ? pts[i - 1] : (closed ? pts[m - 2] : pts[0]);
            const Point3D& p3 = i + 2 < m ? pts[i + 2] : (closed ? pts[1] : pts[m - 1]);
            return CardinalSplinePointAt(p0, pts[i], pts[i + 1], p3, s, u - i);
        };
        std::vector<Point3D> truth = Dense(at, 1000 * (m - 1));
        double eps = std::pow(10.0, std::uniform_real_distribution<double>(-3, -1)(g));
        bool capped = false;
        for (int i = 0; i + 1 < m; ++i) {
            std::vector<Point3D> piece;
            const Point3D& p0 = i > 0 ? pts[i - 1] : (closed ? pts[m - 2] : pts[0]);
            const Point3D& p3 = i + 2 < m ? pts[i + 2] : (closed ? pts[1] : pts[m - 1]);
            int k = DiscreteCardinalSpline(p0, pts[i], pts[i + 1], p3, s, piece, eps, 32);
            EXPECT_TRUE(k == 5 || k == 9 || k == 17 || k == 33) << k;
            capped = capped || k == 33;
        }
        keloPoints spline(pts, trial % 2 ? klLTSpline : klLTSpline2);
        std::vector<Point3D> viaBezier, direct;
        spline.Discrete(viaBezier, eps);
        DiscreteStrain(m, pts.data(), direct, p, eps);
        if (!capped) {
            ++checked;
            ExpectWithin(viaBezier, truth, eps, "spline via bezier", 1.19);
            ExpectWithin(direct, truth, eps, "spline direct", 1.19);
        }
        ExpectTightBox(spline.GetBox(), truth, 1e-3, "spline box");
        // The Bezier form is the same curve.
        std::vector<Point3D> bez;
        EXPECT_EQ(ConvertSplineToBezier(m, pts.data(), bez, p), 3 * (m - 1) + 1);
        EXPECT_NEAR(BezierPointAt(&bez[3], 4, 0.5).x, at((1 + 0.5) / (m - 1)).x, 1e-9);
    }
    SetGzZlytParameter(oldP);
    EXPECT_GE(checked, 20);  // the tolerance must really be exercised, not skipped
}

TEST(CurveAccuracy, CircleStepFollowsTheGlobalStep) {
    double old = SetArcDangle(1.0);
    // eps 0.01 on r 100 asks for about 0.81 degrees: the 1 degree global step wins.
    EXPECT_NEAR(ArcStepDegrees(100, 0.01), 1.0, 1e-12);
    EXPECT_NEAR(ArcStepDegrees(1, 0.01), 8.1096, 1e-3);
    EXPECT_EQ(ArcStepDegrees(1, 5), 90.0);
    Point3D half[3] = {{100, 0, 0}, {0, 100, 0}, {-100, 0, 0}};
    std::vector<Point3D> out;
    EXPECT_EQ(DiscreteArc(half, 3, out, 0.01), 181);
    Point3D unit[3] = {{1, 0, 0}, {0, 1, 0}, {-1, 0, 0}};
    out.clear();
    EXPECT_EQ(DiscreteArc(unit, 3, out, 0.01), 24);  // ceil(180 / 8.11) chords
    for (size_t i = 1; i + 1 < out.size(); ++i) EXPECT_EQ(out[i].z, kUnknownZ);
    SetArcDangle(old);
}
