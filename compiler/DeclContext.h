// DeclContext: the declaration context that the parser's semantic actions
// drive, one call per grammar action. It turns TYPE blocks, structures,
// enumerations, subranges, arrays, program units and VAR sections into
// symbol records in the right tables, names anonymous types, and reports
// declaration errors through the message sink.
//
// Section flags (one bit per kind of section; the text of each bit is the
// message -3521 ... -3533):
//
//   0x0001 FUNCTION        0x0080 VAR_GLOBAL
//   0x0002 FUNCTION_BLOCK  0x0100 VAR_EXTERNAL
//   0x0004 PROGRAM         0x0200 CONSTANT qualifier
//   0x0008 VAR_INPUT       0x0400 RETAIN qualifier
//   0x0010 VAR_OUTPUT      0x0800 AT (located variables)
//   0x0020 VAR_IN_OUT      0x1000 VAR_ACCESS
//   0x0040 VAR
//
// The three unit bits equal the unit type of the unit being declared
// (1 function, 2 function block, 4 program). Function-block instances are
// refused in the sections 0x0A38 (inputs, outputs, in-outs, constants,
// located variables); outputs and in-outs are refused inside a function;
// the variables the facade may delete are those of 0x0078. A qualifier is
// given together with its keyword's bit: "VAR CONSTANT" opens 0x0240,
// "VAR_GLOBAL RETAIN" 0x0480.
//
// VAR_GLOBAL, VAR_EXTERNAL and VAR_ACCESS are reported as unsupported
// (-3612) and then opened all the same. They are also incompatible with
// units that may not hold them (-3462): VAR_GLOBAL inside a FUNCTION or a
// FUNCTION_BLOCK, VAR_EXTERNAL inside a FUNCTION, VAR_ACCESS inside any
// unit; and any of the three while another variable section is open.
//
// Decisions where the rules leave room:
// - ResolveTypeName returns the record that describes the type (the
//   elementary, global or template record) instead of copying it into the
//   name record: a copy of an enumeration would be a second, distinct
//   enumeration type that is not equivalent to the first, so two variables
//   declared with the same enumeration type could not be compared.
// - Declaring works by name against the table the declaration belongs to:
//   the record the scanner handed over is used when it is that table's
//   undefined record of the name, otherwise the name is looked up or
//   inserted there. Where the scanner put a new name does not matter.
// - A subrange whose upper bound lies below its lower bound (-3438) keeps
//   the lower bound as upper bound, so the range has one element and every
//   type built on it keeps a sound layout. A bound that is no integer
//   (-3491) or does not fit 32 bits (-3492) is replaced by 0.
// - An enumeration takes at most 65536 values (0 ... 65535); a further
//   value is reported with -3424 and dropped.
// - An initial value on a structure component is reported with -3505, as
//   in a type declaration.
// - Anonymous type records made here (structures, enumerations, arrays,
//   subranges) belong to the context until a declaration takes them over;
//   those left over by syntax errors are destroyed with the context.
// - A structure or enumeration body pushes its own table as the current
//   scope while it is open, so the names the scanner enters there are the
//   components and values; a unit pushes its scope table likewise.
// - Generated names follow the counter of the compilation, as they must:
//   a later compilation that keeps the global table and declares an inline
//   enumeration again gets the existing "ENUM$1", whatever its values are.
#pragma once

#include "compiler/TextLocation.h"

#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <vector>

class AST_Update;
class ErrMess;
class IEC_CONSTANT;
class Library;
class Subrange;
class SymAttr;
class SymTab;
class SymTabSet;
class TiCompOptions;
class TiDB;
class TiInitValSpec;

