// The geometry object callers hand around: a point, line, polygon, their multi-forms, a mixed
// collection, a triangle network or a value grid, over one geometry record it owns.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/box.h"
#include "geometry/parts.h"
#include "geometry/point.h"
#include "geometry/point_run.h"
#include "geometry/records.h"

namespace kelo {

class CsSegment;
struct SpatialReferenceSystem;

// Stretch measures of a directed point: x stretch on member 0, y stretch on member 1.
inline constexpr uint16_t kDirectStretchXId = 52417;
inline constexpr uint16_t kDirectStretchYId = 52418;
// z written by the (x, y) array constructors.
inline constexpr double kXYArrayZ = 9999.99;

// Owns its record; every Create, insertion and assignment deep-copies unless it says it adopts.
// The destructor is deliberately not virtual: the object is a record with a table of operations,
// and hosts delete it through its own type.
class KELO_API GM_Object final : public WKBGeometry {
public:
    GM_Object();
    GM_Object(const GM_Object& other);
    GM_Object& operator=(const GM_Object& other);
    explicit GM_Object(const WKBGeometry& record);
    explicit GM_Object(const LineString& line);
    explicit GM_Object(const WKBPolygon& polygon);
    explicit GM_Object(const Point3D& p);
    explicit GM_Object(const keloPolygon& polygon);
    GM_Object(const keloParts& parts, int asPolygon);
    // Reads a complete encoding; a bad type code leaves the object empty.
    explicit GM_Object(const unsigned char* buffer);
    ~GM_Object();  // NOLINT: not virtual on purpose (see above)

    // ---- the operations table, in its fixed order ----
    virtual Box mbRegion() const;
    virtual Point3D representativePoint() const;
    // A new object (the caller frees it): rings of polygons as lines, free ends of lines as
    // points; null for points and empty objects.
    virtual GM_Object* boundary() const;
    // Points: no two alike (within g_epsZero). Lines: no line crosses or touches itself or another
    // but where open lines meet end to end. Polygons count as simple. False when empty.
    virtual bool isSimple() const;
    // Every line part (rings included) closed; false without parts.
    virtual bool isClosed() const;
    virtual bool isEmpty() const { return type == wkbEmpty; }
    // Relations through the nine-intersection engine at g_epsZero (equal at eps): contains(p) p in
    // the interior, onsides(p) on the boundary, insides(p) the whole object lies at p; contains
    // and insides of objects as in the nine-intersection model (interiors meet, and nothing of
    // the inner one lies outside); intersect 1 unless disjoint; equal when neither has anything
    // outside the other. 1 or 0; objects without elements give 0.
    virtual int contains(const Point3D& p) const;
    virtual int contains(const GM_Object* other) const;
    virtual int insides(const Point3D& p) const;
    virtual int insides(const GM_Object* other) const;
    virtual int onsides(const Point3D& p) const;
    virtual int intersect(const GM_Object* other) const;
    virtual int equal(const GM_Object* other, double eps) const;
    // Set operations of areas through the overlay: out is emptied and receives one new Polygon
    // record per result polygon (the caller frees each with FreeWKBGeometry). 1 on success; 0 with
    // a message when either object is not an area.
    virtual int setUnion(const GM_Object* other, std::vector<WKBGeometry*>& out) const;
    virtual int setIntersection(const GM_Object* other, std::vector<WKBGeometry*>& out) const;
    virtual int setDifference(const GM_Object* other, std::vector<WKBGeometry*>& out) const;
    virtual int setSymmetricDifference(const GM_Object* other, std::vector<WKBGeometry*>& out) const;
    // The least distance between the two (0 when they meet or one lies in the other); the two
    // nearest points go to onThis and onOther. -1 when either has no elements.
    virtual double distance(const GM_Object* other, Point3D& onThis, Point3D& onOther) const;
    virtual double distance(const GM_Object* other) const;
    virtual int dimension() const;
    virtual int coordinateDimension() const { return 2; }
    virtual void transform(double dx, double dy, const Point3D& c, double angle, double sx, double sy);
    // A new object in frame b of the content given in frame a; null when b is degenerate.
    virtual GM_Object* transform(const SpatialReferenceSystem& a, const SpatialReferenceSystem& b) const;
    virtual Box envelope() const { return mbRegion(); }
    virtual Point3D centroid() const;
    // A new polygon object: the hull of all stored points; null with fewer than three corners.
    virtual GM_Object* convex_Hull() const;
    // Buffer (open: answers null).
    virtual GM_Object* buffer(double d) const;

