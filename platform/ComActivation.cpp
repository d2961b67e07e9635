// Activation: endpoint, activation lock, server start, hello and create.
#include "platform/ComActivation.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/ComChannel.h"
#include "platform/ComEndpoint.h"
#include "platform/ComProxy.h"
#include "platform/ComRuntime.h"
#include "platform/Registry.h"
#include "platform/WireMessage.h"

extern char** environ;

namespace korvane::platform {
namespace {

constexpr char kReadyVariable[] = "KORVANE_COM_READY_FD";
constexpr int kReadyFdInChild = 3;

// The readiness descriptor handed down by the starting client, taken from
// the environment when the program starts (before it has threads), so that
// the programs this server starts later do not inherit it.
int g_readyFd = [] {
    const char* v = std::getenv(kReadyVariable);
    if (!v)
        return -1;
    char* end = nullptr;
    long fd = std::strtol(v, &end, 10);
    ::unsetenv(kReadyVariable);
    if (!end || *end != 0 || fd < 0 || fd > 1024)
        return -1;
    // Only a pipe is written to: a stale variable must not make us write
    // into some other file.
    struct stat st {};
    if (::fstat(static_cast<int>(fd), &st) != 0 || !S_ISFIFO(st.st_mode))
        return -1;
    ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
    return static_cast<int>(fd);
}();
std::mutex g_readyLock;

int64_t nowMs() {
    struct timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

DWORD remaining(int64_t deadline) {
    int64_t left = deadline - nowMs();
    return left > 0 ? static_cast<DWORD>(left) : 0;
}

// Connects, says hello and creates the object. RPC_S_SERVER_UNAVAILABLE
// means "no server there to serve it" (none listening, or one that is
// going away): the caller may start one and try again.
HRESULT connectAndCreate(const ComEndpointPaths& paths, REFCLSID clsid, REFIID iid, int64_t deadline,
                         void** object) {
    HRESULT hr;
    int fd = ComEndpointConnect(paths.socket, &hr);
    if (fd < 0)
        return hr;
    auto channel = std::make_unique<ComChannel>(fd);

    uint32_t call = channel->NextCallId();
    WireHello hello;
    hello.pid = static_cast<uint32_t>(::getpid());
    std::vector<uint8_t> body;
    hr = channel->Call(WireEncodeHello(call, hello, false), call, WireType::HelloReply, &body,
                       remaining(deadline));
    if (hr == RPC_S_CALL_FAILED)
        return RPC_S_SERVER_UNAVAILABLE;  // closed on us: a server going away
    if (FAILED(hr))
        return hr;
    WireHello answer;
    WireReader r = ComChannel::BodyOf(body);
    if (!WireDecodeHello(r, &answer, true) || answer.magic != kWireMagic)
        return RPC_E_INVALID_DATAPACKET;
    if (FAILED(answer.hr))
        return answer.hr;

    // The object is made for IUnknown when the caller wants IUnknown, so
    // that an object without IDispatch can still be activated.
    const IID& ask = iid == IID_IDispatch ? IID_IDispatch : IID_IUnknown;
    call = channel->NextCallId();
    hr = channel->Call(WireEncodeCreate(call, WireCreate{clsid, ask}), call, WireType::CreateReply, &body,
                       remaining(deadline));
    if (hr == RPC_S_CALL_FAILED)
        return RPC_S_SERVER_UNAVAILABLE;
    if (FAILED(hr))
        return hr;
    WireCreateReply created;
    WireReader cr = ComChannel::BodyOf(body);
    if (!WireDecodeCreateReply(cr, &created))
        return RPC_E_INVALID_DATAPACKET;
    if (created.hr == CO_E_SERVER_STOPPING)
        return RPC_S_SERVER_UNAVAILABLE;
    if (FAILED(created.hr))
        return created.hr;

    ComProxy* proxy = new ComProxy(std::move(channel), created.objectId, ask == IID_IDispatch);
    proxy->SetServerProcessId(answer.pid);
    if (iid != IID_IUnknown && iid != IID_IDispatch) {
        proxy->Release();
        return E_NOINTERFACE;
    }
    *object = iid == IID_IDispatch ? static_cast<void*>(static_cast<IDispatch*>(proxy))
                                   : static_cast<void*>(static_cast<IUnknown*>(proxy));
    return S_OK;
}

// Starts the server program and waits for its readiness byte.
HRESULT startServer(const std::vector<std::string>& argv, int64_t deadline) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return E_OUTOFMEMORY;
    // The write end must not be the child's descriptor 3 already: dup2 onto
    // itself would keep its close-on-exec flag.
    int writeFd = ::fcntl(pipeFds[1], F_DUPFD_CLOEXEC, 10);
    ::close(pipeFds[1]);
    if (writeFd < 0) {
        ::close(pipeFds[0]);
        return E_OUTOFMEMORY;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeFd, kReadyFdInChild);
    posix_spawn_file_actions_addclosefrom_np(&actions, kReadyFdInChild + 1);

    // Its own session (a terminal's signals are not ours to pass on), an
    // empty signal mask and default signal dispositions.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> envStrings;
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, kReadyVariable, sizeof kReadyVariable - 1) != 0 ||
            (*e)[sizeof kReadyVariable - 1] != '=')
            envStrings.emplace_back(*e);
    envStrings.push_back(std::string(kReadyVariable) + "=" + std::to_string(kReadyFdInChild));
    std::vector<char*> envp;
    for (std::string& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    args.push_back("-Embedding");
    std::vector<char*> argp;
    for (std::string& s : args)
        argp.push_back(s.data());
    argp.push_back(nullptr);

    pid_t pid = 0;
    int rc = ::posix_spawn(&pid, argp[0], &actions, &attr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(writeFd);
    if (rc != 0) {
        ::close(pipeFds[0]);
        return rc == ENOENT ? HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)
               : rc == EACCES ? E_ACCESSDENIED
                              : CO_E_SERVER_EXEC_FAILURE;
    }
    // The server is our child: a thread waits for it, so that it leaves
    // no zombie behind whenever it ends.
    std::thread([pid] {
        int status;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();

    HRESULT hr = CO_E_SERVER_EXEC_FAILURE;
    for (;;) {
        struct pollfd p {pipeFds[0], POLLIN, 0};
        int n = ::poll(&p, 1, static_cast<int>(remaining(deadline)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n > 0) {
            char byte;
            ssize_t got = ::read(pipeFds[0], &byte, 1);
            // A byte: registered. End of file: the program ended (or could
            // not be run) without registering.
            if (got == 1)
                hr = S_OK;
            else if (got < 0 && errno == EINTR)
                continue;
        }
        break;
    }
    ::close(pipeFds[0]);
    return hr;
}

} // namespace

void ComSignalReadiness() {
    std::lock_guard<std::mutex> g(g_readyLock);
    if (g_readyFd < 0)
        return;
    const char byte = 1;
    ssize_t ignored = ::write(g_readyFd, &byte, 1);
    (void)ignored;  // a starter that has gone needs no answer
    ::close(g_readyFd);
    g_readyFd = -1;
}

bool ComSplitCommandLine(const std::string& line, std::vector<std::string>* argv) {
    argv->clear();
    size_t b = line.find_first_not_of(" \t");
    size_t e = line.find_last_not_of(" \t");
    if (b == std::string::npos)
        return false;
    std::string text = line.substr(b, e - b + 1);
    size_t pos = 0;
    if (text[0] == '"') {
        size_t close = text.find('"', 1);
        if (close == std::string::npos || close == 1)
            return false;
        argv->push_back(text.substr(1, close - 1));
        pos = close + 1;
    } else {
        struct stat st {};
        if (::stat(text.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            argv->push_back(text);
            return true;
        }
        size_t blank = text.find_first_of(" \t");
        argv->push_back(text.substr(0, blank));
        pos = blank == std::string::npos ? text.size() : blank;
    }
    // Arguments: blank-separated, double quotes group.
    std::string current;
    bool inQuote = false, have = false;
    for (; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c == '"') {
            inQuote = !inQuote;
            have = true;
        } else if ((c == ' ' || c == '\t') && !inQuote) {
            if (have)
                argv->push_back(current);
            current.clear();
            have = false;
        } else {
            current += c;
            have = true;
        }
    }
    if (inQuote)
        return false;
    if (have)
        argv->push_back(current);
    return true;
}

HRESULT ComReadLocalServer(REFCLSID clsid, std::vector<std::string>* argv) {
    std::string key = "CLSID\\" + GuidToText(clsid) + "\\LocalServer32";
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return REGDB_E_CLASSNOTREG;
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExA(h, nullptr, nullptr, &type, nullptr, &size);
    std::string value(size, '\0');
    if (rc == ERROR_SUCCESS && size > 0)
        rc = RegQueryValueExA(h, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return REGDB_E_CLASSNOTREG;
    value.resize(std::strlen(value.c_str()));
    if (!ComSplitCommandLine(value, argv))
        return REGDB_E_CLASSNOTREG;
    return S_OK;
}

HRESULT ComActivateLocalServer(REFCLSID clsid, REFIID iid, void** object) {
    const int64_t deadline = nowMs() + ComActivationTimeout();
    ComEndpointPaths paths;
    HRESULT hr = ComEndpointFor(clsid, &paths);
    if (FAILED(hr))
        return hr;
    // A running server is used without any lock.
    hr = connectAndCreate(paths, clsid, iid, deadline, object);
    if (hr != RPC_S_SERVER_UNAVAILABLE)
        return hr;

    int lock = ComLockFile(paths.activationLock, remaining(deadline));
    if (lock < 0)
        return CO_E_SERVER_EXEC_FAILURE;
    // Another client may have started the server while we waited.
    hr = connectAndCreate(paths, clsid, iid, deadline, object);
    if (hr == RPC_S_SERVER_UNAVAILABLE) {
        std::vector<std::string> argv;
        hr = ComReadLocalServer(clsid, &argv);
        if (SUCCEEDED(hr))
            hr = startServer(argv, deadline);
        if (SUCCEEDED(hr)) {
            hr = connectAndCreate(paths, clsid, iid, deadline, object);
            // Started and registered, yet not serving: it ended at once.
            if (hr == RPC_S_SERVER_UNAVAILABLE)
                hr = CO_E_SERVER_EXEC_FAILURE;
        }
    }
    ::close(lock);
    return hr;
}

} // namespace korvane::platform
