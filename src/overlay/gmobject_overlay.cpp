// The geometry object's set members, thin entries into the record-level area overlay, and its
// trimming by areas and by lines.
#include <memory>

#include "geometry/geometry_object.h"
#include "geometry/gmobject_detail.h"
#include "geometry/tolerance.h"
#include "overlay/arc_polygon.h"
#include "overlay/boolean_overlay.h"
#include "overlay/line_handler.h"
#include "overlay/overlay_detail.h"
#include "relations/nine_intersection.h"

namespace kelo {

namespace {

// Union and intersection are symmetric; the larger area goes second, so the fast path's
// containment test runs from the smaller operand's side.
int Ordered(const GM_Object* self, const GM_Object* other, uint32_t op, std::vector<WKBGeometry*>& out) {
    if (!other) return 0;
    const bool selfSecond = self->GetArea() >= other->GetArea();
    return selfSecond ? BoolOpWKBGeometry(other, self, op, out) : BoolOpWKBGeometry(self, other, op, out);
}

}  // namespace

int GM_Object::setUnion(const GM_Object* other, std::vector<WKBGeometry*>& out) const {
    return Ordered(this, other, kBoolUnion, out);
}

int GM_Object::setIntersection(const GM_Object* other, std::vector<WKBGeometry*>& out) const {
    return Ordered(this, other, kBoolIntersection, out);
}

int GM_Object::setDifference(const GM_Object* other, std::vector<WKBGeometry*>& out) const {
    return other ? BoolOpWKBGeometry(this, other, kBoolDifference, out) : 0;
}

int GM_Object::setSymmetricDifference(const GM_Object* other, std::vector<WKBGeometry*>& out) const {
    return other ? BoolOpWKBGeometry(other, this, kBoolSymDifference, out) : 0;
}

}  // namespace kelo

// ---- trimming ------------------------------------------------------------------------------------

