// Entries of the geometry object whose engines live with the overlay and the buffers. Until those
// land each answers its documented failure value and changes nothing.
#include "geometry/geometry_object.h"

namespace kelo {

int GM_Object::TrimmingByPolygon(const GM_Object&, std::vector<GM_Object*>&) const { return 0; }
int GM_Object::TrimmingByObject(const GM_Object&, std::vector<GM_Object*>&) const { return 0; }

}  // namespace kelo
