#include "geometry/geometry_object.h"

#include <cmath>

#include "geometry/gmobject_detail.h"
#include "geometry/tolerance.h"

namespace kelo {

namespace detail {

bool Decomposable(const WKBGeometry& g) { return g.type >= wkbEmpty && g.type <= wkbGeometryCollection; }

std::vector<GmItem> Decompose(const WKBGeometry& g) {
    std::vector<GmItem> items;
    auto addMember = [&items](const WKBGeometry& m) {
        switch (m.type) {
        case wkbPoint: {
            GmItem it;
            it.kind = 1;
            it.pt = m.point;
            items.push_back(std::move(it));
            break;
        }
        case wkbMultiPoint:
            for (uint32_t i = 0; i < m.multiPoint.pointCount && m.multiPoint.points; ++i) {
                GmItem it;
                it.kind = 1;
                it.pt = m.multiPoint.points[i];
                items.push_back(std::move(it));
            }
            break;
        case wkbLineString: {
            GmItem it;
            it.kind = 2;
            CopyWKBLineString(it.line, m.line);
            items.push_back(std::move(it));
            break;
        }
        case wkbMultiLineString:
            for (uint32_t i = 0; i < m.multiLine.lineCount && m.multiLine.lines; ++i) {
                GmItem it;
                it.kind = 2;
                CopyWKBLineString(it.line, m.multiLine.lines[i]);
                items.push_back(std::move(it));
            }
            break;
        case wkbPolygon: {
            GmItem it;
            it.kind = 3;
            CopyWKBPolygon(it.poly, m.polygon);
            items.push_back(std::move(it));
            break;
        }
        case wkbMultiPolygon:
            for (uint32_t i = 0; i < m.multiPolygon.polygonCount && m.multiPolygon.polygons; ++i) {
                GmItem it;
                it.kind = 3;
                CopyWKBPolygon(it.poly, m.multiPolygon.polygons[i]);
                items.push_back(std::move(it));
            }
            break;
        default: break;
        }
    };
    if (g.type == wkbGeometryCollection) {
        for (uint32_t i = 0; i < g.collection.memberCount && g.collection.members; ++i)
            if (g.collection.members[i].type != wkbGeometryCollection) addMember(g.collection.members[i]);
    } else {
        addMember(g);
    }
    return items;
}

wkbGeometryType SimplestType(const std::vector<GmItem>& items) {
    if (items.empty()) return wkbEmpty;
    const int kind = items[0].kind;
    for (const GmItem& it : items)
        if (it.kind != kind) return wkbGeometryCollection;
    const bool one = items.size() == 1;
    switch (kind) {
    case 1: return one ? wkbPoint : wkbMultiPoint;
    case 2: return one ? wkbLineString : wkbMultiLineString;
    default: return one ? wkbPolygon : wkbMultiPolygon;
    }
}

namespace {

LineString TakeLine(keloParts& l) {
    const uint32_t n = l.partCount;
    CurveSegment* p = l.Detach();
    return LineString{n, p};
}

WKBPolygon TakePolygon(keloPolygon& poly) {
    const int32_t n = poly.ringCount;
    LineString* r = poly.Detach();
    return WKBPolygon{n, r};
}

void BuildSimple(WKBGeometry& g, GmItem& it) {
    switch (it.kind) {
    case 1:
        g.type = wkbPoint;
        g.point = it.pt;
        break;
    case 2:
        g.type = wkbLineString;
        g.line = TakeLine(it.line);
        break;
    default:
        g.type = wkbPolygon;
        g.polygon = TakePolygon(it.poly);
        break;
    }
}

}  // namespace

void Rebuild(WKBGeometry& g, std::vector<GmItem>& items, wkbGeometryType t) {
    // The items already hold their own copies, so freeing first can never lose content.
    DeleteWKBGeometry(&g);
    g.type = wkbEmpty;
    g.point = Point3D{0, 0, 0};
    const size_t n = items.size();
    if (n == 0) return;
    switch (t) {
    case wkbPoint:
    case wkbLineString:
    case wkbPolygon: BuildSimple(g, items[0]); break;
    case wkbMultiPoint: {
        auto* pts = new Point3D[n];
        for (size_t i = 0; i < n; ++i) pts[i] = items[i].pt;
        g.type = wkbMultiPoint;
        g.multiPoint = WKBMultiPoint{static_cast<uint32_t>(n), pts};
        break;
    }
    case wkbMultiLineString: {
        auto* lines = new LineString[n]();
        for (size_t i = 0; i < n; ++i) lines[i] = TakeLine(items[i].line);
        g.type = wkbMultiLineString;
        g.multiLine = WKBMultiLineString{static_cast<uint32_t>(n), lines};
        break;
    }
    case wkbMultiPolygon: {
        auto* polys = new WKBPolygon[n]();
        for (size_t i = 0; i < n; ++i) polys[i] = TakePolygon(items[i].poly);
        g.type = wkbMultiPolygon;
        g.multiPolygon = WKBMultiPolygon{static_cast<uint32_t>(n), polys};
        break;
    }
    default: {
        auto* members = new WKBSimpleGeometry[n]();
        for (size_t i = 0; i < n; ++i) BuildSimple(members[i], items[i]);
        g.type = wkbGeometryCollection;
        g.collection = WKBGeometryCollection{static_cast<uint32_t>(n), members};
        break;
    }
    }
}

}  // namespace detail

using namespace detail;

// ---- construction --------------------------------------------------------------------------

GM_Object::GM_Object() : WKBGeometry() {}

GM_Object::GM_Object(const GM_Object& other) : WKBGeometry() { CopyWKBGeometry(*this, other); }

GM_Object& GM_Object::operator=(const GM_Object& other) {
    if (this != &other) {
        WKBGeometry copy;
        CopyWKBGeometry(copy, other);
        DeleteContent();
        static_cast<WKBGeometry&>(*this) = copy;
    }
    return *this;
}

GM_Object::GM_Object(const WKBGeometry& record) : WKBGeometry() { Create(record); }
GM_Object::GM_Object(const LineString& line) : WKBGeometry() { Create(line); }
GM_Object::GM_Object(const WKBPolygon& polygon) : WKBGeometry() { Create(static_cast<const keloPolygon&>(polygon)); }
GM_Object::GM_Object(const Point3D& p) : WKBGeometry() { Create(p); }
GM_Object::GM_Object(const keloPolygon& polygon) : WKBGeometry() { Create(polygon); }
GM_Object::GM_Object(const keloParts& parts, int asPolygon) : WKBGeometry() { Create(parts, asPolygon); }
GM_Object::GM_Object(const unsigned char* buffer) : WKBGeometry() { Create(buffer); }

GM_Object::~GM_Object() { DeleteContent(); }

void GM_Object::DeleteContent() {
    // An invalid code names no union member, so there is nothing we could free safely.
    if (Decomposable(*this) || type == wkbTin || type == wkbGrid) DeleteWKBGeometry(this);
    type = wkbEmpty;
    point = Point3D{0, 0, 0};
}

void GM_Object::SetType(int32_t t) {
    if (t < wkbEmpty || t > wkbGrid) DeleteContent();
    type = static_cast<wkbGeometryType>(t);
}

int GM_Object::Create(const unsigned char* buffer) {
    DeleteContent();
    if (!buffer) return 0;
    return Binary2WkbGeom(buffer, this);
}

int GM_Object::Create(const unsigned char* buffer, size_t length) {
    DeleteContent();
    if (!buffer) return 0;
    return Binary2WkbGeom(buffer, length, this);
}

int GM_Object::Create(const WKBGeometry& record) {
    if (&record == this) return 1;
    WKBGeometry copy;
    CopyWKBGeometry(copy, record);
    DeleteContent();
    static_cast<WKBGeometry&>(*this) = copy;
    return 1;
}

int GM_Object::Create(const Point3D& p) {
    DeleteContent();
    type = wkbPoint;
    point = p;
    return 1;
}

int GM_Object::Create(const Point3D& a, const Point3D& b, klLineType lineType) {
    const Point3D pts[2] = {a, b};
    keloParts line;
    line.Create(2, pts, lineType);
    return Create(line, 0);
}

int GM_Object::Create(const CurveSegment& run) {
    keloParts line;
    line.Create(1, &run);
    return Create(line, 0);
}

int GM_Object::Create(const LineString& line) { return Create(static_cast<const keloParts&>(line), 0); }

int GM_Object::Create(const keloParts& parts, int asPolygon) {
    keloParts copy(parts);
    DeleteContent();
    if (asPolygon == 1) {
        if (!copy.IsClosed()) copy.MakeClose();
        auto* rings = new LineString[1]();
        rings[0] = LineString{copy.partCount, copy.Detach()};
        type = wkbPolygon;
        polygon = WKBPolygon{1, rings};
    } else {
        type = wkbLineString;
        const uint32_t n = copy.partCount;
        line = LineString{n, copy.Detach()};
    }
    return 1;
}

int GM_Object::Create(const keloPolygon& poly) {
    WKBPolygon copy{0, nullptr};
    CopyWKBPolygon(copy, poly);
    DeleteContent();
    type = wkbPolygon;
    polygon = copy;
    return 1;
}

int GM_Object::Create(std::vector<Point3D>& pts, int asPolygon, klLineType lineType) {
    if (asPolygon && pts.size() > 1 && PointPointDistanceSqual(&pts.front(), &pts.back()) != 0.0)
        pts.push_back(pts.front());
    keloParts line(pts, lineType);
    if (!asPolygon) return Create(line, 0);
    keloPolygon poly(line);
    return Create(poly);
}

int GM_Object::Create(const double* xy, int n, int asPolygon, klLineType lineType) {
    if (n < 1 || !xy) return 0;
    std::vector<Point3D> pts(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) pts[static_cast<size_t>(i)] = Point3D{xy[2 * i], xy[2 * i + 1], kXYArrayZ};
    return Create(pts, asPolygon, lineType);
}

int GM_Object::Create(const Box* box, int asPolygon) {
    if (!box || box->IsEmpty()) return 0;
    std::vector<Point3D> pts = {{box->minx, box->miny, 0},
                                {box->maxx, box->miny, 0},
                                {box->maxx, box->maxy, 0},
                                {box->minx, box->maxy, 0}};
    return Create(pts, asPolygon, klLTPolyline);
}

int GM_Object::Create(const std::vector<LineString*>& lines) {
    std::vector<GmItem> items;
    for (const LineString* l : lines) {
        if (!l) continue;
        GmItem it;
        it.kind = 2;
        CopyWKBLineString(it.line, *l);
        items.push_back(std::move(it));
    }
    Rebuild(*this, items, SimplestType(items));
    return items.empty() ? 0 : 1;
}

// ---- type -------------------------------------------------------------------------------------

int GM_Object::GetElementsType() const {
    int kinds = 0;
    WalkPoints(*this, [&](Point3D&) { kinds |= 1; return true; });
    WalkParts(*this, [&](LineString&, bool ring, WKBPolygon*, int) {
        kinds |= ring ? 4 : 2;
        return kinds == 7;
    });
    return kinds;
}

bool GM_Object::IsComplexObject() const {
    if (type != wkbGeometryCollection) return false;
    const int k = GetElementsType();
    return !(k == 0 || k == 1 || k == 2 || k == 4);
}

bool GM_Object::IsTypeNormal() const {
    switch (type) {
    case wkbEmpty:
    case wkbPoint:
    case wkbTin:
    case wkbGrid: return true;
    case wkbLineString: return line.partCount > 0 && line.parts;
    case wkbPolygon: return polygon.ringCount > 0 && polygon.rings;
    case wkbMultiPoint: return multiPoint.pointCount > 1 && multiPoint.points;
    case wkbMultiLineString: return multiLine.lineCount > 1 && multiLine.lines;
    case wkbMultiPolygon: return multiPolygon.polygonCount > 1 && multiPolygon.polygons;
    case wkbGeometryCollection: return IsComplexObject();
    default: return false;
    }
}

int GM_Object::TypeNormalizing() {
    if (IsTypeNormal()) return 1;
    if (!Decomposable(*this)) {
        // Not a code we know: there is no telling what the union holds, so drop it unread.
        type = wkbEmpty;
        point = Point3D{0, 0, 0};
        return 1;
    }
    std::vector<GmItem> items = Decompose(*this);
    if (type == wkbLineString || type == wkbPolygon) items.clear();
    Rebuild(*this, items, SimplestType(items));
    return 1;
}

int GM_Object::ObjectNormalizing() {
    WalkParts(*this, [](LineString& l, bool, WKBPolygon*, int) {
        for (uint32_t k = 0; k < l.partCount && l.parts; ++k) static_cast<keloPoints&>(l.parts[k]).Normalizing();
        return false;
    });
    return 1;
}

int GM_Object::NormalizeInAndOutRings(int cw) {
    if (GetElementsType() != 4) return 0;
    bool all = true;
    WalkPolygons(*this, [&](WKBPolygon& p) {
        if (AsPolygon(p).IsClockwise() != (cw != 0)) all = false;
        return !all;
    });
    if (all) return 1;
    ClockwiseObj(0, cw);
    return 1;
}

int GM_Object::IsClockwised() const {
    int n = 0;
    const bool other = WalkPolygons(*this, [&](WKBPolygon& p) {
        ++n;
        return !AsPolygon(p).IsClockwise();
    });
    return n > 0 && !other ? 1 : 0;
}

int GM_Object::ClockwiseObj(int corner, int cw) {
    int n = 0;
    WalkPolygons(*this, [&](WKBPolygon& p) {
        AsPolygon(p).Clockwise(corner, cw);
        ++n;
        return false;
    });
    return n;
}

int GM_Object::NormalizePolygons(double eps) {
    int n = 0;
    WalkPolygons(*this, [&](WKBPolygon& p) {
        for (int r = 0; r < p.ringCount && p.rings; ++r) AsParts(p.rings[r]).Normalizing(eps, 31);
        ++n;
        return false;
    });
    return n;
}

int GM_Object::dimension() const {
    switch (type) {
    case wkbLineString:
    case wkbMultiLineString: return 1;
    case wkbPolygon:
    case wkbMultiPolygon:
    case wkbTin:
    case wkbGrid: return 2;
    case wkbGeometryCollection: {
        const int k = GetElementsType();
        return (k & 4) ? 2 : (k & 2) ? 1 : 0;
    }
    default: return 0;
    }
}

// ---- flat numbering ---------------------------------------------------------------------------

int GM_Object::GetPointCount() const {
    int n = 0;
    WalkPoints(*this, [&](Point3D&) { ++n; return false; });
    return n;
}

int GM_Object::GetPartsCount() const {
    int n = 0;
    WalkParts(*this, [&](LineString&, bool, WKBPolygon*, int) { ++n; return false; });
    return n;
}

keloParts* GM_Object::GetOriginalPartsAt(int* isRing, int i) const {
    if (i < 0) return nullptr;
    keloParts* found = nullptr;
    int k = 0;
    WalkParts(*this, [&](LineString& l, bool ring, WKBPolygon*, int) {
        if (k++ != i) return false;
        found = &AsParts(l);
        if (isRing) *isRing = ring ? 1 : 0;
        return true;
    });
    return found;
}

int GM_Object::IsHolePartsAt(int i) const {
    if (i < 0) return 0;
    int k = 0, hole = 0;
    WalkParts(*this, [&](LineString&, bool ring, WKBPolygon*, int r) {
        if (k++ != i) return false;
        hole = ring && r > 0;
        return true;
    });
    return hole;
}

int GM_Object::GetPolygonCount() const {
    int n = 0;
    WalkPolygons(*this, [&](WKBPolygon&) { ++n; return false; });
    return n;
}

keloPolygon* GM_Object::GetOriginalPolygonAt(int i) const {
    if (i < 0) return nullptr;
    keloPolygon* found = nullptr;
    int k = 0;
    WalkPolygons(*this, [&](WKBPolygon& p) {
        if (k++ != i) return false;
        found = &AsPolygon(p);
        return true;
    });
    return found;
}

int GM_Object::GetTinCount() const { return type == wkbTin ? static_cast<int>(tin.triangleCount) : 0; }
Triangle* GM_Object::GetTriangles() const { return type == wkbTin ? tin.triangles : nullptr; }
int GM_Object::GetGridVtxCount() const {
    return type == wkbGrid && grid.values ? static_cast<int>(grid.dimA * grid.dimB) : 0;
}
double* GM_Object::GetGridVtxValue() const { return type == wkbGrid ? grid.values : nullptr; }

// ---- access -------------------------------------------------------------------------------------

int GM_Object::GetPartsAt(keloParts& out, int i) const {
    keloParts* p = GetOriginalPartsAt(nullptr, i);
    if (!p) return 0;
    out = *p;
    return 1;
}

Point3D* GM_Object::GetPointAt(int i) const {
    if (i < 0) return nullptr;
    Point3D* found = nullptr;
    int k = 0;
    WalkPoints(*this, [&](Point3D& p) {
        if (k++ != i) return false;
        found = &p;
        return true;
    });
    return found;
}

int GM_Object::GetPointAt(Point3D& out, int i) const {
    Point3D* p = GetPointAt(i);
    if (!p) return 0;
    out = *p;
    return 1;
}

Point3D* GM_Object::GetVertexAt(int part, int vertex) const {
    keloParts* p = GetOriginalPartsAt(nullptr, part);
    return p ? p->GetPointByVertexAt(vertex) : nullptr;
}

int GM_Object::GetAuxPointCount() const {
    int n = 0;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        n += AsParts(l).GetAuxPointCount();
        return false;
    });
    return n;
}

