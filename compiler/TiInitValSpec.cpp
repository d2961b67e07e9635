// TiInitValSpec: building and destroying initial-value records, their
// canonical text, the check against the declared type with its messages,
// and the binary image.
//
// Canonical text, recursively: a literal's text or a name; a structure list
// "(a := 1, b := 2)"; an array list "[1, 2]"; a repetition "3 (1, 2)"; a
// component assignment the text of its value.
#include "compiler/TiInitValSpec.h"

#include "base/IEC_CONSTANT.h"
#include "base/TiCharUtil.h"
#include "base/TiMemRegister.h"
#include "compiler/ErrMess.h"
#include "compiler/SymAttr.h"
#include "compiler/SymTab.h"

#include <cstring>
#include <new>

using namespace initval;

namespace {

char* Unit() {
    return const_cast<char*>(kModule);
}

// The type of a repetition count after the check.
struct UdintRecord {
    SymAttr rec{"UDINT"};
    UdintRecord() {
        const sym::ElemTypeInfo* info = sym::GetElemTypeInfo(iec::TYPE_UDINT);
        rec.DefElemType(iec::TYPE_UDINT, 4, info != nullptr ? info->defaultLit : "0", true, false,
                        false);
    }
};

SymAttr* UdintType() {
    static UdintRecord udint;
    return &udint.rec;
}

} // namespace

// ================================================================ records

namespace {

// The keyword TRUE or FALSE standing for a BOOL literal: 1 or 0; -1 for any
// other record.
int BoolKeyword(const SymAttr* rec) {
    if (rec == nullptr || rec->GetKind() != sym::KIND_KEYWORD || rec->GetName() == nullptr) {
        return -1;
    }
    if (rec->GetToken() == kTokenTrue ||
        TiStricmp(const_cast<char*>(rec->GetName()), const_cast<char*>("TRUE")) == 0) {
        return 1;
    }
    if (rec->GetToken() == kTokenFalse ||
        TiStricmp(const_cast<char*>(rec->GetName()), const_cast<char*>("FALSE")) == 0) {
        return 0;
    }
    return -1;
}

} // namespace

TiInitValSpec::TiInitValSpec(int32_t k) : kind(k) {}

TiInitValSpec* TiInitValSpec::Make(int32_t k, ErrMess* sink, short noMemory, int line) {
    TiInitValSpec* r = new (std::nothrow) TiInitValSpec(k);
    if (r == nullptr) {
        if (sink != nullptr) {
            if (noMemory == MSG_NO_MEMORY) {
                sink->ReportNoMemory(kModule, line);
            } else {
                sink->Report(errmess::SEV_INTERNAL, noMemory, 0, 0, {kModule, line});
            }
        }
        return nullptr;
    }
    TiMemRegisterMemory(r, Unit(), line);
    return r;
}

void TiInitValSpec::ReleaseToken(TiInitValToken& t, bool ownsRecord) {
    if (t.ownsText != 0) {
        delete[] t.text;
    }
    if (ownsRecord && t.rec != nullptr && t.rec->GetKind() == sym::KIND_CONSTANT) {
        // A literal record of the scanner: registered there, withdrawn here.
        TiMemDeRegisterMemoryFkt(t.rec, Unit(), __LINE__);
        delete t.rec;
    }
    t = TiInitValToken{};
}

TiInitValSpec* TiInitValSpec::MakeLiteral(const TiInitValToken& tok, TextLocation pos,
                                          ErrMess* sink) {
    TiInitValSpec* r = Make(KIND_LITERAL, sink, MSG_NO_MEMORY, __LINE__);
    if (r == nullptr) {
        TiInitValToken t = tok;
        ReleaseToken(t, true);
        return nullptr;
    }
    r->tok = tok;
    r->pos = pos;
    return r;
}

TiInitValSpec* TiInitValSpec::MakeName(SymAttr* sym, const TiInitValToken& tok, TextLocation pos,
                                       ErrMess* sink) {
    TiInitValSpec* r = Make(KIND_NAME, sink, MSG_NO_MEMORY, __LINE__);
    if (r == nullptr) {
        TiInitValToken t = tok;
        ReleaseToken(t, false);
        return nullptr;
    }
    r->tok = tok;
    r->tok.rec = sym;
    r->pos = pos;
    return r;
}

TiInitValSpec* TiInitValSpec::MakeAssign(const TiInitValToken& name, TextLocation pos,
                                         TiInitValSpec* value, ErrMess* sink) {
    TiInitValSpec* r = Make(KIND_ASSIGN, sink, MSG_NO_MEMORY, __LINE__);
    if (r == nullptr) {
        TiInitValToken t = name;
        ReleaseToken(t, false);
        TiDelInitValSpecList(value);
        return nullptr;
    }
    r->loc = name;
    r->pos = pos;
    r->sub = value;
    return r;
}

