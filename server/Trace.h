// The server's developer trace: formatted text to the debugger output of the
// process (OutputDebugStringA), with an optional source-location suffix.
#pragma once

/// Writes one trace record to the debug channel. Level 0 writes nothing; any
/// other level writes `format` formatted with the arguments (printf rules),
/// followed by "\nLocation '<sourceFile>',Line <sourceLine> \r\n\n" when
/// `sourceFile` is a non-empty text and `sourceLine` is not 0, else by "\n",
/// as one record. Callers use level 1 for progress and level 3 for failures.
/// The formatted text and the suffix are each cut to 1023 characters; the
/// record is never longer than their sum. The buffers belong to the call, so
/// calls from several threads do not disturb each other.
void Trace(int level, const char* sourceFile, int sourceLine, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

/// The source file (its name without directories) and line of the call, for
/// the traces that carry a location: Trace(3, TRACE_HERE, "...").
#define TRACE_HERE __FILE_NAME__, __LINE__
