// The parser and code generator: the token list of a script becomes one flat instruction list.
#pragma once

#include <string>
#include <vector>

#include "kelo_api.h"
#include "script/front/front_end.h"
#include "script/vm/script_program.h"

namespace kelo {

// Compiles the front end's result into program; host function names (index i is function
// 32768 + i) are callable by name. False with error filled (1300 to 1420) on the first fault.
KELO_API bool CompileScript(const ScriptFrontEndResult& front, const std::vector<std::string>& hostNames,
                            ScriptProgram& program, ScriptError& error);

// Front end, compiler and interpreter in one go, for hosts without their own protocol: runs the
// script file with the given arguments, writing print output to printSink (null: standard
// output). Returns true when the run ended without an error; otherwise errorText holds it.
KELO_API bool RunKeloScriptFile(const std::string& fileName, const std::vector<std::string>& args,
                                std::string* printSink, std::string& errorText);
KELO_API bool RunKeloScriptText(const std::string& name, const std::string& text,
                                const std::vector<std::string>& args, std::string* printSink, std::string& errorText);

}  // namespace kelo
