// kelo as its users meet it: the script commands from a shell, and the debugger and the break
// request in a real terminal (tmux).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "kelo_shell.h"

namespace kelo {
namespace {

using test::kKelo;
using test::Sh;
using test::Shell;

TEST(KeloCommands, BuildExecEncryptAndCheckAgreeWithRun) {
    test::ScratchDir dir;
    dir.write("geo.wsp",
              "void main(array a) {\n"
              "  klPoints p = geoFromText(\"POLYGON((0 0, 4 0, 4 3, 0 3))\");\n"
              "  println(p.area(), \" \", geoArea(p), \" \", p.length(), \" \", p.box(), \" \", p.count(), \" \", a);\n"
              "  klPoints l = geoFromText(\"LINESTRING(0 0, 3 4, 3 10)\");\n"
              "  println(geoLength(l), \" \", geoArea(l), \" \", geoBox(l), \" \", geoCount(geoFromText(\"POINT(1 2)\")));\n"
              "  array s = sunRiseSet(0, 0, 2026, 3, 20);\n"
              "  println(s.getSize(), \" \", dayLength(0, 0, 2026, 3, 20) > 12, \" \", dayLength(0, 89, 2026, 12, 21));\n"
              "}\n");
    const Shell run = Sh(dir, kKelo + "run geo.wsp 'x y' z");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "12.0 12.0 14.0 (0.0, 0.0, 4.0, 3.0) 5 [2]{x y, z}\n11.0 0.0 (0.0, 0.0, 3.0, 10.0) 1\n2 true 0.0\n");
    EXPECT_EQ(Sh(dir, kKelo + "check geo.wsp").out, "geo.wsp: ok\n");
    ASSERT_EQ(Sh(dir, kKelo + "build geo.wsp geo.kbc").status, 0);
    const Shell exec = Sh(dir, kKelo + "exec geo.kbc 'x y' z");
    EXPECT_EQ(exec.status, 0) << exec.err;
    EXPECT_EQ(exec.out, run.out);
    EXPECT_EQ(Sh(dir, kKelo + "--plain-vm exec geo.kbc 'x y' z").out, run.out);
    EXPECT_EQ(Sh(dir, kKelo + "encrypt geo.wsp").out, "geo.wse\n");
    EXPECT_EQ(Sh(dir, kKelo + "run geo.wse 'x y' z").out, run.out);
}

TEST(KeloCommands, GeometryRelationsFromScripts) {
    test::ScratchDir dir;
    dir.write("rel.wsp",
              "void main(array a) {\n"
              "  klPoints p = geoFromText(\"POLYGON((0 0, 4 0, 4 4, 0 4))\");\n"
              "  klPoints q = geoFromText(\"POLYGON((4 0, 8 0, 8 4, 4 4))\");\n"
              "  klPoints l = geoFromText(\"LINESTRING(1 1, 3 3)\");\n"
              "  println(geoRelate(p, q), \" \", geoRelate(p, l), \" \", geoRelate(l, geoFromText(\"POINT(2 2)\")));\n"
              "  println(geoDistance(l, q), \" \", geoDistance(p, l));\n"
              "}\n");
    const Shell run = Sh(dir, kKelo + "run rel.wsp");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "FF2F11212 102FF1FF2 0F1FF0FF2\n1.0 0.0\n");
}

// The shipped examples, host functions included, run the same from source and compiled.
TEST(KeloCommands, ExamplesRunTheSameCompiled) {
    test::ScratchDir dir;
    for (const char* name : {"hello.wsp", "parcels.wsp", "field_division.wsp"}) {
        const std::string src = std::string(KELO_SOURCE_DIR) + "/examples/" + name;
        const Shell run = Sh(dir, kKelo + "run " + src + " one 'two words'");
        ASSERT_EQ(run.status, 0) << name << run.err;
        EXPECT_NE(run.out.find("two words"), std::string::npos) << run.out;
        ASSERT_EQ(Sh(dir, kKelo + "build " + src + " out.kbc").status, 0) << name;
        const Shell exec = Sh(dir, kKelo + "exec out.kbc one 'two words'");
        EXPECT_EQ(exec.status, 0) << name << exec.err;
        EXPECT_EQ(exec.out, run.out) << name;
    }
}

