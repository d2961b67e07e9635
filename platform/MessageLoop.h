// The thread message queue of the Windows user interface layer, as far as a
// windowless server uses it: GetMessage, PeekMessage, TranslateMessage,
// DispatchMessage, PostThreadMessage and PostQuitMessage with WM_QUIT.
//
// A thread gets its queue on its first GetMessage/PeekMessage or when it
// enters a single-threaded COM apartment (CoInitializeEx), and loses it when
// it ends. While a thread of a single-threaded apartment waits in
// GetMessage (or PeekMessage), the COM calls that clients make on its
// objects are served on it, one at a time (platform/ComRuntime.h).
//
// Posted messages are delivered in order; a queue holds at most
// MESSAGE_QUEUE_LIMIT of them (ERROR_NOT_ENOUGH_QUOTA beyond, as Windows).
// PostQuitMessage makes the next GetMessage return 0 once no posted
// message is left, WM_QUIT posted with PostThreadMessage when it is reached.
// Messages are thread messages only: a window handle other than null is an
// invalid handle.
#pragma once

#include "platform/OleAuto.h"

struct POINT {
    LONG x;
    LONG y;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
using LPMSG = MSG*;

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;
constexpr UINT PM_NOYIELD = 0x0002;
/// Most messages waiting in one queue.
constexpr UINT MESSAGE_QUEUE_LIMIT = 10000;

/// Waits for a message of the calling thread with a number in
/// [filterMin, filterMax] (both 0: any; WM_QUIT is always taken) and removes
/// it into *msg. Returns nonzero for a message, 0 for WM_QUIT (msg->wParam
/// holds the exit code), -1 with GetLastError() = ERROR_INVALID_WINDOW_HANDLE
/// for a non-null `window` or ERROR_INVALID_PARAMETER for a null `msg`.
BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax);
/// Like GetMessageA without waiting: nonzero when a message was found
/// (removed with PM_REMOVE, left with PM_NOREMOVE), else 0.
BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg);
/// Translates keyboard messages; there are none here: FALSE.
BOOL TranslateMessage(const MSG* msg);
/// Hands a message to its window procedure; thread messages have none: 0.
LRESULT DispatchMessageA(const MSG* msg);
/// Posts a message to the queue of thread `threadId` (from any thread).
/// FALSE with ERROR_INVALID_THREAD_ID when that thread has no queue, or
/// ERROR_NOT_ENOUGH_QUOTA when its queue is full.
BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
/// Asks the calling thread's message loop to end with `exitCode`.
void PostQuitMessage(int exitCode);

inline BOOL GetMessage(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
    return GetMessageA(msg, window, filterMin, filterMax);
}
inline BOOL PeekMessage(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg) {
    return PeekMessageA(msg, window, filterMin, filterMax, removeMsg);
}
inline LRESULT DispatchMessage(const MSG* msg) { return DispatchMessageA(msg); }
inline BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    return PostThreadMessageA(threadId, message, wParam, lParam);
}

namespace korvane::platform {

/// Waits while the calling thread's queue is empty: serves the thread's COM
/// traffic meanwhile. Called with the queue's wake-up descriptor and a
/// time-out in milliseconds (-1: none); returns when the descriptor is
/// readable or the time is up.
using MessageLoopWaiter = void (*)(int wakeFd, int timeoutMs);

/// Gives the calling thread a queue if it has none. False when no queue
/// can be made (out of descriptors).
bool MessageQueueEnsure();
/// Installs (or, with null, removes) the calling thread's waiter.
void MessageLoopSetWaiter(MessageLoopWaiter waiter);
/// Waits up to `timeoutMs` (-1: no limit) for a message to arrive in the
/// calling thread's queue, serving COM traffic meanwhile; true when a
/// message is waiting. Used by tests and by loops that also poll a clock.
bool MessageLoopWait(int timeoutMs);

} // namespace korvane::platform
