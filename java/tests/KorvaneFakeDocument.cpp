// A stand-in catalogue document server for the KorvaneJni tests: a COM local
// server registered as "Varsvc.Document" in the test's own registry store,
// whose members 2, 3, 4, 14, 19, 20 and 21 check the exact argument order
// and types that the bridge must pass and answer what the tests need and
// the real server cannot give: a rejected login, a served GetVarInfoBlock
// (with hard strings, many entries, and malformed replies), written
// GetStateRamLayout cells, dispatcher rejections and a death during a call.
//
// Usage: korvanejni_fake_server -RegServer (writes the ProgID and the
// LocalServer32 entry pointing at this program) or -Embedding (serves; ends
// 5 s after its last object went).
//
// Behaviour by input:
// - Login name "reject": handle cell 0, status 1. "refuse": the dispatcher
//   rejects argument 2 (DISP_E_TYPEMISMATCH). "raise": DISP_E_EXCEPTION
//   carrying E_ACCESSDENIED. Else the handle is 4242 and the name is kept.
// - Every failing status is answered after writing all output cells, so that
//   a bridge that copies on failure is caught.
// - ProjOpen path "die": the process ends during the call.
// - SetVarInfoFilter's mask chooses the catalogue or reply form of the next
//   GetVarInfoBlock calls (see Reply below).
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/Bstr.h"
#include "platform/ComBase.h"
#include "platform/ComRuntime.h"
#include "platform/Environment.h"
#include "platform/Guid.h"
#include "platform/MessageLoop.h"
#include "platform/Registry.h"
#include "platform/SafeArray.h"
#include "platform/Sync.h"
#include "platform/Variant.h"

namespace {

constexpr CLSID CLSID_FakeDocument = {0x4B0E7A10, 0x2C3D, 0x4E5F, {0x8A, 0x9B, 0x10, 0x21, 0x32, 0x43, 0x54, 0x65}};
constexpr LONG kHandle = 4242;
constexpr LONG kStampMsec = 123456;
constexpr SHORT kStampDate = 6465;
constexpr int kIdleMs = 5000;

std::atomic<long> g_objects{0};
std::atomic<long> g_lastActivityMs{0};
DWORD g_mainThread = 0;

// State of the one fake catalogue (process-wide, like the real server's).
std::u16string g_loginName;
std::u16string g_mask;
int g_position = 0;

long NowMs() {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count());
}

// One catalogue entry.
struct Entry {
    std::u16string name;
    bool nullName = false;
    std::u16string cmnt;
    SHORT numbers[6]; // types, sizes, addresses, indexes, attributes, component offsets
};

// The catalogue that the mask selects.
std::vector<Entry> Catalogue() {
    std::vector<Entry> entries;
    if (g_mask == u"strings") {
        const std::u16string texts[] = {u"",
                                        std::u16string(u"a\0b", 3),
                                        u"\xD83D\xDE00 smile",
                                        u"lone \xDC00",
                                        u"\x00E4\x00F6\x00FC\x00DF",
                                        g_loginName};
        SHORT k = 0;
        for (const std::u16string& t : texts) {
            entries.push_back({t, false, u"c:" + t, {k, static_cast<SHORT>(-k), -32768, static_cast<SHORT>(-1 - k), 32767, k}});
            ++k;
        }
        entries.push_back({u"", true, u"null name", {7, 7, 7, 7, 7, 7}});
        return entries;
    }
    const int n = g_mask == u"many" ? 1000 : 50;
    for (int i = 0; i < n; ++i) {
        std::string name = "Var" + std::to_string(i);
        std::string cmnt = "Comment " + std::to_string(i);
        const SHORT v = static_cast<SHORT>(i);
        entries.push_back({std::u16string(name.begin(), name.end()), false, std::u16string(cmnt.begin(), cmnt.end()),
                           {static_cast<SHORT>(-v), static_cast<SHORT>(v * 2), static_cast<SHORT>(v + 1),
                            static_cast<SHORT>(-1000 - v), static_cast<SHORT>(v % 3), static_cast<SHORT>(v * 8)}});
    }
    return entries;
}

