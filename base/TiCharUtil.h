// Character helpers of the compiler: letters, case folding and case-blind
// comparison by the Windows ANSI code page (Windows-1252), not the C locale,
// and conversion between the ANSI and the OEM code page (850).
#pragma once

/// Upper case of the byte `c & 0xFF` by the ANSI case mapping; the result is
/// in the low byte (0 ... 255). Bytes without an upper-case form stay.
short TiToUpper(short c);
/// Lower case of the byte `c & 0xFF`, as TiToUpper.
short TiToLower(short c);
/// 1 if the byte `c & 0xFF` is a letter of the ANSI code page (accented
/// letters count), else 0.
short TiIsAlpha(short c);

/// Compares two zero-terminated strings without regard to case: 0 when they
/// are equal. Otherwise the difference of the first bytes (taken as signed
/// characters, before folding) that differ even after upper-casing; only the
/// zero/non-zero outcome is meaningful. A null string equals only another
/// null string (null against text: -1, text against null: 1).
short TiStricmp(char* a, char* b);
/// As TiStricmp over at most `n` characters: 0 after n equal characters
/// (so always 0 for n = 0).
short TiStrnicmp(char* a, char* b, unsigned short n);

/// Converts zero-terminated text from the ANSI to the OEM code page. `dst`
/// must hold strlen(src) + 1 bytes; it may be `src` itself. Null arguments:
/// nothing happens.
void TiAnsiToOem(const char* src, char* dst);
/// The reverse of TiAnsiToOem, with the same rules.
void TiOemToAnsi(const char* src, char* dst);
