// Activation of the test server program through the registry: one server
// for many clients (8 client processes activating at the same moment start
// one), reuse of a running server, the failures of activation, idle
// shutdown and a new server on the next activation, and the splitting of
// LocalServer32 command lines.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "platform/ComActivation.h"
#include "platform/ComRuntime.h"
#include "tests/platform/ComTestSupport.h"

using namespace comtest;

namespace {

class ComActivationTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK); }
    void TearDown() override { CoUninitialize(); }

    HRESULT activate(IDispatch** d, REFIID iid = IID_IDispatch) {
        *d = nullptr;
        HRESULT hr = CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_LOCAL_SERVER, iid, reinterpret_cast<void**>(d));
        if (*d)
            m_env.Track(ServerPid(*d));
        return hr;
    }

    Environment m_env;
};

TEST_F(ComActivationTest, FirstActivationStartsTheServerAndLaterOnesReuseIt) {
    m_env.RegisterServer();
    IDispatch* first = nullptr;
    ASSERT_EQ(activate(&first), S_OK);
    const pid_t pid = ServerPid(first);
    EXPECT_GT(pid, 0);
    EXPECT_NE(pid, ::getpid());
    EXPECT_TRUE(alive(pid));
    IDispatch* second = nullptr;
    ASSERT_EQ(activate(&second), S_OK);
    EXPECT_EQ(ServerPid(second), pid) << "the running server serves again";
    VARIANT r;
    VariantInit(&r);
    ASSERT_EQ(Call(second, 14, {}, &r), S_OK);
    EXPECT_EQ(r.lVal, 2) << "two objects live in the server";
    // Activation by ProgID, as a client resolves it.
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(u"Korvane.TestObject", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TestObject);
    first->Release();
    ASSERT_EQ(Call(second, 14, {}, &r), S_OK);
    EXPECT_EQ(r.lVal, 1) << "a release reaches the server before Release returns";
    second->Release();
    EXPECT_EQ(ServersIn(m_env.Runtime()).size(), 1u);
}

TEST_F(ComActivationTest, EightClientsActivatingAtOnceStartOneServer) {
    m_env.RegisterServer();
    std::vector<Client> clients;
    for (int i = 0; i < 8; ++i)
        clients.push_back(StartClient({"activate"}));
    std::vector<std::string> lines;
    for (Client& c : clients) {
        lines.push_back(c.ReadLine());
        EXPECT_EQ(c.Wait(), 0);
    }
    pid_t server = static_cast<pid_t>(std::atol(lines[0].c_str()));
    m_env.Track(server);
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "client " << i << ": " << lines[i]);
        EXPECT_EQ(lines[i], std::to_string(server) + " ok");
    }
    std::vector<pid_t> servers = ServersIn(m_env.Runtime());
    ASSERT_EQ(servers.size(), 1u) << "exactly one server process was started";
    EXPECT_EQ(servers[0], server);
}

TEST_F(ComActivationTest, ActivationFailures) {
    const std::string hang = m_env.Dir() + "/hang.sh";
    {
        std::ofstream script(hang);
        script << "#!/bin/sh\necho $$ > " << m_env.Dir() << "/hang.pid\nexec sleep 30\n";
    }
    ::chmod(hang.c_str(), 0755);
    korvane::platform::ComSetActivationTimeout(400);
    struct Case {
        const char* name;
        const char* program;  // null: nothing registered
        IID iid;
        HRESULT hr;
        int withinMs;
    };
    const std::string missing = m_env.Dir() + "/no-such-program";
    const Case cases[] = {
        {"class not registered", nullptr, IID_IDispatch, REGDB_E_CLASSNOTREG, 1000},
        {"program missing", missing.c_str(), IID_IDispatch, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), 1000},
        {"program ends without registering", "/bin/true", IID_IDispatch, CO_E_SERVER_EXEC_FAILURE, 1000},
        {"program never registers: activation time-out", hang.c_str(), IID_IDispatch, CO_E_SERVER_EXEC_FAILURE, 2000},
        {"a directory is no program", "/tmp", IID_IDispatch, E_ACCESSDENIED, 1000},
        {"interface that does not travel", COM_TEST_SERVER_PATH, IID_ITestObject, E_NOINTERFACE, 10000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.program)
            m_env.RegisterServer(c.program);
        IDispatch* d = nullptr;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(activate(&d, c.iid), c.hr);
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(ms, c.withinMs);
        EXPECT_EQ(d, nullptr);
    }
    std::ifstream pidFile(m_env.Dir() + "/hang.pid");
    pid_t hung = 0;
    pidFile >> hung;
    m_env.Track(hung);
    korvane::platform::ComSetActivationTimeout(30000);

    // The object made for the refused interface was released again.
    IDispatch* d = nullptr;
    ASSERT_EQ(activate(&d), S_OK);
    VARIANT r;
    VariantInit(&r);
    ASSERT_EQ(Call(d, 14, {}, &r), S_OK);
    EXPECT_EQ(r.lVal, 1);
    d->Release();
}

