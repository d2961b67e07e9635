// Declaration context: section flags and their rules, type names in
// declarations (elementary, global, "$name", generic types, function blocks
// as types), variable declarations with their numbering, lists and
// initial values, and program units.
#include "DeclTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace decltest;
using namespace decl;

namespace {

TEST(DeclContextSection, SectionTextNumbers) {
    struct Case {
        unsigned short bit;
        short number;
    } cases[] = {{0x0001, -3521}, {0x0002, -3522}, {0x0004, -3523}, {0x0008, -3524},
                 {0x0010, -3525}, {0x0020, -3526}, {0x0040, -3527}, {0x0080, -3528},
                 {0x0100, -3529}, {0x0200, -3530}, {0x0400, -3531}, {0x0800, -3532},
                 {0x1000, -3533}, {0x0000, 0},     {0x2000, 0},     {0x0003, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bit);
        EXPECT_EQ(DeclContext::SectionTextNo(c.bit), c.number);
    }
}

// The message texts of the section bits name the keywords the flags stand
// for (the real table, not the test texts).
TEST(DeclContextSection, SectionTextsNameTheKeywords) {
    DeclEnv env;
    env.sink.SetTextLoader(nullptr);
    env.ctx->BeginUnit(env.Name("f"), UNIT_FUNCTION, env.Type("INT"), DeclPos{});
    env.ctx->BeginSection(SEC_VAR_OUTPUT, At(2, 1));
    const ErrDesc* d = env.sink.GetCollected();
    ASSERT_NE(d, nullptr);
    EXPECT_NE(std::strstr(d->text, "VAR_OUTPUT"), nullptr) << d->text;
    EXPECT_NE(std::strstr(d->text, "FUNCTION"), nullptr) << d->text;
}

TEST(DeclContextSection, Rules) {
    struct Step {
        bool begin;
        unsigned short flag;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<Msg> messages; // every step at line = its index + 1, column 1
        unsigned short flagsAfter;
    } cases[] = {
        {"plain VAR", {{true, SEC_VAR}}, {}, SEC_VAR},
        {"VAR ended", {{true, SEC_VAR}, {false, SEC_VAR}}, {}, 0},
        {"VAR CONSTANT", {{true, SEC_VAR | SEC_CONSTANT}}, {}, SEC_VAR | SEC_CONSTANT},
        {"VAR_GLOBAL alone",
         {{true, SEC_VAR_GLOBAL}},
         {E(-3612, 1, 1, "VAR_GLOBAL")},
         SEC_VAR_GLOBAL},
        {"VAR_EXTERNAL alone",
         {{true, SEC_VAR_EXTERNAL}},
         {E(-3612, 1, 1, "VAR_EXTERNAL")},
         SEC_VAR_EXTERNAL},
        {"VAR_ACCESS alone",
         {{true, SEC_VAR_ACCESS}},
         {E(-3612, 1, 1, "VAR_ACCESS")},
         SEC_VAR_ACCESS},
        {"VAR_GLOBAL in a function block",
         {{true, SEC_FUNCTION_BLOCK}, {true, SEC_VAR_GLOBAL}},
         {E(-3612, 2, 1, "VAR_GLOBAL"), E(-3462, 2, 1, "VAR_GLOBAL", "FUNCTION_BLOCK")},
         SEC_FUNCTION_BLOCK | SEC_VAR_GLOBAL},
        {"VAR_GLOBAL in a program",
         {{true, SEC_PROGRAM}, {true, SEC_VAR_GLOBAL}},
         {E(-3612, 2, 1, "VAR_GLOBAL")},
         SEC_PROGRAM | SEC_VAR_GLOBAL},
        {"VAR_EXTERNAL in a function",
         {{true, SEC_FUNCTION}, {true, SEC_VAR_EXTERNAL}},
         {E(-3612, 2, 1, "VAR_EXTERNAL"), E(-3462, 2, 1, "VAR_EXTERNAL", "FUNCTION")},
         SEC_FUNCTION | SEC_VAR_EXTERNAL},
        {"VAR_EXTERNAL in a function block",
         {{true, SEC_FUNCTION_BLOCK}, {true, SEC_VAR_EXTERNAL}},
         {E(-3612, 2, 1, "VAR_EXTERNAL")},
         SEC_FUNCTION_BLOCK | SEC_VAR_EXTERNAL},
        {"VAR_ACCESS in a program",
         {{true, SEC_PROGRAM}, {true, SEC_VAR_ACCESS}},
         {E(-3612, 2, 1, "VAR_ACCESS"), E(-3462, 2, 1, "VAR_ACCESS", "PROGRAM")},
         SEC_PROGRAM | SEC_VAR_ACCESS},
        {"VAR_GLOBAL while VAR is open",
         {{true, SEC_VAR}, {true, SEC_VAR_GLOBAL}},
         {E(-3612, 2, 1, "VAR_GLOBAL"), E(-3462, 2, 1, "VAR_GLOBAL", "VAR")},
         SEC_VAR | SEC_VAR_GLOBAL},
        {"VAR in a function before VAR_INPUT",
         {{true, SEC_FUNCTION}, {true, SEC_VAR}},
         {W(-3482, 2, 1)},
         SEC_FUNCTION | SEC_VAR},
        {"VAR in a function after VAR_INPUT",
         {{true, SEC_FUNCTION}, {true, SEC_VAR_INPUT}, {false, SEC_VAR_INPUT}, {true, SEC_VAR}},
         {},
         SEC_FUNCTION | SEC_VAR},
        {"VAR in a function block first",
         {{true, SEC_FUNCTION_BLOCK}, {true, SEC_VAR}},
         {},
         SEC_FUNCTION_BLOCK | SEC_VAR},
        {"a new function resets the count",
         {{true, SEC_FUNCTION},
          {true, SEC_VAR_INPUT},
          {false, SEC_VAR_INPUT},
          {false, SEC_FUNCTION},
          {true, SEC_FUNCTION},
          {true, SEC_VAR}},
         {W(-3482, 6, 1)},
         SEC_FUNCTION | SEC_VAR},
        {"VAR_OUTPUT in a function",
         {{true, SEC_FUNCTION}, {true, SEC_VAR_OUTPUT}},
         {E(-3462, 2, 1, "VAR_OUTPUT", "FUNCTION")},
         SEC_FUNCTION | SEC_VAR_OUTPUT},
        {"VAR_IN_OUT in a function",
         {{true, SEC_FUNCTION}, {true, SEC_VAR_IN_OUT}},
         {E(-3462, 2, 1, "VAR_IN_OUT", "FUNCTION")},
         SEC_FUNCTION | SEC_VAR_IN_OUT},
        {"VAR_OUTPUT in a function block",
         {{true, SEC_FUNCTION_BLOCK}, {true, SEC_VAR_OUTPUT}},
         {},
         SEC_FUNCTION_BLOCK | SEC_VAR_OUTPUT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeclEnv env;
        int line = 0;
        for (const Step& s : c.steps) {
            ++line;
            if (s.begin) {
                env.ctx->BeginSection(s.flag, At(line, 1));
            } else {
                env.ctx->EndSection(s.flag);
            }
        }
        EXPECT_EQ(env.Take(), c.messages);
        EXPECT_EQ(env.ctx->GetSectionFlags(), c.flagsAfter);
    }
}

TEST(DeclContextSection, NestingCounter) {
    DeclEnv env;
    env.ctx->BeginSection(SEC_FUNCTION, DeclPos{});
    EXPECT_EQ(env.ctx->GetNestingCounter(), 0);
    env.ctx->BeginSection(SEC_VAR_INPUT, DeclPos{});
    env.ctx->EndSection(SEC_VAR_INPUT);
    env.ctx->BeginSection(SEC_VAR_INPUT, DeclPos{});
    EXPECT_EQ(env.ctx->GetNestingCounter(), 2);
    env.ctx->EndSection(SEC_VAR_INPUT);
    env.ctx->EndSection(SEC_FUNCTION);
    EXPECT_EQ(env.ctx->GetNestingCounter(), 0);
    EXPECT_EQ(env.ctx->GetSectionFlags(), 0);
}

TEST(DeclContextResolve, TypeNames) {
    struct Case {
        const char* name;
        const char* type;
        unsigned short flags; // sections open
        const char* resolved; // null: refused
        std::vector<Msg> messages;
    } cases[] = {
        {"keyword INT", "INT", SEC_VAR, "INT", {}},
        {"TIME_OF_DAY", "TIME_OF_DAY", SEC_VAR, "TIME_OF_DAY", {}},
        {"TOD", "TOD", SEC_VAR, "TOD", {}},
        {"declared type", "mytype", SEC_VAR, "mytype", {}},
        {"declared type other case", "MYTYPE", SEC_VAR, "mytype", {}},
        {"undeclared", "unknown", SEC_VAR, nullptr, {E(-3486, 3, 4)}},
        {"generic ANY", "ANY", SEC_VAR, nullptr, {E(-3617, 3, 4)}},
        {"generic ANY_INT", "ANY_INT", SEC_VAR_INPUT, nullptr, {E(-3617, 3, 4)}},
        {"keyword that is no type", "END_VAR", SEC_VAR, nullptr, {E(-3486, 3, 4)}},
        {"function block in a function block's VAR", "fb", SEC_FUNCTION_BLOCK | SEC_VAR, "fb", {}},
        {"function block in VAR_INPUT",
         "fb",
         SEC_FUNCTION_BLOCK | SEC_VAR_INPUT,
         nullptr,
         {E(-3464, 3, 4, "VAR_INPUT")}},
        {"function block in VAR_OUTPUT",
         "fb",
         SEC_PROGRAM | SEC_VAR_OUTPUT,
         nullptr,
         {E(-3464, 3, 4, "VAR_OUTPUT")}},
        {"function block in VAR_IN_OUT",
         "fb",
         SEC_PROGRAM | SEC_VAR_IN_OUT,
         nullptr,
         {E(-3464, 3, 4, "VAR_IN_OUT")}},
        {"function block in VAR CONSTANT",
         "fb",
         SEC_PROGRAM | SEC_VAR | SEC_CONSTANT,
         nullptr,
         {E(-3464, 3, 4, "CONSTANT")}},
        {"function block at an address",
         "fb",
         SEC_PROGRAM | SEC_VAR | SEC_AT,
         nullptr,
         {E(-3464, 3, 4, "AT (located variable)")}},
        {"function block outside any section", "fb", 0, nullptr, {E(-3504, 3, 4, "fb")}},
        {"function block in VAR_GLOBAL outside units", "fb", SEC_VAR_GLOBAL, "fb", {}},
        {"function as a type", "fn", SEC_PROGRAM | SEC_VAR, nullptr, {E(-3485, 3, 4)}},
        {"program as a type", "prog", SEC_FUNCTION_BLOCK | SEC_VAR, nullptr, {E(-3485, 3, 4)}},
        {"program as a type in VAR_GLOBAL", "prog", SEC_VAR_GLOBAL, nullptr, {E(-3485, 3, 4)}},
        {"variable as a type", "v", SEC_VAR, nullptr, {E(-3486, 3, 4)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeclEnv env;
        env.ctx->DeclareType(env.Name("mytype"), DeclPos{}, env.Type("INT"), nullptr);
        env.ctx->BeginUnit(env.Name("fb"), UNIT_FUNCTION_BLOCK, nullptr, DeclPos{});
        env.ctx->EndUnit();
        env.ctx->BeginUnit(env.Name("fn"), UNIT_FUNCTION, env.Type("INT"), DeclPos{});
        env.ctx->EndUnit();
        env.ctx->BeginUnit(env.Name("prog"), UNIT_PROGRAM, nullptr, DeclPos{});
        env.ctx->EndUnit();
        env.ctx->BeginSection(SEC_VAR, DeclPos{});
        env.ctx->DeclareVariable(env.Name("v"), DeclPos{});
        env.ctx->DeclareVarType(env.Type("INT"), nullptr);
        env.ctx->EndSection(SEC_VAR);
        env.Take();
        env.ctx->BeginSection(c.flags, DeclPos{});
        env.Take();
        SymAttr* r = env.ctx->ResolveTypeName(env.Name(c.type), At(3, 4));
        if (c.resolved == nullptr) {
            EXPECT_EQ(r, nullptr);
        } else {
            ASSERT_NE(r, nullptr);
            EXPECT_STREQ(r->GetName(), c.resolved);
        }
        EXPECT_EQ(env.Take(), c.messages);
    }
}

// Under hostFlags 0x8000 an undefined name is first tried as "$name".
TEST(DeclContextResolve, DollarNames) {
    struct Case {
        uint16_t hostFlags;
        const char* name;
        const char* expected;
    } cases[] = {
        {0x8000, "hidden", "$hidden"},
        {0x0000, "hidden", nullptr},
        {0x8000, "plain", "plain"}, // defined: no "$" lookup
        {0x8000, "other", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.hostFlags));
        DeclEnv env(0, c.hostFlags);
        env.ctx->DeclareType(env.Name("$hidden"), DeclPos{}, env.Type("DINT"), nullptr);
        env.ctx->DeclareType(env.Name("plain"), DeclPos{}, env.Type("INT"), nullptr);
        env.ctx->DeclareType(env.Name("$plain"), DeclPos{}, env.Type("BOOL"), nullptr);
        env.Take();
        SymAttr* r = env.ctx->ResolveTypeName(env.Name(c.name), DeclPos{});
        if (c.expected == nullptr) {
            EXPECT_EQ(r, nullptr);
            EXPECT_EQ(env.Take().size(), 1u);
        } else {
            ASSERT_NE(r, nullptr);
            EXPECT_STREQ(r->GetName(), c.expected);
        }
    }
}

// A unit registered with the library is found by name even when the
// global table does not hold it.
TEST(DeclContextResolve, LibraryUnits) {
    DeclEnv env;
    SymAttr fb("libfb");
    fb.DefPOU(UNIT_FUNCTION_BLOCK, nullptr, nullptr, nullptr, nullptr, 0);
    env.lib->AddUnit(&fb);
    env.ctx->BeginSection(SEC_PROGRAM | SEC_VAR, DeclPos{});
    EXPECT_EQ(env.ctx->ResolveTypeName(env.Name("LIBFB"), DeclPos{}), &fb);
    env.lib->ReleaseUnits();
}

TEST(DeclContextVariable, DeclarationAndNumbering) {
    DeclEnv env;
    env.ctx->BeginUnit(env.Name("prog"), UNIT_PROGRAM, nullptr, DeclPos{});
    env.ctx->BeginSection(SEC_VAR_INPUT, DeclPos{});
    env.ctx->DeclareVariable(env.Name("in1"), DeclPos{});
    env.ctx->DeclareVariable(env.Name("in2"), DeclPos{});
    EXPECT_EQ(env.ctx->DeclareVarType(env.Type("BOOL"), nullptr), 0);
    EXPECT_STREQ(env.ctx->GetFirstVariable()->GetName(), "in1");
    env.ctx->EndSection(SEC_VAR_INPUT);
    env.ctx->BeginSection(SEC_VAR | SEC_RETAIN, DeclPos{});
    env.ctx->DeclareVariable(env.Name("count"), DeclPos{});
    env.ctx->DeclareVarType(env.Type("DINT"), nullptr);
    env.ctx->EndSection(SEC_VAR | SEC_RETAIN);
    env.ctx->BeginSection(SEC_VAR_OUTPUT, DeclPos{});
    env.ctx->DeclareVariable(env.Name("out1"), DeclPos{});
    env.ctx->DeclareVarType(env.Type("REAL"), nullptr);
    env.ctx->EndSection(SEC_VAR_OUTPUT);
    SymTab* scope = env.set->GetCurrent();
    SymAttr* unit = env.ctx->GetCurrentUnit();
    env.ctx->EndUnit();
    EXPECT_TRUE(env.Take().empty());

    struct Case {
        const char* name;
        short number;
        unsigned short flags;
        const char* type;
        const char* next;
    } cases[] = {
        {"in1", 1, SEC_PROGRAM | SEC_VAR_INPUT, "BOOL", "in2"},
        {"in2", 2, SEC_PROGRAM | SEC_VAR_INPUT, "BOOL", "out1"},
        {"count", 3, SEC_PROGRAM | SEC_VAR | SEC_RETAIN, "DINT", nullptr},
        {"out1", 4, SEC_PROGRAM | SEC_VAR_OUTPUT, "REAL", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SymAttr* v = scope->lookup(c.name);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->GetKind(), sym::KIND_VARIABLE);
        EXPECT_EQ(v->GetID(), c.number);
        EXPECT_EQ(v->GetContext(), c.flags);
        EXPECT_STREQ(v->GetDTypeName(0), c.type);
        EXPECT_EQ(v->GetUnit(), unit);
        if (c.next == nullptr) {
            EXPECT_EQ(v->GetNext(), nullptr);
        } else {
            ASSERT_NE(v->GetNext(), nullptr);
            EXPECT_STREQ(v->GetNext()->GetName(), c.next);
        }
    }
    // The unit: its scope, interface and other variables; the adapter's
    // current unit; the library's registration; the scope table by name.
    EXPECT_EQ(unit->GetKind(), sym::KIND_POU);
    EXPECT_EQ(unit->GetPOU_Type(), UNIT_PROGRAM);
    EXPECT_STREQ(unit->GetIO_VarEntry()->GetName(), "in1");
    EXPECT_STREQ(unit->GetOtherVarEntry()->GetName(), "count");
    EXPECT_EQ(env.set->GetLocalTab("prog"), scope);
    EXPECT_STREQ(env.db->GetUnitName(), "prog");
    EXPECT_EQ(env.db->GetUnitType(), UNIT_PROGRAM);
    EXPECT_EQ(env.lib->FindUnit("prog"), unit);
    EXPECT_EQ(env.set->GetCurrent(), env.set->GetGlobalTab());
    EXPECT_EQ(env.ctx->GetSectionFlags(), 0);
}

TEST(DeclContextVariable, Redeclarations) {
    struct Case {
        const char* name;
        std::vector<std::vector<const char*>> lists; // one declaration list per entry
        std::vector<Msg> messages;
        std::vector<const char*> declared;
    } cases[] = {
        {"distinct", {{"a", "b"}, {"c"}}, {}, {"a", "b", "c"}},
        {"same list", {{"a", "a"}}, {E(-3465, 1, 2, "a")}, {"a"}},
        {"same list other case", {{"a", "A"}}, {E(-3465, 1, 2, "a")}, {"a"}},
        {"second list", {{"a"}, {"b", "a"}}, {E(-3465, 2, 2, "a")}, {"a", "b"}},
        {"the name of a type", {{"t"}}, {E(-3465, 1, 1, "t")}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeclEnv env;
        env.ctx->DeclareType(env.Name("t"), DeclPos{}, env.Type("INT"), nullptr);
        env.ctx->BeginSection(SEC_VAR, DeclPos{});
        int line = 0;
        for (const auto& list : c.lists) {
            ++line;
            int col = 0;
            for (const char* n : list) {
                env.ctx->DeclareVariable(env.Name(n), At(line, ++col));
            }
            env.ctx->DeclareVarType(env.Type("INT"), nullptr);
        }
        EXPECT_EQ(env.Take(), c.messages);
        for (const char* n : c.declared) {
            SCOPED_TRACE(n);
            ASSERT_NE(env.Global(n), nullptr);
            EXPECT_EQ(env.Global(n)->GetKind(), sym::KIND_VARIABLE);
        }
        EXPECT_EQ(env.Global("t")->GetKind(), sym::KIND_DTYPE);
    }
}

TEST(DeclContextVariable, InstancesAndLocatedVariables) {
    DeclEnv env;
    env.ctx->BeginUnit(env.Name("timer"), UNIT_FUNCTION_BLOCK, nullptr, DeclPos{});
    env.ctx->EndUnit();
    env.ctx->BeginUnit(env.Name("main"), UNIT_PROGRAM, nullptr, DeclPos{});
    env.ctx->BeginSection(SEC_VAR, DeclPos{});
    env.ctx->DeclareVariable(env.Name("t1"), DeclPos{});
    env.ctx->DeclareVariable(env.Name("t2"), DeclPos{});
    env.ctx->DeclareVarType(env.Name("timer"), nullptr);
    SymAttr* addr = env.set->GetGlobalTab()->insert("%IX1.2", 0, nullptr);
    env.ctx->DeclareVariable(env.Name("sw"), DeclPos{}, addr);
    env.ctx->DeclareVarType(env.Type("BOOL"), nullptr);
    SymTab* scope = env.set->GetCurrent();
    env.ctx->EndSection(SEC_VAR);
    env.ctx->EndUnit();
    EXPECT_TRUE(env.Take().empty());
    SymAttr* t1 = scope->lookup("t1");
    ASSERT_NE(t1, nullptr);
    EXPECT_EQ(t1->GetKind(), sym::KIND_FB_INSTANCE);
    EXPECT_EQ(t1->GetTypeSpec(0), env.Global("timer"));
    EXPECT_EQ(t1->GetNext(), scope->lookup("t2"));
    SymAttr* sw = scope->lookup("sw");
    ASSERT_NE(sw, nullptr);
    ASSERT_NE(sw->GetLocatedVar(), nullptr);
    EXPECT_EQ(sw->GetLocatedVar()->address, addr);
    EXPECT_EQ(sw->GetContext(), SEC_PROGRAM | SEC_VAR | SEC_AT);
}

// A variable list with an initial value: the value is checked, shared by
// the list's variables and kept by the library; a value that does not fit
// is reported and dropped.
TEST(DeclContextVariable, InitialValues) {
    struct Case {
        const char* name;
        const char* type;
        const char* value;
        short result;
        bool kept;
        std::vector<Msg> messages;
    } cases[] = {
        {"fits", "INT", "42", 0, true, {}},
        {"out of range", "SINT", "300", -3424, false, {E(-3424, 1, 1)}},
        {"list for a number", "INT", "[1, 2]", -3541, false, {E(-3541, 1, 1, "INT")}},
        {"array with repetition", "arr", "[2(7)]", 0, true, {}},
        {"warning only", "arr", "[1(7), 1(8)]", 0, true, {W(-3535, 1, 2), W(-3535, 1, 8)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeclEnv env;
        env.ctx->DeclareType(env.Name("arr"), DeclPos{},
                             env.ctx->MakeArraySpec(env.Dims({{1, 2}}), env.Name("INT"), DeclPos{}),
                             nullptr);
        InitValReader reader(&env.sink);
        TiInitValSpec* v = reader.Read(c.value);
        ASSERT_NE(v, nullptr);
        env.ctx->BeginSection(SEC_VAR, DeclPos{});
        env.ctx->DeclareVariable(env.Name("x"), DeclPos{});
        env.ctx->DeclareVariable(env.Name("y"), DeclPos{});
        EXPECT_EQ(env.ctx->DeclareVarType(env.Type(c.type), v), c.result);
        EXPECT_EQ(env.Take(), c.messages);
        SymAttr* x = env.Global("x");
        SymAttr* y = env.Global("y");
        ASSERT_NE(x, nullptr);
        EXPECT_EQ(x->GetKind(), sym::KIND_VARIABLE);
        if (c.kept) {
            EXPECT_NE(x->GetInitVal(), nullptr);
            EXPECT_EQ(x->GetInitVal(), y->GetInitVal());
            EXPECT_EQ(env.lib->GetInitValCount(), 1u);
        } else {
            EXPECT_EQ(x->GetInitVal(), nullptr);
            EXPECT_EQ(env.lib->GetInitValCount(), 0u);
        }
    }
}

// Forgetting a variable in the library destroys a value only when no
// other variable shares it.
TEST(DeclContextVariable, LibraryForgetsSharedValuesOnce) {
    DeclEnv env;
    InitValReader reader(&env.sink);
    env.ctx->BeginSection(SEC_VAR, DeclPos{});
    env.ctx->DeclareVariable(env.Name("x"), DeclPos{});
    env.ctx->DeclareVariable(env.Name("y"), DeclPos{});
    env.ctx->DeclareVarType(env.Type("INT"), reader.Read("3"));
    EXPECT_EQ(env.lib->GetInitValCount(), 1u);
    env.lib->ForgetRecord(env.Global("x"));
    EXPECT_EQ(env.lib->GetInitValCount(), 1u);
    env.Global("x")->SetInitVal(nullptr);
    env.lib->ForgetRecord(env.Global("y"));
    EXPECT_EQ(env.lib->GetInitValCount(), 0u);
    env.Global("y")->SetInitVal(nullptr);
}

TEST(DeclContextUnit, UnitMessagesAndRecompilation) {
    DeclEnv env;
    env.ctx->DeclareType(env.Name("taken"), DeclPos{}, env.Type("INT"), nullptr);
    EXPECT_EQ(env.ctx->BeginUnit(env.Name("taken"), UNIT_PROGRAM, nullptr, At(2, 9)), -3465);
    EXPECT_EQ(env.Take(), (std::vector<Msg>{E(-3465, 2, 9, "taken")}));
    // The body is still read: its variables go to a scope of their own.
    env.ctx->BeginSection(SEC_VAR, DeclPos{});
    env.ctx->DeclareVariable(env.Name("inside"), DeclPos{});
    env.ctx->DeclareVarType(env.Type("INT"), nullptr);
    env.ctx->EndSection(SEC_VAR);
    EXPECT_EQ(env.ctx->EndUnit(), 0);
    EXPECT_EQ(env.Global("inside"), nullptr);
    EXPECT_EQ(env.Global("taken")->GetKind(), sym::KIND_DTYPE);
    EXPECT_EQ(env.ctx->EndUnit(), 1);
    // A unit compiled again gets a new scope; the old one is gone.
    env.ctx->BeginUnit(env.Name("u"), UNIT_FUNCTION_BLOCK, nullptr, DeclPos{});
    SymTab* first = env.set->GetCurrent();
    env.ctx->EndUnit();
    env.ctx->BeginUnit(env.Name("u"), UNIT_FUNCTION_BLOCK, nullptr, DeclPos{});
    SymTab* second = env.set->GetCurrent();
    env.ctx->EndUnit();
    EXPECT_FALSE(env.set->OwnsTab(first) && first != second);
    EXPECT_EQ(env.set->GetLocalTab("u"), second);
    EXPECT_TRUE(env.Take().empty());
    // Unit types other than 1, 2 and 4 are an internal error.
    EXPECT_EQ(env.ctx->BeginUnit(env.Name("bad"), 3, nullptr, DeclPos{}), -3555);
}

TEST(DeclContextUnit, FunctionResultType) {
    DeclEnv env;
    env.ctx->BeginUnit(env.Name("f"), UNIT_FUNCTION, env.Type("LREAL"), DeclPos{});
    env.ctx->EndUnit();
    SymAttr* f = env.Global("f");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->GetPOU_Type(), UNIT_FUNCTION);
    EXPECT_STREQ(f->GetDTypeName(0), "LREAL");
    EXPECT_EQ(f->GetMemsize(0), 8u);
}

} // namespace
