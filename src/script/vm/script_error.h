// Numbered script errors and their common text form, shared by the front end, the compiler and
// the interpreter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kelo_api.h"

namespace kelo {

// One line of the combined script text: its text, the file it came from and its 1-based number
// there. Error texts and the debugger report positions through this table.
struct ScriptSourceLine {
    std::string text;
    std::string file;
    int32_t line = 0;
};
using ScriptSourceTable = std::vector<ScriptSourceLine>;

// What a failing stage throws and the run driver hands to the host. code is 0 for the two texts
// that carry no number (missing file, undecipherable enciphered script).
struct ScriptError {
    int32_t code = 0;
    std::string text;
};

// The GBK message of an error code; empty for unknown codes.
KELO_API const std::string& GetScriptErrorMessage(int32_t code);

// "错误<code> <message>", then the line in its file, the column (1-based, 0 = unknown) and the
// file name when the line does not belong to the main script. lineIndex < 0 means no position.
KELO_API std::string FormatScriptError(int32_t code, const ScriptSourceTable& lines, int32_t lineIndex,
                                       int32_t column, const std::string& mainFile);

[[noreturn]] KELO_API void ThrowScriptError(int32_t code, const ScriptSourceTable& lines, int32_t lineIndex,
                                            int32_t column, const std::string& mainFile);

}  // namespace kelo
