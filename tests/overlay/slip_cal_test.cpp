// The overlap calculator on collinear stretches: the covered length after each operation is the
// interval arithmetic of the stretches, and the segments left never overlap each other.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "overlay/slip_cal.h"

using namespace kelo;

namespace {

double Covered(CSlipCal& c) {
    c.ClearZeroLine();
    double len = 0;
    for (int i = 0; i < c.GetSegmentCount(); ++i) {
        CsSegment s;
        if (c.GetSegmentAt(i, s)) len += s.Length(0);
    }
    return len;
}

TEST(SlipCal, OperationsOnStretches) {
    enum Op { Or, Xor, Diff, And, OrEq, XorEq, DiffEq };
    struct Case {
        Op op;
        double x0, x1;    // the new segment on the x axis; entered: [0, 4] and [6, 8]
        double covered;
    };
    const Case cases[] = {
        {Or, 2, 7, 8},      {Or, 9, 10, 7},  {Xor, 2, 7, 5},     {Xor, 0, 4, 2},   {Xor, 4, 0, 2},
        {Diff, 2, 7, 3},    {Diff, -1, 9, 0}, {And, 2, 7, 3},    {And, 9, 10, 0},  {OrEq, 0, 4, 6},
        {OrEq, 0, 3, 9},    {XorEq, 4, 0, 2}, {XorEq, 0, 3, 9},  {DiffEq, 6, 8, 4}, {DiffEq, 6, 7, 6},
    };
    for (const Case& c : cases) {
        CSlipCal cal(Box(0, -1, 10, 1));
        Point3D a[2] = {{0, 0, 0}, {4, 0, 0}}, b[2] = {{6, 0, 0}, {8, 0, 0}}, n[2] = {{c.x0, 0, 0}, {c.x1, 0, 0}};
        CsSegment sa(a, klLTPolyline), sb(b, klLTPolyline), sn(n, klLTPolyline);
        cal.AddpLine(&sa);
        cal.AddpLine(&sb);
        const int changes = c.op == Or      ? cal.OrOverLine(sn, 1e-6)
                            : c.op == Xor   ? cal.XorOverLine(sn, 1e-6)
                            : c.op == Diff  ? cal.DiffOverLine(sn, 1e-6)
                            : c.op == And   ? cal.AndOverLine(sn, 1e-6)
                            : c.op == OrEq  ? cal.OrEqualLine(sn, 1e-6)
                            : c.op == XorEq ? cal.XorEqualLine(sn, 1e-6)
                                            : cal.DiffEqualLine(sn, 1e-6);
        EXPECT_NEAR(Covered(cal), c.covered, 1e-9) << "op " << c.op << " [" << c.x0 << ", " << c.x1 << "]";
        EXPECT_EQ(changes == 0, std::abs(c.covered - 6) < 1e-9 && c.op != Xor) << "op " << c.op;
        // The Equal forms leave partial overlaps alone by design.
        for (int i = 0; c.op <= And && i < cal.GetSegmentCount(); ++i)
            for (int j = i + 1; j < cal.GetSegmentCount(); ++j) {
                CsSegment s, t;
                cal.GetSegmentAt(i, s);
                cal.GetSegmentAt(j, t);
                const double lo = std::max(std::min(s.Head()->x, s.Tail()->x), std::min(t.Head()->x, t.Tail()->x));
                const double hi = std::min(std::max(s.Head()->x, s.Tail()->x), std::max(t.Head()->x, t.Tail()->x));
                EXPECT_LE(hi - lo, 1e-9);
            }
    }
}

// A slanted line near (within tol) but not on the entered one still counts as collinear.
TEST(SlipCal, ToleranceAndSlantedLines) {
    CSlipCal cal(Box(0, 0, 10, 10));
    Point3D a[2] = {{0, 0, 0}, {10, 10, 0}}, n[2] = {{5, 5.0005, 0}, {15, 15, 0}};
    CsSegment sa(a, klLTPolyline), sn(n, klLTPolyline);
    cal.AddpLine(&sa);
    cal.OrOverLine(sn, 1e-3);
    EXPECT_NEAR(Covered(cal), 15 * std::sqrt(2.0), 1e-3);
    cal.DiffOverLine(sn, 1e-3);
    EXPECT_NEAR(Covered(cal), 5 * std::sqrt(2.0), 1e-3);
}

}  // namespace
