// TiVariable: the access-path chain, its index checks, offset, type and
// canonical text, and the reader that builds a path from text with the
// source scanner.
#include "compiler/TiVariable.h"

#include "base/IEC_CONSTANT.h"
#include "base/TiCompOptions.h"
#include "base/TiMemRegister.h"
#include "compiler/ErrMess.h"
#include "compiler/SymAttr.h"
#include "compiler/SymTab.h"
#include "compiler/SymTabSet.h"
#include "compiler/TiScanner.h"
#include "compiler/Tokens.h"

#include <climits>
#include <cstring>
#include <new>

using namespace tivar;

namespace {

/// Components walked back before a component's offset is given up as
/// malformed (a structure has far fewer: each takes at least one byte of at
/// most 65535).
constexpr int kMaxComponentWalk = 65536;

int32_t Saturate32(int64_t v) {
    if (v < INT32_MIN) {
        return INT32_MIN;
    }
    if (v > INT32_MAX) {
        return INT32_MAX;
    }
    return static_cast<int32_t>(v);
}

char* CopyText(const char* s) {
    if (s == nullptr) {
        s = "";
    }
    size_t n = std::strlen(s);
    char* c = new (std::nothrow) char[n + 1];
    if (c != nullptr) {
        std::memcpy(c, s, n + 1);
    }
    return c;
}

/// The dimension k (0 = first) of the type the symbol stands for, or null.
const Subrange* Dimension(const SymAttr* s, unsigned k) {
    const Subrange* d = s != nullptr ? s->GetArraySubr(0) : nullptr;
    for (unsigned i = 0; d != nullptr && i < k; ++i) {
        d = d->GetNext();
    }
    return d;
}

/// lower × stride of a dimension: the contribution of its first element.
int64_t FirstElement(const Subrange* d) {
    return d != nullptr ? static_cast<int64_t>(d->GetLR()) * static_cast<int64_t>(d->GetStride())
                        : 0;
}

} // namespace

// ------------------------------------------------------------ the chain

TiVariable::TiVariable(SymAttr* s, ErrMess* m, const TiVarModes& md, uint16_t l, uint16_t c)
    : LocSymAttr(s, l, c), sink(m), modes(md) {}

TiVariable::~TiVariable() {
    for (TiVarIndex* i = indexList; i != nullptr;) {
        TiVarIndex* n = i->next;
        delete i;
        i = n;
    }
    // The following links are taken off one at a time so that a long chain
    // does not recurse through the destructors.
    TiVariable* v = next;
    next = nullptr;
    while (v != nullptr) {
        TiVariable* n = v->next;
        v->next = nullptr;
        delete v;
        v = n;
    }
}

TiVariable* TiVariable::GetLast() {
    TiVariable* v = this;
    while (v->next != nullptr) {
        v = v->next;
    }
    return v;
}

LocSymAttr* TiVariable::GetCurSymbol() {
    return GetLast();
}

SymAttr* TiVariable::GetCurDType() {
    TiVariable* last = GetLast();
    return last->symbol != nullptr ? last->symbol->GetDType(last->indexCount) : nullptr;
}

void TiVariable::Internal(int line) const {
    if (sink != nullptr) {
        sink->Report(errmess::SEV_INTERNAL, MSG_INTERNAL_AT, 0, 0, {kModule, line});
    }
}

void TiVariable::NoMemory(int line) const {
    if (sink != nullptr) {
        sink->ReportNoMemory(kModule, line);
    }
}

// ------------------------------------------------------------ building