TiInitValSpec* TiInitValSpec::MakeStructList(TextLocation open, TiInitValSpec* last,
                                             ErrMess* sink) {
    TiInitValSpec* r = Make(KIND_STRUCT, sink, MSG_NO_MEMORY, __LINE__);
    if (r == nullptr) {
        TiDelInitValSpecList(last);
        return nullptr;
    }
    r->pos = open;
    r->sub = last != nullptr ? last->GetFirst() : nullptr;
    return r;
}

TiInitValSpec* TiInitValSpec::MakeArrayList(TextLocation open, TiInitValSpec* last, ErrMess* sink) {
    TiInitValSpec* r = Make(KIND_ARRAY, sink, MSG_NO_MEMORY, __LINE__);
    if (r == nullptr) {
        TiDelInitValSpecList(last);
        return nullptr;
    }
    r->pos = open;
    r->sub = last != nullptr ? last->GetFirst() : nullptr;
    return r;
}

TiInitValSpec* TiInitValSpec::MakeRepetition(const TiInitValToken& count, TextLocation pos,
                                             TiInitValSpec* last, ErrMess* sink) {
    TiInitValSpec* r = Make(KIND_REPEAT, sink, MSG_NO_MEMORY_VALUE, __LINE__);
    if (r == nullptr) {
        TiInitValToken t = count;
        ReleaseToken(t, true);
        TiDelInitValSpecList(last);
        return nullptr;
    }
    r->loc = count;
    r->pos = pos;
    r->sub = last != nullptr ? last->GetFirst() : nullptr;
    return r;
}

TiInitValSpec* TiInitValSpec::Append(TiInitValSpec* list, TiInitValSpec* rec) {
    auto lastOf = [](TiInitValSpec* r) {
        while (r != nullptr && r->next != nullptr) {
            r = r->next;
        }
        return r;
    };
    if (rec == nullptr) {
        return lastOf(list);
    }
    if (list == nullptr) {
        return lastOf(rec);
    }
    TiInitValSpec* tail = lastOf(list);
    TiInitValSpec* head = rec->GetFirst();
    if (head == tail->GetFirst()) {
        // Both already belong to one list: linking would close a cycle.
        return tail;
    }
    tail->next = head;
    head->prev = tail;
    return lastOf(head);
}

TiInitValSpec::~TiInitValSpec() {
    if (prev != nullptr) {
        prev->next = next;
    }
    if (next != nullptr) {
        next->prev = prev;
    }
    prev = nullptr;
    next = nullptr;
    ReleaseToken(tok, kind == KIND_LITERAL);
    ReleaseToken(loc, kind == KIND_REPEAT);
    TiDelInitValSpecList(sub);
    sub = nullptr;
    delete[] binary;
    delete[] text;
    TiMemDeRegisterMemoryFkt(this, Unit(), __LINE__);
}

void TiDelInitValSpecList(TiInitValSpec* spec) {
    TiInitValSpec* r = spec != nullptr ? spec->GetFirst() : nullptr;
    while (r != nullptr) {
        TiInitValSpec* following = r->next;
        delete r;
        r = following;
    }
}

TiInitValSpec* TiInitValSpec::GetFirst() {
    TiInitValSpec* r = this;
    while (r->prev != nullptr) {
        r = r->prev;
    }
    return r;
}

// ================================================================ queries

TiInitValSpec* TiInitValSpec::GetSublist() const {
    switch (kind) {
    case KIND_STRUCT:
    case KIND_ARRAY:
    case KIND_REPEAT:
        return sub;
    case KIND_ASSIGN:
        if (sub != nullptr && (sub->kind == KIND_STRUCT || sub->kind == KIND_ARRAY)) {
            return sub->sub;
        }
        return nullptr;
    default:
        return nullptr;
    }
}

const TextLocation* TiInitValSpec::GetLocation() const {
    if (kind >= KIND_LITERAL && kind <= KIND_REPEAT) {
        return &pos;
    }
    return nullptr;
}

const char* TiInitValSpec::GetLiteral() const {
    switch (kind) {
    case KIND_LITERAL:
        if (tok.text == nullptr && BoolKeyword(tok.rec) >= 0) {
            return tok.rec->GetName();
        }
        return tok.text;
    case KIND_NAME:
        if (tok.rec != nullptr && tok.rec->GetName() != nullptr) {
            return tok.rec->GetName();
        }
        return tok.text;
    case KIND_ASSIGN:
        return sub != nullptr ? sub->GetLiteral() : nullptr;
    case KIND_REPEAT:
        return loc.text;
    default:
        return nullptr;
    }
}

const char* TiInitValSpec::GetCompName() const {
    if (kind != KIND_ASSIGN) {
        return nullptr;
    }
    if (loc.rec != nullptr && loc.rec->GetName() != nullptr) {
        return loc.rec->GetName();
    }
    return loc.text;
}

