// The canonical text of an access path into a caller's buffer and as an
// allocated copy (sizes at and around the text's length, missing
// arguments), the offset of paths built link by link on hand-made types
// (missing output, a sum that comes out negative), and chains of many
// links.
#include "tests/compiler/PathTestSupport.h"
#include "tests/compiler/TestSink.h"

#include "base/IEC_CONSTANT.h"
#include "compiler/SymAttr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using pathtest::Compiled;

const char* kDecls = R"(
TYPE
  ROW : ARRAY[1..3] OF INT;
  PT : STRUCT x : INT; y : REAL; END_STRUCT;
END_TYPE
VAR
  abc : INT;
  g : ARRAY[1..2] OF ROW;
  pts : ARRAY[0..9] OF PT;
END_VAR
)";

struct BufferCase {
    const char* name;
    const char* path;
    unsigned short size; // *size given
    short rc;
    const char* written;
    unsigned short sizeAfter;
    int internalErrors;
};

TEST(PathText, IntoABuffer) {
    Compiled env(kDecls);
    ASSERT_EQ(env.parseResult, 0);
    const BufferCase cases[] = {
        {"size 0: nothing written", "abc", 0, 100, "", 0, 1},
        {"size 1: only the zero", "abc", 1, 100, "", 1, 0},
        {"size 3: cut", "abc", 3, 100, "ab", 3, 0},
        {"size 4: exactly", "abc", 4, 0, "abc", 4, 0},
        {"size 10: room to spare", "abc", 10, 0, "abc", 4, 0},
        {"indexes cut inside", "g[2][3]", 5, 100, "g[2]", 5, 0},
        {"indexes whole", "g[2][3]", 8, 0, "g[2][3]", 8, 0},
        {"selection cut at the dot", "pts[9].y", 7, 100, "pts[9]", 7, 0},
        {"selection whole", "pts[9].y", 9, 0, "pts[9].y", 9, 0},
        {"largest size", "pts[9].y", 65535, 0, "pts[9].y", 9, 0},
    };
    for (const BufferCase& c : cases) {
        SCOPED_TRACE(c.name);
        TiVariable* v = nullptr;
        ASSERT_EQ(env.Read(c.path, &v), 0);
        std::unique_ptr<TiVariable> own(v);
        std::vector<char> buf(static_cast<size_t>(c.size) + 8, '#');
        unsigned short size = c.size;
        testing::internal::CaptureStdout();
        env.sink().ResetCounts();
        short rc = v->GetAsciiSpec(buf.data(), &size);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(size, c.sizeAfter);
        if (c.size > 0) {
            EXPECT_STREQ(buf.data(), c.written);
        } else {
            EXPECT_EQ(buf[0], '#'); // not even the zero
        }
        // Nothing beyond the given size is touched.
        EXPECT_EQ(buf[c.size], '#');
        int internals = 0;
        for (const decltest::Msg& m : decltest::Messages(env.sink())) {
            if (m.number == -3554 && m.severity == 4098) {
                ++internals;
            }
        }
        EXPECT_EQ(internals, c.internalErrors);
        env.sink().ResetCounts();
    }
}

TEST(PathText, MissingArguments) {
    Compiled env(kDecls);
    TiVariable* v = nullptr;
    ASSERT_EQ(env.Read("abc", &v), 0);
    std::unique_ptr<TiVariable> own(v);
    char buf[8];
    unsigned short size = sizeof buf;
    testing::internal::CaptureStdout();
    EXPECT_EQ(v->GetAsciiSpec(nullptr, &size), -2);
    EXPECT_EQ(v->GetAsciiSpec(buf, nullptr), -2);
    EXPECT_EQ(v->GetAsciiSpec(static_cast<char**>(nullptr)), -2);
    EXPECT_EQ(v->GetCompOffset(nullptr), -2);
    testing::internal::GetCapturedStdout();
    std::vector<decltest::Msg> msgs = decltest::Messages(env.sink());
    ASSERT_EQ(msgs.size(), 4u);
    for (const decltest::Msg& m : msgs) {
        EXPECT_EQ(m.number, -3554);
        EXPECT_EQ(m.severity, 4098);
        EXPECT_EQ(m.p1, "TiVariable.cpp");
    }
}

