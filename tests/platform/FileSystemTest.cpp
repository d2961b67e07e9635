// Windows file names on the Linux file system: resolution, patterns,
// searches, attributes, and CreateFileA with the safety rules for files in
// shared directories.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/Sync.h"
#include "tests/platform/PlatformTestSupport.h"

using platform_test::ScopedEnv;
using platform_test::TempDir;

namespace {

void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string windowsForm(std::string path) {
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return path;
}

class FileSystemTest : public ::testing::Test {
protected:
    TempDir dir;
    ScopedEnv runtime{"XDG_RUNTIME_DIR", dir.path()};
    void SetUp() override {
        ASSERT_EQ(0, ::mkdir((dir / "Lib").c_str(), 0700));
        writeText(dir / "Lib/Types.DTY", "TYPE A : INT; END_TYPE\n");
        writeText(dir / "Lib/base.dty", "TYPE B : INT; END_TYPE");
        writeText(dir / "Lib/notes.txt", "x");
        ASSERT_EQ(0, ::mkdir((dir / "Lib/Sub.dty").c_str(), 0700));
        writeText(dir / "Dup", "upper");
        writeText(dir / "dup", "lower");
    }
};

TEST_F(FileSystemTest, ResolvesWindowsPaths) {
    const std::string d = dir.path();
    struct Case {
        const char* name;
        std::string path;
        bool mayBeMissing;
        DWORD error;
        std::string expected;
    } cases[] = {
        {"null", "", false, ERROR_PATH_NOT_FOUND, ""},
        {"exact", d + "/Lib/Types.DTY", false, ERROR_SUCCESS, d + "/Lib/Types.DTY"},
        {"backslashes", windowsForm(d + "/Lib/Types.DTY"), false, ERROR_SUCCESS, d + "/Lib/Types.DTY"},
        {"other case", d + "\\LIB\\types.dty", false, ERROR_SUCCESS, d + "/Lib/Types.DTY"},
        {"repeated separators", d + "\\\\lib//TYPES.dty", false, ERROR_SUCCESS, d + "/Lib/Types.DTY"},
        {"dot and dot-dot", d + "\\lib\\..\\LIB\\.\\base.DTY", false, ERROR_SUCCESS, d + "/Lib/../Lib/./base.dty"},
        {"trailing separator", d + "\\lib\\", false, ERROR_SUCCESS, d + "/Lib/"},
        {"entries differing in case: first in byte order", d + "\\DUP", false, ERROR_SUCCESS, d + "/Dup"},
        {"exact name wins", d + "\\dup", false, ERROR_SUCCESS, d + "/dup"},
        {"missing file", d + "\\Lib\\missing.dty", false, ERROR_FILE_NOT_FOUND, ""},
        {"missing file may be created", d + "\\LIB\\New.dty", true, ERROR_SUCCESS, d + "/Lib/New.dty"},
        {"missing directory", d + "\\Nope\\x.dty", true, ERROR_PATH_NOT_FOUND, ""},
        {"file used as directory", d + "\\Lib\\notes.txt\\x", false, ERROR_PATH_NOT_FOUND, ""},
        {"unmapped drive", "C:\\Lib\\Types.DTY", false, ERROR_PATH_NOT_FOUND, ""},
        {"network path", "\\\\server\\share\\x", false, ERROR_BAD_PATHNAME, ""},
        {"pipe", "\\\\.\\pipe\\VqLog", false, ERROR_SUCCESS, d + "/VqLog"},
        {"pipe in other case and separators", "//./PIPE/VqLog", false, ERROR_SUCCESS, d + "/VqLog"},
        {"pipe without name", "\\\\.\\pipe\\", false, ERROR_INVALID_NAME, ""},
        {"pipe name with separator", "\\\\.\\pipe\\a\\b", false, ERROR_INVALID_NAME, ""},
        {"pipe name dot-dot", "\\\\.\\pipe\\..", false, ERROR_INVALID_NAME, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = "unchanged";
        EXPECT_EQ(c.error, PlatformResolvePath(c.path.c_str(), c.mayBeMissing, out));
        EXPECT_EQ(c.expected, out);
    }
    std::string out;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), PlatformResolvePath(nullptr, false, out));
}

