// The binary encoding of geometry records: sizes, writer, and the trusting and checked readers.
#include <bit>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "geometry/records.h"

namespace kelo {

namespace {

constexpr bool kLittle = std::endian::native == std::endian::little;

inline uint32_t Swap(uint32_t v) { return __builtin_bswap32(v); }
inline uint64_t Swap(uint64_t v) { return __builtin_bswap64(v); }

// ---- sizes -----------------------------------------------------------------------------------

size_t GridCells(const WKBGrid& g) { return g.values ? static_cast<size_t>(g.dimA) * g.dimB : 0; }

constexpr size_t kPartHead = 8;  // line type + point count
constexpr size_t kPointBytes = 24;

size_t LineBodySize(const LineString& line) {
    size_t n = 4;
    uint32_t parts = line.parts ? line.partCount : 0;
    for (uint32_t i = 0; i < parts; ++i) {
        uint32_t pts = line.parts[i].points ? line.parts[i].pointCount : 0;
        n += kPartHead + kPointBytes * pts;
    }
    return n;
}

size_t PolygonBodySize(const WKBPolygon& polygon) {
    size_t n = 4;
    int32_t rings = polygon.rings ? polygon.ringCount : 0;
    for (int32_t i = 0; i < rings; ++i) n += LineBodySize(polygon.rings[i]);
    return n;
}

// Body size of a record (without its type code); 0 for an unknown type. A collection member of a
// type other than 1..6 makes the whole collection unknown.
size_t BodySize(const WKBGeometry& g, bool member) {
    switch (g.type) {
        case wkbPoint:
            return kPointBytes;
        case wkbLineString:
            return LineBodySize(g.line);
        case wkbPolygon:
            return PolygonBodySize(g.polygon);
        case wkbMultiPoint:
            return 4 + kPointBytes * (g.multiPoint.points ? g.multiPoint.pointCount : 0);
        case wkbMultiLineString: {
            size_t n = 4;
            uint32_t lines = g.multiLine.lines ? g.multiLine.lineCount : 0;
            for (uint32_t i = 0; i < lines; ++i) n += LineBodySize(g.multiLine.lines[i]);
            return n;
        }
        case wkbMultiPolygon: {
            size_t n = 4;
            uint32_t polys = g.multiPolygon.polygons ? g.multiPolygon.polygonCount : 0;
            for (uint32_t i = 0; i < polys; ++i) n += PolygonBodySize(g.multiPolygon.polygons[i]);
            return n;
        }
        case wkbGeometryCollection: {
            if (member) return 0;
            size_t n = 4;
            uint32_t members = g.collection.members ? g.collection.memberCount : 0;
            for (uint32_t i = 0; i < members; ++i) {
                size_t m = BodySize(g.collection.members[i], true);
                if (m == 0) return 0;
                n += 4 + m;
            }
            return n;
        }
        case wkbTin:
            if (member) return 0;
            return 4 + sizeof(Triangle) * (g.tin.triangles ? g.tin.triangleCount : 0);
        case wkbGrid:
            if (member) return 0;
            return 8 + kGridHeaderSize + sizeof(double) * GridCells(g.grid);
        default:
            return 0;
    }
}

// ---- writer ----------------------------------------------------------------------------------

struct Writer {
    unsigned char* p;

    void U32(uint32_t v) {
        if constexpr (!kLittle) v = Swap(v);
        std::memcpy(p, &v, 4);
        p += 4;
    }
    void Doubles(const double* v, size_t n) {
        if constexpr (kLittle) {
            if (n) std::memcpy(p, v, n * 8);
            p += n * 8;
        } else {
            for (size_t i = 0; i < n; ++i) {
                uint64_t bits = Swap(std::bit_cast<uint64_t>(v[i]));
                std::memcpy(p, &bits, 8);
                p += 8;
            }
        }
    }
    void Points(const Point3D* pts, size_t n) { Doubles(reinterpret_cast<const double*>(pts), 3 * n); }
    void Bytes(const unsigned char* b, size_t n) {
        if (b) std::memcpy(p, b, n);
        else std::memset(p, 0, n);
        p += n;
    }

