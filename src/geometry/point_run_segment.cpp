// The point-run operations that work through the segment view.
#include "geometry/point_run.h"
#include "relations/segment.h"

namespace kelo {

keloPoints::keloPoints(const CsSegment& seg) : CurveSegment{klLTPolyline, 0, nullptr} { Create(seg); }

int keloPoints::Create(const CsSegment& seg) {
    return Create(static_cast<klLineType>(seg.type), seg.points ? seg.PtCount() : 0, seg.points);
}

int keloPoints::IntersectPoints(const keloPoints& other, std::vector<Point3D>& out) const {
    // The views never write through their pointers; the records are only read here.
    auto* self = const_cast<keloPoints*>(this);
    auto* that = const_cast<keloPoints*>(&other);
    int na = GetSegmentCount(), nb = other.GetSegmentCount();
    for (int i = 0; i < na; ++i) {
        CsSegment a(self, i);
        for (int j = 0; j < nb; ++j) {
            Point3D p1, p2;
            int code = a.IntersectInfo(CsSegment(that, j), p1, p2, kEpsInner);
            if (IntersectInfoType(code, 1, nullptr, nullptr)) out.push_back(p1);
            if (IntersectInfoType(code, 0, nullptr, nullptr)) out.push_back(p2);
        }
    }
    return out.empty() ? 0 : 1;
}

}  // namespace kelo
