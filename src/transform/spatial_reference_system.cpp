#include "transform/spatial_reference_system.h"

#include "geometry/point_run.h"

#include <cmath>

namespace kelo {

void TransformPoint(Point3D& p, const SpatialReferenceSystem& f) {
    const double x = p.x, y = p.y;
    p.x = f.origin.x + f.axisX.x * x + f.axisY.x * y;
    p.y = f.origin.y + f.axisX.y * x + f.axisY.y * y;
}

void TransformPoints(Point3D* pts, uint32_t count, const SpatialReferenceSystem& frame) {
    if (pts == nullptr) return;
    for (uint32_t i = 0; i < count; ++i) TransformPoint(pts[i], frame);
}

void TransformPoints(keloPoints& pts, const SpatialReferenceSystem& frame) {
    TransformPoints(pts.points, pts.pointCount, frame);
}

SpatialReferenceSystem InverseSystem(const SpatialReferenceSystem& f) {
    const double a = f.axisX.x, b = f.axisX.y, c = f.axisY.x, d = f.axisY.y;
    const double ox = f.origin.x, oy = f.origin.y;
    SpatialReferenceSystem r{};
    r.axisX.x = d;
    r.axisX.y = -b;
    r.axisY.x = -c;
    r.axisY.y = a;
    r.origin.x = c * oy - d * ox;
    r.origin.y = b * ox - a * oy;
    return r;
}

int GetTransformMetric(SpatialReferenceSystem& result, const SpatialReferenceSystem& a,
                       const SpatialReferenceSystem& b) {
    const double ba = b.axisX.x, bb = b.axisX.y, bc = b.axisY.x, bd = b.axisY.y;
    const double det = ba * bd - bc * bb;
    if (std::fabs(det) < kEpsInner) return 0;
    // Applies the inverse of B's axis matrix to a vector.
    auto solve = [&](double vx, double vy, Point3D& out) {
        out.x = (bd * vx - bc * vy) / det;
        out.y = (ba * vy - bb * vx) / det;
    };
    // Computed into locals first: result may alias a or b.
    Point3D ax{}, ay{}, o{};
    solve(a.axisX.x, a.axisX.y, ax);
    solve(a.axisY.x, a.axisY.y, ay);
    solve(a.origin.x - b.origin.x, a.origin.y - b.origin.y, o);
    result.axisX.x = ax.x;
    result.axisX.y = ax.y;
    result.axisY.x = ay.x;
    result.axisY.y = ay.y;
    result.origin.x = o.x;
    result.origin.y = o.y;
    return 1;
}

}  // namespace kelo
