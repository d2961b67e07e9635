// The COM runtime inside one process: apartment rules, class object
// registration and revocation, creation in the registering apartment and
// through the endpoint from another thread, ProgID look-ups, OleRun.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <functional>
#include <thread>

#include "platform/ComEndpoint.h"
#include "platform/ComRuntime.h"
#include "platform/MessageLoop.h"
#include "platform/OleMemory.h"
#include "platform/Sync.h"
#include "tests/platform/ComTestSupport.h"

using namespace comtest;

namespace {

// Runs `body` on a fresh thread (fresh COM state) and waits for it.
void onThread(const std::function<void()>& body) { std::thread(body).join(); }

TEST(ComRuntimeTest, InitializeRules) {
    struct Case {
        const char* name;
        std::vector<DWORD> models;  // successive CoInitializeEx calls
        std::vector<HRESULT> results;
    };
    const Case cases[] = {
        {"single-threaded", {COINIT_APARTMENTTHREADED}, {S_OK}},
        {"multithreaded", {COINIT_MULTITHREADED}, {S_OK}},
        {"again the same", {COINIT_APARTMENTTHREADED, COINIT_APARTMENTTHREADED}, {S_OK, S_FALSE}},
        {"other model refused", {COINIT_APARTMENTTHREADED, COINIT_MULTITHREADED}, {S_OK, RPC_E_CHANGED_MODE}},
        {"other model refused, MTA first", {COINIT_MULTITHREADED, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE}, {S_OK, RPC_E_CHANGED_MODE}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        onThread([&] {
            int ok = 0;
            for (size_t i = 0; i < c.models.size(); ++i) {
                HRESULT hr = CoInitializeEx(nullptr, c.models[i]);
                EXPECT_EQ(hr, c.results[i]);
                ok += SUCCEEDED(hr) ? 1 : 0;
            }
            EXPECT_EQ(korvane::platform::ComCurrentApartmentIsSingleThreaded(),
                      (c.models[0] & COINIT_APARTMENTTHREADED) != 0);
            for (int i = 0; i < ok; ++i)
                CoUninitialize();
            EXPECT_FALSE(korvane::platform::ComCurrentApartmentIsSingleThreaded()) << "left";
        });
    }
    int dummy;
    EXPECT_EQ(CoInitializeEx(&dummy, COINIT_MULTITHREADED), E_INVALIDARG);
    CoUninitialize();  // without a CoInitializeEx: nothing happens
}

TEST(ComRuntimeTest, RegistrationRules) {
    Environment env;
    onThread([] {
        DWORD cookie = 7;
        EXPECT_EQ(CoRegisterClassObject(CLSID_TestObject, TestObjectFactory(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie),
                  CO_E_NOTINITIALIZED);
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(CoRegisterClassObject(CLSID_TestObject, TestObjectFactory(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie),
                  CO_E_NOT_SUPPORTED) << "no thread would serve it";
        CoUninitialize();
    });
    onThread([&] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        IUnknown* notAFactory = nullptr;
        ASSERT_EQ(CreateTestObject(IID_IUnknown, reinterpret_cast<void**>(&notAFactory)), S_OK);
        struct Case {
            const char* name;
            IUnknown* object;
            DWORD context, flags;
            bool nullCookie;
            HRESULT hr;
        };
        const Case cases[] = {
            {"null cookie", TestObjectFactory(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, true, E_INVALIDARG},
            {"null object", nullptr, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, false, E_INVALIDARG},
            {"single use", TestObjectFactory(), CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, false, E_INVALIDARG},
            {"suspended", TestObjectFactory(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, false, E_INVALIDARG},
            {"no context", TestObjectFactory(), 0, REGCLS_MULTIPLEUSE, false, E_INVALIDARG},
            {"not a class factory", notAFactory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, false, E_NOINTERFACE},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            DWORD cookie = 7;
            EXPECT_EQ(CoRegisterClassObject(CLSID_TestObject, c.object, c.context, c.flags, c.nullCookie ? nullptr : &cookie), c.hr);
        }
        notAFactory->Release();

        DWORD cookie = 0;
        ASSERT_EQ(CoRegisterClassObject(CLSID_TestObject, TestObjectFactory(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
        EXPECT_NE(cookie, 0u);
        const std::string sock = env.Runtime() + "/com-" + korvane::platform::GuidToText(CLSID_TestObject) + ".sock";
        struct stat st {};
        ASSERT_EQ(::stat(sock.c_str(), &st), 0) << "the endpoint exists";
        EXPECT_TRUE(S_ISSOCK(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        DWORD second = 0;
        EXPECT_EQ(CoRegisterClassObject(CLSID_TestObject, TestObjectFactory(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &second),
                  CO_E_OBJISREG);
        std::thread([cookie] { EXPECT_EQ(CoRevokeClassObject(cookie), RPC_E_WRONG_THREAD); }).join();
        EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
        EXPECT_NE(::stat(sock.c_str(), &st), 0) << "the endpoint is gone";
        EXPECT_EQ(CoRevokeClassObject(cookie), CO_E_OBJNOTREG);
        CoUninitialize();
    });
}

TEST(ComRuntimeTest, ProcessesCannotServeTheSameClassTwice) {
    Environment env;
    // The lock of a serving process is simulated by this process holding
    // the server lock file itself.
    const std::string lock = env.Runtime() + "/com-" + korvane::platform::GuidToText(CLSID_TestObject) + ".server";
    int held = korvane::platform::ComLockFile(lock, 0);
    ASSERT_GE(held, 0);
    onThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        DWORD cookie;
        EXPECT_EQ(CoRegisterClassObject(CLSID_TestObject, TestObjectFactory(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie),
                  CO_E_OBJISREG);
        CoUninitialize();
    });
    ::close(held);
}

TEST(ComRuntimeTest, CreateInTheRegisteringApartmentIsDirect) {
    Environment env;
    onThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        DWORD cookie;
        ASSERT_EQ(CoRegisterClassObject(CLSID_TestObject, TestObjectFactory(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
        struct Case {
            const char* name;
            DWORD context;
            IID iid;
            HRESULT hr;
        };
        const Case cases[] = {
            {"local server context", CLSCTX_LOCAL_SERVER, IID_IDispatch, S_OK},
            {"in-process context, as Windows adds it", CLSCTX_INPROC_SERVER, IID_IDispatch, S_OK},
            {"the dual interface itself", CLSCTX_ALL, IID_ITestObject, S_OK},
            {"an interface it lacks", CLSCTX_ALL, IID_IClassFactory, E_NOINTERFACE},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            IUnknown* u = nullptr;
            EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, c.context, c.iid, reinterpret_cast<void**>(&u)), c.hr);
            if (u) {
                EXPECT_EQ(ServerPid(u), 0) << "the object itself, no proxy";
                u->Release();
            }
        }
        IUnknown* outer = reinterpret_cast<IUnknown*>(1);
        IUnknown* u = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_TestObject, outer, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&u)),
                  CLASS_E_NOAGGREGATION);
        EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr), E_POINTER);
        CoRevokeClassObject(cookie);
        CoUninitialize();
    });
}

TEST(ComRuntimeTest, CreateFailuresWithoutServer) {
    Environment env;
    IUnknown* u = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&u)),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(u, nullptr);
    onThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        struct Case {
            const char* name;
            DWORD context;
            IUnknown* outer;
            HRESULT hr;
        };
        const Case cases[] = {
            {"in-process only: no in-process servers", CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, nullptr, REGDB_E_CLASSNOTREG},
            {"remote only", CLSCTX_REMOTE_SERVER, nullptr, REGDB_E_CLASSNOTREG},
            {"local server not registered", CLSCTX_LOCAL_SERVER, nullptr, REGDB_E_CLASSNOTREG},
            {"aggregation across processes", CLSCTX_LOCAL_SERVER, reinterpret_cast<IUnknown*>(1), CLASS_E_NOAGGREGATION},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            IUnknown* out = nullptr;
            EXPECT_EQ(CoCreateInstance(CLSID_TestObject, c.outer, c.context, IID_IUnknown, reinterpret_cast<void**>(&out)), c.hr);
            EXPECT_EQ(out, nullptr);
        }
        CoUninitialize();
    });
}

