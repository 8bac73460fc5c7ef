// Tokens and directives on small scripts: kinds, values, positions and macro expansion.
#include <gtest/gtest.h>

#include "script/front/front_end.h"
#include "script_test_support.h"

namespace kelo {
namespace {

std::vector<std::string> Texts(const std::string& script) {
    ScriptFrontEndResult r;
    ScriptError e;
    EXPECT_TRUE(RunScriptFrontEndOnText("main.wsp", script, r, e)) << GbkToUtf8(e.text);
    std::vector<std::string> out;
    for (const auto& t : r.tokens) out.push_back(t.text);
    return out;
}

using V = std::vector<std::string>;

TEST(ScriptLexer, TokenKindsAndValues) {
    struct Case {
        const char* script;
        V tokens;
    } cases[] = {
        {"TYPE_DOUBLE TYPE_KLBOX TYPE_KLHANDLE TYPE_BOOL TYPE_klBox TYPE_", {"v2", "v21", "v30", "v0", "sTYPE_klBox", "sTYPE_"}},
        {"1.5e3 0x1F 0X1f 017 0 10 2.5E-2 3. 1e20", {"d1500.0", "v31", "v31", "v15", "v0", "v10", "d0.025", "d3.0", "d1.0e20"}},
        {"2147483647 0xFFFFFFFF 037777777777 0x80000000 2147483648", {"v2147483647", "v-1", "v-1", "v-2147483648", "v2147483648"}},
        {"true TRUE false FALSE True", {"btrue", "bTRUE", "bfalse", "bFALSE", "sTrue"}},
        {"\"a\\qb\" \"t\\tn\\nq\\\"s\\\\\"", {"raqb", "rt\tn\nq\"s\\"}},
        {"\"\\b\\r\\f\"", {"r\b\r\f"}},
        {"@\"c:\\dir\\n\" @\"say \"\"hi\"\"\"", {"rc:\\dir\\n", "rsay \"hi\""}},
        {"a<<=b>>=c<<d>>>e", {"sa", "c<<=", "sb", "c>>=", "sc", "c<<", "sd", "c>>", "c>", "se"}},
        {"x+++y&&!z||w!=v==u", {"sx", "c++", "c+", "sy", "c&&", "c!", "sz", "c||", "sw", "c!=", "sv", "c==", "su"}},
        {"a.b[1]?c:d;~e%f^g|h&i", {"sa", "c.", "sb", "c[", "v1", "c]", "c?", "sc", "c:", "sd", "c;", "c~", "se",
                                   "c%", "sf", "c^", "sg", "c|", "sh", "c&", "si"}},
        {"_x9 a/*c\n\xd6\xd0 */b // \xd6\xd0 tail\nc \"\xd6\xd0\"", {"s_x9", "sa", "sb", "sc", "r\xd6\xd0"}},
        {"a/b/=c", {"sa", "c/", "sb", "c/=", "sc"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        EXPECT_EQ(Texts(c.script), c.tokens);
    }
}

TEST(ScriptLexer, PositionsAreLineIndexAndColumn) {
    ScriptFrontEndResult r;
    ScriptError e;
    ASSERT_TRUE(RunScriptFrontEndOnText("main.wsp", "int a;\n\t  b = \"s\";\r\n/*x*/ c", r, e));
    struct P {
        const char* text;
        int line, column;
    } want[] = {{"sint", 0, 1}, {"sa", 0, 5}, {"c;", 0, 6}, {"sb", 1, 4}, {"c=", 1, 6},
                {"rs", 1, 8},   {"c;", 1, 11}, {"sc", 2, 7}};
    ASSERT_EQ(r.tokens.size(), std::size(want));
    for (size_t i = 0; i < std::size(want); ++i) {
        EXPECT_EQ(r.tokens[i].text, want[i].text);
        EXPECT_EQ(r.tokens[i].line, want[i].line) << i;
        EXPECT_EQ(r.tokens[i].column, want[i].column) << i;
    }
}

TEST(ScriptPreprocessor, DefinesExpandAsWholeWordsOutsideStrings) {
    struct Case {
        const char* script;
        V tokens;
    } cases[] = {
        {"#define N 10\nN NN \"N\" N1 N", {"v10", "sNN", "rN", "sN1", "v10"}},
        {"#define ADD(a, b) ((a)+(b))\nADD(x, f(y, z))", {"c(", "c(", "sx", "c)", "c+", "c(", "sf", "c(", "sy", "c,",
                                                         "sz", "c)", "c)", "c)"}},
        {"#define SQ(v) v*v\nSQ\n  (\n 3 )\nq", {"v3", "c*", "v3", "sq"}},
        {"#define E\n#define ONE() 1\na E b ONE()", {"sa", "sb", "v1"}},
        {"#define A B\n#define B 7\nA", {"v7"}},
        {"#define A 1 // one\nA+A", {"v1", "c+", "v1"}},
        {"#define A 1\n#undef A\nA", {"sA"}},
        {"#define S(x) \"x\" x\nS(2)", {"rx", "v2"}},
        {"/* #define X */\nX", {"sX"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        EXPECT_EQ(Texts(c.script), c.tokens);
    }
}

TEST(ScriptPreprocessor, ConditionalBlocksNest) {
    const char* script =
        "#define A\n"
        "#ifdef A\n a1\n #ifndef B\n  nb\n #else\n  b\n #endif\n"
        "#else\n na\n #ifdef A\n #bogus ignored in a dropped branch\n #endif\n#endif\n"
        "#ifndef A\n x\n#else\n y\n#endif";
    EXPECT_EQ(Texts(script), (V{"sa1", "snb", "sy"}));
}

TEST(ScriptPreprocessor, IncludesSplicePositionsAndMacros) {
    test::ScratchDir dir;
    dir.write("KeloScript/defs.h", "#define TWO 2\nint fromInclude;");
    std::string mainPath = dir.write("main.wsp", "#include <defs.h>\nint x = TWO;\n");
    ScriptFrontEndResult r;
    ScriptError e;
    ASSERT_TRUE(RunScriptFrontEnd(mainPath, r, e)) << GbkToUtf8(e.text);
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[0].file, dir.path() + "/KeloScript/defs.h");
    EXPECT_EQ(r.lines[0].line, 2);
    EXPECT_EQ(r.lines[1].file, mainPath);
    EXPECT_EQ(r.lines[1].line, 2);
    EXPECT_EQ(r.lines[1].text, "int x = 2;");
    ASSERT_EQ(r.macros.size(), 1u);
    EXPECT_EQ(r.macros[0].name, "TWO");
    EXPECT_EQ(r.tokens.back().line, 1);

    // An include guard makes a second inclusion empty.
    dir.write("guarded.h", "#ifndef G\n#define G\nint g;\n#endif\n");
    std::string twice = dir.write("twice.wsp", "#include \"guarded.h\"\n#include \"guarded.h\"\n");
    ASSERT_TRUE(RunScriptFrontEnd(twice, r, e)) << GbkToUtf8(e.text);
    EXPECT_EQ(r.tokens.size(), 3u);
}

}  // namespace
}  // namespace kelo
