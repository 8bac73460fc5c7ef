// The language's own value operations: assignment with conversion (deep for containers and
// points), the total order used by comparisons, sets and maps, and the text form of a value.
// All of them read container elements from the current engine's store.
#pragma once

#include <climits>
#include <cstdint>
#include <string>

#include "kelo_api.h"
#include "script/vm/tdata.h"

namespace kelo {

inline constexpr int kScriptTextLimit = 65536;
// The longest text a script may build. Like the cell store's maximum for containers, it turns a
// runaway text (s = s + s in a loop) into the run-time error 10100 instead of taking the
// machine's memory, and keeps every length an int.
inline constexpr size_t kScriptMaxTextBytes = size_t{1} << 26;

// False when the types do not fit; dst may then already have taken src's type (when it was
// uninitialised) but keeps its old value otherwise.
KELO_API bool assign(Tdata& dst, const Tdata& src);
// -1, 0 or 1.
KELO_API int compare(const Tdata& a, const Tdata& b);
KELO_API std::string toString(const Tdata& v, int limit = kScriptTextLimit);

// 15 significant digits, exponent without "+" or leading zeros, always with a "." (3 -> "3.0",
// 1e20 -> "1.0e20").
KELO_API std::string FormatScriptDouble(double d);

// Truncation toward zero; a value outside the int range (or NaN) gives the integer indefinite
// value INT32_MIN, as the processor's own conversion does, instead of undefined behaviour.
inline int32_t ScriptDoubleToInt(double d) {
    if (!(d > -2147483649.0 && d < 2147483648.0)) return INT32_MIN;
    return static_cast<int32_t>(d);
}

}  // namespace kelo
