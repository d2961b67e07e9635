// Helpers of the end-to-end tests (see VarsvcEndToEndSupport.h).
#include "tests/server/VarsvcEndToEndSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "platform/Bstr.h"
#include "platform/ComRuntime.h"

extern char** environ;

namespace e2e {

namespace fs = std::filesystem;

std::string BuiltProgram(const std::string& name) {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return (self.parent_path() / name).string();
}

std::string ExamplePlant() {
    // This file lies in <source>/tests/server.
    return (fs::path(__FILE__).parent_path().parent_path().parent_path() / "examples" / "plant").string();
}

bool WaitUntil(const std::function<bool()>& done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

bool Alive(pid_t pid) {
    if (pid <= 0 || ::kill(pid, 0) != 0)
        return false;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

long ResidentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

std::string CurrentDirectoryOf(pid_t pid) {
    std::error_code ec;
    return fs::read_symlink("/proc/" + std::to_string(pid) + "/cwd", ec).string();
}

// ------------------------------------------------------------------ Process

Process::Process(const std::vector<std::string>& argv) {
    int inPipe[2], outPipe[2], errPipe[2];
    if (pipe2(inPipe, O_CLOEXEC) != 0 || pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(inPipe[0]);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    in = inPipe[1];
    outFd = outPipe[0];
    errFd = errPipe[0];
    // A child that stops reading must not kill the test with SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
}

Process::~Process() {
    if (pid > 0 && status < 0) {
        ::kill(pid, SIGKILL);
        Wait(10000);
    }
    for (int fd : {in, outFd, errFd})
        if (fd >= 0)
            ::close(fd);
}

void Process::Write(const std::string& text) {
    size_t done = 0;
    while (in >= 0 && done < text.size()) {
        ssize_t n = ::write(in, text.data() + done, text.size() - done);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
}

void Process::CloseInput() {
    if (in >= 0)
        ::close(in);
    in = -1;
}

void Process::Drain(int ms) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    if (::poll(fds, 2, ms) <= 0)
        return;
    char buffer[65536];
    for (int i = 0; i < 2; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP)))
            continue;
        ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0)
            (i == 0 ? out : err).append(buffer, static_cast<size_t>(n));
        else if (n == 0) {
            ::close(fds[i].fd);
            (i == 0 ? outFd : errFd) = -1;
        }
    }
}

bool Process::ReadLine(std::string& line, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const size_t newline = out.find('\n', outRead);
        if (newline != std::string::npos) {
            line = out.substr(outRead, newline - outRead);
            outRead = newline + 1;
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || (outFd < 0 && errFd < 0))
            return false;
        Drain(static_cast<int>(std::min<long>(left.count(), 100)));
    }
}

int Process::Wait(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (status < 0) {
        int s = 0;
        if (pid > 0 && ::waitpid(pid, &s, WNOHANG) == pid) {
            status = WIFEXITED(s) ? WEXITSTATUS(s) : 128 + (WIFSIGNALED(s) ? WTERMSIG(s) : 0);
            break;
        }
        if (std::chrono::steady_clock::now() >= end)
            return -1;
        if (outFd >= 0 || errFd >= 0)
            Drain(10);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    while (outFd >= 0 || errFd >= 0)
        Drain(100);
    return status;
}

void Process::Kill() {
    if (pid > 0 && status < 0)
        ::kill(pid, SIGKILL);
}

std::vector<std::string> RunResult::Lines() const {
    std::vector<std::string> lines;
    std::istringstream stream(out);
    std::string line;
    while (std::getline(stream, line))
        lines.push_back(line);
    return lines;
}

RunResult Run(const std::vector<std::string>& argv, const std::string& input, int ms) {
    Process p(argv);
    p.Write(input);
    p.CloseInput();
    RunResult r;
    r.exitCode = p.Wait(ms);
    if (r.exitCode < 0) {
        p.Kill();
        p.Wait(10000);
    }
    r.out = p.Out();
    r.err = p.Err();
    return r;
}

// ------------------------------------------------------------ ServerInstall

ServerInstall::ServerInstall(bool logFifo) {
    dir = std::make_unique<servertest::TempDir>();
    root = dir->Path();
    std::error_code ec;
    fs::copy(ExamplePlant(), root + "/plant", fs::copy_options::recursive, ec);
    EXPECT_FALSE(ec) << ec.message();
    fs::create_directories(root + "/plant/bin");
    fs::create_directories(root + "/plant/lib");
    fs::copy_file(BuiltProgram("varsvc"), Program(), fs::copy_options::overwrite_existing, ec);
    EXPECT_FALSE(ec) << "the server program beside the test program: " << ec.message();
    // The libraries beside the program, where its run path looks for them.
    const fs::path libs = fs::path(BuiltProgram("varsvc")).parent_path().parent_path() / "lib";
    for (const auto& entry : fs::directory_iterator(libs, ec))
        fs::create_symlink(entry.path(), fs::path(root) / "plant" / "lib" / entry.path().filename(), ec);
    ::mkdir((root + "/rt").c_str(), 0700);
    ::mkdir((root + "/tmp").c_str(), 0700);
    auto set = [&](const char* name, const std::string& value) {
        env.push_back(std::make_unique<servertest::EnvOverride>(name, value.c_str()));
    };
    set("XDG_RUNTIME_DIR", root + "/rt");
    set("KORVANE_REGISTRY", root + "/registry.db");
    set("KORVANE_DEBUG_OUTPUT", root + "/debug.log");
    set("TEMP", root + "/tmp");
    if (logFifo) {
        set("VQ_LOGNAME", root + "/log");
        fifo = std::make_unique<servertest::ReadingFifo>(root + "/log");
    } else {
        env.push_back(std::make_unique<servertest::EnvOverride>("VQ_LOGNAME", nullptr));
    }
}

ServerInstall::~ServerInstall() {
    for (pid_t pid : Servers())
        ::kill(pid, SIGKILL);
    WaitUntil([&] { return Servers().empty(); }, 5000);
    fifo.reset();
    while (!env.empty())
        env.pop_back();
    dir.reset();
}

int ServerInstall::RunProgram(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {Program()};
    argv.insert(argv.end(), args.begin(), args.end());
    RunResult r = Run(argv);
    return r.exitCode;
}

RunResult ServerInstall::Client(const std::vector<std::string>& args, const std::string& input) {
    std::vector<std::string> argv = {BuiltProgram("varsvc-call")};
    argv.insert(argv.end(), args.begin(), args.end());
    return Run(argv, input);
}

std::vector<std::string> ServerInstall::Calls(const std::vector<std::string>& calls, int* exitCode) {
    std::vector<std::string> args;
    for (const std::string& c : calls) {
        args.push_back("-e");
        args.push_back(c);
    }
    RunResult r = Client(args);
    if (exitCode != nullptr)
        *exitCode = r.exitCode;
    EXPECT_TRUE(r.err.empty()) << r.err;
    return r.Lines();
}

std::vector<pid_t> ServerInstall::Servers() const {
    std::vector<pid_t> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const pid_t pid = static_cast<pid_t>(std::atol(entry.path().filename().c_str()));
        if (pid <= 0)
            continue;
        std::error_code linkError;
        if (fs::read_symlink(entry.path() / "exe", linkError).string() == Program() && Alive(pid))
            found.push_back(pid);
    }
    return found;
}

