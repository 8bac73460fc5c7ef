// Circles through three points, three-point arcs, and the line/circle intersections the arc
// segments are built on.
#pragma once

#include "geometry/box.h"
#include "geometry/point.h"
#include "geometry/point_run.h"

namespace kelo {

// The circle through three points; 0 when they are collinear (the bisectors' determinant lies
// strictly within 1e-8 of zero), else 1 with centre and radius.
KELO_API int Circle3P(double x1, double y1, double x2, double y2, double x3, double y3, double& cx, double& cy,
                      double& r);

// Circle through the first three points of the record; False when it has fewer than three points or
// they are collinear.
KELO_API Boolean GetCircleParam(const CurveSegment* seg, Point3D* centre, double* r);

// Parameters of the arc given by the record's first three points: centre, radius, and the start,
// end and middle angles in degrees. Each angle is first brought into [0, 360); then the end is
// raised by 360 until it is not below the start (the middle stays in [0, 360)). False (centre =
// start point, outputs 0) when start and end coincide within 1e-8, or (centre = middle point) when
// the points are collinear. Any output pointer may be null.
KELO_API Boolean GetArcParam(const CurveSegment* seg, Point3D* centre, double* r, double* startDeg = nullptr,
                             double* endDeg = nullptr, double* midDeg = nullptr);

// The point of the circle at angleDeg degrees; z = 0.
KELO_API Point3D Get_Cir_At_T(const Point3D& centre, double r, double angleDeg);

// Direction of p0 -> p1 in degrees, in [0, 360).
KELO_API double GetDirectionAngle(const Point3D& p0, const Point3D& p1);

// Line through two points as a*x + b*y + c = 0 with b >= 0; 0 when the points coincide within 1e-8.
KELO_API int GetLineEquation(const Point3D& p0, const Point3D& p1, double& a, double& b, double& c);

// Line a*x + b*y + c = 0 against the circle at tolerance t: 0, 1 (the foot of the centre, written to
// both outputs) or 2 points. Computed points carry z = kUnknownZ.
KELO_API int LineIntersectCircle(double a, double b, double c, const Point3D& centre, double r, double t,
                                 Point3D& p1, Point3D& p2);

// Straight segment s-e against the circle: the line points that lie within the segment.
KELO_API int SegmentIntersectCircle(const Point3D& s, const Point3D& e, const Point3D& centre, double r, double t,
                                    Point3D& p1, Point3D& p2);

// Two circles: no point for concentric centres; otherwise the radical line against the first circle.
KELO_API int CircleIntersectCircle(const Point3D& c1, double r1, const Point3D& c2, double r2, double t,
                                   Point3D& p1, Point3D& p2);

// Two three-point arcs (three points each): the circle points that lie on both arcs.
KELO_API int ArcIntersectArc(const Point3D* arcA, const Point3D* arcB, double t, Point3D& p1, Point3D& p2);

// ---- one three-point arc as a circle piece ---------------------------------------------------

// Centre, radius, start angle and signed sweep (radians; positive counter-clockwise) of the arc
// start p[0], through p[1], to p[2]. A closed triple (start = end) is the full circle through the
// three points with its start at p[0]. False when no circle exists (collinear or repeated points).
KELO_API bool ArcSweep3P(const Point3D* p, Point3D& centre, double& r, double& start, double& sweep);

// Whether the direction `angle` (radians) about the centre lies on the arc of that start and sweep,
// allowing tol radians at both ends.
KELO_API bool AngleOnArc(double angle, double start, double sweep, double tol);

// Box of one three-point arc, covering its bulge; the box of the points when they are collinear.
KELO_API Box GetBoxOf3PArc(const Point3D* p);

// Length of the arc (which 0), of its start-middle piece (1) or its middle-end piece (2); the chord
// when the points are collinear.
KELO_API double Length3PArc(const Point3D* p, int which);

// Point at the middle of the same pieces; the chord middle when collinear. z = kUnknownZ.
KELO_API Point3D MidPointOf3PArc(const Point3D* p, int which);

// Planar distance from q to the arc (or to the chord when collinear); foot receives the nearest
// point of the arc.
KELO_API double DistanceTo3PArc(const Point3D* p, const Point3D& q, Point3D* foot = nullptr);

// Planar distance from q to the straight segment a-b; foot receives the nearest point.
KELO_API double DistanceToSegment(const Point3D& a, const Point3D& b, const Point3D& q, Point3D* foot = nullptr);

}  // namespace kelo
