// Editing the geometry object. Every edit that can change the type works on a deep copy of the
// content split into simple members, then frees the record and builds the new one from the copy,
// so a failed or partial edit never leaves a half-built record behind.
#include <algorithm>
#include <cmath>

#include "companion/gbk.h"
#include "companion/ui.h"
#include "geometry/geometry_object.h"
#include "geometry/gmobject_detail.h"
#include "geometry/tolerance.h"

namespace kelo {

using namespace detail;

namespace {

int CountKind(const std::vector<GmItem>& items, int kind) {
    return static_cast<int>(std::count_if(items.begin(), items.end(), [&](const GmItem& it) { return it.kind == kind; }));
}

// Position in items of the k-th item of a kind; items.size() when there is none.
size_t ItemOfKind(const std::vector<GmItem>& items, int kind, int k) {
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].kind == kind && k-- == 0) return i;
    return items.size();
}

struct PartPos {
    size_t item = 0;  // position in the member list
    int polygon = -1; // polygon number, -1 for a line
    int ring = -1;    // ring within the polygon, -1 for a line
};

// The member holding flat part index i; false when i is out of range.
bool FindPart(const std::vector<GmItem>& items, int i, PartPos& pos) {
    if (i < 0) return false;
    int k = 0, polyNo = 0;
    for (size_t m = 0; m < items.size(); ++m) {
        const GmItem& it = items[m];
        if (it.kind == 2) {
            if (k++ == i) {
                pos = PartPos{m, -1, -1};
                return true;
            }
        } else if (it.kind == 3) {
            const int n = it.poly.GetRingsCount();
            if (i < k + n) {
                pos = PartPos{m, polyNo, i - k};
                return true;
            }
            k += n;
            ++polyNo;
        }
    }
    return false;
}

int TotalParts(const std::vector<GmItem>& items) {
    int n = 0;
    for (const GmItem& it : items) n += it.kind == 2 ? 1 : it.kind == 3 ? it.poly.GetRingsCount() : 0;
    return n;
}

keloParts ClosedCopy(const keloParts& parts) {
    keloParts ring(parts);
    if (!ring.IsClosed()) ring.MakeClose();
    return ring;
}

GmItem PolygonItem(const keloPolygon& poly) {
    GmItem it;
    it.kind = 3;
    it.poly = poly;
    return it;
}

}  // namespace

// ---- locating ---------------------------------------------------------------------------------------
// member: position in the list of simple members (multi forms expanded); -1 where not applicable.

int GM_Object::LocatePointForInsertion(int index, int& member, int& pointNo) const {
    member = pointNo = -1;
    if (index < -1 || !Decomposable(*this)) return 0;
    const std::vector<GmItem> items = Decompose(*this);
    const int n = CountKind(items, 1);
    if (index == -1 || index >= n) {
        member = static_cast<int>(items.size());
        pointNo = n;
    } else {
        member = static_cast<int>(ItemOfKind(items, 1, index));
        pointNo = index;
    }
    return 1;
}

int GM_Object::LocatePointForDeletion(int index, int& member, int& pointNo) const {
    member = pointNo = -1;
    if (index < 0 || !Decomposable(*this)) return 0;
    const std::vector<GmItem> items = Decompose(*this);
    if (index >= CountKind(items, 1)) return 0;
    member = static_cast<int>(ItemOfKind(items, 1, index));
    pointNo = index;
    return 1;
}

int GM_Object::LocatePointForReplace(int index, int& member, int& pointNo) const {
    return LocatePointForDeletion(index, member, pointNo);
}

int GM_Object::LocatePartsForInsertion(int index, int asRing, int& member, int& polygonNo, int& part) const {
    member = polygonNo = part = -1;
    if (index < -1 || !Decomposable(*this)) return 0;
    const std::vector<GmItem> items = Decompose(*this);
    const int n = TotalParts(items);
    PartPos pos;
    if (index == -1 || index >= n || !FindPart(items, index, pos)) {
        member = static_cast<int>(items.size());
        if (asRing && (type == wkbPolygon || type == wkbMultiPolygon) && CountKind(items, 3) > 0) {
            // Appending a hole goes to the last polygon.
            polygonNo = CountKind(items, 3) - 1;
            member = static_cast<int>(ItemOfKind(items, 3, polygonNo));
            part = items[static_cast<size_t>(member)].poly.GetRingsCount();
        }
        return 1;
    }
    member = static_cast<int>(pos.item);
    polygonNo = pos.polygon;
    part = pos.ring;
    return 1;
}

