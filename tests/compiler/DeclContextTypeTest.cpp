// Declaration context: TYPE declarations, their redeclaration with and
// without silent acceptance of equivalent types, name lengths, initial
// values in type declarations, sequence numbers, visibility and library
// registration.
#include "DeclTestSupport.h"

#include <gtest/gtest.h>

using namespace decltest;

namespace {

// TYPE t : STRUCT a : INT; END_STRUCT; END_TYPE
SymAttr* StructOfInt(DeclEnv& env) {
    return env.Struct({{"a", "INT"}});
}

TEST(DeclContextType, ContextWithoutTableSetDeclaresNothing) {
    ErrMess sink;
    short st = -1;
    DeclContext ctx(nullptr, nullptr, nullptr, &sink, nullptr, nullptr, &st);
    EXPECT_EQ(st, 1);
    SymAttr name("t");
    EXPECT_EQ(ctx.DeclareType(&name, DeclPos{}, nullptr, nullptr), 1);
    EXPECT_EQ(name.GetKind(), sym::KIND_UNDEFINED);
    EXPECT_EQ(ctx.ResolveTypeName(&name, DeclPos{}), nullptr);
}

TEST(DeclContextType, AliasOfElementaryType) {
    DeclEnv env;
    EXPECT_EQ(env.ctxStatus, 0);
    EXPECT_EQ(env.ctx->DeclareType(env.Name("t1"), At(1, 6), env.Type("INT"), nullptr), 0);
    SymAttr* t1 = env.Global("t1");
    ASSERT_NE(t1, nullptr);
    EXPECT_TRUE(t1->IsDType());
    EXPECT_EQ(t1->GetMemsize(0), 2u);
    EXPECT_EQ(t1->GetTypeClass(), sym::CLASS_ELEMENTARY);
    EXPECT_EQ(t1->GetElemType(0), env.set->GetElemTab()->lookup("INT"));
    EXPECT_TRUE(t1->IsVisibleDType());
    EXPECT_EQ(t1->GetSeqNo(), 1);
    EXPECT_EQ(t1->GetID(), 0);
    EXPECT_EQ(env.lib->FindType("T1"), t1);
    EXPECT_TRUE(env.Take().empty());
}

// A name of 24 characters is fine; from 25 on -3552 at the name, and the
// type is declared all the same.
TEST(DeclContextType, NameLengthBoundary) {
    struct Case {
        size_t len;
        bool reported;
    } cases[] = {{1, false}, {24, false}, {25, true}, {26, true}, {32, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.len);
        DeclEnv env;
        std::string name(c.len, 'n');
        env.ctx->DeclareType(env.Name(name.c_str()), At(3, 7), env.Type("DINT"), nullptr);
        std::vector<Msg> expected;
        if (c.reported) {
            expected.push_back(E(-3552, 3, 7));
        }
        EXPECT_EQ(env.Take(), expected);
        ASSERT_NE(env.Global(name.c_str()), nullptr);
        EXPECT_EQ(env.Global(name.c_str())->GetMemsize(0), 4u);
    }
}

// TYPE t : INT := 5; END_TYPE declares t and reports -3505 at the value.
TEST(DeclContextType, InitialValueInTypeDeclarationIsReportedAndDropped) {
    DeclEnv env;
    InitValReader reader(&env.sink);
    TiInitValSpec* five = reader.Read("5");
    ASSERT_NE(five, nullptr);
    // The reader numbers columns from 1 within its text.
    EXPECT_EQ(env.ctx->DeclareType(env.Name("t"), At(2, 5), env.Type("INT"), five), -3505);
    EXPECT_EQ(env.Take(), (std::vector<Msg>{E(-3505, 1, 1)}));
    ASSERT_NE(env.Global("t"), nullptr);
    EXPECT_EQ(env.Global("t")->GetMemsize(0), 2u);
}

// Redeclarations: the new description always replaces the old one; the
// message depends on equivalence and on modeFlags 0x8000.
TEST(DeclContextType, Redeclaration) {
    enum Spec { INT_ALIAS, DINT_ALIAS, STRUCT_A_INT, STRUCT_B_INT, ENUM_AB };
    struct Case {
        const char* name;
        Spec first;
        Spec second;
        bool silentFlag;
        bool reported;
        uint32_t finalSize;
    } cases[] = {
        {"same struct, flag set", STRUCT_A_INT, STRUCT_A_INT, true, false, 2},
        {"same struct, flag clear", STRUCT_A_INT, STRUCT_A_INT, false, true, 2},
        {"component renamed, flag set", STRUCT_A_INT, STRUCT_B_INT, true, true, 2},
        {"INT then DINT, flag set", INT_ALIAS, DINT_ALIAS, true, true, 4},
        {"INT then DINT, flag clear", INT_ALIAS, DINT_ALIAS, false, true, 4},
        {"INT twice, flag set", INT_ALIAS, INT_ALIAS, true, false, 2},
        {"INT twice, flag clear", INT_ALIAS, INT_ALIAS, false, true, 2},
        {"enumeration twice, flag set", ENUM_AB, ENUM_AB, true, true, 2},
        {"struct then INT, flag set", STRUCT_A_INT, INT_ALIAS, true, true, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeclEnv env(c.silentFlag ? 0x8000 : 0);
        auto spec = [&env](Spec s) -> SymAttr* {
            switch (s) {
            case INT_ALIAS:
                return env.Type("INT");
            case DINT_ALIAS:
                return env.Type("DINT");
            case STRUCT_A_INT:
                return env.Struct({{"a", "INT"}});
            case STRUCT_B_INT:
                return env.Struct({{"b", "INT"}});
            case ENUM_AB:
                return env.Enum({"x", "y"});
            }
            return nullptr;
        };
        env.ctx->DeclareType(env.Name("t"), At(1, 6), spec(c.first), nullptr);
        EXPECT_TRUE(env.Take().empty());
        env.ctx->DeclareType(env.Name("t"), At(5, 6), spec(c.second), nullptr);
        std::vector<Msg> expected;
        if (c.reported) {
            expected.push_back(E(-3465, 5, 6, "t"));
        }
        EXPECT_EQ(env.Take(), expected);
        SymAttr* t = env.Global("t");
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->GetMemsize(0), c.finalSize);
        // One record of that name.
        EXPECT_EQ(env.set->GetGlobalTab()->FindNextEntry(nullptr) != nullptr, true);
        int count = 0;
        for (SymAttr* r = env.set->GetGlobalTab()->FindFirstEntry(); r != nullptr;
             r = env.set->GetGlobalTab()->FindNextEntry(r)) {
            count += r->GetName() != nullptr && std::strcmp(r->GetName(), "t") == 0 ? 1 : 0;
        }
        EXPECT_EQ(count, 1);
        // The second declaration got the next sequence number.
        EXPECT_EQ(t->GetSeqNo(), 2);
    }
}

TEST(DeclContextType, RedeclaredStructureKeepsOneLayout) {
    DeclEnv env(0x8000);
    env.ctx->DeclareType(env.Name("t"), DeclPos{}, StructOfInt(env), nullptr);
    env.ctx->DeclareType(env.Name("t"), DeclPos{}, StructOfInt(env), nullptr);
    SymAttr* t = env.Global("t");
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->IsStruct());
    SymAttr* a = t->GetStructCompEntry();
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a->GetName(), "a");
    EXPECT_EQ(a->GetNext(), nullptr);
    EXPECT_TRUE(env.Take().empty());
}

