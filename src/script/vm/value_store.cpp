// The value store: one flat array of cells handed out from a stack of free indices.
#include <cstring>

#include "script/vm/script_engine.h"
#include "script/vm/value_ops.h"

namespace kelo {

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
    Tdata* newCells = new Tdata[static_cast<size_t>(newCapacity)];
    int32_t* newFree = new int32_t[static_cast<size_t>(newCapacity)];
    // Cells are relocated bit for bit: payload pointers move with them, and the old slots are
    // marked uninitialised so deleting the old array frees nothing twice.
    std::memcpy(static_cast<void*>(newCells), static_cast<const void*>(cells),
                static_cast<size_t>(capacity) * sizeof(Tdata));
    for (int32_t i = 0; i < capacity; ++i) cells[i].dataType = kTypeVoid;
    std::memcpy(newFree, freeStack, static_cast<size_t>(freeCount) * sizeof(int32_t));
    for (int32_t i = capacity; i < newCapacity; ++i) newFree[freeCount++] = i;
    delete[] cells;
    delete[] freeStack;
    cells = newCells;
    freeStack = newFree;
    capacity = newCapacity;
    cellFlags.resize(static_cast<size_t>(capacity), 0);
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
