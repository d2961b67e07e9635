// The IEC 61131-3 vocabulary of the compiler: the static keyword list with
// token numbers and elementary type data, and TiKeywordIF, a case-blind
// keyword test and token-to-name lookup over that list.
#pragma once

#include "base/HashTab.h"

#include <cstdint>

/// One keyword of the list.
struct KeywordDesc {
    const char* name; ///< keyword in upper case; null ends the list
    short token;      ///< token number of the keyword in the grammar
    short typeId;     ///< elementary type id for type keywords, else 0
    uint8_t typeKind; ///< 0 not a type, 1 elementary type, 2 generic (ANY family)
    uint8_t typeSize; ///< byte size of a value (0 for STRING and non-types)
};

/// Number of keyword records in the list (the terminating record not counted).
constexpr int kIEC_KeywordCount = 128;

/// The first record of the static keyword list: 128 records in insertion
/// order, then one whose name is null. Read-only; lives as long as the
/// library.
const KeywordDesc* TiGetIEC_KeywordList();

/// The two lookup tables over a keyword list and the status of building them.
class TiKeywordIF_Imp {
public:
    /// Fills the name table and the token table from `list` (up to its null
    /// name; a null list is empty). Status: 0 usable; 1 a table's slot array
    /// could not be allocated, or the list holds a name (without regard to
    /// case) or a token number twice (records from the clash on are not
    /// entered); -1 an entry could not be allocated.
    explicit TiKeywordIF_Imp(const KeywordDesc* list);
    TiKeywordIF_Imp(const TiKeywordIF_Imp&) = delete;
    TiKeywordIF_Imp& operator=(const TiKeywordIF_Imp&) = delete;

    /// The construction status (see the constructor).
    short GetConstrStatus() const { return status; }
    /// 1 if `name` is a keyword of the list, compared without regard to
    /// case; 0 otherwise, for null, and whenever the status is not 0.
    short IsIEC_Keyword(char* name);
    /// The keyword's spelling for a token number; null if no record has it
    /// or the status is not 0.
    const char* GetKeywordName(short token);

private:
    HashTab nameTab;   // 191 slots, case-blind; objects are the records' names
    KeywID_Tab tokTab; // the records keyed by token number
    short status;
};

/// Keyword test and token lookup over the IEC keyword list.
class TiKeywordIF {
public:
    /// Creates the implementation and fills its tables from the keyword
    /// list. `status` (if not null) receives 0 usable, -1 out of memory, or 1
    /// (a slot array could not be allocated, or a duplicate in the list).
    explicit TiKeywordIF(short* status);
    /// Frees both tables and the implementation; the records are static.
    ~TiKeywordIF();
    TiKeywordIF(const TiKeywordIF&) = delete;
    TiKeywordIF& operator=(const TiKeywordIF&) = delete;

    /// 1 if `name` is a keyword ("end_var" is), compared without regard to
    /// case; 0 otherwise and whenever the construction status is not 0.
    short IsIEC_Keyword(char* name);
    /// The keyword's spelling for a token number, or null if no record has
    /// it or the construction status is not 0.
    const char* GetKeywordName(short token);
    /// The construction status: that of the implementation, -1 without one.
    short GetConstrStatus() const;

private:
    TiKeywordIF_Imp* imp;
};
