// Random and hostile point runs through every operation: no crash, no leak, no out-of-bounds access
// (the sanitizers watch), and the invariants that hold for any input.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "KeloGeomNet.h"

using namespace kelo;

TEST(PointRunRobustness, RandomRunsThroughEveryOperation) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    const double pool[] = {0, 1, -1, 0.5, 2, 1e-9, 1e9, -1e9, 1e300, nan, inf, -inf, 3, 7.25};
    std::mt19937 g(2024);
    std::uniform_int_distribution<int> pick(0, int(std::size(pool)) - 1), type(0, 11), count(0, 13), coin(0, 3);
    for (int trial = 0; trial < 600; ++trial) {
        int n = count(g);
        bool finite = trial % 2 == 0;
        std::vector<Point3D> v;
        for (int i = 0; i < n; ++i) {
            if (i > 0 && coin(g) == 0) {
                v.push_back(v.back());  // repeated points
                continue;
            }
            double x = finite ? std::uniform_real_distribution<double>(-50, 50)(g) : pool[pick(g)];
            double y = finite ? std::uniform_real_distribution<double>(-50, 50)(g) : pool[pick(g)];
            v.push_back({x, y, finite ? 0.0 : pool[pick(g)]});
        }
        keloPoints run(v, static_cast<klLineType>(type(g)));
        SCOPED_TRACE(::testing::Message() << "type " << run.GetLineType() << " count " << n);

        std::vector<Point3D> out;
        EXPECT_EQ(run.Discrete(out, 0.01), 1);
        Box box = run.GetBox();
        EXPECT_EQ(box.IsEmpty() != 0, n == 0 || !finite ? box.IsEmpty() != 0 : false);
        if (finite && n > 0) {
            // The stored ends are on every kind of line, so the box holds them.
            EXPECT_TRUE(box.contain(v.front().x, v.front().y));
            EXPECT_TRUE(box.contain(v.back().x, v.back().y));
        }
        double len = run.GetPerimeter();
        if (finite) {
            EXPECT_GE(len, 0.0);
        }
        EXPECT_EQ(GetArcDangle(), 1.0);

        SearchSegResult r;
        run.SearchNearestPoint(r, {0, 0, 0}, 1.0);
        run.SearchNearestLine(r, {1, 1, 0}, 5.0, trial % 2);
        double angle;
        Point3D mid;
        run.QieXian({1, 2, 0}, angle, 0);
        for (int s = -1; s <= run.GetCurveSegmentCount(); ++s) {
            keloPoints piece;
            run.DiscreteOneSeg(s, piece, 0.01);
            run.QieXianandMidPoint(s, angle, mid);
        }
        run.GetMidPoint();
        std::vector<keloPoints*> parts;
        int exploded = run.Explode2Line(parts);
        EXPECT_EQ(exploded, int(parts.size()));
        for (auto* p : parts) delete p;

        GpPath* path = nullptr;
        ASSERT_EQ(GdipCreatePath(FillModeAlternate, &path), Ok);
        klAddPoints2Path(&run, path, 0, 0, 0.5);
        int32_t pc = 0;
        GdipGetPointCount(path, &pc);
        EXPECT_GE(pc, 0);
        GdipDeletePath(path);

        for (int32_t mask : {0, 1, 2, 4, 8}) {
            keloPoints a, b;
            a = run;
            b = run;
            int before = a.GetCount();
            a.Discrete(mask);
            if (!DiscreteMaskSelects(mask, run.GetLineType())) {
                EXPECT_EQ(a.GetCount(), before);
            }
            b.ConvertToBezier(mask);
            if (b.GetLineType() == klLTBezier && b.GetCount() > 0 && run.GetLineType() != klLTBezier) {
                EXPECT_EQ((b.GetCount() - 1) % 3, 0);
            }
        }
        keloPoints c;
        c = run;
        c.Normalizing(1e-8, 12);
        if (c.IsArc()) {
            EXPECT_TRUE(c.GetCount() < 3 || c.GetCount() % 2 == 1);
        }
        c = run;
        int at = c.InsertPtIntoSegment({0.5, 0.5, 0}, trial % 5, 1e-6);
        EXPECT_LT(at, c.GetCount());
        c = run;
        Point3D q{v.empty() ? 0.0 : v.back().x, v.empty() ? 0.0 : v.back().y, 0};
        c.PointOn(&q);
        c = run;
        EXPECT_EQ(c.ReversePoint() == 1, run.GetLineType() <= 10 && run.GetLineType() != 4 &&
                                             run.GetLineType() != 7 && run.GetLineType() != 8);
        EXPECT_EQ(c.GetCount(), run.GetCount());
        c.Restore3PArc();
        run.IsNormal(1e-8, 15);
    }
}
