// TiInitValSpec: the initial value of a declaration ("[3(1, 2), 4(0)]",
// "(a := 1, b := 'x')", an enumerator, a literal) as a tree of records that
// the parser builds, that is checked against the declared data type, and
// that yields the binary image of the value (laid out as the type is in
// controller memory) and its canonical text. TiValToAsciiSpec writes the
// canonical text of a binary value of a data type.
//
// Decisions where the rules leave room or had to be made sound:
// - GetBinVal takes the capacity of the caller's buffer in *len and refuses
//   an image that does not fit (3, with the length needed in *len); the
//   image never runs past the buffer.
// - TiValToAsciiSpec takes the capacity in *len as well (null buffer:
//   measure only) and answers -3429 when the text does not fit.
// - TiValToAsciiSpec writes an array element by element, a run of two or
//   more equal elements as a repetition "n (x)"; an array of arrays as
//   nested lists "[[1, 2], [3, 4]]". A REAL or LREAL value whose formatted
//   literal does not read back to the same bits is written with as many
//   digits as it takes, so the text always reads back to the same image.
// - A value under a subrange is read by the signedness of the base type
//   (a UINT subrange up to 60000 is read unsigned), both in the check and in
//   TiValToAsciiSpec.
// - STRING has size 0 in a layout: a string value stands alone (its image
//   is the text and its terminating zero); inside a structure or array it
//   occupies nothing, and TiValToAsciiSpec writes it there as ''.
// - In a structure list, an element that is no component assignment gives
//   -3540; a component assigned twice gives -3465 naming it.
// - The repetition record's type after the check is an elementary UDINT
//   record kept by this unit (the count's type), not one of a symbol table.
#pragma once

#include "compiler/TextLocation.h"

#include <cstddef>
#include <cstdint>

class ErrMess;
class SymAttr;

namespace initval {

// Record kinds.
constexpr int32_t KIND_LITERAL = 1; ///< a literal
constexpr int32_t KIND_NAME = 2;    ///< an enumerator or named constant
constexpr int32_t KIND_ASSIGN = 3;  ///< component name ":=" value
constexpr int32_t KIND_STRUCT = 4;  ///< "(" values ")"
constexpr int32_t KIND_ARRAY = 5;   ///< "[" values "]"
constexpr int32_t KIND_REPEAT = 6;  ///< count "(" values ")"

// Results of GetBinVal.
constexpr short BIN_OK = 0;
constexpr short BIN_NO_TYPE = 1;   ///< the record (or a record inside it) has no type
constexpr short BIN_NO_VALUE = 2;  ///< a component assignment without value
constexpr short BIN_TOO_SMALL = 3; ///< the image does not fit the buffer (or 65535 bytes)

// Messages.
constexpr short MSG_NO_MEMORY_VALUE = -3405;
constexpr short MSG_NO_MEMORY = -3406;
constexpr short MSG_OUT_OF_RANGE = -3424;
constexpr short MSG_ALREADY_DECLARED = -3465;
constexpr short MSG_NO_COMPONENT = -3472;
constexpr short MSG_MINUS_IGNORED = -3489;
constexpr short MSG_SUBRANGE = -3492;
constexpr short MSG_EXPECTED = -3511;
constexpr short MSG_REPEAT_ZERO = -3534;
constexpr short MSG_REPEAT_ONE = -3535; ///< warning
constexpr short MSG_TOO_MANY = -3536;
constexpr short MSG_NOT_A_VALUE = -3537;
constexpr short MSG_ENUM_MISMATCH = -3538;
constexpr short MSG_ARRAY_MISMATCH = -3539;
constexpr short MSG_STRUCT_MISMATCH = -3540;
constexpr short MSG_TYPE_MISMATCH = -3541;
constexpr short MSG_INTERNAL = -3554;

/// Source unit of the memory registration and of internal errors.
constexpr const char* kModule = "initval";
constexpr const char* kRevision = "$Revision: 4 $";

/// Tokens of the keywords TRUE and FALSE, which also stand for BOOL literals.
constexpr unsigned short kTokenTrue = 373;
constexpr unsigned short kTokenFalse = 318;

} // namespace initval

