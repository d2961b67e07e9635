// BSTR allocation, length and ownership rules.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/Bstr.h"
#include "platform/OleMemory.h"

using korvane::platform::OleFailAllocationAfter;

namespace {

std::u16string textOf(BSTR b) { return std::u16string(b ? b : u"", SysStringLen(b)); }

TEST(BstrTest, AllocStringKeepsTextAndPrefix) {
    struct Case {
        const char* name;
        const char16_t* text;  // null: null input
        bool expectNull;
        UINT chars;
    };
    const Case cases[] = {
        {"null gives null", nullptr, true, 0},
        {"empty gives a valid empty string", u"", false, 0},
        {"one character", u"x", false, 1},
        {"non-ASCII UTF-16 units", u"\u00e4\u00f6\u00fc\u20ac", false, 4},
        {"surrogate pair counts two units", u"\U0001F600", false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BSTR b = SysAllocString(c.text);
        EXPECT_EQ(b == nullptr, c.expectNull);
        EXPECT_EQ(SysStringLen(b), c.chars);
        EXPECT_EQ(SysStringByteLen(b), c.chars * 2);
        if (b) {
            EXPECT_EQ(textOf(b), std::u16string(c.text));
            EXPECT_EQ(b[c.chars], 0) << "terminated by a 16-bit zero";
            // The 32-bit byte count sits just before the characters.
            uint32_t prefix;
            std::memcpy(&prefix, reinterpret_cast<char*>(b) - 4, 4);
            EXPECT_EQ(prefix, c.chars * 2);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 8, 0u) << "characters are 8-byte aligned";
        }
        SysFreeString(b);
    }
}

TEST(BstrTest, AllocStringLenTakesEmbeddedZerosAndNullSource) {
    struct Case {
        const char* name;
        const char16_t* text;
        UINT length;
        std::u16string expected;
        bool expectNull;
    };
    const Case cases[] = {
        {"zero length from null", nullptr, 0, u"", false},
        {"null source gives zeros", nullptr, 3, std::u16string(3, u'\0'), false},
        {"embedded zero kept", u"a\0b", 3, std::u16string(u"a\0b", 3), false},
        {"prefix of a longer text", u"abcdef", 2, u"ab", false},
        {"maximum plus one refused", u"", BSTR_MAX_CHARS + 1, u"", true},
        {"largest UINT refused", u"", 0xFFFFFFFFu, u"", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BSTR b = SysAllocStringLen(c.text, c.length);
        EXPECT_EQ(b == nullptr, c.expectNull);
        if (b) {
            EXPECT_EQ(SysStringLen(b), c.expected.size());
            EXPECT_EQ(textOf(b), c.expected);
        }
        SysFreeString(b);
    }
}

TEST(BstrTest, ByteLenKeepsOddCounts) {
    struct Case {
        const char* name;
        const char* bytes;
        UINT length;
        UINT chars;
    };
    const Case cases[] = {
        {"empty", "", 0, 0},
        {"odd count rounds the character length down", "abc", 3, 1},
        {"even count", "abcd", 4, 2},
        {"null source gives zero bytes", nullptr, 5, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BSTR b = SysAllocStringByteLen(c.bytes, c.length);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(SysStringByteLen(b), c.length);
        EXPECT_EQ(SysStringLen(b), c.chars);
        const char* raw = reinterpret_cast<const char*>(b);
        if (c.bytes) {
            EXPECT_EQ(std::memcmp(raw, c.bytes, c.length), 0);
        }
        EXPECT_EQ(raw[c.length], 0);
        EXPECT_EQ(raw[c.length + 1], 0);
        SysFreeString(b);
    }
}

TEST(BstrTest, NullReadsAsEmpty) {
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);  // a no-op, must not crash
}

TEST(BstrTest, ReAllocReplacesAndFreesOld) {
    struct Case {
        const char* name;
        const char16_t* start;  // null: *bstr starts null
        const char16_t* text;
        std::u16string expected;
    };
    const Case cases[] = {
        {"null start", nullptr, u"abc", u"abc"},
        {"null text gives empty, not null", u"abc", nullptr, u""},
        {"grow", u"a", u"abcdef", u"abcdef"},
        {"shrink", u"abcdef", u"x", u"x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BSTR b = SysAllocString(c.start);
        EXPECT_EQ(SysReAllocString(&b, c.text), TRUE);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(textOf(b), c.expected);
        SysFreeString(b);  // ASan reports the old string if it was leaked
    }
}

TEST(BstrTest, ReAllocFromInsideItself) {
    BSTR b = SysAllocString(u"hello world");
    ASSERT_EQ(SysReAllocStringLen(&b, b + 6, 5), TRUE);
    EXPECT_EQ(textOf(b), u"world");
    SysFreeString(b);
}

TEST(BstrTest, ReAllocFailureLeavesOldString) {
    EXPECT_EQ(SysReAllocString(nullptr, u"x"), FALSE);
    BSTR b = SysAllocString(u"keep");
    OleFailAllocationAfter(1);
    EXPECT_EQ(SysReAllocString(&b, u"new text"), FALSE);
    OleFailAllocationAfter(0);
    EXPECT_EQ(textOf(b), u"keep");
    SysFreeString(b);
}

TEST(BstrTest, OutOfMemoryGivesNull) {
    OleFailAllocationAfter(1);
    EXPECT_EQ(SysAllocString(u"abc"), nullptr);
    BSTR next = SysAllocString(u"abc");  // only the one allocation fails
    EXPECT_NE(next, nullptr);
    SysFreeString(next);
}

TEST(BstrTest, FreedStringsAreReusedByTheirThread) {
    BSTR first = SysAllocString(u"twelve chars");
    uintptr_t firstAddress = reinterpret_cast<uintptr_t>(first);
    SysFreeString(first);
    BSTR second = SysAllocString(u"other text!!");  // same size class
    BSTR large = SysAllocStringLen(nullptr, 4096);   // beyond the cached sizes
    if (korvane::platform::BstrCacheEnabled()) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(second), firstAddress) << "served from the cache";
    } else {
        SUCCEED() << "cache off (sanitizer build or OANOCACHE)";
    }
    EXPECT_EQ(textOf(second), u"other text!!") << "a reused block holds the new text only";
    EXPECT_EQ(SysStringLen(large), 4096u);
    EXPECT_EQ(large[4096], 0);
    SysFreeString(second);
    SysFreeString(large);
    // An injected failure applies to cached blocks too.
    OleFailAllocationAfter(1);
    EXPECT_EQ(SysAllocString(u"twelve chars"), nullptr);
}

} // namespace
