// Symbol-record definition results and the queries on every kind: type
// specs, component and value lists through aliases, scope tables, derived
// types (alias, take-over, redefinition, cycles) and type equivalence.
#include "compiler/SymAttr.h"
#include "tests/compiler/TypeArena.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace sym;

TEST(SymAttrRecord, NameIsAnExactCopy) {
    char buf[] = "Motor_T";
    SymAttr r(buf);
    buf[0] = 'X';
    EXPECT_STREQ(r.GetName(), "Motor_T");
    EXPECT_EQ(r.GetConstrStatus(), DEF_OK);
    EXPECT_EQ(r.GetKind(), KIND_UNDEFINED);
    SymAttr anon(static_cast<const char*>(nullptr));
    EXPECT_EQ(anon.GetName(), nullptr);
    SymAttr empty("");
    EXPECT_STREQ(empty.GetName(), "");
}

TEST(SymAttrRecord, KeywordGivesNullForEveryTypeQuery) {
    TypeArena a;
    SymAttr* INT = a.Elem(-11);
    SymAttr kw("INT");
    ASSERT_EQ(kw.DefKeyword(-11, 327, INT), DEF_OK);
    EXPECT_EQ(kw.GetToken(), 327);
    EXPECT_EQ(kw.GetKeywordType(), INT);
    EXPECT_EQ(kw.GetID(), -11);
    short v = 0;
    const std::vector<std::pair<const char*, std::function<bool()>>> queries = {
        {"GetTypeSpec(0)", [&] { return kw.GetTypeSpec(0) == nullptr; }},
        {"GetTypeSpec(1)", [&] { return kw.GetTypeSpec(1) == nullptr; }},
        {"GetDType", [&] { return kw.GetDType(0) == nullptr; }},
        {"GetMemsize", [&] { return kw.GetMemsize(0) == 0; }},
        {"GetDTypeName", [&] { return kw.GetDTypeName(0) == nullptr; }},
        {"GetElemType", [&] { return kw.GetElemType(0) == nullptr; }},
        {"GetElemTypeID", [&] { return kw.GetElemTypeID(0) == 0; }},
        {"IsArray", [&] { return !kw.IsArray(); }},
        {"IsStruct", [&] { return !kw.IsStruct(); }},
        {"IsEnum", [&] { return !kw.IsEnum(); }},
        {"IsSubrange", [&] { return !kw.IsSubrange(); }},
        {"IsAnyDType", [&] { return !kw.IsAnyDType(); }},
        {"IsVisibleDType", [&] { return !kw.IsVisibleDType(); }},
        {"IsDerivedFrom", [&] { return kw.IsDerivedFrom() == nullptr; }},
        {"GetArrayDimension", [&] { return kw.GetArrayDimension() == 0; }},
        {"GetArraySubr", [&] { return kw.GetArraySubr(0) == nullptr; }},
        {"GetSubr", [&] { return kw.GetSubr() == nullptr; }},
        {"GetArrayAddSize", [&] { return kw.GetArrayAddSize() == 0; }},
        {"GetStructCompEntry", [&] { return kw.GetStructCompEntry() == nullptr; }},
        {"GetEnumCompEntry", [&] { return kw.GetEnumCompEntry() == nullptr; }},
        {"GetEnumVal", [&] { return kw.GetEnumVal(v) == DEF_WRONG_KIND && v == -1; }},
        {"GetNext", [&] { return kw.GetNext() == nullptr; }},
        {"GetPrev", [&] { return kw.GetPrev() == nullptr; }},
        {"GetScopeTab", [&] { return kw.GetScopeTab() == nullptr; }},
        {"GetContext", [&] { return kw.GetContext() == 0; }},
        {"GetParFlags", [&] { return kw.GetParFlags() == 0; }},
        {"GetPOU_Type", [&] { return kw.GetPOU_Type() == 0; }},
        {"GetIO_VarEntry", [&] { return kw.GetIO_VarEntry() == nullptr; }},
        {"GetOtherVarEntry", [&] { return kw.GetOtherVarEntry() == nullptr; }},
        {"GetLocatedVar", [&] { return kw.GetLocatedVar() == nullptr; }},
        {"GetConstant", [&] { return kw.GetConstant() == nullptr; }},
        {"IsEquivalentType", [&] { return !kw.IsEquivalentType(INT, 0, 0, false); }},
    };
    for (auto& [name, check] : queries) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(check());
    }
}

