// Serving IDispatch from a static interface description, as Windows'
// DispGetIDsOfNames and DispInvoke do from type information: names to
// DISPIDs, and late-bound calls whose arguments are checked, coerced and
// passed to the C++ member of the dual interface.
//
// Invoke rules:
// - rgvarg holds the arguments in reverse order (the first positional
//   argument is rgvarg[cArgs - 1]); the first cNamedArgs entries are named
//   by rgdispidNamedArgs, whose values are parameter positions (0-based,
//   as GetIDsOfNames hands them out). A property put must pass its value
//   as the one named argument DISPID_PROPERTYPUT (DISP_E_PARAMNOTFOUND
//   otherwise).
// - A by-value argument of another type is converted with
//   VariantChangeType; its failure (DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW)
//   is returned with *argErr = the argument's rgvarg index. A VARIANT
//   parameter receives the argument as it is.
// - A by-reference parameter takes an argument VT_BYREF|T of exactly its
//   type; VT_BYREF of another type fails with DISP_E_TYPEMISMATCH and the
//   argument's index. A by-value argument is converted into a temporary
//   whose final value is written back into that rgvarg entry for an [out]
//   parameter (converted back to the argument's type when possible).
// - More positional arguments than parameters, or fewer than the
//   parameters that are not optional when no argument is named, give
//   DISP_E_BADPARAMCOUNT. A parameter that is neither optional nor given,
//   or given as the "missing" marker (VT_ERROR holding
//   DISP_E_PARAMNOTFOUND), gives DISP_E_PARAMNOTOPTIONAL. A missing
//   optional VARIANT parameter receives the marker; a missing optional
//   parameter of another type receives zero (or an empty string).
// - A name whose position is out of range, or given twice, gives
//   DISP_E_PARAMNOTFOUND with *argErr = the index of the named argument.
// - The [out, retval] parameter is not passed by the caller; its value goes
//   to *result (dropped when `result` is null; VT_EMPTY for a member
//   without one).
// - An unknown DISPID, or one whose member cannot be invoked with `flags`,
//   gives DISP_E_MEMBERNOTFOUND. DISPATCH_METHOD and DISPATCH_PROPERTYGET
//   may be combined, as Visual Basic does.
// - A member that returns a failure HRESULT gives DISP_E_EXCEPTION, with
//   the HRESULT in excepInfo->scode (the other fields zero) when
//   `excepInfo` is given.
#pragma once

#include <cstddef>
#include <utility>

#include "platform/ComBase.h"
#include "platform/SafeArray.h"
#include "platform/TypeLib.h"
#include "platform/Variant.h"

/// Resolves `names[0]` to the member's DISPID and `names[1..]` to the
/// positions of that member's parameters, ignoring ASCII case. Unknown
/// names get DISPID_UNKNOWN and the result is DISP_E_UNKNOWNNAME (the
/// known ones are still filled). E_INVALIDARG for null arguments.
HRESULT DispGetIDsOfNames(const InterfaceDescription* iface, LPOLESTR* names, UINT count,
                          DISPID* dispids);

