// The host face end to end: a test host registers functions and methods, scripts call them
// through message 1295, and the host reads and writes values with the host-call functions.
#include <gtest/gtest.h>

#include <cstring>

#include "companion/ui.h"
#include "script/host/host_call.h"
#include "script/host/script_host.h"
#include "script/vm/value_ops.h"
#include "script_test_support.h"

namespace kelo {
namespace {

struct Message {
    uint32_t message;
    intptr_t wparam;
    std::string text;  // the script name for -97
};

struct TestHost {
    std::vector<Message> log;
    intptr_t engine = 0;
    int reserved = 0;
};

const char* const kHostNames[] = {"hostAdd", "mf_string_shout", "hostFail", "hostText", "hostFmt", "mf_nosuchtype_x"};
constexpr int32_t kHostNameCount = 6;

intptr_t HostProc(void* user, uint32_t message, intptr_t wparam, intptr_t lparam) {
    TestHost& h = *static_cast<TestHost*>(user);
    Message m{message, wparam, {}};
    if (wparam == -97) m.text = reinterpret_cast<const char*>(lparam);
    if (wparam == -98 || wparam == -99) {
        if (wparam == -98) h.engine = lparam;
        EXPECT_EQ(h.engine, lparam);
    }
    h.log.push_back(m);
    if (wparam < 0) return 1;
    Tdata* cells = nullptr;
    std::vector<int32_t> args;
    std::string* text = nullptr;
    const int32_t result = GetKeloScriptFuncParams(cells, args, text);
    EXPECT_EQ(result, lparam);
    switch (wparam) {
        case 0: {  // hostAdd(a, b)
            if (args.size() != 2) return 0;
            return setValue(cells[result], Tdata(cells[args[0]].value.i + cells[args[1]].value.i));
        }
        case 1: {  // string.shout(): the object is the first argument
            // Growing the store moves the cells; the refreshed pointer must be used afterwards.
            if (!KeloScriptCurReserveMemory(cells, 400000)) return 0;
            ++h.reserved;
            std::string s = *cells[args[0]].value.s;
            for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            return setValue(cells[result], Tdata(s + "!"));
        }
        case 2: return 0;
        case 3: *text += "host says hi"; return 1;
        case 4: {
            std::string out;
            const int32_t rc = DoStringFormat(cells, args, 0, out);
            if (rc != 0) return 0;
            return setValue(cells[result], Tdata(out));
        }
        default: return 0;
    }
}

struct HostRunResult {
    std::string stdoutText;
    std::string output;
};

HostRunResult Exec(const std::string& command, KeloHostWindow* window) {
    HostRunResult r;
    testing::internal::CaptureStdout();
    ExecKeloScript(command.c_str(), kHostNames, window, kHostNameCount, r.output);
    r.stdoutText = testing::internal::GetCapturedStdout();
    return r;
}

TEST(ScriptHost, FunctionsAndMethodsReachTheHostInOrder) {
    test::ScratchDir dir;
    const std::string path = dir.write("KeloScript/calls.wsp",
                                       "void main(array args) {\n"
                                       "  println(hostAdd(2, 40), \" \", args.getSize(), args[1]);\n"
                                       "  string s = \"abc\";\n"
                                       "  println(s.shout());\n"
                                       "  println(hostFmt(\"%d-%s-%.1f|%d\", 7, \"x\", 2.5, true));\n"
                                       "  hostText();\n"
                                       "}\n");
    TestHost host;
    KeloHostWindow window{HostProc, &host};
    HostRunResult r = Exec("calls *a b", &window);
    EXPECT_EQ(r.output, "\nhost says hi");
    EXPECT_EQ(r.stdoutText, "42 2b\nABC!\n7-x-2.5|1\n");
    EXPECT_EQ(host.reserved, 1);
    const std::vector<std::pair<uint32_t, intptr_t>> expected = {{1295, -98}, {1295, -97}, {1295, 0}, {1295, 1},
                                                                 {1295, 4},   {1295, 3},   {1295, -99}};
    ASSERT_EQ(host.log.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(host.log[i].message, expected[i].first) << i;
        EXPECT_EQ(host.log[i].wparam, expected[i].second) << i;
    }
    EXPECT_EQ(host.log[1].text, "calls");
    // Nothing of the call survives it.
    Tdata* cells = nullptr;
    std::vector<int32_t> args{1};
    std::string* text = nullptr;
    EXPECT_EQ(GetKeloScriptFuncParams(cells, args, text), -1);
    EXPECT_TRUE(args.empty());
    EXPECT_FALSE(KeloScriptCurReserveMemory(cells, 10));
    Tdata a(1), b(2);
    EXPECT_FALSE(setValue(a, b));
}

TEST(ScriptHost, FailingOrMissingHostsGiveTheirErrors) {
    test::ScratchDir dir;
    dir.write("KeloScript/fail.wsp", "void main() {\n  hostFail();\n}\n");
    dir.write("KeloScript/add.wsp", "void main() {\n  println(hostAdd(1, 2));\n}\n");
    dir.write("KeloScript/method.wsp", "void main() {\n  int i = 3;\n  i.shout();\n}\n");
    dir.write("KeloScript/bad.wsp", "void main() {\n  int i = ;\n}\n");
    TestHost host;
    KeloHostWindow window{HostProc, &host};
    KeloHostWindow silent{};  // a window whose host answers nothing
    struct {
        const char* command;
        KeloHostWindow* window;
        int code;
        int line;
    } cases[] = {
        {"fail", &window, 10300, 2}, {"add", nullptr, 10300, 2}, {"add", &silent, 10300, 2},
        {"method", &window, 10301, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        HostRunResult r = Exec(c.command, c.window);
        const std::string head = ToGbk("错误") + std::to_string(c.code) + " ";
        EXPECT_EQ(r.output.compare(0, head.size(), head), 0) << GbkToUtf8(r.output);
        EXPECT_NE(r.output.find("at line: " + std::to_string(c.line)), std::string::npos) << GbkToUtf8(r.output);
    }
    // A missing script and a compile error reach the output; messages still frame the run.
    host.log.clear();
    HostRunResult missing = Exec("nosuch *x", &window);
    EXPECT_EQ(missing.output, "nosuch" + ToGbk("\n文件不存在!"));
    ASSERT_EQ(host.log.size(), 3u);
    EXPECT_EQ(host.log.back().wparam, -99);
    std::string out;
    ExecKeloScriptCheckOnly("bad", kHostNames, nullptr, kHostNameCount, out);
    EXPECT_EQ(out.rfind(ToGbk("错误14"), 0), 0u) << GbkToUtf8(out);  // a compiler error
    EXPECT_NE(out.find("at line: 2"), std::string::npos) << GbkToUtf8(out);
    ExecKeloScriptCheckOnly("add", kHostNames, nullptr, kHostNameCount, out);
    EXPECT_EQ(out, "");  // compiles; the missing host is only found out by running
}

TEST(ScriptHost, CommandTextSplitsIntoNameAndArguments) {
    struct {
        const char* command;
        const char* file;
        std::vector<std::string> args;
    } cases[] = {
        {"a.wsp*x y", "a.wsp", {"x", "y"}},
        {"a.wsp*x y/Pz", "a.wsp", {"x y", "z"}},
        {"a.wsp  *\tx\r\ny  ", "a.wsp", {"x", "y"}},
        {"a.wsp* p /P q /P", "a.wsp", {"p", "q", ""}},
        {"b", "b", {}},
        {"c*", "c", {}},
    };
    for (const auto& c : cases) {
        std::string file;
        std::vector<std::string> args{"stale"};
        SplitScriptCommand(c.command, file, args);
        EXPECT_EQ(file, c.file) << c.command;
        EXPECT_EQ(args, c.args) << c.command;
    }
    EXPECT_STREQ(GetScriptArgDeli(), "/P");
}

TEST(ScriptHost, EncipheredScriptsRunLikeTheirSources) {
    test::ScratchDir dir;
    const std::string src = dir.write("KeloScript/enc.wsp", "void main(array a) { println(\"enc \", a[0]); }\n");
    ASSERT_EQ(EncryptScriptFile(src.c_str()), 1);
    const std::string wse = dir.path() + "/KeloScript/enc.wse";
    ASSERT_TRUE(std::filesystem::exists(wse));
    HostRunResult plain = Exec(src + "*1", nullptr);
    HostRunResult enciphered = Exec(wse + "*1", nullptr);
    EXPECT_EQ(plain.output, "");
    EXPECT_EQ(enciphered.output, "");
    EXPECT_EQ(enciphered.stdoutText, "enc 1\n");
    EXPECT_EQ(plain.stdoutText, enciphered.stdoutText);
    dir.write("KeloScript/broken.wse", "not a cipher text at all");
    EXPECT_EQ(Exec("broken.wse", nullptr).output, ToGbk("wse错误"));
}

TEST(ScriptHost, EncryptRefusesLargeAndEmptySources) {
    test::ScratchDir dir;
    static std::vector<std::string> shown;
    KeloUiHandler ui;
    ui.messageBox = [](void*, const char* text, uint32_t) {
        shown.push_back(text);
        return kIdOk;
    };
    KeloUiHandler old = SetKeloUiHandler(&ui);
    const std::string sizeMessage = ToGbk("加密的源文件不得大于64K");
    struct {
        size_t size;
        int result;
        bool message;
    } cases[] = {{65534, 0, true}, {70000, 0, true}, {0, 0, true}, {65533, 1, false}};
    for (const auto& c : cases) {
        shown.clear();
        const std::string src = dir.write("s" + std::to_string(c.size) + ".wsp", std::string(c.size, 'a'));
        EXPECT_EQ(EncryptScriptFile(src.c_str()), c.result) << c.size;
        EXPECT_EQ(shown, c.message ? std::vector<std::string>{sizeMessage} : std::vector<std::string>{}) << c.size;
    }
    shown.clear();
    EXPECT_EQ(EncryptScriptFile((dir.path() + "/none.wsp").c_str()), 0);
    EXPECT_TRUE(shown.empty());
    SetKeloUiHandler(&old);
    // No extension: ".wse" is appended.
    const std::string bare = dir.write("bare", "void main() {}\n");
    EXPECT_EQ(EncryptScriptFile(bare.c_str()), 1);
    EXPECT_TRUE(std::filesystem::exists(bare + ".wse"));
}

TEST(ScriptHost, CompiledBuffersRunAndCorruptOnesAreRefused) {
    test::ScratchDir dir;
    dir.write("KeloScript/p.wsp",
              "int g = 5;\nint twice(int x) { return 2 * x; }\n"
              "void main(array a) { string s = \"q\\\"\\n\"; println(twice(g), s, a.getSize(), hostAdd(1, 1), 2.5); }\n");
    std::string out;
    int32_t len = 0;
    char* buf = nullptr;
    ASSERT_TRUE(EncodeBuildKeloScript("p", kHostNames, nullptr, kHostNameCount, out, len, buf)) << GbkToUtf8(out);
    ASSERT_GT(len, 0);
    EXPECT_EQ(buf[len], '\0');
    TestHost host;
    KeloHostWindow window{HostProc, &host};
    testing::internal::CaptureStdout();
    DecodeRunKeloScript(kHostNames, &window, kHostNameCount, out, {"u", "v"}, len, buf);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "10q\"\n222.5\n");
    EXPECT_EQ(out, "");
    ASSERT_GE(host.log.size(), 2u);
    EXPECT_EQ(host.log[1].text, "@encode@" + std::to_string(len));
    // Every truncation and a sample of byte flips: refused or run, never a crash.
    const std::string refused = ToGbk("错误10000 内部错误: 非法CS值");
    std::string copy(buf, static_cast<size_t>(len));
    for (int32_t cut = 0; cut < len; cut += 1 + len / 24) {
        DecodeRunKeloScript(kHostNames, nullptr, kHostNameCount, out, {}, cut, copy.data());
        EXPECT_EQ(out, refused) << cut;
    }
    for (int32_t at = 3; at < len; at += 1 + len / 24) {
        std::string bad = copy;
        bad[static_cast<size_t>(at)] = bad[static_cast<size_t>(at)] == '\0' ? 'z' : '\0';
        testing::internal::CaptureStdout();
        DecodeRunKeloScript(kHostNames, nullptr, kHostNameCount, out, {}, len, bad.data());
        testing::internal::GetCapturedStdout();
    }
    DecodeRunKeloScript(kHostNames, nullptr, kHostNameCount, out, {}, 0, nullptr);
    EXPECT_EQ(out, refused);
    delete[] buf;
    EXPECT_FALSE(EncodeBuildKeloScript("missing", kHostNames, nullptr, kHostNameCount, out, len, buf));
    EXPECT_EQ(buf, nullptr);
    EXPECT_EQ(out, "missing" + ToGbk("\n文件不存在!"));
}

TEST(ScriptHost, ScriptFilesAreFoundAndListed) {
    test::ScratchDir dir;
    dir.write("KeloScript/a.wsp", "12345");
    dir.write("KeloScript/sub/b.WSP", "123");
    dir.write("KeloScript/sub/c.cpp", "1");
    dir.write("KeloScript/sub/deeper/d.wsp", "1234567");
    std::vector<std::string> files{"kept"};
    EXPECT_EQ(GetAllWSPFiles(files, ".wsp"), 15);
    const std::string root = dir.path() + "/KeloScript/";
    EXPECT_EQ(files, (std::vector<std::string>{"kept", root + "a.wsp", root + "sub/b.WSP", root + "sub/deeper/d.wsp"}));
    files.clear();
    // A missing folder, or a file given as the folder, lists nothing.
    EXPECT_EQ(GetAllFilesInPath(dir.path() + "/no/such/folder", files, ".wsp"), 0);
    EXPECT_EQ(GetAllFilesInPath(root + "a.wsp", files, ".wsp"), 0);
    EXPECT_TRUE(files.empty());
    EXPECT_EQ(GetAllFilesInPath(root, files, "cpp"), 1);  // the dot is optional
    EXPECT_EQ(files, std::vector<std::string>{root + "sub/c.cpp"});
    std::string path = "d";
    EXPECT_TRUE(getVailWSPFilePath(path));
    EXPECT_EQ(path, root + "sub/deeper/d.wsp");
    path = "c";
    EXPECT_TRUE(getVailWSPFilePath(path));
    EXPECT_EQ(path, root + "sub/c.cpp");
}

TEST(ScriptHost, CallFromDllHandsTheScriptToTheActiveViewOrOffersASkeleton) {
    test::ScratchDir dir;
    dir.write("KeloScript/tool.wsp", "void main() {}\n");
    static std::vector<std::string> asked;
    static int answer = kIdNo;
    KeloUiHandler ui;
    ui.messageBox = [](void*, const char* text, uint32_t) {
        asked.push_back(text);
        return answer;
    };
    KeloUiHandler old = SetKeloUiHandler(&ui);
    static std::string command;
    KeloHostWindow view{[](void*, uint32_t m, intptr_t w, intptr_t l) -> intptr_t {
                            if (m == 1296 && w == 0) command = reinterpret_cast<const char*>(l);
                            return 1;
                        },
                        nullptr};
    SetKeloActiveView(&view);
    std::vector<std::string> args{"x y", "z"};
    EXPECT_TRUE(CallKeloScriptFromDLL("tool", &args, nullptr));
    EXPECT_EQ(command, dir.path() + "/KeloScript/tool.wsp *x y/Pz");
    EXPECT_TRUE(asked.empty());

    EXPECT_FALSE(CallKeloScriptFromDLL("made", nullptr, "a comment"));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "made" + ToGbk(" 文件不存在\n无法执行脚本\n\n") + dir.path() + "/KeloScript" +
                            ToGbk("\n 目录下及其子目录下\n要系统创建一个简单脚本吗?"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/KeloScript/made.wsp"));
    answer = kIdYes;
    asked.clear();
    EXPECT_FALSE(CallKeloScriptFromDLL("made", nullptr, "a comment"));
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1], ToGbk("创建文件成功!"));
    std::ifstream in(dir.path() + "/KeloScript/made.wsp");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "void main(array args)\n{\n/*\na comment\n*/\n\tif (args.getSize())\n" +
                        ToGbk("\t\tmessage(\"参数为:\\n\"+toString(args));\n") + "\telse\n" +
                        ToGbk("\t\tmessage(\"无参数\");\n") + "}\n");
    // The skeleton is a working script: it now runs through the active view.
    command.clear();
    EXPECT_TRUE(CallKeloScriptFromDLL("made", nullptr, nullptr));
    EXPECT_EQ(command, dir.path() + "/KeloScript/made.wsp *");
    SetKeloActiveView(nullptr);
    SetKeloUiHandler(&old);
    answer = kIdNo;
}