TEST_F(FileSystemTest, DriveLettersNeedAMapping) {
    struct Case {
        const char* name;
        const char* mapping;
        const char* path;
        DWORD error;
        std::string expected;
    } cases[] = {
        {"mapped", "", "C:\\lib\\types.dty", ERROR_SUCCESS, dir / "Lib/Types.DTY"},
        {"lower-case letter", "", "c:\\Lib\\base.dty", ERROR_SUCCESS, dir / "Lib/base.dty"},
        {"drive-relative form", "", "C:Lib\\base.dty", ERROR_SUCCESS, dir / "Lib/base.dty"},
        {"relative mapping is refused", "relative", "C:\\Lib\\base.dty", ERROR_PATH_NOT_FOUND, ""},
        {"other drive stays unmapped", "", "D:\\Lib\\base.dty", ERROR_PATH_NOT_FOUND, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnv map("KORVANE_DRIVE_C", c.mapping[0] ? std::string(c.mapping) : dir.path());
        std::string out;
        EXPECT_EQ(c.error, PlatformResolvePath(c.path, false, out));
        EXPECT_EQ(c.expected, out);
    }
}

TEST(FilePatternTest, WildcardsWithoutRegardToCase) {
    const std::string many(60, 'a');
    struct Case {
        const char* pattern;
        std::string name;
        bool expected;
    } cases[] = {
        {"", "", true},
        {"", "a", false},
        {"*", "a", true},
        {"**", "abc", true},
        {"?", "", false},
        {"?", "a", true},
        {"?.dty", "ab.dty", false},
        {"*.dty", "Types.DTY", true},
        {"*.DTY", "base.dty", true},
        {"*.dty", "types.dtyx", false},
        {"*.dty", "dty", false},
        {"*.*", "noext", true},
        {"*.*", "a.b", true},
        {"readme.*", "README", true},
        {"readme.*", "readme.txt", true},
        {"readme.*", "readmex", false},
        {"a*b*c", "aXXbYYc", true},
        {"a*b*c", "aXXbYY", false},
        {"*a", "ba", true},
        {"x?", "x", false},
        {"a*a*a*a*a*a*b", many, false},
        {"\xC4*", "\xE4x", false}, // only ASCII letters fold
        {"\xC4*", "\xC4x", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " / " + c.name);
        EXPECT_EQ(c.expected, PlatformMatchPattern(c.pattern, c.name.c_str()));
    }
    EXPECT_FALSE(PlatformMatchPattern(nullptr, "a"));
}

std::set<std::string> findAll(const std::string& pattern, DWORD* error, std::set<std::string>* dirs = nullptr) {
    std::set<std::string> names;
    WIN32_FIND_DATAA data;
    SetLastError(0);
    HANDLE h = FindFirstFileA(pattern.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return names;
    }
    do {
        names.insert(data.cFileName);
        if (dirs && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            dirs->insert(data.cFileName);
        }
    } while (FindNextFileA(h, &data));
    *error = GetLastError();
    EXPECT_FALSE(FindNextFileA(h, &data)) << "the end stays the end";
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError());
    EXPECT_TRUE(FindClose(h));
    return names;
}