TEST(SymAttrRecord, TypeSpecOfEveryKind) {
    TypeArena a;
    SymAttr* INT = a.Elem(-11);
    SymAttr* e = a.Enum("E", {"red", "green"});
    SymAttr* var = a.Named("v");
    ASSERT_EQ(var->DefVarAttr(nullptr, 0x40, INT, 3, nullptr), DEF_OK);
    SymAttr* comp = a.Named("c");
    ASSERT_EQ(comp->DefStructComp(INT), DEF_OK);
    SymAttr* fn = a.Named("F");
    ASSERT_EQ(fn->DefPOU(POU_FUNCTION, a.FakeTab(), nullptr, nullptr, INT, 0), DEF_OK);
    SymAttr* fb = a.Named("FB");
    ASSERT_EQ(fb->DefPOU(2, a.FakeTab(), var, comp, INT, 0), DEF_OK);
    SymAttr* inst = a.Named("i");
    ASSERT_EQ(inst->DefFBInstance(fn, 0x40, fb, nullptr), DEF_OK);
    SymAttr* label = a.Named("L");
    ASSERT_EQ(label->DefLabelList(nullptr), DEF_OK);
    TiMemSpec ms;
    SymAttr lit(&ms);
    SymAttr undefined("u");

    struct Case {
        const char* name;
        SymAttr* rec;
        SymAttr* spec;
    };
    const Case cases[] = {
        {"undefined", &undefined, nullptr},
        {"variable", var, INT},
        {"data type", INT, INT},
        {"component", comp, INT},
        {"enumeration value", e->GetEnumCompEntry(), e},
        {"instance", inst, fb},
        {"function (unit type 1)", fn, INT},
        {"function block (unit type 2)", fb, nullptr},
        {"label list", label, nullptr},
        {"literal constant", &lit, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.rec->GetTypeSpec(0), c.spec);
    }
    EXPECT_EQ(var->GetContext(), 0x40);
    EXPECT_EQ(var->GetParFlags(), 3);
    EXPECT_EQ(inst->GetContext(), 0x40);
    EXPECT_EQ(inst->GetPOU_Type(), 2);
    EXPECT_EQ(fb->GetPOU_Type(), 2);
    EXPECT_EQ(fb->GetIO_VarEntry(), var);
    EXPECT_EQ(fb->GetOtherVarEntry(), comp);
    EXPECT_EQ(fb->GetScopeTab(), a.FakeTab());
    EXPECT_EQ(inst->GetUnit(), fn);
}

