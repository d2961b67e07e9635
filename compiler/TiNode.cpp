// Statement-tree nodes: construction, freeing, result types, statement-list
// appending and the text dump.
#include "compiler/TiNode.h"

#include "base/IEC_CONSTANT.h"
#include "base/IecTypeIds.h"
#include "base/TiValToLit.h"
#include "compiler/ErrMess.h"
#include "compiler/SymAttr.h"
#include "compiler/TiLocatedVar.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_map>
#include <vector>

namespace {

// How a kind is printed by the dump.
enum class Style : uint8_t {
    Plain,      // "%s / %04x", then the children
    Labelled,   // the name, then "# role:" labels before each present child
    Typed,      // "%s: %s" with the result type's name
    Numbered,   // "%s: %d" with the attribute
    ExprDef,    // "%s (refs: %d)"
    AdrAdd,     // "%s,  Dim:%d"
    Qualifier,  // "%s [%s]"
    Exit,       // "%s (%s)"
    Jump,       // "%s%s:"
    Transition, // name, FROM, steps, TO, steps, Condition
    Constant,   // "Const: ..."
    Symbol,     // "Sym: ..."
};

// Bits of KindInfo::required: children whose absence the dump shows as
// "*** NULL"; an absent child that is not required is left out.
constexpr uint8_t REQ1 = 1, REQ2 = 2;

struct KindInfo {
    int32_t kind;
    const char* name;
    Style style;
    uint8_t required;
    bool chain;           // child 3 is the next element of a chain, dumped at the same depth
    const char* roles[3]; // role labels of the Labelled style
};

const KindInfo kKinds[] = {
    {tree::CONSTANT, "CONSTANT", Style::Constant, 0, false, {}},
    {tree::SYMBOL, "SYMBOL", Style::Symbol, 0, false, {}},
    {tree::SYMBOL_DESC, "SYMBOL_DESC", Style::Plain, REQ1, false, {}},
    {tree::RET, "RET", Style::Jump, 0, false, {}},
    {tree::EXIT, "EXIT", Style::Exit, 0, false, {}},
    {tree::JMP, "JMP", Style::Jump, REQ1, false, {}},
    {tree::EXPR_DEF, "EXPR_DEF", Style::ExprDef, REQ1, false, {}},
    {tree::EXPR_REF, "EXPR_REF", Style::Plain, 0, false, {}},
    {tree::UMINUS, "UMINUS", Style::Numbered, REQ1, false, {}},
    {tree::NOT, "NOT", Style::Numbered, REQ1, false, {}},
    {tree::ASS, "ASS", Style::Plain, REQ1 | REQ2, false, {}},
    {tree::ARG_ASS, "ARG_ASS", Style::Plain, REQ1 | REQ2, true, {}},
    {tree::WHILE_STATEM,
     "WHILE_STATEM",
     Style::Labelled,
     0,
     false,
     {"expression", "statement list", nullptr}},
    {tree::REPEAT, "REPEAT", Style::Labelled, 0, false, {"expression", "statement list", nullptr}},
    {tree::CAL, "CAL", Style::Plain, REQ1, false, {}},
    {tree::CONV_DTYPE, "CONV_DTYPE", Style::Plain, REQ1 | REQ2, false, {}},
    {tree::LABEL, "LABEL", Style::Plain, REQ1, false, {}},
    {tree::ADRADD, "ADRADD", Style::AdrAdd, REQ1, false, {}},
    {tree::ACTION_CAL, "ACTION_CAL", Style::Plain, REQ1, true, {}},
    {tree::ADD, "ADD", Style::Typed, REQ1 | REQ2, false, {}},
    {tree::SUB, "SUB", Style::Typed, REQ1 | REQ2, false, {}},
    {tree::MUL, "MUL", Style::Typed, REQ1 | REQ2, false, {}},
    {tree::DIV, "DIV", Style::Typed, REQ1 | REQ2, false, {}},
    {tree::MOD, "MOD", Style::Typed, REQ1 | REQ2, false, {}},
    {tree::POWER, "POWER", Style::Typed, REQ1 | REQ2, false, {}},
    {tree::OR, "OR", Style::Typed, REQ1 | REQ2, false, {}},
    {tree::XOR, "XOR", Style::Typed, REQ1 | REQ2, false, {}},
    {tree::AND, "AND", Style::Typed, REQ1 | REQ2, false, {}},
    {tree::EQ, "EQ", Style::Typed, REQ1 | REQ2, false, {}},
    {tree::NE, "NE", Style::Typed, REQ1 | REQ2, false, {}},
    {tree::GT, "GT", Style::Typed, REQ1 | REQ2, false, {}},
    {tree::GE, "GE", Style::Typed, REQ1 | REQ2, false, {}},
    {tree::LT, "LT", Style::Typed, REQ1 | REQ2, false, {}},
    {tree::LE, "LE", Style::Typed, REQ1 | REQ2, false, {}},
    {tree::STATEM_LIST, "STATEM_LIST", Style::Plain, 0, true, {}},
    {tree::IF_STATEM,
     "IF_STATEM",
     Style::Labelled,
     0,
     false,
     {"expression", "Then statement list", "Else statement list"}},
    {tree::CASE_STATEM,
     "CASE_STATEM",
     Style::Labelled,
     0,
     false,
     {"expression", "Case element list", "Else statement list"}},
    {tree::CASE_ELEM, "CASE_ELEM", Style::Plain, REQ1, true, {}},
    {tree::CASE_LIST, "CASE_LIST", Style::Plain, 0, true, {}},
    {tree::FOR_STATEM,
     "FOR_STATEM",
     Style::Labelled,
     0,
     false,
     {"control variable", "For list", "statement list"}},
    {tree::FOR_LIST,
     "FOR_LIST",
     Style::Labelled,
     0,
     false,
     {"From expression", "To expression", "By expression"}},
    {tree::CAL_COND, "CAL_COND", Style::Typed, 0, false, {}},
    {tree::INITIAL_STEP, "INITIAL_STEP", Style::Plain, REQ1, true, {}},
    {tree::STEP, "STEP", Style::Plain, REQ1, true, {}},
    {tree::TRANSITION, "TRANSITION", Style::Transition, REQ2, true, {}},
    {tree::QUALIFIER, "QUALIFIER", Style::Qualifier, REQ1, false, {}},
    {tree::ACTION, "ACTION", Style::Plain, REQ1, true, {}},
    {tree::NIL, "NIL", Style::Numbered, 0, false, {}},
};

const KindInfo* FindKind(int32_t kind) {
    for (const KindInfo& k : kKinds) {
        if (k.kind == kind) {
            return &k;
        }
    }
    return nullptr;
}

// Kinds of unknown number: every present link is dumped, nothing required.
const KindInfo kUnknownKind = {0, "** Unknown node type", Style::Plain, 0, false, {}};

const char* const kQualifierNames[] = {"N", "S", "R", "L", "D", "P", "SD", "DS", "SL"};

struct TypeName {
    short id;
    const char* name;
};

const TypeName kTypeNames[] = {
    {iec::TYPE_SINT, "SINT"},
    {iec::TYPE_USINT, "USINT"},
    {iec::TYPE_INT, "INT"},
    {iec::TYPE_UINT, "UINT"},
    {iec::TYPE_DINT, "DINT"},
    {iec::TYPE_UDINT, "UDINT"},
    {iec::TYPE_BOOL, "BOOL"},
    {iec::TYPE_BYTE, "BYTE"},
    {iec::TYPE_WORD, "WORD"},
    {iec::TYPE_DWORD, "DWORD"},
    {iec::TYPE_LWORD, "LWORD"},
    {iec::TYPE_REAL, "REAL"},
    {iec::TYPE_LREAL, "LREAL"},
    {iec::TYPE_TIME, "TIME"},
    {iec::TYPE_DATE, "DATE"},
    {iec::TYPE_TIME_OF_DAY, "TIME_OF_DAY"},
    {iec::TYPE_DATE_AND_TIME, "DATE_AND_TIME"},
    {iec::TYPE_STRING, "STRING"},
    {iec::TYPE_ANY, "ANY"},
    {iec::TYPE_ANY_BIT, "ANY_BIT"},
    {iec::TYPE_ANY_DATE, "ANY_DATE"},
    {iec::TYPE_ANY_INT, "ANY_INT"},
    {iec::TYPE_ANY_NUM, "ANY_NUM"},
    {iec::TYPE_ANY_REAL, "ANY_REAL"},
};

// Counts the ADRADD nodes of an index chain linked through child 2.
int AdrAddCount(const TiNode* n) {
    int count = 0;
    while (n != nullptr && n->kind == tree::ADRADD && count < 65535) {
        ++count;
        n = n->Child(2);
    }
    return count;
}

char* CopyText(const char* text) {
    size_t len = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(len));
    if (copy != nullptr) {
        std::memcpy(copy, text, len);
    }
    return copy;
}

} // namespace

