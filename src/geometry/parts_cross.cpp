// Crossing tests of multi-part lines and rings. A line meeting itself or another line goes through
// the packed intersection code of the segment view; the ring relations of a polygon still test
// the discretised rings (until the nine-intersection engine supplies them).
#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/circle_arc.h"
#include "geometry/parts.h"
#include "geometry/segment_runs.h"
#include "geometry/tolerance.h"

namespace kelo {

namespace {

struct Seg {
    Point3D a, b;
    Box box;
    size_t index;  // position along the line
};

std::vector<Seg> Segments(const keloParts& line, double eps) {
    std::vector<Point3D> flat;
    line.Discrete(flat, eps);
    std::vector<Seg> segs;
    for (size_t i = 0; i + 1 < flat.size(); ++i) {
        if (flat[i].x == flat[i + 1].x && flat[i].y == flat[i + 1].y) continue;
        Seg s{flat[i], flat[i + 1], Box(), segs.size()};
        s.box.add(s.a.x, s.a.y);
        s.box.add(s.b.x, s.b.y);
        segs.push_back(s);
    }
    return segs;
}

double Orient(const Point3D& a, const Point3D& b, const Point3D& c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

// Whether two segments come within eps of each other; hit receives a meeting point.
bool Meet(const Seg& s, const Seg& t, double eps, Point3D& hit) {
    if (!IsBoxIntersect(s.box, t.box, eps)) return false;
    double d1 = Orient(s.a, s.b, t.a), d2 = Orient(s.a, s.b, t.b);
    double d3 = Orient(t.a, t.b, s.a), d4 = Orient(t.a, t.b, s.b);
    if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0))) {
        double u = d1 / (d1 - d2);
        hit = {t.a.x + u * (t.b.x - t.a.x), t.a.y + u * (t.b.y - t.a.y), kUnknownZ};
        return true;
    }
    // Touching or overlapping: an end of one lies within eps of the other.
    const Point3D* ends[4] = {&t.a, &t.b, &s.a, &s.b};
    for (int k = 0; k < 4; ++k) {
        const Seg& other = k < 2 ? s : t;
        if (DistanceToSegment(other.a, other.b, *ends[k]) <= eps) {
            hit = *ends[k];
            return true;
        }
    }
    return false;
}

// Calls f(s, t) for every pair of segments whose boxes overlap in x within eps: pairs within one list
// (b null) or pairs of one segment of a (passed first) and one of b. A sweep over the left edges keeps
// this near-linear for lines that do not fold back on themselves. Stops when f returns true.
template <class F>
bool AnyPair(const std::vector<Seg>& a, const std::vector<Seg>* b, double eps, F f) {
    std::vector<std::pair<const Seg*, bool>> all;  // (segment, from b)
    for (const Seg& s : a) all.push_back({&s, false});
    if (b)
        for (const Seg& s : *b) all.push_back({&s, true});
    std::sort(all.begin(), all.end(), [](const auto& x, const auto& y) { return x.first->box.minx < y.first->box.minx; });
    for (size_t i = 0; i < all.size(); ++i)
        for (size_t j = i + 1; j < all.size() && all[j].first->box.minx <= all[i].first->box.maxx + eps; ++j) {
            if (b && all[i].second == all[j].second) continue;
            bool swap = b && all[i].second;
            if (f(swap ? *all[j].first : *all[i].first, swap ? *all[i].first : *all[j].first)) return true;
        }
    return false;
}

}  // namespace

bool keloParts::IsSelfIntersect() const {
    const double eps = g_epsZero;
    detail::LineSegments segs(*this, eps);
    const size_t n = segs.size();
    const bool closed = IsClosed();
    return detail::ForEachNearPair(segs, nullptr, eps, [&](size_t i, size_t j) {
        Point3D p1, p2;
        const CsSegment &a = segs[i], &b = segs[j];
        int code = a.IntersectInfo(b, p1, p2, eps);
        if (code == 0) return false;
        const bool follows = j == i + 1;
        const bool wraps = closed && i == 0 && j == n - 1;
        if (!follows && !wraps) return true;
        // Joined segments share their joint and nothing else; two segments that close a ring
        // share both ends, as long as they do not lie on one another.
        if (follows && wraps) return IntersectInfoOverlap(code) > 2;
        if (IntersectInfoType(code, 0, nullptr, nullptr) != kSegContactNone) return true;
        const Point3D& joint = follows ? *a.Tail() : *a.Head();
        return PointOverlap(&p1, &joint, eps) != True;
    });
}

int keloParts::IntersectParts(const keloParts& other, std::vector<Point3D>& out) const {
    const double eps = g_epsZero;
    detail::LineSegments a(*this, eps), b(other, eps);
    const size_t before = out.size();
    auto keep = [&](const Point3D& hit) {
        for (size_t k = before; k < out.size(); ++k)
            if (PointOverlap(&out[k], &hit, eps) == True) return;
        out.push_back(hit);
    };
    detail::ForEachNearPair(a, &b, eps, [&](size_t i, size_t j) {
        Point3D p1, p2;
        int code = a[i].IntersectInfo(b[j], p1, p2, eps);
        if (IntersectInfoType(code, 1, nullptr, nullptr) != kSegContactNone) keep(p1);
        if (IntersectInfoType(code, 0, nullptr, nullptr) != kSegContactNone) keep(p2);
        return false;
    });
    return static_cast<int>(out.size() - before);
}

int keloPolygon::GetRelationPolygon(double eps) const {
    int n = GetRingsCount();
    if (n == 0) return 0;
    if (n == 1) return 1;
    std::vector<std::vector<Seg>> segs(n);
    for (int i = 0; i < n; ++i) segs[i] = Segments(*GetOriginalRingAt(i), eps);
    // No two rings may meet; then every hole lies in the outer ring and outside the other holes.
    Point3D hit;
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            if (AnyPair(segs[i], &segs[j], eps, [&](const Seg& s, const Seg& t) { return Meet(s, t, eps, hit); }))
                return 0;
    for (int i = 1; i < n; ++i) {
        const keloParts* hole = GetOriginalRingAt(i);
        if (hole->GetPartsCount() == 0 || hole->GetOriginalPointsAt(0)->GetCount() == 0) continue;
        Point3D probe = hole->GetOriginalPointsAt(0)->points[0];
        if (!GetOriginalRingAt(0)->PointInside(probe, eps)) return 0;
        for (int j = 1; j < n; ++j)
            if (j != i && GetOriginalRingAt(j)->PointInside(probe, eps)) return 0;
    }
    return 1;
}

}  // namespace kelo
