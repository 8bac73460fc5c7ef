// The packed intersection code over random segment pairs: the per-pair cost that the relation
// and overlay passes pay for every candidate pair their indexes hand them.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "KeloGeomNet.h"

#ifdef KELO_BENCH_WITH_GEOS
#include <geos_c.h>
#endif

using namespace kelo;

namespace {

// count segments in a 100 x 100 square, each about 10 long; arcs bulge by up to a third of their chord.
std::vector<Point3D> Segments(int count, bool arcs) {
    std::mt19937 g(42);
    std::uniform_real_distribution<double> pos(0, 100), step(-7, 7), bulge(-0.33, 0.33);
    std::vector<Point3D> v;
    for (int i = 0; i < count; ++i) {
        Point3D a{pos(g), pos(g), 0}, b{a.x + step(g), a.y + step(g), 0};
        v.push_back(a);
        if (arcs) {
            double k = bulge(g);
            v.push_back({(a.x + b.x) / 2 - k * (b.y - a.y), (a.y + b.y) / 2 + k * (b.x - a.x), 0});
        }
        v.push_back(b);
    }
    return v;
}

void Pairs(benchmark::State& state, bool arcsA, bool arcsB) {
    const int n = 256;
    std::vector<Point3D> a = Segments(n, arcsA), b = Segments(n, arcsB);
    int ta = arcsA ? klLT3PArc : klLTPolyline, tb = arcsB ? klLT3PArc : klLTPolyline;
    int sa = arcsA ? 3 : 2, sb = arcsB ? 3 : 2;
    size_t pairs = 0, contacts = 0;
    for (auto _ : state) {
        for (int i = 0; i < n; ++i) {
            CsSegment x(&a[i * sa], ta);
            for (int j = 0; j < n; ++j) {
                Point3D p1, p2;
                contacts += x.IntersectInfo(CsSegment(&b[j * sb], tb), p1, p2, 1e-6) != 0;
            }
        }
        pairs += size_t(n) * n;
    }
    state.counters["pairs/s"] = benchmark::Counter(double(pairs), benchmark::Counter::kIsRate);
    state.counters["contact share"] = double(contacts) / double(pairs);
}

void BM_StraightStraight(benchmark::State& s) { Pairs(s, false, false); }
void BM_StraightArc(benchmark::State& s) { Pairs(s, false, true); }
void BM_ArcArc(benchmark::State& s) { Pairs(s, true, true); }

#ifdef KELO_BENCH_WITH_GEOS
// The peer on the same straight pairs: GEOS's segment intersection (a crossing point or none).
void BM_GeosStraightStraight(benchmark::State& state) {
    const int n = 256;
    std::vector<Point3D> a = Segments(n, false), b = Segments(n, false);
    GEOSContextHandle_t ctx = GEOS_init_r();
    size_t pairs = 0, contacts = 0;
    for (auto _ : state) {
        for (int i = 0; i < n; ++i) {
            const Point3D &a0 = a[2 * i], &a1 = a[2 * i + 1];
            for (int j = 0; j < n; ++j) {
                const Point3D &b0 = b[2 * j], &b1 = b[2 * j + 1];
                double x = 0, y = 0;
                contacts += GEOSSegmentIntersection_r(ctx, a0.x, a0.y, a1.x, a1.y, b0.x, b0.y, b1.x, b1.y, &x, &y) == 1;
            }
        }
        pairs += size_t(n) * n;
    }
    GEOS_finish_r(ctx);
    state.counters["pairs/s"] = benchmark::Counter(double(pairs), benchmark::Counter::kIsRate);
    state.counters["contact share"] = double(contacts) / double(pairs);
}
BENCHMARK(BM_GeosStraightStraight);
#endif

}  // namespace

BENCHMARK(BM_StraightStraight);
BENCHMARK(BM_StraightArc);
BENCHMARK(BM_ArcArc);
BENCHMARK_MAIN();