// Each command gives its exit status and says something recognisable on standard error.
struct CommandCase {
    const char* command;
    int status;
    const char* inErr;
};

void ExpectStatusAndText(const test::ScratchDir& dir, const std::vector<CommandCase>& cases) {
    for (const auto& c : cases) {
        const Shell s = Sh(dir, kKelo + c.command);
        EXPECT_EQ(s.status, c.status) << c.command;
        EXPECT_NE(s.err.find(c.inErr), std::string::npos) << c.command << ": " << s.err;
        EXPECT_EQ(s.err.find("nan"), std::string::npos) << c.command;
    }
}

TEST(KeloCommands, BadInputGivesTextsAndStatus) {
    test::ScratchDir dir;
    dir.write("bad.wsp", "void main() {\n  int i = ;\n}\n");
    dir.write("hostbad.wsp", "void main() {\n  geoArea(3);\n}\n");
    dir.write("garbage.kbc", "12\0" "0\0" "zz");
    ExpectStatusAndText(dir, {
        {"run nosuch.wsp", 1, "nosuch.wsp"},
        {"check bad.wsp", 1, "at line: 2"},
        {"build bad.wsp out.kbc", 1, "at line: 2"},
        {"run hostbad.wsp", 1, "10300"},
        {"exec garbage.kbc", 1, "10000"},
        {"exec no-such-file.kbc", 1, "cannot read"},
        {"encrypt nosuch.wsp", 1, "not enciphered"},
        {"run", 2, "usage"},
        {"build only-one", 2, "usage"},
    });
}

TEST(KeloCommands, HostileInputGivesTextsAndStatus) {
    test::ScratchDir dir;
    dir.write("args.wsp", "void main(array args) { for (int i = 0; i < args.getSize(); i++) println(\"[\", args[i], \"]\"); }\n");
    dir.write("grow.wsp", "void main() {\n  string s = \"ab\";\n  while (true) s = s + s;\n}\n");
    // Arguments reach the script as given, the argument delimiter and blanks included.
    Shell s = Sh(dir, kKelo + "run args.wsp /Projects/data.shp 'a b' ''");
    EXPECT_EQ(s.status, 0) << s.err;
    EXPECT_EQ(s.out, "[/Projects/data.shp]\n[a b]\n[]\n");
    ExpectStatusAndText(dir, {
        {"exec .", 1, "not a regular file"},
        {"exec /dev/zero", 1, "not a regular file"},
        {"run grow.wsp", 1, "10100"},
        {"run .", 1, "1001"},
        {"sun 0 0 2026-13-45", 2, "DATE"},
        {"sun 0 0 2026-02-29", 2, "DATE"},
        {"sun 0 0 0-01-01", 2, "DATE"},
        {"sun 0 95 2026-06-01", 2, "LAT"},
        {"sun 1e308 0 2026-06-01", 2, "LON"},
        {"sun nan 0 2026-06-01", 2, "LON"},
        {"sun 0 0 2026-06-01 --mode 99", 2, "--mode"},
        {"sun 0 0 2026-06-01 --mode -1", 2, "--mode"},
    });
    s = Sh(dir, kKelo + "sun 180 -90 2024-02-29 --mode 3");
    EXPECT_EQ(s.status, 0) << s.err;
    EXPECT_EQ(s.out.find("nan"), std::string::npos) << s.out;
}

