// Noding: a set of straight and arc segments is split at every crossing and touching end within a
// tolerance, and collinear overlaps are merged by one of four rules, so that the result is a clean
// arrangement that faces can be traced on and lines chained from.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/parts.h"
#include "geometry/point.h"
#include "geometry/point_run.h"
#include "kelo_api.h"
#include "relations/segment.h"
#include "transform/uniform_coordinate.h"

namespace kelo {

class keloParts;
class GM_Object;
class CSlipCal;

namespace detail {
// An owned segment: two points (straight) or three (arc: start, middle, end).
struct OwnedSeg {
    Point3D p[3];
    bool arc = false;
    const Point3D& head() const { return p[0]; }
    const Point3D& tail() const { return arc ? p[2] : p[1]; }
    Point3D& tail() { return arc ? p[2] : p[1]; }
    CsSegment View() { return CsSegment(p, arc ? klLT3PArc : klLTPolyline); }
};
// Nodes the segments in place by mode (0 union of overlaps, 1 union of equal segments, 2 odd
// coverage, 3 odd multiplicity of equal segments) at tolerance eps.
void NodeSegments(std::vector<OwnedSeg>& segs, int mode, double eps);
// Chains segments end to end where their ends meet within eps into runs; closed runs are rings.
std::vector<std::vector<OwnedSeg>> ChainSegments(const std::vector<OwnedSeg>& segs, double eps);
// One line from a chain: consecutive segments of one kind share a run.
keloParts ChainToParts(const std::vector<OwnedSeg>& chain);
}  // namespace detail

class KELO_API CLineHandler {
public:
    // Sets the noding module tolerance: 1e-6 for eps >= 1e-6, else 1e-11.
    explicit CLineHandler(double eps);
    CLineHandler(const CLineHandler&) = delete;
    CLineHandler& operator=(const CLineHandler&) = delete;
    ~CLineHandler();

    // The segments of a point run (runs of curve kinds other than arcs are taken as polylines of
    // their control points; discretise them first).
    int AddLine(const Point3D* points, int count, klLineType type = klLTPolyline);
    int AddLine(const keloPoints* points);
    // The segments of every run of every part.
    int AddGeometry(const GM_Object* object);

    int OrOverLines(int unused);
    int OrEqualLines(int unused);
    int XorOverLines(int unused);
    int XorEqualLines(int unused);
    int Clean(int unused = 0) { return OrOverLines(unused); }

    // The result segments; the input segments before any noding or when the result is empty.
    int GetSegmentCount() const;
    int GetSegmentAt(int i, CsSegment& out);
    // A new array of segments that own nothing: they view the handler's storage.
    int GetSegments(int& count, CsSegment*& out);

    int CombineToPoints(std::vector<keloPoints*>& out, bool arcsAsPolyline);
    int CombineToParts(std::vector<keloParts*>& out, bool arcsAsPolyline);
    int CombineToPolys(std::vector<GM_Object*>& out, bool arcsAsPolyline);

    // A new overlap calculator holding the result segments.
    CSlipCal* CreateSlipCal();

private:
    int Node(int mode);
    std::vector<detail::OwnedSeg>& Current();

    double m_eps;
    std::vector<detail::OwnedSeg> m_input;
    std::vector<detail::OwnedSeg> m_result;
    bool m_noded = false;
};

// Chain any segment array into runs or connected lines (new objects appended to out); they
// return the number made.
KELO_API int CombineSegments2Points(const CsSegment* segs, int count, std::vector<keloPoints*>& out);
KELO_API int CombineSegments2Parts(const CsSegment* segs, int count, std::vector<keloParts*>& out);

}  // namespace kelo
