// Access paths read from text against compiled declarations: byte offsets
// through structures inside arrays inside structures, indexes written with
// ',' and with "][", clamped and non-constant indexes, the element type, the
// canonical text, and the messages of the index checks and of malformed
// paths.
#include "tests/compiler/PathTestSupport.h"

#include "compiler/SymAttr.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using pathtest::Compiled;
using pathtest::Text;

// Sizes: T_REC 7 (a BOOL, b INT at 1, c REAL at 3); PT 6 (x, y at 2);
// AXIS 33 (id, pts at 2 with stride 6, flag at 32); CELL 78 (name 12,
// axes at 12 with stride 33); ROW 6; GRID 12.
const char* kDecls = R"(
TYPE
  T_REC : STRUCT a : BOOL; b : INT; c : REAL; END_STRUCT;
  REC2 : T_REC;
  ROW : ARRAY[1..3] OF INT;
  GRID : ARRAY[1..2] OF ROW;
  MAT : ARRAY[1..2, 1..3] OF INT;
  PT : STRUCT x : INT; y : REAL; END_STRUCT;
  AXIS : STRUCT id : INT; pts : ARRAY[0..4] OF PT; flag : BOOL; END_STRUCT;
  CELL : STRUCT name : ARRAY[1..2, 1..3] OF INT; axes : ARRAY[1..2] OF AXIS; END_STRUCT;
  BIG : ARRAY[0..39999] OF BYTE;
  COLOR : (RED, GREEN, BLUE);
END_TYPE
VAR
  r : T_REC;
  r2 : REC2;
  abc : INT;
  x : ARRAY[1..3] OF INT;
  m : ARRAY[1..2, 1..3] OF INT;
  mt : MAT;
  g : GRID;
  cel : CELL;
  cells : ARRAY[1..3] OF CELL;
  i : INT;
  bg : BIG;
  neg : ARRAY[-5..5] OF DINT;
  col : COLOR;
END_VAR
)";

class PathTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { env = new Compiled(kDecls); }
    static void TearDownTestSuite() {
        delete env;
        env = nullptr;
    }
    static Compiled* env;
};
Compiled* PathTest::env = nullptr;

TEST_F(PathTest, DeclarationsCompileCleanly) {
    EXPECT_EQ(env->parseResult, 0);
    EXPECT_TRUE(env->declMessages.empty()) << decltest::Describe(env->declMessages);
}

struct OffsetCase {
    const char* path;
    short offsetResult; // GetCompOffset
    unsigned long offset;
    const char* typeName; // GetCurDType's name
    const char* text;     // canonical text
};

