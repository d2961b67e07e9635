// VARIANT life cycle: VariantInit, VariantClear, VariantCopy, VariantCopyInd
// and who owns what.
#include <gtest/gtest.h>

#include <string>

#include "platform/Bstr.h"
#include "platform/ComBase.h"
#include "platform/OleMemory.h"
#include "platform/SafeArray.h"
#include "platform/Variant.h"

using korvane::platform::OleFailAllocationAfter;
using korvane::platform::VariantTypeIsValid;

namespace {

// An IDispatch that only counts its references.
class CountedObject final : public IDispatch {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *out = this;
            ++refs;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    ULONG refs = 1;
};

TEST(VariantTest, InitMakesEmpty) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.wReserved1 = 7;
    VariantInit(&v);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(v.wReserved1, 0);
}

TEST(VariantTest, TypeValidity) {
    struct Case {
        VARTYPE vt;
        bool valid;
    };
    const Case cases[] = {
        {VT_EMPTY, true},
        {VT_NULL, true},
        {VT_I4, true},
        {VT_BSTR, true},
        {VT_VARIANT, false},
        {VT_BYREF | VT_VARIANT, true},
        {VT_ARRAY | VT_VARIANT, true},
        {VT_ARRAY | VT_BSTR, true},
        {VT_BYREF | VT_ARRAY | VT_I2, true},
        {VT_ARRAY | VT_EMPTY, false},
        {VT_BYREF | VT_NULL, false},
        {VT_DECIMAL, false},
        {VT_RECORD, false},
        {VT_VECTOR | VT_I4, false},
        {15, false},
        {VT_ILLEGAL, false},
        {VT_RESERVED | VT_I4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "vt 0x" << std::hex << c.vt);
        EXPECT_EQ(VariantTypeIsValid(c.vt), c.valid);
    }
}

TEST(VariantTest, ClearFreesWhatByValueOwns) {
    CountedObject obj;
    VARIANT v;

    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(u"owned");
    EXPECT_EQ(VariantClear(&v), S_OK);  // ASan reports a leak otherwise
    EXPECT_EQ(v.vt, VT_EMPTY);

    v.vt = VT_DISPATCH;
    v.pdispVal = &obj;
    obj.AddRef();
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(obj.refs, 1u) << "the reference was released";

    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = SafeArrayCreateVector(VT_BSTR, 0, 2);
    LONG i = 0;
    BSTR element = SysAllocString(u"x");
    SafeArrayPutElement(v.parray, &i, element);  // stores a copy
    SysFreeString(element);
    EXPECT_EQ(VariantClear(&v), S_OK);  // frees the array and its copy
}

TEST(VariantTest, ClearOfReferenceFreesNothing) {
    BSTR owner = SysAllocString(u"still mine");
    VARIANT v;
    v.vt = VT_BYREF | VT_BSTR;
    v.pbstrVal = &owner;
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(std::u16string(owner), u"still mine");
    SysFreeString(owner);
}

TEST(VariantTest, ClearRefusesBadTypeAndLockedArray) {
    VARIANT v;
    v.vt = VT_DECIMAL;
    EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
    EXPECT_EQ(v.vt, VT_DECIMAL) << "left as it is";
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);

    v.vt = VT_ARRAY | VT_I4;
    v.parray = SafeArrayCreateVector(VT_I4, 0, 1);
    SafeArrayLock(v.parray);
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_I4);
    SafeArrayUnlock(v.parray);
    EXPECT_EQ(VariantClear(&v), S_OK);
}

TEST(VariantTest, CopyIsDeep) {
    CountedObject obj;
    VARIANT src, dst;
    VariantInit(&dst);

    src.vt = VT_BSTR;
    src.bstrVal = SysAllocStringLen(u"a\0b", 3);
    ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
    EXPECT_NE(dst.bstrVal, src.bstrVal) << "a new string";
    EXPECT_EQ(std::u16string(dst.bstrVal, SysStringLen(dst.bstrVal)), std::u16string(u"a\0b", 3));
    VariantClear(&src);

    src.vt = VT_BSTR;
    src.bstrVal = nullptr;
    ASSERT_EQ(VariantCopy(&dst, &src), S_OK);  // also frees dst's old string
    EXPECT_EQ(dst.vt, VT_BSTR);
    EXPECT_EQ(dst.bstrVal, nullptr) << "a null string stays null";

    src.vt = VT_UNKNOWN;
    src.punkVal = &obj;
    ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
    EXPECT_EQ(obj.refs, 2u);
    VariantClear(&dst);
    EXPECT_EQ(obj.refs, 1u);

    src.vt = VT_ARRAY | VT_I4;
    src.parray = SafeArrayCreateVector(VT_I4, 5, 2);
    ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
    EXPECT_NE(dst.parray, src.parray);
    LONG lb = 0;
    SafeArrayGetLBound(dst.parray, 1, &lb);
    EXPECT_EQ(lb, 5);
    VariantClear(&src);
    VariantClear(&dst);
}

