// The reductions of the literal grammar: values, range checks and status
// codes of numbers, typed literals, durations, dates, times of day,
// date-and-times and strings.
#include "base/ts_reduce.h"

#include "base/IecTypeIds.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <new>

using namespace iec;

namespace tsreduce {

namespace {

constexpr double kMaxDurationMs = 4294967295.0;
constexpr int kMaxExponent = 99999;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The constant of the scanner, cleared for a new value; null when the
// scanner was never reset on a constant.
IEC_CONSTANT* Fresh(ts_scan& s) {
    IEC_CONSTANT* c = s.ConstantBuf();
    if (c != nullptr) {
        c->reset();
    }
    return c;
}

uint32_t ReadU32(const TiDigit& d) {
    uint32_t v = 0;
    // A value beyond 32 bits reads as 4294967295, which every range check
    // below rejects.
    d.GetUINT32Val(&v);
    return d.IsNegative() && v != 0 ? 0xFFFFFFFFu : v;
}

// Converts the constant to the type of an integer or bit-string prefix.
short ConvertForPrefix(IEC_CONSTANT& c, short typeId) {
    switch (typeId) {
    case TYPE_BOOL: {
        unsigned char v;
        return TiConstantToBOOL(c, &v);
    }
    case TYPE_BYTE: {
        unsigned char v;
        return TiConstantToBYTE(c, &v);
    }
    case TYPE_WORD: {
        unsigned short v;
        return TiConstantToWORD(c, &v);
    }
    case TYPE_DWORD: {
        uint32_t v;
        return TiConstantToDWORD(c, &v);
    }
    case TYPE_SINT: {
        signed char v;
        return TiConstantToSINT(c, &v);
    }
    case TYPE_INT: {
        short v;
        return TiConstantToINT(c, &v);
    }
    case TYPE_DINT: {
        int32_t v;
        return TiConstantToDINT(c, &v);
    }
    case TYPE_LINT: {
        double v;
        return TiConstantToLINT(c, &v);
    }
    case TYPE_USINT: {
        unsigned char v;
        return TiConstantToUSINT(c, &v);
    }
    case TYPE_UINT: {
        unsigned short v;
        return TiConstantToUINT(c, &v);
    }
    case TYPE_UDINT: {
        uint32_t v;
        return TiConstantToUDINT(c, &v);
    }
    case TYPE_ULINT: {
        double v;
        return TiConstantToULINT(c, &v);
    }
    default:
        return LIT_PREFIX_NOT_APPLICABLE;
    }
}

} // namespace

void Malformed(ts_scan& s, short code) { s.tssync(code); }

void TextAfterLiteral(ts_scan& s) {
    const IEC_CONSTANT* c = s.ConstantBuf();
    uint16_t f = c != nullptr ? c->flags : 0;
    short code = LIT_NOT_A_LITERAL;
    if (f & CONST_TIME) {
        code = LIT_TIME_REQUIRED;
    } else if (f & CONST_DATE) {
        code = LIT_DATE_REQUIRED;
    } else if (f & CONST_TOD) {
        code = LIT_TOD_REQUIRED;
    } else if (f & CONST_DT) {
        code = LIT_DT_REQUIRED;
    } else if (f & CONST_REAL) {
        code = LIT_REAL_REQUIRED;
    } else if (f & CONST_BINARY) {
        code = LIT_BAD_BINARY_DIGIT;
    } else if (f & CONST_OCTAL) {
        code = LIT_BAD_OCTAL_DIGIT;
    } else if (f & CONST_HEX) {
        code = LIT_BAD_HEX_DIGIT;
    } else if (f & CONST_DECIMAL) {
        code = LIT_BAD_DECIMAL_DIGIT;
    } else if (f & CONST_STRING) {
        code = LIT_PREFIX_NOT_APPLICABLE;
    }
    s.tssync(code);
}

void Integer(ts_scan& s, const TiDigit& digits, int negative) {
    IEC_CONSTANT* c = Fresh(s);
    if (c == nullptr) {
        return;
    }
    c->value.digit = digits;
    if (negative) {
        c->value.digit.Negate();
    }
    c->flags = static_cast<uint16_t>(CONST_DECIMAL | (negative ? CONST_NEGATIVE : 0));
    c->typeId = UNTYPED_INT;
}

void Based(ts_scan& s, const TiDigit& digits, uint16_t kind) {
    IEC_CONSTANT* c = Fresh(s);
    if (c == nullptr) {
        return;
    }
    // Based literals carry their base bit alone: the conversions read them
    // as bit patterns, decimal ones (no base bit) with sign.
    c->value.digit = digits;
    c->flags = kind;
    c->typeId = UNTYPED_INT;
}

int Exponent(int negative, const TiDigit& digits) {
    uint32_t v = 0;
    if (digits.GetUINT32Val(&v) != 0 || v > static_cast<uint32_t>(kMaxExponent)) {
        v = kMaxExponent;
    }
    int e = static_cast<int>(v);
    return negative ? -e : e;
}

void Real(ts_scan& s, int negative, const TsFraction& fraction, int exponent) {
    IEC_CONSTANT* c = Fresh(s);
    if (c == nullptr || fraction.start == nullptr) {
        return;
    }
    // The integer digits are the digit run right before the decimal point;
    // the grammar has just reduced "digits '.' digits", so the run is there
    // and ends at the literal's start, a sign or a '#'.
    const char* dot = fraction.start - 1;
    const char* begin = dot;
    const char* textStart = s.TextStart();
    while (begin > textStart && (IsDigit(begin[-1]) || begin[-1] == '_')) {
        --begin;
    }

    // Decimal text for the conversion: digits without underscores, the
    // point, the exponent. The conversion is locale independent.
    size_t digits = 0;
    for (const char* p = begin; p < dot; ++p) {
        digits += IsDigit(*p) ? 1 : 0;
    }
    for (const char* p = fraction.start; p < fraction.end; ++p) {
        digits += IsDigit(*p) ? 1 : 0;
    }
    const size_t need = digits + 16;
    char local[128];
    char* buf = need <= sizeof(local) ? local : new (std::nothrow) char[need];
    if (buf == nullptr) {
        s.SetErrStatus(LIT_NO_MEMORY);
        return;
    }
    size_t n = 0;
    int intSignificant = 0;  // integer digits from the first non-zero one
    int fracLeadingZeros = 0;
    bool seenNonZero = false;
    for (const char* p = begin; p < dot; ++p) {
        if (IsDigit(*p)) {
            buf[n++] = *p;
            seenNonZero = seenNonZero || *p != '0';
            intSignificant += seenNonZero ? 1 : 0;
        }
    }
    if (n == 0) {
        buf[n++] = '0';
    }
    buf[n++] = '.';
    for (const char* p = fraction.start; p < fraction.end; ++p) {
        if (IsDigit(*p)) {
            buf[n++] = *p;
            if (!seenNonZero && *p == '0') {
                ++fracLeadingZeros;
            }
            seenNonZero = seenNonZero || *p != '0';
        }
    }
    buf[n++] = '0'; // a fraction may be "0" only: keep the form "d.d"
    buf[n++] = 'e';
    std::to_chars_result tc = std::to_chars(buf + n, buf + need, exponent);
    n = static_cast<size_t>(tc.ptr - buf);

    double value = 0.0;
    std::from_chars_result fc = std::from_chars(buf, buf + n, value);
    if (buf != local) {
        delete[] buf;
    }
    if (fc.ec == std::errc::result_out_of_range) {
        // Out of range both ways: the position of the first significant
        // digit tells overflow from underflow.
        int magnitude = intSignificant > 0 ? intSignificant + exponent : exponent - fracLeadingZeros;
        if (magnitude > 0) {
            value = HUGE_VAL;
            s.SetErrStatus(LIT_OUT_OF_RANGE);
        } else {
            value = 0.0;
        }
    } else if (fc.ec != std::errc()) {
        value = 0.0;
        s.SetErrStatus(LIT_REAL_REQUIRED);
    }
    c->value.dbl = negative ? -value : value;
    c->flags = static_cast<uint16_t>(CONST_REAL | (negative ? CONST_NEGATIVE : 0));
    c->typeId = UNTYPED_REAL;
}

void TypedNumber(ts_scan& s, short typeId) {
    IEC_CONSTANT* c = s.ConstantBuf();
    if (c == nullptr || (c->flags & (CONST_INTEGER | CONST_REAL)) == 0) {
        // The number itself was malformed; its error is recorded already.
        return;
    }
    const bool real = (c->flags & CONST_REAL) != 0;
    if (typeId == TYPE_REAL || typeId == TYPE_LREAL) {
        if (!real) {
            s.SetErrStatus(LIT_PREFIX_NOT_APPLICABLE);
            return;
        }
        c->typeId = typeId;
        if (typeId == TYPE_REAL) {
            float f;
            if (TiConstantToREAL(*c, &f) != 0) {
                c->typeId = UNTYPED_REAL;
                s.SetErrStatus(LIT_OUT_OF_RANGE);
            }
        }
        return;
    }
    if (real) {
        s.SetErrStatus(LIT_PREFIX_NOT_APPLICABLE);
        return;
    }
    c->typeId = typeId;
    if (ConvertForPrefix(*c, typeId) != 0) {
        c->typeId = UNTYPED_INT;
        s.SetErrStatus(LIT_OUT_OF_RANGE);
    }
}

void String(ts_scan& s, char* text) {
    IEC_CONSTANT* c = Fresh(s);
    if (c == nullptr) {
        delete[] text;
        return;
    }
    if (text != nullptr) {
        c->AdoptString(text);
    }
}

void NameHash(ts_scan& s) { s.SetErrStatus(LIT_PREFIX_NOT_APPLICABLE); }

uint64_t ScaleFraction(const TsFraction& fraction, uint32_t factor, Rounding rounding,
                       bool* nonZero) {
    // Long multiplication of the decimal fraction by `factor`, from its last
    // digit to its first: what carries out of the first digit is the integer
    // part, the digit left there is the first dropped decimal, and the ones
    // after it decide an exact half. Memory is constant, time linear.
    uint64_t carry = 0;
    unsigned first = 0;         // first decimal of the product
    bool laterNonZero = false;  // any product decimal after the first
    bool any = false;
    bool haveFirst = false;
    if (fraction.start != nullptr) {
        for (const char* p = fraction.end; p > fraction.start;) {
            --p;
            if (!IsDigit(*p)) {
                continue;
            }
            if (haveFirst) {
                laterNonZero = laterNonZero || first != 0;
            }
            unsigned d = static_cast<unsigned>(*p - '0');
            any = any || d != 0;
            uint64_t v = static_cast<uint64_t>(d) * factor + carry;
            first = static_cast<unsigned>(v % 10);
            carry = v / 10;
            haveFirst = true;
        }
    }
    if (nonZero != nullptr) {
        *nonZero = any;
    }
    bool up = rounding == Rounding::HalfUp ? first >= 5 : (first > 5 || (first == 5 && laterNonZero));
    return carry + (up ? 1 : 0);
}

uint32_t UnitFactor(int unit) {
    switch (unit) {
    case TS_UNIT_D:
        return 86400000u;
    case TS_UNIT_H:
        return 3600000u;
    case TS_UNIT_M:
        return 60000u;
    case TS_UNIT_S:
        return 1000u;
    default:
        return 1u;
    }
}

TsDuration Component(ts_scan& s, const TiDigit& digits, TsFraction fraction, int unit) {
    TsDuration d{};
    double whole = 0.0;
    digits.GetDoubleVal(&whole);
    const uint32_t factor = UnitFactor(unit);
    d.ms = whole * factor;
    d.unit = static_cast<int8_t>(unit);
    if (fraction.start != nullptr) {
        d.hasFraction = 1;
        bool nonZero = false;
        if (unit == TS_UNIT_MS) {
            d.ms += static_cast<double>(ScaleFraction(fraction, 1, Rounding::AboveHalf, &nonZero));
            if (nonZero) {
                s.SetErrStatus(LIT_FRACTION_DROPPED);
            }
        } else {
            d.ms += static_cast<double>(ScaleFraction(fraction, factor, Rounding::HalfUp, &nonZero));
        }
    }
    return d;
}

TsDuration JoinComponents(ts_scan& s, const TsDuration& first, const TsDuration& rest) {
    TsDuration d = rest;
    if (first.hasFraction || first.unit <= rest.unit) {
        s.SetErrStatus(LIT_TIME_REQUIRED);
    } else if ((s.Mode() & TS_MODE_LENIENT_VALUES) == 0) {
        // "In total": everything after a unit must stay below that unit's
        // next larger step.
        double limit = first.unit == TS_UNIT_D   ? 86400000.0
                       : first.unit == TS_UNIT_H ? 3600000.0
                       : first.unit == TS_UNIT_M ? 60000.0
                                                 : 1000.0;
        if (rest.ms >= limit) {
            s.SetErrStatus(LIT_OUT_OF_RANGE);
            if (first.unit == TS_UNIT_S) {
                d.ms = 999.0;
            }
        }
    }
    d.ms += first.ms;
    d.unit = first.unit;
    d.hasFraction = first.hasFraction;
    return d;
}

int CaseLenientUnit(ts_scan& s, int unit) {
    if ((s.Mode() & TS_MODE_CASE_LENIENT) == 0) {
        s.SetErrStatus(LIT_TIME_REQUIRED);
    }
    return unit;
}

void Duration(ts_scan& s, int negative, const TsDuration& components) {
    double ms = components.ms;
    if (negative && ms != 0.0) {
        s.SetErrStatus(LIT_DURATION_RANGE);
        ms = 0.0;
    } else if (!(ms <= kMaxDurationMs)) {
        s.SetErrStatus(LIT_DURATION_RANGE);
        ms = kMaxDurationMs;
    }
    IEC_CONSTANT* c = Fresh(s);
    if (c == nullptr) {
        return;
    }
    c->value.time = static_cast<uint32_t>(ms);
    c->flags = static_cast<uint16_t>(CONST_TIME | (negative ? CONST_NEGATIVE : 0));
    c->typeId = TYPE_TIME;
}

int DaysInMonth(uint32_t year, uint32_t month) {
    switch (month) {
    case 1:
    case 3:
    case 5:
    case 7:
    case 8:
    case 10:
    case 12:
        return 31;
    case 4:
    case 6:
    case 9:
    case 11:
        return 30;
    case 2: {
        bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
        return leap ? 29 : 28;
    }
    default:
        return 0;
    }
}

uint16_t MakeDate(ts_scan& s, const TiDigit& yearDigits, const TiDigit& monthDigits,
                  const TiDigit& dayDigits) {
    uint32_t year = ReadU32(yearDigits);
    uint32_t month = ReadU32(monthDigits);
    uint32_t day = ReadU32(dayDigits);
    if ((s.Mode() & TS_MODE_LENIENT_VALUES) && year < 100) {
        year += year < 50 ? 2000 : 1900;
    }
    bool valid = year >= 1980 && year <= 2107 && month >= 1 && month <= 12 && day >= 1 &&
                 day <= static_cast<uint32_t>(DaysInMonth(year, month));
    if (!valid) {
        s.SetErrStatus(LIT_INVALID_DATE);
        year = year < 1980 ? 1980 : year > 2107 ? 2107 : year;
        month = month < 1 ? 1 : month > 12 ? 12 : month;
        uint32_t last = static_cast<uint32_t>(DaysInMonth(year, month));
        day = day < 1 ? 1 : day > last ? last : day;
    }
    return PackDate(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day));
}

