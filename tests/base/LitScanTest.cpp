// TiLitScan: every Scan function at its type's boundaries, blanks and text
// after the literal, the flags word, dispatch by type id, AcceptedLen after
// errors at different positions, ReturnCurError and SkipWhite.
#include "base/IecTypeIds.h"
#include "base/TiLitScan.h"
#include "base/TiLitStatus.h"
#include "base/ts_scan.h"

#include "platform/Text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace iec;

namespace {

// Runs one Scan member on a writable copy of the text.
template <typename T>
short ScanText(TiLitScan& s, short (TiLitScan::*fn)(char*, T*), const std::string& text, T* out) {
    std::vector<char> buf(text.begin(), text.end());
    buf.push_back(0);
    return (s.*fn)(buf.data(), out);
}

template <typename T>
struct Row {
    const char* text;
    short status;
    T value;
};

template <typename T>
void Check(short (TiLitScan::*fn)(char*, T*), const std::vector<Row<T>>& rows) {
    TiLitScan s;
    for (const Row<T>& r : rows) {
        SCOPED_TRACE(r.text);
        T out{};
        EXPECT_EQ(ScanText(s, fn, r.text, &out), r.status);
        EXPECT_EQ(out, r.value);
    }
}

} // namespace

TEST(LitScan, SignedIntegers) {
    Check<signed char>(&TiLitScan::ScanSINT, {
        {"", LIT_NOT_A_LITERAL, 0},
        {"-128", 0, -128},
        {"127", 0, 127},
        {"128", LIT_OUT_OF_RANGE, 127},
        {"-129", LIT_OUT_OF_RANGE, -128},
        {"16#FF", 0, -1},
        {"SINT#5", 0, 5},
        {"INT#5", LIT_INTEGER_REQUIRED, 5},
        {"1.5", LIT_INTEGER_REQUIRED, 0},
        {"x", LIT_INTEGER_REQUIRED, 0},
    });
    Check<short>(&TiLitScan::ScanINT, {
        {"-32768", 0, -32768},
        {"32767", 0, 32767},
        {"32768", LIT_OUT_OF_RANGE, 32767},
        {"  \t\n42 \n", 0, 42},
        {"INT#40000", LIT_OUT_OF_RANGE, 0},
        {"'abc'", LIT_INTEGER_REQUIRED, 0},
    });
    Check<int32_t>(&TiLitScan::ScanDINT, {
        {"-2147483648", 0, INT32_MIN},
        {"2147483647", 0, INT32_MAX},
        {"2147483648", LIT_OUT_OF_RANGE, INT32_MAX},
        {"1_000_000", 0, 1000000},
        {"16#FFFF_FFFF", 0, -1},
    });
    Check<double>(&TiLitScan::ScanLINT, {
        {"9223372036854775807", 0, 9223372036854775807.0},
        {"-9223372036854775808", 0, -9223372036854775808.0},
        {"9223372036854775808", LIT_OUT_OF_RANGE, 9223372036854775807.0},
        {"0", 0, 0.0},
    });
}

TEST(LitScan, UnsignedIntegersAndBitStrings) {
    Check<unsigned char>(&TiLitScan::ScanUSINT, {
        {"0", 0, 0}, {"255", 0, 255}, {"256", LIT_OUT_OF_RANGE, 255}, {"-1", LIT_OUT_OF_RANGE, 0},
    });
    Check<unsigned short>(&TiLitScan::ScanUINT, {
        {"65535", 0, 65535}, {"65536", LIT_OUT_OF_RANGE, 65535}, {"UINT#8#177777", 0, 65535},
    });
    Check<uint32_t>(&TiLitScan::ScanUDINT, {
        {"4294967295", 0, 4294967295u}, {"4294967296", LIT_OUT_OF_RANGE, 4294967295u},
    });
    Check<double>(&TiLitScan::ScanULINT, {
        {"18446744073709551615", 0, 18446744073709551615.0},
        {"18446744073709551616", LIT_OUT_OF_RANGE, 18446744073709551615.0},
    });
    Check<unsigned char>(&TiLitScan::ScanBYTE, {
        {"16#FF", 0, 255}, {"2#1111_1111", 0, 255}, {"256", LIT_OUT_OF_RANGE, 255},
        {"1.5", LIT_BITSTRING_REQUIRED, 0}, {"BYTE#7", 0, 7},
    });
    Check<unsigned short>(&TiLitScan::ScanWORD, {
        {"16#FFFF", 0, 65535}, {"16#1_0000", LIT_OUT_OF_RANGE, 65535},
    });
    Check<uint32_t>(&TiLitScan::ScanDWORD, {
        {"16#FFFF_FFFF", 0, 4294967295u}, {"DWORD#16#1", 0, 1},
    });
}

