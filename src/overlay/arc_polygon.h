// Faces of a planar arrangement of straight and arc segments: every bounded face with its outer
// ring and holes, plus the unbounded face reported last.
#pragma once

#include <vector>

#include "geometry/parts.h"
#include "kelo_api.h"
#include "overlay/line_handler.h"
#include "platform/kept_vectors.h"

namespace kelo {

namespace detail {
// Direction of travel and signed curvature (left turn positive) where a half-edge leaves its node.
struct HalfDir {
    double angle, curve;
};
}  // namespace detail

class KELO_API CKeloMakeArcPolygon {
public:
    CKeloMakeArcPolygon();
    explicit CKeloMakeArcPolygon(double eps);

    void Add(const CsSegment& seg);
    void Add(int count, const CsSegment* segs);
    void AddArc(const keloPoints* run);
    // The same for a run record, read where it lies.
    void AddRun(const CurveSegment& run);
    void AddGeometry(const GM_Object* object);
    // Room for n more edges, for callers that know how many they will add.
    void Reserve(size_t n);

    // Nodes the edges (union of overlaps) and traces the faces. Edges that bound no area (dangles
    // and bridges between separate rings) take part in no face. Returns 1.
    int Solve(bool unused = false);
    // Solve for edges that are noded already (from another builder's arcs): they are kept as
    // given, in their order, so arc k here is the k-th edge added.
    int SolveNoded();

    // Bounded faces first, then the unbounded face, whose rings are the outer boundaries of the
    // separate pieces of the arrangement (clockwise) and which callers leave aside.
    int GetPolygonCount() const { return m_faceStart.empty() ? 0 : static_cast<int>(m_faceStart.size() - 1); }
    // Outer ring counter-clockwise, holes clockwise.
    int GetPolygon(int i, keloPolygon& out) const;
    // Signed ids of the arcs around face i: arc k is k + 1, negative where the face runs it
    // backwards. Outer ring first, then the holes.
    int GetPolygonArcs(int i, std::vector<int>& ids) const;
    // A point inside bounded face i, at least clearance from its boundary, found beside one of
    // its longest straight edges (for a large face, else beside the longest of one of a few
    // stretches of its edges) without building the face's rings. False when no such point
    // qualifies (a narrow face, arcs): the caller then asks the built polygon.
    bool GetClearPoint(int i, double clearance, Point3D& p) const;

    double GetEps() const { return m_eps; }
    // Arcs are the noded edges.
    int GetArcCount() const { return static_cast<int>(m_edges.size()); }
    int GetArc(int i, keloPoints& out) const;
    // Appends arcs of another builder (by index, in the order given) as edges of this one. When
    // the other builder is solved and all edges come from it, SolveNoded takes over its nodes
    // instead of finding them again.
    void AddArcsOf(const CKeloMakeArcPolygon& other, const std::vector<size_t>& arcs);

private:
    // A stretch of a directed chain within a ring: n half-edges from position k0 of chain d / 2,
    // walked backwards when d is odd.
    struct Piece {
        uint32_t d, k0, n;
    };
    // A ring's longest straight half-edge h (l2 its squared length), and how many are that long.
    struct Longest {
        double l2;
        int h;
        uint32_t count;
    };
    // A face's point beside its longest outer edge, at away from it; found when it is inside.
    struct Clear {
        Point3D q{0, 0, 0};
        double away = 0;
        bool found = false;
    };
    void FindClearPoints() const;
    void RetryClearPoints(const std::vector<char>& arcs) const;
    // The simple loops of a face boundary that passes a node twice; none when it passes each once.
    void SimpleLoops(const std::vector<int>& halves, std::vector<std::vector<int>>& loops) const;
    // Calls fn(half-edge) round ring r in order until it returns false; false if it did.
    template <class F>
    bool EachHalf(size_t r, F&& fn) const;
    void RingHalves(size_t r, std::vector<int>& halves) const;
    size_t RingCount(size_t face) const { return m_faceStart[face + 1] - m_faceStart[face]; }
    size_t RingOfFace(size_t face, size_t k) const { return m_faceRings[m_faceStart[face] + k]; }

    double m_eps;
    bool m_noded = false;
    KeptVector<detail::OwnedSeg> m_edges;
    // Half-edge 2k runs arc k forwards, 2k + 1 backwards. Chains are the maximal runs of edges
    // through nodes of two edges: chain c is m_chainHalves[m_chainStart[c]] to
    // m_chainHalves[m_chainStart[c + 1]], in walking order. Ring r is the pieces m_ringStart[r]
    // to m_ringStart[r + 1]; face f is the rings m_faceRings[m_faceStart[f]] to
    // m_faceRings[m_faceStart[f + 1]], outer ring first.
    KeptVector<int> m_chainHalves;
    std::vector<uint32_t> m_chainStart;
    std::vector<Piece> m_pieces;
    std::vector<uint32_t> m_ringStart;
    std::vector<uint32_t> m_faceRings, m_faceStart;
    // Each edge's chain (2c, or 2c + 1 where chain c runs it backwards), each directed chain's
    // ring (-1 where none), each ring's face.
    std::vector<int> m_chainOf, m_dirRing, m_ringFace;
    std::vector<Longest> m_longest;
    mutable std::vector<Clear> m_clear;  // filled by the first GetClearPoint after Solve
    // After Solve (or given by AddArcsOf): the node each half-edge leaves, numbered below
    // m_nodeCount.
    KeptVector<int> m_node;
    size_t m_nodeCount = 0;
    const CKeloMakeArcPolygon* m_nodesFrom = nullptr;  // the builder m_node came from
    // Scratch for GetPolygon: per node, the call that last saw it and where.
    mutable std::vector<uint32_t> m_seen;
    mutable std::vector<int> m_at;
    mutable uint32_t m_stamp = 0;
    mutable std::vector<int> m_halves;  // a ring's half-edges, for GetPolygon
    // Numbers the nodes of noded straight edges ordered by their first ends, handing each node's
    // half-edges to group(halves, count, node); false (nothing numbered) for other edges.
    template <class Group>
    bool NumberSortedEnds(Group&& group);
    // Walks the chains (from the branch nodes' half-edges in order, then the closed runs) into
    // m_chainHalves, m_chainStart and m_chainOf, cont passing the walk on (see Solve); endAt gets
    // the branch nodes at the ends of each open chain. Returns the number of open chains.
    size_t WalkChains(const std::vector<int>& cont, const std::vector<uint32_t>& branchStart,
                      const std::vector<int>& branchHalves, std::vector<uint32_t>& endAt);
    mutable std::vector<std::pair<double, double>> m_pieceStarts;  // where a ring's pieces start
    bool StraightRing(size_t r, keloParts& out, double* twice) const;
    size_t RingLength(size_t r) const {
        size_t n = 0;
        for (uint32_t i = m_ringStart[r]; i < m_ringStart[r + 1]; ++i) n += m_pieces[i].n;
        return n;
    }
};

// Builds the faces of the lines (noded with eps) and appends each bounded face as a new polygon
// object; returns how many were appended.
KELO_API int MakeTopo(const std::vector<keloParts*>& lines, std::vector<GM_Object*>& out, double eps);
KELO_API int MakeTopo(const std::vector<LineString*>& lines, std::vector<GM_Object*>& out, double eps);

}  // namespace kelo
