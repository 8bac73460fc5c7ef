// libFuzzer target for compiled programs: arbitrary bytes handed to the run entry point must be
// refused, or run to an end or a numbered error text under an instruction budget; never crash,
// read outside the value store or the stacks, hang or leak. The seeds carry their checksum, which
// mutations mostly break, so each input is also tried with its last field (the checksum, when
// there is one) removed, which reaches the verifier and the interpreter.
// Built apart from the test suite by scripts/fuzz.sh.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "companion/gbk.h"
#include "fuzz_home.h"
#include "companion/ui.h"
#include "platform/break_poll.h"
#include "script/host/program_codec.h"
#include "script/host/program_verifier.h"
#include "script/host/script_host.h"

namespace {

// The instruction budget: the loop polls for a break every 256 instructions.
uint64_t g_polls = 0;
bool StopAfterAWhile(void*) { return ++g_polls > 64; }

// Host names enough for the seeds built by kelo; with no host window every host call is 10300.
const std::vector<const char*>& HostNames() {
    static std::vector<std::string> names;
    static std::vector<const char*> list;
    if (list.empty()) {
        for (int i = 0; i < 64; ++i) names.push_back(i == 1 ? "mf_string_m" : "h" + std::to_string(i));
        for (const std::string& n : names) list.push_back(n.c_str());
    }
    return list;
}

void RunOnce(const std::vector<char>& bytes) {
    const auto& names = HostNames();
    // Reading and checking are cheap; a run builds a whole engine, whose fresh stacks cost far
    // more than the run itself. So every input is read and checked here, and only programs the
    // check accepts go on to the entry point, which reads and checks them again and runs them.
    kelo::ScriptProgram program;
    kelo::ScriptSourceTable lines;
    kelo::detail::ScriptVerifyFault fault;
    if (!kelo::detail::DecodeScriptProgram(bytes.data(), static_cast<int32_t>(bytes.size()), program, &lines) ||
        !kelo::detail::VerifyScriptProgram(program, lines.size(), static_cast<int32_t>(names.size()), fault))
        return;
    std::string output;
    g_polls = 0;
    kelo::DecodeRunKeloScript(names.data(), nullptr, static_cast<int32_t>(names.size()), output, {"x", "/P"},
                              static_cast<int32_t>(bytes.size()), bytes.data());
    if (!output.empty() && output.rfind(kelo::ToGbk("错误"), 0) != 0 && output.rfind("InternalError", 0) != 0)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Yes also answers the break question, which ends the run.
    kelo_fuzz::EnterScratchHome<kelo::kIdYes>();
    kelo::SetScriptBreakPoll(StopAfterAWhile, nullptr);
    // Printing goes nowhere: stdout of a fuzzer is its log.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // Exact-size heap copies, so that any read past the end is an address-sanitizer report.
    std::vector<char> bytes(data, data + size);
    RunOnce(bytes);
    // Without the last field: the buffer ends in a zero byte, so the field before it ends there.
    if (bytes.back() == '\0' && size >= 2) {
        size_t cut = size - 1;
        while (cut > 0 && bytes[cut - 1] != '\0') --cut;
        if (cut > 0) {
            bytes.resize(cut);
            RunOnce(bytes);
        }
    }
    return 0;
}
