// Noding and face building, checked by invariants that do not trust the code under test: result
// segments never cross or overlap, the covered length matches a count of unit steps on a lattice,
// and face areas match GEOS polygonize on the same lines.
#include <gtest/gtest.h>

#include <geos_c.h>

#include <cmath>
#include <map>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "geometry/circle_arc.h"
#include "geometry/geometry_object.h"
#include "geometry/tolerance.h"
#include "overlay/arc_polygon.h"
#include "overlay/line_handler.h"
#include "relations/kelo_ids.h"
#include "relations/segment_tally.h"

using namespace kelo;

namespace {

struct Seg {
    double x0, y0, x1, y1;
};

std::vector<Seg> Result(CLineHandler& h) {
    std::vector<Seg> out;
    for (int i = 0; i < h.GetSegmentCount(); ++i) {
        CsSegment s;
        EXPECT_EQ(h.GetSegmentAt(i, s), 1);
        out.push_back({s.Head()->x, s.Head()->y, s.Tail()->x, s.Tail()->y});
    }
    return out;
}

double Cross(double ax, double ay, double bx, double by, double cx, double cy) {
    return (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
}

// Distance from p to the segment and whether its foot is inside (not at an end).
double DistToSeg(const Seg& s, double px, double py) {
    const double dx = s.x1 - s.x0, dy = s.y1 - s.y0, l2 = dx * dx + dy * dy;
    const double t = std::clamp(((px - s.x0) * dx + (py - s.y0) * dy) / l2, 0.0, 1.0);
    return std::hypot(s.x0 + t * dx - px, s.y0 + t * dy - py);
}

// A clean arrangement: no proper crossing, no end inside another segment, no duplicates.
int Faults(const std::vector<Seg>& r, double tol) {
    int faults = 0;
    for (size_t i = 0; i < r.size(); ++i)
        for (size_t j = i + 1; j < r.size(); ++j) {
            const Seg &a = r[i], &b = r[j];
            auto endNear = [&](double x, double y, const Seg& s) {
                return std::hypot(x - s.x0, y - s.y0) <= tol || std::hypot(x - s.x1, y - s.y1) <= tol;
            };
            for (const Seg* pair[2] = {&a, &b}; const Seg* s : pair) {
                const Seg& o = s == &a ? b : a;
                for (int e = 0; e < 2; ++e) {
                    const double x = e ? s->x1 : s->x0, y = e ? s->y1 : s->y0;
                    if (DistToSeg(o, x, y) <= tol && !endNear(x, y, o)) ++faults;
                }
            }
            const double d1 = Cross(a.x0, a.y0, a.x1, a.y1, b.x0, b.y0), d2 = Cross(a.x0, a.y0, a.x1, a.y1, b.x1, b.y1);
            const double d3 = Cross(b.x0, b.y0, b.x1, b.y1, a.x0, a.y0), d4 = Cross(b.x0, b.y0, b.x1, b.y1, a.x1, a.y1);
            const double la = std::hypot(a.x1 - a.x0, a.y1 - a.y0), lb = std::hypot(b.x1 - b.x0, b.y1 - b.y0);
            const double m = tol * std::max(la, lb);
            if (((d1 > m && d2 < -m) || (d1 < -m && d2 > m)) && ((d3 > m && d4 < -m) || (d3 < -m && d4 > m))) ++faults;
            if ((endNear(a.x0, a.y0, b) && endNear(a.x1, a.y1, b))) ++faults;
        }
    return faults;
}

// Lattice segments in eight directions: many collinear overlaps, duplicates, T-junctions and
// shared ends, and some of zero length.
struct Lattice {
    std::vector<std::array<int, 4>> segs;  // x, y, direction index, steps
    static constexpr int kDir[8][2] = {{1, 0}, {0, 1}, {1, 1}, {1, -1}, {-1, 0}, {0, -1}, {-1, -1}, {-1, 1}};

    Lattice(unsigned seed, int n, int span) {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> pos(0, span), dir(0, 7), len(0, 4);
        for (int i = 0; i < n; ++i) segs.push_back({pos(rng), pos(rng), dir(rng), len(rng)});
    }
    // Length covered at least once (odd = false) or an odd number of times.
    double Covered(bool odd) const {
        std::map<std::array<int, 4>, int> steps;  // unit steps in a canonical direction
        for (const auto& s : segs)
            for (int k = 0; k < s[3]; ++k) {
                int x = s[0] + k * kDir[s[2]][0], y = s[1] + k * kDir[s[2]][1];
                int dx = kDir[s[2]][0], dy = kDir[s[2]][1];
                if (s[2] >= 4) x += dx, y += dy, dx = -dx, dy = -dy;
                ++steps[{x, y, dx, dy}];
            }
        double len = 0;
        for (const auto& [k, n] : steps)
            if (!odd || n % 2) len += std::hypot(k[2], k[3]);
        return len;
    }
    void Feed(CLineHandler& h, double off) const {
        for (const auto& s : segs) {
            Point3D p[2] = {{off + s[0], off + s[1], 0},
                            {off + s[0] + s[3] * kDir[s[2]][0], off + s[1] + s[3] * kDir[s[2]][1], 0}};
            h.AddLine(p, 2);
        }
    }
};

double TotalLength(const std::vector<Seg>& r) {
    double l = 0;
    for (const Seg& s : r) l += std::hypot(s.x1 - s.x0, s.y1 - s.y0);
    return l;
}

TEST(Noding, LatticeCoverageIsUnionOrOddCoverageAndClean) {
    for (unsigned seed = 1; seed <= 12; ++seed)
        for (double off : {0.0, 1e7}) {
            const Lattice lat(seed, 60, 8);
            for (int mode : {0, 1, 2, 3}) {
                // A zero tolerance on odd seeds.
                CLineHandler h(seed % 2 ? 0.0 : 1e-6);
                lat.Feed(h, off);
                if (mode == 0) h.OrOverLines(0);
                if (mode == 1) h.OrEqualLines(0);
                if (mode == 2) h.XorOverLines(0);
                if (mode == 3) h.XorEqualLines(0);
                const std::vector<Seg> r = Result(h);
                SCOPED_TRACE(testing::Message() << "seed " << seed << " offset " << off << " mode " << mode);
                EXPECT_EQ(Faults(r, 1e-7), 0);
                if (mode == 0 || mode == 1) {
                    EXPECT_NEAR(TotalLength(r), lat.Covered(false), 1e-6);
                } else if (mode == 2) {
                    EXPECT_NEAR(TotalLength(r), lat.Covered(true), 1e-6);
                }
            }
        }
}

// Equal segments cancel in pairs in the two symmetric modes; partial overlaps only in mode 2.
TEST(Noding, ModesOnDuplicatesAndPartialOverlaps) {
    struct Case {
        std::vector<Seg> in;
        double len[4];
    };
    const Case cases[] = {
        {{{0, 0, 4, 0}, {4, 0, 0, 0}}, {4, 4, 0, 0}},
        {{{0, 0, 4, 0}, {0, 0, 4, 0}, {4, 0, 0, 0}}, {4, 4, 4, 4}},
        {{{0, 0, 4, 0}, {2, 0, 6, 0}}, {6, 6, 4, 6}},
        {{{0, 0, 4, 0}, {1, 0, 2, 0}, {1, 0, 2, 0}}, {4, 4, 4, 4}},
        {{{0, 0, 0, 0}, {1, 1, 1, 1}}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases)
        for (int mode = 0; mode < 4; ++mode) {
            CLineHandler h(1e-6);
            for (const Seg& s : c.in) {
                Point3D p[2] = {{s.x0, s.y0, 0}, {s.x1, s.y1, 0}};
                h.AddLine(p, 2);
            }
            const int n = mode == 0 ? h.OrOverLines(0) : mode == 1 ? h.OrEqualLines(0) : mode == 2 ? h.XorOverLines(0) : h.XorEqualLines(0);
            const double got = n == 0 ? 0.0 : TotalLength(Result(h));
            EXPECT_NEAR(got, c.len[mode], 1e-9) << "mode " << mode << " first " << c.in[0].x1;
        }
}

// Ends and crossings closer than the tolerance become one shared vertex.
TEST(Noding, NearCoincidentPointsShareVertices) {
    CLineHandler h(1e-3);
    Point3D a[2] = {{0, 0, 0}, {10, 0, 0}};
    Point3D b[2] = {{5, 0.0004, 0}, {5, 6, 0}};       // T-junction within the tolerance
    Point3D c[2] = {{10.0003, -0.0002, 0}, {10, 7, 0}};  // end within the tolerance of a's end
    h.AddLine(a, 2);
    h.AddLine(b, 2);
    h.AddLine(c, 2);
    h.OrOverLines(0);
    const std::vector<Seg> r = Result(h);
    ASSERT_EQ(r.size(), 4u);
    std::map<std::pair<double, double>, int> degree;
    for (const Seg& s : r) ++degree[{s.x0, s.y0}], ++degree[{s.x1, s.y1}];
    int junctions = 0;
    for (const auto& [p, d] : degree) junctions += d >= 2;
    EXPECT_EQ(junctions, 2);  // (5, ~0) where three meet and (10, ~0) where two meet
}

// A column of thousands of ends at nearly one x, stacked along y: the ends of each joint lie on
// either side of x = 0 within the tolerance and must merge into one vertex, and no more.
TEST(Noding, ManyEndsAtOneXMerge) {
    const double tol = 0.01;
    const int n = 2000;
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> jitter(-0.3 * tol, 0.3 * tol);
    CLineHandler h(tol);
    for (int i = 0; i < n; ++i) {
        Point3D p[2] = {{jitter(rng), i + jitter(rng), 0}, {jitter(rng), i + 1 + jitter(rng), 0}};
        h.AddLine(p, 2);
    }
    h.OrOverLines(0);
    const std::vector<Seg> r = Result(h);
    ASSERT_EQ(r.size(), size_t(n));
    std::set<std::pair<double, double>> vertices;
    for (const Seg& s : r) vertices.insert({s.x0, s.y0}), vertices.insert({s.x1, s.y1});
    EXPECT_EQ(vertices.size(), size_t(n + 1));
}

// GEOS helpers: lines in, polygonize out.
struct Geos {
    GEOSContextHandle_t h = GEOS_init_r();
    ~Geos() { GEOS_finish_r(h); }
    GEOSGeometry* Lines(const std::vector<Seg>& segs) {
        std::vector<GEOSGeometry*> g;
        for (const Seg& s : segs) {
            GEOSCoordSequence* cs = GEOSCoordSeq_create_r(h, 2, 2);
            GEOSCoordSeq_setXY_r(h, cs, 0, s.x0, s.y0);
            GEOSCoordSeq_setXY_r(h, cs, 1, s.x1, s.y1);
            g.push_back(GEOSGeom_createLineString_r(h, cs));
        }
        return GEOSGeom_createCollection_r(h, GEOS_MULTILINESTRING, g.data(), static_cast<unsigned>(g.size()));
    }
    // Area and count of the polygons built from the noded lines.
    std::pair<double, int> Faces(const std::vector<Seg>& segs) {
        GEOSGeometry* lines = Lines(segs);
        GEOSGeometry* noded = GEOSNode_r(h, lines);
        const GEOSGeometry* parts[1] = {noded};
        GEOSGeometry* polys = GEOSPolygonize_r(h, parts, 1);
        double area = 0;
        GEOSArea_r(h, polys, &area);
        const int n = GEOSGetNumGeometries_r(h, polys);
        GEOSGeom_destroy_r(h, polys);
        GEOSGeom_destroy_r(h, noded);
        GEOSGeom_destroy_r(h, lines);
        return {area, n};
    }
    double UnionLength(const std::vector<Seg>& segs) {
        GEOSGeometry* lines = Lines(segs);
        GEOSGeometry* u = GEOSUnaryUnion_r(h, lines);
        double len = 0;
        GEOSLength_r(h, u, &len);
        GEOSGeom_destroy_r(h, u);
        GEOSGeom_destroy_r(h, lines);
        return len;
    }
};

std::vector<Seg> RandomSegments(unsigned seed, int n) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0, 100);
    std::vector<Seg> out;
    for (int i = 0; i < n; ++i) out.push_back({u(rng), u(rng), u(rng), u(rng)});
    // Some lattice-aligned segments for shared ends and overlaps.
    std::uniform_int_distribution<int> k(0, 10);
    for (int i = 0; i < n / 2; ++i) {
        const double x = 10.0 * k(rng), y = 10.0 * k(rng);
        out.push_back(i % 2 ? Seg{x, y, x + 10.0 * k(rng), y} : Seg{x, y, x, y + 10.0 * k(rng)});
    }
    return out;
}

TEST(Noding, RandomSegmentsAgreeWithGeosUnionAndFaces) {
    Geos g;
    for (unsigned seed = 1; seed <= 8; ++seed) {
        const std::vector<Seg> in = RandomSegments(seed, 30 + 5 * static_cast<int>(seed));
        ASSERT_GT(Faults(in, 1e-7), 0);  // the checker sees the input's crossings
        CLineHandler h(1e-9);
        for (const Seg& s : in) {
            Point3D p[2] = {{s.x0, s.y0, 0}, {s.x1, s.y1, 0}};
            h.AddLine(p, 2);
        }
        h.OrOverLines(0);
        const std::vector<Seg> r = Result(h);
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        EXPECT_EQ(Faults(r, 1e-7), 0);
        EXPECT_NEAR(TotalLength(r), g.UnionLength(in), 1e-6);

        CKeloMakeArcPolygon faces(1e-9);
        for (const Seg& s : in) {
            Point3D p[2] = {{s.x0, s.y0, 0}, {s.x1, s.y1, 0}};
            faces.Add(CsSegment(p, klLTPolyline));
        }
        ASSERT_EQ(faces.Solve(false), 1);
        double area = 0;
        for (int i = 0; i + 1 < faces.GetPolygonCount(); ++i) {
            keloPolygon poly;
            ASSERT_EQ(faces.GetPolygon(i, poly), 1);
            area += poly.GetArea();
        }
        const auto [geosArea, geosCount] = g.Faces(in);
        EXPECT_NEAR(area, geosArea, 1e-6 * geosArea + 1e-9);
        EXPECT_EQ(faces.GetPolygonCount() - 1, geosCount);
    }
}

// After the first round only pieces cut or moved in the round before are paired, through a grid
// of those alone, when they are few. A tangle beside a large clean field keeps the later rounds
// on that path; at a coarse tolerance the pieces bend onto their neighbours and need them.
TEST(Noding, LaterRoundsBesideManyUnchangedSegments) {
    for (const auto& [seed, tol] : {std::pair{1u, 0.1}, {4u, 0.3}, {9u, 0.1}, {12u, 0.3}}) {
        std::vector<Seg> in = RandomSegments(seed, 40);
        for (int i = 0; i < 10000; ++i) {
            const double x = 400 + (i % 100) * 3.0, y = (i / 100) * 3.0;
            in.push_back({x, y, x + 1, y + 1.5});
        }
        CLineHandler h(tol);
        for (const Seg& s : in) {
            Point3D p[2] = {{s.x0, s.y0, 0}, {s.x1, s.y1, 0}};
            h.AddLine(p, 2);
        }
        h.OrOverLines(0);
        std::vector<Seg> near, field;
        for (const Seg& s : Result(h)) (s.x0 < 300 ? near : field).push_back(s);
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        EXPECT_EQ(field.size(), 10000u);
        EXPECT_EQ(Faults(near, 1e-7), 0);
    }
}

// Noding is local: segments far from a small patch leave its noding as it is. A field of
// thousands of far segments lets the noder set most of them aside and work only near the
// patch, so each patch, noded alone and within the field, must give the same pieces (z
// included) and the same tallies; the patches sit at the edges of what may be set aside: a
// vertex around the tolerance and the margin from a segment, a fold back onto the previous
// segment, long monotone chains beside each other, crossings and ends closer than the
// tolerance strung along a line, ends snapping far, and duplicates (of one z: which of equal pieces survives may
// differ). Both extents are centred on the origin so that the shift to the centre changes nothing.
TEST(Noding, FarSegmentsLeaveAPatchAsNodedAlone) {
    const double w = 1e-6;
    using Pts = std::vector<Point3D>;
    auto patch = [&](int kind, double d) {
        std::vector<Pts> lines{{{-50, -50, 0}, {50, -50, 0}, {50, 50, 0}, {-50, 50, 0}, {-50, -50, 0}}};
        Pts base;
        for (int x = -40; x <= 40; ++x) base.push_back({double(x), 0, double(x % 3)});
        lines.push_back(base);
        switch (kind) {
            case 0:  // a vertex d from a segment of the base line
                lines.push_back({{0.1, 5, 1}, {0.3, d * w, 2}, {0.6, 5, 3}});
                break;
            case 1:  // a fold back d beside the previous segment
                lines.push_back({{10, 10, 0}, {20, 10, 1}, {11, 10 + d * w, 2}, {11, 20, 3}});
                break;
            case 2: {  // monotone chains of many segments d apart, one ending inside the other's run
                Pts a, b;
                for (int k = 0; k <= 200; ++k) a.push_back({-30 + 0.2 * k, 20 + 0.001 * k * k / 200, 0});
                for (int k = 50; k <= 300; ++k) b.push_back({-30 + 0.2 * k, 20 + 0.001 * k * k / 200 + d * w, 0});
                lines.push_back(a);
                lines.push_back(b);
                break;
            }
            case 3:  // crossings or ends d apart along a line
                for (int t = 0; t < 40; ++t) lines.push_back({{-20 + t * d * w, 30, 0}, {-20 + t * d * w + 1e-7 * t, 31 - (t % 2) * 1.5, 0}});
                break;
            case 4: {  // ends d apart snapping onto the first: the second fan sweeps past a segment
                const double g = d * w;
                for (int i = 0; i < 200; ++i) lines.push_back({{i * g, 0, 0}, {i < 100 ? -1 - 0.01 * i : 0.01 * i, 1, 0}});
                lines.push_back({{99.5 * g, 30 * w, 0}, {99.5 * g, 150 * w, 0}});
                break;
            }
            case 5:  // the far end of a segment in a sharp joint snapping towards the other one
                lines.push_back({{10, 10, 0}, {0, 10, 0}, {20, 10 + 6 * w, 0}});
                for (double y = 6 * w - d * w; y > -0.5 * w; y -= d * w) lines.insert(lines.begin() + 1, Pts{{20, 10 + y, 0}, {21, 10 + y * 1e6, 0}});
                break;
            default:  // duplicates and an overlap, one within d of the other
                lines.push_back({{-10, -10, 0}, {-5, -8, 0}, {0, -10, 0}});
                lines.push_back({{0, -10, 0}, {-5, -8, 0}});
                lines.push_back({{-10, -10 + d * w, 0}, {-5, -8, 0}, {0, -10 + d * w, 0}});
                break;
        }
        return lines;
    };
    Pts ring;  // 4800 segments at radius 1000, far from every patch
    for (int i = 0; i <= 4800; ++i) {
        const double t = 2 * M_PI * (i % 4800) / 4800;
        ring.push_back({1000 * std::cos(t), 1000 * std::sin(t), 7});
    }
    struct Piece {
        Point3D a, b;
        bool operator<(const Piece& o) const {
            return std::tie(a.x, a.y, b.x, b.y) < std::tie(o.a.x, o.a.y, o.b.x, o.b.y);
        }
        bool operator==(const Piece& o) const {
            return a.x == o.a.x && a.y == o.a.y && a.z == o.a.z && b.x == o.b.x && b.y == o.b.y && b.z == o.b.z;
        }
    };
    auto node = [&](const std::vector<Pts>& lines, int mode, SegContactTally& tally) {
        CLineHandler h(w);
        for (const Pts& l : lines) h.AddLine(l.data(), static_cast<int>(l.size()));
        int (CLineHandler::*const op[4])(int) = {&CLineHandler::OrOverLines, &CLineHandler::OrEqualLines, &CLineHandler::XorOverLines,
                                                 &CLineHandler::XorEqualLines};
        (h.*op[mode])(0);
        tally = SegIntersectTally();
        std::vector<Piece> out;
        for (int i = 0; i < h.GetSegmentCount(); ++i) {
            CsSegment s;
            h.GetSegmentAt(i, s);
            out.push_back({*s.Head(), *s.Tail()});
        }
        return out;
    };
    std::vector<Piece> field;  // the ring as the noder orders it: lower left end first, sorted
    for (size_t i = 0; i + 1 < ring.size(); ++i) {
        Point3D a = ring[i], b = ring[i + 1];
        if (b.x < a.x || (b.x == a.x && b.y < a.y)) std::swap(a, b);
        field.push_back({a, b});
    }
    for (int kind = 0; kind < 7; ++kind)
        for (double d : {0.5, 0.9, 1.1, 2.5, 7.9, 8.1, 15.9, 16.1, 40.0})
            for (int mode = 0; mode < 4; ++mode) {
                SCOPED_TRACE(testing::Message() << "kind " << kind << " d " << d << " mode " << mode);
                std::vector<Pts> lines = patch(kind, d);
                SegContactTally alone, within;
                std::vector<Piece> expected = node(lines, mode, alone);
                expected.insert(expected.end(), field.begin(), field.end());
                std::sort(expected.begin(), expected.end());
                lines.push_back(ring);
                EXPECT_TRUE(node(lines, mode, within) == expected);
                EXPECT_EQ(within.touch, alone.touch);
                EXPECT_EQ(within.cross, alone.cross);
                EXPECT_EQ(within.overlap, alone.overlap);
                EXPECT_EQ(within.endStart, std::min(255, alone.endStart + 4800 / 2));
                EXPECT_EQ(within.endEnd, std::min(255, alone.endEnd + 4800 / 2));
            }
}

// Contacts of two pieces (straight or arc) away from ends they share, within tol.
int Crossings(const CsSegment* segs, int n, double tol) {
    int crossings = 0;
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j) {
            Point3D q[2];
            const int k = segs[i].zIntersectSegment(segs[j], q[0], q[1]);
            for (int m = 0; m < k; ++m) {
                auto atEnd = [&](const CsSegment& s) {
                    return std::hypot(q[m].x - s.Head()->x, q[m].y - s.Head()->y) < tol ||
                           std::hypot(q[m].x - s.Tail()->x, q[m].y - s.Tail()->y) < tol;
                };
                crossings += !(atEnd(segs[i]) && atEnd(segs[j]));
            }
        }
    return crossings;
}

