// Test helper for the declaration context and the initial values: a
// compilation environment (table set, library, adapter, options, sink and
// context) driven through the context's public calls as the grammar's
// actions drive it, messages read back by number, parameters and position,
// and a small reader that turns initial-value text into TiInitValSpec
// records the way the parser's actions build them.
#pragma once

#include "base/IEC_CONSTANT.h"
#include "base/TiCompOptions.h"
#include "base/TiMemRegister.h"
#include "base/ts_parse.h"
#include "base/ts_scan.h"
#include "compiler/DeclContext.h"
#include "compiler/ErrMess.h"
#include "compiler/Library.h"
#include "compiler/SymAttr.h"
#include "compiler/SymTab.h"
#include "compiler/SymTabSet.h"
#include "compiler/TiDB.h"
#include "compiler/TiInitValSpec.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace decltest {

/// One reported message.
struct Msg {
    int number = 0;   ///< message number (negative for errors and most warnings)
    int severity = 0; ///< 1 warning, 2 error, 4098 internal
    int line = 0;
    int col = 0;
    std::string p1; ///< first text parameter (empty when none)
    std::string p2; ///< second text parameter

    bool operator==(const Msg& o) const {
        return number == o.number && severity == o.severity && line == o.line && col == o.col &&
               p1 == o.p1 && p2 == o.p2;
    }
};

inline std::string Describe(const Msg& m) {
    char buf[256];
    std::snprintf(buf, sizeof buf, "{%d sev %d at %d:%d '%s' '%s'}", m.number, m.severity, m.line,
                  m.col, m.p1.c_str(), m.p2.c_str());
    return buf;
}

inline void PrintTo(const Msg& m, std::ostream* os) {
    *os << Describe(m);
}

inline std::string Describe(const std::vector<Msg>& ms) {
    std::string s;
    for (const Msg& m : ms) {
        s += Describe(m) + " ";
    }
    return s;
}

/// Message texts for the tests: the prefixes are empty markers, every other
/// message is "#<n>|<first parameter>|<second parameter>".
inline int Texts(unsigned id, char* buf, int max) {
    const char* t = "#%u|%%s|%%s";
    if (id >= 3401 && id <= 3404) {
        t = ">";
    }
    std::snprintf(buf, static_cast<size_t>(max), t, id);
    return static_cast<int>(std::strlen(buf));
}

/// The messages the sink collected, in order, read back from the texts.
inline std::vector<Msg> Messages(const ErrMess& sink) {
    std::vector<Msg> out;
    for (const ErrDesc* d = sink.GetCollected(); d != nullptr; d = d->next) {
        Msg m;
        m.severity = d->severity;
        m.line = d->line;
        m.col = d->col;
        const char* hash = std::strchr(d->text, '#');
        if (hash != nullptr) {
            m.number = -std::atoi(hash + 1);
            const char* bar = std::strchr(hash, '|');
            const char* bar2 = bar != nullptr ? std::strchr(bar + 1, '|') : nullptr;
            if (bar != nullptr && bar2 != nullptr) {
                m.p1.assign(bar + 1, bar2);
                m.p2 = bar2 + 1;
            }
        }
        out.push_back(m);
    }
    return out;
}

inline Msg E(int number, int line, int col, std::string p1 = "", std::string p2 = "") {
    return Msg{number, 2, line, col, std::move(p1), std::move(p2)};
}
inline Msg W(int number, int line, int col, std::string p1 = "", std::string p2 = "") {
    return Msg{number, 1, line, col, std::move(p1), std::move(p2)};
}

inline DeclPos At(int line, int col) {
    DeclPos p;
    p.row = static_cast<uint16_t>(line);
    p.col = static_cast<uint16_t>(col);
    return p;
}

