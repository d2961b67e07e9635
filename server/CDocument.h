// CDocument, the COM class "Varsvc.Document" that clients create in the
// server process, and its class object. CDocument implements the dual
// interface IVarsvc: logins, projects, project stamps and the control packet
// (CDocument.cpp), the catalogue and type queries (CDocumentQueries.cpp),
// and the nine members that are not served.
//
// Conventions of every served member:
// - It sets *rc to its failure value first (1 unless stated) and writes the
//   entry trace "<hh:mm:ss>: CDocument::<member> () invoked." (level 1), the
//   prefix being the time of day at which this module was compiled.
// - It returns S_OK whatever the outcome (GetProjStamp may return E_FAIL);
//   the outcome is *rc, 0 for success. A null `rc` is a caller's error that
//   no late-bound call can make: E_POINTER, nothing done.
// - Login handles are checked through FindLoginByHandle,
//   FindProjectByHandle and FindOrAddProject with their traces and log
//   message pairs; logins, projects and selections are process-wide, so any
//   instance serves any handle.
// - An incoming BSTR is taken as Windows-1252 text; a null BSTR reads as
//   empty. Outgoing strings are new BSTRs owned by the caller; an in,out
//   string is replaced by the new one, the old one being freed (COM's rule
//   for in,out parameters). Arrays are new one-dimensional safe arrays with
//   lower bound 0, owned by the caller.
// - A null output pointer (possible only for direct C++ callers) is skipped.
//
// Decisions of this implementation:
// - A selection that a re-read of its project (ProjReOpen by any login)
//   has replaced is refused: the next read of it (GetNextVarInfoEx,
//   GetNextAdrInfoEx, GetVarInfoBlockEx) answers rc 1, as for a missing
//   selection, so that a client reading in blocks learns that its read was
//   cut short instead of taking the cut for the end of the catalogue. The
//   selection reads as empty from then on until the login selects again.
// - GetStateRamLayout leaves its nine outputs as the caller passed them.
// - The default project's registry value "Symb00" is taken when it is a
//   string (REG_SZ or REG_EXPAND_SZ, not expanded) of at most 256 bytes;
//   a longer value or another type counts as no default.
// - GetNamedVarInfosEx takes its names only from a VARIANT of exactly
//   VT_ARRAY|VT_BSTR (VT_BYREF allowed) with one dimension: the bit test
//   "type includes VT_ARRAY|VT_BSTR" would also let VT_ARRAY|VT_VARIANT
//   through and read VARIANTs as strings.
#pragma once

#include <atomic>
#include <string>

#include "platform/ComBase.h"
#include "server/VarsvcTypeLib.h"

class KorvaneProject;
class Login;
class ServerModule;
class VarSelection;

/// The entry-trace prefix: the time of day this module was compiled.
extern const char* const kDocumentCompileTime;

class CDocument final : public IVarsvc {
public:
    /// Creates a document, optionally inside the aggregate `outer`, and
    /// queries it for `iid` into *object. Aggregation needs `iid` ==
    /// IID_IUnknown (CLASS_E_NOAGGREGATION otherwise); the object then
    /// hands out its own (non-delegating) IUnknown. E_POINTER for a null
    /// `object`, E_OUTOFMEMORY, E_NOINTERFACE. The document locks
    /// `module` while it lives.
    static HRESULT Create(IUnknown* outer, REFIID iid, void** object, ServerModule& module);

