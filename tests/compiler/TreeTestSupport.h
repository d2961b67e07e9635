// Test helper for the statement-tree and emitter tests: symbol records of a
// small program (units, variables, instances, labels, steps) owned by one
// object, constants of every kind, a sink with message texts that show
// every parameter, and golden files under tests/data/compiler that an
// explicit switch (KORVANE_UPDATE_GOLDEN=1) rewrites.
#pragma once

#include "TypeArena.h"
#include "base/IEC_CONSTANT.h"
#include "compiler/ErrMess.h"
#include "compiler/SymAttr.h"
#include "compiler/TiLocatedVar.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace treetest {

/// Symbol records of one test, owned here.
class Symbols {
public:
    /// A type of the arena (elementary by id, arrays, structures).
    TypeArena types;

    /// A program unit of `unitType` (1: function with `result`).
    SymAttr* Unit(const char* name, unsigned char unitType = 0, SymAttr* result = nullptr) {
        SymAttr* u = types.Named(name);
        u->DefPOU(unitType, nullptr, nullptr, nullptr, result, 0);
        return u;
    }
    /// A variable of `unit` with `type`, located at section:offset when
    /// `located` is set.
    SymAttr* Var(const char* name, SymAttr* type, SymAttr* unit = nullptr, bool located = false,
                 int32_t section = 0, int32_t offset = 0) {
        SymAttr* v = types.Named(name);
        TiLocatedVar* loc = nullptr;
        if (located) {
            loc = new TiLocatedVar;
            loc->section = section;
            loc->offset = offset;
        }
        v->DefVarAttr(unit, 0, type, 0, loc);
        return v;
    }
    /// Makes `vars` (in order) the interface list of `unit`.
    void Interface(SymAttr* unit, const std::vector<SymAttr*>& vars) {
        SymAttr* prev = nullptr;
        for (SymAttr* v : vars) {
            v->LinkAfter(prev);
            prev = v;
        }
        unit->DefPOU(unit->GetPOU_Type(), nullptr, vars.empty() ? nullptr : vars.front(), nullptr,
                     nullptr, 0);
    }
    /// A function-block instance of `fb` declared by `owner`.
    SymAttr* Instance(const char* name, SymAttr* fb, SymAttr* owner) {
        SymAttr* i = types.Named(name);
        i->DefFBInstance(owner, 0, fb, nullptr);
        return i;
    }
    /// A label list record.
    SymAttr* Label(const char* name) {
        SymAttr* l = types.Named(name);
        l->DefLabelList(nullptr);
        return l;
    }
    /// A record of no kind (steps, actions, transitions of an SFC).
    SymAttr* Plain(const char* name) { return types.Named(name); }
    /// A named literal record holding `c`.
    SymAttr* Literal(IEC_CONSTANT& c) {
        SymAttr* l = types.Anonymous();
        l->DefConstant(c);
        return l;
    }
};

// Constants made with new (a CONSTANT leaf takes them over).

inline IEC_CONSTANT* Int(int32_t v, short typeId = 0) {
    IEC_CONSTANT* c = new IEC_CONSTANT(v);
    if (typeId != 0) {
        c->typeId = typeId;
    }
    return c;
}
inline IEC_CONSTANT* Real(double v) {
    IEC_CONSTANT* c = new IEC_CONSTANT;
    c->flags = iec::CONST_REAL;
    c->value.dbl = v;
    c->typeId = iec::UNTYPED_REAL;
    return c;
}
inline IEC_CONSTANT* Time(uint32_t ms) {
    IEC_CONSTANT* c = new IEC_CONSTANT;
    c->flags = iec::CONST_TIME;
    c->value.time = ms;
    return c;
}
inline IEC_CONSTANT* Date(int y, int m, int d) {
    IEC_CONSTANT* c = new IEC_CONSTANT;
    c->flags = iec::CONST_DATE;
    c->value.date = iec::PackDate(y, m, d);
    return c;
}
inline IEC_CONSTANT* Tod(uint32_t ms) {
    IEC_CONSTANT* c = new IEC_CONSTANT;
    c->flags = iec::CONST_TOD;
    c->value.tod = ms;
    return c;
}
inline IEC_CONSTANT* Dt(uint32_t ms, int y, int m, int d) {
    IEC_CONSTANT* c = new IEC_CONSTANT;
    c->flags = iec::CONST_DT;
    c->value.dt.tod = ms;
    c->value.dt.date = iec::PackDate(y, m, d);
    return c;
}
inline IEC_CONSTANT* Str(const char* text) {
    IEC_CONSTANT* c = new IEC_CONSTANT;
    c->SetString(text);
    return c;
}
inline IEC_CONSTANT* Bool(bool v) {
    IEC_CONSTANT* c = new IEC_CONSTANT(v ? 1 : 0);
    c->flags = iec::CONST_BOOL;
    c->typeId = iec::TYPE_BOOL;
    return c;
}

