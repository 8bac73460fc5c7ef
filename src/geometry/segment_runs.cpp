#include "geometry/segment_runs.h"

#include "geometry/point.h"

namespace kelo::detail {

keloPoints SegmentReadyRun(const keloPoints& run, double eps) {
    keloPoints copy;
    if (run.IsCurveEx()) {
        std::vector<Point3D> flat;
        run.Discrete(flat, eps);
        copy.Create(klLTPolyline, static_cast<int>(flat.size()), flat.data());
    } else {
        copy = run;
    }
    // Repeated points would make zero-length segments that touch both neighbours; an arc chain
    // gets its circle or its trailing half arc completed, so every piece of it is a segment.
    copy.Normalizing(kEpsInner, 12);
    return copy;
}

LineSegments::LineSegments(const keloParts& line, double eps) {
    runs_.reserve(line.partCount);
    for (int k = 0; k < line.GetPartsCount(); ++k) Add(*line.GetOriginalPointsAt(k), eps);
    Index();
}

LineSegments::LineSegments(const keloPoints& run, double eps) {
    Add(run, eps);
    Index();
}

void LineSegments::Add(const keloPoints& run, double eps) {
    keloPoints ready = SegmentReadyRun(run, eps);
    if (ready.GetSegmentCount() > 0) runs_.push_back(std::move(ready));
}

void LineSegments::Index() {
    size_t n = 0;
    for (const keloPoints& run : runs_) n += static_cast<size_t>(run.GetSegmentCount());
    segs_.reserve(n);
    boxes_.reserve(n);
    for (keloPoints& run : runs_)
        for (int i = 0; i < run.GetSegmentCount(); ++i) {
            segs_.emplace_back(&run, i);
            boxes_.push_back(segs_.back().GetBox());
        }
}

}  // namespace kelo::detail
