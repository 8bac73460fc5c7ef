// The instruction loop of the stack machine and the run driver.
#include "companion/gbk.h"
#include "companion/ui.h"
#include "script/vm/script_engine.h"
#include "script/vm/system_functions.h"
#include "script/vm/value_ops.h"

namespace kelo {

namespace {

ScriptBreakPoll g_breakPoll = nullptr;
void* g_breakPollUser = nullptr;

bool UserWantsToStop() {
    return g_breakPoll != nullptr && g_breakPoll(g_breakPollUser) &&
           AfxMessageBox2(KELO_GBK("确要终止脚本运行吗？").c_str(), kMbYesNo) == kIdYes;
}

// The value a declaration or a parameter starts with. A point needs cells of its own, so its
// template in the instruction only names the type.
void FillFresh(ScriptEngine& e, int32_t cell, const Tdata& v) {
    if (v.dataType == kTypePoint) {
        Tdata p(Point3D{0, 0, 0});
        e.cells[cell].copyFrom(p);
    } else if (v.dataType != kTypeVoid) {
        e.cells[cell].copyFrom(v);
    }
}

}  // namespace

void SetScriptBreakPoll(ScriptBreakPoll poll, void* user) {
    g_breakPoll = poll;
    g_breakPollUser = user;
}

int32_t& ScriptEngine::slot(int32_t mode, int32_t offset) {
    int64_t i = 0;
    switch (mode) {
        case kModeVarTop: i = static_cast<int64_t>(varTop) + offset; break;
        case kModeVarBase: i = static_cast<int64_t>(varBase) + offset; break;
        case kModeArgBase: i = static_cast<int64_t>(argBase) + offset; break;
        case kModeArgTop: i = static_cast<int64_t>(argTop) + offset; break;
        default: raiseHere(10001);
    }
    if (mode == kModeVarTop || mode == kModeVarBase) {
        if (i < 0 || i >= varTop) raiseHere(10102);
        return varStack[static_cast<size_t>(i)];
    }
    if (i < 0 || i >= argTop) raiseHere(10101);
    return argStack[static_cast<size_t>(i)];
}

void ScriptEngine::execute(int32_t start) {
    const std::vector<ScriptInstruction>& code = program->code;
    const int32_t size = static_cast<int32_t>(code.size());
    int32_t pc = start;
    for (;;) {
        if (++instructionCount > instructionLimit && instructionLimit != 0) stopFlag = true;
        if ((instructionCount & 255u) == 0 && UserWantsToStop()) stopFlag = true;
        if (stopFlag) return;
        if (pc < 0 || pc >= size) raiseHere(10000);
        if (freeCount < capacity / 4) {
            collect();
            if (freeCount < capacity / 2 && !grow()) raiseHere(10100);
        }
        const ScriptInstruction& in = code[static_cast<size_t>(pc)];
        curPos = in.position;
        switch (in.op) {
            case kOpReturn:
                if (returnStack.empty()) return;
                pc = returnStack.back() + 2;
                returnStack.pop_back();
                continue;
            case kOpCall:
                returnStack.push_back(pc);
                break;
            case kOpDrop:
                if (varTop <= 0) raiseHere(10102);
                --varTop;
                break;
            case kOpBind: {
                const int32_t a = resolve(slot(in.aMode, in.aOffset));
                const int32_t b = slot(in.bMode, in.bOffset);
                if (!validCell(a) || !validCell(b)) raiseHere(10200);
                if (cells[b].dataType == kTypeReference) cells[b].value.ref = a;
                else if (!assign(cells[b], cells[a])) raiseHere(10200);
                break;
            }
            case kOpJump:
                pc = in.target;
                continue;
            case kOpJumpIfTrue: {
                const int32_t a = resolve(slot(in.aMode, in.aOffset));
                if (validCell(a) && cells[a].dataType == kTypeBool) {
                    if (cells[a].value.b) {
                        pc = in.target;
                        continue;
                    }
                    break;
                }
                Tdata cond;
                cond.setDataType(kTypeBool);
                if (!validCell(a) || !assign(cond, cells[a])) raiseHere(10201);
                if (cond.value.b) {
                    pc = in.target;
                    continue;
                }
                break;
            }
            case kOpDeclare: {
                const int32_t c = allocCell();
                pushVar(c);
                if (in.value.dataType >= kTypeBool && in.value.dataType <= kTypeDouble) cells[c].copyFrom(in.value);
                else if (in.value.dataType == kTypePoint) FillFresh(*this, c, in.value);
                else if (!assign(cells[c], in.value)) raiseHere(10202);
                break;
            }
            case kOpArgTop: {
                const int64_t t = static_cast<int64_t>(argTop) + in.count;
                if (t < 0 || t > kScriptArgStackSlots) raiseHere(10101);
                // New parameter slots name no cell until they are filled.
                for (int64_t k = argTop; k < t; ++k) argStack[static_cast<size_t>(k)] = -1;
                argTop = static_cast<int32_t>(t);
                break;
            }
            case kOpArgBase:
                argBase += in.count;
                break;
            case kOpVarTop: {
                const int64_t t = static_cast<int64_t>(varTop) + in.count;
                if (t < 0 || t > kScriptVarStackSlots) raiseHere(10102);
                for (int64_t k = varTop; k < t; ++k) varStack[static_cast<size_t>(k)] = -1;
                varTop = static_cast<int32_t>(t);
                break;
            }
            case kOpMethod: {
                if (in.count2 < 1 || in.count2 > varTop) raiseHere(10303);
                const int32_t obj = resolve(varStack[static_cast<size_t>(varTop - in.count2)]);
                const int32_t type = validCell(obj) ? cells[obj].dataType : kTypeVoid;
                const int32_t fn = in.count < 0 ? -1 : FindScriptMethod(in.count, type);
                if (fn < 0) raiseHere(10301);
                if (!callSystem(fn, in.count2)) raiseHere(10300);
                break;
            }
            case kOpIndex: {
                if (varTop < 2) raiseHere(10102);
                const int32_t obj = resolve(varStack[static_cast<size_t>(varTop - 2)]);
                const int32_t type = validCell(obj) ? cells[obj].dataType : kTypeVoid;
                const int32_t fn = type == kTypeArray ? 176 : type == kTypeMap ? 177 : type == kTypeString ? 178 : -1;
                if (fn < 0) raiseHere(10302);
                if (!callSystem(fn, 2)) raiseHere(10300);
                break;
            }
            case kOpPush:
                pushVar(slot(in.aMode, in.aOffset));
                break;
            case kOpCallSystem:
                if (in.count >= kScriptHostFunctionBase) raiseHere(10300);  // no host is attached yet
                if (!callSystem(in.count, in.count2)) raiseHere(10300);
                break;
            case kOpFill: {
                int32_t& s = slot(in.aMode, in.aOffset);
                const int32_t c = allocCell();
                s = c;
                FillFresh(*this, c, in.value);
                break;
            }
            case kOpMainArgs: {
                Tdata arr;
                arr.setDataType(kTypeArray);
                for (const std::string& a : scriptArgs) arr.value.a->push_back(allocCopy(Tdata(a)));
                const int32_t c = allocCell();
                cells[c].copyFrom(arr);
                pushVar(c);
                break;
            }
            case kOpCallByName: {
                // The name and arguments are the count topmost slots; the call is set up here as
                // the compiler sets up a direct one.
                const int32_t n = in.count;
                if (n < 1 || n > varTop) raiseHere(10102);
                const int32_t nameCell = resolve(varStack[static_cast<size_t>(varTop - n)]);
                if (!validCell(nameCell) || cells[nameCell].dataType != kTypeString) raiseHere(10311);
                auto it = program->functionIndex.find(*cells[nameCell].value.s);
                if (it == program->functionIndex.end() || program->functions[static_cast<size_t>(it->second)].entry < 0)
                    raiseHere(10312);
                const ScriptFunction& f = program->functions[static_cast<size_t>(it->second)];
                const int32_t np = static_cast<int32_t>(f.params.size());
                if (np != n - 1) raiseHere(10313);
                if (static_cast<int64_t>(argTop) + np > kScriptArgStackSlots) raiseHere(10101);
                for (int32_t k = 0; k < np; ++k) {
                    const ScriptParam& p = f.params[static_cast<size_t>(k)];
                    const int32_t c = allocCell();
                    argStack[static_cast<size_t>(argTop++)] = c;
                    const int32_t a = resolve(varStack[static_cast<size_t>(varTop - np + k)]);
                    if (p.byRef) {
                        cells[c].changeDataType(kTypeReference);
                        cells[c].value.ref = a;
                    } else {
                        Tdata init;
                        init.setDataType(p.type);
                        FillFresh(*this, c, init);
                        if (!validCell(a) || !assign(cells[c], cells[a])) raiseHere(10200);
                    }
                }
                varTop -= n;
                callFrames.push_back({f.entry, curPos, varTop, varBase, argTop, argBase});
                argBase += in.count2;
                returnStack.push_back(pc);
                pc = f.entry;
                continue;
            }
            case kOpFramePush:
                callFrames.push_back({in.target, curPos, varTop, varBase, argTop, argBase});
                break;
            case kOpFramePop:
                if (!callFrames.empty()) callFrames.pop_back();
                break;
            case kOpStatement:
            case kOpNop:
                break;
            default:
                raiseHere(10001);
        }
        ++pc;
    }
}

bool ScriptEngine::run(std::string& output) {
    CurrentScriptEngineScope scope(this);
    stopFlag = false;
    try {
        if (program == nullptr) return false;
        for (int32_t start : program->globalInits) {
            execute(start);
            if (stopFlag) return true;
        }
        execute(program->entry);
        return true;
    } catch (ScriptError& e) {
        output = e.text;
        return false;
    } catch (const std::bad_alloc&) {
        std::string text = "InternalError(Contact Staff...)";
        if (curPos >= 0 && static_cast<size_t>(curPos) < sourceLines.size())
            text += "     at line: " + std::to_string(sourceLines[static_cast<size_t>(curPos)].line);
        AfxMessageBox2(text.c_str());
        return false;
    }
}

}  // namespace kelo
