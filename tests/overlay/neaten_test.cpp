// Neatening: random objects with one kind of defect each come out valid by our own checks and by
// GEOS, and a check-only run reports the first defect without touching the object.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "companion/gbk.h"
#include "geometry/geometry_object.h"
#include "io/standard_forms.h"
#include "overlay/geometry_neaten.h"
#include "support/even_odd.h"
#include "support/geos_oracle.h"
#include "support/random_polygons.h"
#include "support/random_records.h"

using namespace kelo;
using kelo_test::GeosOracle;

namespace {

constexpr double kEps = 1e-6;
constexpr int kEveryFlag = 0x1FF;

std::vector<uint8_t> Bytes(const GM_Object& g) {
    std::vector<uint8_t> b;
    GeometryToWkb(g, b);
    return b;
}

GM_Object RandomPolygon(std::mt19937& rng) {
    return GM_Object(kelo_test::PolygonOfRings(kelo_test::RandomPolygonRings(rng, 4e5, 3e6)));
}

GM_Object RandomLines(std::mt19937& rng) {
    std::uniform_real_distribution<double> u(0, 100);
    std::vector<keloParts> lines;
    for (int l = 0; l < 3; ++l) {
        // Steps that only ever go right and up never meet themselves; lines sit in separate bands.
        std::vector<Point3D> pts{{u(rng), 200.0 * l, 0}};
        for (int k = 0; k < 6; ++k) pts.push_back({pts.back().x + 1 + u(rng) / 10, pts.back().y + 1 + u(rng) / 10, 0});
        lines.emplace_back(pts, klLTPolyline);
    }
    std::vector<LineString*> ptrs;
    for (keloParts& l : lines) ptrs.push_back(&l);
    GM_Object g;
    g.Create(ptrs);
    return g;
}

keloParts& PartAt(GM_Object& g, int i) {
    int ring = 0;
    return *g.GetOriginalPartsAt(&ring, i);
}

std::vector<Point3D> Points(const keloParts& p) {
    std::vector<Point3D> v;
    p.GetAllOriginalPoint(v);
    return v;
}

void SetPoints(keloParts& p, const std::vector<Point3D>& v) {
    p.DeleteContent();
    p.Create(static_cast<int>(v.size()), v.data(), klLTPolyline);
}

struct Defect {
    const char* name;
    std::function<GM_Object(std::mt19937&)> make;
    int checkCode;   // what check-only mode must return
    int repairBit;   // what the repair must report
    int validFlags;  // IsNormal flags the repaired object must pass
};

// Every option on, at the tolerance the defects are drawn at.
CGeometryNeatenSet AllOptions(int checkOnly) {
    CGeometryNeatenSet s;
    s.SetEps(kEps);
    s.SetOptionNeaten(1, 1, 1);
    s.SetExExtNeaten(3);
    s.SetCheckOnly(checkOnly);
    return s;
}

const std::vector<Defect>& Defects() {
    static const std::vector<Defect> table = {
        {"duplicate vertex",
         [](std::mt19937& rng) {
             GM_Object g = RandomPolygon(rng);
             std::vector<Point3D> v = Points(PartAt(g, 0));
             const size_t k = 1 + rng() % (v.size() - 2);
             v.insert(v.begin() + static_cast<long>(k), {v[k].x + 3e-7, v[k].y - 2e-7, 0});
             SetPoints(PartAt(g, 0), v);
             return g;
         },
         -3, 4, kEveryFlag},
        {"open ring",
         [](std::mt19937& rng) {
             GM_Object g = RandomPolygon(rng);
             std::vector<Point3D> v = Points(PartAt(g, 0));
             v.pop_back();
             SetPoints(PartAt(g, 0), v);
             return g;
         },
         -2, 2, kEveryFlag},
        {"single-point line",
         [](std::mt19937& rng) {
             GM_Object g = RandomLines(rng);
             Point3D p{1000, 1000, 0};
             g.InsertPartsAt(keloParts(std::vector<Point3D>{p}, klLTPolyline), -1, 0);
             return g;
         },
         -4, 8, kEveryFlag},
        {"two-point polygon",
         [](std::mt19937& rng) {
             GM_Object g = RandomPolygon(rng);
             std::vector<Point3D> v{{0, 0, 0}, {5, 5, 0}, {0, 0, 0}};
             g.InsertPolygon(keloPolygon(keloParts(v, klLTPolyline)));
             return g;
         },
         -10, 512, kEveryFlag},
        {"zero-length line",
         [](std::mt19937& rng) {
             GM_Object g = RandomLines(rng);
             std::vector<Point3D> v{{2000, 0, 0}, {2000, 4e-7, 0}};
             g.InsertPartsAt(keloParts(v, klLTPolyline), -1, 0);
             return g;
         },
         -3, 4, kEveryFlag},
        {"zero-area ring",
         [](std::mt19937& rng) {
             GM_Object g = RandomPolygon(rng);
             std::vector<Point3D> v{{0, 0, 0}, {4, 4, 0}, {8, 8, 0}, {0, 0, 0}};
             g.InsertPolygon(keloPolygon(keloParts(v, klLTPolyline)));
             return g;
         },
         -10, 512, kEveryFlag},
        {"ring spike",
         [](std::mt19937& rng) {
             GM_Object g = RandomPolygon(rng);
             std::vector<Point3D> v = Points(PartAt(g, 0));
             const size_t k = 1 + rng() % (v.size() - 2);
             const Point3D a = v[k];
             const Point3D tip{a.x + (a.x - 4e5) * 0.3, a.y + (a.y - 3e6) * 0.3, 0};
             const Point3D back{(a.x + tip.x) / 2, (a.y + tip.y) / 2, 0};
             v.insert(v.begin() + static_cast<long>(k) + 1, {tip, back});
             SetPoints(PartAt(g, 0), v);
             return g;
         },
         -11, 1024, kEveryFlag},
        // A crossing repaired by the even-odd rule leaves two pieces, or a shell and a hole, meeting
        // in the crossing point, which the touch tests of flags 32 and 128 count; GEOS accepts it.
        {"self-intersection",
         [](std::mt19937& rng) {
             GM_Object g = RandomPolygon(rng);
             std::vector<Point3D> v = Points(PartAt(g, 0));
             const size_t k = 1 + rng() % (v.size() - 4);
             std::swap(v[k], v[k + 2]);
             SetPoints(PartAt(g, 0), v);
             return g;
         },
         -11, 1024, kEveryFlag & ~(32 | 128)},
        {"crossing lines",
         [](std::mt19937& rng) {
             GM_Object g = RandomLines(rng);
             const Point3D* p = PartAt(g, 0).parts[0].points;
             const Point3D mid{(p[0].x + p[1].x) / 2, (p[0].y + p[1].y) / 2, 0};
             std::vector<Point3D> cross{{mid.x - 1, mid.y + 1, 0}, {mid.x + 1, mid.y - 1, 0}};
             g.InsertPartsAt(keloParts(cross, klLTPolyline), -1, 0);
             return g;
         },
         -11, 1024, kEveryFlag},
        {"several at once",
         [](std::mt19937& rng) {
             GM_Object g = RandomPolygon(rng);
             std::vector<Point3D> v = Points(PartAt(g, 0));
             const Point3D a = v[3];
             v.insert(v.begin() + 4, {{a.x + (a.x - 4e5) * 0.3, a.y + (a.y - 3e6) * 0.3, 0},
                                      {a.x + (a.x - 4e5) * 0.1, a.y + (a.y - 3e6) * 0.1, 0}});
             v.insert(v.begin() + 2, {v[1].x + 2e-7, v[1].y, 0});
             v.pop_back();
             SetPoints(PartAt(g, 0), v);
             return g;
         },
         -2, 2 | 4 | 1024, kEveryFlag},
        {"empty part",
         [](std::mt19937& rng) {
             GM_Object g = RandomLines(rng);
             g.multiLine.lines[1].parts[0].pointCount = 0;
             delete[] g.multiLine.lines[1].parts[0].points;
             g.multiLine.lines[1].parts[0].points = nullptr;
             return g;
         },
         -7, 64, kEveryFlag},
    };
    return table;
}

TEST(Neaten, RandomDefectsComeOutValidAndCheckOnlyReportsTheFirst) {
    GeosOracle geos;
    std::mt19937 rng(21);
    for (const Defect& d : Defects()) {
        int crossings = 0;
        for (int trial = 0; trial < 40; ++trial) {
            GM_Object bad = d.make(rng);
            auto before = geos.From(bad);
            // A swap of two star vertices does not always cross; only crossings count.
            if (d.checkCode == -11 && d.validFlags != kEveryFlag && before && geos.Invalidity(before.get()).empty())
                continue;
            ++crossings;
            SCOPED_TRACE(std::string(d.name) + " #" + std::to_string(trial));

            GM_Object checked(bad);
            ASSERT_EQ(AllOptions(1).GeometryNeaten(&checked), d.checkCode);
            if (d.checkCode != -7) {
                EXPECT_EQ(Bytes(checked), Bytes(bad)) << "check-only changed the object";
            }

            GM_Object fixed(bad);
            const int bits = AllOptions(0).GeometryNeaten(&fixed);
            EXPECT_EQ(bits & d.repairBit, d.repairBit) << bits;
            EXPECT_EQ(fixed.IsNormal(kEps, d.validFlags), 1);
            auto after = geos.From(fixed);
            ASSERT_TRUE(after);
            EXPECT_EQ(geos.Invalidity(after.get()), "");
            // A second pass finds nothing left to repair.
            GM_Object again(fixed);
            EXPECT_EQ(AllOptions(1).GeometryNeaten(&again), 0);
        }
        EXPECT_GE(crossings, 30) << d.name;
    }
}

// In check-only mode the empty part is gone already, and nothing else changed.
TEST(Neaten, CheckOnlyStillDropsEmptyParts) {
    std::mt19937 rng(5);
    GM_Object g = Defects().back().make(rng);
    GM_Object expected(g);
    expected.multiLine.lines[1].partCount = 0;
    delete[] expected.multiLine.lines[1].parts;
    expected.multiLine.lines[1].parts = nullptr;
    expected.DeletePartsAt(1);
    EXPECT_EQ(AllOptions(1).GeometryNeaten(&g), -7);
    EXPECT_EQ(Bytes(g), Bytes(expected));
}

struct StepCase {
    const char* name;
    std::vector<std::vector<Point3D>> rings;  // closed rings of one polygon; empty: lines
    std::vector<std::vector<Point3D>> lines;
    int overlap, single, twoPoint, ext;
    klLineType type;
    int checkCode;
};

// Each step reports under its own option only, in the documented order.
TEST(Neaten, EachStepReportsUnderItsOwnOption) {
    const Point3D a{0, 0, 0}, b{10, 0, 0}, c{10, 10, 0}, d{0, 10, 0};
    const std::vector<StepCase> cases = {
        {"clean square", {{a, b, c, d, a}}, {}, 1, 1, 1, 3, klLTPolyline, 0},
        {"odd line type", {{a, b, c, d, a}}, {}, 0, 0, 0, 0, klLTNone, -1},
        {"gap below 1e-8 is closed", {{a, b, c, d, {0, 5e-9, 0}}}, {}, 0, 0, 0, 0, klLTPolyline, 0},
        {"open ring", {{a, b, c, d}}, {}, 0, 0, 0, 0, klLTPolyline, -2},
        {"overlap off ignores duplicates", {{a, b, b, c, d, a}}, {}, 0, 1, 1, 0, klLTPolyline, 0},
        {"single point ring", {{a}}, {}, 0, 0, 1, 0, klLTPolyline, -5},
        {"one arc round a circle", {{a, b, a}}, {}, 1, 1, 1, 3, klLT3PArc, 0},
        {"single point line", {}, {{a}}, 0, 1, 0, 0, klLTPolyline, -4},
        {"zero length", {}, {{a, {0, 1e-9, 0}}}, 0, 1, 0, 0, klLTPolyline, -9},
        {"zero area", {{a, b, {20, 0, 0}, a}}, {}, 0, 0, 1, 0, klLTPolyline, -10},
        {"collinear run is no spike", {{a, b, {15, 0, 0}, c, d, a}}, {}, 0, 0, 0, 2, klLTPolyline, 0},
        {"spike back", {{a, b, {15, 0, 0}, {12, 0, 0}, c, d, a}}, {}, 0, 0, 0, 2, klLTPolyline, -11},
        {"bow tie", {{a, b, d, c, a}}, {}, 0, 0, 0, 1, klLTPolyline, -11},
        {"bow tie, spikes only", {{a, b, d, c, a}}, {}, 0, 0, 0, 2, klLTPolyline, -11},
        {"crossing lines", {}, {{a, c}, {b, d}}, 0, 0, 0, 1, klLTPolyline, -11},
        {"bezier needs the curve option", {}, {{a, b, c, d}}, 1, 1, 1, 3, klLTBezier, 0},
    };
    for (const StepCase& t : cases) {
        SCOPED_TRACE(t.name);
        GM_Object g;
        if (!t.rings.empty()) {
            keloPolygon poly;
            for (const auto& r : t.rings) poly.InsertRing(keloParts(r, t.type), 1);
            g.Create(poly);
        }
        for (const auto& l : t.lines) g.InsertPartsAt(keloParts(l, t.type), -1, 0);
        CGeometryNeatenSet s;
        s.SetOptionNeaten(t.overlap, t.single, t.twoPoint);
        s.SetExExtNeaten(t.ext);
        s.SetCheckOnly(1);
        GM_Object copy(g);
        EXPECT_EQ(s.GeometryNeaten(&copy), t.checkCode);
        EXPECT_EQ(Bytes(copy), Bytes(g));
    }
}

// The defect position is that of the object checked, never one left over from an earlier object:
// a ring that only touches itself has no crossing, yet its touching vertex is the place.
TEST(Neaten, SelfIntersectionIsReportedWhereItHappens) {
    const struct {
        const char* wkt;
        double x, y;
    } cases[] = {
        {"POLYGON ((0 0, 2 2, 2 0, 0 2, 0 0))", 1, 1},
        {"POLYGON ((0 0, 10 0, 10 10, 5 10, 7 5, 3 5, 5 10, 0 10, 0 0))", 5, 10},
        {"POLYGON ((0 0, 10 0, 10 10, 5 0, 0 10, 0 0))", 5, 0},
        {"POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (5 5, 12 5, 12 6, 5 6, 5 5))", 10, 5},
        // Two crossings: the one between earlier segments is told, though the other lies further left.
        {"POLYGON ((10 0, 12 2, 12 0, 10 2, 2 2, 0 4, 0 2, 2 4, 2 5, -1 5, -1 -1, 10 -1, 10 0))", 11, 1},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.wkt);
        GM_Object g;
        ASSERT_TRUE(WktToGeometry(t.wkt, g));
        CGeometryNeatenSet s;
        s.SetExExtNeaten(1);
        s.SetCheckOnly(1);
        g_lastAbnormalPoint = {-99, -99, 0};
        EXPECT_EQ(s.GeometryNeaten(&g), -11);
        EXPECT_NEAR(g_lastAbnormalPoint.x, t.x, 1e-9);
        EXPECT_NEAR(g_lastAbnormalPoint.y, t.y, 1e-9);
    }
}

