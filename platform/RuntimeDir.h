// The per-user runtime directory: the place for the user's pipes, named
// mutexes and COM endpoints, private to the user.
#pragma once

#include <string>

#include "platform/WinTypes.h"

/// The user's runtime directory, without a trailing '/': $XDG_RUNTIME_DIR
/// when it is set, absolute, an existing directory owned by the user and not
/// accessible to others; otherwise /tmp/korvane-<uid> (below $TMPDIR is not
/// used, as the name must be the same for every process of the user),
/// created with mode 0700 when missing. An existing directory there must be a
/// real directory (not a symbolic link), owned by the user, with mode 0700
/// (no group or other rights). Returns "" on failure and, when `error` is not
/// null, puts the Windows error code there (ERROR_ACCESS_DENIED for a
/// directory of another owner or with open rights, ERROR_PATH_NOT_FOUND when
/// it cannot be created); ERROR_SUCCESS on success. Thread safe.
std::string PlatformRuntimeDir(DWORD* error = nullptr);
