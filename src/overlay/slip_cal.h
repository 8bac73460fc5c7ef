// The overlap calculator: a set of segments that later segments are combined with, stretch by
// stretch, by union, symmetric difference, difference or intersection.
#pragma once

#include <vector>

#include "geometry/box.h"
#include "kelo_api.h"
#include "overlay/line_handler.h"

namespace kelo {

class KELO_API CSlipCal {
public:
    explicit CSlipCal(const Box& box);

    // Enters a copy of the segment as it is.
    int AddpLine(const CsSegment* seg);

    // The "Over" forms combine the stretches that the segment shares with collinear entered
    // segments, or for arcs with entered arcs of the same circle within tol; pieces of arcs stay
    // three-point arcs with their middle point on the circle. The "Equal" forms act only on
    // entered segments equal to it within tol, in either direction. Each returns how many
    // segments it added, cut or emptied.
    int OrOverLine(const CsSegment& seg, double tol);
    int XorOverLine(const CsSegment& seg, double tol);
    int DiffOverLine(const CsSegment& seg, double tol);
    int AndOverLine(const CsSegment& seg, double tol);
    int OrEqualLine(const CsSegment& seg, double tol);
    int XorEqualLine(const CsSegment& seg, double tol);
    int DiffEqualLine(const CsSegment& seg, double tol);

    // Drops the segments that the operations have emptied; returns how many were dropped.
    int ClearZeroLine();

    const Box& GetBox() const { return m_box; }
    // Live segments, emptied ones included until ClearZeroLine.
    int GetSegmentCount() const { return static_cast<int>(m_segs.size()); }
    // 0 for an emptied segment or a bad index.
    int GetSegmentAt(int i, CsSegment& out);

private:
    Box m_box;
    std::vector<detail::OwnedSeg> m_segs;
    std::vector<char> m_alive;
};

}  // namespace kelo
