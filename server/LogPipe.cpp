// C_LogPipe and LogMessage: the diagnostic log's pipe and its line format.
#include "server/LogPipe.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/HandleTable.h"
#include "platform/LastError.h"
#include "server/ServerSleep.h"
#include "server/Trace.h"

using namespace varsvc;

C_LogPipe::C_LogPipe() { name[0] = '\0'; }

C_LogPipe::~C_LogPipe() { Close(); }

void C_LogPipe::Close() {
    if (handle != nullptr) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

bool C_LogPipe::Init() {
    if (handle != nullptr)
        return true;

    // 0 is "not set" (or empty); a result of at least the buffer's size is
    // the size a longer value would need: such a name cannot be used.
    DWORD length = GetEnvironmentVariableA("VQ_LOGNAME", name, sizeof name);
    if (length == 0 || length >= sizeof name) {
        name[0] = '\0';
        Trace(3, TRACE_HERE, "C_LogPipe::Init (): GetEnvironmentVariable (\"VQ_LOGNAME\") failed!");
        return false;
    }

    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kPipeOpenTries; ++attempt) {
        HANDLE h = CreateFileA(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_WRITE_THROUGH, nullptr);
        if (h != INVALID_HANDLE_VALUE && h != nullptr) {
            handle = h;
            return true;
        }
        error = GetLastError();
        ServerSleep(kPipeRetryWaitMs);
    }
    Trace(3, TRACE_HERE,
          "C_LogPipe::Init (): CreateFile (...) failed (INVALID_HANDLE_VALUE) (err = %ld)!",
          static_cast<long>(error));
    return false;
}

bool C_LogPipe::Write(const char* text) {
    if (!Init() || text == nullptr)
        return false;
    DWORD written = 0;
    size_t length = strlen(text);
    return WriteFile(handle, text, static_cast<DWORD>(length), &written, nullptr) != FALSE;
}

C_LogPipe& TheLogPipe() {
    static C_LogPipe pipe;
    return pipe;
}

namespace {
std::mutex g_logLock; // one line at a time through the shared pipe object
}

void LogMessage(const char* english, const char* german, ...) {
    (void)english;
    static constexpr char kPrefix[] = "VARSVC32\t";
    static constexpr size_t kPrefixLength = sizeof kPrefix - 1;

    char line[kTraceBufferSize];
    memcpy(line, kPrefix, kPrefixLength);
    // The body may use what is left after the prefix, "\r\n" and the
    // terminator; vsnprintf cuts it there.
    size_t room = sizeof line - kPrefixLength - 2;
    size_t bodyLength = 0;
    if (german != nullptr) {
        va_list args;
        va_start(args, german);
        int n = vsnprintf(line + kPrefixLength, room, german, args);
        va_end(args);
        if (n > 0)
            bodyLength = static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room - 1;
    }
    char* end = line + kPrefixLength + bodyLength;
    end[0] = '\r';
    end[1] = '\n';
    end[2] = '\0';

    std::lock_guard<std::mutex> guard(g_logLock);
    if (!TheLogPipe().Write(line))
        Trace(3, TRACE_HERE, "Debugtext: %s", line);
}