// Circles (two arcs each) and lines in general position: lengths are kept, no two pieces cross
// away from shared ends, and the faces have the areas GEOS finds on the densified pieces.
TEST(Noding, RandomArcsAndLines) {
    Geos g;
    for (unsigned seed = 1; seed <= 5; ++seed) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> u(0, 100), rad(5, 25);
        CLineHandler h(1e-9);
        double inputLength = 0;
        std::vector<std::vector<Point3D>> circles;
        for (int i = 0; i < 8; ++i) {
            const double cx = u(rng), cy = u(rng), r = rad(rng);
            circles.push_back({{cx + r, cy, 0}, {cx, cy + r, 0}, {cx - r, cy, 0}, {cx, cy - r, 0}, {cx + r, cy, 0}});
            h.AddLine(circles.back().data(), 5, klLT3PArc);
            inputLength += 2 * M_PI * r;
        }
        for (int i = 0; i < 8; ++i) {
            Point3D p[2] = {{u(rng), u(rng), 0}, {u(rng), u(rng), 0}};
            h.AddLine(p, 2);
            inputLength += std::hypot(p[1].x - p[0].x, p[1].y - p[0].y);
        }
        h.OrOverLines(0);
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        int n = 0;
        CsSegment* segs = nullptr;
        h.GetSegments(n, segs);
        double length = 0;
        std::vector<Seg> dense;
        for (int i = 0; i < n; ++i) {
            length += segs[i].Length(0);
            // Densify for GEOS: arcs by their circle, 64 steps per piece.
            if (!segs[i].Is3PArc()) {
                dense.push_back({segs[i].Head()->x, segs[i].Head()->y, segs[i].Tail()->x, segs[i].Tail()->y});
                continue;
            }
            const Point3D* p = segs[i].points;
            double cx, cy, r;
            ASSERT_TRUE(Circle3P(p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y, cx, cy, r));
            const double a0 = std::atan2(p[0].y - cy, p[0].x - cx), am = std::atan2(p[1].y - cy, p[1].x - cx);
            double a2 = std::atan2(p[2].y - cy, p[2].x - cx), dm = am - a0;
            while (dm < 0) dm += 2 * M_PI;
            double d2 = a2 - a0;
            while (d2 < 0) d2 += 2 * M_PI;
            const double sweep = dm <= d2 ? d2 : d2 - 2 * M_PI;
            double px = p[0].x, py = p[0].y;
            for (int k = 1; k <= 64; ++k) {
                const double a = a0 + sweep * k / 64;
                const double nx = k == 64 ? p[2].x : cx + r * std::cos(a), ny = k == 64 ? p[2].y : cy + r * std::sin(a);
                dense.push_back({px, py, nx, ny});
                px = nx, py = ny;
            }
        }
        EXPECT_NEAR(length, inputLength, 1e-6 * inputLength);
        EXPECT_EQ(Crossings(segs, n, 1e-6), 0);
        CKeloMakeArcPolygon faces(1e-9);
        faces.Add(n, segs);
        faces.Solve(false);
        double area = 0;
        for (int i = 0; i + 1 < faces.GetPolygonCount(); ++i) {
            keloPolygon poly;
            faces.GetPolygon(i, poly);
            area += poly.GetArea();
        }
        const auto [geosArea, geosCount] = g.Faces(dense);
        EXPECT_NEAR(area, geosArea, 2e-3 * geosArea);
        EXPECT_EQ(faces.GetPolygonCount() - 1, geosCount);
        delete[] segs;
    }
}

