// The quadtree against a brute-force scan of the same boxes, through inserts, replacements,
// removals and bulk loads, plus the documented splitting and growth rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <vector>

#include "relations/geometry_index.h"

using namespace kelo;

namespace {

constexpr double kTol = 1e-8;

Box RandomBox(std::mt19937& g, double extent, double maxSize) {
    std::uniform_real_distribution<double> pos(0, extent), size(0, maxSize);
    double x = pos(g), y = pos(g);
    // Some boxes are points and some sit on round coordinates, so centre lines get hit.
    if (g() % 8 == 0) return Box(std::round(x), std::round(y), std::round(x), std::round(y));
    return Box(x, y, x + size(g), y + size(g));
}

double Dist(const Box& q, const Box& b) {
    double dx = std::max({0.0, b.minx - q.maxx, q.minx - b.maxx});
    double dy = std::max({0.0, b.miny - q.maxy, q.miny - b.maxy});
    return std::hypot(dx, dy);
}

std::vector<uint32_t> Ids(const CNodeInfoArray& a) {
    std::vector<uint32_t> v;
    for (const NodeInfoType* r : a) v.push_back(r->id);
    return v;
}

std::vector<uint32_t> Brute(const std::map<uint32_t, Box>& ref, const Box& q, double within) {
    std::vector<uint32_t> v;
    for (const auto& [id, b] : ref)
        if (Dist(q, b) <= within) v.push_back(id);
    return v;
}

// Exact answers may differ from the query only within the documented 1e-8 looseness.
void ExpectBetween(const CNodeInfoArray& out, const std::map<uint32_t, Box>& ref, const Box& q) {
    std::vector<uint32_t> got = Ids(out), strict = Brute(ref, q, 0), loose = Brute(ref, q, 3 * kTol);
    EXPECT_TRUE(std::includes(got.begin(), got.end(), strict.begin(), strict.end()));
    EXPECT_TRUE(std::includes(loose.begin(), loose.end(), got.begin(), got.end()));
}

void ExpectSameAsBrute(const GeometryIndex& index, const std::map<uint32_t, Box>& ref, std::mt19937& g,
                       double extent) {
    ASSERT_EQ(index.GetNodeInfoArray().size(), ref.size());
    CNodeInfoArray out;
    for (int k = 0; k < 200; ++k) {
        Box q = RandomBox(g, extent, extent / 10);
        index.BoxQuery(q, out);
        ExpectBetween(out, ref, q);
        index.PointQuery({q.minx, q.miny, 0}, out);
        ExpectBetween(out, ref, Box(q.minx, q.miny, q.minx, q.miny));
    }
}

// Every node box is finite and the children of a node tile it exactly, on one shared corner.
void ExpectTiled(const GeometryIndexNode* n) {
    const Box& b = n->box;
    ASSERT_TRUE(std::isfinite(b.minx) && std::isfinite(b.miny) && std::isfinite(b.maxx) && std::isfinite(b.maxy));
    if (!n->children) return;
    const GeometryIndexNode* c = n->children;
    const double cx = c[0].box.maxx, cy = c[0].box.maxy;
    const Box want[4] = {Box(b.minx, b.miny, cx, cy), Box(cx, b.miny, b.maxx, cy), Box(b.minx, cy, cx, b.maxy),
                         Box(cx, cy, b.maxx, b.maxy)};
    for (int q = 0; q < 4; ++q) {
        EXPECT_TRUE(c[q].box.minx == want[q].minx && c[q].box.miny == want[q].miny && c[q].box.maxx == want[q].maxx &&
                    c[q].box.maxy == want[q].maxy);
        ExpectTiled(&c[q]);
    }
}

}  // namespace

TEST(GeometryIndex, QueriesMatchBruteForceThroughEdits) {
    std::mt19937 g(17);
    const double extent = 1000;
    GeometryIndex index;
    std::map<uint32_t, Box> ref;
    for (uint32_t id = 1; id <= 3000; ++id) {
        Box b = RandomBox(g, extent, 30);
        index.Add(&b, id);
        ref[id] = b;
    }
    ExpectSameAsBrute(index, ref, g, extent);

    // Moves (some far outside the original extent, growing the root), deletions through empty
    // boxes and through Delete, and unknown ids.
    for (int k = 0; k < 1500; ++k) {
        uint32_t id = 1 + g() % 3200;
        switch (g() % 4) {
        case 0: {
            Box b = RandomBox(g, extent * 3, 60);
            b.Offset({-extent, -extent, 0});
            index.Add(&b, id);
            ref[id] = b;
            break;
        }
        case 1: {
            Box e;
            index.Add(&e, id);
            ref.erase(id);
            break;
        }
        case 2:
            index.Delete(id);
            ref.erase(id);
            break;
        default: index.Add(nullptr, id);
        }
    }
    ExpectSameAsBrute(index, ref, g, extent * 3);
    const CNodeInfoArray& all = index.GetNodeInfoArray();
    for (size_t i = 1; i < all.size(); ++i) EXPECT_LT(all[i - 1]->id, all[i]->id);
}