    // ---- construction (each first frees what the object held) ----
    int Create(const unsigned char* buffer);
    // The reader for bytes from outside: 0 with the object empty unless the buffer holds exactly
    // one well-formed encoding of length bytes.
    int Create(const unsigned char* buffer, size_t length);
    int Create(const WKBGeometry& record);
    int Create(const Point3D& p);
    int Create(const Point3D& a, const Point3D& b, klLineType lineType);
    int Create(const CurveSegment& run);
    int Create(const LineString& line);
    int Create(const keloParts& parts, int asPolygon);
    int Create(const keloPolygon& polygon);
    // With asPolygon set the ring is closed by appending a copy of the first point to pts.
    int Create(std::vector<Point3D>& pts, int asPolygon, klLineType lineType);
    int Create(const double* xy, int n, int asPolygon, klLineType lineType);
    // The box as a closed polyline ring (asPolygon set) or an open four-point line.
    int Create(const Box* box, int asPolygon);
    // One line per entry: type 2 for one, type 5 for several (null entries skipped).
    int Create(const std::vector<LineString*>& lines);
    void DeleteContent();

    // ---- type ----
    wkbGeometryType GetType() const { return type; }
    // Writes the code only; an unknown code first frees the content, which it could no longer name.
    void SetType(int32_t t);
    int GetElementsType() const;
    bool IsComplexObject() const;
    bool IsTypeNormal() const;
    int TypeNormalizing();
    int ObjectNormalizing();
    int NormalizeInAndOutRings(int cw);
    // 1 when the object holds polygons and every one is clockwise (outer ring clockwise, holes not).
    int IsClockwised() const;
    // Orients every polygon: outer ring clockwise when cw is set, holes the other way, each ring
    // first started at the vertex nearest keypad corner `corner` when it is positive. Returns how
    // many polygons there were.
    int ClockwiseObj(int corner, int cw);
    int NormalizePolygons(double eps);
    int IsNormal(double eps, int flags) const;
    // Changes nothing; tells the user to use the neatening functions.
    int Normalizing(double eps, int flags);

    // ---- flat numbering ----
    int GetPointCount() const;
    int GetPartsCount() const;
    keloParts* GetOriginalPartsAt(int* isRing, int i) const;
    int IsHolePartsAt(int i) const;
    int GetPolygonCount() const;
    keloPolygon* GetOriginalPolygonAt(int i) const;
    int GetTinCount() const;
    Triangle* GetTriangles() const;
    int GetGridVtxCount() const;
    double* GetGridVtxValue() const;

    // ---- access ----
    int GetPartsAt(keloParts& out, int i) const;
    int GetPointAt(Point3D& out, int i) const;
    Point3D* GetPointAt(int i) const;  // a view, null when out of range
    Point3D* GetVertexAt(int part, int vertex) const;
    // Segment seg of flat part `part` (a line or a ring); 0 when either does not exist.
    int GetSegment(int part, int seg, CsSegment& out) const;
    int GetAuxPointCount() const;
    int GetTotalPointCount() const;
    int GetPointNumber() const;
    int GetAllPoints(std::vector<Point3D>& out) const;
    int GetConcatPoints(std::vector<Point3D>& out) const;
    using PointCallback = void (*)(Point3D& p, void* c1, void* c2, void* c3);
    int ForEachPoint(PointCallback f, void* c1 = nullptr, void* c2 = nullptr, void* c3 = nullptr);
    bool bWithCurve() const;
    bool bWithCurveEx() const;

