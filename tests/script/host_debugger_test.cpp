// Debugger sessions driven by a scripted callback: stops, step modes, breakpoints, watch, set,
// callstack, rollbackto and stop, with the reports each gives.
#include <gtest/gtest.h>

#include <deque>

#include "script/host/script_debugger.h"
#include "script/host/script_host.h"
#include "script_test_support.h"

namespace kelo {
namespace {

const char* const kScript =
    "int g = 3;\n"                      // 1
    "int add(int a, int b) {\n"         // 2
    "  int s = a + b;\n"                // 3
    "  return s;\n"                     // 4
    "}\n"                               // 5
    "void main(array args) {\n"         // 6
    "  array v = {10, 20, 30};\n"       // 7
    "  int t = add(1, 2);\n"            // 8
    "  string name = \"x\";\n"          // 9
    "  println(t, name, g);\n"          // 10
    "}\n";                              // 11

// One stop of a session: the commands sent there with the report each must leave; the last
// command's result is what the callback returns.
struct Step {
    int line;
    std::vector<std::pair<std::string, std::string>> commands;
};

struct Session {
    std::deque<Step> steps;
    std::vector<int> lines;
    std::string path;
    std::vector<std::string> failures;
    int32_t fallback = kStepInto;
};
Session* g_session = nullptr;

int32_t Scripted(ScriptEngine* e) {
    Session& s = *g_session;
    const int line = getDebugLineNumber(e);
    s.lines.push_back(line);
    if (getDebugReport(e) != "Break at:   filename = " + s.path + "    linenumber = " + std::to_string(line) + "\n")
        s.failures.push_back("report at stop: " + getDebugReport(e));
    if (getDebugFileName(e) != s.path) s.failures.push_back("file: " + getDebugFileName(e));
    if (s.steps.empty()) return s.fallback;
    Step step = s.steps.front();
    s.steps.pop_front();
    if (step.line != line) s.failures.push_back("expected a stop at " + std::to_string(step.line) + ", got " +
                                                std::to_string(line));
    int32_t mode = -1;
    for (auto [command, report] : step.commands) {
        // '@' stands for the script's path, which the scratch folder decides.
        for (size_t at; (at = report.find('@')) != std::string::npos;) report.replace(at, 1, s.path);
        mode = ExternDoDebugCommand(e, command.c_str());
        if (getDebugReport(e) != report)
            s.failures.push_back(command + " -> [" + getDebugReport(e) + "] expected [" + report + "]");
        const bool resumes = command == "run" || command == "stepinto" || command == "stepover" ||
                             command == "stepout" || command == "stop";
        if (resumes != (mode >= 0)) s.failures.push_back(command + " gave mode " + std::to_string(mode));
    }
    return mode;
}

struct DebugRun {
    std::string printed;
    std::string output;
    std::string endReport;
    std::vector<std::string> beforeRun;
};

intptr_t DebugHost(void* user, uint32_t, intptr_t w, intptr_t l) {
    DebugRun& r = *static_cast<DebugRun*>(user);
    auto* e = reinterpret_cast<ScriptEngine*>(l);
    if (w == -98) {
        r.beforeRun.push_back(getDebugReport(e));
        for (const char* c : {"watch g", "set g 1", "callstack", "rollbackto 0", "breakpoint \"dbg.wsp\" 3"}) {
            EXPECT_EQ(ExternDoDebugCommand(e, c), -1) << c;
            r.beforeRun.push_back(getDebugReport(e));
        }
    }
    if (w == -99) r.endReport = getDebugReport(e);
    return 1;
}

DebugRun RunSession(Session& s, ScriptDebugCallback cb = Scripted) {
    test::ScratchDir dir;
    s.path = dir.write("KeloScript/dbg.wsp", kScript);
    g_session = &s;
    DebugRun r;
    KeloHostWindow window{DebugHost, &r};
    testing::internal::CaptureStdout();
    ExecKeloScriptDebug("dbg", nullptr, &window, 0, r.output, cb);
    r.printed = testing::internal::GetCapturedStdout();
    g_session = nullptr;
    return r;
}

TEST(ScriptDebugger, FullSessionGivesTheDocumentedReports) {
    Session s;
    s.steps = {
        {1,
         {{"breakpoint \"dbg.wsp\" 3", "breakpoint enabled.\n"},
          {"breakpoint \"dbg.wsp\" 5", "#error: breakpoint is un-reachable.\n"},
          {"breakpoint \"dbg.wsp\" 3", "breakpoint disabled.\n"},
          {"breakpoint \"dbg.wsp\" 3", "breakpoint enabled.\n"},
          {"breakpoint dbg.wsp 3", "#error: invalid breakpoint command.\n"},
          {"breakpoint \"dbg.wsp\" x", "#error: invalid breakpoint command.\n"},
          {"breakpoint \"other.wsp\" 3", "#error: breakpoint is un-reachable.\n"},
          {"callstack", "call_stack:\n"},
          {"run", ""}}},
        {3,
         {{"watch a", "a = 1\n"},
          {"watch b", "b = 2\n"},
          {"watch g", "g = 3\n"},
          {"watch v", "#error: v is not found.\n"},
          {"callstack", "call_stack:\nFile: @    Line: 8    Function: main ( [0]{} )\n"
                        "File: @    Line: 3    Function: add ( 1 , 2 )\n"},
          {"rollbackto 0", "stack roll back to : File: @    Line: 8    Function: main\n\targ: args = [0]{}\n"
                           "\tvar: v = [3]{10, 20, 30}\n"},
          {"watch v[1]", "v[1] = 20\n"},
          {"watch v[3]", "#error: v[3] : array index out of range.\n"},
          {"watch v[1][0]", "#error: v[1][0] : array index out of range.\n"},
          {"watch v[x]", "#error: invalid watch command.\n"},
          {"watch a", "#error: a is not found.\n"},
          {"set g 7", "successed.\n"},
          {"rollbackto 1", "stack roll back to : File: @    Line: 3    Function: add\n\targ: a = 1\n\targ: b = 2\n"},
          {"rollbackto 2", "#error: invalid rollbackto parameter.\n"},
          {"rollbackto -1", "#error: invalid rollbackto parameter.\n"},
          {"rollbackto", "#error: invalid rollbackto command.\n"},
          {"stepout", ""}}},
        {9, {{"watch t", "t = 3\n"}, {"stepover", ""}}},
        {10,
         {{"set name \"a\\tb\\\"\"", "successed.\n"},
          {"set t 2.5", "#error: invalid data_type.\n"},
          {"set t 5", "successed.\n"},
          {"set name x", "#error: invalid data_type.\n"},
          {"set v 1", "#error: invalid data_type.\n"},
          {"set nosuch 1", "#error: the variable is not initialized before.\n"},
          {"set t", "#error: invalid set command.\n"},
          {"watch", "#error: invalid watch command.\n"},
          {"", "#error: empty command.\n"},
          {"   ", "#error: empty command.\n"},
          {"jump 3", "#error: jump 3is not a invalid command.\n"},
          {"runx", "#error: runxis not a invalid command.\n"},
          {"stepinto", ""}}},
    };
    DebugRun r = RunSession(s);
    for (const std::string& f : s.failures) ADD_FAILURE() << f;
    EXPECT_EQ(s.lines, (std::vector<int>{1, 3, 9, 10}));
    EXPECT_EQ(r.printed, "5a\tb\"7\n");
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(r.endReport, "End");
    EXPECT_EQ(r.beforeRun, (std::vector<std::string>{"", "#error: can not watch variables before running.\n",
                                                     "#error: can not set variables before running.\n",
                                                     "#error: can not view callstack before running.\n",
                                                     "#error: can not rollback before running.\n",
                                                     "#error: breakpoint is un-reachable.\n"}));
}

TEST(ScriptDebugger, StepModesStopWhereTheyShould) {
    struct {
        std::vector<int32_t> modes;  // result at each stop; the last one repeats
        std::vector<int> lines;
    } cases[] = {
        {{kStepInto}, {1, 7, 8, 3, 4, 9, 10}},
        {{kStepInto, kStepOver}, {1, 7, 8, 9, 10}},
        {{kStepInto, kStepInto, kStepInto, kStepOut}, {1, 7, 8, 3, 9}},
        {{kStepRun}, {1}},
        {{kStepOver}, {1}},  // main runs one call deeper than the global initialisation
    };
    for (const auto& c : cases) {
        static const std::vector<int32_t>* modes;
        static size_t stop;
        modes = &c.modes;
        stop = 0;
        Session s;
        DebugRun r = RunSession(s, [](ScriptEngine* e) -> int32_t {
            g_session->lines.push_back(getDebugLineNumber(e));
            const int32_t m = (*modes)[std::min(stop, modes->size() - 1)];
            ++stop;
            return m;
        });
        EXPECT_EQ(s.lines, c.lines);
        EXPECT_EQ(r.printed, "3x3\n");
        EXPECT_EQ(r.endReport, "End");
    }
}

TEST(ScriptDebugger, StopEndsTheRunAndNoCallbackRunsThrough) {
    Session s;
    s.steps = {{1, {{"stepinto", ""}}}, {7, {{"stop", ""}}}};
    DebugRun r = RunSession(s);
    for (const std::string& f : s.failures) ADD_FAILURE() << f;
    EXPECT_EQ(r.printed, "");
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(r.endReport, "End");
    Session none;
    r = RunSession(none, nullptr);
    EXPECT_EQ(r.printed, "3x3\n");
    EXPECT_EQ(ExternDoDebugCommand(nullptr, "run"), -1);
}

TEST(ScriptDebugger, TablesOfMacrosFunctionsAndGlobals) {
    test::ScratchDir dir;
    dir.write("KeloScript/t.wsp", "#define TWO 2\n#define SQ(x) ((x)*(x))\nint g = TWO;\ndouble h;\n"
                                  "int f(int a, string& s) { return SQ(a); }\nvoid main() { println(f(g, \"s\")); }\n");
    static std::vector<std::string> seen;
    seen.clear();
    KeloHostWindow window{[](void*, uint32_t, intptr_t w, intptr_t l) -> intptr_t {
                              if (w != -99) return 1;
                              auto* e = reinterpret_cast<const ScriptEngine*>(l);
                              for (int32_t i = 0; i <= getMacroCount(e); ++i) seen.push_back(getMacroAt(e, i));
                              for (int32_t i = 0; i <= getFunctionCount(e); ++i) seen.push_back(getFunctionAt(e, i));
                              for (int32_t i = 0; i <= getGlobalVariableCount(e); ++i)
                                  seen.push_back(getGlobalVariableAt(e, i));
                              return 1;
                          },
                          nullptr};
    std::string out;
    testing::internal::CaptureStdout();
    ExecKeloScript("t", nullptr, &window, 0, out);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "4\n");
    EXPECT_EQ(seen, (std::vector<std::string>{"#define TWO 2", "#define SQ(x) ((x)*(x))", "",
                                              "int f(int a, string& s)", "void main()", "", "3 int g", "4 double h",
                                              ""}));
    EXPECT_EQ(getMacroCount(nullptr), 0);
    EXPECT_EQ(getFunctionAt(nullptr, 0), "");
}

}  // namespace
}  // namespace kelo
