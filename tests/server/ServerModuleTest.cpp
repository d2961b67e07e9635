// The server module: the scan of the command line, the lock count and its
// activity flag, and the monitor thread's idle rule, with a short idle time.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/MessageLoop.h"
#include "platform/Sync.h"
#include "server/ServerModule.h"

namespace {

TEST(ServerCommandLine, SwitchesMustEndTheLine) {
    struct Case {
        const char* line;
        ServerCommand expected;
    } const cases[] = {
        {"", ServerCommand::Run},
        {"/opt/varsvc/bin/varsvc", ServerCommand::Run},
        {"/opt/varsvc/bin/varsvc -Embedding", ServerCommand::Run},
        {"/opt/varsvc/bin/varsvc -RegServer", ServerCommand::RegServer},
        {"/opt/varsvc/bin/varsvc /RegServer", ServerCommand::RegServer},
        {"/opt/varsvc/bin/varsvc -regserver", ServerCommand::RegServer},
        {"/opt/varsvc/bin/varsvc /REGSERVER", ServerCommand::RegServer},
        {"/opt/varsvc/bin/varsvc -UnregServer", ServerCommand::UnregServer},
        {"/opt/varsvc/bin/varsvc /unregSERVER", ServerCommand::UnregServer},
        {"C:\\Varsvc\\Varsvc.exe /RegServer", ServerCommand::RegServer},
        {"/opt/varsvc/bin/varsvc -RegServer -Embedding", ServerCommand::Run},
        {"/opt/varsvc/bin/varsvc -RegServer ", ServerCommand::Run},
        {"/opt/varsvc/bin/varsvc -RegServerX", ServerCommand::Run},
        {"/opt/varsvc/bin/varsvc -Reg", ServerCommand::Run},
        {"/opt/varsvc/bin/varsvc - RegServer", ServerCommand::Run},
        {"/opt/varsvc/bin/varsvc --RegServer", ServerCommand::RegServer},
        {"/opt/varsvc/bin/varsvc -x -UnregServer", ServerCommand::UnregServer},
        {"-", ServerCommand::Run},
        {"/", ServerCommand::Run},
        // The program path is part of the scan, as on Windows.
        {"/opt/RegServer", ServerCommand::RegServer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(ScanCommandLine(c.line), c.expected);
    }
}

TEST(ServerCommandLine, ArgumentsAreJoinedByBlanks) {
    char a0[] = "/opt/varsvc/bin/varsvc";
    char a1[] = "-RegServer";
    char a2[] = "x y";
    char* argv[] = {a0, a1, a2, nullptr};
    EXPECT_EQ(JoinCommandLine(0, argv), "");
    EXPECT_EQ(JoinCommandLine(1, argv), "/opt/varsvc/bin/varsvc");
    EXPECT_EQ(JoinCommandLine(2, argv), "/opt/varsvc/bin/varsvc -RegServer");
    EXPECT_EQ(JoinCommandLine(3, argv), "/opt/varsvc/bin/varsvc -RegServer x y");
}

TEST(ServerModuleLocks, CountAndActivityFlag) {
    ServerModule module;
    EXPECT_EQ(module.LockCount(), 0);
    EXPECT_FALSE(module.ActivityFlag());
    EXPECT_EQ(module.Lock(), 1);
    EXPECT_EQ(module.Lock(), 2);
    EXPECT_EQ(module.Unlock(), 1);
    EXPECT_FALSE(module.ActivityFlag());
    EXPECT_EQ(module.Unlock(), 0);
    EXPECT_TRUE(module.ActivityFlag());
    EXPECT_FALSE(module.PostQuit()) << "no main thread yet";
}

// The monitor posts WM_QUIT to this thread; true when it arrived within
// `ms`.
bool QuitWithin(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    MSG msg;
    while (std::chrono::steady_clock::now() < end) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message == WM_QUIT)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class ServerModuleMonitor : public ::testing::Test {
protected:
    void SetUp() override {
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); // this thread gets its queue
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        module.SetMainThread(GetCurrentThreadId());
        ASSERT_TRUE(module.StartMonitor());
    }
    static constexpr DWORD kIdle = 300;
    ServerModule module{kIdle};
};

TEST_F(ServerModuleMonitor, NeverUsedServerKeepsRunning) {
    EXPECT_FALSE(QuitWithin(4 * kIdle));
    EXPECT_FALSE(module.MonitorFinished());
    EXPECT_FALSE(module.StartMonitor()) << "one monitor";
}

TEST_F(ServerModuleMonitor, QuitsAnIdleTimeAfterTheLastRelease) {
    module.Lock();
    module.Unlock();
    const auto released = std::chrono::steady_clock::now();
    ASSERT_TRUE(QuitWithin(10 * kIdle));
    const auto waited = std::chrono::steady_clock::now() - released;
    EXPECT_GE(waited, std::chrono::milliseconds(kIdle - 20));
    EXPECT_TRUE(module.WaitMonitor(2000));
    EXPECT_TRUE(module.MonitorFinished());
}

TEST_F(ServerModuleMonitor, ActivityWithinTheIdleTimeKeepsItAlive) {
    module.Lock();
    module.Unlock();
    // New objects come and go before the idle time is over, three times.
    for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kIdle / 2));
        module.Lock();
        module.Unlock();
    }
    const auto last = std::chrono::steady_clock::now();
    ASSERT_TRUE(QuitWithin(10 * kIdle));
    EXPECT_GE(std::chrono::steady_clock::now() - last, std::chrono::milliseconds(kIdle - 20));
}

TEST_F(ServerModuleMonitor, LiveObjectsKeepItAlive) {
    module.Lock();
    module.Unlock();
    module.Lock(); // an object created and kept
    EXPECT_FALSE(QuitWithin(4 * kIdle));
    EXPECT_FALSE(module.MonitorFinished());
    module.Unlock();
    EXPECT_TRUE(QuitWithin(10 * kIdle));
}

} // namespace
