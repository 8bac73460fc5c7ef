// Whole scripts through the front end, the compiler and the interpreter: what they print, and
// the exact text of every compile and run-time error.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <iterator>

#include "companion/ui.h"
#include "script/front/compiler.h"
#include "script/host/script_host.h"
#include "script/vm/script_engine.h"
#include "script_test_support.h"

namespace kelo {
namespace {

struct Outcome {
    bool ok;
    std::string out;
    std::string error;
};

Outcome RunScript(const std::string& script, const std::vector<std::string>& args = {}) {
    Outcome o;
    o.ok = RunKeloScriptText("main.wsp", script, args, &o.out, o.error);
    return o;
}

struct OutputCase {
    const char* script;
    const char* output;
};

const OutputCase kPrograms[] = {
    // arithmetic and the documented operator results
    {"void main() { println(7/2, \" \", 7.0/2, \" \", -7%2, \" \", 7%-2, \" \", 2.5*2); }", "3 3.5 -1 1 5.0\n"},
    {"void main() { println(1+2*3, \" \", (1+2)*3, \" \", 10-4-3, \" \", 2*3%4, \" \", -2*-3); }", "7 9 3 2 6\n"},
    {"void main() { println(6&3, \" \", 6|3, \" \", 6^3, \" \", ~0, \" \", 1<<4, \" \", -16>>2, \" \", 3|4&5); }",
     "2 7 5 -1 16 -4 7\n"},
    {"void main() { println(1<2, 2<=2, 3>4, 4>=4, 1==1.0, \"a\"!=\"b\", !true, 1<\"a\"); }",
     "truetruefalsetruetruetruefalsetrue\n"},
    {"void main() { int a = 5; a += 2; a -= 1; a *= 3; a /= 4; a %= 3; println(a); a <<= 3; a >>= 1; a |= 1; "
     "a &= 7; a ^= 2; println(a); }",
     "1\n7\n"},
    // Arguments are passed as cells, so each step is printed by its own call.
    {"void main() { int i = 5; print(i++, \" \"); print(i, \" \"); print(++i, \" \"); print(i--, \" \"); "
     "print(--i, \" \"); println(+i, \" \", -i); double d = 1.5; d++; println(d); }",
     "5 6 7 7 5 5 -5\n2.5\n"},
    {"void main() { println(\"ab\" + \"cd\", \" \", (int)3.9, \" \", (double)2, \" \", (int)-2.7); }", "abcd 3 2.0 -2\n"},
    // declarations keep their type
    {"void main() { double d = 1; int i = 2.9; bool b = \"\"; string s; println(d, \" \", i, \" \", b, \" [\", s, "
     "\"]\"); }",
     "1.0 2 false []\n"},
    {"void main() { array a; set s; map m; multiset ms; multimap mm; klPoint p; println(a, s, m, ms, mm, p); }",
     "[0]{}[0]{}[0]{}[0]{}[0]{}(0.0, 0.0, 0.0)\n"},
    // control flow
    {"void main() { int i; for (i = 0; i < 5; i++) { if (i == 1) continue; if (i == 4) break; print(i); } "
     "println(); }",
     "023\n"},
    {"void main() { int n = 3; while (n > 0) { print(n); n--; } do { print(\"d\"); } while (false); println(); }",
     "321d\n"},
    {"void main() { for (int i = 0, j = 10; i < j; i += 4) print(i, \",\"); println(); }", "0,4,8,\n"},
    {"void main() { int k; for (k = 0; k < 3; k++) { switch (k) { case 0: print(\"zero\"); case 1: print(\"one\"); "
     "break; default: print(\"other\"); } print(\";\"); } println(); }",
     "zeroone;one;other;\n"},
    {"void main() { switch (\"b\") { case \"a\": println(\"A\"); break; case \"b\": { int x = 2; println(x); } "
     "break; } }",
     "2\n"},
    {"void main() { int x = 1; if (x == 2) println(\"two\"); else if (x == 1) println(\"one\"); else "
     "println(\"?\"); }",
     "one\n"},
    {"void main() { int a = 0; println(a > 0 ? \"pos\" : a < 0 ? \"neg\" : \"zero\"); }", "zero\n"},
    // short circuit: f is not called when the left side decides
    {"int calls = 0;\nbool f() { calls++; return true; }\nvoid main() { bool a = true || f(); bool b = false && "
     "f(); bool c = false || f(); println(a, b, c, calls); }",
     "truefalsetrue1\n"},
    // functions: prototypes, references, recursion, untyped functions, globals
    {"int twice(int x);\nvoid main() { println(twice(21)); }\nint twice(int x) { return x * 2; }", "42\n"},
    {"void swap(int& a, int& b) { int t = a; a = b; b = t; }\nvoid main() { int x = 1, y = 2; swap(x, y); "
     "println(x, y); }",
     "21\n"},
    {"void grow(array& a) { a.add(1); }\nvoid keep(array a) { a.add(1); }\nvoid main() { array a; grow(a); "
     "keep(a); println(a.getSize()); }",
     "1\n"},
    {"int fib(int n) { if (n < 2) return n; return fib(n - 1) + fib(n - 2); }\nvoid main() { println(fib(20)); }",
     "6765\n"},
    {"function pick(int k) { if (k) return \"text\"; return 1.5; }\nvoid main() { println(pick(1), pick(0)); }",
     "text1.5\n"},
    {"double half(int x) { return x / 2; }\nvoid main() { println(half(5)); }", "2.0\n"},
    {"int g = 3, h = g * 2;\nvoid show() { println(g, h); }\nvoid main() { g = 7; show(); }", "76\n"},
    {"int add(int a, int b) { return a + b; }\nvoid main() { println(callFuncByName(\"add\", 2, 3)); }", "5\n"},
    {"void main(array args) { println(args.getSize(), args); }", "2[2]{x, y}\n"},
    // containers and points
    {"void main() { array a = {1, \"s\", {2, 3}}; a[1] = \"t\"; a[2][0] = 9; println(a); }", "[3]{1, t, [2]{9, 3}}\n"},
    {"void main() { array a = {1, 2}; array b = a; b[0] = 7; println(a, b); }", "[2]{1, 2}[2]{7, 2}\n"},
    {"void main() { map m; m.add(\"b\", 2); m.add(\"a\", 1); m.add(\"a\", 9); m[\"b\"] = 3; int v = 0; "
     "bool got = m.get(\"z\", v); println(m, got, v, m.containsKey(\"a\")); }",
     "[2]{a : 1, b : 3}false0true\n"},
    {"void main() { set s; s.add(2); s.add(1.5); s.add(1); s.add(1.0); double x; println(s, s.ceiling(1.2, x), "
     "x, s.lower(1, x), x); }",
     "[3]{1, 1.5, 2}true1.5false1.5\n"},
    {"void main() { multimap m; m.add(1, \"a\"); m.add(1, \"b\"); m.add(0, \"c\"); println(m.get(1), "
     "m.countKey(1), m.getItems()); }",
     "[2]{a, b}2[6]{0, c, 1, a, 1, b}\n"},
    {"void main() { klPoint p; p.x = 1; p.y = 2.5; klPoint q = p; q.z = 3; println(p, q, p.x()); }",
     "(1.0, 2.5, 0.0)(1.0, 2.5, 3.0)1.0\n"},
    {"void main() { array a = {3, 1, 2}; a.sort(); println(a); a.insertAt(0, 9); a.removeAt(1); println(a, "
     "a.isEmpty()); }",
     "[3]{1, 2, 3}\n[3]{9, 2, 3}false\n"},
    {"void main() { array m = {{1, 2}, {3, 4}}; array x; bool ok = m.mtGauss({5, 11}, x); println(ok, x, "
     "m.mtTranspose(), m.mtMultiply(m)); }",
     "true[2]{1.0, 2.0}[2]{[2]{1.0, 3.0}, [2]{2.0, 4.0}}[2]{[2]{7.0, 10.0}, [2]{15.0, 22.0}}\n"},
    // strings
    {"void main() { string s = \"Hello\"; println(s.getLength(), s.mid(1, 3), s.left(2), s.right(2), "
     "s.find(\"l\"), s.reverseFind(\"l\"), s[1]); }",
     "5ellHelo23e\n"},
    {"void main() { string s = \" a,b;;c \"; s.trimLeft(); s.trimRight(); int p = 0; print(s.tokenize(\",;\", p)); "
     "print(s.tokenize(\",;\", p)); print(s.tokenize(\",;\", p)); println(s.tokenize(\",;\", p), p); }",
     "abc-1\n"},
    {"void main() { string s = \"abc\"; s.makeUpper(); s.replace(\"B\", \"xy\"); s.insertAt(0, \"<\"); "
     "println(s, s.compare(\"<A\"), \"%d-%5.2f-%s\".format(3, 1.5, \"z\")); }",
     "<AxyC13- 1.50-z\n"},
    // conversions and the rest of the global functions
    {"void main() { println(parseInt(\"42x\"), atoi(\"x\"), parseDouble(\"2.5\"), chr(65), ord(\"A\"), "
     "toString({1}), getDataType(\"s\"), TYPE_STRING, abs(-2), floor(2.7), sqrt(16), pow(2, 10)); }",
     "4202.5A65[1]{1}332.02.04.01024.0\n"},
    {"void main() { println(null); int x; x = null == null; println(x); }", "void\n1\n"},
    // int literals are 32-bit; hexadecimal and octal ones are bit patterns
    {"void main() { println(2147483647, \" \", -2147483647 - 1, \" \", 0x7FFFFFFF, \" \", 0xFFFFFFFF, \" \", "
     "037777777777, \" \", 0x80000000); }",
     "2147483647 -2147483648 2147483647 -1 -1 -2147483648\n"},
    // the smallest int is written directly, as one constant
    {"void main() { int m = -2147483648; println(m, \" \", m == -2147483647 - 1, \" \", m + 1, \" \", 1 + -2147483648 * 1); }",
     "-2147483648 true -2147483647 -2147483647\n"},
    {"void main() { bool ok = reserveMemory(300000); println(ok); exit(); println(\"not reached\"); }", "true\n"},
    {"void inner() { exit(0); }\nvoid main() { inner(); println(\"not reached\"); }", ""},
};

TEST(ScriptLanguage, ProgramsPrintTheirExpectedOutput) {
    for (const auto& c : kPrograms) {
        SCOPED_TRACE(c.script);
        Outcome o = RunScript(c.script, {"x", "y"});
        EXPECT_TRUE(o.ok) << GbkToUtf8(o.error);
        EXPECT_EQ(o.out, c.output);
    }
}

struct ErrorCase {
    int code;
    const char* script;
    int line;
    int column;  // 0: no column (run-time errors)
    const char* message;
};

const ErrorCase kErrors[] = {
    {1300, "foo bar() {}\nvoid main() {}", 1, 1, "函数定义错误--找不到正确的函数返回类型"},
    {1301, "int if() {}\nvoid main() {}", 1, 5, "函数定义错误--找不到函数名"},
    {1302, "double sin(double x) { return x; }\nvoid main() {}", 1, 8, "函数定义错误--函数名与系统函数名冲突"},
    {1303, "void f() {}\nvoid f() {}\nvoid main() {}", 2, 6, "函数定义错误--函数名与前面定义的函数名冲突"},
    {1304, "void f(int a b) {}\nvoid main() {}", 1, 14, "函数定义错误--函数参数定义错误，找不到匹配的(和)"},
    {1305, "void f(int) {}\nvoid main() {}", 1, 11, "函数定义错误--函数参数定义错误，找不到参数名"},
    {1306, "void f(foo a) {}\nvoid main() {}", 1, 8, "函数定义错误--函数参数定义错误，找不正确的参数类型"},
    {1307, "void main(int n) {}", 1, 6, "函数定义错误--main函数必须是无参数函数或 array args"},
    {1308, "void main() {\n void g() {}\n}", 2, 2, "函数定义错误--函数不能嵌套定义"},
    {1311, "void main() { return 1; }", 1, 22, "return语句错误--函数的返回类型应为void，return后不应有参数"},
    {1313, "int f() { return; }\nvoid main() {}", 1, 17, "return语句错误--函数的返回类型不为void，return后应有参数"},
    {1320, "void main() { while (true) { break 1; } }", 1, 36, "break语句错误--break命令后不应有参数"},
    {1321, "void main() { break; }", 1, 20, "break语句错误--仍有无法处理的break语句"},
    {1330, "void main() { while (true) { continue x; } }", 1, 39, "continue语句错误--continue命令后不应有参数"},
    {1331, "void main() { switch (1) { case 1: continue; } }", 1, 44, "continue语句错误--仍有无法处理的continue语句"},
    {1340, "void main() { foo x; }", 1, 15, "变量定义错误--无法识别的数据类型"},
    {1340, "foo x;\nvoid main() {}", 1, 1, "变量定义错误--无法识别的数据类型"},
    {1341, "void main() { int = 3; }", 1, 19, "变量定义错误--找不到变量名"},
    {1342, "void main() { int while; }", 1, 19, "变量定义错误--变量名与保留字冲突"},
    {1343, "void main() { int a; double a; }", 1, 29, "变量定义错误--变量名重复定义"},
    {1344, "void main() { int a b; }", 1, 21, "变量定义错误--变量名间需用,分隔"},
    {1344, "int g = 1 break;\nvoid main() {}", 1, 11, "变量定义错误--变量名间需用,分隔"},
    {1350, "void main() { for (;;) }", 1, 24, "for语句错误--for结构后缺少语句"},
    {1351, "void main() { for x }", 1, 19, "for语句错误--找不到相应的("},
    {1353, "void main() { for (int i = 0; i < 2) {} }", 1, 36, "for语句错误--找不到相应的}"},
    {1355, "void main() { switch (1) case 1: ; }", 1, 26, "switch语句结果不全"},
    {1356, "void main() { switch (1) { case 1 ; } }", 1, 35, "case语句错误"},
    {1357, "void main() { switch (1) { default ; } }", 1, 28, "default语句错误"},
    {1360, "void main() { if (true) }", 1, 25, "if语句错误--if后缺少语句"},
    {1361, "void main() { if true; }", 1, 18, "if语句错误--找不到相应的("},
    {1363, "void main() { else ; }", 1, 15, "else语句错误--找不到相应的if语句"},
    {1370, "void main() { while (true) }", 1, 28, "while语句错误--while后缺少语句"},
    {1371, "void main() { while true; }", 1, 21, "while语句错误--找不到相应的("},
    {1381, "void main() { 1 2; }", 1, 17, "编译错误：(函数或变量类型错误?)语句分析失败"},
    {1382, "int a;", 1, 6, "编译错误：找不到函数运行起点"},
    {1383, "void main();\nvoid main() {}", 1, 6, "编译错误：main函数不能预声明"},
    {1390, "void f() {}", 1, 11, "找不到运行起点，没有找到main函数"},
    {1410, "void main() { int a; a = ; }", 1, 26, "赋值语句为空"},
    {1410, "void main() { = 3; }", 1, 15, "赋值语句为空"},
    {1411, "void f(int a) {}\nvoid main() { f(1, 2); }", 2, 15, "函数调用时参数个数错误"},
    {1414, "void main() { int a = true ? 1 ; }", 1, 32, "? : 分析错误"},
    {1420, "void main() { int a = 1 + ; }", 1, 27, "无法分析的表达式"},
    {1420, "void main() { undefinedName; }", 1, 15, "无法分析的表达式"},
    {1420, "void main() {\n int a = 2147483648; }", 2, 10, "无法分析的表达式"},
    {1420, "void main() { println(99999999999999999999); }", 1, 23, "无法分析的表达式"},
    {1104, "void main() { int a = 0x100000000; }", 1, 23, "16进制数语法分析错误"},
    {1103, "void main() { int a = 040000000000; }", 1, 23, "8进制数语法分析错误"},
    // run time
    {10101, "int deep(int n) { return deep(n + 1); }\nvoid main() {\n deep(0);\n}", 1, 0, "栈溢出"},
    {10102, "void deep() { int a, b, c, d, e, f; deep(); }\nvoid main() { deep(); }", 1, 0, "堆溢出"},
    {10200, "void f(int a) {}\nvoid main() {\n f(\"s\");\n}", 3, 0, "赋值类型不符"},
    {10201, "void main() {\n klPoint p;\n if (p) ;\n}", 3, 0, "判断条件语句取值失败"},
    {10202, "void main() {\n int ok = 1;\n int x = \"abc\";\n}", 3, 0, "常量赋值类型不符"},
    {10202, "int g = 1, h = {1};\nvoid main() {}", 1, 0, "常量赋值类型不符"},
    {10202, "void main() { map m; array a = m; }", 1, 0, "常量赋值类型不符"},
    {10200, "int f() { return \"s\"; }\nvoid main() {\n f();\n}", 1, 0, "赋值类型不符"},
    {10300, "void main() { array a; array b = a.mtAdd({1}); }", 1, 0, "函数调用错误(类型不符)"},
    {10301, "void main() { map m; m.getSize(); }", 1, 0, "找不到相应的成员函数"},
    {10301, "void main() {\n\n noSuchFunction(1);\n}", 3, 0, "找不到相应的成员函数"},
    {10302, "void main() { int i = 3; i[0]; }", 1, 0, "[]操作错误，[]只适用于array，string和map类型"},
    {10303, "void main() { sin(1, 2); }", 1, 0, "函数调用错误，参数个数不符"},
    {10304, "void main() { string s = \"ab\" + 1; }", 1, 0, "函数调用错误，参数类型不符"},
    {10305, "void main() {\n int z = 0;\n println(1 / z);\n}", 3, 0, "除数为0"},
    {10305, "void main() { random(0); }", 1, 0, "除数为0"},
    {10307, "void main() { chr(256); }", 1, 0, "chr()函数参数应在[0-255]之间"},
    {10304, "void main() { ord(\"ab\"); }", 1, 0, "函数调用错误，参数类型不符"},
    {10308, "void main() { array a = {1}; a[1] = 2; }", 1, 0, "数组下标越界"},
    {10308, "void main() { map m; m[\"missing\"]; }", 1, 0, "数组下标越界"},
    {10309, "void main() { int a; a = \"s\"; }", 1, 0, "赋值语句类型不符"},
    {10310, "void main() { string s = \"ab\"; s[2]; }", 1, 0, "字符串下标越界"},
    {10311, "void main() { callFuncByName(1); }", 1, 0, "动态调用函数名为非字符串"},
    {10312, "void main() { callFuncByName(\"nope\"); }", 1, 0, "动态调用函数名找不到"},
    {10313, "void f(int a) {}\nvoid main() { callFuncByName(\"f\"); }", 2, 0, "动态调用函数参数个数不正确"},
};

TEST(ScriptLanguage, EveryErrorHasItsText) {
    for (const auto& c : kErrors) {
        SCOPED_TRACE(c.script);
        Outcome o = RunScript(c.script);
        EXPECT_FALSE(o.ok);
        EXPECT_EQ(GbkToUtf8(o.error), GbkToUtf8(test::ErrorText(c.code, c.message, c.line, c.column)));
    }
}

// A compiled program prints what its source prints (the table above), and its run-time errors name
// the same lines, because the compiled form carries the line table.
TEST(ScriptLanguage, BuildThenExecMatchesRun) {
    test::ScratchDir dir;
    const char* const names[] = {"hostOnly"};
    // expected is the printed text for programs and the error text for failing ones.
    auto check = [&](const std::string& script, const std::string& printed, const std::string& error,
                     bool compileError) {
        SCOPED_TRACE(script);
        dir.write("KeloScript/case.wsp", script);
        std::string built, execd;
        int32_t len = 0;
        char* buf = nullptr;
        const bool ok = EncodeBuildKeloScript("case", names, nullptr, 1, built, len, buf);
        EXPECT_EQ(ok, !compileError);
        if (!ok) {
            EXPECT_EQ(GbkToUtf8(built), GbkToUtf8(error));
            return;
        }
        EXPECT_EQ(built, "");
        testing::internal::CaptureStdout();
        DecodeRunKeloScript(names, nullptr, 1, execd, {"x", "y"}, len, buf);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), printed);
        delete[] buf;
        EXPECT_EQ(GbkToUtf8(execd), GbkToUtf8(error));
    };
    for (const auto& c : kPrograms) check(c.script, c.output, "", false);
    for (const auto& c : kErrors) {
        if (c.column == 0) check(c.script, "", test::ErrorText(c.code, c.message, c.line, 0), false);
        else check(c.script, "", test::ErrorText(c.code, c.message, c.line, c.column), true);
    }
}

