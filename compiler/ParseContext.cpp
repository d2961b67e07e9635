// ParseContext: the semantic actions of the IEC 61131-3 grammar, from
// declarations (forwarded to the declaration context) to the statement
// trees of Structured Text, Instruction List and Sequential Function Chart
// bodies.
#include "compiler/ParseContext.h"

#include "base/IEC_CONSTANT.h"
#include "base/IecTypeIds.h"
#include "base/TiCharUtil.h"
#include "base/TiMemRegister.h"
#include "compiler/ErrMess.h"
#include "compiler/SymAttr.h"
#include "compiler/SymTab.h"
#include "compiler/SymTabSet.h"
#include "compiler/TiInitValSpec.h"
#include "compiler/TiNode.h"
#include "compiler/Tokens.h"

#include <cstring>
#include <new>
#include <utility>

using namespace parsectx;

namespace {

// Keyword tokens the actions tell apart (numbered by the keyword list).
constexpr short T_ANDN = 269;
constexpr short T_ADD = 266;
constexpr short T_CAL = 282;
constexpr short T_CALCN = 284;
constexpr short T_CONSTANT = 287;
constexpr short T_DIV = 291;
constexpr short T_EQ = 315;
constexpr short T_FUNCTION = 321;
constexpr short T_FUNCTION_BLOCK = 322;
constexpr short T_GE = 323;
constexpr short T_GT = 324;
constexpr short T_INITIAL_STEP = 326;
constexpr short T_JMPC = 330;
constexpr short T_JMPCN = 331;
constexpr short T_LDN = 334;
constexpr short T_LE = 335;
constexpr short T_LT = 338;
constexpr short T_MUL = 340;
constexpr short T_NE = 341;
constexpr short T_NOT = 342;
constexpr short T_ORN = 345;
constexpr short T_RET = 353;
constexpr short T_RETAIN = 354;
constexpr short T_RETC = 355;
constexpr short T_RETCN = 356;
constexpr short T_STN = 361;
constexpr short T_SUB = 364;
constexpr short T_VAR = 380;
constexpr short T_VAR_ACCESS = 381;
constexpr short T_VAR_EXTERNAL = 382;
constexpr short T_VAR_GLOBAL = 383;
constexpr short T_VAR_IN_OUT = 384;
constexpr short T_VAR_INPUT = 385;
constexpr short T_VAR_OUTPUT = 386;
constexpr short T_XORN = 390;
constexpr short T_OR = 401;
constexpr short T_XOR = 402;
constexpr short T_AND = 403;
constexpr short T_MOD = 407;

bool IsLiteralToken(short t) {
    return (t >= tok::LITERAL_FIRST && t <= tok::LITERAL_LAST) || t == tok::TRUE_LIT ||
           t == tok::FALSE_LIT;
}

const char* NameOf(const SymAttr* s) {
    return s != nullptr && s->GetName() != nullptr ? s->GetName() : "";
}

// Number of ADRADD nodes in the chain starting at n (linked through child 2).
int IndexCount(const TiNode* n) {
    int count = 0;
    for (; n != nullptr && n->kind == tree::ADRADD; n = n->Child(2)) {
        ++count;
    }
    return count;
}

TiNode* LastIndex(TiNode* n) {
    while (n != nullptr && n->Child(2) != nullptr) {
        n = n->Child(2);
    }
    return n;
}

bool IsComparison(int32_t kind) {
    return kind >= tree::EQ && kind <= tree::LE;
}

// The action qualifiers by their text, in code order.
const char* const kQualifiers[] = {"N", "S", "R", "L", "D", "P", "SD", "DS", "SL"};

} // namespace

// ================================================================ lifetime

ParseContext::ParseContext(SymTabSet* set, Library* lib, TiDB* db, ErrMess* sink,
                           TiCompOptions* opts, AST_Update* update, short* st)
    : set(set), library(lib), db(db), sink(sink), opts(opts) {
    short declStatus = 0;
    decl = new (std::nothrow) DeclContext(set, lib, db, sink, opts, update, &declStatus);
    if (decl == nullptr) {
        ReportNoMemory(__LINE__);
        status = MSG_NO_MEMORY;
    } else if (declStatus != 0) {
        status = 1;
    }
    // A missing zero bound only costs the substitute for a name in a
    // dimension (the context then reports the bound as no integer).
    zeroBound = new (std::nothrow) IEC_CONSTANT(0);
    if (st != nullptr) {
        *st = status;
    }
}

ParseContext::~ParseContext() {
    IlReset();
    delete root;
    for (TiNode* l : unitLabels) {
        delete l;
    }
    TiDelInitValSpecList(initResult);
    delete decl;
    delete zeroBound;
}

TiNode* ParseContext::TakeTree() {
    TiNode* t = root;
    root = nullptr;
    if (t != nullptr || unitLabels.empty()) {
        return t;
    }
    // One statement list of the units' LABEL nodes.
    TiNode* last = nullptr;
    for (TiNode* l : unitLabels) {
        if (t == nullptr) {
            t = NewNode(tree::STATEM_LIST, TextLocation{l->line, l->column});
            last = t;
            if (t == nullptr) {
                delete l;
                continue;
            }
        }
        TiAppendStatement(&last, l, sink);
    }
    unitLabels.clear();
    return t;
}

void ParseContext::NoteLookahead(ParseValue* la) {
    lookahead = la;
    lookaheadAtRisk = false;
    if (la == nullptr || la->token != tok::NAME || la->tok.sym == nullptr ||
        la->tok.sym->GetName() == nullptr || set == nullptr || set->GetCurrent() == nullptr) {
        return;
    }
    unsigned char kind = set->GetCurrent()->GetKind();
    if (kind == decl::TAB_STRUCT || kind == decl::TAB_ENUM) {
        try {
            lookaheadName = la->tok.sym->GetName();
            lookaheadAtRisk = true;
        } catch (const std::bad_alloc&) {
            ReportNoMemory(__LINE__);
        }
    }
}

void ParseContext::RebindLookahead() {
    if (!lookaheadAtRisk || lookahead == nullptr || lookahead->token != tok::NAME ||
        set == nullptr) {
        return;
    }
    // Only the copy of the name is read: the old record may be gone.
    const char* name = lookaheadName.c_str();
    SymAttr* found = nullptr;
    auto search = [&](SymTab* t) {
        if (found == nullptr && t != nullptr &&
            (t->GetIndexFlags() & (symtab::IDX_NAME | symtab::IDX_NAME_DUP)) != 0) {
            found = t->lookup(name);
        }
    };
    search(set->GetCurrent());
    for (unsigned short i = 0; found == nullptr && set->GetStackTab(i) != nullptr; ++i) {
        search(set->GetStackTab(i));
    }
    search(set->GetUnitTab());
    search(set->GetGlobalTab());
    if (found == nullptr) {
        SymTab* t = set->GetCurrent();
        if (t == nullptr || (t->GetIndexFlags() & (symtab::IDX_NAME | symtab::IDX_NAME_DUP)) == 0) {
            t = set->GetGlobalTab();
        }
        found = t != nullptr ? t->insert(name, 0, nullptr) : nullptr;
    }
    lookahead->tok.sym = found;
    // Still inside an outer body: at risk again.
    unsigned char kind = set->GetCurrent() != nullptr ? set->GetCurrent()->GetKind() : 0;
    lookaheadAtRisk = found != nullptr && (kind == decl::TAB_STRUCT || kind == decl::TAB_ENUM);
}

TiInitValSpec* ParseContext::TakeInitVal() {
    TiInitValSpec* v = initResult;
    initResult = nullptr;
    return v;
}

// ================================================================ messages

void ParseContext::Report(short number, TextLocation pos) {
    // The error productions report through the scanner, which keeps one
    // message per position; without a running parse the sink takes them.
    if (scanner != nullptr) {
        scanner->Report(number, pos.row, pos.col);
    } else if (sink != nullptr) {
        sink->Report(number >= 1701 ? errmess::SEV_WARNING : errmess::SEV_ERROR, number, pos.row,
                     pos.col);
    }
}

void ParseContext::ReportText(short number, TextLocation pos, const char* text) {
    if (sink != nullptr) {
        sink->Report(errmess::SEV_ERROR, number, pos.row, pos.col, {ErrArg(text)});
    }
}

void ParseContext::ReportTexts(short number, TextLocation pos, const char* a, const char* b) {
    if (sink != nullptr) {
        sink->Report(errmess::SEV_ERROR, number, pos.row, pos.col, {ErrArg(a), ErrArg(b)});
    }
}

void ParseContext::ReportNoMemory(int line) {
    if (sink != nullptr) {
        sink->ReportNoMemory(kModule, line);
    }
}

// ========================================================= value handling

void ParseContext::DiscardToken(ParseValue& v) {
    if (!IsLiteralToken(v.token) || v.tok.sym == nullptr) {
        v.tok = TokenValue{};
        return;
    }
    if (scanner != nullptr) {
        scanner->DiscardLiteral(v.token, &v.tok);
    } else {
        // Between parses: release the literal record as the scanner would.
        SymAttr* rec = v.tok.sym;
        if (rec->GetKind() == sym::KIND_CONSTANT && !rec->IsTableOwned() &&
            TiMemDeRegisterMemoryFkt(rec, const_cast<char*>(kModule), __LINE__) == 0) {
            delete rec;
            if (v.tok.ownsText != 0) {
                delete[] v.tok.text;
            }
        }
    }
    v.tok = TokenValue{};
}

void ParseContext::ReleaseOwned(ParseValue& v) {
    if (v.node != nullptr) {
        // The tree may hold the EXPR_DEF of the current result.
        IlForgetShared();
        delete v.node;
    }
    TiDelInitValSpecList(v.init);
    Subrange::DeleteList(v.dims);
    delete v.steps;
    if (v.sym != nullptr && decl != nullptr && decl->OwnsSpec(v.sym)) {
        decl->DropTypeSpec(v.sym);
    }
    DiscardToken(v);
    v = ParseValue();
}

