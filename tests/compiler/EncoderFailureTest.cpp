// What the encoder does not encode, reported as internal errors with their
// location codes at the construct's position while the rest of the unit is
// encoded; and the facade's encoding entry points: the kept statement
// trees, trees the host takes and hands back, deleted variables, and the
// status codes of Encode and EncodeSection.
#include "tests/compiler/EncoderTestSupport.h"

#include "compiler/TiMorval.h"
#include "compiler/TiNode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using enctest::Encoded;
using Lines = std::vector<std::string>;

struct FailCase {
    const char* name;
    const char* body;
    std::vector<int> locations;
    int line;     // line of the first report (the body starts at line 15)
    size_t count; // instructions listed all the same
};

TEST(EncoderFailure, ConstructsNotEncoded) {
    const FailCase cases[] = {
        {"CASE", "CASE A OF 1: B := 1; END_CASE; B := 2;", {1401}, 15, 2},
        {"operands of two types", "A := A + D;", {1405}, 15, 1},
        {"assignment of another type", "X := A;", {1405}, 15, 1},
        {"comparison of strings", "X := STR = STR;", {1407}, 15, 1},
        {"comparison of structures", "X := P1 = P2;", {1407}, 15, 1},
        {"arithmetic on BOOL", "X := X + Y;", {1407}, 15, 1},
        {"condition that is no BOOL", "IF A THEN B := 1; END_IF;", {1407}, 15, 2},
        {"EXIT outside a loop", "EXIT; A := 1;", {1413}, 15, 2},
        {"FOR over a REAL", "FOR R := 1 TO 2 DO A := 1; END_FOR;", {1407}, 15, 2},
        {"one failure does not stop the next",
         "A := A + D;\nX := A;\nB := 1;",
         {1405, 1405},
         15,
         2},
    };
    for (const FailCase& c : cases) {
        SCOPED_TRACE(c.name);
        Encoded e(c.body);
        ASSERT_EQ(e.parseResult, 0);
        ASSERT_TRUE(e.compileMessages.empty()) << decltest::Describe(e.compileMessages);
        short rc = -1;
        int32_t count = -1;
        Lines got = e.Listing("P", &rc, &count);
        EXPECT_EQ(rc, tienc::UNIT_ERRORS);
        EXPECT_EQ(e.Locations(), c.locations) << decltest::Describe(e.messages);
        ASSERT_FALSE(e.messages.empty());
        EXPECT_EQ(e.messages[0].severity, 4098);
        EXPECT_EQ(e.messages[0].line, c.line);
        EXPECT_GT(e.messages[0].col, 0);
        EXPECT_EQ(static_cast<size_t>(count), c.count);
        ASSERT_FALSE(got.empty());
        EXPECT_NE(got.back().find("RET"), std::string::npos);
    }
}

TEST(EncoderFailure, InstructionListOutsideWhatIsEncoded) {
    // A conditional return is no statement of Structured Text.
    Encoded e("FUNCTION_BLOCK IL1 VAR X : BOOL; END_VAR\nLD X\nRETC\nEND_FUNCTION_BLOCK\n", false);
    ASSERT_EQ(e.parseResult, 0);
    short rc = -1;
    e.Listing("IL1", &rc);
    EXPECT_EQ(rc, tienc::UNIT_ERRORS);
    std::vector<int> locs = e.Locations();
    ASSERT_FALSE(locs.empty());
    for (int l : locs) {
        EXPECT_TRUE(l == tienc::LOC_STATEMENT || l == tienc::LOC_JUMP) << l;
    }
    EXPECT_NE(std::find(locs.begin(), locs.end(), tienc::LOC_JUMP), locs.end());
}

TEST(EncoderFailure, UnknownUnit) {
    Encoded e("");
    short rc = -1;
    Lines got = e.Listing("NOPE", &rc);
    EXPECT_EQ(rc, tienc::UNIT_ERRORS);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(e.Locations(), std::vector<int>{tienc::LOC_NO_BODY});
}

