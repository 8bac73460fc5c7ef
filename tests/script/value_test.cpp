// Script values: assignment with conversion, the order of values and their text form.
#include <gtest/gtest.h>

#include <set>

#include "script/vm/script_engine.h"
#include "script/vm/value_ops.h"

namespace kelo {
namespace {

class ScriptValues : public ::testing::Test {
protected:
    ScriptEngine engine;
    CurrentScriptEngineScope scope{&engine};

    Tdata& cell(int32_t i) { return engine.cells[i]; }
    int32_t num(int v) { return engine.allocCopy(Tdata(v)); }
    int32_t num(double v) { return engine.allocCopy(Tdata(v)); }
    int32_t str(const char* s) { return engine.allocCopy(Tdata(s)); }

    // A value of type t with content, built the way host code builds one.
    Tdata sample(int32_t t) {
        switch (t) {
            case kTypeVoid: return Tdata();
            case kTypeBool: return Tdata(true);
            case kTypeInt: return Tdata(7);
            case kTypeDouble: return Tdata(-2.7);
            case kTypeString: return Tdata("0");
            case kTypeArray: return Tdata(ScriptIndexList{num(1), str("a")});
            case kTypeSet: return Tdata(ScriptIndexSet{num(3), num(1)});
            case kTypeMap: return Tdata(ScriptIndexMap{{str("k"), num(1)}});
            case kTypeMultiset: return Tdata(ScriptIndexMultiset{num(3), num(3)});
            case kTypeMultimap: return Tdata(ScriptIndexMultimap{{num(1), num(2)}, {num(1), num(3)}});
            case kTypePoint: return Tdata(Point3D{1, 2, 3});
            case kTypeBox: {
                Box b(1, 2, 3, 4);
                return Tdata(kTypeBox, &b);
            }
            default: return Tdata(t, reinterpret_cast<void*>(static_cast<intptr_t>(0x1000 + t)));
        }
    }

