// Files with Windows rules on the Linux file system: path resolution, file
// searches, attributes, and CreateFileA/ReadFile/WriteFile/DeleteFileA for
// the kinds of file the system uses (private temporary files in shared
// directories, shared reading of existing files, the log pipe).
//
// Path rules:
// - '\' and '/' both separate components; repeated separators count as one.
// - When a path does not exist as written, each component that does not
//   exist exactly is matched against its directory's entries without regard
//   to ASCII case ("..\Lib\*.dty" finds "../lib/Types.DTY"). Of several
//   entries that differ only in case, the first in byte order is taken.
// - "X:" at the start (a drive letter) names nothing unless the environment
//   variable KORVANE_DRIVE_X (the letter in upper case) holds an absolute
//   directory: "C:\a\b" is then "$KORVANE_DRIVE_C/a/b" ("C:a" the same).
//   An unmapped drive gives ERROR_PATH_NOT_FOUND.
// - "\\.\pipe\NAME" is the FIFO NAME in the per-user runtime directory
//   (PlatformRuntimeDir), matched without regard to case like file names;
//   NAME may not contain a separator. Other "\\" paths
//   (network shares) give ERROR_BAD_PATHNAME.
// - Other paths are relative to the current directory or absolute.
// Names are bytes: no code page conversion is made between the system's
// Windows-1252 names and the file system.
#pragma once

#include <string>

#include "platform/HandleTable.h"
#include "platform/WinTypes.h"

// Access rights of CreateFileA (GENERIC_READ/GENERIC_WRITE are in WinTypes.h).
constexpr DWORD FILE_READ_DATA = 0x0001;
constexpr DWORD FILE_WRITE_DATA = 0x0002;
constexpr DWORD FILE_APPEND_DATA = 0x0004;
// Share modes.
constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
constexpr DWORD FILE_SHARE_DELETE = 0x00000004;
// Dispositions.
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;
// Attributes and flags.
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x00000002;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x00000004;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x00000020;
constexpr DWORD FILE_ATTRIBUTE_DEVICE = 0x00000040;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr DWORD FILE_ATTRIBUTE_TEMPORARY = 0x00000100;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x00000400;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr DWORD FILE_FLAG_WRITE_THROUGH = 0x80000000;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;
constexpr DWORD FILE_FLAG_NO_BUFFERING = 0x20000000;
constexpr DWORD FILE_FLAG_RANDOM_ACCESS = 0x10000000;
constexpr DWORD FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000;
constexpr DWORD FILE_FLAG_DELETE_ON_CLOSE = 0x04000000;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;
// Seek origins and the file-size error value.
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;

/// Overlapped I/O is not supported; the type exists for the signatures.
struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

/// One entry of a file search.
struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
};
using LPWIN32_FIND_DATAA = WIN32_FIND_DATAA*;

/// Translates a Windows path to the Linux path it names, by the rules above.
/// With `lastMayBeMissing`, a last component that matches nothing is kept as
/// written (for files about to be created); every directory on the way must
/// exist. Returns ERROR_SUCCESS, or ERROR_FILE_NOT_FOUND (last component
/// missing), ERROR_PATH_NOT_FOUND (a directory on the way missing or an
/// unmapped drive), ERROR_BAD_PATHNAME (network path), ERROR_INVALID_NAME
/// (bad pipe name), ERROR_INVALID_PARAMETER (null or empty path).
DWORD PlatformResolvePath(LPCSTR windowsPath, bool lastMayBeMissing, std::string& linuxPath);

/// Whether `name` matches the pattern: '*' any run of characters, '?' any one
/// character, letters without regard to ASCII case. As in Windows, a pattern
/// ending in ".*" also matches names without an extension ("*.*" matches
/// every name, "readme.*" matches "readme").
bool PlatformMatchPattern(const char* pattern, const char* name);

/// Starts a search of the entries matching the last component of `pattern`
/// (wildcards allowed there only) in the directory the rest names. Fills
/// *data with the first match and returns a search handle for FindNextFileA
/// and FindClose. Entries come in the order the file system lists them; "."
/// and ".." are listed when they match, as Windows lists them. Fails with
/// INVALID_HANDLE_VALUE and ERROR_FILE_NOT_FOUND (no match),
/// ERROR_PATH_NOT_FOUND (no such directory) or ERROR_INVALID_PARAMETER.
HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data);
/// The next match: TRUE, or FALSE with ERROR_NO_MORE_FILES at the end,
/// ERROR_INVALID_HANDLE for a handle that is not an open search.
BOOL FindNextFileA(HANDLE search, LPWIN32_FIND_DATAA data);
/// Ends a search. FALSE with ERROR_INVALID_HANDLE for anything else
/// (CloseHandle refuses search handles in turn).
BOOL FindClose(HANDLE search);

