// ParseContext: the semantic actions of the IEC 61131-3 grammar. Each action
// of compiler/iec.y is one call here: declarations go on to the declaration
// context (DeclContext), initial values to the TiInitValSpec builders, and
// bodies become statement trees (TiNode) for Structured Text, Instruction
// List and Sequential Function Chart text.
//
// Decisions where the rules leave room:
// - The tree handed to the host is a statement list (STATEM_LIST chain, as
//   TiAppendStatement builds it) whose statements are one LABEL node per
//   program unit, in source order: child 1 of the LABEL is the unit's
//   symbol, child 2 its body (null for an empty body). A source that holds
//   only declarations yields no tree. With the start markers for a body, a
//   section, an expression or an access path the tree is that construct.
// - A unit compiled a second time in one source loses its old scope table
//   (the declaration context replaces it): the trees built so far that
//   refer to a record of that table are dropped, so that no tree handed
//   over points to a freed record.
// - A name read as lookahead while a structure or enumeration body is the
//   current scope is entered into the body's table by the scanner; when the
//   body closes (or is dropped by the error recovery) the lookahead is bound
//   again by its name in the scopes that remain.
// - Structured Text: an assignment is ASS(target, value) at the ":="; a
//   call is CAL(callee, ARG_ASS chain) with ARG_ASS(formal or null for a
//   positional argument, actual, next), an output assignment "=>" has the
//   attribute 1 (2 with NOT); a call of an undeclared name of the form
//   <type>_TO_<type> is CONV_DTYPE(target type, argument); ELSIF becomes an
//   IF_STATEM in the else list; each CASE_LIST node holds one label (child
//   1 the value or lower bound, child 2 the upper bound of a range); RETURN
//   is a RET node; a variable is SYMBOL(record, ADRADD index chain,
//   SYMBOL of the selected component ...).
// - Expression result types (the attribute) are worked out simply: a
//   comparison is BOOL, another operator takes the type of its left operand
//   (of its right one when the left has none), a call the result type of
//   the function. Full type checking belongs to a later pass.
// - Instruction List is turned into trees around the current result: LD
//   starts it, an operator combines it with its operand (the N modifier
//   negates the operand, "op(" defers the operator until ")"), ST assigns
//   it. The first use of a current result that is used more than once is an
//   EXPR_DEF node, later uses are EXPR_REF nodes. Conditional jumps and
//   returns are preceded by the current result as a statement of its own
//   and carry the condition (C, N) in their attribute; CALC and CALCN are
//   CAL_COND(condition, CAL); S and R are IF_STATEM(current result, x :=
//   TRUE / FALSE). A label is LABEL(label, null) in front of the
//   instruction it marks; a jump to a name that no label of the body
//   defines is reported (-3575).
// - SFC: steps are INITIAL_STEP / STEP(step, ACTION_CAL chain, next), an
//   action association ACTION_CAL(action, QUALIFIER(code, action, time),
//   next); TRANSITION(steps, condition, next); ACTION(action, body, next).
//   An unknown qualifier is reported with -3511 naming "N" and taken as N.
// - Undeclared names in bodies are reported with -3575 once per use; a name
//   that is no variable but an enumeration value of a type in the global
//   table is taken as that value. A component or formal parameter that the
//   type or unit does not have gives -3472; an index on a non-array -3480,
//   too many indexes -3481. Unknown Instruction List operators are
//   reported with -3575 naming them.
// - Configurations, resources, tasks and program instances are read and
//   checked for syntax; their variable sections are declared as everywhere
//   (VAR_GLOBAL and VAR_ACCESS are reported as unsupported by the
//   declaration context), the rest declares nothing.
#pragma once

#include "compiler/DeclContext.h"
#include "compiler/TextLocation.h"
#include "compiler/TiScanner.h"

#include <cstdint>
#include <string>
#include <vector>

class ErrMess;
class IEC_CONSTANT;
class Library;
class SymAttr;
class SymTabSet;
class Subrange;
class TiCompOptions;
class TiDB;
class TiInitValSpec;
class TiNode;
struct TiStepLists;
class AST_Update;

