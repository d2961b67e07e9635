// TiValToLit: the literal formatters. Every text is first built in a local
// buffer of known size and copied only when it fits the caller's buffer.
#include "base/TiValToLit.h"

#include "base/IecTypeIds.h"
#include "base/TiLitStatus.h"
#include "platform/Text.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

using namespace iec;

namespace {

// Reserved lengths: the longest text of each type (terminator excluded).
constexpr size_t kResBOOL = 5;
constexpr size_t kResBYTE = 5;
constexpr size_t kResWORD = 7;
constexpr size_t kResDWORD = 12;
constexpr size_t kResSINT = 4;
constexpr size_t kResUSINT = 3;
constexpr size_t kResINT = 6;
constexpr size_t kResUINT = 5;
constexpr size_t kResDINT = 11;
constexpr size_t kResUDINT = 20;
constexpr size_t kResLINT = 20;
constexpr size_t kResREAL = 3;
constexpr size_t kResTIME = 24;
constexpr size_t kResDATE = 12;
constexpr size_t kResTOD = 16;
constexpr size_t kResDT = 26;
constexpr size_t kResANL = 11;

constexpr short kUnlimitedLen = 32767; // buffer length assumed by the measuring overload
constexpr short kTempBufLen = 100;     // its temporary buffer when none is given
constexpr size_t kLocalText = 128;     // local text buffers; every fixed form is shorter

constexpr uint32_t kMsPerDay = 86400000;
constexpr uint32_t kMsPerHour = 3600000;
constexpr uint32_t kMsPerMinute = 60000;
constexpr uint32_t kMsPerSecond = 1000;

// Appends formatted text at `pos` in a local buffer of size n, never past it.
// Returns false when the text did not fit.
bool Append(char* dst, size_t n, size_t& pos, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
bool Append(char* dst, size_t n, size_t& pos, const char* format, ...) {
    if (pos >= n) {
        return false;
    }
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(dst + pos, n - pos, format, args);
    va_end(args);
    if (written < 0 || static_cast<size_t>(written) >= n - pos) {
        return false;
    }
    pos += static_cast<size_t>(written);
    return true;
}

// "hh:mm:ss" or "hh:mm:ss.mmm"; hours are not reduced modulo 24.
bool AppendTimeOfDay(char* dst, size_t n, size_t& pos, uint32_t v) {
    const uint32_t hours = v / kMsPerHour;
    const uint32_t rest = v % kMsPerHour;
    const uint32_t minutes = rest / kMsPerMinute;
    const uint32_t msInMinute = rest % kMsPerMinute;
    const uint32_t seconds = msInMinute / kMsPerSecond;
    const uint32_t ms = msInMinute % kMsPerSecond;
    if (ms != 0) {
        return Append(dst, n, pos, "%02ld:%02ld:%02ld.%03ld", static_cast<long>(hours),
                      static_cast<long>(minutes), static_cast<long>(seconds),
                      static_cast<long>(ms));
    }
    return Append(dst, n, pos, "%02ld:%02ld:%02ld", static_cast<long>(hours),
                  static_cast<long>(minutes), static_cast<long>(seconds));
}

template <typename T> T Load(const void* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Characters of one string byte in the literal (c is the byte, next the one
// after it): 2 for a two-character escape, 3 for "$hh", 1 when copied; `pair`
// tells that c and next form one "$N".
size_t EscapedWidth(unsigned char c, unsigned char next, bool& pair) {
    pair = false;
    switch (c) {
    case '\t':
    case '\n':
    case '\f':
    case '$':
    case '\'':
        return 2;
    case '\r':
        pair = next == '\n';
        return 2;
    default:
        // Printable characters of the C locale: the ASCII range 0x20-0x7E.
        return (c >= 0x20 && c <= 0x7E) ? 1 : 3;
    }
}

} // namespace

TiValToLit::TiValToLit() : status_(0), message_{} {}

short TiValToLit::StringBufOK(char* buf, short bufLen, size_t needed) {
    status_ = LIT_OK;
    if (!buf || bufLen <= 0) {
        status_ = LIT_BUFFER_TOO_SMALL;
        return status_;
    }
    buf[0] = '\0';
    if (needed >= static_cast<size_t>(bufLen)) {
        status_ = LIT_BUFFER_TOO_SMALL;
    }
    return status_;
}

short TiValToLit::Put(const char* text, size_t len, char* buf, short bufLen) {
    if (len >= static_cast<size_t>(bufLen)) {
        buf[0] = '\0';
        status_ = LIT_BUFFER_TOO_SMALL;
        return status_;
    }
    std::memcpy(buf, text, len);
    buf[len] = '\0';
    return status_;
}

short TiValToLit::PutFormatted(char* buf, short bufLen, const char* format, ...) {
    char tmp[kLocalText];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(tmp, sizeof tmp, format, args);
    va_end(args);
    if (n < 0 || static_cast<size_t>(n) >= sizeof tmp) {
        buf[0] = '\0';
        status_ = LIT_BUFFER_TOO_SMALL;
        return status_;
    }
    return Put(tmp, static_cast<size_t>(n), buf, bufLen);
}

short TiValToLit::TiBOOLtoLit(const unsigned char& value, char* buf, short bufLen) {
    const bool on = (value & 0x7F) != 0;
    if (StringBufOK(buf, bufLen, kResBOOL) == 0) {
        Put(on ? "TRUE" : "FALSE", on ? 4 : 5, buf, bufLen);
    } else if (buf && bufLen >= 2) {
        // The word does not fit, one character does.
        status_ = LIT_OK;
        Put(on ? "1" : "0", 1, buf, bufLen);
    } else {
        return status_;
    }
    if (value != 0 && value != 1) {
        status_ = LIT_BOOL_RANGE;
    }
    return status_;
}

short TiValToLit::TiBYTEtoLit(const unsigned char& value, char* buf, short bufLen) {
    if (StringBufOK(buf, bufLen, kResBYTE) != 0) {
        return status_;
    }
    return PutFormatted(buf, bufLen, "16#%02X", static_cast<unsigned>(value));
}

short TiValToLit::TiWORDtoLit(const unsigned short& value, char* buf, short bufLen) {
    if (StringBufOK(buf, bufLen, kResWORD) != 0) {
        return status_;
    }
    return PutFormatted(buf, bufLen, "16#%04X", static_cast<unsigned>(value));
}

short TiValToLit::TiDWORDtoLit(const uint32_t& value, char* buf, short bufLen) {
    if (StringBufOK(buf, bufLen, kResDWORD) != 0) {
        return status_;
    }
    return PutFormatted(buf, bufLen, "16#%04X_%04X", static_cast<unsigned>(value >> 16),
                        static_cast<unsigned>(value & 0xFFFF));
}

short TiValToLit::TiSINTtoLit(const signed char& value, char* buf, short bufLen) {
    if (StringBufOK(buf, bufLen, kResSINT) != 0) {
        return status_;
    }
    return PutFormatted(buf, bufLen, "%d", static_cast<int>(value));
}

short TiValToLit::TiUSINTtoLit(const unsigned char& value, char* buf, short bufLen) {
    if (StringBufOK(buf, bufLen, kResUSINT) != 0) {
        return status_;
    }
    return PutFormatted(buf, bufLen, "%u", static_cast<unsigned>(value));
}

short TiValToLit::TiINTtoLit(const short& value, char* buf, short bufLen) {
    if (StringBufOK(buf, bufLen, kResINT) != 0) {
        return status_;
    }
    return PutFormatted(buf, bufLen, "%d", static_cast<int>(value));
}

short TiValToLit::TiUINTtoLit(const unsigned short& value, char* buf, short bufLen) {
    if (StringBufOK(buf, bufLen, kResUINT) != 0) {
        return status_;
    }
    return PutFormatted(buf, bufLen, "%u", static_cast<unsigned>(value));
}

short TiValToLit::TiDINTtoLit(const int32_t& value, char* buf, short bufLen) {
    if (StringBufOK(buf, bufLen, kResDINT) != 0) {
        return status_;
    }
    return PutFormatted(buf, bufLen, "%ld", static_cast<long>(value));
}

short TiValToLit::TiUDINTtoLit(const uint32_t& value, char* buf, short bufLen) {
    if (StringBufOK(buf, bufLen, kResUDINT) != 0) {
        return status_;
    }
    return PutFormatted(buf, bufLen, "%lu", static_cast<unsigned long>(value));
}

short TiValToLit::IntegerDoubleToLit(const double& value, char* buf, short bufLen) {
    if (StringBufOK(buf, bufLen, kResLINT) != 0) {
        return status_;
    }
    // Negative values of 1e20 and more in magnitude are refused as well: their
    // text would be longer than the reserved length. A NaN is no integer.
    if (!(std::fabs(value) < 1e20)) {
        status_ = LIT_BAD_DECIMAL_DIGIT;
        return status_;
    }
    // A negative zero prints as "-0"; the integer it holds is 0.
    const double v = value == 0.0 ? 0.0 : value;
    char tmp[kLocalText];
    const int n = std::snprintf(tmp, sizeof tmp, "%-19.0f", v);
    if (n < 0 || static_cast<size_t>(n) >= sizeof tmp) {
        status_ = LIT_BUFFER_TOO_SMALL;
        return status_;
    }
    const size_t len = std::strcspn(tmp, " .");
    return Put(tmp, len, buf, bufLen);
}

short TiValToLit::TiLINTtoLit(const double& value, char* buf, short bufLen) {
    return IntegerDoubleToLit(value, buf, bufLen);
}

short TiValToLit::TiULINTtoLit(const double& value, char* buf, short bufLen) {
    return IntegerDoubleToLit(value, buf, bufLen);
}

short TiValToLit::SpecialToLit(const char* text, char* buf, short bufLen) {
    return Put(text, std::strlen(text), buf, bufLen);
}

short TiValToLit::TiREALtoLit(const float& value, char* buf, short bufLen) {
    if (std::isnan(value) || std::isinf(value)) {
        if (StringBufOK(buf, bufLen, kResREAL) != 0) {
            return status_;
        }
        const bool neg = std::signbit(value);
        if (std::isnan(value)) {
            return SpecialToLit(neg ? "-NAN" : "+NAN", buf, bufLen);
        }
        return SpecialToLit(neg ? "-INF" : "+INF", buf, bufLen);
    }
    return TiLREALtoLit(static_cast<double>(value), buf, bufLen);
}

short TiValToLit::TiLREALtoLit(const double& value, char* buf, short bufLen) {
    if (StringBufOK(buf, bufLen, kResREAL) != 0) {
        return status_;
    }
    const double v = value;
    if (std::isnan(v)) {
        // The text is written only when it fits; the status stays -3430 then.
        if (SpecialToLit(std::signbit(v) ? "-NAN" : "+NAN", buf, bufLen) == 0) {
            status_ = LIT_NOT_A_NUMBER;
        }
        return status_;
    }
    if (std::isinf(v)) {
        return SpecialToLit(v < 0 ? "-INF" : "+INF", buf, bufLen);
    }
    const double x = std::fabs(v);
    if (x == 0.0) {
        return SpecialToLit("0.0", buf, bufLen);
    }
    char tmp[kLocalText];
    if (x > 0.0001 && x < 10000000.0) {
        // Seven significant digits: decimals = leading fraction zeros -
        // integer digits + 7, with at least one decimal for 7-digit values.
        int intDigits = 0;
        int fracZeros = 0;
        double y = x;
        if (y >= 1.0) {
            while (y >= 1.0 && intDigits < 6) {
                y /= 10.0;
                ++intDigits;
            }
        } else {
            while (y < 0.1) {
                y *= 10.0;
                ++fracZeros;
            }
        }
        const int decimals = fracZeros - intDigits + 7;
        char format[16];
        std::snprintf(format, sizeof format, "%%1.%df", decimals);
        const int n = std::snprintf(tmp, sizeof tmp, format, v);
        if (n > 0 && static_cast<size_t>(n) < sizeof tmp) {
            size_t len = static_cast<size_t>(n);
            const char* point = std::strchr(tmp, '.');
            if (point) {
                // Strip trailing zeros, keeping the digit right after the point.
                const size_t keep = static_cast<size_t>(point - tmp) + 2;
                while (len > keep && tmp[len - 1] == '0') {
                    --len;
                }
            }
            if (len < static_cast<size_t>(bufLen)) {
                return Put(tmp, len, buf, bufLen);
            }
        }
    }
    // Exponent form; shortened to the buffer when the full form is too long.
    int n = std::snprintf(tmp, sizeof tmp, "%E", v);
    if (n >= 0 && n >= bufLen && bufLen > 7) {
        char format[16];
        std::snprintf(format, sizeof format, "%%1.%dE", bufLen - 7);
        n = std::snprintf(tmp, sizeof tmp, format, v);
    }
    if (n < 0 || static_cast<size_t>(n) >= sizeof tmp) {
        status_ = LIT_BUFFER_TOO_SMALL;
        buf[0] = '\0';
        return status_;
    }
    return Put(tmp, static_cast<size_t>(n), buf, bufLen);
}

short TiValToLit::TiTIMEtoLit(const uint32_t& value, char* buf, short bufLen) {
    if (StringBufOK(buf, bufLen, kResTIME) != 0) {
        return status_;
    }
    const uint32_t v = value;
    const uint32_t days = v / kMsPerDay;
    const uint32_t r = v - days * kMsPerDay;
    const uint32_t hours = r / kMsPerHour;
    const uint32_t minutes = (r % kMsPerHour) / kMsPerMinute;
    const uint32_t msInMinute = r % kMsPerHour % kMsPerMinute;
    const uint32_t seconds = msInMinute / kMsPerSecond;
    const uint32_t ms = msInMinute % kMsPerSecond;

    char tmp[kLocalText];
    size_t pos = 0;
    bool ok = Append(tmp, sizeof tmp, pos, "t#");
    bool written = false;
    // A zero unit is written where a larger unit was written and a smaller
    // one follows, so that every unit between the first and last shows.
    if (days != 0) {
        ok = ok && Append(tmp, sizeof tmp, pos, "%ldd", static_cast<long>(days));
        written = true;
    }
    if (hours != 0 || (written && (minutes != 0 || seconds != 0 || ms != 0))) {
        ok = ok &&
             Append(tmp, sizeof tmp, pos, "%s%ldh", days != 0 ? "_" : "", static_cast<long>(hours));
        written = true;
    }
    if (minutes != 0 || (written && (seconds != 0 || ms != 0))) {
        ok = ok && Append(tmp, sizeof tmp, pos, "%s%ldm", hours != 0 ? "_" : "",
                          static_cast<long>(minutes));
        written = true;
    }
    if (seconds != 0 || (written && ms != 0)) {
        ok = ok && Append(tmp, sizeof tmp, pos, "%s%lds", minutes != 0 ? "_" : "",
                          static_cast<long>(seconds));
        written = true;
    }
    if (ms != 0) {
        ok = ok && Append(tmp, sizeof tmp, pos, "%s%ldms", seconds != 0 ? "_" : "",
                          static_cast<long>(ms));
        written = true;
    }
    if (!written) {
        pos = 0;
        ok = Append(tmp, sizeof tmp, pos, "%s0s", "t#");
    }
    if (!ok) {
        status_ = LIT_BUFFER_TOO_SMALL;
        return status_;
    }
    return Put(tmp, pos, buf, bufLen);
}

short TiValToLit::TiDATEtoLit(const unsigned short& value, char* buf, short bufLen) {
    if (StringBufOK(buf, bufLen, kResDATE) != 0) {
        return status_;
    }
    return PutFormatted(buf, bufLen, "%s%d-%02d-%02d", "d#", PackedYear(value), PackedMonth(value),
                        PackedDay(value));
}

short TiValToLit::TiTODtoLit(const uint32_t& value, char* buf, short bufLen) {
    if (StringBufOK(buf, bufLen, kResTOD) != 0) {
        return status_;
    }
    char tmp[kLocalText];
    size_t pos = 0;
    // Hours beyond 23 make the text longer than reserved; Put checks the
    // real length.
    if (!Append(tmp, sizeof tmp, pos, "tod#") || !AppendTimeOfDay(tmp, sizeof tmp, pos, value)) {
        status_ = LIT_BUFFER_TOO_SMALL;
        return status_;
    }
    return Put(tmp, pos, buf, bufLen);
}

short TiValToLit::TiDTtoLit(const IEC_DT& value, char* buf, short bufLen) {
    if (StringBufOK(buf, bufLen, kResDT) != 0) {
        return status_;
    }
    char tmp[kLocalText];
    size_t pos = 0;
    if (!Append(tmp, sizeof tmp, pos, "%s%d-%02d-%02d-", "dt#", PackedYear(value.date),
                PackedMonth(value.date), PackedDay(value.date)) ||
        !AppendTimeOfDay(tmp, sizeof tmp, pos, value.tod)) {
        status_ = LIT_BUFFER_TOO_SMALL;
        return status_;
    }
    return Put(tmp, pos, buf, bufLen);
}

short TiValToLit::TiSTRINGtoLit(const char* const& value, char* buf, short bufLen) {
    if (!value) {
        status_ = LIT_NO_MEMORY;
        if (buf && bufLen > 0) {
            buf[0] = '\0';
        }
        return status_;
    }
    const unsigned char* s = reinterpret_cast<const unsigned char*>(value);
    size_t needed = 2;
    for (size_t i = 0; s[i] != 0; ++i) {
        bool pair;
        needed += EscapedWidth(s[i], s[i + 1], pair);
        if (pair) {
            ++i;
        }
    }
    if (StringBufOK(buf, bufLen, needed) != 0) {
        return status_;
    }
    static const char kHex[] = "0123456789ABCDEF";
    size_t pos = 0;
    buf[pos++] = '\'';
    for (size_t i = 0; s[i] != 0; ++i) {
        const unsigned char c = s[i];
        bool pair;
        const size_t width = EscapedWidth(c, s[i + 1], pair);
        if (width == 1) {
            buf[pos++] = static_cast<char>(c);
            continue;
        }
        buf[pos++] = '$';
        switch (c) {
        case '\t':
            buf[pos++] = 'T';
            break;
        case '\n':
            buf[pos++] = 'L';
            break;
        case '\f':
            buf[pos++] = 'P';
            break;
        case '$':
            buf[pos++] = '$';
            break;
        case '\'':
            buf[pos++] = '\'';
            break;
        case '\r':
            buf[pos++] = pair ? 'N' : 'R';
            if (pair) {
                ++i;
            }
            break;
        default:
            buf[pos++] = kHex[c >> 4];
            buf[pos++] = kHex[c & 0x0F];
            break;
        }
    }
    buf[pos++] = '\'';
    buf[pos] = '\0';
    return status_;
}

short TiValToLit::TiANL_INtoLit(const TiAnalogRecord& value, char* buf, short bufLen) {
    if (StringBufOK(buf, bufLen, kResANL) != 0) {
        return status_;
    }
    return SpecialToLit(value.bytes[0] != 0 ? "configured" : "failed", buf, bufLen);
}

short TiValToLit::TiANL_OUTtoLit(const TiAnalogRecord& value, char* buf, short bufLen) {
    return TiANL_INtoLit(value, buf, bufLen);
}

short TiValToLit::TiBinValToLit(const short& typeId, void* value, char* buf, short bufLen) {
    if (!value) {
        status_ = LIT_NO_MEMORY;
        if (buf && bufLen > 0) {
            buf[0] = '\0';
        }
        return status_;
    }
    // Values are loaded by copy: the caller's bytes need not be aligned.
    switch (typeId) {
    case TYPE_BOOL:
        return TiBOOLtoLit(Load<unsigned char>(value), buf, bufLen);
    case TYPE_BYTE:
        return TiBYTEtoLit(Load<unsigned char>(value), buf, bufLen);
    case TYPE_WORD:
        return TiWORDtoLit(Load<unsigned short>(value), buf, bufLen);
    case TYPE_DWORD:
        return TiDWORDtoLit(Load<uint32_t>(value), buf, bufLen);
    case TYPE_SINT:
        return TiSINTtoLit(Load<signed char>(value), buf, bufLen);
    case TYPE_INT:
        return TiINTtoLit(Load<short>(value), buf, bufLen);
    case TYPE_DINT:
        return TiDINTtoLit(Load<int32_t>(value), buf, bufLen);
    case TYPE_LINT:
        return TiLINTtoLit(Load<double>(value), buf, bufLen);
    case TYPE_USINT:
        return TiUSINTtoLit(Load<unsigned char>(value), buf, bufLen);
    case TYPE_UINT:
        return TiUINTtoLit(Load<unsigned short>(value), buf, bufLen);
    case TYPE_UDINT:
        return TiUDINTtoLit(Load<uint32_t>(value), buf, bufLen);
    case TYPE_ULINT:
        return TiULINTtoLit(Load<double>(value), buf, bufLen);
    case TYPE_REAL:
        return TiREALtoLit(Load<float>(value), buf, bufLen);
    case TYPE_LREAL:
    case UNTYPED_REAL:
        return TiLREALtoLit(Load<double>(value), buf, bufLen);
    case TYPE_TIME:
        return TiTIMEtoLit(Load<uint32_t>(value), buf, bufLen);
    case TYPE_DATE:
        return TiDATEtoLit(Load<unsigned short>(value), buf, bufLen);
    case TYPE_TIME_OF_DAY:
        return TiTODtoLit(Load<uint32_t>(value), buf, bufLen);
    case TYPE_DATE_AND_TIME:
        return TiDTtoLit(Load<IEC_DT>(value), buf, bufLen);
    case TYPE_STRING: {
        const char* text = static_cast<const char*>(value);
        return TiSTRINGtoLit(text, buf, bufLen);
    }
    case TYPE_ANL_IN:
        return TiANL_INtoLit(Load<TiAnalogRecord>(value), buf, bufLen);
    case TYPE_ANL_OUT:
        return TiANL_OUTtoLit(Load<TiAnalogRecord>(value), buf, bufLen);
    case UNTYPED_BITS: {
        const int32_t signedValue = Load<int32_t>(value);
        if (TiLINTtoLit(static_cast<double>(signedValue), buf, bufLen) == 0) {
            return status_;
        }
        return TiULINTtoLit(static_cast<double>(static_cast<uint32_t>(signedValue)), buf, bufLen);
    }
    default:
        status_ = LIT_TYPE_NOT_SUPPORTED;
        if (buf && bufLen > 0) {
            buf[0] = '\0';
        }
        return status_;
    }
}

short TiValToLit::TiBinValToLit(short typeId, void* value, char* buf, unsigned short* len) {
    char* temp = nullptr;
    short bufLen = kUnlimitedLen;
    if (!buf) {
        temp = new (std::nothrow) char[kTempBufLen];
        if (!temp) {
            status_ = LIT_NO_MEMORY;
            if (len) {
                *len = 0;
            }
            return status_;
        }
        buf = temp;
        bufLen = kTempBufLen;
    }
    const short rc = TiBinValToLit(static_cast<const short&>(typeId), value, buf, bufLen);
    if (len) {
        // Whatever text the formatter left (empty on failure) is measured.
        *len = static_cast<unsigned short>(std::strlen(buf));
    }
    delete[] temp;
    return rc;
}

void TiValToLit::ReturnCurError(short* code, char** text) {
    if (!text) {
        return;
    }
    if (code) {
        *code = status_;
    }
    message_[0] = '\0';
    if (status_ != 0) {
        // Message numbers map to text ids by their absolute value.
        LoadStringA(nullptr, static_cast<UINT>(std::abs(static_cast<int>(status_))), message_,
                    kMessageSize);
    }
    *text = message_;
}
