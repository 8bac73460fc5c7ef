// Both id sets against std::set on random data, the growth-step rule of the sorted array, and the
// height bound of the balanced tree after random inserts and removals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <vector>

#include "relations/kelo_avl_ids.h"
#include "relations/kelo_ids.h"

using namespace kelo;

namespace {

std::vector<uint32_t> RandomIds(std::mt19937& g, int n, uint32_t range) {
    std::uniform_int_distribution<uint32_t> d(0, range);
    std::vector<uint32_t> v(static_cast<size_t>(n));
    for (auto& x : v) x = d(g);
    return v;
}

std::set<uint32_t> Expected(std::set<uint32_t> a, const std::vector<uint32_t>& b, int op, bool refuseZero) {
    std::set<uint32_t> bs(b.begin(), b.end());
    if (refuseZero) bs.erase(0);
    std::set<uint32_t> r;
    for (uint32_t x : bs)
        if (op == klSetUnion || (op == klSetIntersection && a.count(x))) r.insert(x);
    if (op == klSetUnion) r.insert(a.begin(), a.end());
    if (op == klSetDifference) {
        r = a;
        for (uint32_t x : bs) r.erase(x);
    }
    return r;
}

std::vector<uint32_t> Ids(const CKeloIds& s) { return s.GetData(); }
std::vector<uint32_t> Ids(CKeloAVLIds& s) {
    std::vector<uint32_t> v;
    s.GetAll(v);
    return v;
}

// Checks every stored count and depth and the balance condition; returns the height.
int CheckTree(const TAVLnode* n, int& count) {
    if (!n) {
        count = 0;
        return 0;
    }
    int cl = 0, cr = 0;
    int dl = CheckTree(n->left, cl), dr = CheckTree(n->right, cr);
    if (n->left) {
        EXPECT_LT(n->left->id, n->id);
    }
    if (n->right) {
        EXPECT_GT(n->right->id, n->id);
    }
    EXPECT_LE(std::abs(dl - dr), 1);
    count = cl + cr + 1;
    EXPECT_EQ(n->count, count);
    EXPECT_EQ(n->depth, 1 + std::max(dl, dr));
    return n->depth;
}

void ExpectBalanced(const CKeloAVLIds& s) {
    int count = 0;
    int h = CheckTree(s.GetRoot(), count);
    EXPECT_EQ(count, s.GetSize());
    // The AVL bound: height < 1.4405 log2(n + 2).
    EXPECT_LT(h, 1.4405 * std::log2(count + 2.0));
}

}  // namespace

TEST(KeloIds, MatchesStdSetUnderAddRemoveAndLookup) {
    std::mt19937 g(7);
    CKeloIds s;
    std::set<uint32_t> ref;
    EXPECT_EQ(s.Add(0), -1);
    for (int round = 0; round < 4000; ++round) {
        uint32_t id = g() % 600;
        if (g() % 3) {
            int pos = s.Add(id);
            if (id == 0) {
                EXPECT_EQ(pos, -1);
                continue;
            }
            ref.insert(id);
            EXPECT_EQ(pos, static_cast<int>(std::distance(ref.begin(), ref.find(id))));
        } else {
            EXPECT_EQ(s.RemoveID(id), static_cast<int>(ref.erase(id)));
        }
    }
    EXPECT_EQ(Ids(s), std::vector<uint32_t>(ref.begin(), ref.end()));
    for (uint32_t id = 0; id < 610; ++id) {
        auto it = ref.find(id);
        EXPECT_EQ(s.GetPos(id), it == ref.end() ? -1 : static_cast<int>(std::distance(ref.begin(), it))) << id;
    }
}

TEST(KeloIds, SetOperationsMatchStdSet) {
    std::mt19937 g(11);
    for (int op : {klSetUnion, klSetIntersection, klSetDifference}) {
        for (int trial = 0; trial < 30; ++trial) {
            // The other side arrives unsorted, with repeats and zeros, as a raw array may.
            std::vector<uint32_t> a = RandomIds(g, static_cast<int>(g() % 200), 300);
            std::vector<uint32_t> b = RandomIds(g, static_cast<int>(g() % 200), 300);
            CKeloIds s;
            for (uint32_t x : a) s.Add(x);
            std::set<uint32_t> ra(a.begin(), a.end());
            ra.erase(0);
            std::set<uint32_t> want = Expected(ra, b, op, true);
            int r = s.SetOp(b, op);
            EXPECT_EQ(r, ra.empty() && b.empty() ? 0 : 1);
            EXPECT_EQ(Ids(s), std::vector<uint32_t>(want.begin(), want.end())) << "op " << op;
        }
    }
}