int GM_Object::GetTotalPointCount() const { return GetPointCount() + GetAuxPointCount(); }

int GM_Object::GetPointNumber() const {
    int n = GetPointCount();
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        n += AsParts(l).GetVertexCount();
        return false;
    });
    return n;
}

int GM_Object::GetAllPoints(std::vector<Point3D>& out) const {
    const size_t before = out.size();
    WalkPoints(*this, [&](Point3D& p) { out.push_back(p); return false; });
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        AsParts(l).GetAllOriginalPoint(out);
        return false;
    });
    return static_cast<int>(out.size() - before);
}

int GM_Object::GetConcatPoints(std::vector<Point3D>& out) const {
    const size_t before = out.size();
    WalkPoints(*this, [&](Point3D& p) { out.push_back(p); return false; });
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        AsParts(l).GetAllVertex(out);
        return false;
    });
    return static_cast<int>(out.size() - before);
}

int GM_Object::ForEachPoint(PointCallback f, void* c1, void* c2, void* c3) {
    if (!f) return 0;
    int n = 0;
    WalkPoints(*this, [&](Point3D& p) {
        f(p, c1, c2, c3);
        ++n;
        return false;
    });
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        for (uint32_t k = 0; k < l.partCount && l.parts; ++k)
            for (uint32_t j = 0; j < l.parts[k].pointCount && l.parts[k].points; ++j) {
                f(l.parts[k].points[j], c1, c2, c3);
                ++n;
            }
        return false;
    });
    return n;
}

