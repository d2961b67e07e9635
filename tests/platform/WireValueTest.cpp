// The VARIANT codec of the COM wire: every value kind round-trips exactly,
// and malformed or oversized values are refused.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/Bstr.h"
#include "platform/SafeArray.h"
#include "platform/Variant.h"
#include "platform/WireValue.h"

namespace {

VARIANT make(VARTYPE vt) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.llVal = 0;
    return v;
}

// Deep equality of two by-value VARIANTs (strings by bytes, null kept
// distinct from empty; arrays by shape and elements).
bool same(const VARIANT& a, const VARIANT& b);

bool sameArray(SAFEARRAY* a, SAFEARRAY* b, VARTYPE elemVt) {
    if (!a || !b)
        return a == b;
    if (a->cDims != b->cDims || a->cbElements != b->cbElements)
        return false;
    size_t count = 1;
    for (USHORT i = 0; i < a->cDims; ++i) {
        if (a->rgsabound[i].cElements != b->rgsabound[i].cElements ||
            a->rgsabound[i].lLbound != b->rgsabound[i].lLbound)
            return false;
        count *= a->rgsabound[i].cElements;
    }
    for (size_t k = 0; k < count; ++k) {
        const char* ea = static_cast<const char*>(a->pvData) + k * a->cbElements;
        const char* eb = static_cast<const char*>(b->pvData) + k * b->cbElements;
        if (elemVt == VT_BSTR) {
            BSTR sa, sb;
            std::memcpy(&sa, ea, sizeof sa);
            std::memcpy(&sb, eb, sizeof sb);
            VARIANT va = make(VT_BSTR), vb = make(VT_BSTR);
            va.bstrVal = sa;
            vb.bstrVal = sb;
            if (!same(va, vb))
                return false;
        } else if (elemVt == VT_VARIANT) {
            if (!same(*reinterpret_cast<const VARIANT*>(ea), *reinterpret_cast<const VARIANT*>(eb)))
                return false;
        } else if (std::memcmp(ea, eb, a->cbElements) != 0) {
            return false;
        }
    }
    return true;
}

bool same(const VARIANT& a, const VARIANT& b) {
    if (a.vt != b.vt)
        return false;
    if (a.vt & VT_ARRAY)
        return sameArray(a.parray, b.parray, a.vt & VT_TYPEMASK);
    switch (a.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return true;
    case VT_BSTR:
        if (!a.bstrVal || !b.bstrVal)
            return a.bstrVal == b.bstrVal;
        return SysStringByteLen(a.bstrVal) == SysStringByteLen(b.bstrVal) &&
               std::memcmp(a.bstrVal, b.bstrVal, SysStringByteLen(a.bstrVal)) == 0;
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return a.punkVal == b.punkVal;
    default:
        return a.llVal == b.llVal;
    }
}

std::vector<uint8_t> encode(const VARIANT& v, HRESULT* hr) {
    WireWriter w(WireType::Invoke, 1);
    *hr = WireWriteVariant(w, v);
    std::vector<uint8_t> frame = w.Finish();
    return std::vector<uint8_t>(frame.begin() + kWireHeaderBytes, frame.end());
}

bool decode(const std::vector<uint8_t>& body, VARIANT* out, VARTYPE* vt) {
    WireReader r(body.data(), body.size());
    if (!WireReadVariant(r, out, vt))
        return false;
    if (!r.atEnd()) {
        VariantClear(out);  // a message body would refuse the bytes left over
        return false;
    }
    return true;
}

SAFEARRAY* stringArray(std::vector<const char16_t*> items, LONG lower = 0) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, lower, static_cast<ULONG>(items.size()));
    for (size_t i = 0; i < items.size(); ++i) {
        LONG idx = lower + static_cast<LONG>(i);
        BSTR s = items[i] ? SysAllocString(items[i]) : nullptr;
        SafeArrayPutElement(psa, &idx, s);
        SysFreeString(s);
    }
    return psa;
}

