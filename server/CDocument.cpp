// CDocument: identity, aggregation, dispatch, the handle checks, the members
// that manage logins, projects, stamps and the control packet, the members
// that are not served, and the class object.
#include "server/CDocument.h"

#include <cmath>
#include <new>

#include "platform/DispatchInvoke.h"
#include "platform/MessageLoop.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "platform/TypeLibRegistration.h"
#include "server/CDocumentSupport.h"
#include "server/KorvaneProject.h"
#include "server/LogPipe.h"
#include "server/Login.h"
#include "server/LoginSet.h"
#include "server/ProjectSet.h"
#include "server/ServerModule.h"
#include "server/Trace.h"

// The time of day this module was compiled ("hh:mm:ss").
const char* const kDocumentCompileTime = __TIME__;

namespace varsvc {

std::string NarrowFromBstr(BSTR text) {
    const UINT length = SysStringLen(text);
    if (length == 0)
        return std::string();
    std::string narrow(length, '\0');
    // Every UTF-16 unit of the BMP maps to one byte of Windows-1252 ('?' when
    // it has none); a surrogate pair becomes one byte, so the result may be
    // shorter than the input.
    int written = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), narrow.data(),
                                      static_cast<int>(length), nullptr, nullptr);
    narrow.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return narrow;
}

BSTR BstrFromNarrow(std::string_view text) {
    if (text.empty())
        return SysAllocStringLen(nullptr, 0);
    BSTR wide = SysAllocStringLen(nullptr, static_cast<UINT>(text.size()));
    if (wide == nullptr)
        return nullptr;
    // Windows-1252 maps the ASCII bytes to themselves: most catalogue texts
    // are ASCII and are widened directly; any other byte goes through the
    // code page. Every byte is one UTF-16 unit either way. The high bits are
    // gathered without a branch, so that the loop widens many bytes a step.
    unsigned char high = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        high |= c;
        wide[i] = static_cast<OLECHAR>(c);
    }
    if ((high & 0x80) != 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide,
                            static_cast<int>(text.size()));
    return wide;
}

bool ReplaceBstr(BSTR* slot, const std::string& text) {
    if (slot == nullptr)
        return true;
    BSTR fresh = BstrFromNarrow(text);
    if (fresh == nullptr)
        return false;
    SysFreeString(*slot);
    *slot = fresh;
    return true;
}

bool IsNotWanted(const VARIANT* v) {
    if (v == nullptr)
        return true;
    return (v->vt == VT_I2 && v->iVal == 0) || (v->vt == VT_I4 && v->lVal == 0);
}

bool MakeResultArray(VARIANT* v, VARTYPE vt, ULONG count) {
    if (v == nullptr)
        return false;
    VariantClear(v);
    // A VARIANT whose type VariantClear does not know is left as it is;
    // it is overwritten all the same (it owns nothing this code could free).
    VariantInit(v);
    SAFEARRAY* array = SafeArrayCreateVector(vt, 0, count);
    if (array == nullptr)
        return false;
    v->vt = static_cast<VARTYPE>(VT_ARRAY | vt);
    v->parray = array;
    return true;
}

void EntryTrace(const char* member) {
    Trace(1, "", 0, "%s: CDocument::%s () invoked.", kDocumentCompileTime, member);
}

} // namespace varsvc

using namespace varsvc;

namespace {

// The registry key and value of the default project.
constexpr char kDefaultProjectKey[] = "SOFTWARE\\Velmora Automation\\Norvik\\Devices";
constexpr char kDefaultProjectValue[] = "Symb00";
constexpr DWORD kDefaultProjectBytes = 256;

// The value of the control packet that asks for the server's identity, and
// the answer.
constexpr LONG kExecRequQuit = 0;
constexpr LONG kExecRequIdentify = 86;
constexpr LONG kExecRequIdentity = 67108881; // 0x04000011

// The client's 32-bit handle as the login set's identifier.
uint32_t HandleBits(LONG handle) { return static_cast<uint32_t>(handle); }

// The default project path of the registry, or "".
std::string RegistryDefaultProject() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDefaultProjectKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::string();
    char buffer[kDefaultProjectBytes + 1] = {};
    DWORD size = kDefaultProjectBytes;
    DWORD type = REG_NONE;
    LSTATUS status = RegQueryValueExA(key, kDefaultProjectValue, nullptr, &type,
                                      reinterpret_cast<LPBYTE>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::string();
    // The stored bytes need not end with a zero: the spare byte ends them.
    buffer[size <= kDefaultProjectBytes ? size : kDefaultProjectBytes] = '\0';
    return std::string(buffer);
}

// The type description that IDispatch calls are served from: IVarsvc of
// the registered library "Varsvc" 1.0, looked up at the first call and
// kept (as a type-information holder keeps its type information), since
// the lookup reads the registry.
std::atomic<const InterfaceDescription*> g_cachedInterface{nullptr};

HRESULT VarsvcInterface(const InterfaceDescription** iface) {
    std::atomic<const InterfaceDescription*>& cached = g_cachedInterface;
    const InterfaceDescription* found = cached.load();
    if (found == nullptr) {
        const TypeLibDescription* lib = nullptr;
        HRESULT hr = LoadRegTypeLib(LIBID_Varsvc, kVarsvcLibMajor, kVarsvcLibMinor, kVarsvcLibLcid, &lib);
        if (FAILED(hr))
            return hr;
        found = TypeLibFindInterface(lib, IID_IVarsvc);
        if (found == nullptr)
            return TYPE_E_ELEMENTNOTFOUND;
        cached.store(found);
    }
    *iface = found;
    return S_OK;
}

} // namespace

