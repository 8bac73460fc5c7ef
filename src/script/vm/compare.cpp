// The total order of script values: numbers by value across bool, int, double and klHandle, the
// same types by content, everything else by type code.
#include <cstdint>
#include <cstring>
#include <vector>

#include "script/vm/script_engine.h"
#include "script/vm/value_ops.h"
#include "script/vm/value_walk.h"

namespace kelo {

namespace {

template <typename T>
int Sign(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

const Tdata* Follow(ScriptEngine* e, const Tdata* v) {
    if (v->dataType != kTypeReference) return v;
    if (e == nullptr) return v;
    int32_t i = e->resolve(v->value.ref);
    return e->validCell(i) ? &e->cells[i] : v;
}

bool IsNumeric(int32_t t) { return t == kTypeBool || t == kTypeInt || t == kTypeDouble || t == kTypeHandle; }

double AsDouble(const Tdata& v) {
    switch (v.dataType) {
        case kTypeBool: return v.value.b ? 1.0 : 0.0;
        case kTypeInt: return v.value.i;
        case kTypeDouble: return v.value.d;
        default: return static_cast<double>(reinterpret_cast<intptr_t>(v.value.handle));
    }
}

// The order of two values as far as it can be told without looking at elements. descend is set
// (and 0 returned) for two containers of the same kind or two points, whose elements decide.
int CompareFlat(const Tdata& a, const Tdata& b, bool& descend) {
    descend = false;
    const int32_t ta = a.dataType, tb = b.dataType;
    if (ta == kTypeBool && tb == kTypeBool) return Sign(a.value.b, b.value.b);
    if ((ta == kTypeBool || ta == kTypeInt) && (tb == kTypeBool || tb == kTypeInt)) {
        int32_t x = ta == kTypeBool ? a.value.b : a.value.i;
        int32_t y = tb == kTypeBool ? b.value.b : b.value.i;
        return Sign(x, y);
    }
    if (IsNumeric(ta) && IsNumeric(tb) && (ta != kTypeHandle || tb != kTypeHandle))
        return Sign(AsDouble(a), AsDouble(b));
    if (ta != tb) return Sign(ta, tb);
    if (detail::HoldsCells(ta)) {
        descend = true;
        return 0;
    }
    switch (ta) {
        case kTypeString: {
            const std::string& x = *a.value.s;
            const std::string& y = *b.value.s;
            size_t n = x.size() < y.size() ? x.size() : y.size();
            int c = n ? std::memcmp(x.data(), y.data(), n) : 0;
            if (c != 0) return c < 0 ? -1 : 1;
            return Sign(x.size(), y.size());
        }
        case kTypeBox:
            // The box owns its corners, so its content (not its address) decides.
            for (int k = 0; k < 4; ++k)
                if (int c = Sign(a.value.box[k], b.value.box[k])) return c;
            return 0;
        default:
            if (IsHandleType(ta)) return Sign(reinterpret_cast<uintptr_t>(a.value.handle),
                                              reinterpret_cast<uintptr_t>(b.value.handle));
            return 0;
    }
}

// Lexicographic over the elements (pairs key first for maps, x y z for points), with an
// explicit stack so that nesting depth costs memory, not native stack.
int CompareElements(ScriptEngine* e, const Tdata& a, const Tdata& b) {
    struct Frame {
        detail::CellCursor x, y;
        bool valueNext;
    };
    std::vector<Frame> stack;
    stack.push_back({detail::CellCursor(a), detail::CellCursor(b), false});
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.x.done() || f.y.done()) {
            const int r = f.x.done() ? (f.y.done() ? 0 : -1) : 1;
            stack.pop_back();
            if (r != 0) return r;
            continue;
        }
        int32_t p, q;
        if (f.valueNext) {
            p = f.x.value();
            q = f.y.value();
        } else {
            p = f.x.key();
            q = f.y.key();
        }
        if (detail::IsPairContainer(f.x.type()) && !f.valueNext) {
            f.valueNext = true;
        } else {
            f.valueNext = false;
            f.x.next();
            f.y.next();
        }
        if (e == nullptr || !e->validCell(p) || !e->validCell(q)) {
            if (int r = Sign(p, q)) return r;
            continue;
        }
        const Tdata& u = *Follow(e, &e->cells[p]);
        const Tdata& v = *Follow(e, &e->cells[q]);
        bool descend = false;
        const int r = CompareFlat(u, v, descend);
        if (descend) stack.push_back({detail::CellCursor(u), detail::CellCursor(v), false});
        else if (r != 0) return r;
    }
    return 0;
}

}  // namespace

int compare(const Tdata& aIn, const Tdata& bIn) {
    ScriptEngine* e = GetCurrentScriptEngine();
    const Tdata& a = *Follow(e, &aIn);
    const Tdata& b = *Follow(e, &bIn);
    bool descend = false;
    const int r = CompareFlat(a, b, descend);
    return descend ? CompareElements(e, a, b) : r;
}

}  // namespace kelo
