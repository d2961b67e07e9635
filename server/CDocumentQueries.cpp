// CDocument's catalogue and type queries: filtered iteration and blocks of
// variables, lookups by name and by address, type identifiers, names and
// sizes, and the state-RAM layout. The catalogue itself (selections, filter
// rules, path resolution) is KorvaneProject's; these members move its
// answers across the interface.
#include <cstring>
#include <vector>

#include "server/CDocument.h"
#include "server/CDocumentSupport.h"
#include "server/KorvaneProject.h"
#include "server/Trace.h"
#include "server/VarFilter.h"

using namespace varsvc;

namespace {

// Status values of the queries.
constexpr SHORT kRcOk = 0;
constexpr SHORT kRcFailed = 1;
constexpr SHORT kRcTypeIdZero = -2;
constexpr SHORT kRcNoVariableAtAddress = -23;
constexpr SHORT kRcNumericArray = 21;
constexpr SHORT kRcStringArray = 22;

// Block limits: entries per block with and without comments, the reply
// budget in bytes, and the budget's fixed parts.
constexpr int kBlockMaxWithComments = 400;
constexpr int kBlockMaxWithoutComments = 800;
constexpr int64_t kReplyBudget = 60000;
constexpr int64_t kBudgetBase = 204;
constexpr int64_t kBudgetPerArray = 32;

// The address offset and component offset of an entry found by name, with
// the component offset folded into the offset as 16-bit words (entries
// with a state-RAM address only). With decrement the offset counts from 1.
struct Folded {
    int32_t offset;
    int32_t compOff;
};

Folded Fold(const VarInfo& info, bool decrement) {
    if (info.VarAddr == kUnlocatedArea)
        return {info.VarIECMemDescAddrOffset, info.CompOff};
    // 64-bit arithmetic: the sum of two 32-bit values cannot overflow, and
    // narrowing it back wraps as the 32-bit original would.
    const int64_t offset = static_cast<int64_t>(info.VarIECMemDescAddrOffset) - (decrement ? 1 : 0) +
                           (info.CompOff >> 1);
    return {static_cast<int32_t>(offset), info.CompOff & 1};
}

// True when `selection` was built from a catalogue that a re-read has since
// replaced (the project empties such a selection at its first use).
bool SelectionReplaced(KorvaneProject& project, VarSelection& selection) {
    return selection.Count() != 0 && project.EntryCount(selection) == 0;
}

// Writes one entry into the outputs of GetFirstVarInfoEx/GetNextVarInfoEx.
// False (nothing written) when a string cannot be made.
bool StoreVarInfo(const std::string& name, const std::string& comment, const VarInfo& info,
                  BSTR* VarName, BSTR* VarCmnt, SHORT* VarType, SHORT* VarAddr, SHORT* SectID,
                  LONG* AddrOffset, SHORT* SectCIx) {
    BSTR newName = BstrFromNarrow(name);
    BSTR newCmnt = BstrFromNarrow(comment);
    if (newName == nullptr || newCmnt == nullptr) {
        SysFreeString(newName);
        SysFreeString(newCmnt);
        return false;
    }
    if (VarName != nullptr) {
        SysFreeString(*VarName);
        *VarName = newName;
    } else {
        SysFreeString(newName);
    }
    if (VarCmnt != nullptr) {
        SysFreeString(*VarCmnt);
        *VarCmnt = newCmnt;
    } else {
        SysFreeString(newCmnt);
    }
    SetOut(VarType, info.VarType);
    SetOut(VarAddr, info.VarAddr);
    SetOut(SectID, info.VarIECMemDescSectID);
    SetOut(AddrOffset, info.VarIECMemDescAddrOffset);
    SetOut(SectCIx, info.VarIECMemDescSectCIx);
    return true;
}

// The one-dimensional array of VT_BSTR names in `v` (VT_BYREF allowed), or
// null when `v` holds something else.
SAFEARRAY* NameArrayOf(const VARIANT* v) {
    if (v == nullptr)
        return nullptr;
    SAFEARRAY* array = nullptr;
    if (v->vt == (VT_ARRAY | VT_BSTR))
        array = v->parray;
    else if (v->vt == (VT_BYREF | VT_ARRAY | VT_BSTR) && v->pparray != nullptr)
        array = *v->pparray;
    if (array == nullptr || SafeArrayGetDim(array) != 1)
        return nullptr;
    return array;
}

// Number of elements of dimension 1 of `array`.
ULONG FirstDimensionCount(SAFEARRAY* array) {
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper)))
        return 0;
    const int64_t count = static_cast<int64_t>(upper) - lower + 1;
    return count > 0 ? static_cast<ULONG>(count) : 0;
}

