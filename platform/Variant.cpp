// VARIANT life cycle and coercions.
#include "platform/Variant.h"

#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/Bstr.h"
#include "platform/ComBase.h"
#include "platform/OleDate.h"
#include "platform/SafeArray.h"

using korvane::platform::VariantTypeIsValid;

namespace korvane::platform {

bool VariantTypeIsValid(VARTYPE vt) {
    if (vt & (VT_VECTOR | VT_RESERVED))
        return false;
    const VARTYPE base = vt & VT_TYPEMASK;
    const bool decorated = (vt & (VT_ARRAY | VT_BYREF)) != 0;
    switch (base) {
    case VT_EMPTY:
    case VT_NULL:
        return !decorated;
    case VT_VARIANT:
        // A VARIANT holds another only through a reference or an array.
        return decorated;
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UNKNOWN:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
        return true;
    default:
        return false;
    }
}

} // namespace korvane::platform

namespace {

// Size of a scalar or pointer value of a base type; 0 for types without one.
size_t valueSize(VARTYPE base) {
    switch (base) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
        return 8;
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return sizeof(void*);
    default:
        return 0;
    }
}

BSTR copyBstr(BSTR b, bool* ok) {
    *ok = true;
    if (!b)
        return nullptr;
    BSTR c = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(b), SysStringByteLen(b));
    *ok = c != nullptr;
    return c;
}

