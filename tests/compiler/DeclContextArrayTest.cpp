// Declaration context: subrange bounds (integer constants, minus signs,
// representability, order), subrange types and their generated names,
// arrays as chains of named one-dimensional arrays with their layouts, the
// names "INT[1..2,3..4]" and their reuse, and the array size limit.
#include "DeclTestSupport.h"

#include <gtest/gtest.h>

#include <climits>

using namespace decltest;

namespace {

// A literal constant read by the literal scanner, as the source scanner
// hands it over.
struct Lit {
    explicit Lit(const char* text) {
        std::string t(text);
        ts_scan scan(t.data(), c, 0);
        ts_parse parse(ts_parse::kDefaultDepth);
        parse.tsparse(&scan);
    }
    IEC_CONSTANT c;
};

TEST(DeclContextSubrange, Bounds) {
    struct Case {
        const char* name;
        const char* lo; // null: the bound is no literal
        bool loMinus;
        const char* hi;
        bool hiMinus;
        int32_t lr, ur;
        uint32_t count;
        std::vector<Msg> messages;
    } cases[] = {
        {"1..10", "1", false, "10", false, 1, 10, 10, {}},
        {"equal bounds", "7", false, "7", false, 7, 7, 1, {}},
        {"5..2 reversed", "5", false, "2", false, 5, 5, 1, {E(-3438, 2, 9)}},
        {"-5..5", "5", true, "5", false, -5, 5, 11, {}},
        {"-10..-1", "10", true, "1", true, -10, -1, 10, {}},
        {"-1..-10 reversed", "1", true, "10", true, -1, -1, 1, {E(-3438, 2, 9)}},
        {"widest 32-bit",
         "2147483648",
         true,
         "2147483647",
         false,
         INT32_MIN,
         INT32_MAX,
         4294967295u,
         {}},
        {"upper one past", "0", false, "2147483648", false, 0, 0, 1, {E(-3492, 2, 9)}},
        {"lower one past", "2147483649", true, "0", false, 0, 0, 1, {E(-3492, 1, 1)}},
        {"hex bound", "16#10", false, "16#1F", false, 16, 31, 16, {}},
        {"real bound", "1.5", false, "4", false, 0, 4, 5, {E(-3491, 1, 1)}},
        {"real bound negated", "1.5", true, "4", false, 0, 4, 5, {E(-3491, 1, 1)}},
        {"time bound negated", "T#1s", true, "4", false, 0, 4, 5, {W(-3489, 1, 1), E(-3491, 1, 1)}},
        {"string bound", "'x'", false, "3", false, 0, 3, 4, {E(-3491, 1, 1)}},
        {"no literal", nullptr, false, "3", false, 0, 3, 4, {E(-3491, 1, 1)}},
        {"missing upper", "3", false, nullptr, false, 3, 3, 1, {E(-3491, 2, 9), E(-3438, 2, 9)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeclEnv env;
        Lit lo(c.lo != nullptr ? c.lo : "x");
        Lit hi(c.hi != nullptr ? c.hi : "x");
        DeclBound bl{c.lo != nullptr ? &lo.c : nullptr, c.loMinus, At(1, 1)};
        DeclBound bh{c.hi != nullptr ? &hi.c : nullptr, c.hiMinus, At(2, 9)};
        Subrange* r = env.ctx->MakeSubrange(bl, bh);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->GetLR(), c.lr);
        EXPECT_EQ(r->GetUR(), c.ur);
        EXPECT_EQ(r->GetCount(), c.count);
        EXPECT_EQ(env.Take(), c.messages);
        Subrange::DeleteList(r);
    }
}

// The bounds' constants belong to the caller: a minus sign is applied to a
// copy, so one constant can serve twice.
TEST(DeclContextSubrange, BoundConstantsAreOnlyRead) {
    DeclEnv env;
    Lit five("5");
    const uint16_t flags = five.c.flags;
    DeclBound lo{&five.c, true, DeclPos{}};
    DeclBound hi{&five.c, false, DeclPos{}};
    Subrange* r = env.ctx->MakeSubrange(lo, hi);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetLR(), -5);
    EXPECT_EQ(r->GetUR(), 5);
    EXPECT_EQ(five.c.flags, flags);
    EXPECT_FALSE(five.c.value.digit.IsNegative());
    Subrange::DeleteList(r);
}

TEST(DeclContextSubrange, SubrangeTypesAndGeneratedNames) {
    DeclEnv env;
    struct Case {
        const char* base;
        int32_t lo, hi;
        const char* generated;
        uint32_t size;
    } cases[] = {
        {"INT", 1, 10, "INT(1..10)", 2},
        {"DINT", -100000, 100000, "DINT(-100000..100000)", 4},
        {"USINT", 0, 0, "USINT(0..0)", 1},
        {"UINT", 0, 60000, "UINT(0..60000)", 2},
    };
    env.ctx->BeginSection(decl::SEC_VAR, DeclPos{});
    int i = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.generated);
        std::string var = "v" + std::to_string(i++);
        SymAttr* spec =
            env.ctx->MakeSubrangeType(env.Name(c.base), env.Range(c.lo, c.hi), DeclPos{});
        ASSERT_NE(spec, nullptr);
        EXPECT_TRUE(spec->IsSubrange());
        env.ctx->DeclareVariable(env.Name(var.c_str()), DeclPos{});
        env.ctx->DeclareVarType(spec, nullptr);
        SymAttr* g = env.Global(c.generated);
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(env.Global(var.c_str())->GetDType(0), g);
        EXPECT_EQ(g->GetMemsize(0), c.size);
        EXPECT_EQ(g->GetSubr()->GetLR(), c.lo);
        EXPECT_EQ(g->GetSubr()->GetUR(), c.hi);
        EXPECT_STREQ(g->IsDerivedFrom()->GetName(), c.base);
    }
    // The same subrange again reuses the global type.
    env.ctx->DeclareVariable(env.Name("again"), DeclPos{});
    env.ctx->DeclareVarType(env.ctx->MakeSubrangeType(env.Name("INT"), env.Range(1, 10), DeclPos{}),
                            nullptr);
    EXPECT_EQ(env.Global("again")->GetDType(0), env.Global("INT(1..10)"));
    // A subrange of a declared type uses its name.
    env.ctx->DeclareType(env.Name("level"), DeclPos{}, env.Type("INT"), nullptr);
    SymAttr* spec = env.ctx->MakeSubrangeType(env.Name("level"), env.Range(-3, 3), DeclPos{});
    EXPECT_STREQ(env.ctx->NameAnonymousType(spec)->GetName(), "level(-3..3)");
    EXPECT_TRUE(env.Take().empty());
}

