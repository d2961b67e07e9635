// JSON text of automation values.
#include "tools/varsvc-call/CallJson.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/Bstr.h"
#include "platform/SafeArray.h"

namespace varsvccall {

namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendEscape(std::string& out, unsigned unit) {
    char buffer[8];
    snprintf(buffer, sizeof buffer, "\\u%04x", unit);
    out += buffer;
}

// One element of an array as a VARIANT holding it (by reference).
std::string ElementJson(VARTYPE vt, void* element) {
    VARIANT v;
    VariantInit(&v);
    if (vt == VT_VARIANT)
        return JsonVariant(*static_cast<VARIANT*>(element));
    v.vt = static_cast<VARTYPE>(VT_BYREF | vt);
    v.byref = element;
    return JsonVariant(v);
}

std::string ArrayJson(VARTYPE vt, SAFEARRAY* array) {
    if (array == nullptr)
        return "null";
    // Every element, in memory order (the first dimension fastest).
    size_t count = 1;
    for (UINT d = 1; d <= SafeArrayGetDim(array); ++d) {
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(array, d, &lower);
        SafeArrayGetUBound(array, d, &upper);
        count *= upper >= lower ? static_cast<size_t>(static_cast<int64_t>(upper) - lower + 1) : 0;
    }
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data)))
        return "null";
    std::string out = "[";
    const size_t size = SafeArrayGetElemsize(array);
    for (size_t i = 0; i < count; ++i) {
        if (i != 0)
            out += ", ";
        out += ElementJson(vt, static_cast<char*>(data) + i * size);
    }
    SafeArrayUnaccessData(array);
    return out + "]";
}

} // namespace

std::string JsonString(const char16_t* text, size_t length) {
    std::string out = "\"";
    for (size_t i = 0; i < length; ++i) {
        const char16_t u = text[i];
        if (u == u'"') {
            out += "\\\"";
        } else if (u == u'\\') {
            out += "\\\\";
        } else if (u < 0x20) {
            AppendEscape(out, u);
        } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
                   text[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((static_cast<uint32_t>(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendEscape(out, u); // a lone surrogate has no UTF-8 form
        } else {
            AppendUtf8(out, u);
        }
    }
    return out + "\"";
}

std::string JsonBstr(BSTR text) {
    if (text == nullptr)
        return "null";
    return JsonString(text, SysStringLen(text));
}

std::string JsonDouble(double value) {
    if (!std::isfinite(value))
        return "null";
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string JsonVariant(const VARIANT& value) {
    const VARTYPE vt = value.vt;
    if (vt & VT_ARRAY)
        return ArrayJson(static_cast<VARTYPE>(vt & VT_TYPEMASK),
                         (vt & VT_BYREF) ? (value.pparray ? *value.pparray : nullptr) : value.parray);
    if (vt & VT_BYREF) {
        if (value.byref == nullptr)
            return "null";
        const VARTYPE base = static_cast<VARTYPE>(vt & VT_TYPEMASK);
        if (base == VT_VARIANT)
            return JsonVariant(*value.pvarVal);
        VARIANT copy;
        VariantInit(&copy);
        copy.vt = base;
        switch (base) {
        case VT_I1: copy.cVal = *value.pcVal; break;
        case VT_UI1: copy.bVal = *value.pbVal; break;
        case VT_I2: copy.iVal = *value.piVal; break;
        case VT_UI2: copy.uiVal = *value.puiVal; break;
        case VT_BOOL: copy.boolVal = *value.pboolVal; break;
        case VT_I4: copy.lVal = *value.plVal; break;
        case VT_UI4: copy.ulVal = *value.pulVal; break;
        case VT_INT: copy.intVal = *value.pintVal; break;
        case VT_UINT: copy.uintVal = *value.puintVal; break;
        case VT_ERROR: copy.scode = *value.pscode; break;
        case VT_I8: copy.llVal = *value.pllVal; break;
        case VT_UI8: copy.ullVal = *value.pullVal; break;
        case VT_R4: copy.fltVal = *value.pfltVal; break;
        case VT_R8: copy.dblVal = *value.pdblVal; break;
        case VT_DATE: copy.date = *value.pdate; break;
        case VT_BSTR: return JsonBstr(*value.pbstrVal);
        default: return "\"<type " + std::to_string(vt) + ">\"";
        }
        return JsonVariant(copy);
    }
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL: return "null";
    case VT_I1: return std::to_string(value.cVal);
    case VT_UI1: return std::to_string(value.bVal);
    case VT_I2: return std::to_string(value.iVal);
    case VT_UI2: return std::to_string(value.uiVal);
    case VT_I4: return std::to_string(value.lVal);
    case VT_UI4: return std::to_string(value.ulVal);
    case VT_INT: return std::to_string(value.intVal);
    case VT_UINT: return std::to_string(value.uintVal);
    case VT_ERROR: return std::to_string(value.scode);
    case VT_I8: return std::to_string(value.llVal);
    case VT_UI8: return std::to_string(value.ullVal);
    case VT_R4: return JsonDouble(value.fltVal);
    case VT_R8: return JsonDouble(value.dblVal);
    case VT_DATE: return JsonDouble(value.date);
    case VT_BOOL: return value.boolVal ? "true" : "false";
    case VT_BSTR: return JsonBstr(value.bstrVal);
    default: return "\"<type " + std::to_string(vt) + ">\"";
    }
}

std::string HexStatus(HRESULT hr) {
    char buffer[16];
    snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(hr));
    return buffer;
}

} // namespace varsvccall
