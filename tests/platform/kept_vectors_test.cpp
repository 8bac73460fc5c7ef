// Buffers of large vectors kept for reuse: the bound holds, a kept buffer goes to one holder at a
// time, and it comes back empty with the room asked for.
#include <gtest/gtest.h>

#include <vector>

#include "platform/huge_pages.h"
#include "platform/kept_vectors.h"

namespace {

using kelo::VectorStash;

constexpr size_t kMb = size_t{1} << 20;

std::vector<int> Filled(size_t bytes) {
    std::vector<int> v(bytes / sizeof(int), 7);
    return v;
}

TEST(VectorStash, KeepsWithinItsBoundAndHandsEachBufferOutOnce) {
    VectorStash stash(100 * kMb, 2);
    struct Step {
        size_t mb;
        size_t keptAfter, countAfter;  // MB and buffers kept after this one is given back
    };
    const Step steps[] = {
        {40, 40, 1},
        {48, 88, 2},
        {36, 84, 2},   // a third buffer: the oldest goes
        {120, 84, 2},  // larger than the bound: freed, nothing evicted
        {64, 100, 2},  // evicts the oldest (48 MB) to fit
    };
    std::vector<const int*> bases;
    for (const Step& s : steps) {
        std::vector<int> v = Filled(s.mb * kMb);
        bases.push_back(v.data());
        stash.Keep(v);
        EXPECT_EQ(v.capacity(), 0u);
        EXPECT_EQ(stash.KeptBytes(), s.keptAfter * kMb) << s.mb;
        EXPECT_EQ(stash.KeptCount(), s.countAfter) << s.mb;
    }
    // Kept: 36 MB (step 2) and 64 MB (step 4). Another element type, or a request the buffer is
    // too small for or more than four times larger than, gets nothing.
    std::vector<float> other;
    EXPECT_FALSE(stash.Take(other, 10 * kMb / sizeof(float)));
    std::vector<int> a, b, c, d;
    EXPECT_FALSE(stash.Take(a, 70 * kMb / sizeof(int)));
    EXPECT_FALSE(stash.Take(a, 17 * kMb / 2 / sizeof(int)));
    // The smallest that fits, then the other, then none: never the same buffer twice.
    ASSERT_TRUE(stash.Take(a, 30 * kMb / sizeof(int)));
    EXPECT_EQ(a.data(), bases[2]);
    ASSERT_TRUE(stash.Take(b, 30 * kMb / sizeof(int)));
    EXPECT_EQ(b.data(), bases[4]);
    EXPECT_FALSE(stash.Take(c, 30 * kMb / sizeof(int)));
    EXPECT_EQ(stash.KeptBytes(), 0u);
    for (std::vector<int>* v : {&a, &b}) {
        EXPECT_TRUE(v->empty());
        EXPECT_GE(v->capacity(), 30 * kMb / sizeof(int));
        v->assign(30 * kMb / sizeof(int), 1);  // writable whether or not the kernel took the pages
    }
    // Closed, it keeps nothing more.
    stash.Keep(a);
    stash.Close();
    stash.Keep(b);
    EXPECT_EQ(stash.KeptCount(), 0u);
    EXPECT_FALSE(stash.Take(d, 30 * kMb / sizeof(int)));
}

TEST(VectorStash, DyingKeptVectorServesTheNextLargeReserve) {
    const int* base = nullptr;
    {
        kelo::KeptVector<int> v = Filled(40 * kMb);
        base = v.data();
    }
    std::vector<int> w;
    kelo::detail::ReserveHuge(w, 36 * kMb / sizeof(int));
    EXPECT_EQ(w.data(), base);
    EXPECT_TRUE(w.empty());
}

}  // namespace
