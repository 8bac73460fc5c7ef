// Buffers of large vectors kept from one call to the next. Vectors above the allocator's mapping
// threshold get fresh pages from the kernel on every allocation and give them back on every free:
// a million-segment overlay builds and frees a dozen of them (the 80-byte segment records alone
// are 200 MB), and clearing and faulting those pages was a fifth of its time. A vector given back
// here keeps its buffer, emptied, for the next vector of the same element type that fits it.
// Kept buffers are handed to the kernel as free (MADV_FREE): they cost nothing until the next
// call writes them again, and the kernel takes them back when it needs memory; a reclaimed page
// reads as zeros, which a vector's room beyond its size may hold anyway.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <new>
#include <typeinfo>
#include <utility>
#include <vector>

#include "kelo_api.h"

// Outside detail: the stash is shared with code built against the library (its vectors die
// where they were made), and detail names are not exported.
namespace kelo {

// Buffers up to this size are the heap's business: once it has freed one of them it serves
// blocks up to that size from memory it keeps (its mapping threshold rises, up to 32 MB), so
// holding them here would only keep that threshold low and send more arrays to fresh pages.
constexpr size_t kKeptVectorBytes = size_t{32} << 20;

class KELO_API VectorStash {
public:
    VectorStash(size_t mostBytes, size_t mostCount) : m_mostBytes(mostBytes), m_mostCount(mostCount) {}
    VectorStash(const VectorStash&) = delete;
    VectorStash& operator=(const VectorStash&) = delete;
    ~VectorStash() { Close(); }

    // Keeps v's buffer when it is large, leaving v empty with no buffer; frees it when it does
    // not fit the bound. Never throws: it runs where vectors die.
    template <class T>
    void Keep(std::vector<T>& v) noexcept {
        const size_t bytes = v.capacity() * sizeof(T);
        if (bytes <= kKeptVectorBytes) return;
        v.clear();
        auto* held = new (std::nothrow) std::vector<T>();
        if (held == nullptr) return;
        held->swap(v);
        FreePages(held->data(), bytes);
        Put(Entry{held, &Drop<T>, &typeid(T), bytes, held->capacity(), 0});
    }
    // Gives empty v (no buffer yet) a kept buffer of the same element type with room for n:
    // the smallest that fits, and none more than four times n, which would leave a later
    // large vector without it. False when there is none.
    template <class T>
    bool Take(std::vector<T>& v, size_t n) {
        if (v.capacity() != 0 || n * sizeof(T) <= kKeptVectorBytes / 4) return false;
        void* held = Get(typeid(T), n);
        if (held == nullptr) return false;
        auto* kept = static_cast<std::vector<T>*>(held);
        v.swap(*kept);
        delete kept;
        return true;
    }
    size_t KeptBytes() const {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_bytes;
    }
    size_t KeptCount() const {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_count;
    }
    // Frees every kept buffer and keeps none from now on.
    void Close();

private:
    struct Entry {
        void* held;
        void (*drop)(void*);
        const std::type_info* type;
        size_t bytes, capacity;
        uint64_t order;
    };
    static constexpr size_t kEntries = 32;

    template <class T>
    static void Drop(void* held) {
        delete static_cast<std::vector<T>*>(held);
    }
    static void FreePages(void* p, size_t bytes) {
#ifdef MADV_FREE
        constexpr uintptr_t kPage = 4096;
        const uintptr_t beg = (reinterpret_cast<uintptr_t>(p) + kPage - 1) & ~(kPage - 1);
        const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(kPage - 1);
        if (end > beg) madvise(reinterpret_cast<void*>(beg), end - beg, MADV_FREE);
#else
        (void)p;
        (void)bytes;
#endif
    }
    void Put(Entry e) noexcept;
    void* Get(const std::type_info& type, size_t n);

    mutable std::mutex m_lock;
    Entry m_kept[kEntries] = {};
    size_t m_count = 0;
    size_t m_bytes = 0;
    const size_t m_mostBytes;
    const size_t m_mostCount;
    uint64_t m_clock = 0;
    bool m_closed = false;
};

// The library's stash, shared by every thread; emptied when the library unloads.
KELO_API VectorStash& KeptVectors();

// A vector whose buffer goes to the stash when it dies, whatever buffer it holds by then (one
// swapped in from another vector included).
template <class T>
class KeptVector : public std::vector<T> {
public:
    KeptVector() = default;
    KeptVector(std::vector<T>&& v) noexcept : std::vector<T>(std::move(v)) {}
    KeptVector(KeptVector&&) noexcept = default;
    KeptVector& operator=(KeptVector&&) noexcept = default;
    KeptVector(const KeptVector&) = default;
    KeptVector& operator=(const KeptVector&) = default;
    KeptVector& operator=(std::vector<T>&& v) noexcept {
        std::vector<T>::operator=(std::move(v));
        return *this;
    }
    ~KeptVector() { KeptVectors().Keep(static_cast<std::vector<T>&>(*this)); }
};

}  // namespace kelo
