// The encoder's control flow and calls: IF, ELSIF, WHILE, REPEAT and FOR
// with BTRUE/BFALSE/BRANCH/LABEL and their targets, EXIT and RETURN,
// function-block calls with inputs and outputs, function calls with named
// and positional arguments, and the bodies of functions and function
// blocks.
#include "tests/compiler/EncoderTestSupport.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

namespace {

using enctest::Encoded;
using Lines = std::vector<std::string>;

struct Case {
    const char* name;
    const char* body;
    Lines lines; // the listing without the final RET
};

void Check(const Case* cases, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        Encoded e(c.body);
        ASSERT_EQ(e.parseResult, 0);
        ASSERT_TRUE(e.compileMessages.empty()) << decltest::Describe(e.compileMessages);
        short rc = -1;
        int32_t count = 0;
        Lines got = e.Listing("P", &rc, &count);
        EXPECT_EQ(rc, 0) << decltest::Describe(e.messages);
        Lines expected = c.lines;
        char ret[32];
        std::snprintf(ret, sizeof ret, "%4zu:\tRET", expected.size() + 1);
        expected.push_back(ret);
        EXPECT_EQ(got, expected);
        EXPECT_EQ(static_cast<size_t>(count), expected.size());
    }
}

TEST(EncoderControl, IfStatements) {
    const Case cases[] = {
        {"IF without ELSE",
         "IF X THEN A := 1; END_IF;",
         {"   1:\tBFALSE \tX, 1, VAR; 3", "   2:\tASS \tA, 2, VAR;  \t1, 2, IMMVAL",
          "   3:\tLABEL"}},
        {"IF with ELSE",
         "IF X THEN A := 1; ELSE A := 2; END_IF;",
         {"   1:\tBFALSE \tX, 1, VAR; 4", "   2:\tASS \tA, 2, VAR;  \t1, 2, IMMVAL",
          "   3:\tBRANCH \t6", "   4:\tLABEL", "   5:\tASS \tA, 2, VAR;  \t2, 2, IMMVAL",
          "   6:\tLABEL"}},
        {"ELSIF",
         "IF X THEN A := 1; ELSIF Y THEN A := 2; END_IF;",
         {"   1:\tBFALSE \tX, 1, VAR; 4", "   2:\tASS \tA, 2, VAR;  \t1, 2, IMMVAL",
          "   3:\tBRANCH \t8", "   4:\tLABEL", "   5:\tBFALSE \tY, 1, VAR; 7",
          "   6:\tASS \tA, 2, VAR;  \t2, 2, IMMVAL", "   7:\tLABEL", "   8:\tLABEL"}},
        {"condition computed",
         "IF A > 0 THEN B := A; END_IF;",
         {"   1:\tASS \t$T1, 2, POOLVAR;  \tA, 2, VAR",
          "   2:\tSGT \t$T1, 2, POOLVAR;  \t0, 2, IMMVAL", "   3:\tBFALSE \t$T1, 1, POOLVAR; 5",
          "   4:\tASS \tB, 2, VAR;  \tA, 2, VAR", "   5:\tLABEL"}},
        {"indexed condition",
         "IF TAB[A] = 0 THEN B := 1; END_IF;",
         {"   1:\tINT_TO_DINT \t$T1, 4, POOLVAR;  \tA, 2, VAR",
          "   2:\tMUL \t$T1, 4, POOLVAR;  \t2, 4, IMMVAL",
          "   3:\tADD \t$T1, 4, POOLVAR;  \t-2, 4, IMMVAL",
          "   4:\tADRADD \tTAB, 10, VAR;  \t$T1, 4, POOLVAR",
          "   5:\tASS \t$T2, 2, POOLVAR;  \tTAB, 10, VAR",
          "   6:\tEQ \t$T2, 2, POOLVAR;  \t0, 2, IMMVAL", "   7:\tBFALSE \t$T2, 1, POOLVAR; 9",
          "   8:\tASS \tB, 2, VAR;  \t1, 2, IMMVAL", "   9:\tLABEL"}},
    };
    Check(cases, std::size(cases));
}

