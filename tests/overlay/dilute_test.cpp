// Line simplification: kept points come from the input in order with both ends, every dropped
// point lies within the tolerance of the kept piece spanning it, the plain split equals a
// textbook recursive Douglas-Peucker, the count mode keeps exactly what it is asked for, and the
// geometry-wide form thins straight runs only.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "geometry/geometry_object.h"
#include "geometry/parts.h"
#include "overlay/dilute.h"

using namespace kelo;

namespace {

double SegmentDistance(const Point3D& a, const Point3D& b, const Point3D& p) {
    double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
    double t = l2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / l2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

void Textbook(const std::vector<Point3D>& p, int i, int j, double tol, std::vector<int>& keep) {
    double best = -1;
    int k = -1;
    for (int m = i + 1; m < j; ++m) {
        double d = SegmentDistance(p[i], p[j], p[m]);
        if (d > best) best = d, k = m;
    }
    if (k < 0 || best <= tol) {
        keep.push_back(j);
        return;
    }
    Textbook(p, i, k, tol, keep);
    Textbook(p, k, j, tol, keep);
}

// A random walk; closed ones end where they start. z carries a distinct value per point so the
// kept points can be traced back to their indexes.
std::vector<Point3D> Walk(std::mt19937& rng, int n, bool closed) {
    std::normal_distribution<double> step(0.0, 1.0);
    std::vector<Point3D> p;
    double x = 500, y = -300;
    for (int i = 0; i < n; ++i) {
        p.push_back({x, y, static_cast<double>(i)});
        x += step(rng);
        y += step(rng) + 0.3;
    }
    if (closed && n > 2) p.back() = {p[0].x, p[0].y, static_cast<double>(n - 1)};
    return p;
}

// Indexes of the kept points, checked to be input points in ascending order with both ends.
std::vector<int> Trace(const std::vector<Point3D>& in, const keloPoints& out) {
    std::vector<int> idx;
    EXPECT_EQ(out.GetLineType(), klLTPolyline);
    for (int q = 0; q < out.GetCount(); ++q) {
        int i = static_cast<int>(out[q].z);
        EXPECT_TRUE(i >= 0 && i < static_cast<int>(in.size()) && in[i].x == out[q].x && in[i].y == out[q].y);
        if (!idx.empty()) { EXPECT_GT(i, idx.back()); }
        idx.push_back(i);
    }
    EXPECT_FALSE(idx.empty());
    if (!idx.empty()) {
        EXPECT_EQ(idx.front(), 0);
        EXPECT_EQ(idx.back(), static_cast<int>(in.size()) - 1);
    }
    return idx;
}

double WorstDrop(const std::vector<Point3D>& in, const std::vector<int>& idx) {
    double worst = 0;
    for (size_t q = 0; q + 1 < idx.size(); ++q)
        for (int m = idx[q] + 1; m < idx[q + 1]; ++m)
            worst = std::max(worst, SegmentDistance(in[idx[q]], in[idx[q + 1]], in[m]));
    return worst;
}

}  // namespace

TEST(Dilute, ToleranceModeKeepsInputPointsWithinTheTolerance) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 120; ++trial) {
        const int n = 2 + trial * 3;
        const bool closed = trial % 3 == 0;
        std::vector<Point3D> in = Walk(rng, n, closed);
        keloPoints run(in, klLTPolyline);
        for (double tol : {0.0, 0.3, 1.5, 6.0}) {
            size_t plainCount = 0;
            for (int method = 0; method <= 2; ++method) {
                keloPoints out;
                ASSERT_EQ(Dilute1(run, tol, out, method), 1);
                std::vector<int> idx = Trace(in, out);
                EXPECT_LE(WorstDrop(in, idx), tol + 1e-9) << n << " " << tol << " " << method;
                if (method == 0) {
                    std::vector<int> book{0};
                    Textbook(in, 0, n - 1, tol, book);
                    EXPECT_EQ(idx, book) << n << " " << tol;
                    plainCount = idx.size();
                } else {
                    EXPECT_LE(idx.size(), plainCount);
                }
            }
        }
    }
    // Collinear interior points deviate by nothing and go even at tolerance 0.
    std::vector<Point3D> line{{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {3, 4, 4}};
    keloPoints run(line, klLTPolyline), out;
    ASSERT_EQ(Dilute1(run, 0, out, 0), 1);
    EXPECT_EQ(Trace(line, out), (std::vector<int>{0, 3, 4}));
}

