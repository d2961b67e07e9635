// Tokens of the literal character scanner: prefixes in every letter case and
// mode, digit runs and their underscore rules, names and type prefixes,
// string decoding, and the scanner's own error bookkeeping.
#include "TsLiteralSupport.h"

#include "base/IecTypeIds.h"
#include "base/TiLitStatus.h"
#include "base/ts_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace iec;
using tstest::Tokens;

namespace {

struct Lexed {
    short token;
    TSSTYPE value;
    short err;
    short errPos;
    short consumed;
    unsigned char lexState;
};

// The first token of `text` and the scanner's state after it.
Lexed First(std::string text, short mode = 0) {
    text.push_back(0);
    IEC_CONSTANT c;
    ts_scan s(text.data(), c, mode);
    Lexed l{};
    l.token = s.tslex(l.value);
    l.err = s.ErrStatus();
    l.errPos = s.ErrPos();
    l.consumed = s.Consumed();
    l.lexState = s.LexState();
    return l;
}

double DigitValue(const TSSTYPE& v) {
    double d = -1;
    v.digit.GetDoubleVal(&d);
    return d;
}

} // namespace

TEST(TsScanLex, EmptyAndNullTextEndAtOnce) {
    EXPECT_EQ(Tokens(""), std::vector<short>{TS_END});
    ts_scan idle;
    TSSTYPE v;
    EXPECT_EQ(idle.tslex(v), TS_END);
    EXPECT_EQ(idle.ConstantBuf(), nullptr);
    IEC_CONSTANT c;
    ts_scan s(nullptr, c, 0);
    EXPECT_EQ(s.tslex(v), TS_END);
    EXPECT_EQ(s.Consumed(), 0);
}

// Every letter prefix in upper, lower and mixed case: mixed case is -3614
// unless mode 2; the token and the lexical state do not depend on the case.
TEST(TsScanLex, LetterPrefixesInEveryCaseAndMode) {
    struct Case {
        const char* text;
        short token;
        unsigned char state;
        bool mixed;
    };
    const Case cases[] = {
        {"T#", TS_DURATION, ts_scan::LEX_DURATION, false},
        {"t#", TS_DURATION, ts_scan::LEX_DURATION, false},
        {"TIME#", TS_DURATION, ts_scan::LEX_DURATION, false},
        {"time#", TS_DURATION, ts_scan::LEX_DURATION, false},
        {"Time#", TS_DURATION, ts_scan::LEX_DURATION, true},
        {"tIME#", TS_DURATION, ts_scan::LEX_DURATION, true},
        {"D#", TS_DATE, ts_scan::LEX_DATE, false},
        {"d#", TS_DATE, ts_scan::LEX_DATE, false},
        {"DATE#", TS_DATE, ts_scan::LEX_DATE, false},
        {"date#", TS_DATE, ts_scan::LEX_DATE, false},
        {"Date#", TS_DATE, ts_scan::LEX_DATE, true},
        {"DT#", TS_DATE_TIME, ts_scan::LEX_DATE_TIME, false},
        {"dt#", TS_DATE_TIME, ts_scan::LEX_DATE_TIME, false},
        {"Dt#", TS_DATE_TIME, ts_scan::LEX_DATE_TIME, true},
        {"dT#", TS_DATE_TIME, ts_scan::LEX_DATE_TIME, true},
        {"DATE_AND_TIME#", TS_DATE_TIME, ts_scan::LEX_DATE_TIME, false},
        {"date_and_time#", TS_DATE_TIME, ts_scan::LEX_DATE_TIME, false},
        {"Date_And_Time#", TS_DATE_TIME, ts_scan::LEX_DATE_TIME, true},
        {"TOD#", TS_TIME_OF_DAY, ts_scan::LEX_TIME_OF_DAY, false},
        {"tod#", TS_TIME_OF_DAY, ts_scan::LEX_TIME_OF_DAY, false},
        {"Tod#", TS_TIME_OF_DAY, ts_scan::LEX_TIME_OF_DAY, true},
        {"TIME_OF_DAY#", TS_TIME_OF_DAY, ts_scan::LEX_TIME_OF_DAY, false},
        {"time_of_day#", TS_TIME_OF_DAY, ts_scan::LEX_TIME_OF_DAY, false},
        {"Time_Of_Day#", TS_TIME_OF_DAY, ts_scan::LEX_TIME_OF_DAY, true},
    };
    for (short mode : {short(0), short(TS_MODE_CASE_LENIENT)}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.text) + " mode " + std::to_string(mode));
            Lexed l = First(c.text, mode);
            EXPECT_EQ(l.token, c.token);
            EXPECT_EQ(l.lexState, c.state);
            EXPECT_EQ(l.consumed, static_cast<short>(std::string(c.text).size()));
            short expected = (c.mixed && mode == 0) ? LIT_MIXED_CASE_PREFIX : 0;
            EXPECT_EQ(l.err, expected);
            EXPECT_EQ(l.errPos, 0);
        }
    }
}