/// The semantic value of a grammar symbol. Terminals carry their token
/// number, the scanner's token value and their position (the scanner's
/// position after the token); nonterminals what their action built.
///
/// Ownership: `node` (a tree), `init` (an initial-value list), `dims` (a
/// range or dimension list), `steps` (step lists), an anonymous type spec in
/// `sym` (owned by the declaration context until a declaration takes it)
/// and the literal record of a literal token in `tok` belong to the value;
/// `last`, `aux` and every other symbol record are references.
struct ParseValue {
    short token = 0;                ///< token number of a terminal, 0 otherwise
    TokenValue tok;                 ///< the scanner's value of a terminal
    TextLocation pos;               ///< source position
    TiNode* node = nullptr;         ///< owned tree
    TiNode* last = nullptr;         ///< last node of the list in `node`
    TiNode* aux = nullptr;          ///< a second list end (case bodies)
    SymAttr* sym = nullptr;         ///< symbol record, or an anonymous type spec
    TiInitValSpec* init = nullptr;  ///< owned initial value
    Subrange* dims = nullptr;       ///< owned range or dimension list
    TiStepLists* steps = nullptr;   ///< owned step lists
    int32_t num = 0;                ///< flags of sections, minus signs, counts
};

namespace parsectx {

// Messages of the parser's error productions and of the tree builder.
constexpr short MSG_SYNTAX = -3508;            ///< "Syntax error"
constexpr short MSG_STACK_OVERFLOW = -3428;    ///< "Parser stack overflow"
constexpr short MSG_INDEX_NOT_CONSTANT = -3478;
constexpr short MSG_NO_COMPONENT = -3472;      ///< type or unit name, name
constexpr short MSG_NOT_ARRAY = -3480;         ///< type name
constexpr short MSG_TOO_MANY_INDEXES = -3481;
constexpr short MSG_NOT_A_TYPE = -3486;
constexpr short MSG_MISSING_SEMICOLON = -3509;
constexpr short MSG_ASSIGN_EXPECTED = -3510;
constexpr short MSG_EXPECTED = -3511;          ///< token text
constexpr short MSG_PAREN_EXPECTED = -3512;
constexpr short MSG_BRACKET_EXPECTED = -3514;
constexpr short MSG_NOT_CLOSED = -3515;
constexpr short MSG_KEYWORD_AS_NAME = -3518;
constexpr short MSG_LATE_DECLARATION = -3572;
constexpr short MSG_NOT_DECLARED = -3575;      ///< name
constexpr short MSG_NO_MEMORY = -3406;
constexpr short MSG_INTERNAL = -3555;

/// Deepest nesting of deferred Instruction List operators ("AND(").
constexpr size_t kMaxIlNesting = 64;

/// Source unit named in internal errors and out-of-memory messages.
constexpr const char* kModule = "parse";
constexpr const char* kRevision = "$Revision: 1 $";

} // namespace parsectx

/// The parse context of one compilation.
///
/// Ownership: the table set, library, adapter, sink and options belong to
/// the facade; the context owns its declaration context, the tree it builds
/// (until TakeTree) and the initial value of an initial-value parse (until
/// TakeInitVal). The scanner is the parser's and only used while a parse
/// runs.
class ParseContext {
public:
    /// A context over `set` (required) and the facade's other parts (each
    /// may be null). `status` (if given) receives 0, or 1 when the
    /// declaration context cannot work (no set, or an unsound one), or
    /// -3406 when it could not be made.
    ParseContext(SymTabSet* set, Library* lib, TiDB* db, ErrMess* sink, TiCompOptions* opts,
                 AST_Update* update, short* status);
    /// Destroys the tree and initial value not taken, and the declaration
    /// context (which closes what a failed parse left open).
    ~ParseContext();
    ParseContext(const ParseContext&) = delete;
    ParseContext& operator=(const ParseContext&) = delete;

    /// 0 when usable (see the constructor).
    short GetStatus() const { return status; }
    /// The declaration context (null when it could not be made).
    DeclContext* GetDecl() const { return decl; }
    ErrMess* GetErrMess() const { return sink; }

