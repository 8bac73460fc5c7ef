// One run of points with one line type: the storage of every line, ring and curve.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/box.h"
#include "geometry/point.h"

namespace kelo {

class keloParts;
class CsSegment;

// Numeric values are part of the stored and exchanged formats; never renumber.
enum klLineType : int32_t {
    klLTNone = 0,
    klLTPolyline = 1,
    klLTBezier = 2,
    klLT3PArc = 3,
    klLTEllipse = 5,
    klLT3PCircle = 6,
    klLTSpline = 9,
    klLTSpline2 = 10,
};

// The plain record a point run is stored as inside lines, rings and the binary encoding.
// A zero count always goes with a null array; code that frees tests the count first.
struct CurveSegment {
    klLineType lineType;
    uint32_t pointCount;
    Point3D* points;
};

// Filled by the nearest-vertex and nearest-segment searches.
struct SearchSegResult {
    int objectIndex = -1;  // set by the geometry object
    int partIndex = -1;    // set by multi-part lines
    int index = -1;        // point index (kind 1) or segment index (kind 2)
    float distance = 0.0f;
    int kind = 0;          // 1 nearest vertex, 2 nearest segment
};

// Whether a line type is one of the two three-point arc types (3 and 6).
KELO_API bool Is3PArcSegment(int type);
// (count - 1) / 2 for arc types, else count - 1; never negative.
KELO_API int GetSegmentCount(int count, int type);

// Where the validity checks leave the point at which they found a fault.
extern KELO_API Point3D g_lastAbnormalPoint;

// The arc angle step in degrees (initially 1.0): no arc is discretised finer than this.
// Stores v when v >= 0.001, else 0.001; returns the previous value.
KELO_API double SetArcDangle(double v);
KELO_API double GetArcDangle();

// A point run. It is layout-identical to its record on purpose: a part inside a line's record
// array can then be handled as a keloPoints in place, and edits through it land in the record.
// For the same reason it has no virtual functions.
//
// Ownership: the destructor and DeleteContent free the array when it is non-null and the count
// is non-zero. The copy constructor is a shallow view (it shares the array, so a view must be
// Detach()ed before it dies, or the array is freed twice); assignment deep-copies.
class KELO_API keloPoints : public CurveSegment {
public:
    keloPoints() : CurveSegment{klLTPolyline, 0, nullptr} {}
    keloPoints(klLineType type, int count, const Point3D* pts);
    explicit keloPoints(const CurveSegment* record);
    keloPoints(const keloPoints& other);  // shallow: shares the array
    keloPoints(keloPoints&& other) noexcept;  // takes the array over, other is left empty
    keloPoints(const std::vector<Point3D>& pts, klLineType type);
    keloPoints(double x1, double y1, double x2, double y2);
    keloPoints(const Point3D& centre, double r);
    keloPoints(const Point3D& centre, double r, double a0, double a1);
    explicit keloPoints(const Box& box);
    // The segment's points (three for the arc types, else two) with its type. Defined with the
    // segment view itself.
    explicit keloPoints(const CsSegment& seg);
    ~keloPoints();

    keloPoints& operator=(const keloPoints& other);  // deep copy
    keloPoints& operator=(const CurveSegment& other);  // deep copy
    keloPoints& operator=(keloPoints&& other) noexcept;

    // Create does not free what the object held: call DeleteContent first.
    int Create(klLineType type, int count, const Point3D* pts);
    int Create(double x1, double y1, double x2, double y2);
    int Create(const Point3D& centre, double r);
    int Create(const Point3D& centre, double r, double a0, double a1);
    int Create(const Box& box);
    int Create(const CsSegment& seg);  // defined with the segment view

    // Adopt the caller's new[] array (the object frees it from now on).
    void Attach(int count, Point3D* pts, klLineType type);
    // Forget the array without freeing it; the object becomes an empty polyline.
    Point3D* Detach();
    void DeleteContent();
    bool IsNulL() const { return pointCount == 0; }

    // Line type.
    klLineType GetLineType() const { return lineType; }
    void SetLineType(klLineType t) { lineType = t; }
    bool IsArc() const { return lineType == klLT3PArc || lineType == klLT3PCircle; }
    bool IsBezier() const { return lineType == klLTBezier; }
    bool IsEllipse() const { return lineType == klLTEllipse; }
    bool IsSpline() const { return lineType == klLTSpline || lineType == klLTSpline2; }
    bool IsCurveEx() const { return IsBezier() || IsEllipse() || IsSpline(); }

    // Segment conventions.
    int CtrlPtCountOneSegment() const;
    int PtCountOneSegment() const { return IsArc() ? 3 : 2; }
    int GetSegmentCount() const { return kelo::GetSegmentCount(static_cast<int>(pointCount), lineType); }
    int GetSegPointAt(int seg) const { return IsArc() ? 2 * seg : seg; }
    int GetSegAtByPointAt(int p) const { return IsArc() ? p / 2 : p; }
    // First point of segment seg; null when the segment does not exist.
    Point3D* GetSegment(int seg) const;

