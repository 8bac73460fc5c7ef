// The rolling terrain the raster benchmarks share, in memory (centimetres) and as a float raster
// file any GDAL tool reads, and the CPU time of child commands.
#pragma once

#include <sys/resource.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kelo_bench {

// A few wave trains and a ridge, with small noise, n x n cells.
inline std::vector<int32_t> RollingTerrain(int n) {
    std::vector<int32_t> v(static_cast<size_t>(n) * n);
    uint32_t s = 12345;
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) {
            s = s * 1664525u + 1013904223u;
            double h = 30000 + 8000 * std::sin(c * 0.003) * std::cos(r * 0.0021) + 2500 * std::sin((r + c) * 0.011) +
                       600 * std::cos(c * 0.05 - r * 0.031) + (s >> 24) % 40;
            v[static_cast<size_t>(r) * n + c] = static_cast<int32_t>(h);
        }
    return v;
}

// Writes the heights in metres as base.bil with its ESRI header base.hdr.
inline void WriteFloatRaster(const std::string& base, const std::vector<int32_t>& g, int n, double cell) {
    FILE* f = std::fopen((base + ".bil").c_str(), "wb");
    std::vector<float> row(static_cast<size_t>(n));
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) row[static_cast<size_t>(c)] = static_cast<float>(g[static_cast<size_t>(r) * n + c] / 100.0);
        std::fwrite(row.data(), sizeof(float), static_cast<size_t>(n), f);
    }
    std::fclose(f);
    f = std::fopen((base + ".hdr").c_str(), "w");
    std::fprintf(f, "BYTEORDER I\nLAYOUT BIL\nNROWS %d\nNCOLS %d\nNBANDS 1\nNBITS 32\nPIXELTYPE FLOAT\n"
                    "ULXMAP 500005\nULYMAP 4199995\nXDIM %g\nYDIM %g\n", n, n, cell, cell);
    std::fclose(f);
}

// CPU time (user + system) of the finished child processes.
inline double ChildCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace kelo_bench