void ParseContext::Discard(ParseValue& v) {
    ReleaseOwned(v);
}

namespace {

// Releases a literal record whose constant has been taken over: the same as
// the scanner's discarding, without its trace.
void ReleaseLiteral(TokenValue& t) {
    SymAttr* rec = t.sym;
    if (rec != nullptr && rec->GetKind() == sym::KIND_CONSTANT && !rec->IsTableOwned() &&
        TiMemDeRegisterMemoryFkt(rec, const_cast<char*>(kModule), __LINE__) == 0) {
        delete rec;
    }
    if (t.ownsText != 0) {
        delete[] t.text;
    }
    t = TokenValue{};
}

} // namespace

// ============================================================= node helpers

TiNode* ParseContext::NewNode(int32_t kind, TextLocation pos, TiNode* c1, TiNode* c2,
                              TiNode* c3) {
    TiNode* n = new (std::nothrow) TiNode(kind, c1, c2, c3);
    if (n == nullptr) {
        ReportNoMemory(__LINE__);
        IlForgetShared();
        delete c1;
        delete c2;
        delete c3;
        return nullptr;
    }
    n->SetPos(pos.row, pos.col);
    return n;
}

TiNode* ParseContext::NewSymbolNode(SymAttr* s, TextLocation pos) {
    TiNode* n = new (std::nothrow) TiNode(tree::SYMBOL, TiLink(s), nullptr, nullptr);
    if (n == nullptr) {
        ReportNoMemory(__LINE__);
        return nullptr;
    }
    n->SetPos(pos.row, pos.col);
    return n;
}

TiNode* ParseContext::BoolConstant(bool value, TextLocation pos) {
    IEC_CONSTANT* c = new (std::nothrow) IEC_CONSTANT();
    if (c == nullptr) {
        ReportNoMemory(__LINE__);
        return nullptr;
    }
    c->flags = iec::CONST_BOOL;
    c->typeId = iec::TYPE_BOOL;
    c->value.digit.Set(value ? 1 : 0);
    TiNode* n = new (std::nothrow) TiNode(c);
    if (n == nullptr) {
        delete c;
        ReportNoMemory(__LINE__);
        return nullptr;
    }
    n->attribute = static_cast<uint16_t>(iec::TYPE_BOOL);
    n->SetPos(pos.row, pos.col);
    return n;
}

TiNode* ParseContext::ConstantNode(ParseValue& lit) {
    SymAttr* rec = lit.tok.sym;
    IEC_CONSTANT* from = rec != nullptr ? rec->GetConstant() : nullptr;
    if (from == nullptr) {
        // A BOOL keyword without literal record, or a literal whose record
        // could not be made (reported by the scanner).
        TextLocation pos = lit.pos;
        bool isTrue = lit.token == tok::TRUE_LIT;
        bool isBool = isTrue || lit.token == tok::FALSE_LIT;
        ReleaseLiteral(lit.tok);
        return isBool ? BoolConstant(isTrue, pos) : nullptr;
    }
    IEC_CONSTANT* c = new (std::nothrow) IEC_CONSTANT(std::move(*from));
    ReleaseLiteral(lit.tok);
    if (c == nullptr) {
        ReportNoMemory(__LINE__);
        return nullptr;
    }
    TiNode* n = new (std::nothrow) TiNode(c);
    if (n == nullptr) {
        delete c;
        ReportNoMemory(__LINE__);
        return nullptr;
    }
    n->attribute = static_cast<uint16_t>(c->GetElemDTypeID());
    n->SetPos(lit.pos.row, lit.pos.col);
    return n;
}

TiNode* ParseContext::MakeList(TiNode* first, TiNode* second) {
    if (first == nullptr) {
        return second;
    }
    if (second == nullptr) {
        return first;
    }
    TextLocation pos{first->line, first->column};
    return NewNode(tree::STATEM_LIST, pos, first, second);
}

ParseValue ParseContext::TakeNode(TiNode* n, TextLocation pos) {
    ParseValue r;
    r.node = n;
    r.pos = pos;
    return r;
}

short ParseContext::TypeOf(TiNode* n) const {
    if (n != nullptr && n->kind == tree::SYMBOL && n->Child(3) != nullptr) {
        return TypeOf(n->Child(3));
    }
    return ResultType(n);
}

TiNode* ParseContext::DeepestSymbol(TiNode* n) const {
    while (n != nullptr && n->kind == tree::SYMBOL && n->Child(3) != nullptr) {
        n = n->Child(3);
    }
    return n;
}

SymAttr* ParseContext::FindEnumerator(const char* name) {
    if (name == nullptr || set == nullptr || set->GetGlobalTab() == nullptr) {
        return nullptr;
    }
    SymTab* g = set->GetGlobalTab();
    for (SymAttr* e = g->FindFirstEntry(); e != nullptr; e = g->FindNextEntry(e)) {
        if (!e->IsDType() || !e->IsEnum()) {
            continue;
        }
        for (SymAttr* v = e->GetEnumCompEntry(); v != nullptr; v = v->GetNext()) {
            if (v->GetName() != nullptr &&
                TiStricmp(const_cast<char*>(v->GetName()), const_cast<char*>(name)) == 0) {
                return v;
            }
        }
    }
    return nullptr;
}

// ============================================================ start rules

void ParseContext::SetTree(ParseValue& v) {
    delete root;
    root = v.node;
    v.node = nullptr;
    ReleaseOwned(v);
}

void ParseContext::SetInitVal(ParseValue& v) {
    TiDelInitValSpecList(initResult);
    initResult = v.init;
    v.init = nullptr;
    ReleaseOwned(v);
}

// ============================================================ declarations

ParseValue ParseContext::KeywordAsName(ParseValue& kw) {
    Report(MSG_KEYWORD_AS_NAME, kw.pos);
    ParseValue r;
    r.pos = kw.pos;
    return r;
}

void ParseContext::DeclareType(ParseValue& name, ParseValue& spec) {
    if (decl == nullptr) {
        ReleaseOwned(spec);
        return;
    }
    decl->DeclareType(name.sym != nullptr ? name.sym : name.tok.sym, name.pos, spec.sym,
                      spec.init);
    spec.sym = nullptr;
    spec.init = nullptr;
}

void ParseContext::DeclareTypeNoSemicolon(ParseValue& name, ParseValue& spec) {
    Report(MSG_MISSING_SEMICOLON, lastShift);
    DeclareType(name, spec);
}

ParseValue ParseContext::WithInitVal(ParseValue& spec, ParseValue& value) {
    ParseValue r = spec;
    r.init = value.init;
    value.init = nullptr;
    return r;
}

ParseValue ParseContext::ResolveType(ParseValue& name) {
    ParseValue r;
    r.pos = name.pos;
    if (decl != nullptr) {
        r.sym = decl->ResolveTypeName(name.tok.sym, name.pos);
    }
    return r;
}

ParseValue ParseContext::SubrangeType(ParseValue& base, ParseValue& range) {
    ParseValue r;
    r.pos = base.pos;
    if (decl != nullptr) {
        r.sym = decl->MakeSubrangeType(base.tok.sym, range.dims, base.pos);
    } else {
        Subrange::DeleteList(range.dims);
    }
    range.dims = nullptr;
    return r;
}

ParseValue ParseContext::BeginEnum(ParseValue& open) {
    if (decl != nullptr) {
        decl->BeginEnum();
    }
    ParseValue r;
    r.pos = open.pos;
    return r;
}

void ParseContext::DeclareEnumValue(ParseValue& name) {
    if (decl != nullptr) {
        decl->DeclareEnumValue(name.tok.sym, name.pos);
    }
}

ParseValue ParseContext::EndEnum(ParseValue& open, ParseValue& close) {
    ParseValue r;
    r.pos = open.pos;
    if (decl != nullptr) {
        r.sym = decl->EndEnum(close.pos);
    }
    RebindLookahead();
    return r;
}

ParseValue ParseContext::EndEnumNoParen(ParseValue& open) {
    Report(MSG_PAREN_EXPECTED, lastShift);
    ParseValue close;
    close.pos = lastShift;
    return EndEnum(open, close);
}

void ParseContext::AbandonEnum(ParseValue& open) {
    if (decl != nullptr) {
        decl->DropTypeSpec(decl->EndEnum(open.pos));
    }
    RebindLookahead();
}

ParseValue ParseContext::ArraySpec(ParseValue& kw, ParseValue& dims, ParseValue& elem) {
    ParseValue r;
    r.pos = kw.pos;
    if (decl != nullptr) {
        r.sym = decl->MakeArraySpec(dims.dims, elem.sym, kw.pos);
    } else {
        Subrange::DeleteList(dims.dims);
    }
    dims.dims = nullptr;
    elem.sym = nullptr;
    ReleaseOwned(elem);
    return r;
}

ParseValue ParseContext::ArraySpecNoBracket(ParseValue& dims, ParseValue& of, ParseValue& elem) {
    Report(MSG_BRACKET_EXPECTED, of.pos);
    ParseValue kw;
    kw.pos = dims.pos;
    return ArraySpec(kw, dims, elem);
}

ParseValue ParseContext::BeginStruct(ParseValue& kw) {
    if (decl != nullptr) {
        decl->BeginStruct();
    }
    ParseValue r;
    r.pos = kw.pos;
    return r;
}

void ParseContext::DeclareComponent(ParseValue& name, ParseValue& spec) {
    if (decl == nullptr) {
        ReleaseOwned(spec);
        return;
    }
    decl->DeclareStructComponent(name.sym != nullptr ? name.sym : name.tok.sym, name.pos,
                                 spec.sym, spec.init);
    spec.sym = nullptr;
    spec.init = nullptr;
}

