// The compiled form: statement markers, call sequences and the stack discipline that the
// interpreter relies on.
#include <gtest/gtest.h>

#include <set>

#include "script/front/compiler.h"
#include "script/vm/system_functions.h"

namespace kelo {
namespace {

ScriptProgram Compile(const std::string& text, ScriptFrontEndResult& front) {
    ScriptError e;
    EXPECT_TRUE(RunScriptFrontEndOnText("main.wsp", text, front, e));
    ScriptProgram p;
    EXPECT_TRUE(CompileScript(front, {"hostFn"}, p, e)) << e.text;
    return p;
}

TEST(ScriptCompiler, EveryStatementLineHasAMarker) {
    ScriptFrontEndResult front;
    ScriptProgram p = Compile(
        "int g = 1;\n"
        "int f(int a)\n{\n    int b = a;\n    if (b > 0)\n        b--;\n    return b;\n}\n"
        "void main()\n{\n    f(g);\n    while (g < 3)\n        g++;\n}\n",
        front);
    std::set<int> marked;
    for (const auto& in : p.code)
        if (in.op == kOpStatement) marked.insert(front.lines[static_cast<size_t>(in.position)].line);
    EXPECT_EQ(marked, (std::set<int>{1, 4, 5, 6, 7, 11, 12, 13}));
}

TEST(ScriptCompiler, CallsPairFramesAndReturnToTheInstructionAfterTheJump) {
    ScriptFrontEndResult front;
    ScriptProgram p = Compile("int sq(int x) { return x * x; }\nvoid main() { sq(2); sq(3); hostFn(1); }", front);
    const ScriptFunction& sq = p.functions[static_cast<size_t>(p.functionIndex.at("sq"))];
    int calls = 0, pushes = 0, pops = 0;
    for (size_t i = 0; i < p.code.size(); ++i) {
        const ScriptInstruction& in = p.code[i];
        if (in.op == kOpFramePush) ++pushes;
        if (in.op == kOpFramePop) ++pops;
        if (in.op != kOpCall) continue;
        ++calls;
        // A call is followed by the jump to the entry; the return lands two instructions on.
        ASSERT_LT(i + 2, p.code.size());
        EXPECT_EQ(p.code[i + 1].op, kOpJump);
        EXPECT_EQ(p.code[i + 2].op, kOpFramePop);
        const int32_t target = p.code[i + 1].target;
        EXPECT_TRUE(target == sq.entry ||
                    target == p.functions[static_cast<size_t>(p.mainFunction)].entry);
    }
    EXPECT_EQ(calls, 3);  // two of sq, one from the start code to main
    EXPECT_EQ(pushes, calls);
    EXPECT_EQ(pops, calls);
    // Host functions are numbered from 32768 and called like system functions.
    bool host = false;
    for (const auto& in : p.code) host |= in.op == kOpCallSystem && in.count == kScriptHostFunctionBase;
    EXPECT_TRUE(host);
}

TEST(ScriptCompiler, OperatorsBecomeNumberedSystemCalls) {
    ScriptFrontEndResult front;
    ScriptProgram p = Compile("void main() { int a = 1; a = a + 2 * 3 << 1; a += -a; }", front);
    std::vector<std::string> called;
    for (const auto& in : p.code)
        if (in.op == kOpCallSystem) called.push_back(GetScriptSystemFunctionName(in.count));
    EXPECT_EQ(called, (std::vector<std::string>{"#op_mul", "#op_add", "#op_shiftleft", "#op_equal", "#op_negative",
                                                "#op_addequal"}));
}

TEST(ScriptCompiler, SystemFunctionTableKeepsItsNumbers) {
    struct {
        int32_t number;
        const char* name;
    } fixed[] = {{0, "#op_isEqual"}, {15, "print"}, {35, "#op_equal"}, {67, "#op_initArray"}, {70, "toDouble"},
                 {71, "array_getSize"}, {80, "klPoint_x"}, {83, "string_getLength"}, {104, "array_sort"},
                 {110, "set_size"}, {139, "array_isEmpty"}, {175, "multimap_containsKeyValue"},
                 {176, "array_#op_get"}, {178, "string_#op_get"}};
    for (const auto& f : fixed) {
        EXPECT_EQ(GetScriptSystemFunctionName(f.number), f.name);
        EXPECT_EQ(FindScriptSystemFunction(f.name), f.number);
    }
    EXPECT_EQ(FindScriptMethod(GetScriptMethodNumber("getSize"), kTypeArray), 71);
    EXPECT_EQ(FindScriptMethod(GetScriptMethodNumber("getSize"), kTypeMap), -1);
    EXPECT_EQ(FindScriptMethod(GetScriptMethodNumber("#op_get"), kTypeMap), 177);
    EXPECT_EQ(GetScriptMethodNumber("noSuchMethod"), -1);
}

}  // namespace
}  // namespace kelo
