// How two geometries relate in the dimensionally extended nine-intersection model: the index of
// one line or ring (C9iPartsIndex), the index of a whole geometry object (C9iObjIndex), the named
// relations and the process-wide touch and containment flags.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "geometry/box.h"
#include "geometry/point.h"
#include "kelo_api.h"
#include "relations/node_info.h"
#include "relations/segment.h"

namespace kelo {

class keloParts;
class GM_Object;
class GeometryIndex;
namespace detail {
class LineSegments;
struct RelGeom;
}

// The relation of A to B.
enum kl9iResult : int32_t {
    kl9iDisjoint = 0,
    kl9iEqual = 1,
    kl9iInside = 2,        // one strictly inside the other; gz_nPgAContainPgB tells which
    kl9iOverlap = 3,
    kl9iTouch = 4,
    kl9iInsideTouch = 5,   // inside with boundary contact; gz_nPgAContainPgB tells which
    kl9iBoundaryTouch = 6  // touch where the boundaries meet
};

// The simpler relation (touches count as disjoint).
enum kl9iNewResult : int32_t {
    kl9iNewDisjoint = 0,
    kl9iNewEqual = 1,
    kl9iNewContains = 2,
    kl9iNewWithin = 3,
    kl9iNewIntersect = 4
};

// Dimension of one intersection: -1 empty, else 0, 1 or 2.
enum kl9i8BOOLResult : int32_t { kl9iEmpty = -1, kl9iDim0 = 0, kl9iDim1 = 1, kl9iDim2 = 2 };

// Bits of the 8-boolean code (bit i set when intersection i is not empty; A first, B second).
inline constexpr int k9iII = 1, k9iIB = 2, k9iIE = 4, k9iBI = 8, k9iBB = 16, k9iBE = 32, k9iEI = 64, k9iEB = 128;

// Process-wide: 1 when the last inside relation had A containing B, 0 when A lay within B; whether
// the last touch was in a point or along a line.
extern KELO_API int gz_nPgAContainPgB;
extern KELO_API int gz_nPointTouch;
extern KELO_API int gz_nLineTouch;
KELO_API void ResetTouchInfoEx();  // point 0, line 0, contain 1
KELO_API int GetPointTouchInfo();
KELO_API int GetLineTouchInfo();
KELO_API int GetPgAContainPgB();

// The eight dimensions as a DE-9IM string (EE, which is never computed, written as '2' for areas'
// exteriors always meet): "F" for -1, else the digit; nine characters in row order II IB IE BI BB
// BE EI EB EE.
KELO_API std::string NineIntersectionText(const int dims[8]);
// Short English name of a kl9iResult value ("disjoint", "equal", ...); "none" when out of range.
KELO_API const char* NineIntersectionName(int result);

// The index of one line or ring.
class KELO_API C9iPartsIndex {
public:
    C9iPartsIndex();
    ~C9iPartsIndex();
    C9iPartsIndex(const C9iPartsIndex&) = delete;
    C9iPartsIndex& operator=(const C9iPartsIndex&) = delete;

    // Builds the index over the part (borrowed: it must outlive the index). Bezier, ellipse and
    // spline runs are read as their discretisation at g_epsZero; arcs stay arcs. Returns the
    // segment count, 0 for a null or empty part.
    int SetIndex(const keloParts* parts, int ring);
    int IsRing() const { return m_ring; }
    const Box& GetBox() const { return m_box; }
    const keloParts* GetParts() const { return m_parts; }
    int GetSegmentCount() const;

    // Segments whose box meets the box: records (borrowed from the index), ids (segment + 1) or
    // views. Each returns the count.
    int GetSegments(const Box& box, CNodeInfoArray& out) const;
    int GetSegments(const Box& box, std::vector<uint32_t>& out) const;
    int GetSegments(const Box& box, std::vector<CsSegment>& out) const;
    // Segment by id (segment number + 1); a null view when out of range.
    CsSegment GetSegmentById(uint32_t id) const;
    // Neighbours of segment i (wrapping round a ring); returns how many exist.
    int GetNearbySegment(int i, int& prev, int& next) const;
    Point3D GetOnePoint() const;

    // Nonzero when p lies on a segment within tol.
    int PointOn(const Point3D& p, double tol) const;
    // Nonzero when p lies strictly inside the ring; onBoundary is set when p lies on it.
    int PointIn(const Point3D& p, double tol, int& onBoundary) const;
    // Rings: 2 inside, 4 on the boundary, 0 outside. Lines: 2 on the line, 0 off it.
    int Point9i(const Point3D& p, double tol) const;
    // The segment nearest to p among those within tol of it, -1 when none; dist receives its
    // distance and foot the nearest point.
    int NearestSegment(const Point3D& p, double tol, double& dist, Point3D& foot) const;

    // The kl9iResult of this part to the other (each a line, or the area a ring bounds). For 2 and
    // 5, direction is 1 when this part contains the other, else 0; extra receives the 8-boolean
    // code.
    int Parts9i(const C9iPartsIndex& other, double tol, int& direction, int& extra) const;
    int Parts9i(const C9iPartsIndex& other, double tol) const;
    int Parts9iNew(const C9iPartsIndex& other, double tol) const;

    // Reads cases from a text file (see C9iObjIndex::UnitTest) and checks Parts9i against the
    // object relation; returns the number of failed cases, -1 when the file cannot be read.
    static int UnitTest(const char* path);