// One result array while a member fills it: the element block stays
// accessed until the holder goes.
class ResultArray {
public:
    ResultArray() = default;
    ResultArray(const ResultArray&) = delete;
    ResultArray& operator=(const ResultArray&) = delete;
    ~ResultArray() {
        if (array != nullptr)
            SafeArrayUnaccessData(array);
    }
    // Clears `v` and gives it a new array of `count` elements of `vt`.
    bool Make(VARIANT* v, VARTYPE vt, ULONG count) {
        if (!MakeResultArray(v, vt, count))
            return false;
        void* block = nullptr;
        if (FAILED(SafeArrayAccessData(v->parray, &block))) {
            VariantClear(v);
            return false;
        }
        array = v->parray;
        data = block;
        type = vt;
        return true;
    }
    bool Made() const { return array != nullptr; }
    // Ends the access; the array stays in its VARIANT.
    void Drop() {
        if (array != nullptr)
            SafeArrayUnaccessData(array);
        array = nullptr;
        data = nullptr;
    }
    void PutI2(ULONG i, int32_t value) {
        if (array != nullptr)
            static_cast<SHORT*>(data)[i] = static_cast<SHORT>(value);
    }
    void PutI4(ULONG i, int32_t value) {
        if (array != nullptr)
            static_cast<LONG*>(data)[i] = value;
    }
    void Put(ULONG i, int32_t value) {
        if (type == VT_I4)
            PutI4(i, value);
        else
            PutI2(i, value);
    }
    // Stores a string the array then owns.
    void PutBstr(ULONG i, BSTR value) {
        if (array != nullptr)
            static_cast<BSTR*>(data)[i] = value;
        else
            SysFreeString(value);
    }
    ULONG ElementSize() const { return type == VT_I4 ? 4 : 2; }
    // The accessed elements as T (which must match the array's type), for
    // a member that fills many of them; null when no array was made.
    template <typename T>
    T* Elements() const {
        return static_cast<T*>(data);
    }

private:
    SAFEARRAY* array = nullptr;
    void* data = nullptr;
    VARTYPE type = VT_EMPTY;
};

// The eight numeric fields of an entry in the order of the Ex members'
// array parameters.
int32_t FieldOf(const VarInfo& info, int field) {
    switch (field) {
    case 0: return info.VarType;
    case 1: return info.VarSize;
    case 2: return info.VarAddr;
    case 3: return info.VarIECMemDescSectID;
    case 4: return info.VarIECMemDescAddrOffset;
    case 5: return info.VarIECMemDescSectCIx;
    case 6: return info.VarAttr;
    default: return info.CompOff;
    }
}
constexpr int kFields = 8;
constexpr int kAddrOffsetField = 4;
constexpr int kCompOffField = 7;

} // namespace

// --------------------------------------------------------------- types

HRESULT CDocument::GetTypeId(LONG Handle, BSTR TypeName, SHORT* TypeId, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    *rc = kRcFailed;
    EntryTrace("GetTypeId");
    KorvaneProject* project = nullptr;
    VarSelection* selection = nullptr;
    FindProjectByHandle(Handle, project, selection);
    if (project == nullptr)
        return S_OK;
    int32_t id = 0;
    if (project->TypeIdOf(NarrowFromBstr(TypeName), id)) {
        SetOut(TypeId, id);
        *rc = kRcOk;
    }
    return S_OK;
}