TEST(VariantTest, CopyOfReferenceCopiesPointer) {
    LONG cell = 42;
    VARIANT src, dst;
    VariantInit(&dst);
    src.vt = VT_BYREF | VT_I4;
    src.plVal = &cell;
    ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
    EXPECT_EQ(dst.vt, VT_BYREF | VT_I4);
    EXPECT_EQ(dst.plVal, &cell);
}

TEST(VariantTest, CopyOntoItselfAndErrors) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(u"same");
    EXPECT_EQ(VariantCopy(&v, &v), S_OK);
    EXPECT_EQ(std::u16string(v.bstrVal), u"same");
    VariantClear(&v);

    VARIANT bad;
    bad.vt = 0x7F;
    EXPECT_EQ(VariantCopy(&v, &bad), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantCopy(nullptr, &v), E_INVALIDARG);
}

TEST(VariantTest, CopyOutOfMemoryLeavesEmpty) {
    VARIANT src, dst;
    src.vt = VT_BSTR;
    src.bstrVal = SysAllocString(u"text");
    dst.vt = VT_I4;
    dst.lVal = 3;
    OleFailAllocationAfter(1);
    EXPECT_EQ(VariantCopy(&dst, &src), E_OUTOFMEMORY);
    EXPECT_EQ(dst.vt, VT_EMPTY);
    VariantClear(&src);
}

TEST(VariantTest, CopyIndDereferencesOneLevel) {
    BSTR text = SysAllocString(u"deref");
    SHORT small = -7;
    VARIANT inner;
    inner.vt = VT_I4;
    inner.lVal = 99;
    VARIANT refToRef;
    refToRef.vt = VT_BYREF | VT_VARIANT;
    refToRef.pvarVal = &refToRef;  // a reference to a reference

    struct Case {
        const char* name;
        VARIANT src;
        HRESULT hr;
        VARTYPE vt;
    };
    VARIANT a, b, c, d;
    a.vt = VT_BYREF | VT_BSTR;
    a.pbstrVal = &text;
    b.vt = VT_BYREF | VT_I2;
    b.piVal = &small;
    c.vt = VT_BYREF | VT_VARIANT;
    c.pvarVal = &inner;
    d.vt = VT_BYREF | VT_VARIANT;
    d.pvarVal = &refToRef;
    const Case cases[] = {
        {"string reference", a, S_OK, VT_BSTR},
        {"short reference", b, S_OK, VT_I2},
        {"variant reference", c, S_OK, VT_I4},
        {"reference to a variant reference", d, E_INVALIDARG, VT_EMPTY},
    };
    for (const Case& cs : cases) {
        SCOPED_TRACE(cs.name);
        VARIANT dst;
        VariantInit(&dst);
        EXPECT_EQ(VariantCopyInd(&dst, &cs.src), cs.hr);
        EXPECT_EQ(dst.vt, cs.vt);
        VariantClear(&dst);
    }

    VARIANT dst;
    VariantInit(&dst);
    ASSERT_EQ(VariantCopyInd(&dst, &a), S_OK);
    EXPECT_NE(dst.bstrVal, text) << "the string is copied, the caller keeps its own";
    VariantClear(&dst);

    // In place: the reference is replaced by an owned copy of its target.
    VARIANT inPlace = b;
    ASSERT_EQ(VariantCopyInd(&inPlace, &inPlace), S_OK);
    EXPECT_EQ(inPlace.vt, VT_I2);
    EXPECT_EQ(inPlace.iVal, -7);
    SysFreeString(text);
}

} // namespace
