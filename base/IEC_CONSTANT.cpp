// IEC_CONSTANT: lifetime of the owned string text, the choice of the
// elementary type of an untyped literal, the binary read-out, and the
// TiConstantTo... conversions.
#include "base/IEC_CONSTANT.h"

#include "base/TiLitStatus.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

using namespace iec;

namespace {

constexpr double kRealMin = 1.1754943508222875e-38; // smallest normal float
constexpr double kRealMax = 3.4028234663852886e+38; // largest float
constexpr double kTwo32 = 4294967296.0;

char* DuplicateText(const char* text, bool& ok) {
    const char* src = text ? text : "";
    const size_t n = std::strlen(src) + 1;
    char* copy = new (std::nothrow) char[n];
    ok = copy != nullptr;
    if (copy) {
        std::memcpy(copy, src, n);
    }
    return copy;
}

bool IsDecimal(const IEC_CONSTANT& c) {
    return (c.flags & CONST_BASED) == 0;
}

// Reads the digit as an integer of `width` bytes into the low bytes of `bits`
// (two's complement for a signed read-out). A signed read-out is used only for
// decimal constants of signed targets; every other case reads the unsigned
// value of the same width, which is the bit pattern of a based literal.
short ReadInteger(const IEC_CONSTANT& c, int width, bool signedTarget, uint64_t& bits) {
    const TiDigit& d = c.value.digit;
    const bool useSigned = signedTarget && IsDecimal(c);
    short rc;
    switch (width) {
    case 1:
        if (useSigned) {
            int8_t v;
            rc = d.GetINT8Val(&v);
            bits = static_cast<uint8_t>(v);
        } else {
            uint8_t v;
            rc = d.GetUINT8Val(&v);
            bits = v;
        }
        break;
    case 2:
        if (useSigned) {
            int16_t v;
            rc = d.GetINT16Val(&v);
            bits = static_cast<uint16_t>(v);
        } else {
            uint16_t v;
            rc = d.GetUINT16Val(&v);
            bits = v;
        }
        break;
    case 4:
        if (useSigned) {
            int32_t v;
            rc = d.GetINT32Val(&v);
            bits = static_cast<uint32_t>(v);
        } else {
            uint32_t v;
            rc = d.GetUINT32Val(&v);
            bits = v;
        }
        break;
    default:
        if (useSigned) {
            TI_INT64 v;
            rc = d.GetINT64Val(&v);
            bits = (static_cast<uint64_t>(static_cast<uint32_t>(v.high)) << 32) | v.low;
        } else {
            TI_UINT64 v;
            rc = d.GetUINT64Val(&v);
            bits = (static_cast<uint64_t>(v.high) << 32) | v.low;
        }
        break;
    }
    return rc;
}

// REAL narrowing without the undefined conversion of an out-of-range double.
short NarrowToReal(double v, float& out) {
    const double x = std::fabs(v);
    if (std::isnan(v)) {
        // IEEE floats: a NaN converts to a NaN of the same sign.
        out = static_cast<float>(v);
        return LIT_OK;
    }
    if (x > kRealMax) {
        out = static_cast<float>(std::copysign(kRealMax, v));
        return LIT_OUT_OF_RANGE;
    }
    if (x != 0.0 && x < kRealMin) {
        out = 0.0f;
        return LIT_OK;
    }
    out = static_cast<float>(v);
    return LIT_OK;
}

// The constant's kind is wrong for the target: it gives up an owned text.
short WrongKind(IEC_CONSTANT& c, short kindCode) {
    if (c.flags & CONST_STRING) {
        c.FreeString();
    }
    return kindCode;
}

// A prefix naming another elementary type overrides the value's result.
short PrefixCheck(const IEC_CONSTANT& c, int16_t targetId, short rc, short kindCode) {
    if (IsElementaryTypeId(c.typeId) && c.typeId != targetId) {
        return kindCode;
    }
    return rc;
}

template <typename T>
short ToInteger(IEC_CONSTANT& c, T* out, int16_t targetId, bool signedTarget, short kindCode) {
    if (!out) {
        return kindCode;
    }
    *out = 0;
    if (!c.IsInteger()) {
        return WrongKind(c, kindCode);
    }
    uint64_t bits = 0;
    const short rc = ReadInteger(c, static_cast<int>(sizeof(T)), signedTarget, bits);
    // The low bytes of the two's complement pattern are the value of T.
    std::memcpy(out, &bits, sizeof(T));
    return PrefixCheck(c, targetId, rc, kindCode);
}

// Copies the value member of a kind; `member` is read only when the kind
// matches, so no other kind's bytes are reinterpreted.
template <typename T>
short CopyValue(IEC_CONSTANT& c, T* out, uint16_t kind, int16_t targetId, short kindCode,
                short nullCode, T IEC_VALUE::*member) {
    if (!out) {
        return nullCode;
    }
    *out = T{};
    if (!(c.flags & kind)) {
        return WrongKind(c, kindCode);
    }
    *out = c.value.*member;
    return PrefixCheck(c, targetId, LIT_OK, kindCode);
}

short Read64AsDouble(IEC_CONSTANT& c, double* out, int16_t targetId, bool signedTarget) {
    if (!out) {
        return LIT_INTEGER_REQUIRED;
    }
    *out = 0.0;
    if (!c.IsInteger()) {
        return WrongKind(c, LIT_INTEGER_REQUIRED);
    }
    uint64_t bits = 0;
    const short rc = ReadInteger(c, 8, signedTarget, bits);
    const uint32_t low = static_cast<uint32_t>(bits);
    const uint32_t highBits = static_cast<uint32_t>(bits >> 32);
    // The high word is signed only where the signed read-out was used.
    const double high = (signedTarget && IsDecimal(c))
                            ? static_cast<double>(static_cast<int32_t>(highBits))
                            : static_cast<double>(highBits);
    *out = high * kTwo32 + low;
    return PrefixCheck(c, targetId, rc, LIT_INTEGER_REQUIRED);
}

} // namespace

