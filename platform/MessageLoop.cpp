// Per-thread message queues: a locked list of posted messages and an
// eventfd that wakes the owning thread, kept in a table by thread id so
// that other threads can post.
#include "platform/MessageLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "platform/LastError.h"
#include "platform/Sync.h"

namespace {

struct Queue {
    ~Queue() {
        if (wakeFd >= 0)
            ::close(wakeFd);
    }
    std::mutex lock;
    std::deque<MSG> messages;
    bool quitPending = false;  // from PostQuitMessage
    int quitCode = 0;
    int wakeFd = -1;
};

std::mutex g_tableLock;
std::map<DWORD, std::shared_ptr<Queue>>& table() {
    static auto* t = new std::map<DWORD, std::shared_ptr<Queue>>();
    return *t;
}

// The calling thread's queue; the holder takes it out of the table when the
// thread ends.
struct Holder {
    std::shared_ptr<Queue> queue;
    DWORD tid = 0;
    korvane::platform::MessageLoopWaiter waiter = nullptr;
    ~Holder() {
        if (queue) {
            std::lock_guard<std::mutex> g(g_tableLock);
            table().erase(tid);
        }
    }
};
thread_local Holder t_holder;

DWORD tickCount() {
    struct timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<DWORD>(static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

void wake(Queue& q) {
    uint64_t one = 1;
    // A full counter already means "wake up"; nothing else can fail here.
    ssize_t ignored = ::write(q.wakeFd, &one, sizeof one);
    (void)ignored;
}

void drain(Queue& q) {
    uint64_t count;
    while (::read(q.wakeFd, &count, sizeof count) > 0) {
    }
}

bool inFilter(UINT message, UINT lo, UINT hi) {
    if (lo == 0 && hi == 0)
        return true;
    return message == WM_QUIT || (message >= lo && message <= hi);
}

// Takes (or, without `remove`, copies) the first message in the filter.
// Returns 1 for a message, 0 for WM_QUIT, -1 for none.
int take(Queue& q, MSG* msg, UINT lo, UINT hi, bool remove) {
    std::lock_guard<std::mutex> g(q.lock);
    for (auto it = q.messages.begin(); it != q.messages.end(); ++it) {
        if (!inFilter(it->message, lo, hi))
            continue;
        *msg = *it;
        if (remove)
            q.messages.erase(it);
        return msg->message == WM_QUIT ? 0 : 1;
    }
    if (q.quitPending) {
        // The quit request comes after every posted message, as on Windows.
        *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, tickCount(), {0, 0}};
        if (remove)
            q.quitPending = false;
        return 0;
    }
    return -1;
}

} // namespace

namespace korvane::platform {

bool MessageQueueEnsure() {
    if (t_holder.queue)
        return true;
    auto q = std::make_shared<Queue>();
    q->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (q->wakeFd < 0)
        return false;
    t_holder.tid = GetCurrentThreadId();
    {
        std::lock_guard<std::mutex> g(g_tableLock);
        table()[t_holder.tid] = q;
    }
    t_holder.queue = q;
    return true;
}

void MessageLoopSetWaiter(MessageLoopWaiter waiter) { t_holder.waiter = waiter; }

bool MessageLoopWait(int timeoutMs) {
    if (!MessageQueueEnsure())
        return false;
    Queue& q = *t_holder.queue;
    {
        std::lock_guard<std::mutex> g(q.lock);
        if (!q.messages.empty() || q.quitPending)
            return true;
    }
    if (t_holder.waiter) {
        t_holder.waiter(q.wakeFd, timeoutMs);
    } else {
        struct pollfd p {q.wakeFd, POLLIN, 0};
        ::poll(&p, 1, timeoutMs);
    }
    drain(q);
    std::lock_guard<std::mutex> g(q.lock);
    return !q.messages.empty() || q.quitPending;
}

} // namespace korvane::platform

BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    if (!korvane::platform::MessageQueueEnsure()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
    Queue& q = *t_holder.queue;
    for (;;) {
        int r = take(q, msg, filterMin, filterMax, true);
        if (r >= 0)
            return r;
        korvane::platform::MessageLoopWait(-1);
    }
}

BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg) {
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!korvane::platform::MessageQueueEnsure())
        return FALSE;
    // Serve waiting COM traffic without blocking, as Windows dispatches
    // pending calls while a thread peeks.
    korvane::platform::MessageLoopWait(0);
    return take(*t_holder.queue, msg, filterMin, filterMax, removeMsg & PM_REMOVE) >= 0 ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG*) { return 0; }

BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<Queue> q;
    {
        std::lock_guard<std::mutex> g(g_tableLock);
        auto it = table().find(threadId);
        if (it != table().end())
            q = it->second;
    }
    if (!q) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> g(q->lock);
        if (q->messages.size() >= MESSAGE_QUEUE_LIMIT) {
            SetLastError(ERROR_NOT_ENOUGH_QUOTA);
            return FALSE;
        }
        q->messages.push_back(MSG{nullptr, message, wParam, lParam, tickCount(), {0, 0}});
    }
    wake(*q);
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    if (!korvane::platform::MessageQueueEnsure())
        return;
    Queue& q = *t_holder.queue;
    {
        std::lock_guard<std::mutex> g(q.lock);
        q.quitPending = true;
        q.quitCode = exitCode;
    }
    wake(q);
}
