// SymAttr, the one record type of every symbol table (keywords, data types,
// variables, components, program units, instances, enumeration values,
// literal constants), and Subrange, one array dimension or the range of a
// subrange type. The data-type queries here are binding for the catalogue
// server: sizes, component lists and the stripping of array dimensions.
//
// Decisions where the rules leave room:
// - Type definitions (enumeration, structure, subrange, array, elementary)
//   require an undefined record; only a derived type redefines a data type.
// - A derived type whose base is the record itself, or derived from it, is
//   refused with 1003: the base links would form a cycle that every query
//   walks. Queries also stop after kMaxTypeChain links.
// - An anonymous base that a symbol table owns is copied, not destroyed:
//   destroying it would leave the table with a dangling record.
// - Two arrays defined with several dimensions at once (not as a chain)
//   with equal bounds compare their elements after all dimensions; stripping
//   one dimension of such an array gives no type.
// - Equivalence answers false beyond kMaxEquivalenceDepth levels (a
//   structure that contains itself through a redefined type).
// - A structure whose size exceeds 65535 and that lacks a scope table
//   reports 1007. Sizes, strides and offsets saturate instead of wrapping.
// - Records are not registered with the memory registration; only the
//   literal records the scanner makes are (tables destroy their records at
//   times when registration may be off).
// - GetTypeSpec(n) of a record that is no array returns the record itself.
#pragma once

#include "base/IEC_CONSTANT.h"
#include "base/TiDigit.h"
#include "compiler/TiLocatedVar.h"
#include "compiler/TiMemSpec.h"

#include <cstdint>

class SymTab;
class SymAttr;
class TiInitValSpec;

namespace sym {

// Record kinds (SymAttr::GetKind).
constexpr uint8_t KIND_UNDEFINED = 0;   ///< fresh record; any Def... may give it a kind
constexpr uint8_t KIND_KEYWORD = 1;     ///< keyword of the IEC keyword list
constexpr uint8_t KIND_VARIABLE = 2;    ///< declared variable
constexpr uint8_t KIND_DTYPE = 3;       ///< data type
constexpr uint8_t KIND_COMPONENT = 4;   ///< structure component
constexpr uint8_t KIND_POU = 5;         ///< program organisation unit
constexpr uint8_t KIND_FB_INSTANCE = 6; ///< function-block instance
constexpr uint8_t KIND_LABEL_LIST = 7;  ///< label list
constexpr uint8_t KIND_ENUM_VALUE = 9;  ///< enumeration value
constexpr uint8_t KIND_CONSTANT = 10;   ///< literal constant

// Data-type class byte: the low three bits hold the class, bit 3 marks an
// array whose element type has that class.
constexpr uint8_t CLASS_ELEMENTARY = 0; ///< elementary type or an alias of one
constexpr uint8_t CLASS_SUBRANGE = 1;
constexpr uint8_t CLASS_ENUM = 2;
constexpr uint8_t CLASS_STRUCT = 4;
constexpr uint8_t CLASS_ARRAY = 8;      ///< the array bit
constexpr uint8_t CLASS_MASK = 7;       ///< the class bits below the array bit

// Type flags byte.
constexpr uint8_t TFLAG_VISIBLE = 0x01;    ///< may be named in declarations
constexpr uint8_t TFLAG_RESTRICTED = 0x08; ///< restricted elementary type (FB template on a unit)
constexpr uint8_t TFLAG_GENERIC = 0x10;    ///< generic type (ANY family)

// Unit type byte of a program unit: a unit with a result type.
constexpr uint8_t POU_FUNCTION = 1;

// Result codes of the Def... operations and of the element-address computation.
constexpr short DEF_OK = 0;
constexpr short DEF_NULL_ARG = 1001;     ///< a required argument is null
constexpr short DEF_DEFINED = 1002;      ///< already defined, or a kind that forbids the change
constexpr short DEF_WRONG_KIND = 1003;   ///< the record or an argument has the wrong kind
constexpr short DEF_NO_DIMENSION = 1004; ///< no dimension description
constexpr short DEF_INDEX_CLAMPED = 1005;///< index outside the bounds; offset clamped
constexpr short DEF_NO_MEMORY = 1006;    ///< out of memory
constexpr short DEF_TOO_LARGE = 1007;    ///< structure larger than 65535 bytes

/// The largest size a data type may have.
constexpr uint32_t kMaxTypeSize = 65535;

/// Base-type links followed by the queries before they give up. A chain of
/// types is built one declaration at a time and cannot be cyclic (see
/// DefDerivedType); the bound keeps a query finite even so.
constexpr int kMaxTypeChain = 4096;
/// Nesting depth at which IsEquivalentType stops comparing (and answers
/// false): a structure can contain a type that was redefined to contain it.
constexpr int kMaxEquivalenceDepth = 64;

/// One elementary data type as the compiler defines it.
struct ElemTypeInfo {
    short id;               ///< negative type id of the keyword list
    const char* name;       ///< first keyword naming the type
    uint32_t size;          ///< byte size
    const char* defaultLit; ///< default literal, null for none
    bool restricted;        ///< restricted elementary type
    bool generic;           ///< member of the ANY family
};

/// The elementary-type data for a type id: default literal and the
/// restricted mark (the keyword list gives ids and sizes). Null for an id
/// that names no elementary or generic type.
const ElemTypeInfo* GetElemTypeInfo(short id);
/// True for the ids of the elementary types proper: -24 ... -1, -31, -64, -65.
bool IsElementaryId(short id);
/// True for the generic ids: -30 ... -25 and -100.
bool IsGenericId(short id);

} // namespace sym

