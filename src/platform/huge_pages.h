// Large blocks that are filled at once (grids, bulk index records, the script value store) ask
// the kernel for 2 MB pages: first touching them then takes one fault per 2 MB instead of one
// per 4 KB, which on a grid of 10^8 cells is a large share of the whole operation.
#pragma once

#include <cstddef>
#include <cstdint>

#include <sys/mman.h>

namespace kelo::detail {

// Only the whole 2 MB pages inside the block are advised, so any allocation may be passed in
// and nothing outside it is touched; a block holding no whole huge page is left alone.
inline void AdviseHugePages(void* p, size_t bytes) {
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t kPage = uintptr_t{1} << 21;
    const uintptr_t beg = (reinterpret_cast<uintptr_t>(p) + kPage - 1) & ~(kPage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(kPage - 1);
    if (end > beg) madvise(reinterpret_cast<void*>(beg), end - beg, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

}  // namespace kelo::detail
