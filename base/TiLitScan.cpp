// TiLitScan: one-call literal scanning into binary values of the elementary
// types, with the blank and trailing-text rules, the words TRUE and FALSE,
// and the lenient retry that rewrites user input in canonical form.
#include "base/TiLitScan.h"

#include "base/IecTypeIds.h"
#include "base/TiCharUtil.h"
#include "base/TiLitStatus.h"
#include "base/TiValToLit.h"
#include "base/ts_parse.h"

#include "platform/Text.h"

#include <cstring>
#include <initializer_list>
#include <new>

using namespace iec;

namespace {

constexpr short kMaxCount = 32767;

/// The elementary targets of the Scan functions.
enum class Target {
    Bool, Byte, Word, Dword, Sint, Int, Dint, Lint, Usint, Uint, Udint, Ulint,
    Real, Lreal, Time, Date, Tod, Dt, String,
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

short Saturate(long n) { return static_cast<short>(n > kMaxCount ? kMaxCount : n < 0 ? 0 : n); }

short Convert(Target t, IEC_CONSTANT& c, void* out) {
    switch (t) {
    case Target::Bool:
        return TiConstantToBOOL(c, static_cast<unsigned char*>(out));
    case Target::Byte:
        return TiConstantToBYTE(c, static_cast<unsigned char*>(out));
    case Target::Word:
        return TiConstantToWORD(c, static_cast<unsigned short*>(out));
    case Target::Dword:
        return TiConstantToDWORD(c, static_cast<uint32_t*>(out));
    case Target::Sint:
        return TiConstantToSINT(c, static_cast<signed char*>(out));
    case Target::Int:
        return TiConstantToINT(c, static_cast<short*>(out));
    case Target::Dint:
        return TiConstantToDINT(c, static_cast<int32_t*>(out));
    case Target::Lint:
        return TiConstantToLINT(c, static_cast<double*>(out));
    case Target::Usint:
        return TiConstantToUSINT(c, static_cast<unsigned char*>(out));
    case Target::Uint:
        return TiConstantToUINT(c, static_cast<unsigned short*>(out));
    case Target::Udint:
        return TiConstantToUDINT(c, static_cast<uint32_t*>(out));
    case Target::Ulint:
        return TiConstantToULINT(c, static_cast<double*>(out));
    case Target::Real:
        return TiConstantToREAL(c, static_cast<float*>(out));
    case Target::Lreal:
        return TiConstantToLREAL(c, static_cast<double*>(out));
    case Target::Time:
        return TiConstantToTIME(c, static_cast<uint32_t*>(out));
    case Target::Date:
        return TiConstantToDATE(c, static_cast<unsigned short*>(out));
    case Target::Tod:
        return TiConstantToTOD(c, static_cast<uint32_t*>(out));
    case Target::Dt:
        return TiConstantToDT(c, static_cast<IEC_DT*>(out));
    case Target::String:
        return TiConstantToSTRING(c, static_cast<char**>(out));
    }
    return LIT_TYPE_NOT_SUPPORTED;
}

size_t OutputSize(Target t) {
    switch (t) {
    case Target::Bool:
    case Target::Byte:
    case Target::Sint:
    case Target::Usint:
        return 1;
    case Target::Word:
    case Target::Int:
    case Target::Uint:
    case Target::Date:
        return 2;
    case Target::Dword:
    case Target::Dint:
    case Target::Udint:
    case Target::Real:
    case Target::Time:
    case Target::Tod:
        return 4;
    case Target::Lint:
    case Target::Ulint:
    case Target::Lreal:
    case Target::Dt:
        return 8;
    case Target::String:
        return sizeof(char*);
    }
    return 0;
}

bool TimeFamily(Target t) {
    return t == Target::Time || t == Target::Date || t == Target::Tod || t == Target::Dt;
}

} // namespace

/// The state of a TiLitScan: scanner, parser, constant, status, counts and
/// the message buffer.
class TiLitScan_Imp {
public:
    TiLitScan_Imp() : parser(ts_parse::kDefaultDepth), status(0), skipped(0), capacity(0) {
        message[0] = 0;
    }

    ts_scan scanner;
    ts_parse parser;
    IEC_CONSTANT constant;
    short status;
    short skipped;
    unsigned short capacity;
    char message[TiLitScan::kMessageSize];

