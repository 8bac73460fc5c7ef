// Assignment with conversion: the rule behind "=", argument passing and variable initialisation.
#include <cstring>

#include "script/vm/script_engine.h"
#include "script/vm/value_ops.h"

namespace kelo {

namespace {

// Follows a reference value to the cell at the end of its chain; null when it leads nowhere.
Tdata* EndOfChain(ScriptEngine* e, const Tdata& v) {
    if (e == nullptr) return nullptr;
    int32_t i = e->resolve(v.value.ref);
    if (!e->validCell(i) || e->cells[i].dataType == kTypeReference) return nullptr;
    return &e->cells[i];
}

// A new cell holding a deep copy of the element cell. Elements that were never given a value
// (setArraySize leaves such cells) are copied as uninitialised cells rather than failing the
// whole container.
int32_t CopyElement(ScriptEngine& e, int32_t index) {
    int32_t s = e.resolve(index);
    int32_t n = e.allocCell();
    if (e.validCell(s) && e.cells[s].dataType != kTypeVoid) assign(e.cells[n], e.cells[s]);
    return n;
}

bool ToBool(const Tdata& s, bool& out) {
    switch (s.dataType) {
        case kTypeBool: out = s.value.b; return true;
        case kTypeInt: out = s.value.i != 0; return true;
        case kTypeDouble: out = s.value.d != 0.0; return true;
        case kTypeString: out = !s.value.s->empty(); return true;
        case kTypeArray: out = !s.value.a->empty(); return true;
        case kTypeSet: out = !s.value.set->empty(); return true;
        case kTypeMap: out = !s.value.map->empty(); return true;
        case kTypeMultiset: out = !s.value.mset->empty(); return true;
        case kTypeMultimap: out = !s.value.mmap->empty(); return true;
        default:
            // A point has no truth value; every handle is true when it names something.
            if (IsHandleType(s.dataType)) {
                out = s.dataType == kTypeBox || s.value.handle != nullptr;
                return true;
            }
            return false;
    }
}

bool ToDouble(const Tdata& s, double& out) {
    switch (s.dataType) {
        case kTypeBool: out = s.value.b ? 1.0 : 0.0; return true;
        case kTypeInt: out = s.value.i; return true;
        case kTypeDouble: out = s.value.d; return true;
        default: return false;
    }
}

bool HandlesFit(int32_t dst, int32_t src) {
    if (dst == src) return true;
    if (dst == kTypeBox || src == kTypeBox) return false;
    return (dst == kTypeHandle && IsHandleType(src)) || (src == kTypeHandle && IsHandleType(dst));
}

}  // namespace

bool assign(Tdata& dstIn, const Tdata& srcIn) {
    // The common case by far: a number into a variable of the same scalar type.
    if (dstIn.dataType == srcIn.dataType && dstIn.dataType >= kTypeBool && dstIn.dataType <= kTypeDouble) {
        dstIn.value = srcIn.value;
        return true;
    }
    ScriptEngine* e = GetCurrentScriptEngine();
    const Tdata* src = &srcIn;
    if (src->dataType == kTypeReference && (src = EndOfChain(e, srcIn)) == nullptr) return false;
    if (src->dataType == kTypeVoid) return false;
    Tdata* dst = &dstIn;
    if (dst->dataType == kTypeReference && (dst = EndOfChain(e, dstIn)) == nullptr) return false;
    if (dst == src) return true;
    if (dst->dataType == kTypeVoid) dst->changeDataType(src->dataType);
    const int32_t st = src->dataType;

    switch (dst->dataType) {
        case kTypeBool: {
            bool b = false;
            if (!ToBool(*src, b)) return false;
            dst->value.b = b;
            return true;
        }
        case kTypeInt: {
            double d = 0;
            if (st == kTypeInt) dst->value.i = src->value.i;
            else if (ToDouble(*src, d)) dst->value.i = ScriptDoubleToInt(d);
            else return false;
            return true;
        }
        case kTypeDouble: return ToDouble(*src, dst->value.d);
        case kTypeString:
            if (st != kTypeString) return false;
            *dst->value.s = *src->value.s;
            return true;
        case kTypeArray: {
            if (st != kTypeArray || e == nullptr) return false;
            const ScriptIndexList elements = *src->value.a;
            dst->value.a->clear();
            dst->value.a->reserve(elements.size());
            for (int32_t i : elements) dst->value.a->push_back(CopyElement(*e, i));
            return true;
        }
        case kTypeSet:
            if (st != kTypeSet || e == nullptr) return false;
            dst->value.set->clear();
            for (int32_t i : *src->value.set) dst->value.set->insert(CopyElement(*e, i));
            return true;
        case kTypeMultiset:
            if (st != kTypeMultiset || e == nullptr) return false;
            dst->value.mset->clear();
            for (int32_t i : *src->value.mset) dst->value.mset->insert(dst->value.mset->end(), CopyElement(*e, i));
            return true;
        case kTypeMap:
            if (st != kTypeMap || e == nullptr) return false;
            dst->value.map->clear();
            for (const auto& [k, v] : *src->value.map) {
                int32_t nv = CopyElement(*e, v);
                dst->value.map->emplace(CopyElement(*e, k), nv);
            }
            return true;
        case kTypeMultimap:
            if (st != kTypeMultimap || e == nullptr) return false;
            dst->value.mmap->clear();
            for (const auto& [k, v] : *src->value.mmap) {
                int32_t nv = CopyElement(*e, v);
                dst->value.mmap->emplace_hint(dst->value.mmap->end(), CopyElement(*e, k), nv);
            }
            return true;
        case kTypePoint: {
            if (st != kTypePoint || e == nullptr) return false;
            int32_t n[3];
            for (int k = 0; k < 3; ++k) n[k] = CopyElement(*e, src->value.pt[k]);
            std::memcpy(dst->value.pt, n, sizeof(n));
            return true;
        }
        default:
            if (!IsHandleType(dst->dataType) || !HandlesFit(dst->dataType, st)) return false;
            if (dst->dataType == kTypeBox) std::memcpy(dst->value.box, src->value.box, 4 * sizeof(double));
            else dst->value.handle = src->value.handle;
            return true;
    }
}

}  // namespace kelo