void ParseContext::DeclareComponentNoSemicolon(ParseValue& name, ParseValue& spec) {
    Report(MSG_MISSING_SEMICOLON, lastShift);
    DeclareComponent(name, spec);
}

ParseValue ParseContext::EndStruct(ParseValue& open, ParseValue& close) {
    ParseValue r;
    r.pos = open.pos;
    if (decl != nullptr) {
        r.sym = decl->EndStruct(close.pos);
    }
    RebindLookahead();
    return r;
}

void ParseContext::AbandonStruct(ParseValue& open) {
    if (decl != nullptr) {
        decl->DropTypeSpec(decl->EndStruct(open.pos));
    }
    RebindLookahead();
}

ParseValue ParseContext::LiteralAsType(ParseValue& lit) {
    Report(MSG_NOT_A_TYPE, lit.pos);
    ParseValue r;
    r.pos = lit.pos;
    ReleaseLiteral(lit.tok);
    return r;
}

ParseValue ParseContext::AddDimension(ParseValue* list, ParseValue& dim) {
    ParseValue r;
    r.pos = list != nullptr ? list->pos : dim.pos;
    if (decl != nullptr) {
        r.dims = decl->AddDimension(list != nullptr ? list->dims : nullptr, dim.dims);
    } else {
        Subrange::DeleteList(dim.dims);
        r.dims = list != nullptr ? list->dims : nullptr;
    }
    if (list != nullptr) {
        list->dims = nullptr;
    }
    dim.dims = nullptr;
    return r;
}

ParseValue ParseContext::Range(ParseValue& lo, ParseValue& hi) {
    // num: bit 0 a minus sign stood before the bound, bit 1 the bound was
    // a name (reported already). A name stands for the other bound when
    // that is a literal, so that the range gets one element and no second
    // message; else for 0.
    auto bound = [](ParseValue& v) {
        DeclBound b;
        if (v.tok.sym != nullptr) {
            b.value = v.tok.sym->GetConstant();
        }
        b.minus = (v.num & 1) != 0;
        b.pos = v.pos;
        return b;
    };
    ParseValue r;
    r.pos = lo.pos;
    if (decl != nullptr) {
        DeclBound l = bound(lo);
        DeclBound h = bound(hi);
        bool loName = (lo.num & 2) != 0;
        bool hiName = (hi.num & 2) != 0;
        if (loName) {
            l.value = !hiName && h.value != nullptr && !h.minus ? h.value : zeroBound;
        }
        if (hiName) {
            h.value = !loName && l.value != nullptr && !l.minus ? l.value : zeroBound;
        }
        r.dims = decl->MakeSubrange(l, h);
    }
    ReleaseLiteral(lo.tok);
    ReleaseLiteral(hi.tok);
    return r;
}

ParseValue ParseContext::NegativeBound(ParseValue& minus, ParseValue& lit) {
    ParseValue r = lit;
    r.num |= 1;
    r.pos = minus.pos;
    lit.tok = TokenValue{};
    return r;
}

ParseValue ParseContext::NameBound(ParseValue& name) {
    Report(MSG_INDEX_NOT_CONSTANT, name.pos);
    ParseValue r;
    r.pos = name.pos;
    r.num = 2;
    return r;
}

// ========================================================== initial values

namespace {

TiInitValToken InitToken(TokenValue& t) {
    TiInitValToken r;
    r.rec = t.sym;
    r.text = t.text;
    r.ownsText = t.ownsText;
    t = TokenValue{};
    return r;
}

} // namespace

ParseValue ParseContext::InitLiteral(ParseValue& lit, ParseValue* minus) {
    ParseValue r;
    r.pos = minus != nullptr ? minus->pos : lit.pos;
    if (lit.tok.sym == nullptr) {
        ReleaseLiteral(lit.tok); // no record: the scanner reported why
        return r;
    }
    TextLocation at = lit.pos;
    r.init = TiInitValSpec::MakeLiteral(InitToken(lit.tok), at, sink);
    if (r.init != nullptr && minus != nullptr) {
        short rc = r.init->Negate();
        if (rc == initval::MSG_MINUS_IGNORED && sink != nullptr) {
            sink->Report(errmess::SEV_WARNING, rc, minus->pos.row, minus->pos.col);
        } else if (rc == initval::MSG_NO_MEMORY) {
            ReportNoMemory(__LINE__);
        }
    }
    return r;
}

ParseValue ParseContext::InitName(ParseValue& name) {
    ParseValue r;
    r.pos = name.pos;
    SymAttr* s = name.tok.sym;
    if (s == nullptr) {
        return r;
    }
    TiInitValToken t;
    t.rec = s;
    r.init = TiInitValSpec::MakeName(s, t, name.pos, sink);
    return r;
}

ParseValue ParseContext::InitArray(ParseValue& open, ParseValue& list) {
    ParseValue r;
    r.pos = open.pos;
    r.init = TiInitValSpec::MakeArrayList(open.pos, list.init, sink);
    list.init = nullptr;
    return r;
}

ParseValue ParseContext::InitStruct(ParseValue& open, ParseValue& list) {
    ParseValue r;
    r.pos = open.pos;
    r.init = TiInitValSpec::MakeStructList(open.pos, list.init, sink);
    list.init = nullptr;
    return r;
}

ParseValue ParseContext::InitAppend(ParseValue& list, ParseValue& rec) {
    ParseValue r;
    r.pos = list.pos;
    r.init = TiInitValSpec::Append(list.init, rec.init);
    list.init = nullptr;
    rec.init = nullptr;
    return r;
}

ParseValue ParseContext::InitRepeat(ParseValue& count, ParseValue& list) {
    ParseValue r;
    r.pos = count.pos;
    r.init = TiInitValSpec::MakeRepetition(InitToken(count.tok), count.pos, list.init, sink);
    list.init = nullptr;
    return r;
}

ParseValue ParseContext::InitAssign(ParseValue& name, ParseValue& value) {
    ParseValue r;
    r.pos = name.pos;
    TiInitValToken t;
    t.rec = name.tok.sym;
    r.init = TiInitValSpec::MakeAssign(t, name.pos, value.init, sink);
    value.init = nullptr;
    return r;
}

// ================================================================== units

ParseValue ParseContext::BeginUnit(ParseValue& kw, ParseValue& name, ParseValue* resultType) {
    unsigned char unitType = kw.token == T_FUNCTION         ? decl::UNIT_FUNCTION
                             : kw.token == T_FUNCTION_BLOCK ? decl::UNIT_FUNCTION_BLOCK
                                                            : decl::UNIT_PROGRAM;
    SymAttr* nameRec = name.sym != nullptr ? name.sym : name.tok.sym;
    ParseValue r;
    r.pos = kw.pos;
    r.num = unitType;
    IlReset();
    jumps.clear();
    if (nameRec != nullptr && nameRec->GetName() != nullptr && set != nullptr) {
        // A unit compiled again loses its old scope table: the trees built
        // so far that refer into it go first.
        SymAttr* old = set->GetGlobalTab()->lookup(nameRec->GetName());
        if (old != nullptr && old->GetKind() == sym::KIND_POU && old->GetScopeTab() != nullptr) {
            DropTreesInto(old->GetScopeTab());
        }
    }
    if (decl != nullptr) {
        decl->BeginUnit(nameRec, unitType, resultType != nullptr ? resultType->tok.sym : nullptr,
                        name.pos);
        r.sym = decl->GetCurrentUnit();
    }
    if (r.sym == nullptr) {
        r.sym = nameRec; // the name was taken: the tree still names it
    }
    return r;
}

void ParseContext::EndUnit(ParseValue& head, ParseValue& body) {
    if (decl != nullptr) {
        decl->EndUnit();
    }
    AttachUnitBody(head.sym, head.pos, body.node);
    body.node = nullptr;
    IlReset();
    jumps.clear();
}

void ParseContext::AbandonUnit(ParseValue& /*head*/) {
    if (decl != nullptr) {
        decl->EndUnit();
    }
    IlReset();
    jumps.clear();
}

void ParseContext::AttachUnitBody(SymAttr* unit, TextLocation pos, TiNode* body) {
    TiNode* label = new (std::nothrow) TiNode(tree::LABEL, TiLink(unit), TiLink(body), nullptr);
    if (label == nullptr) {
        ReportNoMemory(__LINE__);
        delete body;
        return;
    }
    label->SetPos(pos.row, pos.col);
    try {
        unitLabels.push_back(label);
    } catch (const std::bad_alloc&) {
        ReportNoMemory(__LINE__);
        delete label;
    }
}

void ParseContext::DropTreesInto(SymTab* table) {
    // A tree refers into the table when one of its symbols is the table's
    // record of that name.
    auto refersInto = [table](const TiNode* root) {
        std::vector<const TiNode*> todo;
        try {
            todo.push_back(root);
        } catch (const std::bad_alloc&) {
            return true; // cannot tell: dropped to be safe
        }
        while (!todo.empty()) {
            const TiNode* n = todo.back();
            todo.pop_back();
            for (int i = 1; i <= 3; ++i) {
                const TiLink& l = n->Link(i);
                if (l.Tag() == TiLinkTag::Node) {
                    try {
                        todo.push_back(l.AsNode());
                    } catch (const std::bad_alloc&) {
                        return true;
                    }
                } else if (const SymAttr* s = l.AsSymbol()) {
                    if (s->GetName() != nullptr && table->lookup(s->GetName()) == s) {
                        return true;
                    }
                } else if (const TiStepLists* st = l.AsSteps()) {
                    for (const TiStepRef* r : {st->from, st->to}) {
                        for (; r != nullptr; r = r->next) {
                            if (r->step != nullptr && r->step->GetName() != nullptr &&
                                table->lookup(r->step->GetName()) == r->step) {
                                return true;
                            }
                        }
                    }
                }
            }
        }
        return false;
    };
    size_t w = 0;
    for (TiNode* l : unitLabels) {
        if (refersInto(l)) {
            delete l;
        } else {
            unitLabels[w++] = l;
        }
    }
    unitLabels.resize(w);
}

