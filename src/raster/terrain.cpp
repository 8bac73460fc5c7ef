#include "raster/terrain.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <utility>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "raster/grid_detail.h"

namespace kelo {

using detail::GridCells;
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

// Loads the window of data cell (r, c) where a neighbour may be missing.
inline void LoadWindow(const int32_t* dem, int cols, int rows, int r, int c, int32_t nodata, Window& w) {
    const double z = dem[static_cast<size_t>(r) * cols + c];
    for (int k = 0; k < 9; ++k) {
        const int rr = r + k / 3 - 1, cc = c + k % 3 - 1;
        const int32_t v = Inside(rr, cc, cols, rows) ? dem[static_cast<size_t>(rr) * cols + cc] : nodata;
        w.given[k] = w.known[k] = v != nodata;
        w.z[k] = v;
    }
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
    // Inside the grid, away from holes, all nine cells are data: only their heights change.
    Window full, partial;
    std::fill(full.given, full.given + 9, true);
    std::fill(full.known, full.known + 9, true);
    for (int r = 0; r < rows; ++r) {
        const int32_t* row = dem + static_cast<size_t>(r) * cols;
        const bool innerRow = r > 0 && r < rows - 1;
        for (int c = 0; c < cols; ++c) {
            int32_t* o = out + static_cast<size_t>(r) * cols + c;
            if (row[c] == nodata) {
                *o = nodata;
                continue;
            }
            bool complete = innerRow && c > 0 && c < cols - 1;
            if (complete)
                for (int k = 0; k < 9; ++k) {
                    const int32_t v = row[(k / 3 - 1) * static_cast<ptrdiff_t>(cols) + c + k % 3 - 1];
                    complete = complete && v != nodata;
                    full.z[k] = v;
                }
            if (!complete) LoadWindow(dem, cols, rows, r, c, nodata, partial);
            *o = value(complete ? full : partial);
        }
    }
}

}  // namespace

int DirectionCode(int dr, int dc) {
    static const int kCodes[3][3] = {{1, 2, 3}, {8, 0, 4}, {7, 6, 5}};
    if (dr < -1 || dr > 1 || dc < -1 || dc > 1) return 0;
    return kCodes[dr + 1][dc + 1];
}

int32_t* DemSlope(const int32_t* dem, int cols, int rows, double cellA, double cellB, int zScale, int method) {
    int32_t* out = detail::NewGridToFill(dem, cols, rows);
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
    int32_t* out = detail::NewGridToFill(dem, cols, rows);
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

// The sun and the cell sizes, for shading a lit cell. Each triangle around a cell (up, right),
// (right, down), (down, left), (left, up) has the upward normal (sx, sy, 1) scaled by
// cellX * cellY, where sx is the fall towards its east corner per unit of x (from the cell to the
// right neighbour, or from the left neighbour to the cell) and sy the fall towards its north corner
// per unit of y; its brightness is max(0, sun . n) / |n|.
struct Sun {
    double lx, ly, lz;
    double perX, perY;  // 1 / (zScale * cellX), 1 / (zScale * cellY): raw height steps to slopes

    double Triangle(double sx, double sy) const {
        return std::max(0.0, lx * sx + ly * sy + lz) / std::sqrt(sx * sx + sy * sy + 1);
    }
    // Output of a lit cell from its valid direct neighbours (up, right, down, left); 0 when no
    // triangle exists.
    int32_t Shade(double z, const double* n, const bool* ok) const {
        const double sxR = (z - n[1]) * perX, sxL = (n[3] - z) * perX, syU = (z - n[0]) * perY,
                     syD = (n[2] - z) * perY;
        double sum = 0;
        int k = 0;
        if (ok[0] && ok[1]) sum += Triangle(sxR, syU), ++k;
        if (ok[1] && ok[2]) sum += Triangle(sxR, syD), ++k;
        if (ok[2] && ok[3]) sum += Triangle(sxL, syD), ++k;
        if (ok[3] && ok[0]) sum += Triangle(sxL, syU), ++k;
        return k == 0 ? 0 : Trunc32(sum / k * 250 + 0.5);
    }
    // A cell whose four direct neighbours are all data cells: the common case, without the tests.
    int32_t ShadeFull(double z, double up, double right, double down, double left) const {
        const double sxR = (z - right) * perX, sxL = (left - z) * perX, syU = (z - up) * perY,
                     syD = (down - z) * perY;
#ifdef __SSE2__
        // Two triangles per instruction; the same correctly rounded operations as Triangle.
        const __m128d sx1 = _mm_set1_pd(sxR), sy1 = _mm_set_pd(syD, syU), sx2 = _mm_set1_pd(sxL),
                      sy2 = _mm_set_pd(syU, syD), vlx = _mm_set1_pd(lx), vly = _mm_set1_pd(ly),
                      vlz = _mm_set1_pd(lz), one = _mm_set1_pd(1), zero = _mm_setzero_pd();
        auto pair = [&](__m128d sx, __m128d sy) {
            const __m128d dot = _mm_add_pd(_mm_add_pd(_mm_mul_pd(vlx, sx), _mm_mul_pd(vly, sy)), vlz);
            const __m128d len = _mm_sqrt_pd(_mm_add_pd(_mm_add_pd(_mm_mul_pd(sx, sx), _mm_mul_pd(sy, sy)), one));
            return _mm_div_pd(_mm_max_pd(dot, zero), len);
        };
        const __m128d both = _mm_add_pd(pair(sx1, sy1), pair(sx2, sy2));
        const double sum = _mm_cvtsd_f64(_mm_add_sd(both, _mm_unpackhi_pd(both, both)));
#else
        const double sum = Triangle(sxR, syU) + Triangle(sxR, syD) + Triangle(sxL, syD) + Triangle(sxL, syU);
#endif
        return Trunc32(sum * 62.5 + 0.5);  // the mean of four, times 250
    }
};

}  // namespace

