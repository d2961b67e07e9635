// The text rules of the var file: reading one line the way the Windows C
// runtime reads text mode, trailing white space, the end line, the split of
// a variable line into its 13 fields, the number rules, and the project
// stamp from the time stamp line.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace varsvc {

/// Reads the next line into `buffer` (`size` bytes, at least 2) with the
/// fgets rule: up to `size` - 1 characters, the line feed included when it
/// fits. A carriage return directly before the line feed is dropped, as the
/// Windows C runtime does in text mode, also when the pair straddles the end
/// of the buffer. Returns false when nothing could be read (end of file or
/// a read error); the buffer then holds an empty text.
bool ReadTextLine(FILE* file, char* buffer, int size);
/// The same, with the length of the text read in `length`.
bool ReadTextLine(FILE* file, char* buffer, int size, size_t& length);

/// Removes trailing white space (C isspace, on unsigned bytes) in place and
/// returns the remaining length.
size_t TrimTrailingSpace(char* line);
/// The same for a line of known length.
size_t TrimTrailingSpace(char* line, size_t length);

/// True for the end line (after trailing white space is removed): at least
/// 6 characters that begin and end with "@#$".
bool IsEndLine(std::string_view trimmedLine);

/// The 13 fields of a variable line, split with the C strtok rule on ",":
/// runs of commas count as one separator, commas at the start are skipped,
/// empty fields do not count, and fields missing at the end are empty. The
/// views point into `line`.
using VarFields = std::array<std::string_view, 13>;
void SplitVarFields(std::string_view line, VarFields& fields);

/// The C atol rule on 32 bits as the Windows C runtime applies it: leading
/// white space skipped, an optional sign, decimal digits; no digits gives 0;
/// a value beyond the 32-bit range saturates at INT32_MIN / INT32_MAX.
int32_t ParseLong(std::string_view text);

/// Days from 1 January 1984 for the two-digit year (below 70 means 20xx),
/// month (1..12) and day, truncated to 16 bits; 0 for a year before 1984.
/// The month must lie in 1..12 (callers check it).
uint16_t StampDate(uint16_t year, uint16_t month, uint16_t day);
/// Milliseconds since midnight, ((hour × 60 + minute) × 60 + second) × 1000,
/// computed modulo 2^32 and taken as a signed 32-bit value.
int32_t StampMsec(uint16_t hour, uint16_t minute, uint16_t second);

/// Reads the project stamp from a time stamp line: the text up to the first
/// comma is skipped, then six numbers separated by runs of '/', ':', blank
/// or line feed (month, day, year, hour, minute, second), each read with
/// the atoi rule and taken as unsigned 16-bit. False, with date and msec
/// untouched, for a line without a comma, with fewer than six numbers, or
/// with a month outside 1..12; nothing outside the line is read.
bool ParseTimeStamp(std::string_view line, uint16_t& date, int32_t& msec);

/// Lower-cases A-Z in place (the C runtime's rule in the "C" locale); other
/// bytes stay.
void LowerAscii(char* text, size_t length);
/// One byte lower-cased by the same rule.
inline unsigned char LowerAsciiByte(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

} // namespace varsvc
