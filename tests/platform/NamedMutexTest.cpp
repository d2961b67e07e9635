// Named mutexes across the user's processes: ERROR_ALREADY_EXISTS while a
// holder lives (in this or another process), the name free again after the
// last holder closed it or was killed; and the runtime directory they live in.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/LastError.h"
#include "platform/RuntimeDir.h"
#include "platform/Sync.h"
#include "tests/platform/PlatformTestSupport.h"

using platform_test::ScopedEnv;
using platform_test::TempDir;

namespace {

class NamedMutexTest : public ::testing::Test {
protected:
    TempDir runtime;
    ScopedEnv env{"XDG_RUNTIME_DIR", runtime.path()};

    // Creates the mutex and returns the last error (the handle goes to *out,
    // or is closed at once when out is null).
    static DWORD create(const char* name, HANDLE* out = nullptr, BOOL owner = TRUE) {
        SetLastError(0xDEAD);
        HANDLE h = CreateMutexA(nullptr, owner, name);
        DWORD error = GetLastError();
        if (h == nullptr) {
            return 0x10000000u | error;
        }
        if (out) {
            *out = h;
        } else {
            CloseHandle(h);
        }
        return error;
    }
};

TEST_F(NamedMutexTest, SameProcessSeesExistingName) {
    HANDLE first = nullptr, second = nullptr;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), create("ZEPMutexTest", &first));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), create("ZEPMutexTest", &second));
    EXPECT_NE(first, second);
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), create("ZEPMutexTest")) << "one handle still open";
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), create("ZEPMutexTest")) << "free after the last close";
}

TEST_F(NamedMutexTest, NamesAndTheirFiles) {
    const std::string longest(MAX_PATH, 'n');
    const std::string tooLong(MAX_PATH + 1, 'n');
    const std::string longOdd(MAX_PATH, '/');
    struct Case {
        const char* name;
        std::string first;
        std::string second;
        DWORD secondResult;
    } cases[] = {
        {"unnamed", "", "", ERROR_SUCCESS},
        {"session prefix Global", "Global\\Prefixed", "Prefixed", ERROR_ALREADY_EXISTS},
        {"session prefix Local", "Local\\Prefixed2", "Global\\Prefixed2", ERROR_ALREADY_EXISTS},
        {"names are case-sensitive", "CaseName", "CASENAME", ERROR_SUCCESS},
        {"separators stay inside the directory", "../escape", "../escape", ERROR_ALREADY_EXISTS},
        {"a backslash is part of a name", "a\\b", "a/b", ERROR_SUCCESS},
        {"longest name", longest, longest, ERROR_ALREADY_EXISTS},
        {"longest name of escaped bytes", longOdd, longOdd, ERROR_ALREADY_EXISTS},
        {"one too long", tooLong, "", 0x10000000u | ERROR_INVALID_NAME},
        {"only a prefix", "Global\\", "", 0x10000000u | ERROR_INVALID_NAME},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HANDLE first = nullptr;
        DWORD rc = create(c.first.c_str(), &first);
        if (c.secondResult & 0x10000000u) {
            EXPECT_EQ(c.secondResult, rc);
            continue;
        }
        ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), rc);
        EXPECT_EQ(c.secondResult, create(c.second.c_str()));
        CloseHandle(first);
    }
    // Every lock file is a plain file inside the runtime directory.
    struct stat st {};
    EXPECT_NE(0, ::lstat((runtime.path() + "/../escape").c_str(), &st));
    EXPECT_NE(0, ::lstat((runtime.path() + "/escape").c_str(), &st));
}

