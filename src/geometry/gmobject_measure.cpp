// Measures, points of interest, searches and validity of the geometry object.
#include <algorithm>
#include <cmath>
#include <limits>

#include "companion/geodesy.h"
#include "geometry/convex_hull.h"
#include "geometry/geometry_object.h"
#include "geometry/gmobject_detail.h"
#include "geometry/tolerance.h"

namespace kelo {

using namespace detail;

namespace {

constexpr double kTwoThirdsPi = 2.0 * 3.14159265358979323846 / 3.0;
constexpr double kRadToDeg = 180.0 / 3.14159265358979323846;

struct Axes {
    double a, b;
};

Axes AxesOfCode(int code) {
    if (code == 1 || code == 54) return {6378245.0, 6356863.01877305};
    if (code == 0 || code == 80) return {6378140.0, 6356755.28815753};
    return {6378137.0, 6356752.31414036};
}

int EllipsoidCodeOf(int code) {
    if (code == 1 || code == 54) return kEllipsoidKrassovsky;
    if (code == 0 || code == 80) return kEllipsoidIag75;
    return kEllipsoidWgs84;
}

std::vector<Point3D> RingPoints(const LineString& ring) {
    std::vector<Point3D> pts;
    AsParts(const_cast<LineString&>(ring)).Discrete(pts, g_epsZero);
    return pts;
}

bool Finite(const Point3D& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// The discretised points of a part without its non-finite vertices, which carry no position.
std::vector<Point3D> FinitePoints(const LineString& ring) {
    std::vector<Point3D> pts = RingPoints(ring);
    pts.erase(std::remove_if(pts.begin(), pts.end(), [](const Point3D& p) { return !Finite(p); }), pts.end());
    return pts;
}

}  // namespace

// ---- size -------------------------------------------------------------------------------------

double GM_Object::GetArea() const {
    double a = 0;
    WalkPolygons(*this, [&](WKBPolygon& p) {
        a += AsPolygon(p).GetArea();
        return false;
    });
    return a;
}

double GM_Object::GetPerimeter() const {
    double len = 0;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        len += AsParts(l).GetPerimeter();
        return false;
    });
    return len;
}

int GM_Object::GetPointLength(std::vector<double>& out) const {
    const size_t before = out.size();
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        out.push_back(AsParts(l).GetPerimeter());
        return false;
    });
    return static_cast<int>(out.size() - before);
}

double GM_Object::GetArea_Ellipse(double p1, double p2, int code, int flag) const {
    const Axes ax = AxesOfCode(code);
    const bool raw = std::fabs(p1) < kEpsInner && std::fabs(p2) < kEpsInner &&
                     (code == 0 || code == 2 || code == 80 || code == 2000);
    double total = 0;
    WalkPolygons(*this, [&](WKBPolygon& poly) {
        for (int r = 0; r < poly.ringCount && poly.rings; ++r) {
            std::vector<Point3D> pts = RingPoints(poly.rings[r]);
            double area = 0;
            if (raw) {
                area = TestmyCalEllipseArea(pts.data(), static_cast<int>(pts.size()), flag != 0, ax.a, ax.b);
            } else if (flag == 0) {
                for (Point3D& q : pts) {
                    double lat = 0, lon = 0;
                    Gaosi_to_JWD(code, q.x, q.y, kTwoThirdsPi, &lat, &lon);
                    q.x = lon;
                    q.y = lat;
                }
                area = TestmyCalEllipseArea(pts.data(), static_cast<int>(pts.size()), true, ax.a, ax.b, true);
            } else {
                area = TestmyCalEllipseArea(pts.data(), static_cast<int>(pts.size()), true, ax.a, ax.b);
            }
            total += r == 0 ? area : -area;
        }
        return false;
    });
    return total;
}

