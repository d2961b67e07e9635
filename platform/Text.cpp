// Text services of the platform layer: Windows-1252 case mapping and letter
// tests, ANSI/OEM conversion and ANSI/OEM to UTF-16 conversion, built on the
// code page tables.
#include "platform/Text.h"

#include "platform/CodePages.h"

#include <cstdint>

using codepages::NarrowCodePage;

namespace {

// Windows passes a single character instead of a string when the "pointer"
// has a zero high word; no string lives in the first 64 KiB of the address
// space, so the two forms cannot be confused.
constexpr uintptr_t kSingleCharLimit = 0xFFFF;

using ByteMap = unsigned char (*)(unsigned char);

LPSTR MapString(LPSTR text, ByteMap map) {
    auto value = reinterpret_cast<uintptr_t>(text);
    if (value <= kSingleCharLimit) {
        // The character is the low byte; the result carries only the
        // converted byte, the rest of the value is zero (as on Windows).
        return reinterpret_cast<LPSTR>(static_cast<uintptr_t>(map(value & 0xFF)));
    }
    for (char* p = text; *p != '\0'; ++p) {
        *p = static_cast<char>(map(static_cast<unsigned char>(*p)));
    }
    return text;
}

DWORD MapBuffer(LPSTR text, DWORD length, ByteMap map) {
    if (text == nullptr) {
        return 0;
    }
    // Zero bytes inside the buffer are converted like any other byte (they
    // stay zero): the length, not a terminator, bounds the work.
    for (DWORD i = 0; i < length; ++i) {
        text[i] = static_cast<char>(map(static_cast<unsigned char>(text[i])));
    }
    return length;
}

} // namespace

LPSTR CharUpperA(LPSTR text) { return MapString(text, codepages::Cp1252Upper); }

LPSTR CharLowerA(LPSTR text) { return MapString(text, codepages::Cp1252Lower); }

DWORD CharUpperBuffA(LPSTR text, DWORD length) {
    return MapBuffer(text, length, codepages::Cp1252Upper);
}

DWORD CharLowerBuffA(LPSTR text, DWORD length) {
    return MapBuffer(text, length, codepages::Cp1252Lower);
}

BOOL IsCharAlphaA(CHAR ch) {
    return codepages::Cp1252IsAlpha(static_cast<unsigned char>(ch)) ? TRUE : FALSE;
}
