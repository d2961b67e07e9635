// The text dump of statement trees: every line form, the role labels, the
// chains at one depth, symbols and constants with their details, and whole
// Structured Text, Instruction List and SFC trees against golden files.
#include "TreeTestSupport.h"
#include "compiler/TiNode.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>

using namespace treetest;

namespace {

// The dump of the given lines: each ends with "\r\n".
std::string Lines(std::initializer_list<const char*> lines) {
    std::string out;
    for (const char* l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

TiNode* Pos(TiNode* n, uint16_t line, uint16_t col) {
    n->SetPos(line, col);
    return n;
}

TiNode* Typed(TiNode* n, short type) {
    n->attribute = static_cast<uint16_t>(type);
    return n;
}

struct DumpCase {
    const char* name;
    std::function<TiNode*(Symbols&)> build;
    std::string expected;
};

void RunCases(const std::vector<DumpCase>& cases) {
    for (const DumpCase& c : cases) {
        SCOPED_TRACE(c.name);
        Symbols s;
        TiNode* n = c.build(s);
        EXPECT_EQ(TiDumpTreeText(n), c.expected);
        delete n;
    }
}

TEST(TiNodeDump, PlainLineForms) {
    RunCases({
        {"null tree", [](Symbols&) { return nullptr; }, Lines({"*** NULL"})},
        {"unknown kind", [](Symbols&) { return new TiNode(5); },
         Lines({"** Unknown node type / 0005"})},
        {"unknown kind shows what it links",
         [](Symbols& s) {
             return new TiNode(0x4242, s.Plain("q"), new TiNode(tree::NIL), nullptr);
         },
         Lines({"** Unknown node type / 4242", "  Sym: q (0, 0)", "  NIL: 0"})},
        {"lower-case hexadecimal", [](Symbols&) { return new TiNode(0x5abc); },
         Lines({"** Unknown node type / 5abc"})},
        {"NIL alone", [](Symbols&) { return new TiNode(tree::NIL); }, Lines({"NIL: 0"})},
        {"NIL over a sub-tree",
         [](Symbols&) { return new TiNode(tree::NIL, new TiNode(tree::NIL)); },
         Lines({"NIL: 0", "  NIL: 0"})},
        {"UMINUS with its type",
         [](Symbols&) { return Typed(new TiNode(tree::UMINUS, new TiNode(Int(3))), -11); },
         Lines({"UMINUS: -11", "  Const: 3, id = -11, 03 00 "})},
        {"NOT without operand", [](Symbols&) { return new TiNode(tree::NOT); },
         Lines({"NOT: 0", "  *** NULL"})},
        {"assignment",
         [](Symbols& s) {
             SymAttr* x = s.Var("x", s.types.Elem(-11));
             return Pos(new TiNode(tree::ASS, Pos(new TiNode(tree::SYMBOL, x), 2, 1),
                                   Pos(new TiNode(Int(1)), 2, 6), nullptr),
                        2, 3);
         },
         Lines({"ASS / 2011", "  Sym: x, ElemType: INT (2, 1)",
                "  Const: 1 (2, 6), id = -11, 01 00 "})},
        {"assignment with both sides missing", [](Symbols&) { return new TiNode(tree::ASS); },
         Lines({"ASS / 2011", "  *** NULL", "  *** NULL"})},
        {"type conversion",
         [](Symbols& s) {
             return new TiNode(tree::CONV_DTYPE, s.types.Elem(-18), new TiNode(Int(2)), nullptr);
         },
         Lines({"CONV_DTYPE / 2031", "  Sym: REAL, ElemType: REAL (0, 0)",
                "  Const: 2, id = -11, 02 00 "})},
        {"type description",
         [](Symbols& s) { return TiNode::MakeSymbolDesc(s.types.Elem(-11), "INT(0..9)"); },
         Lines({"SYMBOL_DESC / 0003", "  Sym: INT, ElemType: INT (0, 0)",
                "  asciiSpec: 'INT(0..9)'"})},
        {"label over a statement",
         [](Symbols& s) {
             return Pos(new TiNode(tree::LABEL, s.Label("L1"), new TiNode(tree::RET), nullptr), 7,
                        1);
         },
         Lines({"LABEL / 2040", "  Sym: L1 [LABEL] (7, 1)", "  RET:"})},
    });
}

TEST(TiNodeDump, TypedOperatorsNameTheirResultType) {
    RunCases({
        {"ADD of INT",
         [](Symbols& s) {
             SymAttr* a = s.Var("a", s.types.Elem(-11));
             return Typed(new TiNode(tree::ADD, Pos(new TiNode(tree::SYMBOL, a), 3, 5),
                                     Pos(new TiNode(Int(1)), 3, 9), nullptr),
                          -11);
         },
         Lines({"ADD: INT", "  Sym: a, ElemType: INT (3, 5)",
                "  Const: 1 (3, 9), id = -11, 01 00 "})},
        {"operands missing", [](Symbols&) { return Typed(new TiNode(tree::DIV), -18); },
         Lines({"DIV: REAL", "  *** NULL", "  *** NULL"})},
        {"type without name", [](Symbols&) { return Typed(new TiNode(tree::MUL), -13); },
         Lines({"MUL: -13", "  *** NULL", "  *** NULL"})},
        {"no type yet", [](Symbols&) { return new TiNode(tree::POWER); },
         Lines({"POWER: 0", "  *** NULL", "  *** NULL"})},
        {"comparison",
         [](Symbols&) {
             return Typed(new TiNode(tree::LE, new TiNode(Int(1)), new TiNode(Int(2)), nullptr),
                          -1);
         },
         Lines({"LE: BOOL", "  Const: 1, id = -11, 01 00 ", "  Const: 2, id = -11, 02 00 "})},
        {"conditional call: parts only as present",
         [](Symbols&) {
             return Typed(
                 new TiNode(tree::CAL_COND, new TiNode(tree::NIL), nullptr, new TiNode(tree::NIL)),
                 -1);
         },
         Lines({"CAL_COND: BOOL", "  NIL: 0", "  NIL: 0"})},
    });
    // Every operator of the list prints in the typed form.
    const int32_t ops[] = {tree::ADD,   tree::SUB, tree::MUL, tree::DIV, tree::MOD,
                           tree::POWER, tree::OR,  tree::XOR, tree::AND, tree::EQ,
                           tree::NE,    tree::GT,  tree::GE,  tree::LT,  tree::LE};
    for (int32_t op : ops) {
        SCOPED_TRACE(NodeKindName(op));
        TiNode n(op, new TiNode(tree::NIL), new TiNode(tree::NIL), nullptr);
        n.attribute = static_cast<uint16_t>(-12);
        EXPECT_EQ(TiDumpTreeText(&n),
                  std::string(NodeKindName(op)) + ": DINT\r\n  NIL: 0\r\n  NIL: 0\r\n");
    }
}

TEST(TiNodeDump, JumpsExitsQualifiersAndExpressions) {
    RunCases({
        {"JMP", [](Symbols& s) { return TiNode::MakeJump(tree::JMP, 0, s.Label("M1")); },
         Lines({"JMP:", "  Sym: M1 [LABEL] (0, 0)"})},
        {"JMPC", [](Symbols& s) { return TiNode::MakeJump(tree::JMP, 2, s.Label("M1")); },
         Lines({"JMPC:", "  Sym: M1 [LABEL] (0, 0)"})},
        {"JMPN", [](Symbols& s) { return TiNode::MakeJump(tree::JMP, 3, s.Label("M1")); },
         Lines({"JMPN:", "  Sym: M1 [LABEL] (0, 0)"})},
        {"JMP with another attribute",
         [](Symbols&) { return TiNode::MakeJump(tree::JMP, 1, nullptr); },
         Lines({"JMP:", "  *** NULL"})},
        {"RET", [](Symbols&) { return TiNode::MakeJump(tree::RET, 0, nullptr); }, Lines({"RET:"})},
        {"RETC", [](Symbols&) { return TiNode::MakeJump(tree::RET, 2, nullptr); },
         Lines({"RETC:"})},
        {"RETN", [](Symbols&) { return TiNode::MakeJump(tree::RET, 3, nullptr); },
         Lines({"RETN:"})},
        {"EXIT", [](Symbols& s) { return new TiNode(tree::EXIT, s.Plain("loop")); },
         Lines({"EXIT (loop)"})},
        {"EXIT without symbol", [](Symbols&) { return new TiNode(tree::EXIT); },
         Lines({"EXIT ()"})},
        {"qualifier",
         [](Symbols& s) { return TiNode::MakeQualifier(tree::QUAL_SD, s.Plain("A1"), nullptr); },
         Lines({"QUALIFIER [SD]", "  Sym: A1 [SFC action] (0, 0)"})},
        {"unknown qualifier",
         [](Symbols& s) { return TiNode::MakeQualifier(9, s.Plain("A1"), new TiNode(Int(1))); },
         Lines({"QUALIFIER [Unknown]", "  Sym: A1 [SFC action] (0, 0)",
                "  Const: 1, id = -11, 01 00 "})},
        {"expression definition and a reference",
         [](Symbols&) {
             TiNode* def = TiNode::MakeExprDef(Typed(new TiNode(tree::NIL), -1));
             TiNode* r1 = TiNode::MakeExprRef(def);
             TiNode* r2 = TiNode::MakeExprRef(def);
             TiNode* list = new TiNode(tree::STATEM_LIST, def, r1, nullptr);
             TiNode* last = list;
             TiAppendStatement(&last, r2, nullptr);
             return list;
         },
         Lines({"STATEM_LIST / 3010", "  EXPR_DEF (refs: 2)", "    NIL: -1", "  EXPR_REF / 1061",
                "STATEM_LIST / 3010", "  EXPR_REF / 1061"})},
    });
}

TEST(TiNodeDump, IndexedSymbolsCountTheirDimensions) {
    RunCases({
        {"two indexes",
         [](Symbols& s) {
             SymAttr* a = s.Var("a2", s.types.ArrayChain({{0, 1}, {1, 2}}, s.types.Elem(-11)));
             TiNode* idx = new TiNode(tree::ADRADD, new TiNode(Int(0)),
                                      new TiNode(tree::ADRADD, new TiNode(Int(1))), nullptr);
             return Pos(new TiNode(tree::SYMBOL, a, idx, nullptr), 4, 2);
         },
         Lines({"Sym: a2, ElemType: INT, Array-Dim: 2 (4, 2)", "  ADRADD,  Dim:2",
                "    Const: 0, id = -11, 00 00 ", "    ADRADD,  Dim:1",
                "      Const: 1, id = -11, 01 00 "})},
        {"component selection",
         [](Symbols& s) {
             SymAttr* intT = s.types.Elem(-11);
             SymAttr* st = s.Var("rec", s.types.Struct("POINT", {{"x", intT}, {"y", intT}}));
             SymAttr* y = s.Var("y", intT);
             return new TiNode(tree::SYMBOL, st, nullptr, new TiNode(tree::SYMBOL, y));
         },
         Lines({"Sym: rec, ElemType: POINT, (STRUCT) (0, 0)", "  Sym: y, ElemType: INT (0, 0)"})},
        {"index without expression", [](Symbols&) { return new TiNode(tree::ADRADD); },
         Lines({"ADRADD,  Dim:1", "  *** NULL"})},
    });
}

TEST(TiNodeDump, SymbolDetails) {
    RunCases({
        {"located variable",
         [](Symbols& s) {
             return Pos(
                 new TiNode(tree::SYMBOL, s.Var("in1", s.types.Elem(-1), nullptr, true, 1, 12)),
                 65535, 65535);
         },
         Lines({"Sym: in1{1:12}, ElemType: BOOL (65535, 65535)"})},
        {"array of structures",
         [](Symbols& s) {
             SymAttr* p = s.types.Struct("P", {{"x", s.types.Elem(-12)}});
             return new TiNode(tree::SYMBOL, s.Var("pts", s.types.Array1(nullptr, 0, 9, p)));
         },
         Lines({"Sym: pts, ElemType: P, Array-Dim: 1, (STRUCT) (0, 0)"})},
        {"type without name is shown by id",
         [](Symbols& s) { return new TiNode(tree::SYMBOL, s.Var("t", s.types.Elem(-13))); },
         Lines({"Sym: t, ElemType: -13 (0, 0)"})},
        {"function",
         [](Symbols& s) { return new TiNode(tree::SYMBOL, s.Unit("F1", 1, s.types.Elem(-18))); },
         Lines({"Sym: F1, ElemType: REAL [FUNCTION] (0, 0)"})},
        {"function-block instance",
         [](Symbols& s) {
             SymAttr* fb = s.Unit("TON", 2);
             return new TiNode(tree::SYMBOL, s.Instance("t1", fb, s.Unit("P", 0)));
         },
         Lines({"Sym: t1 [FB-INST] (0, 0)"})},
        {"program unit", [](Symbols& s) { return new TiNode(tree::SYMBOL, s.Unit("P", 0)); },
         Lines({"Sym: P (0, 0)"})},
        {"anonymous record",
         [](Symbols& s) { return new TiNode(tree::SYMBOL, s.types.Anonymous()); },
         Lines({"Sym:  (0, 0)"})},
        {"symbol node without symbol", [](Symbols&) { return new TiNode(tree::SYMBOL); },
         Lines({"*** NULL"})},
    });
}

TEST(TiNodeDump, ConstantsOfEveryKind) {
    RunCases({
        {"no position", [](Symbols&) { return new TiNode(Int(0)); },
         Lines({"Const: 0, id = -11, 00 00 "})},
        {"largest position", [](Symbols&) { return Pos(new TiNode(Int(-1)), 65535, 65535); },
         Lines({"Const: -1 (65535, 65535), id = -11, FF FF "})},
        {"DINT by size", [](Symbols&) { return new TiNode(Int(40000)); },
         Lines({"Const: 40000, id = -12, 40 9C 00 00 "})},
        {"INT prefix", [](Symbols&) { return new TiNode(Int(5, -11)); },
         Lines({"Const: 5, id = -11, 05 00 "})},
        {"BYTE prefix", [](Symbols&) { return new TiNode(Int(255, -2)); },
         Lines({"Const: 16#FF, id = -2, FF "})},
        {"REAL", [](Symbols&) { return new TiNode(Real(1.5)); },
         Lines({"Const: 1.5, id = -18, 00 00 C0 3F "})},
        {"TIME", [](Symbols&) { return new TiNode(Time(1500)); },
         Lines({"Const: t#1s_500ms, id = -20, DC 05 00 00 "})},
        {"DATE", [](Symbols&) { return new TiNode(Date(2003, 3, 5)); },
         Lines({"Const: d#2003-03-05, id = -21, 65 2E "})},
        {"TIME_OF_DAY", [](Symbols&) { return new TiNode(Tod(45296789)); },
         Lines({"Const: tod#12:34:56.789, id = -22, 95 2C B3 02 "})},
        {"DATE_AND_TIME", [](Symbols&) { return new TiNode(Dt(0, 1980, 1, 1)); },
         Lines({"Const: dt#1980-01-01-00:00:00, id = -23, 00 00 00 00 21 00 00 00 "})},
        {"STRING with escapes", [](Symbols&) { return new TiNode(Str("a'\n")); },
         Lines({"Const: 'a$'$L', id = -24, 61 27 0A 00 "})},
        {"empty STRING", [](Symbols&) { return new TiNode(Str("")); },
         Lines({"Const: '', id = -24, 00 "})},
        {"BOOL", [](Symbols&) { return new TiNode(Bool(true)); },
         Lines({"Const: TRUE, id = -1, 01 "})},
        {"LINT", [](Symbols&) { return new TiNode(Int(7, -13)); },
         Lines({"Const: 7, id = -13, 07 00 00 00 00 00 00 00 "})},
        {"cannot be formatted: LWORD", [](Symbols&) { return Pos(new TiNode(Int(1, -5)), 8, 2); },
         Lines({"** Unknown const type: -5 (8, 2)"})},
        {"cannot be formatted: no kind", [](Symbols&) { return new TiNode(new IEC_CONSTANT); },
         Lines({"** Unknown const type: 0 (0, 0)"})},
        {"constant leaf without constant",
         [](Symbols&) { return new TiNode(static_cast<IEC_CONSTANT*>(nullptr)); },
         Lines({"*** NULL"})},
        {"named literal",
         [](Symbols& s) {
             IEC_CONSTANT v(12);
             return Pos(TiNode::MakeLiteral(s.Literal(v)), 1, 1);
         },
         Lines({"Const: 12 (1, 1), id = -11, 0C 00 "})},
    });
}

TEST(TiNodeDump, RoleLabelsForStatements) {
    RunCases({
        {"WHILE",
         [](Symbols&) {
             return new TiNode(tree::WHILE_STATEM, new TiNode(tree::NIL),
                               new TiNode(tree::STATEM_LIST, new TiNode(tree::NIL)), nullptr);
         },
         Lines({"WHILE_STATEM", "  # expression:", "    NIL: 0",
                "  # statement list:", "    STATEM_LIST / 3010", "      NIL: 0"})},
        {"REPEAT without body",
         [](Symbols&) { return new TiNode(tree::REPEAT, new TiNode(tree::NIL)); },
         Lines({"REPEAT", "  # expression:", "    NIL: 0"})},
        {"IF without else",
         [](Symbols&) {
             return new TiNode(tree::IF_STATEM, new TiNode(tree::NIL), new TiNode(tree::NIL),
                               nullptr);
         },
         Lines({"IF_STATEM", "  # expression:", "    NIL: 0",
                "  # Then statement list:", "    NIL: 0"})},
        {"IF with else",
         [](Symbols&) {
             return new TiNode(tree::IF_STATEM, new TiNode(tree::NIL), new TiNode(tree::NIL),
                               new TiNode(tree::NIL));
         },
         Lines({"IF_STATEM", "  # expression:", "    NIL: 0", "  # Then statement list:",
                "    NIL: 0", "  # Else statement list:", "    NIL: 0"})},
        {"CASE: the else list sits two blanks deeper",
         [](Symbols&) {
             return new TiNode(tree::CASE_STATEM, new TiNode(tree::NIL),
                               new TiNode(tree::CASE_ELEM, new TiNode(tree::CASE_LIST)),
                               new TiNode(tree::NIL));
         },
         Lines({"CASE_STATEM", "  # expression:", "    NIL: 0",
                "  # Case element list:", "    CASE_ELEM / 3022", "      CASE_LIST / 3023",
                "  # Else statement list:", "  NIL: 0"})},
        {"FOR list without step",
         [](Symbols&) {
             return new TiNode(tree::FOR_LIST, new TiNode(Int(1)), new TiNode(Int(10)), nullptr);
         },
         Lines({"FOR_LIST", "  # From expression:", "    Const: 1, id = -11, 01 00 ",
                "  # To expression:", "    Const: 10, id = -11, 0A 00 "})},
        {"FOR list with step",
         [](Symbols&) {
             return new TiNode(tree::FOR_LIST, new TiNode(Int(1)), new TiNode(Int(10)),
                               new TiNode(Int(2)));
         },
         Lines({"FOR_LIST", "  # From expression:", "    Const: 1, id = -11, 01 00 ",
                "  # To expression:", "    Const: 10, id = -11, 0A 00 ",
                "  # By expression:", "    Const: 2, id = -11, 02 00 "})},
        {"FOR with nothing", [](Symbols&) { return new TiNode(tree::FOR_STATEM); },
         Lines({"FOR_STATEM"})},
    });
}

TEST(TiNodeDump, ChainsStayAtOneDepth) {
    RunCases({
        {"statement list of three",
         [](Symbols&) {
             TiNode* list = new TiNode(tree::STATEM_LIST);
             TiNode* last = list;
             for (int i = 1; i <= 3; ++i) {
                 TiAppendStatement(&last, new TiNode(Int(i)), nullptr);
             }
             return new TiNode(tree::NIL, list);
         },
         Lines({"NIL: 0", "  STATEM_LIST / 3010", "    Const: 1, id = -11, 01 00 ",
                "    Const: 2, id = -11, 02 00 ", "  STATEM_LIST / 3010",
                "    Const: 3, id = -11, 03 00 "})},
        {"empty statement list", [](Symbols&) { return new TiNode(tree::STATEM_LIST); },
         Lines({"STATEM_LIST / 3010"})},
        {"call with argument chain",
         [](Symbols& s) {
             SymAttr* fb = s.Unit("TON", 2);
             SymAttr* t1 = s.Instance("t1", fb, s.Unit("P", 0));
             TiNode* args = new TiNode(
                 tree::ARG_ASS, s.Plain("IN"), new TiNode(Bool(true)),
                 new TiNode(tree::ARG_ASS, s.Plain("PT"), new TiNode(Time(500)), nullptr));
             return new TiNode(tree::CAL, t1, args, nullptr);
         },
         Lines({"CAL / 2030", "  Sym: t1 [FB-INST] (0, 0)", "  ARG_ASS / 2012",
                "    Sym: IN (0, 0)", "    Const: TRUE, id = -1, 01 ", "  ARG_ASS / 2012",
                "    Sym: PT (0, 0)", "    Const: t#500ms, id = -20, F4 01 00 00 "})},
        {"case values",
         [](Symbols&) {
             return new TiNode(tree::CASE_LIST, new TiNode(Int(1)), new TiNode(Int(2)),
                               new TiNode(tree::CASE_LIST, new TiNode(Int(3))));
         },
         Lines({"CASE_LIST / 3023", "  Const: 1, id = -11, 01 00 ", "  Const: 2, id = -11, 02 00 ",
                "CASE_LIST / 3023", "  Const: 3, id = -11, 03 00 "})},
        {"action calls",
         [](Symbols& s) {
             SymAttr* a = s.Plain("A1");
             SymAttr* b = s.Plain("A2");
             return new TiNode(tree::ACTION_CAL, a, TiNode::MakeQualifier(tree::QUAL_N, a, nullptr),
                               new TiNode(tree::ACTION_CAL, b,
                                          TiNode::MakeQualifier(tree::QUAL_P, b, nullptr),
                                          nullptr));
         },
         Lines({"ACTION_CAL / 2070", "  Sym: A1 [SFC action] (0, 0)", "  QUALIFIER [N]",
                "    Sym: A1 [SFC action] (0, 0)", "ACTION_CAL / 2070",
                "  Sym: A2 [SFC action] (0, 0)", "  QUALIFIER [P]",
                "    Sym: A2 [SFC action] (0, 0)"})},
    });
}

TEST(TiNodeDump, SfcElementsAndTransitionSteps) {
    RunCases({
        {"steps, a named transition and an action",
         [](Symbols& s) {
             SymAttr* s1 = s.Plain("S1");
             SymAttr* s2 = s.Plain("S2");
             auto* st = new TiStepLists;
             st->name = s.Plain("T1");
             st->Append(false, s1, 5, 17);
             st->Append(true, s2, 5, 24);
             st->Append(true, s.Plain("S9"), 5, 28);
             TiNode* action = new TiNode(tree::ACTION, s.Plain("A1"), nullptr, nullptr);
             TiNode* trans = Pos(TiNode::MakeTransition(st, new TiNode(Bool(true))), 5, 1);
             trans->SetLink(3, action);
             TiNode* step2 = new TiNode(tree::STEP, s2, nullptr, trans);
             return Pos(new TiNode(tree::INITIAL_STEP, s1, new TiNode(tree::NIL), step2), 1, 1);
         },
         Lines({"INITIAL_STEP / 3071", "  Sym: S1 [SFC Initial step] (1, 1)", "  NIL: 0",
                "STEP / 3072", "  Sym: S2 [SFC step] (0, 0)", "TRANSITION",
                "  Sym: T1 [SFC transition] (5, 1)", "  FROM",
                "    Sym: S1 [SFC Initial step] (5, 17)", "  TO", "    Sym: S2 [SFC step] (5, 24)",
                "    Sym: S9 [SFC undefined] (5, 28)", "  Condition",
                "    Const: TRUE, id = -1, 01 ", "ACTION / 3075",
                "  Sym: A1 [SFC action] (0, 0)"})},
        {"transition without steps or condition",
         [](Symbols&) { return TiNode::MakeTransition(nullptr, nullptr); },
         Lines({"TRANSITION", "  Condition", "    *** NULL"})},
        {"transition with empty lists",
         [](Symbols&) { return TiNode::MakeTransition(new TiStepLists, nullptr); },
         Lines({"TRANSITION", "  FROM", "  TO", "  Condition", "    *** NULL"})},
    });
}

TEST(TiNodeDump, StartDepthIndentsEveryLine) {
    TiNode n(tree::NOT, new TiNode(tree::NIL));
    EXPECT_EQ(TiDumpTreeText(&n, 3), "   NOT: 0\r\n     NIL: 0\r\n");
    EXPECT_EQ(TiDumpTreeText(nullptr, 1), " *** NULL\r\n");
    EXPECT_EQ(TiDumpTreeText(&n, -4), "NOT: 0\r\n  NIL: 0\r\n");
}

TEST(TiNodeDump, WriterReceivesOneCallPerLine) {
    struct Collect : TiDumpWriter {
        std::vector<std::string> lines;
        void PutLine(const char* line, size_t len) override { lines.emplace_back(line, len); }
    } w;
    TiNode n(tree::ASS, new TiNode(tree::NIL), new TiNode(tree::NIL), nullptr);
    TiDumpTree(&n, w);
    EXPECT_EQ(w.lines,
              (std::vector<std::string>{"ASS / 2011\r\n", "  NIL: 0\r\n", "  NIL: 0\r\n"}));
}

TEST(TiNodeDump, LongChainsAndDeepTreesDumpWithoutRecursion) {
    TiNode* list = new TiNode(tree::STATEM_LIST);
    TiNode* last = list;
    for (int i = 0; i < 100000; ++i) {
        TiAppendStatement(&last, new TiNode(tree::NIL), nullptr);
    }
    std::string text = TiDumpTreeText(list);
    EXPECT_EQ(text.size(),
              50000 * std::string("STATEM_LIST / 3010\r\n  NIL: 0\r\n  NIL: 0\r\n").size());
    delete list;

    TiNode* deep = new TiNode(tree::NIL);
    for (int i = 0; i < 2000; ++i) {
        deep = new TiNode(tree::NOT, deep);
    }
    text = TiDumpTreeText(deep);
    EXPECT_EQ(text.substr(text.size() - 4008), std::string(4000, ' ') + "NIL: 0\r\n");
    delete deep;
}

// ------------------------------------------------------------ golden trees

// FUNCTION_BLOCK body in Structured Text:
//   count := count + 1;
//   IF count > limit THEN count := 0; done := TRUE; ELSE done := FALSE; END_IF;
//   FOR i := 1 TO 10 BY 2 DO sum := sum + values[i]; END_FOR;
//   CASE mode OF 1, 2: speed := 1.5; 3: EXIT; ELSE speed := 0.0; END_CASE;
//   WHILE NOT done DO done := TRUE; END_WHILE;
//   REPEAT i := i - 1; UNTIL i <= 0 END_REPEAT;
//   delay(IN := start, PT := t#2s);
TiNode* StructuredTextBody(Symbols& s) {
    SymAttr* intT = s.types.Elem(-11);
    SymAttr* boolT = s.types.Elem(-1);
    SymAttr* realT = s.types.Elem(-18);
    SymAttr* fb = s.Unit("Counter", 2);
    SymAttr* count = s.Var("count", intT, fb);
    SymAttr* limit = s.Var("limit", intT, fb);
    SymAttr* done = s.Var("done", boolT, fb);
    SymAttr* i = s.Var("i", intT, fb);
    SymAttr* sum = s.Var("sum", s.types.Elem(-12), fb);
    SymAttr* values = s.Var("values", s.types.Array1(nullptr, 1, 10, intT), fb);
    SymAttr* mode = s.Var("mode", intT, fb);
    SymAttr* speed = s.Var("speed", realT, fb);
    SymAttr* start = s.Var("start", boolT, fb, true, 0, 3);
    SymAttr* delay = s.Instance("delay", s.Unit("TON", 2), fb);
    s.Interface(fb, {limit, start});

    auto sym = [](SymAttr* v, uint16_t l, uint16_t c) {
        return Pos(new TiNode(tree::SYMBOL, v), l, c);
    };
    auto cst = [](IEC_CONSTANT* k, uint16_t l, uint16_t c) { return Pos(new TiNode(k), l, c); };
    auto op = [](int32_t kind, short type, TiNode* a, TiNode* b, uint16_t l, uint16_t c) {
        return Pos(Typed(new TiNode(kind, a, b, nullptr), type), l, c);
    };
    auto ass = [](TiNode* target, TiNode* value, uint16_t l, uint16_t c) {
        return Pos(new TiNode(tree::ASS, target, value, nullptr), l, c);
    };
    auto list = [](std::initializer_list<TiNode*> statements) {
        TiNode* head = new TiNode(tree::STATEM_LIST);
        TiNode* last = head;
        for (TiNode* st : statements) {
            TiAppendStatement(&last, st, nullptr);
        }
        return head;
    };

    TiNode* s1 = ass(sym(count, 1, 1),
                     op(tree::ADD, -11, sym(count, 1, 10), cst(Int(1), 1, 18), 1, 16), 1, 7);
    TiNode* s2 = Pos(new TiNode(tree::IF_STATEM,
                                op(tree::GT, -1, sym(count, 2, 4), sym(limit, 2, 12), 2, 10),
                                list({ass(sym(count, 2, 23), cst(Int(0), 2, 32), 2, 29),
                                      ass(sym(done, 2, 35), cst(Bool(true), 2, 43), 2, 40)}),
                                list({ass(sym(done, 2, 54), cst(Bool(false), 2, 62), 2, 59)})),
                     2, 1);
    TiNode* idx = new TiNode(tree::ADRADD, sym(i, 3, 46), nullptr, nullptr);
    TiNode* s3 = Pos(
        new TiNode(
            tree::FOR_STATEM, sym(i, 3, 5),
            new TiNode(tree::FOR_LIST, cst(Int(1), 3, 10), cst(Int(10), 3, 15), cst(Int(2), 3, 21)),
            list({ass(sym(sum, 3, 26),
                      op(tree::ADD, -12, sym(sum, 3, 33),
                         Pos(new TiNode(tree::SYMBOL, values, idx, nullptr), 3, 39), 3, 37),
                      3, 30)})),
        3, 1);
    TiNode* elems =
        new TiNode(tree::CASE_ELEM,
                   new TiNode(tree::CASE_LIST, cst(Int(1), 4, 14), cst(Int(2), 4, 17), nullptr),
                   list({ass(sym(speed, 4, 20), cst(Real(1.5), 4, 29), 4, 26)}),
                   new TiNode(tree::CASE_ELEM, new TiNode(tree::CASE_LIST, cst(Int(3), 4, 34)),
                              list({Pos(new TiNode(tree::EXIT), 4, 37)}), nullptr));
    TiNode* s4 = Pos(new TiNode(tree::CASE_STATEM, sym(mode, 4, 6), elems,
                                list({ass(sym(speed, 4, 48), cst(Real(0.0), 4, 57), 4, 54)})),
                     4, 1);
    TiNode* s5 =
        Pos(new TiNode(tree::WHILE_STATEM,
                       Pos(Typed(new TiNode(tree::NOT, sym(done, 5, 11)), -1), 5, 7),
                       list({ass(sym(done, 5, 19), cst(Bool(true), 5, 27), 5, 24)}), nullptr),
            5, 1);
    TiNode* s6 = Pos(
        new TiNode(tree::REPEAT, op(tree::LE, -1, sym(i, 6, 33), cst(Int(0), 6, 38), 6, 35),
                   list({ass(sym(i, 6, 8),
                             op(tree::SUB, -11, sym(i, 6, 13), cst(Int(1), 6, 17), 6, 15), 6, 10)}),
                   nullptr),
        6, 1);
    TiNode* args =
        new TiNode(tree::ARG_ASS, s.Plain("IN"), sym(start, 7, 13),
                   new TiNode(tree::ARG_ASS, s.Plain("PT"), cst(Time(2000), 7, 26), nullptr));
    TiNode* s7 = Pos(new TiNode(tree::CAL, delay, args, nullptr), 7, 1);
    return list({s1, s2, s3, s4, s5, s6, s7});
}

// PROGRAM body in Instruction List:
//   LD a  /  ADD 5  /  ST b  /  JMPC next  /  CAL delay(IN := a)  /
//   next: LD b  /  GT 10  /  RETC  /  RET
TiNode* InstructionListBody(Symbols& s) {
    SymAttr* intT = s.types.Elem(-11);
    SymAttr* prog = s.Unit("Main", 0);
    SymAttr* a = s.Var("a", intT, prog);
    SymAttr* b = s.Var("b", intT, prog);
    SymAttr* next = s.Label("next");
    SymAttr* delay = s.Instance("delay", s.Unit("TON", 2), prog);

    TiNode* acc =
        TiNode::MakeExprDef(Pos(Typed(new TiNode(tree::ADD, Pos(new TiNode(tree::SYMBOL, a), 1, 4),
                                                 Pos(new TiNode(Int(5)), 2, 5), nullptr),
                                      -11),
                                2, 1));
    TiNode* head = new TiNode(tree::STATEM_LIST);
    TiNode* last = head;
    TiAppendStatement(
        &last,
        Pos(new TiNode(tree::ASS, Pos(new TiNode(tree::SYMBOL, b), 3, 4), acc, nullptr), 3, 1),
        nullptr);
    TiAppendStatement(&last, Pos(TiNode::MakeJump(tree::JMP, tree::JMP_COND, next), 4, 1), nullptr);
    TiAppendStatement(
        &last,
        Pos(new TiNode(tree::CAL, delay,
                       new TiNode(tree::ARG_ASS, s.Plain("IN"), TiNode::MakeExprRef(acc), nullptr),
                       nullptr),
            5, 1),
        nullptr);
    TiNode* cmp = Pos(Typed(new TiNode(tree::GT, Pos(new TiNode(tree::SYMBOL, b), 6, 10),
                                       Pos(new TiNode(Int(10)), 7, 4), nullptr),
                            -1),
                      7, 1);
    TiAppendStatement(&last, Pos(new TiNode(tree::LABEL, next, cmp, nullptr), 6, 1), nullptr);
    TiAppendStatement(&last, Pos(TiNode::MakeJump(tree::RET, tree::JMP_COND, nullptr), 8, 1),
                      nullptr);
    TiAppendStatement(&last, Pos(TiNode::MakeJump(tree::RET, tree::JMP_ALWAYS, nullptr), 9, 1),
                      nullptr);
    return head;
}

// Sequential Function Chart:
//   INITIAL_STEP Idle: END_STEP
//   TRANSITION FROM Idle TO Fill := start; END_TRANSITION
//   STEP Fill: valve(S); pump(L, t#5s); END_STEP
//   TRANSITION Full FROM Fill TO Idle, Drain := level >= 100; END_TRANSITION
//   ACTION valve: open := TRUE; END_ACTION
TiNode* SfcChart(Symbols& s) {
    SymAttr* prog = s.Unit("Tank", 0);
    SymAttr* idle = s.Plain("Idle");
    SymAttr* fill = s.Plain("Fill");
    SymAttr* drain = s.Plain("Drain");
    SymAttr* valve = s.Plain("valve");
    SymAttr* pump = s.Plain("pump");
    SymAttr* start = s.Var("start", s.types.Elem(-1), prog, true, 0, 0);
    SymAttr* level = s.Var("level", s.types.Elem(-15), prog);
    SymAttr* open = s.Var("open", s.types.Elem(-1), prog);

    auto* t1 = new TiStepLists;
    t1->Append(false, idle, 2, 17);
    t1->Append(true, fill, 2, 25);
    auto* t2 = new TiStepLists;
    t2->name = s.Plain("Full");
    t2->Append(false, fill, 4, 22);
    t2->Append(true, idle, 4, 30);
    t2->Append(true, drain, 4, 36);

    TiNode* action = Pos(
        new TiNode(tree::ACTION, valve,
                   new TiNode(tree::STATEM_LIST,
                              Pos(new TiNode(tree::ASS, Pos(new TiNode(tree::SYMBOL, open), 5, 15),
                                             Pos(new TiNode(Bool(true)), 5, 23), nullptr),
                                  5, 20)),
                   nullptr),
        5, 1);
    TiNode* full =
        Pos(TiNode::MakeTransition(
                t2, Pos(Typed(new TiNode(tree::GE, Pos(new TiNode(tree::SYMBOL, level), 4, 45),
                                         Pos(new TiNode(Int(100)), 4, 54), nullptr),
                              -1),
                        4, 51)),
            4, 1);
    full->SetLink(3, action);
    TiNode* calls = new TiNode(
        tree::ACTION_CAL, valve, TiNode::MakeQualifier(tree::QUAL_S, valve, nullptr),
        new TiNode(tree::ACTION_CAL, pump,
                   TiNode::MakeQualifier(tree::QUAL_L, pump, Pos(new TiNode(Time(5000)), 3, 23)),
                   nullptr));
    TiNode* fillStep = Pos(new TiNode(tree::STEP, fill, calls, full), 3, 1);
    TiNode* first =
        Pos(TiNode::MakeTransition(t1, Pos(new TiNode(tree::SYMBOL, start), 2, 33)), 2, 1);
    first->SetLink(3, fillStep);
    return Pos(new TiNode(tree::INITIAL_STEP, idle, nullptr, first), 1, 1);
}

TEST(TiNodeDumpGolden, WholeTrees) {
    const struct {
        const char* file;
        TiNode* (*build)(Symbols&);
    } cases[] = {
        {"compiler/trees/st_function_block.txt", StructuredTextBody},
        {"compiler/trees/il_program.txt", InstructionListBody},
        {"compiler/trees/sfc_chart.txt", SfcChart},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        Symbols s;
        TiNode* tree = c.build(s);
        EXPECT_TRUE(MatchesGolden(c.file, TiDumpTreeText(tree)));
        delete tree;
    }
}

} // namespace
