// The instruction loop of the stack machine and the run driver.
#include <climits>
#include <cstdint>
#include <cmath>
#include <cstdio>

#include "companion/gbk.h"
#include "companion/ui.h"
#include "platform/break_poll.h"
#include "script/vm/fast_form.h"
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



// Wrapping 32-bit arithmetic, as the general operators do.
int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }

bool IsNumber(int32_t t) { return t == kTypeInt || t == kTypeDouble; }

// a op b for numbers (the operators 0 to 11 and the compound forms' arithmetic); false for
// anything the general path must decide (bit operators, division by zero, other types).
[[gnu::always_inline]] inline bool NumberOp(int32_t op, int32_t xt, Tdata::Value xv, int32_t yt, Tdata::Value yv,
                                            int32_t& type, Tdata::Value& r) {
    r.d = 0;
    if (xt == kTypeInt && yt == kTypeInt) {
        const int64_t p = xv.i, q = yv.i;
        type = op <= 5 ? kTypeBool : kTypeInt;
        switch (op) {
            case 0: r.b = p == q; return true;
            case 1: r.b = p != q; return true;
            case 2: r.b = p < q; return true;
            case 3: r.b = p <= q; return true;
            case 4: r.b = p > q; return true;
            case 5: r.b = p >= q; return true;
            case 6: r.i = Wrap(p + q); return true;
            case 7: r.i = Wrap(p - q); return true;
            case 9: r.i = Wrap(p * q); return true;
            // 32-bit division is much cheaper than 64-bit; -1 is the one divisor that can overflow.
            case 10:
                if (q == 0) return false;
                r.i = q == -1 ? Wrap(-p) : xv.i / yv.i;
                return true;
            case 11:
                if (q == 0) return false;
                r.i = q == -1 ? 0 : xv.i % yv.i;
                return true;
            default: return false;
        }
    }
    if (!IsNumber(xt) || !IsNumber(yt)) return false;
    const double p = xt == kTypeInt ? xv.i : xv.d, q = yt == kTypeInt ? yv.i : yv.d;
    type = op <= 5 ? kTypeBool : kTypeDouble;
    // The comparisons follow the value order, in which unordered doubles compare equal.
    const int c = p < q ? -1 : (q < p ? 1 : 0);
    switch (op) {
        case 0: r.b = c == 0; return true;
        case 1: r.b = c != 0; return true;
        case 2: r.b = c < 0; return true;
        case 3: r.b = c <= 0; return true;
        case 4: r.b = c > 0; return true;
        case 5: r.b = c >= 0; return true;
        case 6: r.d = p + q; return true;
        case 7: r.d = p - q; return true;
        case 9: r.d = p * q; return true;
        case 10: r.d = p / q; return true;
        case 11: r.d = std::fmod(p, q); return true;
        default: return false;
    }
}
[[gnu::always_inline]] inline bool NumberOp(int32_t op, const Tdata& x, const Tdata& y, int32_t& type, Tdata::Value& r) {
    return NumberOp(op, x.dataType, x.value, y.dataType, y.value, type, r);
}

// Stores a scalar into a number or bool variable with the assignment's conversions.
[[gnu::always_inline]] inline bool StoreScalar(Tdata& dst, int32_t type, Tdata::Value v) {
    if (dst.dataType == type) {
        dst.value = v;
        return true;
    }
    if (dst.dataType == kTypeDouble && type == kTypeInt) {
        dst.value.d = v.i;
        return true;
    }
    if (dst.dataType == kTypeInt && type == kTypeDouble) {
        dst.value.i = ScriptDoubleToInt(v.d);
        return true;
    }
    return false;
}

constexpr int32_t kOpToInt = 69, kOpToDouble = 70;
constexpr int32_t kOpAddEqual = 36, kOpModEqual = 40, kOpEqual = 35, kOpPreInc = 44,
                  kOpPostDec = 47, kOpNot = 14, kOpNegative = 49;

