// The cleaning base: loose runs are taken apart into single segments, indexed, and put back
// together as lines, polygons or, where straight pieces follow one circle, arcs.
#pragma once

#include <memory>
#include <vector>

#include "geometry/parts.h"
#include "kelo_api.h"
#include "relations/geometry_index.h"

namespace kelo {

class GM_Object;

class KELO_API CKeloCleanBase {
public:
    CKeloCleanBase();
    CKeloCleanBase(const CKeloCleanBase&) = delete;
    CKeloCleanBase& operator=(const CKeloCleanBase&) = delete;
    ~CKeloCleanBase();

    // Returns the old tolerance (initially g_epsZero).
    double SetEpsZero(double eps);
    double GetEpsZero() const { return m_eps; }

    // Normalises a copy of the run and enters each of its segments as a run of its own; runs of
    // fewer than two points are ignored. Returns the number of runs entered.
    int AddInitialPoints(const keloPoints* run);
    // Indexes every run over their joint box; returns the run count.
    int EndInitialPoints();
    const GeometryIndex* GetIndex() const { return m_index.get(); }

    keloPoints* GetFirstPoints();
    keloPoints* GetNextPoints();
    int GetPointsCount() const { return static_cast<int>(m_runs.size()); }

    // Straight runs that chain through points where only two runs meet and follow one circle
    // within the tolerance become three-point arcs. Returns the number of arcs made.
    int CombineSegmentToArc();
    // Chains the runs into lines (new objects, appended); returns how many.
    int CombineSegmentToParts(std::vector<keloParts*>& out);
    // The faces the runs enclose as new polygon objects, appended; returns how many.
    int CombineToPolys(std::vector<GM_Object*>& out);

private:
    double m_eps;
    std::vector<keloPoints> m_runs;
    size_t m_cursor = 0;
    std::unique_ptr<GeometryIndex> m_index;
};

KELO_API int MakeTopo(CKeloCleanBase& base, std::vector<GM_Object*>& out, double eps);

// Feature ids kept on edges: the feature's id in the low and its neighbour's in the high 32 bits
// of the z of an edge's points.
class KELO_API CEdgeIds {
public:
    // Edge keys come from the edge's midpoint on a grid with origin (x0, y0) and the given cell.
    CEdgeIds(double x0, double y0, double cell);

    static int32_t GetEdgeFeaId(const Point3D& p);
    static int32_t GetEdgeFriendFeaId(const Point3D& p);
    static void SetEdgeFeaId(Point3D& p, int32_t id);
    static void SetEdgeFriendFeaId(Point3D& p, int32_t id);
    // Both words of the first point of the first run; true when both are >= 0.
    static bool GetLineTopo(const keloParts& parts, int32_t& left, int32_t& right);
    // Writes both ids into every point of the first run.
    static void SetLineTopo(keloParts& parts, int32_t left, int32_t right);

    // The midpoint's cell, y in the high and x in the low 32 bits.
    uint64_t EdgeKey(const Point3D& a, const Point3D& b) const;

private:
    double m_x0, m_y0, m_cell;
};

namespace detail {
// Appends the run to out with consecutive straight segments that follow one circle within tol
// replaced by three-point arcs; returns how many arcs it made.
int ArclizeRun(const keloPoints& run, double tol, keloParts& out);
}  // namespace detail

}  // namespace kelo
