// SymTabSet: construction of the system tables from the keyword list, the
// table list, the scope stack, resets between compilations and the lookups
// of data types and unit scopes.
#include "compiler/SymTabSet.h"

#include "base/TiKeywordIF.h"
#include "compiler/ErrMess.h"

#include <new>

using namespace symtabset;

SymTabSet::SymTabSet(short size, BADatabase* db, ErrMess* s)
    : sink(s), globalSize(size > 0 ? static_cast<unsigned short>(size) : 0), database(db) {
    globalTab = MakeGlobal();
    if (globalTab == nullptr) {
        status = ST_NO_GLOBAL;
        NoMemory(__LINE__);
        top = nullptr;
        return;
    }
    base.table = globalTab;
    current = globalTab;
    unitTab = globalTab;
    list = new (std::nothrow) ListNode{nullptr, globalTab};
    if (list == nullptr) {
        status = ST_NO_LIST;
        NoMemory(__LINE__);
        return;
    }
    RebuildListIndex();
    BuildSystemTables();
    constrStatus = status;
}

SymTabSet::~SymTabSet() {
    PopAll();
    // Tables that never made it onto the list are still the set's own.
    SymTab* unlisted[3] = {nullptr, nullptr, nullptr};
    int n = 0;
    for (SymTab* t : {globalTab, keywordTab, elemTab}) {
        if (t != nullptr && !OwnsTab(t)) {
            unlisted[n++] = t;
        }
    }
    DestroyList();
    for (int i = 0; i < n; ++i) {
        delete unlisted[i];
    }
}

void SymTabSet::NoMemory(int line) {
    if (sink != nullptr) {
        sink->ReportNoMemory(kModule, line);
    }
}

SymTab* SymTabSet::MakeGlobal() {
    SymTab* t = new (std::nothrow)
        SymTab(KIND_GLOBAL, nullptr, globalSize, kGlobalFlags, sink, false);
    if (t != nullptr && t->GetFailed() != 0) {
        delete t;
        t = nullptr;
    }
    return t;
}

void SymTabSet::BuildSystemTables() {
    keywordTab = new (std::nothrow)
        SymTab(KIND_KEYWORDS, nullptr, kKeywordBuckets, kKeywordFlags, sink, false);
    if (keywordTab == nullptr || keywordTab->GetFailed() != 0) {
        delete keywordTab;
        keywordTab = nullptr;
        status = ST_NO_KEYWORDS;
        NoMemory(__LINE__);
        return;
    }
    if (!AppendTab(keywordTab)) {
        status = ST_NO_KEYWORD_NODE;
        NoMemory(__LINE__);
        return;
    }
    elemTab = new (std::nothrow)
        SymTab(KIND_ELEMENTARY, nullptr, kElementaryBuckets, kElementaryFlags, sink, true);
    if (elemTab == nullptr || elemTab->GetFailed() != 0) {
        delete elemTab;
        elemTab = nullptr;
        status = ST_NO_ELEMENTARY;
        NoMemory(__LINE__);
        return;
    }
    if (!AppendTab(elemTab)) {
        status = ST_NO_ELEMENTARY;
        NoMemory(__LINE__);
        return;
    }
    for (const KeywordDesc* kw = TiGetIEC_KeywordList(); kw != nullptr && kw->name != nullptr;
         ++kw) {
        SymAttr* entry = keywordTab->insert(kw->name, 0, nullptr);
        if (entry == nullptr) {
            status = ST_NO_ELEMENTARY;
            NoMemory(__LINE__);
            return;
        }
        SymAttr* typeRec = nullptr;
        if (kw->typeKind == 1 || kw->typeKind == 2) {
            typeRec = new (std::nothrow) SymAttr(kw->name);
            if (typeRec == nullptr || typeRec->GetConstrStatus() != 0) {
                delete typeRec;
                status = ST_NO_TYPE_RECORD;
                NoMemory(__LINE__);
                return;
            }
            const sym::ElemTypeInfo* info = sym::GetElemTypeInfo(kw->typeId);
            typeRec->DefElemType(kw->typeId, kw->typeSize,
                                 info != nullptr ? info->defaultLit : nullptr, true,
                                 info != nullptr && info->restricted, kw->typeKind == 2);
            if (elemTab->IndexAll(typeRec) != 0) {
                // Once in the primary index the table owns it.
                if (!typeRec->IsTableOwned()) {
                    delete typeRec;
                }
                status = ST_NO_TYPE_INDEX;
                NoMemory(__LINE__);
                return;
            }
        }
        if (entry->DefKeyword(kw->typeId, static_cast<unsigned short>(kw->token), typeRec) != 0) {
            status = ST_KEYWORD_TWICE;
            if (sink != nullptr) {
                sink->ReportInternal(ST_KEYWORD_TWICE, kModule, __LINE__, symtab::kRevision);
            }
            return;
        }
    }
}

