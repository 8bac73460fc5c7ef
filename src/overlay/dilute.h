// Line simplification: thinning a straight point run to a distance tolerance or to a number of
// points, keeping input points only.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/point.h"
#include "geometry/point_run.h"
#include "kelo_api.h"

namespace kelo {

class GM_Object;

// method 0: plain Douglas-Peucker split; 1 or more: then drop kept points the neighbours make
// redundant; 2 or more: then shift kept points by up to two places to lower the deviation.
class KELO_API Dilute {
public:
    // 1 on success; 0 (out untouched) for a run that is not a polyline or a tolerance below -1e-13.
    int Solve1(keloPoints& in, double tolerance, keloPoints& out, int method);
    // Keeps count points; 0 (out untouched) for a run that is not a polyline, count < 2, count above
    // the run's point count, or a selection larger than count.
    int Solve2(keloPoints& in, int count, keloPoints& out, int method);

private:
    // Deviation of the points strictly inside (i, j) from the piece P_i P_j; k receives the first
    // farthest index (i + 1 when the range is empty of deviation, -1 for adjacent indexes).
    double Farthest(int i, int j, int& k) const;
    double Deviation(int i, int j) const {
        int k;
        return Farthest(i, j, k);
    }
    void Load(const keloPoints& in);
    void RemovalPass(double tolerance);
    void ShiftPass(double tolerance, bool remove);
    void Emit(const keloPoints& in, keloPoints& out) const;

    // The run moved so that its box centre is the origin, which keeps the cross products exact
    // enough for coordinates far from zero.
    std::vector<Point2D> m_pts;
    std::vector<int> m_keep;  // ascending indexes into the run
};

KELO_API int Dilute1(keloPoints& in, double tolerance, keloPoints& out, int method);
KELO_API int Dilute2(keloPoints& in, int count, keloPoints& out, int method);
// Simplifies every straight run of every part in place: to the tolerance (byTolerance set; a
// tolerance not above 1e-8 becomes the ground length of 0.1 mm) or to half its points. Runs that
// cannot be simplified stay as they are. 0 for an object without parts.
KELO_API int Geometry_Dilute(GM_Object& object, int byTolerance, double tolerance);

}  // namespace kelo
