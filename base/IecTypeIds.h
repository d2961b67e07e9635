// Elementary data type identifiers of IEC 61131-3 as the keyword list numbers
// them, and the markers for literals whose type no prefix fixed. Shared by
// the constants, the literal scanner and formatter, and the compiler.
#pragma once

#include <cstdint>

namespace iec {

enum TypeId : int16_t {
    TYPE_NONE = 0,
    TYPE_BOOL = -1,
    TYPE_BYTE = -2,
    TYPE_WORD = -3,
    TYPE_DWORD = -4,
    TYPE_LWORD = -5,
    TYPE_SINT = -10,
    TYPE_INT = -11,
    TYPE_DINT = -12,
    TYPE_LINT = -13,
    TYPE_USINT = -14,
    TYPE_UINT = -15,
    TYPE_UDINT = -16,
    TYPE_ULINT = -17,
    TYPE_REAL = -18,
    TYPE_LREAL = -19,
    TYPE_TIME = -20,
    TYPE_DATE = -21,
    TYPE_TIME_OF_DAY = -22,
    TYPE_DATE_AND_TIME = -23,
    TYPE_STRING = -24,
    TYPE_ANY = -25,
    TYPE_ANY_NUM = -26,
    TYPE_ANY_REAL = -27,
    TYPE_ANY_INT = -28,
    TYPE_ANY_BIT = -29,
    TYPE_ANY_DATE = -30,
    TYPE_INTSTATE = -31,
    TYPE_ANL_IN = -64,
    TYPE_ANL_OUT = -65,
    TYPE_ANY_ELEM = -100,

    // Markers for literals without a type prefix.
    UNTYPED_INT = 4711,      // integer without prefix
    UNTYPED_SIGNED = 4712,   // signed integer without prefix
    UNTYPED_BITS = 4713,     // bit string without prefix
    UNTYPED_REAL = 4714,     // real without prefix
};

/// True for the ids of the elementary types proper (-24 ... -1, INTSTATE,
/// ANL_IN, ANL_OUT); false for generic types, markers and 0.
constexpr bool IsElementaryTypeId(int16_t id) {
    return (id >= TYPE_STRING && id <= TYPE_BOOL) || id == TYPE_INTSTATE || id == TYPE_ANL_IN ||
           id == TYPE_ANL_OUT;
}

} // namespace iec