// A server apartment on another thread of this process: clients on other
// threads reach it through its endpoint and every call runs on its thread.
TEST(ComRuntimeTest, ServerThreadInThisProcess) {
    Environment env;
    std::atomic<DWORD> serverThread{0};
    std::atomic<bool> registered{false};
    std::thread server([&] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        DWORD cookie;
        ASSERT_EQ(CoRegisterClassObject(CLSID_TestObject, TestObjectFactory(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
        serverThread = GetCurrentThreadId();
        registered = true;
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        }
        CoRevokeClassObject(cookie);
        CoUninitialize();  // closes the clients' connections
    });
    ASSERT_TRUE(waitUntil([&] { return registered.load(); }, 5000));

    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    IDispatch* d = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, reinterpret_cast<void**>(&d)), S_OK);
    EXPECT_EQ(ServerPid(d), ::getpid()) << "a proxy to this very process";
    VARIANT r;
    VariantInit(&r);
    ASSERT_EQ(Call(d, 1, {I4(2), I4(3)}, &r), S_OK);
    EXPECT_EQ(r.lVal, 5);
    ASSERT_EQ(Call(d, 12, {I4(0)}, &r), S_OK);
    EXPECT_EQ(static_cast<DWORD>(r.lVal), serverThread.load()) << "served on the apartment thread";
    EXPECT_EQ(g_testObjectsAlive.load(), 1);

    // Types that do not travel are refused before sending.
    IUnknown* unk = nullptr;
    ASSERT_EQ(d->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unk)), S_OK);
    VARIANT withInterface;
    VariantInit(&withInterface);
    withInterface.vt = VT_UNKNOWN;
    withInterface.punkVal = unk;
    UINT argErr = 99;
    EXPECT_EQ(Call(d, 4, {withInterface}, &r, &argErr), DISP_E_BADVARTYPE);
    EXPECT_EQ(argErr, 0u);
    unk->Release();
    void* p = nullptr;
    EXPECT_EQ(d->QueryInterface(IID_ITestObject, &p), E_NOINTERFACE) << "only late binding crosses";

    PostThreadMessageA(serverThread.load(), WM_QUIT, 0, 0);
    server.join();
    EXPECT_EQ(g_testObjectsAlive.load(), 0) << "the server's CoUninitialize released the client's object";
    HRESULT hr = Call(d, 1, {I4(2), I4(3)}, &r);
    EXPECT_TRUE(hr == RPC_S_SERVER_UNAVAILABLE || hr == RPC_S_CALL_FAILED) << std::hex << hr;
    d->Release();
    CoUninitialize();
}

