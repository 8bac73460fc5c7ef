// Turning arbitrary positions into graph vertices: nearest line, split at the foot, connector.
#include <cmath>
#include <stdexcept>

#include "network/route_graph.h"

namespace kelo {

namespace {
// Connectors from a position to its foot on the network are driven at this speed (km/h).
constexpr float kConnectorSpeed = 30.0f;
constexpr uint32_t kConnectorAttribute = 0xFFFFFFFFu;
}  // namespace

double Dijkstra_Route::calc_shortcut(double ax, double ay, double bx, double by, double px, double py, double& qx,
                                     double& qy) {
    const double da2 = (px - ax) * (px - ax) + (py - ay) * (py - ay);
    const double db2 = (px - bx) * (px - bx) + (py - by) * (py - by);
    const double dx = bx - ax, dy = by - ay;
    const double l2 = dx * dx + dy * dy;
    if (l2 >= std::fabs(da2 - db2) && l2 > 0.0) {
        const double t = ((px - ax) * dx + (py - ay) * dy) / l2;
        qx = ax + t * dx;
        qy = ay + t * dy;
        return std::hypot(px - qx, py - qy);
    }
    if (da2 <= db2) {
        qx = ax;
        qy = ay;
        return std::sqrt(da2);
    }
    qx = bx;
    qy = by;
    return std::sqrt(db2);
}

Point2D Dijkstra_Route::GetNearLine(bool insert, const Point3D& p, int32_t& line) {
    const float connectorCost = ToUnitCost(kConnectorSpeed);
    const Point2D sp = Round2(p);
    line = -1;
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return sp;  // nowhere on the network
    if (Binary_Search(KeyOf(sp)) >= 0) return sp;

    double best = 0.0;
    Point2D foot{0.0, 0.0};
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const streetLine& l = m_lines[i];
        if (l.IsBlock()) continue;
        const Point3D a = GetPoint(l.from), b = GetPoint(l.to);
        double qx = 0.0, qy = 0.0;
        const double d = calc_shortcut(a.x, a.y, b.x, b.y, sp.x, sp.y, qx, qy);
        if (line < 0 || d < best) {
            best = d;
            foot = Point2D{qx, qy};
            line = static_cast<int32_t>(i);
            if (d < m_eps) break;
        }
    }
    if (line < 0) return sp;

    // Without insertion the foot is the answer, also when the scan stopped at a line through p.
    if (!insert) return foot;

    if (Binary_Search(KeyOf(foot)) < 0) {
        // Copy first: adding the new piece may move the line array.
        const streetLine old = m_lines[line];
        const Point3D a3 = GetPoint(old.from), b3 = GetPoint(old.to);
        const Point2D a{a3.x, a3.y}, b{b3.x, b3.y};
        const int fwd = FindLineEdge(old.from, old.to, line);
        const int back = old.twoWay ? FindLineEdge(old.to, old.from, line) : -1;
        if (Add2Lines(foot, b, old.cost, CalLen(foot, b), old.twoWay, old.blocked, old.attribute, old.level)) {
            const int q = Binary_Search(KeyOf(foot));
            if (fwd >= 0) m_edges[fwd].to = q;
            if (back >= 0) m_edges[back].from = q;
            m_lines[line].to = q;
            m_lines[line].length = CalLen(a, foot);
        }
    }
    if (Binary_Search(KeyOf(sp)) < 0)
        Add2Lines(sp, foot, connectorCost, CalLen(sp, foot), true, false, kConnectorAttribute, int16_t{0});
    return sp;
}

void Dijkstra_Route::Add_Point(const Point3D& p) {
    int32_t line = -1;
    GetNearLine(true, p, line);
}

bool Dijkstra_Route::InsertToLine(const Point3D& p, int line, float len1, float len2) {
    CheckLine(line);
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
    const Point2D sp = Round2(p);
    if (Binary_Search(KeyOf(sp)) >= 0) return false;
    const streetLine old = m_lines[line];
    const Point3D b3 = GetPoint(old.to);
    const int fwd = FindLineEdge(old.from, old.to, line);
    const int back = old.twoWay ? FindLineEdge(old.to, old.from, line) : -1;
    if (!Add2Lines(sp, Point2D{b3.x, b3.y}, old.cost, len2, old.twoWay, old.blocked, old.attribute, old.level))
        return false;
    const int q = Binary_Search(KeyOf(sp));
    if (fwd >= 0) m_edges[fwd].to = q;
    if (back >= 0) m_edges[back].from = q;
    m_lines[line].to = q;
    m_lines[line].length = len1;
    return true;
}

}  // namespace kelo
