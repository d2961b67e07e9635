// TiLitScan: reads one IEC 61131-3 literal from a string into the binary value
// of an elementary type in one call, with the literal scanner and parser of
// the base library, and optionally retries leniently on user input.
#pragma once

#include "base/IEC_CONSTANT.h"

#include <cstdint>

class TiLitScan_Imp;

/// Bits of TiLitScan::flags.
enum TiLitScanFlags : short {
    /// Accept a literal followed by other text (otherwise only blanks may
    /// follow it, else -3427).
    TI_LITSCAN_ACCEPT_REST = 1,
    /// After a failure, retry on a corrected copy of the text (see the class
    /// comment) and write the corrected text back on success.
    TI_LITSCAN_LENIENT = 2,
};

/// One-call literal scanner.
///
/// Every Scan function takes a zero-terminated text and a pointer to the
/// output, whose type is that of the matching TiConstantTo... conversion:
/// 1. leading spaces, tabs and line feeds are skipped (and counted);
/// 2. the literal is scanned in mode 0; the status is the scanner's first
///    error (an unusable text gives -3419);
/// 3. unless flags has TI_LITSCAN_ACCEPT_REST, only blanks may follow the
///    literal, else -3427;
/// 4. on success, and also when the status is a warning (1701 and up, such
///    as 1704), the constant is converted with the matching TiConstantTo...,
///    whose failure becomes the status; after an error the output is set to
///    0 (null for STRING). ScanBOOL also takes the exact words "TRUE" (1) and
///    "FALSE" (0);
/// 5. on an error (negative status) with TI_LITSCAN_LENIENT set, the lenient
///    retry runs on a copy of the text:
///    - TIME, DATE, TOD, DT: a text beginning with a digit gets "t#", "d#",
///      "tod#" or "dt#" in front, the copy is lower-cased and scanned, and if
///      that fails scanned again in mode 8 (lenient values); on success the
///      value is written back in canonical form (TiValToLit);
///    - REAL, LREAL: a leading "REAL#"/"LREAL#" is upper-cased, and ".0" is
///      inserted after the leading digits, signs and underscores when no '.'
///      follows them;
///    - BOOL: the leading letters (at most five) are upper-cased; the copy
///      must scan without error and read "TRUE" or "1" (value 1), "FALSE" or
///      "0" (value 0), after "BOOL#" only "1" or "0";
///    - the other targets: a text beginning with a letter is upper-cased.
///    If the retry fails, the caller's text is scanned again without it, so
///    that the status is that of the caller's text; if it succeeds the
///    corrected text is copied over the caller's text, but only when it fits
///    the text's capacity (SetTextCapacity; by default the length of the
///    caller's text: nothing is ever written beyond it). Texts longer than
///    kRetryMax characters are not retried.
///
/// The status stays for AcceptedLen and ReturnCurError until the next scan.
/// A TiLitScan whose construction ran out of memory answers -3405 to every
/// call.
class TiLitScan {
public:
    /// Longest text (in characters) that the lenient retry works on.
    static constexpr int kRetryMax = 250;
    /// Size of the message buffer of ReturnCurError, terminator included.
    static constexpr int kMessageSize = 101;

    /// A scanner with its own literal scanner, parser (depth 150), constant,
    /// status and message buffer; flags 0.
    TiLitScan();
    ~TiLitScan();
    TiLitScan(const TiLitScan&) = delete;
    TiLitScan& operator=(const TiLitScan&) = delete;

    /// TI_LITSCAN_ACCEPT_REST and TI_LITSCAN_LENIENT; other bits are ignored.
    short flags;

    /// The Scan functions: the status of the scan (see the class comment);
    /// the value goes to *out, whose type is that of the matching
    /// TiConstantTo... conversion. `text` may be changed by a lenient retry.
    short ScanBOOL(char* text, unsigned char* out);
    short ScanBYTE(char* text, unsigned char* out);
    short ScanWORD(char* text, unsigned short* out);
    short ScanDWORD(char* text, uint32_t* out);
    short ScanSINT(char* text, signed char* out);
    short ScanINT(char* text, short* out);
    short ScanDINT(char* text, int32_t* out);
    /// LINT and ULINT values are doubles holding the integer.
    short ScanLINT(char* text, double* out);
    short ScanUSINT(char* text, unsigned char* out);
    short ScanUINT(char* text, unsigned short* out);
    short ScanUDINT(char* text, uint32_t* out);
    short ScanULINT(char* text, double* out);
    short ScanREAL(char* text, float* out);
    short ScanLREAL(char* text, double* out);
    /// Milliseconds.
    short ScanTIME(char* text, uint32_t* out);
    /// Packed date ((year - 1980) * 512 + month * 32 + day).
    short ScanDATE(char* text, unsigned short* out);
    /// Milliseconds since midnight.
    short ScanTOD(char* text, uint32_t* out);
    short ScanDT(char* text, IEC_DT* out);
    /// The decoded text; it stays owned by this scanner and lives until the
    /// next scan or the scanner's destruction.
    short ScanSTRING(char* text, char** out);

    /// Dispatches by elementary type id: -1 BOOL, -2 BYTE, -3 WORD, -4 DWORD,
    /// -10 SINT ... -24 STRING (see base/IecTypeIds.h); `out` must point to the
    /// output type of that Scan function. Other ids (LWORD, unassigned ids,
    /// generic types, markers) do nothing and return -3407.
    short scan(char* text, short typeId, void* out);

    /// Characters of the text accepted by the last scan: the skipped blanks
    /// plus, after an error of the literal, its error position, otherwise the
    /// characters consumed. Saturates at 32767.
    short AcceptedLen();

    /// When given, code receives the status of the last scan, and text points
    /// to its message text (at most 100 characters, empty for 0) in a buffer
    /// owned by this scanner, valid until the next call. Without an
    /// implementation object: -3405 and null.
    void ReturnCurError(short* code, char** text);

    /// The first character of `text` that is no space, tab or line feed
    /// (null for null).
    static char* SkipWhite(char* text);

    /// Announces that the caller's texts live in buffers of `capacity` bytes
    /// (terminator included), so that a lenient retry may write back a
    /// corrected text longer than the original. 0 (the default) limits the
    /// write-back to the length of the caller's text.
    void SetTextCapacity(unsigned short capacity);

private:
    TiLitScan_Imp* imp_;
};
