// Narrow/UTF-16 conversion: MultiByteToWideChar and WideCharToMultiByte for
// Windows-1252 and code page 850, with Windows' size and error conventions.
#include "platform/LastError.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr DWORD kUntouched = 0xDEADu;

struct ToWideCase {
    const char* name;
    UINT codePage;
    DWORD flags;
    const char* src; // may be null
    int srcLen;
    int dstLen; // the destination array holds 16 units
    bool nullDst;
    int result;
    DWORD lastError; // kUntouched: no error set
    std::u16string written;
};

TEST(TextUnicode, MultiByteToWideChar) {
    const ToWideCase cases[] = {
        // Argument errors first.
        {"zero source length", CP_ACP, 0, "ab", 0, 16, false, 0, ERROR_INVALID_PARAMETER, u""},
        {"source length below -1", CP_ACP, 0, "ab", -2, 16, false, 0, ERROR_INVALID_PARAMETER, u""},
        {"null source", CP_ACP, 0, nullptr, 2, 16, false, 0, ERROR_INVALID_PARAMETER, u""},
        {"negative destination size", CP_ACP, 0, "ab", 2, -1, false, 0, ERROR_INVALID_PARAMETER,
         u""},
        {"null destination with size", CP_ACP, 0, "ab", 2, 4, true, 0, ERROR_INVALID_PARAMETER,
         u""},
        {"unknown code page", 65001, 0, "ab", 2, 16, false, 0, ERROR_INVALID_PARAMETER, u""},
        {"mac code page", 2, 0, "ab", 2, 16, false, 0, ERROR_INVALID_PARAMETER, u""},
        {"unknown flag", CP_ACP, 0x2, "ab", 2, 16, false, 0, ERROR_INVALID_FLAGS, u""},
        // Sizes.
        {"empty with terminator", CP_ACP, 0, "", -1, 16, false, 1, kUntouched,
         std::u16string(1, u'\0')},
        {"size query", CP_ACP, 0, "abc", -1, 0, true, 4, kUntouched, u""},
        {"size query, explicit length", CP_ACP, 0, "abc", 2, 0, true, 2, kUntouched, u""},
        {"exact fit", CP_ACP, 0, "abc", 3, 3, false, 3, kUntouched, u"abc"},
        {"one short", CP_ACP, 0, "abc", -1, 3, false, 0, ERROR_INSUFFICIENT_BUFFER, u"abc"},
        {"explicit length stops early", CP_ACP, 0, "abc", 2, 16, false, 2, kUntouched, u"ab"},
        {"embedded zero converted", CP_ACP, 0, "a\0b", 3, 16, false, 3, kUntouched,
         std::u16string(u"a\0b", 3)},
        // Characters.
        {"ansi euro and quotes", CP_ACP, 0, "\x80\x93\x94", 3, 16, false, 3, kUntouched,
         u"\u20AC\u201C\u201D"},
        {"1252 by number", CP_1252, 0, "\xE4\x9F", 2, 16, false, 2, kUntouched, u"\u00E4\u0178"},
        {"ansi undefined byte", CP_ACP, MB_ERR_INVALID_CHARS, "\x81\x9D", 2, 16, false, 2,
         kUntouched, u"\u0081\u009D"},
        {"oem umlauts", CP_OEMCP, MB_PRECOMPOSED, "\x84\x94\x81", 3, 16, false, 3, kUntouched,
         u"\u00E4\u00F6\u00FC"},
        {"850 by number, box drawing", CP_850, 0, "\xC9\xCD\xBB", 3, 16, false, 3, kUntouched,
         u"\u2554\u2550\u2557"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<char16_t> dst(16, u'#');
        SetLastError(kUntouched);
        int result = MultiByteToWideChar(c.codePage, c.flags, c.src, c.srcLen,
                                         c.nullDst ? nullptr : dst.data(), c.dstLen);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(GetLastError(), c.lastError);
        EXPECT_EQ(std::u16string(dst.data(), c.written.size()), c.written);
        if (!c.nullDst && c.dstLen >= 0 && static_cast<size_t>(c.dstLen) < dst.size()) {
            EXPECT_EQ(dst[c.dstLen], u'#') << "wrote past the destination size";
        }
    }
}

TEST(TextUnicode, MultiByteToWideCharSameBuffer) {
    char16_t buf[4] = {u'a', u'b', 0, 0};
    SetLastError(kUntouched);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(buf), 2, buf, 4), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

struct ToNarrowCase {
    const char* name;
    UINT codePage;
    DWORD flags;
    const char16_t* src; // may be null
    int srcLen;
    int dstLen; // the destination array holds 16 bytes
    bool nullDst;
    const char* defaultChar;
    int result;
    DWORD lastError;
    std::string written;
    BOOL usedDefault;
};

TEST(TextUnicode, WideCharToMultiByte) {
    const ToNarrowCase cases[] = {
        {"zero source length", CP_ACP, 0, u"ab", 0, 16, false, nullptr, 0, ERROR_INVALID_PARAMETER,
         "", -1},
        {"source length below -1", CP_ACP, 0, u"ab", -5, 16, false, nullptr, 0,
         ERROR_INVALID_PARAMETER, "", -1},
        {"null source", CP_ACP, 0, nullptr, 2, 16, false, nullptr, 0, ERROR_INVALID_PARAMETER, "",
         -1},
        {"negative destination size", CP_ACP, 0, u"ab", 2, -3, false, nullptr, 0,
         ERROR_INVALID_PARAMETER, "", -1},
        {"null destination with size", CP_ACP, 0, u"ab", 2, 2, true, nullptr, 0,
         ERROR_INVALID_PARAMETER, "", -1},
        {"unknown code page", 437, 0, u"ab", 2, 16, false, nullptr, 0, ERROR_INVALID_PARAMETER, "",
         -1},
        {"unknown flag", CP_ACP, 0x80, u"ab", 2, 16, false, nullptr, 0, ERROR_INVALID_FLAGS, "",
         -1},
        // Sizes.
        {"empty with terminator", CP_ACP, 0, u"", -1, 16, false, nullptr, 1, kUntouched,
         std::string(1, '\0'), FALSE},
        {"size query", CP_ACP, 0, u"abc", -1, 0, true, nullptr, 4, kUntouched, "", FALSE},
        {"size query counts a pair once", CP_ACP, 0, u"a\U0001F600b", -1, 0, true, nullptr, 4,
         kUntouched, "", TRUE},
        {"exact fit", CP_ACP, 0, u"abc", 3, 3, false, nullptr, 3, kUntouched, "abc", FALSE},
        {"one short", CP_ACP, 0, u"abc", -1, 3, false, nullptr, 0, ERROR_INSUFFICIENT_BUFFER, "abc",
         FALSE},
        // Characters.
        {"ansi letters and symbols", CP_ACP, 0, u"\u00E4\u20AC\u0178\u2019", 4, 16, false, nullptr,
         4, kUntouched, "\xE4\x80\x9F\x92", FALSE},
        {"ansi undefined controls", CP_1252, 0, u"\u0081\u009D", 2, 16, false, nullptr, 2,
         kUntouched, "\x81\x9D", FALSE},
        {"ansi lacks other C1 controls", CP_1252, 0, u"\u0080\u009F", 2, 16, false, nullptr, 2,
         kUntouched, "??", TRUE},
        {"no look-alike in conversion", CP_ACP, WC_NO_BEST_FIT_CHARS, u"\u0100\u2500", 2, 16, false,
         nullptr, 2, kUntouched, "??", TRUE},
        {"oem letters", CP_OEMCP, 0, u"\u00E4\u00DF\u00C9", 3, 16, false, nullptr, 3, kUntouched,
         "\x84\xE1\x90", FALSE},
        {"oem lacks curly quote", CP_850, 0, u"\u2018x", 2, 16, false, nullptr, 2, kUntouched, "?x",
         TRUE},
        {"given default char", CP_OEMCP, 0, u"\u20ACx", 2, 16, false, "*", 2, kUntouched, "*x",
         TRUE},
        {"surrogate pair is one char", CP_ACP, 0, u"\U0001F600", 2, 16, false, nullptr, 1,
         kUntouched, "?", TRUE},
        {"lone high surrogate at end", CP_ACP, 0, u"a\xD800", 2, 16, false, nullptr, 2, kUntouched,
         "a?", TRUE},
        {"high surrogate then letter", CP_ACP, 0, u"\xD800z", 2, 16, false, nullptr, 2, kUntouched,
         "?z", TRUE},
        {"lone low surrogate", CP_ACP, 0, u"\xDC00z", 2, 16, false, nullptr, 2, kUntouched, "?z",
         TRUE},
        {"pair cut by the length", CP_ACP, 0, u"\U0001F600", 1, 16, false, nullptr, 1, kUntouched,
         "?", TRUE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<char> dst(16, '#');
        BOOL used = -1;
        SetLastError(kUntouched);
        int result =
            WideCharToMultiByte(c.codePage, c.flags, c.src, c.srcLen,
                                c.nullDst ? nullptr : dst.data(), c.dstLen, c.defaultChar, &used);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(GetLastError(), c.lastError);
        EXPECT_EQ(std::string(dst.data(), c.written.size()), c.written);
        EXPECT_EQ(used, c.usedDefault);
        if (!c.nullDst && c.dstLen >= 0 && static_cast<size_t>(c.dstLen) < dst.size()) {
            EXPECT_EQ(dst[c.dstLen], '#') << "wrote past the destination size";
        }
    }
}

TEST(TextUnicode, UsedDefaultMayBeNull) {
    char dst[4] = {};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u0100", 1, dst, 4, nullptr, nullptr), 1);
    EXPECT_EQ(dst[0], '?');
}

TEST(TextUnicode, EveryByteRoundTrips) {
    const UINT pages[] = {CP_ACP, CP_OEMCP};
    for (UINT page : pages) {
        std::string all;
        for (int b = 1; b < 256; ++b) {
            all += static_cast<char>(b);
        }
        SCOPED_TRACE(page);
        std::u16string wide(all.size(), u'\0');
        ASSERT_EQ(MultiByteToWideChar(page, 0, all.data(), static_cast<int>(all.size()),
                                      wide.data(), static_cast<int>(wide.size())),
                  255);
        std::string back(all.size(), '\0');
        BOOL used = TRUE;
        ASSERT_EQ(WideCharToMultiByte(page, 0, wide.data(), static_cast<int>(wide.size()),
                                      back.data(), static_cast<int>(back.size()), nullptr, &used),
                  255);
        EXPECT_EQ(back, all);
        EXPECT_FALSE(used);
    }
}

} // namespace
