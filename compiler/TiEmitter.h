// TiEmitter, the instruction emitter of the code generator: it numbers the
// controller instructions of one program unit, knows the mnemonic of every
// operation code, checks each instruction's operands, and writes one line
// per instruction to the unit's code listing. Also the operation codes, the
// operand classes and the operand descriptions it takes.
//
// Decisions taken where the design leaves room:
// - The instruction counter is the number of the last listed instruction:
//   an instruction whose operands fail their checks is neither counted nor
//   listed, so the numbers of the listing have no gaps.
// - Constants (operand kind 2) are listed as immediate constants as they
//   come; ConvertConstant turns one into a pooled constant (kind 3) when the
//   encoder wants it placed in the constant pool.
// - The listing of a PAV of a variable operand shows the byte offset once,
//   as every variable operand does.
// - Function-block types, the pool indexes of constants and the question
//   whether a variable is a formal parameter are answered through
//   TiEmitLookup, which the facade's encoder implements on its template
//   library and database adapter. The emitter only keeps those two.
// - A variable belongs to a nested context (its unit's name is listed in
//   front of it) when it has an owning unit other than the unit set with
//   SetUnit.
// - A located variable lists class 3 ("LOC").
// - The size of a constant whose type id names a type of size 0 (STRING)
//   is taken from its literal form (the length of the text); a BOOL literal
//   without type id has size 1.
// - A listing piece longer than the 300-character piece buffer holds is an
//   internal error (location 1361); nothing is cut.
// - Errors that name the source (-3548, -3577) carry the largest source
//   line seen so far.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class ErrMess;
class SymAttr;
class IEC_CONSTANT;
class TiNode;
class TiDB;
class Library;

