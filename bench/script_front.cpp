// Front-end and value-store speed: tokenizing a large generated script, the whole front end with
// macros, cell allocation and collection.
#include <benchmark/benchmark.h>

#include <string>

#include "script/front/front_end.h"
#include "script/vm/script_engine.h"
#include "script/vm/value_ops.h"

namespace {

// About `bytes` of ordinary script text: declarations, loops, calls, strings and comments.
std::string GenerateScript(size_t bytes) {
    std::string s;
    int n = 0;
    while (s.size() < bytes) {
        s += "// block " + std::to_string(n) + "\n";
        s += "double f" + std::to_string(n) + "(int a, double b, array& out)\n{\n";
        s += "\tint i = 0x1F + 017 + " + std::to_string(n) + ";\n";
        s += "\tstring name = \"item\\t" + std::to_string(n) + "\";  /* a comment */\n";
        s += "\tfor (i = 0; i < a; i++) { out.add(b * 1.5e3 + i); if (i % 7 == 0 && b >= 2.5) b -= 0.25; }\n";
        s += "\treturn b << 2 >= a ? b : (double)a;\n}\n";
        ++n;
    }
    return s;
}

kelo::ScriptSourceTable Lines(const std::string& text) {
    kelo::ScriptSourceTable t;
    size_t start = 0;
    int32_t line = 1;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        t.push_back({text.substr(start, nl - start), "bench.wsp", line++});
        start = nl + 1;
    }
    return t;
}

void BM_Tokenize(benchmark::State& state) {
    const std::string text = GenerateScript(static_cast<size_t>(state.range(0)));
    const kelo::ScriptSourceTable lines = Lines(text);
    kelo::ScriptTokenList tokens;
    for (auto _ : state) {
        kelo::TokenizeScript(lines, "bench.wsp", tokens);
        benchmark::DoNotOptimize(tokens.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    state.counters["tokens"] = static_cast<double>(tokens.size());
}
BENCHMARK(BM_Tokenize)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

void BM_FrontEndWithMacros(benchmark::State& state) {
    const std::string text = "#define SCALE(x) ((x) * 1.5e3)\n#define LIMIT 1000\n" +
                             GenerateScript(static_cast<size_t>(state.range(0))) +
                             "int z = SCALE(LIMIT) + SCALE(SCALE(2));\n";
    kelo::ScriptFrontEndResult r;
    kelo::ScriptError e;
    for (auto _ : state) {
        if (!kelo::RunScriptFrontEndOnText("bench.wsp", text, r, e)) state.SkipWithError("front end failed");
        benchmark::DoNotOptimize(r.tokens.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_FrontEndWithMacros)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// Allocate n int cells, then collect them all (nothing is rooted).
void BM_StoreAllocateAndCollect(benchmark::State& state) {
    kelo::ScriptEngine engine;
    kelo::CurrentScriptEngineScope scope(&engine);
    const int32_t n = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        for (int32_t i = 0; i < n; ++i) {
            int32_t c = engine.allocCell();
            engine.cells[c].dataType = kelo::kTypeInt;
            engine.cells[c].value.i = i;
        }
        engine.collect();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_StoreAllocateAndCollect)->Arg(100000)->Unit(benchmark::kMillisecond);

// Collection with live data: arrays of doubles rooted on the variable stack, half the store live.
void BM_CollectLiveArrays(benchmark::State& state) {
    kelo::ScriptEngine engine;
    kelo::CurrentScriptEngineScope scope(&engine);
    const int32_t arrays = 1000, perArray = static_cast<int32_t>(state.range(0));
    for (int32_t a = 0; a < arrays; ++a) {
        int32_t c = engine.allocCell();
        engine.cells[c].setDataType(kelo::kTypeArray);
        for (int32_t k = 0; k < perArray; ++k) engine.cells[c].value.a->push_back(engine.allocCopy(kelo::Tdata(k * 0.5)));
        engine.varStack[static_cast<size_t>(engine.varTop++)] = c;
    }
    for (auto _ : state) benchmark::DoNotOptimize(engine.collect());
    state.counters["live"] = static_cast<double>(engine.capacity - engine.freeCount);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * engine.capacity);
}
BENCHMARK(BM_CollectLiveArrays)->Arg(128)->Unit(benchmark::kMillisecond);

}  // namespace