    void Line(const LineString& line) {
        uint32_t parts = line.parts ? line.partCount : 0;
        U32(parts);
        for (uint32_t i = 0; i < parts; ++i) {
            const CurveSegment& s = line.parts[i];
            uint32_t n = s.points ? s.pointCount : 0;
            U32(static_cast<uint32_t>(s.lineType));
            U32(n);
            Points(s.points, n);
        }
    }
    void Polygon(const WKBPolygon& polygon) {
        int32_t rings = polygon.rings && polygon.ringCount > 0 ? polygon.ringCount : 0;
        U32(static_cast<uint32_t>(rings));
        for (int32_t i = 0; i < rings; ++i) Line(polygon.rings[i]);
    }
    void Geometry(const WKBGeometry& g) {
        U32(static_cast<uint32_t>(g.type));
        switch (g.type) {
            case wkbPoint:
                Points(&g.point, 1);
                break;
            case wkbLineString:
                Line(g.line);
                break;
            case wkbPolygon:
                Polygon(g.polygon);
                break;
            case wkbMultiPoint: {
                uint32_t n = g.multiPoint.points ? g.multiPoint.pointCount : 0;
                U32(n);
                Points(g.multiPoint.points, n);
                break;
            }
            case wkbMultiLineString: {
                uint32_t n = g.multiLine.lines ? g.multiLine.lineCount : 0;
                U32(n);
                for (uint32_t i = 0; i < n; ++i) Line(g.multiLine.lines[i]);
                break;
            }
            case wkbMultiPolygon: {
                uint32_t n = g.multiPolygon.polygons ? g.multiPolygon.polygonCount : 0;
                U32(n);
                for (uint32_t i = 0; i < n; ++i) Polygon(g.multiPolygon.polygons[i]);
                break;
            }
            case wkbGeometryCollection: {
                uint32_t n = g.collection.members ? g.collection.memberCount : 0;
                U32(n);
                for (uint32_t i = 0; i < n; ++i) Geometry(g.collection.members[i]);
                break;
            }
            case wkbTin: {
                uint32_t n = g.tin.triangles ? g.tin.triangleCount : 0;
                U32(n);
                Points(n ? g.tin.triangles[0].p : nullptr, 3 * static_cast<size_t>(n));
                break;
            }
            case wkbGrid: {
                size_t cells = GridCells(g.grid);
                // Counts that claim values the record does not hold are written as an empty grid.
                bool keep = cells != 0 || static_cast<size_t>(g.grid.dimA) * g.grid.dimB == 0;
                U32(keep ? g.grid.dimA : 0);
                U32(keep ? g.grid.dimB : 0);
                Bytes(g.grid.header, kGridHeaderSize);
                Doubles(g.grid.values, cells);
                break;
            }
            default:
                break;
        }
    }
};

// ---- readers ---------------------------------------------------------------------------------

bool KnownLineType(uint32_t t) {
    switch (t) {
        case klLTNone: case klLTPolyline: case klLTBezier: case klLT3PArc: case klLTEllipse:
        case klLT3PCircle: case klLTSpline: case klLTSpline2:
            return true;
        default:
            return false;
    }
}

// One reader for both entry points. The trusting reader runs with an unlimited length and no
// line-type check; the checked one refuses any count whose minimal encoding cannot fit in the
// bytes left, so nothing is allocated beyond a small multiple of the input length.
struct Reader {
    const unsigned char* p;
    size_t left;
    bool strict;

    bool Need(size_t n) const { return n <= left; }
    // Whether count items of at least `each` bytes can still follow.
    bool Fits(uint64_t count, size_t each) const { return count <= left / each; }

