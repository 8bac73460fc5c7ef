// Geometry records and their binary encoding: round trips of random records, the byte sizes of the
// format, and readers that meet unknown codes or short and long buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

#include "geometry/records.h"
#include "support/random_records.h"

using namespace kelo;

namespace {

// ---- random records -------------------------------------------------------------------------

// Every line type, any count, measures in z: whatever the records can hold.
struct AnyRecord {
    std::mt19937 rng;
    static constexpr int kMinRingParts = 0;
    explicit AnyRecord(unsigned seed) : rng(seed) {}

    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    double Real() { return std::uniform_real_distribution<double>(-1e6, 1e6)(rng); }

    Point3D Pt() {
        Point3D p{Real(), Real(), Real()};
        // Measures ride in z and must survive bit for bit.
        if (Int(0, 3) == 0) p.z = MakeMF(static_cast<uint16_t>(Int(0, 65535)), static_cast<float>(Real()));
        if (Int(0, 5) == 0) p.z = MakeMI(static_cast<uint16_t>(Int(0, 65535)), Int(-100000, 100000));
        return p;
    }
    void Part(CurveSegment& s) {
        static const klLineType kTypes[] = {klLTNone, klLTPolyline, klLTBezier, klLT3PArc,
                                            klLTEllipse, klLT3PCircle, klLTSpline, klLTSpline2};
        s.lineType = kTypes[Int(0, 7)];
        s.pointCount = static_cast<uint32_t>(Int(0, 6));
        s.points = s.pointCount ? new Point3D[s.pointCount] : nullptr;
        for (uint32_t i = 0; i < s.pointCount; ++i) s.points[i] = Pt();
    }
};
using Gen = test::RandomRecords<AnyRecord>;

// ---- deep equality ----------------------------------------------------------------------------

bool SamePoints(const Point3D* a, const Point3D* b, size_t n) {
    return n == 0 || std::memcmp(a, b, n * sizeof(Point3D)) == 0;
}

bool SameLine(const LineString& a, const LineString& b) {
    if (a.partCount != b.partCount) return false;
    for (uint32_t i = 0; i < a.partCount; ++i) {
        const CurveSegment &s = a.parts[i], &t = b.parts[i];
        if (s.lineType != t.lineType || s.pointCount != t.pointCount) return false;
        if ((s.pointCount == 0) != (s.points == nullptr) || (t.pointCount == 0) != (t.points == nullptr)) return false;
        if (!SamePoints(s.points, t.points, s.pointCount)) return false;
    }
    return true;
}

bool SamePolygon(const WKBPolygon& a, const WKBPolygon& b) {
    if (a.ringCount != b.ringCount) return false;
    for (int i = 0; i < a.ringCount; ++i)
        if (!SameLine(a.rings[i], b.rings[i])) return false;
    return true;
}

bool Same(const WKBGeometry& a, const WKBGeometry& b) {
    if (a.type != b.type) return false;
    switch (a.type) {
        case wkbPoint: return SamePoints(&a.point, &b.point, 1);
        case wkbLineString: return SameLine(a.line, b.line);
        case wkbPolygon: return SamePolygon(a.polygon, b.polygon);
        case wkbMultiPoint:
            return a.multiPoint.pointCount == b.multiPoint.pointCount &&
                   SamePoints(a.multiPoint.points, b.multiPoint.points, a.multiPoint.pointCount);
        case wkbMultiLineString:
            if (a.multiLine.lineCount != b.multiLine.lineCount) return false;
            for (uint32_t i = 0; i < a.multiLine.lineCount; ++i)
                if (!SameLine(a.multiLine.lines[i], b.multiLine.lines[i])) return false;
            return true;
        case wkbMultiPolygon:
            if (a.multiPolygon.polygonCount != b.multiPolygon.polygonCount) return false;
            for (uint32_t i = 0; i < a.multiPolygon.polygonCount; ++i)
                if (!SamePolygon(a.multiPolygon.polygons[i], b.multiPolygon.polygons[i])) return false;
            return true;
        case wkbGeometryCollection:
            if (a.collection.memberCount != b.collection.memberCount) return false;
            for (uint32_t i = 0; i < a.collection.memberCount; ++i)
                if (!Same(a.collection.members[i], b.collection.members[i])) return false;
            return true;
        case wkbTin:
            return a.tin.triangleCount == b.tin.triangleCount &&
                   SamePoints(a.tin.triangles ? a.tin.triangles[0].p : nullptr,
                              b.tin.triangles ? b.tin.triangles[0].p : nullptr, 3 * a.tin.triangleCount);
        case wkbGrid:
            return a.grid.dimA == b.grid.dimA && a.grid.dimB == b.grid.dimB &&
                   std::memcmp(a.grid.header, b.grid.header, kGridHeaderSize) == 0 &&
                   (a.grid.dimA * a.grid.dimB == 0 ||
                    std::memcmp(a.grid.values, b.grid.values, 8 * a.grid.dimA * a.grid.dimB) == 0);
        default: return true;
    }
}

std::vector<unsigned char> Encode(const WKBGeometry& g) {
    std::vector<unsigned char> bytes(CalWkbGeomSize(&g));
    EXPECT_EQ(WkbGeom2Binary(bytes.data(), &g), 1);
    return bytes;
}

uint32_t U32At(const std::vector<unsigned char>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// A two-point straight line (1,2,3)-(4,5,6).
void TwoPointLine(LineString& l) {
    l.partCount = 1;
    l.parts = new CurveSegment[1];
    l.parts[0] = {klLTPolyline, 2, new Point3D[2]{{1, 2, 3}, {4, 5, 6}}};
}

}  // namespace

// Every type, many shapes: encode, decode with both readers, compare with the record's deep copy.
TEST(RecordsEncoding, RandomRecordsRoundTripAsTheirCopy) {
    Gen gen(20261206);
    for (int round = 0; round < 60; ++round) {
        for (int type = 1; type <= 9; ++type) {
            WKBGeometry original;
            gen.Geometry(original, type);
            WKBGeometry copy;
            CopyWKBGeometry(copy, original);
            ASSERT_TRUE(Same(copy, original)) << "type " << type;

            size_t size = CalWkbGeomSize(&original);
            ASSERT_GT(size, 0u);
            // Guard bytes after the encoding catch a writer that goes further than the size it reports.
            std::vector<unsigned char> buf(size + 16, 0xA5);
            ASSERT_EQ(WkbGeom2Binary(buf.data(), &original), 1);
            for (size_t i = size; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xA5) << "type " << type;
            EXPECT_EQ(U32At(buf, 0), static_cast<uint32_t>(type));

            WKBGeometry trusted, checked;
            ASSERT_EQ(Binary2WkbGeom(buf.data(), &trusted), 1);
            // The checked reader accepts exactly the reported size, so the writer wrote exactly that.
            ASSERT_EQ(Binary2WkbGeom(buf.data(), size, &checked), 1) << "type " << type;
            EXPECT_TRUE(Same(trusted, copy)) << "type " << type;
            EXPECT_TRUE(Same(checked, copy)) << "type " << type;
            EXPECT_EQ(CalWkbGeomSize(&checked), size);

            DeleteWKBGeometry(&original);
            DeleteWKBGeometry(&copy);
            DeleteWKBGeometry(&trusted);
            DeleteWKBGeometry(&checked);
            EXPECT_EQ(original.type, wkbEmpty);
        }
    }
}

TEST(RecordsEncoding, DocumentedSizes) {
    WKBGeometry point;
    point.type = wkbPoint;
    point.point = {1, 2, 3};
    std::vector<unsigned char> bytes = Encode(point);
    ASSERT_EQ(bytes.size(), 28u);
    EXPECT_EQ(U32At(bytes, 0), 1u);
    double xyz[3];
    std::memcpy(xyz, bytes.data() + 4, 24);
    EXPECT_EQ(xyz[0], 1.0);
    EXPECT_EQ(xyz[1], 2.0);
    EXPECT_EQ(xyz[2], 3.0);

    WKBGeometry line;
    line.type = wkbLineString;
    TwoPointLine(line.line);
    bytes = Encode(line);
    EXPECT_EQ(bytes.size(), 64u);
    EXPECT_EQ(U32At(bytes, 4), 1u);   // parts
    EXPECT_EQ(U32At(bytes, 8), 1u);   // line type
    EXPECT_EQ(U32At(bytes, 12), 2u);  // points

    WKBGeometry polygon;
    polygon.type = wkbPolygon;
    polygon.polygon = {1, new LineString[1]};
    TwoPointLine(polygon.polygon.rings[0]);
    EXPECT_EQ(CalWkbGeomSize(&polygon), 68u);

    WKBGeometry empty;
    empty.type = wkbMultiPoint;
    empty.multiPoint = {0, nullptr};
    bytes = Encode(empty);
    ASSERT_EQ(bytes.size(), 8u);
    EXPECT_EQ(U32At(bytes, 0), 4u);
    EXPECT_EQ(U32At(bytes, 4), 0u);

    WKBGeometry collection;
    collection.type = wkbGeometryCollection;
    collection.collection = {2, new WKBSimpleGeometry[2]()};
    collection.collection.members[0].type = wkbPoint;
    collection.collection.members[1].type = wkbLineString;
    TwoPointLine(collection.collection.members[1].line);
    EXPECT_EQ(CalWkbGeomSize(&collection), 100u);

    WKBGeometry tin;
    tin.type = wkbTin;
    tin.tin = {3, new Triangle[3]()};
    EXPECT_EQ(CalWkbGeomSize(&tin), 224u);

    WKBGeometry grid;
    grid.type = wkbGrid;
    grid.grid = {2, 3, new unsigned char[kGridHeaderSize](), new double[6]()};
    EXPECT_EQ(CalWkbGeomSize(&grid), 76u + 48u);

    for (WKBGeometry* g : {&line, &polygon, &collection, &tin, &grid}) DeleteWKBGeometry(g);
}

TEST(RecordsEncoding, UnknownTypeCodesReadAsNothing) {
    // A collection whose second member carries an unknown code, after a line that was already
    // allocated: the reader must free that line (the leak checker watches) and leave type 0.
    WKBGeometry collection;
    collection.type = wkbGeometryCollection;
    collection.collection = {3, new WKBSimpleGeometry[3]()};
    collection.collection.members[0].type = wkbLineString;
    TwoPointLine(collection.collection.members[0].line);
    collection.collection.members[1].type = wkbPoint;
    collection.collection.members[2].type = wkbPoint;
    std::vector<unsigned char> good = Encode(collection);
    DeleteWKBGeometry(&collection);
    size_t secondMember = 4 + 4 + 64;

    struct Case {
        const char* what;
        size_t at;
        uint32_t code;
    } cases[] = {
        {"top level 0", 0, 0},          {"top level 10", 0, 10},          {"top level huge", 0, 0xFFFFFFFFu},
        {"member 0", secondMember, 0},  {"member 7", secondMember, 7},    {"member 8", secondMember, 8},
        {"member 9", secondMember, 9},  {"member 12", secondMember, 12},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> bytes = good;
        std::memcpy(bytes.data() + c.at, &c.code, 4);
        WKBGeometry g;
        g.type = wkbPoint;
        EXPECT_EQ(Binary2WkbGeom(bytes.data(), bytes.size(), &g), 0) << c.what;
        EXPECT_EQ(g.type, wkbEmpty) << c.what;
        // The trusting reader reads a complete buffer, so it may be given these too.
        g.type = wkbPoint;
        EXPECT_EQ(Binary2WkbGeom(bytes.data(), &g), 0) << c.what;
        EXPECT_EQ(g.type, wkbEmpty) << c.what;
    }

    // Records with unknown codes have no size and are not written.
    WKBGeometry bad;
    bad.type = static_cast<wkbGeometryType>(11);
    unsigned char buf[8];
    EXPECT_EQ(CalWkbGeomSize(&bad), 0u);
    EXPECT_EQ(WkbGeom2Binary(buf, &bad), 0);
    WKBGeometry point;
    point.type = wkbPoint;
    EXPECT_EQ(WkbGeom2Binary(nullptr, &point), 0);
}

TEST(RecordsEncoding, CheckedReaderRefusesEveryCutAndAnyExtraByte) {
    Gen gen(7);
    for (int type = 1; type <= 9; ++type) {
        WKBGeometry g;
        gen.Geometry(g, type);
        std::vector<unsigned char> bytes = Encode(g);
        DeleteWKBGeometry(&g);
        for (size_t len = 0; len < bytes.size(); ++len) {
            // A copy of exactly len bytes: the sanitizer reports any read past it.
            std::vector<unsigned char> cut(bytes.begin(), bytes.begin() + static_cast<long>(len));
            WKBGeometry out;
            ASSERT_EQ(Binary2WkbGeom(cut.data(), cut.size(), &out), 0) << "type " << type << " len " << len;
            ASSERT_EQ(out.type, wkbEmpty);
        }
        bytes.push_back(0);
        WKBGeometry out;
        EXPECT_EQ(Binary2WkbGeom(bytes.data(), bytes.size(), &out), 0) << "type " << type;
    }
}

TEST(RecordsEncoding, CheckedReaderRefusesCountsThatCannotFit) {
    // Counts placed where a small buffer cannot hold what they announce.
    struct Case {
        const char* what;
        std::vector<uint32_t> words;
    } cases[] = {
        {"points of a part", {2, 1, 1, 0x7FFFFFFF}},
        {"parts of a line", {2, 0x10000000}},
        {"rings of a polygon", {3, 0xFFFFFFFF}},
        {"ring count beyond int32", {3, 0x80000000}},
        {"multi-points", {4, 0x20000000}},
        {"members", {7, 0x40000000}},
        {"triangles", {8, 0x01000000}},
        {"grid cells", {9, 0x10000, 0x10000}},
        {"line type unknown", {2, 1, 4, 0}},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> bytes(c.words.size() * 4);
        std::memcpy(bytes.data(), c.words.data(), bytes.size());
        if (c.words[0] == 9) bytes.resize(bytes.size() + kGridHeaderSize, 0);
        WKBGeometry g;
        EXPECT_EQ(Binary2WkbGeom(bytes.data(), bytes.size(), &g), 0) << c.what;
        EXPECT_EQ(g.type, wkbEmpty) << c.what;
    }
    WKBGeometry g;
    EXPECT_EQ(Binary2WkbGeom(nullptr, 10, &g), 0);
}

TEST(RecordsEncoding, ByteArrayWriter) {
    WKBGeometry line;
    line.type = wkbLineString;
    TwoPointLine(line.line);
    std::vector<uint8_t> none;
    EXPECT_THROW(WkbGeom2ByteArray(none, &line), std::invalid_argument);
    std::vector<uint8_t> small(63, 0);
    EXPECT_EQ(WkbGeom2ByteArray(small, &line), 0);
    std::vector<uint8_t> exact(64, 0);
    ASSERT_EQ(WkbGeom2ByteArray(exact, &line), 1);
    EXPECT_EQ(exact, Encode(line));
    DeleteWKBGeometry(&line);
}

TEST(Records, DupAndFreeOwnDeepCopiesAndWrappersShare) {
    Gen gen(99);
    for (int type = 1; type <= 9; ++type) {
        WKBGeometry g;
        gen.Geometry(g, type);
        WKBGeometry* dup = DupWKBGeometry(&g);
        EXPECT_TRUE(Same(*dup, g));
        DeleteWKBGeometry(&g);
        FreeWKBGeometry(dup);
    }

    LineString line;
    TwoPointLine(line);
    LineString* dupLine = DupWKBLineString(&line);
    EXPECT_NE(dupLine->parts, line.parts);
    EXPECT_NE(dupLine->parts[0].points, line.parts[0].points);
    WKBGeometry& wrapped = LineStringToWKBGeometry(line);
    EXPECT_EQ(wrapped.type, wkbLineString);
    EXPECT_EQ(wrapped.line.parts, line.parts);  // shared, not copied
    EXPECT_EQ(&PointToWKBGeometry(Point3D{1, 2, 3}), &wrapped);
    EXPECT_EQ(wrapped.type, wkbPoint);

    WKBMultiLineString* ml = ConstructMultiLineStringByLineStrings(&line, 1);
    ASSERT_EQ(ml->lineCount, 1u);
    EXPECT_TRUE(SameLine(ml->lines[0], line));
    WKBPolygon polygon{1, &line};
    WKBMultiPolygon* mp = ConstructMultiPolygonByPolygons(&polygon, 1);
    EXPECT_TRUE(SamePolygon(mp->polygons[0], polygon));
    Point3D pts[2] = {{1, 1, 1}, {2, 2, 2}};
    WKBMultiPoint* mpt = ConstructMultiPointByPoints(pts, 2);
    EXPECT_TRUE(SamePoints(mpt->points, pts, 2));
    WKBSimpleGeometry member;
    member.type = wkbLineString;
    member.line = line;
    WKBGeometryCollection* gc = ConstructGeometryCollectionBySimpleGeometrys(&member, 1);
    EXPECT_TRUE(Same(gc->members[0], member));

    FreeWKBMultiLineString(ml);
    FreeWKBMultiPolygon(mp);
    FreeWKBMultiPoint(mpt);
    FreeWKBGeometryCollection(gc);
    FreeWKBLineString(dupLine);
    DeleteWKBLineString(&line);
    EXPECT_EQ(line.partCount, 0u);
    EXPECT_EQ(line.parts, nullptr);
}

TEST(Records, NullAndEmptyInputsGiveTheDocumentedDefaults) {
    EXPECT_EQ(CalWkbGeomSize(nullptr), 0u);
    unsigned char buf[32];
    EXPECT_EQ(WkbGeom2Binary(buf, nullptr), 0);
    EXPECT_EQ(Binary2WkbGeom(buf, nullptr), 0);
    EXPECT_EQ(Binary2WkbGeom(buf, sizeof buf, nullptr), 0);
    EXPECT_EQ(LineStringIsClosed(nullptr), False);
    EXPECT_EQ(PointIsEndOfLineString(nullptr, nullptr, 1), 0);
    EXPECT_EQ(CurveSegmentOverlap(nullptr, nullptr), False);
    EXPECT_EQ(LineStringOverlap(nullptr, nullptr), False);
    EXPECT_EQ(PolygonOverpointPolygon(nullptr, nullptr), False);
    EXPECT_EQ(LineStringInArray(nullptr, {}), -1);
    EXPECT_EQ(DupWKBPoint(nullptr), nullptr);
    DeleteWKBGeometry(nullptr);
    DeleteWKBLineString(nullptr);
    DeleteWKBPolygon(nullptr);
    FreeWKBGeometry(nullptr);

    // Counts without arrays read as empty everywhere: size, writer and copy agree.
    WKBGeometry line;
    line.type = wkbLineString;
    line.line = {3, nullptr};
    EXPECT_EQ(CalWkbGeomSize(&line), 8u);
    WKBGeometry copy;
    CopyWKBGeometry(copy, line);
    EXPECT_EQ(copy.line.partCount, 0u);
    LineString emptyParts{2, new CurveSegment[2]()};
    emptyParts.parts[1] = {klLT3PArc, 4, nullptr};  // a count with no array
    EXPECT_EQ(LineStringIsClosed(&emptyParts), False);
    Point3D p{0, 0, 0};
    EXPECT_EQ(PointIsEndOfLineString(&p, &emptyParts, 1), 0);
    WKBGeometry& wrapped = LineStringToWKBGeometry(emptyParts);
    std::vector<unsigned char> bytes = Encode(wrapped);
    EXPECT_EQ(bytes.size(), 8u + 2 * 8u);
    WKBGeometry back;
    ASSERT_EQ(Binary2WkbGeom(bytes.data(), bytes.size(), &back), 1);
    EXPECT_EQ(back.line.parts[1].lineType, klLT3PArc);
    EXPECT_EQ(back.line.parts[1].pointCount, 0u);
    DeleteWKBGeometry(&back);
    emptyParts.parts[1].pointCount = 0;
    DeleteWKBLineString(&emptyParts);

    WKBPolygon* none = _ImportFrom(nullptr);
    EXPECT_EQ(none->ringCount, 0);
    FreeWKBPolygon(none);
    none = _ExportTo(nullptr);
    EXPECT_EQ(none->ringCount, 0);
    FreeWKBPolygon(none);
}

TEST(RecordComparisons, PolygonsSharingAVertex) {
    using namespace kelo;
    auto square = [](double x0, double y0) {
        Point3D* p = new Point3D[5]{{x0, y0, 0}, {x0 + 1, y0, 0}, {x0 + 1, y0 + 1, 0}, {x0, y0 + 1, 0}, {x0, y0, 0}};
        CurveSegment* part = new CurveSegment[1]{{klLTPolyline, 5, p}};
        LineString* ring = new LineString[1]{{1, part}};
        return WKBPolygon{1, ring};
    };
    WKBPolygon a = square(0, 0), b = square(1, 1), c = square(5, 5);
    EXPECT_EQ(PolygonOverpointPolygon(&a, &b), True);   // the corner (1, 1)
    EXPECT_EQ(PolygonOverpointPolygon(&a, &c), False);
    EXPECT_EQ(PolygonOverpointPolygon(&a, &a), True);
    DeleteWKBPolygon(&a);
    DeleteWKBPolygon(&b);
    DeleteWKBPolygon(&c);
}