TEST(Neaten, OverlapPassKeepsTheFirstVertexAndTheShape) {
    struct Case {
        std::vector<Point3D> in, out;
    };
    const Point3D a{0, 0, 0}, b{10, 0, 0}, c{10, 10, 0}, d{0, 10, 0};
    const std::vector<Case> cases = {
        {{a, a, b, c, d, a}, {a, b, c, d, a}},                     // duplicate at the start: the first stays
        {{a, b, c, d, {0, 1e-9, 0}, a}, {a, b, c, d, a}},          // closing pair, exact
        {{a, b, {10, 5e-7, 0}, c, d, a}, {a, b, c, d, a}},         // near pair on a corner: the corner stays
        {{a, {5, 0, 0}, {5 + 5e-7, 0, 0}, b}, {a, {5 + 2.5e-7, 0, 0}, b}},  // on a straight run: the middle
    };
    CGeometryNeatenSet s;
    s.SetEps(kEps);
    s.SetOptionNeaten(1, 0, 0);
    for (const Case& t : cases) {
        GM_Object g;
        g.InsertPartsAt(keloParts(t.in, klLTPolyline), -1, 0);
        EXPECT_EQ(s.GeometryNeaten(&g), 4);
        std::vector<Point3D> got = Points(PartAt(g, 0));
        ASSERT_EQ(got.size(), t.out.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_NEAR(got[i].x, t.out[i].x, 1e-12);
            EXPECT_NEAR(got[i].y, t.out[i].y, 1e-12);
        }
    }
}

