// TiEchoSink: the copy of the source text that the scanner consumed, kept
// for the host when the option EchoSource is set.
#pragma once

#include <cstddef>

/// A growing text of consumed characters. Appending never fails visibly:
/// when memory runs out the sink keeps what it has and marks itself
/// incomplete.
class TiEchoSink {
public:
    TiEchoSink() = default;
    ~TiEchoSink() { delete[] buf; }
    TiEchoSink(const TiEchoSink&) = delete;
    TiEchoSink& operator=(const TiEchoSink&) = delete;

    /// Appends `n` bytes of `s` (zero bytes included).
    void Append(const char* s, size_t n);
    /// The text so far, zero-terminated (empty text when nothing was added).
    const char* Text() const { return buf != nullptr ? buf : ""; }
    /// Number of bytes appended.
    size_t Length() const { return len; }
    /// True when an append could not be stored completely.
    bool Incomplete() const { return incomplete; }

private:
    char* buf = nullptr;
    size_t len = 0;
    size_t cap = 0;
    bool incomplete = false;
};
