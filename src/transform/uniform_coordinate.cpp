#include "transform/uniform_coordinate.h"

#include "geometry/point_run.h"

namespace kelo {

UniformCoordinate::UniformCoordinate() : offsetX(0.0), offsetY(0.0), scale(1.0) {}

void UniformCoordinate::Clear() { extent.empty(); }

void UniformCoordinate::Add(const Point3D& p) { extent.add(p.x, p.y); }

void UniformCoordinate::Add(const Box& b) { extent.add(b); }

bool UniformCoordinate::Ready() {
    double cx = 0.0, cy = 0.0;
    if (!extent.GetCenter(cx, cy)) return false;
    offsetX = -cx;
    offsetY = -cy;
    scale = 1.0;
    return true;
}

void UniformCoordinate::Uniform(double& x, double& y) const {
    x = (x + offsetX) * scale;
    y = (y + offsetY) * scale;
}

void UniformCoordinate::UniformInv(double& x, double& y) const {
    x = x / scale - offsetX;
    y = y / scale - offsetY;
}

void UniformCoordinate::Uniform(Point3D& p) const { Uniform(p.x, p.y); }

void UniformCoordinate::UniformInv(Point3D& p) const { UniformInv(p.x, p.y); }

void UniformCoordinate::Uniform(Point3D* pts, uint32_t count) const {
    if (pts == nullptr) return;
    for (uint32_t i = 0; i < count; ++i) Uniform(pts[i]);
}

void UniformCoordinate::UniformInv(Point3D* pts, uint32_t count) const {
    if (pts == nullptr) return;
    for (uint32_t i = 0; i < count; ++i) UniformInv(pts[i]);
}

void UniformCoordinate::Uniform(keloPoints& pts) const { Uniform(pts.points, pts.pointCount); }
void UniformCoordinate::UniformInv(keloPoints& pts) const { UniformInv(pts.points, pts.pointCount); }

}  // namespace kelo
