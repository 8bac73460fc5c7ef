// Record-level measures and sameness tests, and the polygon preparation for the overlay.
#include <cmath>
#include <vector>

#include "geometry/parts.h"
#include "geometry/records.h"
#include "geometry/tolerance.h"

namespace kelo {

namespace {

const keloParts& Line(const LineString& l) { return static_cast<const keloParts&>(l); }
const keloPolygon& Poly(const WKBPolygon& p) { return static_cast<const keloPolygon&>(p); }

bool Near(const Point3D& a, const Point3D& b) { return PointOverlap(&a, &b, kEpsInner) == True; }

double PolygonsArea(const WKBGeometry& g) {
    switch (g.type) {
        case wkbPolygon:
            return Poly(g.polygon).GetArea();
        case wkbMultiPolygon: {
            double a = 0;
            for (uint32_t i = 0; g.multiPolygon.polygons && i < g.multiPolygon.polygonCount; ++i)
                a += Poly(g.multiPolygon.polygons[i]).GetArea();
            return a;
        }
        case wkbGeometryCollection: {
            double a = 0;
            for (uint32_t i = 0; g.collection.members && i < g.collection.memberCount; ++i)
                a += PolygonsArea(g.collection.members[i]);
            return a;
        }
        default:
            return 0.0;
    }
}

bool SameLinePoints(const LineString& a, const LineString& b) {
    if (a.partCount != b.partCount) return false;
    for (uint32_t k = 0; k < a.partCount; ++k) {
        const CurveSegment &s = a.parts[k], &t = b.parts[k];
        if (s.lineType != t.lineType || s.pointCount != t.pointCount) return false;
        for (uint32_t i = 0; i < s.pointCount; ++i)
            if (PointOverlap(&s.points[i], &t.points[i], kEpsInner) != True) return false;
    }
    return true;
}

// A vertex turns when the directions in and out of it differ beyond the inner tolerance.
bool Turns(const Point3D& prev, const Point3D& at, const Point3D& next) {
    double ux = at.x - prev.x, uy = at.y - prev.y, vx = next.x - at.x, vy = next.y - at.y;
    double lu = std::hypot(ux, uy), lv = std::hypot(vx, vy);
    if (lu < kEpsInner || lv < kEpsInner) return false;
    return std::abs(ux * vy - uy * vx) > kEpsInner * lu * lv || ux * vx + uy * vy < 0;
}

void LineCorners(const keloParts& line, const Box& box, int& base, std::vector<int>& indices,
                 std::vector<Point3D>& points) {
    std::vector<Point3D> v;
    line.GetAllVertex(v);
    int n = static_cast<int>(v.size());
    bool closed = line.IsClosed();
    for (int i = 0; i < n; ++i) {
        bool corner;
        if (closed) corner = n >= 3 && Turns(v[(i + n - 1) % n], v[i], v[(i + 1) % n]);
        else corner = i == 0 || i == n - 1 || Turns(v[i - 1], v[i], v[i + 1]);
        if (corner && box.contain(v[i].x, v[i].y)) {
            indices.push_back(base + i);
            points.push_back(v[i]);
        }
    }
    base += n;
}

void Corners(const WKBGeometry& g, const Box& box, int& base, std::vector<int>& indices, std::vector<Point3D>& points) {
    auto point = [&](const Point3D& p) {
        if (box.contain(p.x, p.y)) {
            indices.push_back(base);
            points.push_back(p);
        }
        ++base;
    };
    auto polygon = [&](const WKBPolygon& p) {
        for (int32_t r = 0; p.rings && r < p.ringCount; ++r) LineCorners(Line(p.rings[r]), box, base, indices, points);
    };
    switch (g.type) {
        case wkbPoint: point(g.point); break;
        case wkbMultiPoint:
            for (uint32_t i = 0; g.multiPoint.points && i < g.multiPoint.pointCount; ++i) point(g.multiPoint.points[i]);
            break;
        case wkbLineString: LineCorners(Line(g.line), box, base, indices, points); break;
        case wkbMultiLineString:
            for (uint32_t i = 0; g.multiLine.lines && i < g.multiLine.lineCount; ++i)
                LineCorners(Line(g.multiLine.lines[i]), box, base, indices, points);
            break;
        case wkbPolygon: polygon(g.polygon); break;
        case wkbMultiPolygon:
            for (uint32_t i = 0; g.multiPolygon.polygons && i < g.multiPolygon.polygonCount; ++i)
                polygon(g.multiPolygon.polygons[i]);
            break;
        case wkbGeometryCollection:
            for (uint32_t i = 0; g.collection.members && i < g.collection.memberCount; ++i)
                Corners(g.collection.members[i], box, base, indices, points);
            break;
        default:
            break;
    }
}

}  // namespace

double AreaOfWKBGeometry(const WKBGeometry& geom) { return PolygonsArea(geom); }

double LengthOfWKBGeometry(const WKBGeometry& geom) {
    if (geom.type == wkbLineString) return Line(geom.line).GetPerimeter();
    if (geom.type != wkbMultiLineString) return 0.0;
    double len = 0;
    for (uint32_t i = 0; geom.multiLine.lines && i < geom.multiLine.lineCount; ++i)
        len += Line(geom.multiLine.lines[i]).GetPerimeter();
    return len;
}

double AreaOfTriangle(double x1, double y1, double x2, double y2, double x3, double y3) {
    return 0.5 * std::abs((x2 - x1) * (y3 - y1) - (y2 - y1) * (x3 - x1));
}

Boolean LineStringIsClosed(const LineString* line) {
    if (!line || line->partCount == 0 || !line->parts) return False;
    if (line->partCount == 1 && line->parts[0].lineType == klLT3PCircle && line->parts[0].pointCount >= 3) return True;
    const CurveSegment &a = line->parts[0], &b = line->parts[line->partCount - 1];
    if (a.pointCount == 0 || b.pointCount == 0) return False;
    return PointPointDistanceSqual(&a.points[0], &b.points[b.pointCount - 1]) < 1e-16 ? True : False;
}

int PointIsEndOfLineString(const Point3D* p, const LineString* line, int includeClosed) {
    if (!p || !line || line->partCount == 0 || !line->parts) return 0;
    const CurveSegment &a = line->parts[0], &b = line->parts[line->partCount - 1];
    if (a.pointCount == 0 || b.pointCount == 0) return 0;
    if (Line(*line).GetVertexCount() == 1) return 1;
    if (!includeClosed && LineStringIsClosed(line) == True) return 0;
    const Point3D &first = a.points[0], &last = b.points[b.pointCount - 1];
    if (p->x == first.x && p->y == first.y) return -1;
    if (p->x == last.x && p->y == last.y) return 1;
    return 0;
}

Boolean CurveSegmentOverlap(const CurveSegment* a, const CurveSegment* b) {
    if (!a || !b || a->lineType != klLTPolyline || b->lineType != klLTPolyline) return False;
    if (a->pointCount != b->pointCount) return False;
    uint32_t n = a->pointCount;
    if (n == 0) return True;
    if (Near(a->points[0], b->points[0])) {
        for (uint32_t i = 0; i < n; ++i)
            if (!Near(a->points[i], b->points[i])) return False;
        return True;
    }
    for (uint32_t i = 0; i < n; ++i)
        if (!Near(a->points[i], b->points[n - 1 - i])) return False;
    return True;
}

Boolean LineStringOverlap(const LineString* a, const LineString* b) {
    if (!a || !b || a->partCount != b->partCount) return False;
    uint32_t n = a->partCount;
    bool forward = true, backward = true;
    for (uint32_t i = 0; i < n && (forward || backward); ++i) {
        forward = forward && CurveSegmentOverlap(&a->parts[i], &b->parts[i]) == True;
        backward = backward && CurveSegmentOverlap(&a->parts[i], &b->parts[n - 1 - i]) == True;
    }
    return forward || backward ? True : False;
}

// Two polygons are the same when their rings correspond one to one, each ring equal to its
// partner point by point in either direction. Ring order after the outer ring does not matter.
namespace {
template <typename F>
void ForEachRingPoint(const WKBPolygon& poly, F&& f) {
    for (int r = 0; r < poly.ringCount; ++r) {
        const LineString& ring = poly.rings[r];
        for (uint32_t k = 0; k < ring.partCount; ++k) {
            const CurveSegment& part = ring.parts[k];
            for (uint32_t i = 0; i < part.pointCount && part.points; ++i) f(part.points[i]);
        }
    }
}
}  // namespace

Boolean PolygonOverpointPolygon(const WKBPolygon* a, const WKBPolygon* b) {
    // True as soon as one stored point of a lies on one stored point of b: the callers use it to
    // find polygons that touch at a vertex, not to compare whole shapes.
    if (!a || !b || a->ringCount <= 0 || b->ringCount <= 0 || !a->rings || !b->rings) return False;
    bool hit = false;
    ForEachRingPoint(*a, [&](const Point3D& p) {
        if (hit) return;
        ForEachRingPoint(*b, [&](const Point3D& q) {
            if (!hit && PointPointDistanceSqual(&p, &q) < 1e-16) hit = true;
        });
    });
    return hit ? True : False;
}

int ImportLineString(const WKBGeometry& geom, std::vector<LineString*>& lines) {
    size_t before = lines.size();
    switch (geom.type) {
        case wkbLineString:
            lines.push_back(const_cast<LineString*>(&geom.line));
            break;
        case wkbMultiLineString:
            for (uint32_t i = 0; geom.multiLine.lines && i < geom.multiLine.lineCount; ++i)
                lines.push_back(&geom.multiLine.lines[i]);
            break;
        case wkbGeometryCollection:
            for (uint32_t i = 0; geom.collection.members && i < geom.collection.memberCount; ++i)
                ImportLineString(geom.collection.members[i], lines);
            break;
        default:
            break;
    }
    return static_cast<int>(lines.size() - before);
}

int LineStringInArray(const LineString* line, const std::vector<LineString*>& lines) {
    if (!line) return -1;
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i] && SameLinePoints(*line, *lines[i])) return static_cast<int>(i);
    return -1;
}

