#include "script/front/front_end.h"

namespace kelo {

namespace {

template <typename Load>
bool Run(ScriptFrontEndResult& result, ScriptError& error, Load load) {
    result = ScriptFrontEndResult();
    error = ScriptError();
    ScriptPreprocessor pre;
    try {
        load(pre, result.lines);
        result.mainFile = pre.mainFile();
        result.macros = pre.macros();
        TokenizeScript(result.lines, result.mainFile, result.tokens);
        CheckScriptBrackets(result.tokens, result.lines, result.mainFile);
        return true;
    } catch (ScriptError& e) {
        error = std::move(e);
        result.tokens.clear();
        return false;
    }
}

}  // namespace

bool RunScriptFrontEnd(const std::string& fileName, ScriptFrontEndResult& result, ScriptError& error) {
    return Run(result, error, [&](ScriptPreprocessor& p, ScriptSourceTable& lines) { p.run(fileName, lines); });
}

bool RunScriptFrontEndOnText(const std::string& name, const std::string& text, ScriptFrontEndResult& result,
                             ScriptError& error) {
    return Run(result, error,
               [&](ScriptPreprocessor& p, ScriptSourceTable& lines) { p.runText(name, text, lines); });
}

}  // namespace kelo
