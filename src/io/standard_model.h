// The shape both standard forms describe, between the library's records and the text or bytes:
// every curve is straight runs and circular-arc runs, and each container says which standard
// kind it is. Readers build it, writers walk it, so WKT and WKB agree on every mapping.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "geometry/records.h"
#include "io/standard_forms.h"

namespace kelo::detail {

// Standard type codes (the WKB numbers; WKT uses the names).
enum class StdKind : uint32_t {
    Point = 1, LineString = 2, Polygon = 3, MultiPoint = 4, MultiLineString = 5, MultiPolygon = 6,
    GeometryCollection = 7, CircularString = 8, CompoundCurve = 9, CurvePolygon = 10, MultiCurve = 11,
    MultiSurface = 12, PolyhedralSurface = 15, Tin = 16, Triangle = 17,
};

const char* StdKindName(StdKind k);

// A run of type klLTPolyline or klLT3PArc.
struct StdRun {
    klLineType type = klLTPolyline;
    std::vector<Point3D> pts;
};
using StdCurve = std::vector<StdRun>;
using StdSurface = std::vector<StdCurve>;  // ring 0 outer

// One geometry in the library's type system; which member is used follows `type`.
struct StdGeom {
    wkbGeometryType type = wkbEmpty;
    std::vector<Point3D> points;        // wkbPoint (one), wkbMultiPoint
    std::vector<StdCurve> curves;       // wkbLineString (one), wkbMultiLineString
    std::vector<StdSurface> surfaces;   // wkbPolygon (one), wkbMultiPolygon
    std::vector<StdGeom> members;       // wkbGeometryCollection
    std::vector<Triangle> triangles;    // wkbTin
};

// The standard kind each piece is written as.
StdKind CurveKind(const StdCurve& c);
bool SurfaceIsLinear(const StdSurface& s);
StdKind GeomKind(const StdGeom& g);

// The record in standard shape: arcs normalised to odd chains, circles to closed arc chains, and
// Bézier, ellipse and spline runs discretised at g_epsZero (discretised is then set). False with
// a message for a value grid.
bool ModelFromRecord(const WKBGeometry& record, StdGeom& out, bool& discretised, std::string& error);
// Builds a record from the model; the result owns new[] arrays.
void RecordFromModel(const StdGeom& model, WKBGeometry& out);
// What both writers do first: the record in standard shape, checked for coordinates neither form
// carries (NaN, infinity), and whether z is written. Fills info (reset first); false on a fault.
bool ModelForWriting(const WKBGeometry& record, const StandardWriteOptions& options, StdGeom& model, bool& z,
                     StandardFormInfo* info);

}  // namespace kelo::detail
