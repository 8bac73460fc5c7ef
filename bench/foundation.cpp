// Throughput of the point and box primitives every other subsystem leans on.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "KeloGeomNet.h"

namespace {

std::vector<kelo::Point3D> RandomPoints(size_t n) {
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> u(-1000, 1000);
    std::vector<kelo::Point3D> pts(n);
    for (auto& p : pts) p = {u(rng), u(rng), 0};
    return pts;
}

void BM_BoxAddPoints(benchmark::State& state) {
    auto pts = RandomPoints(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        kelo::Box b;
        for (const auto& p : pts) b.add(p.x, p.y);
        benchmark::DoNotOptimize(b);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BoxAddPoints)->Arg(1 << 16);

void BM_PointEquality(benchmark::State& state) {
    auto pts = RandomPoints(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        int hits = 0;
        for (size_t i = 1; i < pts.size(); ++i) hits += kelo::IsTwoPointXYEqual(pts[i - 1], pts[i], 50.0);
        benchmark::DoNotOptimize(hits);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PointEquality)->Arg(1 << 16);

}  // namespace
