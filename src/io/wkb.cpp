// Well-Known Binary: the length-checked reader (either byte order, ISO or extended codes, an
// optional SRID) and the writer. Every count is checked against the bytes left before anything
// is allocated for it, so hostile input costs at most its own size.
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "geometry/geometry_object.h"
#include "io/standard_forms.h"
#include "io/standard_model.h"

namespace kelo {

using namespace detail;

namespace {

constexpr uint32_t kExtZ = 0x80000000u, kExtM = 0x40000000u, kExtSrid = 0x20000000u;
constexpr size_t kHeaderBytes = 5;  // byte order and type code

struct Header {
    StdKind kind;
    int dims;  // 2, 3 or 4 doubles per point
    bool z, m, big;
    size_t at;
};

bool KnownKind(uint32_t base) { return (base >= 1 && base <= 12) || (base >= 15 && base <= 17); }

class WkbReader {
public:
    WkbReader(const unsigned char* b, size_t n) : b_(b), n_(n) {}

    int32_t srid = 0;
    bool hasSrid = false, hasZ = false, droppedM = false;
    std::string error;
    size_t errorAt = 0;

    bool Top(StdGeom& g) {
        if (!Geometry(g, false)) return false;
        if (i_ != n_) return Fail(std::to_string(n_ - i_) + " bytes after the geometry", i_);
        return true;
    }

private:
    const unsigned char* b_;
    size_t n_;
    size_t i_ = 0;
    bool first_ = true;

    bool Fail(const std::string& what, size_t at) {
        if (error.empty()) {
            error = what + " at " + std::to_string(at);
            errorAt = at;
        }
        return false;
    }
    size_t Left() const { return n_ - i_; }
    bool Need(size_t k, const char* what) {
        if (Left() >= k) return true;
        return Fail(std::string("truncated: expected ") + what, i_);
    }
    uint32_t U32(bool big) {
        uint32_t v;
        std::memcpy(&v, b_ + i_, 4);
        i_ += 4;
        if (big != (std::endian::native == std::endian::big)) v = __builtin_bswap32(v);
        return v;
    }
    double F64(bool big) {
        uint64_t v;
        std::memcpy(&v, b_ + i_, 8);
        i_ += 8;
        if (big != (std::endian::native == std::endian::big)) v = __builtin_bswap64(v);
        return std::bit_cast<double>(v);
    }