HRESULT CDocument::GetTypeName(LONG Handle, SHORT TypeId, BSTR* TypeName, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    *rc = kRcFailed;
    EntryTrace("GetTypeName");
    KorvaneProject* project = nullptr;
    VarSelection* selection = nullptr;
    FindProjectByHandle(Handle, project, selection);
    if (project == nullptr)
        return S_OK;
    std::string name;
    if (project->TypeNameOf(TypeId, name) && ReplaceBstr(TypeName, name))
        *rc = kRcOk;
    return S_OK;
}

HRESULT CDocument::GetTypeSize(LONG Handle, SHORT TypeId, SHORT* TypeSize, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    *rc = kRcFailed;
    EntryTrace("GetTypeSize");
    KorvaneProject* project = nullptr;
    VarSelection* selection = nullptr;
    FindProjectByHandle(Handle, project, selection);
    if (project == nullptr)
        return S_OK;
    int32_t size = 0;
    if (project->TypeSizeOf(TypeId, size)) {
        SetOut(TypeSize, size);
        *rc = kRcOk;
    }
    return S_OK;
}

namespace {

// The common part of GetTypeIds, GetTypeNames and GetTypeSizes: checks the
// input's type, finds the project, makes the output array and answers
// element by element with `answer` until it fails.
template <typename Answer>
void AnswerTypeArray(LONG Handle, VARIANT* input, VARTYPE inputType, VARIANT* output,
                     VARTYPE outputType, SHORT* rc, Answer answer) {
    if (input == nullptr || input->vt != (VT_ARRAY | inputType) || input->parray == nullptr)
        return;
    KorvaneProject* project = nullptr;
    VarSelection* selection = nullptr;
    CDocument::FindProjectByHandle(Handle, project, selection);
    if (project == nullptr || output == nullptr)
        return;
    SAFEARRAY* in = input->parray;
    // The input may be the output as well (a direct caller's choice): its
    // elements are copied before the output is cleared.
    const ULONG count = FirstDimensionCount(in);
    std::vector<SHORT> ids;
    std::vector<std::string> names;
    void* block = nullptr;
    if (FAILED(SafeArrayAccessData(in, &block)))
        return;
    if (inputType == VT_I2)
        ids.assign(static_cast<SHORT*>(block), static_cast<SHORT*>(block) + count);
    else
        for (ULONG i = 0; i < count; ++i)
            names.push_back(NarrowFromBstr(static_cast<BSTR*>(block)[i]));
    SafeArrayUnaccessData(in);

    ResultArray out;
    if (!out.Make(output, outputType, count))
        return;
    for (ULONG i = 0; i < count; ++i)
        if (!answer(*project, out, i, inputType == VT_I2 ? std::string() : names[i],
                    inputType == VT_I2 ? ids[i] : SHORT(0)))
            return;
    *rc = kRcOk;
}

} // namespace

HRESULT CDocument::GetTypeIds(LONG Handle, VARIANT* Names, VARIANT* Ids, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    *rc = kRcFailed;
    EntryTrace("GetTypeIds");
    AnswerTypeArray(Handle, Names, VT_BSTR, Ids, VT_I2, rc,
                    [](KorvaneProject& p, ResultArray& out, ULONG i, const std::string& name, SHORT) {
                        int32_t id = 0;
                        if (!p.TypeIdOf(name, id))
                            return false;
                        out.PutI2(i, id);
                        return true;
                    });
    return S_OK;
}

HRESULT CDocument::GetTypeNames(LONG Handle, VARIANT* Ids, VARIANT* Names, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    *rc = kRcFailed;
    EntryTrace("GetTypeNames");
    AnswerTypeArray(Handle, Ids, VT_I2, Names, VT_BSTR, rc,
                    [](KorvaneProject& p, ResultArray& out, ULONG i, const std::string&, SHORT id) {
                        std::string name;
                        if (!p.TypeNameOf(id, name))
                            return false;
                        BSTR text = BstrFromNarrow(name);
                        if (text == nullptr)
                            return false;
                        out.PutBstr(i, text);
                        return true;
                    });
    return S_OK;
}

