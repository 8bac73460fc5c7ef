// Multi-part lines (also polygon rings): consecutive point runs, each with its own line type,
// each starting where the one before ends.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/box.h"
#include "geometry/point.h"
#include "geometry/point_run.h"
#include "geometry/records.h"

namespace kelo {

class CsSegment;
struct SpatialReferenceSystem;

// Layout-identical to its record, like keloPoints: a ring inside a polygon's record array can be
// handled as a keloParts in place. Hence no virtual functions. The destructor frees every part and
// the part array; a view made over someone else's record must be Detach()ed before it dies.
class KELO_API keloParts : public LineString {
public:
    keloParts() : LineString{0, nullptr} {}
    explicit keloParts(const LineString* record);  // deep copy; null gives an empty line
    keloParts(int count, const keloPoints* parts);
    keloParts(const std::vector<Point3D>& pts, klLineType type);
    explicit keloParts(const keloPoints& part);
    keloParts(const keloParts& other);  // deep copy
    keloParts(keloParts&& other) noexcept;
    ~keloParts();
    keloParts& operator=(const keloParts& other);
    keloParts& operator=(const LineString& other);
    keloParts& operator=(keloParts&& other) noexcept;

    // Create frees nothing: call DeleteContent first.
    int Create(int count, const CurveSegment* parts);
    int Create(int count, const Point3D* pts, klLineType type);
    int Create(const keloPoints& part);
    // Adopt a new[] part array (with its point arrays); Detach forgets it.
    void Attach(int count, CurveSegment* parts);
    CurveSegment* Detach();
    void DeleteContent();
    bool IsNull() const { return partCount == 0; }

    // ---- parts ----
    int GetPartsCount() const { return static_cast<int>(partCount); }
    // A view of part i inside this line (no copy); null when out of range.
    keloPoints* GetOriginalPointsAt(int i) const;
    int GetPointsAt(keloPoints& out, int i) const;
    keloPoints* GetPointsAt(int i) const;  // new object, owned by the caller
    int InsertPointsAt(const keloPoints& part, int i);
    int ReplacePointsAt(const keloPoints& part, int i);
    int DeletePointsAt(int i);
    int Combine(const keloParts& other);
    // Joins a run onto part i (the last part when i is out of range): merged into it when both
    // have the same joinable type and the run starts at the part's end, else inserted after it.
    int AddPointsTo(const keloPoints& part, int i);
    int InsertPointArray(const std::vector<Point3D>& pts, klLineType type);
    int InsertPoint(const Point3D& p);
    // n points added at the start (end 0) or the end (end != 0) of the line, in the given order.
    int AddPtsAtTerminal(int end, const Point3D* pts, int n);
    // n points inserted into straight segment seg after its first point; 0 for curved segments.
    int InsertPtsIntoSegAt(int seg, const Point3D* pts, int n);

    // ---- points and vertices ----
    int GetAuxPointCount() const;
    int GetVertexCount() const;
    int GetVertexAt(int part, int index) const;
    // The stored point of vertex v (its first stored copy); part and index receive where it is.
    Point3D* GetPointByVertexAt(int v, int* part = nullptr, int* index = nullptr) const;
    int GetAllVertex(std::vector<Point3D>& out) const;
    int GetAllOriginalPoint(std::vector<Point3D>& out) const;
    int ReplaceVertexAt(int v, const Point3D& p);
    int DeleteVertexAt(int v);
    int DeleteVertextFromAt(int from, int to);
    int GetSubPartsFromVertexAt(int from, int to, keloParts& out) const;
    int SearchVertexAtNearPt(const Point3D& p, double& dist) const;
    // The stored copies of vertex v: (lpart, lindex) the copy that ends a run (or the only one),
    // (rpart, rindex) the copy that starts the next run (or the same one).
    int GetLeftRightPointsAtVertex(int v, int& lpart, int& lindex, int& rpart, int& rindex) const;
    // The vertex nearest to keypad position i (1..9) of the line's box; seg receives its segment.
    keloPoint GetCorner(int i, int& seg) const;
    bool IsCorner(int i) const;

    // ---- segments (numbered across parts by the point-run conventions) ----
    int GetSegmentCount() const;
    // Built with the segment view of the relations (not defined here).
    int GetSegment(int i, CsSegment& seg) const;
    Point3D* GetSegmentAt(int i) const;
    keloPoints* GetPointsWithSegAt(int i, int& local) const;
    int GetPrevSegment(int i) const;
    int GetNextSegment(int i) const;
    // Both neighbours of segment i (wrapping round a closed line; -1 at an open end); returns how
    // many exist, 0 with both -1 when segment i does not exist.
    int GetNearbySegment(int i, int& prev, int& next) const;
    // The segment on one side of vertex v: the one ending there (side 0) or starting there (side
    // nonzero). An arc's middle point lies inside its arc, which is then on both sides. -1 when
    // there is none (the open ends of a line).
    int GetSideSegAt(int v, int side) const;
    int GetVertexAtSegment(int i) const;
    int SearchSegAtNearPt(const Point3D& p, double& dist) const;

