// Settings files (INI files) read as Windows reads them:
// GetPrivateProfileIntA and GetPrivateProfileStringA.
//
// Parsing: lines end with LF or CR LF; blanks (spaces, tabs) around section
// names, keys and values are removed; a line whose first non-blank is ';' is
// a comment; "[name]" starts a section (a '[' line without ']' is ignored);
// "key=value" splits at the first '='; a line without '=' is a key without a
// value (listed by the enumeration, never found by a lookup); a value in
// matching double or single quotes loses them. Sections and keys compare
// without regard to ASCII case, after the blanks around the requested names
// are removed; of repeated sections and keys the first one counts. Keys
// before the first section belong to the section "". A UTF-8 byte order mark
// at the start is skipped. Files larger than PROFILE_MAX_FILE_SIZE are
// treated as unreadable.
//
// File names follow the layer's path rules (FileSystem.h); a relative name,
// even one without a directory, is relative to the current directory (where
// Windows would look into its own directory for a bare name).
#pragma once

#include "platform/WinTypes.h"

/// Largest settings file read (bytes).
constexpr size_t PROFILE_MAX_FILE_SIZE = 16u << 20;

/// Copies the value of `key` in `section` of `fileName` into `buffer`
/// (`size` bytes), or `defaultValue` (null reads as "", trailing blanks
/// removed) when the file, section or key is missing or the key has no '='.
/// A string longer than `size` - 1 is cut to `size` - 1 characters and
/// terminated; the return is the number of characters copied without the
/// terminator (`size` - 1 when cut; 0 for `size` 0, which writes nothing).
/// A null `section` lists the file's section names, a null `key` the keys
/// of `section`: each name with its terminator, the list ended by one more
/// zero; the return counts the characters without that last zero. When the
/// list does not fit, it is cut, ended with two zeros, and `size` - 2 is
/// returned. The last error is ERROR_FILE_NOT_FOUND when the default was
/// used because the file, section or key is missing, else ERROR_SUCCESS.
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                               LPCSTR fileName);

/// The integer value of `key` in `section`: `defaultValue` when the key is
/// missing or its value empty; otherwise read from the value's leading
/// decimal digits (after blanks) with an optional '+' or '-' (none: 0; "12abc": 12; "0x10":
/// 0). Digits beyond 32 bits wrap around as unsigned arithmetic modulo 2^32,
/// as Windows' conversion does. The result is returned as UINT; a negative
/// value arrives as its two's complement.
UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName);