// A name that is something else than a type (here a unit) cannot become a
// type: -3465, the specifier is dropped and the unit stays.
TEST(DeclContextType, NameOfAnotherKind) {
    DeclEnv env;
    env.ctx->BeginUnit(env.Name("prog"), decl::UNIT_PROGRAM, nullptr, DeclPos{});
    env.ctx->EndUnit();
    env.Take();
    EXPECT_EQ(env.ctx->DeclareType(env.Name("prog"), At(9, 2), StructOfInt(env), nullptr), -3465);
    EXPECT_EQ(env.Take(), (std::vector<Msg>{E(-3465, 9, 2, "prog")}));
    EXPECT_EQ(env.Global("prog")->GetKind(), sym::KIND_POU);
}

TEST(DeclContextType, SequenceNumbersFollowDeclarationOrderPerCompilation) {
    DeclEnv env;
    const char* names[] = {"a", "b", "c", "d"};
    for (const char* n : names) {
        env.ctx->DeclareType(env.Name(n), DeclPos{}, env.Type("BOOL"), nullptr);
    }
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(env.Global(names[i])->GetSeqNo(), i + 1);
    }
    EXPECT_EQ(env.ctx->GetTypeSeqCounter(), 4);
    env.NextCompilation();
    env.ctx->DeclareType(env.Name("e"), DeclPos{}, env.Type("BOOL"), nullptr);
    EXPECT_EQ(env.Global("e")->GetSeqNo(), 1);
}

