// Tests of TiDigit: exact digit accumulation in every base across the 32/64-bit
// and 64-bit/double switches, range read-outs with saturation, arithmetic.
#include "base/TiDigit.h"
#include "base/TiLitStatus.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

namespace {

// Appends every character of `digits` in `base`; fails the test on a rejected one.
TiDigit Accumulate(unsigned base, const std::string& digits) {
    TiDigit d;
    for (char ch : digits) {
        short rc = 0;
        switch (base) {
        case 2:
            rc = d.AppendDigit2(ch);
            break;
        case 8:
            rc = d.AppendDigit8(ch);
            break;
        case 16:
            rc = d.AppendDigit16(ch);
            break;
        default:
            rc = d.AppendDigit10(ch);
            break;
        }
        EXPECT_EQ(rc, 0) << "digit " << ch;
    }
    return d;
}

// A decimal value with optional leading '-'.
TiDigit Decimal(const std::string& text) {
    const bool neg = !text.empty() && text[0] == '-';
    TiDigit d = Accumulate(10, neg ? text.substr(1) : text);
    if (neg) {
        d.Negate();
    }
    return d;
}

struct AccumulateCase {
    const char* name;
    unsigned base;
    std::string digits;
    unsigned char state;
    uint32_t high;
    uint32_t low;
    short relDigits;
    short leadingZeros;
    double approx; // value expected in state 3
};

TEST(TiDigitAccumulate, SwitchesExactlyAtTheBoundaryDigitsOfEveryBase) {
    const AccumulateCase cases[] = {
        {"empty", 10, "", 0, 0, 0, 0, 0, 0},
        {"one zero", 10, "0", 0, 0, 0, 0, 1, 0},
        {"zeros then 7", 10, "007", 1, 0, 7, 1, 2, 0},
        {"dec 9 digits", 10, "999999999", 1, 0, 999999999, 9, 0, 0},
        {"dec 2^32-1", 10, "4294967295", 1, 0, 0xFFFFFFFF, 10, 0, 0},
        {"dec 2^32", 10, "4294967296", 2, 1, 0, 10, 0, 0},
        {"dec 10 nines", 10, "9999999999", 2, 2, 1410065407, 10, 0, 0},
        {"dec 11 digits", 10, "42949672950", 2, 9, 4294967286u, 11, 0, 0},
        {"dec 2^64-1", 10, "18446744073709551615", 2, 0xFFFFFFFF, 0xFFFFFFFF, 20, 0, 0},
        {"dec 2^64", 10, "18446744073709551616", 3, 0, 0, 20, 0, 18446744073709551616.0},
        {"dec 2^64*10", 10, "184467440737095516160", 3, 0, 0, 21, 0, 184467440737095516160.0},
        {"dec leading zeros 2^64-1", 10, "0018446744073709551615", 2, 0xFFFFFFFF, 0xFFFFFFFF, 20, 2,
         0},
        {"hex 8 digits", 16, "FFFFFFFF", 1, 0, 0xFFFFFFFF, 8, 0, 0},
        {"hex 9 digits", 16, "100000000", 2, 1, 0, 9, 0, 0},
        {"hex FFFFFFFF0", 16, "FFFFFFFF0", 2, 0xF, 0xFFFFFFF0, 9, 0, 0},
        {"hex 16 digits", 16, "ffffffffffffffff", 2, 0xFFFFFFFF, 0xFFFFFFFF, 16, 0, 0},
        {"hex 17 digits", 16, "10000000000000000", 3, 0, 0, 17, 0, 18446744073709551616.0},
        {"hex mixed case", 16, "aBcDeF", 1, 0, 0xABCDEF, 6, 0, 0},
        {"oct 10 digits", 8, "7777777777", 1, 0, 07777777777, 10, 0, 0},
        {"oct 2^32-1", 8, "37777777777", 1, 0, 0xFFFFFFFF, 11, 0, 0},
        {"oct 2^32", 8, "40000000000", 2, 1, 0, 11, 0, 0},
        {"oct 11 sevens", 8, "77777777777", 2, 1, 0xFFFFFFFF, 11, 0, 0},
        {"oct 2^64-1", 8, "1777777777777777777777", 2, 0xFFFFFFFF, 0xFFFFFFFF, 22, 0, 0},
        {"oct 2^64", 8, "2000000000000000000000", 3, 0, 0, 22, 0, 18446744073709551616.0},
        {"bin 32 ones", 2, std::string(32, '1'), 1, 0, 0xFFFFFFFF, 32, 0, 0},
        {"bin 2^32", 2, "1" + std::string(32, '0'), 2, 1, 0, 33, 0, 0},
        {"bin 64 ones", 2, std::string(64, '1'), 2, 0xFFFFFFFF, 0xFFFFFFFF, 64, 0, 0},
        {"bin 2^64", 2, "1" + std::string(64, '0'), 3, 0, 0, 65, 0, 18446744073709551616.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TiDigit d = Accumulate(c.base, c.digits);
        EXPECT_EQ(d.State(), c.state);
        EXPECT_EQ(d.NRelDigits(), c.relDigits);
        EXPECT_EQ(d.NLeading0(), c.leadingZeros);
        EXPECT_FALSE(d.IsNegative());
        if (c.state == 3) {
            double v = 0;
            EXPECT_EQ(d.GetDoubleVal(&v), 0);
            EXPECT_DOUBLE_EQ(v, c.approx);
        } else {
            EXPECT_EQ(d.High(), c.high);
            EXPECT_EQ(d.Low(), c.low);
        }
    }
}

TEST(TiDigitAccumulate, StepsOneDigitAcrossEachSwitch) {
    struct Case {
        const char* name;
        unsigned base;
        const char* prefix;
        char last;
        unsigned char stateBefore;
        unsigned char stateAfter;
    };
    const Case cases[] = {
        {"dec 429496729 +5 stays", 10, "429496729", '5', 1, 1},
        {"dec 429496729 +6 moves", 10, "429496729", '6', 1, 2},
        {"dec 1844674407370955161 +5 stays", 10, "1844674407370955161", '5', 2, 2},
        {"dec 1844674407370955161 +6 moves", 10, "1844674407370955161", '6', 2, 3},
        {"hex FFFFFFF +F stays", 16, "FFFFFFF", 'F', 1, 1},
        {"hex FFFFFFFF +0 moves", 16, "FFFFFFFF", '0', 1, 2},
        {"hex 15xF +F stays", 16, "FFFFFFFFFFFFFFF", 'F', 2, 2},
        {"hex 16xF +0 moves", 16, "FFFFFFFFFFFFFFFF", '0', 2, 3},
        {"oct 3777777777 +7 stays", 8, "3777777777", '7', 1, 1},
        {"oct 4000000000 +0 moves", 8, "4000000000", '0', 1, 2},
        {"oct 177777777777777777777 +7 stays", 8, "177777777777777777777", '7', 2, 2},
        {"oct 200000000000000000000 +0 moves", 8, "200000000000000000000", '0', 2, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TiDigit d = Accumulate(c.base, c.prefix);
        EXPECT_EQ(d.State(), c.stateBefore);
        const TiDigit after = [&] {
            TiDigit x = d;
            EXPECT_EQ(c.base == 16  ? x.AppendDigit16(c.last)
                      : c.base == 8 ? x.AppendDigit8(c.last)
                                    : x.AppendDigit10(c.last),
                      0);
            return x;
        }();
        EXPECT_EQ(after.State(), c.stateAfter);
    }
}

TEST(TiDigitAccumulate, RejectsCharactersOutsideTheBaseAndChangesNothing) {
    struct Case {
        const char* name;
        unsigned base;
        short ch;
        short rc;
    };
    const Case cases[] = {
        {"dec slash", 10, '/', iec::LIT_BAD_DECIMAL_DIGIT},
        {"dec colon", 10, ':', iec::LIT_BAD_DECIMAL_DIGIT},
        {"dec letter a", 10, 'a', iec::LIT_BAD_DECIMAL_DIGIT},
        {"dec underscore", 10, '_', iec::LIT_BAD_DECIMAL_DIGIT},
        {"dec zero char", 10, 0, iec::LIT_BAD_DECIMAL_DIGIT},
        {"dec high short", 10, 0x130, iec::LIT_BAD_DECIMAL_DIGIT},
        {"dec negative", 10, -48, iec::LIT_BAD_DECIMAL_DIGIT},
        {"hex at", 16, '@', iec::LIT_BAD_HEX_DIGIT},
        {"hex G", 16, 'G', iec::LIT_BAD_HEX_DIGIT},
        {"hex backtick", 16, '`', iec::LIT_BAD_HEX_DIGIT},
        {"hex g", 16, 'g', iec::LIT_BAD_HEX_DIGIT},
        {"oct 8", 8, '8', iec::LIT_BAD_OCTAL_DIGIT},
        {"oct 9", 8, '9', iec::LIT_BAD_OCTAL_DIGIT},
        {"oct a", 8, 'a', iec::LIT_BAD_OCTAL_DIGIT},
        {"bin 2", 2, '2', iec::LIT_BAD_BINARY_DIGIT},
        {"bin slash", 2, '/', iec::LIT_BAD_BINARY_DIGIT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::string& start :
             {std::string(""), std::string("1"), std::string("100000000000000000000")}) {
            // The last start is in state 2 for bases 8 and 10, state 3 for 16.
            const std::string prefix = c.base == 2 ? std::string(start.size(), '1') : start;
            TiDigit d = Accumulate(c.base, prefix);
            const TiDigit before = d;
            short rc = 0;
            switch (c.base) {
            case 2:
                rc = d.AppendDigit2(c.ch);
                break;
            case 8:
                rc = d.AppendDigit8(c.ch);
                break;
            case 16:
                rc = d.AppendDigit16(c.ch);
                break;
            default:
                rc = d.AppendDigit10(c.ch);
                break;
            }
            EXPECT_EQ(rc, c.rc);
            EXPECT_EQ(d.State(), before.State());
            EXPECT_EQ(d.Low(), before.Low());
            EXPECT_EQ(d.High(), before.High());
            EXPECT_EQ(d.NRelDigits(), before.NRelDigits());
            EXPECT_EQ(d.NLeading0(), before.NLeading0());
        }
    }
}

TEST(TiDigitAccumulate, CountersSaturateInsteadOfWrappingToZero) {
    // 40000 significant digits: a wrapped 16-bit count would read as 0 digits,
    // i.e. the value 0.
    TiDigit d = Accumulate(10, std::string(40000, '9'));
    EXPECT_EQ(d.NRelDigits(), INT16_MAX);
    EXPECT_EQ(d.State(), 3);
    int32_t v = 0;
    EXPECT_EQ(d.GetINT32Val(&v), iec::LIT_OUT_OF_RANGE);
    EXPECT_EQ(v, INT32_MAX);
    double dbl = 0;
    EXPECT_EQ(d.GetDoubleVal(&dbl), 0);
    EXPECT_TRUE(std::isinf(dbl));

    TiDigit z = Accumulate(10, std::string(40000, '0'));
    EXPECT_EQ(z.NLeading0(), INT16_MAX);
    EXPECT_EQ(z.NRelDigits(), 0);
    EXPECT_EQ(z.GetINT32Val(&v), 0);
    EXPECT_EQ(v, 0);
}

TEST(TiDigitSet, SetsMagnitudeSignAndDigitCount) {
    struct Case {
        const char* name;
        int32_t v;
        uint32_t low;
        bool negative;
        short relDigits;
    };
    const Case cases[] = {
        {"zero", 0, 0, false, 0},
        {"one", 1, 1, false, 1},
        {"minus one", -1, 1, true, 1},
        {"max", INT32_MAX, 0x7FFFFFFF, false, 1},
        {"min", INT32_MIN, 0x80000000u, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TiDigit d = Accumulate(10, "123456789012345678901234"); // state 3 before
        d.Set(c.v);
        EXPECT_EQ(d.State(), 1);
        EXPECT_EQ(d.Low(), c.low);
        EXPECT_EQ(d.High(), 0u);
        EXPECT_EQ(d.IsNegative(), c.negative);
        EXPECT_EQ(d.NRelDigits(), c.relDigits);
        EXPECT_EQ(d.NLeading0(), 0);
        int32_t back = 0;
        EXPECT_EQ(d.GetINT32Val(&back), 0);
        EXPECT_EQ(back, c.v);
    }
}

TEST(TiDigitSet, AppendingAfterSetStaysExact) {
    // Set() counts one digit whatever the magnitude; the switch to 64 bits
    // must still happen before the low word overflows.
    TiDigit d;
    d.Set(INT32_MAX);
    ASSERT_EQ(d.AppendDigit10('9'), 0);
    EXPECT_EQ(d.State(), 2);
    TI_INT64 v{};
    EXPECT_EQ(d.GetINT64Val(&v), 0);
    const int64_t value = (static_cast<int64_t>(v.high) << 32) | v.low;
    EXPECT_EQ(value, 21474836479LL);
}

enum class ReadOut { U8, I8, U16, I16, U32, I32, U64, I64 };

// Runs one read-out and widens its output for comparison.
short Read(const TiDigit& d, ReadOut r, long double& out) {
    short rc = 0;
    switch (r) {
    case ReadOut::U8: {
        uint8_t v = 77;
        rc = d.GetUINT8Val(&v);
        out = v;
        break;
    }
    case ReadOut::I8: {
        int8_t v = 77;
        rc = d.GetINT8Val(&v);
        out = v;
        break;
    }
    case ReadOut::U16: {
        uint16_t v = 77;
        rc = d.GetUINT16Val(&v);
        out = v;
        break;
    }
    case ReadOut::I16: {
        int16_t v = 77;
        rc = d.GetINT16Val(&v);
        out = v;
        break;
    }
    case ReadOut::U32: {
        uint32_t v = 77;
        rc = d.GetUINT32Val(&v);
        out = v;
        break;
    }
    case ReadOut::I32: {
        int32_t v = 77;
        rc = d.GetINT32Val(&v);
        out = v;
        break;
    }
    case ReadOut::U64: {
        TI_UINT64 v{77, 77};
        rc = d.GetUINT64Val(&v);
        out = static_cast<long double>((static_cast<uint64_t>(v.high) << 32) | v.low);
        break;
    }
    case ReadOut::I64: {
        TI_INT64 v{77, 77};
        rc = d.GetINT64Val(&v);
        const uint64_t bits = (static_cast<uint64_t>(static_cast<uint32_t>(v.high)) << 32) | v.low;
        out = static_cast<long double>(static_cast<int64_t>(bits));
        break;
    }
    }
    return rc;
}

TEST(TiDigitReadOut, FitsOrSaturatesAtTheNearestLimit) {
    constexpr short R = iec::LIT_OUT_OF_RANGE;
    struct Case {
        const char* name;
        ReadOut r;
        const char* value;
        short rc;
        long double out;
    };
    const Case cases[] = {
        {"u8 zero", ReadOut::U8, "0", 0, 0},
        {"u8 negative zero", ReadOut::U8, "-0", 0, 0},
        {"u8 max", ReadOut::U8, "255", 0, 255},
        {"u8 max+1", ReadOut::U8, "256", R, 255},
        {"u8 -1", ReadOut::U8, "-1", R, 0},
        {"u8 state 2", ReadOut::U8, "4294967296", R, 255},
        {"u8 state 3", ReadOut::U8, "18446744073709551616", R, 255},
        {"i8 max", ReadOut::I8, "127", 0, 127},
        {"i8 max+1", ReadOut::I8, "128", R, 127},
        {"i8 min", ReadOut::I8, "-128", 0, -128},
        {"i8 min-1", ReadOut::I8, "-129", R, -128},
        {"i8 -255", ReadOut::I8, "-255", R, -128},
        {"i8 -256", ReadOut::I8, "-256", R, -128},
        {"i8 -2^32", ReadOut::I8, "-4294967296", R, -128},
        {"u16 max", ReadOut::U16, "65535", 0, 65535},
        {"u16 max+1", ReadOut::U16, "65536", R, 65535},
        {"u16 -1", ReadOut::U16, "-1", R, 0},
        {"i16 max", ReadOut::I16, "32767", 0, 32767},
        {"i16 max+1", ReadOut::I16, "32768", R, 32767},
        {"i16 min", ReadOut::I16, "-32768", 0, -32768},
        {"i16 min-1", ReadOut::I16, "-32769", R, -32768},
        {"i16 -65536", ReadOut::I16, "-65536", R, -32768},
        {"u32 max", ReadOut::U32, "4294967295", 0, 4294967295.0L},
        {"u32 max+1", ReadOut::U32, "4294967296", R, 4294967295.0L},
        {"u32 -1", ReadOut::U32, "-1", R, 0},
        {"u32 -2^32", ReadOut::U32, "-4294967296", R, 0},
        {"i32 max", ReadOut::I32, "2147483647", 0, 2147483647},
        {"i32 max+1", ReadOut::I32, "2147483648", R, 2147483647},
        {"i32 min", ReadOut::I32, "-2147483648", 0, -2147483648.0L},
        {"i32 min-1", ReadOut::I32, "-2147483649", R, -2147483648.0L},
        {"i32 state 2 negative", ReadOut::I32, "-4294967296", R, -2147483648.0L},
        {"u64 2^32", ReadOut::U64, "4294967296", 0, 4294967296.0L},
        {"u64 max", ReadOut::U64, "18446744073709551615", 0, 18446744073709551615.0L},
        {"u64 max+1", ReadOut::U64, "18446744073709551616", R, 18446744073709551615.0L},
        {"u64 -1", ReadOut::U64, "-1", R, 0},
        {"u64 -2^64", ReadOut::U64, "-18446744073709551616", R, 0},
        {"i64 zero", ReadOut::I64, "0", 0, 0},
        {"i64 -1", ReadOut::I64, "-1", 0, -1},
        {"i64 -2^32", ReadOut::I64, "-4294967296", 0, -4294967296.0L},
        {"i64 max", ReadOut::I64, "9223372036854775807", 0, 9223372036854775807.0L},
        {"i64 max+1", ReadOut::I64, "9223372036854775808", R, 9223372036854775807.0L},
        {"i64 min", ReadOut::I64, "-9223372036854775808", 0, -9223372036854775808.0L},
        {"i64 min-1", ReadOut::I64, "-9223372036854775809", R, -9223372036854775808.0L},
        {"i64 state 3", ReadOut::I64, "18446744073709551616", R, 9223372036854775807.0L},
        {"i64 state 3 negative", ReadOut::I64, "-18446744073709551616", R, -9223372036854775808.0L},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TiDigit d = Decimal(c.value);
        long double out = -999;
        EXPECT_EQ(Read(d, c.r, out), c.rc);
        EXPECT_EQ(out, c.out);
    }
}

TEST(TiDigitReadOut, NullOutputGivesMinusOne) {
    const TiDigit d = Decimal("5");
    EXPECT_EQ(d.GetUINT8Val(nullptr), -1);
    EXPECT_EQ(d.GetINT8Val(nullptr), -1);
    EXPECT_EQ(d.GetUINT16Val(nullptr), -1);
    EXPECT_EQ(d.GetINT16Val(nullptr), -1);
    EXPECT_EQ(d.GetUINT32Val(nullptr), -1);
    EXPECT_EQ(d.GetINT32Val(nullptr), -1);
    EXPECT_EQ(d.GetUINT64Val(nullptr), -1);
    EXPECT_EQ(d.GetINT64Val(nullptr), -1);
    EXPECT_EQ(d.GetDoubleVal(nullptr), -1);
}

TEST(TiDigitReadOut, DoubleValueOfEveryState) {
    struct Case {
        const char* name;
        const char* value;
        double expected;
    };
    const Case cases[] = {
        {"state 0", "000", 0.0},
        {"state 1", "4294967295", 4294967295.0},
        {"state 1 negative", "-7", -7.0},
        {"state 2", "4294967297", 4294967297.0},
        {"state 2 2^53+1 rounds", "9007199254740993", 9007199254740992.0},
        {"state 2 negative", "-18446744073709551615", -18446744073709551615.0},
        {"state 3", "100000000000000000000", 1e20},
        {"state 3 negative", "-100000000000000000000", -1e20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        double v = -1;
        EXPECT_EQ(Decimal(c.value).GetDoubleVal(&v), 0);
        EXPECT_DOUBLE_EQ(v, c.expected);
    }
}

enum class Op { Add, Sub, Mul, Div };

TEST(TiDigitArithmetic, ResultsWithinThirtyTwoBitsReplaceTheDigit) {
    constexpr short R = iec::LIT_OUT_OF_RANGE;
    struct Case {
        const char* name;
        Op op;
        const char* a;
        const char* b;
        short rc;
        long double result; // the value afterwards (a itself on failure)
        short relDigits;
    };
    const Case cases[] = {
        {"add small", Op::Add, "1", "2", 0, 3, -1},
        {"add to zero", Op::Add, "2", "-2", 0, 0, 0},
        {"add max", Op::Add, "4294967295", "0", 0, 4294967295.0L, -1},
        {"add one past max", Op::Add, "4294967295", "1", R, 4294967295.0L, 10},
        {"add negative max", Op::Add, "-4294967295", "0", 0, -4294967295.0L, -1},
        {"add one past negative max", Op::Add, "-4294967295", "-1", R, -4294967295.0L, 10},
        {"add exact 64-bit difference", Op::Add, "9223372036854775807", "-9223372036854775806", 0,
         1, -1},
        {"add exact 2^64-1 minus", Op::Add, "18446744073709551615", "-18446744073709551614", 0, 1,
         -1},
        // The value afterwards is compared through its double: 2^64-1 rounds to 2^64.
        {"add 64-bit overflow", Op::Add, "18446744073709551615", "18446744073709551615", R,
         18446744073709551616.0L, 20},
        {"add state 3 cancels", Op::Add, "18446744073709551616", "-18446744073709551616", 0, 0, 0},
        {"add state 3 too big", Op::Add, "18446744073709551616", "1", R, 18446744073709551616.0L,
         20},
        {"sub", Op::Sub, "5", "7", 0, -2, -1},
        {"sub to negative max", Op::Sub, "0", "4294967295", 0, -4294967295.0L, -1},
        {"sub past negative max", Op::Sub, "0", "4294967296", R, 0, 0},
        {"sub negative", Op::Sub, "-5", "-5", 0, 0, 0},
        {"mul max", Op::Mul, "65535", "65537", 0, 4294967295.0L, -1},
        {"mul past max", Op::Mul, "65536", "65536", R, 65536, 5},
        {"mul signs", Op::Mul, "-3", "4", 0, -12, -1},
        {"mul two negatives", Op::Mul, "-3", "-4", 0, 12, -1},
        {"mul zero", Op::Mul, "0", "-4294967295", 0, 0, 0},
        {"mul operand past 32 bits", Op::Mul, "4294967296", "0", R, 4294967296.0L, 10},
        {"mul negative operand past 32 bits", Op::Mul, "0", "-4294967296", R, 0, 0},
        {"div truncates", Op::Div, "7", "2", 0, 3, -1},
        {"div truncates negative toward zero", Op::Div, "-7", "2", 0, -3, -1},
        {"div by negative", Op::Div, "7", "-2", 0, -3, -1},
        {"div fraction to zero", Op::Div, "-1", "2", 0, 0, 0},
        {"div max", Op::Div, "4294967295", "1", 0, 4294967295.0L, -1},
        {"div by zero", Op::Div, "7", "0", R, 7, 1},
        {"div operand past 32 bits", Op::Div, "4294967296", "4294967296", R, 4294967296.0L, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TiDigit a = Decimal(c.a);
        const TiDigit b = Decimal(c.b);
        short rc = 0;
        switch (c.op) {
        case Op::Add:
            rc = a.Add(b);
            break;
        case Op::Sub:
            rc = a.Sub(b);
            break;
        case Op::Mul:
            rc = a.Mul(b);
            break;
        case Op::Div:
            rc = a.Div(b);
            break;
        }
        EXPECT_EQ(rc, c.rc);
        double v = 0;
        EXPECT_EQ(a.GetDoubleVal(&v), 0);
        EXPECT_EQ(static_cast<long double>(v), c.result);
        EXPECT_EQ(a.NRelDigits(), c.relDigits);
        if (rc == 0) {
            EXPECT_EQ(a.State(), 1);
            EXPECT_EQ(a.NLeading0(), 0);
            EXPECT_EQ(a.IsNegative(), c.result < 0);
        }
    }
}

TEST(TiDigitArithmetic, AppendingToAResultKeepsItNonZero) {
    TiDigit a = Decimal("2");
    ASSERT_EQ(a.Add(Decimal("3")), 0);
    ASSERT_EQ(a.NRelDigits(), -1);
    ASSERT_EQ(a.AppendDigit10('0'), 0);
    EXPECT_NE(a.NRelDigits(), 0);
    int32_t v = 0;
    EXPECT_EQ(a.GetINT32Val(&v), 0);
    EXPECT_EQ(v, 50);
}

TEST(TiDigitNegate, TogglesTheSignOnly) {
    TiDigit d = Decimal("42");
    d.Negate();
    EXPECT_TRUE(d.IsNegative());
    int32_t v = 0;
    EXPECT_EQ(d.GetINT32Val(&v), 0);
    EXPECT_EQ(v, -42);
    d.Negate();
    EXPECT_FALSE(d.IsNegative());
    EXPECT_EQ(d.Low(), 42u);
}

} // namespace
