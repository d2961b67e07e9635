// Tests of memory registration: the switch, registration, withdrawal and
// dump with their exact standard-output texts, the registry table's hash and
// comparison, and allocation failures.
#include "base/TiMemRegister.h"
#include "tests/base/FailingAllocation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Blocks are only compared and printed, never touched, so plain numbers
// with chosen bits 16-31 serve as addresses.
void* Addr(uintptr_t bits) {
    return reinterpret_cast<void*>(bits);
}

std::string P(const void* p) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%p", p);
    return buf;
}

std::string Twice(const void* block, const std::string& oldLine, const std::string& oldUnit,
                  const std::string& newLine, const std::string& newUnit) {
    return "\nSpeicher " + P(block) + " bereits registiert\nalt: Line: " + oldLine +
           " File: " + oldUnit + "\nneu: Line: " + newLine + " File: " + newUnit;
}

std::string NotRegistered(const void* block, const std::string& unit, const std::string& line) {
    return "\nSpeicher wurde " + P(block) + " nicht registiert:\nFile: " + unit + " Zeile " + line;
}

std::string DumpLine(const std::string& line, const std::string& unit, const void* block) {
    return "\nLine: " + line + " File: " + unit + "  Mem: " + P(block);
}

// Runs `fn` and returns what it wrote to standard output.
template <typename Fn> std::string Output(Fn fn) {
    testing::internal::CaptureStdout();
    fn();
    return testing::internal::GetCapturedStdout();
}

class MemRegister : public testing::Test {
protected:
    void SetUp() override { TiMemRegisterEnable(true); }
    void TearDown() override { TiMemRegisterEnable(false); }

    char unitA[16] = "scanner.cpp";
    char unitB[16] = "parser.cpp";
    int blockA = 0;
    int blockB = 0;
};

} // namespace

TEST_F(MemRegister, RegisterAndWithdrawQuietly) {
    std::string out = Output([&] {
        TiMemRegisterMemory(&blockA, unitA, 10);
        EXPECT_EQ(TiMemDeRegisterMemoryFkt(&blockA, unitA, 20), 0);
    });
    EXPECT_EQ(out, "");
    EXPECT_EQ(Output([] { TiMemDumpMemory(); }), ""); // empty registry: nothing
}

TEST_F(MemRegister, RegisteringTwiceReportsBothLocationsAndKeepsTheSecond) {
    TiMemRegisterMemory(&blockA, unitA, 10);
    std::string out = Output([&] { TiMemRegisterMemory(&blockA, unitB, 20); });
    EXPECT_EQ(out, Twice(&blockA, "10", "scanner.cpp", "20", "parser.cpp"));
    EXPECT_EQ(Output([] { TiMemDumpMemory(); }),
              "\nMemory Dump:" + DumpLine("20", "parser.cpp", &blockA));
    // Still one record: one withdrawal empties the registry.
    EXPECT_EQ(TiMemDeRegisterMemoryFkt(&blockA, unitB, 30), 0);
    EXPECT_EQ(Output([] { TiMemDumpMemory(); }), "");
}

