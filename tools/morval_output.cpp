// Output forms of the morval command: JSON strings, the type listing and the
// diagnostics.
#include "tools/morval_output.h"

#include "compiler/ErrMess.h"
#include "compiler/SymAttr.h"
#include "compiler/SymTab.h"
#include "platform/MessageTexts.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace morvaltool {

namespace {

/// The marker that starts every message text: \x01 number \x01.
constexpr char kMark = '\x01';
/// Message numbers from this one on are negative (errors and the sink's
/// own messages); the warnings below it (1704, 1717, 1718) are positive.
constexpr unsigned kFirstNegative = 3400;

const char* Name(const SymAttr* t) {
    return t != nullptr && t->GetName() != nullptr ? t->GetName() : "";
}

bool Listed(const SymAttr* r) {
    if (r == nullptr || !r->IsDType() || !r->IsVisibleDType() || r->GetName() == nullptr) {
        return false;
    }
    return r->GetTypeClass() != sym::CLASS_ELEMENTARY || r->IsDerivedFrom() != nullptr;
}

std::vector<const SymAttr*> Collect(SymTab* table) {
    std::vector<const SymAttr*> types;
    if (table == nullptr) {
        return types;
    }
    for (SymAttr* r = table->FindFirstEntry(); r != nullptr; r = table->FindNextEntry(r)) {
        if (Listed(r)) {
            types.push_back(r);
        }
    }
    std::stable_sort(types.begin(), types.end(), [](const SymAttr* a, const SymAttr* b) {
        return a->GetSeqNo() < b->GetSeqNo();
    });
    return types;
}

/// The offset of each component: the sizes of those before it (packed).
void WriteComponents(FILE* out, const SymAttr* t, bool json) {
    uint32_t offset = 0;
    bool first = true;
    int walked = 0;
    for (const SymAttr* c = t->GetStructCompEntry(); c != nullptr && walked < 65536;
         c = c->GetNext(), ++walked) {
        uint32_t size = c->GetMemsize(0);
        const char* type = c->GetDTypeName(0);
        if (json) {
            std::fprintf(out, "%s{\"name\":%s,\"type\":%s,\"offset\":%lu,\"size\":%lu}",
                         first ? "" : ",", JsonString(Name(c)).c_str(),
                         JsonString(type != nullptr ? type : "").c_str(),
                         static_cast<unsigned long>(offset), static_cast<unsigned long>(size));
        } else {
            std::fprintf(out, "  %s: %s, offset %lu, size %lu\n", Name(c),
                         type != nullptr ? type : "", static_cast<unsigned long>(offset),
                         static_cast<unsigned long>(size));
        }
        offset += size;
        first = false;
    }
}

void WriteType(FILE* out, const SymAttr* t, bool json) {
    const char* cls = TypeClassName(t);
    unsigned long size = t->GetMemsize(0);
    unsigned long seq = t->GetSeqNo();
    if (json) {
        std::fprintf(out, "{\"name\":%s,\"class\":\"%s\",\"size\":%lu,\"seq\":%lu",
                     JsonString(Name(t)).c_str(), cls, size, seq);
    } else {
        std::fprintf(out, "%s: %s", Name(t), cls);
    }
    if (std::strcmp(cls, "struct") == 0) {
        if (json) {
            std::fputs(",\"components\":[", out);
            WriteComponents(out, t, true);
            std::fputs("]}\n", out);
        } else {
            std::fprintf(out, ", size %lu, seq %lu\n", size, seq);
            WriteComponents(out, t, false);
        }
        return;
    }
    if (std::strcmp(cls, "array") == 0) {
        unsigned short dims = t->GetArrayDimension();
        const SymAttr* elem = t->GetDType(dims);
        if (json) {
            std::fprintf(out, ",\"element\":%s,\"dims\":[", JsonString(Name(elem)).c_str());
        } else {
            std::fputs(" [", out);
        }
        unsigned k = 0;
        for (const Subrange* d = t->GetArraySubr(0); d != nullptr && k < dims;
             d = d->GetNext(), ++k) {
            if (json) {
                std::fprintf(out, "%s{\"lower\":%ld,\"upper\":%ld,\"stride\":%lu}", k ? "," : "",
                             static_cast<long>(d->GetLR()), static_cast<long>(d->GetUR()),
                             static_cast<unsigned long>(d->GetStride()));
            } else {
                std::fprintf(out, "%s%ld..%ld stride %lu", k ? ", " : "",
                             static_cast<long>(d->GetLR()), static_cast<long>(d->GetUR()),
                             static_cast<unsigned long>(d->GetStride()));
            }
        }
        if (json) {
            std::fprintf(out, "],\"add\":%ld}\n", static_cast<long>(t->GetArrayAddSize()));
        } else {
            std::fprintf(out, "] of %s, add %ld, size %lu, seq %lu\n", Name(elem),
                         static_cast<long>(t->GetArrayAddSize()), size, seq);
        }
        return;
    }
    if (std::strcmp(cls, "enum") == 0) {
        std::fputs(json ? ",\"values\":[" : " (", out);
        int walked = 0;
        for (const SymAttr* v = t->GetEnumCompEntry(); v != nullptr && walked < 65536;
             v = v->GetNext(), ++walked) {
            short value = 0;
            v->GetEnumVal(value);
            unsigned u = static_cast<unsigned short>(value);
            if (json) {
                std::fprintf(out, "%s{\"name\":%s,\"value\":%u}", walked ? "," : "",
                             JsonString(Name(v)).c_str(), u);
            } else {
                std::fprintf(out, "%s%s = %u", walked ? ", " : "", Name(v), u);
            }
        }
        if (json) {
            std::fputs("]}\n", out);
        } else {
            std::fprintf(out, "), size %lu, seq %lu\n", size, seq);
        }
        return;
    }
    if (std::strcmp(cls, "subrange") == 0) {
        const Subrange* r = t->GetSubr();
        long lo = r != nullptr ? r->GetLR() : 0;
        long hi = r != nullptr ? r->GetUR() : 0;
        if (json) {
            std::fprintf(out, ",\"base\":%s,\"lower\":%ld,\"upper\":%ld}\n",
                         JsonString(Name(t->IsDerivedFrom())).c_str(), lo, hi);
        } else {
            std::fprintf(out, " %ld..%ld of %s, size %lu, seq %lu\n", lo, hi,
                         Name(t->IsDerivedFrom()), size, seq);
        }
        return;
    }
    if (json) {
        std::fprintf(out, ",\"base\":%s}\n", JsonString(Name(t->IsDerivedFrom())).c_str());
    } else {
        std::fprintf(out, " of %s, size %lu, seq %lu\n", Name(t->IsDerivedFrom()), size, seq);
    }
}

} // namespace

