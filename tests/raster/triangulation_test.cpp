// Delaunay triangulation checked against its defining properties by brute force: empty
// circumcircles, Euler's triangle count, coverage of the hull, breaklines as edges, and polygon
// triangulations that tile the polygon exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "raster/exact_predicates.h"
#include "raster/triangulation.h"
#include "support/even_odd.h"

using namespace kelo;
using kelo::detail::InCircleSign;
using kelo::detail::Orient2dSign;

namespace {

double Cross(const Point3D& a, const Point3D& b, const Point3D& c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

// Points on the convex hull boundary (corners and points on hull edges), by a strict monotone
// chain and a scan of every point against every hull edge.
size_t HullBoundaryCount(std::vector<Point3D> p, double& hullArea) {
    std::sort(p.begin(), p.end(), [](const Point3D& a, const Point3D& b) { return a.x != b.x ? a.x < b.x : a.y < b.y; });
    std::vector<Point3D> h(2 * p.size());
    size_t k = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        while (k >= 2 && Orient2dSign(h[k - 2], h[k - 1], p[i]) <= 0) --k;
        h[k++] = p[i];
    }
    for (size_t i = p.size() - 1, t = k + 1; i-- > 0;) {
        while (k >= t && Orient2dSign(h[k - 2], h[k - 1], p[i]) <= 0) --k;
        h[k++] = p[i];
    }
    h.resize(k - 1);
    hullArea = 0;
    for (size_t i = 0; i < h.size(); ++i) hullArea += Cross({0, 0, 0}, h[i], h[(i + 1) % h.size()]) / 2;
    size_t count = 0;
    for (const Point3D& q : p)
        for (size_t i = 0; i < h.size(); ++i) {
            const Point3D &a = h[i], &b = h[(i + 1) % h.size()];
            if (Orient2dSign(a, b, q) == 0 && std::min(a.x, b.x) <= q.x && q.x <= std::max(a.x, b.x) &&
                std::min(a.y, b.y) <= q.y && q.y <= std::max(a.y, b.y)) {
                ++count;
                break;
            }
        }
    return count;
}

// Random points with repeats, a collinear run, and a block of cocircular lattice points.
std::vector<Point3D> NastyPoints(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0, 1000);
    std::vector<Point3D> p;
    for (int i = 0; i < n; ++i) p.push_back({u(rng), u(rng), u(rng)});
    for (int i = 0; i < n / 10; ++i) p.push_back(p[rng() % p.size()]);
    for (int i = 0; i < 30; ++i) p.push_back({100 + 7.0 * i, 50 + 3.5 * i, 1});
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) p.push_back({600 + 10.0 * i, 600 + 10.0 * j, 2});
    return p;
}

TEST(Predicates, ExactOnDegenerateAndNearDegenerateInput) {
    const Point3D a{3, 4, 0}, b{-3, 4, 0}, c{-4, -3, 0}, d{5, 0, 0};
    EXPECT_EQ(InCircleSign(a, b, c, d), 0);
    EXPECT_EQ(InCircleSign(a, b, c, {std::nextafter(5.0, 6.0), 0, 0}), -1);
    EXPECT_EQ(InCircleSign(a, b, c, {std::nextafter(5.0, 4.0), 0, 0}), 1);
    // Nearly collinear points far from the origin, where the plain formula rounds to zero.
    const Point3D p{1e15, 1e15, 0}, q{1e15 + 1, 1e15 + 1, 0};
    EXPECT_EQ(Orient2dSign(p, q, {1e15 + 2, 1e15 + 2, 0}), 0);
    EXPECT_EQ(Orient2dSign(p, q, {1e15 + 2, 1e15 + 2.25, 0}), 1);
    EXPECT_EQ(Orient2dSign({0.5, 0.5, 0}, {12, 12, 0}, {24, 24 + std::ldexp(1.0, -48), 0}), 1);
}

TEST(Delaunay, EmptyCircumcirclesEulerCountAndHullCoverage) {
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        const std::vector<Point3D> input = NastyPoints(300 + 100 * static_cast<int>(seed), seed);
        std::vector<Point3D> tri;
        DelaunayTriangulation(input, tri, {});
        const std::vector<Point3D> pts = detail::MergedSortedPoints(input);
        double hullArea = 0;
        const size_t h = HullBoundaryCount(pts, hullArea);
        ASSERT_EQ(tri.size() / 3, 2 * pts.size() - 2 - h) << "seed " << seed;
        double area = 0;
        size_t bad = 0;
        for (size_t t = 0; t < tri.size(); t += 3) {
            area += Cross(tri[t], tri[t + 1], tri[t + 2]) / 2;
            ASSERT_GT(Orient2dSign(tri[t], tri[t + 1], tri[t + 2]), 0);
            for (const Point3D& q : pts) bad += InCircleSign(tri[t], tri[t + 1], tri[t + 2], q) > 0;
        }
        EXPECT_EQ(bad, 0u) << "seed " << seed;
        EXPECT_NEAR(area, hullArea, 1e-6 * hullArea);
    }
}