IEC_CONSTANT::IEC_CONSTANT() : flags(0), value(), typeId(0), reserved(0) {}

IEC_CONSTANT::IEC_CONSTANT(int32_t v)
    : flags(CONST_DECIMAL), value(), typeId(UNTYPED_INT), reserved(0) {
    value.digit.Set(v);
    if (v < 0) {
        flags = CONST_DECIMAL | CONST_NEGATIVE;
        typeId = UNTYPED_SIGNED;
    }
}

IEC_CONSTANT::~IEC_CONSTANT() {
    FreeString();
}

IEC_CONSTANT::IEC_CONSTANT(IEC_CONSTANT&& other) noexcept
    : flags(0), value(), typeId(0), reserved(0) {
    TakeFrom(other);
}

IEC_CONSTANT& IEC_CONSTANT::operator=(IEC_CONSTANT&& other) noexcept {
    if (this != &other) {
        reset();
        TakeFrom(other);
    }
    return *this;
}

void IEC_CONSTANT::TakeFrom(IEC_CONSTANT& other) {
    flags = other.flags;
    value = other.value;
    typeId = other.typeId;
    reserved = other.reserved;
    // The text now belongs to this constant; clear the other without freeing.
    other.flags = 0;
    other.value = IEC_VALUE();
    other.typeId = 0;
    other.reserved = 0;
}

short IEC_CONSTANT::CopyFrom(const IEC_CONSTANT& other) {
    if (this == &other) {
        return LIT_OK;
    }
    char* text = nullptr;
    if ((other.flags & CONST_STRING) && other.value.str) {
        bool ok;
        text = DuplicateText(other.value.str, ok);
        if (!ok) {
            return LIT_NO_MEMORY;
        }
    }
    reset();
    flags = other.flags;
    value = other.value;
    typeId = other.typeId;
    reserved = other.reserved;
    if (flags & CONST_STRING) {
        value.str = text;
    }
    return LIT_OK;
}

void IEC_CONSTANT::reset() {
    FreeString();
    flags = 0;
    value = IEC_VALUE();
    typeId = 0;
    reserved = 0;
}

short IEC_CONSTANT::SetString(const char* text) {
    bool ok;
    char* copy = DuplicateText(text, ok);
    if (!ok) {
        return LIT_NO_MEMORY;
    }
    AdoptString(copy);
    return LIT_OK;
}

void IEC_CONSTANT::AdoptString(char* text) {
    FreeString();
    value = IEC_VALUE();
    value.str = text;
    flags = CONST_STRING;
    typeId = TYPE_STRING;
}

char* IEC_CONSTANT::ReleaseString() {
    if (!(flags & CONST_STRING)) {
        return nullptr;
    }
    char* text = value.str;
    value.str = nullptr;
    return text;
}

void IEC_CONSTANT::FreeString() {
    if (flags & CONST_STRING) {
        delete[] value.str;
        value.str = nullptr;
    }
}

