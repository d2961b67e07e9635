// VarFilter: the criteria of a filtered selection of the catalogue (name
// mask, type, address area, kind class and option bits) and the predicate
// that applies them to one variable.
#pragma once

#include <cstdint>
#include <string>

#include "server/VarRecord.h"

/// Bits of VarFilter::EtcMask.
namespace etcmask {
constexpr int32_t KindClassMask = 0xF;          ///< bits 0-3: the kind class
constexpr int32_t TypeClassBits = 0xFF0000;     ///< bits 16-18 count only when one of these is set
constexpr int32_t NoDerived = 0x10000;          ///< leave out positive VarType
constexpr int32_t NoElementary = 0x20000;       ///< leave out negative VarType
constexpr int32_t NoAttrOne = 0x40000;          ///< leave out VarAttr 1
constexpr int32_t InvertAddr = 0x10000000;      ///< invert the address criterion
constexpr int32_t InvertType = 0x20000000;      ///< invert the type criterion
constexpr int32_t InvertName = 0x40000000;      ///< invert the name criterion
} // namespace etcmask

/// The address area of unlocated variables (kinds 2 and 4, and 6 to 9).
constexpr int32_t kUnlocatedArea = 88;

struct VarFilter {
    std::string NameMask;  ///< lower-cased; a prefix of the wanted names ('*' is an ordinary character)
    int32_t TypeMask = 0;  ///< 0 = any type, else the wanted VarType
    int32_t AddrMask = 0;  ///< address area: 0, 1, 3, 4 located areas; 88 unlocated; others any
    int32_t EtcMask = 0;   ///< kind class and option bits (etcmask)

    /// The filter predicate: the type class (bits 16-18, looked at only when
    /// a bit of 0xFF0000 is set), the kind class (bits 0-3), the address
    /// criterion XOR bit 28, the type criterion XOR bit 29 and the name
    /// criterion XOR bit 30 must all hold. The name criterion holds when
    /// NameMask is a prefix of VarName compared in lower case (A-Z).
    bool Matches(const VarRecord& record) const;

    /// The kind-class part alone, for `kindClass` = EtcMask & 0xF.
    static bool KindClassHolds(int32_t kindClass, const VarRecord& record);
    /// The address criterion alone (not inverted).
    static bool AddressHolds(int32_t addrMask, const VarRecord& record);
};
