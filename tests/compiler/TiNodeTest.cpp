// Statement-tree nodes: kind numbers and names, qualifier and type names,
// the node makers and their links, result types, statement-list appending,
// and freeing of large trees.
#include "compiler/TiNode.h"
#include "TreeTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

using namespace treetest;

namespace {

struct KindCase {
    int32_t kind;
    int32_t number; // as the table gives it, in hexadecimal
    const char* name;
};

// Every kind; the name is also the text the dump prints.
const KindCase kKinds[] = {
    {tree::CONSTANT, 0x0001, "CONSTANT"},
    {tree::SYMBOL, 0x0002, "SYMBOL"},
    {tree::SYMBOL_DESC, 0x0003, "SYMBOL_DESC"},
    {tree::RET, 0x0043, "RET"},
    {tree::EXIT, 0x0044, "EXIT"},
    {tree::JMP, 0x1040, "JMP"},
    {tree::EXPR_DEF, 0x1060, "EXPR_DEF"},
    {tree::EXPR_REF, 0x1061, "EXPR_REF"},
    {tree::UMINUS, 0x1104, "UMINUS"},
    {tree::NOT, 0x1113, "NOT"},
    {tree::ASS, 0x2011, "ASS"},
    {tree::ARG_ASS, 0x2012, "ARG_ASS"},
    {tree::WHILE_STATEM, 0x2024, "WHILE_STATEM"},
    {tree::REPEAT, 0x2027, "REPEAT"},
    {tree::CAL, 0x2030, "CAL"},
    {tree::CONV_DTYPE, 0x2031, "CONV_DTYPE"},
    {tree::LABEL, 0x2040, "LABEL"},
    {tree::ADRADD, 0x2050, "ADRADD"},
    {tree::ACTION_CAL, 0x2070, "ACTION_CAL"},
    {tree::ADD, 0x2100, "ADD"},
    {tree::SUB, 0x2101, "SUB"},
    {tree::MUL, 0x2102, "MUL"},
    {tree::DIV, 0x2103, "DIV"},
    {tree::MOD, 0x2105, "MOD"},
    {tree::POWER, 0x2106, "POWER"},
    {tree::OR, 0x2110, "OR"},
    {tree::XOR, 0x2111, "XOR"},
    {tree::AND, 0x2112, "AND"},
    {tree::EQ, 0x2120, "EQ"},
    {tree::NE, 0x2121, "NE"},
    {tree::GT, 0x2122, "GT"},
    {tree::GE, 0x2123, "GE"},
    {tree::LT, 0x2124, "LT"},
    {tree::LE, 0x2125, "LE"},
    {tree::STATEM_LIST, 0x3010, "STATEM_LIST"},
    {tree::IF_STATEM, 0x3020, "IF_STATEM"},
    {tree::CASE_STATEM, 0x3021, "CASE_STATEM"},
    {tree::CASE_ELEM, 0x3022, "CASE_ELEM"},
    {tree::CASE_LIST, 0x3023, "CASE_LIST"},
    {tree::FOR_STATEM, 0x3025, "FOR_STATEM"},
    {tree::FOR_LIST, 0x3026, "FOR_LIST"},
    {tree::CAL_COND, 0x3032, "CAL_COND"},
    {tree::INITIAL_STEP, 0x3071, "INITIAL_STEP"},
    {tree::STEP, 0x3072, "STEP"},
    {tree::TRANSITION, 0x3073, "TRANSITION"},
    {tree::QUALIFIER, 0x3074, "QUALIFIER"},
    {tree::ACTION, 0x3075, "ACTION"},
    {tree::NIL, 0x7FFF, "NIL"},
};

TEST(TiNodeKind, EveryKindHasItsNumberAndName) {
    for (const KindCase& c : kKinds) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.kind, c.number);
        EXPECT_STREQ(NodeKindName(c.kind), c.name);
    }
    // Decimal numbers as listed for a few groups.
    EXPECT_EQ(tree::JMP, 4160);
    EXPECT_EQ(tree::ADD, 8448);
    EXPECT_EQ(tree::LE, 8485);
    EXPECT_EQ(tree::STATEM_LIST, 12304);
    EXPECT_EQ(tree::ACTION, 12405);
    EXPECT_EQ(tree::NIL, 32767);
}

