#include "geometry/convex_hull.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace kelo {

namespace {

// A power of two that brings the largest coordinate to about 1, so that differences and cross
// products of coordinates near the top of the double range neither overflow nor lose bits.
double ScaleFor(const Point3D* points, const std::vector<int>& idx) {
    double big = 0;
    for (int i : idx) big = std::max({big, std::fabs(points[i].x), std::fabs(points[i].y)});
    if (!(big > 0)) return 1.0;
    int e = 0;
    std::frexp(big, &e);
    return std::ldexp(1.0, -e);
}

}  // namespace

int GetConvexHullOfPoints(Point3D* points, int count) {
    if (!points || count <= 0) return 0;
    // Work on indices so that every hull corner is known to be one particular input point: matching
    // corners back by value fails for NaN z and for values the arithmetic does not reproduce.
    std::vector<int> idx;
    idx.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        if (std::isfinite(points[i].x) && std::isfinite(points[i].y)) idx.push_back(i);
    // Equal positions keep their first occurrence (ties broken by index), so the result is stable.
    std::sort(idx.begin(), idx.end(), [&](int a, int b) {
        const Point3D &p = points[a], &q = points[b];
        if (p.x != q.x) return p.x < q.x;
        if (p.y != q.y) return p.y < q.y;
        return a < b;
    });
    idx.erase(std::unique(idx.begin(), idx.end(),
                          [&](int a, int b) { return points[a].x == points[b].x && points[a].y == points[b].y; }),
              idx.end());
    std::vector<int> hull;
    if (idx.size() < 3) {
        hull = idx;
    } else {
        const double s = ScaleFor(points, idx);
        auto cross = [&](int o, int a, int b) {
            const double ox = points[o].x * s, oy = points[o].y * s;
            return (points[a].x * s - ox) * (points[b].y * s - oy) - (points[a].y * s - oy) * (points[b].x * s - ox);
        };
        // Monotone chain: lower then upper hull, dropping turns that are not strictly left.
        hull.resize(2 * idx.size());
        size_t k = 0;
        for (size_t i = 0; i < idx.size(); ++i) {
            while (k >= 2 && !(cross(hull[k - 2], hull[k - 1], idx[i]) > 0)) --k;
            hull[k++] = idx[i];
        }
        for (size_t i = idx.size() - 1, lower = k + 1; i-- > 0;) {
            while (k >= lower && !(cross(hull[k - 2], hull[k - 1], idx[i]) > 0)) --k;
            hull[k++] = idx[i];
        }
        hull.resize(k - 1);
    }
    // Hull vertices first, the other points after them in their original order.
    std::vector<uint8_t> onHull(static_cast<size_t>(count), 0);
    for (int i : hull) onHull[static_cast<size_t>(i)] = 1;
    std::vector<Point3D> out;
    out.reserve(static_cast<size_t>(count));
    for (int i : hull) out.push_back(points[i]);
    for (int i = 0; i < count; ++i)
        if (!onHull[static_cast<size_t>(i)]) out.push_back(points[i]);
    std::copy(out.begin(), out.end(), points);
    return static_cast<int>(hull.size());
}

}  // namespace kelo