HRESULT CDocument::GetTypeSizes(LONG Handle, VARIANT* Ids, VARIANT* Sizes, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    *rc = kRcFailed;
    EntryTrace("GetTypeSizes");
    AnswerTypeArray(Handle, Ids, VT_I2, Sizes, VT_I2, rc,
                    [](KorvaneProject& p, ResultArray& out, ULONG i, const std::string&, SHORT id) {
                        int32_t size = 0;
                        if (!p.TypeSizeOf(id, size))
                            return false;
                        out.PutI2(i, size);
                        return true;
                    });
    return S_OK;
}

HRESULT CDocument::GetStateRamLayout(LONG, LONG*, LONG*, LONG*, LONG*, LONG*, LONG*, LONG*, LONG*,
                                     LONG*, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    EntryTrace("GetStateRamLayout");
    // No handle is checked and none of the nine outputs is written: the
    // caller finds in them what it passed.
    *rc = kRcOk;
    return S_OK;
}

// ------------------------------------------------------- filtered iteration

HRESULT CDocument::GetFirstVarInfoEx(LONG Handle, BSTR NameMask, SHORT TypeMask, SHORT AddrMask,
                                     BSTR* VarName, BSTR* VarCmnt, SHORT* VarType, SHORT* VarAddr,
                                     SHORT* VarIECMemDescSectID, LONG* VarIECMemDescAddrOffset,
                                     SHORT* VarIECMemDescSectCIx, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    *rc = kRcFailed;
    EntryTrace("GetFirstVarInfoEx");
    KorvaneProject* project = nullptr;
    VarSelection* selection = nullptr;
    if (!FindProjectByHandle(Handle, project, selection))
        return S_OK;
    std::string mask = NarrowFromBstr(NameMask);
    std::string name, comment;
    VarInfo info;
    if (project->FirstByFilter(*selection, mask, TypeMask, AddrMask, name, comment, info) &&
        StoreVarInfo(name, comment, info, VarName, VarCmnt, VarType, VarAddr, VarIECMemDescSectID,
                     VarIECMemDescAddrOffset, VarIECMemDescSectCIx))
        *rc = kRcOk;
    return S_OK;
}

HRESULT CDocument::GetNextVarInfoEx(LONG Handle, BSTR* VarName, BSTR* VarCmnt, SHORT* VarType,
                                    SHORT* VarAddr, SHORT* VarIECMemDescSectID,
                                    LONG* VarIECMemDescAddrOffset, SHORT* VarIECMemDescSectCIx,
                                    SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    *rc = kRcFailed;
    EntryTrace("GetNextVarInfoEx");
    KorvaneProject* project = nullptr;
    VarSelection* selection = nullptr;
    if (!FindProjectByHandle(Handle, project, selection) || SelectionReplaced(*project, *selection))
        return S_OK;
    std::string name, comment;
    VarInfo info;
    int32_t kind = 0;
    if (project->NextByFilter(*selection, name, comment, info, kind) == 1 &&
        StoreVarInfo(name, comment, info, VarName, VarCmnt, VarType, VarAddr, VarIECMemDescSectID,
                     VarIECMemDescAddrOffset, VarIECMemDescSectCIx))
        *rc = kRcOk;
    return S_OK;
}

HRESULT CDocument::SetVarInfoFilter(LONG Handle, BSTR NameMask, SHORT TypeMask, SHORT AddrMask,
                                    LONG EtcMask, LONG* BlockIterator, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    *rc = kRcFailed;
    EntryTrace("SetVarInfoFilter");
    KorvaneProject* project = nullptr;
    VarSelection* selection = nullptr;
    if (!FindProjectByHandle(Handle, project, selection))
        return S_OK;
    SetOut(BlockIterator, 0);
    std::string mask = NarrowFromBstr(NameMask);
    if (project->SetFilter(*selection, mask, TypeMask, AddrMask, EtcMask))
        *rc = kRcOk;
    return S_OK;
}

