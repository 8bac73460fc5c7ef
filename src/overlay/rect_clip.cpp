// Rectangle clipping: outcodes and the border moves for segments, pieces for polylines, the
// four-pass border clip for rings, and the selection tests.
#include "overlay/rect_clip.h"

#include <algorithm>
#include <cmath>

#include "companion/plane.h"
#include "companion/ui.h"
#include "geometry/geometry_object.h"
#include "geometry/parts.h"
#include "geometry/tolerance.h"

namespace kelo {

namespace {

// Two clipped ends closer than this in both x and y are the same point.
constexpr double kJoinEps = 1e-8;

bool Near(double ax, double ay, double bx, double by) {
    return std::abs(ax - bx) <= kJoinEps && std::abs(ay - by) <= kJoinEps;
}

// A point at (x, y) on the segment a-b, carrying z along: the same z when both ends agree, else
// interpolated by the position along the longer coordinate span.
Point2D At(const Point2D&, const Point2D&, double x, double y) { return {x, y}; }
Point3D At(const Point3D& a, const Point3D& b, double x, double y) {
    if (a.z == b.z) return {x, y, a.z};
    double dx = b.x - a.x, dy = b.y - a.y;
    double t = std::abs(dx) >= std::abs(dy) ? (dx != 0 ? (x - a.x) / dx : 0) : (y - a.y) / dy;
    return {x, y, a.z + t * (b.z - a.z)};
}

// Consecutive repeats out, so a piece never carries the same point twice in a row.
template <class P>
void DropRepeats(std::vector<P>& piece) {
    auto end = std::unique(piece.begin(), piece.end(),
                           [](const P& a, const P& b) { return a.x == b.x && a.y == b.y; });
    piece.erase(end, piece.end());
}

template <class P>
int ClipPolyline(CRectClip& clip, const P* points, int count, std::vector<std::vector<P>*>& pieces) {
    if (!points || count < 2) return 0;
    const size_t before = pieces.size();
    std::vector<P>* open = nullptr;
    auto closeOpen = [&]() {
        if (!open) return;
        DropRepeats(*open);
        pieces.push_back(open);
        open = nullptr;
    };
    for (int i = 0; i + 1 < count; ++i) {
        const P& a = points[i];
        const P& b = points[i + 1];
        double ax = a.x, ay = a.y, bx = b.x, by = b.y;
        if (clip.cutline(ax, ay, bx, by) == 0) continue;
        P pa = At(a, b, ax, ay), pb = At(a, b, bx, by);
        if (open && Near(open->back().x, open->back().y, ax, ay)) {
            open->push_back(pb);
            continue;
        }
        closeOpen();
        open = new std::vector<P>{pa, pb};
    }
    closeOpen();
    int added = static_cast<int>(pieces.size() - before);
    // A closed line that starts inside the area comes out with its two halves around the start
    // point as the first and last piece: put them back together.
    if (added >= 2) {
        std::vector<P>* first = pieces[before];
        std::vector<P>* last = pieces.back();
        if (!first->empty() && !last->empty() &&
            Near(last->back().x, last->back().y, first->front().x, first->front().y)) {
            last->pop_back();
            last->insert(last->end(), first->begin(), first->end());
            pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(before));
            delete first;
            --added;
        }
    }
    return added;
}

// One border pass of the ring clip. side: 0 x >= v, 1 y <= v, 2 x <= v, 3 y >= v.
template <class P>
bool Inner(const P& p, int side, double v) {
    switch (side) {
        case 0: return p.x >= v;
        case 1: return p.y <= v;
        case 2: return p.x <= v;
        default: return p.y >= v;
    }
}

template <class P>
P Crossing(const P& a, const P& b, int side, double v) {
    if (side == 0 || side == 2) {
        double y = a.y + (v - a.x) * (b.y - a.y) / (b.x - a.x);
        return At(a, b, v, y);
    }
    double x = a.x + (v - a.y) * (b.x - a.x) / (b.y - a.y);
    return At(a, b, x, v);
}

template <class P>
void CloseRing(std::vector<P>& ring) {
    if (ring.empty()) return;
    const P& f = ring.front();
    const P& l = ring.back();
    if (std::abs(f.x - l.x) > kJoinEps || std::abs(f.y - l.y) > kJoinEps) ring.push_back(f);
}

template <class P>
int ClipRing(std::vector<P>& ring, double xmin, double ymin, double xmax, double ymax) {
    if (ring.size() < 3) {
        ring.clear();
        return 0;
    }
    const double value[4] = {xmin, ymax, xmax, ymin};
    std::vector<P> scratch;
    for (int side = 0; side < 4; ++side) {
        CloseRing(ring);
        scratch.clear();
        for (size_t i = 0; i + 1 < ring.size(); ++i) {
            const P& p = ring[i];
            const P& q = ring[i + 1];
            bool pIn = Inner(p, side, value[side]), qIn = Inner(q, side, value[side]);
            if (pIn) {
                scratch.push_back(p);
                if (!qIn) scratch.push_back(Crossing(p, q, side, value[side]));
            } else if (qIn) {
                scratch.push_back(Crossing(p, q, side, value[side]));
            }
        }
        ring.swap(scratch);
        if (ring.size() < 3) {
            ring.clear();
            return 0;
        }
    }
    // The passes drop the closing point; a clipped ring is handed back closed.
    CloseRing(ring);
    return static_cast<int>(ring.size());
}

// The stored points of a straight run, or the discretised run.
std::vector<Point3D> RunPoints(const CurveSegment& run) {
    std::vector<Point3D> out;
    if (!run.points || run.pointCount == 0) return out;
    if (run.lineType == klLTPolyline || run.lineType == klLTNone) {
        out.assign(run.points, run.points + run.pointCount);
    } else {
        reinterpret_cast<const keloPoints&>(run).Discrete(out, g_epsZero);
    }
    return out;
}

std::vector<Point2D> Flat(const std::vector<Point3D>& pts) {
    std::vector<Point2D> out;
    out.reserve(pts.size());
    for (const Point3D& p : pts) out.push_back({p.x, p.y});
    return out;
}

}  // namespace

