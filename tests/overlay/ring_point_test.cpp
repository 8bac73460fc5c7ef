// The ring point test: rays chosen clear of vertices, against an independent even-odd test on random
// polygons (vertices on a grid, so points level with vertices are common) and on arc rings against a
// densely sampled copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "geometry/parts.h"
#include "overlay/rect_clip.h"

using namespace kelo;

namespace {

constexpr double kPi = std::numbers::pi;

keloParts Ring(std::vector<Point3D> pts) { return keloParts(pts, klLTPolyline); }

// The classic half-open even-odd rule over a closed point list.
bool EvenOdd(const std::vector<Point3D>& p, double x, double y) {
    bool in = false;
    for (size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) {
        if ((p[i].y > y) != (p[j].y > y) && x < (p[j].x - p[i].x) * (y - p[i].y) / (p[j].y - p[i].y) + p[i].x)
            in = !in;
    }
    return in;
}

double SegDist(const Point3D& a, const Point3D& b, double x, double y) {
    double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
    double t = l2 > 0 ? ((x - a.x) * dx + (y - a.y) * dy) / l2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(a.x + t * dx - x, a.y + t * dy - y);
}

double BoundaryDist(const std::vector<Point3D>& p, double x, double y) {
    double d = 1e300;
    for (size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) d = std::min(d, SegDist(p[j], p[i], x, y));
    return d;
}

// Points along the circle through a, m, b in the sense a -> m -> b, from the point `from` to the
// point `to` (both on it), n steps, `from` included, `to` excluded.
void SampleCircle(const Point3D& a, const Point3D& m, const Point3D& b, const Point3D& from, const Point3D& to, int n,
                  std::vector<Point3D>& out) {
    double d = 2 * (a.x * (m.y - b.y) + m.x * (b.y - a.y) + b.x * (a.y - m.y));
    double a2 = a.x * a.x + a.y * a.y, m2 = m.x * m.x + m.y * m.y, b2 = b.x * b.x + b.y * b.y;
    double cx = (a2 * (m.y - b.y) + m2 * (b.y - a.y) + b2 * (a.y - m.y)) / d;
    double cy = (a2 * (b.x - m.x) + m2 * (a.x - b.x) + b2 * (m.x - a.x)) / d;
    double r = std::hypot(a.x - cx, a.y - cy);
    auto ang = [&](const Point3D& p) { return std::atan2(p.y - cy, p.x - cx); };
    auto ccw = [](double f, double t) { double s = std::fmod(t - f, 2 * kPi); return s < 0 ? s + 2 * kPi : s; };
    bool counter = ccw(ang(a), ang(m)) < ccw(ang(a), ang(b));
    double t0 = ang(from);
    double sweep = counter ? ccw(t0, ang(to)) : -ccw(ang(to), t0);
    for (int i = 0; i < n; ++i) {
        double t = t0 + sweep * i / n;
        out.push_back({cx + r * std::cos(t), cy + r * std::sin(t), 0});
    }
}

void SampleArc(const Point3D& a, const Point3D& m, const Point3D& b, int n, std::vector<Point3D>& out) {
    SampleCircle(a, m, b, a, b, n, out);
}

}  // namespace

TEST(RingPointTest, CornersCentresAndPointsLevelWithVertices) {
    keloParts square = Ring({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}, {0, 0, 0}});
    keloParts ell = Ring({{0, 0, 0}, {10, 0, 0}, {10, 4, 0}, {4, 4, 0}, {4, 10, 0}, {0, 10, 0}, {0, 0, 0}});
    keloParts open = Ring({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}});  // closed by its chord
    struct Case {
        const keloParts* ring;
        double x, y;
        int want;
    } cases[] = {
        {&square, 0, 0, -1},    {&square, 10, 10, -1}, {&square, 5, 5, 1},    {&square, 5, 0, -1},
        {&square, 5, 1e-9, -1}, {&square, 20, 0, 0},   {&square, 5, 10, -1},  {&square, -3, 10, 0},
        {&square, 20, 20, 0},   {&square, 10, 20, 0},  {&ell, 2, 4, 1},       {&ell, 7, 4, -1},
        {&ell, 7, 7, 0},        {&ell, 10, 10, 0},     {&ell, 2, 2, 1},       {&ell, 4, 7, -1},
        {&ell, 2, 10, -1},      {&open, 0, 5, -1},     {&open, 5, 5, 1},      {&open, 15, 5, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(RingPointTest(c.ring, c.x, c.y, 1e-8), c.want) << c.x << "," << c.y;

    // The line and polygon queries answer from the same test.
    EXPECT_EQ(square.PointOn({0, 5, 0}, 1e-8), 1);
    EXPECT_EQ(square.PointInside({0, 5, 0}, 1e-8), 0);
    keloPolygon withHole(square);
    withHole.InsertRing(Ring({{4, 4, 0}, {6, 4, 0}, {6, 6, 0}, {4, 6, 0}, {4, 4, 0}}), 1);
    EXPECT_EQ(withHole.IsPointIn({5, 5, 0}, 1e-8), 0);
    EXPECT_EQ(withHole.IsPointIn({4, 5, 0}, 1e-8), 2);
    EXPECT_EQ(withHole.IsPointIn({2, 4, 0}, 1e-8), 1);  // level with hole vertices

    keloParts empty;
    EXPECT_EQ(RingPointTest(&empty, 0, 0, 1), 0);
    EXPECT_EQ(RingPointTest(nullptr, 0, 0, 1), 0);
    keloParts dot = Ring({{1, 1, 0}});
    EXPECT_EQ(RingPointTest(&dot, 1, 1, 1e-8), -1);
    EXPECT_EQ(RingPointTest(&dot, 2, 1, 1e-8), 0);
}

TEST(RingPointTest, RandomGridPolygonsMatchEvenOdd) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> grid(0, 12);
    int checked = 0;
    for (int round = 0; round < 300; ++round) {
        std::vector<Point3D> pts;
        int n = 3 + round % 10;
        for (int i = 0; i < n; ++i) pts.push_back({double(grid(rng)), double(grid(rng)), 0});
        keloParts ring = Ring(pts);
        std::vector<Point3D> closed = pts;
        closed.push_back(pts[0]);
        keloParts closedRing = Ring(closed);
        for (int k = 0; k < 30; ++k) {
            // Half-grid points: level with vertices in x, y or both.
            double x = grid(rng) * 0.5 + (k % 3 == 0 ? 0.25 : 0.0), y = grid(rng) * 0.5;
            if (BoundaryDist(pts, x, y) < 1e-6) continue;
            int want = EvenOdd(pts, x, y) ? 1 : 0;
            EXPECT_EQ(RingPointTest(&ring, x, y, 1e-9), want) << "round " << round << " at " << x << "," << y;
            EXPECT_EQ(RingPointTest(&closedRing, x, y, 1e-9), want) << "round " << round << " at " << x << "," << y;
            ++checked;
        }
    }
    EXPECT_GT(checked, 5000);
}

