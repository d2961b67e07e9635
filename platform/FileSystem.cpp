// Windows file functions on the Linux file system: path translation with
// case-insensitive resolution, searches, attributes, and file and pipe
// handles with the safety rules for shared directories.
#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/LastError.h"
#include "platform/RuntimeDir.h"

using korvane::platform::HandleInsert;
using korvane::platform::HandleLookup;
using korvane::platform::HandleRemove;
using korvane::platform::KernelObject;

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalNoCase(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) {
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

DWORD errnoToWin(int e, DWORD fallback) {
    switch (e) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case ELOOP: // a symbolic link where none may be followed
    case EISDIR:
    case EROFS:
    case ETXTBSY:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case ENXIO:
        return ERROR_PIPE_NOT_CONNECTED;
    case EPIPE:
        return ERROR_NO_DATA;
    case EWOULDBLOCK:
        return ERROR_SHARING_VIOLATION;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    default:
        return fallback;
    }
}

// "\\.\pipe\" in any case and with either separator.
bool isPipeName(const char* p) {
    return isSeparator(p[0]) && isSeparator(p[1]) && p[2] == '.' && isSeparator(p[3]) &&
           lowerAscii(p[4]) == 'p' && lowerAscii(p[5]) == 'i' && lowerAscii(p[6]) == 'p' &&
           lowerAscii(p[7]) == 'e' && isSeparator(p[8]);
}

bool hasWildcards(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

bool matchFrom(const char* p, const char* n) {
    // Two-pointer matching with one backtrack point: linear in practice and
    // never recursive, so a long pattern cannot exhaust the stack.
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*n != '\0') {
        if (*p == '*') {
            star = p++;
            resume = n;
        } else if (*p != '\0' && (*p == '?' || lowerAscii(*p) == lowerAscii(*n))) {
            ++p;
            ++n;
        } else if (star != nullptr) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (*p == '*') {
        ++p;
    }
    return *p == '\0';
}

// FILETIME from a Unix time.
FILETIME fileTime(const struct timespec& t) {
    int64_t v = static_cast<int64_t>(t.tv_sec) * 10000000LL + t.tv_nsec / 100 + 116444736000000000LL;
    if (v < 0) {
        v = 0;
    }
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(v));
    ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(v) >> 32);
    return ft;
}

DWORD attributesOf(const struct stat& st, const char* name) {
    DWORD a = 0;
    if (S_ISDIR(st.st_mode)) {
        a |= FILE_ATTRIBUTE_DIRECTORY;
    }
    if ((st.st_mode & S_IWUSR) == 0) {
        a |= FILE_ATTRIBUTE_READONLY;
    }
    if (name[0] == '.' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) {
        a |= FILE_ATTRIBUTE_HIDDEN;
    }
    return a == 0 ? FILE_ATTRIBUTE_NORMAL : a;
}

const char* baseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path.c_str() : path.c_str() + slash + 1;
}

// ----- handle objects -----

struct FindObject : KernelObject {
    FindObject() : KernelObject(Kind::Find) {}
    std::mutex lock;
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0; // guarded by lock
};

