// Entries of the geometry object whose engines live with the overlay and the buffers. Until those
// land each answers its documented failure value and changes nothing.
#include "geometry/geometry_object.h"

namespace kelo {

GM_Object* GM_Object::buffer(double) const { return nullptr; }

}  // namespace kelo
