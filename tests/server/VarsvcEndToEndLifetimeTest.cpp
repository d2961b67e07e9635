// The server program's life, through real processes: registration and its
// removal from the command line, self-registration at the first start,
// activation by clients, the current directory, idle shutdown 5 s after
// the last release (and a client keeping it alive), ExecRequ(0) ending it
// at once, and a server that no client ever used staying up.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/Registry.h"
#include "server/ServerRegistration.h"
#include "server/VarsvcTypeLib.h"
#include "tests/server/VarsvcEndToEndSupport.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point t) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

bool KeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

const std::string kClsidKey = "CLSID\\" + korvane::platform::GuidToText(CLSID_Document);

TEST(VarsvcEndToEndLifetime, RegServerAndUnregServerFromTheCommandLine) {
    ServerInstall install;
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
        bool registered;
    } const cases[] = {
        {"-RegServer", {"-RegServer"}, 0, true},
        {"/unregserver", {"/unregserver"}, 0, false},
        {"/REGSERVER", {"/REGSERVER"}, 0, true},
        {"-UnregServer", {"-UnregServer"}, 0, false},
        {"-UnregServer again", {"-UnregServer"}, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(install.RunProgram(c.args), c.exitCode);
        EXPECT_EQ(VarsvcIsRegistered(), c.registered);
        EXPECT_EQ(KeyExists(kClsidKey + "\\LocalServer32"), c.registered);
        EXPECT_EQ(KeyExists("VarSvc.Document"), c.registered);
        EXPECT_TRUE(KeyExists("AppID"));
        EXPECT_TRUE(KeyExists("CLSID"));
        EXPECT_TRUE(install.Servers().empty()) << "registration does not start a server";
    }
    // Registration writes the program's own path.
    EXPECT_EQ(install.RunProgram({"-RegServer"}), 0);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, (kClsidKey + "\\LocalServer32").c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    char path[1024] = {};
    DWORD size = sizeof path - 1;
    RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size);
    RegCloseKey(key);
    EXPECT_EQ(std::string(path), install.Program());
    // No message box on the command line.
    EXPECT_EQ(install.NewTraces().find("MessageBox"), std::string::npos);
}

TEST(VarsvcEndToEndLifetime, FailedRegistrationExitsWithOne) {
    ServerInstall install;
    std::filesystem::create_directories(install.Root() + "/not-a-store");
    servertest::EnvOverride broken("KORVANE_REGISTRY", (install.Root() + "/not-a-store").c_str());
    EXPECT_EQ(install.RunProgram({"-RegServer"}), 1);
    EXPECT_EQ(install.RunProgram({"-UnregServer"}), 1);
}

TEST(VarsvcEndToEndLifetime, FirstStartRegistersItselfAndExecRequZeroEndsItAtOnce) {
    ServerInstall install;
    ASSERT_FALSE(VarsvcIsRegistered());
    // Started directly (no switch): registers itself, then serves.
    Process server({install.Program()});
    ASSERT_TRUE(WaitUntil([] { return VarsvcIsRegistered(); }, 20000));
    ASSERT_TRUE(WaitUntil([&] { return install.NewTraces().find("VARSVC registration succeded!") != std::string::npos; }, 5000))
        << "the message box of the automatic registration";
    EXPECT_EQ(CurrentDirectoryOf(server.Pid()), install.Root() + "/plant/bin");

    // A client reaches this server; no second one is started.
    int exitCode = -1;
    const auto lines = install.Calls({"ExecRequ(86)"}, &exitCode);
    EXPECT_EQ(exitCode, 0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "{\"member\": \"ExecRequ\", \"hresult\": \"0x00000000\", \"rc\": 0, \"out\": {\"xPacket\": 67108881}}");
    EXPECT_EQ(install.Servers(), std::vector<pid_t>{server.Pid()});

    // ExecRequ(0) ends it at once, although this client still holds its object.
    const auto asked = Clock::now();
    const auto quit = install.Calls({"ExecRequ(0)"}, &exitCode);
    EXPECT_EQ(exitCode, 0);
    ASSERT_EQ(quit.size(), 1u);
    EXPECT_EQ(quit[0], "{\"member\": \"ExecRequ\", \"hresult\": \"0x00000000\", \"rc\": 0, \"out\": {\"xPacket\": 0}}");
    EXPECT_EQ(server.Wait(5000), 0) << "exit code 0";
    EXPECT_LT(MsSince(asked), 3000) << "the quit message, the revoke and the 1000 ms pause";
}

