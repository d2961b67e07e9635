// Settings files: Windows' parsing, defaults, truncation, integer reading and
// the enumeration forms.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

#include "platform/LastError.h"
#include "platform/ProfileFile.h"
#include "tests/platform/PlatformTestSupport.h"

using platform_test::TempDir;

namespace {

const char kIni[] =
    "\xEF\xBB\xBF; comment line\r\n"
    "key0=before any section\r\n"
    "[Upload]\r\n"
    "PreserveGlobalDFBs = 1\r\n"
    "  Quoted = \"  spaced  \"\n"
    "Single='x'\n"
    "Mismatch=\"abc'\n"
    "OnlyQuote=\"\n"
    "Empty=\n"
    "NoEquals\n"
    "   ; indented comment=1\n"
    "Dup=first\n"
    "Dup=second\n"
    "Neg=-42\n"
    "Plus=+7\n"
    "Junk=12abc\n"
    "Hex=0x10\n"
    "Big=4294967297\n"
    "Letters=abc\n"
    "QuotedNum=\" 12\"\n"
    "Equals=a=b\n"
    "[ Path ]\n"
    "GlobalDfbPath=C:\\Korvane\\DFB\\\n"
    "[upload]\n"
    "Late=later\n"
    "[Broken\n"
    "InBroken=x";

class ProfileFileTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string ini = dir / "korvane.ini";
    void SetUp() override {
        std::ofstream out(ini, std::ios::binary);
        out.write(kIni, sizeof kIni - 1);
    }
};

