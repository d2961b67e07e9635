// Hostile input for the literal scanner: zero bytes inside a buffer, bytes
// above 127, every single byte in every mode, and texts of 100 000
// characters. Nothing may crash, hang, or read or write outside the text (the
// sanitizer build checks the latter); results stay defined.
#include "TsLiteralSupport.h"

#include "base/IecTypeIds.h"
#include "base/TiLitScan.h"
#include "base/TiLitStatus.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace iec;
using tstest::Parse;
using tstest::Parsed;

namespace {

constexpr size_t kLong = 100000;

// Scans `text` for every elementary type id under every flags value, in an
// exactly sized buffer; returns the statuses seen.
std::vector<short> ScanEveryType(const std::string& text) {
    std::vector<short> statuses;
    TiLitScan s;
    for (short flags = 0; flags < 4; ++flags) {
        s.flags = flags;
        for (short id = -24; id <= -1; ++id) {
            std::vector<char> buf(text.begin(), text.end());
            buf.push_back(0);
            alignas(8) unsigned char out[16] = {};
            statuses.push_back(s.scan(buf.data(), id, out));
            EXPECT_LE(std::strlen(buf.data()), text.size());
            EXPECT_GE(s.AcceptedLen(), 0);
        }
    }
    return statuses;
}

} // namespace

// The scanner reads C strings: what follows a zero byte is never looked at.
TEST(LitScanBadInput, ZeroBytesEndTheText) {
    struct Case {
        std::string text;  // with embedded zeros
        short status;
        uint32_t ms;
    };
    const std::vector<Case> cases = {
        {std::string("T#5s\0garbage", 12), 0, 5000},
        {std::string("T#5\0s", 5), LIT_TIME_REQUIRED, 0},
        {std::string("\0T#5s", 5), LIT_NOT_A_LITERAL, 0},
        {std::string("'ab\0cd'", 7), LIT_STRING_REQUIRED, 0},
    };
    TiLitScan s;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 3));
        std::vector<char> buf(c.text.begin(), c.text.end());
        buf.push_back(0);
        uint32_t out = 1;
        EXPECT_EQ(s.ScanTIME(buf.data(), &out), c.status);
        EXPECT_EQ(out, c.ms);
    }
}

// Every byte from 1 to 255, alone and after each prefix, in every mode.
TEST(LitScanBadInput, EverySingleByteInEveryMode) {
    const char* leads[] = {"", "1", "1.5e", "T#1", "D#2000-", "TOD#1:", "DT#2000-01-01-", "16#", "INT#", "'"};
    for (const char* lead : leads) {
        for (int b = 1; b < 256; ++b) {
            std::string text = std::string(lead) + static_cast<char>(b);
            for (short mode : {short(0), short(1), short(2), short(8), short(11)}) {
                Parsed r = Parse(text, mode);
                ASSERT_TRUE(r.result == ts_parse::TSPARSE_OK || r.result == ts_parse::TSPARSE_GAVE_UP)
                    << lead << " " << b;
                ASSERT_LE(static_cast<size_t>(r.consumed), text.size());
                ASSERT_LE(static_cast<size_t>(r.errPos), text.size());
            }
        }
    }
}

TEST(LitScanBadInput, BytesAbove127) {
    struct Case {
        std::string text;
        short err;
        uint16_t flags;
    };
    const std::vector<Case> cases = {
        {"\x80", LIT_NOT_A_LITERAL, 0},
        {"\xFF", 0, 0},                      // a letter (y with diaeresis): a name
        {"\xE4\xF6\xFC", 0, 0},
        {"\xD7", LIT_NOT_A_LITERAL, 0},      // the multiplication sign
        {"1\x80", LIT_BAD_DECIMAL_DIGIT, 0},
        {"16#F\x80", LIT_BAD_HEX_DIGIT, CONST_HEX},
        {"T#1\xE4", LIT_TIME_REQUIRED, 0},
        {"'\x80\xFF'", 0, CONST_STRING},
        {"INT#\xE4", LIT_PREFIX_NOT_APPLICABLE, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed r = Parse(c.text);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.flags, c.flags);
    }
    for (int b = 128; b < 256; ++b) {
        std::string text(1, static_cast<char>(b));
        ScanEveryType(text);
        ScanEveryType("T#1" + text);
        ScanEveryType("'" + text);
    }
}

