// Reservations kept for reuse: the bound holds, whatever leaves the cache is unmapped or handed
// out once, and what is handed out is open for writing as far as it says.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <cstring>
#include <vector>

#include "platform/grow_array.h"

namespace {

using kelo::detail::Reservation;
using kelo::detail::ReservationCache;

constexpr size_t kMb = size_t{1} << 20;

Reservation Written(size_t bytes) {
    Reservation r;
    r.reserved = kelo::detail::ReservationFor(bytes);
    r.base = kelo::detail::ReserveAligned(r.reserved);
    r.Open(bytes);
    std::memset(r.base, 0x5a, bytes);
    return r;
}

bool Mapped(const char* p) {
    return msync(const_cast<char*>(p), 4096, MS_ASYNC) == 0;
}

TEST(ReservationCache, KeepsWithinItsBoundAndHandsEachOutOnce) {
    ReservationCache cache(8 * kMb);
    struct Step {
        size_t bytes, kind;
        size_t keptAfter;   // bytes kept after this one is given back
        int unmappedStep;   // an earlier step whose reservation is unmapped by this one, or -1
    };
    const Step steps[] = {
        {2 * kMb, 4, 2 * kMb, -1},  {4 * kMb, 8, 6 * kMb, -1},
        {2 * kMb, 4, 8 * kMb, -1},  {16 * kMb, 8, 8 * kMb, 3},  // larger than the bound: not kept
        {4 * kMb, 12, 6 * kMb, 0},  // evicts the oldest two (steps 0 and 1) to fit
    };
    std::vector<char*> bases;
    for (size_t i = 0; i < std::size(steps); ++i) {
        Reservation r = Written(steps[i].bytes);
        bases.push_back(r.base);
        cache.Keep(r, steps[i].kind);
        EXPECT_EQ(r.base, nullptr);
        EXPECT_EQ(cache.KeptBytes(), steps[i].keptAfter) << "step " << i;
        if (steps[i].unmappedStep >= 0) {
            EXPECT_FALSE(Mapped(bases[steps[i].unmappedStep])) << "step " << i;
        }
    }
    EXPECT_FALSE(Mapped(bases[1]));
    // Kept now: step 2 (2 MB, kind 4) and step 4 (4 MB, kind 12). The same kind wins over size.
    Reservation a = cache.Take(3 * kMb, 4);
    EXPECT_EQ(a.base, bases[2]);
    Reservation b = cache.Take(1 * kMb, 4);
    EXPECT_EQ(b.base, bases[4]);
    EXPECT_EQ(cache.Take(1 * kMb, 4).base, nullptr);
    EXPECT_EQ(cache.KeptBytes(), 0u);
    for (Reservation* r : {&a, &b}) {
        r->Open(r->open + 2 * kMb);
        std::memset(r->base, 1, r->open);
    }
    // Closed, it keeps nothing more.
    cache.Keep(a, 4);
    cache.Close();
    EXPECT_FALSE(Mapped(bases[2]));
    cache.Keep(b, 12);
    EXPECT_EQ(cache.KeptBytes(), 0u);
    EXPECT_FALSE(Mapped(bases[4]));
}

}  // namespace
