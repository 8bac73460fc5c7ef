// Road networks for scripts. A network keeps its roads rather than a graph: every question snaps
// its positions onto the graph, adding vertices and connector lines, so each question is asked of
// a fresh graph and never runs over the connectors an earlier one left behind.
#include "host_network.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <utility>

#include "host_geometry.h"

namespace kelo_tool {

using namespace kelo;

namespace {

const char* const kFnNames[] = {"netCreate", "netAddRoad", "netRoute", "netNearest", "netTour", "netArea", "netFree"};

struct Road {
    std::vector<Point3D> points;
    float speed = 0.0f;
    bool oneWay = false;
};

struct Network {
    klRouteCoordLengthUnit unit = klRoutePlanarMetre;
    std::vector<Road> roads;
    size_t pieces = 0;
};

// Handles are serial numbers, never addresses, so a freed network's handle cannot come back as
// the handle of a later one.
struct Networks {
    std::map<uintptr_t, std::unique_ptr<Network>> live;
    uintptr_t next = 1;
} g_networks;

void* HandleOf(uintptr_t id) { return reinterpret_cast<void*>(id); }

bool Number(const Tdata& v, double& out) {
    if (v.dataType == kTypeInt) out = v.value.i;
    else if (v.dataType == kTypeDouble) out = v.value.d;
    else return false;
    return std::isfinite(out);
}

bool Flag(const Tdata& v, bool& out) {
    if (v.dataType == kTypeBool) out = v.value.b;
    else if (v.dataType == kTypeInt) out = v.value.i != 0;
    else return false;
    return true;
}

// Keys index a grid of twice the point tolerance with 32-bit integers; beyond that range
// distinct points would share a vertex.
bool InUnitRange(const Point3D& p, klRouteCoordLengthUnit unit) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
    if (unit == klRoutePlanarMetre) return std::fabs(p.x) < 1e8 && std::fabs(p.y) < 1e8;
    return Dijkstra_Route::CheckPointsDegUnit(&p, 1);
}

// The graph of the network's roads. Lines are added one by one rather than as polylines, because
// adding a polyline would change the unit by the coordinates of the first road.
void BuildGraph(const Network& n, Dijkstra_Route& g) {
    const int growth = static_cast<int>(std::min<size_t>(n.pieces + 64, 0x2000000));
    g.Init_Initial(n.unit, true, 1.0, growth);
    for (size_t r = 0; r < n.roads.size(); ++r) {
        const Road& road = n.roads[r];
        const float cost = g.ToUnitCost(road.speed);
        for (size_t i = 0; i + 1 < road.points.size(); ++i) {
            const Point3D ab[2] = {road.points[i], road.points[i + 1]};
            g.Add2Lines(&ab[0], &ab[1], cost, g.CalLen(ab, 2), !road.oneWay, false, static_cast<uint32_t>(r),
                        int16_t{0});
        }
    }
}

// Cells for an answer are taken only after every argument has been read, because the store may
// move when it grows.
class Answer {
public:
    explicit Answer(ScriptEngine* e) : e_(e) {}

    int32_t Cell(const Tdata& v) {
        const int32_t c = e_->allocCell();
        e_->cells[c] = v;
        return c;
    }

    static Tdata Map() {
        Tdata m;
        m.setDataType(kTypeMap);
        return m;
    }

    void Put(Tdata& map, const char* key, const Tdata& value) {
        const int32_t v = Cell(value);
        const int32_t k = Cell(Tdata(key));
        map.value.map->emplace(k, v);
    }

    // "route", "length" and "time" of a route: the route becomes a geometry of the run.
    void PutRoute(Tdata& map, const myRouteResult& r) {
        auto g = std::make_unique<HostGeometry>();
        g->points = static_cast<const keloPoints&>(r);
        Put(map, "route", Tdata(kTypePoints, KeepGeometry(std::move(g))));
        Put(map, "length", Tdata(static_cast<double>(r.length)));
        Put(map, "time", Tdata(static_cast<double>(r.lineCost) + static_cast<double>(r.crossCost)));
    }

    void Return(int32_t result, const Tdata& v) { e_->cells[result].copyFrom(v); }

private:
    ScriptEngine* e_;
};

constexpr int32_t kRouteCells = 6;  // three key and value cells

// One call in progress: reads its arguments and records why it fails.
class NetCall {
public:
    NetCall(NetFn fn, Tdata* cells, const std::vector<int32_t>& args, int32_t result, std::string& text)
        : fn_(fn), cells_(cells), args_(args), result_(result), text_(text), engine_(GetCurrentScriptEngine()) {}