TEST(DeclContextSubrange, SubrangeOfNoTypeIsRefused) {
    DeclEnv env;
    EXPECT_EQ(env.ctx->MakeSubrangeType(env.Name("nothing"), env.Range(1, 2), At(4, 4)), nullptr);
    EXPECT_EQ(env.Take(), (std::vector<Msg>{E(-3486, 4, 4)}));
}

// Layout of the arrays the context builds: ARRAY[...] OF E for a variable.
TEST(DeclContextArray, LayoutsAndGeneratedNames) {
    struct Case {
        const char* name;
        std::vector<std::pair<int32_t, int32_t>> dims;
        const char* elem;
        const char* generated;          // the variable's type
        std::vector<const char*> chain; // the inner levels, outermost first
        uint32_t size;
        std::vector<uint32_t> strides;
        int32_t add;
    } cases[] = {
        {"ARRAY[1..3] OF INT", {{1, 3}}, "INT", "INT[1..3]", {}, 6, {2}, -2},
        {"ARRAY[0..0] OF BOOL", {{0, 0}}, "BOOL", "BOOL[0..0]", {}, 1, {1}, 0},
        {"ARRAY[-5..5] OF DINT", {{-5, 5}}, "DINT", "DINT[-5..5]", {}, 44, {4}, 20},
        {"ARRAY[1..2, 1..3] OF INT",
         {{1, 2}, {1, 3}},
         "INT",
         "INT[1..2,1..3]",
         {"INT[1..3]"},
         12,
         {6, 2},
         -8},
        {"ARRAY[0..1, 1..2] OF DINT",
         {{0, 1}, {1, 2}},
         "DINT",
         "DINT[0..1,1..2]",
         {"DINT[1..2]"},
         16,
         {8, 4},
         -4},
        {"three dimensions",
         {{1, 2}, {0, 2}, {1, 4}},
         "BYTE",
         "BYTE[1..2,0..2,1..4]",
         {"BYTE[0..2,1..4]", "BYTE[1..4]"},
         24,
         {12, 4, 1},
         -13},
        {"of a structure", {{1, 2}}, "pt", "pt[1..2]", {}, 8, {4}, -4},
        {"of a declared array", {{1, 2}}, "row", "row[1..2]", {}, 12, {6, 2}, -8},
        {"of STRING", {{1, 4}}, "STRING", "STRING[1..4]", {}, 0, {0}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeclEnv env;
        env.ctx->DeclareType(env.Name("pt"), DeclPos{}, env.Struct({{"x", "INT"}, {"y", "INT"}}),
                             nullptr);
        env.ctx->DeclareType(env.Name("row"), DeclPos{},
                             env.ctx->MakeArraySpec(env.Dims({{1, 3}}), env.Name("INT"), DeclPos{}),
                             nullptr);
        env.ctx->BeginSection(decl::SEC_VAR, DeclPos{});
        env.ctx->DeclareVariable(env.Name("x"), DeclPos{});
        Subrange* dims = nullptr;
        for (auto [lo, hi] : c.dims) {
            dims = env.ctx->AddDimension(dims, env.Range(lo, hi));
        }
        SymAttr* spec = env.ctx->MakeArraySpec(dims, env.Name(c.elem), DeclPos{});
        ASSERT_NE(spec, nullptr);
        EXPECT_EQ(spec->GetName(), nullptr);
        env.ctx->DeclareVarType(spec, nullptr);
        SymAttr* t = env.Global("x")->GetDType(0);
        ASSERT_NE(t, nullptr);
        EXPECT_STREQ(t->GetName(), c.generated);
        EXPECT_EQ(env.Global(c.generated), t);
        EXPECT_EQ(t->GetMemsize(0), c.size);
        EXPECT_EQ(t->GetArrayAddSize(), c.add);
        std::vector<uint32_t> strides;
        for (Subrange* d = t->GetArraySubr(0); d != nullptr; d = d->GetNext()) {
            strides.push_back(d->GetStride());
        }
        EXPECT_EQ(strides, c.strides);
        EXPECT_EQ(t->GetArrayDimension(), c.strides.size());
        // Each inner level is the named global type one dimension down.
        for (size_t k = 0; k < c.chain.size(); ++k) {
            SCOPED_TRACE(c.chain[k]);
            SymAttr* level = t->GetDType(static_cast<unsigned short>(k + 1));
            ASSERT_NE(level, nullptr);
            EXPECT_STREQ(level->GetName(), c.chain[k]);
            EXPECT_EQ(env.Global(c.chain[k]), level);
            EXPECT_FALSE(level->IsVisibleDType());
        }
        // Stripping every dimension reaches the innermost element ("row" is
        // an array of INT itself).
        const char* innermost = std::strcmp(c.elem, "row") == 0 ? "INT" : c.elem;
        EXPECT_STREQ(t->GetDTypeName(t->GetArrayDimension()), innermost);
        EXPECT_TRUE(env.Take().empty());
    }
}

// A second variable with the same descriptor reuses both global types.
TEST(DeclContextArray, SameDescriptorReusesTheGlobalTypes) {
    DeclEnv env;
    env.ctx->BeginSection(decl::SEC_VAR, DeclPos{});
    for (const char* v : {"x", "y"}) {
        env.ctx->DeclareVariable(env.Name(v), DeclPos{});
        env.ctx->DeclareVarType(
            env.ctx->MakeArraySpec(env.Dims({{1, 2}, {1, 3}}), env.Name("INT"), DeclPos{}),
            nullptr);
    }
    SymAttr* outer = env.Global("INT[1..2,1..3]");
    SymAttr* inner = env.Global("INT[1..3]");
    ASSERT_NE(outer, nullptr);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(outer->GetMemsize(0), 12u);
    EXPECT_EQ(env.Global("x")->GetDType(0), outer);
    EXPECT_EQ(env.Global("y")->GetDType(0), outer);
    EXPECT_EQ(outer->GetDType(1), inner);
    int generated = 0;
    for (SymAttr* r = env.set->GetGlobalTab()->FindFirstEntry(); r != nullptr;
         r = env.set->GetGlobalTab()->FindNextEntry(r)) {
        generated += r->IsDType() && std::strchr(r->GetName(), '[') != nullptr ? 1 : 0;
    }
    EXPECT_EQ(generated, 2);
}

TEST(DeclContextArray, SizeLimit) {
    struct Case {
        const char* name;
        std::vector<std::pair<int32_t, int32_t>> dims;
        const char* elem;
        bool reported;
    } cases[] = {
        {"65535 bytes", {{1, 65535}}, "BYTE", false},
        {"65536 bytes", {{0, 65535}}, "BYTE", true},
        {"ARRAY[1..300, 1..300] OF DINT", {{1, 300}, {1, 300}}, "DINT", true},
        {"inner level too large", {{1, 2}, {1, 20000}}, "DINT", true},
        {"LREAL 8191 elements", {{1, 8191}}, "LREAL", false},
        {"LREAL 8192 elements", {{1, 8192}}, "LREAL", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeclEnv env;
        Subrange* dims = nullptr;
        for (auto [lo, hi] : c.dims) {
            dims = env.ctx->AddDimension(dims, env.Range(lo, hi));
        }
        SymAttr* spec = env.ctx->MakeArraySpec(dims, env.Name(c.elem), At(6, 10));
        ASSERT_NE(spec, nullptr);
        std::vector<Msg> expected;
        if (c.reported) {
            expected.push_back(E(-3499, 6, 10));
        }
        EXPECT_EQ(env.Take(), expected);
        env.ctx->DropTypeSpec(spec);
    }
}

TEST(DeclContextArray, ElementMustBeAType) {
    struct Case {
        const char* name;
        const char* elem;
        std::vector<Msg> messages;
    } cases[] = {
        {"undeclared", "nothing", {E(-3486, 2, 3)}},
        {"generic", "ANY_NUM", {E(-3617, 2, 3)}},
        {"a variable", "v", {E(-3486, 2, 3)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeclEnv env;
        env.ctx->BeginSection(decl::SEC_VAR, DeclPos{});
        env.ctx->DeclareVariable(env.Name("v"), DeclPos{});
        env.ctx->DeclareVarType(env.Type("INT"), nullptr);
        env.ctx->EndSection(decl::SEC_VAR);
        EXPECT_EQ(env.ctx->MakeArraySpec(env.Dims({{1, 2}}), env.Name(c.elem), At(2, 3)), nullptr);
        EXPECT_EQ(env.Take(), c.messages);
    }
    DeclEnv env;
    EXPECT_EQ(env.ctx->MakeArraySpec(nullptr, env.Name("INT"), DeclPos{}), nullptr);
}

// The generated name of an inline array of an inline structure names the
// structure first.
TEST(DeclContextArray, ArrayOfInlineStructure) {
    DeclEnv env;
    env.ctx->BeginSection(decl::SEC_VAR, DeclPos{});
    env.ctx->DeclareVariable(env.Name("list"), DeclPos{});
    env.ctx->DeclareVarType(env.ctx->MakeArraySpec(env.Dims({{1, 4}}),
                                                   env.Struct({{"a", "INT"}, {"b", "BOOL"}}),
                                                   DeclPos{}),
                            nullptr);
    SymAttr* t = env.Global("list")->GetDType(0);
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t->GetName(), "STRUCT$1[1..4]");
    EXPECT_EQ(t->GetMemsize(0), 12u);
    EXPECT_EQ(t->GetDType(1), env.Global("STRUCT$1"));
}

// NameAnonymousType: named records are returned as they are; an anonymous
// type whose name exists already is replaced by the existing one.
TEST(DeclContextArray, NameAnonymousType) {
    DeclEnv env;
    SymAttr* intType = env.set->GetElemTab()->lookup("INT");
    EXPECT_EQ(env.ctx->NameAnonymousType(intType), intType);
    EXPECT_EQ(env.ctx->NameAnonymousType(nullptr), nullptr);
    SymAttr* a = env.ctx->MakeArraySpec(env.Dims({{1, 3}}), env.Name("INT"), DeclPos{});
    SymAttr* first = env.ctx->NameAnonymousType(a);
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(env.ctx->OwnsSpec(a));
    SymAttr* b = env.ctx->MakeArraySpec(env.Dims({{1, 3}}), env.Name("INT"), DeclPos{});
    EXPECT_EQ(env.ctx->NameAnonymousType(b), first);
    EXPECT_EQ(first->GetID(), 0);
    EXPECT_STREQ(first->GetName(), "INT[1..3]");
}

} // namespace
