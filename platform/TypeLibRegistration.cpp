// Type library registry keys, written and removed as Windows does, and the
// process's table of compiled descriptions.
#include "platform/TypeLibRegistration.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "platform/Text.h"

namespace {

std::mutex g_compiledLock;
std::vector<const TypeLibDescription*>& compiled() {
    static auto* v = new std::vector<const TypeLibDescription*>();
    return *v;
}

std::string hex(unsigned long v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%lx", v);
    return buf;
}

std::string versionText(WORD major, WORD minor) { return hex(major) + "." + hex(minor); }

std::string narrow(LPCOLESTR text) {
    if (!text)
        return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, s.data(), n, nullptr, nullptr);
    s.resize(static_cast<size_t>(n - 1));
    return s;
}

// Creates HKEY_CLASSES_ROOT\<key> and sets its value `name` (null: the
// default) to the string `value`.
bool setString(const std::string& key, const char* name, const std::string& value) {
    HKEY h = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1));
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

bool readString(const std::string& key, const char* name, std::string* value) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExA(h, name, nullptr, &type, nullptr, &size);
    std::string v(size, '\0');
    if (rc == ERROR_SUCCESS && size > 0)
        rc = RegQueryValueExA(h, name, nullptr, &type, reinterpret_cast<BYTE*>(v.data()), &size);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS || type != REG_SZ)
        return false;
    v.resize(std::strlen(v.c_str()));
    *value = v;
    return true;
}

bool keyExists(const std::string& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

std::vector<std::string> subKeys(const std::string& key) {
    std::vector<std::string> names;
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        char name[REG_MAX_KEY_NAME + 1];
        DWORD size = sizeof name;
        if (RegEnumKeyExA(h, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, size);
    }
    RegCloseKey(h);
    return names;
}

// Removes a key when it has no sub-keys left; a key that others still use
// stays (RegDeleteKeyA refuses it).
void removeKey(const std::string& key) { RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str()); }

const char* platformKey(SYSKIND kind) { return kind == SYS_WIN64 ? "win64" : "win32"; }

bool exported(const InterfaceDescription& i) {
    return i.typeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FOLEAUTOMATION);
}

} // namespace

void TypeLibAddCompiled(const TypeLibDescription* lib) {
    if (!lib)
        return;
    std::lock_guard<std::mutex> g(g_compiledLock);
    for (const TypeLibDescription* known : compiled())
        if (known == lib)
            return;
    compiled().push_back(lib);
}

HRESULT RegisterTypeLib(const TypeLibDescription* lib, LPCOLESTR fullPath, LPCOLESTR helpDir) {
    if (!lib || !fullPath)
        return E_INVALIDARG;
    const std::string libid = korvane::platform::GuidToText(lib->libid);
    const std::string base = "TypeLib\\" + libid + "\\" + versionText(lib->majorVersion, lib->minorVersion);
    const std::string doc = narrow(lib->helpString ? lib->helpString : lib->name);
    bool ok = setString(base, nullptr, doc) && setString(base + "\\FLAGS", nullptr, std::to_string(lib->libFlags)) &&
              setString(base + "\\HELPDIR", nullptr, narrow(helpDir)) &&
              setString(base + "\\" + hex(lib->lcid) + "\\" + platformKey(lib->syskind), nullptr, narrow(fullPath));
    const std::string proxyStub = korvane::platform::GuidToText(CLSID_PSOAInterface);
    for (UINT i = 0; ok && i < lib->interfaceCount; ++i) {
        const InterfaceDescription* iface = lib->interfaces[i];
        if (!iface || !exported(*iface))
            continue;
        const std::string key = "Interface\\" + korvane::platform::GuidToText(iface->iid);
        ok = setString(key, nullptr, narrow(iface->name)) && setString(key + "\\ProxyStubClsid", nullptr, proxyStub) &&
             setString(key + "\\ProxyStubClsid32", nullptr, proxyStub) &&
             setString(key + "\\TypeLib", nullptr, libid) &&
             setString(key + "\\TypeLib", "Version", versionText(lib->majorVersion, lib->minorVersion));
    }
    if (!ok)
        return TYPE_E_REGISTRYACCESS;
    TypeLibAddCompiled(lib);
    return S_OK;
}

HRESULT UnRegisterTypeLib(REFGUID libidGuid, WORD major, WORD minor, LCID lcid, SYSKIND syskind) {
    const std::string libid = korvane::platform::GuidToText(libidGuid);
    const std::string version = versionText(major, minor);
    const std::string base = "TypeLib\\" + libid + "\\" + version;
    if (!keyExists(base))
        return TYPE_E_REGISTRYACCESS;
    // The interfaces that this library version registered.
    for (const std::string& name : subKeys("Interface")) {
        const std::string key = "Interface\\" + name;
        std::string owner, ownerVersion;
        if (!readString(key + "\\TypeLib", nullptr, &owner) || owner != libid ||
            !readString(key + "\\TypeLib", "Version", &ownerVersion) || ownerVersion != version)
            continue;
        removeKey(key + "\\ProxyStubClsid");
        removeKey(key + "\\ProxyStubClsid32");
        removeKey(key + "\\TypeLib");
        removeKey(key);
    }
    const std::string locale = base + "\\" + hex(lcid);
    removeKey(locale + "\\" + platformKey(syskind));
    removeKey(locale);
    // The version key goes with its flags and help directory once no other
    // locale is registered under it.
    bool otherLocales = false;
    for (const std::string& sub : subKeys(base))
        if (sub != "FLAGS" && sub != "HELPDIR" && sub != "flags" && sub != "helpdir")
            otherLocales = true;
    if (!otherLocales) {
        removeKey(base + "\\FLAGS");
        removeKey(base + "\\HELPDIR");
        removeKey(base);
        removeKey("TypeLib\\" + libid);
    }
    return S_OK;
}

HRESULT LoadRegTypeLib(REFGUID libidGuid, WORD major, WORD minor, LCID lcid, const TypeLibDescription** lib) {
    if (!lib)
        return E_INVALIDARG;
    *lib = nullptr;
    const std::string root = "TypeLib\\" + korvane::platform::GuidToText(libidGuid);
    // The highest registered minor version of the major version asked for.
    long best = -1;
    std::string bestKey;
    for (const std::string& v : subKeys(root)) {
        unsigned long maj = 0, min = 0;
        char tail = 0;
        if (std::sscanf(v.c_str(), "%lx.%lx%c", &maj, &min, &tail) != 2 || maj != major || min < minor)
            continue;
        if (static_cast<long>(min) > best) {
            best = static_cast<long>(min);
            bestKey = root + "\\" + v;
        }
    }
    if (best < 0)
        return TYPE_E_LIBNOTREGISTERED;
    // The locale itself, its primary language, or the neutral locale.
    bool localeFound = false;
    for (LCID l : {lcid, static_cast<LCID>(lcid & 0x3FF), static_cast<LCID>(0)}) {
        const std::string k = bestKey + "\\" + hex(l);
        if (keyExists(k + "\\win64") || keyExists(k + "\\win32")) {
            localeFound = true;
            break;
        }
    }
    if (!localeFound)
        return TYPE_E_LIBNOTREGISTERED;
    std::lock_guard<std::mutex> g(g_compiledLock);
    for (const TypeLibDescription* d : compiled())
        if (d->libid == libidGuid && d->majorVersion == major && d->minorVersion >= minor) {
            *lib = d;
            return S_OK;
        }
    return TYPE_E_LIBNOTREGISTERED;
}
