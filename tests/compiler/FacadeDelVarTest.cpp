// Tests of deleting variables through the facade: DelVar's result codes and
// what it removes, the unit's variable lists afterwards, instances and their
// tables, and DelVars over the current unit.
#include "tests/compiler/ParseTestSupport.h"

#include "compiler/TiInitValSpec.h"

#include <gtest/gtest.h>

#include <string>

using parsetest::NewFacade;

namespace {

const char* kUnit = "FUNCTION_BLOCK INNER VAR_INPUT X : INT; END_VAR END_FUNCTION_BLOCK\n"
                    "PROGRAM P\n"
                    "VAR_INPUT I1 : INT; I2 : INT; END_VAR\n"
                    "VAR_OUTPUT O1 : BOOL; END_VAR\n"
                    "VAR_IN_OUT IO1 : DINT; END_VAR\n"
                    "VAR V1 : INT := 5; V2 : INT; FB : INNER; END_VAR\n"
                    "VAR_EXTERNAL E1 : INT; END_VAR\n"
                    "L1: LD I1 ST V2\n"
                    "END_PROGRAM\n";

std::unique_ptr<morval> Compiled() {
    auto m = NewFacade();
    m->Parse(kUnit, "x", nullptr, nullptr, nullptr, nullptr);
    return m;
}

std::vector<std::string> Names(SymAttr* first) {
    std::vector<std::string> out;
    for (SymAttr* v = first; v != nullptr; v = v->GetNext()) {
        out.emplace_back(v->GetName());
    }
    return out;
}

} // namespace

TEST(FacadeDelVar, ResultCodes) {
    struct Case {
        const char* name;
        short result;
        bool goneAfter;
    };
    const Case cases[] = {
        {"NOT_THERE", morvalcode::DV_NOT_FOUND, false},
        {"", morvalcode::DV_NOT_FOUND, false},
        {"V1", 0, true},
        {"v2", 0, true}, // names compare without regard to case
        {"I1", 0, true},
        {"O1", 0, true},
        {"IO1", 0, true},
        {"FB", 0, true},
        {"E1", morvalcode::DV_NOT_DELETABLE, false},
        {"L1", morvalcode::DV_NOT_DELETABLE, false},
        {"P", morvalcode::DV_NOT_FOUND, false}, // the scope table's owner record
    };
    testing::internal::CaptureStdout();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto m = Compiled();
        ASSERT_EQ(m->GetNoOfErrors(), 1); // VAR_EXTERNAL is not supported
        SymTab* p = m->st_set->GetLocalTab("P");
        ASSERT_NE(p, nullptr);
        SymAttr* before = p->lookup(c.name);
        EXPECT_EQ(m->DelVar(c.name), c.result);
        SymAttr* after = p->lookup(c.name);
        if (c.goneAfter) {
            EXPECT_EQ(after, nullptr);
        } else {
            EXPECT_EQ(after, before);
        }
    }
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("morval::DelVar V1\n"), std::string::npos);
    EXPECT_NE(out.find("morval::DelVar NOT_THERE\n"), std::string::npos);
}

TEST(FacadeDelVar, NoUnitOrNoTable) {
    testing::internal::CaptureStdout();
    {
        // Only types: the current unit is the adapter's initial "p", which
        // has no scope table.
        auto m = NewFacade();
        m->Parse("TYPE T : INT; END_TYPE", "x", nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(m->DelVar("T"), morvalcode::DV_NO_TABLE);
        EXPECT_EQ(m->DelVars(), morvalcode::DV_NO_TABLE);
        EXPECT_NE(m->st_set->GetGlobalTab()->lookup("T"), nullptr);
    }
    {
        auto m = Compiled();
        m->db_if->SetUnit("", 4);
        EXPECT_EQ(m->DelVar("V1"), morvalcode::DV_NO_UNIT);
        EXPECT_EQ(m->DelVars(), morvalcode::DV_NO_UNIT);
        m->status = morvalcode::ST_NO_SET;
        EXPECT_EQ(m->DelVar("V1"), morvalcode::ST_NO_SET);
        m->status = 0;
    }
    testing::internal::GetCapturedStdout();
}

TEST(FacadeDelVar, UnitListsStaySound) {
    testing::internal::CaptureStdout();
    auto m = Compiled();
    SymAttr* unit = m->st_set->GetGlobalTab()->lookup("P");
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(Names(unit->GetIO_VarEntry()),
              (std::vector<std::string>{"I1", "I2", "O1", "IO1"}));
    EXPECT_EQ(Names(unit->GetOtherVarEntry()), (std::vector<std::string>{"V1", "V2", "FB", "E1"}));
    // The heads of both lists go.
    EXPECT_EQ(m->DelVar("I1"), 0);
    EXPECT_EQ(m->DelVar("V1"), 0);
    EXPECT_EQ(m->DelVar("O1"), 0);
    EXPECT_EQ(Names(unit->GetIO_VarEntry()), (std::vector<std::string>{"I2", "IO1"}));
    EXPECT_EQ(Names(unit->GetOtherVarEntry()), (std::vector<std::string>{"V2", "FB", "E1"}));
    testing::internal::GetCapturedStdout();
}

TEST(FacadeDelVar, DelVarsDeletesTheDeletableSections) {
    testing::internal::CaptureStdout();
    auto m = Compiled();
    SymTab* p = m->st_set->GetLocalTab("P");
    ASSERT_NE(p, nullptr);
    EXPECT_GT(m->library->GetInitValCount(), 0u);
    EXPECT_EQ(m->DelVars(), 0);
    for (const char* gone : {"I1", "I2", "O1", "IO1", "V1", "V2", "FB"}) {
        SCOPED_TRACE(gone);
        EXPECT_EQ(p->lookup(gone), nullptr);
    }
    ASSERT_NE(p->lookup("E1"), nullptr);
    EXPECT_EQ(p->lookup("E1")->GetKind(), sym::KIND_VARIABLE);
    EXPECT_EQ(m->library->GetInitValCount(), 0u);
    SymAttr* unit = m->st_set->GetGlobalTab()->lookup("P");
    EXPECT_EQ(unit->GetIO_VarEntry(), nullptr);
    EXPECT_EQ(Names(unit->GetOtherVarEntry()), (std::vector<std::string>{"E1"}));
    // Nothing left to delete.
    EXPECT_EQ(m->DelVars(), 0);
    std::string out = testing::internal::GetCapturedStdout();
    for (const char* gone : {"I1", "I2", "O1", "IO1", "V1", "V2", "FB"}) {
        EXPECT_NE(out.find(std::string("morval::DelVars ") + gone + "\n"), std::string::npos)
            << gone;
    }
    EXPECT_EQ(out.find("morval::DelVars E1\n"), std::string::npos);
}
