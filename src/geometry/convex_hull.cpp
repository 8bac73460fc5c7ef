#include "geometry/convex_hull.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kelo {

int GetConvexHullOfPoints(Point3D* points, int count) {
    if (!points || count <= 0) return 0;
    std::vector<Point3D> p;
    p.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        if (std::isfinite(points[i].x) && std::isfinite(points[i].y)) p.push_back(points[i]);
    std::sort(p.begin(), p.end(), [](const Point3D& a, const Point3D& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    p.erase(std::unique(p.begin(), p.end(), [](const Point3D& a, const Point3D& b) { return a.x == b.x && a.y == b.y; }),
            p.end());
    std::vector<Point3D> hull;
    if (p.size() < 3) {
        hull = p;
    } else {
        // Monotone chain: lower then upper hull, dropping turns that are not strictly left.
        auto cross = [](const Point3D& o, const Point3D& a, const Point3D& b) {
            return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
        };
        hull.resize(2 * p.size());
        size_t k = 0;
        for (size_t i = 0; i < p.size(); ++i) {
            while (k >= 2 && cross(hull[k - 2], hull[k - 1], p[i]) <= 0) --k;
            hull[k++] = p[i];
        }
        for (size_t i = p.size() - 1, lower = k + 1; i-- > 0;) {
            while (k >= lower && cross(hull[k - 2], hull[k - 1], p[i]) <= 0) --k;
            hull[k++] = p[i];
        }
        hull.resize(k - 1);
    }
    // Hull vertices first, the other points after them in their original order.
    std::vector<Point3D> rest;
    std::vector<bool> used(hull.size(), false);
    for (int i = 0; i < count; ++i) {
        bool taken = false;
        for (size_t h = 0; h < hull.size() && !taken; ++h)
            if (!used[h] && hull[h].x == points[i].x && hull[h].y == points[i].y && hull[h].z == points[i].z) {
                used[h] = taken = true;
            }
        if (!taken) rest.push_back(points[i]);
    }
    std::copy(hull.begin(), hull.end(), points);
    std::copy(rest.begin(), rest.end(), points + hull.size());
    return static_cast<int>(hull.size());
}

}  // namespace kelo
