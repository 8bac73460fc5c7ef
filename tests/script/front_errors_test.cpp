// Every front-end error, raised by the smallest script that shows it, with its full text.
#include <gtest/gtest.h>

#include "companion/cipher.h"
#include "script/front/front_end.h"
#include "script_test_support.h"

namespace kelo {
namespace {

struct ErrorCase {
    int code;
    const char* script;
    int line;
    int column;
    const char* message;
};

const ErrorCase kCases[] = {
    {1000, "#include \"\"", 1, 1, "非法的文件名"},
    {1001, "int a;\n  #include \".\"", 2, 3, "文件名不存在"},
    {1100, "int a;\nstring s = \"abc;", 2, 12, "字符串常量语法分析错误--没有找到相应的‘\"’符号"},
    {1100, "string s = \"ends in escape\\", 1, 12, "字符串常量语法分析错误--没有找到相应的‘\"’符号"},
    {1101, "int a; /* open\nmore", 1, 8, "注释语法分析错误--没有找到相应的'*/'符号"},
    {1102, "int a = 1;\nint b$ = 2;", 2, 6, "无法识别的字符"},
    {1102, "int x\xd6\xd0 = 1;", 1, 6, "无法识别的字符"},
    {1102, "int a = '1';", 1, 9, "无法识别的字符"},
    {1103, "int a = 09;", 1, 9, "8进制数语法分析错误"},
    {1103, "int a = 0178;", 1, 9, "8进制数语法分析错误"},
    {1104, "int a = 0x;", 1, 9, "16进制数语法分析错误"},
    {1104, "int a = 0x1G;", 1, 9, "16进制数语法分析错误"},
    {1105, "double d = 1.5e;", 1, 12, "浮点数语法分析错误"},
    {1105, "double d = 1.5.2;", 1, 12, "浮点数语法分析错误"},
    {1106, "#pragma once", 1, 1, "非法的#"},
    {1106, "  #", 1, 3, "非法的#"},
    {1107, "#define", 1, 1, "非法的define类语句，找不到define后的字符串"},
    {1107, "#ifdef\n#endif", 1, 1, "非法的define类语句，找不到define后的字符串"},
    {1107, "#define F(a,) a", 1, 1, "非法的define类语句，找不到define后的字符串"},
    {1108, "#ifdef A B\n#endif", 1, 1, "define类语句应独占一行或非法的include"},
    {1108, "#include \"x.wsp\" y", 1, 1, "define类语句应独占一行或非法的include"},
    {1109, "#else", 1, 1, "无法找到#else对应的#if"},
    {1109, "#ifdef A\n#else\n#else\n#endif", 3, 1, "无法找到#else对应的#if"},
    {1110, "int a;\n#endif", 2, 1, "无法找到#endif对应的#if"},
    {1111, "#ifdef A\n#ifndef B\n#endif\nint a;", 1, 1, "结尾还有未处理的#if"},
    {1113, "#include a.wsp", 1, 1, "非法的include格式，找不到对应的<>或者\""},
    {1113, "#include <a.wsp", 1, 1, "非法的include格式，找不到对应的<>或者\""},
    {1114, "#undef NOPE", 1, 1, "undef语句错误，undef的对象以前没有定义过"},
    {1115, "#define F(a,b) a+b\nint x = F(1);", 2, 9, "宏展开错误，参数个数不正确"},
    {1115, "#define F(a) a\nint x = F;", 2, 9, "宏展开错误，参数个数不正确"},
    {1116, "#define A A+1\nint x = A;", 2, 9, "define语句长度过长，可能由于define无限循环导致"},
    {1116, "#define A B\n#define B A\nint x = A;", 3, 9, "define语句长度过长，可能由于define无限循环导致"},
    {1117, "#define A #", 1, 1, "define语句中不能定义#符号"},
    {1118, "#define A 1\n#define A 2", 2, 1, "define语句错误，对象重复定义"},
    {1200, "int x = (1];", 1, 11, "括号匹配错误--无法匹配的括号"},
    {1200, "}", 1, 1, "括号匹配错误--无法匹配的括号"},
    {1201, "void main() {\nint a;", 1, 13, "括号匹配错误--结尾缺少}"},
    {1202, "void main() {}\nint x = (1;", 2, 9, "括号匹配错误--结尾缺少)或者]"},
    {1202, "int a[3;", 1, 6, "括号匹配错误--结尾缺少)或者]"},
};

TEST(ScriptFrontErrors, EachCodeHasItsTextAndPosition) {
    test::ScratchDir dir;
    for (const ErrorCase& c : kCases) {
        SCOPED_TRACE(c.script);
        ScriptFrontEndResult r;
        ScriptError e;
        EXPECT_FALSE(RunScriptFrontEndOnText("main.wsp", c.script, r, e));
        EXPECT_EQ(e.code, c.code);
        EXPECT_EQ(e.text, test::ErrorText(c.code, c.message, c.line, c.column));
        EXPECT_TRUE(r.tokens.empty());
    }
}

TEST(ScriptFrontErrors, IncludedFileNamesItselfInTheText) {
    test::ScratchDir dir;
    std::string inc = dir.write("lib/inc.wsp", "int a;\n\nint b = 0x;\n");
    std::string mainPath = dir.write("main.wsp", "int z;\n#include \"" + inc + "\"\nint c;\n");
    ScriptFrontEndResult r;
    ScriptError e;
    ASSERT_FALSE(RunScriptFrontEnd(mainPath, r, e));
    EXPECT_EQ(e.text, test::ErrorText(1104, "16进制数语法分析错误", 3, 9, inc));

    // The same fault in the main file names no file.
    std::string plain = dir.write("plain.wsp", "int a;\nint b = 0x;\n");
    ASSERT_FALSE(RunScriptFrontEnd(plain, r, e));
    EXPECT_EQ(e.text, test::ErrorText(1104, "16进制数语法分析错误", 2, 9));
}

TEST(ScriptFrontErrors, DirectiveFaultInsideAnIncludeIsReportedThere) {
    test::ScratchDir dir;
    std::string inc = dir.write("inc.wsp", "#define A 1\n#define A 2\n");
    std::string mainPath = dir.write("main.wsp", "#include <inc.wsp>\n");
    ScriptFrontEndResult r;
    ScriptError e;
    ASSERT_FALSE(RunScriptFrontEnd(mainPath, r, e));
    EXPECT_EQ(e.text, test::ErrorText(1118, "define语句错误，对象重复定义", 2, 1, inc));
}

TEST(ScriptFrontErrors, SelfIncludeEndsWithTheLineLimit) {
    test::ScratchDir dir;
    for (const char* body : {"#include \"self.wsp\"\n", "int a;\n#include \"self.wsp\"\nint b;\n"}) {
        std::string self = dir.write("self.wsp", body);
        ScriptFrontEndResult r;
        ScriptError e;
        ASSERT_FALSE(RunScriptFrontEnd(self, r, e));
        EXPECT_EQ(e.code, 1112);
        EXPECT_EQ(e.text.substr(0, e.text.find('\n')),
                  ToGbk("错误1112 代码过长，可能由于include的无限循环导致"));
    }
}

TEST(ScriptFrontErrors, MissingFileGivesNameAndText) {
    test::ScratchDir dir;
    ScriptFrontEndResult r;
    ScriptError e;
    ASSERT_FALSE(RunScriptFrontEnd("no_such_script", r, e));
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.text, "no_such_script" + ToGbk("\n文件不存在!"));