// ----------------------------------------------------------------- tree

const char* tree::QualifierName(uint16_t code) {
    return code < sizeof kQualifierNames / sizeof kQualifierNames[0] ? kQualifierNames[code]
                                                                     : "Unknown";
}

// ----------------------------------------------------------------- TiLink

TiLink TiLink::Ref(TiNode* node) {
    TiLink l;
    l.ptr = node;
    l.tag = node ? TiLinkTag::NodeRef : TiLinkTag::None;
    return l;
}

TiLink TiLink::SharedConstant(IEC_CONSTANT* constant) {
    TiLink l;
    l.ptr = constant;
    l.tag = constant ? TiLinkTag::ConstantRef : TiLinkTag::None;
    return l;
}

TiLink TiLink::OwnedText(char* text) {
    TiLink l;
    l.ptr = text;
    l.tag = text ? TiLinkTag::Text : TiLinkTag::None;
    return l;
}

bool TiLink::IsOwned() const {
    switch (tag) {
    case TiLinkTag::Node:
    case TiLinkTag::Constant:
    case TiLinkTag::Text:
    case TiLinkTag::Steps:
    case TiLinkTag::RefCount:
        return true;
    default:
        return false;
    }
}

TiNode* TiLink::AsNode() const {
    return tag == TiLinkTag::Node || tag == TiLinkTag::NodeRef ? static_cast<TiNode*>(ptr)
                                                               : nullptr;
}