TEST(EncoderControl, Loops) {
    const Case cases[] = {
        {"WHILE",
         "WHILE A < 10 DO A := A + 1; END_WHILE;",
         {"   1:\tLABEL", "   2:\tASS \t$T1, 2, POOLVAR;  \tA, 2, VAR",
          "   3:\tSLT \t$T1, 2, POOLVAR;  \t10, 2, IMMVAL", "   4:\tBFALSE \t$T1, 1, POOLVAR; 9",
          "   5:\tASS \t$T1, 2, POOLVAR;  \tA, 2, VAR",
          "   6:\tADD \t$T1, 2, POOLVAR;  \t1, 2, IMMVAL",
          "   7:\tASS \tA, 2, VAR;  \t$T1, 2, POOLVAR", "   8:\tBRANCH \t1", "   9:\tLABEL"}},
        {"REPEAT",
         "REPEAT A := A - 1; UNTIL A <= 0 END_REPEAT;",
         {"   1:\tLABEL", "   2:\tASS \t$T1, 2, POOLVAR;  \tA, 2, VAR",
          "   3:\tSUB \t$T1, 2, POOLVAR;  \t1, 2, IMMVAL",
          "   4:\tASS \tA, 2, VAR;  \t$T1, 2, POOLVAR",
          "   5:\tASS \t$T1, 2, POOLVAR;  \tA, 2, VAR",
          "   6:\tSLE \t$T1, 2, POOLVAR;  \t0, 2, IMMVAL", "   7:\tBFALSE \t$T1, 1, POOLVAR; 1",
          "   8:\tLABEL"}},
        {"FOR upwards, step 1",
         "FOR A := 1 TO 5 DO B := A; END_FOR;",
         {"   1:\tASS \tA, 2, VAR;  \t1, 2, IMMVAL", "   2:\tLABEL",
          "   3:\tASS \t$T1, 2, POOLVAR;  \tA, 2, VAR",
          "   4:\tSGT \t$T1, 2, POOLVAR;  \t5, 2, IMMVAL", "   5:\tBTRUE \t$T1, 1, POOLVAR; 9",
          "   6:\tASS \tB, 2, VAR;  \tA, 2, VAR", "   7:\tADD \tA, 2, VAR;  \t1, 2, IMMVAL",
          "   8:\tBRANCH \t2", "   9:\tLABEL"}},
        {"FOR downwards",
         "FOR A := 5 TO 1 BY -2 DO B := A; END_FOR;",
         {"   1:\tASS \tA, 2, VAR;  \t5, 2, IMMVAL", "   2:\tLABEL",
          "   3:\tASS \t$T1, 2, POOLVAR;  \tA, 2, VAR",
          "   4:\tSLT \t$T1, 2, POOLVAR;  \t1, 2, IMMVAL", "   5:\tBTRUE \t$T1, 1, POOLVAR; 9",
          "   6:\tASS \tB, 2, VAR;  \tA, 2, VAR", "   7:\tADD \tA, 2, VAR;  \t-2, 2, IMMVAL",
          "   8:\tBRANCH \t2", "   9:\tLABEL"}},
        {"FOR unsigned",
         "FOR U := 0 TO V DO B := 0; END_FOR;",
         {"   1:\tASS \tU, 2, VAR;  \t0, 2, IMMVAL", "   2:\tASS \t$T1, 2, POOLVAR;  \tV, 2, VAR",
          "   3:\tLABEL", "   4:\tASS \t$T2, 2, POOLVAR;  \tU, 2, VAR",
          "   5:\tUGT \t$T2, 2, POOLVAR;  \t$T1, 2, POOLVAR", "   6:\tBTRUE \t$T2, 1, POOLVAR; 10",
          "   7:\tASS \tB, 2, VAR;  \t0, 2, IMMVAL", "   8:\tADD \tU, 2, VAR;  \t1, 2, IMMVAL",
          "   9:\tBRANCH \t3", "  10:\tLABEL"}},
        {"FOR with a step known at run time",
         "FOR A := 10 TO 0 BY B DO D := 1; END_FOR;",
         {"   1:\tASS \tA, 2, VAR;  \t10, 2, IMMVAL", "   2:\tASS \t$T1, 2, POOLVAR;  \tB, 2, VAR",
          "   3:\tLABEL", "   4:\tASS \t$T2, 2, POOLVAR;  \t$T1, 2, POOLVAR",
          "   5:\tSLT \t$T2, 2, POOLVAR;  \t0, 2, IMMVAL", "   6:\tBTRUE \t$T2, 1, POOLVAR; 11",
          "   7:\tASS \t$T3, 2, POOLVAR;  \tA, 2, VAR",
          "   8:\tSGT \t$T3, 2, POOLVAR;  \t0, 2, IMMVAL", "   9:\tBTRUE \t$T3, 1, POOLVAR; 19",
          "  10:\tBRANCH \t15", "  11:\tLABEL", "  12:\tASS \t$T4, 2, POOLVAR;  \tA, 2, VAR",
          "  13:\tSLT \t$T4, 2, POOLVAR;  \t0, 2, IMMVAL", "  14:\tBTRUE \t$T4, 1, POOLVAR; 19",
          "  15:\tLABEL", "  16:\tASS \tD, 4, VAR;  \t1, 4, IMMVAL",
          "  17:\tADD \tA, 2, VAR;  \t$T1, 2, POOLVAR", "  18:\tBRANCH \t3", "  19:\tLABEL"}},
        {"EXIT leaves the innermost loop",
         "WHILE X DO REPEAT EXIT; UNTIL Y END_REPEAT; EXIT; END_WHILE;",
         {"   1:\tLABEL", "   2:\tBFALSE \tX, 1, VAR; 9", "   3:\tLABEL", "   4:\tBRANCH \t6",
          "   5:\tBFALSE \tY, 1, VAR; 3", "   6:\tLABEL", "   7:\tBRANCH \t9", "   8:\tBRANCH \t1",
          "   9:\tLABEL"}},
        {"RETURN",
         "IF X THEN RETURN; END_IF; A := 1;",
         {"   1:\tBFALSE \tX, 1, VAR; 3", "   2:\tRET", "   3:\tLABEL",
          "   4:\tASS \tA, 2, VAR;  \t1, 2, IMMVAL"}},
    };
    Check(cases, std::size(cases));
}