pid_t ServerInstall::Server(int ms) const {
    pid_t pid = -1;
    WaitUntil(
        [&] {
            const std::vector<pid_t> servers = Servers();
            pid = servers.size() == 1 ? servers[0] : -1;
            return pid > 0;
        },
        ms);
    return pid;
}

std::string ServerInstall::NewTraces() {
    std::ifstream file(root + "/debug.log", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (traceRead > text.size())
        traceRead = 0;
    std::string fresh = text.substr(traceRead);
    traceRead = text.size();
    return fresh;
}

std::string ServerInstall::NewLogs() { return fifo ? fifo->ReadAll() : std::string(); }

::testing::AssertionResult ContainsInOrder(const std::string& text, const std::vector<std::string>& parts) {
    size_t at = 0;
    for (const std::string& p : parts) {
        const size_t found = text.find(p, at);
        if (found == std::string::npos)
            return ::testing::AssertionFailure() << "missing (in order): [" << p << "] in:\n" << text;
        at = found + p.size();
    }
    return ::testing::AssertionSuccess();
}

// ------------------------------------------------------------------ client

ComClient::ComClient() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }

ComClient::~ComClient() { CoUninitialize(); }

IDispatch* ComClient::Activate(HRESULT* hr) {
    CLSID clsid;
    HRESULT result = CLSIDFromProgID(u"Varsvc.Document", &clsid);
    IDispatch* object = nullptr;
    if (SUCCEEDED(result))
        result = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&object));
    if (hr != nullptr)
        *hr = result;
    return SUCCEEDED(result) ? object : nullptr;
}

HRESULT Invoke(IDispatch* object, const char16_t* member, std::vector<VARIANT> args, SHORT* rc) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(member)};
    DISPID id = 0;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, 0x0409, &id);
    if (FAILED(hr))
        return hr;
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                         static_cast<UINT>(reversed.size()), 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception = {};
    hr = object->Invoke(id, IID_NULL, 0x0409, DISPATCH_METHOD, &params, &result, &exception, nullptr);
    if (hr == DISP_E_EXCEPTION)
        hr = exception.scode;
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    if (rc != nullptr)
        *rc = result.vt == VT_I2 ? result.iVal : -9999;
    VariantClear(&result);
    return hr;
}

VARIANT I4(LONG value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

VARIANT Str(const char16_t* text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    return v;
}

VARIANT RefI4(LONG* cell) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | VT_I4;
    v.plVal = cell;
    return v;
}

VARIANT RefI2(SHORT* cell) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | VT_I2;
    v.piVal = cell;
    return v;
}

VARIANT RefBstr(BSTR* cell) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | VT_BSTR;
    v.pbstrVal = cell;
    return v;
}

VARIANT RefVar(VARIANT* cell) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | VT_VARIANT;
    v.pvarVal = cell;
    return v;
}

std::vector<std::string> PlantNames(const std::string& varFile) {
    std::ifstream file(varFile);
    std::string line;
    std::vector<std::pair<std::string, std::string>> keyed;
    int number = 0;
    while (std::getline(file, line)) {
        if (++number <= 2 || line.rfind("@#$@#$", 0) == 0 || line.empty())
            continue;
        const std::string name = line.substr(0, line.find(','));
        // The default filter leaves out the kinds 6 to 9 (third field).
        const size_t kindStart = line.find(',', line.find(',') + 1);
        const int kind = kindStart == std::string::npos ? 0 : std::atoi(line.c_str() + kindStart + 1);
        if (kind >= 6 && kind <= 9)
            continue;
        std::string key = name;
        for (char& c : key)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        keyed.emplace_back(key, name);
    }
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        return std::lexicographical_compare(a.first.begin(), a.first.end(), b.first.begin(), b.first.end(),
                                            [](char x, char y) {
                                                return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
                                            });
    });
    std::vector<std::string> names;
    for (const auto& k : keyed)
        names.push_back(k.second);
    return names;
}

} // namespace e2e
