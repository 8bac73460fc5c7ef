// The tokenizer and the bracket check. A token's text starts with its kind letter:
// s identifier or keyword, c operator, v int, d double, r string, b bool.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kelo_api.h"
#include "script/vm/script_error.h"

namespace kelo {

struct ScriptToken {
    std::string text;
    int32_t line = 0;    // index into the source line table
    int32_t column = 0;  // 1-based byte column in that line
};
using ScriptTokenList = std::vector<ScriptToken>;

// Throws ScriptError (1100 to 1105) with positions from lines.
KELO_API void TokenizeScript(const ScriptSourceTable& lines, const std::string& mainFile, ScriptTokenList& out);
// Throws ScriptError (1200 to 1202).
KELO_API void CheckScriptBrackets(const ScriptTokenList& tokens, const ScriptSourceTable& lines,
                                  const std::string& mainFile);

// The keyword table in its start-up order, and the names reserved for calls by name.
KELO_API const std::vector<std::string>& GetScriptKeywords();
KELO_API bool IsScriptReservedWord(const std::string& word);

struct ScriptBinaryOperator {
    const char* text;
    int strength;  // 0 (assignments) binds loosest, 10 tightest
};
// The binary operators in start-up order with their binding strength, and the prefix operators.
KELO_API const std::vector<ScriptBinaryOperator>& GetScriptBinaryOperators();
KELO_API const std::vector<std::string>& GetScriptPrefixOperators();

}  // namespace kelo