short TiVariable::AddIndex(const char* text, const IEC_CONSTANT* constant, bool negate,
                           uint16_t line, uint16_t col) {
    TiVariable* last = GetLast();
    SymAttr* s = last->symbol;
    unsigned short dims = s != nullptr ? s->GetArrayDimension() : 0;
    if (s == nullptr || (!s->IsArray() && dims == 0)) {
        const char* typeName = s != nullptr ? s->GetDTypeName(0) : nullptr;
        if (sink != nullptr) {
            sink->Report(errmess::SEV_ERROR, MSG_NOT_ARRAY, line, col,
                         {typeName != nullptr ? typeName : ""});
        }
        return MSG_NOT_ARRAY;
    }
    if (last->indexCount >= dims || last->indexCount >= kMaxIndexes) {
        if (sink != nullptr) {
            sink->Report(errmess::SEV_ERROR, MSG_TOO_MANY, line, col);
        }
        return MSG_TOO_MANY;
    }
    const Subrange* dim = Dimension(s, last->indexCount);
    if (dim == nullptr) {
        // The dimension count promised a dimension the list does not have.
        Internal(__LINE__);
        return MSG_INTERNAL_AT;
    }
    if (constant != nullptr ? !constant->IsInteger() : modes.constIndexes != 0) {
        if (sink != nullptr) {
            sink->Report(errmess::SEV_ERROR, MSG_NOT_INTEGER, line, col);
        }
        return MSG_NOT_INTEGER;
    }

    TiVarIndex* idx = new (std::nothrow) TiVarIndex;
    char* copy = CopyText(text);
    if (idx == nullptr || copy == nullptr) {
        delete idx;
        delete[] copy;
        NoMemory(__LINE__);
        return errmess::MSG_NO_MEMORY;
    }
    idx->text = copy;
    idx->line = line;
    idx->col = col;
    short result = 0;
    if (constant != nullptr) {
        int32_t v32 = 0;
        // A value beyond 32 bits lies outside any bounds; the read-out then
        // gives the nearest 32-bit limit, which clamps to the right bound.
        bool beyond = constant->value.digit.GetINT32Val(&v32) != 0;
        int64_t v = negate ? -static_cast<int64_t>(v32) : v32;
        if (v < INT32_MIN || v > INT32_MAX) {
            beyond = true;
        }
        int32_t offset = 0;
        short rc = Subrange::ElemOffset(dim, Saturate32(v), offset);
        idx->isConstant = true;
        idx->value = Saturate32(v);
        idx->typeId =
            modes.dintIndexes == 0 && v >= INT16_MIN && v <= INT16_MAX ? INDEX_INT : INDEX_DINT;
        idx->contribution = offset;
        if (rc == sym::DEF_INDEX_CLAMPED || beyond) {
            idx->clamped = true;
            if (sink != nullptr) {
                sink->Report(errmess::SEV_ERROR, MSG_OUT_OF_BOUNDS, line, col);
            }
            result = MSG_OUT_OF_BOUNDS;
        }
    } else {
        // Unknown at compile time: the first element the index can reach.
        idx->contribution = Saturate32(FirstElement(dim));
    }
    TiVarIndex** tail = &last->indexList;
    while (*tail != nullptr) {
        tail = &(*tail)->next;
    }
    *tail = idx;
    ++last->indexCount;
    return result;
}

short TiVariable::Select(const char* name, uint16_t line, uint16_t col) {
    TiVariable* last = GetLast();
    SymAttr* t = last->symbol != nullptr ? last->symbol->GetDType(last->indexCount) : nullptr;
    SymAttr* comp = nullptr;
    if (t != nullptr && t->IsStruct() && name != nullptr) {
        SymTab* comps = t->GetScopeTab();
        if (comps != nullptr &&
            (comps->GetIndexFlags() & (symtab::IDX_NAME | symtab::IDX_NAME_DUP))) {
            comp = comps->lookup(name);
        }
        if (comp != nullptr && comp->GetKind() != sym::KIND_COMPONENT) {
            comp = nullptr;
        }
    }
    if (comp == nullptr) {
        const char* typeName = nullptr;
        if (t != nullptr) {
            typeName = t->GetName();
        } else if (last->symbol != nullptr) {
            typeName = last->symbol->GetDTypeName(0);
        }
        if (sink != nullptr) {
            sink->Report(errmess::SEV_ERROR, MSG_NO_COMPONENT, line, col,
                         {typeName != nullptr ? typeName : "", name != nullptr ? name : ""});
        }
        return MSG_NO_COMPONENT;
    }
    TiVariable* link = new (std::nothrow) TiVariable(comp, sink, modes, line, col);
    if (link == nullptr) {
        NoMemory(__LINE__);
        return errmess::MSG_NO_MEMORY;
    }
    last->next = link;
    return 0;
}

// ------------------------------------------------------------ offset

