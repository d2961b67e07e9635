// Tests of the compiler facade morval: construction and its status codes
// under allocation failures, the options it takes, reset, both Parse forms,
// message counts and limits, ParseInitVal, SetContext,
// SetErrMessWin, Encode and the traces on the standard output.
#include "tests/compiler/AllocFailure.h"
#include "tests/compiler/ParseTestSupport.h"

#include "compiler/TiEncoder.h"
#include "compiler/TiInitValSpec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <set>
#include <string>

using parsetest::NewFacade;

namespace {

// A line reader over a fixed list of lines, as a host's fgets would serve
// them.
const char* const* g_lines = nullptr;
size_t g_next = 0;
unsigned short g_lastSize = 0;

char* ListReader(char* buffer, unsigned short size) {
    g_lastSize = size;
    if (g_lines == nullptr || g_lines[g_next] == nullptr) {
        return nullptr;
    }
    std::snprintf(buffer, size, "%s", g_lines[g_next++]);
    return buffer;
}

class BADatabaseStub {};

} // namespace

TEST(Facade, ConstructionTakesTheOptions) {
    TiCompOptions host(true);
    host.modeFlags |= 0x8000;
    host.errRepLimit = 7;
    testing::internal::CaptureStdout();
    {
        morval withOptions(nullptr, nullptr, &host);
        EXPECT_EQ(withOptions.GetStatus(), 0);
        EXPECT_EQ(withOptions.modeFlags, host.modeFlags);
        EXPECT_EQ(withOptions.errRepLimit, 7);
        EXPECT_EQ(withOptions.hostFlags, host.hostFlags | morvalcode::HOST_FACADE);

        morval fromPrefs(nullptr, nullptr, nullptr);
        TiCompOptions prefs = TiCompOptionsGetUserPrefs();
        EXPECT_EQ(fromPrefs.modeFlags, prefs.modeFlags);
        EXPECT_EQ(fromPrefs.langFlags, prefs.langFlags);
        EXPECT_EQ(fromPrefs.hostFlags, prefs.hostFlags | morvalcode::HOST_FACADE);
        ASSERT_NE(fromPrefs.st_set, nullptr);
        ASSERT_NE(fromPrefs.library, nullptr);
        ASSERT_NE(fromPrefs.db_if, nullptr);
        ASSERT_NE(fromPrefs.errMess, nullptr);
        EXPECT_EQ(fromPrefs.GetSymTabSet()->GetGlobalTab() != nullptr, true);
    }
    std::string out = testing::internal::GetCapturedStdout();
    const std::regex made("new morval 0x[0-9a-f]+, st_set: 0x[0-9a-f]+, sysGlobTab: 0x[0-9a-f]+, "
                          "db_if : 0x[0-9a-f]+\n");
    const std::regex gone("~morval 0x[0-9a-f]+, st_set: 0x[0-9a-f]+, sysGlobTab: 0x[0-9a-f]+, "
                          "db_if : 0x[0-9a-f]+\n");
    auto count = [&](const std::regex& r) {
        return std::distance(std::sregex_iterator(out.begin(), out.end(), r),
                             std::sregex_iterator());
    };
    EXPECT_EQ(count(made), 2) << out;
    EXPECT_EQ(count(gone), 2) << out;
}

TEST(Facade, ConstructionFailuresSetEveryStatus) {
    // The n-th allocation fails, n growing until construction succeeds: the
    // sink, the tables, the library and the adapter each fail once.
    std::set<short> seen;
    testing::internal::CaptureStdout();
    for (long n = 0; n < 100000; ++n) {
        short status = 0;
        bool failed = false;
        {
            allocfail::Scope fail(n);
            morval m(nullptr, nullptr, nullptr);
            failed = allocfail::Failed();
            allocfail::Disarm();
            status = m.GetStatus();
            if (status != 0) {
                // A facade that failed refuses to work.
                EXPECT_EQ(m.Parse("TYPE T : INT; END_TYPE", "x", nullptr, nullptr, nullptr,
                                  nullptr),
                          status);
                EXPECT_EQ(m.DelVars(), status);
                EXPECT_EQ(m.GetNoOfErrors(), status == morvalcode::ST_NO_SINK ? 1 : m.GetNoOfErrors());
            }
        }
        seen.insert(status);
        if (!failed) {
            EXPECT_EQ(status, 0);
            break;
        }
    }
    testing::internal::GetCapturedStdout();
    for (short s : {0, 1, 10, 11, 12, 13}) {
        SCOPED_TRACE(s);
        EXPECT_EQ(seen.count(s), 1u);
    }
    EXPECT_EQ(seen.size(), 6u);
}

