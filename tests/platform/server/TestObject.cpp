// The test class and its description.
#include "tests/platform/server/TestObject.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "platform/Bstr.h"
#include "platform/SafeArray.h"
#include "platform/Variant.h"

std::atomic<long> g_testObjectsAlive{0};
std::atomic<long> g_testWorkRunning{0};
std::atomic<long> g_testWorkMaxRunning{0};
std::atomic<long> g_testWorkSleepLimitMs{60000};
std::atomic<long> g_testMakeStringsLimit{5L << 20};
void (*g_testQuitHook)() = nullptr;

namespace {

constexpr USHORT IN = PARAMFLAG_FIN;
constexpr USHORT INOUT = PARAMFLAG_FIN | PARAMFLAG_FOUT;
constexpr USHORT RETVAL = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

constexpr ParamDescription kAdd[] = {{u"a", VT_I4, IN}, {u"b", VT_I4, IN}, {u"sum", VT_BYREF | VT_I4, RETVAL}};
constexpr ParamDescription kConcat[] = {{u"a", VT_BSTR, IN}, {u"b", VT_BSTR, IN}, {u"joined", VT_BYREF | VT_BSTR, RETVAL}};
constexpr ParamDescription kSwap[] = {{u"a", VT_BYREF | VT_I4, INOUT}, {u"b", VT_BYREF | VT_I4, INOUT}};
constexpr ParamDescription kEcho[] = {{u"value", VT_VARIANT, IN}, {u"copy", VT_BYREF | VT_VARIANT, RETVAL}};
constexpr ParamDescription kAppend[] = {{u"text", VT_BYREF | VT_BSTR, INOUT}, {u"suffix", VT_BSTR, IN}};
constexpr ParamDescription kMakeStrings[] = {{u"count", VT_I4, IN}, {u"length", VT_I4, IN}, {u"array", VT_BYREF | VT_VARIANT, RETVAL}};
constexpr ParamDescription kSumArray[] = {{u"array", VT_BYREF | VT_VARIANT, IN}, {u"sum", VT_BYREF | VT_I4, RETVAL}};
constexpr ParamDescription kOptional[] = {{u"a", VT_I4, IN}, {u"b", VT_VARIANT, IN | PARAMFLAG_FOPT}, {u"result", VT_BYREF | VT_I4, RETVAL}};
constexpr ParamDescription kFail[] = {{u"hr", VT_I4, IN}};
constexpr ParamDescription kGetValue[] = {{u"value", VT_BYREF | VT_I4, RETVAL}};
constexpr ParamDescription kPutValue[] = {{u"value", VT_I4, IN}};
constexpr ParamDescription kDescribe[] = {{u"s", VT_I2, IN}, {u"d", VT_DATE, IN}, {u"b", VT_BOOL, IN}, {u"text", VT_BYREF | VT_BSTR, RETVAL}};
constexpr ParamDescription kWork[] = {{u"milliseconds", VT_I4, IN}, {u"threadId", VT_BYREF | VT_I4, RETVAL}};
constexpr ParamDescription kProcessId[] = {{u"pid", VT_BYREF | VT_I4, RETVAL}};
constexpr ParamDescription kLiveObjects[] = {{u"count", VT_BYREF | VT_I4, RETVAL}};
constexpr ParamDescription kReverse[] = {{u"array", VT_BYREF | VT_VARIANT, INOUT}};
constexpr ParamDescription kTriple[] = {{u"a", VT_I4, IN}, {u"b", VT_I4, IN}, {u"c", VT_BYREF | VT_I4, INOUT}};
constexpr ParamDescription kMaxConcurrency[] = {{u"most", VT_BYREF | VT_I4, RETVAL}};
constexpr ParamDescription kScale[] = {{u"value", VT_BYREF | VT_I2, INOUT}, {u"when", VT_BYREF | VT_DATE, INOUT}};

constexpr MemberDescription kMembers[] = {
    DispMember<&ITestObject::Add>(1, u"Add", u"method Add", INVOKE_FUNC, kAdd),
    DispMember<&ITestObject::Concat>(2, u"Concat", u"method Concat", INVOKE_FUNC, kConcat),
    DispMember<&ITestObject::Swap>(3, u"Swap", u"method Swap", INVOKE_FUNC, kSwap),
    DispMember<&ITestObject::Echo>(4, u"Echo", u"method Echo", INVOKE_FUNC, kEcho),
    DispMember<&ITestObject::Append>(5, u"Append", u"method Append", INVOKE_FUNC, kAppend),
    DispMember<&ITestObject::MakeStrings>(6, u"MakeStrings", u"method MakeStrings", INVOKE_FUNC, kMakeStrings),
    DispMember<&ITestObject::SumArray>(7, u"SumArray", u"method SumArray", INVOKE_FUNC, kSumArray),
    DispMember<&ITestObject::Optional>(8, u"Optional", u"method Optional", INVOKE_FUNC, kOptional),
    DispMember<&ITestObject::Fail>(9, u"Fail", u"method Fail", INVOKE_FUNC, kFail),
    DispMember<&ITestObject::get_Value>(10, u"Value", u"property Value", INVOKE_PROPERTYGET, kGetValue),
    DispMember<&ITestObject::put_Value>(10, u"Value", u"property Value", INVOKE_PROPERTYPUT, kPutValue),
    DispMember<&ITestObject::Describe>(11, u"Describe", u"method Describe", INVOKE_FUNC, kDescribe),
    DispMember<&ITestObject::Work>(12, u"Work", u"method Work", INVOKE_FUNC, kWork),
    DispMember<&ITestObject::ProcessId>(13, u"ProcessId", u"method ProcessId", INVOKE_FUNC, kProcessId),
    DispMember<&ITestObject::LiveObjects>(14, u"LiveObjects", u"method LiveObjects", INVOKE_FUNC, kLiveObjects),
    DispMember<&ITestObject::Reverse>(15, u"Reverse", u"method Reverse", INVOKE_FUNC, kReverse),
    DispMember<&ITestObject::Triple>(16, u"Triple", u"method Triple", INVOKE_FUNC, kTriple),
    DispMember<&ITestObject::Quit>(17, u"Quit", u"method Quit", INVOKE_FUNC),
    DispMember<&ITestObject::Scale>(18, u"Scale", u"method Scale", INVOKE_FUNC, kScale),
    DispMember<&ITestObject::MaxConcurrency>(19, u"MaxConcurrency", u"method MaxConcurrency", INVOKE_FUNC, kMaxConcurrency),
};

// Arithmetic of the test members wraps around in 32 bits, whatever the
// arguments (modular conversion, well defined since C++20).
LONG wrap(uint32_t v) { return static_cast<LONG>(v); }

class TestObject final : public ITestObject {
public:
    TestObject() { ++g_testObjectsAlive; }
    ~TestObject() { --g_testObjectsAlive; }

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_ITestObject) {
            *object = static_cast<ITestObject*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        ULONG r = --m_refs;
        if (r == 0)
            delete this;
        return r;
    }
    HRESULT GetTypeInfoCount(UINT* count) override {
        if (!count)
            return E_INVALIDARG;
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info)
            *info = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (iid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        return DispGetIDsOfNames(&kTestObjectInterface, names, count, ids);
    }
    HRESULT Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep, UINT* argErr) override {
        if (iid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        return DispInvoke(static_cast<ITestObject*>(this), &kTestObjectInterface, id, flags, params,
                          result, excep, argErr);
    }

    HRESULT Add(LONG a, LONG b, LONG* sum) override {
        *sum = wrap(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
        return S_OK;
    }
    HRESULT Concat(BSTR a, BSTR b, BSTR* joined) override {
        std::u16string s(a ? a : u"", SysStringLen(a));
        s.append(b ? b : u"", SysStringLen(b));
        *joined = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
        return *joined ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT Swap(LONG* a, LONG* b) override {
        LONG t = *a;
        *a = *b;
        *b = t;
        return S_OK;
    }
    HRESULT Echo(VARIANT value, VARIANT* copy) override { return VariantCopyInd(copy, &value); }
    HRESULT Append(BSTR* text, BSTR suffix) override {
        std::u16string s(*text ? *text : u"", SysStringLen(*text));
        s.append(suffix ? suffix : u"", SysStringLen(suffix));
        // In/out rule: the callee frees the string it was given.
        return SysReAllocStringLen(text, s.data(), static_cast<UINT>(s.size())) ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT MakeStrings(LONG count, LONG length, VARIANT* array) override {
        const long limit = g_testMakeStringsLimit.load();
        if (count < 0 || length < 0 || length > limit || static_cast<int64_t>(count) * (length + 1) > limit)
            return E_INVALIDARG;
        SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(count));
        if (!psa)
            return E_OUTOFMEMORY;
        // String i is the alphabet from letter i % 26 on, repeated.
        std::u16string pattern(static_cast<size_t>(length) + 26, u'a');
        for (size_t k = 0; k < pattern.size(); ++k)
            pattern[k] = static_cast<OLECHAR>(u'a' + k % 26);
        BSTR* data;
        SafeArrayAccessData(psa, reinterpret_cast<void**>(&data));
        for (LONG i = 0; i < count; ++i)
            data[i] = SysAllocStringLen(pattern.data() + i % 26, static_cast<UINT>(length));
        SafeArrayUnaccessData(psa);
        array->vt = VT_ARRAY | VT_BSTR;
        array->parray = psa;
        return S_OK;
    }
    HRESULT SumArray(VARIANT* array, LONG* sum) override {
        if (array->vt != (VT_ARRAY | VT_I4))
            return DISP_E_TYPEMISMATCH;
        SAFEARRAY* psa = array->parray;
        LONG lb = 0, ub = -1;
        SafeArrayGetLBound(psa, 1, &lb);
        SafeArrayGetUBound(psa, 1, &ub);
        int64_t total = 0;
        for (int64_t k = lb; k <= ub; ++k) {
            LONG i = static_cast<LONG>(k), v = 0;
            SafeArrayGetElement(psa, &i, &v);
            total += v;
        }
        *sum = wrap(static_cast<uint32_t>(total));
        return S_OK;
    }
    HRESULT Optional(LONG a, VARIANT b, LONG* result) override {
        if (b.vt == VT_ERROR && b.scode == DISP_E_PARAMNOTFOUND) {
            *result = wrap(static_cast<uint32_t>(a) * 1000u - 1u);  // tells the test that b was missing
            return S_OK;
        }
        VARIANT n;
        VariantInit(&n);
        HRESULT hr = VariantChangeType(&n, &b, 0, VT_I4);
        if (FAILED(hr))
            return hr;
        *result = wrap(static_cast<uint32_t>(a) * 1000u + static_cast<uint32_t>(n.lVal));
        return S_OK;
    }
    HRESULT Fail(LONG hr) override { return hr; }
    HRESULT get_Value(LONG* value) override {
        *value = m_value;
        return S_OK;
    }
    HRESULT put_Value(LONG value) override {
        m_value = value;
        return S_OK;
    }
    HRESULT Describe(SHORT s, DATE d, VARIANT_BOOL b, BSTR* text) override {
        std::string t = std::to_string(s) + "|" + std::to_string(d) + "|" + (b ? "true" : "false");
        std::u16string w(t.begin(), t.end());
        *text = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
        return S_OK;
    }
    HRESULT Work(LONG milliseconds, LONG* threadId) override {
        long now = ++g_testWorkRunning;
        long seen = g_testWorkMaxRunning.load();
        while (now > seen && !g_testWorkMaxRunning.compare_exchange_weak(seen, now)) {
        }
        long limit = g_testWorkSleepLimitMs.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds > limit ? limit : milliseconds));
        *threadId = static_cast<LONG>(syscall(SYS_gettid));
        --g_testWorkRunning;
        return S_OK;
    }
    HRESULT ProcessId(LONG* pid) override {
        *pid = static_cast<LONG>(getpid());
        return S_OK;
    }
    HRESULT LiveObjects(LONG* count) override {
        *count = static_cast<LONG>(g_testObjectsAlive.load());
        return S_OK;
    }
    HRESULT Reverse(VARIANT* array) override {
        if (!(array->vt & VT_ARRAY) || !array->parray || SafeArrayGetDim(array->parray) != 1)
            return DISP_E_TYPEMISMATCH;
        SAFEARRAY* psa = array->parray;
        LONG lb, ub;
        SafeArrayGetLBound(psa, 1, &lb);
        SafeArrayGetUBound(psa, 1, &ub);
        // Swapping raw element bytes keeps ownership of BSTR/VARIANT elements.
        char* data;
        SafeArrayAccessData(psa, reinterpret_cast<void**>(&data));
        const ULONG size = SafeArrayGetElemsize(psa);
        std::string tmp(size, '\0');
        for (int64_t i = 0, j = static_cast<int64_t>(ub) - lb; i < j; ++i, --j) {
            std::memcpy(tmp.data(), data + i * size, size);
            std::memcpy(data + i * size, data + j * size, size);
            std::memcpy(data + j * size, tmp.data(), size);
        }
        SafeArrayUnaccessData(psa);
        return S_OK;
    }
    HRESULT Triple(LONG a, LONG b, LONG* c) override {
        *c = wrap(static_cast<uint32_t>(a) + static_cast<uint32_t>(b) + static_cast<uint32_t>(*c));
        return S_OK;
    }
    HRESULT Quit() override {
        if (g_testQuitHook)
            g_testQuitHook();
        return S_OK;
    }
    HRESULT Scale(SHORT* value, DATE* when) override {
        *value = static_cast<SHORT>(*value * 2);
        *when += 1.0;
        return S_OK;
    }

    HRESULT MaxConcurrency(LONG* most) override {
        *most = static_cast<LONG>(g_testWorkMaxRunning.load());
        return S_OK;
    }

private:
    std::atomic<ULONG> m_refs{1};
    LONG m_value = 0;
};