namespace decl {

// Section flags.
constexpr unsigned short SEC_FUNCTION = 0x0001;
constexpr unsigned short SEC_FUNCTION_BLOCK = 0x0002;
constexpr unsigned short SEC_PROGRAM = 0x0004;
constexpr unsigned short SEC_VAR_INPUT = 0x0008;
constexpr unsigned short SEC_VAR_OUTPUT = 0x0010;
constexpr unsigned short SEC_VAR_IN_OUT = 0x0020;
constexpr unsigned short SEC_VAR = 0x0040;
constexpr unsigned short SEC_VAR_GLOBAL = 0x0080;
constexpr unsigned short SEC_VAR_EXTERNAL = 0x0100;
constexpr unsigned short SEC_CONSTANT = 0x0200;
constexpr unsigned short SEC_RETAIN = 0x0400;
constexpr unsigned short SEC_AT = 0x0800;
constexpr unsigned short SEC_VAR_ACCESS = 0x1000;
/// The unit bits.
constexpr unsigned short SEC_UNITS = 0x0007;
/// Sections in which a function-block instance is refused.
constexpr unsigned short SEC_NO_FB_INSTANCE = 0x0A38;
/// Sections whose variables the facade may delete one by one (DelVar).
constexpr unsigned short SEC_DELETABLE = 0x0078;
/// Interface sections: their variables form a unit's interface list.
constexpr unsigned short SEC_INTERFACE = 0x0038;
/// The variable-section keywords (qualifiers and units excluded).
constexpr unsigned short SEC_VAR_KINDS = 0x11F8;
/// The message naming section bit `bit` (0x0001 ... 0x1000) is
/// kSectionTextBase - log2(bit): -3521 ... -3533.
constexpr short kSectionTextBase = -3521;

// Unit types (the unit byte of a program unit).
constexpr unsigned char UNIT_FUNCTION = 1;
constexpr unsigned char UNIT_FUNCTION_BLOCK = 2;
constexpr unsigned char UNIT_PROGRAM = 4;

// Options consulted.
constexpr uint16_t MODE_ACCEPT_EQUIVALENT =
    0x8000;                                    ///< modeFlags: equivalent redeclaration is silent
constexpr uint16_t HOST_DOLLAR_NAMES = 0x8000; ///< hostFlags: try "$name" for undefined names

// Kinds of the tables the context makes.
constexpr unsigned char TAB_STRUCT = 6; ///< component table of a structure
constexpr unsigned char TAB_ENUM = 7;   ///< value table of an enumeration

/// A name of this many characters or more is too long (-3552).
constexpr size_t kMaxNameLen = 25;

// Messages.
constexpr short MSG_NO_MEMORY = -3406;
constexpr short MSG_OUT_OF_RANGE = -3424;
constexpr short MSG_UPPER_BELOW_LOWER = -3438;
constexpr short MSG_INCOMPATIBLE_SECTIONS = -3462;
constexpr short MSG_FB_NOT_HERE = -3464;
constexpr short MSG_ALREADY_DECLARED = -3465;
constexpr short MSG_VAR_BEFORE_INPUT = -3482; ///< warning
constexpr short MSG_ONLY_FB_AS_TYPE = -3485;
constexpr short MSG_NOT_A_TYPE = -3486;
constexpr short MSG_MINUS_IGNORED = -3489; ///< warning
constexpr short MSG_BOUND_NOT_INTEGER = -3491;
constexpr short MSG_BOUND_RANGE = -3492;
constexpr short MSG_ARRAY_TOO_LARGE = -3499;
constexpr short MSG_FB_OUTSIDE_UNIT = -3504;
constexpr short MSG_INITVAL_IN_TYPE = -3505;
constexpr short MSG_NAME_TOO_LONG = -3552;
constexpr short MSG_INTERNAL = -3555;
constexpr short MSG_STRUCT_TOO_LARGE = -3556;
constexpr short MSG_NOT_SUPPORTED = -3612;
constexpr short MSG_GENERIC_TYPE = -3617;

/// Source unit named in internal errors and out-of-memory messages.
constexpr const char* kModule = "decl";
constexpr const char* kRevision = "$Revision: 1 $";

} // namespace decl

/// A source position for messages (row and column, 0 when unknown).
using DeclPos = TextLocation;

/// One bound of a subrange as the grammar found it: the literal's constant
/// (null when the bound was no literal), whether a minus sign stood before
/// it, and its position. The context only reads the constant (a minus sign
/// is applied to a copy); it never changes or frees it.
struct DeclBound {
    IEC_CONSTANT* value = nullptr;
    bool minus = false;
    DeclPos pos;
};

