// VARIANT, the automation value: a type code (VARTYPE) and a value, with
// VariantInit, VariantClear, VariantCopy, VariantCopyInd and the coercions
// of VariantChangeType(Ex).
//
// Ownership: a by-value VARIANT owns its BSTR, SAFEARRAY (with the
// elements) and interface reference; VariantClear frees them. A VT_BYREF
// VARIANT owns nothing: it points at a value that belongs to someone else.
//
// Coercions use one pinned locale, English (United States), whatever LCID
// the caller passes: '.' is the decimal point, ',' groups thousands, dates
// are written "M/D/YYYY h:mm:ss AM" and read in that form or as ISO 8601
// "YYYY-MM-DD hh:mm:ss". Choices where Windows leaves room:
// - VT_DISPATCH to a non-interface type does not fetch the default property
//   (as if VARIANT_NOVALUEPROP were always given): DISP_E_TYPEMISMATCH.
// - VT_DECIMAL and VT_RECORD are not supported: DISP_E_BADVARTYPE.
#pragma once

#include "platform/OleAuto.h"

struct SAFEARRAY;
class IUnknown;
class IDispatch;

struct tagVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        float* pfltVal;
        double* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        CY* pcyVal;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        tagVARIANT* pvarVal;
        PVOID byref;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        CHAR* pcVal;
        USHORT* puiVal;
        ULONG* pulVal;
        ULONGLONG* pullVal;
        INT* pintVal;
        UINT* puintVal;
        struct {
            PVOID pvRecord;
            PVOID pRecInfo;
        } brecVal;
    };
};

static_assert(sizeof(VARIANT) == 24, "VARIANT keeps its 64-bit Windows size");

#define V_VT(v) ((v)->vt)
#define V_ISBYREF(v) ((V_VT(v) & VT_BYREF) != 0)
#define V_ISARRAY(v) ((V_VT(v) & VT_ARRAY) != 0)
#define V_I1(v) ((v)->cVal)
#define V_UI1(v) ((v)->bVal)
#define V_I2(v) ((v)->iVal)
#define V_I2REF(v) ((v)->piVal)
#define V_UI2(v) ((v)->uiVal)
#define V_I4(v) ((v)->lVal)
#define V_I4REF(v) ((v)->plVal)
#define V_UI4(v) ((v)->ulVal)
#define V_I8(v) ((v)->llVal)
#define V_UI8(v) ((v)->ullVal)
#define V_INT(v) ((v)->intVal)
#define V_UINT(v) ((v)->uintVal)
#define V_R4(v) ((v)->fltVal)
#define V_R8(v) ((v)->dblVal)
#define V_CY(v) ((v)->cyVal)
#define V_DATE(v) ((v)->date)
#define V_DATEREF(v) ((v)->pdate)
#define V_BSTR(v) ((v)->bstrVal)
#define V_BSTRREF(v) ((v)->pbstrVal)
#define V_BOOL(v) ((v)->boolVal)
#define V_ERROR(v) ((v)->scode)
#define V_ARRAY(v) ((v)->parray)
#define V_ARRAYREF(v) ((v)->pparray)
#define V_UNKNOWN(v) ((v)->punkVal)
#define V_DISPATCH(v) ((v)->pdispVal)
#define V_VARIANTREF(v) ((v)->pvarVal)
#define V_BYREF(v) ((v)->byref)

/// Makes `v` VT_EMPTY without looking at its old contents (which are not
/// freed: use it on fresh variables only).
void VariantInit(VARIANTARG* v);
/// Frees what a by-value `v` owns and makes it VT_EMPTY. E_INVALIDARG for a
/// null `v`; DISP_E_BADVARTYPE for an unknown type (nothing is freed, `v` is
/// left as it is); DISP_E_ARRAYISLOCKED for a locked array (likewise).
HRESULT VariantClear(VARIANTARG* v);
/// Clears `dest` and makes it a deep copy of `src`: strings and arrays are
/// duplicated, interfaces get a reference; a by-reference `src` is copied as
/// the pointer. `dest` == `src` does nothing. When the copy fails (out of
/// memory) `dest` is left VT_EMPTY.
HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src);
/// Like VariantCopy, but a by-reference `src` is dereferenced one level
/// (VT_BYREF|VT_VARIANT copies the referenced VARIANT, which must not itself
/// be VT_BYREF|VT_VARIANT: E_INVALIDARG). `dest` == `src` replaces the
/// reference by a copy of the value.
HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* src);
/// Converts `src` to the type `vt` into `dest` (which may be `src`). `src`
/// is dereferenced first. Results: S_OK; DISP_E_TYPEMISMATCH when no
/// conversion exists or a text does not parse; DISP_E_OVERFLOW when the
/// value is out of the target's range; DISP_E_BADVARTYPE for an unknown
/// type; E_OUTOFMEMORY. `dest` is unchanged on failure; on success its old
/// contents are cleared. Numbers round half to even when they lose their
/// fraction; booleans become -1 / 0 (text "-1"/"0", or "True"/"False" with
/// VARIANT_ALPHABOOL or VARIANT_LOCALBOOL).
HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT flags, VARTYPE vt);
/// VariantChangeType with a locale identifier, which is accepted and
/// ignored (see the file comment).
HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* src, LCID lcid, USHORT flags,
                            VARTYPE vt);

namespace korvane::platform {

/// True when `vt` is a type that a VARIANT may hold: a base type, with
/// VT_ARRAY and/or VT_BYREF where Windows allows them.
bool VariantTypeIsValid(VARTYPE vt);

} // namespace korvane::platform
