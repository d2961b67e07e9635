// The VARIANT codec of the wire. The host is little-endian, as is the wire,
// so scalar array elements travel as one block of bytes.
#include "platform/WireValue.h"

#include <bit>
#include <cstring>

#include "platform/Bstr.h"
#include "platform/SafeArray.h"

static_assert(std::endian::native == std::endian::little, "the wire is little-endian");

using korvane::platform::VariantTypeIsValid;

namespace {

// Bytes of a scalar of a base type; 0 for strings, variants, interfaces.
size_t scalarSize(VARTYPE vt) {
    switch (vt) {
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
    default:
        return 0;
    }
}

// Element types an array may have on the wire, with their in-memory size.
size_t arrayElementSize(VARTYPE vt) {
    if (size_t s = scalarSize(vt))
        return s;
    if (vt == VT_BSTR)
        return sizeof(BSTR);
    if (vt == VT_VARIANT)
        return sizeof(VARIANT);
    return 0;
}

// Fewest bytes one element of the type occupies on the wire.
size_t minWireElement(VARTYPE vt) {
    if (size_t s = scalarSize(vt))
        return s;
    return vt == VT_BSTR ? 4 : 2;
}

HRESULT writeTop(WireWriter& w, const VARIANT& v, int depth);

HRESULT writeArray(WireWriter& w, VARTYPE elemVt, SAFEARRAY* psa, int depth) {
    if (!psa) {
        w.U8(0);
        return S_OK;
    }
    const size_t elemSize = arrayElementSize(elemVt);
    if (elemSize == 0 || psa->cbElements != elemSize)
        return DISP_E_BADVARTYPE;
    if (psa->cDims == 0 || psa->cDims > kWireMaxArrayDims)
        return RPC_E_CLIENT_CANTMARSHAL_DATA;
    uint64_t count = 1;
    for (USHORT i = 0; i < psa->cDims; ++i) {
        count *= psa->rgsabound[i].cElements;
        if (count > kWireMaxArrayElements)
            return RPC_E_CLIENT_CANTMARSHAL_DATA;
    }
    w.U8(1);
    w.U16(psa->cDims);
    for (USHORT dim = 1; dim <= psa->cDims; ++dim) {
        const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - dim];
        w.U32(b.cElements);
        w.I32(b.lLbound);
    }
    const char* data = static_cast<const char*>(psa->pvData);
    if (count && !data)
        return E_POINTER;
    if (scalarSize(elemVt)) {
        w.Bytes(data, static_cast<size_t>(count) * elemSize);
    } else if (elemVt == VT_BSTR) {
        // All strings in one stretch: their sizes first, then one copy each.
        const BSTR* strings = reinterpret_cast<const BSTR*>(data);
        size_t total = 0;
        for (uint64_t i = 0; i < count; ++i) {
            const UINT bytes = SysStringByteLen(strings[i]);
            if (bytes > kWireMaxStringBytes)
                return RPC_E_CLIENT_CANTMARSHAL_DATA;
            total += 4 + (strings[i] ? bytes : 0);
        }
        uint8_t* out = w.Extend(total);
        if (!out)
            return RPC_E_CLIENT_CANTMARSHAL_DATA;
        for (uint64_t i = 0; i < count; ++i) {
            const uint32_t bytes = strings[i] ? SysStringByteLen(strings[i]) : 0xFFFFFFFFu;
            std::memcpy(out, &bytes, 4);
            out += 4;
            if (strings[i]) {
                std::memcpy(out, strings[i], bytes);
                out += bytes;
            }
        }
    } else {
        for (uint64_t i = 0; i < count; ++i) {
            const VARIANT* e = reinterpret_cast<const VARIANT*>(data + i * elemSize);
            if (e->vt & VT_BYREF)
                return DISP_E_BADVARTYPE;
            HRESULT hr = writeTop(w, *e, depth + 1);
            if (FAILED(hr))
                return hr;
        }
    }
    return w.overflowed() ? RPC_E_CLIENT_CANTMARSHAL_DATA : S_OK;
}

// The value of base type `vt` found at `value` (by value or behind a reference).
HRESULT writePayload(WireWriter& w, VARTYPE vt, const void* value, int depth) {
    if (vt & VT_ARRAY) {
        SAFEARRAY* psa;
        std::memcpy(&psa, value, sizeof psa);
        return writeArray(w, vt & VT_TYPEMASK, psa, depth);
    }
    if (size_t s = scalarSize(vt)) {
        w.Bytes(value, s);
        return S_OK;
    }
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
        return S_OK;
    case VT_BSTR: {
        BSTR b;
        std::memcpy(&b, value, sizeof b);
        w.String(b);
        return w.overflowed() ? RPC_E_CLIENT_CANTMARSHAL_DATA : S_OK;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN: {
        void* p;
        std::memcpy(&p, value, sizeof p);
        if (p)
            return DISP_E_BADVARTYPE;
        w.U8(0);
        return S_OK;
    }
    default:
        return DISP_E_BADVARTYPE;
    }
}

