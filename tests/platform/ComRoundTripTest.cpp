// Every parameter kind through a proxy to the test server program: the
// same table of calls runs against an object in this process and one in
// the server, and the outcomes (status, argErr, result, by-reference values
// afterwards, error details) must be identical; key cases are also checked
// against their known values.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/Bstr.h"
#include "platform/ComRuntime.h"
#include "platform/SafeArray.h"
#include "platform/Variant.h"
#include "tests/platform/ComTestSupport.h"

using namespace comtest;

namespace {

std::string render(const VARIANT& v);

std::string renderBstr(BSTR b) {
    if (!b)
        return "null";
    std::string s = "\"";
    for (UINT i = 0; i < SysStringLen(b); ++i) {
        if (b[i] >= 32 && b[i] < 127) {
            s += static_cast<char>(b[i]);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(b[i]));
            s += buf;
        }
    }
    return s + "\"";
}

std::string renderArray(SAFEARRAY* psa, VARTYPE elemVt) {
    if (!psa)
        return "null-array";
    std::string s = "[";
    size_t count = 1;
    for (UINT d = 1; d <= SafeArrayGetDim(psa); ++d) {
        LONG lb, ub;
        SafeArrayGetLBound(psa, d, &lb);
        SafeArrayGetUBound(psa, d, &ub);
        s += std::to_string(lb) + ".." + std::to_string(ub) + ";";
        count *= static_cast<size_t>(ub - lb + 1);
    }
    const char* data = static_cast<const char*>(psa->pvData);
    for (size_t k = 0; k < count; ++k) {
        VARIANT e;
        VariantInit(&e);
        if (elemVt == VT_VARIANT) {
            e = *reinterpret_cast<const VARIANT*>(data + k * psa->cbElements);
        } else {
            e.vt = elemVt;
            std::memcpy(&e.llVal, data + k * psa->cbElements, psa->cbElements);
        }
        s += render(e) + ",";
    }
    return s + "]";
}

std::string render(const VARIANT& v) {
    char buf[64];
    if (v.vt & VT_ARRAY)
        return "A" + std::to_string(v.vt & VT_TYPEMASK) + renderArray(v.parray, v.vt & VT_TYPEMASK);
    switch (v.vt) {
    case VT_EMPTY: return "EMPTY";
    case VT_NULL: return "NULL";
    case VT_BSTR: return "BSTR:" + renderBstr(v.bstrVal);
    case VT_R4: std::snprintf(buf, sizeof buf, "R4:%.9g", v.fltVal); return buf;
    case VT_R8: std::snprintf(buf, sizeof buf, "R8:%.17g", v.dblVal); return buf;
    case VT_DATE: std::snprintf(buf, sizeof buf, "DATE:%.17g", v.date); return buf;
    case VT_DISPATCH: return v.pdispVal ? "DISPATCH" : "DISPATCH:null";
    default:
        std::snprintf(buf, sizeof buf, "vt%u:%llx", static_cast<unsigned>(v.vt), static_cast<unsigned long long>(v.ullVal));
        return buf;
    }
}

// Storage that by-reference arguments point into; fresh for every run.
struct Cells {
    LONG l1 = 10, l2 = -20;
    SHORT s = 21;
    DATE d = 30682.5;
    VARIANT_BOOL flag = VARIANT_TRUE;
    BSTR text = nullptr;
    VARIANT var;
    Cells() { VariantInit(&var); }
    ~Cells() {
        SysFreeString(text);
        VariantClear(&var);
    }
    std::string state() const { return "l1=" + std::to_string(l1) + " l2=" + std::to_string(l2) + " s=" + std::to_string(s) +
                                         " d=" + std::to_string(d) + " text=" + renderBstr(text) + " var=" + render(var); }
};

VARIANT ref(VARTYPE vt, void* p) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | vt;
    v.byref = p;
    return v;
}
VARIANT str(const char16_t* s, UINT len = ~0u) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = !s ? nullptr : len == ~0u ? SysAllocString(s) : SysAllocStringLen(s, len);
    return v;
}
VARIANT value(VARTYPE vt, uint64_t bits) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.ullVal = bits;
    return v;
}
VARIANT r8(double d) {
    VARIANT v = value(VT_R8, 0);
    v.dblVal = d;
    return v;
}
VARIANT array(VARTYPE vt, SAFEARRAY* psa) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | vt;
    v.parray = psa;
    return v;
}
SAFEARRAY* strings(std::vector<const char16_t*> items, LONG lb = 0) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, lb, static_cast<ULONG>(items.size()));
    BSTR* data;
    SafeArrayAccessData(psa, reinterpret_cast<void**>(&data));
    for (size_t i = 0; i < items.size(); ++i)
        data[i] = items[i] ? SysAllocString(items[i]) : nullptr;
    SafeArrayUnaccessData(psa);
    return psa;
}
SAFEARRAY* longs(std::vector<LONG> items) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_I4, 0, static_cast<ULONG>(items.size()));
    std::memcpy(psa->pvData, items.data(), items.size() * sizeof(LONG));
    return psa;
}

