// SAFEARRAY creation, bounds, element access, locking, copy, redim and
// destruction, with the ownership of string and variant elements.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "platform/Bstr.h"
#include "platform/OleMemory.h"
#include "platform/SafeArray.h"
#include "platform/Variant.h"

using korvane::platform::OleFailAllocationAfter;

namespace {

std::u16string textOf(BSTR b) { return std::u16string(b ? b : u"", SysStringLen(b)); }

TEST(SafeArrayTest, CreateChecksTypeDimensionsAndBounds) {
    SAFEARRAYBOUND one{3, 0};
    SAFEARRAYBOUND overflow{2, INT32_MAX};
    SAFEARRAYBOUND fits{1, INT32_MAX};
    SAFEARRAYBOUND huge[2] = {{0x80000000u, 0}, {0x80000000u, 0}};
    SAFEARRAYBOUND many[SAFEARRAY_MAX_DIMS + 1];
    for (auto& b : many)
        b = {1, 0};
    struct Case {
        const char* name;
        VARTYPE vt;
        UINT dims;
        SAFEARRAYBOUND* bounds;
        bool created;
        UINT elemSize;
    };
    const Case cases[] = {
        {"zero dimensions", VT_I4, 0, &one, false, 0},
        {"null bounds", VT_I4, 1, nullptr, false, 0},
        {"most dimensions", VT_UI1, SAFEARRAY_MAX_DIMS, many, true, 1},
        {"one dimension too many", VT_UI1, SAFEARRAY_MAX_DIMS + 1, many, false, 0},
        {"upper bound past 32 bits", VT_I4, 1, &overflow, false, 0},
        {"upper bound at 32-bit maximum", VT_I4, 1, &fits, true, 4},
        {"size beyond memory", VT_VARIANT, 2, huge, false, 0},
        {"VT_EMPTY elements", VT_EMPTY, 1, &one, false, 0},
        {"VT_DECIMAL elements", VT_DECIMAL, 1, &one, false, 0},
        {"by-reference element type", VT_BYREF | VT_I4, 1, &one, false, 0},
        {"I1", VT_I1, 1, &one, true, 1},
        {"I2", VT_I2, 1, &one, true, 2},
        {"BOOL", VT_BOOL, 1, &one, true, 2},
        {"I4", VT_I4, 1, &one, true, 4},
        {"R8", VT_R8, 1, &one, true, 8},
        {"DATE", VT_DATE, 1, &one, true, 8},
        {"BSTR", VT_BSTR, 1, &one, true, 8},
        {"VARIANT", VT_VARIANT, 1, &one, true, 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SAFEARRAY* psa = SafeArrayCreate(c.vt, c.dims, c.bounds);
        EXPECT_EQ(psa != nullptr, c.created);
        if (psa) {
            EXPECT_EQ(SafeArrayGetElemsize(psa), c.elemSize);
            EXPECT_EQ(SafeArrayGetDim(psa), c.dims);
            VARTYPE vt = 0;
            EXPECT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
            EXPECT_EQ(vt, c.vt);
            EXPECT_EQ(psa->cLocks, 0u);
        }
        EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    }
}

TEST(SafeArrayTest, BoundsInCallerOrder) {
    SAFEARRAYBOUND bounds[3] = {{2, -1}, {0, 10}, {4, 100}};
    SAFEARRAY* psa = SafeArrayCreate(VT_I2, 3, bounds);
    ASSERT_NE(psa, nullptr);
    struct Case {
        UINT dim;
        HRESULT hr;
        LONG lb, ub;
    };
    const Case cases[] = {
        {0, DISP_E_BADINDEX, 0, 0},
        {1, S_OK, -1, 0},
        {2, S_OK, 10, 9},  // an empty dimension: upper = lower - 1
        {3, S_OK, 100, 103},
        {4, DISP_E_BADINDEX, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "dimension " << c.dim);
        LONG lb = 0, ub = 0;
        EXPECT_EQ(SafeArrayGetLBound(psa, c.dim, &lb), c.hr);
        EXPECT_EQ(SafeArrayGetUBound(psa, c.dim, &ub), c.hr);
        if (c.hr == S_OK) {
            EXPECT_EQ(lb, c.lb);
            EXPECT_EQ(ub, c.ub);
        }
    }
    // Windows keeps the bounds reversed in the descriptor.
    EXPECT_EQ(psa->rgsabound[0].lLbound, 100);
    EXPECT_EQ(psa->rgsabound[2].lLbound, -1);
    EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, nullptr), E_INVALIDARG);
    SafeArrayDestroy(psa);
}

