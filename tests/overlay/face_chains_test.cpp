// The face builder against a plain half-edge trace of the same noded arcs: every face must list
// exactly the cycles the plain trace finds (each from its least half-edge, faces and holes in the
// order of those), on arrangements whose rings run through nodes of two edges for long stretches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "geometry/parts.h"
#include "overlay/arc_polygon.h"

using namespace kelo;

namespace {

// Cycles of the straight arcs of f, found half-edge by half-edge: dangles peeled, each node's
// half-edges ordered by angle, cycles traced from the least half-edge not yet walked, edges walked
// on both sides by one cycle dropped and the whole done again.
std::vector<std::vector<int>> PlainCycles(const CKeloMakeArcPolygon& f) {
    const int n = f.GetArcCount();
    std::vector<Point3D> at(2 * static_cast<size_t>(n));
    for (int e = 0; e < n; ++e) {
        keloPoints arc;
        f.GetArc(e, arc);
        at[2 * e] = arc.points[0];
        at[2 * e + 1] = arc.points[arc.GetCount() - 1];
    }
    std::map<std::pair<double, double>, int> ids;
    std::vector<int> from(at.size());
    for (size_t h = 0; h < at.size(); ++h) from[h] = ids.emplace(std::make_pair(at[h].x, at[h].y), static_cast<int>(ids.size())).first->second;
    std::vector<char> alive(static_cast<size_t>(n), 1);
    std::vector<std::vector<int>> cycles;
    for (bool again = true; again;) {
        std::vector<std::vector<int>> around(ids.size());
        for (size_t h = 0; h < at.size(); ++h)
            if (alive[h / 2]) around[static_cast<size_t>(from[h])].push_back(static_cast<int>(h));
        for (bool peeled = true; peeled;) {
            peeled = false;
            for (auto& hs : around) {
                hs.erase(std::remove_if(hs.begin(), hs.end(), [&](int h) { return !alive[static_cast<size_t>(h / 2)]; }), hs.end());
                if (hs.size() == 1) alive[static_cast<size_t>(hs[0] / 2)] = 0, peeled = true;
            }
        }
        std::vector<int> next(at.size(), -1), cycleOf(at.size(), -1);
        for (auto& hs : around) {
            auto angle = [&](int h) { return std::atan2(at[static_cast<size_t>(h ^ 1)].y - at[static_cast<size_t>(h)].y, at[static_cast<size_t>(h ^ 1)].x - at[static_cast<size_t>(h)].x); };
            std::sort(hs.begin(), hs.end(), [&](int p, int q) { return angle(p) < angle(q); });
            for (size_t k = 0; k < hs.size(); ++k) next[static_cast<size_t>(hs[k] ^ 1)] = hs[(k + hs.size() - 1) % hs.size()];
        }
        cycles.clear();
        for (size_t h0 = 0; h0 < at.size(); ++h0) {
            if (!alive[h0 / 2] || cycleOf[h0] >= 0) continue;
            cycles.emplace_back();
            for (int h = static_cast<int>(h0); cycleOf[static_cast<size_t>(h)] < 0; h = next[static_cast<size_t>(h)]) {
                cycleOf[static_cast<size_t>(h)] = static_cast<int>(cycles.size() - 1);
                cycles.back().push_back(h);
            }
        }
        again = false;
        for (int e = 0; e < n; ++e)
            if (alive[static_cast<size_t>(e)] && cycleOf[2 * static_cast<size_t>(e)] == cycleOf[2 * static_cast<size_t>(e) + 1])
                alive[static_cast<size_t>(e)] = 0, again = true;
    }
    return cycles;
}

// Every face's arc list must be a run of whole plain cycles, each used once, cycles within a face
// and bounded faces' outer cycles in increasing order of their first half-edges.
void ExpectSameCycles(const CKeloMakeArcPolygon& f, const std::string& what) {
    const auto cycles = PlainCycles(f);
    std::map<int, size_t> byFirst;
    for (size_t c = 0; c < cycles.size(); ++c) byFirst[cycles[c][0]] = c;
    std::vector<char> used(cycles.size(), 0);
    int lastOuter = -1;
    for (int i = 0; i < f.GetPolygonCount(); ++i) {
        std::vector<int> ids;
        f.GetPolygonArcs(i, ids);
        int lastFirst = -1;
        for (size_t k = 0; k < ids.size();) {
            const int h = ids[k] > 0 ? 2 * (ids[k] - 1) : 2 * (-ids[k] - 1) + 1;
            auto it = byFirst.find(h);
            ASSERT_TRUE(it != byFirst.end()) << what << ": face " << i << " has a cycle starting at " << h;
            const std::vector<int>& c = cycles[it->second];
            ASSERT_FALSE(used[it->second]) << what;
            used[it->second] = 1;
            EXPECT_GT(h, lastFirst) << what << ": face " << i;
            if (k == 0 && i + 1 < f.GetPolygonCount()) {
                EXPECT_GT(h, lastOuter) << what;
                lastOuter = h;
            }
            lastFirst = k == 0 ? -1 : h;
            for (int g : c) {
                ASSERT_LT(k, ids.size()) << what;
                EXPECT_EQ(ids[k++], g % 2 ? -(g / 2 + 1) : g / 2 + 1) << what << ": face " << i;
            }
        }
    }
    EXPECT_EQ(std::count(used.begin(), used.end(), 1), static_cast<long>(cycles.size())) << what;
}

// A face's rings use each of its arcs once and touch no node twice (a boundary wrapping round to
// touch itself is cut there); the outer ring turns counter-clockwise, holes clockwise.
void ExpectSimpleRings(const CKeloMakeArcPolygon& f, const std::string& what) {
    std::vector<int> ids;
    for (int i = 0; i + 1 < f.GetPolygonCount(); ++i) {
        keloPolygon face;
        ASSERT_TRUE(f.GetPolygon(i, face)) << what;
        f.GetPolygonArcs(i, ids);
        size_t vertices = 0;
        for (int r = 0; r < face.GetRingsCount(); ++r) {
            const keloParts& ring = *face.GetOriginalRingAt(r);
            std::vector<std::pair<double, double>> seen;
            for (int v = 0; v < ring.GetVertexCount(); ++v)
                seen.emplace_back(ring.GetPointByVertexAt(v)->x, ring.GetPointByVertexAt(v)->y);
            vertices += seen.size();
            std::sort(seen.begin(), seen.end());
            EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end()) << what << " face " << i;
            EXPECT_EQ(ring.GetArea() > 0, r == 0) << what << " face " << i << " ring " << r;
        }
        EXPECT_EQ(vertices, ids.size()) << what << " face " << i;
    }
}

