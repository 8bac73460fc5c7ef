// Cardinal splines (line types 9 and 10) through their stored points.
#pragma once

#include <vector>

#include "geometry/box.h"
#include "geometry/point.h"

namespace kelo {

// Tangent scale 1/sqrt(p) clamped to [0, 1]; a tension of zero or below gives 1.
KELO_API double SplineTangentScale(double p);

// Whether a spline run is closed: at least 4 points and first and last within 1e-8 of each other.
KELO_API bool IsClosedSpline(int count, const Point3D* pts);

// Point of the piece P1 -> P2 (neighbours P0, P3) at u in [0, 1]; s is clamped to [0, 1].
KELO_API Point3D CardinalSplinePointAt(const Point3D& p0, const Point3D& p1, const Point3D& p2, const Point3D& p3,
                                       double s, double u);

// Box of one piece (tangent scale s) / of a whole spline (tension p; p <= 0 takes the global one).
KELO_API Box GetBoxOfCardinalSpline(const Point3D& p0, const Point3D& p1, const Point3D& p2, const Point3D& p3,
                                    double s);
KELO_API Box GetBoxOfCardinalSpline(int count, const Point3D* pts, double p);

// Adaptive discretisation of one piece (as for Bezier segments, with the largest power of two not
// above maxN as the step limit); appends both ends and returns the number of points appended.
KELO_API int DiscreteCardinalSpline(const Point3D& p0, const Point3D& p1, const Point3D& p2, const Point3D& p3,
                                    double s, std::vector<Point3D>& out, double eps, int maxN);
// Uniform sampling of one piece at maxN steps (maxN + 1 points).
KELO_API int DiscreteCardinalSpline(const Point3D& p0, const Point3D& p1, const Point3D& p2, const Point3D& p3,
                                    double s, std::vector<Point3D>& out, int maxN);

// Each piece becomes the cubic P1, P1 + a/3, P2 - s(P3 - P1)/3, P2. Needs at least 3 points;
// returns the number of points appended (0 when there are too few).
KELO_API int ConvertSplineToBezier(int count, const Point3D* pts, std::vector<Point3D>& out, double p);

// Discretises a whole spline piece by piece (tension p, tolerance eps, at most 32 steps a piece).
KELO_API int DiscreteStrain(int count, const Point3D* pts, std::vector<Point3D>& out, double p, double eps);

// Appends a run, skipping its first point when it lies within 1e-8 (planar) of out's last point.
KELO_API void ConnectToPointArray(std::vector<Point3D>& out, const Point3D* run, int n);
KELO_API void ConnectToPointArray(std::vector<Point3D>& out, const std::vector<Point3D>& run);

}  // namespace kelo