    /// The scanner of the running parse (null between parses).
    void SetScanner(TiScanner* s) { scanner = s; }
    TiScanner* GetScanner() const { return scanner; }
    /// The position of the last token the parser shifted.
    void NoteShift(TextLocation p) { lastShift = p; }
    /// The parser's lookahead, noted after each token is read. A name read
    /// while a structure or enumeration body is the current scope has been
    /// entered into that body's table, which goes when the body closes or
    /// is dropped: the lookahead is then bound again by its name.
    void NoteLookahead(ParseValue* la);

    /// Hands the tree over to the caller (null when none was built).
    TiNode* TakeTree();
    /// Hands the initial value of an initial-value parse over (or null).
    TiInitValSpec* TakeInitVal();

    /// Releases what a value owns (also used for values that leave the
    /// parser's stacks unreduced) and clears it.
    void Discard(ParseValue& v);

    // ------------------------------------------------------ start rules
    void SetTree(ParseValue& v);
    void SetInitVal(ParseValue& v);

    // ------------------------------------------------------ declarations
    ParseValue KeywordAsName(ParseValue& kw);
    void DeclareType(ParseValue& name, ParseValue& spec);
    void DeclareTypeNoSemicolon(ParseValue& name, ParseValue& spec);
    ParseValue WithInitVal(ParseValue& spec, ParseValue& value);
    ParseValue ResolveType(ParseValue& name);
    ParseValue SubrangeType(ParseValue& base, ParseValue& range);
    ParseValue BeginEnum(ParseValue& open);
    void DeclareEnumValue(ParseValue& name);
    ParseValue EndEnum(ParseValue& open, ParseValue& close);
    ParseValue EndEnumNoParen(ParseValue& open);
    ParseValue ArraySpec(ParseValue& kw, ParseValue& dims, ParseValue& elem);
    ParseValue ArraySpecNoBracket(ParseValue& dims, ParseValue& of, ParseValue& elem);
    ParseValue BeginStruct(ParseValue& kw);
    void DeclareComponent(ParseValue& name, ParseValue& spec);
    void DeclareComponentNoSemicolon(ParseValue& name, ParseValue& spec);
    ParseValue EndStruct(ParseValue& open, ParseValue& close);
    ParseValue LiteralAsType(ParseValue& lit);
    ParseValue AddDimension(ParseValue* list, ParseValue& dim);
    ParseValue Range(ParseValue& lo, ParseValue& hi);
    ParseValue NegativeBound(ParseValue& minus, ParseValue& lit);
    ParseValue NameBound(ParseValue& name);
    void AbandonEnum(ParseValue& open);
    void AbandonStruct(ParseValue& open);

    // ---------------------------------------------------- initial values
    ParseValue InitLiteral(ParseValue& lit, ParseValue* minus);
    ParseValue InitName(ParseValue& name);
    ParseValue InitArray(ParseValue& open, ParseValue& list);
    ParseValue InitStruct(ParseValue& open, ParseValue& list);
    ParseValue InitAppend(ParseValue& list, ParseValue& rec);
    ParseValue InitRepeat(ParseValue& count, ParseValue& list);
    ParseValue InitAssign(ParseValue& name, ParseValue& value);

    // --------------------------------------------------- units, sections
    ParseValue BeginUnit(ParseValue& kw, ParseValue& name, ParseValue* resultType);
    void EndUnit(ParseValue& head, ParseValue& body);
    void AbandonUnit(ParseValue& head);
    ParseValue BeginSection(ParseValue& kw, ParseValue* qualifier);
    void EndSection(ParseValue& head);
    void AbandonSection(ParseValue& head);
    void DeclareVariable(ParseValue& name, ParseValue* address);
    void DeclareVarType(ParseValue& spec);
    void DeclareVarTypeNoSemicolon(ParseValue& spec);
    void DeclareAccess(ParseValue& path, ParseValue& spec);
    ParseValue AccessPath(ParseValue& path, ParseValue& name);
    void DropDeclaration();
    void Configuration(ParseValue& name);
    void Resource(ParseValue& name, ParseValue& processor);
    void Task(ParseValue& name);
    void TaskInit(ParseValue& name, ParseValue& value);
    void ProgramInstance(ParseValue& name, ParseValue* task, ParseValue& type, ParseValue& args);

