// Tests of the declarations the grammar drives: TYPE blocks of every kind of
// type, program units with their result types, every variable section with
// its qualifiers and the section flags it sets, located variables,
// configurations, and the parts of the grammar the start markers select.
#include "tests/compiler/ParseTestSupport.h"

#include "compiler/TiInitValSpec.h"
#include "compiler/Tokens.h"

#include <gtest/gtest.h>

#include <string>

using parsetest::Rig;

TEST(ParserDeclaration, TypeBlocksOfEveryKind) {
    struct Case {
        const char* name;
        const char* source;
        const char* globals; // sorted "name kind size" lines
        const char* messages;
    };
    const Case cases[] = {
        {"empty source", "", "", ""},
        {"empty type block", "TYPE END_TYPE", "", ""},
        {"alias", "TYPE A : INT; B : A; END_TYPE", "A 3 2\nB 3 2\n", ""},
        {"structure", "TYPE S : STRUCT X : INT; Y : DINT; Z : BOOL; END_STRUCT; END_TYPE",
         "S 3 7\n", ""},
        {"enumeration", "TYPE E : (RED, GREEN, BLUE); END_TYPE", "E 3 2\n", ""},
        {"subrange", "TYPE R : INT (-10..10); END_TYPE", "R 3 2\n", ""},
        {"one-dimensional array", "TYPE V : ARRAY[1..10] OF REAL; END_TYPE", "V 3 40\n", ""},
        {"two-dimensional array", "TYPE M : ARRAY[1..2, 1..3] OF INT; END_TYPE",
         "INT[1..3] 3 6\nM 3 12\n", ""},
        {"array of arrays", "TYPE AA : ARRAY[1..2] OF ARRAY[0..4] OF DINT; END_TYPE",
         "AA 3 40\nDINT[0..4] 3 20\n", ""},
        {"array of structures",
         "TYPE P : STRUCT X : INT; END_STRUCT; PA : ARRAY[1..5] OF P; END_TYPE", "P 3 2\nPA 3 10\n",
         ""},
        {"nested anonymous structure",
         "TYPE O : STRUCT I : STRUCT A : BYTE; B : BYTE; END_STRUCT; C : INT; END_STRUCT; END_TYPE",
         "O 3 4\nSTRUCT$1 3 2\n", ""},
        {"several blocks", "TYPE A : INT; END_TYPE TYPE B : LREAL; END_TYPE", "A 3 2\nB 3 8\n", ""},
        {"initial value is not part of a type", "TYPE T : INT := 5; END_TYPE", "T 3 2\n",
         "t(1,17): E: M3505\n"},
        {"redeclaration", "TYPE T : INT; END_TYPE TYPE T : DINT; END_TYPE", "T 3 4\n",
         "t(1,29): E: M3465\n"},
        {"negative bounds", "TYPE N : ARRAY[-5..-1] OF INT; END_TYPE", "N 3 10\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        EXPECT_EQ(rig.Run(c.source), Parser::kAccepted);
        EXPECT_EQ(parsetest::GlobalTable(&rig.set), c.globals);
        EXPECT_EQ(parsetest::Joined(rig.Messages()), c.messages);
    }
}

TEST(ParserDeclaration, SectionFlagsOfEveryKeywordAndQualifier) {
    struct Case {
        const char* unit;
        const char* section;
        unsigned short flags;
        const char* messages;
    };
    const Case cases[] = {
        {"PROGRAM", "VAR", 0x0044, ""},
        {"PROGRAM", "VAR CONSTANT", 0x0244, ""},
        {"PROGRAM", "VAR RETAIN", 0x0444, ""},
        {"FUNCTION_BLOCK", "VAR_INPUT", 0x000A, ""},
        {"FUNCTION_BLOCK", "VAR_INPUT RETAIN", 0x040A, ""},
        {"FUNCTION_BLOCK", "VAR_OUTPUT", 0x0012, ""},
        {"FUNCTION_BLOCK", "VAR_IN_OUT", 0x0022, ""},
        {"FUNCTION_BLOCK", "VAR", 0x0042, ""},
        {"PROGRAM", "VAR_EXTERNAL", 0x0104, "t(1,22): E: M3612\n"},
        {"PROGRAM", "VAR_GLOBAL", 0x0084, "t(1,20): E: M3612\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.unit) + " " + c.section);
        Rig rig;
        std::string end = std::string("END_") + c.unit;
        std::string src = std::string(c.unit) + " U " + c.section + " V : INT; END_VAR " + end;
        EXPECT_EQ(rig.Run(src.c_str()), Parser::kAccepted);
        EXPECT_EQ(parsetest::Joined(rig.Messages()), c.messages);
        SymTab* local = rig.set.GetLocalTab("U");
        ASSERT_NE(local, nullptr);
        SymAttr* v = local->lookup("V");
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->GetKind(), sym::KIND_VARIABLE);
        EXPECT_EQ(v->GetContext(), c.flags);
    }
}

TEST(ParserDeclaration, UnitsAndVariables) {
    Rig rig;
    EXPECT_EQ(rig.Run("FUNCTION F : REAL VAR_INPUT A, B : INT; END_VAR F := 1.0; END_FUNCTION\n"
                      "FUNCTION_BLOCK FB VAR_INPUT X : BOOL; END_VAR VAR_OUTPUT Q : BOOL; END_VAR "
                      "END_FUNCTION_BLOCK\n"
                      "PROGRAM P VAR I1, I2 : FB; N : ARRAY[1..4] OF INT := [1, 2, 2 (0)]; "
                      "L AT %QW7 : WORD; END_VAR END_PROGRAM\n"),
              Parser::kAccepted);
    EXPECT_EQ(parsetest::Joined(rig.Messages()), "");
    SymAttr* f = rig.set.GetGlobalTab()->lookup("F");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->GetKind(), sym::KIND_POU);
    EXPECT_EQ(f->GetPOU_Type(), 1);
    ASSERT_NE(f->GetTypeSpec(0), nullptr);
    EXPECT_EQ(f->GetTypeSpec(0)->GetID(), iec::TYPE_REAL);
    ASSERT_NE(f->GetIO_VarEntry(), nullptr);
    EXPECT_STREQ(f->GetIO_VarEntry()->GetName(), "A");
    ASSERT_NE(f->GetIO_VarEntry()->GetNext(), nullptr);
    EXPECT_STREQ(f->GetIO_VarEntry()->GetNext()->GetName(), "B");

    SymAttr* fb = rig.set.GetGlobalTab()->lookup("FB");
    ASSERT_NE(fb, nullptr);
    EXPECT_EQ(fb->GetPOU_Type(), 2);

    SymTab* p = rig.set.GetLocalTab("P");
    ASSERT_NE(p, nullptr);
    for (const char* name : {"I1", "I2"}) {
        SCOPED_TRACE(name);
        SymAttr* inst = p->lookup(name);
        ASSERT_NE(inst, nullptr);
        EXPECT_EQ(inst->GetKind(), sym::KIND_FB_INSTANCE);
        EXPECT_EQ(inst->GetTypeSpec(0), fb);
    }
    SymAttr* n = p->lookup("N");
    ASSERT_NE(n, nullptr);
    ASSERT_NE(n->GetInitVal(), nullptr);
    EXPECT_STREQ(n->GetInitVal()->GetAsciiSpec(), "[1, 2, 2 (0)]");
    SymAttr* l = p->lookup("L");
    ASSERT_NE(l, nullptr);
    ASSERT_NE(l->GetLocatedVar(), nullptr);
    ASSERT_NE(l->GetLocatedVar()->address, nullptr);
    EXPECT_STREQ(l->GetLocatedVar()->address->GetName(), "%QW7");
}

