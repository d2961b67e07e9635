// TiInitValDesc and TiInitValRepIter: walking the memory layout of an
// initial value's type with the records that cover each element.
//
// An array level is a stream of records: the list's records in order, a
// repetition replaced by the records it repeats. Each record covers the size
// of its type; the cursor's element is covered by the record whose range
// contains the element's offset (several records may share one element when
// a multi-dimensional array is initialised by a flat list).
#include "compiler/TiInitValDesc.h"

#include "base/TiCharUtil.h"
#include "compiler/SymAttr.h"

#include <cstdio>
#include <new>

using namespace initval;

// ================================================================ iterator

TiInitValRepIter::TiInitValRepIter(TiInitValSpec* rep) {
    if (rep == nullptr) {
        status = IT_NO_RECORD;
        return;
    }
    if (rep->GetKind() != KIND_REPEAT) {
        status = IT_NOT_REPEAT;
        return;
    }
    if (!rep->GetRepCount(&count) || count == 0) {
        status = IT_COUNT_ZERO;
        return;
    }
    first = rep->GetSublist();
    if (first == nullptr) {
        status = IT_EMPTY;
        return;
    }
    cur = first;
    if (!Enter()) {
        cur = nullptr;
    }
}

TiInitValRepIter::~TiInitValRepIter() {
    delete nested;
}

TiInitValSpec* TiInitValRepIter::Current() const {
    if (status != IT_OK || cur == nullptr) {
        return nullptr;
    }
    return nested != nullptr ? nested->Current() : cur;
}

bool TiInitValRepIter::Enter() {
    // Repetitions that yield nothing (count 0, empty list) are passed over;
    // a whole pass over the list without a record ends the iteration.
    uint64_t steps = 0;
    uint64_t listLen = 0;
    for (TiInitValSpec* r = first; r != nullptr; r = r->GetNext()) {
        ++listLen;
    }
    while (cur != nullptr) {
        if (cur->GetKind() != KIND_REPEAT) {
            return true;
        }
        nested = new (std::nothrow) TiInitValRepIter(cur);
        if (nested == nullptr) {
            status = IT_NO_MEMORY;
            return false;
        }
        short ns = nested->GetStatus();
        if (ns == IT_OK && nested->Current() != nullptr) {
            return true;
        }
        delete nested;
        nested = nullptr;
        if (ns != IT_COUNT_ZERO && ns != IT_EMPTY && ns != IT_OK) {
            status = IT_NESTED_FAILED;
            return false;
        }
        if (++steps > listLen) {
            done = count;
            return false;
        }
        cur = cur->GetNext();
        if (cur == nullptr && ++done < count) {
            cur = first;
        }
    }
    return false;
}

TiInitValSpec* TiInitValRepIter::Next() {
    if (status != IT_OK || cur == nullptr) {
        return nullptr;
    }
    if (nested != nullptr) {
        if (nested->Next() != nullptr) {
            return nested->Current();
        }
        if (nested->GetStatus() != IT_OK) {
            status = IT_NESTED_FAILED;
            return nullptr;
        }
        delete nested;
        nested = nullptr;
    }
    cur = cur->GetNext();
    if (cur == nullptr) {
        ++done;
        if (done >= count) {
            return nullptr;
        }
        cur = first;
    }
    if (!Enter()) {
        cur = nullptr;
        return nullptr;
    }
    return Current();
}

// ================================================================== cursor

namespace {

// The memory size of a type (0 for none).
uint32_t Size(const SymAttr* t) {
    return t != nullptr ? t->GetMemsize(0) : 0;
}

bool SameType(const SymAttr* a, const SymAttr* b) {
    return a != nullptr && b != nullptr && (a == b || a->IsEquivalentType(b, 0, 0, false));
}

SymAttr* ArrayElement(const SymAttr* t) {
    SymAttr* e = t->GetDType(1);
    return e != nullptr ? e : t->GetDType(t->GetArrayDimension());
}

} // namespace

TiInitValDesc::TiInitValDesc() = default;

