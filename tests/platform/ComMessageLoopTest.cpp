// The thread message queue: posting from other threads, WM_QUIT, filters,
// the queue limit and the errors of the message functions.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/LastError.h"
#include "platform/MessageLoop.h"
#include "platform/Sync.h"

namespace {

TEST(ComMessageLoopTest, PostedMessagesArriveInOrderThenQuit) {
    std::atomic<DWORD> tid{0};
    std::atomic<bool> go{false};
    std::vector<UINT> seen;
    WPARAM quitCode = 0;
    BOOL last = -2;
    std::thread loop([&] {
        MSG m;
        PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue
        tid = GetCurrentThreadId();
        while (!go.load())  // everything is posted before the loop starts
            std::this_thread::yield();
        while ((last = GetMessageA(&m, nullptr, 0, 0)) > 0) {
            seen.push_back(m.message);
            EXPECT_EQ(m.hwnd, nullptr);
            EXPECT_EQ(DispatchMessageA(&m), 0);
        }
        quitCode = m.wParam;
    });
    while (tid.load() == 0)
        std::this_thread::yield();
    EXPECT_TRUE(PostThreadMessageA(tid, WM_USER + 1, 0, 0));
    EXPECT_TRUE(PostThreadMessageA(tid, WM_USER + 2, 0, 0));
    EXPECT_TRUE(PostThreadMessageA(tid, WM_QUIT, 42, 0));
    EXPECT_TRUE(PostThreadMessageA(tid, WM_USER + 3, 0, 0));  // after the quit: never taken
    go = true;
    loop.join();
    EXPECT_EQ(last, 0);
    EXPECT_EQ(quitCode, 42u);
    EXPECT_EQ(seen, (std::vector<UINT>{WM_USER + 1, WM_USER + 2}));
    EXPECT_FALSE(PostThreadMessageA(tid, WM_USER, 0, 0)) << "the thread and its queue are gone";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));
}

TEST(ComMessageLoopTest, PostQuitMessageComesAfterPostedMessages) {
    std::thread([] {
        MSG m;
        // A fresh thread has no queue until it calls a message function.
        EXPECT_FALSE(PostThreadMessageA(GetCurrentThreadId(), WM_APP, 0, 0));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));
        PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);
        PostQuitMessage(7);
        ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_APP, 1, 2));
        ASSERT_GT(GetMessageA(&m, nullptr, 0, 0), 0);
        EXPECT_EQ(m.message, WM_APP);
        EXPECT_EQ(m.lParam, 2);
        EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 0);
        EXPECT_EQ(m.message, WM_QUIT);
        EXPECT_EQ(m.wParam, 7u);
        EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "the quit request was taken";
    }).join();
}

TEST(ComMessageLoopTest, FiltersAndPeek) {
    std::thread([] {
        MSG m;
        EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "empty";
        const DWORD self = GetCurrentThreadId();
        PostThreadMessageA(self, WM_USER + 5, 0, 0);
        PostThreadMessageA(self, WM_USER + 1, 0, 0);
        struct Case {
            const char* name;
            UINT lo, hi, remove;
            BOOL found;
            UINT message;
        };
        const Case cases[] = {
            {"range excluding both", WM_USER + 2, WM_USER + 4, PM_REMOVE, FALSE, 0},
            {"range with the second", WM_USER, WM_USER + 2, PM_NOREMOVE, TRUE, WM_USER + 1},
            {"still there after no-remove", WM_USER, WM_USER + 2, PM_REMOVE, TRUE, WM_USER + 1},
            {"gone after remove", WM_USER, WM_USER + 2, PM_REMOVE, FALSE, 0},
            {"any", 0, 0, PM_REMOVE, TRUE, WM_USER + 5},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            m.message = 0;
            EXPECT_EQ(PeekMessageA(&m, nullptr, c.lo, c.hi, c.remove), c.found);
            if (c.found) {
                EXPECT_EQ(m.message, c.message);
            }
        }
        // WM_QUIT passes every filter.
        PostThreadMessageA(self, WM_QUIT, 3, 0);
        EXPECT_EQ(GetMessageA(&m, nullptr, WM_USER, WM_USER), 0);
    }).join();
}

TEST(ComMessageLoopTest, Errors) {
    std::thread([] {
        MSG m;
        HWND window = reinterpret_cast<HWND>(0x1234);
        EXPECT_EQ(GetMessageA(&m, window, 0, 0), -1);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
        EXPECT_EQ(GetMessageA(nullptr, nullptr, 0, 0), -1);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_FALSE(PeekMessageA(&m, window, 0, 0, PM_REMOVE));
        EXPECT_FALSE(TranslateMessage(&m));
    }).join();
    EXPECT_FALSE(PostThreadMessageA(0xFFFFFFF0u, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));
}

TEST(ComMessageLoopTest, QueueLimit) {
    std::thread([] {
        MSG m;
        PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);
        const DWORD self = GetCurrentThreadId();
        for (UINT i = 0; i < MESSAGE_QUEUE_LIMIT; ++i)
            ASSERT_TRUE(PostThreadMessageA(self, WM_USER, i, 0)) << i;
        EXPECT_FALSE(PostThreadMessageA(self, WM_USER, 0, 0)) << "one past the limit";
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA));
        ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
        EXPECT_EQ(m.wParam, 0u);
        EXPECT_TRUE(PostThreadMessageA(self, WM_USER, 0, 0)) << "room again";
    }).join();
}

TEST(ComMessageLoopTest, WaitReturnsOnTimeoutAndOnPost) {
    std::atomic<DWORD> tid{0};
    std::atomic<bool> woke{false};
    std::thread t([&] {
        EXPECT_FALSE(korvane::platform::MessageLoopWait(20)) << "nothing posted: time-out";
        tid = GetCurrentThreadId();
        woke = korvane::platform::MessageLoopWait(10000);
    });
    while (tid.load() == 0)
        std::this_thread::yield();
    PostThreadMessageA(tid, WM_USER, 0, 0);
    t.join();
    EXPECT_TRUE(woke.load());
}

} // namespace