// ---------------------------------------------------------------- identity

CDocument::CDocument(IUnknown* outer, ServerModule& m)
    : inner(*this), controlling(outer != nullptr ? outer : &inner), module(m) {
    module.Lock();
}

CDocument::~CDocument() { module.Unlock(); }

HRESULT CDocument::Create(IUnknown* outer, REFIID iid, void** object, ServerModule& module) {
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    // An aggregate must take the inner object's own IUnknown.
    if (outer != nullptr && iid != IID_IUnknown)
        return CLASS_E_NOAGGREGATION;
    CDocument* doc = new (std::nothrow) CDocument(outer, module);
    if (doc == nullptr)
        return E_OUTOFMEMORY;
    // The new object holds one reference of its own until the query has
    // added the caller's.
    HRESULT hr = doc->inner.QueryInterface(iid, object);
    doc->inner.Release();
    return hr;
}

HRESULT CDocument::Inner::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IUnknown) {
        *object = static_cast<IUnknown*>(this);
    } else if (iid == IID_IDispatch || iid == IID_IVarsvc) {
        *object = static_cast<IVarsvc*>(&doc);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    static_cast<IUnknown*>(*object)->AddRef();
    return S_OK;
}

ULONG CDocument::Inner::AddRef() { return ++doc.refs; }

ULONG CDocument::Inner::Release() {
    ULONG left = --doc.refs;
    if (left == 0)
        delete &doc;
    return left;
}

HRESULT CDocument::QueryInterface(REFIID iid, void** object) {
    return controlling->QueryInterface(iid, object);
}

ULONG CDocument::AddRef() { return controlling->AddRef(); }

ULONG CDocument::Release() { return controlling->Release(); }

// ---------------------------------------------------------------- dispatch

void CDocument::ForgetTypeInfo() { g_cachedInterface.store(nullptr); }

HRESULT CDocument::GetTypeInfoCount(UINT* count) {
    if (count == nullptr)
        return E_INVALIDARG;
    *count = 0;
    return S_OK;
}

HRESULT CDocument::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info != nullptr)
        *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT CDocument::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* dispids) {
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    const InterfaceDescription* iface = nullptr;
    HRESULT hr = VarsvcInterface(&iface);
    if (FAILED(hr))
        return hr;
    return DispGetIDsOfNames(iface, names, count, dispids);
}

HRESULT CDocument::Invoke(DISPID dispid, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                          VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    const InterfaceDescription* iface = nullptr;
    HRESULT hr = VarsvcInterface(&iface);
    if (FAILED(hr))
        return hr;
    return DispInvoke(static_cast<IVarsvc*>(this), iface, dispid, flags, params, result, excepInfo,
                      argErr);
}

// ------------------------------------------------------------ handle checks

bool CDocument::FindLoginByHandle(LONG handle, ::Login*& login) {
    login = nullptr;
    if (C_LoginSet::Instance().Find(HandleBits(handle), login))
        return true;
    login = nullptr;
    Trace(3, TRACE_HERE, "CDocument::FindLoginByHandle: Found no Login for handle: 0x%08X",
          HandleBits(handle));
    LogMessage("FindLoginByHandle: invalid handle 0x%08X",
               "FindLoginByHandle: Fehler - ung\xfcltiges Handle 0x%08X", HandleBits(handle));
    return false;
}