/// The token a record keeps: the literal or symbol record, the token's source
/// text, and whether the token owns that text.
///
/// Ownership inside a TiInitValSpec: the record of a literal token (the
/// value of a kind 1 record, the count of a kind 6 record) is a literal
/// record that the scanner made for the token; it belongs to the
/// TiInitValSpec and is destroyed with it. The record of a name token
/// (kinds 2 and 3) belongs to its symbol table. An owned text is destroyed
/// with the TiInitValSpec.
///
/// A literal token may also be the keyword TRUE or FALSE (their keyword
/// record, no text): it stands for the BOOL literal. Only a literal constant
/// record (kind 10) is ever destroyed.
struct TiInitValToken {
    SymAttr* rec = nullptr;
    char* text = nullptr;
    uint8_t ownsText = 0;

    /// The scanner's token value (sym, text, ownsText), field by field with
    /// the same ownership.
    template <typename TokenValueT> static TiInitValToken From(const TokenValueT& value) {
        TiInitValToken t;
        t.rec = value.sym;
        t.text = value.text;
        t.ownsText = value.ownsText;
        return t;
    }
};

/// One record of an initial value.
///
/// Records form doubly linked lists (next/prev); a list record (kinds 3 to
/// 6) points to the first record of its inner list. Destroying a record
/// destroys its inner list, its tokens (as TiInitValToken says) and its
/// buffers; destroy whole lists with TiDelInitValSpecList. Every record is
/// registered with the memory registration under "initval".
class TiInitValSpec {
public:
    // ----------------------------------------------------------- builders
    //
    // Each builder takes over what it is given (tokens as TiInitValToken
    // says, inner lists) also when it fails: out of memory is reported to
    // `sink` (-3406 in category 4098; -3405 for a repetition), what was
    // given is destroyed, and null returned.

    /// Kind 1: a literal token (its record a literal record holding the
    /// constant, its text the literal's source text).
    static TiInitValSpec* MakeLiteral(const TiInitValToken& tok, TextLocation pos, ErrMess* sink);
    /// Kind 2: the symbol `sym` named by `tok` (an enumerator or constant).
    static TiInitValSpec* MakeName(SymAttr* sym, const TiInitValToken& tok, TextLocation pos,
                                   ErrMess* sink);
    /// Kind 3: `name := value` from the component name's token.
    static TiInitValSpec* MakeAssign(const TiInitValToken& name, TextLocation pos,
                                     TiInitValSpec* value, ErrMess* sink);
    /// Kind 4: "(" list ")" at the opening token's position; `last` is any
    /// record of the list (the record points to its first).
    static TiInitValSpec* MakeStructList(TextLocation open, TiInitValSpec* last, ErrMess* sink);
    /// Kind 5: "[" list "]", likewise.
    static TiInitValSpec* MakeArrayList(TextLocation open, TiInitValSpec* last, ErrMess* sink);
    /// Kind 6: count "(" list ")" from the count's literal token.
    static TiInitValSpec* MakeRepetition(const TiInitValToken& count, TextLocation pos,
                                         TiInitValSpec* last, ErrMess* sink);
    /// Links `rec` (and the records after it) behind the last record of the
    /// list that `list` belongs to; returns the last record of the joined
    /// list. Either may be null (the other is returned).
    static TiInitValSpec* Append(TiInitValSpec* list, TiInitValSpec* rec);

    /// Destroys this record only (not its neighbours): its inner list, tokens
    /// and buffers. It is unlinked from its list first.
    ~TiInitValSpec();
    TiInitValSpec(const TiInitValSpec&) = delete;
    TiInitValSpec& operator=(const TiInitValSpec&) = delete;

    // ------------------------------------------------------------ queries

