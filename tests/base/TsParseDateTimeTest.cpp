// Reductions of the literal grammar for durations, dates, times of day and
// date-and-times: values, unit and calendar rules, rounding, and the lenient
// rules of modes 2 and 8.
#include "TsLiteralSupport.h"

#include "base/IecTypeIds.h"
#include "base/TiLitStatus.h"
#include "base/ts_reduce.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

using namespace iec;
using tstest::Parse;
using tstest::Parsed;

namespace {

constexpr short kCase = TS_MODE_CASE_LENIENT;
constexpr short kValues = TS_MODE_LENIENT_VALUES;

} // namespace

TEST(TsParseDuration, Values) {
    struct Case {
        const char* text;
        uint32_t ms;
        uint16_t flags;
    };
    const Case cases[] = {
        {"T#0s", 0, CONST_TIME},
        {"T#0ms", 0, CONST_TIME},
        {"T#-0s", 0, CONST_TIME | CONST_NEGATIVE},
        {"T#1d2h", 93600000, CONST_TIME},
        {"T#1d_2h_3m_4s_5ms", 93784005, CONST_TIME},
        {"T#1d2h3m4s5ms", 93784005, CONST_TIME},
        {"t#1h_0m5s", 3605000, CONST_TIME},
        {"TIME#1s_500ms", 1500, CONST_TIME},
        {"time#90m", 5400000, CONST_TIME},
        {"T#25h", 90000000, CONST_TIME},  // the first component has no upper bound
        {"T#1d5m", 86700000, CONST_TIME}, // units may be left out
        {"T#1_000ms", 1000, CONST_TIME},
        {"T#4294967295ms", 4294967295u, CONST_TIME},
        {"T#49d17h2m47s295ms", 4294967295u, CONST_TIME},
        {"T#1.5s", 1500, CONST_TIME},
        {"T#1.5h", 5400000, CONST_TIME},
        {"T#0.5d", 43200000, CONST_TIME},
        {"T#1.5m", 90000, CONST_TIME},
        {"T#1h1.5m", 3690000, CONST_TIME},
        {"T#5s;", 5000, CONST_TIME},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed r = Parse(c.text);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.err, 0);
        EXPECT_EQ(r.flags, c.flags);
        EXPECT_EQ(r.typeId, TYPE_TIME);
        EXPECT_EQ(r.u32, c.ms);
    }
}

// A fraction of seconds (and of larger units) is rounded to whole
// milliseconds, up when the next decimal is 5 or more; a fraction of
// milliseconds is rounded up only above one half, with warning 1704.
TEST(TsParseDuration, Rounding) {
    struct Case {
        const char* text;
        uint32_t ms;
        short err;
    };
    const Case cases[] = {
        {"T#0.0004s", 0, 0},
        {"T#0.0005s", 1, 0},
        {"T#0.00049999999999s", 0, 0},
        {"T#1.9994s", 1999, 0},
        {"T#1.9995s", 2000, 0},
        {"T#0.5_5s", 550, 0},
        {"T#0.0000001h", 0, 0},          // 0.36 ms
        {"T#0.0000002h", 1, 0},          // 0.72 ms
        {"T#0.00000013888888h", 0, 0},   // 0.49999... ms
        {"T#0.000000138889h", 1, 0},     // 0.5000004 ms
        {"T#1.0ms", 1, 0},
        {"T#1.000ms", 1, 0},
        {"T#1.4ms", 1, LIT_FRACTION_DROPPED},
        {"T#1.5ms", 1, LIT_FRACTION_DROPPED},
        {"T#1.5000001ms", 2, LIT_FRACTION_DROPPED},
        {"T#1.6ms", 2, LIT_FRACTION_DROPPED},
        {"T#0.5ms", 0, LIT_FRACTION_DROPPED},
        {"T#1s0.9ms", 1001, LIT_FRACTION_DROPPED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed r = Parse(c.text);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.flags, CONST_TIME);
        EXPECT_EQ(r.u32, c.ms);
    }
}