/// One compiler instance's tables with a declaration context over them.
class DeclEnv {
public:
    explicit DeclEnv(uint16_t modeFlags = 0, uint16_t hostFlags = 0) : opts(true) {
        sink.SetTextLoader(Texts);
        sink.SetCollect(true);
        set = std::make_unique<SymTabSet>(151, nullptr, &sink);
        lib = std::make_unique<Library>(&sink);
        db = std::make_unique<TiDB>(nullptr, set.get(), &sink);
        opts.modeFlags |= modeFlags;
        opts.hostFlags |= hostFlags;
        Start();
    }
    ~DeclEnv() {
        ctx.reset();
        lib->ReleaseInitVals(set->GetGlobalTab());
    }

    /// Ends this compilation and starts the next one, keeping the global
    /// table (as the facade's reset mode 1 does).
    void NextCompilation() {
        ctx.reset();
        lib->ReleaseInitVals(set->GetGlobalTab());
        lib->ReleaseUnits();
        set->reset(nullptr, 1);
        Start();
    }

    /// The record the scanner hands over for a name: a keyword, else the
    /// first record of that name in the current, unit or global table, else
    /// a new record in the current table.
    SymAttr* Name(const char* n) {
        SymAttr* r = set->GetKeywordTab()->lookup(n);
        if (r != nullptr) {
            return r;
        }
        SymTab* tabs[] = {set->GetCurrent(), set->GetUnitTab(), set->GetGlobalTab()};
        for (SymTab* t : tabs) {
            if (t != nullptr && (r = t->lookup(n)) != nullptr) {
                return r;
            }
        }
        return set->GetCurrent()->insert(n, 0, nullptr);
    }

    /// A type named in a declaration, resolved.
    SymAttr* Type(const char* n, DeclPos pos = DeclPos{}) {
        return ctx->ResolveTypeName(Name(n), pos);
    }
    /// A global record by name (null if none).
    SymAttr* Global(const char* n) { return set->GetGlobalTab()->lookup(n); }

    /// A range lo..hi from integer literals.
    Subrange* Range(int32_t lo, int32_t hi) {
        IEC_CONSTANT l(lo < 0 ? -lo : lo);
        IEC_CONSTANT h(hi < 0 ? -hi : hi);
        DeclBound bl{&l, lo < 0, DeclPos{}};
        DeclBound bh{&h, hi < 0, DeclPos{}};
        return ctx->MakeSubrange(bl, bh);
    }
    /// Dimensions from pairs.
    Subrange* Dims(std::initializer_list<std::pair<int32_t, int32_t>> ds) {
        Subrange* list = nullptr;
        for (auto [lo, hi] : ds) {
            list = ctx->AddDimension(list, Range(lo, hi));
        }
        return list;
    }

    /// TYPE name : STRUCT comps END_STRUCT;
    SymAttr* Struct(std::initializer_list<std::pair<const char*, const char*>> comps) {
        ctx->BeginStruct();
        for (auto [n, t] : comps) {
            ctx->DeclareStructComponent(Name(n), DeclPos{}, Type(t), nullptr);
        }
        return ctx->EndStruct(DeclPos{});
    }
    SymAttr* Enum(std::initializer_list<const char*> values) {
        ctx->BeginEnum();
        for (const char* v : values) {
            ctx->DeclareEnumValue(Name(v), DeclPos{});
        }
        return ctx->EndEnum(DeclPos{});
    }

    std::vector<Msg> Take() {
        std::vector<Msg> m = Messages(sink);
        sink.ResetCounts();
        return m;
    }

    ErrMess sink;
    TiCompOptions opts;
    std::unique_ptr<SymTabSet> set;
    std::unique_ptr<Library> lib;
    std::unique_ptr<TiDB> db;
    std::unique_ptr<DeclContext> ctx;
    short ctxStatus = -1;

private:
    void Start() {
        ctx = std::make_unique<DeclContext>(set.get(), lib.get(), db.get(), &sink, &opts, nullptr,
                                            &ctxStatus);
    }
};

// ------------------------------------------------------------------------
// Initial-value text as the grammar's actions would build it.

/// A heap copy of n characters (owned by a token).
inline char* Copy(const char* s, size_t n) {
    char* c = new char[n + 1];
    std::memcpy(c, s, n);
    c[n] = '\0';
    return c;
}

