// The layout cursor TiInitValDesc and the repetition iterator: construction
// statuses, walking arrays (with repetitions, nested lists, flat lists and
// missing elements) and structures element by element, the texts it gives
// per element, sub-cursors, and the failures of a walk.
#include "DeclTestSupport.h"
#include "compiler/TiInitValDesc.h"

#include <gtest/gtest.h>

using namespace decltest;

namespace {

class InitValDescWalk : public ::testing::Test {
protected:
    void SetUp() override {
        auto& c = *env.ctx;
        c.DeclareType(env.Name("color"), DeclPos{}, env.Enum({"red", "green", "blue"}), nullptr);
        c.DeclareType(env.Name("pair"), DeclPos{}, env.Struct({{"a", "INT"}, {"b", "INT"}}),
                      nullptr);
        c.DeclareType(env.Name("rec"), DeclPos{},
                      env.Struct({{"p", "pair"}, {"k", "color"}, {"f", "BOOL"}}), nullptr);
        c.DeclareType(env.Name("a10"), DeclPos{},
                      c.MakeArraySpec(env.Dims({{1, 10}}), env.Name("INT"), DeclPos{}), nullptr);
        c.DeclareType(env.Name("m23"), DeclPos{},
                      c.MakeArraySpec(env.Dims({{1, 2}, {1, 3}}), env.Name("INT"), DeclPos{}),
                      nullptr);
        c.DeclareType(env.Name("colors"), DeclPos{},
                      c.MakeArraySpec(env.Dims({{1, 3}}), env.Name("color"), DeclPos{}), nullptr);
        c.DeclareType(env.Name("pairs"), DeclPos{},
                      c.MakeArraySpec(env.Dims({{0, 1}}), env.Name("pair"), DeclPos{}), nullptr);
        env.Take();
    }
    void TearDown() override {
        for (TiInitValSpec* v : values) {
            TiDelInitValSpecList(v);
        }
    }

    // A value read and checked against the type.
    TiInitValSpec* Value(const char* type, const char* text) {
        InitValReader reader(&env.sink, env.set.get());
        TiInitValSpec* v = reader.Read(text);
        EXPECT_NE(v, nullptr);
        if (v != nullptr) {
            values.push_back(v);
            EXPECT_EQ(v->Check(env.Type(type), &env.sink), 0) << text;
        }
        return v;
    }

    // Walks a cursor to its end: per element "offset:text" (text "-" for
    // null).
    static std::vector<std::string> Walk(TiInitValDesc* d) {
        std::vector<std::string> out;
        for (int guard = 0; guard < 1000 && !d->IsEnd(); ++guard) {
            const char* t = d->GetAsciiSpec();
            out.push_back(std::to_string(d->GetOffset()) + ":" + (t != nullptr ? t : "-"));
            short rc = d->GotoNext();
            if (rc != 0 && rc != -1) {
                out.push_back("status " + std::to_string(rc));
                break;
            }
        }
        return out;
    }

    // The elements of the value's top-level layout.
    std::vector<std::string> Elements(const char* type, const char* text) {
        TiInitValSpec* v = Value(type, text);
        short st = -1;
        TiInitValDesc top(v, &st);
        EXPECT_EQ(st, 0);
        TiInitValDesc* sub = top.GetSublist(&st);
        EXPECT_EQ(st, 0);
        if (sub == nullptr) {
            return {};
        }
        std::vector<std::string> out = Walk(sub);
        delete sub;
        return out;
    }