ParseValue ParseContext::BeginSection(ParseValue& kw, ParseValue* qualifier) {
    unsigned short flag = 0;
    switch (kw.token) {
    case T_VAR: flag = decl::SEC_VAR; break;
    case T_VAR_INPUT: flag = decl::SEC_VAR_INPUT; break;
    case T_VAR_OUTPUT: flag = decl::SEC_VAR_OUTPUT; break;
    case T_VAR_IN_OUT: flag = decl::SEC_VAR_IN_OUT; break;
    case T_VAR_EXTERNAL: flag = decl::SEC_VAR_EXTERNAL; break;
    case T_VAR_GLOBAL: flag = decl::SEC_VAR_GLOBAL; break;
    case T_VAR_ACCESS: flag = decl::SEC_VAR_ACCESS; break;
    default: break;
    }
    if (qualifier != nullptr) {
        flag |= qualifier->token == T_CONSTANT ? decl::SEC_CONSTANT
                : qualifier->token == T_RETAIN ? decl::SEC_RETAIN
                                               : 0;
    }
    if (decl != nullptr) {
        decl->BeginSection(flag, kw.pos);
    }
    ParseValue r;
    r.pos = kw.pos;
    r.num = flag;
    return r;
}

void ParseContext::EndSection(ParseValue& head) {
    if (decl != nullptr) {
        // Names that a syntax error left without type go with the section.
        decl->DeclareVarType(nullptr, nullptr);
        decl->EndSection(static_cast<unsigned short>(head.num));
    }
}

void ParseContext::AbandonSection(ParseValue& head) {
    EndSection(head);
}

void ParseContext::DeclareVariable(ParseValue& name, ParseValue* address) {
    if (decl != nullptr) {
        decl->DeclareVariable(name.sym != nullptr ? name.sym : name.tok.sym, name.pos,
                              address != nullptr ? address->tok.sym : nullptr);
    }
}

void ParseContext::DeclareVarType(ParseValue& spec) {
    if (decl != nullptr) {
        decl->DeclareVarType(spec.sym, spec.init);
    } else {
        TiDelInitValSpecList(spec.init);
    }
    spec.sym = nullptr;
    spec.init = nullptr;
}

void ParseContext::DeclareVarTypeNoSemicolon(ParseValue& spec) {
    Report(MSG_MISSING_SEMICOLON, lastShift);
    DeclareVarType(spec);
}

void ParseContext::DeclareAccess(ParseValue& path, ParseValue& spec) {
    ReleaseOwned(path);
    DeclareVarType(spec);
}

ParseValue ParseContext::AccessPath(ParseValue& path, ParseValue& /*name*/) {
    ParseValue r;
    r.pos = path.pos;
    return r;
}

void ParseContext::DropDeclaration() {
    if (decl != nullptr) {
        decl->DeclareVarType(nullptr, nullptr);
    }
}

void ParseContext::Configuration(ParseValue& /*name*/) {}

void ParseContext::Resource(ParseValue& /*name*/, ParseValue& /*processor*/) {}

void ParseContext::Task(ParseValue& /*name*/) {}

void ParseContext::TaskInit(ParseValue& /*name*/, ParseValue& value) {
    // The task's settings are read, not kept.
    ReleaseLiteral(value.tok);
    ReleaseOwned(value);
}

void ParseContext::ProgramInstance(ParseValue& /*name*/, ParseValue* /*task*/,
                                   ParseValue& /*type*/, ParseValue& args) {
    ReleaseOwned(args);
}

// ================================================================= bodies

ParseValue ParseContext::EmptyBody() {
    CheckJumps();
    IlReset();
    return ParseValue();
}

ParseValue ParseContext::EndBody(ParseValue& list) {
    // An Instruction List body ends with its current result when nothing
    // used it: that is the body's value (a function's result, a
    // transition's condition).
    ParseValue r = list;
    list.node = nullptr;
    if (il.expr != nullptr) {
        TiNode* e = il.expr;
        il.expr = nullptr;
        ParseValue item = TakeNode(e, TextLocation{e->line, e->column});
        r = AppendStatement(&r, item);
    }
    CheckJumps();
    IlReset();
    return r;
}

ParseValue ParseContext::EmptyList() {
    return ParseValue();
}

ParseValue ParseContext::AppendStatement(ParseValue* list, ParseValue& item) {
    ParseValue r;
    if (list != nullptr) {
        r = *list;
        list->node = nullptr;
    } else {
        r.pos = item.pos;
    }
    TiNode* statement = item.node;
    item.node = nullptr;
    if (statement == nullptr) {
        return r;
    }
    if (r.node == nullptr) {
        r.node = NewNode(tree::STATEM_LIST, TextLocation{statement->line, statement->column});
        r.last = r.node;
        if (r.node == nullptr) {
            IlForgetShared();
            delete statement;
            return r;
        }
    }
    if (TiAppendStatement(&r.last, statement, sink) != 0) {
        IlForgetShared(); // the statement was dropped, with what it held
    }
    return r;
}

ParseValue ParseContext::LateDeclaration(ParseValue& list, ParseValue& block) {
    Report(MSG_LATE_DECLARATION, block.pos);
    ParseValue r = list;
    list.node = nullptr;
    return r;
}

ParseValue ParseContext::MissingSemicolon(ParseValue& statement) {
    Report(MSG_MISSING_SEMICOLON, lastShift);
    ParseValue r = statement;
    statement.node = nullptr;
    return r;
}

ParseValue ParseContext::EmptyStatement(ParseValue& semicolon) {
    ParseValue r;
    r.pos = semicolon.pos;
    return r;
}

// ======================================================== Structured Text

ParseValue ParseContext::Assign(ParseValue& target, ParseValue& op, ParseValue& value) {
    short type = TypeOf(target.node);
    TiNode* n = NewNode(tree::ASS, op.pos, target.node, value.node);
    target.node = nullptr;
    value.node = nullptr;
    if (n != nullptr) {
        n->attribute = static_cast<uint16_t>(type);
    }
    return TakeNode(n, target.pos);
}

ParseValue ParseContext::AssignWithEqual(ParseValue& target, ParseValue& op, ParseValue& value) {
    Report(MSG_ASSIGN_EXPECTED, op.pos);
    return Assign(target, op, value);
}

SymAttr* ParseContext::ResolveCallee(SymAttr* callee, TextLocation pos, bool* conversion) {
    *conversion = false;
    callee = FindDefined(callee);
    if (callee == nullptr) {
        return nullptr;
    }
    if (callee->GetKind() != sym::KIND_UNDEFINED) {
        return callee;
    }
    // <type>_TO_<type>: a conversion to an elementary type.
    const char* name = NameOf(callee);
    const char* to = nullptr;
    for (const char* p = name; (p = std::strstr(p, "_TO_")) != nullptr; ++p) {
        to = p + 4;
    }
    if (to != nullptr && to != name + 4 && set != nullptr && set->GetElemTab() != nullptr) {
        char upper[40];
        size_t n = std::strlen(to);
        if (n > 0 && n < sizeof upper) {
            for (size_t i = 0; i <= n; ++i) {
                upper[i] = static_cast<char>(TiToUpper(static_cast<unsigned char>(to[i])));
            }
            if (SymAttr* target = set->GetElemTab()->lookup(upper)) {
                *conversion = true;
                return target;
            }
        }
    }
    ReportText(MSG_NOT_DECLARED, pos, name);
    return callee;
}

void ParseContext::ResolveFormals(SymAttr* callee, TiNode* args) {
    if (callee == nullptr) {
        return;
    }
    SymAttr* unit = callee->GetKind() == sym::KIND_POU ? callee : callee->GetTypeSpec(0);
    SymTab* table = unit != nullptr && unit->GetKind() == sym::KIND_POU ? unit->GetScopeTab()
                                                                          : nullptr;
    if (table == nullptr) {
        return;
    }
    for (TiNode* a = args; a != nullptr && a->kind == tree::ARG_ASS; a = a->Child(3)) {
        SymAttr* formal = a->Sym(1);
        if (formal == nullptr || formal->GetKind() == sym::KIND_KEYWORD) {
            continue; // positional, or EN / ENO
        }
        SymAttr* found = formal->GetName() != nullptr ? table->lookup(formal->GetName()) : nullptr;
        if (found != nullptr && found->GetKind() == sym::KIND_VARIABLE &&
            (found->GetContext() & decl::SEC_INTERFACE) != 0) {
            a->SetLink(1, TiLink(found));
        } else {
            ReportTexts(MSG_NO_COMPONENT, TextLocation{a->line, a->column}, NameOf(unit),
                        NameOf(formal));
        }
    }
}