HRESULT CDocument::GetVarInfoBlockEx(LONG Handle, LONG* BlockIterator, SHORT* NumberReq,
                                     SHORT* NumberRet, VARIANT* VarNames, VARIANT* VarCmnts,
                                     VARIANT* VarTypes, VARIANT* VarSizes, VARIANT* VarAddrs,
                                     VARIANT* VarIECMemDescSectIDs,
                                     VARIANT* VarIECMemDescAddrOffsets,
                                     VARIANT* VarIECMemDescSectCIxs, VARIANT* VarAttrs,
                                     VARIANT* CompOffs, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    const LONG incoming = BlockIterator != nullptr ? *BlockIterator : 0;
    *rc = kRcOk;
    EntryTrace("GetVarInfoBlockEx");
    KorvaneProject* project = nullptr;
    VarSelection* selection = nullptr;
    if (!FindProjectByHandle(Handle, project, selection) || SelectionReplaced(*project, *selection)) {
        *rc = kRcFailed;
        return S_OK;
    }
    if (project->EntryCount(*selection) == 0) {
        SetOut(NumberRet, 0);
        return S_OK;
    }

    const bool comments = !IsNotWanted(VarCmnts);
    const int limit = comments ? kBlockMaxWithComments : kBlockMaxWithoutComments;
    int requested = NumberReq != nullptr ? *NumberReq : limit;
    if (requested < 0 || requested > limit)
        requested = limit;
    SetOut(NumberReq, requested);
    const ULONG n = static_cast<ULONG>(requested);

    ResultArray names;
    if (!names.Make(VarNames, VT_BSTR, n)) {
        *rc = kRcStringArray;
        return S_OK;
    }
    int64_t budget = kBudgetBase;
    ResultArray cmnts;
    if (comments) {
        if (!cmnts.Make(VarCmnts, VT_BSTR, n)) {
            names.Drop();
            VariantClear(VarNames);
            *rc = kRcStringArray;
            return S_OK;
        }
        budget += kBudgetPerArray + 4 * static_cast<int64_t>(n);
    }

    // The eight numeric arrays in field order; the address offsets are
    // 32-bit, the others 16-bit.
    VARIANT* const outs[kFields] = {VarTypes,         VarSizes,
                                    VarAddrs,         VarIECMemDescSectIDs,
                                    VarIECMemDescAddrOffsets, VarIECMemDescSectCIxs,
                                    VarAttrs,         CompOffs};
    ResultArray numbers[kFields];
    for (int f = 0; f < kFields; ++f) {
        if (IsNotWanted(outs[f]))
            continue;
        const VARTYPE vt = f == kAddrOffsetField ? VT_I4 : VT_I2;
        if (!numbers[f].Make(outs[f], vt, n)) {
            *rc = kRcNumericArray;
            continue;
        }
        budget += kBudgetPerArray + static_cast<int64_t>(n) * numbers[f].ElementSize();
    }
    // The reply's second count of the 16-bit arrays other than the section
    // context indexes.
    for (int f : {0, 1, 2, 3, 6, 7})
        if (numbers[f].Made())
            budget += kBudgetPerArray + 2 * static_cast<int64_t>(n);

    // The elements of the arrays, reached once for the whole block: the
    // 16-bit fields (the address offsets' slot stays null), the 32-bit
    // address offsets, the strings. Null for an array not made.
    SHORT* shorts[kFields] = {};
    for (int f = 0; f < kFields; ++f)
        if (f != kAddrOffsetField)
            shorts[f] = numbers[f].Elements<SHORT>();
    LONG* const offsets = numbers[kAddrOffsetField].Elements<LONG>();
    BSTR* const nameSlots = names.Elements<BSTR>();
    BSTR* const cmntSlots = comments ? cmnts.Elements<BSTR>() : nullptr;

    // Each entry is converted straight from the catalogue's text while the
    // project holds its lock for the block. The reply budget is looked at
    // before an entry is taken: after the first, that is after the entry
    // before it was stored.
    ULONG stored = 0;
    auto deliver = [&](const EntryView& entry) {
        if (entry.info.VarType == 0) {
            // This entry is taken from the selection but not delivered.
            *rc = kRcTypeIdZero;
            return false;
        }
        BSTR nameText = BstrFromNarrow(entry.name);
        BSTR cmntText = comments ? BstrFromNarrow(entry.comment) : nullptr;
        if (nameText == nullptr || (comments && cmntText == nullptr)) {
            SysFreeString(nameText);
            SysFreeString(cmntText);
            *rc = kRcStringArray;
            return false;
        }
        const ULONG i = stored;
        for (int f = 0; f < kFields; ++f)
            if (shorts[f] != nullptr)
                shorts[f][i] = static_cast<SHORT>(FieldOf(entry.info, f));
        if (offsets != nullptr)
            offsets[i] = entry.info.VarIECMemDescAddrOffset;
        nameSlots[i] = nameText;
        budget += (static_cast<int64_t>(entry.name.size()) + 8) & ~int64_t{3};
        if (comments) {
            cmntSlots[i] = cmntText;
            budget += (static_cast<int64_t>(entry.comment.size()) + 8) & ~int64_t{3};
        }
        ++stored;
        if (stored < n && budget > kReplyBudget) {
            SetOut(NumberReq, static_cast<SHORT>(stored));
            return false;
        }
        return true;
    };
    if (n > 0 && budget > kReplyBudget)
        SetOut(NumberReq, 0);
    else
        project->TakeEntries(*selection, n, deliver);
    SetOut(NumberRet, static_cast<SHORT>(stored));
    SetOut(BlockIterator, static_cast<LONG>(static_cast<int64_t>(incoming) + stored));
    return S_OK;
}

