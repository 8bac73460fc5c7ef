// The area overlay against GEOS on random pairs (generic crossings, lattice shapes with shared
// edges and vertices, nested, identical, holes, multi-polygons), and the documented cases whose
// shape GEOS does not pin down: fast-path results, split order, the refusal message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <tuple>

#include "companion/gbk.h"
#include "companion/ui.h"
#include "geometry/tolerance.h"
#include "overlay/boolean_overlay.h"
#include "support/geos_oracle.h"

using namespace kelo;
using kelo_test::GeosOracle;

namespace {

GM_Object Wkt(const std::string& text) {
    GM_Object g;
    EXPECT_EQ(WktToGeometry(text, g), 1) << text;
    return g;
}

struct Shapes {
    std::mt19937 rng;
    GeosOracle& geos;
    explicit Shapes(unsigned seed, GeosOracle& g) : rng(seed), geos(g) {}
    double Real(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }
    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

    std::string Ring(double cx, double cy, double r0, double r1, bool cw, int n) {
        std::string s = "(";
        std::string first;
        for (int i = 0; i < n; ++i) {
            const double a = 2 * M_PI * (i + Real(0.1, 0.9)) / n * (cw ? -1 : 1), r = Real(r0, r1);
            char buf[80];
            std::snprintf(buf, sizeof buf, "%.17g %.17g", cx + r * std::cos(a), cy + r * std::sin(a));
            if (i == 0) first = buf;
            s += buf;
            s += ", ";
        }
        return s + first + ")";
    }
    // A star around (cx, cy), with up to two holes near its middle.
    std::string Star(double cx, double cy, double r) {
        std::string s = "(" + Ring(cx, cy, 0.6 * r, r, false, Int(3, 14));
        const int holes = Int(0, 2);
        for (int h = 0; h < holes; ++h) {
            const double a = h * M_PI, d = holes > 1 ? 0.25 * r : 0;
            s += ", " + Ring(cx + d * std::cos(a), cy + d * std::sin(a), 0.05 * r, 0.2 * r, true, Int(3, 8));
        }
        return s + ")";
    }
    std::string Generic() {
        if (Int(0, 3) == 0)
            return "MULTIPOLYGON(" + Star(Real(-5, 5), Real(-5, 5), Real(1, 6)) + ", " + Star(Real(30, 40), Real(-5, 5), Real(1, 6)) + ")";
        return "POLYGON" + Star(Real(-5, 5), Real(-5, 5), Real(1, 8));
    }
    // A square lake with a 5 x 5 grid of holes (one of 80 vertices), and a multipolygon of a star
    // over the lake's edge, islands inside some holes and pieces over others: many holes to
    // look up, and separate pieces to place inside long face boundaries.
    std::pair<std::string, std::string> LakeAndIslands() {
        std::string lake = "POLYGON((0 0, 12 0, 12 12, 0 12, 0 0)";
        std::string other = "MULTIPOLYGON((" + Ring(12, Real(3, 9), 2, 3.5, false, 12) + ")";
        for (int i = 1; i <= 5; ++i)
            for (int j = 1; j <= 5; ++j) {
                const double cx = 2 * i, cy = 2 * j;
                lake += ", " + Ring(cx, cy, 0.5, 0.8, true, i == 2 && j == 2 ? 80 : Int(8, 14));
                if (i > 3) continue;  // the star may cover these
                const int what = i == 2 && j == 2 ? 0 : Int(0, 3);
                if (what == 0) other += ", (" + Ring(cx, cy, 0.1, 0.3, false, Int(3, 8)) + ")";
                if (what == 1) other += ", (" + Ring(cx + 0.7, cy, 0.2, 0.45, false, Int(3, 8)) + ")";
            }
        return {lake + ")", other + ")"};
    }
    // A square of side w at (x, y) with n points on each side: many segments on straight edges.
    static std::string Square(double x, double y, double w, int n) {
        std::string s = "(";
        char buf[80];
        for (int side = 0; side < 4; ++side)
            for (int i = 0; i < n; ++i) {
                const double t = w * i / n;
                const double px = side == 0 ? x + t : side == 1 ? x + w : side == 2 ? x + w - t : x;
                const double py = side == 0 ? y : side == 1 ? y + t : side == 2 ? y + w : y + w - t;
                std::snprintf(buf, sizeof buf, "%.17g %.17g, ", px, py);
                s += buf;
            }
        std::snprintf(buf, sizeof buf, "%.17g %.17g)", x, y);
        return s + buf;
    }
    // Operands of thousands of segments reaching well beyond each other's boxes, so that only
    // part of them is noded: holes across the cut, parts wholly outside it, edges shared along
    // it, and identical operands.
    std::pair<std::string, std::string> Large(int kind) {
        const int n = Int(1200, 2500);
        const double dx = Real(9, 13);
        switch (kind % 4) {
        case 0:
            return {"POLYGON(" + Ring(0, 0, 8, 10, false, n) + ", " + Ring(dx - 9, Real(-2, 2), 1, 2.5, true, 300) + ")",
                    "POLYGON(" + Ring(dx, 0, 8, 10, false, n) + ", " + Ring(dx - Real(5, 6), 0, 1, 1.8, true, 200) + ")"};
        case 1:
            return {"MULTIPOLYGON((" + Ring(0, 0, 8, 10, false, n) + "), (" + Ring(-40, 0, 3, 5, false, n) + "), (" + Ring(Real(3, 8), 30, 3, 5, false, 50) + "))",
                    "MULTIPOLYGON((" + Ring(dx, 0, 8, 10, false, n) + "), (" + Ring(dx + 40, 5, 3, 5, false, n) + "))"};
        case 2: return {"POLYGON(" + Square(0, 0, 10, n / 4) + ")", "POLYGON(" + Square(10, Real(-5, 5), 10, n / 4) + ")"};
        default: {
            const std::string a = "POLYGON(" + Ring(0, 0, 8, 10, false, n) + ")";
            return {a, a};
        }
        }
    }
    // The union of a few lattice rectangles: edges and corners shared with the other operand,
    // holes and separate pieces arise on their own.
    std::string Lattice() {
        GeosOracle::Ptr acc = geos.Own(nullptr);
        const int n = Int(1, 5);
        for (int i = 0; i < n; ++i) {
            const int x = Int(0, 8), y = Int(0, 8), w = Int(1, 4), h = Int(1, 4);
            char buf[200];
            std::snprintf(buf, sizeof buf, "POLYGON((%d %d, %d %d, %d %d, %d %d, %d %d))", x, y, x + w, y, x + w, y + h, x, y + h, x, y);
            GeosOracle::Ptr r = geos.FromWkt(buf);
            acc = acc ? geos.Own(GEOSUnion_r(geos.ctx(), acc.get(), r.get())) : std::move(r);
        }
        char* text = GEOSGeomToWKT_r(geos.ctx(), acc.get());
        std::string s = text;
        GEOSFree_r(geos.ctx(), text);
        return s;
    }
};

// GEOS's operation for our code.
GEOSGeometry* GeosOp(GeosOracle& g, const GEOSGeometry* a, const GEOSGeometry* b, uint32_t op) {
    switch (op) {
    case kBoolIntersection: return GEOSIntersection_r(g.ctx(), a, b);
    case kBoolUnion: return GEOSUnion_r(g.ctx(), a, b);
    case kBoolDifference: return GEOSDifference_r(g.ctx(), a, b);
    default: return GEOSSymDifference_r(g.ctx(), a, b);
    }
}

TEST(AreaOverlay, AgreesWithGeosOnRandomPairs) {
    GeosOracle geos;
    Shapes shapes(20261206, geos);
    std::map<std::string, int> failures;
    int cases = 0, agreed = 0;
    const char* kinds[] = {"generic", "lattice", "nested", "identical", "touching", "lake", "large"};
    Shapes lakes(7, geos);
    for (int trial = 0; trial < 856; ++trial) {
        const int kind = trial < 800 ? trial % 5 : trial < 840 ? 5 : 6;
        std::string ta, tb;
        switch (kind) {
        case 5: std::tie(ta, tb) = lakes.LakeAndIslands(); break;
        case 6: std::tie(ta, tb) = lakes.Large(trial); break;
        case 0: ta = shapes.Generic(), tb = shapes.Generic(); break;
        case 1: ta = shapes.Lattice(), tb = shapes.Lattice(); break;
        case 2: {
            const double r = shapes.Real(2, 8);
            ta = "POLYGON" + shapes.Star(0, 0, r);
            tb = "POLYGON(" + shapes.Ring(0, 0, 0.3 * r, 0.55 * r, false, shapes.Int(3, 9)) + ")";
            if (trial % 2) std::swap(ta, tb);
            break;
        }
        case 3: ta = tb = shapes.Generic(); break;
        default: ta = shapes.Lattice(), tb = "POLYGON((9 0, 13 0, 13 9, 9 9, 9 0))"; break;
        }
        GM_Object a = Wkt(ta), b = Wkt(tb);
        GeosOracle::Ptr ga = geos.From(a), gb = geos.From(b);
        ASSERT_TRUE(ga && gb);
        if (!geos.Invalidity(ga.get()).empty() || !geos.Invalidity(gb.get()).empty()) continue;  // only valid pairs compare
        const double scale = geos.Area(ga.get()) + geos.Area(gb.get());
        const double length = geos.Length(ga.get()) + geos.Length(gb.get());
        for (uint32_t op = 0; op < 4; ++op) {
            ++cases;
            GM_Object ours;
            ASSERT_EQ(BoolOp2DGeometry(&a, &b, op, ours), 1);
            GeosOracle::Ptr want = geos.Own(GeosOp(geos, ga.get(), gb.get(), op));
            ASSERT_TRUE(want);
            const double wantArea = geos.Area(want.get());
            GeosOracle::Ptr got = ours.GetPolygonCount() ? geos.From(ours) : geos.FromWkt("POLYGON EMPTY");
            ASSERT_TRUE(got);
            const double gotArea = geos.Area(got.get());
            const double xorArea = geos.XorArea(got.get(), want.get());
            std::string why;
            if (std::abs(gotArea - wantArea) > 1e-9 * scale) why = "area";
            else if (xorArea > g_epsZero * length) why = "shape";
            else if (!geos.Invalidity(got.get()).empty()) why = "invalid result: " + geos.Invalidity(got.get()).substr(0, 20);
            if (why.empty()) {
                ++agreed;
                continue;
            }
            const std::string cls = std::string(kinds[kind]) + " op " + std::to_string(op) + " " + why;
            if (failures[cls]++ == 0)
                ADD_FAILURE() << cls << "\nA " << ta << "\nB " << tb << "\nours " << gotArea << " geos " << wantArea << " xor " << xorArea;
        }
    }
    std::printf("area overlay: %d of %d cases agree with GEOS\n", agreed, cases);
    for (const auto& [cls, n] : failures) std::printf("  %s: %d\n", cls.c_str(), n);
    EXPECT_GT(cases, 2500);
}

}  // namespace

