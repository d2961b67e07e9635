// A single-threaded apartment's serving of its clients: the listening
// sockets of the classes it registered and the connections they accepted,
// each with its ComServerSession. Everything here runs on the apartment's
// thread, inside the wait of its message loop.
//
// Each round of the wait serves at most one request per connection, so
// that a busy client does not starve the others; replies that the socket
// does not take at once are kept and sent as it drains, and a connection
// with too many replies waiting is not read from until they are sent.
// A connection from a peer of another user is answered with a hello reply
// carrying E_ACCESSDENIED and closed at once, before any of its bytes is
// read; one whose frames are malformed is closed. At most kComMaxConnections connections are
// served at a time (more are closed on arrival).
#pragma once

#include <memory>
#include <vector>

#include "platform/ComBase.h"
#include "platform/ComServerSession.h"

namespace korvane::platform {

constexpr size_t kComMaxConnections = 4096;

class ComApartment {
public:
    /// `threadId`: the apartment's thread.
    explicit ComApartment(DWORD threadId);
    /// Closes every connection and listener.
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    /// Starts accepting connections on the listening socket `fd` (owned by
    /// the caller, who removes it before closing it).
    void AddListener(int fd);
    void RemoveListener(int fd);

    /// Serves clients until `wakeFd` is readable or `timeoutMs` passes
    /// (-1: no limit; 0: serve what is ready and return).
    void Wait(int wakeFd, int timeoutMs);

    /// Closes every connection, releasing their objects.
    void CloseConnections();
    size_t ConnectionCount() const;
    /// True while a call of a client is being served.
    bool InsideCall() const { return m_depth > 0; }
    DWORD ThreadId() const { return m_threadId; }

private:
    struct Connection;
    bool serveReady();
    void accept(int listener);
    void readFrom(Connection& c);
    void flush(Connection& c);
    void close(Connection& c);
    void sweep();

    DWORD m_threadId;
    std::vector<int> m_listeners;
    std::vector<std::unique_ptr<Connection>> m_connections;
    int m_depth = 0;
};

/// Finds the class object that apartment `threadId` registered for
/// `clsid` for a client's create request (defined with the class table).
HRESULT ComLookupServedClass(DWORD threadId, REFCLSID clsid, IClassFactory** factory);

} // namespace korvane::platform
