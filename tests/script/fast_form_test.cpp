// The interpreter runs a fused form of the code list; KELO_PLAIN_VM=1 selects the documented
// instruction loop. Generated programs, a debugging session and hostile scripts must give the
// same output, errors and lines in both.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "companion/gbk.h"
#include "companion/ui.h"
#include "platform/break_poll.h"
#include "script/front/compiler.h"
#include "script/host/script_debugger.h"
#include "script/host/script_host.h"
#include "script_test_support.h"

namespace kelo {
namespace {

struct Outcome {
    bool ok = false;
    std::string out, error;
    bool operator==(const Outcome& o) const { return ok == o.ok && out == o.out && error == o.error; }
};

class PlainVm {
public:
    explicit PlainVm(bool on) {
        if (on) ::setenv("KELO_PLAIN_VM", "1", 1);
        else ::unsetenv("KELO_PLAIN_VM");
    }
    ~PlainVm() { ::unsetenv("KELO_PLAIN_VM"); }
};

Outcome RunIn(const std::string& script, bool plain) {
    PlainVm vm(plain);
    Outcome o;
    o.ok = RunKeloScriptText("main.wsp", script, {}, &o.out, o.error);
    return o;
}

// Random programs over numbers, bools, texts and containers, with calls, loops and faults
// (division by zero, index out of range, misfit assignments) wherever the dice put them.
class ProgramMaker {
public:
    explicit ProgramMaker(uint32_t seed) : rng_(seed) {}

    std::string program() {
        loops_ = 0;
        std::string p =
            "int g(int p, int q) { if (p > q) return p - q; return q % 7 + p; }\n"
            "double h(double d, int k) { return d * 0.5 + k; }\n"
            "int r(int n, int k) { if (n < 1) return k; return r(n - 1, k + n % 3); }\n"
            "void bump(int& v, double w) { v += 2; w = w * 2; }\n"
            // Many parameters of mixed types, a parameter handed on by reference, and recursion
            // that adds up through a reference.
            "int many(int p, double q, int r, bool t, int u, double v) { if (t) return p - r + u; return toInt(q * v) + r; }\n"
            "int pass(int p, double w) { bump(p, w); return p * 3 + toInt(w); }\n"
            "void acc(int n, int& t) { if (n < 1) return; t += n % 5; acc(n - 1, t); }\n"
            "void main() {\n"
            "  int a = 3; int b = -4; int c = 0; double x = 1.5; double y = -0.25; bool f = true;\n"
            "  string s = \"t\"; array arr = {1, 2, 3}; map m;\n"
            "  array grid; grid.add(arr); grid.add(arr); grid[1][2] = 2.5;\n"
            "  set st; m.add(1, 10); m.add(2.5, 20); m.add(\"1\", 30); st.add(2); st.add(1.5);\n";
        const int n = 4 + pick(8);
        for (int i = 0; i < n; ++i) p += statement(1);
        p += "  println(a, \" \", b, \" \", c, \" \", x, \" \", y, \" \", f, \" \", s, \" \", arr, \" \", m, \" \", grid);\n}\n";
        return p;
    }

private:
    std::mt19937 rng_;
    int loops_ = 0;

    int pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }
    const char* intVar() { return std::vector<const char*>{"a", "b", "c"}[static_cast<size_t>(pick(3))]; }
    const char* numVar() { return std::vector<const char*>{"a", "b", "c", "x", "y"}[static_cast<size_t>(pick(5))]; }

    std::string leaf() {
        switch (pick(7)) {
            case 0: return std::to_string(pick(9) - 2);
            case 1: return std::to_string(pick(20)) + ".5";
            case 2: return "f";
            case 3: return pick(2) ? "arr.getSize()" : "grid[" + std::string(intVar()) + " % 2 + 1][1]";
            default: return numVar();
        }
    }

    std::string expr(int depth) {
        if (depth <= 0 || pick(3) == 0) return leaf();
        // Division and remainder are rarer than the rest: they end most runs that use them often.
        static const char* const kOps[] = {"+", "-", "*", "+", "-", "*", "/", "%", "<", "<=",
                                           ">", ">=", "==", "!=", "&&", "||"};
        switch (pick(10)) {
            case 0: return "-" + expr(depth - 1);
            case 1: return "!(" + expr(depth - 1) + ")";
            case 2: return "g(" + expr(depth - 1) + ", " + expr(depth - 1) + ")";
            case 3: return "h(" + expr(depth - 1) + ", " + std::string(intVar()) + ")";
            case 4:
                switch (pick(3)) {
                    case 0: return "r(" + std::to_string(pick(6)) + ", " + expr(depth - 1) + ")";
                    case 1: return "pass(" + expr(depth - 1) + ", " + leaf() + ")";
                    default:
                        return "many(" + expr(depth - 1) + ", " + leaf() + ", " + leaf() + ", " + leaf() + ", " +
                               expr(depth - 1) + ", " + leaf() + ")";
                }
            case 5: return pick(8) == 0 ? "arr[" + expr(depth - 1) + "]" : "arr[" + std::string(intVar()) + " % 2 + 1]";
            default: return "(" + expr(depth - 1) + " " + kOps[pick(16)] + " " + expr(depth - 1) + ")";
        }
    }

