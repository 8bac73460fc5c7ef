// Crossing tests of multi-part lines: a line meeting itself or another line goes through the
// packed intersection code of the segment view.
#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/circle_arc.h"
#include "geometry/parts.h"
#include "geometry/segment_runs.h"
#include "geometry/tolerance.h"

namespace kelo {

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

}  // namespace kelo
