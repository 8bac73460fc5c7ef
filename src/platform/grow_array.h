// An append-only array of plain records that grows without copying once it is large: big blocks
// are anonymous mappings, and the kernel extends or moves a mapping by its page tables. Loading a
// road network of millions of lines one call at a time otherwise copies every record once per
// growth step and faults in each new copy.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "platform/huge_pages.h"

namespace kelo::detail {

// Blocks below this stay on the heap (small graphs, and where the sanitizers can see them).
constexpr size_t kMappedBlockBytes = size_t{1} << 20;
constexpr size_t kHugeAfterBytes = size_t{2} << 20;

inline size_t MappedBytes(size_t bytes) {
    constexpr size_t kPage = 4096;
    return (bytes + kPage - 1) & ~(kPage - 1);
}

// Returns a block of at least newBytes holding the first keepBytes of the old one; the old block
// is gone afterwards. `mapped` says how the block is held and is updated.
inline void* ResizeBlock(void* p, size_t oldBytes, size_t newBytes, size_t keepBytes, bool& mapped) {
    if (newBytes < kMappedBlockBytes && !mapped) {
        void* q = std::realloc(p, newBytes == 0 ? 1 : newBytes);
        if (q == nullptr) throw std::bad_alloc();
        return q;
    }
    void* q;
    if (mapped) {
        q = mremap(p, MappedBytes(oldBytes), MappedBytes(newBytes), MREMAP_MAYMOVE);
        if (q == MAP_FAILED) throw std::bad_alloc();
    } else {
        q = mmap(nullptr, MappedBytes(newBytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (q == MAP_FAILED) throw std::bad_alloc();
        if (keepBytes > 0) std::memcpy(q, p, keepBytes);
        std::free(p);
        mapped = true;
    }
    return q;
}

inline void FreeBlock(void* p, size_t bytes, bool mapped) {
    if (mapped)
        munmap(p, MappedBytes(bytes));
    else
        std::free(p);
}

template <class T>
class GrowArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                  "records are moved as bytes");

public:
    GrowArray() = default;
    GrowArray(const GrowArray&) = delete;
    GrowArray& operator=(const GrowArray&) = delete;
    ~GrowArray() { Release(); }

    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    size_t capacity() const { return m_capacity; }
    T* data() { return m_data; }
    const T* data() const { return m_data; }
    T& operator[](size_t i) { return m_data[i]; }
    const T& operator[](size_t i) const { return m_data[i]; }
    T* begin() { return m_data; }
    T* end() { return m_data + m_size; }
    const T* begin() const { return m_data; }
    const T* end() const { return m_data + m_size; }

    void reserve(size_t capacity) {
        if (capacity <= m_capacity) return;
        m_data = static_cast<T*>(
            ResizeBlock(m_data, m_capacity * sizeof(T), capacity * sizeof(T), m_size * sizeof(T), m_mapped));
        m_capacity = capacity;
        if (m_mapped && m_size >= HugeAfter()) AdviseMappingHugePages(m_data, MappedBytes(m_capacity * sizeof(T)));
    }
    // Callers grow by their own steps first; doubling only backs up a caller that did not.
    void push_back(const T& v) {
        if (m_size == m_capacity) reserve(m_capacity < 16 ? 16 : 2 * m_capacity);
        // 2 MB pages once the array has shown it is large: a small graph made with a large growth
        // step would otherwise clear 2 MB per array for its first record.
        if (m_size == HugeAfter() && m_mapped) AdviseMappingHugePages(m_data, MappedBytes(m_capacity * sizeof(T)));
        m_data[m_size++] = v;
    }
    template <class... A>
    void emplace_back(A&&... args) {
        push_back(T(std::forward<A>(args)...));
    }
    void pop_back() { --m_size; }
    // Size only; the records beyond are left as they are and must be written before being read.
    void resize_uninitialized(size_t n) {
        reserve(n);
        m_size = n;
    }
    void Release() {
        if (m_data != nullptr) FreeBlock(m_data, m_capacity * sizeof(T), m_mapped);
        m_data = nullptr;
        m_size = m_capacity = 0;
        m_mapped = false;
    }

private:
    static constexpr size_t HugeAfter() { return kHugeAfterBytes / sizeof(T); }

    T* m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
    bool m_mapped = false;
};

}  // namespace kelo::detail
