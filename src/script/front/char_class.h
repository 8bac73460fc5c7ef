#pragma once
// Character classes of script text. Script text is GBK: bytes above 0x7F are never letters, so a
// Chinese character in a name is reported instead of being taken into it.

namespace kelo::detail {

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsIdentStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
inline bool IsIdentChar(char c) { return IsIdentStart(c) || IsDigit(c); }

}  // namespace kelo::detail
