// SymTab: one scope of the compiler's symbols. It owns its SymAttr records
// and indexes them by up to three keys at once (name, 16-bit id, memory
// descriptor) through the base library's HashTab.
//
// Decisions where the rules leave room:
// - Every index gets the callback that names a record (secondary indexes
//   need it to compare keys); only the primary creates and deletes records.
// - Id 0 and a null name are no keys. A memory descriptor inserted with
//   an id carries the id in its key from the start.
// - remove reports failures of the primary index only; a secondary index
//   that never held the record (no key at the time) is no error.
#pragma once

#include "base/HashTab.h"
#include "compiler/SymAttr.h"
#include "compiler/TiMemSpec.h"

#include <cstdint>

class ErrMess;

namespace symtab {

// Index flags: which indexes a table builds and whether they admit equal keys.
constexpr uint8_t IDX_NAME = 0x01;     ///< name index
constexpr uint8_t IDX_NAME_DUP = 0x10; ///< name index; equal names may coexist
constexpr uint8_t IDX_ID = 0x02;       ///< id index
constexpr uint8_t IDX_ID_DUP = 0x20;   ///< id index; equal ids may coexist
constexpr uint8_t IDX_SPEC = 0x08;     ///< memory-spec index
constexpr uint8_t IDX_SPEC_DUP = 0x80; ///< memory-spec index; equal descriptors may coexist

// Internal-error location codes (reported with message -3555).
constexpr short LOC_INSERT_NAME = 505;       ///< adding a name to the primary index failed
constexpr short LOC_INSERT_ID = 518;         ///< adding an id to the primary index failed
constexpr short LOC_INSERT_SPEC = 531;       ///< adding a spec to the primary index failed
constexpr short LOC_INSERT_NO_KEY = 542;     ///< no key fits the primary index
constexpr short LOC_INDEX_NAME_NULL = 600;   ///< IndexName: null record
constexpr short LOC_INDEX_NAME_NONE = 602;   ///< IndexName: no name index
constexpr short LOC_INDEX_NAME_CLASH = 608;  ///< IndexName: the name is taken (or missing)
constexpr short LOC_INDEX_ID_NULL = 637;     ///< IndexID: null record
constexpr short LOC_INDEX_ID_NONE = 639;     ///< IndexID: no id index
constexpr short LOC_INDEX_ID_CLASH = 645;    ///< IndexID: the id is taken (or 0)
constexpr short LOC_INDEX_SPEC_NULL = 673;   ///< IndexMemSpec: null record
constexpr short LOC_INDEX_SPEC_NONE = 675;   ///< IndexMemSpec: no memory-spec index
constexpr short LOC_INDEX_SPEC_KIND = 680;   ///< IndexMemSpec: the record is no constant
constexpr short LOC_INDEX_SPEC_CLASH = 686;  ///< IndexMemSpec: the descriptor is taken
constexpr short LOC_REMOVE_NAME_NULL = 819;  ///< remove, name primary: null record
constexpr short LOC_REMOVE_NAME_KEY = 821;   ///< remove, name primary: record has no name
constexpr short LOC_REMOVE_NAME_FOUND = 825; ///< remove, name primary: record not in the table
constexpr short LOC_REMOVE_ID_NULL = 844;
constexpr short LOC_REMOVE_ID_KEY = 846;
constexpr short LOC_REMOVE_ID_FOUND = 850;
constexpr short LOC_REMOVE_SPEC_NULL = 869;
constexpr short LOC_REMOVE_SPEC_KEY = 871;
constexpr short LOC_REMOVE_SPEC_FOUND = 875;
constexpr short LOC_LOOKUP_NO_NAME_INDEX = 895; ///< lookup(name) without a name index
constexpr short LOC_LOOKUP_NULL_NAME = 897;     ///< lookup(name) with a null name
constexpr short LOC_LOOKUP_NO_ID_INDEX = 917;   ///< lookup(id) without an id index

/// Source unit and revision named in the internal errors of the tables.
constexpr const char* kModule = "symtab";
constexpr const char* kRevision = "$Revision: 1 $";

} // namespace symtab