ParseValue ParseContext::Call(ParseValue& callee, ParseValue& args) {
    bool conversion = false;
    SymAttr* target = ResolveCallee(callee.tok.sym, callee.pos, &conversion);
    TiNode* list = args.node;
    args.node = nullptr;
    if (conversion) {
        // CONV_DTYPE(target type, the first argument's value).
        TiNode* value = nullptr;
        if (list != nullptr && list->kind == tree::ARG_ASS) {
            value = list->TakeLink(2).AsNode();
        }
        IlForgetShared();
        delete list;
        TiNode* n = new (std::nothrow) TiNode(tree::CONV_DTYPE, TiLink(target), TiLink(value),
                                              nullptr);
        if (n == nullptr) {
            ReportNoMemory(__LINE__);
            delete value;
            return TakeNode(nullptr, callee.pos);
        }
        n->SetPos(callee.pos.row, callee.pos.col);
        n->attribute = static_cast<uint16_t>(target->GetID());
        return TakeNode(n, callee.pos);
    }
    ResolveFormals(target, list);
    TiNode* n = new (std::nothrow) TiNode(tree::CAL, TiLink(target), TiLink(list), nullptr);
    if (n == nullptr) {
        ReportNoMemory(__LINE__);
        delete list;
        return TakeNode(nullptr, callee.pos);
    }
    n->SetPos(callee.pos.row, callee.pos.col);
    if (target != nullptr && target->GetKind() == sym::KIND_POU) {
        SymAttr* result = target->GetTypeSpec(0);
        if (result != nullptr && result->IsDType()) {
            n->attribute = static_cast<uint16_t>(result->GetElemTypeID(0));
        }
    }
    return TakeNode(n, callee.pos);
}

ParseValue ParseContext::Exit(ParseValue& kw) {
    TiNode* n = new (std::nothrow) TiNode(tree::EXIT);
    if (n == nullptr) {
        ReportNoMemory(__LINE__);
    } else {
        n->SetPos(kw.pos.row, kw.pos.col);
    }
    return TakeNode(n, kw.pos);
}

ParseValue ParseContext::Return(ParseValue& kw) {
    TiNode* n = TiNode::MakeJump(tree::RET, tree::JMP_ALWAYS, nullptr);
    if (n == nullptr) {
        ReportNoMemory(__LINE__);
    } else {
        n->SetPos(kw.pos.row, kw.pos.col);
    }
    return TakeNode(n, kw.pos);
}

ParseValue ParseContext::If(ParseValue& kw, ParseValue& cond, ParseValue& then) {
    TiNode* n = NewNode(tree::IF_STATEM, kw.pos, cond.node, then.node);
    cond.node = nullptr;
    then.node = nullptr;
    ParseValue r = TakeNode(n, kw.pos);
    r.last = n;
    return r;
}

ParseValue ParseContext::ElsIf(ParseValue& chain, ParseValue& cond, ParseValue& then) {
    ParseValue r = chain;
    chain.node = nullptr;
    TextLocation at = cond.pos;
    TiNode* inner = NewNode(tree::IF_STATEM, at, cond.node, then.node);
    cond.node = nullptr;
    then.node = nullptr;
    if (inner == nullptr) {
        return r;
    }
    TiNode* list = NewNode(tree::STATEM_LIST, at, inner);
    if (list == nullptr) {
        return r;
    }
    if (r.last != nullptr) {
        r.last->SetLink(3, TiLink(list));
        r.last = inner;
    } else {
        delete list; // the chain's IF could not be made
    }
    return r;
}

ParseValue ParseContext::EndIf(ParseValue& chain, ParseValue* elseList) {
    ParseValue r = TakeNode(chain.node, chain.pos);
    chain.node = nullptr;
    if (elseList != nullptr && elseList->node != nullptr) {
        if (chain.last != nullptr) {
            chain.last->SetLink(3, TiLink(elseList->node));
        } else {
            IlForgetShared();
            delete elseList->node;
        }
        elseList->node = nullptr;
    }
    return r;
}

ParseValue ParseContext::IfNotClosed(ParseValue& chain, ParseValue* elseList) {
    TextLocation at;
    if (scanner != nullptr) {
        scanner->GetTokenEndPos(at.row, at.col);
    }
    Report(MSG_NOT_CLOSED, at);
    return EndIf(chain, elseList);
}

ParseValue ParseContext::BeginCase(ParseValue& kw, ParseValue& selector) {
    ParseValue r = TakeNode(selector.node, kw.pos);
    selector.node = nullptr;
    caseSelectors.push_back(r.node);
    return r;
}

void ParseContext::AbandonCase(ParseValue& head) {
    if (!caseSelectors.empty()) {
        caseSelectors.pop_back();
    }
    ReleaseOwned(head);
}

ParseValue ParseContext::CaseElement(ParseValue* body, ParseValue& labels) {
    TiNode* elem = NewNode(tree::CASE_ELEM, labels.pos, labels.node);
    labels.node = nullptr;
    ParseValue r;
    if (body != nullptr) {
        r = *body;
        body->node = nullptr;
    } else {
        r.pos = labels.pos;
    }
    if (elem == nullptr) {
        return r;
    }
    if (r.node == nullptr) {
        r.node = elem;
    } else if (r.last != nullptr) {
        r.last->SetLink(3, TiLink(elem));
    } else {
        delete elem;
        return r;
    }
    r.last = elem;
    r.aux = nullptr;
    return r;
}

ParseValue ParseContext::CaseStatement(ParseValue& body, ParseValue& item) {
    ParseValue r = body;
    body.node = nullptr;
    TiNode* statement = item.node;
    item.node = nullptr;
    if (statement == nullptr) {
        return r;
    }
    if (r.last == nullptr) {
        IlForgetShared();
        delete statement;
        return r;
    }
    if (r.aux == nullptr) {
        TiNode* list =
            NewNode(tree::STATEM_LIST, TextLocation{statement->line, statement->column});
        if (list == nullptr) {
            delete statement;
            return r;
        }
        r.last->SetLink(2, TiLink(list));
        r.aux = list;
    }
    TiAppendStatement(&r.aux, statement, sink);
    return r;
}

ParseValue ParseContext::CaseLabel(ParseValue* labels, ParseValue& label) {
    ParseValue r;
    if (labels != nullptr) {
        r = *labels;
        labels->node = nullptr;
    } else {
        r.pos = label.pos;
    }
    TiNode* n = label.node;
    label.node = nullptr;
    if (n == nullptr) {
        return r;
    }
    if (r.node == nullptr) {
        r.node = n;
    } else if (r.last != nullptr) {
        r.last->SetLink(3, TiLink(n));
    } else {
        delete n;
        return r;
    }
    r.last = n;
    return r;
}

ParseValue ParseContext::CaseRange(ParseValue& lo, ParseValue* hi) {
    TiNode* n = NewNode(tree::CASE_LIST, lo.pos, lo.node, hi != nullptr ? hi->node : nullptr);
    lo.node = nullptr;
    if (hi != nullptr) {
        hi->node = nullptr;
    }
    return TakeNode(n, lo.pos);
}

ParseValue ParseContext::CaseName(ParseValue& name) {
    SymAttr* s = FindDefined(name.tok.sym);
    if (s != nullptr && s->GetKind() == sym::KIND_UNDEFINED) {
        // An enumeration value: of the selector's type first, else of any
        // enumeration type in the global table.
        SymAttr* found = nullptr;
        TiNode* sel = caseSelectors.empty() ? nullptr : DeepestSymbol(caseSelectors.back());
        if (sel != nullptr && sel->kind == tree::SYMBOL && sel->Sym(1) != nullptr) {
            SymAttr* t = sel->Sym(1)->GetTypeSpec(static_cast<unsigned short>(IndexCount(sel->Child(2))));
            if (t != nullptr && t->IsEnum()) {
                for (SymAttr* v = t->GetEnumCompEntry(); v != nullptr; v = v->GetNext()) {
                    if (TiStricmp(const_cast<char*>(NameOf(v)), const_cast<char*>(NameOf(s))) ==
                        0) {
                        found = v;
                        break;
                    }
                }
            }
        }
        if (found == nullptr) {
            found = FindEnumerator(s->GetName());
        }
        if (found == nullptr) {
            ReportText(MSG_NOT_DECLARED, name.pos, NameOf(s));
        } else {
            s = found;
        }
    }
    return TakeNode(NewSymbolNode(s, name.pos), name.pos);
}

ParseValue ParseContext::EndCase(ParseValue& head, ParseValue& body, ParseValue* elseList) {
    if (!caseSelectors.empty()) {
        caseSelectors.pop_back();
    }
    TiNode* n = NewNode(tree::CASE_STATEM, head.pos, head.node, body.node,
                        elseList != nullptr ? elseList->node : nullptr);
    head.node = nullptr;
    body.node = nullptr;
    if (elseList != nullptr) {
        elseList->node = nullptr;
    }
    return TakeNode(n, head.pos);
}

ParseValue ParseContext::CaseNotClosed(ParseValue& head, ParseValue& body) {
    TextLocation at;
    if (scanner != nullptr) {
        scanner->GetTokenEndPos(at.row, at.col);
    }
    Report(MSG_NOT_CLOSED, at);
    return EndCase(head, body, nullptr);
}

ParseValue ParseContext::For(ParseValue& kw, ParseValue& var, ParseValue& from, ParseValue& to,
                             ParseValue& by, ParseValue& body) {
    TiNode* list = NewNode(tree::FOR_LIST, from.pos, from.node, to.node, by.node);
    from.node = nullptr;
    to.node = nullptr;
    by.node = nullptr;
    TiNode* n = NewNode(tree::FOR_STATEM, kw.pos, var.node, list, body.node);
    var.node = nullptr;
    body.node = nullptr;
    return TakeNode(n, kw.pos);
}

ParseValue ParseContext::ForNotClosed(ParseValue& kw, ParseValue& var, ParseValue& from,
                                      ParseValue& to, ParseValue& by, ParseValue& body) {
    TextLocation at;
    if (scanner != nullptr) {
        scanner->GetTokenEndPos(at.row, at.col);
    }
    Report(MSG_NOT_CLOSED, at);
    return For(kw, var, from, to, by, body);
}

ParseValue ParseContext::Loop(int32_t kind, ParseValue& kw, TiNode* c1, TiNode* c2, TiNode* c3) {
    return TakeNode(NewNode(kind, kw.pos, c1, c2, c3), kw.pos);
}

ParseValue ParseContext::While(ParseValue& kw, ParseValue& cond, ParseValue& body) {
    TiNode* c = cond.node;
    TiNode* b = body.node;
    cond.node = nullptr;
    body.node = nullptr;
    return Loop(tree::WHILE_STATEM, kw, c, b, nullptr);
}

