// Assignment with conversion: the rule behind "=", argument passing and variable initialisation.
#include <algorithm>
#include <cstring>
#include <vector>

#include "script/vm/script_engine.h"
#include "script/vm/value_ops.h"
#include "script/vm/value_walk.h"

namespace kelo {

namespace {

using detail::CellCursor;
using detail::HoldsCells;
using detail::IsPairContainer;

// Follows a reference value to the cell at the end of its chain; null when it leads nowhere.
Tdata* EndOfChain(ScriptEngine* e, const Tdata& v) {
    if (e == nullptr) return nullptr;
    int32_t i = e->resolve(v.value.ref);
    if (!e->validCell(i) || e->cells[i].dataType == kTypeReference) return nullptr;
    return &e->cells[i];
}

// The deep copy behind container and point assignment. It reads the source through payload
// pointers and writes only into fresh cells, so it never recurses natively, tolerates the store
// moving when it grows, and is not confused when the destination lies inside the source (a[1] =
// a copies the old a). Ordered containers are filled last, innermost first, because their order
// compares the contents of elements that must be complete by then.
class DeepCopier {
public:
    explicit DeepCopier(ScriptEngine& e) : e_(e) {}

    // Fills into (a fresh, empty payload of src's type, outside the store) with copies of src's
    // elements.
    void run(const Tdata& src, Tdata& into) {
        // The top level's cells are wanted at once; nested ones grow the store as they come.
        // src may be a cell: only its payload (which never moves) is used once the store grows.
        jobs_.push_back({src.dataType, src.value, into.value});
        const size_t top = CellCursor(src).size() * (IsPairContainer(src.dataType) ? 2 : 1);
        if (top > 0) e_.reserve(static_cast<int32_t>(std::min<size_t>(top, kScriptMaxCells)));
        while (!jobs_.empty()) {
            const Job j = jobs_.back();
            jobs_.pop_back();
            fill(j);
        }
        for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) insert(*it);
    }

private:
    struct Job {
        int32_t type;
        Tdata::Value from, to;
    };
    struct Pending {
        int32_t type;
        Tdata::Value to;
        size_t first, count;  // range of flat_
    };

    void fill(const Job& j) {
        CellCursor c(j.type, j.from);
        switch (j.type) {
            case kTypeArray:
                j.to.a->reserve(c.size());
                for (; !c.done(); c.next()) j.to.a->push_back(copyCell(c.key()));
                return;
            case kTypePoint:
                for (int k = 0; !c.done(); c.next(), ++k) j.to.pt[k] = copyCell(c.key());
                return;
            default: {
                const size_t first = flat_.size();
                for (; !c.done(); c.next()) {
                    if (IsPairContainer(j.type)) flat_.push_back(copyCell(c.value()));  // value cell first
                    flat_.push_back(copyCell(c.key()));
                }
                pending_.push_back({j.type, j.to, first, flat_.size() - first});
                return;
            }
        }
    }

    void insert(const Pending& p) {
        const int32_t* f = flat_.data() + p.first;
        switch (p.type) {
            case kTypeSet:
                for (size_t k = 0; k < p.count; ++k) p.to.set->insert(p.to.set->end(), f[k]);
                break;
            case kTypeMultiset:
                for (size_t k = 0; k < p.count; ++k) p.to.mset->insert(p.to.mset->end(), f[k]);
                break;
            case kTypeMap:
                for (size_t k = 0; k + 1 < p.count; k += 2) p.to.map->emplace_hint(p.to.map->end(), f[k + 1], f[k]);
                break;
            case kTypeMultimap:
                for (size_t k = 0; k + 1 < p.count; k += 2)
                    p.to.mmap->emplace_hint(p.to.mmap->end(), f[k + 1], f[k]);
                break;
            default: break;
        }
    }

    // A new cell holding a copy of the element cell. Elements that were never given a value
    // (setArraySize leaves such cells) and unbound references become uninitialised cells rather
    // than failing the whole container.
    int32_t copyCell(int32_t index) {
        if (e_.freeCount < kScriptReserveSlack) e_.grow();
        const int32_t n = e_.allocCell();
        const int32_t s = e_.resolve(index);
        if (!e_.validCell(s)) return n;
        const Tdata& v = e_.cells[s];
        Tdata& d = e_.cells[n];
        if (HoldsCells(v.dataType)) {
            d.setDataType(v.dataType);
            jobs_.push_back({v.dataType, v.value, d.value});
        } else if (v.dataType != kTypeVoid && v.dataType != kTypeReference) {
            d.copyFrom(v);
        }
        return n;
    }

    ScriptEngine& e_;
    std::vector<Job> jobs_;
    std::vector<Pending> pending_;
    std::vector<int32_t> flat_;
};

// Where a value lives in the store, or -1 when it is outside (a local or an instruction's).
int64_t StoreIndex(const ScriptEngine& e, const Tdata* v) {
    const uintptr_t p = reinterpret_cast<uintptr_t>(v), base = reinterpret_cast<uintptr_t>(e.cells);
    if (p < base || p >= base + static_cast<uintptr_t>(e.capacity) * sizeof(Tdata)) return -1;
    return static_cast<int64_t>((p - base) / sizeof(Tdata));
}

// dst = deep copy of src, for two values of the same cell-holding type.
void DeepAssign(ScriptEngine& e, Tdata* dst, const Tdata& src) {
    const int64_t at = StoreIndex(e, dst);
    Tdata fresh;
    fresh.setDataType(src.dataType);
    DeepCopier(e).run(src, fresh);
    if (at >= 0) dst = &e.cells[at];  // the copy may have moved the store
    std::swap(dst->value, fresh.value);  // fresh takes the old payload away and frees it
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
        case kTypeArray:
        case kTypeSet:
        case kTypeMultiset:
        case kTypeMap:
        case kTypeMultimap:
        case kTypePoint:
            if (st != dst->dataType || e == nullptr) return false;
            DeepAssign(*e, dst, *src);
            return true;
        default:
            if (!IsHandleType(dst->dataType) || !HandlesFit(dst->dataType, st)) return false;
            if (dst->dataType == kTypeBox) std::memcpy(dst->value.box, src->value.box, 4 * sizeof(double));
            else dst->value.handle = src->value.handle;
            return true;
    }
}

}  // namespace kelo
