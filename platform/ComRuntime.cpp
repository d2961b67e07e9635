// Apartments, the process's class table, activation entry points and
// ProgID look-ups.
#include "platform/ComRuntime.h"

#include <unistd.h>

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/ComActivation.h"
#include "platform/ComApartment.h"
#include "platform/ComEndpoint.h"
#include "platform/Guid.h"
#include "platform/MessageLoop.h"
#include "platform/OleMemory.h"
#include "platform/Registry.h"
#include "platform/Sync.h"
#include "platform/Text.h"

namespace korvane::platform {
namespace {

std::atomic<DWORD> g_activationTimeout{30000};

void revokeAllOfThread();

// The calling thread's apartment membership.
struct ThreadCom {
    int initCount = 0;
    bool singleThreaded = false;
    std::unique_ptr<ComApartment> apartment;
    ~ThreadCom() {
        // A thread that ends inside its apartment still revokes its class
        // objects and closes its connections, so that clients see the
        // server go instead of waiting on an endpoint nobody serves.
        if (initCount > 0)
            revokeAllOfThread();
        apartment.reset();
    }
};
thread_local ThreadCom t_com;

// One registered class object.
struct Registration {
    CLSID clsid;
    IClassFactory* factory = nullptr;
    DWORD context = 0;
    DWORD threadId = 0;      // the registering apartment's thread
    int listener = -1;       // local servers: the endpoint
    int serverLock = -1;     // local servers: held while registered
    std::string socketPath;
};

std::mutex g_classLock;
std::map<DWORD, Registration>& classes() {
    static auto* m = new std::map<DWORD, Registration>();
    return *m;
}
DWORD g_nextCookie = 1;

void apartmentWaiter(int wakeFd, int timeoutMs) {
    if (t_com.apartment)
        t_com.apartment->Wait(wakeFd, timeoutMs);
}

// Frees what a registration holds; called without the class lock.
void dismantle(Registration& r) {
    if (r.listener >= 0) {
        if (t_com.apartment)
            t_com.apartment->RemoveListener(r.listener);
        // The socket file goes while the server lock still shows that it is
        // ours, so that a new server's socket is never removed.
        ::unlink(r.socketPath.c_str());
        ::close(r.listener);
    }
    if (r.serverLock >= 0)
        ::close(r.serverLock);
    if (r.factory)
        r.factory->Release();
}

// Revokes every registration of the calling thread.
void revokeAllOfThread() {
    const DWORD self = GetCurrentThreadId();
    std::vector<Registration> mine;
    {
        std::lock_guard<std::mutex> g(g_classLock);
        for (auto it = classes().begin(); it != classes().end();) {
            if (it->second.threadId == self) {
                mine.push_back(it->second);
                it = classes().erase(it);
            } else {
                ++it;
            }
        }
    }
    for (Registration& r : mine)
        dismantle(r);
}

std::string narrow(LPCOLESTR text) {
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, s.data(), n, nullptr, nullptr);
    s.resize(static_cast<size_t>(n - 1));
    return s;
}

// The default string value of HKEY_CLASSES_ROOT\<key>; false when missing.
bool readClassesDefault(const std::string& key, std::string* value) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExA(h, nullptr, nullptr, &type, nullptr, &size);
    std::string v(size, '\0');
    if (rc == ERROR_SUCCESS && size > 0)
        rc = RegQueryValueExA(h, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(v.data()), &size);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    v.resize(std::strlen(v.c_str()));
    *value = v;
    return true;
}

} // namespace

bool ComCurrentApartmentIsSingleThreaded() { return t_com.initCount > 0 && t_com.singleThreaded; }

void ComSetActivationTimeout(DWORD milliseconds) { g_activationTimeout.store(milliseconds); }
DWORD ComActivationTimeout() { return g_activationTimeout.load(); }

HRESULT ComLookupServedClass(DWORD threadId, REFCLSID clsid, IClassFactory** factory) {
    std::lock_guard<std::mutex> g(g_classLock);
    for (auto& [cookie, r] : classes())
        if (r.clsid == clsid && r.threadId == threadId && (r.context & CLSCTX_LOCAL_SERVER)) {
            r.factory->AddRef();
            *factory = r.factory;
            return S_OK;
        }
    // A class that this apartment served but has revoked is stopping.
    return CO_E_SERVER_STOPPING;
}

} // namespace korvane::platform

using namespace korvane::platform;

HRESULT CoInitializeEx(LPVOID reserved, DWORD coinit) {
    if (reserved)
        return E_INVALIDARG;
    const bool sta = (coinit & COINIT_APARTMENTTHREADED) != 0;
    if (t_com.initCount > 0) {
        if (t_com.singleThreaded != sta)
            return RPC_E_CHANGED_MODE;
        ++t_com.initCount;
        return S_FALSE;
    }
    if (sta) {
        if (!MessageQueueEnsure())
            return E_OUTOFMEMORY;
        if (!t_com.apartment)
            t_com.apartment = std::make_unique<ComApartment>(GetCurrentThreadId());
        MessageLoopSetWaiter(&apartmentWaiter);
    }
    t_com.singleThreaded = sta;
    t_com.initCount = 1;
    return S_OK;
}

HRESULT CoInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
    if (t_com.initCount == 0)
        return;
    if (--t_com.initCount > 0)
        return;
    revokeAllOfThread();
    if (t_com.apartment && !t_com.apartment->InsideCall()) {
        MessageLoopSetWaiter(nullptr);
        t_com.apartment.reset();
    }
}

HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* unknown, DWORD context, DWORD flags, LPDWORD cookie) {
    if (!cookie || !unknown)
        return E_INVALIDARG;
    *cookie = 0;
    if (flags != REGCLS_MULTIPLEUSE && flags != REGCLS_MULTI_SEPARATE)
        return E_INVALIDARG;
    if (!(context & (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER)))
        return E_INVALIDARG;
    if (t_com.initCount == 0)
        return CO_E_NOTINITIALIZED;
    const bool local = context & CLSCTX_LOCAL_SERVER;
    if (local && !t_com.singleThreaded)
        return CO_E_NOT_SUPPORTED;
    void* p = nullptr;
    if (FAILED(unknown->QueryInterface(IID_IClassFactory, &p)) || !p)
        return E_NOINTERFACE;
    Registration r;
    r.clsid = clsid;
    r.factory = static_cast<IClassFactory*>(p);
    // As on Windows, a local server's multiple-use class object serves this
    // process too.
    r.context = context | (local && flags == REGCLS_MULTIPLEUSE ? CLSCTX_INPROC_SERVER : 0);
    r.threadId = GetCurrentThreadId();
    {
        std::lock_guard<std::mutex> g(g_classLock);
        for (auto& [c, other] : classes())
            if (other.clsid == clsid && ((other.context & context) != 0)) {
                r.factory->Release();
                return CO_E_OBJISREG;
            }
    }
    if (local) {
        ComEndpointPaths paths;
        HRESULT hr = ComEndpointFor(clsid, &paths);
        if (FAILED(hr)) {
            r.factory->Release();
            return hr;
        }
        // One serving process per class: the lock is held while registered
        // and the kernel drops it if this process dies.
        r.serverLock = ComLockFile(paths.serverLock, 0);
        if (r.serverLock < 0) {
            r.factory->Release();
            return CO_E_OBJISREG;
        }
        r.socketPath = paths.socket;
        r.listener = ComEndpointListen(paths.socket, &hr);
        if (r.listener < 0) {
            ::close(r.serverLock);
            r.factory->Release();
            return hr;
        }
        t_com.apartment->AddListener(r.listener);
    }
    {
        std::lock_guard<std::mutex> g(g_classLock);
        *cookie = g_nextCookie++;
        classes()[*cookie] = r;
    }
    if (local)
        ComSignalReadiness();
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie) {
    Registration r;
    {
        std::lock_guard<std::mutex> g(g_classLock);
        auto it = classes().find(cookie);
        if (it == classes().end())
            return CO_E_OBJNOTREG;
        if (it->second.threadId != GetCurrentThreadId())
            return RPC_E_WRONG_THREAD;
        r = it->second;
        classes().erase(it);
    }
    dismantle(r);
    return S_OK;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, LPVOID* object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (t_com.initCount == 0)
        return CO_E_NOTINITIALIZED;
    // A class object registered in this process by this apartment (or for
    // in-process use) is used directly.
    // One registered by another thread of this process as a local server is
    // reached through its endpoint, so that its calls run on its thread.
    IClassFactory* factory = nullptr;
    {
        std::lock_guard<std::mutex> g(g_classLock);
        for (auto& [c, r] : classes()) {
            if (r.clsid != clsid || !(r.context & context))
                continue;
            const bool sameThread = r.threadId == GetCurrentThreadId();
            if (sameThread || !(r.context & CLSCTX_LOCAL_SERVER) || !(context & CLSCTX_LOCAL_SERVER)) {
                factory = r.factory;
                factory->AddRef();
                break;
            }
        }
    }
    if (factory) {
        HRESULT hr = factory->CreateInstance(outer, iid, object);
        factory->Release();
        return hr;
    }
    if (!(context & CLSCTX_LOCAL_SERVER))
        return REGDB_E_CLASSNOTREG;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    return ComActivateLocalServer(clsid, iid, object);
}

HRESULT OleRun(IUnknown* object) { return object ? S_OK : E_INVALIDARG; }

HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid) {
    if (!progId || !clsid)
        return E_INVALIDARG;
    *clsid = CLSID_NULL;
    std::string name = narrow(progId);
    std::string value;
    if (name.empty() || !readClassesDefault(name + "\\CLSID", &value))
        return CO_E_CLASSSTRING;
    GUID g;
    if (!GuidFromText(value.c_str(), &g))
        return CO_E_CLASSSTRING;
    *clsid = g;
    return S_OK;
}

HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid) {
    if (!clsid)
        return E_INVALIDARG;
    *clsid = CLSID_NULL;
    if (!text)
        return S_OK;
    if (text[0] == u'{') {
        IID parsed;
        if (FAILED(IIDFromString(text, &parsed)))
            return CO_E_CLASSSTRING;
        *clsid = parsed;
        return S_OK;
    }
    return CLSIDFromProgID(text, clsid);
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId) {
    if (!progId)
        return E_INVALIDARG;
    *progId = nullptr;
    std::string value;
    if (!readClassesDefault("CLSID\\" + GuidToText(clsid) + "\\ProgID", &value) || value.empty())
        return REGDB_E_CLASSNOTREG;
    int n = MultiByteToWideChar(CP_ACP, 0, value.c_str(), -1, nullptr, 0);
    if (n <= 0)
        return REGDB_E_CLASSNOTREG;
    *progId = static_cast<LPOLESTR>(CoTaskMemAlloc(static_cast<size_t>(n) * sizeof(OLECHAR)));
    if (!*progId)
        return E_OUTOFMEMORY;
    MultiByteToWideChar(CP_ACP, 0, value.c_str(), -1, *progId, n);
    return S_OK;
}