short IEC_CONSTANT::GetElemDTypeID() const {
    if (typeId == TYPE_NONE || typeId == UNTYPED_INT || typeId == UNTYPED_SIGNED ||
        typeId == UNTYPED_REAL) {
        uint64_t bits;
        if (IsInteger()) {
            if (ReadInteger(*this, 2, true, bits) == 0) {
                return TYPE_INT;
            }
            if (ReadInteger(*this, 4, true, bits) == 0) {
                return TYPE_DINT;
            }
            if (ReadInteger(*this, 8, true, bits) == 0) {
                return TYPE_LINT;
            }
            if (!value.digit.IsNegative() && ReadInteger(*this, 8, false, bits) == 0) {
                return TYPE_ULINT;
            }
            return typeId;
        }
        if (flags & CONST_REAL) {
            float f;
            return NarrowToReal(value.dbl, f) == 0 ? TYPE_REAL : TYPE_LREAL;
        }
        if (flags & CONST_TIME) {
            return TYPE_TIME;
        }
        if (flags & CONST_DATE) {
            return TYPE_DATE;
        }
        if (flags & CONST_DT) {
            return TYPE_DATE_AND_TIME;
        }
        if (flags & CONST_TOD) {
            return TYPE_TIME_OF_DAY;
        }
        if (flags & CONST_STRING) {
            return TYPE_STRING;
        }
        return typeId;
    }
    if (typeId == UNTYPED_BITS && IsInteger()) {
        uint64_t bits;
        if (ReadInteger(*this, 2, false, bits) == 0) {
            return TYPE_WORD;
        }
        if (ReadInteger(*this, 4, false, bits) == 0) {
            return TYPE_DWORD;
        }
        return TYPE_LWORD;
    }
    return typeId;
}

short IEC_CONSTANT::GetVal(void* out, unsigned short& len) const {
    const short t = GetElemDTypeID();
    if (out) {
        std::memset(out, 0, len);
    }
    unsigned char tmp[8] = {};
    const void* src = tmp;
    size_t size = 0;
    short rc = LIT_OK;

    if (IsInteger() || (flags & CONST_BOOL)) {
        int width = 0;
        bool signedTarget = false;
        switch (t) {
        case TYPE_ULINT:
        case TYPE_LWORD:
            width = 8;
            break;
        case TYPE_UDINT:
        case TYPE_DWORD:
            width = 4;
            break;
        case TYPE_UINT:
        case TYPE_WORD:
            width = 2;
            break;
        case TYPE_USINT:
        case TYPE_BYTE:
        case TYPE_BOOL:
            width = 1;
            break;
        case TYPE_LINT:
            width = 8;
            signedTarget = true;
            break;
        case TYPE_DINT:
            width = 4;
            signedTarget = true;
            break;
        case TYPE_INT:
            width = 2;
            signedTarget = true;
            break;
        case TYPE_SINT:
            width = 1;
            signedTarget = true;
            break;
        default:
            break;
        }
        if (width == 0) {
            len = 0;
            return GETVAL_FAILED;
        }
        size = static_cast<size_t>(width);
        if (out) {
            uint64_t bits = 0;
            rc = ReadInteger(*this, width, signedTarget, bits);
            std::memcpy(tmp, &bits, size);
        }
    } else if (flags & CONST_REAL) {
        if (t == TYPE_REAL) {
            size = 4;
            if (out) {
                float f;
                rc = NarrowToReal(value.dbl, f);
                std::memcpy(tmp, &f, size);
            }
        } else if (t == TYPE_LREAL) {
            size = 8;
            std::memcpy(tmp, &value.dbl, size);
        } else {
            len = 0;
            return GETVAL_FAILED;
        }
    } else if (flags & CONST_TIME) {
        size = 4;
        std::memcpy(tmp, &value.time, size);
    } else if (flags & CONST_DATE) {
        size = 2;
        std::memcpy(tmp, &value.date, size);
    } else if (flags & CONST_DT) {
        size = 8;
        std::memcpy(tmp, &value.dt, size);
    } else if (flags & CONST_TOD) {
        size = 4;
        std::memcpy(tmp, &value.tod, size);
    } else if ((flags & CONST_STRING) && value.str) {
        size = std::strlen(value.str) + 1;
        src = value.str;
    } else {
        len = 0;
        return GETVAL_FAILED;
    }

    if (size > 0xFFFF) {
        // A text longer than the 16-bit length can describe.
        len = 0;
        return GETVAL_FAILED;
    }
    if (!out) {
        len = static_cast<unsigned short>(size);
        return LIT_OK;
    }
    if (len < size) {
        len = 0;
        return GETVAL_FAILED;
    }
    if (rc != 0) {
        len = 0;
        return rc;
    }
    std::memcpy(out, src, size);
    len = static_cast<unsigned short>(size);
    return LIT_OK;
}

short TiConstantToSINT(IEC_CONSTANT& c, signed char* out) {
    return ToInteger(c, out, TYPE_SINT, true, LIT_INTEGER_REQUIRED);
}

short TiConstantToUSINT(IEC_CONSTANT& c, unsigned char* out) {
    return ToInteger(c, out, TYPE_USINT, false, LIT_INTEGER_REQUIRED);
}

short TiConstantToBYTE(IEC_CONSTANT& c, unsigned char* out) {
    return ToInteger(c, out, TYPE_BYTE, false, LIT_BITSTRING_REQUIRED);
}

