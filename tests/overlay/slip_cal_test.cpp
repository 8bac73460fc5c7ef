// The overlap calculator on collinear stretches: the covered length after each operation is the
// interval arithmetic of the stretches, and the segments left never overlap each other.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

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

namespace {

// Arcs of one circle combine by their angular stretches. The expected stretches are counted on
// half-degree cells of the circle, apart from any arc arithmetic; every case bounds its arcs at
// multiples of 30 degrees, so no cell straddles an end.
constexpr double kDeg = M_PI / 180;
constexpr int kCells = 720;

struct ArcSpec {
    double cx, cy, r;
    double from, to;  // degrees, travelled from -> to; counter-clockwise when to > from
};

struct Pts {
    Point3D p[3];
};

Pts MakeArc(const ArcSpec& a) {
    Pts o;
    const double ang[3] = {a.from, (a.from + a.to) / 2, a.to};
    for (int k = 0; k < 3; ++k)
        o.p[k] = {a.cx + a.r * std::cos(ang[k] * kDeg), a.cy + a.r * std::sin(ang[k] * kDeg), 0};
    return o;
}

double Ccw(double from, double to) {
    double d = std::fmod(to - from, 2 * M_PI);
    return d < 0 ? d + 2 * M_PI : d;
}

// Cells covered by an arc given by its three points, read off the points alone.
std::vector<char> CellsOf(const Point3D* p, double cx, double cy, bool& ccw) {
    const double a0 = std::atan2(p[0].y - cy, p[0].x - cx), am = std::atan2(p[1].y - cy, p[1].x - cx),
                 a1 = std::atan2(p[2].y - cy, p[2].x - cx);
    ccw = Ccw(a0, am) < Ccw(a0, a1);
    const double lo = ccw ? a0 : a1, sweep = ccw ? Ccw(a0, a1) : Ccw(a1, a0);
    std::vector<char> cells(kCells, 0);
    for (int i = 0; i < kCells; ++i) cells[i] = Ccw(lo, (i + 0.5) * 2 * M_PI / kCells) < sweep;
    return cells;
}

TEST(SlipCal, ArcsOfOneCircleCombineByAngle) {
    const ArcSpec entered{1, 1, 2, 0, 180};
    struct Case {
        const char* name;
        ArcSpec added;
    } cases[] = {
        {"partial", {1, 1, 2, 90, 270}},
        {"inside", {1, 1, 2, 30, 60}},
        {"around", {1, 1, 2, -30, 210}},
        {"touching end", {1, 1, 2, 180, 300}},
        {"equal", {1, 1, 2, 0, 180}},
        {"opposite direction", {1, 1, 2, 120, 60}},
        {"opposite, over the start", {1, 1, 2, 60, -90}},
        {"over both ends", {1, 1, 2, 150, 390}},
        {"centre off", {1.5, 1, 2, 90, 270}},
        {"radius off", {1, 1, 2.5, 90, 270}},
    };
    enum Op { Or, Xor, Diff, And };
    const Pts e = MakeArc(entered);
    bool eCcw;
    const std::vector<char> eCells = CellsOf(e.p, entered.cx, entered.cy, eCcw);
    for (const Case& c : cases) {
        const Pts n = MakeArc(c.added);
        const bool sameCircle = c.added.cx == entered.cx && c.added.r == entered.r;
        bool nCcw;
        const std::vector<char> nCells = CellsOf(n.p, c.added.cx, c.added.cy, nCcw);
        for (Op op : {Or, Xor, Diff, And}) {
            SCOPED_TRACE(std::string(c.name) + " op " + std::to_string(op));
            CSlipCal cal(Box(-4, -4, 6, 6));
            Pts ec = e, nc = n;
            CsSegment se(ec.p, klLT3PArc), sn(nc.p, klLT3PArc);
            cal.AddpLine(&se);
            if (op == Or) cal.OrOverLine(sn, 1e-6);
            if (op == Xor) cal.XorOverLine(sn, 1e-6);
            if (op == Diff) cal.DiffOverLine(sn, 1e-6);
            if (op == And) cal.AndOverLine(sn, 1e-6);
            cal.ClearZeroLine();

            // Expected cells on the entered circle and, when apart, on the added one.
            std::vector<int> wantE(kCells), wantN(kCells, 0);
            for (int i = 0; i < kCells; ++i) {
                const bool inE = eCells[i], inN = sameCircle && nCells[i];
                wantE[i] = op == Or ? inE || inN : op == Xor ? inE != inN : op == Diff ? inE && !inN : inE && inN;
                if (!sameCircle) wantN[i] = (op == Or || op == Xor) && nCells[i];
            }
            std::vector<int> gotE(kCells, 0), gotN(kCells, 0);
            double length = 0;
            for (int k = 0; k < cal.GetSegmentCount(); ++k) {
                CsSegment s;
                ASSERT_TRUE(cal.GetSegmentAt(k, s));
                ASSERT_TRUE(s.Is3PArc());
                const bool onE = std::hypot(s.points[1].x - entered.cx, s.points[1].y - entered.cy) < entered.r + 1e-9 &&
                                 std::hypot(s.points[1].x - entered.cx, s.points[1].y - entered.cy) > entered.r - 1e-9;
                const ArcSpec& circle = onE ? entered : c.added;
                EXPECT_NEAR(std::hypot(s.points[1].x - circle.cx, s.points[1].y - circle.cy), circle.r, 1e-9);
                bool ccw;
                const std::vector<char> cells = CellsOf(s.points, circle.cx, circle.cy, ccw);
                int first = -1;
                for (int i = 0; i < kCells; ++i)
                    if (cells[i]) {
                        (onE ? gotE : gotN)[i]++;
                        if (first < 0) first = i;
                    }
                // A piece keeps the direction of the arc it was cut from.
                ASSERT_GE(first, 0);
                EXPECT_EQ(ccw, onE && eCells[first] ? eCcw : nCcw);
                length += s.Length(0);
            }
            double wantLength = 0;
            for (int i = 0; i < kCells; ++i) {
                EXPECT_EQ(gotE[i], wantE[i]) << "cell " << i;
                EXPECT_EQ(gotN[i], wantN[i]) << "cell " << i;
                wantLength += (wantE[i] ? entered.r : 0) + (wantN[i] ? c.added.r : 0);
            }
            EXPECT_NEAR(length, wantLength * 2 * M_PI / kCells, 1e-9);
        }
    }
}

}  // namespace