// Open rings: ends that overshoot meet at their crossing, near ends at their middle, a missing
// closing segment is added.
TEST(Neaten, OpenRingsAreClosedWhereTheirEndsMeet) {
    const Point3D b{10, 0, 0}, c{10, 10, 0}, d{0, 10, 0};
    const struct {
        std::vector<Point3D> in;
        Point3D first;
        size_t count;
    } cases[] = {
        {{{-1, 0, 0}, b, c, d, {0, -1, 0}}, {0, 0, 0}, 5},
        {{{0, 0, 0}, b, c, d, {-3e-7, 4e-7, 0}}, {0, 0, 0}, 5},
        {{{0, 0, 0}, b, c, d}, {0, 0, 0}, 5},
        {{{0, 0, 0}, b, c}, {0, 0, 0}, 4},
    };
    for (const auto& t : cases) {
        GM_Object g(keloPolygon(keloParts(std::vector<Point3D>{b, c, d, b}, klLTPolyline)));
        SetPoints(PartAt(g, 0), t.in);  // the polygon constructor would close the ring itself
        CGeometryNeatenSet s;
        s.SetEps(kEps);
        EXPECT_EQ(s.GeometryNeaten(&g), 2);
        const std::vector<Point3D> v = Points(PartAt(g, 0));
        ASSERT_EQ(v.size(), t.count);
        EXPECT_NEAR(v.front().x, t.first.x, kEps);
        EXPECT_NEAR(v.front().y, t.first.y, kEps);
        EXPECT_EQ(v.back().x, v.front().x);
        EXPECT_EQ(v.back().y, v.front().y);
    }
}