// A much-queried index answers from a compact copy of its tree: the same records in the same
// order as the tree gives, and after an edit the tree again.
TEST(GeometryIndex, CompactCopyAnswersExactlyAsTheTree) {
    std::mt19937 g(23);
    const double extent = 1000;
    GeometryIndex index;
    for (uint32_t id = 1; id <= 3000; ++id) {
        Box b = RandomBox(g, extent, 30);
        index.Add(&b, id);
    }
    Box big(-5, -5, 40, 40);  // covers whole small nodes, so covering lists are exercised
    index.Add(&big, 5000);
    // Edges no float can hold: far out, huge, and off round values by less than a float step.
    const double huge = std::numeric_limits<double>::max() / 4;
    std::vector<Box> odd = {Box(1e6 + 0.1, 3, 1e6 + 0.3, 4), Box(-huge, -huge, -1e300, -1e300), Box(1e39, 5, 1e39, 5),
                            Box(3e38, 2, huge, 2), Box(700 + 1e-9, 700, 700 + 3e-9, 700)};
    for (uint32_t k = 0; k < odd.size(); ++k) index.Add(&odd[k], 7000 + k);
    Box moved(900.5, 900.2, 900.6, 900.3);  // a record stored before the root grew, replaced after
    index.Add(&moved, 2);
    // A crowd of consecutive ids on one spot: hits bunched in id among others spread out, and
    // one far below them in id.
    for (uint32_t k = 0; k < 300; ++k) {
        Box b(900 + k * 1e-3, 900, 901 + k * 1e-3, 901);
        index.Add(&b, 8000 + k);
    }
    Box lowest(900.5, 900.2, 900.6, 900.3);
    index.Add(&lowest, 0);
    std::vector<Box> queries;
    for (int k = 0; k < 60; ++k) queries.push_back(RandomBox(g, extent, k % 3 ? 20 : 300));
    queries.push_back(Box(0, 0, 0, 0));
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    queries.push_back(Box(-inf, -inf, inf, inf));  // every record, many to sort
    queries.push_back(Box(0, 0, extent, extent));
    queries.push_back(Box(nan, 0, 10, 10));
    queries.push_back(Box(850, 850, 950, 950));
    // Windows holding whole nodes, over the root's edge, and of no width along centre lines.
    for (const Box& b : {Box(100, 100, 700, 700), Box(-50, 200, 30, 260), Box(990, -10, 1200, 50), Box(500, 0, 500, 1000),
                         Box(0, 250, 1000, 250), Box(250, 750, 250, 750)})
        queries.push_back(b);
    // Query edges a few double steps either side of the 1e-8 margin around record edges, where
    // the float boxes cannot decide.
    for (const Box& b : odd) {
        for (double d : {-3e-8, -1e-8, 0.0, 1e-8}) {
            double lo = b.maxx + 1e-8 + d, hi = b.minx - 1e-8 - d;
            for (int step = 0; step < 3; ++step) {
                queries.push_back(Box(lo, b.miny, lo + 1, b.maxy));
                queries.push_back(Box(hi - 1, b.miny, hi, b.maxy));
                lo = std::nextafter(lo, -inf);
                hi = std::nextafter(hi, inf);
            }
        }
    }
    std::vector<std::vector<uint32_t>> first;
    CNodeInfoArray out;
    for (const Box& q : queries) {
        index.BoxQuery(q, out);
        first.push_back(Ids(out));
    }
    for (int k = 0; k < 400; ++k) index.BoxQuery(RandomBox(g, extent, 50), out);
    for (size_t k = 0; k < queries.size(); ++k) {
        index.BoxQuery(queries[k], out);
        EXPECT_EQ(Ids(out), first[k]) << k;
    }
    Box added(500, 500, 501, 501);
    index.Add(&added, 6000);
    index.Delete(5000);
    index.BoxQuery(Box(500.5, 500.5, 500.6, 500.6), out);
    const std::vector<uint32_t> near = Ids(out);
    EXPECT_TRUE(std::find(near.begin(), near.end(), 6000u) != near.end());
    for (int k = 0; k < 400; ++k) index.BoxQuery(RandomBox(g, extent, 50), out);
    index.BoxQuery(Box(-1, -1, 0, 0), out);
    const std::vector<uint32_t> ids = Ids(out);
    EXPECT_TRUE(std::find(ids.begin(), ids.end(), 5000u) == ids.end());
}

