// Declaration context: structure bodies (packed layouts, duplicate and long
// component names, initial values on components, inline component types,
// the size limit) and enumerations (values, duplicates), with the
// generated names STRUCT$n and ENUM$n and their counter per compilation.
#include "DeclTestSupport.h"

#include <gtest/gtest.h>

using namespace decltest;

namespace {

// Component offsets of a structure, in declaration order.
std::vector<std::pair<std::string, uint32_t>> Layout(SymAttr* type) {
    std::vector<std::pair<std::string, uint32_t>> out;
    uint32_t off = 0;
    for (SymAttr* c = type->GetStructCompEntry(); c != nullptr; c = c->GetNext()) {
        out.emplace_back(c->GetName(), off);
        off += c->GetMemsize(0);
    }
    return out;
}

TEST(DeclContextStruct, PackedLayoutsOfEveryComponentKind) {
    DeclEnv env;
    env.ctx->DeclareType(env.Name("e"), DeclPos{}, env.Enum({"r", "g", "b"}), nullptr);
    env.ctx->DeclareType(env.Name("inner"), DeclPos{}, env.Struct({{"p", "BYTE"}, {"q", "LREAL"}}),
                         nullptr);
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, const char*>> comps;
        uint32_t size;
        std::vector<std::pair<std::string, uint32_t>> layout;
    } cases[] = {
        {"one BOOL", {{"a", "BOOL"}}, 1, {{"a", 0}}},
        {"BOOL INT REAL",
         {{"a", "BOOL"}, {"b", "INT"}, {"c", "REAL"}},
         7,
         {{"a", 0}, {"b", 1}, {"c", 3}}},
        {"every size",
         {{"b", "BYTE"},
          {"w", "WORD"},
          {"d", "DWORD"},
          {"l", "LINT"},
          {"t", "TIME"},
          {"dat", "DT"}},
         1 + 2 + 4 + 8 + 4 + 8,
         {{"b", 0}, {"w", 1}, {"d", 3}, {"l", 7}, {"t", 15}, {"dat", 19}}},
        {"enumeration and structure",
         {{"x", "e"}, {"y", "inner"}, {"z", "SINT"}},
         2 + 9 + 1,
         {{"x", 0}, {"y", 2}, {"z", 11}}},
        {"STRING takes nothing", {{"s", "STRING"}, {"n", "UINT"}}, 2, {{"s", 0}, {"n", 0}}},
        {"analogue records", {{"i", "ANL_IN"}, {"o", "ANL_OUT"}}, 36, {{"i", 0}, {"o", 18}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SymAttr* s = nullptr;
        env.ctx->BeginStruct();
        for (auto [n, t] : c.comps) {
            EXPECT_EQ(env.ctx->DeclareStructComponent(env.Name(n), DeclPos{}, env.Type(t), nullptr),
                      0);
        }
        s = env.ctx->EndStruct(DeclPos{});
        ASSERT_NE(s, nullptr);
        env.ctx->DeclareType(env.Name("s"), DeclPos{}, s, nullptr);
        SymAttr* t = env.Global("s");
        EXPECT_EQ(t->GetMemsize(0), c.size);
        EXPECT_EQ(Layout(t), c.layout);
        EXPECT_TRUE(t->IsStruct());
        env.Take();
    }
}

TEST(DeclContextStruct, ComponentMessages) {
    struct Case {
        const char* name;
        const char* comps[3];
        std::vector<Msg> messages;
        std::vector<std::pair<std::string, uint32_t>> layout;
    } cases[] = {
        {"duplicate dropped", {"a", "b", "a"}, {E(-3465, 3, 2, "a")}, {{"a", 0}, {"b", 2}}},
        // The name record of the second spelling is the first one's (names
        // compare without regard to case), so the message shows the first.
        {"duplicate ignoring case", {"Abc", "aBC", nullptr}, {E(-3465, 2, 2, "Abc")}, {{"Abc", 0}}},
        {"24 characters",
         {"c23456789012345678901234", nullptr, nullptr},
         {},
         {{"c23456789012345678901234", 0}}},
        {"25 characters kept",
         {"c234567890123456789012345", nullptr, nullptr},
         {E(-3552, 1, 2)},
         {{"c234567890123456789012345", 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeclEnv env;
        env.ctx->BeginStruct();
        for (int i = 0; i < 3 && c.comps[i] != nullptr; ++i) {
            env.ctx->DeclareStructComponent(env.Name(c.comps[i]), At(i + 1, 2), env.Type("INT"),
                                            nullptr);
        }
        env.ctx->DeclareType(env.Name("s"), DeclPos{}, env.ctx->EndStruct(DeclPos{}), nullptr);
        EXPECT_EQ(env.Take(), c.messages);
        EXPECT_EQ(Layout(env.Global("s")), c.layout);
    }
}

TEST(DeclContextStruct, InitialValueOnComponentIsDropped) {
    DeclEnv env;
    InitValReader reader(&env.sink);
    env.ctx->BeginStruct();
    EXPECT_EQ(env.ctx->DeclareStructComponent(env.Name("a"), At(2, 3), env.Type("INT"),
                                              reader.Read("  7")),
              -3505);
    SymAttr* s = env.ctx->EndStruct(DeclPos{});
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetMemsize(0), 2u);
    EXPECT_EQ(env.Take(), (std::vector<Msg>{E(-3505, 1, 3)}));
    env.ctx->DropTypeSpec(s);
}

// 65535 bytes are allowed; one more gives -3556 at END_STRUCT, and the type
// is still made with the full size.
TEST(DeclContextStruct, SizeLimit) {
    struct Case {
        int32_t upper; // of a BYTE array component, plus one BYTE
        uint32_t size;
        bool reported;
    } cases[] = {{65533, 65535, false}, {65534, 65536, true}, {10, 12, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.upper);
        DeclEnv env;
        env.ctx->BeginStruct();
        env.ctx->DeclareStructComponent(
            env.Name("big"), DeclPos{},
            env.ctx->MakeArraySpec(env.Dims({{0, c.upper}}), env.Name("BYTE"), DeclPos{}), nullptr);
        env.ctx->DeclareStructComponent(env.Name("last"), DeclPos{}, env.Type("BYTE"), nullptr);
        SymAttr* s = env.ctx->EndStruct(At(7, 1));
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->GetMemsize(0), c.size);
        std::vector<Msg> expected;
        if (c.reported) {
            expected.push_back(E(-3556, 7, 1));
        }
        EXPECT_EQ(env.Take(), expected);
        env.ctx->DropTypeSpec(s);
    }
}

// Inline structures and enumerations as component types get generated
// global names, numbered by one counter.
TEST(DeclContextStruct, InlineComponentTypesAreNamed) {
    DeclEnv env;
    env.ctx->BeginStruct();
    env.ctx->DeclareStructComponent(env.Name("inner"), DeclPos{},
                                    env.Struct({{"x", "INT"}, {"y", "INT"}}), nullptr);
    env.ctx->DeclareStructComponent(env.Name("mode"), DeclPos{}, env.Enum({"off", "on"}), nullptr);
    env.ctx->DeclareStructComponent(env.Name("more"), DeclPos{}, env.Struct({{"z", "BOOL"}}),
                                    nullptr);
    env.ctx->DeclareType(env.Name("outer"), DeclPos{}, env.ctx->EndStruct(DeclPos{}), nullptr);
    struct Case {
        const char* comp;
        const char* typeName;
        uint32_t size;
    } cases[] = {{"inner", "STRUCT$1", 4}, {"mode", "ENUM$2", 2}, {"more", "STRUCT$3", 1}};
    SymAttr* c = env.Global("outer")->GetStructCompEntry();
    for (const Case& k : cases) {
        SCOPED_TRACE(k.comp);
        ASSERT_NE(c, nullptr);
        EXPECT_STREQ(c->GetName(), k.comp);
        EXPECT_STREQ(c->GetDTypeName(0), k.typeName);
        SymAttr* g = env.Global(k.typeName);
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(c->GetDType(0), g);
        EXPECT_EQ(g->GetMemsize(0), k.size);
        EXPECT_FALSE(g->IsVisibleDType());
        EXPECT_EQ(g->GetID(), 0);
        EXPECT_EQ(g->GetSeqNo(), 0);
        c = c->GetNext();
    }
    EXPECT_EQ(env.Global("outer")->GetMemsize(0), 7u);
    EXPECT_EQ(env.ctx->GetAnonCounter(), 3);
    EXPECT_TRUE(env.Take().empty());
}

TEST(DeclContextStruct, EmptyOrUnopenedBodies) {
    DeclEnv env;
    EXPECT_EQ(env.ctx->EndStruct(DeclPos{}), nullptr);
    env.ctx->BeginStruct();
    EXPECT_EQ(env.ctx->EndStruct(DeclPos{}), nullptr);
    EXPECT_EQ(env.set->GetCurrent(), env.set->GetGlobalTab());
    // A component outside a structure body is refused.
    EXPECT_EQ(env.ctx->DeclareStructComponent(env.Name("a"), DeclPos{}, env.Type("INT"), nullptr),
              1);
    EXPECT_TRUE(env.Take().empty());
}

TEST(DeclContextEnum, ValuesAndDuplicates) {
    struct Case {
        const char* name;
        std::vector<const char*> values;
        std::vector<std::pair<std::string, int>> expected;
        std::vector<Msg> messages;
    } cases[] = {
        {"one value", {"a"}, {{"a", 0}}, {}},
        {"three values", {"a", "b", "c"}, {{"a", 0}, {"b", 1}, {"c", 2}}, {}},
        {"(a, b, a)", {"a", "b", "a"}, {{"a", 0}, {"b", 1}}, {E(-3465, 1, 3, "a")}},
        {"duplicate in other case then a new one",
         {"Red", "RED", "green"},
         {{"Red", 0}, {"green", 1}},
         {E(-3465, 1, 2, "Red")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeclEnv env;
        env.ctx->BeginEnum();
        int i = 0;
        for (const char* v : c.values) {
            env.ctx->DeclareEnumValue(env.Name(v), At(1, ++i));
        }
        EXPECT_STREQ(env.ctx->GetLastEnumValue()->GetName(), c.expected.back().first.c_str());
        env.ctx->DeclareType(env.Name("e"), DeclPos{}, env.ctx->EndEnum(DeclPos{}), nullptr);
        EXPECT_EQ(env.Take(), c.messages);
        SymAttr* e = env.Global("e");
        ASSERT_NE(e, nullptr);
        EXPECT_TRUE(e->IsEnum());
        EXPECT_EQ(e->GetMemsize(0), 2u);
        std::vector<std::pair<std::string, int>> got;
        for (SymAttr* v = e->GetEnumCompEntry(); v != nullptr; v = v->GetNext()) {
            short value = -1;
            EXPECT_EQ(v->GetEnumVal(value), 0);
            got.emplace_back(v->GetName(), value);
            EXPECT_EQ(v->GetTypeSpec(0), e);
        }
        EXPECT_EQ(got, c.expected);
    }
}

// Two inline enumerations of one compilation are ENUM$1 and ENUM$2; the
// next compilation starts at 1 again and so reuses the existing ENUM$1.
TEST(DeclContextEnum, GeneratedNamesRestartPerCompilation) {
    DeclEnv env;
    env.ctx->BeginSection(decl::SEC_VAR, DeclPos{});
    env.ctx->DeclareVariable(env.Name("x"), DeclPos{});
    env.ctx->DeclareVarType(env.Enum({"a", "b"}), nullptr);
    env.ctx->DeclareVariable(env.Name("y"), DeclPos{});
    env.ctx->DeclareVarType(env.Enum({"c", "d", "e"}), nullptr);
    env.ctx->EndSection(decl::SEC_VAR);
    SymAttr* e1 = env.Global("ENUM$1");
    SymAttr* e2 = env.Global("ENUM$2");
    ASSERT_NE(e1, nullptr);
    ASSERT_NE(e2, nullptr);
    EXPECT_EQ(env.Global("x")->GetDType(0), e1);
    EXPECT_EQ(env.Global("y")->GetDType(0), e2);
    EXPECT_STREQ(e2->GetEnumCompEntry()->GetName(), "c");

    env.NextCompilation();
    EXPECT_EQ(env.ctx->GetAnonCounter(), 0);
    env.ctx->BeginSection(decl::SEC_VAR, DeclPos{});
    env.ctx->DeclareVariable(env.Name("z"), DeclPos{});
    env.ctx->DeclareVarType(env.Enum({"p", "q"}), nullptr);
    env.ctx->EndSection(decl::SEC_VAR);
    EXPECT_EQ(env.Global("ENUM$1"), e1);
    EXPECT_EQ(env.Global("z")->GetDType(0), e1);
    EXPECT_STREQ(e1->GetEnumCompEntry()->GetName(), "a");
}

// Structures, enumerations and other types share one counter.
TEST(DeclContextEnum, CounterIsSharedByAllGeneratedNames) {
    DeclEnv env;
    env.ctx->BeginSection(decl::SEC_VAR, DeclPos{});
    const char* expected[] = {"STRUCT$1", "ENUM$2", "STRUCT$3", "ENUM$4"};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(expected[i]);
        std::string var = "v" + std::to_string(i);
        env.ctx->DeclareVariable(env.Name(var.c_str()), DeclPos{});
        env.ctx->DeclareVarType(i % 2 == 0 ? env.Struct({{"a", "INT"}}) : env.Enum({"k"}), nullptr);
        EXPECT_STREQ(env.Global(var.c_str())->GetDTypeName(0), expected[i]);
    }
}

TEST(DeclContextEnum, EmptyEnumerationGivesNoType) {
    DeclEnv env;
    env.ctx->BeginEnum();
    EXPECT_EQ(env.ctx->EndEnum(DeclPos{}), nullptr);
    EXPECT_EQ(env.ctx->DeclareEnumValue(env.Name("x"), DeclPos{}), 1);
    EXPECT_EQ(env.set->GetCurrent(), env.set->GetGlobalTab());
}

// Specs left over by syntax errors are destroyed with the context, and a
// context destroyed inside a body pops its scope.
TEST(DeclContextStruct, LeftoversAreCleanedUp) {
    DeclEnv env;
    SymAttr* s = env.Struct({{"a", "INT"}});
    EXPECT_TRUE(env.ctx->OwnsSpec(s));
    env.ctx->BeginStruct();
    env.ctx->BeginEnum();
    EXPECT_EQ(env.set->GetScopeDepth(), 3);
    env.NextCompilation();
    EXPECT_EQ(env.set->GetScopeDepth(), 1);
}

} // namespace
