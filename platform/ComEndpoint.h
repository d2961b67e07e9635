// Where a local server's class can be reached: a Unix-domain socket in the
// user's runtime directory (platform/RuntimeDir.h), named after the class
// identifier, and the lock files beside it.
//
//   <runtime dir>/com-{CLSID}.sock    the listening socket (mode 0600)
//   <runtime dir>/com-{CLSID}.lock    held by a client while it starts the
//                                     server, so that one server is started
//   <runtime dir>/com-{CLSID}.server  held by the serving process for as
//                                     long as it is registered
//
// Both ends check the other's user with the peer credentials of the socket
// (SO_PEERCRED): a peer of another user is refused. The runtime directory
// is private to the user (mode 0700) as well.
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/Guid.h"
#include "platform/OleAuto.h"

namespace korvane::platform {

/// The three paths of a class's endpoint.
struct ComEndpointPaths {
    std::string socket;
    std::string activationLock;
    std::string serverLock;
};

/// The endpoint of `clsid`. Fails with the runtime directory's error as an
/// HRESULT, or HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE) when the
/// socket path is too long for a Unix-domain socket address.
HRESULT ComEndpointFor(REFCLSID clsid, ComEndpointPaths* paths);

/// Binds and listens on `path` (a stale socket file is removed first);
/// returns the non-blocking, close-on-exec descriptor or -1 with the
/// failure in *hr.
int ComEndpointListen(const std::string& path, HRESULT* hr);

/// Connects to `path` with a blocking, close-on-exec socket and checks the
/// server's user. Returns the descriptor; or -1 with *hr =
/// RPC_S_SERVER_UNAVAILABLE when nobody listens there (no socket file, or
/// the connection refused), E_ACCESSDENIED for a server of another user
/// or a socket the user may not open, or another failure.
int ComEndpointConnect(const std::string& path, HRESULT* hr);

/// True when the peer of the connected socket `fd` runs as this user. The
/// uid read from the socket passes through the test hook first, if any.
bool ComPeerIsSameUser(int fd);

/// Test hook: maps the peer uid read from a socket before it is compared
/// with the process's own, so that a test can act as a peer of another user
/// on a machine with one user. Null removes it. Not for production use.
void ComSetPeerUidHookForTesting(uid_t (*hook)(uid_t peerUid));

/// Takes an exclusive lock on the file `path` (created with mode 0600,
/// symbolic links not followed), waiting up to `timeoutMs` (0: no wait).
/// Returns the descriptor holding the lock (close it to unlock; the kernel
/// drops it when the process dies), or -1.
int ComLockFile(const std::string& path, DWORD timeoutMs);

} // namespace korvane::platform
