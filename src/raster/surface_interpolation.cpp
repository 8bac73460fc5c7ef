#include "raster/surface_interpolation.h"

#include <algorithm>
#include <cmath>

#include "raster/grid_detail.h"
#include "raster/nodata.h"
#include "raster/triangulation.h"

namespace kelo {

namespace {

// Rounds half up into a cell, saturating instead of overflowing.
int32_t RoundCell(double v) { return detail::Trunc32(std::floor(v + 0.5)); }

bool UsableGrid(int cols, int rows, double cellX, double cellY, const int32_t* out) {
    return out && cols > 0 && rows > 0 && cellX > 0 && cellY > 0 && std::isfinite(cellX) && std::isfinite(cellY);
}

// The plane a x + b y + c z + d = 0 through a triangle.
struct Plane {
    double a, b, c, d;
    explicit Plane(const Point3D* t) {
        const double ux = t[1].x - t[0].x, uy = t[1].y - t[0].y, uz = t[1].z - t[0].z;
        const double vx = t[2].x - t[0].x, vy = t[2].y - t[0].y, vz = t[2].z - t[0].z;
        a = uy * vz - uz * vy;
        b = uz * vx - ux * vz;
        c = ux * vy - uy * vx;
        d = -(a * t[0].x + b * t[0].y + c * t[0].z);
    }
    double Height(double x, double y) const { return -(a * x + b * y + d) / c; }
};

std::vector<Point3D> Triangles(const std::vector<Point3D>& points) {
    std::vector<Point3D> tri;
    DelaunayTriangulation(points, tri, {});
    return tri;
}

}  // namespace

int SurfaceCreateIDW(std::vector<Point3D>& points, int cols, int rows, double x0, double yTop, double cellX,
                     double cellY, int32_t* out) {
    if (points.empty()) return 0;
    if (!out || cols <= 0 || rows <= 0) return 1;
    double zmean = 0;
    for (const Point3D& p : points) zmean += p.z;
    zmean /= static_cast<double>(points.size());
    std::vector<double> d(points.size());
    for (int r = 0; r < rows; ++r) {
        const double y = yTop - r * cellY;
        for (int c = 0; c < cols; ++c) {
            const double x = x0 + c * cellX;
            int32_t& cell = out[static_cast<size_t>(r) * cols + c];
            double far = 0;
            size_t on = points.size();
            for (size_t i = 0; i < points.size() && on == points.size(); ++i) {
                d[i] = std::hypot(points[i].x - x, points[i].y - y);
                if (d[i] <= 1e-7) on = i;
                far = std::max(far, d[i]);
            }
            if (on < points.size()) {
                cell = RoundCell(points[on].z);
                continue;
            }
            double sw = 0, swz = 0;
            for (size_t i = 0; i < points.size(); ++i) {
                const double w = (far - d[i]) / (far * d[i]);
                sw += w * w;
                swz += w * w * points[i].z;
            }
            cell = RoundCell(sw > 0 ? swz / sw : zmean);
        }
    }
    return 1;
}

int SurfaceCreateLinear(std::vector<Point3D>& points, int cols, int rows, double x0, double yTop, double cellX,
                        double cellY, int32_t* out) {
    if (!UsableGrid(cols, rows, cellX, cellY, out)) return 1;
    std::fill(out, out + detail::GridCells(cols, rows), GetNodata());
    const std::vector<Point3D> tri = Triangles(points);
    for (size_t t = 0; t + 2 < tri.size(); t += 3) {
        const Point3D* p = &tri[t];
        const Plane plane(p);
        if (plane.c == 0) continue;
        const double xmin = std::min({p[0].x, p[1].x, p[2].x}), xmax = std::max({p[0].x, p[1].x, p[2].x});
        const int c0 = static_cast<int>(std::max(0.0, std::ceil((xmin - x0) / cellX - 1e-7)));
        const int c1 = static_cast<int>(std::min(cols - 1.0, std::floor((xmax - x0) / cellX + 1e-7)));
        for (int c = c0; c <= c1; ++c) {
            const double x = x0 + c * cellX;
            double ylo = 1e300, yhi = -1e300;
            for (int e = 0; e < 3; ++e) {
                const Point3D &a = p[e], &b = p[(e + 1) % 3];
                const double lo = std::min(a.x, b.x), hi = std::max(a.x, b.x);
                if (x < lo - 1e-7 * cellX || x > hi + 1e-7 * cellX) continue;
                if (hi - lo <= 0) {
                    ylo = std::min({ylo, a.y, b.y});
                    yhi = std::max({yhi, a.y, b.y});
                    continue;
                }
                const double s = std::clamp((x - a.x) / (b.x - a.x), 0.0, 1.0);
                const double y = a.y + s * (b.y - a.y);
                ylo = std::min(ylo, y);
                yhi = std::max(yhi, y);
            }
            if (ylo > yhi) continue;
            const int r0 = static_cast<int>(std::max(0.0, std::ceil((yTop - yhi) / cellY - 1e-7)));
            const int r1 = static_cast<int>(std::min(rows - 1.0, std::floor((yTop - ylo) / cellY + 1e-7)));
            for (int r = r0; r <= r1; ++r)
                out[static_cast<size_t>(r) * cols + c] = detail::Trunc32(plane.Height(x, yTop - r * cellY));
        }
    }
    return 1;
}

int SurfaceCreateLinearSlower(std::vector<Point3D>& points, int cols, int rows, double x0, double yTop,
                              double cellX, double cellY, int32_t* out) {
    if (!UsableGrid(cols, rows, cellX, cellY, out)) return 1;
    std::fill(out, out + detail::GridCells(cols, rows), GetNodata());
    const std::vector<Point3D> tri = Triangles(points);
    // Triangles listed under every row their y range covers, so each cell tests only its row's.
    std::vector<std::vector<size_t>> byRow(static_cast<size_t>(rows));
    for (size_t t = 0; t + 2 < tri.size(); t += 3) {
        const double ylo = std::min({tri[t].y, tri[t + 1].y, tri[t + 2].y});
        const double yhi = std::max({tri[t].y, tri[t + 1].y, tri[t + 2].y});
        const int r0 = static_cast<int>(std::max(0.0, std::ceil((yTop - yhi) / cellY - 1e-7)));
        const int r1 = static_cast<int>(std::min(rows - 1.0, std::floor((yTop - ylo) / cellY + 1e-7)));
        for (int r = r0; r <= r1; ++r) byRow[static_cast<size_t>(r)].push_back(t);
    }
    for (int r = 0; r < rows; ++r) {
        const double y = yTop - r * cellY;
        for (int c = 0; c < cols; ++c) {
            const double x = x0 + c * cellX;
            for (size_t t : byRow[static_cast<size_t>(r)]) {
                const Point3D* p = &tri[t];
                // Inside or on the edge, with a tolerance relative to the edge length.
                bool inside = true;
                for (int e = 0; e < 3 && inside; ++e) {
                    const Point3D &a = p[e], &b = p[(e + 1) % 3];
                    const double cross = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
                    inside = cross >= -1e-7 * std::hypot(b.x - a.x, b.y - a.y) * std::min(cellX, cellY);
                }
                if (!inside) continue;
                const Plane plane(p);
                if (plane.c == 0) continue;
                out[static_cast<size_t>(r) * cols + c] = detail::Trunc32(plane.Height(x, y));
                break;
            }
        }
    }
    return 1;
}

}  // namespace kelo
