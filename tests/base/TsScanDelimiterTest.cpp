// Where a literal ends: every delimiter and every never-ending character in
// every lexical state, and the counting of '-' and ':' separators in dates,
// durations, times of day and date-and-times.
#include "base/ts_scan.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A text that leaves the scanner in each lexical state after its tokens.
struct State {
    unsigned char state;
    const char* lead;
};
const State kStates[] = {
    {ts_scan::LEX_INITIAL, ""},
    {ts_scan::LEX_DECIMAL, "1"},
    {ts_scan::LEX_DATE, "D#2000"},
    {ts_scan::LEX_DURATION, "T#1"},
    {ts_scan::LEX_TIME_OF_DAY, "TOD#1"},
    {ts_scan::LEX_DATE_TIME, "DT#1"},
    {ts_scan::LEX_BASED, "16#F"},
    {ts_scan::LEX_EXPONENT, "1.5e"},
};

// Scans lead + tail to its end; returns where the literal ended (the
// scanner's position after the 0 token) and the state before the tail.
struct Scan {
    long end;
    unsigned char stateBeforeTail;
};
Scan ScanTo(const std::string& lead, const std::string& tail) {
    std::string text = lead + tail;
    IEC_CONSTANT c;
    ts_scan s(text.data(), c, 0);
    TSSTYPE v;
    Scan r{-1, 0};
    for (int i = 0; i < 100; ++i) {
        if (s.Cur() == text.data() + lead.size()) {
            r.stateBeforeTail = s.LexState();
        }
        short t = s.tslex(v);
        if (t == TS_STRING) {
            void* p = v.str;
            s.DiscardToken(t, &p);
        }
        if (t == TS_END) {
            r.end = static_cast<long>(s.Cur() - text.data());
            break;
        }
    }
    return r;
}

} // namespace

TEST(TsScanDelimiter, LeadTextsReachTheirStates) {
    for (const State& st : kStates) {
        SCOPED_TRACE(st.lead);
        EXPECT_EQ(ScanTo(st.lead, " ").stateBeforeTail, st.state);
    }
}

// The unconditional delimiters end the literal right before them in every
// state. (A quote in the initial state begins a string instead.)
TEST(TsScanDelimiter, EveryDelimiterInEveryState) {
    const std::string delimiters = std::string("\t\n ;<=>/[]%&'()*,") + std::string(1, '\0');
    for (const State& st : kStates) {
        for (char d : delimiters) {
            if (st.state == ts_scan::LEX_INITIAL && d == '\'') {
                continue;
            }
            SCOPED_TRACE(std::string(st.lead) + " then " + std::to_string(static_cast<int>(d)));
            std::string tail(1, d);
            tail += "9";
            Scan r = ScanTo(st.lead, tail);
            EXPECT_EQ(r.end, static_cast<long>(std::string(st.lead).size()));
        }
    }
}

// Letters, digits, '_', '#', '$', '~' and bytes from 128 up never end a
// literal: the literal reaches past them.
TEST(TsScanDelimiter, NeverEndingCharactersInEveryState) {
    const std::string never = "xZ9_#$~\x80\xE4\xFF";
    for (const State& st : kStates) {
        for (char ch : never) {
            SCOPED_TRACE(std::string(st.lead) + " then " + std::to_string(static_cast<unsigned char>(ch)));
            Scan r = ScanTo(st.lead, std::string(1, ch));
            EXPECT_GT(r.end, static_cast<long>(std::string(st.lead).size()));
        }
    }
}

// After a name or a string the literal is over, whatever follows (a name
// goes on over letters, digits and '_', and takes a '#').
TEST(TsScanDelimiter, NamesAndStringsEndAtOnce) {
    struct Case {
        const char* lead;
        const char* followers;
    };
    const Case cases[] = {
        {"abc", "$~+-.:\x80"},
        {"'s'", "xZ9_#$~+-.:\x80"},
    };
    for (const Case& c : cases) {
        for (const char* f = c.followers; *f != 0; ++f) {
            SCOPED_TRACE(std::string(c.lead) + " then " + std::string(1, *f));
            EXPECT_EQ(ScanTo(c.lead, std::string(1, *f)).end, static_cast<long>(std::string(c.lead).size()));
        }
    }
}