bool GM_Object::bWithCurve() const {
    return WalkParts(*this, [](LineString& l, bool, WKBPolygon*, int) { return AsParts(l).bWithCurve(); });
}

bool GM_Object::bWithCurveEx() const {
    return WalkParts(*this, [](LineString& l, bool, WKBPolygon*, int) { return AsParts(l).bWithCurveEx(); });
}

// ---- locating -------------------------------------------------------------------------------------

int GM_Object::LocatePointByIndex(int i, keloPoint** out) const {
    Point3D* p = GetPointAt(i);
    if (out) *out = static_cast<keloPoint*>(p);
    return p ? 1 : 0;
}

int GM_Object::LocateAuxPointByIndex(int i, keloPoint** out, int* part, int* index) const {
    if (out) *out = nullptr;
    if (i < 0) return 0;
    int k = 0, partNo = 0;
    Point3D* found = nullptr;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        int local = 0;
        for (uint32_t r = 0; r < l.partCount && l.parts; ++r)
            for (uint32_t j = 0; j < l.parts[r].pointCount && l.parts[r].points; ++j, ++local)
                if (k++ == i) {
                    found = &l.parts[r].points[j];
                    if (part) *part = partNo;
                    if (index) *index = local;
                    return true;
                }
        ++partNo;
        return false;
    });
    if (out) *out = static_cast<keloPoint*>(found);
    return found ? 1 : 0;
}

