// The type library "Varsvc": identifiers, the 35 members of IVarsvc in slot
// order with their DISPIDs, parameter names, types, directions and help
// strings, the dispatch interface, the coclass, and the library's
// registration keys.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/Registry.h"
#include "platform/TypeLibRegistration.h"
#include "server/VarsvcTypeLib.h"
#include "tests/server/DocumentTestSupport.h"

using namespace servertest;

namespace {

std::string Narrow(const char16_t* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text)
        out += static_cast<char>(*text);
    return out;
}

std::string TypeText(VARTYPE vt) {
    std::string base;
    switch (vt & ~VT_BYREF) {
    case VT_I2: base = "short"; break;
    case VT_I4: base = "long"; break;
    case VT_BSTR: base = "BSTR"; break;
    case VT_DATE: base = "DATE"; break;
    case VT_VARIANT: base = "VARIANT"; break;
    default: base = "?" + std::to_string(vt);
    }
    return (vt & VT_BYREF) ? base + "*" : base;
}

std::string DirText(USHORT flags) {
    if (flags == (PARAMFLAG_FOUT | PARAMFLAG_FRETVAL))
        return "[out, retval]";
    if (flags == (PARAMFLAG_FIN | PARAMFLAG_FOUT))
        return "[in, out]";
    if (flags == PARAMFLAG_FOUT)
        return "[out]";
    if (flags == PARAMFLAG_FIN)
        return "[in]";
    return "[?" + std::to_string(flags) + "]";
}

// "Name(dir type name, ...)" of a member.
std::string Signature(const MemberDescription& m) {
    std::string s = Narrow(m.name) + "(";
    for (UINT i = 0; i < m.paramCount; ++i) {
        if (i != 0)
            s += ", ";
        s += DirText(m.params[i].flags) + " " + TypeText(m.params[i].vt) + " " + Narrow(m.params[i].name);
    }
    return s + ")";
}