    int32_t GetKind() const { return kind; }
    TiInitValSpec* GetNext() const { return next; }
    TiInitValSpec* GetPrev() const { return prev; }
    /// The first record of this record's list.
    TiInitValSpec* GetFirst();
    /// The data type the record was checked against (null before).
    SymAttr* GetType() const { return type; }
    /// The inner list of kinds 4, 5, 6, and of a kind 3 whose value is a
    /// list; else null.
    TiInitValSpec* GetSublist() const;
    /// The value of a kind 3 record (null for other kinds).
    TiInitValSpec* GetValue() const { return kind == initval::KIND_ASSIGN ? sub : nullptr; }
    /// Kinds 1 and 2: the value token's position; kinds 3 to 6 the location
    /// field's position; else null.
    const TextLocation* GetLocation() const;
    /// Kind 1: the literal's text; kind 2: the name; kind 3: that of its
    /// value; kind 6: the count's text; else (or when missing) null.
    const char* GetLiteral() const;
    /// The component name of a kind 3 record (null for other kinds).
    const char* GetCompName() const;
    /// The symbol of a kind 2 record, the literal record of a kind 1 record.
    SymAttr* GetSymbol() const { return kind <= initval::KIND_NAME ? tok.rec : nullptr; }
    /// The canonical text (see the file comment of the source), built once
    /// and cached; owned by the record. Null when a literal or component
    /// name is missing, or out of memory.
    const char* GetAsciiSpec();
    /// The converted value of a kind 1 or 2 record after the check (null
    /// when it is zero or not checked), and its length in bytes.
    const unsigned char* GetBinary() const { return binary; }
    uint32_t GetBinaryLen() const { return binLen; }
    /// The repetition count of a kind 6 record: the checked count, or the
    /// count literal read as UDINT when not checked yet. False (count 0)
    /// for other kinds or a count that is no UDINT.
    bool GetRepCount(uint32_t* count) const;

    /// Writes the binary image into buf (capacity *len bytes): the buffer is
    /// cleared over the type's size, then the value written as laid out in
    /// memory. *len receives the number of bytes covered. 0; 1 the record or
    /// one inside has no type; 2 a component assignment without value; 3 the
    /// image does not fit (*len receives the size needed). Null arguments
    /// give 3 with nothing written.
    short GetBinVal(char* buf, unsigned short* len);

    /// Checks the value against `type` and converts literals and enumerators
    /// (the records' types and binary values are set). Messages go to
    /// `sink` (may be null) at the records' positions. 0 when the value fits;
    /// otherwise the first failure: a conversion's code for a literal, else
    /// the message number reported. A warning alone (-3535) gives 0.
    short Check(SymAttr* type, ErrMess* sink);

    /// Negates a literal written with a minus sign before it: an integer or
    /// real constant changes sign and its text gets a leading '-'. 0; -3489
    /// when the kind of literal has no sign (nothing changes); -3406 out of
    /// memory for the text.
    short Negate();

private:
    friend void TiDelInitValSpecList(TiInitValSpec* spec);
    friend class TiInitValDesc;
    friend class TiInitValRepIter;
    friend class TiInitValChecker;
    friend class TiInitValImage;

    explicit TiInitValSpec(int32_t kind);
    static TiInitValSpec* Make(int32_t kind, ErrMess* sink, short noMemory, int line);
    static void ReleaseToken(TiInitValToken& t, bool ownsRecord);
    void SetBinary(unsigned char* buf, uint32_t len);
    size_t MeasureText() const;
    size_t WriteText(char* out) const;

    int32_t kind;
    TiInitValToken tok;           // kinds 1, 2: the value token
    TiInitValSpec* sub = nullptr; // kinds 3-6: the inner list (kind 3: the value)
    TextLocation pos;             // position of the value token or location field
    TiInitValToken loc;           // kind 3: the name token; kind 6: the count token
    unsigned char* binary = nullptr;
    uint32_t binLen = 0;
    SymAttr* type = nullptr;
    TiInitValSpec* next = nullptr;
    TiInitValSpec* prev = nullptr;
    char* text = nullptr;
};

/// Destroys every record of the list that `spec` belongs to (from its first
/// record on), with their inner lists. Null is harmless.
void TiDelInitValSpecList(TiInitValSpec* spec);

/// Writes the canonical text of the binary value `value` of `type` into
/// buf, whose capacity (terminator included) is *len; *len receives the
/// text's length. A null buf only measures. Structures are written as
/// "(a := 1, b := 2)", arrays as "[1, 2, 3 (0)]", enumerations by their
/// enumerator's name, elementary types and subranges as literals. Results
/// (each failure also reported to `sink`, which may be null): 0; 1 no type;
/// -3424 no enumerator has the value; -3492 a subrange value outside its
/// bounds; -3554 an enumerator without name; 6 a subrange without bounds; a
/// formatting failure's code; -3429 the text does not fit.
short TiValToAsciiSpec(SymAttr* type, const void* value, char* buf, uint32_t* len, ErrMess* sink);
