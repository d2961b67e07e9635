// DeclContext: the declaration rules of TYPE blocks, structures,
// enumerations, subranges, arrays, program units and VAR sections, the
// generated names of anonymous types, and their messages.
#include "compiler/DeclContext.h"

#include "base/IEC_CONSTANT.h"
#include "base/TiCharUtil.h"
#include "base/TiCompOptions.h"
#include "base/TiMemRegister.h"
#include "compiler/ErrMess.h"
#include "compiler/Library.h"
#include "compiler/SymAttr.h"
#include "compiler/SymTab.h"
#include "compiler/SymTabSet.h"
#include "compiler/TiDB.h"
#include "compiler/TiInitValSpec.h"
#include "platform/Text.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>

using namespace decl;

namespace {

// Longest section keyword text taken from the message table.
constexpr int kSectionTextMax = 64;

// A heap copy of the generated name "<prefix><middle><suffix>"; null when
// out of memory. Generated names are built from names of at most a few
// hundred characters, so the length is known before writing.
char* Concat(const char* a, size_t alen, const char* b, const char* c) {
    size_t blen = std::strlen(b);
    size_t clen = std::strlen(c);
    char* out = new (std::nothrow) char[alen + blen + clen + 1];
    if (out == nullptr) {
        return nullptr;
    }
    std::memcpy(out, a, alen);
    std::memcpy(out + alen, b, blen);
    std::memcpy(out + alen + blen, c, clen + 1);
    return out;
}

// "E[lo..hi]", or, when E already ends in a bracketed list, the range put
// first inside it: "INT[1..3]" and 1..2 give "INT[1..2,1..3]".
char* ArrayName(const char* elemName, int32_t lo, int32_t hi) {
    const char* e = elemName != nullptr ? elemName : "";
    char range[32];
    std::snprintf(range, sizeof range, "%ld..%ld", static_cast<long>(lo), static_cast<long>(hi));
    size_t len = std::strlen(e);
    const char* open = std::strrchr(e, '[');
    if (len > 0 && e[len - 1] == ']' && open != nullptr) {
        size_t head = static_cast<size_t>(open - e) + 1; // through the '['
        char* withComma = Concat(range, std::strlen(range), ",", open + 1);
        if (withComma == nullptr) {
            return nullptr;
        }
        char* out = Concat(e, head, withComma, "");
        delete[] withComma;
        return out;
    }
    char* bracketed = Concat("[", 1, range, "]");
    if (bracketed == nullptr) {
        return nullptr;
    }
    char* out = Concat(e, len, bracketed, "");
    delete[] bracketed;
    return out;
}

bool IsRealConstant(const IEC_CONSTANT& c) {
    return (c.flags & iec::CONST_REAL) != 0;
}

} // namespace

// ================================================================ lifetime

DeclContext::DeclContext(SymTabSet* s, Library* lib, TiDB* adapter, ErrMess* m, TiCompOptions* o,
                         AST_Update* u, short* st)
    : set(s), library(lib), db(adapter), sink(m), opts(o), update(u) {
    if (set == nullptr || set->GetStatus() != 0 || set->GetGlobalTab() == nullptr) {
        status = 1;
    }
    if (st != nullptr) {
        *st = status;
    }
}

DeclContext::~DeclContext() {
    // Scopes left open by a source that ended inside a body or unit.
    while (!bodies.empty()) {
        bodies.pop_back();
        set->PopScope();
    }
    while (!units.empty()) {
        if (units.back().table != nullptr) {
            set->PopScope();
        }
        units.pop_back();
    }
    for (SymAttr* spec : specs) {
        TiMemDeRegisterMemoryFkt(spec, const_cast<char*>(kModule), __LINE__);
        delete spec;
    }
    specs.clear();
}

// ================================================================ messages

short DeclContext::SectionTextNo(unsigned short bit) {
    for (int i = 0; i < 13; ++i) {
        if (bit == (1u << i)) {
            return static_cast<short>(kSectionTextBase - i);
        }
    }
    return 0;
}

void DeclContext::SectionText(unsigned short bit, char* buf, int size) const {
    buf[0] = '\0';
    short no = SectionTextNo(bit);
    if (no != 0) {
        LoadStringA(nullptr, static_cast<unsigned>(-no), buf, size);
    }
}

void DeclContext::Report(int32_t severity, short number, DeclPos pos, const char* text,
                         const char* text2) {
    if (sink == nullptr) {
        return;
    }
    if (text2 != nullptr) {
        sink->Report(severity, number, pos.row, pos.col, {text, text2});
    } else if (text != nullptr) {
        sink->Report(severity, number, pos.row, pos.col, {text});
    } else {
        sink->Report(severity, number, pos.row, pos.col);
    }
}

void DeclContext::ReportNoMemory(int line) {
    if (sink != nullptr) {
        sink->ReportNoMemory(kModule, line);
    }
}

void DeclContext::ReportInternal(short location, int line) {
    if (sink != nullptr) {
        sink->ReportInternal(location, kModule, line, kRevision);
    }
}

// ================================================================ helpers

SymAttr* DeclContext::NewAnonymous() {
    SymAttr* rec = new (std::nothrow) SymAttr(static_cast<const char*>(nullptr));
    if (rec == nullptr) {
        ReportNoMemory(__LINE__);
        return nullptr;
    }
    try {
        specs.insert(rec);
    } catch (const std::bad_alloc&) {
        delete rec;
        ReportNoMemory(__LINE__);
        return nullptr;
    }
    TiMemRegisterMemory(rec, const_cast<char*>(kModule), __LINE__);
    return rec;
}

