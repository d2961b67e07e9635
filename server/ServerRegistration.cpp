// Registration of the Varsvc server: the tables of its two registry
// scripts, their application and removal, and the type library.
#include "server/ServerRegistration.h"

#include <vector>

#include "platform/Guid.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "platform/TypeLibRegistration.h"
#include "server/VarsvcTypeLib.h"

namespace {

constexpr char kCaption[] = "Registration";

// One entry of a registry script: a key below HKEY_CLASSES_ROOT, with an
// optional value (null `value`: key only; null `valueName`: the default
// value). `%APPID%`, `%CLSID%`, `%LIBID%` and `%MODULE%` in keys and values
// are replaced.
struct ScriptEntry {
    const char* key;
    const char* valueName;
    const char* value;
    bool keep;         // kept on removal (shared with other software)
    bool replaceWhole; // removed with everything below it before writing
};

// Script 100: the application entries.
const ScriptEntry kScript100[] = {
    {"AppID", nullptr, nullptr, true, false},
    {"AppID\\%APPID%", nullptr, "Varsvc", false, false},
    {"AppID\\Varsvc.exe", "AppID", "%APPID%", false, false},
};

// Script 101: the class entries.
const ScriptEntry kScript101[] = {
    {"VarSvc.Document", nullptr, "Document Class", false, false},
    {"VarSvc.Document\\CLSID", nullptr, "%CLSID%", false, false},
    {"CLSID", nullptr, nullptr, true, false},
    {"CLSID\\%CLSID%", nullptr, "Varsvc.Document", false, true},
    {"CLSID\\%CLSID%\\ProgID", nullptr, "Varsvc.Document", false, false},
    {"CLSID\\%CLSID%\\Programmable", nullptr, nullptr, false, true},
    {"CLSID\\%CLSID%\\LocalServer", nullptr, "%MODULE%", false, false},
    {"CLSID\\%CLSID%\\LocalServer32", nullptr, "%MODULE%", false, false},
    {"CLSID\\%CLSID%", "AppID", "%APPID%", false, false},
    {"CLSID\\%CLSID%\\TypeLib", nullptr, "%LIBID%", false, false},
};

template <size_t N>
std::vector<ScriptEntry> Script(const ScriptEntry (&entries)[N]) {
    return std::vector<ScriptEntry>(entries, entries + N);
}

std::string Substitute(const char* text, const std::string& module) {
    std::string out = text;
    const struct {
        const char* name;
        std::string value;
    } replacements[] = {
        {"%APPID%", korvane::platform::GuidToText(APPID_Varsvc)},
        {"%CLSID%", korvane::platform::GuidToText(CLSID_Document)},
        {"%LIBID%", korvane::platform::GuidToText(LIBID_Varsvc)},
        {"%MODULE%", module},
    };
    for (const auto& r : replacements) {
        const std::string name = r.name;
        for (size_t at = out.find(name); at != std::string::npos; at = out.find(name, at + r.value.size()))
            out.replace(at, name.size(), r.value);
    }
    return out;
}

HRESULT FromRegistry(LSTATUS status) {
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

// Removes `path` below HKEY_CLASSES_ROOT with every key below it. A missing
// key counts as removed.
LSTATUS DeleteTree(const std::string& path) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key);
    if (status == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS)
        return status;
    std::vector<std::string> children;
    for (DWORD index = 0;; ++index) {
        char name[REG_MAX_KEY_NAME + 1];
        DWORD size = sizeof name;
        status = RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS)
            break;
        children.emplace_back(name, size);
    }
    RegCloseKey(key);
    if (status != ERROR_NO_MORE_ITEMS)
        return status;
    for (const std::string& child : children) {
        status = DeleteTree(path + "\\" + child);
        if (status != ERROR_SUCCESS)
            return status;
    }
    status = RegDeleteKeyA(HKEY_CLASSES_ROOT, path.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// Writes the entries of a script.
HRESULT ApplyScript(const std::vector<ScriptEntry>& script, const std::string& module) {
    for (const ScriptEntry& e : script) {
        const std::string path = Substitute(e.key, module);
        if (e.replaceWhole && e.valueName == nullptr) {
            LSTATUS status = DeleteTree(path);
            if (status != ERROR_SUCCESS)
                return FromRegistry(status);
        }
        HKEY key = nullptr;
        LSTATUS status = RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                         &key, nullptr);
        if (status != ERROR_SUCCESS)
            return FromRegistry(status);
        if (e.value != nullptr) {
            const std::string value = Substitute(e.value, module);
            status = RegSetValueExA(key, e.valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                    static_cast<DWORD>(value.size() + 1));
        }
        RegCloseKey(key);
        if (status != ERROR_SUCCESS)
            return FromRegistry(status);
    }
    return S_OK;
}