TEST(TiNodeKind, NumbersBesideTheKindsAreUnknown) {
    const int32_t unknown[] = {0,      5,      -1,     INT32_MIN, INT32_MAX, 0x0042, 0x0045,
                               0x1041, 0x1062, 0x2104, 0x2107,    0x2113,    0x2126, 0x3024,
                               0x3076, 0x7FFE, 0x8000, 0x10001,   0x12100};
    for (int32_t k : unknown) {
        SCOPED_TRACE(k);
        EXPECT_STREQ(NodeKindName(k), "** Unknown node type");
    }
}

TEST(TiNodeKind, QualifierNames) {
    const struct {
        uint16_t code;
        const char* name;
    } cases[] = {
        {0, "N"},
        {1, "S"},
        {2, "R"},
        {3, "L"},
        {4, "D"},
        {5, "P"},
        {6, "SD"},
        {7, "DS"},
        {8, "SL"},
        {9, "Unknown"},
        {0xFFFF, "Unknown"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_STREQ(tree::QualifierName(c.code), c.name);
    }
}

TEST(TiNodeKind, TypeIdNames) {
    const struct {
        short id;
        const char* name;
    } cases[] = {
        // Boundaries first: numbers that have no name.
        {0, "0"},
        {-32768, "-32768"},
        {32767, "32767"},
        {-13, "-13"}, // LINT and ULINT have no name of their own
        {-17, "-17"},
        {-31, "-31"},
        {-64, "-64"},
        {-100, "-100"},
        {4711, "4711"},
        {1, "1"},
        {-11, "INT"},
        {-10, "SINT"},
        {-14, "USINT"},
        {-15, "UINT"},
        {-12, "DINT"},
        {-16, "UDINT"},
        {-1, "BOOL"},
        {-2, "BYTE"},
        {-3, "WORD"},
        {-4, "DWORD"},
        {-5, "LWORD"},
        {-18, "REAL"},
        {-19, "LREAL"},
        {-20, "TIME"},
        {-21, "DATE"},
        {-22, "TIME_OF_DAY"},
        {-23, "DATE_AND_TIME"},
        {-24, "STRING"},
        {-25, "ANY"},
        {-29, "ANY_BIT"},
        {-30, "ANY_DATE"},
        {-28, "ANY_INT"},
        {-26, "ANY_NUM"},
        {-27, "ANY_REAL"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        char buf[tree::kTypeIdNameSize];
        EXPECT_STREQ(TypeIdName(c.id, buf, sizeof buf), c.name);
    }
}

TEST(TiNodeKind, TypeIdNameNeedsRoomForANumber) {
    char small[tree::kTypeIdNameSize - 1];
    EXPECT_STREQ(TypeIdName(-32768, small, sizeof small), "?");
    EXPECT_STREQ(TypeIdName(-32768, nullptr, 100), "?");
    // Named ids need no buffer at all.
    EXPECT_STREQ(TypeIdName(-11, nullptr, 0), "INT");
}

void ExpectBare(const TiNode& n, int32_t kind) {
    EXPECT_EQ(n.kind, kind);
    EXPECT_EQ(n.attribute, 0);
    EXPECT_EQ(n.extra, 0u);
    EXPECT_EQ(n.line, 0);
    EXPECT_EQ(n.column, 0);
}

TEST(TiNodeMake, LeafOneLinkAndThreeLinkNodes) {
    Symbols s;
    SymAttr* x = s.Var("x", s.types.Elem(-11));

    TiNode nil(tree::NIL);
    ExpectBare(nil, tree::NIL);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_TRUE(nil.Link(i).IsEmpty());
    }

    TiNode* sym = new TiNode(tree::SYMBOL, x);
    ExpectBare(*sym, tree::SYMBOL);
    EXPECT_EQ(sym->Link(1).Tag(), TiLinkTag::Symbol);
    EXPECT_EQ(sym->Sym(1), x);
    EXPECT_EQ(sym->Child(1), nullptr); // a symbol is not a sub-tree
    EXPECT_TRUE(sym->Link(2).IsEmpty());

    TiNode* c = new TiNode(Int(7));
    ExpectBare(*c, tree::CONSTANT);
    EXPECT_EQ(c->Link(1).Tag(), TiLinkTag::Constant);
    EXPECT_EQ(c->Sym(1), nullptr);

    TiNode ass(tree::ASS, sym, c, nullptr);
    ExpectBare(ass, tree::ASS);
    EXPECT_EQ(ass.Child(1), sym);
    EXPECT_EQ(ass.Child(2), c);
    EXPECT_TRUE(ass.Link(3).IsEmpty());
    // Links outside 1..3 are empty and cannot be set.
    EXPECT_TRUE(ass.Link(0).IsEmpty());
    EXPECT_TRUE(ass.Link(4).IsEmpty());
    ass.SetLink(0, sym);
    ass.SetLink(4, sym);
    EXPECT_TRUE(ass.TakeLink(4).IsEmpty());
}

TEST(TiNodeMake, NullPointersMakeEmptyLinks) {
    TiNode n(tree::CAL, static_cast<SymAttr*>(nullptr), static_cast<TiNode*>(nullptr),
             static_cast<IEC_CONSTANT*>(nullptr));
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(n.Link(i).Tag(), TiLinkTag::None);
    }
    TiNode c(static_cast<IEC_CONSTANT*>(nullptr));
    EXPECT_EQ(c.kind, tree::CONSTANT);
    EXPECT_TRUE(c.Link(1).IsEmpty());
}