    // Access.
    int GetCount() const { return static_cast<int>(pointCount); }
    int size() const { return static_cast<int>(pointCount); }
    // Unchecked: the caller guarantees 0 <= i < count.
    Point3D& operator[](int i) { return points[i]; }
    const Point3D& operator[](int i) const { return points[i]; }
    Point3D* GetOriginalPointAt(int i) const;
    int GetPointAt(keloPoint& out, int i) const;
    // A new point the caller deletes; null when out of range.
    keloPoint* GetPointAt(int i) const;
    int GetPointIndex(const Point3D& p) const;
    bool operator==(const keloPoints& other) const;
    bool operator!=(const keloPoints& other) const { return !(*this == other); }

    // Editing: 1 on success, 0 otherwise.
    int InsertPointAt(const Point3D& p, int i);
    int ReplacePointAt(const Point3D& p, int i);
    int DeletePointAt(int i);
    // Append one point / n points at the end.
    int AddPoint(const Point3D& p);
    int AddPoints(int n, const Point3D* pts);
    // Splits segment seg at pt (a point on it) and returns pt's index in the run; an end within eps
    // of pt is returned instead of inserting. -1 for a segment that does not exist.
    int InsertPtIntoSegment(const Point3D& pt, int seg, double eps);
    // Moves the middle point of arc segment seg (every arc when seg < 0) to mid-arc when it lies
    // farther than eps from there. 0 for non-arc types.
    int Adj3PArcMiddlePt(int seg, double eps);
    int Restore3PArc();

    // Whole-run transforms (point functions of the point class); they return the point count.
    int OffsetKeloPoints(const Point3D& d);
    int RotateKeloPoints(const Point3D& c, double angle);
    int MirrorKeloPoints(const Point3D& a, const Point3D& b);
    void transform(double dx, double dy, const Point3D& c, double angle, double sx, double sy);
    // Reverses the point order for the known line types (1), else 0.
    int ReversePoint();

    // Queries.
    bool Is2DLoop() const;
    int GetNatureEndPoints(Point3D* first, Point3D* last) const;
    int GetPointLength(int i, double& len) const;
    Box GetBox() const;
    double GetPerimeter() const;
    // Normalises the run (arc rules) before testing, hence not const.
    int PointOn(const Point3D* p);
    int SearchNearestPoint(SearchSegResult& result, const Point3D& p, double eps) const;
    int SearchNearestLine(SearchSegResult& result, const Point3D& p, double eps, int flag) const;
    // Explodes into new runs appended to out (owned by the caller); returns out's size.
    int Explode2Line(std::vector<keloPoints*>& out) const;
    // Appends every contact point the packed intersection code reports (1e-8) between a segment of
    // this run and one of the other; 1 when out holds any point afterwards. Bezier, ellipse and
    // spline runs are compared through their discretised form.
    int IntersectPoints(const keloPoints& other, std::vector<Point3D>& out) const;
    // Convex hull as a new multi-part line the caller frees; GetConvexHullOfPoints is its core.
    keloParts* ConvexHull() const;

    // Validity (flags 1 finite x/y, 2 finite z, 4 no repeated neighbours, 8 enough points) and
    // the matching repairs; see g_lastAbnormalPoint.
    int IsNormal(double eps, int flags) const;
    int Normalizing(double eps, int flags);
    int Normalizing();

    // Curve segments: the unit that DiscreteOneSeg, SearchNearestLine and QieXianandMidPoint count
    // in: one arc, one Bezier segment (3 steps), one ellipse piece (4 steps), one spline piece or one
    // straight segment.
    int GetCurveSegmentCount() const;

    // Discretisation and conversion to Bezier form.
    int Discrete(std::vector<Point3D>& out, double eps, const Box* clip = nullptr) const;
    int AddDiscreteToPnts(std::vector<Point3D>& out, double eps, const Box* clip = nullptr) const;
    // Converts the run itself when the mask (klDiscretePoints bits, 0 = all) names its kind.
    int Discrete(int32_t mask);
    int DiscreteOneSeg(int seg, keloPoints& out, double eps) const;
    int ConvertToBezier(int32_t mask);
    int BezierToLinear();

    // Middle point along the line; tangent at the point nearest to p; tangent and middle of one
    // curve segment. Angles in radians, in [0, 2pi).
    keloPoint GetMidPoint() const;
    int QieXian(const Point3D& p, double& angle, double eps) const;
    int QieXianandMidPoint(int seg, double& angle, Point3D& mid) const;
};
static_assert(sizeof(keloPoints) == sizeof(CurveSegment), "keloPoints is a view of its record");

}  // namespace kelo
