// Geometry object: construction from stored bytes (both readers) and the interior point of large
// polygons with many holes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "KeloGeomNet.h"

#ifdef KELO_BENCH_WITH_GEOS
#include <geos_c.h>
#endif

namespace {

using namespace kelo;

// A star of `spikes` points (2 * spikes vertices) with `holes` small square holes on a grid
// inside its core, at projected coordinates in the millions.
keloPolygon MakeStarWithHoles(int spikes, int holes) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(0.9, 1.0);
    const double cx = 3.5e6, cy = 4.2e5, inner = 1000, outer = 3000;
    std::vector<Point3D> ring;
    for (int i = 0; i < 2 * spikes; ++i) {
        const double a = M_PI * i / spikes, r = (i % 2 ? inner : outer) * u(rng);
        ring.push_back({cx + r * std::cos(a), cy + r * std::sin(a), 0});
    }
    ring.push_back(ring.front());
    keloPolygon poly(keloParts(ring, klLTPolyline));
    const int side = static_cast<int>(std::ceil(std::sqrt(holes)));
    const double cell = 1.2 * inner / side;
    for (int k = 0; k < holes; ++k) {
        const double x = cx - 0.6 * inner + (k % side + 0.5) * cell, y = cy - 0.6 * inner + (k / side + 0.5) * cell;
        const double h = cell / 4;
        poly.InsertRing(keloParts(std::vector<Point3D>{{x - h, y - h, 0}, {x + h, y - h, 0}, {x + h, y + h, 0},
                                                       {x - h, y + h, 0}, {x - h, y - h, 0}},
                                  klLTPolyline),
                        1);
    }
    return poly;
}

std::vector<unsigned char> Encode(const GM_Object& g) {
    std::vector<unsigned char> bytes(CalWkbGeomSize(&g));
    WkbGeom2Binary(bytes.data(), &g);
    return bytes;
}

GM_Object MakeMultiPolygon(int polygons, int spikes) {
    GM_Object g;
    keloPolygon base = MakeStarWithHoles(spikes, 4);
    for (int k = 0; k < polygons; ++k) {
        GM_Object moved(base);
        moved.OffsetAllPoints(Point3D{10000.0 * k, 0, 0});
        g.InsertPolygon(*moved.GetOriginalPolygonAt(0));
    }
    return g;
}

void BM_CreateFromBytes(benchmark::State& state) {
    const GM_Object g = MakeMultiPolygon(static_cast<int>(state.range(0)), 500);
    const std::vector<unsigned char> bytes = Encode(g);
    for (auto _ : state) {
        GM_Object o(bytes.data());
        benchmark::DoNotOptimize(o.type);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_CreateFromBytes)->Arg(10)->Arg(100);

void BM_CreateFromBytesChecked(benchmark::State& state) {
    const GM_Object g = MakeMultiPolygon(static_cast<int>(state.range(0)), 500);
    const std::vector<unsigned char> bytes = Encode(g);
    for (auto _ : state) {
        GM_Object o;
        benchmark::DoNotOptimize(o.Create(bytes.data(), bytes.size()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_CreateFromBytesChecked)->Arg(10)->Arg(100);

void BM_InnerPoint(benchmark::State& state) {
    const keloPolygon poly = MakeStarWithHoles(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    double x = 0, y = 0, z = 0;
    for (auto _ : state) benchmark::DoNotOptimize(innerPoint(poly, x, y, z, 1e-8, 0));
    state.SetItemsProcessed(state.iterations() * (2 * state.range(0) + 4 * state.range(1)));
}
BENCHMARK(BM_InnerPoint)->Args({500, 0})->Args({5000, 100})->Args({50000, 1000});

void BM_InnerPointCentroidVariant(benchmark::State& state) {
    const keloPolygon poly = MakeStarWithHoles(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    double x = 0, y = 0, z = 0;
    for (auto _ : state) benchmark::DoNotOptimize(innerPoint(poly, x, y, z, 1e-8, 1));
}
BENCHMARK(BM_InnerPointCentroidVariant)->Args({5000, 100})->Args({50000, 1000});

#ifdef KELO_BENCH_WITH_GEOS
// The peer: GEOS's point on surface of the same polygon, built once outside the timing.
void BM_GeosPointOnSurface(benchmark::State& state) {
    const keloPolygon poly = MakeStarWithHoles(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    GEOSContextHandle_t ctx = GEOS_init_r();
    std::vector<GEOSGeometry*> rings;
    for (int r = 0; r < poly.GetRingsCount(); ++r) {
        std::vector<Point3D> pts;
        poly.GetOriginalRingAt(r)->Discrete(pts, 1e-6);
        GEOSCoordSequence* seq = GEOSCoordSeq_create_r(ctx, static_cast<unsigned>(pts.size()), 2);
        for (size_t i = 0; i < pts.size(); ++i) GEOSCoordSeq_setXY_r(ctx, seq, static_cast<unsigned>(i), pts[i].x, pts[i].y);
        rings.push_back(GEOSGeom_createLinearRing_r(ctx, seq));
    }
    GEOSGeometry* g = GEOSGeom_createPolygon_r(ctx, rings[0], rings.data() + 1, static_cast<unsigned>(rings.size() - 1));
    double x = 0, y = 0;
    for (auto _ : state) {
        GEOSGeometry* p = GEOSPointOnSurface_r(ctx, g);
        GEOSGeomGetX_r(ctx, p, &x);
        GEOSGeomGetY_r(ctx, p, &y);
        GEOSGeom_destroy_r(ctx, p);
    }
    // Both answers must be interior points, or the comparison means nothing.
    double kx = 0, ky = 0, kz = 0;
    innerPoint(poly, kx, ky, kz, 1e-8, 0);
    state.counters["geos_inside"] = poly.IsPointIn(Point3D{x, y, 0}, 1e-8) == 1;
    state.counters["kelo_inside"] = poly.IsPointIn(Point3D{kx, ky, 0}, 1e-8) == 1;
    GEOSGeom_destroy_r(ctx, g);
    GEOS_finish_r(ctx);
}
BENCHMARK(BM_GeosPointOnSurface)->Args({500, 0})->Args({5000, 100})->Args({50000, 1000});
#endif

}  // namespace

BENCHMARK_MAIN();