    intptr_t Run();

private:
    intptr_t Fail(const std::string& why) {
        text_ = std::string(kFnNames[static_cast<int>(fn_)]) + ": " + why;
        return 0;
    }
    bool Bad(const std::string& why) {
        Fail(why);
        return false;
    }
    bool Count(size_t least, size_t most) const { return args_.size() >= least && args_.size() <= most; }
    intptr_t WrongCount(const char* usage) { return Fail(std::string("arguments are ") + usage); }
    const Tdata& Arg(size_t k) const { return cells_[args_[k]]; }
    const Tdata& Element(const Tdata& list, size_t k) const {
        return engine_->cells[engine_->resolve((*list.value.a)[k])];
    }

    bool NetworkArg(size_t k);
    bool PositionOf(const Tdata& v, Point3D& p) const;
    bool PositionArg(size_t k, const char* what, Point3D& p);
    bool PositionsArg(size_t k, const char* what, std::vector<Point3D>& out);
    bool RoadArg(size_t k, std::vector<Point3D>& out);
    // The graph for one question. It is built afresh each time because the library joins every
    // asked position to the roads with a connector line that a later question must not route over.
    void Graph(Dijkstra_Route& g) { BuildGraph(*net_, g); }
    bool Reserve(int32_t n) {
        return KeloScriptCurReserveMemory(cells_, n) || Bad("the script's value store is full");
    }

    intptr_t Create();
    intptr_t AddRoad();
    intptr_t Route();
    intptr_t Nearest();
    intptr_t Tour();
    intptr_t Area();
    intptr_t Free();