// Growth toward the ends of the double range: the grown roots must split exactly on the old
// roots' edges, so records stored before the growth are still found, replaced and removed
// through the new roots. An index begun far out starts too thin for its tolerance to widen it
// and must still grow toward the rest.
TEST(GeometryIndex, GrowthToExtremeCoordinatesKeepsRecordsReachable) {
    const double top = std::numeric_limits<double>::max();
    struct Case {
        std::vector<Box> far;
        bool first;  // added before the ordinary records rather than after
    };
    // Enough records out there for nodes near the ends of the range to split.
    std::vector<Box> crowd;
    for (int k = 0; k < 80; ++k) {
        const double at = top * (0.55 + k * 0.005) * (k % 2 ? 1 : -1);
        crowd.push_back(Box(at, at, at + top / 500 * (k % 2), at + top / 500 * (k % 2)));
    }
    std::vector<Case> cases = {
        {{Box(1e300, 1e300, 1e300, 1e300)}, false},
        {{Box(-1e300, -1e300, -1e300, -1e300)}, false},
        {{Box(1e300, -1e300, 1e300, -1e300), Box(-1e300, 1e300, -1e299, 1e300)}, false},
        {{Box(top / 2, top / 2, top, top), Box(-top, -top, -top / 3, -top / 3), Box(-top, 5, top, 6)}, false},
        {{Box(1e300, 1e300, 1e300, 1e300), Box(top, -top, top, -top)}, true},
        {crowd, false},
        {crowd, true},
    };
    std::mt19937 g(31);
    for (size_t c = 0; c < cases.size(); ++c) {
        SCOPED_TRACE(c);
        const std::vector<Box>& far = cases[c].far;
        GeometryIndex index;
        std::map<uint32_t, Box> ref;
        auto addFar = [&] {
            for (uint32_t k = 0; k < far.size(); ++k) {
                index.Add(&far[k], 5000 + k);
                ref[5000 + k] = far[k];
            }
        };
        if (cases[c].first) addFar();
        for (uint32_t id = 1; id <= 600; ++id) {
            Box b = RandomBox(g, 1000, 30);
            index.Add(&b, id);
            ref[id] = b;
        }
        if (!cases[c].first) addFar();
        for (uint32_t id = 1; id <= 600; ++id) {
            if (id % 3 == 0) {
                index.Delete(id);
                ref.erase(id);
            } else {
                Box b = RandomBox(g, 1000, 30);
                index.Add(&b, id);
                ref[id] = b;
            }
        }
        ExpectTiled(index.GetRoot());
        ExpectSameAsBrute(index, ref, g, 1000);
        CNodeInfoArray out;
        for (const Box& q : far) {
            index.BoxQuery(q, out);
            ExpectBetween(out, ref, q);
        }
        index.BoxQuery(Box(-top, -top, top, top), out);
        EXPECT_EQ(out.size(), ref.size());
    }
}

TEST(GeometryIndex, BulkAddMatchesBruteForce) {
    std::mt19937 g(23);
    for (int preload : {0, 40, 1000}) {
        GeometryIndex index;
        std::map<uint32_t, Box> ref;
        for (int i = 0; i < preload; ++i) {
            Box b = RandomBox(g, 500, 20);
            uint32_t id = g() % 1500;
            index.Add(&b, id);
            ref[id] = b;
        }
        // Unsorted, with repeated ids (the last wins), empty boxes (deletions) and a null box.
        std::vector<Box> boxes(800);
        std::vector<NodeInfoType> recs(800);
        for (size_t i = 0; i < recs.size(); ++i) {
            boxes[i] = g() % 20 ? RandomBox(g, 800, 20) : Box();
            recs[i] = {static_cast<uint32_t>(g() % 1500), i == 5 ? nullptr : &boxes[i]};
        }
        index.Add(static_cast<int>(recs.size()), recs.data());
        for (const NodeInfoType& r : recs) {
            if (!r.box) continue;
            if (r.box->IsEmpty()) ref.erase(r.id);
            else ref[r.id] = *r.box;
        }
        ExpectSameAsBrute(index, ref, g, 800);
    }
}