// Makes `dest` (fresh) an owning copy of the by-value `src`.
HRESULT deepCopyValue(VARIANT* dest, const VARIANT* src) {
    *dest = *src;
    if (src->vt & VT_ARRAY) {
        dest->parray = nullptr;
        HRESULT hr = SafeArrayCopy(src->parray, &dest->parray);
        if (FAILED(hr)) {
            dest->vt = VT_EMPTY;
            return hr;
        }
        return S_OK;
    }
    switch (src->vt) {
    case VT_BSTR: {
        bool ok;
        dest->bstrVal = copyBstr(src->bstrVal, &ok);
        if (!ok) {
            dest->vt = VT_EMPTY;
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH:
        if (src->punkVal)
            src->punkVal->AddRef();
        return S_OK;
    default:
        return S_OK;
    }
}

// A non-owning by-value view of a by-reference variant's target (one level).
HRESULT dereference(const VARIANT* src, VARIANT* view) {
    VariantInit(view);
    if (!(src->vt & VT_BYREF)) {
        *view = *src;
        return S_OK;
    }
    if (!src->byref)
        return E_INVALIDARG;
    const VARTYPE target = src->vt & static_cast<VARTYPE>(~VT_BYREF);
    if (target == VT_VARIANT) {
        const VARIANT* inner = src->pvarVal;
        if (inner->vt & VT_BYREF)
            return E_INVALIDARG;
        if (!VariantTypeIsValid(inner->vt))
            return DISP_E_BADVARTYPE;
        *view = *inner;
        return S_OK;
    }
    view->vt = target;
    view->llVal = 0;
    if (target & VT_ARRAY)
        view->parray = *src->pparray;
    else
        std::memcpy(&view->llVal, src->byref, valueSize(target));
    return S_OK;
}

// ---- numbers -------------------------------------------------------------

// A numeric value on its way between two types.
struct Number {
    enum Kind { Int, UInt, Real, Currency } kind = Int;
    int64_t i = 0;     // Int, Currency (scaled by 10 000)
    uint64_t u = 0;    // UInt
    double d = 0;      // Real
    bool fromBool = false;
};

// Rounds half to even, the rule of automation coercions.
double roundEven(double d) { return std::nearbyint(d); }

// Integer division of a currency value by 10 000, rounding half to even.
int64_t currencyToInteger(int64_t c) {
    int64_t q = c / 10000, r = c % 10000;
    int64_t ar = r < 0 ? -r : r;
    if (ar > 5000 || (ar == 5000 && (q % 2) != 0))
        q += c < 0 ? -1 : 1;
    return q;
}

// The value as a double (used for real targets and range checks).
double asReal(const Number& n) {
    switch (n.kind) {
    case Number::Int:
        return static_cast<double>(n.i);
    case Number::UInt:
        return static_cast<double>(n.u);
    case Number::Currency:
        return static_cast<double>(n.i) / 10000.0;
    default:
        return n.d;
    }
}

bool isZero(const Number& n) {
    switch (n.kind) {
    case Number::Int:
    case Number::Currency:
        return n.i == 0;
    case Number::UInt:
        return n.u == 0;
    default:
        return n.d == 0.0;
    }
}

// Reduces `n` to an integer in [lo, hi] (as 128-bit-safe pieces): `neg`
// tells the sign, `mag` the magnitude. False on overflow.
bool integerOf(const Number& n, bool* neg, uint64_t* mag) {
    switch (n.kind) {
    case Number::Int:
        *neg = n.i < 0;
        *mag = n.i < 0 ? 0 - static_cast<uint64_t>(n.i) : static_cast<uint64_t>(n.i);
        return true;
    case Number::UInt:
        *neg = false;
        *mag = n.u;
        return true;
    case Number::Currency: {
        int64_t q = currencyToInteger(n.i);
        *neg = q < 0;
        *mag = q < 0 ? 0 - static_cast<uint64_t>(q) : static_cast<uint64_t>(q);
        return true;
    }
    default: {
        if (std::isnan(n.d))
            return false;
        double r = roundEven(n.d);
        if (r <= -18446744073709551616.0 || r >= 18446744073709551616.0)
            return false;
        *neg = r < 0;
        *mag = static_cast<uint64_t>(r < 0 ? -r : r);
        return true;
    }
    }
}

struct IntRange {
    bool isSigned;
    int64_t lo;
    uint64_t hi;
};

IntRange rangeOf(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
        return {true, INT8_MIN, INT8_MAX};
    case VT_UI1:
        return {false, 0, UINT8_MAX};
    case VT_I2:
        return {true, INT16_MIN, INT16_MAX};
    case VT_UI2:
        return {false, 0, UINT16_MAX};
    case VT_I4:
    case VT_INT:
        return {true, INT32_MIN, INT32_MAX};
    case VT_UI4:
    case VT_UINT:
        return {false, 0, UINT32_MAX};
    case VT_I8:
        return {true, INT64_MIN, INT64_MAX};
    default:
        return {false, 0, UINT64_MAX};
    }
}

void storeInteger(VARIANT* out, VARTYPE vt, uint64_t bits) {
    out->vt = vt;
    out->llVal = 0;
    switch (vt) {
    case VT_I1:
        out->cVal = static_cast<CHAR>(static_cast<int8_t>(bits));
        break;
    case VT_UI1:
        out->bVal = static_cast<BYTE>(bits);
        break;
    case VT_I2:
        out->iVal = static_cast<SHORT>(bits);
        break;
    case VT_UI2:
        out->uiVal = static_cast<USHORT>(bits);
        break;
    case VT_I4:
        out->lVal = static_cast<LONG>(bits);
        break;
    case VT_INT:
        out->intVal = static_cast<INT>(bits);
        break;
    case VT_UI4:
        out->ulVal = static_cast<ULONG>(bits);
        break;
    case VT_UINT:
        out->uintVal = static_cast<UINT>(bits);
        break;
    case VT_I8:
        out->llVal = static_cast<LONGLONG>(bits);
        break;
    default:
        out->ullVal = bits;
        break;
    }
}

HRESULT numberTo(const Number& n, VARTYPE vt, VARIANT* out) {
    switch (vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8: {
        IntRange r = rangeOf(vt);
        if (n.fromBool && !r.isSigned) {
            // As Windows does, VARIANT_TRUE becomes all bits set (255 for VT_UI1).
            storeInteger(out, vt, n.i ? UINT64_MAX : 0);
            return S_OK;
        }
        bool neg;
        uint64_t mag;
        if (!integerOf(n, &neg, &mag))
            return DISP_E_OVERFLOW;
        if (neg) {
            if (mag == 0) {
                storeInteger(out, vt, 0);
                return S_OK;
            }
            if (!r.isSigned || mag > 0 - static_cast<uint64_t>(r.lo))
                return DISP_E_OVERFLOW;
            storeInteger(out, vt, 0 - mag);
            return S_OK;
        }
        if (mag > r.hi)
            return DISP_E_OVERFLOW;
        storeInteger(out, vt, mag);
        return S_OK;
    }
    case VT_R4: {
        double d = asReal(n);
        if (std::isfinite(d) && std::fabs(d) > FLT_MAX)
            return DISP_E_OVERFLOW;
        out->vt = VT_R4;
        out->llVal = 0;
        out->fltVal = static_cast<float>(d);
        return S_OK;
    }
    case VT_R8:
        out->vt = VT_R8;
        out->dblVal = asReal(n);
        return S_OK;
    case VT_DATE: {
        double d = asReal(n);
        if (!(d >= korvane::platform::kOleDateMin && d < korvane::platform::kOleDateEnd))
            return DISP_E_OVERFLOW;
        out->vt = VT_DATE;
        out->date = d;
        return S_OK;
    }
    case VT_BOOL:
        out->vt = VT_BOOL;
        out->llVal = 0;
        out->boolVal = isZero(n) ? VARIANT_FALSE : VARIANT_TRUE;
        return S_OK;
    case VT_CY: {
        int64_t c;
        if (n.kind == Number::Currency) {
            c = n.i;
        } else if (n.kind == Number::Int) {
            if (n.i > INT64_MAX / 10000 || n.i < INT64_MIN / 10000)
                return DISP_E_OVERFLOW;
            c = n.i * 10000;
        } else if (n.kind == Number::UInt) {
            if (n.u > static_cast<uint64_t>(INT64_MAX / 10000))
                return DISP_E_OVERFLOW;
            c = static_cast<int64_t>(n.u) * 10000;
        } else {
            double s = roundEven(n.d * 10000.0);
            if (!(s >= -9223372036854775808.0 && s < 9223372036854775808.0))
                return DISP_E_OVERFLOW;
            c = static_cast<int64_t>(s);
        }
        out->vt = VT_CY;
        out->cyVal.int64 = c;
        return S_OK;
    }
    default:
        return DISP_E_BADVARTYPE;
    }
}

// Reads a number from text: blanks, a sign, digits with ',' between digit
// groups, a '.' fraction and an exponent. False when the text is no number;
// `overflow` when it is one but too large for a double.
bool parseNumber(const OLECHAR* s, size_t len, Number* out, bool* overflow) {
    *overflow = false;
    size_t i = 0;
    while (i < len && (s[i] == u' ' || s[i] == u'\t'))
        ++i;
    while (len > i && (s[len - 1] == u' ' || s[len - 1] == u'\t'))
        --len;
    std::string clean;
    if (i < len && (s[i] == u'+' || s[i] == u'-')) {
        if (s[i] == u'-')
            clean += '-';
        ++i;
    }
    bool digits = false, real = false;
    while (i < len) {
        OLECHAR c = s[i];
        if (c >= u'0' && c <= u'9') {
            clean += static_cast<char>(c);
            digits = true;
        } else if (c == u',' && digits && !real && i + 1 < len && s[i + 1] >= u'0' && s[i + 1] <= u'9') {
            // thousands separator: dropped
        } else {
            break;
        }
        ++i;
    }
    if (i < len && s[i] == u'.') {
        real = true;
        clean += '.';
        ++i;
        while (i < len && s[i] >= u'0' && s[i] <= u'9') {
            clean += static_cast<char>(s[i]);
            digits = true;
            ++i;
        }
    }
    if (!digits)
        return false;
    if (i < len && (s[i] == u'e' || s[i] == u'E')) {
        real = true;
        clean += 'e';
        ++i;
        if (i < len && (s[i] == u'+' || s[i] == u'-'))
            clean += static_cast<char>(s[i++]);
        bool expDigits = false;
        while (i < len && s[i] >= u'0' && s[i] <= u'9') {
            clean += static_cast<char>(s[i++]);
            expDigits = true;
        }
        if (!expDigits)
            return false;
    }
    if (i != len)
        return false;
    const char* first = clean.data();
    const char* last = clean.data() + clean.size();
    if (!real) {
        if (clean[0] == '-') {
            int64_t v;
            auto r = std::from_chars(first, last, v);
            if (r.ec == std::errc() && r.ptr == last) {
                out->kind = Number::Int;
                out->i = v;
                return true;
            }
        } else {
            uint64_t v;
            auto r = std::from_chars(first, last, v);
            if (r.ec == std::errc() && r.ptr == last) {
                if (v <= static_cast<uint64_t>(INT64_MAX)) {
                    out->kind = Number::Int;
                    out->i = static_cast<int64_t>(v);
                } else {
                    out->kind = Number::UInt;
                    out->u = v;
                }
                return true;
            }
        }
        // Too long for 64 bits: carry on as a real number.
    }
    double d;
    auto r = std::from_chars(first, last, d);
    if (r.ec == std::errc::result_out_of_range) {
        *overflow = true;
        return true;
    }
    if (r.ec != std::errc() || r.ptr != last)
        return false;
    out->kind = Number::Real;
    out->d = d;
    return true;
}

bool equalsIgnoreCase(const OLECHAR* s, size_t len, const char* word) {
    size_t n = std::strlen(word);
    if (len != n)
        return false;
    for (size_t k = 0; k < n; ++k) {
        OLECHAR c = s[k];
        if (c >= u'A' && c <= u'Z')
            c = static_cast<OLECHAR>(c - u'A' + u'a');
        if (c != static_cast<unsigned char>(word[k]))
            return false;
    }
    return true;
}

// The numeric value of a by-value source, for a numeric, boolean, date or
// currency target.
HRESULT numberOf(const VARIANT& s, VARTYPE target, Number* n) {
    switch (s.vt) {
    case VT_EMPTY:
        n->kind = Number::Int;
        n->i = 0;
        return S_OK;
    case VT_I1:
        n->i = static_cast<int8_t>(s.cVal);
        return S_OK;
    case VT_UI1:
        n->i = s.bVal;
        return S_OK;
    case VT_I2:
        n->i = s.iVal;
        return S_OK;
    case VT_UI2:
        n->i = s.uiVal;
        return S_OK;
    case VT_I4:
        n->i = s.lVal;
        return S_OK;
    case VT_INT:
        n->i = s.intVal;
        return S_OK;
    case VT_UI4:
        n->i = s.ulVal;
        return S_OK;
    case VT_UINT:
        n->i = s.uintVal;
        return S_OK;
    case VT_I8:
        n->i = s.llVal;
        return S_OK;
    case VT_UI8:
        n->kind = Number::UInt;
        n->u = s.ullVal;
        return S_OK;
    case VT_BOOL:
        n->i = s.boolVal ? -1 : 0;
        n->fromBool = true;
        return S_OK;
    case VT_R4:
        n->kind = Number::Real;
        n->d = s.fltVal;
        return S_OK;
    case VT_R8:
        n->kind = Number::Real;
        n->d = s.dblVal;
        return S_OK;
    case VT_DATE:
        n->kind = Number::Real;
        n->d = s.date;
        return S_OK;
    case VT_CY:
        n->kind = Number::Currency;
        n->i = s.cyVal.int64;
        return S_OK;
    case VT_BSTR: {
        const OLECHAR* text = s.bstrVal ? s.bstrVal : u"";
        size_t len = SysStringLen(s.bstrVal);
        if (target == VT_DATE) {
            DATE d;
            if (!korvane::platform::OleDateParse(text, len, &d))
                return DISP_E_TYPEMISMATCH;
            n->kind = Number::Real;
            n->d = d;
            return S_OK;
        }
        if (target == VT_BOOL) {
            size_t b = 0, e = len;
            while (b < e && text[b] == u' ')
                ++b;
            while (e > b && text[e - 1] == u' ')
                --e;
            if (equalsIgnoreCase(text + b, e - b, "true")) {
                n->i = -1;
                return S_OK;
            }
            if (equalsIgnoreCase(text + b, e - b, "false")) {
                n->i = 0;
                return S_OK;
            }
        }
        bool overflow;
        if (!parseNumber(text, len, n, &overflow))
            return DISP_E_TYPEMISMATCH;
        return overflow ? DISP_E_OVERFLOW : S_OK;
    }
    default:
        // VT_NULL, VT_ERROR, interfaces, arrays.
        return DISP_E_TYPEMISMATCH;
    }
}

// ---- text ----------------------------------------------------------------

HRESULT makeBstr(const std::string& ascii, VARIANT* out) {
    std::u16string wide(ascii.begin(), ascii.end());
    BSTR b = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!b)
        return E_OUTOFMEMORY;
    out->vt = VT_BSTR;
    out->bstrVal = b;
    return S_OK;
}

