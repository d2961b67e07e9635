// The diagnostic log: LogMessage sends one line per event to the log pipe
// named by the environment variable VQ_LOGNAME; C_LogPipe is the write end of
// that pipe. The pipe is made outside the server, which only opens it.
#pragma once

#include "platform/WinTypes.h"
#include "server/ServerLimits.h"

/// The write end of the log pipe. Opened on demand by Init; once open it
/// stays open until Close or destruction (no reconnect after a failed write).
class C_LogPipe {
public:
    /// Not open; no name read yet.
    C_LogPipe();
    /// Closes the handle if it is open.
    ~C_LogPipe();
    C_LogPipe(const C_LogPipe&) = delete;
    C_LogPipe& operator=(const C_LogPipe&) = delete;

    /// True at once when the pipe is open. Otherwise reads VQ_LOGNAME (a
    /// value that is missing, empty or does not fit 260 bytes fails with a
    /// level-3 trace) and opens that existing pipe for writing, exclusively,
    /// with write-through: up to two tries, each failed one followed by a
    /// 100 ms wait (ServerSleep). Still not open: a level-3 trace with the
    /// system error code of the last try, and false.
    bool Init();
    /// Init, then writes the bytes of `text` (terminator excluded) in one
    /// write. True when the write reports success. A null text writes nothing
    /// and fails.
    bool Write(const char* text);
    /// Closes the handle if it is open; the next Init opens the pipe anew.
    void Close();
    /// True while the handle is open.
    bool IsOpen() const { return handle != nullptr; }

private:
    char name[varsvc::kPipeNameSize];
    HANDLE handle = nullptr;
};

/// The process-wide log pipe that LogMessage writes to, made at first use and
/// destroyed at process end.
C_LogPipe& TheLogPipe();

/// Sends "VARSVC32\t" + `german` formatted with the arguments (printf rules)
/// + "\r\n" to the log pipe; `english` names the same text in English and is
/// not sent. The line is at most 1023 characters: a longer text is cut before
/// the "\r\n", which always ends the line. If the write fails, the line is
/// traced instead (level 3 with location, "Debugtext: %s"). German texts are
/// Windows-1252 bytes. Calls from several threads are serialised.
void LogMessage(const char* english, const char* german, ...)
    __attribute__((format(printf, 2, 3)));