int GM_Object::LocatePartsForDeletion(int index, int& member, int& polygonNo, int& part) const {
    member = polygonNo = part = -1;
    if (!Decomposable(*this)) return 0;
    const std::vector<GmItem> items = Decompose(*this);
    PartPos pos;
    if (!FindPart(items, index, pos)) return 0;
    member = static_cast<int>(pos.item);
    polygonNo = pos.polygon;
    part = pos.ring;
    return 1;
}

int GM_Object::LocatePartsForReplace(int index, int& member, int& polygonNo, int& part) const {
    return LocatePartsForDeletion(index, member, polygonNo, part);
}

// ---- points ------------------------------------------------------------------------------------------

int GM_Object::InsertPointAt(const Point3D& p, int i) {
    int member = -1, pointNo = -1;
    if (!LocatePointForInsertion(i, member, pointNo)) return 0;
    const wkbGeometryType old = type;
    std::vector<GmItem> items = Decompose(*this);
    GmItem it;
    it.kind = 1;
    it.pt = p;
    items.insert(items.begin() + member, std::move(it));
    const bool pointsOnly = old == wkbEmpty || old == wkbPoint || old == wkbMultiPoint;
    Rebuild(*this, items, pointsOnly ? (items.size() == 1 ? wkbPoint : wkbMultiPoint) : wkbGeometryCollection);
    return 1;
}

int GM_Object::ReplacePointAt(const Point3D& p, int i) {
    Point3D* q = GetPointAt(i);
    if (!q) return 0;
    *q = p;
    return 1;
}

int GM_Object::DeletePointAt(int i) {
    int member = -1, pointNo = -1;
    if (!LocatePointForDeletion(i, member, pointNo)) return 0;
    std::vector<GmItem> items = Decompose(*this);
    items.erase(items.begin() + member);
    Rebuild(*this, items, SimplestType(items));
    return 1;
}

// ---- parts ---------------------------------------------------------------------------------------------

int GM_Object::InsertPartsAt(const keloParts& parts, int i, int asRing) {
    if (parts.partCount == 0) return 0;
    int member = -1, polygonNo = -1, ring = -1;
    if (!LocatePartsForInsertion(i, asRing, member, polygonNo, ring)) return 0;
    const wkbGeometryType old = type;
    std::vector<GmItem> items = Decompose(*this);
    wkbGeometryType t = wkbGeometryCollection;
    if (!asRing) {
        GmItem it;
        it.kind = 2;
        it.line = parts;
        items.insert(items.begin() + member, std::move(it));
        if (old == wkbEmpty) t = wkbLineString;
        else if (old == wkbLineString || old == wkbMultiLineString) t = wkbMultiLineString;
    } else if (old == wkbEmpty) {
        items.push_back(PolygonItem(keloPolygon(ClosedCopy(parts))));
        t = wkbPolygon;
    } else if ((old == wkbPolygon || old == wkbMultiPolygon) && polygonNo >= 0) {
        // A hole of the polygon holding the index; it never displaces the outer ring.
        keloPolygon& poly = items[static_cast<size_t>(member)].poly;
        const keloParts ringCopy = ClosedCopy(parts);
        const int at = std::max(1, ring);
        auto* grown = new LineString[static_cast<size_t>(poly.GetRingsCount() + 1)]();
        int k = 0;
        for (int r = 0; r < poly.GetRingsCount(); ++r) {
            if (r == at) CopyWKBLineString(grown[k++], ringCopy);
            CopyWKBLineString(grown[k++], poly.rings[r]);
        }
        if (at >= poly.GetRingsCount()) CopyWKBLineString(grown[k++], ringCopy);
        poly.Attach(k, grown);
        t = old;
    } else {
        items.insert(items.begin() + member, PolygonItem(keloPolygon(ClosedCopy(parts))));
    }
    Rebuild(*this, items, t);
    return 1;
}

int GM_Object::ReplacePartsAt(const keloParts& parts, int i) {
    LineString* target = GetOriginalPartsAt(nullptr, i);
    if (!target) return 0;
    LineString copy{0, nullptr};
    CopyWKBLineString(copy, parts);
    DeleteWKBLineString(target);
    *target = copy;
    return 1;
}

