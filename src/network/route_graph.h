// The road graph: vertices snapped to a grid, lines between them, and a binary-heap least-cost
// search from one start vertex. The route services and position snapping are members too, because
// they edit the graph they search.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "geometry/point.h"
#include "geometry/point_run.h"
#include "kelo_api.h"
#include "network/vertex_key_map.h"
#include "platform/grow_array.h"

namespace kelo {

// How coordinates and lengths are read; also fixes the per-length cost derived from a speed.
enum klRouteCoordLengthUnit : int32_t {
    klRouteDegreePlanar = 0,     // degrees, planar lengths in degrees
    klRouteDegreeEllipsoid = 1,  // degrees, ellipsoidal lengths in metres
    klRoutePlanarMetre = 2,      // planar metres
};

// What crossing one line costs. Values other than the named ones behave like travel time without
// node crossing times.
enum klRouteCostFlag : int32_t {
    klRouteCostTime = 0,       // length x per-length cost, plus node crossing times
    klRouteCostLength = 1,     // length alone
    klRouteCostPerLength = 9,  // the per-length cost alone: every line counts once
};

enum klRouteLineEnd : int32_t { klRouteLineFrom = 0, klRouteLineTo = 1 };

// One graph vertex. Kind 0 is a plain vertex, 1 a node using the graph's default crossing time,
// any other kind a node with its own crossing time.
struct myRouteVert {
    int64_t key = 0;
    float cost = 0.0f;
    int16_t kind = 0;
    bool blocked = false;

    myRouteVert() = default;
    myRouteVert(int64_t k, int16_t nodeKind, float crossCost, bool block)
        : key(k), cost(crossCost), kind(nodeKind), blocked(block) {}

    bool IsNode() const { return kind != 0; }
    bool IsDefaultNode() const { return kind == 1; }
    bool IsBlock() const { return blocked; }
    void SetBlock(bool b) { blocked = b; }
    void SetNode(int16_t nodeKind, float crossCost, bool block) {
        kind = nodeKind;
        cost = crossCost;
        blocked = block;
    }
    float GetCost(float defaultTime) const { return kind == 0 ? 0.0f : (kind == 1 ? defaultTime : cost); }
};

// One network line between two vertices.
struct streetLine {
    int32_t from = -1;
    int32_t to = -1;
    float cost = 0.0f;    // per-length cost
    float length = 0.0f;  // in the graph's length unit
    bool twoWay = true;
    bool blocked = false;
    int16_t level = 0;
    uint32_t attribute = 0;  // snapping connectors carry 0xFFFFFFFF

    streetLine() = default;
    streetLine(int32_t f, int32_t t, float perLength, float len, bool both, bool block, uint32_t attr,
               int16_t lev)
        : from(f), to(t), cost(perLength), length(len), twoWay(both), blocked(block), level(lev), attribute(attr) {}

    bool IsBlock() const { return blocked; }
    void SetBlock(bool b) { blocked = b; }
    float GetCost(int32_t flag) const {
        if (flag == klRouteCostLength) return length;
        if (flag == klRouteCostPerLength) return cost;
        return length * cost;
    }
};

namespace detail {
// Search work records of the road graph (see Dijkstra_Route).
struct RouteAdjEntry {
    int32_t to;
    float cost;
};
struct RouteVertState {
    float cost;
    int32_t pre;
};
struct RouteHeapEntry {
    float cost;
    int32_t vert;
};
}  // namespace detail

// A route: its points (straight line type) and what crossing it costs.
class KELO_API myRouteResult : public keloPoints {
public:
    float length = 0.0f;     // polyline length of the points, graph unit
    float lineCost = 0.0f;   // sum of length x per-length cost of the lines used
    float crossCost = 0.0f;  // sum of the crossing times of the vertices entered
    int32_t nodeCount = 0;   // vertices entered that are nodes

