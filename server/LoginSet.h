// C_LoginSet: the process-wide set of logins, found by their 32-bit handles.
//
// Handles are drawn from one process-wide counter (1, 2, 3, ...), so a
// handle is never given to a second login while the process lives, also not
// after its login was removed: a stale handle is simply not found. When the
// counter is used up (after 2^32 - 1 logins) no further login can be made.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/Sync.h"

class Login;

class C_LoginSet {
public:
    /// An empty set.
    C_LoginSet();
    /// Destroys every remaining login (each detaches from its project).
    ~C_LoginSet();
    C_LoginSet(const C_LoginSet&) = delete;
    C_LoginSet& operator=(const C_LoginSet&) = delete;

    /// The process-wide set, made at first use and destroyed at process end.
    /// It makes ProjectSet::Instance() first, so that at process end the
    /// logins are destroyed (and detach) before the projects.
    static C_LoginSet& Instance();

    /// Makes and registers a login named `name`; `login` receives it. False
    /// (level-3 trace) when no handle is left or it cannot be registered.
    bool bAdd(const std::string& name, Login*& login);
    /// Destroys and unregisters the login with that handle; false, without
    /// trace, when there is none.
    bool bRemove(uint32_t handle);
    /// The login with that handle; false when there is none.
    bool Find(uint32_t handle, Login*& login);
    /// Number of logins.
    size_t Size();

private:
    CRITICAL_SECTION lock;
    std::map<uint32_t, std::unique_ptr<Login>> logins; // ordered by handle
};
