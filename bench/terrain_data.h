// The rolling terrain the raster benchmarks share, in centimetres; external_command.h writes it
// as a file for the external tools and times them.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "external_command.h"

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

}  // namespace kelo_bench
