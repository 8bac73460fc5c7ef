// The cleaning base, the three MakeTopo forms and the edge id words.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geometry/geometry_object.h"
#include "geometry/tolerance.h"
#include "overlay/arc_polygon.h"
#include "overlay/clean_base.h"

using namespace kelo;

namespace {

// A half circle digitised in 128 chords (each within g_epsLimit of the circle) followed by a straight tail: the chords come back as arcs.
TEST(CleanBase, ChordsOfACircleBecomeArcs) {
    std::vector<Point3D> pts;
    for (int k = 0; k <= 128; ++k) pts.push_back({10 * std::cos(M_PI * k / 128), 10 * std::sin(M_PI * k / 128), 0});
    pts.push_back({-10, -5, 0});
    keloPoints run(pts, klLTPolyline);
    CKeloCleanBase base;
    EXPECT_EQ(base.SetEpsZero(1e-6), g_epsZero);
    EXPECT_EQ(base.AddInitialPoints(&run), 129);
    keloPoints lone(klLTPolyline, 1, pts.data());
    EXPECT_EQ(base.AddInitialPoints(&lone), 0);
    EXPECT_EQ(base.EndInitialPoints(), 129);
    int seen = 0;
    for (keloPoints* r = base.GetFirstPoints(); r; r = base.GetNextPoints()) seen += r->GetCount() == 2;
    EXPECT_EQ(seen, 129);

    EXPECT_GE(base.CombineSegmentToArc(), 1);
    std::vector<keloParts*> lines;
    ASSERT_EQ(base.CombineSegmentToParts(lines), 1);
    bool hasArc = false;
    for (int k = 0; k < lines[0]->GetPartsCount(); ++k) hasArc = hasArc || lines[0]->GetOriginalPointsAt(k)->IsArc();
    EXPECT_TRUE(hasArc);
    // The arcs follow the circle, so the length is the half circle's, not the chords'.
    EXPECT_NEAR(lines[0]->GetPerimeter(), M_PI * 10 + 5, 1e-6);
    delete lines[0];
}

// A 3 x 3 grid of unit cells drawn as eight long lines: nine faces of area 1 in every form.
TEST(MakeTopo, GridInEveryForm) {
    std::vector<keloParts> grid;
    for (int i = 0; i <= 3; ++i) {
        grid.emplace_back(std::vector<Point3D>{{0, double(i), 0}, {3, double(i), 0}}, klLTPolyline);
        grid.emplace_back(std::vector<Point3D>{{double(i), 0, 0}, {double(i), 3, 0}}, klLTPolyline);
    }
    std::vector<keloParts*> asParts;
    std::vector<LineString*> asRecords;
    CKeloCleanBase base;
    for (keloParts& g : grid) {
        asParts.push_back(&g);
        asRecords.push_back(&g);
        base.AddInitialPoints(g.GetOriginalPointsAt(0));
    }
    base.EndInitialPoints();
    std::vector<GM_Object*> out[3];
    EXPECT_EQ(MakeTopo(asParts, out[0], 1e-6), 9);
    EXPECT_EQ(MakeTopo(asRecords, out[1], 1e-6), 9);
    EXPECT_EQ(MakeTopo(base, out[2], 1e-6), 9);
    for (auto& o : out)
        for (GM_Object* g : o) {
            EXPECT_NEAR(g->GetArea(), 1.0, 1e-12);
            delete g;
        }
}

TEST(EdgeIds, WordsInTheZDouble) {
    Point3D p{1, 2, 0};
    CEdgeIds::SetEdgeFeaId(p, 7);
    CEdgeIds::SetEdgeFriendFeaId(p, -3);
    EXPECT_EQ(CEdgeIds::GetEdgeFeaId(p), 7);
    EXPECT_EQ(CEdgeIds::GetEdgeFriendFeaId(p), -3);
    CEdgeIds::SetEdgeFeaId(p, -1);
    EXPECT_EQ(CEdgeIds::GetEdgeFriendFeaId(p), -3);  // the other word is untouched

    keloParts line(std::vector<Point3D>{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, klLTPolyline);
    int32_t l = 0, r = 0;
    CEdgeIds::SetLineTopo(line, 4, 9);
    EXPECT_TRUE(CEdgeIds::GetLineTopo(line, l, r));
    EXPECT_EQ(l, 4);
    EXPECT_EQ(r, 9);
    EXPECT_EQ(CEdgeIds::GetEdgeFriendFeaId(line.GetOriginalPointsAt(0)->points[2]), 9);
    CEdgeIds::SetLineTopo(line, 4, -1);
    EXPECT_FALSE(CEdgeIds::GetLineTopo(line, l, r));

    const CEdgeIds ids(100, 200, 0.5);
    EXPECT_EQ(ids.EdgeKey({100, 200, 0}, {103, 205, 0}), (uint64_t{5} << 32) | 3u);
    EXPECT_EQ(ids.EdgeKey({1e300, 0, 0}, {1e300, 0, 0}) & 0xffffffffu, 0xffffffffu);  // clamped, no overflow
}

}  // namespace