/// The declaration context of one compilation.
///
/// Every operation reports its errors through the sink (severity 2; the
/// warnings -3482 and -3489 with severity 1) at the position given, and
/// compilation goes on: a faulty declaration is dropped or keeps its first
/// description. Operations returning a short answer 0 when the declaration
/// was made as written and the first message number otherwise (1 when a
/// required argument is null).
///
/// Ownership: the table set, library, adapter, sink and options belong to
/// the facade. Records put into tables belong to those tables. Type specs
/// made by the context (EndStruct, EndEnum, MakeArraySpec, MakeSubrangeType)
/// belong to it until DeclareType, DeclareStructComponent, DeclareVarType or
/// NameAnonymousType takes them over or DropTypeSpec destroys them.
/// Initial values handed to DeclareType and DeclareStructComponent are
/// destroyed there; those handed to DeclareVarType go to the library.
class DeclContext {
public:
    /// A context over `set` (required), `lib`, `db`, `sink` and `opts` (each
    /// may be null: no library registration, no variable numbering, no
    /// messages, default options). `update` is the host's update object,
    /// only stored. `status` (if given) receives 0, or 1 when the set is
    /// null or not sound; such a context declares nothing.
    DeclContext(SymTabSet* set, Library* lib, TiDB* db, ErrMess* sink, TiCompOptions* opts,
                AST_Update* update, short* status);
    /// Destroys leftover anonymous specs and pending variables' values, and
    /// pops the scopes the context pushed and did not pop.
    ~DeclContext();
    DeclContext(const DeclContext&) = delete;
    DeclContext& operator=(const DeclContext&) = delete;

    // ------------------------------------------------------------ TYPE

    /// `name : spec [:= value];` in a TYPE block. The name becomes a derived
    /// type of `spec` (an alias of a named type; an anonymous spec is taken
    /// over). A redeclared data type gets the new description; unless
    /// modeFlags 0x8000 is set and the two are equivalent, -3465 names it.
    /// Outside nested units the type is made visible and registered with
    /// the library; it is copied into the global table when declared inside
    /// a unit; it gets the next sequence number. Names of 25 characters or
    /// more give -3552; `value` is reported with -3505 at its position and
    /// destroyed. A name of another kind gives -3465 and the specifier is dropped.
    short DeclareType(SymAttr* name, DeclPos namePos, SymAttr* spec, TiInitValSpec* value);

    // ------------------------------------------------------- STRUCT

    /// Opens a structure body: a new component table becomes the current
    /// scope. Structures may nest. 0, or -3406.
    short BeginStruct();
    /// `name : spec [:= value];` inside STRUCT. A name already declared in
    /// the component table gives -3465 and the component is dropped; 25
    /// characters or more give -3552. An anonymous spec is named first
    /// (NameAnonymousType). `value` is reported with -3505 and destroyed.
    short DeclareStructComponent(SymAttr* name, DeclPos namePos, SymAttr* spec,
                                 TiInitValSpec* value);
    /// Closes the innermost structure: returns the anonymous structure type
    /// over the components in declaration order (packed), or null when no
    /// component was declared or the body was not open. Above 65535 bytes
    /// -3556 is reported at `endPos` and the type is still returned.
    SymAttr* EndStruct(DeclPos endPos);

    // ---------------------------------------------------- enumerations

    /// Opens an enumeration: a new value table becomes the current scope.
    short BeginEnum();
    /// One value name: -3465 when the enumeration has it already (dropped);
    /// otherwise it gets the previous value plus 1 (the first 0).
    short DeclareEnumValue(SymAttr* name, DeclPos pos);
    /// Closes the innermost enumeration: returns the anonymous enumeration
    /// type (size 2) over its values, or null when it has none.
    SymAttr* EndEnum(DeclPos endPos);

    // ------------------------------------------------ subranges, arrays

