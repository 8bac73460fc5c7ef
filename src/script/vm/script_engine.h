// One KeloScript interpreter instance: the value store, the two stacks whose slots are the
// collector's roots, the return stack and call frames, and the program it runs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "companion/host_window.h"
#include "kelo_api.h"
#include "platform/break_poll.h"
#include "script/vm/script_error.h"
#include "script/vm/script_program.h"
#include "script/vm/tdata.h"

namespace kelo {

inline constexpr int32_t kScriptInitialCells = 0x40000;
inline constexpr int32_t kScriptMaxCells = 0x1000000;
inline constexpr int32_t kScriptVarStackSlots = 0x100000;
inline constexpr int32_t kScriptArgStackSlots = 0x40000;
// Slack that reserve keeps beyond the caller's request, so the next few instructions never starve.
inline constexpr int32_t kScriptReserveSlack = 1024;

// One record per active script-function call, for the debugger.
struct ScriptCallFrame {
    int32_t entry, position, varTop, varBase, argTop, argBase;
};
static_assert(sizeof(ScriptCallFrame) == 24, "a call frame is six 32-bit values");

class ScriptEngine;
struct FastForm;

// The value store's arrays (see value_store.cpp): zero-filled on first touch, grown in place.
void* MapStoreArray(size_t bytes);
void* GrowStoreArray(void* p, size_t oldBytes, size_t newBytes);  // null when it cannot grow
void UnmapStoreArray(void* p, size_t bytes);
template <typename T>
size_t StoreBytes(int32_t n) {
    return static_cast<size_t>(n) * sizeof(T);
}

// Leaves new elements unwritten, so that the large stacks cost nothing until a script reaches a
// slot: every slot is written (by a push, or with the -1 a new slot starts with) before it is read.
template <typename T>
struct UnfilledAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UnfilledAllocator<U>;
    };
    UnfilledAllocator() = default;
    template <typename U>
    UnfilledAllocator(const UnfilledAllocator<U>&) {}
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... A>
    void construct(U* p, A&&... a) {
        ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
    }
};
using ScriptStack = std::vector<int32_t, UnfilledAllocator<int32_t>>;

// Called at each debugger stop with the engine; the result is the step mode the run goes on with
// (0 run to a breakpoint, 1 step into, 2 step over, 3 step out, 4 stop).
using ScriptDebugCallback = int32_t (*)(ScriptEngine* engine);

inline constexpr int32_t kStepRun = 0;
inline constexpr int32_t kStepInto = 1;
inline constexpr int32_t kStepOver = 2;
inline constexpr int32_t kStepOut = 3;
inline constexpr int32_t kStepStop = 4;

class KELO_API ScriptEngine {
public:
    ScriptEngine();
    ~ScriptEngine();
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // ---- value store ----
    Tdata* cells = nullptr;
    int32_t capacity = 0;
    int32_t* freeStack = nullptr;
    int32_t freeCount = 0;

    // Cells below this index have never been handed out, and free-stack positions below it hold
    // their own index without having been written: a fresh store (and a short script) touches
    // neither array beyond what it uses. A never-used cell is a zero page and owns nothing.
    int32_t untouchedBelow = 0;

    // Pops the highest free index and resets the cell; an empty free stack raises 10100.
    int32_t allocCell() {
        if (freeCount <= 0) raiseHere(10100);
        const int32_t p = --freeCount;
        if (p < untouchedBelow) {
            untouchedBelow = p;
            cells[p].dataType = kTypeVoid;  // written, not read first: one page fault, not two
            cells[p].value.d = 0;
            return p;
        }
        const int32_t i = freeStack[p];
        cells[i].changeDataType(kTypeVoid);
        return i;
    }
    // The free index at stack position k (0 is the bottom).
    int32_t freeCellAt(int32_t k) const { return k < untouchedBelow ? k : freeStack[k]; }
    // A new cell holding the language's (deep) copy of v.
    int32_t allocCopy(const Tdata& v);
    // Guarantees n + 1024 free cells, growing by doubling; false when even the maximum store
    // cannot give that many.
    bool reserve(int32_t n);
    // One doubling; false at the maximum. Cell addresses change: never hold a Tdata& across it.
    bool grow();
    // Mark and sweep from the two stacks; returns the free count afterwards.
    int32_t collect();
    // End of the reference chain starting at cell i (i itself when it is no reference).
    int32_t resolve(int32_t i) const {
        if (!validCell(i) || cells[i].dataType != kTypeReference) return i;
        return resolveChain(i);
    }
    bool validCell(int32_t i) const { return i >= 0 && i < capacity; }