TEST(ScriptLanguage, ErrorInAnIncludedFileNamesTheFile) {
    test::ScratchDir dir;
    std::string lib = dir.write("lib.wsp", "int divide(int a, int b)\n{\n return a / b;\n}\n");
    std::string mainPath = dir.write("main.wsp", "#include \"lib.wsp\"\nvoid main() { divide(1, 0); }\n");
    std::string out, error;
    ASSERT_FALSE(RunKeloScriptFile(mainPath, {}, &out, error));
    EXPECT_EQ(error, test::ErrorText(10305, "除数为0", 3, 0, lib));
}

TEST(ScriptLanguage, ValuesSurviveCollection) {
    // Builds and drops far more cells than the store holds at start (so collections run while
    // the loop is live); the kept map must come out whole.
    const char* script =
        "void main() {\n"
        "  map keep;\n"
        "  int round;\n"
        "  for (round = 0; round < 60; round++) {\n"
        "    array junk;\n"
        "    int i;\n"
        "    for (i = 0; i < 2000; i++) junk.add({i, \"x\"});\n"
        "    keep.add(round, junk.getSize() + round);\n"
        "  }\n"
        "  int sum = 0;\n"
        "  for (round = 0; round < 60; round++) { int v; keep.get(round, v); sum += v; }\n"
        "  println(keep.size(), \" \", sum);\n"
        "}\n";
    Outcome o = RunScript(script);
    EXPECT_TRUE(o.ok) << GbkToUtf8(o.error);
    EXPECT_EQ(o.out, "60 121770\n");
}

}  // namespace
}  // namespace kelo

