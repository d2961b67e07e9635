// Helpers of the COM runtime tests: a private runtime directory and
// registry store per test, the registration of the test server program,
// late-bound calls, and client processes.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Bstr.h"
#include "platform/ComBase.h"
#include "platform/ComProxy.h"
#include "platform/ComRuntime.h"
#include "platform/Guid.h"
#include "platform/Registry.h"
#include "platform/Variant.h"
#include "tests/platform/server/TestObject.h"

extern char** environ;

namespace comtest {

/// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        const char* old = std::getenv(name);
        m_had = old != nullptr;
        if (old)
            m_old = old;
        ::setenv(name, value.c_str(), 1);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() {
        if (m_had)
            ::setenv(m_name.c_str(), m_old.c_str(), 1);
        else
            ::unsetenv(m_name.c_str());
    }

private:
    std::string m_name, m_old;
    bool m_had = false;
};

/// Whether process `pid` still runs (a zombie counts as ended).
inline bool alive(pid_t pid) {
    if (pid <= 0 || ::kill(pid, 0) != 0)
        return false;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

/// Server processes of the test program (started with "-Embedding") whose
/// environment names the runtime directory `runtime`.
inline std::vector<pid_t> ServersIn(const std::string& runtime) {
    std::vector<pid_t> found;
    std::error_code ec;
    const std::string marker = "XDG_RUNTIME_DIR=" + runtime;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        pid_t pid = static_cast<pid_t>(std::atol(entry.path().filename().c_str()));
        if (pid <= 0 || !alive(pid))
            continue;
        std::ifstream cmd(entry.path() / "cmdline");
        std::string args((std::istreambuf_iterator<char>(cmd)), std::istreambuf_iterator<char>());
        if (args.find("-Embedding") == std::string::npos)
            continue;
        std::ifstream envFile(entry.path() / "environ");
        std::string envText((std::istreambuf_iterator<char>(envFile)), std::istreambuf_iterator<char>());
        if (envText.find(marker + '\0') != std::string::npos)
            found.push_back(pid);
    }
    return found;
}

/// Waits up to `ms` for `done()`; true when it came true.
template <typename F>
bool waitUntil(F done, int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

/// A private runtime directory and registry store, with the test server
/// registered as the local server of the test class. Servers it learns of
/// are killed at the end.
class Environment {
public:
    Environment() {
        char tmpl[] = "/tmp/korvane-com-test-XXXXXX";
        const char* made = ::mkdtemp(tmpl);
        EXPECT_NE(made, nullptr);
        m_dir = made ? made : "/tmp";
        m_runtime = m_dir + "/run";
        ::mkdir(m_runtime.c_str(), 0700);
        Set("XDG_RUNTIME_DIR", m_runtime);
        Set("KORVANE_REGISTRY", m_dir + "/registry.db");
        // Safety net: a server that a failing test leaves behind ends itself.
        Set("COM_TEST_SERVER_IDLE_MS", "15000");
    }
    ~Environment() {
        for (pid_t pid : ServersIn(m_runtime))
            m_servers.insert(pid);
        for (pid_t pid : m_servers)
            if (alive(pid))
                ::kill(pid, SIGKILL);
        while (!m_env.empty())
            m_env.pop_back();  // restored in reverse order
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;

    /// Writes LocalServer32 (the test server, or `program`), the ProgID and
    /// the class's ProgID key.
    void RegisterServer(const std::string& program = COM_TEST_SERVER_PATH) {
        const std::string clsid = korvane::platform::GuidToText(CLSID_TestObject);
        setDefault("CLSID\\" + clsid + "\\LocalServer32", program);
        setDefault("CLSID\\" + clsid + "\\ProgID", kTestProgId);
        setDefault(std::string(kTestProgId) + "\\CLSID", clsid);
    }

    static void setDefault(const std::string& key, const std::string& value) {
        HKEY h = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>(value.size() + 1)),
                  ERROR_SUCCESS);
        RegCloseKey(h);
    }

    /// Sets an environment variable until the end of the test (servers
    /// started by activation inherit it).
    void Set(const char* name, const std::string& value) {
        m_env.push_back(std::make_unique<ScopedEnv>(name, value));
    }

    /// Remembers a server process to kill at the end.
    void Track(pid_t pid) {
        if (pid > 0)
            m_servers.insert(pid);
    }
    const std::string& Runtime() const { return m_runtime; }
    const std::string& Dir() const { return m_dir; }

private:
    std::string m_dir, m_runtime;
    std::vector<std::unique_ptr<ScopedEnv>> m_env;
    std::set<pid_t> m_servers;
};

/// A late-bound call with the arguments in natural order.
inline HRESULT Call(IDispatch* d, DISPID id, std::vector<VARIANT> args, VARIANT* result = nullptr,
                    UINT* argErr = nullptr, EXCEPINFO* excep = nullptr, WORD flags = DISPATCH_METHOD) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS dp{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    HRESULT hr = d->Invoke(id, IID_NULL, LOCALE_EN_US, flags, &dp, result, excep, argErr);
    return hr;
}

inline VARIANT I4(LONG v) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_I4;
    x.lVal = v;
    return x;
}

/// Server pid behind a proxy.
inline pid_t ServerPid(IUnknown* u) { return static_cast<pid_t>(korvane::platform::ComProxyServerProcessId(u)); }

/// A client process of the test server program: its pid and stdout.
struct Client {
    pid_t pid = -1;
    int out = -1;
    /// Reads one line of output (waiting at most `ms`).
    std::string ReadLine(int ms = 20000) {
        std::string line;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            char c;
            ssize_t n = ::read(out, &c, 1);
            if (n == 1) {
                if (c == '\n')
                    return line;
                line += c;
            } else if (n == 0) {
                return line;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        return line;
    }
    int Wait() {
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (out >= 0)
            ::close(out);
        out = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

inline Client StartClient(std::vector<std::string> args) {
    int fds[2];
    Client c;
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return c;
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    args.insert(args.begin(), {COM_TEST_SERVER_PATH, "--client"});
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    ::posix_spawn(&c.pid, COM_TEST_SERVER_PATH, &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(fds[1]);
    c.out = fds[0];
    return c;
}

} // namespace comtest