// Operators on numbers done in place in the instruction loop; false leaves the call to the
// general path (which also raises every error).
[[gnu::always_inline]] inline bool FastCall(ScriptEngine& e, int32_t number, int32_t argc) {
    constexpr uint8_t kTemp = ScriptEngine::kCellTemp, kConst = ScriptEngine::kCellConst;
    if ((argc != 1 && argc != 2) || e.varTop < argc) return false;
    const int32_t sa = e.varStack[static_cast<size_t>(e.varTop - argc)];
    const int32_t sb = e.varStack[static_cast<size_t>(e.varTop - 1)];
    if (!e.validCell(sa) || !e.validCell(sb)) return false;
    const int32_t a = e.resolve(sa), b = e.resolve(sb);
    if (!e.validCell(a) || !e.validCell(b)) return false;
    Tdata& x = e.cells[a];
    const Tdata& y = e.cells[b];
    uint8_t* flags = e.cellFlags.data();
    int32_t type = kTypeVoid;
    Tdata::Value r;
    r.d = 0;
    bool fresh = false;  // the result needs a cell of its own (the operand stays as it was)
    if (argc == 2) {
        if (number <= 11) {
            if (!NumberOp(number, x, y, type, r)) return false;
        } else if (number == kOpEqual || (number >= kOpAddEqual && number <= kOpModEqual)) {
            if ((flags[a] & kConst) != 0) return false;
            if (x.dataType != kTypeInt && x.dataType != kTypeDouble && x.dataType != kTypeBool) return false;
            if (number == kOpEqual) {
                if (y.dataType != kTypeInt && y.dataType != kTypeDouble && y.dataType != kTypeBool) return false;
                if (!StoreScalar(x, y.dataType, y.value)) return false;
            } else {
                // 36 to 40 pair with the operators 6, 7, 9, 10, 11.
                static constexpr int32_t kArith[] = {6, 7, 9, 10, 11};
                int32_t t = kTypeVoid;
                Tdata::Value v;
                if (!NumberOp(kArith[number - kOpAddEqual], x, y, t, v) || !StoreScalar(x, t, v)) return false;
            }
            type = x.dataType;
            r = x.value;
        } else {
            return false;
        }
    } else if (number >= kOpPreInc && number <= kOpPostDec) {
        if ((flags[a] & kConst) != 0) return false;
        const int delta = (number == kOpPreInc || number == kOpPreInc + 2) ? 1 : -1;
        const bool post = number >= kOpPreInc + 2;
        type = x.dataType;
        if (type == kTypeInt) {
            const int32_t old = x.value.i;
            x.value.i = Wrap(static_cast<int64_t>(old) + delta);
            r.i = post ? old : x.value.i;
        } else if (type == kTypeDouble) {
            const double old = x.value.d;
            x.value.d += delta;
            r.d = post ? old : x.value.d;
        } else {
            return false;
        }
        fresh = true;
    } else if (number == kOpNot) {
        type = kTypeBool;
        if (x.dataType == kTypeBool) r.b = !x.value.b;
        else if (x.dataType == kTypeInt) r.b = x.value.i == 0;
        else if (x.dataType == kTypeDouble) r.b = x.value.d == 0.0;
        else return false;
    } else if (number == kOpNegative) {
        type = x.dataType;
        if (type == kTypeInt) r.i = Wrap(-static_cast<int64_t>(x.value.i));
        else if (type == kTypeDouble) r.d = -x.value.d;
        else return false;
    } else {
        return false;
    }
    // The result takes the place of a temporary operand where there is one; the other
    // temporary operand, if any, is free from now on.
    int32_t res;
    const bool tempB = argc == 2 && (flags[sb] & kTemp) != 0;
    const bool tempA = !fresh && (flags[sa] & kTemp) != 0;
    if (tempB) {
        res = sb;
        if (tempA) e.releaseTemp(sa);
    } else if (tempA) {
        res = sa;
    } else {
        res = e.allocCell();
        e.cellFlags[static_cast<size_t>(res)] = kTemp;
    }
    Tdata& out = e.cells[res];
    if (Tdata::OwnsPayload(out.dataType)) out.changeDataType(kTypeVoid);
    out.dataType = type;
    out.value = r;
    e.varTop -= argc;
    e.varStack[static_cast<size_t>(e.varTop++)] = res;
    return true;
}


// ---- the fast form ----

struct FastValue {
    int32_t type;
    Tdata::Value v;
};

bool IsScalarType(int32_t t) { return t == kTypeBool || t == kTypeInt || t == kTypeDouble; }

// The cell an operand names (through its slot and references), or -1 when the documented loop
// must decide. top0 is the variable-stack top at the start of the fused instruction. The push
// the operand stands for makes a temporary an ordinary cell, so this does too.
[[gnu::always_inline]] inline int32_t SlotCell(ScriptEngine& e, int32_t mode, int32_t offset, int32_t top0) {
    int64_t i;
    const int32_t* stack;
    int32_t limit;
    if (mode == kModeVarTop || mode == kModeConsumed) {
        i = static_cast<int64_t>(top0) + offset;
        stack = e.varStack.data();
        limit = e.varTop;
    } else if (mode == kModeArgBase) {
        i = static_cast<int64_t>(e.argBase) + offset;
        stack = e.argStack.data();
        limit = e.argTop;
    } else if (mode == kModeVarBase) {
        i = static_cast<int64_t>(e.varBase) + offset;
        stack = e.varStack.data();
        limit = e.varTop;
    } else {
        i = static_cast<int64_t>(e.argTop) + offset;
        stack = e.argStack.data();
        limit = e.argTop;
    }
    if (i < 0 || i >= limit) return -1;
    const int32_t c = stack[i];
    if (!e.validCell(c)) return -1;
    uint8_t& flag = e.cellFlags[static_cast<size_t>(c)];
    if ((flag & ScriptEngine::kCellTemp) != 0 && mode != kModeConsumed) flag &= static_cast<uint8_t>(~ScriptEngine::kCellTemp);
    if (e.cells[c].dataType != kTypeReference) return c;
    const int32_t r = e.resolve(c);
    return e.validCell(r) ? r : -1;
}

