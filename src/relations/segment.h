// The segment view: one straight segment or one three-point arc inside a point run, and the
// relations every higher-level test is built from (point on segment, feet and distances, the
// packed intersection code, overlaps and directions).
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/box.h"
#include "geometry/point.h"
#include "geometry/point_run.h"
#include "kelo_api.h"

namespace kelo {

class keloParts;
class GM_Object;

// ---- the packed intersection code --------------------------------------------------------
//
// bits 0-3 position of contact 1, 4-5 its kind, 8-11 position of contact 2, 12-13 its kind,
// 14-15 the overlap kind. Positions are bit sets over the segment the call is made on (A) and the
// other one (B); kinds: 0 none, 1 crossing, 2 an end on the other segment, 3 an end on an end.
inline constexpr int kSegPosStartA = 1;
inline constexpr int kSegPosEndA = 2;
inline constexpr int kSegPosStartB = 4;
inline constexpr int kSegPosEndB = 8;

inline constexpr int kSegContactNone = 0;
inline constexpr int kSegContactCross = 1;
inline constexpr int kSegContactEndOnSeg = 2;
inline constexpr int kSegContactEndOnEnd = 3;

// Kind of contact 1 (first nonzero) or contact 2 (first zero); posA receives 0 / 1 start / 2 end
// of A and posB the same for B. Null pointers are skipped.
KELO_API int IntersectInfoType(int code, int first, int* posA, int* posB);
// (contact 2 present) + (contact 1 present) + overlap kind: 3 or more means a real overlap.
KELO_API int IntersectInfoOverlap(int code);

// A non-owning view of the first control point of a segment and the run's line type. Arcs (types
// 3 and 6) read three points, start, middle and end; every other type reads two. An arc whose
// points are collinear behaves as its chord in every operation.
class KELO_API CsSegment {
public:
    Point3D* points;
    int32_t type;

    CsSegment() : points(nullptr), type(0) {}
    // Segment i of the run (null points when the run or the segment does not exist).
    CsSegment(CurveSegment* run, int i);
    CsSegment(Point3D* p, int t) : points(p), type(t) {}

    bool Is3PArc() const { return Is3PArcSegment(type); }
    int PtCount() const { return Is3PArc() ? 3 : 2; }
    Point3D* Head() const { return points; }
    Point3D* Tail() const { return points ? points + (PtCount() - 1) : nullptr; }
    double zGetZ() const;
    // Both or neither of the two types are arc types.
    bool IsSameType(int otherType) const { return Is3PArc() == Is3PArcSegment(otherType); }

    // The only two operations that allocate: the new segment owns a new[] array of PtCount points
    // that the receiver frees with delete[].
    CsSegment Clone() const;
    void DupSegment(CsSegment& out, int reverse) const;

    // Lengths: whole (0), start to middle (1), middle to end (2); the chord for straight segments.
    double Length(int which = 0) const;
    Point3D GetMidPt(int which = 0) const;
    // Direction in [0, 2pi): the bearing of a straight segment, the tangent of an arc at p in its
    // sense of travel (at the start when p is null).
    double GetDirection(const Point3D* p = nullptr) const;
    // The point at distance d beyond the start (atStart nonzero) or the end.
    Point3D GetExtendPt(double d, int atStart) const;
    Box GetBox() const;
    bool IsIntersect(const Box& box) const;
    // Turns an arc into the complementary arc of its circle with the same ends.
    int zMakeOther3PArc();

    // 0 not on, 1 interior, 2 at the start, 3 at the end.
    int IsOverlapPt(const Point3D& p, double eps) const;
    // Foot of p on the line or circle; flag 0 outside, 1 inside, 2 at the start, 3 at the end.
    Point3D GetChuizu(const Point3D& p, int* flag, double eps) const;
    Point3D GetChuizu(const Point3D& p) const;
    double PtDistance(const Point3D& p, Point3D& q, int& flag, double eps) const;
    double PtDistance(const Point3D& p, Point3D& q) const;
    double PtDistance(const Point3D& p) const;
    bool IsWithin(const Point3D& p, double tol, double w, bool projectionOnly) const;
    bool IsWithin(const Point3D& p, double tol, int flag) const;

