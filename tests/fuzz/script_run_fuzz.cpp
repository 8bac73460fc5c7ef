// libFuzzer target for compile-and-run: arbitrary bytes as a script are preprocessed, compiled
// and run with an instruction budget. Every outcome must be success or a numbered error text;
// crashes, hangs and leaks (cells or stacks left behind) are findings.
// Built apart from the test suite by scripts/fuzz.sh.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "companion/gbk.h"
#include "fuzz_home.h"
#include "companion/ui.h"
#include "script/front/compiler.h"
#include "script/vm/script_engine.h"

namespace {

bool IsNumberedError(const std::string& text) {
    const std::string& head = kelo::ToGbk("错误");
    return text.compare(0, head.size(), head) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kelo_fuzz::EnterScratchHome<kelo::kIdNo>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    kelo::ScriptFrontEndResult front;
    kelo::ScriptError err;
    if (!kelo::RunScriptFrontEndOnText("fuzz.wsp", text, front, err)) return 0;
    kelo::ScriptProgram program;
    if (!kelo::CompileScript(front, {}, program, err)) {
        if (err.code < 1300 || err.code > 1420 || !IsNumberedError(err.text)) std::abort();
        return 0;
    }
    kelo::ScriptEngine engine;
    engine.program = &program;
    engine.sourceLines = front.lines;
    engine.mainFile = front.mainFile;
    engine.instructionLimit = 20000;
    std::string printed, error;
    engine.printSink = &printed;
    if (!engine.run(error) && !error.empty() && !IsNumberedError(error) &&
        error.rfind("InternalError", 0) != 0)
        std::abort();
    return 0;
}