namespace {

struct Case {
    const char* a;
    const char* b;
    uint32_t op;
    const char* want;  // WKT of the expected result, "EMPTY" for none
    int polygons, rings;
};

// Shapes GEOS would accept in several forms: the exact polygons and rings matter here.
TEST(AreaOverlay, DocumentedShapes) {
    const char* sq = "POLYGON((0 0, 4 0, 4 4, 0 4, 0 0))";
    const Case cases[] = {
        {sq, "POLYGON((10 0, 12 0, 12 2, 10 2, 10 0))", kBoolUnion, "MULTIPOLYGON(((0 0, 4 0, 4 4, 0 4, 0 0)), ((10 0, 12 0, 12 2, 10 2, 10 0)))", 2, 2},
        {sq, "POLYGON((10 0, 12 0, 12 2, 10 2, 10 0))", kBoolIntersection, "EMPTY", 0, 0},
        {sq, "POLYGON((1 1, 2 1, 2 2, 1 2, 1 1))", kBoolDifference, "POLYGON((0 0, 4 0, 4 4, 0 4, 0 0), (1 1, 1 2, 2 2, 2 1, 1 1))", 1, 2},
        {"POLYGON((1 1, 2 1, 2 2, 1 2, 1 1))", sq, kBoolDifference, "EMPTY", 0, 0},
        {sq, "POLYGON((1 1, 2 1, 2 2, 1 2, 1 1))", kBoolSymDifference, "POLYGON((0 0, 4 0, 4 4, 0 4, 0 0), (1 1, 1 2, 2 2, 2 1, 1 1))", 1, 2},
        {sq, "POLYGON((4 0, 8 0, 8 4, 4 4, 4 0))", kBoolUnion, "POLYGON((0 0, 8 0, 8 4, 0 4, 0 0))", 1, 1},
        {sq, sq, kBoolSymDifference, "EMPTY", 0, 0},
        {sq, "POLYGON((2 0, 6 0, 6 4, 2 4, 2 0))", kBoolFineIntersection, "POLYGON((2 0, 4 0, 4 4, 2 4, 2 0))", 1, 1},
        {sq, "POLYGON((2 0, 6 0, 6 4, 2 4, 2 0))", kBoolFineDifference, "POLYGON((0 0, 2 0, 2 4, 0 4, 0 0))", 1, 1},
        // Two pieces of the union touching in a point stay apart; the C-shape's hole touches it.
        {"POLYGON((0 0, 3 0, 3 1, 1 1, 1 2, 3 2, 3 3, 0 3, 0 0))", "POLYGON((3 0, 4 0, 4 3, 3 3, 3 2, 2 1.5, 3 1, 3 0))", kBoolUnion,
         "POLYGON((0 0, 4 0, 4 3, 0 3, 0 0), (1 1, 1 2, 3 2, 2 1.5, 3 1, 1 1))", 1, 2},
    };
    GeosOracle geos;
    for (const Case& c : cases) {
        GM_Object a = Wkt(c.a), b = Wkt(c.b), out;
        ASSERT_EQ(BoolOp2DGeometry(&a, &b, c.op, out), 1);
        EXPECT_EQ(out.GetPolygonCount(), c.polygons) << c.a << " op " << c.op;
        EXPECT_EQ(out.GetPartsCount(), c.rings) << c.a << " op " << c.op;
        if (c.polygons == 0) continue;
        GeosOracle::Ptr got = geos.From(out), want = geos.FromWkt(c.want);
        EXPECT_LT(geos.XorArea(got.get(), want.get()), 1e-12) << c.a << " op " << c.op;
        EXPECT_EQ(geos.Invalidity(got.get()), "");
    }
}

TEST(AreaOverlay, SplitOrderAndRecordLevelRefusal) {
    GM_Object a = Wkt("POLYGON((0 0, 4 0, 4 4, 0 4, 0 0))"), b = Wkt("POLYGON((2 0, 6 0, 6 4, 2 4, 2 0))");
    std::vector<GM_Object> parts;
    ASSERT_EQ(BoolOp2DObjects(&a, &b, kBoolSplit, parts), 1);
    ASSERT_EQ(parts.size(), 3u);
    const double minx[] = {2, 0, 4};
    for (int i = 0; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(parts[static_cast<size_t>(i)].GetArea(), 8.0);
        EXPECT_DOUBLE_EQ(parts[static_cast<size_t>(i)].mbRegion().minx, minx[i]);
    }

    std::vector<std::string> seen;
    KeloUiHandler capture;
    capture.user = &seen;
    capture.messageBox = [](void* user, const char* text, uint32_t) {
        static_cast<std::vector<std::string>*>(user)->push_back(text);
        return kIdOk;
    };
    KeloUiHandler previous = SetKeloUiHandler(&capture);
    GM_Object line = Wkt("LINESTRING(0 0, 5 5)");
    std::vector<WKBGeometry*> out;
    EXPECT_EQ(a.setUnion(&line, out), 0);
    EXPECT_TRUE(out.empty());
    ASSERT_EQ(a.setDifference(&b, out), 1);
    SetKeloUiHandler(&previous);
    EXPECT_EQ(seen, std::vector<std::string>{KELO_GBK("仅支持面与面的布尔操作\n线与线、与边界的布尔操作可使用线布尔")});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0]->type, wkbPolygon);
    EXPECT_DOUBLE_EQ(AreaOfWKBGeometry(*out[0]), 8.0);
    for (WKBGeometry* g : out) FreeWKBGeometry(g);
}

