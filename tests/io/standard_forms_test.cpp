// WKT and WKB: exact round trips of every kind the library holds, the standard kind each record is
// written as, and readers that refuse damaged input with the place of the fault.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "geometry/geometry_object.h"
#include "geometry/records.h"
#include "io/standard_forms.h"
#include "support/random_records.h"

using namespace kelo;

namespace {

std::vector<uint8_t> Encoded(const WKBGeometry& g) {
    std::vector<uint8_t> b(CalWkbGeomSize(&g));
    if (!b.empty()) WkbGeom2Binary(b.data(), &g);
    return b;
}

// Only what the standard forms can say exactly: straight runs and odd arc chains, rings of at
// least one run, every z either known or the unknown marker.
struct StandardRecord {
    std::mt19937 rng;
    bool flat = false;
    static constexpr int kMinRingParts = 1;
    explicit StandardRecord(unsigned seed) : rng(seed) {}

    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    double Real() { return std::uniform_real_distribution<double>(-1e6, 1e6)(rng) * std::pow(10.0, Int(-8, 3)); }
    Point3D Pt() { return {Real(), Real(), flat ? kUnknownZ : Real()}; }
    void Part(CurveSegment& s) {
        bool arc = Int(0, 1);
        s.lineType = arc ? klLT3PArc : klLTPolyline;
        s.pointCount = static_cast<uint32_t>(arc ? 2 * Int(1, 3) + 1 : Int(2, 6));
        s.points = new Point3D[s.pointCount];
        for (uint32_t i = 0; i < s.pointCount; ++i) s.points[i] = Pt();
    }
};
using Gen = test::RandomRecords<StandardRecord>;

struct Flavour {
    const char* name;
    StandardWriteOptions options;
};

TEST(StandardForms, RandomRecordsRoundTripExactlyThroughTextAndEveryBinaryFlavour) {
    const Flavour flavours[] = {
        {"iso little", {}},
        {"iso big", {0, klWkbIso, true, false, 0}},
        {"extended srid big", {0, klWkbExtended, true, true, 4326}},
        {"extended little", {0, klWkbExtended, false, false, 0}},
    };
    Gen gen(7);
    for (int round = 0; round < 1500; ++round) {
        gen.flat = round % 3 == 0;
        WKBGeometry rec;
        gen.Geometry(rec, gen.Int(0, 8));
        const std::vector<uint8_t> want = Encoded(rec);
        SCOPED_TRACE("round " + std::to_string(round) + " type " + std::to_string(rec.type));

        std::string text;
        StandardFormInfo wrote;
        ASSERT_EQ(GeometryToWkt(rec, text, {}, &wrote), 1);
        EXPECT_FALSE(wrote.discretised);
        GM_Object back;
        StandardFormInfo read;
        ASSERT_EQ(WktToGeometry(text, back, &read), 1) << read.error << "\n" << text;
        EXPECT_EQ(back.type, rec.type) << text;
        EXPECT_EQ(Encoded(back), want) << text;
        EXPECT_EQ(read.hasZ, wrote.hasZ);

        for (const Flavour& f : flavours) {
            std::vector<uint8_t> wkb;
            ASSERT_EQ(GeometryToWkb(rec, wkb, f.options), 1);
            GM_Object b;
            ASSERT_EQ(WkbToGeometry(wkb.data(), wkb.size(), b, &read), 1) << f.name << ": " << read.error;
            EXPECT_EQ(b.type, rec.type) << f.name;
            EXPECT_EQ(Encoded(b), want) << f.name;
            EXPECT_EQ(read.hasSrid, f.options.withSrid) << f.name;
            if (f.options.withSrid) {
                EXPECT_EQ(read.srid, 4326);
            }
        }
        DeleteWKBGeometry(&rec);
    }
}

// Hand-made records keep their ownership simple: the object adopts what the helpers allocate.
CurveSegment Seg(klLineType t, std::vector<Point3D> pts) {
    CurveSegment s{t, static_cast<uint32_t>(pts.size()), new Point3D[pts.size()]};
    std::copy(pts.begin(), pts.end(), s.points);
    return s;
}
LineString Line(std::vector<CurveSegment> runs) {
    LineString l{static_cast<uint32_t>(runs.size()), new CurveSegment[runs.size()]};
    std::copy(runs.begin(), runs.end(), l.parts);
    return l;
}
WKBPolygon Poly(std::vector<LineString> rings) {
    WKBPolygon p{static_cast<int32_t>(rings.size()), new LineString[rings.size()]};
    std::copy(rings.begin(), rings.end(), p.rings);
    return p;
}
std::string Wkt(WKBGeometry&& rec, StandardFormInfo* info = nullptr) {
    std::string text;
    GeometryToWkt(rec, text, {}, info);
    DeleteWKBGeometry(&rec);
    return text;
}
WKBGeometry LineRec(LineString l) {
    WKBGeometry g;
    g.type = wkbLineString;
    g.line = l;
    return g;
}
WKBGeometry PolyRec(WKBPolygon p) {
    WKBGeometry g;
    g.type = wkbPolygon;
    g.polygon = p;
    return g;
}
constexpr double U = kUnknownZ;

TEST(StandardForms, EachRecordIsWrittenAsItsStandardKind) {
    EXPECT_EQ(Wkt(LineRec(Line({Seg(klLTPolyline, {{0, 0, U}, {1.5, -2, U}})}))), "LINESTRING (0 0, 1.5 -2)");
    EXPECT_EQ(Wkt(LineRec(Line({Seg(klLT3PArc, {{0, 0, U}, {1, 1, U}, {2, 0, U}})}))),
              "CIRCULARSTRING (0 0, 1 1, 2 0)");
    EXPECT_EQ(Wkt(LineRec(Line({Seg(klLTPolyline, {{0, 0, 5}, {1, 0, 5}}), Seg(klLT3PArc, {{1, 0, 5}, {2, 1, 5}, {3, 0, 5}})}))),
              "COMPOUNDCURVE Z ((0 0 5, 1 0 5), CIRCULARSTRING (1 0 5, 2 1 5, 3 0 5))");
    // An area with an arc in its hole is a curve polygon whose straight outer ring stays a bare list.
    EXPECT_EQ(Wkt(PolyRec(Poly({Line({Seg(klLTPolyline, {{0, 0, U}, {0, 9, U}, {9, 9, U}, {9, 0, U}, {0, 0, U}})}),
                                Line({Seg(klLT3PArc, {{3, 4, U}, {5, 6, U}, {7, 4, U}, {5, 2, U}, {3, 4, U}})})}))),
              "CURVEPOLYGON ((0 0, 0 9, 9 9, 9 0, 0 0), CIRCULARSTRING (3 4, 5 6, 7 4, 5 2, 3 4))");
    // A three-point circle has no standard form of its own: it goes out as a closed arc chain.
    std::string circle = Wkt(LineRec(Line({Seg(klLT3PCircle, {{-1, 0, U}, {0, 1, U}, {1, 0, U}})})));
    GM_Object back;
    ASSERT_EQ(WktToGeometry(circle, back), 1) << circle;
    ASSERT_EQ(back.line.parts[0].lineType, klLT3PArc);
    ASSERT_EQ(back.line.parts[0].pointCount, 5u);
    EXPECT_NEAR(back.GetPerimeter(), 2 * M_PI, 1e-9);

    // Kinds with no standard form are written as chords, and the writer says so.
    StandardFormInfo info;
    std::string bezier = Wkt(LineRec(Line({Seg(klLTBezier, {{0, 0, U}, {1, 2, U}, {3, 2, U}, {4, 0, U}})})), &info);
    EXPECT_TRUE(info.discretised);
    EXPECT_EQ(bezier.rfind("LINESTRING (0 0, ", 0), 0u) << bezier;
    EXPECT_NE(bezier.find(", 4 0)"), std::string::npos) << bezier;

    // NaN would come out as text no reader takes back.
    GM_Object bad;
    bad.Create(Point3D{1, std::nan(""), 0});
    std::vector<uint8_t> wkb;
    EXPECT_EQ(GeometryToWkb(bad, wkb, {}, &info), 0);
    EXPECT_EQ(info.error, "a coordinate is not a finite number");

    WKBGeometry grid;
    grid.type = wkbGrid;
    grid.grid = {0, 0, nullptr, nullptr};
    std::string text = "x";
    EXPECT_EQ(GeometryToWkt(grid, text, {}, &info), 0);
    EXPECT_TRUE(text.empty());
    EXPECT_NE(info.error.find("grid"), std::string::npos);
}

TEST(StandardForms, ReaderAcceptsTheCommonSpellings) {
    struct Case {
        const char* text;
        const char* written;  // how it comes back
    } cases[] = {
        {"point(1 2)", "POINT (1 2)"},
        {"  POINTZ (1 2 3) ", "POINT Z (1 2 3)"},
        {"POINT (1 2 3)", "POINT Z (1 2 3)"},
        {"POINT M (1 2 9)", "POINT (1 2)"},
        {"POINT ZM (1 2 3 9)", "POINT Z (1 2 3)"},
        {"SRID=4326;POINT(+1e2 -2.5E-1)", "POINT (100 -0.25)"},
        {"MULTIPOINT (1 2, 3 4)", "MULTIPOINT ((1 2), (3 4))"},
        {"MULTIPOINT ((1 2), 3 4)", "MULTIPOINT ((1 2), (3 4))"},
        {"MULTICURVE ((0 0, 1 1), CIRCULARSTRING (0 0, 1 1, 2 0))",
         "MULTICURVE ((0 0, 1 1), CIRCULARSTRING (0 0, 1 1, 2 0))"},
        {"MULTICURVE ((0 0, 1 1))", "MULTILINESTRING ((0 0, 1 1))"},
        {"MULTISURFACE (((0 0, 1 0, 0 1, 0 0)), CURVEPOLYGON (CIRCULARSTRING (0 0, 1 1, 0 0)))",
         "MULTISURFACE (((0 0, 1 0, 0 1, 0 0)), CURVEPOLYGON (CIRCULARSTRING (0 0, 1 1, 0 0)))"},
        {"MULTISURFACE (POLYGON ((0 0, 1 0, 0 1, 0 0)))", "MULTIPOLYGON (((0 0, 1 0, 0 1, 0 0)))"},
        {"CURVEPOLYGON (COMPOUNDCURVE (CIRCULARSTRING (0 0, 1 1, 2 0), (2 0, 0 0)))",
         "CURVEPOLYGON (COMPOUNDCURVE (CIRCULARSTRING (0 0, 1 1, 2 0), (2 0, 0 0)))"},
        {"TRIANGLE ((0 0, 1 0, 0 1, 0 0))", "POLYGON ((0 0, 1 0, 0 1, 0 0))"},
        {"TIN Z (((0 0 1, 1 0 1, 0 1 1, 0 0 1)))", "TIN Z (((0 0 1, 1 0 1, 0 1 1, 0 0 1)))"},
        {"GEOMETRYCOLLECTION (POINT (1 2), LINESTRING EMPTY)", "GEOMETRYCOLLECTION (POINT (1 2), LINESTRING EMPTY)"},
        {"POINT EMPTY", "POINT EMPTY"},
        {"CIRCULARSTRING EMPTY", "LINESTRING EMPTY"},
        {"CURVEPOLYGON EMPTY", "POLYGON EMPTY"},
        {"MULTISURFACE EMPTY", "MULTIPOLYGON EMPTY"},
        {"GEOMETRYCOLLECTION EMPTY", "GEOMETRYCOLLECTION EMPTY"},
    };
    for (const Case& c : cases) {
        GM_Object g;
        StandardFormInfo info;
        ASSERT_EQ(WktToGeometry(c.text, g, &info), 1) << c.text << ": " << info.error;
        std::string out;
        ASSERT_EQ(GeometryToWkt(g, out), 1);
        EXPECT_EQ(out, c.written) << c.text;
    }
    StandardFormInfo info;
    GM_Object g;
    ASSERT_EQ(WktToGeometry("SRID=31467;POINT ZM (1 2 3 4)", g, &info), 1);
    EXPECT_TRUE(info.hasSrid && info.hasZ && info.measuresDropped);
    EXPECT_EQ(info.srid, 31467);
}

TEST(StandardForms, SeveralGeometriesReadOneAfterAnother) {
    const std::string text = "POINT (1 2)\nLINESTRING (0 0, 1 1);  POLYGON EMPTY\n\n";
    size_t pos = 0;
    GM_Object g;
    std::vector<int> types;
    while (WktNextGeometry(text, pos, g)) types.push_back(g.type);
    EXPECT_EQ(types, (std::vector<int>{wkbPoint, wkbLineString, wkbPolygon}));
    StandardFormInfo info;
    pos = 0;
    const std::string bad = "POINT (1 2) POINT (1 x)";
    ASSERT_EQ(WktNextGeometry(bad, pos, g, &info), 1);
    EXPECT_EQ(WktNextGeometry(bad, pos, g, &info), 0);
    EXPECT_EQ(info.errorOffset, 21u) << info.error;
}

TEST(StandardForms, BadTextIsRefusedWithThePlaceOfTheFault) {
    std::string deep(1000, '(');
    struct Case {
        std::string text;
        std::string error;
    } cases[] = {
        {"POLYGON ((0 0, 1 0, 0 1, 0 0)", "expected ')' at 29"},
        {"POLYGON ((0 0, 1 0, 0 1, 0 0))) ", "unexpected text after the geometry at 30"},
        {"POLYGOM ((0 0))", "unknown geometry type 'POLYGOM' at 0"},
        {"POINT (1 nan)", "expected a finite number at 9"},
        {"POINT (1 NaN)", "expected a finite number at 9"},
        {"POINT (1 inf)", "expected a finite number at 9"},
        {"POINT (1 2abc)", "unexpected 'a' after a number at 10"},
        {"POINT (1.5.5 2)", "unexpected '.' after a number at 10"},
        {"POINT (1 1e999)", "number out of range at 9"},
        {"POINT (1)", "expected at least two coordinates at 7"},
        {"POINT Z (1 2)", "expected 3 coordinates at 9"},
        {"LINESTRING (1 2, 3 4 5)", "expected 2 coordinates at 17"},
        {"POINT (1 2 3 4 5)", "more than four coordinates at 15"},
        {"CIRCULARSTRING (0 0, 1 1)", "a circular string needs an odd number of points, at least 3 at 15"},
        {"GEOMETRYCOLLECTION (GEOMETRYCOLLECTION EMPTY)", "a collection inside a collection cannot be held at 20"},
        {"MULTIPOINT (EMPTY, 1 2)", "an empty point cannot be held in a multipoint at 12"},
        {"POLYHEDRALSURFACE EMPTY", "POLYHEDRALSURFACE cannot be held at 0"},
        {"COMPOUNDCURVE (COMPOUNDCURVE ((0 0, 1 1)))", "expected '(' or CIRCULARSTRING in a compound curve at 15"},
        {"POLYGON " + deep, "expected a number at 10"},
        {"GEOMETRYCOLLECTION " + deep, "expected a geometry type at 20"},
        {"", "expected a geometry type at 0"},
        {"SRID=x;POINT (1 2)", "expected a number at 5"},
        {"TIN (((0 0, 1 0, 0 0)))", "a triangle needs one closed ring of 4 points at 5"},
        {"POINT (1 2", "expected ')' at 10"},
    };
    for (const Case& c : cases) {
        GM_Object g;
        g.Create(Point3D{1, 1, 1});
        StandardFormInfo info;
        EXPECT_EQ(WktToGeometry(c.text, g, &info), 0) << c.text;
        EXPECT_EQ(info.error, c.error) << c.text.substr(0, 60);
        EXPECT_EQ(g.type, wkbEmpty) << "a refused text leaves the object empty";
    }
}

std::vector<uint8_t> Bytes(std::initializer_list<int> v) { return std::vector<uint8_t>(v.begin(), v.end()); }

void PutU32(std::vector<uint8_t>& b, uint32_t v) {
    for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(v >> (8 * k)));
}
void PutF64(std::vector<uint8_t>& b, double d) {
    uint64_t v;
    std::memcpy(&v, &d, 8);
    for (int k = 0; k < 8; ++k) b.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

TEST(StandardForms, BadBinaryIsRefusedWithTheByteOffset) {
    // Every proper prefix of a good encoding is refused, and nothing is read past the end.
    GM_Object curvy;
    ASSERT_EQ(WktToGeometry("GEOMETRYCOLLECTION (CURVEPOLYGON (COMPOUNDCURVE (CIRCULARSTRING (0 0, 1 1, 2 0), "
                            "(2 0, 0 0))), MULTIPOINT (1 2, 3 4))",
                            curvy),
              1);
    std::vector<uint8_t> good;
    ASSERT_EQ(GeometryToWkb(curvy, good, {0, klWkbExtended, true, true, 3857}), 1);
    for (size_t n = 0; n < good.size(); ++n) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
        GM_Object g;
        StandardFormInfo info;
        EXPECT_EQ(WkbToGeometry(cut.data(), cut.size(), g, &info), 0) << n;
        EXPECT_TRUE(info.error.find("truncated") != std::string::npos ||
                    info.error.find("needs more than") != std::string::npos)
            << n << ": " << info.error;
        EXPECT_LE(info.errorOffset, n);
    }

    std::vector<uint8_t> huge = Bytes({1, 2, 0, 0, 0});
    PutU32(huge, 0xFFFFFFFFu);
    std::vector<uint8_t> nan = Bytes({1, 1, 0, 0, 0});
    PutF64(nan, 1.0);
    PutF64(nan, std::nan(""));
    std::vector<uint8_t> nested = Bytes({1, 7, 0, 0, 0, 1, 0, 0, 0, 1, 7, 0, 0, 0, 0, 0, 0, 0});
    std::vector<uint8_t> trailing = Bytes({1, 4, 0, 0, 0, 0, 0, 0, 0, 9});
    std::vector<uint8_t> polyRings = Bytes({1, 3, 0, 0, 0});
    PutU32(polyRings, 3);
    PutU32(polyRings, 0);
    std::vector<uint8_t> emptyInMulti = Bytes({1, 4, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 0});
    PutF64(emptyInMulti, std::nan(""));
    PutF64(emptyInMulti, std::nan(""));
    struct Case {
        std::vector<uint8_t> bytes;
        std::string error;
    } cases[] = {
        {huge, "count 4294967295 needs more than the 0 bytes left at 5"},
        {Bytes({2, 1, 0, 0, 0}), "expected byte order 0 or 1 at 0"},
        {Bytes({1, 99, 0, 0, 0}), "unknown geometry type code 99 at 1"},
        {Bytes({1, 0xE9, 0x0B, 0, 0}), "unknown geometry type code 3049 at 1"},
        {Bytes({1, 15, 0, 0, 0, 0, 0, 0, 0}), "POLYHEDRALSURFACE cannot be held at 0"},
        {nan, "non-finite coordinate at 5"},
        {nested, "a collection inside a collection cannot be held at 9"},
        {trailing, "1 bytes after the geometry at 9"},
        {polyRings, "count 3 needs more than the 4 bytes left at 5"},
        {emptyInMulti, "an empty point cannot be held in a multipoint at 9"},
        {Bytes({1, 2, 0, 0, 0, 1, 0, 0, 0}), "count 1 needs more than the 0 bytes left at 5"},
        {Bytes({1, 9, 0, 0, 0, 1, 0, 0, 0, 1, 9, 0, 0, 0, 0, 0, 0, 0}), "expected a curve at 9"},
    };
    for (const Case& c : cases) {
        GM_Object g;
        StandardFormInfo info;
        EXPECT_EQ(WkbToGeometry(c.bytes.data(), c.bytes.size(), g, &info), 0) << c.error;
        EXPECT_EQ(info.error, c.error);
        EXPECT_EQ(g.type, wkbEmpty);
    }
    GM_Object g;
    EXPECT_EQ(WkbToGeometry(nullptr, 10, g), 0);
}