namespace opc {

/// Operation codes that have a mnemonic. Every other code has none and
/// cannot be emitted.
enum Code : int32_t {
    JMPDFB = 12,
    JMPFDFB = 13,
    JMPEFB = 14,
    JMPFFEFB = 15,
    PAV = 17,
    BNOTEN = 18,
    INSADDEN = 19,
    ASSENO = 21,
    BTRUE = 25,
    BFALSE = 26,
    SAVE = 27,
    ADRADD = 28,
    AND = 31,
    OR = 32,
    XOR = 33,
    NOT = 34,
    BNOT = 35,
    ASS = 36,
    BASS = 37,
    LABEL = 61,
    BRANCH = 62,
    INSADD = 63,
    RET = 99,
    ADD = 100,
    FADD = 101,
    SUB = 102,
    FSUB = 103,
    MUL = 104,
    FMUL = 105,
    DIV = 106,
    FDIV = 107,
    UDIV = 108,
    UMIN = 109,
    EQ = 120,
    BEQ = 122,
    NE = 123,
    BNE = 125,
    SGT = 126,
    BGT = 128,
    UGT = 129,
    SGE = 130,
    BGE = 132,
    UGE = 133,
    SLT = 134,
    BLT = 136,
    ULT = 137,
    SLE = 138,
    BLE = 140,
    ULE = 141,
    INT_TO_DINT = 213,
    INT_TO_REAL = 214,
    UINT_TO_DINT = 216,
    UINT_TO_REAL = 217,
    DINT_TO_REAL = 219,
    UDINT_TO_REAL = 221,
    REAL_TO_INT = 223,
    REAL_TO_UINT = 224,
    REAL_TO_DINT = 225,
    REAL_TO_UDINT = 226,
};

// Operand classes, as the listing names them.
constexpr int CLASS_IMMVAL = 1;  ///< "IMMVAL"
constexpr int CLASS_VAR = 2;     ///< "VAR"
constexpr int CLASS_LOC = 3;     ///< "LOC" (4 and 5 are "LOC" as well)
constexpr int CLASS_FRMPAR = 6;  ///< "FRMPAR"
constexpr int CLASS_POOLVAR = 7; ///< "POOLVAR"
constexpr int CLASS_IMC = 8;     ///< "IMC"

// Operand kinds of TiExprOperand.
constexpr uint8_t OPD_VARIABLE = 1;      ///< symbol record and byte offset
constexpr uint8_t OPD_CONSTANT = 2;      ///< constant not yet placed
constexpr uint8_t OPD_POOL_CONSTANT = 3; ///< constant placed in the pool (pool index)
constexpr uint8_t OPD_NUMBER = 4;        ///< plain number
constexpr uint8_t OPD_POOL_VARIABLE = 5; ///< pool variable: name and size
constexpr uint8_t OPD_SYM_VARIABLE = 6;  ///< variable, class from its symbol, no unit prefix
constexpr uint8_t OPD_IMMEDIATE = 7;     ///< immediate value: bytes and type id

/// Longest immediate value in bytes.
constexpr size_t kMaxImmediate = 8;
/// Size of the buffer every listing piece is formatted into.
constexpr size_t kPieceSize = 300;

// Message numbers the emitter reports.
constexpr short MSG_NO_MNEMONIC = -3548; ///< error: operation code without mnemonic
constexpr short MSG_INTERNAL_AT = -3554; ///< internal error: module and line
constexpr short MSG_INTERNAL = -3555;    ///< internal error: location code, module, line, revision
constexpr short MSG_NO_FB_TYPE = -3577;  ///< error: function-block type not found

// Location codes of the operand checks (message -3555).
constexpr int32_t LOC_OPERAND_KIND = 1303;    ///< operand of unknown kind
constexpr int32_t LOC_VAR_NO_SYMBOL = 1305;   ///< variable operand without symbol
constexpr int32_t LOC_VAR_SYMBOL_KIND = 1307; ///< symbol is no variable or instance
constexpr int32_t LOC_CONST_MISSING = 1310;   ///< constant operand without constant
constexpr int32_t LOC_CONST_TEXT = 1312;      ///< constant that has no literal text
constexpr int32_t LOC_CONST_NO_POOL = 1314;   ///< constant without pool index
constexpr int32_t LOC_CONVERT_KIND = 1316;    ///< conversion of an operand that is no constant
constexpr int32_t LOC_POOLVAR_NO_NAME = 1320; ///< pool variable without name
constexpr int32_t LOC_IMM_SIZE = 1325;        ///< immediate of 0 or more than 8 bytes
constexpr int32_t LOC_IMM_TYPE_SIZE = 1326;   ///< INT or DINT immediate of another size
constexpr int32_t LOC_BRANCH_OPERAND = 1331;  ///< BTRUE / BFALSE without operand
constexpr int32_t LOC_BNOTEN_OPERAND = 1333;  ///< BNOTEN without operand
constexpr int32_t LOC_ASSENO_OPERAND = 1335;  ///< ASSENO without operand
constexpr int32_t LOC_PAV_OPERAND = 1337;     ///< PAV of an operand that is no variable
constexpr int32_t LOC_PAV_SYMBOL = 1339;      ///< PAV of a symbol without symbol
constexpr int32_t LOC_ADRADD_OPERAND = 1341;  ///< ADRADD without both operands
constexpr int32_t LOC_FB_NO_TYPE_NAME = 1345; ///< function-block call without type name
constexpr int32_t LOC_PIECE_TOO_LONG = 1361;  ///< listing piece longer than the piece buffer

/// Module name and revision text given with the internal errors.
constexpr const char* kModule = "TiEmitter.cpp";
constexpr const char* kRevision = "$Revision: 1 $";

/// The mnemonic of operation code `code`, or null when it has none.
const char* Mnemonic(int32_t code);

/// The listing name of operand class `cls`: 1 "IMMVAL", 2 "VAR", 3-5 "LOC",
/// 6 "FRMPAR", 7 "POOLVAR", 8 "IMC"; null for any other class.
const char* ClassName(int cls);

} // namespace opc

/// The description of one instruction operand. Nothing in it is owned: the
/// symbol, constant and name must outlive the emission.
struct TiExprOperand {
    uint8_t kind = 0;                 ///< opc::OPD_...
    SymAttr* symbol = nullptr;        ///< kinds 1 and 6
    uint32_t offset = 0;              ///< kinds 1, 5, 6: byte offset
    IEC_CONSTANT* constant = nullptr; ///< kinds 2 and 3
    short typeId = 0;                 ///< kinds 2, 3: type when known (0: by the constant); 7: type
    uint16_t poolIndex = 0;           ///< kind 3
    uint32_t number = 0;              ///< kind 4
    const char* name = nullptr;       ///< kind 5
    uint32_t size = 0;                ///< kind 5: size in bytes
    unsigned char bytes[opc::kMaxImmediate] = {}; ///< kind 7: the value's image
    uint8_t byteCount = 0; ///< kind 7: bytes of the image (a longer one is refused)

