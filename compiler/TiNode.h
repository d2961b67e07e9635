// TiNode, the node record of the statement trees that the parser builds for
// Structured Text, Instruction List and Sequential Function Chart bodies: the
// node kinds with their numbers and names, the action qualifier codes, the
// operations that make, link, type and free nodes, and the text dump.
//
// Decisions taken where the node record leaves room:
// - Every child link carries a tag saying what it holds (sub-tree, symbol
//   record, constant, text, step lists, reference counter), so a link is
//   only ever read as what was stored in it, and freeing and dumping follow
//   the tags rather than guessing from the kind.
// - Ownership: a node owns its sub-tree links, its owned constant, the type
//   text of a SYMBOL_DESC, the step lists of a TRANSITION and the reference
//   counter of an EXPR_DEF. It never owns symbol records (they belong to
//   their symbol tables), the constant of a named literal record, nor the
//   EXPR_DEF that an EXPR_REF points to. Freeing a node frees its whole
//   owned sub-tree without recursion, so chains of any length are safe.
// - The extra word is zero when a node is made and is left to the encoder.
// - The children of CAL, CAL_COND, LABEL and the SFC elements are sub-trees
//   in the roles named below; a TRANSITION keeps its optional name and its
//   source and target steps in a TiStepLists record (child 1).
// - The dump goes to a TiDumpWriter (or a string); the library opens no
//   file for it. Beyond the fixed line forms it prints:
//   * children two blanks deeper, a symbol or constant link as its
//     "Sym: ..." / "Const: ..." line, a type text as "asciiSpec: '%s'";
//     a missing child that the kind needs (both operands of an operator,
//     the target of ASS, ...) as "*** NULL", a missing optional one not
//     at all;
//   * a SYMBOL node as the "Sym:" line of its symbol with the node's
//     position (always printed, " (0, 0)" when unknown), then its index and
//     selection children; a CONSTANT node as its "Const:" line (the named
//     literal record in child 3 is not printed);
//   * "%s: %d" of UMINUS, NOT and NIL with the attribute as a signed id;
//     "EXIT ()" without a symbol;
//   * a TRANSITION as "TRANSITION", then two blanks deeper its own name as
//     a symbol, "FROM" with the source steps and "TO" with the target steps
//     (each two blanks deeper still), "Condition" with the condition;
//   * SFC markers from where a symbol stands: the step of STEP / INITIAL_STEP
//     (" [SFC step]" / " [SFC Initial step]"), the action of ACTION,
//     ACTION_CAL and QUALIFIER (" [SFC action]"), a transition's name
//     (" [SFC transition]"); a step named by a transition gets the marker of
//     its declaration in the dumped tree, or " [SFC undefined]" without one;
//   * an EXPR_REF as its line only (its definition is dumped where it
//     stands); "** Unknown const type" shows the constant's type id;
//   * the constant's image after ", id = %d, ".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class SymAttr;
class IEC_CONSTANT;
class ErrMess;
class TiNode;

