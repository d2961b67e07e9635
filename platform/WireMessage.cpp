// Frame bodies of the COM wire.
#include "platform/WireMessage.h"

#include "platform/Bstr.h"

namespace {

// A body must be consumed exactly: trailing bytes make it malformed.
bool finished(WireReader& r) { return r.atEnd() || r.Fail(); }

} // namespace

WireFrameBytes WireEncodeHello(uint32_t callId, const WireHello& h, bool reply) {
    WireWriter w(reply ? WireType::HelloReply : WireType::Hello, callId);
    w.U32(h.magic);
    w.U16(h.major);
    w.U16(h.minor);
    w.U32(h.pid);
    if (reply)
        w.I32(h.hr);
    return std::move(w.Finish());
}

bool WireDecodeHello(WireReader& r, WireHello* h, bool reply) {
    if (!r.U32(&h->magic) || !r.U16(&h->major) || !r.U16(&h->minor) || !r.U32(&h->pid))
        return false;
    if (reply && !r.I32(&h->hr))
        return false;
    return finished(r);
}

WireFrameBytes WireEncodeCreate(uint32_t callId, const WireCreate& c) {
    WireWriter w(WireType::Create, callId);
    w.Guid(c.clsid);
    w.Guid(c.iid);
    return std::move(w.Finish());
}

bool WireDecodeCreate(WireReader& r, WireCreate* c) {
    return r.Guid(&c->clsid) && r.Guid(&c->iid) && finished(r);
}

WireFrameBytes WireEncodeCreateReply(uint32_t callId, const WireCreateReply& c) {
    WireWriter w(WireType::CreateReply, callId);
    w.I32(c.hr);
    w.U64(c.objectId);
    return std::move(w.Finish());
}

bool WireDecodeCreateReply(WireReader& r, WireCreateReply* c) {
    return r.I32(&c->hr) && r.U64(&c->objectId) && finished(r);
}

WireFrameBytes WireEncodeQueryInterface(uint32_t callId, const WireObjectRequest& q) {
    WireWriter w(WireType::QueryInterface, callId);
    w.U64(q.objectId);
    w.Guid(q.iid);
    return std::move(w.Finish());
}

bool WireDecodeQueryInterface(WireReader& r, WireObjectRequest* q) {
    return r.U64(&q->objectId) && r.Guid(&q->iid) && finished(r);
}

WireFrameBytes WireEncodeRelease(uint32_t callId, uint64_t objectId) {
    WireWriter w(WireType::Release, callId);
    w.U64(objectId);
    return std::move(w.Finish());
}

bool WireDecodeRelease(WireReader& r, uint64_t* objectId) { return r.U64(objectId) && finished(r); }

WireFrameBytes WireEncodeStatusReply(uint32_t callId, HRESULT hr) {
    WireWriter w(WireType::StatusReply, callId);
    w.I32(hr);
    return std::move(w.Finish());
}

bool WireDecodeStatusReply(WireReader& r, HRESULT* hr) { return r.I32(hr) && finished(r); }

WireNamesRequest::~WireNamesRequest() {
    for (BSTR b : names)
        SysFreeString(b);
}

HRESULT WireEncodeNames(uint32_t callId, uint64_t objectId, LCID lcid, LPOLESTR* names, UINT count,
                        WireFrameBytes* frame) {
    if (count == 0 || count > kWireMaxNames || !names)
        return RPC_E_CLIENT_CANTMARSHAL_DATA;
    WireWriter w(WireType::GetIDsOfNames, callId, frame);
    w.U64(objectId);
    w.U32(lcid);
    w.U32(count);
    for (UINT i = 0; i < count; ++i) {
        if (!names[i])
            return E_INVALIDARG;
        size_t n = 0;
        while (names[i][n] != 0 && n <= kWireMaxNameChars)
            ++n;
        if (n > kWireMaxNameChars)
            return RPC_E_CLIENT_CANTMARSHAL_DATA;
        w.U32(static_cast<uint32_t>(n * 2));
        w.Bytes(names[i], n * 2);
    }
    if (w.overflowed())
        return RPC_E_CLIENT_CANTMARSHAL_DATA;
    w.Finish();
    return S_OK;
}

