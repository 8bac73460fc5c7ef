// The point-run operations that work through the segment view.
#include "geometry/point_run.h"
#include "geometry/segment_runs.h"
#include "geometry/tolerance.h"
#include "relations/segment.h"

namespace kelo {

keloPoints::keloPoints(const CsSegment& seg) : CurveSegment{klLTPolyline, 0, nullptr} { Create(seg); }

int keloPoints::Create(const CsSegment& seg) {
    return Create(static_cast<klLineType>(seg.type), seg.points ? seg.PtCount() : 0, seg.points);
}

int keloPoints::IntersectPoints(const keloPoints& other, std::vector<Point3D>& out) const {
    // Curves the segment view cannot read are compared through their discretised form.
    detail::LineSegments a(*this, g_epsZero), b(other, g_epsZero);
    for (size_t i = 0; i < a.size(); ++i)
        for (size_t j = 0; j < b.size(); ++j) {
            if (!IsBoxIntersect(a.box(i), b.box(j), kEpsInner)) continue;
            Point3D p1, p2;
            int code = a[i].IntersectInfo(b[j], p1, p2, kEpsInner);
            if (IntersectInfoType(code, 1, nullptr, nullptr)) out.push_back(p1);
            if (IntersectInfoType(code, 0, nullptr, nullptr)) out.push_back(p2);
        }
    return out.empty() ? 0 : 1;
}

}  // namespace kelo
