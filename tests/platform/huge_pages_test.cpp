// Mappings that grow in place (the script value store, the road graph's record arrays) ask for
// huge pages on the whole mapping, so that growing it stays possible wherever the kernel put it.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <cstdint>

#include "platform/huge_pages.h"

namespace {

TEST(HugePages, AdvisedMappingOffA2MbBoundaryStillGrows) {
    constexpr size_t kHuge = size_t{2} << 20, kStart = size_t{8} << 20, kRoom = kStart * 8 + kHuge;
    // A mapping one page past a 2 MB boundary, with free address space behind it so that it
    // grows in place: a part-advised mapping is split there, and the kernel cannot grow a split one.
    char* room = static_cast<char*>(mmap(nullptr, kRoom, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(room, MAP_FAILED);
    char* p = reinterpret_cast<char*>(((reinterpret_cast<uintptr_t>(room) + kHuge - 1) & ~(kHuge - 1)) + 4096);
    munmap(room, static_cast<size_t>(p - room));
    munmap(p + kStart, static_cast<size_t>(room + kRoom - (p + kStart)));
    p[kStart - 1] = 7;
    size_t bytes = kStart;
    for (int round = 0; round < 3; ++round, bytes *= 2) {
        kelo::detail::AdviseMappingHugePages(p, bytes);
        void* q = mremap(p, bytes, 2 * bytes, MREMAP_MAYMOVE);
        ASSERT_NE(q, MAP_FAILED) << "growth " << round;
        p = static_cast<char*>(q);
    }
    EXPECT_EQ(p[kStart - 1], 7);
    munmap(p, bytes);
}

}  // namespace
