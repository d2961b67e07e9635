// Character helpers: thin, byte-safe wrappers around the platform's ANSI
// text services, and the case-blind string comparisons built on them.
#include "base/TiCharUtil.h"

#include "platform/Text.h"

#include <cstdint>

namespace {

// The single-character form of CharUpperA/CharLowerA takes the character in
// the low bits of the "string" pointer. The value travels through uintptr_t,
// which defines the conversion in both directions.
short MapOneChar(LPSTR (*map)(LPSTR), short c) {
    uintptr_t ch = static_cast<uintptr_t>(c) & 0xFFu;
    if (ch == 0) {
        // The zero character has no case, and a zero "pointer" would read as
        // a null string rather than as a character.
        return 0;
    }
    uintptr_t r = reinterpret_cast<uintptr_t>(map(reinterpret_cast<LPSTR>(ch)));
    return static_cast<short>(r & 0xFFu);
}

// The case mapping of one byte never changes, and the hash tables fold every
// character of every name they hash or compare: the 256 results are taken
// from the platform once and then read from a table.
struct CaseTables {
    unsigned char upper[256];
    unsigned char lower[256];
    CaseTables() {
        for (int c = 0; c < 256; ++c) {
            upper[c] = static_cast<unsigned char>(MapOneChar(CharUpperA, static_cast<short>(c)));
            lower[c] = static_cast<unsigned char>(MapOneChar(CharLowerA, static_cast<short>(c)));
        }
    }
};

const CaseTables& Tables() {
    static const CaseTables tables;
    return tables;
}

} // namespace

short TiToUpper(short c) {
    return Tables().upper[static_cast<unsigned>(c) & 0xFFu];
}

short TiToLower(short c) {
    return Tables().lower[static_cast<unsigned>(c) & 0xFFu];
}

short TiIsAlpha(short c) {
    return IsCharAlphaA(static_cast<CHAR>(static_cast<unsigned char>(c & 0xFF))) ? 1 : 0;
}

namespace {

// Shared walk of TiStricmp and TiStrnicmp; `limit` < 0 means no limit.
short CompareNoCase(const char* a, const char* b, long limit) {
    if (a == nullptr || b == nullptr) {
        return static_cast<short>(a == b ? 0 : (a == nullptr ? -1 : 1));
    }
    long i = 0;
    for (; a[i] != 0; ++i) {
        if (limit >= 0 && i >= limit) {
            return 0;
        }
        if (a[i] == b[i]) {
            continue;
        }
        // Fold only where the bytes differ. b cannot run past its end here:
        // its terminator differs from a's non-zero byte, and no letter
        // upper-cases to zero.
        if (TiToUpper(static_cast<unsigned char>(a[i])) !=
            TiToUpper(static_cast<unsigned char>(b[i]))) {
            break;
        }
    }
    if (limit >= 0 && i >= limit) {
        return 0;
    }
    // The sign comes from the unfolded bytes taken as signed characters.
    return static_cast<short>(static_cast<signed char>(a[i]) - static_cast<signed char>(b[i]));
}

} // namespace

short TiStricmp(char* a, char* b) {
    return CompareNoCase(a, b, -1);
}

short TiStrnicmp(char* a, char* b, unsigned short n) {
    return CompareNoCase(a, b, static_cast<long>(n));
}

void TiAnsiToOem(const char* src, char* dst) {
    if (src == nullptr || dst == nullptr) {
        return;
    }
    CharToOemA(src, dst);
}

void TiOemToAnsi(const char* src, char* dst) {
    if (src == nullptr || dst == nullptr) {
        return;
    }
    OemToCharA(src, dst);
}
