// HashTab: the one associative container of the compiler and its base
// library, a fixed array of chains mapping names to untyped objects, and
// KeywID_Tab, the table of keyword records keyed by token number.
#pragma once

#include <cstdint>

class HashTab;
struct KeywordDesc;

/// Turns a 16-bit number into the value that numeric tables (token numbers,
/// ids) carry in the `char*` name slot. The number travels through intptr_t,
/// so the conversion is defined for every value and loses nothing.
inline char* HashNumberKey(short number) {
    return reinterpret_cast<char*>(static_cast<intptr_t>(number));
}

/// The low 16 bits of a name-slot value, as a signed 16-bit number: the
/// inverse of HashNumberKey. Only the low bits are read, so any pointer-sized
/// value is accepted without truncating anything that matters.
inline short HashKeyNumber(const char* key) {
    return static_cast<short>(static_cast<uint16_t>(reinterpret_cast<uintptr_t>(key) & 0xFFFFu));
}

/// One stored entry of a HashTab: chain link, owning table and the object.
/// Buckets are created and destroyed by their table only.
class HashBucket {
public:
    /// Makes a bucket for `table`. With `create` set and a table that has a
    /// create callback, the object is createFn(objOrName); otherwise
    /// `objOrName` itself is the object.
    HashBucket(void* objOrName, HashTab* table, bool create);
    /// Calls the table's delete callback, if any, with the object (which may
    /// be null after ReleaseObj).
    ~HashBucket();
    HashBucket(const HashBucket&) = delete;
    HashBucket& operator=(const HashBucket&) = delete;

    /// The stored object (null after ReleaseObj).
    void* GetObj() const { return obj; }
    /// Lets go of the object: the bucket no longer owns or names it.
    void ReleaseObj() { obj = nullptr; }
    /// The object's name: nameFn(obj) when the table has a name callback,
    /// else the object pointer itself. A bucket without object (or without
    /// table) has the null name; the callback is never called with null.
    char* GetName() const;
    /// The next bucket of the chain if its name compares equal to this one's
    /// (table's CmpName), else null. Walking it lists all duplicates.
    HashBucket* GetNextEqual() const;
    /// Removes this bucket from its table and destroys it (the object goes to
    /// the delete callback). Returns -1 without a table, else the result of
    /// the table's bucket detach: 0 removed, 2 not in the table. A bucket
    /// without object is removed as well (found by identity in every chain).
    short detach();

private:
    friend class HashTab;
    HashBucket* next = nullptr; // next bucket of the same chain
    HashTab* table;             // owning table
    void* obj;                  // stored object
};

/// Chained hash table with a fixed number of slots. Stores untyped objects
/// under names; three optional callbacks make objects from names, destroy
/// them and give their names. The table owns its buckets; it owns objects
/// only in so far as it calls the delete callback on them.
///
/// Every operation on a table whose status is not 0 does nothing and answers
/// null, 0 or the status. A table of 0 slots cannot hold anything: it is
/// constructed with status 1, like one whose slot array could not be
/// allocated (the slot index would otherwise be taken modulo 0).
///
/// Every stored entry has an object: an entry without one would have no name,
/// so it could neither be found nor kept in the slot of its name. Hence add
/// refuses a null object and drops an entry whose create callback gave null,
/// and a bucket whose object was released is still found (by identity in
/// every chain) when it is detached. Names that are numbers or addresses
/// travel in the `char*` slot through (u)intptr_t; derived tables that hash
/// and compare them override hash and CmpName and never read them as text.
class HashTab {
public:
    using CreateFn = void* (*)(void*);
    using DeleteFn = void (*)(void*);
    using NameFn = char* (*)(void*);

    /// Builds an empty table of `size` slots. caseMode 1 compares names
    /// case-sensitively, any other value without regard to case. `status`
    /// (if not null) receives 0, or 1 when the slot array could not be
    /// allocated or `size` is 0.
    HashTab(unsigned short size, short caseMode, CreateFn createFn, DeleteFn deleteFn,
            NameFn nameFn, short* status);
    /// Destroys every bucket (flush), then frees the slot array.
    virtual ~HashTab();
    HashTab(const HashTab&) = delete;
    HashTab& operator=(const HashTab&) = delete;

