// Ownership of the geometry records: deep copies, duplicates, deletes and the static wrappers.
#include "geometry/records.h"

#include <cstring>

namespace kelo {

namespace {

// Arrays of records are value-initialised so that a half-filled array is always safe to delete:
// every element still at zero owns nothing.
template <class T>
T* NewZeroed(size_t n) {
    return n ? new T[n]() : nullptr;
}

void CopyLineArray(const LineString* src, size_t n, LineString*& dst) {
    dst = NewZeroed<LineString>(n);
    for (size_t i = 0; i < n; ++i) CopyWKBLineString(dst[i], src[i]);
}

void DeleteLineArray(LineString*& lines, size_t n) {
    if (lines) {
        for (size_t i = 0; i < n; ++i) DeleteWKBLineString(&lines[i]);
        delete[] lines;
    }
    lines = nullptr;
}

void CopyPolygonArray(const WKBPolygon* src, size_t n, WKBPolygon*& dst) {
    dst = NewZeroed<WKBPolygon>(n);
    for (size_t i = 0; i < n; ++i) CopyWKBPolygon(dst[i], src[i]);
}

WKBGeometry g_wrapped;  // the shared result of the *ToWKBGeometry wrappers

}  // namespace

Point3D* DupWKBPoint(const Point3D* p) { return p ? new Point3D(*p) : nullptr; }

void CopyCurveSegment(CurveSegment& dst, const CurveSegment& src) {
    dst.lineType = src.lineType;
    dst.pointCount = 0;
    dst.points = nullptr;
    if (src.pointCount != 0 && src.points) {
        dst.points = new Point3D[src.pointCount];
        std::memcpy(dst.points, src.points, sizeof(Point3D) * src.pointCount);
        dst.pointCount = src.pointCount;
    }
}

void DeleteCurveSegment(CurveSegment* seg) {
    if (seg && seg->pointCount != 0) delete[] seg->points;
}

void FreeCurveSegment(CurveSegment* seg) {
    DeleteCurveSegment(seg);
    delete seg;
}

void CopyWKBLineString(LineString& dst, const LineString& src) {
    dst.partCount = 0;
    dst.parts = nullptr;
    if (src.partCount == 0 || !src.parts) return;
    dst.parts = NewZeroed<CurveSegment>(src.partCount);
    dst.partCount = src.partCount;
    for (uint32_t i = 0; i < src.partCount; ++i) CopyCurveSegment(dst.parts[i], src.parts[i]);
}

LineString* DupWKBLineString(const LineString* src) {
    auto* line = new LineString{0, nullptr};
    if (src) CopyWKBLineString(*line, *src);
    return line;
}

void DeleteWKBLineString(LineString* line) {
    if (!line) return;
    if (line->parts) {
        for (uint32_t i = 0; i < line->partCount; ++i) {
            DeleteCurveSegment(&line->parts[i]);
            line->parts[i].pointCount = 0;
            line->parts[i].points = nullptr;
        }
        delete[] line->parts;
    }
    line->parts = nullptr;
    line->partCount = 0;
}

void FreeWKBLineString(LineString* line) {
    DeleteWKBLineString(line);
    delete line;
}

void CopyWKBPolygon(WKBPolygon& dst, const WKBPolygon& src) {
    dst.ringCount = 0;
    dst.rings = nullptr;
    if (src.ringCount <= 0 || !src.rings) return;
    CopyLineArray(src.rings, static_cast<size_t>(src.ringCount), dst.rings);
    dst.ringCount = src.ringCount;
}

WKBPolygon* DupWKBPolygon(const WKBPolygon* src) {
    auto* polygon = new WKBPolygon{0, nullptr};
    if (src) CopyWKBPolygon(*polygon, *src);
    return polygon;
}

void DeleteWKBPolygon(WKBPolygon* polygon) {
    if (!polygon) return;
    DeleteLineArray(polygon->rings, polygon->ringCount > 0 ? static_cast<size_t>(polygon->ringCount) : 0);
    polygon->ringCount = 0;
}

void FreeWKBPolygon(WKBPolygon* polygon) {
    DeleteWKBPolygon(polygon);
    delete polygon;
}

void FreeWKBMultiPoint(WKBMultiPoint* mp) {
    if (!mp) return;
    delete[] mp->points;
    delete mp;
}

void FreeWKBMultiLineString(WKBMultiLineString* ml) {
    if (!ml) return;
    DeleteLineArray(ml->lines, ml->lineCount);
    delete ml;
}

void FreeWKBMultiPolygon(WKBMultiPolygon* mp) {
    if (!mp) return;
    if (mp->polygons) {
        for (uint32_t i = 0; i < mp->polygonCount; ++i) DeleteWKBPolygon(&mp->polygons[i]);
        delete[] mp->polygons;
    }
    delete mp;
}

void FreeWKBGeometryCollection(WKBGeometryCollection* gc) {
    if (!gc) return;
    if (gc->members) {
        for (uint32_t i = 0; i < gc->memberCount; ++i) DeleteWKBGeometry(&gc->members[i]);
        delete[] gc->members;
    }
    delete gc;
}

void CopyWKBGeometry(WKBGeometry& dst, const WKBGeometry& src) {
    dst.type = wkbEmpty;
    switch (src.type) {
        case wkbPoint:
            dst.point = src.point;
            break;
        case wkbLineString:
            CopyWKBLineString(dst.line, src.line);
            break;
        case wkbPolygon:
            CopyWKBPolygon(dst.polygon, src.polygon);
            break;
        case wkbMultiPoint: {
            uint32_t n = src.multiPoint.points ? src.multiPoint.pointCount : 0;
            dst.multiPoint.points = n ? new Point3D[n] : nullptr;
            if (n) std::memcpy(dst.multiPoint.points, src.multiPoint.points, sizeof(Point3D) * n);
            dst.multiPoint.pointCount = n;
            break;
        }
        case wkbMultiLineString: {
            uint32_t n = src.multiLine.lines ? src.multiLine.lineCount : 0;
            CopyLineArray(src.multiLine.lines, n, dst.multiLine.lines);
            dst.multiLine.lineCount = n;
            break;
        }
        case wkbMultiPolygon: {
            uint32_t n = src.multiPolygon.polygons ? src.multiPolygon.polygonCount : 0;
            CopyPolygonArray(src.multiPolygon.polygons, n, dst.multiPolygon.polygons);
            dst.multiPolygon.polygonCount = n;
            break;
        }
        case wkbGeometryCollection: {
            uint32_t n = src.collection.members ? src.collection.memberCount : 0;
            dst.collection.members = NewZeroed<WKBSimpleGeometry>(n);
            dst.collection.memberCount = n;
            for (uint32_t i = 0; i < n; ++i) CopyWKBGeometry(dst.collection.members[i], src.collection.members[i]);
            break;
        }
        case wkbTin: {
            uint32_t n = src.tin.triangles ? src.tin.triangleCount : 0;
            dst.tin.triangles = n ? new Triangle[n] : nullptr;
            if (n) std::memcpy(dst.tin.triangles, src.tin.triangles, sizeof(Triangle) * n);
            dst.tin.triangleCount = n;
            break;
        }
        case wkbGrid: {
            dst.grid.dimA = src.grid.dimA;
            dst.grid.dimB = src.grid.dimB;
            dst.grid.header = new unsigned char[kGridHeaderSize]();
            if (src.grid.header) std::memcpy(dst.grid.header, src.grid.header, kGridHeaderSize);
            size_t n = static_cast<size_t>(src.grid.dimA) * src.grid.dimB;
            dst.grid.values = nullptr;
            if (n && src.grid.values) {
                dst.grid.values = new double[n];
                std::memcpy(dst.grid.values, src.grid.values, sizeof(double) * n);
            } else if (n) {
                // Counts that claim values the source does not hold: keep the copy self-consistent.
                dst.grid.dimA = dst.grid.dimB = 0;
            }
            break;
        }
        default:
            return;  // unknown or empty: nothing to copy, dst stays empty
    }
    dst.type = src.type;
}

WKBGeometry* DupWKBGeometry(const WKBGeometry* src) {
    auto* geom = new WKBGeometry;
    if (src) CopyWKBGeometry(*geom, *src);
    return geom;
}

void DeleteWKBGeometry(WKBGeometry* geom) {
    if (!geom) return;
    switch (geom->type) {
        case wkbLineString:
            DeleteWKBLineString(&geom->line);
            break;
        case wkbPolygon:
            DeleteWKBPolygon(&geom->polygon);
            break;
        case wkbMultiPoint:
            delete[] geom->multiPoint.points;
            geom->multiPoint.points = nullptr;
            geom->multiPoint.pointCount = 0;
            break;
        case wkbMultiLineString:
            DeleteLineArray(geom->multiLine.lines, geom->multiLine.lineCount);
            geom->multiLine.lineCount = 0;
            break;
        case wkbMultiPolygon:
            if (geom->multiPolygon.polygons) {
                for (uint32_t i = 0; i < geom->multiPolygon.polygonCount; ++i)
                    DeleteWKBPolygon(&geom->multiPolygon.polygons[i]);
                delete[] geom->multiPolygon.polygons;
            }
            geom->multiPolygon.polygons = nullptr;
            geom->multiPolygon.polygonCount = 0;
            break;
        case wkbGeometryCollection:
            if (geom->collection.members) {
                for (uint32_t i = 0; i < geom->collection.memberCount; ++i)
                    DeleteWKBGeometry(&geom->collection.members[i]);
                delete[] geom->collection.members;
            }
            geom->collection.members = nullptr;
            geom->collection.memberCount = 0;
            break;
        case wkbTin:
            delete[] geom->tin.triangles;
            geom->tin.triangles = nullptr;
            geom->tin.triangleCount = 0;
            break;
        case wkbGrid:
            if (geom->grid.dimA >= 1 && geom->grid.dimB >= 1) delete[] geom->grid.values;
            delete[] geom->grid.header;
            geom->grid = WKBGrid{0, 0, nullptr, nullptr};
            break;
        default:
            break;
    }
    geom->type = wkbEmpty;
}

void FreeWKBGeometry(WKBGeometry* geom) {
    DeleteWKBGeometry(geom);
    delete geom;
}

WKBMultiPoint* ConstructMultiPointByPoints(const Point3D* points, int n) {
    auto* mp = new WKBMultiPoint{0, nullptr};
    if (n > 0 && points) {
        mp->points = new Point3D[n];
        std::memcpy(mp->points, points, sizeof(Point3D) * static_cast<size_t>(n));
        mp->pointCount = static_cast<uint32_t>(n);
    }
    return mp;
}

WKBMultiLineString* ConstructMultiLineStringByLineStrings(const LineString* lines, int n) {
    auto* ml = new WKBMultiLineString{0, nullptr};
    if (n > 0 && lines) {
        CopyLineArray(lines, static_cast<size_t>(n), ml->lines);
        ml->lineCount = static_cast<uint32_t>(n);
    }
    return ml;
}

WKBMultiPolygon* ConstructMultiPolygonByPolygons(const WKBPolygon* polygons, int n) {
    auto* mp = new WKBMultiPolygon{0, nullptr};
    if (n > 0 && polygons) {
        CopyPolygonArray(polygons, static_cast<size_t>(n), mp->polygons);
        mp->polygonCount = static_cast<uint32_t>(n);
    }
    return mp;
}

WKBGeometryCollection* ConstructGeometryCollectionBySimpleGeometrys(const WKBSimpleGeometry* members, int n) {
    auto* gc = new WKBGeometryCollection{0, nullptr};
    if (n > 0 && members) {
        gc->members = NewZeroed<WKBSimpleGeometry>(static_cast<size_t>(n));
        gc->memberCount = static_cast<uint32_t>(n);
        for (int i = 0; i < n; ++i) CopyWKBGeometry(gc->members[i], members[i]);
    }
    return gc;
}

WKBGeometry& PointToWKBGeometry(const Point3D& p) {
    g_wrapped.type = wkbPoint;
    g_wrapped.point = p;
    return g_wrapped;
}

WKBGeometry& LineStringToWKBGeometry(const LineString& line) {
    g_wrapped.type = wkbLineString;
    g_wrapped.line = line;
    return g_wrapped;
}

WKBGeometry& PolygonToWKBGeometry(const WKBPolygon& polygon) {
    g_wrapped.type = wkbPolygon;
    g_wrapped.polygon = polygon;
    return g_wrapped;
}

WKBGeometry& MultiPointToWKBGeometry(const WKBMultiPoint& mp) {
    g_wrapped.type = wkbMultiPoint;
    g_wrapped.multiPoint = mp;
    return g_wrapped;
}

WKBGeometry& MultiLineStringToWKBGeometry(const WKBMultiLineString& ml) {
    g_wrapped.type = wkbMultiLineString;
    g_wrapped.multiLine = ml;
    return g_wrapped;
}

WKBGeometry& MultiPolygonToWKBGeometry(const WKBMultiPolygon& mp) {
    g_wrapped.type = wkbMultiPolygon;
    g_wrapped.multiPolygon = mp;
    return g_wrapped;
}

WKBGeometry& GeometryCollectionToWKBGeometry(const WKBGeometryCollection& gc) {
    g_wrapped.type = wkbGeometryCollection;
    g_wrapped.collection = gc;
    return g_wrapped;
}

}  // namespace kelo
