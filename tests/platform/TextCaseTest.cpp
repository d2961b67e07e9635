// Windows-1252 case mapping and letter tests: CharUpperA, CharLowerA, their
// buffer and single-character forms, and IsCharAlphaA.
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

struct CaseCase {
    const char* name;
    std::string input;
    std::string expected;
};

std::string Hex(const std::string& s) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        out += digits[c >> 4];
        out += digits[c & 15];
        out += ' ';
    }
    return out;
}

// An expectation written independently of the tables: ASCII letters, the
// Latin-1 block shifted by 0x20 (except × and ÷), the three caron/ligature
// pairs 0x8A/0x9A, 0x8C/0x9C, 0x8E/0x9E, and Ÿ/ÿ at 0x9F/0xFF.
unsigned char ExpectedUpper(unsigned char b) {
    if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7)) {
        return b - 0x20;
    }
    if (b == 0x9A || b == 0x9C || b == 0x9E) {
        return b - 0x10;
    }
    return b == 0xFF ? 0x9F : b;
}

unsigned char ExpectedLower(unsigned char b) {
    if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7)) {
        return b + 0x20;
    }
    if (b == 0x8A || b == 0x8C || b == 0x8E) {
        return b + 0x10;
    }
    return b == 0x9F ? 0xFF : b;
}

LPSTR SingleChar(uintptr_t value) {
    return reinterpret_cast<LPSTR>(value);
}

uintptr_t Value(LPSTR result) {
    return reinterpret_cast<uintptr_t>(result);
}

