// The reductions of the literal grammar: the values, range checks and status
// codes that the actions of base/ts_grammar.y compute, filling the scanner's
// IEC_CONSTANT. Each grammar action is one call into this unit.
#pragma once

#include "base/IEC_CONSTANT.h"
#include "base/TiLitStatus.h"
#include "base/ts_scan.h"

#include <cstdint>

namespace tsreduce {

/// Error recovery of a malformed literal: tssync(code) on the scanner.
void Malformed(ts_scan& s, short code);

/// Error recovery for text that follows a complete literal without a
/// delimiter: tssync with the malformed-literal code of the literal's kind
/// (-3410 duration, -3416 date, -3418 time of day, -3417 date-and-time,
/// -3415 real, -3411/-3412/-3413/-3414 binary/octal/hex/decimal integer,
/// -3427 string, -3419 no constant).
void TextAfterLiteral(ts_scan& s);

/// A decimal integer without prefix: flags 0x0001 (0x8001 when `negative`),
/// typeId 4711, the digit negated when negative.
void Integer(ts_scan& s, const TiDigit& digits, int negative);

/// A based integer without prefix: flags `kind` (0x0002, 0x0004, 0x0008),
/// typeId 4711.
void Based(ts_scan& s, const TiDigit& digits, uint16_t kind);

/// The exponent value of a real, saturated at +-99999 (beyond that every
/// real overflows or underflows anyway).
int Exponent(int negative, const TiDigit& digits);

/// A real: the integer digits before `fraction` (read back from the text),
/// the fraction's digits and the exponent give the double nearest to the
/// decimal value (correctly rounded, as strtod would). Flags 0x0010 (0x8010
/// when negative), typeId 4714. A magnitude beyond the double range gives
/// -3424 and an infinite value; one below it gives 0.0 without error.
void Real(ts_scan& s, int negative, const TsFraction& fraction, int exponent);

/// A type prefix applied to the number just reduced. Integer and bit-string
/// prefixes range-check an integer with the matching conversion (on failure
/// typeId 4711 and -3424); REAL# requires a real that converts to REAL (on
/// failure typeId 4714 and -3424); LREAL# takes any real. A prefix of the
/// other kind of number gives -3427 and leaves the untyped marker.
void TypedNumber(ts_scan& s, short typeId);

/// A string token: the constant adopts the text (flags 0x1000, typeId -24).
/// A null text (no memory, -3405 already recorded) leaves no constant.
void String(ts_scan& s, char* text);

/// A name followed by '#' that is no type prefix: -3427.
void NameHash(ts_scan& s);

/// How a fraction is rounded to whole milliseconds.
enum class Rounding {
    HalfUp,      ///< up when the first dropped decimal is 5 or more
    AboveHalf,   ///< up only when the dropped part exceeds one half
};

/// floor(0.f x factor) plus the rounding of the dropped part, computed
/// exactly from the fraction's digits f (underscores skipped) for any number
/// of digits. `nonZero`, when given, tells whether any digit was not 0.
uint64_t ScaleFraction(const TsFraction& fraction, uint32_t factor, Rounding rounding,
                       bool* nonZero);

/// Milliseconds of one duration unit (86400000, 3600000, 60000, 1000, 1).
uint32_t UnitFactor(int unit);

/// One duration component: digits times the unit, plus the fraction's share
/// (seconds and larger units rounded half up to whole milliseconds; a
/// fraction of milliseconds rounded up above one half, with warning 1704 when
/// it is not 0).
TsDuration Component(ts_scan& s, const TiDigit& digits, TsFraction fraction, int unit);

/// Joins a component with the reduced components after it. A fraction on a
/// component that is not the last, or units not strictly decreasing, give
/// -3410. Unless mode 8: after d the rest must stay below 86400000 ms, after
/// h below 3600000, after m below 60000, and the milliseconds after s below
/// 1000 (else -3424, the milliseconds then 999).
TsDuration JoinComponents(ts_scan& s, const TsDuration& first, const TsDuration& rest);

/// A duration unit written with upper-case letters ("D", "H", "M", "S";
/// "MS", "Ms", "mS"): -3410 unless mode 2. Returns the unit.
int CaseLenientUnit(ts_scan& s, int unit);

/// The duration literal: flags 0x0100 (0x8100 with a minus sign), typeId
/// -20. A negative duration other than 0 gives -3423 and 0 ms; one above
/// 4294967295 ms gives -3423 and 4294967295.
void Duration(ts_scan& s, int negative, const TsDuration& components);

/// Days in a month of a year (leap years: divisible by 4, and not by 100
/// unless by 400); 0 for a month outside 1 ... 12.
int DaysInMonth(uint32_t year, uint32_t month);

/// Year, month and day to a packed date. Under mode 8 a year below 100 is
/// 2000 + year below 50 and 1900 + year from 50. A year outside 1980 ...
/// 2107, a month outside 1 ... 12 or a day outside the month gives -3422;
/// the date is then packed from the components clamped into their ranges.
uint16_t MakeDate(ts_scan& s, const TiDigit& year, const TiDigit& month, const TiDigit& day);

/// The date literal: flags 0x0200, typeId -21.
void Date(ts_scan& s, uint16_t date);

/// Hours, minutes and (optional) seconds with an optional fraction to
/// milliseconds since midnight. Without seconds: -3418 unless mode 8. Unless
/// mode 8: hours below 24, minutes below 60, and seconds below 60 after the
/// fraction is rounded to milliseconds (else -3424 and that component 0). A
/// total beyond 4294967295 ms (only possible under mode 8) gives -3424 and
/// 4294967295.
uint32_t MakeDaytime(ts_scan& s, const TiDigit& hours, const TiDigit& minutes,
                     const TiDigit* seconds, TsFraction fraction);

/// The time-of-day literal: flags 0x0400, typeId -22.
void TimeOfDay(ts_scan& s, uint32_t ms);

/// The date-and-time literal: flags 0x0800, typeId -23.
void DateAndTime(ts_scan& s, uint16_t date, uint32_t tod);

} // namespace tsreduce