/// Message texts that print every parameter, so reports compare exactly.
inline int Texts(unsigned id, char* buf, int max) {
    const char* t = nullptr;
    switch (id) {
    case 3401:
        t = "%s(%d,%d): W: ";
        break;
    case 3402:
        t = "%s(%d,%d): E: ";
        break;
    case 3403:
        t = "W: ";
        break;
    case 3404:
        t = "E: ";
        break;
    case 3406:
        t = "nomem %s %d";
        break;
    case 3548:
        t = "no mnemonic %d";
        break;
    case 3554:
        t = "internal at %s %d";
        break;
    case 3555:
        t = "internal %d %s %d %s";
        break;
    case 3577:
        t = "no fb type '%s'";
        break;
    default:
        t = "unexpected message";
        break;
    }
    std::snprintf(buf, static_cast<size_t>(max), "%s", t);
    return static_cast<int>(std::strlen(buf));
}

/// A collecting sink with the texts above.
inline std::unique_ptr<ErrMess> MakeSink() {
    auto sink = std::make_unique<ErrMess>();
    sink->SetTextLoader(Texts);
    sink->SetCollect(true);
    return sink;
}

/// One collected message: severity and text.
struct Message {
    int32_t severity;
    std::string text;
};

inline std::vector<Message> Messages(const ErrMess& sink) {
    std::vector<Message> out;
    for (const ErrDesc* d = sink.GetCollected(); d != nullptr; d = d->next) {
        out.push_back({d->severity, d->text});
    }
    return out;
}

/// The directory of the test data: $KORVANE_TEST_DATA (set by CTest), else
/// the tests/data directory beside this file.
inline std::string DataDir() {
    if (const char* d = std::getenv("KORVANE_TEST_DATA")) {
        return d;
    }
    std::string here = __FILE__;
    return here.substr(0, here.rfind('/')) + "/../data";
}

/// Compares `actual` with the golden file `rel` below the test data, byte
/// for byte. With KORVANE_UPDATE_GOLDEN=1 in the environment the file is
/// written instead (review the diff before committing it).
inline ::testing::AssertionResult MatchesGolden(const std::string& rel, const std::string& actual) {
    const std::string path = DataDir() + "/" + rel;
    const char* update = std::getenv("KORVANE_UPDATE_GOLDEN");
    if (update != nullptr && std::strcmp(update, "1") == 0) {
        std::ofstream out(path, std::ios::binary);
        out << actual;
        if (!out) {
            return ::testing::AssertionFailure() << "cannot write " << path;
        }
        return ::testing::AssertionSuccess();
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return ::testing::AssertionFailure()
               << "missing golden file " << path << " (KORVANE_UPDATE_GOLDEN=1 writes it)";
    }
    std::stringstream ss;
    ss << in.rdbuf();
    if (ss.str() != actual) {
        return ::testing::AssertionFailure() << "differs from " << path << "\n--- expected\n"
                                             << ss.str() << "\n--- actual\n"
                                             << actual;
    }
    return ::testing::AssertionSuccess();
}

} // namespace treetest