TEST_F(NamedMutexTest, OtherProcessSeesExistingNameWhileHolderLives) {
    HANDLE mine = nullptr;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), create("HeldByParent", &mine));
    pid_t child = platform_test::spawn([] {
        HANDLE h = CreateMutexA(nullptr, TRUE, "HeldByParent");
        return h != nullptr && GetLastError() == static_cast<DWORD>(ERROR_ALREADY_EXISTS) ? 0 : 1;
    });
    EXPECT_EQ(0, platform_test::reap(child));
    CloseHandle(mine);
    child = platform_test::spawn([] {
        HANDLE h = CreateMutexA(nullptr, TRUE, "HeldByParent");
        return h != nullptr && GetLastError() == static_cast<DWORD>(ERROR_SUCCESS) ? 0 : 1;
    });
    EXPECT_EQ(0, platform_test::reap(child)) << "free once the parent closed it";
}

TEST_F(NamedMutexTest, NameIsFreeAfterHolderIsKilled) {
    struct Case {
        const char* name;
        bool killed; // else the holder exits normally without closing
    } cases[] = {{"SIGKILL", true}, {"exit without close", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int fds[2], go[2];
        ASSERT_EQ(0, ::pipe(fds));
        ASSERT_EQ(0, ::pipe(go));
        pid_t child = platform_test::spawn([&] {
            ::close(fds[0]);
            ::close(go[1]);
            HANDLE h = CreateMutexA(nullptr, TRUE, "HeldByChild");
            char ok = h != nullptr && GetLastError() == static_cast<DWORD>(ERROR_SUCCESS) ? 'y' : 'n';
            if (::write(fds[1], &ok, 1) != 1) {
                return 2;
            }
            char wait = 0;
            // Hold the name until told (or killed); never close it.
            return ::read(go[0], &wait, 1) >= 0 ? 0 : 3;
        });
        ASSERT_GT(child, 0);
        ::close(fds[1]);
        ::close(go[0]);
        char ok = 0;
        ASSERT_EQ(1, ::read(fds[0], &ok, 1));
        ::close(fds[0]);
        ASSERT_EQ('y', ok);
        EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), create("HeldByChild"));
        if (c.killed) {
            ASSERT_EQ(0, ::kill(child, SIGKILL));
            EXPECT_EQ(1000 + SIGKILL, platform_test::reap(child));
        } else {
            char go1 = 'g';
            ASSERT_EQ(1, ::write(go[1], &go1, 1));
            EXPECT_EQ(0, platform_test::reap(child));
        }
        ::close(go[1]);
        EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), create("HeldByChild"));
    }
}

TEST(RuntimeDirTest, ChoosesXdgRuntimeDirOnlyWhenPrivate) {
    TempDir base;
    const std::string fallback = "/tmp/korvane-" + std::to_string(static_cast<unsigned long>(::geteuid()));
    std::string privateDir = base / "private";
    std::string openDir = base / "open";
    ASSERT_EQ(0, ::mkdir(privateDir.c_str(), 0700));
    ASSERT_EQ(0, ::mkdir(openDir.c_str(), 0700));
    ASSERT_EQ(0, ::chmod(openDir.c_str(), 0755));
    std::string link = base / "link";
    ASSERT_EQ(0, ::symlink(privateDir.c_str(), link.c_str()));
    struct Case {
        const char* name;
        const char* value;
        std::string expected;
    } cases[] = {
        {"unset", nullptr, fallback},
        {"empty", "", fallback},
        {"relative", "relative/dir", fallback},
        {"missing", "/nonexistent/korvane-runtime", fallback},
        {"open to others", openDir.c_str(), fallback},
        {"a link", link.c_str(), fallback},
        {"private", privateDir.c_str(), privateDir},
        {"private with trailing slash", nullptr, privateDir},
    };
    std::string trailing = privateDir + "/";
    cases[7].value = trailing.c_str();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnv env("XDG_RUNTIME_DIR", c.value);
        DWORD error = 0xDEAD;
        EXPECT_EQ(c.expected, PlatformRuntimeDir(&error));
        EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), error);
    }
    struct stat st {};
    ASSERT_EQ(0, ::lstat(fallback.c_str(), &st));
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(::geteuid(), st.st_uid);
    EXPECT_EQ(0u, st.st_mode & 077);
}

} // namespace