    myRouteResult() = default;
    // Unlike a bare point run, a route result owns a deep copy of the points it was copied from.
    myRouteResult(const myRouteResult& other);
    myRouteResult& operator=(const myRouteResult& other);
    myRouteResult(myRouteResult&& other) noexcept;
    myRouteResult& operator=(myRouteResult&& other) noexcept;
    ~myRouteResult() = default;
};

class KELO_API Dijkstra_Route {
public:
    struct edge {
        int32_t from;
        int32_t to;
        int32_t line;
    };
    struct heapnode {
        int32_t vert;
        int32_t pre;  // -2 for the start
        float cost;
    };

    Dijkstra_Route();
    ~Dijkstra_Route();
    Dijkstra_Route(const Dijkstra_Route&) = delete;
    Dijkstra_Route& operator=(const Dijkstra_Route&) = delete;

    // ---- building ----
    void Init_Initial(klRouteCoordLengthUnit unit, bool coarse, double crossTime, int growth);
    void Clear(int growth);
    // Adds a polyline as count - 1 lines; returns how many were stored.
    int Init_Lines(const Point3D* points, int count, float speed, bool twoWay, bool blocked, uint32_t attribute,
                   int16_t level);
    bool Add2Lines(const Point3D* a, const Point3D* b, float cost, float length, bool twoWay, bool blocked,
                   uint32_t attribute, int16_t level);
    void Init_Nodes(const Point3D* points, int count, int16_t kind, float cost, bool blocked);
    void InverseAllEdges();
    void Make_Graph();

    // ---- units ----
    klRouteCoordLengthUnit GetUnit() const { return m_unit; }
    bool IsDegreeCoord() const { return m_unit != klRoutePlanarMetre; }
    double GetEPS_Point() const { return m_eps; }
    float GetDefaultCrosstime() const { return m_crossTime; }
    void SetDefaultCrosstime(double t) {
        m_crossTime = static_cast<float>(t);
        m_vertFlags = -1;
    }
    float ToUnitCost(float speed) const;
    float ToSpeed(float cost) const;
    static bool CheckPointsDegUnit(const Point3D* points, int n);

    // ---- queries (indexes out of range throw std::invalid_argument) ----
    int GetPointN() const { return static_cast<int>(m_verts.size()); }
    int GetLineN() const { return static_cast<int>(m_lines.size()); }
    int GetEdgeN() const { return static_cast<int>(m_edges.size()); }
    Point3D GetPoint(int i) const;
    int64_t GetVertId(int i) const;
    int GetVertexAt(const Point3D& p) const { return Binary_Search(p); }
    int Binary_Search(const Point3D& p) const;
    int Binary_Search(int64_t key) const;
    int64_t myStreetPt_VertId(const Point3D& p) const;
    Point2D Round2(const Point3D& p) const;
    streetLine GetStreetLineAt(int i) const;
    edge GetEdgeAt(int i) const;
    Point2D LinePt(int i, klRouteLineEnd end) const;
    bool IsNodeBlock(int i) const;
    void SetNodeBlock(int i, bool b);
    bool IsLineBlock(int i) const;
    void SetLineBlock(int i, bool b);
    int16_t GetNodeAttrCost(int i, float& cost) const;
    void SetNodeAttrCost(int i, int16_t kind, float cost);
    void GetLineInfo(int i, float& speed, bool& twoWay, uint32_t& attribute, int16_t& level) const;
    void SetLineInfo(int i, float speed, uint32_t attribute, int16_t level);
    void GetAllLineAtVertex(int v, std::vector<int32_t>& out) const;
    int Get_edgelist_At(int from, int to) const;
    int GetLineAt(int a, int b) const;
    // Line-end count per vertex modulo 256, as a new[] array the caller frees; null below 2 vertices.
    uint8_t* GetVertDimension() const;
    void GetDimensionNodes(std::vector<int32_t>& out, int degree) const;
    float CalLen(const Point2D& a, const Point2D& b) const;
    float CalLen(const Point3D* points, int n) const;
    float CalLen(const keloPoints& pts) const;
    static double cross(const Point2D& a, const Point2D& b, const Point2D& c);
    bool inside(double a, double b, double c) const;

