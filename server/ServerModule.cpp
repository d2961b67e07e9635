// The server module: lock count, monitor thread, quit message and the scan
// of the command line.
#include "server/ServerModule.h"

#include <unistd.h>

#include <cctype>

#include "platform/ComRuntime.h"
#include "platform/Environment.h"
#include "platform/HandleTable.h"
#include "platform/MessageLoop.h"
#include "platform/Sync.h"
#include "platform/TypeLibRegistration.h"
#include "server/CDocument.h"
#include "server/LoginSet.h"
#include "server/ProjectSet.h"
#include "server/ServerRegistration.h"
#include "server/VarsvcTypeLib.h"

namespace {

// Longest program path looked for.
constexpr size_t kMaxProgramPath = 32768;

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

// ----------------------------------------------------------------- program

namespace {

// The program's full path ("" when it cannot be found).
std::string ProgramPath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::string();
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= kMaxProgramPath)
            return std::string();
        path.resize(path.size() * 2);
    }
}

// True when the last component of `path` names the server's program file,
// without regard to case.
bool IsServerProgram(const std::string& path, size_t nameStart) {
    std::string name = path.substr(nameStart);
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name == "varsvc" || name == "varsvc.exe";
}

// Makes the program's directory the current one when the program file is
// the server's (see the file comment of ServerModule.h).
void EnterProgramDirectory(const std::string& programPath) {
    const size_t slash = programPath.find_last_of("/\\");
    if (slash == std::string::npos || !IsServerProgram(programPath, slash + 1))
        return;
    const std::string directory = slash == 0 ? std::string("/") : programPath.substr(0, slash);
    // The platform layer has no SetCurrentDirectoryA; the directory is
    // entered directly. A failure leaves the current directory as it was.
    if (chdir(directory.c_str()) != 0)
        return;
}

} // namespace

int VarsvcRun(int argc, char** argv, TypeCompilerFactory compilers) {
    const std::string programPath = ProgramPath();
    // The program's type library, as Windows loads it from the program file.
    TypeLibAddCompiled(&kVarsvcTypeLib);

    switch (ScanCommandLine(JoinCommandLine(argc, argv))) {
    case ServerCommand::RegServer:
        return FAILED(RegisterVarsvcServer(programPath, false)) ? 1 : 0;
    case ServerCommand::UnregServer:
        return FAILED(UnregisterVarsvcServer(false)) ? 1 : 0;
    case ServerCommand::Run:
        break;
    }

    // 1. A single-threaded apartment on the main thread.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    ServerModule& module = ServerModule::Instance();
    module.SetMainThread(GetCurrentThreadId());

    // 2. Registration when the application entry is missing.
    if (!VarsvcIsRegistered() && FAILED(RegisterVarsvcServer(programPath, true))) {
        CoUninitialize();
        return 1;
    }

    // 3. The current directory from the program's location.
    EnterProgramDirectory(programPath);

    // The process-wide sets, the project set first so that the logins go
    // first at the end.
    ProjectSet::SetDefaultTypeCompilerFactory(std::move(compilers));
    ProjectSet::Instance();
    C_LoginSet::Instance();

    // 4. The monitor thread.
    module.StartMonitor();

    // 5. The class object, for every client connection.
    static CDocumentFactory factory(module);
    DWORD cookie = 0;
    const HRESULT registered =
        CoRegisterClassObject(CLSID_Document, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie);

    // 6. The message loop, until the quit message.
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }

    // 7. Revoke, pause, leave.
    if (SUCCEEDED(registered))
        CoRevokeClassObject(cookie);
    Sleep(ServerModule::kRevokePauseMs);
    CoUninitialize();
    return FAILED(registered) ? 1 : 0;
}