int GM_Object::DeletePartsAt(int i) {
    int member = -1, polygonNo = -1, ring = -1;
    if (!LocatePartsForDeletion(i, member, polygonNo, ring)) return 0;
    std::vector<GmItem> items = Decompose(*this);
    GmItem& it = items[static_cast<size_t>(member)];
    // Deleting an outer ring lets the next ring stand as the outer one, so each deletion removes
    // exactly one part from the flat numbering.
    if (it.kind == 3) it.poly.DeleteRingAt(ring);
    if (it.kind == 2 || it.poly.GetRingsCount() == 0) items.erase(items.begin() + member);
    Rebuild(*this, items, SimplestType(items));
    return 1;
}

// ---- polygons ---------------------------------------------------------------------------------------

int GM_Object::InsertPolygon(const keloPolygon& poly) {
    if (poly.GetRingsCount() == 0 || !Decomposable(*this)) return 0;
    const wkbGeometryType old = type;
    std::vector<GmItem> items = Decompose(*this);
    items.push_back(PolygonItem(poly));
    wkbGeometryType t = wkbGeometryCollection;
    if (old == wkbEmpty) t = wkbPolygon;
    else if (old == wkbPolygon || old == wkbMultiPolygon) t = wkbMultiPolygon;
    Rebuild(*this, items, t);
    return 1;
}

int GM_Object::ReplacePolygonAt(const keloPolygon& poly, int i) {
    WKBPolygon* target = GetOriginalPolygonAt(i);
    if (!target) return 0;
    WKBPolygon copy{0, nullptr};
    CopyWKBPolygon(copy, poly);
    DeleteWKBPolygon(target);
    *target = copy;
    return 1;
}

int GM_Object::DeletePolygonAt(int i) {
    if (i < 0 || i >= GetPolygonCount() || !Decomposable(*this)) return 0;
    std::vector<GmItem> items = Decompose(*this);
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(ItemOfKind(items, 3, i)));
    Rebuild(*this, items, SimplestType(items));
    return 1;
}

// ---- vertices -----------------------------------------------------------------------------------------

int GM_Object::InsertVertexAt(int part, int v, const Point3D& p) {
    keloParts* l = GetOriginalPartsAt(nullptr, part);
    if (!l) return 0;
    int run = -1, index = -1;
    if (v >= 0 && v < l->GetVertexCount() && l->GetPointByVertexAt(v, &run, &index)) {
        keloPoints* r = l->GetOriginalPointsAt(run);
        return r ? r->InsertPointAt(p, index) : 0;
    }
    if (v < -1) return 0;
    return l->InsertPoint(p);
}

int GM_Object::DeleteVertexAt(int part, int v) {
    keloParts* l = GetOriginalPartsAt(nullptr, part);
    return l ? l->DeleteVertexAt(v) : 0;
}

int GM_Object::ReplaceVertexAt(int part, int v, const Point3D& p) {
    keloParts* l = GetOriginalPartsAt(nullptr, part);
    return l ? l->ReplaceVertexAt(v, p) : 0;
}

int GM_Object::ModifyPoint(const Point3D* p, const Point3D& value) {
    if (!p) return 0;
    int done = 0;
    ForEachPoint([](Point3D& q, void* target, void* val, void* flag) {
        if (&q == target) {
            q = *static_cast<const Point3D*>(val);
            *static_cast<int*>(flag) = 1;
        }
    }, const_cast<Point3D*>(p), const_cast<Point3D*>(&value), &done);
    return done;
}

int GM_Object::DeletePoint(const Point3D* p) {
    if (!p) return 0;
    int k = 0, found = -1;
    WalkPoints(*this, [&](Point3D& q) {
        if (&q == p) found = k;
        ++k;
        return found >= 0;
    });
    if (found >= 0) return DeletePointAt(found);
    int done = 0;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        for (uint32_t r = 0; r < l.partCount && l.parts; ++r) {
            CurveSegment& run = l.parts[r];
            if (run.pointCount && p >= run.points && p < run.points + run.pointCount) {
                done = static_cast<keloPoints&>(run).DeletePointAt(static_cast<int>(p - run.points));
                return true;
            }
        }
        return false;
    });
    return done;
}

// ---- whole object -----------------------------------------------------------------------------------------

int GM_Object::CloseGeom() {
    int n = 0;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        if (!AsParts(l).IsClosed()) n += AsParts(l).MakeClose() ? 1 : 0;
        return false;
    });
    return n;
}

int GM_Object::Change2Point() {
    if (!Decomposable(*this)) return 0;
    std::vector<Point3D> pts;
    GetConcatPoints(pts);
    if (pts.empty()) return 0;
    std::vector<GmItem> items(pts.size());
    for (size_t i = 0; i < pts.size(); ++i) {
        items[i].kind = 1;
        items[i].pt = pts[i];
    }
    Rebuild(*this, items, SimplestType(items));
    return 1;
}