// ---------------------------------------------------------- by address

HRESULT CDocument::GetFirstAdrInfoEx(LONG Handle, SHORT VarAddr, SHORT VarIECMemDescSectID,
                                     LONG VarIECMemDescAddrOffset, SHORT VarIECMemDescSectCIx,
                                     BSTR* VarName, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    *rc = kRcFailed;
    EntryTrace("GetFirstAdrInfoEx");
    KorvaneProject* project = nullptr;
    VarSelection* selection = nullptr;
    if (!FindProjectByHandle(Handle, project, selection))
        return S_OK;
    std::string name;
    project->FirstByAddress(*selection, VarAddr, VarIECMemDescSectID, VarIECMemDescAddrOffset,
                            VarIECMemDescSectCIx, name);
    if (ReplaceBstr(VarName, name))
        *rc = kRcOk;
    return S_OK;
}

HRESULT CDocument::GetNextAdrInfoEx(LONG Handle, BSTR* VarName, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    *rc = kRcFailed;
    EntryTrace("GetNextAdrInfoEx");
    KorvaneProject* project = nullptr;
    VarSelection* selection = nullptr;
    if (!FindProjectByHandle(Handle, project, selection) || SelectionReplaced(*project, *selection))
        return S_OK;
    std::string name;
    project->NextName(*selection, name);
    if (ReplaceBstr(VarName, name))
        *rc = kRcOk;
    return S_OK;
}

HRESULT CDocument::GetAdrInfosEx(LONG Handle, SHORT VarAddr, SHORT VarIECMemDescSectID,
                                 LONG VarIECMemDescAddrOffset, SHORT VarIECMemDescSectCIx,
                                 VARIANT* VarName, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    *rc = kRcFailed;
    EntryTrace("GetAdrInfosEx");
    if (VarName != nullptr) {
        VariantClear(VarName);
        VariantInit(VarName);
    }
    KorvaneProject* project = nullptr;
    VarSelection* selection = nullptr;
    if (!FindProjectByHandle(Handle, project, selection))
        return S_OK;
    std::string name;
    project->FirstByAddress(*selection, VarAddr, VarIECMemDescSectID, VarIECMemDescAddrOffset,
                            VarIECMemDescSectCIx, name);
    const int count = project->EntryCount(*selection);
    if (count == 0) {
        *rc = kRcNoVariableAtAddress;
        return S_OK;
    }
    // One element per selected name, in selection order (the array grows
    // by one element per further name; its final size is known here).
    ResultArray names;
    if (!names.Make(VarName, VT_BSTR, static_cast<ULONG>(count))) {
        *rc = kRcStringArray;
        return S_OK;
    }
    for (ULONG i = 0; i < static_cast<ULONG>(count); ++i) {
        if (i != 0)
            project->NextName(*selection, name);
        BSTR text = BstrFromNarrow(name);
        if (text == nullptr) {
            *rc = kRcStringArray;
            return S_OK;
        }
        names.PutBstr(i, text);
    }
    *rc = kRcOk;
    return S_OK;
}

