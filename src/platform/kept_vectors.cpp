#include "platform/kept_vectors.h"

namespace kelo {

void VectorStash::Put(Entry e) noexcept {
    std::unique_lock<std::mutex> lock(m_lock);
    if (m_closed || e.bytes > m_mostBytes || m_mostCount == 0) {
        lock.unlock();
        e.drop(e.held);
        return;
    }
    // The oldest go first: a host that moved on to other work no longer asks for them.
    while (m_count >= m_mostCount || m_count == kEntries || m_bytes + e.bytes > m_mostBytes) {
        size_t o = 0;
        for (size_t i = 1; i < m_count; ++i)
            if (m_kept[i].order < m_kept[o].order) o = i;
        m_bytes -= m_kept[o].bytes;
        m_kept[o].drop(m_kept[o].held);
        m_kept[o] = m_kept[--m_count];
    }
    e.order = ++m_clock;
    m_kept[m_count++] = e;
    m_bytes += e.bytes;
}

void* VectorStash::Get(const std::type_info& type, size_t n) {
    std::lock_guard<std::mutex> lock(m_lock);
    size_t best = m_count;
    for (size_t i = 0; i < m_count; ++i) {
        const Entry& e = m_kept[i];
        if (*e.type != type || e.capacity < n || e.capacity / 4 > n) continue;
        if (best == m_count || e.capacity < m_kept[best].capacity) best = i;
    }
    if (best == m_count) return nullptr;
    void* held = m_kept[best].held;
    m_bytes -= m_kept[best].bytes;
    m_kept[best] = m_kept[--m_count];
    return held;
}

void VectorStash::Close() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_closed = true;
    while (m_count > 0) {
        --m_count;
        m_kept[m_count].drop(m_kept[m_count].held);
    }
    m_bytes = 0;
}

namespace {

// What an overlay of two million-vertex polygons frees between calls (its segment records, the
// noder's copies of them and the face builder's index arrays), so that the next one of that size
// finds them all; kept after the last overlay until the kernel needs the memory.
constexpr size_t kKeptVectorsMost = size_t{512} << 20;
constexpr size_t kKeptVectorsCount = 24;

// Frees the kept buffers at exit; the stash itself is never destroyed, so vectors in static
// objects destroyed after this one still give their buffers back, and they are freed at once.
struct CloseAtExit {
    ~CloseAtExit() { KeptVectors().Close(); }
} g_closeAtExit;

alignas(VectorStash) unsigned char g_stashStorage[sizeof(VectorStash)];

}  // namespace

VectorStash& KeptVectors() {
    static VectorStash* const stash = new (g_stashStorage) VectorStash(kKeptVectorsMost, kKeptVectorsCount);
    return *stash;
}

}  // namespace kelo
