// The compiled-program buffer: a program written as a run of zero-terminated fields so a host
// can store a compiled script and run it later without its source.
#pragma once

#include <cstdint>
#include <string>

#include "script/vm/script_program.h"

namespace kelo::detail {

std::string EncodeScriptProgram(const ScriptProgram& program);
// False, leaving program empty, when the buffer does not read back completely.
bool DecodeScriptProgram(const char* buffer, int32_t length, ScriptProgram& program);

}  // namespace kelo::detail