// ------------------------------------------------------------- by name

HRESULT CDocument::GetNamedVarInfoEx(LONG Handle, BSTR VarName, BSTR* VarCmnt, SHORT* VarType,
                                     SHORT* VarSize, SHORT* VarAddr, SHORT* VarIECMemDescSectID,
                                     LONG* VarIECMemDescAddrOffset, SHORT* VarIECMemDescSectCIx,
                                     SHORT* VarAttr, SHORT* CompOff, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    *rc = kRcFailed;
    EntryTrace("GetNamedVarInfoEx");
    KorvaneProject* project = nullptr;
    VarSelection* selection = nullptr;
    if (!FindProjectByHandle(Handle, project, selection))
        return S_OK;
    std::string name = NarrowFromBstr(VarName);
    std::string comment;
    int32_t kind = 0;
    VarInfo info;
    if (!project->FindNamed(*selection, name, comment, kind, info) || !ReplaceBstr(VarCmnt, comment))
        return S_OK;
    const Folded folded = Fold(info, true);
    SetOut(VarType, info.VarType);
    SetOut(VarSize, info.VarSize);
    SetOut(VarAddr, info.VarAddr);
    SetOut(VarIECMemDescSectID, info.VarIECMemDescSectID);
    SetOut(VarIECMemDescAddrOffset, folded.offset);
    SetOut(VarIECMemDescSectCIx, info.VarIECMemDescSectCIx);
    SetOut(VarAttr, info.VarAttr);
    SetOut(CompOff, folded.compOff);
    *rc = kRcOk;
    return S_OK;
}

HRESULT CDocument::GetNamedVarInfo2Ex(LONG Handle, BSTR VarName, BSTR* VarCmnt, VARIANT* VarInit,
                                      LONG* VarKind, LONG* VarType, LONG* VarSize, LONG* VarAddr,
                                      SHORT* VarIECMemDescSectID, LONG* VarIECMemDescAddrOffset,
                                      SHORT* VarIECMemDescSectCIx, LONG* VarAttr, LONG* CompOff,
                                      SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    *rc = kRcFailed;
    EntryTrace("GetNamedVarInfo2Ex");
    // Released before the handle check, whatever the outcome.
    if (VarCmnt != nullptr) {
        SysFreeString(*VarCmnt);
        *VarCmnt = nullptr;
    }
    if (VarInit != nullptr) {
        VariantClear(VarInit);
        VariantInit(VarInit);
    }
    KorvaneProject* project = nullptr;
    VarSelection* selection = nullptr;
    if (!FindProjectByHandle(Handle, project, selection))
        return S_OK;
    std::string name = NarrowFromBstr(VarName);
    std::string comment;
    int32_t kind = 0;
    VarInfo info;
    if (!project->FindNamed(*selection, name, comment, kind, info))
        return S_OK;
    BSTR cmnt = BstrFromNarrow(comment);
    BSTR init = BstrFromNarrow(std::string());
    if (cmnt == nullptr || init == nullptr) {
        SysFreeString(cmnt);
        SysFreeString(init);
        return S_OK;
    }
    if (VarCmnt != nullptr)
        *VarCmnt = cmnt;
    else
        SysFreeString(cmnt);
    // Initial values are not delivered: an empty string stands for them.
    if (VarInit != nullptr) {
        VarInit->vt = VT_BSTR;
        VarInit->bstrVal = init;
    } else {
        SysFreeString(init);
    }
    const Folded folded = Fold(info, false);
    SetOut(VarKind, kind);
    SetOut(VarType, info.VarType);
    SetOut(VarSize, info.VarSize);
    SetOut(VarAddr, info.VarAddr);
    SetOut(VarIECMemDescSectID, info.VarIECMemDescSectID);
    SetOut(VarIECMemDescAddrOffset, folded.offset);
    SetOut(VarIECMemDescSectCIx, info.VarIECMemDescSectCIx);
    SetOut(VarAttr, info.VarAttr);
    SetOut(CompOff, folded.compOff);
    *rc = kRcOk;
    return S_OK;
}

