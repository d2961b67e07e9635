// Tests of the character helpers: case mapping and letter test by the
// Windows-1252 code page, the case-blind comparisons and ANSI/OEM
// conversion.
#include "base/TiCharUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string Hex(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

std::string Show(const char* s) {
    if (s == nullptr) {
        return "(null)";
    }
    std::string r;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; ++p) {
        if (*p < 0x80) {
            r += static_cast<char>(*p);
        } else {
            r += "\\x" + Hex(*p).substr(2);
        }
    }
    return "\"" + r + "\"";
}

// Writable copies of test strings (the helpers take char*).
struct Buf {
    explicit Buf(const char* s) : text(s ? s : ""), null(s == nullptr) {}
    char* get() { return null ? nullptr : text.data(); }
    std::string text;
    bool null;
};

} // namespace

TEST(TiToUpper, Windows1252Mapping) {
    struct Case {
        short c;
        short expected;
    } cases[] = {
        {0, 0},
        {'a', 'A'},    {'z', 'Z'},  {'A', 'A'},   {'1', '1'},  {'_', '_'},
        {'{', '{'},    {'`', '`'},  // no ASCII bit tricks on non-letters
        {0xE4, 0xC4},  // a-umlaut
        {0xE9, 0xC9},  // e-acute
        {0xF6, 0xD6},  {0xFC, 0xDC}, {0xE0, 0xC0}, {0xFE, 0xDE},
        {0xFF, 0x9F},  // y-diaeresis -> Y-diaeresis, outside Latin-1
        {0x9A, 0x8A},  // s-caron
        {0x9C, 0x8C},  // oe
        {0x9E, 0x8E},  // z-caron
        {0xDF, 0xDF},  // sharp s has no single upper case in the code page
        {0xB5, 0xB5},  // micro sign: its upper case is Greek, not in the code page
        {0xF7, 0xF7},  // division sign
        {0x81, 0x81},  // undefined in Windows-1252
        {0xC4, 0xC4},
        {0xFF, 0x9F},
        // Only the low byte counts; the result is in the low byte.
        {0x1E4, 0xC4}, {static_cast<short>(0xE4 - 0x100), 0xC4}, {0x161, 'A'},
        {-1, 0x9F},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Hex(c.c));
        EXPECT_EQ(TiToUpper(c.c), c.expected);
    }
}

TEST(TiToLower, Windows1252Mapping) {
    struct Case {
        short c;
        short expected;
    } cases[] = {
        {0, 0},       {'A', 'a'},   {'Z', 'z'},    {'a', 'a'},   {'@', '@'},  {'[', '['},
        {0xC4, 0xE4}, {0xC9, 0xE9}, {0xD6, 0xF6},  {0xDC, 0xFC}, {0xDE, 0xFE},
        {0x9F, 0xFF}, {0x8A, 0x9A}, {0x8C, 0x9C},  {0x8E, 0x9E},
        {0xD7, 0xD7}, // multiplication sign
        {0x80, 0x80}, // euro sign
        {0xDF, 0xDF}, {0x1C4, 0xE4}, {static_cast<short>(0xC4 - 0x100), 0xE4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Hex(c.c));
        EXPECT_EQ(TiToLower(c.c), c.expected);
    }
}

TEST(TiIsAlpha, LettersOfTheCodePage) {
    struct Case {
        short c;
        short expected;
    } cases[] = {
        {0, 0},       {'a', 1},    {'Z', 1},     {'0', 0},    {'9', 0},    {'_', 0},
        {' ', 0},     {'#', 0},    {0xE4, 1},    {0xC4, 1},   {0xDF, 1},   {0xE9, 1},
        {0xFF, 1},    {0x8A, 1},   {0x9F, 1},    {0xD7, 0},   {0xF7, 0},   {0x80, 0},
        {0x81, 0},    {0xA0, 0},   {0xB0, 0},
        {0x141, 1},   {static_cast<short>(0xE4 - 0x100), 1}, {0x130, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Hex(c.c));
        EXPECT_EQ(TiIsAlpha(c.c), c.expected);
    }
}

