// The rest of the built-in library, script by script: mathematics, strings, and the set, map and
// array families that the language tests do not reach.
#include <gtest/gtest.h>

#include "companion/gbk.h"
#include "companion/random.h"
#include "companion/ui.h"
#include "script/front/compiler.h"

namespace kelo {
namespace {

std::string Output(const std::string& body) {
    std::string out, error;
    EXPECT_TRUE(RunKeloScriptText("main.wsp", "void main() {\n" + body + "\n}\n", {}, &out, error))
        << body << "\n" << GbkToUtf8(error);
    return out;
}

TEST(ScriptBuiltins, Mathematics) {
    EXPECT_EQ(Output("println(sin(0), cos(0), tan(0), asin(1) * 2, acos(1), atan(1) * 4, atan2(1, 1) * 4);"),
              "0.01.00.03.141592653589790.03.141592653589793.14159265358979\n");
    EXPECT_EQ(Output("println(exp(0), log(1), log10(1000), ceil(1.2), floor(-1.2), abs(-3.5), sqrt(2.25));"),
              "1.00.03.02.0-2.03.51.5\n");
    EXPECT_EQ(Output("println(toInt(true), toInt(-3.9), toDouble(4), toString(1.0e21));"), "1-34.01.0e21\n");
}

TEST(ScriptBuiltins, RandomFollowsTheSharedGenerator) {
    KeloSrand(7);
    int a = KeloRand(), b = KeloRand() % 10;
    KeloSrand(7);
    EXPECT_EQ(Output("int r = random(); int s = random(10); println(r, \" \", s);"),
              std::to_string(a) + " " + std::to_string(b) + "\n");
}

TEST(ScriptBuiltins, MessageGoesToTheMessageBox) {
    static std::string shown;
    KeloUiHandler ui;
    ui.messageBox = [](void*, const char* text, uint32_t) {
        shown = text;
        return kIdOk;
    };
    KeloUiHandler old = SetKeloUiHandler(&ui);
    Output("message(\"hi \" + toString(2));");
    SetKeloUiHandler(&old);
    EXPECT_EQ(shown, "hi 2");
}

TEST(ScriptBuiltins, Strings) {
    struct {
        const char* body;
        const char* out;
    } cases[] = {
        {"string s = \"MiXed\"; s.makeLower(); println(s, s.isEmpty(), \"\".isEmpty());", "mixedfalsetrue\n"},
        {"string s = \"abc\"; s.makeReverse(); s.setAt(0, \"X\"); println(s, s.getAt(2));", "Xbaa\n"},
        {"println(\"abc\".compareNoCase(\"ABD\"), \"b\".compare(\"a\"), \"a\".compare(\"a\"));", "-110\n"},
        {"string s = \"xxhixx\"; s.trimLeft(\"x\"); println(s); s.trimRight(\"x\"); println(s);", "hixx\nhi\n"},
        {"string s = \"hello\"; println(s.removeAt(1, 2), s, s.mid(10), s.mid(1), s.find(\"o\", 1), "
         "s.find(\"l\", 2));",
         "3hlolo2-1\n"},
        {"string s = \"a-b-c\"; println(s.replace(\"-\", \"+\"), s, \"%s|%3d|%%\".format(\"q\", 7));", "2a+b+cq|  7|%\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(Output(c.body), c.out) << c.body;
}

TEST(ScriptBuiltins, ArraysAndMatrices) {
    struct {
        const char* body;
        const char* out;
    } cases[] = {
        {"array a = {1, 2}; a.append({3, 4}); println(a, a.getAt(3)); a.removeAll(); println(a, a.isEmpty());",
         "[4]{1, 2, 3, 4}4\n[0]{}true\n"},
        {"array a = {1}; a.setSize(3); println(a); a.setAt(0, 5); println(a);", "[3]{void, void, void}\n[3]{5, void, void}\n"},
        {"array a = {\"b\", \"c\", \"a\"}; a.sort(true); println(a);", "[3]{c, b, a}\n"},
        {"array m = {{1, 2}, {3, 4}}; println(m.mtAdd(m), m.mtSubtract(m));",
         "[2]{[2]{2.0, 4.0}, [2]{6.0, 8.0}}[2]{[2]{0.0, 0.0}, [2]{0.0, 0.0}}\n"},
        {"array m = {{1, 2}, {2, 4}}; array x = {7}; println(m.mtGauss({1, 2}, x), x);", "false[1]{7}\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(Output(c.body), c.out) << c.body;
}

TEST(ScriptBuiltins, SetsAndMultisets) {
    struct {
        const char* body;
        const char* out;
    } cases[] = {
        {"set s; s.add(3); s.add(1); s.add(2); int x; println(s.size(), s.contains(2), s.remove(2), s.remove(2), s);",
         "3truetruefalse[2]{1, 3}\n"},
        // Arguments are cells: each out-value is printed before the next call changes it.
        {"set s; s.addAll({5, 1, 5}); int x = 0; print(s.first(x), x); print(s.last(x), x); "
         "print(s.higher(1, x), x); println(s.floor(4, x), x, s.getKeys());",
         "true1true5true5true1[2]{1, 5}\n"},
        {"set s; int x = 9; println(s.first(x), x, s.isEmpty()); s.add(1); s.clear(); println(s);", "false9true\n[0]{}\n"},
        {"multiset m; m.add(2); m.add(1); m.add(2); print(m); println(m.count(2), m.size(), m.contains(1), "
         "m.remove(2), m.count(2));",
         "[3]{1, 2, 2}23truetrue1\n"},
        {"multiset m; m.addAll({3, 3}); int x = 0; println(m.ceiling(2, x), x, m.lower(3, x), x, m.getKeys(), "
         "m.isEmpty()); m.clear(); println(m.size());",
         "true3false3[2]{3, 3}false\n0\n"},
        {"multiset m; m.add(4); m.add(6); int x = 0; print(m.higher(4, x), x); print(m.floor(5, x), x); "
         "print(m.first(x), x); println(m.last(x), x);",
         "true6true4true4true6\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(Output(c.body), c.out) << c.body;
}

TEST(ScriptBuiltins, MapsAndMultimaps) {
    struct {
        const char* body;
        const char* out;
    } cases[] = {
        {"map m; m.add(2, \"b\"); m.add(1, \"a\"); println(m.getKeys(), m.getValues(), m.getItems(), m.size());",
         "[2]{1, 2}[2]{a, b}[4]{1, a, 2, b}2\n"},
        {"map m; m.add(1, \"a\"); m.add(5, \"e\"); int k = 0; print(m.ceilingKey(2, k), k); "
         "print(m.lowerKey(5, k), k); print(m.higherKey(5, k), m.floorKey(4, k), k); "
         "println(m.firstKey(k), m.lastKey(k), k);",
         "true5true1falsetrue1truetrue5\n"},
        {"map m; m.add(1, 1); map n; n.add(1, 9); n.add(2, 2); m.addAll(n); print(m); println(m.remove(1), m, "
         "m.isEmpty()); m.clear(); println(m.isEmpty());",
         "[2]{1 : 1, 2 : 2}true[1]{2 : 2}false\ntrue\n"},
        {"multimap m; m.add(1, \"x\"); m.add(1, \"y\"); println(m.containsKey(1), m.containsKeyValue(1, \"y\"), "
         "m.containsKeyValue(1, \"z\"), m.remove(1), m, m.size(), m.isEmpty());",
         "truetruefalsetrue[1]{1 : y}1false\n"},
        {"multimap m; m.addAll(m); m.add(2, 0); m.add(1, 0); int k = 0; print(m.getKeys(), m.getValues()); "
         "print(m.firstKey(k), k); print(m.lastKey(k), k); print(m.ceilingKey(2, k), m.higherKey(2, k)); "
         "println(m.lowerKey(2, k), k, m.floorKey(0, k)); m.clear(); println(m);",
         "[2]{1, 2}[2]{0, 0}true1true2truefalsetrue1false\n[0]{}\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(Output(c.body), c.out) << c.body;
}

}  // namespace
}  // namespace kelo