TEST(LitScan, Bool) {
    Check<unsigned char>(&TiLitScan::ScanBOOL, {
        {"TRUE", 0, 1},
        {"FALSE", 0, 0},
        {" TRUE ", 0, 1},
        {"1", 0, 1},
        {"0", 0, 0},
        {"BOOL#1", 0, 1},
        {"BOOL#0", 0, 0},
        {"2", LIT_BOOL_RANGE, 1},
        {"true", LIT_BITSTRING_REQUIRED, 0},   // exact spelling only
        {"True", LIT_BITSTRING_REQUIRED, 0},
        {"TRUEX", LIT_BITSTRING_REQUIRED, 0},
        {"TRUE x", LIT_PREFIX_NOT_APPLICABLE, 0},
        {"BOOL#2", LIT_OUT_OF_RANGE, 0},
        {"16#1", 0, 1},
    });
}

TEST(LitScan, Reals) {
    Check<float>(&TiLitScan::ScanREAL, {
        {"1.5", 0, 1.5f},
        {"-2.5e-3", 0, -2.5e-3f},
        {"3.4e38", 0, 3.4e38f},
        {"3.5e38", LIT_OUT_OF_RANGE, 3.4028234663852886e+38f},
        {"1.0e-50", 0, 0.0f},
        {"REAL#0.5", 0, 0.5f},
        {"LREAL#0.5", LIT_REAL_REQUIRED, 0.5f},
        {"1", LIT_REAL_REQUIRED, 0.0f},
        {"1.", LIT_REAL_REQUIRED, 0.0f},
    });
    Check<double>(&TiLitScan::ScanLREAL, {
        {"0.1", 0, 0.1},
        {"1.7976931348623157e308", 0, 1.7976931348623157e308},
        {"1.0e400", LIT_OUT_OF_RANGE, 0.0},
        {"LREAL#1.0e300", 0, 1.0e300},
        {"-0.0", 0, -0.0},
    });
}

TEST(LitScan, DatesTimesAndStrings) {
    Check<uint32_t>(&TiLitScan::ScanTIME, {
        {"T#1d2h", 0, 93600000},
        {"T#1.5ms", LIT_FRACTION_DROPPED, 1},  // a warning keeps the value
        {"T#1h70m", LIT_OUT_OF_RANGE, 0},
        {"1h", LIT_BAD_DECIMAL_DIGIT, 0},
        {"D#2000-01-01", LIT_TIME_REQUIRED, 0},
        {"Time#5s", LIT_MIXED_CASE_PREFIX, 0},
    });
    Check<unsigned short>(&TiLitScan::ScanDATE, {
        {"D#2000-02-29", 0, PackDate(2000, 2, 29)},
        {"D#1900-02-29", LIT_INVALID_DATE, 0},
        {"T#5s", LIT_DATE_REQUIRED, 0},
    });
    Check<uint32_t>(&TiLitScan::ScanTOD, {
        {"TOD#23:59:59.999", 0, 86399999},
        {"TOD#24:00:00", LIT_OUT_OF_RANGE, 0},
        {"TOD#12:30", LIT_TOD_REQUIRED, 0},
    });
    TiLitScan s;
    IEC_DT dt{};
    EXPECT_EQ(ScanText(s, &TiLitScan::ScanDT, "DT#2003-03-05-12:34:56.789", &dt), 0);
    EXPECT_EQ(dt.tod, 45296789u);
    EXPECT_EQ(dt.date, PackDate(2003, 3, 5));
    EXPECT_EQ(ScanText(s, &TiLitScan::ScanDT, "TOD#12:00:00", &dt), LIT_DT_REQUIRED);
    EXPECT_EQ(dt.tod, 0u);

    char* str = nullptr;
    EXPECT_EQ(ScanText(s, &TiLitScan::ScanSTRING, "'a$Nb$41'", &str), 0);
    ASSERT_NE(str, nullptr);
    EXPECT_STREQ(str, "a\r\nbA");
    EXPECT_EQ(ScanText(s, &TiLitScan::ScanSTRING, "  ''  ", &str), 0);
    EXPECT_STREQ(str, "");
    EXPECT_EQ(ScanText(s, &TiLitScan::ScanSTRING, "abc", &str), LIT_STRING_REQUIRED);
    EXPECT_EQ(str, nullptr);
    // Text after a string: -3427, and the decoded text is given up.
    EXPECT_EQ(ScanText(s, &TiLitScan::ScanSTRING, "'abc' x", &str), LIT_PREFIX_NOT_APPLICABLE);
    EXPECT_EQ(str, nullptr);
    EXPECT_EQ(ScanText(s, &TiLitScan::ScanSTRING, "'abc", &str), LIT_STRING_REQUIRED);
}