struct FileObject : KernelObject {
    FileObject() : KernelObject(Kind::File) {}
    ~FileObject() override {
        if (deleteOnClose) {
            // Only the very file this handle has open is removed: a file that
            // replaced it under the same name stays.
            struct stat now {};
            if (::lstat(path.c_str(), &now) == 0 && now.st_dev == device && now.st_ino == inode) {
                ::unlink(path.c_str());
            }
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }
    int fd = -1;
    bool canRead = false;
    bool canWrite = false;
    bool pipe = false;
    bool deleteOnClose = false;
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
};

// Writes to a pipe with SIGPIPE blocked for the calling thread, so that a
// vanished reader gives EPIPE instead of ending the process, whatever the
// process's signal disposition. A SIGPIPE raised by this write is taken off
// again; one that was pending before stays pending.
ssize_t writeNoSigpipe(int fd, const void* data, size_t size) {
    sigset_t pipeSet;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    bool wasPending = sigismember(&pending, SIGPIPE) == 1;
    sigset_t old;
    pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
    ssize_t n = ::write(fd, data, size);
    int saved = errno;
    if (n < 0 && saved == EPIPE && !wasPending) {
        struct timespec zero {};
        while (sigtimedwait(&pipeSet, nullptr, &zero) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = saved;
    return n;
}

} // namespace

// ----- paths -----

DWORD PlatformResolvePath(LPCSTR windowsPath, bool lastMayBeMissing, std::string& linuxPath) {
    linuxPath.clear();
    if (windowsPath == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (windowsPath[0] == '\0') {
        return ERROR_PATH_NOT_FOUND;
    }
    std::string path(windowsPath);
    if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
        if (!isPipeName(windowsPath)) {
            return ERROR_BAD_PATHNAME; // network shares and device paths
        }
        std::string name = path.substr(9);
        if (name.empty() || name.find_first_of("\\/") != std::string::npos || name == "." ||
            name == "..") {
            return ERROR_INVALID_NAME;
        }
        DWORD error = ERROR_SUCCESS;
        std::string dir = PlatformRuntimeDir(&error);
        if (dir.empty()) {
            return error;
        }
        linuxPath = dir + "/" + name;
        struct stat st {};
        if (::lstat(linuxPath.c_str(), &st) != 0) {
            // Pipe names, like file names, compare without regard to case.
            if (DIR* d = ::opendir(dir.c_str())) {
                std::string found;
                while (struct dirent* entry = ::readdir(d)) {
                    std::string entryName(entry->d_name);
                    if (equalNoCase(entryName, name.c_str()) && (found.empty() || entryName < found)) {
                        found = entryName;
                    }
                }
                ::closedir(d);
                if (!found.empty()) {
                    linuxPath = dir + "/" + found;
                }
            }
        }
        return ERROR_SUCCESS;
    }
    if (path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
        char letter = path[0] >= 'a' ? static_cast<char>(path[0] - 'a' + 'A') : path[0];
        std::string variable = std::string("KORVANE_DRIVE_") + letter;
        const char* root = std::getenv(variable.c_str());
        if (root == nullptr || root[0] != '/') {
            return ERROR_PATH_NOT_FOUND;
        }
        path = std::string(root) + "/" + path.substr(2);
    }
    std::replace(path.begin(), path.end(), '\\', '/');
    // Repeated separators count as one (a drive mapping adds one of its own).
    path.erase(std::unique(path.begin(), path.end(), [](char a, char b) { return a == '/' && b == '/'; }),
               path.end());
    const bool trailing = path.size() > 1 && path.back() == '/';

    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        linuxPath = path;
        return ERROR_SUCCESS;
    }

    // Component by component: the exact name first, else the entries that
    // differ only in case.
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        if (end > start) {
            parts.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    std::string current = path[0] == '/' ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        const std::string& part = parts[i];
        std::string candidate =
            current.empty() ? part : (current.back() == '/' ? current + part : current + "/" + part);
        if (part == "." || part == ".." || ::lstat(candidate.c_str(), &st) == 0) {
            current = candidate;
            continue;
        }
        DIR* dir = ::opendir(current.empty() ? "." : current.c_str());
        if (dir == nullptr) {
            return ERROR_PATH_NOT_FOUND;
        }
        std::string found;
        while (struct dirent* entry = ::readdir(dir)) {
            std::string name(entry->d_name);
            if (equalNoCase(name, part.c_str()) && (found.empty() || name < found)) {
                found = name;
            }
        }
        ::closedir(dir);
        if (!found.empty()) {
            current = current.empty() ? found : (current.back() == '/' ? current + found : current + "/" + found);
        } else if (last && lastMayBeMissing) {
            current = candidate;
        } else {
            return last ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        }
    }
    if (current.empty()) {
        current = ".";
    }
    if (trailing && current.back() != '/') {
        current += '/';
    }
    linuxPath = current;
    return ERROR_SUCCESS;
}

bool PlatformMatchPattern(const char* pattern, const char* name) {
    if (pattern == nullptr || name == nullptr) {
        return false;
    }
    if (matchFrom(pattern, name)) {
        return true;
    }
    // "name.*" also finds "name" (no extension at all), as on Windows.
    size_t n = std::strlen(pattern);
    if (n >= 2 && pattern[n - 2] == '.' && pattern[n - 1] == '*' && std::strchr(name, '.') == nullptr) {
        std::string stem(pattern, n - 2);
        return matchFrom(stem.c_str(), name);
    }
    return false;
}

// ----- searches -----

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    if (pattern == nullptr || data == nullptr || pattern[0] == '\0') {
        SetLastError(pattern != nullptr && data != nullptr ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string full(pattern);
    size_t cut = full.find_last_of("\\/");
    std::string dirPart;
    std::string namePart;
    if (cut != std::string::npos) {
        dirPart = full.substr(0, cut + 1);
        namePart = full.substr(cut + 1);
    } else if (full.size() >= 2 && full[1] == ':') {
        dirPart = full.substr(0, 2);
        namePart = full.substr(2);
    } else {
        dirPart = ".";
        namePart = full;
    }
    if (hasWildcards(dirPart)) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    std::string dir;
    DWORD rc = PlatformResolvePath(dirPart.c_str(), false, dir);
    if (rc != ERROR_SUCCESS) {
        SetLastError(rc == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : rc);
        return INVALID_HANDLE_VALUE;
    }
    if (namePart.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                         : errnoToWin(errno, ERROR_PATH_NOT_FOUND));
        return INVALID_HANDLE_VALUE;
    }
    auto search = std::make_shared<FindObject>();
    const int dfd = ::dirfd(d);
    const bool wild = hasWildcards(namePart);
    while (struct dirent* entry = ::readdir(d)) {
        const char* name = entry->d_name;
        bool match = wild ? PlatformMatchPattern(namePart.c_str(), name) : equalNoCase(namePart, name);
        if (!match || std::strlen(name) >= MAX_PATH) {
            continue;
        }
        struct stat st {};
        if (::fstatat(dfd, name, &st, 0) != 0 && ::fstatat(dfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue; // vanished meanwhile
        }
        WIN32_FIND_DATAA e{};
        e.dwFileAttributes = attributesOf(st, name);
        e.ftCreationTime = fileTime(st.st_ctim);
        e.ftLastAccessTime = fileTime(st.st_atim);
        e.ftLastWriteTime = fileTime(st.st_mtim);
        auto size = static_cast<uint64_t>(S_ISDIR(st.st_mode) ? 0 : st.st_size);
        e.nFileSizeHigh = static_cast<DWORD>(size >> 32);
        e.nFileSizeLow = static_cast<DWORD>(size);
        std::memcpy(e.cFileName, name, std::strlen(name) + 1);
        search->entries.push_back(e);
    }
    ::closedir(d);
    if (search->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *data = search->entries[0];
    search->next = 1;
    HANDLE h = HandleInsert(search);
    if (h == nullptr) {
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return h;
}

BOOL FindNextFileA(HANDLE handle, LPWIN32_FIND_DATAA data) {
    std::shared_ptr<KernelObject> o = HandleLookup(handle, KernelObject::Kind::Find);
    if (!o) {
        return FALSE;
    }
    if (data == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto& search = static_cast<FindObject&>(*o);
    std::lock_guard<std::mutex> guard(search.lock);
    if (search.next >= search.entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *data = search.entries[search.next++];
    return TRUE;
}

BOOL FindClose(HANDLE handle) {
    if (!HandleLookup(handle, KernelObject::Kind::Find)) {
        return FALSE;
    }
    return HandleRemove(handle) ? TRUE : FALSE;
}

DWORD GetFileAttributesA(LPCSTR path) {
    std::string p;
    DWORD rc = PlatformResolvePath(path, false, p);
    if (rc != ERROR_SUCCESS) {
        SetLastError(rc);
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0 && ::lstat(p.c_str(), &st) != 0) {
        SetLastError(errnoToWin(errno, ERROR_FILE_NOT_FOUND));
        return INVALID_FILE_ATTRIBUTES;
    }
    std::string trimmed = p;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    return attributesOf(st, baseName(trimmed));
}

// ----- files and pipes -----

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE templateFile) {
    if (name == nullptr || disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
        (flags & FILE_FLAG_OVERLAPPED) != 0 || templateFile != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const bool read = (access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0;
    const bool write = (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
    if (disposition == TRUNCATE_EXISTING && !write) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const bool pipeName = isPipeName(name);
    if (pipeName && disposition != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const bool creates = disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    std::string path;
    DWORD rc = PlatformResolvePath(name, creates, path);
    if (rc != ERROR_SUCCESS) {
        SetLastError(rc);
        return INVALID_HANDLE_VALUE;
    }

    // Anything that may create or change a file goes by the rules for shared
    // directories: no link at the name is followed.
    const bool guarded = write || creates || disposition == TRUNCATE_EXISTING;
    const bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    int mode;
    if (write || truncates) {
        mode = read || (!write && truncates) ? O_RDWR : O_WRONLY;
    } else if (read || creates) {
        mode = O_RDONLY;
    } else {
        mode = O_PATH; // no data access: attributes and size only
    }
    int base = mode | O_CLOEXEC;
    if (mode != O_PATH) {
        base |= O_NOCTTY | O_NONBLOCK; // a FIFO must not block the open
    }
    if (guarded) {
        base |= O_NOFOLLOW;
    }
    if ((flags & FILE_FLAG_WRITE_THROUGH) != 0 && write) {
        base |= O_DSYNC;
    }

    int fd = -1;
    bool existed = false;
    if (disposition == CREATE_NEW) {
        fd = ::open(path.c_str(), base | O_CREAT | O_EXCL, 0600);
    } else if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) {
        // Exclusive creation first: a file made here is known to be new and
        // ours. Only when the name is taken is the existing file opened (and
        // checked below); the loop covers a file removed in between.
        for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
            fd = ::open(path.c_str(), base | O_CREAT | O_EXCL, 0600);
            if (fd >= 0 || errno != EEXIST) {
                break;
            }
            fd = ::open(path.c_str(), base);
            if (fd >= 0) {
                existed = true;
            } else if (errno != ENOENT) {
                break;
            }
        }
    } else {
        fd = ::open(path.c_str(), base);
        existed = true;
    }
    if (fd < 0) {
        int e = errno;
        DWORD error = errnoToWin(e, ERROR_ACCESS_DENIED);
        if (e == ENOENT && disposition != OPEN_EXISTING && disposition != TRUNCATE_EXISTING) {
            error = ERROR_PATH_NOT_FOUND;
        }
        if (e == ENXIO && disposition != OPEN_EXISTING) {
            error = ERROR_ACCESS_DENIED; // a FIFO or device where a file was to be made
        }
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    auto file = std::make_shared<FileObject>();
    file->fd = fd; // closed with the object on every failure below

    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        SetLastError(errnoToWin(errno, ERROR_ACCESS_DENIED));
        return INVALID_HANDLE_VALUE;
    }
    file->device = st.st_dev;
    file->inode = st.st_ino;
    file->path = path;
    if (S_ISFIFO(st.st_mode)) {
        if (disposition != OPEN_EXISTING) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        file->pipe = true;
    } else if (S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    } else if (S_ISREG(st.st_mode)) {
        if (guarded && existed && (st.st_uid != ::geteuid() || st.st_nlink > 1)) {
            // Someone else's file (or a second name of a file) planted at
            // the name: writing it would write where that user chose.
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
    } else if (!(S_ISCHR(st.st_mode) && disposition == OPEN_EXISTING)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    } else {
        file->pipe = true; // a character device reads and writes like a pipe
    }
    if (pipeName && !S_ISFIFO(st.st_mode)) {
        SetLastError(ERROR_BAD_PIPE);
        return INVALID_HANDLE_VALUE;
    }
    if (S_ISREG(st.st_mode) && mode != O_PATH) {
        // Share modes: none is an exclusive lock, any other a shared one.
        // Taken before truncating, so a refused open changes nothing.
        int how = (shareMode & (FILE_SHARE_READ | FILE_SHARE_WRITE)) == 0 ? LOCK_EX : LOCK_SH;
        int lrc;
        while ((lrc = ::flock(fd, how | LOCK_NB)) != 0 && errno == EINTR) {
        }
        if (lrc != 0) {
            SetLastError(errno == EWOULDBLOCK ? ERROR_SHARING_VIOLATION : errnoToWin(errno, ERROR_ACCESS_DENIED));
            return INVALID_HANDLE_VALUE;
        }
        if (truncates && existed && ::ftruncate(fd, 0) != 0) {
            SetLastError(errnoToWin(errno, ERROR_ACCESS_DENIED));
            return INVALID_HANDLE_VALUE;
        }
    }
    if (mode != O_PATH) {
        // Synchronous from here on: reads and writes block as on Windows.
        int fl = ::fcntl(fd, F_GETFL);
        if (fl >= 0) {
            ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
        }
    }
    file->canRead = read && mode != O_PATH;
    file->canWrite = write;
    file->deleteOnClose = (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0 && S_ISREG(st.st_mode);
    HANDLE h = HandleInsert(file);
    if (h == nullptr) {
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                         : ERROR_SUCCESS);
    return h;
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) {
    if (read != nullptr) {
        *read = 0;
    }
    std::shared_ptr<KernelObject> o = HandleLookup(handle, KernelObject::Kind::File);
    if (!o) {
        return FALSE;
    }
    auto& file = static_cast<FileObject&>(*o);
    if (overlapped != nullptr || (buffer == nullptr && toRead != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!file.canRead) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto* p = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < toRead) {
        ssize_t n = ::read(file.fd, p + done, toRead - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            SetLastError(errnoToWin(errno, ERROR_READ_FAULT));
            if (read != nullptr) {
                *read = static_cast<DWORD>(done);
            }
            return FALSE;
        }
        if (n == 0) {
            if (file.pipe && done == 0 && toRead != 0) {
                SetLastError(ERROR_BROKEN_PIPE); // every writer has gone
                return FALSE;
            }
            break;
        }
        done += static_cast<size_t>(n);
        if (file.pipe) {
            break; // a pipe delivers what is there, as a Windows byte pipe does
        }
    }
    if (read != nullptr) {
        *read = static_cast<DWORD>(done);
    }
    return TRUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped) {
    if (written != nullptr) {
        *written = 0;
    }
    std::shared_ptr<KernelObject> o = HandleLookup(handle, KernelObject::Kind::File);
    if (!o) {
        return FALSE;
    }
    auto& file = static_cast<FileObject&>(*o);
    if (overlapped != nullptr || (buffer == nullptr && toWrite != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!file.canWrite) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const auto* p = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < toWrite) {
        ssize_t n = file.pipe ? writeNoSigpipe(file.fd, p + done, toWrite - done)
                              : ::write(file.fd, p + done, toWrite - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            SetLastError(errnoToWin(errno, ERROR_WRITE_FAULT));
            if (written != nullptr) {
                *written = static_cast<DWORD>(done);
            }
            return FALSE;
        }
        done += static_cast<size_t>(n);
    }
    if (written != nullptr) {
        *written = static_cast<DWORD>(done);
    }
    return TRUE;
}

DWORD GetFileSize(HANDLE handle, LPDWORD high) {
    std::shared_ptr<KernelObject> o = HandleLookup(handle, KernelObject::Kind::File);
    if (!o) {
        return INVALID_FILE_SIZE;
    }
    struct stat st {};
    if (::fstat(static_cast<FileObject&>(*o).fd, &st) != 0) {
        SetLastError(errnoToWin(errno, ERROR_INVALID_HANDLE));
        return INVALID_FILE_SIZE;
    }
    auto size = static_cast<uint64_t>(st.st_size);
    if (high != nullptr) {
        *high = static_cast<DWORD>(size >> 32);
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

DWORD SetFilePointer(HANDLE handle, LONG distance, LONG* distanceHigh, DWORD method) {
    std::shared_ptr<KernelObject> o = HandleLookup(handle, KernelObject::Kind::File);
    if (!o) {
        return INVALID_SET_FILE_POINTER;
    }
    auto& file = static_cast<FileObject&>(*o);
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : -1;
    if (whence < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (file.pipe) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t offset = distanceHigh != nullptr
                         ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                                static_cast<uint32_t>(distance))
                         : static_cast<int64_t>(distance);
    off_t from = ::lseek(file.fd, 0, whence == SEEK_SET ? SEEK_CUR : whence);
    if (from < 0) {
        SetLastError(errnoToWin(errno, ERROR_INVALID_FUNCTION));
        return INVALID_SET_FILE_POINTER;
    }
    int64_t base = whence == SEEK_SET ? 0 : static_cast<int64_t>(from);
    // Checked here, as lseek before the start gives EINVAL without telling
    // why; base is never negative, so only a positive sum can overflow.
    int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (target < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    off_t pos = ::lseek(file.fd, static_cast<off_t>(target), SEEK_SET);
    if (pos < 0) {
        SetLastError(errnoToWin(errno, ERROR_INVALID_PARAMETER));
        return INVALID_SET_FILE_POINTER;
    }
    auto upos = static_cast<uint64_t>(pos);
    if (distanceHigh != nullptr) {
        *distanceHigh = static_cast<LONG>(static_cast<uint32_t>(upos >> 32));
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(upos);
}

BOOL DeleteFileA(LPCSTR name) {
    std::string path;
    DWORD rc = PlatformResolvePath(name, false, path);
    if (rc != ERROR_SUCCESS) {
        SetLastError(rc);
        return FALSE;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        SetLastError(errnoToWin(errno, ERROR_FILE_NOT_FOUND));
        return FALSE;
    }
    if (S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (::unlink(path.c_str()) != 0) {
        SetLastError(errnoToWin(errno, ERROR_ACCESS_DENIED));
        return FALSE;
    }
    return TRUE;
}

UINT GetTempFileNameA(LPCSTR directory, LPCSTR prefix, UINT unique, LPSTR tempFileName) {
    if (directory == nullptr || tempFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string dir(directory);
    if (dir.empty()) {
        dir = ".";
    }
    if (!isSeparator(dir.back())) {
        dir += '\\';
    }
    std::string pre = prefix != nullptr ? std::string(prefix).substr(0, 3) : std::string();
    auto nameFor = [&](UINT n) {
        char hex[9];
        std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(n & 0xFFFF));
        return dir + pre + hex + ".TMP";
    };
    auto deliver = [&](const std::string& name) {
        if (name.size() >= MAX_PATH) {
            return false;
        }
        std::memcpy(tempFileName, name.c_str(), name.size() + 1);
        return true;
    };
    if (unique != 0) {
        if (!deliver(nameFor(unique))) {
            SetLastError(ERROR_BUFFER_OVERFLOW);
            return 0;
        }
        SetLastError(ERROR_SUCCESS);
        return unique;
    }
    std::string resolvedDir;
    DWORD rc = PlatformResolvePath(dir.c_str(), false, resolvedDir);
    if (rc != ERROR_SUCCESS) {
        SetLastError(rc == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : rc);
        return 0;
    }
    // Start from a number that differs between processes, so that
    // concurrent callers rarely try the same names.
    UINT start = static_cast<UINT>(::getpid()) & 0xFFFF;
    for (UINT i = 0; i < 0xFFFF; ++i) {
        UINT n = ((start + i) % 0xFFFF) + 1;
        std::string name = nameFor(n);
        if (name.size() >= MAX_PATH) {
            SetLastError(ERROR_BUFFER_OVERFLOW);
            return 0;
        }
        HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            deliver(name);
            SetLastError(ERROR_SUCCESS);
            return n;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            return 0;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}
