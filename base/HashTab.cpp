// HashTab, HashBucket and KeywID_Tab: chained hash table with a fixed slot
// array, name-, object- and bucket-based operations and iteration.
#include "base/HashTab.h"

#include "base/TiCharUtil.h"
#include "base/TiKeywordIF.h"

#include <cstring>
#include <new>

// ---------------------------------------------------------------- HashBucket

HashBucket::HashBucket(void* objOrName, HashTab* owner, bool create)
    : table(owner), obj(objOrName) {
    if (create && table != nullptr && table->createFn != nullptr) {
        obj = table->createFn(objOrName);
    }
}

HashBucket::~HashBucket() {
    if (table != nullptr && table->deleteFn != nullptr) {
        table->deleteFn(obj);
    }
}

char* HashBucket::GetName() const {
    // A bucket without object has no name; name callbacks of callers need
    // not cope with null.
    if (obj == nullptr || table == nullptr) {
        return nullptr;
    }
    if (table->nameFn != nullptr) {
        return table->nameFn(obj);
    }
    return static_cast<char*>(obj);
}

HashBucket* HashBucket::GetNextEqual() const {
    if (next == nullptr || table == nullptr) {
        return nullptr;
    }
    return table->CmpName(GetName(), next->GetName()) == 0 ? next : nullptr;
}

short HashBucket::detach() {
    if (table == nullptr) {
        return -1;
    }
    return table->detach(this, false);
}

// ------------------------------------------------------------------- HashTab

HashTab::HashTab(unsigned short size_, short caseMode_, CreateFn create, DeleteFn del,
                 NameFn name, short* status_)
    : createFn(create), deleteFn(del), nameFn(name), size(size_), caseMode(caseMode_),
      slots(nullptr), status(0) {
    // A table of 0 slots could only take its slot index modulo 0; it is as
    // unusable as one whose slot array could not be allocated.
    if (size != 0) {
        slots = new (std::nothrow) HashBucket*[size];
    }
    if (slots == nullptr) {
        status = 1;
    } else {
        for (unsigned short i = 0; i < size; ++i) {
            slots[i] = nullptr;
        }
    }
    if (status_ != nullptr) {
        *status_ = status;
    }
}

HashTab::~HashTab() {
    flush();
    delete[] slots;
}

short HashTab::CmpName(char* a, char* b) {
    if (a == nullptr || b == nullptr) {
        return -1;
    }
    if (caseMode == 1) {
        int r = std::strcmp(a, b);
        return static_cast<short>(r < 0 ? -1 : (r > 0 ? 1 : 0));
    }
    return TiStricmp(a, b);
}

unsigned short HashTab::hash(char* name) {
    if (name == nullptr || size == 0) {
        return 0;
    }
    uint16_t h = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p) {
        unsigned c = *p;
        // Upper-casing here goes with the case-insensitive CmpName: names that
        // differ only in case must land in the same slot.
        if (caseMode != 1) {
            c = static_cast<unsigned>(TiToUpper(static_cast<short>(c))) & 0xFFu;
        }
        h = static_cast<uint16_t>(h * 4u + c);
        uint16_t g = h & 0xC000u;
        if (g != 0) {
            h = static_cast<uint16_t>((h ^ (g >> 12)) & 0x3FFFu);
        }
    }
    return static_cast<unsigned short>(h % size);
}

void* HashTab::insert(char* name, void* obj, bool byName, bool allowDup) {
    if (status != 0 || name == nullptr || (!byName && obj == nullptr)) {
        return nullptr;
    }
    unsigned short s = hash(name);
    HashBucket* lastEqual = nullptr;
    HashBucket* tail = nullptr;
    for (HashBucket* b = slots[s]; b != nullptr; b = b->next) {
        tail = b;
        if (CmpName(name, b->GetName()) != 0) {
            continue;
        }
        // Without duplicates the existing entry answers; in the object form
        // the very same object is never stored twice.
        if (!allowDup || (!byName && b->obj == obj)) {
            return b->obj;
        }
        lastEqual = b;
    }
    HashBucket* nb = new (std::nothrow) HashBucket(byName ? name : obj, this, byName);
    if (nb == nullptr) {
        return nullptr;
    }
    if (nb->obj == nullptr) {
        // The create callback failed: an entry without object would have no
        // name and could never be found again. Nothing was made, so the
        // delete callback is not called either.
        nb->table = nullptr;
        delete nb;
        return nullptr;
    }
    // Equal names stay adjacent: the new entry follows the last equal one.
    if (lastEqual != nullptr) {
        nb->next = lastEqual->next;
        lastEqual->next = nb;
    } else if (tail != nullptr) {
        tail->next = nb;
    } else {
        slots[s] = nb;
    }
    return nb->obj;
}

void* HashTab::add(char* name, bool allowDup) {
    return insert(name, nullptr, true, allowDup);
}

void* HashTab::add(char* name, void* obj, bool allowDup) {
    return insert(name, obj, false, allowDup);
}