    bool U32(uint32_t& v) {
        if (!Need(4)) return false;
        std::memcpy(&v, p, 4);
        if constexpr (!kLittle) v = Swap(v);
        p += 4;
        left -= 4;
        return true;
    }
    bool Doubles(double* out, size_t n) {
        if (n > left / 8) return false;
        if constexpr (kLittle) {
            if (n) std::memcpy(out, p, n * 8);
        } else {
            for (size_t i = 0; i < n; ++i) {
                uint64_t bits;
                std::memcpy(&bits, p + 8 * i, 8);
                out[i] = std::bit_cast<double>(Swap(bits));
            }
        }
        p += n * 8;
        left -= n * 8;
        return true;
    }

    bool Part(CurveSegment& s) {
        uint32_t type, n;
        if (!U32(type) || !U32(n)) return false;
        if (strict && !KnownLineType(type)) return false;
        if (!Fits(n, kPointBytes)) return false;
        s.lineType = static_cast<klLineType>(static_cast<int32_t>(type));
        if (n == 0) return true;
        s.points = new Point3D[n];
        s.pointCount = n;
        return Doubles(reinterpret_cast<double*>(s.points), 3 * static_cast<size_t>(n));
    }
    bool Line(LineString& line) {
        uint32_t n;
        if (!U32(n) || !Fits(n, kPartHead)) return false;
        if (n == 0) return true;
        line.parts = new CurveSegment[n]();
        line.partCount = n;
        for (uint32_t i = 0; i < n; ++i)
            if (!Part(line.parts[i])) return false;
        return true;
    }
    bool Lines(LineString*& lines, uint32_t n) {
        if (n == 0) return true;
        lines = new LineString[n]();
        for (uint32_t i = 0; i < n; ++i)
            if (!Line(lines[i])) return false;
        return true;
    }
    bool Polygon(WKBPolygon& polygon) {
        uint32_t n;
        if (!U32(n) || !Fits(n, 4)) return false;
        if (n > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) return false;
        // The count is set before the rings are read so that a failure part-way frees them.
        polygon.ringCount = static_cast<int32_t>(n);
        return Lines(polygon.rings, n);
    }