TEST(LitScanBadInput, LongTexts) {
    TiLitScan s;

    // 100 000 digits: out of range, counts saturated.
    std::string digits(kLong, '9');
    int32_t dint = 0;
    EXPECT_EQ(s.ScanDINT(digits.data(), &dint), LIT_OUT_OF_RANGE);
    EXPECT_EQ(dint, INT32_MAX);
    EXPECT_EQ(s.AcceptedLen(), 32767);

    // A real with 100 000 fraction digits is still correctly rounded.
    std::string real = "0." + std::string(kLong, '3');
    double d = 0;
    EXPECT_EQ(s.ScanLREAL(real.data(), &d), 0);
    EXPECT_EQ(d, 1.0 / 3.0);
    std::string ones = "1." + std::string(kLong, '0') + "1";
    EXPECT_EQ(s.ScanLREAL(ones.data(), &d), 0);
    EXPECT_EQ(d, 1.0);
    std::string huge = std::string(kLong, '9') + ".0";
    EXPECT_EQ(s.ScanLREAL(huge.data(), &d), LIT_OUT_OF_RANGE);

    // A fraction of seconds of 100 000 digits is rounded exactly: just below
    // one half millisecond, and at it.
    std::string below = "T#0.0004" + std::string(kLong, '9') + "s";
    uint32_t ms = 7;
    EXPECT_EQ(s.ScanTIME(below.data(), &ms), 0);
    EXPECT_EQ(ms, 0u);
    std::string at = "T#0.0005" + std::string(kLong, '0') + "s";
    EXPECT_EQ(s.ScanTIME(at.data(), &ms), 0);
    EXPECT_EQ(ms, 1u);
    std::string aboveHalf = "T#0.5" + std::string(kLong, '0') + "1ms";
    EXPECT_EQ(s.ScanTIME(aboveHalf.data(), &ms), LIT_FRACTION_DROPPED);
    EXPECT_EQ(ms, 1u);

    // 50 000 duration components: the parser stack overflows and says so.
    std::string components = "T#";
    for (size_t i = 0; i < kLong / 2; ++i) {
        components += "1s";
    }
    EXPECT_EQ(s.ScanTIME(components.data(), &ms), LIT_STACK_OVERFLOW);
    EXPECT_EQ(ms, 0u);

    // A string of 100 000 characters, and an unterminated one.
    std::string str = "'" + std::string(kLong - 2, 'x') + "'";
    char* text = nullptr;
    EXPECT_EQ(s.ScanSTRING(str.data(), &text), 0);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::strlen(text), kLong - 2);
    std::string open = "'" + std::string(kLong, '$');
    EXPECT_EQ(s.ScanSTRING(open.data(), &text), LIT_STRING_REQUIRED);

    // A name of 100 000 letters, and 100 000 blanks.
    std::string name(kLong, 'a');
    short i16 = 3;
    EXPECT_EQ(s.ScanINT(name.data(), &i16), LIT_INTEGER_REQUIRED);
    std::string blanks(kLong, ' ');
    EXPECT_EQ(s.ScanINT(blanks.data(), &i16), LIT_NOT_A_LITERAL);
    EXPECT_EQ(s.AcceptedLen(), 32767);

    // Long junk through every type and flags value.
    std::string junk;
    for (size_t k = 0; k < kLong; ++k) {
        junk.push_back(static_cast<char>("T#1d_D-:.e+'$_#\x80"[k % 16]));
    }
    for (short st : ScanEveryType(junk)) {
        EXPECT_NE(st, 0);
    }
}
