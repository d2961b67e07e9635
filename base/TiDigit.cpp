// TiDigit: exact digit accumulation, range read-outs with saturation, and the
// small signed arithmetic that constant folding of literals needs.
#include "base/TiDigit.h"

#include "base/TiLitStatus.h"

#include <cmath>
#include <cstring>

namespace {

constexpr uint64_t kMax32 = 0xFFFFFFFFull;
constexpr double kTwo32 = 4294967296.0;
constexpr int16_t kCountMax = INT16_MAX;

// Value of a digit character in the base, or -1 when it is no digit of it.
int DigitValue(short ch, unsigned base) {
    int d = -1;
    if (ch >= '0' && ch <= '9') {
        d = ch - '0';
    } else if (ch >= 'a' && ch <= 'f') {
        d = ch - 'a' + 10;
    } else if (ch >= 'A' && ch <= 'F') {
        d = ch - 'A' + 10;
    }
    return (d >= 0 && static_cast<unsigned>(d) < base) ? d : -1;
}

// Counters are 16-bit: they stop at the maximum instead of wrapping, since a
// wrapped digit count of 0 would make a huge literal read as the value 0.
int16_t CountUp(int16_t n) {
    return n < kCountMax ? static_cast<int16_t>(n + 1) : n;
}

} // namespace

void TiDigit::reset() {
    state_ = 0;
    negative_ = 0;
    relDigits_ = 0;
    leadingZeros_ = 0;
    words_[0] = 0;
    words_[1] = 0;
}

void TiDigit::Set(int32_t v) {
    reset();
    state_ = 1;
    negative_ = v < 0 ? 1 : 0;
    // Negate in unsigned arithmetic so that INT32_MIN has a defined magnitude.
    words_[0] = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
    relDigits_ = v != 0 ? 1 : 0;
}

double TiDigit::StoredDouble() const {
    double d;
    std::memcpy(&d, words_, sizeof d);
    return d;
}

void TiDigit::StoreDouble(double d) {
    std::memcpy(words_, &d, sizeof d);
}

short TiDigit::AppendDigit10(short ch) {
    return Append(ch, 10, iec::LIT_BAD_DECIMAL_DIGIT);
}
short TiDigit::AppendDigit16(short ch) {
    return Append(ch, 16, iec::LIT_BAD_HEX_DIGIT);
}
short TiDigit::AppendDigit8(short ch) {
    return Append(ch, 8, iec::LIT_BAD_OCTAL_DIGIT);
}
short TiDigit::AppendDigit2(short ch) {
    return Append(ch, 2, iec::LIT_BAD_BINARY_DIGIT);
}

short TiDigit::Append(short ch, unsigned base, short badDigitCode) {
    const int d = DigitValue(ch, base);
    if (d < 0) {
        return badDigitCode;
    }
    switch (state_) {
    case 0:
        if (d == 0) {
            leadingZeros_ = CountUp(leadingZeros_);
            return iec::LIT_OK;
        }
        words_[0] = static_cast<uint32_t>(d);
        words_[1] = 0;
        state_ = 1;
        break;
    case 1: {
        // The digit-count thresholds of the accumulation (9 decimal, 8 hex,
        // 10 octal, 32 binary digits) are exactly the points where the next
        // magnitude stops fitting 32 bits; testing the magnitude itself gives
        // the same switch and stays exact after Set() or arithmetic too.
        const uint64_t v = static_cast<uint64_t>(words_[0]) * base + static_cast<unsigned>(d);
        words_[0] = static_cast<uint32_t>(v & kMax32);
        words_[1] = static_cast<uint32_t>(v >> 32);
        if (v > kMax32) {
            state_ = 2;
        }
        break;
    }
    case 2: {
        // Two-limb step: low * base + d never exceeds 64 bits, the carry goes
        // into the high limb; only a high limb beyond 32 bits leaves exactness.
        const uint64_t v = static_cast<uint64_t>(words_[0]) * base + static_cast<unsigned>(d);
        const uint64_t carry = v >> 32;
        const uint32_t low = static_cast<uint32_t>(v & kMax32);
        const uint64_t w = static_cast<uint64_t>(words_[1]) * base + carry;
        if (w > kMax32) {
            StoreDouble(static_cast<double>(w) * kTwo32 + static_cast<double>(low));
            state_ = 3;
        } else {
            words_[0] = low;
            words_[1] = static_cast<uint32_t>(w);
        }
        break;
    }
    default:
        // Approximate from here on; overflow to infinity is well defined for
        // doubles and read-outs reject state 3 anyway.
        StoreDouble(StoredDouble() * base + d);
        break;
    }
    // An arithmetic result (-1) is no digit count; keep it non-zero so that
    // the value is never mistaken for 0.
    if (relDigits_ >= 0) {
        relDigits_ = CountUp(relDigits_);
    }
    return iec::LIT_OK;
}

