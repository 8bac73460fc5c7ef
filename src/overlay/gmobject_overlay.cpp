// The geometry object's set members: thin entries into the record-level area overlay.
#include "geometry/geometry_object.h"
#include "overlay/boolean_overlay.h"

namespace kelo {

namespace {

// Union and intersection are symmetric; the larger area goes second, so the fast path's
// containment test runs from the smaller operand's side.
int Ordered(const GM_Object* self, const GM_Object* other, uint32_t op, std::vector<WKBGeometry*>& out) {
    if (!other) return 0;
    const bool selfSecond = self->GetArea() >= other->GetArea();
    return selfSecond ? BoolOpWKBGeometry(other, self, op, out) : BoolOpWKBGeometry(self, other, op, out);
}

}  // namespace

int GM_Object::setUnion(const GM_Object* other, std::vector<WKBGeometry*>& out) const {
    return Ordered(this, other, kBoolUnion, out);
}

int GM_Object::setIntersection(const GM_Object* other, std::vector<WKBGeometry*>& out) const {
    return Ordered(this, other, kBoolIntersection, out);
}

int GM_Object::setDifference(const GM_Object* other, std::vector<WKBGeometry*>& out) const {
    return other ? BoolOpWKBGeometry(this, other, kBoolDifference, out) : 0;
}

int GM_Object::setSymmetricDifference(const GM_Object* other, std::vector<WKBGeometry*>& out) const {
    return other ? BoolOpWKBGeometry(other, this, kBoolSymDifference, out) : 0;
}

}  // namespace kelo