HashBucket* HashTab::FindBucket(char* name) {
    if (status != 0) {
        return nullptr;
    }
    for (HashBucket* b = slots[hash(name)]; b != nullptr; b = b->next) {
        if (CmpName(name, b->GetName()) == 0) {
            return b;
        }
    }
    return nullptr;
}

void* HashTab::find(char* name) {
    HashBucket* b = FindBucket(name);
    return b != nullptr ? b->obj : nullptr;
}

void HashTab::Destroy(HashBucket** link, bool keepObj) {
    HashBucket* b = *link;
    *link = b->next;
    b->next = nullptr;
    if (keepObj) {
        b->ReleaseObj();
    }
    delete b;
}

short HashTab::detach(char* name, void* obj, bool keepObj) {
    if (status != 0) {
        return status;
    }
    for (HashBucket** link = &slots[hash(name)]; *link != nullptr; link = &(*link)->next) {
        HashBucket* b = *link;
        if (CmpName(name, b->GetName()) == 0 && (obj == nullptr || b->obj == obj)) {
            Destroy(link, keepObj);
            return 0;
        }
    }
    return 2;
}

HashBucket* HashTab::FindByIdentity(HashBucket* bucket, HashBucket*** link) {
    // A bucket with an object lives in the chain of its name; one without
    // (released, or never named) is looked for in every chain.
    unsigned short first = 0;
    unsigned short last = static_cast<unsigned short>(size - 1);
    if (bucket->obj != nullptr) {
        first = last = hash(bucket->GetName());
    }
    for (unsigned s = first; s <= last; ++s) {
        for (HashBucket** l = &slots[s]; *l != nullptr; l = &(*l)->next) {
            if (*l == bucket) {
                *link = l;
                return bucket;
            }
        }
    }
    return nullptr;
}

short HashTab::detach(HashBucket* bucket, bool keepObj) {
    if (status != 0) {
        return status;
    }
    if (bucket == nullptr) {
        return 3;
    }
    // A bucket of another table is not in this one; its name would not even
    // be derived by this table's callbacks.
    if (bucket->table != this) {
        return 2;
    }
    HashBucket** link = nullptr;
    if (FindByIdentity(bucket, &link) == nullptr) {
        return 2;
    }
    Destroy(link, keepObj);
    return 0;
}

HashBucket* HashTab::FirstFrom(unsigned short slot) const {
    for (unsigned s = slot; s < size; ++s) {
        if (slots[s] != nullptr) {
            return slots[s];
        }
    }
    return nullptr;
}

void* HashTab::FindFirst() {
    if (status != 0) {
        return nullptr;
    }
    HashBucket* b = FirstFrom(0);
    return b != nullptr ? b->obj : nullptr;
}

void* HashTab::FindNext(char* name) {
    if (status != 0) {
        return nullptr;
    }
    if (name == nullptr) {
        return FindFirst();
    }
    unsigned short s = hash(name);
    HashBucket* b = FindBucket(name);
    if (b == nullptr) {
        return nullptr;
    }
    // Skip the run of equal names: they are adjacent by construction.
    while (b->next != nullptr && CmpName(name, b->next->GetName()) == 0) {
        b = b->next;
    }
    HashBucket* after = b->next != nullptr ? b->next : FirstFrom(static_cast<unsigned short>(s + 1));
    return after != nullptr ? after->obj : nullptr;
}

void* HashTab::FindNext(void* obj) {
    if (status != 0) {
        return nullptr;
    }
    if (obj == nullptr) {
        return FindFirst();
    }
    char* name = nameFn != nullptr ? nameFn(obj) : static_cast<char*>(obj);
    unsigned short s = hash(name);
    HashBucket* b = slots[s];
    while (b != nullptr && b->obj != obj) {
        b = b->next;
    }
    if (b == nullptr) {
        return nullptr;
    }
    HashBucket* after = b->next != nullptr ? b->next : FirstFrom(static_cast<unsigned short>(s + 1));
    return after != nullptr ? after->obj : nullptr;
}

void HashTab::flush() {
    if (slots == nullptr) {
        return;
    }
    for (unsigned short s = 0; s < size; ++s) {
        // Unlink first, so that the table is consistent whatever the delete
        // callback does.
        while (slots[s] != nullptr) {
            Destroy(&slots[s], false);
        }
    }
}

// ---------------------------------------------------------------- KeywID_Tab

namespace {

// The "name" of a keyword record in the token table is its token number.
char* KeywordTokenName(void* obj) {
    const KeywordDesc* rec = static_cast<const KeywordDesc*>(obj);
    return HashNumberKey(rec != nullptr ? rec->token : 0);
}

} // namespace

KeywID_Tab::KeywID_Tab(short* status_)
    : HashTab(kSize, 0, nullptr, nullptr, KeywordTokenName, status_) {}

short KeywID_Tab::CmpName(char* a, char* b) {
    return HashKeyNumber(a) == HashKeyNumber(b) ? 0 : 1;
}

unsigned short KeywID_Tab::hash(char* key) {
    if (size == 0) {
        return 0;
    }
    return static_cast<unsigned short>(static_cast<uint16_t>(HashKeyNumber(key)) % size);
}
