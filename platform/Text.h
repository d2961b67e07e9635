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
/// back) through Unicode, terminator included. Source and destination may be
/// the same buffer (or overlap); `dst` must hold strlen(src) + 1 bytes. A
/// character the target lacks becomes its look-alike: curly and low quotes
/// become straight quotes, dashes '-', the ellipsis '.', dagger signs '+',
/// angle quotes '<'/'>', the per mille sign '%', the euro sign 'E', the bullet
/// the middle dot, letters with a caron or ligatures their base letter (Š 'S',
/// Œ 'O', Ÿ 'Y'), ˆ and ˜ '^' and '~', the dotless i 'i', the double low line
/// '_', single and double box-drawing lines '-', '=', '|' and their corners and
/// junctions '+'. Characters with nothing alike (™, the shades and blocks, ■,
/// the undefined Windows-1252 bytes) become '?'. Returns TRUE, or FALSE with
/// ERROR_INVALID_PARAMETER for a null argument.
BOOL CharToOemA(LPCSTR src, LPSTR dst);
BOOL OemToCharA(LPCSTR src, LPSTR dst);

/// Flags of the conversions below. The single-byte code pages have no
/// composite characters and every byte maps, so MB_PRECOMPOSED and
/// MB_ERR_INVALID_CHARS change nothing; WideCharToMultiByte never substitutes
/// look-alikes, so WC_NO_BEST_FIT_CHARS is its behaviour anyway. Any other flag
/// fails with ERROR_INVALID_FLAGS.
constexpr DWORD MB_PRECOMPOSED = 0x00000001;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;
constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x00000400;

/// Windows' conversion between a narrow code page (CP_ACP, CP_OEMCP, 1252,
/// 850) and UTF-16, with its result convention: the number of units written,
/// or, with a zero destination size, the number needed; 0 on failure with
/// GetLastError() set: ERROR_INVALID_PARAMETER for an unknown code page, a
/// null source, a source length of 0 or below -1, a negative destination
/// size, a null destination with a nonzero size, or source and destination at
/// the same address; ERROR_INVALID_FLAGS for an unknown flag;
/// ERROR_INSUFFICIENT_BUFFER when the destination is too small (it then holds
/// as much of the result as fits). A source length of -1 includes the
/// terminating zero. Every narrow byte maps to one UTF-16 unit.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen, LPWSTR dst, int dstLen);
/// The reverse. A UTF-16 character the code page lacks becomes `*defaultChar`
/// (null: '?') without a look-alike search; a surrogate pair is one character
/// and becomes one default byte, as does a lone surrogate. `usedDefault`, if
/// not null, tells whether a default byte was needed (also in a size query).
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen, LPSTR dst, int dstLen,
                        LPCSTR defaultChar, BOOL* usedDefault);

/// Copies the message text with resource id `id` into `buf` (at most
/// `bufMax` - 1 characters and a terminating zero, cut silently as Windows
/// does) and returns the number of characters copied; 0 when no text has that
/// id (the buffer then holds the empty text, GetLastError() is
/// ERROR_RESOURCE_NAME_NOT_FOUND). A null `buf` or a `bufMax` below 1 returns 0
/// with ERROR_INVALID_PARAMETER and writes nothing. Message numbers map to ids
/// by their absolute value: the error -3424 is id 3424, the warning 1717 is id
/// 1717; as string ids are 16-bit, -3424 cast to UINT (or to 16 bits, 0xF2A0)
/// finds the same text. The module handle is ignored: the texts belong to the
/// whole system. The texts and their printf parameters: platform/MessageTexts.cpp.
int LoadStringA(HINSTANCE module, UINT id, LPSTR buf, int bufMax);
