// C type declarations of compiled type libraries: the exact lines of every
// kind of type and structure component, the C names of the elementary
// types and "*****", declaration order against the table's bucket order,
// the 200-character line buffer, the name sink, and the status codes of a
// failing output, a failing name sink, a name the table does not find and
// an allocation that fails.
#include "tests/compiler/AllocFailure.h"
#include "tests/compiler/PathTestSupport.h"

#include "compiler/IOBase.h"
#include "compiler/SymAttr.h"
#include "compiler/SymTab.h"
#include "compiler/TiTypeGenerator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using pathtest::Compiled;
using Lines = std::vector<std::string>;

/// Keeps the lines; fails the write with index `failAt` (-1: never).
class LineSink : public IOBase {
public:
    explicit LineSink(int failAt = -1) : failAt(failAt) {}
    int PutLine(const char* line) override {
        if (calls++ == failAt) {
            return 0;
        }
        lines.emplace_back(line);
        return 1;
    }
    Lines lines;
    int failAt;
    int calls = 0;
};

Lines Generate(const char* source, int* status = nullptr, Lines* names = nullptr) {
    Compiled env(source);
    EXPECT_EQ(env.parseResult, 0);
    EXPECT_TRUE(env.declMessages.empty()) << decltest::Describe(env.declMessages);
    LineSink out;
    LineSink nameSink;
    TiTypeGenerator gen(env.set()->GetGlobalTab(), &out);
    int st = gen.GenerateAll_C_Types(names != nullptr ? &nameSink : nullptr, nullptr, nullptr);
    if (status != nullptr) {
        *status = st;
    } else {
        EXPECT_EQ(st, 0);
    }
    if (names != nullptr) {
        *names = nameSink.lines;
    }
    return out.lines;
}

struct DeclCase {
    const char* name;
    const char* source;
    Lines lines;
};