bool TiInitValSpec::GetRepCount(uint32_t* count) const {
    *count = 0;
    if (kind != KIND_REPEAT) {
        return false;
    }
    if (type != nullptr) {
        // Checked: the count is the UDINT value (no buffer means 0).
        if (binary != nullptr && binLen == sizeof(uint32_t)) {
            std::memcpy(count, binary, sizeof(uint32_t));
        }
        return true;
    }
    IEC_CONSTANT* c = loc.rec != nullptr ? loc.rec->GetConstant() : nullptr;
    if (c == nullptr) {
        return false;
    }
    IEC_CONSTANT copy;
    if (copy.CopyFrom(*c) != 0) {
        return false;
    }
    uint32_t v = 0;
    if (TiConstantToUDINT(copy, &v) != 0) {
        return false;
    }
    *count = v;
    return true;
}

void TiInitValSpec::SetBinary(unsigned char* buf, uint32_t len) {
    delete[] binary;
    binary = buf;
    binLen = buf != nullptr ? len : 0;
}

short TiInitValSpec::Negate() {
    if (kind != KIND_LITERAL || tok.rec == nullptr || tok.rec->GetConstant() == nullptr) {
        return MSG_MINUS_IGNORED;
    }
    IEC_CONSTANT* c = tok.rec->GetConstant();
    bool integer = c->IsInteger();
    bool real = (c->flags & iec::CONST_REAL) != 0;
    if (!integer && !real) {
        return MSG_MINUS_IGNORED;
    }
    // The text first: when it cannot be made, nothing has changed.
    const char* old = tok.text != nullptr ? tok.text : "";
    size_t len = std::strlen(old);
    char* neg = new (std::nothrow) char[len + 2];
    if (neg == nullptr) {
        return MSG_NO_MEMORY;
    }
    neg[0] = '-';
    std::memcpy(neg + 1, old, len + 1);
    if (tok.ownsText != 0) {
        delete[] tok.text;
    }
    tok.text = neg;
    tok.ownsText = 1;
    delete[] text;
    text = nullptr;
    if (integer) {
        c->value.digit.Negate();
        if (c->typeId == iec::UNTYPED_INT && c->value.digit.IsNegative()) {
            c->typeId = iec::UNTYPED_SIGNED;
        } else if (c->typeId == iec::UNTYPED_SIGNED && !c->value.digit.IsNegative()) {
            c->typeId = iec::UNTYPED_INT;
        }
    } else {
        c->value.dbl = -c->value.dbl;
    }
    c->flags ^= iec::CONST_NEGATIVE;
    return 0;
}

// ========================================================= canonical text

namespace {

// Appends to an output that may be null (measuring only).
struct TextOut {
    char* out;
    size_t len = 0;
    void Put(const char* s) {
        size_t n = std::strlen(s);
        if (out != nullptr) {
            std::memcpy(out + len, s, n);
        }
        len += n;
    }
};

// Writes the text of `r` (its list elements included); false when a literal
// or component name is missing.
bool Text(const TiInitValSpec* r, TextOut& o);

bool ListText(const TiInitValSpec* first, TextOut& o, bool names) {
    for (const TiInitValSpec* e = first; e != nullptr; e = e->GetNext()) {
        if (e != first) {
            o.Put(", ");
        }
        if (names && e->GetKind() == KIND_ASSIGN) {
            const char* n = e->GetCompName();
            if (n == nullptr) {
                return false;
            }
            o.Put(n);
            o.Put(" := ");
        }
        if (!Text(e, o)) {
            return false;
        }
    }
    return true;
}

bool Text(const TiInitValSpec* r, TextOut& o) {
    switch (r->GetKind()) {
    case KIND_LITERAL:
    case KIND_NAME: {
        const char* s = r->GetLiteral();
        if (s == nullptr) {
            return false;
        }
        o.Put(s);
        return true;
    }
    case KIND_ASSIGN:
        return r->GetValue() != nullptr && Text(r->GetValue(), o);
    case KIND_STRUCT:
        o.Put("(");
        if (!ListText(r->GetSublist(), o, true)) {
            return false;
        }
        o.Put(")");
        return true;
    case KIND_ARRAY:
        o.Put("[");
        if (!ListText(r->GetSublist(), o, true)) {
            return false;
        }
        o.Put("]");
        return true;
    case KIND_REPEAT: {
        const char* n = r->GetLiteral();
        if (n == nullptr) {
            return false;
        }
        o.Put(n);
        o.Put(" (");
        if (!ListText(r->GetSublist(), o, true)) {
            return false;
        }
        o.Put(")");
        return true;
    }
    default:
        return false;
    }
}

} // namespace

size_t TiInitValSpec::MeasureText() const {
    TextOut o{nullptr};
    return Text(this, o) ? o.len + 1 : 0;
}

size_t TiInitValSpec::WriteText(char* out) const {
    TextOut o{out};
    Text(this, o);
    out[o.len] = '\0';
    return o.len;
}

const char* TiInitValSpec::GetAsciiSpec() {
    if (text != nullptr) {
        return text;
    }
    // Measured first, then written into a buffer of exactly that size.
    size_t need = MeasureText();
    if (need == 0) {
        return nullptr;
    }
    text = new (std::nothrow) char[need];
    if (text != nullptr) {
        WriteText(text);
    }
    return text;
}

