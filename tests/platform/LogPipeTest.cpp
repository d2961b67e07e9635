// The log pipe: CreateFileA on an existing FIFO, never waiting for a reader,
// synchronous writes, and a vanished reader that fails a write instead of
// ending the process.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "tests/platform/PlatformTestSupport.h"

using platform_test::ScopedEnv;
using platform_test::TempDir;

namespace {

class LogPipeTest : public ::testing::Test {
protected:
    TempDir runtime;
    ScopedEnv env{"XDG_RUNTIME_DIR", runtime.path()};
    std::string fifo = runtime / "VqLog";
    void SetUp() override { ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600)); }

    static HANDLE openForWriting(const char* name) {
        // As the server opens it: for writing, no sharing, only if it
        // exists, with write-through.
        return CreateFileA(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_WRITE_THROUGH, nullptr);
    }
};

TEST_F(LogPipeTest, OpeningNeverWaits) {
    {
        int fd = ::open((runtime / "NotAPipe").c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    struct Case {
        const char* name;
        std::string path;
        DWORD disposition;
        DWORD error;
    } cases[] = {
        {"missing pipe", "\\\\.\\pipe\\Missing", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {"no reader", "\\\\.\\pipe\\VqLog", OPEN_EXISTING, ERROR_PIPE_NOT_CONNECTED},
        {"no reader, FIFO by path", fifo, OPEN_EXISTING, ERROR_PIPE_NOT_CONNECTED},
        {"a regular file at the pipe name", "\\\\.\\pipe\\NotAPipe", OPEN_EXISTING, ERROR_BAD_PIPE},
        {"pipes are never created", "\\\\.\\pipe\\VqLog", CREATE_ALWAYS, ERROR_INVALID_PARAMETER},
        {"bad pipe name", "\\\\.\\pipe\\", OPEN_EXISTING, ERROR_INVALID_NAME},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto start = std::chrono::steady_clock::now();
        SetLastError(0);
        HANDLE h = CreateFileA(c.path.c_str(), GENERIC_WRITE, 0, nullptr, c.disposition, 0, nullptr);
        EXPECT_EQ(INVALID_HANDLE_VALUE, h);
        EXPECT_EQ(c.error, GetLastError());
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    }
}

TEST_F(LogPipeTest, LinesReachTheReaderAndAVanishedReaderFailsTheWrite) {
    // The default disposition of SIGPIPE ends the process: the write must
    // not raise it.
    struct sigaction old {};
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ASSERT_EQ(0, ::sigaction(SIGPIPE, &dfl, &old));

    int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    HANDLE pipe = openForWriting("\\\\.\\pipe\\VqLog");
    ASSERT_NE(INVALID_HANDLE_VALUE, pipe);
    struct Case {
        const char* name;
        std::string line;
    } cases[] = {
        {"empty write", ""},
        {"one line", "VARSVC32\tbRead: 6 Zeilen eingelesen\r\n"},
        {"German letters", "VARSVC32\tHeader von Variablendatei 'x' ist ung\xFCltig.\r\n"},
        {"a long line", "VARSVC32\t" + std::string(1010, 'x') + "\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DWORD written = 99;
        ASSERT_TRUE(WriteFile(pipe, c.line.data(), static_cast<DWORD>(c.line.size()), &written, nullptr));
        EXPECT_EQ(c.line.size(), written);
        std::string got(c.line.size() + 16, '\0');
        ssize_t n = c.line.empty() ? 0 : ::read(reader, got.data(), got.size());
        ASSERT_GE(n, 0);
        got.resize(static_cast<size_t>(n));
        EXPECT_EQ(c.line, got);
    }
    ::close(reader);
    SetLastError(0);
    DWORD written = 99;
    EXPECT_FALSE(WriteFile(pipe, "VARSVC32\tx\r\n", 12, &written, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_DATA), GetLastError());
    EXPECT_EQ(0u, written);
    sigset_t pending;
    sigemptyset(&pending);
    ::sigpending(&pending);
    EXPECT_EQ(0, sigismember(&pending, SIGPIPE)) << "no SIGPIPE left pending";
    EXPECT_TRUE(CloseHandle(pipe));
    ASSERT_EQ(0, ::sigaction(SIGPIPE, &old, nullptr));
}

TEST_F(LogPipeTest, ReadingEndSeesDataThenBrokenPipe) {
    HANDLE readEnd = CreateFileA("\\\\.\\pipe\\vqlog", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, readEnd) << "the pipe name matches without regard to case";
    int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(5, ::write(writer, "hello", 5));
    char buf[16] = {};
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(readEnd, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(5u, n);
    EXPECT_STREQ("hello", buf);
    ::close(writer);
    SetLastError(0);
    EXPECT_FALSE(ReadFile(readEnd, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BROKEN_PIPE), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(INVALID_SET_FILE_POINTER), SetFilePointer(readEnd, 0, nullptr, FILE_BEGIN));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError());
    CloseHandle(readEnd);
}

} // namespace