    // -------------------------------------------------------------- bodies
    ParseValue EmptyBody();
    ParseValue EndBody(ParseValue& list);
    ParseValue EmptyList();
    ParseValue AppendStatement(ParseValue* list, ParseValue& item);
    ParseValue LateDeclaration(ParseValue& list, ParseValue& block);
    ParseValue MissingSemicolon(ParseValue& statement);
    ParseValue EmptyStatement(ParseValue& semicolon);

    // ---------------------------------------------------- Structured Text
    ParseValue Assign(ParseValue& target, ParseValue& op, ParseValue& value);
    ParseValue AssignWithEqual(ParseValue& target, ParseValue& op, ParseValue& value);
    ParseValue Call(ParseValue& callee, ParseValue& args);
    ParseValue Exit(ParseValue& kw);
    ParseValue Return(ParseValue& kw);
    ParseValue If(ParseValue& kw, ParseValue& cond, ParseValue& then);
    ParseValue ElsIf(ParseValue& chain, ParseValue& cond, ParseValue& then);
    ParseValue EndIf(ParseValue& chain, ParseValue* elseList);
    ParseValue IfNotClosed(ParseValue& chain, ParseValue* elseList);
    ParseValue BeginCase(ParseValue& kw, ParseValue& selector);
    void AbandonCase(ParseValue& head);
    ParseValue CaseElement(ParseValue* body, ParseValue& labels);
    ParseValue CaseStatement(ParseValue& body, ParseValue& item);
    ParseValue CaseLabel(ParseValue* labels, ParseValue& label);
    ParseValue CaseRange(ParseValue& lo, ParseValue* hi);
    ParseValue CaseName(ParseValue& name);
    ParseValue EndCase(ParseValue& head, ParseValue& body, ParseValue* elseList);
    ParseValue CaseNotClosed(ParseValue& head, ParseValue& body);
    ParseValue For(ParseValue& kw, ParseValue& var, ParseValue& from, ParseValue& to,
                   ParseValue& by, ParseValue& body);
    ParseValue ForNotClosed(ParseValue& kw, ParseValue& var, ParseValue& from, ParseValue& to,
                            ParseValue& by, ParseValue& body);
    ParseValue While(ParseValue& kw, ParseValue& cond, ParseValue& body);
    ParseValue WhileNotClosed(ParseValue& kw, ParseValue& cond, ParseValue& body);
    ParseValue Repeat(ParseValue& kw, ParseValue& body, ParseValue& cond);
    ParseValue RepeatNotClosed(ParseValue& kw, ParseValue& body, ParseValue& cond);
    ParseValue Symbol(ParseValue& name);
    ParseValue Index(ParseValue& var, ParseValue& indexes);
    ParseValue Select(ParseValue& var, ParseValue& name);
    ParseValue AddIndex(ParseValue* list, ParseValue& expr);
    ParseValue Binary(ParseValue& left, ParseValue& op, ParseValue& right);
    ParseValue Unary(ParseValue& op, ParseValue& operand);
    ParseValue Constant(ParseValue& lit);
    ParseValue NegativeConstant(ParseValue& minus, ParseValue& lit);
    ParseValue AddArgument(ParseValue* list, ParseValue& arg);
    ParseValue Argument(ParseValue* formal, ParseValue& actual, bool output);
    ParseValue NegatedOutput(ParseValue& formal, ParseValue& var);

    // --------------------------------------------------- Instruction List
    ParseValue IlLabel(ParseValue& name);
    ParseValue IlLoad(ParseValue& op, ParseValue& operand);
    ParseValue IlStore(ParseValue& op, ParseValue& target);
    ParseValue IlSetReset(ParseValue& op, ParseValue& target);
    ParseValue IlOperator(ParseValue& op, ParseValue& operand);
    ParseValue IlOpenParen(ParseValue& op, ParseValue& operand);
    ParseValue IlCloseParen(ParseValue& paren);
    ParseValue IlNot(ParseValue& op);
    ParseValue IlJump(ParseValue& op, ParseValue& label);
    ParseValue IlCall(ParseValue& op, ParseValue& callee, ParseValue* args);
    ParseValue IlReturn(ParseValue& op);

