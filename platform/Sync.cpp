// Critical sections, events, threads, waits, interlocked counters and named
// mutexes. Every waitable object keeps its state under one process-wide lock
// with one condition variable, which makes waits on several objects of
// different kinds simple and correct; the system waits rarely and on few
// objects, so the shared wake-ups cost nothing that matters.
#include "platform/Sync.h"

#include <chrono>
#include <climits>
#include <condition_variable>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "platform/LastError.h"
#include "platform/RuntimeDir.h"

using korvane::platform::HandleInsert;
using korvane::platform::HandleLookup;
using korvane::platform::KernelObject;

namespace {

std::mutex& syncLock() {
    static std::mutex* m = new std::mutex; // never destroyed: used at exit
    return *m;
}
std::condition_variable& syncChanged() {
    static std::condition_variable* cv = new std::condition_variable;
    return *cv;
}

struct EventObject : KernelObject {
    EventObject(bool manualReset, bool initial)
        : KernelObject(Kind::Event), manual(manualReset), signalled(initial) {}
    bool manual;
    bool signalled; // guarded by syncLock()
};

struct ThreadObject : KernelObject {
    ThreadObject() : KernelObject(Kind::Thread) {}
    LPTHREAD_START_ROUTINE start = nullptr;
    LPVOID parameter = nullptr;
    DWORD id = 0;                 // guarded by syncLock(); set once running
    bool done = false;            // guarded by syncLock()
    DWORD exitCode = STILL_ACTIVE; // guarded by syncLock()
};

struct MutexObject : KernelObject {
    MutexObject() : KernelObject(Kind::Mutex) {}
    ~MutexObject() override;
    DWORD owner = 0;  // guarded by syncLock(); 0 when free
    LONG count = 0;   // guarded by syncLock(); recursion of the owner
    std::string name; // empty for a private mutex
    int lockFd = -1;  // the lock file holding the name across processes
};

// Named mutexes of this process by name. A process keeps at most one lock
// file descriptor per name, so the file lock tells other processes exactly
// whether some handle is open here.
std::recursive_mutex& namesLock() {
    static std::recursive_mutex* m = new std::recursive_mutex;
    return *m;
}
std::map<std::string, std::weak_ptr<MutexObject>>& names() {
    static auto* n = new std::map<std::string, std::weak_ptr<MutexObject>>;
    return *n;
}

MutexObject::~MutexObject() {
    if (name.empty()) {
        return;
    }
    // Closing the descriptor under the names lock keeps a concurrent
    // CreateMutexA of the same name from seeing this process's lock as
    // another holder's.
    std::lock_guard<std::recursive_mutex> guard(namesLock());
    if (lockFd >= 0) {
        ::close(lockFd);
    }
    auto it = names().find(name);
    if (it != names().end() && it->second.expired()) {
        names().erase(it);
    }
}

// A child made by fork() inherits the parent's lock descriptors, which share
// the parent's locks. Those names belong to the parent: the child closes its
// copies (the parent's locks stay, as they hang on the parent's descriptors
// too) and starts with no names of its own. Needs namesLock().
void forgetInheritedNames() {
    static pid_t owner = ::getpid();
    pid_t now = ::getpid();
    if (owner == now) {
        return;
    }
    owner = now;
    for (auto& entry : names()) {
        if (std::shared_ptr<MutexObject> m = entry.second.lock()) {
            if (m->lockFd >= 0) {
                ::close(m->lockFd);
                m->lockFd = -1;
            }
        }
    }
    names().clear();
}

bool threadAlive(DWORD tid) {
    // The owner of a mutex may have ended without releasing it: Windows then
    // hands the mutex to the next waiter as abandoned.
    long rc = ::syscall(SYS_tgkill, static_cast<long>(::getpid()), static_cast<long>(tid), 0L);
    return rc == 0 || errno != ESRCH;
}

enum class Ready { No, Yes, Abandoned };

// Whether a wait on `object` by thread `self` could end now. Needs syncLock().
Ready readyFor(KernelObject& object, DWORD self) {
    switch (object.kind()) {
    case KernelObject::Kind::Event:
        return static_cast<EventObject&>(object).signalled ? Ready::Yes : Ready::No;
    case KernelObject::Kind::Thread:
        return static_cast<ThreadObject&>(object).done ? Ready::Yes : Ready::No;
    case KernelObject::Kind::Mutex: {
        auto& m = static_cast<MutexObject&>(object);
        if (m.owner == 0 || m.owner == self) {
            return Ready::Yes;
        }
        return threadAlive(m.owner) ? Ready::No : Ready::Abandoned;
    }
    default:
        return Ready::No;
    }
}

// Ends a successful wait on `object`: an auto-reset event is unsignalled, a
// mutex becomes the caller's. Needs syncLock().
void consume(KernelObject& object, DWORD self) {
    if (object.kind() == KernelObject::Kind::Event) {
        auto& e = static_cast<EventObject&>(object);
        if (!e.manual) {
            e.signalled = false;
        }
    } else if (object.kind() == KernelObject::Kind::Mutex) {
        auto& m = static_cast<MutexObject&>(object);
        if (m.owner != self) {
            m.owner = self;
            m.count = 0;
        }
        ++m.count;
    }
}

bool waitable(const KernelObject& object) {
    return object.kind() == KernelObject::Kind::Event ||
           object.kind() == KernelObject::Kind::Thread ||
           object.kind() == KernelObject::Kind::Mutex;
}

// Whether a wait must poll: a mutex owned by another thread may be abandoned
// without anyone signalling the condition variable.
bool needsPolling(const std::vector<std::shared_ptr<KernelObject>>& objects, DWORD self) {
    for (const auto& o : objects) {
        if (o->kind() == KernelObject::Kind::Mutex) {
            auto& m = static_cast<MutexObject&>(*o);
            if (m.owner != 0 && m.owner != self) {
                return true;
            }
        }
    }
    return false;
}

DWORD waitFor(std::vector<std::shared_ptr<KernelObject>> objects, bool waitAll, DWORD ms) {
    using Clock = std::chrono::steady_clock;
    const DWORD self = GetCurrentThreadId();
    const bool forever = ms == INFINITE;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : ms);
    constexpr auto kPoll = std::chrono::milliseconds(50);

