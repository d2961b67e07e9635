// Tests of the facade under memory registration: a compilation with types,
// units, initial values, trees and syntax errors, followed by DelVars and
// the facade's destruction, leaves no block registered, and no block is
// withdrawn twice or without registration.
#include "tests/compiler/ParseTestSupport.h"

#include "base/TiMemRegister.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char* kSource =
    "TYPE\n"
    "  MOTOR : STRUCT SPEED : INT; LIMITS : ARRAY[1..2] OF REAL; END_STRUCT;\n"
    "  MODE : (OFF, MANUAL, AUTO);\n"
    "  GRID : ARRAY[1..3, 1..4] OF DINT;\n"
    "  BAD : INT := 7;\n"
    "  WORSE : $ 5 16#FF;\n"
    "END_TYPE\n"
    "FUNCTION_BLOCK DRIVE\n"
    "VAR_INPUT SETPOINT : INT := 100; END_VAR\n"
    "VAR_OUTPUT RUNNING : BOOL; END_VAR\n"
    "VAR M : MOTOR := (SPEED := 3); G : GRID; W : MODE := AUTO; END_VAR\n"
    "  IF SETPOINT > 0 THEN RUNNING := TRUE; ELSE RUNNING := FALSE; END_IF;\n"
    "  M.SPEED := SETPOINT * 2 + $;\n"
    "END_FUNCTION_BLOCK\n"
    "PROGRAM MAIN\n"
    "VAR D : DRIVE; N : ARRAY[0..9] OF INT := [10 (1)]; END_VAR\n"
    "  D(SETPOINT := 5);\n"
    "  LD N[1]\n"
    "  ADD 2\n"
    "  ST N[2]\n"
    "END_PROGRAM\n";

struct Registration {
    Registration() { TiMemRegisterEnable(true); }
    ~Registration() { TiMemRegisterEnable(false); }
};

} // namespace

TEST(FacadeMemory, NothingStaysRegistered) {
    struct Case {
        const char* name;
        bool delVars;
        bool keepTree;
    };
    const Case cases[] = {
        {"parse, DelVars, destroy", true, false},
        {"parse, destroy", false, false},
        {"tree taken and freed", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::internal::CaptureStdout();
        std::string dump;
        {
            Registration on;
            {
                morval m(nullptr, nullptr, nullptr);
                m.langFlags |= TiCompOptions::LowerCaseKeywords;
                TiNode* tree = nullptr;
                EXPECT_EQ(m.Parse(kSource, "mem", nullptr, c.keepTree ? &tree : nullptr, nullptr,
                                  nullptr),
                          0);
                EXPECT_GT(m.GetNoOfErrors(), 0);
                delete tree;
                if (c.delVars) {
                    m.DelVars();
                }
            }
            testing::internal::GetCapturedStdout();
            testing::internal::CaptureStdout();
            TiMemDumpMemory();
            dump = testing::internal::GetCapturedStdout();
            testing::internal::CaptureStdout();
        }
        std::string rest = testing::internal::GetCapturedStdout();
        EXPECT_EQ(dump, "");
        EXPECT_EQ(rest, "");
    }
}

TEST(FacadeMemory, NoWithdrawalOfUnregisteredBlocks) {
    testing::internal::CaptureStdout();
    {
        Registration on;
        morval m(nullptr, nullptr, nullptr);
        m.langFlags |= TiCompOptions::LowerCaseKeywords;
        m.Parse(kSource, "mem", nullptr, nullptr, nullptr, nullptr);
        m.reset(1);
        m.Parse(kSource, "mem", nullptr, nullptr, nullptr, nullptr);
        m.DelVars();
        m.reset(0);
    }
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("nicht registiert"), std::string::npos) << out;
    EXPECT_EQ(out.find("bereits registiert"), std::string::npos) << out;
}

TEST(FacadeMemory, TheCatalogueServersOrder) {
    // Construct, enable registration, parse, DelVars, disable, destroy: the
    // registry holds only records the facade still owns before DelVars, and
    // switching off discards it without a report.
    testing::internal::CaptureStdout();
    std::string dump;
    {
        morval m(nullptr, nullptr, nullptr);
        m.modeFlags |= 0x8000;
        m.langFlags |= TiCompOptions::DigitNames;
        m.langFlags &= static_cast<uint16_t>(~TiCompOptions::LowerCaseKeywords);
        TiMemRegisterEnable(true);
        m.Parse("TYPE T : STRUCT A : INT; B : ARRAY[1..2] OF BOOL; END_STRUCT; END_TYPE", "VARSVC32",
                nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(m.GetNoOfErrors(), 0);
        m.DelVars();
        TiMemRegisterEnable(false);
    }
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("registiert"), std::string::npos) << out;
}
