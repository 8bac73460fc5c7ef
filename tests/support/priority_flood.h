// A plain priority-flood depression fill, written independently of the library's, and terrain
// makers for the drainage tests and benchmarks: fractal value noise and nodata holes.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <queue>
#include <random>
#include <utility>
#include <vector>

namespace kelo::test {

// Every cell beside the edge or a nodata cell is open at its own height; the lowest open cell
// raises each unvisited neighbour to at least its own level and opens it.
inline std::vector<int32_t> PriorityFloodFill(const std::vector<int32_t>& dem, int cols, int rows, int32_t nodata) {
    std::vector<int32_t> z = dem;
    std::vector<char> seen(z.size(), 0);
    using Item = std::pair<int32_t, size_t>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> open;
    auto inside = [&](int r, int c) { return r >= 0 && r < rows && c >= 0 && c < cols; };
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const size_t i = static_cast<size_t>(r) * cols + c;
            if (z[i] == nodata) {
                seen[i] = 1;
                continue;
            }
            bool rim = false;
            for (int dr = -1; dr <= 1; ++dr)
                for (int dc = -1; dc <= 1; ++dc)
                    rim |= !inside(r + dr, c + dc) || z[static_cast<size_t>(r + dr) * cols + c + dc] == nodata;
            if (rim) {
                seen[i] = 1;
                open.push({z[i], i});
            }
        }
    while (!open.empty()) {
        const auto [h, i] = open.top();
        open.pop();
        const int r = static_cast<int>(i / cols), c = static_cast<int>(i % cols);
        for (int dr = -1; dr <= 1; ++dr)
            for (int dc = -1; dc <= 1; ++dc) {
                if (!inside(r + dr, c + dc)) continue;
                const size_t n = static_cast<size_t>(r + dr) * cols + c + dc;
                if (seen[n]) continue;
                seen[n] = 1;
                if (z[n] < h) z[n] = h;
                open.push({z[n], n});
            }
    }
    return z;
}

// Value noise summed over octaves (each half the wavelength and amplitude of the one before):
// ridges, valleys and many closed depressions of every size, heights 0..relief.
inline std::vector<int32_t> FractalDem(int cols, int rows, uint32_t seed, double relief) {
    std::vector<double> h(static_cast<size_t>(cols) * rows, 0.0);
    auto lattice = [seed](int x, int y, int octave) {
        uint32_t v = static_cast<uint32_t>(x) * 0x8da6b343u ^ static_cast<uint32_t>(y) * 0xd8163841u ^
                     static_cast<uint32_t>(octave) * 0xcb1ab31fu ^ seed * 0x9e3779b9u;
        v ^= v >> 15;
        v *= 0x2c1b3c6du;
        v ^= v >> 12;
        return (v & 0xFFFFFF) / double(0xFFFFFF);
    };
    double amplitude = 0.5, total = 0;
    for (int octave = 0, wave = 256; wave >= 2; ++octave, wave /= 2, amplitude /= 2) {
        total += amplitude;
        for (int r = 0; r < rows; ++r) {
            const int y0 = r / wave;
            const double fy = double(r % wave) / wave;
            for (int c = 0; c < cols; ++c) {
                const int x0 = c / wave;
                const double fx = double(c % wave) / wave;
                const double top = lattice(x0, y0, octave) * (1 - fx) + lattice(x0 + 1, y0, octave) * fx;
                const double bottom = lattice(x0, y0 + 1, octave) * (1 - fx) + lattice(x0 + 1, y0 + 1, octave) * fx;
                h[static_cast<size_t>(r) * cols + c] += amplitude * (top * (1 - fy) + bottom * fy);
            }
        }
    }
    std::vector<int32_t> z(h.size());
    for (size_t i = 0; i < h.size(); ++i) z[i] = static_cast<int32_t>(std::lround(h[i] / total * relief));
    return z;
}

// Round holes of nodata at random places.
inline void PunchHoles(std::vector<int32_t>& z, int cols, int rows, int holes, int maxRadius, uint32_t seed,
                       int32_t nodata) {
    std::mt19937 rng(seed);
    for (int k = 0; k < holes; ++k) {
        const int cr = static_cast<int>(rng() % rows), cc = static_cast<int>(rng() % cols);
        const int rad = static_cast<int>(rng() % (maxRadius + 1));
        for (int r = cr - rad; r <= cr + rad; ++r)
            for (int c = cc - rad; c <= cc + rad; ++c)
                if (r >= 0 && r < rows && c >= 0 && c < cols && (r - cr) * (r - cr) + (c - cc) * (c - cc) <= rad * rad)
                    z[static_cast<size_t>(r) * cols + c] = nodata;
    }
}

}  // namespace kelo::test
