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

// Value of (r, c), or fallback when outside or nodata.
inline int32_t CellOr(const int32_t* dem, int cols, int rows, int r, int c, int32_t nodata, int32_t fallback) {
    if (!Inside(r, c, cols, rows)) return fallback;
    int32_t v = dem[static_cast<size_t>(r) * cols + c];
    return v == nodata ? fallback : v;
}

// Runs value(r, c, z) for each data cell and stores its result; nodata cells stay nodata.
template <typename CellValue>
void MapDataCells(const int32_t* dem, int cols, int rows, int32_t* out, CellValue value) {
    const int32_t nodata = GetNodata();
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const size_t i = static_cast<size_t>(r) * cols + c;
            out[i] = dem[i] == nodata ? nodata : value(r, c, dem[i]);
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
    const int32_t nodata = GetNodata();
    const double scale = detail::SafeScale(zScale);
    const bool degrees = method == 2 || method == 4;
    // The distances are the same for every cell: their inverses (with the z scale) once.
    double k8[3][3], k4[4];
    for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc)
            k8[dr + 1][dc + 1] =
                1 / (std::fabs(scale) * std::sqrt(dr * cellA * dr * cellA + dc * cellB * dc * cellB));
    for (int k = 0; k < 4; ++k)
        k4[k] = 1 / (std::fabs(scale) * std::sqrt(4 * kPairDr[k] * cellA * kPairDr[k] * cellA +
                                       4 * kPairDc[k] * cellB * kPairDc[k] * cellB));
    MapDataCells(dem, cols, rows, out, [&](int r, int c, int32_t z) {
        double best = 0;
        if (method < 3) {
            for (int dr = -1; dr <= 1; ++dr)
                for (int dc = -1; dc <= 1; ++dc) {
                    if (dr == 0 && dc == 0) continue;
                    int32_t zn = CellOr(dem, cols, rows, r + dr, c + dc, nodata, z);
                    best = std::max(best, std::fabs(static_cast<double>(zn) - z) * k8[dr + 1][dc + 1]);
                }
        } else {
            for (int k = 0; k < 4; ++k) {
                int dr = kPairDr[k], dc = kPairDc[k];
                int32_t z1 = CellOr(dem, cols, rows, r + dr, c + dc, nodata, z);
                int32_t z2 = CellOr(dem, cols, rows, r - dr, c - dc, nodata, z);
                best = std::max(best, std::fabs(static_cast<double>(z1) - z2) * k4[k]);
            }
        }
        return degrees ? Trunc32(std::atan(best) * kDegPerRad * 10 + 0.5) : Trunc32(best * 1000 + 0.5);
    });
    return out;
}

int32_t* DemAspect(const int32_t* dem, int cols, int rows, double cellA, double cellB, int method) {
    int32_t* out = NewGrid(cols, rows);
    if (!out || !dem) return out;
    const int32_t nodata = GetNodata();
    MapDataCells(dem, cols, rows, out, [&](int r, int c, int32_t z) {
        double best = 0;
        int code = 0;
        if (method == 1) {
            for (int dr = -1; dr <= 1; ++dr)
                for (int dc = -1; dc <= 1; ++dc) {
                    if ((dr == 0 && dc == 0) || !Inside(r + dr, c + dc, cols, rows)) continue;
                    int32_t zn = dem[static_cast<size_t>(r + dr) * cols + c + dc];
                    if (zn == nodata) continue;
                    double s = std::fabs(static_cast<double>(zn) - z) /
                               std::sqrt(dr * cellA * dr * cellA + dc * cellB * dc * cellB);
                    if (s > best) {
                        best = s;
                        code = zn <= z ? DirectionCode(dr, dc) : DirectionCode(-dr, -dc);
                    }
                }
        } else {
            for (int k = 0; k < 4; ++k) {
                int dr = kPairDr[k], dc = kPairDc[k];
                int32_t z1 = CellOr(dem, cols, rows, r + dr, c + dc, nodata, z);
                int32_t z2 = CellOr(dem, cols, rows, r - dr, c - dc, nodata, z);
                double s = std::fabs(static_cast<double>(z1) - z2) /
                           std::sqrt(dr * cellA * dr * cellA + dc * cellB * dc * cellB);
                if (s > best) {
                    best = s;
                    code = z1 >= z2 ? DirectionCode(-dr, -dc) : DirectionCode(dr, dc);
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
