// BSTR allocation, length and ownership rules.
#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

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


// ------------------------------------------------------------ string arenas

using korvane::platform::BstrArena;
using korvane::platform::BstrCacheEnabled;
using korvane::platform::BstrFreeMany;

// Bytes the heap has handed out and not taken back (small and mapped blocks).
size_t heapInUse() {
    struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

// `count` strings of `length` bytes each, byte k of string i being i + k.
std::vector<BSTR> fillArena(BstrArena& arena, size_t count, UINT length) {
    std::vector<BSTR> out;
    std::string bytes(length, '\0');
    for (size_t i = 0; i < count; ++i) {
        for (UINT k = 0; k < length; ++k)
            bytes[k] = static_cast<char>(i + k);
        out.push_back(arena.Add(bytes.data(), length));
    }
    return out;
}

bool holds(BSTR b, size_t i, UINT length) {
    if (b == nullptr || SysStringByteLen(b) != length)
        return false;
    const char* p = reinterpret_cast<const char*>(b);
    for (UINT k = 0; k < length; ++k)
        if (p[k] != static_cast<char>(i + k))
            return false;
    return p[length] == 0 && p[length + 1] == 0;  // a whole zero code unit follows
}

TEST(BstrArenaTest, StringsReadBackAsOrdinaryStrings) {
    struct Case {
        const char* name;
        size_t count;
        UINT length;
    };
    const Case cases[] = {
        {"empty strings", 5, 0},
        {"odd byte counts", 7, 3},
        {"catalogue names", 1000, 60},
        {"long strings", 3, 4097},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BstrArena arena;
        arena.Begin(c.count * BstrArena::Footprint(c.length));
        std::vector<BSTR> strings = fillArena(arena, c.count, c.length);
        arena.Finish();
        for (size_t i = 0; i < strings.size(); ++i)
            ASSERT_TRUE(holds(strings[i], i, c.length)) << "string " << i;
        EXPECT_EQ(SysStringLen(strings[0]), c.length / 2);
        // Each string frees on its own, as any BSTR does.
        for (BSTR b : strings)
            SysFreeString(b);
    }
}

TEST(BstrArenaTest, TheBlockGoesWithItsLastString) {
    if (!BstrCacheEnabled())
        GTEST_SKIP() << "arenas are off in this build (each string is its own block)";
    // About 5 MB: more than a thread keeps as its spare arena block.
    constexpr size_t kCount = 4000;
    constexpr UINT kLength = 1300;
    struct Case {
        const char* name;
        void (*free)(std::vector<BSTR>&);
    };
    const Case cases[] = {
        {"in order", [](std::vector<BSTR>& s) { for (BSTR b : s) SysFreeString(b); }},
        {"in reverse", [](std::vector<BSTR>& s) { for (size_t i = s.size(); i-- > 0;) SysFreeString(s[i]); }},
        {"all at once", [](std::vector<BSTR>& s) { BstrFreeMany(s.data(), s.size()); }},
        {"in runs with nulls and other strings between",
         [](std::vector<BSTR>& s) {
             std::vector<BSTR> mixed;
             for (size_t i = 0; i < s.size(); ++i) {
                 mixed.push_back(s[i]);
                 if (i % 7 == 0)
                     mixed.push_back(nullptr);
                 if (i % 11 == 0)
                     mixed.push_back(SysAllocString(u"own block"));
             }
             BstrFreeMany(mixed.data(), mixed.size());
         }},
        {"on two threads",
         [](std::vector<BSTR>& s) {
             std::thread other([&] {
                 for (size_t i = 0; i < s.size(); i += 2)
                     SysFreeString(s[i]);
             });
             for (size_t i = 1; i < s.size(); i += 2)
                 SysFreeString(s[i]);
             other.join();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t before = heapInUse();
        BstrArena arena;
        ASSERT_TRUE(arena.Begin(kCount * BstrArena::Footprint(kLength)));
        std::vector<BSTR> strings = fillArena(arena, kCount, kLength);
        arena.Finish();
        EXPECT_GE(heapInUse(), before + kCount * kLength);
        // One string kept keeps the block and every byte of itself.
        BSTR kept = strings[kCount / 2];
        strings.erase(strings.begin() + kCount / 2);
        c.free(strings);
        EXPECT_TRUE(holds(kept, kCount / 2, kLength));
        EXPECT_GE(heapInUse(), before + kCount * kLength);
        SysFreeString(kept);
        EXPECT_LT(heapInUse(), before + kCount * kLength / 4) << "the block was freed";
    }
}

TEST(BstrArenaTest, OverflowAndEmptyArenas) {
    // Strings beyond the block's size become ordinary strings.
    BstrArena arena;
    arena.Begin(2 * BstrArena::Footprint(10));
    std::vector<BSTR> strings = fillArena(arena, 5, 10);
    arena.Finish();
    for (size_t i = 0; i < strings.size(); ++i)
        EXPECT_TRUE(holds(strings[i], i, 10)) << "string " << i;
    BstrFreeMany(strings.data(), strings.size());

    // Without a Begin, or with nothing to hold, strings are ordinary ones.
    BstrArena none;
    EXPECT_FALSE(none.Begin(0));
    BSTR b = none.Add("ab", 2);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringByteLen(b), 2u);
    SysFreeString(b);

    // An arena that ends with no string frees its block (seen by the heap
    // check below and by the leak checker).
    if (BstrCacheEnabled()) {
        const size_t before = heapInUse();
        BstrArena unused;
        ASSERT_TRUE(unused.Begin(8 << 20));
        unused.Finish();
        EXPECT_LT(heapInUse(), before + (1 << 20));
    }
}

TEST(BstrArenaTest, RepeatedArraysReuseOneBlock) {
    if (!BstrCacheEnabled())
        GTEST_SKIP() << "arenas are off in this build (each string is its own block)";
    // Arrays of about 1 MB made and freed over and over, as a client reading
    // a catalogue block by block does: the heap holds at most the thread's
    // one spare block beyond the live array, whatever the number of rounds.
    constexpr size_t kCount = 4000;
    constexpr UINT kLength = 250;
    const size_t block = kCount * BstrArena::Footprint(kLength);
    size_t highest = 0;
    const size_t before = heapInUse();
    for (int round = 0; round < 50; ++round) {
        BstrArena arena;
        ASSERT_TRUE(arena.Begin(block));
        std::vector<BSTR> strings = fillArena(arena, kCount, kLength);
        arena.Finish();
        ASSERT_TRUE(holds(strings[round], round, kLength));
        highest = std::max(highest, heapInUse());
        BstrFreeMany(strings.data(), strings.size());
    }
    EXPECT_LT(highest, before + 2 * block + (1 << 16));
    EXPECT_LT(heapInUse(), before + block + (1 << 16));
}

} // namespace