    // Per-cell marks of the instruction loop (one byte per cell, kept in step with capacity):
    // a temporary is a cell that exactly one variable-stack slot names (an operator's result or
    // a call's return slot), so it goes back to the free stack as soon as that slot is consumed;
    // a constant is the shared cell of a literal, which nothing may write (see callSystem); a
    // parameter is a fused call's fresh parameter cell that only its argument slot names, so the
    // fused return frees it (a push or a by-reference binding makes it an ordinary cell).
    enum : uint8_t { kCellTemp = 1, kCellConst = 2, kCellParam = 4 };
    // One byte per cell in a mapping of its own, so that it starts as zero pages and grows in
    // place with the store.
    struct CellFlags {
        uint8_t* bytes = nullptr;
        uint8_t& operator[](size_t i) { return bytes[i]; }
        uint8_t operator[](size_t i) const { return bytes[i]; }
        uint8_t* data() { return bytes; }
    } cellFlags;
    // Cell of each literal instruction (-1 until first evaluated), and the list of them: roots.
    std::vector<int32_t> constCells;
    std::vector<int32_t> constList;
    // Per method-call instruction: the object type and the function found for it last time.
    std::vector<uint64_t> methodCache;
    // Collect when fewer cells than this are free (a quarter of the capacity).
    int32_t collectBelow = 0;

    // ---- the stacks (their live slots are 0 .. top-1) ----
    ScriptStack varStack;
    int32_t varTop = 0;
    int32_t varBase = 0;
    ScriptStack argStack;
    int32_t argTop = 0;
    int32_t argBase = 0;

    // ---- calls ----
    std::vector<int32_t> returnStack;
    std::vector<ScriptCallFrame> callFrames;

    // ---- the program and its run ----
    const ScriptProgram* program = nullptr;
    std::vector<std::string> scriptArgs;
    bool stopFlag = false;
    uint64_t instructionCount = 0;
    // A host (or a fuzzer) may bound a run: past this many instructions the run stops as after
    // exit(). 0 means no bound.
    uint64_t instructionLimit = 0;
    // Where print and println write; null means the process's standard output.
    std::string* printSink = nullptr;

    // Runs the global initialisation blocks, then main. On a script error the error text is
    // stored into output and the result is false.
    bool run(std::string& output);
    // The instruction loop from start until the outermost return or the stop flag.
    void execute(int32_t start);
    // One instruction of the code list; the next position, or -1 when the run ends there.
    int32_t step(int32_t pc);
    // Runs the documented instruction loop instead of the fast form built from the same code list
    // (set from the environment variable KELO_PLAIN_VM; the two differ only in speed).
    bool plainForm = false;
    // Calls system function number with the argc topmost slots as arguments (the calling
    // convention of the built-in library); false when the function reports failure.
    bool callSystem(int32_t number, int32_t argc);
    // True while a system function runs whose value the next instruction drops: assignments then
    // leave it empty rather than copy what they stored.
    bool resultDropped = false;

    // The slot an operand names, bounds-checked (10101 / 10102 when outside its stack).
    int32_t& slot(int32_t mode, int32_t offset);
    // Pushes a cell index on the variable stack (10102 when full).
    void pushVar(int32_t cell) {
        if (varTop >= kScriptVarStackSlots) raiseHere(10102);
        varStack[static_cast<size_t>(varTop++)] = cell;
    }

