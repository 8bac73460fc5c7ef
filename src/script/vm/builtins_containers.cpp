// Arrays, matrices, sets, multisets, maps, multimaps and points.
#include <algorithm>
#include <cmath>

#include "script/vm/builtins.h"
#include "script/vm/value_walk.h"

namespace kelo::detail {

namespace {

// Cells a deep copy of the value needs, so array_add can reserve them before copying.
int64_t CellsOf(ScriptEngine& e, int32_t i) {
    int64_t n = 0;
    std::vector<int32_t> work{i};
    while (!work.empty()) {
        const int32_t k = e.resolve(work.back());
        work.pop_back();
        ++n;
        if (!e.validCell(k) || !HoldsCells(e.cells[k].dataType)) continue;
        for (CellCursor c(e.cells[k]); !c.done(); c.next()) {
            if (IsPairContainer(c.type())) work.push_back(c.value());
            work.push_back(c.key());
        }
    }
    return n;
}

int32_t Copy(const SysCall& c, int i) {
    int32_t cell = c.e.allocCell();
    if (c.arg(i).dataType != kTypeVoid) assign(c.e.cells[cell], c.arg(i));
    return cell;
}

ScriptIndexList& List(const SysCall& c, int i) { return *c.typed(i, kTypeArray).value.a; }

int32_t Index(const SysCall& c, int i, size_t size, bool allowEnd = false) {
    const int32_t k = c.integer(i);
    if (k < 0 || static_cast<size_t>(k) > size || (!allowEnd && static_cast<size_t>(k) == size)) c.fail(10308);
    return k;
}

bool Result(const SysCall& c, const Tdata& v) {
    c.setResult(v);
    return true;
}

// ---- arrays ----
bool ArrayGetSize(const SysCall& c) { return Result(c, Tdata(static_cast<int>(List(c, 0).size()))); }
bool ArrayIsEmpty(const SysCall& c) { return Result(c, Tdata(List(c, 0).empty())); }
bool ArrayRemoveAll(const SysCall& c) {
    List(c, 0).clear();
    return true;
}
bool ArrayAdd(const SysCall& c) {
    List(c, 0);
    if (!c.e.reserve(static_cast<int32_t>(std::min<int64_t>(CellsOf(c.e, c.argIndex(1)) + 1, INT32_MAX - 2048))))
        c.fail(10100);
    const int32_t cell = Copy(c, 1);
    List(c, 0).push_back(cell);
    c.setReference(cell);
    return true;
}
bool ArrayRemoveAt(const SysCall& c) {
    ScriptIndexList& l = List(c, 0);
    const int32_t k = Index(c, 1, l.size());
    const int32_t cell = l[static_cast<size_t>(k)];
    l.erase(l.begin() + k);
    c.setReference(cell);
    return true;
}
bool ArrayInsertAt(const SysCall& c) {
    const int32_t k = Index(c, 1, List(c, 0).size(), true);
    const int32_t cell = Copy(c, 2);
    ScriptIndexList& l = List(c, 0);
    l.insert(l.begin() + k, cell);
    c.setReference(cell);
    return true;
}
bool ArraySetSize(const SysCall& c) {
    List(c, 0);
    const int32_t n = c.integer(1);
    if (n > 0 && !c.e.reserve(n)) c.fail(10100);
    c.arg(0).setArraySize(n);
    return true;
}
bool ArrayGetAt(const SysCall& c) {
    ScriptIndexList& l = List(c, 0);
    c.setReference(l[static_cast<size_t>(Index(c, 1, l.size()))]);
    return true;
}
bool ArraySetAt(const SysCall& c) {
    ScriptIndexList& l = List(c, 0);
    const int32_t cell = l[static_cast<size_t>(Index(c, 1, l.size()))];
    if (!assign(c.e.cells[cell], c.arg(2))) c.fail(10309);
    c.setReference(cell);
    return true;
}
bool ArrayAppend(const SysCall& c) {
    const ScriptIndexList src = List(c, 1);
    List(c, 0);
    for (int32_t k : src) {
        int32_t cell = c.e.allocCell();
        int32_t from = c.e.resolve(k);
        if (c.e.validCell(from) && c.e.cells[from].dataType != kTypeVoid) assign(c.e.cells[cell], c.e.cells[from]);
        List(c, 0).push_back(cell);
    }
    return true;
}
// Ascending by the order of values; a true flag sorts descending.
bool ArraySort(const SysCall& c) {
    ScriptIndexList& l = List(c, 0);
    bool descending = false;
    if (c.argc == 2) descending = c.typed(1, kTypeBool).value.b;
    for (int32_t k : l) {
        int32_t t = c.e.cells[c.e.resolve(k)].dataType;
        if (t != kTypeInt && t != kTypeDouble && t != kTypeString) c.fail(10304);
    }
    ScriptEngine& e = c.e;
    std::stable_sort(l.begin(), l.end(), [&e, descending](int32_t a, int32_t b) {
        int r = compare(e.cells[a], e.cells[b]);
        return descending ? r > 0 : r < 0;
    });
    return true;
}

// ---- matrices: arrays of row arrays of numbers ----
using Matrix = std::vector<std::vector<double>>;

bool ReadMatrix(const SysCall& c, int i, Matrix& m) {
    m.clear();
    for (int32_t r : List(c, i)) {
        const Tdata& row = c.e.cells[c.e.resolve(r)];
        std::vector<double> values;
        if (row.dataType == kTypeArray) {
            for (int32_t k : *row.value.a) {
                const Tdata& v = c.e.cells[c.e.resolve(k)];
                if (v.dataType == kTypeInt) values.push_back(v.value.i);
                else if (v.dataType == kTypeDouble) values.push_back(v.value.d);
                else c.fail(10304);
            }
        } else if (row.dataType == kTypeInt || row.dataType == kTypeDouble) {
            values.push_back(row.dataType == kTypeInt ? row.value.i : row.value.d);  // a column vector
        } else {
            c.fail(10304);
        }
        if (!m.empty() && values.size() != m[0].size()) return false;
        m.push_back(std::move(values));
    }
    return true;
}

Tdata MakeMatrix(const SysCall& c, const Matrix& m) {
    ScriptIndexList rows;
    for (const auto& r : m) {
        ScriptIndexList cols;
        for (double v : r) cols.push_back(c.e.allocCopy(Tdata(v)));
        rows.push_back(c.e.allocCopy(Tdata(cols)));
    }
    return Tdata(rows);
}

bool MatrixAddSub(const SysCall& c, double sign) {
    Matrix a, b;
    if (!ReadMatrix(c, 0, a) || !ReadMatrix(c, 1, b) || a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].size() != b[i].size()) return false;
        for (size_t j = 0; j < a[i].size(); ++j) a[i][j] += sign * b[i][j];
    }
    return Result(c, MakeMatrix(c, a));
}
bool MatrixAdd(const SysCall& c) { return MatrixAddSub(c, 1); }
bool MatrixSubtract(const SysCall& c) { return MatrixAddSub(c, -1); }
bool MatrixMultiply(const SysCall& c) {
    Matrix a, b;
    if (!ReadMatrix(c, 0, a) || !ReadMatrix(c, 1, b) || a.empty() || b.empty() || a[0].size() != b.size()) return false;
    Matrix p(a.size(), std::vector<double>(b[0].size(), 0.0));
    for (size_t i = 0; i < a.size(); ++i)
        for (size_t k = 0; k < b.size(); ++k)
            for (size_t j = 0; j < b[0].size(); ++j) p[i][j] += a[i][k] * b[k][j];
    return Result(c, MakeMatrix(c, p));
}
bool MatrixTranspose(const SysCall& c) {
    Matrix a;
    if (!ReadMatrix(c, 0, a)) return false;
    Matrix t(a.empty() ? 0 : a[0].size(), std::vector<double>(a.size()));
    for (size_t i = 0; i < a.size(); ++i)
        for (size_t j = 0; j < a[i].size(); ++j) t[j][i] = a[i][j];
    return Result(c, MakeMatrix(c, t));
}
// Solves A x = b with partial pivoting into the third argument (an array of doubles); a singular
// or ill-shaped system gives false and leaves x alone.
bool MatrixGauss(const SysCall& c) {
    Matrix a, bm;
    if (!ReadMatrix(c, 0, a) || !ReadMatrix(c, 1, bm)) return false;
    const size_t n = a.size();
    if (n == 0 || a[0].size() != n || bm.size() != n) return Result(c, Tdata(false));
    std::vector<double> b(n);
    for (size_t i = 0; i < n; ++i) {
        if (bm[i].size() != 1) return Result(c, Tdata(false));
        b[i] = bm[i][0];
    }
    for (size_t col = 0; col < n; ++col) {
        size_t piv = col;
        for (size_t r = col + 1; r < n; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[piv][col])) piv = r;
        if (std::fabs(a[piv][col]) < 1e-12) return Result(c, Tdata(false));
        std::swap(a[piv], a[col]);
        std::swap(b[piv], b[col]);
        for (size_t r = col + 1; r < n; ++r) {
            double f = a[r][col] / a[col][col];
            for (size_t k = col; k < n; ++k) a[r][k] -= f * a[col][k];
            b[r] -= f * b[col];
        }
    }
    std::vector<double> x(n);
    for (size_t i = n; i-- > 0;) {
        double s = b[i];
        for (size_t k = i + 1; k < n; ++k) s -= a[i][k] * x[k];
        x[i] = s / a[i][i];
    }
    ScriptIndexList cells;
    for (double v : x) cells.push_back(c.e.allocCopy(Tdata(v)));
    Tdata out(cells);
    if (!assign(c.arg(2), out)) c.fail(10304);
    return Result(c, Tdata(true));
}

