// Plane formulas of the companion services.
#pragma once

#include "kelo_api.h"

namespace kelo {

// The companion's own zero tolerance (relative, used by Cross_P).
KELO_API void SetMINI(double tolerance);
KELO_API double GetMINI();

// Segment 1-2 against segment 3-4. Returns 0 when they meet in one point (written to x, y);
// 1 when they are collinear and overlap (x, y is the first point of 3-4's direction on both);
// negative when they do not meet: -1 apart, -2 parallel, -3 collinear without overlap, -4 degenerate.
KELO_API int Cross_P(double* x, double* y, double x1, double y1, double x2, double y2, double x3, double y3,
                     double x4, double y4);
// Number of distinct points where segment (x1, y1)-(x2, y2) meets the boundary of the rectangle.
KELO_API int MyCrossRect(double x1, double y1, double x2, double y2, double rx1, double ry1, double rx2,
                         double ry2);
// Foot of the perpendicular from (px, py) on the infinite line through points 1 and 2.
KELO_API void CHUIZU(double x1, double y1, double x2, double y2, double px, double py, double* ox, double* oy);
// Direction angle from point 1 to point 2, counter-clockwise from the x axis, in [0, 2*pi).
KELO_API double _BEARING(double x1, double y1, double x2, double y2);
// Brings an angle in radians into [0, 2*pi).
KELO_API void _ADJUSTANGLE(double& angle);
KELO_API void reverse_line(void* array, int count, int elementSize);
// Offsets the polyline by distance to its left (side 1) or right (any other side) into ox, oy
// (count points each, mitred joins). Returns count, or 0 when no offset can be made.
KELO_API int parallel(int count, const double* x, const double* y, double* ox, double* oy, double distance,
                      int side);
// Distance from (x, y) to the polyline. segment receives the nearest segment's index, side 1 when
// the point lies left of the polyline's direction, -1 right, 0 on it. -1 for an empty polyline.
KELO_API double GetDistBering(double x, double y, int count, const double* xs, const double* ys, int* segment,
                              int* side);

}  // namespace kelo
