// The client end of a connection to a local server: sends one request
// frame at a time and waits, with a time-out, for its reply. Maps what can
// go wrong to the HRESULTs a COM client sees:
//   - the server was gone before the call (the send fails):
//     RPC_S_SERVER_UNAVAILABLE;
//   - the connection ends while the reply is awaited: RPC_S_CALL_FAILED;
//   - no reply within the time-out: RPC_E_TIMEOUT;
//   - a reply that is malformed or not the one awaited:
//     RPC_E_INVALID_DATAPACKET.
// After any of these the connection is closed. Later calls fail at once
// with RPC_S_SERVER_UNAVAILABLE when the server had gone, otherwise with
// RPC_E_DISCONNECTED (the objects reached through it are lost).
// Calls from several threads are serialised.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/OleAuto.h"
#include "platform/WireFrame.h"

class ComChannel {
public:
    /// Takes ownership of the connected socket `fd`.
    explicit ComChannel(int fd);
    ~ComChannel();
    ComChannel(const ComChannel&) = delete;
    ComChannel& operator=(const ComChannel&) = delete;

    /// A fresh call identifier for the next request.
    uint32_t NextCallId();
    /// Sends `request` (a finished frame with call identifier `callId`) and
    /// receives the reply, which must be of type `replyType` with the same
    /// call identifier. The whole reply frame, header included, is handed
    /// over in *reply, whose old storage the channel keeps for receiving
    /// (a caller that reuses one buffer causes no allocation per call).
    /// S_OK or a failure above.
    HRESULT Call(const std::vector<uint8_t>& request, uint32_t callId, WireType replyType,
                 std::vector<uint8_t>* reply, DWORD timeoutMs);
    /// A reader of the body of a reply frame from Call.
    static WireReader BodyOf(const std::vector<uint8_t>& reply) {
        return WireReader(reply.data() + kWireHeaderBytes, reply.size() - kWireHeaderBytes);
    }
    /// Closes the connection (the server releases what it holds for us).
    void Close();
    /// True while the connection is open.
    bool IsOpen();

private:
    HRESULT fail(HRESULT hr, HRESULT later);
    /// Receives the reply to `callId` until `deadline`: S_OK, or the failure
    /// for this call with *later set to the answer for later calls.
    HRESULT receive(uint32_t callId, WireType replyType, std::vector<uint8_t>* reply, int64_t deadline,
                    bool waitFirst, HRESULT* later);
    std::mutex m_lock;
    int m_fd;
    uint32_t m_nextCall = 1;
    HRESULT m_closedWith = RPC_E_DISCONNECTED;
    std::vector<uint8_t> m_in;  // receive buffer; its size only grows
};