TEST(Delaunay, DegenerateInputGivesNoTrianglesAndRepeatsAverageZ) {
    std::vector<Point3D> tri;
    const std::vector<std::vector<Point3D>> none = {
        {},
        {{1, 1, 0}, {2, 2, 0}},
        {{1, 1, 0}, {1, 1, 5}, {2, 2, 0}, {2 + 1e-10, 2, 0}},
        {{0, 0, 0}, {1, 1, 0}, {2, 2, 0}, {3, 3, 0}, {5, 5, 0}, {4, 4, 0}},
        {{0, 0, 0}, {0, 1, 0}, {0, 3, 0}, {0, 2, 0}}};
    for (const auto& pts : none) {
        tri.assign(3, Point3D{});
        DelaunayTriangulation(pts, tri, {});
        EXPECT_TRUE(tri.empty()) << pts.size();
    }
    DelaunayTriangulation({{0, 0, 10}, {0, 0, 20}, {4, 0, 0}, {0, 4, 0}}, tri, {});
    ASSERT_EQ(tri.size(), 3u);
    const auto corner = std::find_if(tri.begin(), tri.end(), [](const Point3D& p) { return p.x == 0 && p.y == 0; });
    ASSERT_NE(corner, tri.end());
    EXPECT_EQ(corner->z, 15);
}

TEST(Delaunay, BreaklinesBecomeChainsOfEdges) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(0, 100);
    std::vector<Point3D> pts;
    for (int i = 0; i < 150; ++i) pts.push_back({u(rng), u(rng), 0});
    // Two crossing breaklines and one along a near-diagonal: they cut many triangles.
    const std::vector<Point3D> lines = {{5, 5, 0}, {95, 90, 0}, {5, 90, 0}, {90, 7, 0}, {20, 50, 0}, {80, 52, 0}};
    std::vector<Point3D> tri, plain;
    DelaunayTriangulation(pts, tri, lines);
    std::vector<Point3D> withEnds = pts;
    withEnds.insert(withEnds.end(), lines.begin(), lines.end());
    DelaunayTriangulation(withEnds, plain, {});
    ASSERT_FALSE(tri.empty());
    double area = 0, areaPlain = 0;
    for (size_t t = 0; t < tri.size(); t += 3) {
        EXPECT_GT(Orient2dSign(tri[t], tri[t + 1], tri[t + 2]), 0);
        area += Cross(tri[t], tri[t + 1], tri[t + 2]) / 2;
    }
    for (size_t t = 0; t < plain.size(); t += 3) areaPlain += Cross(plain[t], plain[t + 1], plain[t + 2]) / 2;
    EXPECT_NEAR(area, areaPlain, 1e-6 * areaPlain);
    for (size_t k = 0; k < lines.size(); k += 2) {
        const Point3D &a = lines[k], &b = lines[k + 1];
        const double len = std::hypot(b.x - a.x, b.y - a.y);
        // Distinct triangle edges lying on the breakline must add up to its length.
        std::vector<std::pair<double, double>> spans;
        for (size_t t = 0; t < tri.size(); t += 3)
            for (int e = 0; e < 3; ++e) {
                const Point3D &p = tri[t + e], &q = tri[t + (e + 1) % 3];
                auto along = [&](const Point3D& r) { return ((r.x - a.x) * (b.x - a.x) + (r.y - a.y) * (b.y - a.y)) / len; };
                auto off = [&](const Point3D& r) { return std::fabs(Cross(a, b, r)) / len; };
                if (off(p) < 1e-6 && off(q) < 1e-6) spans.push_back(std::minmax(along(p), along(q)));
            }
        std::sort(spans.begin(), spans.end());
        spans.erase(std::unique(spans.begin(), spans.end(), [](auto& x, auto& y) {
                        return std::fabs(x.first - y.first) < 1e-7 && std::fabs(x.second - y.second) < 1e-7;
                    }), spans.end());
        double covered = 0;
        for (auto& s : spans) covered += s.second - s.first;
        EXPECT_NEAR(covered, len, 1e-6) << "breakline " << k / 2;
    }
}

