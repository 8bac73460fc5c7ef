// The geometry object's spatial predicates, distances and self-intersection tests, answered by
// the nine-intersection engine and the segment relations.
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "geometry/geometry_object.h"
#include "geometry/segment_runs.h"
#include "geometry/tolerance.h"
#include "relations/nine_detail.h"
#include "relations/nine_intersection.h"

namespace kelo {

namespace {

enum { II = 0, IB, IE, BI, BB, BE, EI, EB };

bool HasElements(const GM_Object* g) { return g && g->GetElementsType() != 0; }

bool Dims(const GM_Object& a, const GM_Object* b, double eps, int d[8]) {
    if (!HasElements(&a) || !HasElements(b)) return false;
    Relate9i(a, *b, eps, d);
    return true;
}

}  // namespace

int GM_Object::contains(const Point3D& p) const {
    return HasElements(this) && C9iObjIndex(this).Locate(p, g_epsZero) == detail::kLocInterior ? 1 : 0;
}

int GM_Object::onsides(const Point3D& p) const {
    return HasElements(this) && C9iObjIndex(this).Locate(p, g_epsZero) == detail::kLocBoundary ? 1 : 0;
}

int GM_Object::insides(const Point3D& p) const {
    const GM_Object point(p);
    return insides(&point);
}

int GM_Object::contains(const GM_Object* other) const {
    int d[8];
    return Dims(*this, other, g_epsZero, d) && d[II] >= 0 && d[EI] < 0 && d[EB] < 0 ? 1 : 0;
}

int GM_Object::insides(const GM_Object* other) const {
    int d[8];
    return Dims(*this, other, g_epsZero, d) && d[II] >= 0 && d[IE] < 0 && d[BE] < 0 ? 1 : 0;
}

int GM_Object::intersect(const GM_Object* other) const {
    int d[8];
    return Dims(*this, other, g_epsZero, d) && (d[II] >= 0 || d[IB] >= 0 || d[BI] >= 0 || d[BB] >= 0) ? 1 : 0;
}

int GM_Object::equal(const GM_Object* other, double eps) const {
    int d[8];
    return Dims(*this, other, eps, d) && d[II] >= 0 && d[IE] < 0 && d[BE] < 0 && d[EI] < 0 && d[EB] < 0 ? 1 : 0;
}

int GM_Object::Get9iGMObject(const GM_Object* other, double eps) const {
    if (!other) return 0;
    return C9iObjIndex(this).Get9i8BOOL(other, eps);
}

// ---- distances ---------------------------------------------------------------------------

namespace {

double BoxGap(const Box& a, const Box& b) {
    double dx = std::max({0.0, a.minx - b.maxx, b.minx - a.maxx});
    double dy = std::max({0.0, a.miny - b.maxy, b.miny - a.maxy});
    return std::hypot(dx, dy);
}

// The segments and points of one object, each with its box.
struct Elements {
    const C9iObjIndex index;
    std::vector<CsSegment> segs;
    std::vector<Box> boxes;