struct FastFrame {
    int32_t top0;
};
[[gnu::always_inline]] inline int32_t NodeCell(ScriptEngine& e, const FastFrame& f, const FastNode& n) {
    return SlotCell(e, n.mode, n.offset, f.top0);
}

// An operand an expression can work on: a number or bool, or an array to be indexed.
bool IsOperandType(int32_t t) { return IsScalarType(t) || t == kTypeArray; }

// The value an operand holds; false for anything an expression cannot work on.
[[gnu::always_inline]] inline bool NodeValue(ScriptEngine& e, const FastFrame& f, const FastNode& n, FastValue& out) {
    const int32_t c = NodeCell(e, f, n);
    if (c < 0) return false;
    const Tdata& v = e.cells[c];
    if (!IsOperandType(v.dataType)) return false;
    out.type = v.dataType;
    out.v = v.value;
    return true;
}

// The value of the postfix nodes [n, end): false when an operand is no number or bool, or an
// operator must be left to the documented loop (which then raises its error).
[[gnu::always_inline]] inline bool Eval(ScriptEngine& e, const FastFrame& f, const FastNode* n, const FastNode* end,
                                        FastValue& out) {
    FastValue st[kFastMaxDepth];
    int sp = -1;
    for (; n != end; ++n) {
        FastValue y;
        switch (n->kind) {
            case kNodeLoad:
                if (!NodeValue(e, f, *n, st[++sp])) return false;
                continue;
            case kNodeConst:
                st[++sp] = {n->type, n->value};
                continue;
            case kNodeBinary:
                y = st[sp--];
                break;
            case kNodeBinaryLoad:
                if (!NodeValue(e, f, *n, y)) return false;
                break;
            case kNodeBinaryConst:
                y = {n->type, n->value};
                break;
            default: {
                FastValue& x = st[sp];
                Tdata::Value r;
                r.d = 0;
                if (n->op == kOpNot) {
                    if (x.type == kTypeBool) r.b = !x.v.b;
                    else if (x.type == kTypeInt) r.b = x.v.i == 0;
                    else if (x.type == kTypeDouble) r.b = x.v.d == 0.0;
                    else return false;
                    x.type = kTypeBool;
                } else if (n->op == kOpToInt || n->op == kOpToDouble) {
                    // The conversions of an assignment to an int or a double variable.
                    if (!IsScalarType(x.type)) return false;
                    const double d = x.type == kTypeBool ? (x.v.b ? 1.0 : 0.0) : x.type == kTypeInt ? x.v.i : x.v.d;
                    if (n->op == kOpToDouble) r.d = d;
                    else r.i = x.type == kTypeInt ? x.v.i : ScriptDoubleToInt(d);
                    x.type = n->op == kOpToDouble ? kTypeDouble : kTypeInt;
                } else if (x.type == kTypeInt) {
                    r.i = Wrap(-static_cast<int64_t>(x.v.i));
                } else if (x.type == kTypeDouble) {
                    r.d = -x.v.d;
                } else {
                    return false;
                }
                x.v = r;
                continue;
            }
        }
        FastValue& x = st[sp];
        if (n->op == kNodeOpIndex) {
            // The element read in place of the reference to it the documented indexing makes.
            if (x.type != kTypeArray || y.type != kTypeInt) return false;
            const ScriptIndexList& l = *x.v.a;
            if (y.v.i < 0 || static_cast<size_t>(y.v.i) >= l.size()) return false;
            const int32_t c = e.resolve(l[static_cast<size_t>(y.v.i)]);
            if (!e.validCell(c) || !IsOperandType(e.cells[c].dataType)) return false;
            x.type = e.cells[c].dataType;
            x.v = e.cells[c].value;
            continue;
        }
        // Into locals first: writing the parts of x.v in place makes its next read wait for them.
        int32_t t;
        Tdata::Value r;
        if (!NumberOp(n->op, x.type, x.v, y.type, y.v, t, r)) return false;
        x.type = t;
        x.v = r;
    }
    out = st[0];
    return IsScalarType(out.type);
}

