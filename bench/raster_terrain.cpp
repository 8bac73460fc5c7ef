// Slope and hill shade on a 10000 x 10000 grid: the library on the grid in memory, and file to file
// `kelo raster` against `gdaldem` on the same float raster in the same run (CPU time of the
// external commands, which read and write the files).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "external_command.h"
#include "raster/terrain.h"

#include "terrain_data.h"

namespace {

constexpr int kN = 10000;
constexpr double kCell = 10;

// Rolling terrain in centimetres: a few wave trains and a ridge, with small noise.
const std::vector<int32_t>& Terrain() {
    static const std::vector<int32_t> g = kelo_bench::RollingTerrain(kN);
    return g;
}

// The same heights in metres as a raw float raster with an ESRI header, readable by any GDAL tool.
const std::string& TerrainFile() {
    static std::string path = [] {
        const std::string base = (std::filesystem::temp_directory_path() / ("kelo_bench_dem_" + std::to_string(::getpid()))).string();
        kelo_bench::WriteFloatRaster(base, Terrain(), kN, kCell);
        std::atexit([] {
            std::filesystem::remove(TerrainFile() + "");
            std::filesystem::remove(TerrainFile().substr(0, TerrainFile().size() - 4) + ".hdr");
        });
        return base + ".bil";
    }();
    return path;
}

void BM_Slope(benchmark::State& state) {
    const auto& g = Terrain();
    for (auto _ : state) {
        std::unique_ptr<int32_t[]> out(kelo::DemSlope(g.data(), kN, kN, kCell, kCell, 100, 4));
        benchmark::DoNotOptimize(out.get());
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kN} * kN);
}

void BM_HillShade(benchmark::State& state) {
    const auto& g = Terrain();
    for (auto _ : state) {
        std::unique_ptr<int32_t[]> out(kelo::HillShade(g.data(), kN, kN, kCell, kCell, 315, 45, 100));
        benchmark::DoNotOptimize(out.get());
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kN} * kN);
}

void RunCommand(benchmark::State& state, const std::string& cmd) {
    const std::string out = TerrainFile() + ".out.tif";
    kelo_bench::RunExternal(state, cmd + " " + TerrainFile() + " " + out, int64_t{kN} * kN);
    std::filesystem::remove(out);
}

std::string Kelo() { return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "kelo").string(); }

void BM_KeloRasterSlope(benchmark::State& s) { RunCommand(s, Kelo() + " raster slope --method 4"); }
void BM_GdaldemSlope(benchmark::State& s) { RunCommand(s, "gdaldem slope -alg ZevenbergenThorne -q"); }
void BM_KeloRasterHillShade(benchmark::State& s) { RunCommand(s, Kelo() + " raster hillshade"); }
void BM_GdaldemHillShade(benchmark::State& s) { RunCommand(s, "gdaldem hillshade -q"); }

BENCHMARK(BM_Slope)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HillShade)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeloRasterSlope)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GdaldemSlope)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeloRasterHillShade)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GdaldemHillShade)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
