// The compiled form of a script: one flat list of fixed-size instructions plus the tables the
// interpreter and the debugger need to find functions and globals.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "kelo_api.h"
#include "script/vm/tdata.h"

namespace kelo {

enum ScriptOp : int32_t {
    kOpReturn = 0,
    kOpCall = 1,
    kOpDrop = 2,
    kOpBind = 3,
    kOpJump = 4,
    kOpJumpIfTrue = 5,
    kOpDeclare = 6,
    kOpArgTop = 7,
    kOpArgBase = 8,
    kOpVarTop = 9,
    kOpMethod = 10,
    kOpIndex = 11,
    kOpPush = 12,
    kOpCallSystem = 13,
    kOpFill = 14,
    kOpMainArgs = 15,
    kOpCallByName = 16,
    kOpFramePush = 10000,
    kOpFramePop = 10001,
    kOpStatement = 10002,
    kOpNop = 10003,
};

// A bind whose count is this sets a declared variable's initial value: a misfit is the
// declaration's error (10202), not an argument binding's (10200).
inline constexpr int32_t kBindInitialiser = 1;

// A declare whose count is this pushes a literal: its value is never written, so one cell per
// instruction serves every evaluation.
inline constexpr int32_t kDeclareConstant = 1;

// System functions up to this number may be done in place by the instruction loop (numbers,
// assignments, increments, not, negation).
inline constexpr int32_t kLastFastFunction = 49;

// Operand addressing: which stack slot names the operand's cell.
enum ScriptOperandMode : int32_t {
    kModeVarTop = 0,   // variable stack, top + offset
    kModeArgBase = 1,  // argument stack, frame base + offset (parameters)
    kModeArgTop = 2,   // argument stack, top + offset
    kModeVarBase = 3,  // variable stack, frame base + offset (the base stays 0: globals)
};

struct ScriptInstruction {
    int32_t op = kOpNop;
    int32_t position = -1;  // source line index
    int32_t aMode = 0, aOffset = 0;
    int32_t bMode = 0, bOffset = 0;
    int32_t target = -1;
    int32_t count = 0;
    int32_t count2 = 0;
    std::string name;
    Tdata value;
};

struct ScriptParam {
    int32_t type = kTypeVoid;
    bool byRef = false;
    std::string name;
};

// Return type -1 is "void"; kScriptUntypedReturn marks a function introduced by "function".
inline constexpr int32_t kScriptUntypedReturn = -3;

struct ScriptFunction {
    std::string name;
    int32_t returnType = kTypeVoid;
    std::vector<ScriptParam> params;
    int32_t entry = -1;  // -1 while only a prototype is known
    int32_t line = -1;   // source line index of the header
};

struct ScriptGlobal {
    int32_t type = kTypeVoid;
    std::string name;
    int32_t line = -1;
};

// A variable visible at a statement, for the debugger: slot counts from the function's frame
// start (the variable-stack top when it was entered).
struct ScriptLocal {
    std::string name;
    int32_t slot = 0;
};

struct ScriptProgram {
    std::vector<ScriptInstruction> code;
    std::vector<ScriptFunction> functions;
    std::unordered_map<std::string, int32_t> functionIndex;
    std::vector<ScriptGlobal> globals;
    std::vector<int32_t> globalInits;
    int32_t entry = -1;  // start of the code that calls main
    int32_t mainFunction = -1;
    // Locals in view at each statement marker: the marker's count2 indexes this list. A program
    // read back from its compiled form has none, so the debugger sees only globals there.
    std::vector<std::vector<ScriptLocal>> debugScopes;
};

}  // namespace kelo