int GM_Object::LocateTotalPointByIndex(int i, keloPoint** out) const {
    const int n = GetPointCount();
    if (i < n) return LocatePointByIndex(i, out);
    return LocateAuxPointByIndex(i - n, out);
}

int GM_Object::LocatePointByPointValue(const Point3D& p, int& index, keloPoint** out) const {
    int k = 0;
    index = -1;
    Point3D* found = nullptr;
    WalkPoints(*this, [&](Point3D& q) {
        if (IsTwoPointXYEqual(p, q, g_epsZero)) {
            index = k;
            found = &q;
            return true;
        }
        ++k;
        return false;
    });
    if (out) *out = static_cast<keloPoint*>(found);
    return found ? 1 : 0;
}

int GM_Object::LocateAuxPointByPointValue(const Point3D& p, int& index, keloPoint** out) const {
    int k = 0;
    index = -1;
    Point3D* found = nullptr;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        for (uint32_t r = 0; r < l.partCount && l.parts; ++r)
            for (uint32_t j = 0; j < l.parts[r].pointCount && l.parts[r].points; ++j, ++k)
                if (IsTwoPointXYEqual(p, l.parts[r].points[j], g_epsZero)) {
                    index = k;
                    found = &l.parts[r].points[j];
                    return true;
                }
        return false;
    });
    if (out) *out = static_cast<keloPoint*>(found);
    return found ? 1 : 0;
}

}  // namespace kelo
