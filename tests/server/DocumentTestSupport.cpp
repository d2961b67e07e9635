// Helpers of the document-interface tests (see DocumentTestSupport.h).
#include "tests/server/DocumentTestSupport.h"

#include <cstdio>
#include <functional>
#include <mutex>

#include "platform/Text.h"
#include "platform/TypeLibRegistration.h"
#include "server/CDocumentSupport.h"
#include "server/LoginSet.h"
#include "server/ProjectSet.h"

namespace servertest {

namespace {

// The project set of the process asks this factory for every new project's
// type compiler; each DocumentEnv points it at its own declarations.
std::mutex g_factoryLock;
TypeCompilerFactory g_factory;

std::unique_ptr<TypeCompiler> ForwardingFactory() {
    std::lock_guard<std::mutex> guard(g_factoryLock);
    return g_factory ? g_factory() : nullptr;
}

// Installed before main, before anything can make the project set.
const bool g_factoryInstalled = [] {
    ProjectSet::SetDefaultTypeCompilerFactory(&ForwardingFactory);
    return true;
}();

void UseFactory(TypeCompilerFactory factory) {
    std::lock_guard<std::mutex> guard(g_factoryLock);
    g_factory = std::move(factory);
}

} // namespace

Bstr::Bstr(const std::string& text) : value(varsvc::BstrFromNarrow(text)) {}

Bstr::Bstr(const char16_t* text) : value(SysAllocString(text)) {}

std::string Bstr::text() const { return varsvc::NarrowFromBstr(value); }

Var& Var::Marker(VARTYPE vt) {
    VariantClear(&value);
    value.vt = vt;
    if (vt == VT_I2)
        value.iVal = 0;
    else
        value.lVal = 0;
    return *this;
}

Var& Var::I4(LONG v) {
    VariantClear(&value);
    value.vt = VT_I4;
    value.lVal = v;
    return *this;
}

Var& Var::Strings(const std::vector<const char*>& texts) {
    VariantClear(&value);
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
    BSTR* data = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
    for (size_t i = 0; i < texts.size(); ++i)
        data[i] = texts[i] == nullptr ? nullptr : varsvc::BstrFromNarrow(texts[i]);
    SafeArrayUnaccessData(array);
    value.vt = VT_ARRAY | VT_BSTR;
    value.parray = array;
    return *this;
}

Var& Var::Shorts(const std::vector<SHORT>& values) {
    VariantClear(&value);
    SAFEARRAY* array = SafeArrayCreateVector(VT_I2, 0, static_cast<ULONG>(values.size()));
    SHORT* data = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
    for (size_t i = 0; i < values.size(); ++i)
        data[i] = values[i];
    SafeArrayUnaccessData(array);
    value.vt = VT_ARRAY | VT_I2;
    value.parray = array;
    return *this;
}

std::vector<std::string> StringsOf(const VARIANT& v) {
    std::vector<std::string> out;
    if (v.vt != (VT_ARRAY | VT_BSTR) || v.parray == nullptr)
        return out;
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(v.parray, 1, &lower);
    SafeArrayGetUBound(v.parray, 1, &upper);
    BSTR* data = nullptr;
    SafeArrayAccessData(v.parray, reinterpret_cast<void**>(&data));
    for (LONG i = 0; i <= upper - lower; ++i)
        out.push_back(data[i] == nullptr ? std::string("<null>") : varsvc::NarrowFromBstr(data[i]));
    SafeArrayUnaccessData(v.parray);
    return out;
}

std::vector<int32_t> NumbersOf(const VARIANT& v) {
    std::vector<int32_t> out;
    if ((v.vt != (VT_ARRAY | VT_I2) && v.vt != (VT_ARRAY | VT_I4)) || v.parray == nullptr)
        return out;
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(v.parray, 1, &lower);
    SafeArrayGetUBound(v.parray, 1, &upper);
    void* data = nullptr;
    SafeArrayAccessData(v.parray, &data);
    for (LONG i = 0; i <= upper - lower; ++i)
        out.push_back(v.vt == (VT_ARRAY | VT_I2) ? static_cast<SHORT*>(data)[i]
                                                 : static_cast<LONG*>(data)[i]);
    SafeArrayUnaccessData(v.parray);
    return out;
}

std::string EntryTraceOf(const std::string& member) {
    return std::string(kDocumentCompileTime) + ": CDocument::" + member + " () invoked.";
}

std::string LogLine(const std::string& german) { return "VARSVC32\t" + german + "\r\n"; }

std::string Hex(LONG handle) {
    char text[16];
    snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(handle));
    return text;
}