    bool Geometry(WKBGeometry& g, bool member) {
        uint32_t code;
        if (!U32(code)) return false;
        if (code < wkbPoint || code > wkbGrid) return false;
        if (member && code > wkbMultiPolygon) return false;
        // Each body is read into the record in place: the type goes in first with zero counts,
        // so a failure leaves a record that the caller's delete cleans up.
        switch (code) {
            case wkbPoint:
                g.type = wkbPoint;
                return Doubles(&g.point.x, 3);
            case wkbLineString:
                g.type = wkbLineString;
                g.line = LineString{0, nullptr};
                return Line(g.line);
            case wkbPolygon:
                g.type = wkbPolygon;
                g.polygon = WKBPolygon{0, nullptr};
                return Polygon(g.polygon);
            case wkbMultiPoint: {
                g.type = wkbMultiPoint;
                g.multiPoint = WKBMultiPoint{0, nullptr};
                uint32_t n;
                if (!U32(n) || !Fits(n, kPointBytes)) return false;
                if (n == 0) return true;
                g.multiPoint.points = new Point3D[n];
                g.multiPoint.pointCount = n;
                return Doubles(reinterpret_cast<double*>(g.multiPoint.points), 3 * static_cast<size_t>(n));
            }
            case wkbMultiLineString: {
                g.type = wkbMultiLineString;
                g.multiLine = WKBMultiLineString{0, nullptr};
                uint32_t n;
                if (!U32(n) || !Fits(n, 4)) return false;
                g.multiLine.lineCount = n;
                return Lines(g.multiLine.lines, n);
            }
            case wkbMultiPolygon: {
                g.type = wkbMultiPolygon;
                g.multiPolygon = WKBMultiPolygon{0, nullptr};
                uint32_t n;
                if (!U32(n) || !Fits(n, 4)) return false;
                if (n == 0) return true;
                g.multiPolygon.polygons = new WKBPolygon[n]();
                g.multiPolygon.polygonCount = n;
                for (uint32_t i = 0; i < n; ++i)
                    if (!Polygon(g.multiPolygon.polygons[i])) return false;
                return true;
            }
            case wkbGeometryCollection: {
                g.type = wkbGeometryCollection;
                g.collection = WKBGeometryCollection{0, nullptr};
                uint32_t n;
                if (!U32(n) || !Fits(n, 8)) return false;
                if (n == 0) return true;
                g.collection.members = new WKBSimpleGeometry[n]();
                g.collection.memberCount = n;
                for (uint32_t i = 0; i < n; ++i)
                    if (!Geometry(g.collection.members[i], true)) return false;
                return true;
            }
            case wkbTin: {
                g.type = wkbTin;
                g.tin = WKBTin{0, nullptr};
                uint32_t n;
                if (!U32(n) || !Fits(n, sizeof(Triangle))) return false;
                if (n == 0) return true;
                g.tin.triangles = new Triangle[n];
                g.tin.triangleCount = n;
                return Doubles(&g.tin.triangles[0].p[0].x, 9 * static_cast<size_t>(n));
            }
            case wkbGrid: {
                g.type = wkbGrid;
                g.grid = WKBGrid{0, 0, nullptr, nullptr};
                uint32_t a, b;
                if (!U32(a) || !U32(b) || !Need(kGridHeaderSize)) return false;
                uint64_t cells = static_cast<uint64_t>(a) * b;
                if (!Fits(cells, 8) || cells > std::numeric_limits<size_t>::max() / 8) return false;
                g.grid.header = new unsigned char[kGridHeaderSize];
                std::memcpy(g.grid.header, p, kGridHeaderSize);
                p += kGridHeaderSize;
                left -= kGridHeaderSize;
                if (a == 0 || b == 0) {
                    // Nothing follows a grid without cells; counts stay as read so the size matches.
                    g.grid.dimA = a;
                    g.grid.dimB = b;
                    return true;
                }
                g.grid.values = new double[cells];
                g.grid.dimA = a;
                g.grid.dimB = b;
                return Doubles(g.grid.values, static_cast<size_t>(cells));
            }
            default:
                return false;
        }
    }
};

int ReadGeometry(Reader& r, WKBGeometry* geom, bool exact) {
    geom->type = wkbEmpty;
    bool ok = false;
    try {
        ok = r.Geometry(*geom, false) && (!exact || r.left == 0);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (!ok) {
        DeleteWKBGeometry(geom);
        return 0;
    }
    return 1;
}

}  // namespace

size_t CalWkbGeomSize(const WKBGeometry* geom) {
    if (!geom) return 0;
    size_t body = BodySize(*geom, false);
    return body ? 4 + body : 0;
}

int WkbGeom2Binary(unsigned char* buffer, const WKBGeometry* geom) {
    if (!buffer || CalWkbGeomSize(geom) == 0) return 0;
    Writer w{buffer};
    w.Geometry(*geom);
    return 1;
}

int WkbGeom2ByteArray(std::vector<uint8_t>& bytes, const WKBGeometry* geom) {
    if (bytes.empty()) throw std::invalid_argument("WkbGeom2ByteArray: empty byte array");
    size_t n = CalWkbGeomSize(geom);
    if (n == 0 || bytes.size() < n) return 0;
    return WkbGeom2Binary(bytes.data(), geom);
}

int Binary2WkbGeom(const unsigned char* buffer, WKBGeometry* geom) {
    if (!geom) return 0;
    if (!buffer) {
        geom->type = wkbEmpty;
        return 0;
    }
    Reader r{buffer, std::numeric_limits<size_t>::max(), false};
    return ReadGeometry(r, geom, false);
}

int Binary2WkbGeom(const unsigned char* buffer, size_t length, WKBGeometry* geom) {
    if (!geom) return 0;
    if (!buffer) {
        geom->type = wkbEmpty;
        return 0;
    }
    Reader r{buffer, length, true};
    return ReadGeometry(r, geom, true);
}

}  // namespace kelo
