// The code listing: the line of every instruction form, the text, size and
// class of every operand kind, instruction numbering, and the largest
// source line seen by the emitter.
#include "EmitterTestSupport.h"
#include "compiler/TiNode.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>

using namespace treetest;
using namespace emittest;

namespace {

// A program unit "Main" with variables of several kinds, and a function
// block "Valve" whose variables are a nested context for Main.
struct Program {
    Symbols s;
    SymAttr* main = s.Unit("Main", 0);
    SymAttr* valve = s.Unit("Valve", 2);
    SymAttr* x = s.Var("x", s.types.Elem(-11), main);
    SymAttr* y = s.Var("y", s.types.Elem(-12), main);
    SymAttr* flag = s.Var("flag", s.types.Elem(-1), main);
    SymAttr* arr = s.Var("arr", s.types.Array1(nullptr, 1, 3, s.types.Elem(-11)), main);
    SymAttr* in1 = s.Var("in1", s.types.Elem(-1), main, true, 1, 2);
    SymAttr* open = s.Var("open", s.types.Elem(-1), valve);
    SymAttr* pos = s.Var("pos", s.types.Elem(-18), valve, true, 0, 8);
    SymAttr* ton = s.Unit("TON", 2);
    SymAttr* t1 = s.Instance("t1", ton, main);

