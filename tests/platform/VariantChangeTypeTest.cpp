// VariantChangeType: the integer, real, boolean, currency, string and date
// coercions, their range checks and rounding, and their failures.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "platform/Bstr.h"
#include "platform/SafeArray.h"
#include "platform/Variant.h"

namespace {

VARIANT make(VARTYPE vt) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.llVal = 0;
    return v;
}
VARIANT i4(LONG x) { VARIANT v = make(VT_I4); v.lVal = x; return v; }
VARIANT i8(LONGLONG x) { VARIANT v = make(VT_I8); v.llVal = x; return v; }
VARIANT ui8(ULONGLONG x) { VARIANT v = make(VT_UI8); v.ullVal = x; return v; }
VARIANT r8(double x) { VARIANT v = make(VT_R8); v.dblVal = x; return v; }
VARIANT date(double x) { VARIANT v = make(VT_DATE); v.date = x; return v; }
VARIANT boolean(bool x) { VARIANT v = make(VT_BOOL); v.boolVal = x ? VARIANT_TRUE : VARIANT_FALSE; return v; }
VARIANT cy(LONGLONG scaled) { VARIANT v = make(VT_CY); v.cyVal.int64 = scaled; return v; }
VARIANT error(SCODE s) { VARIANT v = make(VT_ERROR); v.scode = s; return v; }

// The value of a result as "TYPE:value" text, to compare in tables.
std::string show(const VARIANT& v) {
    switch (v.vt) {
    case VT_EMPTY: return "EMPTY";
    case VT_NULL: return "NULL";
    case VT_I1: return "I1:" + std::to_string(static_cast<int>(static_cast<signed char>(v.cVal)));
    case VT_UI1: return "UI1:" + std::to_string(v.bVal);
    case VT_I2: return "I2:" + std::to_string(v.iVal);
    case VT_UI2: return "UI2:" + std::to_string(v.uiVal);
    case VT_I4: return "I4:" + std::to_string(v.lVal);
    case VT_UI4: return "UI4:" + std::to_string(v.ulVal);
    case VT_INT: return "INT:" + std::to_string(v.intVal);
    case VT_UINT: return "UINT:" + std::to_string(v.uintVal);
    case VT_I8: return "I8:" + std::to_string(v.llVal);
    case VT_UI8: return "UI8:" + std::to_string(v.ullVal);
    case VT_R4: return "R4:" + std::to_string(v.fltVal);
    case VT_R8: return "R8:" + std::to_string(v.dblVal);
    case VT_DATE: return "DATE:" + std::to_string(v.date);
    case VT_CY: return "CY:" + std::to_string(v.cyVal.int64);
    case VT_BOOL: return "BOOL:" + std::to_string(v.boolVal);
    case VT_BSTR: {
        if (!v.bstrVal)
            return "BSTR:null";
        std::string s;
        for (UINT i = 0; i < SysStringLen(v.bstrVal); ++i)
            s += static_cast<char>(v.bstrVal[i]);
        return "BSTR:" + s;
    }
    default: return "vt " + std::to_string(v.vt);
    }
}

struct Case {
    const char* name;
    VARIANT src;
    VARTYPE vt;
    HRESULT hr;
    std::string expected;  // show() of the result; unused on failure
    USHORT flags = 0;
};

void run(const Case* cases, size_t n) {
    for (size_t k = 0; k < n; ++k) {
        const Case& c = cases[k];
        SCOPED_TRACE(c.name);
        VARIANT dst = i4(-12345);  // a failure must leave it alone
        HRESULT hr = VariantChangeType(&dst, &c.src, c.flags, c.vt);
        EXPECT_EQ(hr, c.hr) << std::hex << hr;
        if (c.hr == S_OK) {
            EXPECT_EQ(show(dst), c.expected);
        } else {
            EXPECT_EQ(show(dst), "I4:-12345");
        }
        VariantClear(&dst);
    }
}

