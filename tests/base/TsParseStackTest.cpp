// The literal parser's stacks and life cycle: both constructors, unusable
// stacks and missing scanners (reported, never ending the process), stack
// overflow (-3428), and one scanner/parser pair serving many literals.
#include "TsLiteralSupport.h"

#include "base/IecTypeIds.h"
#include "base/TiLitStatus.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace iec;
using tstest::Parse;
using tstest::Parsed;

namespace {

// A duration of n components: right recursion keeps every one on the stack
// until the last is read.
std::string LongDuration(int n) {
    std::string text = "T#";
    for (int i = 0; i < n; ++i) {
        text += "1s";
    }
    return text;
}

} // namespace

TEST(TsParseStack, OwnStacksDepthBounds) {
    struct Case {
        int depth;
        bool usable;
    };
    const Case cases[] = {
        {-1, false}, {0, false}, {1, true}, {150, true}, {ts_parse::kMaxDepth, true},
        {ts_parse::kMaxDepth + 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        testing::internal::CaptureStderr();
        ts_parse p(c.depth);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(p.IsUsable(), c.usable);
        EXPECT_EQ(p.Depth(), c.usable ? c.depth : 0);
        EXPECT_EQ(err, c.usable ? "" : "Not enough space for parser stacks\n");
        if (!c.usable) {
            std::string text = "5";
            IEC_CONSTANT k;
            ts_scan s(text.data(), k, 0);
            EXPECT_EQ(p.tsparse(&s), ts_parse::TSPARSE_UNUSABLE);
            EXPECT_EQ(k.flags, 0);
        }
    }
}

TEST(TsParseStack, CallerStacks) {
    short states[40];
    TSSTYPE values[40];
    struct Case {
        int depth;
        bool nullStates;
        bool nullValues;
        bool usable;
    };
    const Case cases[] = {
        {19, false, false, false},
        {20, false, false, true},
        {40, false, false, true},
        {40, true, false, false},
        {40, false, true, false},
        {0, false, false, false},
        {-20, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        testing::internal::CaptureStderr();
        ts_parse p(c.depth, c.nullStates ? nullptr : states, c.nullValues ? nullptr : values);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(p.IsUsable(), c.usable);
        EXPECT_EQ(err, c.usable ? "" : "Bad state/stack given\n");
        std::string text = "16#FF";
        IEC_CONSTANT k;
        ts_scan s(text.data(), k, 0);
        int r = p.tsparse(&s);
        if (c.usable) {
            EXPECT_EQ(r, ts_parse::TSPARSE_OK);
            EXPECT_EQ(k.flags, CONST_HEX);
        } else {
            EXPECT_EQ(r, ts_parse::TSPARSE_UNUSABLE);
            EXPECT_EQ(k.flags, 0);
        }
    }
}

TEST(TsParseStack, NoScanner) {
    ts_parse p(ts_parse::kDefaultDepth);
    testing::internal::CaptureStderr();
    EXPECT_EQ(p.tsparse(nullptr), ts_parse::TSPARSE_UNUSABLE);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "No scanner\n");
    // The parser stays usable.
    EXPECT_EQ(Parse("5").result, ts_parse::TSPARSE_OK);
}

// A scanner that was never reset reads no text: the parser reduces the
// not-a-literal rule and touches no constant.
TEST(TsParseStack, ScannerWithoutText) {
    ts_parse p(ts_parse::kDefaultDepth);
    ts_scan s;
    EXPECT_EQ(p.tsparse(&s), ts_parse::TSPARSE_OK);
    EXPECT_EQ(s.ErrStatus(), LIT_NOT_A_LITERAL);
}

TEST(TsParseStack, Overflow) {
    struct Case {
        int depth;
        int components;
        bool overflows;
    };
    const Case cases[] = {
        {150, 5, false},  {150, 100, false}, {150, 200, true}, {150, 5000, true},
        {20, 10, false},  {20, 30, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.depth) + "/" + std::to_string(c.components));
        std::string text = LongDuration(c.components);
        Parsed r = Parse(text, 0, c.depth);
        if (c.overflows) {
            EXPECT_EQ(r.result, ts_parse::TSPARSE_GAVE_UP);
            EXPECT_EQ(r.err, LIT_STACK_OVERFLOW);
        } else {
            EXPECT_EQ(r.result, ts_parse::TSPARSE_OK);
            // Repeated seconds are out of order: malformed, but parsed.
            EXPECT_EQ(r.err, c.components > 1 ? LIT_TIME_REQUIRED : 0);
        }
    }
    // The same on the caller's smallest stacks.
    short states[ts_parse::kMinCallerDepth];
    TSSTYPE values[ts_parse::kMinCallerDepth];
    ts_parse p(ts_parse::kMinCallerDepth, states, values);
    std::string text = LongDuration(30);
    IEC_CONSTANT k;
    ts_scan s(text.data(), k, 0);
    EXPECT_EQ(p.tsparse(&s), ts_parse::TSPARSE_GAVE_UP);
    EXPECT_EQ(s.ErrStatus(), LIT_STACK_OVERFLOW);
}

// One scanner and one parser serve any number of literals, also after a
// parse that gave up halfway through a date or a string.
TEST(TsParseStack, OnePairManyLiterals) {
    struct Case {
        std::string text;
        short err;
        uint16_t flags;
    };
    const std::vector<Case> cases = {
        {"T#5s", 0, CONST_TIME},
        {LongDuration(200), LIT_STACK_OVERFLOW, 0},
        {"16#FF", 0, CONST_HEX},
        {"'abc'", 0, CONST_STRING},
        {"INT#'abc'", LIT_PREFIX_NOT_APPLICABLE, 0},
        {"D#2000-01-01", 0, CONST_DATE},
        {"abc", 0, 0},
        {"1.5", 0, CONST_REAL},
        {"", LIT_NOT_A_LITERAL, 0},
        {"TOD#12:00:00", 0, CONST_TOD},
    };
    ts_scan s;
    ts_parse p(ts_parse::kDefaultDepth);
    for (int round = 0; round < 2; ++round) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.text.substr(0, 20));
            std::string text = c.text;
            IEC_CONSTANT k;
            s.tsreset(text.data(), k, 0);
            p.tsreset();
            p.tsparse(&s);
            EXPECT_EQ(s.ErrStatus(), c.err);
            EXPECT_EQ(k.flags, c.flags);
        }
    }
}

// Dropping a string lookahead, or resetting with one pending, releases it
// (the sanitizer build checks that nothing leaks or is freed twice).
TEST(TsParseStack, ClearinAndResetReleaseLookahead) {
    ts_parse p(ts_parse::kDefaultDepth);
    p.tsclearin();
    p.tsreset();
    for (const char* text : {"INT#'abc'", "-'abc'", "T#'x'", "+'abc'", "INT#-'abc'"}) {
        SCOPED_TRACE(text);
        Parsed r = Parse(text);
        EXPECT_EQ(r.result, ts_parse::TSPARSE_OK);
        EXPECT_NE(r.err, 0);
    }
}
