// Registration of the Varsvc server under HKEY_CLASSES_ROOT and its removal:
// the application entries (the program's registry script 100), the class
// entries (script 101) and the type library.
//
// Entries (CLSID-key = the class identifier in registry form, also the
// AppID; LIBID-value = the library identifier):
//
//   AppID                                  key only        kept on removal
//   AppID\CLSID-key                        default "Varsvc"
//   AppID\Varsvc.exe                       "AppID" = CLSID-key
//   VarSvc.Document                        default "Document Class"
//   VarSvc.Document\CLSID                  default CLSID-key
//   CLSID                                  key only        kept on removal
//   CLSID\CLSID-key                        default "Varsvc.Document",
//                                          "AppID" = CLSID-key; replaced whole
//   CLSID\CLSID-key\ProgID                 default "Varsvc.Document"
//   CLSID\CLSID-key\Programmable           key only; replaced whole
//   CLSID\CLSID-key\LocalServer            default = the program's path
//   CLSID\CLSID-key\LocalServer32          default = the program's path
//   CLSID\CLSID-key\TypeLib                default LIBID-value
//
// plus the type library's own keys (TypeLib\{LIBID}, Interface\{IID}; see
// platform/TypeLibRegistration.h).
//
// Decisions of this implementation:
// - The two scripts are tables applied by this unit, not text run through
//   a registrar. A key that the table does not keep is removed on
//   unregistration together with everything below it (it belongs to this
//   class alone); a key "replaced whole" is removed that way before it is
//   written.
// - The program's path is written as it is: Linux has no short names, and
//   the doubling of single quotes that the Windows program applies is the
//   escaping of its script language, undone when the script is read, so
//   the stored value never held doubled quotes.
// - The key AppID\Varsvc.exe keeps the Windows program's file name.
// - The type library is compiled into the program, so loading it "from the
//   program file" always succeeds; the help directory is the program's
//   directory.
#pragma once

#include <string>

#include "platform/OleAuto.h"

/// Registers the server with `programPath` as its program: script 100,
/// the write check of AppID\CLSID-key (TYPE_E_REGISTRYACCESS when it cannot
/// be opened for writing), removal of the value "LocalService" there, script
/// 101 and the type library. With `messages`, each outcome is shown in a
/// message box captioned "Registration": "VARSVC registration has failed
/// (UpdateRegistryFromResource)!", "VARSVC registration has failed!",
/// "VARSVC registration failed (CComModule::RegisterServer)!" or "VARSVC
/// registration succeded!". Returns S_OK or the failing step's status.
HRESULT RegisterVarsvcServer(const std::string& programPath, bool messages);

/// Removes the entries of script 100 (failure: its status, and with
/// `messages` "VARSVC deregistration has failed
/// (UpdateRegistryFromResource)!"), then those of script 101 and the type
/// library (failures ignored), then shows "VARSVC has been unregistered"
/// with `messages`. Entries that are already missing count as removed.
HRESULT UnregisterVarsvcServer(bool messages);

/// True when HKEY_CLASSES_ROOT\AppID\CLSID-key can be opened for reading
/// (the program's test whether it is registered).
bool VarsvcIsRegistered();
