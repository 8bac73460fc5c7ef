// Internal: the calling convention shared by the built-in function families.
#pragma once

#include <cstdint>
#include <string>

#include "script/vm/script_engine.h"
#include "script/vm/value_ops.h"

namespace kelo::detail {

// One call in progress: argument cells (references already followed) and the result cell. Cells
// are reached through the engine every time, because reserving memory may move the store.
struct SysCall {
    ScriptEngine& e;
    int32_t argc;
    const int32_t* args;
    int32_t result;

    Tdata& arg(int i) const { return e.cells[args[i]]; }
    int32_t argIndex(int i) const { return args[i]; }
    Tdata& res() const { return e.cells[result]; }
    [[noreturn]] void fail(int32_t code) const { e.raiseHere(code); }

    // Argument checks that raise 10304 on a wrong type.
    double number(int i) const;
    int32_t integer(int i) const;
    std::string& text(int i) const;
    Tdata& typed(int i, int32_t type) const;
    void setResult(const Tdata& v) const { res().copyFrom(v); }
    // Raises 10100 when a text of this many bytes would pass the text limit.
    void textFits(size_t bytes) const {
        if (bytes > kScriptMaxTextBytes) fail(10100);
    }
    // Result as a reference to a cell, so that assigning to the result changes that cell.
    void setReference(int32_t cell) const;
};

using SysFn = bool (*)(const SysCall&);

SysFn CoreFunction(int32_t number);       // 0 to 70
SysFn ContainerFunction(int32_t number);  // arrays, sets, maps, points, matrices
SysFn StringFunction(int32_t number);     // strings

// printf-style formatting of script values; 0, 10303, 10304 or -1 (see DoStringFormat).
int32_t FormatScriptValues(ScriptEngine& e, const int32_t* args, int32_t argc, int32_t formatArg, std::string& out);

}  // namespace kelo::detail