short TiVariable::LinkOffset(int64_t& sum, bool& constant) const {
    if (symbol == nullptr) {
        return 0;
    }
    // A component starts after the components declared before it
    // (structures are packed).
    if (symbol->GetKind() == sym::KIND_COMPONENT) {
        int walked = 0;
        for (const SymAttr* p = symbol->GetPrev(); p != nullptr; p = p->GetPrev()) {
            if (++walked > kMaxComponentWalk) {
                Internal(__LINE__);
                return MSG_INTERNAL_AT;
            }
            sum += p->GetMemsize(0);
        }
    }
    if (indexCount == 0) {
        return 0;
    }
    sum += symbol->GetArrayAddSize();
    unsigned k = 0;
    for (const TiVarIndex* i = indexList; i != nullptr; i = i->next, ++k) {
        sum += i->contribution;
        if (!i->isConstant) {
            constant = false;
        }
    }
    // Dimensions left without an index address their first element: the
    // add correction counted every dimension's lower bound.
    unsigned short dims = symbol->GetArrayDimension();
    for (const Subrange* d = Dimension(symbol, k); d != nullptr && k < dims;
         d = d->GetNext(), ++k) {
        sum += FirstElement(d);
    }
    return 0;
}

short TiVariable::GetCompOffset(unsigned long* offset) {
    if (offset == nullptr) {
        Internal(__LINE__);
        return NO_ARGUMENT;
    }
    int64_t sum = 0;
    bool constant = true;
    for (const TiVariable* v = this; v != nullptr; v = v->next) {
        if (v->LinkOffset(sum, constant) != 0) {
            *offset = 0;
            return NOT_CONSTANT;
        }
    }
    if (sum < 0) {
        Internal(__LINE__);
        *offset = 0;
        return NOT_CONSTANT;
    }
    *offset = static_cast<unsigned long>(sum);
    return constant ? OK : NOT_CONSTANT;
}

// ------------------------------------------------------------ canonical text

void TiVariable::AppendText(char* buf, size_t cap, size_t& len, size_t& need) const {
    // Writes what fits into buf (cap characters, no terminator) and counts
    // in `need` what the whole text takes.
    auto put = [&](const char* s) {
        for (; *s != '\0'; ++s, ++need) {
            if (len < cap) {
                buf[len++] = *s;
            }
        }
    };
    for (const TiVariable* v = this; v != nullptr; v = v->next) {
        if (v != this) {
            put(".");
        }
        const char* name = v->symbol != nullptr ? v->symbol->GetName() : nullptr;
        put(name != nullptr ? name : "");
        if (v->indexCount == 0) {
            continue;
        }
        put("[");
        unsigned short k = 0;
        for (const TiVarIndex* i = v->indexList; i != nullptr; i = i->next, ++k) {
            if (k > 0) {
                // A new bracket where the index starts an array type of its
                // own name; a comma within one array type's dimensions.
                const SymAttr* t = v->symbol != nullptr ? v->symbol->GetDType(k) : nullptr;
                put(t != nullptr && t->IsVisibleDType() && t->IsArray() ? "][" : ",");
            }
            put(i->text != nullptr ? i->text : "");
        }
        put("]");
    }
}

short TiVariable::GetAsciiSpec(char* buffer, unsigned short* size) {
    if (buffer == nullptr || size == nullptr) {
        Internal(__LINE__);
        return NO_ARGUMENT;
    }
    if (*size == 0) {
        Internal(__LINE__);
        return TRUNCATED;
    }
    size_t len = 0;
    size_t need = 0;
    AppendText(buffer, static_cast<size_t>(*size) - 1, len, need);
    buffer[len] = '\0';
    *size = static_cast<unsigned short>(len + 1);
    return need > len ? TRUNCATED : OK;
}

short TiVariable::GetAsciiSpec(char** text) {
    if (text == nullptr) {
        Internal(__LINE__);
        return NO_ARGUMENT;
    }
    *text = nullptr;
    size_t len = 0;
    size_t need = 0;
    AppendText(nullptr, 0, len, need);
    if (need == 0) {
        return OK;
    }
    char* buf = new (std::nothrow) char[need + 1];
    if (buf == nullptr) {
        NoMemory(__LINE__);
        return NO_MEMORY;
    }
    len = 0;
    size_t again = 0;
    AppendText(buf, need, len, again);
    buf[len] = '\0';
    *text = buf;
    return OK;
}

// ------------------------------------------------------------ reading a path

