// The process's debug channel: OutputDebugStringA and where its records go.
//
// Each call hands its text to the channel as one record. By default the
// channel discards it, as Windows does when no debugger listens. The
// environment variable KORVANE_DEBUG_OUTPUT, read at every call, sends it
// elsewhere: "stderr" (or "2") to standard error, "stdout" (or "1") to
// standard output, any other non-empty value is a file path that records are
// appended to (created with mode 0600), each record with one write() call so
// that records of concurrent writers never interleave. Tests install a hook
// that sees every record as well.
#pragma once

#include "platform/WinTypes.h"

/// Hands `text` (zero-terminated, taken as it is: no line end is added) to
/// the debug channel as one record. A null text is ignored. Thread safe;
/// records of concurrent calls are delivered one after the other.
void OutputDebugStringA(LPCSTR text);

/// A receiver of debug records: called with the caller's `context` and the
/// text of each record, one call at a time (calls are serialised). It may
/// call OutputDebugStringA itself; that record reaches it as well.
using DebugOutputHook = void (*)(void* context, const char* text);

/// Installs `hook` (null removes it) beside the configured destination and
/// returns the previous hook; `previousContext` (optional) receives its
/// context. The hook is process-wide.
DebugOutputHook SetDebugOutputHook(DebugOutputHook hook, void* context,
                                   void** previousContext = nullptr);