TEST(StandardForms, EmptyPointAndMeasuresInBinary) {
    // An empty point is NaN coordinates in the binary form; the empty object round trips as one.
    GM_Object empty;
    std::vector<uint8_t> b;
    ASSERT_EQ(GeometryToWkb(empty, b), 1);
    ASSERT_EQ(b.size(), 21u);
    GM_Object back;
    back.Create(Point3D{1, 2, 3});
    ASSERT_EQ(WkbToGeometry(b.data(), b.size(), back), 1);
    EXPECT_EQ(back.type, wkbEmpty);

    // ISO XYM and extended ZM: M is read and dropped, z kept.
    std::vector<uint8_t> m = Bytes({1, 0xD1, 0x07, 0, 0});  // 2001: point M
    PutF64(m, 1);
    PutF64(m, 2);
    PutF64(m, 7);
    StandardFormInfo info;
    ASSERT_EQ(WkbToGeometry(m.data(), m.size(), back, &info), 1) << info.error;
    EXPECT_TRUE(info.measuresDropped);
    EXPECT_FALSE(info.hasZ);
    EXPECT_EQ(back.point.x, 1);
    EXPECT_EQ(back.point.z, kUnknownZ);
    std::vector<uint8_t> zm = Bytes({1, 1, 0, 0, 0xC0});
    for (double v : {1.0, 2.0, 3.0, 4.0}) PutF64(zm, v);
    ASSERT_EQ(WkbToGeometry(zm.data(), zm.size(), back, &info), 1) << info.error;
    EXPECT_TRUE(info.measuresDropped && info.hasZ);
    EXPECT_EQ(back.point.z, 3);
}

}  // namespace

namespace {

// The fuzzer's seeds are hand-made encodings of every kind, both byte orders and both flavours:
// each must be read, so the fuzzer starts from inputs that reach deep into the reader.
TEST(StandardForms, EverySeedOfTheBinaryFuzzerIsRead) {
    const std::filesystem::path dir = std::filesystem::path(KELO_SOURCE_DIR) / "tests/fuzz/corpus/wkb";
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        GM_Object g;
        StandardFormInfo info;
        EXPECT_EQ(WkbToGeometry(b.data(), b.size(), g, &info), 1) << entry.path().filename() << ": " << info.error;
        ++seen;
    }
    EXPECT_GE(seen, 10);
}

}  // namespace
