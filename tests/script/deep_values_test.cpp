// Copies of containers that are large, deeply nested or contain their own destination, run as
// whole scripts: the store must grow to take a copy, nesting depth must never reach the native
// stack, and a container assigned into its own element gets a copy of its old value.
#include <gtest/gtest.h>

#include <string>

#include "companion/gbk.h"
#include "script/front/compiler.h"

namespace kelo {
namespace {

struct Outcome {
    bool ok;
    std::string out;
    std::string error;
};

Outcome RunScript(const std::string& script) {
    Outcome o;
    o.ok = RunKeloScriptText("main.wsp", script, {}, &o.out, o.error);
    return o;
}

struct Case {
    const char* script;
    const char* output;
};

// 150 000 cells live in a 262 144-cell store: more than a quarter is free, so nothing grows the
// store before the copy, yet the copy needs more cells than are free.
const Case kLargeCopies[] = {
    {"void main() { array x; x.setSize(150000); x[149999] = 7; array y = x; println(y.getSize(), \" \", y[149999]); }",
     "150000 7\n"},
    {"void main() { array x; x.setSize(150000); array y; y = x; x[0] = 1; println(y.getSize(), y[0]); }",
     "150000void\n"},
    {"int size(array a) { return a.getSize(); }\n"
     "void main() { array x; x.setSize(150000); println(size(x)); }",
     "150000\n"},
    {"array same(array a) { return a; }\n"
     "void main() { array x; x.setSize(150000); println(same(x).getSize()); }",
     "150000\n"},
    {"map copy(map m) { return m; }\n"
     "void main() { array x; x.setSize(150000); map m; m.add(1, x); println(copy(m)[1].getSize()); }",
     "150000\n"},
    // The initialiser copies x twice: 240 000 cells at once.
    {"void main() { array x; x.setSize(120000); array y = {x, x}; println(y[0].getSize() + y[1].getSize()); }",
     "240000\n"},
};

TEST(ScriptDeepValues, LargeCopiesGrowTheStore) {
    for (const Case& c : kLargeCopies) {
        SCOPED_TRACE(c.script);
        Outcome o = RunScript(c.script);
        EXPECT_TRUE(o.ok) << GbkToUtf8(o.error);
        EXPECT_EQ(o.out, c.output);
    }
}

// Nesting 60 000 levels deep (built through reference parameters, so each level costs one step)
// and then copied, compared, put into ordered containers, printed and collected.
TEST(ScriptDeepValues, DeepNestingNeverRecursesNatively) {
    const char* script =
        "void nest(array& inner, int n) { if (n == 0) return; array e; inner.add(e); nest(inner[0], n - 1); }\n"
        "void nestMap(map& inner, int n) { if (n == 0) return; map e; inner.add(1, e); nestMap(inner[1], n - 1); }\n"
        "void main() {\n"
        "  array a; nest(a, 60000);\n"
        "  array b = a;\n"
        "  println(b == a, \" \", b < a, \" \", a < {a});\n"
        "  nest(b, 1);\n"  // b gets a second element: the first ones are equal all the way down
        "  println(b == a, \" \", a < b, \" \", b > a);\n"
        "  set s; s.add(a); s.add(b); s.add(a); multiset ms; ms.add(b); ms.add(a); ms.add(b);\n"
        "  println(s.size(), \" \", ms.size(), \" \", ms.first(b) && b == a);\n"
        "  map m; nestMap(m, 60000); map n = m; println(n == m, \" \", n.size());\n"
        "  string t = toString(a);\n"
        "  println(t.left(12), \" \", t.right(10), \" \", t.getLength() > 65536 && t.getLength() < 200000);\n"
        "  array c = {1, a, 2}; c[1] = b; println(c[1] == b);\n"
        "  a.removeAll(); b = a; m.clear(); println(a, b, m);\n"
        "  reserveMemory(); array big; big.setSize(300000);\n"  // forces collections of the dropped levels
        "  println(big.getSize());\n"
        "}\n";
    Outcome o = RunScript(script);
    ASSERT_TRUE(o.ok) << GbkToUtf8(o.error);
    EXPECT_EQ(o.out,
              "true false true\n"
              "false true true\n"
              "2 3 true\n"
              "true 1\n"
              "[1]{[1]{[1]{ .. } ... } true\n"
              "true\n"
              "[0]{}[0]{}[0]{}\n"
              "300000\n");
}

// A container assigned into its own element (or an element into its container) takes a deep
// copy of the value the source had before the assignment.
const Case kSelfAssignments[] = {
    {"void main() { array a = {1, {2, 3}, 4}; a[1] = a; println(a); }", "[3]{1, [3]{1, [2]{2, 3}, 4}, 4}\n"},
    {"void main() { array a = {1, {{2}, 3}}; a[1][0] = a; println(a); }",
     "[2]{1, [2]{[2]{1, [2]{[1]{2}, 3}}, 3}}\n"},
    {"void main() { array a = {1, {2, 3}}; a = a[1]; println(a); a = a; println(a); }", "[2]{2, 3}\n[2]{2, 3}\n"},
    {"void main() { map m; map e; m.add(\"k\", e); m[\"k\"] = m; println(m); }", "[1]{k : [1]{k : [0]{}}}\n"},
    {"void main() { array a = {{1}}; for (int i = 0; i < 3; i++) a[0] = a; println(a); }",
     "[1]{[1]{[1]{[1]{[1]{1}}}}}\n"},
};

TEST(ScriptDeepValues, AssigningIntoOwnElementCopiesTheOldValue) {
    for (const Case& c : kSelfAssignments) {
        SCOPED_TRACE(c.script);
        Outcome o = RunScript(c.script);
        EXPECT_TRUE(o.ok) << GbkToUtf8(o.error);
        EXPECT_EQ(o.out, c.output);
    }
}

}  // namespace
}  // namespace kelo
