// The process environment and module names under their Windows names:
// environment variables, the path of the program or a library, and the
// temporary directory.
#pragma once

#include "platform/WinTypes.h"

/// Copies the value of the environment variable `name` into `buffer`
/// (`size` bytes). Returns, as Windows does: the value's length (without the
/// terminator) when it fit; the size needed including the terminator when
/// `size` is too small (the buffer is then left as it was); 0 with
/// ERROR_ENVVAR_NOT_FOUND when the variable is not set (also for a null or
/// empty name, or one containing '='). An empty value returns 0 with
/// ERROR_SUCCESS and an empty string when `size` is at least 1.
DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);

/// Sets the variable `name` to `value`, or removes it when `value` is null.
/// FALSE with ERROR_INVALID_PARAMETER for a null or empty name or one
/// containing '='; removing a variable that is not set gives FALSE with
/// ERROR_ENVVAR_NOT_FOUND, as on Windows.
BOOL SetEnvironmentVariableA(LPCSTR name, LPCSTR value);

/// The real (absolute, links resolved) path of a module: the running program
/// for a null `module`, else the program or shared library whose mapped image
/// contains the address `module` (its base address or the address of any of
/// its functions or data; handles from dlopen() are not addresses and are
/// refused). Copies it into `buffer` and returns its length without the
/// terminator. When `size` is too small, the path is cut to `size` - 1
/// characters and terminated, `size` is returned and the last error is
/// ERROR_INSUFFICIENT_BUFFER (Windows' rule; `size` 0 writes nothing). An
/// address outside every module gives 0 with ERROR_MOD_NOT_FOUND.
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);

/// The directory for temporary files with a trailing '/': $TMPDIR when set
/// and not empty, else "/tmp". Returns its length without the terminator, or
/// the size needed including the terminator when `size` is too small (the
/// buffer is then left as it was).
DWORD GetTempPathA(DWORD size, LPSTR buffer);
