// SymTab: the three indexes of a scope (name, id, memory descriptor),
// insertion through the primary index, lookups, iteration in bucket order
// and removal, with internal errors reported by location code.
#include "compiler/SymTab.h"

#include "compiler/ErrMess.h"

#include <cstring>
#include <new>

using namespace symtab;

namespace {

// Index by 16-bit id: the id travels in the name slot (HashNumberKey); the
// bucket is the id taken unsigned modulo the bucket count.
class IdIndex : public HashTab {
public:
    IdIndex(unsigned short n, CreateFn c, DeleteFn d, NameFn nf, short* st)
        : HashTab(n, 0, c, d, nf, st) {}

    short CmpName(char* a, char* b) override {
        if (a == nullptr || b == nullptr) {
            return -1; // 0 is no id
        }
        return HashKeyNumber(a) == HashKeyNumber(b) ? 0 : 1;
    }
    unsigned short hash(char* key) override {
        if (size == 0) {
            return 0;
        }
        return static_cast<unsigned short>(static_cast<uint16_t>(HashKeyNumber(key)) % size);
    }
};

// Index by memory descriptor: the key points at a TiMemSpec; the bucket
// is the sum of its bytes as 16-bit little-endian words (an odd last byte
// added by itself), truncated to 16 bits, modulo the bucket count.
class SpecIndex : public HashTab {
public:
    SpecIndex(unsigned short n, CreateFn c, DeleteFn d, NameFn nf, short* st)
        : HashTab(n, 0, c, d, nf, st) {}

    short CmpName(char* a, char* b) override {
        if (a == nullptr || b == nullptr) {
            return -1;
        }
        return std::memcmp(a, b, sizeof(TiMemSpec)) == 0 ? 0 : 1;
    }
    unsigned short hash(char* key) override {
        if (key == nullptr || size == 0) {
            return 0;
        }
        const auto* bytes = reinterpret_cast<const unsigned char*>(key);
        uint16_t sum = 0;
        for (size_t i = 0; i < sizeof(TiMemSpec); i += 2) {
            uint16_t word = bytes[i];
            if (i + 1 < sizeof(TiMemSpec)) {
                word = static_cast<uint16_t>(word | (bytes[i + 1] << 8));
            }
            sum = static_cast<uint16_t>(sum + word);
        }
        return static_cast<unsigned short>(sum % size);
    }
};

} // namespace

// ---------------------------------------------------------------- callbacks

void* SymTab::CreateByName(void* name) {
    SymAttr* r = new (std::nothrow) SymAttr(static_cast<const char*>(name));
    if (r != nullptr && r->GetConstrStatus() != 0) {
        delete r;
        return nullptr;
    }
    if (r != nullptr) {
        r->tableOwned = true;
    }
    return r;
}

void* SymTab::CreateById(void* key) {
    SymAttr* r = new (std::nothrow) SymAttr(static_cast<const char*>(nullptr));
    if (r != nullptr) {
        r->DefID(HashKeyNumber(static_cast<char*>(key)));
        r->tableOwned = true;
    }
    return r;
}

void* SymTab::CreateBySpec(void* key) {
    SymAttr* r = new (std::nothrow) SymAttr(static_cast<const TiMemSpec*>(key));
    if (r != nullptr) {
        r->tableOwned = true;
    }
    return r;
}

void SymTab::DeleteRecord(void* rec) {
    delete static_cast<SymAttr*>(rec);
}

char* SymTab::NameOf(void* rec) {
    return static_cast<SymAttr*>(rec)->name;
}

char* SymTab::IdOf(void* rec) {
    return HashNumberKey(static_cast<SymAttr*>(rec)->id);
}

char* SymTab::SpecOf(void* rec) {
    SymAttr* r = static_cast<SymAttr*>(rec);
    return r->kind == sym::KIND_CONSTANT ? reinterpret_cast<char*>(&r->spec) : nullptr;
}

// --------------------------------------------------------------- the table