bool DeclContext::OwnsSpec(const SymAttr* spec) const {
    return spec != nullptr && specs.count(const_cast<SymAttr*>(spec)) != 0;
}

void DeclContext::ForgetSpec(SymAttr* spec) {
    if (specs.erase(spec) != 0) {
        TiMemDeRegisterMemoryFkt(spec, const_cast<char*>(kModule), __LINE__);
    }
}

void DeclContext::DestroySpec(SymAttr* spec) {
    if (!OwnsSpec(spec)) {
        return;
    }
    // The component or value table of an anonymous structure or enumeration
    // belongs to it alone: nothing else can reach it once the specifier is gone.
    SymTab* comps = spec->GetCompTab();
    if (comps != nullptr && !spec->IsArray() && (spec->IsStruct() || spec->IsEnum())) {
        set->DeleteTab(comps);
    }
    ForgetSpec(spec);
    delete spec;
}

void DeclContext::DropTypeSpec(SymAttr* spec) {
    DestroySpec(spec);
}

void DeclContext::DestroyValue(TiInitValSpec* value) {
    TiDelInitValSpecList(value);
}

SymAttr* DeclContext::RecordIn(SymTab* tab, SymAttr* name, bool* taken) {
    *taken = false;
    if (tab == nullptr || name == nullptr || name->GetName() == nullptr) {
        return nullptr;
    }
    SymAttr* rec = tab->lookup(name->GetName());
    if (rec != nullptr) {
        *taken = rec->GetKind() != sym::KIND_UNDEFINED;
        return rec;
    }
    rec = tab->insert(name->GetName(), 0, nullptr);
    if (rec == nullptr) {
        ReportNoMemory(__LINE__);
    }
    return rec;
}

bool DeclContext::IsGlobalScope() const {
    return set->GetCurrent() == set->GetGlobalTab();
}

SymAttr* DeclContext::GetLastEnumValue() const {
    for (auto it = bodies.rbegin(); it != bodies.rend(); ++it) {
        if (it->isEnum) {
            return it->last;
        }
    }
    return nullptr;
}

SymAttr* DeclContext::GetCurrentUnit() const {
    return units.empty() ? nullptr : units.back().record;
}

short DeclContext::CheckSize(SymAttr* type, short msg, DeclPos pos, bool* reported) {
    if (type != nullptr && type->GetMemsize(0) > sym::kMaxTypeSize) {
        if (reported == nullptr || !*reported) {
            Report(errmess::SEV_ERROR, msg, pos);
        }
        if (reported != nullptr) {
            *reported = true;
        }
        return msg;
    }
    return 0;
}

// ==================================================================== TYPE

short DeclContext::DeclareType(SymAttr* name, DeclPos namePos, SymAttr* spec,
                               TiInitValSpec* value) {
    if (status != 0) {
        DestroySpec(spec);
        DestroyValue(value);
        return 1;
    }
    short result = 0;
    auto finish = [&]() {
        // An initial value is not part of a type: reported and discarded
        // after the declaration itself.
        if (value != nullptr) {
            const TextLocation* at = value->GetLocation();
            Report(errmess::SEV_ERROR, MSG_INITVAL_IN_TYPE, at != nullptr ? *at : namePos);
            DestroyValue(value);
            if (result == 0) {
                result = MSG_INITVAL_IN_TYPE;
            }
        }
        return result;
    };
    if (name == nullptr || name->GetName() == nullptr) {
        DestroySpec(spec);
        result = 1;
        return finish();
    }
    const char* typeName = name->GetName();
    if (std::strlen(typeName) >= kMaxNameLen) {
        Report(errmess::SEV_ERROR, MSG_NAME_TOO_LONG, namePos);
        result = MSG_NAME_TOO_LONG;
    }
    if (spec == nullptr) {
        // The specifier failed earlier and was reported there.
        if (result == 0) {
            result = 1;
        }
        return finish();
    }
    SymTab* tab = set->GetCurrent();
    bool taken = false;
    SymAttr* target = RecordIn(tab, name, &taken);
    if (target == nullptr) {
        DestroySpec(spec);
        result = MSG_NO_MEMORY;
        return finish();
    }
    if (taken && !target->IsDType()) {
        Report(errmess::SEV_ERROR, MSG_ALREADY_DECLARED, namePos, typeName);
        DestroySpec(spec);
        if (result == 0) {
            result = MSG_ALREADY_DECLARED;
        }
        return finish();
    }
    bool redeclared = target->IsDType();
    if (redeclared) {
        // Compared before the new description replaces the old one.
        bool equivalent = target->IsEquivalentType(spec, 0, 0, false);
        bool accept = opts != nullptr && (opts->modeFlags & MODE_ACCEPT_EQUIVALENT) != 0;
        if (!(equivalent && accept)) {
            Report(errmess::SEV_ERROR, MSG_ALREADY_DECLARED, namePos, typeName);
            if (result == 0) {
                result = MSG_ALREADY_DECLARED;
            }
        }
    }
    bool anonymous = OwnsSpec(spec);
    if (anonymous) {
        ForgetSpec(spec);
    }
    SymAttr* base = spec;
    short rc = target->DefDerivedType(base);
    if (rc != sym::DEF_OK && rc != sym::DEF_DEFINED) {
        if (anonymous && base != nullptr) {
            // Not taken over: the context owns it again and drops it.
            specs.insert(base);
            TiMemRegisterMemory(base, const_cast<char*>(kModule), __LINE__);
            DestroySpec(base);
        }
        if (rc == sym::DEF_NO_MEMORY) {
            ReportNoMemory(__LINE__);
            if (result == 0) {
                result = MSG_NO_MEMORY;
            }
        } else if (result != MSG_ALREADY_DECLARED) {
            // The specifier derives from this very type (a cycle of aliases):
            // the type keeps its first description.
            Report(errmess::SEV_ERROR, MSG_ALREADY_DECLARED, namePos, typeName);
            result = MSG_ALREADY_DECLARED;
        }
        return finish();
    }
    target->SetSeqNo(++typeSeq);

    SymAttr* registered = target;
    SymTab* global = set->GetGlobalTab();
    if (tab != global) {
        // A type declared inside a unit is also a global type, unless the
        // global table has that name already.
        SymAttr* g = global->lookup(typeName);
        if (g == nullptr) {
            g = global->insert(typeName, 0, nullptr);
            if (g == nullptr) {
                ReportNoMemory(__LINE__);
                if (result == 0) {
                    result = MSG_NO_MEMORY;
                }
            }
        }
        if (g != nullptr && g->GetKind() == sym::KIND_UNDEFINED) {
            if (g->CopyTypeDesc(target) == sym::DEF_OK) {
                g->SetSeqNo(typeSeq);
                registered = g;
            } else {
                ReportNoMemory(__LINE__);
            }
        }
    }
    if (nestedDepth == 0) {
        target->SetVisible(true);
        registered->SetVisible(true);
        if (library != nullptr && library->AddType(registered) == sym::DEF_NO_MEMORY) {
            ReportNoMemory(__LINE__);
        }
    }
    return finish();
}