TEST_F(PathTest, OffsetsTypesAndTexts) {
    const OffsetCase cases[] = {
        // The root alone, and components of a packed structure.
        {"r", 0, 0, "T_REC", "r"},
        {"r.a", 0, 0, "BOOL", "r.a"},
        {"r.b", 0, 1, "INT", "r.b"},
        {"r.c", 0, 3, "REAL", "r.c"},
        {"r2.c", 0, 3, "REAL", "r2.c"}, // through an alias of the structure
        // One dimension: first, last, and the array alone.
        {"x[1]", 0, 0, "INT", "x[1]"},
        {"x[3]", 0, 4, "INT", "x[3]"},
        {"x", 0, 0, "INT[1..3]", "x"},
        {"x[ 3 ]", 0, 4, "INT", "x[3]"},
        // Two dimensions of one array type: ',' and "][" are the same list.
        {"m[2,1]", 0, 6, "INT", "m[2,1]"},
        {"m[2][1]", 0, 6, "INT", "m[2,1]"},
        {"m[1,1]", 0, 0, "INT", "m[1,1]"},
        {"m[2,3]", 0, 10, "INT", "m[2,3]"},
        {"mt[2,3]", 0, 10, "INT", "mt[2,3]"},
        // Fewer indexes than dimensions: the first element of the rest.
        {"m[2]", 0, 6, "INT[1..3]", "m[2]"},
        // An array of a named array type: "][" between the two types.
        {"g[2,3]", 0, 10, "INT", "g[2][3]"},
        {"g[2][3]", 0, 10, "INT", "g[2][3]"},
        {"g[2]", 0, 6, "ROW", "g[2]"},
        // Structures inside arrays inside structures.
        {"cel.axes[2].pts[3].y", 0, 12 + 33 + 2 + 18 + 2, "REAL", "cel.axes[2].pts[3].y"},
        {"cel.axes[1].flag", 0, 12 + 32, "BOOL", "cel.axes[1].flag"},
        {"cel.name[2,3]", 0, 10, "INT", "cel.name[2,3]"},
        {"cells[2].axes[1].pts[0].x", 0, 78 + 12 + 2, "INT", "cells[2].axes[1].pts[0].x"},
        {"cells[3].name[2][3]", 0, 156 + 10, "INT", "cells[3].name[2,3]"},
        {"cells[3].axes[2].pts[4].y", 0, 156 + 12 + 33 + 2 + 24 + 2, "REAL",
         "cells[3].axes[2].pts[4].y"},
        // Negative bounds.
        {"neg[-5]", 0, 0, "DINT", "neg[-5]"},
        {"neg[0]", 0, 20, "DINT", "neg[0]"},
        {"neg[5]", 0, 40, "DINT", "neg[5]"},
        {"neg[+5]", 0, 40, "DINT", "neg[+5]"},
        // Beyond 16 bits.
        {"bg[39999]", 0, 39999, "BYTE", "bg[39999]"},
        {"bg[16#10]", 0, 16, "BYTE", "bg[16#10]"},
        // Non-constant indexes: 102, each at its lower bound.
        {"x[i]", 102, 0, "INT", "x[i]"},
        {"x[i + 1]", 102, 0, "INT", "x[i+1]"},
        {"x[i MOD 2]", 102, 0, "INT", "x[i MOD 2]"},
        {"cells[i].axes[2].flag", 102, 12 + 33 + 32, "BOOL", "cells[i].axes[2].flag"},
        {"neg[i]", 102, 0, "DINT", "neg[i]"},
        // Names are given as declared.
        {"R.C", 0, 3, "REAL", "r.c"},
    };
    for (const OffsetCase& c : cases) {
        SCOPED_TRACE(c.path);
        TiVariable* v = nullptr;
        short rc = env->Read(c.path, &v);
        std::unique_ptr<TiVariable> own(v);
        ASSERT_EQ(rc, 0) << decltest::Describe(env->messages);
        ASSERT_NE(v, nullptr);
        EXPECT_TRUE(env->messages.empty()) << decltest::Describe(env->messages);
        unsigned long off = 12345;
        EXPECT_EQ(v->GetCompOffset(&off), c.offsetResult);
        EXPECT_EQ(off, c.offset);
        SymAttr* t = v->GetCurDType();
        ASSERT_NE(t, nullptr);
        EXPECT_STREQ(t->GetName(), c.typeName);
        EXPECT_EQ(Text(v), c.text);
    }
}

struct ClampCase {
    const char* path;
    unsigned long offset;
    const char* text;
};

TEST_F(PathTest, ClampedIndexesReportAndKeepThePath) {
    const ClampCase cases[] = {
        {"x[4]", 4, "x[4]"},         // one past the upper bound
        {"x[0]", 0, "x[0]"},         // one below the lower bound
        {"x[32767]", 4, "x[32767]"}, // INT maximum
        {"x[-32768]", 0, "x[-32768]"},
        {"x[2147483648]", 4, "x[2147483648]"}, // beyond 32 bits
        {"x[-2147483649]", 0, "x[-2147483649]"},
        {"neg[-6]", 0, "neg[-6]"},
        {"neg[6]", 40, "neg[6]"},
        {"m[3,4]", 10, "m[3,4]"}, // both dimensions clamped
        {"cells[4].axes[1].flag", 156 + 12 + 32, "cells[4].axes[1].flag"},
    };
    for (const ClampCase& c : cases) {
        SCOPED_TRACE(c.path);
        TiVariable* v = nullptr;
        short rc = env->Read(c.path, &v);
        std::unique_ptr<TiVariable> own(v);
        EXPECT_EQ(rc, tivar::PARSE_ERRORS);
        ASSERT_NE(v, nullptr);
        ASSERT_FALSE(env->messages.empty());
        for (const decltest::Msg& m : env->messages) {
            EXPECT_EQ(m.number, -3479);
            EXPECT_EQ(m.severity, 2);
        }
        unsigned long off = 12345;
        EXPECT_EQ(v->GetCompOffset(&off), 0);
        EXPECT_EQ(off, c.offset);
        EXPECT_EQ(Text(v), c.text);
    }
}