TEST(TiStricmp, Results) {
    // The value is the difference of the first bytes (signed, unfolded) that
    // still differ after upper-casing.
    struct Case {
        const char* a;
        const char* b;
        short expected;
    } cases[] = {
        {"", "", 0},
        {"", "a", -'a'},
        {"a", "", 'a'},
        {"abc", "abc", 0},
        {"abc", "ABC", 0},
        {"ABC", "abc", 0},
        {"abc", "ABD", 'c' - 'D'}, // positive although "abc" sorts first
        {"ab", "abc", -'c'},
        {"abc", "ab", 'c'},
        {"end_var", "END_VAR", 0},
        {"\xE4", "\xC4", 0},          // a-umlaut / A-umlaut
        {"\xE9t\xE9", "\xC9T\xC9", 0}, // e-acute
        {"\xFF", "\x9F", 0},           // y-diaeresis / Y-diaeresis
        {"\x9A", "\x8A", 0},           // s-caron
        {"\xE4", "a", static_cast<short>(-28 - 'a')}, // signed bytes
        {"a", "\xE4", static_cast<short>('a' + 28)},
        {"\xDF", "SS", static_cast<short>(-33 - 'S')},
        {"[", "{", '[' - '{'},         // not letters: no folding
        {"@", "`", '@' - '`'},
        {"x\xD7", "x\xF7", static_cast<short>(-41 + 9)}, // 0xD7 and 0xF7 are no case pair
        {nullptr, nullptr, 0},
        {nullptr, "a", -1},
        {"a", nullptr, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Show(c.a) + " / " + Show(c.b));
        Buf a(c.a), b(c.b);
        EXPECT_EQ(TiStricmp(a.get(), b.get()), c.expected);
    }
}

TEST(TiStrnicmp, Results) {
    struct Case {
        const char* a;
        const char* b;
        unsigned short n;
        short expected;
    } cases[] = {
        {"a", "b", 0, 0},
        {"", "", 0, 0},
        {"END_VAR", "end_varX", 7, 0},
        {"END_VAR", "end_varX", 8, -'X'},
        {"END_VAR", "end_varX", 65535, -'X'},
        {"abc", "abd", 2, 0},
        {"abc", "abd", 3, -1},
        {"ab", "abc", 5, -'c'},
        {"abc", "ab", 2, 0},
        {"abc", "ab", 3, 'c'},
        {"\xE4" "bc", "\xC4" "Bx", 2, 0},
        {"\xE4" "bc", "\xC4" "Bx", 3, 'c' - 'x'},
        {nullptr, nullptr, 5, 0},
        {nullptr, "a", 5, -1},
        {"a", nullptr, 5, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Show(c.a) + " / " + Show(c.b) + " n " + std::to_string(c.n));
        Buf a(c.a), b(c.b);
        EXPECT_EQ(TiStrnicmp(a.get(), b.get(), c.n), c.expected);
    }
}

TEST(TiAnsiOem, Conversion) {
    // Windows-1252 text and its code page 850 form.
    struct Case {
        const char* ansi;
        const char* oem;
    } cases[] = {
        {"", ""},
        {"END_VAR := 1;", "END_VAR := 1;"},
        {"\xE4\xF6\xFC\xC4\xD6\xDC\xDF", "\x84\x94\x81\x8E\x99\x9A\xE1"}, // German letters
        {"\xE9\xC9\xE8\xE0\xE7", "\x82\x90\x8A\x85\x87"},                 // French letters
        {"Z\xE4hler", "Z\x84hler"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Show(c.ansi));
        char out[64] = "untouched";
        TiAnsiToOem(c.ansi, out);
        EXPECT_STREQ(out, c.oem);
        char back[64] = "untouched";
        TiOemToAnsi(c.oem, back);
        EXPECT_STREQ(back, c.ansi);

        // Source and destination may be the same buffer.
        std::string inPlace = c.ansi;
        TiAnsiToOem(inPlace.data(), inPlace.data());
        EXPECT_EQ(inPlace, c.oem);
        TiOemToAnsi(inPlace.data(), inPlace.data());
        EXPECT_EQ(inPlace, c.ansi);
    }
}

TEST(TiAnsiOem, NullArgumentsDoNothing) {
    char out[8] = "keep";
    TiAnsiToOem(nullptr, out);
    TiOemToAnsi(nullptr, out);
    EXPECT_STREQ(out, "keep");
    TiAnsiToOem("x", nullptr);
    TiOemToAnsi("x", nullptr);
}
