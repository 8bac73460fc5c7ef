#include "raster/terrain.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <utility>
#include <vector>

#include "raster/grid_detail.h"

namespace kelo {

using detail::GridCells;
using detail::NewGrid;
using detail::Trunc32;

namespace {

constexpr double kDegPerRad = 57.2957795;
// The four direction pairs of the central-difference methods.
constexpr int kPairDr[4] = {-1, -1, -1, 0}, kPairDc[4] = {-1, 0, 1, 1};

inline bool Inside(int r, int c, int cols, int rows) { return r >= 0 && r < rows && c >= 0 && c < cols; }

// The 3 x 3 window around a cell, neighbour (dr, dc) at index (dr + 1) * 3 + dc + 1, in raw cell
// units. A neighbour outside the grid or nodata is continued linearly: from the cell through its
// opposite neighbour or, for a corner neighbour without an opposite, from the two neighbours beside
// it. A plane thus keeps its gradient up to the grid's border and around holes, where taking the
// cell's own height for the missing neighbour would halve a central difference, and lose the
// diagonal across a grid corner altogether.
struct Window {
    double z[9];
    bool given[9];  // a data cell of the grid
    bool known[9];  // given, or continued from given cells
    // A neighbour the steepest-neighbour methods look at: a data cell, or a corner continued from
    // the cells beside it (one continued through its opposite only repeats the opposite's slope).
    bool Candidate(int k) const { return given[k] || (known[k] && !given[8 - k]); }
};

// Loads the window of data cell (r, c).
inline void LoadWindow(const int32_t* dem, int cols, int rows, int r, int c, int32_t nodata, Window& w) {
    const double z = dem[static_cast<size_t>(r) * cols + c];
    bool full = true;
    const bool inner = r > 0 && r < rows - 1 && c > 0 && c < cols - 1;
    for (int k = 0; k < 9; ++k) {
        const int rr = r + k / 3 - 1, cc = c + k % 3 - 1;
        const int32_t v = inner || Inside(rr, cc, cols, rows) ? dem[static_cast<size_t>(rr) * cols + cc] : nodata;
        w.given[k] = w.known[k] = v != nodata;
        w.z[k] = v;
        full = full && w.given[k];
    }
    if (full) return;
    // The direct neighbours first: the corners may be continued from them.
    for (int k : {1, 3, 5, 7, 0, 2, 6, 8}) {
        if (w.given[k]) continue;
        const int edgeRow = k / 3 * 3 + 1, edgeCol = 3 + k % 3;  // beside a corner
        if (w.given[8 - k]) {
            w.z[k] = 2 * z - w.z[8 - k];
            w.known[k] = true;
        } else if (k % 2 == 0 && w.known[edgeRow] && w.known[edgeCol]) {
            w.z[k] = w.z[edgeRow] + w.z[edgeCol] - z;
            w.known[k] = true;
        } else {
            w.z[k] = z;
        }
    }
}

// Runs value(window) for each data cell and stores its result; nodata cells stay nodata.
template <typename CellValue>
void MapWindows(const int32_t* dem, int cols, int rows, int32_t* out, CellValue value) {
    const int32_t nodata = GetNodata();
    Window w;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const size_t i = static_cast<size_t>(r) * cols + c;
            if (dem[i] == nodata) {
                out[i] = nodata;
                continue;
            }
            LoadWindow(dem, cols, rows, r, c, nodata, w);
            out[i] = value(w);
        }
}

}  // namespace

int DirectionCode(int dr, int dc) {
    static const int kCodes[3][3] = {{1, 2, 3}, {8, 0, 4}, {7, 6, 5}};
    if (dr < -1 || dr > 1 || dc < -1 || dc > 1) return 0;
    return kCodes[dr + 1][dc + 1];
}

int32_t* DemSlope(const int32_t* dem, int cols, int rows, double cellA, double cellB, int zScale, int method) {
    int32_t* out = NewGrid(cols, rows);
    if (!out || !dem) return out;
    const double scale = detail::SafeScale(zScale);
    const bool degrees = method == 2 || method == 4;
    // The distances are the same for every cell: their inverses (with the z scale) once.
    double k8[9] = {}, k4[4];
    for (int k = 0; k < 9; ++k) {
        const int dr = k / 3 - 1, dc = k % 3 - 1;
        if (k != 4) k8[k] = 1 / (std::fabs(scale) * std::sqrt(dr * cellA * dr * cellA + dc * cellB * dc * cellB));
    }
    for (int k = 0; k < 4; ++k)
        k4[k] = 1 / (std::fabs(scale) * std::sqrt(4 * kPairDr[k] * cellA * kPairDr[k] * cellA +
                                       4 * kPairDc[k] * cellB * kPairDc[k] * cellB));
    MapWindows(dem, cols, rows, out, [&](const Window& w) {
        double best = 0;
        if (method < 3) {
            for (int k = 0; k < 9; ++k)
                if (k != 4 && w.Candidate(k)) best = std::max(best, std::fabs(w.z[k] - w.z[4]) * k8[k]);
        } else {
            for (int k = 0; k < 4; ++k) {
                const int i = (kPairDr[k] + 1) * 3 + kPairDc[k] + 1;
                best = std::max(best, std::fabs(w.z[i] - w.z[8 - i]) * k4[k]);
            }
        }
        return degrees ? Trunc32(std::atan(best) * kDegPerRad * 10 + 0.5) : Trunc32(best * 1000 + 0.5);
    });
    return out;
}