TEST(SafeArrayTest, FirstDimensionVariesFastest) {
    SAFEARRAYBOUND bounds[2] = {{3, 1}, {2, 0}};  // a(1..3, 0..1)
    SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, bounds);
    ASSERT_NE(psa, nullptr);
    for (LONG j = 0; j <= 1; ++j)
        for (LONG i = 1; i <= 3; ++i) {
            LONG idx[2] = {i, j};
            LONG value = i * 10 + j;
            ASSERT_EQ(SafeArrayPutElement(psa, idx, &value), S_OK);
        }
    LONG* data;
    ASSERT_EQ(SafeArrayAccessData(psa, reinterpret_cast<void**>(&data)), S_OK);
    const LONG expected[6] = {10, 20, 30, 11, 21, 31};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(data[k], expected[k]) << "slot " << k;
    SafeArrayUnaccessData(psa);

    struct Case {
        const char* name;
        LONG i, j;
        HRESULT hr;
    };
    const Case cases[] = {
        {"first element", 1, 0, S_OK},
        {"last element", 3, 1, S_OK},
        {"below lower bound", 0, 0, DISP_E_BADINDEX},
        {"past upper bound", 4, 0, DISP_E_BADINDEX},
        {"second index past", 1, 2, DISP_E_BADINDEX},
        {"most negative index", INT32_MIN, 0, DISP_E_BADINDEX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LONG idx[2] = {c.i, c.j};
        LONG value = -1;
        EXPECT_EQ(SafeArrayGetElement(psa, idx, &value), c.hr);
        if (c.hr == S_OK) {
            EXPECT_EQ(value, c.i * 10 + c.j);
        }
        void* p = nullptr;
        EXPECT_EQ(SafeArrayPtrOfIndex(psa, idx, &p), c.hr);
    }
    SafeArrayDestroy(psa);
}

TEST(SafeArrayTest, StringElementsAreCopiedInAndOut) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, 2);
    ASSERT_NE(psa, nullptr);
    BSTR mine = SysAllocString(u"\u00e4 text");
    LONG i = 0;
    ASSERT_EQ(SafeArrayPutElement(psa, &i, mine), S_OK);
    BSTR* data;
    SafeArrayAccessData(psa, reinterpret_cast<void**>(&data));
    EXPECT_NE(data[0], mine) << "the array holds its own copy";
    EXPECT_EQ(data[1], nullptr) << "new elements are null";
    SafeArrayUnaccessData(psa);
    SysFreeString(mine);

    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(psa, &i, &out), S_OK);
    EXPECT_EQ(textOf(out), u"\u00e4 text");
    SysFreeString(out);  // the caller owns what Get returns

    // Overwriting frees the old element; a null BSTR may be stored.
    ASSERT_EQ(SafeArrayPutElement(psa, &i, nullptr), S_OK);
    ASSERT_EQ(SafeArrayGetElement(psa, &i, &out), S_OK);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);  // ASan: every element freed
}

TEST(SafeArrayTest, VariantElements) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(u"inner");
    LONG i = 0;
    ASSERT_EQ(SafeArrayPutElement(psa, &i, &v), S_OK);
    VariantClear(&v);
    VARIANT out;
    out.vt = VT_I4;  // Get overwrites without clearing
    ASSERT_EQ(SafeArrayGetElement(psa, &i, &out), S_OK);
    EXPECT_EQ(out.vt, VT_BSTR);
    EXPECT_EQ(textOf(out.bstrVal), u"inner");
    VariantClear(&out);
    SafeArrayDestroy(psa);
}

TEST(SafeArrayTest, LockingRules) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_I4, 0, 4);
    EXPECT_EQ(SafeArrayUnlock(psa), E_UNEXPECTED) << "not locked";
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    EXPECT_EQ(data, psa->pvData);
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
    SAFEARRAYBOUND b{8, 0};
    EXPECT_EQ(SafeArrayRedim(psa, &b), DISP_E_ARRAYISLOCKED);
    ASSERT_EQ(SafeArrayUnaccessData(psa), S_OK);
    for (int k = 0; k < 0xFFFF; ++k)
        ASSERT_EQ(SafeArrayLock(psa), S_OK);
    EXPECT_EQ(SafeArrayLock(psa), E_UNEXPECTED) << "lock count at its maximum";
    for (int k = 0; k < 0xFFFF; ++k)
        SafeArrayUnlock(psa);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
    EXPECT_EQ(SafeArrayAccessData(nullptr, &data), E_INVALIDARG);
}

