// Serving the frames of one client connection.
#include "platform/ComServerSession.h"

#include <atomic>
#include <cstring>
#include <random>

#include "platform/Bstr.h"
#include "platform/Variant.h"
#include "platform/WireMessage.h"

namespace {

// Object identifiers: a random start per process, then counting up, so that
// an identifier is never reused and one of an earlier server instance is
// not mistaken for a live object.
uint64_t nextObjectId() {
    static std::atomic<uint64_t> counter{[] {
        std::random_device rd;
        uint64_t start = (static_cast<uint64_t>(rd()) << 32) ^ rd();
        return (start & 0x0000FFFFFFFFFFFFull) | 1ull;
    }()};
    return counter.fetch_add(1);
}

constexpr UINT kNoArgErr = 0xFFFFFFFFu;

// What one served Invoke owns besides the request: the by-value arguments
// (moved out of the request, since the callee may replace them), the
// result and the error details. Freed however the call ends.
struct CallState {
    CallState() { VariantInit(&result); }
    ~CallState() {
        for (VARIANTARG& a : rg)
            if (!(a.vt & VT_BYREF))
                VariantClear(&a);
        VariantClear(&result);
        SysFreeString(excep.bstrSource);
        SysFreeString(excep.bstrDescription);
        SysFreeString(excep.bstrHelpFile);
    }
    CallState(const CallState&) = delete;
    CallState& operator=(const CallState&) = delete;
    void Arguments(size_t n) {
        rg.resize(n);
        for (VARIANTARG& a : rg)
            VariantInit(&a);
    }
    std::vector<VARIANTARG> rg;
    VARIANT result;
    EXCEPINFO excep{};
};

} // namespace

// A served Invoke's request and state, kept until its reply is on its way.
// The by-reference arguments point into the request's values, so the call
// state goes first.
struct ComServerSession::Finished {
    WireInvokeRequest q;
    CallState call;
};

ComServerSession::ComServerSession(ClassLookup lookup, uint32_t serverPid)
    : m_lookup(std::move(lookup)), m_pid(serverPid) {}

ComServerSession::~ComServerSession() {
    ReleaseFinished();
    ReleaseAll();
}

void ComServerSession::ReleaseFinished() { m_finished.reset(); }

void ComServerSession::ReleaseAll() {
    // Taken out first: a Release may run server code that looks at us.
    std::map<uint64_t, Object> objects;
    objects.swap(m_objects);
    for (auto& [id, o] : objects) {
        if (o.dispatch)
            o.dispatch->Release();
        if (o.unknown)
            o.unknown->Release();
    }
}

void ComServerSession::Receive(const uint8_t* data, size_t size) {
    if (m_inStart > 0 && m_inStart == m_in.size()) {
        m_in.clear();
        m_inStart = 0;
    }
    m_in.insert(m_in.end(), data, data + size);
}

void ComServerSession::Consumed(size_t n) {
    m_outStart += n < OutputSize() ? n : OutputSize();
    if (m_outStart == m_out.size()) {
        m_out.clear();
        m_outStart = 0;
    }
}

void ComServerSession::reply(std::vector<uint8_t>&& frame) {
    if (m_out.empty()) {
        // The frame becomes the output; the output's old storage is kept
        // for encoding the next reply, so that a steady stream of calls
        // allocates no frame buffers.
        m_out.swap(frame);
        frame.clear();
        if (frame.capacity() > m_spare.capacity())
            m_spare.swap(frame);
    } else {
        m_out.insert(m_out.end(), frame.begin(), frame.end());
    }
}

bool ComServerSession::HasFrame() const {
    size_t avail = m_in.size() - m_inStart;
    if (avail < kWireHeaderBytes)
        return false;
    WireHeader h;
    if (!WireDecodeHeader(m_in.data() + m_inStart, &h))
        return true;
    return avail >= kWireHeaderBytes + h.length;
}