// Small tangles that are hard for the rounds: dense lattice overlaps, long segments at a coarse
// tolerance, vertices a few tolerances apart, arcs, and a tolerance near the spacing. Each must
// settle quickly into pieces that no longer cross nor end inside one another.
TEST(Noding, SmallTanglesSettle) {
    struct Case {
        const char* name;
        int n;
        double tol, side, len;  // len 0: both ends anywhere in the square
        bool arcs;
    };
    const Case cases[] = {{"lattice", 100, 0.01, 12, -1, false}, {"long", 200, 0.2, 100, 30, false},
                          {"tiny", 150, 1e-9, 1.2e-5, 0, false}, {"arcs", 150, 0.2, 100, 0, true},
                          {"coarse", 150, 1.0, 60, 0, false}};
    for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            std::mt19937 rng(1);
            std::uniform_real_distribution<double> u(0, c.side), turn(0, 2 * M_PI);
            std::uniform_int_distribution<int> node(0, static_cast<int>(c.side));
            CLineHandler h(c.tol);
            for (int i = 0; i < c.n; ++i) {
                Point3D p[3];
                if (c.len < 0) {
                    p[0] = {double(node(rng)), double(node(rng)), 0}, p[1] = {double(node(rng)), double(node(rng)), 0};
                } else if (c.len > 0) {
                    const double x = u(rng), y = u(rng), a = turn(rng);
                    p[0] = {x, y, 0}, p[1] = {x + c.len * std::cos(a), y + c.len * std::sin(a), 0};
                } else {
                    p[0] = {u(rng), u(rng), 0}, p[1] = {u(rng), u(rng), 0};
                }
                if (c.arcs && i % 2) {
                    const double mx = (p[0].x + p[1].x) / 2, my = (p[0].y + p[1].y) / 2;
                    p[2] = p[1];
                    p[1] = {mx - (p[2].y - my), my + (p[2].x - mx), 0};  // a half circle
                    h.AddLine(p, 3, klLT3PArc);
                } else {
                    h.AddLine(p, 2);
                }
            }
            h.OrOverLines(0);
            int n = 0;
            CsSegment* segs = nullptr;
            h.GetSegments(n, segs);
            ASSERT_GT(n, 0);
            if (c.arcs) {
                EXPECT_EQ(Crossings(segs, n, c.tol), 0);
            } else {
                EXPECT_EQ(Faults(Result(h), c.tol / 10), 0);
            }
            delete[] segs;
    }
}

