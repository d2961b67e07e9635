// The table set: system tables built from the keyword list, data types by
// id, unit scopes, the scope stack, the table list, resets in both modes
// and allocation failures during construction and reset.
#include "compiler/SymTabSet.h"
#include "tests/compiler/AllocFailure.h"
#include "tests/compiler/TestSink.h"

#include "base/TiKeywordIF.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace symtabset;

int Count(SymTab* t) {
    int n = 0;
    for (SymAttr* r = t->FindFirstEntry(); r != nullptr; r = t->FindNextEntry(r)) {
        ++n;
    }
    return n;
}

TEST(SymTabSet, BuildsTheSystemTablesFromTheKeywordList) {
    SymTabSet set(151, nullptr, nullptr);
    ASSERT_EQ(set.GetStatus(), 0);
    ASSERT_NE(set.GetKeywordTab(), nullptr);
    ASSERT_NE(set.GetElemTab(), nullptr);
    ASSERT_NE(set.GetGlobalTab(), nullptr);
    EXPECT_EQ(Count(set.GetKeywordTab()), kIEC_KeywordCount);
    EXPECT_EQ(Count(set.GetElemTab()), 32); // TOD and DT name types twice
    EXPECT_EQ(Count(set.GetGlobalTab()), 0);
    EXPECT_EQ(set.GetKeywordTab()->GetKind(), KIND_KEYWORDS);
    EXPECT_EQ(set.GetElemTab()->GetKind(), KIND_ELEMENTARY);
    EXPECT_EQ(set.GetGlobalTab()->GetKind(), KIND_GLOBAL);
    EXPECT_EQ(set.GetGlobalTab()->GetSize(), 151);
    EXPECT_EQ(set.GetGlobalTab()->GetIndexFlags(), 0x21);
    EXPECT_EQ(set.GetCurrent(), set.GetGlobalTab());
    EXPECT_EQ(set.GetUnitTab(), set.GetGlobalTab());
    EXPECT_EQ(set.GetScopeDepth(), 1);

    // Every keyword: token number, type id and its type record.
    for (const KeywordDesc* kw = TiGetIEC_KeywordList(); kw->name != nullptr; ++kw) {
        SCOPED_TRACE(kw->name);
        SymAttr* k = set.GetKeywordTab()->lookup(kw->name);
        ASSERT_NE(k, nullptr);
        EXPECT_EQ(k->GetKind(), sym::KIND_KEYWORD);
        EXPECT_EQ(k->GetToken(), kw->token);
        EXPECT_EQ(k->GetID(), kw->typeId);
        SymAttr* t = k->GetKeywordType();
        if (kw->typeKind == 0) {
            EXPECT_EQ(t, nullptr);
            continue;
        }
        ASSERT_NE(t, nullptr);
        EXPECT_STREQ(t->GetName(), kw->name);
        EXPECT_EQ(set.GetElemTab()->lookup(kw->name), t);
        EXPECT_EQ(t->GetMemsize(0), kw->typeSize);
        EXPECT_TRUE(t->IsVisibleDType());
        EXPECT_EQ(t->IsAnyDType(), kw->typeKind == 2);
    }
}