TEST_F(ComActivationTest, IdleServerEndsAndTheNextActivationStartsANewOne) {
    m_env.Set("COM_TEST_SERVER_IDLE_MS", "200");
    m_env.RegisterServer();
    IDispatch* d = nullptr;
    ASSERT_EQ(activate(&d), S_OK);
    const pid_t first = ServerPid(d);
    d->Release();
    ASSERT_TRUE(waitUntil([&] { return !alive(first); }, 5000)) << "idle server ended";
    ASSERT_EQ(activate(&d), S_OK);
    EXPECT_NE(ServerPid(d), first);
    EXPECT_TRUE(alive(ServerPid(d)));
    d->Release();
}

TEST_F(ComActivationTest, ServerEndedByItsClientIsReplaced) {
    m_env.RegisterServer();
    IDispatch* d = nullptr;
    ASSERT_EQ(activate(&d), S_OK);
    const pid_t first = ServerPid(d);
    ASSERT_EQ(Call(d, 17, {}), S_OK) << "Quit posts WM_QUIT in the server";
    ASSERT_TRUE(waitUntil([&] { return !alive(first); }, 5000));
    VARIANT r;
    VariantInit(&r);
    EXPECT_EQ(Call(d, 1, {I4(1), I4(2)}, &r), RPC_S_SERVER_UNAVAILABLE);
    d->Release();
    ASSERT_EQ(activate(&d), S_OK);
    EXPECT_NE(ServerPid(d), first);
    d->Release();
}

TEST(ComActivationCommandLineTest, Splitting) {
    struct Case {
        const char* name;
        std::string line;
        bool ok;
        std::vector<std::string> argv;
    };
    const Case cases[] = {
        {"empty", "", false, {}},
        {"blanks", "   ", false, {}},
        {"plain program", "/usr/bin/server", true, {"/usr/bin/server"}},
        {"program and arguments", "/usr/bin/server -a b", true, {"/usr/bin/server", "-a", "b"}},
        {"quoted program with blank", "\"/opt/my dir/server\" -x", true, {"/opt/my dir/server", "-x"}},
        {"quoted argument", "/srv \"two words\" three", true, {"/srv", "two words", "three"}},
        {"unclosed quote", "\"/srv -x", false, {}},
        {"empty quoted program", "\"\" x", false, {}},
        {"surrounding blanks", "  /srv  ", true, {"/srv"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> argv;
        EXPECT_EQ(korvane::platform::ComSplitCommandLine(c.line, &argv), c.ok);
        if (c.ok) {
            EXPECT_EQ(argv, c.argv);
        }
    }
    // An existing file whose path holds a blank is taken whole.
    Environment env;
    const std::string spaced = env.Dir() + "/my server";
    std::ofstream(spaced) << "x";
    std::vector<std::string> argv;
    ASSERT_TRUE(korvane::platform::ComSplitCommandLine(spaced, &argv));
    EXPECT_EQ(argv, std::vector<std::string>{spaced});
}

} // namespace