TEST_F(FileSystemTest, FindFilesByPattern) {
    const std::string lib = windowsForm(dir / "Lib");
    struct Case {
        const char* name;
        std::string pattern;
        DWORD error;
        std::set<std::string> names;
    } cases[] = {
        {"no match", lib + "\\*.xyz", ERROR_FILE_NOT_FOUND, {}},
        {"empty name part", lib + "\\", ERROR_FILE_NOT_FOUND, {}},
        {"missing directory", windowsForm(dir / "Nope") + "\\*.dty", ERROR_PATH_NOT_FOUND, {}},
        {"wildcard in the directory", windowsForm(dir.path()) + "\\L*\\*.dty", ERROR_INVALID_NAME, {}},
        {"*.dty in any case", lib + "\\*.dty", ERROR_NO_MORE_FILES, {"Types.DTY", "base.dty", "Sub.dty"}},
        {"directory in other case", windowsForm(dir / "LIB") + "\\*.DTY", ERROR_NO_MORE_FILES,
         {"Types.DTY", "base.dty", "Sub.dty"}},
        {"no wildcard", lib + "\\TYPES.dty", ERROR_NO_MORE_FILES, {"Types.DTY"}},
        {"question mark", lib + "\\????.dty", ERROR_NO_MORE_FILES, {"base.dty"}},
        {"star lists dot entries", lib + "\\*", ERROR_NO_MORE_FILES,
         {".", "..", "Types.DTY", "base.dty", "Sub.dty", "notes.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DWORD error = 0;
        std::set<std::string> dirs;
        EXPECT_EQ(c.names, findAll(c.pattern, &error, &dirs));
        EXPECT_EQ(c.error, error);
        if (c.names.count("Sub.dty")) {
            EXPECT_EQ(1u, dirs.count("Sub.dty"));
            EXPECT_EQ(0u, dirs.count("base.dty"));
        }
    }
}

TEST_F(FileSystemTest, FindRelativeToCurrentDirectoryAndEntryData) {
    ASSERT_EQ(0, ::mkdir((dir / "bin").c_str(), 0700));
    char old[4096];
    ASSERT_NE(nullptr, ::getcwd(old, sizeof old));
    ASSERT_EQ(0, ::chdir((dir / "bin").c_str()));
    DWORD error = 0;
    EXPECT_EQ((std::set<std::string>{"Types.DTY", "base.dty", "Sub.dty"}), findAll("..\\lib\\*.dty", &error));
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA("..\\LIB\\types.dty", &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_STREQ("Types.DTY", data.cFileName);
    EXPECT_EQ(23u, data.nFileSizeLow);
    EXPECT_EQ(0u, data.nFileSizeHigh);
    EXPECT_EQ(FILE_ATTRIBUTE_NORMAL, data.dwFileAttributes);
    EXPECT_STREQ("", data.cAlternateFileName);
    EXPECT_NE(0u, data.ftLastWriteTime.dwHighDateTime);
    // A search handle is closed by FindClose only.
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_TRUE(FindClose(h));
    EXPECT_FALSE(FindClose(h));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(FindNextFileA(h, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_FALSE(FindClose(event)) << "no search handle";
    EXPECT_TRUE(CloseHandle(event));
    ASSERT_EQ(0, ::chdir(old));
}

TEST_F(FileSystemTest, FileAttributes) {
    writeText(dir / "Lib/readonly.dty", "r");
    ASSERT_EQ(0, ::chmod((dir / "Lib/readonly.dty").c_str(), 0444));
    writeText(dir / "Lib/.hidden", "h");
    struct Case {
        const char* name;
        std::string path;
        DWORD attributes;
        DWORD error;
    } cases[] = {
        {"directory", dir / "Lib", FILE_ATTRIBUTE_DIRECTORY, 0},
        {"directory with trailing separator", windowsForm(dir / "lib") + "\\", FILE_ATTRIBUTE_DIRECTORY, 0},
        {"file", dir / "Lib/base.dty", FILE_ATTRIBUTE_NORMAL, 0},
        {"file in other case", windowsForm(dir / "LIB/BASE.DTY"), FILE_ATTRIBUTE_NORMAL, 0},
        {"read-only file", dir / "Lib/readonly.dty", FILE_ATTRIBUTE_READONLY, 0},
        {"dot file", dir / "Lib/.hidden", FILE_ATTRIBUTE_HIDDEN, 0},
        {"missing file", dir / "Lib/none", INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
        {"missing directory", dir / "None/x", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
        {"empty", "", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetLastError(0);
        EXPECT_EQ(c.attributes, GetFileAttributesA(c.path.c_str()));
        EXPECT_EQ(c.error, GetLastError());
    }
}

// The outcome of one CreateFileA call: the last error, and the handle closed.
DWORD tryCreate(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    SetLastError(0xDEAD);
    HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error = GetLastError();
    if (h == INVALID_HANDLE_VALUE) {
        return 0x10000000u | error;
    }
    EXPECT_TRUE(CloseHandle(h));
    return error;
}

constexpr DWORD kFailed = 0x10000000u;

TEST_F(FileSystemTest, TemporaryFileIsNeverRedirected) {
    const std::string target = dir / "target.txt";
    const std::string name = dir / "tmp.dty";
    struct Case {
        const char* name;
        const char* plant; // what is put at the name first
        DWORD disposition;
        DWORD result;
    } cases[] = {
        {"nothing, CREATE_ALWAYS", "", CREATE_ALWAYS, ERROR_SUCCESS},
        {"nothing, CREATE_NEW", "", CREATE_NEW, ERROR_SUCCESS},
        {"own file, CREATE_ALWAYS", "file", CREATE_ALWAYS, ERROR_ALREADY_EXISTS},
        {"own file, CREATE_NEW", "file", CREATE_NEW, kFailed | ERROR_FILE_EXISTS},
        {"own file, OPEN_ALWAYS", "file", OPEN_ALWAYS, ERROR_ALREADY_EXISTS},
        {"symlink, CREATE_ALWAYS", "symlink", CREATE_ALWAYS, kFailed | ERROR_ACCESS_DENIED},
        {"symlink, CREATE_NEW", "symlink", CREATE_NEW, kFailed | ERROR_FILE_EXISTS},
        {"symlink, OPEN_ALWAYS", "symlink", OPEN_ALWAYS, kFailed | ERROR_ACCESS_DENIED},
        {"symlink, TRUNCATE_EXISTING", "symlink", TRUNCATE_EXISTING, kFailed | ERROR_ACCESS_DENIED},
        {"symlink, OPEN_EXISTING for writing", "symlink", OPEN_EXISTING, kFailed | ERROR_ACCESS_DENIED},
        {"dangling symlink, CREATE_ALWAYS", "dangling", CREATE_ALWAYS, kFailed | ERROR_ACCESS_DENIED},
        {"hard link, CREATE_ALWAYS", "hardlink", CREATE_ALWAYS, kFailed | ERROR_ACCESS_DENIED},
        {"FIFO, CREATE_ALWAYS", "fifo", CREATE_ALWAYS, kFailed | ERROR_ACCESS_DENIED},
        {"directory, CREATE_ALWAYS", "dir", CREATE_ALWAYS, kFailed | ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::unlink(name.c_str());
        ::rmdir(name.c_str());
        writeText(target, "precious");
        std::string plant = c.plant;
        if (plant == "file") {
            writeText(name, "old contents");
        } else if (plant == "symlink") {
            ASSERT_EQ(0, ::symlink(target.c_str(), name.c_str()));
        } else if (plant == "dangling") {
            ::unlink((dir / "nowhere").c_str());
            ASSERT_EQ(0, ::symlink((dir / "nowhere").c_str(), name.c_str()));
        } else if (plant == "hardlink") {
            ASSERT_EQ(0, ::link(target.c_str(), name.c_str()));
        } else if (plant == "fifo") {
            ASSERT_EQ(0, ::mkfifo(name.c_str(), 0600));
        } else if (plant == "dir") {
            ASSERT_EQ(0, ::mkdir(name.c_str(), 0700));
        }
        DWORD access = GENERIC_WRITE;
        EXPECT_EQ(c.result, tryCreate(windowsForm(name), access, 0, c.disposition));
        EXPECT_EQ("precious", readText(target)) << "the planted target is untouched";
        struct stat st {};
        EXPECT_NE(0, ::lstat((dir / "nowhere").c_str(), &st)) << "no file made through a dangling link";
        if (!(c.result & kFailed)) {
            ASSERT_EQ(0, ::lstat(name.c_str(), &st));
            EXPECT_TRUE(S_ISREG(st.st_mode));
            if (c.disposition == CREATE_ALWAYS) {
                EXPECT_EQ(0, st.st_size) << "replaced";
            }
            if (plant.empty()) {
                EXPECT_EQ(0600u, st.st_mode & 0777) << "private to the user";
            }
        }
    }
    ::unlink(name.c_str());
}

TEST_F(FileSystemTest, FileOfAnotherUserIsRefused) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "making a file of another user needs root";
    }
    const std::string name = dir / "foreign.dty";
    struct Case {
        const char* name;
        DWORD access;
        DWORD disposition;
        DWORD result;
    } cases[] = {
        {"CREATE_ALWAYS", GENERIC_WRITE, CREATE_ALWAYS, kFailed | ERROR_ACCESS_DENIED},
        {"OPEN_ALWAYS", GENERIC_WRITE, OPEN_ALWAYS, kFailed | ERROR_ACCESS_DENIED},
        {"OPEN_EXISTING for writing", GENERIC_WRITE, OPEN_EXISTING, kFailed | ERROR_ACCESS_DENIED},
        {"OPEN_EXISTING for reading", GENERIC_READ, OPEN_EXISTING, ERROR_SUCCESS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeText(name, "theirs");
        ASSERT_EQ(0, ::chown(name.c_str(), 65534, 65534));
        EXPECT_EQ(c.result, tryCreate(name, c.access, FILE_SHARE_READ, c.disposition));
        EXPECT_EQ("theirs", readText(name));
        ::unlink(name.c_str());
    }
}

TEST_F(FileSystemTest, ShareModes) {
    const std::string name = windowsForm(dir / "tmp.dty");
    HANDLE writer = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    ASSERT_TRUE(WriteFile(writer, "abc", 3, nullptr, nullptr));
    struct Case {
        const char* name;
        DWORD access;
        DWORD share;
        DWORD disposition;
        DWORD whileExclusive;
        DWORD afterClose;
    } cases[] = {
        {"shared reading", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, kFailed | ERROR_SHARING_VIOLATION,
         ERROR_SUCCESS},
        {"shared reading and writing", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
         kFailed | ERROR_SHARING_VIOLATION, ERROR_SUCCESS},
        {"second exclusive creation", GENERIC_WRITE, 0, CREATE_ALWAYS, kFailed | ERROR_SHARING_VIOLATION,
         ERROR_ALREADY_EXISTS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.whileExclusive, tryCreate(name, c.access, c.share, c.disposition));
    }
    EXPECT_EQ("abc", readText(dir / "tmp.dty")) << "a refused CREATE_ALWAYS truncates nothing";
    ASSERT_TRUE(CloseHandle(writer));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.afterClose, tryCreate(name, c.access, c.share, c.disposition));
    }
    // Two shared readers at once; an exclusive open meanwhile is refused.
    HANDLE r1 = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE r2 = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, r1);
    EXPECT_NE(INVALID_HANDLE_VALUE, r2);
    EXPECT_EQ(kFailed | ERROR_SHARING_VIOLATION, tryCreate(name, GENERIC_WRITE, 0, CREATE_ALWAYS));
    CloseHandle(r1);
    CloseHandle(r2);
}

TEST_F(FileSystemTest, ReadWriteAndPositions) {
    const std::string name = dir / "data.bin";
    HANDLE w = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_WRITE_THROUGH, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, w);
    std::string payload(70000, '\0');
    for (size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<char>(i * 7);
    }
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(w, payload.data(), static_cast<DWORD>(payload.size()), &written, nullptr));
    EXPECT_EQ(payload.size(), written);
    EXPECT_TRUE(WriteFile(w, nullptr, 0, &written, nullptr));
    EXPECT_EQ(0u, written);
    char one = 0;
    DWORD read = 9;
    SetLastError(0);
    EXPECT_FALSE(ReadFile(w, &one, 1, &read, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(0u, read);
    CloseHandle(w);

    HANDLE r = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, r);
    DWORD high = 9;
    EXPECT_EQ(70000u, GetFileSize(r, &high));
    EXPECT_EQ(0u, high);
    // Chunks of 65536 bytes until a read returns nothing, as the type-file
    // concatenation copies them.
    std::string back;
    std::string chunk(65536, '\0');
    for (;;) {
        ASSERT_TRUE(ReadFile(r, chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr));
        if (read == 0) {
            break;
        }
        back.append(chunk.data(), read);
    }
    EXPECT_TRUE(back == payload);
    EXPECT_FALSE(WriteFile(r, "x", 1, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    struct Case {
        const char* name;
        LONG distance;
        DWORD method;
        DWORD result;
        DWORD error;
    } seeks[] = {
        {"begin", 0, FILE_BEGIN, 0, ERROR_SUCCESS},
        {"forward", 10, FILE_CURRENT, 10, ERROR_SUCCESS},
        {"back to start", -10, FILE_CURRENT, 0, ERROR_SUCCESS},
        {"before the start", -1, FILE_CURRENT, INVALID_SET_FILE_POINTER, ERROR_NEGATIVE_SEEK},
        {"end", 0, FILE_END, 70000, ERROR_SUCCESS},
        {"last byte", -1, FILE_END, 69999, ERROR_SUCCESS},
        {"bad method", 0, 3, INVALID_SET_FILE_POINTER, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : seeks) {
        SCOPED_TRACE(c.name);
        SetLastError(0xDEAD);
        EXPECT_EQ(c.result, SetFilePointer(r, c.distance, nullptr, c.method));
        EXPECT_EQ(c.error, GetLastError());
    }
    ASSERT_TRUE(ReadFile(r, &one, 1, &read, nullptr));
    EXPECT_EQ(1u, read);
    EXPECT_EQ(payload[69999], one);
    CloseHandle(r);
}

TEST_F(FileSystemTest, BadHandlesAndArguments) {
    HANDLE closed = CreateFileA((dir / "c").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, closed);
    CloseHandle(closed);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    int local = 0;
    struct Case {
        const char* name;
        HANDLE handle;
    } cases[] = {
        {"null", nullptr},
        {"INVALID_HANDLE_VALUE", INVALID_HANDLE_VALUE},
        {"closed file", closed},
        {"an event", event},
        {"address of a local", &local},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char buf[4];
        DWORD n = 7;
        SetLastError(0);
        EXPECT_FALSE(ReadFile(c.handle, buf, sizeof buf, &n, nullptr));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        EXPECT_EQ(0u, n);
        SetLastError(0);
        EXPECT_FALSE(WriteFile(c.handle, buf, sizeof buf, &n, nullptr));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        EXPECT_EQ(INVALID_FILE_SIZE, GetFileSize(c.handle, nullptr));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    }
    CloseHandle(event);
    struct Args {
        const char* name;
        const char* path;
        DWORD access;
        DWORD disposition;
        DWORD error;
    } args[] = {
        {"null name", nullptr, GENERIC_READ, OPEN_EXISTING, ERROR_INVALID_PARAMETER},
        {"disposition 0", "x", GENERIC_READ, 0, ERROR_INVALID_PARAMETER},
        {"disposition 6", "x", GENERIC_READ, 6, ERROR_INVALID_PARAMETER},
        {"truncate without write access", "x", GENERIC_READ, TRUNCATE_EXISTING, ERROR_INVALID_PARAMETER},
        {"missing file", "missing.dty", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {"missing directory", "nodir\\x.dty", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {"a directory", "Lib", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
    };
    char old[4096];
    ASSERT_NE(nullptr, ::getcwd(old, sizeof old));
    ASSERT_EQ(0, ::chdir(dir.path().c_str()));
    for (const Args& a : args) {
        SCOPED_TRACE(a.name);
        SetLastError(0);
        EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(a.path, a.access, 0, nullptr, a.disposition, 0, nullptr));
        EXPECT_EQ(a.error, GetLastError());
    }
    ASSERT_EQ(0, ::chdir(old));
}

TEST_F(FileSystemTest, DeleteFile) {
    writeText(dir / "victim.txt", "x");
    writeText(dir / "kept.txt", "kept");
    ASSERT_EQ(0, ::symlink((dir / "kept.txt").c_str(), (dir / "link").c_str()));
    struct Case {
        const char* name;
        std::string path;
        BOOL result;
        DWORD error;
    } cases[] = {
        {"other case", windowsForm(dir / "VICTIM.TXT"), TRUE, 0xDEAD},
        {"already gone", dir / "victim.txt", FALSE, ERROR_FILE_NOT_FOUND},
        {"missing directory", dir / "none/x", FALSE, ERROR_PATH_NOT_FOUND},
        {"a directory", dir / "Lib", FALSE, ERROR_ACCESS_DENIED},
        {"a link, not its target", dir / "link", TRUE, 0xDEAD},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetLastError(0xDEAD);
        EXPECT_EQ(c.result, DeleteFileA(c.path.c_str()));
        EXPECT_EQ(c.error, GetLastError());
    }
    EXPECT_EQ("kept", readText(dir / "kept.txt"));
}

TEST_F(FileSystemTest, TempFileNames) {
    const std::string base = windowsForm(dir.path());
    char first[MAX_PATH], second[MAX_PATH];
    UINT a = GetTempFileNameA(base.c_str(), "vq_long", 0, first);
    UINT b = GetTempFileNameA(base.c_str(), "vq_long", 0, second);
    ASSERT_NE(0u, a);
    ASSERT_NE(0u, b);
    EXPECT_NE(a, b);
    EXPECT_STRNE(first, second);
    EXPECT_EQ(base + "\\vq_", std::string(first).substr(0, base.size() + 4));
    struct stat st {};
    std::string made;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), PlatformResolvePath(first, false, made));
    ASSERT_EQ(0, ::lstat(made.c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
    char named[MAX_PATH];
    EXPECT_EQ(0x1234u, GetTempFileNameA(base.c_str(), "x", 0x1234, named));
    EXPECT_EQ(base + "\\x1234.TMP", std::string(named));
    EXPECT_NE(0, ::lstat((dir / "x1234.TMP").c_str(), &st)) << "a given number creates nothing";
    SetLastError(0);
    EXPECT_EQ(0u, GetTempFileNameA((base + "\\none").c_str(), "x", 0, named));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    const std::string deep(MAX_PATH, 'd');
    EXPECT_EQ(0u, GetTempFileNameA(deep.c_str(), "x", 5, named));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BUFFER_OVERFLOW), GetLastError());
}

} // namespace
