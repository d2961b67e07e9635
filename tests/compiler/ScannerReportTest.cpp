// Source scanner around the tokens: construction status in both forms, the
// line reader, start markers, line mode with its comment message, the report
// helpers and marks, literal discarding with the memory registry, and the
// echo sink.
#include "tests/compiler/ScanHelper.h"

#include "base/TiMemRegister.h"
#include "platform/MessageTexts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using V = std::vector<short>;
using M = std::vector<std::string>;

// A line reader over a fixed text with the rule of fgets: up to size - 1
// bytes, through the first line feed; null at the end.
struct Feed {
    std::string data;
    size_t at = 0;
    int calls = 0;
};
Feed g_feed;

char* FeedReader(char* buf, unsigned short size) {
    ++g_feed.calls;
    if (g_feed.at >= g_feed.data.size() || size < 2) {
        return nullptr;
    }
    size_t n = 0;
    while (n + 1 < size && g_feed.at < g_feed.data.size()) {
        char c = g_feed.data[g_feed.at++];
        buf[n++] = c;
        if (c == '\n') {
            break;
        }
    }
    buf[n] = '\0';
    return buf;
}

TEST(ScannerSetup, ConstructionStatus) {
    ScanEnv env;
    struct Case {
        const char* name;
        bool readerForm;
        bool withSet;
        bool withSource;
        short status;
    };
    const Case cases[] = {
        {"text", false, true, true, 0},
        {"text without tables", false, false, true, 1},
        {"text without text", false, true, false, 3},
        {"text without either", false, false, false, 1},
        {"reader", true, true, true, 0},
        {"reader without tables", true, false, true, 1},
        {"reader without reader", true, true, false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        short st = -1;
        SymTabSet* set = c.withSet ? &env.set : nullptr;
        g_feed = Feed{"x y", 0, 0};
        TiScanner* s = c.readerForm
                           ? new TiScanner(c.withSource ? FeedReader : nullptr, set, &env.sink,
                                           &env.opts, 0, 0, &st)
                           : new TiScanner(c.withSource ? "x y" : static_cast<const char*>(nullptr),
                                           set, &env.sink, &env.opts, 0, 0, &st);
        EXPECT_EQ(st, c.status);
        EXPECT_EQ(s->GetStatus(), c.status);
        if (c.status != 0) {
            EXPECT_EQ(s->lex(nullptr), 0); // an unusable scanner is at its end at once
        } else {
            EXPECT_EQ(s->lex(nullptr), 398);
        }
        delete s;
    }
}

TEST(ScannerSetup, LineReaderForm) {
    ScanEnv env;
    g_feed = Feed{"TYPE t : INT;\nEND_TYPE\n", 0, 0};
    short st = -1;
    TiScanner s(FeedReader, &env.set, &env.sink, &env.opts, 0, 0, &st);
    ASSERT_EQ(st, 0);
    auto toks = env.Drain(s);
    EXPECT_EQ(ScanEnv::Tokens(toks), (V{374, 398, ':', 327, ';', 310}));
    EXPECT_EQ(toks.back().row, 2);
    // After the end the reader is not asked again.
    int calls = g_feed.calls;
    EXPECT_EQ(s.lex(nullptr), 0);
    EXPECT_EQ(s.lex(nullptr), 0);
    EXPECT_EQ(g_feed.calls, calls);
}

TEST(ScannerSetup, StartMarkers) {
    struct Case {
        const char* name;
        uint16_t modeFlags;
        uint16_t auxFlags;
        unsigned short ctx;
        short startToken;
        short expected;
    };
    const Case cases[] = {
        {"none", 0, 0, 0, 0, 0},
        {"given start token stays", 0, 0, 0, 258, 258},
        {"modeFlags 0x1000", 0x1000, 0, 0, 0, 262},
        {"0x1000 wins over 0x0400", 0x1400, 0x0008, 7, 0, 262},
        {"modeFlags 0x0400", 0x0400, 0, 0, 0, 261},
        {"0x0400 wins over the first condition", 0x0400, 0, 1, 0, 261},
        {"first condition", 0, 0, scan::SCAN_CTX_FIRST, 0, 258},
        {"first condition wins over 0x0800", 0x0800, 0, scan::SCAN_CTX_FIRST, 0, 258},
        {"modeFlags 0x0800", 0x0800, 0, 0, 0, 260},
        {"0x0800 wins over auxFlags 0x0008", 0x0800, 0x0008, 0, 0, 260},
        {"auxFlags 0x0008", 0, 0x0008, 0, 0, 264},
        {"auxFlags 0x0008 with second condition", 0, 0x0008, scan::SCAN_CTX_SECOND, 0, 263},
        {"second condition alone", 0, 0, scan::SCAN_CTX_SECOND, 262, 262},
        {"third condition", 0, 0, scan::SCAN_CTX_THIRD, 0, 259},
        {"auxFlags 0x0008 wins over the third", 0, 0x0008, scan::SCAN_CTX_THIRD, 0, 264},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScanEnv env;
        env.opts.modeFlags = c.modeFlags;
        env.opts.auxFlags = c.auxFlags;
        short st = 0;
        TiScanner s("x", &env.set, &env.sink, &env.opts, c.startToken, c.ctx, &st);
        V got;
        for (short t = s.lex(nullptr); t != 0; t = s.lex(nullptr)) {
            got.push_back(t);
        }
        V want;
        if (c.expected != 0) {
            want.push_back(c.expected);
        }
        want.push_back(398);
        EXPECT_EQ(got, want); // returned once, first
    }
}

TEST(ScannerSetup, LiteralScannerModeFromOptions) {
    struct Case {
        uint16_t langFlags;
        short mode;
    };
    const Case cases[] = {{0, 0},      {0x0020, 2}, {0x0100, 1},
                          {0x0200, 4}, {0x0320, 7}, {0x00DF & ~0x0020, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.langFlags);
        ScanEnv env;
        env.opts.langFlags = c.langFlags;
        short st = 0;
        TiScanner s("", &env.set, &env.sink, &env.opts, 0, 0, &st);
        EXPECT_EQ(s.GetLiteralMode(), c.mode);
    }
    // Digit names: "1abc" is a name under the option, a bad number otherwise.
    ScanEnv names;
    names.opts.langFlags |= TiCompOptions::DigitNames;
    auto toks = names.Scan("1abc");
    EXPECT_EQ(ScanEnv::Tokens(toks), (V{398}));
    EXPECT_EQ(toks[0].text, "1abc");
}

TEST(ScannerLineMode, EndOfLineTokensAndComments) {
    struct Case {
        const char* name;
        const char* text;
        bool ilCommentsOk;
        V tokens;
        M messages;
    };
    const std::vector<Case> cases = {
        {"two lines", "LD x\nST y\n", false, {333, 398, 411, 359, 398, 411}, {}},
        {"empty lines", "\n\nLD x\n", false, {411, 411, 333, 398, 411}, {}},
        {"comment at the end", "LD x (* c *)\nST y\n", false, {333, 398, 411, 359, 398, 411}, {}},
        {"comment before a token", "(* c *) LD x\n", false, {333, 398, 411}, {"1718@1:0"}},
        {"comment before a token, allowed", "(* c *) LD x\n", true, {333, 398, 411}, {}},
        {"comment between tokens", "LD (* c *) x\nST y\n", false,
         {333, 398, 411, 359, 398, 411}, {"1718@1:3"}},
        {"each comment followed by a token", "(* a *) LD (* b *) x\n", false, {333, 398, 411},
         {"1718@1:0", "1718@1:11"}},
        {"comment over two lines", "LD x (* a\nb *) ST y\n", false, {333, 398, 359, 398, 411},
         {"1718@1:5"}},
        {"no line feed at the end", "LD x", false, {333, 398}, {}},
        {"carriage returns", "LD x\r\nST y\r\n", false, {333, 398, 411, 359, 398, 411}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScanEnv env;
        if (c.ilCommentsOk) {
            env.opts.langFlags |= TiCompOptions::ILCommentsOk;
        }
        short st = 0;
        TiScanner s(c.text, &env.set, &env.sink, &env.opts, 0, 0, &st);
        s.SetLineMode(true);
        auto toks = env.Drain(s);
        EXPECT_EQ(ScanEnv::Tokens(toks), c.tokens);
        EXPECT_EQ(env.Messages(), c.messages);
    }
    // The end-of-line token stands at the line feed; the next token on the
    // next row.
    ScanEnv env;
    short st = 0;
    TiScanner s("LD x\nST y", &env.set, &env.sink, &env.opts, 0, 0, &st);
    s.SetLineMode(true);
    auto toks = env.Drain(s);
    ASSERT_EQ(toks.size(), 5u);
    EXPECT_EQ(toks[2].row, 1);
    EXPECT_EQ(toks[2].col, 4);
    EXPECT_EQ(toks[3].row, 2);
    EXPECT_EQ(toks[3].col, 0);
    // Without line mode line feeds are blanks.
    ScanEnv off;
    EXPECT_EQ(ScanEnv::Tokens(off.Scan("LD x\nST y\n")), (V{333, 398, 359, 398}));
}

TEST(ScannerReports, PositionDeduplicationAndHelpers) {
    ScanEnv env;
    short st = 0;
    TiScanner s("alpha beta", &env.set, &env.sink, &env.opts, 0, 0, &st);
    testing::internal::CaptureStdout();
    s.lex(nullptr); // alpha: position after it 1:5
    s.ReportName("END_VAR");
    s.ReportName("END_TYPE"); // same position: dropped
    s.ReportName2("zeta");    // same position: dropped
    s.lex(nullptr);           // beta: 1:10
    s.ReportName2("zeta");
    s.Report(-3518);           // same position: dropped
    s.Report(-3518, 4, 4);
    s.Report(1718, 4, 5);      // a warning code
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(testsink::Lines(env.sink),
              (M{"E: M3511 END_VAR", "E: M3575 zeta", "E: M3518", "W: M1718"}));
    EXPECT_EQ(env.Messages(), (M{"-3511@1:5", "-3575@1:10", "-3518@4:4", "1718@4:5"}));
}

TEST(ScannerReports, Marks) {
    struct Step {
        enum Kind { Lex, Set, Clear, ClearHere } kind;
    };
    struct Case {
        const char* name;
        std::vector<Step::Kind> steps;
        M messages;
    };
    using K = Step::Kind;
    const std::vector<Case> cases = {
        {"set and cleared elsewhere", {K::Lex, K::Set, K::Lex, K::Clear}, {"-3509@1:1"}},
        {"set and cleared at the mark", {K::Lex, K::Set, K::ClearHere}, {}},
        {"set twice", {K::Lex, K::Set, K::Lex, K::Set, K::ClearHere}, {"-3509@1:1"}},
        {"clear without mark", {K::Lex, K::Clear}, {}},
        {"pending at destruction: the row after it", {K::Lex, K::Set}, {"-3509@2:1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScanEnv env;
        testing::internal::CaptureStdout();
        {
            short st = 0;
            TiScanner s("a b c", &env.set, &env.sink, &env.opts, 0, 0, &st);
            for (K k : c.steps) {
                switch (k) {
                case K::Lex:
                    s.lex(nullptr);
                    break;
                case K::Set:
                    s.SetMark();
                    break;
                case K::Clear:
                    s.ClearMark(9, 9);
                    break;
                case K::ClearHere:
                    s.ClearMark(s.GetRow(), s.GetCol());
                    break;
                }
            }
        }
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(env.Messages(), c.messages);
    }
}

TEST(ScannerLiterals, DiscardOnlyReleasesLiteralRecords) {
    ScanEnv env;
    short st = 0;
    TiScanner s("TRUE x 5", &env.set, &env.sink, &env.opts, 0, 0, &st);
    TokenValue v;
    testing::internal::CaptureStdout();
    ASSERT_EQ(s.lex(&v), 373);
    SymAttr* kw = v.sym;
    s.DiscardLiteral(373, &v); // a keyword entry: untouched
    EXPECT_EQ(v.sym, kw);
    ASSERT_EQ(s.lex(&v), 398);
    s.DiscardLiteral(391, &v); // a name entry under a literal token: untouched
    EXPECT_NE(v.sym, nullptr);
    ASSERT_EQ(s.lex(&v), 391);
    s.DiscardLiteral(0, &v); // not a literal token: untouched
    EXPECT_NE(v.sym, nullptr);
    s.DiscardLiteral(391, nullptr);
    std::string quiet = testing::internal::GetCapturedStdout();
    EXPECT_EQ(quiet, "");
    testing::internal::CaptureStdout();
    s.DiscardLiteral(391, &v);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nlex: discard constant 5, last lookahead: row=1, col=8");
    EXPECT_EQ(v.sym, nullptr);
}

TEST(ScannerLiterals, MemoryRegistryDecidesTheRelease) {
    ScanEnv env;
    testing::internal::CaptureStdout();
    TiMemRegisterEnable(true);
    {
        short st = 0;
        TiScanner s("7 8", &env.set, &env.sink, &env.opts, 0, 0, &st);
        TokenValue v1;
        TokenValue v2;
        ASSERT_EQ(s.lex(&v1), 391);
        ASSERT_EQ(s.lex(&v2), 391);
        // Registered by the scanner: withdrawn and released.
        s.DiscardLiteral(391, &v1);
        EXPECT_EQ(v1.sym, nullptr);
        // Withdrawn already by someone else: the registry refuses, the record
        // stays with its owner.
        EXPECT_EQ(TiMemDeRegisterMemoryFkt(v2.sym, const_cast<char*>("test"), 1), 0);
        SymAttr* kept = v2.sym;
        s.DiscardLiteral(391, &v2);
        EXPECT_EQ(v2.sym, kept);
        delete kept;
        delete[] v2.text;
    }
    TiMemRegisterEnable(false);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("lex: discard constant 7,"), std::string::npos);
    EXPECT_EQ(out.find("lex: discard constant 8,"), std::string::npos);
    EXPECT_NE(out.find("nicht registiert"), std::string::npos);
}

TEST(ScannerEcho, EchoReceivesEveryConsumedCharacter) {
    struct Case {
        const char* text;
        bool option;
    };
    const Case cases[] = {
        {"x := 16#FF; (* c *)\n\tEND_VAR\r\n'str' %IX1.2 ! (* open", true},
        {"", true},
        {"x", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ScanEnv env;
        if (c.option) {
            env.opts.modeFlags |= TiCompOptions::EchoSource;
        }
        short st = 0;
        TiScanner s(c.text, &env.set, &env.sink, &env.opts, 0, 0, &st);
        s.EnableEcho();
        env.Drain(s);
        TiEchoSink* e = s.TakeEcho();
        if (!c.option) {
            EXPECT_EQ(e, nullptr);
            continue;
        }
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(std::string(e->Text()), c.text);
        EXPECT_FALSE(e->Incomplete());
        EXPECT_EQ(s.TakeEcho(), nullptr); // handed over
        delete e;
    }
}

TEST(ScannerReports, EveryMessageNumberHasAText) {
    // The scanner's own messages and those of the literal scanner that it
    // passes on.
    std::vector<int> numbers = {scan::MSG_UNCLOSED_COMMENT, scan::MSG_MISSING_SEMICOLON,
                                scan::MSG_EXPECTED,         scan::MSG_BAD_ADDRESS,
                                scan::MSG_NAME_TOO_LONG,    scan::MSG_LOWER_CASE,
                                scan::MSG_NOT_DECLARED,     scan::MSG_LANGUAGE_LEVEL,
                                scan::MSG_BAD_CHARACTER,    scan::MSG_IL_COMMENT,
                                -3405,                      -3614,
                                1704,                       errmess::MSG_INTERNAL,
                                errmess::MSG_NO_MEMORY};
    for (int n = -3428; n <= -3410; ++n) {
        numbers.push_back(n);
    }
    for (int n : numbers) {
        SCOPED_TRACE(n);
        EXPECT_NE(FindMessageText(static_cast<unsigned>(n < 0 ? -n : n)), nullptr);
    }
}

} // namespace