// ================================================================= check

namespace {

// The name of a type for messages: its own, or that of the nearest named
// type it derives from.
const char* TypeName(const SymAttr* t) {
    for (int hops = 0; t != nullptr && hops < sym::kMaxTypeChain; ++hops) {
        if (t->GetName() != nullptr) {
            return t->GetName();
        }
        t = t->IsDerivedFrom();
    }
    return "";
}

bool NonZero(const unsigned char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (p[i] != 0) {
            return true;
        }
    }
    return false;
}

} // namespace

/// Reads an elementary value of type `id` at p as a number for a subrange
/// comparison, by the signedness of the type; false for types that are no
/// numbers.
bool TiInitValReadNumber(short id, const void* p, double* out);

bool TiInitValReadNumber(short id, const void* p, double* out) {
    switch (id) {
    case iec::TYPE_SINT: {
        signed char v;
        std::memcpy(&v, p, 1);
        *out = v;
        return true;
    }
    case iec::TYPE_USINT:
    case iec::TYPE_BYTE:
    case iec::TYPE_BOOL: {
        unsigned char v;
        std::memcpy(&v, p, 1);
        *out = v;
        return true;
    }
    case iec::TYPE_INT: {
        int16_t v;
        std::memcpy(&v, p, 2);
        *out = v;
        return true;
    }
    case iec::TYPE_UINT:
    case iec::TYPE_WORD: {
        uint16_t v;
        std::memcpy(&v, p, 2);
        *out = v;
        return true;
    }
    case iec::TYPE_DINT: {
        int32_t v;
        std::memcpy(&v, p, 4);
        *out = v;
        return true;
    }
    case iec::TYPE_UDINT:
    case iec::TYPE_DWORD: {
        uint32_t v;
        std::memcpy(&v, p, 4);
        *out = v;
        return true;
    }
    case iec::TYPE_LINT:
    case iec::TYPE_ULINT:
    case iec::TYPE_LREAL: {
        double v;
        std::memcpy(&v, p, 8);
        *out = v;
        return true;
    }
    case iec::TYPE_REAL: {
        float v;
        std::memcpy(&v, p, 4);
        *out = v;
        return true;
    }
    default:
        return false;
    }
}

/// The check of an initial value against a data type.
class TiInitValChecker {
public:
    explicit TiInitValChecker(ErrMess* s) : sink(s) {}

    short Check(TiInitValSpec* r, SymAttr* t) {
        if (t == nullptr || !t->IsDType()) {
            return Mismatch(r, t, r->kind);
        }
        switch (r->kind) {
        case KIND_LITERAL:
            return Literal(r, t);
        case KIND_NAME:
            return Name(r, t);
        case KIND_ASSIGN:
            r->type = t;
            return r->sub != nullptr ? Check(r->sub, t) : Mismatch(r, t, r->kind);
        case KIND_STRUCT:
            return Struct(r, t);
        case KIND_ARRAY:
            return Array(r, t);
        default:
            return Mismatch(r, t, r->kind);
        }
    }

private:
    void Report(int32_t severity, short number, const TiInitValSpec* r,
                std::initializer_list<ErrArg> args = {}) {
        if (sink != nullptr) {
            sink->Report(severity, number, r->pos.row, r->pos.col, args);
        }
    }

    // Type mismatch, by what the type is and what the value is.
    short Mismatch(const TiInitValSpec* r, const SymAttr* t, int32_t valueKind) {
        const char* n = TypeName(t);
        if (t != nullptr && t->IsArray()) {
            if (valueKind == KIND_ARRAY) {
                Report(errmess::SEV_ERROR, MSG_ARRAY_MISMATCH, r, {n});
                return MSG_ARRAY_MISMATCH;
            }
            Report(errmess::SEV_ERROR, MSG_EXPECTED, r, {"["});
            return MSG_EXPECTED;
        }
        if (t != nullptr && t->IsStruct()) {
            if (valueKind == KIND_STRUCT) {
                Report(errmess::SEV_ERROR, MSG_STRUCT_MISMATCH, r, {n});
                return MSG_STRUCT_MISMATCH;
            }
            Report(errmess::SEV_ERROR, MSG_EXPECTED, r, {"("});
            return MSG_EXPECTED;
        }
        if (t != nullptr && t->IsEnum()) {
            Report(errmess::SEV_ERROR, MSG_ENUM_MISMATCH, r, {n});
            return MSG_ENUM_MISMATCH;
        }
        Report(errmess::SEV_ERROR, MSG_TYPE_MISMATCH, r, {n});
        return MSG_TYPE_MISMATCH;
    }

