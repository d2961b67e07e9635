// Test helpers for the parser and the facade: a compilation rig that runs the
// parser over a text with fixed message texts, a compact one-line form of a
// statement tree for table-driven checks, and capture of what the facade
// writes to the standard output.
#pragma once

#include "base/TiCompOptions.h"
#include "compiler/ErrMess.h"
#include "compiler/Library.h"
#include "compiler/ParseContext.h"
#include "compiler/Parser.h"
#include "compiler/SymAttr.h"
#include "compiler/SymTab.h"
#include "compiler/SymTabSet.h"
#include "compiler/TiDB.h"
#include "compiler/TiNode.h"
#include "compiler/TiScanner.h"
#include "compiler/morval.h"
#include "tests/compiler/TestSink.h"

#include <memory>
#include <string>
#include <vector>

namespace parsetest {

/// A compilation with its own tables, library, adapter and a sink with the
/// test texts ("t(row,col): E: M<n>"), collecting every message.
struct Rig {
    ErrMess sink;
    SymTabSet set{151, nullptr, &sink};
    Library lib{&sink};
    TiDB db{nullptr, &set, &sink};
    TiCompOptions opts{true};
    std::unique_ptr<ParseContext> ctx;
    int maxDepth = 0;
    int syntaxErrors = 0;

    Rig() {
        testsink::Prepare(sink);
        sink.SetSourceName("t");
        opts.langFlags |= TiCompOptions::LowerCaseKeywords;
    }

    /// Runs a new parse context and parser of `capacity` over `text` with
    /// the scanner's start marker `start`; the parser's result.
    int Run(const char* text, short start = 0, int capacity = Parser::kDefaultCapacity) {
        short st = 0;
        ctx = std::make_unique<ParseContext>(&set, &lib, &db, &sink, &opts, nullptr, &st);
        TiScanner scanner(text, &set, &sink, &opts, start, 0, &st);
        Parser parser(ctx.get(), capacity);
        int r = parser.parse(&scanner);
        maxDepth = parser.GetMaxDepth();
        syntaxErrors = parser.GetErrorCount();
        return r;
    }

    /// The tree of the last run (owned by the caller).
    TiNode* Tree() { return ctx ? ctx->TakeTree() : nullptr; }

    std::vector<std::string> Messages() const { return testsink::Lines(sink); }
};

/// A compact form of a tree: a constant as its literal, a symbol as its
/// name with "[indexes]" and ".component", a statement list as "{a; b}",
/// any other node as KIND(children) with trailing empty children left out
/// and an empty child in between as "-". Jumps and returns show their
/// condition ("JMPC L1"), qualifiers their code, argument assignments "=>"
/// for outputs.
std::string Shape(const TiNode* n);

/// The messages as one string, one per line.
std::string Joined(const std::vector<std::string>& lines);

/// A facade with the test texts, collecting, keywords in any case.
std::unique_ptr<morval> NewFacade(bool lowerCase = true);

/// The global table's records as "name kind size" lines, sorted by name
/// (the table's own order follows the hash).
std::string GlobalTable(SymTabSet* set, bool withUndefined = false);

/// The collected messages of a facade's sink.
std::vector<std::string> Messages(morval& m);

} // namespace parsetest
