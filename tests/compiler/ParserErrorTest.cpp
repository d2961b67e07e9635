// Tests of the parser's error productions (each known mistake reports its own
// message and the construct is taken as if it were correct) and of a source
// with many independent mistakes: each is reported with its line and column
// in one run, and everything correct around them is declared.
#include "tests/compiler/ParseTestSupport.h"

#include <gtest/gtest.h>

#include <string>

using parsetest::Rig;

TEST(ParserError, ErrorProductions) {
    struct Case {
        const char* name;
        const char* source;
        const char* messages;
        const char* globals; // declared types and units afterwards
    };
    const Case cases[] = {
        {"';' missing after a type", "TYPE A : INT B : DINT; END_TYPE", "t(1,12): E: M3509\n",
         "A 3 2\nB 3 4\n"},
        {"';' missing before END_TYPE", "TYPE A : INT END_TYPE", "t(1,12): E: M3509\n", "A 3 2\n"},
        {"';' missing after a component",
         "TYPE S : STRUCT X : INT Y : BYTE; END_STRUCT; END_TYPE", "t(1,23): E: M3509\n",
         "S 3 3\n"},
        {"';' missing after a variable", "PROGRAM P VAR A : INT B : INT; END_VAR B := A; END_PROGRAM",
         "t(1,21): E: M3509\n", "P 5 0\n"},
        {"';' missing after a statement",
         "PROGRAM P VAR A : INT; END_VAR A := 1 A := 2; END_PROGRAM", "t(1,37): E: M3509\n",
         "P 5 0\n"},
        {"'=' for ':='", "PROGRAM P VAR A : INT; END_VAR A = 1; END_PROGRAM", "t(1,34): E: M3510\n",
         "P 5 0\n"},
        {"')' missing after an enumeration", "TYPE E : (R, G; END_TYPE", "t(1,14): E: M3512\n",
         "E 3 2\n"},
        {"']' missing after dimensions", "TYPE V : ARRAY[1..4 OF INT; END_TYPE",
         "t(1,22): E: M3514\n", "V 3 8\n"},
        {"IF not closed", "PROGRAM P VAR X : BOOL; END_VAR IF X THEN X := FALSE; END_PROGRAM",
         "t(1,65): E: M3515\nt(1,53): E: M3509\n", "P 5 0\n"},
        {"CASE not closed", "PROGRAM P VAR I : INT; END_VAR CASE I OF 1: I := 2; END_PROGRAM",
         "t(1,63): E: M3515\nt(1,51): E: M3509\n", "P 5 0\n"},
        {"FOR not closed", "PROGRAM P VAR I : INT; END_VAR FOR I := 1 TO 2 DO ; END_PROGRAM",
         "t(1,63): E: M3515\nt(1,51): E: M3509\n", "P 5 0\n"},
        {"WHILE not closed", "PROGRAM P VAR X : BOOL; END_VAR WHILE X DO ; END_PROGRAM",
         "t(1,56): E: M3515\nt(1,44): E: M3509\n", "P 5 0\n"},
        {"REPEAT not closed", "PROGRAM P VAR X : BOOL; END_VAR REPEAT ; UNTIL X END_PROGRAM",
         "t(1,60): E: M3515\nt(1,48): E: M3509\n", "P 5 0\n"},
        {"type keyword as a type name", "TYPE INT : BOOL; B : INT; END_TYPE", "t(1,8): E: M3518\n",
         "B 3 2\n"},
        {"type keyword as a variable name", "PROGRAM P VAR REAL : INT; END_VAR END_PROGRAM",
         "t(1,18): E: M3518\n", "P 5 0\n"},
        {"name as an array bound", "TYPE V : ARRAY[1..N] OF INT; END_TYPE", "t(1,19): E: M3478\n",
         "N 0 0\nV 3 2\n"},
        {"literal as a type", "TYPE T : 5; U : INT; END_TYPE", "t(1,10): E: M3486\n",
         "T 0 0\nU 3 2\n"},
        {"declaration after the first statement",
         "PROGRAM P VAR A : INT; END_VAR A := 1; VAR B : INT; END_VAR B := A; END_PROGRAM",
         "t(1,42): E: M3572\n", "P 5 0\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        EXPECT_EQ(rig.Run(c.source), Parser::kAccepted);
        EXPECT_EQ(rig.syntaxErrors, 0);
        EXPECT_EQ(parsetest::Joined(rig.Messages()), c.messages);
        EXPECT_EQ(parsetest::GlobalTable(&rig.set, true), c.globals);
    }
}

TEST(ParserError, LateDeclarationIsDeclared) {
    Rig rig;
    rig.Run("PROGRAM P VAR A : INT; END_VAR A := 1; VAR B : INT; END_VAR B := A; END_PROGRAM");
    SymTab* p = rig.set.GetLocalTab("P");
    ASSERT_NE(p, nullptr);
    ASSERT_NE(p->lookup("B"), nullptr);
    EXPECT_EQ(p->lookup("B")->GetKind(), sym::KIND_VARIABLE);
    TiNode* t = rig.Tree();
    EXPECT_EQ(parsetest::Shape(t), "{LABEL(P,{ASS(A,1); ASS(B,A)})}");
    delete t;
}

TEST(ParserError, ManyIndependentMistakesInOneRun) {
    // Ten mistakes, each far enough from the last for the recovery to report
    // it; every correct declaration around them is made.
    const char* source =
        "TYPE\n"                                          // 1
        "  GOOD1 : INT;\n"                                // 2
        "  BAD1 : $ ;\n"                                  // 3  syntax error
        "  GOOD2 : STRUCT A : INT; B : REAL; END_STRUCT;\n" // 4
        "  BAD2 : ARRAY[1..2 OF INT;\n"                   // 5  ']' expected
        "  GOOD3 : (RED, GREEN);\n"                       // 6
        "  BAD3 : INT := 1;\n"                            // 7  initial value in a type
        "  GOOD4 : ARRAY[0..3] OF GOOD2;\n"               // 8
        "  GOOD4 : DINT;\n"                               // 9  redeclared
        "  GOOD5 : INT (0..100)\n"                        // 10 ';' expected
        "  GOOD6 : UNKNOWN_T;\n"                          // 11 not a type
        "END_TYPE\n"                                      // 12
        "FUNCTION_BLOCK FB1\n"                            // 13
        "VAR_INPUT IN1 : INT; END_VAR\n"                  // 14
        "VAR_OUTPUT OUT1 : INT; END_VAR\n"                // 15
        "VAR TMP : INT; TMP : BOOL; END_VAR\n"            // 16 already declared
        "  OUT1 := IN1 * ;\n"                             // 17 syntax error
        "  TMP := NOPE + 1;\n"                            // 18 not declared
        "  OUT1 := TMP;\n"                                // 19
        "END_FUNCTION_BLOCK\n"                            // 20
        "PROGRAM MAIN\n"                                  // 21
        "VAR F : FB1; R : INT; END_VAR\n"                 // 22
        "  F(IN1 := 5, XX := 1);\n"                       // 23 no such formal
        "  R := F.OUT1;\n"                                // 24
        "END_PROGRAM\n";                                  // 25
    Rig rig;
    EXPECT_EQ(rig.Run(source), Parser::kAccepted);
    EXPECT_EQ(parsetest::Joined(rig.Messages()),
              "t(3,10): E: M3508\n"
              "t(5,22): E: M3514\n"
              "t(7,17): E: M3505\n"
              "t(9,7): E: M3465\n"
              "t(10,22): E: M3509\n"
              "t(11,19): E: M3486\n"
              "t(16,18): E: M3465\n"
              "t(17,17): E: M3508\n"
              "t(18,13): E: M3575 NOPE\n"
              "t(23,16): E: M3472\n");
    EXPECT_EQ(parsetest::GlobalTable(&rig.set),
              "BAD2 3 4\n"
              "BAD3 3 2\n"
              "FB1 5 0\n"
              "GOOD1 3 2\n"
              "GOOD2 3 6\n"
              "GOOD3 3 2\n"
              "GOOD4 3 4\n"
              "GOOD5 3 2\n"
              "MAIN 5 0\n");
    SymTab* fb = rig.set.GetLocalTab("FB1");
    ASSERT_NE(fb, nullptr);
    for (const char* v : {"IN1", "OUT1", "TMP"}) {
        SCOPED_TRACE(v);
        ASSERT_NE(fb->lookup(v), nullptr);
        EXPECT_EQ(fb->lookup(v)->GetKind(), sym::KIND_VARIABLE);
    }
    EXPECT_EQ(fb->lookup("TMP")->GetMemsize(0), 2u);
    TiNode* t = rig.Tree();
    EXPECT_EQ(parsetest::Shape(t),
              "{LABEL(FB1,{ASS(TMP,ADD(NOPE,1)); ASS(OUT1,TMP)}); "
              "LABEL(MAIN,{CAL(F,ARG_ASS(IN1,5,ARG_ASS(XX,1))); ASS(R,F.OUT1)})}");
    delete t;
}

TEST(ParserError, NameReadInsideABodyOutlivesTheBody) {
    // The name after an enumeration or structure that lacks its closing
    // token is read while the body is the current scope; the body goes, the
    // name is declared all the same.
    struct Case {
        const char* name;
        const char* source;
        const char* declared; // in the unit P, or global for a TYPE block
    };
    const Case cases[] = {
        {"variable after an open enumeration", "PROGRAM P VAR INT : (E K : INT; END_VAR END_PROGRAM",
         "K"},
        {"variable after a dropped enumeration", "PROGRAM P VAR INT:(e K : BOOL; END_VAR END_PROGRAM",
         "K"},
        {"type after an open enumeration", "TYPE A : (X, Y B : INT; END_TYPE", "B"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.Run(c.source);
        SymTab* where = rig.set.GetLocalTab("P");
        if (where == nullptr) {
            where = rig.set.GetGlobalTab();
        }
        SymAttr* d = where->lookup(c.declared);
        ASSERT_NE(d, nullptr);
        EXPECT_NE(d->GetKind(), sym::KIND_UNDEFINED);
    }
}

TEST(ParserError, UnitCompiledAgainDropsTheTreesIntoItsOldScope) {
    // The second P replaces the first one's scope table: the first P's body
    // and Q's call with P's formal parameter refer into it and go; R refers
    // only to global records and stays.
    Rig rig;
    rig.Run("FUNCTION_BLOCK P VAR_INPUT A : INT; END_VAR A := 1; END_FUNCTION_BLOCK\n"
            "PROGRAM Q VAR F : P; END_VAR F(A := 2); END_PROGRAM\n"
            "PROGRAM R VAR G : INT; END_VAR G := 3; END_PROGRAM\n"
            "FUNCTION_BLOCK P VAR_INPUT B : INT; END_VAR B := 4; END_FUNCTION_BLOCK\n");
    TiNode* t = rig.Tree();
    EXPECT_EQ(parsetest::Shape(t), "{LABEL(R,{ASS(G,3)}); LABEL(P,{ASS(B,4)})}");
    // The dump reads every symbol that is left.
    EXPECT_FALSE(TiDumpTreeText(t).empty());
    delete t;
}
