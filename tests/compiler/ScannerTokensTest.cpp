// Source scanner tokens: operators, names and keywords with their messages,
// literals of every kind through the literal scanner, direct addresses,
// invalid characters, comments, positions, start markers and line mode.
#include "tests/compiler/ScanHelper.h"

#include "base/TiMemRegister.h"
#include "base/ts_parse.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using V = std::vector<short>;
using M = std::vector<std::string>;

TEST(ScannerTokens, EdgeCasesOfTheScanner) {
    struct Case {
        const char* text;
        V tokens;
        M messages;
    };
    const std::vector<Case> cases = {
        {"", {}, {}},
        {"   \t  \r\n\n", {}, {}},
        {"x := 16#FF;", {398, 410, 391, ';'}, {}},
        {"a..b", {398, 365, 398}, {}},
        {"1..5", {391, 365, 391}, {}},
        {"END_VAR", {312}, {}},
        {"end_var", {312}, {"-3553@1:0"}},
        {"End_Var", {312}, {"-3553@1:1"}},
        {"TRUE FALSE", {373, 318}, {}},
        {"(* a (* b *) c *)", {398, '*', ')'}, {}}, // not nested: " c *)" is scanned
        {"BOOL INT DATE_AND_TIME TOD", {279, 327, 289, 371}, {}},
        {"OR XOR AND MOD", {401, 402, 403, 407}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ScanEnv env;
        auto toks = env.Scan(c.text);
        EXPECT_TRUE(env.reachedEnd);
        EXPECT_EQ(ScanEnv::Tokens(toks), c.tokens);
        EXPECT_EQ(env.Messages(), c.messages);
    }
}

TEST(ScannerTokens, LowerCaseKeywordsOption) {
    ScanEnv env;
    env.opts.langFlags |= TiCompOptions::LowerCaseKeywords;
    auto toks = env.Scan("end_var Struct");
    EXPECT_EQ(ScanEnv::Tokens(toks), (V{312, 363}));
    EXPECT_TRUE(env.Messages().empty());
}

TEST(ScannerTokens, NestedCommentsOption) {
    struct Case {
        const char* text;
        bool nested;
        V tokens;
    };
    const Case cases[] = {
        {"(* a (* b *) c *) x", true, {398}},
        {"(* a (* b *) c *) x", false, {398, '*', ')', 398}},
        {"(* (* (* *) *) *)y", true, {398}},
        {"(**)z", false, {398}},
        {"(* *) (* *)", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ScanEnv env;
        if (c.nested) {
            env.opts.langFlags |= TiCompOptions::NestedComments;
        }
        EXPECT_EQ(ScanEnv::Tokens(env.Scan(c.text)), c.tokens);
        EXPECT_TRUE(env.Messages().empty());
    }
}

TEST(ScannerTokens, UnclosedCommentsReportTheirStart) {
    struct Case {
        const char* text;
        bool nested;
        V tokens;
        M messages;
    };
    const std::vector<Case> cases = {
        {"(*", false, {}, {"-3495@1:0"}},
        {"x (* never closed", false, {398}, {"-3495@1:2"}},
        {"a\n  b (* one\ntwo\n", false, {398, 398}, {"-3495@2:4"}},
        {"(* (* *) ", true, {}, {"-3495@1:0"}},
        {"(* *", false, {}, {"-3495@1:0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ScanEnv env;
        if (c.nested) {
            env.opts.langFlags |= TiCompOptions::NestedComments;
        }
        EXPECT_EQ(ScanEnv::Tokens(env.Scan(c.text)), c.tokens);
        EXPECT_TRUE(env.reachedEnd);
        EXPECT_EQ(env.Messages(), c.messages);
    }
    // The message carries the start row and column as parameters.
    ScanEnv env;
    env.Scan("\n\n   (* x");
    ASSERT_NE(env.sink.GetCollected(), nullptr);
    EXPECT_STREQ(env.sink.GetCollected()->text, "E: M3495 3 3");
}

TEST(ScannerTokens, Operators) {
    struct Case {
        const char* text;
        V tokens;
    };
    const std::vector<Case> cases = {
        {"**", {408}},   {"..", {365}},      {":=", {410}},     {"<=", {405}},
        {"<>", {404}},   {"=>", {400}},      {">=", {406}},     {"***", {408, '*'}},
        {"...", {365, '.'}}, {":", {':'}},   {"<", {'<'}},      {">", {'>'}},
        {"=", {'='}},    {"( ) + - ; , [ ] . * / & # $ \"",
                          {'(', ')', '+', '-', ';', ',', '[', ']', '.', '*', '/', '&', '#', '$',
                           '"'}},
        {"a:=b", {398, 410, 398}}, {"a<=b", {398, 405, 398}}, {"x**2", {398, 408, 391}},
        {": =", {':', '='}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ScanEnv env;
        EXPECT_EQ(ScanEnv::Tokens(env.Scan(c.text)), c.tokens);
        EXPECT_TRUE(env.Messages().empty());
    }
}

TEST(ScannerTokens, InvalidCharactersAreReportedAndReturnedAsThemselves) {
    struct Case {
        const char* name;
        std::string text;
        short token;
    };
    const std::vector<Case> cases = {
        {"control", std::string("\x01"), 1},
        {"escape", std::string("\x1b"), 27},
        {"form feed", std::string("\x0c"), 12},
        {"delete", std::string("\x7f"), 127},
        {"exclamation", "!", '!'},
        {"backslash", "\\", '\\'},
        {"circumflex", "^", '^'},
        {"grave", "`", '`'},
        {"at", "@", '@'},
        {"question", "?", '?'},
        {"brace", "{", '{'},
        {"bar", "|", '|'},
        {"closing brace", "}", '}'},
        {"tilde without option", "~", '~'},
        {"euro sign (no letter)", "\x80", 0x80},
        {"section sign", "\xa7", 0xa7},
        {"multiplication sign", "\xd7", 0xd7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScanEnv env;
        auto toks = env.Scan(("a " + c.text + " b").c_str());
        EXPECT_EQ(ScanEnv::Tokens(toks), (V{398, c.token, 398}));
        EXPECT_EQ(env.Messages(), (M{"-3419@1:2"}));
    }
    // Letters of the ANSI code page begin names.
    ScanEnv env;
    auto toks = env.Scan("\xe4pfel \xc9t\xe9");
    EXPECT_EQ(ScanEnv::Tokens(toks), (V{398, 398}));
    EXPECT_TRUE(env.Messages().empty());
}

TEST(ScannerTokens, Names) {
    const std::string n40 = "A234567890123456789012345678901234567890";
    const std::string n32 = n40.substr(0, 32);
    const std::string n33 = n40.substr(0, 33);
    struct Case {
        const char* name;
        std::string text;
        std::string entered;
        M messages;
    };
    const std::vector<Case> cases = {
        {"one letter", "x", "x", {}},
        {"underscore first", "_x1", "_x1", {}},
        {"32 characters", n32, n32, {}},
        {"33 characters", n33, n32, {"-3552@1:33"}},
        {"40 characters", n40, n32, {"-3552@1:33"}},
        {"40 characters, indented", "   " + n40, n32, {"-3552@1:36"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScanEnv env;
        auto toks = env.Scan(c.text.c_str());
        ASSERT_EQ(toks.size(), 1u);
        EXPECT_EQ(toks[0].token, 398);
        EXPECT_EQ(toks[0].text, c.entered);
        EXPECT_EQ(env.Messages(), c.messages);
        // The whole name was consumed as one token.
        EXPECT_EQ(toks[0].len, c.text.size() - c.text.find_first_not_of(' '));
        EXPECT_NE(env.set.GetCurrent()->lookup(c.entered.c_str()), nullptr);
    }
}

TEST(ScannerTokens, KnownNamesInLowerCaseAndScopes) {
    ScanEnv env;
    // A name the scanner saw once is known from then on: in lower case it
    // is reported like a keyword.
    auto toks = env.Scan("Motor MOTOR motor");
    ASSERT_EQ(toks.size(), 3u);
    EXPECT_EQ(toks[0].sym, toks[1].sym);
    EXPECT_EQ(toks[1].sym, toks[2].sym);
    EXPECT_EQ(env.Messages(), (M{"-3553@1:12"}));
    // New names go to the current table; names of outer scopes are found.
    SymTab* unit = env.set.NewUnitTab(3, "P", 151);
    ASSERT_EQ(env.set.PushScope(unit), 0);
    auto toks2 = env.Scan("MOTOR LOCAL");
    ASSERT_EQ(toks2.size(), 2u);
    EXPECT_EQ(toks2[0].sym, toks[0].sym); // from the global table
    EXPECT_EQ(unit->lookup("LOCAL"), toks2[1].sym);
    EXPECT_EQ(env.set.GetGlobalTab()->lookup("LOCAL"), nullptr);
}

TEST(ScannerTokens, DirectAddresses) {
    struct Case {
        const char* text;
        V tokens;
        std::string address; // text of the first token
        M messages;
    };
    const std::vector<Case> cases = {
        {"%IW12", {399}, "%IW12", {}},
        {"%I12", {399}, "%IX12", {}},
        {"%QX3", {399}, "%QX3", {}},
        {"%MD100", {399}, "%MD100", {}},
        {"%IB0;", {399, ';'}, "%IB0", {}},
        {"%IX1.2", {399}, "%IX1.2", {"-3519@1:4"}},
        {"%IX1.2.3", {399}, "%IX1.2.3", {"-3519@1:4"}},
        {"%IW", {399}, "%IW", {"-3519@1:0"}},
        {"%A5", {399, 398}, "%", {"-3519@1:0"}},
        {"%   IW5", {399, 398}, "%", {"-3519@1:0"}},
        {"%", {399}, "%", {"-3519@1:0"}},
        {"%iw5", {399, 398}, "%", {"-3519@1:0"}},
        {"%IX12345678901234567890123456789012345678901234567890", {399},
         "%IX1234567890123456789012345678901234567", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ScanEnv env;
        auto toks = env.Scan(c.text);
        EXPECT_EQ(ScanEnv::Tokens(toks), c.tokens);
        ASSERT_FALSE(toks.empty());
        EXPECT_EQ(toks[0].text, c.address);
        EXPECT_EQ(env.Messages(), c.messages);
    }
}

TEST(ScannerTokens, LiteralsOfEveryKind) {
    struct Case {
        const char* text;
        short token;
        uint16_t kindBit;
        short typeId; // GetElemDTypeID of the constant
    };
    const Case cases[] = {
        {"0", 391, iec::CONST_DECIMAL, -11},
        {"40000", 391, iec::CONST_DECIMAL, -12},
        {"16#FF", 391, iec::CONST_HEX, -11},
        {"2#1010", 391, iec::CONST_BINARY, -11},
        {"8#777", 391, iec::CONST_OCTAL, -11},
        {"INT#5", 391, iec::CONST_DECIMAL, -11},
        {"1.5", 392, iec::CONST_REAL, -18},
        {"1.0e3", 392, iec::CONST_REAL, -18},
        {"T#1d2h", 393, iec::CONST_TIME, -20},
        {"TIME#5s", 393, iec::CONST_TIME, -20},
        {"D#2003-03-05", 395, iec::CONST_DATE, -21},
        {"TOD#12:34:56", 394, iec::CONST_TOD, -22},
        {"DT#2003-03-05-12:00:00", 396, iec::CONST_DT, -23},
        {"'hello'", 397, iec::CONST_STRING, -24},
        {"''", 397, iec::CONST_STRING, -24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ScanEnv env;
        short st = 0;
        TiScanner s(c.text, &env.set, &env.sink, &env.opts, 0, 0, &st);
        TokenValue v;
        testing::internal::CaptureStdout();
        short t = s.lex(&v);
        EXPECT_EQ(t, c.token);
        ASSERT_NE(v.sym, nullptr);
        EXPECT_EQ(v.sym->GetKind(), sym::KIND_CONSTANT);
        EXPECT_FALSE(v.sym->IsTableOwned());
        ASSERT_NE(v.sym->GetConstant(), nullptr);
        EXPECT_NE(v.sym->GetConstant()->flags & c.kindBit, 0);
        EXPECT_EQ(v.sym->GetID(), c.typeId);
        EXPECT_EQ(v.ownsText, 1);
        EXPECT_STREQ(v.text, c.text);
        EXPECT_EQ(s.lex(nullptr), 0);
        s.DiscardLiteral(t, &v);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, std::string("\nlex: discard constant ") + c.text +
                           ", last lookahead: row=1, col=" + std::to_string(strlen(c.text)));
        EXPECT_EQ(v.sym, nullptr);
        EXPECT_EQ(v.text, nullptr);
        EXPECT_TRUE(env.Messages().empty());
    }
}

TEST(ScannerTokens, StringLiteralTakesTheDecodedText) {
    ScanEnv env;
    short st = 0;
    TiScanner s("'a$Nb$41'", &env.set, &env.sink, &env.opts, 0, 0, &st);
    TokenValue v;
    ASSERT_EQ(s.lex(&v), 397);
    ASSERT_NE(v.sym, nullptr);
    char* out = nullptr;
    ASSERT_EQ(TiConstantToSTRING(*v.sym->GetConstant(), &out), 0);
    EXPECT_STREQ(out, "a\r\nbA");
    EXPECT_STREQ(v.text, "'a$Nb$41'");
    testing::internal::CaptureStdout();
    s.DiscardLiteral(397, &v);
    testing::internal::GetCapturedStdout();
}

TEST(ScannerTokens, LiteralErrorsAtTokenColumnPlusErrorPosition) {
    struct Case {
        const char* text;
        V tokens;
        M messages;
    };
    const std::vector<Case> cases = {
        // The literal scanner's error position counts from the literal's start.
        {"x := 16#FG;", {398, 410, 391, ';'}, {"-3413@1:9"}}, // at the G
        {"  1__0", {391}, {"-3414@1:4"}},
        {"T#-5s", {393}, {"-3423@1:5"}},                     // after the duration
        {"'abc", {397}, {"-3420@1:4"}},                      // at the end of the line
        {"a 'unterminated\nb", {398, 397, 398}, {"-3420@1:15"}},
        {"T#1.5ms", {393}, {"1704@1:7"}},                    // a warning
        {"Time#5s", {393}, {"-3614@1:0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ScanEnv env;
        EXPECT_EQ(ScanEnv::Tokens(env.Scan(c.text)), c.tokens);
        EXPECT_EQ(env.Messages(), c.messages);
    }
}

TEST(ScannerTokens, LanguageLevelZeroReportsDateTimeAndStringLiterals) {
    struct Case {
        const char* text;
        const char* line; // collected message
    };
    const Case cases[] = {
        {"D#2003-03-05", "E: M3603 DATE"},
        {"TOD#12:00:00", "E: M3603 TIME_OF_DAY"},
        {"DT#2003-03-05-12:00:00", "E: M3603 DATE_AND_TIME"},
        {"'s'", "E: M3603 STRING"},
        {"T#5s", nullptr},
        {"5", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ScanEnv env;
        TiScanner* s = nullptr;
        short st = 0;
        s = new TiScanner(c.text, &env.set, &env.sink, &env.opts, 0, 0, &st);
        s->SetLanguageLevel(0);
        env.Drain(*s);
        delete s;
        if (c.line == nullptr) {
            EXPECT_EQ(env.sink.GetCollected(), nullptr);
        } else {
            ASSERT_NE(env.sink.GetCollected(), nullptr);
            EXPECT_STREQ(env.sink.GetCollected()->text, c.line);
        }
    }
}

TEST(ScannerTokens, PositionsTabsAndRows) {
    struct Case {
        const char* text;
        std::vector<std::string> names;
        std::vector<std::pair<uint16_t, uint16_t>> positions; // row, column
    };
    const std::vector<Case> cases = {
        {"abcde\tX", {"abcde", "X"}, {{1, 0}, {1, 8}}}, // tab at column 5 -> 8
        {"abcd\tX", {"abcd", "X"}, {{1, 0}, {1, 8}}},   // tab at column 4 -> 8
        {"abc\tX", {"abc", "X"}, {{1, 0}, {1, 4}}},
        {"\t\tX", {"X"}, {{1, 8}}},
        {"A\n\tY\r\n  Z", {"A", "Y", "Z"}, {{1, 0}, {2, 4}, {3, 2}}},
        {"A (* c\n  *) W\nV", {"A", "W", "V"}, {{1, 0}, {2, 5}, {3, 0}}},
        {"\n\n\nQ", {"Q"}, {{4, 0}}},
        {"A\rB", {"A", "B"}, {{1, 0}, {1, 1}}}, // carriage return takes no column
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ScanEnv env;
        auto toks = env.Scan(c.text);
        ASSERT_EQ(toks.size(), c.names.size());
        for (size_t i = 0; i < toks.size(); ++i) {
            SCOPED_TRACE(c.names[i]);
            EXPECT_EQ(toks[i].text, c.names[i]);
            EXPECT_EQ(toks[i].row, c.positions[i].first);
            EXPECT_EQ(toks[i].col, c.positions[i].second);
        }
    }
    // The position after a token as the parser stores it: 0 is given as 1.
    ScanEnv env;
    short st = 0;
    TiScanner s(";", &env.set, &env.sink, &env.opts, 0, 0, &st);
    uint16_t r = 9;
    uint16_t c = 9;
    s.GetTokenEndPos(r, c);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(c, 1);
    EXPECT_EQ(s.lex(nullptr), ';');
    s.GetTokenEndPos(r, c);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(c, 1);
}

TEST(ScannerTokens, NamesAgreeWithTheLiteralScanner) {
    // Whatever way the scanner reads a text that begins with a letter, the
    // first token's extent and whether it is a name must be what the
    // literal scanner decides for that text.
    const char alphabet[] = "aZeTDt_0#$~.:- \x80\xe4";
    uint32_t x = 12345;
    for (int n = 0; n < 3000; ++n) {
        std::string text(1, "aTDIxe"[n % 6]);
        size_t len = 1 + n % 9;
        for (size_t i = 0; i < len; ++i) {
            x = x * 1103515245u + 12345u;
            text += alphabet[(x >> 16) % (sizeof alphabet - 1)];
        }
        SCOPED_TRACE(text);
        std::vector<char> raw(text.begin(), text.end());
        raw.push_back('\0');
        IEC_CONSTANT c;
        ts_scan ls;
        ts_parse lp(150);
        ls.tsreset(raw.data(), c, 0);
        lp.tsreset();
        int r = lp.tsparse(&ls);
        size_t consumed = static_cast<size_t>(ls.Cur() - raw.data());
        bool name = r == ts_parse::TSPARSE_OK && c.flags == 0;

        ScanEnv env;
        short st = 0;
        TiScanner s(text.c_str(), &env.set, &env.sink, &env.opts, 0, 0, &st);
        TokenValue v;
        testing::internal::CaptureStdout();
        short t = s.lex(&v);
        bool literal = t >= tok::LITERAL_FIRST && t <= tok::LITERAL_LAST;
        s.DiscardLiteral(t, &v);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(s.GetTokenLength(), consumed == 0 ? 1 : consumed);
        if (r == ts_parse::TSPARSE_OK) {
            EXPECT_EQ(!literal, name);
        }
        if (ls.ErrStatus() != 0) {
            EXPECT_GT(env.sink.GetErrors() + env.sink.GetWarnings(), 0);
        }
    }
}

} // namespace