bool CDocument::FindProjectByHandle(LONG handle, KorvaneProject*& project, VarSelection*& selection) {
    project = nullptr;
    selection = nullptr;
    ::Login* login = nullptr;
    if (!C_LoginSet::Instance().Find(HandleBits(handle), login) || login == nullptr) {
        Trace(3, TRACE_HERE, "CDocument::FindProjectByHandle: Handle 0x%08X not found!",
              HandleBits(handle));
        LogMessage("FindProjectByHandle: invalid handle 0x%08X",
                   "FindProjectByHandle: Fehler - ung\xfcltiges Handle 0x%08X", HandleBits(handle));
        return false;
    }
    project = login->Project();
    selection = &login->Selection();
    if (project == nullptr)
        Trace(3, TRACE_HERE,
              "CDocument::FindProjectByHandle: This Login isn't attached to a project, yet (Handle: "
              "0x%08X).",
              HandleBits(handle));
    return project != nullptr && selection != nullptr;
}

bool CDocument::FindOrAddProject(BSTR path, KorvaneProject*& project) {
    project = nullptr;
    std::string text = NarrowFromBstr(path);
    if (text.empty() || text == "*") {
        text = ProjectSet::Instance().FirstPath();
        if (text.empty())
            text = RegistryDefaultProject();
        if (text.empty()) {
            Trace(3, TRACE_HERE,
                  "CDocument::FindOrAddProject: couldn't retrieve default project - no new project "
                  "created.");
            LogMessage("ProjReOpen: Error while retrieving default project",
                       "ProjReOpen: Fehler beim Ermitteln des Default-Projektes");
            return false;
        }
    }
    // Projects are known by their lower-cased path (ASCII letters only).
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    project = ProjectSet::Instance().FindProject(text);
    if (project == nullptr && !KorvaneProject::FindOrAddProject(text, project))
        project = nullptr;
    return project != nullptr;
}

// ------------------------------------------------------- logins, projects

HRESULT CDocument::ExecRequ(VARIANT* xPacket, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    *rc = 1;
    EntryTrace("ExecRequ");
    if (xPacket == nullptr || xPacket->vt != VT_I4) {
        Trace(3, TRACE_HERE, "Server needs compatible clients!\nCannot work in this environment!");
        return S_OK;
    }
    if (xPacket->lVal == kExecRequQuit)
        module.PostQuit();
    else if (xPacket->lVal == kExecRequIdentify)
        xPacket->lVal = kExecRequIdentity;
    *rc = 0;
    return S_OK;
}

HRESULT CDocument::Login(LONG* Handle, BSTR Name, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    const std::string name = Name == nullptr ? std::string("<NoName>") : NarrowFromBstr(Name);
    *rc = 1;
    EntryTrace("Login");
    ::Login* login = nullptr;
    if (C_LoginSet::Instance().bAdd(name, login) && login != nullptr) {
        const uint32_t handle = login->Handle();
        SetOut(Handle, static_cast<LONG>(handle));
        *rc = 0;
        Trace(1, "", 0, "C_KorvaneProject::Login: Login completed. Handle: 0x%08X,Login-Name: '%s'.",
              handle, name.c_str());
        LogMessage("Login (handle = 0x%08X)", "Login (handle = 0x%08X)", handle);
    } else {
        SetOut(Handle, 0);
        Trace(1, "", 0, "C_KorvaneProject::Login: Login failed.");
        LogMessage("Login failed (login name '%s')", "Login ist fehlgeschlagen (login name '%s')",
                   name.c_str());
    }
    return S_OK;
}

HRESULT CDocument::Logout(LONG* Handle, SHORT /*KeepProject*/, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    *rc = 1;
    EntryTrace("Logout");
    const uint32_t handle = Handle == nullptr ? 0u : HandleBits(*Handle);
    if (Handle != nullptr && C_LoginSet::Instance().bRemove(handle)) {
        *rc = 0;
        Trace(1, "", 0, "C_KorvaneProject::Logout: Successfully logged out. Handle: 0x%08X", handle);
        LogMessage("Logout (handle = 0x%08X)", "Logout (Handle = 0x%08X)", handle);
    } else {
        Trace(3, TRACE_HERE, "C_KorvaneProject::Logout: Handle 0x%08X not found!", handle);
        LogMessage("Error during logout (invalid handle 0x%08X)",
                   "Fehler w\xe4hrend Logout aufgetreten (ung\xfcltiges Handle 0x%08X)", handle);
    }
    return S_OK;
}