TEST(ComRuntimeTest, ThreadEndingInsideItsApartmentRevokesItsClasses) {
    Environment env;
    const std::string sock = env.Runtime() + "/com-" + korvane::platform::GuidToText(CLSID_TestObject) + ".sock";
    onThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        DWORD cookie;
        ASSERT_EQ(CoRegisterClassObject(CLSID_TestObject, TestObjectFactory(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
        // ends without CoRevokeClassObject or CoUninitialize
    });
    struct stat st {};
    EXPECT_NE(::stat(sock.c_str(), &st), 0) << "the endpoint went with the thread";
    onThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        IUnknown* u = nullptr;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, reinterpret_cast<void**>(&u)),
                  REGDB_E_CLASSNOTREG) << "no server, none registered to start";
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        CoUninitialize();
    });
}

TEST(ComRuntimeTest, ProgIdLookups) {
    Environment env;
    env.RegisterServer();
    Environment::setDefault("Broken.ProgId\\CLSID", "not a guid");
    struct Case {
        const char* name;
        const char16_t* text;
        HRESULT fromProgId, fromString;
    };
    const Case cases[] = {
        {"registered ProgID", u"Korvane.TestObject", S_OK, S_OK},
        {"ProgID in other letter case", u"korvane.testobject", S_OK, S_OK},
        {"unknown ProgID", u"No.Such", CO_E_CLASSSTRING, CO_E_CLASSSTRING},
        {"CLSID entry malformed", u"Broken.ProgId", CO_E_CLASSSTRING, CO_E_CLASSSTRING},
        {"empty", u"", CO_E_CLASSSTRING, CO_E_CLASSSTRING},
        {"class identifier text", u"{6A1C2F30-51B7-4E0D-9C11-2B7E43D58001}", CO_E_CLASSSTRING, S_OK},
        {"malformed braces", u"{6A1C2F30-51B7}", CO_E_CLASSSTRING, CO_E_CLASSSTRING},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CLSID id = IID_IDispatch;
        EXPECT_EQ(CLSIDFromProgID(c.text, &id), c.fromProgId);
        EXPECT_EQ(id, c.fromProgId == S_OK ? CLSID_TestObject : CLSID_NULL);
        id = IID_IDispatch;
        EXPECT_EQ(CLSIDFromString(c.text, &id), c.fromString);
        EXPECT_EQ(id, c.fromString == S_OK ? CLSID_TestObject : CLSID_NULL);
    }
    CLSID id;
    EXPECT_EQ(CLSIDFromString(nullptr, &id), S_OK);
    EXPECT_EQ(id, CLSID_NULL);
    EXPECT_EQ(CLSIDFromProgID(nullptr, &id), E_INVALIDARG);
    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_TestObject, &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), u"Korvane.TestObject");
    CoTaskMemFree(progId);
    EXPECT_EQ(ProgIDFromCLSID(IID_IDispatch, &progId), REGDB_E_CLASSNOTREG);
}

TEST(ComRuntimeTest, OleRunIsANoOp) {
    IUnknown* u = nullptr;
    ASSERT_EQ(CreateTestObject(IID_IUnknown, reinterpret_cast<void**>(&u)), S_OK);
    EXPECT_EQ(OleRun(u), S_OK);
    EXPECT_EQ(OleRun(nullptr), E_INVALIDARG);
    u->Release();
}

} // namespace