namespace tree {

/// Node kinds. The hexadecimal group gives the number of child links that
/// the kind uses: 0x1xxx one, 0x2xxx two, 0x3xxx three.
enum Kind : int32_t {
    CONSTANT = 0x0001,     ///< child 1 constant; child 3 the named literal record, if any
    SYMBOL = 0x0002,       ///< child 1 symbol; child 2 ADRADD index addressing; child 3 selection
    SYMBOL_DESC = 0x0003,  ///< child 1 base type record; child 2 the type's text form
    RET = 0x0043,          ///< attribute: jump condition
    EXIT = 0x0044,         ///< child 1 optional symbol record
    JMP = 0x1040,          ///< child 1 target label symbol; attribute: jump condition
    EXPR_DEF = 0x1060,     ///< child 1 defined expression; child 2 reference counter
    EXPR_REF = 0x1061,     ///< child 1 the referenced EXPR_DEF (not owned)
    UMINUS = 0x1104,       ///< child 1 operand
    NOT = 0x1113,          ///< child 1 operand
    ASS = 0x2011,          ///< child 1 target; child 2 assigned expression
    ARG_ASS = 0x2012,      ///< child 1 formal parameter symbol; child 2 argument; child 3 next
    WHILE_STATEM = 0x2024, ///< child 1 condition; child 2 body
    REPEAT = 0x2027,       ///< child 1 condition; child 2 body
    CAL = 0x2030,          ///< child 1 called instance or unit symbol; child 2 argument list
    CONV_DTYPE = 0x2031,   ///< child 1 target type symbol; child 2 converted expression
    LABEL = 0x2040,        ///< child 1 label symbol; child 2 labelled part
    ADRADD = 0x2050,       ///< child 1 index expression; child 2 further index
    ACTION_CAL = 0x2070,   ///< child 1 action symbol; child 2 qualifier part; child 3 next
    ADD = 0x2100,
    SUB = 0x2101,
    MUL = 0x2102,
    DIV = 0x2103,
    MOD = 0x2105,
    POWER = 0x2106,
    OR = 0x2110,
    XOR = 0x2111,
    AND = 0x2112,
    EQ = 0x2120,
    NE = 0x2121,
    GT = 0x2122,
    GE = 0x2123,
    LT = 0x2124,
    LE = 0x2125,
    STATEM_LIST = 0x3010,  ///< child 1, child 2 statements; child 3 next STATEM_LIST
    IF_STATEM = 0x3020,    ///< condition; then list; else list
    CASE_STATEM = 0x3021,  ///< selector; case element list; else list
    CASE_ELEM = 0x3022,    ///< case value list; statement list; next case element
    CASE_LIST = 0x3023,    ///< a case value or range; a second one; next case value list
    FOR_STATEM = 0x3025,   ///< control variable; FOR_LIST; statement list
    FOR_LIST = 0x3026,     ///< from; to; by
    CAL_COND = 0x3032,     ///< first, second, third part
    INITIAL_STEP = 0x3071, ///< step symbol; step body; next SFC element
    STEP = 0x3072,         ///< step symbol; step body; next SFC element
    TRANSITION = 0x3073,   ///< TiStepLists; condition; next SFC element
    QUALIFIER = 0x3074,    ///< action symbol; qualified part; attribute: qualifier code
    ACTION = 0x3075,       ///< action symbol; action body; next SFC element
    NIL = 0x7FFF,          ///< child 1 optional sub-tree
};

// Jump condition in the attribute of JMP and RET.
constexpr uint16_t JMP_ALWAYS = 0;   ///< unconditional
constexpr uint16_t JMP_COND = 2;     ///< conditional, shown as "C"
constexpr uint16_t JMP_COND_NEG = 3; ///< conditional on the negated result, shown as "N"

// Action qualifier codes in the attribute of QUALIFIER.
constexpr uint16_t QUAL_N = 0;
constexpr uint16_t QUAL_S = 1;
constexpr uint16_t QUAL_R = 2;
constexpr uint16_t QUAL_L = 3;
constexpr uint16_t QUAL_D = 4;
constexpr uint16_t QUAL_P = 5;
constexpr uint16_t QUAL_SD = 6;
constexpr uint16_t QUAL_DS = 7;
constexpr uint16_t QUAL_SL = 8;

/// Room for a type id printed as a number ("-32768" and its zero).
constexpr size_t kTypeIdNameSize = 8;

/// Links followed by ResultType through EXPR_REF / EXPR_DEF before it gives
/// up (a malformed tree could make them circular).
constexpr int kMaxResultTypeHops = 256;

/// Module name given with the internal errors of the tree operations.
constexpr const char* kModule = "TiNode.cpp";

/// The text of an action qualifier code: "N", "S", "R", "L", "D", "P",
/// "SD", "DS", "SL", and "Unknown" for any other value.
const char* QualifierName(uint16_t code);

} // namespace tree

/// What a child link holds.
enum class TiLinkTag : uint8_t {
    None,        ///< nothing (null link)
    Node,        ///< an owned sub-tree
    NodeRef,     ///< a node owned elsewhere (EXPR_REF's definition)
    Symbol,      ///< a symbol record (not owned)
    Constant,    ///< an owned constant (made with new)
    ConstantRef, ///< a constant owned elsewhere (by a named literal record)
    Text,        ///< an owned zero-terminated text (SYMBOL_DESC's type text)
    Steps,       ///< an owned TiStepLists (TRANSITION)
    RefCount,    ///< an owned TiRefCount (EXPR_DEF)
};

struct TiStepLists;
struct TiRefCount;

/// One child link: a pointer and the tag of what it points to. Implicit
/// conversions make the usual links (sub-tree, symbol, owned constant)
/// read naturally in node constructors; a null pointer of any of them is
/// the empty link.
class TiLink {
public:
    TiLink() = default;
    TiLink(std::nullptr_t) {}
    TiLink(TiNode* node) : ptr(node), tag(node ? TiLinkTag::Node : TiLinkTag::None) {}
    TiLink(SymAttr* symbol) : ptr(symbol), tag(symbol ? TiLinkTag::Symbol : TiLinkTag::None) {}
    TiLink(IEC_CONSTANT* constant)
        : ptr(constant), tag(constant ? TiLinkTag::Constant : TiLinkTag::None) {}
    TiLink(TiStepLists* steps) : ptr(steps), tag(steps ? TiLinkTag::Steps : TiLinkTag::None) {}
    TiLink(TiRefCount* refs) : ptr(refs), tag(refs ? TiLinkTag::RefCount : TiLinkTag::None) {}

