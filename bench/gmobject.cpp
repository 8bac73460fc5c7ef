// Geometry object: construction from stored bytes (both readers) and the interior point of large
// polygons with many holes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "KeloGeomNet.h"

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
BENCHMARK(BM_InnerPointCentroidVariant)->Args({50000, 1000});

}  // namespace

BENCHMARK_MAIN();