struct ErrorCase {
    const char* path;
    std::vector<int> numbers;
    std::string p1;
    std::string p2;
};

TEST_F(PathTest, MalformedPathsGiveNoPath) {
    const ErrorCase cases[] = {
        {"", {-3511}, "name", ""},
        {"   ", {-3511}, "name", ""},
        {"nothing", {-3575}, "nothing", ""},
        {"T_REC", {-3575}, "T_REC", ""}, // a type is no variable
        {"INT", {-3575}, "INT", ""},     // nor a keyword
        {"RED", {-3575}, "RED", ""},     // nor an enumeration value
        {"r.zz", {-3472}, "T_REC", "zz"},
        {"x.a", {-3472}, "INT[1..3]", "a"},
        {"m[1].a", {-3472}, "INT[1..3]", "a"}, // a partial index leaves an array
        {"r.a.b", {-3472}, "BOOL", "b"},
        {"r[1]", {-3480}, "T_REC", ""},
        {"abc[1]", {-3480}, "INT", ""},
        {"r.c[1]", {-3480}, "REAL", ""},
        {"x[1,2]", {-3481}, "", ""},
        {"x[1][2]", {-3481}, "", ""},
        {"m[1,2,3]", {-3481}, "", ""},
        {"x[1.5]", {-3478}, "", ""},
        {"x[TRUE]", {-3478}, "", ""},
        {"x[RED]", {-3478}, "", ""},
        {"x[T#1s]", {-3478}, "", ""},
        {"x[]", {-3478}, "", ""},
        {"x[1,]", {-3478}, "", ""},
        {"x[j]", {-3575}, "j", ""},
        {"x[1", {-3514}, "", ""},
        {"x[(1]", {-3514}, "", ""},
        {"r.", {-3511}, "name", ""},
        {"r.[1]", {-3511}, "name", ""},
        {"x]", {-3511}, ".", ""},
        {"r c", {-3511}, ".", ""},
        {"x[4].a", {-3479, -3472}, "", ""},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.path);
        TiVariable* v = reinterpret_cast<TiVariable*>(&env); // must be cleared
        short rc = env->Read(c.path, &v);
        EXPECT_EQ(rc, tivar::PARSE_ERRORS);
        EXPECT_EQ(v, nullptr);
        EXPECT_EQ(env->Numbers(), c.numbers) << decltest::Describe(env->messages);
        if (!env->messages.empty()) {
            const decltest::Msg& last = env->messages.back();
            if (c.numbers.size() == 1) {
                EXPECT_EQ(last.p1, c.p1);
                EXPECT_EQ(last.p2, c.p2);
            }
        }
    }
}