/// The attributes of the file or directory: FILE_ATTRIBUTE_DIRECTORY for a
/// directory, FILE_ATTRIBUTE_READONLY when the owner may not write,
/// FILE_ATTRIBUTE_HIDDEN for a name starting with '.', FILE_ATTRIBUTE_NORMAL
/// when no other applies. INVALID_FILE_ATTRIBUTES with ERROR_FILE_NOT_FOUND
/// or ERROR_PATH_NOT_FOUND when it does not exist.
DWORD GetFileAttributesA(LPCSTR path);

/// Opens or creates a file or opens a pipe, with Windows' dispositions and
/// results. The safety rules for shared directories apply to every call that
/// may create or write a file: symbolic links at the name are not followed
/// (ERROR_ACCESS_DENIED), an existing file owned by another user or with
/// more than one hard link is refused (ERROR_ACCESS_DENIED), a new file gets
/// mode 0600, and anything but a regular file (or a FIFO for OPEN_EXISTING)
/// is refused. Reading an existing file follows links and any owner.
///
/// Sharing: a share mode of 0 takes the file exclusively, any other share
/// mode takes it shared (advisory file locks, honoured by every process
/// using this layer); a conflicting open fails with ERROR_SHARING_VIOLATION,
/// before anything is truncated. CREATE_ALWAYS and OPEN_ALWAYS on an existing
/// file succeed with ERROR_ALREADY_EXISTS as the last error; CREATE_NEW on an
/// existing name fails with ERROR_FILE_EXISTS.
///
/// Pipes ("\\.\pipe\NAME" or the path of a FIFO): only OPEN_EXISTING. The
/// open never waits: a missing pipe gives ERROR_FILE_NOT_FOUND, one without a
/// reader (for writing) ERROR_PIPE_NOT_CONNECTED. Writes then block until
/// written (synchronous); a write after the reader went away fails with
/// ERROR_NO_DATA and never raises SIGPIPE. FILE_FLAG_WRITE_THROUGH makes
/// file writes synchronous to the disk (O_DSYNC). Overlapped mode and
/// templates are not supported (ERROR_INVALID_PARAMETER). Returns the handle
/// (close it with CloseHandle) or INVALID_HANDLE_VALUE.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);

/// Reads up to `toRead` bytes; *read (optional) receives the count, 0 at the
/// end of a file. A pipe whose writers have all gone gives FALSE with
/// ERROR_BROKEN_PIPE. FALSE with ERROR_INVALID_HANDLE for a bad handle,
/// ERROR_ACCESS_DENIED without read access, ERROR_INVALID_PARAMETER for an
/// overlapped call or a null buffer with a non-zero count.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
/// Writes all `toWrite` bytes (a short count only on failure); *written
/// (optional) receives the count. Errors as ReadFile, and ERROR_NO_DATA for
/// a pipe without reader, ERROR_DISK_FULL.
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped);
/// The size of an open file: the low 32 bits are returned, the high ones go
/// to *high (optional). As on Windows, with a null `high` a size of 4 GiB or
/// more is returned cut to its low part. INVALID_FILE_SIZE with
/// ERROR_INVALID_HANDLE for a bad handle (callers tell it from a real size
/// of that value by GetLastError()).
DWORD GetFileSize(HANDLE file, LPDWORD high);
/// Moves the file position, Windows' SetFilePointer: `distance` (with the
/// optional high part in *distanceHigh, else sign-extended) from FILE_BEGIN,
/// FILE_CURRENT or FILE_END. Returns the new position's low part (the high
/// part in *distanceHigh), or INVALID_SET_FILE_POINTER with
/// ERROR_NEGATIVE_SEEK for a position before the start,
/// ERROR_INVALID_PARAMETER for a bad method, ERROR_INVALID_FUNCTION for a
/// pipe, ERROR_INVALID_HANDLE for a bad handle.
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
/// Creates a file with a unique name in `directory` and puts its name
/// (Windows' form "<directory>\<prefix><hex>.TMP", at most MAX_PATH
/// characters with the terminator) into `tempFileName`, which must hold
/// MAX_PATH characters. `prefix`: its first three characters are used. With
/// `unique` 0, numbers are tried until a new file could be created (with
/// the safety rules of CREATE_NEW, so the name is private to the caller);
/// the number is returned. With `unique` non-zero, no file is created and
/// `unique` is returned. 0 with an error code on failure
/// (ERROR_PATH_NOT_FOUND, ERROR_BUFFER_OVERFLOW for a too long name,
/// ERROR_FILE_EXISTS when all numbers are taken).
UINT GetTempFileNameA(LPCSTR directory, LPCSTR prefix, UINT unique, LPSTR tempFileName);
/// Removes a file. ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND when missing,
/// ERROR_ACCESS_DENIED for a directory or without permission. A symbolic
/// link is removed itself, not its target.
BOOL DeleteFileA(LPCSTR name);