    Program() { s.Interface(valve, {open, pos}); }
};

// Runs `emit` on a fresh emitter for Main and returns the listing.
template <typename F> std::string ListingOf(Program& p, F emit, TiEmitLookup* lookup = nullptr) {
    Listing l;
    TiEmitter e(nullptr, l.File(), FakeDb(), FakeLibrary(), lookup);
    e.SetUnit(p.main);
    emit(e);
    return l.Text();
}

TEST(ListingForm, EveryFormWritesItsLine) {
    Program p;
    IEC_CONSTANT five(5);
    FakeLookup lookup;
    lookup.unitTypes["TON"] = p.ton;
    const TiExprOperand x = TiExprOperand::Variable(p.x);
    const TiExprOperand k = TiExprOperand::Constant(&five);
    const struct {
        const char* name;
        std::function<short(TiEmitter&)> emit;
        const char* line;
    } cases[] = {
        {"LABEL", [](TiEmitter& e) { return e.EmitPlain(opc::LABEL); }, "\n   1:\tLABEL"},
        {"RET", [](TiEmitter& e) { return e.EmitPlain(opc::RET); }, "\n   1:\tRET"},
        {"BRANCH forward", [](TiEmitter& e) { return e.EmitBranch(0); }, "\n   1:\tBRANCH \t0"},
        {"BRANCH back", [](TiEmitter& e) { return e.EmitBranch(17); }, "\n   1:\tBRANCH \t17"},
        {"BTRUE forward", [&](TiEmitter& e) { return e.EmitCondBranch(opc::BTRUE, &x, 0); },
         "\n   1:\tBTRUE \tx, 2, VAR; 0"},
        {"BFALSE to 9", [&](TiEmitter& e) { return e.EmitCondBranch(opc::BFALSE, &x, 9); },
         "\n   1:\tBFALSE \tx, 2, VAR; 9"},
        {"BNOTEN", [&](TiEmitter& e) { return e.EmitBNotEn(&x); },
         "\n   1:\tBNOTEN \tx, 2, VAR; 0"},
        {"ASSENO", [&](TiEmitter& e) { return e.EmitAssEno(&x, 12); },
         "\n   1:\tASSENO \tx, 2, VAR; 12"},
        {"INSADDEN", [](TiEmitter& e) { return e.EmitInsAddEn(5); }, "\n   1:\tINSADDEN \t5"},
        {"SAVE", [](TiEmitter& e) { return e.EmitSave(-3); }, "\n   1:\tSAVE \t-3"},
        {"INSADD", [](TiEmitter& e) { return e.EmitInsAdd(INT32_MAX); },
         "\n   1:\tINSADD \t2147483647"},
        {"JMPDFB", [](TiEmitter& e) { return e.EmitFBCall(opc::JMPDFB, "TON", 2); },
         "\n   1:\tJMPDFB \tTON, 2"},
        {"JMPFFEFB", [](TiEmitter& e) { return e.EmitFBCall(opc::JMPFFEFB, "TON", 0); },
         "\n   1:\tJMPFFEFB \tTON, 0"},
        {"PAV of a variable", [&](TiEmitter& e) { return e.EmitPav(&x); },
         "\n   1:\tPAV \tx, 2, VAR"},
        {"PAV of a variable with offset",
         [&](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::Variable(p.arr, 4);
             return e.EmitPav(&o);
         },
         "\n   1:\tPAV \tarr, 6, VAR, +4"},
        {"PAV of a pool variable",
         [&](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::PoolVariable("tmp1", 4);
             return e.EmitPav(&o);
         },
         "\n   1:\tPAV \ttmp1, 4, POOLVAR"},
        {"PAV of a symbol", [&](TiEmitter& e) { return e.EmitPavSymbol(p.t1, 3); },
         "\n   1:\tPAV t1, 3"},
        {"PAV of an immediate", [](TiEmitter& e) { return e.EmitPavImmediate(-7); },
         "\n   1:\tPAV \t2, -7, IMMVAL"},
        {"ADRADD",
         [&](TiEmitter& e) {
             TiExprOperand a = TiExprOperand::Variable(p.arr);
             return e.EmitAdrAdd(&a, &k);
         },
         "\n   1:\tADRADD \tarr, 6, VAR;  \t5, 4, IMMVAL"},
        {"ADD", [&](TiEmitter& e) { return e.EmitOp(opc::ADD, &x, &k); },
         "\n   1:\tADD \tx, 2, VAR;  \t5, 4, IMMVAL"},
        {"AND NOT a", [&](TiEmitter& e) { return e.EmitOp(opc::AND, &x, &k, 1); },
         "\n   1:\tAND NOT  \tx, 2, VAR;  \t5, 4, IMMVAL"},
        {"OR NOT b", [&](TiEmitter& e) { return e.EmitOp(opc::OR, &x, &k, 2); },
         "\n   1:\tOR \tx, 2, VAR;  NOT  \t5, 4, IMMVAL"},
        {"XOR both negated", [&](TiEmitter& e) { return e.EmitOp(opc::XOR, &x, &k, 3); },
         "\n   1:\tXOR NOT  \tx, 2, VAR;  NOT  \t5, 4, IMMVAL"},
        {"first operand only", [&](TiEmitter& e) { return e.EmitOp(opc::NOT, &x, nullptr, 3); },
         "\n   1:\tNOT NOT  \tx, 2, VAR"},
        {"second operand only", [&](TiEmitter& e) { return e.EmitOp(opc::ASS, nullptr, &x, 1); },
         "\n   1:\tASS \tx, 2, VAR"},
        {"no operand", [](TiEmitter& e) { return e.EmitOp(opc::BNOT, nullptr, nullptr); },
         "\n   1:\tBNOT"},
        {"conversion", [&](TiEmitter& e) { return e.EmitOp(opc::INT_TO_REAL, &x, nullptr); },
         "\n   1:\tINT_TO_REAL \tx, 2, VAR"},
        {"comparison", [&](TiEmitter& e) { return e.EmitOp(opc::SLE, &x, &k); },
         "\n   1:\tSLE \tx, 2, VAR;  \t5, 4, IMMVAL"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        short rc = 1;
        std::string text = ListingOf(
            p, [&](TiEmitter& e) { rc = c.emit(e); }, &lookup);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(text, c.line);
    }
}

TEST(ListingForm, ImmediateIntFiveOfTwoBytes) {
    const int16_t five = 5;
    TiExprOperand o = TiExprOperand::Immediate(-11, &five, 2);
    TiEmitter e(nullptr, nullptr, nullptr, nullptr, nullptr);
    std::string text;
    EXPECT_EQ(e.OperandText(o, text), 0);
    EXPECT_EQ(text, " \timmVal 5 ( 05 00 )");
}

TEST(ListingForm, OperandTextOfEveryKind) {
    Program p;
    IEC_CONSTANT* consts[] = {
        Int(5),        Int(5, -11),       Real(1.5),  Time(1500), Date(2003, 3, 5),
        Tod(45296789), Dt(0, 1990, 1, 2), Str("abc"), Bool(true), Int(40000),
        Int(-7)};
    const unsigned char lword[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const unsigned char dintMinus2[4] = {0xFE, 0xFF, 0xFF, 0xFF};
    const unsigned char intMinus1[2] = {0xFF, 0xFF};
    const unsigned char one[1] = {1};
    const unsigned char udintMax[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    const unsigned char real15[4] = {0x00, 0x00, 0xC0, 0x3F};
    const struct {
        const char* name;
        TiExprOperand o;
        const char* text;
    } cases[] = {
        // Boundaries first.
        {"number 0", TiExprOperand::Number(0), " \t0, IMC"},
        {"largest number", TiExprOperand::Number(UINT32_MAX), " \t4294967295, IMC"},
        {"pooled constant at the last index", TiExprOperand::PoolConstant(consts[1], 65535),
         " \t65535, 2, VAR (const, val = 5)"},
        {"largest offset", TiExprOperand::Variable(p.x, UINT32_MAX), " \tx, 2, VAR, +4294967295"},
        {"immediate of 8 bytes", TiExprOperand::Immediate(-5, lword, 8),
         " \timmVal 18446744073709551615 ( FF FF FF FF FF FF FF FF )"},
        {"immediate of 1 byte", TiExprOperand::Immediate(-1, one, 1), " \timmVal 1 ( 01 )"},
        // Variables.
        {"variable", TiExprOperand::Variable(p.x), " \tx, 2, VAR"},
        {"DINT variable", TiExprOperand::Variable(p.y), " \ty, 4, VAR"},
        {"array variable", TiExprOperand::Variable(p.arr), " \tarr, 6, VAR"},
        {"variable with offset", TiExprOperand::Variable(p.arr, 2), " \tarr, 6, VAR, +2"},
        {"located variable", TiExprOperand::Variable(p.in1), " \tin1, 1, LOC"},
        {"variable of a nested context", TiExprOperand::Variable(p.open),
         " \tValve.open, 1, FRMPAR"},
        {"located formal parameter of a nested context", TiExprOperand::Variable(p.pos, 4),
         " \tValve.pos, 4, FRMPAR, +4"},
        {"kind 6: no unit name", TiExprOperand::SymVariable(p.open), " \topen, 1, FRMPAR"},
        {"kind 6 located", TiExprOperand::SymVariable(p.in1, 1), " \tin1, 1, LOC, +1"},
        {"instance", TiExprOperand::Variable(p.t1), " \tt1, 0, VAR"},
        // Constants by literal form and by type.
        {"integer literal", TiExprOperand::Constant(consts[0]), " \t5, 4, IMMVAL"},
        {"INT literal", TiExprOperand::Constant(consts[1]), " \t5, 2, IMMVAL"},
        {"integer literal used as DINT", TiExprOperand::Constant(consts[0], -12),
         " \t5, 4, IMMVAL"},
        {"integer literal used as SINT", TiExprOperand::Constant(consts[0], -10),
         " \t5, 1, IMMVAL"},
        {"real literal", TiExprOperand::Constant(consts[2]), " \t1.5, 4, IMMVAL"},
        {"real literal used as LREAL", TiExprOperand::Constant(consts[2], -19),
         " \t1.5, 8, IMMVAL"},
        {"TIME", TiExprOperand::Constant(consts[3]), " \tt#1s_500ms, 4, IMMVAL"},
        {"DATE", TiExprOperand::Constant(consts[4]), " \td#2003-03-05, 2, IMMVAL"},
        {"TIME_OF_DAY", TiExprOperand::Constant(consts[5]), " \ttod#12:34:56.789, 4, IMMVAL"},
        {"DATE_AND_TIME", TiExprOperand::Constant(consts[6]),
         " \tdt#1990-01-02-00:00:00, 8, IMMVAL"},
        {"STRING: the length of its text", TiExprOperand::Constant(consts[7]),
         " \t'abc', 3, IMMVAL"},
        {"BOOL", TiExprOperand::Constant(consts[8]), " \tTRUE, 1, IMMVAL"},
        {"large integer literal", TiExprOperand::Constant(consts[9]), " \t40000, 4, IMMVAL"},
        {"negative literal", TiExprOperand::Constant(consts[10]), " \t-7, 4, IMMVAL"},
        {"pooled constant", TiExprOperand::PoolConstant(consts[2], 3),
         " \t3, 4, VAR (const, val = 1.5)"},
        {"pooled STRING", TiExprOperand::PoolConstant(consts[7], 0),
         " \t0, 3, VAR (const, val = 'abc')"},
        // Pool variables: a directly represented name keeps its one '%'.
        {"pool variable", TiExprOperand::PoolVariable("tmp", 2), " \ttmp, 2, POOLVAR"},
        {"directly represented", TiExprOperand::PoolVariable("%IX1.2", 1), " \t%IX1.2, 1, POOLVAR"},
        {"directly represented with offset", TiExprOperand::PoolVariable("%MW10", 2, 6),
         " \t%MW10, 2, POOLVAR, +6"},
        {"format characters stay text", TiExprOperand::PoolVariable("%s%d%n", 0),
         " \t%s%d%n, 0, POOLVAR"},
        // Immediates by type.
        {"INT -1", TiExprOperand::Immediate(-11, intMinus1, 2), " \timmVal -1 ( FF FF )"},
        {"DINT -2", TiExprOperand::Immediate(-12, dintMinus2, 4), " \timmVal -2 ( FE FF FF FF )"},
        {"UDINT max", TiExprOperand::Immediate(-16, udintMax, 4),
         " \timmVal 4294967295 ( FF FF FF FF )"},
        {"REAL shown by its bits", TiExprOperand::Immediate(-18, real15, 4),
         " \timmVal 1069547520 ( 00 00 C0 3F )"},
    };
    TiEmitter e(nullptr, nullptr, nullptr, nullptr, nullptr);
    e.SetUnit(p.main);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = "unchanged";
        EXPECT_EQ(e.OperandText(c.o, text), 0);
        EXPECT_EQ(text, c.text);
    }
    for (IEC_CONSTANT* c : consts) {
        delete c;
    }
}

TEST(ListingForm, UnitNamesOnlyForOtherUnitsOnceTheUnitIsKnown) {
    Program p;
    TiExprOperand open = TiExprOperand::Variable(p.open);
    TiExprOperand x = TiExprOperand::Variable(p.x);
    TiExprOperand loose = TiExprOperand::Variable(p.s.Var("g", p.s.types.Elem(-2)));
    const struct {
        const char* name;
        SymAttr* unit;
        const TiExprOperand* o;
        const char* text;
    } cases[] = {
        {"no unit set", nullptr, &open, " \topen, 1, FRMPAR"},
        {"the unit itself", p.valve, &open, " \topen, 1, FRMPAR"},
        {"another unit", p.main, &open, " \tValve.open, 1, FRMPAR"},
        {"Main's variable inside Valve", p.valve, &x, " \tMain.x, 2, VAR"},
        {"variable without unit", p.main, &loose, " \tg, 1, VAR"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TiEmitter e(nullptr, nullptr, nullptr, nullptr, nullptr);
        e.SetUnit(c.unit);
        std::string text;
        EXPECT_EQ(e.OperandText(*c.o, text), 0);
        EXPECT_EQ(text, c.text);
    }
}

TEST(ListingForm, ClassesAndSizes) {
    Program p;
    IEC_CONSTANT k(1);
    struct LookupAll : TiEmitLookup {
        bool IsFormalParameter(const SymAttr*) override { return true; }
    } everyParameter;
    const struct {
        const char* name;
        TiExprOperand o;
        int cls;
        uint32_t size;
    } cases[] = {
        {"malformed kind 0", TiExprOperand(), 0, 0},
        {"variable without symbol", TiExprOperand::Variable(nullptr), 0, 0},
        {"variable", TiExprOperand::Variable(p.x), 2, 2},
        {"located", TiExprOperand::Variable(p.in1), 3, 1},
        {"parameter", TiExprOperand::SymVariable(p.open), 6, 1},
        {"constant", TiExprOperand::Constant(&k), 1, 4},
        {"constant without constant", TiExprOperand::Constant(nullptr), 1, 0},
        {"pooled", TiExprOperand::PoolConstant(&k, 1), 2, 4},
        {"number", TiExprOperand::Number(9), 8, 0},
        {"pool variable", TiExprOperand::PoolVariable("v", 12), 7, 12},
        {"immediate", TiExprOperand::Immediate(-4, "abcd", 4), 1, 4},
        {"immediate too long", TiExprOperand::Immediate(-4, "abcdefghi", 9), 1, 0},
    };
    TiEmitter e(nullptr, nullptr, nullptr, nullptr, nullptr);
    TiEmitter all(nullptr, nullptr, nullptr, nullptr, &everyParameter);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(e.OperandClass(c.o), c.cls);
        EXPECT_EQ(TiEmitter::OperandSize(c.o), c.size);
    }
    // The lookup decides what a formal parameter is.
    EXPECT_EQ(all.OperandClass(TiExprOperand::Variable(p.x)), opc::CLASS_FRMPAR);
    EXPECT_EQ(all.OperandClass(TiExprOperand::Variable(p.in1)), opc::CLASS_FRMPAR);
}

TEST(ListingForm, InstructionsAreNumberedFromOne) {
    Program p;
    Listing l;
    TiEmitter e(nullptr, l.File(), nullptr, nullptr, nullptr);
    EXPECT_EQ(e.GetCounter(), 0);
    int32_t n1 = -1, n2 = -1, n3 = -1;
    EXPECT_EQ(e.EmitBranch(0, &n1), 0);
    EXPECT_EQ(e.EmitPlain(opc::LABEL, &n2), 0);
    EXPECT_EQ(e.EmitBranch(n2, &n3), 0);
    EXPECT_EQ(n1, 1);
    EXPECT_EQ(n2, 2);
    EXPECT_EQ(n3, 3);
    EXPECT_EQ(e.GetCounter(), 3);
    EXPECT_EQ(l.Text(), "\n   1:\tBRANCH \t0\n   2:\tLABEL\n   3:\tBRANCH \t2");
}

TEST(ListingForm, NumbersWiderThanFourPlaces) {
    const struct {
        int32_t after;
        const char* line;
    } cases[] = {
        {0, "\n   1:\tRET"},
        {9998, "\n9999:\tRET"},
        {9999, "\n10000:\tRET"},
        {INT32_MAX - 1, "\n2147483647:\tRET"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.after);
        Listing l;
        TiEmitter e(nullptr, l.File(), nullptr, nullptr, nullptr);
        e.SetCounter(c.after);
        int32_t n = 0;
        EXPECT_EQ(e.EmitPlain(opc::RET, &n), 0);
        EXPECT_EQ(n, c.after + 1);
        EXPECT_EQ(l.Text(), c.line);
    }
    TiEmitter e(nullptr, nullptr, nullptr, nullptr, nullptr);
    e.SetCounter(-5); // ignored
    EXPECT_EQ(e.GetCounter(), 0);
}

TEST(ListingForm, WithoutListingFileInstructionsAreStillCounted) {
    TiEmitter e(nullptr, nullptr, nullptr, nullptr, nullptr);
    int32_t n = 0;
    EXPECT_EQ(e.EmitPlain(opc::LABEL, &n), 0);
    EXPECT_EQ(e.EmitSave(1, &n), 0);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(e.GetCounter(), 2);
    // A listing set later receives the lines from then on.
    Listing l;
    e.SetListing(l.File());
    EXPECT_EQ(e.GetListing(), l.File());
    EXPECT_EQ(e.EmitPlain(opc::RET), 0);
    EXPECT_EQ(l.Text(), "\n   3:\tRET");
}

TEST(ListingForm, EmitterKeepsItsAdapterAndLibrary) {
    TiEmitter e(nullptr, nullptr, FakeDb(), FakeLibrary(), nullptr);
    EXPECT_EQ(e.GetDB(), FakeDb());
    EXPECT_EQ(e.GetLibrary(), FakeLibrary());
}

// ------------------------------------------------------ largest source line

TEST(ListingSourceLine, NodesRaiseTheLargestLine) {
    struct Step {
        int32_t kind;
        uint16_t line;
        uint16_t expected; // largest line after the node
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"nothing known", {{tree::ASS, 0, 0}}},
        {"first line from any kind", {{tree::CONSTANT, 4, 4}}},
        {"largest line", {{tree::ASS, 65535, 65535}, {tree::ASS, 3, 65535}}},
        {"only larger lines count", {{tree::ASS, 9, 9}, {tree::ADD, 7, 9}, {tree::ADD, 12, 12}}},
        {"skipped kinds once a line is known",
         {{tree::ASS, 5, 5},
          {tree::CONSTANT, 10, 5},
          {tree::SYMBOL, 11, 5},
          {tree::STATEM_LIST, 12, 5},
          {tree::WHILE_STATEM, 13, 5},
          {tree::REPEAT, 14, 5},
          {tree::IF_STATEM, 15, 5},
          {tree::FOR_STATEM, 16, 5},
          {tree::CASE_STATEM, 17, 17},
          {tree::FOR_LIST, 18, 18}}},
        {"skipped kinds count while no line is known",
         {{tree::IF_STATEM, 0, 0}, {tree::IF_STATEM, 3, 3}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TiEmitter e(nullptr, nullptr, nullptr, nullptr, nullptr);
        for (const Step& st : c.steps) {
            TiNode n(st.kind);
            n.SetPos(st.line, 1);
            e.NoteNode(&n);
            EXPECT_EQ(e.GetMaxLine(), st.expected) << NodeKindName(st.kind) << " " << st.line;
        }
    }
    TiEmitter e(nullptr, nullptr, nullptr, nullptr, nullptr);
    e.NoteNode(nullptr);
    EXPECT_EQ(e.GetMaxLine(), 0);
}

// ------------------------------------------------------------ golden listing

// IF x > 10 THEN y := y + x; ELSE t1(IN := flag, PT := 5); END_IF; RETURN;
// as a small encoder would list it.
TEST(ListingGolden, IfStatementWithCall) {
    Program p;
    FakeLookup lookup;
    lookup.unitTypes["TON"] = p.ton;
    IEC_CONSTANT ten(10);
    IEC_CONSTANT fiveK(5);
    lookup.pool[&fiveK] = 4;
    Listing l;
    TiEmitter e(nullptr, l.File(), FakeDb(), FakeLibrary(), &lookup);
    e.SetUnit(p.main);

    TiExprOperand x = TiExprOperand::Variable(p.x);
    TiExprOperand y = TiExprOperand::Variable(p.y);
    TiExprOperand k10 = TiExprOperand::Constant(&ten, -11);
    TiExprOperand k5 = TiExprOperand::Constant(&fiveK, -12);
    TiExprOperand flag = TiExprOperand::Variable(p.flag);
    TiExprOperand tmp = TiExprOperand::PoolVariable("%tmp0", 1);
    TiExprOperand tmp2 = TiExprOperand::PoolVariable("%tmp1", 4);
    const int16_t one = 1;
    TiExprOperand imm = TiExprOperand::Immediate(-11, &one, 2);

    int32_t toElse = 0, toEnd = 0, elseLabel = 0, endLabel = 0;
    ASSERT_EQ(e.EmitOp(opc::SGT, &x, &k10), 0);
    ASSERT_EQ(e.EmitOp(opc::BASS, &tmp, nullptr), 0);
    ASSERT_EQ(e.EmitCondBranch(opc::BFALSE, &tmp, 0, &toElse), 0);
    ASSERT_EQ(e.EmitOp(opc::INT_TO_DINT, &x, nullptr), 0);
    ASSERT_EQ(e.EmitOp(opc::ADD, &y, &tmp2), 0);
    ASSERT_EQ(e.EmitOp(opc::ASS, &y, nullptr), 0);
    ASSERT_EQ(e.EmitBranch(0, &toEnd), 0);
    ASSERT_EQ(e.EmitPlain(opc::LABEL, &elseLabel), 0);
    ASSERT_EQ(e.EmitPav(&flag), 0);
    ASSERT_EQ(e.ConvertConstant(k5), 0);
    ASSERT_EQ(e.EmitAdrAdd(&tmp2, &k5), 0);
    ASSERT_EQ(e.EmitPavImmediate(0), 0);
    ASSERT_EQ(e.EmitPavSymbol(p.t1, 2), 0);
    ASSERT_EQ(e.EmitInsAddEn(1), 0);
    ASSERT_EQ(e.EmitFBCall(opc::JMPEFB, "TON", 2), 0);
    ASSERT_EQ(e.EmitBNotEn(&imm), 0);
    ASSERT_EQ(e.EmitPlain(opc::LABEL, &endLabel), 0);
    ASSERT_EQ(e.EmitSave(endLabel), 0);
    ASSERT_EQ(e.EmitPlain(opc::RET), 0);
    EXPECT_EQ(toElse, 3);
    EXPECT_EQ(toEnd, 7);
    EXPECT_EQ(elseLabel, 8);
    EXPECT_EQ(endLabel, 16);
    EXPECT_TRUE(MatchesGolden("compiler/listings/if_with_call.lst", l.Text()));
}

} // namespace