bool TiDigit::ExactMagnitude(uint64_t& mag) const {
    switch (state_) {
    case 0:
        mag = 0;
        return true;
    case 1:
        mag = words_[0];
        return true;
    case 2:
        mag = (static_cast<uint64_t>(words_[1]) << 32) | words_[0];
        return true;
    default:
        return false;
    }
}

short TiDigit::Fit(uint64_t posMax, uint64_t negMax, uint64_t& mag, bool allow64) const {
    mag = 0;
    if (relDigits_ == 0) {
        return iec::LIT_OK;
    }
    if (state_ == 1) {
        mag = words_[0];
    } else if (state_ == 2 && allow64) {
        mag = (static_cast<uint64_t>(words_[1]) << 32) | words_[0];
    } else {
        return iec::LIT_OUT_OF_RANGE;
    }
    const uint64_t limit = negative_ ? negMax : posMax;
    return mag <= limit ? iec::LIT_OK : iec::LIT_OUT_OF_RANGE;
}

short TiDigit::GetUINT8Val(uint8_t* out) const {
    if (!out) {
        return iec::LIT_NULL_OUTPUT;
    }
    uint64_t mag;
    const short rc = Fit(UINT8_MAX, 0, mag, false);
    *out = rc == 0 ? static_cast<uint8_t>(mag) : (negative_ ? 0 : UINT8_MAX);
    return rc;
}

short TiDigit::GetINT8Val(int8_t* out) const {
    if (!out) {
        return iec::LIT_NULL_OUTPUT;
    }
    uint64_t mag;
    const short rc = Fit(INT8_MAX, 128u, mag, false);
    if (rc != 0) {
        *out = negative_ ? INT8_MIN : INT8_MAX;
    } else {
        *out = static_cast<int8_t>(negative_ ? -static_cast<int>(mag) : static_cast<int>(mag));
    }
    return rc;
}

short TiDigit::GetUINT16Val(uint16_t* out) const {
    if (!out) {
        return iec::LIT_NULL_OUTPUT;
    }
    uint64_t mag;
    const short rc = Fit(UINT16_MAX, 0, mag, false);
    *out = rc == 0 ? static_cast<uint16_t>(mag) : (negative_ ? 0 : UINT16_MAX);
    return rc;
}

short TiDigit::GetINT16Val(int16_t* out) const {
    if (!out) {
        return iec::LIT_NULL_OUTPUT;
    }
    uint64_t mag;
    const short rc = Fit(INT16_MAX, 32768u, mag, false);
    if (rc != 0) {
        *out = negative_ ? INT16_MIN : INT16_MAX;
    } else {
        *out = static_cast<int16_t>(negative_ ? -static_cast<int32_t>(mag)
                                              : static_cast<int32_t>(mag));
    }
    return rc;
}

short TiDigit::GetUINT32Val(uint32_t* out) const {
    if (!out) {
        return iec::LIT_NULL_OUTPUT;
    }
    uint64_t mag;
    const short rc = Fit(UINT32_MAX, 0, mag, false);
    *out = rc == 0 ? static_cast<uint32_t>(mag) : (negative_ ? 0 : UINT32_MAX);
    return rc;
}

short TiDigit::GetINT32Val(int32_t* out) const {
    if (!out) {
        return iec::LIT_NULL_OUTPUT;
    }
    uint64_t mag;
    const short rc = Fit(INT32_MAX, 0x80000000u, mag, false);
    if (rc != 0) {
        *out = negative_ ? INT32_MIN : INT32_MAX;
    } else {
        *out = static_cast<int32_t>(negative_ ? -static_cast<int64_t>(mag)
                                              : static_cast<int64_t>(mag));
    }
    return rc;
}

short TiDigit::GetUINT64Val(TI_UINT64* out) const {
    if (!out) {
        return iec::LIT_NULL_OUTPUT;
    }
    uint64_t mag;
    short rc = Fit(UINT64_MAX, 0, mag, true);
    if (rc != 0) {
        mag = negative_ ? 0 : UINT64_MAX;
    }
    out->low = static_cast<uint32_t>(mag & kMax32);
    out->high = static_cast<uint32_t>(mag >> 32);
    return rc;
}

short TiDigit::GetINT64Val(TI_INT64* out) const {
    if (!out) {
        return iec::LIT_NULL_OUTPUT;
    }
    uint64_t mag;
    const short rc = Fit(static_cast<uint64_t>(INT64_MAX), 0x8000000000000000ull, mag, true);
    uint64_t bits; // two's complement pattern of the result
    if (rc != 0) {
        bits = negative_ ? 0x8000000000000000ull : static_cast<uint64_t>(INT64_MAX);
    } else {
        bits = negative_ ? 0 - mag : mag;
    }
    out->low = static_cast<uint32_t>(bits & kMax32);
    out->high = static_cast<int32_t>(static_cast<uint32_t>(bits >> 32));
    return rc;
}

