// Road graph on a synthetic city of one million crossings: loading, one least-cost search, the
// route services, and (when its headers are present) Boost Graph Library's Dijkstra on the same
// directed graph and weights, for scale.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "KeloGeomNet.h"

#if __has_include(<boost/graph/compressed_sparse_row_graph.hpp>) && __has_include(<boost/graph/dijkstra_shortest_paths_no_color_map.hpp>)
#define KELO_BENCH_WITH_BOOST 1
#include <boost/graph/compressed_sparse_row_graph.hpp>
#include <boost/graph/dijkstra_shortest_paths_no_color_map.hpp>
#endif

namespace {

using kelo::Point3D;

constexpr int kSide = 1000;  // kSide x kSide crossings
constexpr double kSpacing = 100.0;
constexpr double kX0 = 500000.0, kY0 = 3000000.0;
// Travel time without crossing times: the flag both searches can share.
constexpr int32_t kPlainTime = 2;

struct City {
    std::vector<Point3D> pos;
    struct Street {
        int a, b;
        float speed;
        bool twoWay;
    };
    std::vector<Street> streets;
};

const City& TheCity() {
    static const City city = [] {
        City c;
        std::mt19937 rng(2026);
        std::uniform_real_distribution<double> jitter(-20.0, 20.0), u(0.0, 1.0);
        std::uniform_real_distribution<float> speed(20.0f, 80.0f);
        c.pos.reserve(static_cast<size_t>(kSide) * kSide);
        for (int r = 0; r < kSide; ++r)
            for (int k = 0; k < kSide; ++k)
                c.pos.push_back({kX0 + k * kSpacing + jitter(rng), kY0 + r * kSpacing + jitter(rng), 0.0});
        auto add = [&](int a, int b) {
            const bool oneWay = u(rng) < 0.1;
            if (oneWay && u(rng) < 0.5) std::swap(a, b);
            c.streets.push_back({a, b, speed(rng), !oneWay});
        };
        for (int r = 0; r < kSide; ++r)
            for (int k = 0; k < kSide; ++k) {
                const int v = r * kSide + k;
                if (k + 1 < kSide) add(v, v + 1);
                if (r + 1 < kSide) add(v, v + kSide);
            }
        return c;
    }();
    return city;
}

void Load(kelo::Dijkstra_Route& g) {
    const City& c = TheCity();
    g.Init_Initial(kelo::klRoutePlanarMetre, true, 0.5, 500000);
    for (const City::Street& s : c.streets) {
        const Point3D pts[2] = {c.pos[s.a], c.pos[s.b]};
        g.Init_Lines(pts, 2, s.speed, s.twoWay, false, 0u, int16_t{0});
    }
}

kelo::Dijkstra_Route& TheGraph() {
    static std::unique_ptr<kelo::Dijkstra_Route> g = [] {
        auto p = std::make_unique<kelo::Dijkstra_Route>();
        Load(*p);
        p->Make_Graph();
        return p;
    }();
    return *g;
}

Point3D Crossing(int r, int k) { return TheCity().pos[static_cast<size_t>(r) * kSide + k]; }

void BM_GraphBuild(benchmark::State& state) {
    TheCity();
    for (auto _ : state) {
        kelo::Dijkstra_Route g;
        Load(g);
        g.Make_Graph();
        benchmark::DoNotOptimize(g.GetEdgeN());
    }
    state.counters["vertices"] = static_cast<double>(kSide) * kSide;
    state.counters["lines"] = static_cast<double>(TheCity().streets.size());
}
BENCHMARK(BM_GraphBuild)->Unit(benchmark::kMillisecond)->Iterations(2);

// The reference build: the same snapping to a grid of twice the tolerance, an ordered map from grid
// key to vertex, per-line length and cost, and a compressed sparse row adjacency by counting.
void BM_ReferenceCsrBuild(benchmark::State& state) {
    const City& c = TheCity();
    const double g = 2 * 0.5;
    for (auto _ : state) {
        std::map<int64_t, int32_t> keys;
        std::vector<int64_t> vertKeys;
        struct E {
            int32_t from, to;
            float w;
        };
        std::vector<E> edges;
        edges.reserve(2 * c.streets.size());
        auto vertex = [&](const Point3D& p) {
            const int64_t k = (std::llround(p.y / g) << 32) ^ (std::llround(p.x / g) & 0xFFFFFFFF);
            auto it = keys.lower_bound(k);
            if (it != keys.end() && it->first == k) return it->second;
            const int32_t id = static_cast<int32_t>(vertKeys.size());
            vertKeys.push_back(k);
            keys.emplace_hint(it, k, id);
            return id;
        };
        for (const City::Street& s : c.streets) {
            const Point3D &a = c.pos[s.a], &b = c.pos[s.b];
            const int32_t va = vertex(a), vb = vertex(b);
            const float w = static_cast<float>(std::hypot(b.x - a.x, b.y - a.y)) * (0.06f / s.speed);
            edges.push_back({va, vb, w});
            if (s.twoWay) edges.push_back({vb, va, w});
        }
        std::vector<int32_t> first(vertKeys.size() + 1, 0), target(edges.size());
        std::vector<float> weight(edges.size());
        for (const E& e : edges) ++first[e.from + 1];
        for (size_t v = 1; v < first.size(); ++v) first[v] += first[v - 1];
        std::vector<int32_t> fill(first.begin(), first.end() - 1);
        for (const E& e : edges) {
            target[fill[e.from]] = e.to;
            weight[fill[e.from]++] = e.w;
        }
        benchmark::DoNotOptimize(target.data());
        benchmark::DoNotOptimize(weight.data());
    }
}
BENCHMARK(BM_ReferenceCsrBuild)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_Solve(benchmark::State& state) {
    kelo::Dijkstra_Route& g = TheGraph();
    const int start = g.Binary_Search(Crossing(kSide / 2, kSide / 2));
    // Untimed, like the making of Boost's graph: the packed edge costs for this flag.
    g.Solve(start, static_cast<int32_t>(state.range(0)));
    for (auto _ : state) {
        g.Solve(start, static_cast<int32_t>(state.range(0)));
        benchmark::DoNotOptimize(g.GetDist(0));
    }
}
BENCHMARK(BM_Solve)->Arg(kPlainTime)->Arg(kelo::klRouteCostTime)->Unit(benchmark::kMillisecond)->Iterations(5);

// A search after a line was blocked and unblocked: it first remakes the packed edge costs that
// searches share while no line changes (Boost's counterpart, its graph, is made outside its timing).
void BM_SolveAfterLineEdit(benchmark::State& state) {
    kelo::Dijkstra_Route& g = TheGraph();
    const int start = g.Binary_Search(Crossing(kSide / 2, kSide / 2));
    for (auto _ : state) {
        g.SetLineBlock(0, !g.IsLineBlock(0));
        g.Solve(start, kPlainTime);
        benchmark::DoNotOptimize(g.GetDist(0));
    }
    if (g.IsLineBlock(0)) g.SetLineBlock(0, false);
}
BENCHMARK(BM_SolveAfterLineEdit)->Unit(benchmark::kMillisecond)->Iterations(4);

#ifdef KELO_BENCH_WITH_BOOST
// The same directed edges and the same float weights (length x per-length cost), vertices numbered
// as in our graph so both searches start at the same place.
void BM_BoostDijkstra(benchmark::State& state) {
    kelo::Dijkstra_Route& g = TheGraph();
    using Graph = boost::compressed_sparse_row_graph<boost::directedS, boost::no_property, float>;
    std::vector<std::pair<int, int>> edges;
    std::vector<float> weights;
    edges.reserve(g.GetEdgeN());
    weights.reserve(g.GetEdgeN());
    for (int i = 0; i < g.GetEdgeN(); ++i) {
        const auto e = g.GetEdgeAt(i);
        const kelo::streetLine line = g.GetStreetLineAt(e.line);
        edges.push_back({e.from, e.to});
        weights.push_back(line.GetCost(kPlainTime));
    }
    Graph bg(boost::edges_are_unsorted_multi_pass, edges.begin(), edges.end(), weights.begin(),
             static_cast<size_t>(g.GetPointN()));
    std::vector<float> dist(g.GetPointN());
    std::vector<Graph::vertex_descriptor> pred(g.GetPointN());
    const int start = g.Binary_Search(Crossing(kSide / 2, kSide / 2));
    for (auto _ : state) {
        boost::dijkstra_shortest_paths_no_color_map(
            bg, static_cast<Graph::vertex_descriptor>(start),
            boost::weight_map(boost::get(boost::edge_bundle, bg))
                .distance_map(boost::make_iterator_property_map(dist.begin(), boost::get(boost::vertex_index, bg)))
                .predecessor_map(boost::make_iterator_property_map(pred.begin(), boost::get(boost::vertex_index, bg))));
        benchmark::DoNotOptimize(dist.data());
    }
    // Same answers as our search, or the comparison would be meaningless.
    g.Solve(start, kPlainTime);
    double worst = 0.0;
    for (int v = 0; v < g.GetPointN(); v += 997)
        if (g.GetPre(v) != -1) worst = std::max(worst, std::abs(g.GetDist(v) - dist[v]) / std::max(1.0, double(dist[v])));
    state.counters["max_rel_diff_vs_kelo"] = worst;
}
BENCHMARK(BM_BoostDijkstra)->Unit(benchmark::kMillisecond)->Iterations(5);
#endif

void BM_BestRoute2Pos(benchmark::State& state) {
    kelo::Dijkstra_Route& g = TheGraph();
    const Point3D a = Crossing(10, 10), b = Crossing(kSide - 10, kSide - 20);
    const int64_t ka = g.myStreetPt_VertId(a), kb = g.myStreetPt_VertId(b);
    for (auto _ : state) {
        kelo::myRouteResult r;
        benchmark::DoNotOptimize(g.FindBestRoute2Pos(ka, kb, r, kelo::klRouteCostTime));
        state.counters["route_points"] = r.GetCount();
    }
}
BENCHMARK(BM_BestRoute2Pos)->Unit(benchmark::kMillisecond)->Iterations(3);

// Positions off the crossings: every call snaps (a scan of all lines) before it searches.
void BM_NearestFacility(benchmark::State& state) {
    kelo::Dijkstra_Route& g = TheGraph();
    std::vector<Point3D> facilities;
    for (int i = 0; i < 10; ++i) facilities.push_back(Crossing(100 + 80 * i, 900 - 70 * i));
    const Point3D pos{kX0 + 500.3 * kSpacing, kY0 + 480.6 * kSpacing, 0};
    for (auto _ : state) {
        kelo::myRouteResult r;
        benchmark::DoNotOptimize(g.FindNearestHosptal(pos, facilities, r, state.range(0) != 0, kelo::klRouteCostTime));
    }
}
BENCHMARK(BM_NearestFacility)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ServiceArea(benchmark::State& state) {
    kelo::Dijkstra_Route& g = TheGraph();
    const Point3D centre{kX0 + 300.4 * kSpacing, kY0 + 600.7 * kSpacing, 0};
    for (auto _ : state) {
        kelo::myRouteResult r;
        benchmark::DoNotOptimize(g.FindServiceArea(centre, r, 5000.0, state.range(0) != 0, kelo::klRouteCostLength));
        state.counters["ring_points"] = r.GetCount();
    }
}
BENCHMARK(BM_ServiceArea)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DeliveryTour(benchmark::State& state) {
    kelo::Dijkstra_Route& g = TheGraph();
    const int depotsN = static_cast<int>(state.range(0));
    std::vector<Point3D> depots, targets;
    for (int d = 0; d < depotsN; ++d) depots.push_back(Crossing(200 + 300 * d, 300 + 200 * d));
    for (int t = 0; t < 8; ++t) targets.push_back(Crossing(150 + 90 * t, 700 - 60 * t));
    for (auto _ : state) {
        std::vector<kelo::myRouteResult> routes;
        benchmark::DoNotOptimize(g.FindBestPostRoute(depots, targets, routes, 1, kelo::klRouteCostTime));
    }
}
BENCHMARK(BM_DeliveryTour)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