// Formats a double with `digits` significant digits as Windows writes it
// ("0.1", "1.5E-07", "1.23456789012346E+17").
std::string formatReal(double d, int digits) {
    if (d == 0)
        return "0";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*G", digits, d);
    return buf;
}

std::string formatCurrency(int64_t c) {
    bool neg = c < 0;
    uint64_t mag = neg ? 0 - static_cast<uint64_t>(c) : static_cast<uint64_t>(c);
    std::string s = std::to_string(mag / 10000);
    uint64_t frac = mag % 10000;
    if (frac) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04u", static_cast<unsigned>(frac));
        std::string f = buf;
        while (!f.empty() && f.back() == '0')
            f.pop_back();
        s += "." + f;
    }
    return neg ? "-" + s : s;
}

HRESULT toBstr(const VARIANT& s, USHORT flags, VARIANT* out) {
    switch (s.vt) {
    case VT_EMPTY:
        return makeBstr("", out);
    case VT_BOOL:
        if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))
            return makeBstr(s.boolVal ? "True" : "False", out);
        return makeBstr(s.boolVal ? "-1" : "0", out);
    case VT_R4:
        return makeBstr(formatReal(s.fltVal, 7), out);
    case VT_R8:
        return makeBstr(formatReal(s.dblVal, 15), out);
    case VT_CY:
        return makeBstr(formatCurrency(s.cyVal.int64), out);
    case VT_DATE: {
        std::u16string text;
        if (!korvane::platform::OleDateFormat(s.date, &text))
            return E_INVALIDARG;
        BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!b)
            return E_OUTOFMEMORY;
        out->vt = VT_BSTR;
        out->bstrVal = b;
        return S_OK;
    }
    case VT_UI8:
        return makeBstr(std::to_string(s.ullVal), out);
    default: {
        Number n;
        if (s.vt == VT_NULL || s.vt == VT_ERROR || FAILED(numberOf(s, VT_BSTR, &n)) ||
            n.kind != Number::Int)
            return DISP_E_TYPEMISMATCH;
        return makeBstr(std::to_string(n.i), out);
    }
    }
}