/// One array dimension or one range. The dimensions of an array form a
/// doubly linked list, first dimension first; the list belongs to the data
/// type that holds it.
class Subrange {
public:
    /// An empty range 0..0 with count 1, unlinked.
    Subrange();
    /// The range lower..upper: count upper - lower + 1 (0 when upper <
    /// lower; the count of the widest 32-bit range saturates at 4294967295).
    Subrange(const TiDigit& lower, const TiDigit& upper);
    /// The same from 32-bit bounds.
    Subrange(int32_t lower, int32_t upper);
    /// A copy of `copyOf` (bounds, count, add, stride; a null source gives
    /// the empty range) linked in right behind `previous` (the node that
    /// followed `previous` then follows the copy). A null `previous` leaves
    /// the copy unlinked.
    Subrange(Subrange* copyOf, Subrange* previous);
    /// Unlinks nothing and frees nothing else: destroy lists with DeleteList.
    ~Subrange() = default;
    Subrange(const Subrange&) = delete;
    Subrange& operator=(const Subrange&) = delete;

    /// The lower bound as a signed 32-bit value (saturated when it does not fit).
    int32_t GetLR() const;
    /// The upper bound as a signed 32-bit value (saturated when it does not fit).
    int32_t GetUR() const;
    /// The exact bounds.
    const TiDigit& GetLowerDigit() const { return lower; }
    const TiDigit& GetUpperDigit() const { return upper; }
    /// Number of elements of this dimension.
    uint32_t GetCount() const { return count; }
    /// The array's offset correction (the same in every dimension).
    int32_t GetAdd() const { return add; }
    /// Bytes between two consecutive indexes of this dimension.
    uint32_t GetStride() const { return stride; }
    /// The next / previous dimension, or null.
    Subrange* GetNext() const { return next; }
    Subrange* GetPrev() const { return prev; }
    /// True when both bounds are equal to the other range's bounds.
    bool SameBounds(const Subrange& other) const;

    /// Byte offset contribution of `index` in dimension `dim`: index × stride
    /// and 0 inside the bounds; below the lower bound lower × stride and 1005;
    /// above the upper bound upper × stride and 1005; no dimension (null):
    /// offset 0 and 1004. The element's offset is the sum over all dimensions
    /// plus the add correction. Results beyond 32 bits saturate.
    static short ElemOffset(const Subrange* dim, int32_t index, int32_t& offset);

    /// A copy of the whole list starting at `first` (null for a null list).
    /// Out of memory: null, and nothing of the copy is left behind.
    static Subrange* CopyList(const Subrange* first);
    /// Destroys the list from `first` onwards (null is harmless).
    static void DeleteList(Subrange* first);
    /// The last node of the list from `first` (null for null).
    static Subrange* Last(Subrange* first);
    /// Number of nodes of the list from `first`, saturated at 65535.
    static uint16_t Length(const Subrange* first);

private:
    friend class SymAttr;
    void SetBounds(const TiDigit& lo, const TiDigit& hi);

    TiDigit lower;
    TiDigit upper;
    uint32_t count = 1;
    int32_t add = 0;
    uint32_t stride = 0;
    uint32_t reserved = 0;
    Subrange* prev = nullptr;
    Subrange* next = nullptr;
};

