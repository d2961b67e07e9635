// CDocument as a COM object: the interfaces it answers, its identity and
// reference count, aggregation, the module lock it holds while it lives,
// its class object, and late-bound calls served from the registered
// library.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/MessageLoop.h"
#include "platform/Sync.h"
#include "server/CDocument.h"
#include "tests/server/DocumentTestSupport.h"

using namespace servertest;

namespace {

constexpr IID kOtherIid = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};

TEST(DocumentIdentity, AnswersIUnknownIDispatchAndIVarsvcOnly) {
    ServerModule module;
    struct Case {
        const char* name;
        IID iid;
        HRESULT expected;
    } const cases[] = {
        {"IUnknown", IID_IUnknown, S_OK},
        {"IDispatch", IID_IDispatch, S_OK},
        {"IVarsvc", IID_IVarsvc, S_OK},
        {"DIVarsvc (reached through IDispatch only)", DIID_DIVarsvc, E_NOINTERFACE},
        {"IClassFactory", IID_IClassFactory, E_NOINTERFACE},
        {"unknown interface", kOtherIid, E_NOINTERFACE},
        {"null interface", IID_NULL, E_NOINTERFACE},
    };
    void* object = nullptr;
    ASSERT_EQ(CDocument::Create(nullptr, IID_IVarsvc, &object, module), S_OK);
    auto* doc = static_cast<IVarsvc*>(object);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(doc->QueryInterface(c.iid, &out), c.expected);
        if (c.expected == S_OK) {
            ASSERT_NE(out, nullptr);
            static_cast<IUnknown*>(out)->Release();
        } else {
            EXPECT_EQ(out, nullptr);
        }
    }
    EXPECT_EQ(doc->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    doc->Release();
}

TEST(DocumentIdentity, OneIdentityAndReferenceCounting) {
    ServerModule module;
    void* object = nullptr;
    ASSERT_EQ(CDocument::Create(nullptr, IID_IDispatch, &object, module), S_OK);
    auto* disp = static_cast<IDispatch*>(object);
    void* viaDispatch = nullptr;
    void* viaVarsvc = nullptr;
    void* varsvc = nullptr;
    ASSERT_EQ(disp->QueryInterface(IID_IUnknown, &viaDispatch), S_OK);
    ASSERT_EQ(disp->QueryInterface(IID_IVarsvc, &varsvc), S_OK);
    ASSERT_EQ(static_cast<IVarsvc*>(varsvc)->QueryInterface(IID_IUnknown, &viaVarsvc), S_OK);
    EXPECT_EQ(viaDispatch, viaVarsvc);
    // Four references now: the creator's and three queries.
    EXPECT_EQ(disp->AddRef(), 5u);
    EXPECT_EQ(disp->Release(), 4u);
    static_cast<IUnknown*>(viaDispatch)->Release();
    static_cast<IUnknown*>(viaVarsvc)->Release();
    static_cast<IUnknown*>(varsvc)->Release();
    EXPECT_EQ(module.LockCount(), 1);
    EXPECT_EQ(disp->Release(), 0u);
    EXPECT_EQ(module.LockCount(), 0);
}

TEST(DocumentIdentity, EachLiveDocumentLocksTheModule) {
    ServerModule module;
    std::vector<IUnknown*> docs;
    for (int i = 1; i <= 3; ++i) {
        void* object = nullptr;
        ASSERT_EQ(CDocument::Create(nullptr, IID_IUnknown, &object, module), S_OK);
        docs.push_back(static_cast<IUnknown*>(object));
        EXPECT_EQ(module.LockCount(), i);
        EXPECT_FALSE(module.ActivityFlag());
    }
    docs[0]->Release();
    docs[1]->Release();
    EXPECT_EQ(module.LockCount(), 1);
    EXPECT_FALSE(module.ActivityFlag()) << "set only when the count reaches 0";
    docs[2]->Release();
    EXPECT_EQ(module.LockCount(), 0);
    EXPECT_TRUE(module.ActivityFlag());
}

