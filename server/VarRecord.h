// The records of the variable catalogue: VarRecord (one variable of the var
// file), VarInfo (the eight values reported for every catalogue entry) and
// ElemRecord (an entry made by path resolution or expansion).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// One variable of the var file. The texts are views: a VarRecord handed to
/// VarTable::Insert is copied into the table; one handed out by the table
/// points into the table and is valid until the table is next changed.
struct VarRecord {
    std::string_view VarName;            ///< name as written in the var file
    std::string_view VarCmnt;            ///< comment
    int32_t VarKind = 0;                 ///< kind code (a signed 16-bit value, widened)
    int32_t VarType = 0;                 ///< type id: negative elementary, positive derived
    int32_t VarSize = 0;                 ///< size in bytes
    int32_t VarAddr = 0;                 ///< address area: 88 for unlocated kinds, else the section
    int32_t VarIECMemDescSectID = 0;     ///< memory section (a signed 16-bit value, widened)
    int32_t VarIECMemDescAddrOffset = 0; ///< address offset in the section
    int32_t VarIECMemDescSectCIx = -1;   ///< section component index, always -1
    int32_t VarAttr = 0;                 ///< attribute code 0, 1, 3, 6 or 7
};

/// The eight signed 32-bit values reported for every catalogue entry, in
/// this order.
struct VarInfo {
    int32_t VarType = 0;
    int32_t VarSize = 0;
    int32_t VarAddr = 0;
    int32_t VarIECMemDescSectID = 0;
    int32_t VarIECMemDescAddrOffset = 0;
    int32_t VarIECMemDescSectCIx = 0;
    int32_t VarAttr = 0;
    int32_t CompOff = 0; ///< offset of a component or element; 0 for a whole variable

    bool operator==(const VarInfo&) const = default;
};

/// An entry made by path resolution or expansion: a copy that does not refer
/// back to the variable it came from.
struct ElemRecord {
    std::string Name;
    std::string Cmnt;
    VarInfo Info;
};
