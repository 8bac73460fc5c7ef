// Building the road graph, its accessors and the least-cost search.
#include "network/route_graph.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <utility>

#include "companion/geodesy.h"
#include "network/route_heap.h"

namespace kelo {

namespace {

constexpr float kUnreached = 1e36f;

// Grid index of a coordinate; saturates instead of overflowing so hostile input stays defined.
int32_t GridIndex(double snapped, double pitch) {
    const double t = snapped / pitch + 0.5;
    if (!(t == t)) return 0;
    if (t >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (t <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    // Rounding to the nearest index, not truncation toward zero: both agree for coordinates of 0 and
    // above, but truncation would give the cells at -pitch and 0 one key and hand negative vertices
    // back one pitch away from where they were snapped, so routes through them could not be re-costed.
    return static_cast<int32_t>(std::floor(t));
}

double SnapCoord(double v, double pitch) { return std::floor(v / pitch + 0.5) * pitch; }

// Grid index of a raw coordinate: the same as GridIndex of its snapped value, which rounds back to
// the index it was made from, with one division instead of three.
int32_t CellIndex(double v, double pitch) {
    const double t = std::floor(v / pitch + 0.5);
    if (!(t == t)) return 0;
    if (t >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (t <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(t);
}

int64_t PackKey(int32_t ix, int32_t iy) {
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(iy)) << 32) | static_cast<uint32_t>(ix));
}

// Key of the cell a raw position snaps to.
int64_t RawKey(const Point3D& p, double pitch) { return PackKey(CellIndex(p.x, pitch), CellIndex(p.y, pitch)); }

// A position without finite coordinates has no grid cell: it would share one with the origin
// (NaN) or with every other far point (infinity), so it is never a vertex.
bool Finite(double x, double y) { return std::isfinite(x) && std::isfinite(y); }

}  // namespace

// ---------------------------------------------------------------- route result

myRouteResult::myRouteResult(const myRouteResult& other)
    : keloPoints(), length(other.length), lineCost(other.lineCost), crossCost(other.crossCost),
      nodeCount(other.nodeCount) {
    keloPoints::operator=(static_cast<const keloPoints&>(other));
}

myRouteResult& myRouteResult::operator=(const myRouteResult& other) {
    if (this != &other) {
        keloPoints::operator=(static_cast<const keloPoints&>(other));
        length = other.length;
        lineCost = other.lineCost;
        crossCost = other.crossCost;
        nodeCount = other.nodeCount;
    }
    return *this;
}

myRouteResult::myRouteResult(myRouteResult&& other) noexcept
    : keloPoints(std::move(static_cast<keloPoints&>(other))), length(other.length), lineCost(other.lineCost),
      crossCost(other.crossCost), nodeCount(other.nodeCount) {}

myRouteResult& myRouteResult::operator=(myRouteResult&& other) noexcept {
    if (this != &other) {
        keloPoints::operator=(std::move(static_cast<keloPoints&>(other)));
        length = other.length;
        lineCost = other.lineCost;
        crossCost = other.crossCost;
        nodeCount = other.nodeCount;
    }
    return *this;
}

// ---------------------------------------------------------------- set-up

Dijkstra_Route::Dijkstra_Route() { Clear(500000); }

Dijkstra_Route::~Dijkstra_Route() = default;

void Dijkstra_Route::Init_Initial(klRouteCoordLengthUnit unit, bool coarse, double crossTime, int growth) {
    m_unit = unit;
    if (unit == klRoutePlanarMetre)
        m_eps = coarse ? 0.05 : 0.005;
    else
        m_eps = coarse ? 5e-7 : 5e-8;
    SetDefaultCrosstime(crossTime);
    Clear(growth);
}

void Dijkstra_Route::FreeWorkArea() {
    m_heap.Release();
    m_first.Release();
    m_graphEdges = 0;
    m_adj.Release();
    m_adjClass = -1;
    m_state.Release();
    std::vector<uint8_t>().swap(m_settled);
}

void Dijkstra_Route::Clear(int growth) {
    FreeWorkArea();
    m_verts.Release();
    m_lines.Release();
    m_edges.Release();
    m_keyMap.clear();
    m_vertFlags = -1;
    const size_t n = (growth < 1 || growth > 0x2000000) ? 2048 : static_cast<size_t>(growth);
    m_vertStep = n;
    m_lineStep = n;
    m_edgeStep = 2 * n;
    m_dirty = true;
}

// Loading a network appends millions of records; fixed large steps keep reallocation rare, and a
// large array grows by remapping its pages rather than by copying them.
// A free function: as a member template of the exported class its instances would be exported.
namespace {
template <class T>
void GrowBy(detail::GrowArray<T>& v, size_t step) {
    if (v.size() == v.capacity()) v.reserve(v.capacity() + step);
}
}  // namespace

float Dijkstra_Route::ToUnitCost(float speed) const {
    float v = speed;
    if (!(v >= 0.001f)) v = 0.001f;
    return m_unit == klRouteDegreePlanar ? 6600.0f / v : 0.06f / v;
}

float Dijkstra_Route::ToSpeed(float cost) const {
    if (!(cost >= 1e-8f)) return 0.0f;
    return m_unit == klRouteDegreePlanar ? 6600.0f / cost : 0.06f / cost;
}

bool Dijkstra_Route::CheckPointsDegUnit(const Point3D* points, int n) {
    if (n < 1 || points == nullptr) return true;
    for (int i = 0; i < n; ++i) {
        const Point3D& p = points[i];
        if (!(p.y >= -90.01 && p.y <= 90.01 && p.x >= -360.01 && p.x <= 360.01)) return false;
    }
    return true;
}

Point2D Dijkstra_Route::Round2(const Point3D& p) const {
    const double g = 2.0 * m_eps;
    return Point2D{SnapCoord(p.x, g), SnapCoord(p.y, g)};
}

int64_t Dijkstra_Route::KeyOf(const Point2D& p) const {
    const double g = 2.0 * m_eps;
    return PackKey(GridIndex(SnapCoord(p.x, g), g), GridIndex(SnapCoord(p.y, g), g));
}

int64_t Dijkstra_Route::myStreetPt_VertId(const Point3D& p) const { return RawKey(p, 2.0 * m_eps); }

int Dijkstra_Route::Add2pointMap(const Point2D& p) { return Add2pointMapKey(KeyOf(p)); }

int Dijkstra_Route::Add2pointMapKey(int64_t key) {
    // Room first, so that a key once mapped always gets its vertex.
    GrowBy(m_verts, m_vertStep);
    const int32_t index = static_cast<int32_t>(m_verts.size());
    const int32_t found = m_keyMap.FindOrInsert(key, index, m_verts.data());
    if (found >= 0) return found;
    m_verts.emplace_back(key, int16_t{0}, 0.0f, false);
    return index;
}

int Dijkstra_Route::Init_Lines(const Point3D* points, int count, float speed, bool twoWay, bool blocked,
                               uint32_t attribute, int16_t level) {
    if (points == nullptr || count < 2) return 0;
    if (m_lines.empty()) {
        const bool degrees = CheckPointsDegUnit(points, count);
        if (m_unit == klRoutePlanarMetre && degrees)
            m_unit = klRouteDegreeEllipsoid;
        else if (m_unit != klRoutePlanarMetre && !degrees)
            m_unit = klRoutePlanarMetre;
    }
    const float cost = ToUnitCost(speed);
    int added = 0;
    for (int i = 0; i + 1 < count; ++i)
        if (Add2Lines(points + i, points + i + 1, cost, CalLen(points + i, 2), twoWay, blocked, attribute, level))
            ++added;
    return added;
}

bool Dijkstra_Route::Add2Lines(const Point3D* a, const Point3D* b, float cost, float length, bool twoWay,
                               bool blocked, uint32_t attribute, int16_t level) {
    if (a == nullptr || b == nullptr || !Finite(a->x, a->y) || !Finite(b->x, b->y)) return false;
    const double g = 2.0 * m_eps;
    const int64_t ka = RawKey(*a, g), kb = RawKey(*b, g);
    if (ka == kb) return false;
    // Both probes are under way before the first is needed.
    m_keyMap.Prefetch(ka);
    m_keyMap.Prefetch(kb);
    const int from = Add2pointMapKey(ka);
    const int to = Add2pointMapKey(kb);
    GrowBy(m_lines, m_lineStep);
    GrowBy(m_edges, m_edgeStep);
    if (m_edges.capacity() < m_edges.size() + 2) m_edges.reserve(m_edges.size() + m_edgeStep);
    const int32_t line = static_cast<int32_t>(m_lines.size());
    m_lines.emplace_back(from, to, cost, length, twoWay, blocked, attribute, level);
    // A zero-cost, zero-length blocked line is stored for the caller but never searched.
    if (cost == 0.0f && length == 0.0f && blocked) return true;
    m_edges.push_back(edge{from, to, line});
    if (twoWay) m_edges.push_back(edge{to, from, line});
    m_dirty = true;
    return true;
}

bool Dijkstra_Route::Add2Lines(const Point2D& a, const Point2D& b, float cost, float length, bool twoWay,
                               bool blocked, uint32_t attribute, int16_t level) {
    if (!Finite(a.x, a.y) || !Finite(b.x, b.y)) return false;
    const int64_t ka = KeyOf(a), kb = KeyOf(b);
    if (ka == kb) return false;
    const int from = Add2pointMapKey(ka);
    const int to = Add2pointMapKey(kb);
    GrowBy(m_lines, m_lineStep);
    if (m_edges.capacity() < m_edges.size() + 2) m_edges.reserve(m_edges.size() + m_edgeStep);
    const int32_t line = static_cast<int32_t>(m_lines.size());
    m_lines.emplace_back(from, to, cost, length, twoWay, blocked, attribute, level);
    m_edges.push_back(edge{from, to, line});
    if (twoWay) m_edges.push_back(edge{to, from, line});
    m_dirty = true;
    return true;
}

void Dijkstra_Route::Init_Nodes(const Point3D* points, int count, int16_t kind, float cost, bool blocked) {
    if (points == nullptr) return;
    for (int i = 0; i < count; ++i) {
        const int v = Binary_Search(points[i]);
        if (v >= 0) m_verts[v].SetNode(kind, cost, blocked);
    }
    m_vertFlags = -1;
}

void Dijkstra_Route::InverseAllEdges() {
    for (streetLine& l : m_lines) std::swap(l.from, l.to);
    for (edge& e : m_edges) std::swap(e.from, e.to);
    m_dirty = true;
}

namespace {

// Sorts packed (from, rank) values by from alone, then puts at each position the edge that the
// value there names: the rank-th edge of that vertex in input order, taken from `byVertex` (the
// edges' targets and lines grouped by vertex in input order, group v starting at first[v], where
// v's edges also start once sorted; the group says the from-vertex).
template <class Packed>
void SortEdgesAsRecords(Dijkstra_Route::edge* edges, size_t ne, int rankBits, const int32_t* first, size_t nv) {
    struct ToLine {
        int32_t to, line;
    };
    // Arrays like the graph's own, so that a graph built again reuses their pages.
    detail::GrowArray<int32_t> placed;
    detail::GrowArray<ToLine> byVertex;
    detail::GrowArray<Packed> packed;
    placed.resize_uninitialized(nv);
    byVertex.resize_uninitialized(ne);
    packed.resize_uninitialized(ne);
    std::copy(first, first + nv, placed.begin());
    for (size_t i = 0; i < ne; ++i) {
        const int32_t v = edges[i].from;
        const int32_t at = placed[v]++;
        byVertex[static_cast<size_t>(at)] = ToLine{edges[i].to, edges[i].line};
        packed[i] = (static_cast<Packed>(v) << rankBits) | static_cast<Packed>(at - first[v]);
    }
    std::sort(packed.begin(), packed.end(),
              [rankBits](Packed a, Packed b) { return (a >> rankBits) < (b >> rankBits); });
    const Packed rankMask = static_cast<Packed>((Packed{1} << rankBits) - 1);
    for (size_t j = 0; j < ne; ++j) {
        const size_t v = static_cast<size_t>(packed[j] >> rankBits);
        const ToLine t = byVertex[static_cast<size_t>(first[v]) + static_cast<size_t>(packed[j] & rankMask)];
        edges[j] = Dijkstra_Route::edge{static_cast<int32_t>(v), t.to, t.line};
    }
}

}  // namespace

// The documented order is that of an unstable sort of the edge records by from-vertex, and it
// decides which of several equal-cost routes a search returns. That sort's moves depend only on
// how the from-vertices compare, so sorting small values that compare the same way (the vertex
// above the edge's rank among that vertex's edges in input order) makes the same moves, and the
// ranks then name the records to put where.
void Dijkstra_Route::SortEdgesByFrom() {
    const size_t nv = m_verts.size(), ne = m_edges.size();
    if (ne < 2) return;
    const int32_t* first = m_first.data();
    int32_t most = 0;
    for (size_t v = 0; v < nv; ++v) most = std::max(most, first[v + 1] - first[v]);
    int rankBits = 0;
    while ((int64_t{1} << rankBits) < most) ++rankBits;
    if ((static_cast<uint64_t>(nv) << rankBits) <= (uint64_t{1} << 32))
        SortEdgesAsRecords<uint32_t>(m_edges.data(), ne, rankBits, first, nv);
    else
        SortEdgesAsRecords<uint64_t>(m_edges.data(), ne, rankBits, first, nv);
}

void Dijkstra_Route::Make_Graph() {
    FreeWorkArea();
    const size_t nv = m_verts.size(), ne = m_edges.size();
    m_first.resize_uninitialized(nv + 6);
    int32_t* first = m_first.data();
    std::fill(first, first + nv + 6, 0);
    for (const edge& e : m_edges) ++first[e.from + 1];
    for (size_t v = 1; v <= nv; ++v) first[v] += first[v - 1];
    // Past the last vertex the ranges are empty.
    for (size_t v = nv + 1; v < nv + 6; ++v) first[v] = first[nv];
    SortEdgesByFrom();
    m_graphEdges = ne;
    m_dirty = false;
}

// ---------------------------------------------------------------- accessors

void Dijkstra_Route::CheckVertex(int i) const {
    if (i < 0 || static_cast<size_t>(i) >= m_verts.size()) throw std::invalid_argument("vertex index out of range");
}

void Dijkstra_Route::CheckLine(int i) const {
    if (i < 0 || static_cast<size_t>(i) >= m_lines.size()) throw std::invalid_argument("line index out of range");
}

Point3D Dijkstra_Route::GetPoint(int i) const {
    CheckVertex(i);
    const double g = 2.0 * m_eps;
    const uint64_t key = static_cast<uint64_t>(m_verts[i].key);
    const int32_t ix = static_cast<int32_t>(static_cast<uint32_t>(key & 0xFFFFFFFFu));
    const int32_t iy = static_cast<int32_t>(static_cast<uint32_t>(key >> 32));
    return Point3D{ix * g, iy * g, 0.0};
}

int64_t Dijkstra_Route::GetVertId(int i) const {
    CheckVertex(i);
    return m_verts[i].key;
}

int Dijkstra_Route::Binary_Search(const Point3D& p) const {
    return Finite(p.x, p.y) ? Binary_Search(myStreetPt_VertId(p)) : -1;
}

int Dijkstra_Route::Binary_Search(int64_t key) const { return m_keyMap.Find(key, m_verts.data()); }

streetLine Dijkstra_Route::GetStreetLineAt(int i) const {
    CheckLine(i);
    return m_lines[i];
}

Dijkstra_Route::edge Dijkstra_Route::GetEdgeAt(int i) const {
    if (i < 0 || static_cast<size_t>(i) >= m_edges.size()) throw std::invalid_argument("edge index out of range");
    return m_edges[i];
}

Point2D Dijkstra_Route::LinePt(int i, klRouteLineEnd end) const {
    CheckLine(i);
    const Point3D p = GetPoint(end == klRouteLineFrom ? m_lines[i].from : m_lines[i].to);
    return Point2D{p.x, p.y};
}

bool Dijkstra_Route::IsNodeBlock(int i) const {
    CheckVertex(i);
    return m_verts[i].IsBlock();
}

void Dijkstra_Route::SetNodeBlock(int i, bool b) {
    CheckVertex(i);
    m_verts[i].SetBlock(b);
    m_vertFlags = -1;
}

bool Dijkstra_Route::IsLineBlock(int i) const {
    CheckLine(i);
    return m_lines[i].IsBlock();
}

void Dijkstra_Route::SetLineBlock(int i, bool b) {
    CheckLine(i);
    m_lines[i].SetBlock(b);
    m_adjClass = -1;
}

int16_t Dijkstra_Route::GetNodeAttrCost(int i, float& cost) const {
    CheckVertex(i);
    cost = m_verts[i].cost;
    return m_verts[i].kind;
}

void Dijkstra_Route::SetNodeAttrCost(int i, int16_t kind, float cost) {
    CheckVertex(i);
    m_verts[i].kind = kind;
    m_verts[i].cost = cost;
    m_vertFlags = -1;
}

void Dijkstra_Route::GetLineInfo(int i, float& speed, bool& twoWay, uint32_t& attribute, int16_t& level) const {
    CheckLine(i);
    const streetLine& l = m_lines[i];
    speed = ToSpeed(l.cost);
    twoWay = l.twoWay;
    attribute = l.attribute;
    level = l.level;
}

void Dijkstra_Route::SetLineInfo(int i, float speed, uint32_t attribute, int16_t level) {
    CheckLine(i);
    streetLine& l = m_lines[i];
    l.cost = ToUnitCost(speed);
    l.attribute = attribute;
    l.level = level;
    m_adjClass = -1;
}

void Dijkstra_Route::GetAllLineAtVertex(int v, std::vector<int32_t>& out) const {
    for (size_t i = 0; i < m_lines.size(); ++i)
        if (m_lines[i].from == v || m_lines[i].to == v) out.push_back(static_cast<int32_t>(i));
}

// Edges of one vertex are contiguous once the graph is built, and the first match there is the
// first match of a full scan; a changed graph falls back to the scan.
int Dijkstra_Route::FindEdge(int from, int to) const {
    if (from < 0 || to < 0) return -1;
    size_t lo = 0, hi = m_edges.size();
    if (!m_dirty && static_cast<size_t>(from) < m_verts.size() && m_first.size() == m_verts.size() + 6) {
        lo = static_cast<size_t>(m_first[from]);
        hi = static_cast<size_t>(m_first[from + 1]);
    }
    for (size_t i = lo; i < hi; ++i)
        if (m_edges[i].from == from && m_edges[i].to == to) return static_cast<int>(i);
    return -1;
}

int Dijkstra_Route::FindLineEdge(int from, int to, int line) const {
    for (size_t i = 0; i < m_edges.size(); ++i)
        if (m_edges[i].from == from && m_edges[i].to == to && m_edges[i].line == line) return static_cast<int>(i);
    return -1;
}

int Dijkstra_Route::Get_edgelist_At(int from, int to) const { return FindEdge(from, to); }

int Dijkstra_Route::GetLineAt(int a, int b) const {
    int e = FindEdge(a, b);
    if (e < 0) e = FindEdge(b, a);
    return e < 0 ? -1 : m_edges[e].line;
}

uint8_t* Dijkstra_Route::GetVertDimension() const {
    if (m_verts.size() < 2) return nullptr;
    uint8_t* dim = new uint8_t[m_verts.size()]();
    for (const streetLine& l : m_lines) {
        ++dim[l.from];
        ++dim[l.to];
    }
    return dim;
}

void Dijkstra_Route::GetDimensionNodes(std::vector<int32_t>& out, int degree) const {
    uint8_t* dim = GetVertDimension();
    if (dim != nullptr) {
        for (size_t v = 0; v < m_verts.size(); ++v)
            if (dim[v] == degree && m_verts[v].IsNode()) out.push_back(static_cast<int32_t>(v));
        delete[] dim;
    }
    out.shrink_to_fit();
}

float Dijkstra_Route::CalLen(const Point2D& a, const Point2D& b) const {
    if (m_unit == klRouteDegreeEllipsoid) {
        const Point3D pts[2] = {{a.x, a.y, 0.0}, {b.x, b.y, 0.0}};
        DistandAreaInquiry geo(pts, 2, 1);
        geo.SetEllipse(kEllipsoidWgs84);
        return static_cast<float>(geo.GetDist());
    }
    return static_cast<float>(std::hypot(b.x - a.x, b.y - a.y));
}

float Dijkstra_Route::CalLen(const Point3D* points, int n) const {
    if (points == nullptr || n < 2) return 0.0f;
    float sum = 0.0f;
    for (int i = 0; i + 1 < n; ++i)
        sum += CalLen(Point2D{points[i].x, points[i].y}, Point2D{points[i + 1].x, points[i + 1].y});
    return sum;
}

float Dijkstra_Route::CalLen(const keloPoints& pts) const { return CalLen(pts.points, pts.GetCount()); }

double Dijkstra_Route::cross(const Point2D& a, const Point2D& b, const Point2D& c) {
    return (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
}

bool Dijkstra_Route::inside(double a, double b, double c) const {
    if (std::fabs(a - b) <= m_eps || std::fabs(c - b) <= m_eps) return true;
    if (a < b) return b > a && b <= c;
    return b > c && b <= a;
}

// ---------------------------------------------------------------- search

float Dijkstra_Route::CrossCostOf(int v) const { return m_verts[v].GetCost(m_crossTime); }

// The search steps live in free functions: exported members of a shared library may be
// interposed, so the compiler would not inline them into the search loop.
namespace {

struct SearchArea {
    const int32_t* first;
    const detail::RouteAdjEntry* adj;
    detail::RouteVertState* state;
    detail::RouteHeapEntry* heap;
    const myRouteVert* verts;
    uint8_t* settled;
    bool anyBlocked;
    bool addCrossing;
    float crossTime;
};

// Label-setting search from `start`, the documented one: entries are taken cheapest first, a
// vertex is settled by the first entry taken for it, the crossing time of its predecessor is
// added as it is left, and a neighbour is offered a cost only when strictly cheaper than its
// current one.
//
// A vertex's predecessor is recorded when it is offered, not when it is settled: each offer to a
// vertex is strictly cheaper than the one before, so the first entry taken for it is always its
// latest offer, whose predecessor is the one recorded. (The documented search also skips an entry
// offered by a blocked vertex; no such entry exists, as a blocked vertex offers nothing.)
//
// With no cost below zero (`kFalling` false) the costs taken never fall, so a settled vertex is
// never offered a cheaper cost and no mark is needed: an entry is stale exactly when it is dearer
// than its vertex's cost. A negative line cost or crossing time needs the settled marks.
template <bool kFalling>
void RunSearch(const SearchArea& a, int32_t start) {
    detail::RouteVertState* state = a.state;
    detail::RouteHeapEntry* heap = a.heap;
    state[start] = detail::RouteVertState{0.0f, -2};
    int64_t heapN = 0;
    detail::HeapPushAt(heap, heapN, detail::RouteHeapEntry{0.0f, start});
    while (heapN > 0) {
        const detail::RouteHeapEntry top = detail::HeapPopAt(heap, heapN);
        const int32_t v = top.vert;
        if constexpr (kFalling) {
            if (a.settled[v]) continue;
            a.settled[v] = 1;
        } else {
            if (top.cost != state[v].cost) continue;
        }
        // The next vertex to settle is most often the new top: start fetching its records.
        if (heapN > 0) {
            __builtin_prefetch(a.first + heap[1].vert);
            __builtin_prefetch(state + heap[1].vert);
        }
        float k = top.cost;
        const int32_t u = state[v].pre;
        if (a.addCrossing && u >= 0) k = k + a.verts[u].GetCost(a.crossTime);
        // Every entry a blocked vertex offered would be skipped when taken; offering them anyway
        // would only lower the neighbours' costs and hide their real routes from elsewhere.
        if (a.anyBlocked && a.verts[v].IsBlock()) continue;
        const detail::RouteAdjEntry* e = a.adj + a.first[v];
        const detail::RouteAdjEntry* end = a.adj + a.first[v + 1];
        for (; e != end; ++e) {
            if constexpr (kFalling) {
                if (a.settled[e->to]) continue;
            }
            detail::RouteVertState& w = state[e->to];
            // A blocked line costs infinity, so it never improves a vertex.
            const float n = k + e->cost;
            if (w.cost > n) {
                w.cost = n;
                w.pre = v;
                detail::HeapPushAt(heap, heapN, detail::RouteHeapEntry{n, e->to});
            }
        }
    }
}

}  // namespace

// The packed edge costs of the flag's cost class, and what the vertex records hold.
void Dijkstra_Route::PrepareSearch(int32_t flag) {
    const int32_t cls = (flag == klRouteCostLength || flag == klRouteCostPerLength) ? flag : klRouteCostTime;
    if (m_adjClass != cls) {
        const size_t ne = m_edges.size();
        m_adj.resize_uninitialized(ne);
        bool negative = false;
        for (size_t e = 0; e < ne; ++e) {
            const streetLine& line = m_lines[m_edges[e].line];
            const float c = line.IsBlock() ? std::numeric_limits<float>::infinity() : line.GetCost(cls);
            negative = negative || c < 0.0f;
            m_adj[e] = AdjEntry{m_edges[e].to, c};
        }
        m_adjNegative = negative;
        m_adjClass = cls;
    }
    if (m_vertFlags < 0) {
        int32_t f = 0;
        for (const myRouteVert& vert : m_verts) {
            if (vert.IsBlock()) f |= 1;
            if (vert.IsNode()) f |= 2;
            if (vert.GetCost(m_crossTime) < 0.0f) f |= 4;
        }
        m_vertFlags = f;
    }
}

void Dijkstra_Route::Solve(int start, int32_t flag) {
    // Snapping and bare vertex additions can outgrow the work area without dirtying the graph.
    if (m_dirty || m_first.size() != m_verts.size() + 6 || m_graphEdges != m_edges.size()) Make_Graph();
    const size_t nv = m_verts.size();
    m_state.resize_uninitialized(nv + 5);
    std::fill(m_state.begin(), m_state.end(), VertState{kUnreached, -1});
    if (start < 0 || static_cast<size_t>(start) >= nv) return;

    PrepareSearch(flag);
    // Most networks block no vertex and set no crossing time; then the search need not look at
    // the vertex records at all (a crossing cost of 0 leaves every sum unchanged).
    const bool addCrossing = flag == klRouteCostTime && (m_vertFlags & 2) != 0;
    const bool falling = m_adjNegative || (addCrossing && (m_vertFlags & 4) != 0);
    // At most one entry per edge and the start, and the slot past the end.
    m_heap.resize_uninitialized(m_edges.size() + 5);
    if (falling) m_settled.assign(nv, 0);
    const SearchArea area{m_first.data(), m_adj.data(),  m_state.data(), m_heap.data(),
                          m_verts.data(), m_settled.data(), (m_vertFlags & 1) != 0, addCrossing,
                          m_crossTime};
    if (falling)
        RunSearch<true>(area, start);
    else
        RunSearch<false>(area, start);
}

double Dijkstra_Route::GetDist(int v) const {
    CheckVertex(v);
    if (static_cast<size_t>(v) >= m_state.size()) return kUnreached;
    return m_state[v].cost;
}

int Dijkstra_Route::GetPre(int v) const {
    CheckVertex(v);
    if (static_cast<size_t>(v) >= m_state.size()) return -1;
    return m_state[v].pre;
}

int Dijkstra_Route::Get_Route(int target, keloPoints& out) const {
    if (target < 0 || static_cast<size_t>(target) >= m_verts.size() || static_cast<size_t>(target) >= m_state.size())
        return 0;
    if (m_state[target].pre == -1) return 0;
    std::vector<int32_t> chain;
    for (int v = target; v != -2; v = m_state[v].pre) {
        // A predecessor chain is a tree path; more steps than vertices means a corrupted area.
        if (v < 0 || chain.size() > m_verts.size()) return 0;
        chain.push_back(v);
    }
    std::vector<Point3D> pts;
    pts.reserve(chain.size());
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) pts.push_back(GetPoint(*it));
    out.AddPoints(static_cast<int>(pts.size()), pts.data());
    return 1;
}

int Dijkstra_Route::Get_Route(int target, myRouteResult& out) const {
    const int found = Get_Route(target, static_cast<keloPoints&>(out));
    if (found) RecalRouteCost(out);
    return found;
}

bool Dijkstra_Route::RecalRouteCost(myRouteResult& result) const {
    const int n = result.GetCount();
    if (n < 2) {
        result.length = CalLen(result);
        return true;
    }
    for (int i = 0; i + 1 < n; ++i) {
        const int a = Binary_Search(result.points[i]);
        const int b = Binary_Search(result.points[i + 1]);
        if (a < 0 || b < 0) return false;
        const int e = FindEdge(a, b);
        if (e < 0) return false;
        const streetLine& line = m_lines[m_edges[e].line];
        result.lineCost += line.length * line.cost;
        result.crossCost += CrossCostOf(b);
        if (m_verts[b].IsNode()) ++result.nodeCount;
    }
    result.length = CalLen(result);
    return true;
}

}  // namespace kelo
