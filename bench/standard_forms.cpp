// WKT and WKB reading and writing against GEOS on the same geometries: 2 000 parcels of 60 outer
// vertices and one hole, as one text or binary per parcel (what a file or database hands over).
#include <benchmark/benchmark.h>
#include <geos_c.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "KeloGeomNet.h"

namespace {

struct Data {
    std::vector<std::string> wkt;
    std::vector<std::vector<uint8_t>> wkb;
    std::vector<kelo::GM_Object> objects;
    GEOSContextHandle_t h = GEOS_init_r();
    std::vector<GEOSGeometry*> geos;

    Data() {
        std::mt19937 rng(5);
        std::uniform_real_distribution<double> u(0.8, 1.0);
        objects.resize(2000);
        for (int k = 0; k < 2000; ++k) {
            auto ring = [&](double r, int n, bool reverse) {
                std::string s = "(";
                char buf[64];
                std::vector<double> radius(n);
                for (double& v : radius) v = r * u(rng);
                for (int i = 0; i <= n; ++i) {
                    const int j = i % n;
                    const double a = 2 * M_PI * (reverse ? n - j : j) / n, rr = radius[j];
                    std::snprintf(buf, sizeof buf, "%s%.6f %.6f", i ? ", " : "", 500000 + 300 * k + rr * std::cos(a),
                                  4000000 + rr * std::sin(a));
                    s += buf;
                }
                return s + ")";
            };
            wkt.push_back("POLYGON (" + ring(100, 60, false) + ", " + ring(20, 8, true) + ")");
            kelo::WktToGeometry(wkt.back(), objects[k]);
            wkb.emplace_back();
            kelo::GeometryToWkb(objects[k], wkb.back());
            GEOSWKTReader* r = GEOSWKTReader_create_r(h);
            geos.push_back(GEOSWKTReader_read_r(h, r, wkt.back().c_str()));
            if (!geos.back()) std::abort();
            GEOSWKTReader_destroy_r(h, r);
        }
    }
};

Data& D() {
    static Data d;
    return d;
}

void OursReadWkt(benchmark::State& st) {
    for (auto _ : st)
        for (const std::string& t : D().wkt) {
            kelo::GM_Object g;
            benchmark::DoNotOptimize(kelo::WktToGeometry(t, g));
        }
    st.SetItemsProcessed(st.iterations() * 2000);
}
void GeosReadWkt(benchmark::State& st) {
    GEOSContextHandle_t h = D().h;
    GEOSWKTReader* r = GEOSWKTReader_create_r(h);
    for (auto _ : st)
        for (const std::string& t : D().wkt) GEOSGeom_destroy_r(h, GEOSWKTReader_read_r(h, r, t.c_str()));
    GEOSWKTReader_destroy_r(h, r);
    st.SetItemsProcessed(st.iterations() * 2000);
}
void OursReadWkb(benchmark::State& st) {
    for (auto _ : st)
        for (const auto& b : D().wkb) {
            kelo::GM_Object g;
            benchmark::DoNotOptimize(kelo::WkbToGeometry(b.data(), b.size(), g));
        }
    st.SetItemsProcessed(st.iterations() * 2000);
}
void GeosReadWkb(benchmark::State& st) {
    GEOSContextHandle_t h = D().h;
    GEOSWKBReader* r = GEOSWKBReader_create_r(h);
    for (auto _ : st)
        for (const auto& b : D().wkb) GEOSGeom_destroy_r(h, GEOSWKBReader_read_r(h, r, b.data(), b.size()));
    GEOSWKBReader_destroy_r(h, r);
    st.SetItemsProcessed(st.iterations() * 2000);
}
void OursWriteWkt(benchmark::State& st) {
    std::string t;
    for (auto _ : st)
        for (const kelo::GM_Object& g : D().objects) benchmark::DoNotOptimize(kelo::GeometryToWkt(g, t));
    st.SetItemsProcessed(st.iterations() * 2000);
}
void GeosWriteWkt(benchmark::State& st) {
    GEOSContextHandle_t h = D().h;
    GEOSWKTWriter* w = GEOSWKTWriter_create_r(h);
    GEOSWKTWriter_setTrim_r(h, w, 1);
    GEOSWKTWriter_setRoundingPrecision_r(h, w, 17);
    for (auto _ : st)
        for (GEOSGeometry* g : D().geos) GEOSFree_r(h, GEOSWKTWriter_write_r(h, w, g));
    GEOSWKTWriter_destroy_r(h, w);
    st.SetItemsProcessed(st.iterations() * 2000);
}
void OursWriteWkb(benchmark::State& st) {
    std::vector<uint8_t> b;
    for (auto _ : st)
        for (const kelo::GM_Object& g : D().objects) benchmark::DoNotOptimize(kelo::GeometryToWkb(g, b));
    st.SetItemsProcessed(st.iterations() * 2000);
}
void GeosWriteWkb(benchmark::State& st) {
    GEOSContextHandle_t h = D().h;
    GEOSWKBWriter* w = GEOSWKBWriter_create_r(h);
    size_t n;
    for (auto _ : st)
        for (GEOSGeometry* g : D().geos) GEOSFree_r(h, GEOSWKBWriter_write_r(h, w, g, &n));
    GEOSWKBWriter_destroy_r(h, w);
    st.SetItemsProcessed(st.iterations() * 2000);
}

BENCHMARK(OursReadWkt)->Unit(benchmark::kMillisecond);
BENCHMARK(GeosReadWkt)->Unit(benchmark::kMillisecond);
BENCHMARK(OursReadWkb)->Unit(benchmark::kMillisecond);
BENCHMARK(GeosReadWkb)->Unit(benchmark::kMillisecond);
BENCHMARK(OursWriteWkt)->Unit(benchmark::kMillisecond);
BENCHMARK(GeosWriteWkt)->Unit(benchmark::kMillisecond);
BENCHMARK(OursWriteWkb)->Unit(benchmark::kMillisecond);
BENCHMARK(GeosWriteWkb)->Unit(benchmark::kMillisecond);

}  // namespace
