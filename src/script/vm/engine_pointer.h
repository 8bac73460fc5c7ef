// Internal: the running engine as a plain variable, for the hottest readers (the set and map
// order) inside the library; everyone else uses GetCurrentScriptEngine.
#pragma once

namespace kelo {
class ScriptEngine;
namespace detail {
extern ScriptEngine* g_runningEngine;
}  // namespace detail
}  // namespace kelo