TEST_F(MemRegister, WithdrawingUnknownBlocks) {
    struct Case {
        const char* how;
        bool registerFirst;
        std::vector<int> results;
    } cases[] = {
        {"never registered", false, {1}},
        {"withdrawn twice", true, {0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        TiMemRegisterEnable(true);
        if (c.registerFirst) {
            TiMemRegisterMemory(&blockB, unitA, 5);
        }
        std::string expected;
        std::string out = Output([&] {
            for (int r : c.results) {
                EXPECT_EQ(TiMemDeRegisterMemoryFkt(&blockB, unitB, 77), r);
                if (r == 1) {
                    expected += NotRegistered(&blockB, "parser.cpp", "77");
                }
            }
        });
        EXPECT_EQ(out, expected);
    }
}

TEST_F(MemRegister, OffMeansSilentAndNoRegistry) {
    TiMemRegisterMemory(&blockA, unitA, 1);
    TiMemRegisterEnable(false);
    std::string out = Output([&] {
        TiMemRegisterMemory(&blockA, unitA, 1);
        TiMemRegisterMemory(&blockA, unitA, 2);
        EXPECT_EQ(TiMemDeRegisterMemoryFkt(&blockA, unitA, 3), 0);
        EXPECT_EQ(TiMemDeRegisterMemoryFkt(&blockB, unitA, 4), 0);
        TiMemDumpMemory();
        TiMemRegisterEnable(false); // off twice is harmless
    });
    EXPECT_EQ(out, "");
    // Switching on again starts with an empty registry: the record made
    // before switching off is gone.
    TiMemRegisterEnable(true);
    EXPECT_EQ(Output([] { TiMemDumpMemory(); }), "");
}

TEST_F(MemRegister, EnablingTwiceStartsAfresh) {
    TiMemRegisterMemory(&blockA, unitA, 1);
    std::string out = Output([&] {
        TiMemRegisterEnable(true); // discards without a report
        TiMemDumpMemory();
        EXPECT_EQ(TiMemDeRegisterMemoryFkt(&blockA, unitA, 2), 1);
    });
    EXPECT_EQ(out, NotRegistered(&blockA, "scanner.cpp", "2"));
}

TEST_F(MemRegister, NullBlockIsIgnored) {
    std::string out = Output([&] {
        TiMemRegisterMemory(nullptr, unitA, 1);
        TiMemRegisterMemory(nullptr, unitA, 1);
        EXPECT_EQ(TiMemDeRegisterMemoryFkt(nullptr, unitA, 1), 0);
        TiMemDumpMemory();
    });
    EXPECT_EQ(out, "");
}

TEST_F(MemRegister, LinesAndUnitsAsPrinted) {
    // Lines are 32-bit and printed unsigned, as on the 32-bit platform; an
    // unknown unit prints as "(null)".
    struct Case {
        int32_t line;
        const char* unit;
        const char* lineText;
        const char* unitText;
    } cases[] = {
        {0, "a.cpp", "0", "a.cpp"},
        {2147483647, "a.cpp", "2147483647", "a.cpp"},
        {-1, "a.cpp", "4294967295", "a.cpp"},
        {static_cast<int32_t>(0x80000000u), "a.cpp", "2147483648", "a.cpp"},
        {7, nullptr, "7", "(null)"},
        {7, "", "7", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lineText);
        TiMemRegisterEnable(true);
        std::string unit = c.unit ? c.unit : "";
        char* u = c.unit ? unit.data() : nullptr;
        TiMemRegisterMemory(&blockA, u, c.line);
        EXPECT_EQ(Output([] { TiMemDumpMemory(); }),
                  "\nMemory Dump:" + DumpLine(c.lineText, c.unitText, &blockA));
        EXPECT_EQ(Output([&] { TiMemRegisterMemory(&blockA, u, c.line); }),
                  Twice(&blockA, c.lineText, c.unitText, c.lineText, c.unitText));
        EXPECT_EQ(Output([&] { TiMemDeRegisterMemoryFkt(&blockB, u, c.line); }),
                  NotRegistered(&blockB, c.unitText, c.lineText));
    }
}

TEST_F(MemRegister, UnitNamesAreCopiedOnceWithoutRegardToCase) {
    char temp[16] = "Lexer.cpp";
    TiMemRegisterMemory(Addr(0x10000), temp, 1);
    std::snprintf(temp, sizeof temp, "%s", "overwritten");
    char upper[16] = "LEXER.CPP";
    TiMemRegisterMemory(Addr(0x20000), upper, 2);
    // Both records point to the first spelling's copy.
    EXPECT_EQ(Output([] { TiMemDumpMemory(); }),
              "\nMemory Dump:" + DumpLine("1", "Lexer.cpp", Addr(0x10000)) +
                  DumpLine("2", "Lexer.cpp", Addr(0x20000)));
}

TEST_F(MemRegister, DumpFollowsTableOrder) {
    // Slot = bits 16-31 modulo 151: 0x5 -> 0, 0x970000 (151) -> 0,
    // 0x10000 -> 1, 0x12340000 (4660) -> 130, 0xFFFF0000 (65535) -> 1.
    std::vector<uintptr_t> order = {0x12340000, 0x10000, 0x970000, 0x5, 0xFFFF0000};
    int line = 1;
    for (uintptr_t a : order) {
        TiMemRegisterMemory(Addr(a), unitA, line++);
    }
    EXPECT_EQ(Output([] { TiMemDumpMemory(); }),
              "\nMemory Dump:" + DumpLine("3", "scanner.cpp", Addr(0x970000)) +
                  DumpLine("4", "scanner.cpp", Addr(0x5)) +
                  DumpLine("2", "scanner.cpp", Addr(0x10000)) +
                  DumpLine("5", "scanner.cpp", Addr(0xFFFF0000)) +
                  DumpLine("1", "scanner.cpp", Addr(0x12340000)));
}

TEST(TiMemRegTab, HashAndIdentity) {
    short st = -7;
    TiMemRegTab tab(&st);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(tab.GetArraySize(), 151);
    struct Case {
        uintptr_t address;
        unsigned short slot;
    } cases[] = {
        {0, 0},
        {0xFFFF, 0},
        {0x10000, 1},
        {0x970000, 0},
        {0x12345678, 130},
        {0xFFFF0000, 1},
        {uintptr_t{1} << 32, 0}, // bits above 31 play no part
        {(uintptr_t{0x7FFF} << 32) | 0x00960000, 150},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(P(Addr(c.address)));
        EXPECT_EQ(tab.hash(static_cast<char*>(Addr(c.address))), c.slot);
    }
    char a[] = "same";
    char b[] = "same";
    EXPECT_EQ(tab.CmpName(a, a), 0);
    EXPECT_EQ(tab.CmpName(a, b), 1); // equal text, other address
    EXPECT_EQ(tab.CmpName(nullptr, nullptr), 1);
    EXPECT_EQ(tab.CmpName(nullptr, a), 1);
    EXPECT_EQ(tab.CmpName(a, nullptr), 1);

    // Records are made by the table from the address.
    auto* rec = static_cast<TiMemRegAttr*>(tab.add(a, false));
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->address, static_cast<void*>(a));
    EXPECT_EQ(rec->unit, nullptr);
    EXPECT_EQ(rec->line, 0);
    EXPECT_EQ(tab.find(a), rec);
    EXPECT_EQ(tab.find(b), nullptr);
    EXPECT_EQ(tab.InternUnit(nullptr), nullptr);
    char* u1 = tab.InternUnit(b);
    ASSERT_NE(u1, nullptr);
    EXPECT_NE(u1, b);
    EXPECT_STREQ(u1, "same");
    char other[] = "SAME";
    EXPECT_EQ(tab.InternUnit(other), u1);
}

// Every allocation of a registration is failed in turn: the registry stays
// consistent and the block simply is not (or is) registered.
TEST(MemRegisterFailure, AllocationFailures) {
    int block = 0;
    char unit[] = "unit.cpp";
    bool succeeded = false;
    for (long n = 0; n < 20 && !succeeded; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n) + " fails");
        std::string out = Output([&] {
            failalloc::FailNth(n);
            TiMemRegisterEnable(true);
            TiMemRegisterMemory(&block, unit, 9);
            bool failed = failalloc::Failed();
            failalloc::Disarm();
            succeeded = !failed;
            TiMemDumpMemory();
        });
        // Allocation order: registry object, its slot array, the name table's
        // slot array, the record's bucket, the record, the name's bucket, the
        // name copy. The record survives a failed name copy, without unit.
        std::string expected;
        if (n >= 5 || succeeded) {
            expected = "\nMemory Dump:" + DumpLine("9", n >= 5 && !succeeded ? "(null)" : "unit.cpp",
                                                   &block);
        }
        EXPECT_EQ(out, expected);
        TiMemRegisterEnable(false);
    }
    EXPECT_TRUE(succeeded);
}
