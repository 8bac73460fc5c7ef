// One record of a spatial index, and the id-sorted array that holds such records.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/box.h"
#include "kelo_api.h"

namespace kelo {

struct NodeInfoType {
    uint32_t id = 0;     // the caller's key, unique in one index
    Box* box = nullptr;  // owned by whoever made the record; may be null
};

// An index owns the records of its array; arrays handed back by queries only borrow them.
class KELO_API CNodeInfoArray : public std::vector<NodeInfoType*> {
public:
    // 1 and the index when the id is present; otherwise 0 and the index at which it would be
    // inserted. Requires the array to be sorted by id.
    int Pos(uint32_t id, int* pos) const;
    int Pos(uint32_t id, int& pos) const { return Pos(id, &pos); }
    int GetSize() const { return static_cast<int>(size()); }
};

}  // namespace kelo
