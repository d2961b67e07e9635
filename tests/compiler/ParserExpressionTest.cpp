// Tests of Structured Text expressions: operator precedence and
// associativity of IEC 61131-3, unary operators, calls, conversions,
// indexes and selections, and the result types the tree carries.
#include "tests/compiler/ParseTestSupport.h"

#include <gtest/gtest.h>

#include <string>

using parsetest::Rig;
using parsetest::Shape;

namespace {

const char* kDecls =
    "TYPE PAIR : STRUCT X : INT; Y : ARRAY[1..3] OF INT; END_STRUCT; END_TYPE\n"
    "FUNCTION F : DINT VAR_INPUT IN1 : INT; IN2 : INT; END_VAR F := IN1; END_FUNCTION\n";

// Parses "R := <expr>;" in a program and returns the assigned expression's
// shape; `messages` receives the messages.
std::string ExprShape(const std::string& expr, std::string* messages = nullptr,
                      short* type = nullptr) {
    Rig rig;
    std::string src = std::string(kDecls) +
                      "PROGRAM P VAR A, B, C, D : INT; R : DINT; Q : BOOL; "
                      "ARR : ARRAY[0..9] OF INT; M : ARRAY[1..2, 1..3] OF INT; "
                      "S : PAIR; SA : ARRAY[1..2] OF PAIR; END_VAR\n"
                      "R := " + expr + ";\nEND_PROGRAM\n";
    rig.Run(src.c_str());
    if (messages != nullptr) {
        *messages = parsetest::Joined(rig.Messages());
    }
    TiNode* root = rig.Tree();
    // root: STATEM_LIST(LABEL(F, ...), LABEL(P, {ASS}))
    const TiNode* label = root != nullptr ? root->Child(2) : nullptr;
    const TiNode* body = label != nullptr ? label->Child(2) : nullptr;
    const TiNode* ass = body != nullptr ? body->Child(1) : nullptr;
    std::string out = ass != nullptr && ass->kind == tree::ASS ? Shape(ass->Child(2)) : "?";
    if (type != nullptr && ass != nullptr) {
        *type = static_cast<short>(ass->Child(2) != nullptr ? ResultType(ass->Child(2)) : 0);
    }
    delete root;
    return out;
}

} // namespace

TEST(ParserExpression, PrecedenceAndAssociativity) {
    struct Case {
        const char* expr;
        const char* shape;
    };
    const Case cases[] = {
        {"A", "A"},
        {"A + B * C", "ADD(A,MUL(B,C))"},
        {"A * B + C", "ADD(MUL(A,B),C)"},
        {"A - B - C", "SUB(SUB(A,B),C)"},
        {"A / B * C", "MUL(DIV(A,B),C)"},
        {"A MOD B / C", "DIV(MOD(A,B),C)"},
        {"A ** B ** C", "POWER(POWER(A,B),C)"},
        {"-A ** 2", "UMINUS(POWER(A,2))"},
        {"-A * B", "MUL(UMINUS(A),B)"},
        {"+A", "A"},
        {"NOT A AND B", "AND(NOT(A),B)"},
        {"NOT (A AND B)", "NOT(AND(A,B))"},
        {"A < B = C > D", "EQ(LT(A,B),GT(C,D))"},
        {"A <> B", "NE(A,B)"},
        {"A <= B + 1", "LE(A,ADD(B,1))"},
        {"A >= B", "GE(A,B)"},
        {"A OR B XOR C AND D", "OR(A,XOR(B,AND(C,D)))"},
        {"A & B OR C", "OR(AND(A,B),C)"},
        {"A = B AND C = D", "AND(EQ(A,B),EQ(C,D))"},
        {"(A + B) * C", "MUL(ADD(A,B),C)"},
        {"((((A))))", "A"},
        {"A + -B", "ADD(A,UMINUS(B))"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expr);
        std::string msgs;
        EXPECT_EQ(ExprShape(c.expr, &msgs), c.shape);
        EXPECT_EQ(msgs, "");
    }
}

TEST(ParserExpression, OperandsAndCalls) {
    struct Case {
        const char* expr;
        const char* shape;
        const char* messages;
    };
    const Case cases[] = {
        {"16#FF", "255", ""},
        {"-5", "UMINUS(5)", ""},
        {"-2.5", "UMINUS(2.5)", ""},
        {"T#1s", "t#1s", ""},
        {"TRUE", "TRUE", ""},
        {"ARR[A + 1]", "ARR[ADD(A,1)]", ""},
        {"M[1, 2]", "M[1,2]", ""},
        {"M[1][2]", "M[1,2]", ""},
        {"S.X", "S.X", ""},
        {"S.Y[2]", "S.Y[2]", ""},
        {"SA[1].Y[3]", "SA[1].Y[3]", ""},
        {"F(1, 2)", "CAL(F,ARG_ASS(-,1,ARG_ASS(-,2)))", ""},
        {"F(IN1 := A, IN2 := 3)", "CAL(F,ARG_ASS(IN1,A,ARG_ASS(IN2,3)))", ""},
        {"F()", "CAL(F)", ""},
        {"INT_TO_DINT(A)", "CONV_DTYPE(DINT,A)", ""},
        {"%IW4", "%IW4", ""},
        // Mistakes in expressions.
        {"UNKNOWN", "UNKNOWN", "t(4,12): E: M3575 UNKNOWN\n"},
        {"A[1]", "A[1]", "t(4,8): E: M3480\n"},
        {"M[1, 2, 3]", "M[1,2,3]", "t(4,8): E: M3481\n"},
        {"S.Z", "S.Z", "t(4,8): E: M3472\n"},
        {"F(IN3 := 1)", "CAL(F,ARG_ASS(IN3,1))", "t(4,10): E: M3472\n"},
        {"G(1)", "CAL(G,ARG_ASS(-,1))", "t(4,6): E: M3575 G\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expr);
        std::string msgs;
        EXPECT_EQ(ExprShape(c.expr, &msgs), c.shape);
        EXPECT_EQ(msgs, c.messages);
    }
}

TEST(ParserExpression, ResultTypes) {
    struct Case {
        const char* expr;
        short type;
    };
    const Case cases[] = {
        {"A + B", iec::TYPE_INT},
        {"A < B", iec::TYPE_BOOL},
        {"Q AND Q", iec::TYPE_BOOL},
        {"F(1, 2)", iec::TYPE_DINT},
        {"INT_TO_DINT(A)", iec::TYPE_DINT},
        {"S.X * 2", iec::TYPE_INT},
        {"-A", iec::TYPE_INT},
        {"M[1, 2]", iec::TYPE_INT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expr);
        short type = 0;
        ExprShape(c.expr, nullptr, &type);
        EXPECT_EQ(type, c.type);
    }
}
