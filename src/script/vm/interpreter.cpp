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

// A scalar converted as the assignment converts it into a number or bool of type to; false for
// the conversions the general assignment must decide.
[[gnu::always_inline]] inline bool ConvertScalar(int32_t to, int32_t type, Tdata::Value v, Tdata::Value& out) {
    if (to == type) {
        out = v;
        return true;
    }
    if (to == kTypeDouble && type == kTypeInt) {
        out.d = v.i;
        return true;
    }
    if (to == kTypeInt && type == kTypeDouble) {
        out.d = 0;
        out.i = ScriptDoubleToInt(v.d);
        return true;
    }
    return false;
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

// Whether every slot the instruction's operands name lies inside its stack; top0 is the
// variable-stack top the instruction's fetches count from. The builder keeps offsets small, so
// the three differences cannot overflow and one sign test covers them.
[[gnu::always_inline]] inline bool Reaches(const ScriptEngine& e, const FastReach& r, int32_t top0) {
    if (top0 + r.topMin < 0) return false;
    if (r.localsOnly) [[likely]]
        return true;
    return ((e.argTop - 1 - e.argBase - r.argMax) | (e.varTop - 1 - e.varBase - r.globalMax)) >= 0;
}

// Appends to a call's bookkeeping lists with the growth path inlined too, so the common path
// stays in the caller instead of a call per append.
template <typename T>
[[gnu::flatten]] void Append(std::vector<T>& v, const T& x) {
    v.push_back(x);
}

// The value at the end of the reference chain from the cell a slot names, or null when there
// is none (a slot not filled yet, a reference that leads nowhere).
[[gnu::always_inline]] inline Tdata* Deref(const ScriptEngine& e, int32_t c) {
    if (static_cast<uint32_t>(c) >= static_cast<uint32_t>(e.capacity)) return nullptr;
    Tdata* v = e.cells + c;
    if (v->dataType != kTypeReference) [[likely]]
        return v;
    const int32_t r = e.resolve(c);
    return e.validCell(r) ? e.cells + r : nullptr;
}

// The slot an operand names (the instruction checked it with Reaches).
template <int F>
[[gnu::always_inline]] inline int32_t FetchSlot(const ScriptEngine& e, int32_t top0, const FastNode& n) {
    if constexpr (F == kFetchTop || F == kFetchConsumed) return e.varStack[static_cast<size_t>(top0 + n.offset)];
    else if constexpr (F == kFetchArg) return e.argStack[static_cast<size_t>(e.argBase + n.offset)];
    else return e.varStack[static_cast<size_t>(e.varBase + n.offset)];
}

// The cell an operand names, through references, or -1 when the documented loop must decide.
// (The push a load stands for would make a temporary an ordinary cell; nothing here comes to
// name a cell, so nothing is freed early by leaving it one.)
[[gnu::always_inline]] inline int32_t NodeCell(const ScriptEngine& e, int32_t top0, const FastNode& n) {
    int32_t c;
    switch (n.fetch) {
        case kFetchTop:
        case kFetchConsumed: c = FetchSlot<kFetchTop>(e, top0, n); break;
        case kFetchArg: c = FetchSlot<kFetchArg>(e, top0, n); break;
        case kFetchGlobal: c = FetchSlot<kFetchGlobal>(e, top0, n); break;
        default: return -1;
    }
    if (static_cast<uint32_t>(c) >= static_cast<uint32_t>(e.capacity)) return -1;
    if (e.cells[c].dataType != kTypeReference) [[likely]]
        return c;
    const int32_t r = e.resolve(c);
    return e.validCell(r) ? r : -1;
}

// The value an operand holds; false when it names no cell. Its type is checked by its user.
template <int F>
[[gnu::always_inline]] inline bool Fetch(const ScriptEngine& e, int32_t top0, const FastNode& n, int32_t& type,
                                         Tdata::Value& value) {
    if constexpr (F == kFetchConst) {
        type = n.type;
        value = n.value;
        return true;
    } else {
        const Tdata* v = Deref(e, FetchSlot<F>(e, top0, n));
        if (v == nullptr) return false;
        type = v->dataType;
        value = v->value;
        return true;
    }
}

// not, negation, toInt or toDouble of x in place; false for anything the documented loop must do.
bool UnaryOp(int32_t op, FastValue& x) {
    Tdata::Value r;
    r.d = 0;
    if (op == kOpNot) {
        if (x.type == kTypeBool) r.b = !x.v.b;
        else if (x.type == kTypeInt) r.b = x.v.i == 0;
        else if (x.type == kTypeDouble) r.b = x.v.d == 0.0;
        else return false;
        x.type = kTypeBool;
    } else if (op == kOpToInt || op == kOpToDouble) {
        // The conversions of an assignment to an int or a double variable.
        if (!IsScalarType(x.type)) return false;
        const double d = x.type == kTypeBool ? (x.v.b ? 1.0 : 0.0) : x.type == kTypeInt ? x.v.i : x.v.d;
        if (op == kOpToDouble) r.d = d;
        else r.i = x.type == kTypeInt ? x.v.i : ScriptDoubleToInt(d);
        x.type = op == kOpToDouble ? kTypeDouble : kTypeInt;
    } else if (x.type == kTypeInt) {
        r.i = Wrap(-static_cast<int64_t>(x.v.i));
    } else if (x.type == kTypeDouble) {
        r.d = -x.v.d;
    } else {
        return false;
    }
    x.v = r;
    return true;
}

// x op y for an operator other than the int ones: doubles, mixed numbers, an indexing.
bool OtherBinary(const ScriptEngine& e, int32_t op, FastValue& x, const FastValue& y) {
    if (op == kNodeOpIndex) {
        // The element read in place of the reference to it the documented indexing makes.
        if (x.type != kTypeArray || y.type != kTypeInt) return false;
        const ScriptIndexList& l = *x.v.a;
        if (y.v.i < 0 || static_cast<size_t>(y.v.i) >= l.size()) return false;
        const Tdata* v = Deref(e, l[static_cast<size_t>(y.v.i)]);
        if (v == nullptr) return false;
        x.type = v->dataType;
        x.v = v->value;
        return true;
    }
    int32_t t;
    Tdata::Value r;
    if (!NumberOp(op, x.type, x.v, y.type, y.v, t, r)) return false;
    x.type = t;
    x.v = r;
    return true;
}

// The values of the postfix nodes [n, end): the last one in (type, value), those below it in
// st[1..below]; false when an operand is no number or bool, or an operator must be left to the
// documented loop (which then raises its error). The topmost value stays in registers: going
// through memory for it made each node wait for the one before.
[[gnu::always_inline]] inline bool EvalStack(const ScriptEngine& e, int32_t top0, const FastNode* n, const FastNode* end,
                                             FastValue* st, int& below, int32_t& type, Tdata::Value& value) {
    int sp = -1;
    int32_t xt = kTypeVoid;
    Tdata::Value xv;
    xv.d = 0;
    for (; n != end; ++n) {
        int32_t yt;
        Tdata::Value yv;
        switch (n->code) {
            case kNodeLoad + kFetchTop:
            case kNodeLoad + kFetchConsumed:
                st[++sp] = {xt, xv};
                if (!Fetch<kFetchTop>(e, top0, *n, xt, xv)) return false;
                continue;
            case kNodeLoad + kFetchArg:
                st[++sp] = {xt, xv};
                if (!Fetch<kFetchArg>(e, top0, *n, xt, xv)) return false;
                continue;
            case kNodeLoad + kFetchGlobal:
                st[++sp] = {xt, xv};
                if (!Fetch<kFetchGlobal>(e, top0, *n, xt, xv)) return false;
                continue;
            case kNodeLoad + kFetchConst:
                st[++sp] = {xt, xv};
                xt = n->type;
                xv = n->value;
                continue;
            case kNodeBinary + kFetchTop:
            case kNodeBinary + kFetchConsumed:
                if (!Fetch<kFetchTop>(e, top0, *n, yt, yv)) return false;
                break;
            case kNodeBinary + kFetchArg:
                if (!Fetch<kFetchArg>(e, top0, *n, yt, yv)) return false;
                break;
            case kNodeBinary + kFetchGlobal:
                if (!Fetch<kFetchGlobal>(e, top0, *n, yt, yv)) return false;
                break;
            case kNodeBinary + kFetchConst:
                yt = n->type;
                yv = n->value;
                break;
            case kNodeBinary + kFetchStack:
                yt = xt;
                yv = xv;
                xt = st[sp].type;
                xv = st[sp].v;
                --sp;
                break;
            default: {
                FastValue x{xt, xv};
                if (!UnaryOp(n->op, x)) return false;
                xt = x.type;
                xv = x.v;
                continue;
            }
        }
        if (xt == kTypeInt && yt == kTypeInt) {
            // The common case, without the general operator's type dispatch.
            const int32_t p = xv.i, q = yv.i;
            xv.d = 0;
            switch (n->op) {
                case 0: xv.b = p == q; xt = kTypeBool; continue;
                case 1: xv.b = p != q; xt = kTypeBool; continue;
                case 2: xv.b = p < q; xt = kTypeBool; continue;
                case 3: xv.b = p <= q; xt = kTypeBool; continue;
                case 4: xv.b = p > q; xt = kTypeBool; continue;
                case 5: xv.b = p >= q; xt = kTypeBool; continue;
                case 6: xv.i = Wrap(static_cast<int64_t>(p) + q); continue;
                case 7: xv.i = Wrap(static_cast<int64_t>(p) - q); continue;
                case 9: xv.i = Wrap(static_cast<int64_t>(p) * q); continue;
                // 32-bit division is much cheaper than 64-bit; -1 is the one divisor that can overflow.
                case 10:
                    if (q == 0) return false;
                    xv.i = q == -1 ? Wrap(-static_cast<int64_t>(p)) : p / q;
                    continue;
                case 11:
                    if (q == 0) return false;
                    xv.i = q == -1 ? 0 : p % q;
                    continue;
                default: return false;
            }
        }
        FastValue x{xt, xv};
        if (!OtherBinary(e, n->op, x, FastValue{yt, yv})) return false;
        xt = x.type;
        xv = x.v;
    }
    below = sp;
    type = xt;
    value = xv;
    return true;
}

// The typed form keeps each value in 64 bits: an int as its 32 bits zero-extended (so 32-bit
// arithmetic needs no merging), an array as its element list's address.
using TypedRaw = uint64_t;
[[gnu::always_inline]] inline int32_t IntOf(TypedRaw v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }
[[gnu::always_inline]] inline TypedRaw RawInt(int32_t v) { return static_cast<uint32_t>(v); }

// An int a cell holds, or false (another type, a reference, no cell).
[[gnu::always_inline]] inline bool IntAt(const ScriptEngine& e, int32_t c, TypedRaw& out) {
    if (static_cast<uint32_t>(c) >= static_cast<uint32_t>(e.capacity)) return false;
    const Tdata& v = e.cells[c];
    if (v.dataType != kTypeInt) return false;
    out = RawInt(v.value.i);
    return true;
}
[[gnu::always_inline]] inline bool ArrayAt(const ScriptEngine& e, int32_t c, TypedRaw& out) {
    if (static_cast<uint32_t>(c) >= static_cast<uint32_t>(e.capacity)) return false;
    const Tdata& v = e.cells[c];
    if (v.dataType != kTypeArray) return false;
    out = reinterpret_cast<uintptr_t>(v.value.a);
    return true;
}
// The element of array x at index y, which must be an int (or an array when array is true).
[[gnu::always_inline]] inline bool ElementAt(const ScriptEngine& e, TypedRaw& x, int32_t y, bool array) {
    const ScriptIndexList& l = *reinterpret_cast<const ScriptIndexList*>(static_cast<uintptr_t>(x));
    if (static_cast<uint32_t>(y) >= l.size()) return false;
    const int32_t c = l[static_cast<size_t>(y)];
    return array ? ArrayAt(e, c, x) : IntAt(e, c, x);
}

// The typed form of the nodes from n to their end node (see FastTypedGroup): the last value in
// out, those below it in st[1..below]; false when a value is not of the type the builder expects
// or an operator must be left to the general evaluation (a division by zero).
[[gnu::always_inline]] inline bool EvalTyped(const ScriptEngine& e, int32_t top0, const FastNode* n, TypedRaw* st,
                                             int& below, TypedRaw& out) {
    int sp = -1;
    TypedRaw x = 0, y = 0;
    const int32_t* const vars = e.varStack.data();
    const int32_t* const params = e.argStack.data() + e.argBase;
    const int32_t* const globals = vars + e.varBase;
#define KELO_FETCH_Y_TOP if (!IntAt(e, vars[top0 + n->offset], y)) return false;
#define KELO_FETCH_Y_ARG if (!IntAt(e, params[n->offset], y)) return false;
#define KELO_FETCH_Y_GLOBAL if (!IntAt(e, globals[n->offset], y)) return false;
#define KELO_FETCH_Y_CONST y = RawInt(n->value.i);
#define KELO_FETCH_Y_STACK \
    y = x;                 \
    x = st[sp--];
#define KELO_TYPED_BINARY(group, body)                                      \
    case TypedCode(group, kFetchTop):                                       \
    case TypedCode(group, kFetchConsumed): KELO_FETCH_Y_TOP body continue;  \
    case TypedCode(group, kFetchArg): KELO_FETCH_Y_ARG body continue;       \
    case TypedCode(group, kFetchGlobal): KELO_FETCH_Y_GLOBAL body continue; \
    case TypedCode(group, kFetchConst): KELO_FETCH_Y_CONST body continue;   \
    case TypedCode(group, kFetchStack): KELO_FETCH_Y_STACK body continue;
#define KELO_TYPED_LOAD(group, at)                            \
    case TypedCode(group, kFetchTop):                         \
    case TypedCode(group, kFetchConsumed):                    \
        st[++sp] = x;                                         \
        if (!at(e, vars[top0 + n->offset], x)) return false;  \
        continue;                                             \
    case TypedCode(group, kFetchArg):                         \
        st[++sp] = x;                                         \
        if (!at(e, params[n->offset], x)) return false;       \
        continue;                                             \
    case TypedCode(group, kFetchGlobal):                      \
        st[++sp] = x;                                         \
        if (!at(e, globals[n->offset], x)) return false;      \
        continue;
    for (;; ++n) {
        switch (n->typed) {
            case kTypedEnd:
                below = sp;
                out = x;
                return true;
            KELO_TYPED_LOAD(kGroupLoadInt, IntAt)
            KELO_TYPED_LOAD(kGroupLoadArray, ArrayAt)
            case TypedCode(kGroupLoadInt, kFetchConst):
                st[++sp] = x;
                x = RawInt(n->value.i);
                continue;
            KELO_TYPED_BINARY(kGroupEq, x = IntOf(x) == IntOf(y);)
            KELO_TYPED_BINARY(kGroupNe, x = IntOf(x) != IntOf(y);)
            KELO_TYPED_BINARY(kGroupLt, x = IntOf(x) < IntOf(y);)
            KELO_TYPED_BINARY(kGroupLe, x = IntOf(x) <= IntOf(y);)
            KELO_TYPED_BINARY(kGroupGt, x = IntOf(x) > IntOf(y);)
            KELO_TYPED_BINARY(kGroupGe, x = IntOf(x) >= IntOf(y);)
            // Wrapping 32-bit arithmetic, as the general operators do.
            KELO_TYPED_BINARY(kGroupAdd, x = static_cast<uint32_t>(x + y);)
            KELO_TYPED_BINARY(kGroupSub, x = static_cast<uint32_t>(x - y);)
            KELO_TYPED_BINARY(kGroupMul, x = static_cast<uint32_t>(x) * static_cast<uint32_t>(y);)
            // -1 is the one divisor that can overflow.
            KELO_TYPED_BINARY(kGroupDiv, if (IntOf(y) == 0) return false;
                              x = IntOf(y) == -1 ? static_cast<uint32_t>(0u - static_cast<uint32_t>(x))
                                                 : RawInt(IntOf(x) / IntOf(y));)
            KELO_TYPED_BINARY(kGroupMod, if (IntOf(y) == 0) return false;
                              x = IntOf(y) == -1 ? 0 : RawInt(IntOf(x) % IntOf(y));)
            KELO_TYPED_BINARY(kGroupIndexInt, if (!ElementAt(e, x, IntOf(y), false)) return false;)
            KELO_TYPED_BINARY(kGroupIndexArray, if (!ElementAt(e, x, IntOf(y), true)) return false;)
            case TypedCode(kGroupNegate, 0):
                x = static_cast<uint32_t>(0u - static_cast<uint32_t>(x));
                continue;
            case TypedCode(kGroupKeep, 0):
                continue;
            default:
                // The builder gives every node of a typed instruction one of the codes above.
                __builtin_unreachable();
        }
    }
#undef KELO_TYPED_LOAD
#undef KELO_TYPED_BINARY
#undef KELO_FETCH_Y_STACK
#undef KELO_FETCH_Y_CONST
#undef KELO_FETCH_Y_GLOBAL
#undef KELO_FETCH_Y_ARG
#undef KELO_FETCH_Y_TOP
}

// A typed result as a value of the given type (an int, or a bool from a comparison's 0 or 1).
[[gnu::always_inline]] inline Tdata::Value TypedValue(int32_t type, TypedRaw x) {
    Tdata::Value r;
    r.d = 0;
    if (type == kTypeBool) r.b = x != 0;
    else r.i = IntOf(x);
    return r;
}

[[gnu::always_inline]] inline bool Eval(const ScriptEngine& e, const FastInstruction& in, int32_t top0,
                                        const FastNode* n, const FastNode* end, FastValue& out) {
    if (in.typed != kTypeVoid) {
        TypedRaw st[kFastMaxDepth + 1], x;
        int below;
        if (EvalTyped(e, top0, n, st, below, x)) {
            out.type = in.typed;
            out.v = TypedValue(in.typed, x);
            return true;
        }
    }
    FastValue st[kFastMaxDepth + 1];
    int below;
    if (!EvalStack(e, top0, n, end, st, below, out.type, out.v)) return false;
    return IsScalarType(out.type);
}

// A number stored into a variable: = += -= *= /= %= or ++ --; false leaves it to the documented
// loop, before anything was written.
[[gnu::always_inline]] inline bool FastStore(ScriptEngine& e, const FastInstruction& in, const FastNode* nodes) {
    const int32_t top0 = e.varTop;
    if (top0 > kScriptVarStackSlots - in.count || !Reaches(e, in.reach, top0)) return false;
    const FastNode* n = nodes + in.nodeBegin;
    const int32_t a = NodeCell(e, top0, n[0]);
    if (a < 0 || (e.cellFlags[static_cast<size_t>(a)] & ScriptEngine::kCellConst) != 0) return false;
    if (!IsScalarType(e.cells[a].dataType)) return false;
    if (in.root >= kOpPreInc) {
        Tdata& x = e.cells[a];
        const int delta = (in.root == kOpPreInc || in.root == kOpPreInc + 2) ? 1 : -1;
        if (x.dataType == kTypeInt) x.value.i = Wrap(static_cast<int64_t>(x.value.i) + delta);
        else if (x.dataType == kTypeDouble) x.value.d += delta;
        else return false;
        return true;
    }
    FastValue y;
    if (!Eval(e, in, top0, n + 1, nodes + in.nodeEnd, y)) return false;
    // The evaluation cannot move the store: it allocates nothing.
    Tdata& x = e.cells[a];
    if (in.root == kOpEqual) return StoreScalar(x, y.type, y.v);
    static constexpr int32_t kArith[] = {6, 7, 9, 10, 11};
    int32_t t;
    Tdata::Value v;
    return NumberOp(kArith[in.root - kOpAddEqual], x.dataType, x.value, y.type, y.v, t, v) && StoreScalar(x, t, v);
}

// A cell from the free stack holding a scalar, with the given marks. The fused instruction
// checked the free count when it started (it is never below a quarter of the store then), so
// none of the few cells it takes can be missing.
[[gnu::always_inline]] inline int32_t NewCell(ScriptEngine& e, int32_t type, Tdata::Value value, uint8_t flags) {
    // Below the untouched mark a free-stack position stands for its own, never-used cell.
    const int32_t p = --e.freeCount;
    int32_t c;
    if (p < e.untouchedBelow) {
        e.untouchedBelow = p;
        c = p;
    } else {
        c = e.freeStack[p];
    }
    Tdata& t = e.cells[c];
    if (Tdata::OwnsPayload(t.dataType)) t.changeDataType(kTypeVoid);
    t.dataType = type;
    t.value = value;
    e.cellFlags[static_cast<size_t>(c)] = flags;
    return c;
}

// A parameter cell of a fused call goes back to the store when its frame is dropped, unless
// something else came to name it (see ScriptEngine::kCellParam).
[[gnu::always_inline]] inline void ReleaseParam(ScriptEngine& e, int32_t cell) {
    if (static_cast<uint32_t>(cell) >= static_cast<uint32_t>(e.capacity)) return;
    uint8_t& f = e.cellFlags[static_cast<size_t>(cell)];
    if ((f & ScriptEngine::kCellParam) == 0) return;
    f = 0;
    e.cells[cell].changeDataType(kTypeVoid);
    e.freeStack[e.freeCount++] = cell;
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

// A fused call: its return slot, the argument values bound to fresh parameter cells, the frame
// record and the return position; false (with nothing written) when the documented loop must
// run it. Kept out of the instruction loop so that each gets registers of its own.
[[gnu::noinline]] bool EnterCall(ScriptEngine& e, const FastInstruction& in, const FastNode* nodes, bool debug) {
    const int32_t np = in.count;
    const int64_t base = static_cast<int64_t>(e.argBase) + in.count2;
    const int32_t top0 = e.varTop + (in.pushesSlot ? 1 : 0);  // where the argument values start
    if (e.varTop > kScriptVarStackSlots - in.slots || e.argTop > kScriptArgStackSlots - np || base < 0 ||
        base > kScriptArgStackSlots || !Reaches(e, in.reach, top0))
        return false;
    // The parameters' values, each converted to its parameter's type.
    Tdata::Value bound[kFastMaxDepth];
    const int32_t* types = in.paramTypes.data();
    if (np > 0) {
        bool typed = false;
        if (in.typed != kTypeVoid) {
            // Values 1..np-1 below the last one; 0 is unused.
            TypedRaw ints[kFastMaxDepth + 1], last;
            int below;
            typed = EvalTyped(e, top0, nodes + in.nodeBegin, ints, below, last) && below == np - 1;
            if (typed) {
                ints[np] = last;
                for (int32_t j = 0; typed && j < np; ++j) {
                    if (types[j] == kTypeInt) bound[j] = TypedValue(kTypeInt, ints[j + 1]);
                    else typed = ConvertScalar(types[j], kTypeInt, TypedValue(kTypeInt, ints[j + 1]), bound[j]);
                }
            }
        }
        if (!typed) {
            FastValue args[kFastMaxDepth + 1];
            int below;
            int32_t type;
            Tdata::Value value;
            if (!EvalStack(e, top0, nodes + in.nodeBegin, nodes + in.nodeEnd, args, below, type, value) || below != np - 1)
                return false;
            args[np] = {type, value};
            for (int32_t j = 0; j < np; ++j)
                if (!ConvertScalar(types[j], args[j + 1].type, args[j + 1].v, bound[j])) return false;
        }
    }
    if (in.pushesSlot) e.varStack[static_cast<size_t>(e.varTop++)] = NewCell(e, in.valueType, in.value, ScriptEngine::kCellTemp);
    for (int32_t k = e.varTop - in.consumed; k < e.varTop; ++k) e.releaseTemp(e.varStack[static_cast<size_t>(k)]);
    e.varTop -= in.consumed;
    // Fresh cells that only their parameter slots name: the fused return frees them.
    int32_t* params = e.argStack.data() + e.argTop;
    for (int32_t j = 0; j < np; ++j) params[j] = NewCell(e, types[j], bound[j], ScriptEngine::kCellParam);
    e.argTop += np;
    const ScriptCallFrame frame{in.target, e.curPos, e.varTop, e.varBase, e.argTop, e.argBase};
    Append(e.callFrames, frame);
    if (debug) e.debugFramePcs.push_back(e.debugPc);
    e.argBase = static_cast<int32_t>(base);
    Append(e.returnStack, in.root);
    return true;
}

// A fused return: the result bound into the return slot, the frame's slots and parameters
// dropped. The code position it returns to, -1 when the run ends there, or -2 (with nothing
// written) when the documented loop must run it.
[[gnu::noinline]] int32_t LeaveCall(ScriptEngine& e, const FastInstruction& in, const FastNode* nodes) {
    const int32_t top0 = e.varTop;
    const int32_t kept = top0 - in.consumed;             // slots left once the value's operands are taken
    const int32_t after = kept + (in.root > 0 ? 1 : 0);  // and once the value is pushed
    if (top0 > kScriptVarStackSlots - in.slots || kept < 0 || after < in.count || e.argTop < in.count2) return -2;
    if (in.root > 0) {
        FastValue y;
        if (after < in.root || !Reaches(e, in.reach, top0) || !Eval(e, in, top0, nodes + in.nodeBegin, nodes + in.nodeEnd, y))
            return -2;
        const int32_t to = e.varStack[static_cast<size_t>(after - in.root)];
        if (static_cast<uint32_t>(to) >= static_cast<uint32_t>(e.capacity)) return -2;
        Tdata& slot = e.cells[to];
        Tdata::Value result;
        if (!ConvertScalar(slot.dataType, y.type, y.v, result)) return -2;
        slot.value = result;
    }
    // The value's own slot is dropped with the frame without ever holding a cell.
    int32_t* vars = e.varStack.data();
    for (int32_t k = after - in.count; k < top0; ++k) e.releaseTemp(vars[k]);
    e.varTop = after - in.count;
    int32_t* args = e.argStack.data();
    for (int32_t k = e.argTop - in.count2; k < e.argTop; ++k) ReleaseParam(e, args[k]);
    e.argTop -= in.count2;
    if (e.returnStack.empty()) return -1;
    const int32_t back = e.returnStack.back();
    e.returnStack.pop_back();
    return back;
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
                cellFlags[static_cast<size_t>(target)] &= static_cast<uint8_t>(~(kCellTemp | kCellParam));
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
                cellFlags[static_cast<size_t>(c)] &= static_cast<uint8_t>(~(kCellTemp | kCellParam));
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
                    if (validCell(target))
                        cellFlags[static_cast<size_t>(target)] &= static_cast<uint8_t>(~(kCellTemp | kCellParam));
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
    // The break poll is due every 256 instructions of the code list; a fused instruction counts
    // the instructions it stands for.
    int64_t untilPoll = 256;
    // Runs instructions of the code list from pc until one starts a fast instruction; its index,
    // or -1 when the run ended.
    auto plainFrom = [&](int32_t pc) -> int32_t {
        while (pc > last || pc < 0 || at[pc] < 0) {
            --untilPoll;
            pc = step(pc);
            if (pc < 0) return -1;
        }
        return at[pc];
    };
    auto fastAt = [&](int32_t pc) -> int32_t {
        return (pc >= 0 && pc <= last && at[pc] >= 0) ? at[pc] : plainFrom(pc);
    };
    // The caller's frame record removed and its parameter base restored after a call; false
    // when the base would leave the argument stack.
    auto afterCall = [&](const FastInstruction& a) -> bool {
        const int64_t b = static_cast<int64_t>(argBase) + a.count;
        if (b < 0 || b > kScriptArgStackSlots) return false;
        if (!callFrames.empty()) callFrames.pop_back();
        if (debugging && !debugFramePcs.empty()) debugFramePcs.pop_back();
        argBase = static_cast<int32_t>(b);
        return true;
    };
    // A comparison of a variable with a variable or a literal and the branch on it: the fast
    // index it continues at, or -1 when the documented loop must run it.
    auto compare = [&](const FastInstruction& c) __attribute__((always_inline)) -> int32_t {
        const FastNode* n = nodes + c.nodeBegin;
        if (varTop > kScriptVarStackSlots - 2 || !Reaches(*this, c.reach, varTop)) return -1;
        const int32_t a = NodeCell(*this, varTop, n[0]);
        if (a < 0) return -1;
        int32_t yt = n[1].type;
        Tdata::Value yv = n[1].value;
        if (n[1].fetch != kFetchConst) {
            const int32_t b = NodeCell(*this, varTop, n[1]);
            if (b < 0) return -1;
            yt = cells[b].dataType;
            yv = cells[b].value;
        }
        const Tdata& x = cells[a];
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
            if (!NumberOp(n[1].op, x.dataType, x.value, yt, yv, t, r)) return -1;
            truth = r.b;
        }
        return truth ? c.next : c.alt;
    };
    // ++ or -- of a variable; false when the documented loop must do it.
    auto incDec = [&](const FastInstruction& c) __attribute__((always_inline)) -> bool {
        const int32_t a = varTop < kScriptVarStackSlots && Reaches(*this, c.reach, varTop)
                              ? NodeCell(*this, varTop, nodes[c.nodeBegin])
                              : -1;
        if (a < 0 || (cellFlags[static_cast<size_t>(a)] & kCellConst) != 0) return false;
        Tdata& x = cells[a];
        if (x.dataType == kTypeInt) x.value.i = Wrap(static_cast<int64_t>(x.value.i) + c.count2);
        else if (x.dataType == kTypeDouble) x.value.d += c.count2;
        else return false;
        return true;
    };
    // Where a loop's step continues: its condition is run at once when it is a fused comparison
    // (one folds no statement marker, so no debugger stop is passed over).
    auto loopCondition = [&](int32_t f) __attribute__((always_inline)) -> int32_t {
        if (f < 0 || fc[f].kind != kFastCompare || fc[f].marker >= 0) return f;
        const int32_t to = compare(fc[f]);
        if (to < 0) return f;
        untilPoll -= fc[f].covered;
        return to;
    };
    // A fused instruction that left its range to the documented loop.
    auto fallBack = [&](const FastInstruction& in) -> int32_t {
        --untilPoll;
        const int32_t pc = step(in.body);
        return pc < 0 ? -1 : fastAt(pc);
    };
    const bool debug = debugging;  // set before a run starts
    if (stopFlag) return;
    int32_t fi = fastAt(start);
    while (fi >= 0) {
        if (untilPoll <= 0) {
            untilPoll = 256;
            if (UserWantsToStop()) stopFlag = true;
            if (stopFlag) return;
        }
        const FastInstruction& in = fc[fi];
        if (freeCount < collectBelow) {
            collect();
            if (freeCount < capacity / 2 && !grow()) {
                curPos = in.position;
                raiseHere(10100);
            }
        }
        if (debug && in.marker >= 0 && step(in.marker) < 0) return;
        curPos = in.position;
        switch (in.kind) {
            case kFastExprStmt:
                if (!FastStore(*this, in, nodes)) {
                    fi = fallBack(in);
                    continue;
                }
                untilPoll -= in.covered;
                fi = in.next;
                // A loop body's last statement is followed by the loop's step.
                if (fi >= 0 && fc[fi].kind == kFastIncDec && fc[fi].marker < 0 && incDec(fc[fi])) {
                    untilPoll -= fc[fi].covered;
                    fi = loopCondition(fc[fi].next);
                }
                continue;
            case kFastExprPush: {
                FastValue y;
                if (varTop > kScriptVarStackSlots - in.count || !Reaches(*this, in.reach, varTop) ||
                    !Eval(*this, in, varTop, nodes + in.nodeBegin, nodes + in.nodeEnd, y)) {
                    fi = fallBack(in);
                    continue;
                }
                for (int32_t k = varTop - in.consumed; k < varTop; ++k) releaseTemp(varStack[static_cast<size_t>(k)]);
                varTop -= in.consumed;
                varStack[static_cast<size_t>(varTop++)] = NewCell(*this, y.type, y.v, kCellTemp);
                fi = in.next;
                break;
            }
            case kFastBranch: {
                FastValue y;
                if (varTop > kScriptVarStackSlots - in.count || !Reaches(*this, in.reach, varTop) ||
                    !Eval(*this, in, varTop, nodes + in.nodeBegin, nodes + in.nodeEnd, y)) {
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
                    cellFlags[static_cast<size_t>(c)] &= static_cast<uint8_t>(~(kCellTemp | kCellParam));
                pushVar(c);
                fi = in.next;
                break;
            }
            case kFastIncDec:
                if (!incDec(in)) {
                    fi = fallBack(in);
                    continue;
                }
                untilPoll -= in.covered;
                fi = loopCondition(in.next);
                continue;
            case kFastCompare: {
                const int32_t to = compare(in);
                if (to < 0) {
                    fi = fallBack(in);
                    continue;
                }
                fi = to;
                break;
            }
            case kFastPushFilled: {
                if (varTop >= kScriptVarStackSlots) raiseHere(10102);
                varStack[static_cast<size_t>(varTop++)] = NewCell(*this, in.valueType, in.value, kCellTemp);
                fi = in.next;
                break;
            }
            case kFastCall:
                if (!EnterCall(*this, in, nodes, debug)) {
                    fi = fallBack(in);
                    continue;
                }
                untilPoll -= in.covered;
                fi = in.alt >= 0 ? in.alt : fastAt(in.target);
                continue;
            case kFastAfterCall:
                if (!afterCall(in)) raiseHere(10101);
                fi = in.next;
                break;
            case kFastReturn: {
                const int32_t back = LeaveCall(*this, in, nodes);
                if (back == -2) {
                    fi = fallBack(in);
                    continue;
                }
                untilPoll -= in.covered;
                if (back < 0) return;
                fi = fastAt(back + 2);
                // The caller's frame removal, which always follows, is done here.
                if (fi >= 0 && fc[fi].kind == kFastAfterCall && afterCall(fc[fi])) {
                    untilPoll -= fc[fi].covered;
                    fi = fc[fi].next;
                }
                continue;
            }
            default: {
                // An instruction of the code list, run as documented.
                --untilPoll;
                const int32_t pc = step(in.pc);
                if (pc < 0) return;
                fi = fastAt(pc);
                continue;
            }
        }
        untilPoll -= in.covered;
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
