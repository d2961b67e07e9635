// The message table behind LoadStringA: every message number the compiler and
// its base library report has a text with the printf parameters it is
// reported with, and LoadStringA follows Windows' buffer conventions.
#include "platform/MessageTexts.h"
#include "platform/LastError.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

// The printf conversions of a format, in order, each as its conversion
// letter ("%s(%d,%d)" gives "sdd"); "%%" is no conversion. A malformed spec
// (a '%' at the end, an unknown letter) shows as '!'.
std::string Conversions(const char* format) {
    std::string out;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            continue;
        }
        ++p;
        if (*p == '%') {
            continue;
        }
        while (*p != '\0' && std::strchr("-+ #0123456789.hlL", *p) != nullptr) {
            ++p;
        }
        if (*p == '\0' || std::strchr("diouxXeEfgGcsp", *p) == nullptr) {
            out += '!';
            if (*p == '\0') {
                break;
            }
            continue;
        }
        out += *p;
    }
    return out;
}

struct MessageCase {
    int number;              // as reported: negative errors, positive warnings
    const char* conversions; // the parameters it is reported with
};

// Every message number of the compiler and its base library, with the
// parameters each is reported with.
const MessageCase kMessages[] = {
    {1704, ""},      {1717, ""},   {1718, ""},    {-3401, "sdd"}, {-3402, "sdd"}, {-3403, ""},
    {-3404, ""},     {-3405, ""},  {-3406, "sd"}, {-3407, ""},    {-3409, ""},    {-3410, ""},
    {-3411, ""},     {-3412, ""},  {-3413, ""},   {-3414, ""},    {-3415, ""},    {-3416, ""},
    {-3417, ""},     {-3418, ""},  {-3419, ""},   {-3420, ""},    {-3421, ""},    {-3422, ""},
    {-3423, ""},     {-3424, ""},  {-3425, ""},   {-3426, ""},    {-3427, ""},    {-3428, ""},
    {-3429, ""},     {-3430, ""},  {-3438, ""},   {-3462, "ss"},  {-3464, "s"},   {-3465, "s"},
    {-3472, "ss"},   {-3478, ""},  {-3479, ""},   {-3480, "s"},   {-3481, ""},    {-3482, ""},
    {-3485, ""},     {-3486, ""},  {-3489, ""},   {-3491, ""},    {-3492, ""},    {-3495, "dd"},
    {-3499, ""},     {-3504, "s"}, {-3505, ""},   {-3508, ""},    {-3509, ""},    {-3510, ""},    {-3511, "s"},
    {-3512, ""},     {-3514, ""},  {-3515, ""},   {-3518, ""},    {-3519, ""},    {-3521, ""},
    {-3522, ""},     {-3523, ""},  {-3524, ""},   {-3525, ""},    {-3526, ""},    {-3527, ""},
    {-3528, ""},     {-3529, ""},  {-3530, ""},   {-3531, ""},    {-3532, ""},    {-3533, ""},
    {-3534, ""},     {-3535, ""},  {-3536, ""},   {-3537, "s"},   {-3538, "s"},   {-3539, "s"},
    {-3540, "s"},    {-3541, "s"}, {-3548, "d"},  {-3552, ""},    {-3553, ""},    {-3554, "sd"},
    {-3555, "dsds"}, {-3556, ""},  {-3572, ""},   {-3575, "s"},   {-3577, "s"},   {-3603, "s"},
    {-3612, "s"},    {-3614, ""},  {-3617, ""},
};

std::string Load(UINT id, int bufMax = 400) {
    std::string buf(static_cast<size_t>(bufMax), '#');
    int n = LoadStringA(nullptr, id, buf.data(), bufMax);
    EXPECT_EQ(static_cast<size_t>(n), std::strlen(buf.c_str()));
    return std::string(buf.c_str());
}

TEST(MessageTexts, EveryReportedNumberHasItsParameters) {
    for (const auto& m : kMessages) {
        SCOPED_TRACE(m.number);
        UINT id = static_cast<UINT>(m.number < 0 ? -m.number : m.number);
        std::string text = Load(id);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(Conversions(text.c_str()), m.conversions) << text;
        if (m.conversions[0] == '\0') {
            // Shown as they stand by some callers, printf'd by others.
            EXPECT_EQ(text.find('%'), std::string::npos) << text;
        }
    }
}

TEST(MessageTexts, TableHoldsExactlyTheReportedNumbers) {
    size_t count = 0;
    const MessageTextEntry* table = MessageTextTable(&count);
    std::set<UINT> expected;
    for (const auto& m : kMessages) {
        expected.insert(static_cast<UINT>(m.number < 0 ? -m.number : m.number));
    }
    ASSERT_EQ(count, expected.size());
    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(table[i].id);
        EXPECT_EQ(expected.count(table[i].id), 1u);
        if (i > 0) {
            EXPECT_LT(table[i - 1].id, table[i].id) << "table not sorted or id twice";
        }
    }
}

TEST(MessageTexts, TextsFitTheCallersBuffers) {
    // The literal scanner and formatter keep a text in 100 characters; the
    // sink formats a line into 300, prefix and parameters included.
    size_t count = 0;
    const MessageTextEntry* table = MessageTextTable(&count);
    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(table[i].id);
        size_t length = std::strlen(table[i].text);
        EXPECT_GT(length, 0u);
        EXPECT_LE(length, 100u);
        for (const char* p = table[i].text; *p != '\0'; ++p) {
            EXPECT_TRUE(*p >= 0x20 && *p < 0x7F) << "byte " << static_cast<int>(*p);
        }
    }
}

