// Frames and recentring applied to multi-part lines, polygons and geometry objects.
#include "geometry/geometry_object.h"
#include "geometry/gmobject_detail.h"
#include "transform/spatial_reference_system.h"
#include "transform/uniform_coordinate.h"

namespace kelo {

namespace {

// Every stored point of a line: control points of curves move like any other point.
template <class F>
void EachStoredPoint(LineString& l, F&& f) {
    for (uint32_t r = 0; r < l.partCount && l.parts; ++r)
        for (uint32_t j = 0; j < l.parts[r].pointCount && l.parts[r].points; ++j) f(l.parts[r].points[j]);
}

template <class F>
void EachStoredPoint(WKBPolygon& p, F&& f) {
    for (int r = 0; r < p.ringCount && p.rings; ++r) EachStoredPoint(p.rings[r], f);
}

template <class F>
void EachStoredPoint(GM_Object& g, F&& f) {
    detail::WalkPoints(g, [&](Point3D& p) {
        f(p);
        return false;
    });
    detail::WalkParts(g, [&](LineString& l, bool, WKBPolygon*, int) {
        EachStoredPoint(l, f);
        return false;
    });
    if (g.type == wkbTin)
        for (uint32_t t = 0; t < g.tin.triangleCount && g.tin.triangles; ++t)
            for (Point3D& p : g.tin.triangles[t].p) f(p);
}

}  // namespace

void TransformParts(keloParts& parts, const SpatialReferenceSystem& frame) {
    EachStoredPoint(parts, [&](Point3D& p) { TransformPoint(p, frame); });
}

void TransformGeom(GM_Object& geom, const SpatialReferenceSystem& frame) {
    EachStoredPoint(geom, [&](Point3D& p) { TransformPoint(p, frame); });
}

void UniformCoordinate::Uniform(keloParts& parts) const {
    EachStoredPoint(parts, [&](Point3D& p) { Uniform(p); });
}
void UniformCoordinate::UniformInv(keloParts& parts) const {
    EachStoredPoint(parts, [&](Point3D& p) { UniformInv(p); });
}
void UniformCoordinate::Uniform(keloPolygon& polygon) const {
    EachStoredPoint(polygon, [&](Point3D& p) { Uniform(p); });
}
void UniformCoordinate::UniformInv(keloPolygon& polygon) const {
    EachStoredPoint(polygon, [&](Point3D& p) { UniformInv(p); });
}
void UniformCoordinate::Uniform(GM_Object& geom) const {
    EachStoredPoint(geom, [&](Point3D& p) { Uniform(p); });
}
void UniformCoordinate::UniformInv(GM_Object& geom) const {
    EachStoredPoint(geom, [&](Point3D& p) { UniformInv(p); });
}

int keloParts::transform(const SpatialReferenceSystem& a, const SpatialReferenceSystem& b) {
    SpatialReferenceSystem r{};
    if (!GetTransformMetric(r, a, b)) return 0;
    TransformParts(*this, r);
    return 1;
}

int keloPolygon::transform(const SpatialReferenceSystem& a, const SpatialReferenceSystem& b) {
    SpatialReferenceSystem r{};
    if (!GetTransformMetric(r, a, b)) return 0;
    EachStoredPoint(*this, [&](Point3D& p) { TransformPoint(p, r); });
    return 1;
}

GM_Object* GM_Object::transform(const SpatialReferenceSystem& a, const SpatialReferenceSystem& b) const {
    SpatialReferenceSystem r{};
    if (!GetTransformMetric(r, a, b)) return nullptr;
    auto* g = new GM_Object(*this);
    TransformGeom(*g, r);
    return g;
}

}  // namespace kelo
