// The process-wide document connection of KorvaneJni and its late-bound
// calls (see KorvaneConnection.h for the decisions).
#include "java/bridge/KorvaneConnection.h"

#include <utility>
#include <vector>

#include "platform/Bstr.h"
#include "platform/ComRuntime.h"
#include "platform/Guid.h"
#include "platform/Sync.h"

namespace {

// The IDispatch of the document, null when there is no connection.
IDispatch* g_document = nullptr;
// The thread on which this library entered an apartment, 0 when it holds
// no initialisation.
DWORD g_apartmentThread = 0;

void ReleaseDocument() {
    IDispatch* document = g_document;
    g_document = nullptr;
    if (document != nullptr)
        document->Release();
}

// Leaves the apartment that this library entered, when called on its thread.
void LeaveApartment() {
    if (g_apartmentThread != 0 && g_apartmentThread == GetCurrentThreadId()) {
        g_apartmentThread = 0;
        CoUninitialize();
    }
}

HRESULT ResolveClass(const char16_t* classText, CLSID* clsid) {
    if (classText != nullptr && classText[0] == u'{')
        return CLSIDFromString(classText, clsid);
    return CLSIDFromProgID(classText, clsid);
}

} // namespace

HRESULT KorvaneConnection::Connect(const char16_t* classText) {
    // The reference held before is replaced, whatever becomes of this Login.
    ReleaseDocument();
    const DWORD thread = GetCurrentThreadId();
    if (g_apartmentThread != thread) {
        const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (FAILED(hr))
            return hr;
        // An initialisation left on another thread cannot be undone from
        // here; from now on the library's one initialisation is this one.
        g_apartmentThread = thread;
    }
    CLSID clsid = CLSID_NULL;
    HRESULT hr = ResolveClass(classText, &clsid);
    IUnknown* unknown = nullptr;
    if (SUCCEEDED(hr)) {
        // A local server may serve the class: create it for IUnknown, put it
        // into its running state, then ask for the dispatch interface.
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                              IID_IUnknown, reinterpret_cast<void**>(&unknown));
    }
    if (SUCCEEDED(hr))
        hr = OleRun(unknown);
    IDispatch* document = nullptr;
    if (SUCCEEDED(hr))
        hr = unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&document));
    if (unknown != nullptr)
        unknown->Release();
    if (FAILED(hr) || document == nullptr) {
        if (document != nullptr)
            document->Release();
        LeaveApartment();
        return FAILED(hr) ? hr : E_NOINTERFACE;
    }
    g_document = document;
    return S_OK;
}

void KorvaneConnection::Disconnect() {
    ReleaseDocument();
    LeaveApartment();
}

void KorvaneConnection::ReleaseOnUnload() { ReleaseDocument(); }

IDispatch* KorvaneConnection::Document() { return g_document; }

KorvaneResult KorvaneConnection::Call(IDispatch* document, DISPID dispid, VARIANT* args, unsigned count) {
    if (document == nullptr)
        return KORVANE_NO_CONNECTION;
    // DISPPARAMS carries the arguments last first. The copies are shallow:
    // by-reference arguments keep pointing at the caller's cells, and the
    // caller keeps owning its by-value strings.
    std::vector<VARIANT> reversed(args, args + count);
    for (unsigned i = 0; i < count / 2; ++i)
        std::swap(reversed[i], reversed[count - 1 - i]);
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, count, 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception = {};
    UINT argErr = 0;
    HRESULT hr = document->Invoke(dispid, IID_NULL, LOCALE_EN_US, DISPATCH_METHOD, &params, &result, &exception,
                                  &argErr);
    if (hr == DISP_E_EXCEPTION && FAILED(exception.scode))
        hr = exception.scode;
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    KorvaneResult status = hr;
    if (SUCCEEDED(hr)) {
        // Only a 16-bit status is one: an empty or other result would pass
        // for success or for a made-up status if it were coerced.
        status = result.vt == VT_I2 ? result.iVal : DISP_E_TYPEMISMATCH;
    }
    VariantClear(&result);
    return status;
}

VARIANT KorvaneI2(SHORT value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I2;
    v.iVal = value;
    return v;
}

VARIANT KorvaneI4(LONG value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

VARIANT KorvaneBstr(BSTR text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = text;
    return v;
}

VARIANT KorvaneRefI2(SHORT* cell) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | VT_I2;
    v.piVal = cell;
    return v;
}

VARIANT KorvaneRefI4(LONG* cell) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | VT_I4;
    v.plVal = cell;
    return v;
}

VARIANT KorvaneRefVariant(VARIANT* cell) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | VT_VARIANT;
    v.pvarVal = cell;
    return v;
}