namespace kelo {
namespace {

// The command-line host: output on stdout, the error text on stderr, a non-zero exit on error.
TEST(ScriptLanguage, KeloRunReportsErrorsOnStderr) {
    test::ScratchDir dir;
    std::string ok = dir.write("ok.wsp", "void main(array a) { println(a[0], \"+\", a[1]); }\n");
    std::string bad = dir.write("bad.wsp", "void main() {\n int z = 0;\n println(1 / z);\n}\n");
    auto run = [&](const std::string& args, std::string& out) {
        std::string cmd = std::string(KELO_TOOL_PATH) + " run " + args + " 2>" + dir.path() + "/err.txt";
        FILE* p = ::popen(cmd.c_str(), "r");
        char buf[256];
        out.clear();
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        return WEXITSTATUS(::pclose(p));
    };
    std::string out;
    EXPECT_EQ(run(ok + " one two", out), 0);
    EXPECT_EQ(out, "one+two\n");
    EXPECT_EQ(run(bad, out), 1);
    EXPECT_EQ(out, "");
    std::ifstream err(dir.path() + "/err.txt");
    std::string text((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("10305"), std::string::npos) << text;
    EXPECT_NE(text.find("at line: 3"), std::string::npos) << text;
}

}  // namespace
}  // namespace kelo

namespace kelo {
namespace {

struct BreakState {
    int polls = 0;
    int asked = 0;
    int answer = kIdNo;
    std::string question;
};

TEST(ScriptLanguage, BreakRequestAsksAndStopsOnYes) {
    static BreakState state;
    state = BreakState();
    KeloUiHandler ui;
    ui.user = &state;
    ui.messageBox = [](void* u, const char* text, uint32_t type) {
        auto* s = static_cast<BreakState*>(u);
        ++s->asked;
        s->question = text;
        return type == kMbYesNo ? s->answer : kIdOk;
    };
    KeloUiHandler old = SetKeloUiHandler(&ui);
    // The key is "pressed" on the third poll.
    SetScriptBreakPoll([](void* u) { return ++static_cast<BreakState*>(u)->polls == 3; }, &state);

    state.answer = kIdYes;
    Outcome o = RunScript("void main() { int n = 0; while (true) n++; }");
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(state.asked, 1);
    EXPECT_EQ(state.polls, 3);
    EXPECT_EQ(state.question, ToGbk("确要终止脚本运行吗？"));

    // No: the run goes on to its own end.
    state = BreakState();
    o = RunScript("void main() { int n = 0; while (n < 5000) n++; println(n); }");
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.out, "5000\n");
    EXPECT_EQ(state.asked, 1);
    EXPECT_GT(state.polls, 3);

