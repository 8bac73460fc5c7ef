// The debugger's command language and the queries a host makes about a stopped (or finished)
// script.
#pragma once

#include <cstdint>
#include <string>

#include "kelo_api.h"
#include "script/vm/script_engine.h"

namespace kelo {

// Carries out one debugger command; the result is the step mode to go on with, or -1 when the
// program stays stopped. Messages replace the engine's debug report.
KELO_API int32_t ExternDoDebugCommand(ScriptEngine* engine, const char* command);

KELO_API std::string getDebugFileName(const ScriptEngine* engine);
KELO_API int32_t getDebugLineNumber(const ScriptEngine* engine);
KELO_API std::string getDebugReport(const ScriptEngine* engine);

KELO_API int32_t getMacroCount(const ScriptEngine* engine);
KELO_API std::string getMacroAt(const ScriptEngine* engine, int32_t index);
KELO_API int32_t getFunctionCount(const ScriptEngine* engine);
KELO_API std::string getFunctionAt(const ScriptEngine* engine, int32_t index);
KELO_API int32_t getGlobalVariableCount(const ScriptEngine* engine);
KELO_API std::string getGlobalVariableAt(const ScriptEngine* engine, int32_t index);

}  // namespace kelo
