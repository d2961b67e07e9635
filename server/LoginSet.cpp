// C_LoginSet: making, finding and removing logins.
#include "server/LoginSet.h"

#include <atomic>
#include <new>

#include "server/CsLock.h"
#include "server/Login.h"
#include "server/ProjectSet.h"
#include "server/Trace.h"

namespace {
std::atomic<uint32_t> g_lastHandle{0};

// The next handle, or 0 once all 2^32 - 1 have been given out.
uint32_t NextHandle() {
    uint32_t last = g_lastHandle.load();
    do {
        if (last == UINT32_MAX)
            return 0;
    } while (!g_lastHandle.compare_exchange_weak(last, last + 1));
    return last + 1;
}
} // namespace

C_LoginSet::C_LoginSet() { InitializeCriticalSection(&lock); }

C_LoginSet::~C_LoginSet() {
    {
        CsLock hold(lock);
        logins.clear();
    }
    DeleteCriticalSection(&lock);
}

C_LoginSet& C_LoginSet::Instance() {
    // Logins point at projects: the project set must outlive the login set.
    // Statics are destroyed in the reverse order of their construction, so
    // the project set is made first, whoever asks first.
    ProjectSet::Instance();
    static C_LoginSet set;
    return set;
}

bool C_LoginSet::bAdd(const std::string& name, Login*& login) {
    CsLock hold(lock);
    const uint32_t handle = NextHandle();
    std::unique_ptr<Login> made;
    if (handle != 0) {
        made.reset(new (std::nothrow) Login(name, handle));
        if (made == nullptr)
            return false;
    }
    bool inserted = handle != 0 && logins.emplace(handle, nullptr).second;
    if (inserted) {
        login = made.get();
        logins[handle] = std::move(made);
        Trace(1, "", 0, "C_LoginSet::bAdd: new Login object created: 0x%08X.", static_cast<unsigned>(handle));
    } else {
        made.reset();
        Trace(3, "", 0, "C_LoginSet::bAdd: failed to create a new Login object.");
    }
    return inserted;
}

bool C_LoginSet::bRemove(uint32_t handle) {
    CsLock hold(lock);
    auto it = logins.find(handle);
    if (it == logins.end())
        return false;
    Trace(1, "", 0, "C_LoginSet::bRemove: delete Login object 0x%08X.", static_cast<unsigned>(handle));
    logins.erase(it); // destroys the login, which detaches it from its project
    return true;
}

bool C_LoginSet::Find(uint32_t handle, Login*& login) {
    CsLock hold(lock);
    auto it = logins.find(handle);
    if (it == logins.end())
        return false;
    login = it->second.get();
    return true;
}

size_t C_LoginSet::Size() {
    CsLock hold(lock);
    return logins.size();
}
