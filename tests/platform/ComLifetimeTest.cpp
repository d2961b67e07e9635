// Lifetime and failure behaviour across processes: a killed client's
// objects are released at once; a killed server gives RPC_S_CALL_FAILED to
// the call in progress and RPC_S_SERVER_UNAVAILABLE afterwards, within one
// second, and the next activation starts a new server; calls time out;
// calls of several clients are served one at a time on the server's
// apartment thread; peers of another user are refused.
#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>

#include <atomic>
#include <cstring>
#include <chrono>
#include <thread>

#include "platform/ComEndpoint.h"
#include "platform/ComProxy.h"
#include "platform/ComRuntime.h"
#include "platform/WireMessage.h"
#include "tests/platform/ComTestSupport.h"

using namespace comtest;
using Clock = std::chrono::steady_clock;

namespace {

long msSince(Clock::time_point t) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

class ComLifetimeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK); }
    void TearDown() override {
        korvane::platform::ComSetCallTimeout(60000);
        korvane::platform::ComSetPeerUidHookForTesting(nullptr);
        CoUninitialize();
    }
    HRESULT activate(IDispatch** d) {
        *d = nullptr;
        HRESULT hr = CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                      reinterpret_cast<void**>(d));
        if (*d)
            m_env.Track(ServerPid(*d));
        return hr;
    }
    LONG live(IDispatch* d) {
        VARIANT r;
        VariantInit(&r);
        return SUCCEEDED(Call(d, 14, {}, &r)) ? r.lVal : -1;
    }
    Environment m_env;
};

TEST_F(ComLifetimeTest, KilledClientsObjectsAreReleasedAtOnce) {
    m_env.RegisterServer();
    IDispatch* monitor = nullptr;
    ASSERT_EQ(activate(&monitor), S_OK);
    Client holder = StartClient({"hold", "3"});
    std::string line = holder.ReadLine();
    ASSERT_EQ(line, std::to_string(ServerPid(monitor)) + " 3") << "the client holds three objects";
    EXPECT_EQ(live(monitor), 4);
    auto killed = Clock::now();
    ::kill(holder.pid, SIGKILL);
    holder.Wait();
    EXPECT_TRUE(waitUntil([&] { return live(monitor) == 1; }, 1000));
    EXPECT_LT(msSince(killed), 1000) << "released as the connection closed";
    monitor->Release();
}

