// GEOS as the independent engine the tests compare with. Geometry crosses in both directions as
// Well-Known Binary, so the oracle sees exactly the coordinates the library holds and the library
// reads back exactly what GEOS computed. Test-only: the library never links GEOS.
#pragma once

#include <geos_c.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "geometry/geometry_object.h"
#include "io/standard_forms.h"

namespace kelo_test {

class GeosOracle {
public:
    struct Free {
        GEOSContextHandle_t ctx;
        void operator()(GEOSGeometry* g) const { GEOSGeom_destroy_r(ctx, g); }
    };
    using Ptr = std::unique_ptr<GEOSGeometry, Free>;

    GeosOracle() : ctx_(GEOS_init_r()) {
        reader_ = GEOSWKBReader_create_r(ctx_);
        writer_ = GEOSWKBWriter_create_r(ctx_);
        wkt_ = GEOSWKTReader_create_r(ctx_);
    }
    ~GeosOracle() {
        GEOSWKBReader_destroy_r(ctx_, reader_);
        GEOSWKBWriter_destroy_r(ctx_, writer_);
        GEOSWKTReader_destroy_r(ctx_, wkt_);
        GEOS_finish_r(ctx_);
    }
    GeosOracle(const GeosOracle&) = delete;
    GeosOracle& operator=(const GeosOracle&) = delete;

    GEOSContextHandle_t ctx() const { return ctx_; }
    Ptr Own(GEOSGeometry* g) const { return Ptr(g, Free{ctx_}); }

    // Null when our writer or GEOS's reader refuses the geometry (curves are written as chords).
    Ptr From(const kelo::WKBGeometry& g) const {
        std::vector<uint8_t> bytes;
        if (!kelo::GeometryToWkb(g, bytes)) return Own(nullptr);
        return Own(GEOSWKBReader_read_r(ctx_, reader_, bytes.data(), bytes.size()));
    }
    Ptr FromWkt(const std::string& text) const { return Own(GEOSWKTReader_read_r(ctx_, wkt_, text.c_str())); }

    // 1 when GEOS's result came back into `out`.
    int To(const GEOSGeometry* g, kelo::GM_Object& out) const {
        size_t n = 0;
        unsigned char* bytes = GEOSWKBWriter_write_r(ctx_, writer_, g, &n);
        if (!bytes) return 0;
        const int ok = kelo::WkbToGeometry(bytes, n, out);
        GEOSFree_r(ctx_, bytes);
        return ok;
    }

    double Area(const GEOSGeometry* g) const {
        double a = 0;
        return g && GEOSArea_r(ctx_, g, &a) ? a : -1;
    }
    double Length(const GEOSGeometry* g) const {
        double l = 0;
        return g && GEOSLength_r(ctx_, g, &l) ? l : -1;
    }
    // Empty when valid, else GEOS's reason.
    std::string Invalidity(const GEOSGeometry* g) const {
        if (GEOSisValid_r(ctx_, g) == 1) return {};
        char* why = GEOSisValidReason_r(ctx_, g);
        std::string text = why ? why : "invalid";
        GEOSFree_r(ctx_, why);
        return text;
    }
    // Area of the symmetric difference; -1 when GEOS could not compute it.
    double XorArea(const GEOSGeometry* a, const GEOSGeometry* b) const {
        Ptr x = Own(GEOSSymDifference_r(ctx_, a, b));
        return x ? Area(x.get()) : -1;
    }

private:
    GEOSContextHandle_t ctx_;
    GEOSWKBReader* reader_;
    GEOSWKBWriter* writer_;
    GEOSWKTReader* wkt_;
};

}  // namespace kelo_test
