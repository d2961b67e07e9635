// The var file's text rules: line reading with the 512-byte buffer and text
// mode line ends, trailing white space, the end line, the strtok field rule,
// the number rules and the project stamp.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "server/VarFileFormat.h"

using namespace varsvc;

namespace {

// The lines ReadTextLine delivers for `bytes` with a buffer of `size`.
std::vector<std::string> LinesOf(const std::string& bytes, int size) {
    FILE* f = tmpfile();
    fwrite(bytes.data(), 1, bytes.size(), f);
    rewind(f);
    std::vector<std::string> lines;
    std::vector<char> buffer(static_cast<size_t>(size));
    while (ReadTextLine(f, buffer.data(), size))
        lines.emplace_back(buffer.data());
    fclose(f);
    return lines;
}

struct LineCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> expected;
};

TEST(VarFileFormat, LinesAsTextModeReadsThemIntoTheBuffer) {
    const std::string a510(510, 'a'), a511(511, 'a');
    const std::vector<LineCase> cases = {
        {"empty file", "", {}},
        {"one empty line", "\n", {"\n"}},
        {"LF", "x\ny\n", {"x\n", "y\n"}},
        {"CR LF becomes LF", "x\r\ny\r\n", {"x\n", "y\n"}},
        {"lone CR stays", "x\ry\n", {"x\ry\n"}},
        {"last line without line end", "x\ny", {"x\n", "y"}},
        {"510 characters and LF fit: 511", a510 + "\n", {a510 + "\n"}},
        {"510 characters and CR LF fit too", a510 + "\r\n", {a510 + "\n"}},
        {"511 characters: the line feed is the next line", a511 + "\n", {a511, "\n"}},
        {"511 characters and CR LF", a511 + "\r\n", {a511, "\n"}},
        {"longer lines are split every 511", std::string(1100, 'b') + "\n",
         {std::string(511, 'b'), std::string(511, 'b'), std::string(78, 'b') + "\n"}},
        {"CR at the buffer's end without LF stays", a510 + "\rz\n", {a510 + "\r", "z\n"}},
        {"CR at the buffer's end at end of file", a510 + "\r", {a510 + "\r"}},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LinesOf(c.bytes, 512), c.expected);
    }
}

TEST(VarFileFormat, ReadingRefusesUnusableBuffersAndFiles) {
    char buffer[4] = "xyz";
    EXPECT_FALSE(ReadTextLine(nullptr, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "");
    FILE* f = tmpfile();
    fputs("abc\n", f);
    rewind(f);
    strcpy(buffer, "xyz");
    EXPECT_FALSE(ReadTextLine(f, buffer, 1));
    EXPECT_STREQ(buffer, "");
    EXPECT_TRUE(ReadTextLine(f, buffer, 2));
    EXPECT_STREQ(buffer, "a");
    fclose(f);
}

struct TrimCase {
    const char* name;
    std::string line;
    std::string expected;
    bool endLine;
};

TEST(VarFileFormat, TrailingWhiteSpaceAndTheEndLine) {
    const std::vector<TrimCase> cases = {
        {"empty", "", "", false},
        {"only white space", " \t\r\n\v\f", "", false},
        {"end line", "@#$@#$\n", "@#$@#$", true},
        {"end line with CR LF and blanks", "@#$@#$  \r\n", "@#$@#$", true},
        {"five characters are too short", "@#$#$", "@#$#$", false},
        {"overlapping marks are too short", "@#$@#", "@#$@#", false},
        {"longer end line", "@#$ end of file @#$", "@#$ end of file @#$", true},
        {"leading blank is no end line", " @#$@#$", " @#$@#$", false},
        {"only the start mark", "@#$@#$x", "@#$@#$x", false},
        {"blanks inside stay", "a b ,c\t\n", "a b ,c", false},
        {"byte above 127 is no white space", "x\xa0", "x\xa0", false},
    };
    for (const TrimCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string line = c.line;
        size_t n = TrimTrailingSpace(line.data());
        EXPECT_EQ(std::string(line.c_str(), n), c.expected);
        EXPECT_EQ(IsEndLine(std::string_view(line.c_str(), n)), c.endLine);
    }
}

struct SplitCase {
    const char* name;
    std::string line;
    std::vector<std::string> expected; // the first fields; the rest must be empty
};

TEST(VarFileFormat, FieldsFollowTheStrtokRule) {
    const std::vector<SplitCase> cases = {
        {"empty line", "", {}},
        {"only commas", ",,,,", {}},
        {"thirteen fields", "v,1,2,3,INT,2,4,100,9,10,11,1,comment",
         {"v", "1", "2", "3", "INT", "2", "4", "100", "9", "10", "11", "1", "comment"}},
        {"an empty field does not count", "v,,1,0,INT,2,0,5,0,0,0,0,c",
         {"v", "1", "0", "INT", "2", "0", "5", "0", "0", "0", "0", "c", ""}},
        {"leading commas are skipped", ",,v,1,2", {"v", "1", "2"}},
        {"doubled commas count once", "v,,,1,,2", {"v", "1", "2"}},
        {"trailing comma leaves the comment empty", "v,1,2,3,INT,2,4,100,0,0,0,0,",
         {"v", "1", "2", "3", "INT", "2", "4", "100", "0", "0", "0", "0", ""}},
        {"the comment ends at the next comma", "v,1,2,3,INT,2,4,100,0,0,0,0,a, b,c",
         {"v", "1", "2", "3", "INT", "2", "4", "100", "0", "0", "0", "0", "a"}},
        {"blanks inside fields stay", " v ,  INT ", {" v ", "  INT "}},
        {"missing fields are empty", "v,1", {"v", "1"}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.name);
        VarFields fields;
        SplitVarFields(c.line, fields);
        for (size_t i = 0; i < fields.size(); ++i) {
            SCOPED_TRACE("field " + std::to_string(i + 1));
            EXPECT_EQ(fields[i], i < c.expected.size() ? c.expected[i] : "");
        }
    }
}

struct LongCase {
    const char* text;
    int32_t expected;
};

TEST(VarFileFormat, NumbersFollowTheAtolRule) {
    const std::vector<LongCase> cases = {
        {"", 0},
        {"x", 0},
        {"-", 0},
        {"+", 0},
        {"0", 0},
        {"42", 42},
        {"  \t42", 42},
        {"-42", -42},
        {"+42", 42},
        {"42abc", 42},
        {"4 2", 4},
        {"- 4", 0},
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"99999999999999999999999999", INT32_MAX},
        {"-99999999999999999999999999", INT32_MIN},
        {"00000000000000000000000007", 7},
    };
    for (const LongCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseLong(c.text), c.expected);
    }
}