double GM_Object::GetPerimeter_Ellipse(double p1, double p2, int code, int flag) const {
    double total = 0;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        std::vector<Point3D> pts = RingPoints(l);
        if (flag == 0) {
            for (Point3D& q : pts) {
                const double northing = q.y + p1;
                const double easting = std::fmod(q.x + p2, 1000000.0) - 500000.0;
                double lat = 0, lon = 0;
                Gaosi_to_JWD(code, northing, easting, kTwoThirdsPi, &lat, &lon);
                q.y = lat * kRadToDeg;
                q.x = lon * kRadToDeg;
            }
        }
        DistandAreaInquiry inquiry(pts.data(), static_cast<int>(pts.size()), 1);
        inquiry.SetEllipse(EllipsoidCodeOf(code));
        total += inquiry.GetDist();
        return false;
    });
    return total;
}

double GM_Object::GetEllipseArea(double a, double b, int flag) const {
    double total = 0;
    WalkPolygons(*this, [&](WKBPolygon& poly) {
        for (int r = 0; r < poly.ringCount && poly.rings; ++r) {
            std::vector<Point3D> pts = RingPoints(poly.rings[r]);
            const double area = TestmyCalEllipseArea(pts.data(), static_cast<int>(pts.size()), flag != 0, a, b);
            total += r == 0 ? area : -area;
        }
        return false;
    });
    return total;
}

double GetEllipseArea(const GM_Object& g, double a, double b, int flag) { return g.GetEllipseArea(a, b, flag); }

// ---- extent ---------------------------------------------------------------------------------------

Box GM_Object::mbRegion() const {
    Box box;
    WalkPoints(*this, [&](Point3D& p) {
        box.add(p.x, p.y);
        return false;
    });
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        box.add(AsParts(l).GetBox());
        return false;
    });
    if (type == wkbTin)
        for (uint32_t t = 0; t < tin.triangleCount && tin.triangles; ++t)
            for (const Point3D& p : tin.triangles[t].p) box.add(p.x, p.y);
    return box;
}

bool GM_Object::isClosed() const {
    bool any = false, all = true;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        any = true;
        all = AsParts(l).IsClosed();
        return !all;
    });
    return any && all;
}

GM_Object* GM_Object::boundary() const {
    // Collect every piece first and build the record once: inserting one at a time would copy
    // the growing object for each piece.
    std::vector<GmItem> items;
    if (GetPolygonCount() > 0) {
        WalkParts(*this, [&](LineString& l, bool ring, WKBPolygon*, int) {
            if (!ring || l.partCount == 0) return false;
            items.emplace_back();
            items.back().kind = 2;
            items.back().line = AsParts(l);
            return false;
        });
    } else {
        if (GetPartsCount() == 0) return nullptr;
        WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
            Point3D a{}, b{};
            if (!AsParts(l).IsClosed() && AsParts(l).GetEndPoints(&a, &b))
                for (const Point3D& p : {a, b}) {
                    items.emplace_back();
                    items.back().kind = 1;
                    items.back().pt = p;
                }
            return false;
        });
    }
    auto* g = new GM_Object;
    Rebuild(*g, items, SimplestType(items));
    return g;
}

// ---- points of interest ---------------------------------------------------------------------------

Point3D GM_Object::representativePoint() const {
    if (IsDirectPoint()) return *GetOriginalDirectPoint(nullptr);
    if (keloPolygon* poly = GetOriginalPolygonAt(0)) {
        double x = 0, y = 0, z = 0;
        if (innerPoint(*poly, x, y, z, kEpsInner, 0)) return Point3D{x, y, poly->GetH()};
    }
    Point3D on{};
    bool found = false;
    WalkParts(*this, [&](LineString& l, bool ring, WKBPolygon*, int) {
        if (ring || l.partCount == 0) return false;
        const keloPoints* run = AsParts(l).GetOriginalPointsAt(0);
        if (!run || run->pointCount == 0) return false;
        on = AsParts(l).GetOriginalPointsAt(static_cast<int>(l.partCount / 2))->GetMidPoint();
        if (!Finite(on)) on = run->points[0];
        found = true;
        return true;
    });
    if (found) return on;
    if (Point3D* p = GetPointAt(0)) return *p;
    return Point3D{0, 0, kUnknownZ};
}

