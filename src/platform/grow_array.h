// An append-only array of plain records that grows without copying once it is large. A large
// array lives in a reservation of address space, 2 MB aligned and several times its size, and
// grows by opening more of it to writes: its records never move, so the 2 MB pages it was given
// stay whole. (Growing a mapping with mremap lets the kernel move it to an address that is not
// congruent modulo 2 MB, and every 2 MB page is then split into 4 KB ones: later faults and scans
// pay for 4 KB pages.) Loading a road network of millions of lines one call at a time otherwise
// copies every record once per growth step and faults in each new copy.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
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

inline size_t HugeRound(size_t bytes) { return (bytes + kHugeAfterBytes - 1) & ~(kHugeAfterBytes - 1); }

inline void FreeBlock(void* p, size_t bytes, bool mapped) {
    if (mapped)
        munmap(p, MappedBytes(bytes));
    else
        std::free(p);
}

// Address space for `bytes`, starting on a 2 MB boundary, inaccessible until opened. Unopened
// address space costs neither memory nor commit charge.
inline char* ReserveAligned(size_t bytes) {
    const size_t room = bytes + kHugeAfterBytes;
    void* p = mmap(nullptr, room, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    char* raw = static_cast<char*>(p);
    char* base = reinterpret_cast<char*>(HugeRound(reinterpret_cast<uintptr_t>(raw)));
    if (base > raw) munmap(raw, static_cast<size_t>(base - raw));
    const size_t tail = static_cast<size_t>(raw + room - (base + bytes));
    if (tail > 0) munmap(base + bytes, tail);
    return base;
}

// A large array first reserves this many times its size (at least this much address space), so a
// network loaded in fixed steps usually never moves.
constexpr size_t kReserveFactor = 8;
constexpr size_t kReserveAtLeast = size_t{256} << 20;

// The address space reserved for `bytes`: kReserveFactor times as much in whole 2 MB steps
// (just `bytes` rounded past 1 TB, where the factor could overflow), and never less than `least`.
inline size_t ReserveBytes(size_t bytes, size_t least) {
    const size_t room = HugeRound(bytes > (size_t{1} << 40) ? bytes : kReserveFactor * bytes);
    return room > least ? room : least;
}

// Storage of a large GrowArray: [base, base + open) is writable, up to `reserved`.
struct Reservation {
    char* base = nullptr;
    size_t open = 0;
    size_t reserved = 0;
    bool huge = false;

    // Opens at least `bytes`, in whole 2 MB steps so that no 2 MB page straddles the writable end
    // (one that did would be made of 4 KB pages and stay so). Moves to a larger reservation when
    // this one is full, carrying the written pages along by their page tables.
    void Open(size_t bytes) {
        const size_t want = HugeRound(bytes);
        if (want <= open) return;
        if (want > reserved) {
            const size_t room = ReserveBytes(want, 0);
            char* fresh = ReserveAligned(room);
            if (huge) AdviseMappingHugePages(fresh, room);
            if (open > 0 &&
                mremap(base, open, open, MREMAP_MAYMOVE | MREMAP_FIXED, fresh) == MAP_FAILED) {
                munmap(fresh, room);
                throw std::bad_alloc();
            }
            if (reserved > open) munmap(base + open, reserved - open);
            base = fresh;
            reserved = room;
        }
        if (mprotect(base + open, want - open, PROT_READ | PROT_WRITE) != 0) throw std::bad_alloc();
        open = want;
    }
    void AdviseHuge() {
        huge = true;
        AdviseMappingHugePages(base, reserved);
    }
    void Release() {
        if (base != nullptr) munmap(base, reserved);
        *this = Reservation();
    }
};

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
        const size_t bytes = capacity * sizeof(T);
        if (m_room.base == nullptr && bytes < kMappedBlockBytes) {
            void* q = std::realloc(m_data, bytes == 0 ? 1 : bytes);
            if (q == nullptr) throw std::bad_alloc();
            m_data = static_cast<T*>(q);
        } else if (m_room.base == nullptr) {
            Reservation room;
            room.reserved = ReserveBytes(bytes, kReserveAtLeast);
            room.base = ReserveAligned(room.reserved);
            try {
                room.Open(bytes);
            } catch (...) {
                room.Release();
                throw;
            }
            if (m_size > 0) std::memcpy(room.base, m_data, m_size * sizeof(T));
            std::free(m_data);
            m_room = room;
            m_data = reinterpret_cast<T*>(m_room.base);
        } else {
            m_room.Open(bytes);
            m_data = reinterpret_cast<T*>(m_room.base);
        }
        m_capacity = capacity;
    }
    // Callers grow by their own steps first; doubling only backs up a caller that did not.
    void push_back(const T& v) {
        if (m_size == m_capacity) reserve(m_capacity < 16 ? 16 : 2 * m_capacity);
        // 2 MB pages once the array has shown it is large: a small graph made with a large growth
        // step would otherwise clear 2 MB per array for its first record.
        if (m_size == HugeAfter() && m_room.base != nullptr) m_room.AdviseHuge();
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
        if (m_size >= HugeAfter() && m_room.base != nullptr && !m_room.huge) m_room.AdviseHuge();
    }
    void Release() {
        if (m_room.base != nullptr)
            m_room.Release();
        else
            std::free(m_data);
        m_data = nullptr;
        m_size = m_capacity = 0;
    }

private:
    static constexpr size_t HugeAfter() { return kHugeAfterBytes / sizeof(T); }

    T* m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
    Reservation m_room;
};

}  // namespace kelo::detail
