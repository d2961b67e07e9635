// Tests of the parse driver: stack capacity and overflow, a missing scanner
// and failed stack allocation, the scanner's stop result, syntax error
// reports and the three-token recovery, and the release of discarded
// literal tokens.
#include "tests/compiler/AllocFailure.h"
#include "tests/compiler/ParseTestSupport.h"

#include <gtest/gtest.h>

#include <string>

using parsetest::Rig;

namespace {

std::string Nested(int depth) {
    std::string s = "PROGRAM P VAR X : INT; END_VAR X := ";
    s.append(static_cast<size_t>(depth), '(');
    s += "1";
    s.append(static_cast<size_t>(depth), ')');
    s += "; END_PROGRAM";
    return s;
}

// A parser whose token source stops with -2 (or another negative result)
// after a number of tokens.
class StoppingParser : public Parser {
public:
    StoppingParser(ParseContext* ctx, int tokens, short stop)
        : Parser(ctx, Parser::kDefaultCapacity), left(tokens), stop(stop) {}
    int lexCalls = 0;

protected:
    short Lex(TokenValue* value) override {
        ++lexCalls;
        if (left-- <= 0) {
            *value = TokenValue{};
            return stop;
        }
        return Parser::Lex(value);
    }

private:
    int left;
    short stop;
};

} // namespace

