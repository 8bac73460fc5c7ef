// Multi-part lines: orientation, start point, validity, normalising, and chaining parts end to end.
#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/ellipse.h"
#include "geometry/parts.h"
#include "geometry/segment_probe.h"
#include "geometry/tolerance.h"

namespace kelo {

namespace {

keloPoints& View(CurveSegment& s) { return reinterpret_cast<keloPoints&>(s); }

bool Touch(const Point3D& a, const Point3D& b) { return PointOverlap(&a, &b, kEpsInner) == True; }

// Points per stored segment step of a line type: where a run may be cut without changing its curve.
int CutStep(klLineType t) {
    switch (t) {
        case klLT3PArc: return 2;
        case klLTBezier: return 3;
        case klLTEllipse: return 4;
        default: return 1;
    }
}

}  // namespace

void keloParts::StartAt(int part, int index) {
    CurveSegment& s = parts[part];
    int n = static_cast<int>(s.pointCount);
    if (part == 0 && index == 0) return;
    // Tail of the cut part, then the later parts, the earlier parts, and the head of the cut part.
    keloPoints tail(s.lineType, n - index, s.points + index);
    keloPoints head(s.lineType, index + 1, s.points);
    keloParts out;
    if (GetPartsCount() == 1) {
        // One run: the tail and head join at the old start (= old end) and stay one run.
        std::vector<Point3D> pts(s.points + index, s.points + n);
        pts.insert(pts.end(), s.points + 1, s.points + index + 1);
        keloPoints joined(pts, s.lineType);
        out.InsertPointsAt(joined, -1);
    } else {
        if (tail.GetCount() > 1) out.InsertPointsAt(tail, -1);
        for (int k = part + 1; k < GetPartsCount(); ++k) out.InsertPointsAt(View(parts[k]), -1);
        for (int k = 0; k < part; ++k) out.InsertPointsAt(View(parts[k]), -1);
        if (head.GetCount() > 1) out.InsertPointsAt(head, -1);
    }
    *this = std::move(out);
}

int keloParts::Clockwise(int corner, int cw) {
    if (!IsClosed()) return 0;
    if (corner > 0 && !(partCount == 1 && parts[0].lineType == klLT3PCircle)) {
        int seg;
        GetCorner(corner, seg);
        int local;
        keloPoints* part = GetPointsWithSegAt(seg, local);
        if (part) {
            int k = static_cast<int>(part - &View(parts[0]));
            int index = part->GetSegPointAt(local);
            // Only cut where the run's curve allows it (an on-curve point).
            if (index % CutStep(part->GetLineType()) == 0) StartAt(k, index);
        }
    }
    bool isCw = IsClockwise();
    if ((cw != 0) != isCw) Reverse();
    return 1;
}

int keloParts::IsNormal(double eps, int flags) const {
    if (flags & 15)
        for (uint32_t k = 0; k < partCount; ++k)
            if (!View(parts[k]).IsNormal(eps, flags)) return 0;
    if ((flags & 1) && partCount > 1) {
        for (uint32_t k = 1; k < partCount; ++k) {
            const CurveSegment &a = parts[k - 1], &b = parts[k];
            if (a.pointCount == 0 || b.pointCount == 0) continue;
            if (!Touch(a.points[a.pointCount - 1], b.points[0])) {
                g_lastAbnormalPoint = b.points[0];
                return 0;
            }
        }
    }
    if (flags & 32) {
        double saved = g_epsZero;
        g_epsZero = eps;
        bool crossed = IsSelfIntersect();
        g_epsZero = saved;
        if (crossed) return 0;
    }
    return 1;
}

int keloParts::Normalizing(double eps, int flags) {
    for (uint32_t k = 0; k < partCount; ++k) View(parts[k]).Normalizing(eps, flags);
    if (flags & 0x2000) {
        keloParts split;
        for (uint32_t k = 0; k < partCount; ++k) {
            const keloPoints& part = View(parts[k]);
            int n = part.GetCount();
            bool straight = part.GetLineType() == klLTPolyline || part.GetLineType() == klLTNone;
            if ((straight && !(flags & 0x1000)) || part.GetLineType() == klLT3PCircle || n == 0) {
                split.InsertPointsAt(part, -1);
                continue;
            }
            int per = part.CtrlPtCountOneSegment() + 2;
            int step = per - 1;
            for (int i = 0; i + 1 < n; i += step) {
                int take = std::min(per, n - i);
                keloPoints one(part.GetLineType(), take, part.points + i);
                if (take < per) one.SetLineType(klLTPolyline);
                split.InsertPointsAt(one, -1);
            }
        }
        *this = std::move(split);
    }
    if ((flags & 0x4000) && partCount > 1) {
        klLineType t = parts[0].lineType;
        bool same = true;
        for (uint32_t k = 1; k < partCount; ++k) same = same && parts[k].lineType == t;
        if (same) {
            std::vector<Point3D> pts;
            for (uint32_t k = 0; k < partCount; ++k) {
                const CurveSegment& s = parts[k];
                if (s.pointCount == 0) continue;
                size_t from = !pts.empty() && Touch(pts.back(), s.points[0]) ? 1 : 0;
                pts.insert(pts.end(), s.points + from, s.points + s.pointCount);
            }
            DeleteContent();
            if (!pts.empty()) Create(static_cast<int>(pts.size()), pts.data(), t);
        }
    }
    return 1;
}

int keloParts::IsEnd(const Point3D& p) const {
    Point3D first, last;
    if (!GetEndPoints(&first, &last)) return 0;
    if (Touch(p, first)) return 1;
    if (Touch(p, last)) return 2;
    return 0;
}

int keloParts::HaveNext(const Point3D& p, const std::vector<char>& used, bool& reversed) const {
    for (uint32_t k = 0; k < partCount; ++k) {
        if (k < used.size() && used[k]) continue;
        const CurveSegment& s = parts[k];
        if (s.pointCount == 0) continue;
        if (Touch(p, s.points[0])) {
            reversed = false;
            return static_cast<int>(k);
        }
        if (Touch(p, s.points[s.pointCount - 1])) {
            reversed = true;
            return static_cast<int>(k);
        }
    }
    return -1;
}

int keloParts::IsEndPoint(int i, const std::vector<char>& used) const {
    if (i < 0 || i >= GetPartsCount() || parts[i].pointCount == 0) return 0;
    const CurveSegment& s = parts[i];
    auto touchesOther = [&](const Point3D& p) {
        for (uint32_t k = 0; k < partCount; ++k) {
            if (static_cast<int>(k) == i || (k < used.size() && used[k]) || parts[k].pointCount == 0) continue;
            if (Touch(p, parts[k].points[0]) || Touch(p, parts[k].points[parts[k].pointCount - 1])) return true;
        }
        return false;
    };
    if (!touchesOther(s.points[0])) return 1;
    if (!touchesOther(s.points[s.pointCount - 1])) return 2;
    return 0;
}

keloParts* keloParts::PutInOrder() {
    if (partCount == 0) return nullptr;
    for (uint32_t k = 0; k < partCount; ++k)
        if (parts[k].lineType == klLTEllipse) AdjustEllipse(static_cast<int>(parts[k].pointCount), parts[k].points);

    std::vector<char> used(partCount, 0);
    auto* chain = new keloParts;
    int start = -1;
    bool startReversed = false, alone = false;
    for (uint32_t k = 0; k < partCount && start < 0; ++k) {
        const CurveSegment& s = parts[k];
        if (s.pointCount == 0) continue;
        if (s.pointCount > 1 && Touch(s.points[0], s.points[s.pointCount - 1])) {
            start = static_cast<int>(k);
            alone = true;
            break;
        }
        int end = IsEndPoint(static_cast<int>(k), used);
        if (end) {
            start = static_cast<int>(k);
            startReversed = end == 2;
        }
    }
    if (start < 0) start = 0;  // every part is inside a loop (or empty): begin anywhere
    used[start] = 1;
    keloPoints first;
    first = static_cast<const CurveSegment&>(parts[start]);
    if (startReversed) first.ReversePoint();
    chain->InsertPointsAt(first, -1);
    while (!alone) {
        Point3D last;
        if (!chain->GetEndPoints(nullptr, &last)) break;
        bool reversed = false;
        int next = HaveNext(last, used, reversed);
        if (next < 0) break;
        used[next] = 1;
        keloPoints piece;
        piece = static_cast<const CurveSegment&>(parts[next]);
        if (reversed) piece.ReversePoint();
        chain->AddPointsTo(piece, -1);
    }
    for (int k = GetPartsCount() - 1; k >= 0; --k)
        if (used[k]) DeletePointsAt(k);
    return chain;
}

keloParts* keloParts::PutInOtherOrder() {
    keloParts* chain = PutInOrder();
    if (chain) chain->Reverse();
    return chain;
}

int keloParts::FindPathState(const Point3D& p, int* part) const {
    for (uint32_t k = 0; k < partCount; ++k) {
        const CurveSegment& s = parts[k];
        if (s.pointCount == 0) continue;
        int state = Touch(p, s.points[0]) ? 1 : Touch(p, s.points[s.pointCount - 1]) ? 2 : 0;
        if (state) {
            if (part) *part = static_cast<int>(k);
            return state;
        }
    }
    return 0;
}

int keloParts::MergeWithAnother(const keloParts& other, Point3D* joint) {
    Point3D a0, a1, b0, b1;
    if (!GetEndPoints(&a0, &a1) || !other.GetEndPoints(&b0, &b1)) return 0;
    keloParts piece(other);
    if (Touch(a1, b0) || Touch(a1, b1)) {
        if (!Touch(a1, b0)) piece.Reverse();
        if (joint) *joint = a1;
        for (uint32_t k = 0; k < piece.partCount; ++k) AddPointsTo(View(piece.parts[k]), -1);
        return 1;
    }
    if (Touch(a0, b1) || Touch(a0, b0)) {
        if (!Touch(a0, b1)) piece.Reverse();
        if (joint) *joint = a0;
        for (uint32_t k = 0; k < partCount; ++k) piece.AddPointsTo(View(parts[k]), -1);
        *this = std::move(piece);
        return 1;
    }
    return 0;
}

namespace {

// Splits the line at the position nearest to p (a new stored point unless an existing one is within
// g_epsZero) and returns that position.
bool SplitAtNearest(keloParts& line, const Point3D& p, Point3D& at) {
    double dist;
    int seg = line.SearchSegAtNearPt(p, dist);
    int local;
    keloPoints* part = line.GetPointsWithSegAt(seg, local);
    if (!part) return false;
    Point3D foot = p;
    if (!part->IsCurveEx()) detail::SegmentDistance(part->GetSegment(local), part->IsArc(), p, &foot);
    int idx = part->InsertPtIntoSegment(foot, local, g_epsZero);
    if (idx < 0 || idx >= part->GetCount()) return false;
    at = (*part)[idx];
    return true;
}

}  // namespace

int keloParts::FindPath(const Point3D& a, const Point3D& b, keloParts& out) const {
    keloParts work(*this);
    Point3D pa, pb;
    if (!SplitAtNearest(work, a, pa) || !SplitAtNearest(work, b, pb)) return 0;
    // Vertex numbers are looked up after both splits, since the second one may shift the first.
    double d;
    int va = work.SearchVertexAtNearPt(pa, d), vb = work.SearchVertexAtNearPt(pb, d);
    if (va < 0 || vb < 0) return 0;
    if (!work.GetSubPartsFromVertexAt(std::min(va, vb), std::max(va, vb), out)) return 0;
    if (va > vb) out.Reverse();
    return 1;
}

int keloParts::Change2SmoothPolyline() {
    int changed = 0;
    for (uint32_t k = 0; k < partCount; ++k)
        if (parts[k].lineType == klLTPolyline && parts[k].pointCount >= 3) {
            parts[k].lineType = klLTSpline;
            ++changed;
        }
    return changed;
}

}  // namespace kelo