    std::unique_lock<std::mutex> lock(syncLock());
    for (;;) {
        if (waitAll) {
            bool all = true;
            bool anyAbandoned = false;
            for (auto& o : objects) {
                Ready r = readyFor(*o, self);
                all = all && r != Ready::No;
                anyAbandoned = anyAbandoned || r == Ready::Abandoned;
            }
            if (all) {
                for (auto& o : objects) {
                    consume(*o, self);
                }
                syncChanged().notify_all();
                return anyAbandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0;
            }
        } else {
            for (size_t i = 0; i < objects.size(); ++i) {
                Ready r = readyFor(*objects[i], self);
                if (r != Ready::No) {
                    consume(*objects[i], self);
                    syncChanged().notify_all();
                    return static_cast<DWORD>(i) + (r == Ready::Abandoned ? WAIT_ABANDONED_0
                                                                           : WAIT_OBJECT_0);
                }
            }
        }
        bool poll = needsPolling(objects, self);
        if (forever) {
            if (poll) {
                syncChanged().wait_for(lock, kPoll);
            } else {
                syncChanged().wait(lock);
            }
            continue;
        }
        Clock::time_point now = Clock::now();
        if (now >= deadline) {
            return WAIT_TIMEOUT;
        }
        Clock::time_point until = deadline;
        if (poll && now + kPoll < until) {
            until = now + kPoll;
        }
        syncChanged().wait_until(lock, until);
    }
}

