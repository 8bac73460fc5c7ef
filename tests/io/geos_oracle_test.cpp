// The standard forms against an independent engine: what GEOS writes (text and both binary
// flavours, either byte order, with and without z and SRID) reads back to GEOS's own coordinates,
// and what we write GEOS reads to the same areas and lengths.
#include <gtest/gtest.h>

#include <geos_c.h>

#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "geometry/geometry_object.h"
#include "io/standard_forms.h"

using namespace kelo;

namespace {

class Geos {
public:
    Geos() : h(GEOS_init_r()) {}
    ~Geos() { GEOS_finish_r(h); }
    GEOSContextHandle_t h;
};

struct Gen {
    std::mt19937 rng;
    GEOSContextHandle_t h;
    int dims = 2;
    Gen(unsigned seed, GEOSContextHandle_t ctx) : rng(seed), h(ctx) {}

    double Real(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }
    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

    GEOSCoordSequence* Seq(const std::vector<std::array<double, 3>>& pts) {
        GEOSCoordSequence* s = GEOSCoordSeq_create_r(h, static_cast<unsigned>(pts.size()), dims);
        for (unsigned i = 0; i < pts.size(); ++i) {
            GEOSCoordSeq_setXY_r(h, s, i, pts[i][0], pts[i][1]);
            if (dims == 3) GEOSCoordSeq_setZ_r(h, s, i, pts[i][2]);
        }
        return s;
    }
    // A star-shaped ring around (cx, cy) with radii in [r0, r1]; clockwise when cw.
    std::vector<std::array<double, 3>> Star(double cx, double cy, double r0, double r1, bool cw) {
        int n = Int(3, 12);
        std::vector<std::array<double, 3>> pts;
        for (int i = 0; i < n; ++i) {
            double a = 2 * M_PI * (i + Real(0.1, 0.9)) / n * (cw ? -1 : 1);
            double r = Real(r0, r1);
            pts.push_back({cx + r * std::cos(a), cy + r * std::sin(a), Real(-50, 50)});
        }
        pts.push_back(pts.front());
        return pts;
    }
    GEOSGeometry* Polygon(double cx, double cy) {
        double r = Real(1, 1000);
        GEOSGeometry* shell = GEOSGeom_createLinearRing_r(h, Seq(Star(cx, cy, 0.6 * r, r, false)));
        std::vector<GEOSGeometry*> holes;
        if (Int(0, 1)) holes.push_back(GEOSGeom_createLinearRing_r(h, Seq(Star(cx, cy, 0.1 * r, 0.5 * r, true))));
        return GEOSGeom_createPolygon_r(h, shell, holes.data(), static_cast<unsigned>(holes.size()));
    }
    GEOSGeometry* Line() {
        std::vector<std::array<double, 3>> pts;
        double x = Real(-1e5, 1e5), y = Real(-1e5, 1e5);
        for (int i = Int(2, 20); i > 0; --i) {
            pts.push_back({x, y, Real(-50, 50)});
            x += Real(-100, 100);
            y += Real(-100, 100);
        }
        return GEOSGeom_createLineString_r(h, Seq(pts));
    }
    GEOSGeometry* Point() { return GEOSGeom_createPointFromXY_r(h, Real(-1e7, 1e7), Real(-1e7, 1e7)); }
    GEOSGeometry* Multi(int type, int kind) {
        std::vector<GEOSGeometry*> parts;
        for (int i = Int(1, 4); i > 0; --i) parts.push_back(Simple(kind, i * 3000.0));
        return GEOSGeom_createCollection_r(h, type, parts.data(), static_cast<unsigned>(parts.size()));
    }
    GEOSGeometry* Simple(int kind, double dx) {
        if (kind == 0) {
            if (dims == 3) {
                return GEOSGeom_createPoint_r(h, Seq({{Real(-1e7, 1e7), Real(-1e7, 1e7), Real(-50, 50)}}));
            }
            return Point();
        }
        return kind == 1 ? Line() : Polygon(dx, Real(-1e4, 1e4));
    }
    GEOSGeometry* Any() {
        dims = Int(2, 3);
        switch (Int(0, 6)) {
            case 0: return Simple(0, 0);
            case 1: return Simple(1, 0);
            case 2: return Simple(2, 0);
            case 3: return Multi(GEOS_MULTIPOINT, 0);
            case 4: return Multi(GEOS_MULTILINESTRING, 1);
            case 5: return Multi(GEOS_MULTIPOLYGON, 2);
            default: {
                GEOSGeometry* parts[3] = {Simple(0, 0), Simple(1, 0), Multi(GEOS_MULTIPOLYGON, 2)};
                return GEOSGeom_createCollection_r(h, GEOS_GEOMETRYCOLLECTION, parts, 3);
            }
        }
    }
};

// Every coordinate in storage order: the exterior ring before the holes, parts in order.
void Flatten(GEOSContextHandle_t h, const GEOSGeometry* g, std::vector<Point3D>& out) {
    int type = GEOSGeomTypeId_r(h, g);
    if (type == GEOS_POLYGON) {
        Flatten(h, GEOSGetExteriorRing_r(h, g), out);
        for (int i = 0; i < GEOSGetNumInteriorRings_r(h, g); ++i) Flatten(h, GEOSGetInteriorRingN_r(h, g, i), out);
        return;
    }
    if (type >= GEOS_MULTIPOINT) {
        for (int i = 0; i < GEOSGetNumGeometries_r(h, g); ++i) Flatten(h, GEOSGetGeometryN_r(h, g, i), out);
        return;
    }
    const GEOSCoordSequence* s = GEOSGeom_getCoordSeq_r(h, g);
    unsigned n = 0;
    GEOSCoordSeq_getSize_r(h, s, &n);
    bool z = GEOSHasZ_r(h, g) == 1;
    for (unsigned i = 0; i < n; ++i) {
        Point3D p{0, 0, kUnknownZ};
        GEOSCoordSeq_getXY_r(h, s, i, &p.x, &p.y);
        if (z) GEOSCoordSeq_getZ_r(h, s, i, &p.z);
        out.push_back(p);
    }
}

void Flatten(const WKBGeometry& g, std::vector<Point3D>& out) {
    auto line = [&](const LineString& l) {
        for (uint32_t i = 0; i < l.partCount; ++i) out.insert(out.end(), l.parts[i].points, l.parts[i].points + l.parts[i].pointCount);
    };
    auto poly = [&](const WKBPolygon& p) {
        for (int32_t i = 0; i < p.ringCount; ++i) line(p.rings[i]);
    };
    switch (g.type) {
        case wkbPoint: out.push_back(g.point); break;
        case wkbLineString: line(g.line); break;
        case wkbPolygon: poly(g.polygon); break;
        case wkbMultiPoint: out.insert(out.end(), g.multiPoint.points, g.multiPoint.points + g.multiPoint.pointCount); break;
        case wkbMultiLineString:
            for (uint32_t i = 0; i < g.multiLine.lineCount; ++i) line(g.multiLine.lines[i]);
            break;
        case wkbMultiPolygon:
            for (uint32_t i = 0; i < g.multiPolygon.polygonCount; ++i) poly(g.multiPolygon.polygons[i]);
            break;
        case wkbGeometryCollection:
            for (uint32_t i = 0; i < g.collection.memberCount; ++i) Flatten(g.collection.members[i], out);
            break;
        default: break;
    }
}

int Expected(int geosType) {
    static const int map[] = {wkbPoint, wkbLineString, wkbLineString, wkbPolygon, wkbMultiPoint,
                              wkbMultiLineString, wkbMultiPolygon, wkbGeometryCollection};
    return map[geosType];
}

double Length(const GM_Object& g) {
    if (g.type == wkbLineString || g.type == wkbMultiLineString) return g.GetPerimeter();
    return 0;
}

TEST(GeosOracle, GeosTextAndBinaryReadBackToItsCoordinatesAndOursGiveItsMeasures) {
    Geos geos;
    GEOSContextHandle_t h = geos.h;
    Gen gen(2024, h);
    GEOSWKTWriter* wktOut = GEOSWKTWriter_create_r(h);
    GEOSWKTWriter_setTrim_r(h, wktOut, 1);
    GEOSWKTWriter_setRoundingPrecision_r(h, wktOut, 17);
    GEOSWKTWriter_setOutputDimension_r(h, wktOut, 3);
    GEOSWKBWriter* wkbOut = GEOSWKBWriter_create_r(h);
    GEOSWKBWriter_setOutputDimension_r(h, wkbOut, 3);
    GEOSWKBReader* wkbIn = GEOSWKBReader_create_r(h);
    GEOSWKTReader* wktIn = GEOSWKTReader_create_r(h);
    int agreed = 0;
    const int kCases = 2000;
    for (int round = 0; round < kCases; ++round) {
        GEOSGeometry* g = gen.Any();
        SCOPED_TRACE(round);
        std::vector<Point3D> want;
        Flatten(h, g, want);
        const int type = Expected(GEOSGeomTypeId_r(h, g));

        // GEOS binary, in a random flavour and byte order.
        bool iso = gen.Int(0, 1), big = gen.Int(0, 1), srid = !iso && gen.Int(0, 1);
        GEOSWKBWriter_setFlavor_r(h, wkbOut, iso ? GEOS_WKB_ISO : GEOS_WKB_EXTENDED);
        GEOSWKBWriter_setByteOrder_r(h, wkbOut, big ? GEOS_WKB_XDR : GEOS_WKB_NDR);
        GEOSWKBWriter_setIncludeSRID_r(h, wkbOut, srid);
        GEOSSetSRID_r(h, g, 25832);
        size_t size = 0;
        unsigned char* wkb = GEOSWKBWriter_write_r(h, wkbOut, g, &size);
        GM_Object fromWkb;
        StandardFormInfo info;
        ASSERT_EQ(WkbToGeometry(wkb, size, fromWkb, &info), 1) << info.error;
        GEOSFree_r(h, wkb);
        EXPECT_EQ(info.hasSrid, srid);
        EXPECT_EQ(fromWkb.type, type);
        std::vector<Point3D> got;
        Flatten(fromWkb, got);
        ASSERT_EQ(got.size(), want.size());
        bool same = true;
        for (size_t i = 0; i < got.size(); ++i)
            same = same && got[i].x == want[i].x && got[i].y == want[i].y && got[i].z == want[i].z;
        EXPECT_TRUE(same) << "binary coordinates differ";

        // GEOS text: 17 significant digits, so equal within the last place.
        char* wkt = GEOSWKTWriter_write_r(h, wktOut, g);
        GM_Object fromWkt;
        ASSERT_EQ(WktToGeometry(wkt, fromWkt, &info), 1) << info.error << "\n" << wkt;
        GEOSFree_r(h, wkt);
        got.clear();
        Flatten(fromWkt, got);
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < got.size(); ++i) {
            ASSERT_NEAR(got[i].x, want[i].x, 1e-15 * std::fabs(want[i].x) + 1e-300);
            ASSERT_NEAR(got[i].y, want[i].y, 1e-15 * std::fabs(want[i].y) + 1e-300);
        }

        // Ours read by GEOS: the same areas and lengths, from text and from binary.
        std::vector<uint8_t> ours;
        ASSERT_EQ(GeometryToWkb(fromWkb, ours), 1);
        GEOSGeometry* back = GEOSWKBReader_read_r(h, wkbIn, ours.data(), ours.size());
        ASSERT_NE(back, nullptr);
        std::string text;
        ASSERT_EQ(GeometryToWkt(fromWkb, text), 1);
        GEOSGeometry* backText = GEOSWKTReader_read_r(h, wktIn, text.c_str());
        ASSERT_NE(backText, nullptr) << text;
        double area = 0, length = 0, areaText = 0;
        GEOSArea_r(h, back, &area);
        GEOSArea_r(h, backText, &areaText);
        if (GEOSGeomTypeId_r(h, back) == GEOS_LINESTRING || GEOSGeomTypeId_r(h, back) == GEOS_MULTILINESTRING)
            GEOSLength_r(h, back, &length);
        const double ourArea = fromWkb.GetArea(), ourLength = Length(fromWkb);
        const bool ok = std::fabs(area - ourArea) <= 1e-9 * std::max(1.0, area) && areaText == area &&
                        std::fabs(length - ourLength) <= 1e-9 * std::max(1.0, length) &&
                        GEOSEqualsExact_r(h, back, g, 0.0) == 1;
        EXPECT_TRUE(ok) << text << "\narea " << area << " ours " << ourArea << " length " << length << " ours "
                        << ourLength;
        agreed += ok;
        GEOSGeom_destroy_r(h, back);
        GEOSGeom_destroy_r(h, backText);
        GEOSGeom_destroy_r(h, g);
    }
    EXPECT_EQ(agreed, kCases);
    GEOSWKTWriter_destroy_r(h, wktOut);
    GEOSWKBWriter_destroy_r(h, wkbOut);
    GEOSWKBReader_destroy_r(h, wkbIn);
    GEOSWKTReader_destroy_r(h, wktIn);
}

}  // namespace
