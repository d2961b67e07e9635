// Reductions of the literal grammar for numbers, typed literals, strings and
// names: values, kind bits, type ids and status codes.
#include "TsLiteralSupport.h"

#include "base/IecTypeIds.h"
#include "base/TiLitStatus.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

using namespace iec;
using tstest::Parse;
using tstest::Parsed;

TEST(TsParseNumber, NothingToParse) {
    struct Case {
        const char* text;
        short consumed;
    };
    const Case cases[] = {
        {"", 0}, {".5", 0}, {"+", 1}, {"-", 1}, {"#", 1}, {"+x", 2}, {"-16#FF", 6}, {"\x80", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed r = Parse(c.text);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.err, LIT_NOT_A_LITERAL);
        EXPECT_EQ(r.consumed, c.consumed);
        EXPECT_EQ(r.flags, 0);
        EXPECT_EQ(r.typeId, 0);
    }
}

TEST(TsParseNumber, Integers) {
    struct Case {
        const char* text;
        uint16_t flags;
        double value;
        const char* rest;
    };
    const Case cases[] = {
        {"0", CONST_DECIMAL, 0, ""},
        {"-0", CONST_DECIMAL | CONST_NEGATIVE, 0, ""},
        {"123", CONST_DECIMAL, 123, ""},
        {"+7", CONST_DECIMAL, 7, ""},
        {"-45", CONST_DECIMAL | CONST_NEGATIVE, -45, ""},
        {"4294967295", CONST_DECIMAL, 4294967295.0, ""},
        {"-4294967296", CONST_DECIMAL | CONST_NEGATIVE, -4294967296.0, ""},
        {"18446744073709551615", CONST_DECIMAL, 18446744073709551615.0, ""},
        {"2#1010", CONST_BINARY, 10, ""},
        {"8#777", CONST_OCTAL, 511, ""},
        {"16#FF_FF", CONST_HEX, 65535, ""},
        {"16#ff", CONST_HEX, 255, ""},
        {"1..5", CONST_DECIMAL, 1, "..5"},
        {"12;", CONST_DECIMAL, 12, ";"},
        {"12 x", CONST_DECIMAL, 12, " x"},
        {"1-2", CONST_DECIMAL, 1, "-2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed r = Parse(c.text);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.err, 0);
        EXPECT_EQ(r.flags, c.flags);
        EXPECT_EQ(r.typeId, UNTYPED_INT);
        EXPECT_TRUE(r.digitOk);
        EXPECT_EQ(r.number, c.value);
        EXPECT_EQ(r.rest, c.rest);
    }
}

TEST(TsParseNumber, MalformedIntegers) {
    struct Case {
        const char* text;
        short err;
        short errPos;
    };
    const Case cases[] = {
        {"16#_FF", LIT_BAD_HEX_DIGIT, 3},
        {"16#FF_", LIT_BAD_HEX_DIGIT, 5},
        {"16#", LIT_BAD_HEX_DIGIT, 3},
        {"2#102", LIT_BAD_BINARY_DIGIT, 4},
        {"8#8", LIT_BAD_OCTAL_DIGIT, 2},
        {"1__0", LIT_BAD_DECIMAL_DIGIT, 2},
        {"12x", LIT_BAD_DECIMAL_DIGIT, 3},
        {"1e5", LIT_BAD_DECIMAL_DIGIT, 2},
        {"16#FF#", LIT_BAD_HEX_DIGIT, 6},
        {"2#1$", LIT_BAD_BINARY_DIGIT, 4},
        {"8#7~", LIT_BAD_OCTAL_DIGIT, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed r = Parse(c.text);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.errPos, c.errPos);
    }
}

TEST(TsParseNumber, Reals) {
    struct Case {
        const char* text;
        bool negative;
        const char* asC;  // the same value written for strtod
    };
    const Case cases[] = {
        {"0.0", false, "0.0"},
        {"1.5", false, "1.5"},
        {"-0.25", true, "-0.25"},
        {"+2.5", false, "2.5"},
        {"0.1", false, "0.1"},
        {"0.3", false, "0.3"},
        {"123.456", false, "123.456"},
        {"123.456e2", false, "123.456e2"},
        {"1.5E-3", false, "1.5e-3"},
        {"1.5e+3", false, "1.5e3"},
        {"1_000.000_5", false, "1000.0005"},
        {"0.000123e-5", false, "0.000123e-5"},
        {"3.141592653589793238462643383279", false, "3.141592653589793238462643383279"},
        {"1.7976931348623157e308", false, "1.7976931348623157e308"},
        {"4.9e-324", false, "4.9e-324"},
        {"1.0e-400", false, "0.0"},   // below the double range: 0 without error
        {"0.0e99999", false, "0.0"},
        {"-1.5e-3", true, "-1.5e-3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed r = Parse(c.text);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.err, 0);
        EXPECT_EQ(r.flags, CONST_REAL | (c.negative ? CONST_NEGATIVE : 0));
        EXPECT_EQ(r.typeId, UNTYPED_REAL);
        EXPECT_EQ(r.number, std::strtod(c.asC, nullptr));
    }
}

// Reals agree with the C library to the last bit over a spread of values.
TEST(TsParseNumber, RealsAreCorrectlyRounded) {
    unsigned seed = 12345;
    for (int i = 0; i < 2000; ++i) {
        seed = seed * 1103515245u + 12345u;
        unsigned a = seed % 100000;
        seed = seed * 1103515245u + 12345u;
        unsigned b = seed % 1000000000;
        seed = seed * 1103515245u + 12345u;
        int e = static_cast<int>(seed % 600) - 300;
        std::string text = std::to_string(a) + "." + std::to_string(b) + "e" + std::to_string(e);
        SCOPED_TRACE(text);
        Parsed r = Parse(text);
        ASSERT_EQ(r.err, 0);
        ASSERT_EQ(r.number, std::strtod(text.c_str(), nullptr));
    }
}

TEST(TsParseNumber, MalformedReals) {
    struct Case {
        const char* text;
        short err;
    };
    const Case cases[] = {
        {"1.", LIT_REAL_REQUIRED},
        {"1.e5", LIT_REAL_REQUIRED},
        {"1.5e", LIT_REAL_REQUIRED},
        {"1.5e+", LIT_REAL_REQUIRED},
        {"1.5e--3", LIT_REAL_REQUIRED},
        {"1.5x", LIT_REAL_REQUIRED},
        {"1.5e3x", LIT_REAL_REQUIRED},
        {"1.5.5", LIT_REAL_REQUIRED},
        {"1.0e400", LIT_OUT_OF_RANGE},
        {"-1.0e309", LIT_OUT_OF_RANGE},
        {"1.0e99999999999", LIT_OUT_OF_RANGE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed r = Parse(c.text);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.err, c.err);
    }
    Parsed inf = Parse("-1.0e309");
    EXPECT_TRUE(std::isinf(inf.number));
    EXPECT_LT(inf.number, 0);
}

TEST(TsParseNumber, TypedLiterals) {
    struct Case {
        const char* text;
        short err;
        uint16_t flags;
        short typeId;
        double value;
    };
    const Case cases[] = {
        {"BOOL#0", 0, CONST_DECIMAL, TYPE_BOOL, 0},
        {"BOOL#1", 0, CONST_DECIMAL, TYPE_BOOL, 1},
        {"BOOL#2", LIT_OUT_OF_RANGE, CONST_DECIMAL, UNTYPED_INT, 2},
        {"BOOL#-1", LIT_OUT_OF_RANGE, CONST_DECIMAL | CONST_NEGATIVE, UNTYPED_INT, -1},
        {"BYTE#255", 0, CONST_DECIMAL, TYPE_BYTE, 255},
        {"BYTE#256", LIT_OUT_OF_RANGE, CONST_DECIMAL, UNTYPED_INT, 256},
        {"BYTE#16#FF", 0, CONST_HEX, TYPE_BYTE, 255},
        {"WORD#65535", 0, CONST_DECIMAL, TYPE_WORD, 65535},
        {"WORD#65536", LIT_OUT_OF_RANGE, CONST_DECIMAL, UNTYPED_INT, 65536},
        {"DWORD#16#FFFF_FFFF", 0, CONST_HEX, TYPE_DWORD, 4294967295.0},
        {"DWORD#4294967296", LIT_OUT_OF_RANGE, CONST_DECIMAL, UNTYPED_INT, 4294967296.0},
        {"SINT#-128", 0, CONST_DECIMAL | CONST_NEGATIVE, TYPE_SINT, -128},
        {"SINT#127", 0, CONST_DECIMAL, TYPE_SINT, 127},
        {"SINT#128", LIT_OUT_OF_RANGE, CONST_DECIMAL, UNTYPED_INT, 128},
        {"SINT#16#FF", 0, CONST_HEX, TYPE_SINT, 255},
        {"INT#-32768", 0, CONST_DECIMAL | CONST_NEGATIVE, TYPE_INT, -32768},
        {"INT#32767", 0, CONST_DECIMAL, TYPE_INT, 32767},
        {"INT#32768", LIT_OUT_OF_RANGE, CONST_DECIMAL, UNTYPED_INT, 32768},
        {"INT#40000", LIT_OUT_OF_RANGE, CONST_DECIMAL, UNTYPED_INT, 40000},
        {"DINT#-2147483648", 0, CONST_DECIMAL | CONST_NEGATIVE, TYPE_DINT, -2147483648.0},
        {"DINT#2147483648", LIT_OUT_OF_RANGE, CONST_DECIMAL, UNTYPED_INT, 2147483648.0},
        {"LINT#9223372036854775807", 0, CONST_DECIMAL, TYPE_LINT, 9223372036854775807.0},
        {"LINT#9223372036854775808", LIT_OUT_OF_RANGE, CONST_DECIMAL, UNTYPED_INT, 9223372036854775808.0},
        {"USINT#255", 0, CONST_DECIMAL, TYPE_USINT, 255},
        {"USINT#-1", LIT_OUT_OF_RANGE, CONST_DECIMAL | CONST_NEGATIVE, UNTYPED_INT, -1},
        {"UINT#65535", 0, CONST_DECIMAL, TYPE_UINT, 65535},
        {"UDINT#4294967295", 0, CONST_DECIMAL, TYPE_UDINT, 4294967295.0},
        {"UDINT#4294967296", LIT_OUT_OF_RANGE, CONST_DECIMAL, UNTYPED_INT, 4294967296.0},
        {"ULINT#18446744073709551615", 0, CONST_DECIMAL, TYPE_ULINT, 18446744073709551615.0},
        {"ULINT#18446744073709551616", LIT_OUT_OF_RANGE, CONST_DECIMAL, UNTYPED_INT, 18446744073709551616.0},
        {"INT#-5", 0, CONST_DECIMAL | CONST_NEGATIVE, TYPE_INT, -5},
        {"INT#+5", 0, CONST_DECIMAL, TYPE_INT, 5},
        {"REAL#1.5", 0, CONST_REAL, TYPE_REAL, 1.5},
        {"REAL#3.4e38", 0, CONST_REAL, TYPE_REAL, 3.4e38},
        {"REAL#3.5e38", LIT_OUT_OF_RANGE, CONST_REAL, UNTYPED_REAL, 3.5e38},
        {"REAL#-1.0e39", LIT_OUT_OF_RANGE, CONST_REAL | CONST_NEGATIVE, UNTYPED_REAL, -1.0e39},
        {"LREAL#1.0e39", 0, CONST_REAL, TYPE_LREAL, 1.0e39},
        // A prefix of the other kind of number: -3427 and the untyped marker.
        {"REAL#1", LIT_PREFIX_NOT_APPLICABLE, CONST_DECIMAL, UNTYPED_INT, 1},
        {"LREAL#16#FF", LIT_PREFIX_NOT_APPLICABLE, CONST_HEX, UNTYPED_INT, 255},
        {"INT#1.5", LIT_PREFIX_NOT_APPLICABLE, CONST_REAL, UNTYPED_REAL, 1.5},
        {"BOOL#0.0", LIT_PREFIX_NOT_APPLICABLE, CONST_REAL, UNTYPED_REAL, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed r = Parse(c.text);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.flags, c.flags);
        EXPECT_EQ(r.typeId, c.typeId);
        EXPECT_EQ(r.number, c.value);
    }
}

TEST(TsParseNumber, MalformedTypedLiterals) {
    struct Case {
        const char* text;
        short mode;
        short err;
        uint16_t flags;
    };
    const Case cases[] = {
        {"INT#", 0, LIT_PREFIX_NOT_APPLICABLE, 0},
        {"INT#abc", 0, LIT_PREFIX_NOT_APPLICABLE, 0},
        {"INT#'a'", 0, LIT_PREFIX_NOT_APPLICABLE, 0},
        {"INT#T#5s", 0, LIT_PREFIX_NOT_APPLICABLE, 0},
        {"INT#INT#5", 0, LIT_PREFIX_NOT_APPLICABLE, 0},
        {"INT#12x", 0, LIT_BAD_DECIMAL_DIGIT, 0},
        {"REAL#1.", 0, LIT_REAL_REQUIRED, 0},
        {"FOO#5", 0, LIT_PREFIX_NOT_APPLICABLE, 0},
        {"int#5", 0, LIT_PREFIX_NOT_APPLICABLE, 0},
        {"Int#5", 0, LIT_PREFIX_NOT_APPLICABLE, 0},
        {"int#5", TS_MODE_CASE_LENIENT, 0, CONST_DECIMAL},
        {"Int#5", TS_MODE_CASE_LENIENT, 0, CONST_DECIMAL},
        {"lreal#1.5", TS_MODE_CASE_LENIENT, 0, CONST_REAL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " mode " + std::to_string(c.mode));
        Parsed r = Parse(c.text, c.mode);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.flags, c.flags);
    }
}

TEST(TsParseNumber, StringsAndNames) {
    struct Case {
        const char* text;
        short err;
        uint16_t flags;
        short typeId;
        const char* str;
        const char* rest;
    };
    const Case cases[] = {
        {"''", 0, CONST_STRING, TYPE_STRING, "", ""},
        {"'a$Nb$41'", 0, CONST_STRING, TYPE_STRING, "a\r\nbA", ""},
        {"'abc'def", 0, CONST_STRING, TYPE_STRING, "abc", "def"},
        {"'abc", LIT_STRING_REQUIRED, CONST_STRING, TYPE_STRING, "", ""},
        {"'ab\ncd'", LIT_STRING_REQUIRED, CONST_STRING, TYPE_STRING, "", "\ncd'"},
        {"abc", 0, 0, 0, nullptr, ""},
        {"TRUE", 0, 0, 0, nullptr, ""},
        {"a__b", LIT_DOUBLE_UNDERSCORE, 0, 0, nullptr, ""},
        {"abc.def", 0, 0, 0, nullptr, ".def"},
        {"x1 := 5", 0, 0, 0, nullptr, " := 5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed r = Parse(c.text);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.flags, c.flags);
        EXPECT_EQ(r.typeId, c.typeId);
        EXPECT_EQ(r.hasStr, c.str != nullptr);
        if (c.str != nullptr) {
            EXPECT_EQ(r.str, c.str);
        }
        EXPECT_EQ(r.rest, c.rest);
    }
}