void Line(CKeloMakeArcPolygon& f, std::vector<Point3D> pts, bool closed) {
    if (closed) pts.push_back(pts.front());
    keloPoints run(pts, klLTPolyline);
    f.AddArc(&run);
}

}  // namespace

// Fixed shapes (a lone ring whose nodes all have two edges, two rings joined by a bridge of three
// edges, a long dangle off a ring, a hole touching its outer ring at one node, rings nested and
// side by side) plus random lines on a small grid, each solved from scratch and again from the
// arcs of every other face taken over from the first builder.
TEST(FaceChains, CyclesMatchAPlainHalfEdgeTrace) {
    using Shape = std::vector<std::pair<std::vector<Point3D>, bool>>;
    const std::vector<Shape> shapes = {
        {{{{0, 0, 0}, {4, 0, 0}, {5, 3, 0}, {2, 5, 0}, {-1, 3, 0}}, true}},
        {{{{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}}, true},
         {{{6, 0, 0}, {8, 0, 0}, {8, 2, 0}, {6, 2, 0}}, true},
         {{{2, 1, 0}, {3, 1.5, 0}, {4, 0.5, 0}, {6, 1, 0}}, false}},
        {{{{0, 0, 0}, {3, 0, 0}, {3, 3, 0}, {0, 3, 0}}, true},
         {{{3, 3, 0}, {4, 5, 0}, {5, 4, 0}, {6, 6, 0}, {8, 5, 0}, {9, 7, 0}}, false}},
        {{{{0, 0, 0}, {6, 0, 0}, {6, 6, 0}, {0, 6, 0}}, true},
         {{{0, 0, 0}, {3, 1, 0}, {4, 3, 0}, {1, 3, 0}}, true},
         {{{4, 4, 0}, {5, 4, 0}, {5, 5, 0}}, true}},
    };
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> coord(0, 6), count(2, 6);
    for (int t = 0; t < 300 + static_cast<int>(shapes.size()); ++t) {
        CKeloMakeArcPolygon f(1e-9);
        if (t < static_cast<int>(shapes.size())) {
            for (const auto& [pts, closed] : shapes[static_cast<size_t>(t)]) Line(f, pts, closed);
        } else {
            for (int l = count(rng); l > 0; --l) {
                std::vector<Point3D> pts;
                for (int k = count(rng); k > 0; --k) pts.push_back({double(coord(rng)), double(coord(rng)), 0});
                Line(f, pts, rng() % 2);
            }
        }
        f.Solve();
        ExpectSameCycles(f, "case " + std::to_string(t));
        ExpectSimpleRings(f, "case " + std::to_string(t));
        std::vector<int> side(static_cast<size_t>(f.GetArcCount()), 0), ids;
        for (int i = 0; i + 1 < f.GetPolygonCount(); i += 2) {
            f.GetPolygonArcs(i, ids);
            for (int id : ids) side[static_cast<size_t>(std::abs(id) - 1)] ^= 1;
        }
        std::vector<size_t> kept;
        for (size_t e = 0; e < side.size(); ++e)
            if (side[e]) kept.push_back(e);
        CKeloMakeArcPolygon again(f.GetEps());
        again.AddArcsOf(f, kept);
        again.SolveNoded();
        ExpectSameCycles(again, "kept arcs of case " + std::to_string(t));
        ExpectSimpleRings(again, "kept arcs of case " + std::to_string(t));
        // A clear point lies inside its own face.
        for (int i = 0; i + 1 < f.GetPolygonCount(); ++i) {
            Point3D p;
            keloPolygon face;
            if (!f.GetClearPoint(i, 1e-6, p)) continue;
            ASSERT_TRUE(f.GetPolygon(i, face));
            EXPECT_EQ(face.IsPointIn(p, 0), 1) << "case " << t << " face " << i;
        }
    }
}