// ---- points ----
template <int K>
bool PointCoord(const SysCall& c) {
    c.setReference(c.typed(0, kTypePoint).value.pt[K]);
    return true;
}

// ---- ordered containers ----
// Access to the four tree kinds through one interface: keys are the set elements or map keys.
template <typename C>
C& Tree(const SysCall& c, int i, int32_t type) {
    Tdata& v = c.typed(i, type);
    if constexpr (std::is_same_v<C, ScriptIndexSet>) return *v.value.set;
    else if constexpr (std::is_same_v<C, ScriptIndexMultiset>) return *v.value.mset;
    else if constexpr (std::is_same_v<C, ScriptIndexMap>) return *v.value.map;
    else return *v.value.mmap;
}

template <typename C>
constexpr int32_t TypeOf() {
    if constexpr (std::is_same_v<C, ScriptIndexSet>) return kTypeSet;
    else if constexpr (std::is_same_v<C, ScriptIndexMultiset>) return kTypeMultiset;
    else if constexpr (std::is_same_v<C, ScriptIndexMap>) return kTypeMap;
    else return kTypeMultimap;
}

template <typename C>
constexpr bool IsMap() {
    return std::is_same_v<C, ScriptIndexMap> || std::is_same_v<C, ScriptIndexMultimap>;
}

