// Helpers of the end-to-end tests of the server program: a test install
// tree of the example plant with its own copy of the program, a private
// registry store, runtime directory, debug channel file and log FIFO, the
// client program varsvc-call run as a process, in-process late-bound calls,
// and the server processes of the tree.
#pragma once

#include <sys/types.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ComBase.h"
#include "platform/Variant.h"
#include "tests/server/ServerTestSupport.h"

namespace e2e {

/// The absolute path of a program built beside this test program.
std::string BuiltProgram(const std::string& name);
/// The source tree's example plant.
std::string ExamplePlant();

/// Waits up to `ms` for `done()`; true when it came true.
bool WaitUntil(const std::function<bool()>& done, int ms);
/// True while process `pid` runs (a zombie counts as ended).
bool Alive(pid_t pid);
/// Resident memory of process `pid` in kB (VmRSS), or -1.
long ResidentKb(pid_t pid);
/// The current directory of process `pid`.
std::string CurrentDirectoryOf(pid_t pid);

/// A child process with its standard streams on pipes.
class Process {
public:
    /// Starts `argv` (argv[0] is the program's path) in this environment.
    explicit Process(const std::vector<std::string>& argv);
    /// Kills the process if it still runs.
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t Pid() const { return pid; }
    /// Writes to its standard input.
    void Write(const std::string& text);
    void CloseInput();
    /// Reads standard output until a line is complete or `ms` passed; the
    /// line without its end, or false.
    bool ReadLine(std::string& line, int ms);
    /// Waits up to `ms` for its end (reading its output meanwhile); the exit
    /// code (128 + signal for a killed one), or -1 when it still runs.
    int Wait(int ms);
    /// Everything it wrote to standard output / error so far (after Wait).
    const std::string& Out() const { return out; }
    const std::string& Err() const { return err; }
    /// SIGKILL.
    void Kill();

private:
    void Drain(int ms);
    pid_t pid = -1;
    int in = -1, outFd = -1, errFd = -1;
    std::string out, err;
    size_t outRead = 0;
    int status = -1;
};

/// Runs `argv` to its end with `input` on standard input; the exit code and
/// the outputs. A process still running after `ms` is killed.
struct RunResult {
    int exitCode = -1;
    std::string out, err;
    /// Standard output split into lines.
    std::vector<std::string> Lines() const;
};
RunResult Run(const std::vector<std::string>& argv, const std::string& input = "", int ms = 120000);

/// A test install tree: root/plant is a copy of the example plant with the
/// server program in root/plant/bin and its libraries in root/plant/lib;
/// XDG_RUNTIME_DIR, KORVANE_REGISTRY, KORVANE_DEBUG_OUTPUT (root/debug.log),
/// TEMP and, with `logFifo`, VQ_LOGNAME (a FIFO read by the test) are set
/// for this process and the servers it starts. Server processes of the tree
/// that still run at the end are killed.
class ServerInstall {
public:
    explicit ServerInstall(bool logFifo = true);
    ~ServerInstall();
    ServerInstall(const ServerInstall&) = delete;
    ServerInstall& operator=(const ServerInstall&) = delete;

    const std::string& Root() const { return root; }
    /// root/plant/bin/varsvc.
    std::string Program() const { return root + "/plant/bin/varsvc"; }
    /// The project of the example plant.
    std::string ProjectPath() const { return root + "/plant/projects/line1/line1.prj"; }
    std::string VarFile() const { return root + "/plant/projects/line1/var/line1.var"; }

    /// Runs the program with `args` to its end (exit code).
    int RunProgram(const std::vector<std::string>& args);
    /// Runs varsvc-call with -e for each call; its JSON lines.
    std::vector<std::string> Calls(const std::vector<std::string>& calls, int* exitCode = nullptr);
    /// Runs varsvc-call with `args`.
    RunResult Client(const std::vector<std::string>& args, const std::string& input = "");

    /// Server processes running the tree's program.
    std::vector<pid_t> Servers() const;
    /// The one server, waiting up to `ms` for it; -1 when there is none.
    pid_t Server(int ms = 10000) const;

    /// The debug channel's text written since the last call.
    std::string NewTraces();
    /// The log lines written since the last call.
    std::string NewLogs();

private:
    std::unique_ptr<servertest::TempDir> dir;
    std::string root;
    std::vector<std::unique_ptr<servertest::EnvOverride>> env;
    std::unique_ptr<servertest::ReadingFifo> fifo;
    size_t traceRead = 0;
};

/// The parts of `text` in this order (others between them allowed).
::testing::AssertionResult ContainsInOrder(const std::string& text, const std::vector<std::string>& parts);

/// An in-process client: the test thread in the multithreaded apartment
/// while it lives.
class ComClient {
public:
    ComClient();
    ~ComClient();
    ComClient(const ComClient&) = delete;
    ComClient& operator=(const ComClient&) = delete;
    /// Activates "Varsvc.Document"; null on failure (the HRESULT in *hr).
    IDispatch* Activate(HRESULT* hr = nullptr);
};

/// A late-bound call by member name with arguments in natural order; the
/// returned status in *rc (-9999 when none came back).
HRESULT Invoke(IDispatch* object, const char16_t* member, std::vector<VARIANT> args, SHORT* rc);
/// VARIANT helpers for Invoke: by value and by reference.
VARIANT I4(LONG value);
VARIANT Str(const char16_t* text); ///< owns a new BSTR: free with VariantClear
VARIANT RefI4(LONG* cell);
VARIANT RefI2(SHORT* cell);
VARIANT RefBstr(BSTR* cell);
VARIANT RefVar(VARIANT* cell);

/// The variable names of the example plant's var file that the default
/// filter selects (kinds other than 6 to 9), in catalogue order (by
/// lower-cased name, bytes compared unsigned).
std::vector<std::string> PlantNames(const std::string& varFile);

} // namespace e2e