bool SymTabSet::OwnsTab(const SymTab* tab) const {
    if (tab == nullptr) {
        return false;
    }
    return listed.count(tab) != 0;
}

void SymTabSet::RebuildListIndex() {
    listed.clear();
    tail = nullptr;
    for (ListNode* n = list; n != nullptr; n = n->next) {
        listed.insert(n->table);
        tail = n;
    }
}

bool SymTabSet::AppendTab(SymTab* tab) {
    if (list == nullptr) {
        return false;
    }
    if (OwnsTab(tab)) {
        return true; // a table on the list twice would be destroyed twice
    }
    ListNode* node = new (std::nothrow) ListNode{nullptr, tab};
    if (node == nullptr) {
        return false;
    }
    if (tail == nullptr) {
        RebuildListIndex();
    }
    tail->next = node;
    tail = node;
    listed.insert(tab);
    return true;
}

SymTabSet::ListNode* SymTabSet::Detach(SymTab* tab) {
    for (ListNode** link = &list; *link != nullptr; link = &(*link)->next) {
        if ((*link)->table == tab) {
            ListNode* node = *link;
            *link = node->next;
            node->next = nullptr;
            listed.erase(tab);
            if (tail == node) {
                tail = nullptr;
                for (ListNode* n = list; n != nullptr; n = n->next) {
                    tail = n;
                }
            }
            return node;
        }
    }
    return nullptr;
}

void SymTabSet::DestroyList() {
    while (list != nullptr) {
        ListNode* next = list->next;
        delete list->table;
        delete list;
        list = next;
    }
    listed.clear();
    tail = nullptr;
}

void SymTabSet::PopAll() {
    while (top != nullptr && top != &base) {
        ScopeNode* n = top;
        top = n->prev;
        delete n;
    }
    if (top != nullptr) {
        top->next = nullptr;
    }
}