    // ---- whole line ----
    Box GetBox() const;
    double GetPerimeter() const;
    double GetArea() const;  // signed: counter-clockwise positive
    bool IsClockwise() const { return GetArea() < 0; }
    bool IsClosed() const;
    int Clockwise(int corner, int cw);
    int Reverse();
    // Appends the first point to the last run, whatever its type; 0 when closed already or empty.
    int MakeClose();
    Point3D* GetStartPoint(int i) const;
    int GetEndPoints(Point3D* first, Point3D* last) const;
    bool bWithCurve() const;
    bool bWithCurveEx() const;
    // PointOn: 1 when p lies on the line within eps. PointInside: 1 when p lies strictly inside the
    // line taken as a ring. Both answer from the ring point test (RingPointTest, overlay/rect_clip.h).
    int PointOn(const Point3D& p, double eps) const;
    int PointInside(const Point3D& p, double eps) const;
    double DistanceToPoint(const Point3D& p) const;
    double DistanceWithPoint(const Point3D& p, Point3D* foot) const;
    int SearchNearestPoint(SearchSegResult& result, const Point3D& p, double eps) const;
    int SearchNearestLine(SearchSegResult& result, const Point3D& p, double eps, int flag) const;
    // Meeting points with another line (each reported once), and whether the line meets itself other
    // than where consecutive segments join, both through the packed intersection code at g_epsZero.
    // Arcs and circles are taken exactly; Bezier, ellipse and spline parts are discretised first.
    int IntersectParts(const keloParts& other, std::vector<Point3D>& out) const;
    bool IsSelfIntersect() const;
    int Explode2Line(std::vector<keloPoints*>& out) const;
    // Discrete points of all parts joined into one run.
    int Discrete(std::vector<Point3D>& out, double eps, const Box* clip = nullptr) const;
    int GetDiscreteToPnts(std::vector<Point3D>& out, double eps) const { return Discrete(out, eps); }
    int Discrete(int32_t mask);
    int ConvertToBezier(int32_t mask);
    // Merges neighbouring straight parts into one.
    int UnionStraightPoints();
    keloParts* PutInOrder();
    // The chain PutInOrder takes (the same parts leave this line), running from its other end.
    keloParts* PutInOtherOrder();
    // Joins other onto whichever end of this line it touches (within 1e-8); joint receives the point.
    int MergeWithAnother(const keloParts& other, Point3D* joint);
    // Index of a part (other than those flagged in used) touching p within 1e-8 with its first point
    // (reversed = false) or its last point (reversed = true); -1 when none.
    int HaveNext(const Point3D& p, const std::vector<char>& used, bool& reversed) const;
    // The sub-line between the positions on the line nearest to a and to b, running from a to b;
    // curves are split there without changing their shape. 0 for a line without segments.
    int FindPath(const Point3D& a, const Point3D& b, keloParts& out) const;
    // Smooths the line: every straight part of three or more points becomes a cardinal spline
    // through the same points. Returns the number of parts changed.
    int Change2SmoothPolyline();
    // Whether p is the first (1) or last (2) point of the line, else 0.
    int IsEnd(const Point3D& p) const;
    // Whether p (within 1e-8) is the first (1) or the last (2) point of some part, else 0; part
    // receives the first such part. The chaining asks this of loose parts.
    int FindPathState(const Point3D& p, int* part) const;
    // Whether part i has a free end: 1 when its first point touches no other part, 2 when only its
    // last point is free, 0 when both ends touch.
    int IsEndPoint(int i, const std::vector<char>& used) const;

    // ---- transforms ----
    int OffsetKeloParts(const Point3D& d);
    int RotateKeloParts(const Point3D& c, double angle);
    int MirrorKeloParts(const Point3D& a, const Point3D& b);
    void transform(double dx, double dy, const Point3D& c, double angle, double sx, double sy);
    // Content given in frame a, rewritten in place in frame b; 0 (unchanged) when b is degenerate.
    int transform(const SpatialReferenceSystem& a, const SpatialReferenceSystem& b);
    int OffsetKeloPartsPart(const Point3D& d, keloParts& out) const;
    int RotateKeloPartsPart(const Point3D& c, double angle, keloParts& out) const;
    int MirrorKeloPartsPart(const Point3D& a, const Point3D& b, keloParts& out) const;
    // The offset line at distance on the left (side 1) or the right (any other side), arcs kept
    // as arcs; built with the buffers (overlay/offset_line.cpp). Nonzero on success; 0 leaves this
    // line empty (the Part variant leaves this line unchanged and out empty).
    int ParallelKeloParts(double distance, int side);
    int ParallelKeloPartsPart(double distance, int side, keloParts& out) const;

