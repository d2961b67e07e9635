// Environment variables with Windows' size convention, module file names and
// the temporary directory.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <unistd.h>

#include <sqlite3.h>

#include "platform/Environment.h"
#include "platform/LastError.h"
#include "tests/platform/PlatformTestSupport.h"

using platform_test::ScopedEnv;

namespace {

TEST(EnvironmentTest, GetEnvironmentVariableSizeConvention) {
    ScopedEnv value("KORVANE_TEST_VALUE", "abcde"); // 5 characters
    ScopedEnv empty("KORVANE_TEST_EMPTY", "");
    ScopedEnv unset("KORVANE_TEST_UNSET", nullptr);
    struct Case {
        const char* name;
        const char* variable;
        DWORD size;
        DWORD result;
        DWORD error;
        const char* buffer; // expected contents, or null when untouched
    } cases[] = {
        {"null buffer, size 0", "KORVANE_TEST_VALUE", 0, 6, ERROR_SUCCESS, nullptr},
        {"one byte", "KORVANE_TEST_VALUE", 1, 6, ERROR_SUCCESS, nullptr},
        {"no room for the terminator", "KORVANE_TEST_VALUE", 5, 6, ERROR_SUCCESS, nullptr},
        {"exact", "KORVANE_TEST_VALUE", 6, 5, ERROR_SUCCESS, "abcde"},
        {"larger", "KORVANE_TEST_VALUE", 100, 5, ERROR_SUCCESS, "abcde"},
        {"empty value", "KORVANE_TEST_EMPTY", 100, 0, ERROR_SUCCESS, ""},
        {"empty value, size 0", "KORVANE_TEST_EMPTY", 0, 1, ERROR_SUCCESS, nullptr},
        {"unset", "KORVANE_TEST_UNSET", 100, 0, ERROR_ENVVAR_NOT_FOUND, nullptr},
        {"empty name", "", 100, 0, ERROR_ENVVAR_NOT_FOUND, nullptr},
        {"name with '='", "KORVANE_TEST_VALUE=", 100, 0, ERROR_ENVVAR_NOT_FOUND, nullptr},
        {"null name", nullptr, 100, 0, ERROR_ENVVAR_NOT_FOUND, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char buf[100];
        std::memset(buf, '#', sizeof buf);
        SetLastError(0xDEAD);
        DWORD rc = GetEnvironmentVariableA(c.variable, c.size == 0 ? nullptr : buf, c.size);
        EXPECT_EQ(c.result, rc);
        EXPECT_EQ(c.error, GetLastError());
        if (c.buffer) {
            EXPECT_STREQ(c.buffer, buf);
        } else {
            EXPECT_EQ('#', buf[0]) << "a short buffer is left alone";
        }
    }
}

TEST(EnvironmentTest, VariableLongerThanTheServersBuffer) {
    // The catalogue server reads TEMP with a 100-byte buffer: a longer value
    // reports its size and writes nothing.
    std::string longValue(150, 't');
    ScopedEnv temp("KORVANE_TEST_TEMP", longValue);
    char buf[100];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(151u, GetEnvironmentVariableA("KORVANE_TEST_TEMP", buf, sizeof buf));
    EXPECT_EQ('#', buf[99]);
}

TEST(EnvironmentTest, SetEnvironmentVariable) {
    ScopedEnv guard("KORVANE_TEST_SET", nullptr);
    struct Case {
        const char* name;
        const char* variable;
        const char* value;
        BOOL result;
        DWORD error;
    } cases[] = {
        {"empty name", "", "x", FALSE, ERROR_INVALID_PARAMETER},
        {"null name", nullptr, "x", FALSE, ERROR_INVALID_PARAMETER},
        {"name with '='", "A=B", "x", FALSE, ERROR_INVALID_PARAMETER},
        {"remove unset", "KORVANE_TEST_SET", nullptr, FALSE, ERROR_ENVVAR_NOT_FOUND},
        {"set", "KORVANE_TEST_SET", "value", TRUE, 0xDEAD},
        {"set empty", "KORVANE_TEST_SET", "", TRUE, 0xDEAD},
        {"remove", "KORVANE_TEST_SET", nullptr, TRUE, 0xDEAD},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetLastError(0xDEAD);
        EXPECT_EQ(c.result, SetEnvironmentVariableA(c.variable, c.value));
        EXPECT_EQ(c.error, GetLastError());
        if (c.result && c.variable) {
            const char* now = std::getenv(c.variable);
            if (c.value) {
                ASSERT_NE(nullptr, now);
                EXPECT_STREQ(c.value, now);
            } else {
                EXPECT_EQ(nullptr, now);
            }
        }
    }
}

int aFunctionOfTheProgram() { return 1; }

TEST(EnvironmentTest, ModuleFileName) {
    char expected[PATH_MAX + 1] = {};
    ssize_t n = ::readlink("/proc/self/exe", expected, PATH_MAX);
    ASSERT_GT(n, 0);
    const std::string program(expected, static_cast<size_t>(n));
    const auto length = static_cast<DWORD>(program.size());
    struct Case {
        const char* name;
        HMODULE module;
        DWORD size;
        DWORD result;
        DWORD error;
        std::string text;
    } cases[] = {
        {"program, exact room", nullptr, length + 1, length, ERROR_SUCCESS, program},
        {"program, large buffer", nullptr, 4096, length, ERROR_SUCCESS, program},
        {"program, no room for the terminator", nullptr, length, length, ERROR_INSUFFICIENT_BUFFER,
         program.substr(0, length - 1)},
        {"program, one byte", nullptr, 1, 1, ERROR_INSUFFICIENT_BUFFER, ""},
        {"program, size 0", nullptr, 0, 0, ERROR_INSUFFICIENT_BUFFER, "#"},
        {"address inside the program", reinterpret_cast<HMODULE>(&aFunctionOfTheProgram), 4096, length,
         ERROR_SUCCESS, program},
        {"address outside every module", reinterpret_cast<HMODULE>(static_cast<uintptr_t>(16)), 4096, 0,
         ERROR_MOD_NOT_FOUND, "#"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string buf(4096, '#');
        SetLastError(0xDEAD);
        EXPECT_EQ(c.result, GetModuleFileNameA(c.module, buf.data(), c.size));
        EXPECT_EQ(c.error, GetLastError());
        if (c.text == "#") {
            EXPECT_EQ('#', buf[0]);
        } else {
            EXPECT_EQ(c.text, std::string(buf.c_str()));
        }
    }
    // A library's address names that library (SQLite is a shared library
    // that no sanitizer wraps).
    char lib[4096];
    DWORD got = GetModuleFileNameA(reinterpret_cast<HMODULE>(&::sqlite3_libversion), lib, sizeof lib);
    ASSERT_GT(got, 0u);
    EXPECT_EQ('/', lib[0]);
    EXPECT_NE(std::string::npos, std::string(lib).find("libsqlite3")) << lib;
}

TEST(EnvironmentTest, TempPath) {
    struct Case {
        const char* name;
        const char* tmpdir;
        std::string expected;
    } cases[] = {
        {"unset", nullptr, "/tmp/"},
        {"empty", "", "/tmp/"},
        {"without separator", "/var/tmp", "/var/tmp/"},
        {"with separator", "/var/tmp/", "/var/tmp/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnv env("TMPDIR", c.tmpdir);
        char buf[64];
        std::memset(buf, '#', sizeof buf);
        auto length = static_cast<DWORD>(c.expected.size());
        EXPECT_EQ(length + 1, GetTempPathA(0, nullptr));
        EXPECT_EQ(length + 1, GetTempPathA(length, buf));
        EXPECT_EQ('#', buf[0]);
        EXPECT_EQ(length, GetTempPathA(length + 1, buf));
        EXPECT_EQ(c.expected, std::string(buf));
    }
}

} // namespace
