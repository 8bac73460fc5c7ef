// Road networks. A Network keeps its roads rather than a graph: every question snaps its
// positions onto the graph, adding vertices and connector lines, so each question is asked of a
// fresh graph and never routes over connectors an earlier question left behind.
#include <cmath>
#include <limits>
#include <optional>

#include <pybind11/stl.h>

#include "arguments.h"
#include "library_lock.h"
#include "geometry.h"

namespace kelo_py {

using namespace kelo;

namespace {

struct Road {
    std::vector<Point3D> points;
    float speed = 0.0f;
    bool oneWay = false;
};

struct Route {
    py::object geometry;
    double length = 0;
    double time = 0;
};

class Network {
public:
    explicit Network(klRouteCoordLengthUnit unit) : unit_(unit) {}

    int AddRoad(py::handle coords, py::handle speed, py::handle oneWay, const std::string& name) {
        Road road;
        road.points = Positions(coords, name);
        if (road.points.size() < 2) ValueFail(name + " must hold at least two points");
        for (Point3D& p : road.points) {
            p.z = 0;
            if (!InRange(p)) ValueFail(name + " lies outside the network's coordinate range");
        }
        const double s = Finite(speed, "speed");
        if (!(s > 0) || s > std::numeric_limits<float>::max()) ValueFail("speed (km/h) must be positive");
        road.speed = static_cast<float>(s);
        road.oneWay = Flag(oneWay, "one_way");
        // Consecutive points that snap to one vertex make no line; a road of nothing else is refused.
        Dijkstra_Route grid;
        grid.Init_Initial(unit_, true, 1.0, 1);
        int pieces = 0;
        for (size_t i = 0; i + 1 < road.points.size(); ++i)
            pieces += grid.myStreetPt_VertId(road.points[i]) != grid.myStreetPt_VertId(road.points[i + 1]);
        if (pieces == 0) ValueFail(name + " has no length at the network's precision");
        pieces_ += static_cast<size_t>(pieces);
        roads_.push_back(std::move(road));
        return pieces;
    }

    std::optional<Route> RouteBetween(py::handle from, py::handle to) {
        const Point3D a = Where(from, "start"), b = Where(to, "end");
        myRouteResult r;
        const bool found = WithoutGil([&] {
            Dijkstra_Route g;
            Build(g);
            g.Add_Point(a);
            g.Add_Point(b);
            return g.FindBestRoute2Pos(g.myStreetPt_VertId(a), g.myStreetPt_VertId(b), r, klRouteCostTime) != 0;
        });
        if (!found) return {};
        return RouteOf(r);
    }

    py::object Nearest(py::handle position, py::handle facilities, py::handle toPosition) {
        const Point3D p = Where(position, "position");
        const std::vector<Point3D> f = Wheres(facilities, "facilities");
        if (f.empty()) ValueFail("facilities is empty");
        const bool towards = Flag(toPosition, "to_position");
        Dijkstra_Route g;
        myRouteResult r;
        const bool found = WithoutGil([&] {
            Build(g);
            return g.FindNearestHosptal(p, f, r, towards, klRouteCostTime) != 0;
        });
        if (!found || r.pointCount == 0) return py::none();
        // The route ends (or, towards the position, starts) at the chosen facility's vertex; ties
        // went to the earlier facility, so the first one on that vertex is it.
        const int v = g.Binary_Search(r.points[towards ? 0 : r.pointCount - 1]);
        for (size_t k = 0; k < f.size(); ++k)
            if (g.Binary_Search(f[k]) == v) return py::make_tuple(k, RouteOf(r));
        return py::none();
    }

    std::vector<Route> Tour(py::handle depots, py::handle targets, py::handle back) {
        const std::vector<Point3D> d = Wheres(depots, "depots"), t = Wheres(targets, "targets");
        if (d.empty()) ValueFail("depots is empty");
        const bool ret = Flag(back, "return_to_depot");
        std::vector<myRouteResult> routes;
        std::vector<Route> out;
        const bool found = WithoutGil([&] {
            Dijkstra_Route g;
            Build(g);
            return g.FindBestPostRoute(d, t, routes, ret ? 1 : 0, klRouteCostTime) != 0;
        });
        if (found)
            for (const myRouteResult& r : routes) out.push_back(RouteOf(r));
        return out;
    }