int GM_Object::centroid2(Point3D& out, int mode, std::vector<double>* weights) const {
    double best = -1;
    bool any = false;
    auto offer = [&](const Point3D& p, double w) {
        if (weights) weights->push_back(w);
        if (!any || w > best) {
            best = w;
            out = p;
            any = true;
        }
    };
    WalkPolygons(*this, [&](WKBPolygon& wp) {
        const keloPolygon& poly = AsPolygon(wp);
        Point3D c{0, 0, poly.GetH()};
        double x = 0, y = 0, z = 0;
        if (mode == 0) {
            if (!innerPoint(poly, x, y, z, kEpsInner, 0)) return false;
            c.x = x;
            c.y = y;
        } else {
            int seg = 0;
            const keloParts* outer = poly.GetOriginalRingAt(0);
            if (!outer) return false;
            const keloPoint corner = outer->GetCorner(mode, seg);
            c.x = corner.x;
            c.y = corner.y;
        }
        offer(c, poly.GetArea());
        return false;
    });
    WalkParts(*this, [&](LineString& l, bool ring, WKBPolygon*, int) {
        if (ring || l.partCount == 0) return false;
        const keloPoints* run = AsParts(l).GetOriginalPointsAt(static_cast<int>(l.partCount / 2));
        if (!run || run->pointCount == 0) return false;
        Point3D c = run->GetMidPoint();
        if (!Finite(c)) c = run->points[0];
        offer(c, AsParts(l).GetPerimeter());
        return false;
    });
    Box pts;
    int n = 0;
    WalkPoints(*this, [&](Point3D& p) {
        pts.add(p.x, p.y);
        ++n;
        return false;
    });
    if (n > 0) {
        Point3D c{0, 0, 0};
        pts.GetCenter(c.x, c.y);
        c.z = GetPointAt(0)->z;
        offer(c, 0.0);
    }
    if (!any) out = Point3D{0, 0, kUnknownZ};
    return any ? 1 : 0;
}

Point3D GM_Object::centroid() const {
    Point3D c{};
    centroid2(c, 0);
    return c;
}

