#include "script/host/program_verifier.h"

#include "script/vm/script_engine.h"
#include "script/vm/system_functions.h"

namespace kelo::detail {

namespace {

bool ValidMode(int32_t mode) { return mode >= kModeVarTop && mode <= kModeVarBase; }

// Operand offsets and stack adjustments never need to reach beyond the larger stack; refusing
// bigger ones keeps the loop's 64-bit sums far from any overflow.
bool ValidSpan(int32_t n) { return n >= -kScriptVarStackSlots && n <= kScriptVarStackSlots; }

bool ValidOperand(int32_t mode, int32_t offset) { return ValidMode(mode) && ValidSpan(offset); }

// Embedded values are templates: the compiler never embeds a reference other than the unbound
// one of a by-reference parameter, and a bound one would name an arbitrary cell.
bool ValidValue(const Tdata& v) { return v.dataType != kTypeReference || v.value.ref == -1; }

bool ValidInstruction(const ScriptInstruction& in, int32_t size, int32_t hostCount) {
    if (!ValidValue(in.value)) return false;
    switch (in.op) {
        case kOpReturn:
        case kOpCall:
        case kOpDrop:
        case kOpIndex:
        case kOpMainArgs:
        case kOpFramePop:
        case kOpStatement:
        case kOpNop:
            return true;
        case kOpBind:
            return ValidOperand(in.aMode, in.aOffset) && ValidOperand(in.bMode, in.bOffset);
        case kOpJump:
            return true;  // the target is checked with the other code positions
        case kOpJumpIfTrue:
        case kOpPush:
        case kOpFill:
            return ValidOperand(in.aMode, in.aOffset);
        case kOpDeclare:
            return in.count == 0 || in.count == kDeclareConstant;
        case kOpArgTop:
        case kOpArgBase:
        case kOpVarTop:
            return ValidSpan(in.count);
        case kOpMethod:
            return in.count >= -1 && in.count2 >= 1 && in.count2 <= kScriptVarStackSlots;
        case kOpCallSystem:
            if (in.count2 < 0 || in.count2 > kScriptVarStackSlots) return false;
            // -1 is a name the compiler did not know, which the loop reports as 10301.
            if (in.count >= -1 && in.count < kScriptSystemFunctionCount) return true;
            return in.count >= kScriptHostFunctionBase &&
                   static_cast<int64_t>(in.count) - kScriptHostFunctionBase < hostCount;
        case kOpCallByName:
            return in.count >= 1 && in.count <= kScriptVarStackSlots && ValidSpan(in.count2);
        case kOpFramePush:
            return in.target >= -1 && in.target < size;
        default:
            return false;
    }
}

}  // namespace

bool VerifyScriptProgram(const ScriptProgram& program, size_t lineCount, int32_t hostCount,
                         ScriptVerifyFault& fault) {
    const auto& code = program.code;
    if (code.empty() || code.size() > static_cast<size_t>(INT32_MAX)) {
        fault = {10000, -1};
        return false;
    }
    const int32_t size = static_cast<int32_t>(code.size());
    auto inCode = [size](int32_t at) { return at >= 0 && at < size; };
    auto refuse = [&fault](int32_t code, int32_t position) {
        fault = {code, position};
        return false;
    };
    if (!inCode(program.entry)) return refuse(10000, -1);
    for (int32_t at : program.globalInits)
        if (!inCode(at)) return refuse(10000, -1);
    for (const ScriptFunction& f : program.functions) {
        if (f.entry != -1 && !inCode(f.entry)) return refuse(10000, -1);
        for (const ScriptParam& p : f.params)
            if (p.type < kTypeVoid || p.type > kTypeReference) return refuse(10001, -1);
    }
    if (program.mainFunction >= static_cast<int32_t>(program.functions.size())) return refuse(10001, -1);
    for (const ScriptInstruction& in : code) {
        // A buffer without its line table carries positions nothing can check; with one, a
        // position outside it is as corrupt as any other bad field.
        if (in.position < -1 || (lineCount > 0 && in.position >= 0 && static_cast<size_t>(in.position) >= lineCount))
            return refuse(10001, -1);
        if (!ValidInstruction(in, size, hostCount)) return refuse(10001, in.position);
        if ((in.op == kOpJump || in.op == kOpJumpIfTrue) && !inCode(in.target)) return refuse(10000, in.position);
        // A call returns two instructions after itself.
        if (in.op == kOpCall && &in - code.data() + 2 >= size) return refuse(10000, in.position);
    }
    return true;
}

}  // namespace kelo::detail
