// Angular ordering and hull of service-area boundary points.
#include "network/service_area_convex.h"

#include <cmath>
#include <vector>

namespace kelo {

namespace {
constexpr double kTwoPi = 6.283185307179586476925286766559;
}

void ServiceArea_Convex::Dispose() {
    delete[] m_sort;
    delete[] m_out;
    delete[] m_angles;
    m_sort = m_out = nullptr;
    m_angles = nullptr;
    m_outCount = 0;
}

void ServiceArea_Convex::Sort() {
    Dispose();
    m_count = static_cast<int32_t>(m_points.size());
    if (m_count == 0) return;
    m_sort = new int[m_count];
    m_out = new int[m_count];
    m_angles = new double[m_count];
    int pivot = 0;
    for (int i = 1; i < m_count; ++i) {
        const double dx = m_points[i].x - m_points[pivot].x;
        if (dx < -m_eps || (std::fabs(dx) <= m_eps && m_points[i].y < m_points[pivot].y)) pivot = i;
    }
    const double pivotAngle = std::atan2(m_points[pivot].y - m_centre.y, m_points[pivot].x - m_centre.x);
    for (int i = 0; i < m_count; ++i) {
        double a = std::atan2(m_points[i].y - m_centre.y, m_points[i].x - m_centre.x) - pivotAngle + 2.0 * kTwoPi;
        while (a >= kTwoPi) a -= kTwoPi;
        m_angles[i] = a;
        m_sort[i] = i;
    }
    Qsort(0, m_count - 1);
    for (int i = 0; i < m_count; ++i) m_out[i] = m_sort[i];
    m_outCount = m_count;
}

void ServiceArea_Convex::Qsort(int lo, int hi) {
    while (lo < hi) {
        const double pivot = m_angles[m_sort[(lo + hi) / 2]];
        int i = lo, j = hi;
        while (i <= j) {
            while (m_angles[m_sort[i]] < pivot) ++i;
            while (m_angles[m_sort[j]] > pivot) --j;
            if (i <= j) {
                const int t = m_sort[i];
                m_sort[i] = m_sort[j];
                m_sort[j] = t;
                ++i;
                --j;
            }
        }
        // Recurse into the smaller side so hostile input cannot exhaust the stack.
        if (j - lo < hi - i) {
            Qsort(lo, j);
            lo = i;
        } else {
            Qsort(i, hi);
            hi = j;
        }
    }
}

int ServiceArea_Convex::cross(const Point2D& a, const Point2D& b, const Point2D& c) const {
    const double v = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
    if (std::fabs(v) <= m_eps * m_eps) return 0;
    return v > 0 ? 1 : -1;
}

void ServiceArea_Convex::Convex() {
    if (m_out == nullptr || m_outCount == 0) return;
    std::vector<int> hull;
    hull.reserve(m_count);
    // A turn b -> a -> k survives only when it is clearly to the left.
    auto keeps = [&](int k) {
        const Point2D& a = m_points[hull[hull.size() - 1]];
        const Point2D& b = m_points[hull[hull.size() - 2]];
        const Point2D& c = m_points[k];
        const double w = (a.x - b.x) * (c.y - b.y) - (a.y - b.y) * (c.x - b.x);
        return std::fabs(w) > m_eps * m_eps && w >= 0;
    };
    for (int s = 0; s < m_count; ++s) {
        const int k = m_sort[s];
        while (hull.size() >= 2 && !keeps(k)) hull.pop_back();
        hull.push_back(k);
    }
    if (hull.size() >= 2)
        while (hull.size() > 2 && !keeps(m_sort[0])) hull.pop_back();
    m_outCount = static_cast<int32_t>(hull.size());
    for (int i = 0; i < m_outCount; ++i) m_out[i] = hull[i];
}

void ServiceArea_Convex::Out(keloPoints& pts) const {
    if (m_outCount == 0 || m_out == nullptr) return;
    Point3D* ring = new Point3D[m_outCount + 1];
    for (int i = 0; i < m_outCount; ++i) ring[i] = Point3D{m_points[m_out[i]].x, m_points[m_out[i]].y, 0.0};
    ring[m_outCount] = ring[0];
    pts.DeleteContent();
    pts.Attach(m_outCount + 1, ring, klLTPolyline);
}

}  // namespace kelo
