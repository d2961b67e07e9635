// The calling thread's last-error code, as GetLastError/SetLastError keep it.
#pragma once

#include "platform/WinTypes.h"

/// The last-error code of the calling thread (ERROR_SUCCESS initially).
DWORD GetLastError();
/// Sets the calling thread's last-error code.
void SetLastError(DWORD code);
