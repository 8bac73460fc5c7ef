// Turning curves into straight pieces: which kinds to convert, arcs and circles, and the
// process-wide ellipse-as-arcs mode.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/box.h"
#include "geometry/point.h"

namespace kelo {

// Which curve kinds an operation converts; 0 means every kind.
enum klDiscretePoints : int32_t {
    klDPAll = 0,
    klDPArc = 1,      // line types 3 and 6
    klDPSpline = 2,   // 9 and 10
    klDPBezier = 4,   // 2
    klDPEllipse = 8,  // 5
};

// Whether the mask selects the curve kind of the line type (mask 0 selects all of them).
KELO_API bool DiscreteMaskSelects(int32_t mask, int lineType);

// Angular step (degrees) for a circle of radius r at tolerance eps: acos(1 - eps/r) when
// eps <= r - 1e-8, else 90; never below the global arc angle step.
KELO_API double ArcStepDegrees(double r, double eps);

// Appends the discrete points of a three-point-arc chain. Every joint appears once; stored points
// keep their z, computed points carry kUnknownZ. The optional clip box only lets arcs lying wholly
// outside it be reduced to their ends. Returns the number of points appended.
KELO_API int DiscreteArc(const Point3D* pts, int count, std::vector<Point3D>& out, double eps,
                         const Box* clip = nullptr);

// Appends the discrete points of the full circle through the first three points, starting and ending
// at the first point and turning the way the three points do.
KELO_API int DiscreteCir(const Point3D* pts, int count, std::vector<Point3D>& out, double eps);

// The ellipse-as-arcs mode (process-wide, initially off): while it is on, a discretised ellipse
// becomes a three-point-arc chain (an even number of chords per piece) instead of a polyline.
KELO_API bool IsEllipseAsArcs();
// Sets the mode and returns the previous setting.
KELO_API bool SetEllipseAsArcs(bool on);

// Switches the mode on for its lifetime and restores the previous setting when it ends.
class KELO_API EllipseAsArcsScope {
public:
    EllipseAsArcsScope();
    ~EllipseAsArcsScope();
    EllipseAsArcsScope(const EllipseAsArcsScope&) = delete;
    EllipseAsArcsScope& operator=(const EllipseAsArcsScope&) = delete;

private:
    bool m_previous;
};

}  // namespace kelo
