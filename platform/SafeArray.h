// SAFEARRAY, the automation array: a descriptor with its dimensions and a
// block of elements, created, locked, read, written, resized, copied and
// destroyed under Windows' rules.
//
// Dimensions are numbered 1..cDims in the order the caller gave them at
// creation (SafeArrayGetLBound/GetUBound take that number); the descriptor
// keeps them reversed, as Windows does. Index vectors (rgIndices) hold one
// index per dimension in the caller's order, and the first dimension varies
// fastest in memory. SafeArrayRedim changes the last dimension only.
//
// Element types: VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_INT,
// VT_UINT, VT_I8, VT_UI8, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BSTR, VT_BOOL,
// VT_ERROR, VT_VARIANT, VT_UNKNOWN, VT_DISPATCH. The array owns its BSTR,
// VARIANT and interface elements: destroying, shrinking or overwriting one
// frees it.
//
// A deviation from Windows, for safety: bounds whose upper bound
// (lLbound + cElements - 1) does not fit 32 bits, and arrays whose size in
// bytes does not fit memory, are refused instead of wrapping around.
#pragma once

#include "platform/OleAuto.h"

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};
using LPSAFEARRAYBOUND = SAFEARRAYBOUND*;

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    PVOID pvData;
    SAFEARRAYBOUND rgsabound[1];  ///< cDims entries, last caller dimension first
};
using LPSAFEARRAY = SAFEARRAY*;

// Feature flags.
constexpr USHORT FADF_AUTO = 0x0001;
constexpr USHORT FADF_STATIC = 0x0002;
constexpr USHORT FADF_EMBEDDED = 0x0004;
constexpr USHORT FADF_FIXEDSIZE = 0x0010;
constexpr USHORT FADF_RECORD = 0x0020;
constexpr USHORT FADF_HAVEIID = 0x0040;
constexpr USHORT FADF_HAVEVARTYPE = 0x0080;
constexpr USHORT FADF_BSTR = 0x0100;
constexpr USHORT FADF_UNKNOWN = 0x0200;
constexpr USHORT FADF_DISPATCH = 0x0400;
constexpr USHORT FADF_VARIANT = 0x0800;

/// Largest number of dimensions.
constexpr USHORT SAFEARRAY_MAX_DIMS = 60;

/// A new array of `vt` elements with `cDims` dimensions described by
/// `bounds` (caller's order), all elements zero. Null for an unsupported
/// `vt`, `cDims` 0 or above SAFEARRAY_MAX_DIMS, null `bounds`, bounds out of
/// range, or out of memory. Destroy it with SafeArrayDestroy.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* bounds);
/// A new one-dimensional array of `cElements` elements from `lLbound`.
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
/// A descriptor for `cDims` dimensions without element type or data
/// (Windows' two-step creation; the caller sets cbElements, fFeatures and
/// the bounds, then calls SafeArrayAllocData).
HRESULT SafeArrayAllocDescriptor(UINT cDims, SAFEARRAY** out);
/// The same, recording the element type `vt`.
HRESULT SafeArrayAllocDescriptorEx(VARTYPE vt, UINT cDims, SAFEARRAY** out);
/// Allocates the zeroed element block of a descriptor from the calls above.
HRESULT SafeArrayAllocData(SAFEARRAY* psa);
/// Frees the elements and the array. S_OK for null; DISP_E_ARRAYISLOCKED
/// (nothing freed) while it is locked; E_INVALIDARG for a malformed one.
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
/// Frees the elements and the data block but keeps the descriptor.
HRESULT SafeArrayDestroyData(SAFEARRAY* psa);
/// Frees a descriptor whose data is already gone.
HRESULT SafeArrayDestroyDescriptor(SAFEARRAY* psa);

/// Number of dimensions; 0 for null.
UINT SafeArrayGetDim(SAFEARRAY* psa);
/// Size of one element in bytes; 0 for null.
UINT SafeArrayGetElemsize(SAFEARRAY* psa);
/// Lower/upper bound of dimension `nDim` (1-based, caller's order). An empty
/// dimension has upper bound lLbound - 1. DISP_E_BADINDEX for a dimension
/// out of range, E_INVALIDARG for null arguments.
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* bound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* bound);
/// The element type. E_INVALIDARG for null arguments or an array without
/// a recorded type.
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* vt);

/// Locks the array (its data stays where it is while locked). E_UNEXPECTED
/// when the lock count would overflow.
HRESULT SafeArrayLock(SAFEARRAY* psa);
/// Undoes one lock. E_UNEXPECTED when the array is not locked.
HRESULT SafeArrayUnlock(SAFEARRAY* psa);
/// Locks the array and hands out its element block in *data.
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** data);
/// Undoes SafeArrayAccessData.
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
/// The address of the element at `indices` (one per dimension). The array
/// should be locked while the pointer is used. DISP_E_BADINDEX.
HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* indices, void** element);

/// Copies the element at `indices` into `value` (a LONG*, BSTR*, VARIANT*
/// ... of the element type): strings and variants are duplicated,
/// interfaces get a reference; the caller frees the copy. DISP_E_BADINDEX,
/// E_INVALIDARG, E_OUTOFMEMORY.
HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* indices, void* value);
/// Stores a copy of `value` at `indices`, freeing the element it replaces.
/// For VT_BSTR `value` is the BSTR itself, for VT_UNKNOWN/VT_DISPATCH the
/// interface pointer, otherwise a pointer to the value (VARIANT*, LONG*, ...).
HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* indices, void* value);

/// A deep copy of `psa` in *out (null for a null `psa`). E_OUTOFMEMORY
/// leaves *out null and nothing allocated.
HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** out);
/// Copies the elements of `source` over those of `target`, which must have
/// the same shape and element type (E_INVALIDARG otherwise).
HRESULT SafeArrayCopyData(SAFEARRAY* source, SAFEARRAY* target);
/// Changes the last dimension to `bound`: new elements are zero, removed
/// ones are freed. DISP_E_ARRAYISLOCKED for a locked or fixed-size array.
HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* bound);
