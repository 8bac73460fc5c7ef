#include "relations/kelo_ids.h"

#include <algorithm>

namespace kelo {

namespace {
// Past this many ids the array grows by its own size, so long runs of Add stay amortised linear.
constexpr size_t kGrowthThreshold = 127;
constexpr int kMaxGrowBy = 0x100000;
}  // namespace

CKeloIds::~CKeloIds() = default;

void CKeloIds::Sort() { std::sort(m_ids.begin(), m_ids.end()); }

int CKeloIds::Find(uint32_t id) const {
    int n = GetSize();
    if (n == 0) return ~0;
    // Ids mostly arrive in ascending order, so the ends settle most look-ups at once.
    if (id < m_ids.front()) return ~0;
    if (id == m_ids.front()) return 0;
    if (id > m_ids.back()) return ~n;
    if (id == m_ids.back()) return n - 1;
    int lo = 1, hi = n - 2;
    while (lo <= hi) {
        int mid = lo + (hi - lo) / 2;
        if (m_ids[mid] == id) return mid;
        if (m_ids[mid] < id) lo = mid + 1;
        else hi = mid - 1;
    }
    return ~lo;
}

int CKeloIds::Add(uint32_t id) {
    if (id == 0) return -1;
    int pos = Find(id);
    if (pos >= 0) return pos;
    pos = ~pos;
    size_t n = m_ids.size();
    if (n > kGrowthThreshold && m_growBy < kMaxGrowBy && static_cast<size_t>(m_growBy) <= n / 2)
        m_growBy = static_cast<int>(std::min<size_t>(n, INT32_MAX));
    if (m_growBy > 0 && n == m_ids.capacity()) m_ids.reserve(n + static_cast<size_t>(m_growBy));
    m_ids.insert(m_ids.begin() + pos, id);
    return pos;
}

int CKeloIds::GetPos(uint32_t id) const {
    int pos = Find(id);
    return pos >= 0 ? pos : -1;
}

int CKeloIds::RemoveID(uint32_t id) {
    int pos = Find(id);
    if (pos < 0) return 0;
    m_ids.erase(m_ids.begin() + pos);
    return 1;
}

int CKeloIds::SetOp(const std::vector<uint32_t>& other, int op) {
    if (m_ids.empty() && other.empty()) return 0;
    switch (op) {
    case klSetUnion:
        for (uint32_t id : other) Add(id);  // Add refuses 0 and repeats itself
        break;
    case klSetIntersection: {
        CKeloIds kept;
        for (uint32_t id : other)
            if (id != 0 && Find(id) >= 0) kept.Add(id);
        m_ids.swap(kept.m_ids);
        break;
    }
    case klSetDifference:
        for (uint32_t id : other) RemoveID(id);
        break;
    default: return 0;
    }
    m_ids.shrink_to_fit();
    return 1;
}

int CKeloIds::SetOp(const CKeloIds* other, int op) {
    if (!other) return 0;
    if (other == this) {
        // The loops above read the other while changing this one.
        std::vector<uint32_t> copy = m_ids;
        return SetOp(copy, op);
    }
    return SetOp(other->m_ids, op);
}

}  // namespace kelo
