// IEC_CONSTANT: a scanned IEC 61131-3 literal held as a tagged value that
// loses nothing (exact digits, doubles, packed dates, owned string text), and
// the TiConstantTo... conversions into the binary values of elementary types.
#pragma once

#include "base/IecTypeIds.h"
#include "base/TiDigit.h"
#include "base/TiLitStatus.h"

#include <cstddef>
#include <cstdint>

namespace iec {

// Kind bits of IEC_CONSTANT::flags.
constexpr uint16_t CONST_DECIMAL = 0x0001;  ///< decimal integer
constexpr uint16_t CONST_BINARY = 0x0002;   ///< 2# integer
constexpr uint16_t CONST_OCTAL = 0x0004;    ///< 8# integer
constexpr uint16_t CONST_HEX = 0x0008;      ///< 16# integer
constexpr uint16_t CONST_INTEGER = 0x000F;  ///< any of the integer bits
constexpr uint16_t CONST_BASED = 0x000E;    ///< any of the based-integer bits
constexpr uint16_t CONST_REAL = 0x0010;     ///< real (double in the value)
constexpr uint16_t CONST_TIME = 0x0100;     ///< TIME (milliseconds)
constexpr uint16_t CONST_DATE = 0x0200;     ///< DATE (packed date)
constexpr uint16_t CONST_TOD = 0x0400;      ///< TIME_OF_DAY (ms since midnight)
constexpr uint16_t CONST_DT = 0x0800;       ///< DATE_AND_TIME (IEC_DT)
constexpr uint16_t CONST_STRING = 0x1000;   ///< STRING (owned text pointer)
constexpr uint16_t CONST_BOOL = 0x2000;     ///< TRUE/FALSE (0 or 1 in the digit)
constexpr uint16_t CONST_NEGATIVE = 0x8000; ///< written with a minus sign

/// Result of GetVal for a too-small buffer or an unsupported kind.
constexpr int16_t GETVAL_FAILED = 1;

/// Packs a date: (year - 1980) * 512 + month * 32 + day. No range check.
constexpr uint16_t PackDate(int year, int month, int day) {
    return static_cast<uint16_t>((year - 1980) * 512 + month * 32 + day);
}
/// The parts of a packed date.
constexpr int PackedYear(uint16_t d) {
    return d / 512 + 1980;
}
constexpr int PackedMonth(uint16_t d) {
    return (d >> 5) & 0x0F;
}
constexpr int PackedDay(uint16_t d) {
    return d & 0x1F;
}

} // namespace iec

/// A DATE_AND_TIME value: the time of day in milliseconds, then the packed
/// date in the low half of a second 32-bit word (the high half stays 0).
struct IEC_DT {
    uint32_t tod;
    uint16_t date;
    uint16_t fill;
};
static_assert(sizeof(IEC_DT) == 8, "IEC_DT is two 32-bit words");

/// The 16-byte value of a constant. Which member is meaningful follows from the
/// constant's kind bits: digit for integer and BOOL constants, dbl for reals,
/// time for TIME, date for DATE, tod for TIME_OF_DAY, dt for DATE_AND_TIME and
/// str for STRING. A new value is all zero bytes.
union IEC_VALUE {
    TiDigit digit;
    double dbl;
    uint32_t time;
    uint16_t date;
    uint32_t tod;
    IEC_DT dt;
    char* str;
    unsigned char bytes[16];

    IEC_VALUE() : bytes{} {}
};
static_assert(sizeof(IEC_VALUE) == 16, "the value of a constant has 16 bytes");

/// A typed literal value.
///
/// Ownership: a constant whose flags have CONST_STRING owns value.str, a text
/// allocated with new char[] (or null); the destructor and reset() free it. Set
/// string texts only through SetString/AdoptString so that this holds.
/// Constants cannot be copied implicitly (that would share the text); they
/// can be moved, or copied with CopyFrom, which duplicates the text.
class IEC_CONSTANT {
public:
    uint16_t flags;   ///< kind bits, iec::CONST_...
    IEC_VALUE value;  ///< the value, by kind
    int16_t typeId;   ///< type fixed by a prefix, or 0 / iec::UNTYPED_... marker
    int16_t reserved; ///< set to 0 by the constructors

    /// An empty constant: flags 0, typeId 0, value zero.
    IEC_CONSTANT();
    /// A decimal integer constant holding v: flags 0x0001 and typeId 4711, or
    /// flags 0x8001 and typeId 4712 when v is negative.
    explicit IEC_CONSTANT(int32_t v);
    /// Frees the owned text of a STRING constant.
    ~IEC_CONSTANT();

    IEC_CONSTANT(const IEC_CONSTANT&) = delete;
    IEC_CONSTANT& operator=(const IEC_CONSTANT&) = delete;
    /// Takes over the other constant's value and text; the other is left empty.
    IEC_CONSTANT(IEC_CONSTANT&& other) noexcept;
    IEC_CONSTANT& operator=(IEC_CONSTANT&& other) noexcept;

    /// Makes this constant a copy of `other`, duplicating its text. Returns 0,
    /// or -3405 without changing this constant when no memory is left.
    short CopyFrom(const IEC_CONSTANT& other);

    /// Frees an owned text, then clears every field to zero.
    void reset();

    /// Makes this a STRING constant (flags CONST_STRING, typeId STRING) holding
    /// a copy of `text` (null counts as empty). A previous text is freed.
    /// Returns 0, or -3405 without changing the constant when out of memory.
    short SetString(const char* text);
    /// The same, taking ownership of `text`, which must come from new char[].
    void AdoptString(char* text);
    /// Hands the owned text to the caller (who frees it with delete[]) and clears
    /// the pointer; the constant stays a STRING constant without text.
    char* ReleaseString();
    /// Frees the owned text and clears the pointer (the kind bits stay).
    void FreeString();

