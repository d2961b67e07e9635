// SymTabSet: every symbol table of one compiler instance (keywords,
// elementary types, the global table, unit and nested scopes, literals),
// the list that owns them and the stack of open scopes.
//
// Decisions where the rules leave room:
// - GetDType(id < 0) takes the first record of that id in the id index, the
//   order of the keyword list: -23 is "DATE_AND_TIME" (a bucket walk of the
//   37-bucket table would meet "DT" first).
// - reset with bit 0 set keeps the component tables of the global data
//   types (their components and values stay valid) and makes the units and
//   instances of the global table forget their destroyed scope tables;
//   GetLocalTab answers only with tables the set still owns.
// - reset keeps a failure to build the keyword or elementary table in the
//   status; a failed new global table keeps the old one (status 1).
// - DeleteTab refuses the global, keyword and elementary tables (2) and
//   resets every pointer of the set that named the deleted table.
#pragma once

#include "compiler/SymTab.h"

#include <cstdint>
#include <unordered_set>

class BADatabase;
class ErrMess;

namespace symtabset {

// Table kinds.
constexpr unsigned char KIND_KEYWORDS = 1;
constexpr unsigned char KIND_GLOBAL = 2;
constexpr unsigned char KIND_UNIT = 3;
constexpr unsigned char KIND_ELEMENTARY = 9;
constexpr unsigned char KIND_LITERALS = 11;

// Bucket counts and index flags of the tables the set builds.
constexpr unsigned short kKeywordBuckets = 191;
constexpr unsigned short kElementaryBuckets = 37;
constexpr unsigned short kScopeBuckets = 151;
constexpr unsigned short kSmallBuckets = 11;
constexpr unsigned char kKeywordFlags = 0x01;
constexpr unsigned char kGlobalFlags = 0x21;
constexpr unsigned char kElementaryFlags = 0x21;
constexpr unsigned char kScopeFlags = 0x01;
constexpr unsigned char kLiteralFlags = 0x80;

// Construction status (GetStatus).
constexpr unsigned short ST_NO_GLOBAL = 1;      ///< global table not created
constexpr unsigned short ST_NO_LIST = 2;        ///< table list not created
constexpr unsigned short ST_NO_KEYWORDS = 10;   ///< keyword table not created
constexpr unsigned short ST_NO_KEYWORD_NODE = 11; ///< keyword table not added to the list
constexpr unsigned short ST_NO_ELEMENTARY = 12; ///< elementary table or a keyword entry not made
constexpr unsigned short ST_NO_TYPE_RECORD = 13;///< elementary-type record not made
constexpr unsigned short ST_NO_TYPE_INDEX = 14; ///< elementary-type record not indexed
constexpr unsigned short ST_KEYWORD_TWICE = 15; ///< keyword record already defined

/// Source unit named in the out-of-memory messages of the set.
constexpr const char* kModule = "symtabset";

} // namespace symtabset

/// The tables of one compiler instance.
///
/// Ownership: the set owns every table on its table list and destroys them
/// in list order; the scope-stack nodes above the base node belong to the
/// stack. Tables handed out stay owned by the set. A set whose status is
/// not 0 must not be used for compilation.
class SymTabSet {
public:
    /// Builds the global table (kind 2, `globalSize` buckets, flags 0x21,
    /// case-blind) as head of the table list, base of the scope stack,
    /// current and unit table; then the keyword table (kind 1, 191 buckets)
    /// and the elementary-type table (kind 9, 37 buckets, exact names), and
    /// enters every keyword of the base library's list, with an elementary
    /// type record for each type keyword. Failures set the status (see
    /// symtabset::ST_...) and report -3406; the first failure stops.
    SymTabSet(short globalSize, BADatabase* db, ErrMess* sink);
    /// Pops every scope and destroys all tables.
    ~SymTabSet();
    SymTabSet(const SymTabSet&) = delete;
    SymTabSet& operator=(const SymTabSet&) = delete;

    /// 0, or the first construction or reset failure.
    unsigned short GetStatus() const { return status; }

    /// Starts a new compilation. Bit 0 of `mode` clear: a new, empty global
    /// table replaces the old one. Set: the global table is kept, and so are
    /// the component tables of its data types; scope and instance tables of
    /// its units and instances are destroyed and forgotten. All other tables
    /// (units, scopes, literals) are destroyed; the keyword and elementary
    /// tables survive. The scope stack holds the global table only; current
    /// and unit table are the global table. Returns the status: 0, 1 when no
    /// new global table could be made (the old one is kept, emptied of
    /// nothing), 2 when the table list could not be rebuilt.
    unsigned short reset(BADatabase* db, short mode);

