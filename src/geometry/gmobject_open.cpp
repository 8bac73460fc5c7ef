// Entries of the geometry object whose engines live with the relations, the overlay, the
// buffers and the segment distances. Until those land each answers its documented failure value
// and changes nothing.
#include "geometry/geometry_object.h"

namespace kelo {

int GM_Object::contains(const Point3D&) const { return 0; }
int GM_Object::contains(const GM_Object*) const { return 0; }
int GM_Object::insides(const Point3D&) const { return 0; }
int GM_Object::insides(const GM_Object*) const { return 0; }
int GM_Object::onsides(const Point3D&) const { return 0; }
int GM_Object::intersect(const GM_Object*) const { return 0; }
int GM_Object::equal(const GM_Object*, double) const { return 0; }
int GM_Object::Get9iGMObject(const GM_Object*, double) const { return 0; }

WKBGeometry* GM_Object::setUnion(const GM_Object*) const { return nullptr; }
WKBGeometry* GM_Object::setIntersection(const GM_Object*) const { return nullptr; }
WKBGeometry* GM_Object::setDifference(const GM_Object*) const { return nullptr; }
WKBGeometry* GM_Object::setSymmetricDifference(const GM_Object*) const { return nullptr; }

double GM_Object::distance(const GM_Object*, Point3D&, Point3D&) const { return -1.0; }
double GM_Object::distance(const GM_Object*) const { return -1.0; }
double DistanceOfGMObject(const GM_Object&, const GM_Object&) { return -1.0; }
double DistanceOfGMObject(const GM_Object&, const GM_Object&, Point3D&, Point3D&) { return -1.0; }

GM_Object* GM_Object::buffer(double) const { return nullptr; }

int GM_Object::TrimmingByPolygon(const GM_Object&, std::vector<GM_Object*>&) const { return 0; }
int GM_Object::TrimmingByObject(const GM_Object&, std::vector<GM_Object*>&) const { return 0; }

}  // namespace kelo
