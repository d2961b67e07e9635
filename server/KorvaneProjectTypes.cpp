// KorvaneProject: the project's data types: gathering the data-type files
// into the temporary type file, compiling it, and the type queries.
#include <climits>
#include <vector>

#include "compiler/SymAttr.h"
#include "platform/FileSystem.h"
#include "platform/ProfileFile.h"
#include "server/CsLock.h"
#include "server/KorvaneProject.h"
#include "server/ServerLimits.h"
#include "server/Trace.h"

using namespace varsvc;

namespace {
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

void RemoveOneTrailingSeparator(std::string& path) {
    if (!path.empty() && IsSeparator(path.back()))
        path.pop_back();
}

// Writes all of `size` bytes; false when the file refuses any of them.
bool WriteAll(HANDLE out, const char* data, DWORD size) {
    DWORD written = 0;
    return WriteFile(out, data, size, &written, nullptr) != FALSE && written == size;
}
} // namespace

bool KorvaneProject::DirExists(std::string path) {
    RemoveOneTrailingSeparator(path);
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool KorvaneProject::bAppendFiles(std::string dir, HANDLE out) {
    while (!dir.empty() && IsSeparator(dir.back()))
        dir.pop_back();
    dir += '\\';
    CsLock hold(lock);

    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "*.dty").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return true; // no match, or no such directory: nothing to add

    bool result = true;
    std::vector<char> chunk(kTypeCopyChunk);
    do {
        // Only files are data-type files; a directory named "x.dty" is not.
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        Trace(1, "", 0, "KorvaneProject::bAppendFiles: Appending '%s%s' to '%s'.", dir.c_str(),
              found.cFileName, tempTypeFile.c_str());
        std::string source = dir + found.cFileName;
        HANDLE in = CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (in == INVALID_HANDLE_VALUE) {
            Trace(1, "", 0, "KorvaneProject::bAppendFiles: could not open data type definition file '%s'.",
                  source.c_str());
            result = false;
            break;
        }
        bool written = true;
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(in, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) || got == 0)
                break;
            if (!WriteAll(out, chunk.data(), got)) {
                written = false;
                break;
            }
        }
        // One line feed after each file, so that a last line without line
        // end does not run into the next file.
        if (written)
            written = WriteAll(out, "\n", 1);
        CloseHandle(in);
        if (!written) {
            // A type file that is only partly in the temporary file would
            // silently lose declarations: the gathering fails instead.
            Trace(3, TRACE_HERE, "KorvaneProject::bAppendFiles: could not write to '%s'.",
                  tempTypeFile.c_str());
            result = false;
            break;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return result;
}

bool KorvaneProject::GatherTypeFiles(HANDLE out) {
    const std::string settingsFile = settingsBase + "\\korvane.ini";
    const UINT preserve = GetPrivateProfileIntA("Upload", "PreserveGlobalDFBs", 0, settingsFile.c_str());
    char globalPath[kGlobalDfbPathSize];
    GetPrivateProfileStringA("Path", "GlobalDfbPath", "", globalPath, sizeof globalPath,
                             settingsFile.c_str());

    std::string globalDir;
    if (preserve == 1 && DirExists(projectDir + "\\Glb"))
        globalDir = projectDir + "\\GLB\\";
    else if (DirExists(globalPath))
        globalDir = globalPath;
    else
        globalDir = settingsBase + "\\DFB\\";

    const std::string dirs[] = {settingsBase + "\\Lib", globalDir, projectDir, projectDir + "\\DFB",
                                serverDir};
    for (std::string dir : dirs) {
        RemoveOneTrailingSeparator(dir);
        if (!bAppendFiles(dir, out))
            return false;
    }
    return true;
}

bool KorvaneProject::bReadTypes() {
    CsLock hold(lock);
    Trace(1, "", 0, "KorvaneProject::bReadTypes: Creating '%s'...", tempTypeFile.c_str());
    HANDLE out = CreateFileA(tempTypeFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return false;
    if (!GatherTypeFiles(out)) {
        CloseHandle(out);
        // The partial file would only be litter in a shared directory.
        DeleteFileA(tempTypeFile.c_str());
        return false;
    }
    CloseHandle(out);
    Trace(1, "", 0, "KorvaneProject::bReadTypes: Starting compilation...");

    bool result = false;
    if (compiler != nullptr && compiler->Reset() && compiler->Compile(tempTypeFile)) {
        Trace(1, "", 0, "KorvaneProject::bReadTypes: Registering elementary types.");
        registry.Clear();
        compiler->RegisterElementary(registry);
        result = true;
    }
    DeleteFileA(tempTypeFile.c_str());
    return result;
}

bool KorvaneProject::TypeIdOf(std::string_view name, int32_t& id) {
    CsLock hold(lock);
    if (registry.IdOf(name, id))
        return true;
    if (compiler == nullptr)
        return false;
    std::string text(name);
    if (compiler->LookupByName(text) == nullptr)
        return false;
    id = 0;
    return registry.Register(text, id);
}

bool KorvaneProject::TypeNameOf(int32_t id, std::string& name) {
    CsLock hold(lock);
    return registry.NameOf(id, name);
}

bool KorvaneProject::TypeSizeOf(int32_t id, int32_t& size) {
    CsLock hold(lock);
    if (compiler == nullptr || id == 0)
        return false;
    SymAttr* record = nullptr;
    if (id < 0) {
        if (id < SHRT_MIN)
            return false;
        record = compiler->LookupById(static_cast<short>(id));
    } else {
        std::string name;
        if (registry.NameOf(id, name))
            record = compiler->LookupByName(name);
    }
    if (record == nullptr)
        return false;
    size = static_cast<int32_t>(record->GetMemsize(0));
    return true;
}