    /// 0 when the names are equal. Either name null: -1. caseMode 1: byte
    /// comparison in strcmp order; otherwise TiStricmp (only zero/non-zero
    /// is meaningful then).
    virtual short CmpName(char* a, char* b);
    /// Slot index of a name (always below GetArraySize()); null hashes to 0.
    virtual unsigned short hash(char* name);

    /// Inserts an entry made from `name` (through the create callback, else
    /// the name pointer itself, not a copy, is the object). Without allowDup
    /// an existing entry of that name is returned instead and nothing is
    /// inserted; with it the new entry goes right after the last equal one.
    /// Returns the object of the new or found entry; null for a null name, a
    /// bad status, a failed bucket allocation or a create callback that gave
    /// null (nothing is inserted then).
    void* add(char* name, bool allowDup);
    /// Inserts `obj` under `name` (no create callback). A name match holding
    /// this very object returns it without inserting; a match with another
    /// object returns that one without allowDup (compare the result with
    /// your object to detect a clash), with allowDup inserts after the last
    /// equal name. Null name, null object, bad status or failed allocation:
    /// null, nothing inserted.
    void* add(char* name, void* obj, bool allowDup);
    /// Object of the first entry in chain order (the oldest duplicate) whose
    /// name compares equal; null if none.
    void* find(char* name);
    /// As find, but returns the bucket.
    HashBucket* FindBucket(char* name);
    /// Removes the first entry in chain order whose name compares equal and,
    /// if `obj` is not null, whose object is `obj`. With keepObj the object is
    /// released first: the delete callback then receives null and the object
    /// survives. Returns 0 removed, 2 not found, or the status if not 0.
    short detach(char* name, void* obj, bool keepObj);
    /// Removes exactly `bucket` (by identity). Returns 0 removed, 2 not in
    /// this table, 3 null bucket, or the status if not 0.
    short detach(HashBucket* bucket, bool keepObj);
    /// Object at the head of the lowest-numbered non-empty slot; null for an
    /// empty table.
    void* FindFirst();
    /// Name-based iteration step: finds the first entry named `name`, skips
    /// it and the run of equal names after it, and returns the next object
    /// (next in chain, else the head of the next non-empty slot). Null name:
    /// FindFirst(). Name absent or nothing follows: null.
    void* FindNext(char* name);
    /// Object-based iteration step: finds the bucket holding exactly `obj`
    /// (in the chain of its name) and returns the following object; visits
    /// duplicates one by one. Null obj: FindFirst(). Not found or nothing
    /// follows: null.
    void* FindNext(void* obj);
    /// Destroys every bucket (delete callback for each object); the table
    /// stays usable.
    void flush();
    /// Number of slots.
    unsigned short GetArraySize() const { return size; }
    /// 0 usable; 1 the slot array could not be allocated (or size 0).
    short GetStatus() const { return status; }

protected:
    CreateFn createFn;
    DeleteFn deleteFn;
    NameFn nameFn;
    unsigned short size;
    short caseMode;
    HashBucket** slots;
    short status;

private:
    friend class HashBucket;
    void* insert(char* name, void* obj, bool byName, bool allowDup);
    HashBucket* FirstFrom(unsigned short slot) const;
    HashBucket* FindByIdentity(HashBucket* bucket, HashBucket*** link);
    void Destroy(HashBucket** link, bool keepObj);
};

/// Table of keyword records (KeywordDesc) keyed by their token numbers: 191
/// slots; the "name" of a record is its token number carried in the name
/// slot (see HashNumberKey; a null record has number 0). Keys hash by their
/// low 16 bits taken unsigned and compare equal when their low 16 bits are
/// equal.
class KeywID_Tab : public HashTab {
public:
    /// Builds the empty table; `status` as for HashTab.
    explicit KeywID_Tab(short* status);

    /// 0 when the low 16 bits of a and b are equal, else 1.
    short CmpName(char* a, char* b) override;
    /// Low 16 bits of the key, unsigned, modulo the slot count.
    unsigned short hash(char* key) override;

    /// Slot count of the token table.
    static constexpr unsigned short kSize = 191;
};
