// Hostile multi-part lines through every operation: empty and one-point parts, odd counts for every
// line type, repeated and non-finite points. The sanitizers catch reads and writes outside the
// arrays; the checks catch broken invariants.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "geometry/parts.h"

using namespace kelo;

namespace {

keloParts RandomLine(std::mt19937& rng, bool hostile) {
    static const klLineType kTypes[] = {klLTNone, klLTPolyline, klLTBezier, klLT3PArc,
                                        klLTEllipse, klLT3PCircle, klLTSpline, klLTSpline2};
    std::uniform_int_distribution<int> pick(0, 7), count(0, 9), coin(0, 9);
    std::uniform_real_distribution<double> u(-100, 100);
    keloParts line;
    int parts = count(rng) % 4;
    Point3D last{u(rng), u(rng), 0};
    for (int k = 0; k < parts; ++k) {
        std::vector<Point3D> pts;
        int n = count(rng);
        for (int i = 0; i < n; ++i) {
            Point3D p{u(rng), u(rng), u(rng)};
            if (i == 0 && coin(rng) < 8) p = last;  // usually joined to the part before
            if (hostile && coin(rng) == 0) p = pts.empty() ? p : pts.back();  // repeated point
            if (hostile && coin(rng) == 0) p.x = std::numeric_limits<double>::quiet_NaN();
            if (hostile && coin(rng) == 0) p.y = std::numeric_limits<double>::infinity();
            pts.push_back(p);
        }
        if (!pts.empty()) last = pts.back();
        keloPoints run(pts, kTypes[pick(rng)]);
        line.InsertPointsAt(run, -1);
    }
    if (coin(rng) < 3) line.MakeClose();
    return line;
}

// Reversal keeps the curve (so negates the area) when every run reads the same both ways: straight
// runs and complete three-point-arc chains. Circles count positive either way, and a trailing half
// arc or Bezier remainder becomes a leading one.
bool ReversesExactly(const keloParts& line) {
    for (int k = 0; k < line.GetPartsCount(); ++k) {
        const keloPoints& run = *line.GetOriginalPointsAt(k);
        bool straight = run.GetLineType() == klLTPolyline || run.GetLineType() == klLTNone;
        bool arcs = run.GetLineType() == klLT3PArc && run.GetCount() % 2 == 1;
        if (!straight && !arcs) return false;
    }
    return true;
}

bool AllFinite(const keloParts& line) {
    for (int k = 0; k < line.GetPartsCount(); ++k)
        for (int i = 0; i < line.GetOriginalPointsAt(k)->GetCount(); ++i) {
            const Point3D& p = (*line.GetOriginalPointsAt(k))[i];
            if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
        }
    return true;
}

}  // namespace

TEST(PartsRobustness, EveryOperationOnRandomLines) {
    std::mt19937 rng(424242);
    for (int round = 0; round < 600; ++round) {
        bool hostile = round % 2 == 1;
        keloParts line = RandomLine(rng, hostile);
        keloParts other = RandomLine(rng, hostile);
        const int vertices = line.GetVertexCount();
        ASSERT_GE(vertices, 0);
        ASSERT_LE(vertices, line.GetAuxPointCount());

        // Vertex numbering round trip: every vertex maps back to itself.
        for (int v = 0; v < vertices; ++v) {
            int part = -1, index = -1;
            ASSERT_NE(line.GetPointByVertexAt(v, &part, &index), nullptr);
            ASSERT_EQ(line.GetVertexAt(part, index), v) << "round " << round;
        }
        EXPECT_EQ(line.GetPointByVertexAt(vertices), nullptr);

        double area = line.GetArea();
        if (AllFinite(line) && ReversesExactly(line)) {
            keloParts back(line);
            back.Reverse();
            EXPECT_NEAR(back.GetArea(), -area, 1e-6 * (1 + std::abs(area))) << "round " << round;
        }
        (void)line.GetPerimeter();
        (void)line.GetBox();
        (void)line.IsClosed();
        (void)line.IsSelfIntersect();
        (void)line.IsNormal(1e-8, 0xFF);
        (void)line.PointOn({0, 0, 0}, 1e-6);
        (void)line.PointInside({1, 1, 0}, 1e-6);
        (void)line.DistanceToPoint({3, 3, 0});
        double dist;
        (void)line.SearchVertexAtNearPt({0, 0, 0}, dist);
        (void)line.SearchSegAtNearPt({0, 0, 0}, dist);
        for (int corner = 0; corner <= 9; ++corner) {
            int seg;
            line.GetCorner(corner, seg);
        }
        int segs = line.GetSegmentCount();
        for (int s = -1; s <= segs; ++s) {
            (void)line.GetSegmentAt(s);
            (void)line.GetVertexAtSegment(s);
            (void)line.GetPrevSegment(s);
            (void)line.GetNextSegment(s);
        }
        std::vector<Point3D> pts;
        line.IntersectParts(other, pts);
        line.Discrete(pts, 0.01);
        std::vector<keloPoints*> pieces;
        line.Explode2Line(pieces);
        for (keloPoints* p : pieces) delete p;

        keloParts sub;
        line.GetSubPartsFromVertexAt(0, vertices - 1, sub);
        keloParts path;
        line.FindPath({0, 0, 0}, {50, 50, 0}, path);

        // Editing on copies.
        keloParts edit(line);
        edit.SetMIV(3, 7);
        edit.SetMFV(4, 1.5f);
        int32_t iv;
        float fv;
        (void)edit.GetMIV(3, iv);
        (void)edit.GetMFV(4, fv);
        edit.ClearMV(0.0);
        edit.ReplaceVertexAt(vertices / 2, {1, 2, 3});
        edit.DeleteVertexAt(vertices / 2);
        edit.DeleteVertextFromAt(0, 1);
        Point3D ins[2] = {{1, 1, 0}, {2, 2, 0}};
        edit.InsertPtsIntoSegAt(0, ins, 2);
        edit.AddPtsAtTerminal(round % 2, ins, 2);
        edit.Clockwise(round % 10, round % 2);
        edit.MergeWithAnother(other, nullptr);
        edit.Normalizing(1e-8, 0x7FFF);
        edit.UnionStraightPoints();
        keloParts bag(line);
        bag.Combine(other);
        while (keloParts* chain = bag.PutInOrder()) {
            delete chain;
            if (bag.IsNull()) break;
        }

        keloPolygon polygon(line);
        polygon.InsertRing(other, 1);
        (void)polygon.GetArea();
        (void)polygon.IsPointIn({0, 0, 0}, 1e-6);
        (void)polygon.IsNormal(1e-8, 0xFF);
        polygon.Clockwise(round % 10, 1);
        double x, y;
        polygon.SetLabelPt(1, 2);
        polygon.GetLabelPt(x, y);
        polygon.SetH(4);
        (void)polygon.GetH();

        std::vector<keloParts*> rings = {&line, &other};
        std::vector<keloPolygon*> made;
        keloPolygon::MakePolygonsByRings(rings, made, 1e-6);
        for (keloPolygon* p : made) delete p;
    }
}