// A number stored into a variable: = += -= *= /= %= or ++ --; false leaves it to the documented
// loop, before anything was written.
[[gnu::always_inline]] inline bool FastStore(ScriptEngine& e, const FastInstruction& in, const FastNode* nodes) {
    const int32_t top0 = e.varTop;
    if (top0 > kScriptVarStackSlots - in.count) return false;
    const FastNode* n = nodes + in.nodeBegin;
    const FastFrame f{top0};
    const int32_t a = NodeCell(e, f, n[0]);
    if (a < 0 || (e.cellFlags[static_cast<size_t>(a)] & ScriptEngine::kCellConst) != 0) return false;
    Tdata& x = e.cells[a];
    if (!IsScalarType(x.dataType)) return false;
    if (in.root >= kOpPreInc) {
        const int delta = (in.root == kOpPreInc || in.root == kOpPreInc + 2) ? 1 : -1;
        if (x.dataType == kTypeInt) x.value.i = Wrap(static_cast<int64_t>(x.value.i) + delta);
        else if (x.dataType == kTypeDouble) x.value.d += delta;
        else return false;
        return true;
    }
    FastValue y;
    if (!Eval(e, f, n + 1, nodes + in.nodeEnd, y)) return false;
    if (in.root == kOpEqual) return StoreScalar(x, y.type, y.v);
    static constexpr int32_t kArith[] = {6, 7, 9, 10, 11};
    int32_t t;
    Tdata::Value v;
    return NumberOp(kArith[in.root - kOpAddEqual], x.dataType, x.value, y.type, y.v, t, v) && StoreScalar(x, t, v);
}

// The slot an operand names (ScriptEngine::slot), here where the instruction loop can inline it.
[[gnu::always_inline]] inline int32_t& Slot(ScriptEngine& e, int32_t mode, int32_t offset) {
    if (mode == kModeVarTop || mode == kModeVarBase) {
        const int64_t i = static_cast<int64_t>(mode == kModeVarTop ? e.varTop : e.varBase) + offset;
        if (i < 0 || i >= e.varTop) e.raiseHere(10102);
        return e.varStack[static_cast<size_t>(i)];
    }
    if (mode != kModeArgBase && mode != kModeArgTop) e.raiseHere(10001);
    const int64_t i = static_cast<int64_t>(mode == kModeArgBase ? e.argBase : e.argTop) + offset;
    if (i < 0 || i >= e.argTop) e.raiseHere(10101);
    return e.argStack[static_cast<size_t>(i)];
}

}  // namespace

