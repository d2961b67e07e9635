// Access paths through the compiler facade: morval::ParseVar against the
// declarations of earlier compilations, with the messages collected and
// handed over, the facade's spelling rules, and its refusal while unusable.
#include "tests/compiler/PathTestSupport.h"

#include "compiler/SymAttr.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* kDecls = R"(
TYPE MOTOR : STRUCT RUN : BOOL; SPEED : REAL; END_STRUCT; END_TYPE
VAR M1 : MOTOR; TAB : ARRAY[0..9] OF MOTOR; END_VAR
)";

std::vector<int> Numbers(const ErrDesc* list) {
    std::vector<int> out;
    for (const ErrDesc* d = list; d != nullptr; d = d->next) {
        const char* hash = std::strchr(d->text, '#');
        out.push_back(hash != nullptr ? -std::atoi(hash + 1) : 0);
    }
    return out;
}

struct Case {
    const char* name;
    bool lowerCaseOption; // the facade's langFlags allow lower case
    const char* path;
    short rc;
    bool havePath;
    unsigned long offset;
    std::vector<int> messages;
};

TEST(ParseVar, AgainstTheFacadesDeclarations) {
    const Case cases[] = {
        {"component", false, "M1.SPEED", 0, true, 1, {}},
        {"indexed component", false, "TAB[9].SPEED", 0, true, 9 * 5 + 1, {}},
        {"clamped", false, "TAB[10].RUN", 1, true, 9 * 5, {-3479}},
        {"undeclared", false, "M2.RUN", 1, false, 0, {-3575}},
        {"empty", false, "", 1, false, 0, {-3511}},
        {"lower case refused by default", false, "m1.speed", 1, false, 0, {-3553}},
        {"lower case with the facade's option", true, "m1.speed", 0, true, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TiCompOptions o(true);
        if (c.lowerCaseOption) {
            o.langFlags |= TiCompOptions::LowerCaseKeywords;
        }
        morval facade(nullptr, nullptr, &o);
        facade.GetErrMess()->SetTextLoader(decltest::Texts);
        testing::internal::CaptureStdout();
        short parsed = facade.Parse(kDecls, "decl", nullptr, nullptr, nullptr, nullptr);
        short declErrors = facade.GetNoOfErrors();
        TiVariable* v = nullptr;
        ErrDesc* errors = nullptr;
        short rc = facade.ParseVar(c.path, &v, &errors, false);
        std::string out = testing::internal::GetCapturedStdout();
        ASSERT_EQ(parsed, 0);
        ASSERT_EQ(declErrors, 0) << out;
        std::unique_ptr<TiVariable> own(v);
        EXPECT_NE(out.find(std::string("morval::ParseVar ") + c.path), std::string::npos);
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(v != nullptr, c.havePath);
        std::vector<int> got = Numbers(errors);
        ErrDesc::DeleteList(errors);
        // The first message decides; a lower-case path may bring more.
        ASSERT_GE(got.size(), c.messages.size());
        got.resize(c.messages.size());
        EXPECT_EQ(got, c.messages);
        EXPECT_FALSE(facade.GetErrMess()->IsCollecting());
        if (v != nullptr) {
            unsigned long off = 0;
            EXPECT_EQ(v->GetCompOffset(&off), 0);
            EXPECT_EQ(off, c.offset);
        }
    }
}

TEST(ParseVar, WithoutOutputsAndWithNullText) {
    TiCompOptions o(true);
    morval facade(nullptr, nullptr, &o);
    facade.GetErrMess()->SetTextLoader(decltest::Texts);
    testing::internal::CaptureStdout();
    EXPECT_EQ(facade.Parse(kDecls, "decl", nullptr, nullptr, nullptr, nullptr), 0);
    // No place for the path: it is read and dropped.
    EXPECT_EQ(facade.ParseVar("M1.RUN", nullptr, nullptr, false), 0);
    TiVariable* v = reinterpret_cast<TiVariable*>(&facade);
    EXPECT_EQ(facade.ParseVar(nullptr, &v, nullptr, false), -2);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(v, nullptr);
    // The messages of one ParseVar are not carried into the next.
    testing::internal::CaptureStdout();
    EXPECT_EQ(facade.ParseVar("M9", nullptr, nullptr, false), 1);
    EXPECT_EQ(facade.GetNoOfErrors(), 1);
    EXPECT_EQ(facade.ParseVar("M1", nullptr, nullptr, false), 0);
    EXPECT_EQ(facade.GetNoOfErrors(), 0);
    testing::internal::GetCapturedStdout();
}

} // namespace