    /// True for a constant with any integer bit (0x000F).
    bool IsInteger() const { return (flags & iec::CONST_INTEGER) != 0; }

    /// The elementary type id the constant stands for. For typeId 0, 4711,
    /// 4712 or 4714: an integer gives INT, DINT, LINT or (not negative) ULINT,
    /// the first it converts to; a real gives REAL when it converts to REAL,
    /// else LREAL; TIME, DATE, DATE_AND_TIME, TIME_OF_DAY and STRING give
    /// their ids; anything else leaves typeId. For 4713 on an integer: WORD if
    /// it fits UINT, else DWORD if it fits UDINT, else LWORD. Other typeIds
    /// (a prefix) are returned as they are.
    short GetElemDTypeID() const;

    /// Writes the binary value for GetElemDTypeID() into out, which must hold
    /// len bytes. When out is not null, len bytes of it are cleared first, and
    /// the value is written only on success. Sizes: ULINT/LWORD/LINT 8, UDINT/DWORD/DINT 4,
    /// UINT/WORD/INT 2, USINT/BYTE/BOOL/SINT 1, REAL 4 (a float), LREAL 8, TIME 4, DATE 2,
    /// DATE_AND_TIME 8, TIME_OF_DAY 4, STRING the text and its zero.
    /// With a null out only the size is determined (len on input is ignored).
    /// Returns 0 with len = size; 1 with len = 0 for a len smaller than the
    /// size, an unsupported kind or type, or a STRING without text; or the
    /// read-out's range code (-3424) with len = 0.
    short GetVal(void* out, unsigned short& len) const;

private:
    void TakeFrom(IEC_CONSTANT& other);
};

// Conversions into the binary value of one elementary type.
//
// Each returns 0 or a status and always writes a defined output (0, or the
// saturated limit of the target on a range error). A constant of the wrong
// kind gives the function's kind code and output 0, and a STRING constant then
// gives up (frees) its text. A null output gives the kind code (-3416 for
// TIME). A type prefix that names another elementary type than the target
// turns the result into the kind code after the output was written.
//
// Integer targets take integer constants: decimal constants of signed targets
// use the signed read-out; based constants (2#, 8#, 16#) and unsigned targets
// use the unsigned read-out of the same width, so 16#FF gives SINT -1.
// Kind codes: -3414 signed/unsigned integers, -3426 BOOL/BYTE/WORD/DWORD.

/// SINT: 8-bit signed.
short TiConstantToSINT(IEC_CONSTANT& c, signed char* out);
/// USINT: 8-bit unsigned.
short TiConstantToUSINT(IEC_CONSTANT& c, unsigned char* out);
/// BYTE: integer constants of any base, 8-bit unsigned read-out.
short TiConstantToBYTE(IEC_CONSTANT& c, unsigned char* out);
/// BOOL: integer or BOOL constants; a value other than 0 or 1 gives -3425 and
/// the output 0 (negative values) or 1 (values above 1).
short TiConstantToBOOL(IEC_CONSTANT& c, unsigned char* out);
/// INT: 16-bit signed.
short TiConstantToINT(IEC_CONSTANT& c, short* out);
/// UINT: 16-bit unsigned.
short TiConstantToUINT(IEC_CONSTANT& c, unsigned short* out);
/// WORD: 16-bit unsigned read-out of any integer constant.
short TiConstantToWORD(IEC_CONSTANT& c, unsigned short* out);
/// DATE: copies the packed date; kind code -3416.
short TiConstantToDATE(IEC_CONSTANT& c, unsigned short* out);
/// DINT: 32-bit signed.
short TiConstantToDINT(IEC_CONSTANT& c, int32_t* out);
/// UDINT: 32-bit unsigned.
short TiConstantToUDINT(IEC_CONSTANT& c, uint32_t* out);
/// DWORD: 32-bit unsigned read-out of any integer constant.
short TiConstantToDWORD(IEC_CONSTANT& c, uint32_t* out);
/// TIME: copies the milliseconds; kind code -3410 (-3416 for a null output).
short TiConstantToTIME(IEC_CONSTANT& c, uint32_t* out);
/// TIME_OF_DAY: copies the milliseconds since midnight; kind code -3418.
short TiConstantToTOD(IEC_CONSTANT& c, uint32_t* out);
/// LINT: the 64-bit value as a double, high * 4294967296.0 + low, the high
/// word signed for decimal constants.
short TiConstantToLINT(IEC_CONSTANT& c, double* out);
/// ULINT: the unsigned 64-bit value as a double.
short TiConstantToULINT(IEC_CONSTANT& c, double* out);
/// LREAL: copies the double of a real constant; kind code -3415.
short TiConstantToLREAL(IEC_CONSTANT& c, double* out);
/// REAL: narrows the double. A non-zero magnitude below 1.1754943508222875e-38
/// becomes 0; one above 3.4028234663852886e+38 (also infinity) gives that
/// limit with the sign and -3424. A NaN stays a NaN.
short TiConstantToREAL(IEC_CONSTANT& c, float* out);
/// DATE_AND_TIME: copies the IEC_DT; kind code -3417.
short TiConstantToDT(IEC_CONSTANT& c, IEC_DT* out);
/// STRING: hands out the constant's own text pointer, not a copy; it stays
/// owned by the constant (see ReleaseString). Kind code -3420, also for a
/// STRING constant that has given up its text (output null).
short TiConstantToSTRING(IEC_CONSTANT& c, char** out);
