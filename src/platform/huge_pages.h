// Large blocks that are filled at once (grids, bulk index records, the script value store) ask
// the kernel for 2 MB pages: first touching them then takes one fault per 2 MB instead of one
// per 4 KB, which on a grid of 10^8 cells is a large share of the whole operation.
#pragma once

#include <cstddef>
#include <cstdint>

#include <sys/mman.h>

#include <vector>

#include "platform/kept_vectors.h"

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

// A block that is a whole anonymous mapping of its own is advised whole: advising only its
// inner 2 MB pages would split the mapping into pieces with different flags, and the kernel
// refuses to grow or move (mremap) a range made of several pieces. Mappings start on a page
// and madvise rounds the length up, so any mapped length may be passed.
inline void AdviseMappingHugePages(void* p, size_t mappedBytes) {
#ifdef MADV_HUGEPAGE
    madvise(p, mappedBytes, MADV_HUGEPAGE);
#else
    (void)p;
    (void)mappedBytes;
#endif
}

// Room for n elements in v, advised before anything touches it. Arrays above the allocator's
// mapping threshold (32 MB) come as fresh pages every time, so a million-segment overlay, which
// builds and frees a dozen of them, otherwise spends a quarter of its time in page faults.
template <class T>
void ReserveHuge(std::vector<T>& v, size_t n) {
    if (n <= v.capacity()) return;
    if (!KeptVectors().Take(v, n)) v.reserve(n);
    AdviseHugePages(v.data(), v.capacity() * sizeof(T));
}

// A vector of n copies of value whose block is advised before it is filled.
template <class T>
std::vector<T> HugeVector(size_t n, const T& value = T()) {
    std::vector<T> v;
    ReserveHuge(v, n);
    v.assign(n, value);
    return v;
}

}  // namespace kelo::detail
