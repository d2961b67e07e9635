// The type library of the catalogue server: library "Varsvc" 1.0 with the
// dual interface IVarsvc (35 members in table slots 7 to 41), the dispatch
// interface DIVarsvc with the same members, and the creatable class
// Document ("Varsvc.Document"), with their identifiers.
//
// The library is described statically (platform/TypeLib.h) and compiled
// into the server program, where it plays the part of the program's type
// library resource. It imports nothing at run time: IDispatch, which the
// original library takes from "stdole2.tlb", is the platform's own.
//
// Parameter types follow the interface definition: `long` is a 32-bit LONG,
// `short` a 16-bit SHORT, strings BSTR, dates DATE; every member returns an
// HRESULT and ends with [out, retval] SHORT* rc (a VT_I2 status for late-bound
// callers).
#pragma once

#include "platform/ComBase.h"
#include "platform/TypeLib.h"

/// Class identifier of Document; the server's AppID is the same GUID.
inline constexpr CLSID CLSID_Document = {
    0x2063C030, 0xCDFB, 0x4429, {0x8D, 0x22, 0x42, 0xBB, 0xF2, 0x99, 0x8A, 0x36}};
/// The server's application identifier (equal to the class identifier).
inline constexpr GUID APPID_Varsvc = CLSID_Document;
/// Identifier of the dual interface IVarsvc.
inline constexpr IID IID_IVarsvc = {
    0x5326CC91, 0x39A7, 0x4017, {0x9A, 0x88, 0x97, 0xAB, 0xB9, 0x8E, 0xB5, 0xED}};
/// Identifier of the dispatch interface DIVarsvc (not answered by
/// QueryInterface; its members are reached through IDispatch).
inline constexpr IID DIID_DIVarsvc = {
    0x9B531B1E, 0xFC52, 0x4763, {0x80, 0x0F, 0x09, 0x14, 0x38, 0x4E, 0x64, 0xBC}};
/// Identifier of the library "Varsvc".
inline constexpr GUID LIBID_Varsvc = {
    0x802A9875, 0x8A1A, 0x4F40, {0xA4, 0xFE, 0x1A, 0x3A, 0x9D, 0x45, 0x82, 0xEF}};

/// Version and locale of the library.
constexpr WORD kVarsvcLibMajor = 1;
constexpr WORD kVarsvcLibMinor = 0;
constexpr LCID kVarsvcLibLcid = 0x0409;

/// The class's programmatic identifier and the class key's description.
inline constexpr char kVarsvcProgId[] = "Varsvc.Document";

/// Number of members of IVarsvc and DIVarsvc (DISPIDs 1 to 35).
constexpr UINT kVarsvcMemberCount = 35;

