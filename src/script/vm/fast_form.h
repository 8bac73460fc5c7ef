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
    kFastCall,        // [return slot,] argument values into new parameter cells, enters the function
    kFastReturn,      // [the result's value,] binds it, drops the frame's slots and returns
    kFastAfterCall,   // removes the call frame record and restores the parameter base
    kFastIncDec,      // ++ or -- of a variable as a statement (count2: the step)
    kFastCompare,     // a branch on variable op variable-or-literal, op a comparison
    kFastPush,        // a slot's cell pushed on the variable stack (the documented push)
};

// Where an operand's value comes from. The stacks are those of the code list's addressing
// modes; the fused instruction checks once, before it starts, that every slot its operands name
// lies inside its stack, so a node only has to look at the cell it finds there.
enum FastFetch : uint8_t {
    kFetchTop,       // variable stack, the top at the instruction's start + offset (a local)
    kFetchArg,       // argument stack, parameter base + offset (a parameter)
    kFetchGlobal,    // variable stack, frame base + offset (a global)
    kFetchConsumed,  // a value left below the start, which the instruction takes off the stack
    kFetchConst,     // the node's own literal number or bool
    kFetchStack,     // the expression's own topmost value (right operands only)
};

// An operand or operator of an expression, in postfix order. A binary operator whose right
// operand is a variable or a literal carries that operand itself. The code a node runs is its
// kind plus its fetch.
inline constexpr uint8_t kNodeLoad = 0;     // push the operand
inline constexpr uint8_t kNodeBinary = 8;   // system function op (0..11, or an indexing) on the topmost value and the operand
inline constexpr uint8_t kNodeUnary = 16;   // not (14), negation (49), toInt (69) or toDouble (70) of the topmost value

// The operator number an indexing carries (an element of an array by an int, read only).
inline constexpr int16_t kNodeOpIndex = 100;

// The typed form of an expression whose every value the builder can tell to be an int (the
// left operand of an indexing an array, a comparison's result a bool): each node checks only
// the type of what it loads, and the operators need no type dispatch. A node's typed code is
// kTypedFirst + 8 * group + fetch; a value of another type ends the typed form, and the
// instruction then evaluates its nodes as above.
enum FastTypedGroup : uint8_t {
    kGroupLoadInt,     // push the operand, an int
    kGroupLoadArray,   // push the operand, an array (to be indexed)
    kGroupEq, kGroupNe, kGroupLt, kGroupLe, kGroupGt, kGroupGe,  // comparisons, to a bool
    kGroupAdd, kGroupSub, kGroupMul, kGroupDiv, kGroupMod,
    kGroupIndexInt,    // an element that is an int
    kGroupIndexArray,  // an element that is an array (to be indexed again)
    kGroupNegate,
    kGroupKeep,        // toInt of an int
};
inline constexpr uint8_t kTypedNone = 0;  // the instruction has no typed form
inline constexpr uint8_t kTypedEnd = 1;   // follows the nodes of every instruction
inline constexpr uint8_t kTypedFirst = 2;
constexpr uint8_t TypedCode(int group, int fetch) { return static_cast<uint8_t>(kTypedFirst + 8 * group + fetch); }

struct FastNode {
    uint8_t code;   // kind + fetch
    uint8_t fetch;  // FastFetch
    uint8_t typed;  // typed code (see FastTypedGroup)
    int16_t op;
    int32_t offset;
    int32_t type;  // of a literal
    Tdata::Value value;
};

// The slots an instruction's operands name, relative to where their fetches count from: the
// instruction runs only when all of them lie inside their stacks. Offsets from a base are never
// negative; with no parameter (or global) among the operands the check asks only that the base
// not pass the top, which holds in every compiled program.
struct FastReach {
    int32_t topMin = 0;     // lowest variable-stack offset from the top (0: none)
    int32_t argMax = -1;    // highest parameter offset (-1: none)
    int32_t globalMax = -1; // highest global offset (-1: none)
    bool localsOnly = true;  // no parameter and no global among them
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
    FastReach reach;
    int32_t typed = kTypeVoid;  // type of the typed form's result (kTypeVoid: none)
    int32_t root = -1;      // the storing function (35..40, 44..47) of an expression statement
    int32_t count = 0;      // meaning depends on the kind: parameters, slots dropped, ...
    int32_t consumed = 0;   // slots below the start that an expression takes off the stack
    int32_t count2 = 0;
    int32_t target = -1;    // function entry of a call
    int32_t slots = 0;      // variable-stack slots the covered range pushes at most
    bool pushesSlot = false;  // a call that pushes its return slot (filled with value, valueType)
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