TEST(TypeGenerator, EachKindOfType) {
    const DeclCase cases[] = {
        {"structure with an array component",
         "TYPE p : STRUCT x : INT; y : ARRAY[1..2, 1..3] OF REAL; END_STRUCT; END_TYPE",
         {"typedef struct p", "{", "  INT x;", "  REAL y[2][3];", "} p;",
          "typedef p FB_PTR_CONV * PTR_p;"}},
        {"elementary C names",
         "TYPE e : STRUCT a : BOOL; b : BYTE; c : WORD; d : INT; f : UINT; g : DINT; "
         "h : UDINT; i : REAL; j : TIME; END_STRUCT; END_TYPE",
         {"typedef struct e", "{", "  BOOL a;", "  BYTE b;", "  WORD c;", "  INT d;", "  UINT f;",
          "  DINT g;", "  UDINT h;", "  REAL i;", "  TIME j;", "} e;",
          "typedef e FB_PTR_CONV * PTR_e;"}},
        {"other elementary types",
         "TYPE o : STRUCT a : LREAL; b : DWORD; c : SINT; d : LINT; e : DATE; END_STRUCT; END_TYPE",
         {"typedef struct o", "{", "  ***** a;", "  ***** b;", "  ***** c;", "  ***** d;",
          "  ***** e;", "} o;", "typedef o FB_PTR_CONV * PTR_o;"}},
        {"alias of a structure",
         "TYPE s : STRUCT a : INT; END_STRUCT; s2 : s; END_TYPE",
         {"typedef struct s", "{", "  INT a;", "} s;", "typedef s FB_PTR_CONV * PTR_s;",
          "typedef s s2;", "typedef s2 FB_PTR_CONV * PTR_s2;"}},
        {"array of an elementary type",
         "TYPE r : ARRAY[1..10] OF DINT; END_TYPE",
         {"typedef DINT r[10];", "typedef r FB_PTR_CONV * PTR_r;"}},
        {"two dimensions",
         "TYPE m : ARRAY[0..3, 1..4] OF REAL; END_TYPE",
         {"typedef REAL m[4][4];", "typedef m FB_PTR_CONV * PTR_m;"}},
        {"array of a named array",
         "TYPE row : ARRAY[1..3] OF INT; grid : ARRAY[1..2] OF row; END_TYPE",
         {"typedef INT row[3];", "typedef row FB_PTR_CONV * PTR_row;", "typedef row grid[2];",
          "typedef grid FB_PTR_CONV * PTR_grid;"}},
        {"array of structures",
         "TYPE pt : STRUCT x : INT; END_STRUCT; pts : ARRAY[0..9] OF pt; END_TYPE",
         {"typedef struct pt", "{", "  INT x;", "} pt;", "typedef pt FB_PTR_CONV * PTR_pt;",
          "typedef pt pts[10];", "typedef pts FB_PTR_CONV * PTR_pts;"}},
        {"subrange",
         "TYPE sr : INT(-5..20); END_TYPE",
         {"typedef INT sr; /* -5 .. 20 */", "typedef sr FB_PTR_CONV * PTR_sr;"}},
        {"enumeration",
         "TYPE color : (RED, GREEN, BLUE); END_TYPE",
         {"typedef enum", "{", "RED = 0,", "GREEN = 1,", "BLUE = 2", "} color;",
          "typedef color FB_PTR_CONV * PTR_color;"}},
        {"enumeration of one value",
         "TYPE one : (ONLY); END_TYPE",
         {"typedef enum", "{", "ONLY = 0", "} one;", "typedef one FB_PTR_CONV * PTR_one;"}},
        {"alias of an enumeration",
         "TYPE color : (RED, GREEN); c2 : color; END_TYPE",
         {"typedef enum", "{", "RED = 0,", "GREEN = 1", "} color;",
          "typedef color FB_PTR_CONV * PTR_color;", "typedef color c2;",
          "typedef c2 FB_PTR_CONV * PTR_c2;"}},
        {"derived elementary types",
         "TYPE myint : INT; mylreal : LREAL; myint2 : myint; END_TYPE",
         {"typedef INT myint;", "typedef myint FB_PTR_CONV * PTR_myint;", "typedef ***** mylreal;",
          "typedef mylreal FB_PTR_CONV * PTR_mylreal;", "typedef myint myint2;",
          "typedef myint2 FB_PTR_CONV * PTR_myint2;"}},
        {"components of every kind",
         "TYPE color : (RED, GREEN); row : ARRAY[1..3] OF INT; sr : INT(1..9); myint : INT; "
         "in : STRUCT a : INT; END_STRUCT; "
         "k : STRUCT c : color; r : row; rs : ARRAY[1..2] OF row; s : INT(0..7); n : sr; "
         "m : myint; i : in; ia : ARRAY[1..2] OF in; END_STRUCT; END_TYPE",
         {"typedef enum",
          "{",
          "RED = 0,",
          "GREEN = 1",
          "} color;",
          "typedef color FB_PTR_CONV * PTR_color;",
          "typedef INT row[3];",
          "typedef row FB_PTR_CONV * PTR_row;",
          "typedef INT sr; /* 1 .. 9 */",
          "typedef sr FB_PTR_CONV * PTR_sr;",
          "typedef INT myint;",
          "typedef myint FB_PTR_CONV * PTR_myint;",
          "typedef struct in",
          "{",
          "  INT a;",
          "} in;",
          "typedef in FB_PTR_CONV * PTR_in;",
          "typedef struct k",
          "{",
          "  color c;",
          "  row r;",
          "  row rs[2];",
          "  INT s;/* 0 .. 7*/",
          "  INT n;/* 1 .. 9*/",
          "  myint m;",
          "  in i;",
          "  in ia[2];",
          "} k;",
          "typedef k FB_PTR_CONV * PTR_k;"}},
    };
    for (const DeclCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Generate(c.source), c.lines);
    }
}

TEST(TypeGenerator, NamesAreCutTo32Characters) {
    // The scanner cuts names to 32 characters; a generated array name is
    // longer and shows the cut in the element position.
    Compiled env("TYPE AAAAAAAAAABBBBBBBBBBCCCCCCCCCCDD : ARRAY[1..2] OF BOOL; END_TYPE\n"
                 "TYPE w : STRUCT a : ARRAY[1..2, 1..3, 1..4, 1..5] OF BOOL; END_STRUCT; END_TYPE");
    LineSink out;
    LineSink names;
    TiTypeGenerator gen(env.set()->GetGlobalTab(), &out);
    EXPECT_EQ(gen.GenerateAll_C_Types(&names, nullptr, nullptr), 0);
    ASSERT_EQ(names.lines.size(), 2u);
    EXPECT_EQ(names.lines[0].size(), 32u);
    for (const std::string& l : out.lines) {
        EXPECT_LE(l.size(), typegen::kLineBuffer);
    }
    EXPECT_EQ(out.lines[0], "typedef BOOL " + names.lines[0] + "[2];");
    EXPECT_EQ(out.lines[4], "  BOOL a[2][3][4][5];");
}