unsigned short SymTabSet::reset(BADatabase* db, short mode) {
    database = db;
    status = 0;
    if (globalTab == nullptr) {
        // Nothing to keep and nothing to build on: the set stays unusable.
        status = ST_NO_GLOBAL;
        return status;
    }
    if (list == nullptr) {
        list = new (std::nothrow) ListNode{nullptr, globalTab};
        if (list == nullptr) {
            status = ST_NO_LIST;
            NoMemory(__LINE__);
            return status;
        }
        RebuildListIndex();
        AppendTab(keywordTab);
        AppendTab(elemTab);
    }
    PopAll();

    bool keep = (mode & 1) != 0;
    SymTab* fresh = nullptr;
    if (!keep) {
        fresh = MakeGlobal();
        if (fresh == nullptr) {
            // Keep the old global table rather than leave the set without
            // one; the status tells the caller the reset failed.
            status = ST_NO_GLOBAL;
            NoMemory(__LINE__);
            keep = true;
        }
    }

    // Take the surviving tables off the list; their nodes are reused, so
    // rebuilding the list cannot fail.
    ListNode* globalNode = Detach(globalTab);
    ListNode* keywordNode = keywordTab != nullptr ? Detach(keywordTab) : nullptr;
    ListNode* elemNode = elemTab != nullptr ? Detach(elemTab) : nullptr;
    ListNode* kept = nullptr;
    if (keep) {
        // The global types keep their component tables (structure components,
        // enumeration values); units and instances lose their scope tables,
        // which go with the list.
        for (SymAttr* r = globalTab->FindFirstEntry(); r != nullptr;
             r = globalTab->FindNextEntry(r)) {
            SymTab* comp = r->GetCompTab();
            if (comp != nullptr && comp != globalTab && comp != keywordTab && comp != elemTab) {
                ListNode* n = Detach(comp);
                if (n != nullptr) {
                    n->next = kept;
                    kept = n;
                }
            }
        }
        for (SymAttr* r = globalTab->FindFirstEntry(); r != nullptr;
             r = globalTab->FindNextEntry(r)) {
            uint8_t k = r->GetKind();
            if ((k == sym::KIND_POU || k == sym::KIND_FB_INSTANCE) && OwnsTab(r->GetScopeTab())) {
                r->DropScopeTab();
            }
        }
    }
    DestroyList();
    if (fresh != nullptr) {
        delete globalTab;
        globalTab = fresh;
    }
    literalTab = nullptr;

    if (globalNode == nullptr) {
        globalNode = new (std::nothrow) ListNode{nullptr, nullptr};
    }
    if (globalNode == nullptr) {
        status = ST_NO_LIST;
        NoMemory(__LINE__);
    } else {
        globalNode->table = globalTab;
        list = globalNode;
        ListNode* last = list;
        for (ListNode* n : {keywordNode, elemNode}) {
            if (n != nullptr) {
                last->next = n;
                last = n;
            }
        }
        last->next = kept;
        kept = nullptr;
        RebuildListIndex();
    }
    // Without a list the kept nodes cannot be owned; destroy them rather than
    // leak them (their tables' types then lose their components).
    while (kept != nullptr) {
        ListNode* next = kept->next;
        delete kept->table;
        delete kept;
        kept = next;
    }
    for (ListNode* n : {keywordNode, elemNode}) {
        if (n != nullptr && list == nullptr) {
            n->table = nullptr; // the tables stay referenced by the set
            delete n;
        }
    }

    base.table = globalTab;
    base.next = nullptr;
    top = &base;
    current = globalTab;
    unitTab = globalTab;
    // The keyword and elementary tables are built once: a failure to build
    // them stays visible after every reset.
    if (status == 0) {
        status = constrStatus;
    }
    return status;
}

SymAttr* SymTabSet::FirstWithId(SymTab* tab, short id, bool dtypeOnly) {
    if (tab == nullptr) {
        return nullptr;
    }
    for (SymAttr* r = tab->FindFirstEntry(); r != nullptr; r = tab->FindNextEntry(r)) {
        if (r->GetID() == id && (!dtypeOnly || r->IsDType())) {
            return r;
        }
    }
    return nullptr;
}

SymAttr* SymTabSet::GetDType(short id) {
    if (id < 0) {
        // The id index keeps equal ids in insertion order, so this is the
        // first record of the keyword list with that id ("TIME_OF_DAY",
        // "DATE_AND_TIME"). A walk in bucket order would meet "DT" (bucket
        // 23 of 37) before "DATE_AND_TIME" (bucket 26).
        if (elemTab == nullptr) {
            return nullptr;
        }
        return elemTab->lookup(id);
    }
    SymAttr* r = FirstWithId(globalTab, id, true);
    if (r == nullptr && unitTab != nullptr && unitTab != globalTab) {
        r = FirstWithId(unitTab, id, true);
    }
    return r;
}

SymTab* SymTabSet::GetLocalTab(const char* unitName) {
    if (unitName == nullptr || globalTab == nullptr) {
        return nullptr;
    }
    SymAttr* r = globalTab->lookup(unitName);
    if (r == nullptr || r->GetKind() != sym::KIND_POU) {
        return nullptr;
    }
    SymTab* t = r->GetScopeTab();
    return OwnsTab(t) ? t : nullptr;
}

