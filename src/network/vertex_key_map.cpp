#include "network/vertex_key_map.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

#include "platform/grow_array.h"

namespace kelo::detail {

namespace {

// Zeroed storage; large tables are mappings, whose pages arrive zeroed and, in 2 MB pages, keep a
// random probe from missing the address translation cache as well.
void* ZeroBlock(size_t bytes, bool& mapped) {
    mapped = bytes >= kMappedBlockBytes;
    if (!mapped) {
        void* p = std::calloc(bytes, 1);
        if (p == nullptr) throw std::bad_alloc();
        return p;
    }
    void* p = mmap(nullptr, MappedBytes(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    AdviseMappingHugePages(p, MappedBytes(bytes));
    return p;
}

}  // namespace

VertexKeyMap::~VertexKeyMap() { clear(); }

void VertexKeyMap::clear() {
    if (m_slots != nullptr) FreeBlock(m_slots, (m_mask + 1) * sizeof(Slot), m_mapped);
    m_slots = nullptr;
    m_mask = 0;
    m_count = 0;
    m_mapped = false;
}

int32_t VertexKeyMap::Find(int64_t key) const {
    if (m_slots == nullptr) return -1;
    for (size_t i = SlotOf(key);; i = (i + 1) & m_mask) {
        const Slot& s = m_slots[i];
        if (s.stored == 0) return -1;
        if (s.key == key) return static_cast<int32_t>(s.stored - 1);
    }
}

int32_t VertexKeyMap::FindOrInsert(int64_t key, int32_t index) {
    // At most half full: linear probes stay short.
    if (2 * (m_count + 1) > m_mask + 1) Rehash(m_slots == nullptr ? 1024 : 2 * (m_mask + 1));
    size_t i = SlotOf(key);
    for (;; i = (i + 1) & m_mask) {
        const Slot& s = m_slots[i];
        if (s.stored == 0) break;
        if (s.key == key) return static_cast<int32_t>(s.stored - 1);
    }
    m_slots[i] = Slot{key, int64_t{index} + 1};
    ++m_count;
    return -1;
}

void VertexKeyMap::Rehash(size_t slotCount) {
    bool mapped = false;
    Slot* fresh = static_cast<Slot*>(ZeroBlock(slotCount * sizeof(Slot), mapped));
    Slot* old = m_slots;
    const size_t oldCount = old == nullptr ? 0 : m_mask + 1;
    const bool oldMapped = m_mapped;
    m_slots = fresh;
    m_mask = slotCount - 1;
    m_mapped = mapped;
    for (size_t j = 0; j < oldCount; ++j) {
        if (old[j].stored == 0) continue;
        size_t i = SlotOf(old[j].key);
        while (m_slots[i].stored != 0) i = (i + 1) & m_mask;
        m_slots[i] = old[j];
    }
    if (old != nullptr) FreeBlock(old, oldCount * sizeof(Slot), oldMapped);
}

}  // namespace kelo::detail