TEST(SymAttrRecord, DefinitionResultCodes) {
    TypeArena a;
    SymAttr* INT = a.Elem(-11);
    SymAttr kw("KW");
    kw.DefKeyword(0, 280, nullptr);
    SymAttr fb("FB");
    fb.DefPOU(2, nullptr, nullptr, nullptr, nullptr, 0);
    TiMemSpec ms;

    // Each case runs one definition on a fresh record prepared by `setup`.
    struct Case {
        const char* name;
        std::function<void(SymAttr&)> setup;
        std::function<short(SymAttr&)> def;
        short rc;
        uint8_t kindAfter;
    };
    auto none = [](SymAttr&) {};
    auto asVariable = [&](SymAttr& r) { r.DefVarAttr(nullptr, 0, INT, 0, nullptr); };
    auto asType = [&](SymAttr& r) { r.DefElemType(-11, 2, "0", true, false, false); };
    const std::vector<Case> cases = {
        {"elem on undefined", none,
         [](SymAttr& r) { return r.DefElemType(-1, 1, "FALSE", true, false, false); }, DEF_OK,
         KIND_DTYPE},
        {"elem twice", asType,
         [](SymAttr& r) { return r.DefElemType(-1, 1, "FALSE", true, false, false); },
         DEF_DEFINED, KIND_DTYPE},
        {"keyword on variable", asVariable, [](SymAttr& r) { return r.DefKeyword(0, 1, nullptr); },
         DEF_DEFINED, KIND_VARIABLE},
        {"memspec null", none, [](SymAttr& r) { return r.DefMemSpec(nullptr); }, DEF_NULL_ARG,
         KIND_UNDEFINED},
        {"memspec on undefined", none, [&](SymAttr& r) { return r.DefMemSpec(&ms); }, DEF_OK,
         KIND_CONSTANT},
        {"memspec on variable", asVariable, [&](SymAttr& r) { return r.DefMemSpec(&ms); },
         DEF_DEFINED, KIND_VARIABLE},
        {"variable null type", none,
         [](SymAttr& r) { return r.DefVarAttr(nullptr, 0, nullptr, 0, nullptr); }, DEF_NULL_ARG,
         KIND_UNDEFINED},
        {"variable of a keyword", none,
         [&](SymAttr& r) { return r.DefVarAttr(nullptr, 0, &kw, 0, nullptr); }, DEF_WRONG_KIND,
         KIND_UNDEFINED},
        {"variable on a data type", asType,
         [&](SymAttr& r) { return r.DefVarAttr(nullptr, 0, INT, 0, nullptr); }, DEF_WRONG_KIND,
         KIND_DTYPE},
        {"variable updated", asVariable,
         [&](SymAttr& r) { return r.DefVarAttr(nullptr, 8, INT, 1, nullptr); }, DEF_OK,
         KIND_VARIABLE},
        {"component of a keyword", none, [&](SymAttr& r) { return r.DefStructComp(&kw); },
         DEF_WRONG_KIND, KIND_UNDEFINED},
        {"component null", none, [](SymAttr& r) { return r.DefStructComp(nullptr); },
         DEF_NULL_ARG, KIND_UNDEFINED},
        {"enum value behind a keyword", none, [&](SymAttr& r) { return r.DefEnumVal(0, &kw); },
         DEF_WRONG_KIND, KIND_UNDEFINED},
        {"enum type from null", none, [](SymAttr& r) { return r.DefEnumType(nullptr, nullptr); },
         DEF_NULL_ARG, KIND_UNDEFINED},
        {"enum type from a keyword", none, [&](SymAttr& r) { return r.DefEnumType(&kw, nullptr); },
         DEF_WRONG_KIND, KIND_UNDEFINED},
        {"struct from null", none, [](SymAttr& r) { return r.DefStructType(nullptr, nullptr); },
         DEF_NULL_ARG, KIND_UNDEFINED},
        {"struct from a type", none, [&](SymAttr& r) { return r.DefStructType(INT, nullptr); },
         DEF_WRONG_KIND, KIND_UNDEFINED},
        {"subrange null range", none,
         [&](SymAttr& r) { return r.DefSubrangeType(nullptr, INT); }, DEF_NULL_ARG,
         KIND_UNDEFINED},
        {"array null dims", none, [&](SymAttr& r) { return r.DefArrayType(nullptr, INT); },
         DEF_NULL_ARG, KIND_UNDEFINED},
        {"instance null unit", none,
         [](SymAttr& r) { return r.DefFBInstance(nullptr, 0, nullptr, nullptr); }, DEF_NULL_ARG,
         KIND_UNDEFINED},
        {"instance of a type", none,
         [&](SymAttr& r) { return r.DefFBInstance(nullptr, 0, INT, nullptr); }, DEF_WRONG_KIND,
         KIND_UNDEFINED},
        {"instance of FB from a variable", asVariable,
         [&](SymAttr& r) { return r.DefFBInstance(nullptr, 0x40, &fb, nullptr); }, DEF_OK,
         KIND_FB_INSTANCE},
        {"instance on a data type", asType,
         [&](SymAttr& r) { return r.DefFBInstance(nullptr, 0, &fb, nullptr); }, DEF_DEFINED,
         KIND_DTYPE},
        {"unit on a data type", asType,
         [](SymAttr& r) { return r.DefPOU(1, nullptr, nullptr, nullptr, nullptr, 0); },
         DEF_DEFINED, KIND_DTYPE},
        {"label list on a variable", asVariable,
         [](SymAttr& r) { return r.DefLabelList(nullptr); }, DEF_DEFINED, KIND_VARIABLE},
        {"derived from null", none,
         [](SymAttr& r) {
             SymAttr* b = nullptr;
             return r.DefDerivedType(b);
         },
         DEF_NULL_ARG, KIND_UNDEFINED},
        {"derived from a keyword", none,
         [&](SymAttr& r) {
             SymAttr* b = &kw;
             return r.DefDerivedType(b);
         },
         DEF_WRONG_KIND, KIND_UNDEFINED},
        {"derived on a variable", asVariable,
         [&](SymAttr& r) {
             SymAttr* b = INT;
             return r.DefDerivedType(b);
         },
         DEF_DEFINED, KIND_VARIABLE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SymAttr r("r");
        c.setup(r);
        EXPECT_EQ(c.def(r), c.rc);
        EXPECT_EQ(r.GetKind(), c.kindAfter);
    }
}

TEST(SymAttrRecord, ArrayDefinitionRefusals) {
    TypeArena a;
    SymAttr* INT = a.Elem(-11);
    SymAttr kw("KW");
    kw.DefKeyword(0, 1, nullptr);
    Subrange dims(1, 3);
    SymAttr r1("r1");
    EXPECT_EQ(r1.DefArrayType(&dims, nullptr), DEF_NULL_ARG);
    EXPECT_EQ(r1.DefArrayType(&dims, &kw), DEF_WRONG_KIND);
    SymAttr r2("r2");
    r2.DefElemType(-2, 1, "0", true, false, false);
    EXPECT_EQ(r2.DefArrayType(&dims, INT), DEF_WRONG_KIND); // record already defined
    EXPECT_EQ(r1.GetKind(), KIND_UNDEFINED);
    EXPECT_EQ(dims.GetNext(), nullptr); // the caller's list was not touched
}

TEST(SymAttrRecord, EnumAndStructWithoutScopeTableAreDefinedWith1001) {
    TypeArena a;
    SymAttr* v = a.Named("x");
    v->DefEnumVal(0, nullptr);
    SymAttr* e = a.Named("E");
    EXPECT_EQ(e->DefEnumType(v, nullptr), DEF_NULL_ARG);
    EXPECT_TRUE(e->IsEnum());
    EXPECT_EQ(e->GetMemsize(0), 2u);
    SymAttr* c = a.Named("c");
    c->DefStructComp(a.Elem(-11));
    SymAttr* s = a.Named("S");
    EXPECT_EQ(s->DefStructType(c, nullptr), DEF_NULL_ARG);
    EXPECT_TRUE(s->IsStruct());
    EXPECT_EQ(s->GetMemsize(0), 2u);
    EXPECT_EQ(s->GetScopeTab(), nullptr);
}

TEST(SymAttrRecord, LiteralConstantsCarryIdIntoTheirDescriptor) {
    TiMemSpec ms;
    ms.size = 2;
    ms.offset = 40;
    SymAttr lit(&ms);
    EXPECT_EQ(lit.GetKind(), KIND_CONSTANT);
    EXPECT_EQ(lit.DefID(-11), DEF_OK);
    EXPECT_EQ(lit.GetID(), -11);
    ASSERT_NE(lit.GetMemSpec(), nullptr);
    EXPECT_EQ(lit.GetMemSpec()->id, -11);
    EXPECT_EQ(lit.GetMemSpec()->offset, 40);
    // A record of another kind keeps its id to itself.
    SymAttr var("v");
    var.DefID(-12);
    EXPECT_EQ(var.GetMemSpec(), nullptr);

    IEC_CONSTANT str;
    ASSERT_EQ(str.SetString("hello"), 0);
    char* text = str.value.str;
    ASSERT_EQ(lit.DefConstant(str), DEF_OK);
    ASSERT_NE(lit.GetConstant(), nullptr);
    EXPECT_EQ(lit.GetConstant()->value.str, text); // the text changed owner
    EXPECT_NE(str.value.str, text);
    lit.IncUseCount();
    lit.IncUseCount();
    EXPECT_EQ(lit.GetUseCount(), 2u);
    SymAttr t("t");
    t.DefElemType(-1, 1, "FALSE", true, false, false);
    IEC_CONSTANT c(5);
    EXPECT_EQ(t.DefConstant(c), DEF_DEFINED);
    EXPECT_EQ(t.GetConstant(), nullptr);
}

TEST(SymAttrRecord, ListsLinkUnlinkAndSurviveDestruction) {
    TypeArena a;
    SymAttr* INT = a.Elem(-11);
    SymAttr* v1 = a.Named("a");
    SymAttr* v2 = a.Named("b");
    SymAttr* v3 = a.Named("c");
    for (SymAttr* v : {v1, v2, v3}) {
        v->DefVarAttr(nullptr, 0x40, INT, 0, nullptr);
    }
    EXPECT_EQ(v2->LinkAfter(v1), DEF_OK);
    EXPECT_EQ(v3->LinkAfter(v2), DEF_OK);
    EXPECT_EQ(v1->GetNext(), v2);
    EXPECT_EQ(v3->GetPrev(), v2);
    v2->Unlink();
    EXPECT_EQ(v1->GetNext(), v3);
    EXPECT_EQ(v3->GetPrev(), v1);
    EXPECT_EQ(INT->LinkAfter(v1), DEF_WRONG_KIND);
    {
        SymAttr tmp("tmp");
        tmp.DefVarAttr(nullptr, 0x40, INT, 0, nullptr);
        tmp.LinkAfter(v1);
        EXPECT_EQ(v1->GetNext(), &tmp);
    }
    // The destroyed record took itself out of the list.
    EXPECT_EQ(v1->GetNext(), v3);
    EXPECT_EQ(v3->GetPrev(), v1);
    // An instance made from a variable keeps its place.
    SymAttr fb("FB");
    fb.DefPOU(2, nullptr, nullptr, nullptr, nullptr, 0);
    ASSERT_EQ(v3->DefFBInstance(nullptr, 0x40, &fb, nullptr), DEF_OK);
    EXPECT_EQ(v1->GetNext(), v3);
    EXPECT_EQ(v3->GetPrev(), v1);
}

TEST(StructQueries, CompEntryAndScopeTabThroughAliases) {
    TypeArena a;
    SymAttr* INT = a.Elem(-11);
    SymAttr* s = a.Struct("S", {{"a", INT}, {"b", a.Elem(-1)}});
    SymAttr* first = s->GetStructCompEntry();
    ASSERT_NE(first, nullptr);
    ASSERT_STREQ(first->GetName(), "a");
    SymAttr* s2 = a.Named("S2");
    SymAttr* base = s;
    ASSERT_EQ(s2->DefDerivedType(base), DEF_OK);
    SymAttr* s3 = a.Named("S3");
    base = s2;
    ASSERT_EQ(s3->DefDerivedType(base), DEF_OK);
    SymAttr* var = a.Named("v");
    var->DefVarAttr(nullptr, 0x40, s3, 0, nullptr);
    SymAttr* arr = a.Array1("S[1..2]", 1, 2, s);
    SymAttr* e = a.Enum("E", {"x"});
    SymAttr* e2 = a.Named("E2");
    base = e;
    ASSERT_EQ(e2->DefDerivedType(base), DEF_OK);

    struct Case {
        const char* name;
        SymAttr* rec;
        bool isStruct;
        SymAttr* compEntry;
        SymTab* scope;
    };
    const Case cases[] = {
        {"structure", s, true, first, a.FakeTab()},
        {"alias of structure", s2, true, first, a.FakeTab()},
        {"alias of alias", s3, true, first, a.FakeTab()},
        {"variable of alias of alias", var, true, first, a.FakeTab()},
        {"component", first->GetNext(), false, first, nullptr},
        {"array of structures", arr, false, nullptr, nullptr},
        {"elementary", INT, false, nullptr, nullptr},
        {"alias of enumeration", e2, false, nullptr, a.FakeTab()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.rec->IsStruct(), c.isStruct);
        EXPECT_EQ(c.rec->GetStructCompEntry(), c.compEntry);
        EXPECT_EQ(c.rec->GetScopeTab(), c.scope);
    }
    EXPECT_TRUE(arr->IsArray());
    EXPECT_EQ(s2->GetMemsize(0), 3u);
    EXPECT_EQ(s3->IsDerivedFrom(), s2);
    EXPECT_EQ(s3->GetElemType(0), s); // aliases resolve to the defining type
    EXPECT_EQ(e2->GetEnumCompEntry(), e->GetEnumCompEntry());
}

TEST(DerivedTypes, AliasesTakeOverAndRedefinitions) {
    TypeArena a;
    SymAttr* INT = a.Elem(-11);
    SymAttr* DINT = a.Elem(-12);

    // TYPE t1 : INT
    SymAttr* t1 = a.Named("t1");
    SymAttr* b = INT;
    ASSERT_EQ(t1->DefDerivedType(b), DEF_OK);
    EXPECT_EQ(b, INT);
    EXPECT_EQ(t1->GetTypeClass(), CLASS_ELEMENTARY);
    EXPECT_EQ(t1->GetMemsize(0), 2u);
    EXPECT_EQ(t1->GetElemType(0), INT);
    EXPECT_EQ(t1->GetElemTypeID(0), -11);
    EXPECT_EQ(t1->IsDerivedFrom(), INT);
    EXPECT_TRUE(t1->IsEquivalentType(INT, 0, 0, false));
    EXPECT_TRUE(INT->IsEquivalentType(t1, 0, 0, false));
    EXPECT_FALSE(t1->IsVisibleDType()); // the declaration context marks it

    // Redefinition TYPE t1 : DINT -> 1002 and the new description.
    b = DINT;
    EXPECT_EQ(t1->DefDerivedType(b), DEF_DEFINED);
    EXPECT_EQ(t1->GetMemsize(0), 4u);
    EXPECT_EQ(t1->GetElemTypeID(0), -12);

    // Cycles are refused: t : t, and t1 : t2 where t2 : t1.
    b = t1;
    EXPECT_EQ(t1->DefDerivedType(b), DEF_WRONG_KIND);
    SymAttr* t2 = a.Named("t2");
    b = t1;
    ASSERT_EQ(t2->DefDerivedType(b), DEF_OK);
    b = t2;
    EXPECT_EQ(t1->DefDerivedType(b), DEF_WRONG_KIND);
    EXPECT_EQ(t1->IsDerivedFrom(), DINT); // unchanged

    // An anonymous subrange is taken over and destroyed.
    SymAttr* anon = new SymAttr(static_cast<const char*>(nullptr));
    ASSERT_EQ(anon->DefSubrangeType(new Subrange(-5, 5), INT), DEF_OK);
    SymAttr* r = a.Named("R");
    b = anon;
    ASSERT_EQ(r->DefDerivedType(b), DEF_OK);
    EXPECT_EQ(b, nullptr);
    EXPECT_TRUE(r->IsSubrange());
    ASSERT_NE(r->GetSubr(), nullptr);
    EXPECT_EQ(r->GetSubr()->GetLR(), -5);
    EXPECT_EQ(r->GetSubr()->GetUR(), 5);
    EXPECT_EQ(r->GetMemsize(0), 2u);
    EXPECT_EQ(r->IsDerivedFrom(), INT);

    // A named subrange gives an alias with its own copy of the range.
    SymAttr* r2 = a.Named("R2");
    b = r;
    ASSERT_EQ(r2->DefDerivedType(b), DEF_OK);
    EXPECT_EQ(b, r);
    ASSERT_NE(r2->GetSubr(), nullptr);
    EXPECT_NE(r2->GetSubr(), r->GetSubr());
    EXPECT_EQ(r2->GetSubr()->GetUR(), 5);
    EXPECT_EQ(r2->GetElemType(0), r);

    // An anonymous enumeration: its values now belong to the new type.
    SymAttr* v1 = a.Named("on");
    v1->DefEnumVal(0, nullptr);
    SymAttr* v2 = a.Named("off");
    v2->DefEnumVal(1, v1);
    SymAttr* anonEnum = new SymAttr(static_cast<const char*>(nullptr));
    anonEnum->DefEnumType(v2, a.FakeTab());
    SymAttr* sw = a.Named("SW");
    b = anonEnum;
    ASSERT_EQ(sw->DefDerivedType(b), DEF_OK);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(v1->GetTypeSpec(0), sw);
    EXPECT_EQ(v2->GetTypeSpec(0), sw);
    EXPECT_EQ(sw->GetEnumCompEntry(), v1);
    EXPECT_EQ(sw->GetScopeTab(), a.FakeTab());

    // A named array: the whole description, with a copy of the dimensions.
    SymAttr* arr = a.Array1("A3", 1, 3, INT);
    SymAttr* arr2 = a.Named("A3b");
    b = arr;
    ASSERT_EQ(arr2->DefDerivedType(b), DEF_OK);
    EXPECT_TRUE(arr2->IsArray());
    EXPECT_EQ(arr2->GetMemsize(0), 6u);
    EXPECT_EQ(arr2->GetDType(1), INT);
    EXPECT_NE(arr2->GetArraySubr(0), arr->GetArraySubr(0));
    EXPECT_EQ(arr2->GetArrayAddSize(), -2);
    EXPECT_TRUE(arr2->IsEquivalentType(arr, 0, 0, false));
}

TEST(TypeEquivalence, Table) {
    TypeArena a;
    SymAttr* INT = a.Elem(-11);
    SymAttr* DINT = a.Elem(-12);
    SymAttr* BOOL = a.Elem(-1);
    SymAttr* otherInt = a.Named("INT"); // a second record with INT's id
    otherInt->DefElemType(-11, 2, "0", true, false, false);
    SymAttr* e1 = a.Enum("E1", {"a", "b"});
    SymAttr* e2 = a.Enum("E2", {"a", "b"});
    SymAttr* sAB = a.Struct("SAB", {{"a", INT}, {"b", BOOL}});
    SymAttr* sAB2 = a.Struct("SAB2", {{"A", INT}, {"B", BOOL}});
    SymAttr* sXY = a.Struct("SXY", {{"x", INT}, {"y", BOOL}});
    SymAttr* sShort = a.Struct("SS", {{"a", INT}});
    SymAttr* sNested1 = a.Struct("N1", {{"s", sAB}});
    SymAttr* sNested2 = a.Struct("N2", {{"s", sXY}});
    SymAttr* arr13 = a.Array1("A13", 1, 3, INT);
    SymAttr* arr13b = a.Array1("A13b", 1, 3, INT);
    SymAttr* arr03 = a.Array1("A03", 0, 3, INT);
    SymAttr* arr13d = a.Array1("A13d", 1, 3, DINT);
    SymAttr* chainA = a.ArrayChain({{0, 1}, {1, 2}}, DINT);
    SymAttr* chainB = a.ArrayChain({{0, 1}, {1, 2}}, DINT);
    SymAttr* direct = a.Anonymous();
    {
        Subrange* f = new Subrange(0, 1);
        Subrange tmp(1, 2);
        new Subrange(&tmp, f);
        direct->DefArrayType(f, DINT);
    }
    SymAttr* direct2 = a.Anonymous();
    {
        Subrange* f = new Subrange(0, 1);
        Subrange tmp(1, 2);
        new Subrange(&tmp, f);
        direct2->DefArrayType(f, DINT);
    }
    SymAttr* sub1 = a.Named("R1");
    sub1->DefSubrangeType(new Subrange(0, 9), INT);
    SymAttr* sub2 = a.Named("R2");
    sub2->DefSubrangeType(new Subrange(0, 9), INT);
    SymAttr* sub3 = a.Named("R3");
    sub3->DefSubrangeType(new Subrange(0, 8), INT);
    SymAttr* user1 = a.Named("U1"); // a user type of class 0 without elementary id
    user1->DefElemType(0, 2, nullptr, true, false, false);
    SymAttr* user2 = a.Named("U2");
    user2->DefElemType(0, 2, nullptr, true, false, false);

    struct Case {
        const char* name;
        SymAttr* x;
        SymAttr* y;
        unsigned short dx, dy;
        bool ignoreNames;
        bool expected;
    };
    const Case cases[] = {
        {"null other", INT, nullptr, 0, 0, false, false},
        {"same record", INT, INT, 0, 0, false, true},
        {"two records with one elementary id", INT, otherInt, 0, 0, false, true},
        {"INT vs DINT", INT, DINT, 0, 0, false, false},
        {"enum with itself", e1, e1, 0, 0, false, true},
        {"enums with the same values", e1, e2, 0, 0, false, false},
        {"structs, same names", sAB, sAB2, 0, 0, false, true}, // names compare ignoring case
        {"structs, other names", sAB, sXY, 0, 0, false, false},
        {"structs, other names, ignored", sAB, sXY, 0, 0, true, true},
        {"structs of different length", sAB, sShort, 0, 0, true, false},
        {"nested names compared at depth", sNested1, sNested2, 0, 0, true, false},
        {"struct vs INT", sAB, INT, 0, 0, true, false},
        {"arrays, same bounds", arr13, arr13b, 0, 0, false, true},
        {"arrays, other bounds", arr13, arr03, 0, 0, false, false},
        {"arrays, other element", arr13, arr13d, 0, 0, false, false},
        {"array vs its element", arr13, INT, 0, 0, false, false},
        {"array stripped vs element", arr13, INT, 1, 0, false, true},
        {"chains", chainA, chainB, 0, 0, false, true},
        {"chain vs direct", chainA, direct, 0, 0, false, true},
        {"direct vs direct", direct, direct2, 0, 0, false, true},
        {"chain stripped once", chainA, chainB, 1, 1, false, true},
        {"subranges equal", sub1, sub2, 0, 0, false, true},
        {"subranges differ", sub1, sub3, 0, 0, false, false},
        {"subrange vs base", sub1, INT, 0, 0, false, false},
        {"two user types", user1, user2, 0, 0, false, false},
        {"user type vs INT", user1, INT, 0, 0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.x->IsEquivalentType(c.y, c.dx, c.dy, c.ignoreNames), c.expected);
    }
}

TEST(TypeEquivalence, SelfContainingStructuresEndAtTheDepthLimit) {
    // t and u are first INT aliases; S gets a component of type t and SU one
    // of type u; then t is redefined as S and u as SU. Each structure now
    // contains itself, and comparing S with SU would never end without the
    // depth limit, at which the answer is false.
    TypeArena a;
    SymAttr* INT = a.Elem(-11);
    SymAttr* t = a.Named("t");
    SymAttr* u = a.Named("u");
    SymAttr* b = INT;
    ASSERT_EQ(t->DefDerivedType(b), DEF_OK);
    b = INT;
    ASSERT_EQ(u->DefDerivedType(b), DEF_OK);
    SymAttr* s = a.Struct("S", {{"x", t}});
    SymAttr* su = a.Struct("SU", {{"x", u}});
    b = s;
    ASSERT_EQ(t->DefDerivedType(b), DEF_DEFINED);
    b = su;
    ASSERT_EQ(u->DefDerivedType(b), DEF_DEFINED);
    EXPECT_EQ(s->GetMemsize(0), 2u); // sized when t was still an INT
    EXPECT_FALSE(s->IsEquivalentType(su, 0, 0, false));
    EXPECT_TRUE(s->IsEquivalentType(t, 0, 0, false)); // the alias resolves to S itself
}

TEST(GenericTypes, IsAnyDTypeLooksAtTheElementAfterAllDimensions) {
    TypeArena a;
    SymAttr* ANY = a.Elem(-25);
    SymAttr* ANYINT = a.Elem(-28);
    SymAttr* INT = a.Elem(-11);
    SymAttr* alias = a.Named("MyAny");
    SymAttr* b = ANY;
    alias->DefDerivedType(b);
    SymAttr* arr = a.ArrayChain({{1, 2}, {1, 2}}, ANYINT);
    SymAttr* arrInt = a.Array1("I2", 1, 2, INT);
    struct Case {
        const char* name;
        SymAttr* rec;
        bool any;
    };
    const Case cases[] = {
        {"ANY", ANY, true},           {"alias of ANY", alias, true}, {"array of ANY_INT", arr, true},
        {"INT", INT, false},          {"array of INT", arrInt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.rec->IsAnyDType(), c.any);
    }
}

} // namespace
