// The bodies of the COM wire's frames: hello, create, query interface,
// names, invoke, release and their replies, encoded from and decoded into
// plain structures. Encoders with a `frame` argument write into it and
// reuse its capacity, so that a caller keeping one buffer allocates no
// memory per call for the frame. Decoding checks the body completely (every field
// present, no bytes left over, every limit of platform/WireFrame.h) and
// reports a malformed body as false.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/WireFrame.h"
#include "platform/WireValue.h"

using WireFrameBytes = std::vector<uint8_t>;

/// Hello and its reply. `hr` is only in the reply.
struct WireHello {
    uint32_t magic = kWireMagic;
    uint16_t major = kWireVersionMajor;
    uint16_t minor = kWireVersionMinor;
    uint32_t pid = 0;
    HRESULT hr = S_OK;
};
WireFrameBytes WireEncodeHello(uint32_t callId, const WireHello& hello, bool reply);
bool WireDecodeHello(WireReader& r, WireHello* hello, bool reply);

struct WireCreate {
    CLSID clsid = CLSID_NULL;
    IID iid = IID_NULL;
};
WireFrameBytes WireEncodeCreate(uint32_t callId, const WireCreate& create);
bool WireDecodeCreate(WireReader& r, WireCreate* create);

struct WireCreateReply {
    HRESULT hr = S_OK;
    uint64_t objectId = 0;
};
WireFrameBytes WireEncodeCreateReply(uint32_t callId, const WireCreateReply& reply);
bool WireDecodeCreateReply(WireReader& r, WireCreateReply* reply);

/// QueryInterface (object, IID) and Release (object, IID unused).
struct WireObjectRequest {
    uint64_t objectId = 0;
    IID iid = IID_NULL;
};
WireFrameBytes WireEncodeQueryInterface(uint32_t callId, const WireObjectRequest& request);
bool WireDecodeQueryInterface(WireReader& r, WireObjectRequest* request);
WireFrameBytes WireEncodeRelease(uint32_t callId, uint64_t objectId);
bool WireDecodeRelease(WireReader& r, uint64_t* objectId);

WireFrameBytes WireEncodeStatusReply(uint32_t callId, HRESULT hr);
bool WireDecodeStatusReply(WireReader& r, HRESULT* hr);

/// GetIDsOfNames: the names (1..kWireMaxNames, each a non-null string of at
/// most kWireMaxNameChars) are owned BSTRs, freed by the destructor.
struct WireNamesRequest {
    WireNamesRequest() = default;
    WireNamesRequest(const WireNamesRequest&) = delete;
    WireNamesRequest& operator=(const WireNamesRequest&) = delete;
    ~WireNamesRequest();
    uint64_t objectId = 0;
    LCID lcid = 0;
    std::vector<BSTR> names;
};
/// RPC_E_CLIENT_CANTMARSHAL_DATA when the names break a limit.
HRESULT WireEncodeNames(uint32_t callId, uint64_t objectId, LCID lcid, LPOLESTR* names, UINT count,
                        WireFrameBytes* frame);
bool WireDecodeNames(WireReader& r, WireNamesRequest* request);

struct WireIdsReply {
    HRESULT hr = S_OK;
    std::vector<DISPID> ids;
};
WireFrameBytes WireEncodeIdsReply(uint32_t callId, const WireIdsReply& reply);
bool WireDecodeIdsReply(WireReader& r, WireIdsReply* reply);

/// A decoded Invoke request. `args` are in rgvarg order; each is an owned
/// by-value VARIANT, and `argVts[i]` its type on the wire (VT_BYREF set for
/// an argument passed by reference: args[i] then holds the value referred
/// to). The destructor clears the arguments.
struct WireInvokeRequest {
    WireInvokeRequest() = default;
    WireInvokeRequest(const WireInvokeRequest&) = delete;
    WireInvokeRequest& operator=(const WireInvokeRequest&) = delete;
    ~WireInvokeRequest();
    uint64_t objectId = 0;
    DISPID dispid = 0;
    LCID lcid = 0;
    WORD flags = 0;
    bool wantResult = false;
    bool wantExcepInfo = false;
    std::vector<DISPID> named;
    std::vector<VARIANT> args;
    std::vector<VARTYPE> argVts;
};
/// Encodes a call from the caller's DISPPARAMS. RPC_E_CLIENT_CANTMARSHAL_DATA
/// or DISP_E_BADVARTYPE (with *badArg = the rgvarg index) when an argument
/// cannot travel; E_INVALIDARG for inconsistent DISPPARAMS.
HRESULT WireEncodeInvoke(uint32_t callId, uint64_t objectId, DISPID dispid, LCID lcid, WORD flags,
                         const DISPPARAMS* params, bool wantResult, bool wantExcepInfo,
                         WireFrameBytes* frame, UINT* badArg);
bool WireDecodeInvoke(WireReader& r, WireInvokeRequest* request);

/// A decoded Invoke reply: the outcome, the error details when present,
/// the result (VT_EMPTY when none) and the final values of the by-reference
/// arguments as (rgvarg index, wire type, owned value). The destructor
/// frees everything that was not taken out.
struct WireInvokeReply {
    WireInvokeReply() = default;
    WireInvokeReply(const WireInvokeReply&) = delete;
    WireInvokeReply& operator=(const WireInvokeReply&) = delete;
    ~WireInvokeReply();
    HRESULT hr = S_OK;
    UINT argErr = 0;
    bool hasExcepInfo = false;
    EXCEPINFO excep{};
    VARIANT result{};
    struct ByRef {
        UINT index;
        VARTYPE vt;
        VARIANT value;
    };
    std::vector<ByRef> byRefs;
};
/// Encodes a reply. `args` are the server's arguments after the call (only
/// the VT_BYREF ones are sent back); `excep` may be null. `result` may be
/// null. RPC_E_SERVER_CANTMARSHAL_DATA when the values cannot travel; the
/// caller then sends that status in a reply without values.
HRESULT WireEncodeInvokeReply(uint32_t callId, HRESULT hr, UINT argErr, const EXCEPINFO* excep,
                              const VARIANT* result, const VARIANTARG* args, UINT argCount,
                              WireFrameBytes* frame);
bool WireDecodeInvokeReply(WireReader& r, WireInvokeReply* reply);