// ================================================================== STRUCT

DeclContext::Body* DeclContext::OpenBody(bool isEnum) {
    if (status != 0) {
        return nullptr;
    }
    SymTab* tab = set->NewScopeTab(isEnum ? TAB_ENUM : TAB_STRUCT, nullptr);
    if (tab == nullptr) {
        return nullptr; // reported by the set
    }
    if (set->PushScope(tab) != 0) {
        set->DeleteTab(tab);
        ReportNoMemory(__LINE__);
        return nullptr;
    }
    try {
        bodies.push_back(Body{tab, nullptr, 0, isEnum});
    } catch (const std::bad_alloc&) {
        set->PopScope();
        set->DeleteTab(tab);
        ReportNoMemory(__LINE__);
        return nullptr;
    }
    return &bodies.back();
}

short DeclContext::BeginStruct() {
    return OpenBody(false) != nullptr ? 0 : MSG_NO_MEMORY;
}

short DeclContext::DeclareStructComponent(SymAttr* name, DeclPos namePos, SymAttr* spec,
                                          TiInitValSpec* value) {
    short result = 0;
    if (value != nullptr) {
        const TextLocation* at = value->GetLocation();
        Report(errmess::SEV_ERROR, MSG_INITVAL_IN_TYPE, at != nullptr ? *at : namePos);
        DestroyValue(value);
        result = MSG_INITVAL_IN_TYPE;
    }
    if (bodies.empty() || bodies.back().isEnum || name == nullptr || name->GetName() == nullptr) {
        DestroySpec(spec);
        return result != 0 ? result : 1;
    }
    Body& body = bodies.back();
    const char* compName = name->GetName();
    if (std::strlen(compName) >= kMaxNameLen) {
        Report(errmess::SEV_ERROR, MSG_NAME_TOO_LONG, namePos);
        if (result == 0) {
            result = MSG_NAME_TOO_LONG;
        }
    }
    bool taken = false;
    SymAttr* comp = RecordIn(body.table, name, &taken);
    if (comp == nullptr || taken) {
        if (taken) {
            Report(errmess::SEV_ERROR, MSG_ALREADY_DECLARED, namePos, compName);
        }
        DestroySpec(spec);
        return result != 0 ? result : (taken ? MSG_ALREADY_DECLARED : MSG_NO_MEMORY);
    }
    if (spec == nullptr) {
        return result != 0 ? result : 1;
    }
    SymAttr* type = spec;
    if (OwnsSpec(spec)) {
        type = NameAnonymousType(spec);
    } else if (!spec->IsDType()) {
        type = ResolveTypeName(spec, namePos);
    }
    if (type == nullptr) {
        return result != 0 ? result : 1;
    }
    if (!type->IsDType()) {
        // A function block as a component (reported by ResolveTypeName when
        // it went through there) cannot be laid out in a structure.
        Report(errmess::SEV_ERROR, MSG_NOT_A_TYPE, namePos);
        return result != 0 ? result : MSG_NOT_A_TYPE;
    }
    if (comp->DefStructComp(type, body.last) != sym::DEF_OK) {
        ReportInternal(1, __LINE__);
        return result != 0 ? result : MSG_INTERNAL;
    }
    body.last = comp;
    ++body.count;
    return result;
}

SymAttr* DeclContext::EndStruct(DeclPos endPos) {
    if (bodies.empty() || bodies.back().isEnum) {
        return nullptr;
    }
    Body body = bodies.back();
    bodies.pop_back();
    set->PopScope();
    if (body.last == nullptr) {
        set->DeleteTab(body.table);
        return nullptr;
    }
    SymAttr* spec = NewAnonymous();
    if (spec == nullptr) {
        set->DeleteTab(body.table);
        return nullptr;
    }
    short rc = spec->DefStructType(body.last, body.table);
    if (rc == sym::DEF_TOO_LARGE) {
        Report(errmess::SEV_ERROR, MSG_STRUCT_TOO_LARGE, endPos);
    } else if (rc != sym::DEF_OK) {
        ReportInternal(2, __LINE__);
        DestroySpec(spec);
        return nullptr;
    }
    return spec;
}

// ============================================================ enumerations

short DeclContext::BeginEnum() {
    return OpenBody(true) != nullptr ? 0 : MSG_NO_MEMORY;
}