TEST(Facade, NoSinkMeansOneErrorAndNoWarnings) {
    testing::internal::CaptureStdout();
    {
        allocfail::Scope fail(0); // the sink is the first allocation
        morval m(nullptr, nullptr, nullptr);
        allocfail::Disarm();
        EXPECT_EQ(m.GetStatus(), morvalcode::ST_NO_SINK);
        EXPECT_EQ(m.errMess, nullptr);
        EXPECT_EQ(m.GetNoOfErrors(), 1);
        EXPECT_EQ(m.GetNoOfWarnings(), 0);
        TiNode* tree = reinterpret_cast<TiNode*>(&m);
        EXPECT_EQ(m.Parse("PROGRAM P END_PROGRAM", "x", nullptr, &tree, nullptr, nullptr), 1);
        EXPECT_EQ(tree, reinterpret_cast<TiNode*>(&m)); // untouched: nothing compiled
        // The sink can be made afterwards; the status stays.
        EXPECT_EQ(m.SetErrMessWin(nullptr), 0);
        ASSERT_NE(m.errMess, nullptr);
        EXPECT_EQ(m.GetNoOfErrors(), 0);
        EXPECT_EQ(m.GetStatus(), morvalcode::ST_NO_SINK);
    }
    testing::internal::GetCapturedStdout();
}

TEST(Facade, ParseWhileStatusIsSetCompilesNothing) {
    testing::internal::CaptureStdout();
    auto m = NewFacade();
    m->status = morvalcode::ST_NO_LIBRARY;
    TiNode* tree = nullptr;
    ErrCount counts;
    EXPECT_EQ(m->Parse("TYPE T : INT; END_TYPE", "x", nullptr, &tree, &counts, nullptr),
              morvalcode::ST_NO_LIBRARY);
    EXPECT_EQ(m->st_set->GetGlobalTab()->lookup("T"), nullptr);
    EXPECT_EQ(counts.errors, 0);
    // The refusal is reported as an internal error with the status.
    EXPECT_EQ(testsink::InternalCodes(*m->errMess), std::vector<int>{12});
    g_lines = nullptr;
    EXPECT_EQ(m->Parse(&ListReader, "x", nullptr, &tree, nullptr, nullptr), morvalcode::ST_NO_LIBRARY);
    m->status = 0;
    testing::internal::GetCapturedStdout();
}

TEST(Facade, BothParseForms) {
    const char* lines[] = {"TYPE\n", "  T1 : INT;\n", "END_TYPE\n",
                           "PROGRAM P VAR A : T1; END_VAR\n", "  A := 1;\n", "END_PROGRAM\n",
                           nullptr};
    std::string text;
    for (const char* const* l = lines; *l != nullptr; ++l) {
        text += *l;
    }
    testing::internal::CaptureStdout();
    for (bool reader : {true, false}) {
        SCOPED_TRACE(reader ? "line reader" : "text");
        auto m = NewFacade();
        m->hostFlags &= static_cast<uint16_t>(~morvalcode::HOST_READER);
        TiNode* tree = nullptr;
        short rc = 0;
        if (reader) {
            g_lines = lines;
            g_next = 0;
            rc = m->Parse(&ListReader, "src", nullptr, &tree, nullptr, nullptr);
            EXPECT_EQ(g_lastSize, scan::kLineBuffer);
        } else {
            rc = m->Parse(text.c_str(), "src", nullptr, &tree, nullptr, nullptr);
        }
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(m->GetNoOfErrors(), 0);
        EXPECT_EQ((m->hostFlags & morvalcode::HOST_READER) != 0, reader);
        EXPECT_EQ(parsetest::Shape(tree), "{LABEL(P,{ASS(A,1)})}");
        delete tree;
        ASSERT_NE(m->st_set->GetGlobalTab()->lookup("T1"), nullptr);
        EXPECT_EQ(m->st_set->GetGlobalTab()->lookup("T1")->GetMemsize(0), 2u);
        // Without a tree pointer the tree is not kept.
        EXPECT_EQ(m->Parse("PROGRAM Q END_PROGRAM", "src", nullptr, nullptr, nullptr, nullptr), 0);
    }
    g_lines = nullptr;
    testing::internal::GetCapturedStdout();
}