TEST(WireValueTest, ByValueRoundTrip) {
    std::vector<VARIANT> values;
    auto add = [&](VARIANT v) { values.push_back(v); };
    add(make(VT_EMPTY));
    add(make(VT_NULL));
    VARIANT v = make(VT_I1); v.cVal = -5; add(v);
    v = make(VT_UI1); v.bVal = 255; add(v);
    v = make(VT_I2); v.iVal = -32768; add(v);
    v = make(VT_UI2); v.uiVal = 65535; add(v);
    v = make(VT_I4); v.lVal = INT32_MIN; add(v);
    v = make(VT_UI4); v.ulVal = UINT32_MAX; add(v);
    v = make(VT_INT); v.intVal = -1; add(v);
    v = make(VT_UINT); v.uintVal = 7; add(v);
    v = make(VT_I8); v.llVal = INT64_MIN; add(v);
    v = make(VT_UI8); v.ullVal = UINT64_MAX; add(v);
    v = make(VT_R4); v.fltVal = -1.5f; add(v);
    v = make(VT_R8); v.dblVal = 1e-300; add(v);
    v = make(VT_CY); v.cyVal.int64 = -123456789; add(v);
    v = make(VT_DATE); v.date = 30682.75; add(v);
    v = make(VT_BOOL); v.boolVal = VARIANT_TRUE; add(v);
    v = make(VT_ERROR); v.scode = DISP_E_PARAMNOTFOUND; add(v);
    v = make(VT_BSTR); v.bstrVal = nullptr; add(v);
    v = make(VT_BSTR); v.bstrVal = SysAllocString(u""); add(v);
    v = make(VT_BSTR); v.bstrVal = SysAllocString(u"Gr\u00fc\u00dfe \u20ac \U0001F600"); add(v);
    v = make(VT_BSTR); v.bstrVal = SysAllocStringLen(u"a\0b", 3); add(v);
    v = make(VT_BSTR); v.bstrVal = SysAllocStringByteLen("odd", 3); add(v);
    v = make(VT_DISPATCH); v.pdispVal = nullptr; add(v);
    v = make(VT_ARRAY | VT_BSTR); v.parray = nullptr; add(v);
    v = make(VT_ARRAY | VT_BSTR); v.parray = stringArray({}); add(v);
    v = make(VT_ARRAY | VT_BSTR); v.parray = stringArray({u"x", nullptr, u"", u"\u00e4"}, -3); add(v);
    SAFEARRAYBOUND two[2] = {{3, 1}, {2, -1}};
    v = make(VT_ARRAY | VT_I2); v.parray = SafeArrayCreate(VT_I2, 2, two);
    for (LONG i = 1; i <= 3; ++i)
        for (LONG j = -1; j <= 0; ++j) {
            LONG idx[2] = {i, j};
            SHORT x = static_cast<SHORT>(i * 10 + j);
            SafeArrayPutElement(v.parray, idx, &x);
        }
    add(v);
    v = make(VT_ARRAY | VT_VARIANT); v.parray = SafeArrayCreateVector(VT_VARIANT, 0, 3);
    {
        LONG i = 0;
        VARIANT e = make(VT_I4);
        e.lVal = 9;
        SafeArrayPutElement(v.parray, &i, &e);
        i = 1;
        VARIANT inner = make(VT_ARRAY | VT_BSTR);
        inner.parray = stringArray({u"nested"});
        SafeArrayPutElement(v.parray, &i, &inner);
        VariantClear(&inner);
    }
    add(v);

    for (size_t k = 0; k < values.size(); ++k) {
        SCOPED_TRACE(testing::Message() << "value " << k << " vt 0x" << std::hex << values[k].vt);
        HRESULT hr;
        std::vector<uint8_t> body = encode(values[k], &hr);
        ASSERT_EQ(hr, S_OK);
        VARIANT out;
        VARTYPE vt = 0;
        ASSERT_TRUE(decode(body, &out, &vt));
        EXPECT_EQ(vt, values[k].vt);
        EXPECT_TRUE(same(values[k], out));
        VariantClear(&out);
        VariantClear(&values[k]);
    }
}