    /// `lo..hi`: a new, unlinked range owned by the caller (destroy it with
    /// Subrange::DeleteList unless a type takes it over). Each bound must be
    /// an integer constant (-3491, replaced by 0) of 32 bits (-3492,
    /// replaced by 0); a minus sign negates it where its kind allows,
    /// otherwise -3489 (warning). hi < lo gives -3438 at the upper bound.
    /// Null only when out of memory (-3406).
    Subrange* MakeSubrange(const DeclBound& lo, const DeclBound& hi);
    /// Appends `dim` to the dimension list `list` (null starts a list) and
    /// returns the list's first dimension. `dim` is consumed. Out of memory:
    /// -3406 and `list` unchanged.
    Subrange* AddDimension(Subrange* list, Subrange* dim);
    /// `base(lo..hi)`: an anonymous subrange type of `base` (resolved as by
    /// ResolveTypeName when it is a name) over `range`, which is consumed.
    /// Null with -3486 when base is no data type.
    SymAttr* MakeSubrangeType(SymAttr* base, Subrange* range, DeclPos pos);
    /// `ARRAY[d1, ..., dn] OF elem`: `dims` is consumed; `elem` is a name
    /// (resolved), a data type, or an anonymous spec (named first). The
    /// dimensions 2 ... n become a chain of global one-dimensional array
    /// types named "E[lo..hi]", "E[lo..hi,lo..hi]", ... (reused when the
    /// global table has them); the result is an anonymous array over d1.
    /// Above 65535 bytes -3499 at `pos` (the type is still made). Null when
    /// the element cannot be resolved or no dimension is given.
    SymAttr* MakeArraySpec(Subrange* dims, SymAttr* elem, DeclPos pos);
    /// Gives an anonymous spec its generated global name ("INT[1..2,3..4]",
    /// "INT[]", "INT(1..10)", "STRUCT$n", "ENUM$n", "TYPE$n") and returns
    /// the global record of that name, which takes over the specifier's
    /// description unless it existed already (then the specifier is destroyed).
    /// A named record is returned as it is. Null for null, or when the
    /// global record cannot be made (-3406; the specifier is destroyed).
    SymAttr* NameAnonymousType(SymAttr* spec);
    /// Destroys an anonymous spec made by this context (error recovery).
    /// Any other record is left alone.
    void DropTypeSpec(SymAttr* spec);
    /// True for an anonymous spec the context still owns.
    bool OwnsSpec(const SymAttr* spec) const;

    /// A type named in a declaration: the elementary type of a type keyword,
    /// the record itself when it is a data type or program unit, otherwise
    /// by name the elementary-type table, the global table, the library's
    /// units and the adapter's templates (trace "Template: %s"). Under
    /// hostFlags 0x8000 an undefined name is first tried as "$name" in the
    /// global table. Checks: a generic type -3617; a unit that is no
    /// function block inside a unit -3485; a function block in a section of
    /// 0x0A38 -3464 naming the section, outside any unit -3504; anything
    /// else -3486. Returns the type or unit, or null after a message.
    SymAttr* ResolveTypeName(SymAttr* name, DeclPos pos);

    // ------------------------------------------------ units and sections

    /// Opens a program unit of `unitType` (1, 2 or 4) named `name` with the
    /// result type `resultType` (functions; may be null): the unit's record
    /// in the global table, its scope table as current scope, its section
    /// bit (BeginSection), the adapter's current unit and the library's
    /// registration. A unit opened while another is open counts as nested.
    /// A name declared otherwise gives -3465; the unit is then opened
    /// without record so that its body can still be read.
    short BeginUnit(SymAttr* name, unsigned char unitType, SymAttr* resultType, DeclPos pos);
    /// Closes the innermost unit: stores its interface and other variable
    /// lists, pops its scope and ends its section bit. 1 when none is open.
    short EndUnit();
    /// The record of the innermost open unit, or null.
    SymAttr* GetCurrentUnit() const;

    /// Opens a section: the rules on the bits (see the file comment), then
    /// `flag` is ORed into the current section flags. `pos` is the keyword's
    /// position for messages.
    short BeginSection(unsigned short flag, DeclPos pos);
    /// Ends a section: `flag` is removed from the current section flags;
    /// ending a unit bit resets the section nesting counter.
    short EndSection(unsigned short flag);