    // Converts the constant into the elementary type `id`; the value goes
    // to out (big enough for 8 bytes, or takes a string copy in *str).
    static short Convert(IEC_CONSTANT& c, short id, unsigned char* out, char** str) {
        switch (id) {
        case iec::TYPE_BOOL:
            return TiConstantToBOOL(c, out);
        case iec::TYPE_BYTE:
            return TiConstantToBYTE(c, out);
        case iec::TYPE_WORD:
            return Via<unsigned short>(c, out, TiConstantToWORD);
        case iec::TYPE_DWORD:
            return Via<uint32_t>(c, out, TiConstantToDWORD);
        case iec::TYPE_SINT:
            return Via<signed char>(c, out, TiConstantToSINT);
        case iec::TYPE_INT:
            return Via<short>(c, out, TiConstantToINT);
        case iec::TYPE_DINT:
            return Via<int32_t>(c, out, TiConstantToDINT);
        case iec::TYPE_LINT:
            return Via<double>(c, out, TiConstantToLINT);
        case iec::TYPE_USINT:
            return TiConstantToUSINT(c, out);
        case iec::TYPE_UINT:
            return Via<unsigned short>(c, out, TiConstantToUINT);
        case iec::TYPE_UDINT:
            return Via<uint32_t>(c, out, TiConstantToUDINT);
        case iec::TYPE_ULINT:
            return Via<double>(c, out, TiConstantToULINT);
        case iec::TYPE_REAL:
            return Via<float>(c, out, TiConstantToREAL);
        case iec::TYPE_LREAL:
            return Via<double>(c, out, TiConstantToLREAL);
        case iec::TYPE_TIME:
            return Via<uint32_t>(c, out, TiConstantToTIME);
        case iec::TYPE_DATE:
            return Via<unsigned short>(c, out, TiConstantToDATE);
        case iec::TYPE_TIME_OF_DAY:
            return Via<uint32_t>(c, out, TiConstantToTOD);
        case iec::TYPE_DATE_AND_TIME:
            return Via<IEC_DT>(c, out, TiConstantToDT);
        case iec::TYPE_STRING:
            return TiConstantToSTRING(c, str);
        default:
            // LWORD, the generic types and the special types take no literal.
            return MSG_TYPE_MISMATCH;
        }
    }

    template <typename T>
    static short Via(IEC_CONSTANT& c, unsigned char* out, short (*fn)(IEC_CONSTANT&, T*)) {
        T v{};
        short rc = fn(c, &v);
        std::memcpy(out, &v, sizeof v);
        return rc;
    }

    short Literal(TiInitValSpec* r, SymAttr* t) {
        if (t->IsArray() || t->IsStruct() || t->IsEnum()) {
            return Mismatch(r, t, r->kind);
        }
        // A subrange is checked as its base type, then against its range.
        SymAttr* base = t;
        Subrange* range = nullptr;
        for (int hops = 0; base != nullptr && base->IsSubrange() && hops < sym::kMaxTypeChain;
             ++hops) {
            if (range == nullptr) {
                range = base->GetSubr();
            }
            base = base->IsDerivedFrom();
        }
        SymAttr* elem = base != nullptr ? base->GetElemType(0) : nullptr;
        short id = elem != nullptr ? elem->GetID() : 0;
        IEC_CONSTANT* c = r->tok.rec != nullptr ? r->tok.rec->GetConstant() : nullptr;
        IEC_CONSTANT boolean;
        int b = BoolKeyword(r->tok.rec);
        if (c == nullptr && b >= 0) {
            boolean.flags = iec::CONST_BOOL;
            boolean.typeId = iec::TYPE_BOOL;
            boolean.value.digit.Set(b);
            c = &boolean;
        }
        if (elem == nullptr || !sym::IsElementaryId(id) || c == nullptr) {
            return Mismatch(r, t, r->kind);
        }
        r->type = elem;
        // The conversion works on a copy: converting a string constant to
        // another type would give up the record's text.
        IEC_CONSTANT copy;
        if (copy.CopyFrom(*c) != 0) {
            if (sink != nullptr) {
                sink->ReportNoMemory(kModule, __LINE__);
            }
            return MSG_NO_MEMORY;
        }
        unsigned char value[8] = {};
        char* str = nullptr;
        short rc = Convert(copy, id, value, &str);
        if (rc == MSG_OUT_OF_RANGE) {
            Report(errmess::SEV_ERROR, MSG_OUT_OF_RANGE, r);
            return rc;
        }
        if (rc != 0) {
            Mismatch(r, t, r->kind);
            return rc;
        }
        if (range != nullptr) {
            double v = 0;
            if (!TiInitValReadNumber(id, value, &v) || v < range->GetLR() || v > range->GetUR()) {
                Report(errmess::SEV_ERROR, MSG_OUT_OF_RANGE, r);
                return MSG_OUT_OF_RANGE;
            }
        }
        if (id == iec::TYPE_STRING) {
            // A string keeps its text and terminating zero, even when empty:
            // its image is the text.
            const char* s = str != nullptr ? str : "";
            size_t n = std::strlen(s) + 1;
            unsigned char* buf = new (std::nothrow) unsigned char[n];
            if (buf == nullptr) {
                if (sink != nullptr) {
                    sink->ReportNoMemory(kModule, __LINE__);
                }
                return MSG_NO_MEMORY;
            }
            std::memcpy(buf, s, n);
            r->SetBinary(buf, static_cast<uint32_t>(n));
            return 0;
        }
        return Keep(r, value, elem->GetMemsize(0));
    }