short TiDigit::GetDoubleVal(double* out) const {
    if (!out) {
        return iec::LIT_NULL_OUTPUT;
    }
    double v;
    switch (state_) {
    case 0:
        *out = 0.0;
        return relDigits_ != 0 ? iec::LIT_OUT_OF_RANGE : iec::LIT_OK;
    case 1:
        v = words_[0];
        break;
    case 2:
        v = words_[1] * kTwo32 + words_[0];
        break;
    default:
        v = StoredDouble();
        break;
    }
    *out = negative_ ? -v : v;
    return iec::LIT_OK;
}

void TiDigit::SetMagnitude(bool negative, uint32_t mag, bool arithmetic) {
    reset();
    state_ = 1;
    negative_ = (negative && mag != 0) ? 1 : 0;
    words_[0] = mag;
    relDigits_ = mag == 0 ? 0 : (arithmetic ? -1 : 1);
}

// An operand as sign and magnitude, exact when `exact`, else only as a double.
struct TiDigit::Operand {
    bool exact;
    bool negative;
    uint64_t mag;
    double dbl;
};

short TiDigit::ReadOperand(const TiDigit& d, Operand& op) {
    op.exact = d.ExactMagnitude(op.mag);
    op.negative = d.IsNegative();
    return d.GetDoubleVal(&op.dbl);
}

short TiDigit::Add(const TiDigit& other) {
    Operand a, b;
    short rc = ReadOperand(*this, a);
    if (rc == 0) {
        rc = ReadOperand(other, b);
    }
    if (rc != 0) {
        return rc;
    }
    if (a.exact && b.exact) {
        // Sign and magnitude arithmetic: exact for the full 64-bit range,
        // where a sum of doubles would lose the low digits.
        bool neg;
        uint64_t mag;
        if (a.negative == b.negative) {
            if (a.mag > UINT64_MAX - b.mag) {
                return iec::LIT_OUT_OF_RANGE;
            }
            neg = a.negative;
            mag = a.mag + b.mag;
        } else if (a.mag >= b.mag) {
            neg = a.negative;
            mag = a.mag - b.mag;
        } else {
            neg = b.negative;
            mag = b.mag - a.mag;
        }
        if (mag > kMax32) {
            return iec::LIT_OUT_OF_RANGE;
        }
        SetMagnitude(neg, static_cast<uint32_t>(mag), true);
        return iec::LIT_OK;
    }
    const double r = a.dbl + b.dbl;
    // Written so that a NaN (inf + -inf) also counts as out of range.
    if (!(std::fabs(r) <= static_cast<double>(kMax32))) {
        return iec::LIT_OUT_OF_RANGE;
    }
    SetMagnitude(r < 0, static_cast<uint32_t>(std::trunc(std::fabs(r))), true);
    return iec::LIT_OK;
}

short TiDigit::Sub(const TiDigit& other) {
    TiDigit negated = other;
    negated.Negate();
    return Add(negated);
}

short TiDigit::Mul(const TiDigit& other) {
    double da, db;
    short rc = GetDoubleVal(&da);
    if (rc == 0) {
        rc = other.GetDoubleVal(&db);
    }
    if (rc != 0) {
        return rc;
    }
    // Operands beyond 32 bits are refused; both magnitudes are then exact in
    // the low word and their product fits 64 bits.
    if (std::fabs(da) > static_cast<double>(kMax32) ||
        std::fabs(db) > static_cast<double>(kMax32)) {
        return iec::LIT_OUT_OF_RANGE;
    }
    const uint64_t ma = relDigits_ == 0 ? 0 : words_[0];
    const uint64_t mb = other.relDigits_ == 0 ? 0 : other.words_[0];
    const uint64_t mag = ma * mb;
    if (mag > kMax32) {
        return iec::LIT_OUT_OF_RANGE;
    }
    SetMagnitude(IsNegative() != other.IsNegative(), static_cast<uint32_t>(mag), true);
    return iec::LIT_OK;
}

short TiDigit::Div(const TiDigit& other) {
    double da, db;
    short rc = GetDoubleVal(&da);
    if (rc == 0) {
        rc = other.GetDoubleVal(&db);
    }
    if (rc != 0) {
        return rc;
    }
    if (std::fabs(da) > static_cast<double>(kMax32) ||
        std::fabs(db) > static_cast<double>(kMax32)) {
        return iec::LIT_OUT_OF_RANGE;
    }
    const uint64_t ma = relDigits_ == 0 ? 0 : words_[0];
    const uint64_t mb = other.relDigits_ == 0 ? 0 : other.words_[0];
    if (mb == 0) {
        return iec::LIT_OUT_OF_RANGE;
    }
    // Unsigned division of the magnitudes truncates toward zero, as required.
    SetMagnitude(IsNegative() != other.IsNegative(), static_cast<uint32_t>(ma / mb), true);
    return iec::LIT_OK;
}
