// The quadtree over one million random boxes: building it record by record and in one bulk load,
// and the box queries that the relation and overlay passes issue against it.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "KeloGeomNet.h"

#if __has_include(<boost/geometry/index/rtree.hpp>)
#define KELO_BENCH_WITH_BOOST 1
#include <boost/geometry/geometries/box.hpp>
#include <boost/geometry/geometries/point.hpp>
#include <boost/geometry/index/rtree.hpp>
#endif
#ifdef KELO_BENCH_WITH_GEOS
#include <geos_c.h>
#endif

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
        // A much-queried index answers from its compact copy; make it before timing (its one-time
        // cost is measured by BM_FirstQueries).
        CNodeInfoArray warm;
        for (int i = 0; i < kCount / 8; ++i) ix->PointQuery(Point3D{1.0 * (i % 1000), 1.0 * (i / 1000), 0}, warm);
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
// Each query size runs a while before it is timed, here and for the peer: the first passes over
// the 1024 windows fetch their nodes from memory and, right after the index is made, compete
// with its freeing and paging; the figures are meant to be steady-state queries.
constexpr double kWarmUp = 0.3;
BENCHMARK(BM_BoxQuery)->Arg(10)->Arg(100)->Arg(1000)->MinWarmUpTime(kWarmUp);

// The queries that a freshly built index answers before it makes its compact copy, and the copy.
void BM_FirstQueries(benchmark::State& state) {
    const auto& boxes = Boxes();
    std::vector<Box> queries = Queries(10, 1024);
    for (auto _ : state) {
        state.PauseTiming();
        auto* ix = new GeometryIndex;
        for (int i = 0; i < kCount; ++i) ix->Add(&boxes[i], static_cast<uint32_t>(i + 1));
        state.ResumeTiming();
        CNodeInfoArray out;
        for (int i = 0; i < kCount / 16; ++i) ix->BoxQuery(queries[i & 1023], out);
        state.PauseTiming();
        delete ix;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstQueries)->Unit(benchmark::kMillisecond)->Iterations(1);

#ifdef KELO_BENCH_WITH_BOOST
// The peer: Boost.Geometry's R-tree loaded by its packing constructor from the same boxes.
namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;
using BPoint = bg::model::point<double, 2, bg::cs::cartesian>;
using BBox = bg::model::box<BPoint>;
using BValue = std::pair<BBox, uint32_t>;
using BTree = bgi::rtree<BValue, bgi::quadratic<16>>;

std::vector<BValue> BoostValues() {
    const auto& boxes = Boxes();
    std::vector<BValue> v;
    v.reserve(kCount);
    for (int i = 0; i < kCount; ++i)
        v.push_back({BBox(BPoint(boxes[i].minx, boxes[i].miny), BPoint(boxes[i].maxx, boxes[i].maxy)), uint32_t(i + 1)});
    return v;
}

void BM_BoostPackedBuild(benchmark::State& state) {
    const std::vector<BValue> values = BoostValues();
    for (auto _ : state) {
        BTree tree(values.begin(), values.end());
        benchmark::DoNotOptimize(tree.size());
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_BoostPackedBuild)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_BoostPackedQuery(benchmark::State& state) {
    static BTree* tree = [] {
        const std::vector<BValue> values = BoostValues();
        return new BTree(values.begin(), values.end());
    }();
    std::vector<Box> queries = Queries(static_cast<double>(state.range(0)), 1024);
    std::vector<BValue> out;
    size_t found = 0, i = 0;
    for (auto _ : state) {
        out.clear();
        const Box& q = queries[i++ & 1023];
        tree->query(bgi::intersects(BBox(BPoint(q.minx, q.miny), BPoint(q.maxx, q.maxy))), std::back_inserter(out));
        found += out.size();
    }
    state.counters["hits/query"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_BoostPackedQuery)->Arg(10)->Arg(100)->Arg(1000)->MinWarmUpTime(kWarmUp);
#endif

#ifdef KELO_BENCH_WITH_GEOS
// The peer: GEOS's STR-tree (node capacity 10) over two-point lines spanning the same boxes. GEOS
// builds the tree at the first query, so the build figure includes one query.
struct GeosTree {
    GEOSContextHandle_t ctx = GEOS_init_r();
    GEOSSTRtree* tree = GEOSSTRtree_create_r(ctx, 10);
    std::vector<GEOSGeometry*> geoms;
    GeosTree() {
        const auto& boxes = Boxes();
        geoms.reserve(kCount);
        for (int i = 0; i < kCount; ++i) {
            GEOSCoordSequence* seq = GEOSCoordSeq_create_r(ctx, 2, 2);
            GEOSCoordSeq_setXY_r(ctx, seq, 0, boxes[i].minx, boxes[i].miny);
            GEOSCoordSeq_setXY_r(ctx, seq, 1, boxes[i].maxx, boxes[i].maxy);
            geoms.push_back(GEOSGeom_createLineString_r(ctx, seq));
        }
    }
    void Load() {
        for (int i = 0; i < kCount; ++i)
            GEOSSTRtree_insert_r(ctx, tree, geoms[i], reinterpret_cast<void*>(static_cast<uintptr_t>(i + 1)));
    }
    size_t Query(const Box& q) {
        GEOSGeometry* env = Envelope(q);
        size_t hits = 0;
        GEOSSTRtree_query_r(ctx, tree, env, [](void*, void* user) { ++*static_cast<size_t*>(user); }, &hits);
        GEOSGeom_destroy_r(ctx, env);
        return hits;
    }
    GEOSGeometry* Envelope(const Box& q) {
        GEOSCoordSequence* seq = GEOSCoordSeq_create_r(ctx, 2, 2);
        GEOSCoordSeq_setXY_r(ctx, seq, 0, q.minx, q.miny);
        GEOSCoordSeq_setXY_r(ctx, seq, 1, q.maxx, q.maxy);
        return GEOSGeom_createLineString_r(ctx, seq);
    }
    ~GeosTree() {
        GEOSSTRtree_destroy_r(ctx, tree);
        for (GEOSGeometry* g : geoms) GEOSGeom_destroy_r(ctx, g);
        GEOS_finish_r(ctx);
    }
};

void BM_GeosStrTreeBuild(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto* t = new GeosTree;
        state.ResumeTiming();
        t->Load();
        benchmark::DoNotOptimize(t->Query(Box(0, 0, 1, 1)));
        state.PauseTiming();
        delete t;
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_GeosStrTreeBuild)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_GeosStrTreeQuery(benchmark::State& state) {
    static GeosTree* tree = [] {
        auto* t = new GeosTree;
        t->Load();
        t->Query(Box(0, 0, 1, 1));
        return t;
    }();
    std::vector<Box> queries = Queries(static_cast<double>(state.range(0)), 1024);
    // The query envelopes are made outside the timing, as the other trees take plain boxes.
    std::vector<GEOSGeometry*> envs;
    for (const Box& q : queries) envs.push_back(tree->Envelope(q));
    size_t found = 0, i = 0;
    for (auto _ : state)
        GEOSSTRtree_query_r(tree->ctx, tree->tree, envs[i++ & 1023], [](void*, void* user) { ++*static_cast<size_t*>(user); },
                            &found);
    for (GEOSGeometry* e : envs) GEOSGeom_destroy_r(tree->ctx, e);
    state.counters["hits/query"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_GeosStrTreeQuery)->Arg(10)->Arg(100)->Arg(1000)->MinWarmUpTime(kWarmUp);
#endif

}  // namespace
