// The value store: hand-out order, reserve and growth, and the collector against an independent
// reachability count on random object graphs.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "companion/gbk.h"
#include "script/vm/script_engine.h"
#include "script/vm/value_ops.h"

namespace kelo {
namespace {

TEST(ScriptStore, HandsOutTheHighestFreeIndexFirst) {
    ScriptEngine e;
    CurrentScriptEngineScope scope(&e);
    EXPECT_EQ(e.capacity, 262144);
    EXPECT_EQ(e.freeCount, 262144);
    EXPECT_EQ(e.allocCell(), 262143);
    EXPECT_EQ(e.allocCell(), 262142);
    int32_t c = e.allocCopy(Tdata("text"));
    EXPECT_EQ(c, 262141);
    EXPECT_EQ(toString(e.cells[c]), "text");
    EXPECT_EQ(e.freeCount, 262141);
}

TEST(ScriptStore, ReserveGrowsByDoublingAndKeepsCells) {
    ScriptEngine e;
    CurrentScriptEngineScope scope(&e);
    Tdata arr;
    arr.setArraySize(3);
    ASSERT_EQ(arr.value.a->size(), 3u);
    ASSERT_TRUE(assign(arr.array(1), Tdata("kept")));
    const int32_t used = e.capacity - e.freeCount;

    EXPECT_TRUE(e.reserve(e.freeCount - kScriptReserveSlack));
    EXPECT_EQ(e.capacity, kScriptInitialCells);
    EXPECT_TRUE(e.reserve(e.freeCount - kScriptReserveSlack + 1));
    EXPECT_EQ(e.capacity, 2 * kScriptInitialCells);
    EXPECT_EQ(e.freeCount, 2 * kScriptInitialCells - used);
    EXPECT_EQ(toString(arr), "[3]{void, kept, void}");
    // New indices sit on top of the free stack.
    EXPECT_EQ(e.allocCell(), 2 * kScriptInitialCells - 1);

    // More than the largest store can ever give fails at once, without growing.
    EXPECT_FALSE(e.reserve(kScriptMaxCells - kScriptReserveSlack - (used + 1) + 1));
    EXPECT_EQ(e.capacity, 2 * kScriptInitialCells);
    EXPECT_TRUE(e.reserve(0));
}

// Nodes freed by a thread that then ends are taken up by the next thread short of nodes, not
// lost with it: a host running scripts on passing worker threads would otherwise grow for ever.
TEST(ScriptStore, NodesFreedByAnEndedThreadAreReused) {
    constexpr size_t kBytes = 88;  // a node size no container of the tests uses
    constexpr int kNodes = 5000;
    std::set<void*> freed;
    std::thread([&] {
        std::vector<void*> taken;
        for (int i = 0; i < kNodes; ++i) taken.push_back(TakeScriptNode(kBytes));
        for (void* n : taken) GiveScriptNode(n, kBytes);
        freed.insert(taken.begin(), taken.end());
    }).join();
    std::vector<void*> again;
    std::thread([&] {
        for (int i = 0; i < kNodes; ++i) again.push_back(TakeScriptNode(kBytes));
        for (void* n : again) GiveScriptNode(n, kBytes);
    }).join();
    int reused = 0;
    for (void* n : again) reused += freed.count(n) != 0;
    EXPECT_EQ(reused, kNodes);
}

TEST(ScriptStore, EmptyFreeStackIsError10100) {
    ScriptEngine e;
    CurrentScriptEngineScope scope(&e);
    e.freeCount = 0;
    try {
        e.allocCell();
        FAIL() << "no error";
    } catch (const ScriptError& err) {
        EXPECT_EQ(err.code, 10100);
        EXPECT_EQ(err.text, ToGbk("错误10100 程序运行空间溢出"));
    }
    // A point from coordinates needs three cells; with none it raises the same way.
    EXPECT_THROW(Tdata(Point3D{1, 2, 3}), ScriptError);
}

TEST(ScriptStore, PointNeedsACurrentEngine) {
    Tdata p(Point3D{1, 2, 3});
    EXPECT_EQ(p.dataType, kTypeVoid);
    Tdata q(0, 1, 2);
    EXPECT_EQ(q.getPoint().x, 0.0);
}

// Builds random graphs of containers, points and reference chains, keeps a random part of them in
// the two stacks and checks a collection against a separate walk of what the roots can reach.
class CollectorProperty : public ::testing::TestWithParam<uint32_t> {
protected:
    ScriptEngine e;
    CurrentScriptEngineScope scope{&e};
    std::mt19937 rng{GetParam()};
    std::vector<int32_t> made;

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
    int32_t anyMade() { return made[static_cast<size_t>(pick(static_cast<int>(made.size())))]; }