int GM_Object::OffsetAllPoints(const Point3D& d) {
    return ForEachPoint([](Point3D& p, void* c, void*, void*) { _OffsetKeloPoint(p, *static_cast<Point3D*>(c)); },
                        const_cast<Point3D*>(&d));
}

int GM_Object::RotateAllPoints(const Point3D& c, double angle) {
    return ForEachPoint([](Point3D& p, void* centre, void* a, void*) {
        _RotateKeloPoint(p, *static_cast<Point3D*>(centre), *static_cast<double*>(a));
    }, const_cast<Point3D*>(&c), &angle);
}

int GM_Object::MirrorAllPoints(const Point3D& a, const Point3D& b) {
    return ForEachPoint([](Point3D& p, void* pa, void* pb, void*) {
        _MirrorKeloPoint(p, *static_cast<Point3D*>(pa), *static_cast<Point3D*>(pb));
    }, const_cast<Point3D*>(&a), const_cast<Point3D*>(&b));
}

void GM_Object::transform(double dx, double dy, const Point3D& c, double angle, double sx, double sy) {
    struct Args {
        double dx, dy, angle, sx, sy;
        Point3D c;
    } args{dx, dy, angle, sx, sy, c};
    ForEachPoint([](Point3D& p, void* v, void*, void*) {
        const Args& a = *static_cast<Args*>(v);
        _TransformKeloPoint(p, a.dx, a.dy, a.c, a.angle, a.sx, a.sy);
    }, &args);
}

int GM_Object::Combine(const GM_Object* other) {
    return Combine(std::vector<GM_Object*>{const_cast<GM_Object*>(other)});
}

namespace {

bool HasLineItem(const std::vector<GmItem>& items) {
    return std::any_of(items.begin(), items.end(), [](const GmItem& it) { return it.kind == 2; });
}

}  // namespace

int GM_Object::Combine(const std::vector<GM_Object*>& others) {
    if (!Decomposable(*this)) return 0;
    std::vector<GmItem> items = Decompose(*this);
    std::vector<std::vector<GmItem>> adds;
    adds.reserve(others.size());
    bool lines = HasLineItem(items);
    for (const GM_Object* o : others) {
        if (!o || !Decomposable(*o)) continue;
        adds.push_back(Decompose(*o));
        lines = lines || HasLineItem(adds.back());
    }
    if (adds.empty()) return 0;
    if (lines) {
        // Chaining lines end to end after each object is order dependent: keep that order.
        int n = 0;
        for (const GM_Object* o : others) {
            if (!o || !Decomposable(*this) || !Decomposable(*o)) continue;
            const std::vector<GmItem> add = Decompose(*o);
            for (const GmItem& it : add) {
                if (it.kind == 1) InsertPointAt(it.pt, -1);
                else if (it.kind == 2) InsertPartsAt(it.line, -1, 0);
                else InsertPolygon(it.poly);
            }
            PutGMInOrder();
            ++n;
        }
        return n;
    }
    // Points and polygons only: appending member by member and tidying after each object ends in
    // the simplest type that holds them all, so build that once instead of once per member.
    for (std::vector<GmItem>& add : adds)
        for (GmItem& it : add)
            if (it.kind != 3 || it.poly.GetRingsCount() > 0) items.push_back(std::move(it));
    Rebuild(*this, items, SimplestType(items));
    return static_cast<int>(adds.size());
}

int GM_Object::DeleteKeloPartsWithRef(const GM_Object& ref) {
    if (!Decomposable(*this)) return 0;
    std::vector<LineString*> refLines;
    ImportLineString(ref, refLines);
    std::vector<GmItem> items = Decompose(*this);
    const size_t before = items.size();
    items.erase(std::remove_if(items.begin(), items.end(),
                               [&](const GmItem& it) { return it.kind == 2 && LineStringInArray(&it.line, refLines) >= 0; }),
                items.end());
    const int removed = static_cast<int>(before - items.size());
    if (removed) Rebuild(*this, items, SimplestType(items));
    return removed;
}

// ---- conversions ---------------------------------------------------------------------------------------------

int GM_Object::Polyline2Polygon() {
    if (type != wkbLineString && type != wkbMultiLineString) return 0;
    std::vector<GmItem> items = Decompose(*this);
    std::vector<GmItem> polys;
    for (GmItem& it : items) {
        if (it.line.GetVertexCount() < 2) continue;
        polys.push_back(PolygonItem(keloPolygon(ClosedCopy(it.line))));
    }
    if (polys.empty()) return 0;
    Rebuild(*this, polys, SimplestType(polys));
    return 1;
}

