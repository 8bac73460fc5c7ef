// GBK texts at the library's interface. Sources are UTF-8; every Chinese text the library hands
// out is converted once, here, and callers compare against the same conversion.
#pragma once

#include <string>
#include <string_view>

#include "kelo_api.h"

namespace kelo {

KELO_API std::string ToGbk(std::string_view utf8);
KELO_API std::string GbkToUtf8(std::string_view gbk);
// For printing: GBK to the encoding of the current locale (UTF-8 when the locale names none).
KELO_API std::string GbkToTerminal(std::string_view gbk);

}  // namespace kelo

// A GBK text made from a UTF-8 literal on first use and kept for the life of the process.
#define KELO_GBK(utf8_literal)                                              \
    ([]() -> const std::string& {                                           \
        static const std::string kelo_gbk_text = ::kelo::ToGbk(utf8_literal); \
        return kelo_gbk_text;                                               \
    }())