TEST(VarsvcEndToEndLifetime, ActivationStartsTheServerInItsDirectory) {
    ServerInstall install;
    ASSERT_EQ(install.RunProgram({"-RegServer"}), 0);
    ComClient com;
    HRESULT hr = E_FAIL;
    IDispatch* doc = com.Activate(&hr);
    ASSERT_EQ(hr, S_OK);
    const pid_t pid = install.Server();
    ASSERT_GT(pid, 0);
    EXPECT_EQ(CurrentDirectoryOf(pid), install.Root() + "/plant/bin");
    // A second client and a second object go to the same server.
    IDispatch* second = com.Activate(&hr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(install.Servers(), std::vector<pid_t>{pid});
    second->Release();
    doc->Release();
}

TEST(VarsvcEndToEndLifetime, ProgramOfAnotherNameKeepsItsCurrentDirectory) {
    ServerInstall install;
    const std::string other = install.Root() + "/plant/bin/catalogue-server";
    std::filesystem::copy_file(install.Program(), other);
    ASSERT_EQ(e2e::Run({other, "-RegServer"}).exitCode, 0);
    const std::string start = std::filesystem::current_path().string();
    Process server({other});
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(install.Root() + "/rt/com-" +
                                                               korvane::platform::GuidToText(CLSID_Document) + ".sock"); },
                          20000));
    EXPECT_EQ(CurrentDirectoryOf(server.Pid()), start);
    server.Kill();
    server.Wait(5000);
}

TEST(VarsvcEndToEndLifetime, IdleShutdownFiveSecondsAfterTheLastReleaseUnlessUsedAgain) {
    ServerInstall install;
    ASSERT_EQ(install.RunProgram({"-RegServer"}), 0);
    ComClient com;
    IDispatch* doc = com.Activate();
    ASSERT_NE(doc, nullptr);
    const pid_t pid = install.Server();
    ASSERT_GT(pid, 0);
    doc->Release();
    // Within 5 s a client creates and releases an object: the server stays.
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    doc = com.Activate();
    ASSERT_NE(doc, nullptr);
    doc->Release();
    const auto lastRelease = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    EXPECT_TRUE(Alive(pid)) << "6 s after the first release, 3 s after the second";
    // Then it ends 5 s after the last release (plus the 1000 ms pause).
    ASSERT_TRUE(WaitUntil([&] { return !Alive(pid); }, 8000));
    const long gone = MsSince(lastRelease);
    EXPECT_GE(gone, 5000);
    EXPECT_LE(gone, 8500);
    // A new activation starts a new server.
    doc = com.Activate();
    ASSERT_NE(doc, nullptr);
    const pid_t next = install.Server();
    EXPECT_GT(next, 0);
    EXPECT_NE(next, pid);
    doc->Release();
}

TEST(VarsvcEndToEndLifetime, ServerNeverUsedKeepsRunning) {
    ServerInstall install;
    ASSERT_EQ(install.RunProgram({"-RegServer"}), 0);
    Process server({install.Program(), "-Embedding"});
    std::this_thread::sleep_for(std::chrono::milliseconds(6500));
    EXPECT_TRUE(Alive(server.Pid())) << "the monitor waits for a first release";
    EXPECT_EQ(install.Calls({"ExecRequ(0)"}).size(), 1u);
    EXPECT_EQ(server.Wait(5000), 0);
}

} // namespace