TEST(Facade, SourceNameAndRealTextsInMessages) {
    testing::internal::CaptureStdout();
    morval m(nullptr, nullptr, nullptr);
    m.errMess->SetCollect(true);
    EXPECT_EQ(m.Parse("TYPE A : $; END_TYPE", "types.dty", nullptr, nullptr, nullptr, nullptr), 0);
    std::string out = testing::internal::GetCapturedStdout();
    ASSERT_NE(m.errMess->GetCollected(), nullptr);
    EXPECT_STREQ(m.errMess->GetCollected()->text, "types.dty(1,10): error: Syntax error");
    EXPECT_NE(out.find("*** types.dty(1,10): error: Syntax error\n"), std::string::npos) << out;
}

TEST(Facade, CountsAreAddedAcrossParses) {
    testing::internal::CaptureStdout();
    auto m = NewFacade();
    ErrCount counts;
    counts.maxErrors = 100;
    counts.maxWarnings = 100;
    m->Parse("TYPE A : $; END_TYPE", "x", nullptr, nullptr, &counts, nullptr);
    EXPECT_EQ(counts.errors, 1);
    m->Parse("TYPE B : $; END_TYPE TYPE C : 5; END_TYPE", "x", nullptr, nullptr, &counts, nullptr);
    EXPECT_EQ(counts.errors, 3);
    EXPECT_EQ(m->GetNoOfErrors(), 2); // this run only
    EXPECT_EQ(counts.warnings, 0);
    testing::internal::GetCapturedStdout();
}

TEST(Facade, ResetErrorsLimits) {
    struct Case {
        const char* name;
        bool withCounts;
        ErrCount counts;
        uint16_t errorLimit;
        uint16_t warningLimit;
    };
    const Case cases[] = {
        {"options' limits", false, {}, 25, 100},
        {"nothing counted yet", true, {0, 0, 10, 20}, 10, 20},
        {"part of the allowance used", true, {4, 5, 10, 20}, 6, 15},
        {"one left", true, {9, 19, 10, 20}, 1, 1},
        {"at the maximum", true, {10, 20, 10, 20}, 1, 1},
        {"beyond the maximum", true, {50, 70, 10, 20}, 1, 1},
        {"no maximum", true, {3, 3, 0, 0}, 0, 0},
        {"largest counts", true, {0, 0, 65535, 65535}, 65535, 65535},
    };
    testing::internal::CaptureStdout();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto m = NewFacade();
        m->errRepLimit = 25;
        m->warnRepLimit = 100;
        m->Parse("TYPE A : $; END_TYPE", "x", nullptr, nullptr, nullptr, nullptr);
        ASSERT_EQ(m->GetNoOfErrors(), 1);
        ErrCount counts = c.counts;
        m->ResetErrors(c.withCounts ? &counts : nullptr);
        EXPECT_EQ(m->GetNoOfErrors(), 0);
        EXPECT_EQ(m->errMess->GetCollected(), nullptr);
        EXPECT_EQ(m->errMess->GetErrorLimit(), c.errorLimit);
        EXPECT_EQ(m->errMess->GetWarningLimit(), c.warningLimit);
    }
    testing::internal::GetCapturedStdout();
}

TEST(Facade, ErrorLimitStopsReporting) {
    testing::internal::CaptureStdout();
    auto m = NewFacade();
    ErrCount counts;
    counts.maxErrors = 2;
    m->Parse("TYPE A : $; B : INT; C : $; D : INT; E : $; F : INT; G : $; END_TYPE", "x", nullptr,
             nullptr, &counts, nullptr);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(parsetest::Joined(parsetest::Messages(*m)),
              "x(1,10): E: M3508\nx(1,26): E: M3508\nx(1,42): E: too many errors\n");
    EXPECT_EQ(counts.errors, 4);
    // The declarations after the limit are made all the same.
    EXPECT_NE(m->st_set->GetGlobalTab()->lookup("F"), nullptr);
}

