// Depression filling and flow accumulation on a 5000 x 5000 fractal terrain: the library in
// memory, the plain priority flood the tests check it against, and file to file `kelo raster`
// against SAGA's `saga_cmd` (Debian package saga, installed by bench/install_peers.sh) on the same
// float raster in the same run (CPU time of the external commands, which read and write the files).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../tests/support/priority_flood.h"
#include "raster/hydrology.h"

namespace {

constexpr int kN = 5000;
constexpr double kCell = 10;
namespace fs = std::filesystem;

// Heights in centimetres, 0..800 m, closed depressions of every size.
const std::vector<int32_t>& Terrain() {
    static const std::vector<int32_t> g = kelo::test::FractalDem(kN, kN, 2024, 80000);
    return g;
}

std::string Scratch(const std::string& name) {
    return (fs::temp_directory_path() / ("kelo_bench_hydro_" + std::to_string(::getpid()) + "_" + name)).string();
}

// The heights in metres as a raw float raster with an ESRI header, readable by both tools.
const std::string& TerrainFile() {
    static const std::string path = [] {
        const std::string base = Scratch("dem");
        FILE* f = std::fopen((base + ".bil").c_str(), "wb");
        std::vector<float> row(kN);
        for (int r = 0; r < kN; ++r) {
            for (int c = 0; c < kN; ++c) row[c] = static_cast<float>(Terrain()[static_cast<size_t>(r) * kN + c] / 100.0);
            std::fwrite(row.data(), sizeof(float), kN, f);
        }
        std::fclose(f);
        f = std::fopen((base + ".hdr").c_str(), "w");
        std::fprintf(f, "BYTEORDER I\nLAYOUT BIL\nNROWS %d\nNCOLS %d\nNBANDS 1\nNBITS 32\nPIXELTYPE FLOAT\n"
                        "ULXMAP 500005\nULYMAP 4199995\nXDIM %g\nYDIM %g\n", kN, kN, kCell, kCell);
        std::fclose(f);
        std::atexit([] {
            for (const auto& e : fs::directory_iterator(fs::temp_directory_path()))
                if (e.path().filename().string().rfind("kelo_bench_hydro_" + std::to_string(::getpid()), 0) == 0)
                    fs::remove(e.path());
        });
        return base + ".bil";
    }();
    return path;
}

template <int32_t* (*Fn)(const int32_t*, int, int)>
void BM_Library(benchmark::State& state) {
    const auto& g = Terrain();
    for (auto _ : state) {
        std::unique_ptr<int32_t[]> out(Fn(g.data(), kN, kN));
        benchmark::DoNotOptimize(out.get());
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kN} * kN);
}

void BM_PlainPriorityFlood(benchmark::State& state) {
    const auto& g = Terrain();
    for (auto _ : state) benchmark::DoNotOptimize(kelo::test::PriorityFloodFill(g, kN, kN, kelo::GetNodata()));
    state.SetItemsProcessed(state.iterations() * int64_t{kN} * kN);
}

double ChildCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU time of the command (user + system): on a loaded machine wall time mostly measures the
// neighbours.
void RunCommand(benchmark::State& state, const std::string& cmd) {
    for (auto _ : state) {
        const double t0 = ChildCpuSeconds();
        if (std::system((cmd + " >/dev/null 2>&1").c_str()) != 0) state.SkipWithError(("failed: " + cmd).c_str());
        state.SetIterationTime(ChildCpuSeconds() - t0);
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kN} * kN);
}

bool HaveSaga() { return std::system("command -v saga_cmd >/dev/null 2>&1") == 0; }

std::string Kelo() { return (fs::read_symlink("/proc/self/exe").parent_path() / "kelo").string(); }

void BM_KeloRasterFill(benchmark::State& s) { RunCommand(s, Kelo() + " raster fill " + TerrainFile() + " " + Scratch("k_fill.tif")); }
void BM_KeloRasterFlowAcc(benchmark::State& s) {
    RunCommand(s, Kelo() + " raster flowacc " + TerrainFile() + " " + Scratch("k_acc.tif"));
}

// SAGA's plain fills (Wang & Liu, no minimum slope) of the float raster: tool 4 and its variant
// for large grids, tool 5.
template <int Tool>
void BM_SagaFill(benchmark::State& s) {
    if (!HaveSaga()) return s.SkipWithError("saga_cmd not installed (bench/install_peers.sh)");
    RunCommand(s, "saga_cmd ta_preprocessor " + std::to_string(Tool) + " -ELEV " + TerrainFile() + " -FILLED " +
                      Scratch("s_fill.sdat") + " -MINSLOPE 0");
}

// SAGA's D8 accumulation needs a surface without flats; that fill (minimum slope 0.01 degrees) is
// made outside the timed loop, so this is the accumulation alone. Add BM_SagaFill for the whole.
void BM_SagaFlowAcc(benchmark::State& s) {
    if (!HaveSaga()) return s.SkipWithError("saga_cmd not installed (bench/install_peers.sh)");
    const std::string sloped = Scratch("s_sloped.sdat");
    if (std::system(("saga_cmd ta_preprocessor 5 -ELEV " + TerrainFile() + " -FILLED " + sloped +
                     " -MINSLOPE 0.01 >/dev/null 2>&1").c_str()) != 0)
        return s.SkipWithError("saga fill failed");
    RunCommand(s, "saga_cmd ta_hydrology 0 -ELEVATION " + sloped + " -FLOW " + Scratch("s_acc.sdat") + " -METHOD 0");
}

// saga_cmd loads its tool libraries on every start; this is that fixed cost.
void BM_SagaStartup(benchmark::State& s) {
    if (!HaveSaga()) return s.SkipWithError("saga_cmd not installed (bench/install_peers.sh)");
    RunCommand(s, "{ saga_cmd ta_preprocessor 5 -h; true; }");
}

BENCHMARK(BM_Library<kelo::FillSinks>)->Name("BM_FillSinks")->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainPriorityFlood)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Library<kelo::FlowDirection>)->Name("BM_FlowDirection")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Library<kelo::FlowAccumulation>)->Name("BM_FlowAccumulation")->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeloRasterFill)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SagaFill<4>)->Name("BM_SagaFillWangLiu")->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SagaFill<5>)->Name("BM_SagaFillWangLiuXXL")->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeloRasterFlowAcc)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SagaFlowAcc)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SagaStartup)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