/// Reads initial-value text: literals through the base library's literal
/// scanner (a '-' before a literal negates it, as the grammar does), names,
/// "name := value", "(...)", "[...]" and "n(...)". Keyword records for TRUE
/// and FALSE come from `set` when given. Null on a syntax error of the
/// reader (the records made so far are destroyed).
class InitValReader {
public:
    explicit InitValReader(ErrMess* sink, SymTabSet* set = nullptr) : sink(sink), set(set) {}

    TiInitValSpec* Read(const char* text) {
        src = text;
        p = text;
        ok = true;
        TiInitValSpec* v = Value();
        Skip();
        if (!ok || *p != '\0') {
            TiDelInitValSpecList(v);
            return nullptr;
        }
        return v;
    }

private:
    TextLocation Here() const {
        TextLocation l;
        l.row = 1;
        l.col = static_cast<uint16_t>(p - src + 1);
        return l;
    }
    void Skip() {
        while (*p == ' ' || *p == '\t') {
            ++p;
        }
    }
    static bool IdentStart(char c) {
        return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
    }
    static bool IdentChar(char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    }

    // A literal at p: its token (record and text) and how far it reached;
    // false when no literal stands there.
    bool Literal(TiInitValToken* tok, const char** endOut) {
        IEC_CONSTANT c;
        std::string rest(p);
        ts_scan scan(rest.data(), c, 0);
        parse.tsreset();
        parse.tsparse(&scan);
        if (c.flags == 0) {
            return false;
        }
        size_t n = static_cast<size_t>(scan.Cur() - rest.data());
        // A literal record as the source scanner makes it: registered; out
        // of memory is reported and gives no literal.
        SymAttr* rec = new SymAttr(static_cast<const TiMemSpec*>(nullptr));
        if (rec->DefConstant(c) != 0) {
            delete rec;
            if (sink != nullptr) {
                sink->ReportNoMemory("lex", __LINE__);
            }
            return false;
        }
        TiMemRegisterMemory(rec, const_cast<char*>("lex"), __LINE__);
        tok->rec = rec;
        tok->text = Copy(p, n);
        tok->ownsText = 1;
        *endOut = p + n;
        return true;
    }

    TiInitValSpec* Value() {
        Skip();
        TextLocation at = Here();
        if (*p == '[') {
            ++p;
            TiInitValSpec* list = List(']');
            return ok ? TiInitValSpec::MakeArrayList(at, list, sink) : Fail(list);
        }
        if (*p == '(') {
            ++p;
            TiInitValSpec* list = List(')');
            return ok ? TiInitValSpec::MakeStructList(at, list, sink) : Fail(list);
        }
        if (*p == '-') {
            ++p;
            TiInitValSpec* v = Value();
            if (v != nullptr && v->Negate() != 0) {
                return Fail(v);
            }
            return v;
        }
        if (IdentStart(*p)) {
            const char* s = p;
            while (IdentChar(*p)) {
                ++p;
            }
            std::string name(s, p);
            if (*p != '#' && *p != '\'') {
                SymAttr* kw = nullptr;
                if (set != nullptr && (name == "TRUE" || name == "FALSE")) {
                    kw = set->GetKeywordTab()->lookup(name.c_str());
                    TiInitValToken t;
                    t.rec = kw;
                    return TiInitValSpec::MakeLiteral(t, at, sink);
                }
                TiInitValToken t;
                t.text = Copy(s, static_cast<size_t>(p - s));
                t.ownsText = 1;
                return TiInitValSpec::MakeName(nullptr, t, at, sink);
            }
            p = s;
        }
        TiInitValToken t;
        const char* end = nullptr;
        if (!Literal(&t, &end)) {
            ok = false;
            return nullptr;
        }
        p = end;
        return TiInitValSpec::MakeLiteral(t, at, sink);
    }