// An alias of an alias, of a structure and of an array keeps the layout
// of the type it derives from.
TEST(DeclContextType, DerivedTypesKeepTheirLayout) {
    DeclEnv env;
    env.ctx->DeclareType(env.Name("s"), DeclPos{}, env.Struct({{"x", "BOOL"}, {"y", "REAL"}}),
                         nullptr);
    env.ctx->DeclareType(env.Name("s2"), DeclPos{}, env.Type("s"), nullptr);
    env.ctx->DeclareType(env.Name("arr"), DeclPos{},
                         env.ctx->MakeArraySpec(env.Dims({{0, 9}}), env.Name("s2"), DeclPos{}),
                         nullptr);
    env.ctx->DeclareType(env.Name("arr2"), DeclPos{}, env.Type("arr"), nullptr);
    struct Case {
        const char* name;
        uint32_t size;
        bool isStruct;
        bool isArray;
    } cases[] = {{"s", 5, true, false},
                 {"s2", 5, true, false},
                 {"arr", 50, false, true},
                 {"arr2", 50, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SymAttr* t = env.Global(c.name);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->GetMemsize(0), c.size);
        EXPECT_EQ(t->IsStruct(), c.isStruct);
        EXPECT_EQ(t->IsArray(), c.isArray);
    }
    EXPECT_STREQ(env.Global("s2")->GetStructCompEntry()->GetName(), "x");
    EXPECT_EQ(env.Global("arr2")->GetMemsize(1), 5u);
    EXPECT_TRUE(env.Take().empty());
}

// A type declared inside a unit is also entered into the global table.
TEST(DeclContextType, TypeDeclaredInsideUnitIsGlobal) {
    DeclEnv env;
    env.ctx->BeginUnit(env.Name("fb"), decl::UNIT_FUNCTION_BLOCK, nullptr, DeclPos{});
    env.ctx->DeclareType(env.Name("local_t"), DeclPos{}, env.Type("WORD"), nullptr);
    SymAttr* local = env.set->GetCurrent()->lookup("local_t");
    env.ctx->EndUnit();
    SymAttr* global = env.Global("local_t");
    ASSERT_NE(local, nullptr);
    ASSERT_NE(global, nullptr);
    EXPECT_NE(local, global);
    EXPECT_TRUE(global->IsDType());
    EXPECT_EQ(global->GetMemsize(0), 2u);
    EXPECT_EQ(global->GetSeqNo(), 1);
    EXPECT_TRUE(global->IsVisibleDType());
}

// Types declared while a nested unit is open are neither visible nor
// registered with the library.
TEST(DeclContextType, NestedUnitSuppressesRegistration) {
    DeclEnv env;
    env.ctx->BeginUnit(env.Name("outer"), decl::UNIT_PROGRAM, nullptr, DeclPos{});
    env.ctx->BeginUnit(env.Name("inner"), decl::UNIT_FUNCTION_BLOCK, nullptr, DeclPos{});
    EXPECT_EQ(env.ctx->GetNestedUnitDepth(), 1);
    env.ctx->DeclareType(env.Name("hidden"), DeclPos{}, env.Type("INT"), nullptr);
    env.ctx->EndUnit();
    EXPECT_EQ(env.ctx->GetNestedUnitDepth(), 0);
    env.ctx->DeclareType(env.Name("shown"), DeclPos{}, env.Type("INT"), nullptr);
    env.ctx->EndUnit();
    EXPECT_EQ(env.lib->FindType("hidden"), nullptr);
    EXPECT_NE(env.lib->FindType("shown"), nullptr);
    ASSERT_NE(env.Global("hidden"), nullptr);
    EXPECT_FALSE(env.Global("hidden")->IsVisibleDType());
}

// "TYPE a : INT; b : a; a : b;" would make a derive from itself: the
// redeclaration is refused and a keeps its first description.
TEST(DeclContextType, AliasCycleIsRefused) {
    for (uint16_t flag : {0, 0x8000}) {
        SCOPED_TRACE(flag);
        DeclEnv env(flag);
        env.ctx->DeclareType(env.Name("a"), DeclPos{}, env.Type("INT"), nullptr);
        env.ctx->DeclareType(env.Name("b"), DeclPos{}, env.Type("a"), nullptr);
        env.Take();
        EXPECT_EQ(env.ctx->DeclareType(env.Name("a"), At(4, 1), env.Type("b"), nullptr), -3465);
        EXPECT_EQ(env.Take(), (std::vector<Msg>{E(-3465, 4, 1, "a")}));
        EXPECT_EQ(env.Global("a")->IsDerivedFrom(), env.set->GetElemTab()->lookup("INT"));
        EXPECT_EQ(env.Global("b")->GetMemsize(0), 2u);
    }
}

// A spec that failed earlier (null) declares nothing and reports nothing.
TEST(DeclContextType, MissingSpec) {
    DeclEnv env;
    EXPECT_EQ(env.ctx->DeclareType(env.Name("t"), DeclPos{}, nullptr, nullptr), 1);
    EXPECT_TRUE(env.Take().empty());
    EXPECT_EQ(env.Global("t")->GetKind(), sym::KIND_UNDEFINED);
}

} // namespace
