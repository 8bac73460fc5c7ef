// The numbered system functions: operators and global functions 0 to 70, type-bound functions 71
// to 178 reached by method calls, host functions from 32768 up.
#pragma once

#include <cstdint>
#include <string>

#include "kelo_api.h"

namespace kelo {

inline constexpr int32_t kScriptSystemFunctionCount = 179;
inline constexpr int32_t kScriptHostFunctionBase = 32768;

// Name of a system function ("#op_add", "array_getSize", ...); empty outside 0..178.
KELO_API const std::string& GetScriptSystemFunctionName(int32_t number);
// Number of a system function by name, or -1.
KELO_API int32_t FindScriptSystemFunction(const std::string& name);
// Method names are numbered once for all types ("getSize", "add", "x", "#op_get", ...); -1 for a
// name no type has.
KELO_API int32_t GetScriptMethodNumber(const std::string& method);
// The system function that implements method number m for values of a type, or -1.
KELO_API int32_t FindScriptMethod(int32_t methodNumber, int32_t type);

}  // namespace kelo