bool Is(const DISPPARAMS* p, UINT position, VARTYPE vt) {
    return p->rgvarg[p->cArgs - 1 - position].vt == vt;
}

VARIANT& Arg(const DISPPARAMS* p, UINT position) { return p->rgvarg[p->cArgs - 1 - position]; }

// Checks the count and the type of every argument; the failing index goes
// to *argErr in DISPPARAMS order, as a dispatcher reports it.
HRESULT Expect(const DISPPARAMS* p, std::initializer_list<VARTYPE> types, UINT* argErr) {
    if (p == nullptr || p->cNamedArgs != 0 || p->cArgs != types.size())
        return DISP_E_BADPARAMCOUNT;
    UINT position = 0;
    for (VARTYPE vt : types) {
        if (!Is(p, position, vt)) {
            if (argErr != nullptr)
                *argErr = p->cArgs - 1 - position;
            return DISP_E_TYPEMISMATCH;
        }
        ++position;
    }
    return S_OK;
}

SAFEARRAY* MakeArray(VARTYPE vt, LONG lower, ULONG elements, UINT dims = 1) {
    SAFEARRAYBOUND bounds[2] = {{elements, lower}, {2, 0}};
    return SafeArrayCreate(vt, dims, bounds);
}

void Put(VARIANT* cell, VARTYPE vt, SAFEARRAY* array) {
    VariantClear(cell);
    cell->vt = VT_ARRAY | vt;
    cell->parray = array;
}

// GetVarInfoBlock: a block of the selection, or a malformed reply chosen by
// the mask: "badtype" (types as VT_I4), "short" (sizes one element short),
// "twodim" (addresses two-dimensional), "huge" (count 32767 with arrays
// of the block's size), "missing" (comments left empty), "lbound" (arrays
// with lower bound 1), "fail" (everything filled, status 3).
SHORT Block(DISPPARAMS* p) {
    LONG* iterator = Arg(p, 1).plVal;
    SHORT* req = Arg(p, 2).piVal;
    SHORT* ret = Arg(p, 3).piVal;
    // The bridge must pass a zero count and eight empty VARIANTs.
    if (*ret != 0)
        return 90;
    for (UINT k = 0; k < 8; ++k) {
        if (Arg(p, 4 + k).pvarVal->vt != VT_EMPTY)
            return static_cast<SHORT>(91 + k);
    }
    const std::vector<Entry> entries = Catalogue();
    int n = *req < 0 ? 400 : *req;
    if (n > static_cast<int>(entries.size()) - g_position)
        n = static_cast<int>(entries.size()) - g_position;
    const LONG lower = g_mask == u"lbound" ? 1 : 0;
    const ULONG elements = static_cast<ULONG>(*req < 0 ? 400 : *req);
    SAFEARRAY* strings[2] = {MakeArray(VT_BSTR, lower, elements), MakeArray(VT_BSTR, lower, elements)};
    SAFEARRAY* numbers[6];
    for (int k = 0; k < 6; ++k) {
        VARTYPE vt = (k == 0 && g_mask == u"badtype") ? VT_I4 : VT_I2;
        ULONG size = (k == 1 && g_mask == u"short" && elements > 0) ? elements - 1 : elements;
        numbers[k] = MakeArray(vt, lower, size, (k == 2 && g_mask == u"twodim") ? 2 : 1);
    }
    for (int i = 0; i < n; ++i) {
        const Entry& e = entries[static_cast<size_t>(g_position + i)];
        LONG at = lower + i;
        BSTR name = e.nullName ? nullptr : SysAllocStringLen(e.name.data(), static_cast<UINT>(e.name.size()));
        BSTR cmnt = SysAllocStringLen(e.cmnt.data(), static_cast<UINT>(e.cmnt.size()));
        SafeArrayPutElement(strings[0], &at, name);
        SafeArrayPutElement(strings[1], &at, cmnt);
        SysFreeString(name);
        SysFreeString(cmnt);
        for (int k = 0; k < 6; ++k) {
            if (k == 1 && g_mask == u"short" && i == n - 1)
                continue;
            LONG wide = e.numbers[k];
            if (SafeArrayGetDim(numbers[k]) == 1)
                SafeArrayPutElement(numbers[k], &at, k == 0 && g_mask == u"badtype" ? static_cast<void*>(&wide)
                                                                                     : const_cast<SHORT*>(&e.numbers[k]));
        }
    }
    Put(Arg(p, 4).pvarVal, VT_BSTR, strings[0]);
    if (g_mask == u"missing")
        SafeArrayDestroy(strings[1]);
    else
        Put(Arg(p, 5).pvarVal, VT_BSTR, strings[1]);
    for (int k = 0; k < 6; ++k)
        Put(Arg(p, 6 + k).pvarVal, k == 0 && g_mask == u"badtype" ? VT_I4 : VT_I2, numbers[k]);
    g_position += n;
    *ret = static_cast<SHORT>(g_mask == u"huge" ? 32767 : n);
    *iterator += n;
    *req = 999; // an updated request that the bridge must not hand back
    return g_mask == u"fail" ? 3 : 0;
}