ComServerSession::Step ComServerSession::ServeOne() {
    ReleaseFinished();
    size_t avail = m_in.size() - m_inStart;
    if (avail < kWireHeaderBytes)
        return Step::Idle;
    WireHeader h;
    // The header is judged as soon as it is complete, so that an oversized
    // frame is refused before its body is ever buffered.
    if (!WireDecodeHeader(m_in.data() + m_inStart, &h))
        return Step::Close;
    if (avail < kWireHeaderBytes + h.length)
        return Step::Idle;
    const uint8_t* body = m_in.data() + m_inStart + kWireHeaderBytes;
    Step step = serveFrame(h, body);
    m_inStart += kWireHeaderBytes + h.length;
    // Drop consumed input once it is most of the buffer.
    if (m_inStart > 65536 && m_inStart * 2 > m_in.size()) {
        m_in.erase(m_in.begin(), m_in.begin() + static_cast<std::ptrdiff_t>(m_inStart));
        m_inStart = 0;
    }
    return step;
}

ComServerSession::Object* ComServerSession::find(uint64_t id) {
    auto it = m_objects.find(id);
    return it == m_objects.end() ? nullptr : &it->second;
}

HRESULT ComServerSession::dispatchOf(Object& o, IDispatch** out) {
    if (!o.dispatch) {
        void* p = nullptr;
        HRESULT hr = o.unknown->QueryInterface(IID_IDispatch, &p);
        if (FAILED(hr))
            return hr;
        o.dispatch = static_cast<IDispatch*>(p);
    }
    *out = o.dispatch;
    return S_OK;
}