    py::object ServiceArea(py::handle centre, py::handle limit, py::handle whole) {
        const Point3D c = Where(centre, "centre");
        const double l = Finite(limit, "limit");
        if (!(l > 0)) ValueFail("limit (road length) must be positive");
        const bool w = Flag(whole, "whole");
        myRouteResult r;
        const bool found = WithoutGil([&] {
            Dijkstra_Route g;
            Build(g);
            return g.FindServiceArea(c, r, l, w, klRouteCostLength) != 0;
        });
        if (!found || r.pointCount < 3) return py::none();
        GM_Object ring = Planar(r);
        ring.Polyline2Polygon();
        return Wrap(std::move(ring));
    }

    size_t RoadCount() const { return roads_.size(); }
    int Unit() const { return unit_; }

private:
    // Keys index a grid of twice the point tolerance with 32-bit integers; beyond that range
    // distinct points would share a vertex.
    bool InRange(const Point3D& p) const {
        if (unit_ == klRoutePlanarMetre) return std::fabs(p.x) < 1e8 && std::fabs(p.y) < 1e8;
        return Dijkstra_Route::CheckPointsDegUnit(&p, 1);
    }

    Point3D Where(py::handle h, const char* name) const {
        Point3D p = Position(h, name);
        p.z = 0;
        if (!InRange(p)) ValueFail(std::string(name) + " lies outside the network's coordinate range");
        return p;
    }

    std::vector<Point3D> Wheres(py::handle h, const char* name) const {
        std::vector<Point3D> out = Positions(h, name);
        for (size_t i = 0; i < out.size(); ++i) {
            out[i].z = 0;
            if (!InRange(out[i]))
                ValueFail(std::string(name) + "[" + std::to_string(i) + "] lies outside the network's coordinate range");
        }
        return out;
    }

    // Lines are added one by one rather than as polylines, because adding a polyline would change
    // the unit by the coordinates of the first road.
    void Build(Dijkstra_Route& g) const {
        if (roads_.empty()) ValueFail("the network has no roads");
        const int growth = static_cast<int>(std::min<size_t>(pieces_ + 64, 0x2000000));
        g.Init_Initial(unit_, true, 1.0, growth);
        for (size_t r = 0; r < roads_.size(); ++r) {
            const Road& road = roads_[r];
            const float cost = g.ToUnitCost(road.speed);
            for (size_t i = 0; i + 1 < road.points.size(); ++i) {
                const Point3D ab[2] = {road.points[i], road.points[i + 1]};
                g.Add2Lines(&ab[0], &ab[1], cost, g.CalLen(ab, 2), !road.oneWay, false, static_cast<uint32_t>(r),
                            int16_t{0});
            }
        }
    }

    // Graph points carry z = 0, which is no elevation: the answers are planar.
    static GM_Object Planar(const myRouteResult& r) {
        GM_Object g;
        g.Create(static_cast<const CurveSegment&>(r));
        g.ForEachPoint([](Point3D& p, void*, void*, void*) { p.z = kUnknownZ; });
        return g;
    }

    static Route RouteOf(const myRouteResult& r) {
        GM_Object line = Planar(r);
        return Route{Wrap(std::move(line)), r.length, static_cast<double>(r.lineCost) + r.crossCost};
    }