#define RC "[out, retval] short* rc"
// The interface as its definition gives it, slot 7 (DISPID 1) onwards.
const char* const kExpected[] = {
    "ExecRequ([in, out] VARIANT* xPacket, " RC ")",
    "Login([in, out] long* Handle, [in] BSTR Name, " RC ")",
    "Logout([in, out] long* Handle, [in] short KeepProject, " RC ")",
    "ProjOpen([in] long Handle, [in] BSTR ProjPath, " RC ")",
    "GetFirstVarInfo([in] long Handle, [in] BSTR NameMask, [in] short TypeMask, [in] short AddrMask, "
    "[in, out] BSTR* VarName, [in, out] BSTR* VarCmnt, [in, out] short* VarType, [in, out] short* VarAddr, "
    "[in, out] short* VarIndx, " RC ")",
    "GetNextVarInfo([in] long Handle, [in, out] BSTR* VarName, [in, out] BSTR* VarCmnt, [in, out] short* "
    "VarType, [in, out] short* VarAddr, [in, out] short* VarIndx, " RC ")",
    "GetProjStamp([in] long Handle, [out] DATE* ProjDate, [out] short* ProjMsec, " RC ")",
    "GetFirstAdrInfo([in] long Handle, [in] short VarAddr, [in] short VarIndx, [in, out] BSTR* VarName, " RC ")",
    "GetNextAdrInfo([in] long Handle, [in, out] BSTR* VarName, " RC ")",
    "GetNamedVarInfo([in] long Handle, [in] BSTR VarName, [in, out] BSTR* VarCmnt, [in, out] short* VarType, "
    "[in, out] short* VarSize, [in, out] short* VarAddr, [in, out] short* VarIndx, [in, out] short* VarAttr, "
    "[in, out] short* CompOff, " RC ")",
    "GetTypeId([in] long Handle, [in] BSTR TypeName, [out] short* TypeId, " RC ")",
    "GetTypeName([in] long Handle, [in] short TypeId, [in, out] BSTR* TypeName, " RC ")",
    "GetTypeSize([in] long Handle, [in] short TypeId, [out] short* TypeSize, " RC ")",
    "GetProjStampCC([in] long Handle, [out] long* relMsec, [out] short* relDate, " RC ")",
    "GetProjConsistency([in] long Handle, [out] short* IsConsistent, [out] long* relMsec, [out] short* "
    "relDate, " RC ")",
    "ConvRelMsecDate2DateMsec([in] long relMsec, [in] short relDate, [out] DATE* Date, [out] short* Msec, " RC
    ")",
    "ProjReOpen([in] long Handle, [in] BSTR ProjPath, " RC ")",
    "GetNamedVarInfos([in] long Handle, [in] VARIANT* VarNames, [in, out] VARIANT* VarCmnts, [in, out] "
    "VARIANT* VarTypes, [in, out] VARIANT* VarSizes, [in, out] VARIANT* VarAddrs, [in, out] VARIANT* "
    "VarIndxs, [in, out] VARIANT* VarAttrs, [in, out] VARIANT* CompOffs, " RC ")",
    "SetVarInfoFilter([in] long Handle, [in] BSTR NameMask, [in] short TypeMask, [in] short AddrMask, [in] "
    "long EtcMask, [out] long* BlockIterator, " RC ")",
    "GetVarInfoBlock([in] long Handle, [in, out] long* BlockIterator, [in, out] short* NumberReq, [out] "
    "short* NumberRet, [out] VARIANT* VarNames, [in, out] VARIANT* VarCmnts, [in, out] VARIANT* VarTypes, "
    "[in, out] VARIANT* VarSizes, [in, out] VARIANT* VarAddrs, [in, out] VARIANT* VarIndxs, [in, out] "
    "VARIANT* VarAttrs, [in, out] VARIANT* CompOffs, " RC ")",
    "GetStateRamLayout([in] long Handle, [out] long* NumOfCoils, [out] long* NumOfInputs, [out] long* "
    "NumOfInputRegs, [out] long* NumOfHoldingRegs, [out] long* NumOfExtRegs, [out] long* BegCoilsUnProt, "
    "[out] long* EndCoilsUnProt, [out] long* BegHoldsUnProt, [out] long* EndHoldsUnProt, " RC ")",
    "GetTypeIds([in] long Handle, [in] VARIANT* Names, [in, out] VARIANT* Ids, " RC ")",
    "GetTypeNames([in] long Handle, [in] VARIANT* Ids, [in, out] VARIANT* Names, " RC ")",
    "GetTypeSizes([in] long Handle, [in] VARIANT* Ids, [in, out] VARIANT* Sizes, " RC ")",
    "GetAdrInfos([in] long Handle, [in] short VarAddr, [in] short VarIndx, [in, out] VARIANT* VarName, " RC ")",
    "GetNamedVarInfo2([in] long Handle, [in] BSTR VarName, [in, out] BSTR* VarCmnt, [in, out] VARIANT* "
    "VarInit, [in, out] long* VarKind, [in, out] long* VarType, [in, out] long* VarSize, [in, out] long* "
    "VarAddr, [in, out] long* VarIndx, [in, out] long* VarAttr, [in, out] long* CompOff, " RC ")",
    "GetFirstVarInfoEx([in] long Handle, [in] BSTR NameMask, [in] short TypeMask, [in] short AddrMask, [in, "
    "out] BSTR* VarName, [in, out] BSTR* VarCmnt, [in, out] short* VarType, [in, out] short* VarAddr, [in, "
    "out] short* VarIECMemDescSectID, [in, out] long* VarIECMemDescAddrOffset, [in, out] short* "
    "VarIECMemDescSectCIx, " RC ")",
    "GetNextVarInfoEx([in] long Handle, [in, out] BSTR* VarName, [in, out] BSTR* VarCmnt, [in, out] short* "
    "VarType, [in, out] short* VarAddr, [in, out] short* VarIECMemDescSectID, [in, out] long* "
    "VarIECMemDescAddrOffset, [in, out] short* VarIECMemDescSectCIx, " RC ")",
    "GetFirstAdrInfoEx([in] long Handle, [in] short VarAddr, [in] short VarIECMemDescSectID, [in] long "
    "VarIECMemDescAddrOffset, [in] short VarIECMemDescSectCIx, [in, out] BSTR* VarName, " RC ")",
    "GetNextAdrInfoEx([in] long Handle, [in, out] BSTR* VarName, " RC ")",
    "GetNamedVarInfoEx([in] long Handle, [in] BSTR VarName, [in, out] BSTR* VarCmnt, [in, out] short* "
    "VarType, [in, out] short* VarSize, [in, out] short* VarAddr, [in, out] short* VarIECMemDescSectID, [in, "
    "out] long* VarIECMemDescAddrOffset, [in, out] short* VarIECMemDescSectCIx, [in, out] short* VarAttr, "
    "[in, out] short* CompOff, " RC ")",
    "GetNamedVarInfosEx([in] long Handle, [in] VARIANT* VarNames, [in, out] VARIANT* VarCmnts, [in, out] "
    "VARIANT* VarTypes, [in, out] VARIANT* VarSizes, [in, out] VARIANT* VarAddrs, [in, out] VARIANT* "
    "VarIECMemDescSectIDs, [in, out] VARIANT* VarIECMemDescAddrOffsets, [in, out] VARIANT* "
    "VarIECMemDescSectCIxs, [in, out] VARIANT* VarAttrs, [in, out] VARIANT* CompOffs, " RC ")",
    "GetVarInfoBlockEx([in] long Handle, [in, out] long* BlockIterator, [in, out] short* NumberReq, [out] "
    "short* NumberRet, [out] VARIANT* VarNames, [in, out] VARIANT* VarCmnts, [in, out] VARIANT* VarTypes, "
    "[in, out] VARIANT* VarSizes, [in, out] VARIANT* VarAddrs, [in, out] VARIANT* VarIECMemDescSectIDs, [in, "
    "out] VARIANT* VarIECMemDescAddrOffsets, [in, out] VARIANT* VarIECMemDescSectCIxs, [in, out] VARIANT* "
    "VarAttrs, [in, out] VARIANT* CompOffs, " RC ")",
    "GetAdrInfosEx([in] long Handle, [in] short VarAddr, [in] short VarIECMemDescSectID, [in] long "
    "VarIECMemDescAddrOffset, [in] short VarIECMemDescSectCIx, [in, out] VARIANT* VarName, " RC ")",
    "GetNamedVarInfo2Ex([in] long Handle, [in] BSTR VarName, [in, out] BSTR* VarCmnt, [in, out] VARIANT* "
    "VarInit, [in, out] long* VarKind, [in, out] long* VarType, [in, out] long* VarSize, [in, out] long* "
    "VarAddr, [in, out] short* VarIECMemDescSectID, [in, out] long* VarIECMemDescAddrOffset, [in, out] "
    "short* VarIECMemDescSectCIx, [in, out] long* VarAttr, [in, out] long* CompOff, " RC ")",
};
#undef RC