    /// A link to a node owned elsewhere.
    static TiLink Ref(TiNode* node);
    /// A link to a constant owned elsewhere.
    static TiLink SharedConstant(IEC_CONSTANT* constant);
    /// A link that owns `text` (allocated with malloc).
    static TiLink OwnedText(char* text);

    TiLinkTag Tag() const { return tag; }
    bool IsEmpty() const { return tag == TiLinkTag::None; }
    /// True for the tags that the node frees with itself.
    bool IsOwned() const;

    /// The node of a Node or NodeRef link, else null.
    TiNode* AsNode() const;
    /// The symbol of a Symbol link, else null.
    SymAttr* AsSymbol() const;
    /// The constant of a Constant or ConstantRef link, else null.
    IEC_CONSTANT* AsConstant() const;
    /// The text of a Text link, else null.
    const char* AsText() const;
    TiStepLists* AsSteps() const;
    TiRefCount* AsRefCount() const;

private:
    void* ptr = nullptr;
    TiLinkTag tag = TiLinkTag::None;
};

/// One step named in a transition: the step symbol and where it was named.
struct TiStepRef {
    SymAttr* step = nullptr; ///< the step symbol (not owned)
    uint16_t line = 0;       ///< source position of the name, 0 when unknown
    uint16_t column = 0;
    TiStepRef* next = nullptr;
};

/// The record of a TRANSITION: its optional name and the lists of source
/// and target steps. Owns its TiStepRef entries.
struct TiStepLists {
    SymAttr* name = nullptr;   ///< the transition's own symbol, if it is named
    TiStepRef* from = nullptr; ///< source steps, in source order
    TiStepRef* to = nullptr;   ///< target steps, in source order

    TiStepLists() = default;
    ~TiStepLists();
    TiStepLists(const TiStepLists&) = delete;
    TiStepLists& operator=(const TiStepLists&) = delete;

    /// Appends a step to the source (toTarget false) or target list.
    /// Returns 0, or -3406 when no memory is left (the list is unchanged).
    short Append(bool toTarget, SymAttr* step, uint16_t line, uint16_t column);
    /// Number of entries of a list (saturated at 65535).
    static uint16_t Count(const TiStepRef* list);
};

/// The reference counter of an EXPR_DEF: how many EXPR_REF nodes were made
/// for it.
struct TiRefCount {
    int32_t refs = 0;
};

/// A statement-tree node. The public fields are the record in its order;
/// the children are read and written through their tagged links.
class TiNode {
public:
    int32_t kind;       ///< node kind, tree::Kind or any other number
    uint16_t attribute; ///< result type id, jump condition or qualifier code
    uint32_t extra;     ///< zero when made; for the encoder's passes
private:
    TiLink child[3];

public:
    uint16_t line;   ///< source line, 0 when the node has no position
    uint16_t column; ///< source column, 0 when the node has no position

    /// A leaf of `kind`: every other field zero (used for NIL).
    explicit TiNode(int32_t kind);
    /// A one-link node: child 1 set, everything else zero.
    TiNode(int32_t kind, TiLink child1);
    /// A three-link node; attribute, extra word and position start at zero.
    TiNode(int32_t kind, TiLink child1, TiLink child2, TiLink child3);
    /// A CONSTANT leaf owning `constant` (made with new; may be null).
    explicit TiNode(IEC_CONSTANT* constant);
    /// Frees the owned links and the whole owned sub-tree below, iteratively.
    ~TiNode();
    TiNode(const TiNode&) = delete;
    TiNode& operator=(const TiNode&) = delete;

    /// Child link i (1, 2 or 3); any other i gives the empty link.
    const TiLink& Link(int i) const;
    /// Replaces child link i (1, 2 or 3). The previous link is not freed:
    /// the caller takes it back (use TakeLink first to keep it). Any other
    /// i is ignored.
    void SetLink(int i, TiLink link);
    /// Hands child link i to the caller, leaving the empty link.
    TiLink TakeLink(int i);
    /// Shorthands: the node, symbol or constant held in child link i.
    TiNode* Child(int i) const { return Link(i).AsNode(); }
    SymAttr* Sym(int i) const { return Link(i).AsSymbol(); }
    IEC_CONSTANT* Const(int i) const { return Link(i).AsConstant(); }

    /// Sets the source position.
    void SetPos(uint16_t l, uint16_t c) {
        line = l;
        column = c;
    }

    // ------------------------------------------------------- node makers
    // Each returns a new node, or null when no memory is left; a maker that
    // fails takes nothing over (owned arguments stay with the caller).