std::string JsonString(const char* s) {
    if (s == nullptr) {
        return "null";
    }
    std::string r = "\"";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p != 0; ++p) {
        unsigned char c = *p;
        char buf[8];
        if (c == '"' || c == '\\') {
            r += '\\';
            r += static_cast<char>(c);
        } else if (c == '\n') {
            r += "\\n";
        } else if (c == '\r') {
            r += "\\r";
        } else if (c == '\t') {
            r += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            r += buf;
        } else if (c >= 0x80) {
            // The ANSI code page's character, as JSON wants Unicode.
            char16_t w = 0;
            char one = static_cast<char>(c);
            if (MultiByteToWideChar(CP_ACP, 0, &one, 1, reinterpret_cast<LPWSTR>(&w), 1) != 1) {
                w = 0xFFFD;
            }
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(w));
            r += buf;
        } else {
            r += static_cast<char>(c);
        }
    }
    r += '"';
    return r;
}

const char* TypeClassName(const SymAttr* t) {
    uint8_t cls = t->GetTypeClass();
    const SymAttr* base = t->IsDerivedFrom();
    if ((cls & sym::CLASS_ARRAY) != 0) {
        return "array";
    }
    // A type declared as another named type of the same class is an alias;
    // a subrange's base is the elementary type it restricts.
    if (base != nullptr && base->GetTypeClass() == cls) {
        return "alias";
    }
    switch (cls) {
    case sym::CLASS_STRUCT:
        return "struct";
    case sym::CLASS_ENUM:
        return "enum";
    case sym::CLASS_SUBRANGE:
        return "subrange";
    default:
        return "alias";
    }
}

size_t WriteTypes(FILE* out, SymTab* table, bool json) {
    std::vector<const SymAttr*> types = Collect(table);
    for (const SymAttr* t : types) {
        WriteType(out, t, json);
    }
    return types.size();
}

int MarkedTexts(unsigned id, char* buf, int bufMax) {
    if (buf == nullptr || bufMax <= 0) {
        return 0;
    }
    unsigned n = id & 0xFFFF;
    if (n >= 3401 && n <= 3404) {
        buf[0] = '\0';
        return 0; // no position prefix: the diagnostic line has its own
    }
    const char* text = FindMessageText(n);
    if (text == nullptr) {
        text = errmess::kMissingText;
    }
    int len = std::snprintf(buf, static_cast<size_t>(bufMax), "%c%u%c%s", kMark, n, kMark, text);
    if (len < 0) {
        buf[0] = '\0';
        return 0;
    }
    return len < bufMax ? len : bufMax - 1;
}

void WriteDiagnostics(FILE* err, const char* file, const ErrDesc* list) {
    for (const ErrDesc* d = list; d != nullptr; d = d->next) {
        const char* severity = "error";
        if (d->severity == errmess::SEV_WARNING) {
            severity = "warning";
        } else if (d->severity == errmess::SEV_INTERNAL) {
            severity = "internal error";
        }
        long number = 0;
        const char* text = d->text != nullptr ? d->text : "";
        const char* mark = std::strchr(text, kMark);
        if (mark != nullptr) {
            char* end = nullptr;
            unsigned long n = std::strtoul(mark + 1, &end, 10);
            if (end != nullptr && *end == kMark) {
                number = n >= kFirstNegative ? -static_cast<long>(n) : static_cast<long>(n);
                text = end + 1;
            }
        }
        std::fprintf(err, "%s:%u:%u: %s %ld: %s\n", file, static_cast<unsigned>(d->line),
                     static_cast<unsigned>(d->col), severity, number, text);
    }
}

} // namespace morvaltool