int GM_Object::centroid3(Point3D& out) const {
    // Every product is taken relative to one local origin: a small shape far from the axes would
    // otherwise lose its centre to cancellation between huge terms.
    Point3D origin{0, 0, 0};
    bool haveOrigin = false;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        for (uint32_t k = 0; k < l.partCount && !haveOrigin; ++k)
            for (uint32_t i = 0; i < l.parts[k].pointCount && !haveOrigin; ++i)
                if (Finite(l.parts[k].points[i])) {
                    origin = l.parts[k].points[i];
                    haveOrigin = true;
                }
        return haveOrigin;
    });
    double sx = 0, sy = 0, sw = 0;
    WalkPolygons(*this, [&](WKBPolygon& wp) {
        for (int r = 0; r < wp.ringCount && wp.rings; ++r) {
            const std::vector<Point3D> p = FinitePoints(wp.rings[r]);
            double rx = 0, ry = 0, rw = 0;
            for (size_t i = 0; i < p.size(); ++i) {
                const Point3D& a = p[i];
                const Point3D& b = p[(i + 1) % p.size()];  // an open ring is closed by its chord
                const double ax = a.x - origin.x, ay = a.y - origin.y;
                const double bx = b.x - origin.x, by = b.y - origin.y;
                const double c = ax * by - bx * ay;
                rx += (ax + bx) * c;
                ry += (ay + by) * c;
                rw += c;
            }
            // The outer ring adds and holes subtract, whichever way each ring happens to turn.
            const double sign = (rw < 0 ? -1.0 : 1.0) * (r == 0 ? 1.0 : -1.0);
            sx += sign * rx / 6.0;
            sy += sign * ry / 6.0;
            sw += sign * rw / 2.0;
        }
        return false;
    });
    if (std::fabs(sw) > kEpsInner && std::isfinite(sx / sw) && std::isfinite(sy / sw)) {
        out = Point3D{origin.x + sx / sw, origin.y + sy / sw, kUnknownZ};
        return 1;
    }
    sx = sy = sw = 0;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        const std::vector<Point3D> p = FinitePoints(l);
        for (size_t i = 0; i + 1 < p.size(); ++i) {
            const double len = PointPointDistance(&p[i], &p[i + 1]);
            sx += ((p[i].x - origin.x) + (p[i + 1].x - origin.x)) / 2 * len;
            sy += ((p[i].y - origin.y) + (p[i + 1].y - origin.y)) / 2 * len;
            sw += len;
        }
        return false;
    });
    if (sw > kEpsInner && std::isfinite(sx / sw) && std::isfinite(sy / sw)) {
        out = Point3D{origin.x + sx / sw, origin.y + sy / sw, kUnknownZ};
        return 1;
    }
    sx = sy = 0;
    int n = 0;
    Point3D first{0, 0, 0};
    WalkPoints(*this, [&](Point3D& p) {
        if (!Finite(p)) return false;
        if (n == 0) first = p;
        sx += p.x - first.x;
        sy += p.y - first.y;
        ++n;
        return false;
    });
    if (n == 0) {
        out = Point3D{0, 0, kUnknownZ};
        return 0;
    }
    out = Point3D{first.x + sx / n, first.y + sy / n, kUnknownZ};
    return 1;
}

Point3D GM_Object::GetCornerPoint(int i) const {
    const Box box = mbRegion();
    Point3D best{0, 0, kUnknownZ};
    if (box.IsEmpty()) return best;
    const Point3D target = box.GetCorner(i);
    double bestD = std::numeric_limits<double>::max();
    std::vector<Point3D> pts;
    GetConcatPoints(pts);
    for (const Point3D& p : pts) {
        const double d = PointPointDistanceSqual(&p, &target);
        if (d < bestD) {
            bestD = d;
            best = p;
        }
    }
    return best;
}

// ---- directed point ------------------------------------------------------------------------------------

bool GM_Object::IsDirectPoint() const {
    return type == wkbGeometryCollection && collection.memberCount == 2 && collection.members &&
           collection.members[0].type == wkbPoint && collection.members[1].type == wkbPoint;
}

Point3D* GM_Object::GetOriginalDirectPoint(double* angle) const {
    if (!IsDirectPoint()) return nullptr;
    const Point3D& a = collection.members[0].point;
    const Point3D& b = collection.members[1].point;
    if (angle) *angle = std::atan2(b.y - a.y, b.x - a.x);
    return &collection.members[0].point;
}

int GM_Object::SetDirectPoint(const Point3D& p, double angle, double length) {
    if (length < 1e-6) length = 1.0;
    double z0 = p.z, z1 = 0.0;
    if (IsDirectPoint()) {
        z0 = collection.members[0].point.z;
        z1 = collection.members[1].point.z;
    }
    auto* members = new WKBSimpleGeometry[2]();
    members[0].type = wkbPoint;
    members[0].point = Point3D{p.x, p.y, z0};
    members[1].type = wkbPoint;
    members[1].point = Point3D{p.x + length * std::cos(angle), p.y + length * std::sin(angle), z1};
    DeleteContent();
    type = wkbGeometryCollection;
    collection = WKBGeometryCollection{2, members};
    return 1;
}

bool GM_Object::GetDirectPointStretch(float& sx, float& sy) const {
    if (!IsDirectPoint()) return false;
    const keloPoint a(collection.members[0].point), b(collection.members[1].point);
    uint16_t ida = 0, idb = 0;
    float va = 0, vb = 0;
    if (!a.GetMF(ida, va) || !b.GetMF(idb, vb) || ida != kDirectStretchXId || idb != kDirectStretchYId) return false;
    sx = va;
    sy = vb;
    return true;
}