// Removes the entries of a script that are not kept, deepest first.
HRESULT RemoveScript(const std::vector<ScriptEntry>& script) {
    HRESULT result = S_OK;
    for (auto e = script.rbegin(); e != script.rend(); ++e) {
        if (e->keep)
            continue;
        // A named value goes with its key; a key listed twice is simply
        // missing the second time.
        LSTATUS status = DeleteTree(Substitute(e->key, ""));
        if (status != ERROR_SUCCESS && result == S_OK)
            result = FromRegistry(status);
    }
    return result;
}

void Show(bool messages, const char* text) {
    if (messages)
        MessageBoxA(nullptr, text, kCaption, MB_OK);
}

// The program's path as UTF-16, and its directory.
std::u16string Wide(const std::string& text) {
    std::u16string wide(text.size(), u'\0');
    if (!text.empty())
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                            static_cast<int>(wide.size()));
    return wide;
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

bool VarsvcIsRegistered() {
    const std::string path = "AppID\\" + korvane::platform::GuidToText(APPID_Varsvc);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

HRESULT RegisterVarsvcServer(const std::string& programPath, bool messages) {
    // 1. The application entries.
    HRESULT hr = ApplyScript(Script(kScript100), programPath);
    if (FAILED(hr)) {
        Show(messages, "VARSVC registration has failed (UpdateRegistryFromResource)!");
        return hr;
    }
    // 2. Both keys must be writable.
    HKEY appIds = nullptr;
    HKEY appId = nullptr;
    const std::string appIdPath = korvane::platform::GuidToText(APPID_Varsvc);
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "AppID", 0, KEY_WRITE, &appIds) != ERROR_SUCCESS ||
        RegOpenKeyExA(appIds, appIdPath.c_str(), 0, KEY_WRITE, &appId) != ERROR_SUCCESS) {
        if (appIds != nullptr)
            RegCloseKey(appIds);
        Show(messages, "VARSVC registration has failed!");
        return TYPE_E_REGISTRYACCESS;
    }
    // 3. The server runs as a program, never as a service.
    RegDeleteValueA(appId, "LocalService");
    RegCloseKey(appId);
    RegCloseKey(appIds);
    // 4. The class entries and the type library (compiled into the program).
    hr = ApplyScript(Script(kScript101), programPath);
    if (SUCCEEDED(hr)) {
        TypeLibAddCompiled(&kVarsvcTypeLib);
        const std::u16string path = Wide(programPath);
        const std::u16string help = Wide(DirectoryOf(programPath));
        hr = RegisterTypeLib(&kVarsvcTypeLib, path.c_str(), help.c_str());
    }
    // 5. The outcome.
    Show(messages, FAILED(hr) ? "VARSVC registration failed (CComModule::RegisterServer)!"
                              : "VARSVC registration succeded!");
    return hr;
}

HRESULT UnregisterVarsvcServer(bool messages) {
    HRESULT hr = RemoveScript(Script(kScript100));
    if (FAILED(hr)) {
        Show(messages, "VARSVC deregistration has failed (UpdateRegistryFromResource)!");
        return hr;
    }
    // Failures of the class entries and the library are ignored.
    RemoveScript(Script(kScript101));
    UnRegisterTypeLib(LIBID_Varsvc, kVarsvcLibMajor, kVarsvcLibMinor, kVarsvcLibLcid, kVarsvcTypeLib.syskind);
    Show(messages, "VARSVC has been unregistered");
    return S_OK;
}
