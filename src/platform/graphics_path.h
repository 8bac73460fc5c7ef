// A 2D drawing path with the flat path operations of the platform's graphics library: single-
// precision points, one type byte per point, and every curve kept as cubic Bezier pieces.
#pragma once

#include <cstdint>
#include <vector>

#include "kelo_api.h"

namespace kelo {

enum GpStatus : int32_t {
    Ok = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    ObjectBusy = 4,
    InsufficientBuffer = 5,
};

enum GpFillMode : int32_t { FillModeAlternate = 0, FillModeWinding = 1 };

// Point type bytes: the low three bits give the kind, 0x80 closes the figure at that point.
enum PathPointType : uint8_t {
    PathPointTypeStart = 0,
    PathPointTypeLine = 1,
    PathPointTypeBezier = 3,
    PathPointTypePathTypeMask = 7,
    PathPointTypeCloseSubpath = 0x80,
};

struct GpPointF {
    float X, Y;
};

// Filled by GdipGetPathData: Count is the capacity of Points and Types on entry, the number of
// points on return.
struct GpPathData {
    int32_t Count;
    GpPointF* Points;
    uint8_t* Types;
};

class KELO_API GraphicsPath {
public:
    std::vector<GpPointF> points;
    std::vector<uint8_t> types;
    GpFillMode fillMode = FillModeAlternate;
    // Set once a figure is closed or a new one is asked for: the next point starts a figure.
    bool startNewFigure = true;
    // Last non-zero status a caller recorded for the path (0 when all went well).
    GpStatus lastStatus = Ok;
};
using GpPath = GraphicsPath;

KELO_API GpStatus GdipCreatePath(GpFillMode fillMode, GpPath** path);
KELO_API GpStatus GdipDeletePath(GpPath* path);
KELO_API GpStatus GdipStartPathFigure(GpPath* path);
KELO_API GpStatus GdipClosePathFigure(GpPath* path);
// A polyline of count >= 1 points.
KELO_API GpStatus GdipAddPathLine2(GpPath* path, const GpPointF* points, int32_t count);
// Cubic Bezier pieces: 3k + 1 points, k >= 1.
KELO_API GpStatus GdipAddPathBeziers(GpPath* path, const GpPointF* points, int32_t count);
// The arc of the ellipse inscribed in the rectangle, from startAngle through sweepAngle degrees
// (positive towards +y); the angles are those of the points as seen from the centre.
KELO_API GpStatus GdipAddPathArc(GpPath* path, float x, float y, float width, float height, float startAngle,
                                 float sweepAngle);
// A closed figure of its own: four quarter pieces starting at the rightmost point.
KELO_API GpStatus GdipAddPathEllipse(GpPath* path, float x, float y, float width, float height);
// Open cardinal spline through count >= 2 points.
KELO_API GpStatus GdipAddPathCurve2(GpPath* path, const GpPointF* points, int32_t count, float tension);
// Closed cardinal spline through count >= 3 points, a closed figure of its own.
KELO_API GpStatus GdipAddPathClosedCurve2(GpPath* path, const GpPointF* points, int32_t count, float tension);
KELO_API GpStatus GdipGetPointCount(GpPath* path, int32_t* count);
KELO_API GpStatus GdipGetPathData(GpPath* path, GpPathData* data);

}  // namespace kelo
