// Type libraries as static descriptions compiled into a server: the library
// (name, GUID, version, locale), its dispatch and dual interfaces with their
// members (DISPIDs, parameter types and directions, help strings) and its
// classes. A description plays the part of the type library resource of a
// Windows program: IDispatch calls are served from it by
// platform/DispatchInvoke.h, and platform/TypeLibRegistration.h registers it.
#pragma once

#include "platform/ComBase.h"
#include "platform/Guid.h"
#include "platform/OleAuto.h"

enum SYSKIND { SYS_WIN16 = 0, SYS_WIN32 = 1, SYS_MAC = 2, SYS_WIN64 = 3 };

enum INVOKEKIND {
    INVOKE_FUNC = 1,
    INVOKE_PROPERTYGET = 2,
    INVOKE_PROPERTYPUT = 4,
    INVOKE_PROPERTYPUTREF = 8,
};

// Parameter directions and attributes (PARAMFLAG values).
constexpr USHORT PARAMFLAG_NONE = 0x00;
constexpr USHORT PARAMFLAG_FIN = 0x01;
constexpr USHORT PARAMFLAG_FOUT = 0x02;
constexpr USHORT PARAMFLAG_FLCID = 0x04;
constexpr USHORT PARAMFLAG_FRETVAL = 0x08;
constexpr USHORT PARAMFLAG_FOPT = 0x10;
constexpr USHORT PARAMFLAG_FHASDEFAULT = 0x20;

// Type flags (TYPEFLAG values) of interfaces and classes.
constexpr USHORT TYPEFLAG_FAPPOBJECT = 0x0001;
constexpr USHORT TYPEFLAG_FCANCREATE = 0x0002;
constexpr USHORT TYPEFLAG_FHIDDEN = 0x0010;
constexpr USHORT TYPEFLAG_FDUAL = 0x0040;
constexpr USHORT TYPEFLAG_FNONEXTENSIBLE = 0x0080;
constexpr USHORT TYPEFLAG_FOLEAUTOMATION = 0x0100;
constexpr USHORT TYPEFLAG_FAGGREGATABLE = 0x0400;
constexpr USHORT TYPEFLAG_FDISPATCHABLE = 0x1000;

// Flags of an interface a class implements (IMPLTYPEFLAG values).
constexpr USHORT IMPLTYPEFLAG_FDEFAULT = 0x1;
constexpr USHORT IMPLTYPEFLAG_FSOURCE = 0x2;
constexpr USHORT IMPLTYPEFLAG_FRESTRICTED = 0x4;

// Library flags (LIBFLAGS values).
constexpr USHORT LIBFLAG_FRESTRICTED = 0x1;
constexpr USHORT LIBFLAG_FCONTROL = 0x2;
constexpr USHORT LIBFLAG_FHIDDEN = 0x4;
constexpr USHORT LIBFLAG_FHASDISKIMAGE = 0x8;

/// Calls one member of an interface: `args` holds one VARIANTARG per
/// declared parameter in declaration order, each already of the declared
/// type (a by-reference parameter as VT_BYREF|T pointing at its cell). Made
/// by DispMember (platform/DispatchInvoke.h) from a member function pointer.
using DispCallThunk = HRESULT (*)(IDispatch* self, VARIANTARG* args);

/// One parameter: its name, its type as a VARTYPE (VT_BYREF|T for a
/// pointer parameter, VT_VARIANT for a VARIANT by value) and its
/// PARAMFLAG_ directions. An [out, retval] parameter comes last.
struct ParamDescription {
    const char16_t* name;
    VARTYPE vt;
    USHORT flags;
};

/// One member of a dual or dispatch interface. Build it with DispMember
/// (platform/DispatchInvoke.h), which checks at compile time that `params`
/// match the C++ member's parameter types.
struct MemberDescription {
    DISPID dispid;
    const char16_t* name;
    const char16_t* helpString;
    INVOKEKIND invokeKind;
    const ParamDescription* params;
    UINT paramCount;
    DispCallThunk call;
};

/// A dual or dispatch interface with its members in slot order.
struct InterfaceDescription {
    IID iid;
    const char16_t* name;
    const char16_t* helpString;
    USHORT typeFlags;
    const MemberDescription* members;
    UINT memberCount;
};

/// An interface that a class implements, with its IMPLTYPEFLAG_ flags.
struct ImplementedInterface {
    const InterfaceDescription* iface;
    USHORT implFlags;
};

/// A creatable class of the library.
struct CoClassDescription {
    CLSID clsid;
    const char16_t* name;
    const char16_t* helpString;
    USHORT typeFlags;
    const ImplementedInterface* interfaces;
    UINT interfaceCount;
};

/// A whole type library.
struct TypeLibDescription {
    GUID libid;
    const char16_t* name;
    const char16_t* helpString;
    WORD majorVersion;
    WORD minorVersion;
    LCID lcid;
    SYSKIND syskind;
    USHORT libFlags;
    const InterfaceDescription* const* interfaces;
    UINT interfaceCount;
    const CoClassDescription* const* coclasses;
    UINT coclassCount;
};

/// The interface `iid` of `lib`, or null.
const InterfaceDescription* TypeLibFindInterface(const TypeLibDescription* lib, REFIID iid);