// A straight piece that runs back onto an arc: the arc is cut back to where the piece ends, the
// rest of the ring is kept, and the pass ends.
TEST(Neaten, ArcSpikeIsCutBack) {
    const Point3D onArc{5 + 5 * std::cos(M_PI / 3), 5 * std::sin(M_PI / 3), 0};
    keloParts ring;
    ring.InsertPointsAt(keloPoints(std::vector<Point3D>{{0, 0, 0}, {5, 5, 0}, {10, 0, 0}}, klLT3PArc), -1);
    ring.InsertPointsAt(keloPoints(std::vector<Point3D>{{10, 0, 0}, onArc, {0, -5, 0}, {0, 0, 0}}, klLTPolyline), -1);
    GM_Object g(keloPolygon{ring});
    CGeometryNeatenSet s;
    s.SetExExtNeaten(2);
    s.SetCheckOnly(1);
    EXPECT_EQ(s.GeometryNeaten(&g), -11);
    s.SetCheckOnly(0);
    EXPECT_EQ(s.GeometryNeaten(&g), 1024);
    const keloParts& out = PartAt(g, 0);
    ASSERT_EQ(out.GetPartsCount(), 2);
    ASSERT_EQ(out.parts[0].lineType, klLT3PArc);
    ASSERT_EQ(out.parts[0].pointCount, 3u);
    const Point3D* arc = out.parts[0].points;
    EXPECT_NEAR(arc[1].x, 5 + 5 * std::cos(2 * M_PI / 3), 1e-9);  // the middle of the arc left
    EXPECT_NEAR(arc[1].y, 5 * std::sin(2 * M_PI / 3), 1e-9);
    EXPECT_NEAR(arc[2].x, onArc.x, 1e-12);
    EXPECT_EQ(Points(out).size(), 6u);  // arc (3) + the straight run from its end (3)
}