template <typename It>
int32_t KeyOf(It it) {
    if constexpr (std::is_same_v<std::decay_t<decltype(*it)>, int32_t>) return *it;
    else return it->first;
}

template <typename C>
bool Size(const SysCall& c) {
    return Result(c, Tdata(static_cast<int>(Tree<C>(c, 0, TypeOf<C>()).size())));
}
template <typename C>
bool IsEmpty(const SysCall& c) {
    return Result(c, Tdata(Tree<C>(c, 0, TypeOf<C>()).empty()));
}
template <typename C>
bool Clear(const SysCall& c) {
    Tree<C>(c, 0, TypeOf<C>()).clear();
    return true;
}
template <typename C>
bool AddElem(const SysCall& c) {
    C& t = Tree<C>(c, 0, TypeOf<C>());
    // One search: the place found for the key is the insertion hint (the copies compare equal to
    // the key, and copying leaves the tree alone even when the store grows).
    if constexpr (std::is_same_v<C, ScriptIndexMap> || std::is_same_v<C, ScriptIndexSet>) {
        const auto at = t.lower_bound(c.argIndex(1));
        if (at != t.end() && !t.key_comp()(c.argIndex(1), KeyOf(at))) return true;
        if constexpr (IsMap<C>()) {
            int32_t value = Copy(c, 2);
            int32_t key = Copy(c, 1);
            t.emplace_hint(at, key, value);
        } else {
            t.insert(at, Copy(c, 1));
        }
    } else if constexpr (IsMap<C>()) {
        int32_t value = Copy(c, 2);
        int32_t key = Copy(c, 1);
        t.emplace(key, value);
    } else {
        t.insert(Copy(c, 1));
    }
    return true;
}
template <typename C>
bool Remove(const SysCall& c) {
    C& t = Tree<C>(c, 0, TypeOf<C>());
    auto it = t.find(c.argIndex(1));
    if (it == t.end()) return Result(c, Tdata(false));
    t.erase(it);  // one element, also for the multi kinds
    return Result(c, Tdata(true));
}
template <typename C>
bool Contains(const SysCall& c) {
    return Result(c, Tdata(Tree<C>(c, 0, TypeOf<C>()).count(c.argIndex(1)) != 0));
}
template <typename C>
bool Count(const SysCall& c) {
    return Result(c, Tdata(static_cast<int>(Tree<C>(c, 0, TypeOf<C>()).count(c.argIndex(1)))));
}

enum class Nav { Ceiling, Higher, Lower, Floor, First, Last };