// ---- the area ---------------------------------------------------------------------------------

CRectClip::CRectClip() : xmin(0), xmax(0), ymin(0), ymax(0), x1(0), y1(0), x2(0), y2(0) {}

CRectClip::CRectClip(double ax, double ay, double bx, double by) : CRectClip() { setcliparea(ax, ay, bx, by); }

void CRectClip::setcliparea(double ax, double ay, double bx, double by) {
    xmin = std::min(ax, bx);
    xmax = std::max(ax, bx);
    ymin = std::min(ay, by);
    ymax = std::max(ay, by);
}

void CRectClip::getcliparea(double& minX, double& minY, double& maxX, double& maxY) const {
    minX = xmin;
    minY = ymin;
    maxX = xmax;
    maxY = ymax;
}

Box CRectClip::GetBox() const { return Box(xmin, ymin, xmax, ymax); }

int CRectClip::incode(double x, double y) const {
    int code = 0;
    if (x < xmin) code |= 1;
    if (x > xmax) code |= 2;
    if (y < ymin) code |= 4;
    if (y > ymax) code |= 8;
    return code;
}

int CRectClip::cutpoint(double x, double y) const {
    return xmin <= x && x <= xmax && ymin <= y && y <= ymax ? 1 : 0;
}

int CRectClip::IsCutBox(const Box& box) const {
    return box.minx <= xmax && box.maxx >= xmin && box.miny <= ymax && box.maxy >= ymin ? 1 : 0;
}

// ---- segments ---------------------------------------------------------------------------------

bool CRectClip::MoveEnd(int k, double& x, double& y) const {
    double nx, ny;
    switch (k) {
        case 1: case 5: case 9:
        case 2: case 6: case 10:
            nx = (k == 1 || k == 5 || k == 9) ? xmin : xmax;
            ny = y1 + (nx - x1) * (y2 - y1) / (x2 - x1);
            if (ny < ymin || ny > ymax) {
                ny = ny < ymin ? ymin : ymax;
                nx = x1 + (x2 - x1) * (ny - y1) / (y2 - y1);
            }
            break;
        case 4:
        case 8:
            ny = k == 4 ? ymin : ymax;
            nx = x1 + (x2 - x1) * (ny - y1) / (y2 - y1);
            break;
        default:
            return true;
    }
    x = nx;
    y = ny;
    return xmin <= nx && nx <= xmax;
}

int CRectClip::cutline(double& ax, double& ay, double& bx, double& by) {
    // A non-finite end fails every comparison and would read as inside; such a segment has no
    // part in the area, and handing it back would put NaN into the caller's pieces.
    if (!std::isfinite(ax) || !std::isfinite(ay) || !std::isfinite(bx) || !std::isfinite(by)) return 0;
    int c1 = incode(ax, ay), c2 = incode(bx, by);
    if (c1 == 0 && c2 == 0) return 1;
    if (c1 & c2) return 0;
    x1 = ax;
    y1 = ay;
    x2 = bx;
    y2 = by;
    if (c1 && c2) {
        bool across = (c1 | c2) == 3 || (c1 | c2) == 12;
        if (!across && MyCrossRect(x1, y1, x2, y2, xmin, ymin, xmax, ymax) < 2) return 0;
    }
    bool ok1 = c1 ? MoveEnd(c1, ax, ay) : true;
    if (!c2) return ok1 ? 2 : 0;
    bool ok2 = MoveEnd(c2, bx, by);
    if (!ok1 && !ok2) return 0;
    return c1 ? 4 : 3;
}