// Small squares inside and outside a long ring (straight, or of arcs, which leave the crossing
// count undecided and go to the built ring): those inside must become holes of the ring's face,
// the others rings of the unbounded face beside the long ring.
TEST(FaceChains, SeparateRingsFindTheLongRingAroundThem) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> angle(0, 2 * M_PI), corner(0, 1);
    for (int t = 0; t < 40; ++t) {
        const bool arcs = t % 2;
        CKeloMakeArcPolygon f(1e-9);
        const int m = 100 + t;
        const double r = 10;
        for (int k = 0; k < m; ++k) {
            const double a0 = 2 * M_PI * k / m, a1 = 2 * M_PI * (k + 1) / m;
            const Point3D p0{r * std::cos(a0), r * std::sin(a0), 0}, p1{r * std::cos(a1), r * std::sin(a1), 0};
            if (!arcs) {
                Line(f, {p0, p1}, false);
                continue;
            }
            const double am = (a0 + a1) / 2;
            keloPoints run(std::vector<Point3D>{p0, {r * std::cos(am), r * std::sin(am), 0}, p1}, klLT3PArc);
            f.AddArc(&run);
        }
        int inside = 0, outside = 0;
        for (int s = 0; s < 30; ++s) {
            // Well inside or well outside, apart from each other; two level with a vertex of the ring.
            const bool in = rng() % 2;
            const double a = 2 * M_PI * s / 30 + 0.02 * angle(rng), d = in ? 3 + 5 * corner(rng) : 11 + 4 * corner(rng);
            const double x = s % 15 == 0 ? (s ? -d : d) : d * std::cos(a), y = s % 15 == 0 ? 0.0 : d * std::sin(a);
            Line(f, {{x, y, 0}, {x + 0.3, y, 0}, {x + 0.3, y + 0.3, 0}, {x, y + 0.3, 0}}, true);
            (in ? inside : outside)++;
        }
        f.Solve();
        ASSERT_EQ(f.GetPolygonCount(), 30 + 2) << "case " << t;
        int rings = 0;
        for (int i = 0; i + 1 < f.GetPolygonCount(); ++i) {
            keloPolygon face;
            ASSERT_TRUE(f.GetPolygon(i, face));
            const bool around = face.GetArea() > 100;
            rings += around;
            EXPECT_EQ(face.GetRingsCount(), around ? 1 + inside : 1) << "case " << t << " face " << i;
        }
        EXPECT_EQ(rings, 1) << "case " << t;
        std::vector<int> ids;
        f.GetPolygonArcs(f.GetPolygonCount() - 1, ids);
        EXPECT_EQ(ids.size(), static_cast<size_t>(m + 4 * outside)) << "case " << t;
    }
}

