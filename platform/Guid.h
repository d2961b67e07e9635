// GUIDs (class, interface and library identifiers) with Windows' layout,
// the well-known interface identifiers, comparison and the registry text
// form "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}".
#pragma once

#include <string>

#include "platform/OleAuto.h"

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
using CLSID = GUID;
using IID = GUID;
using LPGUID = GUID*;
using LPCLSID = CLSID*;
using LPIID = IID*;
using REFGUID = const GUID&;
using REFCLSID = const CLSID&;
using REFIID = const IID&;

constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}
constexpr bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
constexpr BOOL IsEqualGUID(REFGUID a, REFGUID b) { return a == b ? TRUE : FALSE; }
constexpr BOOL IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
constexpr BOOL IsEqualCLSID(REFCLSID a, REFCLSID b) { return IsEqualGUID(a, b); }

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr IID IID_NULL = GUID_NULL;
inline constexpr CLSID CLSID_NULL = GUID_NULL;
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
/// The proxy/stub class registered for dual and dispatch interfaces.
inline constexpr CLSID CLSID_PSDispatch = {0x00020420, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr CLSID CLSID_PSOAInterface = {0x00020424, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

/// Characters of the registry form, braces included, without the terminator.
constexpr int GUID_STRING_CHARS = 38;

/// Writes the registry form of `guid` (upper-case hex, braces) and a
/// terminating zero into `buffer` of `cchMax` characters. Returns the
/// characters written including the zero (39), or 0 when the buffer is null
/// or too small (nothing is written then).
int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int cchMax);
/// The registry form in a new task-allocator string (*text; free it with
/// CoTaskMemFree). E_INVALIDARG for a null `text`, E_OUTOFMEMORY.
HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text);
/// Reads the registry form (hex digits in either case, braces required).
/// S_OK; E_INVALIDARG for null arguments or a malformed text (*iid is then
/// GUID_NULL).
HRESULT IIDFromString(LPCOLESTR text, LPIID iid);

namespace korvane::platform {

/// Parses the registry form of a GUID from narrow text; false when malformed.
bool GuidFromText(const char* text, GUID* guid);
/// The registry form as narrow text ("{...}", upper-case hex).
std::string GuidToText(REFGUID guid);

} // namespace korvane::platform
