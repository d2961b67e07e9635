// The Windows registry on Linux: a persistent, hierarchical store of keys and
// typed values shared by every process of the user, under the Windows names,
// signatures, results and error codes.
//
// Where the store lives: the file named by the environment variable
// KORVANE_REGISTRY when it is set and not empty; otherwise
// $XDG_CONFIG_HOME/korvane/registry.db, or ~/.config/korvane/registry.db when
// XDG_CONFIG_HOME is unset or not absolute. The directory is created (mode
// 0700) when missing. The variable is read at every call on a predefined
// root, so a test may point each case at a store of its own; a relative value
// is taken relative to the current directory of that moment. A handle opened
// from a root stays with the store it was opened in. A store that cannot be
// opened gives ERROR_CANTOPEN (ERROR_ACCESS_DENIED without permission), a
// file that is no store ERROR_BADDB; neither is ever overwritten.
//
// The store is an SQLite database in WAL mode with a busy time-out: every
// registry call that changes something is one transaction, so several
// processes may read and write at once and a process killed in the middle of
// a write leaves the store as it was before or after that write.
//
// Key names compare without regard to ASCII case and keep the case they were
// created with; values keep their type and exact bytes. Handles returned to
// callers are entries of a handle table, never addresses: a closed, bogus or
// foreign handle gives ERROR_INVALID_HANDLE and never a crash.
#pragma once

#include "platform/WinTypes.h"

struct HKEY__;
/// A registry key handle: a predefined root or a key opened by this process.
using HKEY = HKEY__*;
using PHKEY = HKEY*;
/// An access mask of the KEY_* rights.
using REGSAM = DWORD;
using LSTATUS = LONG;

// The predefined roots with their Windows handle values. As on 64-bit
// Windows, the 32-bit value is sign-extended to the width of a pointer; a root
// handed in zero-extended (a Java int widened as unsigned) is accepted too.
#define KORVANE_PREDEFINED_HKEY(v) (reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<LONG>(v))))
#define HKEY_CLASSES_ROOT KORVANE_PREDEFINED_HKEY(0x80000000u)
#define HKEY_CURRENT_USER KORVANE_PREDEFINED_HKEY(0x80000001u)
#define HKEY_LOCAL_MACHINE KORVANE_PREDEFINED_HKEY(0x80000002u)
#define HKEY_USERS KORVANE_PREDEFINED_HKEY(0x80000003u)

// Key access rights (Windows values; the standard and generic rights are in
// platform/WinTypes.h).
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM KEY_READ = 0x20019;     // query, enumerate, notify, read control
constexpr REGSAM KEY_WRITE = 0x20006;    // set value, create sub-key, read control
constexpr REGSAM KEY_EXECUTE = KEY_READ;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// Value types (Windows values).
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_LITTLE_ENDIAN = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_RESOURCE_LIST = 8;
constexpr DWORD REG_FULL_RESOURCE_DESCRIPTOR = 9;
constexpr DWORD REG_RESOURCE_REQUIREMENTS_LIST = 10;
constexpr DWORD REG_QWORD = 11;
constexpr DWORD REG_QWORD_LITTLE_ENDIAN = 11;

// Options and dispositions of RegCreateKeyExA.
constexpr DWORD REG_OPTION_RESERVED = 0x0;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0x0;
constexpr DWORD REG_OPTION_VOLATILE = 0x1;
constexpr DWORD REG_OPTION_CREATE_LINK = 0x2;
constexpr DWORD REG_OPTION_BACKUP_RESTORE = 0x4;
constexpr DWORD REG_OPTION_OPEN_LINK = 0x8;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

/// Largest key name component (Windows: 255 characters) and value name
/// (16383 characters); longer names fail with ERROR_INVALID_PARAMETER.
constexpr DWORD REG_MAX_KEY_NAME = 255;
constexpr DWORD REG_MAX_VALUE_NAME = 16383;
/// Largest value kept (bytes); a larger one fails with ERROR_INVALID_PARAMETER.
/// Value names compare without regard to ASCII case like key names; a value
/// rewritten under another case keeps its first name.
constexpr DWORD REG_MAX_VALUE_SIZE = 1u << 20;

