// Discretising long curve runs: output points per second for arc chains, Bezier runs, cardinal
// splines and ellipse chains.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "KeloGeomNet.h"

using namespace kelo;

namespace {

// A wavy run of n stored points around the x axis, with a little randomness so no two pieces
// are alike.
std::vector<Point3D> Wave(int n, double amplitude) {
    std::mt19937 g(42);
    std::uniform_real_distribution<double> jitter(-0.2, 0.2);
    std::vector<Point3D> v;
    for (int i = 0; i < n; ++i) v.push_back({i * 10.0, amplitude * std::sin(i * 0.7) + jitter(g), 0.0});
    return v;
}

void Run(benchmark::State& state, const keloPoints& run, double eps) {
    size_t points = 0;
    std::vector<Point3D> out;
    for (auto _ : state) {
        out.clear();
        run.Discrete(out, eps);
        points += out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["points/s"] = benchmark::Counter(double(points), benchmark::Counter::kIsRate);
    state.counters["points/run"] = double(out.size());
}

void BM_ArcChain(benchmark::State& state) {
    keloPoints run(Wave(int(state.range(0)) * 2 + 1, 8.0), klLT3PArc);
    Run(state, run, 0.01);
}

void BM_Bezier(benchmark::State& state) {
    keloPoints run(Wave(int(state.range(0)) * 3 + 1, 8.0), klLTBezier);
    Run(state, run, 0.01);
}

void BM_Spline(benchmark::State& state) {
    keloPoints run(Wave(int(state.range(0)) + 1, 8.0), klLTSpline);
    Run(state, run, 0.01);
}

void BM_SplineDirect(benchmark::State& state) {
    std::vector<Point3D> pts = Wave(int(state.range(0)) + 1, 8.0);
    size_t points = 0;
    std::vector<Point3D> out;
    for (auto _ : state) {
        out.clear();
        DiscreteStrain(int(pts.size()), pts.data(), out, GetGzZlytParameter(), 0.01);
        points += out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["points/s"] = benchmark::Counter(double(points), benchmark::Counter::kIsRate);
    state.counters["points/run"] = double(out.size());
}

void BM_EllipseChain(benchmark::State& state) {
    // Pieces of one long ellipse, so every piece fits.
    std::vector<Point3D> v;
    int pieces = int(state.range(0));
    for (int i = 0; i <= 4 * pieces; ++i) {
        Point3D p = EllipsePointAt({0, 0, 0}, 5000, 2000, 0.3, i * 2 * M_PI / (4 * pieces));
        v.push_back(p);
    }
    keloPoints run(v, klLTEllipse);
    Run(state, run, 0.01);
}

}  // namespace

BENCHMARK(BM_ArcChain)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bezier)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Spline)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplineDirect)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EllipseChain)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