SymAttr* TiLink::AsSymbol() const {
    return tag == TiLinkTag::Symbol ? static_cast<SymAttr*>(ptr) : nullptr;
}

IEC_CONSTANT* TiLink::AsConstant() const {
    return tag == TiLinkTag::Constant || tag == TiLinkTag::ConstantRef
               ? static_cast<IEC_CONSTANT*>(ptr)
               : nullptr;
}

const char* TiLink::AsText() const {
    return tag == TiLinkTag::Text ? static_cast<const char*>(ptr) : nullptr;
}

TiStepLists* TiLink::AsSteps() const {
    return tag == TiLinkTag::Steps ? static_cast<TiStepLists*>(ptr) : nullptr;
}

TiRefCount* TiLink::AsRefCount() const {
    return tag == TiLinkTag::RefCount ? static_cast<TiRefCount*>(ptr) : nullptr;
}

// ----------------------------------------------------------- TiStepLists

TiStepLists::~TiStepLists() {
    for (TiStepRef* list : {from, to}) {
        while (list != nullptr) {
            TiStepRef* next = list->next;
            delete list;
            list = next;
        }
    }
}

short TiStepLists::Append(bool toTarget, SymAttr* step, uint16_t line, uint16_t column) {
    TiStepRef* ref = new (std::nothrow) TiStepRef;
    if (ref == nullptr) {
        return errmess::MSG_NO_MEMORY;
    }
    ref->step = step;
    ref->line = line;
    ref->column = column;
    TiStepRef** tail = toTarget ? &to : &from;
    while (*tail != nullptr) {
        tail = &(*tail)->next;
    }
    *tail = ref;
    return 0;
}

uint16_t TiStepLists::Count(const TiStepRef* list) {
    uint16_t n = 0;
    for (; list != nullptr && n < 65535; list = list->next) {
        ++n;
    }
    return n;
}

// ---------------------------------------------------------------- TiNode

TiNode::TiNode(int32_t kind) : TiNode(kind, TiLink(), TiLink(), TiLink()) {}

TiNode::TiNode(int32_t kind, TiLink child1) : TiNode(kind, child1, TiLink(), TiLink()) {}

TiNode::TiNode(int32_t kind, TiLink child1, TiLink child2, TiLink child3)
    : kind(kind), attribute(0), extra(0), child{child1, child2, child3}, line(0), column(0) {}

TiNode::TiNode(IEC_CONSTANT* constant) : TiNode(tree::CONSTANT, TiLink(constant)) {}

TiNode::~TiNode() {
    // Freeing recursively would overflow the stack on long statement chains
    // and deep expressions; a free list threaded through the nodes needs
    // neither recursion nor memory.
    TiNode* pending = nullptr;
    ReleaseLinks(pending);
    while (pending != nullptr) {
        TiNode* n = pending;
        pending = n->pendingNext;
        n->ReleaseLinks(pending);
        delete n; // no links left: its destructor has nothing more to do
    }
}

void TiNode::ReleaseLinks(TiNode*& pending) {
    for (TiLink& l : child) {
        switch (l.Tag()) {
        case TiLinkTag::Node: {
            TiNode* n = l.AsNode();
            n->pendingNext = pending;
            pending = n;
            break;
        }
        case TiLinkTag::Constant:
            delete l.AsConstant();
            break;
        case TiLinkTag::Text:
            std::free(const_cast<char*>(l.AsText()));
            break;
        case TiLinkTag::Steps:
            delete l.AsSteps();
            break;
        case TiLinkTag::RefCount:
            delete l.AsRefCount();
            break;
        default:
            break;
        }
        l = TiLink();
    }
}

