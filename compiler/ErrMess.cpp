// ErrMess: message formatting with position prefixes, counting, limits,
// collection and the echo to the standard output; ErrDesc lists.
#include "compiler/ErrMess.h"

#include "platform/Text.h"

#include <cstdio>
#include <cstring>
#include <new>

using namespace errmess;

namespace {

int LoadFromTable(unsigned id, char* buf, int bufMax) {
    return LoadStringA(nullptr, id, buf, bufMax);
}

char* CopyText(const char* s) {
    size_t len = std::strlen(s) + 1;
    char* copy = new (std::nothrow) char[len];
    if (copy != nullptr) {
        std::memcpy(copy, s, len);
    }
    return copy;
}

// Appends text to a bounded output, counting what was written.
struct Out {
    char* buf;
    size_t cap; // characters that may be written (the terminator excluded)
    size_t len = 0;

    void Put(const char* s, size_t n) {
        size_t room = cap - len;
        if (n > room) {
            n = room;
        }
        std::memcpy(buf + len, s, n);
        len += n;
    }
};

// Width and precision taken from a format are capped: no message needs more,
// and the temporary buffer below stays bounded.
constexpr int kMaxField = 256;

} // namespace

void ErrDesc::DeleteList(ErrDesc* first) {
    while (first != nullptr) {
        ErrDesc* next = first->next;
        delete first;
        first = next;
    }
}