bool GM_Object::SetDirectPointStretch(float sx, float sy) {
    if (!IsDirectPoint()) return false;
    collection.members[0].point.z = MakeMF(kDirectStretchXId, sx);
    collection.members[1].point.z = MakeMF(kDirectStretchYId, sy);
    return true;
}

// ---- vertex measures ----------------------------------------------------------------------------------

Point3D* GM_Object::GetMIV(uint16_t id, int32_t& value) const {
    Point3D* found = nullptr;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) { return (found = AsParts(l).GetMIV(id, value)) != nullptr; });
    return found;
}

Point3D* GM_Object::GetMFV(uint16_t id, float& value) const {
    Point3D* found = nullptr;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) { return (found = AsParts(l).GetMFV(id, value)) != nullptr; });
    return found;
}

bool GM_Object::SetMIV(uint16_t id, int32_t value) {
    // An existing measure with the id is updated where it is; otherwise the first part that has
    // room takes it.
    int32_t old = 0;
    bool done = WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        return AsParts(l).GetMIV(id, old) != nullptr && AsParts(l).SetMIV(id, value);
    });
    if (!done) done = WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) { return AsParts(l).SetMIV(id, value); });
    return done;
}

bool GM_Object::SetMFV(uint16_t id, float value) {
    float old = 0;
    bool done = WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        return AsParts(l).GetMFV(id, old) != nullptr && AsParts(l).SetMFV(id, value);
    });
    if (!done) done = WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) { return AsParts(l).SetMFV(id, value); });
    return done;
}

bool GM_Object::ClearMIV(uint16_t id, double z) {
    bool any = false;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        any = AsParts(l).ClearMIV(id, z) || any;
        return false;
    });
    return any;
}

bool GM_Object::ClearMFV(uint16_t id, double z) {
    bool any = false;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        any = AsParts(l).ClearMFV(id, z) || any;
        return false;
    });
    return any;
}

int GM_Object::ClearMV(double z) {
    int n = 0;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        n += AsParts(l).ClearMV(z);
        return false;
    });
    return n;
}

int GM_Object::FindNoMarkPos() const {
    int offset = 0, found = -1;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        const int k = AsParts(l).FindNoMarkPos();
        if (k >= 0) {
            found = offset + k;
            return true;
        }
        offset += AsParts(l).GetVertexCount();
        return false;
    });
    return found;
}

// ---- searches -------------------------------------------------------------------------------------------

int GM_Object::SearchNearestPoint(SearchSegResult& result, const Point3D& p, double eps) const {
    int found = 0, k = 0;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        SearchSegResult r;
        if (AsParts(l).SearchNearestPoint(r, p, eps) && (!found || r.distance < result.distance)) {
            result = r;
            result.objectIndex = k;
            found = 1;
        }
        ++k;
        return false;
    });
    return found;
}

int GM_Object::SearchNearestLine(std::vector<SearchSegResult>& results, const Point3D& p, double eps, int flag) const {
    int found = 0, k = 0;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        SearchSegResult r;
        if (AsParts(l).SearchNearestLine(r, p, eps, flag)) {
            r.objectIndex = k;
            results.push_back(r);
            ++found;
        }
        ++k;
        return false;
    });
    std::stable_sort(results.end() - found, results.end(),
                     [](const SearchSegResult& a, const SearchSegResult& b) { return a.distance < b.distance; });
    return found;
}

int GM_Object::SearchNearVertex(const Point3D& p, int* part, int* vertex, double* dist) const {
    int k = 0, bestPart = -1, bestV = -1;
    double best = std::numeric_limits<double>::max();
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        double d = 0;
        const int v = AsParts(l).SearchVertexAtNearPt(p, d);
        if (v >= 0 && d < best) {
            best = d;
            bestPart = k;
            bestV = v;
        }
        ++k;
        return false;
    });
    if (bestPart < 0) return 0;
    if (part) *part = bestPart;
    if (vertex) *vertex = bestV;
    if (dist) *dist = best;
    return 1;
}

