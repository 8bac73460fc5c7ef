#include "geometry/segment_probe.h"

#include "relations/segment.h"

namespace kelo::detail {

namespace {
// The probes only read; the view's pointer is non-const because other callers edit through it.
CsSegment View(const Point3D* seg, bool arc) {
    return CsSegment(const_cast<Point3D*>(seg), arc ? klLT3PArc : klLTPolyline);
}
}  // namespace

int SegmentOverlapPt(const Point3D* s, bool arc, const Point3D& p, double eps) {
    return View(s, arc).IsOverlapPt(p, eps);
}

double SegmentDistance(const Point3D* s, bool arc, const Point3D& p, Point3D* foot) {
    Point3D q;
    double d = View(s, arc).PtDistance(p, q);
    if (foot) *foot = q;
    return d;
}

double SegmentDirectionAt(const Point3D* s, bool arc, const Point3D& q) { return View(s, arc).GetDirection(&q); }

}  // namespace kelo::detail