// Triangles tile the polygon: areas agree and each sample point strictly inside the polygon lies
// in exactly one triangle, each outside point in none.
void ExpectTiles(const std::vector<std::vector<Point3D>>& rings, const std::vector<Point3D>& tri) {
    keloPolygon poly = kelo_test::PolygonOfRings(rings);
    double area = 0;
    for (size_t t = 0; t < tri.size(); t += 3) area += Cross(tri[t], tri[t + 1], tri[t + 2]) / 2;
    EXPECT_NEAR(area, std::fabs(poly.GetArea()), 1e-7 * std::fabs(poly.GetArea()));
    std::mt19937 rng(3);
    const Box box = poly.GetBox();
    std::uniform_real_distribution<double> ux(box.minx - 1, box.maxx + 1), uy(box.miny - 1, box.maxy + 1);
    int wrong = 0;
    for (int i = 0; i < 3000; ++i) {
        const Point3D p{ux(rng), uy(rng), 0};
        int hits = 0, onEdge = 0;
        for (size_t t = 0; t < tri.size(); t += 3) {
            const int o1 = Orient2dSign(tri[t], tri[t + 1], p), o2 = Orient2dSign(tri[t + 1], tri[t + 2], p),
                      o3 = Orient2dSign(tri[t + 2], tri[t], p);
            if (o1 > 0 && o2 > 0 && o3 > 0) ++hits;
            else if (o1 >= 0 && o2 >= 0 && o3 >= 0) ++onEdge;
        }
        if (onEdge) continue;
        wrong += hits != (kelo_test::InsideEvenOdd(rings, p.x, p.y) ? 1 : 0);
    }
    EXPECT_EQ(wrong, 0);
}

TEST(PolygonTriangulation, TilesSimpleHoledAndLargePolygons) {
    std::vector<std::vector<std::vector<Point3D>>> cases = {
        {{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}}},
        // Concave comb with collinear corners.
        {{{0, 0, 0}, {12, 0, 0}, {12, 8, 0}, {9, 8, 0}, {9, 2, 0}, {6, 2, 0}, {6, 8, 0}, {3, 8, 0}, {3, 4, 0},
          {3, 2, 0}, {0, 2, 0}}},
        // Square with two holes.
        {{{0, 0, 0}, {20, 0, 0}, {20, 20, 0}, {0, 20, 0}},
         {{2, 2, 0}, {2, 8, 0}, {8, 8, 0}, {8, 2, 0}},
         {{12, 12, 0}, {12, 17, 0}, {17, 15, 0}}}};
    // A 700-point star goes the Delaunay-with-breaklines way.
    std::vector<Point3D> star;
    for (int i = 0; i < 700; ++i) {
        const double a = 2 * M_PI * i / 700, r = i % 2 ? 40 : 100 + 10 * std::sin(7 * a);
        star.push_back({r * std::cos(a), r * std::sin(a), 0});
    }
    cases.push_back({star});
    for (const auto& rings : cases) {
        keloPolygon poly = kelo_test::PolygonOfRings(rings);
        std::vector<Point3D> tri;
        DelaunayPolygonTriangulation(poly, tri);
        ExpectTiles(rings, tri);
    }
    keloPolygon square = kelo_test::PolygonOfRings(cases[0]);
    std::vector<Point3D> tri;
    DelaunayPolygonTriangulation(square, tri);
    EXPECT_EQ(tri.size(), 6u);
    keloPolygon empty;
    DelaunayPolygonTriangulation(empty, tri);
    EXPECT_TRUE(tri.empty());
}

TEST(PointInsidePolygon, AgreesWithEvenOddAndCountsTheBoundaryInside) {
    const std::vector<std::vector<Point3D>> rings = {
        {{0, 0, 0}, {50, 0, 0}, {50, 40, 0}, {25, 20, 0}, {0, 40, 0}}, {{10, 5, 0}, {20, 5, 0}, {20, 10, 0}, {10, 10, 0}}};
    keloPolygon poly = kelo_test::PolygonOfRings(rings);
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-5, 55);
    std::vector<Point3D> pts;
    for (int i = 0; i < 4000; ++i) pts.push_back({u(rng), u(rng), 0});
    const size_t random = pts.size();
    pts.insert(pts.end(), {{25, 20, 0}, {50, 10, 0}, {15, 5, 0}, {0, 0, 0}, {12.5, 30, 0}});
    std::vector<uint8_t> flags;
    checkPointInsidePolygon_Faster(poly, pts, flags);
    ASSERT_EQ(flags.size(), pts.size());
    int wrong = 0;
    for (size_t i = 0; i < random; ++i) wrong += flags[i] != (kelo_test::InsideEvenOdd(rings, pts[i].x, pts[i].y) ? 1 : 0);
    EXPECT_EQ(wrong, 0);
    for (size_t i = random; i < pts.size(); ++i) EXPECT_EQ(flags[i], 1) << i;
}

}  // namespace