TEST(TsScanDelimiter, ConditionalDelimiters) {
    struct Case {
        const char* lead;
        const char* tail;
        bool ends;  // the literal ends right before the tail
    };
    const Case cases[] = {
        // '+': a sign in the initial and the exponent state only.
        {"", "+5", false},
        {"1.5e", "+5", false},
        {"1", "+5", true},
        {"D#2000", "+5", true},
        {"T#1", "+5", true},
        {"TOD#1", "+5", true},
        {"DT#1", "+5", true},
        {"16#F", "+5", true},
        // '-': never in the initial and the exponent state; counted in dates,
        // durations and date-and-times; always elsewhere.
        {"", "-5", false},
        {"1.5e", "-5", false},
        {"1", "-5", true},
        {"TOD#1", "-5", true},
        {"16#F", "-5", true},
        // '.': not in numbers, durations, times of day, date-and-times ...
        {"1", ".5", false},
        {"T#1", ".5s", false},
        {"TOD#1:2:3", ".5", false},
        {"DT#2000-01-01-1:2:3", ".5", false},
        // ... but in the other states, and before another '.' always.
        {"", ".5", true},
        {"D#2000", ".5", true},
        {"16#F", ".5", true},
        {"1.5e", ".5", true},
        {"1", "..5", true},
        {"T#1", "..5", true},
        {"TOD#1:2:3", "..5", true},
        // ':': counted in times of day and date-and-times, always elsewhere.
        {"", ":5", true},
        {"1", ":5", true},
        {"D#2000", ":5", true},
        {"T#1", ":5", true},
        {"16#F", ":5", true},
        {"1.5e", ":5", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.lead) + " | " + c.tail);
        Scan r = ScanTo(c.lead, c.tail);
        long leadLen = static_cast<long>(std::string(c.lead).size());
        if (c.ends) {
            EXPECT_EQ(r.end, leadLen);
        } else {
            EXPECT_GT(r.end, leadLen);
        }
    }
}

// The separators that belong to a date, duration, time of day or
// date-and-time are counted; the next one ends the literal.
TEST(TsScanDelimiter, SeparatorCounting) {
    struct Case {
        const char* text;
        long end;        // where the literal ends
        short dashes;    // DashCount at the end
        short colons;    // ColonCount at the end
    };
    const Case cases[] = {
        // Durations: the first '-' is the sign, the second ends.
        {"T#-5s", 5, 1, 0},
        {"T#-5s-1", 5, 1, 0},
        {"T#5s-1", 6, 1, 0},   // a first '-' after the components is consumed (and malformed)
        {"T#5s-1-2", 6, 1, 0},
        // Dates: two separators; the third ends.
        {"D#2000-01-01", 12, 2, 0},
        {"D#2000-01-01-5", 12, 2, 0},
        {"D#2000--01", 10, 2, 0},
        // Date-and-times: three dashes and two colons; the fourth dash or the
        // third colon ends.
        {"DT#2000-01-01-12:30:00", 22, 3, 2},
        {"DT#2000-01-01-12:30:00-5", 22, 3, 2},
        {"DT#2000-01-01-12:30:00:5", 22, 3, 2},
        // Times of day: two colons; the third ends; a dash always ends.
        {"TOD#12:30:00", 12, 0, 2},
        {"TOD#12:30:00:5", 12, 0, 2},
        {"TOD#12:30-5", 9, 0, 1},
        // Each prefix starts its counters afresh.
        {"T#1-DT#2000-01-01-1:2:3", 23, 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string text = c.text;
        IEC_CONSTANT k;
        ts_scan s(text.data(), k, 0);
        TSSTYPE v;
        for (int i = 0; i < 100 && s.tslex(v) != TS_END; ++i) {
        }
        EXPECT_EQ(static_cast<long>(s.Cur() - text.data()), c.end);
        EXPECT_EQ(s.DashCount(), c.dashes);
        EXPECT_EQ(s.ColonCount(), c.colons);
    }
}