    // Keeps a converted value that is not zero (a zero image needs no buffer).
    short Keep(TiInitValSpec* r, const unsigned char* value, uint32_t size) {
        if (size > 8) {
            size = 8;
        }
        if (!NonZero(value, size)) {
            r->SetBinary(nullptr, 0);
            return 0;
        }
        unsigned char* buf = new (std::nothrow) unsigned char[size];
        if (buf == nullptr) {
            if (sink != nullptr) {
                sink->ReportNoMemory(kModule, __LINE__);
            }
            return MSG_NO_MEMORY;
        }
        std::memcpy(buf, value, size);
        r->SetBinary(buf, size);
        return 0;
    }

    short Name(TiInitValSpec* r, SymAttr* t) {
        if (t->IsArray() || t->IsStruct()) {
            return Mismatch(r, t, r->kind);
        }
        const char* n = r->GetLiteral();
        if (n == nullptr) {
            return Mismatch(r, t, r->kind);
        }
        if (t->IsEnum()) {
            SymTab* values = t->GetScopeTab();
            SymAttr* v = values != nullptr ? values->lookup(n) : nullptr;
            short value = 0;
            if (v == nullptr || v->GetKind() != sym::KIND_ENUM_VALUE || v->GetEnumVal(value) != 0) {
                Report(errmess::SEV_ERROR, MSG_NO_COMPONENT, r, {TypeName(t), n});
                return MSG_NO_COMPONENT;
            }
            r->type = t;
            unsigned char bytes[2];
            std::memcpy(bytes, &value, 2);
            return Keep(r, bytes, 2);
        }
        // Other types reach no enumerators of their own: the name is no value
        // of theirs.
        for (SymAttr* v = t->GetEnumCompEntry(); v != nullptr; v = v->GetNext()) {
            if (v->GetName() != nullptr &&
                TiStricmp(const_cast<char*>(v->GetName()), const_cast<char*>(n)) == 0) {
                short value = 0;
                v->GetEnumVal(value);
                r->type = t;
                unsigned char bytes[2];
                std::memcpy(bytes, &value, 2);
                return Keep(r, bytes, 2);
            }
        }
        Report(errmess::SEV_ERROR, MSG_NOT_A_VALUE, r, {n});
        return MSG_NOT_A_VALUE;
    }

    short Struct(TiInitValSpec* r, SymAttr* t) {
        if (!t->IsStruct()) {
            return Mismatch(r, t, r->kind);
        }
        r->type = t;
        short first = 0;
        auto note = [&first](short rc) {
            if (first == 0 && rc != 0) {
                first = rc;
            }
        };
        for (TiInitValSpec* e = r->sub; e != nullptr; e = e->next) {
            if (e->kind != KIND_ASSIGN) {
                Report(errmess::SEV_ERROR, MSG_STRUCT_MISMATCH, e, {TypeName(t)});
                note(MSG_STRUCT_MISMATCH);
                continue;
            }
            const char* n = e->GetCompName();
            SymAttr* comp = nullptr;
            for (SymAttr* c = t->GetStructCompEntry(); c != nullptr && n != nullptr;
                 c = c->GetNext()) {
                if (c->GetName() != nullptr &&
                    TiStricmp(const_cast<char*>(c->GetName()), const_cast<char*>(n)) == 0) {
                    comp = c;
                    break;
                }
            }
            if (comp == nullptr) {
                Report(errmess::SEV_ERROR, MSG_NO_COMPONENT, e,
                       {TypeName(t), n != nullptr ? n : ""});
                note(MSG_NO_COMPONENT);
                continue;
            }
            bool twice = false;
            for (TiInitValSpec* p = r->sub; p != e && !twice; p = p->next) {
                const char* pn = p->GetCompName();
                twice = p->kind == KIND_ASSIGN && pn != nullptr &&
                        TiStricmp(const_cast<char*>(pn), const_cast<char*>(n)) == 0;
            }
            if (twice) {
                Report(errmess::SEV_ERROR, MSG_ALREADY_DECLARED, e, {n});
                note(MSG_ALREADY_DECLARED);
                continue;
            }
            note(Check(e, comp->GetDType(0)));
        }
        return first;
    }

    short Array(TiInitValSpec* r, SymAttr* t) {
        if (!t->IsArray()) {
            return Mismatch(r, t, r->kind);
        }
        r->type = t;
        unsigned short dims = t->GetArrayDimension();
        SymAttr* elem = t->GetDType(dims);
        if (elem == nullptr) {
            elem = t->GetDType(1);
        }
        if (elem == nullptr) {
            return Mismatch(r, t, r->kind);
        }
        uint64_t offset = 0;
        bool stop = false;
        return List(r->sub, t, elem, &offset, &stop);
    }