TiInitValDesc::TiInitValDesc(TiInitValSpec* spec, short* st) {
    if (spec == nullptr) {
        status = ST_NULL;
    } else if (spec->GetKind() == KIND_REPEAT) {
        status = ST_REPEAT;
    } else if (spec->GetKind() == KIND_ASSIGN) {
        status = ST_ASSIGN;
    } else if (spec->GetKind() < KIND_LITERAL || spec->GetKind() > KIND_ARRAY) {
        status = ST_KIND;
    } else {
        SymAttr* t = spec->GetType();
        uint32_t size = Size(t);
        if (size == 0 && t != nullptr && t->GetElemTypeID(0) == iec::TYPE_STRING) {
            size = spec->GetBinaryLen();
        }
        if (t == nullptr || !t->IsDType() || size == 0 || size > 0xFFFFu) {
            status = ST_TYPE;
        } else {
            cur = spec;
            curType = t;
            elemSize = static_cast<uint16_t>(size);
            totalSize = elemSize;
        }
    }
    if (status != ST_OK) {
        end = 1;
    }
    if (st != nullptr) {
        *st = status;
    }
}

TiInitValDesc::~TiInitValDesc() {
    delete iter;
}

void TiInitValDesc::Clear() {
    end = 1;
    cur = nullptr;
    curType = nullptr;
    curComp = nullptr;
    elemSize = 0;
    offset = totalSize;
    delete iter;
    iter = nullptr;
}

TiInitValSpec* TiInitValDesc::GetCurrent() const {
    if (end != 0) {
        return nullptr;
    }
    if (iter != nullptr) {
        return iter->Current();
    }
    return cur;
}

TiInitValSpec* TiInitValDesc::FindAssign(SymAttr* comp) const {
    for (TiInitValSpec* e = list; e != nullptr && comp != nullptr; e = e->GetNext()) {
        const char* n = e->GetCompName();
        if (e->GetKind() == KIND_ASSIGN && n != nullptr && comp->GetName() != nullptr &&
            TiStricmp(const_cast<char*>(n), const_cast<char*>(comp->GetName())) == 0) {
            return e;
        }
    }
    return nullptr;
}

short TiInitValDesc::StartStream(TiInitValSpec* rec) {
    // Positions the stream on `rec` or, past repetitions that yield
    // nothing, on the next record that covers something.
    delete iter;
    iter = nullptr;
    cur = rec;
    while (cur != nullptr && cur->GetKind() == KIND_REPEAT) {
        iter = new (std::nothrow) TiInitValRepIter(cur);
        if (iter == nullptr) {
            return SUB_NO_MEMORY;
        }
        short is = iter->GetStatus();
        if (is == TiInitValRepIter::IT_OK && iter->Current() != nullptr) {
            return 0;
        }
        delete iter;
        iter = nullptr;
        if (is != TiInitValRepIter::IT_OK && is != TiInitValRepIter::IT_COUNT_ZERO &&
            is != TiInitValRepIter::IT_EMPTY) {
            return SUB_NO_ITERATOR;
        }
        cur = cur->GetNext();
    }
    return 0;
}

short TiInitValDesc::Advance(uint32_t target) {
    // Moves along the stream until the covering record's range contains
    // `target`.
    for (;;) {
        TiInitValSpec* r = GetCurrent();
        if (r == nullptr) {
            return 0;
        }
        SymAttr* t = r->GetKind() == KIND_ASSIGN && r->GetValue() != nullptr
                         ? r->GetValue()->GetType()
                         : r->GetType();
        if (t == nullptr) {
            return NX_NO_TYPE;
        }
        uint32_t s = Size(t);
        if (s == 0) {
            return NX_SIZE_ZERO;
        }
        if (recStart + s > target) {
            return s > elemSize ? NX_TOO_LARGE : 0;
        }
        recStart += s;
        if (iter != nullptr) {
            if (iter->Next() != nullptr) {
                continue;
            }
            short is = iter->GetStatus();
            delete iter;
            iter = nullptr;
            if (is != TiInitValRepIter::IT_OK) {
                return NX_ITERATOR;
            }
        }
        short rc = StartStream(cur->GetNext());
        if (rc == SUB_NO_MEMORY) {
            return NX_ITERATOR;
        }
        if (rc != 0) {
            return NX_ITERATOR_EMPTY;
        }
    }
}

