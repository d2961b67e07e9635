// The server module: lock count, monitor thread, quit message and the scan
// of the command line.
#include "server/ServerModule.h"

#include <cctype>

#include "platform/HandleTable.h"
#include "platform/MessageLoop.h"
#include "platform/Sync.h"

namespace {

// Compares `text` from `pos` to its end with `word`, ignoring ASCII case.
bool RestEquals(const std::string& text, size_t pos, const char* word) {
    size_t i = pos;
    for (; *word != '\0'; ++word, ++i) {
        if (i >= text.size())
            return false;
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(*word)))
            return false;
    }
    return i == text.size();
}

} // namespace

ServerCommand ScanCommandLine(const std::string& commandLine) {
    for (size_t pos = commandLine.find_first_of("-/"); pos != std::string::npos;
         pos = commandLine.find_first_of("-/", pos + 1)) {
        if (RestEquals(commandLine, pos + 1, "RegServer"))
            return ServerCommand::RegServer;
        if (RestEquals(commandLine, pos + 1, "UnregServer"))
            return ServerCommand::UnregServer;
    }
    return ServerCommand::Run;
}

std::string JoinCommandLine(int argc, char** argv) {
    std::string line;
    for (int i = 0; i < argc; ++i) {
        if (argv[i] == nullptr)
            continue;
        if (!line.empty())
            line += ' ';
        line += argv[i];
    }
    return line;
}

// ------------------------------------------------------------------ module

ServerModule::ServerModule(DWORD idleMs) : idle(idleMs) {}

ServerModule::~ServerModule() {
    if (monitorThread != nullptr) {
        stopping.store(true);
        SetEvent(stopEvent);
        WaitForSingleObject(monitorThread, INFINITE);
        CloseHandle(monitorThread);
    }
    if (stopEvent != nullptr)
        CloseHandle(stopEvent);
    HANDLE event = shutdownEvent.exchange(nullptr);
    if (event != nullptr)
        CloseHandle(event);
}

ServerModule& ServerModule::Instance() {
    static ServerModule module;
    return module;
}

LONG ServerModule::Lock() { return InterlockedIncrement(&lockCount); }

LONG ServerModule::Unlock() {
    LONG left = InterlockedDecrement(&lockCount);
    if (left == 0) {
        activity.store(true);
        HANDLE event = shutdownEvent.load();
        if (event != nullptr)
            SetEvent(event);
    }
    return left;
}

LONG ServerModule::LockCount() const {
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&lockCount), 0, 0);
}

bool ServerModule::PostQuit() {
    const DWORD thread = mainThread.load();
    return thread != 0 && PostThreadMessageA(thread, WM_QUIT, 0, 0) != FALSE;
}

bool ServerModule::StartMonitor() {
    if (monitorThread != nullptr)
        return false;
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr || stopEvent == nullptr) {
        if (event != nullptr)
            CloseHandle(event);
        if (stopEvent != nullptr)
            CloseHandle(stopEvent);
        stopEvent = nullptr;
        return false;
    }
    shutdownEvent.store(event);
    monitorDone.store(false);
    monitorThread = CreateThread(nullptr, 0, &ServerModule::MonitorMain, this, 0, nullptr);
    if (monitorThread == nullptr) {
        shutdownEvent.store(nullptr);
        CloseHandle(event);
        CloseHandle(stopEvent);
        stopEvent = nullptr;
        return false;
    }
    return true;
}

bool ServerModule::WaitMonitor(DWORD ms) {
    return monitorThread != nullptr && WaitForSingleObject(monitorThread, ms) == WAIT_OBJECT_0;
}

DWORD ServerModule::MonitorMain(LPVOID self) {
    static_cast<ServerModule*>(self)->Monitor();
    return 0;
}

void ServerModule::Monitor() {
    HANDLE event = shutdownEvent.load();
    // The stop event only serves the module's destruction (tests); the
    // program's monitor ends by posting the quit message.
    const HANDLE waits[2] = {event, stopEvent};
    for (;;) {
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0)
            return;
        DWORD result;
        do {
            activity.store(false);
            result = WaitForMultipleObjects(2, waits, FALSE, idle);
        } while (result == WAIT_OBJECT_0);
        if (result != WAIT_TIMEOUT)
            return;
        if (!activity.load() && LockCount() == 0)
            break;
    }
    // From here on a release finds no event to signal.
    shutdownEvent.store(nullptr);
    CloseHandle(event);
    PostQuit();
    monitorDone.store(true);
}