TEST(DocumentIdentity, CreationFailuresLeaveNothingBehind) {
    ServerModule module;
    struct Outer : IUnknown {
        HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
        ULONG AddRef() override { return 2; }
        ULONG Release() override { return 1; }
    } outer;
    struct Case {
        const char* name;
        IUnknown* outer;
        IID iid;
        HRESULT expected;
    } const cases[] = {
        {"aggregated, asking for IVarsvc", &outer, IID_IVarsvc, CLASS_E_NOAGGREGATION},
        {"aggregated, asking for IDispatch", &outer, IID_IDispatch, CLASS_E_NOAGGREGATION},
        {"unknown interface", nullptr, kOtherIid, E_NOINTERFACE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(CDocument::Create(c.outer, c.iid, &object, module), c.expected);
        EXPECT_EQ(object, nullptr);
        EXPECT_EQ(module.LockCount(), 0);
    }
    EXPECT_EQ(CDocument::Create(nullptr, IID_IUnknown, nullptr, module), E_POINTER);
    EXPECT_EQ(module.LockCount(), 0);
}

// An aggregate that exposes the document's interfaces as its own.
class Aggregate final : public IUnknown {
public:
    explicit Aggregate(ServerModule& module) {
        void* object = nullptr;
        created = CDocument::Create(this, IID_IUnknown, &object, module);
        inner = static_cast<IUnknown*>(object);
    }
    ~Aggregate() {
        if (inner != nullptr)
            inner->Release();
    }
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        if (iid == IID_IUnknown) {
            *object = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner->QueryInterface(iid, object);
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }

    HRESULT created;
    IUnknown* inner = nullptr;
    ULONG refs = 1;
};

TEST(DocumentIdentity, AggregatedDocumentDelegatesItsIdentityToTheOuterObject) {
    ServerModule module;
    Aggregate outer(module);
    ASSERT_EQ(outer.created, S_OK);
    ASSERT_NE(outer.inner, nullptr);
    EXPECT_NE(outer.inner, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(module.LockCount(), 1);

    void* varsvc = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_IVarsvc, &varsvc), S_OK);
    EXPECT_EQ(outer.refs, 2u) << "the interface's reference is counted by the aggregate";
    void* identity = nullptr;
    ASSERT_EQ(static_cast<IVarsvc*>(varsvc)->QueryInterface(IID_IUnknown, &identity), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    static_cast<IUnknown*>(identity)->Release();
    static_cast<IVarsvc*>(varsvc)->AddRef();
    EXPECT_EQ(outer.refs, 3u);
    static_cast<IVarsvc*>(varsvc)->Release();
    static_cast<IVarsvc*>(varsvc)->Release();
    EXPECT_EQ(outer.refs, 1u);
    EXPECT_EQ(module.LockCount(), 1) << "the inner object lives until the aggregate releases it";
}

TEST(DocumentIdentity, ClassObjectCreatesDocumentsAndLocksTheServer) {
    ServerModule module;
    CDocumentFactory factory(module);
    void* object = nullptr;
    EXPECT_EQ(factory.QueryInterface(IID_IClassFactory, &object), S_OK);
    EXPECT_EQ(object, static_cast<IClassFactory*>(&factory));
    EXPECT_EQ(factory.QueryInterface(IID_IVarsvc, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);

    ASSERT_EQ(factory.CreateInstance(nullptr, IID_IDispatch, &object), S_OK);
    EXPECT_EQ(module.LockCount(), 1);
    EXPECT_EQ(factory.LockServer(TRUE), S_OK);
    EXPECT_EQ(module.LockCount(), 2);
    static_cast<IDispatch*>(object)->Release();
    EXPECT_EQ(module.LockCount(), 1);
    EXPECT_FALSE(module.ActivityFlag());
    EXPECT_EQ(factory.LockServer(FALSE), S_OK);
    EXPECT_EQ(module.LockCount(), 0);
    EXPECT_TRUE(module.ActivityFlag());
}

// ---- late-bound calls -------------------------------------------------

DISPID IdOf(IDispatch& disp, const char16_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = -100;
    EXPECT_EQ(disp.GetIDsOfNames(IID_NULL, names, 1, 0x0409, &id), S_OK) << "name lookup";
    return id;
}

TEST(DocumentDispatch, NamesResolveToTheirDispidsWithoutRegardToCase) {
    DocumentEnv env;
    struct Case {
        const char16_t* name;
        DISPID id;
        HRESULT hr;
    } const cases[] = {
        {u"ExecRequ", 1, S_OK},         {u"login", 2, S_OK},
        {u"GETNAMEDVARINFO2EX", 35, S_OK}, {u"GetVarInfoBlockEx", 33, S_OK},
        {u"GetProjStampCC", 14, S_OK},  {u"", DISPID_UNKNOWN, DISP_E_UNKNOWNNAME},
        {u"NoSuchMember", DISPID_UNKNOWN, DISP_E_UNKNOWNNAME},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)));
        LPOLESTR names[] = {const_cast<LPOLESTR>(c.name)};
        DISPID id = -100;
        EXPECT_EQ(env.Doc().GetIDsOfNames(IID_NULL, names, 1, 0x0409, &id), c.hr);
        EXPECT_EQ(id, c.id);
    }
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"Login")};
    DISPID id = 0;
    EXPECT_EQ(env.Doc().GetIDsOfNames(kOtherIid, names, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
    UINT count = 7;
    EXPECT_EQ(env.Doc().GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
}

TEST(DocumentDispatch, InvokeCallsTheMemberWithByReferenceArgumentsAndTheStatusAsResult) {
    DocumentEnv env;
    IDispatch& disp = env.Doc();
    // Login(Handle, Name): arguments in reverse order.
    LONG handle = 12345;
    VARIANT args[2];
    args[1].vt = VT_BYREF | VT_I4;
    args[1].plVal = &handle;
    Bstr name("dispatcher");
    args[0].vt = VT_BSTR;
    args[0].bstrVal = name.get();
    DISPPARAMS params = {args, nullptr, 2, 0};
    VARIANT result;
    VariantInit(&result);
    UINT argErr = 99;
    ASSERT_EQ(disp.Invoke(IdOf(disp, u"Login"), IID_NULL, 0x0409, DISPATCH_METHOD, &params, &result,
                          nullptr, &argErr),
              S_OK);
    EXPECT_EQ(result.vt, VT_I2);
    EXPECT_EQ(result.iVal, 0);
    EXPECT_NE(handle, 12345);
    EXPECT_NE(handle, 0);

    // ConvRelMsecDate2DateMsec(relMsec, relDate, Date, Msec): by-value
    // integers coerced from text, out parameters by reference.
    DATE date = -1;
    SHORT msec = -1;
    VARIANT conv[4];
    Bstr msecText("1234");
    conv[3].vt = VT_BSTR;
    conv[3].bstrVal = msecText.get();
    conv[2].vt = VT_I4;
    conv[2].lVal = 1;
    conv[1].vt = VT_BYREF | VT_DATE;
    conv[1].pdate = &date;
    conv[0].vt = VT_BYREF | VT_I2;
    conv[0].piVal = &msec;
    DISPPARAMS convParams = {conv, nullptr, 4, 0};
    ASSERT_EQ(disp.Invoke(16, IID_NULL, 0, DISPATCH_METHOD, &convParams, &result, nullptr, &argErr), S_OK);
    EXPECT_EQ(result.iVal, 0);
    EXPECT_EQ(msec, 234);
    EXPECT_DOUBLE_EQ(date, 30683.0 + 1234.0 / 86400000.0);

    // A by-reference argument of another type is refused with its index.
    SHORT wrong = 0;
    conv[0].vt = VT_BYREF | VT_I2;
    conv[0].piVal = &wrong;
    conv[1].vt = VT_BYREF | VT_I2;
    conv[1].piVal = &wrong;
    EXPECT_EQ(disp.Invoke(16, IID_NULL, 0, DISPATCH_METHOD, &convParams, &result, nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u);
    EXPECT_EQ(disp.Invoke(99, IID_NULL, 0, DISPATCH_METHOD, &convParams, &result, nullptr, &argErr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(disp.Invoke(16, kOtherIid, 0, DISPATCH_METHOD, &convParams, &result, nullptr, &argErr),
              DISP_E_UNKNOWNINTERFACE);
    DISPPARAMS tooFew = {conv, nullptr, 3, 0};
    EXPECT_EQ(disp.Invoke(16, IID_NULL, 0, DISPATCH_METHOD, &tooFew, &result, nullptr, &argErr),
              DISP_E_BADPARAMCOUNT);
}

TEST(DocumentDispatch, WithoutTheRegisteredLibraryLateBoundCallsFail) {
    TempDir dir;
    EnvOverride store("KORVANE_REGISTRY", (dir / "empty.db").c_str());
    CDocument::ForgetTypeInfo();
    ServerModule module;
    void* object = nullptr;
    ASSERT_EQ(CDocument::Create(nullptr, IID_IDispatch, &object, module), S_OK);
    auto* disp = static_cast<IDispatch*>(object);
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"Login")};
    DISPID id = 0;
    EXPECT_EQ(disp->GetIDsOfNames(IID_NULL, names, 1, 0, &id), TYPE_E_LIBNOTREGISTERED);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(disp->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              TYPE_E_LIBNOTREGISTERED);
    // Early-bound calls do not need the library.
    SHORT rc = -9;
    EXPECT_EQ(static_cast<IVarsvc*>(disp)->ConvRelMsecDate2DateMsec(0, 0, nullptr, nullptr, &rc), S_OK);
    EXPECT_EQ(rc, 0);
    disp->Release();
    CDocument::ForgetTypeInfo();
}

} // namespace