void* threadMain(void* arg) {
    auto* holder = static_cast<std::shared_ptr<ThreadObject>*>(arg);
    std::shared_ptr<ThreadObject> self = std::move(*holder);
    delete holder;
    {
        std::lock_guard<std::mutex> guard(syncLock());
        self->id = GetCurrentThreadId();
    }
    syncChanged().notify_all();
    DWORD code = self->start(self->parameter);
    {
        std::lock_guard<std::mutex> guard(syncLock());
        self->exitCode = code;
        self->done = true;
    }
    syncChanged().notify_all();
    return nullptr;
}

// The lock file name of a mutex name: bytes other than letters, digits,
// '-', '_' and '.' are written as %XX, so that every name maps to exactly one
// file name inside the runtime directory and none can leave it. A name whose
// spelled-out form would pass the file system's 255-byte limit is named by a
// 64-bit FNV-1a hash of its bytes instead.
std::string lockFileName(const std::string& name) {
    static const char hex[] = "0123456789ABCDEF";
    constexpr size_t kMaxFileName = 200;
    std::string out = "mutex-";
    for (unsigned char c : name) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '_' || c == '.';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
    if (out.size() <= kMaxFileName) {
        return out;
    }
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : name) {
        h = (h ^ c) * 1099511628211ull;
    }
    out = "mutex-#";
    for (int shift = 60; shift >= 0; shift -= 4) {
        out += hex[(h >> shift) & 0xF];
    }
    return out;
}

DWORD errnoToWin(int e) {
    switch (e) {
    case ENOENT:
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case ELOOP:
        return ERROR_ACCESS_DENIED;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_INVALID_FUNCTION;
    }
}