    // Cells reachable from a value, followed through containers and points.
    std::set<int32_t> reach(const Tdata& v) {
        std::set<int32_t> seen;
        std::vector<int32_t> work;
        auto push = [&](int32_t i) {
            if (seen.insert(i).second) work.push_back(i);
        };
        auto elems = [&](const Tdata& x) {
            switch (x.dataType) {
                case kTypeArray: for (int32_t i : *x.value.a) push(i); break;
                case kTypeSet: for (int32_t i : *x.value.set) push(i); break;
                case kTypeMultiset: for (int32_t i : *x.value.mset) push(i); break;
                case kTypeMap: for (auto [k, w] : *x.value.map) { push(k); push(w); } break;
                case kTypeMultimap: for (auto [k, w] : *x.value.mmap) { push(k); push(w); } break;
                case kTypePoint: for (int k = 0; k < 3; ++k) push(x.value.pt[k]); break;
                default: break;
            }
        };
        elems(v);
        while (!work.empty()) {
            int32_t i = work.back();
            work.pop_back();
            elems(cell(i));
        }
        return seen;
    }
};

// What the assignment rules allow, written out per destination type.
bool Allowed(int32_t dst, int32_t src) {
    if (src == kTypeVoid) return false;
    if (dst == kTypeVoid) return true;
    if (dst == kTypeBool) return src <= kTypeMultimap || IsHandleType(src);
    if (dst == kTypeInt || dst == kTypeDouble) return src <= kTypeDouble;
    if (dst <= kTypePoint) return src == dst;
    if (src == dst) return true;
    if (dst == kTypeBox || src == kTypeBox) return false;
    return (dst == kTypeHandle && IsHandleType(src)) || (src == kTypeHandle && IsHandleType(dst));
}

TEST_F(ScriptValues, AssignmentTableOfEveryTypePair) {
    for (int32_t d = kTypeVoid; d <= kTypeHandle; ++d) {
        for (int32_t s = kTypeVoid; s <= kTypeHandle; ++s) {
            Tdata dst;
            dst.setDataType(d);
            Tdata src = sample(s);
            const std::string before = toString(dst);
            const bool ok = assign(dst, src);
            EXPECT_EQ(ok, Allowed(d, s)) << "dst " << d << " src " << s;
            if (ok) {
                EXPECT_EQ(dst.dataType, d == kTypeVoid ? s : d);
                if (d == s || d == kTypeVoid) {
                    EXPECT_EQ(compare(dst, src), 0) << d << " " << s;
                }
            } else if (d != kTypeVoid) {
                EXPECT_EQ(dst.dataType, d);
                EXPECT_EQ(toString(dst), before);
            }
        }
    }
}

TEST_F(ScriptValues, ConversionsGiveTheDocumentedValues) {
    Tdata i;
    i.setDataType(kTypeInt);
    ASSERT_TRUE(assign(i, Tdata(-2.7)));
    EXPECT_EQ(i.value.i, -2);
    ASSERT_TRUE(assign(i, Tdata(true)));
    EXPECT_EQ(i.value.i, 1);
    ASSERT_TRUE(assign(i, Tdata(1e300)));
    EXPECT_EQ(i.value.i, INT32_MIN);
    EXPECT_FALSE(assign(i, Tdata("5")));
    EXPECT_EQ(i.value.i, INT32_MIN);

    Tdata d;
    d.setDataType(kTypeDouble);
    ASSERT_TRUE(assign(d, Tdata(3)));
    EXPECT_EQ(d.value.d, 3.0);

    Tdata b;
    b.setDataType(kTypeBool);
    struct {
        Tdata src;
        bool want;
    } bools[] = {{Tdata(""), false}, {Tdata("0"), true}, {Tdata(0.0), false}, {Tdata(-0.5), true},
                 {Tdata(ScriptIndexList{}), false}, {Tdata(ScriptIndexList{num(0)}), true},
                 {Tdata(kTypeView, nullptr), false}, {Tdata(kTypeView, &b), true}};
    for (auto& c : bools) {
        b.value.b = !c.want;
        ASSERT_TRUE(assign(b, c.src));
        EXPECT_EQ(b.value.b, c.want) << toString(c.src);
    }

    // A handle keeps its own type when it takes a generic handle, and the reverse.
    Tdata layer(kTypeLayer, nullptr);
    ASSERT_TRUE(assign(layer, Tdata(kTypeHandle, &b)));
    EXPECT_EQ(layer.dataType, kTypeLayer);
    EXPECT_EQ(layer.value.handle, &b);
}

TEST_F(ScriptValues, ReferencesAreFollowedOnBothSides) {
    int32_t target = num(1);
    int32_t r1 = engine.allocCell();
    cell(r1) = Tdata(kTypeReference, nullptr);
    cell(r1).value.ref = target;
    int32_t r2 = engine.allocCell();
    cell(r2) = Tdata(kTypeReference, nullptr);
    cell(r2).value.ref = r1;
    ASSERT_TRUE(assign(cell(r2), Tdata(42)));
    EXPECT_EQ(cell(target).value.i, 42);
    EXPECT_EQ(cell(r2).dataType, kTypeReference);
    Tdata out;
    ASSERT_TRUE(assign(out, cell(r2)));
    EXPECT_EQ(out.dataType, kTypeInt);
    EXPECT_EQ(out.value.i, 42);
    EXPECT_EQ(toString(cell(r2)), "42");
    EXPECT_EQ(compare(cell(r2), Tdata(42.0)), 0);
}

TEST_F(ScriptValues, DeepCopiesShareNoCells) {
    for (int32_t t : {kTypeArray, kTypeSet, kTypeMap, kTypeMultiset, kTypeMultimap, kTypePoint}) {
        Tdata src = sample(t);
        if (t == kTypeArray) src.value.a->push_back(engine.allocCopy(sample(kTypeMap)));  // nesting
        Tdata dst;
        ASSERT_TRUE(assign(dst, src));
        std::set<int32_t> a = reach(src), b = reach(dst);
        EXPECT_FALSE(a.empty());
        EXPECT_EQ(a.size(), b.size()) << t;
        for (int32_t i : b) EXPECT_EQ(a.count(i), 0u) << "shared cell in type " << t;
        EXPECT_EQ(compare(src, dst), 0);
    }
    Tdata p(Point3D{1, 2, 3});
    Tdata q;
    ASSERT_TRUE(assign(q, p));
    q.setPoint(Point3D{9, 9, 9});
    EXPECT_EQ(p.getPoint().x, 1.0);
    EXPECT_EQ(toString(q), "(9.0, 9.0, 9.0)");

    // The shallow host copy does share.
    Tdata shallow(p);
    shallow.setPoint(Point3D{5, 6, 7});
    EXPECT_EQ(p.getPoint().z, 7.0);
}

TEST_F(ScriptValues, SetsOrderMixedNumbersByValue) {
    Tdata s(ScriptIndexSet{});
    for (int32_t i : {num(2), num(1.5), num(1), num(1.0), num(true)}) s.value.set->insert(i);
    ASSERT_EQ(s.value.set->size(), 3u);  // 1, 1.0 and true are one element
    EXPECT_EQ(toString(s), "[3]{1, 1.5, 2}");
    Tdata ms(ScriptIndexMultiset{});
    int32_t first = num(1), second = num(1.0);
    ms.value.mset->insert(num(2));
    ms.value.mset->insert(first);
    ms.value.mset->insert(second);
    // Equal elements keep their insertion order.
    std::vector<int32_t> order(ms.value.mset->begin(), ms.value.mset->end());
    EXPECT_EQ(order[0], first);
    EXPECT_EQ(order[1], second);
}

TEST_F(ScriptValues, CompareAcrossTypes) {
    struct {
        Tdata a, b;
        int want;
    } cases[] = {
        {Tdata(false), Tdata(true), -1},
        {Tdata(true), Tdata(1), 0},
        {Tdata(2), Tdata(1.5), 1},
        {Tdata(kTypeHandle, reinterpret_cast<void*>(8)), Tdata(8.0), 0},
        {Tdata(kTypeHandle, reinterpret_cast<void*>(8)), Tdata(9), -1},
        {Tdata("ab"), Tdata("abc"), -1},
        {Tdata("b"), Tdata("abc"), 1},
        {Tdata("\xd6\xd0"), Tdata("z"), 1},  // bytes compare unsigned
        {Tdata(1e9), Tdata("a"), -1},        // double (2) before string (3)
        {Tdata(ScriptIndexList{}), Tdata("z"), 1},
        {Tdata(kTypeView, nullptr), Tdata(kTypeDb, nullptr), -1},
        {Tdata(ScriptIndexList{num(1), num(2)}), Tdata(ScriptIndexList{num(1), num(3)}), -1},
        {Tdata(ScriptIndexList{num(1), num(2)}), Tdata(ScriptIndexList{num(1)}), 1},
        {Tdata(ScriptIndexSet{num(1)}), Tdata(ScriptIndexSet{num(1.0)}), 0},
        {Tdata(Point3D{1, 2, 3}), Tdata(Point3D{1, 2, 4}), -1},
        {Tdata(), Tdata(false), -1},
    };
    for (auto& c : cases) {
        EXPECT_EQ(compare(c.a, c.b), c.want) << toString(c.a) << " vs " << toString(c.b);
        EXPECT_EQ(compare(c.b, c.a), -c.want) << toString(c.b) << " vs " << toString(c.a);
    }
}

TEST_F(ScriptValues, TextForms) {
    struct {
        double d;
        const char* text;
    } doubles[] = {{3, "3.0"}, {0.5, "0.5"}, {100, "100.0"}, {1e20, "1.0e20"}, {1e21, "1.0e21"}, {1e-5, "1.0e-5"},
                   {-2.5e-100, "-2.5e-100"}, {123456789012345678.0, "1.23456789012346e17"}, {0.1 + 0.2, "0.3"}};
    for (auto& c : doubles) EXPECT_EQ(FormatScriptDouble(c.d), c.text);

    Box box(1, 2, 3, 4);
    box.minz = 9;
    struct {
        Tdata v;
        const char* text;
    } values[] = {
        {Tdata(), "void"},
        {Tdata(true), "true"},
        {Tdata(-12), "-12"},
        {Tdata(ScriptIndexList{str("ab"), str("cd")}), "[2]{ab, cd}"},
        {Tdata(ScriptIndexMap{}), "[0]{}"},
        {Tdata(ScriptIndexMap{{str("k"), num(1.5)}}), "[1]{k : 1.5}"},
        {Tdata(ScriptIndexList{engine.allocCopy(Tdata(ScriptIndexList{num(1)})), engine.allocCell()}), "[2]{[1]{1}, void}"},
        {Tdata(Point3D{1, -2, 0.25}), "(1.0, -2.0, 0.25)"},
        {Tdata(kTypeBox, &box), "(1.0, 2.0, 3.0, 4.0)"},
        {Tdata(kTypeBox, nullptr), "(1.0e160, 1.0e160, -1.0e160, -1.0e160)"},
        {Tdata(kTypeGeometry, nullptr), "klGeometry"},
    };
    for (auto& c : values) EXPECT_EQ(toString(c.v), c.text);
}

TEST_F(ScriptValues, TextLimits) {
    EXPECT_EQ(toString(Tdata("abcdef"), 4), "abcd ...");
    EXPECT_EQ(toString(Tdata("abcd"), 4), "abcd");
    Tdata arr(ScriptIndexList{str("aaaa"), str("bbbb"), str("cccc")});
    EXPECT_EQ(toString(arr, 3), "[3]{ ... }");
    // "[3]{aaaa" is 8 long: the second element is not started.
    EXPECT_EQ(toString(arr, 8), "[3]{aaaa ... }");
    // "[3]{aaaa, " is 10 long, so the second element gets a limit of 0 and is cut to nothing.
    EXPECT_EQ(toString(arr, 10), "[3]{aaaa,  ... ... }");
    EXPECT_EQ(toString(arr, 100), "[3]{aaaa, bbbb, cccc}");
    Tdata m(ScriptIndexMap{{str("key"), str("value")}});
    EXPECT_EQ(toString(m, 9), "[1]{key ... }");
    EXPECT_EQ(toString(m, 11), "[1]{key : v ... ... }");
}

}  // namespace
}  // namespace kelo
