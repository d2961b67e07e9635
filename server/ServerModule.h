// The server module of Varsvc: the count of live objects and class-factory
// locks, the monitor thread that ends an idle server, the quit message to
// the main thread, and the program's run (command line, automatic
// registration, current directory, class object, message loop, shutdown).
//
// Lifetime rule: every decrement of the lock count to 0 sets the activity
// flag and signals the shutdown event. The monitor waits for that event;
// then, while the event keeps arriving within the idle time (5000 ms), it
// waits again; when a wait times out with the activity flag still clear and
// the count at 0, it posts WM_QUIT to the main thread and ends. So the
// server ends 5 s after the last object was released, unless an object was
// created and released meanwhile; a server that no client ever used keeps
// running.
//
// Decisions of this implementation:
// - The current directory is taken from the program's location when the
//   program file is named "varsvc" (or "varsvc.exe"), compared without
//   regard to case: it becomes the directory the program file lies in, as
//   written (upper-casing the path, as the Windows program does before
//   cutting it, would name another directory on a case-sensitive file
//   system). Only the last component of the path is compared, so a
//   directory called "varsvc.exe" higher up does not cut the path there.
// - A class-object registration that fails still enters the message loop
//   (its status becomes the exit code), as the Windows program does.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "platform/OleAuto.h"
#include "server/TypeCompiler.h"

/// What the command line asks for.
enum class ServerCommand {
    Run,         ///< run as a server (no switch, "-Embedding", anything else)
    RegServer,   ///< register and exit
    UnregServer, ///< unregister and exit
};

/// Scans `commandLine` (the whole line, program path included) for the first
/// '-' or '/'; the text after it is compared, ignoring case, with
/// "RegServer", then "UnregServer", as the whole rest of the line (so the
/// switch must end it). Without a match the scan goes on after that
/// character. Run when no switch matches.
ServerCommand ScanCommandLine(const std::string& commandLine);

/// The command line of a program started with `argv`: the arguments joined
/// by single blanks (`argv[0]`, the program, first).
std::string JoinCommandLine(int argc, char** argv);

class ServerModule {
public:
    /// Milliseconds of inactivity after the last release before the monitor
    /// ends the server.
    static constexpr DWORD kIdleMs = 5000;
    /// Milliseconds the program waits between revoking its class object
    /// and exiting.
    static constexpr DWORD kRevokePauseMs = 1000;

    /// A module with lock count 0 and no monitor. `idleMs` replaces the idle
    /// time (tests use a shorter one).
    explicit ServerModule(DWORD idleMs = kIdleMs);
    /// Stops a monitor that is still running (without posting a quit).
    ~ServerModule();
    ServerModule(const ServerModule&) = delete;
    ServerModule& operator=(const ServerModule&) = delete;

    /// The module of this process (the program's; tests may use their own).
    static ServerModule& Instance();

    /// Counts one object (or class-factory lock) in; returns the new count.
    LONG Lock();
    /// Counts one out; at 0 the activity flag is set and the shutdown event
    /// signalled. Returns the new count.
    LONG Unlock();
    /// The current count.
    LONG LockCount() const;
    /// True when the count fell to 0 since the monitor last looked.
    bool ActivityFlag() const { return activity.load(); }

    /// The thread that receives the quit message (the thread running the
    /// message loop).
    void SetMainThread(DWORD threadId) { mainThread.store(threadId); }
    DWORD MainThread() const { return mainThread.load(); }
    /// Posts WM_QUIT to the main thread. False when there is none or the
    /// post fails.
    bool PostQuit();

    /// Creates the shutdown event (auto-reset, unsignalled) and starts the
    /// monitor thread. False when either cannot be made, or a monitor runs.
    bool StartMonitor();
    /// True once the monitor has posted its quit message and ended.
    bool MonitorFinished() const { return monitorDone.load(); }
    /// Waits up to `ms` for the monitor thread to end; true when it has.
    bool WaitMonitor(DWORD ms);

private:
    static DWORD MonitorMain(LPVOID self);
    void Monitor();

    DWORD idle;
    volatile LONG lockCount = 0;
    std::atomic<bool> activity{false};
    std::atomic<DWORD> mainThread{0};
    std::atomic<HANDLE> shutdownEvent{nullptr};
    HANDLE stopEvent = nullptr;
    HANDLE monitorThread = nullptr;
    std::atomic<bool> monitorDone{false};
    std::atomic<bool> stopping{false};
};

/// The program: registers or unregisters per the command line and exits,
/// or runs the server until it is told to quit (see the file comment).
/// `compilers` makes the type compiler of every project the server loads.
/// Returns the exit code: 1 when the step that ended the run failed, else 0.
int VarsvcRun(int argc, char** argv, TypeCompilerFactory compilers);