keloParts Square(double x0, double y0, double s) {
    std::vector<Point3D> p = {{x0, y0, 0}, {x0 + s, y0, 0}, {x0 + s, y0 + s, 0}, {x0, y0 + s, 0}, {x0, y0, 0}};
    return keloParts(p, klLTPolyline);
}

// Nested squares with a dangle and a bridge: the hole belongs to the face around it.
TEST(Faces, HolesDanglesAndBridges) {
    CKeloMakeArcPolygon f(1e-9);
    keloParts outer = Square(0, 0, 10), inner = Square(3, 3, 4), innermost = Square(4, 4, 1);
    for (keloParts* r : {&outer, &inner, &innermost}) f.AddArc(r->GetOriginalPointsAt(0));
    Point3D bridge[2] = {{0, 5, 0}, {3, 5, 0}}, dangle[2] = {{7, 7, 0}, {9, 9, 0}};
    f.Add(CsSegment(bridge, klLTPolyline));
    f.Add(CsSegment(dangle, klLTPolyline));
    f.Solve(false);
    ASSERT_EQ(f.GetPolygonCount(), 4);  // three bounded faces and the unbounded one
    std::multiset<std::pair<int, long>> seen;  // rings, rounded area
    for (int i = 0; i < 3; ++i) {
        keloPolygon p;
        f.GetPolygon(i, p);
        seen.insert({p.GetRingsCount(), std::lround(p.GetArea())});
    }
    EXPECT_EQ(seen, (std::multiset<std::pair<int, long>>{{2, 84}, {2, 15}, {1, 1}}));
}