int CRectClip::cutline(int32_t& ax, int32_t& ay, int32_t& bx, int32_t& by) {
    double dax = ax, day = ay, dbx = bx, dby = by;
    int r = cutline(dax, day, dbx, dby);
    if (r >= 2) {
        // The moved ends lie on the border, inside the range of the given coordinates.
        ax = static_cast<int32_t>(dax);
        ay = static_cast<int32_t>(day);
        bx = static_cast<int32_t>(dbx);
        by = static_cast<int32_t>(dby);
    }
    return r;
}

int CRectClip::cutarc(double, double, double, double, double, double) {
    return AfxMessageBox2("arc clip need be done!");
}

// ---- polylines and rings ----------------------------------------------------------------------

int CRectClip::cutpolyline(const std::vector<Point2D>& points, std::vector<std::vector<Point2D>*>& pieces) {
    return ClipPolyline(*this, points.data(), static_cast<int>(points.size()), pieces);
}

int CRectClip::cutpolyline(const CurveSegment& run, std::vector<std::vector<Point2D>*>& pieces) {
    return cutpolyline(Flat(RunPoints(run)), pieces);
}

int CRectClip::cutpolyline(const LineString& line, std::vector<std::vector<Point2D>*>& pieces) {
    std::vector<Point2D> pts;
    MakePoint2DRing(line, pts);
    return cutpolyline(pts, pieces);
}

int CRectClip::cutpolyline(const Point3D* points, int count, std::vector<std::vector<Point3D>*>& pieces) {
    return ClipPolyline(*this, points, count, pieces);
}

int CRectClip::cutpolygon(std::vector<Point2D>& ring) { return ClipRing(ring, xmin, ymin, xmax, ymax); }

int CRectClip::cutpolygon(std::vector<Point3D>& ring) { return ClipRing(ring, xmin, ymin, xmax, ymax); }

int CRectClip::cutpolygon(const LineString& ring, std::vector<std::vector<Point2D>*>& rings) {
    std::vector<Point2D> pts;
    MakePoint2DRing(ring, pts);
    if (cutpolygon(pts) == 0) return 0;
    rings.push_back(new std::vector<Point2D>(std::move(pts)));
    return 1;
}

int CRectClip::cutpolygon(const WKBPolygon& polygon, std::vector<std::vector<Point2D>*>& rings) {
    for (int32_t i = 0; i < polygon.ringCount && polygon.rings; ++i) cutpolygon(polygon.rings[i], rings);
    return static_cast<int>(rings.size());
}

// ---- selection --------------------------------------------------------------------------------

int CRectClip::SearchLineString(const LineString& line, uint16_t mode) {
    if (mode > 3) return 0;
    const bool within = mode == 2;
    std::vector<Point3D> pts;
    // Curves are discretised run by run so that every segment tested lies on the line.
    for (uint32_t k = 0; k < line.partCount && line.parts; ++k) {
        std::vector<Point3D> run = RunPoints(line.parts[k]);
        if (!pts.empty() && !run.empty() && pts.back().x == run.front().x && pts.back().y == run.front().y)
            pts.insert(pts.end(), run.begin() + 1, run.end());
        else
            pts.insert(pts.end(), run.begin(), run.end());
    }
    if (pts.empty()) return 0;
    if (pts.size() == 1) return cutpoint(pts[0].x, pts[0].y);
    if (within) {
        for (const Point3D& p : pts)
            if (!cutpoint(p.x, p.y)) return 0;
        return 1;
    }
    for (size_t i = 0; i + 1 < pts.size(); ++i) {
        double ax = pts[i].x, ay = pts[i].y, bx = pts[i + 1].x, by = pts[i + 1].y;
        if (cutline(ax, ay, bx, by) != 0) return 1;
    }
    return 0;
}