// Many small overlapping polygons against GEOS's unary union, and the progress the merge reports.
TEST(MergePolygons, AgreesWithGeosUnaryUnionAndReportsProgress) {
    GeosOracle geos;
    Shapes shapes(7, geos);
    std::vector<GM_Object> objects;
    std::vector<GEOSGeometry*> parts;
    for (int i = 0; i < 400; ++i) {
        const double x = shapes.Real(0, 100), y = shapes.Real(0, 100);
        objects.push_back(Wkt(i % 3 ? "POLYGON(" + shapes.Ring(x, y, 1, 4, false, shapes.Int(3, 9)) + ")"
                                    : "POLYGON((" + std::to_string(int(x)) + " " + std::to_string(int(y)) + ", " + std::to_string(int(x) + 3) + " " +
                                          std::to_string(int(y)) + ", " + std::to_string(int(x) + 3) + " " + std::to_string(int(y) + 3) + ", " +
                                          std::to_string(int(x)) + " " + std::to_string(int(y) + 3) + ", " + std::to_string(int(x)) + " " +
                                          std::to_string(int(y)) + "))"));
        parts.push_back(geos.From(objects.back()).release());
    }
    std::vector<GM_Object*> list;
    for (GM_Object& g : objects) list.push_back(&g);

    struct Seen {
        std::string caption;
        std::vector<int> remaining;
        int closed = 0;
    } seen;
    KeloUiHandler capture;
    capture.user = &seen;
    capture.waitOpen = [](void* u, const char* c) { static_cast<Seen*>(u)->caption = c; };
    capture.waitUpdate = [](void* u, const char* text, int percent) {
        EXPECT_EQ(std::string(text), KELO_GBK("预计剩余百分比："));
        static_cast<Seen*>(u)->remaining.push_back(percent);
    };
    capture.waitClose = [](void* u) { ++static_cast<Seen*>(u)->closed; };
    KeloUiHandler previous = SetKeloUiHandler(&capture);
    GM_Object merged;
    EXPECT_EQ(mergePolygons(list, merged), 1);
    SetKeloUiHandler(&previous);
    EXPECT_EQ(mergePolygons({}, merged), 0);

    GeosOracle::Ptr all = geos.Own(GEOSGeom_createCollection_r(geos.ctx(), GEOS_MULTIPOLYGON, parts.data(), static_cast<unsigned>(parts.size())));
    GeosOracle::Ptr want = geos.Own(GEOSUnaryUnion_r(geos.ctx(), all.get()));
    GeosOracle::Ptr got = geos.From(merged);
    EXPECT_NEAR(geos.Area(got.get()), geos.Area(want.get()), 1e-9 * geos.Area(want.get()));
    EXPECT_LT(geos.XorArea(got.get(), want.get()), 1e-6);
    EXPECT_EQ(geos.Invalidity(got.get()), "");
    EXPECT_EQ(seen.caption, KELO_GBK("合并多边形"));
    EXPECT_EQ(seen.closed, 1);
    ASSERT_FALSE(seen.remaining.empty());
    EXPECT_TRUE(std::is_sorted(seen.remaining.rbegin(), seen.remaining.rend()));
    EXPECT_LE(seen.remaining.back(), 20);  // the whole tree adds up to nearly 5
}

}  // namespace