const TiLink& TiNode::Link(int i) const {
    static const TiLink empty;
    return i >= 1 && i <= 3 ? child[i - 1] : empty;
}

void TiNode::SetLink(int i, TiLink link) {
    if (i >= 1 && i <= 3) {
        child[i - 1] = link;
    }
}

TiLink TiNode::TakeLink(int i) {
    if (i < 1 || i > 3) {
        return TiLink();
    }
    TiLink l = child[i - 1];
    child[i - 1] = TiLink();
    return l;
}

TiNode* TiNode::MakeLiteral(SymAttr* literal) {
    IEC_CONSTANT* c = literal != nullptr ? literal->GetConstant() : nullptr;
    if (c == nullptr) {
        return nullptr;
    }
    return new (std::nothrow) TiNode(tree::CONSTANT, TiLink::SharedConstant(c), TiLink(), literal);
}

TiNode* TiNode::MakeSymbolDesc(SymAttr* baseType, const char* text) {
    TiLink t;
    if (text != nullptr) {
        char* copy = CopyText(text);
        if (copy == nullptr) {
            return nullptr;
        }
        t = TiLink::OwnedText(copy);
    }
    TiNode* n = new (std::nothrow) TiNode(tree::SYMBOL_DESC, baseType, t, TiLink());
    if (n == nullptr) {
        std::free(const_cast<char*>(t.AsText()));
    }
    return n;
}

TiNode* TiNode::MakeExprDef(TiNode* expr) {
    TiRefCount* refs = new (std::nothrow) TiRefCount;
    if (refs == nullptr) {
        return nullptr;
    }
    TiNode* n = new (std::nothrow) TiNode(tree::EXPR_DEF, expr, refs, TiLink());
    if (n == nullptr) {
        delete refs;
    }
    return n;
}

TiNode* TiNode::MakeExprRef(TiNode* def) {
    if (def == nullptr || def->kind != tree::EXPR_DEF) {
        return nullptr;
    }
    TiNode* n = new (std::nothrow) TiNode(tree::EXPR_REF, TiLink::Ref(def));
    if (n != nullptr) {
        if (TiRefCount* refs = def->Link(2).AsRefCount()) {
            ++refs->refs;
        }
    }
    return n;
}

TiNode* TiNode::MakeTransition(TiStepLists* steps, TiNode* condition) {
    return new (std::nothrow) TiNode(tree::TRANSITION, steps, condition, TiLink());
}

TiNode* TiNode::MakeQualifier(uint16_t code, SymAttr* action, TiNode* part) {
    TiNode* n = new (std::nothrow) TiNode(tree::QUALIFIER, action, part, TiLink());
    if (n != nullptr) {
        n->attribute = code;
    }
    return n;
}

TiNode* TiNode::MakeJump(int32_t kind, uint16_t condition, SymAttr* label) {
    TiNode* n = new (std::nothrow) TiNode(kind, kind == tree::RET ? TiLink() : TiLink(label));
    if (n != nullptr) {
        n->attribute = condition;
    }
    return n;
}

int32_t TiNode::RefCount() const {
    const TiRefCount* refs = kind == tree::EXPR_DEF ? Link(2).AsRefCount() : nullptr;
    return refs != nullptr ? refs->refs : 0;
}

// ------------------------------------------------------ names and types

const char* NodeKindName(int32_t kind) {
    const KindInfo* k = FindKind(kind);
    return k != nullptr ? k->name : kUnknownKind.name;
}

const char* TypeIdName(short id, char* buf, size_t bufLen) {
    for (const TypeName& t : kTypeNames) {
        if (t.id == id) {
            return t.name;
        }
    }
    if (buf == nullptr || bufLen < tree::kTypeIdNameSize) {
        return "?";
    }
    std::snprintf(buf, bufLen, "%d", id);
    return buf;
}

namespace {

// The result type of a node that is no EXPR_DEF / EXPR_REF.
short DirectResultType(const TiNode* n) {
    if (n == nullptr) {
        return 0;
    }
    if (n->kind == tree::SYMBOL) {
        const SymAttr* sym = n->Sym(1);
        if (sym == nullptr) {
            return 0;
        }
        return sym->GetElemTypeID(static_cast<unsigned short>(AdrAddCount(n->Child(2))));
    }
    return static_cast<short>(n->attribute);
}

bool IsExprLink(const TiNode* n) {
    return n != nullptr && (n->kind == tree::EXPR_DEF || n->kind == tree::EXPR_REF);
}

} // namespace