// A BSTR-holding source; the table owns it until the end of the test.
struct Text {
    explicit Text(const char16_t* s) : v(make(VT_BSTR)) { v.bstrVal = SysAllocString(s); }
    ~Text() { VariantClear(&v); }
    VARIANT v;
};

TEST(VariantChangeTypeTest, IntegerRangeBoundaries) {
    const Case cases[] = {
        {"I1 maximum", i4(127), VT_I1, S_OK, "I1:127"},
        {"I1 one past maximum", i4(128), VT_I1, DISP_E_OVERFLOW, ""},
        {"I1 minimum", i4(-128), VT_I1, S_OK, "I1:-128"},
        {"I1 one past minimum", i4(-129), VT_I1, DISP_E_OVERFLOW, ""},
        {"UI1 maximum", i4(255), VT_UI1, S_OK, "UI1:255"},
        {"UI1 one past maximum", i4(256), VT_UI1, DISP_E_OVERFLOW, ""},
        {"UI1 from negative", i4(-1), VT_UI1, DISP_E_OVERFLOW, ""},
        {"I2 maximum", i4(32767), VT_I2, S_OK, "I2:32767"},
        {"I2 one past maximum", i4(32768), VT_I2, DISP_E_OVERFLOW, ""},
        {"I2 minimum", i4(-32768), VT_I2, S_OK, "I2:-32768"},
        {"UI2 maximum", i4(65535), VT_UI2, S_OK, "UI2:65535"},
        {"I4 from I8 maximum", i8(2147483647), VT_I4, S_OK, "I4:2147483647"},
        {"I4 from I8 one past", i8(2147483648LL), VT_I4, DISP_E_OVERFLOW, ""},
        {"I4 from I8 minimum", i8(-2147483648LL), VT_I4, S_OK, "I4:-2147483648"},
        {"UI4 from I4 negative", i4(-1), VT_UI4, DISP_E_OVERFLOW, ""},
        {"UI4 from I8 maximum", i8(4294967295LL), VT_UI4, S_OK, "UI4:4294967295"},
        {"INT is 32-bit", i8(2147483648LL), VT_INT, DISP_E_OVERFLOW, ""},
        {"I8 from UI8 past maximum", ui8(9223372036854775808ULL), VT_I8, DISP_E_OVERFLOW, ""},
        {"UI8 from UI8 maximum", ui8(UINT64_MAX), VT_UI8, S_OK, "UI8:18446744073709551615"},
        {"UI8 from negative", i4(-1), VT_UI8, DISP_E_OVERFLOW, ""},
        {"I4 from empty", make(VT_EMPTY), VT_I4, S_OK, "I4:0"},
        {"I4 from null", make(VT_NULL), VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"I4 from error", error(E_FAIL), VT_I4, DISP_E_TYPEMISMATCH, ""},
    };
    run(cases, std::size(cases));
}

TEST(VariantChangeTypeTest, RealsRoundHalfToEven) {
    const Case cases[] = {
        {"0.5 to 0", r8(0.5), VT_I4, S_OK, "I4:0"},
        {"1.5 to 2", r8(1.5), VT_I4, S_OK, "I4:2"},
        {"2.5 to 2", r8(2.5), VT_I4, S_OK, "I4:2"},
        {"3.5 to 4", r8(3.5), VT_I4, S_OK, "I4:4"},
        {"-2.5 to -2", r8(-2.5), VT_I4, S_OK, "I4:-2"},
        {"2.6 to 3", r8(2.6), VT_I4, S_OK, "I4:3"},
        {"just below I4 maximum", r8(2147483647.4), VT_I4, S_OK, "I4:2147483647"},
        {"rounds past I4 maximum", r8(2147483647.5), VT_I4, DISP_E_OVERFLOW, ""},
        {"rounds to I4 minimum", r8(-2147483648.5), VT_I4, S_OK, "I4:-2147483648"},
        {"UI1 from -0.4", r8(-0.4), VT_UI1, S_OK, "UI1:0"},
        {"not a number", r8(std::nan("")), VT_I4, DISP_E_OVERFLOW, ""},
        {"infinity", r8(INFINITY), VT_I2, DISP_E_OVERFLOW, ""},
        {"R4 from too large R8", r8(1e39), VT_R4, DISP_E_OVERFLOW, ""},
        {"R4 from R8", r8(0.25), VT_R4, S_OK, "R4:0.250000"},
        {"R8 from I4", i4(-3), VT_R8, S_OK, "R8:-3.000000"},
        {"I4 from date rounds", date(30682.5), VT_I4, S_OK, "I4:30682"},
    };
    run(cases, std::size(cases));
}

