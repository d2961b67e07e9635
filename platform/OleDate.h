// Automation dates (DATE: days since 1899-12-30, the fraction being the time
// of day) broken into calendar parts, and their text form in the pinned
// English (United States) locale.
#pragma once

#include <string>

#include "platform/OleAuto.h"

namespace korvane::platform {

/// Smallest and largest dates Windows accepts: 0100-01-01 and the last
/// moment of 9999-12-31 (the upper bound itself is excluded).
constexpr DATE kOleDateMin = -657434.0;
constexpr DATE kOleDateEnd = 2958466.0;

/// A calendar date with time of day to the second.
struct OleDateParts {
    int year = 1899;
    int month = 12;   ///< 1..12
    int day = 30;     ///< 1..31
    int hour = 0;     ///< 0..23
    int minute = 0;
    int second = 0;
};

/// The DATE of `parts`; false when a field is out of range (year 100..9999,
/// a day that the month does not have, time fields past 23:59:59).
bool OleDateFromParts(const OleDateParts& parts, DATE* date);
/// The parts of `date`, rounded to the nearest second; false for a date
/// outside [kOleDateMin, kOleDateEnd) or not a number. A negative date
/// counts its fraction forwards from its day: -1.25 is 1899-12-29 06:00.
bool OleDateToParts(DATE date, OleDateParts* parts);
/// The text of `date`: "M/D/YYYY", "M/D/YYYY h:mm:ss AM|PM" when it has a
/// time of day, and only "h:mm:ss AM|PM" on day 0 (1899-12-30). False for
/// a date out of range.
bool OleDateFormat(DATE date, std::u16string* text);
/// Reads a date written "M/D/YYYY" or "YYYY-MM-DD" (a two-digit year
/// means 1930..2029), optionally followed by a time "h:mm[:ss]" with an
/// optional AM/PM (ISO's 'T' separator is accepted), or a time alone (day
/// 0); blanks around the text are ignored. False when malformed.
bool OleDateParse(const char16_t* text, size_t length, DATE* date);

} // namespace korvane::platform
