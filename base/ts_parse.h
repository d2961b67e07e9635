// ts_parse: the table-driven LALR(1) parser of IEC 61131-3 literals. Its
// tables and reduction actions are generated at build time by bison from
// base/ts_grammar.y; this class drives them over the tokens of a ts_scan and
// the reductions fill the scanner's IEC_CONSTANT.
#pragma once

#include "base/ts_scan.h"

/// The literal parser. It holds a state stack (16-bit states) and a value
/// stack (16-byte TSSTYPE values) of a fixed depth, its own or its caller's,
/// the lookahead token and the error-recovery counter.
///
/// A parser that could not get usable stacks writes "Not enough space for
/// parser stacks" or "Bad state/stack given" to standard error once, at
/// construction, and then refuses every tsparse (result 2). It never ends
/// the process: this library lives inside a long-running server.
class ts_parse {
public:
    /// Smallest depth accepted for stacks supplied by the caller.
    static constexpr int kMinCallerDepth = 20;
    /// Largest depth accepted for stacks the parser allocates itself.
    static constexpr int kMaxDepth = 32767;
    /// The depth the literal scanners of the system use.
    static constexpr int kDefaultDepth = 150;

    /// Results of tsparse.
    enum : int {
        TSPARSE_OK = 0,        ///< a literal was reduced
        TSPARSE_GAVE_UP = 1,   ///< unrecoverable syntax error or stack overflow
        TSPARSE_UNUSABLE = 2,  ///< no stacks, or no scanner
    };

    /// Allocates stacks for `depth` entries (1 ... kMaxDepth). Out of memory
    /// or a depth outside that range: "Not enough space for parser stacks"
    /// on standard error and an unusable parser.
    explicit ts_parse(int depth);

    /// Uses the caller's stacks of `depth` entries each; they must outlive
    /// the parser and are not freed by it. Null stacks or a depth below
    /// kMinCallerDepth (or above kMaxDepth): "Bad state/stack given" on
    /// standard error and an unusable parser.
    ts_parse(int depth, short* states, TSSTYPE* values);

    /// Frees the stacks the parser allocated itself.
    ~ts_parse();

    ts_parse(const ts_parse&) = delete;
    ts_parse& operator=(const ts_parse&) = delete;

    /// Parses one literal from the scanner (which the caller has tsreset on
    /// the text). Returns TSPARSE_OK when a literal (or a name, or an error
    /// rule) was reduced, TSPARSE_GAVE_UP when the parser had to give up
    /// (the scanner then holds -3428 for a stack overflow), TSPARSE_UNUSABLE
    /// for an unusable parser or a null scanner ("No scanner" on standard
    /// error). Errors of the literal itself are in the scanner's ErrStatus.
    int tsparse(ts_scan* scanner);

    /// Makes the next tsparse start afresh: empty stacks, no lookahead (a
    /// pending string token is released), error recovery off.
    void tsreset();

    /// Drops the lookahead token, so that the next one is read from the
    /// scanner; a string token's text is released.
    void tsclearin();

    /// True when the parser has usable stacks.
    bool IsUsable() const { return states_ != nullptr && values_ != nullptr; }
    /// The stack depth (0 for an unusable parser).
    int Depth() const { return IsUsable() ? depth_ : 0; }

private:
    /// The reduction actions of the grammar (generated).
    void Reduce(int rule, TSSTYPE* top, TSSTYPE& result);
    /// Releases the value of a symbol that leaves the stacks unreduced.
    void Discard(int symbol, TSSTYPE& value);
    void DiscardLookahead();

    short* states_;
    TSSTYPE* values_;
    int depth_;
    bool ownsStacks_;
    int lookahead_;     ///< token code, or kNoToken
    TSSTYPE lval_;      ///< value of the lookahead token
    int errFlag_;       ///< tokens to shift before errors are reported again
    ts_scan* scanner_;
};