short DeclContext::DeclareEnumValue(SymAttr* name, DeclPos pos) {
    if (bodies.empty() || !bodies.back().isEnum || name == nullptr || name->GetName() == nullptr) {
        return 1;
    }
    Body& body = bodies.back();
    bool taken = false;
    SymAttr* value = RecordIn(body.table, name, &taken);
    if (value == nullptr) {
        return MSG_NO_MEMORY;
    }
    if (taken) {
        Report(errmess::SEV_ERROR, MSG_ALREADY_DECLARED, pos, name->GetName());
        return MSG_ALREADY_DECLARED;
    }
    if (body.count > 0xFFFFu) {
        // Values are 16-bit: a 65537th value has no number left.
        Report(errmess::SEV_ERROR, MSG_OUT_OF_RANGE, pos);
        body.table->remove(value);
        return MSG_OUT_OF_RANGE;
    }
    if (value->DefEnumVal(static_cast<unsigned short>(body.count), body.last) != sym::DEF_OK) {
        ReportInternal(3, __LINE__);
        return MSG_INTERNAL;
    }
    body.last = value;
    ++body.count;
    return 0;
}

SymAttr* DeclContext::EndEnum(DeclPos /*endPos*/) {
    if (bodies.empty() || !bodies.back().isEnum) {
        return nullptr;
    }
    Body body = bodies.back();
    bodies.pop_back();
    set->PopScope();
    if (body.last == nullptr) {
        set->DeleteTab(body.table);
        return nullptr;
    }
    SymAttr* spec = NewAnonymous();
    if (spec == nullptr) {
        set->DeleteTab(body.table);
        return nullptr;
    }
    if (spec->DefEnumType(body.last, body.table) != sym::DEF_OK) {
        ReportInternal(4, __LINE__);
        DestroySpec(spec);
        return nullptr;
    }
    return spec;
}

// ======================================================== subranges, arrays

Subrange* DeclContext::MakeSubrange(const DeclBound& lo, const DeclBound& hi) {
    auto bound = [this](const DeclBound& b) -> int32_t {
        // The caller's constant is only read: a negated copy is checked.
        IEC_CONSTANT copy;
        IEC_CONSTANT* c = nullptr;
        if (b.value != nullptr) {
            if (copy.CopyFrom(*b.value) != 0) {
                ReportNoMemory(__LINE__);
                return 0;
            }
            c = &copy;
        }
        if (b.minus) {
            if (c != nullptr && c->IsInteger()) {
                c->value.digit.Negate();
                c->flags ^= iec::CONST_NEGATIVE;
            } else if (c != nullptr && IsRealConstant(*c)) {
                c->value.dbl = -c->value.dbl;
                c->flags ^= iec::CONST_NEGATIVE;
            } else {
                Report(errmess::SEV_WARNING, MSG_MINUS_IGNORED, b.pos);
            }
        }
        if (c == nullptr || !c->IsInteger()) {
            Report(errmess::SEV_ERROR, MSG_BOUND_NOT_INTEGER, b.pos);
            return 0;
        }
        int32_t v = 0;
        if (c->value.digit.GetINT32Val(&v) != 0) {
            Report(errmess::SEV_ERROR, MSG_BOUND_RANGE, b.pos);
            return 0;
        }
        return v;
    };
    int32_t l = bound(lo);
    int32_t h = bound(hi);
    if (h < l) {
        Report(errmess::SEV_ERROR, MSG_UPPER_BELOW_LOWER, hi.pos);
        h = l;
    }
    Subrange* range = new (std::nothrow) Subrange(l, h);
    if (range == nullptr) {
        ReportNoMemory(__LINE__);
    }
    return range;
}

Subrange* DeclContext::AddDimension(Subrange* list, Subrange* dim) {
    if (dim == nullptr) {
        return list;
    }
    if (list == nullptr) {
        return dim;
    }
    // Dimensions are linked by copying behind the last one (the links are
    // the list's own business).
    Subrange* copy = new (std::nothrow) Subrange(dim, Subrange::Last(list));
    Subrange::DeleteList(dim);
    if (copy == nullptr) {
        ReportNoMemory(__LINE__);
    }
    return list;
}

SymAttr* DeclContext::MakeSubrangeType(SymAttr* base, Subrange* range, DeclPos pos) {
    if (status != 0 || range == nullptr || base == nullptr) {
        DestroySpec(base);
        Subrange::DeleteList(range);
        return nullptr;
    }
    SymAttr* type = base;
    if (OwnsSpec(base)) {
        type = NameAnonymousType(base);
    } else if (!base->IsDType()) {
        type = ResolveTypeName(base, pos);
    }
    if (type == nullptr) {
        Subrange::DeleteList(range);
        return nullptr;
    }
    if (!type->IsDType()) {
        Report(errmess::SEV_ERROR, MSG_NOT_A_TYPE, pos);
        Subrange::DeleteList(range);
        return nullptr;
    }
    SymAttr* spec = NewAnonymous();
    if (spec == nullptr) {
        Subrange::DeleteList(range);
        return nullptr;
    }
    if (spec->DefSubrangeType(range, type) != sym::DEF_OK) {
        Subrange::DeleteList(range);
        DestroySpec(spec);
        ReportInternal(5, __LINE__);
        return nullptr;
    }
    return spec;
}