    // ------------------------------------------ Sequential Function Chart
    ParseValue AppendSfc(ParseValue* list, ParseValue& element);
    ParseValue Step(ParseValue& kw, ParseValue& name, ParseValue& actions);
    ParseValue TransitionName(ParseValue& kw, ParseValue* name);
    ParseValue Transition(ParseValue& head, ParseValue& from, ParseValue& to, ParseValue& cond);
    ParseValue Action(ParseValue& kw, ParseValue& name, ParseValue& body);
    ParseValue AddStep(ParseValue* list, ParseValue& name);
    ParseValue AppendAction(ParseValue& list, ParseValue& assoc);
    ParseValue ActionAssoc(ParseValue& action, ParseValue* qualifier, ParseValue* time);

private:
    struct IlResult {
        TiNode* expr = nullptr; // the current result, not yet used (owned)
        TiNode* def = nullptr;  // its EXPR_DEF once used (owned by a statement)
        bool have = false;      // a current result exists
    };
    struct IlDeferred {
        int32_t kind;     // node kind of the deferred operator
        bool negate;      // N modifier
        IlResult outer;   // the current result before "("
        TextLocation pos;
    };
    struct Jump {
        SymAttr* label;
        TextLocation pos;
    };

    // Messages.
    void Report(short number, TextLocation pos);
    void ReportText(short number, TextLocation pos, const char* text);
    void ReportTexts(short number, TextLocation pos, const char* a, const char* b);
    void ReportNoMemory(int line);

    // Helpers.
    TiNode* NewNode(int32_t kind, TextLocation pos, TiNode* c1 = nullptr, TiNode* c2 = nullptr,
                    TiNode* c3 = nullptr);
    TiNode* NewSymbolNode(SymAttr* s, TextLocation pos);
    TiNode* ConstantNode(ParseValue& lit);
    TiNode* BoolConstant(bool value, TextLocation pos);
    TiNode* MakeList(TiNode* first, TiNode* second);
    void DiscardToken(ParseValue& v);
    void ReleaseOwned(ParseValue& v);
    DeclPos Pos(const ParseValue& v) const { return v.pos; }
    short TypeOf(TiNode* n) const;
    SymAttr* FindEnumerator(const char* name);
    SymAttr* FindDefined(SymAttr* s);
    SymAttr* SelectScopeType(TiNode* symbolNode, SymTab** table);
    TiNode* DeepestSymbol(TiNode* n) const;
    SymAttr* ResolveCallee(SymAttr* callee, TextLocation pos, bool* conversion);
    void ResolveFormals(SymAttr* callee, TiNode* args);
    ParseValue Loop(int32_t kind, ParseValue& kw, TiNode* c1, TiNode* c2, TiNode* c3);
    ParseValue TakeNode(TiNode* n, TextLocation pos);
    void AttachUnitBody(SymAttr* unit, TextLocation pos, TiNode* body);
    void DropTreesInto(SymTab* table);
    void RebindLookahead();
    void DeclareSpec(ParseValue& spec, bool var);

    // Instruction List.
    TiNode* IlUse(TextLocation pos);
    TiNode* IlUseAsStatement(TextLocation pos);
    void IlSet(TiNode* expr);
    void IlForgetShared();
    void IlReset();
    int32_t IlOperatorKind(short token, bool* negate) const;
    void CheckJumps();

    short status = 0;
    SymTabSet* set;
    Library* library;
    TiDB* db;
    ErrMess* sink;
    TiCompOptions* opts;
    DeclContext* decl = nullptr;
    TiScanner* scanner = nullptr;
    TextLocation lastShift;

    TiNode* root = nullptr;            // a tree of a start marker's part
    std::vector<TiNode*> unitLabels;   // LABEL(unit, body) per unit, in source order
    ParseValue* lookahead = nullptr;   // the parser's lookahead
    std::string lookaheadName;         // its name, while it is at risk
    bool lookaheadAtRisk = false;
    TiInitValSpec* initResult = nullptr;

    IlResult il;
    std::vector<IlDeferred> ilStack;
    std::vector<Jump> jumps;
    std::vector<TiNode*> caseSelectors; // selector of every open CASE (not owned)
    IEC_CONSTANT* zeroBound = nullptr;   // the bound used for a name in a dimension
};