bool WireDecodeNames(WireReader& r, WireNamesRequest* q) {
    uint32_t count;
    if (!r.U64(&q->objectId) || !r.U32(&q->lcid) || !r.U32(&count))
        return false;
    if (count == 0 || count > kWireMaxNames)
        return r.Fail();
    for (uint32_t i = 0; i < count; ++i) {
        BSTR name;
        if (!r.String(&name, kWireMaxNameChars * 2))
            return false;
        q->names.push_back(name);
        if (!name)
            return r.Fail();
    }
    return finished(r);
}

WireFrameBytes WireEncodeIdsReply(uint32_t callId, const WireIdsReply& reply) {
    WireWriter w(WireType::IdsReply, callId);
    w.I32(reply.hr);
    w.U32(static_cast<uint32_t>(reply.ids.size()));
    for (DISPID id : reply.ids)
        w.I32(id);
    return std::move(w.Finish());
}

bool WireDecodeIdsReply(WireReader& r, WireIdsReply* reply) {
    uint32_t count;
    if (!r.I32(&reply->hr) || !r.U32(&count))
        return false;
    if (count > kWireMaxNames)
        return r.Fail();
    reply->ids.resize(count);
    for (uint32_t i = 0; i < count; ++i)
        if (!r.I32(&reply->ids[i]))
            return false;
    return finished(r);
}

WireInvokeRequest::~WireInvokeRequest() {
    for (VARIANT& v : args)
        VariantClear(&v);
}

HRESULT WireEncodeInvoke(uint32_t callId, uint64_t objectId, DISPID dispid, LCID lcid, WORD flags,
                         const DISPPARAMS* params, bool wantResult, bool wantExcepInfo,
                         WireFrameBytes* frame, UINT* badArg) {
    if (!params || params->cNamedArgs > params->cArgs || (params->cArgs && !params->rgvarg) ||
        (params->cNamedArgs && !params->rgdispidNamedArgs))
        return E_INVALIDARG;
    if (params->cArgs > kWireMaxArgs)
        return RPC_E_CLIENT_CANTMARSHAL_DATA;
    WireWriter w(WireType::Invoke, callId, frame);
    w.U64(objectId);
    w.I32(dispid);
    w.U32(lcid);
    w.U16(flags);
    w.U8(static_cast<uint8_t>((wantResult ? 1 : 0) | (wantExcepInfo ? 2 : 0)));
    w.U8(0);
    w.U32(params->cArgs);
    w.U32(params->cNamedArgs);
    for (UINT k = 0; k < params->cNamedArgs; ++k)
        w.I32(params->rgdispidNamedArgs[k]);
    for (UINT i = 0; i < params->cArgs; ++i) {
        HRESULT hr = WireWriteVariant(w, params->rgvarg[i]);
        if (FAILED(hr)) {
            if (badArg)
                *badArg = i;
            return hr;
        }
    }
    if (w.overflowed())
        return RPC_E_CLIENT_CANTMARSHAL_DATA;
    w.Finish();
    return S_OK;
}

bool WireDecodeInvoke(WireReader& r, WireInvokeRequest* q) {
    uint8_t wants, reserved;
    uint32_t cArgs, cNamed;
    if (!r.U64(&q->objectId) || !r.I32(&q->dispid) || !r.U32(&q->lcid) || !r.U16(&q->flags) ||
        !r.U8(&wants) || !r.U8(&reserved) || !r.U32(&cArgs) || !r.U32(&cNamed))
        return false;
    if (wants > 3 || reserved != 0 || cArgs > kWireMaxArgs || cNamed > cArgs)
        return r.Fail();
    q->wantResult = wants & 1;
    q->wantExcepInfo = wants & 2;
    q->named.resize(cNamed);
    for (uint32_t k = 0; k < cNamed; ++k)
        if (!r.I32(&q->named[k]))
            return false;
    q->args.reserve(cArgs);
    q->argVts.reserve(cArgs);
    for (uint32_t i = 0; i < cArgs; ++i) {
        VARIANT v;
        VARTYPE vt;
        if (!WireReadVariant(r, &v, &vt))
            return false;
        q->args.push_back(v);
        q->argVts.push_back(vt);
    }
    return finished(r);
}

