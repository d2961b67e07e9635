// TiLocatedVar: the description of a located variable ("x AT %IW12 : INT"),
// held by its variable record.
#pragma once

#include <cstdint>

class SymAttr;

/// Where a located variable lives. The direct-address record is the entry
/// that the scanner made for the address text ("%IW12"); it belongs to its
/// symbol table, not to this description. Section and offset are filled in
/// when the address is resolved to controller memory (0 until then).
struct TiLocatedVar {
    SymAttr* address = nullptr; ///< direct-address record, not owned
    int32_t section = 0;        ///< memory section of the address
    int32_t offset = 0;         ///< byte offset within the section
};
