// Internal: the stored points that make up one curve segment of a point run.
#pragma once

#include "geometry/point_run.h"

namespace kelo::detail {

// First and last stored index of curve segment seg (see keloPoints::GetCurveSegmentCount); false
// when it does not exist.
inline bool CurveSegmentRange(const keloPoints& run, int seg, int& first, int& last) {
    int n = run.GetCount();
    if (seg < 0 || seg >= run.GetCurveSegmentCount()) return false;
    int step = run.IsArc() ? 2 : run.IsBezier() ? 3 : run.IsEllipse() ? 4 : 1;
    first = seg * step;
    last = first + step < n ? first + step : n - 1;
    return true;
}

}  // namespace kelo::detail