    // ---- locating ----
    int LocatePointByIndex(int i, keloPoint** out) const;
    int LocateTotalPointByIndex(int i, keloPoint** out) const;
    // A stored point of the parts by flat index; part and index receive its position.
    int LocateAuxPointByIndex(int i, keloPoint** out, int* part = nullptr, int* index = nullptr) const;
    int LocatePointByPointValue(const Point3D& p, int& index, keloPoint** out = nullptr) const;
    int LocateAuxPointByPointValue(const Point3D& p, int& index, keloPoint** out = nullptr) const;

    // ---- editing (1 on success, 0 otherwise) ----
    int InsertPointAt(const Point3D& p, int i);
    int ReplacePointAt(const Point3D& p, int i);
    int DeletePointAt(int i);
    int InsertPartsAt(const keloParts& parts, int i, int asRing);
    int ReplacePartsAt(const keloParts& parts, int i);
    int DeletePartsAt(int i);
    int InsertPolygon(const keloPolygon& polygon);
    int ReplacePolygonAt(const keloPolygon& polygon, int i);
    int DeletePolygonAt(int i);
    int InsertVertexAt(int part, int v, const Point3D& p);
    int DeleteVertexAt(int part, int v);
    int ReplaceVertexAt(int part, int v, const Point3D& p);
    int ModifyPoint(const Point3D* p, const Point3D& value);
    int DeletePoint(const Point3D* p);
    int CloseGeom();
    int Change2Point();
    int OffsetAllPoints(const Point3D& d);
    int RotateAllPoints(const Point3D& c, double angle);
    int MirrorAllPoints(const Point3D& a, const Point3D& b);
    int Combine(const GM_Object* other);
    int Combine(const std::vector<GM_Object*>& others);
    // Removes the line parts that repeat one of ref's lines point by point.
    int DeleteKeloPartsWithRef(const GM_Object& ref);
    // Cutting through the overlay: the object's pieces inside the area of the polygon, then those
    // outside it, appended as new objects (empty pieces left out); returns how many. Lines are
    // cut where they cross the polygon's rings.
    int TrimmingByPolygon(const GM_Object& polygon, std::vector<GM_Object*>& out) const;
    // Cutting by any object: by its area when it has polygons, else at its lines, where this
    // object's lines are cut into pieces and areas are split along the cutter's lines.
    int TrimmingByObject(const GM_Object& cutter, std::vector<GM_Object*>& out) const;

    // ---- conversions ----
    int Polyline2Polygon();
    int Polygon2Polyline();
    int Explode2Line(std::vector<GM_Object*>& out) const;
    int Discrete(int32_t mask);
    int ConvertToBezier(int32_t mask);
    int Change2SmoothPolyline();
    int PutGMInOrder();
    int PutGMInOtherOrder();
    int Modify3PArc();
    int Restore3PArc();

    // ---- vertex measures (on the vertices of all parts in order) ----
    Point3D* GetMIV(uint16_t id, int32_t& value) const;
    Point3D* GetMFV(uint16_t id, float& value) const;
    bool SetMIV(uint16_t id, int32_t value);
    bool SetMFV(uint16_t id, float value);
    bool ClearMIV(uint16_t id, double z);
    bool ClearMFV(uint16_t id, double z);
    int ClearMV(double z);
    int FindNoMarkPos() const;

    // ---- size ----
    double GetArea() const;
    double GetPerimeter() const;
    int GetPointLength(std::vector<double>& out) const;
    double GetArea_Ellipse(double p1, double p2, int code, int flag) const;
    double GetPerimeter_Ellipse(double p1, double p2, int code, int flag) const;
    // Ellipsoid given by its semi-axes; flag set: coordinates are geographic degrees already,
    // else planar (the planar area is returned).
    double GetEllipseArea(double a, double b, int flag) const;

