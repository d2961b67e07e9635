// GUID text form: StringFromGUID2, StringFromCLSID, IIDFromString.
#include <gtest/gtest.h>

#include <string>

#include "platform/Guid.h"
#include "platform/OleMemory.h"

using korvane::platform::GuidFromText;
using korvane::platform::GuidToText;

namespace {

constexpr GUID kSample = {0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

TEST(ComGuidTest, StringFromGuid2NeedsRoomForTerminator) {
    struct Case {
        const char* name;
        int cch;
        int expected;
    };
    const Case cases[] = {
        {"zero", 0, 0},
        {"one short of the terminator", 38, 0},
        {"exact", 39, 39},
        {"larger", 64, 39},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OLECHAR buf[64];
        for (OLECHAR& ch : buf)
            ch = u'#';
        EXPECT_EQ(StringFromGUID2(kSample, buf, c.cch), c.expected);
        if (c.expected) {
            EXPECT_EQ(std::u16string(buf), u"{12345678-9ABC-DEF0-0123-456789ABCDEF}");
        } else {
            EXPECT_EQ(buf[0], u'#') << "nothing written to a short buffer";
        }
    }
    EXPECT_EQ(StringFromGUID2(kSample, nullptr, 39), 0);
}

TEST(ComGuidTest, WellKnownIdentifiers) {
    EXPECT_EQ(GuidToText(IID_IUnknown), "{00000000-0000-0000-C000-000000000046}");
    EXPECT_EQ(GuidToText(IID_IDispatch), "{00020400-0000-0000-C000-000000000046}");
    EXPECT_EQ(GuidToText(IID_IClassFactory), "{00000001-0000-0000-C000-000000000046}");
    EXPECT_EQ(GuidToText(CLSID_PSOAInterface), "{00020424-0000-0000-C000-000000000046}");
    EXPECT_TRUE(IsEqualGUID(IID_NULL, GUID_NULL));
    EXPECT_FALSE(IsEqualIID(IID_IUnknown, IID_IDispatch));
}

TEST(ComGuidTest, IIDFromStringParsesRegistryForm) {
    struct Case {
        const char* name;
        const char16_t* text;
        HRESULT hr;
    };
    const Case cases[] = {
        {"empty", u"", E_INVALIDARG},
        {"upper case", u"{12345678-9ABC-DEF0-0123-456789ABCDEF}", S_OK},
        {"lower case", u"{12345678-9abc-def0-0123-456789abcdef}", S_OK},
        {"missing closing brace", u"{12345678-9ABC-DEF0-0123-456789ABCDEF", E_INVALIDARG},
        {"no braces", u"12345678-9ABC-DEF0-0123-456789ABCDEF", E_INVALIDARG},
        {"one character too many", u"{12345678-9ABC-DEF0-0123-456789ABCDEF}x", E_INVALIDARG},
        {"hyphen misplaced", u"{1234567-89ABC-DEF0-0123-456789ABCDEF}", E_INVALIDARG},
        {"non-hex digit", u"{12345678-9ABC-DEF0-0123-456789ABCDEG}", E_INVALIDARG},
        {"truncated", u"{1234", E_INVALIDARG},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IID iid = IID_IDispatch;
        EXPECT_EQ(IIDFromString(c.text, &iid), c.hr);
        EXPECT_EQ(iid, c.hr == S_OK ? kSample : GUID_NULL);
    }
    IID iid;
    EXPECT_EQ(IIDFromString(nullptr, &iid), E_INVALIDARG);
    EXPECT_EQ(IIDFromString(u"{12345678-9ABC-DEF0-0123-456789ABCDEF}", nullptr), E_INVALIDARG);
}

TEST(ComGuidTest, NarrowTextRoundTrip) {
    GUID g;
    ASSERT_TRUE(GuidFromText(GuidToText(kSample).c_str(), &g));
    EXPECT_EQ(g, kSample);
    EXPECT_FALSE(GuidFromText("{12345678-9ABC-DEF0-0123-456789ABCDE}", &g));
    EXPECT_FALSE(GuidFromText(nullptr, &g));
}

TEST(ComGuidTest, StringFromClsidAllocatesWithTaskAllocator) {
    LPOLESTR text = nullptr;
    ASSERT_EQ(StringFromCLSID(kSample, &text), S_OK);
    EXPECT_EQ(std::u16string(text), u"{12345678-9ABC-DEF0-0123-456789ABCDEF}");
    CoTaskMemFree(text);
    EXPECT_EQ(StringFromCLSID(kSample, nullptr), E_INVALIDARG);
    korvane::platform::OleFailAllocationAfter(1);
    EXPECT_EQ(StringFromCLSID(kSample, &text), E_OUTOFMEMORY);
    EXPECT_EQ(text, nullptr);
}

} // namespace