    // One array list (or a repetition's list as part of it) with a running
    // offset into the array `t` whose innermost element type is `elem`.
    short List(TiInitValSpec* first, SymAttr* t, SymAttr* elem, uint64_t* offset, bool* stop) {
        const uint64_t size = t->GetMemsize(0);
        short result = 0;
        auto note = [&result](short rc) {
            if (result == 0 && rc != 0) {
                result = rc;
            }
        };
        auto beyond = [&](TiInitValSpec* e) {
            if (*offset > size) {
                Report(errmess::SEV_ERROR, MSG_TOO_MANY, e);
                note(MSG_TOO_MANY);
                *stop = true;
            }
        };
        for (TiInitValSpec* e = first; e != nullptr && !*stop; e = e->next) {
            if (e->kind == KIND_REPEAT) {
                uint32_t count = 0;
                short rc = Count(e, &count);
                if (rc != 0) {
                    note(rc);
                    continue;
                }
                if (count == 0) {
                    Report(errmess::SEV_ERROR, MSG_REPEAT_ZERO, e);
                    note(MSG_REPEAT_ZERO);
                    continue;
                }
                if (count == 1) {
                    Report(errmess::SEV_WARNING, MSG_REPEAT_ONE, e);
                }
                uint64_t start = *offset;
                note(List(e->sub, t, elem, offset, stop));
                if (*stop) {
                    break;
                }
                *offset = start + (*offset - start) * count;
                beyond(e);
            } else if (e->kind == KIND_ARRAY) {
                // A nested list covers the sub-array that starts here.
                SymAttr* part = nullptr;
                for (unsigned short d = 1; d < t->GetArrayDimension() && part == nullptr; ++d) {
                    SymAttr* s = t->GetDType(d);
                    uint32_t ssize = s != nullptr ? s->GetMemsize(0) : 0;
                    if (s != nullptr && s->IsArray() && ssize > 0 && *offset % ssize == 0) {
                        part = s;
                    }
                }
                if (part == nullptr) {
                    note(Mismatch(e, t, e->kind));
                    continue;
                }
                note(Check(e, part));
                *offset += part->GetMemsize(0);
                beyond(e);
            } else {
                note(Check(e, elem));
                *offset += elem->GetMemsize(0);
                beyond(e);
            }
        }
        return result;
    }

    // The count of a repetition as UDINT; the record's type becomes UDINT.
    short Count(TiInitValSpec* e, uint32_t* count) {
        *count = 0;
        IEC_CONSTANT* c = e->loc.rec != nullptr ? e->loc.rec->GetConstant() : nullptr;
        SymAttr* udint = UdintType();
        if (c == nullptr) {
            return Mismatch(e, udint, KIND_LITERAL);
        }
        IEC_CONSTANT copy;
        if (copy.CopyFrom(*c) != 0) {
            if (sink != nullptr) {
                sink->ReportNoMemory(kModule, __LINE__);
            }
            return MSG_NO_MEMORY;
        }
        short rc = TiConstantToUDINT(copy, count);
        if (rc == MSG_OUT_OF_RANGE) {
            Report(errmess::SEV_ERROR, MSG_OUT_OF_RANGE, e);
            return rc;
        }
        if (rc != 0) {
            Mismatch(e, udint, KIND_LITERAL);
            return rc;
        }
        e->type = udint;
        unsigned char bytes[4];
        std::memcpy(bytes, count, 4);
        return Keep(e, bytes, 4);
    }

    ErrMess* sink;
};

short TiInitValSpec::Check(SymAttr* t, ErrMess* sink) {
    TiInitValChecker checker(sink);
    return checker.Check(this, t);
}

// ================================================================= image

/// Lays out the binary image of a checked value. A first pass without
/// buffer measures how far the image reaches; the second writes it.
class TiInitValImage {
public:
    TiInitValImage(unsigned char* b, uint32_t c) : buf(b), cap(c) {}