/// A symbol record: name, 16-bit id, kind and the fields of that kind.
///
/// Ownership: a record owns its name copy, its Subrange list (dimensions or
/// range), its literal constant and its located-variable description. It
/// does not own the records and tables it points to (types, components,
/// scope and component tables belong to their SymTab / SymTabSet), nor the
/// initial-value description or a function-block template.
///
/// All queries tolerate a record of any kind and answer null, 0 or false
/// when the question does not apply to it.
class SymAttr {
public:
    /// A zero record (kind undefined) with a copy of `name` (null: anonymous).
    /// When the copy cannot be made the record stays anonymous and
    /// GetConstrStatus() answers 1006.
    explicit SymAttr(const char* name);
    /// A literal constant (kind 10) holding a copy of `spec` (null: a zero
    /// descriptor). Anonymous.
    explicit SymAttr(const TiMemSpec* spec);
    /// A variable (kind 2) that owns the located-variable description
    /// `located` (may be null); no type, unit or flags yet. Anonymous.
    explicit SymAttr(TiLocatedVar* located);
    /// Frees the name, the Subrange list, the constant and the located
    /// description.
    ~SymAttr();
    SymAttr(const SymAttr&) = delete;
    SymAttr& operator=(const SymAttr&) = delete;

    /// True when a symbol table owns the record (it made it, or the record
    /// entered a table's primary index); such a record is destroyed by its
    /// table only.
    bool IsTableOwned() const { return tableOwned; }
    /// 0, or 1006 when the name given to the constructor could not be copied.
    short GetConstrStatus() const { return nameLost ? sym::DEF_NO_MEMORY : sym::DEF_OK; }

    // ---------------------------------------------------------- definition

