// Parser: the LALR(1) parse loop over the tables that bison generates from
// the IEC 61131-3 grammar (compiler/iec.y with the skeleton
// compiler/iec_parse.m4), with yacc-style error recovery on stacks of a
// fixed capacity.
#include "compiler/Parser.h"

#include "compiler/ParseContext.h"
#include "compiler/TiScanner.h"
#include "compiler/Tokens.h"

#include <cstdio>
#include <new>

// The generated tables, Parser::Reduce and Parser::Destruct.
#include "iec_grammar_tables.inc"

namespace {

constexpr int kNoToken = -1;     // no lookahead read
constexpr int kScannerQuit = -2; // the scanner's "stop now"
constexpr int kErrorSymbol = 1;  // bison's symbol number of `error`
constexpr int kUndefSymbol = 2;  // bison's symbol number of an unknown token
constexpr int kCountdown = 3;    // tokens to shift before errors are reported again

int SymbolOf(int token) {
    if (token < 0 || token > YYMAXUTOK) {
        return kUndefSymbol;
    }
    return yytranslate[token];
}

// The grammar's terminal numbers are the scanner's token numbers; the
// numbers above the scanner's last one are the grammar's precedence marks.
static_assert(YYMAXUTOK >= tok::END_OF_LINE, "the grammar knows every token of the scanner");

} // namespace

Parser::Parser(ParseContext* context, int capacity)
    : context_(context), capacity(capacity), lookahead(kNoToken) {
    if (capacity >= 1 && capacity <= kMaxCapacity) {
        // capacity + 1 entries: the bottom entry holds the start state.
        size_t n = static_cast<size_t>(capacity) + 1;
        states = new (std::nothrow) short[n];
        values = new (std::nothrow) ParseValue[n];
    }
    if (states == nullptr || values == nullptr) {
        delete[] states;
        delete[] values;
        states = nullptr;
        values = nullptr;
        std::fputs("Not enough space for parser stacks\n", stderr);
    }
}

Parser::~Parser() {
    if (ownsStacks) {
        delete[] states;
        delete[] values;
    }
}

bool Parser::Push(int newState, const ParseValue& value) {
    if (sp + 1 > capacity) {
        // Reported at the lookahead, or where the last token stood when
        // the overflow happens in a reduction without one.
        TextLocation at = lookahead != kNoToken ? lval.pos : TextLocation{};
        if (lookahead == kNoToken) {
            scanner->GetTokenEndPos(at.row, at.col);
        }
        scanner->Report(parsectx::MSG_STACK_OVERFLOW, at.row, at.col);
        return false;
    }
    ++sp;
    if (sp > maxDepth) {
        maxDepth = sp;
    }
    states[sp] = static_cast<short>(newState);
    values[sp] = value;
    return true;
}

short Parser::Lex(TokenValue* value) {
    return scanner->lex(value);
}

void Parser::FetchLookahead() {
    TokenValue tv;
    short t = Lex(&tv);
    lval = ParseValue();
    if (t == kScannerQuit) {
        scannerGaveUp = true;
        lookahead = kNoToken;
        return;
    }
    if (t < 0) {
        t = tok::END; // any other negative result ends the input
    }
    lookahead = t;
    lval.token = t;
    lval.tok = tv;
    scanner->GetTokenEndPos(lval.pos.row, lval.pos.col);
    context_->NoteLookahead(&lval);
}

void Parser::DropLookahead() {
    if (lookahead != kNoToken) {
        context_->Discard(lval);
    }
    lookahead = kNoToken;
    lval = ParseValue();
}

void Parser::PopAll() {
    while (sp > 0) {
        Destruct(yystos[states[sp]], &values[sp]);
        values[sp] = ParseValue();
        --sp;
    }
}

int Parser::parse(TiScanner* s) {
    if (s == nullptr) {
        std::fputs("No scanner\n", stderr);
        return kFailed;
    }
    if (!IsUsable()) {
        return kFailed;
    }
    scanner = s;
    context_->SetScanner(s);
    firstCall = false;
    sp = 0;
    state = 0;
    states[0] = 0;
    values[0] = ParseValue();
    lookahead = kNoToken;
    lval = ParseValue();
    errorCount = 0;
    countdown = 0;
    maxDepth = 0;
    scannerGaveUp = false;

    int outcome = kFailed;
    for (;;) {
        if (state == YYFINAL) {
            outcome = kAccepted;
            break;
        }
        int rule = 0;
        int n = yypact[state];
        if (n == YYPACT_NINF) {
            rule = yydefact[state];
        } else {
            if (lookahead == kNoToken) {
                FetchLookahead();
                if (scannerGaveUp) {
                    break; // the scanner's -2: no syntax message
                }
            }
            int symbol = SymbolOf(lookahead);
            n += symbol;
            if (n < 0 || n > YYLAST || yycheck[n] != symbol) {
                rule = yydefact[state];
            } else {
                n = yytable[n];
                if (n > 0) {
                    // Shift the lookahead.
                    if (countdown > 0) {
                        --countdown;
                    }
                    if (!Push(n, lval)) {
                        break;
                    }
                    context_->NoteShift(lval.pos);
                    lookahead = kNoToken;
                    lval = ParseValue();
                    state = n;
                    continue;
                }
                rule = n == YYTABLE_NINF ? 0 : -n;
            }
        }

        if (rule != 0) {
            // Reduce: $$ starts as $1, the action builds it.
            int len = yyr2[rule];
            result = len > 0 ? values[sp + 1 - len] : ParseValue();
            Reduce(rule, &values[sp], result);
            // The popped entries are not cleared: nothing reads above sp,
            // and the actions took over what they owned.
            sp -= len;
            int lhs = yyr1[rule] - YYNTOKENS;
            int i = yypgoto[lhs] + states[sp];
            state = (0 <= i && i <= YYLAST && yycheck[i] == states[sp]) ? yytable[i]
                                                                        : yydefgoto[lhs];
            if (!Push(state, result)) {
                Destruct(yyr1[rule], &result);
                break;
            }
            continue;
        }

        // A syntax error.
        if (countdown == kCountdown) {
            // Still recovering: the lookahead does not fit either.
            if (lookahead == tok::END) {
                break;
            }
            DropLookahead();
            continue;
        }
        if (countdown == 0) {
            scanner->Report(parsectx::MSG_SYNTAX, lval.pos.row, lval.pos.col);
            ++errorCount;
        }
        countdown = kCountdown;
        int errState = 0;
        for (;;) {
            int k = yypact[states[sp]];
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
            Destruct(yystos[states[sp]], &values[sp]);
            values[sp] = ParseValue();
            --sp;
        }
        if (errState == 0) {
            break; // the stack is empty: nothing can take the error
        }
        ParseValue errValue;
        errValue.pos = lval.pos;
        if (!Push(errState, errValue)) {
            break;
        }
        state = errState;
    }

    // Whatever stays on the stacks or in the lookahead is released.
    PopAll();
    DropLookahead();
    context_->SetScanner(nullptr);
    context_->NoteLookahead(nullptr);
    scanner = nullptr;
    (void)YYNSTATES;
    (void)YYNRULES;
    return outcome;
}