TEST_F(ProfileFileTest, StringLookups) {
    struct Case {
        const char* name;
        const char* section;
        const char* key;
        const char* def;
        const char* expected;
        DWORD error;
    } cases[] = {
        {"plain, blanks around '='", "Upload", "PreserveGlobalDFBs", "d", "1", ERROR_SUCCESS},
        {"other case", "UPLOAD", "preserveglobaldfbs", "d", "1", ERROR_SUCCESS},
        {"requested names are trimmed", " Upload ", " PreserveGlobalDFBs\t", "d", "1", ERROR_SUCCESS},
        {"double quotes removed, inner blanks kept", "Upload", "Quoted", "d", "  spaced  ", ERROR_SUCCESS},
        {"single quotes removed", "Upload", "Single", "d", "x", ERROR_SUCCESS},
        {"unmatched quotes kept", "Upload", "Mismatch", "d", "\"abc'", ERROR_SUCCESS},
        {"a lone quote kept", "Upload", "OnlyQuote", "d", "\"", ERROR_SUCCESS},
        {"empty value is found", "Upload", "Empty", "d", "", ERROR_SUCCESS},
        {"split at the first '='", "Upload", "Equals", "d", "a=b", ERROR_SUCCESS},
        {"key without '=' gives the default", "Upload", "NoEquals", "d", "d", ERROR_FILE_NOT_FOUND},
        {"comment is no key", "Upload", "; indented comment", "d", "d", ERROR_FILE_NOT_FOUND},
        {"first of repeated keys", "Upload", "Dup", "d", "first", ERROR_SUCCESS},
        {"first of repeated sections", "Upload", "Late", "d", "d", ERROR_FILE_NOT_FOUND},
        {"trimmed section header", "Path", "GlobalDfbPath", "d", "C:\\Korvane\\DFB\\", ERROR_SUCCESS},
        {"keys before the first section", "", "key0", "d", "before any section", ERROR_SUCCESS},
        {"header without ']' starts nothing", "Broken", "InBroken", "d", "d", ERROR_FILE_NOT_FOUND},
        {"missing key", "Upload", "Missing", "default", "default", ERROR_FILE_NOT_FOUND},
        {"default loses trailing blanks", "Upload", "Missing", "def \t ", "def", ERROR_FILE_NOT_FOUND},
        {"default keeps leading blanks", "Upload", "Missing", "  def", "  def", ERROR_FILE_NOT_FOUND},
        {"null default", "Upload", "Missing", nullptr, "", ERROR_FILE_NOT_FOUND},
        {"missing section", "Nothing", "PreserveGlobalDFBs", "d", "d", ERROR_FILE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char buf[64];
        std::memset(buf, '#', sizeof buf);
        SetLastError(0xDEAD);
        DWORD n = GetPrivateProfileStringA(c.section, c.key, c.def, buf, sizeof buf, ini.c_str());
        EXPECT_STREQ(c.expected, buf);
        EXPECT_EQ(std::strlen(c.expected), n);
        EXPECT_EQ(c.error, GetLastError());
    }
}

TEST_F(ProfileFileTest, Truncation) {
    // "C:\Korvane\DFB\" is 15 characters.
    struct Case {
        const char* name;
        const char* key;
        const char* def;
        DWORD size;
        DWORD result;
        const char* expected; // null: buffer untouched
    } cases[] = {
        {"size 0 writes nothing", "GlobalDfbPath", "d", 0, 0, nullptr},
        {"size 1", "GlobalDfbPath", "d", 1, 0, ""},
        {"one short", "GlobalDfbPath", "d", 15, 14, "C:\\Korvane\\DFB"},
        {"exact", "GlobalDfbPath", "d", 16, 15, "C:\\Korvane\\DFB\\"},
        {"larger", "GlobalDfbPath", "d", 17, 15, "C:\\Korvane\\DFB\\"},
        {"default cut", "Missing", "defaultvalue", 4, 3, "def"},
        {"default exact", "Missing", "abc", 4, 3, "abc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char buf[32];
        std::memset(buf, '#', sizeof buf);
        EXPECT_EQ(c.result, GetPrivateProfileStringA("Path", c.key, c.def, buf, c.size, ini.c_str()));
        if (c.expected) {
            EXPECT_STREQ(c.expected, buf);
        } else {
            EXPECT_EQ('#', buf[0]);
        }
        EXPECT_EQ('#', buf[c.size]) << "nothing written past the buffer";
    }
}

TEST_F(ProfileFileTest, Integers) {
    struct Case {
        const char* name;
        const char* section;
        const char* key;
        INT def;
        UINT expected;
    } cases[] = {
        {"plain", "Upload", "PreserveGlobalDFBs", 0, 1},
        {"negative", "Upload", "Neg", 0, static_cast<UINT>(-42)},
        {"plus sign", "Upload", "Plus", 0, 7},
        {"leading digits only", "Upload", "Junk", 0, 12},
        {"no hexadecimal", "Upload", "Hex", 0, 0},
        {"wraps past 32 bits", "Upload", "Big", 0, 1},
        {"no digits", "Upload", "Letters", 99, 0},
        {"blanks inside quotes", "Upload", "QuotedNum", 0, 12},
        {"empty value gives the default", "Upload", "Empty", 5, 5},
        {"key without '='", "Upload", "NoEquals", 6, 6},
        {"missing key", "Upload", "Missing", -3, static_cast<UINT>(-3)},
        {"missing section", "Nothing", "PreserveGlobalDFBs", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, GetPrivateProfileIntA(c.section, c.key, c.def, ini.c_str()));
    }
    EXPECT_EQ(4u, GetPrivateProfileIntA("Upload", "PreserveGlobalDFBs", 4, (dir / "missing.ini").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(ProfileFileTest, Enumeration) {
    const std::string sections("Upload\0Path\0upload\0", 19);
    struct Case {
        const char* name;
        const char* section;
        DWORD size;
        DWORD result;
        std::string expected; // bytes written, both final zeros included
    } cases[] = {
        {"sections, size 0", nullptr, 0, 0, ""},
        {"sections, size 1", nullptr, 1, 0, std::string("\0", 1)},
        {"sections, size 2", nullptr, 2, 0, std::string("\0\0", 2)},
        {"sections cut", nullptr, 10, 8, std::string("Upload\0P\0\0", 10)},
        {"sections, one short", nullptr, 19, 17, std::string("Upload\0Path\0uploa\0\0", 19)},
        {"sections exact", nullptr, 20, 19, sections + std::string("\0", 1)},
        {"keys", "Path", 64, 14, std::string("GlobalDfbPath\0\0", 15)},
        {"keys of a missing section", "Nothing", 64, 0, std::string("\0\0", 2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char buf[80];
        std::memset(buf, '#', sizeof buf);
        EXPECT_EQ(c.result, GetPrivateProfileStringA(c.section, nullptr, "d", buf, c.size, ini.c_str()));
        EXPECT_EQ(c.expected, std::string(buf, c.expected.size()));
        EXPECT_EQ('#', buf[c.size]);
    }
}

TEST_F(ProfileFileTest, FileNamesFollowTheLayersPathRules) {
    std::string bin = dir / "bin";
    ASSERT_EQ(0, ::mkdir(bin.c_str(), 0700));
    char old[4096];
    ASSERT_NE(nullptr, ::getcwd(old, sizeof old));
    ASSERT_EQ(0, ::chdir(bin.c_str()));
    struct Case {
        const char* name;
        const char* file;
        UINT expected;
    } cases[] = {
        {"parent directory, Windows separator", "..\\korvane.ini", 1},
        {"other case", "..\\KORVANE.INI", 1},
        {"bare name is the current directory", "korvane.ini", 9},
        {"missing", "..\\nothing.ini", 9},
        {"a directory", "..\\bin", 9},
        {"empty name", "", 9},
        {"null name", nullptr, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, GetPrivateProfileIntA("Upload", "PreserveGlobalDFBs", 9, c.file));
    }
    ASSERT_EQ(0, ::chdir(old));
}

} // namespace