TEST(Neaten, CurvesRangeAndDecimals) {
    // A Bezier run and a three-point arc: discretised, made straight, or left alone.
    const std::vector<Point3D> bez{{0, 0, 0}, {1, 2, 0}, {3, 2, 0}, {4, 0, 0}};
    const std::vector<Point3D> arc{{10, 0, 0}, {10.8, 0.6, 0}, {12, 0, 0}};
    struct Case {
        int arcs, curves, discretise, middle, check, result;
        klLineType bezType, arcType;
        bool manyPoints;
    };
    const std::vector<Case> cases = {
        {0, 0, 0, 0, 0, 0, klLTBezier, klLT3PArc, false},
        {1, 1, 0, 0, 0, 32, klLTPolyline, klLTPolyline, false},
        {1, 1, 1, 0, 0, 32, klLTPolyline, klLTPolyline, true},
        {0, 1, 0, 0, 1, -6, klLTBezier, klLT3PArc, false},
        {0, 0, 0, 1, 1, -6, klLTBezier, klLT3PArc, false},
    };
    for (const Case& t : cases) {
        GM_Object g;
        g.InsertPartsAt(keloParts(bez, klLTBezier), -1, 0);
        g.InsertPartsAt(keloParts(arc, klLT3PArc), -1, 0);
        CGeometryNeatenSet s;
        s.SetCurveDiscret(t.arcs, t.curves, t.discretise, t.middle);
        s.SetCheckOnly(t.check);
        EXPECT_EQ(s.GeometryNeaten(&g), t.result);
        EXPECT_EQ(PartAt(g, 0).parts[0].lineType, t.bezType);
        EXPECT_EQ(PartAt(g, 1).parts[0].lineType, t.arcType);
        EXPECT_EQ(PartAt(g, 0).parts[0].pointCount > 4, t.manyPoints);
    }

    GM_Object g;
    std::vector<Point3D> pts{{-5, 1.23456, 7}, {NAN, 50, -3}, {3.14159, 2.71828, 100}, {1.25, 1, kUnknownZ}};
    g.InsertPartsAt(keloParts(pts, klLTPolyline), -1, 0);
    Box range;
    range.minx = -1, range.miny = 0, range.minz = 0, range.maxx = 4, range.maxy = 10, range.maxz = 50;
    CGeometryNeatenSet s;
    s.SetXYHNeaten(1, 1, range);
    s.SetDecimalNeaten(2);
    GM_Object checked(g);
    s.SetCheckOnly(1);
    EXPECT_EQ(s.GeometryNeaten(&checked), 0);  // range and decimals have no check-only code
    s.SetCheckOnly(0);
    EXPECT_EQ(s.GeometryNeaten(&g), 2048);
    // A point without height keeps the marker of that.
    const std::vector<Point3D> want{{-1, 1.23, 7}, {-1, 10, 0}, {3.14, 2.72, 50}, {1.25, 1, kUnknownZ}};
    for (size_t i = 0; i < want.size(); ++i) {
        const Point3D& p = PartAt(g, 0).parts[0].points[i];
        EXPECT_EQ(p.x, want[i].x);
        EXPECT_EQ(p.y, want[i].y);
        EXPECT_EQ(p.z, want[i].z);
    }
}