    /// One name of a variable declaration list `a, b : type`: -3465 when the
    /// current scope has it already (dropped); otherwise it waits for
    /// DeclareVarType. `address` is the direct-address record of "x AT %IX1.2"
    /// (may be null).
    short DeclareVariable(SymAttr* name, DeclPos pos, SymAttr* address = nullptr);
    /// The type and initial value of the waiting names: each becomes a
    /// variable of the current section flags (a function-block unit as type
    /// makes instances), owned by the current unit, linked after the previous
    /// variable of its list and numbered by the adapter. An anonymous type
    /// is named first. `value` is checked against the type and kept by the
    /// library. A null type drops the names (and destroys `value`).
    short DeclareVarType(SymAttr* type, TiInitValSpec* value);

    // ----------------------------------------------------------- state

    unsigned short GetSectionFlags() const { return sectionFlags; }
    unsigned short GetNestingCounter() const { return nestingCounter; }
    unsigned short GetNestedUnitDepth() const { return nestedDepth; }
    unsigned short GetAnonCounter() const { return anonCounter; }
    unsigned short GetTypeSeqCounter() const { return typeSeq; }
    SymAttr* GetLastEnumValue() const;
    SymAttr* GetFirstVariable() const { return firstVar; }
    SymTabSet* GetTableSet() const { return set; }
    ErrMess* GetErrMess() const { return sink; }
    TiCompOptions* GetOptions() const { return opts; }
    Library* GetLibrary() const { return library; }
    TiDB* GetDB() const { return db; }
    AST_Update* GetUpdate() const { return update; }

    /// The message number that names section bit `bit` (-3521 ... -3533),
    /// 0 when `bit` is not exactly one of the 13 bits.
    static short SectionTextNo(unsigned short bit);

private:
    struct Body { // an open structure or enumeration
        SymTab* table;
        SymAttr* last;      // last component / value declared
        unsigned int count; // values declared (enumerations)
        bool isEnum;
    };
    struct Unit {
        SymAttr* record; // null when the name was taken
        SymTab* table;
        unsigned short bit;
        SymAttr* lastIo;    // last interface variable
        SymAttr* lastOther; // last other variable
        SymAttr* firstIo;
        SymAttr* firstOther;
        SymAttr* resultType;
    };
    struct Pending {
        SymAttr* name;
        SymAttr* address;
        DeclPos pos;
    };

    void Report(int32_t severity, short number, DeclPos pos, const char* text = nullptr,
                const char* text2 = nullptr);
    void ReportNoMemory(int line);
    void ReportInternal(short location, int line);
    void SectionText(unsigned short bit, char* buf, int size) const;
    SymAttr* NewAnonymous();
    void ForgetSpec(SymAttr* spec);
    void DestroySpec(SymAttr* spec);
    SymAttr* RecordIn(SymTab* tab, SymAttr* name, bool* taken);
    bool IsGlobalScope() const;
    SymAttr* LookupType(const char* name);
    SymAttr* CheckResolved(SymAttr* rec, DeclPos pos);
    SymAttr* ArrayLevel(const char* elemName, const Subrange* dim, SymAttr* elem, DeclPos pos,
                        bool* reported);
    short CheckSize(SymAttr* type, short msg, DeclPos pos, bool* reported);
    void DestroyValue(TiInitValSpec* value);
    Body* OpenBody(bool isEnum);
    short MakeVariable(const Pending& p, SymAttr* type, TiInitValSpec* value, SymAttr** made);

    SymTabSet* set;
    Library* library;
    TiDB* db;
    ErrMess* sink;
    TiCompOptions* opts;
    AST_Update* update;
    short status = 0;

    unsigned short sectionFlags = 0;
    unsigned short nestingCounter = 0;
    unsigned short nestedDepth = 0;
    unsigned short anonCounter = 0;
    unsigned short typeSeq = 0;
    SymAttr* firstVar = nullptr;
    SymAttr* lastVar = nullptr; // last variable declared outside any unit

    std::vector<Body> bodies;
    std::vector<Unit> units;
    std::vector<Pending> pending;
    std::unordered_set<SymAttr*> specs; // anonymous specs owned by the context
    unsigned short pushedScopes = 0;    // scopes pushed and not yet popped
};
