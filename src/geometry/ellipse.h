// Elliptic pieces: five points each (start, three points on the ellipse, end); a chain of pieces
// shares its joints, so a complete chain has 4k + 1 points.
#pragma once

#include <vector>

#include "geometry/box.h"
#include "geometry/point.h"

namespace kelo {

// Fits the ellipse through five points. Outputs its centre, semi-axes a >= b, the rotation of the
// a axis (radians, in (-pi/2, pi/2]), the parametric angles of the first and last point, and the signed sweep from
// start to end through the middle points (positive when the parameter increases; a closed piece
// sweeps a full turn). False when no ellipse passes through the points.
KELO_API bool Ellipse5P(const Point3D* pts, Point3D& centre, double& a, double& b, double& rotation, double& start,
                        double& end, double& sweep);

// Point of the ellipse at parametric angle t.
KELO_API Point3D EllipsePointAt(const Point3D& centre, double a, double b, double rotation, double t);

// Moves the three inner points of every complete piece that fits an ellipse to even parametric
// steps between its ends. Returns the number of pieces adjusted.
KELO_API int AdjustEllipse(int n, Point3D* pts);

// The point at quadrant i (parametric angle i * pi/2, i in 0..3) of the ellipse through the first
// five points; false when they fit no ellipse or i is out of range.
KELO_API bool GetEllipseInterPt(const Point3D* pts, Point3D& p, int i);

// Appends the discrete points of one elliptic arc: a = |axis|, rotation = angle of axis,
// b = a * ratio; sweeps counter-clockwise in the parameter from start to end (end + 2pi when
// start > end) in round(sweep in degrees * density) >= 2 steps; z = 0. Returns the count added.
KELO_API int ellipseLinzed(const Point3D& centre, const Point3D& axis, double ratio, double start, double end,
                           std::vector<Point3D>& out, double density);

// Appends the discrete points of a whole ellipse run (see the ellipse-as-arcs mode in discrete.h
// for the point-count rule it then follows). Returns the number of points appended.
KELO_API int DiscreteEllipse(int count, const Point3D* pts, std::vector<Point3D>& out, double eps);

// Box of a whole ellipse run: extreme points of each fitted piece, the points of the others.
KELO_API Box GetBoxOfEllipse(int count, const Point3D* pts);

// Cubic Bezier pieces (at most a quarter turn each) of an elliptic arc. Appends P0 only when out is
// empty, then C1 C2 P1 per piece. Returns the number of points appended.
KELO_API int EllipseArcToBezier(const Point3D& centre, double a, double b, double rotation, double start,
                                double sweep, std::vector<Point3D>& out);

}  // namespace kelo
