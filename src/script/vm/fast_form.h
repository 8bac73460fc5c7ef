// The form the interpreter actually runs: the code list regrouped, when a program is first run,
// into fewer and bigger instructions. Each one covers a range of the code list; it first checks
// everything that could make the range behave other than in the common case (a value that is not
// a number, a division by zero, a stack at its limit, ...) and, if anything does, hands the range
// to the documented instruction loop, which then raises exactly the error it always raised. So a
// run shows the same output, errors and lines either way; only cell numbers and the moments of
// collection may differ, and neither can be seen from a script.
#pragma once

#include <cstdint>
#include <vector>

#include "script/vm/script_program.h"

namespace kelo {

enum FastKind : uint8_t {
    kFastPlain,       // one instruction of the code list, run as documented
    kFastExprStmt,    // a number expression stored into a variable (= += -= *= /= %= ++ --), then dropped
    kFastExprPush,    // a number expression whose value is pushed as a temporary
    kFastBranch,      // a condition, its jump and both drops: continue at next or alt
    kFastPushFilled,  // a new variable-stack slot with a fresh cell (a call's return slot)
    kFastCall,        // binds the arguments to new parameter cells and enters the function
    kFastReturn,      // binds the result, drops the frame's slots and returns
    kFastAfterCall,   // removes the call frame record and restores the parameter base
    kFastIncDec,      // ++ or -- of a variable as a statement (count2: the step)
    kFastCompare,     // a branch on variable op variable-or-literal, op a comparison
    kFastPush,        // a slot's cell pushed on the variable stack (the documented push)
};

// Operand mode of a value left on the variable stack before the fused instruction, which the
// expression takes off the stack (a call's result), counted from the top at its start.
inline constexpr uint8_t kModeConsumed = 4;

// An operand or operator of an expression, in postfix order. A binary operator whose right
// operand is a variable or a literal carries that operand itself.
enum FastNodeKind : uint8_t {
    kNodeLoad,         // the value in slot `mode` + offset
    kNodeConst,        // a literal number or bool
    kNodeBinary,       // system function op (0..11) on the two topmost values
    kNodeBinaryLoad,   // op on the topmost value and a slot's value
    kNodeBinaryConst,  // op on the topmost value and a literal
    kNodeUnary,        // not (14) or negation (49) on the topmost value
};

// The operator number an indexing carries (an element of an array by an int, read only).
inline constexpr int16_t kNodeOpIndex = 100;

// Which stack slot an operand names: the operand addressing modes of the code list, with
// variable-stack-top offsets taken from the top at the start of the fused instruction.
struct FastNode {
    FastNodeKind kind;
    uint8_t mode;  // ScriptOperandMode
    int16_t op;
    int32_t offset;
    int32_t type;  // of a literal
    Tdata::Value value;
};

inline constexpr int32_t kFastMaxDepth = 16;

struct FastInstruction {
    FastKind kind = kFastPlain;
    int32_t pc = 0;         // first instruction covered (the statement marker, when one is folded in)
    int32_t body = 0;       // first instruction after the folded marker
    int32_t marker = -1;    // folded statement marker, -1 when none
    int32_t covered = 1;    // instructions of the code list this stands for
    int32_t position = -1;  // source line index of the covered instructions
    int32_t next = -1;      // fast index after success
    int32_t alt = -1;       // fast index of the other branch
    int32_t nodeBegin = 0, nodeEnd = 0;
    int32_t root = -1;      // the storing function (35..40, 44..47) of an expression statement
    int32_t count = 0;      // kind-specific: parameters, slots dropped, ...
    int32_t consumed = 0;   // slots below the start that an expression takes off the stack
    int32_t count2 = 0;
    int32_t target = -1;    // function entry of a call
    Tdata::Value value{};   // fill value of a pushed slot
    int32_t valueType = kTypeVoid;
    std::vector<int32_t> paramTypes;  // of a call: the scalar type of each parameter
};

struct FastForm {
    std::vector<FastInstruction> code;
    std::vector<FastNode> nodes;
    std::vector<int32_t> at;  // per code-list position: its fast index, -1 inside a fused range
};

// Builds the fast form of a program (any code list, also one read back from its compiled form).
FastForm BuildFastForm(const ScriptProgram& program);

}  // namespace kelo