TEST(SafeArrayTest, RedimChangesLastDimension) {
    struct Case {
        const char* name;
        ULONG from, to;
        LONG newLower;
    };
    const Case cases[] = {
        {"to empty", 3, 0, 0},
        {"from empty", 0, 3, 0},
        {"shrink frees the tail", 4, 1, 0},
        {"grow zeroes the tail", 2, 5, 0},
        {"new lower bound only", 3, 3, -5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, c.from);
        ASSERT_NE(psa, nullptr);
        for (LONG i = 0; i < static_cast<LONG>(c.from); ++i) {
            BSTR s = SysAllocString(u"element");
            SafeArrayPutElement(psa, &i, s);
            SysFreeString(s);
        }
        SAFEARRAYBOUND b{c.to, c.newLower};
        ASSERT_EQ(SafeArrayRedim(psa, &b), S_OK);
        LONG lb, ub;
        SafeArrayGetLBound(psa, 1, &lb);
        SafeArrayGetUBound(psa, 1, &ub);
        EXPECT_EQ(lb, c.newLower);
        EXPECT_EQ(ub, c.newLower + static_cast<LONG>(c.to) - 1);
        for (LONG i = 0; i < static_cast<LONG>(c.to); ++i) {
            LONG idx = c.newLower + i;
            BSTR s = nullptr;
            ASSERT_EQ(SafeArrayGetElement(psa, &idx, &s), S_OK);
            EXPECT_EQ(textOf(s), i < static_cast<LONG>(c.from) ? u"element" : u"");
            EXPECT_EQ(s == nullptr, i >= static_cast<LONG>(c.from));
            SysFreeString(s);
        }
        EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    }

    // Two dimensions: only the last one changes.
    SAFEARRAYBOUND two[2] = {{2, 0}, {2, 0}};
    SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, two);
    SAFEARRAYBOUND b{3, 1};
    ASSERT_EQ(SafeArrayRedim(psa, &b), S_OK);
    LONG ub1, lb2, ub2;
    SafeArrayGetUBound(psa, 1, &ub1);
    SafeArrayGetLBound(psa, 2, &lb2);
    SafeArrayGetUBound(psa, 2, &ub2);
    EXPECT_EQ(ub1, 1);
    EXPECT_EQ(lb2, 1);
    EXPECT_EQ(ub2, 3);
    SAFEARRAYBOUND bad{2, INT32_MAX};
    EXPECT_EQ(SafeArrayRedim(psa, &bad), E_INVALIDARG);
    psa->fFeatures |= FADF_FIXEDSIZE;
    EXPECT_EQ(SafeArrayRedim(psa, &b), DISP_E_ARRAYISLOCKED);
    SafeArrayDestroy(psa);
}

TEST(SafeArrayTest, CopyIsDeepAndFailsCleanly) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 7, 3);
    for (LONG i = 7; i < 10; ++i) {
        BSTR s = SysAllocString(u"abc");
        SafeArrayPutElement(psa, &i, s);
        SysFreeString(s);
    }
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
    ASSERT_NE(copy, nullptr);
    LONG lb;
    SafeArrayGetLBound(copy, 1, &lb);
    EXPECT_EQ(lb, 7);
    BSTR* a;
    BSTR* b;
    SafeArrayAccessData(psa, reinterpret_cast<void**>(&a));
    SafeArrayAccessData(copy, reinterpret_cast<void**>(&b));
    for (int k = 0; k < 3; ++k) {
        EXPECT_NE(a[k], b[k]);
        EXPECT_EQ(textOf(b[k]), u"abc");
    }
    SafeArrayUnaccessData(psa);
    SafeArrayUnaccessData(copy);
    VARTYPE vt;
    EXPECT_EQ(SafeArrayGetVartype(copy, &vt), S_OK);
    EXPECT_EQ(vt, VT_BSTR);
    SafeArrayDestroy(copy);

    // The Nth allocation fails: nothing may leak (ASan) and the result is null.
    for (long n = 1; n <= 5; ++n) {
        SCOPED_TRACE(testing::Message() << "allocation " << n << " fails");
        OleFailAllocationAfter(n);
        HRESULT hr = SafeArrayCopy(psa, &copy);
        OleFailAllocationAfter(0);
        if (hr == S_OK) {
            EXPECT_GE(n, 6) << "five allocations are needed";
            SafeArrayDestroy(copy);
        } else {
            EXPECT_EQ(hr, E_OUTOFMEMORY);
            EXPECT_EQ(copy, nullptr);
        }
    }
    EXPECT_EQ(SafeArrayCopy(nullptr, &copy), S_OK);
    EXPECT_EQ(copy, nullptr);
    SafeArrayDestroy(psa);
}

TEST(SafeArrayTest, CopyDataNeedsSameShape) {
    SAFEARRAY* a = SafeArrayCreateVector(VT_I4, 0, 2);
    SAFEARRAY* b = SafeArrayCreateVector(VT_I4, 0, 2);
    SAFEARRAY* c = SafeArrayCreateVector(VT_I4, 1, 2);
    LONG i = 1, v = 5;
    SafeArrayPutElement(a, &i, &v);
    EXPECT_EQ(SafeArrayCopyData(a, b), S_OK);
    LONG out = 0;
    SafeArrayGetElement(b, &i, &out);
    EXPECT_EQ(out, 5);
    EXPECT_EQ(SafeArrayCopyData(a, c), E_INVALIDARG);
    SafeArrayDestroy(a);
    SafeArrayDestroy(b);
    SafeArrayDestroy(c);
}

TEST(SafeArrayTest, TwoStepCreation) {
    SAFEARRAY* psa = nullptr;
    ASSERT_EQ(SafeArrayAllocDescriptorEx(VT_I2, 1, &psa), S_OK);
    psa->rgsabound[0] = {5, 0};
    ASSERT_EQ(SafeArrayAllocData(psa), S_OK);
    LONG i = 4;
    SHORT v = -3;
    EXPECT_EQ(SafeArrayPutElement(psa, &i, &v), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    EXPECT_EQ(SafeArrayAllocDescriptor(0, &psa), E_INVALIDARG);
    EXPECT_EQ(SafeArrayAllocDescriptorEx(VT_EMPTY, 1, &psa), E_INVALIDARG);
    EXPECT_EQ(psa, nullptr);
}

} // namespace
