// Status codes of the literal and conversion family (-3405 ... -3430) shared by
// the IEC constants, the digit accumulator, the literal scanner and the literal
// formatter. Negative codes are message numbers; 0 is success.
#pragma once

#include <cstdint>

namespace iec {

constexpr int16_t LIT_OK = 0;
constexpr int16_t LIT_NO_MEMORY = -3405;          ///< out of memory, or no value given
constexpr int16_t LIT_TYPE_NOT_SUPPORTED = -3407; ///< formatter: type id not supported
constexpr int16_t LIT_TIME_REQUIRED = -3410;      ///< TIME constant required / malformed duration
constexpr int16_t LIT_BAD_BINARY_DIGIT = -3411;   ///< not a binary digit
constexpr int16_t LIT_BAD_OCTAL_DIGIT = -3412;    ///< not an octal digit
constexpr int16_t LIT_BAD_HEX_DIGIT = -3413;      ///< not a hexadecimal digit
constexpr int16_t LIT_BAD_DECIMAL_DIGIT = -3414;  ///< not a decimal digit; integer required
constexpr int16_t LIT_INTEGER_REQUIRED = -3414;   ///< same code, used by the conversions
constexpr int16_t LIT_REAL_REQUIRED = -3415;      ///< real constant required / malformed real
constexpr int16_t LIT_DATE_REQUIRED = -3416;      ///< DATE constant required / malformed date
constexpr int16_t LIT_DT_REQUIRED = -3417;        ///< DATE_AND_TIME constant required
constexpr int16_t LIT_TOD_REQUIRED = -3418;       ///< TIME_OF_DAY constant required
constexpr int16_t LIT_NOT_A_LITERAL = -3419;      ///< no literal can begin here
constexpr int16_t LIT_STRING_REQUIRED = -3420;    ///< STRING constant required / unterminated
constexpr int16_t LIT_DOUBLE_UNDERSCORE = -3421;  ///< "__" inside a name
constexpr int16_t LIT_INVALID_DATE = -3422;       ///< invalid year, month or day
constexpr int16_t LIT_DURATION_RANGE = -3423;     ///< duration negative or above 4294967295 ms
constexpr int16_t LIT_OUT_OF_RANGE = -3424;       ///< value out of the target type's range
constexpr int16_t LIT_BOOL_RANGE = -3425;         ///< BOOL value other than 0 or 1
constexpr int16_t LIT_BITSTRING_REQUIRED = -3426; ///< bit-string constant required
constexpr int16_t LIT_PREFIX_NOT_APPLICABLE = -3427; ///< type prefix does not fit, or text left
constexpr int16_t LIT_STACK_OVERFLOW = -3428;        ///< literal parser stack overflow
constexpr int16_t LIT_BUFFER_TOO_SMALL = -3429;      ///< formatter: no buffer or buffer too small
constexpr int16_t LIT_NOT_A_NUMBER = -3430;          ///< formatter: LREAL value is not a number

/// Result of a digit read-out given a null output pointer.
constexpr int16_t LIT_NULL_OUTPUT = -1;

} // namespace iec
