// Operators, conversions, mathematics, input and output, and program control (numbers 0 to 70).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <utility>

#include "companion/random.h"
#include "companion/ui.h"
#include "script/host/host_call.h"
#include "script/vm/builtins.h"

namespace kelo::detail {

void (*g_consoleCallback)() = nullptr;

double SysCall::number(int i) const {
    const Tdata& v = arg(i);
    if (v.dataType == kTypeInt) return v.value.i;
    if (v.dataType == kTypeDouble) return v.value.d;
    fail(10304);
}

int32_t SysCall::integer(int i) const {
    if (arg(i).dataType != kTypeInt) fail(10304);
    return arg(i).value.i;
}

std::string& SysCall::text(int i) const {
    if (arg(i).dataType != kTypeString) fail(10304);
    return *arg(i).value.s;
}

Tdata& SysCall::typed(int i, int32_t type) const {
    if (arg(i).dataType != type) fail(10304);
    return arg(i);
}

void SysCall::setReference(int32_t cell) const {
    Tdata& r = res();
    r.changeDataType(kTypeReference);
    r.value.ref = cell;
}

namespace {

bool IsNum(const Tdata& v) { return v.dataType == kTypeInt || v.dataType == kTypeDouble; }

// Wrapping 32-bit arithmetic: overflow in a script is not undefined behaviour of the host.
int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }

enum class Arith { Add, Sub, Mul, Div, Mod };

// The value of a op b for two numbers (or two strings for +).
Tdata Arithmetic(const SysCall& c, Arith op) {
    const Tdata& a = c.arg(0);
    const Tdata& b = c.arg(1);
    if (op == Arith::Add && a.dataType == kTypeString && b.dataType == kTypeString) {
        c.textFits(a.value.s->size() + b.value.s->size());
        return Tdata(*a.value.s + *b.value.s);
    }
    if (!IsNum(a) || !IsNum(b)) c.fail(10304);
    if (a.dataType == kTypeInt && b.dataType == kTypeInt) {
        const int64_t x = a.value.i, y = b.value.i;
        switch (op) {
            case Arith::Add: return Tdata(Wrap(x + y));
            case Arith::Sub: return Tdata(Wrap(x - y));
            case Arith::Mul: return Tdata(Wrap(x * y));
            case Arith::Div:
                if (y == 0) c.fail(10305);
                return Tdata(Wrap(x / y));
            case Arith::Mod:
                if (y == 0) c.fail(10305);
                return Tdata(Wrap(x % y));
        }
    }
    const double x = c.number(0), y = c.number(1);
    switch (op) {
        case Arith::Add: return Tdata(x + y);
        case Arith::Sub: return Tdata(x - y);
        case Arith::Mul: return Tdata(x * y);
        case Arith::Div: return Tdata(x / y);
        case Arith::Mod: return Tdata(std::fmod(x, y));
    }
    return Tdata();
}

enum class Bits { Or, Xor, And, Shl, Shr };

int32_t BitInt(const SysCall& c, int i) {
    const Tdata& v = c.arg(i);
    if (v.dataType == kTypeInt) return v.value.i;
    if (v.dataType == kTypeBool) return v.value.b ? 1 : 0;
    c.fail(10304);
}

Tdata Bitwise(const SysCall& c, Bits op) {
    const int32_t x = BitInt(c, 0), y = BitInt(c, 1);
    const uint32_t ux = static_cast<uint32_t>(x), sh = static_cast<uint32_t>(y) & 31u;
    switch (op) {
        case Bits::Or: return Tdata(x | y);
        case Bits::Xor: return Tdata(x ^ y);
        case Bits::And: return Tdata(x & y);
        case Bits::Shl: return Tdata(static_cast<int32_t>(ux << sh));
        case Bits::Shr: return Tdata(x >> sh);
    }
    return Tdata();
}

// a op= b: the result goes into the first argument, and is also the call's value (unless the
// next instruction drops it: then a long text is not copied for nothing).
bool Store(const SysCall& c, const Tdata& v) {
    if (!assign(c.arg(0), v)) c.fail(10309);
    if (!c.e.resultDropped) c.setResult(c.arg(0));
    return true;
}

template <int Op>
bool Compare(const SysCall& c) {
    const int r = compare(c.arg(0), c.arg(1));
    bool v = false;
    switch (Op) {
        case 0: v = r == 0; break;
        case 1: v = r != 0; break;
        case 2: v = r < 0; break;
        case 3: v = r <= 0; break;
        case 4: v = r > 0; break;
        default: v = r >= 0; break;
    }
    c.setResult(Tdata(v));
    return true;
}

template <Arith Op>
bool ArithFn(const SysCall& c) {
    // Two texts are joined straight into the result cell.
    if constexpr (Op == Arith::Add) {
        const Tdata& a = c.arg(0);
        const Tdata& b = c.arg(1);
        if (a.dataType == kTypeString && b.dataType == kTypeString) {
            c.textFits(a.value.s->size() + b.value.s->size());
            Tdata& r = c.res();
            r.changeDataType(kTypeString);
            r.value.s->reserve(a.value.s->size() + b.value.s->size());
            r.value.s->append(*a.value.s).append(*b.value.s);
            return true;
        }
    }
    c.setResult(Arithmetic(c, Op));
    return true;
}
template <Arith Op>
bool ArithStore(const SysCall& c) {
    // Appending to a text in place spares building the joined text and copying it back.
    if constexpr (Op == Arith::Add) {
        if (c.arg(0).dataType == kTypeString && c.arg(1).dataType == kTypeString) {
            c.textFits(c.arg(0).value.s->size() + c.arg(1).value.s->size());
            c.arg(0).value.s->append(*c.arg(1).value.s);
            if (!c.e.resultDropped) c.setResult(c.arg(0));
            return true;
        }
    }
    return Store(c, Arithmetic(c, Op));
}
template <Bits Op>
bool BitFn(const SysCall& c) {
    c.setResult(Bitwise(c, Op));
    return true;
}
template <Bits Op>
bool BitStore(const SysCall& c) {
    return Store(c, Bitwise(c, Op));
}

template <double (*F)(double)>
bool Math1(const SysCall& c) {
    c.setResult(Tdata(F(c.number(0))));
    return true;
}
template <double (*F)(double, double)>
bool Math2(const SysCall& c) {
    c.setResult(Tdata(F(c.number(0), c.number(1))));
    return true;
}

// The host gets its console ready (a GUI host opens one) before any text goes out or comes in.
void TouchConsole() {
    if (g_consoleCallback != nullptr) g_consoleCallback();
}

void Write(const SysCall& c, const std::string& s) {
    if (c.e.printSink) {
        *c.e.printSink += s;
    } else {
        std::fwrite(s.data(), 1, s.size(), stdout);
        std::fflush(stdout);
    }
}

bool Print(const SysCall& c, bool newline) {
    TouchConsole();
    std::string out;
    for (int i = 0; i < c.argc; ++i) out += toString(c.arg(i), kScriptTextLimit);
    if (newline) out += '\n';
    Write(c, out);
    return true;
}

enum class Read { Int, String, Double };

bool ReadValue(const SysCall& c, Read kind) {
    TouchConsole();
    if (c.argc == 1) Write(c, toString(c.arg(0)));
    switch (kind) {
        case Read::Int: {
            int v = 0;
            if (std::scanf("%d", &v) != 1) v = 0;
            c.setResult(Tdata(v));
            break;
        }
        case Read::Double: {
            double v = 0;
            if (std::scanf("%lf", &v) != 1) v = 0;
            c.setResult(Tdata(v));
            break;
        }
        case Read::String: {
            char buf[4096];
            if (std::scanf("%4095s", buf) != 1) buf[0] = '\0';
            c.setResult(Tdata(buf));
            break;
        }
    }
    return true;
}

// Increments and decrements of an int or double variable; Post gives the old value.
template <int Delta, bool Post>
bool Step(const SysCall& c) {
    Tdata& v = c.arg(0);
    Tdata old(v);
    if (v.dataType == kTypeInt) v.value.i = Wrap(static_cast<int64_t>(v.value.i) + Delta);
    else if (v.dataType == kTypeDouble) v.value.d += Delta;
    else c.fail(10304);
    c.setResult(Post ? old : c.arg(0));
    return true;
}

bool Negative(const SysCall& c) {
    const Tdata& v = c.arg(0);
    if (v.dataType == kTypeInt) c.setResult(Tdata(Wrap(-static_cast<int64_t>(v.value.i))));
    else c.setResult(Tdata(-c.number(0)));
    return true;
}

bool Positive(const SysCall& c) {
    c.number(0);
    c.setResult(c.arg(0));
    return true;
}

bool Not(const SysCall& c) {
    Tdata b;
    b.setDataType(kTypeBool);
    if (!assign(b, c.arg(0))) c.fail(10304);
    c.setResult(Tdata(!b.value.b));
    return true;
}

bool BitNot(const SysCall& c) {
    c.setResult(Tdata(~c.integer(0)));
    return true;
}

bool Equal(const SysCall& c) {
    // A text that is an operator's result is named by nothing else: it is moved, not copied.
    Tdata& to = c.arg(0);
    Tdata& from = c.arg(1);
    if (to.dataType == kTypeString && from.dataType == kTypeString && c.args[0] != c.args[1] &&
        (c.e.cellFlags[static_cast<size_t>(c.args[1])] & ScriptEngine::kCellTemp) != 0) {
        std::swap(*to.value.s, *from.value.s);
        if (!c.e.resultDropped) c.setResult(to);
        return true;
    }
    return Store(c, from);
}

bool ParseInt(const SysCall& c) {
    c.setResult(Tdata(static_cast<int>(std::atoi(c.text(0).c_str()))));
    return true;
}
bool ParseDouble(const SysCall& c) {
    c.setResult(Tdata(std::atof(c.text(0).c_str())));
    return true;
}
bool ToStringFn(const SysCall& c) {
    c.setResult(Tdata(toString(c.arg(0), kScriptTextLimit)));
    return true;
}
bool GetDataType(const SysCall& c) {
    c.setResult(Tdata(static_cast<int>(c.arg(0).dataType)));
    return true;
}
bool Message(const SysCall& c) {
    AfxMessageBox2(c.text(0).c_str(), 0, 0);
    return true;
}

bool Chr(const SysCall& c) {
    const int32_t n = c.integer(0);
    if (n < 0 || n > 255) c.fail(10307);
    c.setResult(Tdata(std::string(1, static_cast<char>(n))));
    return true;
}
bool Ord(const SysCall& c) {
    const std::string& s = c.text(0);
    if (s.size() != 1) c.fail(10304);
    c.setResult(Tdata(static_cast<int>(static_cast<unsigned char>(s[0]))));
    return true;
}

bool Random(const SysCall& c) {
    int r = KeloRand();
    if (c.argc == 1) {
        const int32_t n = c.integer(0);
        if (n == 0) c.fail(10305);
        r %= n;
    }
    c.setResult(Tdata(r));
    return true;
}
bool Randomize(const SysCall&) {
    KeloSrand(static_cast<uint32_t>(std::time(nullptr)));
    return true;
}
bool Abs(const SysCall& c) {
    c.setResult(Tdata(std::fabs(c.number(0))));
    return true;
}
bool Exit(const SysCall& c) {
    c.e.stopFlag = true;
    return true;
}

bool InitArray(const SysCall& c) {
    ScriptIndexList list;
    list.reserve(static_cast<size_t>(c.argc));
    for (int i = 0; i < c.argc; ++i) {
        int32_t cell = c.e.allocCell();
        if (c.arg(i).dataType != kTypeVoid) assign(c.e.cells[cell], c.arg(i));
        list.push_back(cell);
    }
    c.setResult(Tdata(list));
    return true;
}

bool ReserveMemory(const SysCall& c) {
    bool ok = c.argc == 0 ? c.e.grow() : c.e.reserve(c.integer(0));
    c.setResult(Tdata(ok));
    return true;
}

bool ToInt(const SysCall& c) {
    Tdata v;
    v.setDataType(kTypeInt);
    if (c.arg(0).dataType > kTypeDouble || !assign(v, c.arg(0))) c.fail(10304);
    c.setResult(v);
    return true;
}
bool ToDouble(const SysCall& c) {
    Tdata v;
    v.setDataType(kTypeDouble);
    if (!assign(v, c.arg(0))) c.fail(10304);
    c.setResult(v);
    return true;
}

double Log(double x) { return std::log(x); }

}  // namespace

