// TiVariable: a parsed variable access path such as `motor.speed`, `tab[3]`
// or `rec.arr[1,2].x` — a chain of symbol references, each optionally
// indexed, ending at the selected element. It gives the element's byte
// offset from the start of the root variable, its data type and the path's
// canonical text, and reads a path from text against the current
// declarations (morval::ParseVar).
//
// Decisions taken where the rules leave room:
// - A path is read with the source scanner directly (not through the
//   grammar): a name, then any number of index lists "[e, e, ...]" and
//   component selections ".name". Index lists written one after the other
//   ("a[1][2]") and lists with commas ("a[1,2]") apply to the same link.
// - An index's text is the scanner's tokens of its expression joined
//   together: names as declared, literals as written, operators by their
//   symbols, one blank only between two word-like tokens ("i MOD 2").
//   "x[ 3 ]" therefore has the canonical text "x[3]".
// - An index is constant when it is one integer literal, optionally signed.
//   A lone literal of another kind, TRUE/FALSE or an enumeration value is a
//   constant that is not an integer (-3478). Any other expression is a
//   non-constant index; its names must be declared (-3575).
// - A constant index is given the type INT when it fits 16 bits and DINT
//   when it does not (the DINT mode gives DINT always): an array of more than
//   32768 bytes is addressable through the whole of its bounds. Whether it
//   lies within the bounds alone decides -3479.
// - With non-constant indexes GetCompOffset answers 102 and the offset of
//   the path with every non-constant index at its dimension's lower bound
//   (the first element the path can reach).
// - Components are selected from structures (also through aliases); a
//   selection from any other type, or of a name the structure does not
//   have, is -3472 (type name, component name). The root must be a variable
//   (-3575 otherwise). Syntax errors: -3514 for a missing ']', -3511 naming
//   the token expected otherwise ("name", ".", and "end" for a text longer
//   than kMaxPathText or a path of more than kMaxLinks links).
// - A path with errors is not handed out, except when the only errors were
//   clamped indexes (-3479): that path is usable, with the clamped offset.
// - GetAsciiSpec with *size 0 writes nothing, leaves *size 0 and answers
//   100 after the internal error.
#pragma once

#include <cstddef>
#include <cstdint>

class ErrMess;
class IEC_CONSTANT;
class SymAttr;
class SymTabSet;
class TiCompOptions;

namespace tivar {

// Results of GetCompOffset and GetAsciiSpec.
constexpr short OK = 0;
constexpr short NOT_CONSTANT = 102; ///< offset not a compile-time constant
constexpr short TRUNCATED = 100;    ///< canonical text cut to the buffer
constexpr short NO_ARGUMENT = -2;   ///< a required pointer was null
constexpr short NO_MEMORY = -1;     ///< allocation failed (-3406 reported)

// Results of Parse beyond those.
constexpr short PARSE_ERRORS = 1; ///< the path had errors (see the header comment)

// Messages.
constexpr short MSG_NO_COMPONENT = -3472;  ///< type name, component name
constexpr short MSG_NOT_INTEGER = -3478;   ///< index constant that is not an integer
constexpr short MSG_OUT_OF_BOUNDS = -3479; ///< constant outside the bounds (clamped)
constexpr short MSG_NOT_ARRAY = -3480;     ///< type name
constexpr short MSG_TOO_MANY = -3481;      ///< more indexes than dimensions
constexpr short MSG_EXPECTED = -3511;      ///< token text
constexpr short MSG_BRACKET = -3514;       ///< ']' expected
constexpr short MSG_INTERNAL_AT = -3554;   ///< module, line
constexpr short MSG_NOT_DECLARED = -3575;  ///< name

/// Type ids a constant index is given.
constexpr short INDEX_INT = -11;
constexpr short INDEX_DINT = -12;

/// Longest path text Parse accepts; a longer text is refused (-3511 "end").
constexpr size_t kMaxPathText = 4096;
/// Most links (names) and indexes one path may have.
constexpr unsigned kMaxLinks = 256;
constexpr unsigned kMaxIndexes = 256;

/// Module name given with the internal errors.
constexpr const char* kModule = "TiVariable.cpp";

} // namespace tivar

/// The four mode bytes of a path, from the options of the parse that made it.
struct TiVarModes {
    uint8_t constIndexes = 0; ///< non-constant indexes are refused (-3478)
    uint8_t dintIndexes = 0;  ///< constant indexes are typed DINT instead of INT
    uint8_t reserved[2] = {0, 0};
};

/// One index expression of a link.
struct TiVarIndex {
    char* text = nullptr;     ///< the expression's text (owned)
    bool isConstant = false;  ///< an integer constant
    int32_t value = 0;        ///< the constant (clamped to 32 bits)
    short typeId = 0;         ///< INT or DINT for a constant, else 0
    int32_t contribution = 0; ///< index × stride of its dimension (clamped to the bounds)
    bool clamped = false;     ///< the constant lay outside the bounds
    uint16_t line = 0;        ///< where the expression began
    uint16_t col = 0;
    TiVarIndex* next = nullptr;

