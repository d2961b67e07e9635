// TiTypeGenerator: collecting the visible user-defined types of a table in
// declaration order, the line buffer, and the C declaration of each kind of
// type and structure component.
#include "compiler/TiTypeGenerator.h"

#include "compiler/IOBase.h"
#include "compiler/SymAttr.h"
#include "compiler/SymTab.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <new>

using namespace typegen;

namespace {

// The exact formats of the declarations.
const char* const kTypedef = "typedef";
const char* const kStruct = "struct";
const char* const kEnum = "enum";
const char* const kPtrConv = "FB_PTR_CONV * PTR_";

/// Components and element links followed before a malformed type is given
/// up (a declared type has far fewer).
constexpr int kMaxWalk = 65536;

struct ElemName {
    short id;
    const char* name;
};

const ElemName kElemNames[] = {
    {-1, "BOOL"},  {-2, "BYTE"},   {-3, "WORD"},  {-11, "INT"},  {-15, "UINT"},
    {-12, "DINT"}, {-16, "UDINT"}, {-18, "REAL"}, {-20, "TIME"},
};

/// A type's name cut to 32 characters (into buf).
const char* CutName(const char* name, char (&buf)[kMaxTypeName + 1]) {
    if (name == nullptr) {
        name = "";
    }
    size_t n = std::strlen(name);
    if (n > kMaxTypeName) {
        n = kMaxTypeName;
    }
    std::memcpy(buf, name, n);
    buf[n] = '\0';
    return buf;
}

/// The C name of a type: the elementary name for an elementary type, else
/// its own name cut to 32 characters.
const char* CName(const SymAttr* t, char (&buf)[kMaxTypeName + 1]) {
    if (t == nullptr) {
        return "*****";
    }
    if (t->GetID() < 0) {
        return ElemCName(t->GetID());
    }
    return CutName(t->GetName(), buf);
}

/// The element of an array type as declarations name it: from `start`
/// along the element links to the first visible type (`start` itself is
/// looked at unless skipSelf). `stripped` receives the number of
/// dimensions left behind on the way: the first `stripped` dimensions of
/// start's list.
const SymAttr* ArrayElement(const SymAttr* start, bool skipSelf, unsigned& stripped) {
    stripped = 0;
    const SymAttr* cur = start;
    if (!skipSelf && cur->IsVisibleDType()) {
        return cur;
    }
    for (int walked = 0; walked < kMaxWalk; ++walked) {
        const SymAttr* next = cur->IsDerivedFrom();
        if (next == nullptr || !next->IsDType()) {
            return cur;
        }
        unsigned d = cur->IsArray() ? cur->GetArrayDimension() : 0;
        unsigned nd = next->IsArray() ? next->GetArrayDimension() : 0;
        if (d > nd) {
            stripped += d - nd;
        }
        if (next->IsVisibleDType()) {
            return next;
        }
        cur = next;
    }
    return cur;
}

bool Generated(const SymAttr* r) {
    if (r == nullptr || !r->IsDType() || !r->IsVisibleDType() || r->GetName() == nullptr) {
        return false;
    }
    // Structures, arrays, enumerations, subranges, and any type derived
    // from another; an elementary type itself is not declared.
    return r->GetTypeClass() != sym::CLASS_ELEMENTARY || r->IsDerivedFrom() != nullptr;
}

} // namespace

const char* typegen::ElemCName(short id) {
    for (const ElemName& e : kElemNames) {
        if (e.id == id) {
            return e.name;
        }
    }
    return "*****";
}

TiTypeGenerator::TiTypeGenerator(SymTab* t, IOBase* o) : table(t), out(o) {
    line[0] = '\0';
}

TiTypeGenerator::~TiTypeGenerator() {
    delete[] types;
}

// ------------------------------------------------------------ output

void TiTypeGenerator::WriteLine(const char* text) {
    if (status != ST_OK) {
        return;
    }
    if (out != nullptr) {
        if (out->PutLine(text) == 0) {
            status = ST_OUTPUT;
        }
        return;
    }
    if (std::fputs(text, stdout) < 0 || std::fputc('\n', stdout) == EOF) {
        status = ST_OUTPUT;
    }
}