// Two squares sharing an edge: toggling the arcs of both faces leaves the outline, six arcs.
TEST(Faces, SignedArcIdsCancelOnSharedEdges) {
    CKeloMakeArcPolygon f(1e-9);
    keloParts a = Square(0, 0, 1), b = Square(1, 0, 1);
    f.AddArc(a.GetOriginalPointsAt(0));
    f.AddArc(b.GetOriginalPointsAt(0));
    f.Solve(false);
    ASSERT_EQ(f.GetPolygonCount(), 3);
    std::map<int, int> net;
    for (int i = 0; i < 2; ++i) {
        std::vector<int> ids;
        f.GetPolygonArcs(i, ids);
        for (int id : ids) {
            ASSERT_LE(std::abs(id), f.GetArcCount());
            net[std::abs(id)] += id > 0 ? 1 : -1;
        }
    }
    int outline = 0, shared = 0;
    for (const auto& [id, n] : net) (n == 0 ? shared : outline) += 1;
    EXPECT_EQ(outline, 6);
    EXPECT_EQ(shared, 1);
}

// A circle of two arcs cut by a diameter: two half discs, arcs kept as arcs.
TEST(Faces, ArcsSplitByALine) {
    CLineHandler h(1e-9);
    Point3D circle[5] = {{1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}, {1, 0, 0}};
    Point3D diameter[2] = {{-2, 0.5, 0}, {2, 0.5, 0}};
    h.AddLine(circle, 5, klLT3PArc);
    h.AddLine(diameter, 2);
    h.OrOverLines(0);
    int arcs = 0;
    for (int i = 0; i < h.GetSegmentCount(); ++i) {
        CsSegment s;
        h.GetSegmentAt(i, s);
        arcs += s.Is3PArc();
    }
    EXPECT_EQ(arcs, 4);
    EXPECT_EQ(h.GetSegmentCount(), 7);
    std::vector<GM_Object*> polys;
    ASSERT_EQ(h.CombineToPolys(polys, false), 2);
    const double cap = std::acos(0.5) - 0.5 * std::sqrt(0.75);  // the circular segment above y = 0.5
    std::vector<double> areas;
    for (GM_Object* p : polys) areas.push_back(p->GetArea()), delete p;
    std::sort(areas.begin(), areas.end());
    EXPECT_NEAR(areas[0], cap, 1e-6);
    EXPECT_NEAR(areas[1], M_PI - cap, 1e-6);
}

