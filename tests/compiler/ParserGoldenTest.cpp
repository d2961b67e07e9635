// Golden-file tests of whole compilations through the facade: realistic
// sources (a type library, a function block in Structured Text, an
// Instruction List program, a Sequential Function Chart) with their
// messages, the resulting global table and the tree dump compared with
// reviewed files below tests/data/compiler/golden. KORVANE_UPDATE_GOLDEN=1
// rewrites the expected files (review the diff before committing them).
#include "tests/compiler/ParseTestSupport.h"
#include "tests/compiler/TreeTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string TypeName(const SymAttr* s, unsigned short dims = 0) {
    const char* n = s->GetDTypeName(dims);
    return n != nullptr ? n : "?";
}

// One record of the global table with what a host reads of it: kind and
// size, and by kind the components with their offsets, the enumeration
// values, the ranges and dimensions, the base of an alias, a unit's type,
// result and variables.
std::string Describe(SymAttr* e) {
    std::ostringstream o;
    o << e->GetName() << ": kind " << static_cast<int>(e->GetKind()) << ", size "
      << e->GetMemsize(0);
    if (e->IsDType()) {
        o << ", class " << static_cast<int>(e->GetTypeClass());
        if (unsigned short d = e->GetArrayDimension()) {
            o << ", dims " << d;
            for (Subrange* r = e->GetArraySubr(0); r != nullptr; r = r->GetNext()) {
                o << " [" << r->GetLR() << ".." << r->GetUR() << "]";
            }
            o << " of " << TypeName(e, d);
        }
        if (e->IsSubrange() && e->GetSubr() != nullptr) {
            o << ", range " << e->GetSubr()->GetLR() << ".." << e->GetSubr()->GetUR();
        }
        if (SymAttr* base = e->IsDerivedFrom()) {
            o << ", base " << (base->GetName() != nullptr ? base->GetName() : "(anonymous)");
        }
        o << "\n";
        if (e->IsStruct()) {
            uint32_t offset = 0;
            for (SymAttr* c = e->GetStructCompEntry(); c != nullptr; c = c->GetNext()) {
                o << "  +" << offset << " " << c->GetName() << " : " << TypeName(c) << " ("
                  << c->GetMemsize(0) << ")\n";
                offset += c->GetMemsize(0);
            }
        }
        if (e->IsEnum()) {
            for (SymAttr* v = e->GetEnumCompEntry(); v != nullptr; v = v->GetNext()) {
                short value = -1;
                v->GetEnumVal(value);
                o << "  " << value << " " << v->GetName() << "\n";
            }
        }
        return o.str();
    }
    if (e->GetKind() == sym::KIND_POU) {
        o << ", unit type " << static_cast<int>(e->GetPOU_Type());
        if (e->GetPOU_Type() == 1 && e->GetTypeSpec(0) != nullptr) {
            o << ", result " << TypeName(e->GetTypeSpec(0));
        }
        o << "\n";
        for (SymAttr* v = e->GetIO_VarEntry(); v != nullptr; v = v->GetNext()) {
            o << "  io " << v->GetName() << " : " << TypeName(v) << " (section 0x" << std::hex
              << v->GetContext() << std::dec << ")\n";
        }
        for (SymAttr* v = e->GetOtherVarEntry(); v != nullptr; v = v->GetNext()) {
            o << "  var " << v->GetName() << " : "
              << (v->GetKind() == sym::KIND_FB_INSTANCE && v->GetTypeSpec(0) != nullptr
                      ? v->GetTypeSpec(0)->GetName()
                      : TypeName(v).c_str())
              << " (section 0x" << std::hex << v->GetContext() << std::dec << ")\n";
        }
        return o.str();
    }
    o << "\n";
    return o.str();
}

std::string GlobalDump(SymTabSet* set) {
    std::map<std::string, std::string> byName;
    SymTab* g = set->GetGlobalTab();
    for (SymAttr* e = g->FindFirstEntry(); e != nullptr; e = g->FindNextEntry(e)) {
        if (e->GetName() != nullptr) {
            byName[e->GetName()] += Describe(e);
        }
    }
    std::string out;
    for (const auto& [name, text] : byName) {
        out += text;
    }
    return out;
}

struct Golden {
    const char* source;
    bool catalogueOptions; // the catalogue server's option settings
};

} // namespace

TEST(ParserGolden, RealisticSources) {
    const Golden cases[] = {
        {"type_library.dty", true},
        {"fb_motor.st", false},
        {"il_program.il", false},
        {"sfc_chart.sfc", false},
    };
    for (const Golden& c : cases) {
        SCOPED_TRACE(c.source);
        std::string text = ReadFile(treetest::DataDir() + "/compiler/sources/" + c.source);
        ASSERT_FALSE(text.empty());
        std::string messages;
        std::string globals;
        std::string dump;
        testing::internal::CaptureStdout();
        short rc = -1;
        {
            morval m(nullptr, nullptr, nullptr);
            if (c.catalogueOptions) {
                m.modeFlags |= 0x8000;
                m.langFlags |= TiCompOptions::DigitNames;
                m.langFlags &= static_cast<uint16_t>(~TiCompOptions::LowerCaseKeywords);
            } else {
                m.langFlags |= TiCompOptions::LowerCaseKeywords;
            }
            m.errMess->SetCollect(true);
            TiNode* tree = nullptr;
            rc = m.Parse(text.c_str(), c.source, nullptr, &tree, nullptr, nullptr);
            for (const ErrDesc* d = m.errMess->GetCollected(); d != nullptr; d = d->next) {
                messages += d->text;
                messages += "\n";
            }
            globals = GlobalDump(m.st_set);
            dump = TiDumpTreeText(tree);
            delete tree;
        }
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(rc, 0);
        std::string stem = std::string("compiler/golden/") + c.source;
        EXPECT_TRUE(treetest::MatchesGolden(stem + ".messages", messages));
        EXPECT_TRUE(treetest::MatchesGolden(stem + ".globals", globals));
        EXPECT_TRUE(treetest::MatchesGolden(stem + ".tree", dump));
    }
}