    /// A CONSTANT leaf from a named literal record (kind 10): child 1 is the
    /// record's constant (owned by the record), child 3 the record. Null for
    /// a record without constant.
    static TiNode* MakeLiteral(SymAttr* literal);
    /// A SYMBOL_DESC: child 1 the base type record, child 2 an owned copy of
    /// `text` (null text: empty link).
    static TiNode* MakeSymbolDesc(SymAttr* baseType, const char* text);
    /// An EXPR_DEF over `expr` with a reference counter of 0.
    static TiNode* MakeExprDef(TiNode* expr);
    /// An EXPR_REF to `def` (an EXPR_DEF, not owned); the definition's
    /// reference counter is incremented. Null when def is no EXPR_DEF.
    static TiNode* MakeExprRef(TiNode* def);
    /// A TRANSITION owning `steps` (may be null), with `condition`.
    static TiNode* MakeTransition(TiStepLists* steps, TiNode* condition);
    /// A QUALIFIER with the qualifier code in its attribute.
    static TiNode* MakeQualifier(uint16_t code, SymAttr* action, TiNode* part);
    /// A JMP to `label` or a RET (label ignored) with the jump condition.
    static TiNode* MakeJump(int32_t kind, uint16_t condition, SymAttr* label);

    /// The reference count of an EXPR_DEF (0 for other kinds).
    int32_t RefCount() const;

private:
    /// Moves the owned sub-tree links onto the free list `pending` and frees
    /// every other owned link, leaving all links empty.
    void ReleaseLinks(TiNode*& pending);

    TiNode* pendingNext = nullptr; // free list used while a tree is freed
};

/// The name of a node kind as the dump prints it; "** Unknown node type"
/// for any number that is no kind.
const char* NodeKindName(int32_t kind);

/// The type id of a node's result: for SYMBOL the element type id of the
/// symbol's type after as many array dimensions as its ADRADD chain (child
/// 2) indexes; for EXPR_DEF and EXPR_REF the result type of child 1,
/// computed once and kept in the attribute (an EXPR_REF takes it from its
/// EXPR_DEF); for every other kind the attribute taken as a signed id.
/// Null node: 0.
short ResultType(TiNode* node);

/// The name of a type id: "SINT", "USINT", "INT", "UINT", "DINT", "UDINT",
/// "BOOL", "BYTE", "WORD", "DWORD", "LWORD", "REAL", "LREAL", "TIME", "DATE",
/// "TIME_OF_DAY", "DATE_AND_TIME", "STRING", "ANY", "ANY_BIT", "ANY_DATE",
/// "ANY_INT", "ANY_NUM", "ANY_REAL"; any other id is written into `buf` as a
/// decimal number and buf returned (buf must hold tree::kTypeIdNameSize
/// characters; a null or shorter buffer gives "?").
const char* TypeIdName(short id, char* buf, size_t bufLen);

/// Appends `statement` to the statement list whose last STATEM_LIST node
/// is *last, and moves *last to the new last node. An empty child 1 of the
/// last node takes the statement, else an empty child 2, else a new
/// STATEM_LIST node holding it in child 1 is linked as child 3. A
/// statement that is a STATEM_LIST chain itself is linked as child 3 and
/// *last becomes the end of that chain. The list takes the statement over.
/// Returns 0 (also for a null statement, which appends nothing); -3554
/// reported through `sink` (internal error) when last or *last is null or
/// *last is no STATEM_LIST; -3406 reported when no node can be made. On
/// failure the statement is freed (dropped) and *last is unchanged.
short TiAppendStatement(TiNode** last, TiNode* statement, ErrMess* sink);

/// Writes a constant as an IEC literal (for the tree dump and the code
/// listing): its type is GetElemDTypeID(), its memory image that of GetVal,
/// and the text that of the literal formatter for that type (LINT and ULINT
/// images are handed to it as doubles). `image`, when given, receives the
/// memory image. Returns 0; or 1 when the constant has no image of its type
/// (GetVal fails), or the formatter's status (-3407 for a type it does not
/// write, such as LWORD), with literal empty. A BOOL value other than 0 and
/// 1 still counts as written.
short TiFormatConstant(const IEC_CONSTANT& c, std::string& literal, std::string* image = nullptr);

/// Receives the lines of a tree dump.
class TiDumpWriter {
public:
    virtual ~TiDumpWriter() = default;
    /// One complete line: indentation, text and "\r\n".
    virtual void PutLine(const char* line, size_t len) = 0;
};

/// Dumps the tree at `root` as text, one line per node, the root indented
/// by `depth` blanks (a negative depth counts as 0) and every nesting level
/// by two more. A null root dumps "*** NULL".
/// Works without recursion; the tree must be free of cycles except through
/// EXPR_REF links, which are not followed.
void TiDumpTree(const TiNode* root, TiDumpWriter& out, int depth = 0);

/// The dump as one string.
std::string TiDumpTreeText(const TiNode* root, int depth = 0);
