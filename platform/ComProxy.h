// The client-side stand-in for an object in a local server: an IDispatch
// whose GetIDsOfNames and Invoke travel over the object's connection
// (platform/ComChannel.h), with arguments, by-reference values, arrays and
// strings going both ways.
//
// Rules and decisions:
// - The proxy answers QueryInterface for IUnknown (locally) and IDispatch
//   (asking the server once whether the object has it). Other interfaces,
//   dual interfaces' own vtables included, are not proxied: E_NOINTERFACE.
//   Late binding through IDispatch reaches every member of a dual
//   interface.
// - GetTypeInfoCount answers 0; GetTypeInfo DISP_E_BADINDEX.
// - A proxy made on a thread of a single-threaded apartment must be called
//   from that thread (else RPC_E_WRONG_THREAD, as on Windows); one made in
//   the multithreaded apartment may be called from any thread. Release
//   works from any thread.
// - By-reference arguments come back from the server with their final
//   values: the old string, array or VARIANT behind the caller's pointer is
//   freed and replaced, as an in/out parameter's callee does on Windows.
//   Interfaces do not travel (DISP_E_BADVARTYPE), except null ones.
// - Each call waits at most the call time-out (ComSetCallTimeout).
// - The last Release tells the server to release the object and closes the
//   connection; if the server is gone, nothing is waited for.
#pragma once

#include <atomic>
#include <memory>

#include "platform/ComBase.h"
#include "platform/ComChannel.h"

class ComProxy final : public IDispatch {
public:
    /// A proxy for the object `objectId` reached through `channel`, which
    /// it owns from now on. `hasDispatch` says whether the object is known
    /// to implement IDispatch (false: asked on the first query).
    ComProxy(std::unique_ptr<ComChannel> channel, uint64_t objectId, bool hasDispatch);

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* dispids) override;
    HRESULT Invoke(DISPID dispid, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override;

    /// The process id of the server, from its hello (for diagnostics and tests).
    DWORD ServerProcessId() const { return m_serverPid; }
    void SetServerProcessId(DWORD pid) { m_serverPid = pid; }

private:
    ~ComProxy();
    HRESULT checkThread() const;

    std::unique_ptr<ComChannel> m_channel;
    uint64_t m_objectId;
    std::atomic<ULONG> m_refs{1};
    int m_hasDispatch;          // 1 yes, 0 no, -1 not asked yet
    DWORD m_homeThread;         // 0: callable from any thread
    DWORD m_serverPid = 0;
};

namespace korvane::platform {

/// The time-out of each call through a proxy, in milliseconds (default
/// 60000). Changing it affects calls that start afterwards.
void ComSetCallTimeout(DWORD milliseconds);
DWORD ComCallTimeout();

/// If `unknown` is a proxy, its server's process id; else 0.
DWORD ComProxyServerProcessId(IUnknown* unknown);

} // namespace korvane::platform
