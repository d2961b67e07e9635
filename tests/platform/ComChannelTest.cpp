// The client end of a connection against a scripted peer: how each way a
// server can fail maps to the HRESULT of the call and of the calls after.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "platform/ComChannel.h"
#include "platform/WireMessage.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes readRequest(int fd) {
    Bytes b(4096);
    ssize_t n = ::recv(fd, b.data(), b.size(), 0);
    b.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return b;
}

void sendAll(int fd, const Bytes& b) { ::send(fd, b.data(), b.size(), MSG_NOSIGNAL); }

TEST(ComChannelTest, FailuresMapToRpcCodes) {
    const Bytes answer = WireEncodeStatusReply(1, S_FALSE);
    struct Case {
        const char* name;
        std::function<void(int)> peer;  // runs on the server end
        HRESULT first, later;
    };
    const Case cases[] = {
        {"answered", [&](int fd) { readRequest(fd); sendAll(fd, answer); }, S_OK, S_OK},
        {"answered in pieces", [&](int fd) {
             readRequest(fd);
             for (uint8_t byte : answer) {
                 sendAll(fd, Bytes{byte});
                 std::this_thread::sleep_for(std::chrono::milliseconds(1));
             }
         }, S_OK, S_OK},
        {"gone before the call", [](int fd) { ::shutdown(fd, SHUT_RDWR); }, RPC_S_SERVER_UNAVAILABLE, RPC_S_SERVER_UNAVAILABLE},
        {"answered, then gone before the request was read", [&](int fd) { sendAll(fd, answer); ::shutdown(fd, SHUT_RDWR); },
         S_OK, RPC_S_SERVER_UNAVAILABLE},
        {"gone during the call", [](int fd) { readRequest(fd); ::shutdown(fd, SHUT_RDWR); }, RPC_S_CALL_FAILED, RPC_S_SERVER_UNAVAILABLE},
        {"half a reply, then gone", [&](int fd) { readRequest(fd); sendAll(fd, Bytes(answer.begin(), answer.begin() + 7)); ::shutdown(fd, SHUT_RDWR); },
         RPC_S_CALL_FAILED, RPC_S_SERVER_UNAVAILABLE},
        {"no reply in time", [](int fd) { readRequest(fd); std::this_thread::sleep_for(std::chrono::milliseconds(400)); },
         RPC_E_TIMEOUT, RPC_E_DISCONNECTED},
        {"reply to another call", [](int fd) { readRequest(fd); sendAll(fd, WireEncodeStatusReply(2, S_OK)); },
         RPC_E_INVALID_DATAPACKET, RPC_E_DISCONNECTED},
        {"reply of another type", [](int fd) { readRequest(fd); sendAll(fd, WireEncodeCreateReply(1, WireCreateReply{})); },
         RPC_E_INVALID_DATAPACKET, RPC_E_DISCONNECTED},
        {"oversized reply announced", [](int fd) {
             readRequest(fd);
             Bytes h(12, 0);
             uint32_t big = kWireMaxFrameBytes + 1, call = 1;
             std::memcpy(h.data(), &big, 4);
             h[4] = static_cast<uint8_t>(WireType::StatusReply);
             std::memcpy(h.data() + 8, &call, 4);
             sendAll(fd, h);
         }, RPC_E_INVALID_DATAPACKET, RPC_E_DISCONNECTED},
        {"bytes after the reply", [&](int fd) { readRequest(fd); Bytes b = answer; b.push_back(0); sendAll(fd, b); },
         RPC_E_INVALID_DATAPACKET, RPC_E_DISCONNECTED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        ComChannel channel(fds[0]);
        // A peer that closes at once does so before the call starts.
        std::thread peer;
        if (std::string(c.name).find("before") != std::string::npos) {
            c.peer(fds[1]);
        } else {
            peer = std::thread(c.peer, fds[1]);
        }
        std::vector<uint8_t> reply;
        const uint32_t call = channel.NextCallId();
        EXPECT_EQ(call, 1u);
        auto start = std::chrono::steady_clock::now();
        HRESULT hr = channel.Call(WireEncodeRelease(call, 7), call, WireType::StatusReply, &reply, 200);
        EXPECT_EQ(hr, c.first) << std::hex << hr;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
        if (hr == S_OK) {
            WireReader r = ComChannel::BodyOf(reply);
            HRESULT status;
            ASSERT_TRUE(WireDecodeStatusReply(r, &status));
            EXPECT_EQ(status, S_FALSE);
        }
        if (peer.joinable())
            peer.join();
        if (c.later != S_OK) {
            const uint32_t next = channel.NextCallId();
            EXPECT_EQ(channel.Call(WireEncodeRelease(next, 7), next, WireType::StatusReply, &reply, 200), c.later);
            EXPECT_FALSE(channel.IsOpen());
        }
        ::close(fds[1]);
    }
}

} // namespace
