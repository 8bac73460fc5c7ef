// Nine-intersection relations of two wavy 10,000-vertex polygons that cross each other hundreds of
// times, and point-in-polygon throughput on a 100,000-vertex polygon; GEOS on the same data in the
// same run when its C API is present.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "KeloGeomNet.h"

#if __has_include(<geos_c.h>)
#include <geos_c.h>
#define KELO_BENCH_GEOS 1
#endif

using namespace kelo;

namespace {

// A closed wavy ring about (cx, cy): radius r plus a wave of `waves` periods.
std::vector<Point3D> Wavy(int n, double cx, double cy, double r, double amp, int waves, double phase) {
    std::vector<Point3D> pts;
    for (int i = 0; i < n; ++i) {
        double t = 2 * M_PI * i / n;
        double rad = r + amp * std::sin(waves * t + phase);
        pts.push_back({cx + rad * std::cos(t), cy + rad * std::sin(t), 0});
    }
    pts.push_back(pts.front());
    return pts;
}

GM_Object Polygon(const std::vector<Point3D>& ring) {
    GM_Object g;
    std::vector<Point3D> copy = ring;
    g.Create(copy, 1, klLTPolyline);
    return g;
}

const std::vector<Point3D>& RingA() {
    static const auto r = Wavy(10000, 0, 0, 100, 8, 211, 0);
    return r;
}
const std::vector<Point3D>& RingB() {
    static const auto r = Wavy(10000, 40, 10, 100, 8, 173, 1);
    return r;
}
const std::vector<Point3D>& RingBig() {
    static const auto r = Wavy(100000, 0, 0, 1000, 30, 997, 0);
    return r;
}

std::vector<Point3D> Probes(int n, double half) {
    std::mt19937 g(11);
    std::uniform_real_distribution<double> u(-half, half);
    std::vector<Point3D> p;
    for (int i = 0; i < n; ++i) p.push_back({u(g), u(g), 0});
    return p;
}

void BM_Relate10k(benchmark::State& state) {
    const GM_Object a = Polygon(RingA()), b = Polygon(RingB());
    int dims[8];
    for (auto _ : state) {
        Relate9i(a, b, 1e-9, dims);
        benchmark::DoNotOptimize(dims);
    }
    state.SetLabel(NineIntersectionText(dims));
}
BENCHMARK(BM_Relate10k)->Unit(benchmark::kMillisecond);

// A's index kept between calls, as a host relating one parcel to many does.
void BM_Relate10kIndexedA(benchmark::State& state) {
    const GM_Object a = Polygon(RingA()), b = Polygon(RingB());
    C9iObjIndex ia(&a);
    int dims[8];
    for (auto _ : state) {
        ia.Get9i8BOOLEx(&b, 1e-9, dims);
        benchmark::DoNotOptimize(dims);
    }
}
BENCHMARK(BM_Relate10kIndexedA)->Unit(benchmark::kMillisecond);

void BM_PointInPolygon100k(benchmark::State& state) {
    const GM_Object big = Polygon(RingBig());
    const C9iObjIndex index(&big);
    const std::vector<Point3D> probes = Probes(4096, 1050);
    size_t i = 0, inside = 0;
    for (auto _ : state) {
        inside += index.Locate(probes[i++ & 4095], 1e-9) == 0;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    benchmark::DoNotOptimize(inside);
}
BENCHMARK(BM_PointInPolygon100k);

#ifdef KELO_BENCH_GEOS

struct GeosData {
    GEOSContextHandle_t ctx = GEOS_init_r();
    GEOSGeometry* Ring(const std::vector<Point3D>& pts) const {
        GEOSCoordSequence* seq = GEOSCoordSeq_create_r(ctx, static_cast<unsigned>(pts.size()), 2);
        for (size_t i = 0; i < pts.size(); ++i) GEOSCoordSeq_setXY_r(ctx, seq, static_cast<unsigned>(i), pts[i].x, pts[i].y);
        return GEOSGeom_createPolygon_r(ctx, GEOSGeom_createLinearRing_r(ctx, seq), nullptr, 0);
    }
    GEOSGeometry* Point(const Point3D& p) const { return GEOSGeom_createPointFromXY_r(ctx, p.x, p.y); }
    ~GeosData() { GEOS_finish_r(ctx); }
};

void BM_GeosRelate10k(benchmark::State& state) {
    GeosData g;
    GEOSGeometry *a = g.Ring(RingA()), *b = g.Ring(RingB());
    std::string m;
    for (auto _ : state) {
        char* r = GEOSRelate_r(g.ctx, a, b);
        m = r;
        GEOSFree_r(g.ctx, r);
    }
    state.SetLabel(m);
    GEOSGeom_destroy_r(g.ctx, a);
    GEOSGeom_destroy_r(g.ctx, b);
}
BENCHMARK(BM_GeosRelate10k)->Unit(benchmark::kMillisecond);

// GEOS 3.11 has no prepared relate: the prepared peer answers the two questions a host asks most
// (do they meet, does A contain B), with A prepared once and its indexes kept.
void BM_GeosPreparedIntersectsContains10k(benchmark::State& state) {
    GeosData g;
    GEOSGeometry *a = g.Ring(RingA()), *b = g.Ring(RingB());
    const GEOSPreparedGeometry* pa = GEOSPrepare_r(g.ctx, a);
    GEOSPreparedIntersects_r(g.ctx, pa, b);  // builds the prepared indexes
    for (auto _ : state) {
        char meet = GEOSPreparedIntersects_r(g.ctx, pa, b);
        char holds = GEOSPreparedContains_r(g.ctx, pa, b);
        benchmark::DoNotOptimize(meet);
        benchmark::DoNotOptimize(holds);
    }
    GEOSPreparedGeom_destroy_r(g.ctx, pa);
    GEOSGeom_destroy_r(g.ctx, a);
    GEOSGeom_destroy_r(g.ctx, b);
}
BENCHMARK(BM_GeosPreparedIntersectsContains10k)->Unit(benchmark::kMillisecond);

void BM_GeosPreparedPointInPolygon100k(benchmark::State& state) {
    GeosData g;
    GEOSGeometry* big = g.Ring(RingBig());
    const GEOSPreparedGeometry* prep = GEOSPrepare_r(g.ctx, big);
    const std::vector<Point3D> probes = Probes(4096, 1050);
    std::vector<GEOSGeometry*> pts;
    for (const Point3D& p : probes) pts.push_back(g.Point(p));
    GEOSPreparedContains_r(g.ctx, prep, pts[0]);  // builds the point locator
    size_t i = 0, inside = 0;
    for (auto _ : state) {
        inside += GEOSPreparedContains_r(g.ctx, prep, pts[i++ & 4095]) == 1;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    benchmark::DoNotOptimize(inside);
    for (GEOSGeometry* p : pts) GEOSGeom_destroy_r(g.ctx, p);
    GEOSPreparedGeom_destroy_r(g.ctx, prep);
    GEOSGeom_destroy_r(g.ctx, big);
}
BENCHMARK(BM_GeosPreparedPointInPolygon100k);

#endif

}  // namespace
