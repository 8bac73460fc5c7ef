// Simplification and buffers against GEOS on the same data: a random walk thinned by our
// Douglas-Peucker and by GEOSSimplify; random walks of 10k and 100k vertices and 100k random
// points buffered by ours (circles within 0.02 of the distance, the chord error of GEOS's eight
// segments a quarter circle) and by GEOSBuffer with its defaults.
#include <benchmark/benchmark.h>
#include <geos_c.h>

#include <cmath>
#include <random>
#include <vector>

#include "overlay/buffer.h"
#include "overlay/dilute.h"

using namespace kelo;

namespace {

std::vector<Point3D> Walk(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> step(0, 1);
    std::vector<Point3D> p;
    double x = 0, y = 0;
    for (int i = 0; i < n; ++i) {
        p.push_back({x, y, 0});
        x += step(rng) + 0.2;
        y += step(rng);
    }
    return p;
}

std::vector<Point3D> Scatter(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0, 1000);
    std::vector<Point3D> p;
    for (int i = 0; i < n; ++i) p.push_back({u(rng), u(rng), 0});
    return p;
}

struct Geos {
    GEOSContextHandle_t h = GEOS_init_r();
    ~Geos() { GEOS_finish_r(h); }
    GEOSGeometry* Line(const std::vector<Point3D>& p) const {
        GEOSCoordSequence* cs = GEOSCoordSeq_create_r(h, static_cast<unsigned>(p.size()), 2);
        for (size_t i = 0; i < p.size(); ++i) GEOSCoordSeq_setXY_r(h, cs, static_cast<unsigned>(i), p[i].x, p[i].y);
        return GEOSGeom_createLineString_r(h, cs);
    }
    GEOSGeometry* Points(const std::vector<Point3D>& p) const {
        std::vector<GEOSGeometry*> g;
        for (const Point3D& q : p) g.push_back(GEOSGeom_createPointFromXY_r(h, q.x, q.y));
        return GEOSGeom_createCollection_r(h, GEOS_MULTIPOINT, g.data(), static_cast<unsigned>(g.size()));
    }
};

constexpr double kSimplifyTol = 2.0;
constexpr double kBufferDist = 3.0;

void BM_SimplifyOurs(benchmark::State& state) {
    keloPoints run(Walk(static_cast<int>(state.range(0)), 1), klLTPolyline);
    for (auto _ : state) {
        keloPoints out;
        Dilute1(run, kSimplifyTol, out, 0);
        benchmark::DoNotOptimize(out.GetCount());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SimplifyGeos(benchmark::State& state) {
    Geos g;
    GEOSGeometry* line = g.Line(Walk(static_cast<int>(state.range(0)), 1));
    for (auto _ : state) {
        GEOSGeometry* out = GEOSSimplify_r(g.h, line, kSimplifyTol);
        benchmark::DoNotOptimize(out);
        GEOSGeom_destroy_r(g.h, out);
    }
    GEOSGeom_destroy_r(g.h, line);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BufferOurs(benchmark::State& state, GM_Object& in) {
    std::vector<GM_Object*> objects{&in};
    for (auto _ : state) {
        GM_Object out;
        ComputeBuffer(objects, kBufferDist, out, kBufferCapRound, kBufferJoinRound, kBufferBoth, 0.02, 1);
        benchmark::DoNotOptimize(out.GetPolygonCount());
    }
}

void BufferGeos(benchmark::State& state, Geos& g, GEOSGeometry* in) {
    for (auto _ : state) {
        GEOSGeometry* out = GEOSBuffer_r(g.h, in, kBufferDist, 8);
        benchmark::DoNotOptimize(out);
        GEOSGeom_destroy_r(g.h, out);
    }
    GEOSGeom_destroy_r(g.h, in);
}

void BM_BufferLineOurs(benchmark::State& state) {
    std::vector<Point3D> walk = Walk(static_cast<int>(state.range(0)), 2);
    GM_Object line(keloParts(walk, klLTPolyline), 0);
    BufferOurs(state, line);
}

void BM_BufferLineGeos(benchmark::State& state) {
    Geos g;
    BufferGeos(state, g, g.Line(Walk(static_cast<int>(state.range(0)), 2)));
}

void BM_BufferPointsOurs(benchmark::State& state) {
    std::vector<Point3D> pts = Scatter(static_cast<int>(state.range(0)), 3);
    GM_Object points;
    points.type = wkbMultiPoint;
    points.multiPoint = {static_cast<uint32_t>(pts.size()), new Point3D[pts.size()]};
    std::copy(pts.begin(), pts.end(), points.multiPoint.points);
    BufferOurs(state, points);
}

void BM_BufferPointsGeos(benchmark::State& state) {
    Geos g;
    BufferGeos(state, g, g.Points(Scatter(static_cast<int>(state.range(0)), 3)));
}

}  // namespace

BENCHMARK(BM_SimplifyOurs)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SimplifyGeos)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BufferLineOurs)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_BufferLineGeos)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_BufferPointsOurs)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_BufferPointsGeos)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