int32_t ScriptEngine::constantCell(int32_t pc, const Tdata& value) {
    const int32_t c = allocCell();
    cells[c].copyFrom(value);
    cellFlags[static_cast<size_t>(c)] = kCellConst;
    constCells[static_cast<size_t>(pc)] = c;
    constList.push_back(c);
    return c;
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

// One instruction of the code list with the loop's own checks (code position, collection, source
// position); the next position, or -1 when the run ends here.
[[gnu::always_inline]] inline int32_t ScriptEngine::stepInline(int32_t pc) {
    const std::vector<ScriptInstruction>& code = program->code;
    const int32_t size = static_cast<int32_t>(code.size());
    if (static_cast<uint32_t>(pc) >= static_cast<uint32_t>(size)) raiseHere(10000);
    if (freeCount < collectBelow) {
        collect();
        if (freeCount < capacity / 2 && !grow()) raiseHere(10100);
    }
    const ScriptInstruction& in = code[static_cast<size_t>(pc)];
    curPos = in.position;
    switch (in.op) {
        case kOpReturn:
            if (returnStack.empty()) return -1;
            {
                const int32_t back = returnStack.back();
                returnStack.pop_back();
                return back + 2;
            }
        case kOpCall:
            returnStack.push_back(pc);
            break;
        case kOpDrop:
            if (varTop <= 0) raiseHere(10102);
            releaseTemp(varStack[static_cast<size_t>(--varTop)]);
            break;
        case kOpBind: {
            const int32_t a = resolve(Slot(*this, in.aMode, in.aOffset));
            const int32_t b = Slot(*this, in.bMode, in.bOffset);
            const int32_t misfit = in.count == kBindInitialiser ? 10202 : 10200;
            if (!validCell(a) || !validCell(b)) raiseHere(misfit);
            Tdata& to = cells[b];
            if (to.dataType == cells[a].dataType && to.dataType >= kTypeBool && to.dataType <= kTypeDouble) {
                to.value = cells[a].value;  // a number into a parameter or variable of its type
            } else if (to.dataType == kTypeReference) {
                // The parameter aliases the argument's cell from now on: it is no longer a
                // temporary, and a literal's shared cell must not be written through it.
                const int32_t target = unshared(a);
                cellFlags[static_cast<size_t>(target)] &= static_cast<uint8_t>(~kCellTemp);
                cells[b].value.ref = target;
            } else if (!assign(cells[b], cells[a])) {
                raiseHere(misfit);
            }
            break;
        }
        case kOpJump:
            return in.target;
        case kOpJumpIfTrue: {
            const int32_t a = resolve(Slot(*this, in.aMode, in.aOffset));
            if (validCell(a) && cells[a].dataType == kTypeBool) {
                if (cells[a].value.b) {
                    return in.target;
                }
                break;
            }
            Tdata cond;
            cond.setDataType(kTypeBool);
            if (!validCell(a) || !assign(cond, cells[a])) raiseHere(10201);
            if (cond.value.b) {
                return in.target;
            }
            break;
        }
        case kOpDeclare: {
            if (in.count == kDeclareConstant) {
                const int32_t k = constCells[static_cast<size_t>(pc)];
                pushVar(k >= 0 ? k : constantCell(pc, in.value));
                break;
            }
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
        case kOpArgBase: {
            const int64_t b = static_cast<int64_t>(argBase) + in.count;
            if (b < 0 || b > kScriptArgStackSlots) raiseHere(10101);
            argBase = static_cast<int32_t>(b);
            break;
        }
        case kOpVarTop: {
            const int64_t t = static_cast<int64_t>(varTop) + in.count;
            if (t < 0 || t > kScriptVarStackSlots) raiseHere(10102);
            for (int64_t k = varTop; k < t; ++k) varStack[static_cast<size_t>(k)] = -1;
            for (int64_t k = t; k < varTop; ++k) releaseTemp(varStack[static_cast<size_t>(k)]);
            varTop = static_cast<int32_t>(t);
            break;
        }
        case kOpMethod: {
            if (in.count2 < 1 || in.count2 > varTop) raiseHere(10303);
            const int32_t obj = resolve(varStack[static_cast<size_t>(varTop - in.count2)]);
            const int32_t type = validCell(obj) ? cells[obj].dataType : kTypeVoid;
            // The type met last time at this call, and the function it gave.
            uint64_t& cached = methodCache[static_cast<size_t>(pc)];
            const uint64_t key = static_cast<uint64_t>(static_cast<uint32_t>(type)) << 32;
            int32_t fn;
            if (cached != UINT64_MAX && (cached & 0xFFFFFFFF00000000u) == key) {
                fn = static_cast<int32_t>(static_cast<uint32_t>(cached));
            } else {
                fn = in.count < 0 ? -1 : FindScriptMethod(in.count, type);
                cached = key | static_cast<uint32_t>(fn);
            }
            if (fn >= 0) {
                if (!callSystem(fn, in.count2)) raiseHere(10300);
                if (stopFlag) return -1;
                break;
            }
            auto host = hostMethods.empty() ? hostMethods.end()
                                            : hostMethods.find(std::to_string(type) + ":" + in.name);
            if (host == hostMethods.end()) raiseHere(10301);
            if (!callHost(host->second, in.count2)) raiseHere(10300);
            if (stopFlag) return -1;
            break;
        }
        case kOpIndex: {
            if (varTop < 2) raiseHere(10102);
            const int32_t obj = resolve(varStack[static_cast<size_t>(varTop - 2)]);
            const int32_t type = validCell(obj) ? cells[obj].dataType : kTypeVoid;
            const int32_t fn = type == kTypeArray ? 176 : type == kTypeMap ? 177 : type == kTypeString ? 178 : -1;
            if (fn < 0) raiseHere(10302);
            if (!callSystem(fn, 2)) raiseHere(10300);
            if (stopFlag) return -1;
            break;
        }
        case kOpPush: {
            // A second slot naming a temporary makes it an ordinary cell.
            const int32_t c = Slot(*this, in.aMode, in.aOffset);
            if (static_cast<uint32_t>(c) < static_cast<uint32_t>(capacity))
                cellFlags[static_cast<size_t>(c)] &= static_cast<uint8_t>(~kCellTemp);
            pushVar(c);
            break;
        }
        case kOpCallSystem:
            if (in.count <= kLastFastFunction && FastCall(*this, in.count, in.count2)) break;
            if (in.count >= kScriptHostFunctionBase) {
                if (!callHost(in.count - kScriptHostFunctionBase, in.count2)) raiseHere(10300);
                if (stopFlag) return -1;
                break;
            }
            {
                struct Dropped {
                    bool& flag;
                    ~Dropped() { flag = false; }
                } dropped{resultDropped};
                resultDropped = pc + 1 < size && code[static_cast<size_t>(pc) + 1].op == kOpDrop;
                if (!callSystem(in.count, in.count2)) raiseHere(10300);
            }
            if (stopFlag) return -1;
            break;
        case kOpFill: {
            int32_t& s = Slot(*this, in.aMode, in.aOffset);
            const int32_t c = allocCell();
            s = c;
            if (in.value.dataType >= kTypeBool && in.value.dataType <= kTypeDouble) {
                cells[c].dataType = in.value.dataType;
                cells[c].value = in.value.value;
            } else {
                FillFresh(*this, c, in.value);
            }
            // On the variable stack this is a call's return slot, named by that slot alone.
            if (in.aMode == kModeVarTop) cellFlags[static_cast<size_t>(c)] = kCellTemp;
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
                    const int32_t target = validCell(a) ? unshared(a) : a;
                    if (validCell(target)) cellFlags[static_cast<size_t>(target)] &= static_cast<uint8_t>(~kCellTemp);
                    cells[c].changeDataType(kTypeReference);
                    cells[c].value.ref = target;
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
            const int64_t base = static_cast<int64_t>(argBase) + in.count2;
            if (base < 0 || base > kScriptArgStackSlots) raiseHere(10101);
            argBase = static_cast<int32_t>(base);
            returnStack.push_back(pc);
            return f.entry;
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
                if (stopFlag) return -1;
            }
            break;
        case kOpNop:
            break;
        default:
            raiseHere(10001);
    }
    return pc + 1;
}

int32_t ScriptEngine::step(int32_t pc) { return stepInline(pc); }

void ScriptEngine::execute(int32_t start) {
    const std::vector<ScriptInstruction>& code = program->code;
    if (constCells.size() != code.size()) {
        constCells.assign(code.size(), -1);
        constList.clear();
        methodCache.assign(code.size(), UINT64_MAX);
    }
    // A bounded run counts every documented instruction exactly, so it keeps the documented loop.
    if (!plainForm && instructionLimit == 0) {
        executeFast(start);
        return;
    }
    // The count at which the next break poll (every 256 instructions) or the instruction bound
    // is due, so the loop tests one number per instruction.
    auto nextCheck = [this] {
        uint64_t n = (instructionCount | 255u) + 1;
        if (instructionLimit != 0 && instructionLimit < n) n = instructionLimit + 1;
        return n > instructionCount ? n : instructionCount + 1;
    };
    uint64_t check = nextCheck();
    int32_t pc = start;
    // The stop flag is set only by the break poll, the bound, the debugger and calls (exit, or a
    // host function), so it is tested right after those rather than before every instruction.
    if (stopFlag) return;
    for (;;) {
        if (++instructionCount >= check) {
            if (instructionCount > instructionLimit && instructionLimit != 0) stopFlag = true;
            if ((instructionCount & 255u) == 0 && UserWantsToStop()) stopFlag = true;
            check = nextCheck();
            if (stopFlag) return;
        }
        pc = stepInline(pc);
        if (pc < 0) return;
    }
}

void ScriptEngine::executeFast(int32_t start) {
    if (fastFormOf_ != program || !fastForm_) {
        fastForm_ = std::make_shared<const FastForm>(BuildFastForm(*program));
        fastFormOf_ = program;
    }
    const FastForm& form = *fastForm_;
    const FastInstruction* const fc = form.code.data();
    const FastNode* const nodes = form.nodes.data();
    const int32_t* const at = form.at.data();
    const int32_t last = static_cast<int32_t>(form.at.size()) - 1;  // the position past the code list
    // Runs instructions of the code list from pc until one starts a fast instruction; its index,
    // or -1 when the run ended.
    auto plainFrom = [&](int32_t pc) -> int32_t {
        while (pc > last || pc < 0 || at[pc] < 0) {
            ++instructionCount;
            pc = step(pc);
            if (pc < 0) return -1;
        }
        return at[pc];
    };
    auto fastAt = [&](int32_t pc) -> int32_t {
        return (pc >= 0 && pc <= last && at[pc] >= 0) ? at[pc] : plainFrom(pc);
    };
    // A fused instruction that left its range to the documented loop.
    auto fallBack = [&](const FastInstruction& in) -> int32_t {
        ++instructionCount;
        const int32_t pc = step(in.body);
        return pc < 0 ? -1 : fastAt(pc);
    };
    uint64_t check = (instructionCount | 255u) + 1;
    if (stopFlag) return;
    int32_t fi = fastAt(start);
    while (fi >= 0) {
        if (instructionCount >= check) {
            if (UserWantsToStop()) stopFlag = true;
            check = (instructionCount | 255u) + 1;
            if (stopFlag) return;
        }
        const FastInstruction& in = fc[fi];
        if (in.kind == kFastPlain) {
            ++instructionCount;
            const int32_t pc = stepInline(in.pc);
            if (pc < 0) return;
            fi = fastAt(pc);
            continue;
        }
        if (freeCount < collectBelow) {
            collect();
            if (freeCount < capacity / 2 && !grow()) raiseHere(10100);
        }
        if (in.marker >= 0 && debugging && step(in.marker) < 0) return;
        curPos = in.position;
        switch (in.kind) {
            case kFastExprStmt:
                if (!FastStore(*this, in, nodes)) {
                    fi = fallBack(in);
                    continue;
                }
                fi = in.next;
                break;
            case kFastExprPush: {
                FastValue y;
                if (varTop > kScriptVarStackSlots - in.count ||
                    !Eval(*this, FastFrame{varTop}, nodes + in.nodeBegin, nodes + in.nodeEnd, y)) {
                    fi = fallBack(in);
                    continue;
                }
                for (int32_t k = varTop - in.consumed; k < varTop; ++k) releaseTemp(varStack[static_cast<size_t>(k)]);
                varTop -= in.consumed;
                const int32_t c = allocCell();
                cells[c].dataType = y.type;
                cells[c].value = y.v;
                cellFlags[static_cast<size_t>(c)] = kCellTemp;
                varStack[static_cast<size_t>(varTop++)] = c;
                fi = in.next;
                break;
            }
            case kFastBranch: {
                FastValue y;
                if (varTop > kScriptVarStackSlots - in.count ||
                    !Eval(*this, FastFrame{varTop}, nodes + in.nodeBegin, nodes + in.nodeEnd, y)) {
                    fi = fallBack(in);
                    continue;
                }
                const bool truth = y.type == kTypeBool ? y.v.b : y.type == kTypeInt ? y.v.i != 0 : y.v.d != 0.0;
                fi = truth ? in.next : in.alt;
                break;
            }
            case kFastPush: {
                // A second slot naming a temporary makes it an ordinary cell.
                const int32_t c = Slot(*this, in.count, in.count2);
                if (static_cast<uint32_t>(c) < static_cast<uint32_t>(capacity))
                    cellFlags[static_cast<size_t>(c)] &= static_cast<uint8_t>(~kCellTemp);
                pushVar(c);
                fi = in.next;
                break;
            }
            case kFastIncDec: {
                const FastNode& n = nodes[in.nodeBegin];
                const int32_t a = varTop < kScriptVarStackSlots ? SlotCell(*this, n.mode, n.offset, varTop) : -1;
                if (a < 0 || (cellFlags[static_cast<size_t>(a)] & kCellConst) != 0) {
                    fi = fallBack(in);
                    continue;
                }
                Tdata& x = cells[a];
                if (x.dataType == kTypeInt) {
                    x.value.i = Wrap(static_cast<int64_t>(x.value.i) + in.count2);
                } else if (x.dataType == kTypeDouble) {
                    x.value.d += in.count2;
                } else {
                    fi = fallBack(in);
                    continue;
                }
                fi = in.next;
                break;
            }
            case kFastCompare: {
                const FastNode* n = nodes + in.nodeBegin;
                const int32_t a = varTop <= kScriptVarStackSlots - 2 ? SlotCell(*this, n[0].mode, n[0].offset, varTop) : -1;
                int32_t b = -1;
                if (a >= 0 && n[1].kind == kNodeBinaryLoad) b = SlotCell(*this, n[1].mode, n[1].offset, varTop);
                if (a < 0 || (n[1].kind == kNodeBinaryLoad && b < 0)) {
                    fi = fallBack(in);
                    continue;
                }
                const Tdata& x = cells[a];
                const int32_t yt = b >= 0 ? cells[b].dataType : n[1].type;
                const Tdata::Value yv = b >= 0 ? cells[b].value : n[1].value;
                bool truth;
                if (x.dataType == kTypeInt && yt == kTypeInt) {
                    const int32_t p = x.value.i, q = yv.i;
                    switch (n[1].op) {
                        case 0: truth = p == q; break;
                        case 1: truth = p != q; break;
                        case 2: truth = p < q; break;
                        case 3: truth = p <= q; break;
                        case 4: truth = p > q; break;
                        default: truth = p >= q; break;
                    }
                } else {
                    int32_t t;
                    Tdata::Value r;
                    if (!NumberOp(n[1].op, x.dataType, x.value, yt, yv, t, r)) {
                        fi = fallBack(in);
                        continue;
                    }
                    truth = r.b;
                }
                fi = truth ? in.next : in.alt;
                break;
            }
            case kFastPushFilled: {
                if (varTop >= kScriptVarStackSlots) raiseHere(10102);
                varStack[static_cast<size_t>(varTop++)] = -1;
                const int32_t c = allocCell();
                varStack[static_cast<size_t>(varTop - 1)] = c;
                cells[c].dataType = in.valueType;
                cells[c].value = in.value;
                cellFlags[static_cast<size_t>(c)] = kCellTemp;
                fi = in.next;
                break;
            }
            case kFastCall: {
                const int32_t np = in.count;
                const int64_t base = static_cast<int64_t>(argBase) + in.count2;
                bool fits = argTop <= kScriptArgStackSlots - np && varTop >= np && base >= 0 && base <= kScriptArgStackSlots;
                for (int32_t j = 0; fits && j < np; ++j) {
                    const int32_t a = resolve(varStack[static_cast<size_t>(varTop - np + j)]);
                    fits = validCell(a) && cells[a].dataType == in.paramTypes[static_cast<size_t>(j)];
                }
                if (!fits) {
                    fi = fallBack(in);
                    continue;
                }
                for (int32_t j = 0; j < np; ++j) {
                    const int32_t c = allocCell();
                    const Tdata& from = cells[resolve(varStack[static_cast<size_t>(varTop - np + j)])];
                    cells[c].dataType = from.dataType;
                    cells[c].value = from.value;
                    argStack[static_cast<size_t>(argTop + j)] = c;
                }
                argTop += np;
                for (int32_t k = varTop - np; k < varTop; ++k) releaseTemp(varStack[static_cast<size_t>(k)]);
                varTop -= np;
                callFrames.push_back({in.target, curPos, varTop, varBase, argTop, argBase});
                if (debugging) debugFramePcs.push_back(debugPc);
                argBase = static_cast<int32_t>(base);
                returnStack.push_back(in.root);
                instructionCount += static_cast<uint64_t>(in.covered);
                fi = fastAt(in.target);
                continue;
            }
            case kFastAfterCall: {
                if (!callFrames.empty()) callFrames.pop_back();
                if (debugging && !debugFramePcs.empty()) debugFramePcs.pop_back();
                const int64_t b = static_cast<int64_t>(argBase) + in.count;
                if (b < 0 || b > kScriptArgStackSlots) raiseHere(10101);
                argBase = static_cast<int32_t>(b);
                fi = in.next;
                break;
            }
            case kFastReturn: {
                bool fits = varTop >= in.count && argTop >= in.count2;
                int32_t from = -1, to = -1;
                if (fits && in.root > 0) {
                    fits = varTop >= in.root;
                    if (fits) {
                        from = resolve(varStack[static_cast<size_t>(varTop - 1)]);
                        to = varStack[static_cast<size_t>(varTop - in.root)];
                        fits = validCell(from) && validCell(to) && cells[to].dataType == cells[from].dataType &&
                               IsScalarType(cells[to].dataType);
                    }
                }
                if (!fits) {
                    fi = fallBack(in);
                    continue;
                }
                if (to >= 0) cells[to].value = cells[from].value;
                for (int32_t k = varTop - in.count; k < varTop; ++k) releaseTemp(varStack[static_cast<size_t>(k)]);
                varTop -= in.count;
                argTop -= in.count2;
                instructionCount += static_cast<uint64_t>(in.covered);
                if (returnStack.empty()) return;
                const int32_t back = returnStack.back();
                returnStack.pop_back();
                fi = fastAt(back + 2);
                continue;
            }
            default: {
                ++instructionCount;
                const int32_t pc = step(in.pc);
                if (pc < 0) return;
                fi = fastAt(pc);
                continue;
            }
        }
        instructionCount += static_cast<uint64_t>(in.covered);
    }
}

bool ScriptEngine::callHost(int32_t index, int32_t argc) {
    if (argc < 0 || argc > varTop) raiseHere(10303);
    const int32_t result = allocCell();
    ScriptHostCall call;
    call.args.reserve(static_cast<size_t>(argc));
    for (int32_t k = 0; k < argc; ++k) {
        const int32_t a = resolve(varStack[static_cast<size_t>(varTop - argc + k)]);
        if (!validCell(a)) raiseHere(10304);  // see callSystem
        call.args.push_back(unshared(a));
    }
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
        // The host must see that the run failed, not only the user: a run that ran out of
        // memory did not finish.
        output = text;
        return false;
    }
}

}  // namespace kelo