/// One scope: records indexed by name, id and memory descriptor.
///
/// The first index built (order: name, id, memory spec) is the primary: its
/// create callback makes the records (a name gives a new record with that
/// name, an id a new record with that id, a descriptor a new literal
/// constant holding it) and it owns and deletes them. The other indexes
/// only point at the primary's records.
///
/// The key 0 is no id: records with id 0 are not in an id index. A record
/// without name is not in a name index.
class SymTab {
public:
    /// Builds the indexes that `indexFlags` asks for, with `size` buckets
    /// each; names compare exactly when `caseSensitive`, else without regard
    /// to case. With an owner name (and a name index) the owner record is
    /// inserted under it. When an index cannot be built the table is failed:
    /// GetFailed() is non-zero and insert answers null.
    SymTab(unsigned char kind, const char* ownerName, unsigned short size,
           unsigned char indexFlags, ErrMess* sink, bool caseSensitive = false);
    /// Destroys the indexes and, through the primary, every record.
    ~SymTab();
    SymTab(const SymTab&) = delete;
    SymTab& operator=(const SymTab&) = delete;

    /// Inserts under the given keys (name null, id 0 and spec null mean "not
    /// given"; one key is needed). The primary index makes the record or,
    /// where equal keys are not admitted, returns the existing one; the
    /// other keys are given to it (a name only to a record without one) and
    /// it is indexed in the secondary indexes. Null for a failed table, and
    /// with an internal error (505, 518, 531, 542) when the primary refuses.
    SymAttr* insert(const char* name, short id, const TiMemSpec* spec);

    /// Adds a record to the id index under its id; a record made outside the
    /// table that enters the primary index is owned by the table from then
    /// on. 0 on success, else the location code, reported as internal error:
    /// 637 null record, 639 no id index, 645 the index holds another record
    /// of that id (equal ids not admitted) or the id is 0.
    short IndexID(SymAttr* rec);
    /// The same for the name index: 600, 602, 608 (name taken, or none).
    short IndexName(SymAttr* rec);
    /// The same for the memory-spec index: 673, 675, 680 (no literal
    /// constant), 686.
    short IndexMemSpec(SymAttr* rec);
    /// Indexes the record in every index that exists and for which it has a
    /// key, the primary first; when the primary refuses it, its result is
    /// returned and no other index takes the record. Otherwise the OR of the
    /// results (0 when all succeeded).
    short IndexAll(SymAttr* rec);

    /// The first record with that name (the oldest of equal names). Null,
    /// with internal error 897 for a null name or 895 without name index.
    SymAttr* lookup(const char* name);
    /// The first record with that id (the oldest of equal ids); null for 0.
    /// Null with internal error 917 without id index.
    SymAttr* lookup(short id);
    /// The first record with an equal descriptor, or null (also without
    /// a memory-spec index).
    SymAttr* lookupSpec(const TiMemSpec* spec);

    /// The first record of the name index if there is one, else of the id
    /// index, else of the memory-spec index; null for an empty table. The
    /// order is the hash table's: ascending bucket, then chain order.
    SymAttr* FindFirstEntry();
    /// The record after `after` in that same order (null after the last);
    /// FindFirstEntry() for null.
    SymAttr* FindNextEntry(SymAttr* after);

    /// Takes the record out of the secondary indexes, then out of the
    /// primary, which destroys it. 0, or the location code reported as
    /// internal error: 819/821/825 (name primary), 844/846/850 (id
    /// primary), 869/871/875 (spec primary) for a null record, a record
    /// without key, a record that is not in the table.
    short remove(SymAttr* rec);

    unsigned char GetKind() const { return kind; }
    /// The owner record, or null.
    SymAttr* GetOwner() const { return owner; }
    unsigned char GetIndexFlags() const { return indexFlags; }
    /// Non-zero when an index could not be built.
    unsigned short GetFailed() const { return failed; }
    unsigned short GetSize() const { return size; }
    bool IsCaseSensitive() const { return caseSensitive; }
    ErrMess* GetErrMess() const { return sink; }
    void SetErrMess(ErrMess* s) { sink = s; }

private:
    enum class Key { Name, Id, Spec };
    HashTab* Index(Key k) const;
    static char* KeyOf(Key k, SymAttr* rec);
    short IndexInto(Key k, SymAttr* rec, short nullCode, short noneCode, short clashCode);
    HashTab* IterIndex() const;
    void Internal(short location, int line);

    // Record callbacks of the indexes.
    static void* CreateByName(void* name);
    static void* CreateById(void* key);
    static void* CreateBySpec(void* key);
    static void DeleteRecord(void* rec);
    static char* NameOf(void* rec);
    static char* IdOf(void* rec);
    static char* SpecOf(void* rec);

    unsigned char kind;
    SymAttr* owner = nullptr;
    HashTab* nameIndex = nullptr;
    HashTab* idIndex = nullptr;
    HashTab* specIndex = nullptr;
    unsigned char indexFlags;
    unsigned short failed = 0;
    ErrMess* sink;
    HashTab* primary = nullptr;
    unsigned short size;
    bool caseSensitive;
};