WireInvokeReply::~WireInvokeReply() {
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    VariantClear(&result);
    for (ByRef& b : byRefs)
        VariantClear(&b.value);
}

HRESULT WireEncodeInvokeReply(uint32_t callId, HRESULT hr, UINT argErr, const EXCEPINFO* excep,
                              const VARIANT* result, const VARIANTARG* args, UINT argCount,
                              WireFrameBytes* frame) {
    WireWriter w(WireType::InvokeReply, callId, frame);
    w.I32(hr);
    w.U32(argErr);
    w.U8(excep ? 1 : 0);
    if (excep) {
        w.U16(excep->wCode);
        w.U32(excep->dwHelpContext);
        w.I32(excep->scode);
        w.String(excep->bstrSource);
        w.String(excep->bstrDescription);
        w.String(excep->bstrHelpFile);
    }
    VARIANT empty;
    VariantInit(&empty);
    // Values that cannot travel from the server are a server-side failure.
    auto serverSide = [](HRESULT h) { return h == RPC_E_CLIENT_CANTMARSHAL_DATA ? RPC_E_SERVER_CANTMARSHAL_DATA : h; };
    HRESULT status = WireWriteVariant(w, result ? *result : empty);
    if (FAILED(status))
        return serverSide(status);
    uint32_t refs = 0;
    for (UINT i = 0; i < argCount; ++i)
        refs += (args[i].vt & VT_BYREF) ? 1 : 0;
    w.U32(refs);
    for (UINT i = 0; i < argCount; ++i) {
        if (!(args[i].vt & VT_BYREF))
            continue;
        w.U32(i);
        status = WireWriteVariant(w, args[i]);
        if (FAILED(status))
            return serverSide(status);
    }
    if (w.overflowed())
        return RPC_E_SERVER_CANTMARSHAL_DATA;
    w.Finish();
    return S_OK;
}

bool WireDecodeInvokeReply(WireReader& r, WireInvokeReply* reply) {
    int32_t hr;
    uint32_t argErr;
    uint8_t hasExcep;
    if (!r.I32(&hr) || !r.U32(&argErr) || !r.U8(&hasExcep))
        return false;
    if (hasExcep > 1)
        return r.Fail();
    reply->hr = hr;
    reply->argErr = argErr;
    reply->hasExcepInfo = hasExcep;
    if (hasExcep) {
        uint16_t code;
        if (!r.U16(&code) || !r.U32(&reply->excep.dwHelpContext) || !r.I32(&reply->excep.scode) ||
            !r.String(&reply->excep.bstrSource) || !r.String(&reply->excep.bstrDescription) ||
            !r.String(&reply->excep.bstrHelpFile))
            return false;
        reply->excep.wCode = code;
    }
    VARTYPE vt;
    if (!WireReadVariant(r, &reply->result, &vt))
        return false;
    if (vt & VT_BYREF) {
        // A result is a value, never a reference.
        VariantClear(&reply->result);
        return r.Fail();
    }
    uint32_t refs;
    if (!r.U32(&refs) || refs > kWireMaxArgs)
        return r.Fail();
    for (uint32_t k = 0; k < refs; ++k) {
        WireInvokeReply::ByRef b{};
        if (!r.U32(&b.index) || !WireReadVariant(r, &b.value, &b.vt))
            return false;
        reply->byRefs.push_back(b);
        if (!(b.vt & VT_BYREF) || b.index >= kWireMaxArgs)
            return r.Fail();
    }
    return finished(r);
}