TEST(ParserDeclaration, ConfigurationsResourcesAndTasks) {
    Rig rig;
    EXPECT_EQ(rig.Run("PROGRAM MAIN VAR_INPUT GO : BOOL; END_VAR END_PROGRAM\n"
                      "CONFIGURATION CELL\n"
                      "  RESOURCE CPU ON PLC1\n"
                      "    TASK FAST (INTERVAL := T#10ms, PRIORITY := 1);\n"
                      "    PROGRAM M1 WITH FAST : MAIN (GO := TRUE);\n"
                      "    PROGRAM M2 : MAIN;\n"
                      "  END_RESOURCE\n"
                      "END_CONFIGURATION\n"),
              Parser::kAccepted);
    EXPECT_EQ(parsetest::Joined(rig.Messages()), "");
}

TEST(ParserDeclaration, ConfigurationVariableSectionsAreReportedAsUnsupported) {
    Rig rig;
    EXPECT_EQ(rig.Run("CONFIGURATION C VAR_GLOBAL G : INT; END_VAR "
                      "VAR_ACCESS AX : CPU.P.X : INT READ_ONLY; END_VAR END_CONFIGURATION"),
              Parser::kAccepted);
    EXPECT_EQ(parsetest::Joined(rig.Messages()), "t(1,26): E: M3612\nt(1,54): E: M3612\n");
}

TEST(ParserDeclaration, StartMarkersSelectTheGrammarPart) {
    struct Case {
        const char* name;
        short start;
        const char* text;
        int result;
        const char* shape;
    };
    const Case cases[] = {
        {"access path", tok::START_258, "A.B[3]", Parser::kAccepted, "A.B[3]"},
        {"section", tok::START_259, "VAR Q : INT; END_VAR Q := 1;", Parser::kAccepted, "{ASS(Q,1)}"},
        {"expression", tok::START_260, "1 + 2 * 3", Parser::kAccepted, "ADD(1,MUL(2,3))"},
        {"declarations only", tok::START_262, "VAR W : INT; END_VAR", Parser::kAccepted, "-"},
        {"body", tok::START_263, "LD 1", Parser::kAccepted, "{1}"},
        {"types only", tok::START_264, "TYPE T : INT; END_TYPE", Parser::kAccepted, "-"},
        {"a statement where types are expected", tok::START_264, "X := 1;", Parser::kFailed, "-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        EXPECT_EQ(rig.Run(c.text, c.start), c.result);
        TiNode* t = rig.Tree();
        EXPECT_EQ(parsetest::Shape(t), c.shape);
        delete t;
    }
}

TEST(ParserDeclaration, InitialValueMarker) {
    struct Case {
        const char* text;
        const char* ascii;
    };
    const Case cases[] = {
        {"5", "5"},
        {"-5", "-5"},
        {"[1, 2, 3 (4)]", "[1, 2, 3 (4)]"},
        {"(A := 1, B := 'x')", "(A := 1, B := 'x')"},
        {"[(A := 1), (A := 2)]", "[(A := 1), (A := 2)]"},
        {"RED", "RED"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Rig rig;
        EXPECT_EQ(rig.Run(c.text, tok::START_261), Parser::kAccepted);
        TiInitValSpec* v = rig.ctx->TakeInitVal();
        ASSERT_NE(v, nullptr);
        EXPECT_STREQ(v->GetAsciiSpec(), c.ascii);
        TiDelInitValSpecList(v);
    }
}
