// TiValToAsciiSpec: the canonical initial-value text of a binary value of a
// data type, written so that the text reads back to the same image.
#include "base/TiLitScan.h"
#include "base/TiLitStatus.h"
#include "base/TiValToLit.h"
#include "compiler/ErrMess.h"
#include "compiler/SymAttr.h"
#include "compiler/TiInitValSpec.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

bool TiInitValReadNumber(short id, const void* p, double* out);

using namespace initval;

namespace {

// Bounded output that goes on counting when the buffer is full (or absent),
// so that the caller learns the length needed.
struct Out {
    char* buf;
    size_t cap; // characters that fit, the terminator excluded
    size_t len = 0;
    bool overflow = false;

    void Put(const char* s, size_t n) {
        if (buf != nullptr && !overflow && len + n <= cap) {
            std::memcpy(buf + len, s, n);
        } else if (buf != nullptr) {
            overflow = true;
        }
        len += n;
    }
    void Put(const char* s) { Put(s, std::strlen(s)); }
};

class Writer {
public:
    Writer(Out& o, ErrMess* s) : out(o), sink(s) {}

    short Value(const SymAttr* t, const unsigned char* p, bool standalone, int depth) {
        if (t == nullptr) {
            return 1;
        }
        if (depth > sym::kMaxEquivalenceDepth) {
            // Only a structure that contains itself through a redefinition
            // can nest this deep.
            return Internal(__LINE__, 7);
        }
        if (t->IsArray()) {
            return Array(t, p, depth);
        }
        if (t->IsStruct()) {
            return Struct(t, p, depth);
        }
        if (t->IsEnum()) {
            return Enum(t, p);
        }
        return Elementary(t, p, standalone);
    }

private:
    short Error(short code) {
        if (sink != nullptr) {
            sink->Report(errmess::SEV_ERROR, code, 0, 0);
        }
        return code;
    }
    short Internal(int line, short result) {
        if (sink != nullptr) {
            sink->Report(errmess::SEV_INTERNAL, MSG_INTERNAL, 0, 0, {kModule, line, kRevision});
        }
        return result;
    }

    short Array(const SymAttr* t, const unsigned char* p, int depth) {
        // Arrays built as chains are written level by level (nested lists);
        // an array over a non-array element element by element.
        SymAttr* elem = t->GetDType(1);
        if (elem == nullptr) {
            elem = t->GetDType(t->GetArrayDimension());
        }
        if (elem == nullptr) {
            return 1;
        }
        uint32_t esize = elem->GetMemsize(0);
        uint32_t n = 0;
        if (esize > 0) {
            n = t->GetMemsize(0) / esize;
        } else if (t->GetArraySubr(0) != nullptr) {
            n = t->GetArraySubr(0)->GetCount();
        }
        out.Put("[");
        for (uint32_t i = 0; i < n;) {
            uint32_t j = i + 1;
            while (j < n && std::memcmp(p + static_cast<size_t>(i) * esize,
                                        p + static_cast<size_t>(j) * esize, esize) == 0) {
                ++j;
            }
            if (i > 0) {
                out.Put(", ");
            }
            const unsigned char* e = p + static_cast<size_t>(i) * esize;
            short rc;
            if (j - i >= 2) {
                char count[16];
                std::snprintf(count, sizeof count, "%lu (", static_cast<unsigned long>(j - i));
                out.Put(count);
                rc = Value(elem, e, false, depth + 1);
                out.Put(")");
            } else {
                rc = Value(elem, e, false, depth + 1);
            }
            if (rc != 0) {
                return rc;
            }
            i = j;
        }
        out.Put("]");
        return 0;
    }

    short Struct(const SymAttr* t, const unsigned char* p, int depth) {
        out.Put("(");
        size_t off = 0;
        bool firstComp = true;
        for (SymAttr* c = t->GetStructCompEntry(); c != nullptr; c = c->GetNext()) {
            if (!firstComp) {
                out.Put(", ");
            }
            firstComp = false;
            out.Put(c->GetName() != nullptr ? c->GetName() : "");
            out.Put(" := ");
            short rc = Value(c->GetDType(0), p + off, false, depth + 1);
            if (rc != 0) {
                return rc;
            }
            off += c->GetMemsize(0);
        }
        out.Put(")");
        return 0;
    }

    short Enum(const SymAttr* t, const unsigned char* p) {
        short v = 0;
        std::memcpy(&v, p, 2);
        for (SymAttr* e = t->GetEnumCompEntry(); e != nullptr; e = e->GetNext()) {
            short ev = 0;
            if (e->GetEnumVal(ev) == 0 && ev == v) {
                if (e->GetName() == nullptr) {
                    return Internal(__LINE__, MSG_INTERNAL);
                }
                out.Put(e->GetName());
                return 0;
            }
        }
        return Error(MSG_OUT_OF_RANGE);
    }