// Records of any shape on a coarse grid: repeated points, collinear runs, crossings, curves of
// every type, empty runs and parts.
struct JunkRecord {
    std::mt19937 rng;
    static constexpr int kMinRingParts = 0;
    explicit JunkRecord(unsigned seed) : rng(seed) {}
    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    double Real() { return Int(0, 4); }
    Point3D Pt() { return {Real(), Real(), 0}; }
    void Part(CurveSegment& s) {
        static const klLineType kTypes[] = {klLTNone, klLTPolyline, klLTPolyline, klLTBezier, klLT3PArc,
                                            klLTEllipse, klLT3PCircle, klLTSpline};
        s.lineType = kTypes[Int(0, 7)];
        s.pointCount = static_cast<uint32_t>(Int(0, 6));
        s.points = s.pointCount ? new Point3D[s.pointCount] : nullptr;
        for (uint32_t i = 0; i < s.pointCount; ++i) s.points[i] = Pt();
    }
};

TEST(Neaten, BadInputNeverBreaks) {
    // Every option over junk: each call ends, and a repaired object neatens again without change
    // in what it reports as its first defect being a crash or a loop.
    kelo::test::RandomRecords<JunkRecord> gen(11);
    for (int trial = 0; trial < 400; ++trial) {
        GM_Object g;
        gen.Geometry(g, gen.Int(1, 7));
        CGeometryNeatenSet s = AllOptions(trial % 2);
        s.SetCurveDiscret(1, 1, trial % 3 == 0, 1);
        const int r = s.GeometryNeaten(&g);
        EXPECT_TRUE(trial % 2 ? r <= 0 : r >= 0) << trial;
        GM_Object again(g);
        AllOptions(1).GeometryNeaten(&again);
    }

    CGeometryNeatenSet s;
    EXPECT_EQ(s.GeometryNeaten(nullptr), 1);
    GM_Object empty;
    EXPECT_EQ(s.GeometryNeaten(&empty), 0);
    // Absurd options on a real object: nothing crashes and the answer is a plain mask.
    std::mt19937 rng(3);
    for (double eps : {-1.0, double(NAN), double(INFINITY), 0.0, 1e9}) {
        GM_Object g = RandomPolygon(rng);
        CGeometryNeatenSet x = AllOptions(0);
        x.SetEps(eps);
        x.SetDecimalNeaten(100000);
        x.SetXYHNeaten(1, 1, Box());  // an empty range clamps nothing
        x.SetCurveDiscret(1, 1, 1, 1);
        EXPECT_GE(x.GeometryNeaten(&g), 0);
    }
    // Everything removed: the object is empty afterwards and says so.
    GM_Object g;
    g.InsertPartsAt(keloParts(std::vector<Point3D>{{1, 1, 0}}, klLTPolyline), -1, 0);
    EXPECT_EQ(AllOptions(0).GeometryNeaten(&g), 8 | 4096);
    EXPECT_TRUE(g.isEmpty());
}

TEST(Neaten, ErrorTexts) {
    const struct {
        int code;
        const char* prior;
        const char* text;
        int result;
    } cases[] = {
        {0, "x", "无错误", 0},
        {-1, "", "奇异线型", 1},
        {-6, "", "有曲线或3点弧或弧中点不居中", 1},
        {-11, "", "环自交或面单刺", 1},
        {-12, "", "未知错误类型", 1},
        {3, "", "奇异线型\n面边界不闭合", 1},
        {2048 | 4096, "a", "a\n坐标区域处理, 精度对齐处理\n空几何体", 1},
        {64 | 8192, "", "空几何体\n未知错误类型", 1},
    };
    g_lastAbnormalPoint = {1, 2, 3};
    for (const auto& t : cases) {
        std::string text = ToGbk(t.prior);
        Point3D pos{};
        EXPECT_EQ(GetNeatenErrorInfo(t.code, text, pos), t.result);
        EXPECT_EQ(GbkToUtf8(text), t.text);
        if (t.result) {
            EXPECT_EQ(pos.y, 2);
        }
    }
}

}  // namespace
