// Segment relations over whole lines and geometry objects: overlaps between two lines, the shared
// joint points of neighbouring runs, and locating the segment of an object nearest to a point or
// lying along a given segment.
#include <limits>
#include <utility>

#include "geometry/geometry_object.h"
#include "geometry/gmobject_detail.h"
#include "geometry/segment_runs.h"
#include "geometry/tolerance.h"
#include "relations/segment.h"

namespace kelo {

int HasOverlapAndSameDirectParts(keloParts* a, keloParts* b, double eps) {
    if (a == nullptr || b == nullptr) return 0;
    detail::LineSegments sa(*a, g_epsZero), sb(*b, g_epsZero);
    for (size_t i = 0; i < sa.size(); ++i)
        for (size_t j = 0; j < sb.size(); ++j) {
            if (!IsBoxIntersect(sa.box(i), sb.box(j), eps)) continue;
            if (int r = sa[i].HasOverlapAndSameDirect(sb[j], eps)) return r;
        }
    return 0;
}

Point3D* GetNeighbourSamePtAt(keloParts* parts, int i, int atEnd) {
    keloPoints* seq = parts ? parts->GetOriginalPointsAt(i) : nullptr;
    if (seq == nullptr || seq->GetCount() == 0) return nullptr;
    const int n = parts->GetPartsCount();
    // Wrapping needs a real shared point: a lone three-point circle is closed without one.
    Point3D first, last;
    const bool wraps = parts->GetEndPoints(&first, &last) && PointOverlap(&first, &last, kEpsInner) == True;
    int k;
    if (atEnd == 0) {
        k = i - 1;
        if (k < 0 && !wraps) return nullptr;
        if (k < 0) k = n - 1;
        keloPoints* prev = parts->GetOriginalPointsAt(k);
        return prev && prev->GetCount() ? &(*prev)[prev->GetCount() - 1] : nullptr;
    }
    if (atEnd != seq->GetCount() - 1) return nullptr;
    k = i + 1;
    if (k >= n && !wraps) return nullptr;
    if (k >= n) k = 0;
    keloPoints* next = parts->GetOriginalPointsAt(k);
    return next && next->GetCount() ? &(*next)[0] : nullptr;
}

int ReplacePtInParts(const Point3D& p, keloParts* parts, int i, int k) {
    keloPoints* seq = parts ? parts->GetOriginalPointsAt(i) : nullptr;
    if (seq == nullptr || k < 0 || k >= seq->GetCount()) return 0;
    Point3D* shared = GetNeighbourSamePtAt(parts, i, k);
    (*seq)[k] = p;
    if (shared) *shared = p;
    return 1;
}

namespace {

// Calls f(part, seq, run) for every run of every part of the object, each normalised in place
// first. Runs the segment view cannot read (Bezier, ellipse, spline) are passed over: a segment
// index into them would name a control point, not a piece of the line.
template <class F>
void ForEachSegmentRun(GM_Object& object, F f) {
    detail::ForEachOriginalParts(object, [&](int part, keloParts& line, bool) {
        for (int s = 0; s < line.GetPartsCount(); ++s) {
            keloPoints* run = line.GetOriginalPointsAt(s);
            run->Normalizing();
            if (!run->IsCurveEx()) f(part, s, run);
        }
    });
}

}  // namespace

keloPoints* GeometryAt::GetNearRefPtSegment(const Point3D& p, GM_Object* object, Point3D& foot, double eps) {
    Clear();
    if (object == nullptr) return nullptr;
    double best = std::numeric_limits<double>::infinity();
    ForEachSegmentRun(*object, [&](int part, int s, keloPoints* run) {
        for (int g = 0; g < run->GetSegmentCount(); ++g) {
            Point3D q{};
            int f = 0;
            const double d = CsSegment(run, g).PtDistance(p, q, f, eps);
            if (d < best) {
                best = d;
                foot = q;
                partIndex = part;
                seqIndex = s;
                segIndex = g;
                flag = f;
                points = run;
            }
        }
    });
    return points;
}

keloPoints* GeometryAt::GetSegmentNearSegment(const CsSegment& segment, double& dist, GM_Object* object,
                                              std::vector<Point3D>& projected, double eps) {
    Clear();
    if (object == nullptr || segment.points == nullptr) return nullptr;
    double best = eps;
    ForEachSegmentRun(*object, [&](int part, int s, keloPoints* run) {
        for (int g = 0; g < run->GetSegmentCount(); ++g) {
            CsSegment candidate(run, g);
            if (!candidate.IsSameType(segment.type)) continue;
            std::vector<Point3D> feet;
            const double d = candidate.Projection(segment, eps, feet);
            if (d > best) continue;
            Point3D p1, p2;
            if (IntersectInfoOverlap(segment.IntersectInfo(candidate, p1, p2, eps)) <= 2) continue;
            best = d;
            dist = d;
            projected = std::move(feet);
            partIndex = part;
            seqIndex = s;
            segIndex = g;
            flag = 0;
            points = run;
        }
    });
    return points;
}

}  // namespace kelo