TEST_F(PathTest, MessagesStandAtTheIndexOrName) {
    struct Case {
        const char* path;
        int number;
        int col;
    };
    // Columns as the scanner counts them (0 = first character).
    const Case cases[] = {
        {"x[4]", -3479, 2},   {"m[1, 9]", -3479, 5}, {"r.zz", -3472, 2},
        {"x[1,2]", -3481, 4}, {"nothing", -3575, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        TiVariable* v = nullptr;
        env->Read(c.path, &v);
        delete v;
        ASSERT_EQ(env->messages.size(), 1u);
        EXPECT_EQ(env->messages[0].number, c.number);
        EXPECT_EQ(env->messages[0].line, 1);
        EXPECT_EQ(env->messages[0].col, c.col);
    }
}

TEST_F(PathTest, IndexTypesAndModes) {
    struct Case {
        const char* path;
        TiVarModes modes;
        short rc;
        std::vector<short> typeIds; // per index of the root link
        std::vector<int> numbers;
    };
    TiVarModes dint;
    dint.dintIndexes = 1;
    TiVarModes constant;
    constant.constIndexes = 1;
    const Case cases[] = {
        {"x[3]", TiVarModes{}, 0, {-11}, {}},
        {"x[3]", dint, 0, {-12}, {}},
        {"bg[32767]", TiVarModes{}, 0, {-11}, {}},
        {"bg[32768]", TiVarModes{}, 0, {-12}, {}}, // one past the INT maximum
        {"neg[-5]", TiVarModes{}, 0, {-11}, {}},
        {"m[1,2]", dint, 0, {-12, -12}, {}},
        {"x[i]", TiVarModes{}, 0, {0}, {}},
        {"x[i]", constant, 1, {}, {-3478}},
        {"x[2]", constant, 0, {-11}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        TiVariable* v = nullptr;
        short rc = env->Read(c.path, &v, c.modes);
        std::unique_ptr<TiVariable> own(v);
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(env->Numbers(), c.numbers);
        std::vector<short> ids;
        if (v != nullptr) {
            EXPECT_EQ(v->GetIndexCount(), c.typeIds.size());
            for (const TiVarIndex* i = v->GetIndexList(); i != nullptr; i = i->next) {
                ids.push_back(i->typeId);
            }
            EXPECT_EQ(v->GetModes().dintIndexes, c.modes.dintIndexes);
        }
        EXPECT_EQ(ids, c.typeIds);
    }
}

TEST_F(PathTest, CurrentSymbolIsTheLastLink) {
    struct Case {
        const char* path;
        const char* lastName;
        int links;
    };
    const Case cases[] = {
        {"r", "r", 1},
        {"r.c", "c", 2},
        {"cells[1].axes[2].pts[3].y", "y", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        TiVariable* v = nullptr;
        ASSERT_EQ(env->Read(c.path, &v), 0);
        std::unique_ptr<TiVariable> own(v);
        LocSymAttr* cur = v->GetCurSymbol();
        ASSERT_NE(cur, nullptr);
        ASSERT_NE(cur->GetSymbol(), nullptr);
        EXPECT_STREQ(cur->GetSymbol()->GetName(), c.lastName);
        int n = 0;
        for (TiVariable* l = v; l != nullptr; l = l->GetNext()) {
            ++n;
        }
        EXPECT_EQ(n, c.links);
    }
}

TEST_F(PathTest, ArgumentsMissing) {
    TiVariable* v = nullptr;
    TiVarModes modes;
    testing::internal::CaptureStdout();
    EXPECT_EQ(TiVariable::Parse(nullptr, env->set(), nullptr, nullptr, modes, &v), -2);
    EXPECT_EQ(TiVariable::Parse("x", nullptr, nullptr, nullptr, modes, &v), -2);
    EXPECT_EQ(TiVariable::Parse("x", env->set(), nullptr, nullptr, modes, nullptr), -2);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(v, nullptr);
    // Without a sink the path is still read.
    testing::internal::CaptureStdout();
    TiCompOptions o = pathtest::Options();
    EXPECT_EQ(TiVariable::Parse("r.c", env->set(), nullptr, &o, modes, &v), 0);
    testing::internal::GetCapturedStdout();
    ASSERT_NE(v, nullptr);
    unsigned long off = 0;
    EXPECT_EQ(v->GetCompOffset(&off), 0);
    EXPECT_EQ(off, 3u);
    delete v;
}

TEST_F(PathTest, OverlongTextIsRefused) {
    std::string text = "x[" + std::string(tivar::kMaxPathText, '1') + "]";
    TiVariable* v = nullptr;
    EXPECT_EQ(env->Read(text.c_str(), &v), tivar::PARSE_ERRORS);
    EXPECT_EQ(v, nullptr);
    EXPECT_EQ(env->Numbers(), std::vector<int>{-3511});
}

TEST_F(PathTest, LowerCaseNamesWithoutTheOptionAreScannerErrors) {
    // With the default options a name written in lower case is an error of
    // the scanner; the path is then not handed out.
    TiCompOptions defaults(true);
    TiVariable* v = nullptr;
    env->sink().ResetCounts();
    testing::internal::CaptureStdout();
    short rc = TiVariable::Parse("r.c", env->set(), &env->sink(), &defaults, TiVarModes{}, &v);
    testing::internal::GetCapturedStdout();
    std::vector<decltest::Msg> msgs = decltest::Messages(env->sink());
    env->sink().ResetCounts();
    EXPECT_EQ(rc, tivar::PARSE_ERRORS);
    EXPECT_EQ(v, nullptr);
    ASSERT_FALSE(msgs.empty());
    EXPECT_EQ(msgs[0].number, -3553);
}

} // namespace