int CornerPointOfWKBGeometry(const WKBGeometry& geom, const Box& box, std::vector<int>& indices,
                             std::vector<Point3D>& points) {
    size_t before = points.size();
    int base = 0;
    Corners(geom, box, base, indices, points);
    return static_cast<int>(points.size() - before);
}

WKBPolygon* _ImportFrom(const WKBPolygon* polygon) {
    auto* out = new WKBPolygon{0, nullptr};
    if (!polygon) return out;
    CopyWKBPolygon(*out, *polygon);
    for (int32_t r = 0; r < out->ringCount; ++r)
        static_cast<keloParts&>(out->rings[r]).Normalizing(g_epsZero, 0x3000);
    return out;
}

WKBPolygon* _ExportTo(const WKBPolygon* polygon) {
    auto* out = new WKBPolygon{0, nullptr};
    if (!polygon || polygon->ringCount <= 0 || !polygon->rings) return out;
    out->rings = new LineString[polygon->ringCount]();
    out->ringCount = polygon->ringCount;
    for (int32_t r = 0; r < polygon->ringCount; ++r) {
        keloParts work(&polygon->rings[r]);
        if (work.IsNull()) continue;
        // Chain all parts; pieces that do not connect stay as further chains after the first.
        keloParts joined;
        while (!work.IsNull()) {
            keloParts* chain = work.PutInOrder();
            if (!chain) break;
            for (int k = 0; k < chain->GetPartsCount(); ++k) joined.AddPointsTo(*chain->GetOriginalPointsAt(k), -1);
            delete chain;
        }
        static_cast<LineString&>(out->rings[r]) = joined;
        joined.Detach();
    }
    return out;
}

}  // namespace kelo
