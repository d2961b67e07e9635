// Proxies: IDispatch calls encoded into frames, replies decoded back into
// the caller's arguments.
#include "platform/ComProxy.h"

#include <cstring>
#include <vector>

#include "platform/Bstr.h"
#include "platform/ComRuntime.h"
#include "platform/SafeArray.h"
#include "platform/Sync.h"
#include "platform/Variant.h"
#include "platform/WireMessage.h"

namespace korvane::platform {
namespace {
std::atomic<DWORD> g_callTimeout{60000};
constexpr DWORD kReleaseTimeoutMs = 5000;
constexpr UINT kNoArgErr = 0xFFFFFFFFu;
} // namespace

void ComSetCallTimeout(DWORD milliseconds) { g_callTimeout.store(milliseconds); }
DWORD ComCallTimeout() { return g_callTimeout.load(); }

DWORD ComProxyServerProcessId(IUnknown* unknown) {
    if (!unknown)
        return 0;
    ComProxy* proxy = dynamic_cast<ComProxy*>(unknown);
    return proxy ? proxy->ServerProcessId() : 0;
}

} // namespace korvane::platform

using korvane::platform::ComCallTimeout;

ComProxy::ComProxy(std::unique_ptr<ComChannel> channel, uint64_t objectId, bool hasDispatch)
    : m_channel(std::move(channel)), m_objectId(objectId), m_hasDispatch(hasDispatch ? 1 : -1) {
    // An object reached from a single-threaded apartment belongs to its thread.
    m_homeThread = korvane::platform::ComCurrentApartmentIsSingleThreaded() ? GetCurrentThreadId() : 0;
}

ComProxy::~ComProxy() {
    if (m_channel->IsOpen()) {
        uint32_t call = m_channel->NextCallId();
        std::vector<uint8_t> body;
        // Best effort: the server releases the object on the close anyway.
        m_channel->Call(WireEncodeRelease(call, m_objectId), call, WireType::StatusReply, &body,
                        korvane::platform::kReleaseTimeoutMs < ComCallTimeout() ? korvane::platform::kReleaseTimeoutMs : ComCallTimeout());
    }
    m_channel->Close();
}

HRESULT ComProxy::checkThread() const {
    return m_homeThread != 0 && m_homeThread != GetCurrentThreadId() ? RPC_E_WRONG_THREAD : S_OK;
}

HRESULT ComProxy::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown) {
        *object = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    if (iid != IID_IDispatch)
        return E_NOINTERFACE;
    if (m_hasDispatch < 0) {
        HRESULT hr = checkThread();
        if (FAILED(hr))
            return hr;
        uint32_t call = m_channel->NextCallId();
        std::vector<uint8_t> body;
        hr = m_channel->Call(WireEncodeQueryInterface(call, WireObjectRequest{m_objectId, IID_IDispatch}), call,
                             WireType::StatusReply, &body, ComCallTimeout());
        if (FAILED(hr))
            return hr;
        WireReader r = ComChannel::BodyOf(body);
        HRESULT answer;
        if (!WireDecodeStatusReply(r, &answer)) {
            m_channel->Close();
            return RPC_E_INVALID_DATAPACKET;
        }
        if (answer != E_NOINTERFACE && FAILED(answer))
            return answer;  // the call failed; ask again next time
        m_hasDispatch = SUCCEEDED(answer) ? 1 : 0;
    }
    if (!m_hasDispatch)
        return E_NOINTERFACE;
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

ULONG ComProxy::AddRef() { return ++m_refs; }

ULONG ComProxy::Release() {
    ULONG r = --m_refs;
    if (r == 0)
        delete this;
    return r;
}

HRESULT ComProxy::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_INVALIDARG;
    *count = 0;
    return S_OK;
}

