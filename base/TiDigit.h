// TiDigit: an exact accumulator for the digits of an IEC integer literal in
// base 2, 8, 10 or 16. The magnitude grows from 32 to 64 bits and only then
// falls back to a double, so range checks against every integer type are exact.
#pragma once

#include <cstdint>

/// A signed 64-bit value as two 32-bit words: low word first, then the signed
/// high word (two's complement across both words).
struct TI_INT64 {
    uint32_t low;
    int32_t high;
};

/// An unsigned 64-bit value as two 32-bit words, low word first.
struct TI_UINT64 {
    uint32_t low;
    uint32_t high;
};

/// Exact digit accumulator with sign. 16 bytes, trivially copyable, so that it
/// fits the value of an IEC_CONSTANT and a scanner's semantic value.
///
/// States: 0 no significant digit yet (value 0); 1 magnitude in the low word
/// (at most 4294967295); 2 magnitude in both words (2^32 ... 2^64 - 1);
/// 3 magnitude (2^64 or more) held approximately as a double in the 8 bytes
/// of the two words.
///
/// Every operation returns a 16-bit status (0 success, see base/TiLitStatus.h)
/// unless noted. A rejected digit or a failed operation changes nothing.
class TiDigit {
public:
    /// A zero value: all fields cleared.
    TiDigit() { reset(); }

    /// Clears all fields (state 0, value 0, no digits).
    void reset();

    /// Sets the value to v: state 1, the sign from v, the magnitude |v|
    /// (also for INT32_MIN), one significant digit when v is not 0.
    void Set(int32_t v);

    /// Appends one digit character of the base. Zeros before the first
    /// significant digit only count as leading zeros. Returns -3414 (base 10),
    /// -3413 (16, both letter cases accepted), -3412 (8) or -3411 (2) for a
    /// character that is not a digit of the base, and changes nothing then.
    /// The switch from 32 to 64 bits and from 64 bits to a double happens
    /// exactly where the magnitude would no longer fit, so the 32- and 64-bit
    /// states are always exact.
    short AppendDigit10(short ch);
    short AppendDigit16(short ch);
    short AppendDigit8(short ch);
    short AppendDigit2(short ch);

    /// Toggles the sign.
    void Negate() { negative_ = negative_ ? 0 : 1; }

    /// True when the value is negative.
    bool IsNegative() const { return negative_ != 0; }
    /// Zeros appended before the first significant digit (saturates at 32767).
    short NLeading0() const { return leadingZeros_; }
    /// Significant digits appended (saturates at 32767); -1 after an
    /// arithmetic result that is not 0; 0 means the value is 0.
    short NRelDigits() const { return relDigits_; }
    /// The accumulator state 0 ... 3 (see the class comment).
    unsigned char State() const { return state_; }
    /// The raw low and high words (in state 3 they hold the double's bytes).
    uint32_t Low() const { return words_[0]; }
    uint32_t High() const { return words_[1]; }

    /// Range read-outs. A null output gives -1. A value with no significant
    /// digit reads as 0. Otherwise the value must fit the target type: else
    /// -3424 and the output receives the nearest limit of the target (0 for a
    /// negative value of an unsigned target, the maximum for a too-large one,
    /// the minimum or maximum for signed targets).
    short GetUINT8Val(uint8_t* out) const;
    short GetINT8Val(int8_t* out) const;
    short GetUINT16Val(uint16_t* out) const;
    short GetINT16Val(int16_t* out) const;
    short GetUINT32Val(uint32_t* out) const;
    short GetINT32Val(int32_t* out) const;
    short GetUINT64Val(TI_UINT64* out) const;
    short GetINT64Val(TI_INT64* out) const;

    /// The value as a double (exact up to 2^53, approximate beyond), negated
    /// when negative. State 0 gives 0.0, with -3424 if digits were counted
    /// although no magnitude was stored. A null output gives -1.
    short GetDoubleVal(double* out) const;

    /// Arithmetic with another digit; the result replaces this one as a 32-bit
    /// magnitude with sign (state 1, relDigits 0 for zero, -1 otherwise), a
    /// fraction being cut toward zero. The result must lie within
    /// +-4294967295, else -3424 and this digit stays unchanged. Mul and Div
    /// reject an operand whose magnitude exceeds 4294967295 with -3424; Div
    /// rejects a zero divisor with -3424. Operands held exactly (states 0-2)
    /// are combined exactly; an operand in state 3 is combined as a double.
    short Add(const TiDigit& other);
    short Sub(const TiDigit& other);
    short Mul(const TiDigit& other);
    short Div(const TiDigit& other);

private:
    struct Operand;
    static short ReadOperand(const TiDigit& d, Operand& op);
    short Append(short ch, unsigned base, short badDigitCode);
    /// The exact magnitude in states 0-2; false in state 3.
    bool ExactMagnitude(uint64_t& mag) const;
    double StoredDouble() const;
    void StoreDouble(double d);
    void SetMagnitude(bool negative, uint32_t mag, bool arithmetic);
    /// Common part of the read-outs: classifies the value against an unsigned
    /// limit for positive values and another one for negative magnitudes.
    /// Returns 0 and the magnitude when it fits, else -3424.
    short Fit(uint64_t posMax, uint64_t negMax, uint64_t& mag, bool allow64) const;

    unsigned char state_;
    unsigned char negative_;
    int16_t relDigits_;
    int16_t leadingZeros_;
    uint32_t words_[2]; // low word, high word; or the double's 8 bytes in state 3
};

static_assert(sizeof(TiDigit) == 16, "TiDigit must fit a 16-byte constant value");