ParseValue ParseContext::WhileNotClosed(ParseValue& kw, ParseValue& cond, ParseValue& body) {
    TextLocation at;
    if (scanner != nullptr) {
        scanner->GetTokenEndPos(at.row, at.col);
    }
    Report(MSG_NOT_CLOSED, at);
    return While(kw, cond, body);
}

ParseValue ParseContext::Repeat(ParseValue& kw, ParseValue& body, ParseValue& cond) {
    TiNode* c = cond.node;
    TiNode* b = body.node;
    cond.node = nullptr;
    body.node = nullptr;
    return Loop(tree::REPEAT, kw, c, b, nullptr);
}

ParseValue ParseContext::RepeatNotClosed(ParseValue& kw, ParseValue& body, ParseValue& cond) {
    TextLocation at;
    if (scanner != nullptr) {
        scanner->GetTokenEndPos(at.row, at.col);
    }
    Report(MSG_NOT_CLOSED, at);
    return Repeat(kw, body, cond);
}

SymAttr* ParseContext::FindDefined(SymAttr* s) {
    if (s == nullptr || s->GetKind() != sym::KIND_UNDEFINED || s->GetName() == nullptr ||
        set == nullptr) {
        return s;
    }
    // An undefined record can hide a declared one of an outer scope: the
    // owner record of a unit's table stands for the unit (a function's
    // result), and the scanner enters names it does not know where it is.
    auto defined = [&](SymTab* t) -> SymAttr* {
        SymAttr* r = t != nullptr ? t->lookup(s->GetName()) : nullptr;
        return r != nullptr && r->GetKind() != sym::KIND_UNDEFINED ? r : nullptr;
    };
    if (SymAttr* r = defined(set->GetCurrent())) {
        return r;
    }
    for (unsigned short i = 0; SymTab* t = set->GetStackTab(i); ++i) {
        if (SymAttr* r = defined(t)) {
            return r;
        }
    }
    if (SymAttr* r = defined(set->GetUnitTab())) {
        return r;
    }
    if (SymAttr* r = defined(set->GetGlobalTab())) {
        return r;
    }
    return s;
}

ParseValue ParseContext::Symbol(ParseValue& name) {
    SymAttr* s = FindDefined(name.tok.sym);
    if (name.token == tok::NAME && s != nullptr && s->GetKind() == sym::KIND_UNDEFINED) {
        if (SymAttr* e = FindEnumerator(s->GetName())) {
            s = e;
        } else {
            ReportText(MSG_NOT_DECLARED, name.pos, NameOf(s));
        }
    }
    return TakeNode(NewSymbolNode(s, name.pos), name.pos);
}

ParseValue ParseContext::AddIndex(ParseValue* list, ParseValue& expr) {
    TiNode* n = NewNode(tree::ADRADD, expr.pos, expr.node);
    expr.node = nullptr;
    ParseValue r;
    if (list != nullptr) {
        r = *list;
        list->node = nullptr;
    } else {
        r.pos = expr.pos;
    }
    if (n == nullptr) {
        return r;
    }
    if (r.node == nullptr) {
        r.node = n;
    } else {
        LastIndex(r.node)->SetLink(2, TiLink(n));
    }
    return r;
}

ParseValue ParseContext::Index(ParseValue& var, ParseValue& indexes) {
    ParseValue r = var;
    var.node = nullptr;
    TiNode* target = DeepestSymbol(r.node);
    TiNode* idx = indexes.node;
    indexes.node = nullptr;
    if (target == nullptr || target->kind != tree::SYMBOL || idx == nullptr) {
        IlForgetShared();
        delete idx;
        return r;
    }
    SymAttr* s = target->Sym(1);
    int have = IndexCount(target->Child(2));
    int add = IndexCount(idx);
    unsigned short dims = s != nullptr ? s->GetArrayDimension() : 0;
    if (s != nullptr && s->GetKind() != sym::KIND_UNDEFINED) {
        if (dims == 0) {
            const char* typeName = s->GetDTypeName(0);
            ReportText(MSG_NOT_ARRAY, indexes.pos, typeName != nullptr ? typeName : NameOf(s));
        } else if (have + add > dims) {
            if (sink != nullptr) {
                sink->Report(errmess::SEV_ERROR, MSG_TOO_MANY_INDEXES, indexes.pos.row,
                             indexes.pos.col);
            }
        }
    }
    if (have == 0) {
        target->SetLink(2, TiLink(idx));
    } else {
        LastIndex(target->Child(2))->SetLink(2, TiLink(idx));
    }
    return r;
}

SymAttr* ParseContext::SelectScopeType(TiNode* symbolNode, SymTab** table) {
    *table = nullptr;
    SymAttr* s = symbolNode != nullptr ? symbolNode->Sym(1) : nullptr;
    if (s == nullptr) {
        return nullptr;
    }
    if (s->GetKind() == sym::KIND_FB_INSTANCE) {
        SymAttr* unit = s->GetTypeSpec(0);
        *table = unit != nullptr ? unit->GetScopeTab() : nullptr;
        if (*table == nullptr) {
            *table = s->GetScopeTab();
        }
        return unit;
    }
    SymAttr* t = s->GetTypeSpec(static_cast<unsigned short>(IndexCount(symbolNode->Child(2))));
    if (t != nullptr && t->GetKind() == sym::KIND_POU) {
        // An instance declared with a function-block type.
        *table = t->GetScopeTab();
        return t;
    }
    if (t != nullptr && t->IsDType() && t->IsStruct()) {
        *table = t->GetScopeTab();
    }
    return t;
}

ParseValue ParseContext::Select(ParseValue& var, ParseValue& name) {
    ParseValue r = var;
    var.node = nullptr;
    TiNode* target = DeepestSymbol(r.node);
    SymAttr* comp = name.tok.sym;
    if (target != nullptr && target->kind == tree::SYMBOL && target->Sym(1) != nullptr &&
        target->Sym(1)->GetKind() != sym::KIND_UNDEFINED) {
        SymTab* table = nullptr;
        SymAttr* type = SelectScopeType(target, &table);
        SymAttr* found = table != nullptr && comp != nullptr && comp->GetName() != nullptr
                             ? table->lookup(comp->GetName())
                             : nullptr;
        if (found != nullptr) {
            comp = found;
        } else {
            ReportTexts(MSG_NO_COMPONENT, name.pos,
                        type != nullptr ? NameOf(type) : NameOf(target->Sym(1)), NameOf(comp));
        }
    }
    TiNode* n = NewSymbolNode(comp, name.pos);
    if (n != nullptr) {
        if (target != nullptr && target->kind == tree::SYMBOL) {
            target->SetLink(3, TiLink(n));
        } else {
            delete n;
        }
    }
    return r;
}

ParseValue ParseContext::Binary(ParseValue& left, ParseValue& op, ParseValue& right) {
    int32_t kind = tree::ADD;
    switch (op.token) {
    case T_OR: kind = tree::OR; break;
    case T_XOR: kind = tree::XOR; break;
    case T_AND:
    case '&': kind = tree::AND; break;
    case '=': kind = tree::EQ; break;
    case tok::NOT_EQUAL: kind = tree::NE; break;
    case '<': kind = tree::LT; break;
    case '>': kind = tree::GT; break;
    case tok::LESS_EQUAL: kind = tree::LE; break;
    case tok::GREATER_EQUAL: kind = tree::GE; break;
    case '+': kind = tree::ADD; break;
    case '-': kind = tree::SUB; break;
    case '*': kind = tree::MUL; break;
    case '/': kind = tree::DIV; break;
    case T_MOD: kind = tree::MOD; break;
    case tok::POWER: kind = tree::POWER; break;
    default: break;
    }
    short type = IsComparison(kind) ? static_cast<short>(iec::TYPE_BOOL) : TypeOf(left.node);
    if (type == 0) {
        type = TypeOf(right.node);
    }
    TiNode* n = NewNode(kind, op.pos, left.node, right.node);
    left.node = nullptr;
    right.node = nullptr;
    if (n != nullptr) {
        n->attribute = static_cast<uint16_t>(type);
    }
    return TakeNode(n, left.pos);
}

ParseValue ParseContext::Unary(ParseValue& op, ParseValue& operand) {
    int32_t kind = op.token == T_NOT ? tree::NOT : tree::UMINUS;
    short type = TypeOf(operand.node);
    TiNode* n = NewNode(kind, op.pos, operand.node);
    operand.node = nullptr;
    if (n != nullptr) {
        n->attribute = static_cast<uint16_t>(type);
    }
    return TakeNode(n, op.pos);
}

ParseValue ParseContext::Constant(ParseValue& lit) {
    return TakeNode(ConstantNode(lit), lit.pos);
}

ParseValue ParseContext::NegativeConstant(ParseValue& minus, ParseValue& lit) {
    IEC_CONSTANT* c = lit.tok.sym != nullptr ? lit.tok.sym->GetConstant() : nullptr;
    if (c != nullptr && c->IsInteger()) {
        c->value.digit.Negate();
        c->flags ^= iec::CONST_NEGATIVE;
        if (c->typeId == iec::UNTYPED_INT && c->value.digit.IsNegative()) {
            c->typeId = iec::UNTYPED_SIGNED;
        } else if (c->typeId == iec::UNTYPED_SIGNED && !c->value.digit.IsNegative()) {
            c->typeId = iec::UNTYPED_INT;
        }
    } else if (c != nullptr && (c->flags & iec::CONST_REAL) != 0) {
        c->value.dbl = -c->value.dbl;
        c->flags ^= iec::CONST_NEGATIVE;
    } else {
        // No sign of its own: the negation stays an operation.
        ParseValue operand = Constant(lit);
        return Unary(minus, operand);
    }
    TiNode* n = ConstantNode(lit);
    if (n != nullptr) {
        n->SetPos(minus.pos.row, minus.pos.col);
        n->attribute = static_cast<uint16_t>(n->Const(1)->GetElemDTypeID());
    }
    return TakeNode(n, minus.pos);
}

