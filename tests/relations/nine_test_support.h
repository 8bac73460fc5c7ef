// Shapes described by coordinate lists, built both as geometry objects and as GEOS geometries
// (through WKT), so that relations and distances can be compared with an independent engine.
#pragma once

#include <geos_c.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "KeloGeomNet.h"

namespace ninetest {

using kelo::Point3D;
using Ring = std::vector<Point3D>;  // closed: last point repeats the first

struct Shape {
    std::vector<std::vector<Ring>> polygons;  // outer ring, then holes
    std::vector<Ring> lines;
    std::vector<Point3D> points;

    kelo::GM_Object Object() const {
        kelo::GM_Object g;
        for (const Point3D& p : points) g.InsertPointAt(p, -1);
        for (const Ring& l : lines) g.InsertPartsAt(kelo::keloParts(l, kelo::klLTPolyline), -1, 0);
        for (const auto& rings : polygons) {
            kelo::keloPolygon pg{kelo::keloParts(rings[0], kelo::klLTPolyline)};
            for (size_t h = 1; h < rings.size(); ++h) pg.InsertRing(kelo::keloParts(rings[h], kelo::klLTPolyline), 1);
            g.InsertPolygon(pg);
        }
        return g;
    }

    static std::string Coords(const Ring& r) {
        std::string s = "(";
        char buf[80];
        for (size_t i = 0; i < r.size(); ++i) {
            std::snprintf(buf, sizeof buf, "%s%.17g %.17g", i ? ", " : "", r[i].x, r[i].y);
            s += buf;
        }
        return s + ")";
    }
    static std::string Rings(const std::vector<Ring>& rings) {
        std::string s = "(";
        for (size_t i = 0; i < rings.size(); ++i) s += (i ? ", " : "") + Coords(rings[i]);
        return s + ")";
    }

    // One kind per shape (GEOS does not relate mixed collections).
    std::string Wkt() const {
        if (!polygons.empty()) {
            if (polygons.size() == 1) return "POLYGON " + Rings(polygons[0]);
            std::string s = "MULTIPOLYGON (";
            for (size_t i = 0; i < polygons.size(); ++i) s += (i ? ", " : "") + Rings(polygons[i]);
            return s + ")";
        }
        if (!lines.empty()) {
            if (lines.size() == 1) return "LINESTRING " + Coords(lines[0]);
            return "MULTILINESTRING " + Rings(lines);
        }
        if (points.size() == 1) return "POINT " + Coords(points);
        std::string s = "MULTIPOINT (";
        for (size_t i = 0; i < points.size(); ++i) s += (i ? ", " : "") + Coords({points[i]});
        return s + ")";
    }
};

inline Ring Rect(double x0, double y0, double x1, double y1) {
    return {{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}, {x0, y0, 0}};
}

class Geos {
public:
    Geos() : ctx_(GEOS_init_r()), reader_(GEOSWKTReader_create_r(ctx_)) {}
    ~Geos() {
        GEOSWKTReader_destroy_r(ctx_, reader_);
        GEOS_finish_r(ctx_);
    }
    Geos(const Geos&) = delete;
    Geos& operator=(const Geos&) = delete;

    GEOSContextHandle_t ctx() const { return ctx_; }
    GEOSGeometry* Read(const std::string& wkt) const { return GEOSWKTReader_read_r(ctx_, reader_, wkt.c_str()); }
    void Free(GEOSGeometry* g) const { GEOSGeom_destroy_r(ctx_, g); }
    bool Valid(const Shape& s) const {
        GEOSGeometry* g = Read(s.Wkt());
        if (!g) return false;
        const bool ok = GEOSisValid_r(ctx_, g) == 1;
        Free(g);
        return ok;
    }
    // The DE-9IM matrix with every end of a line part on the boundary; empty on failure.
    std::string Relate(const Shape& a, const Shape& b) const {
        GEOSGeometry *ga = Read(a.Wkt()), *gb = Read(b.Wkt());
        std::string out;
        if (ga && gb) {
            char* m = GEOSRelateBoundaryNodeRule_r(ctx_, ga, gb, GEOSRELATE_BNR_ENDPOINT);
            if (m) out = m;
            GEOSFree_r(ctx_, m);
        }
        if (ga) Free(ga);
        if (gb) Free(gb);
        return out;
    }
    double Distance(const Shape& a, const Shape& b) const {
        GEOSGeometry *ga = Read(a.Wkt()), *gb = Read(b.Wkt());
        double d = -1;
        if (ga && gb) GEOSDistance_r(ctx_, ga, gb, &d);
        if (ga) Free(ga);
        if (gb) Free(gb);
        return d;
    }

private:
    GEOSContextHandle_t ctx_;
    GEOSWKTReader* reader_;
};

// The eight dimensions as the first eight characters of a DE-9IM string.
inline std::string Text8(const int d[8]) { return kelo::NineIntersectionText(d).substr(0, 8); }

}  // namespace ninetest
