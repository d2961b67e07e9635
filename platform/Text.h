// Text services of the Windows user interface and national-language layers:
// case mapping and letter tests in the ANSI code page (Windows-1252), ANSI/OEM
// (code page 850) conversion, ANSI/UTF-16 conversion, and the message texts
// loaded by number.
#pragma once

#include "platform/WinTypes.h"

constexpr UINT CP_ACP = 0;   // the ANSI code page, Windows-1252 here
constexpr UINT CP_OEMCP = 1; // the OEM code page, 850 here
constexpr UINT CP_1252 = 1252;
constexpr UINT CP_850 = 850;

/// Upper-cases a zero-terminated Windows-1252 string in place and returns it.
/// As on Windows, a "pointer" whose value is at most 0xFFFF is a single
/// character in its low byte: the result then carries the converted character
/// in its low byte and zero above it. Each byte is mapped to Unicode, given its
/// simple case mapping and mapped back; where the result is not in
/// Windows-1252 (ß, µ, ƒ) or the byte is undefined (0x81, 0x8D, 0x8F, 0x90,
/// 0x9D), the byte stays. ÿ (0xFF) becomes Ÿ (0x9F).
LPSTR CharUpperA(LPSTR text);
/// The same with the lower-case mapping.
LPSTR CharLowerA(LPSTR text);
/// Upper-/lower-cases `length` bytes of `text` in place (zero bytes included);
/// returns `length`, or 0 for a null `text`.
DWORD CharUpperBuffA(LPSTR text, DWORD length);
DWORD CharLowerBuffA(LPSTR text, DWORD length);
/// Nonzero if the Windows-1252 byte's Unicode character is a letter of any
/// Unicode letter category: accented letters, ª, º and the modifier letter ˆ
/// (0x88) count; undefined bytes, digits and symbols do not.
BOOL IsCharAlphaA(CHAR ch);

/// Converts zero-terminated text from Windows-1252 to code page 850 (and
/// back). Source and destination may be the same buffer. Characters without
/// an equivalent become their best-fit look-alike or '?'. Returns TRUE, or
/// FALSE for a null argument.
BOOL CharToOemA(LPCSTR src, LPSTR dst);
BOOL OemToCharA(LPCSTR src, LPSTR dst);

/// Windows' conversion between a narrow code page (CP_ACP, CP_OEMCP, 1252,
/// 850) and UTF-16, with its result convention: the number of units written,
/// or, with a zero destination size, the number needed; 0 on failure with
/// GetLastError() set. A source length of -1 includes the terminating zero.
/// An unmappable UTF-16 unit becomes `defaultChar` (default '?').
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen, LPWSTR dst,
                        int dstLen);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen, LPSTR dst,
                        int dstLen, LPCSTR defaultChar, BOOL* usedDefault);

/// Copies the message text with resource id `id` into `buf` (at most
/// `bufMax` - 1 characters and a terminating zero) and returns the number of
/// characters copied; 0 when no text has that id (the buffer then holds the
/// empty text). Message numbers map to ids by their absolute value: the error
/// -3424 is id 3424, the warning 1717 is id 1717. The module handle is
/// ignored: the texts belong to the whole system.
int LoadStringA(HINSTANCE module, UINT id, LPSTR buf, int bufMax);
