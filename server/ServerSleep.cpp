// ServerSleep: the server's waits, with a hook for tests.
#include "server/ServerSleep.h"

#include <mutex>

#include "platform/Sync.h"

namespace {
// The hook and its context change together; the mutex keeps a reader from
// pairing a new hook with an old context. It is not held during the wait.
std::mutex g_hookLock;
ServerSleepHook g_hook = nullptr;
void* g_context = nullptr;
} // namespace

void ServerSleep(DWORD milliseconds) {
    ServerSleepHook hook;
    void* context;
    {
        std::lock_guard<std::mutex> guard(g_hookLock);
        hook = g_hook;
        context = g_context;
    }
    if (hook != nullptr)
        hook(context, milliseconds);
    else
        Sleep(milliseconds);
}

ServerSleepHook SetServerSleepHook(ServerSleepHook hook, void* context, void** previousContext) {
    std::lock_guard<std::mutex> guard(g_hookLock);
    ServerSleepHook previous = g_hook;
    if (previousContext != nullptr)
        *previousContext = g_context;
    g_hook = hook;
    g_context = hook != nullptr ? context : nullptr;
    return previous;
}
