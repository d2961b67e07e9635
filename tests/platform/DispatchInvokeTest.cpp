// The dispatcher: GetIDsOfNames and Invoke served from a description, with
// argument order, coercions, by-reference rules, named and optional
// arguments, retval, properties and errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Bstr.h"
#include "platform/DispatchInvoke.h"
#include "platform/SafeArray.h"
#include "platform/Variant.h"
#include "tests/platform/server/TestObject.h"

namespace {

VARIANT make(VARTYPE vt) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.llVal = 0;
    return v;
}
VARIANT i4(LONG x) { VARIANT v = make(VT_I4); v.lVal = x; return v; }
VARIANT r8(double x) { VARIANT v = make(VT_R8); v.dblVal = x; return v; }
VARIANT missing() { VARIANT v = make(VT_ERROR); v.scode = DISP_E_PARAMNOTFOUND; return v; }
VARIANT boolean(bool b) { VARIANT v = make(VT_BOOL); v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE; return v; }
VARIANT ref(VARTYPE vt, void* p) { VARIANT v = make(VT_BYREF | vt); v.byref = p; return v; }

std::string narrow(BSTR b) {
    std::string s;
    for (UINT i = 0; i < SysStringLen(b); ++i)
        s += b[i] < 128 ? static_cast<char>(b[i]) : '?';
    return s;
}

std::string show(const VARIANT& v) {
    switch (v.vt) {
    case VT_EMPTY: return "EMPTY";
    case VT_I2: return "I2:" + std::to_string(v.iVal);
    case VT_I4: return "I4:" + std::to_string(v.lVal);
    case VT_BSTR: return v.bstrVal ? "BSTR:" + narrow(v.bstrVal) : "BSTR:null";
    default: return "vt " + std::to_string(v.vt);
    }
}

// One Invoke: the arguments in natural (declaration) order; named ones
// come first in `named` order as the caller lists them.
struct Call {
    DISPID dispid;
    WORD flags = DISPATCH_METHOD;
    std::vector<VARIANT> args = {};   // positional, natural order
    std::vector<VARIANT> named = {};  // named values
    std::vector<DISPID> names = {};   // their DISPIDs
};

class DispatchInvokeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CreateTestObject(IID_IDispatch, reinterpret_cast<void**>(&m_disp)), S_OK);
    }
    void TearDown() override { m_disp->Release(); }

    // Builds DISPPARAMS (reverse order, named first), invokes, and keeps
    // the argument array for inspection.
    HRESULT invoke(const Call& call, VARIANT* result, UINT* argErr = nullptr,
                   EXCEPINFO* excep = nullptr, REFIID iid = IID_NULL) {
        m_rgvarg.clear();
        for (const VARIANT& v : call.named)
            m_rgvarg.push_back(v);
        for (size_t i = call.args.size(); i-- > 0;)
            m_rgvarg.push_back(call.args[i]);
        m_names = call.names;
        DISPPARAMS dp{m_rgvarg.data(), m_names.data(), static_cast<UINT>(m_rgvarg.size()),
                      static_cast<UINT>(m_names.size())};
        return m_disp->Invoke(call.dispid, iid, LOCALE_EN_US, call.flags, &dp, result, excep, argErr);
    }

    IDispatch* m_disp = nullptr;
    std::vector<VARIANT> m_rgvarg;
    std::vector<DISPID> m_names;
};

