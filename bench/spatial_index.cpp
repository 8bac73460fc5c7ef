// The quadtree over one million random boxes: building it record by record and in one bulk load,
// and the box queries that the relation and overlay passes issue against it.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "KeloGeomNet.h"

using namespace kelo;

namespace {

constexpr int kCount = 1000000;
constexpr double kExtent = 100000;

// Boxes up to 50 wide scattered over a 100 km square: roughly segment boxes of a dense map.
const std::vector<Box>& Boxes() {
    static const std::vector<Box> boxes = [] {
        std::mt19937 g(42);
        std::uniform_real_distribution<double> pos(0, kExtent), size(0, 50);
        std::vector<Box> v;
        v.reserve(kCount);
        for (int i = 0; i < kCount; ++i) {
            double x = pos(g), y = pos(g);
            v.emplace_back(x, y, x + size(g), y + size(g));
        }
        return v;
    }();
    return boxes;
}

std::vector<Box> Queries(double side, int count) {
    std::mt19937 g(7);
    std::uniform_real_distribution<double> pos(0, kExtent - side);
    std::vector<Box> v;
    for (int i = 0; i < count; ++i) {
        double x = pos(g), y = pos(g);
        v.emplace_back(x, y, x + side, y + side);
    }
    return v;
}

void BM_BuildOneByOne(benchmark::State& state) {
    const auto& boxes = Boxes();
    for (auto _ : state) {
        GeometryIndex index;
        for (int i = 0; i < kCount; ++i) index.Add(&boxes[i], static_cast<uint32_t>(i + 1));
        benchmark::DoNotOptimize(index.GetNodeInfoArray().size());
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_BuildOneByOne)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_BuildBulk(benchmark::State& state) {
    const auto& boxes = Boxes();
    std::vector<Box> copies = boxes;
    std::vector<NodeInfoType> recs(kCount);
    for (int i = 0; i < kCount; ++i) recs[i] = {static_cast<uint32_t>(i + 1), &copies[i]};
    for (auto _ : state) {
        GeometryIndex index;
        index.Add(kCount, recs.data());
        benchmark::DoNotOptimize(index.GetNodeInfoArray().size());
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_BuildBulk)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_BoxQuery(benchmark::State& state) {
    static GeometryIndex* index = [] {
        auto* ix = new GeometryIndex;
        const auto& boxes = Boxes();
        for (int i = 0; i < kCount; ++i) ix->Add(&boxes[i], static_cast<uint32_t>(i + 1));
        return ix;
    }();
    std::vector<Box> queries = Queries(static_cast<double>(state.range(0)), 1024);
    CNodeInfoArray out;
    size_t found = 0, i = 0;
    for (auto _ : state) {
        found += static_cast<size_t>(index->BoxQuery(queries[i++ & 1023], out));
    }
    state.counters["hits/query"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_BoxQuery)->Arg(10)->Arg(100)->Arg(1000);

}  // namespace
