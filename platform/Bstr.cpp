// BSTR allocation: one task-allocator block holding a 4-byte pad, the
// 32-bit byte count and the characters with their terminating zero; the
// pad keeps the characters 8-byte aligned.
#include "platform/Bstr.h"

#include <cstring>

#include "platform/OleMemory.h"

namespace {

constexpr size_t kHeader = 8;  // pad + byte count; the BSTR points past it

uint32_t prefixOf(BSTR bstr) {
    uint32_t count;
    std::memcpy(&count, reinterpret_cast<char*>(bstr) - sizeof count, sizeof count);
    return count;
}

void* blockOf(BSTR bstr) { return reinterpret_cast<char*>(bstr) - kHeader; }

// A BSTR of `byteLength` bytes copied from `src` (zeros when null).
BSTR allocBytes(const void* src, UINT byteLength) {
    if (byteLength > BSTR_MAX_CHARS * 2u)
        return nullptr;
    // Two zero bytes end the text; an odd byte count gets a third so that
    // the terminator is a whole, zero code unit.
    size_t total = kHeader + byteLength + 3;
    char* block = static_cast<char*>(CoTaskMemAlloc(total));
    if (!block)
        return nullptr;
    std::memset(block, 0, kHeader);
    uint32_t count = byteLength;
    std::memcpy(block + kHeader - sizeof(uint32_t), &count, sizeof count);
    char* text = block + kHeader;
    if (src)
        std::memcpy(text, src, byteLength);
    else
        std::memset(text, 0, byteLength);
    std::memset(text + byteLength, 0, 3);
    return reinterpret_cast<BSTR>(text);
}

UINT lengthOf(LPCOLESTR text) {
    UINT n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

} // namespace

BSTR SysAllocString(LPCOLESTR text) {
    if (!text)
        return nullptr;
    return SysAllocStringLen(text, lengthOf(text));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (length > BSTR_MAX_CHARS)
        return nullptr;
    return allocBytes(text, length * 2u);
}

BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length) { return allocBytes(bytes, length); }

INT SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length) {
    if (!bstr)
        return FALSE;
    // Allocate first: `text` may point into the old string.
    BSTR fresh = SysAllocStringLen(text, length);
    if (!fresh)
        return FALSE;
    SysFreeString(*bstr);
    *bstr = fresh;
    return TRUE;
}

INT SysReAllocString(BSTR* bstr, LPCOLESTR text) {
    if (!bstr)
        return FALSE;
    if (!text) {
        // Windows gives an empty string here, not null.
        return SysReAllocStringLen(bstr, nullptr, 0);
    }
    return SysReAllocStringLen(bstr, text, lengthOf(text));
}

void SysFreeString(BSTR bstr) {
    if (bstr)
        CoTaskMemFree(blockOf(bstr));
}

UINT SysStringLen(BSTR bstr) { return bstr ? prefixOf(bstr) / 2u : 0u; }

UINT SysStringByteLen(BSTR bstr) { return bstr ? prefixOf(bstr) : 0u; }