    bool ReadHeader(Header& h) {
        h.at = i_;
        if (!Need(kHeaderBytes, "a byte order and a type code")) return false;
        unsigned char order = b_[i_];
        if (order > 1) return Fail("expected byte order 0 or 1", i_);
        ++i_;
        h.big = order == 0;
        uint32_t code = U32(h.big);
        h.z = code & kExtZ;
        h.m = code & kExtM;
        bool withSrid = code & kExtSrid;
        uint32_t iso = code & 0x0FFFFFFFu;
        if (code & 0x10000000u || iso / 1000 > 3 || !KnownKind(iso % 1000) ||
            ((h.z || h.m) && iso >= 1000))
            return Fail("unknown geometry type code " + std::to_string(code), h.at + 1);
        if (iso / 1000 == 1 || iso / 1000 == 3) h.z = true;
        if (iso / 1000 == 2 || iso / 1000 == 3) h.m = true;
        h.kind = static_cast<StdKind>(iso % 1000);
        h.dims = 2 + h.z + h.m;
        if (h.z) hasZ = true;
        if (h.m) droppedM = true;
        if (withSrid) {
            if (!Need(4, "an SRID")) return false;
            int32_t v = static_cast<int32_t>(U32(h.big));
            if (first_) {
                srid = v;
                hasSrid = true;
            }
        }
        first_ = false;
        return true;
    }
    bool Count(uint32_t& n, size_t minEach, bool big, const char* what) {
        if (!Need(4, what)) return false;
        size_t at = i_;
        n = U32(big);
        if (minEach && n > Left() / minEach)
            return Fail("count " + std::to_string(n) + " needs more than the " + std::to_string(Left()) +
                            " bytes left",
                        at);
        return true;
    }
    bool Coord(Point3D& p, const Header& h) {
        size_t at = i_;
        double v[4];
        for (int k = 0; k < h.dims; ++k) v[k] = F64(h.big);
        p = {v[0], v[1], h.z ? v[2] : kUnknownZ};
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            return Fail("non-finite coordinate", at);
        return true;
    }
    bool Points(std::vector<Point3D>& pts, const Header& h) {
        uint32_t n;
        if (!Count(n, 8 * h.dims, h.big, "a point count")) return false;
        pts.resize(n);
        for (uint32_t k = 0; k < n; ++k)
            if (!Coord(pts[k], h)) return false;
        return true;
    }
    bool Run(StdKind kind, StdCurve& c, const Header& h) {
        StdRun r;
        r.type = kind == StdKind::CircularString ? klLT3PArc : klLTPolyline;
        size_t at = i_;
        if (!Points(r.pts, h)) return false;
        if (r.pts.empty()) return true;
        if (r.type == klLT3PArc && (r.pts.size() < 3 || r.pts.size() % 2 == 0))
            return Fail("a circular string needs an odd number of points, at least 3", at);
        c.push_back(std::move(r));
        return true;
    }
    bool CurveGeom(StdCurve& c, bool compoundAllowed) {
        Header h;
        if (!ReadHeader(h)) return false;
        if (h.kind == StdKind::LineString || h.kind == StdKind::CircularString) return Run(h.kind, c, h);
        if (h.kind != StdKind::CompoundCurve || !compoundAllowed) return Fail("expected a curve", h.at);
        uint32_t n;
        if (!Count(n, kHeaderBytes + 4, h.big, "a component count")) return false;
        for (uint32_t k = 0; k < n; ++k)
            if (!CurveGeom(c, false)) return false;
        return true;
    }
    bool SurfaceGeom(StdSurface& s, bool curvesAllowed, Header* seen = nullptr) {
        Header h;
        if (!ReadHeader(h)) return false;
        if (seen) *seen = h;
        uint32_t n;
        if (h.kind == StdKind::Polygon || h.kind == StdKind::Triangle) {
            if (!Count(n, 4, h.big, "a ring count")) return false;
            s.resize(n);
            for (uint32_t k = 0; k < n; ++k) {
                s[k].emplace_back();
                if (!Points(s[k][0].pts, h)) return false;
                if (s[k][0].pts.empty()) s[k].clear();
            }
            return true;
        }
        if (h.kind != StdKind::CurvePolygon || !curvesAllowed) return Fail("expected a polygon", h.at);
        if (!Count(n, kHeaderBytes + 4, h.big, "a ring count")) return false;
        s.resize(n);
        for (uint32_t k = 0; k < n; ++k)
            if (!CurveGeom(s[k], true)) return false;
        return true;
    }
    bool PointGeom(Point3D& p, bool& empty) {
        Header h;
        if (!ReadHeader(h)) return false;
        if (h.kind != StdKind::Point) return Fail("expected a point", h.at);
        if (!Need(8 * h.dims, "a point")) return false;
        // The standard writes an empty point as NaN coordinates.
        size_t at = i_;
        double x = F64(h.big), y = F64(h.big);
        if (std::isnan(x) && std::isnan(y)) {
            i_ = at + 8 * h.dims;
            empty = true;
            return true;
        }
        i_ = at;
        empty = false;
        return Coord(p, h);
    }

