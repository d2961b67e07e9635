// The encoder's instructions for assignments and expressions: the
// arithmetic, comparison, logic and conversion operations chosen by operand
// type, typed calls for operations without an instruction, constants typed
// by their context, temporaries, and indexed operands addressed by ADRADD.
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
    Lines lines; // the unit's listing without its RET
};

void Check(const Case* cases, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        Encoded e(c.body);
        ASSERT_EQ(e.parseResult, 0);
        ASSERT_TRUE(e.compileMessages.empty()) << decltest::Describe(e.compileMessages);
        short rc = -1;
        Lines got = e.Listing("P", &rc);
        EXPECT_EQ(rc, 0) << decltest::Describe(e.messages);
        EXPECT_TRUE(e.messages.empty()) << decltest::Describe(e.messages);
        EXPECT_EQ(e.head, "(* PROGRAM P *)");
        ASSERT_FALSE(got.empty());
        // Every unit ends with RET, numbered after the body.
        Lines expected = c.lines;
        char ret[32];
        std::snprintf(ret, sizeof ret, "%4zu:\tRET", expected.size() + 1);
        expected.push_back(ret);
        EXPECT_EQ(got, expected);
    }
}

TEST(EncoderExpression, Assignments) {
    const Case cases[] = {
        {"empty body", "", {}},
        {"INT from a variable", "A := B;", {"   1:\tASS \tA, 2, VAR;  \tB, 2, VAR"}},
        {"BOOL is BASS", "X := Y;", {"   1:\tBASS \tX, 1, VAR;  \tY, 1, VAR"}},
        {"constant typed by the target", "D := 7;", {"   1:\tASS \tD, 4, VAR;  \t7, 4, IMMVAL"}},
        {"REAL constant", "R := 1.5;", {"   1:\tASS \tR, 4, VAR;  \t1.5, 4, IMMVAL"}},
        {"BOOL constant", "X := TRUE;", {"   1:\tBASS \tX, 1, VAR;  \tTRUE, 1, IMMVAL"}},
        {"structure copy", "P1 := P2;", {"   1:\tASS \tP1, 6, VAR;  \tP2, 6, VAR"}},
        {"component", "P1.Y := R;", {"   1:\tASS \tP1, 6, VAR, +2;  \tR, 4, VAR"}},
        {"constant index", "TAB[3] := A;", {"   1:\tASS \tTAB, 10, VAR, +4;  \tA, 2, VAR"}},
        {"a minus before a literal",
         "A := -7; R := -2.5;",
         {"   1:\tASS \tA, 2, VAR;  \t-7, 2, IMMVAL",
          "   2:\tASS \tR, 4, VAR;  \t-2.5, 4, IMMVAL"}},
        {"constants combined at once",
         "W := 16#F0 AND 16#3C; U := U + (2 * 3); D := 7 MOD 4;",
         {"   1:\tASS \tW, 2, VAR;  \t48, 2, IMMVAL", "   2:\tASS \t$T1, 2, POOLVAR;  \tU, 2, VAR",
          "   3:\tADD \t$T1, 2, POOLVAR;  \t6, 2, IMMVAL",
          "   4:\tASS \tU, 2, VAR;  \t$T1, 2, POOLVAR", "   5:\tASS \tD, 4, VAR;  \t3, 4, IMMVAL"}},
        {"real constants combined at once",
         "R := 2.0 * 1.25; L := 1.5 - 2.0;",
         {"   1:\tASS \tR, 4, VAR;  \t2.5, 4, IMMVAL",
          "   2:\tASS \tL, 8, VAR;  \t-0.5, 8, IMMVAL"}},
        {"enumeration value", "C := GREEN;", {"   1:\tASS \tC, 2, VAR;  \timmVal 1 ( 01 00 )"}},
    };
    Check(cases, std::size(cases));
}

