// The per-user runtime directory: $XDG_RUNTIME_DIR when it is sound, else a
// private directory below /tmp that is created and checked here.
#include "platform/RuntimeDir.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A directory fit to hold the user's private objects: a real directory (not
// a link), owned by the user, without any rights for group or others.
DWORD checkPrivateDir(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return ERROR_PATH_NOT_FOUND;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

} // namespace

std::string PlatformRuntimeDir(DWORD* error) {
    DWORD ignored = ERROR_SUCCESS;
    DWORD& result = error != nullptr ? *error : ignored;

    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg != nullptr && xdg[0] == '/') {
        std::string dir(xdg);
        while (dir.size() > 1 && dir.back() == '/') {
            dir.pop_back();
        }
        // An unusable XDG_RUNTIME_DIR (stale after logout, shared, someone
        // else's) is passed over rather than trusted; every process of the
        // user then agrees on the fallback below.
        if (checkPrivateDir(dir) == ERROR_SUCCESS) {
            result = ERROR_SUCCESS;
            return dir;
        }
    }

    // Not below $TMPDIR: processes started with different environments (a
    // Java program, the server started by activation) must meet in one place.
    std::string dir = "/tmp/korvane-" + std::to_string(static_cast<unsigned long>(::geteuid()));
    if (::mkdir(dir.c_str(), 0700) == 0) {
        // The umask may have taken the owner's own rights away.
        ::chmod(dir.c_str(), 0700);
    } else if (errno != EEXIST) {
        result = errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
        return std::string();
    }
    // Whether just made or found, the directory must pass the check: another
    // user may have planted it (or a link) first in the shared /tmp.
    DWORD check = checkPrivateDir(dir);
    if (check != ERROR_SUCCESS) {
        result = check;
        return std::string();
    }
    result = ERROR_SUCCESS;
    return dir;
}
