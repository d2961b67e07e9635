// Test helper for access paths and the C type declarations: a compiler
// facade that has compiled a declaration text, with a sink whose texts give
// the message numbers and parameters back (decltest::Texts), and a reader of
// an access path against those declarations.
#pragma once

#include "base/TiCompOptions.h"
#include "compiler/ErrMess.h"
#include "compiler/SymTabSet.h"
#include "compiler/TiVariable.h"
#include "compiler/morval.h"
#include "tests/compiler/DeclTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace pathtest {

/// Options of the tests: the defaults, and names in any letter case.
inline TiCompOptions Options() {
    TiCompOptions o(true);
    o.langFlags |= TiCompOptions::LowerCaseKeywords;
    return o;
}

/// A facade that compiled `source`; its messages are collected.
class Compiled {
public:
    explicit Compiled(const char* source) {
        TiCompOptions o = Options();
        facade = std::make_unique<morval>(nullptr, nullptr, &o);
        sink().SetTextLoader(decltest::Texts);
        sink().SetCollect(true);
        testing::internal::CaptureStdout();
        parseResult = facade->Parse(source, "decl", nullptr, nullptr, nullptr, nullptr);
        testing::internal::GetCapturedStdout();
        declMessages = decltest::Messages(sink());
        sink().ResetCounts();
    }

    ErrMess& sink() { return *facade->GetErrMess(); }
    SymTabSet* set() { return facade->GetSymTabSet(); }

    /// Reads `path`; the messages of the reading are in `messages`.
    short Read(const char* path, TiVariable** out, const TiVarModes& modes = TiVarModes{}) {
        sink().ResetCounts();
        TiCompOptions o = Options();
        testing::internal::CaptureStdout();
        short rc = TiVariable::Parse(path, set(), &sink(), &o, modes, out);
        testing::internal::GetCapturedStdout();
        messages = decltest::Messages(sink());
        sink().ResetCounts();
        return rc;
    }

    /// The message numbers of the last Read.
    std::vector<int> Numbers() const {
        std::vector<int> n;
        for (const decltest::Msg& m : messages) {
            n.push_back(m.number);
        }
        return n;
    }

    std::unique_ptr<morval> facade;
    short parseResult = -1;
    std::vector<decltest::Msg> declMessages;
    std::vector<decltest::Msg> messages;
};

/// The canonical text of a path ("" for none).
inline std::string Text(TiVariable* v) {
    if (v == nullptr) {
        return "";
    }
    char* t = nullptr;
    if (v->GetAsciiSpec(&t) != 0 || t == nullptr) {
        return "";
    }
    std::string s(t);
    delete[] t;
    return s;
}

} // namespace pathtest
