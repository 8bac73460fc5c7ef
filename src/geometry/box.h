// The axis-aligned rectangle used for extents and index queries.
#pragma once

#include "geometry/point.h"

namespace kelo {

class KELO_API Box {
public:
    // Field order is part of the stored layout: lower corner then upper corner, each x, y, z.
    double minx, miny, minz, maxx, maxy, maxz;

    Box();
    Box(double x1, double y1, double x2, double y2);

    double& min_x() { return minx; }
    double& min_y() { return miny; }
    double& max_x() { return maxx; }
    double& max_y() { return maxy; }
    double min_x() const { return minx; }
    double min_y() const { return miny; }
    double max_x() const { return maxx; }
    double max_y() const { return maxy; }

    void empty();
    void large();
    int IsEmpty() const;

    void add(double x, double y);
    void add(const Box& b);
    int intersect(const Box& b) const;
    int contain(double x, double y) const;
    int contain(const Box& b) const;
    void Offset(const Point3D& d);
    void InflateBox(double dx, double dy);
    int GetCenter(double& cx, double& cy) const;
    int GetSize(double& w, double& h) const;
    int GetBox(double& x0, double& y0, double& x1, double& y1) const;
    Point3D GetCorner(int i) const;
    Box GetIntersect(const Box& b) const;
};
static_assert(sizeof(Box) == 48, "Box is six doubles");

KELO_API int IsBoxIntersect(const Box& a, const Box& b, double eps);
KELO_API int IsBoxCross(const Box& a, const Box& b, double eps);

}  // namespace kelo