HRESULT ComProxy::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info)
        *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT ComProxy::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* dispids) {
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    if (count == 0)
        return S_OK;
    if (!names || !dispids)
        return E_INVALIDARG;
    HRESULT hr = checkThread();
    if (FAILED(hr))
        return hr;
    uint32_t call = m_channel->NextCallId();
    std::vector<uint8_t> frame, body;
    hr = WireEncodeNames(call, m_objectId, lcid, names, count, &frame);
    if (FAILED(hr))
        return hr;
    hr = m_channel->Call(frame, call, WireType::IdsReply, &body, ComCallTimeout());
    if (FAILED(hr))
        return hr;
    WireReader r = ComChannel::BodyOf(body);
    WireIdsReply reply;
    if (!WireDecodeIdsReply(r, &reply) || reply.ids.size() != count) {
        m_channel->Close();
        return RPC_E_INVALID_DATAPACKET;
    }
    std::memcpy(dispids, reply.ids.data(), count * sizeof(DISPID));
    return reply.hr;
}

HRESULT ComProxy::Invoke(DISPID dispid, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    if (!params)
        return E_INVALIDARG;
    HRESULT hr = checkThread();
    if (FAILED(hr))
        return hr;
    uint32_t call = m_channel->NextCallId();
    // Per-thread buffers: after the first calls a thread's requests and
    // replies need no allocation for their frames.
    thread_local std::vector<uint8_t> frame, body;
    UINT bad = 0;
    hr = WireEncodeInvoke(call, m_objectId, dispid, lcid, flags, params, result != nullptr,
                          excepInfo != nullptr, &frame, &bad);
    if (FAILED(hr)) {
        if (argErr && hr == DISP_E_BADVARTYPE)
            *argErr = bad;
        return hr;
    }
    hr = m_channel->Call(frame, call, WireType::InvokeReply, &body, ComCallTimeout());
    if (FAILED(hr))
        return hr;
    WireReader r = ComChannel::BodyOf(body);
    WireInvokeReply reply;
    bool valid = WireDecodeInvokeReply(r, &reply);
    // Every value sent back must fit the reference it goes to before any
    // is written, so that a bad reply changes nothing.
    for (size_t k = 0; valid && k < reply.byRefs.size(); ++k) {
        const WireInvokeReply::ByRef& b = reply.byRefs[k];
        valid = b.index < params->cArgs && params->rgvarg[b.index].vt == b.vt && params->rgvarg[b.index].byref &&
                (b.vt == (VT_BYREF | VT_VARIANT) || b.value.vt == (b.vt & static_cast<VARTYPE>(~VT_BYREF)));
    }
    if (valid && !result && reply.result.vt != VT_EMPTY)
        valid = false;
    if (!valid) {
        m_channel->Close();
        return RPC_E_INVALID_DATAPACKET;
    }
    for (WireInvokeReply::ByRef& b : reply.byRefs) {
        VARIANTARG& target = params->rgvarg[b.index];
        const VARTYPE base = b.vt & static_cast<VARTYPE>(~VT_BYREF);
        if (base == VT_VARIANT) {
            VariantClear(target.pvarVal);
            *target.pvarVal = b.value;
        } else if (base & VT_ARRAY) {
            SafeArrayDestroy(*target.pparray);
            *target.pparray = b.value.parray;
        } else if (base == VT_BSTR) {
            SysFreeString(*target.pbstrVal);
            *target.pbstrVal = b.value.bstrVal;
        } else if (base == VT_DISPATCH || base == VT_UNKNOWN) {
            if (*target.ppunkVal)
                (*target.ppunkVal)->Release();
            *target.ppunkVal = nullptr;
        } else {
            size_t size = base == VT_I1 || base == VT_UI1                     ? 1
                          : base == VT_I2 || base == VT_UI2 || base == VT_BOOL ? 2
                          : base == VT_I8 || base == VT_UI8 || base == VT_R8 || base == VT_CY ||
                                  base == VT_DATE
                              ? 8
                              : 4;
            std::memcpy(target.byref, &b.value.llVal, size);
        }
        VariantInit(&b.value);  // moved to the caller
    }
    if (result) {
        *result = reply.result;
        VariantInit(&reply.result);
    }
    if (excepInfo && reply.hasExcepInfo) {
        *excepInfo = reply.excep;
        std::memset(&reply.excep, 0, sizeof reply.excep);
    }
    if (argErr && reply.argErr != korvane::platform::kNoArgErr)
        *argErr = reply.argErr;
    return reply.hr;
}