    /// Sets the id; on a literal constant the id is also handed to its
    /// memory descriptor. Returns 0.
    short DefID(short id);
    /// Replaces the name by a copy of `name` (null: anonymous). Only for
    /// records that are in no name index. 0, or 1006 (the old name stays).
    short DefName(const char* name);
    /// Makes the record a literal constant (kind 10) holding a copy of the
    /// descriptor, replacing a previous one. 1001 for null; 1002 when the
    /// record has another kind.
    short DefMemSpec(const TiMemSpec* spec);
    /// Makes the record a literal constant (kind 10) holding `value`, which
    /// is moved in (a STRING constant's text changes owner); a previous
    /// constant is destroyed. 1002 when the record has another kind; 1006
    /// when no memory is left (`value` is then left as it was).
    short DefConstant(IEC_CONSTANT& value);
    /// Makes an undefined record a keyword: id, token number and the
    /// elementary-type record of the same name (or null). 1002 when the
    /// record is not undefined.
    short DefKeyword(short id, unsigned short token, SymAttr* elemType);
    /// Makes an undefined record an elementary type (class 0) with id, byte
    /// size, default literal (static text, not copied; may be null) and the
    /// flags as given. 1002 when the record is not undefined.
    short DefElemType(short id, uint32_t size, const char* defaultLit, bool visible,
                      bool restricted, bool generic);
    /// Makes an undefined record an enumeration type (class 2, size 2) over
    /// the value list that `lastValue` belongs to: the list's first value is
    /// stored and every value's owner becomes this type. 1001 for a null
    /// value (nothing done); 1003 when a value of the list is no enumeration
    /// value (nothing done); 1002 when the record is not undefined. Without
    /// a scope table the type is defined and 1001 returned.
    short DefEnumType(SymAttr* lastValue, SymTab* scope);
    /// Makes an undefined record a structure type (class 4) over the
    /// component list that `body` (a component, kind 4) belongs to. The
    /// first component is stored; the size is the sum of the component
    /// sizes (packed: no alignment, no padding), up to the first component
    /// whose type is no data type. 1001 for a null body, 1003 for a body of
    /// another kind, 1002 when the record is not undefined (nothing done in
    /// these cases). A sum above 65535 gives 1007, a missing scope table
    /// 1001; the type is defined in both cases (with the full sum as size).
    short DefStructType(SymAttr* body, SymTab* scope);
    /// Makes an undefined record a subrange type (class 1) of `base` over
    /// `range`, which it takes over; size = base size. 1001 for a null
    /// argument, 1003 when base is no data type, 1002 when the record is not
    /// undefined (the caller keeps `range` in these cases).
    short DefSubrangeType(Subrange* range, SymAttr* base);
    /// Makes an undefined record an array of `elem` over the dimension list
    /// `dims`, which it takes over. An array element extends the list by a
    /// copy of the element's dimensions; strides, size and the add
    /// correction are computed (sizes beyond 32 bits saturate). 1001 for a
    /// null argument, 1003 when elem is no data type or the record is not
    /// undefined, 1006 when the copy fails (the caller keeps `dims` in these
    /// cases).
    short DefArrayType(Subrange* dims, SymAttr* elem);
    /// `TYPE this : base`. A named base that is no array gives an alias
    /// (base link, class, size, dimension count and a copy of the ranges);
    /// an array or an anonymous base gives its whole description. An
    /// anonymous base is taken over: its enumeration values change owner,
    /// it is destroyed and `base` is cleared (a base made by a symbol table
    /// is copied instead and left alone). Results: 1001 null base; 1003 base
    /// no data type, or a base that is this record or derived from it (a
    /// cycle); 1006 out of memory (nothing changed); 1002 when this record
    /// was a data type already (it is redefined) or has another kind (it is
    /// left unchanged).
    short DefDerivedType(SymAttr*& base);
    /// Copies the data-type description of `from` (class, flags, size,
    /// dimensions, base, component table, first component, default literal;
    /// a copy of the ranges) into this record, which must be undefined or a
    /// data type. The id and sequence number stay. 1001 null; 1003 `from` is
    /// no data type; 1002 this record has another kind; 1006 out of memory.
    short CopyTypeDesc(const SymAttr* from);
    /// Makes an undefined record an enumeration value and links it behind
    /// `prev` (may be null, else an enumeration value). 1002 when the record
    /// is not undefined; 1003 when prev is of another kind.
    short DefEnumVal(unsigned short value, SymAttr* prev);
    /// Makes an undefined record a structure component of `type` and links
    /// it behind `prev` (may be null, else a component). 1001 null type;
    /// 1003 type no data type or prev of another kind; 1002 the record is
    /// not undefined.
    short DefStructComp(SymAttr* type, SymAttr* prev = nullptr);
    /// Makes an undefined record (or updates a variable) a variable: owner
    /// unit, section flags, type, parameter flags and located description
    /// (owned from now on; a different previous one is freed). 1001 null
    /// type; 1003 type no data type, or the record has another kind.
    short DefVarAttr(SymAttr* unit, unsigned short sectionFlags, SymAttr* type,
                     unsigned short parFlags, TiLocatedVar* located);
    /// Makes an undefined record (or updates a unit) a program unit: unit
    /// type, scope table, the interface list (first interface variable,
    /// first other variable), result type (units of type 1) and unit flags.
    /// 1002 when the record has another kind.
    short DefPOU(unsigned char unitType, SymTab* scope, SymAttr* ioVars, SymAttr* otherVars,
                 SymAttr* resultType, unsigned char flags);
    /// Makes an undefined record or a variable a function-block instance of
    /// `fbUnit` declared by `owner` with its instance table; a variable keeps
    /// its place in its variable list. 1001 null unit; 1003 fbUnit is no
    /// program unit; 1002 the record has another kind.
    short DefFBInstance(SymAttr* owner, unsigned short sectionFlags, SymAttr* fbUnit,
                        SymTab* instanceTab);
    /// Makes an undefined record a label list holding `positions` (opaque,
    /// not owned). 1002 when the record is not undefined.
    short DefLabelList(void* positions);

    /// Links this record behind `prev` in a list of variables, components,
    /// enumeration values or instances (`prev` null: this becomes a head).
    /// 1003 when a record is of a kind without list links.
    short LinkAfter(SymAttr* prev);
    /// Takes this record out of its list, joining its neighbours.
    void Unlink();

    // ------------------------------------------------------------- fields

