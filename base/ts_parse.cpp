// ts_parse: the LALR(1) parse loop over the tables that bison generates from
// the literal grammar (base/ts_grammar.y with the skeleton base/ts_parse.m4),
// with yacc-style error recovery on fixed-depth stacks.
#include "base/ts_parse.h"

#include "base/ts_reduce.h"

#include <cstdio>
#include <new>

// The generated tables and ts_parse::Reduce.
#include "ts_grammar_tables.inc"

namespace {

constexpr int kNoToken = -2;      // no lookahead read
constexpr int kErrorSymbol = 1;   // bison's symbol number of `error`
constexpr int kUndefSymbol = 2;   // bison's symbol number of an unknown token

// Error recoveries allowed in one parse before the parser gives up. Every
// recovery of the grammar ends the literal, so a correct run needs at most a
// few; the bound makes termination independent of that argument.
constexpr int kMaxRecoveries = 8;

int SymbolOf(int token) {
    if (token < 0 || token > YYMAXUTOK) {
        return kUndefSymbol;
    }
    return yytranslate[token];
}

const int kStringSymbol = SymbolOf(TS_STRING);

} // namespace

ts_parse::ts_parse(int depth)
    : states_(nullptr), values_(nullptr), depth_(0), ownsStacks_(true), lookahead_(kNoToken),
      lval_(), errFlag_(0), scanner_(nullptr) {
    if (depth >= 1 && depth <= kMaxDepth) {
        states_ = new (std::nothrow) short[static_cast<size_t>(depth)];
        values_ = new (std::nothrow) TSSTYPE[static_cast<size_t>(depth)];
    }
    if (states_ == nullptr || values_ == nullptr) {
        delete[] states_;
        delete[] values_;
        states_ = nullptr;
        values_ = nullptr;
        std::fputs("Not enough space for parser stacks\n", stderr);
        return;
    }
    depth_ = depth;
}

ts_parse::ts_parse(int depth, short* states, TSSTYPE* values)
    : states_(nullptr), values_(nullptr), depth_(0), ownsStacks_(false), lookahead_(kNoToken),
      lval_(), errFlag_(0), scanner_(nullptr) {
    if (states == nullptr || values == nullptr || depth < kMinCallerDepth || depth > kMaxDepth) {
        std::fputs("Bad state/stack given\n", stderr);
        return;
    }
    states_ = states;
    values_ = values;
    depth_ = depth;
}

ts_parse::~ts_parse() {
    DiscardLookahead();
    if (ownsStacks_) {
        delete[] states_;
        delete[] values_;
    }
}

void ts_parse::Discard(int symbol, TSSTYPE& value) {
    if (symbol != kStringSymbol) {
        return;
    }
    // Outside a parse there is no scanner; any scanner releases the text.
    ts_scan idle;
    ts_scan* owner = scanner_ != nullptr ? scanner_ : &idle;
    void* text = value.str;
    owner->DiscardToken(TS_STRING, &text);
    value.str = static_cast<char*>(text);
}

void ts_parse::DiscardLookahead() {
    if (lookahead_ != kNoToken) {
        Discard(SymbolOf(lookahead_), lval_);
    }
    lookahead_ = kNoToken;
    lval_ = TSSTYPE();
}

void ts_parse::tsreset() {
    DiscardLookahead();
    errFlag_ = 0;
}

void ts_parse::tsclearin() { DiscardLookahead(); }

int ts_parse::tsparse(ts_scan* scanner) {
    if (scanner == nullptr) {
        std::fputs("No scanner\n", stderr);
        return TSPARSE_UNUSABLE;
    }
    if (!IsUsable()) {
        return TSPARSE_UNUSABLE;
    }
    scanner_ = scanner;
    tsreset();

    int sp = 0;         // index of the top entry
    int state = 0;
    int recoveries = 0;
    int result = TSPARSE_GAVE_UP;
    states_[0] = 0;
    values_[0] = TSSTYPE();

    // Pushes a state and its value; false (and -3428 in the scanner) when
    // the stacks are full.
    auto push = [&](int newState, const TSSTYPE& value) -> bool {
        if (sp + 1 >= depth_) {
            scanner_->tserror("Parser stack overflow");
            return false;
        }
        ++sp;
        states_[sp] = static_cast<short>(newState);
        values_[sp] = value;
        return true;
    };

    for (;;) {
        if (state == YYFINAL) {
            result = TSPARSE_OK;
            break;
        }
        int rule = 0;
        int n = yypact[state];
        bool useDefault = n == YYPACT_NINF;
        if (!useDefault) {
            if (lookahead_ == kNoToken) {
                lookahead_ = scanner_->tslex(lval_);
            }
            int symbol = SymbolOf(lookahead_);
            n += symbol;
            if (n < 0 || n > YYLAST || yycheck[n] != symbol) {
                useDefault = true;
            } else {
                n = yytable[n];
                if (n > 0) {
                    // Shift the lookahead token.
                    if (errFlag_ > 0) {
                        --errFlag_;
                    }
                    if (!push(n, lval_)) {
                        break;
                    }
                    lookahead_ = kNoToken;
                    lval_ = TSSTYPE();
                    state = n;
                    continue;
                }
                if (n == YYTABLE_NINF || n == 0) {
                    rule = 0;
                } else {
                    rule = -n;
                }
            }
        }
        if (useDefault) {
            rule = yydefact[state];
        }
        if (rule != 0) {
            // Reduce by `rule`: $$ defaults to $1, the action computes it.
            int len = yyr2[rule];
            TSSTYPE result1 = len > 0 ? values_[sp + 1 - len] : TSSTYPE();
            Reduce(rule, &values_[sp], result1);
            sp -= len;
            int lhs = yyr1[rule] - YYNTOKENS;
            int i = yypgoto[lhs] + states_[sp];
            state = (0 <= i && i <= YYLAST && yycheck[i] == states_[sp]) ? yytable[i]
                                                                          : yydefgoto[lhs];
            if (!push(state, result1)) {
                break;
            }
            continue;
        }

        // Syntax error: report once, then recover as yacc does. The parser
        // pops states until one can shift `error`; a lookahead that still
        // does not fit after a recovery is thrown away, and at the end of the
        // literal the parser gives up.
        if (++recoveries > kMaxRecoveries) {
            break;
        }
        if (errFlag_ == 0) {
            scanner_->tserror("Syntax error");
        } else if (errFlag_ == 3) {
            if (lookahead_ == TS_END) {
                break;
            }
            DiscardLookahead();
        }
        errFlag_ = 3;
        int errState = 0;
        for (;;) {
            int k = yypact[states_[sp]];
            if (k != YYPACT_NINF) {
                k += kErrorSymbol;
                if (0 <= k && k <= YYLAST && yycheck[k] == kErrorSymbol && yytable[k] > 0) {
                    errState = yytable[k];
                    break;
                }
            }
            if (sp == 0) {
                break;
            }
            Discard(yystos[states_[sp]], values_[sp]);
            --sp;
        }
        if (errState == 0 || !push(errState, TSSTYPE())) {
            break;
        }
        state = errState;
    }

    // Whatever stays on the stacks or in the lookahead is released.
    while (sp > 0) {
        Discard(yystos[states_[sp]], values_[sp]);
        --sp;
    }
    DiscardLookahead();
    scanner_ = nullptr;
    (void)YYNSTATES;
    (void)YYNRULES;
    return result;
}
