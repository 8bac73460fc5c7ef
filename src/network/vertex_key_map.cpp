#include "network/vertex_key_map.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "network/route_graph.h"
#include "platform/grow_array.h"

namespace kelo::detail {

namespace {

// Kept reservations of this kind held key tables; no array has records of no bytes.
constexpr size_t kTableKind = 0;

// Zeroed storage; large tables are reservations, in 2 MB pages, which keep a random probe from
// missing the address translation cache as well. A kept reservation is cleared here as far as it
// was written; the rest of it, like a fresh one, has never been touched and reads as zeros.
void* ZeroTable(size_t bytes, Reservation& room) {
    if (bytes < kMappedBlockBytes) {
        void* p = std::calloc(bytes, 1);
        if (p == nullptr) throw std::bad_alloc();
        return p;
    }
    size_t written = 0;
    room = OpenReservation(bytes, kTableKind, written);
    if (!room.huge) room.AdviseHuge();
    std::memset(room.base, 0, written < bytes ? written : bytes);
    return room.base;
}

}  // namespace

VertexKeyMap::~VertexKeyMap() { clear(); }

void VertexKeyMap::FreeTable() {
    if (m_room.base != nullptr)
        KeptReservations().Keep(m_room, kTableKind);
    else
        std::free(m_slots);
    m_slots = nullptr;
}

void VertexKeyMap::clear() {
    FreeTable();
    m_mask = 0;
    m_count = 0;
    m_recent.reset();
}

// Table slot of the key (found: its index is returned) or the empty slot that ends its probe.
int32_t VertexKeyMap::Probe(int64_t key, uint64_t h, const myRouteVert* verts, size_t& at) const {
    const uint32_t tag = static_cast<uint32_t>(h >> 32);
    for (size_t i = h & m_mask;; i = (i + 1) & m_mask) {
        const Slot s = m_slots[i];
        at = i;
        if (s.stored == 0) return -1;
        if (s.tag == tag && verts[s.stored - 1].key == key) return static_cast<int32_t>(s.stored - 1);
    }
}

void VertexKeyMap::Prefetch(int64_t key) const {
    if (m_slots == nullptr) return;
    const uint64_t h = Mix(key);
    const Recent& r = m_recent[RecentOf(h)];
    if (r.stored == 0 || r.key != key) __builtin_prefetch(m_slots + (h & m_mask));
}

int32_t VertexKeyMap::Find(int64_t key, const myRouteVert* verts) const {
    if (m_slots == nullptr) return -1;
    const uint64_t h = Mix(key);
    const Recent& r = m_recent[RecentOf(h)];
    if (r.stored != 0 && r.key == key) return static_cast<int32_t>(r.stored - 1);
    size_t at = 0;
    return Probe(key, h, verts, at);
}

int32_t VertexKeyMap::FindOrInsert(int64_t key, int32_t index, const myRouteVert* verts) {
    // At most half full: linear probes stay short.
    if (2 * (m_count + 1) > m_mask + 1) Rehash(m_slots == nullptr ? 1024 : 2 * (m_mask + 1), verts);
    const uint64_t h = Mix(key);
    Recent& r = m_recent[RecentOf(h)];
    if (r.stored != 0 && r.key == key) return static_cast<int32_t>(r.stored - 1);
    size_t at = 0;
    const int32_t found = Probe(key, h, verts, at);
    if (found >= 0) {
        r = Recent{key, static_cast<uint32_t>(found) + 1};
        return found;
    }
    m_slots[at] = Slot{static_cast<uint32_t>(index) + 1, static_cast<uint32_t>(h >> 32)};
    r = Recent{key, static_cast<uint32_t>(index) + 1};
    ++m_count;
    return -1;
}

// Every vertex is in the map, so the new table is filled from the vertex records in index order.
void VertexKeyMap::Rehash(size_t slotCount, const myRouteVert* verts) {
    if (!m_recent) m_recent.reset(new Recent[kRecent]());
    Reservation room;
    Slot* fresh = static_cast<Slot*>(ZeroTable(slotCount * sizeof(Slot), room));
    FreeTable();
    m_slots = fresh;
    m_room = room;
    m_mask = slotCount - 1;
    // Each insertion lands at a random slot; asking for the slot a few vertices ahead keeps
    // several of those memory accesses under way at once.
    constexpr size_t kAhead = 8;
    for (size_t v = 0; v < m_count; ++v) {
        if (v + kAhead < m_count) __builtin_prefetch(m_slots + (Mix(verts[v + kAhead].key) & m_mask), 1);
        const uint64_t h = Mix(verts[v].key);
        size_t i = h & m_mask;
        while (m_slots[i].stored != 0) i = (i + 1) & m_mask;
        m_slots[i] = Slot{static_cast<uint32_t>(v) + 1, static_cast<uint32_t>(h >> 32)};
    }
}

}  // namespace kelo::detail