    ASSERT_FALSE(RunScriptFrontEndOnText("main.wsp", "#include \"gone.wsp\"", r, e));
    EXPECT_EQ(e.text, "gone.wsp" + ToGbk("\n文件不存在!"));

    ASSERT_FALSE(RunScriptFrontEnd("", r, e));
    EXPECT_EQ(e.text, ToGbk("错误1000 非法的文件名"));
}

TEST(ScriptFrontErrors, EncipheredScriptsReadThroughATemporaryFile) {
    test::ScratchDir dir;
    std::string good = dir.write("KeloScript/sub/code.WSE", KeloEncryptString2("int a = 7;\nstring s = \"x\";\n", 1));
    ScriptFrontEndResult r;
    ScriptError e;
    // Found by name in a sub-folder of the script folder; the extension test ignores case.
    ASSERT_TRUE(RunScriptFrontEnd("sub/code.WSE", r, e)) << e.text;
    EXPECT_EQ(r.mainFile, good);
    ASSERT_EQ(r.tokens.size(), 10u);
    EXPECT_EQ(r.tokens[3].text, "v7");
    EXPECT_EQ(dir.tempFileCount(), 0u);

    dir.write("bad.wse", "this is no cipher text");
    ASSERT_FALSE(RunScriptFrontEnd(dir.path() + "/bad.wse", r, e));
    EXPECT_EQ(e.text, ToGbk("wse错误"));
    EXPECT_EQ(dir.tempFileCount(), 0u);

    // A deciphered script that fails later still leaves no temporary file behind.
    dir.write("fails.wse", KeloEncryptString2("int a = 09;", 1));
    ASSERT_FALSE(RunScriptFrontEnd(dir.path() + "/fails.wse", r, e));
    EXPECT_EQ(e.code, 1103);
    EXPECT_EQ(dir.tempFileCount(), 0u);
}

TEST(ScriptFrontErrors, ScriptFolderLookupOrder) {
    test::ScratchDir dir;
    dir.write("KeloScript/deep/tool.cpp", "int fromCpp;");
    dir.write("KeloScript/deep/er/tool.wsp", "int fromDeeperWsp;");
    ScriptFrontEndResult r;
    ScriptError e;
    // ".wsp" is tried before ".cpp" in the whole tree.
    ASSERT_TRUE(RunScriptFrontEnd("tool", r, e)) << e.text;
    EXPECT_EQ(r.tokens[1].text, "sfromDeeperWsp");
    dir.write("KeloScript/tool.cpp", "int top;");
    ASSERT_TRUE(RunScriptFrontEnd("tool.cpp", r, e)) << e.text;
    EXPECT_EQ(r.tokens[1].text, "stop");
}

}  // namespace
}  // namespace kelo
