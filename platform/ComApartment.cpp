// Serving an apartment's client connections from its message loop.
#include "platform/ComApartment.h"

#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/ComEndpoint.h"
#include "platform/WireMessage.h"

namespace korvane::platform {
namespace {

int64_t nowMs() {
    struct timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

constexpr size_t kReadChunk = 256 * 1024;

} // namespace

struct ComApartment::Connection {
    int fd = -1;
    std::unique_ptr<ComServerSession> session;
    bool busy = false;  // a request of this connection is being served
};

ComApartment::ComApartment(DWORD threadId) : m_threadId(threadId) {}

ComApartment::~ComApartment() { CloseConnections(); }

void ComApartment::AddListener(int fd) { m_listeners.push_back(fd); }

void ComApartment::RemoveListener(int fd) {
    for (auto it = m_listeners.begin(); it != m_listeners.end(); ++it)
        if (*it == fd) {
            m_listeners.erase(it);
            return;
        }
}

size_t ComApartment::ConnectionCount() const {
    size_t n = 0;
    for (const auto& c : m_connections)
        n += c->fd >= 0 ? 1 : 0;
    return n;
}

void ComApartment::close(Connection& c) {
    if (c.fd < 0)
        return;
    ::close(c.fd);
    c.fd = -1;
    // The client's objects go at once: this may run the server's own code
    // (its lock count falling to zero) right here, on the apartment thread.
    c.session->ReleaseAll();
}

void ComApartment::CloseConnections() {
    for (auto& c : m_connections)
        if (!c->busy)
            close(*c);
    sweep();
}

void ComApartment::sweep() {
    // Connections are only removed by the outermost wait: a nested one
    // (a call that pumps messages) may not pull a session from under the
    // call being served.
    if (m_depth > 0)
        return;
    std::vector<std::unique_ptr<Connection>> keep;
    for (auto& c : m_connections)
        if (c->fd >= 0)
            keep.push_back(std::move(c));
    m_connections.swap(keep);
}

void ComApartment::flush(Connection& c) {
    while (c.fd >= 0 && c.session->OutputSize() > 0) {
        ssize_t n = ::send(c.fd, c.session->OutputData(), c.session->OutputSize(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            c.session->Consumed(static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;  // the rest goes when the socket drains
        close(c);    // the client is gone
    }
}

void ComApartment::readFrom(Connection& c) {
    uint8_t buf[16384];
    size_t total = 0;
    while (c.fd >= 0 && c.session->WantsInput() && total < kReadChunk) {
        ssize_t n = ::recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) {
            c.session->Receive(buf, static_cast<size_t>(n));
            total += static_cast<size_t>(n);
            // A short read took what was there; the next poll tells of more.
            if (static_cast<size_t>(n) < sizeof buf)
                return;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        close(c);  // end of stream or error: the client has gone
    }
}

void ComApartment::accept(int listener) {
    for (;;) {
        int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (!ComPeerIsSameUser(fd)) {
            // The refusal is said before the close, so that the client can
            // tell it from a server going away. A client's first request
            // is always its hello, call 1.
            WireHello refusal;
            refusal.pid = static_cast<uint32_t>(::getpid());
            refusal.hr = E_ACCESSDENIED;
            std::vector<uint8_t> f = WireEncodeHello(1, refusal, true);
            ssize_t ignored = ::send(fd, f.data(), f.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            (void)ignored;
            ::close(fd);
            continue;
        }
        if (ConnectionCount() >= kComMaxConnections) {
            ::close(fd);
            continue;
        }
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        const DWORD tid = m_threadId;
        c->session = std::make_unique<ComServerSession>(
            [tid](REFCLSID clsid, IClassFactory** factory) { return ComLookupServedClass(tid, clsid, factory); },
            static_cast<uint32_t>(::getpid()));
        m_connections.push_back(std::move(c));
    }
}

bool ComApartment::serveReady() {
    bool more = false;
    // Index loop: a served call may add connections (nested waits).
    for (size_t i = 0; i < m_connections.size(); ++i) {
        Connection& c = *m_connections[i];
        if (c.fd < 0 || c.busy)
            continue;
        c.busy = true;
        ++m_depth;
        ComServerSession::Step step = c.session->ServeOne();
        --m_depth;
        c.busy = false;
        if (step == ComServerSession::Step::Idle)
            continue;
        flush(c);
        // The reply is on its way: only now free what the call left.
        c.session->ReleaseFinished();
        if (step == ComServerSession::Step::Close)
            close(c);
        else if (c.session->HasFrame())
            more = true;  // a client sent several requests at once
    }
    return more;
}

void ComApartment::Wait(int wakeFd, int timeoutMs) {
    const int64_t deadline = timeoutMs < 0 ? -1 : nowMs() + timeoutMs;
    std::vector<struct pollfd> fds;
    for (;;) {
        // True when frames are still waiting: then the poll must not block.
        bool pending = serveReady();
        sweep();
        fds.clear();
        fds.push_back({wakeFd, POLLIN, 0});
        for (int l : m_listeners)
            fds.push_back({l, POLLIN, 0});
        const size_t firstConn = fds.size();
        for (auto& c : m_connections) {
            short ev = 0;
            if (c->fd >= 0 && !c->busy) {
                if (c->session->WantsInput())
                    ev |= POLLIN;
                if (c->session->OutputSize() > 0)
                    ev |= POLLOUT;
            }
            fds.push_back({c->busy ? -1 : c->fd, ev, 0});
        }
        int wait;
        if (pending)
            wait = 0;  // more requests may be complete already
        else if (deadline < 0)
            wait = -1;
        else
            wait = static_cast<int>(std::max<int64_t>(0, deadline - nowMs()));
        int n = ::poll(fds.data(), fds.size(), wait);
        if (n < 0 && errno != EINTR)
            return;
        if (n > 0 && (fds[0].revents & POLLIN))
            return;  // a message arrived: the loop takes it first
        for (size_t k = 1; k < firstConn; ++k)
            if (fds[k].revents & POLLIN)
                accept(fds[k].fd);
        for (size_t k = firstConn; k < fds.size(); ++k) {
            Connection& c = *m_connections[k - firstConn];
            if (fds[k].fd < 0 || c.fd < 0)
                continue;
            if (fds[k].revents & POLLOUT)
                flush(c);
            if (fds[k].revents & POLLIN)
                readFrom(c);
            else if (fds[k].revents & (POLLHUP | POLLERR))
                close(c);  // gone, with nothing left that we would read now
        }
        if (!pending && deadline >= 0 && nowMs() >= deadline)
            return;
    }
}

} // namespace korvane::platform
