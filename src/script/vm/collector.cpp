// Mark and sweep over the value store. Roots are the slots of the variable and argument stacks.
// References are short-circuited on the way, so a reference cell that only served as an alias
// is itself reclaimed once nothing names it.
#include <vector>

#include "script/vm/script_engine.h"
#include "script/vm/value_walk.h"

namespace kelo {

namespace {

class Marker {
public:
    explicit Marker(ScriptEngine& e) : e_(e), marked_(static_cast<size_t>(e.capacity), 0) {}

    // Rewrites a slot that names a reference to the end of its chain and marks the cell. A
    // reference that leads nowhere yet (a by-reference parameter not bound so far) stays.
    void markSlot(int32_t& slot) { markElement(slot); }

    void drain() {
        while (!work_.empty()) {
            int32_t i = work_.back();
            work_.pop_back();
            scan(e_.cells[i]);
        }
    }

    bool isMarked(int32_t i) const { return marked_[static_cast<size_t>(i)] != 0; }

private:
    void mark(int32_t i) {
        if (!e_.validCell(i) || marked_[static_cast<size_t>(i)]) return;
        marked_[static_cast<size_t>(i)] = 1;
        // Most live cells are scalars (map keys and values, array elements): nothing to scan.
        const int32_t t = e_.cells[i].dataType;
        if (detail::HoldsCells(t) || t == kTypeReference) work_.push_back(i);
    }

    // Marks an element index, rewriting it in place; reports whether it changed.
    bool markElement(int32_t& i) {
        int32_t end = e_.resolve(i);
        bool changed = end != i && e_.validCell(end) && e_.cells[end].dataType != kTypeReference;
        if (changed) i = end;
        mark(i);
        return changed;
    }

    // Marks through a key without rewriting it; true when the stored index must be rewritten.
    bool markKey(int32_t i) { return markElement(i); }

    template <typename S>
    void scanSet(S*& set) {
        // Rewritten elements are rare; the tree is copied only when there is one.
        bool changed = false;
        for (int32_t i : *set) changed |= markKey(i);
        if (!changed) return;
        std::vector<int32_t> elems(set->begin(), set->end());
        for (int32_t& i : elems) markElement(i);
        // Tree nodes are keyed by index, so a rewritten element means a rebuilt tree. The values
        // are unchanged, so the order and, for multisets, the run of equal elements are kept.
        S rebuilt;
        for (int32_t i : elems) rebuilt.insert(rebuilt.end(), i);
        set->swap(rebuilt);
    }

    template <typename M>
    void scanMap(M*& map) {
        bool changed = false;
        for (auto& kv : *map) {
            changed |= markKey(kv.first);
            markElement(kv.second);  // a value orders nothing: rewritten in place
        }
        if (!changed) return;
        std::vector<std::pair<int32_t, int32_t>> pairs(map->begin(), map->end());
        for (auto& [k, v] : pairs) markElement(k);
        M rebuilt;
        for (const auto& kv : pairs) rebuilt.emplace_hint(rebuilt.end(), kv.first, kv.second);
        map->swap(rebuilt);
    }

    void scan(Tdata& v) {
        switch (v.dataType) {
            case kTypeArray:
                for (int32_t& i : *v.value.a) markElement(i);
                break;
            case kTypePoint:
                for (int k = 0; k < 3; ++k) markElement(v.value.pt[k]);
                break;
            case kTypeSet: scanSet(v.value.set); break;
            case kTypeMultiset: scanSet(v.value.mset); break;
            case kTypeMap: scanMap(v.value.map); break;
            case kTypeMultimap: scanMap(v.value.mmap); break;
            case kTypeReference:
                // Only a reference that could not be seen past (unbound or a cycle) gets here.
                mark(v.value.ref);
                break;
            default: break;
        }
    }

    ScriptEngine& e_;
    std::vector<uint8_t> marked_;
    std::vector<int32_t> work_;
};

}  // namespace

int32_t ScriptEngine::collect() {
    Marker m(*this);
    for (int32_t s = 0; s < varTop; ++s) m.markSlot(varStack[static_cast<size_t>(s)]);
    for (int32_t s = 0; s < argTop; ++s) m.markSlot(argStack[static_cast<size_t>(s)]);
    for (int32_t c : constList) m.markSlot(c);
    m.drain();
    // Cells never handed out stay free at their own positions at the bottom of the stack. The
    // sweep frees payloads but writes a page only where something needs clearing: a free cell's
    // scalar is never read (allocation resets the cell), and never-used cells past a growth stay
    // zero pages.
    freeCount = untouchedBelow;
    for (int32_t i = untouchedBelow; i < capacity; ++i) {
        if (m.isMarked(i)) continue;
        if (Tdata::OwnsPayload(cells[i].dataType)) cells[i].changeDataType(kTypeVoid);
        if (cellFlags[static_cast<size_t>(i)] != 0) cellFlags[static_cast<size_t>(i)] = 0;
        freeStack[freeCount++] = i;
    }
    return freeCount;
}

}  // namespace kelo