    klRouteCoordLengthUnit unit_;
    std::vector<Road> roads_;
    size_t pieces_ = 0;
};

}  // namespace

void BindNetwork(py::module_& m) {
    py::class_<Route>(m, "Route", "A route found on a Network.")
        .def_readonly("geometry", &Route::geometry, "The route as a LineString.")
        .def_readonly("length", &Route::length, "Length in metres (degrees in unit 0).")
        .def_readonly("time", &Route::time, "Travel time in minutes at the roads' speeds.")
        .def("__repr__", [](const Route& r) {
            Locked lock;
            return "<Route length=" + std::to_string(r.length) + " time=" + std::to_string(r.time) + ">";
        });

    py::class_<Network>(m, "Network", R"(A road network for routing. Roads are polylines with a speed (km/h) and a
one-way flag (one-way roads run in point order). unit 2 (default): planar metres; 1:
degrees (x longitude, y latitude) with ellipsoidal lengths in metres; 0: degrees with
lengths in degrees.)")
        .def(py::init([](py::handle lines, py::handle speeds, py::handle oneWay, py::handle unit) {
                 Locked lock;
                 auto n = std::make_unique<Network>(
                     static_cast<klRouteCoordLengthUnit>(Integer(unit, "unit", 0, 2)));
                 if (lines.is_none()) {
                     if (!speeds.is_none() || !oneWay.is_none()) TypeFail("speeds and one_way need lines");
                     return n;
                 }
                 if (py::isinstance<py::str>(lines) || !py::isinstance<py::sequence>(lines))
                     TypeFail("lines must be a sequence of coordinate sequences, not " + TypeName(lines));
                 py::sequence ls = py::reinterpret_borrow<py::sequence>(lines);
                 auto perLine = [&](py::handle h, const char* name, py::object fallback) -> py::sequence {
                     if (h.is_none()) {
                         if (fallback.is_none()) TypeFail(std::string(name) + " is required with lines");
                         py::list l;
                         for (size_t i = 0; i < ls.size(); ++i) l.append(fallback);
                         return l;
                     }
                     if (py::isinstance<py::str>(h) || !(py::isinstance<py::sequence>(h) || py::isinstance<py::array>(h)))
                         TypeFail(std::string(name) + " must be a sequence, one value per line");
                     py::sequence s = py::reinterpret_borrow<py::sequence>(h);
                     if (s.size() != ls.size())
                         ValueFail(std::string(name) + " has " + std::to_string(s.size()) + " values for " +
                                   std::to_string(ls.size()) + " lines");
                     return s;
                 };
                 py::sequence sp = perLine(speeds, "speeds", py::none());
                 py::sequence ow = perLine(oneWay, "one_way", py::bool_(false));
                 for (size_t i = 0; i < ls.size(); ++i) {
                     const std::string name = "lines[" + std::to_string(i) + "]";
                     n->AddRoad(ls[i], sp[i], ow[i], name);
                 }
                 return n;
             }),
             py::arg("lines") = py::none(), py::arg("speeds") = py::none(), py::arg("one_way") = py::none(),
             py::arg("unit") = 2,
             "A network of the given lines (each a sequence of (x, y)), one speed per line and optional "
             "one-way flags.")
        .def("add_road", [](Network& n, py::handle coords, py::handle speed, py::handle oneWay) {
                Locked lock;
                return n.AddRoad(coords, speed, oneWay, "coords");
            }, py::arg("coords"), py::arg("speed"), py::arg("one_way") = false,
             "Adds one road; returns how many graph lines it makes.")
        .def("route", &Network::RouteBetween, py::call_guard<Locked>(), py::arg("start"), py::arg("end"),
             "The fastest route from start to end (each snapped onto the nearest road), or None.")
        .def("nearest", &Network::Nearest, py::call_guard<Locked>(), py::arg("position"), py::arg("facilities"), py::arg("to_position") = false,
             "(index, Route) of the facility reached fastest from position (or, with to_position, the one "
             "that reaches position fastest), or None.")
        .def("tour", &Network::Tour, py::call_guard<Locked>(), py::arg("depots"), py::arg("targets"), py::arg("return_to_depot") = true,
             "Delivery tours: one Route per depot serving the targets it serves most cheaply.")
        .def("service_area", &Network::ServiceArea, py::call_guard<Locked>(), py::arg("centre"), py::arg("limit"), py::arg("whole") = true,
             "The polygon reached within limit metres of road from centre, or None.")
        .def_property_readonly("road_count", &Network::RoadCount)
        .def_property_readonly("unit", &Network::Unit);
}

}  // namespace kelo_py