    // ---- points of interest ----
    // Candidates: one per polygon, one per line part, one for the point members; the heaviest
    // wins. weights (optional) receives every candidate's weight. 1, or 0 without candidates.
    int centroid2(Point3D& out, int mode, std::vector<double>* weights = nullptr) const;
    // The area-weighted centre of the polygons (length-weighted for lines, mean for points),
    // which may lie outside the shape.
    int centroid3(Point3D& out) const;
    // The vertex nearest to keypad position i (1..9) of the object's box.
    Point3D GetCornerPoint(int i) const;
    Point3D* GetOriginalDirectPoint(double* angle) const;
    int SetDirectPoint(const Point3D& p, double angle, double length);
    bool IsDirectPoint() const;
    bool GetDirectPointStretch(float& sx, float& sy) const;
    bool SetDirectPointStretch(float sx, float sy);

    // ---- searches ----
    int SearchNearestPoint(SearchSegResult& result, const Point3D& p, double eps) const;
    int SearchNearestLine(std::vector<SearchSegResult>& results, const Point3D& p, double eps, int flag) const;
    int SearchNearVertex(const Point3D& p, int* part, int* vertex, double* dist) const;
    int SearchNearSegment(const Point3D& p, int* part, int* seg, double* dist) const;
    // Flat index of the first point member within eps, else of a stored part point (after the
    // point members), -1 when none.
    int SearchOverlayPoint(const Point3D& p, double eps) const;
    // Every point member and part vertex within r of p; returns how many.
    int SearchPointNeighbourhood(const Point3D& p, double r, std::vector<Point3D>& out) const;
    // Index of the first straight two-point line part through p within eps, -1 when none.
    int SearchStreightLineByPoint(const Point3D& p, double eps) const;
    // Line parts nearest / farthest to p (by their nearest distance), -1 when none.
    int FindNearestPath(const Point3D& p) const;
    int FindFarthestPath(const Point3D& p) const;
    // 0 p touches no part end; 1 it is the first point of part, 2 its last point.
    int FindPathState(const Point3D& p, int* part) const;
    // Foot of the perpendicular from p onto the nearest part; false without parts.
    bool VertPoint(const Point3D& p, Point3D& foot) const;
    // Crossings of every part with the straight line ab; returns how many.
    int CrossWithLine(const Point3D& a, const Point3D& b, std::vector<Point3D>& out) const;
    // 1 when p is the first or last point of a line part.
    int IsEnd(const Point3D& p) const;

    // ---- relations entry: the 8-boolean code of this object to other at eps ----
    int Get9iGMObject(const GM_Object* other, double eps) const;

private:
    int LocatePartsForInsertion(int index, int asRing, int& member, int& polygon, int& part) const;
    int LocatePartsForDeletion(int index, int& member, int& polygon, int& part) const;
    int LocatePartsForReplace(int index, int& member, int& polygon, int& part) const;
    int LocatePointForInsertion(int index, int& member, int& point) const;
    int LocatePointForDeletion(int index, int& member, int& point) const;
    int LocatePointForReplace(int index, int& member, int& point) const;
};

// Free variant of the ellipsoidal polygon area.
KELO_API double GetEllipseArea(const GM_Object& g, double a, double b, int flag);
// The least distance between the two objects (see GM_Object::distance); -1 when either is empty.
KELO_API double DistanceOfGMObject(const GM_Object& a, const GM_Object& b);
KELO_API double DistanceOfGMObject(const GM_Object& a, const GM_Object& b, Point3D& pa, Point3D& pb);

// Nonzero when the object meets itself: a part crosses or touches itself, or two parts cross or
// overlap. With flag set, two parts touching in a point count too, except open lines meeting end
// to end.
KELO_API int IsGeometrySelfIntersect(const GM_Object* object, int flag);
// Whether some two polygons of the object share interior (at eps); the outer ring of the
// offending one goes to g_lastAbnormalPoint.
KELO_API bool PolygonsOverlap(const GM_Object& object, double eps);

// A point strictly inside the polygon and outside its holes. Variant 0 serves labels and
// representative points (the widest free run through the middle of the polygon), variant 1
// centroids (the free run nearest the area centre). eps is the distance kept from the rings when
// there is room. false for a polygon without rings or segments. z receives the polygon height.
KELO_API bool innerPoint(const keloPolygon& polygon, double& x, double& y, double& z, double eps, int variant);

}  // namespace kelo