SymAttr* DeclContext::ArrayLevel(const char* elemName, const Subrange* dim, SymAttr* elem,
                                 DeclPos pos, bool* reported) {
    char* name = ArrayName(elemName, dim->GetLR(), dim->GetUR());
    if (name == nullptr) {
        ReportNoMemory(__LINE__);
        return nullptr;
    }
    SymTab* global = set->GetGlobalTab();
    SymAttr* g = global->lookup(name);
    if (g != nullptr && g->IsDType()) {
        delete[] name;
        return g;
    }
    if (g != nullptr && g->GetKind() != sym::KIND_UNDEFINED) {
        // Generated array names contain brackets, which no declared name can.
        delete[] name;
        ReportInternal(6, __LINE__);
        return nullptr;
    }
    bool inserted = false;
    if (g == nullptr) {
        g = global->insert(name, 0, nullptr);
        inserted = g != nullptr;
    }
    delete[] name;
    if (g == nullptr) {
        ReportNoMemory(__LINE__);
        return nullptr;
    }
    Subrange* copy = new (std::nothrow) Subrange(const_cast<Subrange*>(dim), nullptr);
    short rc = copy != nullptr ? g->DefArrayType(copy, elem) : sym::DEF_NO_MEMORY;
    if (rc != sym::DEF_OK) {
        delete copy;
        if (inserted) {
            global->remove(g);
        }
        if (rc == sym::DEF_NO_MEMORY) {
            ReportNoMemory(__LINE__);
        } else {
            ReportInternal(7, __LINE__);
        }
        return nullptr;
    }
    CheckSize(g, MSG_ARRAY_TOO_LARGE, pos, reported);
    return g;
}

SymAttr* DeclContext::MakeArraySpec(Subrange* dims, SymAttr* elem, DeclPos pos) {
    if (status != 0 || dims == nullptr || elem == nullptr) {
        DestroySpec(elem);
        Subrange::DeleteList(dims);
        return nullptr;
    }
    SymAttr* cur = elem;
    if (OwnsSpec(elem)) {
        cur = NameAnonymousType(elem);
    } else if (!elem->IsDType()) {
        cur = ResolveTypeName(elem, pos);
        if (cur != nullptr && !cur->IsDType()) {
            Report(errmess::SEV_ERROR, MSG_NOT_A_TYPE, pos);
            cur = nullptr;
        }
    }
    if (cur == nullptr) {
        Subrange::DeleteList(dims);
        return nullptr;
    }
    // Dimensions n ... 2 become named global one-dimensional arrays, each
    // over the level inside it.
    bool reported = false;
    for (Subrange* d = Subrange::Last(dims); d != dims; d = d->GetPrev()) {
        cur = ArrayLevel(cur->GetName(), d, cur, pos, &reported);
        if (cur == nullptr) {
            Subrange::DeleteList(dims);
            return nullptr;
        }
    }
    SymAttr* spec = NewAnonymous();
    Subrange* first = spec != nullptr ? new (std::nothrow) Subrange(dims, nullptr) : nullptr;
    Subrange::DeleteList(dims);
    if (spec == nullptr || first == nullptr) {
        if (spec != nullptr) {
            ReportNoMemory(__LINE__);
        }
        DestroySpec(spec);
        return nullptr;
    }
    short rc = spec->DefArrayType(first, cur);
    if (rc != sym::DEF_OK) {
        delete first;
        DestroySpec(spec);
        if (rc == sym::DEF_NO_MEMORY) {
            ReportNoMemory(__LINE__);
        } else {
            ReportInternal(8, __LINE__);
        }
        return nullptr;
    }
    CheckSize(spec, MSG_ARRAY_TOO_LARGE, pos, &reported);
    return spec;
}

SymAttr* DeclContext::NameAnonymousType(SymAttr* spec) {
    if (spec == nullptr || spec->GetName() != nullptr || !OwnsSpec(spec)) {
        return spec;
    }
    char* name = nullptr;
    char buf[64];
    if (spec->IsArray()) {
        SymAttr* elem = spec->IsDerivedFrom();
        const char* elemName = elem != nullptr && elem->GetName() != nullptr ? elem->GetName() : "";
        Subrange* d = spec->GetArraySubr(0);
        name = d != nullptr ? ArrayName(elemName, d->GetLR(), d->GetUR())
                            : Concat(elemName, std::strlen(elemName), "[]", "");
    } else if (spec->IsSubrange()) {
        SymAttr* base = spec->IsDerivedFrom();
        const char* baseName = base != nullptr && base->GetName() != nullptr ? base->GetName() : "";
        Subrange* r = spec->GetSubr();
        std::snprintf(buf, sizeof buf, "(%ld..%ld)",
                      static_cast<long>(r != nullptr ? r->GetLR() : 0),
                      static_cast<long>(r != nullptr ? r->GetUR() : 0));
        name = Concat(baseName, std::strlen(baseName), buf, "");
    } else {
        const char* prefix = spec->IsStruct() ? "STRUCT$" : spec->IsEnum() ? "ENUM$" : "TYPE$";
        ++anonCounter;
        std::snprintf(buf, sizeof buf, "%s%d", prefix, static_cast<int>(anonCounter));
        name = Concat(buf, std::strlen(buf), "", "");
    }
    if (name == nullptr) {
        ReportNoMemory(__LINE__);
        DestroySpec(spec);
        return nullptr;
    }
    SymTab* global = set->GetGlobalTab();
    SymAttr* g = global->lookup(name);
    if (g != nullptr && g->IsDType()) {
        // The generated name is taken: the type of that name stands for the
        // spec.
        delete[] name;
        DestroySpec(spec);
        return g;
    }
    bool inserted = false;
    if (g == nullptr) {
        g = global->insert(name, 0, nullptr);
        inserted = g != nullptr;
    }
    delete[] name;
    if (g == nullptr || g->GetKind() != sym::KIND_UNDEFINED) {
        if (g == nullptr) {
            ReportNoMemory(__LINE__);
        } else {
            ReportInternal(9, __LINE__);
        }
        DestroySpec(spec);
        return nullptr;
    }
    ForgetSpec(spec);
    SymAttr* base = spec;
    short rc = g->DefDerivedType(base);
    if (rc != sym::DEF_OK) {
        if (base != nullptr) {
            specs.insert(base);
            TiMemRegisterMemory(base, const_cast<char*>(kModule), __LINE__);
            DestroySpec(base);
        }
        if (inserted) {
            global->remove(g);
        }
        if (rc == sym::DEF_NO_MEMORY) {
            ReportNoMemory(__LINE__);
        } else {
            ReportInternal(10, __LINE__);
        }
        return nullptr;
    }
    return g;
}