TEST(GeometryIndex, NearQueriesKeepTheNearestAndStayWithinTolerance) {
    std::mt19937 g(29);
    GeometryIndex index;
    std::map<uint32_t, Box> ref;
    for (uint32_t id = 1; id <= 2000; ++id) {
        Box b = RandomBox(g, 1000, 10);
        index.Add(&b, id);
        ref[id] = b;
    }
    CNodeInfoArray out;
    for (int k = 0; k < 300; ++k) {
        Box q = RandomBox(g, 1000, 5);
        double tol = (g() % 2) ? 5.0 : 40.0;
        if (k % 2) {
            index.BoxRelatedQuery(q, out, tol);
        } else {
            q = Box(q.minx, q.miny, q.minx, q.miny);
            index.PointRelatedQuery({q.minx, q.miny, 0}, out, tol);
        }
        double nearest = 1e300;
        for (const auto& [id, b] : ref) nearest = std::min(nearest, Dist(q, b));
        std::vector<uint32_t> got = Ids(out);
        for (uint32_t id : got) EXPECT_LE(Dist(q, ref[id]), tol + 2 * kTol);
        // Every record as near as the nearest one is always found.
        std::vector<uint32_t> nearestIds = Brute(ref, q, nearest);
        if (nearest <= tol) {
            EXPECT_TRUE(std::includes(got.begin(), got.end(), nearestIds.begin(), nearestIds.end()));
        } else {
            EXPECT_TRUE(got.empty());
        }
    }
}

TEST(GeometryIndex, SameIdWithinToleranceKeepsTheRecord) {
    GeometryIndex index;
    Box a(0, 0, 10, 10);
    index.Add(&a, 7);
    const NodeInfoType* before = index.GetNodeInfoArray()[0];
    Box nearlySame(5e-9, -5e-9, 10 + 5e-9, 10);
    index.Add(&nearlySame, 7);
    EXPECT_EQ(index.GetNodeInfoArray()[0], before);
    EXPECT_EQ(index.GetNodeInfoArray()[0]->box->minx, 0.0);

    Box moved(20, 20, 30, 30);
    index.Add(&moved, 7);
    ASSERT_EQ(index.GetNodeInfoArray().size(), 1u);
    CNodeInfoArray out;
    EXPECT_EQ(index.PointQuery({5, 5, 0}, out), 0);
    EXPECT_EQ(index.PointQuery({25, 25, 0}, out), 1);
}

TEST(GeometryIndex, RootGrowthAddsOneLevelPerDoubling) {
    GeometryIndex thin(Box(5, 5, 5, 5.05), 0, -64);  // grown to 0.1 each way; bad size and level default
    EXPECT_EQ(thin.GetSize(), 30);
    EXPECT_EQ(thin.GetLevel(), 10);
    EXPECT_NEAR(thin.GetBox().minx, 4.95, 1e-12);
    EXPECT_NEAR(thin.GetBox().maxy - thin.GetBox().miny, 0.1, 1e-12);

    GeometryIndex index(Box(0, 0, 10, 10), 30, 10);
    Box inside(1, 1, 2, 2);
    index.Add(&inside, 1);
    EXPECT_EQ(index.GetLevel(), 10);
    // 10 wide to 80 wide needs three doublings; the record lies left and below, so the box grows
    // that way.
    Box far(-65, -65, -64, -64);
    index.Add(&far, 2);
    EXPECT_EQ(index.GetLevel(), 13);
    EXPECT_DOUBLE_EQ(index.GetBox().minx, -70);
    EXPECT_DOUBLE_EQ(index.GetBox().maxy, 10);
    CNodeInfoArray out;
    EXPECT_EQ(index.PointQuery({1.5, 1.5, 0}, out), 1);
    EXPECT_EQ(index.PointQuery({-64.5, -64.5, 0}, out), 1);
    EXPECT_EQ(out[0]->id, 2u);
}

TEST(GeometryIndex, LeafSplitsAtCapacityUnlessTheBudgetIsSpent) {
    for (int level : {1, 10}) {
        GeometryIndex index(Box(0, 0, 100, 100), 30, level);
        std::mt19937 g(1);
        // Small boxes inside the lower-left quadrant, so every split sends them one way.
        for (uint32_t id = 1; id <= 29; ++id) {
            Box b = RandomBox(g, 40, 1);
            index.Add(&b, id);
        }
        EXPECT_EQ(index.GetRoot()->children, nullptr);
        EXPECT_EQ(index.GetRoot()->leaf.size(), 29u);
        Box b(1, 1, 2, 2);
        index.Add(&b, 30);
        const GeometryIndexNode* root = index.GetRoot();
        ASSERT_NE(root->children, nullptr);
        EXPECT_TRUE(root->leaf.empty());
        EXPECT_EQ(root->children[0].leaf.size(), 30u);
        // Below the split the budget is level - 1: with level 1 that leaf never splits again.
        Box c(3, 3, 4, 4);
        index.Add(&c, 31);
        EXPECT_EQ(root->children[0].children != nullptr, level > 1);
        if (level == 1) {
            EXPECT_EQ(root->children[0].leaf.size(), 31u);
        }
    }
}

