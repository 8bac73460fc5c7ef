// Clipping against an axis-aligned rectangle: points, segments, polylines and polygon rings, the
// selection tests of record-form geometry against the rectangle, and the ring point test the
// multi-part lines and polygons answer their point queries with.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/box.h"
#include "geometry/point.h"
#include "geometry/point_run.h"
#include "geometry/records.h"
#include "kelo_api.h"

namespace kelo {

class GM_Object;

class KELO_API CRectClip {
public:
    // Field order is part of the interface.
    double xmin, xmax, ymin, ymax;
    // The segment being clipped; scratch written by cutline.
    double x1, y1, x2, y2;

    CRectClip();
    CRectClip(double ax, double ay, double bx, double by);

    void setcliparea(double ax, double ay, double bx, double by);
    // The area as (xmin, ymin, xmax, ymax).
    void getcliparea(double& minX, double& minY, double& maxX, double& maxY) const;
    Box GetBox() const;

    // Outcode: 1 left, 2 right, 4 below, 8 above; 0 inside or on the border.
    int incode(double x, double y) const;
    int cutpoint(double x, double y) const;

    // 0 nothing inside, 1 wholly inside (unchanged), 2 first end moved, 3 second end moved,
    // 4 both moved.
    int cutline(double& ax, double& ay, double& bx, double& by);
    // The same on integer coordinates; moved ends are truncated.
    int cutline(int32_t& ax, int32_t& ay, int32_t& bx, int32_t& by);

    // Arcs are not clipped: the user is told so, and the message box's answer comes back.
    int cutarc(double ax, double ay, double mx, double my, double bx, double by);

    // Polylines into pieces the caller owns; each returns the number of pieces it added.
    int cutpolyline(const std::vector<Point2D>& points, std::vector<std::vector<Point2D>*>& pieces);
    int cutpolyline(const CurveSegment& run, std::vector<std::vector<Point2D>*>& pieces);
    int cutpolyline(const LineString& line, std::vector<std::vector<Point2D>*>& pieces);
    int cutpolyline(const Point3D* points, int count, std::vector<std::vector<Point3D>*>& pieces);

    // Rings in place; return the remaining point count (0: nothing of the ring is inside).
    int cutpolygon(std::vector<Point2D>& ring);
    int cutpolygon(std::vector<Point3D>& ring);
    // Record forms: one new ring per non-empty clipped ring. The line form returns 1 when it added
    // a ring (else 0), the polygon form the size of the list.
    int cutpolygon(const LineString& ring, std::vector<std::vector<Point2D>*>& rings);
    int cutpolygon(const WKBPolygon& polygon, std::vector<std::vector<Point2D>*>& rings);

    // Borders count as overlap.
    int IsCutBox(const Box& box) const;

    // Selection: mode 2 asks whether the geometry lies within the area, modes 0, 1 and 3 whether
    // it meets the area; any other mode answers 0.
    int Search(const GM_Object* object, uint16_t mode);
    int SearchSGeometry(const WKBGeometry* geometry, uint16_t mode);
    int SearchLineString(const LineString& line, uint16_t mode);
    int SearchPolygon(const WKBPolygon& polygon, uint16_t mode);

private:
    // Moves an end with outcode k onto the border along the scratch segment; true on success.
    bool MoveEnd(int k, double& x, double& y) const;
};

// The polygon clip of CRectClip::cutpolygon as a free function; returns the remaining point count.
KELO_API int RectClipRegion(std::vector<Point2D>& ring, double xmin, double ymin, double xmax, double ymax);
KELO_API int RectClipRegion(std::vector<Point3D>& ring, double xmin, double ymin, double xmax, double ymax);

// The line string's stored points (each run without its last point, the last run with it), clipped.
KELO_API int RectClipRing(const LineString* ring, double xmin, double ymin, double xmax, double ymax,
                          std::vector<Point2D>& out);

// 1 inside the ring, 0 outside, -1 on the ring within eps.
KELO_API int RingPointTest(const LineString* ring, double x, double y, double eps);

// The line string's points in the plane: one straight run is copied as it is, anything else is
// discretised at g_epsZero first. Returns the point count.
KELO_API int MakePoint2DRing(const LineString& line, std::vector<Point2D>& ring);

}  // namespace kelo