void TiTypeGenerator::Flush() {
    if (lineLen > 0) {
        line[lineLen] = '\0';
        WriteLine(line);
        lineLen = 0;
        line[0] = '\0';
    }
}

void TiTypeGenerator::Append(const char* piece) {
    if (status != ST_OK) {
        return;
    }
    size_t n = std::strlen(piece);
    size_t lead = lineLen == 0 ? static_cast<size_t>(indent) : 0;
    if (lineLen > 0 && lineLen + n > kLineBuffer) {
        // The buffer goes out first; the piece then starts a line.
        Flush();
        lead = static_cast<size_t>(indent);
    }
    for (size_t i = 0; i < lead && lineLen < kLineBuffer; ++i) {
        line[lineLen++] = ' ';
    }
    size_t room = kLineBuffer - lineLen;
    if (n > room) {
        n = room;
    }
    std::memcpy(line + lineLen, piece, n);
    lineLen += n;
    line[lineLen] = '\0';
    if (lineLen > 0 && line[lineLen - 1] == '\n') {
        line[--lineLen] = '\0';
        WriteLine(line);
        lineLen = 0;
        line[0] = '\0';
    }
}

void TiTypeGenerator::Put(const char* fmt, ...) {
    if (status != ST_OK) {
        return;
    }
    char piece[kLineBuffer + 1];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(piece, sizeof piece, fmt, ap);
    va_end(ap);
    Append(piece);
}

// ------------------------------------------------------------ collecting

bool TiTypeGenerator::Collect() {
    delete[] types;
    types = nullptr;
    count = 0;
    size_t n = 0;
    for (SymAttr* r = table->FindFirstEntry(); r != nullptr; r = table->FindNextEntry(r)) {
        if (Generated(r)) {
            ++n;
        }
    }
    if (n == 0) {
        return true;
    }
    types = new (std::nothrow) SymAttr*[n];
    if (types == nullptr) {
        return false;
    }
    for (SymAttr* r = table->FindFirstEntry(); r != nullptr && count < n;
         r = table->FindNextEntry(r)) {
        if (Generated(r)) {
            types[count++] = r;
        }
    }
    // Declaration order; equal numbers keep the walking order.
    std::stable_sort(types, types + count, [](const SymAttr* a, const SymAttr* b) {
        return a->GetSeqNo() < b->GetSeqNo();
    });
    return true;
}

int TiTypeGenerator::GenerateAll_C_Types(IOBase* names, SymTab* t, IOBase* o) {
    if (t != nullptr) {
        table = t;
    }
    if (o != nullptr) {
        out = o;
    }
    status = ST_OK;
    indent = 0;
    lineLen = 0;
    line[0] = '\0';
    if (table == nullptr) {
        return status;
    }
    if (!Collect()) {
        status = ST_NO_MEMORY;
        return status;
    }
    bool byName = (table->GetIndexFlags() & (symtab::IDX_NAME | symtab::IDX_NAME_DUP)) != 0;
    for (size_t i = 0; i < count && status == ST_OK; ++i) {
        SymAttr* type = types[i];
        if (!byName || table->lookup(type->GetName()) != type) {
            status = ST_NAME;
            break;
        }
        Generate(type);
        Flush();
        if (status == ST_OK && names != nullptr) {
            char buf[kMaxTypeName + 1];
            if (names->PutLine(CutName(type->GetName(), buf)) == 0) {
                status = ST_NAME;
            }
        }
    }
    Flush();
    return status;
}

// ------------------------------------------------------------ declarations

void TiTypeGenerator::Generate(SymAttr* t) {
    char nameBuf[kMaxTypeName + 1];
    const char* name = CutName(t->GetName(), nameBuf);
    uint8_t cls = t->GetTypeClass();
    SymAttr* base = t->IsDerivedFrom();
    char baseBuf[kMaxTypeName + 1];
    if (cls == sym::CLASS_STRUCT) {
        if (base != nullptr) {
            Put("%s %s %s;\n", kTypedef, CName(base, baseBuf), name);
        } else {
            GenStruct(t, name);
        }
    } else if ((cls & sym::CLASS_ARRAY) != 0) {
        GenArray(t, name);
    } else if (cls == sym::CLASS_SUBRANGE) {
        const Subrange* r = t->GetSubr();
        Put("%s %s %s; /* %ld .. %ld */\n", kTypedef, CName(base, baseBuf), name,
            static_cast<long>(r != nullptr ? r->GetLR() : 0),
            static_cast<long>(r != nullptr ? r->GetUR() : 0));
    } else if (cls == sym::CLASS_ENUM && base == nullptr) {
        GenEnum(t, name);
    } else {
        Put("%s %s %s;\n", kTypedef, CName(base, baseBuf), name);
    }
    Put("%s %s %s%s;\n", kTypedef, name, kPtrConv, name);
}

