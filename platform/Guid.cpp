// GUID text conversions in the registry form.
#include "platform/Guid.h"

#include <cstdio>
#include <cstring>

#include "platform/OleMemory.h"

namespace {

int hexValue(unsigned c) {
    if (c >= '0' && c <= '9')
        return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<int>(c - 'A' + 10);
    return -1;
}

// Parses exactly GUID_STRING_CHARS units of `at(i)` (i = 0..37); the
// accessor hides whether the text is narrow or UTF-16, and returns 0 past
// the end so that a short text fails at its terminator.
template <typename At>
bool parseGuid(At at, GUID* out) {
    static const int kGroups[5] = {8, 4, 4, 4, 12};
    uint8_t bytes[16];
    int nibbles = 0;
    int pos = 0;
    if (at(pos++) != '{')
        return false;
    for (int g = 0; g < 5; ++g) {
        if (g > 0 && at(pos++) != '-')
            return false;
        for (int k = 0; k < kGroups[g]; ++k) {
            int v = hexValue(at(pos++));
            if (v < 0)
                return false;
            if (nibbles % 2 == 0)
                bytes[nibbles / 2] = static_cast<uint8_t>(v << 4);
            else
                bytes[nibbles / 2] |= static_cast<uint8_t>(v);
            ++nibbles;
        }
    }
    if (at(pos++) != '}' || at(pos) != 0)
        return false;
    out->Data1 = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
                 bytes[3];
    out->Data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
    out->Data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
    std::memcpy(out->Data4, bytes + 8, 8);
    return true;
}

} // namespace

namespace korvane::platform {

bool GuidFromText(const char* text, GUID* guid) {
    if (!text || !guid)
        return false;
    size_t n = std::strlen(text);
    return parseGuid([&](int i) { return static_cast<size_t>(i) < n ? static_cast<unsigned char>(text[i]) : 0u; },
                     guid);
}

std::string GuidToText(REFGUID g) {
    char buf[GUID_STRING_CHARS + 1];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), static_cast<unsigned>(g.Data2),
                  static_cast<unsigned>(g.Data3), g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                  g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

} // namespace korvane::platform

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int cchMax) {
    if (!buffer || cchMax < GUID_STRING_CHARS + 1)
        return 0;
    std::string text = korvane::platform::GuidToText(guid);
    for (int i = 0; i < GUID_STRING_CHARS; ++i)
        buffer[i] = static_cast<OLECHAR>(text[static_cast<size_t>(i)]);
    buffer[GUID_STRING_CHARS] = 0;
    return GUID_STRING_CHARS + 1;
}

HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text) {
    if (!text)
        return E_INVALIDARG;
    *text = static_cast<LPOLESTR>(CoTaskMemAlloc((GUID_STRING_CHARS + 1) * sizeof(OLECHAR)));
    if (!*text)
        return E_OUTOFMEMORY;
    StringFromGUID2(clsid, *text, GUID_STRING_CHARS + 1);
    return S_OK;
}

HRESULT IIDFromString(LPCOLESTR text, LPIID iid) {
    if (!iid)
        return E_INVALIDARG;
    *iid = GUID_NULL;
    if (!text)
        return E_INVALIDARG;
    // Measure at most one unit past the longest valid text, so that a short
    // text is never read beyond its terminator.
    int n = 0;
    while (n <= GUID_STRING_CHARS && text[n] != 0)
        ++n;
    GUID parsed;
    auto at = [&](int i) -> unsigned { return i < n ? static_cast<unsigned>(text[i]) : 0u; };
    if (!parseGuid(at, &parsed))
        return E_INVALIDARG;
    *iid = parsed;
    return S_OK;
}
