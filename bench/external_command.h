// Timing of external tools run in the same benchmark as the library, and the files they read.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace kelo_bench {

inline double ChildCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs cmd (output discarded) once per iteration and reports its CPU time (user + system), which
// stays comparable with the in-process CPU times on a loaded machine where wall time mostly
// measures the neighbours.
inline void RunExternal(benchmark::State& state, const std::string& cmd, int64_t cells) {
    for (auto _ : state) {
        const double t0 = ChildCpuSeconds();
        if (std::system((cmd + " >/dev/null 2>&1").c_str()) != 0) state.SkipWithError(("failed: " + cmd).c_str());
        state.SetIterationTime(ChildCpuSeconds() - t0);
    }
    state.SetItemsProcessed(state.iterations() * cells);
}

// Writes a square grid of heights in centimetres as base.bil, a raw float raster in metres, with
// the ESRI header base.hdr that every GDAL tool reads.
inline void WriteFloatRaster(const std::string& base, const std::vector<int32_t>& cm, int n, double cell) {
    FILE* f = std::fopen((base + ".bil").c_str(), "wb");
    std::vector<float> row(n);
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) row[c] = static_cast<float>(cm[static_cast<size_t>(r) * n + c] / 100.0);
        std::fwrite(row.data(), sizeof(float), n, f);
    }
    std::fclose(f);
    f = std::fopen((base + ".hdr").c_str(), "w");
    std::fprintf(f, "BYTEORDER I\nLAYOUT BIL\nNROWS %d\nNCOLS %d\nNBANDS 1\nNBITS 32\nPIXELTYPE FLOAT\n"
                    "ULXMAP 500005\nULYMAP 4199995\nXDIM %g\nYDIM %g\n", n, n, cell, cell);
    std::fclose(f);
}

}  // namespace kelo_bench