SymTab* SymTabSet::NewNamedTab(unsigned char kind, const char* name, unsigned short size) {
    SymTab* t = new (std::nothrow) SymTab(kind, name, size, kScopeFlags, sink, false);
    if (t == nullptr || t->GetFailed() != 0 || !AppendTab(t)) {
        delete t;
        NoMemory(__LINE__);
        return nullptr;
    }
    return t;
}

SymTab* SymTabSet::NewUnitTab(unsigned char kind, const char* name, unsigned short size) {
    SymTab* t = NewNamedTab(kind, name, size);
    if (t != nullptr) {
        current = t;
        unitTab = t;
    }
    return t;
}

SymTab* SymTabSet::NewScopeTab(unsigned char kind, const char* name) {
    return NewNamedTab(kind, name, kSmallBuckets);
}

SymTab* SymTabSet::NewLiteralTab(unsigned short size) {
    SymTab* t = new (std::nothrow) SymTab(KIND_LITERALS, nullptr, size, kLiteralFlags, sink, false);
    if (t == nullptr || t->GetFailed() != 0 || !AppendTab(t)) {
        delete t;
        NoMemory(__LINE__);
        return nullptr;
    }
    literalTab = t;
    return t;
}

short SymTabSet::PushScope(SymTab* tab) {
    if (tab == nullptr || top == nullptr) {
        return -1;
    }
    ScopeNode* n = new (std::nothrow) ScopeNode{tab, nullptr, top};
    if (n == nullptr) {
        NoMemory(__LINE__);
        return -2;
    }
    top->next = n;
    top = n;
    current = tab;
    return 0;
}

SymTab* SymTabSet::PopScope() {
    if (top == nullptr) {
        return nullptr;
    }
    ScopeNode* n = top;
    SymTab* popped = n->table;
    top = n->prev;
    if (top != nullptr) {
        top->next = nullptr;
    }
    if (n != &base) {
        delete n;
    }
    current = top != nullptr ? top->table : nullptr;
    if (popped == unitTab) {
        unitTab = current;
    }
    return current;
}

void SymTabSet::SetCurrent(SymTab* tab) {
    if (tab != nullptr) {
        current = tab;
    }
}

void SymTabSet::SetUnitTab(SymTab* tab) {
    if (tab != nullptr) {
        unitTab = tab;
    }
}

void SymTabSet::ResetCurrent() {
    current = globalTab;
    unitTab = globalTab;
}

SymTab* SymTabSet::ReturnToUnit() {
    current = unitTab;
    return current;
}

void SymTabSet::CurrentFromTop() {
    if (top != nullptr) {
        current = top->table;
    }
}

unsigned short SymTabSet::GetScopeDepth() const {
    unsigned short n = 0;
    for (const ScopeNode* s = top; s != nullptr; s = s->prev) {
        ++n;
    }
    return n;
}

SymTab* SymTabSet::GetStackTab(unsigned short i) const {
    const ScopeNode* s = top;
    for (; s != nullptr && i > 0; --i) {
        s = s->prev;
    }
    return s != nullptr ? s->table : nullptr;
}

short SymTabSet::DeleteTab(SymTab* tab) {
    if (tab == nullptr) {
        return 1;
    }
    if (tab == globalTab || tab == keywordTab || tab == elemTab) {
        return 2;
    }
    ListNode* node = Detach(tab);
    if (node == nullptr) {
        return 1;
    }
    delete node;
    // No pointer of the set may outlive the table.
    if (current == tab) {
        current = globalTab;
    }
    if (unitTab == tab) {
        unitTab = globalTab;
    }
    if (literalTab == tab) {
        literalTab = nullptr;
    }
    for (ScopeNode* s = top; s != nullptr && s != &base;) {
        ScopeNode* below = s->prev;
        if (s->table == tab) {
            if (s->next != nullptr) {
                s->next->prev = below;
            } else {
                top = below;
            }
            below->next = s->next;
            delete s;
        }
        s = below;
    }
    delete tab;
    return 0;
}