TEST(Facade, ResetKeepsOrDiscardsTheGlobalTable) {
    testing::internal::CaptureStdout();
    auto m = NewFacade();
    m->Parse("TYPE T : DINT; END_TYPE PROGRAM P VAR X : T; END_VAR END_PROGRAM", "x", nullptr,
             nullptr, nullptr, nullptr);
    ASSERT_NE(m->st_set->GetLocalTab("P"), nullptr);
    SymTabSet* set = m->st_set;
    EXPECT_EQ(m->reset(1), 0);
    EXPECT_EQ(m->st_set, set); // the set is reset, not replaced
    ASSERT_NE(m->st_set->GetGlobalTab()->lookup("T"), nullptr);
    EXPECT_EQ(m->st_set->GetGlobalTab()->lookup("T")->GetMemsize(0), 4u);
    EXPECT_EQ(m->st_set->GetLocalTab("P"), nullptr);
    EXPECT_EQ(m->library->GetUnitCount(), 0u);
    EXPECT_STREQ(m->db_if->GetUnitName(), TiDB::kInitialUnitName);
    // A kept type serves the next compilation.
    m->Parse("PROGRAM Q VAR Y : T; END_VAR END_PROGRAM", "x", nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(m->GetNoOfErrors(), 0);
    EXPECT_EQ(m->reset(0), 0);
    EXPECT_EQ(m->st_set->GetGlobalTab()->lookup("T"), nullptr);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("reset mode = 1\n"), std::string::npos);
    EXPECT_NE(out.find("reset mode = 0\n"), std::string::npos);
}