TEST(WireValueTest, ReferencesTravelAsTheirValues) {
    LONG l = 42;
    BSTR s = SysAllocString(u"ref");
    SAFEARRAY* psa = stringArray({u"a"});
    VARIANT inner = make(VT_R8);
    inner.dblVal = 2.5;
    struct Case {
        const char* name;
        VARTYPE vt;
        void* p;
        VARTYPE valueVt;
    };
    const Case cases[] = {
        {"long", VT_BYREF | VT_I4, &l, VT_I4},
        {"string", VT_BYREF | VT_BSTR, &s, VT_BSTR},
        {"array", VT_BYREF | VT_ARRAY | VT_BSTR, &psa, VT_ARRAY | VT_BSTR},
        {"variant", VT_BYREF | VT_VARIANT, &inner, VT_R8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VARIANT v = make(c.vt);
        v.byref = c.p;
        HRESULT hr;
        std::vector<uint8_t> body = encode(v, &hr);
        ASSERT_EQ(hr, S_OK);
        VARIANT out;
        VARTYPE vt;
        ASSERT_TRUE(decode(body, &out, &vt));
        EXPECT_EQ(vt, c.vt) << "the type keeps VT_BYREF";
        EXPECT_EQ(out.vt, c.valueVt) << "the value is held by value";
        VARIANT expected;
        VariantInit(&expected);
        ASSERT_EQ(VariantCopyInd(&expected, &v), S_OK);
        EXPECT_TRUE(same(expected, out));
        VariantClear(&expected);
        VariantClear(&out);
    }
    SysFreeString(s);
    SafeArrayDestroy(psa);
}

TEST(WireValueTest, WhatCannotTravel) {
    LONG l = 1;
    VARIANT refToRef = make(VT_BYREF | VT_I4);
    refToRef.plVal = &l;
    VARIANT nested = make(VT_ARRAY | VT_VARIANT);
    nested.parray = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    VARIANT* slot = static_cast<VARIANT*>(nested.parray->pvData);
    slot->vt = VT_BYREF | VT_I4;  // a reference inside an array
    slot->plVal = &l;
    SAFEARRAYBOUND many[kWireMaxArrayDims + 1];
    for (auto& b : many)
        b = {1, 0};
    VARIANT tooManyDims = make(VT_ARRAY | VT_UI1);
    tooManyDims.parray = SafeArrayCreate(VT_UI1, kWireMaxArrayDims + 1, many);
    VARIANT tooMany = make(VT_ARRAY | VT_UI1);
    tooMany.parray = SafeArrayCreateVector(VT_UI1, 0, kWireMaxArrayElements + 1);
    VARIANT atMost = make(VT_ARRAY | VT_UI1);
    atMost.parray = SafeArrayCreateVector(VT_UI1, 0, kWireMaxArrayElements);
    VARIANT bigString = make(VT_BSTR);
    bigString.bstrVal = SysAllocStringLen(nullptr, kWireMaxStringBytes / 2 + 1);
    VARIANT maxString = make(VT_BSTR);
    maxString.bstrVal = SysAllocStringLen(nullptr, kWireMaxStringBytes / 2);
    VARIANT nullRef = make(VT_BYREF | VT_I4);
    nullRef.plVal = nullptr;
    VARIANT varRef = make(VT_BYREF | VT_VARIANT);
    varRef.pvarVal = &refToRef;
    VARIANT decimal = make(VT_DECIMAL);

    // Nesting: arrays of VARIANTs holding arrays of VARIANTs ...
    auto nest = [](int levels) {
        VARIANT v = make(VT_I4);
        for (int i = 0; i < levels; ++i) {
            VARIANT outer = make(VT_ARRAY | VT_VARIANT);
            outer.parray = SafeArrayCreateVector(VT_VARIANT, 0, 1);
            LONG zero = 0;
            SafeArrayPutElement(outer.parray, &zero, &v);
            VariantClear(&v);
            v = outer;
        }
        return v;
    };
    VARIANT deepest = nest(kWireMaxNesting);
    VARIANT tooDeep = nest(kWireMaxNesting + 1);

    struct Case {
        const char* name;
        VARIANT* v;
        HRESULT hr;
    };
    const Case cases[] = {
        {"reference inside an array", &nested, DISP_E_BADVARTYPE},
        {"reference to a reference", &varRef, DISP_E_BADVARTYPE},
        {"null reference", &nullRef, E_POINTER},
        {"unsupported type", &decimal, DISP_E_BADVARTYPE},
        {"dimensions at limit plus one", &tooManyDims, RPC_E_CLIENT_CANTMARSHAL_DATA},
        {"elements at limit", &atMost, S_OK},
        {"elements at limit plus one", &tooMany, RPC_E_CLIENT_CANTMARSHAL_DATA},
        {"string at limit", &maxString, S_OK},
        {"string at limit plus one", &bigString, RPC_E_CLIENT_CANTMARSHAL_DATA},
        {"nesting at limit", &deepest, S_OK},
        {"nesting at limit plus one", &tooDeep, RPC_E_CLIENT_CANTMARSHAL_DATA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HRESULT hr;
        encode(*c.v, &hr);
        EXPECT_EQ(hr, c.hr);
    }
    slot->vt = VT_EMPTY;
    for (VARIANT* v : {&nested, &tooManyDims, &tooMany, &atMost, &bigString, &maxString, &deepest, &tooDeep})
        VariantClear(v);
}

// Malformed bytes: each is a complete body that the reader must refuse.
TEST(WireValueTest, MalformedValuesRefused) {
    auto bytes = [](std::initializer_list<int> b) {
        std::vector<uint8_t> v;
        for (int x : b)
            v.push_back(static_cast<uint8_t>(x));
        return v;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> body;
    };
    const Case cases[] = {
        {"empty", bytes({})},
        {"half a type code", bytes({0x03})},
        {"I4 without its bytes", bytes({0x03, 0x00, 0x01, 0x02})},
        {"unknown type", bytes({0x0F, 0x00})},
        {"plain VT_VARIANT", bytes({0x0C, 0x00})},
        {"VT_DECIMAL", bytes({0x0E, 0x00})},
        {"VT_VECTOR", bytes({0x03, 0x10, 0, 0, 0, 0})},
        {"VT_BYREF|VT_EMPTY", bytes({0x00, 0x40})},
        {"string longer than its bytes", bytes({0x08, 0x00, 0x04, 0, 0, 0, 'a', 0})},
        {"string past the limit", bytes({0x08, 0x00, 0x02, 0x00, 0x80, 0x00})},
        {"non-null interface", bytes({0x09, 0x00, 0x01})},
        {"array presence byte 2", bytes({0x03, 0x20, 0x02})},
        {"array of zero dimensions", bytes({0x03, 0x20, 0x01, 0x00, 0x00})},
        {"array of nine dimensions", bytes({0x03, 0x20, 0x01, 0x09, 0x00})},
        {"array count beyond the bytes left", bytes({0x03, 0x20, 0x01, 0x01, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0, 0, 0, 0})},
        {"array count past the limit", bytes({0x11, 0x20, 0x01, 0x02, 0x00, 0x00, 0x04, 0x00, 0x00, 0, 0, 0, 0, 0x00, 0x04, 0x00, 0x00, 0, 0, 0, 0})},
        {"array upper bound past 32 bits", bytes({0x11, 0x20, 0x01, 0x01, 0x00, 0x02, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2})},
        {"array of interfaces", bytes({0x09, 0x20, 0x01, 0x01, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0})},
        {"variant array holding a reference", bytes({0x0C, 0x20, 0x01, 0x01, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x03, 0x40, 1, 0, 0, 0})},
        {"reference to a reference", bytes({0x0C, 0x40, 0x03, 0x40, 1, 0, 0, 0})},
        {"trailing byte", bytes({0x02, 0x00, 0x01, 0x00, 0xAA})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VARIANT out;
        out.vt = VT_I4;
        VARTYPE vt;
        EXPECT_FALSE(decode(c.body, &out, &vt));
        EXPECT_EQ(out.vt, VT_EMPTY) << "nothing half-built is left behind";
    }
}

TEST(WireValueTest, NestingLimitOnRead) {
    // VT_BYREF|VT_VARIANT chains are refused; arrays of VARIANTs nest.
    auto nested = [](int levels) {
        std::vector<uint8_t> b;
        for (int i = 0; i < levels; ++i) {
            const uint8_t arr[] = {0x0C, 0x20, 0x01, 0x01, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0};
            b.insert(b.end(), arr, arr + sizeof arr);
        }
        b.push_back(0x00);
        b.push_back(0x00);  // innermost: VT_EMPTY
        return b;
    };
    VARIANT out;
    VARTYPE vt;
    EXPECT_TRUE(decode(nested(kWireMaxNesting), &out, &vt));
    VariantClear(&out);
    EXPECT_FALSE(decode(nested(kWireMaxNesting + 1), &out, &vt));
}

TEST(WireValueTest, DecodeMemoryIsBudgeted) {
    // A frame of many empty strings would cost far more memory than bytes:
    // the reader's budget stops it. 1 Mi elements of 4 bytes each fit the
    // frame, and their 8-byte slots plus string blocks exceed no budget;
    // the same count of VARIANT elements in a small frame does.
    std::vector<uint8_t> b = {0x0C, 0x20, 0x01, 0x01, 0x00, 0x00, 0x00, 0x10, 0x00, 0, 0, 0, 0};
    VARIANT out;
    VARTYPE vt;
    EXPECT_FALSE(decode(b, &out, &vt)) << "1 Mi VARIANT elements announced in 13 bytes";
}

} // namespace