// Every unit-range rule at its boundary, in mode 0 and in mode 8.
TEST(TsParseDuration, UnitRangesWithAndWithoutMode8) {
    struct Case {
        const char* text;
        short err0;     // status in mode 0
        uint32_t ms0;   // value in mode 0
        uint32_t ms8;   // value in mode 8 (always without error)
    };
    const Case cases[] = {
        {"T#1d23h59m59s999ms", 0, 172799999, 172799999},
        {"T#1d86399999ms", 0, 172799999, 172799999},
        {"T#1d86400000ms", LIT_OUT_OF_RANGE, 172800000, 172800000},
        {"T#1d24h", LIT_OUT_OF_RANGE, 172800000, 172800000},
        {"T#1h59m59s999ms", 0, 7199999, 7199999},
        {"T#1h3599999ms", 0, 7199999, 7199999},
        {"T#1h3600000ms", LIT_OUT_OF_RANGE, 7200000, 7200000},
        {"T#1h60m", LIT_OUT_OF_RANGE, 7200000, 7200000},
        {"T#1h70m", LIT_OUT_OF_RANGE, 7800000, 7800000},
        {"T#1m59s999ms", 0, 119999, 119999},
        {"T#1m59999ms", 0, 119999, 119999},
        {"T#1m60000ms", LIT_OUT_OF_RANGE, 120000, 120000},
        {"T#1m60s", LIT_OUT_OF_RANGE, 120000, 120000},
        {"T#1s999ms", 0, 1999, 1999},
        {"T#1s1000ms", LIT_OUT_OF_RANGE, 1999, 2000},
        {"T#1s1500ms", LIT_OUT_OF_RANGE, 1999, 2500},
        {"T#1d23h60m", LIT_OUT_OF_RANGE, 172800000, 172800000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed r0 = Parse(c.text, 0);
        EXPECT_EQ(r0.err, c.err0);
        EXPECT_EQ(r0.u32, c.ms0);
        Parsed r8 = Parse(c.text, kValues);
        EXPECT_EQ(r8.err, 0);
        EXPECT_EQ(r8.u32, c.ms8);
    }
}

TEST(TsParseDuration, TotalRange) {
    struct Case {
        const char* text;
        short err;
        uint32_t ms;
    };
    const Case cases[] = {
        {"T#4294967295ms", 0, 4294967295u},
        {"T#4294967296ms", LIT_DURATION_RANGE, 4294967295u},
        {"T#49d17h2m47s296ms", LIT_DURATION_RANGE, 4294967295u},
        {"T#50d", LIT_DURATION_RANGE, 4294967295u},
        {"T#99999999999999999999999d", LIT_DURATION_RANGE, 4294967295u},
        {"T#-5s", LIT_DURATION_RANGE, 0},
        {"T#-1ms", LIT_DURATION_RANGE, 0},
        {"T#-0.0001s", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed r = Parse(c.text);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.u32, c.ms);
    }
}

TEST(TsParseDuration, Malformed) {
    const char* cases[] = {
        "T#",       "T#5",     "T#5x",     "T#x",      "T#1d_",    "T#_1d",   "T#1d__2h",
        "T#+5s",    "T#.5s",   "T#5.s",    "T#1.5h30m", "T#1s1h",  "T#1h1h",  "T#1ms1s",
        "T#--5s",   "T#5s-1",  "T#5 s",    "T#'x'",    "T#1d_x",   "T#1d2",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        Parsed r = Parse(text);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.err, LIT_TIME_REQUIRED);
    }
}

