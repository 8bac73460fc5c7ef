// Piecewise cubic Bezier curves: P0 C1 C2 P1 C1 C2 P2 ...; a last segment with fewer points is of
// lower degree.
#pragma once

#include <vector>

#include "geometry/box.h"
#include "geometry/point.h"

namespace kelo {

// Point of one Bezier segment of n control points (2, 3 or 4: line, quadratic, cubic) at t.
KELO_API Point3D BezierPointAt(const Point3D* ctrl, int n, double t);

// Box of the curve itself (its extreme points), not of the control polygon.
KELO_API Box GetBoxOfBezier(int count, const Point3D* pts);

// Splits one cubic at the curve point nearest to (x, y) into seven points: P0, two controls, the
// split point, two controls, P1. Returns the split parameter.
KELO_API double SplitBezier(const Point3D* ctrl, double x, double y, Point3D* out);

// Replaces pts[1] and pts[2] of four curve points (taken at t = 0, 1/3, 2/3, 1) by the control
// points of the cubic through them.
KELO_API void ConvertFourPointsToBezier(Point3D* pts);

// Adaptive discretisation of one segment of n control points (see DiscreteBezier); appends all its
// points, ends included, and returns how many.
KELO_API int DiscreteBezierSegment(const Point3D* ctrl, int n, std::vector<Point3D>& out, double eps);

// Appends the discrete points of a whole Bezier run: 4, 8, 16 or 32 chords per segment, so every
// segment yields 5, 9, 17 or 33 points (joints shared). Stored points keep their z; computed points
// carry kUnknownZ. Returns the number of points appended.
KELO_API int DiscreteBezier(int count, const Point3D* pts, std::vector<Point3D>& out, double eps);

}  // namespace kelo