TEST_F(DispatchInvokeTest, GetIDsOfNames) {
    struct Case {
        const char* name;
        std::vector<const char16_t*> names;
        HRESULT hr;
        std::vector<DISPID> ids;
    };
    const Case cases[] = {
        {"no names", {}, S_OK, {}},
        {"member", {u"Add"}, S_OK, {1}},
        {"any letter case", {u"aDD"}, S_OK, {1}},
        {"property", {u"Value"}, S_OK, {10}},
        {"unknown member", {u"Nope"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
        {"member and parameters", {u"Add", u"b", u"A"}, S_OK, {1, 1, 0}},
        {"unknown parameter", {u"Add", u"zz", u"a"}, DISP_E_UNKNOWNNAME, {1, DISPID_UNKNOWN, 0}},
        {"parameter of unknown member", {u"Nope", u"a"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN, DISPID_UNKNOWN}},
        {"prefix is not the name", {u"Ad"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<LPOLESTR> names;
        for (const char16_t* n : c.names)
            names.push_back(const_cast<LPOLESTR>(n));
        std::vector<DISPID> ids(c.ids.size(), 12345);
        EXPECT_EQ(m_disp->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()),
                                        LOCALE_EN_US, ids.data()),
                  c.hr);
        EXPECT_EQ(ids, c.ids);
    }
    DISPID id;
    LPOLESTR name = const_cast<LPOLESTR>(u"Add");
    EXPECT_EQ(m_disp->GetIDsOfNames(IID_IDispatch, &name, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(DispGetIDsOfNames(&kTestObjectInterface, nullptr, 1, &id), E_INVALIDARG);
}

TEST_F(DispatchInvokeTest, ArgumentCountsOrderAndCoercion) {
    BSTR two = SysAllocString(u"2");
    BSTR letters = SysAllocString(u"x");
    VARIANT sTwo = make(VT_BSTR);
    sTwo.bstrVal = two;
    VARIANT sX = make(VT_BSTR);
    sX.bstrVal = letters;
    struct Case {
        const char* name;
        Call call;
        HRESULT hr;
        UINT argErr;   // checked when not ~0u
        std::string result;
    };
    const Case cases[] = {
        {"no arguments", {1, DISPATCH_METHOD, {}}, DISP_E_BADPARAMCOUNT, ~0u, ""},
        {"one short", {1, DISPATCH_METHOD, {i4(1)}}, DISP_E_BADPARAMCOUNT, ~0u, ""},
        {"exact", {1, DISPATCH_METHOD, {i4(2), i4(3)}}, S_OK, ~0u, "I4:5"},
        {"order kept: a - b visible through Concat", {2, DISPATCH_METHOD, {sTwo, sX}}, S_OK, ~0u, "BSTR:2x"},
        {"one too many (the retval slot)", {1, DISPATCH_METHOD, {i4(1), i4(2), i4(3)}}, DISP_E_BADPARAMCOUNT, ~0u, ""},
        {"text and real coerced", {1, DISPATCH_METHOD, {sTwo, r8(3.6)}}, S_OK, ~0u, "I4:6"},
        {"first argument bad: index 1", {1, DISPATCH_METHOD, {sX, i4(1)}}, DISP_E_TYPEMISMATCH, 1, ""},
        {"second argument bad: index 0", {1, DISPATCH_METHOD, {i4(1), sX}}, DISP_E_TYPEMISMATCH, 0, ""},
        {"overflow reported as such", {1, DISPATCH_METHOD, {i4(1), r8(3e10)}}, DISP_E_OVERFLOW, 0, ""},
        {"unknown DISPID", {99, DISPATCH_METHOD, {}}, DISP_E_MEMBERNOTFOUND, ~0u, ""},
        {"method invoked as property put", {1, DISPATCH_PROPERTYPUT, {i4(1), i4(2)}}, DISP_E_MEMBERNOTFOUND, ~0u, ""},
        {"method with get flag too", {1, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {i4(4), i4(4)}}, S_OK, ~0u, "I4:8"},
        {"missing marker for required", {1, DISPATCH_METHOD, {missing(), i4(1)}}, DISP_E_PARAMNOTOPTIONAL, 1, ""},
        {"optional omitted", {8, DISPATCH_METHOD, {i4(3)}}, S_OK, ~0u, "I4:2999"},
        {"optional given", {8, DISPATCH_METHOD, {i4(3), i4(4)}}, S_OK, ~0u, "I4:3004"},
        {"optional as missing marker", {8, DISPATCH_METHOD, {i4(3), missing()}}, S_OK, ~0u, "I4:2999"},
        {"VARIANT parameter receives the argument", {4, DISPATCH_METHOD, {sTwo}}, S_OK, ~0u, "BSTR:2"},
        {"VARIANT parameter not optional", {4, DISPATCH_METHOD, {}}, DISP_E_BADPARAMCOUNT, ~0u, ""},
        {"member without parameters", {17, DISPATCH_METHOD, {}}, S_OK, ~0u, "EMPTY"},
        {"short, date from text, boolean", {11, DISPATCH_METHOD, {i4(5), r8(1.5), boolean(true)}}, S_OK, ~0u, "BSTR:5|1.500000|true"},
        {"short out of range", {11, DISPATCH_METHOD, {i4(40000), r8(1.5), boolean(true)}}, DISP_E_OVERFLOW, 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VARIANT result = i4(-1);
        UINT argErr = 777;
        EXPECT_EQ(invoke(c.call, &result, &argErr), c.hr);
        if (c.argErr != ~0u) {
            EXPECT_EQ(argErr, c.argErr);
        }
        if (c.hr == S_OK) {
            EXPECT_EQ(show(result), c.result);
        }
        VariantClear(&result);
    }
    SysFreeString(two);
    SysFreeString(letters);
}

TEST_F(DispatchInvokeTest, NamedArguments) {
    struct Case {
        const char* name;
        Call call;
        HRESULT hr;
        UINT argErr;
        std::string result;
    };
    const Case cases[] = {
        {"both named, any order", {1, DISPATCH_METHOD, {}, {i4(10), i4(20)}, {1, 0}}, S_OK, ~0u, "I4:30"},
        {"positional then named", {8, DISPATCH_METHOD, {i4(2)}, {i4(5)}, {1}}, S_OK, ~0u, "I4:2005"},
        {"position out of range", {1, DISPATCH_METHOD, {i4(1)}, {i4(2)}, {5}}, DISP_E_PARAMNOTFOUND, 0, ""},
        {"the retval position", {1, DISPATCH_METHOD, {i4(1)}, {i4(2)}, {2}}, DISP_E_PARAMNOTFOUND, 0, ""},
        {"named twice", {1, DISPATCH_METHOD, {}, {i4(1), i4(2)}, {0, 0}}, DISP_E_PARAMNOTFOUND, 1, ""},
        {"named and positional clash", {1, DISPATCH_METHOD, {i4(1)}, {i4(2)}, {0}}, DISP_E_PARAMNOTFOUND, 0, ""},
        {"required one not given", {1, DISPATCH_METHOD, {}, {i4(1)}, {1}}, DISP_E_PARAMNOTOPTIONAL, ~0u, ""},
        {"optional left out by name", {8, DISPATCH_METHOD, {}, {i4(7)}, {0}}, S_OK, ~0u, "I4:6999"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VARIANT result = make(VT_EMPTY);
        UINT argErr = 777;
        EXPECT_EQ(invoke(c.call, &result, &argErr), c.hr);
        if (c.argErr != ~0u) {
            EXPECT_EQ(argErr, c.argErr);
        }
        if (c.hr == S_OK) {
            EXPECT_EQ(show(result), c.result);
        }
        VariantClear(&result);
    }
    // More names than arguments.
    VARIANT a = i4(1);
    DISPID ids[2] = {0, 1};
    DISPPARAMS dp{&a, ids, 1, 2};
    EXPECT_EQ(m_disp->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr), E_INVALIDARG);
}

TEST_F(DispatchInvokeTest, ByReferenceArguments) {
    LONG a = 1, b = 2;
    SHORT small = 3;
    VARIANT_BOOL flag = VARIANT_TRUE;
    DATE when = 100.25;
    struct Case {
        const char* name;
        Call call;
        HRESULT hr;
        UINT argErr;
    };
    const Case cases[] = {
        {"exact references", {3, DISPATCH_METHOD, {ref(VT_I4, &a), ref(VT_I4, &b)}}, S_OK, ~0u},
        {"reference of another type: index of the argument", {3, DISPATCH_METHOD, {ref(VT_I2, &small), ref(VT_I4, &b)}}, DISP_E_TYPEMISMATCH, 1},
        {"second reference wrong", {3, DISPATCH_METHOD, {ref(VT_I4, &a), ref(VT_R8, &when)}}, DISP_E_TYPEMISMATCH, 0},
        {"boolean is not a short reference", {18, DISPATCH_METHOD, {ref(VT_BOOL, &flag), ref(VT_DATE, &when)}}, DISP_E_TYPEMISMATCH, 1},
        {"double is not a date reference", {18, DISPATCH_METHOD, {ref(VT_I2, &small), ref(VT_R8, &when)}}, DISP_E_TYPEMISMATCH, 0},
        {"null reference", {3, DISPATCH_METHOD, {ref(VT_I4, nullptr), ref(VT_I4, &b)}}, E_INVALIDARG, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        a = 1;
        b = 2;
        UINT argErr = 777;
        EXPECT_EQ(invoke(c.call, nullptr, &argErr), c.hr);
        if (c.argErr != ~0u) {
            EXPECT_EQ(argErr, c.argErr);
        }
        if (c.hr == S_OK) {
            EXPECT_EQ(a, 2);
            EXPECT_EQ(b, 1);
        } else {
            EXPECT_EQ(a, 1) << "nothing called";
        }
    }
    // Short and date references are written in place.
    ASSERT_EQ(invoke({18, DISPATCH_METHOD, {ref(VT_I2, &small), ref(VT_DATE, &when)}}, nullptr), S_OK);
    EXPECT_EQ(small, 6);
    EXPECT_DOUBLE_EQ(when, 101.25);
}

TEST_F(DispatchInvokeTest, ValueForReferenceIsWrittenBack) {
    // Swap(5, &b): the value 5 goes through a temporary and comes back
    // into the caller's argument, converted to the argument's own type.
    LONG b = 9;
    VARIANT text = make(VT_BSTR);
    text.bstrVal = SysAllocString(u"5");
    ASSERT_EQ(invoke({3, DISPATCH_METHOD, {text, ref(VT_I4, &b)}}, nullptr), S_OK);
    EXPECT_EQ(b, 5);
    EXPECT_EQ(show(m_rgvarg[1]), "BSTR:9") << "the old string was replaced and freed";
    VariantClear(&m_rgvarg[1]);

    // An [in] reference parameter gets a copy and nothing comes back.
    VARIANT array = make(VT_ARRAY | VT_I4);
    array.parray = SafeArrayCreateVector(VT_I4, 0, 3);
    for (LONG i = 0; i < 3; ++i) {
        LONG v = i + 1;
        SafeArrayPutElement(array.parray, &i, &v);
    }
    VARIANT result = make(VT_EMPTY);
    ASSERT_EQ(invoke({7, DISPATCH_METHOD, {array}}, &result), S_OK);
    EXPECT_EQ(show(result), "I4:6");
    EXPECT_EQ(m_rgvarg[0].parray, array.parray) << "the caller's array is untouched";
    VariantClear(&array);
}

TEST_F(DispatchInvokeTest, InOutStringAndVariant) {
    BSTR text = SysAllocString(u"ab");
    VARIANT suffix = make(VT_BSTR);
    suffix.bstrVal = SysAllocString(u"cd");
    ASSERT_EQ(invoke({5, DISPATCH_METHOD, {ref(VT_BSTR, &text), suffix}}, nullptr), S_OK);
    EXPECT_EQ(narrow(text), "abcd");
    SysFreeString(text);
    VariantClear(&suffix);

    // A by-reference VARIANT holding an array: reversed in place.
    VARIANT holder = make(VT_ARRAY | VT_BSTR);
    holder.parray = SafeArrayCreateVector(VT_BSTR, 0, 3);
    const char16_t* words[3] = {u"x", u"y", u"z"};
    for (LONG i = 0; i < 3; ++i) {
        BSTR w = SysAllocString(words[i]);
        SafeArrayPutElement(holder.parray, &i, w);
        SysFreeString(w);
    }
    ASSERT_EQ(invoke({15, DISPATCH_METHOD, {ref(VT_VARIANT, &holder)}}, nullptr), S_OK);
    BSTR first = nullptr;
    LONG zero = 0;
    SafeArrayGetElement(holder.parray, &zero, &first);
    EXPECT_EQ(narrow(first), "z");
    SysFreeString(first);
    VariantClear(&holder);
}

TEST_F(DispatchInvokeTest, PropertiesNeedTheNamedValue) {
    VARIANT result = make(VT_EMPTY);
    ASSERT_EQ(invoke({10, DISPATCH_PROPERTYPUT, {}, {i4(7)}, {DISPID_PROPERTYPUT}}, nullptr), S_OK);
    ASSERT_EQ(invoke({10, DISPATCH_PROPERTYGET, {}}, &result), S_OK);
    EXPECT_EQ(show(result), "I4:7");
    UINT argErr = 777;
    EXPECT_EQ(invoke({10, DISPATCH_PROPERTYPUT, {i4(8)}}, nullptr, &argErr), DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(invoke({10, DISPATCH_METHOD, {}}, &result), DISP_E_MEMBERNOTFOUND);
}

TEST_F(DispatchInvokeTest, FailuresAndResults) {
    EXCEPINFO ex;
    ex.bstrSource = reinterpret_cast<BSTR>(1);  // must be overwritten
    EXPECT_EQ(invoke({9, DISPATCH_METHOD, {i4(E_FAIL)}}, nullptr, nullptr, &ex), DISP_E_EXCEPTION);
    EXPECT_EQ(ex.scode, E_FAIL);
    EXPECT_EQ(ex.bstrSource, nullptr);
    EXPECT_EQ(invoke({9, DISPATCH_METHOD, {i4(E_FAIL)}}, nullptr), DISP_E_EXCEPTION);
    EXPECT_EQ(invoke({9, DISPATCH_METHOD, {i4(S_FALSE)}}, nullptr), S_OK) << "success codes pass";
    EXPECT_EQ(invoke({1, DISPATCH_METHOD, {i4(1), i4(1)}}, nullptr, nullptr, nullptr, IID_IDispatch),
              DISP_E_UNKNOWNINTERFACE);
    // A string result without a result VARIANT is freed, not leaked (ASan).
    VARIANT s = make(VT_BSTR);
    s.bstrVal = SysAllocString(u"q");
    EXPECT_EQ(invoke({2, DISPATCH_METHOD, {s, s}}, nullptr), S_OK);
    VariantClear(&s);
    EXPECT_EQ(DispInvoke(m_disp, nullptr, 1, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
}

TEST_F(DispatchInvokeTest, StringArrayResult) {
    VARIANT result = make(VT_EMPTY);
    ASSERT_EQ(invoke({6, DISPATCH_METHOD, {i4(3), i4(2)}}, &result), S_OK);
    ASSERT_EQ(result.vt, VT_ARRAY | VT_BSTR);
    BSTR* data;
    SafeArrayAccessData(result.parray, reinterpret_cast<void**>(&data));
    EXPECT_EQ(narrow(data[0]), "ab");
    EXPECT_EQ(narrow(data[2]), "cd");
    SafeArrayUnaccessData(result.parray);
    VariantClear(&result);
}

} // namespace
