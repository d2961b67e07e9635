// The narrow code pages of the platform layer: Windows-1252 (ANSI) and code
// page 850 (OEM) to and from UTF-16, the Windows-1252 case and letter tables,
// and the look-alike characters used where one code page lacks a character.
#pragma once

namespace codepages {

/// The two narrow code pages the system knows.
enum class NarrowCodePage { Ansi1252, Oem850 };

/// The UTF-16 unit of `byte` in code page `cp`. Every byte maps: the five
/// bytes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to
/// the C1 control characters of the same value, as Windows' own table does;
/// the bytes 0x00-0x7F of both code pages are ASCII.
char16_t ToUnicode(NarrowCodePage cp, unsigned char byte);

/// The byte that stands for `unit` in code page `cp`, or -1 when the code
/// page has no such character. Surrogates never map.
int FromUnicode(NarrowCodePage cp, char16_t unit);

/// As FromUnicode, but a character the code page lacks becomes the byte of
/// its look-alike (curly quotes to straight ones, dashes to '-', letters with
/// a caron to their base letter, box-drawing lines to '-', '|', '=', '+');
/// -1 when nothing looks alike.
int FromUnicodeBestFit(NarrowCodePage cp, char16_t unit);

/// The look-alike that replaces `unit` where a code page lacks it, or 0 when
/// there is none. Every look-alike exists in both code pages.
char16_t LookAlike(char16_t unit);

/// Windows-1252 simple upper-case mapping of one byte. A byte whose upper
/// case is not in Windows-1252 (ß, µ, ƒ) stays.
unsigned char Cp1252Upper(unsigned char byte);
/// Windows-1252 simple lower-case mapping of one byte.
unsigned char Cp1252Lower(unsigned char byte);
/// True if the byte's Unicode character is a letter (any Unicode letter
/// category, so ª, º and the modifier letter ˆ at 0x88 count; the small tilde
/// at 0x98 is a symbol). Undefined bytes are no letters.
bool Cp1252IsAlpha(unsigned char byte);

} // namespace codepages