    NetFn fn_;
    Tdata* cells_;
    const std::vector<int32_t>& args_;
    int32_t result_;
    std::string& text_;
    ScriptEngine* engine_;
    uintptr_t id_ = 0;
    Network* net_ = nullptr;
};

bool NetCall::NetworkArg(size_t k) {
    const Tdata& v = Arg(k);
    if (v.dataType != kTypeHandle) return Bad("the first argument is a network (klHandle from netCreate)");
    id_ = reinterpret_cast<uintptr_t>(v.value.handle);
    auto it = g_networks.live.find(id_);
    if (it == g_networks.live.end()) return Bad("unknown network (not made by netCreate, or freed)");
    net_ = it->second.get();
    return true;
}

// A position is a klPoint, an array {x, y}, a one-point klPoints or a "POINT (x y)" text.
bool NetCall::PositionOf(const Tdata& v, Point3D& p) const {
    switch (v.dataType) {
        case kTypePoint: p = v.getPoint(); break;
        case kTypeArray:
            if (v.value.a->size() != 2 || !Number(Element(v, 0), p.x) || !Number(Element(v, 1), p.y)) return false;
            break;
        case kTypePoints: {
            const HostGeometry* g = FindGeometry(v);
            if (g == nullptr || g->polygon || g->points.pointCount != 1) return false;
            p = g->points.points[0];
            break;
        }
        case kTypeString: {
            HostGeometry g;
            if (!ParseGeometryText(*v.value.s, g) || g.polygon || g.points.pointCount != 1) return false;
            p = g.points.points[0];
            break;
        }
        default: return false;
    }
    p.z = 0;
    return true;
}

bool NetCall::PositionArg(size_t k, const char* what, Point3D& p) {
    if (!PositionOf(Arg(k), p))
        return Bad(std::string(what) + " is not a position (klPoint, {x, y}, a point or \"POINT (x y)\")");
    if (!InUnitRange(p, net_->unit)) return Bad(std::string(what) + " lies outside the network's coordinate range");
    return true;
}

bool NetCall::PositionsArg(size_t k, const char* what, std::vector<Point3D>& out) {
    const Tdata& v = Arg(k);
    if (v.dataType != kTypeArray) return Bad(std::string(what) + " must be an array of positions");
    for (size_t i = 0; i < v.value.a->size(); ++i) {
        Point3D p{};
        const std::string name = std::string(what) + "[" + std::to_string(i) + "]";
        if (!PositionOf(Element(v, i), p))
            return Bad(name + " is not a position (klPoint, {x, y}, a point or \"POINT (x y)\")");
        if (!InUnitRange(p, net_->unit)) return Bad(name + " lies outside the network's coordinate range");
        out.push_back(p);
    }
    return true;
}

// A road is a line klPoints (or a polygon's ring), a "LINESTRING (...)" text or an array of
// positions.
bool NetCall::RoadArg(size_t k, std::vector<Point3D>& out) {
    const Tdata& v = Arg(k);
    bool ok = false;
    if (v.dataType == kTypePoints) {
        if (const HostGeometry* g = FindGeometry(v)) {
            out.assign(g->points.points, g->points.points + g->points.pointCount);
            ok = true;
        }
    } else if (v.dataType == kTypeString) {
        HostGeometry g;
        if (ParseGeometryText(*v.value.s, g)) {
            out.assign(g.points.points, g.points.points + g.points.pointCount);
            ok = true;
        }
    } else if (v.dataType == kTypeArray) {
        ok = true;
        for (size_t i = 0; i < v.value.a->size() && ok; ++i) {
            Point3D p{};
            ok = PositionOf(Element(v, i), p);
            out.push_back(p);
        }
    }
    if (!ok || out.size() < 2)
        return Bad("the road is not a line (klPoints, \"LINESTRING (...)\" or an array of positions)");
    for (Point3D& p : out) {
        p.z = 0;
        if (!InUnitRange(p, net_->unit)) return Bad("the road lies outside the network's coordinate range");
    }
    return true;
}

intptr_t NetCall::Create() {
    if (!Count(0, 1)) return WrongCount("([int unit])");
    int unit = klRoutePlanarMetre;
    if (args_.size() == 1) {
        if (Arg(0).dataType != kTypeInt || Arg(0).value.i < 0 || Arg(0).value.i > 2)
            return Fail("the unit is 0 (degrees), 1 (degrees, lengths in metres) or 2 (metres)");
        unit = Arg(0).value.i;
    }
    auto n = std::make_unique<Network>();
    n->unit = static_cast<klRouteCoordLengthUnit>(unit);
    const uintptr_t id = g_networks.next++;
    g_networks.live.emplace(id, std::move(n));
    return setValue(cells_[result_], Tdata(kTypeHandle, HandleOf(id)));
}

intptr_t NetCall::AddRoad() {
    if (!Count(3, 4)) return WrongCount("(klHandle net, road, double speed [, bool oneWay])");
    if (!NetworkArg(0)) return 0;
    Road road;
    if (!RoadArg(1, road.points)) return 0;
    double speed = 0;
    if (!Number(Arg(2), speed) || !(speed > 0) || speed > std::numeric_limits<float>::max())
        return Fail("the speed (km/h) must be a positive number");
    road.speed = static_cast<float>(speed);
    if (args_.size() == 4 && !Flag(Arg(3), road.oneWay)) return Fail("oneWay must be a bool");
    // Consecutive points that snap to one vertex make no line; a road of nothing else is refused.
    Dijkstra_Route grid;
    grid.Init_Initial(net_->unit, true, 1.0, 1);
    int pieces = 0;
    for (size_t i = 0; i + 1 < road.points.size(); ++i)
        pieces += grid.myStreetPt_VertId(road.points[i]) != grid.myStreetPt_VertId(road.points[i + 1]);
    if (pieces == 0) return Fail("the road has no length at the network's precision");
    net_->pieces += static_cast<size_t>(pieces);
    net_->roads.push_back(std::move(road));
    return setValue(cells_[result_], Tdata(pieces));
}

intptr_t NetCall::Route() {
    if (!Count(3, 3)) return WrongCount("(klHandle net, from, to)");
    Point3D a{}, b{};
    if (!NetworkArg(0) || !PositionArg(1, "from", a) || !PositionArg(2, "to", b)) return 0;
    std::vector<Point3D> ends{a, b};
    Dijkstra_Route g;
    Graph(g);
    g.Add_Point(ends[0]);
    g.Add_Point(ends[1]);
    myRouteResult r;
    const bool found =
        g.FindBestRoute2Pos(g.myStreetPt_VertId(ends[0]), g.myStreetPt_VertId(ends[1]), r, klRouteCostTime) != 0;
    if (!Reserve(kRouteCells)) return 0;
    Answer answer(engine_);
    Tdata map = Answer::Map();
    if (found) answer.PutRoute(map, r);
    answer.Return(result_, map);
    return 1;
}

intptr_t NetCall::Nearest() {
    if (!Count(3, 4)) return WrongCount("(klHandle net, position, array facilities [, bool toPosition])");
    Point3D p{};
    std::vector<Point3D> facilities;
    bool toPosition = false;
    if (!NetworkArg(0) || !PositionArg(1, "the position", p) || !PositionsArg(2, "facilities", facilities)) return 0;
    if (facilities.empty()) return Fail("no facilities given");
    if (args_.size() == 4 && !Flag(Arg(3), toPosition)) return Fail("toPosition must be a bool");
    facilities.push_back(p);
    Dijkstra_Route g;
    Graph(g);
    p = facilities.back();
    facilities.pop_back();
    myRouteResult r;
    int chosen = -1;
    if (g.FindNearestHosptal(p, facilities, r, toPosition, klRouteCostTime) && r.pointCount > 0) {
        // The route ends (or, towards the position, starts) at the chosen facility's vertex; ties
        // went to the earlier facility, so the first one on that vertex is it.
        const int v = g.Binary_Search(r.points[toPosition ? 0 : r.pointCount - 1]);
        for (size_t k = 0; k < facilities.size() && chosen < 0; ++k)
            if (g.Binary_Search(facilities[k]) == v) chosen = static_cast<int>(k);
    }
    if (!Reserve(kRouteCells + 2)) return 0;
    Answer answer(engine_);
    Tdata map = Answer::Map();
    if (chosen >= 0) {
        answer.PutRoute(map, r);
        answer.Put(map, "facility", Tdata(chosen));
    }
    answer.Return(result_, map);
    return 1;
}

intptr_t NetCall::Tour() {
    if (!Count(3, 4)) return WrongCount("(klHandle net, array depots, array targets [, bool returnToDepot])");
    std::vector<Point3D> depots, targets;
    bool back = true;
    if (!NetworkArg(0) || !PositionsArg(1, "depots", depots) || !PositionsArg(2, "targets", targets)) return 0;
    if (depots.empty()) return Fail("no depots given");
    if (args_.size() == 4 && !Flag(Arg(3), back)) return Fail("returnToDepot must be a bool");
    std::vector<Point3D> all = depots;
    all.insert(all.end(), targets.begin(), targets.end());
    Dijkstra_Route g;
    Graph(g);
    depots.assign(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(depots.size()));
    targets.assign(all.begin() + static_cast<std::ptrdiff_t>(depots.size()), all.end());
    std::vector<myRouteResult> routes;
    if (!g.FindBestPostRoute(depots, targets, routes, back ? 1 : 0, klRouteCostTime)) routes.clear();
    if (!Reserve(static_cast<int32_t>(routes.size()) * (kRouteCells + 1))) return 0;
    Answer answer(engine_);
    Tdata list;
    list.setDataType(kTypeArray);
    for (const myRouteResult& r : routes) {
        Tdata map = Answer::Map();
        answer.PutRoute(map, r);
        list.value.a->push_back(answer.Cell(map));
    }
    answer.Return(result_, list);
    return 1;
}

intptr_t NetCall::Area() {
    if (!Count(3, 4)) return WrongCount("(klHandle net, centre, double limit [, bool whole])");
    Point3D c{};
    double limit = 0;
    bool whole = true;
    if (!NetworkArg(0) || !PositionArg(1, "the centre", c)) return 0;
    if (!Number(Arg(2), limit) || !(limit > 0)) return Fail("the limit (metres of road) must be a positive number");
    if (args_.size() == 4 && !Flag(Arg(3), whole)) return Fail("whole must be a bool");
    std::vector<Point3D> centre{c};
    Dijkstra_Route g;
    Graph(g);
    myRouteResult r;
    const bool found = g.FindServiceArea(centre[0], r, limit, whole, klRouteCostLength) && r.pointCount > 0;
    if (!Reserve(4)) return 0;
    Answer answer(engine_);
    Tdata map = Answer::Map();
    if (found) {
        auto ring = std::make_unique<HostGeometry>();
        ring->points = static_cast<const keloPoints&>(r);
        ring->polygon = true;
        answer.Put(map, "area", Tdata(kTypePoints, KeepGeometry(std::move(ring))));
        answer.Put(map, "perimeter", Tdata(static_cast<double>(r.length)));
    }
    answer.Return(result_, map);
    return 1;
}

intptr_t NetCall::Free() {
    if (!Count(1, 1)) return WrongCount("(klHandle net)");
    if (!NetworkArg(0)) return 0;
    g_networks.live.erase(id_);
    return setValue(cells_[result_], Tdata(true));
}

intptr_t NetCall::Run() {
    if (engine_ == nullptr) return 0;
    switch (fn_) {
        case NetFn::kCreate: return Create();
        case NetFn::kAddRoad: return AddRoad();
        case NetFn::kRoute: return Route();
        case NetFn::kNearest: return Nearest();
        case NetFn::kTour: return Tour();
        case NetFn::kArea: return Area();
        case NetFn::kFree: return Free();
    }
    return 0;
}

}  // namespace

intptr_t CallNetworkFunction(NetFn fn, Tdata* cells, const std::vector<int32_t>& args, int32_t result,
                             std::string& text) {
    return NetCall(fn, cells, args, result, text).Run();
}

void FreeNetworks() {
    g_networks.live.clear();
    g_networks.next = 1;
}

}  // namespace kelo_tool
