// Internal: the adaptive sampling shared by Bezier segments and cardinal-spline pieces.
#pragma once

#include <vector>

#include "geometry/circle_arc.h"
#include "geometry/point.h"

namespace kelo::detail {

// Samples f on [0, 1] at n + 1 even steps, n = 8 first. When every odd sample lies within eps of the
// chord of its even neighbours, only the even samples are kept (n/2 + 1 points); otherwise n doubles.
// At maxSteps (a power of two) a failing test keeps all n + 1 samples. Appends to out, both ends
// included; returns the number appended.
template <class F>
int AdaptiveSamples(F f, double eps, int maxSteps, std::vector<Point3D>& out) {
    int n = maxSteps < 8 ? maxSteps : 8;
    if (n < 2) n = 2;
    // Samples live on the stack for the usual limit of 32 steps; only larger limits allocate.
    Point3D local[33];
    std::vector<Point3D> heap;
    Point3D* s = local;
    for (;;) {
        if (n > 32) {
            heap.resize(static_cast<size_t>(n) + 1);
            s = heap.data();
        }
        for (int i = 0; i <= n; ++i) s[i] = f(static_cast<double>(i) / n);
        bool flat = true;
        for (int i = 0; i + 2 <= n && flat; i += 2) flat = !(DistanceToSegment(s[i], s[i + 2], s[i + 1]) > eps);
        if (flat) {
            for (int i = 0; i <= n; i += 2) out.push_back(s[i]);
            return n / 2 + 1;
        }
        if (n >= maxSteps) {
            out.insert(out.end(), s, s + n + 1);
            return n + 1;
        }
        n *= 2;
    }
}

// Largest power of two not above m (at least 2).
inline int PowerOfTwoFloor(int m) {
    int p = 2;
    // Dividing instead of doubling cannot overflow, whatever limit a caller passes.
    while (p <= m / 2) p *= 2;
    return p;
}

}  // namespace kelo::detail