TEST(LitScan, TextAfterTheLiteral) {
    struct Case {
        const char* text;
        short flags;
        short status;
        int32_t value;
    };
    const Case cases[] = {
        {"5", 0, 0, 5},
        {"5 \t\n", 0, 0, 5},
        {"5 x", 0, LIT_PREFIX_NOT_APPLICABLE, 0},
        {"5;", 0, LIT_PREFIX_NOT_APPLICABLE, 0},
        {"5 x", TI_LITSCAN_ACCEPT_REST, 0, 5},
        {"5;", TI_LITSCAN_ACCEPT_REST, 0, 5},
        {"5..7", TI_LITSCAN_ACCEPT_REST, 0, 5},
        {"5\r", 0, LIT_BAD_DECIMAL_DIGIT, 0},  // a carriage return is no blank
        {"5 x", TI_LITSCAN_ACCEPT_REST | TI_LITSCAN_LENIENT, 0, 5},
    };
    TiLitScan s;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " flags " + std::to_string(c.flags));
        s.flags = c.flags;
        int32_t out = -1;
        EXPECT_EQ(ScanText(s, &TiLitScan::ScanDINT, c.text, &out), c.status);
        EXPECT_EQ(out, c.value);
    }
}

TEST(LitScan, AcceptedLenAfterErrorsAtDifferentPositions) {
    struct Case {
        const char* text;
        short status;
        short accepted;
    };
    const Case cases[] = {
        {"", LIT_NOT_A_LITERAL, 0},
        {"   ", LIT_NOT_A_LITERAL, 3},
        {"12", 0, 2},
        {"  12  ", 0, 4},
        {"16#_FF", LIT_BAD_HEX_DIGIT, 3},
        {"  16#_FF", LIT_BAD_HEX_DIGIT, 5},
        {"16#FF_", LIT_BAD_HEX_DIGIT, 5},
        {"16#FG", LIT_BAD_HEX_DIGIT, 4},
        {"1__0", LIT_BAD_DECIMAL_DIGIT, 2},
        {"12x", LIT_BAD_DECIMAL_DIGIT, 3},
        {"5 x", LIT_PREFIX_NOT_APPLICABLE, 1},
        {"\t5 x", LIT_PREFIX_NOT_APPLICABLE, 2},
        {"40000", 0, 5},          // a conversion error is no scanner error
        {"#", LIT_NOT_A_LITERAL, 1},
        {"Int#5", LIT_PREFIX_NOT_APPLICABLE, 4},
    };
    TiLitScan s;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        short out;
        short st = ScanText(s, &TiLitScan::ScanINT, c.text, &out);
        if (c.status != 0) {
            EXPECT_EQ(st, c.status);
        }
        EXPECT_EQ(s.AcceptedLen(), c.accepted);
    }
}

