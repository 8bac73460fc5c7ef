// The instruction loop of the stack machine and the run driver.
#include <cstdio>

#include "companion/gbk.h"
#include "companion/ui.h"
#include "platform/break_poll.h"
#include "script/vm/script_engine.h"
#include "script/vm/system_functions.h"
#include "script/vm/value_ops.h"

namespace kelo {

namespace {

bool UserWantsToStop() {
    return PollScriptBreakRequest() &&
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
                const int32_t misfit = in.count == kBindInitialiser ? 10202 : 10200;
                if (!validCell(a) || !validCell(b)) raiseHere(misfit);
                if (cells[b].dataType == kTypeReference) cells[b].value.ref = a;
                else if (!assign(cells[b], cells[a])) raiseHere(misfit);
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
                if (fn >= 0) {
                    if (!callSystem(fn, in.count2)) raiseHere(10300);
                    break;
                }
                auto host = hostMethods.empty() ? hostMethods.end()
                                                : hostMethods.find(std::to_string(type) + ":" + in.name);
                if (host == hostMethods.end()) raiseHere(10301);
                if (!callHost(host->second, in.count2)) raiseHere(10300);
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
                if (in.count >= kScriptHostFunctionBase) {
                    if (!callHost(in.count - kScriptHostFunctionBase, in.count2)) raiseHere(10300);
                    break;
                }
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
                if (debugging) debugFramePcs.push_back(debugPc);
                argBase += in.count2;
                returnStack.push_back(pc);
                pc = f.entry;
                continue;
            }
            case kOpFramePush:
                callFrames.push_back({in.target, curPos, varTop, varBase, argTop, argBase});
                if (debugging) debugFramePcs.push_back(debugPc);
                break;
            case kOpFramePop:
                if (!callFrames.empty()) callFrames.pop_back();
                if (debugging && !debugFramePcs.empty()) debugFramePcs.pop_back();
                break;
            case kOpStatement:
                if (debugging) {
                    debugStatement(pc);
                    if (stopFlag) return;
                }
                break;
            case kOpNop:
                break;
            default:
                raiseHere(10001);
        }
        ++pc;
    }
}

bool ScriptEngine::callHost(int32_t index, int32_t argc) {
    if (argc < 0 || argc > varTop) raiseHere(10303);
    const int32_t result = allocCell();
    ScriptHostCall call;
    call.args.reserve(static_cast<size_t>(argc));
    for (int32_t k = 0; k < argc; ++k) call.args.push_back(resolve(varStack[static_cast<size_t>(varTop - argc + k)]));
    // The argument cells stay on the stack (as roots) while the host works: it may reserve cells.
    pushVar(result);
    call.cells = cells;
    call.text = &hostText;
    call.result = result;
    call.engine = this;
    // Restored however the host leaves (it may raise a script error through a store call).
    struct Swap {
        ScriptHostCall saved;
        explicit Swap(ScriptHostCall&& c) : saved(std::move(detail::CurrentHostCall())) {
            detail::CurrentHostCall() = std::move(c);
        }
        ~Swap() { detail::CurrentHostCall() = std::move(saved); }
    } swap(std::move(call));
    const intptr_t reply = WindowSendMeassage(hostWindow, 1295, index, result);
    // Drop the arguments below the result.
    const int32_t top = varStack[static_cast<size_t>(varTop - 1)];
    varTop -= argc + 1;
    varStack[static_cast<size_t>(varTop++)] = top;
    return reply != 0;
}

void ScriptEngine::debugStatement(int32_t pc) {
    debugPc = pc;
    debugStarted = true;
    const size_t depth = returnStack.size();
    bool stop = stepMode == kStepInto || (stepMode == kStepOver && depth <= lastStopDepth) ||
                (stepMode == kStepOut && depth < lastStopDepth);
    if (!stop && curPos >= 0 && static_cast<size_t>(curPos) < breakpoints.size() &&
        breakpoints[static_cast<size_t>(curPos)] != 0)
        stop = true;
    if (!stop) return;
    lastStopDepth = depth;
    viewFrame = -1;
    std::string file;
    int32_t line = 0;
    if (curPos >= 0 && static_cast<size_t>(curPos) < sourceLines.size()) {
        file = sourceLines[static_cast<size_t>(curPos)].file;
        line = sourceLines[static_cast<size_t>(curPos)].line;
    }
    char head[64];
    std::snprintf(head, sizeof head, "    linenumber = %d\n", line);
    debugReport = "Break at:   filename = " + file + head;
    stepMode = debugCallback != nullptr ? debugCallback(this) : kStepOver;
    if (stepMode == kStepStop) {
        returnStack.clear();
        callFrames.clear();
        debugFramePcs.clear();
        stopFlag = true;
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
