// IOBase, the line-output interface that the compiler's text generators
// write through, and DosFile, its implementation on a file or an open
// stream with DOS line ends.
//
// Decisions taken where the rules leave room:
// - The interface has two virtual operations: the destructor and PutLine,
//   the line writer (its second operation).
// - DosFile ends every line with "\r\n", the line end of the system's home
//   platform; SetLineEnd chooses another (the command-line tool writes "\n"
//   to its standard output).
#pragma once

#include <cstdio>

/// A sink of text lines.
class IOBase {
public:
    virtual ~IOBase() = default;
    /// Writes one line: `line` is the text without its line end (null counts
    /// as empty). Returns non-zero on success, 0 when the line could not be
    /// written.
    virtual int PutLine(const char* line) = 0;
};

/// Lines written to a file it opens, or to a stream it is given.
///
/// Ownership: a file opened with Open is closed by Close or the destructor;
/// a stream given to the constructor stays the caller's.
class DosFile : public IOBase {
public:
    /// A DosFile with no file: PutLine fails until Open succeeds.
    DosFile() = default;
    /// Writes to `stream` (may be null: PutLine fails), which is not closed.
    explicit DosFile(FILE* stream) : file(stream) {}
    /// Closes a file it opened.
    ~DosFile() override;
    DosFile(const DosFile&) = delete;
    DosFile& operator=(const DosFile&) = delete;

    /// Creates (or truncates) the file `name` for writing and makes it the
    /// output, closing a file opened before. 0; 1 for a null or empty name;
    /// 2 when the file cannot be opened (no output then).
    short Open(const char* name);
    /// Closes a file it opened (a given stream is only flushed and
    /// forgotten). 0; 2 when flushing or closing failed.
    short Close();
    /// True when there is an output.
    bool IsOpen() const { return file != nullptr; }

    /// The text written after every line (copied up to 3 characters; null
    /// or longer texts leave the current one).
    void SetLineEnd(const char* end);

    /// Writes the line and the line end. Non-zero on success; 0 without an
    /// output or when the write fails.
    int PutLine(const char* line) override;

private:
    FILE* file = nullptr;
    bool owned = false;
    char lineEnd[4] = {'\r', '\n', '\0', '\0'};
};
