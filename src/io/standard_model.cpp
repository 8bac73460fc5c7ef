// Conversions between the library's records and the standard shape both interchange forms share.
#include "io/standard_model.h"

#include <cmath>

#include "geometry/discrete.h"
#include "geometry/point_run.h"

namespace kelo::detail {

const char* StdKindName(StdKind k) {
    switch (k) {
        case StdKind::Point: return "POINT";
        case StdKind::LineString: return "LINESTRING";
        case StdKind::Polygon: return "POLYGON";
        case StdKind::MultiPoint: return "MULTIPOINT";
        case StdKind::MultiLineString: return "MULTILINESTRING";
        case StdKind::MultiPolygon: return "MULTIPOLYGON";
        case StdKind::GeometryCollection: return "GEOMETRYCOLLECTION";
        case StdKind::CircularString: return "CIRCULARSTRING";
        case StdKind::CompoundCurve: return "COMPOUNDCURVE";
        case StdKind::CurvePolygon: return "CURVEPOLYGON";
        case StdKind::MultiCurve: return "MULTICURVE";
        case StdKind::MultiSurface: return "MULTISURFACE";
        case StdKind::PolyhedralSurface: return "POLYHEDRALSURFACE";
        case StdKind::Tin: return "TIN";
        case StdKind::Triangle: return "TRIANGLE";
    }
    return "?";
}

StdKind CurveKind(const StdCurve& c) {
    if (c.size() > 1) return StdKind::CompoundCurve;
    if (c.size() == 1 && c[0].type == klLT3PArc) return StdKind::CircularString;
    return StdKind::LineString;
}

bool SurfaceIsLinear(const StdSurface& s) {
    for (const StdCurve& ring : s)
        if (CurveKind(ring) != StdKind::LineString) return false;
    return true;
}

StdKind GeomKind(const StdGeom& g) {
    switch (g.type) {
        case wkbLineString: return g.curves.empty() ? StdKind::LineString : CurveKind(g.curves[0]);
        case wkbPolygon:
            return g.surfaces.empty() || SurfaceIsLinear(g.surfaces[0]) ? StdKind::Polygon : StdKind::CurvePolygon;
        case wkbMultiPoint: return StdKind::MultiPoint;
        case wkbMultiLineString:
            for (const StdCurve& c : g.curves)
                if (CurveKind(c) != StdKind::LineString) return StdKind::MultiCurve;
            return StdKind::MultiLineString;
        case wkbMultiPolygon:
            for (const StdSurface& s : g.surfaces)
                if (!SurfaceIsLinear(s)) return StdKind::MultiSurface;
            return StdKind::MultiPolygon;
        case wkbGeometryCollection: return StdKind::GeometryCollection;
        case wkbTin: return StdKind::Tin;
        default: return StdKind::Point;  // a point, or the empty object written as POINT EMPTY
    }
}

namespace {

// One stored run in standard shape; empty runs carry nothing and are left out.
void AddRun(const CurveSegment& seg, StdCurve& out, bool& discretised) {
    if (seg.pointCount == 0 || seg.points == nullptr) return;
    keloPoints run(seg.lineType, static_cast<int>(seg.pointCount), seg.points);
    switch (seg.lineType) {
        case klLT3PArc:
        case klLT3PCircle:
            // Odd chains of at least three points only: a circle becomes a closed chain, a trailing
            // half arc gets its middle point, two points become a straight run.
            run.Normalizing(0.0, 8);
            break;
        case klLTBezier:
        case klLTEllipse:
        case klLTSpline:
        case klLTSpline2:
            run.Discrete(klDPBezier | klDPEllipse | klDPSpline);
            discretised = true;
            break;
        default:
            break;
    }
    StdRun r;
    r.type = run.lineType == klLT3PArc && run.pointCount >= 3 ? klLT3PArc : klLTPolyline;
    r.pts.assign(run.points, run.points + run.pointCount);
    out.push_back(std::move(r));
}

StdCurve CurveFromLine(const LineString& line, bool& discretised) {
    StdCurve c;
    for (uint32_t i = 0; line.parts && i < line.partCount; ++i) AddRun(line.parts[i], c, discretised);
    return c;
}

StdSurface SurfaceFromPolygon(const WKBPolygon& p, bool& discretised) {
    StdSurface s;
    for (int32_t i = 0; p.rings && i < p.ringCount; ++i) s.push_back(CurveFromLine(p.rings[i], discretised));
    return s;
}

template <class T>
T* NewArray(size_t n) {
    return n ? new T[n] : nullptr;
}

void LineFromCurve(const StdCurve& c, LineString& out) {
    out.partCount = static_cast<uint32_t>(c.size());
    out.parts = NewArray<CurveSegment>(c.size());
    for (size_t i = 0; i < c.size(); ++i) {
        CurveSegment& s = out.parts[i];
        s.lineType = c[i].type;
        s.pointCount = static_cast<uint32_t>(c[i].pts.size());
        s.points = NewArray<Point3D>(c[i].pts.size());
        std::copy(c[i].pts.begin(), c[i].pts.end(), s.points);
    }
}

void PolygonFromSurface(const StdSurface& s, WKBPolygon& out) {
    out.ringCount = static_cast<int32_t>(s.size());
    out.rings = NewArray<LineString>(s.size());
    for (size_t i = 0; i < s.size(); ++i) LineFromCurve(s[i], out.rings[i]);
}

}  // namespace

bool ModelFromRecord(const WKBGeometry& g, StdGeom& out, bool& discretised, std::string& error) {
    out = StdGeom{};
    out.type = g.type;
    switch (g.type) {
        case wkbEmpty:
            return true;
        case wkbPoint:
            out.points.push_back(g.point);
            return true;
        case wkbLineString:
            out.curves.push_back(CurveFromLine(g.line, discretised));
            return true;
        case wkbPolygon:
            out.surfaces.push_back(SurfaceFromPolygon(g.polygon, discretised));
            return true;
        case wkbMultiPoint:
            if (g.multiPoint.points) out.points.assign(g.multiPoint.points, g.multiPoint.points + g.multiPoint.pointCount);
            return true;
        case wkbMultiLineString:
            for (uint32_t i = 0; g.multiLine.lines && i < g.multiLine.lineCount; ++i)
                out.curves.push_back(CurveFromLine(g.multiLine.lines[i], discretised));
            return true;
        case wkbMultiPolygon:
            for (uint32_t i = 0; g.multiPolygon.polygons && i < g.multiPolygon.polygonCount; ++i)
                out.surfaces.push_back(SurfaceFromPolygon(g.multiPolygon.polygons[i], discretised));
            return true;
        case wkbGeometryCollection:
            for (uint32_t i = 0; g.collection.members && i < g.collection.memberCount; ++i) {
                const WKBGeometry& m = g.collection.members[i];
                if (m.type < wkbPoint || m.type > wkbMultiPolygon) {
                    error = "a collection member of type " + std::to_string(m.type) + " has no standard form";
                    return false;
                }
                out.members.emplace_back();
                if (!ModelFromRecord(m, out.members.back(), discretised, error)) return false;
            }
            return true;
        case wkbTin:
            if (g.tin.triangles) out.triangles.assign(g.tin.triangles, g.tin.triangles + g.tin.triangleCount);
            return true;
        case wkbGrid:
            error = "a value grid has no standard form";
            return false;
    }
    error = "unknown geometry type " + std::to_string(g.type);
    return false;
}

void RecordFromModel(const StdGeom& m, WKBGeometry& out) {
    out = WKBGeometry{};
    out.type = m.type;
    switch (m.type) {
        case wkbPoint:
            out.point = m.points.empty() ? Point3D{0, 0, kUnknownZ} : m.points[0];
            break;
        case wkbLineString:
            LineFromCurve(m.curves.empty() ? StdCurve{} : m.curves[0], out.line);
            break;
        case wkbPolygon:
            PolygonFromSurface(m.surfaces.empty() ? StdSurface{} : m.surfaces[0], out.polygon);
            break;
        case wkbMultiPoint:
            out.multiPoint.pointCount = static_cast<uint32_t>(m.points.size());
            out.multiPoint.points = NewArray<Point3D>(m.points.size());
            std::copy(m.points.begin(), m.points.end(), out.multiPoint.points);
            break;
        case wkbMultiLineString:
            out.multiLine.lineCount = static_cast<uint32_t>(m.curves.size());
            out.multiLine.lines = NewArray<LineString>(m.curves.size());
            for (size_t i = 0; i < m.curves.size(); ++i) LineFromCurve(m.curves[i], out.multiLine.lines[i]);
            break;
        case wkbMultiPolygon:
            out.multiPolygon.polygonCount = static_cast<uint32_t>(m.surfaces.size());
            out.multiPolygon.polygons = NewArray<WKBPolygon>(m.surfaces.size());
            for (size_t i = 0; i < m.surfaces.size(); ++i)
                PolygonFromSurface(m.surfaces[i], out.multiPolygon.polygons[i]);
            break;
        case wkbGeometryCollection:
            out.collection.memberCount = static_cast<uint32_t>(m.members.size());
            out.collection.members = NewArray<WKBSimpleGeometry>(m.members.size());
            for (size_t i = 0; i < m.members.size(); ++i) RecordFromModel(m.members[i], out.collection.members[i]);
            break;
        case wkbTin:
            out.tin.triangleCount = static_cast<uint32_t>(m.triangles.size());
            out.tin.triangles = NewArray<Triangle>(m.triangles.size());
            std::copy(m.triangles.begin(), m.triangles.end(), out.tin.triangles);
            break;
        default:
            out.type = wkbEmpty;
            break;
    }
}

namespace {

// Calls f on every point of the model until it answers true; true when one did.
template <class F>
bool AnyPoint(const StdGeom& g, F f) {
    for (const Point3D& p : g.points)
        if (f(p)) return true;
    for (const StdCurve& c : g.curves)
        for (const StdRun& r : c)
            for (const Point3D& p : r.pts)
                if (f(p)) return true;
    for (const StdSurface& s : g.surfaces)
        for (const StdCurve& c : s)
            for (const StdRun& r : c)
                for (const Point3D& p : r.pts)
                    if (f(p)) return true;
    for (const StdGeom& m : g.members)
        if (AnyPoint(m, f)) return true;
    for (const Triangle& t : g.triangles)
        for (const Point3D& p : t.p)
            if (f(p)) return true;
    return false;
}

}  // namespace

bool ModelForWriting(const WKBGeometry& record, const StandardWriteOptions& options, StdGeom& model, bool& z,
                     StandardFormInfo* info) {
    if (info) *info = StandardFormInfo{};
    bool discretised = false;
    std::string error;
    if (ModelFromRecord(record, model, discretised, error) &&
        AnyPoint(model, [](const Point3D& p) {
            return !std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z);
        }))
        error = "a coordinate is not a finite number";
    if (!error.empty()) {
        if (info) info->error = error;
        return false;
    }
    z = options.dims == 3 ||
        (options.dims == 0 && AnyPoint(model, [](const Point3D& p) { return p.z != kUnknownZ; }));
    if (info) {
        info->hasZ = z;
        info->discretised = discretised;
    }
    return true;
}

}  // namespace kelo::detail
