// The whole front end of a run: load and preprocess, tokenize, check brackets.
#pragma once

#include <string>
#include <vector>

#include "kelo_api.h"
#include "script/front/lexer.h"
#include "script/front/preprocessor.h"
#include "script/vm/script_error.h"

namespace kelo {

struct ScriptFrontEndResult {
    std::string mainFile;      // the file name error texts treat as the main script
    ScriptSourceTable lines;   // the combined text after the directives
    ScriptTokenList tokens;
    std::vector<ScriptMacro> macros;  // as defined at the end of the text
};

// True on success. On failure error holds the code (0 for the file texts) and the full error
// text, and result keeps no tokens.
KELO_API bool RunScriptFrontEnd(const std::string& fileName, ScriptFrontEndResult& result, ScriptError& error);
// The same for a main script given as text; its includes are still read from files.
KELO_API bool RunScriptFrontEndOnText(const std::string& name, const std::string& text, ScriptFrontEndResult& result,
                                      ScriptError& error);

}  // namespace kelo
