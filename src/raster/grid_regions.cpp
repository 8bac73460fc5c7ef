// Regions grow over side neighbours of equal value; their outline is every cell side facing
// another value, chained, thinned and handed to the face builder, which sorts out outer rings and
// holes. Only faces whose inside belongs to the region are kept (the holes' own faces are not).
#include "raster/grid_regions.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/geometry_object.h"
#include "overlay/arc_polygon.h"
#include "overlay/line_handler.h"
#include "raster/grid_detail.h"
#include "raster/nodata.h"

namespace kelo {

namespace detail {

// Douglas-Peucker with the ends fixed; closed chains keep their first point.
void ThinRegionChain(std::vector<Point3D>& chain, double tol) {
    if (chain.size() < 3) return;
    std::vector<char> keep(chain.size(), 0);
    keep.front() = keep.back() = 1;
    std::vector<std::pair<size_t, size_t>> stack{{0, chain.size() - 1}};
    while (!stack.empty()) {
        auto [i, j] = stack.back();
        stack.pop_back();
        if (j <= i + 1) continue;
        const Point3D &a = chain[i], &b = chain[j];
        const double len = std::hypot(b.x - a.x, b.y - a.y);
        double worst = -1;
        size_t at = i;
        for (size_t k = i + 1; k < j; ++k) {
            const Point3D& p = chain[k];
            const double d = len > 0 ? std::fabs((b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x)) / len
                                     : std::hypot(p.x - a.x, p.y - a.y);
            if (d > worst) {
                worst = d;
                at = k;
            }
        }
        // A closed chain's far point is always kept, or the ring would collapse to its chord.
        if (worst > tol || (i == 0 && j == chain.size() - 1 && len == 0)) {
            keep[at] = 1;
            stack.push_back({i, at});
            stack.push_back({at, j});
        }
    }
    size_t n = 0;
    for (size_t k = 0; k < chain.size(); ++k)
        if (keep[k]) chain[n++] = chain[k];
    chain.resize(n);
}

}  // namespace detail

namespace {

struct Grid {
    const int32_t* z;
    int cols, rows;
    double x0, yTop, cellX, cellY;
    int32_t At(int r, int c) const { return z[static_cast<size_t>(r) * cols + c]; }
    Point3D Corner(int r, int c) const { return {x0 + c * cellX, yTop - r * cellY, 0}; }
};

// Cells of the region of `seed` (4-connected, same value), marked in `mark` with `id`.
std::vector<size_t> GrowRegion(const Grid& g, size_t seed, std::vector<int32_t>& mark, int32_t id) {
    const int32_t v = g.z[seed];
    std::vector<size_t> cells{seed}, stack{seed};
    mark[seed] = id;
    while (!stack.empty()) {
        const size_t i = stack.back();
        stack.pop_back();
        const int r = static_cast<int>(i / g.cols), c = static_cast<int>(i % g.cols);
        const int dr[4] = {-1, 0, 1, 0}, dc[4] = {0, -1, 0, 1};
        for (int k = 0; k < 4; ++k) {
            const int rr = r + dr[k], cc = c + dc[k];
            if (rr < 0 || rr >= g.rows || cc < 0 || cc >= g.cols) continue;
            const size_t j = static_cast<size_t>(rr) * g.cols + cc;
            if (mark[j] == id || g.z[j] != v) continue;
            mark[j] = id;
            cells.push_back(j);
            stack.push_back(j);
        }
    }
    return cells;
}

// The region's outline as polygons, one per face inside the region.
std::vector<keloPolygon> RegionPolygons(const Grid& g, const std::vector<size_t>& cells,
                                        const std::vector<int32_t>& mark, int32_t id, double tol) {
    std::vector<Point3D> ends;
    auto inside = [&](int r, int c) {
        return r >= 0 && r < g.rows && c >= 0 && c < g.cols && mark[static_cast<size_t>(r) * g.cols + c] == id;
    };
    for (size_t i : cells) {
        const int r = static_cast<int>(i / g.cols), c = static_cast<int>(i % g.cols);
        if (!inside(r - 1, c)) ends.insert(ends.end(), {g.Corner(r, c), g.Corner(r, c + 1)});
        if (!inside(r + 1, c)) ends.insert(ends.end(), {g.Corner(r + 1, c), g.Corner(r + 1, c + 1)});
        if (!inside(r, c - 1)) ends.insert(ends.end(), {g.Corner(r, c), g.Corner(r + 1, c)});
        if (!inside(r, c + 1)) ends.insert(ends.end(), {g.Corner(r, c + 1), g.Corner(r + 1, c + 1)});
    }
    std::vector<CsSegment> segs;
    for (size_t k = 0; k < ends.size(); k += 2) segs.emplace_back(&ends[k], klLTPolyline);
    std::vector<keloPoints*> chains;
    CombineSegments2Points(segs.data(), static_cast<int>(segs.size()), chains);
    const double eps = 1e-6 * std::min(g.cellX, g.cellY);
    CKeloMakeArcPolygon maker(eps);
    for (keloPoints* chain : chains) {
        std::vector<Point3D> pts(chain->points, chain->points + chain->GetCount());
        delete chain;
        detail::ThinRegionChain(pts, tol);
        for (size_t k = 0; k + 1 < pts.size(); ++k) {
            Point3D seg[2] = {pts[k], pts[k + 1]};
            maker.Add(CsSegment(seg, klLTPolyline));
        }
    }
    maker.Solve();
    std::vector<keloPolygon> out;
    for (int f = 0; f + 1 < maker.GetPolygonCount(); ++f) {
        keloPolygon face;
        if (!maker.GetPolygon(f, face)) continue;
        double x, y, z;
        if (!innerPoint(face, x, y, z, eps, 0)) continue;
        const double fr = std::floor((g.yTop - y) / g.cellY), fc = std::floor((x - g.x0) / g.cellX);
        if (fr < 0 || fr >= g.rows || fc < 0 || fc >= g.cols) continue;
        if (!inside(static_cast<int>(fr), static_cast<int>(fc))) continue;
        out.push_back(std::move(face));
    }
    return out;
}

bool Usable(const int32_t* grid, int cols, int rows, double cellX, double cellY) {
    return grid && cols > 0 && rows > 0 && cellX > 0 && cellY > 0 && std::isfinite(cellX) && std::isfinite(cellY);
}

}  // namespace

int GetPolygonsFromDem(const int32_t* grid, int cols, int rows, double x0, double yTop, double cellX, double cellY,
                       int /*zScale*/, RegionSink emit, void* user, double factor) {
    if (!Usable(grid, cols, rows, cellX, cellY)) return 0;
    const Grid g{grid, cols, rows, x0, yTop, cellX, cellY};
    const double tol = std::min(cellX, cellY) * factor;
    const int32_t nodata = GetNodata();
    const size_t n = detail::GridCells(cols, rows);
    std::vector<int32_t> mark(n, 0);
    int32_t id = 0;
    for (size_t i = 0; i < n; ++i) {
        if (mark[i] || grid[i] == nodata) continue;
        ++id;
        const std::vector<size_t> cells = GrowRegion(g, i, mark, id);
        for (keloPolygon& p : RegionPolygons(g, cells, mark, id, tol))
            if (emit) emit(&p, user);
    }
    return 1;
}

int GetOnePolygonByPt(const int32_t* grid, int cols, int rows, double x0, double yTop, double cellX, double cellY,
                      double px, double py, keloPolygon& out, int /*zScale*/, double factor) {
    if (!Usable(grid, cols, rows, cellX, cellY)) return 0;
    const double fr = std::floor((yTop - py) / cellY), fc = std::floor((px - x0) / cellX);
    if (!(fr >= 0 && fr < rows && fc >= 0 && fc < cols)) return 0;
    const size_t seed = static_cast<size_t>(fr) * cols + static_cast<size_t>(fc);
    if (grid[seed] == GetNodata()) return 0;
    const Grid g{grid, cols, rows, x0, yTop, cellX, cellY};
    std::vector<int32_t> mark(detail::GridCells(cols, rows), 0);
    const std::vector<size_t> cells = GrowRegion(g, seed, mark, 1);
    std::vector<keloPolygon> faces = RegionPolygons(g, cells, mark, 1, std::min(cellX, cellY) * factor);
    if (faces.empty()) return 0;
    // The face holding the seed cell when the region splits into several.
    for (keloPolygon& f : faces)
        if (f.IsPointIn({x0 + (fc + 0.5) * cellX, yTop - (fr + 0.5) * cellY, 0}, 1e-9)) {
            out = std::move(f);
            return 1;
        }
    out = std::move(faces.front());
    return 1;
}

}  // namespace kelo
