// The total order of script values: numbers by value across bool, int, double and klHandle, the
// same types by content, everything else by type code.
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "script/vm/script_engine.h"
#include "script/vm/value_ops.h"

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

int CompareCells(ScriptEngine* e, int32_t a, int32_t b) {
    if (e == nullptr || !e->validCell(a) || !e->validCell(b)) return Sign(a, b);
    return compare(e->cells[a], e->cells[b]);
}

// Lexicographic over two ordered sequences of cells (or cell pairs, compared key first).
template <typename It, typename Cmp>
int CompareRanges(It a, It aEnd, It b, It bEnd, Cmp cmp) {
    for (; a != aEnd && b != bEnd; ++a, ++b)
        if (int c = cmp(*a, *b)) return c;
    if (a == aEnd) return b == bEnd ? 0 : -1;
    return 1;
}

template <typename C>
int CompareContainers(ScriptEngine* e, const C& x, const C& y) {
    using Elem = typename C::value_type;
    return CompareRanges(x.begin(), x.end(), y.begin(), y.end(), [e](const Elem& p, const Elem& q) {
        if constexpr (std::is_same_v<Elem, int32_t>) {
            return CompareCells(e, p, q);
        } else {
            if (int c = CompareCells(e, p.first, q.first)) return c;
            return CompareCells(e, p.second, q.second);
        }
    });
}

}  // namespace

int compare(const Tdata& aIn, const Tdata& bIn) {
    ScriptEngine* e = GetCurrentScriptEngine();
    const Tdata& a = *Follow(e, &aIn);
    const Tdata& b = *Follow(e, &bIn);
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
    switch (ta) {
        case kTypeString: {
            const std::string& x = *a.value.s;
            const std::string& y = *b.value.s;
            size_t n = x.size() < y.size() ? x.size() : y.size();
            int c = n ? std::memcmp(x.data(), y.data(), n) : 0;
            if (c != 0) return c < 0 ? -1 : 1;
            return Sign(x.size(), y.size());
        }
        case kTypeArray: return CompareContainers(e, *a.value.a, *b.value.a);
        case kTypeSet: return CompareContainers(e, *a.value.set, *b.value.set);
        case kTypeMultiset: return CompareContainers(e, *a.value.mset, *b.value.mset);
        case kTypeMap: return CompareContainers(e, *a.value.map, *b.value.map);
        case kTypeMultimap: return CompareContainers(e, *a.value.mmap, *b.value.mmap);
        case kTypePoint:
            for (int k = 0; k < 3; ++k)
                if (int c = CompareCells(e, a.value.pt[k], b.value.pt[k])) return c;
            return 0;
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

}  // namespace kelo
