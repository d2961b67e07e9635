// The operation codes with their mnemonics, the codes without one, and the
// names of the operand classes.
#include "compiler/TiEmitter.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>

namespace {

struct CodeCase {
    int32_t code;
    const char* mnemonic;
};

const CodeCase kCodes[] = {
    {12, "JMPDFB"},
    {13, "JMPFDFB"},
    {14, "JMPEFB"},
    {15, "JMPFFEFB"},
    {17, "PAV"},
    {18, "BNOTEN"},
    {19, "INSADDEN"},
    {21, "ASSENO"},
    {25, "BTRUE"},
    {26, "BFALSE"},
    {27, "SAVE"},
    {28, "ADRADD"},
    {31, "AND"},
    {32, "OR"},
    {33, "XOR"},
    {34, "NOT"},
    {35, "BNOT"},
    {36, "ASS"},
    {37, "BASS"},
    {61, "LABEL"},
    {62, "BRANCH"},
    {63, "INSADD"},
    {99, "RET"},
    {100, "ADD"},
    {101, "FADD"},
    {102, "SUB"},
    {103, "FSUB"},
    {104, "MUL"},
    {105, "FMUL"},
    {106, "DIV"},
    {107, "FDIV"},
    {108, "UDIV"},
    {109, "UMIN"},
    {120, "EQ"},
    {122, "BEQ"},
    {123, "NE"},
    {125, "BNE"},
    {126, "SGT"},
    {128, "BGT"},
    {129, "UGT"},
    {130, "SGE"},
    {132, "BGE"},
    {133, "UGE"},
    {134, "SLT"},
    {136, "BLT"},
    {137, "ULT"},
    {138, "SLE"},
    {140, "BLE"},
    {141, "ULE"},
    {213, "INT_TO_DINT"},
    {214, "INT_TO_REAL"},
    {216, "UINT_TO_DINT"},
    {217, "UINT_TO_REAL"},
    {219, "DINT_TO_REAL"},
    {221, "UDINT_TO_REAL"},
    {223, "REAL_TO_INT"},
    {224, "REAL_TO_UINT"},
    {225, "REAL_TO_DINT"},
    {226, "REAL_TO_UDINT"},
};

TEST(EmitterMnemonic, EveryCodeHasItsMnemonic) {
    for (const CodeCase& c : kCodes) {
        SCOPED_TRACE(c.code);
        ASSERT_NE(opc::Mnemonic(c.code), nullptr);
        EXPECT_STREQ(opc::Mnemonic(c.code), c.mnemonic);
    }
    // The named codes agree with the table.
    EXPECT_STREQ(opc::Mnemonic(opc::BRANCH), "BRANCH");
    EXPECT_STREQ(opc::Mnemonic(opc::REAL_TO_UDINT), "REAL_TO_UDINT");
    EXPECT_STREQ(opc::Mnemonic(opc::JMPDFB), "JMPDFB");
}

TEST(EmitterMnemonic, CodesBesideTheTableHaveNone) {
    const int32_t none[] = {INT32_MIN, -1,  0,   1,   11,  16,  20,  22,  24,   29,       30,
                            38,        60,  64,  98,  110, 119, 121, 124, 127,  131,      135,
                            139,       142, 212, 215, 218, 220, 222, 227, 1000, INT32_MAX};
    for (int32_t code : none) {
        SCOPED_TRACE(code);
        EXPECT_EQ(opc::Mnemonic(code), nullptr);
    }
    // Exactly the codes of the table have a mnemonic.
    std::set<int32_t> listed;
    for (const CodeCase& c : kCodes) {
        listed.insert(c.code);
    }
    int found = 0;
    for (int32_t code = -300; code <= 1300; ++code) {
        if (opc::Mnemonic(code) != nullptr) {
            ++found;
            EXPECT_TRUE(listed.count(code)) << code;
        }
    }
    EXPECT_EQ(found, 59);
}

TEST(EmitterMnemonic, OperandClassNames) {
    const struct {
        int cls;
        const char* name;
    } cases[] = {
        {0, nullptr}, {-1, nullptr}, {9, nullptr}, {INT_MAX, nullptr}, {1, "IMMVAL"},  {2, "VAR"},
        {3, "LOC"},   {4, "LOC"},    {5, "LOC"},   {6, "FRMPAR"},      {7, "POOLVAR"}, {8, "IMC"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cls);
        if (c.name == nullptr) {
            EXPECT_EQ(opc::ClassName(c.cls), nullptr);
        } else {
            EXPECT_STREQ(opc::ClassName(c.cls), c.name);
        }
    }
}

} // namespace
