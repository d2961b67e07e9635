// The message sink: position prefixes, parameter formatting, the 300
// character line limit, counting, the internal-error state, the error and
// warning limits, collection and the echo on standard output, byte for byte.
#include "compiler/ErrMess.h"
#include "tests/compiler/TestSink.h"

#include "platform/MessageTexts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace errmess;

// Runs `body` on a prepared sink and returns what it echoed.
template <typename F>
std::string Echo(ErrMess&, F body) {
    testing::internal::CaptureStdout();
    body();
    return testing::internal::GetCapturedStdout();
}

TEST(ErrMessFormat, PrefixesAndParameters) {
    struct Case {
        const char* name;
        const char* source; // null: none
        int32_t severity;
        short number;
        uint16_t line, col;
        std::vector<ErrArg> args;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"error with position", "VARSVC32", SEV_ERROR, -3511, 12, 7, {ErrArg("END_VAR")},
         "VARSVC32(12,7): E: M3511 END_VAR"},
        {"warning with position", "a.st", SEV_WARNING, -3489, 1, 1, {}, "a.st(1,1): W: M3489"},
        {"line 0: no position", "a.st", SEV_ERROR, -3509, 0, 5, {}, "E: M3509"},
        {"no source name", nullptr, SEV_ERROR, -3509, 3, 5, {}, "E: M3509"},
        {"warning without position", nullptr, SEV_WARNING, 1718, 0, 0, {}, "W: M1718"},
        {"internal error uses the error prefix", "s", SEV_INTERNAL, -3555, 2, 2,
         {ErrArg(542), ErrArg("symtab"), ErrArg(77), ErrArg("$Revision: 1 $")},
         "s(2,2): E: internal 542 symtab 77 $Revision: 1 $"},
        {"unknown severity counts as error", nullptr, 7, -3509, 0, 0, {}, "E: M3509"},
        {"two numbers", nullptr, SEV_ERROR, -3495, 0, 0, {ErrArg(4), ErrArg(9)},
         "E: M3495 4 9"},
        {"missing parameters", nullptr, SEV_ERROR, -3495, 0, 0, {}, "E: M3495 0 0"},
        {"text where a number is expected", nullptr, SEV_ERROR, -3495, 0, 0,
         {ErrArg("x"), ErrArg(3)}, "E: M3495 0 3"},
        {"number where a text is expected", nullptr, SEV_ERROR, -3511, 0, 0, {ErrArg(42)},
         "E: M3511 42"},
        {"null text", nullptr, SEV_ERROR, -3511, 0, 0, {ErrArg(static_cast<const char*>(nullptr))},
         "E: M3511 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ErrMess sink;
        testsink::Prepare(sink);
        sink.SetSourceName(c.source);
        std::string out = Echo(sink, [&] {
            // initializer_list from the vector's elements
            switch (c.args.size()) {
            case 0:
                sink.Report(c.severity, c.number, c.line, c.col);
                break;
            case 1:
                sink.Report(c.severity, c.number, c.line, c.col, {c.args[0]});
                break;
            case 2:
                sink.Report(c.severity, c.number, c.line, c.col, {c.args[0], c.args[1]});
                break;
            default:
                sink.Report(c.severity, c.number, c.line, c.col,
                            {c.args[0], c.args[1], c.args[2], c.args[3]});
                break;
            }
        });
        EXPECT_EQ(out, std::string("*** ") + c.expected + "\n");
        ASSERT_NE(sink.GetCollected(), nullptr);
        EXPECT_STREQ(sink.GetCollected()->text, c.expected);
        EXPECT_EQ(sink.GetCollected()->line, c.line);
        EXPECT_EQ(sink.GetCollected()->col, c.col);
        EXPECT_EQ(sink.GetCollected()->severity, c.severity);
    }
}