/// The dual interface, members in slot order (slot 7 = DISPID 1 onwards).
/// Every member sets *rc and returns S_OK (GetProjStamp may return E_FAIL);
/// see CDocument for the behaviour of each.
class IVarsvc : public IDispatch {
public:
    virtual HRESULT ExecRequ(VARIANT* xPacket, SHORT* rc) = 0;                                   // 1
    virtual HRESULT Login(LONG* Handle, BSTR Name, SHORT* rc) = 0;                               // 2
    virtual HRESULT Logout(LONG* Handle, SHORT KeepProject, SHORT* rc) = 0;                      // 3
    virtual HRESULT ProjOpen(LONG Handle, BSTR ProjPath, SHORT* rc) = 0;                         // 4
    virtual HRESULT GetFirstVarInfo(LONG Handle, BSTR NameMask, SHORT TypeMask, SHORT AddrMask,
                                    BSTR* VarName, BSTR* VarCmnt, SHORT* VarType, SHORT* VarAddr,
                                    SHORT* VarIndx, SHORT* rc) = 0;                              // 5
    virtual HRESULT GetNextVarInfo(LONG Handle, BSTR* VarName, BSTR* VarCmnt, SHORT* VarType,
                                   SHORT* VarAddr, SHORT* VarIndx, SHORT* rc) = 0;              // 6
    virtual HRESULT GetProjStamp(LONG Handle, DATE* ProjDate, SHORT* ProjMsec, SHORT* rc) = 0;  // 7
    virtual HRESULT GetFirstAdrInfo(LONG Handle, SHORT VarAddr, SHORT VarIndx, BSTR* VarName,
                                    SHORT* rc) = 0;                                              // 8
    virtual HRESULT GetNextAdrInfo(LONG Handle, BSTR* VarName, SHORT* rc) = 0;                   // 9
    virtual HRESULT GetNamedVarInfo(LONG Handle, BSTR VarName, BSTR* VarCmnt, SHORT* VarType,
                                    SHORT* VarSize, SHORT* VarAddr, SHORT* VarIndx, SHORT* VarAttr,
                                    SHORT* CompOff, SHORT* rc) = 0;                              // 10
    virtual HRESULT GetTypeId(LONG Handle, BSTR TypeName, SHORT* TypeId, SHORT* rc) = 0;         // 11
    virtual HRESULT GetTypeName(LONG Handle, SHORT TypeId, BSTR* TypeName, SHORT* rc) = 0;       // 12
    virtual HRESULT GetTypeSize(LONG Handle, SHORT TypeId, SHORT* TypeSize, SHORT* rc) = 0;      // 13
    virtual HRESULT GetProjStampCC(LONG Handle, LONG* relMsec, SHORT* relDate, SHORT* rc) = 0;   // 14
    virtual HRESULT GetProjConsistency(LONG Handle, SHORT* IsConsistent, LONG* relMsec,
                                       SHORT* relDate, SHORT* rc) = 0;                           // 15
    virtual HRESULT ConvRelMsecDate2DateMsec(LONG relMsec, SHORT relDate, DATE* Date, SHORT* Msec,
                                             SHORT* rc) = 0;                                     // 16
    virtual HRESULT ProjReOpen(LONG Handle, BSTR ProjPath, SHORT* rc) = 0;                       // 17
    virtual HRESULT GetNamedVarInfos(LONG Handle, VARIANT* VarNames, VARIANT* VarCmnts,
                                     VARIANT* VarTypes, VARIANT* VarSizes, VARIANT* VarAddrs,
                                     VARIANT* VarIndxs, VARIANT* VarAttrs, VARIANT* CompOffs,
                                     SHORT* rc) = 0;                                             // 18
    virtual HRESULT SetVarInfoFilter(LONG Handle, BSTR NameMask, SHORT TypeMask, SHORT AddrMask,
                                     LONG EtcMask, LONG* BlockIterator, SHORT* rc) = 0;          // 19
    virtual HRESULT GetVarInfoBlock(LONG Handle, LONG* BlockIterator, SHORT* NumberReq,
                                    SHORT* NumberRet, VARIANT* VarNames, VARIANT* VarCmnts,
                                    VARIANT* VarTypes, VARIANT* VarSizes, VARIANT* VarAddrs,
                                    VARIANT* VarIndxs, VARIANT* VarAttrs, VARIANT* CompOffs,
                                    SHORT* rc) = 0;                                              // 20
    virtual HRESULT GetStateRamLayout(LONG Handle, LONG* NumOfCoils, LONG* NumOfInputs,
                                      LONG* NumOfInputRegs, LONG* NumOfHoldingRegs,
                                      LONG* NumOfExtRegs, LONG* BegCoilsUnProt,
                                      LONG* EndCoilsUnProt, LONG* BegHoldsUnProt,
                                      LONG* EndHoldsUnProt, SHORT* rc) = 0;                      // 21
    virtual HRESULT GetTypeIds(LONG Handle, VARIANT* Names, VARIANT* Ids, SHORT* rc) = 0;        // 22
    virtual HRESULT GetTypeNames(LONG Handle, VARIANT* Ids, VARIANT* Names, SHORT* rc) = 0;      // 23
    virtual HRESULT GetTypeSizes(LONG Handle, VARIANT* Ids, VARIANT* Sizes, SHORT* rc) = 0;      // 24
    virtual HRESULT GetAdrInfos(LONG Handle, SHORT VarAddr, SHORT VarIndx, VARIANT* VarName,
                                SHORT* rc) = 0;                                                  // 25
    virtual HRESULT GetNamedVarInfo2(LONG Handle, BSTR VarName, BSTR* VarCmnt, VARIANT* VarInit,
                                     LONG* VarKind, LONG* VarType, LONG* VarSize, LONG* VarAddr,
                                     LONG* VarIndx, LONG* VarAttr, LONG* CompOff, SHORT* rc) = 0; // 26
    virtual HRESULT GetFirstVarInfoEx(LONG Handle, BSTR NameMask, SHORT TypeMask, SHORT AddrMask,
                                      BSTR* VarName, BSTR* VarCmnt, SHORT* VarType, SHORT* VarAddr,
                                      SHORT* VarIECMemDescSectID, LONG* VarIECMemDescAddrOffset,
                                      SHORT* VarIECMemDescSectCIx, SHORT* rc) = 0;               // 27
    virtual HRESULT GetNextVarInfoEx(LONG Handle, BSTR* VarName, BSTR* VarCmnt, SHORT* VarType,
                                     SHORT* VarAddr, SHORT* VarIECMemDescSectID,
                                     LONG* VarIECMemDescAddrOffset, SHORT* VarIECMemDescSectCIx,
                                     SHORT* rc) = 0;                                             // 28
    virtual HRESULT GetFirstAdrInfoEx(LONG Handle, SHORT VarAddr, SHORT VarIECMemDescSectID,
                                      LONG VarIECMemDescAddrOffset, SHORT VarIECMemDescSectCIx,
                                      BSTR* VarName, SHORT* rc) = 0;                             // 29
    virtual HRESULT GetNextAdrInfoEx(LONG Handle, BSTR* VarName, SHORT* rc) = 0;                 // 30
    virtual HRESULT GetNamedVarInfoEx(LONG Handle, BSTR VarName, BSTR* VarCmnt, SHORT* VarType,
                                      SHORT* VarSize, SHORT* VarAddr, SHORT* VarIECMemDescSectID,
                                      LONG* VarIECMemDescAddrOffset, SHORT* VarIECMemDescSectCIx,
                                      SHORT* VarAttr, SHORT* CompOff, SHORT* rc) = 0;            // 31
    virtual HRESULT GetNamedVarInfosEx(LONG Handle, VARIANT* VarNames, VARIANT* VarCmnts,
                                       VARIANT* VarTypes, VARIANT* VarSizes, VARIANT* VarAddrs,
                                       VARIANT* VarIECMemDescSectIDs,
                                       VARIANT* VarIECMemDescAddrOffsets,
                                       VARIANT* VarIECMemDescSectCIxs, VARIANT* VarAttrs,
                                       VARIANT* CompOffs, SHORT* rc) = 0;                        // 32
    virtual HRESULT GetVarInfoBlockEx(LONG Handle, LONG* BlockIterator, SHORT* NumberReq,
                                      SHORT* NumberRet, VARIANT* VarNames, VARIANT* VarCmnts,
                                      VARIANT* VarTypes, VARIANT* VarSizes, VARIANT* VarAddrs,
                                      VARIANT* VarIECMemDescSectIDs,
                                      VARIANT* VarIECMemDescAddrOffsets,
                                      VARIANT* VarIECMemDescSectCIxs, VARIANT* VarAttrs,
                                      VARIANT* CompOffs, SHORT* rc) = 0;                         // 33
    virtual HRESULT GetAdrInfosEx(LONG Handle, SHORT VarAddr, SHORT VarIECMemDescSectID,
                                  LONG VarIECMemDescAddrOffset, SHORT VarIECMemDescSectCIx,
                                  VARIANT* VarName, SHORT* rc) = 0;                              // 34
    virtual HRESULT GetNamedVarInfo2Ex(LONG Handle, BSTR VarName, BSTR* VarCmnt, VARIANT* VarInit,
                                       LONG* VarKind, LONG* VarType, LONG* VarSize, LONG* VarAddr,
                                       SHORT* VarIECMemDescSectID, LONG* VarIECMemDescAddrOffset,
                                       SHORT* VarIECMemDescSectCIx, LONG* VarAttr, LONG* CompOff,
                                       SHORT* rc) = 0;                                           // 35

protected:
    IVarsvc() = default;
    IVarsvc(const IVarsvc&) = default;
    IVarsvc& operator=(const IVarsvc&) = default;
    ~IVarsvc() = default;
};

/// The dual interface IVarsvc: help string "IVarsvc Interface"; flags dual,
/// ole-automation and dispatchable; members in slot order with DISPIDs 1 to
/// 35, each with the help string "method <name>".
extern const InterfaceDescription kIVarsvcInterface;
/// The dispatch interface DIVarsvc: the same 35 members and DISPIDs, each
/// returning its status as VT_I2; flag dispatchable.
extern const InterfaceDescription kDIVarsvcInterface;
/// The coclass Document: creatable, help string "Varsvc.Document",
/// implementing DIVarsvc (no flags) and IVarsvc (default).
extern const CoClassDescription kDocumentClass;
/// The library "Varsvc" 1.0, locale 0x0409, help string "Varsvc".
extern const TypeLibDescription kVarsvcTypeLib;