HRESULT toInterface(const VARIANT& s, VARTYPE vt, VARIANT* out) {
    if (s.vt != VT_UNKNOWN && s.vt != VT_DISPATCH)
        return DISP_E_TYPEMISMATCH;
    out->vt = vt;
    out->punkVal = nullptr;
    if (!s.punkVal)
        return S_OK;
    void* p = nullptr;
    HRESULT hr = s.punkVal->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &p);
    if (FAILED(hr)) {
        out->vt = VT_EMPTY;
        return hr;
    }
    out->punkVal = static_cast<IUnknown*>(p);
    return S_OK;
}

// Converts the by-value `s` to `vt` into the fresh `out`.
HRESULT coerce(const VARIANT& s, VARTYPE vt, USHORT flags, VARIANT* out) {
    if (s.vt == vt)
        return deepCopyValue(out, &s);
    if ((s.vt | vt) & VT_ARRAY)
        return DISP_E_TYPEMISMATCH;
    switch (vt) {
    case VT_EMPTY:
        out->vt = VT_EMPTY;
        return S_OK;
    case VT_NULL:
        if (s.vt != VT_EMPTY)
            return DISP_E_TYPEMISMATCH;
        out->vt = VT_NULL;
        return S_OK;
    case VT_BSTR:
        return toBstr(s, flags, out);
    case VT_UNKNOWN:
    case VT_DISPATCH:
        return toInterface(s, vt, out);
    case VT_ERROR:
        return DISP_E_TYPEMISMATCH;
    default: {
        Number n;
        HRESULT hr = numberOf(s, vt, &n);
        if (FAILED(hr))
            return hr;
        return numberTo(n, vt, out);
    }
    }
}

} // namespace