    SetScriptBreakPoll(nullptr, nullptr);
    SetKeloUiHandler(&old);
}

}  // namespace
}  // namespace kelo

namespace kelo {
namespace {

// A by-reference parameter and an element reference stay bound while collections run under them.
TEST(ScriptLanguage, ReferencesStayBoundAcrossCollections) {
    const char* script =
        "void churn(array& acc, int& count) {\n"
        "  for (int r = 0; r < 40; r++) {\n"
        "    array junk;\n"
        "    for (int i = 0; i < 3000; i++) junk.add(\"x\");\n"
        "    acc.add(r);\n"
        "    count += junk.getSize();\n"
        "  }\n"
        "}\n"
        "void main() {\n"
        "  array acc; int count = 0;\n"
        "  churn(acc, count);\n"
        "  println(acc.getSize(), \" \", acc[39], \" \", count);\n"
        "}\n";
    Outcome o = RunScript(script);
    EXPECT_TRUE(o.ok) << GbkToUtf8(o.error);
    EXPECT_EQ(o.out, "40 39 120000\n");
}

}  // namespace
}  // namespace kelo

namespace kelo {
namespace {

// The read functions take standard input with the formatted input of the C library.
TEST(ScriptLanguage, ReadFunctionsTakeStandardInput) {
    test::ScratchDir dir;
    std::string script = dir.write(
        "read.wsp",
        "void main() { int i = readInteger(); string s = readString(); double d = readDouble(\"? \"); "
        "println(i + 1, \"|\", s, \"|\", d * 2); }\n");
    std::string cmd = "printf '41 word 1.25' | " + std::string(KELO_TOOL_PATH) + " run " + script;
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[256];
    std::string out;
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    EXPECT_EQ(WEXITSTATUS(::pclose(p)), 0);
    EXPECT_EQ(out, "? 42|word|2.5\n");
}

}  // namespace
}  // namespace kelo
