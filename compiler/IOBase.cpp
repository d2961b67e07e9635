// DosFile: lines with their line end written to a file or a stream.
#include "compiler/IOBase.h"

#include <cstring>

DosFile::~DosFile() {
    Close();
}

short DosFile::Open(const char* name) {
    if (name == nullptr || name[0] == '\0') {
        return 1;
    }
    Close();
    // Binary mode: the line end is written exactly as chosen.
    FILE* f = std::fopen(name, "wb");
    if (f == nullptr) {
        return 2;
    }
    file = f;
    owned = true;
    return 0;
}

short DosFile::Close() {
    if (file == nullptr) {
        return 0;
    }
    int rc = owned ? std::fclose(file) : std::fflush(file);
    file = nullptr;
    owned = false;
    return rc == 0 ? 0 : 2;
}

void DosFile::SetLineEnd(const char* end) {
    if (end == nullptr) {
        return;
    }
    size_t n = std::strlen(end);
    if (n >= sizeof lineEnd) {
        return;
    }
    std::memcpy(lineEnd, end, n + 1);
}

int DosFile::PutLine(const char* line) {
    if (file == nullptr) {
        return 0;
    }
    if (line == nullptr) {
        line = "";
    }
    if (std::fputs(line, file) < 0 || std::fputs(lineEnd, file) < 0) {
        return 0;
    }
    return 1;
}
