// The instruction loop does number operators in place, shares one cell per literal and hands
// operator results back to the store as soon as they are used. These scripts check that none of
// that can be seen: literals stay unchanged whatever is done to them, temporaries that are still
// named elsewhere survive, and the in-place operators give exactly the general results.
#include <gtest/gtest.h>

#include <string>

#include "companion/gbk.h"
#include "script/front/compiler.h"

namespace kelo {
namespace {

struct Case {
    const char* script;
    const char* output;
};

const Case kCases[] = {
    // Literals evaluated again after something tried to write into the cell a literal gave.
    {"void bump(int& x) { x += 1; }\nvoid main() { for (int i = 0; i < 3; i++) { bump(7); print(7, \" \"); } "
     "println(); }",
     "7 7 7 \n"},
    {"void main() { map m; m.add(1, 5); for (int i = 0; i < 2; i++) { m.get(1, 3); print(3); } println(); }", "33\n"},
    {"void main() { for (int i = 0; i < 2; i++) { string t = \"ab\"; \"ab\".makeUpper(); print(\"ab\", t); } "
     "println(); }",
     "abababab\n"},
    {"void main() { for (int i = 0; i < 2; i++) { int p = 0; \"a,b\".tokenize(\",\", 0); print(0, p); } println(); "
     "}",
     "0000\n"},
    {"void main() { for (int i = 0; i < 3; i++) { ++1; print(1); 2++; print(2); } println(); }", "121212\n"},
    {"void main() { double d; for (int i = 0; i < 2; i++) { d = 1.5; d += 1; print(1.5, \" \", d, \" \"); } "
     "println(); }",
     "1.5 2.5 1.5 2.5 \n"},
    {"void main() { string s = \"ab\"; s += s; string t = (s += \"c\"); t += \"!\"; "
     "for (int i = 0; i < 2; i++) { \"x\" += \"y\"; print(\"x\"); } println(\" \", s, \" \", t); }",
     "xx ababc ababc!\n"},
    // Temporaries named by a second slot or bound to a reference parameter.
    {"void put(int& x) { x = 9; println(x); }\nvoid main() { int i = 1; put(i + 1); println(i); }", "9\n1\n"},
    {"void main() { for (int i = 0; i < 4; i++) { switch (i * 2 - 2) { case 0: print(\"z\"); break; case 2: "
     "print(\"t\"); default: print(i * 2 - 2); } } println(); }",
     "-2zt24\n"},
    {"int f(int x) { return x * 10; }\nvoid main() { int i = 1; println(f(i + 1) + f(i) * 2, \" \", f(f(i) + 1), "
     "\" \", i++ + ++i, \" \", i); }",
     "40 110 4 3\n"},
    // In-place operators against the documented results.
    {"void main() { int m = -2147483647 - 1; println(m / -1, \" \", m % -1, \" \", m - 1, \" \", -m, \" \", m * 2); }",
     "-2147483648 0 2147483647 -2147483648 0\n"},
    {"void main() { int a = 5; a += 2.7; double d = 1; d += 1; d /= 4; int q = 7; q /= 2; q %= 2; bool b = true; "
     "b = 0; println(a, \" \", d, \" \", q, \" \", b); }",
     "7 0.5 1 false\n"},
    {"void main() { double z = 0.0 / 0.0; println(z == z, z != z, z < 1, z >= 1, 1 == 1.0, 2 > 1.5, -0.0 == 0); }",
     "truefalsefalsetruetruetruetrue\n"},
    {"void main() { int n = 3; double x = 2; println(!n, !0, !0.0, -x, -n, 7.0 % 2, 7 % 2.5, 1 / 2.0); }",
     "falsetruetrue-2.0-31.02.00.5\n"},
    {"void main() { int i = 0; double s = 0; while (!(i == 5)) { s += i * 0.5; i++; } println(s, \" \", i--, \" \", "
     "i, \" \", --i); }",
     "5.0 5 3 3\n"},
    // A loop that drops millions of results: they must go back to the store, not fill it.
    {"void main() { int s = 0; for (int i = 0; i < 200000; i++) s = (s + i * 3 + 7) % 1000003; println(s); }",
     "920000\n"},
};

TEST(ScriptFastPaths, ResultsMatchTheGeneralOperators) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.script);
        std::string out, error;
        EXPECT_TRUE(RunKeloScriptText("main.wsp", c.script, {}, &out, error)) << GbkToUtf8(error);
        EXPECT_EQ(out, c.output);
    }
}

// Errors still come from the general path with their own codes.
TEST(ScriptFastPaths, FaultsKeepTheirErrors) {
    const std::pair<const char*, const char*> kFaults[] = {
        {"void main() { int z = 0; int a = 5 % z; }", "10305"},
        {"void main() { int a = 1; a /= 0; }", "10305"},
        {"void main() { string s = \"x\"; s++; }", "10304"},
        {"void main() { int a = 1; a = \"s\"; }", "10309"},
        {"void main() { -\"s\"; }", "10304"},
    };
    for (const auto& [script, code] : kFaults) {
        SCOPED_TRACE(script);
        std::string out, error;
        EXPECT_FALSE(RunKeloScriptText("main.wsp", script, {}, &out, error));
        EXPECT_EQ(error.substr(error.find(code) == std::string::npos ? 0 : error.find(code), 5), code);
    }
}

}  // namespace
}  // namespace kelo
