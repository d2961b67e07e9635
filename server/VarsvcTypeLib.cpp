// The static description of the type library "Varsvc": parameter lists with
// names, types and directions, the members of IVarsvc and DIVarsvc, the
// coclass Document and the library.
#include "server/VarsvcTypeLib.h"

#include "platform/DispatchInvoke.h"

namespace {

constexpr USHORT IN = PARAMFLAG_FIN;
constexpr USHORT OUT = PARAMFLAG_FOUT;
constexpr USHORT INOUT = PARAMFLAG_FIN | PARAMFLAG_FOUT;
constexpr USHORT RETVAL = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

constexpr VARTYPE I2 = VT_I2;
constexpr VARTYPE I4 = VT_I4;
constexpr VARTYPE STR = VT_BSTR;
constexpr VARTYPE I2P = VT_BYREF | VT_I2;
constexpr VARTYPE I4P = VT_BYREF | VT_I4;
constexpr VARTYPE STRP = VT_BYREF | VT_BSTR;
constexpr VARTYPE DATEP = VT_BYREF | VT_DATE;
constexpr VARTYPE VARP = VT_BYREF | VT_VARIANT;

// Every member ends with this parameter.
#define RC {u"rc", I2P, RETVAL}

constexpr ParamDescription kExecRequ[] = {{u"xPacket", VARP, INOUT}, RC};
constexpr ParamDescription kLogin[] = {{u"Handle", I4P, INOUT}, {u"Name", STR, IN}, RC};
constexpr ParamDescription kLogout[] = {{u"Handle", I4P, INOUT}, {u"KeepProject", I2, IN}, RC};
constexpr ParamDescription kProjOpen[] = {{u"Handle", I4, IN}, {u"ProjPath", STR, IN}, RC};
constexpr ParamDescription kGetFirstVarInfo[] = {
    {u"Handle", I4, IN},     {u"NameMask", STR, IN},  {u"TypeMask", I2, IN},
    {u"AddrMask", I2, IN},   {u"VarName", STRP, INOUT}, {u"VarCmnt", STRP, INOUT},
    {u"VarType", I2P, INOUT}, {u"VarAddr", I2P, INOUT}, {u"VarIndx", I2P, INOUT}, RC};
constexpr ParamDescription kGetNextVarInfo[] = {
    {u"Handle", I4, IN},      {u"VarName", STRP, INOUT}, {u"VarCmnt", STRP, INOUT},
    {u"VarType", I2P, INOUT}, {u"VarAddr", I2P, INOUT},  {u"VarIndx", I2P, INOUT}, RC};
constexpr ParamDescription kGetProjStamp[] = {
    {u"Handle", I4, IN}, {u"ProjDate", DATEP, OUT}, {u"ProjMsec", I2P, OUT}, RC};
constexpr ParamDescription kGetFirstAdrInfo[] = {
    {u"Handle", I4, IN}, {u"VarAddr", I2, IN}, {u"VarIndx", I2, IN}, {u"VarName", STRP, INOUT}, RC};
constexpr ParamDescription kGetNextAdrInfo[] = {{u"Handle", I4, IN}, {u"VarName", STRP, INOUT}, RC};
constexpr ParamDescription kGetNamedVarInfo[] = {
    {u"Handle", I4, IN},      {u"VarName", STR, IN},    {u"VarCmnt", STRP, INOUT},
    {u"VarType", I2P, INOUT}, {u"VarSize", I2P, INOUT}, {u"VarAddr", I2P, INOUT},
    {u"VarIndx", I2P, INOUT}, {u"VarAttr", I2P, INOUT}, {u"CompOff", I2P, INOUT}, RC};
constexpr ParamDescription kGetTypeId[] = {
    {u"Handle", I4, IN}, {u"TypeName", STR, IN}, {u"TypeId", I2P, OUT}, RC};
constexpr ParamDescription kGetTypeName[] = {
    {u"Handle", I4, IN}, {u"TypeId", I2, IN}, {u"TypeName", STRP, INOUT}, RC};
constexpr ParamDescription kGetTypeSize[] = {
    {u"Handle", I4, IN}, {u"TypeId", I2, IN}, {u"TypeSize", I2P, OUT}, RC};
constexpr ParamDescription kGetProjStampCC[] = {
    {u"Handle", I4, IN}, {u"relMsec", I4P, OUT}, {u"relDate", I2P, OUT}, RC};
constexpr ParamDescription kGetProjConsistency[] = {{u"Handle", I4, IN},
                                                    {u"IsConsistent", I2P, OUT},
                                                    {u"relMsec", I4P, OUT},
                                                    {u"relDate", I2P, OUT},
                                                    RC};
constexpr ParamDescription kConvRelMsecDate2DateMsec[] = {
    {u"relMsec", I4, IN}, {u"relDate", I2, IN}, {u"Date", DATEP, OUT}, {u"Msec", I2P, OUT}, RC};
constexpr ParamDescription kProjReOpen[] = {{u"Handle", I4, IN}, {u"ProjPath", STR, IN}, RC};
constexpr ParamDescription kGetNamedVarInfos[] = {
    {u"Handle", I4, IN},       {u"VarNames", VARP, IN},   {u"VarCmnts", VARP, INOUT},
    {u"VarTypes", VARP, INOUT}, {u"VarSizes", VARP, INOUT}, {u"VarAddrs", VARP, INOUT},
    {u"VarIndxs", VARP, INOUT}, {u"VarAttrs", VARP, INOUT}, {u"CompOffs", VARP, INOUT}, RC};
constexpr ParamDescription kSetVarInfoFilter[] = {
    {u"Handle", I4, IN},  {u"NameMask", STR, IN}, {u"TypeMask", I2, IN},        {u"AddrMask", I2, IN},
    {u"EtcMask", I4, IN}, {u"BlockIterator", I4P, OUT}, RC};
constexpr ParamDescription kGetVarInfoBlock[] = {
    {u"Handle", I4, IN},         {u"BlockIterator", I4P, INOUT}, {u"NumberReq", I2P, INOUT},
    {u"NumberRet", I2P, OUT},    {u"VarNames", VARP, OUT},       {u"VarCmnts", VARP, INOUT},
    {u"VarTypes", VARP, INOUT},  {u"VarSizes", VARP, INOUT},     {u"VarAddrs", VARP, INOUT},
    {u"VarIndxs", VARP, INOUT},  {u"VarAttrs", VARP, INOUT},     {u"CompOffs", VARP, INOUT}, RC};
constexpr ParamDescription kGetStateRamLayout[] = {
    {u"Handle", I4, IN},          {u"NumOfCoils", I4P, OUT},     {u"NumOfInputs", I4P, OUT},
    {u"NumOfInputRegs", I4P, OUT}, {u"NumOfHoldingRegs", I4P, OUT}, {u"NumOfExtRegs", I4P, OUT},
    {u"BegCoilsUnProt", I4P, OUT}, {u"EndCoilsUnProt", I4P, OUT}, {u"BegHoldsUnProt", I4P, OUT},
    {u"EndHoldsUnProt", I4P, OUT}, RC};
constexpr ParamDescription kGetTypeIds[] = {
    {u"Handle", I4, IN}, {u"Names", VARP, IN}, {u"Ids", VARP, INOUT}, RC};
constexpr ParamDescription kGetTypeNames[] = {
    {u"Handle", I4, IN}, {u"Ids", VARP, IN}, {u"Names", VARP, INOUT}, RC};
constexpr ParamDescription kGetTypeSizes[] = {
    {u"Handle", I4, IN}, {u"Ids", VARP, IN}, {u"Sizes", VARP, INOUT}, RC};
constexpr ParamDescription kGetAdrInfos[] = {
    {u"Handle", I4, IN}, {u"VarAddr", I2, IN}, {u"VarIndx", I2, IN}, {u"VarName", VARP, INOUT}, RC};
constexpr ParamDescription kGetNamedVarInfo2[] = {
    {u"Handle", I4, IN},      {u"VarName", STR, IN},     {u"VarCmnt", STRP, INOUT},
    {u"VarInit", VARP, INOUT}, {u"VarKind", I4P, INOUT},  {u"VarType", I4P, INOUT},
    {u"VarSize", I4P, INOUT}, {u"VarAddr", I4P, INOUT},  {u"VarIndx", I4P, INOUT},
    {u"VarAttr", I4P, INOUT}, {u"CompOff", I4P, INOUT},  RC};
constexpr ParamDescription kGetFirstVarInfoEx[] = {
    {u"Handle", I4, IN},
    {u"NameMask", STR, IN},
    {u"TypeMask", I2, IN},
    {u"AddrMask", I2, IN},
    {u"VarName", STRP, INOUT},
    {u"VarCmnt", STRP, INOUT},
    {u"VarType", I2P, INOUT},
    {u"VarAddr", I2P, INOUT},
    {u"VarIECMemDescSectID", I2P, INOUT},
    {u"VarIECMemDescAddrOffset", I4P, INOUT},
    {u"VarIECMemDescSectCIx", I2P, INOUT},
    RC};
constexpr ParamDescription kGetNextVarInfoEx[] = {
    {u"Handle", I4, IN},
    {u"VarName", STRP, INOUT},
    {u"VarCmnt", STRP, INOUT},
    {u"VarType", I2P, INOUT},
    {u"VarAddr", I2P, INOUT},
    {u"VarIECMemDescSectID", I2P, INOUT},
    {u"VarIECMemDescAddrOffset", I4P, INOUT},
    {u"VarIECMemDescSectCIx", I2P, INOUT},
    RC};
constexpr ParamDescription kGetFirstAdrInfoEx[] = {
    {u"Handle", I4, IN},
    {u"VarAddr", I2, IN},
    {u"VarIECMemDescSectID", I2, IN},
    {u"VarIECMemDescAddrOffset", I4, IN},
    {u"VarIECMemDescSectCIx", I2, IN},
    {u"VarName", STRP, INOUT},
    RC};
constexpr ParamDescription kGetNextAdrInfoEx[] = {{u"Handle", I4, IN}, {u"VarName", STRP, INOUT}, RC};
constexpr ParamDescription kGetNamedVarInfoEx[] = {
    {u"Handle", I4, IN},
    {u"VarName", STR, IN},
    {u"VarCmnt", STRP, INOUT},
    {u"VarType", I2P, INOUT},
    {u"VarSize", I2P, INOUT},
    {u"VarAddr", I2P, INOUT},
    {u"VarIECMemDescSectID", I2P, INOUT},
    {u"VarIECMemDescAddrOffset", I4P, INOUT},
    {u"VarIECMemDescSectCIx", I2P, INOUT},
    {u"VarAttr", I2P, INOUT},
    {u"CompOff", I2P, INOUT},
    RC};
constexpr ParamDescription kGetNamedVarInfosEx[] = {
    {u"Handle", I4, IN},
    {u"VarNames", VARP, IN},
    {u"VarCmnts", VARP, INOUT},
    {u"VarTypes", VARP, INOUT},
    {u"VarSizes", VARP, INOUT},
    {u"VarAddrs", VARP, INOUT},
    {u"VarIECMemDescSectIDs", VARP, INOUT},
    {u"VarIECMemDescAddrOffsets", VARP, INOUT},
    {u"VarIECMemDescSectCIxs", VARP, INOUT},
    {u"VarAttrs", VARP, INOUT},
    {u"CompOffs", VARP, INOUT},
    RC};
constexpr ParamDescription kGetVarInfoBlockEx[] = {
    {u"Handle", I4, IN},
    {u"BlockIterator", I4P, INOUT},
    {u"NumberReq", I2P, INOUT},
    {u"NumberRet", I2P, OUT},
    {u"VarNames", VARP, OUT},
    {u"VarCmnts", VARP, INOUT},
    {u"VarTypes", VARP, INOUT},
    {u"VarSizes", VARP, INOUT},
    {u"VarAddrs", VARP, INOUT},
    {u"VarIECMemDescSectIDs", VARP, INOUT},
    {u"VarIECMemDescAddrOffsets", VARP, INOUT},
    {u"VarIECMemDescSectCIxs", VARP, INOUT},
    {u"VarAttrs", VARP, INOUT},
    {u"CompOffs", VARP, INOUT},
    RC};
constexpr ParamDescription kGetAdrInfosEx[] = {
    {u"Handle", I4, IN},
    {u"VarAddr", I2, IN},
    {u"VarIECMemDescSectID", I2, IN},
    {u"VarIECMemDescAddrOffset", I4, IN},
    {u"VarIECMemDescSectCIx", I2, IN},
    {u"VarName", VARP, INOUT},
    RC};
constexpr ParamDescription kGetNamedVarInfo2Ex[] = {
    {u"Handle", I4, IN},
    {u"VarName", STR, IN},
    {u"VarCmnt", STRP, INOUT},
    {u"VarInit", VARP, INOUT},
    {u"VarKind", I4P, INOUT},
    {u"VarType", I4P, INOUT},
    {u"VarSize", I4P, INOUT},
    {u"VarAddr", I4P, INOUT},
    {u"VarIECMemDescSectID", I2P, INOUT},
    {u"VarIECMemDescAddrOffset", I4P, INOUT},
    {u"VarIECMemDescSectCIx", I2P, INOUT},
    {u"VarAttr", I4P, INOUT},
    {u"CompOff", I4P, INOUT},
    RC};

#undef RC

// One member: DISPID, name, help string "method <name>", parameters. The
// C++ member's signature is checked against the parameter list at compile
// time by DispMember.
#define MEMBER(id, Name) \
    DispMember<&IVarsvc::Name>(id, u"" #Name, u"method " #Name, INVOKE_FUNC, k##Name)

constexpr MemberDescription kMembers[] = {
    MEMBER(1, ExecRequ),
    MEMBER(2, Login),
    MEMBER(3, Logout),
    MEMBER(4, ProjOpen),
    MEMBER(5, GetFirstVarInfo),
    MEMBER(6, GetNextVarInfo),
    MEMBER(7, GetProjStamp),
    MEMBER(8, GetFirstAdrInfo),
    MEMBER(9, GetNextAdrInfo),
    MEMBER(10, GetNamedVarInfo),
    MEMBER(11, GetTypeId),
    MEMBER(12, GetTypeName),
    MEMBER(13, GetTypeSize),
    MEMBER(14, GetProjStampCC),
    MEMBER(15, GetProjConsistency),
    MEMBER(16, ConvRelMsecDate2DateMsec),
    MEMBER(17, ProjReOpen),
    MEMBER(18, GetNamedVarInfos),
    MEMBER(19, SetVarInfoFilter),
    MEMBER(20, GetVarInfoBlock),
    MEMBER(21, GetStateRamLayout),
    MEMBER(22, GetTypeIds),
    MEMBER(23, GetTypeNames),
    MEMBER(24, GetTypeSizes),
    MEMBER(25, GetAdrInfos),
    MEMBER(26, GetNamedVarInfo2),
    MEMBER(27, GetFirstVarInfoEx),
    MEMBER(28, GetNextVarInfoEx),
    MEMBER(29, GetFirstAdrInfoEx),
    MEMBER(30, GetNextAdrInfoEx),
    MEMBER(31, GetNamedVarInfoEx),
    MEMBER(32, GetNamedVarInfosEx),
    MEMBER(33, GetVarInfoBlockEx),
    MEMBER(34, GetAdrInfosEx),
    MEMBER(35, GetNamedVarInfo2Ex),
};

#undef MEMBER

static_assert(sizeof kMembers / sizeof kMembers[0] == kVarsvcMemberCount);

constexpr bool DispidsAreSlotOrder() {
    for (UINT i = 0; i < kVarsvcMemberCount; ++i)
        if (kMembers[i].dispid != static_cast<DISPID>(i + 1))
            return false;
    return true;
}
static_assert(DispidsAreSlotOrder(), "DISPID = slot - 6");

} // namespace

const InterfaceDescription kIVarsvcInterface = {
    IID_IVarsvc,
    u"IVarsvc",
    u"IVarsvc Interface",
    TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE,
    kMembers,
    kVarsvcMemberCount};

// The dispatch interface carries the same members: in this description
// model a member's VT_I2 result is its [out, retval] parameter, so the
// parameter lists (and the calls behind them) are shared with IVarsvc.
const InterfaceDescription kDIVarsvcInterface = {
    DIID_DIVarsvc, u"DIVarsvc", u"", TYPEFLAG_FDISPATCHABLE, kMembers, kVarsvcMemberCount};

namespace {
const ImplementedInterface kDocumentInterfaces[] = {
    {&kDIVarsvcInterface, 0},
    {&kIVarsvcInterface, IMPLTYPEFLAG_FDEFAULT},
};
const InterfaceDescription* const kLibInterfaces[] = {&kDIVarsvcInterface, &kIVarsvcInterface};
const CoClassDescription* const kLibClasses[] = {&kDocumentClass};
} // namespace

const CoClassDescription kDocumentClass = {
    CLSID_Document, u"Document", u"Varsvc.Document", TYPEFLAG_FCANCREATE, kDocumentInterfaces, 2};

const TypeLibDescription kVarsvcTypeLib = {LIBID_Varsvc,
                                           u"Varsvc",
                                           u"Varsvc",
                                           kVarsvcLibMajor,
                                           kVarsvcLibMinor,
                                           kVarsvcLibLcid,
                                           SYS_WIN64,
                                           0,
                                           kLibInterfaces,
                                           2,
                                           kLibClasses,
                                           1};