int GM_Object::SearchNearSegment(const Point3D& p, int* part, int* seg, double* dist) const {
    int k = 0, bestPart = -1, bestS = -1;
    double best = std::numeric_limits<double>::max();
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        double d = 0;
        const int s = AsParts(l).SearchSegAtNearPt(p, d);
        if (s >= 0 && d < best) {
            best = d;
            bestPart = k;
            bestS = s;
        }
        ++k;
        return false;
    });
    if (bestPart < 0) return 0;
    if (part) *part = bestPart;
    if (seg) *seg = bestS;
    if (dist) *dist = best;
    return 1;
}

int GM_Object::SearchOverlayPoint(const Point3D& p, double eps) const {
    int k = 0, found = -1;
    WalkPoints(*this, [&](Point3D& q) {
        if (PointPointDistance(&p, &q) <= eps) found = k;
        ++k;
        return found >= 0;
    });
    if (found >= 0) return found;
    const int points = k;
    k = 0;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        for (uint32_t r = 0; r < l.partCount && l.parts; ++r)
            for (uint32_t j = 0; j < l.parts[r].pointCount && l.parts[r].points; ++j, ++k)
                if (PointPointDistance(&p, &l.parts[r].points[j]) <= eps) {
                    found = k;
                    return true;
                }
        return false;
    });
    return found >= 0 ? points + found : -1;
}

int GM_Object::SearchPointNeighbourhood(const Point3D& p, double r, std::vector<Point3D>& out) const {
    std::vector<Point3D> pts;
    GetConcatPoints(pts);
    int n = 0;
    for (const Point3D& q : pts)
        if (PointPointDistance(&p, &q) <= r) {
            out.push_back(q);
            ++n;
        }
    return n;
}

int GM_Object::SearchStreightLineByPoint(const Point3D& p, double eps) const {
    int k = 0, found = -1;
    WalkParts(*this, [&](LineString& l, bool ring, WKBPolygon*, int) {
        if (!ring && l.partCount == 1 && l.parts[0].lineType == klLTPolyline && l.parts[0].pointCount == 2 &&
            AsParts(l).DistanceToPoint(p) <= eps) {
            found = k;
            return true;
        }
        ++k;
        return false;
    });
    return found;
}

int GM_Object::FindNearestPath(const Point3D& p) const {
    int k = 0, found = -1;
    double best = std::numeric_limits<double>::max();
    WalkParts(*this, [&](LineString& l, bool ring, WKBPolygon*, int) {
        if (!ring && l.partCount) {
            const double d = AsParts(l).DistanceToPoint(p);
            if (d < best) {
                best = d;
                found = k;
            }
        }
        ++k;
        return false;
    });
    return found;
}

int GM_Object::FindFarthestPath(const Point3D& p) const {
    int k = 0, found = -1;
    double best = -1;
    WalkParts(*this, [&](LineString& l, bool ring, WKBPolygon*, int) {
        if (!ring && l.partCount) {
            const double d = AsParts(l).DistanceToPoint(p);
            if (d > best) {
                best = d;
                found = k;
            }
        }
        ++k;
        return false;
    });
    return found;
}

int GM_Object::FindPathState(const Point3D& p, int* part) const {
    int k = 0, state = 0;
    WalkParts(*this, [&](LineString& l, bool ring, WKBPolygon*, int) {
        if (!ring) state = AsParts(l).IsEnd(p);
        if (state && part) *part = k;
        ++k;
        return state != 0;
    });
    return state;
}