HRESULT CDocument::ProjOpen(LONG Handle, BSTR ProjPath, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    *rc = 1;
    EntryTrace("ProjOpen");
    ::Login* login = nullptr;
    KorvaneProject* project = nullptr;
    VarSelection* selection = nullptr;
    bool ok = FindLoginByHandle(Handle, login);
    // A login opens one project for its life; ProjReOpen re-reads it.
    if (ok && (FindProjectByHandle(Handle, project, selection) || project != nullptr))
        ok = false;
    if (ok && !FindOrAddProject(ProjPath, project))
        ok = false;
    if (ok) {
        login->Attach(project, NarrowFromBstr(ProjPath));
        *rc = 0;
        Trace(1, "", 0, "CDocument::ProjOpen: Succeeded!");
        LogMessage("ProjOpen: project '%s' opened", "ProjOpen: Projekt '%s' ge\xf6" "ffnet",
                   project->FullPath().c_str());
    } else {
        Trace(3, TRACE_HERE, "C_KorvaneProject::ProjOpen: Failed.");
        LogMessage("Error during ProjOpen", "Projekt konnte nicht ge\xf6" "ffnet werden");
    }
    return S_OK;
}

HRESULT CDocument::ProjReOpen(LONG Handle, BSTR ProjPath, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    *rc = -1;
    Trace(1, "", 0, "CDocument::ProjReopen () invoked.");
    const uint32_t handle = HandleBits(Handle);
    ::Login* login = nullptr;
    if (!C_LoginSet::Instance().Find(handle, login) || login == nullptr) {
        Trace(3, TRACE_HERE,
              "C_KorvaneProject::ProjReOpen: Handle 0x%08X not found for Project to re-open!", handle);
        LogMessage("ProjReOpen: invalid handle 0x%08X", "ProjReOpen: ung\xfcltiges Handle 0x%08X",
                   handle);
        return S_OK;
    }
    KorvaneProject* project = login->Project();
    if (project == nullptr) {
        Trace(3, TRACE_HERE,
              "CDocument::ProjReOpen: Login 0x%08X isn't attached to a project - can't re-open.",
              handle);
        LogMessage("ProjReOpen: handle 0x%08X is not attached to a project",
                   "ProjReOpen: Handle 0x%08X ist an kein Projekt gebunden", handle);
        return S_OK;
    }
    const std::string path = NarrowFromBstr(ProjPath);
    if (path != login->ProjectPath()) {
        Trace(3, TRACE_HERE,
              "CDocument::ProjReOpen: the handle 0x%08X is not attached to Project '%s',\nbut to "
              "project '%s'.",
              handle, path.c_str(), login->ProjectPath().c_str());
        LogMessage("ProjReOpen: handle 0x%08X is not attached to this project",
                   "ProjReOpen: Handle 0x%08X ist nicht an dieses Projekt gebunden", handle);
        return S_OK;
    }

    const std::string& stored = project->FullPath();
    LogMessage("ProjReOpen: invoked for project '%s'", "ProjReOpen: Projekt '%s' wird neu gelesen",
               stored.c_str());
    unsigned short date = 0;
    int32_t msec = 0;
    bool upToDate = false;
    if (!project->bVerifyTimeStamp(date, msec, upToDate)) {
        *rc = 2;
        Trace(3, TRACE_HERE, "CDocument::ProjReOpen: VerifyTimeStamp (...) failed.");
        LogMessage("ProjReOpen: version stamp check failed",
                   "ProjReOpen: Zeitstempelvergleich ist fehlgeschlagen");
        return S_OK;
    }
    if (upToDate) {
        *rc = 0;
        return S_OK;
    }
    if (project->bRead(true)) {
        *rc = 1;
        Trace(1, "", 0,
              "C_KorvaneProject::ProjReOpen: re-opened successfully project with handle: 0x%08X",
              handle);
        LogMessage("ProjReOpen: Project '%s' re-opened successfully",
                   "ProjReOpen: Projekt '%s' neu gelesen", stored.c_str());
    } else {
        *rc = 2;
        Trace(3, TRACE_HERE, "C_KorvaneProject::ProjReOpen: Read (...) failed.");
        LogMessage("ProjReOpen: Error while reading project '%s'",
                   "ProjReOpen: Fehler beim Lesen des Projektes '%s'", stored.c_str());
    }
    return S_OK;
}

// ------------------------------------------------------------------ stamps

HRESULT CDocument::GetProjStampCC(LONG Handle, LONG* relMsec, SHORT* relDate, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    *rc = 1;
    EntryTrace("GetProjStampCC");
    KorvaneProject* project = nullptr;
    VarSelection* selection = nullptr;
    FindProjectByHandle(Handle, project, selection);
    if (project == nullptr)
        return S_OK;
    unsigned short date = 0;
    int32_t msec = 0;
    bool upToDate = false;
    if (project->bVerifyTimeStamp(date, msec, upToDate)) {
        SetOut(relDate, static_cast<SHORT>(date));
        SetOut(relMsec, msec);
        *rc = 0;
    } else {
        Trace(3, TRACE_HERE, "CDocument::GetProjStampCC: bVerifyTimeStamp (...) failed.");
    }
    if (upToDate)
        Trace(1, "", 0, "KorvaneProject::Read: var file %s is up to date.", project->FullPath().c_str());
    else
        Trace(1, "", 0, "KorvaneProject::Read: var file %s had been changed.",
              project->FullPath().c_str());
    return S_OK;
}

