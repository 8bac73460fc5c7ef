#include "script/vm/script_engine.h"

#include <cstdlib>

#include "script/vm/engine_pointer.h"
#include "script/vm/fast_form.h"

namespace kelo {

ScriptEngine* detail::g_runningEngine = nullptr;

namespace {
ScriptEngine*& g_currentEngine = detail::g_runningEngine;
ScriptHostCall g_hostCall;
}  // namespace

ScriptHostCall& detail::CurrentHostCall() { return g_hostCall; }

ScriptEngine* GetCurrentScriptEngine() { return g_currentEngine; }

ScriptEngine* SetCurrentScriptEngine(ScriptEngine* engine) {
    ScriptEngine* previous = g_currentEngine;
    g_currentEngine = engine;
    return previous;
}

ScriptEngine::ScriptEngine()
    : varStack(static_cast<size_t>(kScriptVarStackSlots)), argStack(static_cast<size_t>(kScriptArgStackSlots)) {
    capacity = kScriptInitialCells;
    // Nothing is written here: the free stack starts as every index in ascending order, held
    // implicitly below untouchedBelow, and cells and flags are zero pages until first used.
    cells = static_cast<Tdata*>(MapStoreArray(StoreBytes<Tdata>(capacity)));
    freeStack = static_cast<int32_t*>(MapStoreArray(StoreBytes<int32_t>(capacity)));
    cellFlags.bytes = static_cast<uint8_t*>(MapStoreArray(StoreBytes<uint8_t>(capacity)));
    freeCount = capacity;
    untouchedBelow = capacity;
    collectBelow = capacity / 4;
    const char* plain = std::getenv("KELO_PLAIN_VM");
    plainForm = plain != nullptr && *plain != '\0' && *plain != '0';
}

ScriptEngine::~ScriptEngine() {
    // A dangling current engine would let later host calls reach freed cells.
    if (g_currentEngine == this) g_currentEngine = nullptr;
    if (g_hostCall.engine == this) g_hostCall = ScriptHostCall();
    releaseStore();
}

void ScriptEngine::releaseStore() {
    // Cells never handed out own nothing and are not even read.
    if (cells != nullptr)
        for (int32_t i = untouchedBelow; i < capacity; ++i) cells[i].~Tdata();
    UnmapStoreArray(cells, StoreBytes<Tdata>(capacity));
    UnmapStoreArray(freeStack, StoreBytes<int32_t>(capacity));
    UnmapStoreArray(cellFlags.bytes, StoreBytes<uint8_t>(capacity));
    cells = nullptr;
    freeStack = nullptr;
    cellFlags.bytes = nullptr;
    capacity = 0;
    freeCount = 0;
}

void ScriptEngine::raise(int32_t code, int32_t lineIndex, int32_t column) const {
    ThrowScriptError(code, sourceLines, lineIndex, column, mainFile);
}

}  // namespace kelo