int32_t* HillShade(const int32_t* dem, int cols, int rows, double cellX, double cellY, int azimuth, int altitude,
                   double zScale) {
    int32_t* out = detail::NewGridToFill(dem, cols, rows);
    if (!out || !dem || GridCells(cols, rows) == 0) return out;
    const int32_t nodata = GetNodata();
    const double pi = std::acos(-1.0);
    const double theta = pi / 2 - azimuth / 180.0 * pi;
    const double alpha = altitude / 180.0 * pi;
    const double zs = detail::SafeScale(zScale);
    const Sun sun{std::cos(alpha) * std::cos(theta), std::cos(alpha) * std::sin(theta), std::sin(alpha),
                  1 / (zs * cellX), 1 / (zs * cellY)};
    const ShadowStep st = ChooseShadowStep(theta);
    const double limit = alpha + 1e-7;
    // atan2(dh, dist) > limit, for dist > 0, without the arc tangent, and for a sun above the
    // horizon without the square root of the distance either.
    const double tanLimit = std::tan(limit), tan2 = tanLimit * tanLimit;
    const bool noShadow = limit >= pi / 2;
    auto above = [&](int r, int c, double h, double pr, double pc, double ph) {
        if (noShadow) return false;
        const double dr = (pr - r) * cellY, dc = (pc - c) * cellX, rise = ph - h;
        if (tanLimit >= 0) return rise > 0 && rise * rise > tan2 * (dr * dr + dc * dc);
        return rise > tanLimit * std::sqrt(dr * dr + dc * dc);
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
        const int32_t* row = dem + static_cast<size_t>(r) * cols;
        const int32_t* up = r > 0 ? row - cols : nullptr;
        const int32_t* down = r + 1 < rows ? row + cols : nullptr;
        for (int c = cBeg; c >= 0 && c < cols; c += cStep) {
            const int pc = c - b;
            const Ref ref = prev && pc >= 0 && pc < cols ? prev[pc] : Ref{0, 0, 0, false};
            const size_t i = static_cast<size_t>(r) * cols + c;
            if (row[c] == nodata) {
                out[i] = nodata;
                cur[c] = ref;
                continue;
            }
            const double h = row[c] / zs;
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
            const double n[4] = {up ? static_cast<double>(up[c]) : 0, c + 1 < cols ? static_cast<double>(row[c + 1]) : 0,
                                 down ? static_cast<double>(down[c]) : 0, c > 0 ? static_cast<double>(row[c - 1]) : 0};
            const bool ok[4] = {up && up[c] != nodata, c + 1 < cols && row[c + 1] != nodata,
                                down && down[c] != nodata, c > 0 && row[c - 1] != nodata};
            out[i] = ok[0] && ok[1] && ok[2] && ok[3] ? sun.ShadeFull(row[c], n[0], n[1], n[2], n[3])
                                                      : sun.Shade(row[c], n, ok);
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
