// Critical sections, events, waits, threads, interlocked counters and the
// handle checks of the synchronisation functions.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/LastError.h"
#include "platform/Sync.h"
#include "tests/platform/PlatformTestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;

long elapsedMs(Clock::time_point since) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

HANDLE bogus(uintptr_t v) { return reinterpret_cast<HANDLE>(v); }

TEST(SyncTest, BadHandlesAreRefused) {
    HANDLE closed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(nullptr, closed);
    ASSERT_TRUE(CloseHandle(closed));
    int local = 0;
    struct Case {
        const char* name;
        HANDLE handle;
    } cases[] = {
        {"null", nullptr},
        {"INVALID_HANDLE_VALUE", INVALID_HANDLE_VALUE},
        {"closed event", closed},
        {"small number", bogus(4)},
        {"address of a local", &local},
        {"unaligned", bogus(0x10001)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(c.handle));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        SetLastError(0);
        EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(c.handle, 0));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        SetLastError(0);
        EXPECT_FALSE(SetEvent(c.handle));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        EXPECT_FALSE(ResetEvent(c.handle));
        EXPECT_FALSE(ReleaseMutex(c.handle));
        DWORD code = 0;
        EXPECT_FALSE(GetExitCodeThread(c.handle, &code));
    }
    // A handle of another kind is no event.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    SetLastError(0);
    EXPECT_FALSE(SetEvent(mutex));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_TRUE(CloseHandle(mutex));
    EXPECT_FALSE(CloseHandle(mutex)) << "a handle closes once";
}

TEST(SyncTest, EventStatesAndWaits) {
    struct Case {
        const char* name;
        BOOL manual;
        BOOL initial;
        DWORD firstWait;
        DWORD secondWait;
    } cases[] = {
        {"auto-reset, unsignalled", FALSE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
        {"auto-reset, signalled: one wait takes it", FALSE, TRUE, WAIT_OBJECT_0, WAIT_TIMEOUT},
        {"manual-reset, unsignalled", TRUE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
        {"manual-reset, signalled: stays", TRUE, TRUE, WAIT_OBJECT_0, WAIT_OBJECT_0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HANDLE e = CreateEventA(nullptr, c.manual, c.initial, nullptr);
        ASSERT_NE(nullptr, e);
        EXPECT_EQ(c.firstWait, WaitForSingleObject(e, 0));
        EXPECT_EQ(c.secondWait, WaitForSingleObject(e, 0));
        EXPECT_TRUE(SetEvent(e));
        EXPECT_TRUE(SetEvent(e)) << "signalling twice is no error";
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(e, 0));
        EXPECT_EQ(c.manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT, WaitForSingleObject(e, 0));
        EXPECT_TRUE(ResetEvent(e));
        EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(e, 0));
        EXPECT_TRUE(CloseHandle(e));
    }
    SetLastError(0);
    EXPECT_EQ(nullptr, CreateEventA(nullptr, FALSE, FALSE, "Named"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(SyncTest, TimedWaitsLastTheirTime) {
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    struct Case {
        DWORD timeout;
        long atLeast;
    } cases[] = {{0, 0}, {1, 1}, {60, 60}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.timeout);
        auto start = Clock::now();
        EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(e, c.timeout));
        EXPECT_GE(elapsedMs(start), c.atLeast);
    }
    // A signal from another thread ends an unlimited wait.
    std::thread signaller([e] {
        Sleep(30);
        SetEvent(e);
    });
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(e, INFINITE));
    signaller.join();
    CloseHandle(e);
}

TEST(SyncTest, AutoResetEventWakesOneWaiterPerSignal) {
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            if (WaitForSingleObject(e, 2000) == WAIT_OBJECT_0) {
                ++woken;
            }
        });
    }
    Sleep(50);
    SetEvent(e);
    Sleep(100);
    EXPECT_EQ(1, woken.load());
    SetEvent(e);
    Sleep(100);
    EXPECT_EQ(2, woken.load());
    SetEvent(e);
    for (auto& t : waiters) {
        t.join();
    }
    EXPECT_EQ(3, woken.load());
    CloseHandle(e);
}