void RegisterVarsvcLibrary() {
    TypeLibAddCompiled(&kVarsvcTypeLib);
    RegisterTypeLib(&kVarsvcTypeLib, u"/opt/varsvc/bin/varsvc", u"/opt/varsvc/bin");
}

DocumentEnv::DocumentEnv(DeclaredTypeCompiler::Declarations declarations) {
    env = std::make_unique<ProjectEnv>(std::move(declarations));
    UseFactory(env->Factory());
    registry = std::make_unique<EnvOverride>("KORVANE_REGISTRY", env->At("registry.db").c_str());
    RegisterVarsvcLibrary();
    // Each environment looks the library up anew, in its own store.
    CDocument::ForgetTypeInfo();
    void* object = nullptr;
    CDocument::Create(nullptr, IID_IVarsvc, &object, module);
    doc = static_cast<IVarsvc*>(object);
    capture = std::make_unique<DebugCapture>();
}

DocumentEnv::~DocumentEnv() {
    capture.reset();
    if (doc != nullptr)
        doc->Release();
    CDocument::ForgetTypeInfo();
    UseFactory(nullptr);
    registry.reset();
    env.reset();
}

IVarsvc* DocumentEnv::NewDocument() {
    void* object = nullptr;
    CDocument::Create(nullptr, IID_IVarsvc, &object, module);
    return static_cast<IVarsvc*>(object);
}

std::string DocumentEnv::ProjectKey() const {
    std::string key = env->ProjectPath();
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}

LONG DocumentEnv::Login(const std::string& name) {
    LONG handle = 0;
    SHORT rc = -99;
    Bstr text(name);
    doc->Login(&handle, text.get(), &rc);
    return rc == 0 ? handle : 0;
}

LONG DocumentEnv::Open(const std::string& path) {
    LONG handle = Login();
    if (handle == 0)
        return 0;
    SHORT rc = -99;
    Bstr text(path.empty() ? env->ProjectPath() : path);
    doc->ProjOpen(handle, text.get(), &rc);
    return rc == 0 ? handle : 0;
}

std::vector<std::string> DocumentEnv::Traces() {
    std::vector<std::string> texts = TraceTexts(capture->Records());
    capture->Clear();
    return texts;
}

void DocumentEnv::ClearTraces() { capture->Clear(); }

std::vector<std::string> DocumentEnv::Logs() {
    std::vector<std::string> lines;
    const std::string all = env->LogLines();
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(all.substr(start));
            break;
        }
        lines.push_back(all.substr(start, end + 2 - start));
        start = end + 2;
    }
    return lines;
}

} // namespace servertest

namespace servertest {

::testing::AssertionResult InOrder(const std::vector<std::string>& all,
                                   const std::vector<std::string>& wanted) {
    size_t at = 0;
    for (const std::string& w : wanted) {
        while (at < all.size() && all[at] != w)
            ++at;
        if (at == all.size()) {
            std::string seen;
            for (const std::string& a : all)
                seen += "\n  [" + a + "]";
            return ::testing::AssertionFailure() << "missing (in order): [" << w << "]; seen:" << seen;
        }
        ++at;
    }
    return ::testing::AssertionSuccess();
}

// name,unused,kind,unused,type,size,section,offset,unused x3,flag,comment
const std::vector<std::string> kDocumentLines = {
    "Motor,1,1,0,MOTOR_T,3,4,100,0,0,0,1,Main drive",
    "MOTOR2,2,1,0,MOTOR_T,3,4,103,0,0,0,0,Second drive",
    "Motor1,3,2,0,INT,2,0,0,0,0,0,0,Speed",
    "buf,4,1,0,BUF_T,6,4,200,0,0,0,0,Buffer",
    "m,5,1,0,M2_T,16,4,300,0,0,0,0,Matrix",
    "x,8,1,0,INT,2,3,40,0,0,0,0,Shares an address",
    "y,9,5,0,INT,2,3,40,0,0,0,0,Shares it too",
    "Counter,10,2,0,DINT,4,0,0,0,0,0,0,Count",
};

} // namespace servertest
