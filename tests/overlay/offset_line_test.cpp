// Offset lines keep the distance: every stored point of the offset, arc points included, lies at
// the offset distance from the original line, measured against the line's own straight pieces and
// circle arcs, and arcs stay arcs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "geometry/parts.h"

using namespace kelo;

namespace {

constexpr double kPi = 3.14159265358979323846;

// The test's own record of what it built: straight pieces and arcs (centre, radius, start, sweep).
struct Primitive {
    Point3D a, b;  // straight piece, or the arc's end points
    bool arc = false;
    Point3D c{0, 0, 0};
    double r = 0, start = 0, sweep = 0;
};

double PointSegment(const Point3D& a, const Point3D& b, const Point3D& p) {
    double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
    double t = l2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / l2, 0.0, 1.0) : 0;
    return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

// Distance to the nearest primitive, negative when the point lies right of it.
double SignedDistance(const std::vector<Primitive>& line, const Point3D& p) {
    double best = 1e300, sign = 1;
    for (const Primitive& q : line) {
        double d, side;
        if (!q.arc) {
            d = PointSegment(q.a, q.b, p);
            side = (q.b.x - q.a.x) * (p.y - q.a.y) - (q.b.y - q.a.y) * (p.x - q.a.x);
        } else {
            double rel = std::remainder(std::atan2(p.y - q.c.y, p.x - q.c.x) - (q.start + q.sweep / 2), 2 * kPi);
            double fromCentre = std::hypot(p.x - q.c.x, p.y - q.c.y);
            d = std::fabs(rel) <= std::fabs(q.sweep) / 2
                    ? std::fabs(fromCentre - q.r)
                    : std::min(std::hypot(p.x - q.a.x, p.y - q.a.y), std::hypot(p.x - q.b.x, p.y - q.b.y));
            side = (fromCentre < q.r) == (q.sweep > 0) ? 1 : -1;
        }
        if (d < best) best = d, sign = side > 0 ? 1 : -1;
    }
    return sign * best;
}

// A line of straight pieces and arcs; smooth lines turn only along their arcs, the others also
// at corners between pieces.
struct Walker {
    Point3D p{100, 200, 7};
    double heading = 0.3;
    keloParts line;
    std::vector<Primitive> prims;
    int arcs = 0;

    void Straight(double len) {
        Point3D q{p.x + len * std::cos(heading), p.y + len * std::sin(heading), 7};
        line.InsertPointsAt(keloPoints(std::vector<Point3D>{p, q}, klLTPolyline), -1);
        prims.push_back({p, q});
        p = q;
    }
    void Arc(double r, double sweep) {
        double s = sweep > 0 ? 1 : -1;
        Point3D c{p.x - s * r * std::sin(heading), p.y + s * r * std::cos(heading), 0};
        double a0 = std::atan2(p.y - c.y, p.x - c.x);
        auto at = [&](double a) { return Point3D{c.x + r * std::cos(a), c.y + r * std::sin(a), 7}; };
        Point3D m = at(a0 + sweep / 2), e = at(a0 + sweep);
        line.InsertPointsAt(keloPoints(std::vector<Point3D>{p, m, e}, klLT3PArc), -1);
        prims.push_back({p, e, true, c, r, a0, sweep});
        p = e;
        heading += sweep;
        ++arcs;
    }
};

int ArcCount(const keloParts& line) {
    int n = 0;
    for (int k = 0; k < line.GetPartsCount(); ++k) {
        const keloPoints* part = line.GetOriginalPointsAt(k);
        if (part->GetLineType() == klLT3PArc) n += (part->GetCount() - 1) / 2;
    }
    return n;
}

}  // namespace

TEST(OffsetLine, EveryOffsetPointLiesAtTheDistance) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> len(3, 8), sweep(kPi / 12, kPi / 3), corner(kPi / 18, 2 * kPi / 9);
    const double d = 1;
    // A convex corner point reaches out like a mitre, d / cos(turn / 2), a little farther where an
    // arc's circle is extended to meet the next piece.
    const double mitre = 1.05 / std::cos(corner.b() / 2);
    for (int trial = 0; trial < 60; ++trial) {
        const bool smooth = trial % 2 == 0;
        Walker w;
        for (int piece = 0; piece < 8; ++piece) {
            double turn = (piece % 2 ? 1 : -1) * sweep(rng);  // alternate, so the line never curls up
            if (rng() % 2) w.Arc(len(rng), turn);
            else w.Straight(len(rng));
            if (!smooth) w.heading += (rng() % 2 ? 1 : -1) * corner(rng);
            if (!smooth) w.Straight(len(rng));
        }
        for (int side : {1, 2}) {
            keloParts out;
            ASSERT_NE(w.line.ParallelKeloPartsPart(d, side, out), 0);
            EXPECT_EQ(ArcCount(out), w.arcs) << trial;
            for (int k = 0; k < out.GetPartsCount(); ++k) {
                const keloPoints* part = out.GetOriginalPointsAt(k);
                for (int i = 0; i < part->GetCount(); ++i) {
                    double signedDist = SignedDistance(w.prims, (*part)[i]);
                    double dist = std::fabs(signedDist);
                    EXPECT_EQ(signedDist > 0, side == 1) << trial << " part " << k << " point " << i;
                    EXPECT_GE(dist, d - 1e-6) << trial << " side " << side << " part " << k << " point " << i;
                    EXPECT_LE(dist, smooth ? d + 1e-6 : d * mitre + 1e-6) << trial << " side " << side;
                }
            }
        }
        // The original is left alone by the copying form.
        EXPECT_EQ(ArcCount(w.line), w.arcs);
    }
}

TEST(OffsetLine, ClosedRingsAndDegenerateLines) {
    // A square ring with rounded corners offset outwards grows every arc by the distance.
    Walker w;
    w.heading = 0;
    for (int k = 0; k < 4; ++k) {
        w.Straight(10);
        w.Arc(2, kPi / 2);
    }
    keloParts out;
    ASSERT_NE(w.line.ParallelKeloPartsPart(1, 2, out), 0);
    EXPECT_TRUE(out.IsClosed());
    EXPECT_NEAR(std::fabs(out.GetArea()), 16 * 16 - 4 * 9 + 9 * kPi, 1e-6);

    struct Case {
        const char* what;
        std::vector<Point3D> pts;
    } cases[] = {
        {"one point", {{1, 1, 0}}},
        {"repeated point", {{1, 1, 0}, {1, 1, 0}, {1, 1, 0}}},
    };
    for (const Case& c : cases) {
        keloParts line(c.pts, klLTPolyline);
        EXPECT_EQ(line.ParallelKeloParts(1, 1), 0) << c.what;
        EXPECT_EQ(line.GetPartsCount(), 0) << c.what;
    }
    keloParts spiky(std::vector<Point3D>{{0, 0, 0}, {5, 0, 0}, {5, 0, 0}, {0, 0.001, 0}, {5, 0, 0}}, klLTPolyline);
    EXPECT_NE(spiky.ParallelKeloParts(1, 1), 0);
}
