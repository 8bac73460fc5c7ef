// The value store: one flat array of cells handed out from a stack of free indices.
#include <sys/mman.h>

#include <cstring>
#include <new>

#include "platform/huge_pages.h"
#include "script/vm/script_engine.h"
#include "script/vm/value_ops.h"

namespace kelo {

// The store's arrays are anonymous mappings rather than heap arrays: a fresh page reads as zeros
// and costs nothing until it is written, so a short script never pays for the store it does not
// reach. A zero cell is a bool false; allocCell and the collector make a cell void before use.
void* MapStoreArray(size_t bytes) {
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    // Large stores fault in 2 MB at a time instead of 4 KB.
    if (bytes > (4u << 20)) detail::AdviseMappingHugePages(p, bytes);
    return p;
}

void* GrowStoreArray(void* p, size_t oldBytes, size_t newBytes) {
    void* q = mremap(p, oldBytes, newBytes, MREMAP_MAYMOVE);
    if (q == MAP_FAILED) return nullptr;
    if (newBytes > (4u << 20)) detail::AdviseMappingHugePages(q, newBytes);
    return q;
}

void UnmapStoreArray(void* p, size_t bytes) {
    if (p != nullptr) munmap(p, bytes);
}

int32_t ScriptEngine::allocCopy(const Tdata& v) {
    int32_t i = allocCell();
    assign(cells[i], v);
    return i;
}

int32_t ScriptEngine::resolveChain(int32_t i) const {
    // A chain can never be longer than the store; the bound also stops a cycle.
    for (int32_t steps = 0; validCell(i) && cells[i].dataType == kTypeReference && steps < capacity; ++steps)
        i = cells[i].value.ref;
    return i;
}

bool ScriptEngine::grow() {
    if (capacity >= kScriptMaxCells) return false;
    const int32_t newCapacity = capacity * 2;
    // The kernel moves the pages (no copy) and the new half arrives as untouched zero pages,
    // so a doubling costs only what the script goes on to use. Payload pointers move with the
    // cells, which is all a relocation needs.
    Tdata* newCells = static_cast<Tdata*>(GrowStoreArray(cells, StoreBytes<Tdata>(capacity), StoreBytes<Tdata>(newCapacity)));
    if (newCells == nullptr) return false;
    cells = newCells;
    int32_t* newFree =
        static_cast<int32_t*>(GrowStoreArray(freeStack, StoreBytes<int32_t>(capacity), StoreBytes<int32_t>(newCapacity)));
    uint8_t* newFlags = newFree == nullptr ? nullptr
                                           : static_cast<uint8_t*>(GrowStoreArray(cellFlags.bytes, StoreBytes<uint8_t>(capacity),
                                                                                  StoreBytes<uint8_t>(newCapacity)));
    if (newFlags == nullptr) {
        // Shrinking a mapping always succeeds in place.
        cells = static_cast<Tdata*>(mremap(cells, StoreBytes<Tdata>(newCapacity), StoreBytes<Tdata>(capacity), 0));
        if (newFree != nullptr)
            freeStack = static_cast<int32_t*>(
                mremap(newFree, StoreBytes<int32_t>(newCapacity), StoreBytes<int32_t>(capacity), 0));
        return false;
    }
    freeStack = newFree;
    cellFlags.bytes = newFlags;
    for (int32_t i = capacity; i < newCapacity; ++i) freeStack[freeCount++] = i;
    capacity = newCapacity;
    collectBelow = capacity / 4;
    // A host function in progress reads the cells through the call data.
    ScriptHostCall& call = detail::CurrentHostCall();
    if (call.engine == this) call.cells = cells;
    return true;
}

bool ScriptEngine::reserve(int32_t n) {
    const int64_t need = static_cast<int64_t>(n) + kScriptReserveSlack;
    if (freeCount >= need) return true;
    if (static_cast<int64_t>(freeCount) - capacity + kScriptMaxCells < need) return false;
    while (freeCount < need)
        if (!grow()) return false;
    return true;
}

}  // namespace kelo