size_t ErrMess::Format(char* out, size_t outSize, const char* fmt, const ErrArg* args,
                       size_t argCount) {
    if (out == nullptr || outSize == 0) {
        return 0;
    }
    Out o{out, outSize - 1};
    size_t next = 0;
    auto take = [&]() -> const ErrArg* { return next < argCount ? &args[next++] : nullptr; };
    const char* p = fmt != nullptr ? fmt : "";
    while (*p != '\0' && o.len < o.cap) {
        if (*p != '%') {
            const char* q = std::strchr(p, '%');
            size_t n = q != nullptr ? static_cast<size_t>(q - p) : std::strlen(p);
            o.Put(p, n);
            p += n;
            continue;
        }
        const char* start = p++;
        if (*p == '%') {
            o.Put("%", 1);
            ++p;
            continue;
        }
        // Flags, width, precision, length: rebuilt into a conversion that is
        // safe for the value actually passed.
        char flags[8];
        size_t nf = 0;
        while (std::strchr("-+ #0", *p) != nullptr && *p != '\0') {
            if (nf < sizeof flags - 1) {
                flags[nf++] = *p;
            }
            ++p;
        }
        flags[nf] = '\0';
        int width = -1;
        if (*p == '*') {
            const ErrArg* a = take();
            long long w = a != nullptr ? a->Number() : 0;
            width = static_cast<int>(w < 0 ? 0 : (w > kMaxField ? kMaxField : w));
            ++p;
        } else {
            while (*p >= '0' && *p <= '9') {
                width = (width < 0 ? 0 : width) * 10 + (*p - '0');
                if (width > kMaxField) {
                    width = kMaxField;
                }
                ++p;
            }
        }
        int prec = -1;
        if (*p == '.') {
            ++p;
            prec = 0;
            if (*p == '*') {
                const ErrArg* a = take();
                long long w = a != nullptr ? a->Number() : 0;
                prec = static_cast<int>(w < 0 ? 0 : (w > kMaxField ? kMaxField : w));
                ++p;
            } else {
                while (*p >= '0' && *p <= '9') {
                    prec = prec * 10 + (*p - '0');
                    if (prec > kMaxField) {
                        prec = kMaxField;
                    }
                    ++p;
                }
            }
        }
        while (*p != '\0' && std::strchr("hlLqjzt", *p) != nullptr) {
            ++p;
        }
        char conv = *p;
        if (conv == '\0') {
            // A format that ends inside a conversion: copy it as it stands.
            o.Put(start, static_cast<size_t>(p - start));
            break;
        }
        ++p;
        char spec[64];
        char tmp[2 * kMaxField + 64];
        int n = 0;
        // Only the flags and precision that printf defines for the
        // conversion are passed on ('#' with %d, '0' with %s, a precision
        // with %c would be undefined).
        auto build = [&](const char* length, char c) {
            const char* allowed = "-+ #0";
            bool usePrec = prec >= 0;
            if (c == 'd' || c == 'u') {
                allowed = "-+ 0";
            } else if (c == 's') {
                allowed = "-+ ";
            } else if (c == 'c') {
                allowed = "-+ ";
                usePrec = false;
            }
            char fl[8];
            size_t k = 0;
            for (size_t i = 0; i < nf; ++i) {
                if (std::strchr(allowed, flags[i]) != nullptr) {
                    fl[k++] = flags[i];
                }
            }
            fl[k] = '\0';
            int pr = usePrec ? prec : -1;
            if (width >= 0 && pr >= 0) {
                std::snprintf(spec, sizeof spec, "%%%s%d.%d%s%c", fl, width, pr, length, c);
            } else if (width >= 0) {
                std::snprintf(spec, sizeof spec, "%%%s%d%s%c", fl, width, length, c);
            } else if (pr >= 0) {
                std::snprintf(spec, sizeof spec, "%%%s.%d%s%c", fl, pr, length, c);
            } else {
                std::snprintf(spec, sizeof spec, "%%%s%s%c", fl, length, c);
            }
        };
        switch (conv) {
        case 'd':
        case 'i': {
            const ErrArg* a = take();
            build("ll", 'd');
            n = std::snprintf(tmp, sizeof tmp, spec, a != nullptr ? a->Number() : 0LL);
            break;
        }
        case 'u':
        case 'o':
        case 'x':
        case 'X': {
            const ErrArg* a = take();
            build("ll", conv);
            unsigned long long v = static_cast<unsigned long long>(a != nullptr ? a->Number() : 0);
            n = std::snprintf(tmp, sizeof tmp, spec, v);
            break;
        }
        case 'c': {
            const ErrArg* a = take();
            build("", 'c');
            n = std::snprintf(tmp, sizeof tmp, spec,
                              static_cast<int>(static_cast<unsigned char>(
                                  a != nullptr ? a->Number() : 0)));
            break;
        }
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G': {
            const ErrArg* a = take();
            build("", conv);
            n = std::snprintf(tmp, sizeof tmp, spec,
                              static_cast<double>(a != nullptr ? a->Number() : 0));
            break;
        }
        case 's': {
            const ErrArg* a = take();
            if (a != nullptr && !a->IsText()) {
                char num[32];
                std::snprintf(num, sizeof num, "%lld", a->Number());
                build("", 's');
                n = std::snprintf(tmp, sizeof tmp, spec, num);
            } else {
                const char* s = (a != nullptr && a->Text() != nullptr) ? a->Text() : "";
                if (width < 0 && prec < 0) {
                    // Plain %s: copied directly, so a long text is only cut
                    // by the line limit, not by the temporary buffer.
                    o.Put(s, std::strlen(s));
                    continue;
                }
                build("", 's');
                n = std::snprintf(tmp, sizeof tmp, spec, s);
            }
            break;
        }
        case 'p': {
            const ErrArg* a = take();
            n = std::snprintf(tmp, sizeof tmp, "0x%llx",
                              static_cast<unsigned long long>(a != nullptr ? a->Number() : 0));
            break;
        }
        case 'n':
            // Never writes through a pointer; consumes nothing.
            continue;
        default:
            // Not a conversion: the text is kept as written.
            o.Put(start, static_cast<size_t>(p - start));
            continue;
        }
        if (n > 0) {
            size_t len = static_cast<size_t>(n);
            o.Put(tmp, len < sizeof tmp ? len : sizeof tmp - 1);
        }
    }
    out[o.len] = '\0';
    return o.len;
}

ErrMess::ErrMess(wiShellWindow* win) : window(win) {}

ErrMess::~ErrMess() {
    delete[] sourceName;
    ErrDesc::DeleteList(collected);
}

void ErrMess::Init(wiShellWindow* win) {
    window = win;
    ResetCounts();
    SetSourceName(nullptr);
}

short ErrMess::SetSourceName(const char* name) {
    delete[] sourceName;
    sourceName = nullptr;
    if (name == nullptr) {
        return 0;
    }
    sourceName = CopyText(name);
    return sourceName != nullptr ? 0 : MSG_NO_MEMORY;
}

void ErrMess::SetLimits(uint16_t errorLimit, uint16_t warningLimit) {
    errLimit = errorLimit;
    warnLimit = warningLimit;
}

void ErrMess::ResetCounts() {
    internal = 0;
    errors = 0;
    warnings = 0;
    errLimitHit = false;
    warnLimitHit = false;
    ErrDesc::DeleteList(collected);
    collected = nullptr;
    collectedTail = nullptr;
}