void VariantInit(VARIANTARG* v) {
    if (!v)
        return;
    v->vt = VT_EMPTY;
    v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
    v->brecVal.pvRecord = nullptr;
    v->brecVal.pRecInfo = nullptr;
}

HRESULT VariantClear(VARIANTARG* v) {
    if (!v)
        return E_INVALIDARG;
    if (!VariantTypeIsValid(v->vt))
        return DISP_E_BADVARTYPE;
    if (!(v->vt & VT_BYREF)) {
        if (v->vt & VT_ARRAY) {
            HRESULT hr = SafeArrayDestroy(v->parray);
            if (FAILED(hr))
                return hr;
        } else if (v->vt == VT_BSTR) {
            SysFreeString(v->bstrVal);
        } else if ((v->vt == VT_UNKNOWN || v->vt == VT_DISPATCH) && v->punkVal) {
            v->punkVal->Release();
        }
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src) {
    if (!dest || !src)
        return E_INVALIDARG;
    if (!VariantTypeIsValid(src->vt))
        return DISP_E_BADVARTYPE;
    if (dest == src)
        return S_OK;
    HRESULT hr = VariantClear(dest);
    if (FAILED(hr))
        return hr;
    if (src->vt & VT_BYREF) {
        *dest = *src;
        return S_OK;
    }
    return deepCopyValue(dest, src);
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* src) {
    if (!dest || !src)
        return E_INVALIDARG;
    if (!VariantTypeIsValid(src->vt))
        return DISP_E_BADVARTYPE;
    if (!(src->vt & VT_BYREF))
        return VariantCopy(dest, src);
    VARIANT view;
    HRESULT hr = dereference(src, &view);
    if (FAILED(hr))
        return hr;
    VARIANT copy;
    VariantInit(&copy);
    hr = deepCopyValue(&copy, &view);
    if (FAILED(hr))
        return hr;
    if (dest != src) {
        hr = VariantClear(dest);
        if (FAILED(hr)) {
            VariantClear(&copy);
            return hr;
        }
    }
    // In place, the reference owned nothing, so it is simply overwritten.
    *dest = copy;
    return S_OK;
}

HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* src, LCID, USHORT flags, VARTYPE vt) {
    if (!dest || !src)
        return E_INVALIDARG;
    if (!VariantTypeIsValid(src->vt))
        return DISP_E_BADVARTYPE;
    if (vt & VT_BYREF)
        return DISP_E_TYPEMISMATCH;
    if (vt != VT_EMPTY && vt != VT_NULL && !VariantTypeIsValid(vt))
        return DISP_E_BADVARTYPE;
    VARIANT view;
    HRESULT hr = dereference(src, &view);
    if (FAILED(hr))
        return hr;
    VARIANT result;
    VariantInit(&result);
    hr = coerce(view, vt, flags, &result);
    if (FAILED(hr))
        return hr;
    hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *dest = result;
    return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT flags, VARTYPE vt) {
    return VariantChangeTypeEx(dest, src, LOCALE_EN_US, flags, vt);
}
