#include "relations/node_info.h"

namespace kelo {

int CNodeInfoArray::Pos(uint32_t id, int* pos) const {
    int lo = 0, hi = GetSize();
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        if ((*this)[mid]->id < id) lo = mid + 1;
        else hi = mid;
    }
    if (pos) *pos = lo;
    return (lo < GetSize() && (*this)[lo]->id == id) ? 1 : 0;
}

}  // namespace kelo
