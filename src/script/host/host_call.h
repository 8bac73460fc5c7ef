// What a host reaches while it handles a host function call (message 1295 with an index): the
// call's arguments and result cell, the engine's store and its text buffer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kelo_api.h"
#include "script/vm/tdata.h"

namespace kelo {

// The result cell index of the call in progress (-1 when none is), with the engine's cell array,
// the argument cell indices (references already followed) and the engine's text buffer, which
// the run functions append to their output after the run.
KELO_API int32_t GetKeloScriptFuncParams(Tdata*& cells, std::vector<int32_t>& args, std::string*& text);

// Makes room for n more cells (plus the store's slack); cells is refreshed because the array may
// move. False without a current engine or when the store cannot grow that far.
KELO_API bool KeloScriptCurReserveMemory(Tdata*& cells, int32_t n);

// Assignment with the language's conversions on the current engine; false without one or when
// the types do not convert.
KELO_API bool setValue(Tdata& destination, const Tdata& source);

// printf-style formatting of script values: the argument at formatIndex is the format, the
// following ones its values. 0 on success; 10303 without a format argument, 10304 when it is no
// string, 10100 when the text would pass the script text limit, -1 for an argument that cannot be
// formatted.
KELO_API int32_t DoStringFormat(Tdata* cells, const std::vector<int32_t>& args, int32_t formatIndex,
                                std::string& out);

// The argument delimiter of a command text: "/P".
KELO_API const char* GetScriptArgDeli();

// Called by print, println and the read functions before they write or read.
KELO_API void SetConsoleCallback(void (*callback)());

}  // namespace kelo
