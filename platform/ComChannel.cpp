// Blocking request/reply exchange over a client's socket.
#include "platform/ComChannel.h"

#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

int64_t nowMs() {
    struct timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Waits for `events` on `fd` until `deadline`: 1 ready, 0 time-out, -1 error.
int waitFor(int fd, short events, int64_t deadline) {
    for (;;) {
        int64_t left = deadline - nowMs();
        if (left <= 0)
            return 0;
        struct pollfd p {fd, events, 0};
        int r = ::poll(&p, 1, static_cast<int>(left > 0x7FFFFFFF ? 0x7FFFFFFF : left));
        if (r > 0)
            return 1;
        if (r < 0 && errno != EINTR)
            return -1;
    }
}

} // namespace

ComChannel::ComChannel(int fd) : m_fd(fd) {}

ComChannel::~ComChannel() { Close(); }

uint32_t ComChannel::NextCallId() {
    std::lock_guard<std::mutex> g(m_lock);
    return m_nextCall++;
}

bool ComChannel::IsOpen() {
    std::lock_guard<std::mutex> g(m_lock);
    return m_fd >= 0;
}

void ComChannel::Close() {
    std::lock_guard<std::mutex> g(m_lock);
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

// Closes the connection after a failure: `hr` goes to this caller, `later`
// to every later one.
HRESULT ComChannel::fail(HRESULT hr, HRESULT later) {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_closedWith = later;
    return hr;
}

HRESULT ComChannel::Call(const std::vector<uint8_t>& request, uint32_t callId, WireType replyType,
                         std::vector<uint8_t>* reply, DWORD timeoutMs) {
    std::lock_guard<std::mutex> g(m_lock);
    if (m_fd < 0)
        return m_closedWith;
    const int64_t deadline = nowMs() + timeoutMs;
    HRESULT later = RPC_E_DISCONNECTED;

    // A stream socket whose server has closed refuses the write (EPIPE or
    // ECONNRESET): the server was gone before this call.
    size_t sent = 0;
    while (sent < request.size()) {
        ssize_t n = ::send(m_fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            int w = waitFor(m_fd, POLLOUT, deadline);
            if (w == 0)
                return fail(RPC_E_TIMEOUT, RPC_E_DISCONNECTED);
            if (w > 0)
                continue;
        }
        if (sent == 0) {
            // A server may have answered before it closed, as one that
            // refuses a client does: that answer is still to be read.
            if (receive(callId, replyType, reply, nowMs(), false, &later) == S_OK) {
                fail(S_OK, RPC_S_SERVER_UNAVAILABLE);
                return S_OK;
            }
            // Otherwise nothing of this request reached a live server.
            return fail(RPC_S_SERVER_UNAVAILABLE, RPC_S_SERVER_UNAVAILABLE);
        }
        // A failure half-way: the server died during the call.
        return fail(RPC_S_CALL_FAILED, RPC_S_SERVER_UNAVAILABLE);
    }
    // The reply cannot be there the moment the request is sent: wait first
    // rather than spend a read that finds nothing.
    HRESULT hr = receive(callId, replyType, reply, deadline, true, &later);
    return SUCCEEDED(hr) ? hr : fail(hr, later);
}

HRESULT ComChannel::receive(uint32_t callId, WireType replyType, std::vector<uint8_t>* reply, int64_t deadline,
                            bool waitFirst, HRESULT* later) {
    auto failure = [later](HRESULT now, HRESULT afterwards) {
        *later = afterwards;
        return now;
    };
    // Receive until one whole frame is in. The buffer's size only grows
    // (zero-filled once); `have` counts the bytes that are valid.
    size_t have = 0;
    size_t need = kWireHeaderBytes;
    WireHeader h;
    bool haveHeader = false;
    for (;;) {
        if (waitFirst) {
            waitFirst = false;
            int w = waitFor(m_fd, POLLIN, deadline);
            if (w == 0)
                return failure(RPC_E_TIMEOUT, RPC_E_DISCONNECTED);
            if (w < 0)
                return failure(RPC_S_CALL_FAILED, RPC_S_SERVER_UNAVAILABLE);
        }
        if (have >= need) {
            if (!haveHeader) {
                if (!WireDecodeHeader(m_in.data(), &h) || h.callId != callId || h.type != replyType)
                    return failure(RPC_E_INVALID_DATAPACKET, RPC_E_DISCONNECTED);
                haveHeader = true;
                need = kWireHeaderBytes + h.length;
                continue;
            }
            if (have > need)  // nothing unasked may follow
                return failure(RPC_E_INVALID_DATAPACKET, RPC_E_DISCONNECTED);
            m_in.resize(need);
            reply->swap(m_in);
            return S_OK;
        }
        // Before the header is known, read generously: a small reply
        // usually comes whole in one read.
        const size_t target = haveHeader ? need : std::max<size_t>(need, 65536);
        if (m_in.size() < target)
            m_in.resize(target);
        ssize_t n = ::recv(m_fd, m_in.data() + have, (haveHeader ? need : target) - have, MSG_DONTWAIT);
        if (n > 0) {
            have += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            return failure(RPC_S_CALL_FAILED, RPC_S_SERVER_UNAVAILABLE);
        int w = waitFor(m_fd, POLLIN, deadline);
        if (w == 0)
            return failure(RPC_E_TIMEOUT, RPC_E_DISCONNECTED);
        if (w < 0)
            return failure(RPC_S_CALL_FAILED, RPC_S_SERVER_UNAVAILABLE);
    }
}
