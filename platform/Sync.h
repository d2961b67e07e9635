// Threads and synchronisation under their Windows names: recursive critical
// sections, events, waits with time-outs, threads, Sleep, interlocked
// counters, thread identifiers and named mutexes shared across the user's
// processes.
//
// Named mutexes (CreateMutexA with a name) live in a per-user namespace: the
// name "X" is a lock file "mutex-X" in the runtime directory
// (PlatformRuntimeDir), held by a shared file lock for as long as a handle to
// the mutex is open in some process. Creating one whose name is held,
// whether by this or another process, succeeds and sets GetLastError() to
// ERROR_ALREADY_EXISTS. The operating system drops the lock when the last
// holder exits, even by a crash, so the name is free again. Waiting on and
// releasing a named mutex acquire its ownership among the threads of this
// process only (ownership across processes is not needed: the mutex serves
// as a "running" marker); WaitForSingleObject on it therefore returns
// WAIT_OBJECT_0 when no other thread of the process owns it.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/HandleTable.h"
#include "platform/WinTypes.h"

/// A recursive lock of the threads of one process. Initialise it before use
/// and delete it after; it must not be copied or moved while initialised.
struct CRITICAL_SECTION {
    std::mutex Lock;                      ///< the underlying lock
    std::atomic<DWORD> OwningThread{0};   ///< id of the owning thread, 0 when free
    LONG RecursionCount = 0;              ///< entries of the owner not yet left
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

/// Prepares `cs` for use (unowned). A null pointer is ignored.
void InitializeCriticalSection(LPCRITICAL_SECTION cs);
/// Waits for `cs` and enters it; the owner may enter again (each entry needs
/// one leave). A null pointer is ignored.
void EnterCriticalSection(LPCRITICAL_SECTION cs);
/// Enters `cs` if that needs no wait: TRUE when entered, else FALSE.
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs);
/// Leaves one entry of `cs`. A leave by a thread that does not own it is
/// ignored instead of corrupting the lock (Windows leaves that undefined).
void LeaveCriticalSection(LPCRITICAL_SECTION cs);
/// Ends the use of `cs`; it must not be owned.
void DeleteCriticalSection(LPCRITICAL_SECTION cs);

// Wait results and time-outs.
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_ABANDONED = 0x00000080;
constexpr DWORD WAIT_ABANDONED_0 = WAIT_ABANDONED;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;
constexpr DWORD STILL_ACTIVE = 0x00000103;

/// Creates an event: manual-reset (stays signalled until ResetEvent) or
/// auto-reset (one successful wait unsignals it), initially signalled or not.
/// Names are not supported: a non-null, non-empty `name` fails with
/// ERROR_INVALID_PARAMETER (the system uses unnamed events only). Returns the
/// handle or null.
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                    LPCSTR name);
/// Signals the event: an auto-reset event wakes one waiter (or stays
/// signalled until one comes), a manual-reset event all. FALSE with
/// ERROR_INVALID_HANDLE for a handle that is not an open event.
BOOL SetEvent(HANDLE event);
/// Unsignals the event. FALSE with ERROR_INVALID_HANDLE for a bad handle.
BOOL ResetEvent(HANDLE event);

/// Waits up to `milliseconds` (INFINITE: without limit; 0: just tests) for
/// the object: an event to be signalled, a thread to end, a mutex to be free
/// (it then belongs to the caller). WAIT_OBJECT_0, WAIT_TIMEOUT, or
/// WAIT_FAILED with ERROR_INVALID_HANDLE for a bad or unwaitable handle.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
/// Waits for one (waitAll FALSE) or all (TRUE) of `count` objects (1 ..
/// MAXIMUM_WAIT_OBJECTS). Returns WAIT_OBJECT_0 + index of the first
/// signalled one (or WAIT_OBJECT_0 when all are), WAIT_TIMEOUT, or
/// WAIT_FAILED (ERROR_INVALID_PARAMETER / ERROR_INVALID_HANDLE).
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID parameter);
constexpr DWORD CREATE_SUSPENDED = 0x00000004;

/// Starts a thread running start(parameter). The handle is waitable (it is
/// signalled when the thread ends) and must be closed with CloseHandle;
/// closing it does not stop the thread. *threadId (optional) receives its
/// identifier. `stackSize` 0 means the default; CREATE_SUSPENDED is not
/// supported (ERROR_INVALID_PARAMETER). Null with an error code on failure.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, size_t stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD threadId);
/// The thread's result: STILL_ACTIVE while it runs, then the value its
/// routine returned. FALSE with ERROR_INVALID_HANDLE for a bad handle.
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
/// The identifier of the calling thread: non-zero, unique among live threads
/// of the system (the kernel thread id).
DWORD GetCurrentThreadId();
/// The identifier of the calling process.
DWORD GetCurrentProcessId();
/// Suspends the calling thread for at least `milliseconds`; 0 yields.
/// INFINITE sleeps for good.
void Sleep(DWORD milliseconds);

/// Atomic operations on a 32-bit counter (sequentially consistent). Increment
/// and decrement return the new value, Exchange the old one,
/// CompareExchange the old one (the store happens when it equalled
/// `comparand`). The counter must be 4-byte aligned.
LONG InterlockedIncrement(volatile LONG* target);
LONG InterlockedDecrement(volatile LONG* target);
LONG InterlockedExchange(volatile LONG* target, LONG value);
LONG InterlockedExchangeAdd(volatile LONG* target, LONG value);
LONG InterlockedCompareExchange(volatile LONG* target, LONG exchange, LONG comparand);

/// Creates or opens a mutex. Unnamed (null or ""): private to the process.
/// Named: in the user's namespace across processes (see the file comment);
/// when the name is already held by this or another process the call
/// succeeds and GetLastError() is ERROR_ALREADY_EXISTS, else ERROR_SUCCESS.
/// With `initialOwner` the calling thread owns it when it is free in this
/// process. Names may not contain '/' or '\' or exceed MAX_PATH characters
/// (ERROR_INVALID_NAME). Null with an error code on failure (the runtime
/// directory's code when it is unusable).
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCSTR name);
/// Releases one ownership of the mutex by the calling thread. FALSE with
/// ERROR_NOT_OWNER when the caller does not own it, ERROR_INVALID_HANDLE for
/// a bad handle.
BOOL ReleaseMutex(HANDLE mutex);