    explicit Elements(const GM_Object& g) : index(&g) {
        for (int i = 0; i < index.GetSize(); ++i)
            for (const C9iPartsIndex* part : index.GetList(i))
                for (int k = 0; k < part->GetSegmentCount(); ++k) {
                    CsSegment s = part->GetSegmentById(static_cast<uint32_t>(k + 1));
                    Box b = s.GetBox();
                    if (!std::isfinite(b.minx) || !std::isfinite(b.maxx) || !std::isfinite(b.miny) || !std::isfinite(b.maxy))
                        continue;
                    segs.push_back(s);
                    boxes.push_back(b);
                }
    }
    const std::vector<Point3D>& points() const { return index.Geom().points; }
    bool empty() const { return segs.empty() && points().empty(); }
};

// A point of b that lies inside one of a's areas, when there is one: the two then meet though
// their linework does not. One vertex of every part and every point of b is enough.
bool InsideAreas(const Elements& a, const Elements& b, Point3D& where) {
    if (!a.index.Geom().HasAreas()) return false;
    std::vector<Point3D> probes = b.points();
    for (int i = 0; i < b.index.GetSize(); ++i)
        for (const C9iPartsIndex* part : b.index.GetList(i))
            if (part->GetSegmentCount() > 0) probes.push_back(part->GetOnePoint());
    for (const Point3D& p : probes)
        if (a.index.Locate(p, 0) == detail::kLocInterior) {
            where = p;
            return true;
        }
    return false;
}

}  // namespace

double DistanceOfGMObject(const GM_Object& a, const GM_Object& b, Point3D& pa, Point3D& pb) {
    const Elements ea(a), eb(b);
    if (ea.empty() || eb.empty()) return -1.0;
    double best = std::numeric_limits<double>::infinity();
    auto take = [&](double d, const Point3D& qa, const Point3D& qb) {
        if (d < best) {
            best = d;
            pa = qa;
            pb = qb;
        }
    };
    // Segments of b sorted by the left edge of their box, so each segment of a only visits those
    // that can still come nearer than the best distance so far.
    std::vector<size_t> order(eb.segs.size());
    for (size_t j = 0; j < order.size(); ++j) order[j] = j;
    std::sort(order.begin(), order.end(), [&](size_t x, size_t y) { return eb.boxes[x].minx < eb.boxes[y].minx; });
    double widest = 0;
    for (const Box& bx : eb.boxes) widest = std::max(widest, bx.maxx - bx.minx);
    auto nearSegs = [&](const Box& box, auto f) {
        auto lo = std::lower_bound(order.begin(), order.end(), box.minx - best - widest,
                                   [&](size_t j, double x) { return eb.boxes[j].minx < x; });
        for (auto it = lo; it != order.end() && eb.boxes[*it].minx <= box.maxx + best; ++it)
            if (BoxGap(box, eb.boxes[*it]) < best) f(*it);
    };
    for (size_t i = 0; i < ea.segs.size() && best > 0; ++i)
        nearSegs(ea.boxes[i], [&](size_t j) {
            Point3D qa, qb;
            double d = ea.segs[i].LnDistance(eb.segs[j], qa, qb);
            take(d, qa, d == 0 ? qa : qb);  // meeting segments give their contact points on a
        });
    for (const Point3D& p : eb.points()) {
        const Box pbox(p.x, p.y, p.x, p.y);
        for (size_t i = 0; i < ea.segs.size(); ++i) {
            if (BoxGap(ea.boxes[i], pbox) >= best) continue;
            Point3D q;
            take(ea.segs[i].PtDistance(p, q), q, p);
        }
        for (const Point3D& q : ea.points()) take(std::hypot(p.x - q.x, p.y - q.y), q, p);
    }
    for (const Point3D& p : ea.points()) {
        nearSegs(Box(p.x, p.y, p.x, p.y), [&](size_t j) {
            Point3D q;
            take(eb.segs[j].PtDistance(p, q), p, q);
        });
    }
    if (best > 0) {
        Point3D where;
        if (InsideAreas(ea, eb, where) || InsideAreas(eb, ea, where)) {
            pa = pb = where;
            return 0;
        }
    }
    return std::isfinite(best) ? best : -1.0;
}

double DistanceOfGMObject(const GM_Object& a, const GM_Object& b) {
    Point3D pa, pb;
    return DistanceOfGMObject(a, b, pa, pb);
}

double GM_Object::distance(const GM_Object* other, Point3D& onThis, Point3D& onOther) const {
    return other ? DistanceOfGMObject(*this, *other, onThis, onOther) : -1.0;
}

double GM_Object::distance(const GM_Object* other) const {
    Point3D p, q;
    return distance(other, p, q);
}

// ---- self-intersection ---------------------------------------------------------------------

namespace {

struct PartInfo {
    const keloParts* parts;
    std::unique_ptr<detail::LineSegments> segs;
    Box box;
    bool open;
    Point3D first, last;
};

bool IsEndOf(const PartInfo& p, const Point3D& q, double eps) {
    return p.open && (PointOverlap(&p.first, &q, eps) == True || PointOverlap(&p.last, &q, eps) == True);
}

}  // namespace

int IsGeometrySelfIntersect(const GM_Object* object, int flag) {
    if (!object) return 0;
    const double eps = g_epsZero;
    std::vector<PartInfo> parts;
    for (int i = 0; i < object->GetPartsCount(); ++i) {
        int ring = 0;
        const keloParts* p = object->GetOriginalPartsAt(&ring, i);
        if (!p || p->IsNull()) continue;
        if (p->IsSelfIntersect()) return 1;
        PartInfo info{p, std::make_unique<detail::LineSegments>(*p, eps), p->GetBox(), !ring && !p->IsClosed(), {}, {}};
        p->GetEndPoints(&info.first, &info.last);
        parts.push_back(std::move(info));
    }
    for (size_t i = 0; i < parts.size(); ++i)
        for (size_t j = i + 1; j < parts.size(); ++j) {
            const PartInfo &a = parts[i], &b = parts[j];
            if (!IsBoxIntersect(a.box, b.box, eps)) continue;
            const bool met = detail::ForEachNearPair(*a.segs, b.segs.get(), eps, [&](size_t x, size_t y) {
                Point3D p1, p2;
                const int code = (*a.segs)[x].IntersectInfo((*b.segs)[y], p1, p2, eps);
                if (code == 0) return false;
                if (IntersectInfoOverlap(code) > 2) return true;
                const int k1 = IntersectInfoType(code, 1, nullptr, nullptr);
                const int k2 = IntersectInfoType(code, 0, nullptr, nullptr);
                if (k1 == kSegContactCross || k2 == kSegContactCross) return true;
                if (!flag) return false;
                // A touch: allowed only where two open lines meet end to end.
                if (k1 && !(IsEndOf(a, p1, eps) && IsEndOf(b, p1, eps))) return true;
                if (k2 && !(IsEndOf(a, p2, eps) && IsEndOf(b, p2, eps))) return true;
                return false;
            });
            if (met) return 1;
        }
    return 0;
}

bool GM_Object::isSimple() const {
    const int kinds = GetElementsType();
    if (kinds == 0) return false;
    std::vector<Point3D> pts;
    for (int i = 0; i < GetPointCount(); ++i) {
        Point3D p{};
        if (GetPointAt(p, i)) pts.push_back(p);
    }
    std::sort(pts.begin(), pts.end(), [](const Point3D& a, const Point3D& b) { return a.x < b.x; });
    for (size_t i = 0; i < pts.size(); ++i)
        for (size_t j = i + 1; j < pts.size() && pts[j].x - pts[i].x <= g_epsZero; ++j)
            if (PointOverlap(&pts[i], &pts[j], g_epsZero) == True) return false;
    if (!(kinds & 2)) return true;
    // Only the lines matter: rings of valid polygons are checked by the polygon validity.
    GM_Object lines;
    for (int i = 0; i < GetPartsCount(); ++i) {
        int ring = 0;
        const keloParts* p = GetOriginalPartsAt(&ring, i);
        if (p && !ring) lines.InsertPartsAt(*p, -1, 0);
    }
    return IsGeometrySelfIntersect(&lines, 1) == 0;
}

bool PolygonsOverlap(const GM_Object& object, double eps) {
    const int n = object.GetPolygonCount();
    if (n < 2) return false;
    std::vector<GM_Object> polys(static_cast<size_t>(n));
    std::vector<Box> boxes(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        polys[i].Create(*object.GetOriginalPolygonAt(i));
        boxes[i] = object.GetOriginalPolygonAt(i)->GetBox();
    }
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j) {
            if (!IsBoxIntersect(boxes[i], boxes[j], eps)) continue;
            int d[8];
            Relate9i(polys[i], polys[j], eps, d);
            if (d[II] >= 0) {
                const keloParts* outer = object.GetOriginalPolygonAt(j)->GetOriginalRingAt(0);
                Point3D* first = outer ? outer->GetPointByVertexAt(0) : nullptr;
                if (first) g_lastAbnormalPoint = *first;
                return true;
            }
        }
    return false;
}

}  // namespace kelo