    DeclEnv env;
    std::vector<TiInitValSpec*> values;
};

TEST_F(InitValDescWalk, ConstructionStatus) {
    InitValReader reader(&env.sink, env.set.get());
    short st = -1;
    TiInitValDesc none(nullptr, &st);
    EXPECT_EQ(st, TiInitValDesc::ST_NULL);
    EXPECT_TRUE(none.IsEnd());

    TiInitValSpec* unchecked = reader.Read("5");
    values.push_back(unchecked);
    TiInitValDesc noType(unchecked, &st);
    EXPECT_EQ(st, TiInitValDesc::ST_TYPE);

    TiInitValSpec* arr = Value("a10", "[3(1, 2), 4(0)]");
    TiInitValSpec* rep = arr->GetSublist();
    TiInitValDesc atRep(rep, &st);
    EXPECT_EQ(st, TiInitValDesc::ST_REPEAT);

    TiInitValSpec* s = Value("pair", "(b := 2)");
    TiInitValDesc atAssign(s->GetSublist(), &st);
    EXPECT_EQ(st, TiInitValDesc::ST_ASSIGN);

    TiInitValDesc ok(arr, &st);
    EXPECT_EQ(st, TiInitValDesc::ST_OK);
    EXPECT_EQ(ok.GetTotalSize(), 20);
    EXPECT_EQ(ok.GetElemSize(), 20);
    EXPECT_EQ(ok.GetOffset(), 0);
    EXPECT_EQ(ok.GetCurrent(), arr);
    EXPECT_STREQ(ok.GetAsciiSpec(), "[3 (1, 2), 4 (0)]");

    // A string's layout is its text.
    TiInitValSpec* str = Value("STRING", "'abc'");
    TiInitValDesc text(str, &st);
    EXPECT_EQ(st, TiInitValDesc::ST_OK);
    EXPECT_EQ(text.GetTotalSize(), 4);
}

TEST_F(InitValDescWalk, ElementaryEndsAtOnce) {
    TiInitValSpec* v = Value("INT", "7");
    short st = -1;
    TiInitValDesc d(v, &st);
    ASSERT_EQ(st, 0);
    EXPECT_STREQ(d.GetAsciiSpec(), "7");
    EXPECT_EQ(d.GotoNext(), -1);
    EXPECT_TRUE(d.IsEnd());
    EXPECT_EQ(d.GetAsciiSpec(), nullptr);
    EXPECT_EQ(d.GetCurrent(), nullptr);
    EXPECT_EQ(d.GotoNext(), -1);
    EXPECT_EQ(d.GetSublist(&st), nullptr);
    EXPECT_EQ(st, TiInitValDesc::SUB_NOT_AGGREGATE);
}

TEST_F(InitValDescWalk, ArrayWalks) {
    struct Case {
        const char* type;
        const char* value;
        std::vector<std::string> elements;
    } cases[] = {
        {"a10",
         "[3(1, 2), 4(0)]",
         {"0:1", "2:2", "4:1", "6:2", "8:1", "10:2", "12:0", "14:0", "16:0", "18:0"}},
        {"a10",
         "[1, 2]",
         {"0:1", "2:2", "4:0", "6:0", "8:0", "10:0", "12:0", "14:0", "16:0", "18:0"}},
        {"a10", "[]", {"0:0", "2:0", "4:0", "6:0", "8:0", "10:0", "12:0", "14:0", "16:0", "18:0"}},
        {"a10",
         "[2(2(1), 3)]",
         {"0:1", "2:1", "4:3", "6:1", "8:1", "10:3", "12:0", "14:0", "16:0", "18:0"}},
        {"colors", "[blue, 2(green)]", {"0:blue", "2:green", "4:green"}},
        {"colors", "[red]", {"0:red", "2:-", "4:-"}},
        {"m23", "[[1, 2, 3], [4, 5, 6]]", {"0:[1, 2, 3]", "6:[4, 5, 6]"}},
        {"m23", "[2([7, 8])]", {"0:[7, 8]", "6:[7, 8]"}},
        {"m23", "[[1]]", {"0:[1]", "6:-"}},
        // A flat list: the records are INTs, the elements rows; no text.
        {"m23", "[1, 2, 3, 4, 5, 6]", {"0:-", "6:-"}},
        {"pairs", "[(a := 1), (b := 2)]", {"0:(a := 1)", "4:(b := 2)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.value);
        EXPECT_EQ(Elements(c.type, c.value), c.elements);
    }
}

TEST_F(InitValDescWalk, StructureWalks) {
    struct Case {
        const char* type;
        const char* value;
        std::vector<std::string> elements;
    } cases[] = {
        {"pair", "(b := 2)", {"0:0", "2:2"}},
        {"pair", "(b := 2, a := 1)", {"0:1", "2:2"}},
        {"pair", "()", {"0:0", "2:0"}},
        {"rec", "(p := (b := 5), k := blue, f := TRUE)", {"0:(b := 5)", "4:blue", "6:TRUE"}},
        {"rec", "(f := TRUE)", {"0:-", "4:-", "6:TRUE"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.value);
        EXPECT_EQ(Elements(c.type, c.value), c.elements);
    }
}

// Sub-cursors go down into nested structures and arrays.
TEST_F(InitValDescWalk, SubCursors) {
    TiInitValSpec* v = Value("rec", "(p := (b := 5), k := green)");
    short st = -1;
    TiInitValDesc top(v, &st);
    TiInitValDesc* comps = top.GetSublist(&st);
    ASSERT_NE(comps, nullptr);
    EXPECT_STREQ(comps->GetComponent()->GetName(), "p");
    EXPECT_EQ(comps->GetParentType(), env.Global("rec"));
    EXPECT_EQ(comps->GetTotalSize(), 7);
    TiInitValDesc* p = comps->GetSublist(&st);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(Walk(p), (std::vector<std::string>{"0:0", "2:5"}));
    delete p;
    comps->GotoNext();
    EXPECT_EQ(comps->GetSublist(&st), nullptr); // an enumeration
    EXPECT_EQ(st, TiInitValDesc::SUB_NOT_AGGREGATE);
    delete comps;

    TiInitValSpec* m = Value("m23", "[[1, 2, 3], [4, 5]]");
    TiInitValDesc mt(m, &st);
    TiInitValDesc* rows = mt.GetSublist(&st);
    ASSERT_NE(rows, nullptr);
    rows->GotoNext();
    TiInitValDesc* row = rows->GetSublist(&st);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(Walk(row), (std::vector<std::string>{"0:4", "2:5", "4:0"}));
    delete row;
    delete rows;

    // A flat list's rows have no list of their own to go into.
    TiInitValSpec* f = Value("m23", "[1, 2, 3, 4, 5, 6]");
    TiInitValDesc ft(f, &st);
    TiInitValDesc* frows = ft.GetSublist(&st);
    ASSERT_NE(frows, nullptr);
    EXPECT_EQ(frows->GetSublist(&st), nullptr);
    EXPECT_EQ(st, TiInitValDesc::SUB_NOT_EQUIVALENT);
    EXPECT_STREQ(frows->GetCurrent()->GetAsciiSpec(), "1");
    frows->GotoNext();
    EXPECT_STREQ(frows->GetCurrent()->GetAsciiSpec(), "4");
    delete frows;
}

// A record without type in the walked list is reported as an internal
// error on standard output and returned as the status.
TEST_F(InitValDescWalk, WalkFailureIsReported) {
    TiInitValSpec* v = Value("a10", "[1, 2]");
    InitValReader reader(&env.sink);
    TiInitValSpec* stray = reader.Read("3");
    TiInitValSpec::Append(v->GetSublist(), stray); // never checked: no type
    short st = -1;
    TiInitValDesc top(v, &st);
    TiInitValDesc* d = top.GetSublist(&st);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->GotoNext(), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(d->GotoNext(), TiInitValDesc::NX_NO_TYPE);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Internal Error: TiIinitValDesc::GotoNext : 7\n");
    delete d;
}

TEST_F(InitValDescWalk, RepetitionIterator) {
    // Not checked: the counts are read from their literals.
    InitValReader reader(&env.sink);
    TiInitValSpec* v = reader.Read("[2(1, 3(2)), 0(5)]");
    ASSERT_NE(v, nullptr);
    values.push_back(v);
    EXPECT_EQ(TiInitValRepIter(nullptr).GetStatus(), TiInitValRepIter::IT_NO_RECORD);
    EXPECT_EQ(TiInitValRepIter(v).GetStatus(), TiInitValRepIter::IT_NOT_REPEAT);
    TiInitValSpec* rep = v->GetSublist();
    EXPECT_EQ(TiInitValRepIter(rep->GetNext()).GetStatus(), TiInitValRepIter::IT_COUNT_ZERO);
    TiInitValRepIter it(rep);
    ASSERT_EQ(it.GetStatus(), TiInitValRepIter::IT_OK);
    EXPECT_EQ(it.GetCount(), 2u);
    std::string seq;
    for (TiInitValSpec* r = it.Current(); r != nullptr; r = it.Next()) {
        seq += r->GetAsciiSpec();
    }
    EXPECT_EQ(seq, "12221222");
    EXPECT_EQ(it.GetDone(), 2u);
    EXPECT_EQ(it.Next(), nullptr);
}

// Repetitions whose list yields nothing are passed over, also when nothing
// at all is left.
TEST_F(InitValDescWalk, RepetitionsYieldingNothing) {
    InitValReader reader(&env.sink);
    TiInitValSpec* v = reader.Read("[2(0(1))]");
    values.push_back(v);
    TiInitValRepIter it(v->GetSublist());
    EXPECT_EQ(it.Current(), nullptr);
    EXPECT_EQ(it.Next(), nullptr);
}

} // namespace