    TiVarIndex() = default;
    ~TiVarIndex() { delete[] text; }
    TiVarIndex(const TiVarIndex&) = delete;
    TiVarIndex& operator=(const TiVarIndex&) = delete;
};

/// A symbol reference with its source position: what each link of an access
/// path is.
class LocSymAttr {
public:
    /// The referenced symbol (not owned: it belongs to its table).
    SymAttr* GetSymbol() const { return symbol; }
    uint16_t GetLine() const { return line; }
    uint16_t GetCol() const { return col; }

protected:
    LocSymAttr(SymAttr* s, uint16_t l, uint16_t c) : symbol(s), line(l), col(c) {}
    ~LocSymAttr() = default;

    int32_t reserved = 0;
    SymAttr* symbol;
    uint16_t line;
    uint16_t col;
};

/// One link of an access path and, through `next`, the rest of the chain.
///
/// Ownership: a link owns its index list and the links after it; symbols
/// belong to their tables and must outlive the path. Deleting the first
/// link deletes the whole path.
class TiVariable : public LocSymAttr {
public:
    /// A link for `symbol` (the root variable, or a structure component).
    /// Nothing is checked here; see Parse, AddIndex and Select.
    TiVariable(SymAttr* symbol, ErrMess* sink, const TiVarModes& modes, uint16_t line = 0,
               uint16_t col = 0);
    /// Destroys the following links and the index lists (without recursion).
    ~TiVariable();
    TiVariable(const TiVariable&) = delete;
    TiVariable& operator=(const TiVariable&) = delete;

    /// Reads the access path `text` against the declarations of `set`
    /// through a source scanner with `opts` (null: the defaults), reporting
    /// to `sink` (may be null). *out receives the path (the caller deletes
    /// it) or null. Returns 0; 1 when errors were reported (*out is then
    /// null unless all of them were clamped indexes); -2 for a null text, set
    /// or out; -1 when out of memory (-3406 reported).
    static short Parse(const char* text, SymTabSet* set, ErrMess* sink, const TiCompOptions* opts,
                       const TiVarModes& modes, TiVariable** out);

    /// Applies one more index to the last link of the chain, with the index
    /// checks: -3480 (type name) when the link's type is no array, -3481
    /// when all dimensions are indexed already, -3478 for a `constant` that
    /// is not an integer (or for a non-constant index in the constant-index
    /// mode), -3479 when the constant lies outside the dimension's bounds
    /// (the contribution is clamped to the nearest bound), -3406 when out of
    /// memory. `constant` null means a non-constant index; `negate` applies
    /// a minus sign written before the literal. Returns 0, or the message
    /// number reported (with -3479 the index is applied all the same).
    short AddIndex(const char* text, const IEC_CONSTANT* constant, bool negate, uint16_t line = 0,
                   uint16_t col = 0);
    /// Selects the component `name` of the structure the last link stands
    /// for and appends its link. Returns 0; -3472 (type name, name) when the
    /// type is no structure or has no such component; -3406 when out of
    /// memory.
    short Select(const char* name, uint16_t line = 0, uint16_t col = 0);

    /// The last link of the chain.
    LocSymAttr* GetCurSymbol();
    /// The last link as a TiVariable.
    TiVariable* GetLast();
    /// The data type of the last link after its indexes
    /// (symbol.GetDType(index count)), or null.
    SymAttr* GetCurDType();

    /// The byte offset of the selected element from the start of the root
    /// variable. 0 when it is a compile-time constant; 102 when it is not
    /// (a non-constant index: *offset as described in the header comment; a
    /// negative sum: internal error -3554 and *offset 0); -2 with internal
    /// error -3554 for a null offset.
    short GetCompOffset(unsigned long* offset);

    /// The canonical text into `buffer`: at most *size - 1 characters and a
    /// terminating zero; *size receives the characters written + 1. 0; 100
    /// when the text was cut or *size was 0 (the latter with internal error
    /// -3554); -2 with -3554 for a null buffer or size.
    short GetAsciiSpec(char* buffer, unsigned short* size);
    /// The canonical text, allocated with new[] (the caller deletes it). An
    /// empty path gives null and 0; out of memory gives -1 with -3406.
    short GetAsciiSpec(char** text);

    /// The next link, or null.
    TiVariable* GetNext() const { return next; }
    /// The index list of this link (first index first), or null.
    const TiVarIndex* GetIndexList() const { return indexList; }
    /// Number of indexes applied to this link.
    unsigned short GetIndexCount() const { return indexCount; }
    const TiVarModes& GetModes() const { return modes; }
    ErrMess* GetErrMess() const { return sink; }

private:
    void AppendText(char* buf, size_t cap, size_t& len, size_t& need) const;
    void Internal(int line) const;
    void NoMemory(int line) const;
    short LinkOffset(int64_t& sum, bool& constant) const;

    TiVarIndex* indexList = nullptr;
    unsigned short indexCount = 0;
    TiVariable* next = nullptr;
    ErrMess* sink;
    TiVarModes modes;
};