TEST(VariantChangeTypeTest, BooleansAndCurrency) {
    const Case cases[] = {
        {"true to I4 is -1", boolean(true), VT_I4, S_OK, "I4:-1"},
        {"true to UI1 is all bits", boolean(true), VT_UI1, S_OK, "UI1:255"},
        {"true to UI2 is all bits", boolean(true), VT_UI2, S_OK, "UI2:65535"},
        {"false to UI1", boolean(false), VT_UI1, S_OK, "UI1:0"},
        {"non-zero to true", i4(5), VT_BOOL, S_OK, "BOOL:-1"},
        {"zero to false", i4(0), VT_BOOL, S_OK, "BOOL:0"},
        {"small real to true", r8(0.1), VT_BOOL, S_OK, "BOOL:-1"},
        {"currency 2.5 to I4", cy(25000), VT_I4, S_OK, "I4:2"},
        {"currency 3.5 to I4", cy(35000), VT_I4, S_OK, "I4:4"},
        {"currency -2.5 to I4", cy(-25000), VT_I4, S_OK, "I4:-2"},
        {"currency 1.23456 from R8", r8(1.23456), VT_CY, S_OK, "CY:12346"},
        {"currency from I4", i4(-7), VT_CY, S_OK, "CY:-70000"},
        {"currency overflow", i8(INT64_MAX), VT_CY, DISP_E_OVERFLOW, ""},
        {"currency from true", boolean(true), VT_CY, S_OK, "CY:-10000"},
    };
    run(cases, std::size(cases));
}

TEST(VariantChangeTypeTest, TextToNumbers) {
    Text empty(u""), blanks(u"   "), plain(u"42"), spaced(u" -17 "), grouped(u"1,000"),
        half(u"2.5"), exp(u"1e3"), letters(u"abc"), trailing(u"12abc"), big(u"99999999999"),
        huge(u"1e400"), comma(u","), doubleComma(u"1,,000"), dot(u".5"), dotEnd(u"5."),
        plus(u"+8"), expNoDigits(u"1e"), nonAscii(u"\u0661"), trueText(u" True "),
        falseText(u"FALSE"), seven(u"7"), yes(u"yes");
    VARIANT nullText = make(VT_BSTR);
    const Case cases[] = {
        {"empty text", empty.v, VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"null string reads as empty", nullText, VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"blanks only", blanks.v, VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"plain", plain.v, VT_I4, S_OK, "I4:42"},
        {"blanks and sign", spaced.v, VT_I4, S_OK, "I4:-17"},
        {"plus sign", plus.v, VT_I2, S_OK, "I2:8"},
        {"thousands separator", grouped.v, VT_I4, S_OK, "I4:1000"},
        {"fraction rounds half to even", half.v, VT_I4, S_OK, "I4:2"},
        {"exponent", exp.v, VT_I4, S_OK, "I4:1000"},
        {"letters", letters.v, VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"trailing letters", trailing.v, VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"too large for I4", big.v, VT_I4, DISP_E_OVERFLOW, ""},
        {"fits I8", big.v, VT_I8, S_OK, "I8:99999999999"},
        {"too large for a double", huge.v, VT_R8, DISP_E_OVERFLOW, ""},
        {"lone comma", comma.v, VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"two commas", doubleComma.v, VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"leading point", dot.v, VT_R8, S_OK, "R8:0.500000"},
        {"trailing point", dotEnd.v, VT_R8, S_OK, "R8:5.000000"},
        {"exponent without digits", expNoDigits.v, VT_R8, DISP_E_TYPEMISMATCH, ""},
        {"non-ASCII digit", nonAscii.v, VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"True", trueText.v, VT_BOOL, S_OK, "BOOL:-1"},
        {"FALSE", falseText.v, VT_BOOL, S_OK, "BOOL:0"},
        {"number to boolean", seven.v, VT_BOOL, S_OK, "BOOL:-1"},
        {"yes is no boolean", yes.v, VT_BOOL, DISP_E_TYPEMISMATCH, ""},
    };
    run(cases, std::size(cases));
}