TEST(Noding, TalliesCountContacts) {
    struct Case {
        Seg a, b;
        uint8_t endStart, endEnd, touch, cross, overlap;
    };
    const Case cases[] = {
        {{0, 0, 2, 2}, {0, 2, 2, 0}, 0, 0, 0, 1, 0},
        {{0, 0, 2, 0}, {1, 0, 1, 3}, 0, 0, 1, 0, 0},
        {{0, 0, 2, 0}, {2, 0, 2, 3}, 0, 1, 0, 0, 0},
        {{0, 0, 4, 0}, {2, 0, 6, 0}, 0, 0, 2, 0, 1},
    };
    for (const Case& c : cases) {
        CLineHandler h(1e-6);
        Point3D a[2] = {{c.a.x0, c.a.y0, 0}, {c.a.x1, c.a.y1, 0}}, b[2] = {{c.b.x0, c.b.y0, 0}, {c.b.x1, c.b.y1, 0}};
        h.AddLine(a, 2);
        h.AddLine(b, 2);
        h.OrOverLines(0);
        uint8_t es = 9, ee = 9, t = 9, x = 9;
        const bool any = IsSegIntersect(&es, &ee, &t, &x);
        EXPECT_EQ(es, c.endStart);
        EXPECT_EQ(ee, c.endEnd);
        EXPECT_EQ(t, c.touch);
        EXPECT_EQ(x, c.cross);
        EXPECT_EQ(any, c.touch || c.cross);
        EXPECT_EQ(IsSegOverlapAndReset(), c.overlap);
        EXPECT_EQ(IsSegOverlapAndReset(), 0);
    }
}