namespace kelo {

namespace {

// The object's members of one kind, as an object of their own.
GM_Object AreasOf(const GM_Object& g) {
    detail::PolygonList polys;
    detail::AppendPolygons(g, polys);
    GM_Object out;
    detail::SetPolygons(out, polys);
    return out;
}

GM_Object LinesOf(const GM_Object& g) {
    GM_Object out;
    detail::ForEachOriginalParts(g, [&](int, const keloParts& p, bool isRing) {
        if (!isRing) out.InsertPartsAt(p, -1, 0);
    });
    return out;
}

Point3D Middle(const CsSegment& s) {
    if (s.Is3PArc()) return s.points[1];
    return Point3D{(s.points[0].x + s.points[1].x) / 2, (s.points[0].y + s.points[1].y) / 2, 0};
}

// Copies of the object's members and of the cutter, ready for noding, with an index that tells
// which pieces lie on the object's own lines or rings.
struct Cut {
    GM_Object own, by;
    std::unique_ptr<C9iObjIndex> index;
    Cut(const GM_Object& mine, const GM_Object& cutter) : own(mine), by(cutter) {
        detail::MakeNodable(own);
        detail::MakeNodable(by);
        index = std::make_unique<C9iObjIndex>(&own);
    }
    bool Mine(const Point3D& p) const { return index->Locate(p, g_epsZero) != 2; }
    // Both sets of lines noded together.
    void Node(CLineHandler& handler) const {
        handler.AddGeometry(&own);
        handler.AddGeometry(&by);
        handler.OrOverLines(0);
    }
};

// The lines noded against the cutter's rings; inside(m) says which side a piece with middle m
// goes to. The pieces of each side are chained into lines.
template <class Inside>
void CutLines(const GM_Object& lines, const GM_Object& cutter, Inside inside, GM_Object side[2]) {
    const Cut cut(lines, cutter);
    CLineHandler handler(g_epsZero);
    cut.Node(handler);
    std::vector<CsSegment> pieces[2];
    for (int i = 0; i < handler.GetSegmentCount(); ++i) {
        CsSegment s;
        handler.GetSegmentAt(i, s);
        const Point3D m = Middle(s);
        if (cut.Mine(m)) pieces[inside(m) ? 0 : 1].push_back(s);
    }
    for (int k = 0; k < 2; ++k) {
        std::vector<keloParts*> parts;
        CombineSegments2Parts(pieces[k].data(), static_cast<int>(pieces[k].size()), parts);
        for (keloParts* p : parts) {
            side[k].InsertPartsAt(*p, -1, 0);
            delete p;
        }
    }
}

int Emit(GM_Object* pieces, int n, std::vector<GM_Object*>& out) {
    int made = 0;
    for (int i = 0; i < n; ++i)
        if (!pieces[i].isEmpty()) {
            out.push_back(new GM_Object(pieces[i]));
            ++made;
        }
    return made;
}

}  // namespace

int GM_Object::TrimmingByPolygon(const GM_Object& polygon, std::vector<GM_Object*>& out) const {
    const GM_Object area = AreasOf(polygon);
    if (area.isEmpty()) return 0;
    GM_Object side[2];  // inside, outside
    const GM_Object mine = AreasOf(*this);
    if (!mine.isEmpty()) {
        std::vector<GM_Object> parts;
        BoolOp2DObjects(&mine, &area, kBoolSplit, parts);
        for (int k = 0; k < 2 && parts.size() == 3; ++k) side[k] = parts[static_cast<size_t>(k)];
    }
    C9iObjIndex areaIndex(&area);
    auto inside = [&](const Point3D& p) { return areaIndex.Locate(p, g_epsZero) != 2; };
    const GM_Object lines = LinesOf(*this);
    if (!lines.isEmpty()) CutLines(lines, area, inside, side);
    for (int i = 0; i < GetPointCount(); ++i) side[inside(*GetPointAt(i)) ? 0 : 1].InsertPointAt(*GetPointAt(i), -1);
    return Emit(side, 2, out);
}

int GM_Object::TrimmingByObject(const GM_Object& cutter, std::vector<GM_Object*>& out) const {
    if (cutter.GetPolygonCount() > 0) return TrimmingByPolygon(cutter, out);
    const GM_Object knife = LinesOf(cutter);
    if (knife.isEmpty()) return 0;
    int made = 0;
    // Areas fall apart into the faces the knife cuts them into.
    const GM_Object mine = AreasOf(*this);
    if (!mine.isEmpty()) {
        const Cut cut(mine, knife);
        CKeloMakeArcPolygon faces(g_epsZero);
        faces.AddGeometry(&cut.own);
        faces.AddGeometry(&cut.by);
        faces.Solve();
        keloPolygon face;
        for (int f = 0; f + 1 < faces.GetPolygonCount(); ++f) {
            double x = 0, y = 0, z = 0;
            if (!faces.GetPolygon(f, face) || !innerPoint(face, x, y, z, 2 * g_epsZero, 0)) continue;
            if (cut.index->Locate(Point3D{x, y, 0}, g_epsZero) != 0) continue;
            out.push_back(new GM_Object(face));
            ++made;
        }
    }
    // Lines fall apart at the knife: its pieces go along, so that chains break where it crosses.
    const GM_Object lines = LinesOf(*this);
    if (!lines.isEmpty()) {
        const Cut cut(lines, knife);
        CLineHandler handler(g_epsZero);
        cut.Node(handler);
        int count = 0;
        CsSegment* segs = nullptr;
        handler.GetSegments(count, segs);
        std::vector<keloParts*> chains;
        CombineSegments2Parts(segs, count, chains);
        delete[] segs;
        for (keloParts* chain : chains) {
            CsSegment first;
            GM_Object piece(*chain, 0);
            if (piece.GetSegment(0, 0, first) && cut.Mine(Middle(first))) {
                out.push_back(new GM_Object(piece));
                ++made;
            }
            delete chain;
        }
    }
    return made;
}

}  // namespace kelo
