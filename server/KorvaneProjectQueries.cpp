// KorvaneProject: the catalogue's selections (filter, exact name, component
// path, expansion, address) and the reading of a login's selection.
#include <cstring>

#include "compiler/SymAttr.h"
#include "platform/Text.h"
#include "server/CsLock.h"
#include "server/KorvaneProject.h"
#include "server/ServerLimits.h"
#include "server/VarFileFormat.h"

using namespace varsvc;

namespace {

bool IsSpecial(char c, bool allowPlus) { return c == '[' || c == '.' || (allowPlus && c == '+'); }

// Component names compare without regard to case in the ANSI code page, as
// the compiler compares names.
bool SameNameIgnoringCase(const char* declared, const std::string& wanted) {
    std::string a(declared);
    std::string b(wanted);
    if (a.size() != b.size())
        return false;
    CharLowerBuffA(a.data(), static_cast<DWORD>(a.size()));
    CharLowerBuffA(b.data(), static_cast<DWORD>(b.size()));
    return a == b;
}

int32_t AddOffset(int32_t offset, int64_t add) {
    // Offsets stay far below 2^31 for types of at most 65535 bytes; the
    // arithmetic is modular so that no input can make it undefined.
    return static_cast<int32_t>(static_cast<uint32_t>(offset) + static_cast<uint32_t>(add));
}

} // namespace

void KorvaneProject::Refresh(VarSelection& sel) {
    if (!sel.IsCurrent(this, generation))
        sel.Clear();
}

bool KorvaneProject::SelectVariables(VarFilter& filter, bool useFilter, bool allowPlus, VarSelection& sel) {
    CsLock hold(lock);
    sel.Begin(this, generation);

    const std::string& mask = filter.NameMask;
    const size_t star = mask.rfind('*');
    const std::string prefix = star == std::string::npos ? mask : mask.substr(0, star);
    size_t special = std::string::npos;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (IsSpecial(prefix[i], allowPlus)) {
            special = i;
            break;
        }
    }
    if (special != std::string::npos)
        return SelectPath(prefix, special, allowPlus, sel);

    if (!useFilter) {
        VarTable::Index index;
        if (table.Find(prefix, index))
            sel.vars.push_back(index);
        return true;
    }

    const std::vector<VarTable::Index>& order = table.Ordered();
    size_t from = 0, to = order.size();
    // Without inversion of the name criterion only keys that begin with the
    // (lower-cased) mask can qualify: they form one run in key order.
    std::string lowerMask = mask;
    LowerAscii(lowerMask.data(), lowerMask.size());
    const bool nameRun = !lowerMask.empty() && (filter.EtcMask & etcmask::InvertName) == 0;
    if (nameRun)
        from = table.LowerBound(lowerMask);
    constexpr size_t kRecordAhead = 16; // records fetched ahead into the cache
    for (size_t i = from; i < to; ++i) {
        if (i + kRecordAhead < to)
            table.PrefetchRecord(order[i + kRecordAhead]);
        const VarTable::Index index = order[i];
        if (nameRun && !table.KeyStartsWith(index, lowerMask))
            break;
        if (filter.Matches(table.At(index)))
            sel.vars.push_back(index);
    }
    return true;
}