TEST(EncoderExpression, ArithmeticByType) {
    const Case cases[] = {
        {"INT add into a temporary",
         "A := A + B;",
         {"   1:\tASS \t$T1, 2, POOLVAR;  \tA, 2, VAR",
          "   2:\tADD \t$T1, 2, POOLVAR;  \tB, 2, VAR",
          "   3:\tASS \tA, 2, VAR;  \t$T1, 2, POOLVAR"}},
        {"INT sub mul div, nested",
         "A := (A - B) * (A / B);",
         {"   1:\tASS \t$T1, 2, POOLVAR;  \tA, 2, VAR",
          "   2:\tSUB \t$T1, 2, POOLVAR;  \tB, 2, VAR",
          "   3:\tASS \t$T2, 2, POOLVAR;  \tA, 2, VAR",
          "   4:\tDIV \t$T2, 2, POOLVAR;  \tB, 2, VAR",
          "   5:\tMUL \t$T1, 2, POOLVAR;  \t$T2, 2, POOLVAR",
          "   6:\tASS \tA, 2, VAR;  \t$T1, 2, POOLVAR"}},
        {"unsigned division is UDIV",
         "U := U / V;",
         {"   1:\tASS \t$T1, 2, POOLVAR;  \tU, 2, VAR",
          "   2:\tUDIV \t$T1, 2, POOLVAR;  \tV, 2, VAR",
          "   3:\tASS \tU, 2, VAR;  \t$T1, 2, POOLVAR"}},
        {"REAL operations",
         "R := R * S - R / S + S;",
         {"   1:\tASS \t$T1, 4, POOLVAR;  \tR, 4, VAR",
          "   2:\tFMUL \t$T1, 4, POOLVAR;  \tS, 4, VAR",
          "   3:\tASS \t$T2, 4, POOLVAR;  \tR, 4, VAR",
          "   4:\tFDIV \t$T2, 4, POOLVAR;  \tS, 4, VAR",
          "   5:\tFSUB \t$T1, 4, POOLVAR;  \t$T2, 4, POOLVAR",
          "   6:\tFADD \t$T1, 4, POOLVAR;  \tS, 4, VAR",
          "   7:\tASS \tR, 4, VAR;  \t$T1, 4, POOLVAR"}},
        {"constant on the left takes the right's type",
         "D := 2 + D;",
         {"   1:\tASS \t$T1, 4, POOLVAR;  \t2, 4, IMMVAL",
          "   2:\tADD \t$T1, 4, POOLVAR;  \tD, 4, VAR",
          "   3:\tASS \tD, 4, VAR;  \t$T1, 4, POOLVAR"}},
        {"TIME plus TIME",
         "T := T + T;",
         {"   1:\tASS \t$T1, 4, POOLVAR;  \tT, 4, VAR",
          "   2:\tADD \t$T1, 4, POOLVAR;  \tT, 4, VAR",
          "   3:\tASS \tT, 4, VAR;  \t$T1, 4, POOLVAR"}},
        {"TIME times a number is a call",
         "T := T * 3;",
         {"   1:\tASS \t$T1, 4, POOLVAR;  \t3, 4, IMMVAL", "   2:\tPAV \tT, 4, VAR",
          "   3:\tPAV \t$T1, 4, POOLVAR", "   4:\tPAV \t$T2, 4, POOLVAR",
          "   5:\tJMPFFEFB \tTIME_MUL_DINT, 3", "   6:\tASS \tT, 4, VAR;  \t$T2, 4, POOLVAR"}},
        {"LREAL has no instruction",
         "L := L + L;",
         {"   1:\tPAV \tL, 8, VAR", "   2:\tPAV \tL, 8, VAR", "   3:\tPAV \t$T1, 8, POOLVAR",
          "   4:\tJMPFFEFB \tADD_LREAL, 3", "   5:\tASS \tL, 8, VAR;  \t$T1, 8, POOLVAR"}},
        {"MOD is a call",
         "A := A MOD B;",
         {"   1:\tPAV \tA, 2, VAR", "   2:\tPAV \tB, 2, VAR", "   3:\tPAV \t$T1, 2, POOLVAR",
          "   4:\tJMPFFEFB \tMOD_INT, 3", "   5:\tASS \tA, 2, VAR;  \t$T1, 2, POOLVAR"}},
        {"unary minus",
         "A := -B;",
         {"   1:\tASS \t$T1, 2, POOLVAR;  \tB, 2, VAR", "   2:\tUMIN \t$T1, 2, POOLVAR",
          "   3:\tASS \tA, 2, VAR;  \t$T1, 2, POOLVAR"}},
    };
    Check(cases, std::size(cases));
}