// ============================================================= type names

SymAttr* DeclContext::LookupType(const char* name) {
    SymAttr* rec = set->GetElemTab()->lookup(name);
    if (rec != nullptr && rec->IsDType()) {
        return rec;
    }
    rec = set->GetGlobalTab()->lookup(name);
    if (rec != nullptr && (rec->IsDType() || rec->GetKind() == sym::KIND_POU)) {
        return rec;
    }
    if (library != nullptr) {
        rec = library->FindUnit(name);
        if (rec != nullptr) {
            return rec;
        }
    }
    if (db != nullptr) {
        rec = db->GetFBTemplate(name);
        if (rec != nullptr) {
            std::printf("Template: %s\n", name);
            return rec;
        }
    }
    return nullptr;
}

SymAttr* DeclContext::ResolveTypeName(SymAttr* name, DeclPos pos) {
    if (status != 0 || name == nullptr) {
        return nullptr;
    }
    if (OwnsSpec(name)) {
        return name;
    }
    SymAttr* rec = name;
    if (rec->GetKind() == sym::KIND_KEYWORD) {
        rec = rec->GetKeywordType();
        if (rec == nullptr) {
            Report(errmess::SEV_ERROR, MSG_NOT_A_TYPE, pos);
            return nullptr;
        }
    } else if (rec->GetKind() == sym::KIND_UNDEFINED) {
        const char* n = rec->GetName();
        SymAttr* found = nullptr;
        if (n != nullptr && opts != nullptr && (opts->hostFlags & HOST_DOLLAR_NAMES) != 0) {
            char* dollar = Concat("$", 1, n, "");
            if (dollar == nullptr) {
                ReportNoMemory(__LINE__);
                return nullptr;
            }
            SymAttr* hit = set->GetGlobalTab()->lookup(dollar);
            delete[] dollar;
            if (hit != nullptr && (hit->IsDType() || hit->GetKind() == sym::KIND_POU)) {
                found = hit;
            }
        }
        if (found == nullptr && n != nullptr) {
            found = LookupType(n);
        }
        if (found == nullptr) {
            Report(errmess::SEV_ERROR, MSG_NOT_A_TYPE, pos);
            return nullptr;
        }
        rec = found;
    }
    return CheckResolved(rec, pos);
}

SymAttr* DeclContext::CheckResolved(SymAttr* rec, DeclPos pos) {
    if (rec->IsDType()) {
        if (rec->IsAnyDType()) {
            Report(errmess::SEV_ERROR, MSG_GENERIC_TYPE, pos);
            return nullptr;
        }
        return rec;
    }
    if (rec->GetKind() != sym::KIND_POU) {
        Report(errmess::SEV_ERROR, MSG_NOT_A_TYPE, pos);
        return nullptr;
    }
    bool isFB = rec->GetPOU_Type() == UNIT_FUNCTION_BLOCK;
    if ((sectionFlags & SEC_UNITS) != 0 && !isFB) {
        Report(errmess::SEV_ERROR, MSG_ONLY_FB_AS_TYPE, pos);
        return nullptr;
    }
    unsigned short refused = sectionFlags & SEC_NO_FB_INSTANCE;
    if (refused != 0) {
        char text[kSectionTextMax];
        SectionText(static_cast<unsigned short>(refused & (~refused + 1u)), text, sizeof text);
        Report(errmess::SEV_ERROR, MSG_FB_NOT_HERE, pos, text);
        return nullptr;
    }
    if (sectionFlags == 0) {
        Report(errmess::SEV_ERROR, MSG_FB_OUTSIDE_UNIT, pos,
               rec->GetName() != nullptr ? rec->GetName() : "");
        return nullptr;
    }
    if (!isFB) {
        Report(errmess::SEV_ERROR, MSG_ONLY_FB_AS_TYPE, pos);
        return nullptr;
    }
    return rec;
}

// ===================================================== units and sections