SysFn CoreFunction(int32_t n) {
    static const SysFn kFns[71] = {
        Compare<0>, Compare<1>, Compare<2>, Compare<3>, Compare<4>, Compare<5>,
        ArithFn<Arith::Add>, ArithFn<Arith::Sub>, BitFn<Bits::Or>, ArithFn<Arith::Mul>, ArithFn<Arith::Div>,
        ArithFn<Arith::Mod>, BitFn<Bits::Xor>, BitFn<Bits::And>, Not,
        [](const SysCall& c) { return Print(c, false); }, [](const SysCall& c) { return Print(c, true); },
        [](const SysCall& c) { return ReadValue(c, Read::Int); },
        [](const SysCall& c) { return ReadValue(c, Read::String); },
        [](const SysCall& c) { return ReadValue(c, Read::Double); },
        Math1<std::sin>, Math1<std::cos>, Math1<std::tan>, Math1<std::asin>, Math1<std::acos>, Math1<std::atan>,
        Math2<std::atan2>, Math1<std::sqrt>, Math2<std::pow>, Message, ParseInt, ParseDouble, ToStringFn,
        GetDataType, BitNot, Equal, ArithStore<Arith::Add>, ArithStore<Arith::Sub>, ArithStore<Arith::Mul>,
        ArithStore<Arith::Div>, ArithStore<Arith::Mod>, BitStore<Bits::And>, BitStore<Bits::Xor>,
        BitStore<Bits::Or>, Step<1, false>, Step<-1, false>, Step<1, true>, Step<-1, true>, Positive, Negative,
        BitFn<Bits::Shl>, BitFn<Bits::Shr>, BitStore<Bits::Shl>, BitStore<Bits::Shr>, Chr, Ord, Random,
        Randomize, Abs, ParseInt, ParseDouble, Exit, Math1<std::exp>, Math1<Log>, Math1<std::log10>,
        Math1<std::ceil>, Math1<std::floor>, InitArray, ReserveMemory, ToInt, ToDouble};
    return n >= 0 && n <= 70 ? kFns[n] : nullptr;
}

}  // namespace kelo::detail

namespace kelo {

void SetConsoleCallback(void (*callback)()) { detail::g_consoleCallback = callback; }

}  // namespace kelo
