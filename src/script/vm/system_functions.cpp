#include "script/vm/system_functions.h"

#include <unordered_map>
#include <vector>

#include "script/vm/builtins.h"

namespace kelo {

namespace {

constexpr int kAny = -1;

struct Entry {
    const char* name;
    int minArgs;
    int maxArgs;  // kAny: no upper limit
};

// In number order; the numbers are part of the compiled form of scripts.
const Entry kTable[kScriptSystemFunctionCount] = {
    {"#op_isEqual", 2, 2}, {"#op_isNotEqual", 2, 2}, {"#op_isSmaller", 2, 2}, {"#op_isSmallerOrEqual", 2, 2},
    {"#op_isLarger", 2, 2}, {"#op_isLargerOrEqual", 2, 2}, {"#op_add", 2, 2}, {"#op_subtract", 2, 2},
    {"#op_or", 2, 2}, {"#op_mul", 2, 2}, {"#op_div", 2, 2}, {"#op_mod", 2, 2}, {"#op_xor", 2, 2},
    {"#op_and", 2, 2}, {"#op_not", 1, 1}, {"print", 0, kAny}, {"println", 0, kAny}, {"readInteger", 0, 1},
    {"readString", 0, 1}, {"readDouble", 0, 1}, {"sin", 1, 1}, {"cos", 1, 1}, {"tan", 1, 1}, {"asin", 1, 1},
    {"acos", 1, 1}, {"atan", 1, 1}, {"atan2", 2, 2}, {"sqrt", 1, 1}, {"pow", 2, 2}, {"message", 1, 1},
    {"parseInt", 1, 1}, {"parseDouble", 1, 1}, {"toString", 1, 1}, {"getDataType", 1, 1}, {"#op_bitnot", 1, 1},
    {"#op_equal", 2, 2}, {"#op_addequal", 2, 2}, {"#op_subtractequal", 2, 2}, {"#op_mulequal", 2, 2},
    {"#op_divequal", 2, 2}, {"#op_modequal", 2, 2}, {"#op_andequal", 2, 2}, {"#op_xorequal", 2, 2},
    {"#op_orequal", 2, 2}, {"#op_preinc", 1, 1}, {"#op_predec", 1, 1}, {"#op_postinc", 1, 1},
    {"#op_postdec", 1, 1}, {"#op_positive", 1, 1}, {"#op_negative", 1, 1}, {"#op_shiftleft", 2, 2},
    {"#op_shiftright", 2, 2}, {"#op_shiftleftequal", 2, 2}, {"#op_shiftrightequal", 2, 2}, {"chr", 1, 1},
    {"ord", 1, 1}, {"random", 0, 1}, {"randomize", 0, 0}, {"abs", 1, 1}, {"atoi", 1, 1}, {"atof", 1, 1},
    {"exit", 0, 1}, {"exp", 1, 1}, {"log", 1, 1}, {"log10", 1, 1}, {"ceil", 1, 1}, {"floor", 1, 1},
    {"#op_initArray", 0, kAny}, {"reserveMemory", 0, 1}, {"toInt", 1, 1}, {"toDouble", 1, 1},
    // 71
    {"array_getSize", 1, 1}, {"array_removeAll", 1, 1}, {"array_add", 2, 2}, {"array_removeAt", 2, 2},
    {"array_insertAt", 3, 3}, {"array_setSize", 2, 2}, {"array_getAt", 2, 2}, {"array_setAt", 3, 3},
    {"array_append", 2, 2}, {"klPoint_x", 1, 1}, {"klPoint_y", 1, 1}, {"klPoint_z", 1, 1},
    // 83
    {"string_getLength", 1, 1}, {"string_mid", 2, 3}, {"string_left", 2, 2}, {"string_right", 2, 2},
    {"string_find", 2, 3}, {"string_replace", 3, 3}, {"string_format", 1, kAny}, {"string_makeUpper", 1, 1},
    {"string_makeLower", 1, 1}, {"string_makeReverse", 1, 1}, {"string_compare", 2, 2},
    {"string_compareNoCase", 2, 2}, {"string_reverseFind", 2, 2}, {"string_trimLeft", 1, 2},
    {"string_trimRight", 1, 2}, {"string_tokenize", 3, 3}, {"string_setAt", 3, 3}, {"string_isEmpty", 1, 1},
    {"string_getAt", 2, 2}, {"string_insertAt", 3, 3}, {"string_removeAt", 3, 3},
    // 104
    {"array_sort", 1, 2}, {"array_mtAdd", 2, 2}, {"array_mtSubtract", 2, 2}, {"array_mtMultiply", 2, 2},
    {"array_mtTranspose", 1, 1}, {"array_mtGauss", 3, 3},
    // 110
    {"set_size", 1, 1}, {"map_size", 1, 1}, {"set_clear", 1, 1}, {"map_clear", 1, 1}, {"set_add", 2, 2},
    {"map_add", 3, 3}, {"set_remove", 2, 2}, {"map_remove", 2, 2}, {"set_contains", 2, 2},
    {"map_containsKey", 2, 2}, {"map_get", 3, 3}, {"set_ceiling", 3, 3}, {"map_ceilingKey", 3, 3},
    {"set_higher", 3, 3}, {"map_higherKey", 3, 3}, {"set_lower", 3, 3}, {"map_lowerKey", 3, 3},
    {"set_floor", 3, 3}, {"map_floorKey", 3, 3}, {"set_getKeys", 1, 1}, {"map_getKeys", 1, 1},
    {"map_getValues", 1, 1}, {"map_getItems", 1, 1}, {"set_addAll", 2, 2}, {"map_addAll", 2, 2},
    {"set_first", 2, 2}, {"map_firstKey", 2, 2}, {"set_last", 2, 2}, {"map_lastKey", 2, 2},
    // 139
    {"array_isEmpty", 1, 1}, {"set_isEmpty", 1, 1}, {"map_isEmpty", 1, 1}, {"multiset_isEmpty", 1, 1},
    {"multimap_isEmpty", 1, 1}, {"multiset_size", 1, 1}, {"multimap_size", 1, 1}, {"multiset_clear", 1, 1},
    {"multimap_clear", 1, 1}, {"multiset_add", 2, 2}, {"multimap_add", 3, 3}, {"multiset_remove", 2, 2},
    {"multimap_remove", 2, 2}, {"multiset_count", 2, 2}, {"multimap_countKey", 2, 2}, {"multimap_get", 2, 2},
    {"multiset_ceiling", 3, 3}, {"multimap_ceilingKey", 3, 3}, {"multiset_higher", 3, 3},
    {"multimap_higherKey", 3, 3}, {"multiset_lower", 3, 3}, {"multimap_lowerKey", 3, 3},
    {"multiset_floor", 3, 3}, {"multimap_floorKey", 3, 3}, {"multiset_getKeys", 1, 1},
    {"multimap_getKeys", 1, 1}, {"multimap_getValues", 1, 1}, {"multimap_getItems", 1, 1},
    {"multiset_addAll", 2, 2}, {"multimap_addAll", 2, 2}, {"multiset_first", 2, 2}, {"multimap_firstKey", 2, 2},
    {"multiset_last", 2, 2}, {"multimap_lastKey", 2, 2}, {"multiset_contains", 2, 2},
    {"multimap_containsKey", 2, 2}, {"multimap_containsKeyValue", 3, 3},
    // 176
    {"array_#op_get", 2, 2}, {"map_#op_get", 2, 2}, {"string_#op_get", 2, 2},
};

struct Tables {
    std::vector<std::string> names;
    std::unordered_map<std::string, int32_t> byName;
    std::unordered_map<std::string, int32_t> methodNumbers;
    std::unordered_map<int64_t, int32_t> methods;  // (method number, type) -> function
    std::vector<detail::SysFn> impl;
    // Functions that never write into their arguments nor hand out references to them.
    std::vector<bool> readsOnly;
    Tables() {
        readsOnly.assign(static_cast<size_t>(kScriptSystemFunctionCount), false);
        for (int32_t n : {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 20, 21, 22, 23, 24,
                          25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 48, 49, 50, 51, 54, 55, 56, 58, 59, 60, 62, 63,
                          64, 65, 66, 67, 69, 70, 83, 100, 176, 177, 178})
            readsOnly[static_cast<size_t>(n)] = true;
        for (int32_t n = 0; n < kScriptSystemFunctionCount; ++n) {
            names.emplace_back(kTable[n].name);
            byName.emplace(kTable[n].name, n);
            detail::SysFn f = detail::CoreFunction(n);
            if (f == nullptr) f = detail::ContainerFunction(n);
            if (f == nullptr) f = detail::StringFunction(n);
            impl.push_back(f);
            if (n <= 70) continue;
            // "type_method": the type is the longest type-name prefix before an underscore.
            const std::string name = kTable[n].name;
            size_t us = name.find('_');
            int32_t type = FindScriptTypeCode(name.substr(0, us));
            std::string method = name.substr(us + 1);
            auto [it, fresh] = methodNumbers.emplace(method, static_cast<int32_t>(methodNumbers.size()));
            (void)fresh;
            methods.emplace(Key(it->second, type), n);
        }
    }
    static int64_t Key(int32_t m, int32_t t) { return (static_cast<int64_t>(m) << 32) | static_cast<uint32_t>(t); }
};

const Tables& T() {
    static const Tables t;
    return t;
}

// Built while the library loads, so calls do not pay for the guard of a function-local static.
const Tables& kTables = T();

}  // namespace

const std::string& GetScriptSystemFunctionName(int32_t number) {
    static const std::string kNone;
    if (number < 0 || number >= kScriptSystemFunctionCount) return kNone;
    return T().names[static_cast<size_t>(number)];
}

int32_t FindScriptSystemFunction(const std::string& name) {
    auto it = T().byName.find(name);
    return it == T().byName.end() ? -1 : it->second;
}

int32_t GetScriptMethodNumber(const std::string& method) {
    auto it = T().methodNumbers.find(method);
    return it == T().methodNumbers.end() ? -1 : it->second;
}

int32_t FindScriptMethod(int32_t methodNumber, int32_t type) {
    auto it = T().methods.find(Tables::Key(methodNumber, type));
    return it == T().methods.end() ? -1 : it->second;
}

bool ScriptEngine::callSystem(int32_t number, int32_t argc) {
    if (argc < 0 || argc > varTop) raiseHere(10303);
    if (number < 0 || number >= kScriptSystemFunctionCount) raiseHere(10301);
    const int32_t result = allocCell();
    // Up to four arguments live here; more go to a list shared by all calls.
    int32_t small[4];
    static std::vector<int32_t> large;
    int32_t* args = small;
    if (argc > 4) {
        large.assign(static_cast<size_t>(argc), 0);
        args = large.data();
    }
    // Compiled code always hands over cells; a slot naming none comes only from a corrupted
    // program whose stack use the load-time check cannot follow.
    for (int32_t k = 0; k < argc; ++k) {
        args[k] = resolve(varStack[static_cast<size_t>(varTop - argc + k)]);
        if (!validCell(args[k])) raiseHere(10304);
    }
    // A literal's cell is shared by every evaluation: a callee that may write an argument gets
    // its own copy.
    if (!kTables.readsOnly[static_cast<size_t>(number)])
        for (int32_t k = 0; k < argc; ++k)
            if (validCell(args[k])) args[k] = unshared(args[k]);
    varTop -= argc;
    pushVar(result);
    const Entry& en = kTable[number];
    if (argc < en.minArgs || (en.maxArgs != kAny && argc > en.maxArgs)) raiseHere(10303);
    detail::SysFn f = kTables.impl[static_cast<size_t>(number)];
    if (f == nullptr) raiseHere(10301);
    const bool ok = f(detail::SysCall{*this, argc, args, result});
    // The operators and the first library functions keep no argument cell, so an argument that
    // was an operator's result is named by nothing now: it goes back to the store at once
    // instead of waiting (with a long text in it, say) for the collector.
    if (number <= kLastFastFunction) {
        for (int32_t k = 0; k < argc; ++k) releaseTemp(args[k]);
        // Their value is a fresh one, named by the one slot it was pushed to.
        cellFlags[static_cast<size_t>(result)] = kCellTemp;
    }
    return ok;
}

}  // namespace kelo
