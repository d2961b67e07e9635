// TiValToLit: writes binary values of the elementary types back as IEC
// 61131-3 literal text (listings, initial values, messages, canonical rewrite
// of lenient input) into a caller's buffer, never past its length.
#pragma once

#include "base/IEC_CONSTANT.h"

#include <cstddef>
#include <cstdint>

/// The 18-byte analogue record of the ANL_IN and ANL_OUT types; its first byte
/// says whether the channel is configured.
struct TiAnalogRecord {
    unsigned char bytes[18];
};
static_assert(sizeof(TiAnalogRecord) == 18, "analogue records have 18 bytes");

/// Literal formatter. Each formatter takes the value, a buffer and its length
/// (room for the text and its terminating zero), returns a status and keeps it
/// in the object. Statuses: 0 success; -3429 no buffer or too small; -3430 an
/// LREAL NaN; -3407 type not supported; -3405 no value or no memory; -3414 a
/// LINT/ULINT value of magnitude 1e20 or more (or NaN); -3425 a BOOL value
/// other than 0 and 1 (the text is still written).
///
/// Every failure leaves the empty text in a usable buffer. A formatter first
/// checks its reserved length (the longest text of its type, see each
/// declaration): bufLen must exceed it. Where a value can produce a longer
/// text than reserved (times of day beyond 24 hours, LINT values below -1e19),
/// the actual length is checked as well, so nothing is ever written past
/// bufLen.
class TiValToLit {
public:
    /// A formatter with status 0 and an empty message.
    TiValToLit();

    /// The status of the last call.
    short Status() const { return status_; }

    /// The buffer check: clears the status; a null buffer or bufLen <= 0 gives
    /// -3429; otherwise the buffer is set to the empty text and needed >=
    /// bufLen gives -3429. Returns the status.
    short StringBufOK(char* buf, short bufLen, size_t needed);

    /// "TRUE" or "FALSE" by bits 0-6 (bit 7 is ignored); reserves 5. When the
    /// word does not fit but one character does, "1" or "0". A value other
    /// than 0 and 1 returns -3425 after writing.
    short TiBOOLtoLit(const unsigned char& value, char* buf, short bufLen);
    /// "16#%02X"; reserves 5.
    short TiBYTEtoLit(const unsigned char& value, char* buf, short bufLen);
    /// "16#%04X"; reserves 7.
    short TiWORDtoLit(const unsigned short& value, char* buf, short bufLen);
    /// "16#%04X_%04X" (high, low 16 bits); reserves 12.
    short TiDWORDtoLit(const uint32_t& value, char* buf, short bufLen);
    /// "%d"; reserves 4.
    short TiSINTtoLit(const signed char& value, char* buf, short bufLen);
    /// "%u"; reserves 3.
    short TiUSINTtoLit(const unsigned char& value, char* buf, short bufLen);
    /// "%d"; reserves 6.
    short TiINTtoLit(const short& value, char* buf, short bufLen);
    /// "%u"; reserves 5.
    short TiUINTtoLit(const unsigned short& value, char* buf, short bufLen);
    /// "%ld"; reserves 11.
    short TiDINTtoLit(const int32_t& value, char* buf, short bufLen);
    /// "%lu"; reserves 20.
    short TiUDINTtoLit(const uint32_t& value, char* buf, short bufLen);
    /// The integer held by the double, "%-19.0f" cut at the first blank or
    /// point; reserves 20. A magnitude of 1e20 or more, or a NaN, gives -3414.
    short TiLINTtoLit(const double& value, char* buf, short bufLen);
    short TiULINTtoLit(const double& value, char* buf, short bufLen);
    /// REAL: "+NAN", "-NAN", "+INF", "-INF" (status 0 when they fit), every
    /// other value as the equal double with TiLREALtoLit.
    short TiREALtoLit(const float& value, char* buf, short bufLen);
    /// LREAL: seven significant digits in fixed notation for magnitudes in
    /// (0.0001, 10000000) with trailing zeros stripped down to one decimal
    /// ("1.0", "0.5"); "0.0" for zero; otherwise, or when the fixed form does
    /// not fit, "%E" form, shortened to bufLen - 7 decimals when it does not
    /// fit a buffer longer than 7. Reserves 3. A NaN gives "+NAN"/"-NAN" (when
    /// it fits) and -3430; infinities "+INF"/"-INF".
    short TiLREALtoLit(const double& value, char* buf, short bufLen);
    /// Duration in milliseconds as "t#1d_2h_3m_4s_5ms", zero units left out
    /// where the text stays unambiguous, "t#0s" for 0; reserves 24.
    short TiTIMEtoLit(const uint32_t& value, char* buf, short bufLen);
    /// Packed date as "d#2003-03-05"; reserves 12.
    short TiDATEtoLit(const unsigned short& value, char* buf, short bufLen);
    /// Time of day as "tod#12:34:56.789", the milliseconds only when not 0;
    /// hours are not reduced modulo 24. Reserves 16.
    short TiTODtoLit(const uint32_t& value, char* buf, short bufLen);
    /// "dt#2003-03-05-12:34:56.789"; reserves 26.
    short TiDTtoLit(const IEC_DT& value, char* buf, short bufLen);
    /// The text in single quotes with "$T", "$L", "$P", "$N" (CR LF), "$R",
    /// "$$", "$'" and "$hh" escapes; reserves exactly the escaped length.
    /// A null text gives -3405.
    short TiSTRINGtoLit(const char* const& value, char* buf, short bufLen);
    /// "configured" when the first byte is not 0, else "failed"; reserves 11.
    short TiANL_INtoLit(const TiAnalogRecord& value, char* buf, short bufLen);
    short TiANL_OUTtoLit(const TiAnalogRecord& value, char* buf, short bufLen);

    /// Formats the value that `value` points to by elementary type id: BOOL,
    /// BYTE, WORD, DWORD, SINT, INT, DINT, LINT, USINT, UINT, UDINT, ULINT,
    /// REAL, LREAL, TIME, DATE, TIME_OF_DAY, DATE_AND_TIME, STRING (value points
    /// to the zero-terminated text), ANL_IN, ANL_OUT (value points to the
    /// 18-byte record). LINT and ULINT values are doubles. The marker 4713
    /// reads a signed 32-bit value and writes it in LINT form, falling back
    /// to its unsigned value in ULINT form; 4714 reads a double as LREAL. Other
    /// ids give -3407, a null value -3405, both with the empty text.
    short TiBinValToLit(const short& typeId, void* value, char* buf, short bufLen);
    /// The same with a buffer the caller guarantees to hold 32767 characters;
    /// with a null buffer the text goes to a temporary buffer of 100
    /// characters (-3405 if it cannot be allocated). `len`, when given,
    /// receives the text's length (0 on failure).
    short TiBinValToLit(short typeId, void* value, char* buf, unsigned short* len);

    /// Only when text is given: code (if given) receives the status, and text
    /// points to the status's message text (at most 100 characters, empty for
    /// status 0) in a buffer owned by this object, valid until the next call.
    void ReturnCurError(short* code, char** text);

    static constexpr int kMessageSize = 101; ///< message buffer, terminator included

private:
    /// Copies `text` of `len` characters when it fits bufLen (the buffer check
    /// must have passed); else -3429 with the empty text.
    short Put(const char* text, size_t len, char* buf, short bufLen);
    short PutFormatted(char* buf, short bufLen, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    short IntegerDoubleToLit(const double& value, char* buf, short bufLen);
    short SpecialToLit(const char* text, char* buf, short bufLen);

    short status_;
    char message_[kMessageSize];
};