short ResultType(TiNode* node) {
    if (!IsExprLink(node)) {
        return DirectResultType(node);
    }
    // Walk EXPR_REF -> EXPR_DEF -> expression until a node whose type is
    // known; then every EXPR node passed on the way keeps the result.
    TiNode* visited[tree::kMaxResultTypeHops];
    int count = 0;
    TiNode* n = node;
    short result = 0;
    while (true) {
        if (!IsExprLink(n)) {
            result = DirectResultType(n);
            break;
        }
        if (n->attribute != 0) {
            result = static_cast<short>(n->attribute);
            break;
        }
        if (count == tree::kMaxResultTypeHops) {
            return 0; // circular or absurdly long: unknown
        }
        visited[count++] = n;
        n = n->Child(1);
    }
    for (int i = 0; i < count; ++i) {
        visited[i]->attribute = static_cast<uint16_t>(result);
    }
    return result;
}

// ------------------------------------------------------ statement lists

short TiAppendStatement(TiNode** last, TiNode* statement, ErrMess* sink) {
    if (statement == nullptr) {
        return 0;
    }
    if (last == nullptr || *last == nullptr || (*last)->kind != tree::STATEM_LIST) {
        if (sink != nullptr) {
            sink->Report(errmess::SEV_INTERNAL, -3554, 0, 0, {tree::kModule, __LINE__});
        }
        delete statement;
        return -3554;
    }
    TiNode* tail = *last;
    // A stale pointer to a node that already has a successor would lose the
    // rest of the chain; go to the real end first.
    while (TiNode* next = tail->Child(3)) {
        tail = next;
    }
    if (statement->kind == tree::STATEM_LIST) {
        tail->SetLink(3, statement);
        TiNode* end = statement;
        while (TiNode* next = end->Child(3)) {
            end = next;
        }
        *last = end;
        return 0;
    }
    if (tail->Link(1).IsEmpty()) {
        tail->SetLink(1, statement);
        *last = tail;
        return 0;
    }
    if (tail->Link(2).IsEmpty()) {
        tail->SetLink(2, statement);
        *last = tail;
        return 0;
    }
    TiNode* n = new (std::nothrow) TiNode(tree::STATEM_LIST, statement);
    if (n == nullptr) {
        if (sink != nullptr) {
            sink->ReportNoMemory(tree::kModule, __LINE__);
        }
        delete statement;
        return errmess::MSG_NO_MEMORY;
    }
    tail->SetLink(3, n);
    *last = n;
    return 0;
}

// ------------------------------------------------------------- constants