/// Opens the existing key `subKey` (components separated by '\'; null or ""
/// opens `key` itself again) with the rights `samDesired` (generic rights are
/// mapped to KEY_READ / KEY_WRITE / KEY_ALL_ACCESS). Returns ERROR_SUCCESS and
/// a new handle in *result (close it with RegCloseKey); ERROR_FILE_NOT_FOUND
/// when the key does not exist; ERROR_INVALID_HANDLE for a bad `key`;
/// ERROR_KEY_DELETED when `key` was deleted; ERROR_INVALID_PARAMETER for a
/// null `result` or a component longer than REG_MAX_KEY_NAME;
/// ERROR_BAD_PATHNAME for a malformed path. On failure *result is null. The
/// rights of `key` itself do not matter.
LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM samDesired, PHKEY result);

/// Opens `subKey`, creating it and every missing key on its path. `className`,
/// `options` (volatile keys are stored like non-volatile ones) and `security`
/// are accepted and ignored. *disposition (optional) receives
/// REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY. Making a key needs
/// KEY_CREATE_SUB_KEY on `key` (else ERROR_ACCESS_DENIED); opening an
/// existing one does not. "" opens `key` itself again; a null `subKey` or
/// `result` gives ERROR_INVALID_PARAMETER. A leading '\' or an empty
/// component gives ERROR_BAD_PATHNAME; one trailing '\' is allowed.
LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className, DWORD options,
                        REGSAM samDesired, const SECURITY_ATTRIBUTES* security, PHKEY result,
                        LPDWORD disposition);

/// Reads the value `valueName` (null or "" is the key's default value).
/// *type (optional) receives its type. With `data` null, *dataSize receives
/// the size and ERROR_SUCCESS is returned. With a buffer smaller than the
/// value, ERROR_MORE_DATA is returned, *dataSize receives the size needed and
/// nothing is written. Missing value: ERROR_FILE_NOT_FOUND. `dataSize` may
/// be null only when `data` is null. Needs KEY_QUERY_VALUE.
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataSize);

/// Creates or replaces the value `valueName` with `size` bytes of `data` and
/// the given type; the bytes are kept exactly as given. Needs KEY_SET_VALUE
/// (else ERROR_ACCESS_DENIED).
LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD size);

/// Removes the value `valueName`; ERROR_FILE_NOT_FOUND when it is missing.
/// Needs KEY_SET_VALUE.
LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName);

/// Removes the key `subKey` below `key` with its values; "" removes the key
/// of `key` itself. As on Windows the key must have no sub-keys (else
/// ERROR_ACCESS_DENIED); a predefined root cannot be removed
/// (ERROR_ACCESS_DENIED); a null `subKey` gives ERROR_INVALID_PARAMETER; a
/// missing key ERROR_FILE_NOT_FOUND. Handles still open on the removed key
/// then answer ERROR_KEY_DELETED. No right on `key` is needed (the store
/// keeps no security descriptors).
LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey);

/// Closes a handle from RegOpenKeyExA/RegCreateKeyExA. Closing a predefined
/// root succeeds and does nothing; a closed or unknown handle gives
/// ERROR_INVALID_HANDLE.
LSTATUS RegCloseKey(HKEY key);

/// Enumerates the sub-keys of `key` in case-insensitive name order: index 0
/// is the first. *nameSize holds the buffer size in, the name length without
/// terminator out; a short buffer gives ERROR_MORE_DATA; an index past the
/// end, ERROR_NO_MORE_ITEMS. Needs KEY_ENUMERATE_SUB_KEYS.
LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                      LPSTR className, LPDWORD classSize, PFILETIME lastWriteTime);

/// Enumerates the values of `key` in case-insensitive name order, with the
/// rules of RegEnumKeyExA for the name and of RegQueryValueExA for the data.
/// Needs KEY_QUERY_VALUE.
LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameSize,
                      LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize);