struct Case {
    const char* name;
    DISPID dispid;
    std::function<std::vector<VARIANT>(Cells&)> args;  // natural order
    WORD flags = DISPATCH_METHOD;
    std::vector<DISPID> named = {};                     // names of the first args
    const char* expected = nullptr;                     // known outcome, when given
};

// Runs one case and renders everything it produced.
std::string run(IDispatch* d, const Case& c) {
    Cells cells;
    std::vector<VARIANT> args = c.args(cells);
    // The named arguments are the first ones listed; rgvarg holds them first.
    std::vector<VARIANT> rg;
    for (size_t i = 0; i < c.named.size(); ++i)
        rg.push_back(args[i]);
    for (size_t i = args.size(); i-- > c.named.size();)
        rg.push_back(args[i]);
    std::vector<DISPID> names = c.named;
    DISPPARAMS dp{rg.empty() ? nullptr : rg.data(), names.empty() ? nullptr : names.data(),
                  static_cast<UINT>(rg.size()), static_cast<UINT>(names.size())};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO ex{};
    UINT argErr = 999;
    HRESULT hr = d->Invoke(c.dispid, IID_NULL, LOCALE_EN_US, c.flags, &dp, &result, &ex, &argErr);
    char head[64];
    std::snprintf(head, sizeof head, "hr=%08X argErr=%u ", static_cast<unsigned>(hr), argErr);
    std::string out = head + render(result) + " | " + cells.state();
    if (hr == DISP_E_EXCEPTION) {
        std::snprintf(head, sizeof head, " | scode=%08X", static_cast<unsigned>(ex.scode));
        out += head;
    }
    // By-value arguments still belong to the caller.
    for (VARIANT& v : rg)
        if (!(v.vt & VT_BYREF))
            VariantClear(&v);
    VariantClear(&result);
    SysFreeString(ex.bstrSource);
    SysFreeString(ex.bstrDescription);
    SysFreeString(ex.bstrHelpFile);
    return out;
}

class ComRoundTripTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        m_env.RegisterServer();
        ASSERT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(&m_remote)),
                  S_OK);
        m_env.Track(ServerPid(m_remote));
        ASSERT_GT(ServerPid(m_remote), 0);
        ASSERT_EQ(CreateTestObject(IID_IDispatch, reinterpret_cast<void**>(&m_local)), S_OK);
    }
    void TearDown() override {
        if (m_remote)
            m_remote->Release();
        if (m_local)
            m_local->Release();
        CoUninitialize();
    }
    Environment m_env;
    IDispatch* m_remote = nullptr;
    IDispatch* m_local = nullptr;
};

