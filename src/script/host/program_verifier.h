// Load-time check of a program read from outside bytes (a compiled-program buffer): everything the
// instruction loop takes on trust is proved in range here, once, so a corrupted buffer is refused
// before it runs instead of steering the interpreter outside its store and stacks.
#pragma once

#include <cstdint>

#include "script/vm/script_program.h"

namespace kelo::detail {

struct ScriptVerifyFault {
    int32_t code = 0;      // 10000 (a code position outside the list) or 10001 (a malformed instruction)
    int32_t position = -1;  // source line index of the offending instruction, when it has a sound one
};

// True when every operation code, operand mode, jump target, function entry, stack adjustment,
// function number and embedded value is one the interpreter can carry out; lineCount is the size
// of the program's source-position table and hostCount the number of host functions registered.
bool VerifyScriptProgram(const ScriptProgram& program, size_t lineCount, int32_t hostCount,
                         ScriptVerifyFault& fault);

}  // namespace kelo::detail
