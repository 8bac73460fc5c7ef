// The plain geometry records every geometry class is a thin layer over, their ownership
// functions, and the library's binary encoding of a geometry record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "geometry/box.h"
#include "geometry/point.h"
#include "geometry/point_run.h"

namespace kelo {

// Geometry type codes; they are written into the binary encoding, so never renumber.
enum wkbGeometryType : int32_t {
    wkbEmpty = 0,
    wkbPoint = 1,
    wkbLineString = 2,
    wkbPolygon = 3,
    wkbMultiPoint = 4,
    wkbMultiLineString = 5,
    wkbMultiPolygon = 6,
    wkbGeometryCollection = 7,
    wkbTin = 8,
    wkbGrid = 9,
};

// One connected line made of consecutive point runs; also a polygon ring.
struct LineString {
    uint32_t partCount;
    CurveSegment* parts;
};

// Ring 0 is the outer boundary, the others are holes. The signed count is historical.
struct WKBPolygon {
    int32_t ringCount;
    LineString* rings;
};

struct WKBMultiPoint {
    uint32_t pointCount;
    Point3D* points;
};

// Same shape as WKBPolygon, so the two share their delete code.
struct WKBMultiLineString {
    uint32_t lineCount;
    LineString* lines;
};

struct WKBMultiPolygon {
    uint32_t polygonCount;
    WKBPolygon* polygons;
};

struct WKBSimpleGeometry;

struct WKBGeometryCollection {
    uint32_t memberCount;
    WKBSimpleGeometry* members;
};

struct Triangle {
    Point3D p[3];
};
static_assert(sizeof(Triangle) == 72, "a triangle is three points, 72 bytes in the encoding");

struct WKBTin {
    uint32_t triangleCount;
    Triangle* triangles;
};

// The grid header block is opaque to the records: copied and encoded as it is.
inline constexpr size_t kGridHeaderSize = 64;

struct WKBGrid {
    uint32_t dimA;
    uint32_t dimB;
    unsigned char* header;  // kGridHeaderSize bytes, or null
    double* values;         // dimA * dimB values; null unless both are at least 1
};

// A geometry record: the type code selects the live member of the union. Copying the struct
// itself is shallow (the static wrappers below rely on that); use the Copy/Dup functions for
// deep copies.
struct WKBGeometry {
    wkbGeometryType type = wkbEmpty;
    union {
        Point3D point{0.0, 0.0, 0.0};
        LineString line;
        WKBPolygon polygon;
        WKBMultiPoint multiPoint;
        WKBMultiLineString multiLine;
        WKBMultiPolygon multiPolygon;
        WKBGeometryCollection collection;
        WKBTin tin;
        WKBGrid grid;
    };
};

// A collection member: the same layout as a geometry record, holding types 1 to 6 only. Deriving
// without data lets every record function take a member directly.
struct WKBSimpleGeometry : WKBGeometry {};
static_assert(sizeof(WKBSimpleGeometry) == sizeof(WKBGeometry), "members are laid out as records");

// ---- copy, duplicate, delete, free -----------------------------------------------------------
// Copy* fill dst without freeing what it held; Dup* allocate (free with the matching Free*);
// Delete* free the contents and zero the counts (and the type); Free* also free the record.

KELO_API Point3D* DupWKBPoint(const Point3D* p);

KELO_API void CopyCurveSegment(CurveSegment& dst, const CurveSegment& src);
// Frees the points when the count is non-zero; the fields are left as they were.
KELO_API void DeleteCurveSegment(CurveSegment* seg);
KELO_API void FreeCurveSegment(CurveSegment* seg);

KELO_API void CopyWKBLineString(LineString& dst, const LineString& src);
KELO_API LineString* DupWKBLineString(const LineString* src);
KELO_API void DeleteWKBLineString(LineString* line);
KELO_API void FreeWKBLineString(LineString* line);

KELO_API void CopyWKBPolygon(WKBPolygon& dst, const WKBPolygon& src);
KELO_API WKBPolygon* DupWKBPolygon(const WKBPolygon* src);
KELO_API void DeleteWKBPolygon(WKBPolygon* polygon);
KELO_API void FreeWKBPolygon(WKBPolygon* polygon);

KELO_API void FreeWKBMultiPoint(WKBMultiPoint* mp);
KELO_API void FreeWKBMultiLineString(WKBMultiLineString* ml);
KELO_API void FreeWKBMultiPolygon(WKBMultiPolygon* mp);
KELO_API void FreeWKBGeometryCollection(WKBGeometryCollection* gc);

KELO_API void CopyWKBGeometry(WKBGeometry& dst, const WKBGeometry& src);
KELO_API WKBGeometry* DupWKBGeometry(const WKBGeometry* src);
KELO_API void DeleteWKBGeometry(WKBGeometry* geom);
KELO_API void FreeWKBGeometry(WKBGeometry* geom);

// ---- construction from arrays (deep copies; the caller frees the result) ----------------------
KELO_API WKBMultiPoint* ConstructMultiPointByPoints(const Point3D* points, int n);
KELO_API WKBMultiLineString* ConstructMultiLineStringByLineStrings(const LineString* lines, int n);
KELO_API WKBMultiPolygon* ConstructMultiPolygonByPolygons(const WKBPolygon* polygons, int n);
KELO_API WKBGeometryCollection* ConstructGeometryCollectionBySimpleGeometrys(const WKBSimpleGeometry* members,
                                                                            int n);

// ---- wrapping a record as a geometry -----------------------------------------------------------
// Each returns the one process-wide static record, sharing the argument's arrays: valid until
// the next call of any of them, and never to be deleted.
KELO_API WKBGeometry& PointToWKBGeometry(const Point3D& p);
KELO_API WKBGeometry& LineStringToWKBGeometry(const LineString& line);
KELO_API WKBGeometry& PolygonToWKBGeometry(const WKBPolygon& polygon);
KELO_API WKBGeometry& MultiPointToWKBGeometry(const WKBMultiPoint& mp);
KELO_API WKBGeometry& MultiLineStringToWKBGeometry(const WKBMultiLineString& ml);
KELO_API WKBGeometry& MultiPolygonToWKBGeometry(const WKBMultiPolygon& mp);
KELO_API WKBGeometry& GeometryCollectionToWKBGeometry(const WKBGeometryCollection& gc);

// ---- binary encoding ----------------------------------------------------------------------------
// Little-endian 32-bit counts and codes, little-endian doubles, three per point, no padding.

// Encoded size in bytes; 0 for an unknown type (also inside a collection).
KELO_API size_t CalWkbGeomSize(const WKBGeometry* geom);
// Writes CalWkbGeomSize(geom) bytes. 1, or 0 for a null buffer or an unknown type.
KELO_API int WkbGeom2Binary(unsigned char* buffer, const WKBGeometry* geom);
// Writes into the caller-sized array: throws std::invalid_argument when it is empty, returns 0
// without writing when it is shorter than the encoding.
KELO_API int WkbGeom2ByteArray(std::vector<uint8_t>& bytes, const WKBGeometry* geom);
// Reads a complete encoding into an empty record. It trusts the buffer to hold the whole encoding.
// 1, or 0 with the record empty (type 0) on an unknown type code or exhausted memory.
KELO_API int Binary2WkbGeom(const unsigned char* buffer, WKBGeometry* geom);
// The reader for bytes from outside: never reads past length, and answers 0 with the record
// empty for anything that is not exactly one well-formed encoding of `length` bytes (truncated,
// trailing bytes, counts that cannot fit, unknown type or line-type codes, a collection inside a
// collection).
KELO_API int Binary2WkbGeom(const unsigned char* buffer, size_t length, WKBGeometry* geom);

// ---- record-level measures and tests -------------------------------------------------------------
// Polygon area of the record: outer rings minus holes, for polygons, multi-polygons and the
// polygon members of collections.
KELO_API double AreaOfWKBGeometry(const WKBGeometry& geom);
// Length of a line (type 2) or the summed lines of type 5; 0 for any other type.
KELO_API double LengthOfWKBGeometry(const WKBGeometry& geom);
KELO_API double AreaOfTriangle(double x1, double y1, double x2, double y2, double x3, double y3);
KELO_API Boolean LineStringIsClosed(const LineString* line);
// -1 at the first point, 1 at the last (exact comparison), 0 otherwise; see the rules for empty,
// one-vertex and closed lines in the implementation.
KELO_API int PointIsEndOfLineString(const Point3D* p, const LineString* line, int includeClosed);
KELO_API Boolean CurveSegmentOverlap(const CurveSegment* a, const CurveSegment* b);
KELO_API Boolean LineStringOverlap(const LineString* a, const LineString* b);
KELO_API Boolean PolygonOverpointPolygon(const WKBPolygon* a, const WKBPolygon* b);
// Appends a view of every line (not polygon ring) of the record; returns how many were added.
KELO_API int ImportLineString(const WKBGeometry& geom, std::vector<LineString*>& lines);
// Index of the first line in the array with the same parts point by point (within 1e-8), or -1.
KELO_API int LineStringInArray(const LineString* line, const std::vector<LineString*>& lines);
// Collects the corners of the record inside the box: every point member, the ends of open lines
// and the vertices where a line turns. indices receives each corner's flat vertex number (points
// first, then the vertices of the parts in order). Returns how many were found.
KELO_API int CornerPointOfWKBGeometry(const WKBGeometry& geom, const Box& box, std::vector<int>& indices,
                                      std::vector<Point3D>& points);

// ---- polygon preparation for the overlay -----------------------------------------------------------
// A new polygon whose rings hold one segment per part (straight parts too).
KELO_API WKBPolygon* _ImportFrom(const WKBPolygon* polygon);
// A new polygon whose non-empty rings are chained back into ordered lines.
KELO_API WKBPolygon* _ExportTo(const WKBPolygon* polygon);

}  // namespace kelo
