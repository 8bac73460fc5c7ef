// Free-function route services over a temporary graph built from polyline records.
#include "network/street_route.h"

#include <algorithm>
#include <cmath>

namespace kelo {

namespace {

// Only the first records decide the unit: enough to tell degrees from metres on real data.
constexpr size_t kUnitProbeRecords = 50;

void ToStreetRoute(const myRouteResult& result, streetRoute& out) {
    if (out.geometry == nullptr) out.geometry = new keloPoints();
    *out.geometry = static_cast<const keloPoints&>(result);
    out.value = static_cast<double>(result.lineCost) + static_cast<double>(result.crossCost);
    out.oneWay = 0;
}

}  // namespace

void BuildStreetGraph(Dijkstra_Route& graph, const std::vector<streetRoute>& net, double crossTime) {
    klRouteCoordLengthUnit unit = klRouteDegreeEllipsoid;
    for (size_t i = 0; i < net.size() && i < kUnitProbeRecords; ++i) {
        const keloPoints* g = net[i].geometry;
        if (g != nullptr && !Dijkstra_Route::CheckPointsDegUnit(g->points, g->GetCount())) {
            unit = klRoutePlanarMetre;
            break;
        }
    }
    graph.Init_Initial(unit, true, crossTime, 500000);
    for (const streetRoute& r : net) {
        if (r.geometry == nullptr) continue;
        graph.Init_Lines(r.geometry->points, r.geometry->GetCount(), static_cast<float>(r.value), r.oneWay == 0,
                         false, 0u, int16_t{0});
    }
    graph.SetDefaultCrosstime(crossTime);
}

int FindBestRoute2Pos(Point3D a, Point3D b, const std::vector<streetRoute>& net, double crossTime,
                      streetRoute& out) {
    // A NaN position would key the vertex at the origin.
    for (const Point3D* p : {&a, &b})
        if (!std::isfinite(p->x) || !std::isfinite(p->y)) return 0;
    Dijkstra_Route graph;
    BuildStreetGraph(graph, net, crossTime);
    graph.Add_Point(a);
    graph.Add_Point(b);
    myRouteResult result;
    if (!graph.FindBestRoute2Pos(graph.myStreetPt_VertId(a), graph.myStreetPt_VertId(b), result, klRouteCostTime))
        return 0;
    ToStreetRoute(result, out);
    return 1;
}

int FindNearestHosptal(Point3D position, const std::vector<Point3D>& facilities,
                       const std::vector<streetRoute>& net, double crossTime, streetRoute& out, bool toPosition) {
    Dijkstra_Route graph;
    BuildStreetGraph(graph, net, crossTime);
    myRouteResult result;
    if (!graph.FindNearestHosptal(position, facilities, result, toPosition, klRouteCostTime)) return 0;
    ToStreetRoute(result, out);
    return 1;
}

int FindBestPostRoute(const std::vector<Point3D>& depots, const std::vector<Point3D>& targets,
                      const std::vector<streetRoute>& net, double crossTime, std::vector<streetRoute>& out,
                      int returnToDepot) {
    if (depots.empty()) return 0;
    Dijkstra_Route graph;
    BuildStreetGraph(graph, net, crossTime);
    std::vector<myRouteResult> results;
    if (!graph.FindBestPostRoute(depots, targets, results, returnToDepot, klRouteCostTime)) return 0;
    for (const myRouteResult& r : results) {
        streetRoute rec;
        ToStreetRoute(r, rec);
        out.push_back(std::move(rec));
    }
    return 1;
}

int FindServiceArea(Point3D centre, const std::vector<streetRoute>& net, double crossTime, double limit,
                    streetRoute& out, int whole) {
    Dijkstra_Route graph;
    BuildStreetGraph(graph, net, crossTime);
    myRouteResult result;
    if (!graph.FindServiceArea(centre, result, limit, whole != 0, klRouteCostLength)) return 0;
    ToStreetRoute(result, out);
    return 1;
}

}  // namespace kelo
