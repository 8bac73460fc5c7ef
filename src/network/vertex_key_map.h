// Grid key to vertex index for the road graph. Nothing reads the keys in order, only looks them
// up one at a time, so an open-addressing hash table serves: one probe touches one cache line
// where a balanced tree descends through about twenty nodes allocated one by one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelo::detail {

class VertexKeyMap {
public:
    VertexKeyMap() = default;
    VertexKeyMap(const VertexKeyMap&) = delete;
    VertexKeyMap& operator=(const VertexKeyMap&) = delete;
    ~VertexKeyMap();

    size_t size() const { return m_count; }
    void clear();
    // Index of the key, or -1.
    int32_t Find(int64_t key) const;
    // Index of the key; when absent, maps it to `index` and returns -1.
    int32_t FindOrInsert(int64_t key, int32_t index);
    // Brings the key's slot into the cache ahead of a lookup.
    void Prefetch(int64_t key) const {
        if (m_slots != nullptr) __builtin_prefetch(m_slots + SlotOf(key));
    }

private:
    // Index + 1, so that a zero slot (fresh pages) is empty.
    struct Slot {
        int64_t key;
        int64_t stored;
    };
    size_t SlotOf(int64_t key) const {
        uint64_t h = static_cast<uint64_t>(key);
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdull;
        h ^= h >> 33;
        return static_cast<size_t>(h) & m_mask;
    }
    void Rehash(size_t slotCount);

    Slot* m_slots = nullptr;
    size_t m_mask = 0;
    size_t m_count = 0;
    bool m_mapped = false;
};

}  // namespace kelo::detail