TEST(EncoderExpression, ComparisonsByType) {
    const Case cases[] = {
        {"signed",
         "X := A > B;",
         {"   1:\tASS \t$T1, 2, POOLVAR;  \tA, 2, VAR",
          "   2:\tSGT \t$T1, 2, POOLVAR;  \tB, 2, VAR",
          "   3:\tBASS \tX, 1, VAR;  \t$T1, 1, POOLVAR"}},
        {"signed, all six",
         "X := A >= B; X := A < B; X := A <= B; X := A = B; X := A <> B;",
         {"   1:\tASS \t$T1, 2, POOLVAR;  \tA, 2, VAR",
          "   2:\tSGE \t$T1, 2, POOLVAR;  \tB, 2, VAR",
          "   3:\tBASS \tX, 1, VAR;  \t$T1, 1, POOLVAR",
          "   4:\tASS \t$T1, 2, POOLVAR;  \tA, 2, VAR",
          "   5:\tSLT \t$T1, 2, POOLVAR;  \tB, 2, VAR",
          "   6:\tBASS \tX, 1, VAR;  \t$T1, 1, POOLVAR",
          "   7:\tASS \t$T1, 2, POOLVAR;  \tA, 2, VAR",
          "   8:\tSLE \t$T1, 2, POOLVAR;  \tB, 2, VAR",
          "   9:\tBASS \tX, 1, VAR;  \t$T1, 1, POOLVAR",
          "  10:\tASS \t$T1, 2, POOLVAR;  \tA, 2, VAR", "  11:\tEQ \t$T1, 2, POOLVAR;  \tB, 2, VAR",
          "  12:\tBASS \tX, 1, VAR;  \t$T1, 1, POOLVAR",
          "  13:\tASS \t$T1, 2, POOLVAR;  \tA, 2, VAR", "  14:\tNE \t$T1, 2, POOLVAR;  \tB, 2, VAR",
          "  15:\tBASS \tX, 1, VAR;  \t$T1, 1, POOLVAR"}},
        {"unsigned",
         "X := U < V;",
         {"   1:\tASS \t$T1, 2, POOLVAR;  \tU, 2, VAR",
          "   2:\tULT \t$T1, 2, POOLVAR;  \tV, 2, VAR",
          "   3:\tBASS \tX, 1, VAR;  \t$T1, 1, POOLVAR"}},
        {"bit string",
         "X := W >= 16#10;",
         {"   1:\tASS \t$T1, 2, POOLVAR;  \tW, 2, VAR",
          "   2:\tUGE \t$T1, 2, POOLVAR;  \t16, 2, IMMVAL",
          "   3:\tBASS \tX, 1, VAR;  \t$T1, 1, POOLVAR"}},
        {"BOOL",
         "X := X = Y;",
         {"   1:\tBASS \t$T1, 1, POOLVAR;  \tX, 1, VAR",
          "   2:\tBEQ \t$T1, 1, POOLVAR;  \tY, 1, VAR",
          "   3:\tBASS \tX, 1, VAR;  \t$T1, 1, POOLVAR"}},
        {"enumeration as UINT",
         "X := C <> GREEN;",
         {"   1:\tASS \t$T1, 2, POOLVAR;  \tC, 2, VAR",
          "   2:\tNE \t$T1, 2, POOLVAR;  \timmVal 1 ( 01 00 )",
          "   3:\tBASS \tX, 1, VAR;  \t$T1, 1, POOLVAR"}},
        {"REAL is a call",
         "X := R <= S;",
         {"   1:\tPAV \tR, 4, VAR", "   2:\tPAV \tS, 4, VAR", "   3:\tPAV \t$T1, 1, POOLVAR",
          "   4:\tJMPFFEFB \tLE_REAL, 3", "   5:\tBASS \tX, 1, VAR;  \t$T1, 1, POOLVAR"}},
    };
    Check(cases, std::size(cases));
}

TEST(EncoderExpression, LogicAndConversions) {
    const Case cases[] = {
        {"BOOL logic",
         "X := X AND Y OR NOT X;",
         {"   1:\tBASS \t$T1, 1, POOLVAR;  \tX, 1, VAR",
          "   2:\tAND \t$T1, 1, POOLVAR;  \tY, 1, VAR",
          "   3:\tBASS \t$T2, 1, POOLVAR;  \tX, 1, VAR", "   4:\tBNOT \t$T2, 1, POOLVAR",
          "   5:\tOR \t$T1, 1, POOLVAR;  \t$T2, 1, POOLVAR",
          "   6:\tBASS \tX, 1, VAR;  \t$T1, 1, POOLVAR"}},
        {"bit strings",
         "W := W XOR 16#FF; W := NOT W;",
         {"   1:\tASS \t$T1, 2, POOLVAR;  \tW, 2, VAR",
          "   2:\tXOR \t$T1, 2, POOLVAR;  \t255, 2, IMMVAL",
          "   3:\tASS \tW, 2, VAR;  \t$T1, 2, POOLVAR",
          "   4:\tASS \t$T1, 2, POOLVAR;  \tW, 2, VAR", "   5:\tNOT \t$T1, 2, POOLVAR",
          "   6:\tASS \tW, 2, VAR;  \t$T1, 2, POOLVAR"}},
        {"conversion instructions",
         "R := INT_TO_REAL(A); D := INT_TO_DINT(A); A := REAL_TO_INT(R);",
         {"   1:\tINT_TO_REAL \t$T1, 4, POOLVAR;  \tA, 2, VAR",
          "   2:\tASS \tR, 4, VAR;  \t$T1, 4, POOLVAR",
          "   3:\tINT_TO_DINT \t$T1, 4, POOLVAR;  \tA, 2, VAR",
          "   4:\tASS \tD, 4, VAR;  \t$T1, 4, POOLVAR",
          "   5:\tREAL_TO_INT \t$T1, 2, POOLVAR;  \tR, 4, VAR",
          "   6:\tASS \tA, 2, VAR;  \t$T1, 2, POOLVAR"}},
        {"same size is a copy",
         "U := INT_TO_UINT(A);",
         {"   1:\tASS \t$T1, 2, POOLVAR;  \tA, 2, VAR",
          "   2:\tASS \tU, 2, VAR;  \t$T1, 2, POOLVAR"}},
        {"other conversions are calls",
         "A := DINT_TO_INT(D);",
         {"   1:\tPAV \tD, 4, VAR", "   2:\tPAV \t$T1, 2, POOLVAR",
          "   3:\tJMPFFEFB \tDINT_TO_INT, 2", "   4:\tASS \tA, 2, VAR;  \t$T1, 2, POOLVAR"}},
    };
    Check(cases, std::size(cases));
}

