// ts_scan: the character scanner of the IEC 61131-3 literal scanner. It knows
// the literal prefixes, decodes digits and strings, and decides where a
// literal ends; ts_parse reduces its tokens into an IEC_CONSTANT.
#pragma once

#include "base/IEC_CONSTANT.h"
#include "base/TiDigit.h"

#include <cstdint>

/// Status codes of the literal scanner that are not shared with the
/// conversions (see base/TiLitStatus.h for the family -3405 ... -3430).
namespace iec {
constexpr int16_t LIT_MIXED_CASE_PREFIX = -3614;  ///< prefix letters in mixed case
constexpr int16_t LIT_FRACTION_DROPPED = 1704;    ///< warning: fraction below 1 ms dropped
} // namespace iec

/// Mode bits given to ts_scan::tsreset. Other bits are ignored.
enum TsMode : short {
    /// Digits followed (after further digits and underscores) by a letter
    /// form a name, not a number.
    TS_MODE_DIGIT_NAMES = 1,
    /// Case-lenient: type prefixes match in any case, mixed-case prefixes are
    /// accepted, and upper-case duration units are accepted.
    TS_MODE_CASE_LENIENT = 2,
    /// Lenient values: two-digit years, duration and time-of-day components
    /// above their unit's range, and a time of day without seconds.
    TS_MODE_LENIENT_VALUES = 8,
};

/// Tokens of ts_scan::tslex. Any other token value is a single character
/// (0 ... 255) standing for itself: '.', '-', '+', ':', '_', 'e', 'E', the
/// duration unit letters, and every character that can begin no token.
enum TsToken : short {
    TS_END = 0,            ///< end of the literal
    TS_DURATION = 257,     ///< "T#" / "TIME#"
    TS_DATE_TIME = 258,    ///< "DT#" / "DATE_AND_TIME#"
    TS_DATE = 259,         ///< "D#" / "DATE#"
    TS_TIME_OF_DAY = 260,  ///< "TOD#" / "TIME_OF_DAY#"
    TS_DIGITS = 261,       ///< decimal digits (value: digit, or frac after '.')
    TS_BIN_DIGITS = 262,   ///< "2#" and binary digits (value: digit)
    TS_OCT_DIGITS = 263,   ///< "8#" and octal digits (value: digit)
    TS_HEX_DIGITS = 264,   ///< "16#" and hexadecimal digits (value: digit)
    TS_NAME = 265,         ///< a name
    TS_STRING = 266,       ///< a quoted string (value: str, from new char[])
    TS_TYPE_PREFIX = 267,  ///< "INT#" etc. (value: typeId)
    TS_NAME_HASH = 268,    ///< a name followed by '#' that is no type prefix
};

/// The digits of a fraction: the text between the decimal point and the end
/// of the digit run, underscores included. start == null means no fraction.
struct TsFraction {
    const char* start;
    const char* end;
};

/// Units of duration components, numbered so that larger units compare
/// greater.
enum TsDurationUnit : int8_t {
    TS_UNIT_NONE = 0,
    TS_UNIT_MS = 1,
    TS_UNIT_S = 2,
    TS_UNIT_M = 3,
    TS_UNIT_H = 4,
    TS_UNIT_D = 5,
};

/// A duration being reduced: the milliseconds of a run of components (exact
/// integers while they stay below 2^53), the unit of its first component and
/// whether that first component had a fraction.
struct TsDuration {
    double ms;
    int8_t unit;
    uint8_t hasFraction;
    uint8_t fill[6];
};

/// The semantic value of a token or of a reduced symbol: 16 bytes, big enough
/// for a TiDigit, a double, a packed date, a date-and-time or a string
/// pointer. Which member is meaningful follows from the token or symbol.
union TSSTYPE {
    TiDigit digit;
    TsFraction frac;
    TsDuration dur;
    double dbl;
    uint32_t ms;
    uint16_t date;
    IEC_DT dt;
    char* str;
    short typeId;
    int ival;
    unsigned char bytes[16];

    TSSTYPE() : bytes{} {}
};
static_assert(sizeof(TSSTYPE) == 16, "the semantic value of a literal token has 16 bytes");

/// The literal character scanner. One scanner serves any number of literals
/// one after another: tsreset before each.
///
/// The scanner reads zero-terminated text and never reads past its
/// terminating zero; it never writes to the text. Counts (consumed, errPos)
/// are 16-bit: they saturate at 32767 for longer texts, while scanning
/// itself goes on to the end of the literal.
class ts_scan {
public:
    /// A scanner with every field cleared: tslex returns 0 until tsreset.
    ts_scan();
    /// The same as ts_scan() followed by tsreset(text, c, mode).
    ts_scan(char* text, IEC_CONSTANT& c, short mode);