SymTab::SymTab(unsigned char k, const char* ownerName, unsigned short n, unsigned char flags,
               ErrMess* s, bool exact)
    : kind(k), indexFlags(flags), sink(s), size(n), caseSensitive(exact) {
    // Indexes are built in the order name, id, memory spec; the first one is
    // the primary and alone creates and deletes records. Every index needs
    // the name callback to compare the keys of the records it holds.
    short st = 0;
    if ((flags & (IDX_NAME | IDX_NAME_DUP)) != 0) {
        bool prim = primary == nullptr;
        nameIndex = new (std::nothrow)
            HashTab(n, exact ? 1 : 0, prim ? CreateByName : nullptr,
                    prim ? DeleteRecord : nullptr, NameOf, &st);
        if (nameIndex == nullptr || st != 0) {
            failed = 1;
        }
        if (prim) {
            primary = nameIndex;
        }
    }
    if ((flags & (IDX_ID | IDX_ID_DUP)) != 0) {
        bool prim = primary == nullptr;
        idIndex = new (std::nothrow) IdIndex(n, prim ? CreateById : nullptr,
                                             prim ? DeleteRecord : nullptr, IdOf, &st);
        if (idIndex == nullptr || st != 0) {
            failed = 1;
        }
        if (prim) {
            primary = idIndex;
        }
    }
    if ((flags & (IDX_SPEC | IDX_SPEC_DUP)) != 0) {
        bool prim = primary == nullptr;
        specIndex = new (std::nothrow) SpecIndex(n, prim ? CreateBySpec : nullptr,
                                                 prim ? DeleteRecord : nullptr, SpecOf, &st);
        if (specIndex == nullptr || st != 0) {
            failed = 1;
        }
        if (prim) {
            primary = specIndex;
        }
    }
    if (primary == nullptr) {
        failed = 1; // a table without any index can hold nothing
    }
    if (failed == 0 && ownerName != nullptr && nameIndex != nullptr) {
        owner = insert(ownerName, 0, nullptr);
    }
}

SymTab::~SymTab() {
    // Secondary indexes only point at records: free them first, then let
    // the primary destroy the records themselves.
    for (HashTab* h : {nameIndex, idIndex, specIndex}) {
        if (h != primary) {
            delete h;
        }
    }
    delete primary;
}

void SymTab::Internal(short location, int line) {
    if (sink != nullptr) {
        sink->ReportInternal(location, kModule, line, kRevision);
    }
}

HashTab* SymTab::Index(Key k) const {
    switch (k) {
    case Key::Name:
        return nameIndex;
    case Key::Id:
        return idIndex;
    case Key::Spec:
        return specIndex;
    }
    return nullptr;
}

char* SymTab::KeyOf(Key k, SymAttr* rec) {
    switch (k) {
    case Key::Name:
        return NameOf(rec);
    case Key::Id:
        return IdOf(rec);
    case Key::Spec:
        return SpecOf(rec);
    }
    return nullptr;
}

HashTab* SymTab::IterIndex() const {
    if (nameIndex != nullptr) {
        return nameIndex;
    }
    return idIndex != nullptr ? idIndex : specIndex;
}