ParseValue ParseContext::AddArgument(ParseValue* list, ParseValue& arg) {
    ParseValue r;
    if (list != nullptr) {
        r = *list;
        list->node = nullptr;
    } else {
        r.pos = arg.pos;
    }
    TiNode* n = arg.node;
    arg.node = nullptr;
    if (n == nullptr) {
        return r;
    }
    if (r.node == nullptr) {
        r.node = n;
    } else if (r.last != nullptr) {
        r.last->SetLink(3, TiLink(n));
    } else {
        delete n;
        return r;
    }
    r.last = n;
    return r;
}

ParseValue ParseContext::Argument(ParseValue* formal, ParseValue& actual, bool output) {
    TextLocation at = formal != nullptr ? formal->pos : actual.pos;
    SymAttr* f = formal != nullptr ? formal->tok.sym : nullptr;
    TiNode* n = new (std::nothrow) TiNode(tree::ARG_ASS, TiLink(f), TiLink(actual.node), nullptr);
    if (n == nullptr) {
        ReportNoMemory(__LINE__);
        IlForgetShared();
        delete actual.node;
    } else {
        n->SetPos(at.row, at.col);
        n->attribute = output ? 1 : 0;
    }
    actual.node = nullptr;
    return TakeNode(n, at);
}

ParseValue ParseContext::NegatedOutput(ParseValue& formal, ParseValue& var) {
    ParseValue r = Argument(&formal, var, true);
    if (r.node != nullptr) {
        r.node->attribute = 2;
    }
    return r;
}

// ======================================================= Instruction List

void ParseContext::IlSet(TiNode* expr) {
    IlForgetShared();
    delete il.expr;
    il.expr = expr;
    il.def = nullptr;
    il.have = expr != nullptr;
}

void ParseContext::IlForgetShared() {
    // The EXPR_DEF of a current result lives in a statement: once a tree
    // is dropped it may be gone, so it is never referred to again.
    il.def = nullptr;
    il.have = il.expr != nullptr;
    for (IlDeferred& d : ilStack) {
        d.outer.def = nullptr;
        d.outer.have = d.outer.expr != nullptr;
    }
}

void ParseContext::IlReset() {
    delete il.expr;
    il = IlResult();
    for (IlDeferred& d : ilStack) {
        delete d.outer.expr;
    }
    ilStack.clear();
}

// The current result for a use that leaves it current (ST, S, R,
// conditions): an EXPR_DEF the first time, an EXPR_REF to it afterwards.
TiNode* ParseContext::IlUse(TextLocation pos) {
    if (il.expr != nullptr) {
        TiNode* def = TiNode::MakeExprDef(il.expr);
        if (def == nullptr) {
            ReportNoMemory(__LINE__);
            return nullptr;
        }
        def->SetPos(il.expr->line, il.expr->column);
        il.expr = nullptr;
        il.def = def;
        il.have = true;
        return def;
    }
    if (il.def != nullptr) {
        TiNode* ref = TiNode::MakeExprRef(il.def);
        if (ref == nullptr) {
            ReportNoMemory(__LINE__);
            return nullptr;
        }
        ref->SetPos(pos.row, pos.col);
        return ref;
    }
    ReportText(MSG_EXPECTED, pos, "LD");
    return nullptr;
}

TiNode* ParseContext::IlUseAsStatement(TextLocation pos) {
    return IlUse(pos);
}

int32_t ParseContext::IlOperatorKind(short token, bool* negate) const {
    *negate = token == T_ANDN || token == T_ORN || token == T_XORN;
    switch (token) {
    case T_AND:
    case '&':
    case T_ANDN: return tree::AND;
    case T_OR:
    case T_ORN: return tree::OR;
    case T_XOR:
    case T_XORN: return tree::XOR;
    case T_ADD: return tree::ADD;
    case T_SUB: return tree::SUB;
    case T_MUL: return tree::MUL;
    case T_DIV: return tree::DIV;
    case T_MOD: return tree::MOD;
    case T_GT: return tree::GT;
    case T_GE: return tree::GE;
    case T_EQ: return tree::EQ;
    case T_NE: return tree::NE;
    case T_LE: return tree::LE;
    case T_LT: return tree::LT;
    default: return tree::ADD;
    }
}

ParseValue ParseContext::IlLabel(ParseValue& name) {
    SymAttr* s = name.tok.sym;
    if (s != nullptr && s->GetKind() == sym::KIND_UNDEFINED) {
        s->DefLabelList(nullptr);
    } else if (s != nullptr && s->GetKind() != sym::KIND_LABEL_LIST) {
        ReportText(decl::MSG_ALREADY_DECLARED, name.pos, NameOf(s));
    }
    TiNode* n = new (std::nothrow) TiNode(tree::LABEL, TiLink(s), nullptr, nullptr);
    if (n == nullptr) {
        ReportNoMemory(__LINE__);
    } else {
        n->SetPos(name.pos.row, name.pos.col);
    }
    return TakeNode(n, name.pos);
}

ParseValue ParseContext::IlLoad(ParseValue& op, ParseValue& operand) {
    TiNode* e = operand.node;
    operand.node = nullptr;
    if (e != nullptr && op.token == T_LDN) {
        short type = TypeOf(e);
        e = NewNode(tree::NOT, op.pos, e);
        if (e != nullptr) {
            e->attribute = static_cast<uint16_t>(type);
        }
    }
    IlSet(e);
    ParseValue r;
    r.pos = op.pos;
    return r;
}

ParseValue ParseContext::IlStore(ParseValue& op, ParseValue& target) {
    TiNode* v = IlUse(op.pos);
    if (v != nullptr && op.token == T_STN) {
        short type = TypeOf(v);
        v = NewNode(tree::NOT, op.pos, v);
        if (v != nullptr) {
            v->attribute = static_cast<uint16_t>(type);
        }
    }
    if (v == nullptr) {
        ReleaseOwned(target);
        ParseValue r;
        r.pos = op.pos;
        return r;
    }
    ParseValue value = TakeNode(v, op.pos);
    return Assign(target, op, value);
}

ParseValue ParseContext::IlSetReset(ParseValue& op, ParseValue& target) {
    const char* name = NameOf(op.tok.sym);
    bool set = TiStricmp(const_cast<char*>(name), const_cast<char*>("S")) == 0;
    bool reset = TiStricmp(const_cast<char*>(name), const_cast<char*>("R")) == 0;
    if (!set && !reset) {
        ReportText(MSG_NOT_DECLARED, op.pos, name);
        ReleaseOwned(target);
        ParseValue r;
        r.pos = op.pos;
        return r;
    }
    TiNode* cond = IlUse(op.pos);
    if (cond == nullptr) {
        ReleaseOwned(target);
        ParseValue r;
        r.pos = op.pos;
        return r;
    }
    ParseValue eq;
    eq.pos = op.pos;
    ParseValue value = TakeNode(BoolConstant(set, op.pos), op.pos);
    ParseValue assign = Assign(target, eq, value);
    TiNode* then = NewNode(tree::STATEM_LIST, op.pos, assign.node);
    return TakeNode(NewNode(tree::IF_STATEM, op.pos, cond, then), op.pos);
}

ParseValue ParseContext::IlOperator(ParseValue& op, ParseValue& operand) {
    bool negate = false;
    int32_t kind = IlOperatorKind(op.token, &negate);
    TiNode* right = operand.node;
    operand.node = nullptr;
    if (negate && right != nullptr) {
        short type = TypeOf(right);
        right = NewNode(tree::NOT, op.pos, right);
        if (right != nullptr) {
            right->attribute = static_cast<uint16_t>(type);
        }
    }
    TiNode* left = nullptr;
    if (il.expr != nullptr) {
        left = il.expr;
        il.expr = nullptr;
    } else {
        left = IlUse(op.pos);
    }
    if (left == nullptr) {
        IlForgetShared();
        delete right;
        ParseValue r;
        r.pos = op.pos;
        return r;
    }
    ParseValue l = TakeNode(left, op.pos);
    ParseValue rr = TakeNode(right, op.pos);
    ParseValue combined = Binary(l, op, rr);
    if (combined.node != nullptr) {
        // The operator's kind from the Instruction List keyword.
        combined.node->kind = kind;
        if (IsComparison(kind)) {
            combined.node->attribute = static_cast<uint16_t>(iec::TYPE_BOOL);
        }
    }
    il.def = nullptr;
    IlSet(combined.node);
    ParseValue r;
    r.pos = op.pos;
    return r;
}

ParseValue ParseContext::IlOpenParen(ParseValue& op, ParseValue& operand) {
    ParseValue r;
    r.pos = op.pos;
    if (ilStack.size() >= kMaxIlNesting) {
        Report(MSG_STACK_OVERFLOW, op.pos);
        ReleaseOwned(operand);
        return r;
    }
    bool negate = false;
    int32_t kind = IlOperatorKind(op.token, &negate);
    IlDeferred d{kind, negate, il, op.pos};
    try {
        ilStack.push_back(d);
    } catch (const std::bad_alloc&) {
        ReportNoMemory(__LINE__);
        ReleaseOwned(operand);
        return r;
    }
    il = IlResult();
    IlSet(operand.node);
    operand.node = nullptr;
    return r;
}

