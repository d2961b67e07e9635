// ts_scan: the literal character scanner. Prefix table, digit runs with
// underscore rules, string decoding, names and type prefixes, and the
// delimiter rules that decide where a literal ends in each lexical state.
#include "base/ts_scan.h"

#include "base/IecTypeIds.h"
#include "base/TiCharUtil.h"
#include "base/TiLitStatus.h"

#include <cstring>
#include <new>

using namespace iec;

namespace {

constexpr short kMaxCount = 32767; // largest value of the 16-bit counts

bool IsDigit(unsigned char ch) { return ch >= '0' && ch <= '9'; }
bool IsAsciiAlnum(unsigned char ch) {
    return IsDigit(ch) || (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
}
bool IsHex(unsigned char ch) {
    return IsDigit(ch) || (ch >= 'A' && ch <= 'F') || (ch >= 'a' && ch <= 'f');
}
int HexValue(unsigned char ch) {
    if (IsDigit(ch)) {
        return ch - '0';
    }
    return (ch | 0x20) - 'a' + 10;
}
unsigned char Upper(unsigned char ch) { return static_cast<unsigned char>(TiToUpper(ch)); }
// The prefixes are ASCII, and no byte above 127 upper-cases to an ASCII letter
// in the ANSI code page, so comparing them needs only the ASCII mapping; it
// keeps the per-literal cost low.
unsigned char AsciiUpper(unsigned char ch) {
    return static_cast<unsigned char>(ch >= 'a' && ch <= 'z' ? ch - ('a' - 'A') : ch);
}

// The literal prefixes, in the order they are tried. Each is compared with
// the upper-cased text, '#' included, so "DATE#" never matches the start of
// "DATE_AND_TIME#".
struct Prefix {
    const char* text;
    short token;
};
constexpr Prefix kPrefixes[] = {
    {"16#", TS_HEX_DIGITS},          {"2#", TS_BIN_DIGITS},
    {"8#", TS_OCT_DIGITS},           {"D#", TS_DATE},
    {"DATE#", TS_DATE},              {"DATE_AND_TIME#", TS_DATE_TIME},
    {"DT#", TS_DATE_TIME},           {"T#", TS_DURATION},
    {"TIME#", TS_DURATION},          {"TIME_OF_DAY#", TS_TIME_OF_DAY},
    {"TOD#", TS_TIME_OF_DAY},
};

// The type prefixes (without their '#') and the type ids they fix.
struct TypePrefix {
    const char* name;
    short typeId;
};
constexpr TypePrefix kTypePrefixes[] = {
    {"BOOL", TYPE_BOOL},   {"BYTE", TYPE_BYTE},   {"DINT", TYPE_DINT},
    {"DWORD", TYPE_DWORD}, {"INT", TYPE_INT},     {"LINT", TYPE_LINT},
    {"LREAL", TYPE_LREAL}, {"REAL", TYPE_REAL},   {"SINT", TYPE_SINT},
    {"UDINT", TYPE_UDINT}, {"UINT", TYPE_UINT},   {"ULINT", TYPE_ULINT},
    {"USINT", TYPE_USINT}, {"WORD", TYPE_WORD},
};
constexpr size_t kMaxTypePrefixLen = 5;

short BadDigitCode(unsigned base) {
    switch (base) {
    case 2:
        return LIT_BAD_BINARY_DIGIT;
    case 8:
        return LIT_BAD_OCTAL_DIGIT;
    case 16:
        return LIT_BAD_HEX_DIGIT;
    default:
        return LIT_BAD_DECIMAL_DIGIT;
    }
}

} // namespace

ts_scan::ts_scan()
    : consumed(0), errStatus(0), errPos(0), cur(nullptr), mode(0), tokStart(nullptr),
      dashCount(0), colonCount(0), lexState(LEX_INITIAL), constant(nullptr), text(nullptr),
      afterDot(false), lastWasEnd(false), synced(false) {}

ts_scan::ts_scan(char* t, IEC_CONSTANT& c, short m) : ts_scan() { tsreset(t, c, m); }

void ts_scan::tsreset(char* t, IEC_CONSTANT& c, short m) {
    text = t;
    cur = t;
    tokStart = t;
    constant = &c;
    mode = m;
    consumed = 0;
    errStatus = 0;
    errPos = 0;
    dashCount = 0;
    // The lexical state and the colon counter are cleared as well: a parse
    // that gave up (stack overflow) can leave them set, and the next literal
    // must not start inside a date or a string.
    colonCount = 0;
    lexState = LEX_INITIAL;
    afterDot = false;
    lastWasEnd = false;
    synced = false;
}

void ts_scan::SyncConsumed() {
    long n = (cur != nullptr && text != nullptr) ? static_cast<long>(cur - text) : 0;
    consumed = static_cast<short>(n > kMaxCount ? kMaxCount : n);
}

void ts_scan::Advance(long n) {
    cur += n;
    SyncConsumed();
}

void ts_scan::SetErrStatus(short code) {
    if (errStatus == 0) {
        errStatus = code;
        errPos = consumed;
    }
}

// Records an error at a character inside the current token, so that errPos
// points at the offending character rather than at the end of the token.
void ts_scan::SetErrStatusAt(short code, const char* at) {
    if (errStatus != 0) {
        return;
    }
    long n = static_cast<long>(at - text);
    errStatus = code;
    errPos = static_cast<short>(n > kMaxCount ? kMaxCount : n);
}

short ts_scan::IsAlphaOrMacro(short ch) { return TiIsAlpha(ch); }

bool ts_scan::IsDelimiter(unsigned char ch, unsigned char next) const {
    switch (ch) {
    case 0:
    case '\t':
    case '\n':
    case ' ':
    case ';':
    case '<':
    case '=':
    case '>':
    case '/':
    case '[':
    case ']':
    case '%':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':
    case ',':
        return true;
    case '+':
        // A sign at the start of a number or of an exponent.
        return lexState != LEX_INITIAL && lexState != LEX_EXPONENT;
    case '-':
        switch (lexState) {
        case LEX_INITIAL:
        case LEX_EXPONENT:
            return false;
        case LEX_DURATION:
            return dashCount >= 1; // the first is the sign
        case LEX_DATE:
            return dashCount >= 2; // year-month-day
        case LEX_DATE_TIME:
            return dashCount >= 3; // year-month-day-time
        default:
            return true;
        }
    case '.':
        // ".." is a range operator: "1..5" ends the number before it.
        if (next == '.') {
            return true;
        }
        return lexState != LEX_DECIMAL && lexState != LEX_DURATION &&
               lexState != LEX_TIME_OF_DAY && lexState != LEX_DATE_TIME;
    case ':':
        if (lexState == LEX_TIME_OF_DAY || lexState == LEX_DATE_TIME) {
            return colonCount >= 2; // hours:minutes:seconds
        }
        return true;
    default:
        return false;
    }
}

void ts_scan::CountSeparator(unsigned char ch) {
    if (ch == '-' && (lexState == LEX_DATE || lexState == LEX_DURATION ||
                      lexState == LEX_DATE_TIME)) {
        if (dashCount < kMaxCount) {
            ++dashCount;
        }
    } else if (ch == ':' && (lexState == LEX_TIME_OF_DAY || lexState == LEX_DATE_TIME)) {
        if (colonCount < kMaxCount) {
            ++colonCount;
        }
    }
}

void ts_scan::UncountSeparator(unsigned char ch) {
    if (ch == '-' && dashCount > 0 &&
        (lexState == LEX_DATE || lexState == LEX_DURATION || lexState == LEX_DATE_TIME)) {
        --dashCount;
    } else if (ch == ':' && colonCount > 0 &&
               (lexState == LEX_TIME_OF_DAY || lexState == LEX_DATE_TIME)) {
        --colonCount;
    }
}

short ts_scan::tslex(TSSTYPE& value) {
    short token = Lex(value);
    lastWasEnd = token == TS_END;
    return token;
}

short ts_scan::Lex(TSSTYPE& value) {
    value = TSSTYPE();
    bool fraction = afterDot;
    afterDot = false;
    if (cur == nullptr || synced || lexState == LEX_NAME || lexState == LEX_STRING) {
        // A name, a string or an error recovery has ended the literal.
        lexState = LEX_INITIAL;
        tokStart = cur;
        return TS_END;
    }
    tokStart = cur;
    const unsigned char ch = static_cast<unsigned char>(cur[0]);
    const unsigned char next = ch != 0 ? static_cast<unsigned char>(cur[1]) : 0;
    // The character after an exponent letter returns to the number state.
    const bool leaveExponent = lexState == LEX_EXPONENT;

    // Only these characters can begin a prefix ("16#", "2#", "8#", "D...",
    // "T..."); other digits go straight to the decimal run.
    const unsigned char up = AsciiUpper(ch);
    if (up == '1' || up == '2' || up == '8' || up == 'D' || up == 'T') {
        short token = TryPrefix(value);
        if (token != TS_END) {
            return token;
        }
    }
    if (IsDigit(ch) && !(lexState == LEX_INITIAL && DigitsFormName())) {
        short token = ScanDigitRun(value, 10, fraction);
        if (lexState == LEX_INITIAL || leaveExponent) {
            lexState = LEX_DECIMAL;
        }
        return token;
    }
    if (ch == '\'' && lexState == LEX_INITIAL) {
        return ScanString(value);
    }
    if (lexState == LEX_INITIAL &&
        (IsAlphaOrMacro(ch) || IsDigit(ch) ||
         (ch == '_' && (IsAlphaOrMacro(next) || IsDigit(next))))) {
        // A digit only arrives here as the start of a name under mode 1.
        return ScanName(value);
    }
    if (IsDelimiter(ch, next)) {
        lexState = LEX_INITIAL;
        return TS_END;
    }
    Advance(1);
    CountSeparator(ch);
    if ((ch == 'e' || ch == 'E') && lexState == LEX_DECIMAL) {
        lexState = LEX_EXPONENT;
    } else if (leaveExponent) {
        lexState = LEX_DECIMAL;
    }
    if (ch == '.') {
        afterDot = true;
    }
    return ch;
}

// Mode 1: digits followed, after further digits and underscores, by a letter.
bool ts_scan::DigitsFormName() const {
    if ((mode & TS_MODE_DIGIT_NAMES) == 0) {
        return false;
    }
    const char* p = cur;
    while (IsDigit(static_cast<unsigned char>(*p)) || *p == '_') {
        ++p;
    }
    return IsAlphaOrMacro(static_cast<unsigned char>(*p)) != 0;
}

short ts_scan::TryPrefix(TSSTYPE& value) {
    for (const Prefix& prefix : kPrefixes) {
        size_t len = 0;
        // The comparison stops at the text's terminating zero, which matches
        // no prefix character.
        while (prefix.text[len] != 0 &&
               AsciiUpper(static_cast<unsigned char>(cur[len])) ==
                   static_cast<unsigned char>(prefix.text[len])) {
            ++len;
        }
        if (prefix.text[len] != 0) {
            continue;
        }
        switch (prefix.token) {
        case TS_HEX_DIGITS:
        case TS_BIN_DIGITS:
        case TS_OCT_DIGITS: {
            unsigned base = prefix.token == TS_HEX_DIGITS ? 16 : prefix.token == TS_BIN_DIGITS ? 2 : 8;
            Advance(static_cast<long>(len));
            lexState = LEX_BASED;
            return ScanDigitRun(value, base, false);
        }
        default:
            break;
        }
        // A letter prefix: all its letters in one case, unless case-lenient.
        bool upper = false;
        bool lower = false;
        for (size_t i = 0; i < len; ++i) {
            unsigned char c = static_cast<unsigned char>(cur[i]);
            upper = upper || (c >= 'A' && c <= 'Z');
            lower = lower || (c >= 'a' && c <= 'z');
        }
        if (upper && lower && (mode & TS_MODE_CASE_LENIENT) == 0) {
            SetErrStatusAt(LIT_MIXED_CASE_PREFIX, cur);
        }
        Advance(static_cast<long>(len));
        dashCount = 0;
        colonCount = 0;
        switch (prefix.token) {
        case TS_DURATION:
            lexState = LEX_DURATION;
            break;
        case TS_DATE:
            lexState = LEX_DATE;
            break;
        case TS_DATE_TIME:
            lexState = LEX_DATE_TIME;
            break;
        default:
            lexState = LEX_TIME_OF_DAY;
            break;
        }
        return prefix.token;
    }
    return TS_END;
}

// A run of digits of the base with single underscores between them. Based
// runs take every ASCII letter and digit, so that a bad digit such as the
// 'G' of "16#FG" is reported with the base's code; decimal runs take only
// digits, so that exponent and unit letters follow them.
short ts_scan::ScanDigitRun(TSSTYPE& value, unsigned base, bool fraction) {
    const short bad = BadDigitCode(base);
    const char* const runStart = cur;
    bool anyDigit = false;
    for (;;) {
        unsigned char c = static_cast<unsigned char>(*cur);
        if (c == '_') {
            unsigned char after = static_cast<unsigned char>(cur[1]);
            bool afterInRun = base == 10 ? IsDigit(after) : IsAsciiAlnum(after);
            if (!anyDigit) {
                SetErrStatusAt(bad, cur); // leading underscore
            } else if (cur[-1] == '_') {
                SetErrStatusAt(bad, cur); // doubled: reported at the second one
            } else if (!afterInRun && after != '_') {
                SetErrStatusAt(bad, cur); // trailing underscore
            }
            ++cur;
            continue;
        }
        bool inRun = base == 10 ? IsDigit(c) : IsAsciiAlnum(c);
        if (!inRun) {
            break;
        }
        if (!fraction) {
            short st = 0;
            switch (base) {
            case 2:
                st = value.digit.AppendDigit2(c);
                break;
            case 8:
                st = value.digit.AppendDigit8(c);
                break;
            case 16:
                st = value.digit.AppendDigit16(c);
                break;
            default:
                st = value.digit.AppendDigit10(c);
                break;
            }
            if (st != 0) {
                SetErrStatusAt(bad, cur);
            }
        }
        anyDigit = true;
        ++cur;
    }
    if (!anyDigit && base != 10) {
        // "16#" without digits.
        SetErrStatusAt(bad, cur);
    }
    SyncConsumed();
    if (fraction) {
        value.frac.start = runStart;
        value.frac.end = cur;
    }
    switch (base) {
    case 2:
        return TS_BIN_DIGITS;
    case 8:
        return TS_OCT_DIGITS;
    case 16:
        return TS_HEX_DIGITS;
    default:
        return TS_DIGITS;
    }
}

// Decodes a quoted string into a newly allocated text. Two passes over the
// same rules: the first measures (and finds the end), the second copies, so
// the allocation is exact and nothing is written past it.
short ts_scan::ScanString(TSSTYPE& value) {
    lexState = LEX_STRING;
    const char* p = cur + 1;
    size_t length = 0;
    bool terminated = false;
    // The escape rules, shared by both passes: returns the number of source
    // characters the element at q takes and stores the decoded bytes in out
    // (at most 3). A return of 0 means the string ends unterminated at q.
    auto element = [](const char* q, unsigned char* out, size_t* outLen) -> size_t {
        unsigned char c = static_cast<unsigned char>(q[0]);
        if (c == 0 || c == '\n') {
            return 0;
        }
        if (c != '$') {
            out[0] = c;
            *outLen = 1;
            return 1;
        }
        unsigned char e = static_cast<unsigned char>(q[1]);
        switch (e) {
        case 0:
        case '\n':
            // "$" at the end of the line or text: unterminated.
            return 0;
        case '$':
            out[0] = '$';
            *outLen = 1;
            return 2;
        case '\'':
            out[0] = '\'';
            *outLen = 1;
            return 2;
        case 'L':
        case 'l':
            out[0] = '\n';
            *outLen = 1;
            return 2;
        case 'N':
        case 'n':
            out[0] = '\r';
            out[1] = '\n';
            *outLen = 2;
            return 2;
        case 'P':
        case 'p':
            out[0] = '\f';
            *outLen = 1;
            return 2;
        case 'R':
        case 'r':
            out[0] = '\r';
            *outLen = 1;
            return 2;
        case 'T':
        case 't':
            out[0] = '\t';
            *outLen = 1;
            return 2;
        default:
            break;
        }
        if (IsHex(e)) {
            unsigned char f = static_cast<unsigned char>(q[2]);
            if (IsHex(f)) {
                out[0] = static_cast<unsigned char>(HexValue(e) * 16 + HexValue(f));
                *outLen = 1;
                return 3;
            }
            if (f != 0 && f != '\n' && f != '\'') {
                out[0] = '$';
                out[1] = e;
                out[2] = f;
                *outLen = 3;
                return 3;
            }
            // "$" and one hex digit before the closing quote, the end of the
            // line or of the text: the two are kept and the third character
            // is read as itself (it closes or ends the string).
        }
        out[0] = '$';
        out[1] = e;
        *outLen = 2;
        return 2;
    };
    unsigned char buf[3];
    size_t n = 0;
    const char* q = p;
    for (;;) {
        if (*q == '\'') {
            terminated = true;
            break;
        }
        size_t used = element(q, buf, &n);
        if (used == 0) {
            break;
        }
        q += used;
        length += n;
    }
    if (!terminated) {
        // The text up to the line feed or the end belongs to the bad literal.
        cur = const_cast<char*>(q);
        SyncConsumed();
        SetErrStatus(LIT_STRING_REQUIRED);
        length = 0;
    } else {
        cur = const_cast<char*>(q) + 1;
        SyncConsumed();
    }
    // Owned by the constant once reduced, which frees it with delete[].
    char* out = new (std::nothrow) char[length + 1];
    if (out == nullptr) {
        SetErrStatus(LIT_NO_MEMORY);
        value.str = nullptr;
        return TS_STRING;
    }
    size_t w = 0;
    if (terminated) {
        for (const char* r = p; *r != '\''; ) {
            size_t used = element(r, buf, &n);
            std::memcpy(out + w, buf, n);
            w += n;
            r += used;
        }
    }
    out[w] = 0;
    value.str = out;
    return TS_STRING;
}

short ts_scan::ScanName(TSSTYPE& value) {
    const char* const start = cur;
    bool doubled = false;
    for (;;) {
        unsigned char c = static_cast<unsigned char>(*cur);
        if (c == '_') {
            if (cur > start && cur[-1] == '_' && !doubled) {
                doubled = true;
                SetErrStatusAt(LIT_DOUBLE_UNDERSCORE, cur);
            }
        } else if (!IsDigit(c) && !IsAlphaOrMacro(c)) {
            break;
        }
        ++cur;
    }
    SyncConsumed();
    if (!doubled && *cur == '#') {
        size_t len = static_cast<size_t>(cur - start);
        if (len <= kMaxTypePrefixLen) {
            char name[kMaxTypePrefixLen + 1];
            for (size_t i = 0; i < len; ++i) {
                unsigned char c = static_cast<unsigned char>(start[i]);
                name[i] = static_cast<char>((mode & TS_MODE_CASE_LENIENT) ? Upper(c) : c);
            }
            name[len] = 0;
            for (const TypePrefix& tp : kTypePrefixes) {
                if (std::strcmp(tp.name, name) == 0) {
                    Advance(1);
                    value.typeId = tp.typeId;
                    // The number that follows starts in the initial state.
                    lexState = LEX_INITIAL;
                    return TS_TYPE_PREFIX;
                }
            }
        }
        Advance(1);
        lexState = LEX_NAME;
        return TS_NAME_HASH;
    }
    lexState = LEX_NAME;
    return TS_NAME;
}

void ts_scan::tssync(short code) {
    if (code != 0) {
        SetErrStatus(code);
    }
    // The recovery ends the literal: from here on tslex returns 0 at the
    // position reached, whatever stands there.
    synced = true;
    if (cur == nullptr) {
        return;
    }
    if (lastWasEnd) {
        // The bad token is the end of the literal: a delimiter (or the end
        // of a name or string) stands at tokStart already. The end token has
        // reset the lexical state, so the walk below would misjudge it.
        cur = tokStart;
        SyncConsumed();
        return;
    }
    // Going back over a separator token takes back its count, so that the
    // walk below counts it once.
    if (cur == tokStart + 1) {
        UncountSeparator(static_cast<unsigned char>(*tokStart));
    }
    cur = tokStart;
    SyncConsumed();
    for (;;) {
        unsigned char ch = static_cast<unsigned char>(*cur);
        unsigned char next = ch != 0 ? static_cast<unsigned char>(cur[1]) : 0;
        if (IsDelimiter(ch, next)) {
            break;
        }
        ++cur;
        CountSeparator(ch);
    }
    SyncConsumed();
    afterDot = false;
}

void ts_scan::tserror(const char* msg) {
    if (msg != nullptr && msg[0] == 'P') {
        SetErrStatus(LIT_STACK_OVERFLOW);
    }
}

void ts_scan::DiscardToken(short token, void** value) {
    if (token == TS_STRING && value != nullptr && *value != nullptr) {
        delete[] static_cast<char*>(*value);
        *value = nullptr;
    }
}
