// Grid key to vertex index for the road graph. Nothing reads the keys in order, only looks them
// up one at a time, so an open-addressing hash table serves. A slot holds the vertex index and 32
// bits of the key's hash, not the key: the vertex record has the key. Networks arrive roughly in
// the order of their streets, so most lookups are of a vertex seen a few thousand lines before; a
// small direct-mapped cache of recent keys answers those from the processor cache, where a probe
// of the table (one random access in tens of megabytes) would wait for memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/grow_array.h"

namespace kelo {
struct myRouteVert;
}

namespace kelo::detail {

class VertexKeyMap {
public:
    VertexKeyMap() = default;
    VertexKeyMap(const VertexKeyMap&) = delete;
    VertexKeyMap& operator=(const VertexKeyMap&) = delete;
    ~VertexKeyMap();

    size_t size() const { return m_count; }
    void clear();
    // Index of the key among `verts`, or -1.
    int32_t Find(int64_t key, const myRouteVert* verts) const;
    // Index of the key; when absent, maps it to `index` and returns -1. Every vertex is mapped:
    // `index` is the vertex count, and the caller stores the key's vertex there at once.
    int32_t FindOrInsert(int64_t key, int32_t index, const myRouteVert* verts);
    // Starts loading the table slot of a key the cache does not hold, ahead of its lookup.
    void Prefetch(int64_t key) const;

private:
    // Index + 1 in both, so that zero is empty.
    struct Slot {
        uint32_t stored;
        uint32_t tag;
    };
    struct Recent {
        int64_t key;
        uint32_t stored;
    };
    static constexpr size_t kRecent = 16384;
    static uint64_t Mix(int64_t key) {
        uint64_t h = static_cast<uint64_t>(key);
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdull;
        h ^= h >> 33;
        h *= 0xc4ceb9fe1a85ec53ull;
        h ^= h >> 33;
        return h;
    }
    // The table uses the low bits of the hash, the cache bits above any table size.
    static size_t RecentOf(uint64_t h) { return static_cast<size_t>(h >> 40) & (kRecent - 1); }
    int32_t Probe(int64_t key, uint64_t h, const myRouteVert* verts, size_t& at) const;
    void Rehash(size_t slotCount, const myRouteVert* verts);
    void FreeTable();

    Slot* m_slots = nullptr;
    size_t m_mask = 0;
    size_t m_count = 0;
    Reservation m_room;  // of a large table; a small one is on the heap
    std::unique_ptr<Recent[]> m_recent;
};

}  // namespace kelo::detail
