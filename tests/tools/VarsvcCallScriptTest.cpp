// varsvc-call's call language: calls, every kind of argument, escapes,
// arrays, comments and blank lines, and syntax errors with their line and
// column.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/varsvc-call/CallScript.h"

using namespace varsvccall;

namespace {

std::string Describe(const CallValue& v) {
    switch (v.kind) {
    case CallValue::Kind::Integer: return "int " + std::to_string(v.integer);
    case CallValue::Kind::Null: return "null";
    case CallValue::Kind::None: return "none";
    case CallValue::Kind::Default: return "_";
    case CallValue::Kind::Reference: return "$" + v.reference;
    case CallValue::Kind::String: {
        std::string s = "str ";
        for (char16_t u : v.text) {
            if (u >= 0x20 && u < 0x7F) {
                s += static_cast<char>(u);
            } else {
                char b[8];
                snprintf(b, sizeof b, "<%04x>", static_cast<unsigned>(u));
                s += b;
            }
        }
        return s;
    }
    case CallValue::Kind::Array: {
        static const char* const names[] = {"bstr", "i2", "i4", "variant"};
        std::string s = std::string(names[static_cast<int>(v.arrayType)]) + "[";
        for (size_t i = 0; i < v.elements.size(); ++i)
            s += (i ? "; " : "") + Describe(v.elements[i]);
        return s + "]";
    }
    }
    return "?";
}

// "Member|arg|arg" or "" for no call, or "error L:C message".
std::string Parse(const std::string& line) {
    Call call;
    bool hasCall = false;
    ScriptError error;
    if (!ParseCallLine(line, 7, call, hasCall, error))
        return "error " + std::to_string(error.line) + ":" + std::to_string(error.column) + " " + error.message;
    if (!hasCall)
        return "";
    std::string s = call.member;
    for (const CallValue& v : call.args)
        s += "|" + Describe(v);
    return s;
}

TEST(VarsvcCallScript, Calls) {
    struct Case {
        const char* line;
        const char* expected;
    } const cases[] = {
        {"", ""},
        {"   \t ", ""},
        {"# a comment", ""},
        {"   # indented comment (x, y", ""},
        {"Logout()", "Logout"},
        {"Login(0, \"tool\")", "Login|int 0|str tool"},
        {"  Login ( 0 ,\"tool\" )  ", "Login|int 0|str tool"},
        {"ProjOpen($Handle, \"c:\\\\plc\\\\line1.prj\")", "ProjOpen|$Handle|str c:\\plc\\line1.prj"},
        {"X(-2147483648, 2147483647, -0, 007)", "X|int -2147483648|int 2147483647|int 0|int 7"},
        {"X(null, none, _)", "X|null|none|_"},
        {"X(\"\")", "X|str "},
        {"X(\"say \\\"hi\\\"\")", "X|str say \"hi\""},
        {"X(\"\\u00fc\\u20AC\\ud83d\\ude00\")", "X|str <00fc><20ac><d83d><de00>"},
        {"X(\"\xc3\xbc\xe2\x82\xac\xf0\x9f\x98\x80\")", "X|str <00fc><20ac><d83d><de00>"},
        {"X(bstr[\"a\", null], i2[1, -2], i4[], variant[1, \"b\", null])",
         "X|bstr[str a; null]|i2[int 1; int -2]|i4[]|variant[int 1; str b; null]"},
        {"X(i2[-32768, 32767])", "X|i2[int -32768; int 32767]"},
        {"X($_x9)", "X|$_x9"},
        {"X(_)", "X|_"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(Parse(c.line), c.expected);
    }
}

TEST(VarsvcCallScript, SyntaxErrorsNameLineAndColumn) {
    struct Case {
        const char* line;
        const char* expected;
    } const cases[] = {
        {"(1)", "error 7:1 a member name expected"},
        {"1Login()", "error 7:1 a member name expected"},
        {"Login", "error 7:6 '(' expected after the member name"},
        {"Login(", "error 7:7 a value expected"},
        {"Login(1", "error 7:8 ',' or ')' expected"},
        {"Login(1,)", "error 7:9 a value expected"},
        {"Login(1) x", "error 7:10 unexpected text after the call"},
        {"X(2147483648)", "error 7:3 integer out of the 32-bit range"},
        {"X(-2147483649)", "error 7:3 integer out of the 32-bit range"},
        {"X(99999999999999999999999)", "error 7:3 integer out of the 32-bit range"},
        {"X(12a)", "error 7:5 unexpected character in a number"},
        {"X(-)", "error 7:4 a digit expected"},
        {"X(\"abc)", "error 7:8 unterminated string"},
        {"X(\"a\\n\")", "error 7:6 unknown escape (\\\", \\\\ and \\uXXXX are known)"},
        {"X(\"\\u12g4\")", "error 7:8 four hexadecimal digits expected after \\u"},
        {"X(\"\\u12\")", "error 7:8 four hexadecimal digits expected after \\u"},
        {"X(\"a\tb\")", "error 7:5 control character in a string"},
        {"X(\"\xff\")", "error 7:4 invalid UTF-8 in a string"},
        {"X(\"\xc3\")", "error 7:4 invalid UTF-8 in a string"},
        {"X(\"\xc0\xaf\")", "error 7:4 invalid UTF-8 in a string"},
        {"X(\"\xed\xa0\x80\")", "error 7:4 invalid UTF-8 in a string"},
        {"X(maybe)", "error 7:3 unknown word 'maybe'"},
        {"X(NULL)", "error 7:3 unknown word 'NULL'"},
        {"X($)", "error 7:4 a parameter name expected after '$'"},
        {"X($1)", "error 7:4 a parameter name expected after '$'"},
        {"X(bstr)", "error 7:7 '[' expected after 'bstr'"},
        {"X(bstr[1])", "error 7:8 this value cannot be an element of a bstr array"},
        {"X(i2[32768])", "error 7:6 this value cannot be an element of a i2 array"},
        {"X(i4[\"1\"])", "error 7:6 this value cannot be an element of a i4 array"},
        {"X(i4[null])", "error 7:6 this value cannot be an element of a i4 array"},
        {"X(variant[i4[1]])", "error 7:11 arrays cannot be nested"},
        {"X(variant[none])", "error 7:11 'none' cannot be an array element"},
        {"X(variant[$H])", "error 7:11 a reference cannot be an array element"},
        {"X(i4[_])", "error 7:6 '_' cannot be an array element"},
        {"X(i4[1 2])", "error 7:8 ',' or ']' expected"},
        {"X(i4[1,", "error 7:8 a value expected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(Parse(c.line), c.expected);
    }
}

TEST(VarsvcCallScript, ScriptsSkipCommentsAndCountLines) {
    std::vector<Call> calls;
    ScriptError error;
    ASSERT_TRUE(ParseScript("# header\r\nLogin(0, \"a\")\r\n\n  ProjOpen($Handle, \"p\")\nLogout($Handle, 0)", calls,
                            error));
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].member, "Login");
    EXPECT_EQ(calls[0].line, 2);
    EXPECT_EQ(calls[1].line, 4);
    EXPECT_EQ(calls[1].column, 3);
    EXPECT_EQ(calls[1].args[1].column, 21);
    EXPECT_EQ(calls[2].line, 5);

    calls.clear();
    EXPECT_TRUE(ParseScript("", calls, error));
    EXPECT_TRUE(calls.empty());
    EXPECT_FALSE(ParseScript("Login(0, \"a\")\n\nLogout(", calls, error));
    EXPECT_EQ(FormatError(error), "line 3, column 8: a value expected");
}

TEST(VarsvcCallScript, Utf8ToUtf16) {
    EXPECT_EQ(Utf16FromUtf8(""), u"");
    EXPECT_EQ(Utf16FromUtf8("plain"), u"plain");
    EXPECT_EQ(Utf16FromUtf8("\xc3\xbc\xf0\x9f\x98\x80"), u"\u00fc\U0001F600");
    EXPECT_EQ(Utf16FromUtf8("a\xff" "b"), u"a\uFFFDb");
    EXPECT_EQ(Utf16FromUtf8("\xe2\x82"), u"\uFFFD\uFFFD");
}

} // namespace