    // ---- the host ----
    // Where host function calls go (message 1295); null: every host call fails with 10300.
    KeloHostWindow* hostWindow = nullptr;
    // Text host functions may fill; the run functions append it to their output.
    std::string hostText;
    // Methods the host registered per type: "<type code>:<method>" -> host function index.
    std::unordered_map<std::string, int32_t> hostMethods;
    // Calls host function index with the argc topmost slots as arguments; false when the host
    // did not reply non-zero.
    bool callHost(int32_t index, int32_t argc);

    // ---- the debugger ----
    bool debugging = false;
    ScriptDebugCallback debugCallback = nullptr;
    int32_t stepMode = kStepInto;
    size_t lastStopDepth = 0;
    bool debugStarted = false;   // true from the first statement on
    std::string debugReport;
    std::vector<uint8_t> breakpoints;     // per source line index
    int32_t debugPc = -1;                 // statement marker of the last stop
    std::vector<int32_t> debugFramePcs;   // per call frame: the caller's statement at the call
    int32_t viewFrame = -1;               // frame that watch and set refer to; -1 the innermost
    std::vector<std::string> macroTexts;  // for the debug queries

    // ---- positions for error texts ----
    ScriptSourceTable sourceLines;
    std::string mainFile;
    int32_t curPos = -1;  // source line index of the instruction being executed

    // Builds the common error text and throws it as ScriptError; column 0 means none.
    [[noreturn]] void raise(int32_t code, int32_t lineIndex, int32_t column = 0) const;
    [[noreturn]] void raiseHere(int32_t code) const { raise(code, curPos, 0); }

    int32_t constantCell(int32_t pc, const Tdata& value);
    // A writable copy of a constant cell, for callees that may change their arguments.
    int32_t unshared(int32_t cell) {
        if ((cellFlags[static_cast<size_t>(cell)] & kCellConst) == 0) return cell;
        const int32_t n = allocCell();
        cells[n].copyFrom(cells[cell]);
        return n;
    }
    void releaseTemp(int32_t cell) {
        if (static_cast<uint32_t>(cell) >= static_cast<uint32_t>(capacity)) return;
        uint8_t& f = cellFlags[static_cast<size_t>(cell)];
        if ((f & kCellTemp) == 0) return;
        f = 0;
        cells[cell].changeDataType(kTypeVoid);
        freeStack[freeCount++] = cell;
    }

private:
    std::shared_ptr<const FastForm> fastForm_;
    const ScriptProgram* fastFormOf_ = nullptr;
    int32_t stepInline(int32_t pc);
    void executeFast(int32_t start);
    void debugStatement(int32_t pc);
    int32_t resolveChain(int32_t i) const;
    void releaseStore();
};

// The break request: every 256 instructions a running script asks the platform's break poll
// (SetScriptBreakPoll) whether the user pressed Control+Shift+C; on true the user is asked to
// confirm, and Yes ends the run.

// The engine that is running; null when none is. One script runs at a time per process.
KELO_API ScriptEngine* GetCurrentScriptEngine();
KELO_API ScriptEngine* SetCurrentScriptEngine(ScriptEngine* engine);

// The data of the host function call in progress, read by the host while it handles message 1295.
struct ScriptHostCall {
    Tdata* cells = nullptr;
    std::vector<int32_t> args;
    std::string* text = nullptr;
    int32_t result = -1;
    ScriptEngine* engine = nullptr;
};
namespace detail {
ScriptHostCall& CurrentHostCall();
}

// Makes an engine current for a scope and restores the previous one.
class CurrentScriptEngineScope {
public:
    explicit CurrentScriptEngineScope(ScriptEngine* e) : previous_(SetCurrentScriptEngine(e)) {}
    ~CurrentScriptEngineScope() { SetCurrentScriptEngine(previous_); }
    CurrentScriptEngineScope(const CurrentScriptEngineScope&) = delete;
    CurrentScriptEngineScope& operator=(const CurrentScriptEngineScope&) = delete;

private:
    ScriptEngine* previous_;
};

}  // namespace kelo