    /// Kind 1: a variable of the unit (or of a nested context).
    static TiExprOperand Variable(SymAttr* symbol, uint32_t offset = 0);
    /// Kind 6: a variable listed without its unit.
    static TiExprOperand SymVariable(SymAttr* symbol, uint32_t offset = 0);
    /// Kind 2: a constant not yet placed; `typeId` 0 takes the constant's own.
    static TiExprOperand Constant(IEC_CONSTANT* constant, short typeId = 0);
    /// Kind 3: a constant at `poolIndex` of the constant pool.
    static TiExprOperand PoolConstant(IEC_CONSTANT* constant, uint16_t poolIndex, short typeId = 0);
    /// Kind 4: a plain number.
    static TiExprOperand Number(uint32_t number);
    /// Kind 5: a pool variable.
    static TiExprOperand PoolVariable(const char* name, uint32_t size, uint32_t offset = 0);
    /// Kind 7: an immediate value of type `typeId` with the image `bytes`
    /// (`count` bytes; more than kMaxImmediate are refused when emitted).
    static TiExprOperand Immediate(short typeId, const void* bytes, size_t count);
};

/// The questions the emitter asks of the unit being encoded. The defaults
/// know nothing: no function-block type, no pool index; formal parameters
/// are the variables on their unit's interface list.
class TiEmitLookup {
public:
    virtual ~TiEmitLookup() = default;
    /// The function-block type `name` among the unit's tables (the template
    /// library's units), or null.
    virtual SymAttr* FindUnitFBType(Library* library, const char* name);
    /// The function-block type `name` as the database adapter knows it, or
    /// null.
    virtual SymAttr* FindDatabaseFBType(TiDB* db, const char* name);
    /// The constant pool index of `c` in *index; false when it has none.
    virtual bool GetPoolIndex(const IEC_CONSTANT& c, uint16_t* index);
    /// True when `var` is a formal parameter of its unit: by default, when
    /// it is on the interface list (GetIO_VarEntry, GetNext) of its owner.
    virtual bool IsFormalParameter(const SymAttr* var);
};

/// The emitter of one program unit. Every Emit... form returns 0 when the
/// instruction was listed (or counted without listing file), else the number
/// of the message reported through the sink: -3548 for a code without
/// mnemonic (an error, followed by the form's internal error -3554), -3554
/// for a code that does not belong to the form, a counter at its maximum or
/// a listing that cannot be written, -3555 for a failed operand check (with its location code), or
/// -3577 for a function-block type that cannot be found. A failed
/// instruction is neither counted nor listed; `number`, when given,
/// receives the instruction's number, or 0 on failure. Forward branches are
/// listed with target 0; their number lets the encoder fill in the target.
class TiEmitter {
public:
    /// An emitter with counter 0 and no source line yet. `listing` (may be
    /// null: nothing is written) is not closed by the emitter; sink, db,
    /// library and lookup (each may be null) are not owned.
    TiEmitter(ErrMess* sink, FILE* listing, TiDB* db, Library* library, TiEmitLookup* lookup);

    /// The number of the last listed instruction (0 before the first).
    int32_t GetCounter() const { return counter; }
    /// Continues the numbering after instruction n (n >= 0; a negative n is
    /// ignored), for an encoder that lists one unit in several parts.
    void SetCounter(int32_t n) {
        if (n >= 0) {
            counter = n;
        }
    }
    /// The largest source line seen (0 when none).
    uint16_t GetMaxLine() const { return maxLine; }
    /// The unit being encoded: variables of other units are listed with
    /// their unit's name.
    void SetUnit(const SymAttr* unit) { this->unit = unit; }
    /// Replaces the listing file (null: nothing is written).
    void SetListing(FILE* listing) { this->listing = listing; }
    FILE* GetListing() const { return listing; }
    TiDB* GetDB() const { return db; }
    Library* GetLibrary() const { return library; }

