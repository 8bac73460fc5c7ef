// The ring of a service area: boundary points ordered by angle around the centre, optionally
// reduced to their convex hull.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/point.h"
#include "geometry/point_run.h"
#include "kelo_api.h"

namespace kelo {

class KELO_API ServiceArea_Convex {
public:
    explicit ServiceArea_Convex(double eps) : m_eps(eps) {}
    ~ServiceArea_Convex() { Dispose(); }
    ServiceArea_Convex(const ServiceArea_Convex&) = delete;
    ServiceArea_Convex& operator=(const ServiceArea_Convex&) = delete;

    void AddPoint(const Point2D& p) { m_points.push_back(p); }
    // Orders every point by angle around the centre, starting at the leftmost point.
    void Sort();
    void Qsort(int lo, int hi);
    // -1, 0 or 1 for a right turn, a straight line (within eps squared) or a left turn.
    int cross(const Point2D& a, const Point2D& b, const Point2D& c) const;
    // Keeps only the left turns of the sorted order.
    void Convex();
    // Replaces pts' points by the closed output ring; leaves pts untouched when there is none.
    void Out(keloPoints& pts) const;
    void Dispose();

    double m_eps;
    Point3D m_centre{0.0, 0.0, 0.0};
    int32_t m_count = 0;
    int32_t m_outCount = 0;
    int* m_sort = nullptr;
    int* m_out = nullptr;
    double* m_angles = nullptr;
    std::vector<Point2D> m_points;
};

}  // namespace kelo