int GM_Object::Polygon2Polyline() {
    if (type != wkbPolygon && type != wkbMultiPolygon) return 0;
    std::vector<GmItem> items = Decompose(*this);
    std::vector<GmItem> lines;
    for (GmItem& it : items)
        for (int r = 0; r < it.poly.GetRingsCount(); ++r) {
            GmItem l;
            l.kind = 2;
            l.line = *it.poly.GetOriginalRingAt(r);
            lines.push_back(std::move(l));
        }
    if (lines.empty()) return 0;
    Rebuild(*this, lines, SimplestType(lines));
    return 1;
}

int GM_Object::Explode2Line(std::vector<GM_Object*>& out) const {
    const size_t before = out.size();
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        std::vector<keloPoints*> pieces;
        AsParts(l).Explode2Line(pieces);
        for (keloPoints* piece : pieces) {
            auto* g = new GM_Object;
            g->Create(*piece);
            out.push_back(g);
            delete piece;
        }
        return false;
    });
    return static_cast<int>(out.size() - before);
}

int GM_Object::Discrete(int32_t mask) {
    int n = 0;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        n += AsParts(l).Discrete(mask);
        return false;
    });
    return n;
}

int GM_Object::ConvertToBezier(int32_t mask) {
    int n = 0;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        n += AsParts(l).ConvertToBezier(mask);
        return false;
    });
    return n;
}

int GM_Object::Change2SmoothPolyline() {
    // Straight runs of three or more points become cardinal splines through the same points.
    int n = 0;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        for (uint32_t r = 0; r < l.partCount && l.parts; ++r)
            if (l.parts[r].lineType == klLTPolyline && l.parts[r].pointCount >= 3) {
                l.parts[r].lineType = klLTSpline;
                ++n;
            }
        return false;
    });
    return n;
}

int GM_Object::PutGMInOrder() {
    if (!Decomposable(*this)) return 0;
    std::vector<GmItem> items = Decompose(*this);
    std::vector<GmItem> out;
    for (GmItem& it : items) {
        if (it.kind != 2) {
            out.push_back(std::move(it));
            continue;
        }
        // Each connected chain of the line's runs becomes a line of its own.
        while (it.line.partCount > 0) {
            keloParts* chain = it.line.PutInOrder();
            if (!chain) break;
            GmItem l;
            l.kind = 2;
            l.line = std::move(*chain);
            delete chain;
            if (l.line.partCount) out.push_back(std::move(l));
        }
    }
    // Lines touching end to end are joined, so a combined object holds the fewest lines.
    for (bool merged = true; merged;) {
        merged = false;
        for (size_t i = 0; i < out.size() && !merged; ++i) {
            if (out[i].kind != 2 || out[i].line.IsClosed()) continue;
            for (size_t j = i + 1; j < out.size(); ++j) {
                if (out[j].kind != 2 || out[j].line.IsClosed()) continue;
                if (out[i].line.MergeWithAnother(out[j].line, nullptr)) {
                    out.erase(out.begin() + static_cast<std::ptrdiff_t>(j));
                    merged = true;
                    break;
                }
            }
        }
    }
    Rebuild(*this, out, SimplestType(out));
    return 1;
}

int GM_Object::PutGMInOtherOrder() {
    // The same chains, each running the other way.
    if (!PutGMInOrder()) return 0;
    WalkParts(*this, [](LineString& l, bool ring, WKBPolygon*, int) {
        if (!ring) AsParts(l).Reverse();
        return false;
    });
    return 1;
}

int GM_Object::Modify3PArc() {
    int n = 0;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        for (uint32_t r = 0; r < l.partCount && l.parts; ++r)
            n += static_cast<keloPoints&>(l.parts[r]).Adj3PArcMiddlePt(-1, g_epsZero);
        return false;
    });
    return n;
}

int GM_Object::Restore3PArc() {
    int n = 0;
    WalkParts(*this, [&](LineString& l, bool, WKBPolygon*, int) {
        for (uint32_t r = 0; r < l.partCount && l.parts; ++r) n += static_cast<keloPoints&>(l.parts[r]).Restore3PArc();
        return false;
    });
    return n;
}

// ---- type normalising helpers that edit --------------------------------------------------------------------

int GM_Object::Normalizing(double, int) {
    AfxMessageBox2(KELO_GBK("尚未实现\n请使用 data neaten 函数").c_str());
    return 0;
}

}  // namespace kelo
