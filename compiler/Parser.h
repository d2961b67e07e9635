// Parser: the table-driven LALR(1) parser of the compiler. Its tables and
// reduction actions are generated at build time by bison from
// compiler/iec.y; this class drives them over the tokens of a TiScanner on
// stacks of a fixed capacity, with yacc-style error recovery, and the
// reductions call into a ParseContext.
//
// Decisions where the rules leave room:
// - A stack allocation failure and a missing scanner do not end the
//   process: "Not enough space for parser stacks" (at construction) and "No
//   scanner" (at parse) are written to the standard error stream and parse
//   returns 1.
// - "Syntax error" is reported through the scanner as message -3508 and
//   "Parser stack overflow" as message -3428, both at the lookahead's
//   position.
// - Every value that leaves the stacks without being reduced (error
//   recovery, a failed parse) and every discarded lookahead is released
//   through the context, so that no literal record, tree or type spec is
//   lost.
#pragma once

#include "compiler/ParseContext.h"
#include "compiler/TiScanner.h"

#include <cstdint>

/// The parser of one compilation.
class Parser {
public:
    /// The capacity the facade uses.
    static constexpr int kDefaultCapacity = 150;
    /// Largest capacity accepted.
    static constexpr int kMaxCapacity = 32767;

    /// Results of parse.
    static constexpr int kAccepted = 0;
    static constexpr int kFailed = 1;

    /// Allocates the two stacks of capacity + 1 entries. A capacity outside
    /// 1 ... kMaxCapacity or an allocation failure writes "Not enough space
    /// for parser stacks" to standard error and leaves a parser whose parse
    /// returns 1. `context` is not owned; it must outlive the parser.
    Parser(ParseContext* context, int capacity);
    /// Frees the stacks it allocated.
    virtual ~Parser();
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    /// Parses the tokens of `scanner` until the end of the input. 0 when the
    /// input was accepted (syntax errors may have been reported and
    /// recovered); 1 when it could not be parsed: an unrecovered syntax
    /// error, a scanner result of -2, a stack overflow ("Parser stack
    /// overflow"), unusable stacks, or a null scanner ("No scanner" on
    /// standard error). The scanner is not owned.
    int parse(TiScanner* scanner);

    /// True when the stacks exist.
    bool IsUsable() const { return states != nullptr && values != nullptr; }
    /// Number of stack entries (0 for an unusable parser).
    int GetCapacity() const { return IsUsable() ? capacity : 0; }
    /// Syntax errors reported by the last parse.
    int GetErrorCount() const { return errorCount; }
    /// The deepest stack index reached by the last parse.
    int GetMaxDepth() const { return maxDepth; }

protected:
    /// The next token of the running parse: the scanner's lex. A result of
    /// -2 ends the parse; any other negative result is the end of input.
    virtual short Lex(TokenValue* value);

private:
    /// The reduction actions of the grammar (generated).
    void Reduce(int rule, ParseValue* top, ParseValue& result);
    /// Releases the value of a symbol that leaves the stacks unreduced
    /// (generated from the grammar's destructors).
    void Destruct(int symbol, ParseValue* value);

    bool Push(int state, const ParseValue& value);
    void FetchLookahead();
    void DropLookahead();
    void PopAll();

    ParseContext* context_;
    bool ownsStacks = true;
    int capacity;
    bool firstCall = true;
    short* states = nullptr;
    ParseValue* values = nullptr;
    int sp = 0;          // index of the top entry
    int state = 0;       // current state
    int lookahead;       // token number, or kNoToken
    ParseValue lval;     // the lookahead's value
    int errorCount = 0;
    int countdown = 0;   // error recovery countdown (3 after an error)
    TiScanner* scanner = nullptr;
    ParseValue result;   // value of the rule being reduced
    int maxDepth = 0;
    bool scannerGaveUp = false;
};