TEST(ParserDriver, CapacityBoundaries) {
    struct Case {
        const char* name;
        int capacity;
        bool usable;
    };
    const Case cases[] = {
        {"zero", 0, false},
        {"negative", -1, false},
        {"one past the largest", Parser::kMaxCapacity + 1, false},
        {"smallest", 1, true},
        {"the facade's", Parser::kDefaultCapacity, true},
        {"largest", Parser::kMaxCapacity, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        short st = 0;
        ParseContext ctx(&rig.set, &rig.lib, &rig.db, &rig.sink, &rig.opts, nullptr, &st);
        testing::internal::CaptureStderr();
        Parser p(&ctx, c.capacity);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(p.IsUsable(), c.usable);
        EXPECT_EQ(p.GetCapacity(), c.usable ? c.capacity : 0);
        EXPECT_EQ(err, c.usable ? "" : "Not enough space for parser stacks\n");
        if (!c.usable) {
            TiScanner scanner("", &rig.set, &rig.sink, &rig.opts, 0, 0, &st);
            EXPECT_EQ(p.parse(&scanner), Parser::kFailed);
        }
    }
}

TEST(ParserDriver, FailedStackAllocationIsAFailureNotAnExit) {
    // Either stack's allocation failing leaves an unusable parser.
    for (long n = 0; n < 2; ++n) {
        SCOPED_TRACE(n);
        Rig rig;
        short st = 0;
        ParseContext ctx(&rig.set, &rig.lib, &rig.db, &rig.sink, &rig.opts, nullptr, &st);
        testing::internal::CaptureStderr();
        bool failed = false;
        bool usable = true;
        {
            allocfail::Scope fail(n);
            Parser p(&ctx, Parser::kDefaultCapacity);
            failed = allocfail::Failed();
            usable = p.IsUsable();
        }
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(failed);
        EXPECT_FALSE(usable);
        EXPECT_EQ(err, "Not enough space for parser stacks\n");
    }
}

TEST(ParserDriver, MissingScannerIsAFailureNotAnExit) {
    Rig rig;
    short st = 0;
    ParseContext ctx(&rig.set, &rig.lib, &rig.db, &rig.sink, &rig.opts, nullptr, &st);
    Parser p(&ctx, Parser::kDefaultCapacity);
    testing::internal::CaptureStderr();
    int r = p.parse(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "No scanner\n");
    EXPECT_EQ(r, Parser::kFailed);
    EXPECT_TRUE(rig.Messages().empty());
}

TEST(ParserDriver, DepthNeededIsExactlyTheCapacity) {
    // A source accepted with some depth D is accepted at capacity D and
    // overflows at D - 1.
    const char* sources[] = {
        "",
        "TYPE A : INT; END_TYPE",
        "TYPE S : STRUCT A : ARRAY[1..2] OF INT; END_STRUCT; END_TYPE",
        "PROGRAM P VAR X : INT; END_VAR X := (1 + 2) * 3; END_PROGRAM",
    };
    for (const char* src : sources) {
        SCOPED_TRACE(src);
        Rig probe;
        ASSERT_EQ(probe.Run(src, 0, 1000), Parser::kAccepted);
        int depth = probe.maxDepth;
        ASSERT_GT(depth, 0);

        Rig exact;
        EXPECT_EQ(exact.Run(src, 0, depth), Parser::kAccepted);
        EXPECT_TRUE(exact.Messages().empty());

        Rig small;
        EXPECT_EQ(small.Run(src, 0, depth - 1 > 0 ? depth - 1 : 1), Parser::kFailed);
        EXPECT_EQ(parsetest::Joined(small.Messages()).find("M3428") != std::string::npos, true);
    }
}

TEST(ParserDriver, DeepNestingEndsInStackOverflow) {
    struct Case {
        const char* name;
        int depth;
        bool overflow;
    };
    const Case cases[] = {
        {"shallow", 5, false},
        {"deep", 40, false},
        {"beyond the stacks", 200, true},
        {"far beyond", 5000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        std::string src = Nested(c.depth);
        int r = rig.Run(src.c_str());
        EXPECT_EQ(r, c.overflow ? Parser::kFailed : Parser::kAccepted);
        std::string msgs = parsetest::Joined(rig.Messages());
        EXPECT_EQ(msgs.find("M3428") != std::string::npos, c.overflow) << msgs;
        EXPECT_LE(rig.maxDepth, Parser::kDefaultCapacity);
    }
}

TEST(ParserDriver, OverflowIsReportedWithTheRealText) {
    morval m(nullptr, nullptr, nullptr);
    m.langFlags |= TiCompOptions::LowerCaseKeywords;
    m.errMess->SetCollect(true);
    std::string src = Nested(300);
    testing::internal::CaptureStdout();
    short rc = m.Parse(src.c_str(), "deep", nullptr, nullptr, nullptr, nullptr);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(m.GetNoOfErrors(), 1);
    EXPECT_NE(out.find("Parser stack overflow"), std::string::npos) << out;
}

TEST(ParserDriver, ScannerStopEndsTheParseWithoutMessage) {
    struct Case {
        const char* name;
        int tokens;
        short stop;
        int result;
    };
    const Case cases[] = {
        {"-2 at once", 0, -2, Parser::kFailed},
        {"-2 in a declaration", 3, -2, Parser::kFailed},
        {"-2 after a complete block", 6, -2, Parser::kFailed},
        {"-1 after a complete block is the end", 6, -1, Parser::kAccepted},
        {"-7 at once is the end", 0, -7, Parser::kAccepted},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        short st = 0;
        rig.ctx = std::make_unique<ParseContext>(&rig.set, &rig.lib, &rig.db, &rig.sink,
                                                 &rig.opts, nullptr, &st);
        // "TYPE A : INT; END_TYPE" is six tokens.
        TiScanner scanner("TYPE A : INT; END_TYPE TYPE B : INT; END_TYPE", &rig.set, &rig.sink,
                          &rig.opts, 0, 0, &st);
        StoppingParser p(rig.ctx.get(), c.tokens, c.stop);
        EXPECT_EQ(p.parse(&scanner), c.result);
        EXPECT_EQ(p.GetErrorCount(), 0);
        EXPECT_TRUE(rig.Messages().empty()) << parsetest::Joined(rig.Messages());
        EXPECT_EQ(p.lexCalls, c.tokens + 1);
    }
}

TEST(ParserDriver, SyntaxErrorsAndTheThreeTokenRecovery) {
    struct Case {
        const char* name;
        const char* source;
        int result;
        int errors;
        const char* messages;
    };
    const Case cases[] = {
        {"none", "TYPE A : INT; END_TYPE", 0, 0, ""},
        {"one", "TYPE A : $; B : INT; END_TYPE", 0, 1, "t(1,10): E: M3508\n"},
        // After the recovery three tokens must be shifted before the next
        // error is reported: ';' 'B' ':' are only two before the '$'.
        {"second within three tokens", "TYPE A : $; B : $; END_TYPE", 0, 1,
         "t(1,10): E: M3508\n"},
        {"second after three tokens", "TYPE A : $; B : INT; C : $; END_TYPE", 0, 2,
         "t(1,10): E: M3508\nt(1,26): E: M3508\n"},
        // The missing ';' is reported there first; the syntax error at the
        // same position is counted, not repeated.
        {"at the end of input", "TYPE A : INT", 1, 1, "t(1,12): E: M3509\n"},
        {"resynchronised at END_TYPE", "END_TYPE TYPE B : INT; END_TYPE", 0, 1,
         "t(1,8): E: M3508\n"},
        {"unknown character token", "TYPE A : INT; # END_TYPE", 0, 1, "t(1,15): E: M3508\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        EXPECT_EQ(rig.Run(c.source), c.result);
        EXPECT_EQ(rig.syntaxErrors, c.errors);
        EXPECT_EQ(parsetest::Joined(rig.Messages()), c.messages);
    }
}

TEST(ParserDriver, DiscardedLiteralTokensAreReleased) {
    // A literal thrown away during recovery is released by the scanner,
    // which says so on the standard output.
    Rig rig;
    testing::internal::CaptureStdout();
    EXPECT_EQ(rig.Run("TYPE A : $ 5 16#FF; B : INT; END_TYPE"), Parser::kAccepted);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("lex: discard constant 5, last lookahead"), std::string::npos) << out;
    EXPECT_NE(out.find("lex: discard constant 16#FF, last lookahead"), std::string::npos) << out;
    SymAttr* b = rig.set.GetGlobalTab()->lookup("B");
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(b->IsDType());
}

TEST(ParserDriver, ParseRunsTwiceOnOneParser) {
    Rig rig;
    short st = 0;
    ParseContext ctx(&rig.set, &rig.lib, &rig.db, &rig.sink, &rig.opts, nullptr, &st);
    Parser p(&ctx, Parser::kDefaultCapacity);
    TiScanner bad("TYPE A : $; END_TYPE", &rig.set, &rig.sink, &rig.opts, 0, 0, &st);
    EXPECT_EQ(p.parse(&bad), Parser::kAccepted);
    EXPECT_EQ(p.GetErrorCount(), 1);
    TiScanner good("TYPE B : INT; END_TYPE", &rig.set, &rig.sink, &rig.opts, 0, 0, &st);
    EXPECT_EQ(p.parse(&good), Parser::kAccepted);
    EXPECT_EQ(p.GetErrorCount(), 0);
    EXPECT_NE(rig.set.GetGlobalTab()->lookup("B"), nullptr);
}