TEST(Noding, EmptyAndDegenerateInput) {
    { CLineHandler fine(1e-7); }
    EXPECT_EQ(SetCoordEps(5), 1e-11);  // reads the module tolerance, changes nothing
    { CLineHandler coarse(1e-6); }
    EXPECT_EQ(SetCoordEps(5), 1e-6);
    CLineHandler h(0);
    EXPECT_EQ(h.OrOverLines(0), 0);
    std::vector<keloParts*> parts;
    EXPECT_EQ(h.CombineToParts(parts, false), 0);
    Point3D same[3] = {{5, 5, 0}, {5, 5, 0}, {5, 5, 0}};
    EXPECT_EQ(h.AddLine(same, 3, klLT3PArc), 1);
    EXPECT_EQ(h.AddLine(same, 1), 0);
    EXPECT_EQ(h.XorOverLines(0), 0);
    // Nothing noded: the input is what is read.
    EXPECT_EQ(h.GetSegmentCount(), 1);
    int n = 0;
    CsSegment* segs = nullptr;
    EXPECT_EQ(h.GetSegments(n, segs), 1);
    delete[] segs;
    // Collinear arc points: the arc is its chord.
    CLineHandler k(0);
    Point3D flat[3] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    k.AddLine(flat, 3, klLT3PArc);
    ASSERT_EQ(k.OrOverLines(0), 1);
    CsSegment s;
    k.GetSegmentAt(0, s);
    EXPECT_FALSE(s.Is3PArc());
}

// Chaining: a square with a tail gives one ring and one open line.
TEST(Chaining, RingsAndOpenLines) {
    CLineHandler h(1e-6);
    keloParts sq = Square(0, 0, 2);
    h.AddLine(sq.GetOriginalPointsAt(0));
    Point3D tail[2] = {{2, 2, 0}, {5, 5, 0}};
    h.AddLine(tail, 2);
    h.OrOverLines(0);
    std::vector<keloParts*> parts;
    ASSERT_EQ(h.CombineToParts(parts, false), 2);
    int closed = 0;
    double len = 0;
    for (keloParts* p : parts) closed += p->IsClosed(), len += p->GetPerimeter(), delete p;
    EXPECT_EQ(closed, 1);
    EXPECT_NEAR(len, 8 + 3 * std::sqrt(2.0), 1e-9);

    int n = 0;
    CsSegment* segs = nullptr;
    h.GetSegments(n, segs);
    std::vector<keloPoints*> runs;
    EXPECT_EQ(CombineSegments2Points(segs, n, runs), 2);
    for (keloPoints* r : runs) delete r;
    delete[] segs;
}

}  // namespace