TEST(TextCase, CharUpperAStrings) {
    const CaseCase cases[] = {
        {"empty", "", ""},
        {"ascii", "abc xyz", "ABC XYZ"},
        {"ascii bounds", "`az{@AZ[", "`AZ{@AZ["},
        {"mixed", "MiXeD_Case1", "MIXED_CASE1"},
        {"german umlauts", "\xE4\xF6\xFC", "\xC4\xD6\xDC"},
        {"latin-1 range ends", "\xE0\xFE", "\xC0\xDE"},
        {"divide sign stays", "\xF7", "\xF7"},
        {"caron and ligature", "\x9A\x9C\x9E", "\x8A\x8C\x8E"},
        {"y diaeresis to 0x9F", "\xFF", "\x9F"},
        {"sharp s, micro, florin stay", "\xDF\xB5\x83", "\xDF\xB5\x83"},
        {"ordinals stay", "\xAA\xBA", "\xAA\xBA"},
        {"undefined bytes stay", "\x81\x8D\x8F\x90\x9D", "\x81\x8D\x8F\x90\x9D"},
        {"upper case stays", "\xC4\x8A\x9F", "\xC4\x8A\x9F"},
        {"digits and punctuation", "0129 !#~\x80\x85\xA0\xBF", "0129 !#~\x80\x85\xA0\xBF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string buf = c.input;
        char* result = CharUpperA(buf.data());
        EXPECT_EQ(result, buf.data());
        EXPECT_EQ(Hex(buf), Hex(c.expected));
    }
}

TEST(TextCase, CharLowerAStrings) {
    const CaseCase cases[] = {
        {"empty", "", ""},
        {"ascii", "ABC XYZ", "abc xyz"},
        {"ascii bounds", "@AZ[`az{", "@az[`az{"},
        {"german umlauts", "\xC4\xD6\xDC", "\xE4\xF6\xFC"},
        {"latin-1 range ends", "\xC0\xDE", "\xE0\xFE"},
        {"multiply sign stays", "\xD7", "\xD7"},
        {"caron and ligature", "\x8A\x8C\x8E", "\x9A\x9C\x9E"},
        {"Y diaeresis from 0x9F", "\x9F", "\xFF"},
        {"lower case stays", "\xDF\xB5\x83\xE4", "\xDF\xB5\x83\xE4"},
        {"undefined bytes stay", "\x81\x8D\x8F\x90\x9D", "\x81\x8D\x8F\x90\x9D"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string buf = c.input;
        EXPECT_EQ(CharLowerA(buf.data()), buf.data());
        EXPECT_EQ(Hex(buf), Hex(c.expected));
    }
}

TEST(TextCase, EveryByteMapsAsExpected) {
    for (int b = 1; b < 256; ++b) {
        SCOPED_TRACE(b);
        char upper[2] = {static_cast<char>(b), 0};
        char lower[2] = {static_cast<char>(b), 0};
        CharUpperA(upper);
        CharLowerA(lower);
        EXPECT_EQ(static_cast<unsigned char>(upper[0]), ExpectedUpper(b));
        EXPECT_EQ(static_cast<unsigned char>(lower[0]), ExpectedLower(b));
    }
}

TEST(TextCase, SingleCharacterForm) {
    struct Case {
        const char* name;
        uintptr_t input;
        uintptr_t upper;
        uintptr_t lower;
    };
    const Case cases[] = {
        {"zero", 0, 0, 0},
        {"ascii letter", 'a', 'A', 'a'},
        {"ascii upper", 'Q', 'Q', 'q'},
        {"digit", '7', '7', '7'},
        {"umlaut", 0xE4, 0xC4, 0xE4},
        {"y diaeresis", 0xFF, 0x9F, 0xFF},
        {"Y diaeresis", 0x9F, 0x9F, 0xFF},
        {"sharp s", 0xDF, 0xDF, 0xDF},
        {"undefined", 0x81, 0x81, 0x81},
        {"high byte dropped", 0x1261, 'A', 'a'},
        {"largest single char", 0xFFFF, 0x9F, 0xFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Value(CharUpperA(SingleChar(c.input))), c.upper);
        EXPECT_EQ(Value(CharLowerA(SingleChar(c.input))), c.lower);
    }
}

TEST(TextCase, BufferForms) {
    struct Case {
        const char* name;
        std::string input;
        DWORD length;
        std::string upper;
        std::string lower;
    };
    const Case cases[] = {
        {"zero length", "ab", 0, "ab", "ab"},
        {"prefix only", "abCD", 2, "ABCD", "abCD"},
        {"whole", "a\xE4Z\xDE", 4, "A\xC4Z\xDE", "a\xE4z\xFE"},
        {"embedded zero", std::string("a\0b", 3), 3, std::string("A\0B", 3),
         std::string("a\0b", 3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string up = c.input;
        std::string low = c.input;
        EXPECT_EQ(CharUpperBuffA(up.data(), c.length), c.length);
        EXPECT_EQ(CharLowerBuffA(low.data(), c.length), c.length);
        EXPECT_EQ(Hex(up), Hex(c.upper));
        EXPECT_EQ(Hex(low), Hex(c.lower));
    }
    EXPECT_EQ(CharUpperBuffA(nullptr, 5), 0u);
    EXPECT_EQ(CharLowerBuffA(nullptr, 5), 0u);
}

TEST(TextCase, IsCharAlphaA) {
    struct Case {
        const char* name;
        unsigned char ch;
        bool alpha;
    };
    const Case cases[] = {
        {"zero", 0x00, false},
        {"before A", '@', false},
        {"A", 'A', true},
        {"Z", 'Z', true},
        {"after Z", '[', false},
        {"before a", '`', false},
        {"a", 'a', true},
        {"z", 'z', true},
        {"after z", '{', false},
        {"digit", '5', false},
        {"underscore", '_', false},
        {"euro", 0x80, false},
        {"undefined 0x81", 0x81, false},
        {"undefined 0x8D", 0x8D, false},
        {"undefined 0x8F", 0x8F, false},
        {"undefined 0x90", 0x90, false},
        {"undefined 0x9D", 0x9D, false},
        {"florin", 0x83, true},
        {"modifier circumflex", 0x88, true},
        {"small tilde", 0x98, false},
        {"S caron", 0x8A, true},
        {"s caron", 0x9A, true},
        {"OE", 0x8C, true},
        {"oe", 0x9C, true},
        {"Z caron", 0x8E, true},
        {"z caron", 0x9E, true},
        {"Y diaeresis", 0x9F, true},
        {"no-break space", 0xA0, false},
        {"feminine ordinal", 0xAA, true},
        {"micro", 0xB5, true},
        {"masculine ordinal", 0xBA, true},
        {"inverted question", 0xBF, false},
        {"A grave", 0xC0, true},
        {"multiply", 0xD7, false},
        {"sharp s", 0xDF, true},
        {"a umlaut", 0xE4, true},
        {"divide", 0xF7, false},
        {"y diaeresis", 0xFF, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsCharAlphaA(static_cast<CHAR>(c.ch)) != 0, c.alpha);
    }
}

TEST(TextCase, EveryLetterHasACaseOrIsCaseless) {
    // Case mapping only ever moves letters, and never turns one into a
    // non-letter.
    for (int b = 0; b < 256; ++b) {
        SCOPED_TRACE(b);
        auto ch = static_cast<unsigned char>(b);
        auto up = static_cast<unsigned char>(Value(CharUpperA(SingleChar(ch))));
        auto low = static_cast<unsigned char>(Value(CharLowerA(SingleChar(ch))));
        if (!IsCharAlphaA(static_cast<CHAR>(ch))) {
            EXPECT_EQ(up, ch);
            EXPECT_EQ(low, ch);
        } else {
            EXPECT_TRUE(IsCharAlphaA(static_cast<CHAR>(up)));
            EXPECT_TRUE(IsCharAlphaA(static_cast<CHAR>(low)));
        }
    }
}

} // namespace