TEST(SymTabSet, KeywordAndElementaryLookups) {
    SymTabSet set(151, nullptr, nullptr);
    struct Case {
        const char* name;
        SymTab* table;
        const char* key;
        const char* found; // name of the record found, null for none
    };
    const Case cases[] = {
        {"keyword, exact", set.GetKeywordTab(), "END_VAR", "END_VAR"},
        {"keyword, lower case", set.GetKeywordTab(), "end_var", "END_VAR"},
        {"keyword, TRUE", set.GetKeywordTab(), "True", "TRUE"},
        {"keyword, not one", set.GetKeywordTab(), "END_VARX", nullptr},
        {"elementary, exact", set.GetElemTab(), "INT", "INT"},
        {"elementary, lower case", set.GetElemTab(), "int", nullptr},
        {"elementary, TOD", set.GetElemTab(), "TOD", "TOD"},
        {"elementary, no keyword types", set.GetElemTab(), "ARRAY", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SymAttr* r = c.table->lookup(c.key);
        if (c.found == nullptr) {
            EXPECT_EQ(r, nullptr);
        } else {
            ASSERT_NE(r, nullptr);
            EXPECT_STREQ(r->GetName(), c.found);
        }
    }
    EXPECT_EQ(set.GetKeywordTab()->lookup("TRUE")->GetToken(), 373);
    EXPECT_EQ(set.GetKeywordTab()->lookup("FALSE")->GetToken(), 318);
    EXPECT_EQ(set.GetKeywordTab()->lookup("end_var")->GetToken(), 312);
}

TEST(SymTabSet, SharedElementaryIds) {
    SymTabSet set(151, nullptr, nullptr);
    SymTab* elem = set.GetElemTab();
    struct Case {
        short id;
        const char* lookupName;
        const char* dtypeName;
        const char* walkFirst; // the first of the ids' records in walk order
    };
    const Case cases[] = {
        {-11, "INT", "INT", "INT"},
        {-1, "BOOL", "BOOL", "BOOL"},
        {-22, "TIME_OF_DAY", "TIME_OF_DAY", "TIME_OF_DAY"}, // buckets 11 and 26 of 37
        {-23, "DATE_AND_TIME", "DATE_AND_TIME", "DT"},      // buckets 26 and 23 of 37
        {-100, "ANY_ELEM", "ANY_ELEM", "ANY_ELEM"},
        {-65, "ANL_OUT", "ANL_OUT", "ANL_OUT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        ASSERT_NE(elem->lookup(c.id), nullptr);
        EXPECT_STREQ(elem->lookup(c.id)->GetName(), c.lookupName);
        ASSERT_NE(set.GetDType(c.id), nullptr);
        EXPECT_STREQ(set.GetDType(c.id)->GetName(), c.dtypeName);
        const char* first = nullptr;
        for (SymAttr* r = elem->FindFirstEntry(); r != nullptr; r = elem->FindNextEntry(r)) {
            if (r->GetID() == c.id) {
                first = r->GetName();
                break;
            }
        }
        EXPECT_STREQ(first, c.walkFirst);
    }
    EXPECT_EQ(set.GetDType(-6), nullptr);
    EXPECT_EQ(set.GetDType(-99), nullptr);
}

TEST(SymTabSet, UserTypesByIdInGlobalThenUnitTable) {
    SymTabSet set(151, nullptr, nullptr);
    SymAttr* INT = set.GetDType(-11);
    SymAttr* g = set.GetGlobalTab()->insert("G", 0, nullptr);
    SymAttr* b = INT;
    ASSERT_EQ(g->DefDerivedType(b), 0);
    g->DefID(5);
    SymAttr* v = set.GetGlobalTab()->insert("v", 0, nullptr); // id 5 but no type
    v->DefID(5);
    SymTab* unit = set.NewUnitTab(KIND_UNIT, "P", 151);
    ASSERT_NE(unit, nullptr);
    SymAttr* u = unit->insert("U", 0, nullptr);
    b = INT;
    ASSERT_EQ(u->DefDerivedType(b), 0);
    u->DefID(6);
    EXPECT_EQ(set.GetDType(5), g);
    EXPECT_EQ(set.GetDType(6), u); // found in the unit table
    EXPECT_EQ(set.GetDType(7), nullptr);
    set.ResetCurrent();
    EXPECT_EQ(set.GetDType(6), nullptr); // the unit table is the global one again
}

TEST(SymTabSet, LocalTabsOfUnits) {
    SymTabSet set(151, nullptr, nullptr);
    SymTab* scope = set.NewUnitTab(KIND_UNIT, "Main", 151);
    ASSERT_NE(scope, nullptr);
    EXPECT_EQ(set.GetCurrent(), scope);
    EXPECT_EQ(set.GetUnitTab(), scope);
    EXPECT_STREQ(scope->GetOwner()->GetName(), "Main");
    SymAttr* unit = set.GetGlobalTab()->insert("Main", 0, nullptr);
    ASSERT_EQ(unit->DefPOU(4, scope, nullptr, nullptr, nullptr, 0), 0);
    SymAttr* notUnit = set.GetGlobalTab()->insert("T", 0, nullptr);
    notUnit->DefElemType(0, 2, nullptr, true, false, false);
    struct Case {
        const char* name;
        const char* unitName;
        SymTab* expected;
    };
    const Case cases[] = {
        {"null name", nullptr, nullptr},
        {"unknown name", "Other", nullptr},
        {"no unit", "T", nullptr},
        {"the unit", "Main", scope},
        {"the unit, other case", "MAIN", scope},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(set.GetLocalTab(c.unitName), c.expected);
    }
}

TEST(SymTabSet, ScopeStack) {
    SymTabSet set(151, nullptr, nullptr);
    SymTab* g = set.GetGlobalTab();
    SymTab* unit = set.NewUnitTab(KIND_UNIT, "U", 151);
    SymTab* inner = set.NewScopeTab(6, "inner");
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->GetSize(), kSmallBuckets);
    EXPECT_EQ(set.GetCurrent(), unit); // NewScopeTab does not make it current
    EXPECT_EQ(set.PushScope(nullptr), -1);
    EXPECT_EQ(set.PushScope(unit), 0);
    EXPECT_EQ(set.PushScope(inner), 0);
    EXPECT_EQ(set.GetScopeDepth(), 3);
    EXPECT_EQ(set.GetCurrent(), inner);
    EXPECT_EQ(set.GetTopTab(), inner);
    EXPECT_EQ(set.ReturnToUnit(), unit);
    set.CurrentFromTop();
    EXPECT_EQ(set.GetCurrent(), inner);
    EXPECT_EQ(set.PopScope(), unit);
    EXPECT_EQ(set.GetUnitTab(), unit);
    // Popping the unit table makes the table below both current and unit table.
    EXPECT_EQ(set.PopScope(), g);
    EXPECT_EQ(set.GetUnitTab(), g);
    // Popping the base node empties the stack.
    EXPECT_EQ(set.PopScope(), nullptr);
    EXPECT_EQ(set.GetScopeDepth(), 0);
    EXPECT_EQ(set.PopScope(), nullptr);
    EXPECT_EQ(set.PushScope(unit), -1);
    // reset restores the base node with the global table.
    EXPECT_EQ(set.reset(nullptr, 0), 0);
    EXPECT_EQ(set.GetScopeDepth(), 1);
    EXPECT_EQ(set.GetCurrent(), set.GetGlobalTab());
}

TEST(SymTabSet, DeleteTab) {
    SymTabSet set(151, nullptr, nullptr);
    SymTab* unit = set.NewUnitTab(KIND_UNIT, "U", 151);
    SymTab* lits = set.NewLiteralTab(151);
    ASSERT_NE(lits, nullptr);
    EXPECT_EQ(set.GetLiteralTab(), lits);
    EXPECT_EQ(lits->GetIndexFlags(), kLiteralFlags);
    ASSERT_EQ(set.PushScope(unit), 0);
    SymTab foreign(3, nullptr, 11, 0x01, nullptr);
    struct Case {
        const char* name;
        SymTab* table;
        short rc;
    };
    const Case cases[] = {
        {"null", nullptr, 1},
        {"not on the list", &foreign, 1},
        {"global", set.GetGlobalTab(), 2},
        {"keywords", set.GetKeywordTab(), 2},
        {"elementary", set.GetElemTab(), 2},
        {"unit table on the stack", unit, 0},
        {"unit table again", unit, 1},
        {"literal table", lits, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(set.DeleteTab(c.table), c.rc);
    }
    EXPECT_EQ(set.GetCurrent(), set.GetGlobalTab());
    EXPECT_EQ(set.GetUnitTab(), set.GetGlobalTab());
    EXPECT_EQ(set.GetLiteralTab(), nullptr);
    EXPECT_EQ(set.GetScopeDepth(), 1);
    EXPECT_FALSE(set.OwnsTab(unit));
}

// Declares, in the global table, a structure type whose components live in
// a component table of the set, a variable of that type and a unit with a
// scope table; returns the structure.
SymAttr* Declare(SymTabSet& set) {
    SymTab* comps = set.NewScopeTab(7, "S");
    SymAttr* INT = set.GetDType(-11);
    SymAttr* a = comps->insert("a", 0, nullptr);
    a->DefStructComp(INT);
    SymAttr* b = comps->insert("b", 0, nullptr);
    b->DefStructComp(set.GetDType(-1), a);
    SymAttr* s = set.GetGlobalTab()->insert("S", 0, nullptr);
    s->DefStructType(b, comps);
    SymAttr* v = set.GetGlobalTab()->insert("gv", 0, nullptr);
    v->DefVarAttr(nullptr, 0x80, s, 0, nullptr);
    SymTab* scope = set.NewUnitTab(KIND_UNIT, "P", 151);
    scope->insert("local", 0, nullptr)->DefVarAttr(nullptr, 0x40, INT, 0, nullptr);
    SymAttr* p = set.GetGlobalTab()->insert("P", 0, nullptr);
    p->DefPOU(4, scope, nullptr, nullptr, nullptr, 0);
    set.NewLiteralTab(151);
    return s;
}

TEST(SymTabSet, ResetModes) {
    struct Case {
        const char* name;
        short mode;
        bool keepsGlobal;
    };
    const Case cases[] = {{"mode 0", 0, false}, {"mode 1", 1, true}, {"mode 3 (bit 0)", 3, true},
                          {"mode 2 (bit 0 clear)", 2, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SymTabSet set(151, nullptr, nullptr);
        SymTab* oldKeywords = set.GetKeywordTab();
        SymTab* oldElem = set.GetElemTab();
        Declare(set);
        ASSERT_NE(set.GetLocalTab("P"), nullptr);
        EXPECT_EQ(set.reset(nullptr, c.mode), 0);
        EXPECT_EQ(set.GetKeywordTab(), oldKeywords); // built once, never rebuilt
        EXPECT_EQ(set.GetElemTab(), oldElem);
        EXPECT_TRUE(set.OwnsTab(oldKeywords));
        EXPECT_TRUE(set.OwnsTab(oldElem));
        EXPECT_EQ(set.GetLiteralTab(), nullptr);
        EXPECT_EQ(set.GetCurrent(), set.GetGlobalTab());
        EXPECT_EQ(set.GetUnitTab(), set.GetGlobalTab());
        EXPECT_EQ(set.GetLocalTab("P"), nullptr);
        SymAttr* s = set.GetGlobalTab()->lookup("S");
        SymAttr* v = set.GetGlobalTab()->lookup("gv");
        if (!c.keepsGlobal) {
            EXPECT_EQ(s, nullptr);
            EXPECT_EQ(v, nullptr);
            EXPECT_EQ(Count(set.GetGlobalTab()), 0);
            continue;
        }
        // Every global type and variable stays usable, components included.
        ASSERT_NE(s, nullptr);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(s->GetMemsize(0), 3u);
        ASSERT_NE(v->GetStructCompEntry(), nullptr);
        EXPECT_STREQ(v->GetStructCompEntry()->GetName(), "a");
        EXPECT_STREQ(v->GetStructCompEntry()->GetNext()->GetName(), "b");
        ASSERT_NE(s->GetScopeTab(), nullptr);
        EXPECT_TRUE(set.OwnsTab(s->GetScopeTab()));
        EXPECT_NE(s->GetScopeTab()->lookup("b"), nullptr);
        SymAttr* p = set.GetGlobalTab()->lookup("P");
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->GetScopeTab(), nullptr);
        // A second reset keeps them again.
        EXPECT_EQ(set.reset(nullptr, 1), 0);
        EXPECT_EQ(set.GetGlobalTab()->lookup("gv")->GetStructCompEntry()->GetMemsize(0), 2u);
    }
}

TEST(SymTabSet, ConstructionFailuresSetTheStatus) {
    // Fail each allocation of the construction in turn until it succeeds; the
    // status names the step and -3406 is reported for it.
    const std::vector<unsigned short> valid = {0,  ST_NO_GLOBAL,       ST_NO_LIST,
                                               ST_NO_KEYWORDS,     ST_NO_KEYWORD_NODE,
                                               ST_NO_ELEMENTARY,   ST_NO_TYPE_RECORD,
                                               ST_NO_TYPE_INDEX};
    std::vector<unsigned short> seen;
    for (long n = 0;; ++n) {
        SCOPED_TRACE(n);
        ErrMess sink;
        testsink::Prepare(sink);
        bool failed = false;
        unsigned short st = 0;
        testing::internal::CaptureStdout();
        {
            allocfail::Scope inject(n);
            SymTabSet set(151, nullptr, &sink);
            failed = allocfail::Failed();
            st = set.GetStatus();
            // A failed set stays safe to query and to reset.
            set.GetDType(-11);
            set.GetLocalTab("x");
            set.reset(nullptr, 1);
            set.reset(nullptr, 0);
        }
        testing::internal::GetCapturedStdout();
        if (!failed) {
            EXPECT_EQ(st, 0);
            break;
        }
        EXPECT_NE(std::find(valid.begin(), valid.end(), st), valid.end()) << st;
        if (st != 0) {
            seen.push_back(st);
            // A table that refuses an entry reports its own internal error
            // first; the set then reports the allocation failure.
            bool noMem = false;
            for (const std::string& line : testsink::Lines(sink)) {
                noMem = noMem || line.rfind("E: nomem symtabset ", 0) == 0;
            }
            EXPECT_TRUE(noMem);
        }
        ASSERT_LT(n, 5000);
    }
    // The early steps were all hit.
    for (unsigned short want : {ST_NO_GLOBAL, ST_NO_LIST, ST_NO_KEYWORDS, ST_NO_KEYWORD_NODE,
                                ST_NO_ELEMENTARY, ST_NO_TYPE_RECORD}) {
        EXPECT_NE(std::find(seen.begin(), seen.end(), want), seen.end()) << want;
    }
}

TEST(SymTabSet, ResetSurvivesAllocationFailures) {
    for (long n = 0;; ++n) {
        SCOPED_TRACE(n);
        SymTabSet set(151, nullptr, nullptr);
        Declare(set);
        bool failed = false;
        unsigned short st = 0;
        {
            allocfail::Scope inject(n);
            st = set.reset(nullptr, 0);
            failed = allocfail::Failed();
        }
        ASSERT_NE(set.GetGlobalTab(), nullptr);
        EXPECT_EQ(set.GetCurrent(), set.GetGlobalTab());
        if (!failed) {
            EXPECT_EQ(st, 0);
            EXPECT_EQ(set.GetGlobalTab()->lookup("S"), nullptr);
            break;
        }
        // The new global table could not be made: the old one is kept, with
        // its types still whole.
        EXPECT_EQ(st, ST_NO_GLOBAL);
        SymAttr* s = set.GetGlobalTab()->lookup("S");
        ASSERT_NE(s, nullptr);
        EXPECT_STREQ(s->GetStructCompEntry()->GetName(), "a");
        EXPECT_EQ(set.reset(nullptr, 0), 0);
        ASSERT_LT(n, 100);
    }
}

} // namespace