TEST_F(ComRoundTripTest, EveryParameterKindMatchesTheInProcessCall) {
    const std::u16string big(1 << 20, u'\u00e9');
    const Case cases[] = {
        {"longs", 1, [](Cells&) { return std::vector<VARIANT>{value(VT_I4, 2), value(VT_I4, 3)}; }, DISPATCH_METHOD, {},
         "hr=00000000 argErr=999 vt3:5"},
        {"coerced text and real", 1, [](Cells&) { return std::vector<VARIANT>{str(u"2"), r8(3.6)}; }},
        {"type mismatch with argErr", 1, [](Cells&) { return std::vector<VARIANT>{str(u"x"), value(VT_I4, 1)}; }, DISPATCH_METHOD, {},
         "hr=80020005 argErr=1 EMPTY"},
        {"overflow", 1, [](Cells&) { return std::vector<VARIANT>{value(VT_I4, 1), r8(1e12)}; }},
        {"too few arguments", 1, [](Cells&) { return std::vector<VARIANT>{value(VT_I4, 1)}; }},
        {"unknown member", 77, [](Cells&) { return std::vector<VARIANT>{}; }, DISPATCH_METHOD, {}, "hr=80020003"},
        {"non-ASCII and empty strings", 2, [](Cells&) { return std::vector<VARIANT>{str(u"Gr\u00fc\u00dfe \u20ac\U0001F600"), str(u"")}; }, DISPATCH_METHOD, {},
         "hr=00000000 argErr=999 BSTR:\"Gr\\u00FC\\u00DFe \\u20AC\\uD83D\\uDE00\""},
        {"null string reads as empty", 2, [](Cells&) { return std::vector<VARIANT>{str(nullptr), str(u"x")}; }},
        {"embedded zero", 2, [](Cells&) { return std::vector<VARIANT>{str(u"a\0b", 3), str(u"c")}; }},
        {"null string stays null", 4, [](Cells&) { return std::vector<VARIANT>{str(nullptr)}; }, DISPATCH_METHOD, {},
         "hr=00000000 argErr=999 BSTR:null"},
        {"empty string stays empty", 4, [](Cells&) { return std::vector<VARIANT>{str(u"")}; }, DISPATCH_METHOD, {},
         "hr=00000000 argErr=999 BSTR:\"\""},
        {"VT_NULL", 4, [](Cells&) { return std::vector<VARIANT>{value(VT_NULL, 0)}; }},
        {"VT_EMPTY", 4, [](Cells&) { return std::vector<VARIANT>{value(VT_EMPTY, 0)}; }},
        {"tiny real", 4, [](Cells&) { return std::vector<VARIANT>{r8(1e-300)}; }},
        {"currency", 4, [](Cells&) { return std::vector<VARIANT>{value(VT_CY, static_cast<uint64_t>(-123456789LL))}; }},
        {"date", 4, [](Cells&) { VARIANT v = r8(30682.75); v.vt = VT_DATE; return std::vector<VARIANT>{v}; }},
        {"boolean", 4, [](Cells&) { return std::vector<VARIANT>{value(VT_BOOL, 0xFFFF)}; }},
        {"I8 minimum", 4, [](Cells&) { return std::vector<VARIANT>{value(VT_I8, 0x8000000000000000ull)}; }},
        {"UI1", 4, [](Cells&) { return std::vector<VARIANT>{value(VT_UI1, 255)}; }},
        {"error code", 4, [](Cells&) { return std::vector<VARIANT>{value(VT_ERROR, 0x80004005u)}; }},
        {"null dispatch", 4, [](Cells&) { return std::vector<VARIANT>{value(VT_DISPATCH, 0)}; }},
        {"empty string array", 4, [](Cells&) { return std::vector<VARIANT>{array(VT_BSTR, strings({}))}; }, DISPATCH_METHOD, {},
         "hr=00000000 argErr=999 A8[0..-1;]"},
        {"null array", 4, [](Cells&) { return std::vector<VARIANT>{array(VT_BSTR, nullptr)}; }},
        {"string array with null and lower bound", 4, [](Cells&) { return std::vector<VARIANT>{array(VT_BSTR, strings({u"x", nullptr, u"", u"\u00e4"}, -2))}; }},
        {"two-dimensional shorts", 4, [](Cells&) {
             SAFEARRAYBOUND b[2] = {{3, 1}, {2, -1}};
             SAFEARRAY* psa = SafeArrayCreate(VT_I2, 2, b);
             for (int k = 0; k < 6; ++k)
                 static_cast<SHORT*>(psa->pvData)[k] = static_cast<SHORT>(k * 7 - 20);
             return std::vector<VARIANT>{array(VT_I2, psa)};
         }},
        {"nested variants", 4, [](Cells&) {
             SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 0, 3);
             VARIANT* e = static_cast<VARIANT*>(psa->pvData);
             e[0] = value(VT_I4, 9);
             e[1] = array(VT_BSTR, strings({u"inner"}));
             e[2] = str(nullptr);
             return std::vector<VARIANT>{array(VT_VARIANT, psa)};
         }},
        {"large string", 4, [&](Cells&) { return std::vector<VARIANT>{str(big.data(), static_cast<UINT>(big.size()))}; }},
        {"no strings", 6, [](Cells&) { return std::vector<VARIANT>{value(VT_I4, 0), value(VT_I4, 5)}; }},
        {"large string array", 6, [](Cells&) { return std::vector<VARIANT>{value(VT_I4, 20000), value(VT_I4, 12)}; }},
        {"by-reference longs swapped", 3, [](Cells& c) { return std::vector<VARIANT>{ref(VT_I4, &c.l1), ref(VT_I4, &c.l2)}; }, DISPATCH_METHOD, {},
         "hr=00000000 argErr=999 EMPTY | l1=-20 l2=10"},
        {"by-reference of the wrong type", 3, [](Cells& c) { return std::vector<VARIANT>{ref(VT_I2, &c.s), ref(VT_I4, &c.l2)}; }, DISPATCH_METHOD, {},
         "hr=80020005 argErr=1 EMPTY | l1=10 l2=-20"},
        {"in/out string", 5, [](Cells& c) { c.text = SysAllocString(u"ab"); return std::vector<VARIANT>{ref(VT_BSTR, &c.text), str(u"\u00fccd")}; }},
        {"in/out null string", 5, [](Cells& c) { return std::vector<VARIANT>{ref(VT_BSTR, &c.text), str(u"x")}; }},
        {"in/out short and date", 18, [](Cells& c) { return std::vector<VARIANT>{ref(VT_I2, &c.s), ref(VT_DATE, &c.d)}; }, DISPATCH_METHOD, {},
         "hr=00000000 argErr=999 EMPTY | l1=10 l2=-20 s=42 d=30683.500000"},
        {"boolean is no short reference", 18, [](Cells& c) { return std::vector<VARIANT>{ref(VT_BOOL, &c.flag), ref(VT_DATE, &c.d)}; }},
        {"in/out variant holding an array", 15, [](Cells& c) { c.var = array(VT_BSTR, strings({u"a", u"b", u"c"})); return std::vector<VARIANT>{ref(VT_VARIANT, &c.var)}; }},
        {"in variant reference", 7, [](Cells& c) { c.var = array(VT_I4, longs({1, 2, 3, 4})); return std::vector<VARIANT>{ref(VT_VARIANT, &c.var)}; }},
        {"value where a reference is declared", 7, [](Cells&) { return std::vector<VARIANT>{array(VT_I4, longs({5, 6}))}; }},
        {"two values and a reference", 16, [](Cells& c) { c.l1 = 3; return std::vector<VARIANT>{value(VT_I4, 1), value(VT_I4, 2), ref(VT_I4, &c.l1)}; }, DISPATCH_METHOD, {},
         "hr=00000000 argErr=999 EMPTY | l1=6"},
        {"optional left out", 8, [](Cells&) { return std::vector<VARIANT>{value(VT_I4, 3)}; }},
        {"optional given", 8, [](Cells&) { return std::vector<VARIANT>{value(VT_I4, 3), str(u"4")}; }},
        {"named arguments", 1, [](Cells&) { return std::vector<VARIANT>{value(VT_I4, 100), value(VT_I4, 5)}; }, DISPATCH_METHOD, {1, 0}},
        {"failing member", 9, [](Cells&) { return std::vector<VARIANT>{value(VT_I4, 0x80004005u)}; }, DISPATCH_METHOD, {},
         "hr=80020009 argErr=999 EMPTY"},
        {"short, date, boolean", 11, [](Cells&) { VARIANT dt = r8(1.5); dt.vt = VT_DATE; return std::vector<VARIANT>{value(VT_I2, 5), dt, value(VT_BOOL, 0)}; }},
        {"property put", 10, [](Cells&) { return std::vector<VARIANT>{value(VT_I4, 77)}; }, DISPATCH_PROPERTYPUT, {DISPID_PROPERTYPUT}},
        {"property put without the name", 10, [](Cells&) { return std::vector<VARIANT>{value(VT_I4, 77)}; }, DISPATCH_PROPERTYPUT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string local = run(m_local, c);
        std::string remote = run(m_remote, c);
        EXPECT_EQ(remote, local);
        if (c.expected) {
            EXPECT_EQ(remote.compare(0, std::strlen(c.expected), c.expected), 0) << remote;
        }
    }
}

