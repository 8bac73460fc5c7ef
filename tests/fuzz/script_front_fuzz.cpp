// libFuzzer target for the script front end: arbitrary bytes as a script must end in success or
// a numbered error (or one of the two file texts), never in a crash, hang or leak.
// Built apart from the test suite by scripts/fuzz.sh.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "companion/cipher.h"
#include "companion/gbk.h"
#include "script/front/front_end.h"

namespace {

std::string g_scratch;

void WriteFile(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::abort();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/kelo_fuzz_XXXXXX";
    if (::mkdtemp(pattern) == nullptr) std::abort();
    g_scratch = pattern;
    // Relative includes and the script folder both look into the empty scratch folder.
    ::setenv("KELO_HOME", g_scratch.c_str(), 1);
    if (::chdir(g_scratch.c_str()) != 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the way in: text, a raw ".wse" file, or an enciphered one.
    const int mode = data[0] % 3;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    kelo::ScriptFrontEndResult r;
    kelo::ScriptError e;
    bool ok;
    if (mode == 0) {
        ok = kelo::RunScriptFrontEndOnText("fuzz.wsp", text, r, e);
    } else {
        const std::string path = g_scratch + "/input.wse";
        WriteFile(path, mode == 1 ? text : kelo::KeloEncryptString2(text, 1));
        ok = kelo::RunScriptFrontEnd(path, r, e);
    }
    if (ok) {
        for (const auto& t : r.tokens)
            if (t.text.empty() || t.line < 0 || static_cast<size_t>(t.line) >= r.lines.size() || t.column < 1)
                std::abort();
    } else if (e.code != 0) {
        if (e.code < 1000 || e.code > 1202) std::abort();
        if (e.text.compare(0, kelo::ToGbk("错误").size(), kelo::ToGbk("错误")) != 0) std::abort();
        if (!r.tokens.empty()) std::abort();
    } else if (e.text.empty()) {
        std::abort();
    }
    return 0;
}