    // ---- search ----
    void Solve(int start, int32_t flag);
    int Get_Route(int target, keloPoints& out) const;
    int Get_Route(int target, myRouteResult& out) const;
    bool RecalRouteCost(myRouteResult& result) const;
    double GetDist(int v) const;
    int GetPre(int v) const;

    // ---- snapping positions onto the network ----
    static double calc_shortcut(double ax, double ay, double bx, double by, double px, double py, double& qx,
                                double& qy);
    Point2D GetNearLine(bool insert, const Point3D& p, int32_t& line);
    void Add_Point(const Point3D& p);
    bool InsertToLine(const Point3D& p, int line, float len1, float len2);

    // ---- route services: 1 success, 0 failure ----
    int FindBestRoute2Pos(int64_t keyA, int64_t keyB, myRouteResult& result, int32_t flag);
    int FindNearestHosptal(const Point3D& position, const std::vector<Point3D>& facilities, myRouteResult& result,
                           bool toPosition, int32_t flag);
    int FindBestPostRoute(const std::vector<Point3D>& depots, const std::vector<Point3D>& targets,
                          std::vector<myRouteResult>& results, int returnToDepot, int32_t flag);
    int FindServiceArea(const Point3D& centre, myRouteResult& result, double limit, bool whole, int32_t flag);

private:
    int64_t KeyOf(const Point2D& p) const;
    int Add2pointMap(const Point2D& p);
    int Add2pointMapKey(int64_t key);
    bool Add2Lines(const Point2D& a, const Point2D& b, float cost, float length, bool twoWay, bool blocked,
                   uint32_t attribute, int16_t level);
    int FindLineEdge(int from, int to, int line) const;
    int FindEdge(int from, int to) const;
    float CrossCostOf(int v) const;
    void FreeWorkArea();
    void CheckVertex(int i) const;
    void CheckLine(int i) const;
    void SortEdgesByFrom();
    void PrepareSearch(int32_t flag);
    int BuildTourRoute(const std::vector<int>& tour, const std::vector<int>& vertOf, const Point3D& depotPos,
                       bool returnToDepot, int32_t flag, std::vector<myRouteResult>& results);

    klRouteCoordLengthUnit m_unit = klRouteDegreeEllipsoid;
    double m_eps = 5e-7;
    float m_crossTime = 1.0f;
    detail::GrowArray<myRouteVert> m_verts;
    detail::GrowArray<streetLine> m_lines;
    detail::GrowArray<edge> m_edges;
    detail::VertexKeyMap m_keyMap;

    // Search work area. Make_Graph sorts the edges and makes the ranges; the first search after it
    // makes the rest.
    detail::GrowArray<int32_t> m_first;  // nv + 6 entries: v's edges are [m_first[v], m_first[v + 1])
    size_t m_graphEdges = 0;             // edge count when the ranges were made
    // Each edge's target with its line cost (infinite when blocked), in edge order, for one cost
    // class (`m_adjClass`, -1 when none is made): searches with the same class reuse it until a
    // line changes. Each vertex's cost with its predecessor, packed so that relaxing an edge
    // touches one entry of each. Heap entries are (cost, vertex) pairs.
    using AdjEntry = detail::RouteAdjEntry;
    using VertState = detail::RouteVertState;
    using HeapEntry = detail::RouteHeapEntry;
    detail::GrowArray<AdjEntry> m_adj;
    int32_t m_adjClass = -1;
    bool m_adjNegative = false;  // some line cost below zero
    detail::GrowArray<VertState> m_state;
    detail::GrowArray<HeapEntry> m_heap;  // used from index 1
    std::vector<uint8_t> m_settled;       // only for searches whose costs can fall
    // Facts about the vertex records a search needs, -1 when unknown: bit 0 some vertex blocked,
    // bit 1 some vertex a node, bit 2 some node's crossing time below zero.
    int32_t m_vertFlags = -1;
    bool m_dirty = true;
    size_t m_vertStep = 2048;
    size_t m_lineStep = 2048;
    size_t m_edgeStep = 4096;
};

}  // namespace kelo