void TiTypeGenerator::GenStruct(SymAttr* t, const char* name) {
    Put("%s %s %s\n", kTypedef, kStruct, name);
    Put("{\n");
    indent += kIndentStep;
    int walked = 0;
    for (SymAttr* c = t->GetStructCompEntry(); c != nullptr && walked < kMaxWalk;
         c = c->GetNext(), ++walked) {
        GenComponent(c);
    }
    indent -= kIndentStep;
    Put("} %s;\n", name);
}

void TiTypeGenerator::PutCounts(const SymAttr* from, bool skipSelf) {
    unsigned stripped = 0;
    ArrayElement(from, skipSelf, stripped);
    if (stripped == 0) {
        Put(";\n");
        return;
    }
    Put("[");
    const Subrange* d = from->GetArraySubr(0);
    for (unsigned k = 0; k < stripped && d != nullptr; ++k, d = d->GetNext()) {
        if (k > 0) {
            Put("][");
        }
        Put("%ld", static_cast<long>(d->GetCount()));
    }
    Put("];\n");
}

void TiTypeGenerator::GenArray(SymAttr* t, const char* name) {
    unsigned stripped = 0;
    const SymAttr* e = ArrayElement(t, true, stripped);
    char elemBuf[kMaxTypeName + 1];
    Put("%s %s %s[", kTypedef, CName(e, elemBuf), name);
    const Subrange* d = t->GetArraySubr(0);
    for (unsigned k = 0; k < stripped && d != nullptr; ++k, d = d->GetNext()) {
        if (k > 0) {
            Put("][");
        }
        Put("%ld", static_cast<long>(d->GetCount()));
    }
    Put("];\n");
}

void TiTypeGenerator::GenEnum(SymAttr* t, const char* name) {
    Put("%s %s\n", kTypedef, kEnum);
    Put("{\n");
    int walked = 0;
    for (SymAttr* v = t->GetEnumCompEntry(); v != nullptr && walked < kMaxWalk;
         v = v->GetNext(), ++walked) {
        if (walked > 0) {
            Put(",\n");
        }
        short value = 0;
        v->GetEnumVal(value);
        Put("%s = %d", v->GetName() != nullptr ? v->GetName() : "",
            static_cast<int>(static_cast<unsigned short>(value)));
    }
    if (walked > 0) {
        Append("\n");
    }
    Put("} %s;\n", name);
}

void TiTypeGenerator::GenComponent(SymAttr* c) {
    const char* cname = c->GetName() != nullptr ? c->GetName() : "";
    SymAttr* type = c->GetDType(0);
    char buf[kMaxTypeName + 1];
    if (type == nullptr) {
        Put("%s %s;\n", "*****", cname);
        return;
    }
    uint8_t cls = type->GetTypeClass();
    if ((cls & sym::CLASS_ARRAY) != 0) {
        unsigned stripped = 0;
        const SymAttr* e = ArrayElement(type, false, stripped);
        Put("%s %s", CName(e, buf), cname);
        PutCounts(type, false);
    } else if (cls == sym::CLASS_SUBRANGE) {
        const Subrange* r = type->GetSubr();
        Put("%s %s;/* %ld .. %ld*/\n", CName(type->IsDerivedFrom(), buf), cname,
            static_cast<long>(r != nullptr ? r->GetLR() : 0),
            static_cast<long>(r != nullptr ? r->GetUR() : 0));
    } else if (type->GetID() < 0) {
        Put("%s %s;\n", ElemCName(type->GetID()), cname);
    } else {
        Put("%s %s;\n", CutName(type->GetName(), buf), cname);
    }
}