TEST(EncoderExpression, IndexedOperands) {
    const Case cases[] = {
        {"variable index on the target",
         "TAB[A] := B;",
         {"   1:\tINT_TO_DINT \t$T1, 4, POOLVAR;  \tA, 2, VAR",
          "   2:\tMUL \t$T1, 4, POOLVAR;  \t2, 4, IMMVAL",
          "   3:\tADD \t$T1, 4, POOLVAR;  \t-2, 4, IMMVAL",
          "   4:\tADRADD \tTAB, 10, VAR;  \t$T1, 4, POOLVAR",
          "   5:\tASS \tTAB, 10, VAR;  \tB, 2, VAR"}},
        {"variable index on the source",
         "B := TAB[D];",
         {"   1:\tASS \t$T1, 4, POOLVAR;  \tD, 4, VAR",
          "   2:\tMUL \t$T1, 4, POOLVAR;  \t2, 4, IMMVAL",
          "   3:\tADD \t$T1, 4, POOLVAR;  \t-2, 4, IMMVAL",
          "   4:\tADRADD \tTAB, 10, VAR;  \t$T1, 4, POOLVAR",
          "   5:\tASS \tB, 2, VAR;  \tTAB, 10, VAR"}},
        {"both indexed: the source goes through a temporary",
         "TAB[A] := TAB[B];",
         {"   1:\tINT_TO_DINT \t$T1, 4, POOLVAR;  \tB, 2, VAR",
          "   2:\tMUL \t$T1, 4, POOLVAR;  \t2, 4, IMMVAL",
          "   3:\tADD \t$T1, 4, POOLVAR;  \t-2, 4, IMMVAL",
          "   4:\tINT_TO_DINT \t$T2, 4, POOLVAR;  \tA, 2, VAR",
          "   5:\tMUL \t$T2, 4, POOLVAR;  \t2, 4, IMMVAL",
          "   6:\tADD \t$T2, 4, POOLVAR;  \t-2, 4, IMMVAL",
          "   7:\tADRADD \tTAB, 10, VAR;  \t$T1, 4, POOLVAR",
          "   8:\tASS \t$T3, 2, POOLVAR;  \tTAB, 10, VAR",
          "   9:\tADRADD \tTAB, 10, VAR;  \t$T2, 4, POOLVAR",
          "  10:\tASS \tTAB, 10, VAR;  \t$T3, 2, POOLVAR"}},
        {"two dimensions, one constant",
         "M[A, 2] := 0;",
         {"   1:\tINT_TO_DINT \t$T1, 4, POOLVAR;  \tA, 2, VAR",
          "   2:\tMUL \t$T1, 4, POOLVAR;  \t6, 4, IMMVAL",
          "   3:\tADD \t$T1, 4, POOLVAR;  \t-4, 4, IMMVAL",
          "   4:\tADRADD \tM, 12, VAR;  \t$T1, 4, POOLVAR",
          "   5:\tASS \tM, 12, VAR;  \t0, 2, IMMVAL"}},
        {"two variable indexes",
         "M[A, B] := 0;",
         {"   1:\tINT_TO_DINT \t$T1, 4, POOLVAR;  \tA, 2, VAR",
          "   2:\tMUL \t$T1, 4, POOLVAR;  \t6, 4, IMMVAL",
          "   3:\tINT_TO_DINT \t$T2, 4, POOLVAR;  \tB, 2, VAR",
          "   4:\tMUL \t$T2, 4, POOLVAR;  \t2, 4, IMMVAL",
          "   5:\tADD \t$T1, 4, POOLVAR;  \t$T2, 4, POOLVAR",
          "   6:\tADD \t$T1, 4, POOLVAR;  \t-8, 4, IMMVAL",
          "   7:\tADRADD \tM, 12, VAR;  \t$T1, 4, POOLVAR",
          "   8:\tASS \tM, 12, VAR;  \t0, 2, IMMVAL"}},
    };
    Check(cases, std::size(cases));
}

} // namespace