namespace {

double Length(const GM_Object& g) { return g.GetPerimeter(); }

TEST(LineOverlay, StretchesAgreeWithGeosAndFoldsStopEarly) {
    GeosOracle geos;
    // Collinear overlaps, a crossing line kept whole, an arc along the same circle.
    const char* a = "MULTILINESTRING((0 0, 10 0), (0 5, 10 5))";
    const char* b = "MULTILINESTRING((4 0, 14 0), (5 -5, 5 10))";
    const struct {
        uint32_t op;
        double length;
    } cases[] = {{kBoolIntersection, 6}, {kBoolUnion, 14 + 10 + 15}, {kBoolDifference, 4 + 10}, {kBoolSymDifference, 4 + 10 + 4 + 15}};
    GM_Object ga = Wkt(a), gb = Wkt(b);
    for (const auto& c : cases) {
        GM_Object out;
        ASSERT_EQ(BoolOp1DGeometry(&ga, &gb, c.op, 1e-6, out), 1);
        EXPECT_NEAR(Length(out), c.length, 1e-9) << "op " << c.op;
    }
    GM_Object common;
    BoolOp1DGeometry(&ga, &gb, kBoolIntersection, 1e-6, common);
    GeosOracle::Ptr shared = geos.From(common), want = geos.FromWkt("LINESTRING(4 0, 10 0)");
    EXPECT_EQ(GEOSEqualsExact_r(geos.ctx(), shared.get(), want.get(), 1e-9) || GEOSEquals_r(geos.ctx(), shared.get(), want.get()), 1);

    // Folds: the second object is disjoint from the first, so the intersection stops there
    // empty and the third object is never reached.
    GM_Object s1 = Wkt("POLYGON((0 0, 4 0, 4 4, 0 4, 0 0))"), s2 = Wkt("POLYGON((10 10, 12 10, 12 12, 10 12, 10 10))"),
              s3 = Wkt("POLYGON((0 0, 4 0, 4 4, 0 4, 0 0))");
    GM_Object out = Wkt("POINT(1 1)");
    EXPECT_EQ(DoObjectsBoolOp(1, &s1, {&s2, &s3}, kBoolIntersection, out, 1e-6), 0);
    EXPECT_TRUE(out.isEmpty());
    GM_Object s4 = Wkt("POLYGON((2 2, 6 2, 6 6, 2 6, 2 2))");
    EXPECT_EQ(DoObjectsBoolOp(1, &s1, {&s4, &s3}, kBoolUnion, out, 1e-6), 1);
    EXPECT_DOUBLE_EQ(out.GetArea(), 28.0);
    EXPECT_EQ(DoObjectsBoolOp(0, &ga, {&gb}, kBoolDifference, out, 1e-6), 1);
    EXPECT_NEAR(Length(out), 14, 1e-9);

    // Overlap of lines without anything in common hands back copies of both.
    std::vector<GM_Object*> three;
    GM_Object far = Wkt("LINESTRING(100 100, 110 100)");
    ASSERT_EQ(DoObjectsOverlap(0, &ga, &far, three, 1e-6), 1);
    ASSERT_EQ(three.size(), 3u);
    EXPECT_TRUE(three[0]->isEmpty());
    EXPECT_NEAR(Length(*three[1]), 20, 1e-12);
    EXPECT_NEAR(Length(*three[2]), 10, 1e-12);
    ASSERT_EQ(DoObjectsOverlap(1, &s1, &s4, three, 1e-6), 1);
    ASSERT_EQ(three.size(), 6u);
    EXPECT_DOUBLE_EQ(three[3]->GetArea(), 4.0);
    EXPECT_DOUBLE_EQ(three[4]->GetArea(), 12.0);
    for (GM_Object* g : three) delete g;
}

TEST(Trimming, AreasLinesAndPointsGoInsideThenOutside) {
    const GM_Object knifeArea = Wkt("POLYGON((0 0, 4 0, 4 4, 0 4, 0 0))");
    const GM_Object subject = Wkt("GEOMETRYCOLLECTION(POLYGON((2 1, 6 1, 6 3, 2 3, 2 1)), LINESTRING(-2 2, 8 2), POINT(1 1), POINT(9 9))");
    std::vector<GM_Object*> out;
    ASSERT_EQ(subject.TrimmingByPolygon(knifeArea, out), 2);
    EXPECT_DOUBLE_EQ(out[0]->GetArea(), 4.0);
    EXPECT_DOUBLE_EQ(out[1]->GetArea(), 4.0);
    // Perimeters hold the rings too: inside the 2 x 2 square's 8 plus 4 of line; outside 8 + 6.
    EXPECT_NEAR(out[0]->GetPerimeter(), 12, 1e-9);
    EXPECT_NEAR(out[1]->GetPerimeter(), 14, 1e-9);
    EXPECT_EQ(out[0]->GetPointCount(), 1);
    EXPECT_EQ(out[1]->GetPointCount(), 1);
    for (GM_Object* g : out) delete g;
    out.clear();

    // A line knife cuts a square into two faces and a line into three pieces.
    const GM_Object knife = Wkt("LINESTRING(2 -1, 2 5)");
    ASSERT_EQ(knifeArea.TrimmingByObject(knife, out), 2);
    EXPECT_DOUBLE_EQ(out[0]->GetArea() + out[1]->GetArea(), 16.0);
    EXPECT_DOUBLE_EQ(out[0]->GetArea(), 8.0);
    for (GM_Object* g : out) delete g;
    out.clear();
    const GM_Object road = Wkt("LINESTRING(0 0, 6 0)"), cross = Wkt("MULTILINESTRING((1 -1, 1 1), (3 -1, 3 1))");
    ASSERT_EQ(road.TrimmingByObject(cross, out), 3);
    for (GM_Object* g : out) {
        EXPECT_EQ(g->GetType(), wkbLineString);
        delete g;
    }
}

// Curved rings stay curved: the union of two discs made of three-point arcs has the lens-corrected
// area of the analytic formula, and its boundary is arcs, not chords.
TEST(AreaOverlay, ArcRingsGiveAnalyticAreasAndStayArcs) {
    const double lens = 2 * std::acos(0.5) - 0.5 * std::sqrt(3.0);  // two unit circles one radius apart
    const struct {
        const char *a, *b;
        double areas[4];  // intersection, union, difference, symmetric difference
    } pairs[] = {
        {"CURVEPOLYGON(CIRCULARSTRING(-1 0, 1 0, -1 0))", "CURVEPOLYGON(CIRCULARSTRING(0 0, 2 0, 0 0))",
         {lens, 2 * M_PI - lens, M_PI - lens, 2 * M_PI - 2 * lens}},
        // The circle touches the rectangle's long sides where they end: arc and sides leave the
        // corners in one direction, and only their bending tells the faces apart.
        {"POLYGON((0 -1, 10 -1, 10 1, 0 1, 0 -1))", "CURVEPOLYGON(CIRCULARSTRING(1 0, 0 1, -1 0, 0 -1, 1 0))",
         {M_PI / 2, 20 + M_PI / 2, 20 - M_PI / 2, 20}},
    };
    const uint32_t ops[] = {kBoolIntersection, kBoolUnion, kBoolDifference, kBoolSymDifference};
    for (const auto& p : pairs) {
        GM_Object a = Wkt(p.a), b = Wkt(p.b);
        for (int k = 0; k < 4; ++k) {
            GM_Object out;
            ASSERT_EQ(BoolOp2DGeometry(&a, &b, ops[k], out), 1);
            EXPECT_NEAR(out.GetArea(), p.areas[k], 1e-6) << p.b << " op " << ops[k];
            EXPECT_TRUE(out.bWithCurve()) << p.b << " op " << ops[k];
        }
    }
}

}  // namespace