TEST(SyncTest, WaitForMultipleObjects) {
    HANDLE a = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE b = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    HANDLE both[] = {a, b};
    EXPECT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjects(2, both, FALSE, 0));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForMultipleObjects(2, both, TRUE, 0));
    SetEvent(a);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, both, FALSE, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, both, TRUE, 0));
    struct Case {
        const char* name;
        DWORD count;
        const HANDLE* handles;
        DWORD error;
    } cases[] = {
        {"none", 0, both, ERROR_INVALID_PARAMETER},
        {"null array", 2, nullptr, ERROR_INVALID_PARAMETER},
        {"one past the maximum", MAXIMUM_WAIT_OBJECTS + 1, both, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetLastError(0);
        EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(c.count, c.handles, FALSE, 0));
        EXPECT_EQ(c.error, GetLastError());
    }
    HANDLE withBad[] = {a, bogus(8)};
    EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(2, withBad, FALSE, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    CloseHandle(a);
    CloseHandle(b);
}

DWORD returnParameter(LPVOID p) {
    Sleep(20);
    return static_cast<DWORD>(reinterpret_cast<uintptr_t>(p));
}

DWORD reportId(LPVOID p) {
    *static_cast<DWORD*>(p) = GetCurrentThreadId();
    return 0;
}

TEST(SyncTest, ThreadsAreWaitableAndReportTheirResult) {
    struct Case {
        const char* name;
        uintptr_t result;
    } cases[] = {{"zero", 0}, {"STILL_ACTIVE itself", STILL_ACTIVE}, {"largest", 0xFFFFFFFFu}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DWORD id = 0;
        HANDLE t = CreateThread(nullptr, 0, returnParameter, reinterpret_cast<LPVOID>(c.result), 0, &id);
        ASSERT_NE(nullptr, t);
        EXPECT_NE(0u, id);
        EXPECT_NE(GetCurrentThreadId(), id);
        DWORD code = 0;
        ASSERT_TRUE(GetExitCodeThread(t, &code));
        EXPECT_EQ(STILL_ACTIVE, code);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, 5000));
        ASSERT_TRUE(GetExitCodeThread(t, &code));
        EXPECT_EQ(static_cast<DWORD>(c.result), code);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, 0)) << "an ended thread stays signalled";
        EXPECT_TRUE(CloseHandle(t));
    }
    DWORD seen = 0, id = 0;
    HANDLE t = CreateThread(nullptr, 64 * 1024, reportId, &seen, 0, &id);
    ASSERT_NE(nullptr, t);
    WaitForSingleObject(t, INFINITE);
    EXPECT_EQ(id, seen) << "the id given out is the thread's own";
    CloseHandle(t);
    SetLastError(0);
    EXPECT_EQ(nullptr, CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(nullptr, CreateThread(nullptr, 0, reportId, &seen, CREATE_SUSPENDED, nullptr));
}

