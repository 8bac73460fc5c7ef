// Drawing-path export of a multi-part line: one figure for the whole line, so a closed ring fills.
#include "geometry/parts.h"
#include "geometry/path_export.h"

namespace kelo {

int klAddParts2Path(const keloParts* parts, GraphicsPath* path, double ox, double oy, double scale) {
    if (parts == nullptr || path == nullptr) return 0;
    GdipStartPathFigure(path);
    for (uint32_t i = 0; i < parts->partCount; ++i) {
        const keloPoints* run = parts->GetOriginalPointsAt(static_cast<int>(i));
        // klAddPoints2Path turns an ellipse part into its Bezier form itself.
        if (run != nullptr && run->pointCount > 0) klAddPoints2Path(run, path, ox, oy, scale);
    }
    if (parts->IsClosed()) GdipClosePathFigure(path);
    return static_cast<int>(parts->partCount);
}

}  // namespace kelo