short DeclContext::BeginUnit(SymAttr* name, unsigned char unitType, SymAttr* resultType,
                             DeclPos pos) {
    if (status != 0) {
        DestroySpec(resultType);
        return 1;
    }
    unsigned short bit = unitType;
    if (bit != SEC_FUNCTION && bit != SEC_FUNCTION_BLOCK && bit != SEC_PROGRAM) {
        DestroySpec(resultType);
        ReportInternal(11, __LINE__);
        return MSG_INTERNAL;
    }
    short result = BeginSection(bit, pos);
    SymAttr* result_t = resultType;
    if (OwnsSpec(resultType)) {
        result_t = NameAnonymousType(resultType);
    } else if (resultType != nullptr && !resultType->IsDType()) {
        result_t = ResolveTypeName(resultType, pos);
    }
    if (result_t != nullptr && !result_t->IsDType()) {
        Report(errmess::SEV_ERROR, MSG_NOT_A_TYPE, pos);
        result_t = nullptr;
    }

    SymAttr* record = nullptr;
    const char* unitName = name != nullptr ? name->GetName() : nullptr;
    if (unitName != nullptr) {
        bool taken = false;
        record = RecordIn(set->GetGlobalTab(), name, &taken);
        if (record != nullptr && taken && record->GetKind() != sym::KIND_POU) {
            Report(errmess::SEV_ERROR, MSG_ALREADY_DECLARED, pos, unitName);
            if (result == 0) {
                result = MSG_ALREADY_DECLARED;
            }
            record = nullptr;
        } else if (record != nullptr && record->GetKind() == sym::KIND_POU) {
            // The unit is compiled again: its old scope goes.
            SymTab* old = record->GetScopeTab();
            record->DropScopeTab();
            if (old != nullptr) {
                set->DeleteTab(old);
            }
        }
    }
    SymTab* tab = set->NewUnitTab(symtabset::KIND_UNIT, unitName, symtabset::kScopeBuckets);
    if (tab != nullptr && set->PushScope(tab) != 0) {
        set->DeleteTab(tab);
        tab = nullptr;
    }
    if (tab == nullptr && result == 0) {
        result = MSG_NO_MEMORY;
    }
    if (record != nullptr) {
        record->DefPOU(unitType, tab, nullptr, nullptr, result_t, 0);
        if (library != nullptr && library->AddUnit(record) == sym::DEF_NO_MEMORY) {
            ReportNoMemory(__LINE__);
        }
    }
    if (db != nullptr && unitName != nullptr && db->SetUnit(unitName, unitType) != 0) {
        ReportNoMemory(__LINE__);
    }
    bool nested = !units.empty();
    try {
        units.push_back(Unit{record, tab, bit, nullptr, nullptr, nullptr, nullptr, result_t});
    } catch (const std::bad_alloc&) {
        if (tab != nullptr) {
            set->PopScope();
        }
        sectionFlags &= static_cast<unsigned short>(~bit);
        ReportNoMemory(__LINE__);
        return MSG_NO_MEMORY;
    }
    if (nested) {
        ++nestedDepth;
    }
    firstVar = nullptr;
    return result;
}

short DeclContext::EndUnit() {
    if (units.empty()) {
        return 1;
    }
    // Names still waiting for a type (a syntax error cut their list) go.
    pending.clear();
    Unit u = units.back();
    units.pop_back();
    if (u.record != nullptr) {
        u.record->DefPOU(static_cast<unsigned char>(u.bit), u.table, u.firstIo, u.firstOther,
                         u.resultType, u.record->GetTypeFlags());
    }
    if (u.table != nullptr) {
        set->PopScope();
    }
    if (!units.empty() && nestedDepth > 0) {
        --nestedDepth;
    }
    EndSection(u.bit);
    firstVar = nullptr;
    return 0;
}

short DeclContext::BeginSection(unsigned short flag, DeclPos pos) {
    if (status != 0) {
        return 1;
    }
    short result = 0;
    auto note = [&result](short msg) {
        if (result == 0) {
            result = msg;
        }
    };
    char text[kSectionTextMax];
    char text2[kSectionTextMax];
    const unsigned short unsupported[] = {SEC_VAR_GLOBAL, SEC_VAR_EXTERNAL, SEC_VAR_ACCESS};
    for (unsigned short bit : unsupported) {
        if ((flag & bit) == 0) {
            continue;
        }
        SectionText(bit, text, sizeof text);
        Report(errmess::SEV_ERROR, MSG_NOT_SUPPORTED, pos, text);
        note(MSG_NOT_SUPPORTED);
        // Units that may not hold this kind of section, then any other
        // variable section still open.
        unsigned short clash = 0;
        if (bit == SEC_VAR_GLOBAL) {
            clash = sectionFlags & (SEC_FUNCTION | SEC_FUNCTION_BLOCK);
        } else if (bit == SEC_VAR_EXTERNAL) {
            clash = sectionFlags & SEC_FUNCTION;
        } else {
            clash = sectionFlags & SEC_UNITS;
        }
        if (clash == 0) {
            clash = sectionFlags & SEC_VAR_KINDS;
        }
        if (clash != 0) {
            SectionText(static_cast<unsigned short>(clash & (~clash + 1u)), text2, sizeof text2);
            Report(errmess::SEV_ERROR, MSG_INCOMPATIBLE_SECTIONS, pos, text, text2);
            note(MSG_INCOMPATIBLE_SECTIONS);
        }
    }
    if ((flag & SEC_FUNCTION) != 0) {
        nestingCounter = 0;
    }
    if ((flag & SEC_VAR_INPUT) != 0) {
        ++nestingCounter;
    }
    if ((flag & SEC_VAR) != 0 && (sectionFlags & SEC_FUNCTION) != 0 && nestingCounter == 0) {
        Report(errmess::SEV_WARNING, MSG_VAR_BEFORE_INPUT, pos);
    }
    const unsigned short notInFunction[] = {SEC_VAR_OUTPUT, SEC_VAR_IN_OUT};
    for (unsigned short bit : notInFunction) {
        if ((flag & bit) != 0 && (sectionFlags & SEC_FUNCTION) != 0) {
            SectionText(bit, text, sizeof text);
            SectionText(SEC_FUNCTION, text2, sizeof text2);
            Report(errmess::SEV_ERROR, MSG_INCOMPATIBLE_SECTIONS, pos, text, text2);
            note(MSG_INCOMPATIBLE_SECTIONS);
        }
    }
    sectionFlags |= flag;
    return result;
}

short DeclContext::EndSection(unsigned short flag) {
    sectionFlags &= static_cast<unsigned short>(~flag);
    if ((flag & SEC_UNITS) != 0) {
        nestingCounter = 0;
    }
    return 0;
}