class FakeDocument final : public IDispatch {
public:
    FakeDocument() { ++g_objects; }

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        const ULONG left = --m_refs;
        if (left == 0) {
            --g_objects;
            g_lastActivityMs = NowMs();
            delete this;
        }
        return left;
    }
    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return DISP_E_BADINDEX; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }

    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p, VARIANT* result, EXCEPINFO* excep,
                   UINT* argErr) override {
        g_lastActivityMs = NowMs();
        if (flags != DISPATCH_METHOD || result == nullptr)
            return DISP_E_MEMBERNOTFOUND;
        SHORT rc = 1;
        HRESULT hr = S_OK;
        switch (id) {
        case 2: // Login(ref long Handle, BSTR Name)
            hr = Expect(p, {VT_BYREF | VT_I4, VT_BSTR}, argErr);
            if (SUCCEEDED(hr)) {
                BSTR name = Arg(p, 1).bstrVal;
                const std::u16string text(name == nullptr ? u"" : name, SysStringLen(name));
                if (text == u"refuse") {
                    if (argErr != nullptr)
                        *argErr = 0;
                    return DISP_E_TYPEMISMATCH;
                }
                if (text == u"raise") {
                    if (excep != nullptr) {
                        *excep = {};
                        excep->bstrDescription = SysAllocString(u"refused");
                        excep->scode = E_ACCESSDENIED;
                    }
                    return DISP_E_EXCEPTION;
                }
                *Arg(p, 0).plVal = text == u"reject" ? 0 : kHandle;
                rc = text == u"reject" ? 1 : 0;
                if (rc == 0)
                    g_loginName = text;
            }
            break;
        case 3: // Logout(ref long Handle, short KeepProject)
            hr = Expect(p, {VT_BYREF | VT_I4, VT_I2}, argErr);
            if (SUCCEEDED(hr))
                rc = *Arg(p, 0).plVal == kHandle ? 0 : 1;
            break;
        case 4: // ProjOpen(long Handle, BSTR ProjPath)
            hr = Expect(p, {VT_I4, VT_BSTR}, argErr);
            if (SUCCEEDED(hr)) {
                BSTR path = Arg(p, 1).bstrVal;
                if (std::u16string(path == nullptr ? u"" : path, SysStringLen(path)) == u"die")
                    _exit(3);
                rc = Arg(p, 0).lVal == kHandle ? 0 : 1;
            }
            break;
        case 14: // GetProjStampCC(long Handle, ref long relMsec, ref short relDate)
            hr = Expect(p, {VT_I4, VT_BYREF | VT_I4, VT_BYREF | VT_I2}, argErr);
            if (SUCCEEDED(hr)) {
                *Arg(p, 1).plVal = kStampMsec;
                *Arg(p, 2).piVal = kStampDate;
                rc = Arg(p, 0).lVal == kHandle ? 0 : 1;
            }
            break;
        case 19: // SetVarInfoFilter(long, BSTR, short, short, long, ref long)
            hr = Expect(p, {VT_I4, VT_BSTR, VT_I2, VT_I2, VT_I4, VT_BYREF | VT_I4}, argErr);
            if (SUCCEEDED(hr)) {
                BSTR mask = Arg(p, 1).bstrVal;
                g_mask.assign(mask == nullptr ? u"" : mask, SysStringLen(mask));
                g_position = 0;
                // The three masks come back through the iterator, so the
                // tests see that each arrived in its place.
                *Arg(p, 5).plVal = Arg(p, 2).iVal * 1000000 + Arg(p, 3).iVal * 1000 + Arg(p, 4).lVal;
                rc = Arg(p, 0).lVal == kHandle ? 0 : 1;
            }
            break;
        case 20: { // GetVarInfoBlock(long, ref long, ref short, ref short, 8 x ref VARIANT)
            hr = Expect(p,
                        {VT_I4, VT_BYREF | VT_I4, VT_BYREF | VT_I2, VT_BYREF | VT_I2, VT_BYREF | VT_VARIANT,
                         VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT,
                         VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT},
                        argErr);
            if (SUCCEEDED(hr)) {
                rc = Block(p);
                if (Arg(p, 0).lVal != kHandle)
                    rc = 1;
            }
            break;
        }
        case 21: // GetStateRamLayout(long Handle, 9 x ref long)
            hr = Expect(p,
                        {VT_I4, VT_BYREF | VT_I4, VT_BYREF | VT_I4, VT_BYREF | VT_I4, VT_BYREF | VT_I4,
                         VT_BYREF | VT_I4, VT_BYREF | VT_I4, VT_BYREF | VT_I4, VT_BYREF | VT_I4, VT_BYREF | VT_I4},
                        argErr);
            if (SUCCEEDED(hr)) {
                // Each cell comes back with 100 added to what was passed.
                for (UINT k = 1; k <= 9; ++k)
                    *Arg(p, k).plVal += 100;
                rc = Arg(p, 0).lVal == kHandle ? 0 : 1;
            }
            break;
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
        if (FAILED(hr))
            return hr;
        VariantClear(result);
        result->vt = VT_I2;
        result->iVal = rc;
        return S_OK;
    }

private:
    ~FakeDocument() = default;
    std::atomic<ULONG> m_refs{1};
};