HRESULT CDocument::GetProjConsistency(LONG Handle, SHORT* IsConsistent, LONG* relMsec,
                                      SHORT* relDate, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    EntryTrace("GetProjConsistency");
    SetOut(IsConsistent, 1);
    return GetProjStampCC(Handle, relMsec, relDate, rc);
}

HRESULT CDocument::ConvRelMsecDate2DateMsec(LONG relMsec, SHORT relDate, DATE* Date, SHORT* Msec,
                                            SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    // 30682 is the automation day number of 1 January 1984, the origin of
    // the var file's dates. The milliseconds are multiplied by the constant
    // 1/86 400 000, not divided, which can differ in the last bit.
    constexpr double kDayPerMsec = 1.0 / 86400000.0;
    SetOut(Date, (static_cast<double>(relDate) + 30682.0) + static_cast<double>(relMsec) * kDayPerMsec);
    SetOut(Msec, static_cast<SHORT>(relMsec % 1000));
    *rc = 0;
    return S_OK;
}

HRESULT CDocument::GetProjStamp(LONG Handle, DATE* ProjDate, SHORT* ProjMsec, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    *rc = 1;
    EntryTrace("GetProjStamp");
    LONG msec = 0;
    SHORT date = 0;
    HRESULT hr = GetProjStampCC(Handle, &msec, &date, rc);
    if (hr != S_OK || *rc != 0)
        return E_FAIL;
    hr = ConvRelMsecDate2DateMsec(msec, date, ProjDate, ProjMsec, rc);
    if (hr != S_OK || *rc != 0)
        return E_FAIL;
    return S_OK;
}

// ---------------------------------------------------- members not served

// The address-index forms that the Ex members replaced: rc 1 and nothing
// else (no handle check, no trace, no output written).
#define NOT_SERVED          \
    if (rc == nullptr)      \
        return E_POINTER;   \
    *rc = 1;                \
    return S_OK

HRESULT CDocument::GetFirstVarInfo(LONG, BSTR, SHORT, SHORT, BSTR*, BSTR*, SHORT*, SHORT*, SHORT*,
                                   SHORT* rc) {
    NOT_SERVED;
}

HRESULT CDocument::GetNextVarInfo(LONG, BSTR*, BSTR*, SHORT*, SHORT*, SHORT*, SHORT* rc) {
    NOT_SERVED;
}

HRESULT CDocument::GetFirstAdrInfo(LONG, SHORT, SHORT, BSTR*, SHORT* rc) { NOT_SERVED; }

HRESULT CDocument::GetNextAdrInfo(LONG, BSTR*, SHORT* rc) { NOT_SERVED; }

HRESULT CDocument::GetNamedVarInfo(LONG, BSTR, BSTR*, SHORT*, SHORT*, SHORT*, SHORT*, SHORT*,
                                   SHORT*, SHORT* rc) {
    NOT_SERVED;
}

HRESULT CDocument::GetNamedVarInfos(LONG, VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT*,
                                    VARIANT*, VARIANT*, VARIANT*, SHORT* rc) {
    NOT_SERVED;
}

HRESULT CDocument::GetVarInfoBlock(LONG, LONG*, SHORT*, SHORT*, VARIANT*, VARIANT*, VARIANT*,
                                   VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT*, SHORT* rc) {
    NOT_SERVED;
}

HRESULT CDocument::GetAdrInfos(LONG, SHORT, SHORT, VARIANT*, SHORT* rc) { NOT_SERVED; }

HRESULT CDocument::GetNamedVarInfo2(LONG, BSTR, BSTR*, VARIANT*, LONG*, LONG*, LONG*, LONG*, LONG*,
                                    LONG*, LONG*, SHORT* rc) {
    NOT_SERVED;
}

#undef NOT_SERVED

// ------------------------------------------------------------ class object

HRESULT CDocumentFactory::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT CDocumentFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    return CDocument::Create(outer, iid, object, module);
}

HRESULT CDocumentFactory::LockServer(BOOL lock) {
    if (lock)
        module.Lock();
    else
        module.Unlock();
    return S_OK;
}
