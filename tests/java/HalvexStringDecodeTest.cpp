// How the bytes of a REG_SZ value become the UTF-16 text of a Java string:
// modified and standard UTF-8, the terminator, and ill-formed input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "java/registry/HalvexValue.h"

namespace {

using korvane::halvex::DecodeStringValue;

std::vector<uint16_t> Units(const std::u16string& text) {
    return std::vector<uint16_t>(text.begin(), text.end());
}

std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

struct DecodeCase {
    const char* name;
    std::string bytes;
    std::u16string expected;
};

TEST(HalvexStringDecode, DecodesTable) {
    const DecodeCase cases[] = {
        // Boundaries.
        {"empty", "", u""},
        {"only terminator", std::string("\0", 1), u""},
        {"no terminator", "abc", u"abc"},
        {"stops at first zero", std::string("ab\0cd\0", 6), u"ab"},
        {"terminator then garbage", std::string("a\0\xff", 3), u"a"},
        // Well-formed sequences.
        {"ascii", "hello", u"hello"},
        {"modified nul",
         "a\xC0\x80"
         "b",
         std::u16string(u"a\0b", 3)},
        {"two bytes smallest", "\xC2\x80", u"\u0080"},
        {"two bytes", "\xC3\xA4", u"\u00E4"},
        {"two bytes largest", "\xDF\xBF", u"\u07FF"},
        {"three bytes smallest", "\xE0\xA0\x80", u"\u0800"},
        {"three bytes euro", "\xE2\x82\xAC", u"\u20AC"},
        {"three bytes largest", "\xEF\xBF\xBF", u"\uFFFF"},
        {"modified surrogate pair", "\xED\xA0\xBD\xED\xB8\x80", u"\U0001F600"},
        {"lone high surrogate", "\xED\xA0\x80", std::u16string(1, char16_t(0xD800))},
        {"lone low surrogate", "\xED\xBF\xBF", std::u16string(1, char16_t(0xDFFF))},
        {"four bytes smallest", "\xF0\x90\x80\x80", u"\U00010000"},
        {"four bytes emoji", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"four bytes largest", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        // Ill-formed: one U+FFFD per maximal ill-formed subpart.
        {"windows-1252 byte",
         "\xE4"
         "b",
         u"\uFFFD"
         "b"},
        {"stray continuation", "\x80", u"\uFFFD"},
        {"two stray continuations", "\x80\xBF", u"\uFFFD\uFFFD"},
        {"C0 not before 80", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"C0 at the end", "\xC0", u"\uFFFD"},
        {"C1 overlong", "\xC1\xBF", u"\uFFFD\uFFFD"},
        {"two bytes truncated", "a\xC3", u"a\uFFFD"},
        {"three bytes truncated after two", "a\xE2\x82", u"a\uFFFD"},
        {"three bytes broken by ascii",
         "\xE2\x82"
         "x",
         u"\uFFFD"
         "x"},
        {"three bytes overlong", "\xE0\x9F\xBF", u"\uFFFD\uFFFD\uFFFD"},
        {"four bytes overlong", "\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"four bytes beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"four bytes truncated", "\xF0\x9F\x98", u"\uFFFD"},
        {"F5 never starts", "\xF5\x80", u"\uFFFD\uFFFD"},
        {"FF never starts", "\xFF", u"\uFFFD"},
        {"sequence cut by terminator", std::string("\xE2\x82\0z", 4), u"\uFFFD"},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bytes = Bytes(c.bytes);
        EXPECT_EQ(Units(c.expected), DecodeStringValue(bytes.data(), bytes.size()));
    }
}

TEST(HalvexStringDecode, NullDataIsEmpty) {
    EXPECT_TRUE(DecodeStringValue(nullptr, 0).empty());
}

TEST(HalvexStringDecode, LargestValueDecodesCompletely) {
    // A value of the largest size the store keeps, all in three-byte
    // sequences except the last byte, which is the terminator.
    std::vector<uint8_t> bytes;
    const size_t count = (REG_MAX_VALUE_SIZE - 1) / 3;
    for (size_t i = 0; i < count; ++i) {
        bytes.insert(bytes.end(), {0xE2, 0x82, 0xAC});
    }
    bytes.push_back(0);
    const std::vector<uint16_t> units = DecodeStringValue(bytes.data(), bytes.size());
    ASSERT_EQ(count, units.size());
    EXPECT_EQ(0x20AC, units.front());
    EXPECT_EQ(0x20AC, units.back());
}

} // namespace