struct DateCase {
    const char* name;
    uint16_t year, month, day;
    uint16_t expected;
};

TEST(VarFileFormat, DaysSinceTheFirstOfJanuary1984) {
    const std::vector<DateCase> cases = {
        {"first day", 84, 1, 1, 0},
        {"year 83 is before", 83, 12, 31, 0},
        {"year 70 is 1970", 70, 6, 1, 0},
        {"year 69 is 2069", 69, 1, 1, 31047},
        {"31 December 1984 (leap year)", 84, 12, 31, 365},
        {"1 March 1984 after the leap day", 84, 3, 1, 60},
        {"29 February 1984", 84, 2, 29, 59},
        {"1 January 1985", 85, 1, 1, 366},
        {"13 September 2001", 1, 9, 13, 6465},
        {"1 January 2000", 0, 1, 1, 5844},
        {"1 March 2000 (leap year)", 0, 3, 1, 5904},
        {"31 December 2069", 69, 12, 31, 31411},
        {"four-digit year runs on, truncated", 2001, 9, 13, 45080},
    };
    for (const DateCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(StampDate(c.year, c.month, c.day), c.expected);
    }
}

TEST(VarFileFormat, MillisecondsSinceMidnight) {
    EXPECT_EQ(StampMsec(0, 0, 0), 0);
    EXPECT_EQ(StampMsec(13, 46, 40), 49600000);
    EXPECT_EQ(StampMsec(23, 59, 59), 86399000);
    // Far out of range: computed modulo 2^32, never undefined.
    EXPECT_EQ(StampMsec(65535, 65535, 65535),
              static_cast<int32_t>(((65535u * 60u + 65535u) * 60u + 65535u) * 1000u));
}

struct StampCase {
    const char* name;
    std::string line;
    bool ok;
    uint16_t date;
    int32_t msec;
};

TEST(VarFileFormat, TimeStampLines) {
    const std::vector<StampCase> cases = {
        {"empty", "", false, 0, 0},
        {"no comma", "09/13/01 13:46:40\n", false, 0, 0},
        {"nothing after the comma", "Stamp,\n", false, 0, 0},
        {"five numbers", "Stamp,09/13/01 13:46\n", false, 0, 0},
        {"five numbers and trailing separators", "Stamp,09/13/01 13:46:::  \n", false, 0, 0},
        {"month 0", "Stamp,00/13/01 13:46:40\n", false, 0, 0},
        {"month 13", "Stamp,13/13/01 13:46:40\n", false, 0, 0},
        {"month 65537 is 1 in 16 bits", "Stamp,65537/13/01 13:46:40\n", true, 6222, 49600000},
        {"well formed", "Project time stamp,09/13/01 13:46:40\n", true, 6465, 49600000},
        {"without line end", "Stamp,09/13/01 13:46:40", true, 6465, 49600000},
        {"empty leading text", ",09/13/01 13:46:40\n", true, 6465, 49600000},
        {"runs of separators", "S,  09//13 / 01::13 46 ::40\n", true, 6465, 49600000},
        {"numbers after the sixth are ignored", "S,09/13/01 13:46:40:99\n", true, 6465, 49600000},
        {"second comma is text of a number", "S,T,09/13/01 13:46:40\n", false, 0, 0},
        {"year 83", "S,12/31/83 00:00:00\n", true, 0, 0},
        {"midnight of the first day", "S,01/01/84 00:00:00\n", true, 0, 0},
        {"atoi rule on tokens", "S,9x/13y/01z 13:46:40\n", true, 6465, 49600000},
    };
    for (const StampCase& c : cases) {
        SCOPED_TRACE(c.name);
        uint16_t date = 4711;
        int32_t msec = 4711;
        EXPECT_EQ(ParseTimeStamp(c.line, date, msec), c.ok);
        EXPECT_EQ(date, c.ok ? c.date : 4711);
        EXPECT_EQ(msec, c.ok ? c.msec : 4711);
    }
}

TEST(VarFileFormat, TimeStampReadsNothingBeyondTheLine) {
    // The view ends before the digits that follow in memory.
    const std::string memory = "S,09/13/01 13:46 40";
    uint16_t date = 1;
    int32_t msec = 1;
    EXPECT_FALSE(ParseTimeStamp(std::string_view(memory).substr(0, 16), date, msec));
    EXPECT_TRUE(ParseTimeStamp(memory, date, msec));
}

TEST(VarFileFormat, LowerCasingTouchesOnlyAToZ) {
    std::string text = "AZaz09_@[`{\xc4\xd6\xdc";
    LowerAscii(text.data(), text.size());
    EXPECT_EQ(text, "azaz09_@[`{\xc4\xd6\xdc");
}

} // namespace
