// KorvaneProject: construction, path derivation and destruction of a
// project, and its login count.
#include "server/KorvaneProject.h"

#include <atomic>

#include "platform/Environment.h"
#include "platform/Sync.h"
#include "server/CsLock.h"
#include "server/ServerLimits.h"

namespace {
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Generations come from one process-wide counter, so that the pair (project
// object, generation) never repeats, even when a destroyed project's address
// is used again.
std::atomic<uint64_t> g_generation{0};
std::atomic<uint32_t> g_projectSerial{0};
} // namespace

void KorvaneProject::DerivePaths(const std::string& full, std::string& directory, std::string& name,
                                 std::string& varFileOut) {
    size_t dot = full.rfind('.');
    std::string base = dot == std::string::npos ? full : full.substr(0, dot);
    size_t sep = base.find_last_of("\\/");
    if (sep == std::string::npos) {
        directory = base;
        name = base;
    } else {
        directory = base.substr(0, sep);
        name = base.substr(sep + 1);
    }
    varFileOut = directory + "\\var\\" + name + ".var";
}

std::string KorvaneProject::TemporaryDirectory() {
    char buffer[varsvc::kTempBufferSize];
    DWORD length = GetEnvironmentVariableA("TEMP", buffer, sizeof buffer);
    std::string dir;
    if (length > 0 && length < sizeof buffer) {
        dir.assign(buffer, length);
    } else {
        // Not set, empty, or longer than the buffer: the platform's directory.
        char fallback[MAX_PATH];
        DWORD n = GetTempPathA(sizeof fallback, fallback);
        dir = (n > 0 && n < sizeof fallback) ? std::string(fallback, n) : std::string("/tmp");
    }
    if (!dir.empty() && IsSeparator(dir.back()))
        dir.pop_back();
    return dir;
}

KorvaneProject::KorvaneProject(const std::string& path, std::unique_ptr<TypeCompiler> typeCompiler)
    : settingsBase(".."), serverDir("."), compiler(std::move(typeCompiler)) {
    InitializeCriticalSection(&lock);
    CsLock hold(lock);
    fullPath = path;
    DerivePaths(fullPath, projectDir, projectName, varFile);
    id = ++g_projectSerial;
    tempTypeFile = TemporaryDirectory() + "\\tmp-" + std::to_string(GetCurrentProcessId()) + "-" +
                   std::to_string(id) + ".dty";
    generation = ++g_generation;
}

KorvaneProject::~KorvaneProject() {
    {
        // Waits for an operation of another thread that may still run.
        CsLock hold(lock);
    }
    DeleteCriticalSection(&lock);
    table.Clear();
    registry.Clear();
    if (compiler != nullptr) {
        compiler->Destroy();
        compiler.reset();
    }
}

int32_t KorvaneProject::LoginCount() const { return loginCount.load(); }

void KorvaneProject::AddLogin() { ++loginCount; }

void KorvaneProject::RemoveLogin() { --loginCount; }

bool KorvaneProject::IsLoaded() {
    CsLock hold(lock);
    return loaded;
}

uint16_t KorvaneProject::StampDate() {
    CsLock hold(lock);
    return stampDate;
}

int32_t KorvaneProject::StampMsec() {
    CsLock hold(lock);
    return stampMsec;
}

uint64_t KorvaneProject::Generation() {
    CsLock hold(lock);
    return generation;
}

size_t KorvaneProject::VariableCount() {
    CsLock hold(lock);
    return table.Size();
}

size_t KorvaneProject::CatalogueMemoryBytes() {
    CsLock hold(lock);
    return table.MemoryBytes();
}

void KorvaneProject::BeginGeneration() {
    CsLock hold(lock);
    generation = ++g_generation;
}