// The two case-lenient duration rules: upper-case single-letter units, and
// milliseconds with an upper-case letter. -3410 unless mode 2; the value is
// the same in both modes.
TEST(TsParseDuration, UpperCaseUnitsNeedMode2) {
    struct Case {
        const char* text;
        uint32_t ms;
    };
    const Case cases[] = {
        {"T#1D", 86400000},   {"T#1H", 3600000},  {"T#1M", 60000},      {"T#5S", 5000},
        {"T#5MS", 5},         {"T#5Ms", 5},       {"T#5mS", 5},         {"T#1D2H3M4S5MS", 93784005},
        {"t#1h30M", 5400000}, {"TIME#1.5S", 1500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed r0 = Parse(c.text, 0);
        EXPECT_EQ(r0.err, LIT_TIME_REQUIRED);
        EXPECT_EQ(r0.u32, c.ms);
        Parsed r2 = Parse(c.text, kCase);
        EXPECT_EQ(r2.err, 0);
        EXPECT_EQ(r2.u32, c.ms);
        EXPECT_EQ(r2.flags, CONST_TIME);
    }
    // A mixed-case prefix needs mode 2 as well.
    EXPECT_EQ(Parse("Time#5s", 0).err, LIT_MIXED_CASE_PREFIX);
    EXPECT_EQ(Parse("Time#5s", kCase).err, 0);
    EXPECT_EQ(Parse("Time#5s", kCase).u32, 5000u);
}

TEST(TsParseDate, Values) {
    struct Case {
        const char* text;
        int year, month, day;
    };
    const Case cases[] = {
        {"D#1980-01-01", 1980, 1, 1},  {"D#2107-12-31", 2107, 12, 31},
        {"D#2000-02-29", 2000, 2, 29}, {"D#2004-02-29", 2004, 2, 29},
        {"D#1996-02-29", 1996, 2, 29}, {"D#2001-02-28", 2001, 2, 28},
        {"D#2001-04-30", 2001, 4, 30}, {"D#2001-01-31", 2001, 1, 31},
        {"d#2003-3-5", 2003, 3, 5},    {"DATE#2003-03-05", 2003, 3, 5},
        {"date#02003-003-005", 2003, 3, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed r = Parse(c.text);
        EXPECT_EQ(r.err, 0);
        EXPECT_EQ(r.flags, CONST_DATE);
        EXPECT_EQ(r.typeId, TYPE_DATE);
        EXPECT_EQ(r.date, PackDate(c.year, c.month, c.day));
    }
}

TEST(TsParseDate, LeapYears) {
    struct Case {
        uint32_t year;
        int february;
    };
    const Case cases[] = {
        {2000, 29}, {1900, 28}, {2100, 28}, {2004, 29}, {1996, 29}, {2001, 28}, {1980, 29}, {2104, 29},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.year);
        EXPECT_EQ(tsreduce::DaysInMonth(c.year, 2), c.february);
    }
    EXPECT_EQ(tsreduce::DaysInMonth(2001, 0), 0);
    EXPECT_EQ(tsreduce::DaysInMonth(2001, 13), 0);
}

// Invalid years, months and days give -3422; the value stays a date packed
// from the components clamped into their ranges.
TEST(TsParseDate, InvalidDates) {
    struct Case {
        const char* text;
        short mode;
        int year, month, day;  // the packed value after clamping
    };
    const Case cases[] = {
        {"D#1900-02-29", 0, 1980, 2, 29},
        {"D#2100-02-29", 0, 2100, 2, 28},
        {"D#1979-01-01", 0, 1980, 1, 1},
        {"D#2108-01-01", 0, 2107, 1, 1},
        {"D#2001-02-29", 0, 2001, 2, 28},
        {"D#2001-13-01", 0, 2001, 12, 1},
        {"D#2001-00-01", 0, 2001, 1, 1},
        {"D#2001-04-31", 0, 2001, 4, 30},
        {"D#2001-01-32", 0, 2001, 1, 31},
        {"D#2001-01-00", 0, 2001, 1, 1},
        {"D#99-01-01", 0, 1980, 1, 1},
        {"D#50-01-01", kValues, 1980, 1, 1},  // 1950
        {"D#79-01-01", kValues, 1980, 1, 1},  // 1979
        {"D#99999999999-01-01", 0, 2107, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " mode " + std::to_string(c.mode));
        Parsed r = Parse(c.text, c.mode);
        EXPECT_EQ(r.err, LIT_INVALID_DATE);
        EXPECT_EQ(r.flags, CONST_DATE);
        EXPECT_EQ(r.date, PackDate(c.year, c.month, c.day));
    }
}

TEST(TsParseDate, TwoDigitYearsUnderMode8) {
    struct Case {
        const char* text;
        bool valid;  // under mode 8
        int year, month, day;
    };
    const Case cases[] = {
        {"D#0-01-01", true, 2000, 1, 1},    {"D#00-01-01", true, 2000, 1, 1},
        {"D#49-01-01", true, 2049, 1, 1},   {"D#50-01-01", false, 1980, 1, 1},
        {"D#79-12-31", false, 1980, 12, 31}, {"D#80-01-01", true, 1980, 1, 1},
        {"D#99-12-31", true, 1999, 12, 31}, {"D#100-01-01", false, 1980, 1, 1},
        {"D#0099-12-31", true, 1999, 12, 31},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed r = Parse(c.text, kValues);
        EXPECT_EQ(r.err, c.valid ? 0 : LIT_INVALID_DATE);
        EXPECT_EQ(r.date, PackDate(c.year, c.month, c.day));
        // Without mode 8 the year is taken as written: out of range.
        EXPECT_EQ(Parse(c.text, 0).err, LIT_INVALID_DATE);
    }
}

TEST(TsParseDate, Malformed) {
    struct Case {
        const char* text;
        const char* rest;
    };
    const Case cases[] = {
        {"D#", ""},          {"D#2000", ""},        {"D#2000-01", ""},     {"D#2000-01-", ""},
        {"D#2000--01", ""},  {"D#2000/01/01", "/01/01"}, {"D#2000.01.01", ".01.01"},
        {"D#2000-01-01x", ""}, {"D#x", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed r = Parse(c.text);
        EXPECT_EQ(r.err, LIT_DATE_REQUIRED);
        EXPECT_EQ(r.rest, c.rest);
    }
    // The third '-' and a '.' end a date: the literal is valid, the rest is left.
    for (const char* rest : {"-5", ".5", ":5", "+5"}) {
        SCOPED_TRACE(rest);
        Parsed r = Parse(std::string("D#2000-01-01") + rest);
        EXPECT_EQ(r.err, 0);
        EXPECT_EQ(r.rest, rest);
    }
}

TEST(TsParseTimeOfDay, Values) {
    struct Case {
        const char* text;
        uint32_t ms;
    };
    const Case cases[] = {
        {"TOD#00:00:00", 0},
        {"TOD#23:59:59.999", 86399999},
        {"TOD#23:59:59", 86399000},
        {"tod#12:34:56.789", 45296789},
        {"TIME_OF_DAY#12:34:56", 45296000},
        {"time_of_day#1:2:3", 3723000},
        {"TOD#12:00:00.5", 43200500},
        {"TOD#12:00:00.0005", 43200001},
        {"TOD#12:00:00.0004999", 43200000},
        {"TOD#12:00:00.1_2", 43200120},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed r = Parse(c.text);
        EXPECT_EQ(r.err, 0);
        EXPECT_EQ(r.flags, CONST_TOD);
        EXPECT_EQ(r.typeId, TYPE_TIME_OF_DAY);
        EXPECT_EQ(r.u32, c.ms);
    }
}

// Component ranges: -3424 with the bad component taken as 0, unless mode 8.
TEST(TsParseTimeOfDay, ComponentRanges) {
    struct Case {
        const char* text;
        uint32_t ms0;
        uint32_t ms8;
    };
    const Case cases[] = {
        {"TOD#24:00:00", 0, 86400000},
        {"TOD#25:30:00", 1800000, 91800000},
        {"TOD#12:60:00", 43200000, 46800000},
        {"TOD#12:00:60", 43200000, 43260000},
        {"TOD#23:59:59.9995", 86340000, 86400000},  // rounds to 60 seconds
        {"TOD#99:99:99", 0, 362439000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed r0 = Parse(c.text, 0);
        EXPECT_EQ(r0.err, LIT_OUT_OF_RANGE);
        EXPECT_EQ(r0.u32, c.ms0);
        Parsed r8 = Parse(c.text, kValues);
        EXPECT_EQ(r8.err, 0);
        EXPECT_EQ(r8.u32, c.ms8);
    }
    // Beyond 32 bits even under mode 8.
    Parsed big = Parse("TOD#4294967295:00:00", kValues);
    EXPECT_EQ(big.err, LIT_OUT_OF_RANGE);
    EXPECT_EQ(big.u32, 4294967295u);
}

// The lenient time-of-day rule: no seconds. -3418 unless mode 8; the value
// is the same.
TEST(TsParseTimeOfDay, WithoutSecondsNeedsMode8) {
    struct Case {
        const char* text;
        uint32_t ms;
    };
    const Case cases[] = {
        {"TOD#12:30", 45000000}, {"TOD#0:0", 0}, {"TIME_OF_DAY#23:59", 86340000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed r0 = Parse(c.text, 0);
        EXPECT_EQ(r0.err, LIT_TOD_REQUIRED);
        EXPECT_EQ(r0.u32, c.ms);
        EXPECT_EQ(r0.flags, CONST_TOD);
        Parsed r8 = Parse(c.text, kValues);
        EXPECT_EQ(r8.err, 0);
        EXPECT_EQ(r8.u32, c.ms);
    }
}

TEST(TsParseTimeOfDay, Malformed) {
    struct Case {
        const char* text;
        const char* rest;
    };
    const Case cases[] = {
        {"TOD#", ""}, {"TOD#12", ""}, {"TOD#12:", ""}, {"TOD#12:30:", ""},
        {"TOD#12:30:00.", ""}, {"TOD#12.5", ""}, {"TOD#12:30:00x", ""}, {"TOD#-1:00:00", "-1:00:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed r = Parse(c.text);
        EXPECT_EQ(r.err, LIT_TOD_REQUIRED);
        EXPECT_EQ(r.rest, c.rest);
    }
    Parsed r = Parse("TOD#1:2:3:4");
    EXPECT_EQ(r.err, 0);
    EXPECT_EQ(r.rest, ":4");
}

TEST(TsParseDateAndTime, Values) {
    struct Case {
        const char* text;
        short mode;
        short err;
        uint32_t tod;
        uint16_t date;
    };
    const Case cases[] = {
        {"DT#2000-01-01-12:30:00", 0, 0, 45000000, PackDate(2000, 1, 1)},
        {"dt#2003-03-05-12:34:56.789", 0, 0, 45296789, PackDate(2003, 3, 5)},
        {"DATE_AND_TIME#1980-01-01-00:00:00", 0, 0, 0, PackDate(1980, 1, 1)},
        {"DT#2107-12-31-23:59:59.999", 0, 0, 86399999, PackDate(2107, 12, 31)},
        {"DT#2000-01-01-12:30", 0, LIT_TOD_REQUIRED, 45000000, PackDate(2000, 1, 1)},
        {"DT#2000-01-01-12:30", kValues, 0, 45000000, PackDate(2000, 1, 1)},
        {"DT#2000-13-01-00:00:00", 0, LIT_INVALID_DATE, 0, PackDate(2000, 12, 1)},
        {"DT#2000-01-01-24:00:00", 0, LIT_OUT_OF_RANGE, 0, PackDate(2000, 1, 1)},
        {"DT#99-01-01-00:00:00", kValues, 0, 0, PackDate(1999, 1, 1)},
        {"DT#50-01-01-00:00:00", kValues, LIT_INVALID_DATE, 0, PackDate(1980, 1, 1)},
        {"DT#49-01-01-00:00:00", kValues, 0, 0, PackDate(2049, 1, 1)},
        {"Dt#2000-01-01-00:00:00", 0, LIT_MIXED_CASE_PREFIX, 0, PackDate(2000, 1, 1)},
        {"Dt#2000-01-01-00:00:00", kCase, 0, 0, PackDate(2000, 1, 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " mode " + std::to_string(c.mode));
        Parsed r = Parse(c.text, c.mode);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.flags, CONST_DT);
        EXPECT_EQ(r.typeId, TYPE_DATE_AND_TIME);
        EXPECT_EQ(r.dt.tod, c.tod);
        EXPECT_EQ(r.dt.date, c.date);
        EXPECT_EQ(r.dt.fill, 0);
    }
}

TEST(TsParseDateAndTime, Malformed) {
    struct Case {
        const char* text;
        const char* rest;
    };
    const Case cases[] = {
        {"DT#", ""},
        {"DT#2000-01-01", ""},
        {"DT#2000-01-01-", ""},
        {"DT#2000-01-01-12", ""},
        {"DT#2000-01-01 12:00:00", " 12:00:00"},
        {"DT#2000-01-01T12:00:00", ""},
        {"DT#12:00:00", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed r = Parse(c.text);
        EXPECT_EQ(r.err, LIT_DT_REQUIRED);
        EXPECT_EQ(r.rest, c.rest);
    }
    Parsed r = Parse("DT#2000-01-01-12:00:00-5");
    EXPECT_EQ(r.err, 0);
    EXPECT_EQ(r.rest, "-5");
}
