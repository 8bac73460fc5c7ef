// An append-only array of plain records that grows without copying once it is large. A large
// array lives in a reservation of address space, 2 MB aligned and several times its size, and
// grows by opening more of it to writes: its records never move, so the 2 MB pages it was given
// stay whole. (Growing a mapping with mremap lets the kernel move it to an address that is not
// congruent modulo 2 MB, and every 2 MB page is then split into 4 KB ones: later faults and scans
// pay for 4 KB pages.) Loading a road network of millions of lines one call at a time otherwise
// copies every record once per growth step and faults in each new copy. A released reservation
// is kept for the next large array (see ReservationCache).
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <type_traits>
#include <utility>

#include "platform/huge_pages.h"

namespace kelo::detail {

// Blocks below this stay on the heap (small graphs, and where the sanitizers can see them).
constexpr size_t kMappedBlockBytes = size_t{1} << 20;
constexpr size_t kHugeAfterBytes = size_t{2} << 20;

inline size_t HugeRound(size_t bytes) { return (bytes + kHugeAfterBytes - 1) & ~(kHugeAfterBytes - 1); }

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
// network loaded in fixed steps usually never moves; so does one that outgrows its reservation.
constexpr size_t kReserveFactor = 8;
constexpr size_t kReserveAtLeast = size_t{256} << 20;

inline size_t ReservationFor(size_t bytes) {
    const size_t want = HugeRound(bytes > (size_t{1} << 40) ? bytes : kReserveFactor * bytes);
    return want > kReserveAtLeast ? want : kReserveAtLeast;
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
            const size_t room = ReservationFor(want);
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

// Reservations released by large arrays, kept with the pages written in them for the next large
// array, as a heap allocator keeps freed blocks: a host that builds graphs again (after edits, for
// another layer) then writes to pages the kernel has already provided, where fresh ones must be
// faulted in and cleared (a sixth of a road graph build). Bounded by the bytes opened in the kept
// reservations, the oldest unmapped first. Their pages are handed to the kernel as free when
// memory runs short (MADV_FREE), so a host that built once and then runs for hours gets its
// memory back under pressure without asking; a reclaimed page reads as zeros when reused, which
// an array's records beyond its size may hold anyway.
class ReservationCache {
public:
    explicit ReservationCache(size_t mostBytes) : m_most(mostBytes) {}
    ReservationCache(const ReservationCache&) = delete;
    ReservationCache& operator=(const ReservationCache&) = delete;
    ~ReservationCache() { Close(); }

    // Keeps `room`, which held records of `kind`, or unmaps it; `room` is empty after.
    void Keep(Reservation& room, size_t kind) {
        if (room.base == nullptr) return;
#ifdef MADV_FREE
        if (room.open <= m_most && room.open > 0) madvise(room.base, room.open, MADV_FREE);
#endif
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (!m_closed && room.open <= m_most) {
                while (m_count == kEntries || m_bytes + room.open > m_most) Evict(Oldest());
                m_kept[m_count++] = Entry{room, kind, ++m_clock};
                m_bytes += room.open;
                room = Reservation();
                return;
            }
        }
        room.Release();
    }
    // A kept reservation for `bytes`, empty when none: one that held the same `kind` of records if
    // any (a graph built again asks in the same order), of those the smallest with `bytes` written,
    // else the one with the most written.
    Reservation Take(size_t bytes, size_t kind) {
        std::lock_guard<std::mutex> lock(m_lock);
        auto better = [&](const Entry& a, const Entry& b) {
            if ((a.kind == kind) != (b.kind == kind)) return a.kind == kind;
            const bool aFits = a.room.open >= bytes, bFits = b.room.open >= bytes;
            if (aFits != bFits) return aFits;
            return aFits ? a.room.open < b.room.open : a.room.open > b.room.open;
        };
        if (m_count == 0) return Reservation();
        size_t best = 0;
        for (size_t i = 1; i < m_count; ++i)
            if (better(m_kept[i], m_kept[best])) best = i;
        const Reservation room = m_kept[best].room;
        m_bytes -= room.open;
        m_kept[best] = m_kept[--m_count];
        return room;
    }
    size_t KeptBytes() const {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_bytes;
    }
    // Unmaps every kept reservation and keeps none from now on.
    void Close() {
        std::lock_guard<std::mutex> lock(m_lock);
        m_closed = true;
        while (m_count > 0) Evict(0);
    }

private:
    struct Entry {
        Reservation room;
        size_t kind = 0;
        uint64_t order = 0;
    };
    static constexpr size_t kEntries = 32;
    size_t Oldest() const {
        size_t o = 0;
        for (size_t i = 1; i < m_count; ++i)
            if (m_kept[i].order < m_kept[o].order) o = i;
        return o;
    }
    void Evict(size_t i) {
        m_bytes -= m_kept[i].room.open;
        m_kept[i].room.Release();
        m_kept[i] = m_kept[--m_count];
    }

    mutable std::mutex m_lock;
    Entry m_kept[kEntries];
    size_t m_count = 0;
    size_t m_bytes = 0;
    const size_t m_most;
    uint64_t m_clock = 0;
    bool m_closed = false;
};

// The library's cache, shared by every array in the process; closed when the library unloads.
ReservationCache& KeptReservations();

// A reservation with at least `bytes` open, a kept one when there is one. `kind` says what it will
// hold (a record size, for arrays), so that a graph built again gets back the storage of the same
// array. What was written in a kept reservation is still there: `written` is its extent.
inline Reservation OpenReservation(size_t bytes, size_t kind, size_t& written) {
    Reservation room = KeptReservations().Take(bytes, kind);
    if (room.base == nullptr) {
        room.reserved = ReservationFor(bytes);
        room.base = ReserveAligned(room.reserved);
    }
    written = room.open;
    try {
        room.Open(bytes);
    } catch (...) {
        room.Release();
        throw;
    }
    return room;
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
        const size_t bytes = capacity * sizeof(T);
        if (m_room.base == nullptr && bytes < kMappedBlockBytes) {
            void* q = std::realloc(m_data, bytes == 0 ? 1 : bytes);
            if (q == nullptr) throw std::bad_alloc();
            m_data = static_cast<T*>(q);
        } else if (m_room.base == nullptr) {
            size_t written = 0;
            const Reservation room = OpenReservation(bytes, sizeof(T), written);
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
            KeptReservations().Keep(m_room, sizeof(T));
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