namespace {

/// A growing text without exceptions.
class TextBuf {
public:
    ~TextBuf() { delete[] p; }
    bool Append(const char* s) {
        size_t n = std::strlen(s);
        if (len + n + 1 > cap) {
            size_t want = (len + n + 1) * 2;
            char* q = new (std::nothrow) char[want];
            if (q == nullptr) {
                return false;
            }
            if (p != nullptr) {
                std::memcpy(q, p, len);
            }
            delete[] p;
            p = q;
            cap = want;
        }
        std::memcpy(p + len, s, n);
        len += n;
        p[len] = '\0';
        return true;
    }
    const char* Text() const { return p != nullptr ? p : ""; }
    size_t Length() const { return len; }
    char Last() const { return len > 0 ? p[len - 1] : '\0'; }
    void Clear() {
        len = 0;
        if (p != nullptr) {
            p[0] = '\0';
        }
    }

private:
    char* p = nullptr;
    size_t len = 0;
    size_t cap = 0;
};

bool IsWordChar(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' ||
           u == '\'' || u == '#' || u == '%' || u >= 0x80;
}

bool IsLiteralToken(short t) {
    return (t >= tok::LITERAL_FIRST && t <= tok::LITERAL_LAST) || t == tok::TRUE_LIT ||
           t == tok::FALSE_LIT;
}

/// The text of a token as the scanner delivered it.
const char* TokenText(short t, const TokenValue& v, char (&single)[2]) {
    if (v.text != nullptr) {
        return v.text;
    }
    if (v.sym != nullptr && v.sym->GetName() != nullptr) {
        return v.sym->GetName();
    }
    switch (t) {
    case tok::RANGE:
        return "..";
    case tok::ARROW:
        return "=>";
    case tok::NOT_EQUAL:
        return "<>";
    case tok::LESS_EQUAL:
        return "<=";
    case tok::GREATER_EQUAL:
        return ">=";
    case tok::POWER:
        return "**";
    case tok::ASSIGN:
        return ":=";
    default:
        break;
    }
    if (t > 0 && t < 256) {
        single[0] = static_cast<char>(t);
        single[1] = '\0';
        return single;
    }
    return "";
}

/// Releases what a token value owns: a literal record the scanner made for
/// this token (never a table's entry) and the literal's text.
void ReleaseToken(TokenValue& v) {
    SymAttr* rec = v.sym;
    if (rec != nullptr && rec->GetKind() == sym::KIND_CONSTANT && !rec->IsTableOwned()) {
        TiMemDeRegisterMemoryFkt(rec, const_cast<char*>(kModule), __LINE__);
        delete rec;
    }
    if (v.ownsText != 0) {
        delete[] v.text;
    }
    v = TokenValue{};
}

/// True when `name` is a value of an enumeration type of the global table.
/// Enumeration values live in their type's table, where the scanner does
/// not look, so it hands them over as new names.
bool IsEnumValueName(SymTabSet* set, const char* name) {
    SymTab* global = set != nullptr ? set->GetGlobalTab() : nullptr;
    if (global == nullptr || name == nullptr) {
        return false;
    }
    for (SymAttr* t = global->FindFirstEntry(); t != nullptr; t = global->FindNextEntry(t)) {
        if (!t->IsDType() || t->GetTypeClass() != sym::CLASS_ENUM) {
            continue;
        }
        SymTab* values = t->GetCompTab();
        if (values == nullptr ||
            (values->GetIndexFlags() & (symtab::IDX_NAME | symtab::IDX_NAME_DUP)) == 0) {
            continue;
        }
        SymAttr* v = values->lookup(name);
        if (v != nullptr && v->GetKind() == sym::KIND_ENUM_VALUE) {
            return true;
        }
    }
    return false;
}

/// One token held while an index expression is read.
struct HeldToken {
    short token = 0;
    TokenValue value;
};

/// The reader of one path.
class PathReader {
public:
    PathReader(TiScanner& s, SymTabSet* st, ErrMess* m, const TiVarModes& md)
        : scan(s), set(st), sink(m), modes(md) {}
    ~PathReader() {
        ReleaseToken(cur.value);
        delete path;
    }

    short Run(TiVariable** out);
    bool fatal = false; // an error that makes the path unusable
    int clamped = 0;    // -3479 reports (the path stays usable)

private:
    void Next() {
        ReleaseToken(cur.value);
        cur.token = scan.lex(&cur.value);
        row = scan.GetTokenRow();
        col = scan.GetTokenCol();
    }
    void Error(short number, const char* text = nullptr) {
        fatal = true;
        if (sink != nullptr) {
            if (text != nullptr) {
                sink->Report(errmess::SEV_ERROR, number, row, col, {text});
            } else {
                sink->Report(errmess::SEV_ERROR, number, row, col);
            }
        }
    }
    bool ReadIndexes();
    bool ReadIndex(bool& more);