    // A key of any kind: 1, 1.0 and true are one key of a map, "1" is another.
    std::string key() {
        switch (pick(6)) {
            case 0: return std::to_string(pick(4));
            case 1: return std::to_string(pick(4)) + (pick(2) ? ".0" : ".5");
            case 2: return "\"" + std::to_string(pick(3)) + "\"";
            case 3: return "f";
            default: return expr(1);
        }
    }

    // Mostly a key the map starts with (a missing one ends the run).
    std::string heldKey() { return std::vector<std::string>{"1", "1.0", "2.5", "\"1\"", "f", key()}[static_cast<size_t>(pick(6))]; }

    // Maps and sets: stored values reached through m[k] must be the stored cells themselves, and
    // a walk over the keys may remove entries as it goes.
    std::string container() {
        switch (pick(10)) {
            case 0: return "m.add(" + key() + ", " + expr(1) + ");\n";
            case 1: return "st.add(" + key() + ");\n";
            case 2: return "m[" + heldKey() + "] += " + expr(1) + ";\n";
            case 3: return "bump(m[" + heldKey() + "], x);\n";
            case 4: return "f = m.get(" + key() + ", " + numVar() + ");\n";
            case 5: return "println(m.remove(" + key() + "), \" \", st.remove(" + key() + "), \" \", m, \" \", st);\n";
            case 6: return "f = st.ceiling(" + key() + ", " + numVar() + ") || m.lowerKey(" + key() + ", " + numVar() + ");\n";
            case 7: {
                const std::string v = "k" + std::to_string(loops_++);
                return "array " + v + " = m.getKeys(); for (int " + v + "i = 0; " + v + "i < " + v + ".getSize(); " + v +
                       "i++) { if (m.containsKey(" + v + "[" + v + "i] + 1)) m.remove(" + v + "[" + v + "i]); }\n";
            }
            case 8: {
                const std::string v = "q" + std::to_string(loops_++);
                return "for (int " + v + " = 0; " + v + " < 3000; " + v + "++) { m.add(" + v + " * 7 % 2000 + " + v +
                       " % 2 * 0.5, " + v + "); st.add(" + v + " % 3 * 1.0); }\n";
            }
            default: return "println(m.size(), \" \", st.getKeys(), \" \", m.getItems());\n";
        }
    }