TEST(VariantChangeTypeTest, ValuesToText) {
    const Case cases[] = {
        {"empty to empty text", make(VT_EMPTY), VT_BSTR, S_OK, "BSTR:"},
        {"null has no text", make(VT_NULL), VT_BSTR, DISP_E_TYPEMISMATCH, ""},
        {"error has no text", error(E_FAIL), VT_BSTR, DISP_E_TYPEMISMATCH, ""},
        {"negative integer", i4(-5), VT_BSTR, S_OK, "BSTR:-5"},
        {"UI8 maximum", ui8(UINT64_MAX), VT_BSTR, S_OK, "BSTR:18446744073709551615"},
        {"real one tenth", r8(0.1), VT_BSTR, S_OK, "BSTR:0.1"},
        {"real small", r8(1.5e-7), VT_BSTR, S_OK, "BSTR:1.5E-07"},
        {"real large", r8(1e20), VT_BSTR, S_OK, "BSTR:1E+20"},
        {"real 15 digits", r8(123456789012345678.0), VT_BSTR, S_OK, "BSTR:1.23456789012346E+17"},
        {"real zero", r8(-0.0), VT_BSTR, S_OK, "BSTR:0"},
        {"boolean numeric", boolean(true), VT_BSTR, S_OK, "BSTR:-1"},
        {"boolean alpha", boolean(true), VT_BSTR, S_OK, "BSTR:True", VARIANT_ALPHABOOL},
        {"boolean false alpha", boolean(false), VT_BSTR, S_OK, "BSTR:False", VARIANT_LOCALBOOL},
        {"currency", cy(15000), VT_BSTR, S_OK, "BSTR:1.5"},
        {"currency smallest", cy(-1), VT_BSTR, S_OK, "BSTR:-0.0001"},
        {"date day zero is a time", date(0), VT_BSTR, S_OK, "BSTR:12:00:00 AM"},
        {"date only", date(2), VT_BSTR, S_OK, "BSTR:1/1/1900"},
        {"date and time", date(30682.75), VT_BSTR, S_OK, "BSTR:1/1/1984 6:00:00 PM"},
        {"date out of range", date(3e6), VT_BSTR, E_INVALIDARG, ""},
    };
    run(cases, std::size(cases));
}