TEST(ErrMessFormat, MissingTextLine) {
    ErrMess sink;
    testsink::Prepare(sink);
    std::string out = Echo(sink, [&] { sink.Report(SEV_ERROR, 9999, 1, 1); });
    EXPECT_EQ(out, "*** ErrMess::PrintError : invalid error text (NULL-pointer)\n");
    EXPECT_EQ(sink.GetErrors(), 1); // still counted
}

TEST(ErrMessFormat, LineLimitOf300Characters) {
    struct Case {
        const char* name;
        size_t paramLength;
        size_t lineLength;
    };
    // "E: M3511 " is 9 characters.
    const Case cases[] = {
        {"empty", 0, 9}, {"fits", 200, 209}, {"exactly 300", 291, 300}, {"one past", 292, 300},
        {"far beyond", 5000, 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ErrMess sink;
        testsink::Prepare(sink);
        std::string param(c.paramLength, 'x');
        std::string out = Echo(sink, [&] { sink.Report(SEV_ERROR, -3511, 0, 0, {param.c_str()}); });
        std::string text = sink.GetCollected()->text;
        EXPECT_EQ(text.size(), c.lineLength);
        EXPECT_EQ(text, ("E: M3511 " + param).substr(0, c.lineLength));
        EXPECT_EQ(out, "*** " + text + "\n");
    }
}

TEST(ErrMessFormat, FormatConversions) {
    struct Case {
        const char* fmt;
        std::vector<ErrArg> args;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"", {}, ""},
        {"plain", {}, "plain"},
        {"100%%", {}, "100%"},
        {"%d|%5d|%-5d|%05d", {1, 2, 3, 4}, "1|    2|3    |00004"},
        {"%ld %lu %hd", {-7L, 7UL, 3}, "-7 7 3"},
        {"%x %X %o %#x", {255, 255, 8, 16}, "ff FF 10 0x10"},
        {"%u", {-1}, "18446744073709551615"},
        {"%c%c", {'o', 'k'}, "ok"},
        {"%s and %s", {"a", "b"}, "a and b"},
        {"%.2s|%4s|%-4s|", {"abcdef", "ab", "ab"}, "ab|  ab|ab  |"},
        {"%*d", {4, 9}, "   9"},
        {"%n%d", {5}, "5"},
        {"%q?", {}, "%q?"},
        {"tail %", {}, "tail %"},
        {"%08.3f", {2}, "0002.000"},
        {"%p", {16}, "0x10"},
        {"%#s %0s %.3c", {"a", "b", 'z'}, "a b z"},
        {"%999999999d", {1}, std::string(255, ' ') + "1"}, // width capped at 256
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fmt);
        char out[400];
        size_t n = ErrMess::Format(out, sizeof out, c.fmt, c.args.data(), c.args.size());
        EXPECT_EQ(std::string(out), c.expected);
        EXPECT_EQ(n, c.expected.size());
    }
}

