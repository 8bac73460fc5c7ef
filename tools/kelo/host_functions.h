// The library functions kelo offers to scripts as host functions, reached through the
// window-message protocol like any other host's.
#pragma once

#include <cstdint>

#include "KeloGeomNet.h"

namespace kelo_tool {

extern const char* const kHostNames[];
extern const int32_t kHostNameCount;

// The host window scripts' host calls go to; geometries made during a run live until its end.
kelo::KeloHostWindow* ScriptHostWindow();

// What the host window does at the start (-98) and end (-99) of a run, besides keeping its
// geometry table; kelo debug uses them to print the end of the session.
void SetRunObserver(void (*onStart)(kelo::ScriptEngine*), void (*onEnd)(kelo::ScriptEngine*));

}  // namespace kelo_tool