// ============================================================== variables

short DeclContext::DeclareVariable(SymAttr* name, DeclPos pos, SymAttr* address) {
    if (status != 0 || name == nullptr || name->GetName() == nullptr) {
        return 1;
    }
    const char* n = name->GetName();
    SymAttr* existing = set->GetCurrent()->lookup(n);
    bool taken = existing != nullptr && existing->GetKind() != sym::KIND_UNDEFINED;
    for (const Pending& p : pending) {
        taken = taken || TiStricmp(const_cast<char*>(p.name->GetName()), const_cast<char*>(n)) == 0;
    }
    if (taken) {
        Report(errmess::SEV_ERROR, MSG_ALREADY_DECLARED, pos, n);
        return MSG_ALREADY_DECLARED;
    }
    try {
        pending.push_back(Pending{name, address, pos});
    } catch (const std::bad_alloc&) {
        ReportNoMemory(__LINE__);
        return MSG_NO_MEMORY;
    }
    return 0;
}

short DeclContext::MakeVariable(const Pending& p, SymAttr* type, TiInitValSpec* value,
                                SymAttr** made) {
    *made = nullptr;
    SymTab* tab = set->GetCurrent();
    bool taken = false;
    SymAttr* rec = RecordIn(tab, p.name, &taken);
    if (rec == nullptr) {
        return MSG_NO_MEMORY;
    }
    if (taken) {
        Report(errmess::SEV_ERROR, MSG_ALREADY_DECLARED, p.pos, p.name->GetName());
        return MSG_ALREADY_DECLARED;
    }
    Unit* u = units.empty() ? nullptr : &units.back();
    SymAttr* unit = u != nullptr ? u->record : nullptr;
    unsigned short flags = sectionFlags;
    short rc;
    if (type->GetKind() == sym::KIND_POU) {
        rc = rec->DefFBInstance(unit, flags, type, nullptr);
    } else {
        TiLocatedVar* located = nullptr;
        if (p.address != nullptr) {
            located = new (std::nothrow) TiLocatedVar;
            if (located == nullptr) {
                ReportNoMemory(__LINE__);
                tab->remove(rec);
                return MSG_NO_MEMORY;
            }
            located->address = p.address;
            flags |= SEC_AT;
        }
        rc = rec->DefVarAttr(unit, flags, type, 0, located);
        if (rc != sym::DEF_OK) {
            delete located;
        }
    }
    if (rc != sym::DEF_OK) {
        tab->remove(rec);
        ReportInternal(12, __LINE__);
        return MSG_INTERNAL;
    }
    if (db != nullptr) {
        rec->DefID(static_cast<short>(db->NextVarNumber()));
        if ((tab->GetIndexFlags() & (symtab::IDX_ID | symtab::IDX_ID_DUP)) != 0) {
            tab->IndexID(rec);
        }
    }
    // Interface variables and the others form two lists of the unit.
    if (u != nullptr) {
        bool io = (flags & SEC_INTERFACE) != 0;
        SymAttr*& last = io ? u->lastIo : u->lastOther;
        SymAttr*& first = io ? u->firstIo : u->firstOther;
        rec->LinkAfter(last);
        if (first == nullptr) {
            first = rec;
        }
        last = rec;
    } else {
        rec->LinkAfter(lastVar);
        lastVar = rec;
    }
    if (firstVar == nullptr) {
        firstVar = rec;
    }
    if (value != nullptr && rec->GetKind() == sym::KIND_VARIABLE) {
        rec->SetInitVal(value);
    }
    *made = rec;
    return 0;
}

short DeclContext::DeclareVarType(SymAttr* type, TiInitValSpec* value) {
    if (status != 0 || pending.empty() || type == nullptr) {
        pending.clear();
        DestroySpec(type);
        DestroyValue(value);
        return 1;
    }
    DeclPos pos = pending.front().pos;
    SymAttr* t = type;
    if (OwnsSpec(type)) {
        t = NameAnonymousType(type);
    } else if (!type->IsDType() && type->GetKind() != sym::KIND_POU) {
        t = ResolveTypeName(type, pos);
    } else {
        t = CheckResolved(type, pos);
    }
    if (t == nullptr) {
        pending.clear();
        DestroyValue(value);
        return 1;
    }
    short result = 0;
    if (value != nullptr) {
        if (t->GetKind() == sym::KIND_POU) {
            const TextLocation* at = value->GetLocation();
            Report(errmess::SEV_ERROR, initval::MSG_TYPE_MISMATCH, at != nullptr ? *at : pos,
                   t->GetName() != nullptr ? t->GetName() : "");
            result = initval::MSG_TYPE_MISMATCH;
        } else {
            result = value->Check(t, sink);
        }
        if (result != 0) {
            // A value that does not fit its type is not kept.
            DestroyValue(value);
            value = nullptr;
        }
    }
    firstVar = nullptr;
    bool kept = false;
    for (const Pending& p : pending) {
        SymAttr* var = nullptr;
        short rc = MakeVariable(p, t, value, &var);
        if (rc == 0 && value != nullptr) {
            if (library != nullptr && library->KeepInitVal(var, value) == 0) {
                kept = true;
            }
        }
        if (result == 0) {
            result = rc;
        }
    }
    pending.clear();
    if (value != nullptr && !kept) {
        // Nobody to keep it: the variables must not point to it.
        for (SymAttr* v = firstVar; v != nullptr; v = v->GetNext()) {
            if (v->GetInitVal() == value) {
                v->SetInitVal(nullptr);
            }
        }
        DestroyValue(value);
    }
    return result;
}