TEST(SyncTest, CriticalSectionIsRecursiveAndExcludesOthers) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EXPECT_EQ(2, cs.RecursionCount);
    std::atomic<bool> otherGotIt{false};
    std::thread other([&] { otherGotIt = TryEnterCriticalSection(&cs) != FALSE; });
    other.join();
    EXPECT_FALSE(otherGotIt.load());
    LeaveCriticalSection(&cs);
    std::thread other2([&] { otherGotIt = TryEnterCriticalSection(&cs) != FALSE; });
    other2.join();
    EXPECT_FALSE(otherGotIt.load()) << "one leave of two entries keeps it owned";
    // A leave by a thread that does not own it changes nothing.
    std::thread intruder([&] { LeaveCriticalSection(&cs); });
    intruder.join();
    EXPECT_EQ(1, cs.RecursionCount);
    LeaveCriticalSection(&cs);
    EXPECT_EQ(0u, cs.OwningThread.load());
    // Many threads counting under the section lose no increment.
    int counter = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] {
            for (int j = 0; j < 10000; ++j) {
                EnterCriticalSection(&cs);
                EnterCriticalSection(&cs);
                ++counter;
                LeaveCriticalSection(&cs);
                LeaveCriticalSection(&cs);
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(40000, counter);
    DeleteCriticalSection(&cs);
}

TEST(SyncTest, InterlockedOperations) {
    struct Case {
        const char* name;
        LONG start;
        LONG afterIncrement;
        LONG afterDecrement;
    } cases[] = {
        {"zero", 0, 1, -1},
        {"largest wraps", 0x7FFFFFFF, static_cast<LONG>(0x80000000u), 0x7FFFFFFE},
        {"smallest wraps", static_cast<LONG>(0x80000000u), static_cast<LONG>(0x80000001u), 0x7FFFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        volatile LONG v = c.start;
        EXPECT_EQ(c.afterIncrement, InterlockedIncrement(&v));
        v = c.start;
        EXPECT_EQ(c.afterDecrement, InterlockedDecrement(&v));
        EXPECT_EQ(c.afterDecrement, InterlockedExchange(&v, 42));
        EXPECT_EQ(42, v);
        EXPECT_EQ(42, InterlockedCompareExchange(&v, 7, 41));
        EXPECT_EQ(42, v) << "no store when the comparand differs";
        EXPECT_EQ(42, InterlockedCompareExchange(&v, 7, 42));
        EXPECT_EQ(7, v);
        EXPECT_EQ(7, InterlockedExchangeAdd(&v, 5));
        EXPECT_EQ(12, v);
    }
    volatile LONG count = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] {
            for (int j = 0; j < 20000; ++j) {
                InterlockedIncrement(&count);
                InterlockedDecrement(&count);
                InterlockedIncrement(&count);
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(80000, count);
}

TEST(SyncTest, SleepAndThreadIds) {
    auto start = Clock::now();
    Sleep(0);
    Sleep(25);
    EXPECT_GE(elapsedMs(start), 25);
    DWORD mine = GetCurrentThreadId();
    EXPECT_NE(0u, mine);
    EXPECT_EQ(mine, GetCurrentThreadId());
    DWORD other = 0;
    std::thread t([&] { other = GetCurrentThreadId(); });
    t.join();
    EXPECT_NE(0u, other);
    EXPECT_NE(mine, other);
}

TEST(SyncTest, UnnamedMutexOwnership) {
    HANDLE m = CreateMutexA(nullptr, TRUE, nullptr);
    ASSERT_NE(nullptr, m);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m, 0)) << "the owner enters again";
    DWORD otherWait = 0;
    std::thread other([&] { otherWait = WaitForSingleObject(m, 30); });
    other.join();
    EXPECT_EQ(WAIT_TIMEOUT, otherWait);
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_TRUE(ReleaseMutex(m));
    SetLastError(0);
    EXPECT_FALSE(ReleaseMutex(m)) << "released as often as taken";
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());
    std::thread taker([&] { otherWait = WaitForSingleObject(m, 1000); });
    taker.join();
    // The taking thread ended without releasing: the mutex is abandoned and
    // the next wait gets it with WAIT_ABANDONED.
    EXPECT_EQ(WAIT_OBJECT_0, otherWait);
    EXPECT_EQ(WAIT_ABANDONED, WaitForSingleObject(m, 2000));
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_TRUE(CloseHandle(m));
}

} // namespace

namespace {

TEST(SyncForkTest, ChildHasThreadIdOfItsOwn) {
    const DWORD parent = GetCurrentThreadId();
    int fds[2];
    ASSERT_EQ(0, ::pipe(fds));
    pid_t child = platform_test::spawn([&] {
        DWORD id = GetCurrentThreadId();
        return ::write(fds[1], &id, sizeof id) == static_cast<ssize_t>(sizeof id) ? 0 : 1;
    });
    DWORD childId = 0;
    ASSERT_EQ(static_cast<ssize_t>(sizeof childId), ::read(fds[0], &childId, sizeof childId));
    ::close(fds[0]);
    ::close(fds[1]);
    EXPECT_EQ(0, platform_test::reap(child));
    EXPECT_EQ(static_cast<DWORD>(child), childId) << "the child's main thread id is its pid";
    EXPECT_NE(parent, childId);
    EXPECT_EQ(parent, GetCurrentThreadId());
}

} // namespace