// A large face whose longest edges line a narrow inlet: the point beside the longest edge is not
// clear, and the face must still get a clear point without its rings being built; with a hole,
// whose edges count in the crossing test too. The point must lie in the face and keep its
// distance from every edge, the hole's included.
TEST(FaceChains, LargeFacesFindAClearPointPastANarrowInlet) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(0, 1);
    for (int t = 0; t < 12; ++t) {
        const bool hole = t % 2;
        const int m = 600 + 97 * t;
        const double r = 10, at = 2 * M_PI * u(rng), gap = 1e-3;
        // A circle of m short edges, cut between two of them by an inlet past the centre.
        std::vector<Point3D> ring;
        const int cut = static_cast<int>(at / (2 * M_PI) * m);
        for (int k = 0; k < m; ++k) {
            const double a = 2 * M_PI * k / m;
            ring.push_back({r * std::cos(a), r * std::sin(a), 0});
            if (k != cut) continue;
            const double b = 2 * M_PI * (k + 0.5) / m, cx = std::cos(b), cy = std::sin(b), nx = -cy, ny = cx;
            const double deep = 1.6 * r;
            for (const double side : {-gap, gap}) {
                const double d0 = side < 0 ? 0 : deep, d1 = side < 0 ? deep : 0;
                ring.push_back({r * cx - d0 * cx + nx * side, r * cy - d0 * cy + ny * side, 0});
                ring.push_back({r * cx - d1 * cx + nx * side, r * cy - d1 * cy + ny * side, 0});
            }
        }
        CKeloMakeArcPolygon f(1e-9);
        Line(f, ring, true);
        // The hole well to the side of the inlet.
        const double b = 2 * M_PI * (cut + 0.5) / m, hx = -6 * std::sin(b), hy = 6 * std::cos(b);
        if (hole) Line(f, {{hx - 1, hy - 1, 0}, {hx - 1, hy + 1, 0}, {hx + 1, hy + 1, 0}, {hx + 1, hy - 1, 0}}, true);
        f.Solve();
        ASSERT_EQ(f.GetPolygonCount(), hole ? 3 : 2) << "case " << t;
        for (int i = 0; i + 1 < f.GetPolygonCount(); ++i) {
            keloPolygon face;
            ASSERT_TRUE(f.GetPolygon(i, face));
            if (face.GetArea() < 50) continue;  // the hole's own face
            Point3D p;
            ASSERT_TRUE(f.GetClearPoint(i, 1e-6, p)) << "case " << t;
            EXPECT_EQ(face.IsPointIn(p, 0), 1) << "case " << t;
            double nearest = INFINITY;
            for (int e = 0; e < f.GetArcCount(); ++e) {
                keloPoints arc;
                f.GetArc(e, arc);
                const Point3D a = arc.points[0], b = arc.points[1];
                const double dx = b.x - a.x, dy = b.y - a.y;
                const double s = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
                nearest = std::min(nearest, std::hypot(p.x - a.x - s * dx, p.y - a.y - s * dy));
            }
            EXPECT_GT(nearest, 1e-3) << "case " << t;
        }
    }
}