    short Elementary(const SymAttr* t, const unsigned char* p, bool standalone) {
        const SymAttr* base = t;
        const Subrange* range = nullptr;
        bool subrange = false;
        for (int hops = 0; base != nullptr && base->IsSubrange() && hops < sym::kMaxTypeChain;
             ++hops) {
            subrange = true;
            if (range == nullptr) {
                range = base->GetSubr();
            }
            base = base->IsDerivedFrom();
        }
        if (subrange && range == nullptr) {
            return Internal(__LINE__, 6);
        }
        const SymAttr* elem = base != nullptr ? base->GetElemType(0) : nullptr;
        if (elem == nullptr) {
            return 1;
        }
        short id = elem->GetID();
        if (range != nullptr) {
            // Read by the base type's signedness: a UINT subrange may reach
            // beyond 32767.
            double v = 0;
            if (!TiInitValReadNumber(id, p, &v) || v < range->GetLR() || v > range->GetUR()) {
                return Error(MSG_SUBRANGE);
            }
        }
        if (id == iec::TYPE_STRING) {
            return String(standalone ? reinterpret_cast<const char*>(p) : "");
        }
        if (id == iec::TYPE_REAL || id == iec::TYPE_LREAL) {
            return Real(id, p);
        }
        char text[128];
        TiValToLit fmt;
        short rc = fmt.TiBinValToLit(id, const_cast<unsigned char*>(p), text,
                                     static_cast<short>(sizeof text));
        if (rc != 0) {
            return Error(rc);
        }
        out.Put(text);
        return 0;
    }

    short String(const char* s) {
        size_t n = std::strlen(s);
        // Every byte takes at most three characters ("$hh"), plus the quotes.
        size_t room = 3 * n + 3;
        if (room > 32767) {
            return Error(iec::LIT_BUFFER_TOO_SMALL);
        }
        char* text = new (std::nothrow) char[room];
        if (text == nullptr) {
            if (sink != nullptr) {
                sink->ReportNoMemory(kModule, __LINE__);
            }
            return iec::LIT_NO_MEMORY;
        }
        TiValToLit fmt;
        short rc = fmt.TiSTRINGtoLit(s, text, static_cast<short>(room));
        if (rc == 0) {
            out.Put(text);
        }
        delete[] text;
        return rc != 0 ? Error(rc) : 0;
    }

    // A real is written as the formatter writes it when that text reads
    // back to the same bits; otherwise with as many digits as it takes.
    short Real(short id, const unsigned char* p) {
        double v = 0;
        float f = 0;
        if (id == iec::TYPE_REAL) {
            std::memcpy(&f, p, 4);
            v = f;
        } else {
            std::memcpy(&v, p, 8);
        }
        char text[128];
        TiValToLit fmt;
        short rc = fmt.TiBinValToLit(id, const_cast<unsigned char*>(p), text,
                                     static_cast<short>(sizeof text));
        if (rc != 0) {
            return Error(rc);
        }
        if (!std::isfinite(v) || ReadsBack(id, text, p)) {
            out.Put(text);
            return 0;
        }
        char precise[64];
        for (int digits = 7; digits <= 20; ++digits) {
            std::snprintf(precise, sizeof precise, "%.*E", digits, v);
            if (ReadsBack(id, precise, p)) {
                out.Put(precise);
                return 0;
            }
        }
        // No text of the literal grammar reads back exactly: the closest.
        std::snprintf(precise, sizeof precise, "%.17E", v);
        out.Put(precise);
        return 0;
    }

    // Whether `text` (a sign first, as a negation before the literal) scans
    // to the bits at p.
    static bool ReadsBack(short id, const char* text, const unsigned char* p) {
        bool negative = text[0] == '-';
        char copy[128];
        std::snprintf(copy, sizeof copy, "%s", negative ? text + 1 : text);
        TiLitScan scan;
        if (id == iec::TYPE_REAL) {
            float f = 0;
            if (scan.ScanREAL(copy, &f) != 0) {
                return false;
            }
            if (negative) {
                f = -f;
            }
            return std::memcmp(&f, p, 4) == 0;
        }
        double d = 0;
        if (scan.ScanLREAL(copy, &d) != 0) {
            return false;
        }
        if (negative) {
            d = -d;
        }
        return std::memcmp(&d, p, 8) == 0;
    }

    Out& out;
    ErrMess* sink;
};

} // namespace

short TiValToAsciiSpec(SymAttr* type, const void* value, char* buf, uint32_t* len, ErrMess* sink) {
    if (len == nullptr) {
        return iec::LIT_BUFFER_TOO_SMALL;
    }
    if (type == nullptr) {
        *len = 0;
        return 1;
    }
    if (value == nullptr) {
        *len = 0;
        return iec::LIT_NO_MEMORY;
    }
    if (buf != nullptr && *len == 0) {
        return iec::LIT_BUFFER_TOO_SMALL;
    }
    Out out{buf, buf != nullptr ? *len - 1 : 0};
    Writer w(out, sink);
    short rc = w.Value(type, static_cast<const unsigned char*>(value), true, 0);
    if (buf != nullptr) {
        buf[out.overflow || rc != 0 ? 0 : out.len] = '\0';
    }
    if (rc != 0) {
        *len = 0;
        return rc;
    }
    *len = static_cast<uint32_t>(out.len);
    if (out.overflow) {
        return iec::LIT_BUFFER_TOO_SMALL;
    }
    return 0;
}