    // ---- vertex measures ----
    Point3D* GetMIV(uint16_t id, int32_t& value) const;
    Point3D* GetMFV(uint16_t id, float& value) const;
    bool SetMIV(uint16_t id, int32_t value);
    bool SetMFV(uint16_t id, float value);
    bool ClearMIV(uint16_t id, double z);
    bool ClearMFV(uint16_t id, double z);
    int ClearMV(double z);
    int FindNoMarkPos() const;
    // Writes z into every stored copy of vertex v.
    bool SetVertexZ(int v, double z);

    // ---- validity ----
    int IsNormal(double eps, int flags) const;
    int Normalizing(double eps, int flags);

private:
    // (part, index) of vertex v's first stored copy.
    bool LocateVertex(int v, int& part, int& index) const;
    // Makes the closed line start at point index of part.
    void StartAt(int part, int index);
};
static_assert(sizeof(keloParts) == sizeof(LineString), "keloParts is a view of its record");

// A polygon over its record: ring 0 outer, the others holes. Layout-identical to the record for the
// same reason as keloParts, so a polygon inside a multi-polygon can be viewed in place.
class KELO_API keloPolygon : public WKBPolygon {
public:
    keloPolygon() : WKBPolygon{0, nullptr} {}
    explicit keloPolygon(const WKBPolygon* record);
    explicit keloPolygon(const keloParts& ring);
    keloPolygon(const keloPolygon& other);
    keloPolygon(keloPolygon&& other) noexcept;
    ~keloPolygon();
    keloPolygon& operator=(const keloPolygon& other);
    keloPolygon& operator=(keloPolygon&& other) noexcept;

    int Create(int count, const LineString* rings);
    int Create(const keloParts& ring);
    void Attach(int count, LineString* rings);
    LineString* Detach();
    void DeleteContent();

    int GetRingsCount() const { return ringCount > 0 ? ringCount : 0; }
    keloParts* GetOriginalRingAt(int i) const;
    int InsertRing(const keloParts& ring, int atEnd);
    int DeleteRingAt(int i);

    double GetArea() const;
    double GetPerimeter() const;
    double GetRatio() const;
    Box GetBox() const;
    // 0 outside (or in a hole), 1 inside, 2 on a ring within eps.
    int IsPointIn(const Point3D& p, double eps) const;
    bool IsClockwise() const;
    int Clockwise(int corner, int cw);
    // Content given in frame a, rewritten in place in frame b; 0 (unchanged) when b is degenerate.
    int transform(const SpatialReferenceSystem& a, const SpatialReferenceSystem& b);
    int IsNormal(double eps, int flags) const;
    // Shows the unfinished-operation message and changes nothing.
    int Normalizing(double eps, int flags);

    // Built with the interior-point routine of the geometry object (not defined here).
    Point3D centroid() const;
    int SetLabelPt(int mode);

    bool GetLabelPt(double& x, double& y) const;
    bool SetLabelPt(double x, double y);
    double GetH() const;
    bool SetH(double h);

    // 1 when the rings stand in valid relation: no two rings meet within eps, every hole lies in the
    // outer ring and outside the other holes (tested on the discretised rings); 0 otherwise and
    // without rings.
    int GetRelationPolygon(double eps) const;
    // The kl9iResult of the area a ring bounds to the polygon's outer ring (index 0), or, when the
    // ring lies inside the outer ring and meets a hole, to that hole (index receives it): lying in
    // the hole gives its inside or equal result, covering the hole gives overlap (3). With 2 and
    // 5 gz_nPgAContainPgB is 1 when the ring holds the other. Index -1 without rings.
    int GetRelationRing(const keloParts& ring, int& index, double eps) const;

    // Sorts loose rings into polygons by nesting depth; returns how many new polygons were
    // appended (each owned by the caller). Rings of fewer than 3 vertices are removed from rings.
    static int MakePolygonsByRings(std::vector<keloParts*>& rings, std::vector<keloPolygon*>& polygons,
                                   double eps);
};
static_assert(sizeof(keloPolygon) == sizeof(WKBPolygon), "keloPolygon is a view of its record");

// Float-measure id of the label point and height on a polygon's first three outer vertices.
inline constexpr uint16_t kLabelMeasureId = 56506;

}  // namespace kelo