TEST(PathText, AllocatedCopy) {
    Compiled env(kDecls);
    struct Case {
        const char* path;
        const char* text;
    };
    const Case cases[] = {
        {"abc", "abc"},
        {"g[1,1]", "g[1][1]"},
        {"pts[ 0 ].x", "pts[0].x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        TiVariable* v = nullptr;
        ASSERT_EQ(env.Read(c.path, &v), 0);
        std::unique_ptr<TiVariable> own(v);
        char* t = nullptr;
        EXPECT_EQ(v->GetAsciiSpec(&t), 0);
        ASSERT_NE(t, nullptr);
        EXPECT_STREQ(t, c.text);
        delete[] t;
    }
    // A path without a symbol is empty: no text, and no failure.
    TiVariable empty(nullptr, nullptr, TiVarModes{});
    char* t = reinterpret_cast<char*>(&env);
    EXPECT_EQ(empty.GetAsciiSpec(&t), 0);
    EXPECT_EQ(t, nullptr);
    char buf[4] = "xyz";
    unsigned short size = sizeof buf;
    EXPECT_EQ(empty.GetAsciiSpec(buf, &size), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(size, 1);
}

// ------------------------------------------------------------------------
// Paths built link by link.

class HandMade : public ::testing::Test {
protected:
    void SetUp() override {
        testsink::Prepare(sink);
        sink.SetTextLoader(decltest::Texts);
    }
    ErrMess sink;
};

TEST_F(HandMade, IndexChecksOnTheLastLink) {
    SymAttr intType("INT");
    ASSERT_EQ(intType.DefElemType(-11, 2, "0", true, false, false), 0);
    SymAttr arr("A");
    ASSERT_EQ(arr.DefArrayType(new Subrange(int32_t{1}, int32_t{3}), &intType), 0);
    SymAttr var("v");
    ASSERT_EQ(var.DefVarAttr(nullptr, 0, &arr, 0, nullptr), 0);
    SymAttr scalar("s");
    ASSERT_EQ(scalar.DefVarAttr(nullptr, 0, &intType, 0, nullptr), 0);

    struct Case {
        const char* name;
        SymAttr* root;
        std::vector<int32_t> indexes; // constants applied in order
        short lastResult;
        unsigned long offset;
    };
    const Case cases[] = {
        {"in bounds", &var, {2}, 0, 2},       {"above", &var, {7}, -3479, 4},
        {"below", &var, {-7}, -3479, 0},      {"too many", &var, {1, 1}, -3481, 0},
        {"no array", &scalar, {1}, -3480, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TiVariable v(c.root, &sink, TiVarModes{});
        short rc = 0;
        for (int32_t i : c.indexes) {
            IEC_CONSTANT k(i < 0 ? -i : i);
            rc = v.AddIndex(std::to_string(i).c_str(), &k, i < 0);
        }
        EXPECT_EQ(rc, c.lastResult);
        unsigned long off = 99;
        v.GetCompOffset(&off);
        EXPECT_EQ(off, c.offset);
    }
}

TEST_F(HandMade, NegativeSumIsAnInternalError) {
    // An array whose bounds span the whole 32-bit range: its layout
    // saturates, and the offset of its lowest index comes out negative.
    SymAttr byteType("BYTE");
    ASSERT_EQ(byteType.DefElemType(-2, 1, "0", true, false, false), 0);
    SymAttr arr("HUGE");
    ASSERT_EQ(arr.DefArrayType(new Subrange(INT32_MIN, INT32_MAX), &byteType), 0);
    SymAttr var("h");
    ASSERT_EQ(var.DefVarAttr(nullptr, 0, &arr, 0, nullptr), 0);
    TiVariable v(&var, &sink, TiVarModes{});
    IEC_CONSTANT k(INT32_MIN);
    ASSERT_EQ(v.AddIndex("-2147483648", &k, false), 0);
    ASSERT_LT(static_cast<int64_t>(arr.GetArrayAddSize()) + INT32_MIN, 0)
        << "the layout no longer saturates; this case needs another type";
    unsigned long off = 99;
    testing::internal::CaptureStdout();
    EXPECT_EQ(v.GetCompOffset(&off), 102);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(off, 0u);
    std::vector<decltest::Msg> msgs = decltest::Messages(sink);
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].number, -3554);
    EXPECT_EQ(msgs[0].severity, 4098);
}

TEST_F(HandMade, SelectOnlyFromStructures) {
    Compiled env(kDecls);
    SymAttr* pts = env.set()->GetGlobalTab()->lookup("pts");
    ASSERT_NE(pts, nullptr);
    TiVariable v(pts, &env.sink(), TiVarModes{});
    // An array has no components until it is indexed.
    EXPECT_EQ(v.Select("x"), -3472);
    IEC_CONSTANT k(4);
    ASSERT_EQ(v.AddIndex("4", &k, false), 0);
    EXPECT_EQ(v.Select("z"), -3472);
    EXPECT_EQ(v.Select(nullptr), -3472);
    EXPECT_EQ(v.Select("Y"), 0); // names compare without regard to case
    unsigned long off = 0;
    EXPECT_EQ(v.GetCompOffset(&off), 0);
    EXPECT_EQ(off, 4u * 6u + 2u);
    EXPECT_STREQ(v.GetCurDType()->GetName(), "REAL");
}

TEST(PathLinks, MostLinksAndOnePast) {
    // S0 holds an INT; every S<n> holds one S<n-1>: a path through all of
    // them has one link per structure level.
    const unsigned levels = tivar::kMaxLinks + 1;
    std::string decls = "TYPE\n  S0 : STRUCT v : INT; END_STRUCT;\n";
    for (unsigned n = 1; n <= levels; ++n) {
        decls += "  S" + std::to_string(n) + " : STRUCT s : S" + std::to_string(n - 1) +
                 "; END_STRUCT;\n";
    }
    decls += "END_TYPE\nVAR top : S" + std::to_string(levels) + "; END_VAR\n";
    Compiled env(decls.c_str());
    ASSERT_EQ(env.parseResult, 0);
    ASSERT_TRUE(env.declMessages.empty()) << decltest::Describe(env.declMessages);
    struct Case {
        const char* name;
        unsigned selections;
        short rc;
    };
    const Case cases[] = {
        {"one link", 0, 0},
        {"the most links", tivar::kMaxLinks - 1, 0},
        {"one link too many", tivar::kMaxLinks, tivar::PARSE_ERRORS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = "top";
        for (unsigned k = 0; k < c.selections; ++k) {
            path += ".s";
        }
        TiVariable* v = nullptr;
        EXPECT_EQ(env.Read(path.c_str(), &v), c.rc);
        std::unique_ptr<TiVariable> own(v);
        if (c.rc == 0) {
            ASSERT_NE(v, nullptr);
            unsigned n = 0;
            for (TiVariable* l = v; l != nullptr; l = l->GetNext()) {
                ++n;
            }
            EXPECT_EQ(n, c.selections + 1);
            unsigned long off = 1;
            EXPECT_EQ(v->GetCompOffset(&off), 0);
            EXPECT_EQ(off, 0u);
        } else {
            EXPECT_EQ(v, nullptr);
            EXPECT_EQ(env.Numbers(), std::vector<int>{-3511});
        }
    }
}

} // namespace
