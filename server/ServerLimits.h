// Named limits of the catalogue server: the sizes of its text buffers and the
// bounds that guard what it reads from outside (var file lines, environment
// values, identifiers).
#pragma once

#include <cstddef>
#include <cstdint>

namespace varsvc {

/// Bytes of each of the trace buffers (formatted text, location suffix) and
/// of the log-pipe line, terminator included. Longer texts are cut.
constexpr size_t kTraceBufferSize = 1024;
/// Bytes of the buffer that receives the log pipe's name (VQ_LOGNAME).
constexpr size_t kPipeNameSize = 260;
/// Tries of opening the log pipe per Init, and the wait after a failed one.
constexpr int kPipeOpenTries = 2;
constexpr uint32_t kPipeRetryWaitMs = 100;

/// Bytes of the var-file line buffer: a line holds at most 511 characters
/// including its line end; the rest of a longer line is read as the next line.
constexpr int kVarLineBufferSize = 512;
/// Read attempts of bRead and the wait before every attempt but the first.
constexpr int kReadAttempts = 5;
/// Milliseconds between two read attempts.
constexpr uint32_t kReadRetryWaitMs = 1000;
/// Fields of a variable line.
constexpr int kVarLineFields = 13;

/// Bytes of the buffer that receives the environment variable TEMP.
constexpr size_t kTempBufferSize = 100;
/// Characters of the settings value GlobalDfbPath (a buffer of 260 bytes).
constexpr size_t kGlobalDfbPathSize = 260;
/// Bytes per chunk when a data-type file is copied into the temporary file.
constexpr size_t kTypeCopyChunk = 65536;

} // namespace varsvc

namespace varsvc {
/// Entries that one expansion of an array ("buf+") may produce. A data type
/// holds at most 65535 bytes, so only an array of empty elements could ask
/// for more; such an expansion fails instead of exhausting memory.
constexpr int64_t kMaxExpandedElements = 65536;
} // namespace varsvc
