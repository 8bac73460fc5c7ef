// The overlay's own index for areas of straight runs must answer exactly as the relation engine's
// object index does, or faces would be kept or dropped differently: points inside, outside, on
// vertices, on level rays through vertices, and just inside and outside the tolerance of an
// edge, over holes, overlapping polygons, a crossed ring, an open ring and repeated points.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "geometry/geometry_object.h"
#include "overlay/straight_area_index.h"
#include "relations/nine_intersection.h"
#include "relations/segment.h"
#include "support/even_odd.h"
#include "support/random_polygons.h"

using namespace kelo;

namespace {

using Rings = kelo_test::Rings;

GM_Object Area(const std::vector<Rings>& polygons, bool closeRings = true) {
    std::vector<keloPolygon> polys;
    for (const Rings& rings : polygons) {
        if (closeRings) {
            polys.push_back(kelo_test::PolygonOfRings(rings));
            continue;
        }
        keloPolygon p;
        for (const auto& r : rings) p.InsertRing(keloParts(r, klLTPolyline), 1);
        polys.push_back(std::move(p));
    }
    if (polys.size() == 1) return GM_Object(polys[0]);
    GM_Object g(polys[0]);
    for (size_t i = 1; i < polys.size(); ++i) g.InsertPolygon(polys[i]);
    return g;
}

// Each case: the area, and whether its rings are closed.
std::vector<GM_Object> Cases(std::mt19937& rng) {
    std::vector<GM_Object> out;
    out.push_back(Area({kelo_test::RandomPolygonRings(rng, 0, 0)}));
    // Two polygons overlapping each other, a third inside the second's hole.
    Rings second = kelo_test::RandomPolygonRings(rng, 9, 2);
    out.push_back(Area({kelo_test::RandomPolygonRings(rng, 0, 0), second, {kelo_test::StarRing(rng, 12.5, 2, 0.1, 0.3, 5, true)}}));
    // Lattice corners (level rays through vertices), a hole, repeated points closer than 1e-8
    // and a spike.
    Rings lattice{{{0, 0, 0}, {4, 0, 0}, {4, 0, 0}, {4 + 5e-9, 1e-9, 0}, {4, 2, 0}, {6, 2, 0}, {4, 2, 0}, {4, 4, 0}, {2, 3, 0}, {0, 4, 0}},
                  {{1, 1, 0}, {1, 2, 0}, {2, 2, 0}, {2, 1, 0}}};
    out.push_back(Area({lattice}));
    // A crossed outer ring, and the same rings left open.
    out.push_back(Area({{{{0, 0, 0}, {4, 4, 0}, {4, 0, 0}, {0, 4, 0}}}}));
    out.push_back(Area({lattice}, false));
    return out;
}

std::vector<Point3D> Probes(const GM_Object& g, double tol, std::mt19937& rng) {
    std::vector<Point3D> probes;
    const Box b = g.mbRegion();
    std::uniform_real_distribution<double> ux(b.minx - 1, b.maxx + 1), uy(b.miny - 1, b.maxy + 1), u(0, 1);
    for (int i = 0; i < 200; ++i) probes.push_back({ux(rng), uy(rng), 0});
    for (int k = 0; k < g.GetPolygonCount(); ++k) {
        const keloPolygon& p = *g.GetOriginalPolygonAt(k);
        for (int r = 0; r < p.GetRingsCount(); ++r) {
            const keloPoints& run = *p.GetOriginalRingAt(r)->GetOriginalPointsAt(0);
            for (int i = 0; i + 1 < run.GetCount(); ++i) {
                const Point3D &a = run.points[i], &c = run.points[i + 1];
                const double len = std::hypot(c.x - a.x, c.y - a.y);
                probes.push_back(a);
                probes.push_back({ux(rng), a.y, 0});  // the level ray through a vertex
                if (len == 0) continue;
                const double t = u(rng), nx = -(c.y - a.y) / len, ny = (c.x - a.x) / len;
                for (double f : {0.0, 0.5, 0.999, 1.001, 3.0, -0.999, -1.001, -3.0})
                    probes.push_back({a.x + t * (c.x - a.x) + f * tol * nx, a.y + t * (c.y - a.y) + f * tol * ny, 0});
            }
        }
    }
    return probes;
}

// Every pair of boundary segments, one of each area, at tol.
bool AnyContact(const GM_Object& a, const GM_Object& b, double tol) {
    auto segments = [](const GM_Object& g) {
        std::vector<CsSegment> out;
        for (int k = 0; k < g.GetPolygonCount(); ++k) {
            const keloPolygon& p = *g.GetOriginalPolygonAt(k);
            for (int r = 0; r < p.GetRingsCount(); ++r) {
                keloPoints& run = *p.GetOriginalRingAt(r)->GetOriginalPointsAt(0);
                for (int i = 0; i + 1 < run.GetCount(); ++i) out.emplace_back(&run, i);
            }
        }
        return out;
    };
    for (const CsSegment& s : segments(a))
        for (const CsSegment& t : segments(b)) {
            Point3D p, q;
            if (s.IntersectInfo(t, p, q, tol) != 0) return true;
        }
    return false;
}

}  // namespace