std::string Format(UINT id, const char* s1, int d1, int d2) {
    char buf[300];
    std::snprintf(buf, sizeof buf, FindMessageText(id), s1, d1, d2);
    return buf;
}

std::string FormatInternal(UINT id, int code, const char* module, int line, const char* rev) {
    char buf[300];
    std::snprintf(buf, sizeof buf, FindMessageText(id), code, module, line, rev);
    return buf;
}

std::string FormatInts(UINT id, int first, int second) {
    char buf[300];
    std::snprintf(buf, sizeof buf, FindMessageText(id), first, second);
    return buf;
}

std::string FormatNames(UINT id, const char* first, const char* second) {
    char buf[300];
    std::snprintf(buf, sizeof buf, FindMessageText(id), first, second);
    return buf;
}

TEST(MessageTexts, ParametersAppearInReportOrder) {
    struct Case {
        const char* name;
        std::string line;
        std::vector<std::string> fragments; // in this order
    };
    const Case cases[] = {
        {"warning prefix", Format(3401, "types.dty", 12, 5), {"types.dty", "12", "5", "warning"}},
        {"error prefix", Format(3402, "p.st", 7, 40), {"p.st", "7", "40", "error"}},
        {"out of memory", Format(3406, "initval", 218, 0), {"initval", "218"}},
        {"internal error",
         FormatInternal(3555, 1030, "lex", 833, "$Revision: 4 $"),
         {"1030", "lex", "833", "$Revision: 4 $"}},
        {"internal error at a line", Format(3554, "emit.cpp", 1361, 0), {"emit.cpp", "1361"}},
        {"open comment", FormatInts(3495, 14, 9), {"14", "9"}},
        {"operation code", FormatInts(3548, 16, 0), {"16"}},
        {"type and name", FormatNames(3472, "COLOR", "PURPLE"), {"COLOR", "PURPLE"}},
        {"two sections", FormatNames(3462, "VAR_OUTPUT", "FUNCTION"), {"VAR_OUTPUT", "FUNCTION"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.line.find('%'), std::string::npos) << c.line;
        size_t from = 0;
        for (const auto& fragment : c.fragments) {
            size_t at = c.line.find(fragment, from);
            ASSERT_NE(at, std::string::npos) << fragment << " in " << c.line;
            from = at + fragment.size();
        }
    }
}

TEST(MessageTexts, SectionTextsNameTheSections) {
    struct Case {
        UINT id;
        const char* text;
    };
    const Case cases[] = {
        {3521, "FUNCTION"},     {3522, "FUNCTION_BLOCK"}, {3523, "PROGRAM"}, {3524, "VAR_INPUT"},
        {3525, "VAR_OUTPUT"},   {3526, "VAR_IN_OUT"},     {3527, "VAR"},     {3528, "VAR_GLOBAL"},
        {3529, "VAR_EXTERNAL"}, {3530, "CONSTANT"},       {3531, "RETAIN"},  {3533, "VAR_ACCESS"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(Load(c.id), c.text);
    }
}

TEST(MessageTexts, LoadStringABuffer) {
    const std::string full = FindMessageText(3424);
    ASSERT_GT(full.size(), 2u);
    const int length = static_cast<int>(full.size());
    struct Case {
        const char* name;
        int bufMax;
        int result;
        std::string text;
    };
    const Case cases[] = {
        {"one byte: terminator only", 1, 0, ""},
        {"two bytes: one character", 2, 1, full.substr(0, 1)},
        {"one short of fitting", length, length - 1, full.substr(0, full.size() - 1)},
        {"exact fit", length + 1, length, full},
        {"roomy", length + 50, length, full},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string buf(static_cast<size_t>(c.bufMax) + 8, '#');
        EXPECT_EQ(LoadStringA(nullptr, 3424, buf.data(), c.bufMax), c.result);
        EXPECT_EQ(std::string(buf.c_str()), c.text);
        EXPECT_EQ(buf[static_cast<size_t>(c.bufMax)], '#') << "wrote past bufMax";
    }
}

TEST(MessageTexts, LoadStringABadArguments) {
    struct Case {
        const char* name;
        bool nullBuffer;
        int bufMax;
    };
    const Case cases[] = {
        {"zero size", false, 0},
        {"negative size", false, -1},
        {"null buffer", true, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        char buf[4] = {'#', '#', '#', '#'};
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(LoadStringA(nullptr, 3424, c.nullBuffer ? nullptr : buf, c.bufMax), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(buf[0], '#');
    }
}

TEST(MessageTexts, UnknownIdsGiveEmptyText) {
    const UINT cases[] = {0, 1, 1701, 3400, 3408, 3520, 3618, 0x7FFF, 0x8000, 0xFFFF};
    for (UINT id : cases) {
        SCOPED_TRACE(id);
        char buf[8] = "xxxxxxx";
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(LoadStringA(nullptr, id, buf, sizeof buf), 0);
        EXPECT_EQ(buf[0], '\0');
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
        EXPECT_EQ(FindMessageText(id), nullptr);
    }
}

TEST(MessageTexts, NegativeNumbersInEveryForm) {
    const std::string expected = FindMessageText(3424);
    struct Case {
        const char* name;
        UINT id;
    };
    const Case cases[] = {
        {"absolute value", 3424},
        {"16-bit two's complement", 0xF2A0},
        {"32-bit two's complement", static_cast<UINT>(-3424)},
        {"high bits ignored", 0x10000 + 3424},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Load(c.id), expected);
    }
    EXPECT_EQ(Load(1717), FindMessageText(1717));
}

} // namespace