    bool Geometry(StdGeom& g, bool member) {
        size_t at = i_;
        Header h;
        if (!ReadHeader(h)) return false;
        i_ = at;  // each kind reads its own header again through the helpers below
        uint32_t n;
        switch (h.kind) {
            case StdKind::Point: {
                bool empty = false;
                Point3D p;
                if (!PointGeom(p, empty)) return false;
                if (empty) {
                    if (member) return Fail("an empty point cannot be held in a collection", at);
                    g.type = wkbEmpty;
                } else {
                    g.type = wkbPoint;
                    g.points.push_back(p);
                }
                return true;
            }
            case StdKind::LineString:
            case StdKind::CircularString:
            case StdKind::CompoundCurve:
                g.type = wkbLineString;
                g.curves.emplace_back();
                return CurveGeom(g.curves.back(), true);
            case StdKind::Polygon:
            case StdKind::CurvePolygon:
            case StdKind::Triangle:
                g.type = wkbPolygon;
                g.surfaces.emplace_back();
                return SurfaceGeom(g.surfaces.back(), true);
            default:
                break;
        }
        ReadHeader(h);
        switch (h.kind) {
            case StdKind::MultiPoint:
                g.type = wkbMultiPoint;
                if (!Count(n, kHeaderBytes + 16, h.big, "a point count")) return false;
                g.points.resize(n);
                for (uint32_t k = 0; k < n; ++k) {
                    size_t pa = i_;
                    bool empty = false;
                    if (!PointGeom(g.points[k], empty)) return false;
                    if (empty) return Fail("an empty point cannot be held in a multipoint", pa);
                }
                return true;
            case StdKind::MultiLineString:
            case StdKind::MultiCurve:
                g.type = wkbMultiLineString;
                if (!Count(n, kHeaderBytes + 4, h.big, "a line count")) return false;
                g.curves.resize(n);
                for (uint32_t k = 0; k < n; ++k)
                    if (!CurveGeom(g.curves[k], h.kind == StdKind::MultiCurve)) return false;
                return true;
            case StdKind::MultiPolygon:
            case StdKind::MultiSurface:
                g.type = wkbMultiPolygon;
                if (!Count(n, kHeaderBytes + 4, h.big, "a polygon count")) return false;
                g.surfaces.resize(n);
                for (uint32_t k = 0; k < n; ++k)
                    if (!SurfaceGeom(g.surfaces[k], h.kind == StdKind::MultiSurface)) return false;
                return true;
            case StdKind::GeometryCollection:
                if (member) return Fail("a collection inside a collection cannot be held", at);
                g.type = wkbGeometryCollection;
                if (!Count(n, kHeaderBytes + 4, h.big, "a member count")) return false;
                g.members.resize(n);
                for (uint32_t k = 0; k < n; ++k)
                    if (!Geometry(g.members[k], true)) return false;
                return true;
            case StdKind::Tin:
                if (member) return Fail("a TIN inside a collection cannot be held", at);
                g.type = wkbTin;
                if (!Count(n, kHeaderBytes + 8, h.big, "a triangle count")) return false;
                for (uint32_t k = 0; k < n; ++k) {
                    size_t ta = i_;
                    StdSurface s;
                    Header th;
                    if (!SurfaceGeom(s, false, &th)) return false;
                    if (th.kind != StdKind::Triangle || s.size() != 1 || s[0].size() != 1 || s[0][0].pts.size() != 4)
                        return Fail("expected a triangle of one ring of 4 points", ta);
                    const std::vector<Point3D>& p = s[0][0].pts;
                    g.triangles.push_back(Triangle{{p[0], p[1], p[2]}});
                }
                return true;
            default:
                return Fail(std::string(StdKindName(h.kind)) + " cannot be held", at);
        }
    }
};

// ---- writer -----------------------------------------------------------------------------------

class WkbWriter {
public:
    WkbWriter(std::vector<uint8_t>& out, const StandardWriteOptions& o, bool z) : o_(out), opt_(o), z_(z) {
        sridPending_ = o.flavor == klWkbExtended && o.withSrid;
    }

    void Geom(const StdGeom& g) {
        StdKind k = GeomKind(g);
        switch (g.type) {
            case wkbEmpty: {
                Head(StdKind::Point);
                const double nan = std::numeric_limits<double>::quiet_NaN();
                Coord({nan, nan, nan});
                return;
            }
            case wkbPoint:
                Head(k);
                Coord(g.points[0]);
                return;
            case wkbLineString:
                Curve(g.curves[0]);
                return;
            case wkbPolygon:
                Surface(g.surfaces[0], k == StdKind::CurvePolygon);
                return;
            case wkbMultiPoint:
                Head(k);
                U32(static_cast<uint32_t>(g.points.size()));
                for (const Point3D& p : g.points) {
                    Head(StdKind::Point);
                    Coord(p);
                }
                return;
            case wkbMultiLineString:
                Head(k);
                U32(static_cast<uint32_t>(g.curves.size()));
                for (const StdCurve& c : g.curves) Curve(c);
                return;
            case wkbMultiPolygon:
                Head(k);
                U32(static_cast<uint32_t>(g.surfaces.size()));
                for (const StdSurface& s : g.surfaces) Surface(s, !SurfaceIsLinear(s));
                return;
            case wkbGeometryCollection:
                Head(k);
                U32(static_cast<uint32_t>(g.members.size()));
                for (const StdGeom& m : g.members) Geom(m);
                return;
            case wkbTin:
                Head(k);
                U32(static_cast<uint32_t>(g.triangles.size()));
                for (const Triangle& t : g.triangles) {
                    Head(StdKind::Triangle);
                    U32(1);
                    U32(4);
                    for (int i = 0; i < 4; ++i) Coord(t.p[i % 3]);
                }
                return;
            default:
                return;
        }
    }

private:
    std::vector<uint8_t>& o_;
    const StandardWriteOptions& opt_;
    bool z_;
    bool sridPending_;