namespace {

// Bad operands: each must give a result or a refusal, without a crash, hang or leak; where the
// answer is clear it is checked.
TEST(AreaOverlay, BadOperandsGiveAResultOrARefusal) {
    const struct {
        const char *a, *b;
        double unionArea;  // < 0: not checked
    } cases[] = {
        {"POLYGON((0 0, 4 4, 4 0, 0 4, 0 0))", "POLYGON((1 -1, 3 -1, 3 5, 1 5, 1 -1))", -1},                 // bow tie
        {"POLYGON((0 0, 4 0, 4 4, 2 4, 2 9, 2 4, 0 4, 0 0))", "POLYGON((3 3, 6 3, 6 6, 3 6, 3 3))", 16 + 9 - 1},  // spike
        {"POLYGON((0 0, 4 0, 8 0, 0 0))", "POLYGON((0 0, 4 0, 4 4, 0 4, 0 0))", 16},                          // no area
        {"POLYGON((0 0, 4 0, 4 4, 0 4, 0 0), (1 1, 2 1, 1 1))", "POLYGON((3 3, 6 3, 6 6, 3 6, 3 3))", 16 + 9 - 1},
        {"POLYGON((1e15 1e15, 1.000000000000004e15 1e15, 1.000000000000004e15 1.000000000000004e15, 1e15 1.000000000000004e15, 1e15 1e15))",
         "POLYGON((1.000000000000002e15 1e15, 1.000000000000006e15 1e15, 1.000000000000006e15 1.000000000000004e15, 1.000000000000002e15 1.000000000000004e15, 1.000000000000002e15 1e15))",
         -1},
        {"POLYGON((1e7 1e7, 1.0000004e7 1e7, 1.0000004e7 1.0000004e7, 1e7 1.0000004e7, 1e7 1e7))",
         "POLYGON((1.0000002e7 1e7, 1.0000006e7 1e7, 1.0000006e7 1.0000004e7, 1.0000002e7 1.0000004e7, 1.0000002e7 1e7))", 24},
        {"POLYGON EMPTY", "POLYGON((0 0, 1 0, 1 1, 0 0))", -1},
        {"MULTIPOLYGON(((0 0, 4 0, 4 4, 0 4, 0 0)), ((2 2, 6 2, 6 6, 2 6, 2 2)))", "POLYGON((3 3, 9 3, 9 9, 3 9, 3 3))", 16 + 16 - 4 + 36 - 9},
    };
    for (const auto& c : cases) {
        GM_Object a, b;
        WktToGeometry(c.a, a);
        WktToGeometry(c.b, b);
        for (uint32_t op : {0u, 1u, 2u, 3u, 9u, 10u, 12u}) {
            std::vector<GM_Object> out;
            const int ok = BoolOp2DObjects(&a, &b, op, out);
            EXPECT_EQ(ok, a.isEmpty() || b.isEmpty() ? 0 : 1) << c.a;
            if (op == kBoolUnion && c.unionArea >= 0 && ok) {
                EXPECT_NEAR(out[0].GetArea(), c.unionArea, 1e-6) << c.a;
            }
        }
    }
    GM_Object empty, sq = Wkt("POLYGON((0 0, 1 0, 1 1, 0 1, 0 0))"), out;
    EXPECT_EQ(BoolOp2DGeometry(&empty, &sq, kBoolUnion, out), 0);
    EXPECT_EQ(BoolOp2DGeometry(&sq, &sq, 5, out), 0);
}

}  // namespace