bool KorvaneProject::SelectPath(const std::string& prefix, size_t special, bool allowPlus, VarSelection& sel) {
    const std::string base = prefix.substr(0, special);
    VarTable::Index index;
    if (!table.Find(base, index))
        return true; // no such variable: an empty selection
    const VarRecord var = table.At(index);
    if (var.VarType < 0)
        return true; // an elementary variable has no components

    std::string name(var.VarName);
    std::string typeName;
    if (!TypeNameOf(var.VarType, typeName) || compiler == nullptr)
        return false;
    SymAttr* type = compiler->LookupByName(typeName);
    if (type == nullptr)
        return false;
    int32_t offset = 0;

    const char* cursor = prefix.c_str() + special;
    if (*cursor != '+' && !ResolveStep(cursor, type, offset, name, allowPlus))
        return false;

    if (*cursor == '+') {
        if (type->IsStruct()) {
            for (SymAttr* comp = type->GetStructCompEntry(); comp != nullptr; comp = comp->GetNext()) {
                SymAttr* compType = comp->GetTypeSpec(0);
                if (compType == nullptr || compType->GetName() == nullptr || comp->GetName() == nullptr)
                    return false;
                int32_t typeId = 0;
                if (!TypeIdOf(compType->GetName(), typeId)) {
                    typeId = 0;
                    registry.Register(compType->GetName(), typeId);
                }
                const uint32_t size = compType->GetMemsize(0);
                ElemRecord e;
                e.Name = name + "." + comp->GetName();
                e.Info = {typeId,
                          static_cast<int32_t>(size),
                          var.VarAddr,
                          var.VarIECMemDescSectID,
                          var.VarIECMemDescAddrOffset,
                          var.VarIECMemDescSectCIx,
                          0,
                          offset};
                sel.elems.push_back(std::move(e));
                offset = AddOffset(offset, size);
            }
            return true;
        }
        if (type->IsArray()) {
            Subrange* range = type->GetArraySubr(0);
            const char* elemName = type->GetDTypeName(1);
            if (range == nullptr || elemName == nullptr)
                return false;
            int32_t typeId = 0;
            if (!TypeIdOf(elemName, typeId))
                return false;
            const int64_t lower = range->GetLR(), upper = range->GetUR();
            if (upper - lower + 1 > kMaxExpandedElements)
                return false;
            const uint32_t stride = range->GetStride();
            for (int64_t i = lower; i <= upper; ++i) {
                ElemRecord e;
                e.Name = name + "[" + std::to_string(i) + "]";
                e.Info = {typeId,
                          static_cast<int32_t>(stride),
                          var.VarAddr,
                          var.VarIECMemDescSectID,
                          var.VarIECMemDescAddrOffset,
                          var.VarIECMemDescSectCIx,
                          0,
                          offset};
                sel.elems.push_back(std::move(e));
                offset = AddOffset(offset, stride);
            }
            return true;
        }
        return false;
    }

    // One element or component.
    if (type->GetName() == nullptr)
        return false;
    int32_t typeId = 0;
    if (!TypeIdOf(type->GetName(), typeId))
        return false;
    ElemRecord e;
    e.Name = name;
    e.Cmnt = std::string(var.VarCmnt);
    e.Info = {typeId,
              static_cast<int32_t>(type->GetMemsize(0)),
              var.VarAddr,
              var.VarIECMemDescSectID,
              var.VarIECMemDescAddrOffset,
              var.VarIECMemDescSectCIx,
              var.VarAttr,
              offset};
    sel.elems.push_back(std::move(e));
    return true;
}

bool KorvaneProject::ResolveStep(const char*& cursor, SymAttr*& type, int32_t& offset, std::string& name,
                                 bool allowPlus) {
    CsLock hold(lock);
    while (*cursor != '\0' && *cursor != '+') {
        if (*cursor == '[') {
            if (type == nullptr || !type->IsArray()) {
                type = nullptr;
                return false;
            }
            ++cursor;
            name += "[";
            if (!ResolveIndex(cursor, type, offset, name)) {
                type = nullptr;
                return false;
            }
            name += "]";
            continue;
        }
        // A component step (normally after '.').
        if (type == nullptr || !type->IsStruct()) {
            type = nullptr;
            return false;
        }
        ++cursor;
        name += ".";
        const char* end = cursor;
        while (*end != '\0' && !IsSpecial(*end, allowPlus))
            ++end;
        const std::string wanted(cursor, end);
        name += wanted;
        SymAttr* match = nullptr;
        for (SymAttr* comp = type->GetStructCompEntry(); comp != nullptr; comp = comp->GetNext()) {
            if (comp->GetName() != nullptr && SameNameIgnoringCase(comp->GetName(), wanted)) {
                match = comp;
                break;
            }
            offset = AddOffset(offset, comp->GetMemsize(0));
        }
        if (match == nullptr || (type = match->GetTypeSpec(0)) == nullptr) {
            type = nullptr;
            return false;
        }
        cursor = end;
    }
    return true;
}