    // IUnknown (delegates to the controlling unknown when aggregated).
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IDispatch: served from the description of IVarsvc in the registered
    // library "Varsvc" 1.0, looked up at the first call of the process and
    // kept; TYPE_E_LIBNOTREGISTERED while it is not registered. No type
    // information is handed out.
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                          DISPID* dispids) override;
    HRESULT Invoke(DISPID dispid, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override;

    /// Forgets the kept type description, so that the next IDispatch call
    /// looks the registered library up again (as in a new process).
    static void ForgetTypeInfo();

    // Logins, projects, stamps and the control packet (CDocument.cpp).
    HRESULT ExecRequ(VARIANT* xPacket, SHORT* rc) override;
    HRESULT Login(LONG* Handle, BSTR Name, SHORT* rc) override;
    HRESULT Logout(LONG* Handle, SHORT KeepProject, SHORT* rc) override;
    HRESULT ProjOpen(LONG Handle, BSTR ProjPath, SHORT* rc) override;
    HRESULT GetProjStamp(LONG Handle, DATE* ProjDate, SHORT* ProjMsec, SHORT* rc) override;
    HRESULT GetProjStampCC(LONG Handle, LONG* relMsec, SHORT* relDate, SHORT* rc) override;
    HRESULT GetProjConsistency(LONG Handle, SHORT* IsConsistent, LONG* relMsec, SHORT* relDate,
                               SHORT* rc) override;
    HRESULT ConvRelMsecDate2DateMsec(LONG relMsec, SHORT relDate, DATE* Date, SHORT* Msec,
                                     SHORT* rc) override;
    HRESULT ProjReOpen(LONG Handle, BSTR ProjPath, SHORT* rc) override;

    // The members that are not served: rc 1, S_OK, nothing else.
    HRESULT GetFirstVarInfo(LONG Handle, BSTR NameMask, SHORT TypeMask, SHORT AddrMask,
                            BSTR* VarName, BSTR* VarCmnt, SHORT* VarType, SHORT* VarAddr,
                            SHORT* VarIndx, SHORT* rc) override;
    HRESULT GetNextVarInfo(LONG Handle, BSTR* VarName, BSTR* VarCmnt, SHORT* VarType,
                           SHORT* VarAddr, SHORT* VarIndx, SHORT* rc) override;
    HRESULT GetFirstAdrInfo(LONG Handle, SHORT VarAddr, SHORT VarIndx, BSTR* VarName,
                            SHORT* rc) override;
    HRESULT GetNextAdrInfo(LONG Handle, BSTR* VarName, SHORT* rc) override;
    HRESULT GetNamedVarInfo(LONG Handle, BSTR VarName, BSTR* VarCmnt, SHORT* VarType,
                            SHORT* VarSize, SHORT* VarAddr, SHORT* VarIndx, SHORT* VarAttr,
                            SHORT* CompOff, SHORT* rc) override;
    HRESULT GetNamedVarInfos(LONG Handle, VARIANT* VarNames, VARIANT* VarCmnts, VARIANT* VarTypes,
                             VARIANT* VarSizes, VARIANT* VarAddrs, VARIANT* VarIndxs,
                             VARIANT* VarAttrs, VARIANT* CompOffs, SHORT* rc) override;
    HRESULT GetVarInfoBlock(LONG Handle, LONG* BlockIterator, SHORT* NumberReq, SHORT* NumberRet,
                            VARIANT* VarNames, VARIANT* VarCmnts, VARIANT* VarTypes,
                            VARIANT* VarSizes, VARIANT* VarAddrs, VARIANT* VarIndxs,
                            VARIANT* VarAttrs, VARIANT* CompOffs, SHORT* rc) override;
    HRESULT GetAdrInfos(LONG Handle, SHORT VarAddr, SHORT VarIndx, VARIANT* VarName,
                        SHORT* rc) override;
    HRESULT GetNamedVarInfo2(LONG Handle, BSTR VarName, BSTR* VarCmnt, VARIANT* VarInit,
                             LONG* VarKind, LONG* VarType, LONG* VarSize, LONG* VarAddr,
                             LONG* VarIndx, LONG* VarAttr, LONG* CompOff, SHORT* rc) override;

    // Catalogue and type queries (CDocumentQueries.cpp).
    HRESULT GetTypeId(LONG Handle, BSTR TypeName, SHORT* TypeId, SHORT* rc) override;
    HRESULT GetTypeName(LONG Handle, SHORT TypeId, BSTR* TypeName, SHORT* rc) override;
    HRESULT GetTypeSize(LONG Handle, SHORT TypeId, SHORT* TypeSize, SHORT* rc) override;
    HRESULT SetVarInfoFilter(LONG Handle, BSTR NameMask, SHORT TypeMask, SHORT AddrMask,
                             LONG EtcMask, LONG* BlockIterator, SHORT* rc) override;
    HRESULT GetStateRamLayout(LONG Handle, LONG* NumOfCoils, LONG* NumOfInputs,
                              LONG* NumOfInputRegs, LONG* NumOfHoldingRegs, LONG* NumOfExtRegs,
                              LONG* BegCoilsUnProt, LONG* EndCoilsUnProt, LONG* BegHoldsUnProt,
                              LONG* EndHoldsUnProt, SHORT* rc) override;
    HRESULT GetTypeIds(LONG Handle, VARIANT* Names, VARIANT* Ids, SHORT* rc) override;
    HRESULT GetTypeNames(LONG Handle, VARIANT* Ids, VARIANT* Names, SHORT* rc) override;
    HRESULT GetTypeSizes(LONG Handle, VARIANT* Ids, VARIANT* Sizes, SHORT* rc) override;
    HRESULT GetFirstVarInfoEx(LONG Handle, BSTR NameMask, SHORT TypeMask, SHORT AddrMask,
                              BSTR* VarName, BSTR* VarCmnt, SHORT* VarType, SHORT* VarAddr,
                              SHORT* VarIECMemDescSectID, LONG* VarIECMemDescAddrOffset,
                              SHORT* VarIECMemDescSectCIx, SHORT* rc) override;
    HRESULT GetNextVarInfoEx(LONG Handle, BSTR* VarName, BSTR* VarCmnt, SHORT* VarType,
                             SHORT* VarAddr, SHORT* VarIECMemDescSectID,
                             LONG* VarIECMemDescAddrOffset, SHORT* VarIECMemDescSectCIx,
                             SHORT* rc) override;
    HRESULT GetFirstAdrInfoEx(LONG Handle, SHORT VarAddr, SHORT VarIECMemDescSectID,
                              LONG VarIECMemDescAddrOffset, SHORT VarIECMemDescSectCIx,
                              BSTR* VarName, SHORT* rc) override;
    HRESULT GetNextAdrInfoEx(LONG Handle, BSTR* VarName, SHORT* rc) override;
    HRESULT GetNamedVarInfoEx(LONG Handle, BSTR VarName, BSTR* VarCmnt, SHORT* VarType,
                              SHORT* VarSize, SHORT* VarAddr, SHORT* VarIECMemDescSectID,
                              LONG* VarIECMemDescAddrOffset, SHORT* VarIECMemDescSectCIx,
                              SHORT* VarAttr, SHORT* CompOff, SHORT* rc) override;
    HRESULT GetNamedVarInfosEx(LONG Handle, VARIANT* VarNames, VARIANT* VarCmnts,
                               VARIANT* VarTypes, VARIANT* VarSizes, VARIANT* VarAddrs,
                               VARIANT* VarIECMemDescSectIDs, VARIANT* VarIECMemDescAddrOffsets,
                               VARIANT* VarIECMemDescSectCIxs, VARIANT* VarAttrs,
                               VARIANT* CompOffs, SHORT* rc) override;
    HRESULT GetVarInfoBlockEx(LONG Handle, LONG* BlockIterator, SHORT* NumberReq,
                              SHORT* NumberRet, VARIANT* VarNames, VARIANT* VarCmnts,
                              VARIANT* VarTypes, VARIANT* VarSizes, VARIANT* VarAddrs,
                              VARIANT* VarIECMemDescSectIDs, VARIANT* VarIECMemDescAddrOffsets,
                              VARIANT* VarIECMemDescSectCIxs, VARIANT* VarAttrs,
                              VARIANT* CompOffs, SHORT* rc) override;
    HRESULT GetAdrInfosEx(LONG Handle, SHORT VarAddr, SHORT VarIECMemDescSectID,
                          LONG VarIECMemDescAddrOffset, SHORT VarIECMemDescSectCIx,
                          VARIANT* VarName, SHORT* rc) override;
    HRESULT GetNamedVarInfo2Ex(LONG Handle, BSTR VarName, BSTR* VarCmnt, VARIANT* VarInit,
                               LONG* VarKind, LONG* VarType, LONG* VarSize, LONG* VarAddr,
                               SHORT* VarIECMemDescSectID, LONG* VarIECMemDescAddrOffset,
                               SHORT* VarIECMemDescSectCIx, LONG* VarAttr, LONG* CompOff,
                               SHORT* rc) override;

    // ---- handle checks (process-wide login and project sets) ----------

    /// The login of `handle`. None: `login` null, level-3 trace
    /// "CDocument::FindLoginByHandle: Found no Login for handle: 0x%08X"
    /// and the log pair "FindLoginByHandle: invalid handle 0x%08X".
    static bool FindLoginByHandle(LONG handle, ::Login*& login);
    /// The project (null when none is attached, with a level-3 trace) and
    /// the selection of the login of `handle`. An unknown handle sets both
    /// to null with a level-3 trace and the log pair "FindProjectByHandle:
    /// invalid handle 0x%08X". True when both were found.
    static bool FindProjectByHandle(LONG handle, KorvaneProject*& project, VarSelection*& selection);
    /// The project for a client's path: "" or "*" name the default project
    /// (the first loaded project, else the registry value "Symb00"); the
    /// path is lower-cased (ASCII) and looked up in the project set, or
    /// loaded. Null when there is no default or the read failed.
    static bool FindOrAddProject(BSTR path, KorvaneProject*& project);

private:
    CDocument(IUnknown* outer, ServerModule& module);
    ~CDocument();

    // The non-delegating IUnknown: the object's own identity and count.
    class Inner final : public IUnknown {
    public:
        explicit Inner(CDocument& d) : doc(d) {}
        HRESULT QueryInterface(REFIID iid, void** object) override;
        ULONG AddRef() override;
        ULONG Release() override;

    private:
        CDocument& doc;
    };

    Inner inner;
    IUnknown* controlling; // the aggregate's unknown, or &inner
    std::atomic<ULONG> refs{1};
    ServerModule& module;
};

/// The class object of Document: one per process, used for every client
/// connection (multiple use). LockServer counts in the module's lock count.
class CDocumentFactory final : public IClassFactory {
public:
    explicit CDocumentFactory(ServerModule& module) : module(module) {}
    HRESULT QueryInterface(REFIID iid, void** object) override;
    /// The class object lives as long as the program: the counts are fixed.
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    /// CDocument::Create.
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    /// Locks (TRUE) or unlocks (FALSE) the module.
    HRESULT LockServer(BOOL lock) override;

private:
    ServerModule& module;
};
