// Environment variables, module file names and the temporary directory.
#include "platform/Environment.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <mutex>
#include <string>
#include <unistd.h>

#include "platform/LastError.h"

namespace {

// getenv/setenv are not safe against each other; the layer's own calls at
// least never overlap.
std::mutex& environmentLock() {
    static std::mutex* m = new std::mutex;
    return *m;
}

bool validName(LPCSTR name) {
    return name != nullptr && name[0] != '\0' && std::strchr(name, '=') == nullptr;
}

// Copies `value` with Windows' result convention of the environment and
// temporary-path functions.
DWORD copyOut(const std::string& value, LPSTR buffer, DWORD size) {
    if (value.size() >= 0xFFFFFFFFu) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    auto length = static_cast<DWORD>(value.size());
    if (buffer == nullptr || size <= length) {
        return length + 1;
    }
    std::memcpy(buffer, value.data(), length);
    buffer[length] = '\0';
    return length;
}

std::string realPath(const char* path) {
    char* resolved = ::realpath(path, nullptr);
    if (resolved == nullptr) {
        return path;
    }
    std::string out(resolved);
    std::free(resolved);
    return out;
}

} // namespace

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    if (!validName(name)) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    std::string value;
    {
        std::lock_guard<std::mutex> guard(environmentLock());
        const char* v = std::getenv(name);
        if (v == nullptr) {
            SetLastError(ERROR_ENVVAR_NOT_FOUND);
            return 0;
        }
        value = v;
    }
    SetLastError(ERROR_SUCCESS);
    return copyOut(value, buffer, size);
}

BOOL SetEnvironmentVariableA(LPCSTR name, LPCSTR value) {
    if (!validName(name)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(environmentLock());
    if (value == nullptr) {
        if (std::getenv(name) == nullptr) {
            SetLastError(ERROR_ENVVAR_NOT_FOUND);
            return FALSE;
        }
        ::unsetenv(name);
        return TRUE;
    }
    if (::setenv(name, value, 1) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return TRUE;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    std::string path;
    if (module == nullptr) {
        // The kernel's link to the executable, resolved: the program's real
        // path even when it was started through a link or a relative name.
        std::string link(PATH_MAX + 1, '\0');
        ssize_t n = ::readlink("/proc/self/exe", link.data(), link.size());
        if (n <= 0 || static_cast<size_t>(n) >= link.size()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        link.resize(static_cast<size_t>(n));
        path = link;
    } else {
        Dl_info info{};
        struct link_map* map = nullptr;
        if (::dladdr1(module, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 ||
            map == nullptr) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        if (map->l_name == nullptr || map->l_name[0] == '\0') {
            // The main program has no name of its own in the loader's list.
            return GetModuleFileNameA(nullptr, buffer, size);
        }
        path = realPath(map->l_name);
    }
    if (path.size() >= 0xFFFFFFFFu) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    auto length = static_cast<DWORD>(path.size());
    if (size == 0 || buffer == nullptr) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (length >= size) {
        std::memcpy(buffer, path.data(), size - 1);
        buffer[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, path.data(), length);
    buffer[length] = '\0';
    SetLastError(ERROR_SUCCESS);
    return length;
}

DWORD GetTempPathA(DWORD size, LPSTR buffer) {
    std::string dir;
    {
        std::lock_guard<std::mutex> guard(environmentLock());
        const char* tmp = std::getenv("TMPDIR");
        dir = tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp";
    }
    if (dir.back() != '/') {
        dir += '/';
    }
    SetLastError(ERROR_SUCCESS);
    return copyOut(dir, buffer, size);
}