TEST(TypeGenerator, DeclarationOrderNotBucketOrder) {
    // Many types whose bucket order differs from their order of declaration;
    // each uses the one before it.
    std::string src = "TYPE T0 : STRUCT v : INT; END_STRUCT;\n";
    Lines expected = {"typedef struct T0", "{", "  INT v;", "} T0;",
                      "typedef T0 FB_PTR_CONV * PTR_T0;"};
    for (int i = 1; i < 40; ++i) {
        std::string n = "T" + std::to_string(i);
        std::string p = "T" + std::to_string(i - 1);
        src += n + " : ARRAY[1..1] OF " + p + ";\n";
        expected.push_back("typedef " + p + " " + n + "[1];");
        expected.push_back("typedef " + n + " FB_PTR_CONV * PTR_" + n + ";");
    }
    src += "END_TYPE\n";
    Compiled env(src.c_str());
    // The table's walk does not give the declaration order by itself.
    std::vector<std::string> walk;
    SymTab* g = env.set()->GetGlobalTab();
    for (SymAttr* r = g->FindFirstEntry(); r != nullptr; r = g->FindNextEntry(r)) {
        if (r->IsVisibleDType()) {
            walk.emplace_back(r->GetName());
        }
    }
    ASSERT_EQ(walk.size(), 40u);
    ASSERT_NE(walk.front(), "T0");
    Lines names;
    EXPECT_EQ(Generate(src.c_str(), nullptr, &names), expected);
    ASSERT_EQ(names.size(), 40u);
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(names[i], "T" + std::to_string(i));
    }
}