// ---------------------------------------------------------------- facade

std::string EncodeAll(morval& m, short* rc) {
    FILE* f = std::tmpfile();
    testing::internal::CaptureStdout();
    *rc = m.Encode(f);
    testing::internal::GetCapturedStdout();
    std::string text = enctest::ReadBack(f);
    std::fclose(f);
    return text;
}

const char* kTwoUnits = "PROGRAM ONE VAR A : INT; END_VAR A := 1; END_PROGRAM\n"
                        "PROGRAM TWO VAR B : INT; END_VAR B := 2; END_PROGRAM\n";

std::unique_ptr<morval> Facade() {
    TiCompOptions o(true);
    auto m = std::make_unique<morval>(nullptr, nullptr, &o);
    m->GetErrMess()->SetTextLoader(decltest::Texts);
    m->GetErrMess()->SetCollect(true);
    return m;
}

TEST(EncoderFacade, EncodeListsEveryUnitInOrder) {
    testing::internal::CaptureStdout();
    auto m = Facade();
    ASSERT_EQ(m->Parse(kTwoUnits, "two", nullptr, nullptr, nullptr, nullptr), 0);
    testing::internal::GetCapturedStdout();
    short rc = -1;
    std::string text = EncodeAll(*m, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(text, "\n(* PROGRAM ONE *)\n   1:\tASS \tA, 2, VAR;  \t1, 2, IMMVAL\n   2:\tRET"
                    "\n(* PROGRAM TWO *)\n   1:\tASS \tB, 2, VAR;  \t2, 2, IMMVAL\n   2:\tRET\n");
    // Without a listing file the units are encoded, but there is no output.
    testing::internal::CaptureStdout();
    EXPECT_EQ(m->Encode(nullptr), tienc::UNIT_NO_OUTPUT);
    testing::internal::GetCapturedStdout();
}

TEST(EncoderFacade, TreesTakenByTheHost) {
    testing::internal::CaptureStdout();
    auto m = Facade();
    TiNode* tree = nullptr;
    ASSERT_EQ(m->Parse(kTwoUnits, "two", nullptr, &tree, nullptr, nullptr), 0);
    testing::internal::GetCapturedStdout();
    ASSERT_NE(tree, nullptr);
    // The facade has no body for the units: reported, and 152.
    short rc = -1;
    std::string text = EncodeAll(*m, &rc);
    EXPECT_EQ(rc, tienc::UNIT_ERRORS);
    int reports = 0;
    for (const decltest::Msg& msg : decltest::Messages(*m->GetErrMess())) {
        reports += msg.number == -3555 && msg.p1 == "1415";
    }
    EXPECT_EQ(reports, 2);
    // Handed back, they are encoded.
    m->AdoptTree(tree);
    m->ResetErrors(nullptr);
    text = EncodeAll(*m, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(text.find("(* PROGRAM TWO *)"), std::string::npos);
    m->AdoptTree(nullptr); // ignored
}

TEST(EncoderFacade, RecompiledUnitDropsTheKeptBodies) {
    struct Case {
        const char* name;
        bool hostTakes; // the second compilation's tree goes to the host
        short rc;
        bool twoListed;
    };
    const Case cases[] = {
        {"kept", false, tienc::UNIT_ERRORS, true},
        {"taken by the host", true, tienc::UNIT_ERRORS, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::internal::CaptureStdout();
        auto m = Facade();
        ASSERT_EQ(m->Parse(kTwoUnits, "two", nullptr, nullptr, nullptr, nullptr), 0);
        TiNode* taken = nullptr;
        ASSERT_EQ(m->Parse("PROGRAM TWO VAR C : DINT; END_VAR C := 3; END_PROGRAM", "again",
                           nullptr, c.hostTakes ? &taken : nullptr, nullptr, nullptr),
                  0);
        testing::internal::GetCapturedStdout();
        delete taken;
        m->ResetErrors(nullptr);
        short rc = -1;
        std::string text = EncodeAll(*m, &rc);
        EXPECT_EQ(rc, c.rc);
        // ONE's body may name records of the replaced TWO: not encoded.
        EXPECT_EQ(text.find("(* PROGRAM ONE *)"), std::string::npos) << text;
        EXPECT_EQ(text.find("B, 2, VAR"), std::string::npos) << text;
        EXPECT_EQ(text.find("ASS \tC, 4, VAR;  \t3, 4, IMMVAL") != std::string::npos, c.twoListed)
            << text;
    }
}

TEST(EncoderFacade, DeletedVariablesDropTheBody) {
    testing::internal::CaptureStdout();
    auto m = Facade();
    ASSERT_EQ(m->Parse("PROGRAM ONE VAR A : INT; END_VAR A := 1; END_PROGRAM", "one", nullptr,
                       nullptr, nullptr, nullptr),
              0);
    ASSERT_EQ(m->DelVar("A"), 0);
    testing::internal::GetCapturedStdout();
    short rc = -1;
    EncodeAll(*m, &rc);
    EXPECT_EQ(rc, tienc::UNIT_ERRORS);
}

TEST(EncoderFacade, ResetDropsTheBodies) {
    testing::internal::CaptureStdout();
    auto m = Facade();
    ASSERT_EQ(m->Parse(kTwoUnits, "two", nullptr, nullptr, nullptr, nullptr), 0);
    ASSERT_NE(m->GetUnitBodies(), nullptr);
    EXPECT_EQ(m->GetUnitBodies()->GetCount(), 2u);
    m->reset(1);
    EXPECT_EQ(m->GetUnitBodies()->GetCount(), 0u);
    testing::internal::GetCapturedStdout();
    short rc = -1;
    std::string text = EncodeAll(*m, &rc);
    EXPECT_EQ(rc, 0); // no units left
    EXPECT_EQ(text, ""); // no units, no listing
}

TEST(EncoderFacade, StatusCodes) {
    testing::internal::CaptureStdout();
    auto m = Facade();
    m->Parse("PROGRAM P VAR A : INT; END_VAR A := 1; $ END_PROGRAM", "bad", nullptr, nullptr,
             nullptr, nullptr);
    EXPECT_EQ(m->Encode(nullptr), morvalcode::EN_ERRORS);
    testing::internal::GetCapturedStdout();
}

TEST(EncoderFacade, EncodeSectionToTheListFile) {
    struct Reader : TiSectionReader {
        const char* Name(AISection*) override { return "SEC"; }
        char* Read(AISection*, char* buffer, unsigned short size) override {
            if (done) {
                return nullptr;
            }
            done = true;
            std::snprintf(buffer, size, "PROGRAM SEC VAR A : INT; END_VAR A := A + 1; END_PROGRAM");
            return buffer;
        }
        void MarkCompiled(AISection*) override {}
        bool done = false;
    } reader;
    testing::internal::CaptureStdout();
    TiMorval m(nullptr, nullptr);
    m.SetSectionReader(&reader);
    FILE* f = std::tmpfile();
    m.listFile = f;
    unsigned long size = 0;
    short rc = m.EncodeSection(reinterpret_cast<AISection*>(&reader), &size, nullptr);
    m.listFile = nullptr;
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(size, 4ul);
    std::string text = enctest::ReadBack(f);
    std::fclose(f);
    EXPECT_EQ(enctest::Lines(text),
              (Lines{"(* PROGRAM SEC *)", "   1:\tASS \t$T1, 2, POOLVAR;  \tA, 2, VAR",
                     "   2:\tADD \t$T1, 2, POOLVAR;  \t1, 2, IMMVAL",
                     "   3:\tASS \tA, 2, VAR;  \t$T1, 2, POOLVAR", "   4:\tRET"}));
    EXPECT_NE(out.find("End TiMorval::EncodeSection, Status = 0"), std::string::npos);
}

} // namespace
