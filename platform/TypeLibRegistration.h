// Registration of type libraries under HKEY_CLASSES_ROOT (RegisterTypeLib,
// UnRegisterTypeLib) and the check that a library is registered
// (LoadRegTypeLib), for libraries described statically (platform/TypeLib.h).
//
// Registration writes the keys Windows writes:
//   TypeLib\{LIBID}\<major>.<minor>            default = help string (or name)
//   TypeLib\{LIBID}\<major>.<minor>\FLAGS      default = library flags, decimal
//   TypeLib\{LIBID}\<major>.<minor>\HELPDIR    default = help directory
//   TypeLib\{LIBID}\<major>.<minor>\<lcid>\win64 (or win32) default = path
//   Interface\{IID}                            default = interface name
//   Interface\{IID}\ProxyStubClsid, \ProxyStubClsid32 = {00020424-...}
//   Interface\{IID}\TypeLib                    default = {LIBID}, "Version"
// for every dual or dispatch interface of the library. Versions and locale
// identifiers are written in hexadecimal without leading zeros, as Windows
// does; the system kind of the description picks "win32" or "win64". Texts
// are stored as ANSI (Windows-1252) strings.
#pragma once

#include "platform/TypeLib.h"

/// Writes the registry keys of `lib` (see the file comment) with `fullPath`
/// as the library's file (the server program) and `helpDir` (may be null:
/// empty) as its help directory, and makes `lib` known to LoadRegTypeLib in
/// this process. S_OK; E_INVALIDARG for a null `lib` or `fullPath`;
/// TYPE_E_REGISTRYACCESS when a key cannot be written.
HRESULT RegisterTypeLib(const TypeLibDescription* lib, LPCOLESTR fullPath, LPCOLESTR helpDir);
/// Removes the keys RegisterTypeLib wrote for the library `libid` of that
/// version, locale and system kind: its Interface keys (those whose TypeLib
/// names this library and version), the version key, and the library key
/// when no other version remains. Keys that other software added below
/// them are left, and so are the keys above them. S_OK;
/// TYPE_E_REGISTRYACCESS when the library version is not registered.
HRESULT UnRegisterTypeLib(REFGUID libid, WORD majorVersion, WORD minorVersion, LCID lcid,
                          SYSKIND syskind);
/// Finds a registered library: the registry must hold version `major`.x
/// with x >= `minor` (the highest such minor is taken) for the locale
/// `lcid`, its primary language, or locale 0, and a description of that
/// library and version must be known in this process (from RegisterTypeLib
/// or TypeLibAddCompiled). S_OK and *lib; TYPE_E_LIBNOTREGISTERED otherwise;
/// E_INVALIDARG for a null `lib`.
HRESULT LoadRegTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid,
                       const TypeLibDescription** lib);

/// Makes a description compiled into this program known to LoadRegTypeLib,
/// as loading the type library resource of the program file does on
/// Windows. Adding the same description twice is harmless. The description
/// must live as long as the process (a static).
void TypeLibAddCompiled(const TypeLibDescription* lib);