    TiScanner& scan;
    SymTabSet* set;
    ErrMess* sink;
    TiVarModes modes;
    HeldToken cur;
    uint16_t row = 0;
    uint16_t col = 0;
    TiVariable* path = nullptr;
    unsigned links = 0;
};

short PathReader::Run(TiVariable** out) {
    Next();
    if (cur.token != tok::NAME) {
        if (cur.token == tok::END) {
            Error(MSG_EXPECTED, "name");
        } else {
            char single[2];
            Error(MSG_NOT_DECLARED, TokenText(cur.token, cur.value, single));
        }
        return PARSE_ERRORS;
    }
    SymAttr* root = cur.value.sym;
    if (root == nullptr || root->GetKind() != sym::KIND_VARIABLE) {
        const char* name = root != nullptr && root->GetName() != nullptr ? root->GetName() : "";
        Error(MSG_NOT_DECLARED, name);
        return PARSE_ERRORS;
    }
    path = new (std::nothrow) TiVariable(root, sink, modes, row, col);
    if (path == nullptr) {
        if (sink != nullptr) {
            sink->ReportNoMemory(kModule, __LINE__);
        }
        return NO_MEMORY;
    }
    links = 1;
    Next();
    while (!fatal && cur.token != tok::END) {
        if (cur.token == '[') {
            if (!ReadIndexes()) {
                break;
            }
        } else if (cur.token == '.') {
            Next();
            if (cur.token != tok::NAME || cur.value.sym == nullptr) {
                Error(MSG_EXPECTED, "name");
                break;
            }
            if (++links > kMaxLinks) {
                Error(MSG_EXPECTED, "end");
                break;
            }
            short rc = path->Select(cur.value.sym->GetName(), row, col);
            if (rc == errmess::MSG_NO_MEMORY) {
                return NO_MEMORY;
            }
            if (rc != 0) {
                fatal = true;
                break;
            }
            Next();
        } else {
            Error(MSG_EXPECTED, ".");
        }
    }
    if (fatal) {
        return PARSE_ERRORS;
    }
    *out = path;
    path = nullptr;
    return clamped > 0 ? PARSE_ERRORS : OK;
}

bool PathReader::ReadIndexes() {
    // cur is '['. A list written right after this one ("a[1][2]") comes
    // back here through Run and applies to the same link, as the list
    // "a[1,2]" does.
    bool more = true;
    while (more) {
        if (!ReadIndex(more)) {
            return false;
        }
    }
    Next(); // past ']'
    return true;
}

bool PathReader::ReadIndex(bool& more) {
    TextBuf text;
    HeldToken first;
    HeldToken second;
    int count = 0;
    int depth = 0;
    bool undeclared = false;
    bool firstIsEnumValue = false;
    uint16_t startRow = 0;
    uint16_t startCol = 0;
    bool ok = true;
    for (;;) {
        // Ownership of the current token's value moves into `first` or
        // `second` while it may still be needed for the constant.
        Next();
        if (cur.token == tok::END) {
            Error(MSG_BRACKET);
            ok = false;
            break;
        }
        if (depth == 0 && (cur.token == ',' || cur.token == ']')) {
            break;
        }
        if (cur.token == '(' || cur.token == '[') {
            ++depth;
        } else if ((cur.token == ')' || cur.token == ']') && depth > 0) {
            --depth;
        }
        if (count == 0) {
            startRow = row;
            startCol = col;
        }
        char single[2];
        const char* t = TokenText(cur.token, cur.value, single);
        if (text.Length() > 0 && IsWordChar(text.Last()) && IsWordChar(t[0])) {
            if (!text.Append(" ")) {
                ok = false;
            }
        }
        if (!text.Append(t)) {
            ok = false;
        }
        if (!ok) {
            if (sink != nullptr) {
                sink->ReportNoMemory(kModule, __LINE__);
            }
            fatal = true;
            break;
        }
        bool enumValue = false;
        if (cur.token == tok::NAME && cur.value.sym != nullptr &&
            cur.value.sym->GetKind() == sym::KIND_UNDEFINED) {
            enumValue = IsEnumValueName(set, t);
            if (!enumValue && !undeclared) {
                undeclared = true;
                Error(MSG_NOT_DECLARED, t);
            }
        }
        ++count;
        if (count == 1) {
            firstIsEnumValue = enumValue;
            first.token = cur.token;
            first.value = cur.value;
            cur.value = TokenValue{};
        } else if (count == 2) {
            second.token = cur.token;
            second.value = cur.value;
            cur.value = TokenValue{};
        }
    }
    if (ok && !fatal) {
        if (count == 0) {
            // An empty index: nothing there to be the integer constant.
            Error(MSG_NOT_INTEGER);
        } else {
            const IEC_CONSTANT* constant = nullptr;
            bool negate = false;
            bool notInteger = false;
            const HeldToken* lit = nullptr;
            if (count == 1) {
                lit = &first;
            } else if (count == 2 && (first.token == '-' || first.token == '+')) {
                lit = &second;
                negate = first.token == '-';
            }
            if (lit != nullptr && IsLiteralToken(lit->token)) {
                constant = lit->value.sym != nullptr ? lit->value.sym->GetConstant() : nullptr;
                if (constant == nullptr) {
                    notInteger = true; // TRUE/FALSE without a value record
                }
            } else if (count == 1 && first.token == tok::NAME && firstIsEnumValue) {
                notInteger = true;
            }
            if (notInteger) {
                uint16_t r = row;
                uint16_t c = col;
                row = startRow;
                col = startCol;
                Error(MSG_NOT_INTEGER);
                row = r;
                col = c;
            } else {
                short rc = path->AddIndex(text.Text(), constant, negate, startRow, startCol);
                if (rc == MSG_OUT_OF_BOUNDS) {
                    ++clamped;
                } else if (rc != 0) {
                    fatal = true;
                }
            }
        }
    }
    ReleaseToken(first.value);
    ReleaseToken(second.value);
    if (!ok || fatal) {
        return false;
    }
    if (cur.token == ',') {
        more = true;
        return true;
    }
    more = false;
    return true;
}

} // namespace