    short Scan(short flags, char* text, Target t, void* out);

private:
    short ScanOnce(short flags, char* text, Target t, void* out, short mode);
    short Retry(short flags, char* text, Target t, void* out);
    bool RetryBool(short flags, char* copy, void* out);
    void WriteBack(char* text, const char* corrected) const;
    void Canonical(Target t, const void* out, char* buf, short bufLen) const;
};

short TiLitScan_Imp::Scan(short flags, char* text, Target t, void* out) {
    short st = ScanOnce(flags, text, t, out, 0);
    if (st < 0 && (flags & TI_LITSCAN_LENIENT)) {
        st = Retry(flags, text, t, out);
    }
    status = st;
    return st;
}

short TiLitScan_Imp::ScanOnce(short flags, char* text, Target t, void* out, short mode) {
    char* p = text;
    long blanks = 0;
    if (p != nullptr) {
        while (IsBlank(*p)) {
            ++p;
            ++blanks;
        }
    }
    skipped = Saturate(blanks);
    constant.reset();
    scanner.tsreset(p, constant, mode);
    parser.tsreset();
    int r = parser.tsparse(&scanner);
    short st = scanner.ErrStatus();
    if (r == ts_parse::TSPARSE_UNUSABLE) {
        st = LIT_NO_MEMORY;
    } else if (r != ts_parse::TSPARSE_OK && st == 0) {
        st = LIT_NOT_A_LITERAL;
    }
    if (!(flags & TI_LITSCAN_ACCEPT_REST) && scanner.Cur() != nullptr) {
        const char* rest = scanner.Cur();
        while (IsBlank(*rest)) {
            ++rest;
        }
        if (*rest != 0) {
            scanner.SetErrStatus(LIT_PREFIX_NOT_APPLICABLE);
            st = scanner.ErrStatus();
            if (constant.flags & CONST_STRING) {
                constant.FreeString();
            }
        }
    }
    if (st < 0) {
        if (out != nullptr) {
            std::memset(out, 0, OutputSize(t));
        }
        return st;
    }
    // A literal, or a warning that leaves its value usable.
    if (t == Target::Bool && constant.flags == 0 && p != nullptr) {
        long len = static_cast<long>(scanner.Cur() - p);
        unsigned char word = 2;
        if (len == 4 && std::strncmp(p, "TRUE", 4) == 0) {
            word = 1;
        } else if (len == 5 && std::strncmp(p, "FALSE", 5) == 0) {
            word = 0;
        }
        if (word != 2) {
            if (out == nullptr) {
                return LIT_BITSTRING_REQUIRED;
            }
            *static_cast<unsigned char*>(out) = word;
            return st;
        }
    }
    short cs = Convert(t, constant, out);
    return cs != 0 ? cs : st;
}

void TiLitScan_Imp::WriteBack(char* text, const char* corrected) const {
    size_t have = std::strlen(text) + 1;
    size_t room = capacity > have ? capacity : have;
    size_t need = std::strlen(corrected) + 1;
    if (need <= room) {
        std::memmove(text, corrected, need);
    }
}

void TiLitScan_Imp::Canonical(Target t, const void* out, char* buf, short bufLen) const {
    TiValToLit fmt;
    switch (t) {
    case Target::Time:
        fmt.TiTIMEtoLit(*static_cast<const uint32_t*>(out), buf, bufLen);
        break;
    case Target::Date:
        fmt.TiDATEtoLit(*static_cast<const unsigned short*>(out), buf, bufLen);
        break;
    case Target::Tod:
        fmt.TiTODtoLit(*static_cast<const uint32_t*>(out), buf, bufLen);
        break;
    default:
        fmt.TiDTtoLit(*static_cast<const IEC_DT*>(out), buf, bufLen);
        break;
    }
}

bool TiLitScan_Imp::RetryBool(short flags, char* copy, void* out) {
    for (int i = 0; i < 5 && TiIsAlpha(static_cast<unsigned char>(copy[i])); ++i) {
        copy[i] = static_cast<char>(TiToUpper(static_cast<unsigned char>(copy[i])));
    }
    unsigned char scratch = 0;
    ScanOnce(flags, copy, Target::Bool, &scratch, 0);
    if (scanner.ErrStatus() != 0) {
        return false;
    }
    // The literal as written, without trailing blanks.
    const char* word = copy;
    bool prefixed = std::strncmp(word, "BOOL#", 5) == 0;
    if (prefixed) {
        word += 5;
    }
    size_t len = 0;
    while (word[len] != 0 && !IsBlank(word[len])) {
        ++len;
    }
    int value = -1;
    if (len == 1 && word[0] == '1') {
        value = 1;
    } else if (len == 1 && word[0] == '0') {
        value = 0;
    } else if (!prefixed && len == 4 && std::strncmp(word, "TRUE", 4) == 0) {
        value = 1;
    } else if (!prefixed && len == 5 && std::strncmp(word, "FALSE", 5) == 0) {
        value = 0;
    }
    if (value < 0) {
        return false;
    }
    if (out != nullptr) {
        *static_cast<unsigned char*>(out) = static_cast<unsigned char>(value);
    }
    return true;
}

short TiLitScan_Imp::Retry(short flags, char* text, Target t, void* out) {
    size_t length = text != nullptr ? std::strlen(text) : 0;
    if (text == nullptr || length > static_cast<size_t>(TiLitScan::kRetryMax)) {
        return ScanOnce(flags, text, t, out, 0);
    }
    char* p = TiLitScan::SkipWhite(text);
    // Room for the text, a prefix of up to four characters or the ".0", and
    // the terminator.
    char copy[TiLitScan::kRetryMax + 8];
    size_t n = 0;
    bool ok = false;
    char canonical[64];
    const char* corrected = copy;

    if (TimeFamily(t)) {
        const char* prefix = "";
        if (IsDigit(*p)) {
            prefix = t == Target::Time ? "t#" : t == Target::Date ? "d#" : t == Target::Tod ? "tod#" : "dt#";
        }
        n = std::strlen(prefix);
        std::memcpy(copy, prefix, n);
        std::strcpy(copy + n, p);
        for (char* q = copy; *q != 0; ++q) {
            *q = static_cast<char>(TiToLower(static_cast<unsigned char>(*q)));
        }
        short st = ScanOnce(flags, copy, t, out, 0);
        if (st < 0) {
            st = ScanOnce(flags, copy, t, out, TS_MODE_LENIENT_VALUES);
        }
        ok = st >= 0;
        if (ok && out != nullptr) {
            Canonical(t, out, canonical, static_cast<short>(sizeof(canonical)));
            corrected = canonical;
        }
    } else if (t == Target::Real || t == Target::Lreal) {
        const char* q = p;
        for (const char* prefix : {"LREAL#", "REAL#"}) {
            size_t len = std::strlen(prefix);
            if (TiStrnicmp(const_cast<char*>(q), const_cast<char*>(prefix), static_cast<unsigned short>(len)) == 0) {
                std::memcpy(copy, prefix, len);
                n = len;
                q += len;
                break;
            }
        }
        while (IsDigit(*q) || *q == '+' || *q == '-' || *q == '_') {
            copy[n++] = *q++;
        }
        if (*q != '.') {
            copy[n++] = '.';
            copy[n++] = '0';
        }
        std::strcpy(copy + n, q);
        short st = ScanOnce(flags, copy, t, out, 0);
        ok = st >= 0;
    } else if (t == Target::Bool) {
        std::strcpy(copy, p);
        ok = RetryBool(flags, copy, out);
    } else if (TiIsAlpha(static_cast<unsigned char>(*p))) {
        std::strcpy(copy, p);
        for (char* q = copy; *q != 0; ++q) {
            *q = static_cast<char>(TiToUpper(static_cast<unsigned char>(*q)));
        }
        short st = ScanOnce(flags, copy, t, out, 0);
        ok = st >= 0;
    }

    if (!ok) {
        // Report the caller's text, not the copy's.
        return ScanOnce(flags, text, t, out, 0);
    }
    WriteBack(text, corrected);
    return 0;
}

TiLitScan::TiLitScan() : flags(0), imp_(new (std::nothrow) TiLitScan_Imp) {
    if (imp_ != nullptr && !imp_->parser.IsUsable()) {
        delete imp_;
        imp_ = nullptr;
    }
}

TiLitScan::~TiLitScan() { delete imp_; }

#define TI_LITSCAN_FORWARD(name, type, target)                                   \
    short TiLitScan::name(char* text, type* out) {                              \
        return imp_ != nullptr ? imp_->Scan(flags, text, target, out) : LIT_NO_MEMORY; \
    }

TI_LITSCAN_FORWARD(ScanBOOL, unsigned char, Target::Bool)
TI_LITSCAN_FORWARD(ScanBYTE, unsigned char, Target::Byte)
TI_LITSCAN_FORWARD(ScanWORD, unsigned short, Target::Word)
TI_LITSCAN_FORWARD(ScanDWORD, uint32_t, Target::Dword)
TI_LITSCAN_FORWARD(ScanSINT, signed char, Target::Sint)
TI_LITSCAN_FORWARD(ScanINT, short, Target::Int)
TI_LITSCAN_FORWARD(ScanDINT, int32_t, Target::Dint)
TI_LITSCAN_FORWARD(ScanLINT, double, Target::Lint)
TI_LITSCAN_FORWARD(ScanUSINT, unsigned char, Target::Usint)
TI_LITSCAN_FORWARD(ScanUINT, unsigned short, Target::Uint)
TI_LITSCAN_FORWARD(ScanUDINT, uint32_t, Target::Udint)
TI_LITSCAN_FORWARD(ScanULINT, double, Target::Ulint)
TI_LITSCAN_FORWARD(ScanREAL, float, Target::Real)
TI_LITSCAN_FORWARD(ScanLREAL, double, Target::Lreal)
TI_LITSCAN_FORWARD(ScanTIME, uint32_t, Target::Time)
TI_LITSCAN_FORWARD(ScanDATE, unsigned short, Target::Date)
TI_LITSCAN_FORWARD(ScanTOD, uint32_t, Target::Tod)
TI_LITSCAN_FORWARD(ScanDT, IEC_DT, Target::Dt)
TI_LITSCAN_FORWARD(ScanSTRING, char*, Target::String)

#undef TI_LITSCAN_FORWARD

short TiLitScan::scan(char* text, short typeId, void* out) {
    switch (typeId) {
    case TYPE_BOOL:
        return ScanBOOL(text, static_cast<unsigned char*>(out));
    case TYPE_BYTE:
        return ScanBYTE(text, static_cast<unsigned char*>(out));
    case TYPE_WORD:
        return ScanWORD(text, static_cast<unsigned short*>(out));
    case TYPE_DWORD:
        return ScanDWORD(text, static_cast<uint32_t*>(out));
    case TYPE_SINT:
        return ScanSINT(text, static_cast<signed char*>(out));
    case TYPE_INT:
        return ScanINT(text, static_cast<short*>(out));
    case TYPE_DINT:
        return ScanDINT(text, static_cast<int32_t*>(out));
    case TYPE_LINT:
        return ScanLINT(text, static_cast<double*>(out));
    case TYPE_USINT:
        return ScanUSINT(text, static_cast<unsigned char*>(out));
    case TYPE_UINT:
        return ScanUINT(text, static_cast<unsigned short*>(out));
    case TYPE_UDINT:
        return ScanUDINT(text, static_cast<uint32_t*>(out));
    case TYPE_ULINT:
        return ScanULINT(text, static_cast<double*>(out));
    case TYPE_REAL:
        return ScanREAL(text, static_cast<float*>(out));
    case TYPE_LREAL:
        return ScanLREAL(text, static_cast<double*>(out));
    case TYPE_TIME:
        return ScanTIME(text, static_cast<uint32_t*>(out));
    case TYPE_DATE:
        return ScanDATE(text, static_cast<unsigned short*>(out));
    case TYPE_TIME_OF_DAY:
        return ScanTOD(text, static_cast<uint32_t*>(out));
    case TYPE_DATE_AND_TIME:
        return ScanDT(text, static_cast<IEC_DT*>(out));
    case TYPE_STRING:
        return ScanSTRING(text, static_cast<char**>(out));
    default:
        // LWORD, the unassigned ids -6 ... -9 and everything else: nothing
        // is scanned and nothing is written.
        return imp_ != nullptr ? LIT_TYPE_NOT_SUPPORTED : LIT_NO_MEMORY;
    }
}

short TiLitScan::AcceptedLen() {
    if (imp_ == nullptr) {
        return 0;
    }
    const ts_scan& s = imp_->scanner;
    long n = imp_->skipped;
    n += s.ErrStatus() != 0 ? s.ErrPos() : s.Consumed();
    return Saturate(n);
}

void TiLitScan::ReturnCurError(short* code, char** text) {
    if (imp_ == nullptr) {
        if (code != nullptr) {
            *code = LIT_NO_MEMORY;
        }
        if (text != nullptr) {
            *text = nullptr;
        }
        return;
    }
    if (code != nullptr) {
        *code = imp_->status;
    }
    if (text != nullptr) {
        int st = imp_->status;
        UINT id = static_cast<UINT>(st < 0 ? -st : st);
        imp_->message[0] = 0;
        if (st != 0) {
            LoadStringA(nullptr, id, imp_->message, kMessageSize);
        }
        *text = imp_->message;
    }
}

char* TiLitScan::SkipWhite(char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    while (IsBlank(*text)) {
        ++text;
    }
    return text;
}

void TiLitScan::SetTextCapacity(unsigned short capacity) {
    if (imp_ != nullptr) {
        imp_->capacity = capacity;
    }
}