// Type prefixes match exactly in upper case, or in any case under mode 2;
// otherwise the name with '#' is token 268.
TEST(TsScanLex, TypePrefixesInEveryCaseAndMode) {
    struct Prefix {
        const char* name;
        short typeId;
    };
    const Prefix prefixes[] = {
        {"BOOL", TYPE_BOOL},   {"BYTE", TYPE_BYTE},   {"DINT", TYPE_DINT},
        {"DWORD", TYPE_DWORD}, {"INT", TYPE_INT},     {"LINT", TYPE_LINT},
        {"LREAL", TYPE_LREAL}, {"REAL", TYPE_REAL},   {"SINT", TYPE_SINT},
        {"UDINT", TYPE_UDINT}, {"UINT", TYPE_UINT},   {"ULINT", TYPE_ULINT},
        {"USINT", TYPE_USINT}, {"WORD", TYPE_WORD},
    };
    for (const Prefix& p : prefixes) {
        std::string upper = p.name;
        std::string lower;
        std::string mixed;
        for (size_t i = 0; i < upper.size(); ++i) {
            lower.push_back(static_cast<char>(upper[i] - 'A' + 'a'));
            mixed.push_back(i == 0 ? upper[i] : static_cast<char>(upper[i] - 'A' + 'a'));
        }
        struct Spelling {
            std::string text;
            short mode;
            short token;
        };
        const Spelling spellings[] = {
            {upper, 0, TS_TYPE_PREFIX},   {lower, 0, TS_NAME_HASH},
            {mixed, 0, TS_NAME_HASH},     {upper, TS_MODE_CASE_LENIENT, TS_TYPE_PREFIX},
            {lower, TS_MODE_CASE_LENIENT, TS_TYPE_PREFIX},
            {mixed, TS_MODE_CASE_LENIENT, TS_TYPE_PREFIX},
        };
        for (const Spelling& s : spellings) {
            SCOPED_TRACE(s.text + "# mode " + std::to_string(s.mode));
            Lexed l = First(s.text + "#5", s.mode);
            EXPECT_EQ(l.token, s.token);
            EXPECT_EQ(l.consumed, static_cast<short>(s.text.size() + 1));
            EXPECT_EQ(l.err, 0);
            if (s.token == TS_TYPE_PREFIX) {
                EXPECT_EQ(l.value.typeId, p.typeId);
                EXPECT_EQ(l.lexState, ts_scan::LEX_INITIAL);
            } else {
                EXPECT_EQ(l.lexState, ts_scan::LEX_NAME);
            }
        }
    }
    // Names longer than any type prefix, and "__" names, are never looked up.
    EXPECT_EQ(First("STRING#'a'").token, TS_NAME_HASH);
    EXPECT_EQ(First("LWORD#5").token, TS_NAME_HASH);
    Lexed doubled = First("IN__T#5");
    EXPECT_EQ(doubled.token, TS_NAME);
    EXPECT_EQ(doubled.consumed, 5);
}