class Factory final : public IClassFactory {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        FakeDocument* document = new FakeDocument();
        const HRESULT hr = document->QueryInterface(iid, object);
        document->Release();
        return hr;
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

bool SetKey(const std::string& path, const std::string& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LSTATUS status = RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                          static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

int Register() {
    std::vector<char> self(4096);
    const DWORD length = GetModuleFileNameA(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (length == 0 || length >= self.size())
        return 1;
    const std::string clsid = korvane::platform::GuidToText(CLSID_FakeDocument);
    const bool ok = SetKey("Varsvc.Document\\CLSID", clsid) && SetKey("CLSID\\" + clsid, "Varsvc.Document") &&
                    SetKey("CLSID\\" + clsid + "\\LocalServer32", std::string(self.data(), length));
    return ok ? 0 : 1;
}

int Serve() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    g_mainThread = GetCurrentThreadId();
    static Factory factory;
    DWORD cookie = 0;
    if (FAILED(CoRegisterClassObject(CLSID_FakeDocument, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                     &cookie)))
        return 1;
    g_lastActivityMs = NowMs();
    std::thread([] {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (g_objects.load() == 0 && NowMs() - g_lastActivityMs.load() > kIdleMs) {
                PostThreadMessageA(g_mainThread, WM_QUIT, 0, 0);
                return;
            }
        }
    }).detach();
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    CoRevokeClassObject(cookie);
    CoUninitialize();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "-RegServer") == 0)
        return Register();
    return Serve();
}