    /// Raises the largest source line to the node's line when larger. Once a
    /// line is known, nodes of the kinds CONSTANT, SYMBOL, STATEM_LIST,
    /// WHILE_STATEM, REPEAT, IF_STATEM and FOR_STATEM are not looked at.
    void NoteNode(const TiNode* node);

    /// The size in bytes of an operand: a variable's type size, a constant's
    /// type size or literal size, a pool variable's given size, an
    /// immediate's byte count; 0 for a plain number or a malformed operand.
    static uint32_t OperandSize(const TiExprOperand& o);
    /// The class of an operand: kinds 2 and 7 IMMVAL, 3 VAR, 4 IMC, 5
    /// POOLVAR; kinds 1 and 6 FRMPAR for a formal parameter, LOC for a
    /// located variable, else VAR. 0 for a malformed operand.
    int OperandClass(const TiExprOperand& o) const;
    /// The listing text of an operand (starting with " \t"). Returns 0, or
    /// the failing check's location code (nothing reported).
    int32_t OperandText(const TiExprOperand& o, std::string& text) const;

    /// Places a kind 2 constant: with a pool index from the lookup it becomes
    /// kind 3 and 0 is returned; otherwise the internal error -3555 (1314,
    /// or 1316 for an operand that is no kind 2 constant) is reported and
    /// returned, and the operand is unchanged.
    short ConvertConstant(TiExprOperand& o);

    /// BRANCH to instruction `target`, or forward when target is 0.
    short EmitBranch(int32_t target, int32_t* number = nullptr);
    /// BTRUE or BFALSE (code 25 or 26) on `o` to `target`, or forward (0).
    short EmitCondBranch(int32_t code, const TiExprOperand* o, int32_t target,
                         int32_t* number = nullptr);
    /// BNOTEN on `o`.
    short EmitBNotEn(const TiExprOperand* o, int32_t* number = nullptr);
    /// ASSENO on `o` to instruction `target`.
    short EmitAssEno(const TiExprOperand* o, int32_t target, int32_t* number = nullptr);
    /// INSADDEN with value v.
    short EmitInsAddEn(int32_t v, int32_t* number = nullptr);
    /// SAVE of the plain number v.
    short EmitSave(int32_t v, int32_t* number = nullptr);
    /// INSADD with value v.
    short EmitInsAdd(int32_t v, int32_t* number = nullptr);
    /// A function-block call (codes 12-15) of the type named `typeName`,
    /// looked up in the unit's tables, then through the database adapter,
    /// with `paramCount` parameters; the type's own name is listed.
    short EmitFBCall(int32_t code, const char* typeName, int paramCount, int32_t* number = nullptr);
    /// PAV of a variable operand (kinds 1, 5, 6).
    short EmitPav(const TiExprOperand* o, int32_t* number = nullptr);
    /// PAV of a symbol by name with a number.
    short EmitPavSymbol(const SymAttr* symbol, int n, int32_t* number = nullptr);
    /// PAV of an immediate value.
    short EmitPavImmediate(int v, int32_t* number = nullptr);
    /// ADRADD of the operands a and b.
    short EmitAdrAdd(const TiExprOperand* a, const TiExprOperand* b, int32_t* number = nullptr);
    /// LABEL or RET, without operands.
    short EmitPlain(int32_t code, int32_t* number = nullptr);
    /// A logic, assignment, arithmetic, comparison or conversion instruction
    /// on the operands present (a and b may be null); bit 0 of `negate`
    /// lists a as " NOT ", bit 1 b.
    short EmitOp(int32_t code, const TiExprOperand* a, const TiExprOperand* b, unsigned negate = 0,
                 int32_t* number = nullptr);

private:
    class Line;

    /// Step 1 of every form: the mnemonic, or null after reporting -3548 and
    /// the form's internal error.
    const char* Begin(int32_t code, int formLine);
    /// Reports -3554 at line `formLine` of this module.
    short FormError(int formLine);
    /// Reports -3555 with `location`.
    short OperandError(int32_t location);
    /// Counts the instruction and writes its line.
    short Finish(Line& line, int32_t* number);

    ErrMess* sink;
    FILE* listing;
    TiDB* db;
    Library* library;
    TiEmitLookup* lookup;
    const SymAttr* unit = nullptr;
    int32_t counter = 0;
    uint16_t maxLine = 0;
};