short TiFormatConstant(const IEC_CONSTANT& c, std::string& literal, std::string* image) {
    literal.clear();
    if (image != nullptr) {
        image->clear();
    }
    const short id = c.GetElemDTypeID();
    unsigned short size = 0;
    if (c.GetVal(nullptr, size) != 0 || size == 0) {
        return iec::GETVAL_FAILED;
    }
    std::vector<unsigned char> bytes(size, 0);
    if (c.GetVal(bytes.data(), size) != 0) {
        return iec::GETVAL_FAILED;
    }
    // The formatter reads LINT and ULINT as doubles holding the integer.
    double wide = 0.0;
    void* value = bytes.data();
    if ((id == iec::TYPE_LINT || id == iec::TYPE_ULINT) && bytes.size() >= sizeof(uint64_t)) {
        uint64_t raw = 0;
        std::memcpy(&raw, bytes.data(), sizeof raw);
        wide = id == iec::TYPE_LINT ? static_cast<double>(static_cast<int64_t>(raw))
                                    : static_cast<double>(raw);
        value = &wide;
    }
    // Room for the longest text: a string needs at most three characters per
    // byte and its quotes; every other literal is far shorter than 64.
    size_t room = 3 * bytes.size() + 64;
    if (room > 32767) {
        room = 32767;
    }
    std::vector<char> text(room, '\0');
    TiValToLit fmt;
    const short typeId = id;
    short rc = fmt.TiBinValToLit(typeId, value, text.data(), static_cast<short>(room));
    if (rc == -3425 && text[0] != '\0') {
        rc = 0; // a BOOL other than 0 and 1 is still written ("TRUE")
    }
    if (rc != 0) {
        return rc;
    }
    literal = text.data();
    if (image != nullptr) {
        image->assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    return 0;
}

// ------------------------------------------------------------------ dump

namespace {

std::string Printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

std::string Printf(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int len = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string s;
    if (len > 0) {
        s.resize(static_cast<size_t>(len) + 1);
        std::vsnprintf(s.data(), s.size(), fmt, ap2);
        s.resize(static_cast<size_t>(len));
    }
    va_end(ap2);
    return s;
}

// Marker of an SFC element, taken from where its symbol stands in the tree.
enum class Sfc : uint8_t { None, Step, InitialStep, Transition, Action, FromDecl };

class Dumper {
public:
    explicit Dumper(TiDumpWriter& out) : out(out) {}

    void Run(const TiNode* root, int depth);

private:
    enum class What : uint8_t { Node, Link, Line, StepRef };
    struct Item {
        Item(What w, int d) : what(w), depth(d) {}
        What what;
        int depth;
        const TiNode* node = nullptr;    // Node: the node; Link: the holder
        int link = 0;                    // Link: 1..3
        Sfc sfc = Sfc::None;             // Link: marker of a symbol found there
        std::string text;                // Line: the text
        const TiStepRef* step = nullptr; // StepRef: the step
    };

    void Put(int depth, const std::string& text);
    void DumpNode(const TiNode* n, int depth);
    void DumpLink(const TiNode* holder, int i, Sfc sfc, int depth);
    std::string SymbolText(const SymAttr* s, Sfc sfc, uint16_t line, uint16_t col) const;
    std::string ConstantText(IEC_CONSTANT* c, uint16_t line, uint16_t col) const;
    void CollectSteps(const TiNode* root);

    // The work list is a stack: what is pushed last is printed first.
    void PushNode(const TiNode* n, int depth) {
        Item it(What::Node, depth);
        it.node = n;
        work.push_back(std::move(it));
    }
    void PushLink(const TiNode* holder, int i, Sfc sfc, int depth) {
        Item it(What::Link, depth);
        it.node = holder;
        it.link = i;
        it.sfc = sfc;
        work.push_back(std::move(it));
    }
    void PushLine(std::string text, int depth) {
        Item it(What::Line, depth);
        it.text = std::move(text);
        work.push_back(std::move(it));
    }
    void PushStep(const TiStepRef* s, int depth) {
        Item it(What::StepRef, depth);
        it.step = s;
        work.push_back(std::move(it));
    }

    TiDumpWriter& out;
    std::vector<Item> work;                         // items still to print
    std::unordered_map<const SymAttr*, bool> steps; // declared steps: initial or not
};

void Dumper::Put(int depth, const std::string& text) {
    std::string line(static_cast<size_t>(depth > 0 ? depth : 0), ' ');
    line += text;
    line += "\r\n";
    out.PutLine(line.c_str(), line.size());
}

void Dumper::CollectSteps(const TiNode* root) {
    // The steps declared anywhere in the dumped tree tell the markers of the
    // steps that transitions name.
    std::vector<const TiNode*> todo;
    if (root != nullptr) {
        todo.push_back(root);
    }
    while (!todo.empty()) {
        const TiNode* n = todo.back();
        todo.pop_back();
        if ((n->kind == tree::STEP || n->kind == tree::INITIAL_STEP) && n->Sym(1) != nullptr) {
            bool& initial = steps[n->Sym(1)];
            initial = initial || n->kind == tree::INITIAL_STEP;
        }
        for (int i = 1; i <= 3; ++i) {
            if (n->Link(i).Tag() == TiLinkTag::Node) {
                todo.push_back(n->Child(i));
            }
        }
    }
}

void Dumper::Run(const TiNode* root, int depth) {
    CollectSteps(root);
    PushNode(root, depth);
    while (!work.empty()) {
        Item it = std::move(work.back());
        work.pop_back();
        switch (it.what) {
        case What::Node:
            DumpNode(it.node, it.depth);
            break;
        case What::Link:
            DumpLink(it.node, it.link, it.sfc, it.depth);
            break;
        case What::Line:
            Put(it.depth, it.text);
            break;
        case What::StepRef:
            Put(it.depth, SymbolText(it.step->step, Sfc::FromDecl, it.step->line, it.step->column));
            break;
        }
    }
}

std::string Dumper::SymbolText(const SymAttr* s, Sfc sfc, uint16_t line, uint16_t col) const {
    if (s == nullptr) {
        return "*** NULL";
    }
    std::string t = "Sym: ";
    t += s->GetName() != nullptr ? s->GetName() : "";
    if (const TiLocatedVar* loc = s->GetLocatedVar()) {
        t += Printf("{%d:%d}", static_cast<int>(loc->section), static_cast<int>(loc->offset));
    }
    if (s->GetDType(0) != nullptr) {
        unsigned short dims = s->GetArrayDimension();
        const SymAttr* elem = s->GetElemType(dims);
        if (elem != nullptr) {
            char buf[tree::kTypeIdNameSize];
            const char* name = elem->GetID() < 0 || elem->GetName() == nullptr
                                   ? TypeIdName(elem->GetID(), buf, sizeof buf)
                                   : elem->GetName();
            t += ", ElemType: ";
            t += name;
        }
        if (dims > 0) {
            t += Printf(", Array-Dim: %d", static_cast<int>(dims));
        }
        if (elem != nullptr && elem->IsStruct()) {
            t += ", (STRUCT)";
        }
    }
    switch (sfc) {
    case Sfc::Step:
        t += " [SFC step]";
        break;
    case Sfc::InitialStep:
        t += " [SFC Initial step]";
        break;
    case Sfc::Transition:
        t += " [SFC transition]";
        break;
    case Sfc::Action:
        t += " [SFC action]";
        break;
    case Sfc::FromDecl: {
        auto found = steps.find(s);
        t += found == steps.end() ? " [SFC undefined]"
             : found->second      ? " [SFC Initial step]"
                                  : " [SFC step]";
        break;
    }
    case Sfc::None:
        if (s->GetKind() == sym::KIND_POU && s->GetPOU_Type() == sym::POU_FUNCTION) {
            t += " [FUNCTION]";
        } else if (s->GetKind() == sym::KIND_FB_INSTANCE) {
            t += " [FB-INST]";
        } else if (s->GetKind() == sym::KIND_LABEL_LIST) {
            t += " [LABEL]";
        }
        break;
    }
    t += Printf(" (%lu, %u)", static_cast<unsigned long>(line), static_cast<unsigned>(col));
    return t;
}

std::string Dumper::ConstantText(IEC_CONSTANT* c, uint16_t line, uint16_t col) const {
    if (c == nullptr) {
        return "*** NULL";
    }
    std::string lit;
    std::string image;
    const short id = c->GetElemDTypeID();
    if (TiFormatConstant(*c, lit, &image) != 0) {
        return Printf("** Unknown const type: %d (%lu, %u)", static_cast<int>(id),
                      static_cast<unsigned long>(line), static_cast<unsigned>(col));
    }
    std::string t = "Const: " + lit;
    if (line != 0) {
        t += Printf(" (%lu, %u)", static_cast<unsigned long>(line), static_cast<unsigned>(col));
    }
    t += Printf(", id = %d, ", static_cast<int>(id));
    for (unsigned char b : image) {
        t += Printf("%02X ", static_cast<unsigned>(b));
    }
    return t;
}

void Dumper::DumpLink(const TiNode* holder, int i, Sfc sfc, int depth) {
    const TiLink& l = holder->Link(i);
    switch (l.Tag()) {
    case TiLinkTag::None:
        Put(depth, "*** NULL");
        break;
    case TiLinkTag::Node:
        DumpNode(l.AsNode(), depth);
        break;
    case TiLinkTag::Symbol:
        Put(depth, SymbolText(l.AsSymbol(), sfc, holder->line, holder->column));
        break;
    case TiLinkTag::Constant:
    case TiLinkTag::ConstantRef:
        Put(depth, ConstantText(l.AsConstant(), holder->line, holder->column));
        break;
    case TiLinkTag::Text:
        Put(depth, Printf("asciiSpec: '%s'", l.AsText()));
        break;
    case TiLinkTag::Steps: {
        // Lines are pushed in reverse: the work list is a stack.
        const TiStepLists* st = l.AsSteps();
        std::vector<const TiStepRef*> refs;
        for (const TiStepRef* r = st->to; r != nullptr; r = r->next) {
            refs.push_back(r);
        }
        for (auto it = refs.rbegin(); it != refs.rend(); ++it) {
            PushStep(*it, depth + 2);
        }
        PushLine("TO", depth);
        refs.clear();
        for (const TiStepRef* r = st->from; r != nullptr; r = r->next) {
            refs.push_back(r);
        }
        for (auto it = refs.rbegin(); it != refs.rend(); ++it) {
            PushStep(*it, depth + 2);
        }
        Put(depth, "FROM");
        break;
    }
    case TiLinkTag::NodeRef:
    case TiLinkTag::RefCount:
        break; // references and counters are shown by their holder's line
    }
}

void Dumper::DumpNode(const TiNode* n, int depth) {
    if (n == nullptr) {
        Put(depth, "*** NULL");
        return;
    }
    const KindInfo* k = FindKind(n->kind);
    if (k == nullptr) {
        k = &kUnknownKind;
    }
    char buf[tree::kTypeIdNameSize];

    // Links to print below the node's line, in order, and the SFC marker of
    // a symbol found in each link.
    int links[3] = {0, 0, 0};
    Sfc sfc[3] = {Sfc::None, Sfc::None, Sfc::None};
    int count = 0;
    auto want = [&](int i) {
        if (!n->Link(i).IsEmpty() || (k->required & (1 << (i - 1))) != 0) {
            links[count++] = i;
        }
    };
    bool chain = k->chain;

    switch (k->style) {
    case Style::Labelled:
        Put(depth, k->name);
        // Present children only, each under its role label; the else list of
        // CASE_STATEM sits two blanks deeper instead of four.
        for (int i = 3; i >= 1; --i) {
            if (n->Link(i).IsEmpty()) {
                continue;
            }
            int d = n->kind == tree::CASE_STATEM && i == 3 ? depth + 2 : depth + 4;
            PushLink(n, i, Sfc::None, d);
            PushLine(Printf("# %s:", k->roles[i - 1]), depth + 2);
        }
        return;
    case Style::Typed:
        Put(depth, Printf("%s: %s", k->name,
                          TypeIdName(static_cast<short>(n->attribute), buf, sizeof buf)));
        for (int i = 1; i <= 3; ++i) {
            want(i);
        }
        break;
    case Style::Numbered:
        Put(depth, Printf("%s: %d", k->name, static_cast<int>(static_cast<short>(n->attribute))));
        want(1);
        break;
    case Style::ExprDef:
        Put(depth, Printf("%s (refs: %d)", k->name, static_cast<int>(n->RefCount())));
        want(1);
        break;
    case Style::AdrAdd:
        Put(depth, Printf("%s,  Dim:%d", k->name, AdrAddCount(n)));
        want(1);
        want(2);
        break;
    case Style::Qualifier:
        Put(depth, Printf("%s [%s]", k->name, tree::QualifierName(n->attribute)));
        sfc[0] = Sfc::Action;
        want(1);
        want(2);
        break;
    case Style::Exit: {
        const SymAttr* s = n->Sym(1);
        Put(depth, Printf("%s (%s)", k->name,
                          s != nullptr && s->GetName() != nullptr ? s->GetName() : ""));
        break;
    }
    case Style::Jump:
        Put(depth, Printf("%s%s:", k->name,
                          n->attribute == tree::JMP_COND       ? "C"
                          : n->attribute == tree::JMP_COND_NEG ? "N"
                                                               : ""));
        if (n->kind == tree::JMP) {
            want(1);
        }
        break;
    case Style::Transition: {
        Put(depth, k->name);
        // Pushed in reverse: next element, condition, its label, the step
        // lists, the transition's own name.
        if (n->Link(3).Tag() == TiLinkTag::Node) {
            PushNode(n->Child(3), depth);
        }
        PushLink(n, 2, Sfc::None, depth + 4);
        PushLine("Condition", depth + 2);
        if (const TiStepLists* st = n->Link(1).AsSteps()) {
            PushLink(n, 1, Sfc::None, depth + 2);
            if (st->name != nullptr) {
                PushLine(SymbolText(st->name, Sfc::Transition, n->line, n->column), depth + 2);
            }
        }
        return;
    }
    case Style::Constant:
        Put(depth, ConstantText(n->Const(1), n->line, n->column));
        break;
    case Style::Symbol:
        Put(depth, SymbolText(n->Sym(1), Sfc::None, n->line, n->column));
        want(2);
        want(3);
        chain = false;
        break;
    case Style::Plain:
        Put(depth, Printf("%s / %04x", k->name, static_cast<unsigned>(n->kind)));
        if (n->kind == tree::EXPR_REF) {
            return; // the definition is dumped where it stands
        }
        if (n->kind == tree::STEP) {
            sfc[0] = Sfc::Step;
        } else if (n->kind == tree::INITIAL_STEP) {
            sfc[0] = Sfc::InitialStep;
        } else if (n->kind == tree::ACTION || n->kind == tree::ACTION_CAL) {
            sfc[0] = Sfc::Action;
        }
        want(1);
        want(2);
        if (!chain) {
            want(3);
        }
        break;
    }
    // The next element of a chain follows at the same depth, after the
    // children.
    if (chain && n->Link(3).Tag() == TiLinkTag::Node) {
        PushNode(n->Child(3), depth);
    }
    for (int j = count - 1; j >= 0; --j) {
        PushLink(n, links[j], sfc[links[j] - 1], depth + 2);
    }
}

} // namespace

void TiDumpTree(const TiNode* root, TiDumpWriter& out, int depth) {
    Dumper d(out);
    d.Run(root, depth > 0 ? depth : 0);
}

std::string TiDumpTreeText(const TiNode* root, int depth) {
    struct ToString : TiDumpWriter {
        std::string text;
        void PutLine(const char* line, size_t len) override { text.append(line, len); }
    } w;
    TiDumpTree(root, w, depth);
    return w.text;
}
