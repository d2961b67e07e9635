// Helpers of the server tests: a capture of the debug channel, a recorder of
// the server's waits, message-box observation, environment overrides,
// private temporary directories, a FIFO that plays the log pipe, and a
// reader of the trace records' location suffix.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

namespace servertest {

/// Collects every debug-channel record while it lives.
class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;
    /// The records so far, in order.
    std::vector<std::string> Records() const;
    /// Forgets the records so far.
    void Clear();

private:
    static void Hook(void* context, const char* text);
    struct State;
    State* state;
};

/// Replaces the server's waits (ServerSleep) while it lives: records the
/// milliseconds asked for and runs an optional action at every wait.
class SleepRecorder {
public:
    explicit SleepRecorder(std::function<void(int index, DWORD ms)> action = {});
    ~SleepRecorder();
    SleepRecorder(const SleepRecorder&) = delete;
    SleepRecorder& operator=(const SleepRecorder&) = delete;
    std::vector<DWORD> Waits() const;

private:
    static void Hook(void* context, DWORD ms);
    struct State;
    State* state;
};

/// Records the message boxes shown while it lives.
class MessageBoxCapture {
public:
    struct Box {
        std::string caption, text;
        UINT type;
    };
    MessageBoxCapture();
    ~MessageBoxCapture();
    MessageBoxCapture(const MessageBoxCapture&) = delete;
    MessageBoxCapture& operator=(const MessageBoxCapture&) = delete;
    std::vector<Box> Boxes() const;

private:
    static void Hook(void* context, const char* caption, const char* text, UINT type);
    struct State;
    State* state;
};

/// Sets (or, with null, removes) an environment variable while it lives and
/// restores the previous state afterwards.
class EnvOverride {
public:
    EnvOverride(const char* name, const char* value);
    ~EnvOverride();
    EnvOverride(const EnvOverride&) = delete;
    EnvOverride& operator=(const EnvOverride&) = delete;

private:
    std::string name, old;
    bool hadOld;
};

/// A fresh private directory below the system's temporary directory,
/// removed with its contents at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path; }
    /// Path() + "/" + relative.
    std::string operator/(const std::string& relative) const { return path + "/" + relative; }

private:
    std::string path;
};

/// Makes the current directory `dir` while it lives.
class CurrentDir {
public:
    explicit CurrentDir(const std::string& dir);
    ~CurrentDir();
    CurrentDir(const CurrentDir&) = delete;
    CurrentDir& operator=(const CurrentDir&) = delete;

private:
    std::string old;
};

/// A FIFO at `path`, opened for reading (non-blocking) while it lives.
class ReadingFifo {
public:
    explicit ReadingFifo(const std::string& path);
    ~ReadingFifo();
    ReadingFifo(const ReadingFifo&) = delete;
    ReadingFifo& operator=(const ReadingFifo&) = delete;
    /// Everything written to the FIFO so far.
    std::string ReadAll();
    /// Closes the read end (writers then fail).
    void CloseReader();

private:
    std::string path;
    int fd = -1;
};

/// Writes `bytes` to `path` (created or replaced; missing directories are made).
void WriteBytes(const std::string& path, const std::string& bytes);
/// Creates the directory and its parents.
void MakeDirs(const std::string& path);

/// Splits a trace record into its text and its location: for a record
/// "<text>\nLocation '<file>',Line <n> \r\n\n" sets text, file and line and
/// returns true; for a record "<text>\n" sets text, file "" and line 0 and
/// returns true; otherwise false.
bool SplitTrace(const std::string& record, std::string& text, std::string& file, int& line);

/// The records reduced to "<text>" or "<text>@<file>" (location line
/// dropped), for exact comparison of trace sequences whose line numbers
/// are the source's business.
std::vector<std::string> TraceTexts(const std::vector<std::string>& records);

} // namespace servertest