TEST(Facade, ParseInitVal) {
    struct Case {
        const char* text;
        const char* type; // a type of the source below
        short result;
        const char* ascii;
        bool messages;
    };
    const Case cases[] = {
        {"5", "INT", 0, "5", false},
        {"-5", "INT", 0, "-5", false},
        {"[1, 2, 2 (0)]", "V4", 0, "[1, 2, 2 (0)]", false},
        {"(B := 2)", "S", 0, "(B := 2)", false},
        {"GREEN", "COL", 0, "GREEN", false},
        {"70000", "INT", -3424, nullptr, true},
        {"[5 (1)]", "V4", -3536, nullptr, true},
        {"$", "INT", morvalcode::PI_NO_VALUE, nullptr, true},
        {"", "INT", morvalcode::PI_NO_VALUE, nullptr, true},
        {"5", nullptr, morvalcode::PI_NO_VALUE, nullptr, false},
    };
    testing::internal::CaptureStdout();
    auto m = NewFacade();
    m->Parse("TYPE V4 : ARRAY[1..4] OF INT; S : STRUCT A : INT; B : INT; END_STRUCT; "
             "COL : (RED, GREEN); END_TYPE",
             "x", nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(m->GetNoOfErrors(), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        SymAttr* type = nullptr;
        if (c.type != nullptr) {
            type = std::strcmp(c.type, "INT") == 0 ? m->st_set->GetElemTab()->lookup("INT")
                                                   : m->st_set->GetGlobalTab()->lookup(c.type);
            ASSERT_NE(type, nullptr);
        }
        TiInitValSpec* value = nullptr;
        ErrDesc* errors = nullptr;
        EXPECT_EQ(m->ParseInitVal(c.text, type, &value, &errors), c.result);
        if (c.ascii != nullptr) {
            ASSERT_NE(value, nullptr);
            EXPECT_STREQ(value->GetAsciiSpec(), c.ascii);
        } else {
            EXPECT_EQ(value, nullptr);
        }
        EXPECT_EQ(errors != nullptr, c.messages);
        ErrDesc::DeleteList(errors);
        TiDelInitValSpecList(value);
        // Collection is back as it was.
        EXPECT_TRUE(m->errMess->IsCollecting());
    }
    testing::internal::GetCapturedStdout();
}

TEST(Facade, SetContextAndSetErrMessWin) {
    testing::internal::CaptureStdout();
    auto m = NewFacade();
    BADatabaseStub stub;
    BADatabase* db = reinterpret_cast<BADatabase*>(&stub);
    EXPECT_EQ(m->SetContext(db), 0);
    EXPECT_EQ(m->database, db);
    EXPECT_EQ(m->db_if->GetDatabase(), db);
    EXPECT_EQ(m->st_set->GetDatabase(), db);
    // The adapter's database reaches the tables on the next parse.
    m->Parse("TYPE T : INT; END_TYPE", "x", nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(m->st_set->GetDatabase(), db);

    m->Parse("TYPE A : $; END_TYPE", "x", nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(m->GetNoOfErrors(), 1);
    ErrMess* sink = m->errMess;
    EXPECT_EQ(m->SetErrMessWin(nullptr), 0);
    EXPECT_EQ(m->errMess, sink); // re-initialised, not replaced
    EXPECT_EQ(m->GetNoOfErrors(), 0);

    m->status = morvalcode::ST_NO_ADAPTER;
    EXPECT_EQ(m->SetContext(nullptr), 0);
    EXPECT_EQ(m->database, db);
    EXPECT_EQ(testsink::InternalCodes(*m->errMess), std::vector<int>{13});
    m->status = 0;
    testing::internal::GetCapturedStdout();
}

TEST(Facade, EncodeWithoutEncoder) {
    testing::internal::CaptureStdout();
    auto m = NewFacade();
    m->Parse("PROGRAM P END_PROGRAM", "x", nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(m->Encode(nullptr), tienc::UNIT_NO_OUTPUT); // encoded, but no listing to write
    m->Parse("PROGRAM P $ END_PROGRAM", "x", nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(m->Encode(nullptr), morvalcode::EN_ERRORS);
    m->status = morvalcode::ST_NO_SET;
    EXPECT_EQ(m->Encode(nullptr), morvalcode::ST_NO_SET);
    m->status = 0;
    testing::internal::GetCapturedStdout();
}

TEST(Facade, CompilationInternalCodes) {
    testing::internal::CaptureStdout();
    auto m = NewFacade();
    // Neither a reader nor a text.
    EXPECT_EQ(m->Parse(static_cast<const char*>(nullptr), "x", nullptr, nullptr, nullptr, nullptr),
              morvalcode::CC_NO_SOURCE);
    EXPECT_EQ(testsink::InternalCodes(*m->errMess), std::vector<int>{626});
    EXPECT_EQ(m->Parse(static_cast<morval::LineReader>(nullptr), "x", nullptr, nullptr, nullptr,
                       nullptr),
              morvalcode::CC_NO_SOURCE);

    // The compilation's objects failing one after the other: the context
    // (608), the parser or its stacks (-616), the scanner (-632); later
    // failures are reported inside the compilation, which still runs.
    std::set<short> seen;
    for (long n = 0; n < 2000; ++n) {
        auto f = NewFacade();
        bool failed = false;
        short rc = 0;
        {
            allocfail::Scope fail(n);
            rc = f->Parse("TYPE T : INT; END_TYPE", "x", nullptr, nullptr, nullptr, nullptr);
            failed = allocfail::Failed();
        }
        seen.insert(rc);
        if (rc == morvalcode::CC_NO_PARSER || rc == morvalcode::CC_NO_SCANNER) {
            EXPECT_EQ(f->GetNoOfErrors(), 1); // the out-of-memory message
        }
        if (!failed) {
            EXPECT_EQ(rc, 0);
            break;
        }
    }
    std::string out = testing::internal::GetCapturedStdout();
    for (short code : {morvalcode::CC_NO_CONTEXT, morvalcode::CC_NO_PARSER,
                       morvalcode::CC_NO_SCANNER, short{0}}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(seen.count(code), 1u);
    }
    for (short code : seen) {
        EXPECT_TRUE(code == 0 || code == morvalcode::CC_NO_CONTEXT ||
                    code == morvalcode::CC_CONTEXT_FAILED || code == morvalcode::CC_NO_PARSER ||
                    code == morvalcode::CC_NO_SCANNER)
            << code;
    }
}