TEST(ScriptHost, FormatErrorsAndTheConsoleCallback) {
    test::ScratchDir dir;
    static int touched = 0;
    SetConsoleCallback([] { ++touched; });
    static std::vector<int32_t> codes;
    KeloHostWindow window{[](void*, uint32_t, intptr_t w, intptr_t) -> intptr_t {
                              if (w < 0) return 1;
                              Tdata* cells = nullptr;
                              std::vector<int32_t> args;
                              std::string* text = nullptr;
                              GetKeloScriptFuncParams(cells, args, text);
                              std::string out;
                              codes.push_back(DoStringFormat(cells, args, static_cast<int32_t>(args.size()) - 1, out));
                              codes.push_back(DoStringFormat(cells, args, static_cast<int32_t>(args.size()), out));
                              return 1;
                          },
                          nullptr};
    dir.write("KeloScript/f.wsp", "void main() { hostAdd(1, \"%d\"); hostAdd(\"%d %d\", 1); hostAdd(\"%d\", \"s\"); print(\"\"); }");
    std::string out;
    testing::internal::CaptureStdout();
    ExecKeloScript("f", kHostNames, &window, kHostNameCount, out);
    testing::internal::GetCapturedStdout();
    SetConsoleCallback(nullptr);
    EXPECT_EQ(out, "");
    EXPECT_EQ(codes, (std::vector<int32_t>{-1, 10303, 10304, 10303, 0, 10303}));
    EXPECT_EQ(touched, 1);
}

}  // namespace
// The compiled form keeps the line table, so a program run from its buffer names the line and the
// included file of a run-time error exactly as the source run does.
TEST(ScriptHost, CompiledProgramsNameTheLinesOfTheirErrors) {
    test::ScratchDir dir;
    const std::string lib = dir.write("KeloScript/lib.wsp", "int divide(int a, int b)\n{\n return a / b;\n}\n");
    dir.write("KeloScript/main.wsp", "#include \"lib.wsp\"\nvoid main() {\n divide(1, 0);\n}\n");
    std::string out, ran;
    int32_t len = 0;
    char* buf = nullptr;
    ASSERT_TRUE(EncodeBuildKeloScript("main", kHostNames, nullptr, kHostNameCount, out, len, buf)) << GbkToUtf8(out);
    ExecKeloScript("main", kHostNames, nullptr, kHostNameCount, ran);
    DecodeRunKeloScript(kHostNames, nullptr, kHostNameCount, out, {}, len, buf);
    EXPECT_EQ(out, ran);
    EXPECT_NE(out.find("at line: 3"), std::string::npos) << GbkToUtf8(out);
    EXPECT_NE(out.find("in file: "), std::string::npos) << GbkToUtf8(out);
    delete[] buf;
}

}  // namespace kelo