ComServerSession::Step ComServerSession::serveFrame(const WireHeader& h, const uint8_t* body) {
    WireReader r(body, h.length);
    if (!m_helloDone) {
        WireHello hello;
        if (h.type != WireType::Hello || !WireDecodeHello(r, &hello, false) || hello.magic != kWireMagic)
            return Step::Close;
        m_helloDone = true;
        WireHello answer;
        answer.pid = m_pid;
        if (hello.major != kWireVersionMajor) {
            answer.hr = RPC_E_VERSION_MISMATCH;
            reply(WireEncodeHello(h.callId, answer, true));
            return Step::Close;
        }
        reply(WireEncodeHello(h.callId, answer, true));
        return Step::Served;
    }

    try {
        switch (h.type) {
        case WireType::Create: {
            WireCreate c;
            if (!WireDecodeCreate(r, &c))
                return Step::Close;
            WireCreateReply out;
            IClassFactory* factory = nullptr;
            out.hr = m_lookup ? m_lookup(c.clsid, &factory) : REGDB_E_CLASSNOTREG;
            if (SUCCEEDED(out.hr) && m_objects.size() >= kWireMaxObjectsPerConnection)
                out.hr = E_OUTOFMEMORY;
            if (SUCCEEDED(out.hr)) {
                void* p = nullptr;
                out.hr = factory->CreateInstance(nullptr, c.iid, &p);
                if (SUCCEEDED(out.hr) && !p)
                    out.hr = E_UNEXPECTED;
                if (SUCCEEDED(out.hr)) {
                    out.objectId = nextObjectId();
                    m_objects[out.objectId].unknown = static_cast<IUnknown*>(p);
                }
            }
            if (factory)
                factory->Release();
            reply(WireEncodeCreateReply(h.callId, out));
            return Step::Served;
        }
        case WireType::QueryInterface: {
            WireObjectRequest q;
            if (!WireDecodeQueryInterface(r, &q))
                return Step::Close;
            Object* o = find(q.objectId);
            HRESULT hr = RPC_E_DISCONNECTED;
            if (o) {
                if (q.iid == IID_IDispatch) {
                    IDispatch* d;
                    hr = dispatchOf(*o, &d);
                } else {
                    void* p = nullptr;
                    hr = o->unknown->QueryInterface(q.iid, &p);
                    if (SUCCEEDED(hr))
                        static_cast<IUnknown*>(p)->Release();
                }
            }
            reply(WireEncodeStatusReply(h.callId, hr));
            return Step::Served;
        }
        case WireType::GetIDsOfNames: {
            WireNamesRequest q;
            if (!WireDecodeNames(r, &q))
                return Step::Close;
            WireIdsReply out;
            out.ids.assign(q.names.size(), DISPID_UNKNOWN);
            Object* o = find(q.objectId);
            IDispatch* d = nullptr;
            out.hr = o ? dispatchOf(*o, &d) : RPC_E_DISCONNECTED;
            if (SUCCEEDED(out.hr))
                out.hr = d->GetIDsOfNames(IID_NULL, q.names.data(), static_cast<UINT>(q.names.size()),
                                          q.lcid, out.ids.data());
            reply(WireEncodeIdsReply(h.callId, out));
            return Step::Served;
        }
        case WireType::Invoke: {
            // The request and the call's values are kept past the reply
            // (see ReleaseFinished), so that freeing a large result does not
            // hold the reply back; ServeOne freed the previous call's.
            auto finished = std::make_unique<Finished>();
            WireInvokeRequest& q = finished->q;
            if (!WireDecodeInvoke(r, &q))
                return Step::Close;
            Object* o = find(q.objectId);
            IDispatch* d = nullptr;
            HRESULT hr = o ? dispatchOf(*o, &d) : RPC_E_DISCONNECTED;
            std::vector<uint8_t> frame;
            frame.swap(m_spare);
            if (FAILED(hr)) {
                WireEncodeInvokeReply(h.callId, hr, kNoArgErr, nullptr, nullptr, nullptr, 0, &frame);
                reply(std::move(frame));
                return Step::Served;
            }
            // By-value arguments move into the argument array (the callee
            // may replace them); by-reference ones point at their cells in
            // the request, which owns and later frees the final values.
            const size_t n = q.args.size();
            CallState& call = finished->call;
            call.Arguments(n);
            for (size_t i = 0; i < n; ++i) {
                VARIANTARG& a = call.rg[i];
                if (q.argVts[i] & VT_BYREF) {
                    a.vt = q.argVts[i];
                    if (q.argVts[i] == (VT_BYREF | VT_VARIANT))
                        a.pvarVal = &q.args[i];
                    else
                        a.byref = &q.args[i].llVal;
                } else {
                    a = q.args[i];
                    VariantInit(&q.args[i]);
                }
            }
            DISPPARAMS dp{n ? call.rg.data() : nullptr, q.named.empty() ? nullptr : q.named.data(),
                          static_cast<UINT>(n), static_cast<UINT>(q.named.size())};
            UINT argErr = kNoArgErr;
            hr = d->Invoke(q.dispid, IID_NULL, q.lcid, q.flags, &dp,
                           q.wantResult ? &call.result : nullptr,
                           q.wantExcepInfo ? &call.excep : nullptr, &argErr);
            if (hr == DISP_E_EXCEPTION && call.excep.pfnDeferredFillIn)
                call.excep.pfnDeferredFillIn(&call.excep);
            HRESULT enc = WireEncodeInvokeReply(
                h.callId, hr, argErr, hr == DISP_E_EXCEPTION && q.wantExcepInfo ? &call.excep : nullptr,
                &call.result, call.rg.data(), static_cast<UINT>(n), &frame);
            if (FAILED(enc))
                WireEncodeInvokeReply(h.callId, enc, kNoArgErr, nullptr, nullptr, nullptr, 0, &frame);
            reply(std::move(frame));
            m_finished = std::move(finished);
            return Step::Served;
        }
        case WireType::Release: {
            uint64_t id;
            if (!WireDecodeRelease(r, &id))
                return Step::Close;
            auto it = m_objects.find(id);
            HRESULT hr = RPC_E_DISCONNECTED;
            if (it != m_objects.end()) {
                Object o = it->second;
                m_objects.erase(it);
                if (o.dispatch)
                    o.dispatch->Release();
                o.unknown->Release();
                hr = S_OK;
            }
            reply(WireEncodeStatusReply(h.callId, hr));
            return Step::Served;
        }
        default:
            // A second hello, or a reply frame, from a client.
            return Step::Close;
        }
    } catch (...) {
        // The server's own code failed with an exception: the client gets
        // RPC_E_SERVERFAULT, as COM answers a server that faulted.
        std::vector<uint8_t> frame;
        if (h.type == WireType::Invoke)
            WireEncodeInvokeReply(h.callId, RPC_E_SERVERFAULT, kNoArgErr, nullptr, nullptr, nullptr, 0,
                                  &frame);
        else if (h.type == WireType::Create)
            frame = WireEncodeCreateReply(h.callId, WireCreateReply{RPC_E_SERVERFAULT, 0});
        else if (h.type == WireType::GetIDsOfNames)
            frame = WireEncodeIdsReply(h.callId, WireIdsReply{RPC_E_SERVERFAULT, {}});
        else
            frame = WireEncodeStatusReply(h.callId, RPC_E_SERVERFAULT);
        reply(std::move(frame));
        return Step::Served;
    }
}