int32_t* DemAspect(const int32_t* dem, int cols, int rows, double cellA, double cellB, int method) {
    int32_t* out = NewGrid(cols, rows);
    if (!out || !dem) return out;
    double inv[9] = {};
    for (int k = 0; k < 9; ++k) {
        const int dr = k / 3 - 1, dc = k % 3 - 1;
        if (k != 4) inv[k] = 1 / std::sqrt(dr * cellA * dr * cellA + dc * cellB * dc * cellB);
    }
    MapWindows(dem, cols, rows, out, [&](const Window& w) {
        double best = 0;
        int code = 0;
        if (method == 1) {
            for (int k = 0; k < 9; ++k) {
                if (k == 4 || !w.Candidate(k)) continue;
                const double s = std::fabs(w.z[k] - w.z[4]) * inv[k];
                if (s > best) {
                    best = s;
                    code = w.z[k] <= w.z[4] ? DirectionCode(k / 3 - 1, k % 3 - 1) : DirectionCode(1 - k / 3, 1 - k % 3);
                }
            }
        } else {
            for (int k = 0; k < 4; ++k) {
                const int dr = kPairDr[k], dc = kPairDc[k], i = (dr + 1) * 3 + dc + 1;
                const double s = std::fabs(w.z[i] - w.z[8 - i]) * inv[i];
                if (s > best) {
                    best = s;
                    code = w.z[i] >= w.z[8 - i] ? DirectionCode(-dr, -dc) : DirectionCode(dr, dc);
                }
            }
        }
        return code;
    });
    return out;
}

namespace {

// A place between two cells where the path of one shadow step crosses a cell boundary.
struct SubStep {
    int r1, c1, r2, c2;  // the two cells, offsets from the stepping cell
    double w;            // weight of the second cell
};

struct ShadowStep {
    int a = 1, b = 0;  // rows, columns
    std::vector<SubStep> subs;
};

ShadowStep ChooseShadowStep(double theta) {
    const double pi = std::acos(-1.0);
    ShadowStep st;
    double bestDiff = 1e300;
    for (int a = -10; a <= 10; ++a)
        for (int b = -10; b <= 10; ++b) {
            if ((a == 0 && b == 0) || std::gcd(a, b) != 1) continue;
            double d = std::fmod(std::fabs(std::atan2(a, -b) - theta), 2 * pi);
            if (d > pi) d = 2 * pi - d;
            if (d < bestDiff) {
                bestDiff = d;
                st.a = a;
                st.b = b;
            }
        }
    if (st.a == 0 || st.b == 0) return st;
    // Trace the straight path from (0, 0) to (|a|, |b|) through the cell boundaries, in order.
    const int A = std::abs(st.a), B = std::abs(st.b), sa = st.a > 0 ? 1 : -1, sb = st.b > 0 ? 1 : -1;
    // Crossings of column boundaries k (k < B) and row boundaries m (m < A); coprime steps never
    // cross both at once before the end, so ordering by the path parameter is unambiguous.
    std::vector<std::pair<double, SubStep>> crossings;
    for (int k = 1; k < B; ++k) {
        double x = static_cast<double>(k) * A / B;
        int fx = static_cast<int>(std::floor(x + 1e-12));
        crossings.push_back({static_cast<double>(k) / B, {fx * sa, k * sb, (fx + 1) * sa, k * sb, x - fx}});
    }
    for (int m = 1; m < A; ++m) {
        double y = static_cast<double>(m) * B / A;
        int fy = static_cast<int>(std::floor(y + 1e-12));
        crossings.push_back({static_cast<double>(m) / A, {m * sa, fy * sb, m * sa, (fy + 1) * sb, y - fy}});
    }
    std::sort(crossings.begin(), crossings.end(), [](const auto& p, const auto& q) { return p.first < q.first; });
    for (const auto& cr : crossings) st.subs.push_back(cr.second);
    return st;
}

// Shades a lit cell from its triangles; 0 when it has none.
int32_t Brightness(const int32_t* dem, int cols, int rows, int r, int c, double cellX, double cellY, double zs,
                   int32_t nodata, double lx, double ly, double lz) {
    detail::Vec3 n[4];
    int k = detail::CellTriangleNormals(dem, cols, rows, r, c, cellX, cellY, zs, nodata, n);
    if (k == 0) return 0;
    double sum = 0;
    for (int i = 0; i < k; ++i) {
        double len = std::sqrt(n[i].x * n[i].x + n[i].y * n[i].y + n[i].z * n[i].z);
        if (len > 0) sum += std::max(0.0, (lx * n[i].x + ly * n[i].y + lz * n[i].z) / len);
    }
    return Trunc32(sum / k * 250 + 0.5);
}

}  // namespace

