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
    cells = static_cast<Tdata*>(MapStoreArray(StoreBytes<Tdata>(capacity)));
    freeStack = static_cast<int32_t*>(MapStoreArray(StoreBytes<int32_t>(capacity)));
    // Cells are handed out one by one, each read before it is written: a fault per page twice
    // over, unless the pages are made present in one go.
    PopulateStoreArray(cells, StoreBytes<Tdata>(capacity));
    // Ascending, so the top of the stack (the next cell handed out) is the highest index.
    for (int32_t i = 0; i < capacity; ++i) freeStack[i] = i;
    freeCount = capacity;
    cellFlags.assign(static_cast<size_t>(capacity), 0);
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
    if (cells != nullptr)
        for (int32_t i = 0; i < capacity; ++i) cells[i].~Tdata();
    UnmapStoreArray(cells, StoreBytes<Tdata>(capacity));
    UnmapStoreArray(freeStack, StoreBytes<int32_t>(capacity));
    cells = nullptr;
    freeStack = nullptr;
    capacity = 0;
    freeCount = 0;
}

void ScriptEngine::raise(int32_t code, int32_t lineIndex, int32_t column) const {
    ThrowScriptError(code, sourceLines, lineIndex, column, mainFile);
}

}  // namespace kelo