ErrDesc* ErrMess::TakeCollected() {
    ErrDesc* list = collected;
    collected = nullptr;
    collectedTail = nullptr;
    return list;
}

void ErrMess::SetTextLoader(TextLoader l) {
    loader = l;
}

bool ErrMess::LoadText(short number, char* buf, size_t bufSize) const {
    // String ids are the message numbers' absolute values.
    int n = number < 0 ? -static_cast<int>(number) : number;
    TextLoader load = loader != nullptr ? loader : LoadFromTable;
    buf[0] = '\0';
    int got = load(static_cast<unsigned>(n), buf, static_cast<int>(bufSize));
    buf[bufSize - 1] = '\0';
    return got > 0;
}

void ErrMess::Collect(int32_t severity, uint16_t line, uint16_t col, const char* text) {
    ErrDesc* d = new (std::nothrow) ErrDesc;
    if (d == nullptr) {
        return; // the message was still counted and echoed
    }
    d->text = CopyText(text);
    if (d->text == nullptr) {
        delete d;
        return;
    }
    d->line = line;
    d->col = col;
    d->severity = severity;
    if (collectedTail != nullptr) {
        collectedTail->next = d;
    } else {
        collected = d;
    }
    collectedTail = d;
}

bool ErrMess::Report(int32_t severity, short number, uint16_t line, uint16_t col,
                     std::initializer_list<ErrArg> args) {
    const bool warning = severity == SEV_WARNING;
    const bool bookkeeping = internal < kInternalSaturation;
    short shown = number;
    bool replaced = false;
    if (bookkeeping) {
        if (severity == SEV_INTERNAL) {
            ++internal;
        } else if (internal != 0) {
            ++internal;
        }
        if (warning) {
            if (warnings < 0xFFFF) {
                ++warnings;
            }
            if (warnLimit != 0 && warnings > warnLimit) {
                if (warnLimitHit) {
                    return false;
                }
                warnLimitHit = true;
                shown = MSG_WARNING_LIMIT;
                replaced = true;
            }
        } else {
            if (errors < 0xFFFF) {
                ++errors;
            }
            if (errLimit != 0 && errors > errLimit) {
                if (errLimitHit) {
                    return false;
                }
                errLimitHit = true;
                shown = MSG_ERROR_LIMIT;
                replaced = true;
            }
        }
    }

    char line_[kMaxLine + 1];
    char fmt[kMaxText + 1];
    bool haveText = LoadText(shown, fmt, sizeof fmt);
    if (!haveText) {
        std::snprintf(line_, sizeof line_, "%s", kMissingText);
    } else {
        // Prefix with position when both a source name and a line are known.
        char prefixFmt[kMaxText + 1];
        size_t len = 0;
        if (sourceName != nullptr && line != 0) {
            if (LoadText(warning ? MSG_PREFIX_WARNING_AT : MSG_PREFIX_ERROR_AT, prefixFmt,
                         sizeof prefixFmt)) {
                ErrArg p[] = {ErrArg(sourceName), ErrArg(static_cast<int>(line)),
                              ErrArg(static_cast<int>(col))};
                len = Format(line_, sizeof line_, prefixFmt, p, 3);
            }
        } else if (LoadText(warning ? MSG_PREFIX_WARNING : MSG_PREFIX_ERROR, prefixFmt,
                            sizeof prefixFmt)) {
            len = Format(line_, sizeof line_, prefixFmt, nullptr, 0);
        }
        // The limit messages take no parameters of the message they replace.
        if (replaced) {
            Format(line_ + len, sizeof line_ - len, fmt, nullptr, 0);
        } else {
            Format(line_ + len, sizeof line_ - len, fmt, args.begin(), args.size());
        }
    }
    if (bookkeeping && collect) {
        Collect(severity, line, col, line_);
    }
    std::printf("*** %s\n", line_);
    std::fflush(stdout);
    return true;
}

bool ErrMess::ReportInternal(int32_t location, const char* module, int32_t line,
                             const char* revision) {
    return Report(SEV_INTERNAL, MSG_INTERNAL, 0, 0,
                  {ErrArg(location), ErrArg(module), ErrArg(line), ErrArg(revision)});
}

bool ErrMess::ReportNoMemory(const char* module, int32_t line) {
    return Report(SEV_INTERNAL, MSG_NO_MEMORY, 0, 0, {ErrArg(module), ErrArg(line)});
}