int32_t* HillShade(const int32_t* dem, int cols, int rows, double cellX, double cellY, int azimuth, int altitude,
                   double zScale) {
    int32_t* out = NewGrid(cols, rows);
    if (!out || !dem || GridCells(cols, rows) == 0) return out;
    const int32_t nodata = GetNodata();
    const double pi = std::acos(-1.0);
    const double theta = pi / 2 - azimuth / 180.0 * pi;
    const double alpha = altitude / 180.0 * pi;
    const double zs = detail::SafeScale(zScale);
    const double lx = std::cos(alpha) * std::cos(theta), ly = std::cos(alpha) * std::sin(theta),
                 lz = std::sin(alpha);
    const ShadowStep st = ChooseShadowStep(theta);
    const double limit = alpha + 1e-7;
    // atan2(dh, dist) > limit, for dist > 0, without the arc tangent.
    const double tanLimit = std::tan(limit);
    auto above = [&](int r, int c, double h, double pr, double pc, double ph) {
        if (limit >= pi / 2) return false;
        const double dr = (pr - r) * cellY, dc = (pc - c) * cellX;
        return ph - h > tanLimit * std::sqrt(dr * dr + dc * dc);
    };
    // The lines run along the step; a cell's predecessor on its line is one step back towards the
    // sun. Visiting rows in the step's row direction finishes every predecessor before its
    // successor, so the grid is swept in memory order, each line's shadow caster handed on through
    // a few rows of per-cell state instead of walking the lines across the rows.
    struct Ref {
        double r, c, h;
        bool valid;
    };
    const int a = st.a, b = st.b, slots = std::abs(a) + 1;
    std::vector<Ref> state(static_cast<size_t>(slots) * cols);
    auto slot = [&](int r) { return state.data() + static_cast<size_t>(r % slots) * cols; };
    const int rBeg = a >= 0 ? 0 : rows - 1, rStep = a >= 0 ? 1 : -1;
    // With a level step the predecessor lies in the same row, so that row is swept along the step.
    const int cBeg = a == 0 && b < 0 ? cols - 1 : 0, cStep = a == 0 && b < 0 ? -1 : 1;
    for (int r = rBeg; r >= 0 && r < rows; r += rStep) {
        Ref* cur = slot(r);
        const Ref* prev = a == 0 ? cur : (Inside(r - a, 0, cols, rows) ? slot(r - a) : nullptr);
        for (int c = cBeg; c >= 0 && c < cols; c += cStep) {
            const int pc = c - b;
            const Ref ref = prev && pc >= 0 && pc < cols ? prev[pc] : Ref{0, 0, 0, false};
            const size_t i = static_cast<size_t>(r) * cols + c;
            if (dem[i] == nodata) {
                out[i] = nodata;
                cur[c] = ref;
                continue;
            }
            const double h = dem[i] / zs;
            if (ref.valid && above(r, c, h, ref.r, ref.c, ref.h)) {
                out[i] = 0;
                cur[c] = ref;
                continue;
            }
            Ref next{static_cast<double>(r), static_cast<double>(c), h, true};
            for (const SubStep& s : st.subs) {
                int ra = r + s.r1, ca = c + s.c1, rb = r + s.r2, cb = c + s.c2;
                if (!Inside(ra, ca, cols, rows) || !Inside(rb, cb, cols, rows)) continue;
                int32_t va = dem[static_cast<size_t>(ra) * cols + ca], vb = dem[static_cast<size_t>(rb) * cols + cb];
                if (va == nodata || vb == nodata) continue;
                double pr = ra + (rb - ra) * s.w, pcol = ca + (cb - ca) * s.w;
                double ph = (va / zs) * (1 - s.w) + (vb / zs) * s.w;
                if (above(r, c, h, pr, pcol, ph)) next = {pr, pcol, ph, true};
            }
            cur[c] = next;
            out[i] = Brightness(dem, cols, rows, r, c, cellX, cellY, zs, nodata, lx, ly, lz);
        }
    }
    return out;
}

int CopyDem(const int32_t* src, int srcCols, int srcRows, int32_t* dst, int dstCols, int dstRows, int colOffset,
            int rowOffset) {
    if (!src || !dst || srcCols <= 0 || srcRows <= 0 || dstCols <= 0 || dstRows <= 0) return 1;
    // Clip the source window to the destination once instead of testing every cell.
    const int64_t rBeg = std::max<int64_t>(0, -static_cast<int64_t>(rowOffset));
    const int64_t rEnd = std::min<int64_t>(srcRows, static_cast<int64_t>(dstRows) - rowOffset);
    const int64_t cBeg = std::max<int64_t>(0, -static_cast<int64_t>(colOffset));
    const int64_t cEnd = std::min<int64_t>(srcCols, static_cast<int64_t>(dstCols) - colOffset);
    if (cBeg >= cEnd) return 1;
    for (int64_t r = rBeg; r < rEnd; ++r)
        std::copy(src + r * srcCols + cBeg, src + r * srcCols + cEnd,
                  dst + (r + rowOffset) * dstCols + cBeg + colOffset);
    return 1;
}

}  // namespace kelo