    // The packed intersection code at tolerance eps; contact points (always on this segment) go to
    // p1 and p2.
    int IntersectInfo(const CsSegment& b, Point3D& p1, Point3D& p2, double eps) const;
    // Crossing points without tolerance (0, 1 or 2); both outputs carry z = 9999.0.
    int zIntersectSegment(const CsSegment& b, Point3D& p1, Point3D& p2) const;
    double GetOverlapLength(const CsSegment& b, double eps) const;
    // 0 no overlap, 1 overlap in opposite directions, 3 in the same direction.
    int HasOverlapAndSameDirect(const CsSegment& b, double eps) const;
    int IsSame(const CsSegment& b, double eps) const;
    int zIsSameCenterAndR(const CsSegment& b, double eps) const;
    // Feet of b's points on this segment when all lie within eps; else the first distance over eps.
    double Projection(const CsSegment& b, double eps, std::vector<Point3D>& out) const;
    double LnDistance(const CsSegment& b, Point3D& pA, Point3D& pB) const;
    double LnDistance(const CsSegment& b) const;
};

// Contacts of A with B at the fixed tolerance 1e-8, counting ends only where they meet B's ends.
KELO_API int SegIntersectSeg(const CsSegment& a, const CsSegment& b, Point3D& p1, Point3D& p2);

// A located segment: part, sequence within the part and segment index (all -1 when empty), the
// foot flag of the nearest point, and the run that holds the segment.
struct KELO_API GeometryAt {
    int partIndex = -1;
    int seqIndex = -1;
    int segIndex = -1;
    int flag = 0;
    keloPoints* points = nullptr;

    void Clear() { *this = GeometryAt(); }
    // p strictly nearer to the head of the located segment than to its tail.
    bool NearSegHead(const Point3D& p) const;

    // Both normalise every run of the object in place first and pass over Bezier, ellipse and
    // spline runs. The segment nearest to p (a later one wins only when strictly nearer); foot
    // receives its foot. Returns the run, null for a null object or one without segments.
    keloPoints* GetNearRefPtSegment(const Point3D& p, GM_Object* object, Point3D& foot, double eps);
    // The last segment of the same sort that the given one projects onto no farther than the best
    // so far (at first eps) and overlaps; dist and points receive the distance and the feet.
    keloPoints* GetSegmentNearSegment(const CsSegment& segment, double& dist, GM_Object* object,
                                      std::vector<Point3D>& points, double eps);
};

// The noding pass's tallies: end-to-end contacts at A's start and end, touches and crossings.
// True when there is a touch or a crossing, or more than one end-to-end contact at either end.
KELO_API bool IsSegIntersect(uint8_t* endStart, uint8_t* endEnd, uint8_t* touch, uint8_t* cross);
// The overlap flag of the noding pass, cleared by reading it.
KELO_API uint8_t IsSegOverlapAndReset();

// ---- over whole lines and objects ----------------------------------------------------------
// The first nonzero HasOverlapAndSameDirect between a segment of a and one of b, else 0.
KELO_API int HasOverlapAndSameDirectParts(keloParts* a, keloParts* b, double eps);
// The neighbouring run's copy of the first point (atEnd 0) or the last point (atEnd the index of
// the last point) of run i; wraps round a line whose ends meet. Null when there is none.
KELO_API Point3D* GetNeighbourSamePtAt(keloParts* parts, int i, int atEnd);
// Writes p over point k of run i and over the neighbour's shared copy; 0 when there is no such point.
KELO_API int ReplacePtInParts(const Point3D& p, keloParts* parts, int i, int k);
// Lines and polygons without Bezier, ellipse or spline parts: every straight run whose consecutive
// segments follow one circle within g_epsLimit gets those segments replaced by three-point arcs (at
// most half a turn each). Returns how many arcs were made. Other objects are put in order
// (PutGMInOrder) and its result is returned.
KELO_API int LineStringArclize(GM_Object* object);

}  // namespace kelo