template <typename C, Nav N>
bool Navigate(const SysCall& c) {
    C& t = Tree<C>(c, 0, TypeOf<C>());
    auto it = t.end();
    const int outArg = (N == Nav::First || N == Nav::Last) ? 1 : 2;
    switch (N) {
        case Nav::Ceiling: it = t.lower_bound(c.argIndex(1)); break;
        case Nav::Higher: it = t.upper_bound(c.argIndex(1)); break;
        case Nav::Lower:
            it = t.lower_bound(c.argIndex(1));
            it = it == t.begin() ? t.end() : std::prev(it);
            break;
        case Nav::Floor:
            it = t.upper_bound(c.argIndex(1));
            it = it == t.begin() ? t.end() : std::prev(it);
            break;
        case Nav::First: it = t.begin(); break;
        case Nav::Last: it = t.empty() ? t.end() : std::prev(t.end()); break;
    }
    if (it == t.end()) return Result(c, Tdata(false));
    if (!assign(c.arg(outArg), c.e.cells[KeyOf(it)])) c.fail(10304);
    return Result(c, Tdata(true));
}

template <typename C>
bool GetKeys(const SysCall& c) {
    ScriptIndexList l;
    for (auto it = Tree<C>(c, 0, TypeOf<C>()).begin(); it != Tree<C>(c, 0, TypeOf<C>()).end(); ++it) l.push_back(KeyOf(it));
    return Result(c, Tdata(l));
}
template <typename C>
bool GetValues(const SysCall& c) {
    ScriptIndexList l;
    for (const auto& kv : Tree<C>(c, 0, TypeOf<C>())) l.push_back(kv.second);
    return Result(c, Tdata(l));
}
template <typename C>
bool GetItems(const SysCall& c) {
    ScriptIndexList l;
    for (const auto& kv : Tree<C>(c, 0, TypeOf<C>())) {
        l.push_back(kv.first);
        l.push_back(kv.second);
    }
    return Result(c, Tdata(l));
}

template <typename C>
bool AddAll(const SysCall& c) {
    Tree<C>(c, 0, TypeOf<C>());
    const Tdata& src = c.arg(1);
    std::vector<std::pair<int32_t, int32_t>> items;
    if constexpr (IsMap<C>()) {
        if (src.dataType == kTypeMap) for (auto kv : *src.value.map) items.push_back(kv);
        else if (src.dataType == kTypeMultimap) for (auto kv : *src.value.mmap) items.push_back(kv);
        else c.fail(10304);
    } else {
        if (src.dataType == kTypeSet) for (int32_t k : *src.value.set) items.push_back({k, -1});
        else if (src.dataType == kTypeMultiset) for (int32_t k : *src.value.mset) items.push_back({k, -1});
        else if (src.dataType == kTypeArray) for (int32_t k : *src.value.a) items.push_back({c.e.resolve(k), -1});
        else c.fail(10304);
    }
    for (auto [k, v] : items) {
        C& t = Tree<C>(c, 0, TypeOf<C>());
        if constexpr (std::is_same_v<C, ScriptIndexSet> || std::is_same_v<C, ScriptIndexMap>)
            if (t.count(k)) continue;
        auto copyOf = [&](int32_t from) {
            int32_t cell = c.e.allocCell();
            if (c.e.cells[from].dataType != kTypeVoid) assign(c.e.cells[cell], c.e.cells[from]);
            return cell;
        };
        if constexpr (IsMap<C>()) {
            int32_t value = copyOf(v);
            int32_t key = copyOf(k);
            t.emplace(key, value);
        } else {
            t.insert(copyOf(k));
        }
    }
    return true;
}

bool MapGet(const SysCall& c) {
    ScriptIndexMap& m = Tree<ScriptIndexMap>(c, 0, kTypeMap);
    auto it = m.find(c.argIndex(1));
    if (it == m.end()) return Result(c, Tdata(false));
    if (!assign(c.arg(2), c.e.cells[it->second])) c.fail(10304);
    return Result(c, Tdata(true));
}
bool MapIndex(const SysCall& c) {
    ScriptIndexMap& m = Tree<ScriptIndexMap>(c, 0, kTypeMap);
    auto it = m.find(c.argIndex(1));
    if (it == m.end()) c.fail(10308);
    c.setReference(it->second);
    return true;
}
bool MultimapGet(const SysCall& c) {
    ScriptIndexMultimap& m = Tree<ScriptIndexMultimap>(c, 0, kTypeMultimap);
    ScriptIndexList l;
    auto [b, e] = m.equal_range(c.argIndex(1));
    for (auto it = b; it != e; ++it) l.push_back(it->second);
    return Result(c, Tdata(l));
}
bool MultimapContainsKeyValue(const SysCall& c) {
    ScriptIndexMultimap& m = Tree<ScriptIndexMultimap>(c, 0, kTypeMultimap);
    auto [b, e] = m.equal_range(c.argIndex(1));
    for (auto it = b; it != e; ++it)
        if (compare(c.e.cells[it->second], c.arg(2)) == 0) return Result(c, Tdata(true));
    return Result(c, Tdata(false));
}