    int32_t makeOne() {
        int32_t c = e.allocCell();
        Tdata& v = e.cells[c];
        int kind = made.size() < 8 ? pick(3) : pick(10);
        switch (kind) {
            case 0: v = Tdata(pick(50)); break;
            case 1: v = Tdata(pick(50) + 0.5); break;
            case 2: v = Tdata(std::string(1, static_cast<char>('a' + pick(26)))); break;
            case 3: case 4: {
                v.setDataType(kTypeArray);
                for (int k = pick(5); k > 0; --k) v.value.a->push_back(anyMade());
                break;
            }
            case 5: {
                v.setDataType(kTypeSet);
                for (int k = pick(5); k > 0; --k) v.value.set->insert(anyMade());
                break;
            }
            case 6: {
                v.setDataType(kTypeMultimap);
                for (int k = pick(4); k > 0; --k) v.value.mmap->emplace(anyMade(), anyMade());
                break;
            }
            case 7: v = Tdata(anyMade(), anyMade(), anyMade()); break;
            default: {
                // References only point backwards, so chains end and graphs stay acyclic.
                v = Tdata(kTypeReference, nullptr);
                v.value.ref = anyMade();
                break;
            }
        }
        made.push_back(c);
        return c;
    }

    // The cells the collector must keep: reference cells are looked through, not kept.
    std::set<int32_t> reachable() {
        std::set<int32_t> seen;
        std::vector<int32_t> work;
        auto visit = [&](int32_t i) {
            while (e.cells[i].dataType == kTypeReference) i = e.cells[i].value.ref;
            if (seen.insert(i).second) work.push_back(i);
        };
        for (int32_t s = 0; s < e.varTop; ++s) visit(e.varStack[static_cast<size_t>(s)]);
        for (int32_t s = 0; s < e.argTop; ++s) visit(e.argStack[static_cast<size_t>(s)]);
        while (!work.empty()) {
            const Tdata& v = e.cells[work.back()];
            work.pop_back();
            switch (v.dataType) {
                case kTypeArray: for (int32_t i : *v.value.a) visit(i); break;
                case kTypeSet: for (int32_t i : *v.value.set) visit(i); break;
                case kTypeMultimap: for (auto [k, w] : *v.value.mmap) { visit(k); visit(w); } break;
                case kTypePoint: for (int k = 0; k < 3; ++k) visit(v.value.pt[k]); break;
                default: break;
            }
        }
        return seen;
    }

    void collectAndCheck() {
        std::set<int32_t> keep = reachable();
        std::map<int32_t, std::string> texts;
        for (int32_t i : keep) texts[i] = toString(e.cells[i]);
        std::vector<std::string> rootTexts;
        for (int32_t s = 0; s < e.varTop; ++s) rootTexts.push_back(toString(e.cells[e.varStack[static_cast<size_t>(s)]]));

        EXPECT_EQ(e.collect(), e.capacity - static_cast<int32_t>(keep.size()));
        for (auto& [i, text] : texts) EXPECT_EQ(toString(e.cells[i]), text) << "cell " << i;
        for (int32_t s = 0; s < e.varTop; ++s) {
            int32_t slot = e.varStack[static_cast<size_t>(s)];
            EXPECT_NE(e.cells[slot].dataType, kTypeReference);
            EXPECT_EQ(toString(e.cells[slot]), rootTexts[static_cast<size_t>(s)]);
        }
        // Rebuilt sets still find each of their elements.
        for (int32_t i : keep) {
            if (e.cells[i].dataType != kTypeSet) continue;
            for (int32_t x : *e.cells[i].value.set) EXPECT_EQ(e.cells[i].value.set->count(x), 1u);
        }
        // Free stack: every other cell, ascending, owning nothing.
        ASSERT_EQ(static_cast<size_t>(e.freeCount), static_cast<size_t>(e.capacity) - keep.size());
        for (int32_t k = 0; k < e.freeCount; ++k) {
            int32_t i = e.freeCellAt(k);
            if (k > 0) {
                ASSERT_LT(e.freeCellAt(k - 1), i);
            }
            ASSERT_EQ(keep.count(i), 0u);
            ASSERT_FALSE(Tdata::OwnsPayload(e.cells[i].dataType));
        }
        std::erase_if(made, [&](int32_t i) { return keep.count(i) == 0; });
    }
};

TEST_P(CollectorProperty, KeepsExactlyWhatTheRootsReach) {
    for (int round = 0; round < 3; ++round) {
        for (int k = 0; k < 1500; ++k) makeOne();
        for (int k = 0; k < 40; ++k) e.varStack[static_cast<size_t>(e.varTop++)] = anyMade();
        for (int k = 0; k < 10; ++k) e.argStack[static_cast<size_t>(e.argTop++)] = anyMade();
        collectAndCheck();
        // Drop references: pop roots and point others at fresh scalars. (Container contents are
        // left alone: changing an element's value under a set would break the set's order.)
        e.varTop /= 2;
        e.argTop = 0;
        for (int32_t s = 0; s < e.varTop; s += 2) e.varStack[static_cast<size_t>(s)] = e.allocCopy(Tdata(s));
        collectAndCheck();
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, CollectorProperty, ::testing::Values(1u, 2u, 3u, 20261206u));

}  // namespace
}  // namespace kelo