    /// The name, or null for an anonymous record.
    const char* GetName() const { return name; }
    short GetID() const { return id; }
    uint8_t GetKind() const { return kind; }
    /// True for a data type (kind 3).
    bool IsDType() const { return kind == sym::KIND_DTYPE; }
    /// Class byte of a data type (0 for other kinds).
    uint8_t GetTypeClass() const { return kind == sym::KIND_DTYPE ? classByte : 0; }
    /// Type flags of a data type, unit flags of a program unit (else 0).
    uint8_t GetTypeFlags() const;
    /// Sets or clears the visible flag of a data type (no effect otherwise).
    void SetVisible(bool visible);
    /// Token number of a keyword (0 for other kinds).
    unsigned short GetToken() const { return kind == sym::KIND_KEYWORD ? word : 0; }
    /// Elementary-type record of a keyword (null for other kinds).
    SymAttr* GetKeywordType() const { return kind == sym::KIND_KEYWORD ? type : nullptr; }
    /// Default literal of an elementary type (null when none).
    const char* GetDefaultLiteral() const;
    /// Declaration sequence number of a data type (0 for other kinds).
    unsigned short GetSeqNo() const { return kind == sym::KIND_DTYPE ? seqNo : 0; }
    /// Sets the declaration sequence number of a data type.
    void SetSeqNo(unsigned short n);
    /// Component table of a data type as stored on it (no base walk).
    SymTab* GetCompTab() const { return kind == sym::KIND_DTYPE ? tab : nullptr; }
    /// Forgets the scope table of a program unit or the instance table of an
    /// instance (the table is destroyed elsewhere).
    void DropScopeTab();
    /// Owner unit of a variable or instance.
    SymAttr* GetUnit() const;
    /// Initial-value description of a variable (not owned).
    TiInitValSpec* GetInitVal() const { return kind == sym::KIND_VARIABLE ? initVal : nullptr; }
    /// Sets the initial-value description of a variable. 1003 for other kinds.
    short SetInitVal(TiInitValSpec* value);
    /// Function-block template of a program unit (opaque, not owned).
    void* GetFBTemplate() const { return kind == sym::KIND_POU ? aux : nullptr; }
    /// Sets the template of a program unit. 1003 for other kinds.
    short SetFBTemplate(void* fbTemplate);
    /// Label positions of a label list (opaque).
    void* GetLabelList() const { return kind == sym::KIND_LABEL_LIST ? aux : nullptr; }
    /// Memory descriptor of a literal constant, null for other kinds.
    const TiMemSpec* GetMemSpec() const;
    /// Use count of an instance or literal constant.
    uint32_t GetUseCount() const;
    /// Increments the use count of an instance or literal constant.
    void IncUseCount();

    // ------------------------------------------------------------ queries

    /// The record describing this symbol's type: a variable's or
    /// component's type, a data type itself, an enumeration value's
    /// enumeration, an instance's function-block unit, a function's result
    /// type; null otherwise. With `dims` > 0 and an array, that many
    /// dimensions are stripped along the array types that built the array
    /// (null when the count does not fall on such a boundary). A record
    /// that is no array is returned as it is.
    SymAttr* GetTypeSpec(unsigned short dims) const;
    /// GetTypeSpec(dims) if it is a data type, else null.
    SymAttr* GetDType(unsigned short dims) const;
    /// Size of GetDType(dims), else 0.
    uint32_t GetMemsize(unsigned short dims) const;
    /// Name of GetTypeSpec(dims) if it is a data type, else null.
    const char* GetDTypeName(unsigned short dims) const;
    /// From GetDType(dims) along base links while the base is a data type of
    /// the same class byte (and, for arrays, dimension count): the type that
    /// defines the layout.
    SymAttr* GetElemType(unsigned short dims) const;
    /// Id of GetElemType(dims), 0 when there is none.
    short GetElemTypeID(unsigned short dims) const;
    /// Tests on GetTypeSpec(0): the array bit; class exactly 4, 2, 1.
    bool IsArray() const;
    bool IsStruct() const;
    bool IsEnum() const;
    bool IsSubrange() const;
    /// The generic flag of the element type after stripping all dimensions.
    bool IsAnyDType() const;
    /// This record is a data type with the visible flag.
    bool IsVisibleDType() const;
    /// The base-type link of a data type.
    SymAttr* IsDerivedFrom() const;
    /// Dimension count of GetTypeSpec(0) when it is a data type, else 0.
    unsigned short GetArrayDimension() const;
    /// First dimension of GetTypeSpec(dims) when it is an array, else null.
    Subrange* GetArraySubr(unsigned short dims) const;
    /// The range of a subrange type (of GetTypeSpec(0)).
    Subrange* GetSubr() const;
    /// The add correction of GetArraySubr(0), else 0.
    int32_t GetArrayAddSize() const;
    /// Byte offset contribution of `index` in dimension `k` (0 = first) of
    /// GetTypeSpec(0): see Subrange::ElemOffset (1004 when the type has no
    /// such dimension).
    short GetElemOffset(unsigned short k, int32_t index, int32_t& offset) const;
    /// A component: the first component of its list. Otherwise, when
    /// GetTypeSpec(0) is a structure: the first component stored on it or,
    /// for an alias, on its base, the base's base, ...; else null.
    SymAttr* GetStructCompEntry() const;
    /// An enumeration value: the first value of its list. Otherwise, when
    /// GetTypeSpec(0) is an enumeration: its first value (through aliases
    /// as for structures); else null.
    SymAttr* GetEnumCompEntry() const;
    /// The value of an enumeration value and 0; otherwise value = -1 and 1003.
    short GetEnumVal(short& value) const;
    /// Next / previous record of a variable, component, enumeration-value or
    /// instance list; null for other kinds.
    SymAttr* GetNext() const;
    SymAttr* GetPrev() const;
    /// A variable, data type or component: from GetTypeSpec(0) along base
    /// links while the type is a structure or enumeration, the component
    /// table of the first one without base. A program unit: its scope table;
    /// an instance: its instance table. Else null.
    SymTab* GetScopeTab() const;
    /// Section flags of a variable or instance, else 0.
    unsigned short GetContext() const;
    /// Parameter flags of a variable, else 0.
    unsigned short GetParFlags() const;
    /// Unit type of a program unit or of an instance's unit, else 0.
    unsigned char GetPOU_Type() const;
    /// First interface variable / first other variable of a unit.
    SymAttr* GetIO_VarEntry() const;
    SymAttr* GetOtherVarEntry() const;
    /// Located description of a variable (owned by it).
    TiLocatedVar* GetLocatedVar() const;
    /// The constant of a literal constant (owned by it), else null.
    IEC_CONSTANT* GetConstant() const;
    /// Type equivalence of GetElemType(dimsThis) and other's
    /// GetElemType(dimsOther): the same record; arrays with equal bounds and
    /// equivalent elements; structures with equally many components of
    /// equivalent types (and equal names ignoring case unless
    /// ignoreComponentNames; deeper levels always compare names); subranges
    /// with equal bounds; otherwise equal elementary ids. Enumerations are
    /// only equivalent to themselves.
    bool IsEquivalentType(const SymAttr* other, unsigned short dimsThis,
                          unsigned short dimsOther, bool ignoreComponentNames) const;

private:
    friend class SymTab;