    /// Starts a new literal at `text` (null reads as an empty text) that fills
    /// `c`: cur and tokStart = text, mode stored; consumed, errStatus, errPos,
    /// the separator counters and the lexical state cleared. The constant is
    /// not touched here: the reductions that fill it reset it first, and a
    /// name leaves it as the caller passed it (callers pass a cleared one).
    void tsreset(char* text, IEC_CONSTANT& c, short mode);

    /// The next token (see TsToken) with its value in `value`.
    short tslex(TSSTYPE& value);

    /// Keeps only the first status of a literal: if errStatus is 0 it
    /// becomes `code` and errPos the current count of consumed characters.
    void SetErrStatus(short code);

    /// Error recovery: SetErrStatus(code) when code is not 0, then back to
    /// the start of the current token, then characters are consumed up to the
    /// next blank (space, tab, line feed, end of text) or delimiter. When the
    /// current token is the end token, nothing is consumed. The literal is
    /// over then: tslex returns 0 until the next tsreset.
    void tssync(short code);

    /// Parser messages: one beginning with 'P' ("Parser stack overflow")
    /// sets -3428; others (and null) are ignored.
    void tserror(const char* msg);

    /// Releases the value of a token that the parser throws away: the text
    /// of a string token (266) is freed and *value cleared. Other tokens and
    /// null pointers: nothing happens.
    void DiscardToken(short token, void** value);

    /// The letter test of the compiler (ANSI code page letters, accented
    /// letters included): nonzero for a letter.
    static short IsAlphaOrMacro(short ch);

    /// The constant being filled (null before the first tsreset).
    IEC_CONSTANT* ConstantBuf() const { return constant; }

    /// Characters consumed since tsreset (saturates at 32767).
    short Consumed() const { return consumed; }
    /// The first status of this literal, 0 if none.
    short ErrStatus() const { return errStatus; }
    /// The value of Consumed() when ErrStatus() was set.
    short ErrPos() const { return errPos; }
    /// The next character to read.
    char* Cur() const { return cur; }
    /// The option bits given at tsreset.
    short Mode() const { return mode; }
    /// The start of the current token.
    char* TokStart() const { return tokStart; }
    /// '-' separators seen in the current date, date-and-time or duration.
    short DashCount() const { return dashCount; }
    /// ':' separators seen in the current time of day or date-and-time.
    short ColonCount() const { return colonCount; }
    /// 0 initial; 1 decimal number; 2 name seen; 3 date; 4 duration; 5 time
    /// of day; 6 date-and-time; 7 based number; 8 exponent; 9 string.
    unsigned char LexState() const { return lexState; }
    /// The start of the current literal (the text given to tsreset).
    char* TextStart() const { return text; }

    /// True when `ch` (the character at the scanner's position, `next` the
    /// one after it) ends a literal in the current lexical state.
    bool IsDelimiter(unsigned char ch, unsigned char next) const;

    /// Lexical states.
    enum : unsigned char {
        LEX_INITIAL = 0,
        LEX_DECIMAL = 1,
        LEX_NAME = 2,
        LEX_DATE = 3,
        LEX_DURATION = 4,
        LEX_TIME_OF_DAY = 5,
        LEX_DATE_TIME = 6,
        LEX_BASED = 7,
        LEX_EXPONENT = 8,
        LEX_STRING = 9,
    };

private:
    void Advance(long n);
    void SyncConsumed();
    void SetErrStatusAt(short code, const char* at);
    void CountSeparator(unsigned char ch);
    void UncountSeparator(unsigned char ch);
    short Lex(TSSTYPE& value);
    short TryPrefix(TSSTYPE& value);
    short ScanDigitRun(TSSTYPE& value, unsigned base, bool fraction);
    short ScanString(TSSTYPE& value);
    short ScanName(TSSTYPE& value);
    bool DigitsFormName() const;

    // The fields of the design, in its order.
    short consumed;
    short errStatus;
    short errPos;
    char* cur;
    short mode;
    char* tokStart;
    short dashCount;
    short colonCount;
    unsigned char lexState;
    IEC_CONSTANT* constant;

    // Beyond them: the start of the literal, from which consumed is counted
    // without overflow; whether the last token was a '.' (so that the digits
    // after it are a fraction); whether it was the end token (for tssync);
    // whether tssync has ended the literal.
    char* text;
    bool afterDot;
    bool lastWasEnd;
    bool synced;
};