    // Appends to out the segments whose box meets box grown by tol (each once).
    void SegmentsNear(const Box& box, double tol, std::vector<uint32_t>& out) const;
    // Internal: the segments and the ray index.
    const detail::LineSegments* Segments() const { return m_segs; }
    void ClearVector();

private:
    // Crossings of the ray from p to (x1, y1) with the ring; -1 when the ray is unusable.
    int RayCrossings(const Point3D& p, double x1, double y1) const;
    template <class F>
    void ForEachInBand(double y0, double y1, F f) const;
    template <class F>
    void ForEachNearBox(const Box& box, double tol, F f) const;
    size_t BandOf(double y) const;
    void NextStamp() const;
    void BuildBands();
    void BuildTree() const;

    int m_ring = 0;
    Box m_box;
    const keloParts* m_parts = nullptr;
    detail::LineSegments* m_segs = nullptr;
    // Segments by horizontal band, for the ray cast and nearby lookups.
    double m_bandY0 = 0, m_bandH = 1;
    std::vector<uint32_t> m_bandStart;
    std::vector<uint32_t> m_bandSegs;  // each band's list sorted by left edge
    std::vector<double> m_bandWidth;   // widest box of each band
    mutable std::vector<uint32_t> m_seen;
    mutable uint32_t m_stamp = 0;
    // The box index of the segments, built on first use.
    mutable GeometryIndex* m_tree = nullptr;
    mutable std::vector<Box> m_treeBoxes;
};

// The index of one geometry object: its polygons (outer ring first, then holes), its lines, and
// its points.
class KELO_API C9iObjIndex {
public:
    explicit C9iObjIndex(const GM_Object* object);
    ~C9iObjIndex();
    C9iObjIndex(const C9iObjIndex&) = delete;
    C9iObjIndex& operator=(const C9iObjIndex&) = delete;

    // Number of part lists (one per polygon, one per line part).
    int GetSize() const { return static_cast<int>(m_lists.size()); }
    const GM_Object* GetGeometry() const { return m_object; }
    const std::vector<C9iPartsIndex*>& GetList(int i) const { return m_lists[i]; }
    int PolygonCount() const { return m_polygons; }
    // 0 points, 1 lines, 2 areas; -1 for an object without elements.
    int Dimension() const;
    Box GetBox() const;
    int IsBoxIntersectBox(const Box& box) const;
    int IsPointInBox(const Point3D& p) const;

    // The kl9iResult of this object (A) to B; a and b receive the element kinds.
    int Get9iResult(const GM_Object* b, double tol);
    int Get9iResult(const GM_Object* b, double tol, int& kindA, int& kindB);
    int Get9iResult(const Point3D& p, double tol);
    // As Get9iResult; code receives the 8-boolean code and dims the eight dimensions (either may
    // be null).
    int Get9iResultEx(const GM_Object* b, double tol, int* code, int dims[8]);
    int Get9iNewResult(const GM_Object* b, double tol);
    // As Get9iNewResult; result9i receives the kl9iResult it came from.
    int Get9iNewResultAll(const GM_Object* b, double tol, int* result9i);

    // The eight dimensions II IB IE BI BB BE EI EB (-1 empty); returns the kl9iResult.
    int Get9i8BOOLEx(const GM_Object* b, double tol, int results[8]);
    // The 8-boolean code, computed at no more than g_epsLimit.
    int Get9i8BOOL(const GM_Object* b, double tol);
    // Dimension of I(A) ∩ I(B), and of I(B) ∩ E(A).
    int Get9i8BOOLResult(const GM_Object* b, double tol);
    int Get9i8BOOLResultExterior(const GM_Object* b, double tol);
    // Turns an 8-boolean code into a kl9iResult (and sets gz_nPgAContainPgB for 2 and 5); returns 0
    // when no rule applies.
    static int Get9iResult(int code, int& result);

    // Nothing of B lies in this object (no intersection but with the exterior).
    int IsOutsideOf(const GM_Object* b, double tol);

    // Point location: 0 interior, 1 boundary, 2 exterior.
    int Locate(const Point3D& p, double tol) const;

    // A copy of object with Bezier, ellipse and spline parts discretised (arcs stay), and, with
    // repair, its parts tidied at 3 × g_epsZero when some fail the part check; null when the
    // object was usable unchanged. The caller deletes the copy.
    static GM_Object* Normal9iObject(const GM_Object* object, int repair);
    // Reads one object from a text file (see UnitTest); 1 on success.
    static int Load_GM_Object(GM_Object& object, FILE* file);
    // Reads cases from a text file and compares the relation with the one the eight dimensions
    // give, printing "CASE%d\n" with the coordinates for each mismatch and "all %d cases
    // passed.\n" at the end. Returns the number of failed cases, -1 when the file cannot be read.
    static int UnitTest(const char* path);

    const detail::RelGeom& Geom() const { return *m_geom; }

private:
    int EightDims(const C9iObjIndex& b, double tol, int results[8]);
    int RelateByKinds(const C9iObjIndex& b, double tol, const int dims[8]);
    int PolygonsRelation(const C9iObjIndex& b, double tol, const int dims[8]);

    const GM_Object* m_object;
    std::vector<std::vector<C9iPartsIndex*>> m_lists;
    int m_polygons = 0;  // the first m_polygons lists are polygons
    int m_kinds = 0;     // element kinds: 1 points, 2 lines, 4 areas
    detail::RelGeom* m_geom;
};

// The eight dimensions of a to b at tol, without the touch flags.
KELO_API void Relate9i(const GM_Object& a, const GM_Object& b, double tol, int dims[8]);

KELO_API int KeloParts9iUnitTest(const char* path);
KELO_API int KeloObj9iUnitTest(const char* path);
KELO_API int Kelo8Bool9iUnitTest(const char* path);

}  // namespace kelo