    void ClearTypeDesc();
    bool HasListLinks() const;
    bool ReachesByBase(const SymAttr* target) const;
    bool EquivalentAt(const SymAttr* other, unsigned short dimsThis, unsigned short dimsOther,
                      bool ignoreComponentNames, int depth) const;
    const SymAttr* FirstWithList(bool wantStruct) const;

    char* name = nullptr;
    short id = 0;
    uint8_t kind = sym::KIND_UNDEFINED;
    uint8_t classByte = 0;   // data type: class; program unit: unit type
    uint8_t flags = 0;       // data type: type flags; program unit: unit flags
    uint16_t word = 0;       // keyword: token; variable, instance: section flags;
                             // data type: dimension count; enumeration value: value
    uint16_t parFlags = 0;   // variable: parameter flags
    uint16_t seqNo = 0;      // data type: declaration sequence number
    bool nameLost = false;   // the constructor could not copy the name
    bool tableOwned = false; // made by a symbol table's create callback
    uint32_t size = 0;       // data type: memory size
    uint32_t useCount = 0;   // instance, literal constant
    SymAttr* type = nullptr; // variable, component: type; data type: base; enumeration
                             // value: owner; instance: function-block unit; keyword:
                             // elementary type; program unit: result type
    SymAttr* unit = nullptr; // variable, instance: owner unit
    SymAttr* prev = nullptr; // list links of variables, components, values, instances
    SymAttr* next = nullptr;
    SymAttr* first = nullptr;  // data type: first component/value; unit: interface variables
    SymAttr* other = nullptr;  // program unit: other variables
    Subrange* subr = nullptr;  // data type: dimension list or range (owned)
    SymTab* tab = nullptr;     // data type: component table; unit: scope; instance: instance table
    const char* defaultLit = nullptr; // elementary type: default literal
    TiLocatedVar* located = nullptr;  // variable: located description (owned)
    TiInitValSpec* initVal = nullptr; // variable: initial value (not owned)
    void* aux = nullptr;              // program unit: FB template; label list: positions
    IEC_CONSTANT* constant = nullptr; // literal constant: value (owned)
    TiMemSpec spec;                   // literal constant: memory descriptor
};