TEST(TiNodeMake, LinksAreOnlyReadAsWhatTheyHold) {
    Symbols s;
    SymAttr* x = s.Plain("x");
    IEC_CONSTANT k(3);
    TiNode target(tree::NIL);
    const TiLink links[] = {TiLink(x), TiLink(&target), TiLink::Ref(&target),
                            TiLink::SharedConstant(&k)};
    const TiLinkTag tags[] = {TiLinkTag::Symbol, TiLinkTag::Node, TiLinkTag::NodeRef,
                              TiLinkTag::ConstantRef};
    const bool owned[] = {false, true, false, false};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(links[i].Tag(), tags[i]);
        EXPECT_EQ(links[i].IsOwned(), owned[i]);
        EXPECT_EQ(links[i].AsSymbol() != nullptr, tags[i] == TiLinkTag::Symbol);
        EXPECT_EQ(links[i].AsNode() != nullptr,
                  tags[i] == TiLinkTag::Node || tags[i] == TiLinkTag::NodeRef);
        EXPECT_EQ(links[i].AsConstant() != nullptr, tags[i] == TiLinkTag::ConstantRef);
        EXPECT_EQ(links[i].AsText(), nullptr);
        EXPECT_EQ(links[i].AsSteps(), nullptr);
        EXPECT_EQ(links[i].AsRefCount(), nullptr);
    }
}

TEST(TiNodeMake, LiteralLeafSharesTheRecordsConstant) {
    Symbols s;
    IEC_CONSTANT v(42);
    SymAttr* lit = s.Literal(v);
    ASSERT_NE(lit->GetConstant(), nullptr);
    TiNode* n = TiNode::MakeLiteral(lit);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->kind, tree::CONSTANT);
    EXPECT_EQ(n->Link(1).Tag(), TiLinkTag::ConstantRef);
    EXPECT_EQ(n->Const(1), lit->GetConstant());
    EXPECT_EQ(n->Sym(3), lit);
    delete n; // must leave the record's constant alone
    int32_t back = 0;
    EXPECT_EQ(lit->GetConstant()->value.digit.GetINT32Val(&back), 0);
    EXPECT_EQ(back, 42);

    EXPECT_EQ(TiNode::MakeLiteral(nullptr), nullptr);
    EXPECT_EQ(TiNode::MakeLiteral(s.Plain("noConstant")), nullptr);
}

TEST(TiNodeMake, SymbolDescCopiesItsText) {
    Symbols s;
    char text[] = "ARRAY[1..2] OF INT";
    TiNode* n = TiNode::MakeSymbolDesc(s.types.Elem(-11), text);
    ASSERT_NE(n, nullptr);
    std::strcpy(text, "changed");
    EXPECT_STREQ(n->Link(2).AsText(), "ARRAY[1..2] OF INT");
    EXPECT_EQ(n->Sym(1), s.types.Elem(-11));
    delete n;

    TiNode* none = TiNode::MakeSymbolDesc(nullptr, nullptr);
    ASSERT_NE(none, nullptr);
    EXPECT_TRUE(none->Link(1).IsEmpty());
    EXPECT_TRUE(none->Link(2).IsEmpty());
    delete none;
}

