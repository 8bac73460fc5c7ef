// The polygon operations that need the interior point of the geometry object.
#include "geometry/geometry_object.h"
#include "geometry/tolerance.h"

namespace kelo {

Point3D keloPolygon::centroid() const {
    double x = 0, y = 0, z = 0;
    if (!innerPoint(*this, x, y, z, g_epsZero, 1)) return Point3D{0, 0, kUnknownZ};
    return Point3D{x, y, GetH()};
}

int keloPolygon::SetLabelPt(int mode) {
    if (mode >= 1 && mode <= 3) {
        double x = 0, y = 0, z = 0;
        if (!innerPoint(*this, x, y, z, g_epsZero, mode - 1)) return 0;
        return SetLabelPt(x, y) ? 1 : 0;
    }
    // Removing the label keeps the height, now as plain z.
    keloParts* outer = GetOriginalRingAt(0);
    if (!outer || outer->GetVertexCount() < 3) return 0;
    const double h = GetH();
    for (int v = 0; v < 3; ++v) outer->SetVertexZ(v, h);
    return 1;
}

}  // namespace kelo