bool GM_Object::VertPoint(const Point3D& p, Point3D& foot) const {
    double best = std::numeric_limits<double>::max();
    bool any = false;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        Point3D f{};
        const double d = AsParts(l).DistanceWithPoint(p, &f);
        if (l.partCount && d < best) {
            best = d;
            foot = f;
            any = true;
        }
        return false;
    });
    return any;
}

int GM_Object::CrossWithLine(const Point3D& a, const Point3D& b, std::vector<Point3D>& out) const {
    int n = 0;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        const std::vector<Point3D> p = RingPoints(l);
        for (size_t i = 0; i + 1 < p.size(); ++i) {
            const double dx = b.x - a.x, dy = b.y - a.y;
            const double ex = p[i + 1].x - p[i].x, ey = p[i + 1].y - p[i].y;
            const double den = dx * ey - dy * ex;
            if (std::fabs(den) < kEpsInner) continue;
            const double t = ((p[i].x - a.x) * ey - (p[i].y - a.y) * ex) / den;
            const double s = ((p[i].x - a.x) * dy - (p[i].y - a.y) * dx) / den;
            if (t < 0 || t > 1 || s < 0 || s > 1) continue;
            out.push_back(Point3D{a.x + t * dx, a.y + t * dy, kUnknownZ});
            ++n;
        }
        return false;
    });
    return n;
}

int GM_Object::IsEnd(const Point3D& p) const { return FindPathState(p, nullptr) ? 1 : 0; }

// ---- hull ------------------------------------------------------------------------------------------------

GM_Object* GM_Object::convex_Hull() const {
    std::vector<Point3D> pts;
    GetAllPoints(pts);
    if (type == wkbTin)
        for (uint32_t t = 0; t < tin.triangleCount && tin.triangles; ++t)
            for (const Point3D& p : tin.triangles[t].p) pts.push_back(p);
    const int n = GetConvexHullOfPoints(pts.data(), static_cast<int>(pts.size()));
    if (n < 3) return nullptr;
    pts.resize(static_cast<size_t>(n));
    auto* g = new GM_Object;
    g->Create(pts, 1, klLTPolyline);
    return g;
}

// ---- validity -------------------------------------------------------------------------------------------

int GM_Object::IsNormal(double eps, int flags) const {
    if (flags == 0) return 1;
    auto fail = [](const Point3D& p) {
        g_lastAbnormalPoint = p;
        return 0;
    };
    if (IsDirectPoint()) {
        const Point3D& a = collection.members[0].point;
        const Point3D& b = collection.members[1].point;
        if ((flags & 1) && (!Finite(a) || !Finite(b) || PointPointDistance(&a, &b) < kEpsInner)) return fail(a);
        if ((flags & 2) && !std::isfinite(a.z)) return fail(a);
        return 1;
    }
    std::vector<Point3D> pts;
    WalkPoints(*this, [&](Point3D& p) {
        pts.push_back(p);
        return false;
    });
    for (const Point3D& p : pts) {
        if ((flags & 1) && !Finite(p)) return fail(p);
        if ((flags & 2) && !std::isfinite(p.z)) return fail(p);
    }
    if (flags & 4)
        for (size_t i = 0; i < pts.size(); ++i)
            for (size_t j = i + 1; j < pts.size(); ++j)
                if (PointPointDistance(&pts[i], &pts[j]) < eps) return fail(pts[i]);
    if (flags & 31) {
        const bool bad = WalkParts(*this, [&](LineString& l, bool ring, WKBPolygon*, int) {
            return !ring && !AsParts(l).IsNormal(eps, flags & 31);
        });
        if (bad) return 0;
    }
    if ((flags & 32) && IsGeometrySelfIntersect(this, 1)) return 0;
    if (flags & 192) {
        const bool bad = WalkPolygons(*this, [&](WKBPolygon& p) { return !AsPolygon(p).IsNormal(eps, flags & 192); });
        if (bad) return 0;
    }
    if ((flags & 0x100) && PolygonsOverlap(*this, eps)) return 0;
    return 1;
}

}  // namespace kelo