// A terminal session driven as a person would: type, then read the screen until the expected
// text shows (bounded, so a hang fails instead of blocking the suite).
class Tmux {
public:
    explicit Tmux(const std::string& command) : name_("kelo_test_" + std::to_string(::getpid())) {
        Run("tmux kill-session -t " + name_ + " 2>/dev/null");
        ok_ = Run("tmux new-session -d -s " + name_ + " -x 150 -y 50 \"" + command + "; echo EXITED \\$?; sleep 60\"") == 0;
    }
    ~Tmux() { Run("tmux kill-session -t " + name_ + " 2>/dev/null"); }
    bool ok() const { return ok_; }
    void type(const std::string& keys) { Run("tmux send-keys -t " + name_ + " '" + keys + "' Enter"); }
    void key(const std::string& key) { Run("tmux send-keys -t " + name_ + " " + key); }
    std::string screen() {
        std::string text;
        FILE* p = ::popen(("tmux capture-pane -p -S -200 -t " + name_).c_str(), "r");
        char buf[512];
        for (size_t n; p != nullptr && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
        if (p != nullptr) ::pclose(p);
        return text;
    }
    // Waits until text appears `count` times on the screen.
    bool waitFor(const std::string& text, int count = 1) {
        for (int i = 0; i < 200; ++i) {
            const std::string s = screen();
            int seen = 0;
            for (size_t at = s.find(text); at != std::string::npos; at = s.find(text, at + 1)) ++seen;
            if (seen >= count) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

private:
    static int Run(const std::string& c) { return std::system(c.c_str()); }
    std::string name_;
    bool ok_ = false;
};

bool HaveTmux() { return std::system("command -v tmux >/dev/null 2>&1") == 0; }

TEST(KeloTerminal, DebugSessionAsANewUserWouldTryIt) {
    if (!HaveTmux()) GTEST_SKIP() << "tmux is not installed";
    test::ScratchDir dir;
    dir.write("d.wsp",
              "int add(int a, int b) {\n"
              "  int s = a + b;\n"
              "  return s;\n"
              "}\n"
              "void main(array args) {\n"
              "  array v = {10, 20, 30};\n"
              "  int t = add(1, 2);\n"
              "  println(\"t=\", t, \" v=\", v, \" \", args);\n"
              "}\n");
    Tmux t("cd " + dir.path() + " && LANG=C.UTF-8 " + std::string(KELO_TOOL_PATH) + " debug d.wsp hello");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.waitFor("(kelo d.wsp:6)")) << t.screen();
    t.type("help");
    ASSERT_TRUE(t.waitFor("rollbackto N")) << t.screen();
    t.type("breakpoint \"d.wsp\" 2");
    ASSERT_TRUE(t.waitFor("breakpoint enabled.")) << t.screen();
    t.type("run");
    ASSERT_TRUE(t.waitFor("(kelo d.wsp:2)")) << t.screen();
    t.type("watch a");
    ASSERT_TRUE(t.waitFor("a = 1")) << t.screen();
    t.type("stepover");
    ASSERT_TRUE(t.waitFor("(kelo d.wsp:3)")) << t.screen();
    t.type("watch s");
    ASSERT_TRUE(t.waitFor("s = 3")) << t.screen();
    t.type("bogus");
    ASSERT_TRUE(t.waitFor("#error: bogusis not a invalid command.")) << t.screen();
    t.type("stepout");
    ASSERT_TRUE(t.waitFor("(kelo d.wsp:8)")) << t.screen();
    t.type("set t 41");
    ASSERT_TRUE(t.waitFor("successed.")) << t.screen();
    t.type("watch v[2]");
    ASSERT_TRUE(t.waitFor("v[2] = 30")) << t.screen();
    t.type("run");
    ASSERT_TRUE(t.waitFor("EXITED 0")) << t.screen();
    const std::string screen = t.screen();
    EXPECT_NE(screen.find("t=41 v=[3]{10, 20, 30} [1]{hello}"), std::string::npos) << screen;
    EXPECT_NE(screen.find("[End]"), std::string::npos) << screen;
}

TEST(KeloTerminal, ControlCAsksAndStops) {
    if (!HaveTmux()) GTEST_SKIP() << "tmux is not installed";
    test::ScratchDir dir;
    dir.write("loop.wsp", "void main() {\n  int i = 0;\n  println(\"looping\");\n  while (true) { i++; }\n}\n");
    Tmux t("cd " + dir.path() + " && LANG=C.UTF-8 " + std::string(KELO_TOOL_PATH) + " run loop.wsp");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.waitFor("looping")) << t.screen();
    t.key("C-c");
    ASSERT_TRUE(t.waitFor("[y/N]")) << t.screen();
    t.type("n");  // goes on running
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(t.screen().find("EXITED"), std::string::npos) << t.screen();
    t.key("C-c");
    ASSERT_TRUE(t.waitFor("[y/N]", 2)) << t.screen();
    t.type("y");
    ASSERT_TRUE(t.waitFor("EXITED 0")) << t.screen();
}

}  // namespace
}  // namespace kelo