TEST(TiNodeMake, ExpressionReferencesCountOnTheirDefinition) {
    TiNode* def = TiNode::MakeExprDef(new TiNode(tree::NIL));
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->RefCount(), 0);
    TiNode* r1 = TiNode::MakeExprRef(def);
    TiNode* r2 = TiNode::MakeExprRef(def);
    ASSERT_NE(r1, nullptr);
    ASSERT_NE(r2, nullptr);
    EXPECT_EQ(def->RefCount(), 2);
    EXPECT_EQ(r1->Link(1).Tag(), TiLinkTag::NodeRef);
    EXPECT_EQ(r1->Child(1), def);
    EXPECT_EQ(r1->RefCount(), 0); // only a definition has a count
    // References do not own their definition.
    delete r1;
    delete r2;
    EXPECT_EQ(def->kind, tree::EXPR_DEF);
    delete def;

    TiNode nil(tree::NIL);
    EXPECT_EQ(TiNode::MakeExprRef(&nil), nullptr);
    EXPECT_EQ(TiNode::MakeExprRef(nullptr), nullptr);
}

TEST(TiNodeMake, JumpsAndQualifiersKeepTheirCodeInTheAttribute) {
    Symbols s;
    SymAttr* lbl = s.Label("L1");
    SymAttr* act = s.Plain("A1");
    TiNode* j = TiNode::MakeJump(tree::JMP, tree::JMP_COND_NEG, lbl);
    ASSERT_NE(j, nullptr);
    EXPECT_EQ(j->attribute, 3);
    EXPECT_EQ(j->Sym(1), lbl);
    TiNode* r = TiNode::MakeJump(tree::RET, tree::JMP_COND, lbl);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->attribute, 2);
    EXPECT_TRUE(r->Link(1).IsEmpty());
    TiNode* q = TiNode::MakeQualifier(tree::QUAL_SL, act, nullptr);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->kind, tree::QUALIFIER);
    EXPECT_EQ(q->attribute, 8);
    EXPECT_EQ(q->Sym(1), act);
    delete j;
    delete r;
    delete q;
}

TEST(TiNodeMake, TransitionOwnsItsStepLists) {
    Symbols s;
    auto* st = new TiStepLists;
    EXPECT_EQ(st->Append(false, s.Plain("S1"), 4, 9), 0);
    EXPECT_EQ(st->Append(false, s.Plain("S2"), 4, 13), 0);
    EXPECT_EQ(st->Append(true, s.Plain("S3"), 4, 20), 0);
    EXPECT_EQ(TiStepLists::Count(st->from), 2);
    EXPECT_EQ(TiStepLists::Count(st->to), 1);
    EXPECT_EQ(TiStepLists::Count(nullptr), 0);
    EXPECT_STREQ(st->from->next->step->GetName(), "S2");
    EXPECT_EQ(st->from->next->column, 13);
    TiNode* t = TiNode::MakeTransition(st, new TiNode(tree::NIL));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Link(1).AsSteps(), st);
    delete t; // the sanitizer run checks that lists and condition are freed
}

TEST(TiNodeMake, TakeLinkHandsTheSubTreeBack) {
    TiNode* child = new TiNode(tree::NIL);
    TiNode* parent = new TiNode(tree::NOT, child);
    TiLink l = parent->TakeLink(1);
    EXPECT_TRUE(parent->Link(1).IsEmpty());
    delete parent;
    EXPECT_EQ(l.AsNode(), child); // still alive
    EXPECT_EQ(child->kind, tree::NIL);
    delete child;
}

TEST(TiNodeFree, LongChainsAndDeepNestingAreFreedWithoutRecursion) {
    // A million statements in one list, and a million nested NOTs: freeing
    // either recursively would exhaust the stack.
    TiNode* list = new TiNode(tree::STATEM_LIST);
    TiNode* last = list;
    for (int i = 0; i < 1000000; ++i) {
        ASSERT_EQ(TiAppendStatement(&last, new TiNode(Int(i)), nullptr), 0);
    }
    delete list;

    TiNode* deep = new TiNode(tree::NIL);
    for (int i = 0; i < 1000000; ++i) {
        deep = new TiNode(tree::NOT, deep);
    }
    delete deep;
}

