// VARIANT values on the COM wire: the type code (u16) followed by the value.
//
// Values: VT_EMPTY and VT_NULL carry nothing; integers, reals, VT_CY,
// VT_DATE, VT_BOOL and VT_ERROR their bytes; VT_BSTR a u32 byte count
// (0xFFFFFFFF for a null BSTR, which stays distinct from "") and the
// UTF-16 bytes; VT_DISPATCH and VT_UNKNOWN only the null pointer (one zero
// byte: interfaces are not carried across processes); VT_ARRAY|T a
// presence byte, then u16 dimensions, per dimension (caller's order) u32
// element count and i32 lower bound, then the elements in memory order;
// VT_BYREF|T the value referred to, the type code keeping VT_BYREF;
// VT_BYREF|VT_VARIANT and array elements of VT_VARIANT a nested value.
//
// Reading checks every limit of platform/WireFrame.h (string length, array
// dimensions and elements, nesting, the memory budget) and every type code;
// a value that breaks one makes the frame malformed.
#pragma once

#include "platform/Variant.h"
#include "platform/WireFrame.h"

/// Writes `v`, following one level of reference (a VT_BYREF|VT_VARIANT
/// must not refer to another reference). Results: S_OK;
/// DISP_E_BADVARTYPE for a type the wire does not carry (VT_DECIMAL,
/// VT_RECORD, a non-null interface, a reference inside an array);
/// E_POINTER for a null reference; RPC_E_CLIENT_CANTMARSHAL_DATA when a
/// limit is exceeded (array size, dimensions, nesting, frame size).
HRESULT WireWriteVariant(WireWriter& w, const VARIANT& v);

/// Reads a value. `out` receives an owned by-value VARIANT; `wireVt` the
/// type code as written: for VT_BYREF|T, `out` holds the T value referred
/// to (for VT_BYREF|VT_VARIANT the inner VARIANT, of whatever type). False
/// (and `out` empty) when the value is malformed or breaks a limit.
bool WireReadVariant(WireReader& r, VARIANT* out, VARTYPE* wireVt);