TEST(EncoderControl, Calls) {
    const Case cases[] = {
        {"function block with inputs and outputs",
         "I1(IN1 := X, N := 3, Q => Y, CV => A);",
         {"   1:\tBASS \tI1.IN1, 1, POOLVAR;  \tX, 1, VAR",
          "   2:\tASS \tI1.N, 2, POOLVAR;  \t3, 2, IMMVAL", "   3:\tPAV I1, 4",
          "   4:\tJMPDFB \tFB1, 4", "   5:\tBASS \tY, 1, VAR;  \tI1.Q, 1, POOLVAR",
          "   6:\tASS \tA, 2, VAR;  \tI1.CV, 2, POOLVAR"}},
        {"negated output",
         "I1(IN1 := X, NOT Q => Y);",
         {"   1:\tBASS \tI1.IN1, 1, POOLVAR;  \tX, 1, VAR", "   2:\tPAV I1, 2",
          "   3:\tJMPDFB \tFB1, 2", "   4:\tBASS \tY, 1, VAR;  \tI1.Q, 1, POOLVAR",
          "   5:\tBNOT \tY, 1, VAR"}},
        {"instance output read later",
         "I1(); X := I1.Q;",
         {"   1:\tPAV I1, 0", "   2:\tJMPDFB \tFB1, 0",
          "   3:\tBASS \tX, 1, VAR;  \tI1.Q, 1, POOLVAR"}},
        {"function with named arguments",
         "A := F2(A1 := B, A2 := 1);",
         {"   1:\tASS \t$T1, 2, POOLVAR;  \t1, 2, IMMVAL", "   2:\tPAV \tB, 2, VAR",
          "   3:\tPAV \t$T1, 2, POOLVAR", "   4:\tPAV \t$T2, 2, POOLVAR", "   5:\tJMPFDFB \tF2, 3",
          "   6:\tASS \tA, 2, VAR;  \t$T2, 2, POOLVAR"}},
        {"named arguments in another order",
         "A := F2(A2 := 1, A1 := B);",
         {"   1:\tASS \t$T1, 2, POOLVAR;  \t1, 2, IMMVAL", "   2:\tPAV \tB, 2, VAR",
          "   3:\tPAV \t$T1, 2, POOLVAR", "   4:\tPAV \t$T2, 2, POOLVAR", "   5:\tJMPFDFB \tF2, 3",
          "   6:\tASS \tA, 2, VAR;  \t$T2, 2, POOLVAR"}},
        {"positional arguments",
         "A := F2(B, 1);",
         {"   1:\tASS \t$T1, 2, POOLVAR;  \t1, 2, IMMVAL", "   2:\tPAV \tB, 2, VAR",
          "   3:\tPAV \t$T1, 2, POOLVAR", "   4:\tPAV \t$T2, 2, POOLVAR", "   5:\tJMPFDFB \tF2, 3",
          "   6:\tASS \tA, 2, VAR;  \t$T2, 2, POOLVAR"}},
        {"call inside an expression",
         "A := F2(B, A) + 1;",
         {"   1:\tPAV \tB, 2, VAR", "   2:\tPAV \tA, 2, VAR", "   3:\tPAV \t$T1, 2, POOLVAR",
          "   4:\tJMPFDFB \tF2, 3", "   5:\tADD \t$T1, 2, POOLVAR;  \t1, 2, IMMVAL",
          "   6:\tASS \tA, 2, VAR;  \t$T1, 2, POOLVAR"}},
    };
    Check(cases, std::size(cases));
}

TEST(EncoderControl, BodiesOfFunctionsAndFunctionBlocks) {
    struct UnitCase {
        const char* unit;
        const char* head;
        Lines lines;
    };
    const UnitCase cases[] = {
        {"F2",
         "(* FUNCTION F2 *)",
         {"   1:\tASS \t$T1, 2, POOLVAR;  \tA1, 2, FRMPAR",
          "   2:\tSUB \t$T1, 2, POOLVAR;  \tA2, 2, FRMPAR",
          "   3:\tASS \tF2, 2, POOLVAR;  \t$T1, 2, POOLVAR", "   4:\tRET"}},
        {"FB1",
         "(* FUNCTION_BLOCK FB1 *)",
         {"   1:\tBASS \tQ, 1, FRMPAR;  \tIN1, 1, FRMPAR", "   2:\tRET"}},
        {"p", "(* PROGRAM P *)", {"   1:\tRET"}}, // names in any case
    };
    Encoded e("");
    for (const UnitCase& c : cases) {
        SCOPED_TRACE(c.unit);
        short rc = -1;
        EXPECT_EQ(e.Listing(c.unit, &rc), c.lines);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(e.head, c.head);
    }
}

} // namespace