namespace {

void ExpectSameTree(const GeometryIndexNode& a, const GeometryIndexNode& b, int depth) {
    ASSERT_TRUE(a.box.minx == b.box.minx && a.box.miny == b.box.miny && a.box.maxx == b.box.maxx &&
                a.box.maxy == b.box.maxy)
        << depth;
    auto ids = [](const std::vector<NodeInfoType*>& list) {
        std::vector<uint32_t> v;
        for (const NodeInfoType* r : list) v.push_back(r->id);
        return v;
    };
    ASSERT_EQ(ids(a.covering), ids(b.covering)) << depth;
    ASSERT_EQ(ids(a.leaf), ids(b.leaf)) << depth;
    ASSERT_EQ(a.children == nullptr, b.children == nullptr) << depth;
    if (a.children)
        for (int q = 0; q < 4; ++q) ExpectSameTree(a.children[q], b.children[q], depth + 1);
}

}  // namespace

// A bulk load builds its tree level by level; it must be the very tree that adding the records
// one by one in id order gives, lists in the same order, because near queries walk it.
TEST(GeometryIndex, BulkTreeIsTheTreeOfInsertsInIdOrder) {
    std::mt19937 g(31);
    struct Case {
        int size, level, count, preload;
    };
    for (const Case& c : {Case{30, 10, 3000, 0}, Case{4, 10, 1500, 0}, Case{1, 6, 300, 0}, Case{2, 3, 800, 0},
                          Case{30, 10, 2000, 700}, Case{5, 8, 1200, 500}}) {
        GeometryIndex bulk(Box(0, 0, 1024, 1024), c.size, c.level);
        // Records added before (some far out, growing the root) are rebuilt with the bulk ones.
        for (int i = 0; i < c.preload; ++i) {
            Box b = RandomBox(g, i % 50 ? 1024 : 4096, 20);
            bulk.Add(&b, g() % 6000);
        }
        std::vector<Box> boxes(static_cast<size_t>(c.count));
        std::vector<NodeInfoType> recs(boxes.size());
        for (size_t i = 0; i < boxes.size(); ++i) {
            switch (g() % 6) {
            case 0: boxes[i] = Box(512, 512, 512, 512); break;  // one point on every centre line
            case 1: boxes[i] = RandomBox(g, 1024, 400); break;   // straddles and covers nodes
            case 2: boxes[i] = Box(256, 100.0 + g() % 7, 256, 300); break;  // a line on a centre
            default: boxes[i] = RandomBox(g, g() % 2 ? 1024 : 64, 3);  // a dense corner goes deep
            }
            recs[i] = {static_cast<uint32_t>(g() % 6000), &boxes[i]};
        }
        bulk.Add(static_cast<int>(recs.size()), recs.data());

        GeometryIndex oneByOne(bulk.GetBox(), bulk.GetSize(), bulk.GetLevel());
        for (const NodeInfoType* r : bulk.GetNodeInfoArray()) oneByOne.Add(r->box, r->id);
        ASSERT_EQ(oneByOne.GetLevel(), bulk.GetLevel());
        ASSERT_EQ(oneByOne.GetNodeInfoArray().size(), bulk.GetNodeInfoArray().size());
        ExpectSameTree(*oneByOne.GetRoot(), *bulk.GetRoot(), 0);

        CNodeInfoArray a, b;
        for (int k = 0; k < 100; ++k) {
            Box q = RandomBox(g, 1024, k % 2 ? 5 : 200);
            bulk.BoxRelatedQuery(q, a, 30);
            oneByOne.BoxRelatedQuery(q, b, 30);
            ASSERT_EQ(Ids(a), Ids(b));
            bulk.BoxQuery(q, a);
            oneByOne.BoxQuery(q, b);
            ASSERT_EQ(Ids(a), Ids(b));
        }
        // Bulk-made records are freed one at a time by later edits, and the trees stay alike.
        for (int k = 0; k < 300; ++k) {
            uint32_t id = g() % 6000;
            Box b = RandomBox(g, 1024, 10);
            for (GeometryIndex* ix : {&bulk, &oneByOne}) k % 2 ? ix->Delete(id) : ix->Add(&b, id);
        }
        ExpectSameTree(*oneByOne.GetRoot(), *bulk.GetRoot(), 0);
    }
}