TEST(StraightAreaIndex, LocatesAndMeetsAsTheRelationIndexDoes) {
    std::mt19937 rng(19);
    int located = 0;
    for (int round = 0; round < 20; ++round)
        for (const GM_Object& g : Cases(rng)) {
            const CStraightAreaIndex ours(g);
            const C9iObjIndex theirs(&g);
            for (double tol : {1e-8, 1e-6, 0.3}) {
                // All at once, in one pass over the rings (an index without bands), and one by one.
                const std::vector<Point3D> probes = Probes(g, tol, rng);
                std::vector<int> together;
                CStraightAreaIndex(g).WhereAll(probes, tol, together);
                for (size_t i = 0; i < probes.size(); ++i) {
                    const Point3D& p = probes[i];
                    const int loc = theirs.Locate(p, tol), want = loc == 0 ? 2 : loc == 1 ? 1 : 0;
                    ASSERT_EQ(ours.Where(p, tol), want) << "round " << round << " tol " << tol << " at " << p.x << ' ' << p.y;
                    ASSERT_EQ(together[i], want) << "together: round " << round << " tol " << tol << " at " << p.x << ' ' << p.y;
                    ++located;
                }
            }
            // Moved copies: far, at the boundary's reach and just beyond it.
            const Box b = g.mbRegion();
            for (double dx : {b.maxx - b.minx + 5.0, b.maxx - b.minx, b.maxx - b.minx + 5e-7, b.maxx - b.minx + 2e-6, 1.5}) {
                GM_Object moved(g);
                moved.OffsetAllPoints(Point3D{dx, 0, 0});
                const CStraightAreaIndex other(moved);
                for (double tol : {1e-8, 1e-6}) {
                    const bool contact = AnyContact(g, moved, tol);
                    EXPECT_EQ(ours.Meets(other, tol), contact) << "round " << round << " dx " << dx << " tol " << tol;
                    EXPECT_TRUE(contact || !CStraightAreaIndex(g).SurelyMeets(other, tol)) << "round " << round << " dx " << dx;
                }
            }
        }
    EXPECT_GT(located, 50000);
}

// Long rings are read in stretches with boxes that let the one-pass queries skip them: the
// stretches must join up exactly where points repeat across their seams, and a stretch with a
// point that is not finite must still be read.
TEST(StraightAreaIndex, LongRingsAnswerAsShortOnes) {
    std::mt19937 rng(23);
    for (int round = 0; round < 6; ++round) {
        std::vector<Point3D> outer = kelo_test::StarRing(rng, 0, 0, 6, 10, 700, true);
        for (size_t at : {127u, 128u, 255u, 383u, 384u}) outer.insert(outer.begin() + at, outer[at]);  // repeats on seams
        outer[500].x += 5e-9;
        if (round % 4 == 1) outer[300] = Point3D{NAN, 1, 0};
        const GM_Object g = Area({{outer, kelo_test::StarRing(rng, 2, 1, 0.5, 1.5, 300, false)}});
        const CStraightAreaIndex ours(g);
        const C9iObjIndex theirs(&g);
        const double tol = round < 3 ? 1e-6 : 0.05;
        std::vector<Point3D> probes = Probes(g, tol, rng);
        probes.resize(std::min<size_t>(probes.size(), 6000));
        std::vector<int> together;
        ours.WhereAll(probes, tol, together);
        for (size_t i = 0; i < probes.size(); ++i) {
            const int loc = theirs.Locate(probes[i], tol), want = loc == 0 ? 2 : loc == 1 ? 1 : 0;
            ASSERT_EQ(together[i], want) << "round " << round << " at " << probes[i].x << ' ' << probes[i].y;
        }
        Box box, record = g.mbRegion();
        ASSERT_EQ(ours.PointBox(box), round % 4 != 1);
        if (round % 4 != 1)
            EXPECT_TRUE(box.minx == record.minx && box.maxx == record.maxx && box.miny == record.miny && box.maxy == record.maxy);
        // Points outside windows cutting through the rings, counted one by one.
        for (double cut : {-20.0, -3.0, 0.0, 4.0}) {
            const Box w(cut, -7, cut + 30, 7);
            size_t all = 0, outside = 0, want = 0, count = 0;
            outside = ours.CountOutside(w, all);
            for (int r = 0; r < g.GetOriginalPolygonAt(0)->GetRingsCount(); ++r) {
                const keloPoints& run = *g.GetOriginalPolygonAt(0)->GetOriginalRingAt(r)->GetOriginalPointsAt(0);
                for (int i = 0; i < run.GetCount(); ++i, ++count) {
                    const Point3D& p = run.points[i];
                    want += p.x < w.minx || p.x > w.maxx || p.y < w.miny || p.y > w.maxy;
                }
            }
            EXPECT_EQ(outside, want) << "round " << round << " cut " << cut;
            EXPECT_EQ(all, count);
        }
        // Meeting a copy moved to overlap it, and moved clear of it.
        for (double dx : {3.0, 25.0}) {
            GM_Object moved(g);
            moved.OffsetAllPoints(Point3D{dx, 0, 0});
            const CStraightAreaIndex other(moved);
            EXPECT_EQ(ours.Meets(other, tol), dx < 20) << "round " << round;
            EXPECT_TRUE(dx < 20 || !ours.SurelyMeets(other, tol)) << "round " << round;
        }
    }
}