    // Writes `r` at `off`; *covered receives the bytes it covers. A value
    // that stands alone (not inside a list) and whose type has no size (a
    // string) covers its whole converted value.
    short Write(const TiInitValSpec* r, uint64_t off, uint64_t* covered, bool standalone) {
        *covered = 0;
        switch (r->kind) {
        case KIND_LITERAL:
        case KIND_NAME: {
            if (r->type == nullptr) {
                return BIN_NO_TYPE;
            }
            uint64_t slot = r->type->GetMemsize(0);
            uint64_t n = r->binLen;
            if (slot == 0 && standalone) {
                slot = n;
            }
            if (n > slot) {
                n = slot;
            }
            Put(off, r->binary, n);
            *covered = slot;
            return BIN_OK;
        }
        case KIND_ASSIGN:
            if (r->sub == nullptr) {
                return BIN_NO_VALUE;
            }
            return Write(r->sub, off, covered, standalone);
        case KIND_STRUCT: {
            if (r->type == nullptr) {
                return BIN_NO_TYPE;
            }
            uint64_t at = off;
            for (SymAttr* c = r->type->GetStructCompEntry(); c != nullptr; c = c->GetNext()) {
                const TiInitValSpec* a = Assignment(r, c);
                if (a != nullptr) {
                    uint64_t dummy = 0;
                    short rc = Write(a, at, &dummy, false);
                    if (rc != BIN_OK) {
                        return rc;
                    }
                }
                at += c->GetMemsize(0);
            }
            Reach(off + r->type->GetMemsize(0));
            *covered = r->type->GetMemsize(0);
            return BIN_OK;
        }
        case KIND_ARRAY: {
            if (r->type == nullptr) {
                return BIN_NO_TYPE;
            }
            uint64_t at = off;
            for (const TiInitValSpec* e = r->sub; e != nullptr; e = e->next) {
                uint64_t c = 0;
                short rc = Write(e, at, &c, false);
                if (rc != BIN_OK) {
                    return rc;
                }
                at += c;
            }
            // Inside a list a nested list fills the sub-array it stands for,
            // as the check counted it; standing alone it covers what it wrote.
            *covered = at - off;
            uint64_t slot = r->type->GetMemsize(0);
            if (!standalone && slot > *covered) {
                Reach(off + slot);
                *covered = slot;
            }
            return BIN_OK;
        }
        case KIND_REPEAT: {
            uint32_t count = 0;
            r->GetRepCount(&count);
            uint64_t at = off;
            for (const TiInitValSpec* e = r->sub; e != nullptr; e = e->next) {
                uint64_t c = 0;
                short rc = Write(e, at, &c, false);
                if (rc != BIN_OK) {
                    return rc;
                }
                at += c;
            }
            uint64_t part = at - off;
            if (count == 0) {
                // Nothing is covered; what the list wrote is taken back.
                Clear(off, part);
                return BIN_OK;
            }
            for (uint32_t i = 1; i < count && part > 0; ++i) {
                Copy(off + i * part, off, part);
            }
            *covered = part * count;
            return BIN_OK;
        }
        default:
            return BIN_NO_TYPE;
        }
    }

    uint64_t Extent() const { return extent; }

private:
    static const TiInitValSpec* Assignment(const TiInitValSpec* list, const SymAttr* comp) {
        for (const TiInitValSpec* e = list->sub; e != nullptr; e = e->next) {
            const char* n = e->GetCompName();
            if (e->kind == KIND_ASSIGN && n != nullptr && comp->GetName() != nullptr &&
                TiStricmp(const_cast<char*>(n), const_cast<char*>(comp->GetName())) == 0) {
                return e;
            }
        }
        return nullptr;
    }

    void Reach(uint64_t end) {
        if (end > extent) {
            extent = end;
        }
    }
    void Put(uint64_t off, const unsigned char* src, uint64_t n) {
        Reach(off + n);
        if (buf != nullptr && src != nullptr && n > 0 && off + n <= cap) {
            std::memcpy(buf + off, src, n);
        }
    }
    void Clear(uint64_t off, uint64_t n) {
        if (buf != nullptr && n > 0 && off + n <= cap) {
            std::memset(buf + off, 0, n);
        }
    }
    void Copy(uint64_t to, uint64_t from, uint64_t n) {
        Reach(to + n);
        if (buf != nullptr && to + n <= cap) {
            std::memmove(buf + to, buf + from, n);
        }
    }

    unsigned char* buf; // null: measure only
    uint64_t cap;
    uint64_t extent = 0;
};

short TiInitValSpec::GetBinVal(char* buf, unsigned short* len) {
    if (buf == nullptr || len == nullptr) {
        return BIN_TOO_SMALL;
    }
    const uint32_t cap = *len;
    if (type == nullptr) {
        return BIN_NO_TYPE;
    }
    const uint64_t size = type->GetMemsize(0);
    // Measure: the image must fit both the buffer and a 16-bit length.
    TiInitValImage measure(nullptr, 0);
    uint64_t covered = 0;
    short rc = measure.Write(this, 0, &covered, true);
    if (rc != BIN_OK) {
        return rc;
    }
    uint64_t need = measure.Extent();
    if (size > need) {
        need = size;
    }
    if (covered > need) {
        need = covered;
    }
    if (need > 0xFFFFu || need > cap) {
        *len = static_cast<unsigned short>(need > 0xFFFFu ? 0xFFFFu : need);
        return BIN_TOO_SMALL;
    }
    std::memset(buf, 0, static_cast<size_t>(need));
    TiInitValImage image(reinterpret_cast<unsigned char*>(buf), cap);
    rc = image.Write(this, 0, &covered, true);
    if (rc != BIN_OK) {
        return rc;
    }
    *len = static_cast<unsigned short>(covered);
    return BIN_OK;
}
