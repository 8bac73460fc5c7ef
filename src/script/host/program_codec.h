// The compiled-program buffer: a program written as a run of zero-terminated fields so a host
// can store a compiled script and run it later without its source.
#pragma once

#include <cstdint>
#include <string>

#include "script/vm/script_error.h"
#include "script/vm/script_program.h"

namespace kelo::detail {

// With lines, the buffer ends with the file and line of every source position, so errors of a
// program run from its buffer still name their line; readers that stop after the functions, and
// buffers written without the table, stay valid. A checksum of everything before it closes the
// table; a buffer whose checksum does not match is refused.
std::string EncodeScriptProgram(const ScriptProgram& program, const ScriptSourceTable* lines = nullptr,
                                const std::string& mainFile = {});
// False, leaving program (and lines) empty, when the buffer does not read back completely.
bool DecodeScriptProgram(const char* buffer, int32_t length, ScriptProgram& program,
                         ScriptSourceTable* lines = nullptr, std::string* mainFile = nullptr);

}  // namespace kelo::detail