short TiConstantToBOOL(IEC_CONSTANT& c, unsigned char* out) {
    if (!out) {
        return LIT_BITSTRING_REQUIRED;
    }
    *out = 0;
    if (!c.IsInteger() && !(c.flags & CONST_BOOL)) {
        return WrongKind(c, LIT_BITSTRING_REQUIRED);
    }
    uint8_t v = 0;
    short rc = c.value.digit.GetUINT8Val(&v);
    // Every value other than 0 and 1 is a BOOL range error; the output is the
    // nearer of the two (the read-out already saturated negatives to 0).
    if (rc != 0 || v > 1) {
        rc = LIT_BOOL_RANGE;
        v = v > 1 ? 1 : v;
    }
    *out = v;
    return PrefixCheck(c, TYPE_BOOL, rc, LIT_BITSTRING_REQUIRED);
}

short TiConstantToINT(IEC_CONSTANT& c, short* out) {
    return ToInteger(c, out, TYPE_INT, true, LIT_INTEGER_REQUIRED);
}

short TiConstantToUINT(IEC_CONSTANT& c, unsigned short* out) {
    return ToInteger(c, out, TYPE_UINT, false, LIT_INTEGER_REQUIRED);
}

short TiConstantToWORD(IEC_CONSTANT& c, unsigned short* out) {
    return ToInteger(c, out, TYPE_WORD, false, LIT_BITSTRING_REQUIRED);
}

short TiConstantToDATE(IEC_CONSTANT& c, unsigned short* out) {
    return CopyValue<unsigned short>(c, out, CONST_DATE, TYPE_DATE, LIT_DATE_REQUIRED,
                                     LIT_DATE_REQUIRED, &IEC_VALUE::date);
}

short TiConstantToDINT(IEC_CONSTANT& c, int32_t* out) {
    return ToInteger(c, out, TYPE_DINT, true, LIT_INTEGER_REQUIRED);
}

short TiConstantToUDINT(IEC_CONSTANT& c, uint32_t* out) {
    return ToInteger(c, out, TYPE_UDINT, false, LIT_INTEGER_REQUIRED);
}

short TiConstantToDWORD(IEC_CONSTANT& c, uint32_t* out) {
    return ToInteger(c, out, TYPE_DWORD, false, LIT_BITSTRING_REQUIRED);
}

short TiConstantToTIME(IEC_CONSTANT& c, uint32_t* out) {
    // A null output reports -3416, not TIME's own kind code.
    return CopyValue<uint32_t>(c, out, CONST_TIME, TYPE_TIME, LIT_TIME_REQUIRED, LIT_DATE_REQUIRED,
                               &IEC_VALUE::time);
}

short TiConstantToTOD(IEC_CONSTANT& c, uint32_t* out) {
    return CopyValue<uint32_t>(c, out, CONST_TOD, TYPE_TIME_OF_DAY, LIT_TOD_REQUIRED,
                               LIT_TOD_REQUIRED, &IEC_VALUE::tod);
}

short TiConstantToLINT(IEC_CONSTANT& c, double* out) {
    return Read64AsDouble(c, out, TYPE_LINT, true);
}

short TiConstantToULINT(IEC_CONSTANT& c, double* out) {
    return Read64AsDouble(c, out, TYPE_ULINT, false);
}

short TiConstantToLREAL(IEC_CONSTANT& c, double* out) {
    return CopyValue<double>(c, out, CONST_REAL, TYPE_LREAL, LIT_REAL_REQUIRED, LIT_REAL_REQUIRED,
                             &IEC_VALUE::dbl);
}

short TiConstantToREAL(IEC_CONSTANT& c, float* out) {
    if (!out) {
        return LIT_REAL_REQUIRED;
    }
    *out = 0.0f;
    if (!(c.flags & CONST_REAL)) {
        return WrongKind(c, LIT_REAL_REQUIRED);
    }
    const short rc = NarrowToReal(c.value.dbl, *out);
    return PrefixCheck(c, TYPE_REAL, rc, LIT_REAL_REQUIRED);
}

short TiConstantToDT(IEC_CONSTANT& c, IEC_DT* out) {
    return CopyValue<IEC_DT>(c, out, CONST_DT, TYPE_DATE_AND_TIME, LIT_DT_REQUIRED, LIT_DT_REQUIRED,
                             &IEC_VALUE::dt);
}

short TiConstantToSTRING(IEC_CONSTANT& c, char** out) {
    if (!out) {
        return LIT_STRING_REQUIRED;
    }
    *out = nullptr;
    if (!(c.flags & CONST_STRING)) {
        return WrongKind(c, LIT_STRING_REQUIRED);
    }
    *out = c.value.str;
    if (!*out) {
        return LIT_STRING_REQUIRED;
    }
    return PrefixCheck(c, TYPE_STRING, LIT_OK, LIT_STRING_REQUIRED);
}
