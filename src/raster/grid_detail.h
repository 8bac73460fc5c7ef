// Helpers shared by the grid operations: safe output allocation and saturating rounding.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "platform/huge_pages.h"

namespace kelo::detail {

// Cell count of a grid, 0 for non-positive sizes, so a bad size never indexes memory.
inline size_t GridCells(int cols, int rows) {
    return cols > 0 && rows > 0 ? static_cast<size_t>(cols) * static_cast<size_t>(rows) : 0;
}

// Output grids carry one element beyond the cells, as hosts expect.
inline int32_t* NewGrid(int cols, int rows) {
    if (cols < 0 || rows < 0) return nullptr;
    return new int32_t[GridCells(cols, rows) + 1]();
}

// For operations that write every cell: no pass over the whole grid to zero it first. The extra
// element is still 0; a null source (nothing to write) gets the zeroed grid.
inline int32_t* NewGridToFill(const void* source, int cols, int rows) {
    if (!source || cols < 0 || rows < 0) return NewGrid(cols, rows);
    const size_t n = GridCells(cols, rows) + 1;
    int32_t* g = new int32_t[n];
    g[n - 1] = 0;
    AdviseHugePages(g, n * sizeof(int32_t));
    return g;
}

// truncate(v) clamped to the 32-bit range: huge z scales or slopes must not overflow a cell.
inline int32_t Trunc32(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

// A zero scale would divide by zero; heights are then taken in raw cell units.
inline double SafeScale(double s) { return s == 0 || !(s == s) ? 1.0 : s; }

}  // namespace kelo::detail

namespace kelo::detail {

struct Vec3 {
    double x, y, z;
};

// The up-to-four triangles around cell (r, c) spanned by its valid direct neighbours, in the
// order (up, right), (right, down), (down, left), (left, up). Each normal is the upward one, so a
// level cell faces the sky. Returns the number of triangles written to normals.
inline int CellTriangleNormals(const int32_t* dem, int cols, int rows, int r, int c, double cellX, double cellY,
                               double zScale, int32_t nodata, Vec3 normals[4]) {
    const double z0 = dem[static_cast<size_t>(r) * cols + c] / zScale;
    // Neighbour offsets up, right, down, left and their planar positions.
    static const int kDr[4] = {-1, 0, 1, 0}, kDc[4] = {0, 1, 0, -1};
    const double px[4] = {0, cellX, 0, -cellX}, py[4] = {cellY, 0, -cellY, 0};
    bool ok[4];
    double h[4];
    for (int k = 0; k < 4; ++k) {
        int rr = r + kDr[k], cc = c + kDc[k];
        ok[k] = rr >= 0 && rr < rows && cc >= 0 && cc < cols;
        if (ok[k]) {
            int32_t v = dem[static_cast<size_t>(rr) * cols + cc];
            ok[k] = v != nodata;
            h[k] = v / zScale - z0;
        }
    }
    int n = 0;
    for (int k = 0; k < 4; ++k) {
        int j = (k + 1) & 3;
        if (!ok[k] || !ok[j]) continue;
        // (P2 - P0) x (P1 - P0): the clockwise pair order makes this the upward normal.
        Vec3 a{px[j], py[j], h[j]}, b{px[k], py[k], h[k]};
        normals[n++] = {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    }
    return n;
}

}  // namespace kelo::detail