short TiVariable::Parse(const char* text, SymTabSet* set, ErrMess* sink, const TiCompOptions* opts,
                        const TiVarModes& modes, TiVariable** out) {
    if (out != nullptr) {
        *out = nullptr;
    }
    if (text == nullptr || set == nullptr || out == nullptr) {
        if (sink != nullptr) {
            sink->Report(errmess::SEV_INTERNAL, MSG_INTERNAL_AT, 0, 0, {kModule, __LINE__});
        }
        return NO_ARGUMENT;
    }
    if (std::strlen(text) > kMaxPathText) {
        if (sink != nullptr) {
            sink->Report(errmess::SEV_ERROR, MSG_EXPECTED, 1, 0, {"end"});
        }
        return PARSE_ERRORS;
    }
    // The scanner reads the path without a start marker and without echo:
    // only the language switches of the options are taken over.
    TiCompOptions local(true);
    if (opts != nullptr) {
        local.langFlags = opts->langFlags;
        local.modeFlags = opts->modeFlags;
        local.checkFlags = opts->checkFlags;
    }
    local.modeFlags &=
        static_cast<uint16_t>(~(TiCompOptions::GrammarStartMask | TiCompOptions::EchoSource));
    local.auxFlags = 0;
    short st = 0;
    TiScanner* scanner = new (std::nothrow) TiScanner(text, set, sink, &local, 0, 0, &st);
    if (scanner == nullptr) {
        if (sink != nullptr) {
            sink->ReportNoMemory(kModule, __LINE__);
        }
        return NO_MEMORY;
    }
    if (st != 0) {
        delete scanner;
        if (sink != nullptr) {
            sink->Report(errmess::SEV_INTERNAL, MSG_INTERNAL_AT, 0, 0, {kModule, __LINE__});
        }
        return NO_ARGUMENT;
    }
    uint16_t errorsBefore = sink != nullptr ? sink->GetErrors() : 0;
    short rc;
    int clamped;
    TiVariable* path = nullptr;
    {
        PathReader reader(*scanner, set, sink, modes);
        rc = reader.Run(&path);
        clamped = reader.clamped;
    }
    delete scanner;
    if (rc == NO_MEMORY) {
        delete path;
        return NO_MEMORY;
    }
    // Messages of the scanner (an invalid character, a name in lower case
    // without the option) make the path unusable as well.
    if (path != nullptr && sink != nullptr &&
        static_cast<int>(sink->GetErrors()) - static_cast<int>(errorsBefore) > clamped) {
        delete path;
        path = nullptr;
        rc = PARSE_ERRORS;
    }
    *out = path;
    return rc;
}