TEST_F(ComLifetimeTest, KilledServerFailsCallsPromptly) {
    m_env.RegisterServer();
    IDispatch* busy = nullptr;
    IDispatch* idle = nullptr;
    ASSERT_EQ(activate(&busy), S_OK);
    ASSERT_EQ(activate(&idle), S_OK);
    const pid_t server = ServerPid(busy);
    std::atomic<HRESULT> during{S_OK};
    std::atomic<long> returnedAt{0};
    auto start = Clock::now();
    std::thread caller([&] {
        VARIANT r;
        VariantInit(&r);
        during = Call(busy, 12, {I4(5000)}, &r);  // five seconds of work
        returnedAt = msSince(start);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const long killedAt = msSince(start);
    ::kill(server, SIGKILL);
    caller.join();
    EXPECT_EQ(during.load(), RPC_S_CALL_FAILED);
    EXPECT_LT(returnedAt.load() - killedAt, 1000);

    struct Case {
        const char* name;
        IDispatch* proxy;
    };
    const Case cases[] = {{"the proxy whose call failed", busy}, {"a proxy that was idle", idle}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto t = Clock::now();
        VARIANT r;
        VariantInit(&r);
        EXPECT_EQ(Call(c.proxy, 1, {I4(1), I4(2)}, &r), RPC_S_SERVER_UNAVAILABLE);
        EXPECT_EQ(Call(c.proxy, 1, {I4(1), I4(2)}, &r), RPC_S_SERVER_UNAVAILABLE) << "and stays so";
        EXPECT_LT(msSince(t), 1000);
    }
    busy->Release();  // releasing a proxy of a dead server does not wait
    idle->Release();

    IDispatch* fresh = nullptr;
    ASSERT_EQ(activate(&fresh), S_OK);
    EXPECT_NE(ServerPid(fresh), server) << "a new server was started";
    EXPECT_EQ(live(fresh), 1);
    fresh->Release();
}

TEST_F(ComLifetimeTest, CallsTimeOut) {
    m_env.RegisterServer();
    IDispatch* d = nullptr;
    ASSERT_EQ(activate(&d), S_OK);
    korvane::platform::ComSetCallTimeout(200);
    VARIANT r;
    VariantInit(&r);
    auto t = Clock::now();
    EXPECT_EQ(Call(d, 12, {I4(1200)}, &r), RPC_E_TIMEOUT);
    long took = msSince(t);
    EXPECT_GE(took, 190);
    EXPECT_LT(took, 1000);
    EXPECT_EQ(Call(d, 1, {I4(1), I4(2)}, &r), RPC_E_DISCONNECTED) << "the object was lost with its connection";
    d->Release();
    korvane::platform::ComSetCallTimeout(60000);
    // The server lives on and serves others once the long call is over.
    IDispatch* other = nullptr;
    ASSERT_EQ(activate(&other), S_OK);
    EXPECT_TRUE(waitUntil([&] { return live(other) == 1; }, 5000)) << "the timed-out client's object went";
    other->Release();
}

TEST_F(ComLifetimeTest, CallsOfSeveralClientsAreSerialisedOnTheApartmentThread) {
    m_env.RegisterServer();
    constexpr int kClients = 3, kCalls = 5, kWorkMs = 30;
    std::vector<IDispatch*> proxies(kClients);
    for (IDispatch*& p : proxies)
        ASSERT_EQ(activate(&p), S_OK);
    const pid_t server = ServerPid(proxies[0]);
    Client outside = StartClient({"call", "150"});  // a client in another process as well
    std::vector<std::vector<LONG>> threadIds(kClients);
    auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < kClients; ++c)
        threads.emplace_back([&, c] {
            for (int i = 0; i < kCalls; ++i) {
                VARIANT r;
                VariantInit(&r);
                ASSERT_EQ(Call(proxies[c], 12, {I4(kWorkMs)}, &r), S_OK);
                threadIds[c].push_back(r.lVal);
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_GE(msSince(start), kClients * kCalls * kWorkMs) << "no two calls overlapped";
    EXPECT_EQ(outside.ReadLine(), std::to_string(server) + " 0x00000000");
    outside.Wait();
    for (int c = 0; c < kClients; ++c)
        for (LONG tid : threadIds[c])
            EXPECT_EQ(tid, server) << "served on the server's main thread";
    VARIANT r;
    VariantInit(&r);
    ASSERT_EQ(Call(proxies[0], 19, {}, &r), S_OK);
    EXPECT_EQ(r.lVal, 1) << "at most one call ran at any time";
    for (IDispatch* p : proxies)
        p->Release();
}

TEST_F(ComLifetimeTest, MalformedFrameClosesOnlyItsConnection) {
    m_env.RegisterServer();
    IDispatch* good = nullptr;
    ASSERT_EQ(activate(&good), S_OK);
    const std::string sock = m_env.Runtime() + "/com-" + korvane::platform::GuidToText(CLSID_TestObject) + ".sock";
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    std::vector<uint8_t> oversized(12, 0);
    const uint32_t big = kWireMaxFrameBytes + 1;
    std::memcpy(oversized.data(), &big, 4);
    oversized[4] = static_cast<uint8_t>(WireType::Invoke);
    std::vector<uint8_t> afterHello = WireEncodeHello(1, WireHello{}, false);
    const uint8_t junk[] = {0x10, 0, 0, 0, 0x63, 1, 2, 3, 4, 5, 6, 7};
    afterHello.insert(afterHello.end(), junk, junk + sizeof junk);
    const Case cases[] = {
        {"garbage instead of a hello", {0xDE, 0xAD, 0xBE, 0xEF, 1, 2, 3, 4, 5, 6, 7, 8}},
        {"oversized frame announced", oversized},
        {"unknown frame type after the hello", afterHello},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int fd = -1;
        HRESULT hr;
        fd = korvane::platform::ComEndpointConnect(sock, &hr);
        ASSERT_GE(fd, 0);
        ::send(fd, c.bytes.data(), c.bytes.size(), MSG_NOSIGNAL);
        // The server closes this connection (after a hello reply, when one
        // was due): reading ends within a second.
        struct timeval tv {1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        uint8_t buf[256];
        ssize_t n;
        while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) {
        }
        EXPECT_EQ(n, 0) << "closed by the server, not timed out";
        ::close(fd);
        // Everyone else is served as before.
        VARIANT r;
        VariantInit(&r);
        ASSERT_EQ(Call(good, 1, {I4(20), I4(22)}, &r), S_OK);
        EXPECT_EQ(r.lVal, 42);
    }
    good->Release();
}

TEST_F(ComLifetimeTest, UnknownThenRunThenDispatch) {
    // The order a late-bound client such as the Java bridge uses.
    m_env.RegisterServer();
    CLSID clsid;
    ASSERT_EQ(CLSIDFromString(u"Korvane.TestObject", &clsid), S_OK);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                               IID_IUnknown, reinterpret_cast<void**>(&unknown)),
              S_OK);
    m_env.Track(ServerPid(unknown));
    EXPECT_EQ(OleRun(unknown), S_OK);
    IDispatch* d = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d)), S_OK);
    unknown->Release();
    LONG cell = 0;
    VARIANT args[3];
    for (VARIANT& a : args)
        VariantInit(&a);
    args[0].vt = VT_BYREF | VT_I4;
    args[0].plVal = &cell;
    args[1].vt = args[2].vt = VT_I4;
    args[1].lVal = 4;
    args[2].lVal = 5;
    DISPPARAMS dp{args, nullptr, 3, 0};
    ASSERT_EQ(d->Invoke(16, IID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(cell, 9);
    d->Release();
}

uid_t anotherUser(uid_t uid) { return uid + 1; }

TEST_F(ComLifetimeTest, PeersOfAnotherUserAreRefused) {
    // Simulated through the layer's hook: the machine may have one user.
    m_env.RegisterServer();
    struct Case {
        const char* name;
        bool serverSeesForeigner;
        bool clientSeesForeigner;
    };
    const Case cases[] = {
        {"server refuses the client", true, false},
        {"client refuses the server", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Environment env;  // each case with its own server
        env.RegisterServer();
        if (c.serverSeesForeigner)
            env.Set("COM_TEST_SERVER_FOREIGN_PEERS", "1");
        IDispatch* d = nullptr;
        if (c.clientSeesForeigner) {
            // A server must run before the client's check can refuse it.
            IDispatch* first = nullptr;
            ASSERT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                       reinterpret_cast<void**>(&first)),
                      S_OK);
            env.Track(ServerPid(first));
            korvane::platform::ComSetPeerUidHookForTesting(anotherUser);
            EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                       reinterpret_cast<void**>(&d)),
                      E_ACCESSDENIED);
            korvane::platform::ComSetPeerUidHookForTesting(nullptr);
            first->Release();
        } else {
            EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                       reinterpret_cast<void**>(&d)),
                      E_ACCESSDENIED);
        }
        EXPECT_EQ(d, nullptr);
    }
}