TEST(Dilute, CountModeKeepsTheRequestedNumber) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 40; ++trial) {
        const int n = 3 + trial * 5;
        std::vector<Point3D> in = Walk(rng, n, trial % 4 == 0);
        keloPoints run(in, klLTPolyline);
        for (int count : {2, 3, n / 2 + 1, n - 1, n}) {
            if (count < 2 || count > n) continue;
            keloPoints plain;
            ASSERT_EQ(Dilute2(run, count, plain, 0), 1);
            EXPECT_EQ(plain.GetCount(), count);
            std::vector<int> idx = Trace(in, plain);
            const double plainWorst = WorstDrop(in, idx);
            for (int method = 1; method <= 2; ++method) {
                keloPoints out;
                ASSERT_EQ(Dilute2(run, count, out, method), 1);
                EXPECT_LE(out.GetCount(), count);
                // Removal stays within the worst deviation of the split; shifting only lowers it.
                EXPECT_LE(WorstDrop(in, Trace(in, out)), plainWorst + 1e-7);
            }
        }
    }
}

TEST(Dilute, RefusalsLeaveTheOutputUntouched) {
    std::vector<Point3D> pts{{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {3, 1, 0}, {4, 0, 0}};
    keloPoints line(pts, klLTPolyline), arc(pts, klLT3PArc);
    keloPoints out(std::vector<Point3D>{{9, 9, 9}}, klLTBezier);
    struct Case {
        const char* what;
        int result;
    } cases[] = {
        {"arc run by tolerance", Dilute1(arc, 1, out, 0)},
        {"arc run by count", Dilute2(arc, 3, out, 0)},
        {"negative tolerance", Dilute1(line, -1e-12, out, 0)},
        {"count below 2", Dilute2(line, 1, out, 0)},
        {"count above the points", Dilute2(line, 6, out, 0)},
    };
    for (const Case& c : cases) EXPECT_EQ(c.result, 0) << c.what;
    EXPECT_EQ(out.GetLineType(), klLTBezier);
    EXPECT_EQ(out.GetCount(), 1);
    // A tolerance a hair below zero counts as zero.
    ASSERT_EQ(Dilute1(line, -1e-14, out, 0), 1);
    EXPECT_EQ(out.GetCount(), 5);
    keloPoints single(std::vector<Point3D>{{1, 2, 3}}, klLTPolyline);
    ASSERT_EQ(Dilute1(single, 1, out, 2), 1);
    EXPECT_EQ(out.GetCount(), 1);
}

TEST(Dilute, GeometryFormThinsStraightRunsOnly) {
    std::mt19937 rng(3);
    std::vector<Point3D> walk = Walk(rng, 41, false);
    std::vector<Point3D> arcPts{{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {3, -1, 0}, {4, 0, 0}};
    keloParts line(walk, klLTPolyline);
    line.InsertPointsAt(keloPoints(std::vector<Point3D>{walk.back(), {900, 900, 0}, {901, 900, 0}}, klLTPolyline), -1);
    keloParts curved(arcPts, klLT3PArc);
    GM_Object g;
    std::vector<LineString*> lines{&line, &curved};
    ASSERT_EQ(g.Create(lines), 1);

    ASSERT_EQ(Geometry_Dilute(g, 0, 0), 1);
    keloParts* first = g.GetOriginalPartsAt(nullptr, 0);
    keloParts* second = g.GetOriginalPartsAt(nullptr, 1);
    EXPECT_EQ(first->GetOriginalPointsAt(0)->GetCount(), 20);
    EXPECT_EQ(first->GetOriginalPointsAt(1)->GetCount(), 3);  // half of 3 is below 2: refused
    EXPECT_EQ(second->GetOriginalPointsAt(0)->GetCount(), 5);

    ASSERT_EQ(Geometry_Dilute(g, 1, 1000), 1);
    EXPECT_EQ(first->GetOriginalPointsAt(0)->GetCount(), 2);
    EXPECT_EQ(first->GetOriginalPointsAt(1)->GetCount(), 2);

    GM_Object point(Point3D{1, 2, 0});
    EXPECT_EQ(Geometry_Dilute(point, 1, 1), 0);
}