    std::string statement(int depth) {
        const std::string ind(static_cast<size_t>(depth) * 2, ' ');
        static const char* const kStore[] = {"=", "+=", "-=", "*=", "/=", "%="};
        int kind = pick(depth > 2 ? 9 : 13);
        if (kind == 8 && pick(4) != 0) kind = 0;  // misfits end the run: not too often
        switch (kind) {
            case 0: return ind + numVar() + " " + kStore[pick(6)] + " " + expr(2) + ";\n";
            case 1: return ind + intVar() + (pick(2) ? "++;\n" : "--;\n");
            case 2: return ind + "f = " + expr(2) + ";\n";
            case 3: return ind + "println(" + expr(3) + ", \" \", " + expr(2) + ");\n";
            case 4: return ind + "arr.add(" + expr(2) + ");\n";
            case 5: return ind + "arr[" + intVar() + " % 2 + 1] = " + expr(2) + ";\n";
            case 6: return ind + container();
            case 7:
                // An element reached by indexing is the element itself, not a copy of its value.
                switch (pick(5)) {
                    case 0: return ind + "grid[1][" + intVar() + " % 3] = " + expr(1) + ";\n";
                    case 1: return ind + "grid[0].add(" + expr(1) + ");\n";
                    case 2: return ind + "bump(grid[1][0], x);\n";
                    case 3: return ind + "grid[1][1]++;\n";
                    default: return ind + "s = s + toString(" + expr(1) + ");\n";
                }
            case 8:
                // Misfits: a text into a number, a container into a number, a text as a number.
                return ind + std::vector<std::string>{"a = s;", "x = arr;", "c = s + 1;", "bump(a, x);",
                                                      "bump(c, a);", "y = -s;"}[static_cast<size_t>(pick(6))] +
                       "\n";
            case 9:
                return ind + "if (" + expr(2) + ") {\n" + statement(depth + 1) + ind + "} else {\n" +
                       statement(depth + 1) + ind + "}\n";
            case 10: {
                const std::string v = "i" + std::to_string(loops_++);
                return ind + "for (int " + v + " = 0; " + v + " < " + std::to_string(pick(5)) + "; " + v + "++) {\n" +
                       statement(depth + 1) + statement(depth + 1) + ind + "}\n";
            }
            case 11: {
                const std::string v = "w" + std::to_string(loops_++);
                return ind + "int " + v + " = " + std::to_string(pick(4)) + ";\n" + ind + "while (" + v +
                       " > 0) {\n" + statement(depth + 1) + ind + "  " + v + "--;\n" + ind + "}\n";
            }
            default:
                if (pick(3) == 0) return ind + "acc(" + std::to_string(pick(9)) + ", " + intVar() + ");\n";
                return ind + "c = r(" + std::to_string(pick(8)) + ", " + expr(2) + ") + g(a, b);\n";
        }
    }
};

TEST(ScriptFastForm, GeneratedProgramsAgreeWithTheDocumentedLoop) {
    int errors = 0;
    for (uint32_t seed = 1; seed <= 150; ++seed) {
        const std::string script = ProgramMaker(seed).program();
        const Outcome fast = RunIn(script, false), plain = RunIn(script, true);
        errors += plain.ok ? 0 : 1;
        ASSERT_EQ(fast, plain) << "seed " << seed << "\n"
                               << script << "\nfast: " << GbkToUtf8(fast.error) << "\nplain: " << GbkToUtf8(plain.error);
    }
    // Both kinds of ending must be well represented, or the comparison proves little.
    EXPECT_GT(errors, 15);
    EXPECT_LT(errors, 135);
}

TEST(ScriptFastForm, HostileScriptsEndAlike) {
    const char* const kScripts[] = {
        // Deep recursion through fused calls, with numbers and with a text parameter.
        "int d(int n, double w) { return d(n + 1, w * 1.5) + 1; }\nvoid main() { println(d(0, 1.0)); }",
        "int d(int n, string t) { return d(n + 1, t); }\nvoid main() { println(d(0, \"x\")); }",
        // Faults inside fused expressions, conditions, increments and returns.
        "void main() { int s = 0; for (int i = 5; i > -3; i--) s = s + 100 / i; println(s); }",
        "void main() { int s = 7; for (int i = 0; i < 9; i++) { if (s % (i - 4) == 0) println(i); } }",
        "void main() { string t = \"a\"; for (int i = 0; i < 3; i++) t++; }",
        "int f(int n) { return n; }\nvoid main() { int k = 0; while (f(k) < 10) { k += 1; if (k == 4) k = \"x\"; } }",
        "double f(int n) { return n / (n - 3); }\nvoid main() { for (int i = 0; i < 5; i++) println(f(i)); }",
        "void main() { array v; for (int i = 0; i < 4; i++) v.add(i * 2); int s = 0; "
        "for (int i = 0; i <= 4; i++) s += v[i]; }",
        // Deep recursion of a call whose arguments are expressions, and one whose result is.
        "int d(int n, int a, double w) { return d(n + 1, a * 2 % 7, w + a) + a; }\nvoid main() { println(d(0, 1, 0.5)); }",
        "int d(int n) { if (n > 5) return d(n - 1) / (n - 6); return d(n + 2) + 1; }\nvoid main() { println(d(0)); }",
        // A parameter handed on by reference while collections run: the callee's slot then names
        // the caller's parameter cell itself, which must outlive the callee's return.
        "void bump(int& v, array& junk) { v += 1; junk.add(toString(v) + \"....................\"); }\n"
        "int pr(int p) { array junk; for (int i = 0; i < 40; i++) bump(p, junk); return p; }\n"
        "void main() { int s = 0; for (int k = 0; k < 4000; k++) s = (s + pr(k)) % 1000003; println(s); }",
        // A big container built by fused loops.
        "void main() { array v; for (int i = 0; i < 100000; i++) v.add(i % 17); int s = 0; "
        "for (int i = 0; i < v.getSize(); i++) s = (s + v[i] * i) % 1000003; println(s); }",
        // A map big enough for collections and growth, with keys of three kinds and removals.
        "void main() { map m; for (int i = 0; i < 120000; i++) m.add(i * 7 % 90000 + i % 3 * 0.5, toString(i)); "
        "for (int i = 0; i < 90000; i += 3) m.remove(i); string v; int n = 0; "
        "for (double k = 0; k < 1000; k += 0.5) if (m.get(k, v)) n += v.getLength(); "
        "m.add(\"x\", 5); m[\"x\"] += 1; println(m.size(), \" \", n, \" \", m[\"x\"], \" \", m[4.5]); }",
    };
    for (const char* script : kScripts) {
        SCOPED_TRACE(script);
        const Outcome fast = RunIn(script, false), plain = RunIn(script, true);
        EXPECT_EQ(fast, plain) << GbkToUtf8(fast.error) << " / " << GbkToUtf8(plain.error);
    }
    EXPECT_NE(RunIn(kScripts[0], false).error.find("1010"), std::string::npos);
}

// A break request during a long fused loop stops the run after the user says yes, with no error.
int g_polls = 0;
bool BreakSoon(void*) { return ++g_polls >= 50; }
int AnswerYes(void*, const char*, uint32_t) { return kIdYes; }

TEST(ScriptFastForm, BreakStopsALongLoop) {
    KeloUiHandler ui{};
    ui.messageBox = AnswerYes;
    SetKeloUiHandler(&ui);
    SetScriptBreakPoll(BreakSoon, nullptr);
    const std::string script = "void main() { int s = 0; while (true) s = (s + 3) % 11; }";
    for (bool plain : {false, true}) {
        g_polls = 0;
        const Outcome o = RunIn(script, plain);
        EXPECT_TRUE(o.ok) << GbkToUtf8(o.error);
        EXPECT_EQ(g_polls, 50);
    }
    SetScriptBreakPoll(nullptr, nullptr);
    SetKeloUiHandler(nullptr);
}

// The debugger stops at the same lines, with the same watches, in both forms.
const char* const kDebugScript =
    "int sum(int n, int k) {\n"                          // 1
    "  if (n < 1) return k;\n"                           // 2
    "  return sum(n - 1, k + n);\n"                      // 3
    "}\n"                                                // 4
    "void main() {\n"                                    // 5
    "  int t = 0;\n"                                     // 6
    "  for (int i = 0; i < 4; i++) {\n"                  // 7
    "    t = t + i * 2;\n"                               // 8
    "    t++;\n"                                         // 9
    "  }\n"                                              // 10
    "  println(sum(3, t));\n"                            // 11
    "}\n";                                               // 12

std::vector<std::string> g_trace;
int g_stop = 0;

int32_t Trace(ScriptEngine* e) {
    const int line = getDebugLineNumber(e);
    ExternDoDebugCommand(e, line == 2 ? "watch n" : "watch t");
    g_trace.push_back(std::to_string(line) + " " + getDebugReport(e));
    ++g_stop;
    if (g_stop == 1) ExternDoDebugCommand(e, "breakpoint \"dbg.wsp\" 9");
    if (g_stop == 1) ExternDoDebugCommand(e, "breakpoint \"dbg.wsp\" 2");
    // Step line by line for a while, then run from breakpoint to breakpoint.
    return g_stop < 12 ? kStepInto : kStepRun;
}

intptr_t QuietHost(void*, uint32_t, intptr_t, intptr_t) { return 1; }

TEST(ScriptFastForm, DebuggerStopsOnTheSameLines) {
    std::vector<std::string> traces[2];
    for (int plain = 0; plain < 2; ++plain) {
        PlainVm vm(plain == 1);
        test::ScratchDir dir;
        dir.write("KeloScript/dbg.wsp", kDebugScript);
        g_trace.clear();
        g_stop = 0;
        KeloHostWindow window{QuietHost, nullptr};
        std::string output;
        testing::internal::CaptureStdout();
        ExecKeloScriptDebug("dbg", nullptr, &window, 0, output, Trace);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "22\n");
        traces[plain] = g_trace;
    }
    EXPECT_EQ(traces[0], traces[1]);
    // Stepping visits every statement line; the breakpoints then catch each pass through 9 and 2.
    ASSERT_GE(traces[0].size(), 12u);
    EXPECT_EQ(traces[0][1].substr(0, 2), "7 ");
    EXPECT_EQ(traces[0][2].substr(0, 2), "8 ");
    EXPECT_EQ(traces[0][3].substr(0, 10), "9 t = 0\n");
    int nines = 0, twos = 0;
    for (size_t k = 12; k < traces[0].size(); ++k) {
        nines += traces[0][k][0] == '9';
        twos += traces[0][k][0] == '2';
    }
    EXPECT_EQ(nines + twos, static_cast<int>(traces[0].size()) - 12);
    EXPECT_GE(twos, 4);
}

}  // namespace
}  // namespace kelo