TEST_F(ComRoundTripTest, NamesResolveTheSameWay) {
    LPOLESTR names[3] = {const_cast<LPOLESTR>(u"TRIPLE"), const_cast<LPOLESTR>(u"c"), const_cast<LPOLESTR>(u"zz")};
    DISPID local[3], remote[3];
    HRESULT hl = m_local->GetIDsOfNames(IID_NULL, names, 3, LOCALE_EN_US, local);
    HRESULT hrm = m_remote->GetIDsOfNames(IID_NULL, names, 3, LOCALE_EN_US, remote);
    EXPECT_EQ(hrm, hl);
    EXPECT_EQ(hrm, DISP_E_UNKNOWNNAME);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(remote[i], local[i]);
    EXPECT_EQ(remote[0], 16);
    EXPECT_EQ(remote[1], 2);
    EXPECT_EQ(remote[2], DISPID_UNKNOWN);
    UINT count = 9;
    EXPECT_EQ(m_remote->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(m_remote->GetIDsOfNames(IID_IDispatch, names, 1, 0, remote), DISP_E_UNKNOWNINTERFACE);
}

TEST_F(ComRoundTripTest, ResultDroppedWhenNotWanted) {
    VARIANT a = str(u"x");
    DISPPARAMS dp{&a, nullptr, 1, 0};
    EXPECT_EQ(m_remote->Invoke(4, IID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr), S_OK);
    VariantClear(&a);
    // The property written before is there on the next call: same object.
    VARIANT v = value(VT_I4, 5);
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS pp{&v, &put, 1, 1};
    ASSERT_EQ(m_remote->Invoke(10, IID_NULL, 0, DISPATCH_PROPERTYPUT, &pp, nullptr, nullptr, nullptr), S_OK);
    VARIANT r;
    VariantInit(&r);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(m_remote->Invoke(10, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &r, nullptr, nullptr), S_OK);
    EXPECT_EQ(r.lVal, 5);
}

} // namespace
