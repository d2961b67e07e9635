// The waits of the catalogue server (between var-file read attempts, between
// log-pipe open tries), routed through one function so that tests can see
// them and act in them without waiting.
#pragma once

#include "platform/WinTypes.h"

/// Receives every server wait instead of Sleep: the context given at
/// installation and the milliseconds asked for.
using ServerSleepHook = void (*)(void* context, DWORD milliseconds);

/// Waits `milliseconds` with the platform's Sleep, or hands the wait to the
/// installed hook (which then decides how long, if at all, to wait).
void ServerSleep(DWORD milliseconds);

/// Installs `hook` (null restores Sleep) with its context and returns the
/// previous hook; `previousContext` (optional) receives its context.
/// Process-wide; install it before the threads that wait are started.
ServerSleepHook SetServerSleepHook(ServerSleepHook hook, void* context,
                                   void** previousContext = nullptr);