// --------------------------------------------------------- ResultType

TEST(TiNodeResultType, SymbolsGiveTheElementTypeAfterTheirIndexes) {
    Symbols s;
    SymAttr* intT = s.types.Elem(-11);
    SymAttr* realT = s.types.Elem(-18);
    SymAttr* x = s.Var("x", intT);
    SymAttr* a1 = s.Var("a1", s.types.Array1(nullptr, 1, 3, realT));
    SymAttr* a2 = s.Var("a2", s.types.ArrayChain({{0, 1}, {1, 2}}, intT));
    SymAttr* st = s.Var("st", s.types.Struct("S", {{"c", intT}}));

    auto index = [](int n) {
        TiNode* chain = nullptr;
        for (int i = 0; i < n; ++i) {
            chain = new TiNode(tree::ADRADD, new TiNode(Int(1)), chain, nullptr);
        }
        return chain;
    };
    const struct {
        const char* name;
        SymAttr* sym;
        int indexes;
        short expected;
    } cases[] = {
        {"no symbol", nullptr, 0, 0},
        {"INT variable", x, 0, -11},
        {"array without index: the array type", a1, 0, 0},
        {"array with its index", a1, 1, -18},
        {"two dimensions, one index: the inner array", a2, 1, 0},
        {"two dimensions, two indexes", a2, 2, -11},
        {"structure", st, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TiNode n(tree::SYMBOL, c.sym, index(c.indexes), nullptr);
        n.attribute = 0x1234; // the attribute plays no part for a symbol
        EXPECT_EQ(ResultType(&n), c.expected);
    }
}

TEST(TiNodeResultType, OtherKindsGiveTheirAttribute) {
    EXPECT_EQ(ResultType(nullptr), 0);
    const int32_t kinds[] = {tree::ADD, tree::NOT, tree::CONSTANT, tree::CAL_COND, 5};
    for (int32_t k : kinds) {
        SCOPED_TRACE(k);
        TiNode n(k);
        n.attribute = static_cast<uint16_t>(-18);
        EXPECT_EQ(ResultType(&n), -18);
    }
}

TEST(TiNodeResultType, ExpressionDefinitionsComputeOnceAndKeepIt) {
    Symbols s;
    SymAttr* x = s.Var("x", s.types.Elem(-12));
    TiNode* def = TiNode::MakeExprDef(new TiNode(tree::SYMBOL, x));
    TiNode* ref = TiNode::MakeExprRef(def);
    EXPECT_EQ(def->attribute, 0);
    EXPECT_EQ(ResultType(ref), -12);
    EXPECT_EQ(static_cast<short>(ref->attribute), -12);
    EXPECT_EQ(static_cast<short>(def->attribute), -12);
    // Kept: a changed operand does not change the stored result.
    def->Child(1)->kind = tree::NIL;
    EXPECT_EQ(ResultType(def), -12);
    EXPECT_EQ(ResultType(ref), -12);
    delete ref;
    delete def;
}

TEST(TiNodeResultType, CircularReferencesGiveUnknown) {
    TiNode* def = TiNode::MakeExprDef(nullptr);
    TiNode* ref = TiNode::MakeExprRef(def);
    def->SetLink(1, TiLink::Ref(ref)); // a damaged tree: the definition refers back
    EXPECT_EQ(ResultType(def), 0);
    EXPECT_EQ(ResultType(ref), 0);
    def->TakeLink(1);
    delete ref;
    delete def;
}

// -------------------------------------------------- statement lists

// A list made of statements 1..n appended one at a time: the constants in
// the order of the chain, and the shape of each STATEM_LIST node.
std::vector<std::string> ListShape(const TiNode* list) {
    std::vector<std::string> out;
    for (const TiNode* n = list; n != nullptr; n = n->Child(3)) {
        std::string shape;
        for (int i = 1; i <= 2; ++i) {
            const TiNode* st = n->Child(i);
            int32_t v = 0;
            if (st != nullptr && st->Const(1) != nullptr) {
                st->Const(1)->value.digit.GetINT32Val(&v);
                shape += std::to_string(v);
            } else {
                shape += "-";
            }
        }
        out.push_back(shape);
    }
    return out;
}

TEST(TiNodeStatementList, StatementsFillTwoSlotsPerNode) {
    const struct {
        int count;
        std::vector<std::string> shape;
    } cases[] = {
        {0, {"--"}},       {1, {"1-"}},       {2, {"12"}},
        {3, {"12", "3-"}}, {4, {"12", "34"}}, {5, {"12", "34", "5-"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        TiNode* list = new TiNode(tree::STATEM_LIST);
        TiNode* last = list;
        for (int i = 1; i <= c.count; ++i) {
            ASSERT_EQ(TiAppendStatement(&last, new TiNode(Int(i)), nullptr), 0);
        }
        EXPECT_EQ(ListShape(list), c.shape);
        EXPECT_EQ(last->Child(3), nullptr);
        EXPECT_EQ(last->kind, tree::STATEM_LIST);
        delete list;
    }
}

TEST(TiNodeStatementList, AListIsLinkedWholeAndItsEndBecomesTheLast) {
    TiNode* inner = new TiNode(tree::STATEM_LIST);
    TiNode* innerLast = inner;
    for (int i = 10; i <= 14; ++i) {
        TiAppendStatement(&innerLast, new TiNode(Int(i)), nullptr);
    }
    TiNode* list = new TiNode(tree::STATEM_LIST);
    TiNode* last = list;
    TiAppendStatement(&last, new TiNode(Int(1)), nullptr);
    // The slot left in the first node stays empty: a list goes to child 3.
    ASSERT_EQ(TiAppendStatement(&last, inner, nullptr), 0);
    EXPECT_EQ(last, innerLast);
    TiAppendStatement(&last, new TiNode(Int(2)), nullptr);
    EXPECT_EQ(ListShape(list), (std::vector<std::string>{"1-", "1011", "1213", "142"}));
    delete list;
}

TEST(TiNodeStatementList, AStalePointerStillAppendsAtTheEnd) {
    TiNode* list = new TiNode(tree::STATEM_LIST);
    TiNode* last = list;
    for (int i = 1; i <= 3; ++i) {
        TiAppendStatement(&last, new TiNode(Int(i)), nullptr);
    }
    TiNode* stale = list; // not the last node any more
    ASSERT_EQ(TiAppendStatement(&stale, new TiNode(Int(4)), nullptr), 0);
    EXPECT_EQ(stale, last);
    EXPECT_EQ(ListShape(list), (std::vector<std::string>{"12", "34"}));
    delete list;
}

TEST(TiNodeStatementList, AWrongLastNodeIsAnInternalErrorAndDropsTheStatement) {
    auto sink = MakeSink();
    TiNode notAList(tree::IF_STATEM);
    TiNode* last = &notAList;
    EXPECT_EQ(TiAppendStatement(&last, new TiNode(Int(1)), sink.get()), -3554);
    EXPECT_EQ(last, &notAList);
    EXPECT_TRUE(notAList.Link(1).IsEmpty());

    TiNode* none = nullptr;
    EXPECT_EQ(TiAppendStatement(&none, new TiNode(Int(2)), sink.get()), -3554);
    EXPECT_EQ(TiAppendStatement(nullptr, new TiNode(Int(3)), sink.get()), -3554);
    // Without a sink the result is the same, only nothing is reported.
    EXPECT_EQ(TiAppendStatement(&last, new TiNode(Int(4)), nullptr), -3554);

    auto msgs = Messages(*sink);
    ASSERT_EQ(msgs.size(), 3u);
    for (const Message& m : msgs) {
        EXPECT_EQ(m.severity, errmess::SEV_INTERNAL);
        EXPECT_EQ(m.text.rfind("E: internal at TiNode.cpp ", 0), 0u) << m.text;
    }
    EXPECT_EQ(sink->GetErrors(), 3);

    // A null statement appends nothing and is no error.
    TiNode* list = new TiNode(tree::STATEM_LIST);
    TiNode* l = list;
    EXPECT_EQ(TiAppendStatement(&l, nullptr, sink.get()), 0);
    EXPECT_TRUE(list->Link(1).IsEmpty());
    delete list;
}

} // namespace