TEST(LitScan, ReturnCurError) {
    TiLitScan s;
    short code = 1;
    char* text = nullptr;
    s.ReturnCurError(&code, &text);
    EXPECT_EQ(code, 0);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");

    struct Case {
        const char* input;
        short status;
    };
    const Case cases[] = {
        {"16#_FF", LIT_BAD_HEX_DIGIT},
        {"", LIT_NOT_A_LITERAL},
        {"40000", LIT_OUT_OF_RANGE},
        {"5 x", LIT_PREFIX_NOT_APPLICABLE},
        {"Time#5", LIT_MIXED_CASE_PREFIX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        short out;
        ScanText(s, &TiLitScan::ScanINT, c.input, &out);
        s.ReturnCurError(&code, &text);
        EXPECT_EQ(code, c.status);
        char expected[TiLitScan::kMessageSize];
        LoadStringA(nullptr, static_cast<UINT>(-c.status), expected, sizeof(expected));
        ASSERT_NE(text, nullptr);
        EXPECT_STRNE(text, "");
        EXPECT_STREQ(text, expected);
        EXPECT_LT(std::strlen(text), static_cast<size_t>(TiLitScan::kMessageSize));
    }
    // The warning 1704 has a text as well.
    uint32_t ms;
    EXPECT_EQ(ScanText(s, &TiLitScan::ScanTIME, "T#1.5ms", &ms), LIT_FRACTION_DROPPED);
    s.ReturnCurError(&code, &text);
    EXPECT_EQ(code, LIT_FRACTION_DROPPED);
    EXPECT_STRNE(text, "");
    // Either argument may be null.
    s.ReturnCurError(nullptr, &text);
    s.ReturnCurError(&code, nullptr);
    s.ReturnCurError(nullptr, nullptr);
    EXPECT_EQ(code, LIT_FRACTION_DROPPED);
}

TEST(LitScan, SkipWhite) {
    struct Case {
        const char* text;
        size_t skipped;
    };
    const Case cases[] = {
        {"", 0}, {"x", 0}, {" x", 1}, {" \t\n x", 4}, {"\r x", 0}, {"   ", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string text = c.text;
        EXPECT_EQ(TiLitScan::SkipWhite(text.data()), text.data() + c.skipped);
    }
    EXPECT_EQ(TiLitScan::SkipWhite(nullptr), nullptr);
}

TEST(LitScan, DispatchByTypeId) {
    struct Case {
        short typeId;
        const char* text;
        uint64_t bits;   // the output's bytes, little endian
        size_t size;
    };
    const Case cases[] = {
        {TYPE_BOOL, "TRUE", 1, 1},
        {TYPE_BYTE, "16#AB", 0xAB, 1},
        {TYPE_WORD, "16#ABCD", 0xABCD, 2},
        {TYPE_DWORD, "16#DEAD_BEEF", 0xDEADBEEF, 4},
        {TYPE_SINT, "-1", 0xFF, 1},
        {TYPE_INT, "-2", 0xFFFE, 2},
        {TYPE_DINT, "-3", 0xFFFFFFFD, 4},
        {TYPE_USINT, "200", 200, 1},
        {TYPE_UINT, "60000", 60000, 2},
        {TYPE_UDINT, "4000000000", 4000000000u, 4},
        {TYPE_TIME, "T#1s", 1000, 4},
        {TYPE_DATE, "D#1980-01-01", PackDate(1980, 1, 1), 2},
        {TYPE_TIME_OF_DAY, "TOD#00:00:01", 1000, 4},
    };
    TiLitScan s;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typeId);
        std::string text = c.text;
        unsigned char out[16];
        std::memset(out, 0xEE, sizeof(out));
        EXPECT_EQ(s.scan(text.data(), c.typeId, out), 0);
        uint64_t bits = 0;
        std::memcpy(&bits, out, c.size);
        EXPECT_EQ(bits, c.bits);
        EXPECT_EQ(out[c.size], 0xEE); // nothing beyond the output type
    }
    // The double-valued and the compound targets.
    std::string text = "1.5";
    double d = 0;
    EXPECT_EQ(s.scan(text.data(), TYPE_LREAL, &d), 0);
    EXPECT_EQ(d, 1.5);
    float f = 0;
    EXPECT_EQ(s.scan(text.data(), TYPE_REAL, &f), 0);
    EXPECT_EQ(f, 1.5f);
    text = "-7";
    EXPECT_EQ(s.scan(text.data(), TYPE_LINT, &d), 0);
    EXPECT_EQ(d, -7.0);
    text = "7";
    EXPECT_EQ(s.scan(text.data(), TYPE_ULINT, &d), 0);
    EXPECT_EQ(d, 7.0);
    text = "DT#1980-01-01-00:00:00";
    IEC_DT dt{1, 1, 1};
    EXPECT_EQ(s.scan(text.data(), TYPE_DATE_AND_TIME, &dt), 0);
    EXPECT_EQ(dt.tod, 0u);
    text = "'x'";
    char* str = nullptr;
    EXPECT_EQ(s.scan(text.data(), TYPE_STRING, &str), 0);
    EXPECT_STREQ(str, "x");

    // Ids without a Scan function: nothing scanned, nothing written.
    const short unsupported[] = {TYPE_LWORD, -6, -7, -8, -9, 0, -25, TYPE_INTSTATE, TYPE_ANL_IN, UNTYPED_INT, 1};
    for (short id : unsupported) {
        SCOPED_TRACE(id);
        text = "5";
        unsigned char out[16];
        std::memset(out, 0xEE, sizeof(out));
        EXPECT_EQ(s.scan(text.data(), id, out), LIT_TYPE_NOT_SUPPORTED);
        EXPECT_EQ(out[0], 0xEE);
    }
}

TEST(LitScan, NullArguments) {
    TiLitScan s;
    short out = 7;
    EXPECT_EQ(s.ScanINT(nullptr, &out), LIT_NOT_A_LITERAL);
    EXPECT_EQ(out, 0);
    EXPECT_EQ(s.AcceptedLen(), 0);
    std::string text = "5";
    EXPECT_EQ(s.ScanINT(text.data(), nullptr), LIT_INTEGER_REQUIRED);
    text = "TRUE";
    EXPECT_EQ(s.ScanBOOL(text.data(), nullptr), LIT_BITSTRING_REQUIRED);
}