    TiInitValSpec* List(char close) {
        TiInitValSpec* last = nullptr;
        Skip();
        if (*p == close) {
            ++p;
            return nullptr;
        }
        for (;;) {
            TiInitValSpec* e = Element();
            if (!ok) {
                TiDelInitValSpecList(last);
                return nullptr;
            }
            last = TiInitValSpec::Append(last, e);
            Skip();
            if (*p == ',') {
                ++p;
                continue;
            }
            if (*p == close) {
                ++p;
                return last;
            }
            ok = false;
            TiDelInitValSpecList(last);
            return nullptr;
        }
    }

    TiInitValSpec* Element() {
        Skip();
        TextLocation at = Here();
        if (IdentStart(*p)) {
            const char* s = p;
            while (IdentChar(*p)) {
                ++p;
            }
            const char* e = p;
            Skip();
            if (p[0] == ':' && p[1] == '=') {
                p += 2;
                TiInitValToken name;
                name.text = Copy(s, static_cast<size_t>(e - s));
                name.ownsText = 1;
                TiInitValSpec* v = Value();
                if (!ok) {
                    delete[] name.text;
                    return Fail(v);
                }
                return TiInitValSpec::MakeAssign(name, at, v, sink);
            }
            p = s;
        }
        if (std::isdigit(static_cast<unsigned char>(*p))) {
            // A count before "(" makes a repetition.
            const char* q = p;
            while (std::isdigit(static_cast<unsigned char>(*q)) || *q == '_') {
                ++q;
            }
            const char* r = q;
            while (*r == ' ') {
                ++r;
            }
            if (*r == '(') {
                TiInitValToken count;
                const char* end = nullptr;
                if (!Literal(&count, &end)) {
                    ok = false;
                    return nullptr;
                }
                p = r + 1;
                TiInitValSpec* list = List(')');
                if (!ok) {
                    // The count token still has to go.
                    TiDelInitValSpecList(TiInitValSpec::MakeRepetition(count, at, nullptr, sink));
                    return nullptr;
                }
                return TiInitValSpec::MakeRepetition(count, at, list, sink);
            }
        }
        return Value();
    }

    TiInitValSpec* Fail(TiInitValSpec* v) {
        TiDelInitValSpecList(v);
        ok = false;
        return nullptr;
    }

    ErrMess* sink;
    SymTabSet* set;
    ts_parse parse{ts_parse::kDefaultDepth}; // made once, with the reader
    const char* src = nullptr;
    const char* p = nullptr;
    bool ok = true;
};

} // namespace decltest

namespace decltest {

/// Bytes as "01 02 ff" (lower-case hex, blank-separated).
inline std::string Hex(const unsigned char* p, size_t n) {
    std::string s;
    char b[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, i == 0 ? "%02x" : " %02x", p[i]);
        s += b;
    }
    return s;
}

/// What an initial value text gives for a type: the check's result, the
/// messages, the binary image (GetBinVal) and the canonical text.
struct InitResult {
    bool read = false; ///< the reader accepted the text
    short check = 0;
    std::vector<Msg> messages;
    short bin = -1;
    std::string image; ///< hex bytes of GetBinVal (covered length)
    std::string text;  ///< GetAsciiSpec, "(null)" when null
};

inline InitResult Evaluate(DeclEnv& env, SymAttr* type, const char* text) {
    InitResult r;
    env.Take();
    InitValReader reader(&env.sink, env.set.get());
    TiInitValSpec* v = reader.Read(text);
    if (v == nullptr) {
        return r;
    }
    r.read = true;
    r.check = v->Check(type, &env.sink);
    r.messages = env.Take();
    static unsigned char buf[65535];
    unsigned short len = sizeof buf;
    r.bin = v->GetBinVal(reinterpret_cast<char*>(buf), &len);
    if (r.bin == 0) {
        r.image = Hex(buf, len);
    }
    const char* t = v->GetAsciiSpec();
    r.text = t != nullptr ? t : "(null)";
    TiDelInitValSpecList(v);
    return r;
}

} // namespace decltest
