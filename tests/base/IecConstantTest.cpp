// Tests of IEC_CONSTANT: construction and text ownership, the TiConstantTo...
// conversions (kinds, ranges, saturation, prefixes), GetElemDTypeID, GetVal.
#include "base/IEC_CONSTANT.h"
#include "base/TiLitStatus.h"
#include "tests/base/FailingAllocation.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace iec;

namespace {

// An integer constant as the literal scanner fills it: digits of the base
// flag's base, optional sign, and a type id (a prefix or a marker).
void MakeInt(IEC_CONSTANT& c, const std::string& text, uint16_t baseFlag = CONST_DECIMAL,
             int16_t typeId = UNTYPED_INT) {
    c.reset();
    const bool neg = !text.empty() && text[0] == '-';
    for (size_t i = neg ? 1 : 0; i < text.size(); ++i) {
        short rc = 0;
        switch (baseFlag) {
        case CONST_HEX:
            rc = c.value.digit.AppendDigit16(text[i]);
            break;
        case CONST_OCTAL:
            rc = c.value.digit.AppendDigit8(text[i]);
            break;
        case CONST_BINARY:
            rc = c.value.digit.AppendDigit2(text[i]);
            break;
        default:
            rc = c.value.digit.AppendDigit10(text[i]);
            break;
        }
        EXPECT_EQ(rc, 0);
    }
    c.flags = baseFlag;
    if (neg) {
        c.value.digit.Negate();
        c.flags |= CONST_NEGATIVE;
    }
    c.typeId = typeId;
}

void MakeReal(IEC_CONSTANT& c, double v, int16_t typeId = UNTYPED_REAL) {
    c.reset();
    c.flags = CONST_REAL;
    c.value.dbl = v;
    c.typeId = typeId;
}

void MakeBool(IEC_CONSTANT& c, int32_t v, int16_t typeId = TYPE_BOOL) {
    c.reset();
    c.flags = CONST_BOOL;
    c.value.digit.Set(v);
    c.typeId = typeId;
}

void MakeTime(IEC_CONSTANT& c, uint32_t ms, int16_t typeId = TYPE_TIME) {
    c.reset();
    c.flags = CONST_TIME;
    c.value.time = ms;
    c.typeId = typeId;
}

void MakeDate(IEC_CONSTANT& c, uint16_t packed, int16_t typeId = TYPE_DATE) {
    c.reset();
    c.flags = CONST_DATE;
    c.value.date = packed;
    c.typeId = typeId;
}

void MakeTod(IEC_CONSTANT& c, uint32_t ms, int16_t typeId = TYPE_TIME_OF_DAY) {
    c.reset();
    c.flags = CONST_TOD;
    c.value.tod = ms;
    c.typeId = typeId;
}

void MakeDT(IEC_CONSTANT& c, uint32_t tod, uint16_t date, int16_t typeId = TYPE_DATE_AND_TIME) {
    c.reset();
    c.flags = CONST_DT;
    c.value.dt = IEC_DT{tod, date, 0};
    c.typeId = typeId;
}

void MakeString(IEC_CONSTANT& c, const char* text) {
    c.reset();
    ASSERT_EQ(c.SetString(text), 0);
}

TEST(IecConstantConstruct, DefaultAndFromLong) {
    IEC_CONSTANT empty;
    EXPECT_EQ(empty.flags, 0);
    EXPECT_EQ(empty.typeId, 0);
    EXPECT_EQ(empty.reserved, 0);
    EXPECT_EQ(empty.value.digit.NRelDigits(), 0);

    struct Case {
        const char* name;
        int32_t v;
        uint16_t flags;
        int16_t typeId;
    };
    const Case cases[] = {
        {"zero", 0, 0x0001, 4711},        {"positive", 5, 0x0001, 4711},
        {"max", INT32_MAX, 0x0001, 4711}, {"negative", -5, 0x8001, 4712},
        {"min", INT32_MIN, 0x8001, 4712},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IEC_CONSTANT k(c.v);
        EXPECT_EQ(k.flags, c.flags);
        EXPECT_EQ(k.typeId, c.typeId);
        EXPECT_EQ(k.reserved, 0);
        int32_t back = 0;
        EXPECT_EQ(TiConstantToDINT(k, &back), 0);
        EXPECT_EQ(back, c.v);
    }
}

TEST(IecConstantConstruct, ResetClearsEverythingAndFreesTheText) {
    IEC_CONSTANT c;
    MakeString(c, "text");
    c.reserved = 3;
    c.reset();
    EXPECT_EQ(c.flags, 0);
    EXPECT_EQ(c.typeId, 0);
    EXPECT_EQ(c.reserved, 0);
    for (unsigned char b : c.value.bytes) {
        EXPECT_EQ(b, 0);
    }
}

TEST(IecConstantOwnership, StringTextIsOwnedMovedAndCopiedSoundly) {
    IEC_CONSTANT a;
    MakeString(a, "abc");
    EXPECT_EQ(a.flags, CONST_STRING);
    EXPECT_EQ(a.typeId, TYPE_STRING);

    // A copy duplicates the text: both destructors free their own.
    IEC_CONSTANT b;
    ASSERT_EQ(b.CopyFrom(a), 0);
    ASSERT_NE(b.value.str, nullptr);
    EXPECT_NE(b.value.str, a.value.str);
    EXPECT_STREQ(b.value.str, "abc");

    // A move hands the text over and leaves the source empty.
    char* const text = a.value.str;
    IEC_CONSTANT m(std::move(a));
    EXPECT_EQ(m.value.str, text);
    EXPECT_EQ(a.flags, 0);
    IEC_CONSTANT n;
    MakeInt(n, "5");
    n = std::move(m);
    EXPECT_EQ(n.value.str, text);
    EXPECT_EQ(m.flags, 0);

    // Released text belongs to the caller.
    char* released = n.ReleaseString();
    EXPECT_EQ(released, text);
    EXPECT_EQ(n.value.str, nullptr);
    delete[] released;

    IEC_CONSTANT adopt;
    char* own = new char[3];
    std::memcpy(own, "xy", 3);
    adopt.AdoptString(own);
    EXPECT_STREQ(adopt.value.str, "xy");

    IEC_CONSTANT nullText;
    ASSERT_EQ(nullText.SetString(nullptr), 0);
    EXPECT_STREQ(nullText.value.str, "");
}

TEST(IecConstantOwnership, NoMemoryForATextLeavesTheConstantUnchanged) {
    IEC_CONSTANT c(42);
    {
        failalloc::Scope fail(0);
        EXPECT_EQ(c.SetString("abc"), LIT_NO_MEMORY);
        EXPECT_TRUE(failalloc::Failed());
    }
    EXPECT_EQ(c.flags, CONST_DECIMAL);
    EXPECT_EQ(c.typeId, UNTYPED_INT);
    int32_t v = 0;
    EXPECT_EQ(TiConstantToDINT(c, &v), 0);
    EXPECT_EQ(v, 42);

    IEC_CONSTANT s;
    MakeString(s, "abc");
    {
        failalloc::Scope fail(0);
        EXPECT_EQ(c.CopyFrom(s), LIT_NO_MEMORY);
    }
    EXPECT_EQ(c.flags, CONST_DECIMAL);
    ASSERT_EQ(c.CopyFrom(s), 0);
    EXPECT_STREQ(c.value.str, "abc");
}

enum class Target { SINT, USINT, BYTE, BOOL, INT, UINT, WORD, DINT, UDINT, DWORD, LINT, ULINT };

// Runs the conversion for the target and widens its output.
short Convert(IEC_CONSTANT& c, Target t, long double& out) {
    short rc = 0;
    switch (t) {
    case Target::SINT: {
        signed char v = 55;
        rc = TiConstantToSINT(c, &v);
        out = v;
        break;
    }
    case Target::USINT: {
        unsigned char v = 55;
        rc = TiConstantToUSINT(c, &v);
        out = v;
        break;
    }
    case Target::BYTE: {
        unsigned char v = 55;
        rc = TiConstantToBYTE(c, &v);
        out = v;
        break;
    }
    case Target::BOOL: {
        unsigned char v = 55;
        rc = TiConstantToBOOL(c, &v);
        out = v;
        break;
    }
    case Target::INT: {
        short v = 55;
        rc = TiConstantToINT(c, &v);
        out = v;
        break;
    }
    case Target::UINT: {
        unsigned short v = 55;
        rc = TiConstantToUINT(c, &v);
        out = v;
        break;
    }
    case Target::WORD: {
        unsigned short v = 55;
        rc = TiConstantToWORD(c, &v);
        out = v;
        break;
    }
    case Target::DINT: {
        int32_t v = 55;
        rc = TiConstantToDINT(c, &v);
        out = v;
        break;
    }
    case Target::UDINT: {
        uint32_t v = 55;
        rc = TiConstantToUDINT(c, &v);
        out = v;
        break;
    }
    case Target::DWORD: {
        uint32_t v = 55;
        rc = TiConstantToDWORD(c, &v);
        out = v;
        break;
    }
    case Target::LINT: {
        double v = 55;
        rc = TiConstantToLINT(c, &v);
        out = v;
        break;
    }
    case Target::ULINT: {
        double v = 55;
        rc = TiConstantToULINT(c, &v);
        out = v;
        break;
    }
    }
    return rc;
}

TEST(IecConstantConvert, IntegerTargetsReadTheRightWidthAndSign) {
    constexpr short R = LIT_OUT_OF_RANGE;
    constexpr short K = LIT_INTEGER_REQUIRED;
    struct Case {
        const char* name;
        Target t;
        const char* text;
        uint16_t base;
        int16_t typeId;
        short rc;
        long double out;
    };
    const Case cases[] = {
        {"SINT zero", Target::SINT, "0", CONST_DECIMAL, UNTYPED_INT, 0, 0},
        {"SINT max", Target::SINT, "127", CONST_DECIMAL, UNTYPED_INT, 0, 127},
        {"SINT max+1", Target::SINT, "128", CONST_DECIMAL, UNTYPED_INT, R, 127},
        {"SINT min", Target::SINT, "-128", CONST_DECIMAL, UNTYPED_SIGNED, 0, -128},
        {"SINT min-1", Target::SINT, "-129", CONST_DECIMAL, UNTYPED_SIGNED, R, -128},
        {"SINT 16#FF is -1", Target::SINT, "FF", CONST_HEX, UNTYPED_INT, 0, -1},
        {"SINT 16#80 is -128", Target::SINT, "80", CONST_HEX, UNTYPED_INT, 0, -128},
        {"SINT 2#11111111", Target::SINT, "11111111", CONST_BINARY, UNTYPED_INT, 0, -1},
        {"SINT 8#377", Target::SINT, "377", CONST_OCTAL, UNTYPED_INT, 0, -1},
        {"SINT 16#100", Target::SINT, "100", CONST_HEX, UNTYPED_INT, R, -1},
        {"USINT max", Target::USINT, "255", CONST_DECIMAL, UNTYPED_INT, 0, 255},
        {"USINT max+1", Target::USINT, "256", CONST_DECIMAL, UNTYPED_INT, R, 255},
        {"USINT -1", Target::USINT, "-1", CONST_DECIMAL, UNTYPED_SIGNED, R, 0},
        {"BYTE 16#FF", Target::BYTE, "FF", CONST_HEX, UNTYPED_INT, 0, 255},
        {"BYTE decimal", Target::BYTE, "200", CONST_DECIMAL, UNTYPED_INT, 0, 200},
        {"BYTE 16#100", Target::BYTE, "100", CONST_HEX, UNTYPED_INT, R, 255},
        {"BYTE -1", Target::BYTE, "-1", CONST_DECIMAL, UNTYPED_SIGNED, R, 0},
        {"INT max", Target::INT, "32767", CONST_DECIMAL, UNTYPED_INT, 0, 32767},
        {"INT max+1", Target::INT, "32768", CONST_DECIMAL, UNTYPED_INT, R, 32767},
        {"INT min", Target::INT, "-32768", CONST_DECIMAL, UNTYPED_SIGNED, 0, -32768},
        {"INT min-1", Target::INT, "-32769", CONST_DECIMAL, UNTYPED_SIGNED, R, -32768},
        {"INT 16#FFFF", Target::INT, "FFFF", CONST_HEX, UNTYPED_INT, 0, -1},
        {"UINT max", Target::UINT, "65535", CONST_DECIMAL, UNTYPED_INT, 0, 65535},
        {"UINT max+1", Target::UINT, "65536", CONST_DECIMAL, UNTYPED_INT, R, 65535},
        {"WORD 16#FFFF", Target::WORD, "FFFF", CONST_HEX, UNTYPED_BITS, 0, 65535},
        {"WORD 16#10000", Target::WORD, "10000", CONST_HEX, UNTYPED_BITS, R, 65535},
        {"DINT max", Target::DINT, "2147483647", CONST_DECIMAL, UNTYPED_INT, 0, 2147483647},
        {"DINT max+1", Target::DINT, "2147483648", CONST_DECIMAL, UNTYPED_INT, R, 2147483647},
        {"DINT min", Target::DINT, "-2147483648", CONST_DECIMAL, UNTYPED_SIGNED, 0, -2147483648.0L},
        {"DINT 16#FFFFFFFF", Target::DINT, "FFFFFFFF", CONST_HEX, UNTYPED_INT, 0, -1},
        {"DINT from INT# prefix", Target::DINT, "5", CONST_DECIMAL, TYPE_INT, K, 5},
        {"DINT from DINT# prefix", Target::DINT, "5", CONST_DECIMAL, TYPE_DINT, 0, 5},
        {"DINT from marker 4713", Target::DINT, "5", CONST_DECIMAL, UNTYPED_BITS, 0, 5},
        {"UDINT max", Target::UDINT, "4294967295", CONST_DECIMAL, UNTYPED_INT, 0, 4294967295.0L},
        {"UDINT max+1", Target::UDINT, "4294967296", CONST_DECIMAL, UNTYPED_INT, R, 4294967295.0L},
        {"UDINT -1", Target::UDINT, "-1", CONST_DECIMAL, UNTYPED_SIGNED, R, 0},
        {"DWORD 16#FFFFFFFF", Target::DWORD, "FFFFFFFF", CONST_HEX, UNTYPED_BITS, 0, 4294967295.0L},
        {"LINT max", Target::LINT, "9223372036854775807", CONST_DECIMAL, UNTYPED_INT, 0,
         9223372036854775807.0},
        {"LINT -1", Target::LINT, "-1", CONST_DECIMAL, UNTYPED_SIGNED, 0, -1},
        {"LINT -2^32", Target::LINT, "-4294967296", CONST_DECIMAL, UNTYPED_SIGNED, 0,
         -4294967296.0L},
        {"LINT min", Target::LINT, "-9223372036854775808", CONST_DECIMAL, UNTYPED_SIGNED, 0,
         -9223372036854775808.0L},
        {"LINT min-1", Target::LINT, "-9223372036854775809", CONST_DECIMAL, UNTYPED_SIGNED, R,
         -9223372036854775808.0L},
        {"LINT hex high word unsigned", Target::LINT, "FFFFFFFFFFFFFFFF", CONST_HEX, UNTYPED_INT, 0,
         18446744073709551616.0L},
        {"ULINT max", Target::ULINT, "18446744073709551615", CONST_DECIMAL, UNTYPED_INT, 0,
         18446744073709551616.0L},
        {"ULINT state 3", Target::ULINT, "18446744073709551616", CONST_DECIMAL, UNTYPED_INT, R,
         18446744073709551616.0L},
        {"ULINT -1", Target::ULINT, "-1", CONST_DECIMAL, UNTYPED_SIGNED, R, 0},
        {"BOOL 0", Target::BOOL, "0", CONST_DECIMAL, UNTYPED_INT, 0, 0},
        {"BOOL 1", Target::BOOL, "1", CONST_DECIMAL, UNTYPED_INT, 0, 1},
        {"BOOL 2", Target::BOOL, "2", CONST_DECIMAL, UNTYPED_INT, LIT_BOOL_RANGE, 1},
        {"BOOL 256", Target::BOOL, "256", CONST_DECIMAL, UNTYPED_INT, LIT_BOOL_RANGE, 1},
        {"BOOL -1", Target::BOOL, "-1", CONST_DECIMAL, UNTYPED_SIGNED, LIT_BOOL_RANGE, 0},
        {"BOOL 2#1", Target::BOOL, "1", CONST_BINARY, UNTYPED_INT, 0, 1},
        {"BOOL with BOOL# prefix", Target::BOOL, "1", CONST_DECIMAL, TYPE_BOOL, 0, 1},
        {"BOOL with INT# prefix", Target::BOOL, "1", CONST_DECIMAL, TYPE_INT,
         LIT_BITSTRING_REQUIRED, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IEC_CONSTANT k;
        MakeInt(k, c.text, c.base, c.typeId);
        long double out = -999;
        EXPECT_EQ(Convert(k, c.t, out), c.rc);
        EXPECT_EQ(out, c.out);
    }
}

TEST(IecConstantConvert, BoolConstantsConvertOnlyToBool) {
    IEC_CONSTANT t;
    MakeBool(t, 1);
    unsigned char b = 9;
    EXPECT_EQ(TiConstantToBOOL(t, &b), 0);
    EXPECT_EQ(b, 1);
    MakeBool(t, 0, 0);
    EXPECT_EQ(TiConstantToBOOL(t, &b), 0);
    EXPECT_EQ(b, 0);
    short i = 9;
    EXPECT_EQ(TiConstantToINT(t, &i), LIT_INTEGER_REQUIRED);
    EXPECT_EQ(i, 0);
}

// Every conversion applied to a constant of another kind.
struct WrongKindCase {
    const char* name;
    short (*convert)(IEC_CONSTANT&);
    short kindCode;
    bool acceptsInteger;
};

template <typename T, short (*F)(IEC_CONSTANT&, T*)> short Call(IEC_CONSTANT& c) {
    T out{};
    std::memset(static_cast<void*>(&out), 0x5A, sizeof out);
    const short rc = F(c, &out);
    if (rc == LIT_INTEGER_REQUIRED || rc == LIT_BITSTRING_REQUIRED || rc == LIT_REAL_REQUIRED ||
        rc == LIT_TIME_REQUIRED || rc == LIT_DATE_REQUIRED || rc == LIT_TOD_REQUIRED ||
        rc == LIT_DT_REQUIRED || rc == LIT_STRING_REQUIRED) {
        // A refused kind writes the zero output.
        T zero{};
        EXPECT_EQ(std::memcmp(&out, &zero, sizeof out), 0);
    }
    return rc;
}

template <typename T, short (*F)(IEC_CONSTANT&, T*)> short CallNull(IEC_CONSTANT& c) {
    return F(c, nullptr);
}

TEST(IecConstantConvert, WrongKindGivesTheKindCodeZeroAndGivesUpTheText) {
    const WrongKindCase cases[] = {
        {"SINT", Call<signed char, TiConstantToSINT>, LIT_INTEGER_REQUIRED, true},
        {"USINT", Call<unsigned char, TiConstantToUSINT>, LIT_INTEGER_REQUIRED, true},
        {"BYTE", Call<unsigned char, TiConstantToBYTE>, LIT_BITSTRING_REQUIRED, true},
        {"BOOL", Call<unsigned char, TiConstantToBOOL>, LIT_BITSTRING_REQUIRED, true},
        {"INT", Call<short, TiConstantToINT>, LIT_INTEGER_REQUIRED, true},
        {"UINT", Call<unsigned short, TiConstantToUINT>, LIT_INTEGER_REQUIRED, true},
        {"WORD", Call<unsigned short, TiConstantToWORD>, LIT_BITSTRING_REQUIRED, true},
        {"DATE", Call<unsigned short, TiConstantToDATE>, LIT_DATE_REQUIRED, false},
        {"DINT", Call<int32_t, TiConstantToDINT>, LIT_INTEGER_REQUIRED, true},
        {"UDINT", Call<uint32_t, TiConstantToUDINT>, LIT_INTEGER_REQUIRED, true},
        {"DWORD", Call<uint32_t, TiConstantToDWORD>, LIT_BITSTRING_REQUIRED, true},
        {"TIME", Call<uint32_t, TiConstantToTIME>, LIT_TIME_REQUIRED, false},
        {"TOD", Call<uint32_t, TiConstantToTOD>, LIT_TOD_REQUIRED, false},
        {"LINT", Call<double, TiConstantToLINT>, LIT_INTEGER_REQUIRED, true},
        {"ULINT", Call<double, TiConstantToULINT>, LIT_INTEGER_REQUIRED, true},
        {"LREAL", Call<double, TiConstantToLREAL>, LIT_REAL_REQUIRED, false},
        {"REAL", Call<float, TiConstantToREAL>, LIT_REAL_REQUIRED, false},
        {"DT", Call<IEC_DT, TiConstantToDT>, LIT_DT_REQUIRED, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IEC_CONSTANT s;
        MakeString(s, "gone");
        EXPECT_EQ(c.convert(s), c.kindCode);
        // The text was freed and the pointer cleared; the destructor must not
        // free it again (checked under the address sanitizer).
        EXPECT_EQ(s.value.str, nullptr);
        EXPECT_EQ(s.flags, CONST_STRING);

        IEC_CONSTANT empty;
        EXPECT_EQ(c.convert(empty), c.kindCode);

        if (!c.acceptsInteger) {
            IEC_CONSTANT i;
            MakeInt(i, "1");
            EXPECT_EQ(c.convert(i), c.kindCode);
        } else {
            IEC_CONSTANT r;
            MakeReal(r, 1.0);
            EXPECT_EQ(c.convert(r), c.kindCode);
        }
    }
    IEC_CONSTANT i;
    MakeInt(i, "1");
    char* text = reinterpret_cast<char*>(0x1);
    EXPECT_EQ(TiConstantToSTRING(i, &text), LIT_STRING_REQUIRED);
    EXPECT_EQ(text, nullptr);

    // A STRING constant that gave up its text has none to hand out.
    IEC_CONSTANT s;
    MakeString(s, "x");
    short v;
    TiConstantToINT(s, &v);
    EXPECT_EQ(TiConstantToSTRING(s, &text), LIT_STRING_REQUIRED);
    EXPECT_EQ(text, nullptr);
}

TEST(IecConstantConvert, NullOutputGivesTheKindCode) {
    const WrongKindCase cases[] = {
        {"SINT", CallNull<signed char, TiConstantToSINT>, LIT_INTEGER_REQUIRED, true},
        {"USINT", CallNull<unsigned char, TiConstantToUSINT>, LIT_INTEGER_REQUIRED, true},
        {"BYTE", CallNull<unsigned char, TiConstantToBYTE>, LIT_BITSTRING_REQUIRED, true},
        {"BOOL", CallNull<unsigned char, TiConstantToBOOL>, LIT_BITSTRING_REQUIRED, true},
        {"INT", CallNull<short, TiConstantToINT>, LIT_INTEGER_REQUIRED, true},
        {"UINT", CallNull<unsigned short, TiConstantToUINT>, LIT_INTEGER_REQUIRED, true},
        {"WORD", CallNull<unsigned short, TiConstantToWORD>, LIT_BITSTRING_REQUIRED, true},
        {"DATE", CallNull<unsigned short, TiConstantToDATE>, LIT_DATE_REQUIRED, false},
        {"DINT", CallNull<int32_t, TiConstantToDINT>, LIT_INTEGER_REQUIRED, true},
        {"UDINT", CallNull<uint32_t, TiConstantToUDINT>, LIT_INTEGER_REQUIRED, true},
        {"DWORD", CallNull<uint32_t, TiConstantToDWORD>, LIT_BITSTRING_REQUIRED, true},
        {"TIME gives the DATE code", CallNull<uint32_t, TiConstantToTIME>, LIT_DATE_REQUIRED,
         false},
        {"TOD", CallNull<uint32_t, TiConstantToTOD>, LIT_TOD_REQUIRED, false},
        {"LINT", CallNull<double, TiConstantToLINT>, LIT_INTEGER_REQUIRED, true},
        {"ULINT", CallNull<double, TiConstantToULINT>, LIT_INTEGER_REQUIRED, true},
        {"LREAL", CallNull<double, TiConstantToLREAL>, LIT_REAL_REQUIRED, false},
        {"REAL", CallNull<float, TiConstantToREAL>, LIT_REAL_REQUIRED, false},
        {"DT", CallNull<IEC_DT, TiConstantToDT>, LIT_DT_REQUIRED, false},
        {"STRING", CallNull<char*, TiConstantToSTRING>, LIT_STRING_REQUIRED, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IEC_CONSTANT k;
        MakeInt(k, "1");
        EXPECT_EQ(c.convert(k), c.kindCode);
    }
}

TEST(IecConstantConvert, RealNarrowingFlushesTinyAndSaturatesHugeValues) {
    struct Case {
        const char* name;
        double v;
        short rc;
        float out;
    };
    const float fmax = FLT_MAX;
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {"zero", 0.0, 0, 0.0f},
        {"1e-40 flushes", 1e-40, 0, 0.0f},
        {"-1e-40 flushes", -1e-40, 0, 0.0f},
        {"smallest normal", 1.1754943508222875e-38, 0, FLT_MIN},
        {"just below smallest normal", std::nextafter(1.1754943508222875e-38, 0.0), 0, 0.0f},
        {"largest", 3.4028234663852886e+38, 0, fmax},
        {"just above largest", std::nextafter(3.4028234663852886e+38, inf), LIT_OUT_OF_RANGE, fmax},
        {"negative huge", -1e300, LIT_OUT_OF_RANGE, -fmax},
        {"infinity", inf, LIT_OUT_OF_RANGE, fmax},
        {"minus infinity", -inf, LIT_OUT_OF_RANGE, -fmax},
        {"one and a half", 1.5, 0, 1.5f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IEC_CONSTANT k;
        MakeReal(k, c.v);
        float out = 77.0f;
        EXPECT_EQ(TiConstantToREAL(k, &out), c.rc);
        EXPECT_EQ(out, c.out);
    }
    IEC_CONSTANT nan;
    MakeReal(nan, std::nan(""));
    float out = 0;
    EXPECT_EQ(TiConstantToREAL(nan, &out), 0);
    EXPECT_TRUE(std::isnan(out));

    IEC_CONSTANT lreal;
    MakeReal(lreal, 1e300, TYPE_LREAL);
    double d = 0;
    EXPECT_EQ(TiConstantToLREAL(lreal, &d), 0);
    EXPECT_EQ(d, 1e300);
    // A REAL# prefix refuses LREAL after writing the value.
    MakeReal(lreal, 2.5, TYPE_REAL);
    EXPECT_EQ(TiConstantToLREAL(lreal, &d), LIT_REAL_REQUIRED);
    EXPECT_EQ(d, 2.5);
}

TEST(IecConstantConvert, DateAndTimeKindsCopyTheirValue) {
    IEC_CONSTANT k;
    uint32_t ms = 0;
    MakeTime(k, 4294967295u);
    EXPECT_EQ(TiConstantToTIME(k, &ms), 0);
    EXPECT_EQ(ms, 4294967295u);

    MakeTod(k, 86399999);
    EXPECT_EQ(TiConstantToTOD(k, &ms), 0);
    EXPECT_EQ(ms, 86399999u);
    EXPECT_EQ(TiConstantToTIME(k, &ms), LIT_TIME_REQUIRED);
    EXPECT_EQ(ms, 0u);

    unsigned short date = 0;
    MakeDate(k, PackDate(2003, 3, 5));
    EXPECT_EQ(TiConstantToDATE(k, &date), 0);
    EXPECT_EQ(date, (2003 - 1980) * 512 + 3 * 32 + 5);
    // A prefix naming another type turns the result into the kind code.
    MakeDate(k, 100, TYPE_TIME);
    EXPECT_EQ(TiConstantToDATE(k, &date), LIT_DATE_REQUIRED);
    EXPECT_EQ(date, 100);

    IEC_DT dt{};
    MakeDT(k, 45296789, PackDate(2107, 12, 31));
    EXPECT_EQ(TiConstantToDT(k, &dt), 0);
    EXPECT_EQ(dt.tod, 45296789u);
    EXPECT_EQ(dt.date, PackDate(2107, 12, 31));

    IEC_CONSTANT s;
    MakeString(s, "abc");
    char* text = nullptr;
    EXPECT_EQ(TiConstantToSTRING(s, &text), 0);
    EXPECT_EQ(text, s.value.str); // not a copy
}

TEST(IecConstantDate, PacksAndUnpacks) {
    struct Case {
        int y, m, d;
        uint16_t packed;
    };
    const Case cases[] = {
        {1980, 1, 1, 33}, {2003, 3, 5, 11877}, {2107, 12, 31, 65439}, {1980, 0, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.packed);
        EXPECT_EQ(PackDate(c.y, c.m, c.d), c.packed);
        EXPECT_EQ(PackedYear(c.packed), c.y);
        EXPECT_EQ(PackedMonth(c.packed), c.m);
        EXPECT_EQ(PackedDay(c.packed), c.d);
    }
}

// A constant described for the type-choice and GetVal tables.
struct Lit {
    enum Kind { Int, Real, Bool, Time, Date, Tod, DT, Str, None } kind;
    const char* text; // digits, or the string text
    uint16_t base;
    int16_t typeId;
    double real;
};

void Build(IEC_CONSTANT& c, const Lit& l) {
    switch (l.kind) {
    case Lit::Int:
        MakeInt(c, l.text, l.base, l.typeId);
        break;
    case Lit::Real:
        MakeReal(c, l.real, l.typeId);
        break;
    case Lit::Bool:
        MakeBool(c, static_cast<int32_t>(l.real), l.typeId);
        break;
    case Lit::Time:
        MakeTime(c, 1500, l.typeId);
        break;
    case Lit::Date:
        MakeDate(c, PackDate(2003, 3, 5), l.typeId);
        break;
    case Lit::Tod:
        MakeTod(c, 45296789, l.typeId);
        break;
    case Lit::DT:
        MakeDT(c, 45296789, PackDate(2003, 3, 5), l.typeId);
        break;
    case Lit::Str:
        MakeString(c, l.text);
        c.typeId = l.typeId;
        break;
    case Lit::None:
        c.reset();
        c.typeId = l.typeId;
        break;
    }
}

TEST(IecConstantType, GetElemDTypeIdPicksTheSmallestFittingType) {
    const int16_t M = UNTYPED_INT;
    struct Case {
        const char* name;
        Lit lit;
        short expected;
    };
    const Case cases[] = {
        {"0 no marker", {Lit::Int, "0", CONST_DECIMAL, 0, 0}, TYPE_INT},
        {"0", {Lit::Int, "0", CONST_DECIMAL, M, 0}, TYPE_INT},
        {"INT max", {Lit::Int, "32767", CONST_DECIMAL, M, 0}, TYPE_INT},
        {"INT max+1", {Lit::Int, "32768", CONST_DECIMAL, M, 0}, TYPE_DINT},
        {"40000", {Lit::Int, "40000", CONST_DECIMAL, M, 0}, TYPE_DINT},
        {"INT min", {Lit::Int, "-32768", CONST_DECIMAL, UNTYPED_SIGNED, 0}, TYPE_INT},
        {"INT min-1", {Lit::Int, "-32769", CONST_DECIMAL, UNTYPED_SIGNED, 0}, TYPE_DINT},
        {"DINT max+1", {Lit::Int, "2147483648", CONST_DECIMAL, M, 0}, TYPE_LINT},
        {"DINT min-1", {Lit::Int, "-2147483649", CONST_DECIMAL, UNTYPED_SIGNED, 0}, TYPE_LINT},
        {"LINT max", {Lit::Int, "9223372036854775807", CONST_DECIMAL, M, 0}, TYPE_LINT},
        {"LINT max+1", {Lit::Int, "9223372036854775808", CONST_DECIMAL, M, 0}, TYPE_ULINT},
        {"ULINT max", {Lit::Int, "18446744073709551615", CONST_DECIMAL, M, 0}, TYPE_ULINT},
        {"ULINT max+1", {Lit::Int, "18446744073709551616", CONST_DECIMAL, M, 0}, M},
        {"LINT min-1",
         {Lit::Int, "-9223372036854775809", CONST_DECIMAL, UNTYPED_SIGNED, 0},
         UNTYPED_SIGNED},
        {"16#FFFF untyped is INT", {Lit::Int, "FFFF", CONST_HEX, M, 0}, TYPE_INT},
        {"16#10000 untyped is DINT", {Lit::Int, "10000", CONST_HEX, M, 0}, TYPE_DINT},
        {"16#FFFF bits", {Lit::Int, "FFFF", CONST_HEX, UNTYPED_BITS, 0}, TYPE_WORD},
        {"16#10000 bits", {Lit::Int, "10000", CONST_HEX, UNTYPED_BITS, 0}, TYPE_DWORD},
        {"16#FFFFFFFF bits", {Lit::Int, "FFFFFFFF", CONST_HEX, UNTYPED_BITS, 0}, TYPE_DWORD},
        {"16#100000000 bits", {Lit::Int, "100000000", CONST_HEX, UNTYPED_BITS, 0}, TYPE_LWORD},
        {"bits beyond 64", {Lit::Int, "10000000000000000", CONST_HEX, UNTYPED_BITS, 0}, TYPE_LWORD},
        {"real 1.5", {Lit::Real, "", 0, UNTYPED_REAL, 1.5}, TYPE_REAL},
        {"real 1e-40", {Lit::Real, "", 0, UNTYPED_REAL, 1e-40}, TYPE_REAL},
        {"real 1e39", {Lit::Real, "", 0, UNTYPED_REAL, 1e39}, TYPE_LREAL},
        {"real no marker", {Lit::Real, "", 0, 0, 1e39}, TYPE_LREAL},
        {"real with 4713 stays", {Lit::Real, "", 0, UNTYPED_BITS, 1.0}, UNTYPED_BITS},
        {"time", {Lit::Time, "", 0, 0, 0}, TYPE_TIME},
        {"date", {Lit::Date, "", 0, 0, 0}, TYPE_DATE},
        {"dt", {Lit::DT, "", 0, 0, 0}, TYPE_DATE_AND_TIME},
        {"tod", {Lit::Tod, "", 0, 0, 0}, TYPE_TIME_OF_DAY},
        {"string", {Lit::Str, "abc", 0, 0, 0}, TYPE_STRING},
        {"bool without prefix", {Lit::Bool, "", 0, 0, 1}, 0},
        {"nothing", {Lit::None, "", 0, 0, 0}, 0},
        {"nothing 4711", {Lit::None, "", 0, M, 0}, M},
        {"prefix kept", {Lit::Int, "40000", CONST_DECIMAL, TYPE_INT, 0}, TYPE_INT},
        {"prefix USINT kept", {Lit::Int, "1", CONST_DECIMAL, TYPE_USINT, 0}, TYPE_USINT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IEC_CONSTANT k;
        Build(k, c.lit);
        EXPECT_EQ(k.GetElemDTypeID(), c.expected);
    }
}

TEST(IecConstantGetVal, WritesTheValueOfTheChosenTypeWithItsSize) {
    const int16_t M = UNTYPED_INT;
    struct Case {
        const char* name;
        Lit lit;
        unsigned short lenIn;
        short rc;
        unsigned short lenOut;
        std::vector<unsigned char> bytes;
    };
    const Case cases[] = {
        {"INT 5", {Lit::Int, "5", CONST_DECIMAL, M, 0}, 2, 0, 2, {5, 0}},
        {"INT 5 roomy buffer", {Lit::Int, "5", CONST_DECIMAL, M, 0}, 8, 0, 2, {5, 0}},
        {"INT 5 one byte short", {Lit::Int, "5", CONST_DECIMAL, M, 0}, 1, 1, 0, {}},
        {"INT -1", {Lit::Int, "-1", CONST_DECIMAL, UNTYPED_SIGNED, 0}, 2, 0, 2, {0xFF, 0xFF}},
        {"DINT 40000", {Lit::Int, "40000", CONST_DECIMAL, M, 0}, 4, 0, 4, {0x40, 0x9C, 0, 0}},
        {"16#FFFF as INT bits", {Lit::Int, "FFFF", CONST_HEX, M, 0}, 2, 0, 2, {0xFF, 0xFF}},
        {"WORD", {Lit::Int, "FFFF", CONST_HEX, UNTYPED_BITS, 0}, 2, 0, 2, {0xFF, 0xFF}},
        {"LWORD",
         {Lit::Int, "100000000", CONST_HEX, UNTYPED_BITS, 0},
         8,
         0,
         8,
         {0, 0, 0, 0, 1, 0, 0, 0}},
        {"LWORD beyond 64 bits",
         {Lit::Int, "10000000000000000", CONST_HEX, UNTYPED_BITS, 0},
         8,
         LIT_OUT_OF_RANGE,
         0,
         {}},
        {"LINT -2^32",
         {Lit::Int, "-4294967296", CONST_DECIMAL, UNTYPED_SIGNED, 0},
         8,
         0,
         8,
         {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"ULINT max",
         {Lit::Int, "18446744073709551615", CONST_DECIMAL, M, 0},
         8,
         0,
         8,
         {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"too big for any type",
         {Lit::Int, "18446744073709551616", CONST_DECIMAL, M, 0},
         8,
         1,
         0,
         {}},
        {"INT# prefix out of range",
         {Lit::Int, "40000", CONST_DECIMAL, TYPE_INT, 0},
         2,
         LIT_OUT_OF_RANGE,
         0,
         {}},
        {"SINT# prefix", {Lit::Int, "-1", CONST_DECIMAL, TYPE_SINT, 0}, 1, 0, 1, {0xFF}},
        {"BOOL# prefix", {Lit::Bool, "", 0, TYPE_BOOL, 1}, 1, 0, 1, {1}},
        {"BOOL without type", {Lit::Bool, "", 0, 0, 1}, 1, 1, 0, {}},
        {"REAL 1.5", {Lit::Real, "", 0, UNTYPED_REAL, 1.5}, 4, 0, 4, {0, 0, 0xC0, 0x3F}},
        {"LREAL 1e39",
         {Lit::Real, "", 0, UNTYPED_REAL, 1e39},
         8,
         0,
         8,
         {0x1D, 0x4A, 0x9C, 0xF4, 0x87, 0x82, 0x07, 0x48}},
        {"REAL# prefix out of range",
         {Lit::Real, "", 0, TYPE_REAL, 1e39},
         4,
         LIT_OUT_OF_RANGE,
         0,
         {}},
        {"real with INT# prefix", {Lit::Real, "", 0, TYPE_INT, 1.0}, 8, 1, 0, {}},
        {"TIME", {Lit::Time, "", 0, TYPE_TIME, 0}, 4, 0, 4, {0xDC, 0x05, 0, 0}},
        {"DATE", {Lit::Date, "", 0, TYPE_DATE, 0}, 2, 0, 2, {0x65, 0x2E}},
        {"DT",
         {Lit::DT, "", 0, TYPE_DATE_AND_TIME, 0},
         8,
         0,
         8,
         {0x95, 0x2C, 0xB3, 0x02, 0x65, 0x2E, 0, 0}},
        {"TOD", {Lit::Tod, "", 0, TYPE_TIME_OF_DAY, 0}, 4, 0, 4, {0x95, 0x2C, 0xB3, 0x02}},
        {"TOD one byte short", {Lit::Tod, "", 0, TYPE_TIME_OF_DAY, 0}, 3, 1, 0, {}},
        {"STRING", {Lit::Str, "abc", 0, TYPE_STRING, 0}, 4, 0, 4, {'a', 'b', 'c', 0}},
        {"STRING without room for the zero", {Lit::Str, "abc", 0, TYPE_STRING, 0}, 3, 1, 0, {}},
        {"empty STRING", {Lit::Str, "", 0, TYPE_STRING, 0}, 1, 0, 1, {0}},
        {"nothing", {Lit::None, "", 0, 0, 0}, 8, 1, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IEC_CONSTANT k;
        Build(k, c.lit);
        unsigned char out[16];
        std::memset(out, 0xAA, sizeof out);
        unsigned short len = c.lenIn;
        EXPECT_EQ(k.GetVal(out, len), c.rc);
        EXPECT_EQ(len, c.lenOut);
        // The first lenIn bytes were cleared and then hold the value; nothing
        // beyond lenIn was touched.
        std::vector<unsigned char> expected(c.lenIn, 0);
        std::copy(c.bytes.begin(), c.bytes.end(), expected.begin());
        for (unsigned i = 0; i < c.lenIn; ++i) {
            EXPECT_EQ(out[i], expected[i]) << "byte " << i;
        }
        for (unsigned i = c.lenIn; i < sizeof out; ++i) {
            EXPECT_EQ(out[i], 0xAA) << "byte " << i;
        }
    }
}

TEST(IecConstantGetVal, NullOutputOnlyMeasures) {
    struct Case {
        const char* name;
        Lit lit;
        short rc;
        unsigned short len;
    };
    const Case cases[] = {
        {"INT", {Lit::Int, "5", CONST_DECIMAL, UNTYPED_INT, 0}, 0, 2},
        {"ULINT", {Lit::Int, "9223372036854775808", CONST_DECIMAL, UNTYPED_INT, 0}, 0, 8},
        {"REAL", {Lit::Real, "", 0, UNTYPED_REAL, 1.5}, 0, 4},
        {"STRING", {Lit::Str, "hello", 0, TYPE_STRING, 0}, 0, 6},
        {"DT", {Lit::DT, "", 0, TYPE_DATE_AND_TIME, 0}, 0, 8},
        {"unsupported", {Lit::None, "", 0, 0, 0}, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IEC_CONSTANT k;
        Build(k, c.lit);
        unsigned short len = 0; // ignored on input
        EXPECT_EQ(k.GetVal(nullptr, len), c.rc);
        EXPECT_EQ(len, c.len);
    }
}

} // namespace