ParseValue ParseContext::IlCloseParen(ParseValue& paren) {
    ParseValue r;
    r.pos = paren.pos;
    if (ilStack.empty()) {
        ReportText(MSG_EXPECTED, paren.pos, "(");
        return r;
    }
    IlDeferred d = ilStack.back();
    ilStack.pop_back();
    TiNode* inner = il.expr != nullptr ? il.expr : IlUse(paren.pos);
    il.expr = nullptr;
    il = d.outer;
    if (inner == nullptr) {
        return r;
    }
    if (d.negate) {
        short type = TypeOf(inner);
        inner = NewNode(tree::NOT, d.pos, inner);
        if (inner != nullptr) {
            inner->attribute = static_cast<uint16_t>(type);
        }
    }
    TiNode* left = nullptr;
    if (il.expr != nullptr) {
        left = il.expr;
        il.expr = nullptr;
    } else {
        left = IlUse(d.pos);
    }
    if (left == nullptr) {
        delete inner;
        IlSet(nullptr);
        return r;
    }
    short type = IsComparison(d.kind) ? static_cast<short>(iec::TYPE_BOOL) : TypeOf(left);
    TiNode* n = NewNode(d.kind, d.pos, left, inner);
    if (n != nullptr) {
        n->attribute = static_cast<uint16_t>(type);
    }
    IlSet(n);
    return r;
}

ParseValue ParseContext::IlNot(ParseValue& op) {
    ParseValue r;
    r.pos = op.pos;
    TiNode* e = nullptr;
    if (il.expr != nullptr) {
        e = il.expr;
        il.expr = nullptr;
    } else {
        e = IlUse(op.pos);
    }
    if (e == nullptr) {
        return r;
    }
    short type = TypeOf(e);
    TiNode* n = NewNode(tree::NOT, op.pos, e);
    if (n != nullptr) {
        n->attribute = static_cast<uint16_t>(type);
    }
    IlSet(n);
    return r;
}

ParseValue ParseContext::IlJump(ParseValue& op, ParseValue& label) {
    uint16_t cond = op.token == T_JMPC    ? tree::JMP_COND
                    : op.token == T_JMPCN ? tree::JMP_COND_NEG
                                          : tree::JMP_ALWAYS;
    SymAttr* target = label.tok.sym;
    try {
        jumps.push_back(Jump{target, label.pos});
    } catch (const std::bad_alloc&) {
        ReportNoMemory(__LINE__);
    }
    TiNode* condition = cond != tree::JMP_ALWAYS ? IlUseAsStatement(op.pos) : nullptr;
    TiNode* j = TiNode::MakeJump(tree::JMP, cond, target);
    if (j == nullptr) {
        ReportNoMemory(__LINE__);
    } else {
        j->SetPos(op.pos.row, op.pos.col);
    }
    return TakeNode(MakeList(condition, j), op.pos);
}

ParseValue ParseContext::IlCall(ParseValue& op, ParseValue& callee, ParseValue* args) {
    ParseValue empty;
    ParseValue call = Call(callee, args != nullptr ? *args : empty);
    if (op.token == T_CAL || call.node == nullptr) {
        return call;
    }
    TiNode* cond = IlUse(op.pos);
    if (cond != nullptr && op.token == T_CALCN) {
        cond = NewNode(tree::NOT, op.pos, cond);
        if (cond != nullptr) {
            cond->attribute = static_cast<uint16_t>(iec::TYPE_BOOL);
        }
    }
    TiNode* n = NewNode(tree::CAL_COND, op.pos, cond, call.node);
    call.node = nullptr;
    if (n != nullptr) {
        n->attribute = static_cast<uint16_t>(iec::TYPE_BOOL);
    }
    return TakeNode(n, op.pos);
}

ParseValue ParseContext::IlReturn(ParseValue& op) {
    uint16_t cond = op.token == T_RETC    ? tree::JMP_COND
                    : op.token == T_RETCN ? tree::JMP_COND_NEG
                                          : tree::JMP_ALWAYS;
    TiNode* condition = cond != tree::JMP_ALWAYS ? IlUseAsStatement(op.pos) : nullptr;
    TiNode* ret = TiNode::MakeJump(tree::RET, cond, nullptr);
    if (ret == nullptr) {
        ReportNoMemory(__LINE__);
    } else {
        ret->SetPos(op.pos.row, op.pos.col);
    }
    (void)T_RET;
    return TakeNode(MakeList(condition, ret), op.pos);
}

void ParseContext::CheckJumps() {
    for (const Jump& j : jumps) {
        if (j.label != nullptr && j.label->GetKind() != sym::KIND_LABEL_LIST) {
            ReportText(MSG_NOT_DECLARED, j.pos, NameOf(j.label));
        }
    }
    jumps.clear();
}

// =============================================== Sequential Function Chart

ParseValue ParseContext::AppendSfc(ParseValue* list, ParseValue& element) {
    ParseValue r;
    if (list != nullptr) {
        r = *list;
        list->node = nullptr;
    } else {
        r.pos = element.pos;
    }
    TiNode* n = element.node;
    element.node = nullptr;
    if (n == nullptr) {
        return r;
    }
    if (r.node == nullptr) {
        r.node = n;
    } else if (r.last != nullptr) {
        r.last->SetLink(3, TiLink(n));
    } else {
        delete n;
        return r;
    }
    r.last = n;
    return r;
}

ParseValue ParseContext::Step(ParseValue& kw, ParseValue& name, ParseValue& actions) {
    int32_t kind = kw.token == T_INITIAL_STEP ? tree::INITIAL_STEP : tree::STEP;
    TiNode* n = new (std::nothrow) TiNode(kind, TiLink(name.tok.sym), TiLink(actions.node), nullptr);
    if (n == nullptr) {
        ReportNoMemory(__LINE__);
        delete actions.node;
    } else {
        n->SetPos(name.pos.row, name.pos.col);
    }
    actions.node = nullptr;
    return TakeNode(n, kw.pos);
}

ParseValue ParseContext::TransitionName(ParseValue& kw, ParseValue* name) {
    ParseValue r;
    r.pos = kw.pos;
    r.steps = new (std::nothrow) TiStepLists();
    if (r.steps == nullptr) {
        ReportNoMemory(__LINE__);
    } else if (name != nullptr) {
        r.steps->name = name->tok.sym;
    }
    return r;
}

ParseValue ParseContext::AddStep(ParseValue* list, ParseValue& name) {
    ParseValue r;
    if (list != nullptr) {
        r = *list;
        list->steps = nullptr;
    } else {
        r.pos = name.pos;
        r.steps = new (std::nothrow) TiStepLists();
        if (r.steps == nullptr) {
            ReportNoMemory(__LINE__);
            return r;
        }
    }
    if (r.steps != nullptr && r.steps->Append(false, name.tok.sym, name.pos.row, name.pos.col) != 0) {
        ReportNoMemory(__LINE__);
    }
    return r;
}

ParseValue ParseContext::Transition(ParseValue& head, ParseValue& from, ParseValue& to,
                                    ParseValue& cond) {
    TiStepLists* steps = head.steps;
    head.steps = nullptr;
    if (steps != nullptr) {
        // The step names were collected as source lists of their own.
        if (from.steps != nullptr) {
            steps->from = from.steps->from;
            from.steps->from = nullptr;
        }
        if (to.steps != nullptr) {
            steps->to = to.steps->from;
            to.steps->from = nullptr;
        }
    }
    delete from.steps;
    delete to.steps;
    from.steps = nullptr;
    to.steps = nullptr;
    TiNode* n = TiNode::MakeTransition(steps, cond.node);
    if (n == nullptr) {
        ReportNoMemory(__LINE__);
        delete steps;
        IlForgetShared();
        delete cond.node;
    } else {
        n->SetPos(head.pos.row, head.pos.col);
    }
    cond.node = nullptr;
    return TakeNode(n, head.pos);
}

ParseValue ParseContext::Action(ParseValue& kw, ParseValue& name, ParseValue& body) {
    TiNode* n =
        new (std::nothrow) TiNode(tree::ACTION, TiLink(name.tok.sym), TiLink(body.node), nullptr);
    if (n == nullptr) {
        ReportNoMemory(__LINE__);
        delete body.node;
    } else {
        n->SetPos(name.pos.row, name.pos.col);
    }
    body.node = nullptr;
    return TakeNode(n, kw.pos);
}

ParseValue ParseContext::AppendAction(ParseValue& list, ParseValue& assoc) {
    return AppendSfc(list.node != nullptr ? &list : nullptr, assoc);
}

ParseValue ParseContext::ActionAssoc(ParseValue& action, ParseValue* qualifier, ParseValue* time) {
    uint16_t code = tree::QUAL_N;
    TextLocation qpos = qualifier != nullptr ? qualifier->pos : action.pos;
    if (qualifier != nullptr) {
        const char* q = NameOf(qualifier->tok.sym);
        bool known = false;
        for (uint16_t i = 0; i < sizeof kQualifiers / sizeof kQualifiers[0]; ++i) {
            if (TiStricmp(const_cast<char*>(q), const_cast<char*>(kQualifiers[i])) == 0) {
                code = i;
                known = true;
                break;
            }
        }
        if (!known) {
            ReportText(MSG_EXPECTED, qpos, kQualifiers[0]);
        }
    }
    TiNode* part = time != nullptr ? time->node : nullptr;
    if (time != nullptr) {
        time->node = nullptr;
    }
    TiNode* q = TiNode::MakeQualifier(code, action.tok.sym, part);
    if (q == nullptr) {
        ReportNoMemory(__LINE__);
        delete part;
    } else {
        q->SetPos(qpos.row, qpos.col);
    }
    TiNode* n =
        new (std::nothrow) TiNode(tree::ACTION_CAL, TiLink(action.tok.sym), TiLink(q), nullptr);
    if (n == nullptr) {
        ReportNoMemory(__LINE__);
        delete q;
    } else {
        n->SetPos(action.pos.row, action.pos.col);
    }
    return TakeNode(n, action.pos);
}