int CRectClip::SearchPolygon(const WKBPolygon& polygon, uint16_t mode) {
    if (mode > 3 || polygon.ringCount <= 0 || !polygon.rings) return 0;
    if (mode == 3) {
        Point3D centre{(xmin + xmax) / 2, (ymin + ymax) / 2, 0};
        if (reinterpret_cast<const keloPolygon&>(polygon).IsPointIn(centre, g_epsZero) == 1) return 1;
    }
    if (mode == 2) {
        // Within: the outer ring decides; holes lie inside it.
        return SearchLineString(polygon.rings[0], mode);
    }
    for (int32_t i = 0; i < polygon.ringCount; ++i)
        if (SearchLineString(polygon.rings[i], mode)) return 1;
    return 0;
}

int CRectClip::SearchSGeometry(const WKBGeometry* geometry, uint16_t mode) {
    if (!geometry || mode > 3) return 0;
    const bool all = mode == 2;
    switch (geometry->type) {
        case wkbPoint:
            return cutpoint(geometry->point.x, geometry->point.y);
        case wkbLineString:
            return SearchLineString(geometry->line, mode);
        case wkbPolygon:
            return SearchPolygon(geometry->polygon, mode);
        case wkbMultiPoint: {
            const WKBMultiPoint& m = geometry->multiPoint;
            if (m.pointCount == 0 || !m.points) return 0;
            for (uint32_t i = 0; i < m.pointCount; ++i) {
                int r = cutpoint(m.points[i].x, m.points[i].y);
                if (r && !all) return 1;
                if (!r && all) return 0;
            }
            return all ? 1 : 0;
        }
        case wkbMultiLineString: {
            const WKBMultiLineString& m = geometry->multiLine;
            if (m.lineCount == 0 || !m.lines) return 0;
            for (uint32_t i = 0; i < m.lineCount; ++i) {
                int r = SearchLineString(m.lines[i], mode);
                if (r && !all) return 1;
                if (!r && all) return 0;
            }
            return all ? 1 : 0;
        }
        case wkbMultiPolygon: {
            const WKBMultiPolygon& m = geometry->multiPolygon;
            if (m.polygonCount == 0 || !m.polygons) return 0;
            for (uint32_t i = 0; i < m.polygonCount; ++i) {
                int r = SearchPolygon(m.polygons[i], mode);
                if (r && !all) return 1;
                if (!r && all) return 0;
            }
            return all ? 1 : 0;
        }
        default:
            return 0;
    }
}

int CRectClip::Search(const GM_Object* object, uint16_t mode) {
    if (!object || mode > 3 || object->type == wkbEmpty) return 0;
    if (mode == 2) {
        Box box = object->mbRegion();
        if (box.IsEmpty()) return 0;
        return GetBox().contain(box);
    }
    if (object->type == wkbGeometryCollection) {
        const WKBGeometryCollection& c = object->collection;
        for (uint32_t i = 0; i < c.memberCount && c.members; ++i)
            if (SearchSGeometry(&c.members[i], mode)) return 1;
        return 0;
    }
    return SearchSGeometry(object, mode);
}

// ---- free functions ---------------------------------------------------------------------------

int RectClipRegion(std::vector<Point2D>& ring, double xmin, double ymin, double xmax, double ymax) {
    return ClipRing(ring, xmin, ymin, xmax, ymax);
}

int RectClipRegion(std::vector<Point3D>& ring, double xmin, double ymin, double xmax, double ymax) {
    return ClipRing(ring, xmin, ymin, xmax, ymax);
}

int RectClipRing(const LineString* ring, double xmin, double ymin, double xmax, double ymax,
                 std::vector<Point2D>& out) {
    out.clear();
    if (!ring || !ring->parts) return 0;
    for (uint32_t k = 0; k < ring->partCount; ++k) {
        const CurveSegment& run = ring->parts[k];
        if (!run.points || run.pointCount == 0) continue;
        uint32_t n = k + 1 == ring->partCount ? run.pointCount : run.pointCount - 1;
        for (uint32_t i = 0; i < n; ++i) out.push_back({run.points[i].x, run.points[i].y});
    }
    return RectClipRegion(out, xmin, ymin, xmax, ymax);
}

int MakePoint2DRing(const LineString& line, std::vector<Point2D>& ring) {
    ring.clear();
    if (line.partCount == 0 || !line.parts) return 0;
    if (line.partCount == 1 && line.parts[0].lineType == klLTPolyline) {
        const CurveSegment& run = line.parts[0];
        for (uint32_t i = 0; i < run.pointCount && run.points; ++i) ring.push_back({run.points[i].x, run.points[i].y});
    } else {
        std::vector<Point3D> pts;
        reinterpret_cast<const keloParts&>(line).Discrete(pts, g_epsZero);
        ring = Flat(pts);
    }
    return static_cast<int>(ring.size());
}

}  // namespace kelo
