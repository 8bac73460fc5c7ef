#include "raster/inner_cells.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "geometry/parts.h"
#include "raster/grid_detail.h"
#include "raster/nodata.h"

namespace kelo {

namespace {

struct Edge {
    double x1, y1, x2, y2;
};

std::vector<Edge> RingEdges(const keloPolygon& area, double eps) {
    std::vector<Edge> edges;
    std::vector<Point3D> pts;
    for (int i = 0; i < area.GetRingsCount(); ++i) {
        const keloParts* ring = area.GetOriginalRingAt(i);
        pts.clear();
        if (!ring || ring->Discrete(pts, eps) < 2 || pts.size() < 2) continue;
        // Rings are closed whether or not the last point repeats the first.
        if (pts.front().x != pts.back().x || pts.front().y != pts.back().y) pts.push_back(pts.front());
        for (size_t k = 0; k + 1 < pts.size(); ++k) edges.push_back({pts[k].x, pts[k].y, pts[k + 1].x, pts[k + 1].y});
    }
    return edges;
}

}  // namespace

int GetAllInnerPoint(const keloPolygon& area, int cols, int rows, double x0, double yTop, double cellX, double cellY,
                     double tolerance, std::vector<uint32_t>& cells) {
    cells.clear();
    if (cols <= 0 || rows <= 0 || !(cellX > 0) || !(cellY > 0)) return 0;
    const double tol = tolerance > 0 ? tolerance : 0;
    const std::vector<Edge> edges = RingEdges(area, std::max(tol, 1e-3 * std::min(cellX, cellY)));
    if (edges.empty()) return 0;
    const Box box = area.GetBox();
    std::vector<double> xs;
    std::vector<std::pair<double, double>> spans;
    for (int r = rows - 1; r >= 0; --r) {
        const double y = yTop - r * cellY;
        if (y < box.miny - tol || y > box.maxy + tol) continue;
        xs.clear();
        spans.clear();
        // Half-open crossing rule: a scan line through a vertex counts each ring once.
        for (const Edge& e : edges)
            if ((e.y1 > y) != (e.y2 > y)) xs.push_back(e.x1 + (y - e.y1) * (e.x2 - e.x1) / (e.y2 - e.y1));
        std::sort(xs.begin(), xs.end());
        for (size_t k = 0; k + 1 < xs.size(); k += 2) spans.push_back({xs[k] - tol, xs[k + 1] + tol});
        // Points within the tolerance of an edge count as inside, also along edges that run
        // level with the scan line and are never crossed.
        if (tol > 0)
            for (const Edge& e : edges) {
                double t0 = 0, t1 = 1;
                if (e.y1 == e.y2) {
                    if (std::fabs(e.y1 - y) > tol) continue;
                } else {
                    double ta = (y - tol - e.y1) / (e.y2 - e.y1), tb = (y + tol - e.y1) / (e.y2 - e.y1);
                    t0 = std::max(0.0, std::min(ta, tb));
                    t1 = std::min(1.0, std::max(ta, tb));
                    if (t0 > t1) continue;
                }
                double xa = e.x1 + t0 * (e.x2 - e.x1), xb = e.x1 + t1 * (e.x2 - e.x1);
                spans.push_back({std::min(xa, xb) - tol, std::max(xa, xb) + tol});
            }
        std::sort(spans.begin(), spans.end());
        double done = -1;  // last column listed in this row, so overlapping spans list a cell once
        for (const auto& [a, b] : spans) {
            double c0 = std::max({std::ceil((a - x0) / cellX), 0.0, done + 1});
            double c1 = std::min(std::floor((b - x0) / cellX), static_cast<double>(cols - 1));
            for (double c = c0; c <= c1; ++c) {
                cells.push_back(static_cast<uint32_t>(r));
                cells.push_back(static_cast<uint32_t>(c));
                done = c;
            }
        }
    }
    return cells.empty() ? 0 : 1;
}

int FillAllInnerPoint(const keloPolygon& area, int32_t* grid, int cols, int rows, double x0, double yTop,
                      double cellX, double cellY, double tolerance, int32_t value) {
    std::vector<uint32_t> list;
    if (!grid || !GetAllInnerPoint(area, cols, rows, x0, yTop, cellX, cellY, tolerance, list)) return 0;
    for (size_t k = 0; k + 1 < list.size(); k += 2) grid[static_cast<size_t>(list[k]) * cols + list[k + 1]] = value;
    return 1;
}

namespace {

// Calls visit(row, col, value) for each listed cell that is not nodata.
template <typename Visit>
int ForInnerCells(const keloPolygon& area, const int32_t* dem, int cols, int rows, double x0, double yTop,
                  double cellX, double cellY, double tolerance, Visit visit) {
    std::vector<uint32_t> list;
    if (!dem || !GetAllInnerPoint(area, cols, rows, x0, yTop, cellX, cellY, tolerance, list)) return 0;
    const int32_t nodata = GetNodata();
    for (size_t k = 0; k + 1 < list.size(); k += 2) {
        const int r = static_cast<int>(list[k]), c = static_cast<int>(list[k + 1]);
        const int32_t v = dem[static_cast<size_t>(r) * cols + c];
        if (v != nodata) visit(r, c, v);
    }
    return 1;
}

}  // namespace

int GetSurfaceArea(const keloPolygon& area, const int32_t* dem, int cols, int rows, double x0, double yTop,
                   double cellX, double cellY, double tolerance, double zScale, double& result) {
    const double zs = detail::SafeScale(zScale);
    const int32_t nodata = GetNodata();
    double total = 0;
    int ok = ForInnerCells(area, dem, cols, rows, x0, yTop, cellX, cellY, tolerance, [&](int r, int c, int32_t) {
        detail::Vec3 n[4];
        int k = detail::CellTriangleNormals(dem, cols, rows, r, c, cellX, cellY, zs, nodata, n);
        if (k == 0) return;
        double q = 0;
        for (int i = 0; i < k; ++i) q += 0.25 * std::sqrt(n[i].x * n[i].x + n[i].y * n[i].y + n[i].z * n[i].z);
        total += q / k;
    });
    if (ok) result = total;
    return ok;
}

int GetUDVolume(const keloPolygon& area, double baseHeight, const int32_t* dem, int cols, int rows, double x0,
                double yTop, double cellX, double cellY, double tolerance, double zScale, double& fill, double& cut) {
    const double zs = detail::SafeScale(zScale);
    double above = 0, below = 0;
    int ok = ForInnerCells(area, dem, cols, rows, x0, yTop, cellX, cellY, tolerance, [&](int, int, int32_t v) {
        const double h = v / zs;
        if (h > baseHeight) above += baseHeight - h;
        if (h < baseHeight) below += h - baseHeight;
    });
    fill = above;
    cut = below;
    return ok;
}

}  // namespace kelo