SymAttr* SymTab::insert(const char* name, short id, const TiMemSpec* spec) {
    if (failed != 0) {
        return nullptr;
    }
    SymAttr* rec = nullptr;
    Key primaryKey;
    if (name != nullptr && nameIndex != nullptr && nameIndex == primary) {
        primaryKey = Key::Name;
        rec = static_cast<SymAttr*>(
            nameIndex->add(const_cast<char*>(name), (indexFlags & IDX_NAME_DUP) != 0));
        if (rec == nullptr) {
            Internal(LOC_INSERT_NAME, __LINE__);
            return nullptr;
        }
        if (spec != nullptr) {
            rec->DefMemSpec(spec);
        }
        if (id != 0) {
            rec->DefID(id);
        }
    } else if (id != 0 && idIndex != nullptr && idIndex == primary) {
        primaryKey = Key::Id;
        rec = static_cast<SymAttr*>(idIndex->add(HashNumberKey(id), (indexFlags & IDX_ID_DUP) != 0));
        if (rec == nullptr) {
            Internal(LOC_INSERT_ID, __LINE__);
            return nullptr;
        }
        // An existing record keeps its name: renaming it would lose it in a
        // name index that holds it.
        if (name != nullptr && rec->GetName() == nullptr) {
            rec->DefName(name);
        }
        if (spec != nullptr) {
            rec->DefMemSpec(spec);
        }
    } else {
        if (spec == nullptr || specIndex == nullptr || specIndex != primary) {
            Internal(LOC_INSERT_NO_KEY, __LINE__);
            return nullptr;
        }
        primaryKey = Key::Spec;
        // The id is part of the descriptor; giving it after indexing would
        // move the record away from its bucket, so the key carries it now.
        TiMemSpec key = *spec;
        if (id != 0) {
            key.id = id;
        }
        rec = static_cast<SymAttr*>(specIndex->add(reinterpret_cast<char*>(&key),
                                                   (indexFlags & IDX_SPEC_DUP) != 0));
        if (rec == nullptr) {
            Internal(LOC_INSERT_SPEC, __LINE__);
            return nullptr;
        }
        if (name != nullptr && rec->GetName() == nullptr) {
            rec->DefName(name);
        }
        if (id != 0) {
            rec->DefID(id);
        }
    }
    // The secondary indexes, for the keys that were given.
    if (primaryKey != Key::Name && name != nullptr && nameIndex != nullptr) {
        IndexName(rec);
    }
    if (primaryKey != Key::Id && id != 0 && idIndex != nullptr) {
        IndexID(rec);
    }
    if (primaryKey != Key::Spec && spec != nullptr && specIndex != nullptr) {
        IndexMemSpec(rec);
    }
    return rec;
}

short SymTab::IndexInto(Key k, SymAttr* rec, short nullCode, short noneCode, short clashCode) {
    if (rec == nullptr) {
        Internal(nullCode, __LINE__);
        return nullCode;
    }
    HashTab* index = Index(k);
    if (index == nullptr) {
        Internal(noneCode, __LINE__);
        return noneCode;
    }
    bool dup = false;
    switch (k) {
    case Key::Name:
        dup = (indexFlags & IDX_NAME_DUP) != 0;
        break;
    case Key::Id:
        dup = (indexFlags & IDX_ID_DUP) != 0;
        break;
    case Key::Spec:
        dup = (indexFlags & IDX_SPEC_DUP) != 0;
        break;
    }
    // A missing key (no name, id 0) makes the add fail like a clash.
    void* got = index->add(KeyOf(k, rec), rec, dup);
    if (got != rec) {
        Internal(clashCode, __LINE__);
        return clashCode;
    }
    if (index == primary) {
        rec->tableOwned = true; // the primary destroys it with the table
    }
    return 0;
}

short SymTab::IndexID(SymAttr* rec) {
    return IndexInto(Key::Id, rec, LOC_INDEX_ID_NULL, LOC_INDEX_ID_NONE, LOC_INDEX_ID_CLASH);
}

short SymTab::IndexName(SymAttr* rec) {
    return IndexInto(Key::Name, rec, LOC_INDEX_NAME_NULL, LOC_INDEX_NAME_NONE,
                     LOC_INDEX_NAME_CLASH);
}

short SymTab::IndexMemSpec(SymAttr* rec) {
    if (rec != nullptr && specIndex != nullptr && rec->GetKind() != sym::KIND_CONSTANT) {
        Internal(LOC_INDEX_SPEC_KIND, __LINE__);
        return LOC_INDEX_SPEC_KIND;
    }
    return IndexInto(Key::Spec, rec, LOC_INDEX_SPEC_NULL, LOC_INDEX_SPEC_NONE,
                     LOC_INDEX_SPEC_CLASH);
}

