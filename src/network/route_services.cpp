// The route services on a caller's graph: best route, nearest facility, tours, service areas.
#include <algorithm>
#include <cmath>
#include <ctime>
#include <vector>

#include "companion/geodesy.h"
#include "companion/random.h"
#include "network/hamilton_route.h"
#include "network/route_graph.h"
#include "network/service_area_convex.h"

namespace kelo {

namespace {

constexpr double kNone = 1e36;
constexpr double kNoneSeen = 1e35;

// Searching towards a position runs on the inverted graph; whatever happens, the caller gets the
// graph back in its own direction.
class InverseGuard {
public:
    InverseGuard(Dijkstra_Route& g, bool active) : m_g(g), m_active(active) {
        if (m_active) m_g.InverseAllEdges();
    }
    ~InverseGuard() {
        if (m_active) m_g.InverseAllEdges();
    }
    InverseGuard(const InverseGuard&) = delete;
    InverseGuard& operator=(const InverseGuard&) = delete;

private:
    Dijkstra_Route& m_g;
    bool m_active;
};

void ReversePoints(keloPoints& pts) {
    if (pts.points != nullptr && pts.pointCount > 1) std::reverse(pts.points, pts.points + pts.pointCount);
}

// A position that is no place (NaN or infinite) is refused rather than snapped to the origin.
bool IsFinitePoint(const Point3D& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

double ReachedCost(const Dijkstra_Route& g, int v) {
    if (v < 0 || g.GetPre(v) == -1) return kNone;
    return g.GetDist(v);
}

}  // namespace

int Dijkstra_Route::FindBestRoute2Pos(int64_t keyA, int64_t keyB, myRouteResult& result, int32_t flag) {
    Solve(Binary_Search(keyA), flag);
    const int found = Get_Route(Binary_Search(keyB), static_cast<keloPoints&>(result));
    if (found) RecalRouteCost(result);
    return found;
}

int Dijkstra_Route::FindNearestHosptal(const Point3D& position, const std::vector<Point3D>& facilities,
                                       myRouteResult& result, bool toPosition, int32_t flag) {
    if (facilities.empty() || !IsFinitePoint(position)) return 0;
    InverseGuard inverse(*this, toPosition);
    Add_Point(position);
    for (const Point3D& f : facilities) Add_Point(f);
    Solve(Binary_Search(position), flag);

    double best = kNone;
    int bestVert = -1;
    for (const Point3D& f : facilities) {
        const int v = Binary_Search(f);
        const double c = ReachedCost(*this, v);
        if (c < best) {
            best = c;
            bestVert = v;
        }
    }
    if (bestVert < 0 || best > kNoneSeen) return 0;
    myRouteResult route;
    if (!Get_Route(bestVert, static_cast<keloPoints&>(route))) return 0;
    RecalRouteCost(route);
    if (toPosition) ReversePoints(route);
    // Appended like Get_Route, so a caller's earlier points stay in front.
    result.AddPoints(route.GetCount(), route.points);
    result.lineCost += route.lineCost;
    result.crossCost += route.crossCost;
    result.nodeCount += route.nodeCount;
    result.length = CalLen(result);
    return 1;
}

int Dijkstra_Route::BuildTourRoute(const std::vector<int>& tour, const std::vector<int>& vertOf,
                                   const Point3D& depotPos, bool returnToDepot, int32_t flag,
                                   std::vector<myRouteResult>& results) {
    results.emplace_back();
    const size_t slot = results.size() - 1;
    myRouteResult route;
    route.AddPoint(depotPos);
    const int legs = static_cast<int>(tour.size()) - 1;
    for (int k = 0; k < legs; ++k) {
        if (k == legs - 1 && !returnToDepot) break;
        const int from = vertOf[tour[k]];
        const int to = vertOf[tour[k + 1]];
        Solve(from, flag);
        // The leg starts where the route stands; its first point replaces that last point.
        Point3D last = route.points[route.GetCount() - 1];
        route.DeletePointAt(route.GetCount() - 1);
        if (!Get_Route(to, static_cast<keloPoints&>(route))) route.AddPoint(last);
    }
    RecalRouteCost(route);
    results[slot] = std::move(route);
    return 1;
}

int Dijkstra_Route::FindBestPostRoute(const std::vector<Point3D>& depots, const std::vector<Point3D>& targets,
                                      std::vector<myRouteResult>& results, int returnToDepot, int32_t flag) {
    KeloSrand(static_cast<uint32_t>(std::time(nullptr)));
    if (depots.empty()) return 0;
    for (const std::vector<Point3D>* list : {&depots, &targets})
        for (const Point3D& p : *list)
            if (!IsFinitePoint(p)) return 0;
    const int D = static_cast<int>(depots.size());
    const int T = static_cast<int>(targets.size());

    Hamilton_Route ham(m_eps);
    ham.n = D + T;
    ham.GetMemory();
    double** M = ham.matrix;

    for (const Point3D& t : targets) Add_Point(t);
    for (const Point3D& d : depots) Add_Point(d);
    std::vector<int> vertOf(D + T);
    for (int t = 0; t < T; ++t) vertOf[t] = Binary_Search(targets[t]);
    for (int a = 0; a < D; ++a) vertOf[T + a] = Binary_Search(depots[a]);

    for (int a = 0; a < D; ++a) {
        Solve(vertOf[T + a], flag);
        for (int t = 0; t < T; ++t) {
            const double c = ReachedCost(*this, vertOf[t]);
            M[T + a][t] = c;
            M[t][T + a] = returnToDepot ? c : 0.0;
        }
        M[T + a][T + a] = 0.0;
    }
    for (int t = 0; t < T; ++t) {
        Solve(vertOf[t], flag);
        for (int u = 0; u < T; ++u) M[t][u] = ReachedCost(*this, vertOf[u]);
    }

    // Optimises one depot's tour over the given targets; returns its cost, the tour in ham.bestList.
    auto optimise = [&](int a, const std::vector<int>& list) {
        ham.stopCount = static_cast<int32_t>(list.size());
        for (size_t k = 0; k < list.size(); ++k) ham.stops[k] = list[k];
        ham.start = T + a;
        ham.Process();
        return ham.bestCost;
    };
    auto bestTour = [&]() { return std::vector<int>(ham.bestList, ham.bestList + ham.stopCount + 1); };

    if (D == 1) {
        std::vector<int> all(T);
        for (int t = 0; t < T; ++t) all[t] = t;
        if (optimise(0, all) > kNoneSeen) return 0;
        BuildTourRoute(bestTour(), vertOf, depots[0], returnToDepot != 0, flag, results);
        return 1;
    }

    // Several depots. A target that no depot reaches cannot be part of any tour; it is left out.
    std::vector<std::vector<int>> lists(D);
    for (int t = 0; t < T; ++t) {
        int best = -1;
        double bestCost = kNone;
        for (int a = 0; a < D; ++a) {
            const double c = M[T + a][t];
            if (c > kNoneSeen) continue;
            if (best < 0 || c < bestCost - m_eps) {
                best = a;
                bestCost = c;
            } else if (std::fabs(c - bestCost) <= m_eps && (KeloRand() & 1)) {
                best = a;
                bestCost = c;
            }
        }
        if (best >= 0) lists[best].push_back(t);
    }
    std::vector<double> tourCost(D);
    for (int a = 0; a < D; ++a) tourCost[a] = optimise(a, lists[a]);

    std::vector<int> placed;
    for (int a = 0; a < D; ++a) placed.insert(placed.end(), lists[a].begin(), lists[a].end());
    if (!placed.empty()) {
        long long lastMove = 0;
        const long long tt = static_cast<long long>(T) * T;
        for (long long iter = 0; iter < 1000; ++iter) {
            if (iter >= tt || iter > lastMove + 2LL * T) break;
            const int t = static_cast<int>(placed.size()) == T ? KeloRand() % T
                                                                : placed[KeloRand() % static_cast<int>(placed.size())];
            int from = -1;
            for (int a = 0; a < D && from < 0; ++a) {
                auto it = std::find(lists[a].begin(), lists[a].end(), t);
                if (it != lists[a].end()) {
                    *it = lists[a].back();
                    lists[a].pop_back();
                    from = a;
                }
            }
            tourCost[from] = optimise(from, lists[from]);
            int bestDepot = -1;
            double bestIncrease = 0.0;
            for (int a = 0; a < D; ++a) {
                if (M[T + a][t] > kNoneSeen) continue;
                std::vector<int> trial = lists[a];
                trial.push_back(t);
                const double increase = optimise(a, trial) - tourCost[a];
                if (bestDepot < 0 || increase < bestIncrease) {
                    bestDepot = a;
                    bestIncrease = increase;
                }
            }
            lists[bestDepot].push_back(t);
            tourCost[bestDepot] += bestIncrease;
            if (bestDepot != from) lastMove = iter;
        }
    }
    for (int a = 0; a < D; ++a) {
        optimise(a, lists[a]);
        BuildTourRoute(bestTour(), vertOf, depots[a], returnToDepot != 0, flag, results);
    }
    return 1;
}

int Dijkstra_Route::FindServiceArea(const Point3D& centre, myRouteResult& result, double limit, bool whole,
                                    int32_t flag) {
    if (!(limit > 0.0) || !IsFinitePoint(centre)) return 0;
    if (flag == klRouteCostLength && m_unit == klRouteDegreePlanar) {
        // The limit comes in metres; one degree along the diagonal at the centre converts it.
        const Point2D c = Round2(centre);
        const double h = 0.5 / std::sqrt(2.0);
        const Point3D diag[2] = {{c.x + h, c.y + h, 0.0}, {c.x - h, c.y - h, 0.0}};
        DistandAreaInquiry geo(diag, 2, 1);
        geo.SetEllipse(kEllipsoidWgs84);
        const double metresPerDegree = geo.GetDist();
        if (!(metresPerDegree > 0.0)) return 0;
        limit /= metresPerDegree;
    }
    Add_Point(centre);
    const int start = Binary_Search(centre);
    if (start < 0) return 0;
    Solve(start, flag);

    const int nv = GetPointN();
    // A vertex left unsettled (only offered through a blocked vertex) is not part of the area.
    std::vector<double> cost(nv);
    for (int v = 0; v < nv; ++v) cost[v] = m_state[v].pre == -1 ? kNone : m_state[v].cost;
    if (!whole) {
        bool beyond = false;
        for (int v = 0; v < nv && !beyond; ++v) beyond = m_state[v].pre != -1 && cost[v] > limit;
        if (!beyond) return 0;
    }
    ServiceArea_Convex ring(m_eps);
    ring.m_centre = centre;
    for (int v = 0; v < nv; ++v) {
        const double c = cost[v];
        if (whole ? c <= limit + m_eps : std::fabs(c - limit) <= m_eps) {
            const Point3D p = GetPoint(v);
            ring.AddPoint(Point2D{p.x, p.y});
        }
    }
    for (const streetLine& l : m_lines) {
        const double c1 = cost[l.from], c2 = cost[l.to];
        if (std::fabs(c1 - limit) <= m_eps || std::fabs(c2 - limit) <= m_eps) continue;
        if ((c1 < limit) == (c2 < limit)) continue;
        const bool fromCheaper = c1 < c2;
        if (!fromCheaper && !l.twoWay) continue;
        const Point3D a = GetPoint(fromCheaper ? l.from : l.to);
        const Point3D b = GetPoint(fromCheaper ? l.to : l.from);
        const double cheap = fromCheaper ? c1 : c2;
        const double len = std::hypot(b.x - a.x, b.y - a.y);
        if (!(len > 0.0)) continue;
        const double d = len * (limit - cheap) / std::fabs(c2 - c1);
        ring.AddPoint(Point2D{a.x + (b.x - a.x) * d / len, a.y + (b.y - a.y) * d / len});
    }
    ring.Sort();
    if (whole) ring.Convex();
    ring.Out(result);
    result.length = CalLen(result);
    return 1;
}

}  // namespace kelo
