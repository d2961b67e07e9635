// Source scanner on bad input: any bytes, NUL bytes, lines of thousands of
// characters in both forms, texts that end inside a token, and allocation
// failures. The scanner must never crash or overrun its line buffer, and
// must always reach the end of the input.
#include "tests/compiler/AllocFailure.h"
#include "tests/compiler/ScanHelper.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using V = std::vector<short>;

// Reader over bytes with the rule of fgets (NUL bytes are copied as they are).
struct Feed {
    std::string data;
    size_t at = 0;
};
Feed g_feed;

char* FeedReader(char* buf, unsigned short size) {
    if (g_feed.at >= g_feed.data.size()) {
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

// A reader that never terminates the buffer it fills: the scanner must stay
// within its line buffer all the same.
int g_unterminatedCalls = 0;
char* UnterminatedReader(char* buf, unsigned short size) {
    if (g_unterminatedCalls++ >= 3) {
        return nullptr;
    }
    for (unsigned short i = 0; i < size; ++i) {
        buf[i] = static_cast<char>('a' + i % 26);
    }
    return buf;
}

// Deterministic pseudo-random bytes.
std::string RandomBytes(uint32_t seed, size_t n, bool withNul) {
    std::string s(n, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        char c = static_cast<char>(x & 0xFF);
        if (!withNul && c == '\0') {
            c = ' ';
        }
        s[i] = c;
    }
    return s;
}

TEST(ScannerRobustness, TextsEndingInsideATokenReachTheEnd) {
    struct Case {
        const char* text;
        V tokens;
    };
    const std::vector<Case> cases = {
        {"16#", {391}},          {"16#_", {391}},       {"T#", {393}},
        {"T#1", {393}},          {"D#2003-", {395}},    {"TOD#12:", {394}},
        {"DT#", {396}},          {"'abc", {397}},       {"'", {397}},
        {"'$", {397}},           {"1.", {392}},         {"1.5e", {392}},
        {"INT#", {391}},         {"%", {399}},          {"%I", {399}},
        {"%IX1.", {399}},        {":", {':'}},          {"*", {'*'}},
        {"(", {'('}},            {"a_", {398}},         {"_", {'_'}},
        {"x__y", {398}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ScanEnv env;
        auto toks = env.Scan(c.text);
        EXPECT_TRUE(env.reachedEnd);
        // Whatever the literal scanner makes of it, the text is consumed.
        size_t consumed = 0;
        for (auto& t : toks) {
            consumed += t.len;
        }
        EXPECT_EQ(consumed, strlen(c.text));
        EXPECT_FALSE(toks.empty());
    }
}

TEST(ScannerRobustness, RandomBytesAlwaysReachTheEnd) {
    for (uint32_t seed = 1; seed <= 200; ++seed) {
        SCOPED_TRACE(seed);
        std::string bytes = RandomBytes(seed, 64 + seed * 7, false);
        for (bool nested : {false, true}) {
            ScanEnv env;
            if (nested) {
                env.opts.langFlags |= TiCompOptions::NestedComments |
                                      TiCompOptions::TildeLiterals | TiCompOptions::DigitNames;
            }
            auto toks = env.Scan(bytes.c_str(), bytes.size() + 10);
            ASSERT_TRUE(env.reachedEnd);
            EXPECT_LE(toks.size(), bytes.size());
        }
    }
}

TEST(ScannerRobustness, NulBytesThroughTheReader) {
    // The reader hands over lines that contain NUL bytes: the scanner sees
    // each line up to its first NUL and goes on with the next one.
    struct Case {
        const char* name;
        std::string data;
        V tokens;
    };
    const std::vector<Case> cases = {
        {"NUL inside a line", std::string("abc\0def\nghi\n", 12), {398, 398}},
        {"NUL at a line start", std::string("\0xyz\nq\n", 7), {398}},
        {"only NULs", std::string(5000, '\0'), {}},
        {"NUL inside a comment", std::string("(* a\0*) b\n*) c", 14), {398}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScanEnv env;
        g_feed = Feed{c.data, 0};
        short st = 0;
        TiScanner s(FeedReader, &env.set, &env.sink, &env.opts, 0, 0, &st);
        auto toks = env.Drain(s, 100000);
        EXPECT_TRUE(env.reachedEnd);
        EXPECT_EQ(ScanEnv::Tokens(toks), c.tokens);
    }
    for (uint32_t seed = 1; seed <= 100; ++seed) {
        SCOPED_TRACE(seed);
        ScanEnv env;
        g_feed = Feed{RandomBytes(seed, 3000, true), 0};
        short st = 0;
        TiScanner s(FeedReader, &env.set, &env.sink, &env.opts, 0, 0, &st);
        env.Drain(s, 10000);
        ASSERT_TRUE(env.reachedEnd);
    }
}

// Words of a long line: w0000 w0001 ... separated by one blank.
std::string Words(size_t count, size_t* length) {
    std::string s;
    for (size_t i = 0; i < count; ++i) {
        char w[16];
        std::snprintf(w, sizeof w, "w%04u", static_cast<unsigned>(i % 10000));
        if (!s.empty()) {
            s += ' ';
        }
        s += w;
    }
    *length = s.size();
    return s;
}

TEST(ScannerRobustness, OverlongLinesKeepTokensWholeAndTheirRow) {
    size_t len = 0;
    std::string line = Words(834, &len); // 5003 characters
    ASSERT_GT(len, 5000u);
    for (bool readerForm : {false, true}) {
        SCOPED_TRACE(readerForm ? "reader" : "text");
        ScanEnv env;
        std::string text = line + "\nnext\n";
        TiScanner* s = nullptr;
        short st = 0;
        if (readerForm) {
            g_feed = Feed{text, 0};
            s = new TiScanner(FeedReader, &env.set, &env.sink, &env.opts, 0, 0, &st);
        } else {
            s = new TiScanner(text.c_str(), &env.set, &env.sink, &env.opts, 0, 0, &st);
        }
        auto toks = env.Drain(*s);
        delete s;
        ASSERT_TRUE(env.reachedEnd);
        // The long line is reported once, as an internal error of "lex".
        auto msgs = env.Messages();
        ASSERT_EQ(msgs.size(), 1u);
        EXPECT_EQ(msgs[0].rfind("-3555", 0), 0u);
        ASSERT_NE(env.sink.GetCollected(), nullptr);
        std::string internal = env.sink.GetCollected()->text;
        if (!readerForm) {
            EXPECT_EQ(internal, "E: internal " + std::to_string(len) + " lex 833 $Revision: 4 $");
        } else {
            EXPECT_EQ(internal, "E: internal 1023 lex 833 $Revision: 4 $");
        }
        std::string words;
        for (size_t i = 0; i + 1 < toks.size(); ++i) {
            ASSERT_EQ(toks[i].row, 1) << i; // the rest of the line keeps its row
            words += toks[i].text;
        }
        std::string expectedWords;
        for (char ch : line) {
            if (ch != ' ') {
                expectedWords += ch;
            }
        }
        EXPECT_EQ(words, expectedWords); // no character lost or doubled
        if (!readerForm) {
            // The text form cuts at blanks: every word arrives whole.
            ASSERT_EQ(toks.size(), 835u);
        } else {
            // A reader delivers the line in pieces of 1023 bytes; a word at a
            // piece boundary arrives in two parts.
            EXPECT_GE(toks.size(), 835u);
            EXPECT_LE(toks.size(), 840u);
        }
        EXPECT_EQ(toks.back().text, "next");
        EXPECT_EQ(toks.back().row, 2);
    }
}

TEST(ScannerRobustness, OverlongLinesWithoutBlanks) {
    struct Case {
        const char* name;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"one name of 5000 characters", std::string(5000, 'a')},
        {"5000 operators", std::string(5000, ';')},
        {"a string of 5000 characters", "'" + std::string(5000, 'x') + "'"},
        {"a comment of 5000 characters", "(*" + std::string(5000, 'c') + "*) z"},
        {"digits", std::string(5000, '7')},
        {"exactly 1023 then more", std::string(1023, 'b') + "\nz"},
        {"exactly 1022 and a line feed", std::string(1022, 'b') + "\nz"},
        {"blank at column 11 only", std::string(11, 'q') + " " + std::string(3000, 'r')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (bool readerForm : {false, true}) {
            ScanEnv env;
            short st = 0;
            TiScanner* s = nullptr;
            if (readerForm) {
                g_feed = Feed{c.text, 0};
                s = new TiScanner(FeedReader, &env.set, &env.sink, &env.opts, 0, 0, &st);
            } else {
                s = new TiScanner(c.text.c_str(), &env.set, &env.sink, &env.opts, 0, 0, &st);
            }
            auto toks = env.Drain(*s, 20000);
            delete s;
            ASSERT_TRUE(env.reachedEnd);
            size_t consumed = 0;
            for (auto& t : toks) {
                consumed += t.len;
            }
            EXPECT_LE(consumed, c.text.size());
        }
    }
}

TEST(ScannerRobustness, ReaderThatLeavesTheBufferUnterminated) {
    ScanEnv env;
    g_unterminatedCalls = 0;
    short st = 0;
    TiScanner s(UnterminatedReader, &env.set, &env.sink, &env.opts, 0, 0, &st);
    auto toks = env.Drain(s, 10000);
    EXPECT_TRUE(env.reachedEnd);
    // Three buffers of 1023 letters each (the last byte is the terminator).
    size_t consumed = 0;
    for (auto& t : toks) {
        consumed += t.len;
    }
    EXPECT_EQ(consumed, 3u * 1023u);
}

TEST(ScannerRobustness, AllocationFailuresNeverStopTheScan) {
    const char* text = "TYPE t : STRUCT a : INT := 16#FF; s : STRING := 'abc'; END_STRUCT; END_TYPE\n"
                       "x := T#1s + 1.5 + D#2003-03-05; %IX1.2 newName anotherName";
    size_t expected = 0;
    {
        ScanEnv env;
        expected = env.Scan(text).size();
        ASSERT_EQ(expected, 30u);
    }
    for (long n = 0;; ++n) {
        SCOPED_TRACE(n);
        ScanEnv env;
        env.opts.modeFlags |= TiCompOptions::EchoSource;
        bool failed = false;
        std::vector<ScannedToken> toks;
        {
            allocfail::Scope inject(n);
            short st = 0;
            TiScanner s(text, &env.set, &env.sink, &env.opts, 0, 0, &st);
            s.EnableEcho();
            toks = env.Drain(s, 1000);
            delete s.TakeEcho();
            failed = allocfail::Failed();
        }
        ASSERT_TRUE(env.reachedEnd);
        // Without memory a literal may lose its value, but never its token.
        EXPECT_EQ(toks.size(), expected);
        if (!failed) {
            EXPECT_GT(n, 10);
            break;
        }
        ASSERT_LT(n, 2000);
    }
}

} // namespace
