// The instruction emitter: mnemonic table, operand checks and texts, and the
// listing line of every instruction form.
#include "compiler/TiEmitter.h"

#include "base/IEC_CONSTANT.h"
#include "base/IecTypeIds.h"
#include "compiler/ErrMess.h"
#include "compiler/SymAttr.h"
#include "compiler/TiNode.h"

#include <cstdarg>
#include <cstring>

namespace {

struct MnemonicEntry {
    int32_t code;
    const char* mnemonic;
};

// Sorted by code.
const MnemonicEntry kMnemonics[] = {
    {opc::JMPDFB, "JMPDFB"},
    {opc::JMPFDFB, "JMPFDFB"},
    {opc::JMPEFB, "JMPEFB"},
    {opc::JMPFFEFB, "JMPFFEFB"},
    {opc::PAV, "PAV"},
    {opc::BNOTEN, "BNOTEN"},
    {opc::INSADDEN, "INSADDEN"},
    {opc::ASSENO, "ASSENO"},
    {opc::BTRUE, "BTRUE"},
    {opc::BFALSE, "BFALSE"},
    {opc::SAVE, "SAVE"},
    {opc::ADRADD, "ADRADD"},
    {opc::AND, "AND"},
    {opc::OR, "OR"},
    {opc::XOR, "XOR"},
    {opc::NOT, "NOT"},
    {opc::BNOT, "BNOT"},
    {opc::ASS, "ASS"},
    {opc::BASS, "BASS"},
    {opc::LABEL, "LABEL"},
    {opc::BRANCH, "BRANCH"},
    {opc::INSADD, "INSADD"},
    {opc::RET, "RET"},
    {opc::ADD, "ADD"},
    {opc::FADD, "FADD"},
    {opc::SUB, "SUB"},
    {opc::FSUB, "FSUB"},
    {opc::MUL, "MUL"},
    {opc::FMUL, "FMUL"},
    {opc::DIV, "DIV"},
    {opc::FDIV, "FDIV"},
    {opc::UDIV, "UDIV"},
    {opc::UMIN, "UMIN"},
    {opc::EQ, "EQ"},
    {opc::BEQ, "BEQ"},
    {opc::NE, "NE"},
    {opc::BNE, "BNE"},
    {opc::SGT, "SGT"},
    {opc::BGT, "BGT"},
    {opc::UGT, "UGT"},
    {opc::SGE, "SGE"},
    {opc::BGE, "BGE"},
    {opc::UGE, "UGE"},
    {opc::SLT, "SLT"},
    {opc::BLT, "BLT"},
    {opc::ULT, "ULT"},
    {opc::SLE, "SLE"},
    {opc::BLE, "BLE"},
    {opc::ULE, "ULE"},
    {opc::INT_TO_DINT, "INT_TO_DINT"},
    {opc::INT_TO_REAL, "INT_TO_REAL"},
    {opc::UINT_TO_DINT, "UINT_TO_DINT"},
    {opc::UINT_TO_REAL, "UINT_TO_REAL"},
    {opc::DINT_TO_REAL, "DINT_TO_REAL"},
    {opc::UDINT_TO_REAL, "UDINT_TO_REAL"},
    {opc::REAL_TO_INT, "REAL_TO_INT"},
    {opc::REAL_TO_UINT, "REAL_TO_UINT"},
    {opc::REAL_TO_DINT, "REAL_TO_DINT"},
    {opc::REAL_TO_UDINT, "REAL_TO_UDINT"},
};

// The codes of the two-operand form: logic, assignment, arithmetic,
// comparison and conversion.
bool IsOperationCode(int32_t code) {
    return (code >= opc::AND && code <= opc::BASS) || (code >= opc::ADD && code <= opc::ULE) ||
           (code >= opc::INT_TO_DINT && code <= opc::REAL_TO_UDINT);
}

bool IsVariableSymbol(const SymAttr* s) {
    return s->GetKind() == sym::KIND_VARIABLE || s->GetKind() == sym::KIND_FB_INSTANCE;
}

// Formats one listing piece into the piece buffer and appends it to `out`.
// False, with nothing appended, when the piece does not fit the buffer.
bool AppendPiece(std::string& out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

bool AppendPiece(std::string& out, const char* fmt, ...) {
    char piece[opc::kPieceSize];
    va_list ap;
    va_start(ap, fmt);
    int len = std::vsnprintf(piece, sizeof piece, fmt, ap);
    va_end(ap);
    if (len < 0 || static_cast<size_t>(len) >= sizeof piece) {
        return false;
    }
    out.append(piece, static_cast<size_t>(len));
    return true;
}

// The size of a constant by its literal form.
uint32_t LiteralSize(const IEC_CONSTANT& c) {
    if (c.flags & (iec::CONST_INTEGER | iec::CONST_REAL | iec::CONST_TIME | iec::CONST_TOD)) {
        return 4;
    }
    if (c.flags & iec::CONST_DATE) {
        return 2;
    }
    if (c.flags & iec::CONST_DT) {
        return 8;
    }
    if (c.flags & iec::CONST_STRING) {
        return c.value.str != nullptr ? static_cast<uint32_t>(std::strlen(c.value.str)) : 0;
    }
    if (c.flags & iec::CONST_BOOL) {
        return 1;
    }
    return 0;
}

// The memory size of an elementary type id, 0 for any other id.
uint32_t ElemSize(short id) {
    if (!sym::IsElementaryId(id)) {
        return 0;
    }
    const sym::ElemTypeInfo* info = sym::GetElemTypeInfo(id);
    return info != nullptr ? info->size : 0;
}

} // namespace

// ------------------------------------------------------------------ opc

const char* opc::Mnemonic(int32_t code) {
    size_t lo = 0;
    size_t hi = sizeof kMnemonics / sizeof kMnemonics[0];
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (kMnemonics[mid].code == code) {
            return kMnemonics[mid].mnemonic;
        }
        if (kMnemonics[mid].code < code) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return nullptr;
}

const char* opc::ClassName(int cls) {
    switch (cls) {
    case CLASS_IMMVAL:
        return "IMMVAL";
    case CLASS_VAR:
        return "VAR";
    case 3:
    case 4:
    case 5:
        return "LOC";
    case CLASS_FRMPAR:
        return "FRMPAR";
    case CLASS_POOLVAR:
        return "POOLVAR";
    case CLASS_IMC:
        return "IMC";
    default:
        return nullptr;
    }
}

// -------------------------------------------------------- TiExprOperand

TiExprOperand TiExprOperand::Variable(SymAttr* symbol, uint32_t offset) {
    TiExprOperand o;
    o.kind = opc::OPD_VARIABLE;
    o.symbol = symbol;
    o.offset = offset;
    return o;
}

TiExprOperand TiExprOperand::SymVariable(SymAttr* symbol, uint32_t offset) {
    TiExprOperand o = Variable(symbol, offset);
    o.kind = opc::OPD_SYM_VARIABLE;
    return o;
}

TiExprOperand TiExprOperand::Constant(IEC_CONSTANT* constant, short typeId) {
    TiExprOperand o;
    o.kind = opc::OPD_CONSTANT;
    o.constant = constant;
    o.typeId = typeId;
    return o;
}

TiExprOperand TiExprOperand::PoolConstant(IEC_CONSTANT* constant, uint16_t poolIndex,
                                          short typeId) {
    TiExprOperand o = Constant(constant, typeId);
    o.kind = opc::OPD_POOL_CONSTANT;
    o.poolIndex = poolIndex;
    return o;
}

TiExprOperand TiExprOperand::Number(uint32_t number) {
    TiExprOperand o;
    o.kind = opc::OPD_NUMBER;
    o.number = number;
    return o;
}

TiExprOperand TiExprOperand::PoolVariable(const char* name, uint32_t size, uint32_t offset) {
    TiExprOperand o;
    o.kind = opc::OPD_POOL_VARIABLE;
    o.name = name;
    o.size = size;
    o.offset = offset;
    return o;
}

TiExprOperand TiExprOperand::Immediate(short typeId, const void* bytes, size_t count) {
    TiExprOperand o;
    o.kind = opc::OPD_IMMEDIATE;
    o.typeId = typeId;
    // A longer image is remembered as too long (kMaxImmediate + 1) and
    // refused when emitted; only what fits is copied.
    size_t n = count < opc::kMaxImmediate ? count : opc::kMaxImmediate;
    if (bytes != nullptr && n > 0) {
        std::memcpy(o.bytes, bytes, n);
    }
    o.byteCount = static_cast<uint8_t>(count > opc::kMaxImmediate ? opc::kMaxImmediate + 1
                                       : bytes != nullptr         ? count
                                                                  : 0);
    return o;
}

// --------------------------------------------------------- TiEmitLookup

SymAttr* TiEmitLookup::FindUnitFBType(Library*, const char*) {
    return nullptr;
}

SymAttr* TiEmitLookup::FindDatabaseFBType(TiDB*, const char*) {
    return nullptr;
}

bool TiEmitLookup::GetPoolIndex(const IEC_CONSTANT&, uint16_t*) {
    return false;
}

bool TiEmitLookup::IsFormalParameter(const SymAttr* var) {
    const SymAttr* owner = var != nullptr ? var->GetUnit() : nullptr;
    if (owner == nullptr) {
        return false;
    }
    // The walk is bounded: a list is built one declaration at a time, but a
    // damaged one must not hang the encoder.
    int steps = 0;
    for (const SymAttr* v = owner->GetIO_VarEntry(); v != nullptr && steps < 65536;
         v = v->GetNext(), ++steps) {
        if (v == var) {
            return true;
        }
    }
    return false;
}

// ------------------------------------------------------------ TiEmitter

/// One listing line being built from its pieces.
class TiEmitter::Line {
public:
    std::string text;
    int32_t location = 0; // first failed check, 0 when none

