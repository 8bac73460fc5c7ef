// The route services in free-function form: a temporary graph built from an array of network
// polylines, one service run on it, the answer handed back as a polyline record.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/point.h"
#include "geometry/point_run.h"
#include "kelo_api.h"
#include "network/route_graph.h"

namespace kelo {

// One network polyline on input (value = speed in km/h, oneWay != 0 follows the point order);
// one result on output (value = route cost). The record owns its geometry.
struct KELO_API streetRoute {
    keloPoints* geometry = nullptr;
    double value = 0.0;
    int32_t oneWay = 0;

    streetRoute() = default;
    streetRoute(keloPoints* g, double v, int32_t ow) : geometry(g), value(v), oneWay(ow) {}
    ~streetRoute() { delete geometry; }
    streetRoute(const streetRoute& o) : value(o.value), oneWay(o.oneWay) {
        if (o.geometry != nullptr) {
            geometry = new keloPoints();
            *geometry = *o.geometry;
        }
    }
    streetRoute& operator=(const streetRoute& o) {
        if (this != &o) {
            keloPoints* g = nullptr;
            if (o.geometry != nullptr) {
                g = new keloPoints();
                *g = *o.geometry;
            }
            delete geometry;
            geometry = g;
            value = o.value;
            oneWay = o.oneWay;
        }
        return *this;
    }
    streetRoute(streetRoute&& o) noexcept : geometry(o.geometry), value(o.value), oneWay(o.oneWay) {
        o.geometry = nullptr;
    }
    streetRoute& operator=(streetRoute&& o) noexcept {
        if (this != &o) {
            delete geometry;
            geometry = o.geometry;
            o.geometry = nullptr;
            value = o.value;
            oneWay = o.oneWay;
        }
        return *this;
    }
};

// Fills graph from the records (unit and eps chosen from the first 50 records' coordinates).
KELO_API void BuildStreetGraph(Dijkstra_Route& graph, const std::vector<streetRoute>& net, double crossTime);

KELO_API int FindBestRoute2Pos(Point3D a, Point3D b, const std::vector<streetRoute>& net, double crossTime,
                               streetRoute& out);
KELO_API int FindNearestHosptal(Point3D position, const std::vector<Point3D>& facilities,
                                const std::vector<streetRoute>& net, double crossTime, streetRoute& out,
                                bool toPosition);
KELO_API int FindBestPostRoute(const std::vector<Point3D>& depots, const std::vector<Point3D>& targets,
                               const std::vector<streetRoute>& net, double crossTime, std::vector<streetRoute>& out,
                               int returnToDepot);
KELO_API int FindServiceArea(Point3D centre, const std::vector<streetRoute>& net, double crossTime, double limit,
                             streetRoute& out, int whole);

}  // namespace kelo