HRESULT writeTop(WireWriter& w, const VARIANT& v, int depth) {
    if (depth > kWireMaxNesting)
        return RPC_E_CLIENT_CANTMARSHAL_DATA;
    if (!VariantTypeIsValid(v.vt))
        return DISP_E_BADVARTYPE;
    w.U16(v.vt);
    HRESULT hr;
    if (v.vt & VT_BYREF) {
        if (!v.byref)
            return E_POINTER;
        const VARTYPE base = v.vt & static_cast<VARTYPE>(~VT_BYREF);
        if (base == VT_VARIANT) {
            if (v.pvarVal->vt & VT_BYREF)
                return DISP_E_BADVARTYPE;
            hr = writeTop(w, *v.pvarVal, depth + 1);
        } else {
            hr = writePayload(w, base, v.byref, depth);
        }
    } else {
        hr = writePayload(w, v.vt, &v.llVal, depth);
    }
    if (SUCCEEDED(hr) && w.overflowed())
        hr = RPC_E_CLIENT_CANTMARSHAL_DATA;
    return hr;
}

bool readTop(WireReader& r, VARIANT* out, VARTYPE* wireVt, int depth);

bool readArray(WireReader& r, VARTYPE elemVt, VARIANT* out, int depth) {
    uint8_t present;
    if (!r.U8(&present) || present > 1)
        return r.Fail();
    out->parray = nullptr;
    if (!present)
        return true;
    const size_t elemSize = arrayElementSize(elemVt);
    uint16_t dims;
    if (elemSize == 0 || !r.U16(&dims) || dims == 0 || dims > kWireMaxArrayDims)
        return r.Fail();
    SAFEARRAYBOUND bounds[kWireMaxArrayDims];
    uint64_t count = 1;
    for (uint16_t i = 0; i < dims; ++i) {
        uint32_t n;
        int32_t lb;
        if (!r.U32(&n) || !r.I32(&lb))
            return false;
        count *= n;
        if (count > kWireMaxArrayElements)
            return r.Fail();
        bounds[i] = {n, lb};
    }
    // Every element takes some bytes of the frame: a count that the bytes
    // left cannot hold is refused before the array is allocated.
    if (count * minWireElement(elemVt) > r.left() || !r.Charge(count * elemSize + 128))
        return r.Fail();
    SAFEARRAY* psa = SafeArrayCreate(elemVt, dims, bounds);
    if (!psa)
        return r.Fail();
    char* data = static_cast<char*>(psa->pvData);
    bool ok = true;
    if (scalarSize(elemVt)) {
        ok = r.Bytes(data, static_cast<size_t>(count) * elemSize);
    } else if (elemVt == VT_BSTR) {
        // The strings of an array share one block. Its size is a bound, not
        // a sum: each string takes its wire bytes plus at most 14 more, and
        // the bytes left in the frame bound the wire bytes.
        korvane::platform::BstrArena arena;
        arena.Begin(r.left() + 14 * static_cast<size_t>(count));
        for (uint64_t i = 0; i < count && ok; ++i) {
            BSTR s;
            ok = r.String(&s, kWireMaxStringBytes, &arena);
            if (ok)
                std::memcpy(data + i * elemSize, &s, sizeof s);
        }
        arena.Finish();  // before any of its strings may be freed below
    } else {
        for (uint64_t i = 0; i < count && ok; ++i) {
            VARIANT* e = reinterpret_cast<VARIANT*>(data + i * elemSize);
            VARTYPE evt;
            ok = readTop(r, e, &evt, depth + 1);
            if (ok && (evt & VT_BYREF)) {
                VariantClear(e);
                ok = r.Fail();
            }
        }
    }
    if (!ok) {
        SafeArrayDestroy(psa);
        return r.Fail();
    }
    out->parray = psa;
    return true;
}

bool readPayload(WireReader& r, VARTYPE vt, VARIANT* out, int depth) {
    out->vt = vt;
    out->llVal = 0;
    bool ok;
    if (vt & VT_ARRAY) {
        ok = readArray(r, vt & VT_TYPEMASK, out, depth);
    } else if (size_t s = scalarSize(vt)) {
        ok = r.Bytes(&out->llVal, s);
    } else {
        switch (vt) {
        case VT_EMPTY:
        case VT_NULL:
            ok = true;
            break;
        case VT_BSTR:
            ok = r.String(&out->bstrVal);
            break;
        case VT_DISPATCH:
        case VT_UNKNOWN: {
            uint8_t present;
            ok = r.U8(&present) && (present == 0 || r.Fail());
            break;
        }
        default:
            ok = r.Fail();
            break;
        }
    }
    if (!ok)
        VariantInit(out);
    return ok;
}

bool readTop(WireReader& r, VARIANT* out, VARTYPE* wireVt, int depth) {
    VariantInit(out);
    if (depth > kWireMaxNesting)
        return r.Fail();
    uint16_t vt;
    if (!r.U16(&vt) || !VariantTypeIsValid(vt))
        return r.Fail();
    *wireVt = vt;
    if (vt & VT_BYREF) {
        const VARTYPE base = vt & static_cast<VARTYPE>(~VT_BYREF);
        if (base == VT_VARIANT) {
            VARTYPE inner;
            if (!readTop(r, out, &inner, depth + 1))
                return false;
            if (inner & VT_BYREF) {
                VariantClear(out);
                return r.Fail();
            }
            return true;
        }
        return readPayload(r, base, out, depth);
    }
    return readPayload(r, vt, out, depth);
}

} // namespace

HRESULT WireWriteVariant(WireWriter& w, const VARIANT& v) { return writeTop(w, v, 0); }

bool WireReadVariant(WireReader& r, VARIANT* out, VARTYPE* wireVt) {
    return readTop(r, out, wireVt, 0);
}
