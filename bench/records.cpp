// Throughput of the binary record encoding on a large multi-polygon: size, write, and both readers.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "KeloGeomNet.h"

namespace {

using namespace kelo;

// A multi-polygon of `polygons` parcels, each an outer ring of `vertices` straight points with one
// hole, the outer ring carrying a three-point arc part as parcels with rounded corners do.
WKBGeometry MakeMultiPolygon(int polygons, int vertices) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> jitter(0.9, 1.1);
    WKBGeometry g;
    g.type = wkbMultiPolygon;
    g.multiPolygon = {static_cast<uint32_t>(polygons), new WKBPolygon[polygons]()};
    for (int k = 0; k < polygons; ++k) {
        double cx = 1000.0 * (k % 100), cy = 1000.0 * (k / 100);
        WKBPolygon& p = g.multiPolygon.polygons[k];
        p = {2, new LineString[2]()};
        for (int r = 0; r < 2; ++r) {
            double radius = r == 0 ? 400 : 100;
            int n = r == 0 ? vertices : vertices / 4;
            LineString& ring = p.rings[r];
            ring = {r == 0 ? 2u : 1u, new CurveSegment[r == 0 ? 2 : 1]};
            auto at = [&](double t) {
                double rr = radius * jitter(rng);
                return Point3D{cx + rr * std::cos(t), cy + rr * std::sin(t), 12.5};
            };
            CurveSegment& straight = ring.parts[0];
            straight = {klLTPolyline, static_cast<uint32_t>(n), new Point3D[n]};
            for (int i = 0; i < n; ++i) straight.points[i] = at(2 * M_PI * i / n * (r == 0 ? 0.9 : 1.0));
            if (r == 1) {
                straight.points[n - 1] = straight.points[0];
                continue;
            }
            CurveSegment& arc = ring.parts[1];
            arc = {klLT3PArc, 3, new Point3D[3]};
            arc.points[0] = straight.points[n - 1];
            arc.points[1] = at(2 * M_PI * 0.95);
            arc.points[2] = straight.points[0];
        }
    }
    return g;
}

struct Fixture {
    WKBGeometry geom;
    std::vector<unsigned char> bytes;
    Fixture(int polygons, int vertices) : geom(MakeMultiPolygon(polygons, vertices)) {
        bytes.resize(CalWkbGeomSize(&geom));
        WkbGeom2Binary(bytes.data(), &geom);
    }
    ~Fixture() { DeleteWKBGeometry(&geom); }
};

void BM_Encode(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::vector<unsigned char> out(f.bytes.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(CalWkbGeomSize(&f.geom));
        WkbGeom2Binary(out.data(), &f.geom);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.bytes.size()));
    state.counters["bytes"] = static_cast<double>(f.bytes.size());
}
BENCHMARK(BM_Encode)->Args({1000, 200})->Args({10000, 50})->Unit(benchmark::kMillisecond);

void BM_DecodeTrusting(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        WKBGeometry g;
        Binary2WkbGeom(f.bytes.data(), &g);
        DeleteWKBGeometry(&g);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.bytes.size()));
}
BENCHMARK(BM_DecodeTrusting)->Args({1000, 200})->Args({10000, 50})->Unit(benchmark::kMillisecond);

void BM_DecodeChecked(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        WKBGeometry g;
        Binary2WkbGeom(f.bytes.data(), f.bytes.size(), &g);
        DeleteWKBGeometry(&g);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.bytes.size()));
}
BENCHMARK(BM_DecodeChecked)->Args({1000, 200})->Args({10000, 50})->Unit(benchmark::kMillisecond);

void BM_DeepCopy(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        WKBGeometry g;
        CopyWKBGeometry(g, f.geom);
        DeleteWKBGeometry(&g);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.bytes.size()));
}
BENCHMARK(BM_DeepCopy)->Args({1000, 200})->Args({10000, 50})->Unit(benchmark::kMillisecond);

}  // namespace