TEST(TypeGenerator, LineBufferOf200Characters) {
    struct Case {
        const char* name;
        int dims;
        Lines head; // the declaration's lines (the pointer type follows)
    };
    // Pieces: "typedef INT A[" (14), "1", then "][" and "1" per further
    // dimension, then "];\n" (3, its line feed counted). After d dimensions
    // the buffer holds 12 + 3d characters.
    auto dims = [](int from, int to) {
        std::string s;
        for (int k = from; k < to; ++k) {
            s += k > 0 ? "][1" : "1";
        }
        return s;
    };
    const Case cases[] = {
        // 195 + 3 = 198: one line.
        {"fits", 61, {"typedef INT A[" + dims(0, 61) + "];"}},
        // 198 + 3 = 201: the buffer goes out before "];".
        {"closing piece overflows", 62, {"typedef INT A[" + dims(0, 62), "];"}},
        // 198 + "][" = 200 fits; the next "1" does not.
        {"buffer full at 200", 63, {"typedef INT A[" + dims(0, 62) + "][", "1];"}},
        {"well beyond", 70, {"typedef INT A[" + dims(0, 62) + "][", "1" + dims(1, 8) + "];"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string src = "TYPE A : ARRAY[";
        for (int k = 0; k < c.dims; ++k) {
            src += k > 0 ? ", 1..1" : "1..1";
        }
        src += "] OF INT; END_TYPE";
        Lines expected = c.head;
        expected.push_back("typedef A FB_PTR_CONV * PTR_A;");
        Lines got = Generate(src.c_str());
        EXPECT_EQ(got, expected);
        for (const std::string& l : got) {
            EXPECT_LE(l.size(), typegen::kLineBuffer);
        }
    }
    EXPECT_EQ(cases[2].head[0].size(), 200u);
}

TEST(TypeGenerator, WithoutOutputObjectToStandardOutput) {
    Compiled env("TYPE r : ARRAY[1..4] OF INT; END_TYPE");
    TiTypeGenerator gen(env.set()->GetGlobalTab(), nullptr);
    testing::internal::CaptureStdout();
    int st = gen.GenerateAll_C_Types(nullptr, nullptr, nullptr);
    std::string text = testing::internal::GetCapturedStdout();
    EXPECT_EQ(st, 0);
    EXPECT_EQ(text, "typedef INT r[4];\ntypedef r FB_PTR_CONV * PTR_r;\n");
}

TEST(TypeGenerator, TableAndOutputReplacedByTheCall) {
    Compiled a("TYPE fromA : INT; END_TYPE");
    Compiled b("TYPE fromB : DINT; END_TYPE");
    LineSink first;
    LineSink second;
    TiTypeGenerator gen(a.set()->GetGlobalTab(), &first);
    EXPECT_EQ(gen.GenerateAll_C_Types(nullptr, b.set()->GetGlobalTab(), &second), 0);
    EXPECT_TRUE(first.lines.empty());
    EXPECT_EQ(second.lines,
              (Lines{"typedef DINT fromB;", "typedef fromB FB_PTR_CONV * PTR_fromB;"}));
    // Without a table: nothing, and no failure.
    TiTypeGenerator none(nullptr, &first);
    EXPECT_EQ(none.GenerateAll_C_Types(nullptr, nullptr, nullptr), 0);
    EXPECT_TRUE(first.lines.empty());
}

TEST(TypeGenerator, StatusCodes) {
    const char* src = "TYPE a : INT; b : STRUCT x : INT; END_STRUCT; END_TYPE";
    struct Case {
        const char* name;
        int outFailAt;
        int nameFailAt;
        bool withNames;
        int status;
        size_t linesWritten;
    };
    const Case cases[] = {
        {"all written", -1, -1, true, 0, 7},
        {"first line fails", 0, -1, false, 2, 0},
        {"a line inside the structure fails", 3, -1, false, 2, 3},
        {"last line fails", 6, -1, false, 2, 6},
        {"name sink fails at the first", -1, 0, true, 1, 2},
        {"name sink fails at the second", -1, 1, true, 1, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Compiled env(src);
        LineSink out(c.outFailAt);
        LineSink names(c.nameFailAt);
        TiTypeGenerator gen(env.set()->GetGlobalTab(), &out);
        int st = gen.GenerateAll_C_Types(c.withNames ? &names : nullptr, nullptr, nullptr);
        EXPECT_EQ(st, c.status);
        EXPECT_EQ(gen.GetStatus(), c.status);
        EXPECT_EQ(out.lines.size(), c.linesWritten);
    }
}

TEST(TypeGenerator, NameTheTableDoesNotFind) {
    // A table that admits equal names: the second type of a name is not the
    // one the name finds.
    ErrMess sink;
    SymTab tab(2, nullptr, 11, symtab::IDX_NAME_DUP, &sink);
    SymAttr* intType = nullptr;
    SymTabSet set(151, nullptr, &sink);
    intType = set.GetElemTab()->lookup("INT");
    ASSERT_NE(intType, nullptr);
    for (int i = 0; i < 2; ++i) {
        SymAttr* r = tab.insert("T", 0, nullptr);
        ASSERT_NE(r, nullptr);
        SymAttr* base = intType;
        ASSERT_EQ(r->DefDerivedType(base), 0);
        r->SetVisible(true);
        r->SetSeqNo(static_cast<unsigned short>(i + 1));
    }
    LineSink out;
    TiTypeGenerator gen(&tab, &out);
    EXPECT_EQ(gen.GenerateAll_C_Types(nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(out.lines, (Lines{"typedef INT T;", "typedef T FB_PTR_CONV * PTR_T;"}));
    // A table without a name index finds no name at all.
    SymTab byId(2, nullptr, 11, symtab::IDX_ID, &sink);
    SymAttr* r = byId.insert(nullptr, 7, nullptr);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->DefName("U"), 0);
    SymAttr* base = intType;
    ASSERT_EQ(r->DefDerivedType(base), 0);
    r->SetVisible(true);
    LineSink out2;
    TiTypeGenerator gen2(&byId, &out2);
    EXPECT_EQ(gen2.GenerateAll_C_Types(nullptr, nullptr, nullptr), 1);
    EXPECT_TRUE(out2.lines.empty());
}

TEST(TypeGenerator, OutOfMemory) {
    Compiled env("TYPE a : INT; END_TYPE");
    LineSink out;
    TiTypeGenerator gen(env.set()->GetGlobalTab(), &out);
    {
        allocfail::Scope fail(0);
        EXPECT_EQ(gen.GenerateAll_C_Types(nullptr, nullptr, nullptr), 10);
        EXPECT_TRUE(allocfail::Failed());
    }
    EXPECT_TRUE(out.lines.empty());
    EXPECT_EQ(gen.GenerateAll_C_Types(nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(out.lines.size(), 2u);
}

} // namespace
