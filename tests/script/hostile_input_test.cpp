// Input a hostile or careless user hands the script engine: corrupted compiled programs, scripts
// that grow a text without bound, and format directives longer than any fixed buffer. Every one
// must end in a numbered error text (or a clean run), never in a read outside the store.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>
#include <vector>

#include "companion/gbk.h"
#include "script/front/compiler.h"
#include "script/host/script_host.h"
#include "script/vm/tdata.h"
#include "script_test_support.h"

namespace kelo {
namespace {

// A compiled program as its zero-terminated fields, with the place of every instruction.
struct Fields {
    std::vector<std::string> f;
    std::vector<size_t> instr;  // index of each instruction's first field

    explicit Fields(const std::string& buffer) {
        size_t at = 0;
        while (at < buffer.size()) {
            const size_t z = buffer.find('\0', at);
            f.push_back(buffer.substr(at, z - at));
            at = z + 1;
        }
        size_t k = 4 + static_cast<size_t>(std::stoi(f[2]));
        for (int i = 0, n = std::stoi(f[0]); i < n; ++i) {
            instr.push_back(k);
            k += 10;  // nine numbers and the name
            const int type = std::stoi(f[k++]);
            if (type == kTypeBox) k += 4;
            else if (type >= kTypeBool && type <= kTypeString) k += 1;
            else if (type == kTypeReference) k += 1;
        }
    }
    // The first instruction with this operation code.
    size_t find(int op) const {
        for (size_t i : instr)
            if (std::stoi(f[i]) == op) return i;
        ADD_FAILURE() << "no instruction " << op;
        return 0;
    }
    // The buffer again; without the last field it has no checksum and is taken on its fields.
    std::string join(bool keepChecksum = true) const {
        std::string out;
        for (size_t i = 0; i + (keepChecksum ? 0 : 1) < f.size(); ++i) out += f[i] + '\0';
        return out;
    }
};

std::string Build(const test::ScratchDir& dir, const std::string& source) {
    dir.write("KeloScript/p.wsp", source);
    std::string out;
    int32_t len = 0;
    char* buf = nullptr;
    EXPECT_TRUE(EncodeBuildKeloScript("p", nullptr, nullptr, 0, out, len, buf)) << GbkToUtf8(out);
    std::string bytes(buf, static_cast<size_t>(len));
    delete[] buf;
    return bytes;
}

std::string Exec(const std::string& bytes) {
    std::string out;
    testing::internal::CaptureStdout();
    DecodeRunKeloScript(nullptr, nullptr, 0, out, {"a"}, static_cast<int32_t>(bytes.size()), bytes.data());
    testing::internal::GetCapturedStdout();
    return out;
}

std::string Head(int code) { return ToGbk("错误") + std::to_string(code) + " "; }

const char* const kSmall = "void main(array args) { int i = 0; i++; }\n";

TEST(HostileProgram, VerifierRefusesWhatTheLoopWouldTrust) {
    test::ScratchDir dir;
    const std::string clean = Build(dir, kSmall);
    ASSERT_EQ(Exec(clean), "");
    ASSERT_EQ(Exec(Fields(clean).join(false)), "");  // a buffer without its checksum still runs
    struct {
        const char* what;
        int op;      // instruction to change (first with this code), -1 for the header
        int field;   // 0 op, 1 position, 2/3 operand A, 4/5 operand B, 6 target, 7 count, 8 count 2
        const char* value;
        int code;
    } cases[] = {
        {"unknown operation", 12, 0, "77", 10001},
        {"operand mode", 12, 2, "7", 10001},
        {"operand far outside any stack", 12, 3, "-2147483648", 10001},
        {"source position beyond the line table", 12, 1, "9999", 10001},
        {"system function number", 13, 7, "500", 10001},
        {"host function that was not registered", 13, 7, "32768", 10001},
        {"negative argument count", 13, 8, "-1", 10001},
        {"stack adjustment beyond the stack", 9, 7, "2147483647", 10001},
        {"argument-stack base jump", 7, 7, "-2147483647", 10001},
        {"call-frame entry", 10000, 6, "99999", 10001},
        {"jump target", 4, 6, "99999", 10000},
        {"entry of main", -1, 1, "99999", 10000},
        // Sound as a field, but at run time the slot holds no cell: caught where it is used.
        {"operand naming a slot without a cell", 12, 3, "-2", 10304},
    };
    for (const auto& c : cases) {
        Fields p(clean);
        p.f[c.op < 0 ? static_cast<size_t>(c.field) : p.find(c.op) + static_cast<size_t>(c.field)] = c.value;
        EXPECT_EQ(Exec(p.join(false)).rfind(Head(c.code), 0), 0u) << c.what << ": " << GbkToUtf8(Exec(p.join(false)));
        // With the checksum left as it was, the change itself is caught.
        EXPECT_EQ(Exec(p.join(true)), ToGbk("错误10000 内部错误: 非法CS值")) << c.what;
    }
    // An embedded value that is a bound reference would name an arbitrary cell.
    Fields p(clean);
    const size_t declare = p.find(6);
    p.f[declare + 10] = std::to_string(kTypeReference);
    p.f[declare + 11] = "0";
    EXPECT_EQ(Exec(p.join(false)).rfind(Head(10001), 0), 0u) << GbkToUtf8(Exec(p.join(false)));
}

TEST(HostileProgram, ChecksumCatchesChangesThatStillMakeAProgram) {
    test::ScratchDir dir;
    Fields p(Build(dir, "void main(array args) { int i = 40; println(i + 2); }\n"));
    for (size_t i : p.instr)
        if (p.f[i + 11] == "40") p.f[i + 11] = "41";
    const std::string refused = ToGbk("错误10000 内部错误: 非法CS值");
    EXPECT_EQ(Exec(p.join(true)), refused);
    std::string bytes = p.join(true);
    bytes[bytes.size() - 2] = bytes[bytes.size() - 2] == '1' ? '2' : '1';  // the checksum alone
    EXPECT_EQ(Exec(bytes), refused);
}

// Numbers of instructions set to values that name slots without cells, cells outside the store
// and positions outside the code: the run ends cleanly or with a numbered error, and
// the sanitizers see no stray read. Without the checksum, so the changes reach the loop.
TEST(HostileProgram, EveryOperandCorruptionEndsInAnError) {
    test::ScratchDir dir;
    const std::string clean = Build(dir,
                                    "int g = 1;\n"
                                    "int twice(int x, int &y) { y = y + 1; return 2 * x; }\n"
                                    "void main(array args) {\n"
                                    "  int i = 0; i++;\n"
                                    "  string s = \"a\" + toString(twice(i, g));\n"
                                    "  array a = {1, 2}; a[0] = g;\n"
                                    "  println(s.getLength(), a, callFuncByName(\"twice\", 3, i));\n"
                                    "}\n");
    const Fields base(clean);
    const std::string head = ToGbk("错误");
    const char* const values[] = {"-2", "-1", "0", "1", "3", "13", "2147483647"};
    std::mt19937 rng(14);
    int refused = 0, ran = 0;
    // A sample: each run builds a whole engine, and the sanitizers make that slow.
    for (int k = 0; k < 100; ++k) {
        Fields p = base;
        const size_t at = base.instr[rng() % base.instr.size()];
        size_t field = rng() % 8;
        field += field >= 1;  // positions only name lines
        const char* value = values[rng() % std::size(values)];
        if (p.f[at + field] == value) continue;
        p.f[at + field] = value;
        const std::string out = Exec(p.join(false));
        if (out.empty()) {
            ++ran;
            continue;
        }
        ++refused;
        ASSERT_EQ(out.rfind(head, 0), 0u) << "instruction field " << at << "+" << field << " = " << value << ": "
                                          << GbkToUtf8(out);
    }
    // Many changes (markers, unused counts) leave a program that still runs; the sample must
    // also reach the checks.
    EXPECT_GT(refused, 10) << ran;
}

TEST(HostileScript, RunawayTextsEndWithTheSpaceError) {
    for (const char* body : {"string s = \"ab\"; while (true) s = s + s;",
                             "string s = \"ab\"; while (true) s += s;",
                             "string s = \"ab\"; while (true) s.insertAt(0, s);",
                             "string s = \"abababab\"; while (true) s.replace(\"a\", s);",
                             "string s = \"%200000000d\".format(1);"}) {
        std::string out, error;
        EXPECT_FALSE(RunKeloScriptText("main.wsp", std::string("void main() {\n") + body + "\n}\n", {}, &out, error))
            << body;
        EXPECT_EQ(error, test::ErrorText(10100, "程序运行空间溢出", 2, 0)) << body;
    }
}

TEST(HostileScript, FormatKeepsLongConversionsWhole) {
    std::string out, error;
    ASSERT_TRUE(RunKeloScriptText("main.wsp",
                                  "void main() {\n"
                                  "  string s = \"x\"; for (int i = 0; i < 10; i++) s = s + s;\n"
                                  "  println(\"%5s|\".format(s).getLength(), \" \", \"%.400f\".format(1e300).getLength(),\n"
                                  "          \" \", \"%-1500d|\".format(7).getLength(), \" \", \"%.3s\".format(s));\n"
                                  "}\n",
                                  {}, &out, error))
        << GbkToUtf8(error);
    EXPECT_EQ(out, "1025 702 1501 xxx\n");
}

}  // namespace
}  // namespace kelo