// A real second user, when the tests run as root: a server running as
// "nobody" and this process (root) refuse each other.
TEST_F(ComLifetimeTest, RealSecondUserIsRefused) {
    struct passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || !nobody)
        GTEST_SKIP() << "needs root and the user nobody; the simulated case covers the checks";
    char tmpl[] = "/tmp/korvane-com-other-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    ASSERT_EQ(::chown(dir.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    std::string envRuntime = "XDG_RUNTIME_DIR=" + dir;
    std::string envIdle = "COM_TEST_SERVER_IDLE_MS=20000";
    char* envp[] = {envRuntime.data(), envIdle.data(), nullptr};
    std::string program = COM_TEST_SERVER_PATH;
    char* argv[] = {program.data(), nullptr};
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
            ::_exit(126);
        ::execve(argv[0], argv, envp);
        ::_exit(127);
    }
    ASSERT_GT(pid, 0);
    m_env.Track(pid);
    const std::string sock = dir + "/com-" + korvane::platform::GuidToText(CLSID_TestObject) + ".sock";
    struct stat st {};
    ASSERT_TRUE(waitUntil([&] { return ::stat(sock.c_str(), &st) == 0; }, 10000)) << "server of nobody registered";
    EXPECT_EQ(st.st_uid, uid);

    // This client refuses a server of another user.
    HRESULT hr = S_OK;
    int fd = korvane::platform::ComEndpointConnect(sock, &hr);
    EXPECT_EQ(fd, -1);
    EXPECT_EQ(hr, E_ACCESSDENIED);

    // The server refuses this client: a hello reply with E_ACCESSDENIED, then the end.
    int raw = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, sock.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::connect(raw, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    std::vector<uint8_t> hello = WireEncodeHello(1, WireHello{}, false);
    ::send(raw, hello.data(), hello.size(), MSG_NOSIGNAL);
    std::vector<uint8_t> got;
    uint8_t buf[256];
    ssize_t n;
    while ((n = ::recv(raw, buf, sizeof buf, 0)) > 0)
        got.insert(got.end(), buf, buf + n);
    ::close(raw);
    ASSERT_GE(got.size(), kWireHeaderBytes);
    WireHeader h;
    ASSERT_TRUE(WireDecodeHeader(got.data(), &h));
    WireReader r(got.data() + kWireHeaderBytes, got.size() - kWireHeaderBytes);
    WireHello answer;
    ASSERT_TRUE(WireDecodeHello(r, &answer, true));
    EXPECT_EQ(answer.hr, E_ACCESSDENIED);

    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

} // namespace
