// A set of unsigned 32-bit ids kept as a sorted array without repeats. Id 0 is reserved as
// "no id" and is never stored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kelo_api.h"
#include "relations/set_operation_type.h"

namespace kelo {

class KELO_API CKeloIds {
public:
    CKeloIds() = default;
    CKeloIds(const CKeloIds&) = default;
    CKeloIds& operator=(const CKeloIds&) = default;
    virtual ~CKeloIds();

    // Raw access for callers that fill the array in bulk; they must call Sort() afterwards and
    // must not leave repeats or 0 in it.
    std::vector<uint32_t>& GetData() { return m_ids; }
    const std::vector<uint32_t>& GetData() const { return m_ids; }
    int GetSize() const { return static_cast<int>(m_ids.size()); }
    uint32_t GetAt(int i) const { return m_ids.at(static_cast<size_t>(i)); }
    uint32_t operator[](int i) const { return GetAt(i); }
    void RemoveAll() { m_ids.clear(); }

    // The number of slots the array grows by when full; 0 leaves growth to the array.
    int GetGrowBy() const { return m_growBy; }
    void SetGrowBy(int growBy) { m_growBy = growBy > 0 ? growBy : 0; }

    void Sort();
    // Index of the id after insertion (also when it was present already); -1 for id 0.
    int Add(uint32_t id);
    int GetPos(uint32_t id) const;
    // 1 when the id was present and is removed, else 0.
    int RemoveID(uint32_t id);

    // 0 when both sets are empty or the code is unknown (nothing changes then), else 1.
    int SetOp(const std::vector<uint32_t>& other, int op);
    int SetOp(const CKeloIds* other, int op);

private:
    // The index when present, else the one's complement of the insertion index.
    int Find(uint32_t id) const;

    std::vector<uint32_t> m_ids;
    int m_growBy = 0;
};

}  // namespace kelo
