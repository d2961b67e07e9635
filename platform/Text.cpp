// Text services of the platform layer: Windows-1252 case mapping and letter
// tests, ANSI/OEM conversion and ANSI/OEM to UTF-16 conversion, built on the
// code page tables.
#include "platform/Text.h"

#include "platform/CodePages.h"
#include "platform/LastError.h"

#include <climits>
#include <cstdint>
#include <cstring>

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

LPSTR CharUpperA(LPSTR text) {
    return MapString(text, codepages::Cp1252Upper);
}

LPSTR CharLowerA(LPSTR text) {
    return MapString(text, codepages::Cp1252Lower);
}

DWORD CharUpperBuffA(LPSTR text, DWORD length) {
    return MapBuffer(text, length, codepages::Cp1252Upper);
}

DWORD CharLowerBuffA(LPSTR text, DWORD length) {
    return MapBuffer(text, length, codepages::Cp1252Lower);
}

BOOL IsCharAlphaA(CHAR ch) {
    return codepages::Cp1252IsAlpha(static_cast<unsigned char>(ch)) ? TRUE : FALSE;
}

namespace {

// Converts `length` bytes from one code page to the other, choosing the
// look-alike where the target lacks a character. The bytes are independent of
// each other, so the copy runs backwards when the destination starts inside
// the source, and in-place conversion needs no extra storage.
void ConvertNarrow(NarrowCodePage from, NarrowCodePage to, LPCSTR src, LPSTR dst, size_t length) {
    auto convert = [&](size_t i) {
        char16_t unit = codepages::ToUnicode(from, static_cast<unsigned char>(src[i]));
        int byte = codepages::FromUnicodeBestFit(to, unit);
        dst[i] = static_cast<char>(byte >= 0 ? byte : '?');
    };
    auto srcAddr = reinterpret_cast<uintptr_t>(src);
    auto dstAddr = reinterpret_cast<uintptr_t>(dst);
    if (dstAddr > srcAddr && dstAddr - srcAddr < length) {
        for (size_t i = length; i-- > 0;) {
            convert(i);
        }
    } else {
        for (size_t i = 0; i < length; ++i) {
            convert(i);
        }
    }
}

BOOL ConvertNarrowString(NarrowCodePage from, NarrowCodePage to, LPCSTR src, LPSTR dst) {
    if (src == nullptr || dst == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The terminator converts to itself and is copied with the rest.
    ConvertNarrow(from, to, src, dst, std::strlen(src) + 1);
    return TRUE;
}

// The narrow code page behind a code page number, or false if it is none of
// the two the system knows.
bool ResolveCodePage(UINT codePage, NarrowCodePage* cp) {
    switch (codePage) {
    case CP_ACP:
    case CP_1252:
        *cp = NarrowCodePage::Ansi1252;
        return true;
    case CP_OEMCP:
    case CP_850:
        *cp = NarrowCodePage::Oem850;
        return true;
    default:
        return false;
    }
}

// Checks what both conversion directions share and resolves the code page;
// sets the last error and returns false on failure.
bool CheckConversion(UINT codePage, DWORD flags, DWORD allowedFlags, const void* src, int srcLen,
                     const void* dst, int dstLen, NarrowCodePage* cp) {
    if (!ResolveCodePage(codePage, cp) || src == nullptr || srcLen == 0 || srcLen < -1 ||
        dstLen < 0 || (dst == nullptr && dstLen != 0) || src == dst) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if ((flags & ~allowedFlags) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return false;
    }
    return true;
}

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

BOOL CharToOemA(LPCSTR src, LPSTR dst) {
    return ConvertNarrowString(NarrowCodePage::Ansi1252, NarrowCodePage::Oem850, src, dst);
}

BOOL OemToCharA(LPCSTR src, LPSTR dst) {
    return ConvertNarrowString(NarrowCodePage::Oem850, NarrowCodePage::Ansi1252, src, dst);
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen, LPWSTR dst,
                        int dstLen) {
    NarrowCodePage cp;
    if (!CheckConversion(codePage, flags, MB_PRECOMPOSED | MB_ERR_INVALID_CHARS, src, srcLen, dst,
                         dstLen, &cp)) {
        return 0;
    }
    size_t length = srcLen == -1 ? std::strlen(src) + 1 : static_cast<size_t>(srcLen);
    if (length > static_cast<size_t>(INT_MAX)) {
        // The count would not fit the result.
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // One unit per byte: the size is known without converting.
    int needed = static_cast<int>(length);
    if (dstLen == 0) {
        return needed;
    }
    int written = needed < dstLen ? needed : dstLen;
    for (int i = 0; i < written; ++i) {
        dst[i] = codepages::ToUnicode(cp, static_cast<unsigned char>(src[i]));
    }
    if (written < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return written;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen, LPSTR dst, int dstLen,
                        LPCSTR defaultChar, BOOL* usedDefault) {
    NarrowCodePage cp;
    if (!CheckConversion(codePage, flags, WC_NO_BEST_FIT_CHARS, src, srcLen, dst, dstLen, &cp)) {
        return 0;
    }
    size_t length = static_cast<size_t>(srcLen);
    if (srcLen == -1) {
        length = 0;
        while (src[length] != 0) {
            ++length;
        }
        ++length; // the terminator
        if (length > static_cast<size_t>(INT_MAX)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
    }
    const char fallback = defaultChar != nullptr ? *defaultChar : '?';
    bool defaulted = false;
    int count = 0;
    for (size_t i = 0; i < length; ++i) {
        int byte = codepages::FromUnicode(cp, src[i]);
        if (byte < 0) {
            defaulted = true;
            byte = static_cast<unsigned char>(fallback);
            // A surrogate pair is one character: one default byte for both.
            if (IsHighSurrogate(src[i]) && i + 1 < length && IsLowSurrogate(src[i + 1])) {
                ++i;
            }
        }
        if (dstLen != 0) {
            if (count == dstLen) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                if (usedDefault != nullptr) {
                    *usedDefault = defaulted ? TRUE : FALSE;
                }
                return 0;
            }
            dst[count] = static_cast<char>(byte);
        }
        ++count;
    }
    if (usedDefault != nullptr) {
        *usedDefault = defaulted ? TRUE : FALSE;
    }
    return count;
}
