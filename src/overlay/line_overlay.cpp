// The line overlay, stretch by stretch with the overlap calculator, and the folds over lists.
// Segments only combine where they run along each other; crossing lines are kept whole.
#include <vector>

#include "geometry/discrete.h"
#include "geometry/tolerance.h"
#include "overlay/boolean_overlay.h"
#include "overlay/line_handler.h"
#include "overlay/overlay_detail.h"
#include "overlay/slip_cal.h"

namespace kelo {

namespace {

template <class F>
void ForEachSegment(const GM_Object& g, F f) {
    detail::ForEachLine(g, [&](LineString& l) {
        for (uint32_t s = 0; s < l.partCount && l.parts; ++s) {
            CurveSegment* run = &l.parts[s];
            const int n = GetSegmentCount(static_cast<int>(run->pointCount), run->lineType);
            for (int i = 0; i < n; ++i) f(CsSegment(run, i));
        }
    });
}

// The segments the calculator still holds.
std::vector<CsSegment> Survivors(CSlipCal& cal) {
    std::vector<CsSegment> out;
    for (int i = 0; i < cal.GetSegmentCount(); ++i) {
        CsSegment s;
        if (cal.GetSegmentAt(i, s)) out.push_back(s);
    }
    return out;
}

void Lines(std::vector<CsSegment> segs, const Point3D& back, GM_Object& out) {
    std::vector<keloParts*> parts;
    CombineSegments2Parts(segs.data(), static_cast<int>(segs.size()), parts);
    for (keloParts* p : parts) {
        out.InsertPartsAt(*p, -1, 0);
        delete p;
    }
    out.OffsetAllPoints(back);
}

}  // namespace

int BoolOp1DGeometry(const GM_Object* a, const GM_Object* b, uint32_t op, double tol, GM_Object& out) {
    if (!a || !b || a->GetPartsCount() == 0 || b->GetPartsCount() == 0) return 0;
    if (op == kBoolFineIntersection || op == kBoolFineDifference) {
        op = op == kBoolFineIntersection ? kBoolIntersection : kBoolDifference;
        tol = 1e-8;
    }
    if (op > kBoolSymDifference) return 0;
    EllipseAsArcsScope arcs;
    GM_Object ca(*a), cb(*b);
    detail::MakeNodable(ca);
    detail::MakeNodable(cb);
    // Work near the origin, where the tolerance tests keep their meaning for large coordinates.
    Box box = ca.mbRegion();
    box.add(cb.mbRegion());
    const Point3D centre{(box.minx + box.maxx) / 2, (box.miny + box.maxy) / 2, 0};
    ca.OffsetAllPoints(Point3D{-centre.x, -centre.y, 0});
    cb.OffsetAllPoints(Point3D{-centre.x, -centre.y, 0});
    Box grown = ca.mbRegion();
    grown.add(cb.mbRegion());
    grown = Box(grown.minx - tol, grown.miny - tol, grown.maxx + tol, grown.maxy + tol);

    CSlipCal cal(grown);
    ForEachSegment(ca, [&](CsSegment s) { cal.AddpLine(&s); });
    ForEachSegment(cb, [&](CsSegment s) {
        switch (op) {
        case kBoolUnion: cal.OrOverLine(s, tol); break;
        case kBoolSymDifference: cal.XorOverLine(s, tol); break;
        default: cal.DiffOverLine(s, tol); break;  // intersection starts from the difference
        }
    });
    out.DeleteContent();
    if (op != kBoolIntersection) {
        Lines(Survivors(cal), centre, out);
        return 1;
    }
    // What A shares with B is A less the part of A that B does not cover.
    CSlipCal common(grown);
    ForEachSegment(ca, [&](CsSegment s) { common.AddpLine(&s); });
    for (const CsSegment& s : Survivors(cal)) common.DiffOverLine(s, tol);
    Lines(Survivors(common), centre, out);
    return 1;
}

int DoObjectsBoolOp(int areas, const GM_Object* first, const std::vector<GM_Object*>& list, uint32_t op, GM_Object& out,
                    double tol) {
    out.DeleteContent();
    if (!first) return 0;
    GM_Object current(*first);
    if (list.empty()) out = current;
    for (const GM_Object* next : list) {
        out.DeleteContent();
        if (next) {
            if (areas) BoolOp2DGeometry(&current, next, op, out);
            else BoolOp1DGeometry(&current, next, op, tol, out);
        }
        if (out.isEmpty()) break;
        current = out;
    }
    return out.isEmpty() ? 0 : 1;
}

int DoObjectsOverlap(int areas, const GM_Object* a, const GM_Object* b, std::vector<GM_Object*>& out, double tol) {
    if (!a || !b) return 0;
    if (areas) {
        std::vector<GM_Object> parts;
        if (!BoolOp2DObjects(a, b, kBoolSplit, parts)) return 0;
        for (GM_Object& p : parts) out.push_back(new GM_Object(p));
        return 1;
    }
    auto* common = new GM_Object;
    auto* onlyA = new GM_Object;
    auto* onlyB = new GM_Object;
    BoolOp1DGeometry(a, b, kBoolIntersection, tol, *common);
    if (common->isEmpty()) {
        *onlyA = *a;
        *onlyB = *b;
    } else {
        BoolOp1DGeometry(a, b, kBoolDifference, tol, *onlyA);
        BoolOp1DGeometry(b, a, kBoolDifference, tol, *onlyB);
    }
    out.push_back(common);
    out.push_back(onlyA);
    out.push_back(onlyB);
    return 1;
}

}  // namespace kelo