TEST(DocumentTypeLib, MembersInSlotOrderWithDispidsAndSignatures) {
    ASSERT_EQ(kIVarsvcInterface.memberCount, 35u);
    ASSERT_EQ(sizeof kExpected / sizeof kExpected[0], 35u);
    for (UINT i = 0; i < kIVarsvcInterface.memberCount; ++i) {
        const MemberDescription& m = kIVarsvcInterface.members[i];
        SCOPED_TRACE("slot " + std::to_string(i + 7));
        EXPECT_EQ(m.dispid, static_cast<DISPID>(i + 1));
        EXPECT_EQ(Signature(m), kExpected[i]);
        EXPECT_EQ(Narrow(m.helpString), "method " + Narrow(m.name));
        EXPECT_EQ(m.invokeKind, INVOKE_FUNC);
        EXPECT_NE(m.call, nullptr);
    }
}

TEST(DocumentTypeLib, DispatchInterfaceHasTheSameMembersAndDispids) {
    ASSERT_EQ(kDIVarsvcInterface.memberCount, 35u);
    for (UINT i = 0; i < 35; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(kDIVarsvcInterface.members[i].dispid, static_cast<DISPID>(i + 1));
        EXPECT_EQ(Signature(kDIVarsvcInterface.members[i]), kExpected[i]);
    }
    EXPECT_EQ(Narrow(kDIVarsvcInterface.name), "DIVarsvc");
    EXPECT_EQ(kDIVarsvcInterface.typeFlags, TYPEFLAG_FDISPATCHABLE);
}