bool KorvaneProject::ResolveIndex(const char*& cursor, SymAttr*& type, int32_t& offset, std::string& name) {
    CsLock hold(lock);
    for (;;) {
        const char* digits = cursor;
        while (*cursor >= '0' && *cursor <= '9')
            ++cursor;
        if (cursor == digits || (*cursor != ']' && *cursor != ','))
            return false;
        const std::string written(digits, cursor);
        const int32_t value = ParseLong(written);
        name += written;

        Subrange* range = type != nullptr ? type->GetArraySubr(0) : nullptr;
        if (range == nullptr || value < range->GetLR() || value > range->GetUR())
            return false;
        offset = AddOffset(offset, (int64_t{value} - range->GetLR()) * int64_t{range->GetStride()});
        type = type->GetDType(1);
        if (type == nullptr)
            return false;

        if (*cursor == ']') {
            ++cursor;
            if (*cursor != '[')
                return true;
            ++cursor;
        } else { // ','
            ++cursor;
            if (*cursor == '[')
                ++cursor;
        }
        name += "][";
    }
}

void KorvaneProject::SelectByAddress(int32_t addr, int32_t sectId, int32_t addrOffset, int32_t sectCIx,
                                     VarSelection& sel) {
    CsLock hold(lock);
    sel.Begin(this, generation);
    if (sectCIx != -1)
        return;
    for (VarTable::Index index : table.Ordered()) {
        const VarRecord r = table.At(index);
        if (r.VarAddr == addr && r.VarIECMemDescSectID == sectId && r.VarIECMemDescAddrOffset == addrOffset)
            sel.vars.push_back(index);
    }
}

int KorvaneProject::NextEntry(VarSelection& sel, std::string& name, std::string& comment, VarInfo& info,
                              int32_t& kind) {
    CsLock hold(lock);
    Refresh(sel);
    EntryView entry;
    if (TakeEntry(sel, entry)) {
        name.assign(entry.name);
        comment.assign(entry.comment);
        info = entry.info;
        kind = entry.kind;
        return 1;
    }
    name.clear();
    comment.clear();
    info = VarInfo{};
    kind = 0;
    return 0;
}

bool KorvaneProject::SetFilter(VarSelection& sel, std::string& NameMask, int32_t TypeMask, int32_t AddrMask,
                               int32_t EtcMask) {
    CsLock hold(lock);
    LowerAscii(NameMask.data(), NameMask.size());
    VarFilter filter{NameMask, TypeMask, AddrMask, EtcMask};
    return SelectVariables(filter, true, true, sel);
}

bool KorvaneProject::FirstByFilter(VarSelection& sel, std::string& NameMask, int32_t TypeMask, int32_t AddrMask,
                                   std::string& name, std::string& comment, VarInfo& info) {
    CsLock hold(lock);
    if (!SetFilter(sel, NameMask, TypeMask, AddrMask, 0))
        return false;
    int32_t kind = 0;
    return NextEntry(sel, name, comment, info, kind) == 1;
}

int KorvaneProject::NextByFilter(VarSelection& sel, std::string& name, std::string& comment, VarInfo& info,
                                 int32_t& kind) {
    return NextEntry(sel, name, comment, info, kind);
}

bool KorvaneProject::FindNamed(VarSelection& sel, std::string& name, std::string& comment, int32_t& kind,
                               VarInfo& info) {
    CsLock hold(lock);
    LowerAscii(name.data(), name.size());
    VarFilter filter{name, 0, 99, 0};
    if (!SelectVariables(filter, false, false, sel))
        return false;
    std::string entryName;
    NextEntry(sel, entryName, comment, info, kind);
    return true;
}

bool KorvaneProject::FirstByAddress(VarSelection& sel, int32_t addr, int32_t sectId, int32_t addrOffset,
                                    int32_t sectCIx, std::string& name) {
    CsLock hold(lock);
    SelectByAddress(addr, sectId, addrOffset, sectCIx, sel);
    return NextName(sel, name);
}

bool KorvaneProject::NextName(VarSelection& sel, std::string& name) {
    CsLock hold(lock);
    Refresh(sel);
    while (sel.varCursor < sel.vars.size()) {
        const VarTable::Index index = sel.vars[sel.varCursor++];
        if (index >= table.Size())
            continue;
        name.assign(table.At(index).VarName);
        return true;
    }
    name.clear();
    return true;
}

int KorvaneProject::EntryCount(VarSelection& sel) {
    CsLock hold(lock);
    Refresh(sel);
    return static_cast<int>(sel.Count());
}