class Factory final : public IClassFactory {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object)
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
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return CreateTestObject(iid, object);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

} // namespace

const InterfaceDescription kTestObjectInterface = {
    IID_ITestObject, u"ITestObject", u"ITestObject Interface",
    TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE,
    kMembers, static_cast<UINT>(sizeof kMembers / sizeof kMembers[0])};

namespace {
const InterfaceDescription* const kLibInterfaces[] = {&kTestObjectInterface};
const ImplementedInterface kClassInterfaces[] = {{&kTestObjectInterface, IMPLTYPEFLAG_FDEFAULT}};
const CoClassDescription kTestClass = {CLSID_TestObject, u"TestObject", u"Korvane.TestObject",
                                       TYPEFLAG_FCANCREATE, kClassInterfaces, 1};
const CoClassDescription* const kLibClasses[] = {&kTestClass};
} // namespace

const TypeLibDescription kTestTypeLib = {LIBID_TestLib, u"KorvaneTest", u"Korvane test library",
                                         1, 0, 0x0409, SYS_WIN64, 0, kLibInterfaces, 1,
                                         kLibClasses, 1};

HRESULT CreateTestObject(REFIID iid, void** object) {
    TestObject* o = new TestObject();
    HRESULT hr = o->QueryInterface(iid, object);
    o->Release();
    return hr;
}

IClassFactory* TestObjectFactory() {
    static Factory factory;
    return &factory;
}