TEST(DocumentTypeLib, InterfaceLibraryAndClassAttributes) {
    EXPECT_EQ(Narrow(kIVarsvcInterface.name), "IVarsvc");
    EXPECT_EQ(Narrow(kIVarsvcInterface.helpString), "IVarsvc Interface");
    EXPECT_EQ(kIVarsvcInterface.typeFlags,
              TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE);
    EXPECT_EQ(kIVarsvcInterface.iid, IID_IVarsvc);
    EXPECT_EQ(kDIVarsvcInterface.iid, DIID_DIVarsvc);

    EXPECT_EQ(Narrow(kVarsvcTypeLib.name), "Varsvc");
    EXPECT_EQ(Narrow(kVarsvcTypeLib.helpString), "Varsvc");
    EXPECT_EQ(kVarsvcTypeLib.majorVersion, 1);
    EXPECT_EQ(kVarsvcTypeLib.minorVersion, 0);
    EXPECT_EQ(kVarsvcTypeLib.lcid, 0x0409u);
    ASSERT_EQ(kVarsvcTypeLib.coclassCount, 1u);
    ASSERT_EQ(kVarsvcTypeLib.interfaceCount, 2u);
    EXPECT_EQ(TypeLibFindInterface(&kVarsvcTypeLib, IID_IVarsvc), &kIVarsvcInterface);
    EXPECT_EQ(TypeLibFindInterface(&kVarsvcTypeLib, DIID_DIVarsvc), &kDIVarsvcInterface);

    const CoClassDescription& doc = *kVarsvcTypeLib.coclasses[0];
    EXPECT_EQ(doc.clsid, CLSID_Document);
    EXPECT_EQ(Narrow(doc.name), "Document");
    EXPECT_EQ(Narrow(doc.helpString), "Varsvc.Document");
    EXPECT_TRUE(doc.typeFlags & TYPEFLAG_FCANCREATE);
    ASSERT_EQ(doc.interfaceCount, 2u);
    EXPECT_EQ(doc.interfaces[0].iface, &kDIVarsvcInterface);
    EXPECT_EQ(doc.interfaces[0].implFlags, 0);
    EXPECT_EQ(doc.interfaces[1].iface, &kIVarsvcInterface);
    EXPECT_EQ(doc.interfaces[1].implFlags, IMPLTYPEFLAG_FDEFAULT);
}

TEST(DocumentTypeLib, IdentifiersAreDistinctAndTheAppIdIsTheClass) {
    EXPECT_EQ(APPID_Varsvc, CLSID_Document);
    std::set<std::string> ids = {korvane::platform::GuidToText(CLSID_Document),
                                 korvane::platform::GuidToText(IID_IVarsvc),
                                 korvane::platform::GuidToText(DIID_DIVarsvc),
                                 korvane::platform::GuidToText(LIBID_Varsvc)};
    EXPECT_EQ(ids.size(), 4u);
    EXPECT_EQ(ids.count(korvane::platform::GuidToText(GUID_NULL)), 0u);
    EXPECT_EQ(std::string(kVarsvcProgId), "Varsvc.Document");
}

TEST(DocumentTypeLib, RegistrationMakesTheLibraryLoadable) {
    TempDir dir;
    EnvOverride store("KORVANE_REGISTRY", (dir / "registry.db").c_str());
    const TypeLibDescription* lib = nullptr;
    TypeLibAddCompiled(&kVarsvcTypeLib);
    EXPECT_EQ(LoadRegTypeLib(LIBID_Varsvc, 1, 0, 0x0409, &lib), TYPE_E_LIBNOTREGISTERED);
    ASSERT_EQ(RegisterTypeLib(&kVarsvcTypeLib, u"/opt/varsvc/bin/varsvc", u"/opt/varsvc/bin"), S_OK);
    ASSERT_EQ(LoadRegTypeLib(LIBID_Varsvc, 1, 0, 0x0409, &lib), S_OK);
    EXPECT_EQ(lib, &kVarsvcTypeLib);

    HKEY key = nullptr;
    const std::string version = "TypeLib\\" + korvane::platform::GuidToText(LIBID_Varsvc) + "\\1.0";
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, version.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    char text[64] = {};
    DWORD size = sizeof text - 1;
    EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(text, "Varsvc");
    RegCloseKey(key);
}

} // namespace
