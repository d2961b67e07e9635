// Tests of the statement trees the parser builds: Structured Text
// statements, Instruction List instructions around the current result, and
// Sequential Function Chart elements.
#include "tests/compiler/ParseTestSupport.h"

#include <gtest/gtest.h>

#include <string>

using parsetest::Rig;
using parsetest::Shape;

namespace {

const char* kFb =
    "FUNCTION_BLOCK TON1 VAR_INPUT IN : BOOL; PT : TIME; END_VAR "
    "VAR_OUTPUT Q : BOOL; END_VAR END_FUNCTION_BLOCK\n";

// Compiles a program with the given declarations and body and returns the
// shape of the program's body; `messages` receives the messages.
std::string BodyShape(const char* decls, const char* body, std::string* messages) {
    Rig rig;
    std::string src = std::string(kFb) + "PROGRAM P\n" + decls + "\n" + body + "\nEND_PROGRAM\n";
    rig.Run(src.c_str());
    *messages = parsetest::Joined(rig.Messages());
    TiNode* root = rig.Tree();
    const TiNode* label = root != nullptr ? root->Child(2) : nullptr;
    std::string out = label != nullptr ? Shape(label->Child(2)) : "?";
    delete root;
    return out;
}

const char* kVars = "VAR A, B, C : INT; X, Y, Z : BOOL; T : TON1; I : INT; "
                    "COL : (RED, GREEN, BLUE); END_VAR";

} // namespace