    void U32(uint32_t v) {
        if (opt_.bigEndian != (std::endian::native == std::endian::big)) v = __builtin_bswap32(v);
        const auto* p = reinterpret_cast<const uint8_t*>(&v);
        o_.insert(o_.end(), p, p + 4);
    }
    void F64(double d) {
        uint64_t v = std::bit_cast<uint64_t>(d);
        if (opt_.bigEndian != (std::endian::native == std::endian::big)) v = __builtin_bswap64(v);
        const auto* p = reinterpret_cast<const uint8_t*>(&v);
        o_.insert(o_.end(), p, p + 8);
    }
    void Head(StdKind k) {
        o_.push_back(opt_.bigEndian ? 0 : 1);
        uint32_t code = static_cast<uint32_t>(k);
        if (opt_.flavor == klWkbIso) {
            if (z_) code += 1000;
            U32(code);
            return;
        }
        if (z_) code |= kExtZ;
        if (sridPending_) code |= kExtSrid;
        U32(code);
        if (sridPending_) U32(static_cast<uint32_t>(opt_.srid));
        sridPending_ = false;
    }
    void Coord(const Point3D& p) {
        F64(p.x);
        F64(p.y);
        if (z_) F64(p.z);
    }
    void Points(const std::vector<Point3D>& pts) {
        U32(static_cast<uint32_t>(pts.size()));
        for (const Point3D& p : pts) Coord(p);
    }
    void Run(const StdRun& r) {
        Head(r.type == klLT3PArc ? StdKind::CircularString : StdKind::LineString);
        Points(r.pts);
    }
    void Curve(const StdCurve& c) {
        if (c.empty()) {
            Head(StdKind::LineString);
            U32(0);
        } else if (c.size() == 1) {
            Run(c[0]);
        } else {
            Head(StdKind::CompoundCurve);
            U32(static_cast<uint32_t>(c.size()));
            for (const StdRun& r : c) Run(r);
        }
    }
    void Surface(const StdSurface& s, bool curved) {
        Head(curved ? StdKind::CurvePolygon : StdKind::Polygon);
        U32(static_cast<uint32_t>(s.size()));
        for (const StdCurve& ring : s) {
            if (curved) Curve(ring);
            else Points(ring.empty() ? std::vector<Point3D>{} : ring[0].pts);
        }
    }
};

}  // namespace

int WkbToGeometry(const unsigned char* bytes, size_t length, GM_Object& out, StandardFormInfo* info) {
    out.DeleteContent();
    WkbReader r(bytes, bytes ? length : 0);
    StdGeom model;
    bool ok = r.Top(model);
    if (info) {
        *info = StandardFormInfo{};
        info->srid = r.srid;
        info->hasSrid = r.hasSrid;
        info->hasZ = r.hasZ;
        info->measuresDropped = r.droppedM;
        info->error = r.error;
        info->errorOffset = r.errorAt;
    }
    if (!ok) return 0;
    WKBGeometry rec;
    RecordFromModel(model, rec);
    static_cast<WKBGeometry&>(out) = rec;
    return 1;
}

int GeometryToWkb(const WKBGeometry& geom, std::vector<uint8_t>& bytes, const StandardWriteOptions& options,
                  StandardFormInfo* info) {
    bytes.clear();
    StdGeom model;
    bool z = false;
    if (!ModelForWriting(geom, options, model, z, info)) return 0;
    WkbWriter(bytes, options, z).Geom(model);
    if (info) {
        info->srid = options.srid;
        info->hasSrid = options.flavor == klWkbExtended && options.withSrid;
    }
    return 1;
}

}  // namespace kelo
