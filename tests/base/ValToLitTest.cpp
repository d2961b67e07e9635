// Tests of TiValToLit: every formatter at its exact buffer boundary, the
// duration, time-of-day, real and string forms, the dispatch by type id, the
// measuring overload and the message text of the last status.
#include "base/TiLitStatus.h"
#include "base/TiValToLit.h"
#include "platform/Text.h"
#include "tests/base/FailingAllocation.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>

using namespace iec;

namespace {

constexpr char kCanary = '\x5A';
constexpr size_t kArena = 200;

// Runs a formatter on a buffer of bufLen characters inside a larger arena and
// checks that nothing beyond bufLen was touched; returns the status and text.
using Formatter = std::function<short(TiValToLit&, char*, short)>;

short Format(const Formatter& f, short bufLen, std::string& text) {
    char arena[kArena];
    std::memset(arena, kCanary, sizeof arena);
    TiValToLit fmt;
    const short rc = f(fmt, arena, bufLen);
    EXPECT_EQ(fmt.Status(), rc);
    const size_t limit = bufLen > 0 ? static_cast<size_t>(bufLen) : 0;
    for (size_t i = limit; i < sizeof arena; ++i) {
        if (arena[i] != kCanary) {
            ADD_FAILURE() << "byte " << i << " written past bufLen " << bufLen;
            break;
        }
    }
    if (bufLen > 0) {
        // The text and its terminator lie inside the buffer.
        const void* zero = std::memchr(arena, '\0', limit);
        EXPECT_NE(zero, nullptr) << "no terminator inside the buffer";
        text = zero ? std::string(arena) : std::string();
    } else {
        text.clear();
    }
    return rc;
}

struct FixedCase {
    const char* name;
    Formatter f;
    const char* text;
    short reserved;
    short rc; // status when the text fits
};

TEST(ValToLitBoundary, EveryFormatterFitsAtReservedPlusOneAndFailsBelow) {
    const IEC_DT dt{45296789, PackDate(2003, 3, 5), 0};
    const TiAnalogRecord on{{1}};
    const TiAnalogRecord off{{0}};
    const FixedCase cases[] = {
        {"BOOL true", [](TiValToLit& v, char* b, short n) { return v.TiBOOLtoLit(1, b, n); },
         "TRUE", 5, 0},
        {"BOOL false", [](TiValToLit& v, char* b, short n) { return v.TiBOOLtoLit(0, b, n); },
         "FALSE", 5, 0},
        {"BYTE 0x0F", [](TiValToLit& v, char* b, short n) { return v.TiBYTEtoLit(0x0F, b, n); },
         "16#0F", 5, 0},
        {"BYTE max", [](TiValToLit& v, char* b, short n) { return v.TiBYTEtoLit(255, b, n); },
         "16#FF", 5, 0},
        {"WORD 0", [](TiValToLit& v, char* b, short n) { return v.TiWORDtoLit(0, b, n); },
         "16#0000", 7, 0},
        {"WORD max", [](TiValToLit& v, char* b, short n) { return v.TiWORDtoLit(0xABCD, b, n); },
         "16#ABCD", 7, 0},
        {"DWORD 65791", [](TiValToLit& v, char* b, short n) { return v.TiDWORDtoLit(65791, b, n); },
         "16#0001_00FF", 12, 0},
        {"DWORD max",
         [](TiValToLit& v, char* b, short n) { return v.TiDWORDtoLit(0xFFFFFFFF, b, n); },
         "16#FFFF_FFFF", 12, 0},
        {"SINT min", [](TiValToLit& v, char* b, short n) { return v.TiSINTtoLit(-128, b, n); },
         "-128", 4, 0},
        {"SINT max", [](TiValToLit& v, char* b, short n) { return v.TiSINTtoLit(127, b, n); },
         "127", 4, 0},
        {"USINT max", [](TiValToLit& v, char* b, short n) { return v.TiUSINTtoLit(255, b, n); },
         "255", 3, 0},
        {"INT min", [](TiValToLit& v, char* b, short n) { return v.TiINTtoLit(-32768, b, n); },
         "-32768", 6, 0},
        {"UINT max", [](TiValToLit& v, char* b, short n) { return v.TiUINTtoLit(65535, b, n); },
         "65535", 5, 0},
        {"DINT min", [](TiValToLit& v, char* b, short n) { return v.TiDINTtoLit(INT32_MIN, b, n); },
         "-2147483648", 11, 0},
        {"UDINT max",
         [](TiValToLit& v, char* b, short n) { return v.TiUDINTtoLit(UINT32_MAX, b, n); },
         "4294967295", 20, 0},
        {"LINT min",
         [](TiValToLit& v, char* b, short n) {
             return v.TiLINTtoLit(-9223372036854775808.0, b, n);
         },
         "-9223372036854775808", 20, 0},
        {"ULINT max",
         [](TiValToLit& v, char* b, short n) {
             return v.TiULINTtoLit(18446744073709551615.0, b, n);
         },
         "18446744073709551616", 20, 0},
        {"TIME max",
         [](TiValToLit& v, char* b, short n) { return v.TiTIMEtoLit(UINT32_MAX, b, n); },
         "t#49d_17h_2m_47s_295ms", 24, 0},
        {"TIME zero", [](TiValToLit& v, char* b, short n) { return v.TiTIMEtoLit(0, b, n); },
         "t#0s", 24, 0},
        {"DATE",
         [](TiValToLit& v, char* b, short n) { return v.TiDATEtoLit(PackDate(2003, 3, 5), b, n); },
         "d#2003-03-05", 12, 0},
        {"DATE all bits",
         [](TiValToLit& v, char* b, short n) { return v.TiDATEtoLit(0xFFFF, b, n); },
         "d#2107-15-31", 12, 0},
        {"TOD", [](TiValToLit& v, char* b, short n) { return v.TiTODtoLit(45296789, b, n); },
         "tod#12:34:56.789", 16, 0},
        {"TOD last of day",
         [](TiValToLit& v, char* b, short n) { return v.TiTODtoLit(86399999, b, n); },
         "tod#23:59:59.999", 16, 0},
        {"DT", [dt](TiValToLit& v, char* b, short n) { return v.TiDTtoLit(dt, b, n); },
         "dt#2003-03-05-12:34:56.789", 26, 0},
        {"ANL_IN configured",
         [on](TiValToLit& v, char* b, short n) { return v.TiANL_INtoLit(on, b, n); }, "configured",
         11, 0},
        {"ANL_OUT failed",
         [off](TiValToLit& v, char* b, short n) { return v.TiANL_OUTtoLit(off, b, n); }, "failed",
         11, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text;
        EXPECT_EQ(Format(c.f, static_cast<short>(c.reserved + 1), text), c.rc);
        EXPECT_EQ(text, c.text);
        if (std::string(c.name).rfind("BOOL", 0) != 0) {
            // BOOL falls back to one character below its reserve, see below.
            EXPECT_EQ(Format(c.f, c.reserved, text), LIT_BUFFER_TOO_SMALL);
            EXPECT_EQ(text, "");
        }
        EXPECT_EQ(Format(c.f, 0, text), LIT_BUFFER_TOO_SMALL);
        EXPECT_EQ(Format(c.f, -1, text), LIT_BUFFER_TOO_SMALL);
        TiValToLit fmt;
        EXPECT_EQ(c.f(fmt, nullptr, 100), LIT_BUFFER_TOO_SMALL);
    }
}

TEST(ValToLitBool, FallsBackToOneCharacterAndFlagsOtherValues) {
    struct Case {
        const char* name;
        unsigned char value;
        short bufLen;
        const char* text;
        short rc;
    };
    const Case cases[] = {
        {"no room at all", 1, 1, "", LIT_BUFFER_TOO_SMALL},
        {"one char true", 1, 2, "1", 0},
        {"one char false", 0, 2, "0", 0},
        {"below the word", 1, 5, "1", 0},
        {"word fits", 1, 6, "TRUE", 0},
        {"two", 2, 6, "TRUE", LIT_BOOL_RANGE},
        {"two in one char", 2, 2, "1", LIT_BOOL_RANGE},
        {"bit 7 only is false", 0x80, 6, "FALSE", LIT_BOOL_RANGE},
        {"bit 7 and bit 0", 0x81, 6, "TRUE", LIT_BOOL_RANGE},
        {"two with no room", 2, 1, "", LIT_BUFFER_TOO_SMALL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text;
        const unsigned char value = c.value;
        EXPECT_EQ(
            Format([value](TiValToLit& v, char* b, short n) { return v.TiBOOLtoLit(value, b, n); },
                   c.bufLen, text),
            c.rc);
        EXPECT_EQ(text, c.text);
    }
}

TEST(ValToLitTime, EveryCombinationOfZeroAndNonZeroUnits) {
    // Units 1d, 2h, 3m, 4s, 5ms switched on by the bits of the mask (d = 16).
    const char* expected[32] = {
        "t#0s",          "t#5ms",
        "t#4s",          "t#4s_5ms",
        "t#3m",          "t#3m_0s5ms",
        "t#3m_4s",       "t#3m_4s_5ms",
        "t#2h",          "t#2h_0m0s5ms",
        "t#2h_0m4s",     "t#2h_0m4s_5ms",
        "t#2h_3m",       "t#2h_3m_0s5ms",
        "t#2h_3m_4s",    "t#2h_3m_4s_5ms",
        "t#1d",          "t#1d_0h0m0s5ms",
        "t#1d_0h0m4s",   "t#1d_0h0m4s_5ms",
        "t#1d_0h3m",     "t#1d_0h3m_0s5ms",
        "t#1d_0h3m_4s",  "t#1d_0h3m_4s_5ms",
        "t#1d_2h",       "t#1d_2h_0m0s5ms",
        "t#1d_2h_0m4s",  "t#1d_2h_0m4s_5ms",
        "t#1d_2h_3m",    "t#1d_2h_3m_0s5ms",
        "t#1d_2h_3m_4s", "t#1d_2h_3m_4s_5ms",
    };
    for (unsigned mask = 0; mask < 32; ++mask) {
        SCOPED_TRACE(expected[mask]);
        const uint32_t ms = ((mask & 16) ? 86400000u : 0) + ((mask & 8) ? 2 * 3600000u : 0) +
                            ((mask & 4) ? 3 * 60000u : 0) + ((mask & 2) ? 4000u : 0) +
                            ((mask & 1) ? 5u : 0);
        std::string text;
        EXPECT_EQ(Format([ms](TiValToLit& v, char* b, short n) { return v.TiTIMEtoLit(ms, b, n); },
                         25, text),
                  0);
        EXPECT_EQ(text, expected[mask]);
    }
}

TEST(ValToLitTime, ListedValues) {
    struct Case {
        uint32_t ms;
        const char* text;
    };
    const Case cases[] = {
        {0, "t#0s"},
        {1, "t#1ms"},
        {999, "t#999ms"},
        {1000, "t#1s"},
        {1500, "t#1s_500ms"},
        {59999, "t#59s_999ms"},
        {60000, "t#1m"},
        {3605000, "t#1h_0m5s"},
        {86399999, "t#23h_59m_59s_999ms"},
        {86400000, "t#1d"},
        {93784005, "t#1d_2h_3m_4s_5ms"},
        {4294967295u, "t#49d_17h_2m_47s_295ms"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string text;
        const uint32_t ms = c.ms;
        EXPECT_EQ(Format([ms](TiValToLit& v, char* b, short n) { return v.TiTIMEtoLit(ms, b, n); },
                         25, text),
                  0);
        EXPECT_EQ(text, c.text);
    }
}

TEST(ValToLitTimeOfDay, HoursBeyondADayAreCheckedAgainstTheRealLength) {
    struct Case {
        const char* name;
        uint32_t ms;
        short bufLen;
        short rc;
        const char* text;
    };
    const Case cases[] = {
        {"midnight", 0, 17, 0, "tod#00:00:00"},
        {"no ms", 45296000, 17, 0, "tod#12:34:56"},
        {"with ms", 45296789, 17, 0, "tod#12:34:56.789"},
        {"24 hours fits", 86400000, 17, 0, "tod#24:00:00"},
        {"max needs 19", 4294967295u, 17, LIT_BUFFER_TOO_SMALL, ""},
        {"max one short", 4294967295u, 18, LIT_BUFFER_TOO_SMALL, ""},
        {"max fits", 4294967295u, 19, 0, "tod#1193:02:47.295"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text;
        const uint32_t ms = c.ms;
        EXPECT_EQ(Format([ms](TiValToLit& v, char* b, short n) { return v.TiTODtoLit(ms, b, n); },
                         c.bufLen, text),
                  c.rc);
        EXPECT_EQ(text, c.text);
    }

    const IEC_DT big{4294967295u, 0xFFFF, 0};
    std::string text;
    EXPECT_EQ(
        Format([big](TiValToLit& v, char* b, short n) { return v.TiDTtoLit(big, b, n); }, 27, text),
        LIT_BUFFER_TOO_SMALL);
    EXPECT_EQ(text, "");
    EXPECT_EQ(
        Format([big](TiValToLit& v, char* b, short n) { return v.TiDTtoLit(big, b, n); }, 30, text),
        0);
    EXPECT_EQ(text, "dt#2107-15-31-1193:02:47.295");
    const IEC_DT zero{0, 0, 0};
    EXPECT_EQ(Format([zero](TiValToLit& v, char* b, short n) { return v.TiDTtoLit(zero, b, n); },
                     27, text),
              0);
    EXPECT_EQ(text, "dt#1980-00-00-00:00:00");
}

TEST(ValToLitInteger64, LimitsAndCutting) {
    struct Case {
        const char* name;
        double v;
        short bufLen;
        short rc;
        const char* text;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {"zero", 0.0, 21, 0, "0"},
        {"negative zero", -0.0, 21, 0, "0"},
        {"one", 1.0, 21, 0, "1"},
        {"minus one", -1.0, 21, 0, "-1"},
        {"fraction rounds", 2.5, 21, 0, "2"},
        {"1e19", 1e19, 21, 0, "10000000000000000000"},
        {"just below 1e20", 99999999999999983616.0, 21, 0, "99999999999999983616"},
        {"1e20", 1e20, 21, LIT_BAD_DECIMAL_DIGIT, ""},
        {"-1e20", -1e20, 21, LIT_BAD_DECIMAL_DIGIT, ""},
        {"-1e19 needs 22", -1e19, 21, LIT_BUFFER_TOO_SMALL, ""},
        {"-1e19 fits 22", -1e19, 22, 0, "-10000000000000000000"},
        {"infinity", inf, 21, LIT_BAD_DECIMAL_DIGIT, ""},
        {"minus infinity", -inf, 21, LIT_BAD_DECIMAL_DIGIT, ""},
        {"nan", std::nan(""), 21, LIT_BAD_DECIMAL_DIGIT, ""},
        {"small buffer", 1.0, 20, LIT_BUFFER_TOO_SMALL, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text;
        const double v = c.v;
        EXPECT_EQ(Format([v](TiValToLit& f, char* b, short n) { return f.TiLINTtoLit(v, b, n); },
                         c.bufLen, text),
                  c.rc);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(Format([v](TiValToLit& f, char* b, short n) { return f.TiULINTtoLit(v, b, n); },
                         c.bufLen, text),
                  c.rc);
        EXPECT_EQ(text, c.text);
    }
}

TEST(ValToLitReal, FixedAndExponentFormsAndTheirSwitchPoints) {
    struct Case {
        const char* name;
        double v;
        short bufLen;
        short rc;
        const char* text;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {"reserve not met", 0.0, 3, LIT_BUFFER_TOO_SMALL, ""},
        {"zero at reserve+1", 0.0, 4, 0, "0.0"},
        {"negative zero", -0.0, 4, 0, "0.0"},
        {"half", 0.5, 20, 0, "0.5"},
        {"one", 1.0, 20, 0, "1.0"},
        {"minus two and a half", -2.5, 20, 0, "-2.5"},
        {"tenth", 0.1, 20, 0, "0.1"},
        {"seven digits", 1234567.0, 20, 0, "1234567.0"},
        {"largest fixed", 9999999.0, 20, 0, "9999999.0"},
        {"rounds up in fixed form", 9999999.99, 20, 0, "10000000.0"},
        {"1e7 is exponent", 10000000.0, 20, 0, "1.000000E+07"},
        {"12345678", 12345678.0, 20, 0, "1.234568E+07"},
        {"0.0001 is exponent", 0.0001, 20, 0, "1.000000E-04"},
        {"just above 0.0001 is fixed", std::nextafter(0.0001, 1.0), 20, 0, "0.0001"},
        {"small fixed", 0.00012345678, 20, 0, "0.0001234568"},
        {"0.001234", 0.001234, 20, 0, "0.001234"},
        {"fixed exactly fits", 0.001234, 9, 0, "0.001234"},
        {"fixed misses, short exponent", 0.001234, 8, 0, "1.2E-03"},
        {"exponent needs more than 7", 0.001234, 7, LIT_BUFFER_TOO_SMALL, ""},
        {"exponent full at 13", 12345678.0, 13, 0, "1.234568E+07"},
        {"exponent cut at 12", 12345678.0, 12, 0, "1.23457E+07"},
        {"exponent cut at 8", 12345678.0, 8, 0, "1.2E+07"},
        {"negative exponent cut misses", -12345678.0, 8, LIT_BUFFER_TOO_SMALL, ""},
        // The cut form leaves bufLen - 1 characters for a positive value with a
        // two-digit exponent; a sign or a third exponent digit never fits it.
        {"negative exponent cut at 13 misses", -12345678.0, 13, LIT_BUFFER_TOO_SMALL, ""},
        {"negative exponent full at 14", -12345678.0, 14, 0, "-1.234568E+07"},
        {"three-digit exponent", 1e100, 20, 0, "1.000000E+100"},
        {"three-digit exponent cut misses", 1e100, 8, LIT_BUFFER_TOO_SMALL, ""},
        {"largest double", DBL_MAX, 20, 0, "1.797693E+308"},
        {"smallest denormal", 4.9406564584124654e-324, 20, 0, "4.940656E-324"},
        {"infinity", inf, 20, 0, "+INF"},
        {"minus infinity", -inf, 20, 0, "-INF"},
        {"infinity no room", inf, 4, LIT_BUFFER_TOO_SMALL, ""},
        {"nan", std::nan(""), 20, LIT_NOT_A_NUMBER, "+NAN"},
        {"negative nan", -std::nan(""), 5, LIT_NOT_A_NUMBER, "-NAN"},
        {"nan no room", std::nan(""), 4, LIT_BUFFER_TOO_SMALL, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text;
        const double v = c.v;
        EXPECT_EQ(Format([v](TiValToLit& f, char* b, short n) { return f.TiLREALtoLit(v, b, n); },
                         c.bufLen, text),
                  c.rc);
        EXPECT_EQ(text, c.text);
    }
}

TEST(ValToLitReal, FloatsFormatAsTheirDoubleWithoutNanStatus) {
    struct Case {
        const char* name;
        float v;
        short bufLen;
        short rc;
        const char* text;
    };
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {"tenth", 0.1f, 20, 0, "0.1"},
        {"one and a half", 1.5f, 20, 0, "1.5"},
        {"largest", FLT_MAX, 20, 0, "3.402823E+38"},
        {"smallest denormal", 1e-45f, 20, 0, "1.401298E-45"},
        {"nan", std::nanf(""), 20, 0, "+NAN"},
        {"negative nan", -std::nanf(""), 20, 0, "-NAN"},
        {"nan no room", std::nanf(""), 4, LIT_BUFFER_TOO_SMALL, ""},
        {"infinity", inf, 20, 0, "+INF"},
        {"minus infinity", -inf, 5, 0, "-INF"},
        {"reserve", 1.0f, 3, LIT_BUFFER_TOO_SMALL, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text;
        const float v = c.v;
        EXPECT_EQ(Format([v](TiValToLit& f, char* b, short n) { return f.TiREALtoLit(v, b, n); },
                         c.bufLen, text),
                  c.rc);
        EXPECT_EQ(text, c.text);
    }
}

TEST(ValToLitReal, NoValueAndBufferLengthWritesOutsideTheBuffer) {
    // Random bit patterns (all classes of doubles) on every small buffer.
    std::mt19937_64 rng(20240611);
    for (int i = 0; i < 3000; ++i) {
        const uint64_t bits = rng();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        for (short bufLen = -1; bufLen <= 24; ++bufLen) {
            std::string text;
            const short rc =
                Format([v](TiValToLit& f, char* b, short n) { return f.TiLREALtoLit(v, b, n); },
                       bufLen, text);
            if (rc == 0) {
                EXPECT_LT(text.size(), static_cast<size_t>(bufLen));
                EXPECT_FALSE(text.empty());
            } else if (rc == LIT_BUFFER_TOO_SMALL) {
                EXPECT_EQ(text, "");
            }
            float fv;
            std::memcpy(&fv, &bits, sizeof fv);
            Format([fv](TiValToLit& f, char* b, short n) { return f.TiREALtoLit(fv, b, n); },
                   bufLen, text);
            Format([v](TiValToLit& f, char* b, short n) { return f.TiLINTtoLit(v, b, n); }, bufLen,
                   text);
        }
        if (HasFailure()) {
            break;
        }
    }
}

TEST(ValToLitString, EscapesAndExactLength) {
    struct Case {
        const char* name;
        const char* value;
        const char* text;
    };
    const Case cases[] = {
        {"empty", "", "''"},
        {"plain", "abc", "'abc'"},
        {"quote and line feed", "a'b\nc", "'a$'b$Lc'"},
        {"tab", "\t", "'$T'"},
        {"form feed", "\f", "'$P'"},
        {"CR LF", "\r\n", "'$N'"},
        {"lone CR", "\r", "'$R'"},
        {"CR then letter", "\rx", "'$Rx'"},
        {"LF CR", "\n\r", "'$L$R'"},
        {"CR CR LF", "\r\r\n", "'$R$N'"},
        {"dollar", "$", "'$$'"},
        {"control", "\x01", "'$01'"},
        {"delete", "\x7f", "'$7F'"},
        {"high byte", "\xff", "'$FF'"},
        {"umlaut", "\xe4", "'$E4'"},
        {"printable edges", " ~", "' ~'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string expected = c.text;
        const char* value = c.value;
        const Formatter f = [value](TiValToLit& v, char* b, short n) {
            return v.TiSTRINGtoLit(value, b, n);
        };
        std::string text;
        const short exact = static_cast<short>(expected.size() + 1);
        EXPECT_EQ(Format(f, exact, text), 0);
        EXPECT_EQ(text, expected);
        EXPECT_EQ(Format(f, static_cast<short>(exact - 1), text), LIT_BUFFER_TOO_SMALL);
        EXPECT_EQ(text, "");
    }
    std::string text;
    EXPECT_EQ(Format([](TiValToLit& v, char* b, short n) { return v.TiSTRINGtoLit(nullptr, b, n); },
                     10, text),
              LIT_NO_MEMORY);
    EXPECT_EQ(text, "");

    // A text whose escaped form exceeds any 16-bit length.
    const std::string longText(20000, '\x01');
    const char* p = longText.c_str();
    EXPECT_EQ(Format([p](TiValToLit& v, char* b, short n) { return v.TiSTRINGtoLit(p, b, n); },
                     static_cast<short>(kArena), text),
              LIT_BUFFER_TOO_SMALL);
}

TEST(ValToLitDispatch, FormatsByTypeId) {
    struct Case {
        const char* name;
        short typeId;
        std::vector<unsigned char> bytes;
        short rc;
        const char* text;
    };
    auto bytesOf = [](const auto& v) {
        std::vector<unsigned char> b(sizeof v);
        std::memcpy(b.data(), &v, sizeof v);
        return b;
    };
    const Case cases[] = {
        {"BOOL", TYPE_BOOL, {1}, 0, "TRUE"},
        {"BYTE", TYPE_BYTE, {0x0F}, 0, "16#0F"},
        {"WORD", TYPE_WORD, bytesOf(uint16_t{0x1234}), 0, "16#1234"},
        {"DWORD", TYPE_DWORD, bytesOf(uint32_t{65791}), 0, "16#0001_00FF"},
        {"SINT", TYPE_SINT, {0x80}, 0, "-128"},
        {"INT", TYPE_INT, bytesOf(int16_t{-32768}), 0, "-32768"},
        {"DINT", TYPE_DINT, bytesOf(int32_t{-5}), 0, "-5"},
        {"LINT", TYPE_LINT, bytesOf(-5.0), 0, "-5"},
        {"USINT", TYPE_USINT, {0xFF}, 0, "255"},
        {"UINT", TYPE_UINT, bytesOf(uint16_t{65535}), 0, "65535"},
        {"UDINT", TYPE_UDINT, bytesOf(uint32_t{4294967295u}), 0, "4294967295"},
        {"ULINT", TYPE_ULINT, bytesOf(4294967296.0), 0, "4294967296"},
        {"REAL", TYPE_REAL, bytesOf(0.5f), 0, "0.5"},
        {"LREAL", TYPE_LREAL, bytesOf(12345678.0), 0, "1.234568E+07"},
        {"TIME", TYPE_TIME, bytesOf(uint32_t{1500}), 0, "t#1s_500ms"},
        {"DATE", TYPE_DATE, bytesOf(PackDate(2003, 3, 5)), 0, "d#2003-03-05"},
        {"TOD", TYPE_TIME_OF_DAY, bytesOf(uint32_t{45296000}), 0, "tod#12:34:56"},
        {"DT", TYPE_DATE_AND_TIME, bytesOf(IEC_DT{0, PackDate(2003, 3, 5), 0}), 0,
         "dt#2003-03-05-00:00:00"},
        {"STRING", TYPE_STRING, {'a', '\'', 0}, 0, "'a$''"},
        {"ANL_IN", TYPE_ANL_IN, std::vector<unsigned char>(18, 1), 0, "configured"},
        {"ANL_OUT", TYPE_ANL_OUT, std::vector<unsigned char>(18, 0), 0, "failed"},
        {"bits marker negative", UNTYPED_BITS, bytesOf(int32_t{-1}), 0, "-1"},
        {"bits marker", UNTYPED_BITS, bytesOf(int32_t{65535}), 0, "65535"},
        {"real marker", UNTYPED_REAL, bytesOf(1.0), 0, "1.0"},
        {"LWORD", TYPE_LWORD, bytesOf(uint64_t{1}), LIT_TYPE_NOT_SUPPORTED, ""},
        {"INTSTATE", TYPE_INTSTATE, bytesOf(uint64_t{1}), LIT_TYPE_NOT_SUPPORTED, ""},
        {"ANY", TYPE_ANY, bytesOf(uint64_t{1}), LIT_TYPE_NOT_SUPPORTED, ""},
        {"ANY_DATE", TYPE_ANY_DATE, bytesOf(uint64_t{1}), LIT_TYPE_NOT_SUPPORTED, ""},
        {"integer marker", UNTYPED_INT, bytesOf(uint64_t{1}), LIT_TYPE_NOT_SUPPORTED, ""},
        {"signed marker", UNTYPED_SIGNED, bytesOf(uint64_t{1}), LIT_TYPE_NOT_SUPPORTED, ""},
        {"none", TYPE_NONE, bytesOf(uint64_t{1}), LIT_TYPE_NOT_SUPPORTED, ""},
        {"derived type", 1, bytesOf(uint64_t{1}), LIT_TYPE_NOT_SUPPORTED, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<unsigned char> value = c.bytes;
        value.push_back(0); // room for an over-read would show under the sanitizer
        const short typeId = c.typeId;
        std::string text;
        EXPECT_EQ(Format(
                      [&value, typeId](TiValToLit& v, char* b, short n) {
                          return v.TiBinValToLit(typeId, value.data(), b, n);
                      },
                      100, text),
                  c.rc);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(Format([typeId](TiValToLit& v, char* b,
                                  short n) { return v.TiBinValToLit(typeId, nullptr, b, n); },
                         100, text),
                  LIT_NO_MEMORY);
        EXPECT_EQ(text, "");
    }
}

TEST(ValToLitDispatch, MeasuringOverloadReportsTheLength) {
    TiValToLit fmt;
    int16_t i = -32768;
    unsigned short len = 99;
    EXPECT_EQ(fmt.TiBinValToLit(TYPE_INT, &i, nullptr, &len), 0);
    EXPECT_EQ(len, 6);

    char buf[64];
    len = 0;
    uint32_t t = 93784005;
    EXPECT_EQ(fmt.TiBinValToLit(TYPE_TIME, &t, buf, &len), 0);
    EXPECT_STREQ(buf, "t#1d_2h_3m_4s_5ms");
    EXPECT_EQ(len, 17);

    // The temporary buffer holds 99 characters of text.
    const std::string fits(97, 'x');
    len = 0;
    EXPECT_EQ(fmt.TiBinValToLit(TYPE_STRING, const_cast<char*>(fits.c_str()), nullptr, &len), 0);
    EXPECT_EQ(len, 99);
    const std::string tooLong(98, 'x');
    EXPECT_EQ(fmt.TiBinValToLit(TYPE_STRING, const_cast<char*>(tooLong.c_str()), nullptr, &len),
              LIT_BUFFER_TOO_SMALL);
    EXPECT_EQ(len, 0);

    EXPECT_EQ(fmt.TiBinValToLit(TYPE_LWORD, &t, nullptr, &len), LIT_TYPE_NOT_SUPPORTED);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(fmt.TiBinValToLit(TYPE_INT, &i, nullptr, nullptr), 0);

    {
        failalloc::Scope fail(0);
        len = 5;
        EXPECT_EQ(fmt.TiBinValToLit(TYPE_INT, &i, nullptr, &len), LIT_NO_MEMORY);
        EXPECT_TRUE(failalloc::Failed());
    }
    EXPECT_EQ(len, 0);
}

TEST(ValToLitError, ReturnsTheStatusAndItsMessageText) {
    TiValToLit fmt;
    short code = 1;
    char* text = nullptr;
    fmt.ReturnCurError(&code, &text);
    EXPECT_EQ(code, 0);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");

    char small[3];
    EXPECT_EQ(fmt.TiINTtoLit(-32768, small, sizeof small), LIT_BUFFER_TOO_SMALL);
    fmt.ReturnCurError(&code, &text);
    EXPECT_EQ(code, LIT_BUFFER_TOO_SMALL);
    char expected[TiValToLit::kMessageSize];
    LoadStringA(nullptr, 3429, expected, sizeof expected);
    EXPECT_GT(std::strlen(expected), 0u);
    EXPECT_STREQ(text, expected);
    EXPECT_LE(std::strlen(text), 100u);

    // Without a text pointer nothing is reported.
    code = 7;
    fmt.ReturnCurError(&code, nullptr);
    EXPECT_EQ(code, 7);
    // Without a code pointer the text is still given.
    text = nullptr;
    fmt.ReturnCurError(nullptr, &text);
    EXPECT_STREQ(text, expected);
}

} // namespace