/// Calls the member `dispid` of `self` (the object's pointer of the
/// described interface, as IDispatch*) under the rules in the file comment.
/// `params` is not changed except for the write-back of [out] parameters
/// passed by value. E_INVALIDARG for a null `iface`/`params` or
/// inconsistent counts.
HRESULT DispInvoke(IDispatch* self, const InterfaceDescription* iface, DISPID dispid, WORD flags,
                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

// ---- building descriptions --------------------------------------------------

/// How a C++ parameter type travels in a VARIANTARG: its VARTYPE and how to
/// take it out. DATE shares `double` and VARIANT_BOOL shares `SHORT`, so a
/// parameter of those C++ types accepts either VARTYPE of the pair.
template <typename T>
struct DispArg;

#define KORVANE_DISP_ARG(Type, Vt, Member, Alt)                                \
    template <>                                                                \
    struct DispArg<Type> {                                                     \
        static constexpr VARTYPE vt = (Vt);                                    \
        static constexpr VARTYPE alt = (Alt);                                  \
        static Type get(VARIANTARG& v) { return v.Member; }                    \
    };                                                                         \
    template <>                                                                \
    struct DispArg<Type*> {                                                    \
        static constexpr VARTYPE vt = VT_BYREF | (Vt);                         \
        static constexpr VARTYPE alt = VT_BYREF | (Alt);                       \
        static Type* get(VARIANTARG& v) { return reinterpret_cast<Type*>(v.byref); } \
    };
KORVANE_DISP_ARG(CHAR, VT_I1, cVal, VT_I1)
KORVANE_DISP_ARG(BYTE, VT_UI1, bVal, VT_UI1)
KORVANE_DISP_ARG(SHORT, VT_I2, iVal, VT_BOOL)
KORVANE_DISP_ARG(USHORT, VT_UI2, uiVal, VT_UI2)
KORVANE_DISP_ARG(LONG, VT_I4, lVal, VT_INT)
KORVANE_DISP_ARG(ULONG, VT_UI4, ulVal, VT_UINT)
KORVANE_DISP_ARG(LONGLONG, VT_I8, llVal, VT_I8)
KORVANE_DISP_ARG(ULONGLONG, VT_UI8, ullVal, VT_UI8)
KORVANE_DISP_ARG(float, VT_R4, fltVal, VT_R4)
KORVANE_DISP_ARG(double, VT_R8, dblVal, VT_DATE)
KORVANE_DISP_ARG(CY, VT_CY, cyVal, VT_CY)
KORVANE_DISP_ARG(BSTR, VT_BSTR, bstrVal, VT_BSTR)
KORVANE_DISP_ARG(IUnknown*, VT_UNKNOWN, punkVal, VT_UNKNOWN)
KORVANE_DISP_ARG(IDispatch*, VT_DISPATCH, pdispVal, VT_DISPATCH)
#undef KORVANE_DISP_ARG

/// A VARIANT by value: the argument as given.
template <>
struct DispArg<VARIANT> {
    static constexpr VARTYPE vt = VT_VARIANT;
    static constexpr VARTYPE alt = VT_VARIANT;
    static VARIANT get(VARIANTARG& v) { return v; }
};
template <>
struct DispArg<VARIANT*> {
    static constexpr VARTYPE vt = VT_BYREF | VT_VARIANT;
    static constexpr VARTYPE alt = VT_BYREF | VT_VARIANT;
    static VARIANT* get(VARIANTARG& v) { return v.pvarVal; }
};
/// A safe array: any VT_ARRAY type (the element type is the description's).
template <>
struct DispArg<SAFEARRAY*> {
    static constexpr VARTYPE vt = VT_ARRAY;
    static constexpr VARTYPE alt = VT_ARRAY;
    static SAFEARRAY* get(VARIANTARG& v) { return v.parray; }
};
template <>
struct DispArg<SAFEARRAY**> {
    static constexpr VARTYPE vt = VT_BYREF | VT_ARRAY;
    static constexpr VARTYPE alt = VT_BYREF | VT_ARRAY;
    static SAFEARRAY** get(VARIANTARG& v) { return v.pparray; }
};

namespace korvane::platform {

template <auto Method>
struct DispMethodTraits;

template <typename C, typename... P, HRESULT (C::*M)(P...)>
struct DispMethodTraits<M> {
    using Class = C;
    static constexpr size_t count = sizeof...(P);
    static constexpr VARTYPE types[count + 1] = {DispArg<P>::vt..., 0};
    static constexpr VARTYPE alts[count + 1] = {DispArg<P>::alt..., 0};

    template <size_t... I>
    static HRESULT call(IDispatch* self, VARIANTARG* args, std::index_sequence<I...>) {
        // `self` is the object's pointer of the interface C (derived from
        // IDispatch), so the cast goes back to the same sub-object.
        return (static_cast<C*>(self)->*M)(DispArg<P>::get(args[I])...);
    }
    static HRESULT thunk(IDispatch* self, VARIANTARG* args) {
        return call(self, args, std::make_index_sequence<count>{});
    }
};

// True when the description's VARTYPE fits the C++ parameter's storage.
constexpr bool dispTypeFits(VARTYPE described, VARTYPE vt, VARTYPE alt) {
    if (vt & VT_ARRAY)
        return (described & (VT_ARRAY | VT_BYREF)) == vt;
    return described == vt || described == alt;
}

} // namespace korvane::platform

/// The description of one member, built from the C++ member function
/// `Method` of a dual interface (HRESULT (I::*)(params...)). Evaluated at
/// compile time: a parameter list that does not match the member's C++
/// parameters in number or storage type, or an [out, retval] that is not
/// last or not by reference, fails the build.
template <auto Method, size_t N>
consteval MemberDescription DispMember(DISPID dispid, const char16_t* name, const char16_t* help,
                                       INVOKEKIND kind, const ParamDescription (&params)[N]) {
    using Traits = korvane::platform::DispMethodTraits<Method>;
    if (Traits::count != N)
        throw "parameter count differs from the C++ member";
    for (size_t i = 0; i < N; ++i) {
        if (!korvane::platform::dispTypeFits(params[i].vt, Traits::types[i], Traits::alts[i]))
            throw "parameter type differs from the C++ member";
        if ((params[i].flags & PARAMFLAG_FRETVAL) && (i + 1 != N || !(params[i].vt & VT_BYREF)))
            throw "[out, retval] must be the last, by-reference parameter";
    }
    return MemberDescription{dispid, name, help, kind, params, static_cast<UINT>(N), &Traits::thunk};
}

/// The same for a member without parameters.
template <auto Method>
consteval MemberDescription DispMember(DISPID dispid, const char16_t* name, const char16_t* help,
                                       INVOKEKIND kind) {
    using Traits = korvane::platform::DispMethodTraits<Method>;
    if (Traits::count != 0)
        throw "parameter count differs from the C++ member";
    return MemberDescription{dispid, name, help, kind, nullptr, 0, &Traits::thunk};
}