TEST(ParserStatement, StructuredText) {
    struct Case {
        const char* name;
        const char* body;
        const char* shape;
    };
    const Case cases[] = {
        {"empty body", "", "-"},
        {"empty statements", ";;", "-"},
        {"assignment", "A := 1;", "{ASS(A,1)}"},
        {"three statements", "A := 1; B := 2; C := 3;", "{ASS(A,1); ASS(B,2); ASS(C,3)}"},
        {"if", "IF X THEN A := 1; END_IF;", "{IF_STATEM(X,{ASS(A,1)})}"},
        {"if else", "IF X THEN A := 1; ELSE A := 2; END_IF;",
         "{IF_STATEM(X,{ASS(A,1)},{ASS(A,2)})}"},
        {"elsif chain", "IF X THEN A := 1; ELSIF Y THEN A := 2; ELSIF Z THEN A := 3; ELSE A := 4; END_IF;",
         "{IF_STATEM(X,{ASS(A,1)},{IF_STATEM(Y,{ASS(A,2)},{IF_STATEM(Z,{ASS(A,3)},{ASS(A,4)})})})}"},
        {"empty then", "IF X THEN END_IF;", "{IF_STATEM(X)}"},
        {"case with list, range and else",
         "CASE A OF 1: B := 1; 2, 4..6: B := 2; C := 3; ELSE B := 0; END_CASE;",
         "{CASE_STATEM(A,CASE_ELEM(CASE_LIST(1),{ASS(B,1)},CASE_ELEM(CASE_LIST(2,-,CASE_LIST(4,6)),"
         "{ASS(B,2); ASS(C,3)})),{ASS(B,0)})}"},
        {"case of enumeration values", "CASE COL OF RED: A := 1; GREEN, BLUE: A := 2; END_CASE;",
         "{CASE_STATEM(COL,CASE_ELEM(CASE_LIST(RED),{ASS(A,1)},CASE_ELEM(CASE_LIST(GREEN,-,CASE_LIST(BLUE)),{ASS(A,2)})))}"},
        {"case with negative label", "CASE A OF -1: B := 1; END_CASE;",
         "{CASE_STATEM(A,CASE_ELEM(CASE_LIST(-1),{ASS(B,1)}))}"},
        {"for", "FOR I := 1 TO 10 DO A := I; END_FOR;",
         "{FOR_STATEM(I,FOR_LIST(1,10),{ASS(A,I)})}"},
        {"for by", "FOR I := 10 TO 0 BY -2 DO END_FOR;", "{FOR_STATEM(I,FOR_LIST(10,0,UMINUS(2)))}"},
        {"while", "WHILE A < 10 DO A := A + 1; END_WHILE;",
         "{WHILE_STATEM(LT(A,10),{ASS(A,ADD(A,1))})}"},
        {"repeat", "REPEAT A := A + 1; UNTIL A > 5 END_REPEAT;",
         "{REPEAT(GT(A,5),{ASS(A,ADD(A,1))})}"},
        {"exit and return", "WHILE X DO EXIT; END_WHILE; RETURN;", "{WHILE_STATEM(X,{EXIT()}); RET}"},
        {"call with formal arguments", "T(IN := X, PT := T#5s);",
         "{CAL(T,ARG_ASS(IN,X,ARG_ASS(PT,t#5s)))}"},
        {"call with output", "T(IN := X, Q => Y);", "{CAL(T,ARG_ASS(IN,X,ARG_ASS=>(Q,Y)))}"},
        {"call with negated output", "T(IN := X, NOT Q => Y);",
         "{CAL(T,ARG_ASS(IN,X,ARG_ASS=>NOT(Q,Y)))}"},
        {"call with EN and ENO", "T(EN := X, IN := Y, ENO => Z);",
         "{CAL(T,ARG_ASS(EN,X,ARG_ASS(IN,Y,ARG_ASS=>(ENO,Z))))}"},
        {"call without arguments", "T();", "{CAL(T)}"},
        {"instance output", "Y := T.Q;", "{ASS(Y,T.Q)}"},
        {"nested loops", "FOR I := 1 TO 2 DO WHILE X DO IF Y THEN EXIT; END_IF; END_WHILE; END_FOR;",
         "{FOR_STATEM(I,FOR_LIST(1,2),{WHILE_STATEM(X,{IF_STATEM(Y,{EXIT()})})})}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string msgs;
        EXPECT_EQ(BodyShape(kVars, c.body, &msgs), c.shape);
        EXPECT_EQ(msgs, "");
    }
}

TEST(ParserStatement, InstructionList) {
    struct Case {
        const char* name;
        const char* body;
        const char* shape;
    };
    const Case cases[] = {
        {"load and store", "LD A\nST B", "{ASS(B,EXPR_DEF(A))}"},
        {"stored twice", "LD A\nST B\nST C", "{ASS(B,EXPR_DEF(A)); ASS(C,REF)}"},
        {"operators", "LD A\nADD 1\nMUL B\nST C", "{ASS(C,EXPR_DEF(MUL(ADD(A,1),B)))}"},
        {"negated load and store", "LDN X\nSTN Y", "{ASS(Y,NOT(EXPR_DEF(NOT(X))))}"},
        {"N modifier", "LD X\nANDN Y\nORN Z\nXORN X\nST Y",
         "{ASS(Y,EXPR_DEF(XOR(OR(AND(X,NOT(Y)),NOT(Z)),NOT(X))))}"},
        {"deferred operator", "LD A\nMUL( B\nADD C\n)\nST A", "{ASS(A,EXPR_DEF(MUL(A,ADD(B,C))))}"},
        {"nested deferred operators", "LD X\nAND( Y\nOR( Z\n)\n)\nST X",
         "{ASS(X,EXPR_DEF(AND(X,OR(Y,Z))))}"},
        {"comparison", "LD A\nGT 5\nST X", "{ASS(X,EXPR_DEF(GT(A,5)))}"},
        {"not", "LD X\nNOT\nST Y", "{ASS(Y,EXPR_DEF(NOT(X)))}"},
        {"set and reset", "LD X\nS Y\nR Z",
         "{IF_STATEM(EXPR_DEF(X),{ASS(Y,TRUE)}); IF_STATEM(REF,{ASS(Z,FALSE)})}"},
        {"labels and jumps", "L1: LD X\nJMPC L2\nJMP L1\nL2: RET",
         "{LABEL(L1); EXPR_DEF(X); JMPC L2; JMP L1; LABEL(L2); RET}"},
        {"negated conditional jump", "LD X\nJMPCN L3\nL3: LD A", "{EXPR_DEF(X); JMPCN L3; LABEL(L3); A}"},
        {"conditional returns", "LD X\nRETC\nRETCN", "{EXPR_DEF(X); RETC; REF; RETCN}"},
        {"calls", "CAL T(IN := X)\nLD X\nCALC T\nCALCN T(PT := T#1s)",
         "{CAL(T,ARG_ASS(IN,X)); CAL_COND(EXPR_DEF(X),CAL(T)); CAL_COND(NOT(REF),CAL(T,ARG_ASS(PT,t#1s)))}"},
        {"current result left at the end", "LD A\nADD B", "{ADD(A,B)}"},
        {"negative operand", "LD -5\nST A", "{ASS(A,EXPR_DEF(-5))}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string msgs;
        EXPECT_EQ(BodyShape(kVars, c.body, &msgs), c.shape);
        EXPECT_EQ(msgs, "");
    }
}

TEST(ParserStatement, InstructionListMistakes) {
    struct Case {
        const char* name;
        const char* body;
        const char* messages;
    };
    const Case cases[] = {
        {"store without load", "ST A", "t(4,2): E: M3511 LD\n"},
        {"jump to no label", "JMP NOWHERE", "t(4,11): E: M3575 NOWHERE\n"},
        {"unknown operator name", "LD X\nQQ Y", "t(5,2): E: M3575 QQ\n"},
        {"close without open", ")", "t(4,1): E: M3511 (\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string msgs;
        BodyShape(kVars, c.body, &msgs);
        EXPECT_EQ(msgs, c.messages);
    }
}

TEST(ParserStatement, SequentialFunctionChart) {
    struct Case {
        const char* name;
        const char* body;
        const char* shape;
    };
    const Case cases[] = {
        {"initial step with actions", "INITIAL_STEP S0 : A1(N); A2(); END_STEP",
         "INITIAL_STEP(S0,ACTION_CAL(A1,QUALIFIER[N](A1),ACTION_CAL(A2,QUALIFIER[N](A2))))"},
        {"every qualifier",
         "STEP S1 : A1(S); A1(R); A1(L, T#1s); A1(D, T#2s); A1(P); A1(SD, T#3s); A1(DS, T#4s); A1(SL, T#5s); END_STEP",
         "STEP(S1,ACTION_CAL(A1,QUALIFIER[S](A1),ACTION_CAL(A1,QUALIFIER[R](A1),ACTION_CAL(A1,"
         "QUALIFIER[L](A1,t#1s),ACTION_CAL(A1,QUALIFIER[D](A1,t#2s),ACTION_CAL(A1,QUALIFIER[P](A1),"
         "ACTION_CAL(A1,QUALIFIER[SD](A1,t#3s),ACTION_CAL(A1,QUALIFIER[DS](A1,t#4s),ACTION_CAL(A1,"
         "QUALIFIER[SL](A1,t#5s))))))))))"},
        {"transition in ST", "INITIAL_STEP S0 : END_STEP TRANSITION FROM S0 TO S1 := X AND Y; END_TRANSITION STEP S1 : END_STEP",
         "INITIAL_STEP(S0,-,TRANSITION(S0->S1,AND(X,Y),STEP(S1)))"},
        {"named transition with step lists in IL",
         "TRANSITION T1 FROM (S1, S2) TO (S3, S4) : LD X AND Y END_TRANSITION",
         "TRANSITION(T1:S1,S2->S3,S4,{AND(X,Y)})"},
        {"actions", "ACTION A1 : A := 1; END_ACTION ACTION A2 : LD X ST Y END_ACTION",
         "ACTION(A1,{ASS(A,1)},ACTION(A2,{ASS(Y,EXPR_DEF(X))}))"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string msgs;
        EXPECT_EQ(BodyShape(kVars, c.body, &msgs), c.shape);
        EXPECT_EQ(msgs, "");
    }
}

TEST(ParserStatement, UnknownQualifierIsReportedAndTakenAsN) {
    std::string msgs;
    EXPECT_EQ(BodyShape(kVars, "STEP S1 : A1(XX); END_STEP", &msgs),
              "STEP(S1,ACTION_CAL(A1,QUALIFIER[N](A1)))");
    EXPECT_EQ(msgs, "t(4,15): E: M3511 N\n");
}

TEST(ParserStatement, TreeOfEveryUnitInSourceOrder) {
    Rig rig;
    rig.Run("TYPE T1 : INT; END_TYPE\n"
            "FUNCTION F : INT F := 1; END_FUNCTION\n"
            "FUNCTION_BLOCK FB END_FUNCTION_BLOCK\n"
            "PROGRAM P VAR A : INT; END_VAR A := 2; END_PROGRAM\n");
    EXPECT_EQ(parsetest::Joined(rig.Messages()), "");
    TiNode* root = rig.Tree();
    EXPECT_EQ(Shape(root), "{LABEL(F,{ASS(F,1)}); LABEL(FB); LABEL(P,{ASS(A,2)})}");
    delete root;

    Rig types;
    types.Run("TYPE T1 : INT; END_TYPE");
    EXPECT_EQ(types.Tree(), nullptr);
}
