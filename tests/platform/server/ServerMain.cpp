// The test server program of the automation layer's end-to-end tests: a
// local server of the test class, started by activation with "-Embedding"
// or directly; and, with "--client", a small client used as a separate
// client process by the tests.
//
// Server behaviour, set through the environment:
//   COM_TEST_SERVER_IDLE_MS=n       post WM_QUIT once no object has lived
//                                   for n ms (a safety net, and the idle
//                                   shutdown tests)
//   COM_TEST_SERVER_FOREIGN_PEERS=1 treat every peer as another user
//                                   (through the layer's test hook)
// Client commands (print one line "<server pid> <result>" on stdout):
//   --client activate               activate, print the server's pid, release
//   --client hold <n>               activate, make n objects, print, then
//                                   sleep until killed
//   --client call <ms>              activate, call Work(ms), print its result
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/ComEndpoint.h"
#include "platform/ComProxy.h"
#include "platform/ComRuntime.h"
#include "platform/MessageLoop.h"
#include "platform/Sync.h"
#include "platform/Variant.h"
#include "tests/platform/server/TestObject.h"

namespace {

DWORD g_mainThread = 0;

void postQuit() { PostThreadMessageA(g_mainThread, WM_QUIT, 0, 0); }

uid_t foreignPeer(uid_t uid) { return uid + 1; }

// Ends the loop once no object has lived for `idleMs`.
void idleMonitor(long idleMs) {
    auto idleSince = std::chrono::steady_clock::now();
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        auto now = std::chrono::steady_clock::now();
        if (g_testObjectsAlive.load() > 0) {
            idleSince = now;
        } else if (now - idleSince >= std::chrono::milliseconds(idleMs)) {
            postQuit();
            return;
        }
    }
}

int serve() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    g_mainThread = GetCurrentThreadId();
    g_testQuitHook = postQuit;
    if (const char* f = std::getenv("COM_TEST_SERVER_FOREIGN_PEERS"); f && std::strcmp(f, "1") == 0)
        korvane::platform::ComSetPeerUidHookForTesting(foreignPeer);
    if (const char* idle = std::getenv("COM_TEST_SERVER_IDLE_MS")) {
        long ms = std::atol(idle);
        if (ms > 0)
            std::thread(idleMonitor, ms).detach();
    }
    DWORD cookie = 0;
    HRESULT hr = CoRegisterClassObject(CLSID_TestObject, TestObjectFactory(), CLSCTX_LOCAL_SERVER,
                                       REGCLS_MULTIPLEUSE, &cookie);
    if (FAILED(hr)) {
        std::fprintf(stderr, "registration failed: 0x%08lX\n", static_cast<unsigned long>(static_cast<uint32_t>(hr)));
        return 1;
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    CoRevokeClassObject(cookie);
    CoUninitialize();
    return 0;
}

HRESULT invoke(IDispatch* d, DISPID id, std::vector<VARIANT> args, VARIANT* result) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS dp{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    return d->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &dp, result, nullptr, nullptr);
}

int client(int argc, char** argv) {
    if (argc < 3 || FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 2;
    std::string command = argv[2];
    IDispatch* d = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&d));
    if (FAILED(hr)) {
        std::printf("0 0x%08lX\n", static_cast<unsigned long>(static_cast<uint32_t>(hr)));
        return 1;
    }
    const unsigned long pid = korvane::platform::ComProxyServerProcessId(d);
    if (command == "activate") {
        std::printf("%lu ok\n", pid);
    } else if (command == "hold" && argc > 3) {
        std::vector<IDispatch*> more;
        for (int i = 1; i < std::atoi(argv[3]); ++i) {
            IDispatch* extra = nullptr;
            if (SUCCEEDED(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                           reinterpret_cast<void**>(&extra))))
                more.push_back(extra);
        }
        std::printf("%lu %zu\n", pid, more.size() + 1);
        std::fflush(stdout);
        for (;;)
            pause();
    } else if (command == "call" && argc > 3) {
        VARIANT ms, result;
        VariantInit(&ms);
        VariantInit(&result);
        ms.vt = VT_I4;
        ms.lVal = std::atoi(argv[3]);
        hr = invoke(d, 12, {ms}, &result);
        std::printf("%lu 0x%08lX\n", pid, static_cast<unsigned long>(static_cast<uint32_t>(hr)));
    }
    std::fflush(stdout);
    d->Release();
    CoUninitialize();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--client") == 0)
        return client(argc, argv);
    return serve();
}