void Date(ts_scan& s, uint16_t date) {
    IEC_CONSTANT* c = Fresh(s);
    if (c == nullptr) {
        return;
    }
    c->value.date = date;
    c->flags = CONST_DATE;
    c->typeId = TYPE_DATE;
}

uint32_t MakeDaytime(ts_scan& s, const TiDigit& hourDigits, const TiDigit& minuteDigits,
                     const TiDigit* secondDigits, TsFraction fraction) {
    const bool lenient = (s.Mode() & TS_MODE_LENIENT_VALUES) != 0;
    uint64_t hours = ReadU32(hourDigits);
    uint64_t minutes = ReadU32(minuteDigits);
    uint64_t secondsMs = 0;
    if (secondDigits == nullptr) {
        if (!lenient) {
            s.SetErrStatus(LIT_TOD_REQUIRED);
        }
    } else {
        secondsMs = static_cast<uint64_t>(ReadU32(*secondDigits)) * 1000u +
                    ScaleFraction(fraction, 1000u, Rounding::HalfUp, nullptr);
    }
    if (!lenient) {
        if (hours >= 24) {
            s.SetErrStatus(LIT_OUT_OF_RANGE);
            hours = 0;
        }
        if (minutes >= 60) {
            s.SetErrStatus(LIT_OUT_OF_RANGE);
            minutes = 0;
        }
        if (secondsMs >= 60000) {
            s.SetErrStatus(LIT_OUT_OF_RANGE);
            secondsMs = 0;
        }
    }
    uint64_t total = hours * 3600000u + minutes * 60000u + secondsMs;
    if (total > 0xFFFFFFFFu) {
        s.SetErrStatus(LIT_OUT_OF_RANGE);
        total = 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(total);
}

void TimeOfDay(ts_scan& s, uint32_t ms) {
    IEC_CONSTANT* c = Fresh(s);
    if (c == nullptr) {
        return;
    }
    c->value.tod = ms;
    c->flags = CONST_TOD;
    c->typeId = TYPE_TIME_OF_DAY;
}

void DateAndTime(ts_scan& s, uint16_t date, uint32_t tod) {
    IEC_CONSTANT* c = Fresh(s);
    if (c == nullptr) {
        return;
    }
    c->value.dt.tod = tod;
    c->value.dt.date = date;
    c->value.dt.fill = 0;
    c->flags = CONST_DT;
    c->typeId = TYPE_DATE_AND_TIME;
}

} // namespace tsreduce