TEST(TsScanLex, BasedDigitRunsAndUnderscores) {
    struct Case {
        const char* text;
        short token;
        double value;
        short err;
        short errPos;
        short consumed;
    };
    const Case cases[] = {
        {"16#", TS_HEX_DIGITS, 0, LIT_BAD_HEX_DIGIT, 3, 3},
        {"16#0", TS_HEX_DIGITS, 0, 0, 0, 4},
        {"16#FF_FF", TS_HEX_DIGITS, 65535, 0, 0, 8},
        {"16#ff", TS_HEX_DIGITS, 255, 0, 0, 5},
        {"16#FFFFFFFFFFFFFFFF", TS_HEX_DIGITS, 18446744073709551615.0, 0, 0, 19},
        {"16#_FF", TS_HEX_DIGITS, 255, LIT_BAD_HEX_DIGIT, 3, 6},
        {"16#FF_", TS_HEX_DIGITS, 255, LIT_BAD_HEX_DIGIT, 5, 6},
        {"16#F__F", TS_HEX_DIGITS, 255, LIT_BAD_HEX_DIGIT, 5, 7},
        {"16#FG", TS_HEX_DIGITS, 15, LIT_BAD_HEX_DIGIT, 4, 5},
        {"2#1010_1010", TS_BIN_DIGITS, 170, 0, 0, 11},
        {"2#102", TS_BIN_DIGITS, 2, LIT_BAD_BINARY_DIGIT, 4, 5},
        {"2#", TS_BIN_DIGITS, 0, LIT_BAD_BINARY_DIGIT, 2, 2},
        {"8#777", TS_OCT_DIGITS, 511, 0, 0, 5},
        {"8#78", TS_OCT_DIGITS, 7, LIT_BAD_OCTAL_DIGIT, 3, 4},
        {"8#_7", TS_OCT_DIGITS, 7, LIT_BAD_OCTAL_DIGIT, 2, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Lexed l = First(c.text);
        EXPECT_EQ(l.token, c.token);
        EXPECT_EQ(DigitValue(l.value), c.value);
        EXPECT_EQ(l.err, c.err);
        EXPECT_EQ(l.errPos, c.errPos);
        EXPECT_EQ(l.consumed, c.consumed);
        EXPECT_EQ(l.lexState, ts_scan::LEX_BASED);
    }
}

TEST(TsScanLex, DecimalDigitRunsAndUnderscores) {
    struct Case {
        const char* text;
        double value;
        short err;
        short errPos;
        short consumed;
    };
    const Case cases[] = {
        {"0", 0, 0, 0, 1},
        {"007", 7, 0, 0, 3},
        {"1_000", 1000, 0, 0, 5},
        {"4294967295", 4294967295.0, 0, 0, 10},
        {"4294967296", 4294967296.0, 0, 0, 10},
        {"1__0", 10, LIT_BAD_DECIMAL_DIGIT, 2, 4},
        {"1_", 1, LIT_BAD_DECIMAL_DIGIT, 1, 2},
        {"1_x", 1, LIT_BAD_DECIMAL_DIGIT, 1, 2},
        {"12x", 12, 0, 0, 2},  // letters end a decimal run
        {"1e5", 1, 0, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Lexed l = First(c.text);
        EXPECT_EQ(l.token, TS_DIGITS);
        EXPECT_EQ(DigitValue(l.value), c.value);
        EXPECT_EQ(l.err, c.err);
        EXPECT_EQ(l.errPos, c.errPos);
        EXPECT_EQ(l.consumed, c.consumed);
        EXPECT_EQ(l.lexState, ts_scan::LEX_DECIMAL);
    }
}

TEST(TsScanLex, FractionDigitsCarryTheirText) {
    std::string text = "12.5_0x";
    IEC_CONSTANT c;
    ts_scan s(text.data(), c, 0);
    TSSTYPE v;
    EXPECT_EQ(s.tslex(v), TS_DIGITS);
    EXPECT_EQ(s.tslex(v), '.');
    EXPECT_EQ(s.tslex(v), TS_DIGITS);
    EXPECT_EQ(v.frac.start, text.data() + 3);
    EXPECT_EQ(v.frac.end, text.data() + 6);
    // Only the run right after the point is a fraction.
    EXPECT_EQ(s.tslex(v), 'x');
}

TEST(TsScanLex, ExponentStateAndTokenSequences) {
    struct Case {
        const char* text;
        std::vector<short> tokens;
    };
    const Case cases[] = {
        {"1.5e-3", {TS_DIGITS, '.', TS_DIGITS, 'e', '-', TS_DIGITS, TS_END}},
        {"1.5E+3", {TS_DIGITS, '.', TS_DIGITS, 'E', '+', TS_DIGITS, TS_END}},
        {"1.5e--3", {TS_DIGITS, '.', TS_DIGITS, 'e', '-', TS_END}},
        {"-5", {'-', TS_DIGITS, TS_END}},
        {"+5", {'+', TS_DIGITS, TS_END}},
        {"1..5", {TS_DIGITS, TS_END}},
        {"T#1d_2h30m", {TS_DURATION, TS_DIGITS, 'd', '_', TS_DIGITS, 'h', TS_DIGITS, 'm', TS_END}},
        {"T#5ms", {TS_DURATION, TS_DIGITS, 'm', 's', TS_END}},
        {"TOD#1:2:3.5", {TS_TIME_OF_DAY, TS_DIGITS, ':', TS_DIGITS, ':', TS_DIGITS, '.', TS_DIGITS, TS_END}},
        {"INT#-5", {TS_TYPE_PREFIX, '-', TS_DIGITS, TS_END}},
        {"'a'b", {TS_STRING, TS_END}},
        {"abc def", {TS_NAME, TS_END}},
        {"_x1", {TS_NAME, TS_END}},
        {"_", {'_', TS_END}},
        {"\xE4pfel", {TS_NAME, TS_END}},
        {"#", {'#', TS_END}},
        {"\x80", {0x80, TS_END}},
        {"$", {'$', TS_END}},
        {"~", {'~', TS_END}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Tokens(c.text), c.tokens);
    }
}

TEST(TsScanLex, DigitNamesUnderMode1) {
    struct Case {
        const char* text;
        short mode;
        std::vector<short> tokens;
    };
    const Case cases[] = {
        {"12abc", TS_MODE_DIGIT_NAMES, {TS_NAME, TS_END}},
        {"1_2x", TS_MODE_DIGIT_NAMES, {TS_NAME, TS_END}},
        {"12", TS_MODE_DIGIT_NAMES, {TS_DIGITS, TS_END}},
        {"12.5", TS_MODE_DIGIT_NAMES, {TS_DIGITS, '.', TS_DIGITS, TS_END}},
        {"16#FF", TS_MODE_DIGIT_NAMES, {TS_HEX_DIGITS, TS_END}},
        {"T#10ms", TS_MODE_DIGIT_NAMES, {TS_DURATION, TS_DIGITS, 'm', 's', TS_END}},
        {"12abc", 0, {TS_DIGITS, 'a', 'b', 'c', TS_END}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " mode " + std::to_string(c.mode));
        EXPECT_EQ(Tokens(c.text, c.mode), c.tokens);
    }
}

TEST(TsScanLex, NamesAndDoubledUnderscore) {
    struct Case {
        const char* text;
        short token;
        short err;
        short errPos;
        short consumed;
    };
    const Case cases[] = {
        {"abc", TS_NAME, 0, 0, 3},
        {"a_b_c", TS_NAME, 0, 0, 5},
        {"a__b", TS_NAME, LIT_DOUBLE_UNDERSCORE, 2, 4},
        {"a__b__c", TS_NAME, LIT_DOUBLE_UNDERSCORE, 2, 7},
        {"a__b#", TS_NAME, LIT_DOUBLE_UNDERSCORE, 2, 4},
        {"abc_", TS_NAME, 0, 0, 4},
        {"FOO#", TS_NAME_HASH, 0, 0, 4},
        {"ab\x80", TS_NAME, 0, 0, 2},
        {"\xC4\xD6\xDC", TS_NAME, 0, 0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Lexed l = First(c.text);
        EXPECT_EQ(l.token, c.token);
        EXPECT_EQ(l.err, c.err);
        EXPECT_EQ(l.errPos, c.errPos);
        EXPECT_EQ(l.consumed, c.consumed);
        EXPECT_EQ(l.lexState, ts_scan::LEX_NAME);
    }
}

TEST(TsScanLex, StringDecoding) {
    struct Case {
        std::string text;
        std::string decoded;
        short err;
        short consumed;
    };
    const Case cases[] = {
        {"''", "", 0, 2},
        {"'abc'", "abc", 0, 5},
        {"'a$Nb$41'", "a\r\nbA", 0, 9},
        {"'$$'", "$", 0, 4},
        {"'$''", "'", 0, 4},
        {"'$L$l'", "\n\n", 0, 6},
        {"'$N$n'", "\r\n\r\n", 0, 6},
        {"'$P$p'", "\f\f", 0, 6},
        {"'$R$r'", "\r\r", 0, 6},
        {"'$T$t'", "\t\t", 0, 6},
        {"'$41$4a$4A'", "AJJ", 0, 11},
        {"'$4x'", "$4x", 0, 5},        // one hex digit and another character: all three
        {"'$4$41'", "$4$41", 0, 7},    // the third character is kept as it is
        {"'$x'", "$x", 0, 4},          // any other character: both
        {"'$ '", "$ ", 0, 4},
        {"'$4'", "$4", 0, 4},          // one hex digit before the closing quote
        {"'\xE4\xFF'", "\xE4\xFF", 0, 4},
        {"'abc", "", LIT_STRING_REQUIRED, 4},
        {"'ab\ncd'", "", LIT_STRING_REQUIRED, 3},
        {"'ab$", "", LIT_STRING_REQUIRED, 3},
        {"'ab$\n'", "", LIT_STRING_REQUIRED, 3},
        {"'$4\n'", "", LIT_STRING_REQUIRED, 3},
        {"'", "", LIT_STRING_REQUIRED, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string text = c.text;
        IEC_CONSTANT k;
        ts_scan s(text.data(), k, 0);
        TSSTYPE v;
        ASSERT_EQ(s.tslex(v), TS_STRING);
        ASSERT_NE(v.str, nullptr);
        EXPECT_EQ(std::string(v.str), c.decoded);
        EXPECT_EQ(s.ErrStatus(), c.err);
        EXPECT_EQ(s.Consumed(), c.consumed);
        EXPECT_EQ(s.LexState(), ts_scan::LEX_STRING);
        void* p = v.str;
        s.DiscardToken(TS_STRING, &p);
        EXPECT_EQ(p, nullptr);
        // A string ends the literal.
        EXPECT_EQ(s.tslex(v), TS_END);
    }
    // "$00" decodes to a zero byte inside the text: the decoded text is cut
    // there, nothing is read or written beyond the allocation.
    std::string zero = "'a$00b'";
    IEC_CONSTANT k;
    ts_scan s(zero.data(), k, 0);
    TSSTYPE v;
    ASSERT_EQ(s.tslex(v), TS_STRING);
    EXPECT_STREQ(v.str, "a");
    void* p = v.str;
    s.DiscardToken(TS_STRING, &p);
}

TEST(TsScanLex, ErrorBookkeeping) {
    std::string text = "T#5x y";
    IEC_CONSTANT c;
    ts_scan s(text.data(), c, 0);
    TSSTYPE v;
    EXPECT_EQ(s.tslex(v), TS_DURATION);
    EXPECT_EQ(s.tslex(v), TS_DIGITS);
    EXPECT_EQ(s.tslex(v), 'x');
    EXPECT_EQ(s.TokStart(), text.data() + 3);
    // tssync: first status and its position, back to the token start, then
    // forward to the blank.
    s.tssync(LIT_TIME_REQUIRED);
    EXPECT_EQ(s.ErrStatus(), LIT_TIME_REQUIRED);
    EXPECT_EQ(s.ErrPos(), 4);
    EXPECT_EQ(s.Cur(), text.data() + 4);
    EXPECT_EQ(s.Consumed(), 4);
    // Only the first status is kept.
    s.SetErrStatus(LIT_OUT_OF_RANGE);
    s.tserror("Parser stack overflow");
    EXPECT_EQ(s.ErrStatus(), LIT_TIME_REQUIRED);

    struct Message {
        const char* msg;
        short err;
    };
    const Message messages[] = {
        {nullptr, 0},
        {"", 0},
        {"syntax error", 0},
        {"Syntax error", 0},
        {"Parser stack overflow", LIT_STACK_OVERFLOW},
        {"P", LIT_STACK_OVERFLOW},
    };
    for (const Message& m : messages) {
        SCOPED_TRACE(m.msg ? m.msg : "(null)");
        ts_scan t(text.data(), c, 0);
        t.tserror(m.msg);
        EXPECT_EQ(t.ErrStatus(), m.err);
    }

    // tssync(0) recovers without recording a status.
    ts_scan u(text.data(), c, 0);
    u.tslex(v);
    u.tslex(v);
    u.tslex(v);
    u.tssync(0);
    EXPECT_EQ(u.ErrStatus(), 0);
    EXPECT_EQ(u.Cur(), text.data() + 4);

    // tsreset clears the status, the position and the counters.
    u.tsreset(text.data(), c, 2);
    EXPECT_EQ(u.ErrStatus(), 0);
    EXPECT_EQ(u.Consumed(), 0);
    EXPECT_EQ(u.Mode(), 2);
    EXPECT_EQ(u.LexState(), ts_scan::LEX_INITIAL);
    EXPECT_EQ(u.ConstantBuf(), &c);
}

TEST(TsScanLex, DiscardTokenOnlyFreesStrings) {
    ts_scan s;
    char* text = new char[4]{'a', 'b', 'c', 0};
    void* p = text;
    s.DiscardToken(TS_NAME, &p);
    EXPECT_EQ(p, text);
    s.DiscardToken(TS_STRING, nullptr);
    s.DiscardToken(TS_STRING, &p);
    EXPECT_EQ(p, nullptr);
    s.DiscardToken(TS_STRING, &p); // null value: nothing happens
}

TEST(TsScanLex, LetterTest) {
    struct Case {
        unsigned char ch;
        bool letter;
    };
    const Case cases[] = {
        {'a', true}, {'Z', true}, {'1', false}, {'_', false}, {0, false},
        {0xE4, true}, {0xC4, true}, {0xD7, false}, {0x80, false}, {0xFF, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.ch));
        EXPECT_EQ(ts_scan::IsAlphaOrMacro(c.ch) != 0, c.letter);
    }
}

// Counts are 16-bit: a literal longer than 32767 characters is scanned to its
// end, while consumed and errPos stop at 32767.
TEST(TsScanLex, CountsSaturate) {
    std::string digits(40000, '7');
    digits[35000] = '_';
    digits[35001] = '_';
    IEC_CONSTANT c;
    ts_scan s(digits.data(), c, 0);
    TSSTYPE v;
    EXPECT_EQ(s.tslex(v), TS_DIGITS);
    EXPECT_EQ(s.Cur(), digits.data() + digits.size());
    EXPECT_EQ(s.Consumed(), 32767);
    EXPECT_EQ(s.ErrStatus(), LIT_BAD_DECIMAL_DIGIT);
    EXPECT_EQ(s.ErrPos(), 32767);
    EXPECT_EQ(s.tslex(v), TS_END);
}