bool ofdLock(int fd, short type, bool wait) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    for (;;) {
        if (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0) {
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

// Opens and locks the lock file of `name`. Sets *existed when another
// process holds the name. Returns the descriptor, or -1 with *error set.
int holdName(const std::string& name, bool* existed, DWORD* error) {
    DWORD dirError = ERROR_SUCCESS;
    std::string dir = PlatformRuntimeDir(&dirError);
    if (dir.empty()) {
        *error = dirError;
        return -1;
    }
    std::string path = dir + "/" + lockFileName(name);
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) {
        *error = errnoToWin(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        *error = ERROR_ACCESS_DENIED;
        return -1;
    }
    // Every holder keeps a read lock for as long as it holds the name. A
    // write lock succeeds only while nobody holds it: whoever gets it is the
    // first holder and turns it into a read lock (an atomic change for open
    // file description locks, so no newcomer can slip in between). The write
    // lock is held only for that instant, so waiting for the read lock after
    // a failed write lock is short.
    if (ofdLock(fd, F_WRLCK, false)) {
        *existed = false;
    } else if (errno == EAGAIN || errno == EACCES) {
        *existed = true;
    } else {
        *error = errnoToWin(errno);
        ::close(fd);
        return -1;
    }
    if (!ofdLock(fd, F_RDLCK, true)) {
        *error = errnoToWin(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

// ----- critical sections -----

void InitializeCriticalSection(LPCRITICAL_SECTION cs) {
    if (cs == nullptr) {
        return;
    }
    cs->OwningThread.store(0);
    cs->RecursionCount = 0;
}

void EnterCriticalSection(LPCRITICAL_SECTION cs) {
    if (cs == nullptr) {
        return;
    }
    DWORD self = GetCurrentThreadId();
    // Only the owner can see its own id here, so the relaxed test cannot
    // mistake another thread's ownership for its own.
    if (cs->OwningThread.load() == self) {
        ++cs->RecursionCount;
        return;
    }
    cs->Lock.lock();
    cs->OwningThread.store(self);
    cs->RecursionCount = 1;
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs) {
    if (cs == nullptr) {
        return FALSE;
    }
    DWORD self = GetCurrentThreadId();
    if (cs->OwningThread.load() == self) {
        ++cs->RecursionCount;
        return TRUE;
    }
    if (!cs->Lock.try_lock()) {
        return FALSE;
    }
    cs->OwningThread.store(self);
    cs->RecursionCount = 1;
    return TRUE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION cs) {
    if (cs == nullptr || cs->OwningThread.load() != GetCurrentThreadId()) {
        return;
    }
    if (--cs->RecursionCount == 0) {
        cs->OwningThread.store(0);
        cs->Lock.unlock();
    }
}

void DeleteCriticalSection(LPCRITICAL_SECTION cs) {
    if (cs == nullptr) {
        return;
    }
    // A section deleted while its owner still holds it is released first, so
    // that the mutex is never destroyed locked.
    if (cs->OwningThread.load() == GetCurrentThreadId() && cs->RecursionCount > 0) {
        cs->RecursionCount = 0;
        cs->OwningThread.store(0);
        cs->Lock.unlock();
    }
}

// ----- events -----

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name) {
    if (name != nullptr && name[0] != '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto event = std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE);
    HANDLE h = HandleInsert(std::move(event));
    if (h != nullptr) {
        SetLastError(ERROR_SUCCESS);
    }
    return h;
}

static BOOL setEventState(HANDLE event, bool signalled) {
    std::shared_ptr<KernelObject> o = HandleLookup(event, KernelObject::Kind::Event);
    if (!o) {
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> guard(syncLock());
        static_cast<EventObject&>(*o).signalled = signalled;
    }
    if (signalled) {
        syncChanged().notify_all();
    }
    return TRUE;
}

BOOL SetEvent(HANDLE event) { return setEventState(event, true); }

BOOL ResetEvent(HANDLE event) { return setEventState(event, false); }

// ----- waits -----

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    std::shared_ptr<KernelObject> o = HandleLookup(handle);
    if (!o || !waitable(*o)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return waitFor({std::move(o)}, false, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<KernelObject>> objects;
    objects.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        std::shared_ptr<KernelObject> o = HandleLookup(handles[i]);
        if (!o || !waitable(*o)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        objects.push_back(std::move(o));
    }
    return waitFor(std::move(objects), waitAll != FALSE, milliseconds);
}

// ----- threads -----

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, size_t stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD threadId) {
    if (start == nullptr || (flags & CREATE_SUSPENDED) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto thread = std::make_shared<ThreadObject>();
    thread->start = start;
    thread->parameter = parameter;

    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stackSize != 0) {
        size_t minimum = static_cast<size_t>(PTHREAD_STACK_MIN);
        // Windows rounds a small request up; pthreads would refuse it.
        pthread_attr_setstacksize(&attr, stackSize < minimum ? minimum : stackSize);
    }
    auto* holder = new std::shared_ptr<ThreadObject>(thread);
    pthread_t tid;
    int rc = pthread_create(&tid, &attr, threadMain, holder);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete holder;
        SetLastError(rc == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    DWORD id;
    {
        // The caller gets the id at once, as on Windows: wait until the new
        // thread has published it.
        std::unique_lock<std::mutex> lock(syncLock());
        syncChanged().wait(lock, [&] { return thread->id != 0; });
        id = thread->id;
    }
    HANDLE h = HandleInsert(thread);
    if (h == nullptr) {
        return nullptr; // the thread runs on; only its handle is missing
    }
    if (threadId != nullptr) {
        *threadId = id;
    }
    SetLastError(ERROR_SUCCESS);
    return h;
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
    std::shared_ptr<KernelObject> o = HandleLookup(thread, KernelObject::Kind::Thread);
    if (!o) {
        return FALSE;
    }
    if (exitCode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(syncLock());
    *exitCode = static_cast<ThreadObject&>(*o).exitCode;
    return TRUE;
}

namespace {
// The kernel thread id, fetched once per thread. A child made by fork()
// continues in a copy of the forking thread with a new id: the handler
// registered below clears that thread's cached value in the child.
thread_local DWORD t_threadId = 0;
void forgetThreadIdInChild() { t_threadId = 0; }
} // namespace

DWORD GetCurrentThreadId() {
    static const int registered = pthread_atfork(nullptr, nullptr, forgetThreadIdInChild);
    (void)registered;
    if (t_threadId == 0) {
        t_threadId = static_cast<DWORD>(::syscall(SYS_gettid));
    }
    return t_threadId;
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    if (milliseconds == INFINITE) {
        for (;;) {
            ::pause();
        }
    }
    struct timespec left {};
    left.tv_sec = static_cast<time_t>(milliseconds / 1000);
    left.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    // A signal handler interrupting the sleep must not shorten it.
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

// ----- interlocked counters -----

LONG InterlockedIncrement(volatile LONG* target) {
    return __atomic_add_fetch(target, 1, __ATOMIC_SEQ_CST);
}

LONG InterlockedDecrement(volatile LONG* target) {
    return __atomic_sub_fetch(target, 1, __ATOMIC_SEQ_CST);
}

LONG InterlockedExchange(volatile LONG* target, LONG value) {
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

LONG InterlockedExchangeAdd(volatile LONG* target, LONG value) {
    return __atomic_fetch_add(target, value, __ATOMIC_SEQ_CST);
}

LONG InterlockedCompareExchange(volatile LONG* target, LONG exchange, LONG comparand) {
    LONG expected = comparand;
    __atomic_compare_exchange_n(target, &expected, exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return expected;
}

// ----- mutexes -----

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
    const DWORD self = GetCurrentThreadId();
    std::shared_ptr<MutexObject> mutex;
    bool existed = false;

    if (name == nullptr || name[0] == '\0') {
        mutex = std::make_shared<MutexObject>();
    } else {
        std::string key(name);
        if (key.size() > MAX_PATH) {
            SetLastError(ERROR_INVALID_NAME);
            return nullptr;
        }
        // The session prefixes of Windows name the same per-user namespace.
        for (const char* prefix : {"Global\\", "Local\\"}) {
            std::string p(prefix);
            if (key.compare(0, p.size(), p) == 0) {
                key.erase(0, p.size());
                break;
            }
        }
        if (key.empty()) {
            SetLastError(ERROR_INVALID_NAME);
            return nullptr;
        }
        std::lock_guard<std::recursive_mutex> guard(namesLock());
        forgetInheritedNames();
        auto it = names().find(key);
        if (it != names().end()) {
            mutex = it->second.lock();
        }
        if (mutex) {
            existed = true;
        } else {
            DWORD error = ERROR_SUCCESS;
            int fd = holdName(key, &existed, &error);
            if (fd < 0) {
                SetLastError(error);
                return nullptr;
            }
            mutex = std::make_shared<MutexObject>();
            mutex->name = key;
            mutex->lockFd = fd;
            names()[key] = mutex;
        }
    }

    if (initialOwner) {
        // Initial ownership is granted only when nobody in this process owns
        // the mutex; on Windows an existing mutex ignores the request as well.
        std::lock_guard<std::mutex> guard(syncLock());
        if (mutex->owner == 0 || mutex->owner == self) {
            mutex->owner = self;
            ++mutex->count;
        }
    }
    HANDLE h = HandleInsert(mutex);
    if (h == nullptr) {
        // Dropping the last reference closes the lock file: keep the names
        // lock order (names before sync) by releasing outside any lock.
        mutex.reset();
        return nullptr;
    }
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

BOOL ReleaseMutex(HANDLE handle) {
    std::shared_ptr<KernelObject> o = HandleLookup(handle, KernelObject::Kind::Mutex);
    if (!o) {
        return FALSE;
    }
    auto& m = static_cast<MutexObject&>(*o);
    {
        std::lock_guard<std::mutex> guard(syncLock());
        if (m.owner != GetCurrentThreadId() || m.count <= 0) {
            SetLastError(ERROR_NOT_OWNER);
            return FALSE;
        }
        if (--m.count == 0) {
            m.owner = 0;
        }
    }
    syncChanged().notify_all();
    return TRUE;
}