using S = ScriptIndexSet;
using MS = ScriptIndexMultiset;
using M = ScriptIndexMap;
using MM = ScriptIndexMultimap;

}  // namespace

SysFn ContainerFunction(int32_t n) {
    switch (n) {
        case 71: return ArrayGetSize;
        case 72: return ArrayRemoveAll;
        case 73: return ArrayAdd;
        case 74: return ArrayRemoveAt;
        case 75: return ArrayInsertAt;
        case 76: return ArraySetSize;
        case 77: return ArrayGetAt;
        case 78: return ArraySetAt;
        case 79: return ArrayAppend;
        case 80: return PointCoord<0>;
        case 81: return PointCoord<1>;
        case 82: return PointCoord<2>;
        case 104: return ArraySort;
        case 105: return MatrixAdd;
        case 106: return MatrixSubtract;
        case 107: return MatrixMultiply;
        case 108: return MatrixTranspose;
        case 109: return MatrixGauss;
        case 110: return Size<S>;
        case 111: return Size<M>;
        case 112: return Clear<S>;
        case 113: return Clear<M>;
        case 114: return AddElem<S>;
        case 115: return AddElem<M>;
        case 116: return Remove<S>;
        case 117: return Remove<M>;
        case 118: return Contains<S>;
        case 119: return Contains<M>;
        case 120: return MapGet;
        case 121: return Navigate<S, Nav::Ceiling>;
        case 122: return Navigate<M, Nav::Ceiling>;
        case 123: return Navigate<S, Nav::Higher>;
        case 124: return Navigate<M, Nav::Higher>;
        case 125: return Navigate<S, Nav::Lower>;
        case 126: return Navigate<M, Nav::Lower>;
        case 127: return Navigate<S, Nav::Floor>;
        case 128: return Navigate<M, Nav::Floor>;
        case 129: return GetKeys<S>;
        case 130: return GetKeys<M>;
        case 131: return GetValues<M>;
        case 132: return GetItems<M>;
        case 133: return AddAll<S>;
        case 134: return AddAll<M>;
        case 135: return Navigate<S, Nav::First>;
        case 136: return Navigate<M, Nav::First>;
        case 137: return Navigate<S, Nav::Last>;
        case 138: return Navigate<M, Nav::Last>;
        case 139: return ArrayIsEmpty;
        case 140: return IsEmpty<S>;
        case 141: return IsEmpty<M>;
        case 142: return IsEmpty<MS>;
        case 143: return IsEmpty<MM>;
        case 144: return Size<MS>;
        case 145: return Size<MM>;
        case 146: return Clear<MS>;
        case 147: return Clear<MM>;
        case 148: return AddElem<MS>;
        case 149: return AddElem<MM>;
        case 150: return Remove<MS>;
        case 151: return Remove<MM>;
        case 152: return Count<MS>;
        case 153: return Count<MM>;
        case 154: return MultimapGet;
        case 155: return Navigate<MS, Nav::Ceiling>;
        case 156: return Navigate<MM, Nav::Ceiling>;
        case 157: return Navigate<MS, Nav::Higher>;
        case 158: return Navigate<MM, Nav::Higher>;
        case 159: return Navigate<MS, Nav::Lower>;
        case 160: return Navigate<MM, Nav::Lower>;
        case 161: return Navigate<MS, Nav::Floor>;
        case 162: return Navigate<MM, Nav::Floor>;
        case 163: return GetKeys<MS>;
        case 164: return GetKeys<MM>;
        case 165: return GetValues<MM>;
        case 166: return GetItems<MM>;
        case 167: return AddAll<MS>;
        case 168: return AddAll<MM>;
        case 169: return Navigate<MS, Nav::First>;
        case 170: return Navigate<MM, Nav::First>;
        case 171: return Navigate<MS, Nav::Last>;
        case 172: return Navigate<MM, Nav::Last>;
        case 173: return Contains<MS>;
        case 174: return Contains<MM>;
        case 175: return MultimapContainsKeyValue;
        case 176: return ArrayGetAt;
        case 177: return MapIndex;
        default: return nullptr;
    }
}

}  // namespace kelo::detail
