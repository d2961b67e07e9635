// varsvc-call's JSON output: strings from UTF-16 with their escapes,
// numbers and dates, VARIANTs of every kind the interface returns, arrays,
// and the static checks of calls against the interface's members.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "platform/Bstr.h"
#include "platform/SafeArray.h"
#include "tools/varsvc-call/CallJson.h"
#include "tools/varsvc-call/CallRunner.h"

using namespace varsvccall;

namespace {

TEST(VarsvcCallJson, Strings) {
    struct Case {
        std::u16string text;
        const char* expected;
    } const cases[] = {
        {u"", "\"\""},
        {u"plain", "\"plain\""},
        {u"say \"hi\" \\ there", "\"say \\\"hi\\\" \\\\ there\""},
        {std::u16string(u"a\0b", 3), "\"a\\u0000b\""},
        {u"\n\t\x1f", "\"\\u000a\\u0009\\u001f\""},
        {u"\u00fc\u20ac", "\"\xc3\xbc\xe2\x82\xac\""},
        {u"\U0001F600", "\"\xf0\x9f\x98\x80\""},
        {u"x\xd800y", "\"x\\ud800y\""},
        {u"\xdc00", "\"\\udc00\""},
        {u"\x7f/", "\"\x7f/\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(JsonString(c.text.data(), c.text.size()), c.expected);
    }
    EXPECT_EQ(JsonBstr(nullptr), "null");
    BSTR empty = SysAllocString(u"");
    EXPECT_EQ(JsonBstr(empty), "\"\"");
    SysFreeString(empty);
}

TEST(VarsvcCallJson, NumbersDatesAndStatus) {
    struct Case {
        double value;
        const char* expected;
    } const cases[] = {
        {0.0, "0"},
        {30682.0, "30682"},
        {37147.574074074073, "37147.57407407407"},
        {-1.5, "-1.5"},
        {1e300, "1e+300"},
        {std::numeric_limits<double>::quiet_NaN(), "null"},
        {std::numeric_limits<double>::infinity(), "null"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(JsonDouble(c.value), c.expected);
    }
    EXPECT_EQ(HexStatus(S_OK), "0x00000000");
    EXPECT_EQ(HexStatus(E_FAIL), "0x80004005");
    EXPECT_EQ(HexStatus(DISP_E_TYPEMISMATCH), "0x80020005");
}

TEST(VarsvcCallJson, Variants) {
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(JsonVariant(v), "null");
    v.vt = VT_NULL;
    EXPECT_EQ(JsonVariant(v), "null");
    v.vt = VT_I2;
    v.iVal = -32768;
    EXPECT_EQ(JsonVariant(v), "-32768");
    v.vt = VT_I4;
    v.lVal = 67108881;
    EXPECT_EQ(JsonVariant(v), "67108881");
    v.vt = VT_DATE;
    v.date = 30682.5;
    EXPECT_EQ(JsonVariant(v), "30682.5");
    v.vt = VT_BOOL;
    v.boolVal = VARIANT_TRUE;
    EXPECT_EQ(JsonVariant(v), "true");
    v.vt = VT_BSTR;
    v.bstrVal = nullptr;
    EXPECT_EQ(JsonVariant(v), "null");

    SHORT s = 12;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_I2;
    ref.piVal = &s;
    EXPECT_EQ(JsonVariant(ref), "12");
    VARIANT inner;
    VariantInit(&inner);
    inner.vt = VT_I4;
    inner.lVal = 5;
    ref.vt = VT_BYREF | VT_VARIANT;
    ref.pvarVal = &inner;
    EXPECT_EQ(JsonVariant(ref), "5");

    VARIANT unknown;
    VariantInit(&unknown);
    unknown.vt = VT_UNKNOWN;
    unknown.punkVal = nullptr;
    EXPECT_EQ(JsonVariant(unknown), "\"<type 13>\"");
}

TEST(VarsvcCallJson, Arrays) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = SafeArrayCreateVector(VT_BSTR, 0, 3);
    LONG i = 0;
    BSTR a = SysAllocString(u"a\"b");
    SafeArrayPutElement(v.parray, &i, a);
    SysFreeString(a);
    i = 2;
    BSTR e = SysAllocString(u"");
    SafeArrayPutElement(v.parray, &i, e);
    SysFreeString(e);
    EXPECT_EQ(JsonVariant(v), "[\"a\\\"b\", null, \"\"]");
    VariantClear(&v);

    v.vt = VT_ARRAY | VT_I2;
    v.parray = SafeArrayCreateVector(VT_I2, 0, 0);
    EXPECT_EQ(JsonVariant(v), "[]");
    VariantClear(&v);

    v.vt = VT_ARRAY | VT_I4;
    v.parray = SafeArrayCreateVector(VT_I4, 5, 2);
    i = 6;
    LONG value = -7;
    SafeArrayPutElement(v.parray, &i, &value);
    EXPECT_EQ(JsonVariant(v), "[0, -7]") << "a lower bound other than 0";
    VariantClear(&v);

    v.vt = VT_ARRAY | VT_VARIANT;
    v.parray = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    VARIANT element;
    VariantInit(&element);
    element.vt = VT_I2;
    element.iVal = 3;
    i = 1;
    SafeArrayPutElement(v.parray, &i, &element);
    EXPECT_EQ(JsonVariant(v), "[null, 3]");
    VariantClear(&v);

    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    v.vt = VT_ARRAY | VT_I2;
    v.parray = SafeArrayCreate(VT_I2, 2, bounds);
    EXPECT_EQ(JsonVariant(v), "[0, 0, 0, 0]") << "every element in memory order";
    VariantClear(&v);

    v.vt = VT_ARRAY | VT_I2;
    v.parray = nullptr;
    EXPECT_EQ(JsonVariant(v), "null");
}

// "ok" or "L:C message" of CheckCall on one parsed line.
std::string Check(const std::string& line) {
    Call call;
    bool hasCall = false;
    ScriptError error;
    if (!ParseCallLine(line, 1, call, hasCall, error) || !hasCall)
        return "parse error";
    if (!CheckCall(call, error))
        return std::to_string(error.line) + ":" + std::to_string(error.column) + " " + error.message;
    return "ok";
}

TEST(VarsvcCallCheck, CallsAgainstTheInterface) {
    struct Case {
        const char* line;
        const char* expected;
    } const cases[] = {
        {"Login(0, \"tool\")", "ok"},
        {"login(_, null)", "ok"},
        {"LOGIN($Handle, \"x\")", "ok"},
        {"Login(0)", "1:1 Login takes 2 arguments, not 1"},
        {"Login(0, \"a\", 1)", "1:1 Login takes 2 arguments, not 3"},
        {"Login(0, 1)", "1:10 Name: a string or null expected"},
        {"Login(\"0\", \"a\")", "1:7 Handle: an integer expected"},
        {"Launch()", "1:1 unknown member 'Launch'"},
        {"ProjOpen(_, \"p\")", "1:10 Handle: '_' stands for an output's default; this parameter is an input"},
        {"ProjOpen(none, \"p\")", "ok"},
        {"Logout($Handle, 70000)", "ok"},
        {"GetTypeName($Handle, 1, 5)", "1:25 TypeName: a string or null expected"},
        {"GetTypeSize($Handle, 1, _)", "ok"},
        {"GetVarInfoBlockEx($Handle, _, 40000, _, _, none, none, _, _, _, _, _, _, none)",
         "1:31 NumberReq: a 16-bit integer expected"},
        {"GetVarInfoBlockEx($Handle, _, -5, _, _, none, none, _, _, _, _, _, _, none)", "ok"},
        {"GetTypeIds($Handle, bstr[\"INT\", null], _)", "ok"},
        {"GetTypeNames($Handle, i2[1, 2], i4[3])", "ok"},
        {"ExecRequ(86)", "ok"},
        {"ExecRequ(\"x\")", "ok"},
        {"ConvRelMsecDate2DateMsec(0, 0, _, _)", "ok"},
        {"ConvRelMsecDate2DateMsec(0, 0, \"d\", _)", "1:32 Date: an integer expected"},
        {"GetStateRamLayout(0, _, _, _, _, _, _, _, _, _)", "ok"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(Check(c.line), c.expected);
    }
    EXPECT_NE(FindMember("GetNamedVarInfo2Ex"), nullptr);
    EXPECT_EQ(FindMember("GetNamedVarInfo2Ex")->dispid, 35);
    EXPECT_EQ(FindMember("rc"), nullptr);
}

} // namespace