TEST(RingPointTest, ArcRingsMatchADenseCopy) {
    std::mt19937 rng(8);
    std::uniform_real_distribution<double> u(0, 1);
    for (int round = 0; round < 60; ++round) {
        // Vertices round a centre, joined by arcs bulging in or out; the last run may end with a
        // single trailing point (the rest of the last arc's circle), and some rings close straight.
        int k = 3 + round % 6;
        std::vector<Point3D> v;
        for (int i = 0; i < k; ++i) {
            double a = 2 * kPi * (i + 0.3 * u(rng)) / k, r = 5 + 3 * u(rng);
            v.push_back({r * std::cos(a), r * std::sin(a), 0});
        }
        std::vector<Point3D> arcRun, dense;
        bool straightClose = round % 3 == 0;
        int arcs = straightClose ? k - 1 : k;
        for (int i = 0; i < arcs; ++i) {
            const Point3D& a = v[i];
            const Point3D& b = v[(i + 1) % k];
            double bulge = (u(rng) - 0.5) * 0.8 * std::hypot(b.x - a.x, b.y - a.y);
            double nx = -(b.y - a.y), ny = b.x - a.x, l = std::hypot(nx, ny);
            Point3D m{(a.x + b.x) / 2 + bulge * nx / l, (a.y + b.y) / 2 + bulge * ny / l, 0};
            if (arcRun.empty()) arcRun.push_back(a);
            arcRun.push_back(m);
            arcRun.push_back(b);
            SampleArc(a, m, b, 1500, dense);
        }
        keloParts ring;
        if (round % 4 == 1 && arcRun.size() >= 5) {
            // Drop the last arc's end: the run ends on a single trailing point, which continues the
            // circle of the last three points.
            arcRun.pop_back();
            dense.clear();
            for (size_t i = 0; i + 2 < arcRun.size(); i += 2) SampleArc(arcRun[i], arcRun[i + 1], arcRun[i + 2], 1500, dense);
            size_t n = arcRun.size();
            SampleCircle(arcRun[n - 3], arcRun[n - 2], arcRun[n - 1], arcRun[n - 2], arcRun[n - 1], 1500, dense);
        }
        ring.InsertPointsAt(keloPoints(arcRun, klLT3PArc), -1);
        if (!(arcRun.back().x == arcRun.front().x && arcRun.back().y == arcRun.front().y)) {
            ring.InsertPointsAt(keloPoints(std::vector<Point3D>{arcRun.back(), arcRun.front()}, klLTPolyline), -1);
            dense.push_back(arcRun.back());
        }
        ASSERT_TRUE(ring.IsClosed());
        for (int q = 0; q < 80; ++q) {
            double x = (u(rng) - 0.5) * 24, y = (u(rng) - 0.5) * 24;
            if (q % 5 == 0) y = v[q % k].y;  // level with a vertex
            if (BoundaryDist(dense, x, y) < 1e-3) continue;
            EXPECT_EQ(RingPointTest(&ring, x, y, 1e-9), EvenOdd(dense, x, y) ? 1 : 0)
                << "round " << round << " at " << x << "," << y;
        }
        // Points on the arcs themselves are on the ring.
        const Point3D& onArc = dense[dense.size() / 3];
        EXPECT_EQ(RingPointTest(&ring, onArc.x, onArc.y, 1e-7), -1) << "round " << round;
    }

    // A whole circle ring: exact on and near its boundary.
    Point3D c3[] = {{2, 0, 0}, {-1, std::sqrt(3.0), 0}, {-1, -std::sqrt(3.0), 0}};
    keloParts circle(keloPoints(klLT3PCircle, 3, c3));
    EXPECT_EQ(RingPointTest(&circle, 0, 1.999999, 1e-9), 1);
    EXPECT_EQ(RingPointTest(&circle, 0, 2.000001, 1e-9), 0);
    EXPECT_EQ(RingPointTest(&circle, 0, 2, 1e-9), -1);
    EXPECT_EQ(RingPointTest(&circle, std::sqrt(2.0), -std::sqrt(2.0), 1e-9), -1);
    EXPECT_EQ(RingPointTest(&circle, 0, 0, 1e-9), 1);
}