TiInitValDesc* TiInitValDesc::GetSublist(short* st) {
    short dummy = 0;
    short& s = st != nullptr ? *st : dummy;
    if (end != 0 || curType == nullptr) {
        s = SUB_NOT_AGGREGATE;
        return nullptr;
    }
    TiInitValSpec* rec = GetCurrent();
    if (rec != nullptr && rec->GetKind() == KIND_ASSIGN) {
        rec = rec->GetValue();
    }
    if (curType->IsArray()) {
        SymAttr* elem = ArrayElement(curType);
        uint32_t esize = Size(elem);
        if (elem == nullptr || esize == 0 || esize > 0xFFFFu) {
            s = SUB_NO_ELEMENT_TYPE;
            return nullptr;
        }
        if (rec != nullptr &&
            (rec->GetKind() != KIND_ARRAY || !SameType(rec->GetType(), curType))) {
            s = SUB_NOT_EQUIVALENT;
            return nullptr;
        }
        TiInitValDesc* d = new (std::nothrow) TiInitValDesc();
        if (d == nullptr) {
            s = SUB_NO_MEMORY;
            return nullptr;
        }
        d->parentType = curType;
        d->curType = elem;
        d->elemSize = static_cast<uint16_t>(esize);
        d->totalSize = elemSize;
        d->list = rec != nullptr ? rec->GetSublist() : nullptr;
        short rc = d->StartStream(d->list);
        if (rc != 0) {
            delete d;
            s = rc;
            return nullptr;
        }
        s = SUB_OK;
        return d;
    }
    if (curType->IsStruct()) {
        SymAttr* comp = curType->GetStructCompEntry();
        if (comp == nullptr) {
            s = SUB_NO_COMPONENTS;
            return nullptr;
        }
        SymAttr* ctype = comp->GetDType(0);
        if (ctype == nullptr) {
            s = SUB_COMPONENT_TYPE;
            return nullptr;
        }
        if (rec != nullptr &&
            (rec->GetKind() != KIND_STRUCT || !SameType(rec->GetType(), curType))) {
            s = SUB_NOT_EQUIVALENT;
            return nullptr;
        }
        TiInitValDesc* d = new (std::nothrow) TiInitValDesc();
        if (d == nullptr) {
            s = SUB_NO_MEMORY;
            return nullptr;
        }
        d->parentType = curType;
        d->curComp = comp;
        d->curType = ctype;
        d->elemSize = static_cast<uint16_t>(Size(ctype) > 0xFFFFu ? 0xFFFFu : Size(ctype));
        d->totalSize = elemSize;
        d->list = rec != nullptr ? rec->GetSublist() : nullptr;
        d->cur = d->FindAssign(comp);
        s = SUB_OK;
        return d;
    }
    s = SUB_NOT_AGGREGATE;
    return nullptr;
}

short TiInitValDesc::GotoNext() {
    if (end != 0) {
        return NX_END;
    }
    short rc = 0;
    uint32_t next = static_cast<uint32_t>(offset) + elemSize;
    if (parentType != nullptr && curComp != nullptr) {
        // A structure: the next component.
        curComp = curComp->GetNext();
        if (curComp == nullptr) {
            next = totalSize;
        } else {
            SymAttr* ctype = curComp->GetDType(0);
            if (ctype == nullptr) {
                rc = NX_COMPONENT_TYPE;
            } else {
                curType = ctype;
                elemSize = static_cast<uint16_t>(Size(ctype) > 0xFFFFu ? 0xFFFFu : Size(ctype));
                cur = FindAssign(curComp);
            }
        }
    } else if (parentType != nullptr && next < totalSize) {
        // An array: follow the stream to the record that covers the next
        // element.
        rc = Advance(next);
    }
    if (rc != 0) {
        std::printf("Internal Error: TiIinitValDesc::GotoNext : %d\n", rc);
    }
    if (next >= totalSize) {
        Clear();
        return NX_END;
    }
    offset = static_cast<uint16_t>(next);
    return rc;
}

const char* TiInitValDesc::GetAsciiSpec() {
    if (end != 0 || curType == nullptr) {
        return nullptr;
    }
    TiInitValSpec* rec = GetCurrent();
    if (rec != nullptr) {
        SymAttr* t = rec->GetKind() == KIND_ASSIGN && rec->GetValue() != nullptr
                         ? rec->GetValue()->GetType()
                         : rec->GetType();
        return SameType(t, curType) ? rec->GetAsciiSpec() : nullptr;
    }
    SymAttr* e = curType->GetElemType(0);
    if (e != nullptr && !e->IsArray() && e->GetTypeClass() == sym::CLASS_ELEMENTARY) {
        return e->GetDefaultLiteral();
    }
    return nullptr;
}
