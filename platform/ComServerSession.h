// The server side of one client connection: turns the bytes a client sends
// into calls on the apartment's objects and the replies into bytes to send,
// without knowing about sockets (the apartment's message loop moves the
// bytes; the fuzz target feeds them directly).
//
// Rules: the first frame must be a hello of the same protocol major
// version (another major version is answered with RPC_E_VERSION_MISMATCH
// and the connection closed); any malformed frame, a reply frame from the
// client, or a second hello closes the connection. Closing releases every
// object the connection created, at once. Objects are named by 64-bit
// identifiers that are never reused in the process; an identifier the
// connection does not hold is answered with RPC_E_DISCONNECTED. At most
// kWireMaxObjectsPerConnection objects live per connection (more:
// E_OUTOFMEMORY). A call that raises a C++ exception is answered with
// RPC_E_SERVERFAULT.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/ComBase.h"
#include "platform/WireFrame.h"

class ComServerSession {
public:
    /// Finds the class object of a CLSID for a create request: S_OK and an
    /// added reference in *factory, or the failure to answer with
    /// (REGDB_E_CLASSNOTREG, CO_E_SERVER_STOPPING).
    using ClassLookup = std::function<HRESULT(REFCLSID clsid, IClassFactory** factory)>;

    /// `serverPid` goes into the hello reply.
    ComServerSession(ClassLookup lookup, uint32_t serverPid);
    /// Releases every object still held.
    ~ComServerSession();
    ComServerSession(const ComServerSession&) = delete;
    ComServerSession& operator=(const ComServerSession&) = delete;

    /// Appends received bytes.
    void Receive(const uint8_t* data, size_t size);

    enum class Step {
        Idle,    ///< no complete frame waiting
        Served,  ///< one frame served; its reply is in Output()
        Close,   ///< the connection must be closed (after sending Output())
    };
    /// Serves at most one complete frame of the input.
    Step ServeOne();

    /// Bytes waiting to be sent.
    const uint8_t* OutputData() const { return m_out.data() + m_outStart; }
    size_t OutputSize() const { return m_out.size() - m_outStart; }
    /// Drops the first `n` bytes of the output (they were sent).
    void Consumed(size_t n);
    /// True when a whole frame (or a header that must be refused) waits in
    /// the input, so that ServeOne would not answer Idle.
    bool HasFrame() const;
    /// Bytes received and not yet served.
    size_t InputSize() const { return m_in.size() - m_inStart; }
    /// False while so many replies wait unsent (kWireMaxPendingReplyBytes)
    /// or so many received bytes wait unserved (one largest frame) that no
    /// more should be read: the connection's memory stays bounded however
    /// fast a client sends.
    bool WantsInput() const {
        return OutputSize() <= kWireMaxPendingReplyBytes && InputSize() < kWireHeaderBytes + kWireMaxFrameBytes;
    }

    /// Objects the connection holds.
    size_t ObjectCount() const { return m_objects.size(); }
    /// Releases every object (the connection closed).
    void ReleaseAll();
    /// Frees what the last served Invoke still holds: its request, its
    /// arguments and its result. They outlive the call until its reply has
    /// been handed to the socket, so that freeing a large result (thousands
    /// of strings) is not on the caller's path; the next ServeOne and the
    /// destructor free them too.
    void ReleaseFinished();

private:
    struct Object {
        IUnknown* unknown = nullptr;    // the interface created
        IDispatch* dispatch = nullptr;  // queried on first need
    };
    struct Finished;
    Step serveFrame(const WireHeader& h, const uint8_t* body);
    void reply(std::vector<uint8_t>&& frame);
    Object* find(uint64_t id);
    HRESULT dispatchOf(Object& o, IDispatch** out);

    ClassLookup m_lookup;
    uint32_t m_pid;
    bool m_helloDone = false;
    std::vector<uint8_t> m_in;
    size_t m_inStart = 0;
    std::vector<uint8_t> m_out;
    size_t m_outStart = 0;
    std::vector<uint8_t> m_spare;  // an empty buffer with capacity, for the next reply
    std::map<uint64_t, Object> m_objects;
    std::unique_ptr<Finished> m_finished;  // the last Invoke, until ReleaseFinished
};
