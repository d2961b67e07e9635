// Endpoint paths, Unix-domain sockets with peer checks, and lock files.
#include "platform/ComEndpoint.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/RuntimeDir.h"

namespace korvane::platform {
namespace {

std::atomic<uid_t (*)(uid_t)> g_peerHook{nullptr};

bool fillAddress(const std::string& path, sockaddr_un* addr) {
    std::memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    if (path.size() >= sizeof addr->sun_path)
        return false;
    std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
    return true;
}

int64_t nowMs() {
    struct timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

} // namespace

HRESULT ComEndpointFor(REFCLSID clsid, ComEndpointPaths* paths) {
    DWORD error = ERROR_SUCCESS;
    std::string dir = PlatformRuntimeDir(&error);
    if (dir.empty())
        return HRESULT_FROM_WIN32(error ? error : ERROR_PATH_NOT_FOUND);
    std::string base = dir + "/com-" + GuidToText(clsid);
    paths->socket = base + ".sock";
    paths->activationLock = base + ".lock";
    paths->serverLock = base + ".server";
    sockaddr_un addr;
    if (!fillAddress(paths->socket, &addr))
        return HRESULT_FROM_WIN32(206 /* ERROR_FILENAME_EXCED_RANGE */);
    return S_OK;
}

bool ComPeerIsSameUser(int fd) {
    struct ucred cred {};
    socklen_t len = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || len != sizeof cred)
        return false;
    uid_t peer = cred.uid;
    if (auto hook = g_peerHook.load())
        peer = hook(peer);
    return peer == ::geteuid();
}

void ComSetPeerUidHookForTesting(uid_t (*hook)(uid_t)) { g_peerHook.store(hook); }

int ComEndpointListen(const std::string& path, HRESULT* hr) {
    sockaddr_un addr;
    if (!fillAddress(path, &addr)) {
        *hr = HRESULT_FROM_WIN32(206);
        return -1;
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *hr = E_OUTOFMEMORY;
        return -1;
    }
    // The caller holds the class's server lock, so a socket file left at
    // the path belongs to a server that is gone.
    ::unlink(path.c_str());
    // No rights for anyone else, whatever the umask (the private runtime
    // directory already keeps others out; this is a second fence).
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 128) != 0) {
        *hr = errno == EACCES ? E_ACCESSDENIED : E_FAIL;
        ::close(fd);
        return -1;
    }
    *hr = S_OK;
    return fd;
}

int ComEndpointConnect(const std::string& path, HRESULT* hr) {
    sockaddr_un addr;
    if (!fillAddress(path, &addr)) {
        *hr = HRESULT_FROM_WIN32(206);
        return -1;
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *hr = E_OUTOFMEMORY;
        return -1;
    }
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        int e = errno;
        ::close(fd);
        *hr = (e == ENOENT || e == ECONNREFUSED || e == ENOTDIR) ? RPC_S_SERVER_UNAVAILABLE
              : (e == EACCES || e == EPERM)                      ? E_ACCESSDENIED
                                                                 : RPC_S_SERVER_UNAVAILABLE;
        return -1;
    }
    if (!ComPeerIsSameUser(fd)) {
        ::close(fd);
        *hr = E_ACCESSDENIED;
        return -1;
    }
    *hr = S_OK;
    return fd;
}

int ComLockFile(const std::string& path, DWORD timeoutMs) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        return -1;
    }
    const int64_t deadline = nowMs() + timeoutMs;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return fd;
        if (errno != EWOULDBLOCK && errno != EINTR)
            break;
        if (nowMs() >= deadline)
            break;
        // Polling keeps the wait bounded; the holder is a client starting a
        // server, which takes milliseconds.
        struct timespec pause {0, 2 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    ::close(fd);
    return -1;
}

} // namespace korvane::platform