TEST(ErrMessFormat, FormatNeverOverrunsItsBuffer) {
    struct Case {
        size_t size;
        const char* expected;
    };
    const Case cases[] = {{1, ""}, {2, "a"}, {5, "abcd"}, {6, "abcde"}, {50, "abcdef"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        char buf[64];
        std::memset(buf, '#', sizeof buf);
        ErrArg a("cdef");
        ErrMess::Format(buf, c.size, "ab%s", &a, 1);
        EXPECT_STREQ(buf, c.expected);
        EXPECT_EQ(buf[c.size], '#'); // nothing written past the given size
    }
    char untouched = '#';
    EXPECT_EQ(ErrMess::Format(&untouched, 0, "x", nullptr, 0), 0u);
    EXPECT_EQ(untouched, '#');
}

TEST(ErrMessCounting, ErrorLimitReportsOneReplacement) {
    struct Case {
        const char* name;
        uint16_t limit;
        int errors;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"no limit", 0, 3, {"E: M1", "E: M2", "E: M3"}},
        {"limit 1", 1, 3, {"E: M1", "E: too many errors"}},
        {"limit 2, exactly 2", 2, 2, {"E: M1", "E: M2"}},
        {"limit 2, one past", 2, 3, {"E: M1", "E: M2", "E: too many errors"}},
        {"limit 2, far beyond", 2, 10, {"E: M1", "E: M2", "E: too many errors"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ErrMess sink;
        testsink::Prepare(sink);
        sink.SetLimits(c.limit, 0);
        std::vector<bool> written;
        std::string out = Echo(sink, [&] {
            for (int i = 1; i <= c.errors; ++i) {
                written.push_back(sink.Report(SEV_ERROR, static_cast<short>(-i), 0, 0));
            }
        });
        EXPECT_EQ(testsink::Lines(sink), c.lines);
        EXPECT_EQ(sink.GetErrors(), c.errors); // later errors are still counted
        std::string expectedOut;
        for (const std::string& l : c.lines) {
            expectedOut += "*** " + l + "\n";
        }
        EXPECT_EQ(out, expectedOut);
        for (size_t i = 0; i < written.size(); ++i) {
            EXPECT_EQ(written[i], i < c.lines.size());
        }
    }
}

TEST(ErrMessCounting, WarningLimitIsSeparate) {
    ErrMess sink;
    testsink::Prepare(sink);
    sink.SetLimits(1, 2);
    Echo(sink, [&] {
        sink.Report(SEV_WARNING, 1701, 0, 0);
        sink.Report(SEV_ERROR, -1, 0, 0);
        sink.Report(SEV_WARNING, 1702, 0, 0);
        sink.Report(SEV_WARNING, 1703, 0, 0);
        sink.Report(SEV_WARNING, 1704, 0, 0);
        sink.Report(SEV_ERROR, -2, 0, 0);
        sink.Report(SEV_ERROR, -3, 0, 0);
    });
    EXPECT_EQ(testsink::Lines(sink),
              (std::vector<std::string>{"W: M1701", "E: M1", "W: M1702", "W: too many warnings",
                                        "E: too many errors"}));
    EXPECT_EQ(sink.GetWarnings(), 4);
    EXPECT_EQ(sink.GetErrors(), 3);
    // The replacement keeps the position of the message it stands for.
    ErrMess pos;
    testsink::Prepare(pos);
    pos.SetSourceName("f");
    pos.SetLimits(1, 0);
    Echo(pos, [&] {
        pos.Report(SEV_ERROR, -1, 1, 1);
        pos.Report(SEV_ERROR, -3511, 9, 4, {"x"});
    });
    EXPECT_EQ(testsink::Lines(pos)[1], "f(9,4): E: too many errors");
}

TEST(ErrMessCounting, InternalErrorState) {
    ErrMess sink;
    testsink::Prepare(sink);
    sink.SetLimits(100, 100);
    // Each step: severity reported; expected state, errors, warnings and the
    // number of collected messages afterwards.
    struct Step {
        int32_t severity;
        uint16_t state, errors, warnings;
        size_t collected;
    };
    const Step steps[] = {
        {SEV_WARNING, 0, 0, 1, 1},  // before any internal error: no state
        {SEV_ERROR, 0, 1, 1, 2},
        {SEV_INTERNAL, 1, 2, 1, 3}, // the internal error starts the state
        {SEV_WARNING, 2, 2, 2, 4},  // every message increments it
        {SEV_ERROR, 3, 3, 2, 5},
        {SEV_WARNING, 4, 3, 3, 6},  // the message that reaches 4 still counts
        {SEV_ERROR, 4, 3, 3, 6},    // from 4 on: not counted, not collected
        {SEV_INTERNAL, 4, 3, 3, 6},
    };
    int i = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(i++);
        std::string out = Echo(sink, [&] { EXPECT_TRUE(sink.Report(s.severity, -1, 0, 0)); });
        EXPECT_FALSE(out.empty()); // still echoed
        EXPECT_EQ(sink.GetInternalState(), s.state);
        EXPECT_EQ(sink.GetErrors(), s.errors);
        EXPECT_EQ(sink.GetWarnings(), s.warnings);
        EXPECT_EQ(testsink::Lines(sink).size(), s.collected);
    }
    // Nor limited: with a limit of 1 and the state at 4 every message is written.
    sink.SetLimits(1, 1);
    std::string out = Echo(sink, [&] {
        sink.Report(SEV_ERROR, -1, 0, 0);
        sink.Report(SEV_ERROR, -2, 0, 0);
    });
    EXPECT_EQ(out, "*** E: M1\n*** E: M2\n");
    sink.ResetCounts();
    EXPECT_EQ(sink.GetInternalState(), 0);
    EXPECT_EQ(sink.GetErrors(), 0);
    EXPECT_EQ(sink.GetCollected(), nullptr);
}

TEST(ErrMessCounting, InternalAndOutOfMemoryHelpers) {
    ErrMess sink;
    testsink::Prepare(sink);
    std::string out = Echo(sink, [&] {
        sink.ReportInternal(833, "lex", 833, "$Revision: 4 $");
        sink.ReportNoMemory("lex", 120);
    });
    EXPECT_EQ(out, "*** E: internal 833 lex 833 $Revision: 4 $\n*** E: nomem lex 120\n");
    EXPECT_EQ(sink.GetErrors(), 2);
    EXPECT_EQ(sink.GetInternalState(), 2);
}

TEST(ErrMessCollect, CollectionTakeOverAndReinit) {
    ErrMess sink;
    sink.SetTextLoader(testsink::Texts);
    Echo(sink, [&] { sink.Report(SEV_ERROR, -1, 0, 0); });
    EXPECT_EQ(sink.GetCollected(), nullptr); // not collecting
    sink.SetCollect(true);
    Echo(sink, [&] {
        sink.Report(SEV_ERROR, -2, 0, 0);
        sink.Report(SEV_WARNING, 1701, 0, 0);
    });
    ErrDesc* list = sink.TakeCollected();
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list->text, "E: M2");
    ASSERT_NE(list->next, nullptr);
    EXPECT_STREQ(list->next->text, "W: M1701");
    EXPECT_EQ(list->next->next, nullptr);
    EXPECT_EQ(sink.GetCollected(), nullptr);
    ErrDesc::DeleteList(list);
    sink.SetSourceName("src");
    sink.SetLimits(5, 6);
    sink.Init(nullptr);
    EXPECT_EQ(sink.GetSourceName(), nullptr);
    EXPECT_EQ(sink.GetErrors(), 0);
    EXPECT_EQ(sink.GetErrorLimit(), 5);
    EXPECT_TRUE(sink.IsCollecting());
}

TEST(ErrMessTexts, EveryMessageOfTheSinkHasATextInTheTable) {
    for (short n : {MSG_PREFIX_WARNING_AT, MSG_PREFIX_ERROR_AT, MSG_PREFIX_WARNING,
                    MSG_PREFIX_ERROR, MSG_NO_MEMORY, MSG_ERROR_LIMIT, MSG_INTERNAL,
                    MSG_WARNING_LIMIT}) {
        SCOPED_TRACE(n);
        EXPECT_NE(FindMessageText(static_cast<unsigned>(n < 0 ? -n : n)), nullptr);
    }
    // With the real table: an internal error formats all four parameters.
    ErrMess sink;
    sink.SetCollect(true);
    sink.SetSourceName("x.st");
    Echo(sink, [&] { sink.ReportInternal(505, "symtab", 12, "$Revision: 1 $"); });
    ASSERT_NE(sink.GetCollected(), nullptr);
    std::string text = sink.GetCollected()->text;
    EXPECT_NE(text.find("505"), std::string::npos);
    EXPECT_NE(text.find("symtab"), std::string::npos);
    EXPECT_NE(text.find("$Revision: 1 $"), std::string::npos);
}

} // namespace