short SymTab::IndexAll(SymAttr* rec) {
    if (rec == nullptr) {
        return static_cast<short>(IndexName(rec) | IndexID(rec) | IndexMemSpec(rec));
    }
    // Keys the record does not have are skipped: a user type (id 0) belongs
    // in a table's name index but not in its id index.
    auto has = [&](Key k) {
        switch (k) {
        case Key::Name:
            return nameIndex != nullptr && rec->GetName() != nullptr;
        case Key::Id:
            return idIndex != nullptr && rec->GetID() != 0;
        case Key::Spec:
            return specIndex != nullptr && rec->GetKind() == sym::KIND_CONSTANT;
        }
        return false;
    };
    auto index = [&](Key k) -> short {
        switch (k) {
        case Key::Name:
            return IndexName(rec);
        case Key::Id:
            return IndexID(rec);
        case Key::Spec:
            return IndexMemSpec(rec);
        }
        return 0;
    };
    // The primary first: a record it refuses belongs to nobody in this table
    // and must not be left behind in a secondary index.
    Key primaryKey = primary == idIndex ? Key::Id : (primary == specIndex ? Key::Spec : Key::Name);
    short rc = 0;
    if (has(primaryKey)) {
        rc = index(primaryKey);
        if (rc != 0) {
            return rc;
        }
    }
    for (Key k : {Key::Name, Key::Id, Key::Spec}) {
        if (k != primaryKey && has(k)) {
            rc = static_cast<short>(rc | index(k));
        }
    }
    return rc;
}

SymAttr* SymTab::lookup(const char* name) {
    if (name == nullptr) {
        Internal(LOC_LOOKUP_NULL_NAME, __LINE__);
        return nullptr;
    }
    if (nameIndex == nullptr) {
        Internal(LOC_LOOKUP_NO_NAME_INDEX, __LINE__);
        return nullptr;
    }
    return static_cast<SymAttr*>(nameIndex->find(const_cast<char*>(name)));
}

SymAttr* SymTab::lookup(short id) {
    if (idIndex == nullptr) {
        Internal(LOC_LOOKUP_NO_ID_INDEX, __LINE__);
        return nullptr;
    }
    return static_cast<SymAttr*>(idIndex->find(HashNumberKey(id)));
}

SymAttr* SymTab::lookupSpec(const TiMemSpec* spec) {
    if (spec == nullptr || specIndex == nullptr) {
        return nullptr;
    }
    return static_cast<SymAttr*>(specIndex->find(reinterpret_cast<char*>(const_cast<TiMemSpec*>(spec))));
}

SymAttr* SymTab::FindFirstEntry() {
    HashTab* index = IterIndex();
    return index != nullptr ? static_cast<SymAttr*>(index->FindFirst()) : nullptr;
}

SymAttr* SymTab::FindNextEntry(SymAttr* after) {
    HashTab* index = IterIndex();
    if (index == nullptr) {
        return nullptr;
    }
    // The object-based step visits records with equal keys one by one.
    return static_cast<SymAttr*>(index->FindNext(static_cast<void*>(after)));
}

short SymTab::remove(SymAttr* rec) {
    short nullCode = LOC_REMOVE_NAME_NULL;
    short keyCode = LOC_REMOVE_NAME_KEY;
    short foundCode = LOC_REMOVE_NAME_FOUND;
    Key primaryKey = Key::Name;
    if (primary == idIndex && primary != nullptr) {
        primaryKey = Key::Id;
        nullCode = LOC_REMOVE_ID_NULL;
        keyCode = LOC_REMOVE_ID_KEY;
        foundCode = LOC_REMOVE_ID_FOUND;
    } else if (primary == specIndex && primary != nullptr) {
        primaryKey = Key::Spec;
        nullCode = LOC_REMOVE_SPEC_NULL;
        keyCode = LOC_REMOVE_SPEC_KEY;
        foundCode = LOC_REMOVE_SPEC_FOUND;
    }
    if (rec == nullptr || primary == nullptr) {
        Internal(nullCode, __LINE__);
        return nullCode;
    }
    // Secondary indexes first: a record that one of them never held (no key
    // at the time) simply is not found there.
    for (Key k : {Key::Name, Key::Id, Key::Spec}) {
        HashTab* index = Index(k);
        char* key = KeyOf(k, rec);
        if (index != nullptr && index != primary && key != nullptr) {
            index->detach(key, rec, true);
        }
    }
    char* key = KeyOf(primaryKey, rec);
    if (key == nullptr) {
        Internal(keyCode, __LINE__);
        return keyCode;
    }
    if (primary->detach(key, rec, false) != 0) {
        Internal(foundCode, __LINE__);
        return foundCode;
    }
    return 0;
}
