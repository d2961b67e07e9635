// VarFilter: the filter predicate of the catalogue.
#include "server/VarFilter.h"

#include "server/VarFileFormat.h"

bool VarFilter::KindClassHolds(int32_t kindClass, const VarRecord& r) {
    const int32_t kind = r.VarKind;
    switch (kindClass) {
    case 1:
        return kind != 0;
    case 2:
        return kind != 0 && kind != 3;
    case 3:
        return kind == 2 || kind == 4;
    case 4:
        return r.VarAttr == 1;
    case 5:
        return kind == 1 || kind == 5;
    case 6:
        return kind == 6;
    case 7:
        return kind == 7;
    case 8:
        return kind == 8;
    case 9:
        return true;
    case 10:
        return kind >= 1 && kind <= 5;
    case 11:
        return kind >= 6 && kind <= 9;
    case 12:
        return kind == 1 || kind == 5 || r.VarIECMemDescSectID == -1;
    default: // 0, 13, 14, 15
        return kind < 6 || kind > 9;
    }
}

bool VarFilter::AddressHolds(int32_t addrMask, const VarRecord& r) {
    switch (addrMask) {
    case 0:
    case 1:
    case 3:
    case 4:
        return (r.VarKind == 1 || r.VarKind == 5) && r.VarAddr == addrMask;
    case kUnlocatedArea:
        return r.VarKind == 2 || r.VarKind == 4;
    default:
        return true;
    }
}

bool VarFilter::Matches(const VarRecord& r) const {
    if ((EtcMask & etcmask::TypeClassBits) != 0) {
        if ((EtcMask & etcmask::NoDerived) && r.VarType > 0)
            return false;
        if ((EtcMask & etcmask::NoElementary) && r.VarType < 0)
            return false;
        if ((EtcMask & etcmask::NoAttrOne) && r.VarAttr == 1)
            return false;
    }
    if (!KindClassHolds(EtcMask & etcmask::KindClassMask, r))
        return false;
    if (AddressHolds(AddrMask, r) == ((EtcMask & etcmask::InvertAddr) != 0))
        return false;
    const bool typeHolds = TypeMask == 0 || TypeMask == r.VarType;
    if (typeHolds == ((EtcMask & etcmask::InvertType) != 0))
        return false;
    bool nameHolds = NameMask.size() <= r.VarName.size();
    for (size_t i = 0; nameHolds && i < NameMask.size(); ++i)
        nameHolds = varsvc::LowerAsciiByte(static_cast<unsigned char>(NameMask[i])) ==
                    varsvc::LowerAsciiByte(static_cast<unsigned char>(r.VarName[i]));
    if (nameHolds == ((EtcMask & etcmask::InvertName) != 0))
        return false;
    return true;
}
