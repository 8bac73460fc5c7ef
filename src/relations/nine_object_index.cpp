// The index of a whole geometry object and its relations to another: the eight dimensions, the
// named relations by element kind, the simpler relation, and the touch and containment flags.
#include <cmath>
#include <memory>

#include "geometry/discrete.h"
#include "geometry/geometry_object.h"
#include "geometry/gmobject_detail.h"
#include "geometry/tolerance.h"
#include "relations/nine_detail.h"
#include "relations/nine_intersection.h"

namespace kelo {

int gz_nPgAContainPgB = 1;
int gz_nPointTouch = 0;
int gz_nLineTouch = 0;

void ResetTouchInfoEx() {
    gz_nPointTouch = 0;
    gz_nLineTouch = 0;
    gz_nPgAContainPgB = 1;
}
int GetPointTouchInfo() { return gz_nPointTouch; }
int GetLineTouchInfo() { return gz_nLineTouch; }
int GetPgAContainPgB() { return gz_nPgAContainPgB; }

std::string NineIntersectionText(const int dims[8]) {
    std::string s;
    for (int k = 0; k < 8; ++k) s += dims[k] < 0 ? 'F' : static_cast<char>('0' + dims[k]);
    s += '2';
    return s;
}

const char* NineIntersectionName(int result) {
    static const char* const names[] = {"disjoint", "equal",  "inside", "overlap",
                                        "touch",    "inside-touch", "boundary-touch"};
    return result >= 0 && result <= 6 ? names[result] : "none";
}

namespace {

using detail::Loc;

constexpr bool Has(int code, int bit) { return (code & bit) != 0; }

// Element kinds reduced to one dimension class: 0 points, 1 lines, 2 areas, 3 a mix, -1 none.
int KindClass(int kinds) {
    switch (kinds) {
    case 0: return -1;
    case 1: return 0;
    case 2: return 1;
    case 4: return 2;
    default: return 3;
    }
}

}  // namespace

C9iObjIndex::C9iObjIndex(const GM_Object* object) : m_object(object), m_geom(new detail::RelGeom) {
    if (!object) return;
    const int polygons = object->GetPolygonCount();
    for (int i = 0; i < polygons; ++i) {
        const keloPolygon* pg = object->GetOriginalPolygonAt(i);
        if (!pg) continue;
        std::vector<C9iPartsIndex*> rings;
        for (int r = 0; r < pg->GetRingsCount(); ++r) {
            auto* idx = new C9iPartsIndex;
            idx->SetIndex(pg->GetOriginalRingAt(r), 1);
            rings.push_back(idx);
        }
        if (rings.empty()) continue;
        m_lists.push_back(rings);
        detail::AddPolygon(*m_geom, rings);
    }
    m_polygons = static_cast<int>(m_lists.size());
    detail::ForEachOriginalParts(*object, [&](int, const keloParts& p, bool ring) {
        if (ring) return;
        auto* idx = new C9iPartsIndex;
        idx->SetIndex(&p, 0);
        m_lists.push_back({idx});
        detail::AddLine(*m_geom, idx);
    });
    // A directed point stands for its first point.
    const int points = object->IsDirectPoint() ? 1 : object->GetPointCount();
    for (int i = 0; i < points; ++i) {
        Point3D p{};
        if (object->GetPointAt(p, i) && std::isfinite(p.x) && std::isfinite(p.y)) m_geom->points.push_back(p);
    }
    m_geom->Finish();
    m_kinds = (m_geom->points.empty() ? 0 : 1) | (m_geom->lines.empty() ? 0 : 2) | (m_geom->polygons.empty() ? 0 : 4);
}

C9iObjIndex::~C9iObjIndex() {
    for (auto& list : m_lists)
        for (C9iPartsIndex* idx : list) delete idx;
    delete m_geom;
}

int C9iObjIndex::Dimension() const { return m_geom->Dimension(); }
Box C9iObjIndex::GetBox() const { return m_geom->box; }
int C9iObjIndex::IsBoxIntersectBox(const Box& box) const { return IsBoxIntersect(m_geom->box, box, 0); }
int C9iObjIndex::IsPointInBox(const Point3D& p) const { return m_geom->box.contain(p.x, p.y); }

int C9iObjIndex::Locate(const Point3D& p, double tol) const { return m_geom->Locate(p, tol); }

int C9iObjIndex::Get9iResult(int code, int& result) {
    const bool II = Has(code, k9iII), IB = Has(code, k9iIB), IE = Has(code, k9iIE), BI = Has(code, k9iBI),
               BB = Has(code, k9iBB), BE = Has(code, k9iBE), EI = Has(code, k9iEI), EB = Has(code, k9iEB);
    result = kl9iDisjoint;
    if (!II && !IB && !BI && !BB) return 1;
    if (!IE && !EI) {
        result = kl9iEqual;
        return 1;
    }
    if (!BI && !BB && !EI && !EB) {
        result = kl9iInside;
        gz_nPgAContainPgB = 1;
        return 1;
    }
    if (!IB && !IE && !BB && !BE) {
        result = kl9iInside;
        gz_nPgAContainPgB = 0;
        return 1;
    }
    if (II && IE && EI) {
        result = kl9iOverlap;
        return 1;
    }
    if ((II || IE || BI || BE) && (II || IB || EI || EB)) {
        if (IE && EI && !II && !BB && (IB || BI)) {
            result = kl9iTouch;
            return 1;
        }
        if (!II && (IB || BB) && (IE || BE) && (BI || BB) && (EI || EB)) {
            result = kl9iBoundaryTouch;
            return 1;
        }
        if ((IB || BB) && (II || BI) && !IE && !BE) {
            result = kl9iInsideTouch;
            gz_nPgAContainPgB = 0;
            return 1;
        }
        if ((II || IB) && (BI || BB) && !EI && !EB) {
            result = kl9iInsideTouch;
            gz_nPgAContainPgB = 1;
            return 1;
        }
        return 0;
    }
    result = kl9iTouch;
    return 1;
}

int C9iObjIndex::Get9i8BOOLEx(const GM_Object* b, double tol, int results[8]) {
    const C9iObjIndex ib(b);
    return EightDims(ib, tol, results);
}

int C9iObjIndex::EightDims(const C9iObjIndex& ib, double tol, int results[8]) {
    ResetTouchInfoEx();
    int m[3][3];
    detail::RelateMatrix(*m_geom, *ib.m_geom, tol, m);
    detail::MatrixToDims(m, results);
    int result = 0;
    Get9iResult(detail::DimsToCode(results), result);
    const int ka = KindClass(m_kinds), kb = KindClass(ib.m_kinds);
    if ((result == kl9iTouch || result == kl9iInsideTouch || result == kl9iBoundaryTouch) && (ka == 1 || ka == 2) &&
        (kb == 1 || kb == 2)) {
        // The cell where the two can meet without their interiors meeting.
        int cell = ka == 2 && kb == 2 ? m[1][1] : ka == 2 ? m[1][0] : kb == 2 ? m[0][1] : m[0][0];
        if (cell == 1) gz_nLineTouch = 1;
        else gz_nPointTouch = 1;
    }
    return result;
}

int C9iObjIndex::Get9i8BOOL(const GM_Object* b, double tol) {
    int dims[8];
    if (tol > g_epsLimit) tol = g_epsLimit;
    Get9i8BOOLEx(b, tol, dims);
    return detail::DimsToCode(dims);
}

int C9iObjIndex::Get9i8BOOLResult(const GM_Object* b, double tol) {
    int dims[8];
    Relate9i(*m_object, *b, tol, dims);
    return dims[0];
}

int C9iObjIndex::Get9i8BOOLResultExterior(const GM_Object* b, double tol) {
    int dims[8];
    Relate9i(*m_object, *b, tol, dims);
    return dims[6];
}

// The relation of two area objects combined polygon by polygon: an overlap anywhere decides, and
// otherwise the inner polygons of inside and equal pairs tell whether one object holds the other.
int C9iObjIndex::PolygonsRelation(const C9iObjIndex& b, double tol, const int dims[8]) {
    const auto& pa = m_geom->polygons;
    const auto& pb = b.m_geom->polygons;
    if (pa.size() == 1 && pb.size() == 1) {
        // One pair: its relation is the objects' own.
        int r = 0;
        Get9iResult(detail::DimsToCode(dims), r);
        return r;
    }
    std::vector<char> bitA(pa.size(), 0), bitB(pb.size(), 0);
    bool touching = false;
    for (size_t i = 0; i < pa.size(); ++i)
        for (size_t j = 0; j < pb.size(); ++j) {
            if (!IsBoxIntersect(m_geom->polygonBoxes[i], b.m_geom->polygonBoxes[j], tol)) continue;
            detail::RelGeom ga, gb;
            ga.polygons.push_back(pa[i]);
            ga.polygonBoxes.push_back(m_geom->polygonBoxes[i]);
            gb.polygons.push_back(pb[j]);
            gb.polygonBoxes.push_back(b.m_geom->polygonBoxes[j]);
            ga.Finish();
            gb.Finish();
            int m[3][3], dims[8], r = 0;
            detail::RelateMatrix(ga, gb, tol, m);
            detail::MatrixToDims(m, dims);
            Get9iResult(detail::DimsToCode(dims), r);
            if (r == kl9iOverlap) return kl9iOverlap;
            if (r == kl9iEqual || r == kl9iInsideTouch || r == kl9iBoundaryTouch || r == kl9iTouch) touching = true;
            if (r == kl9iEqual) bitA[i] = bitB[j] = 1;
            if (r == kl9iInside || r == kl9iInsideTouch) (gz_nPgAContainPgB ? bitB[j] : bitA[i]) = 1;
        }
    size_t a = 0, bb = 0;
    for (char c : bitA) a += c;
    for (char c : bitB) bb += c;
    if (a + bb == 0) return touching ? kl9iBoundaryTouch : kl9iDisjoint;
    if (a == bitA.size() && bb == bitB.size()) return kl9iEqual;
    if (a == bitA.size() || bb == bitB.size()) {
        gz_nPgAContainPgB = bb == bitB.size() ? 1 : 0;
        return touching ? kl9iInsideTouch : kl9iInside;
    }
    return kl9iOverlap;
}

int C9iObjIndex::RelateByKinds(const C9iObjIndex& b, double tol, const int dims[8]) {
    const int ka = KindClass(m_kinds), kb = KindClass(b.m_kinds);
    if (ka < 0 || kb < 0) return kl9iDisjoint;
    const detail::RelGeom &ga = *m_geom, &gb = *b.m_geom;
    if (ka == 0 && kb == 0) {
        // Points and points: which points of each side find a partner.
        size_t matchedA = 0, matchedB = 0;
        for (const Point3D& p : ga.points) matchedA += gb.IsPoint(p, tol);
        for (const Point3D& p : gb.points) matchedB += ga.IsPoint(p, tol);
        if (matchedA == 0) return kl9iDisjoint;
        const bool allA = matchedA == ga.points.size(), allB = matchedB == gb.points.size();
        if (allA && allB) return kl9iEqual;
        if (allA || allB) {
            gz_nPgAContainPgB = allB ? 1 : 0;
            return kl9iInside;
        }
        return kl9iTouch;
    }
    if ((ka == 1 || ka == 2) && kb == 0) {
        // Lines or areas and points: which points lie inside, on the boundary, outside.
        int flags = 0;
        for (const Point3D& p : gb.points) {
            const Loc loc = ka == 1 ? (ga.OnLines(p, tol) ? detail::kLocInterior : detail::kLocExterior) : ga.Locate(p, tol);
            flags |= loc == detail::kLocInterior ? 1 : loc == detail::kLocBoundary ? 2 : 4;
            if (ka == 1 && (flags & 1) && (flags & 4)) return kl9iTouch;
            if (ka == 2 && (flags & 1) && (flags & 4)) return kl9iOverlap;
        }
        gz_nPgAContainPgB = 1;
        if (ka == 1) return flags == 1 ? kl9iInside : kl9iDisjoint;
        switch (flags) {
        case 1: return kl9iInside;
        case 2: return kl9iTouch;
        case 3: return kl9iInsideTouch;
        case 6: return kl9iBoundaryTouch;
        default: return kl9iDisjoint;
        }
    }
    if (ka == 0 && (kb == 1 || kb == 2)) {
        // From B's side, with the direction turned round.
        int r = const_cast<C9iObjIndex&>(b).RelateByKinds(*this, tol, dims);
        if (r == kl9iInside || r == kl9iInsideTouch) gz_nPgAContainPgB = 0;
        return r;
    }
    if (ka == 2 && kb == 2) return PolygonsRelation(b, tol, dims);
    int r = 0;
    Get9iResult(detail::DimsToCode(dims), r);
    return r;
}

int C9iObjIndex::Get9iResultEx(const GM_Object* b, double tol, int* code, int dims[8]) {
    int local[8];
    int* d = dims ? dims : local;
    const C9iObjIndex ib(b);
    EightDims(ib, tol, d);
    if (code) *code = detail::DimsToCode(d);
    const int touchP = gz_nPointTouch, touchL = gz_nLineTouch;
    const int r = RelateByKinds(ib, tol, d);
    gz_nPointTouch = touchP;
    gz_nLineTouch = touchL;
    return r;
}

int C9iObjIndex::Get9iResult(const GM_Object* b, double tol) { return Get9iResultEx(b, tol, nullptr, nullptr); }

int C9iObjIndex::Get9iResult(const GM_Object* b, double tol, int& kindA, int& kindB) {
    kindA = m_kinds;
    kindB = b ? b->GetElementsType() : 0;
    return Get9iResultEx(b, tol, nullptr, nullptr);
}

int C9iObjIndex::Get9iResult(const Point3D& p, double tol) {
    const GM_Object point(p);
    return Get9iResult(&point, tol);
}

int C9iObjIndex::Get9iNewResultAll(const GM_Object* b, double tol, int* result9i) {
    int dims[8];
    const int r = Get9iResultEx(b, tol, nullptr, dims);
    if (result9i) *result9i = r;
    const bool contain = gz_nPgAContainPgB != 0;
    const int ka = KindClass(m_kinds);
    const int kb = KindClass(b ? b->GetElementsType() : 0);
    if (ka < 0 || kb < 0) return kl9iNewDisjoint;
    auto inside = [&] { return contain ? kl9iNewContains : kl9iNewWithin; };
    // Lower dimension against higher: the mapping is read from the other side, so contains and
    // within trade places; the direction flag already tells the side.
    const int lo = std::min(ka, kb), hi = std::max(ka, kb);
    if (lo == 0 && hi == 0) {
        if (r == kl9iEqual) return kl9iNewEqual;
        if (r == kl9iInside) return inside();
        return r == kl9iTouch ? kl9iNewIntersect : kl9iNewDisjoint;
    }
    if (lo == 0 && hi == 1) {
        if (r == kl9iInside) return inside();
        return r == kl9iTouch ? kl9iNewIntersect : kl9iNewDisjoint;
    }
    if (lo == 0 || (lo == 1 && hi == 2)) {
        if (r == kl9iInside) return inside();
        return r == kl9iOverlap || r == kl9iInsideTouch ? kl9iNewIntersect : kl9iNewDisjoint;
    }
    if (lo == 2) {
        if (r == kl9iEqual) return kl9iNewEqual;
        if (r == kl9iOverlap) return kl9iNewIntersect;
        if (r == kl9iInside || r == kl9iInsideTouch) return inside();
        return kl9iNewDisjoint;
    }
    // Lines with lines, and mixed collections: any meeting of interiors intersects.
    if (r == kl9iEqual) return kl9iNewEqual;
    if (r == kl9iInside || r == kl9iInsideTouch) return inside();
    return dims[0] >= 0 ? kl9iNewIntersect : kl9iNewDisjoint;
}

int C9iObjIndex::Get9iNewResult(const GM_Object* b, double tol) { return Get9iNewResultAll(b, tol, nullptr); }

int C9iObjIndex::IsOutsideOf(const GM_Object* b, double tol) {
    int dims[8];
    Relate9i(*m_object, *b, tol, dims);
    return dims[0] < 0 && dims[1] < 0 && dims[3] < 0 && dims[4] < 0 ? 1 : 0;
}

GM_Object* C9iObjIndex::Normal9iObject(const GM_Object* object, int repair) {
    if (!object) return nullptr;
    GM_Object* copy = nullptr;
    if (object->bWithCurveEx()) {
        copy = new GM_Object(*object);
        copy->Discrete(klDPSpline | klDPBezier | klDPEllipse);
    }
    if (repair) {
        const double eps = 3 * g_epsZero;
        const GM_Object* src = copy ? copy : object;
        bool bad = false;
        detail::WalkParts(*src, [&](LineString& l, bool, WKBPolygon*, int) {
            bad = !detail::AsParts(l).IsNormal(eps, 15);
            return bad;
        });
        if (bad) {
            if (!copy) copy = new GM_Object(*object);
            detail::ForEachOriginalParts(*copy, [&](int, keloParts& p, bool) {
                for (int k = 0; k < p.GetPartsCount(); ++k) p.GetOriginalPointsAt(k)->Normalizing(eps, 12);
            });
        }
    }
    return copy;
}

void Relate9i(const GM_Object& a, const GM_Object& b, double tol, int dims[8]) {
    C9iObjIndex ia(&a), ib(&b);
    int m[3][3];
    detail::RelateMatrix(ia.Geom(), ib.Geom(), tol, m);
    detail::MatrixToDims(m, dims);
}

}  // namespace kelo
