// Which Java form a registry value takes, the REG_DWORD byte order, the size
// limit of writes, the root handles and the exception texts of Halvex.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "java/registry/HalvexValue.h"

namespace {

using korvane::halvex::DecodeDword;
using korvane::halvex::EncodeDword;
using korvane::halvex::HalvexError;
using korvane::halvex::HalvexMessage;
using korvane::halvex::JavaForm;
using korvane::halvex::ReadForm;
using korvane::halvex::RootFromJava;
using korvane::halvex::WriteSizeFits;

TEST(HalvexValueForm, ReadFormTable) {
    struct Case {
        const char* name;
        DWORD type;
        size_t size;
        JavaForm expected;
    };
    const Case cases[] = {
        {"sz empty", REG_SZ, 0, JavaForm::String},
        {"sz", REG_SZ, 6, JavaForm::String},
        {"sz largest", REG_SZ, REG_MAX_VALUE_SIZE, JavaForm::String},
        {"dword empty", REG_DWORD, 0, JavaForm::Unsupported},
        {"dword three bytes", REG_DWORD, 3, JavaForm::Unsupported},
        {"dword", REG_DWORD, 4, JavaForm::Integer},
        {"dword five bytes", REG_DWORD, 5, JavaForm::Unsupported},
        {"binary empty", REG_BINARY, 0, JavaForm::Bytes},
        {"binary largest", REG_BINARY, REG_MAX_VALUE_SIZE, JavaForm::Bytes},
        {"none", REG_NONE, 1, JavaForm::Unsupported},
        {"expand sz", REG_EXPAND_SZ, 6, JavaForm::Unsupported},
        {"dword big endian", REG_DWORD_BIG_ENDIAN, 4, JavaForm::Unsupported},
        {"link", REG_LINK, 2, JavaForm::Unsupported},
        {"multi sz", REG_MULTI_SZ, 6, JavaForm::Unsupported},
        {"resource list", REG_RESOURCE_LIST, 4, JavaForm::Unsupported},
        {"qword", REG_QWORD, 8, JavaForm::Unsupported},
        {"unknown type", 0xFFFFFFFFu, 4, JavaForm::Unsupported},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, ReadForm(c.type, c.size));
    }
}

TEST(HalvexValueForm, DwordBytesAreLittleEndian) {
    struct Case {
        const char* name;
        int32_t value;
        std::array<uint8_t, 4> bytes;
    };
    const Case cases[] = {
        {"zero", 0, {0, 0, 0, 0}},
        {"one", 1, {1, 0, 0, 0}},
        {"minus one", -1, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"minimum", INT32_MIN, {0, 0, 0, 0x80}},
        {"maximum", INT32_MAX, {0xFF, 0xFF, 0xFF, 0x7F}},
        {"pattern", 0x12345678, {0x78, 0x56, 0x34, 0x12}},
        {"high bit of low byte", 0x80, {0x80, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.bytes, EncodeDword(c.value));
        EXPECT_EQ(c.value, DecodeDword(c.bytes.data()));
    }
}

TEST(HalvexValueForm, WriteSizeLimit) {
    struct Case {
        const char* name;
        size_t size;
        bool fits;
    };
    const Case cases[] = {
        {"empty", 0, true},
        {"largest", REG_MAX_VALUE_SIZE, true},
        {"one past", size_t{REG_MAX_VALUE_SIZE} + 1, false},
        {"beyond 32 bits", size_t{1} << 33, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.fits, WriteSizeFits(c.size));
    }
}

TEST(HalvexValueForm, JavaRootsMatchPredefinedKeys) {
    // A Java int holds the root's 32 bits; HKEY_LOCAL_MACHINE is negative there.
    struct Case {
        const char* name;
        int32_t root;
        HKEY expected;
    };
    const Case cases[] = {
        {"classes root", static_cast<int32_t>(0x80000000u), HKEY_CLASSES_ROOT},
        {"current user", static_cast<int32_t>(0x80000001u), HKEY_CURRENT_USER},
        {"local machine", static_cast<int32_t>(0x80000002u), HKEY_LOCAL_MACHINE},
        {"users", static_cast<int32_t>(0x80000003u), HKEY_USERS},
        {"zero", 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, RootFromJava(c.root));
    }
}

TEST(HalvexValueForm, ExceptionTexts) {
    struct Case {
        HalvexError error;
        const char* text;
    };
    const Case cases[] = {
        {HalvexError::OpenKeyFailed, "Open key failed"},
        {HalvexError::QueryValueFailed, "Query value key failed"},
        {HalvexError::UnsupportedType, "Unsupported value type"},
        {HalvexError::CreateMutexFailed, "Create mutex failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_STREQ(c.text, HalvexMessage(c.error));
    }
    EXPECT_STREQ("com/velmoraautomation/util/HalvexException", korvane::halvex::kExceptionClass);
    EXPECT_STREQ("ZEPMutex", korvane::halvex::kMutexName);
}

} // namespace