TEST(KeloIds, SetOpRefusals) {
    CKeloIds s, empty;
    EXPECT_EQ(s.SetOp(&empty, klSetUnion), 0);
    EXPECT_EQ(s.SetOp(nullptr, klSetUnion), 0);
    s.Add(5);
    s.Add(9);
    EXPECT_EQ(s.SetOp(std::vector<uint32_t>{5}, 7), 0);
    EXPECT_EQ(Ids(s), (std::vector<uint32_t>{5, 9}));
    // Operating on itself must not read the array it is changing.
    EXPECT_EQ(s.SetOp(&s, klSetDifference), 1);
    EXPECT_EQ(s.GetSize(), 0);
}

TEST(KeloIds, GrowthStepFollowsTheCountPast127) {
    CKeloIds s;
    for (uint32_t id = 1; id <= 128; ++id) s.Add(id);
    EXPECT_EQ(s.GetGrowBy(), 0);  // the count was 127 before the last insertion
    s.Add(1000);
    EXPECT_EQ(s.GetGrowBy(), 128);
    for (uint32_t id = 2000; id < 2000 + 127; ++id) s.Add(id);
    EXPECT_EQ(s.GetGrowBy(), 128);  // still more than half the count
    s.Add(5000);
    EXPECT_EQ(s.GetGrowBy(), 256);
    EXPECT_GE(s.GetData().capacity(), s.GetData().size());
}

TEST(KeloAVLIds, MatchesStdSetAndStaysBalanced) {
    std::mt19937 g(3);
    CKeloAVLIds s;
    std::set<uint32_t> ref;
    for (int round = 0; round < 6000; ++round) {
        int what = static_cast<int>(g() % 4);
        uint32_t id = g() % 2000;
        if (what < 2) {
            EXPECT_EQ(s.Add(id), ref.insert(id).second ? 1 : 0);
        } else if (what == 2) {
            EXPECT_EQ(s.RemoveID(id), static_cast<int>(ref.erase(id)));
        } else if (!ref.empty()) {
            int i = static_cast<int>(g() % ref.size());
            auto it = std::next(ref.begin(), i);
            EXPECT_EQ(s.GetAt(i), *it);
            EXPECT_EQ(s.RemoveAt(i), 1);
            ref.erase(it);
        }
        if (round % 500 == 0) ExpectBalanced(s);
    }
    ExpectBalanced(s);
    EXPECT_EQ(Ids(s), std::vector<uint32_t>(ref.begin(), ref.end()));
    CKeloAVLIds ascending;
    for (uint32_t id = 1; id <= 5000; ++id) ascending.Add(id);
    ExpectBalanced(ascending);
    int rank = 0;
    for (uint32_t id : ref) {
        EXPECT_EQ(s.GetPos(id), rank);
        EXPECT_EQ(s[rank], id);
        ++rank;
    }
    EXPECT_EQ(s.GetPos(2001), -1);
    EXPECT_EQ(s.GetAt(-1), 0xFFFFFFFFu);
    EXPECT_EQ(s.GetAt(s.GetSize()), 0xFFFFFFFFu);
    EXPECT_EQ(s.RemoveAt(s.GetSize()), 0);
}

TEST(KeloAVLIds, SetOperationsMatchStdSetWhicheverSideIsSmaller) {
    std::mt19937 g(5);
    for (int op : {klSetUnion, klSetIntersection, klSetDifference}) {
        for (int trial = 0; trial < 30; ++trial) {
            // Sizes alternate so the intersection visits either side.
            int na = trial % 2 ? 20 : 200, nb = trial % 2 ? 200 : 20;
            std::vector<uint32_t> a = RandomIds(g, na, 400), b = RandomIds(g, nb, 400);
            CKeloAVLIds s, t;
            for (uint32_t x : a) s.Add(x);
            for (uint32_t x : b) t.Add(x);
            std::set<uint32_t> want = Expected(std::set<uint32_t>(a.begin(), a.end()), b, op, false);
            EXPECT_EQ(s.SetOp(t, op), 1);
            EXPECT_EQ(Ids(s), std::vector<uint32_t>(want.begin(), want.end())) << "op " << op;
            ExpectBalanced(s);
            EXPECT_EQ(t.GetSize(), static_cast<int>(std::set<uint32_t>(b.begin(), b.end()).size()));
        }
    }
    CKeloAVLIds e, f;
    EXPECT_EQ(e.SetOp(&f, klSetUnion), 0);
}

TEST(KeloAVLIds, CopyAndSharedAssignment) {
    CKeloAVLIds a, b;
    for (uint32_t id : {5u, 1u, 9u}) a.Add(id);
    b.Add(100);
    b.Copy(a);
    EXPECT_EQ(Ids(b), (std::vector<uint32_t>{1, 5, 9}));
    b.Add(7);
    EXPECT_EQ(a.GetSize(), 3);  // Copy is deep
    {
        CKeloAVLIds c;
        c = a;  // assignment shares the tree
        c.Add(42);
        EXPECT_EQ(a.GetPos(42), 3);
    }
    EXPECT_EQ(Ids(a), (std::vector<uint32_t>{1, 5, 9, 42}));  // still alive after c is gone
}