HRESULT CDocument::GetNamedVarInfosEx(LONG Handle, VARIANT* VarNames, VARIANT* VarCmnts,
                                      VARIANT* VarTypes, VARIANT* VarSizes, VARIANT* VarAddrs,
                                      VARIANT* VarIECMemDescSectIDs,
                                      VARIANT* VarIECMemDescAddrOffsets,
                                      VARIANT* VarIECMemDescSectCIxs, VARIANT* VarAttrs,
                                      VARIANT* CompOffs, SHORT* rc) {
    if (rc == nullptr)
        return E_POINTER;
    *rc = kRcFailed;
    EntryTrace("GetNamedVarInfosEx");
    KorvaneProject* project = nullptr;
    VarSelection* selection = nullptr;
    if (!FindProjectByHandle(Handle, project, selection))
        return S_OK;
    SAFEARRAY* input = NameArrayOf(VarNames);
    if (input == nullptr)
        return S_OK;
    // The names are copied first: an output VARIANT may be the input's own.
    const ULONG n = FirstDimensionCount(input);
    std::vector<std::string> names(n);
    std::vector<bool> present(n, false);
    void* block = nullptr;
    if (FAILED(SafeArrayAccessData(input, &block)))
        return S_OK;
    for (ULONG i = 0; i < n; ++i) {
        BSTR element = static_cast<BSTR*>(block)[i];
        present[i] = element != nullptr;
        names[i] = NarrowFromBstr(element);
    }
    SafeArrayUnaccessData(input);

    *rc = kRcOk;
    ResultArray cmnts;
    if (!IsNotWanted(VarCmnts) && !cmnts.Make(VarCmnts, VT_BSTR, n))
        *rc = kRcStringArray;
    VARIANT* const outs[kFields] = {VarTypes,         VarSizes,
                                    VarAddrs,         VarIECMemDescSectIDs,
                                    VarIECMemDescAddrOffsets, VarIECMemDescSectCIxs,
                                    VarAttrs,         CompOffs};
    ResultArray numbers[kFields];
    for (int f = 0; f < kFields; ++f)
        if (!IsNotWanted(outs[f]) &&
            !numbers[f].Make(outs[f], f == kAddrOffsetField ? VT_I4 : VT_I2, n))
            *rc = kRcNumericArray;

    for (ULONG i = 0; i < n; ++i) {
        if (!present[i])
            continue; // a null name leaves its slot zero
        std::string comment;
        int32_t kind = 0;
        VarInfo info;
        if (!project->FindNamed(*selection, names[i], comment, kind, info)) {
            *rc = kRcFailed;
            break;
        }
        if (!comment.empty()) {
            BSTR text = BstrFromNarrow(comment);
            if (text == nullptr) {
                *rc = kRcStringArray;
                break;
            }
            cmnts.PutBstr(i, text);
        }
        const Folded folded = Fold(info, true);
        for (int f = 0; f < kFields; ++f) {
            int32_t value = FieldOf(info, f);
            if (f == kAddrOffsetField)
                value = folded.offset;
            else if (f == kCompOffField)
                value = folded.compOff;
            numbers[f].Put(i, value);
        }
    }
    return S_OK;
}