    void Fail(int32_t loc) {
        if (location == 0) {
            location = loc;
        }
    }
    /// Appends one formatted piece.
    template <typename... Args> void Piece(const char* fmt, Args... args) {
        if (location == 0 && !AppendPiece(text, fmt, args...)) {
            Fail(opc::LOC_PIECE_TOO_LONG);
        }
    }
    /// Appends an operand's text (itself made of checked pieces).
    void Operand(const TiEmitter& e, const TiExprOperand& o) {
        if (location != 0) {
            return;
        }
        std::string t;
        int32_t loc = e.OperandText(o, t);
        if (loc != 0) {
            Fail(loc);
        } else {
            text += t;
        }
    }
};

TiEmitter::TiEmitter(ErrMess* sink, FILE* listing, TiDB* db, Library* library, TiEmitLookup* lookup)
    : sink(sink), listing(listing), db(db), library(library), lookup(lookup) {}

void TiEmitter::NoteNode(const TiNode* node) {
    if (node == nullptr) {
        return;
    }
    if (maxLine != 0) {
        switch (node->kind) {
        case tree::CONSTANT:
        case tree::SYMBOL:
        case tree::STATEM_LIST:
        case tree::WHILE_STATEM:
        case tree::REPEAT:
        case tree::IF_STATEM:
        case tree::FOR_STATEM:
            return;
        default:
            break;
        }
    }
    if (node->line > maxLine) {
        maxLine = node->line;
    }
}

uint32_t TiEmitter::OperandSize(const TiExprOperand& o) {
    switch (o.kind) {
    case opc::OPD_VARIABLE:
    case opc::OPD_SYM_VARIABLE:
        return o.symbol != nullptr ? o.symbol->GetMemsize(0) : 0;
    case opc::OPD_CONSTANT:
    case opc::OPD_POOL_CONSTANT: {
        if (o.constant == nullptr) {
            return 0;
        }
        uint32_t size = ElemSize(o.typeId != 0 ? o.typeId : o.constant->typeId);
        return size != 0 ? size : LiteralSize(*o.constant);
    }
    case opc::OPD_POOL_VARIABLE:
        return o.size;
    case opc::OPD_IMMEDIATE:
        return o.byteCount <= opc::kMaxImmediate ? o.byteCount : 0;
    default:
        return 0;
    }
}

int TiEmitter::OperandClass(const TiExprOperand& o) const {
    switch (o.kind) {
    case opc::OPD_CONSTANT:
    case opc::OPD_IMMEDIATE:
        return opc::CLASS_IMMVAL;
    case opc::OPD_POOL_CONSTANT:
        return opc::CLASS_VAR;
    case opc::OPD_NUMBER:
        return opc::CLASS_IMC;
    case opc::OPD_POOL_VARIABLE:
        return opc::CLASS_POOLVAR;
    case opc::OPD_VARIABLE:
    case opc::OPD_SYM_VARIABLE: {
        if (o.symbol == nullptr) {
            return 0;
        }
        TiEmitLookup fallback;
        TiEmitLookup* l = lookup != nullptr ? lookup : &fallback;
        if (l->IsFormalParameter(o.symbol)) {
            return opc::CLASS_FRMPAR;
        }
        return o.symbol->GetLocatedVar() != nullptr ? opc::CLASS_LOC : opc::CLASS_VAR;
    }
    default:
        return 0;
    }
}

int32_t TiEmitter::OperandText(const TiExprOperand& o, std::string& text) const {
    text.clear();
    const long size = static_cast<long>(OperandSize(o));
    const char* cls = opc::ClassName(OperandClass(o));
    bool fits = true;
    switch (o.kind) {
    case opc::OPD_VARIABLE:
    case opc::OPD_SYM_VARIABLE: {
        if (o.symbol == nullptr) {
            return opc::LOC_VAR_NO_SYMBOL;
        }
        if (!IsVariableSymbol(o.symbol)) {
            return opc::LOC_VAR_SYMBOL_KIND;
        }
        const char* name = o.symbol->GetName() != nullptr ? o.symbol->GetName() : "";
        const SymAttr* owner = o.symbol->GetUnit();
        if (o.kind == opc::OPD_VARIABLE && owner != nullptr && unit != nullptr && owner != unit) {
            fits =
                AppendPiece(text, " \t%s.%s, %ld, %s",
                            owner->GetName() != nullptr ? owner->GetName() : "", name, size, cls);
        } else {
            fits = AppendPiece(text, " \t%s, %ld, %s", name, size, cls);
        }
        break;
    }
    case opc::OPD_CONSTANT:
    case opc::OPD_POOL_CONSTANT: {
        if (o.constant == nullptr) {
            return opc::LOC_CONST_MISSING;
        }
        std::string lit;
        if (TiFormatConstant(*o.constant, lit) != 0) {
            return opc::LOC_CONST_TEXT;
        }
        if (o.kind == opc::OPD_CONSTANT) {
            fits = AppendPiece(text, " \t%s, %ld, %s", lit.c_str(), size, cls);
        } else {
            fits = AppendPiece(text, " \t%u, %ld, VAR (const, val = %s)",
                               static_cast<unsigned>(o.poolIndex), size, lit.c_str());
        }
        break;
    }
    case opc::OPD_NUMBER:
        fits = AppendPiece(text, " \t%lu, %s", static_cast<unsigned long>(o.number), cls);
        break;
    case opc::OPD_POOL_VARIABLE:
        if (o.name == nullptr) {
            return opc::LOC_POOLVAR_NO_NAME;
        }
        // The name goes in as a parameter, never as part of the format, so
        // a directly represented variable ("%IX1.2") keeps its single '%'.
        fits = AppendPiece(text, " \t%s, %ld, %s", o.name, size, cls);
        break;
    case opc::OPD_IMMEDIATE: {
        if (o.byteCount == 0 || o.byteCount > opc::kMaxImmediate) {
            return opc::LOC_IMM_SIZE;
        }
        if ((o.typeId == iec::TYPE_INT && o.byteCount != 2) ||
            (o.typeId == iec::TYPE_DINT && o.byteCount != 4)) {
            return opc::LOC_IMM_TYPE_SIZE;
        }
        // The image is little-endian, as the controller stores it.
        uint64_t raw = 0;
        for (int i = o.byteCount - 1; i >= 0; --i) {
            raw = (raw << 8) | o.bytes[i];
        }
        std::string piece = " \timmVal";
        char buf[opc::kPieceSize];
        if (o.typeId == iec::TYPE_DINT) {
            std::snprintf(buf, sizeof buf, " %ld", static_cast<long>(static_cast<int32_t>(raw)));
        } else if (o.typeId == iec::TYPE_INT) {
            std::snprintf(buf, sizeof buf, " %d", static_cast<int>(static_cast<int16_t>(raw)));
        } else {
            std::snprintf(buf, sizeof buf, " %lu", static_cast<unsigned long>(raw));
        }
        piece += buf;
        piece += " ( ";
        for (int i = 0; i < o.byteCount; ++i) {
            std::snprintf(buf, sizeof buf, "%02X ", static_cast<unsigned>(o.bytes[i]));
            piece += buf;
        }
        piece += ")";
        // At most 8 bytes: the piece is far below the buffer size.
        text = piece;
        return 0;
    }
    default:
        return opc::LOC_OPERAND_KIND;
    }
    if (fits && o.offset != 0 && o.kind != opc::OPD_POOL_CONSTANT && o.kind != opc::OPD_CONSTANT) {
        fits = AppendPiece(text, ", +%lu", static_cast<unsigned long>(o.offset));
    }
    if (!fits) {
        text.clear();
        return opc::LOC_PIECE_TOO_LONG;
    }
    return 0;
}

short TiEmitter::FormError(int formLine) {
    if (sink != nullptr) {
        sink->Report(errmess::SEV_INTERNAL, opc::MSG_INTERNAL_AT, 0, 0, {opc::kModule, formLine});
    }
    return opc::MSG_INTERNAL_AT;
}

short TiEmitter::OperandError(int32_t location) {
    if (sink != nullptr) {
        sink->ReportInternal(location, opc::kModule, __LINE__, opc::kRevision);
    }
    return opc::MSG_INTERNAL;
}

const char* TiEmitter::Begin(int32_t code, int formLine) {
    const char* m = opc::Mnemonic(code);
    if (m == nullptr) {
        if (sink != nullptr) {
            sink->Report(errmess::SEV_ERROR, opc::MSG_NO_MNEMONIC, maxLine, 0, {code});
        }
        FormError(formLine);
    }
    return m;
}

short TiEmitter::Finish(Line& line, int32_t* number) {
    if (line.location != 0) {
        return OperandError(line.location);
    }
    // The line carries counter + 1 already; every form refuses to start
    // when the counter is at its largest value, so this cannot overflow.
    ++counter;
    if (number != nullptr) {
        *number = counter;
    }
    if (listing != nullptr) {
        if (std::fwrite(line.text.data(), 1, line.text.size(), listing) != line.text.size()) {
            return FormError(__LINE__);
        }
    }
    return 0;
}

// Every form: clear *number, check the code, start the line with the
// instruction's number and mnemonic.
#define TI_BEGIN_FORM(code, codeOk)                                                                \
    if (number != nullptr) {                                                                       \
        *number = 0;                                                                               \
    }                                                                                              \
    const char* mnemonic = Begin(code, __LINE__);                                                  \
    if (mnemonic == nullptr) {                                                                     \
        return opc::MSG_NO_MNEMONIC;                                                               \
    }                                                                                              \
    if (!(codeOk) || counter == INT32_MAX) {                                                       \
        return FormError(__LINE__);                                                                \
    }                                                                                              \
    Line line;                                                                                     \
    line.Piece("\n%4ld:\t%s", static_cast<long>(counter) + 1, mnemonic)

short TiEmitter::EmitBranch(int32_t target, int32_t* number) {
    TI_BEGIN_FORM(opc::BRANCH, true);
    line.Piece(" \t%ld", static_cast<long>(target));
    return Finish(line, number);
}

short TiEmitter::EmitCondBranch(int32_t code, const TiExprOperand* o, int32_t target,
                                int32_t* number) {
    TI_BEGIN_FORM(code, code == opc::BTRUE || code == opc::BFALSE);
    if (o == nullptr) {
        line.Fail(opc::LOC_BRANCH_OPERAND);
    } else {
        line.Operand(*this, *o);
    }
    line.Piece("; %ld", static_cast<long>(target));
    return Finish(line, number);
}

short TiEmitter::EmitBNotEn(const TiExprOperand* o, int32_t* number) {
    TI_BEGIN_FORM(opc::BNOTEN, true);
    if (o == nullptr) {
        line.Fail(opc::LOC_BNOTEN_OPERAND);
    } else {
        line.Operand(*this, *o);
    }
    line.Piece("; 0");
    return Finish(line, number);
}

short TiEmitter::EmitAssEno(const TiExprOperand* o, int32_t target, int32_t* number) {
    TI_BEGIN_FORM(opc::ASSENO, true);
    if (o == nullptr) {
        line.Fail(opc::LOC_ASSENO_OPERAND);
    } else {
        line.Operand(*this, *o);
    }
    line.Piece("; %ld", static_cast<long>(target));
    return Finish(line, number);
}

short TiEmitter::EmitInsAddEn(int32_t v, int32_t* number) {
    TI_BEGIN_FORM(opc::INSADDEN, true);
    line.Piece(" \t%ld", static_cast<long>(v));
    return Finish(line, number);
}

short TiEmitter::EmitSave(int32_t v, int32_t* number) {
    TI_BEGIN_FORM(opc::SAVE, true);
    line.Piece(" \t%ld", static_cast<long>(v));
    return Finish(line, number);
}

short TiEmitter::EmitInsAdd(int32_t v, int32_t* number) {
    TI_BEGIN_FORM(opc::INSADD, true);
    line.Piece(" \t%ld", static_cast<long>(v));
    return Finish(line, number);
}

short TiEmitter::EmitFBCall(int32_t code, const char* typeName, int paramCount, int32_t* number) {
    TI_BEGIN_FORM(code, code >= opc::JMPDFB && code <= opc::JMPFFEFB);
    if (typeName == nullptr) {
        return OperandError(opc::LOC_FB_NO_TYPE_NAME);
    }
    TiEmitLookup fallback;
    TiEmitLookup* l = lookup != nullptr ? lookup : &fallback;
    SymAttr* type = l->FindUnitFBType(library, typeName);
    if (type == nullptr) {
        type = l->FindDatabaseFBType(db, typeName);
    }
    if (type == nullptr) {
        if (sink != nullptr) {
            sink->Report(errmess::SEV_ERROR, opc::MSG_NO_FB_TYPE, maxLine, 0, {typeName});
        }
        return opc::MSG_NO_FB_TYPE;
    }
    line.Piece(" \t%s, %d", type->GetName() != nullptr ? type->GetName() : typeName, paramCount);
    return Finish(line, number);
}

short TiEmitter::EmitPav(const TiExprOperand* o, int32_t* number) {
    TI_BEGIN_FORM(opc::PAV, true);
    if (o == nullptr || (o->kind != opc::OPD_VARIABLE && o->kind != opc::OPD_POOL_VARIABLE &&
                         o->kind != opc::OPD_SYM_VARIABLE)) {
        line.Fail(opc::LOC_PAV_OPERAND);
    } else {
        // A variable operand's text already ends with its byte offset.
        line.Operand(*this, *o);
    }
    return Finish(line, number);
}

short TiEmitter::EmitPavSymbol(const SymAttr* symbol, int n, int32_t* number) {
    TI_BEGIN_FORM(opc::PAV, true);
    if (symbol == nullptr) {
        line.Fail(opc::LOC_PAV_SYMBOL);
    } else {
        line.Piece(" %s, %d", symbol->GetName() != nullptr ? symbol->GetName() : "", n);
    }
    return Finish(line, number);
}

short TiEmitter::EmitPavImmediate(int v, int32_t* number) {
    TI_BEGIN_FORM(opc::PAV, true);
    line.Piece(" \t%d, %d, IMMVAL", 2, v);
    return Finish(line, number);
}

short TiEmitter::EmitAdrAdd(const TiExprOperand* a, const TiExprOperand* b, int32_t* number) {
    TI_BEGIN_FORM(opc::ADRADD, true);
    if (a == nullptr || b == nullptr) {
        line.Fail(opc::LOC_ADRADD_OPERAND);
    } else {
        line.Operand(*this, *a);
        line.Piece("; ");
        line.Operand(*this, *b);
    }
    return Finish(line, number);
}

short TiEmitter::EmitPlain(int32_t code, int32_t* number) {
    TI_BEGIN_FORM(code, code == opc::LABEL || code == opc::RET);
    return Finish(line, number);
}

short TiEmitter::EmitOp(int32_t code, const TiExprOperand* a, const TiExprOperand* b,
                        unsigned negate, int32_t* number) {
    TI_BEGIN_FORM(code, IsOperationCode(code));
    if (a != nullptr) {
        if (negate & 1u) {
            line.Piece(" NOT ");
        }
        line.Operand(*this, *a);
    }
    if (b != nullptr) {
        if (a != nullptr) {
            line.Piece("; ");
        }
        if (negate & 2u) {
            line.Piece(" NOT ");
        }
        line.Operand(*this, *b);
    }
    return Finish(line, number);
}

#undef TI_BEGIN_FORM

short TiEmitter::ConvertConstant(TiExprOperand& o) {
    if (o.kind != opc::OPD_CONSTANT || o.constant == nullptr) {
        return OperandError(opc::LOC_CONVERT_KIND);
    }
    uint16_t index = 0;
    if (lookup == nullptr || !lookup->GetPoolIndex(*o.constant, &index)) {
        return OperandError(opc::LOC_CONST_NO_POOL);
    }
    o.kind = opc::OPD_POOL_CONSTANT;
    o.poolIndex = index;
    return 0;
}