    /// A data type by id. id >= 0: the first data-type record with that id
    /// in the walk order of the global table, else of the unit table (when it
    /// is another table). id < 0: the elementary type with that id that the
    /// keyword list names first (the id index keeps insertion order):
    /// -22 "TIME_OF_DAY", -23 "DATE_AND_TIME". Null when none matches.
    SymAttr* GetDType(short id);
    /// The scope table of the program unit of that name in the global table;
    /// null when the name is none, names no unit, or the unit's table is not
    /// one of this set's tables.
    SymTab* GetLocalTab(const char* unitName);

    /// A scope table (index flags 0x01, `size` buckets) owned by the set,
    /// made current and unit table. Null, with -3406, when out of memory.
    SymTab* NewUnitTab(unsigned char kind, const char* name, unsigned short size);
    /// A small table (11 buckets, flags 0x01) owned by the set; not made current.
    SymTab* NewScopeTab(unsigned char kind, const char* name);
    /// As NewScopeTab with `size` buckets.
    SymTab* NewNamedTab(unsigned char kind, const char* name, unsigned short size);
    /// The literal table (kind 11, flags 0x80, `size` buckets), owned by the
    /// set and stored as its literal table.
    SymTab* NewLiteralTab(unsigned short size);

    /// Pushes `tab` and makes it current. 0; -1 for a null table or an
    /// emptied stack; -2 with -3406 when no node can be made.
    short PushScope(SymTab* tab);
    /// Pops the top scope: the table below becomes current; a popped unit
    /// table makes the new current table the unit table. Returns the current
    /// table, or null once the base node was popped (the stack is empty).
    SymTab* PopScope();
    /// Replace the current / unit table (null is ignored).
    void SetCurrent(SymTab* tab);
    void SetUnitTab(SymTab* tab);
    /// Current and unit table become the global table.
    void ResetCurrent();
    /// The unit table becomes current; returns it.
    SymTab* ReturnToUnit();
    /// The table of the top scope becomes current (nothing when empty).
    void CurrentFromTop();
    /// Takes the table off the list and destroys it: 0. 1 when it is not on
    /// the list; 2 for the global, keyword and elementary tables, which the
    /// set keeps. Current, unit and literal table and scope-stack entries
    /// that named the table are reset (to the global table, or null).
    short DeleteTab(SymTab* tab);

    SymTab* GetCurrent() const { return current; }
    SymTab* GetUnitTab() const { return unitTab; }
    SymTab* GetKeywordTab() const { return keywordTab; }
    SymTab* GetGlobalTab() const { return globalTab; }
    SymTab* GetElemTab() const { return elemTab; }
    SymTab* GetLiteralTab() const { return literalTab; }
    /// The table of the innermost open scope, null when the stack is empty.
    SymTab* GetTopTab() const { return top != nullptr ? top->table : nullptr; }
    /// Number of open scopes (the base node included).
    unsigned short GetScopeDepth() const;
    /// The table of the i-th open scope counted from the innermost (0 = the
    /// top); null beyond the base.
    SymTab* GetStackTab(unsigned short i) const;
    /// True when `tab` is on the table list.
    bool OwnsTab(const SymTab* tab) const;
    BADatabase* GetDatabase() const { return database; }
    void SetDatabase(BADatabase* db) { database = db; }
    ErrMess* GetErrMess() const { return sink; }

private:
    struct ScopeNode {
        SymTab* table;
        ScopeNode* next; // towards the top
        ScopeNode* prev; // towards the base
    };
    struct ListNode {
        ListNode* next;
        SymTab* table;
    };

    void BuildSystemTables();
    bool AppendTab(SymTab* tab);
    ListNode* Detach(SymTab* tab);
    void DestroyList();
    void RebuildListIndex();
    void PopAll();
    SymTab* MakeGlobal();
    SymAttr* FirstWithId(SymTab* tab, short id, bool dtypeOnly);
    void NoMemory(int line);

    ScopeNode base{nullptr, nullptr, nullptr};
    ScopeNode* top = &base;
    ListNode* list = nullptr;
    // Last node of the list and the tables on it, so that appending a table
    // and asking whether the set owns one do not walk the list: a
    // compilation appends one table per structure and enumeration.
    ListNode* tail = nullptr;
    std::unordered_set<const SymTab*> listed;
    SymTab* current = nullptr;
    SymTab* unitTab = nullptr;
    SymTab* keywordTab = nullptr;
    SymTab* globalTab = nullptr;
    SymTab* elemTab = nullptr;
    SymTab* literalTab = nullptr;
    unsigned short status = 0;
    unsigned short constrStatus = 0; // failure building the system tables, kept by reset
    ErrMess* sink;
    unsigned short globalSize;
    unsigned short spare = 0;
    BADatabase* database;
};