TEST(VariantChangeTypeTest, TextAndNumbersToDates) {
    Text us(u"1/1/1984"), iso(u"1984-01-01 12:00:00"), isoT(u"1984-01-01T06:00"), time(u"12:00 PM"),
        bad(u"2/30/2020"), twoDigit(u"1/2/29"), junk(u"soon"), leap(u"2/29/2000"),
        noLeap(u"2/29/1900"), tooEarly(u"12/31/99"), isoTNoTime(u"1984-01-01T"), pm13(u"13:00 PM");
    const Case cases[] = {
        {"United States form", us.v, VT_DATE, S_OK, "DATE:30682.000000"},
        {"ISO form with time", iso.v, VT_DATE, S_OK, "DATE:30682.500000"},
        {"ISO form with T", isoT.v, VT_DATE, S_OK, "DATE:30682.250000"},
        {"ISO T without time", isoTNoTime.v, VT_DATE, DISP_E_TYPEMISMATCH, ""},
        {"time alone is day zero", time.v, VT_DATE, S_OK, "DATE:0.500000"},
        {"hour 13 with PM", pm13.v, VT_DATE, DISP_E_TYPEMISMATCH, ""},
        {"no 30th of February", bad.v, VT_DATE, DISP_E_TYPEMISMATCH, ""},
        {"leap day of 2000", leap.v, VT_DATE, S_OK, "DATE:36585.000000"},
        {"1900 is no leap year", noLeap.v, VT_DATE, DISP_E_TYPEMISMATCH, ""},
        {"two-digit year 29 is 2029", twoDigit.v, VT_DATE, S_OK, "DATE:47120.000000"},
        {"two-digit year 99 is 1999", tooEarly.v, VT_DATE, S_OK, "DATE:36525.000000"},
        {"not a date", junk.v, VT_DATE, DISP_E_TYPEMISMATCH, ""},
        {"number to date", r8(1.5), VT_DATE, S_OK, "DATE:1.500000"},
        {"earliest date", r8(-657434.0), VT_DATE, S_OK, "DATE:-657434.000000"},
        {"before earliest date", r8(-657434.5), VT_DATE, DISP_E_OVERFLOW, ""},
        {"after latest date", r8(2958466.0), VT_DATE, DISP_E_OVERFLOW, ""},
    };
    run(cases, std::size(cases));
}

TEST(VariantChangeTypeTest, TypeRules) {
    LONG cell = 77;
    VARIANT ref = make(VT_BYREF | VT_I4);
    ref.plVal = &cell;
    VARIANT nullRef = make(VT_BYREF | VT_I4);
    nullRef.plVal = nullptr;
    VARIANT bad = make(0x7F);
    VARIANT arr = make(VT_ARRAY | VT_I4);
    arr.parray = SafeArrayCreateVector(VT_I4, 0, 3);
    const Case cases[] = {
        {"reference is dereferenced", ref, VT_I2, S_OK, "I2:77"},
        {"null reference", nullRef, VT_I2, E_INVALIDARG, ""},
        {"by-reference target", i4(1), VT_BYREF | VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"unknown target", i4(1), VT_DECIMAL, DISP_E_BADVARTYPE, ""},
        {"unknown source", bad, VT_I4, DISP_E_BADVARTYPE, ""},
        {"array to scalar", arr, VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"scalar to array", i4(1), VT_ARRAY | VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"empty to null", make(VT_EMPTY), VT_NULL, S_OK, "NULL"},
        {"number to null", i4(1), VT_NULL, DISP_E_TYPEMISMATCH, ""},
        {"anything to empty", i4(1), VT_EMPTY, S_OK, "EMPTY"},
        {"number to error", i4(1), VT_ERROR, DISP_E_TYPEMISMATCH, ""},
        {"number to interface", i4(1), VT_DISPATCH, DISP_E_TYPEMISMATCH, ""},
    };
    run(cases, std::size(cases));

    // The same array type is a deep copy.
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantChangeType(&copy, &arr, 0, VT_ARRAY | VT_I4), S_OK);
    EXPECT_NE(copy.parray, arr.parray);
    VariantClear(&copy);
    VariantClear(&arr);
}

TEST(VariantChangeTypeTest, InPlaceConversionFreesOldValue) {
    VARIANT v = make(VT_BSTR);
    v.bstrVal = SysAllocString(u"123");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);  // ASan: the string is freed
    EXPECT_EQ(show(v), "I4:123");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(show(v), "BSTR:123");
    // A failing in-place conversion leaves the value.
    EXPECT_EQ(VariantChangeType(&v, &v, 0, VT_DATE), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(show(v), "BSTR:123");
    VariantClear(&v);
}

} // namespace
