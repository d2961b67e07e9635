// TypeCompiler: type-file compilation and symbol-table lookups around the
// compiler instance.
#include "server/TypeCompiler.h"

#include <mutex>
#include <string>

#include "compiler/SymAttr.h"
#include "compiler/SymTab.h"
#include "compiler/SymTabSet.h"
#include "platform/FileSystem.h"
#include "server/TypeRegistry.h"
#include "server/VarFileFormat.h"

namespace {
// The file that TypeFileLineReader reads: a plain C callback has no context,
// so the file being compiled is process-wide, and compilations take turns.
FILE* g_currentTypeFile = nullptr;
} // namespace

std::mutex& TypeCompiler::ProcessLock() {
    static std::mutex lock;
    return lock;
}

char* TypeFileLineReader(char* buffer, unsigned short size) {
    if (buffer == nullptr || g_currentTypeFile == nullptr || size < 2)
        return nullptr;
    // Text mode, as the file is opened on Windows: CR LF arrives as LF.
    return varsvc::ReadTextLine(g_currentTypeFile, buffer, size) ? buffer : nullptr;
}

TypeCompiler::~TypeCompiler() = default;

bool TypeCompiler::Reset() {
    bool destroyed = Destroy();
    bool created = Create();
    return destroyed && created;
}

bool TypeCompiler::Compile(const std::string& path) {
    if (!HasInstance())
        return false;
    std::string hostPath;
    if (PlatformResolvePath(path.c_str(), false, hostPath) != ERROR_SUCCESS)
        return false;
    FILE* file = fopen(hostPath.c_str(), "r");
    if (file == nullptr)
        return false;
    {
        std::lock_guard<std::mutex> guard(ProcessLock());
        g_currentTypeFile = file;
        ParseTypeFile(&TypeFileLineReader);
        g_currentTypeFile = nullptr;
    }
    fclose(file);
    return true;
}

void TypeCompiler::RegisterElementary(TypeRegistry& registry) {
    SymTabSet* tables = HasInstance() ? Tables() : nullptr;
    SymTab* elementary = tables != nullptr ? tables->GetElemTab() : nullptr;
    if (elementary == nullptr)
        return;
    for (SymAttr* entry = elementary->FindFirstEntry(); entry != nullptr;
         entry = elementary->FindNextEntry(entry)) {
        int32_t id = entry->GetID();
        if (id < 0 && entry->GetName() != nullptr)
            registry.Register(entry->GetName(), id);
    }
}

SymAttr* TypeCompiler::LookupById(short id) {
    SymTabSet* tables = HasInstance() ? Tables() : nullptr;
    SymTab* elementary = tables != nullptr ? tables->GetElemTab() : nullptr;
    return elementary != nullptr ? elementary->lookup(id) : nullptr;
}

SymAttr* TypeCompiler::LookupByName(const std::string& name) {
    SymTabSet* tables = HasInstance() ? Tables() : nullptr;
    SymTab* global = tables != nullptr ? tables->GetGlobalTab() : nullptr;
    return global != nullptr ? global->lookup(name.c_str()) : nullptr;
}
