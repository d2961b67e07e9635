// SymAttr and Subrange: definition of symbol records of every kind, the
// array layout (strides, add correction, clamped element offsets), derived
// types, dimension stripping and type equivalence.
#include "compiler/SymAttr.h"

#include "base/TiCharUtil.h"

#include <cstring>
#include <limits>
#include <new>
#include <utility>

using namespace sym;

namespace {

// Elementary types: ids and sizes as the keyword list gives them, the
// default literal and the restricted mark.
const ElemTypeInfo kElemTypes[] = {
    {-1, "BOOL", 1, "FALSE", false, false},
    {-2, "BYTE", 1, "0", false, false},
    {-3, "WORD", 2, "0", false, false},
    {-4, "DWORD", 4, "0", true, false},
    {-5, "LWORD", 8, "0", true, false},
    {-10, "SINT", 1, "0", true, false},
    {-11, "INT", 2, "0", false, false},
    {-12, "DINT", 4, "0", false, false},
    {-13, "LINT", 8, "0", true, false},
    {-14, "USINT", 1, "0", true, false},
    {-15, "UINT", 2, "0", false, false},
    {-16, "UDINT", 4, "0", false, false},
    {-17, "ULINT", 8, "0", true, false},
    {-18, "REAL", 4, "0.0", false, false},
    {-19, "LREAL", 8, "0.0", true, false},
    {-20, "TIME", 4, "t#0s", false, false},
    {-21, "DATE", 2, "01.01.80", true, false},
    {-22, "TIME_OF_DAY", 4, "00:00:00", true, false},
    {-23, "DATE_AND_TIME", 8, "01.01.80-00:00:00", true, false},
    {-24, "STRING", 0, "''", true, false},
    {-25, "ANY", 8, nullptr, true, true},
    {-26, "ANY_NUM", 8, nullptr, true, true},
    {-27, "ANY_REAL", 8, nullptr, true, true},
    {-28, "ANY_INT", 8, nullptr, true, true},
    {-29, "ANY_BIT", 8, nullptr, true, true},
    {-30, "ANY_DATE", 8, nullptr, true, true},
    {-31, "INTSTATE", 2, "", false, false},
    {-64, "ANL_IN", 18, "failed", false, false},
    {-65, "ANL_OUT", 18, nullptr, false, false},
    {-100, "ANY_ELEM", 8, nullptr, true, true},
};

constexpr uint64_t kU32Max = std::numeric_limits<uint32_t>::max();

uint32_t SatU32(uint64_t v) {
    return v > kU32Max ? static_cast<uint32_t>(kU32Max) : static_cast<uint32_t>(v);
}

int32_t SatI32(int64_t v) {
    if (v > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    if (v < std::numeric_limits<int32_t>::min()) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(v);
}

// Saturating product of two values that each fit 32 bits: the product fits
// 64 bits, and the result is capped at the 32-bit maximum.
uint32_t MulSat(uint32_t a, uint32_t b) {
    return SatU32(static_cast<uint64_t>(a) * b);
}

char* CopyName(const char* name, bool& failed) {
    failed = false;
    if (name == nullptr) {
        return nullptr;
    }
    size_t len = std::strlen(name) + 1;
    char* copy = new (std::nothrow) char[len];
    if (copy == nullptr) {
        failed = true;
        return nullptr;
    }
    std::memcpy(copy, name, len);
    return copy;
}

// Exact comparison of two bounds: through 64 bits when both fit, else through
// their double values.
bool DigitEqual(const TiDigit& a, const TiDigit& b) {
    TI_INT64 va{};
    TI_INT64 vb{};
    if (a.GetINT64Val(&va) == 0 && b.GetINT64Val(&vb) == 0) {
        return va.low == vb.low && va.high == vb.high;
    }
    double da = 0.0;
    double db = 0.0;
    a.GetDoubleVal(&da);
    b.GetDoubleVal(&db);
    return da == db;
}

} // namespace

namespace sym {

const ElemTypeInfo* GetElemTypeInfo(short id) {
    for (const ElemTypeInfo& info : kElemTypes) {
        if (info.id == id) {
            return &info;
        }
    }
    return nullptr;
}

bool IsElementaryId(short id) {
    return (id >= -24 && id <= -1) || id == -31 || id == -64 || id == -65;
}

bool IsGenericId(short id) {
    return (id >= -30 && id <= -25) || id == -100;
}

} // namespace sym

// ================================================================= Subrange

Subrange::Subrange() = default;

Subrange::Subrange(const TiDigit& lo, const TiDigit& hi) {
    SetBounds(lo, hi);
}

Subrange::Subrange(int32_t lo, int32_t hi) {
    TiDigit l;
    TiDigit h;
    l.Set(lo);
    h.Set(hi);
    SetBounds(l, h);
}

Subrange::Subrange(Subrange* copyOf, Subrange* previous) {
    if (copyOf != nullptr) {
        lower = copyOf->lower;
        upper = copyOf->upper;
        count = copyOf->count;
        add = copyOf->add;
        stride = copyOf->stride;
        reserved = copyOf->reserved;
    }
    if (previous != nullptr) {
        next = previous->next;
        if (next != nullptr) {
            next->prev = this;
        }
        prev = previous;
        previous->next = this;
    }
}

void Subrange::SetBounds(const TiDigit& lo, const TiDigit& hi) {
    lower = lo;
    upper = hi;
    int64_t n = static_cast<int64_t>(GetUR()) - GetLR() + 1;
    count = n <= 0 ? 0 : SatU32(static_cast<uint64_t>(n));
}

int32_t Subrange::GetLR() const {
    int32_t v = 0;
    // The read-out saturates out-of-range bounds to the nearest limit.
    lower.GetINT32Val(&v);
    return v;
}

int32_t Subrange::GetUR() const {
    int32_t v = 0;
    upper.GetINT32Val(&v);
    return v;
}

bool Subrange::SameBounds(const Subrange& other) const {
    return DigitEqual(lower, other.lower) && DigitEqual(upper, other.upper);
}

short Subrange::ElemOffset(const Subrange* dim, int32_t index, int32_t& offset) {
    if (dim == nullptr) {
        offset = 0;
        return DEF_NO_DIMENSION;
    }
    int32_t lo = dim->GetLR();
    int32_t hi = dim->GetUR();
    short rc = DEF_OK;
    int64_t i = index;
    if (index < lo) {
        i = lo;
        rc = DEF_INDEX_CLAMPED;
    } else if (index > hi) {
        i = hi;
        rc = DEF_INDEX_CLAMPED;
    }
    // |i| < 2^31 and stride < 2^32: the product fits 64 bits.
    offset = SatI32(i * static_cast<int64_t>(dim->stride));
    return rc;
}

Subrange* Subrange::CopyList(const Subrange* first) {
    Subrange* head = nullptr;
    Subrange* tail = nullptr;
    for (const Subrange* s = first; s != nullptr; s = s->next) {
        Subrange* copy = new (std::nothrow) Subrange(const_cast<Subrange*>(s), tail);
        if (copy == nullptr) {
            DeleteList(head);
            return nullptr;
        }
        if (head == nullptr) {
            head = copy;
        }
        tail = copy;
    }
    return head;
}

void Subrange::DeleteList(Subrange* first) {
    while (first != nullptr) {
        Subrange* next = first->next;
        delete first;
        first = next;
    }
}

Subrange* Subrange::Last(Subrange* first) {
    if (first == nullptr) {
        return nullptr;
    }
    while (first->next != nullptr) {
        first = first->next;
    }
    return first;
}

uint16_t Subrange::Length(const Subrange* first) {
    uint32_t n = 0;
    for (; first != nullptr && n < 0xFFFF; first = first->next) {
        ++n;
    }
    return static_cast<uint16_t>(n);
}

// ================================================================== SymAttr

SymAttr::SymAttr(const char* n) {
    name = CopyName(n, nameLost);
}

SymAttr::SymAttr(const TiMemSpec* s) : kind(KIND_CONSTANT) {
    if (s != nullptr) {
        spec = *s;
    }
}

SymAttr::SymAttr(TiLocatedVar* loc) : kind(KIND_VARIABLE), located(loc) {}

SymAttr::~SymAttr() {
    // Neighbours in a declaration list must not keep a link to a destroyed
    // record; tables destroy their records in any order.
    Unlink();
    delete[] name;
    Subrange::DeleteList(subr);
    delete located;
    delete constant;
}

// --------------------------------------------------------------- definition

short SymAttr::DefID(short newId) {
    id = newId;
    if (kind == KIND_CONSTANT) {
        spec.id = newId;
    }
    return DEF_OK;
}

short SymAttr::DefName(const char* n) {
    bool failed = false;
    char* copy = CopyName(n, failed);
    if (failed) {
        return DEF_NO_MEMORY;
    }
    delete[] name;
    name = copy;
    nameLost = false;
    return DEF_OK;
}

short SymAttr::DefMemSpec(const TiMemSpec* s) {
    if (s == nullptr) {
        return DEF_NULL_ARG;
    }
    if (kind != KIND_UNDEFINED && kind != KIND_CONSTANT) {
        return DEF_DEFINED;
    }
    kind = KIND_CONSTANT;
    spec = *s;
    return DEF_OK;
}

short SymAttr::DefConstant(IEC_CONSTANT& value) {
    if (kind != KIND_UNDEFINED && kind != KIND_CONSTANT) {
        return DEF_DEFINED;
    }
    // The move happens only after the allocation succeeded, so a failure
    // leaves the caller's constant (and its text) untouched.
    IEC_CONSTANT* c = new (std::nothrow) IEC_CONSTANT(std::move(value));
    if (c == nullptr) {
        return DEF_NO_MEMORY;
    }
    delete constant;
    constant = c;
    kind = KIND_CONSTANT;
    return DEF_OK;
}

short SymAttr::DefKeyword(short newId, unsigned short token, SymAttr* elemType) {
    if (kind != KIND_UNDEFINED) {
        return DEF_DEFINED;
    }
    kind = KIND_KEYWORD;
    id = newId;
    word = token;
    type = elemType;
    return DEF_OK;
}

short SymAttr::DefElemType(short newId, uint32_t newSize, const char* defLit, bool visible,
                           bool restricted, bool generic) {
    if (kind != KIND_UNDEFINED) {
        return DEF_DEFINED;
    }
    kind = KIND_DTYPE;
    classByte = CLASS_ELEMENTARY;
    id = newId;
    size = newSize;
    defaultLit = defLit;
    flags = static_cast<uint8_t>((visible ? TFLAG_VISIBLE : 0) |
                                 (restricted ? TFLAG_RESTRICTED : 0) |
                                 (generic ? TFLAG_GENERIC : 0));
    return DEF_OK;
}

short SymAttr::DefEnumType(SymAttr* lastValue, SymTab* scope) {
    if (lastValue == nullptr) {
        return DEF_NULL_ARG;
    }
    if (lastValue->kind != KIND_ENUM_VALUE) {
        return DEF_WRONG_KIND;
    }
    if (kind != KIND_UNDEFINED) {
        return DEF_DEFINED;
    }
    // Check the whole list before changing anything.
    SymAttr* head = lastValue;
    for (int hops = 0; head->prev != nullptr; ++hops) {
        if (head->prev->kind != KIND_ENUM_VALUE || hops >= kMaxTypeChain * 16) {
            return DEF_WRONG_KIND;
        }
        head = head->prev;
    }
    for (SymAttr* v = head; v != nullptr; v = v->next) {
        if (v->kind != KIND_ENUM_VALUE) {
            return DEF_WRONG_KIND;
        }
    }
    kind = KIND_DTYPE;
    classByte = CLASS_ENUM;
    size = 2;
    first = head;
    tab = scope;
    for (SymAttr* v = head; v != nullptr; v = v->next) {
        v->type = this;
    }
    return scope == nullptr ? DEF_NULL_ARG : DEF_OK;
}

short SymAttr::DefStructType(SymAttr* body, SymTab* scope) {
    if (body == nullptr) {
        return DEF_NULL_ARG;
    }
    if (body->kind != KIND_COMPONENT) {
        return DEF_WRONG_KIND;
    }
    if (kind != KIND_UNDEFINED) {
        return DEF_DEFINED;
    }
    SymAttr* head = body;
    while (head->prev != nullptr) {
        head = head->prev;
    }
    // Packed layout: each component starts where the previous one ends.
    uint64_t sum = 0;
    for (SymAttr* c = head; c != nullptr; c = c->next) {
        if (c->type == nullptr || c->type->kind != KIND_DTYPE) {
            break;
        }
        sum += c->type->size;
    }
    kind = KIND_DTYPE;
    classByte = CLASS_STRUCT;
    first = head;
    tab = scope;
    size = SatU32(sum);
    if (sum > kMaxTypeSize) {
        return DEF_TOO_LARGE;
    }
    return scope == nullptr ? DEF_NULL_ARG : DEF_OK;
}

short SymAttr::DefSubrangeType(Subrange* range, SymAttr* base) {
    if (range == nullptr || base == nullptr) {
        return DEF_NULL_ARG;
    }
    if (base->kind != KIND_DTYPE) {
        return DEF_WRONG_KIND;
    }
    if (kind != KIND_UNDEFINED) {
        return DEF_DEFINED;
    }
    kind = KIND_DTYPE;
    classByte = CLASS_SUBRANGE;
    type = base;
    subr = range;
    size = base->size;
    return DEF_OK;
}

short SymAttr::DefArrayType(Subrange* dims, SymAttr* elem) {
    if (dims == nullptr || elem == nullptr) {
        return DEF_NULL_ARG;
    }
    if (elem->kind != KIND_DTYPE || kind != KIND_UNDEFINED) {
        return DEF_WRONG_KIND;
    }
    // An array of arrays is one array with all dimensions: the element's
    // dimensions follow ours, and the element size is the size of the
    // element's own element (the stride of its last dimension).
    uint32_t elemSize = elem->size;
    Subrange* extra = nullptr;
    if ((elem->classByte & CLASS_ARRAY) != 0 && elem->subr != nullptr) {
        extra = Subrange::CopyList(elem->subr);
        if (extra == nullptr) {
            return DEF_NO_MEMORY;
        }
        elemSize = Subrange::Last(elem->subr)->stride;
    }
    Subrange* last = Subrange::Last(dims);
    last->next = extra;
    if (extra != nullptr) {
        extra->prev = last;
    }
    kind = KIND_DTYPE;
    type = elem;
    classByte = static_cast<uint8_t>(elem->classByte | CLASS_ARRAY);
    subr = dims;
    word = Subrange::Length(dims);

    // Strides from the last dimension to the first.
    Subrange* s = Subrange::Last(dims);
    s->stride = elemSize;
    for (; s->prev != nullptr; s = s->prev) {
        s->prev->stride = MulSat(s->stride, s->count);
    }
    size = MulSat(dims->stride, dims->count);

    // add = -sum(lower * stride): the offset of element (i1..in) is then
    // sum(ik * stridek) + add. Each product fits 64 bits; the sum is capped
    // so that it cannot overflow either.
    int64_t sum = 0;
    const int64_t cap = int64_t{1} << 62;
    for (Subrange* d = dims; d != nullptr; d = d->next) {
        sum += static_cast<int64_t>(d->GetLR()) * d->stride;
        if (sum > cap) {
            sum = cap;
        } else if (sum < -cap) {
            sum = -cap;
        }
    }
    int32_t addValue = SatI32(-sum);
    for (Subrange* d = dims; d != nullptr; d = d->next) {
        d->add = addValue;
    }
    return DEF_OK;
}

void SymAttr::ClearTypeDesc() {
    Subrange::DeleteList(subr);
    subr = nullptr;
    classByte = 0;
    flags = 0;
    size = 0;
    word = 0;
    type = nullptr;
    tab = nullptr;
    first = nullptr;
    defaultLit = nullptr;
}

bool SymAttr::ReachesByBase(const SymAttr* target) const {
    const SymAttr* t = this;
    for (int hops = 0; t != nullptr && t->kind == KIND_DTYPE && hops < kMaxTypeChain; ++hops) {
        t = t->type;
        if (t == target) {
            return true;
        }
    }
    return false;
}

short SymAttr::DefDerivedType(SymAttr*& base) {
    SymAttr* b = base;
    if (b == nullptr) {
        return DEF_NULL_ARG;
    }
    if (b->kind != KIND_DTYPE) {
        return DEF_WRONG_KIND;
    }
    // "TYPE t : t" or a base derived from this record would close a cycle of
    // base links, which every query walks.
    if (b == this || b->ReachesByBase(this)) {
        return DEF_WRONG_KIND;
    }
    if (kind != KIND_UNDEFINED && kind != KIND_DTYPE) {
        return DEF_DEFINED;
    }
    const bool redefined = kind == KIND_DTYPE;
    const bool isArray = (b->classByte & CLASS_ARRAY) != 0;
    const bool anonymous = b->name == nullptr;

    if (!anonymous && !isArray) {
        // An alias: it keeps its base and holds no component list of its own.
        Subrange* ranges = Subrange::CopyList(b->subr);
        if (b->subr != nullptr && ranges == nullptr) {
            return DEF_NO_MEMORY;
        }
        ClearTypeDesc();
        kind = KIND_DTYPE;
        type = b;
        classByte = b->classByte;
        size = b->size;
        subr = ranges;
        word = b->word;
    } else if (!anonymous || b->tableOwned) {
        // A named array (or an anonymous record that a table owns and will
        // destroy itself): its whole description, with a copy of the ranges.
        short rc = CopyTypeDesc(b);
        if (rc != DEF_OK) {
            return rc;
        }
    } else {
        // An anonymous type is taken over and destroyed.
        ClearTypeDesc();
        kind = KIND_DTYPE;
        classByte = b->classByte;
        flags = b->flags;
        size = b->size;
        word = b->word;
        type = b->type;
        subr = b->subr;
        tab = b->tab;
        first = b->first;
        defaultLit = b->defaultLit;
        if ((classByte & CLASS_MASK) == CLASS_ENUM && (classByte & CLASS_ARRAY) == 0) {
            for (SymAttr* v = first; v != nullptr; v = v->next) {
                if (v->kind == KIND_ENUM_VALUE) {
                    v->type = this;
                }
            }
        }
        b->subr = nullptr;
        b->first = nullptr;
        delete b;
        base = nullptr;
    }
    return redefined ? DEF_DEFINED : DEF_OK;
}

short SymAttr::CopyTypeDesc(const SymAttr* from) {
    if (from == nullptr) {
        return DEF_NULL_ARG;
    }
    if (from->kind != KIND_DTYPE) {
        return DEF_WRONG_KIND;
    }
    if (kind != KIND_UNDEFINED && kind != KIND_DTYPE) {
        return DEF_DEFINED;
    }
    if (from == this) {
        return DEF_OK;
    }
    if (from->ReachesByBase(this)) {
        return DEF_WRONG_KIND;
    }
    Subrange* ranges = Subrange::CopyList(from->subr);
    if (from->subr != nullptr && ranges == nullptr) {
        return DEF_NO_MEMORY;
    }
    ClearTypeDesc();
    kind = KIND_DTYPE;
    classByte = from->classByte;
    flags = from->flags;
    size = from->size;
    word = from->word;
    type = from->type;
    subr = ranges;
    tab = from->tab;
    first = from->first;
    defaultLit = from->defaultLit;
    return DEF_OK;
}

short SymAttr::DefEnumVal(unsigned short value, SymAttr* prevValue) {
    if (kind != KIND_UNDEFINED) {
        return DEF_DEFINED;
    }
    if (prevValue != nullptr && prevValue->kind != KIND_ENUM_VALUE) {
        return DEF_WRONG_KIND;
    }
    kind = KIND_ENUM_VALUE;
    word = value;
    LinkAfter(prevValue);
    return DEF_OK;
}

short SymAttr::DefStructComp(SymAttr* compType, SymAttr* prevComp) {
    if (compType == nullptr) {
        return DEF_NULL_ARG;
    }
    if (compType->kind != KIND_DTYPE ||
        (prevComp != nullptr && prevComp->kind != KIND_COMPONENT)) {
        return DEF_WRONG_KIND;
    }
    if (kind != KIND_UNDEFINED) {
        return DEF_DEFINED;
    }
    kind = KIND_COMPONENT;
    type = compType;
    LinkAfter(prevComp);
    return DEF_OK;
}

short SymAttr::DefVarAttr(SymAttr* owner, unsigned short sectionFlags, SymAttr* varType,
                          unsigned short parameterFlags, TiLocatedVar* loc) {
    if (varType == nullptr) {
        return DEF_NULL_ARG;
    }
    if (varType->kind != KIND_DTYPE || (kind != KIND_UNDEFINED && kind != KIND_VARIABLE)) {
        return DEF_WRONG_KIND;
    }
    kind = KIND_VARIABLE;
    unit = owner;
    word = sectionFlags;
    type = varType;
    parFlags = parameterFlags;
    if (loc != located) {
        delete located;
        located = loc;
    }
    return DEF_OK;
}

short SymAttr::DefPOU(unsigned char unitType, SymTab* scope, SymAttr* ioVars,
                      SymAttr* otherVars, SymAttr* resultType, unsigned char unitFlags) {
    if (kind != KIND_UNDEFINED && kind != KIND_POU) {
        return DEF_DEFINED;
    }
    kind = KIND_POU;
    classByte = unitType;
    flags = unitFlags;
    tab = scope;
    first = ioVars;
    other = otherVars;
    type = resultType;
    return DEF_OK;
}

short SymAttr::DefFBInstance(SymAttr* owner, unsigned short sectionFlags, SymAttr* fbUnit,
                             SymTab* instanceTab) {
    if (fbUnit == nullptr) {
        return DEF_NULL_ARG;
    }
    if (fbUnit->kind != KIND_POU) {
        return DEF_WRONG_KIND;
    }
    if (kind != KIND_UNDEFINED && kind != KIND_VARIABLE) {
        return DEF_DEFINED;
    }
    // A variable keeps its list links; what only variables have goes.
    delete located;
    located = nullptr;
    initVal = nullptr;
    parFlags = 0;
    kind = KIND_FB_INSTANCE;
    unit = owner;
    word = sectionFlags;
    type = fbUnit;
    tab = instanceTab;
    return DEF_OK;
}

short SymAttr::DefLabelList(void* positions) {
    if (kind != KIND_UNDEFINED) {
        return DEF_DEFINED;
    }
    kind = KIND_LABEL_LIST;
    aux = positions;
    return DEF_OK;
}

bool SymAttr::HasListLinks() const {
    return kind == KIND_VARIABLE || kind == KIND_COMPONENT || kind == KIND_ENUM_VALUE ||
           kind == KIND_FB_INSTANCE;
}

short SymAttr::LinkAfter(SymAttr* p) {
    if (!HasListLinks() || (p != nullptr && !p->HasListLinks()) || p == this) {
        return DEF_WRONG_KIND;
    }
    Unlink();
    if (p != nullptr) {
        next = p->next;
        if (next != nullptr) {
            next->prev = this;
        }
        prev = p;
        p->next = this;
    }
    return DEF_OK;
}

void SymAttr::Unlink() {
    if (prev != nullptr) {
        prev->next = next;
    }
    if (next != nullptr) {
        next->prev = prev;
    }
    prev = nullptr;
    next = nullptr;
}

// ------------------------------------------------------------------- fields

uint8_t SymAttr::GetTypeFlags() const {
    return (kind == KIND_DTYPE || kind == KIND_POU) ? flags : 0;
}

void SymAttr::SetVisible(bool visible) {
    if (kind != KIND_DTYPE) {
        return;
    }
    flags = static_cast<uint8_t>(visible ? (flags | TFLAG_VISIBLE) : (flags & ~TFLAG_VISIBLE));
}

const char* SymAttr::GetDefaultLiteral() const {
    return kind == KIND_DTYPE ? defaultLit : nullptr;
}

void SymAttr::SetSeqNo(unsigned short n) {
    if (kind == KIND_DTYPE) {
        seqNo = n;
    }
}

void SymAttr::DropScopeTab() {
    if (kind == KIND_POU || kind == KIND_FB_INSTANCE) {
        tab = nullptr;
    }
}

SymAttr* SymAttr::GetUnit() const {
    return (kind == KIND_VARIABLE || kind == KIND_FB_INSTANCE) ? unit : nullptr;
}

short SymAttr::SetInitVal(TiInitValSpec* value) {
    if (kind != KIND_VARIABLE) {
        return DEF_WRONG_KIND;
    }
    initVal = value;
    return DEF_OK;
}

short SymAttr::SetFBTemplate(void* fbTemplate) {
    if (kind != KIND_POU) {
        return DEF_WRONG_KIND;
    }
    aux = fbTemplate;
    return DEF_OK;
}

const TiMemSpec* SymAttr::GetMemSpec() const {
    return kind == KIND_CONSTANT ? &spec : nullptr;
}

uint32_t SymAttr::GetUseCount() const {
    return (kind == KIND_FB_INSTANCE || kind == KIND_CONSTANT) ? useCount : 0;
}

void SymAttr::IncUseCount() {
    if ((kind == KIND_FB_INSTANCE || kind == KIND_CONSTANT) && useCount < kU32Max) {
        ++useCount;
    }
}

// ------------------------------------------------------------------ queries

SymAttr* SymAttr::GetTypeSpec(unsigned short dims) const {
    const SymAttr* r = nullptr;
    switch (kind) {
    case KIND_VARIABLE:
    case KIND_COMPONENT:
    case KIND_ENUM_VALUE:
    case KIND_FB_INSTANCE:
        r = type;
        break;
    case KIND_DTYPE:
        r = this;
        break;
    case KIND_POU:
        r = classByte == POU_FUNCTION ? type : nullptr;
        break;
    default:
        break;
    }
    if (r == nullptr || dims == 0 || r->kind != KIND_DTYPE ||
        (r->classByte & CLASS_ARRAY) == 0) {
        return const_cast<SymAttr*>(r);
    }
    // Strip along the array types that built the array: each step to the
    // base removes the difference of the dimension counts.
    int32_t d = r->word;
    int32_t n = dims;
    for (int hops = 0; hops < kMaxTypeChain; ++hops) {
        if (r->kind != KIND_DTYPE) {
            return nullptr;
        }
        r = r->type;
        if (r == nullptr) {
            return nullptr;
        }
        int32_t rd = r->kind == KIND_DTYPE ? r->word : 0;
        n += rd - d;
        if (n < 0) {
            return nullptr;
        }
        d = rd;
        if (n == 0) {
            return const_cast<SymAttr*>(r);
        }
    }
    return nullptr;
}

SymAttr* SymAttr::GetDType(unsigned short dims) const {
    SymAttr* t = GetTypeSpec(dims);
    return (t != nullptr && t->kind == KIND_DTYPE) ? t : nullptr;
}

uint32_t SymAttr::GetMemsize(unsigned short dims) const {
    SymAttr* t = GetDType(dims);
    return t != nullptr ? t->size : 0;
}

const char* SymAttr::GetDTypeName(unsigned short dims) const {
    SymAttr* t = GetDType(dims);
    return t != nullptr ? t->name : nullptr;
}

SymAttr* SymAttr::GetElemType(unsigned short dims) const {
    SymAttr* t = GetDType(dims);
    for (int hops = 0; t != nullptr && hops < kMaxTypeChain; ++hops) {
        SymAttr* b = t->type;
        if (b == nullptr || b->kind != KIND_DTYPE || b->classByte != t->classByte) {
            break;
        }
        if ((t->classByte & CLASS_ARRAY) != 0 && b->word != t->word) {
            break;
        }
        t = b;
    }
    return t;
}

short SymAttr::GetElemTypeID(unsigned short dims) const {
    SymAttr* t = GetElemType(dims);
    return t != nullptr ? t->id : 0;
}

bool SymAttr::IsArray() const {
    SymAttr* t = GetTypeSpec(0);
    return t != nullptr && t->kind == KIND_DTYPE && (t->classByte & CLASS_ARRAY) != 0;
}

bool SymAttr::IsStruct() const {
    SymAttr* t = GetTypeSpec(0);
    return t != nullptr && t->kind == KIND_DTYPE && t->classByte == CLASS_STRUCT;
}

bool SymAttr::IsEnum() const {
    SymAttr* t = GetTypeSpec(0);
    return t != nullptr && t->kind == KIND_DTYPE && t->classByte == CLASS_ENUM;
}

bool SymAttr::IsSubrange() const {
    SymAttr* t = GetTypeSpec(0);
    return t != nullptr && t->kind == KIND_DTYPE && t->classByte == CLASS_SUBRANGE;
}

bool SymAttr::IsAnyDType() const {
    SymAttr* e = GetElemType(GetArrayDimension());
    return e != nullptr && (e->flags & TFLAG_GENERIC) != 0;
}

bool SymAttr::IsVisibleDType() const {
    return kind == KIND_DTYPE && (flags & TFLAG_VISIBLE) != 0;
}

SymAttr* SymAttr::IsDerivedFrom() const {
    return kind == KIND_DTYPE ? type : nullptr;
}

unsigned short SymAttr::GetArrayDimension() const {
    SymAttr* t = GetTypeSpec(0);
    return (t != nullptr && t->kind == KIND_DTYPE) ? t->word : 0;
}

Subrange* SymAttr::GetArraySubr(unsigned short dims) const {
    SymAttr* t = GetTypeSpec(dims);
    if (t == nullptr || t->kind != KIND_DTYPE || (t->classByte & CLASS_ARRAY) == 0) {
        return nullptr;
    }
    return t->subr;
}

Subrange* SymAttr::GetSubr() const {
    SymAttr* t = GetTypeSpec(0);
    if (t == nullptr || t->kind != KIND_DTYPE || t->classByte != CLASS_SUBRANGE) {
        return nullptr;
    }
    return t->subr;
}

int32_t SymAttr::GetArrayAddSize() const {
    Subrange* s = GetArraySubr(0);
    return s != nullptr ? s->add : 0;
}

short SymAttr::GetElemOffset(unsigned short k, int32_t index, int32_t& offset) const {
    Subrange* s = GetArraySubr(0);
    for (unsigned short i = 0; i < k && s != nullptr; ++i) {
        s = s->next;
    }
    return Subrange::ElemOffset(s, index, offset);
}

// The first type from GetTypeSpec(0) along base links that stores a list of
// its own, provided the type is a structure (or an enumeration).
const SymAttr* SymAttr::FirstWithList(bool wantStruct) const {
    const SymAttr* t = GetTypeSpec(0);
    uint8_t wanted = wantStruct ? CLASS_STRUCT : CLASS_ENUM;
    if (t == nullptr || t->kind != KIND_DTYPE || t->classByte != wanted) {
        return nullptr;
    }
    for (int hops = 0; t != nullptr && t->kind == KIND_DTYPE && hops < kMaxTypeChain; ++hops) {
        if (t->first != nullptr) {
            return t;
        }
        t = t->type;
    }
    return nullptr;
}

SymAttr* SymAttr::GetStructCompEntry() const {
    if (kind == KIND_COMPONENT) {
        const SymAttr* c = this;
        while (c->prev != nullptr) {
            c = c->prev;
        }
        return const_cast<SymAttr*>(c);
    }
    const SymAttr* t = FirstWithList(true);
    return t != nullptr ? t->first : nullptr;
}

SymAttr* SymAttr::GetEnumCompEntry() const {
    if (kind == KIND_ENUM_VALUE) {
        const SymAttr* v = this;
        while (v->prev != nullptr) {
            v = v->prev;
        }
        return const_cast<SymAttr*>(v);
    }
    const SymAttr* t = FirstWithList(false);
    return t != nullptr ? t->first : nullptr;
}

short SymAttr::GetEnumVal(short& value) const {
    if (kind != KIND_ENUM_VALUE) {
        value = -1;
        return DEF_WRONG_KIND;
    }
    value = static_cast<short>(word);
    return DEF_OK;
}

SymAttr* SymAttr::GetNext() const {
    return HasListLinks() ? next : nullptr;
}

SymAttr* SymAttr::GetPrev() const {
    return HasListLinks() ? prev : nullptr;
}

SymTab* SymAttr::GetScopeTab() const {
    switch (kind) {
    case KIND_POU:
    case KIND_FB_INSTANCE:
        return tab;
    case KIND_VARIABLE:
    case KIND_DTYPE:
    case KIND_COMPONENT:
        break;
    default:
        return nullptr;
    }
    const SymAttr* t = GetTypeSpec(0);
    for (int hops = 0; hops < kMaxTypeChain; ++hops) {
        if (t == nullptr || t->kind != KIND_DTYPE ||
            (t->classByte != CLASS_STRUCT && t->classByte != CLASS_ENUM)) {
            return nullptr;
        }
        if (t->type == nullptr) {
            return t->tab;
        }
        t = t->type;
    }
    return nullptr;
}

unsigned short SymAttr::GetContext() const {
    return (kind == KIND_VARIABLE || kind == KIND_FB_INSTANCE) ? word : 0;
}

unsigned short SymAttr::GetParFlags() const {
    return kind == KIND_VARIABLE ? parFlags : 0;
}

unsigned char SymAttr::GetPOU_Type() const {
    if (kind == KIND_POU) {
        return classByte;
    }
    if (kind == KIND_FB_INSTANCE && type != nullptr && type->kind == KIND_POU) {
        return type->classByte;
    }
    return 0;
}

SymAttr* SymAttr::GetIO_VarEntry() const {
    return kind == KIND_POU ? first : nullptr;
}

SymAttr* SymAttr::GetOtherVarEntry() const {
    return kind == KIND_POU ? other : nullptr;
}

TiLocatedVar* SymAttr::GetLocatedVar() const {
    return kind == KIND_VARIABLE ? located : nullptr;
}

IEC_CONSTANT* SymAttr::GetConstant() const {
    return kind == KIND_CONSTANT ? constant : nullptr;
}

bool SymAttr::IsEquivalentType(const SymAttr* o, unsigned short dimsThis,
                               unsigned short dimsOther, bool ignoreComponentNames) const {
    return EquivalentAt(o, dimsThis, dimsOther, ignoreComponentNames, 0);
}

bool SymAttr::EquivalentAt(const SymAttr* o, unsigned short dimsThis, unsigned short dimsOther,
                           bool ignoreNames, int depth) const {
    if (o == nullptr || depth > kMaxEquivalenceDepth) {
        return false;
    }
    const SymAttr* e1 = GetElemType(dimsThis);
    const SymAttr* e2 = o->GetElemType(dimsOther);
    if (e1 == nullptr || e2 == nullptr) {
        return false;
    }
    if (e1 == e2) {
        return true;
    }
    const uint8_t c1 = e1->classByte;
    const uint8_t c2 = e2->classByte;
    if ((c1 & CLASS_ARRAY) != 0) {
        if ((c2 & CLASS_ARRAY) == 0) {
            return false;
        }
        const Subrange* s1 = e1->subr;
        const Subrange* s2 = e2->subr;
        for (; s1 != nullptr && s2 != nullptr; s1 = s1->next, s2 = s2->next) {
            if (!s1->SameBounds(*s2)) {
                return false;
            }
        }
        if (s1 != nullptr || s2 != nullptr) {
            return false;
        }
        const SymAttr* el1 = e1->GetElemType(1);
        const SymAttr* el2 = e2->GetElemType(1);
        if (el1 == nullptr || el2 == nullptr) {
            // An array defined with several dimensions at once cannot be
            // stripped by one; all bounds are equal, so the elements after
            // all dimensions decide.
            el1 = e1->GetElemType(e1->word);
            el2 = e2->GetElemType(e2->word);
        }
        if (el1 == nullptr || el2 == nullptr) {
            return false;
        }
        return el1->EquivalentAt(el2, 0, 0, false, depth + 1);
    }
    if (c1 == CLASS_ENUM) {
        return false; // distinct enumeration types are never equivalent
    }
    if (c1 == CLASS_STRUCT) {
        if (c2 != CLASS_STRUCT) {
            return false;
        }
        const SymAttr* a = e1->GetStructCompEntry();
        const SymAttr* b = e2->GetStructCompEntry();
        for (; a != nullptr && b != nullptr; a = a->next, b = b->next) {
            if (!ignoreNames &&
                TiStricmp(const_cast<char*>(a->name), const_cast<char*>(b->name)) != 0) {
                return false;
            }
            if (!a->EquivalentAt(b, 0, 0, false, depth + 1)) {
                return false;
            }
        }
        return a == nullptr && b == nullptr;
    }
    if (c1 == CLASS_SUBRANGE) {
        if (c2 != CLASS_SUBRANGE || e1->subr == nullptr || e2->subr == nullptr) {
            return false;
        }
        return e1->subr->SameBounds(*e2->subr);
    }
    if (!IsElementaryId(e1->id) && !IsElementaryId(e2->id)) {
        return false;
    }
    return e1->id == e2->id;
}
